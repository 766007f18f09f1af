#include "globe/objects/pointpresenter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <string_view>

#include "globe/core/numeric.h"
#include "globe/core/units.h"
#include "globe/formats/propertystream.h"
#include "globe/objects/geodata.h"
#include "globe/objects/object.h"
#include "globe/projection/projection.h"
#include "globe/render/attributes.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"
#include "globe/view/globe.h"

namespace globe {

namespace {

// A unit byte beyond the unit table (from a damaged file) counts as Pixel, as for pens.
TGlobeUnitTypes UnitFromByte(std::uint8_t Value) noexcept {
  return Value < GLOBE_UNIT_TYPE_COUNT ? static_cast<TGlobeUnitTypes>(Value)
                                       : TGlobeUnitTypes::Pixel;
}

// The symbol code is a character of the (symbol) font: code points 0 … 65535 as UTF-8.
std::string SymbolText(std::int16_t SymbolIndex) {
  std::uint32_t c = static_cast<std::uint16_t>(SymbolIndex);
  if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // a lone surrogate is no character
  std::string text;
  if (c < 0x80) {
    text += static_cast<char>(c);
  } else if (c < 0x800) {
    text += static_cast<char>(0xC0 | (c >> 6));
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (c >> 12));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  }
  return text;
}

// Whether two spellings of a folder are the same text; on Windows "/" and "\\" are alike.
bool SameFolderText(std::string_view A, std::string_view B) {
#ifdef _WIN32
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    const bool slashes = (A[i] == '/' || A[i] == '\\') && (B[i] == '/' || B[i] == '\\');
    if (A[i] != B[i] && !slashes) return false;
  }
  return true;
#else
  return A == B;
#endif
}

// The name as environment documents keep it: relative to the data directory when the file
// lies inside it, so that a moved installation still finds its pictures.
std::string RelativeToDataDirectory(const TGlobe4& Globe, const std::string& sName) {
  const std::string& dir = Globe.DataDirectory();
  if (!dir.empty() && sName.size() > dir.size() &&
      SameFolderText(sName.substr(0, dir.size()), dir)) {
    std::string rest = sName.substr(dir.size());
    if (dir.back() == '/' || dir.back() == '\\') return rest;
    if (rest.front() == '/' || rest.front() == '\\') return rest.substr(1);
  }
  return sName;
}

}  // namespace

TPointPresenter::TPointPresenter(TGlobe4* Globe, std::int32_t iID)
    : TGlobePresenter(Globe, iID),
      FPointPen(std::make_unique<TGlobePen>()),
      FPointBrush(std::make_unique<TGlobeBrush>()),
      FPointFont(std::make_unique<TGlobeFont>()) {
  SetName("Point Presenter");
}

TPointPresenter::~TPointPresenter() = default;

void TPointPresenter::SetPointUnit(TGlobeUnitTypes Value) {
  if (Value == FPointUnit) return;
  FPointUnit = Value;
  if (FPointType == ppFontSymbol) FPointFont->SetFontUnit(Value);
}

void TPointPresenter::SetPointSize(std::int32_t Value) {
  if (Value == FiPointSize) return;
  FiPointSize = Value;
  if (FPointType == ppFontSymbol) FPointFont->SetFontSize(Value);
}

void TPointPresenter::SetImage(std::shared_ptr<const platform::TBitmap> Value) {
  FImage = std::move(Value);
  FsImageName.clear();
}

void TPointPresenter::SetImageName(const std::string& Value) {
  if (Value.empty()) return;
  const std::string resolved = ParentGlobe().ResolveFilename(Value);
  if (resolved.empty()) {
    FsImageName.clear();
    FImage.reset();
    return;
  }
  std::shared_ptr<const platform::TBitmap> picture;
  try {
    picture = platform::Graphics().LoadPicture(resolved);
  } catch (const std::exception&) {
    // Name and picture stay as they were, so they never disagree.
    throw EGlobeException("Unable to load picture " + resolved);
  }
  if (!picture) throw EGlobeException("Unable to load picture " + resolved);
  FImage = std::move(picture);
  FsImageName = resolved;
}

