#include "globe/readers/shp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "globe/formats/xml.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/readers/dbf.h"
#include "globe/readers/loader.h"
#include "tests/objects/fixture.h"

namespace globe {
namespace {

using ::testing::HasSubstr;
using testing::ObjectsTest;

const std::string kData = std::string(ORVANE_TEST_DATA_DIR) + "/shp/";

using Ring = std::vector<std::pair<double, double>>;  // degrees

/// What an object read from source.geojson should be.
struct Expected {
  std::string title;
  std::int32_t id;
  bool closed;
  std::vector<Ring> chains;
  std::pair<double, double> centroid;  // for objects without chains
};

/// A shapefile written byte by byte, for what the fixtures do not show.
class SHPBytes {
 public:
  SHPBytes& Header(std::int32_t Code = 9994, std::int32_t Version = 1000) {
    BE(Code);
    for (int i = 0; i < 5; ++i) BE(0);
    BE(0);  // file length, set by Bytes
    LE(Version);
    LE(1);
    for (int i = 0; i < 8; ++i) D(0);
    return *this;
  }
  SHPBytes& Point(std::int32_t Record, double X, double Y) {
    BE(Record);
    BE(10);
    LE(1);
    D(X);
    D(Y);
    return *this;
  }
  /// A polyline or polygon record (Type 3 or 5) of the given part starts and points.
  SHPBytes& Parts(std::int32_t Record, std::int32_t Type, const std::vector<std::int32_t>& Starts,
                  const Ring& Points) {
    BE(Record);
    BE(static_cast<std::int32_t>((4 + 32 + 8 + 4 * Starts.size() + 16 * Points.size()) / 2));
    LE(Type);
    for (int i = 0; i < 4; ++i) D(0);
    LE(static_cast<std::int32_t>(Starts.size()));
    LE(static_cast<std::int32_t>(Points.size()));
    for (std::int32_t s : Starts) LE(s);
    for (const auto& [x, y] : Points) {
      D(x);
      D(y);
    }
    return *this;
  }
  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> out = bytes_;
    const auto words = static_cast<std::uint32_t>(out.size() / 2);
    for (int i = 0; i < 4; ++i) out[24 + i] = static_cast<std::uint8_t>(words >> (24 - 8 * i));
    return out;
  }

 private:
  void BE(std::int32_t v) {
    for (int i = 3; i >= 0; --i)
      bytes_.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
  }
  void LE(std::int32_t v) {
    for (int i = 0; i < 4; ++i)
      bytes_.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
  }
  void D(double v) {
    std::uint8_t b[8];
    std::memcpy(b, &v, 8);
    bytes_.insert(bytes_.end(), b, b + 8);
  }
  std::vector<std::uint8_t> bytes_;
};

/// Whether both names lead to one file (names that differ in case may, on Windows).
bool SameFile(const std::string& A, const std::string& B) {
  std::error_code ec;
  return !A.empty() && std::filesystem::equivalent(platform::FsPath(A), platform::FsPath(B), ec);
}

class SHPTest : public ObjectsTest {
 protected:
  SHPTest() { globe.SetSaveMetaDataLocation(smdWithDataFile); }

