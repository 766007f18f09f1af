#include "globe/readers/shp.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "globe/core/text.h"
#include "globe/core/units.h"
#include "globe/formats/memorymap.h"
#include "globe/formats/propertystream.h"
#include "globe/objects/geodata.h"
#include "globe/objects/presenter.h"
#include "globe/readers/dbf.h"
#include "globe/view/globe.h"
#include "platform/filesystem.h"

namespace globe {

namespace {

constexpr std::int32_t SHP_FILE_CODE = 9994;
constexpr std::int32_t SHP_VERSION = 1000;
constexpr std::int64_t SHP_HEADER_SIZE = 100;
constexpr std::int64_t RECORD_HEADER_SIZE = 8;
// Item positions are stored as Integers in the metadata file.
constexpr std::int64_t MAX_POSITION = std::numeric_limits<std::int32_t>::max();
// Coordinates beyond this many degrees are not positions on the earth; they also keep the
// degree conversion within its range.
constexpr double MAX_DEGREES = 1e9;

enum TShapeKind { skNull, skPoint, skPolyLine, skPolygon, skMultiPoint, skUnsupported };

// The Z and M variants lay out X and Y exactly as the 2-D shapes do; their extra values
// follow and are skipped with the rest of the record.
TShapeKind ShapeKind(std::int32_t ShapeType) {
  switch (ShapeType) {
    case 0:
      return skNull;
    case 1:
    case 11:
    case 21:
      return skPoint;
    case 3:
    case 13:
    case 23:
      return skPolyLine;
    case 5:
    case 15:
    case 25:
      return skPolygon;
    case 8:
    case 18:
    case 28:
      return skMultiPoint;
    default:
      return skUnsupported;
  }
}

std::int32_t ReadBigEndian(TGlobeStreamReader& Reader) {
  std::uint8_t b[4];
  Reader.ReadBuffer(b, sizeof b);
  return static_cast<std::int32_t>((std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                                   (std::uint32_t{b[2]} << 8) | std::uint32_t{b[3]});
}

// A null shape (and a shape without parts) becomes an object that draws nothing and that
// no hit test finds: one empty chain, so that it is not drawn as a point at its centroid.
void MakeEmpty(TGeoDataObject& Obj) {
  Obj.Chains().SetCount(0);
  Obj.Chains().GetChain(0);
  Obj.ObjectState.Include(osHidden);
}

}  // namespace

TGlobeSHPReader::TGlobeSHPReader(TGlobe4* ParentGlobe) : TGlobeFileReader(ParentGlobe) {}

TGlobeSHPReader::~TGlobeSHPReader() = default;

void TGlobeSHPReader::SetTitleColumn(std::int32_t Value) {
  if (Value == FTitleColumn) return;
  FTitleColumn = Value;
  UnloadObjects();
}

std::string TGlobeSHPReader::CompanionTable(const std::string& SHPFileName) {
  return CompanionFile(SHPFileName, ".dbf");
}

// ---- Opening and closing ----------------------------------------------------------------

bool TGlobeSHPReader::OpenSource() {
  std::error_code ec;
  if (FFileName.empty() || !std::filesystem::is_regular_file(platform::FsPath(FFileName), ec)) {
    return false;
  }
  try {
    SetName(platform::Utf8Path(platform::FsPath(FFileName).filename()));
    LoadMetaData();
    SHPStream = std::make_unique<TMemoryMapStream>(FFileName);
    const std::string table = CompanionTable(FFileName);
    if (!table.empty()) FDBF = std::make_unique<TGlobeDBFReader>(table);
    if (FDataItems.empty()) {
      MapDataFile(*SHPStream);
      if (Globe().SaveMetaDataLocation() != smdDiscard) SaveMetaData();
    }
  } catch (...) {
    // A half-opened file must not leave items behind that the next opening would trust.
    ReleaseFile();
    throw;
  }
  return inherited::OpenSource();
}

bool TGlobeSHPReader::CloseSource() {
  ReleaseFile();
  return inherited::CloseSource();
}

void TGlobeSHPReader::ReleaseFile() {
  SetCount(0);
  FDataItems.clear();
  FDBF.reset();
  SHPStream.reset();
}

// ---- Mapping and loading ----------------------------------------------------------------

bool TGlobeSHPReader::ReadHeader(TGlobeStream& Stream) {
  Stream.SetPosition(0);
  TGlobeStreamReader reader(Stream);
  if (ReadBigEndian(reader) != SHP_FILE_CODE) {
    throw EGlobeException("Invalid SHP file " + FFileName);
  }
  // A file cut inside its header would otherwise read as a shapefile without shapes.
  if (Stream.Size() < SHP_HEADER_SIZE) {
    throw EGlobeException("Truncated SHP file " + FFileName + ": " + std::to_string(Stream.Size()) +
                          " bytes, shorter than its header of " + std::to_string(SHP_HEADER_SIZE));
  }
  FDataItems.clear();
  std::uint8_t skipped[20];
  reader.ReadBuffer(skipped, sizeof skipped);
  (void)ReadBigEndian(reader);  // file length
  const std::int32_t version = reader.ReadInteger();
  (void)reader.ReadInteger();  // shape type of the file
  double box[8];               // bounding box, Z and M ranges
  for (double& d : box) d = reader.ReadDouble();
  if (version != SHP_VERSION) throw EGlobeException("Invalid SHP file version " + FFileName);
  return true;
}

bool TGlobeSHPReader::MapNextObject(TGlobeStream& Stream, std::int32_t iIndex) {
  if (Stream.Remaining() == 0) return false;
  const std::int64_t position = Stream.Position();
  if (position > MAX_POSITION) {
    throw EGlobeException("Record at offset " + std::to_string(position) +
                          " lies beyond the 2 GB that the index can hold in " + FFileName);
  }
  if (static_cast<std::size_t>(iIndex) >= FDataItems.size()) {
    FDataItems.resize(static_cast<std::size_t>(iIndex) + 128);
  }
  FDataItems[static_cast<std::size_t>(iIndex)] = {static_cast<std::int32_t>(position),
                                                  FDBF ? iIndex + 1 : 0};
  return true;
}

TPointLL TGlobeSHPReader::ShapePoint(double X, double Y, std::int32_t iRecord) const {
  const double lon = X / FLongXDivisor + FLongXShift;
  const double lat = Y / FLatYDivisor + FLatYShift;
  if (!std::isfinite(lon) || !std::isfinite(lat) || std::fabs(lon) > MAX_DEGREES ||
      std::fabs(lat) > MAX_DEGREES) {
    throw EGlobeException("Invalid coordinate in record " + std::to_string(iRecord) + " of " +
                          FFileName);
  }
  // Within two turns either side the wrap is exact in double too, so the double conversion
  // sees the value the long-double one would.
  const double wrapped = lon > 180 ? lon - 360 : lon < -180 ? lon + 360 : lon;
  const std::int32_t iLong =
      std::fabs(lon) <= 720 ? DegToGUD(wrapped) : DegToGU(WrapDegrees180(lon));
  return PointLL(iLong, DegToGUD(lat));
}

std::unique_ptr<TGlobeObject> TGlobeSHPReader::LoadObject(std::int32_t iIndex, bool) {
  if (!SHPStream) throw EGlobeException("Shapefile " + FFileName + " is not open");
  if (iIndex < 0 || static_cast<std::size_t>(iIndex) >= FDataItems.size()) {
    throw EGlobeException("No record position for object " + std::to_string(iIndex) + " in " +
                          FFileName);
  }
  const TDataItem item = FDataItems[static_cast<std::size_t>(iIndex)];
  TGlobeStream& stream = *SHPStream;
  if (item.Position < 0 || item.Position + RECORD_HEADER_SIZE + 4 > stream.Size()) {
    throw EGlobeException("Truncated record at offset " + std::to_string(item.Position) + " in " +
                          FFileName);
  }
  stream.SetPosition(item.Position);
  TGlobeStreamReader reader(stream);
  const std::int32_t recordNo = ReadBigEndian(reader);
  const std::int32_t contentWords = ReadBigEndian(reader);
  const std::string where = "record " + std::to_string(recordNo) + " at offset " +
                            std::to_string(item.Position) + " of " + FFileName;
  // The content length counts 16-bit words; it bounds every read below, and the next
  // record starts where it says, whatever the shape type left unread.
  const std::int64_t contentBytes = std::int64_t{contentWords} * 2;
  if (contentWords < 2 || contentBytes > reader.Remaining()) {
    throw EGlobeException("Invalid content length " + std::to_string(contentWords) + " in " +
                          where);
  }
  const std::int64_t recordEnd = item.Position + RECORD_HEADER_SIZE + contentBytes;
  auto require = [&](std::int64_t Bytes) {
    if (Bytes > recordEnd - stream.Position()) {
      throw EGlobeException("Shape runs past the end of " + where);
    }
  };

  // A metadata file written before the table existed holds no record numbers.
  const std::int32_t tableRecord = item.RecordNo > 0 ? item.RecordNo : iIndex + 1;
  if (FDBF) FDBF->SetRecordID(tableRecord);

  const std::int32_t shapeType = reader.ReadInteger();
  auto obj = std::make_unique<TGeoDataObject>(this);
  switch (ShapeKind(shapeType)) {
    case skNull:
      MakeEmpty(*obj);
      break;
    case skPoint: {
      require(16);
      const double x = reader.ReadDouble();
      const double y = reader.ReadDouble();
      obj->SetCentroid(ShapePoint(x, y, recordNo));
      break;
    }
    case skPolyLine:
    case skPolygon: {
      require(32 + 8);
      stream.SetPosition(stream.Position() + 32);  // box
      const std::int32_t parts = reader.ReadInteger();
      const std::int32_t points = reader.ReadInteger();
      if (parts < 0 || points < 0 ||
          std::int64_t{parts} * 4 + std::int64_t{points} * 16 > recordEnd - stream.Position()) {
        throw EGlobeException("Invalid counts (" + std::to_string(parts) + " parts, " +
                              std::to_string(points) + " points) in " + where);
      }
      if (parts == 0) {
        MakeEmpty(*obj);
        break;
      }
      std::vector<std::int32_t> starts(static_cast<std::size_t>(parts) + 1);
      for (std::int32_t k = 0; k < parts; ++k)
        starts[static_cast<std::size_t>(k)] = reader.ReadInteger();
      starts.back() = points;
      // Parts must start at point 0 and follow one another within the points, or points
      // would land outside their chains.
      for (std::size_t k = 0; k < static_cast<std::size_t>(parts); ++k) {
        const bool ok =
            (k == 0 ? starts[k] == 0 : starts[k] >= starts[k - 1]) && starts[k] <= points;
        if (!ok) {
          throw EGlobeException("Invalid start " + std::to_string(starts[k]) + " of part " +
                                std::to_string(k) + " in " + where);
        }
      }
      TChainStore& chains = obj->Chains();
      for (std::int32_t k = 0; k < parts; ++k) {
        const auto u = static_cast<std::size_t>(k);
        chains.GetChain(k).SetCount(starts[u + 1] - starts[u]);
      }
      std::int32_t part = 0;
      for (std::int32_t i = 0; i < points; ++i) {
        while (i >= starts[static_cast<std::size_t>(part) + 1]) ++part;
        const double x = reader.ReadDouble();
        const double y = reader.ReadDouble();
        chains.GetChain(part).PutLL(i - starts[static_cast<std::size_t>(part)],
                                    ShapePoint(x, y, recordNo));
      }
      if (ShapeKind(shapeType) == skPolygon) obj->ObjectState.Include(osClosed);
      break;
    }
    case skMultiPoint: {
      require(32 + 4);
      stream.SetPosition(stream.Position() + 32);  // box
      const std::int32_t points = reader.ReadInteger();
      if (points < 0 || std::int64_t{points} * 16 > recordEnd - stream.Position()) {
        throw EGlobeException("Invalid point count " + std::to_string(points) + " in " + where);
      }
      TPointStore& chain = obj->Chains().GetChain(0);
      chain.SetCount(points);
      for (std::int32_t i = 0; i < points; ++i) {
        const double x = reader.ReadDouble();
        const double y = reader.ReadDouble();
        chain.PutLL(i, ShapePoint(x, y, recordNo));
      }
      break;
    }
    case skUnsupported:
      throw EGlobeException("TGlobeReader returned nil object: unsupported shape type " +
                            std::to_string(shapeType) + " in " + where);
  }

  if (FDBF) {
    obj->SetID(tableRecord);
    obj->SetTitle(FTitleColumn == -1 ? std::string("New Object") : FDBF->GetString(FTitleColumn));
  }
  stream.SetPosition(recordEnd);
  return obj;
}

// ---- Metadata ---------------------------------------------------------------------------

void TGlobeSHPReader::SaveMetaData() {
  const std::string name = MetaDataFilename(FFileName);
  std::error_code ec;
  if (name.empty() || std::filesystem::exists(platform::FsPath(name), ec)) return;
  TGlobeStreamWriter writer(std::make_unique<TGlobeMemoryStream>());
  writer.WriteWord(METADATA_MARK);
  WriteMetaData(writer);
  writer.WriteDouble(FLongXDivisor);
  writer.WriteDouble(FLatYDivisor);
  writer.WriteDouble(FLongXShift);
  writer.WriteDouble(FLatYShift);
  writer.WriteInteger(FTitleColumn);
  writer.WriteInteger(static_cast<std::int32_t>(FDataItems.size()));
  for (const TDataItem& item : FDataItems) {
    writer.WriteInteger(item.Position);
    writer.WriteInteger(item.RecordNo);
  }
  WriteMetaDataFile(static_cast<TGlobeMemoryStream&>(writer.DataStream()).Bytes());
}

void TGlobeSHPReader::LoadMetaData() {
  const bool loaded = LoadMetaDataWith([&](TGlobeStreamReader& reader) {
    double values[4];
    for (double& v : values) v = reader.ReadDouble();
    const std::int32_t titleColumn = reader.ReadInteger();
    const std::int32_t count = reader.ReadInteger();
    if (count < Count() || std::int64_t{count} * 8 > reader.Remaining()) {
      throw EGlobeException("Invalid item count " + std::to_string(count));
    }
    std::vector<TDataItem> items(static_cast<std::size_t>(count));
    for (TDataItem& item : items) {
      item.Position = reader.ReadInteger();
      item.RecordNo = reader.ReadInteger();
    }
    if (reader.Truncated()) throw EGlobeException("Truncated metadata");
    FLongXDivisor = values[0];
    FLatYDivisor = values[1];
    FLongXShift = values[2];
    FLatYShift = values[3];
    if (FTitleColumn == -1) FTitleColumn = titleColumn;
    FDataItems = std::move(items);
  });
  if (!loaded) FDataItems.clear();
}

// ---- Environment ------------------------------------------------------------------------

void TGlobeSHPReader::LoadEnvironment(const TGXML_Element* Element) {
  if (Element != nullptr) {
    FLongXDivisor =
        static_cast<double>(Element->FloatAttributeByName("LongXDivisor", FLongXDivisor));
    FLatYDivisor = static_cast<double>(Element->FloatAttributeByName("LatYDivisor", FLatYDivisor));
    FLongXShift = static_cast<double>(Element->FloatAttributeByName("LongXShift", FLongXShift));
    FLatYShift = static_cast<double>(Element->FloatAttributeByName("LatYShift", FLatYShift));
    SetTitleColumn(Element->IntAttributeByName("TitleColumn", FTitleColumn));
  }
  inherited::LoadEnvironment(Element);
}

std::unique_ptr<TGXML_Element> TGlobeSHPReader::SaveEnvironment() {
  std::unique_ptr<TGXML_Element> element = inherited::SaveEnvironment();
  if (!element) element = std::make_unique<TGXML_Element>();
  element->AddFloatAttribute("LongXDivisor", FLongXDivisor);
  element->AddFloatAttribute("LatYDivisor", FLatYDivisor);
  element->AddFloatAttribute("LongXShift", FLongXShift);
  element->AddFloatAttribute("LatYShift", FLatYShift);
  element->AddIntAttribute("TitleColumn", FTitleColumn);
  return element;
}

void RegisterSHPReader() { RegisterGlobeClass<TGlobeSHPReader>(); }

}  // namespace globe