void TPointPresenter::WriteProperties(TGlobeStreamWriter& Writer) {
  TGlobePresenter::WriteProperties(Writer);
  Writer.WriteByte(FPointType);
  Writer.WriteByte(static_cast<std::uint8_t>(FPointUnit));
  // A negative size announces that the cap follows. A size that is not positive cannot
  // carry a cap, and a negative one without a cap would be taken for one and shift the
  // rest of the record: such a cap is dropped and such a size written as 0.
  if (FiMaxPointSize > 0 && FiPointSize > 0) {
    Writer.WriteInteger(-FiPointSize);
    Writer.WriteInteger(FiMaxPointSize);
  } else {
    Writer.WriteInteger(std::max(FiPointSize, 0));
  }
  Writer.WriteSmallInt(FiSymbolIndex);
  Writer.WriteShortText(FsImageName);
  FPointPen->WriteProperties(Writer);
  FPointBrush->WriteProperties(Writer);
  FPointFont->WriteProperties(Writer);
}

void TPointPresenter::ReadProperties(TGlobeStreamReader& Reader) {
  TGlobePresenter::ReadProperties(Reader);
  FPointType = static_cast<TPointPresenterType>(Reader.ReadByte());
  FPointUnit = UnitFromByte(Reader.ReadByte());
  const std::int32_t size = Reader.ReadInteger();
  if (size == std::numeric_limits<std::int32_t>::min()) {
    throw EGlobeException("Invalid point size " + std::to_string(size) +
                          " in the record of point presenter " + std::to_string(PresenterID()));
  }
  SetPointSize(size);
  if (size < 0) {
    SetPointSize(-size);
    FiMaxPointSize = Reader.ReadInteger();
  }
  FiSymbolIndex = Reader.ReadSmallInt();
  const std::string name = Reader.ReadShortText();
  if (!name.empty()) SetImageName(name);
  FPointPen->ReadProperties(Reader);
  FPointBrush->ReadProperties(Reader);
  FPointFont->ReadProperties(Reader);
}

void TPointPresenter::RenderObject(TGlobe4& Globe, TGlobeObject& Geod,
                                   TGlobeObjectStateSet /*State*/) {
  if (!Geod.InheritsFrom(TGeoDataObject::StaticClass())) {
    throw EGlobeException("Invalid class typecast");
  }
  auto& geo = static_cast<TGeoDataObject&>(Geod);
  // The object's own selection, not the state the layer passes.
  const bool selected = geo.Selected();
  TGlobeCanvas& canvas = Globe.GlobeCanvas();
  FPointPen->RenderAttribute(canvas, selected);
  FPointBrush->RenderAttribute(canvas, selected);

  // The size is the same for every point of the object: worked out once, and a presenter
  // that draws nothing projects nothing.
  if (canvas.DC() == nullptr) return;
  const std::int32_t r = SymbolRadius(Globe);
  if (!SymbolDrawn()) return;

  bool anyPoint = false;
  const TChainStore& chains = geo.Chains();
  for (std::int32_t i = 0; i < chains.Count(); ++i) {
    const TPointStore* chain = chains.FindChain(i);
    if (chain == nullptr) continue;
    for (std::int32_t j = 0; j < chain->Count(); ++j) {
      DrawSymbol(Globe, chain->GetLL(j), selected, r);
      anyPoint = true;
    }
  }
  if (!anyPoint) DrawSymbol(Globe, geo.Centroid(), selected, r);
}

std::int32_t TPointPresenter::SymbolRadius(TGlobe4& Globe) const {
  TGlobeCanvas& canvas = Globe.GlobeCanvas();
  std::int32_t size = canvas.ScaleUnitsToDevice(FiPointSize, FPointUnit);
  if (FiMaxPointSize != 0 && canvas.ScreenPixelsPerInch() != 0) {
    const Extended cap = static_cast<Extended>(FiMaxPointSize) * canvas.CanvasPixelsPerInch() /
                         canvas.ScreenPixelsPerInch();
    size = static_cast<std::int32_t>(std::min<std::int64_t>(size, RoundHalfEven(cap)));
  }
  return size / 2;
}

bool TPointPresenter::SymbolDrawn() const noexcept {
  // Shapes of size 0 still go to the device: a vector device may keep them.
  switch (FPointType) {
    case ppNone:
      return false;
    case ppImage:
      return FImage && !FImage->Empty();
    default:
      return true;
  }
}