  /// Copies a fixture (the shapefile and its table) into the scratch folder.
  std::string Fixture(const std::string& Name, const std::string& TableName = "") {
    namespace fs = std::filesystem;
    fs::copy_file(kData + Name + ".shp", Scratch(Name + ".shp"),
                  fs::copy_options::overwrite_existing);
    if (TableName != "-") {
      fs::copy_file(kData + Name + ".dbf", Scratch(TableName.empty() ? Name + ".dbf" : TableName),
                    fs::copy_options::overwrite_existing);
    }
    return Scratch(Name + ".shp");
  }
  static std::vector<std::uint8_t> Read(const std::string& FileName) {
    std::ifstream in(FileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string Write(const std::string& Name, const std::vector<std::uint8_t>& Bytes) {
    std::ofstream out(Scratch(Name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
    return Scratch(Name);
  }
  std::unique_ptr<TGlobeSHPReader> Reader(const std::string& FileName,
                                          std::int32_t TitleColumn = 1) {
    auto reader = std::make_unique<TGlobeSHPReader>(&globe);
    reader->SetTitleColumn(TitleColumn);
    reader->SetFileName(FileName);
    return reader;
  }
  std::string OpenError(const std::string& FileName) {
    auto reader = Reader(FileName);
    try {
      reader->SetActive(true);
    } catch (const EGlobeException& e) {
      EXPECT_FALSE(reader->Active());
      EXPECT_EQ(reader->Count(), 0);
      return e.what();
    }
    return "(no exception)";
  }

  static void ExpectGU(std::int32_t GU, double Degrees, const std::string& What) {
    // The file holds 7 decimals of a degree, which the conversion keeps to a globe unit.
    EXPECT_LE(std::fabs(GU - Degrees * GU_DEGREE), 1.0) << What;
  }
  static void ExpectObject(TGlobeObject& Obj, const Expected& E, const std::string& What) {
    auto& geo = dynamic_cast<TGeoDataObject&>(Obj);
    EXPECT_EQ(geo.Title(), E.title) << What;
    EXPECT_EQ(geo.ID(), E.id) << What;
    EXPECT_EQ(geo.Closed(), E.closed) << What;
    ASSERT_EQ(geo.Chains().Count(), static_cast<std::int32_t>(E.chains.size())) << What;
    if (E.chains.empty()) {
      ExpectGU(geo.Centroid().iLongX, E.centroid.first, What + " centroid");
      ExpectGU(geo.Centroid().iLatY, E.centroid.second, What + " centroid");
    }
    for (std::size_t k = 0; k < E.chains.size(); ++k) {
      TPointStore& chain = geo.Chains().GetChain(static_cast<std::int32_t>(k));
      ASSERT_EQ(chain.Count(), static_cast<std::int32_t>(E.chains[k].size()))
          << What << " chain " << k;
      for (std::size_t i = 0; i < E.chains[k].size(); ++i) {
        const TPointLL p = chain.GetLL(static_cast<std::int32_t>(i));
        const std::string at = What + " chain " + std::to_string(k) + " point " + std::to_string(i);
        ExpectGU(p.iLongX, E.chains[k][i].first, at);
        ExpectGU(p.iLatY, E.chains[k][i].second, at);
      }
    }
  }
};

const std::vector<Expected> kPoints = {
    {"Café Zürich", 1, false, {}, {8.5417, 47.3769}},
    {"Niño", 3, false, {}, {-70.6483333, -33.4569444}},
    {"Date Line", 4, false, {}, {179.9999999, -0.0000001}},
};
const std::vector<Expected> kLines = {
    {"Route Düsseldorf", 1, false, {{{6.7735, 51.2277}, {7.0, 51.5}, {7.4653, 51.5136}}}, {}},
    {"Two Rivers",
     2,
     false,
     {{{-10, 0}, {-5, 2.5}}, {{1, 1}, {2, 2}, {3, 1.5}, {4.25, 1.125}}},
     {}},
};
const std::vector<Expected> kPolygons = {
    {"Frame España",
     1,
     true,
     {{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}, {{2, 2}, {8, 2}, {8, 8}, {2, 8}, {2, 2}}},
     {}},
    {"Islands",
     2,
     true,
     {{{-20, -20}, {-20, -15}, {-15, -15}, {-20, -20}},
      {{30.5, 40.25}, {30.5, 45.75}, {35.125, 45.75}, {35.125, 40.25}, {30.5, 40.25}},
      {{31, 41}, {34, 41}, {34, 44}, {31, 44}, {31, 41}}},
     {}},
};
const std::vector<Expected> kMultipoints = {
    {"Cluster", 1, false, {{{100, -10}, {101.5, -10.5}, {102.1234567, -11.7654321}}}, {}},
};

TEST_F(SHPTest, ReadsEveryShapeKindAsTheSourceHasIt) {
  struct Case {
    const char* file;
    std::vector<Expected> objects;  // by index; the null shape of the points is checked apart
    std::vector<std::int32_t> indexes;
  };
  const std::vector<Case> cases = {
      {"points", kPoints, {0, 2, 3}},     {"points_m", kPoints, {0, 2, 3}},
      {"lines", kLines, {0, 1}},          {"lines_z", kLines, {0, 1}},
      {"polygons", kPolygons, {0, 1}},    {"polygons_z", kPolygons, {0, 1}},
      {"multipoints", kMultipoints, {0}},
  };
  for (const Case& c : cases) {
    auto reader = Reader(Fixture(c.file));
    reader->SetActive(true);
    ASSERT_TRUE(reader->Active()) << c.file;
    EXPECT_EQ(reader->Name(), std::string(c.file) + ".shp");
    EXPECT_EQ(reader->Count(), c.indexes.back() + 1) << c.file;
    for (std::size_t i = 0; i < c.indexes.size(); ++i) {
      ExpectObject(reader->GetObject(c.indexes[i]), c.objects[i],
                   std::string(c.file) + " object " + std::to_string(c.indexes[i]));
    }
  }
}

TEST_F(SHPTest, ANullShapeKeepsItsPlaceAndDrawsNothing) {
  FlatMap();
  auto reader = Reader(Fixture("points"));
  reader->SetActive(true);
  ASSERT_EQ(reader->Count(), 4);
  auto& none = dynamic_cast<TGeoDataObject&>(reader->GetObject(1));
  EXPECT_EQ(none.Title(), "Nowhere");
  EXPECT_EQ(none.ID(), 2);
  EXPECT_TRUE(none.Hidden());
  ASSERT_EQ(none.Chains().Count(), 1);
  EXPECT_EQ(none.Chains().GetChain(0).Count(), 0);
  EXPECT_FALSE(none.LLInObject(PointLL(0, 0), 1000));

  dev.Calls.clear();
  none.Render(globe, none.ObjectState);
  EXPECT_TRUE(dev.CallsNamed("Ellipse").empty()) << "not drawn as a point at its centroid";
  EXPECT_TRUE(dev.CallsNamed("Polyline").empty());
  EXPECT_TRUE(dev.CallsNamed("Polygon").empty());
  // A point is drawn as one.
  TGlobeObject& point = reader->GetObject(0);
  point.Render(globe, point.ObjectState);
  EXPECT_EQ(dev.CallsNamed("Ellipse").size(), 1u);
}

TEST_F(SHPTest, TitlesAndIDsComeFromTheTable) {
  const std::string shp = Fixture("points");
  auto reader = Reader(shp, -1);
  reader->SetActive(true);
  ASSERT_NE(reader->DBF(), nullptr);
  EXPECT_EQ(reader->GetObject(0).Title(), "New Object");
  EXPECT_EQ(reader->GetObject(3).Title(), "New Object");
  EXPECT_EQ(reader->GetObject(3).ID(), 4);

  // A new column unloads the objects; reloaded, they carry its text.
  reader->SetTitleColumn(3);
  EXPECT_EQ(reader->LoadedObject(0), nullptr);
  EXPECT_EQ(reader->GetObject(0).Title(), "ZRH");
  EXPECT_EQ(reader->GetObject(2).Title(), "SCL");
  reader->SetTitleColumn(9);
  EXPECT_EQ(reader->GetObject(2).Title(), "") << "a column the table does not have";
  reader->SetActive(false);
  EXPECT_EQ(reader->DBF(), nullptr);

  // Without a table objects have neither.
  std::filesystem::remove(Scratch("points.dbf"));
  std::filesystem::remove(Scratch("points.shp.md"));
  reader->SetActive(true);
  EXPECT_EQ(reader->DBF(), nullptr);
  EXPECT_EQ(reader->GetObject(0).Title(), "");
  EXPECT_EQ(reader->GetObject(0).ID(), 0);
}

TEST_F(SHPTest, TheTableIsFoundWhateverTheCaseOfItsExtension) {
  for (const char* table : {"lines.DBF", "lines.Dbf"}) {
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    const std::string shp = Fixture("lines", table);
    EXPECT_TRUE(SameFile(TGlobeSHPReader::CompanionTable(shp), Scratch(table))) << table;
    globe.SetSaveMetaDataLocation(smdDiscard);
    auto reader = Reader(shp);
    reader->SetActive(true);
    EXPECT_EQ(reader->GetObject(1).Title(), "Two Rivers") << table;
  }
  // Another stem is not the table, even when only the letter case differs.
  std::filesystem::remove_all(scratch);
  std::filesystem::create_directories(scratch);
  const std::string shp = Fixture("lines", "LINES.dbf");
  const std::string found = TGlobeSHPReader::CompanionTable(shp);
  // Unless the file system ignores the case, as on Windows: then it is the same name.
  std::error_code ec;
  if (std::filesystem::exists(platform::FsPath(Scratch("LINES.SHP")), ec)) {
    EXPECT_TRUE(SameFile(found, Scratch("LINES.dbf"))) << found;
  } else {
    EXPECT_EQ(found, "");
  }
}

TEST_F(SHPTest, DivisorsAndShiftsPlaceOtherUnits) {
  const std::string shp =
      Write("units.shp", SHPBytes().Header().Point(1, 18000, 4500).Point(2, -36000, -9000).Bytes());
  globe.SetSaveMetaDataLocation(smdDiscard);
  auto reader = Reader(shp);
  reader->SetLongXDivisor(100);
  reader->SetLongXShift(-180);
  reader->SetLatYDivisor(100);
  reader->SetLatYShift(0);
  reader->SetActive(true);
  ASSERT_EQ(reader->Count(), 2);
  EXPECT_EQ(reader->GetObject(0).Centroid(), PointLL(0, 45 * GU_DEGREE));
  // -360 - 180 degrees wraps to -180: the longitude stays within the globe.
  EXPECT_EQ(reader->GetObject(1).Centroid(), PointLL(-GU_180_DEGREE, -90 * GU_DEGREE));
}

TEST_F(SHPTest, LongitudesAroundTheWrapConvertAsTheExtendedArithmeticDoes) {
  // Ties at half a GU (odd multiples of 1/128 degree) and longitudes a turn or more out.
  const Ring points = {{190.0078125, 0.0078125},          {540.0000000000001, -12.3456789},
                       {719.9999999999999, 89.9999999},   {-700.3, -0.0},
                       {1000.25, 359.9921875},            {-180.0078125, -3.0 / 128},
                       {180.0, -180.0}};
  SHPBytes bytes;
  bytes.Header();
  for (std::size_t i = 0; i < points.size(); ++i) {
    bytes.Point(static_cast<std::int32_t>(i) + 1, points[i].first, points[i].second);
  }
  globe.SetSaveMetaDataLocation(smdDiscard);
  auto reader = Reader(Write("wrap.shp", bytes.Bytes()));
  reader->SetActive(true);
  ASSERT_EQ(reader->Count(), static_cast<std::int32_t>(points.size()));
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto [lon, lat] = points[i];
    EXPECT_EQ(reader->GetObject(static_cast<std::int32_t>(i)).Centroid(),
              PointLL(DegToGU(WrapDegrees180(lon)), DegToGU(lat)))
        << lon << " " << lat;
  }
}

TEST_F(SHPTest, HeaderErrorsNameTheFile) {
  const std::vector<std::uint8_t> good = Read(kData + "lines.shp");
  struct Case {
    const char* name;
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"file code in the other byte order", 0, {0x0A, 0x27, 0x00, 0x00}, "Invalid SHP file "},
      {"version 999", 28, {0xE7, 0x03, 0, 0}, "Invalid SHP file version "},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes = good;
    std::copy(c.bytes.begin(), c.bytes.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(c.offset));
    const std::string shp = Write("bad.shp", bytes);
    EXPECT_EQ(OpenError(shp), c.message + shp) << c.name;
  }
  // A header cut short, even after its version, is no shapefile without shapes.
  for (const std::size_t size : {std::size_t{4}, std::size_t{36}, std::size_t{99}}) {
    const std::string shp =
        Write("short.shp", std::vector<std::uint8_t>(good.begin(), good.begin() + size));
    EXPECT_EQ(OpenError(shp), "Truncated SHP file " + shp + ": " + std::to_string(size) +
                                  " bytes, shorter than its header of 100")
        << size;
  }
}

TEST_F(SHPTest, RecordsThatDoNotFitTheFileAreRefused) {
  const std::vector<std::uint8_t> lines = Read(kData + "lines.shp");
  // The first record of lines.shp: header at 100, shape type at 108, box, parts at 144,
  // points at 148, the first part start at 152.
  auto patched = [&](std::size_t Offset, std::vector<std::uint8_t> Bytes) {
    std::vector<std::uint8_t> b = lines;
    std::copy(Bytes.begin(), Bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(Offset));
    return b;
  };
  std::vector<std::uint8_t> cut = lines;
  cut.resize(lines.size() - 20);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::uint8_t nanBytes[8];
  std::memcpy(nanBytes, &nan, 8);
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"cut inside the last record", cut,
       "Invalid content length 74 in record 2 at offset 204 of "},
      {"a record header cut short", std::vector<std::uint8_t>(lines.begin(), lines.begin() + 106),
       "Truncated record at offset 100 in "},
      {"content length beyond the file", patched(104, {0x7F, 0xFF, 0xFF, 0xFF}),
       "Invalid content length"},
      {"part count beyond the record", patched(144, {0xFF, 0xFF, 0xFF, 0x7F}),
       "Invalid counts (2147483647 parts, 3 points)"},
      {"negative point count", patched(148, {0xFF, 0xFF, 0xFF, 0xFF}),
       "Invalid counts (1 parts, -1 points)"},
      {"first part after point 0", patched(152, {1, 0, 0, 0}), "Invalid start 1 of part 0"},
      {"part start past the points",
       [&] {
         std::vector<std::uint8_t> b =
             SHPBytes().Header().Parts(1, 3, {0, 4}, {{1, 1}, {2, 2}, {3, 3}}).Bytes();
         return b;
       }(),
       "Invalid start 4 of part 1"},
      {"parts out of order",
       SHPBytes().Header().Parts(1, 5, {0, 2, 1}, {{1, 1}, {2, 2}, {3, 3}}).Bytes(),
       "Invalid start 1 of part 2"},
      {"multipatch", patched(108, {31, 0, 0, 0}),
       "TGlobeReader returned nil object: unsupported shape type 31 in record 1"},
      {"coordinate that is no number",
       patched(156, std::vector<std::uint8_t>(nanBytes, nanBytes + 8)),
       "Invalid coordinate in record 1 of "},
  };
  globe.SetSaveMetaDataLocation(smdDiscard);
  for (const Case& c : cases) {
    const std::string shp = Write("bad.shp", c.bytes);
    const std::string message = OpenError(shp);
    EXPECT_THAT(message, HasSubstr(c.message)) << c.name;
    EXPECT_THAT(message, HasSubstr(shp)) << c.name;
  }
}

TEST_F(SHPTest, MetadataSavesTheMappingAndIsNeverReplaced) {
  const std::string shp = Fixture("points");
  const std::string md = shp + ".md";
  {
    auto reader = Reader(shp, 3);
    reader->SetActive(true);
    ASSERT_TRUE(std::filesystem::exists(md));
  }
  // The items grow in steps of 128; the last Integer before them counts them.
  const std::vector<std::uint8_t> saved = Read(md);
  ASSERT_GT(saved.size(), 128u * 8 + 4);
  const std::size_t countAt = saved.size() - 128 * 8 - 4;
  EXPECT_EQ(saved[countAt] | saved[countAt + 1] << 8, 128);

  // Reopened from the metadata: nothing is mapped, the title column comes back while the
  // reader's own is -1, and the objects load from their saved positions.
  auto reader = Reader(shp, -1);
  reader->SetActive(true);
  ASSERT_EQ(reader->Count(), 4);
  for (std::int32_t i = 0; i < 4; ++i) EXPECT_EQ(reader->LoadedObject(i), nullptr);
  EXPECT_EQ(reader->TitleColumn(), 3);
  EXPECT_EQ(reader->GetObject(2).Title(), "SCL");
  EXPECT_EQ(reader->GetObject(2).ID(), 3);
  EXPECT_TRUE(reader->GetState(1).Contains(osValidMER));
  reader->SetActive(false);

  auto other = Reader(shp, 1);
  other->SetActive(true);
  EXPECT_EQ(other->TitleColumn(), 1) << "a column already chosen is kept";
  EXPECT_EQ(other->GetObject(2).Title(), "Niño");
  other->SetActive(false);

  // A metadata file older than the data is not trusted: the file is mapped again, and the
  // old metadata file stays as it was.
  std::filesystem::last_write_time(md,
                                   std::filesystem::last_write_time(shp) - std::chrono::hours(1));
  const auto staleTime = std::filesystem::last_write_time(md);
  auto third = Reader(shp, 1);
  third->SetActive(true);
  EXPECT_NE(third->LoadedObject(0), nullptr) << "mapped";
  EXPECT_EQ(third->GetObject(2).Title(), "Niño");
  EXPECT_EQ(std::filesystem::last_write_time(md), staleTime);
  EXPECT_EQ(Read(md), saved);
}

TEST_F(SHPTest, MetadataThatDoesNotFitIsDroppedAndTheFileMapped) {
  const std::string shp = Fixture("lines");
  const std::string md = shp + ".md";
  Reader(shp)->SetActive(true);
  std::vector<std::uint8_t> bytes = Read(md);
  const std::size_t countAt = bytes.size() - 128 * 8 - 4;
  bytes[countAt + 3] = 0x7F;  // an item count beyond the file
  Write("lines.shp.md", bytes);
  std::filesystem::last_write_time(md,
                                   std::filesystem::last_write_time(shp) + std::chrono::hours(1));

  auto reader = Reader(shp);
  reader->SetActive(true);
  ASSERT_EQ(reader->Count(), 2);
  ExpectObject(reader->GetObject(1), kLines[1], "after bad metadata");
  EXPECT_EQ(Read(md).size(), bytes.size()) << "written anew";
  EXPECT_NE(Read(md), bytes);
}

TEST_F(SHPTest, RecordPositionsFromMetadataAreCheckedAgainstTheFile) {
  const std::string shp = Fixture("lines");
  const std::string md = shp + ".md";
  Reader(shp)->SetActive(true);
  std::vector<std::uint8_t> bytes = Read(md);
  const std::size_t itemsAt = bytes.size() - 128 * 8;
  bytes[itemsAt + 3] = 0x7F;      // object 0 far beyond the file
  bytes[itemsAt + 8 + 0] = 0x69;  // object 1 in the middle of object 0 (offset 105)
  Write("lines.shp.md", bytes);
  std::filesystem::last_write_time(md,
                                   std::filesystem::last_write_time(shp) + std::chrono::hours(1));

  auto reader = Reader(shp);
  reader->SetActive(true);
  ASSERT_EQ(reader->Count(), 2);
  try {
    (void)reader->GetObject(0);
    ADD_FAILURE() << "no error";
  } catch (const EGlobeException& e) {
    EXPECT_THAT(e.what(), HasSubstr("Truncated record at offset 2130706532 in " + shp));
  }
  EXPECT_THROW((void)reader->GetObject(1), EGlobeException);
  EXPECT_EQ(reader->LoadedObject(0), nullptr);
}

TEST_F(SHPTest, EnvironmentKeepsFileUnitsAndTitleColumn) {
  const std::string shp = Fixture("lines");
  auto reader = Reader(shp, 2);
  reader->SetLongXDivisor(0.5);
  reader->SetLatYShift(-1.25);
  std::unique_ptr<TGXML_Element> element = reader->SaveEnvironment();
  EXPECT_EQ(element->AttributeByName("Class", ""), "TGlobeSHPReader");
  EXPECT_EQ(element->AttributeByName("LongXDivisor", ""), "0.5");
  EXPECT_EQ(element->AttributeByName("LatYDivisor", ""), "1");
  EXPECT_EQ(element->AttributeByName("LatYShift", ""), "-1.25");
  EXPECT_EQ(element->AttributeByName("TitleColumn", ""), "2");

  auto loaded = std::make_unique<TGlobeSHPReader>(&globe);
  loaded->LoadEnvironment(element.get());
  EXPECT_EQ(loaded->LongXDivisor(), 0.5);
  EXPECT_EQ(loaded->LatYShift(), -1.25);
  EXPECT_EQ(loaded->TitleColumn(), 2);
  EXPECT_TRUE(std::filesystem::equivalent(loaded->FileName(), shp)) << loaded->FileName();
  EXPECT_FALSE(loaded->Active());

  // The class is known by name, for layer environments.
  EXPECT_NE(FindGlobeClass("TGlobeSHPReader"), nullptr);
}

TEST_F(SHPTest, TheLayerLoaderGivesShapefilesAShapefileReader) {
  Fixture("polygons");
  std::filesystem::rename(Scratch("polygons.shp"), Scratch("POLYGONS.SHP"));
  std::filesystem::rename(Scratch("polygons.dbf"), Scratch("POLYGONS.DBF"));
  const std::int32_t index = AddLayerFromFile(globe, Scratch("POLYGONS.SHP"));
  ASSERT_GE(index, 0);
  TGlobeLayer& layer = globe.Layers().GetLayer(index);
  auto* source = dynamic_cast<TGlobeSHPReader*>(&layer.Objects());
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(source->Active());
  EXPECT_EQ(layer.Name(), "POLYGONS.SHP");
  ASSERT_EQ(source->Count(), 2);
  EXPECT_EQ(source->GetObject(1).Title(), "New Object");
  EXPECT_EQ(source->GetObject(1).ID(), 2);
}

TEST_F(SHPTest, AMissingFileLeavesTheSourceClosed) {
  auto reader = Reader(Scratch("none.shp"));
  reader->SetActive(true);
  EXPECT_FALSE(reader->Active());
}

}  // namespace
}  // namespace globe