void TPointPresenter::DrawSymbol(TGlobe4& Globe, const TPointLL& ptLL, bool bSelected,
                                 std::int32_t r) {
  TPoint pt;
  if (!Globe.Projection().PointLLToXY(ptLL, pt)) return;
  TGlobeCanvas& canvas = Globe.GlobeCanvas();
  platform::TDevice* dc = canvas.DC();
  if (dc == nullptr) return;

  const std::int32_t X = pt.X;
  const std::int32_t Y = pt.Y;

  const auto polygon = [dc](std::initializer_list<TPoint> Points) {
    TPoint* buffer = DevicePoints();
    std::copy(Points.begin(), Points.end(), buffer);
    dc->Polygon(std::span<const TPoint>(buffer, Points.size()));
  };

  switch (FPointType) {
    case ppFontSymbol: {
      FPointFont->RenderAttribute(canvas, bSelected);
      const std::int32_t a = -FPointFont->FontAngle() / 10;
      // Extended precision, as the placement was defined with: in double the error of
      // cos(-90°) is large enough to move the truncated offset by a pixel.
      const Extended phi = a * PI_EXT / 180;
      const std::string text = SymbolText(FiSymbolIndex);
      const platform::TSize extent = dc->TextExtent(text);
      const std::int32_t hw = extent.cx / 2;
      const std::int32_t hh = extent.cy / 2;
      // Moves the cell's origin so that the centre of the turned cell lies on the point.
      const auto dx = static_cast<std::int32_t>(Trunc(hw * std::cos(phi) - hh * std::sin(phi)));
      const auto dy = static_cast<std::int32_t>(Trunc(hw * std::sin(phi) + hh * std::cos(phi)));
      dc->TextOut(X - dx, Y - dy, text);
      break;
    }
    case ppImage:
      if (FImage && !FImage->Empty()) {
        const double k = static_cast<double>(r) / FImage->Width();
        const auto hs = static_cast<std::int32_t>(RoundHalfEvenD(FImage->Height() * k));
        dc->StretchBitmap(TRect{X - r, Y - hs, X + r, Y + hs}, *FImage);
      }
      break;
    case ppDot:
      dc->SetPixel(X, Y, FPointPen->PenColor());
      break;
    case ppCircle:
      dc->Ellipse(TRect{X - r, Y - r, X + r, Y + r});
      break;
    case ppSquare:
      dc->Rectangle(TRect{X - r, Y - r, X + r, Y + r});
      break;
    case ppDiamond:
      polygon({{X, Y - r}, {X + r, Y}, {X, Y + r}, {X - r, Y}});
      break;
    case ppTriangleUp:
      polygon({{X + r, Y + r}, {X, Y - r}, {X - r, Y + r}});
      break;
    case ppTriangleDown:
      polygon({{X - r, Y - r}, {X, Y + r}, {X + r, Y - r}});
      break;
    case ppTriangleLeft:
      polygon({{X + r, Y + r}, {X - r, Y}, {X + r, Y - r}});
      break;
    case ppTriangleRight:
      polygon({{X - r, Y - r}, {X + r, Y}, {X - r, Y + r}});
      break;
    case ppNone:
    default:
      break;
  }
}

bool TPointPresenter::LLInObject(TGlobe4& Globe, const TPointLL& ptLL, TGlobeObject& Geod,
                                 std::int32_t /*iTolerance*/) {
  std::int64_t g = Globe.GlobeCanvas().GlobeUnitsFrom(FiPointSize, FPointUnit);
  const Extended scale = Globe.Projection().ScaleFactor();
  if (FiMaxPointSize != 0 && scale > 0) {
    const Extended cap = FiMaxPointSize / scale;
    // A cap beyond the GU range caps nothing.
    if (std::fabs(cap) < static_cast<Extended>(std::numeric_limits<std::int32_t>::max())) {
      g = std::min<std::int64_t>(g, RoundHalfEven(cap));
    }
  }
  const std::int64_t h = g / 2;
  const TPointLL c = Geod.Centroid();
  // In 64 bits: a huge symbol must not wrap the square's corner round the int32 range.
  const std::int64_t west = c.iLongX - h;
  const std::int64_t south = c.iLatY - h;
  const std::int64_t side = 2 * h;
  const std::int64_t lat = ptLL.iLatY;
  if (!(south < lat && lat < south + side)) return false;
  const std::int64_t lon = ptLL.iLongX;
  if (west < lon && lon < west + side) return true;
  if (west + side > GU_180_DEGREE) {
    const std::int64_t wrapped = lon + GU_360_DEGREE;
    return west < wrapped && wrapped < west + side;
  }
  return false;
}

void TPointPresenter::Assign(const TGlobeRoot& Source) {
  TGlobePresenter::Assign(Source);
  if (!Source.InheritsFrom(TPointPresenter::StaticClass())) return;
  const auto& src = static_cast<const TPointPresenter&>(Source);
  SetPointType(src.FPointType);
  SetPointUnit(src.FPointUnit);
  SetPointSize(src.FiPointSize);
  FiSymbolIndex = src.FiSymbolIndex;
  // Pictures are immutable and shared, so the source's is taken as it is rather than
  // loaded again from a file that may have gone; a directly set one is kept too.
  if (!src.FsImageName.empty()) {
    FImage = src.FImage;
    FsImageName = src.FsImageName;
  } else if (src.FImage) {
    SetImage(src.FImage);
  }
  FiMaxPointSize = src.FiMaxPointSize;
  FPointPen->Assign(*src.FPointPen);
  FPointBrush->Assign(*src.FPointBrush);
  FPointFont->Assign(*src.FPointFont);
}

void TPointPresenter::LoadEnvironment(const TGXML_Element* Element) {
  if (Element == nullptr) return;
  TGlobePresenter::LoadEnvironment(Element);
  FPointType = static_cast<TPointPresenterType>(Element->IntAttributeByName("Type", FPointType));
  FPointUnit = StrToUnits(Element->AttributeByName("Unit", UnitsToStr(FPointUnit)));
  FiPointSize = Element->IntAttributeByName("Size", FiPointSize);
  FiMaxPointSize = Element->IntAttributeByName("MaxSize", FiMaxPointSize);
  FiSymbolIndex =
      static_cast<std::int16_t>(Element->IntAttributeByName("SymbolIndex", FiSymbolIndex));
  SetImageName(Element->AttributeByName("ImageName", ""));
  FPointPen->LoadEnvironment(Element->ElementByName("Pen"));
  FPointBrush->LoadEnvironment(Element->ElementByName("Brush"));
  FPointFont->LoadEnvironment(Element->ElementByName("Font"));
}

std::unique_ptr<TGXML_Element> TPointPresenter::SaveEnvironment() {
  auto element = TGlobePresenter::SaveEnvironment();
  element->AddIntAttribute("Type", FPointType);
  element->AddAttribute("Unit", UnitsToStr(FPointUnit));
  element->AddIntAttribute("Size", FiPointSize);
  element->AddIntAttribute("MaxSize", FiMaxPointSize);
  element->AddIntAttribute("SymbolIndex", FiSymbolIndex);
  element->AddAttribute("ImageName", RelativeToDataDirectory(ParentGlobe(), FsImageName));
  element->AddElement("Pen", FPointPen->SaveEnvironment());
  element->AddElement("Brush", FPointBrush->SaveEnvironment());
  element->AddElement("Font", FPointFont->SaveEnvironment());
  return element;
}

std::int32_t TPointPresenter::FindMatch(const TGlobePresenterStore& Presenters,
                                        const TGlobePen* APen, const TGlobeBrush* ABrush,
                                        const TGlobeFont* AFont, const TGlobeFont* ATitleFont,
                                        TPointPresenterType APointType, TGlobeUnitTypes APointUnit,
                                        std::int32_t APointSize, const std::string& AImageName) {
  for (std::int32_t i = 0; i < Presenters.Count(); ++i) {
    const TGlobePresenter& p = Presenters.GetPresenter(i);
    if (!p.InheritsFrom(TPointPresenter::StaticClass())) continue;
    const auto& pp = static_cast<const TPointPresenter&>(p);
    if (APen != nullptr && !pp.PointPen().Equals(*APen)) continue;
    if (ABrush != nullptr && !pp.PointBrush().Equals(*ABrush)) continue;
    if (AFont != nullptr && !pp.PointFont().Equals(*AFont)) continue;
    if (ATitleFont != nullptr && !pp.TitleFont().Equals(*ATitleFont)) continue;
    if (pp.PointType() != APointType || pp.PointUnit() != APointUnit ||
        pp.PointSize() != APointSize || pp.ImageName() != AImageName) {
      continue;
    }
    return pp.PresenterID();
  }
  return 0;
}

}  // namespace globe
