#include "globe/core/text.h"
#include "globe/render/attributes.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>

#include "globe/core/numeric.h"
#include "globe/core/units.h"
#include "globe/projection/projection.h"
#include "globe/render/canvas.h"
#include "globe/view/customglobe.h"

namespace globe {

namespace {

struct TColorName {
  std::string_view Name;
  TColor Value;
};

constexpr TColor kSystemColor = 0xFF000000;

constexpr std::array<TColorName, 52> kColorNames = {{
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
    {"clScrollBar", kSystemColor | 0},
    {"clBackground", kSystemColor | 1},
    {"clActiveCaption", kSystemColor | 2},
    {"clInactiveCaption", kSystemColor | 3},
    {"clMenu", kSystemColor | 4},
    {"clWindow", kSystemColor | 5},
    {"clWindowFrame", kSystemColor | 6},
    {"clMenuText", kSystemColor | 7},
    {"clWindowText", kSystemColor | 8},
    {"clCaptionText", kSystemColor | 9},
    {"clActiveBorder", kSystemColor | 10},
    {"clInactiveBorder", kSystemColor | 11},
    {"clAppWorkSpace", kSystemColor | 12},
    {"clHighlight", kSystemColor | 13},
    {"clHighlightText", kSystemColor | 14},
    {"clBtnFace", kSystemColor | 15},
    {"clBtnShadow", kSystemColor | 16},
    {"clGrayText", kSystemColor | 17},
    {"clBtnText", kSystemColor | 18},
    {"clInactiveCaptionText", kSystemColor | 19},
    {"clBtnHighlight", kSystemColor | 20},
    {"cl3DDkShadow", kSystemColor | 21},
    {"cl3DLight", kSystemColor | 22},
    {"clInfoText", kSystemColor | 23},
    {"clInfoBk", kSystemColor | 24},
    {"clHotLight", kSystemColor | 26},
    {"clGradientActiveCaption", kSystemColor | 27},
    {"clGradientInactiveCaption", kSystemColor | 28},
    {"clMenuHighlight", kSystemColor | 29},
    {"clMenuBar", kSystemColor | 30},
}};

// Brush styles 8 … 59, rows top first, most significant bit leftmost.
using TPattern = std::array<std::uint8_t, 8>;
constexpr int kFirstPatternStyle = 8;
constexpr std::array<TPattern, 52> kPatterns = {{
    {0x7F, 0xFF, 0xF7, 0xFF, 0x7F, 0xFF, 0xF7, 0xFF},  // 8
    {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    {0x00, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF},
    {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF},
    {0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF},
    {0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F},
    {0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F},
    {0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77},  // 16
    {0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33},
    {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55},
    {0xFE, 0xFD, 0xFB, 0xF7, 0xEF, 0xDF, 0xBF, 0x7F},
    {0xFC, 0xF9, 0xF3, 0xE7, 0xCF, 0x9F, 0x3F, 0x7E},
    {0xEE, 0xDD, 0xBB, 0x77, 0xEE, 0xDD, 0xBB, 0x77},
    {0xCC, 0x99, 0x33, 0x66, 0xCC, 0x99, 0x33, 0x66},
    {0x11, 0x22, 0x44, 0x88, 0x11, 0x22, 0x44, 0x88},
    {0x7F, 0xBF, 0xDF, 0xEF, 0xF7, 0xFB, 0xFD, 0xFE},  // 24
    {0x3F, 0x9F, 0xCF, 0xE7, 0xF3, 0xF9, 0xFC, 0x7E},
    {0x77, 0xBB, 0xDD, 0xEE, 0x77, 0xBB, 0xDD, 0xEE},
    {0x33, 0x99, 0xCC, 0x66, 0x33, 0x99, 0xCC, 0x66},
    {0x88, 0x44, 0x22, 0x11, 0x88, 0x44, 0x22, 0x11},
    {0x00, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F},
    {0x00, 0x00, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F},
    {0x00, 0x77, 0x77, 0x77, 0x00, 0x77, 0x77, 0x77},
    {0x00, 0x00, 0x33, 0x33, 0x00, 0x00, 0x33, 0x33},  // 32
    {0x00, 0x55, 0x00, 0x55, 0x00, 0x55, 0x00, 0x55},
    {0x7D, 0xBB, 0xD7, 0xEF, 0xD7, 0xBB, 0x7D, 0xFE},
    {0x3C, 0x99, 0xC3, 0xE7, 0xC3, 0x99, 0x3C, 0x7E},
    {0x55, 0xBB, 0x55, 0xEE, 0x55, 0xBB, 0x55, 0xEE},
    {0x33, 0x33, 0xCC, 0xCC, 0x33, 0x33, 0xCC, 0xCC},
    {0x4E, 0xCF, 0xFC, 0xE4, 0x27, 0x3F, 0xF3, 0x72},
    {0x7F, 0xEF, 0xFD, 0xDF, 0xFE, 0xF7, 0xBF, 0xFB},
    {0x55, 0xFF, 0x55, 0xFF, 0x55, 0xFF, 0x55, 0xFF},  // 40
    {0x7F, 0xBF, 0xDF, 0xFF, 0xFD, 0xFB, 0xF7, 0xFF},
    {0x7F, 0xFF, 0xFF, 0xFF, 0xF7, 0xFF, 0xFF, 0xFF},
    {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    {0x7D, 0xBB, 0xC6, 0xBB, 0x7D, 0xFE, 0xFE, 0xFE},
    {0x07, 0x8B, 0xDD, 0xB8, 0x70, 0xE8, 0xDD, 0x8E},
    {0xAA, 0x5F, 0xBF, 0xBF, 0xAA, 0xF5, 0xFB, 0xFB},
    {0xDF, 0xAF, 0x77, 0x77, 0x77, 0x77, 0xFA, 0xFD},
    {0x40, 0xFF, 0x40, 0x40, 0x4F, 0x4F, 0x4F, 0x4F},  // 48
    {0x00, 0x7F, 0x7F, 0x7F, 0x00, 0xF7, 0xF7, 0xF7},
    {0x55, 0xFF, 0x7F, 0xFF, 0x77, 0xFF, 0x7F, 0xFF},
    {0xF7, 0xE3, 0xDD, 0x3E, 0x7F, 0xFE, 0xFD, 0xFB},
    {0x77, 0xEB, 0xDD, 0xBE, 0x77, 0xFF, 0x55, 0xFF},
    {0xBF, 0x5F, 0xFF, 0xFF, 0xFB, 0xF5, 0xFF, 0xFF},
    {0xFC, 0x7B, 0xB7, 0xCF, 0xF3, 0xFD, 0xFE, 0xFE},
    {0x7F, 0x7F, 0xBE, 0xC1, 0xF7, 0xF7, 0xEB, 0x1C},
    {0xEF, 0xDF, 0xAB, 0x55, 0x00, 0xFD, 0xFB, 0xF7},  // 56
    {0x88, 0x76, 0x70, 0x70, 0x88, 0x67, 0x07, 0x07},
    {0xFF, 0xF7, 0xEB, 0xD5, 0xAA, 0xD5, 0xEB, 0xF7},
    {0xD7, 0xEB, 0xDD, 0xB6, 0x63, 0xC6, 0x6D, 0xBB},
}};

[[noreturn]] void InvalidInteger(std::string_view Text) {
  throw EConvertError("'" + std::string(Text) + "' is not a valid integer value");
}

// Hexadecimal digits after "$" or "0x"; up to 32 bits, as the platform's integer reader.
TColor ParseHexColor(std::string_view Digits, std::string_view Text) {
  if (Digits.empty()) InvalidInteger(Text);
  std::uint64_t v = 0;
  for (char c : Digits) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (LowerAscii(c) >= 'a' && LowerAscii(c) <= 'f') {
      d = LowerAscii(c) - 'a' + 10;
    } else {
      InvalidInteger(Text);
    }
    v = v * 16 + static_cast<std::uint64_t>(d);
    if (v > 0xFFFFFFFFu) InvalidInteger(Text);
  }
  return static_cast<TColor>(v);
}

// Units are stored as one byte; a value beyond the unit table would index past it.
TGlobeUnitTypes UnitFromByte(std::uint8_t Value) noexcept {
  return Value < GLOBE_UNIT_TYPE_COUNT ? static_cast<TGlobeUnitTypes>(Value)
                                       : TGlobeUnitTypes::Pixel;
}

std::uint8_t ReadByte(TGlobeStreamReader& Reader) {
  std::uint8_t b = 0;
  Reader.ReadBuffer(&b, 1);
  return b;
}

void WriteByte(TGlobeStreamWriter& Writer, std::uint8_t Value) { Writer.WriteBuffer(&Value, 1); }

TColor ReadColor(TGlobeStreamReader& Reader) { return static_cast<TColor>(Reader.ReadInteger()); }

void WriteColor(TGlobeStreamWriter& Writer, TColor Value) {
  Writer.WriteInteger(static_cast<std::int32_t>(Value));
}

template <class T>
const T& AssignSource(const TGlobeAttribute& Attr, const TGlobeAttribute& Dest) {
  if (!Attr.InheritsFrom(T::StaticClass())) {
    throw EGlobeException("Cannot assign a " + std::string(Attr.ClassName()) + " to a " +
                          std::string(Dest.ClassName()));
  }
  return static_cast<const T&>(Attr);
}

}  // namespace

// ---- Colour text ------------------------------------------------------------------------

std::string ColorToString(TColor Color) {
  for (const TColorName& c : kColorNames) {
    if (c.Value == Color) return std::string(c.Name);
  }
  char text[16];
  std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(Color));
  return text;
}

TColor StringToColor(std::string_view Text) {
  for (const TColorName& c : kColorNames) {
    if (SameTextAscii(c.Name, Text)) return c.Value;
  }
  std::string_view s = Text;
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  bool negative = false;
  std::string_view body = s;
  if (!body.empty() && (body.front() == '-' || body.front() == '+')) {
    negative = body.front() == '-';
    body.remove_prefix(1);
  }
  TColor v;
  if (!body.empty() && body.front() == '$') {
    v = ParseHexColor(body.substr(1), Text);
  } else if (body.size() >= 2 && body[0] == '0' && LowerAscii(body[1]) == 'x') {
    v = ParseHexColor(body.substr(2), Text);
  } else {
    std::int32_t i = 0;
    try {
      i = StrToInt(s);
    } catch (const EConvertError&) {
      InvalidInteger(Text);
    }
    return static_cast<TColor>(i);
  }
  return negative ? static_cast<TColor>(0u - v) : v;
}

const std::array<std::uint8_t, 8>* BrushPattern(int Style) noexcept {
  if (Style < kFirstPatternStyle ||
      Style >= kFirstPatternStyle + static_cast<int>(kPatterns.size())) {
    return nullptr;
  }
  return &kPatterns[static_cast<std::size_t>(Style - kFirstPatternStyle)];
}

// ---- Attribute --------------------------------------------------------------------------

TGlobeAttribute::~TGlobeAttribute() { TGlobeAttribute::DestroyHandle(0); }

void TGlobeAttribute::DestroyHandle(int iStockObject) {
  if (!FAttributeHandle) return;
  // A canvas that is gone has no device to take the handle out of.
  if (TGlobeCanvas* canvas = LiveCanvas(); canvas != nullptr && canvas->DC() != nullptr) {
    platform::TDevice& dc = *canvas->DC();
    if (iStockObject == 0) {
      dc.SelectObject(platform::GetStockObject(platform::BLACK_PEN));
      dc.SelectObject(platform::GetStockObject(platform::WHITE_BRUSH));
      dc.SelectObject(platform::GetStockObject(platform::SYSTEM_FONT));
    } else {
      dc.SelectObject(platform::GetStockObject(iStockObject));
    }
  }
  FAttributeHandle.reset();
}

void TGlobeAttribute::RenderAttribute(TGlobeCanvas& GlobeCanvas, bool /*bSelected*/) {
  if (&GlobeCanvas != LiveCanvas()) {
    DestroyHandle(0);
    FGlobeCanvas = &GlobeCanvas;
    FCanvasAlive = GlobeCanvas.AliveToken();
  }
  if (FAttributeHandle && FiCanvasVersion != GlobeCanvas.CanvasVersion()) DestroyHandle(0);
  if (!FAttributeHandle) CreateHandle();
  FiCanvasVersion = GlobeCanvas.CanvasVersion();
}

// ---- Pen --------------------------------------------------------------------------------

void TGlobePen::Define(TColor aColor, platform::TPenStyle aStyle, std::int32_t aWidth,
                       TGlobeUnitTypes aUnit) {
  FPenColor = aColor;
  FPenStyle = aStyle;
  FPenWidth = aWidth;
  FPenUnit = aUnit;
  DestroyHandle(platform::BLACK_PEN);
  Changed();
}

void TGlobePen::SetPenColor(TColor Value) {
  if (Value == FPenColor) return;
  FPenColor = Value;
  if (FAttributeHandle) CreateHandle();
  Changed();
}

void TGlobePen::SetPenStyle(platform::TPenStyle Value) {
  if (Value == FPenStyle) return;
  FPenStyle = Value;
  if (FAttributeHandle) CreateHandle();
  Changed();
}

void TGlobePen::SetPenWidth(std::int32_t Value) {
  if (Value == FPenWidth) return;
  FPenWidth = Value;
  if (FAttributeHandle) CreateHandle();
  Changed();
}

void TGlobePen::SetPenUnit(TGlobeUnitTypes Value) {
  if (Value == FPenUnit) return;
  FPenUnit = Value;
  if (FAttributeHandle) CreateHandle();
  Changed();
}

void TGlobePen::CreateHandle() {
  DestroyHandle(platform::BLACK_PEN);
  TGlobeCanvas* canvas = LiveCanvas();
  if (canvas == nullptr) return;
  const std::int32_t width = canvas->ScaleUnitsToDevice(FPenWidth, FPenUnit);
  PenAltitude = canvas->Projection().Altitude();
  // A style the device does not know (read from a file) makes no pen, as the host's
  // CreatePen would; nothing is selected then.
  if (FPenStyle > platform::psInsideFrame) return;
  FAttributeHandle = platform::CreatePen(
      {FPenStyle, std::max(width, 0), platform::ColorToRGB(canvas->RenderColor(FPenColor))});
}

bool TGlobePen::Equals(const TGlobeAttribute& Attr) const {
  if (!Attr.InheritsFrom(StaticClass())) return false;
  const auto& p = static_cast<const TGlobePen&>(Attr);
  return FPenColor == p.FPenColor && FPenStyle == p.FPenStyle && FPenWidth == p.FPenWidth &&
         FPenUnit == p.FPenUnit;
}

void TGlobePen::RenderAttribute(TGlobeCanvas& GlobeCanvas, bool bSelected) {
  TGlobeAttribute::RenderAttribute(GlobeCanvas, bSelected);
  // Widths in geographic units follow the zoom.
  if (FPenUnit != TGlobeUnitTypes::Pixel && GlobeCanvas.Projection().Altitude() != PenAltitude) {
    CreateHandle();
  }
  if (!FAttributeHandle) return;
  if (bSelected) {
    GlobeCanvas.Globe().SelectedPen().RenderAttribute(GlobeCanvas, false);
  } else if (GlobeCanvas.DC() != nullptr) {
    GlobeCanvas.DC()->SelectObject(FAttributeHandle);
  }
  if (GlobeCanvas.DC() != nullptr) GlobeCanvas.DC()->SetBkMode(platform::TRANSPARENT);
}

std::unique_ptr<TGlobeAttribute> TGlobePen::Clone() const {
  auto pen = std::make_unique<TGlobePen>();
  pen->Assign(*this);
  return pen;
}

void TGlobePen::WriteProperties(TGlobeStreamWriter& Writer) const {
  WriteColor(Writer, FPenColor);
  WriteByte(Writer, FPenStyle);
  Writer.WriteInteger(FPenWidth);
  WriteByte(Writer, static_cast<std::uint8_t>(FPenUnit));
}

void TGlobePen::ReadProperties(TGlobeStreamReader& Reader) {
  FPenColor = ReadColor(Reader);
  FPenStyle = static_cast<platform::TPenStyle>(ReadByte(Reader));
  if (GlobeStreamVersion() >= GLOBE_STREAM_VERSION_WIDE) {
    FPenWidth = Reader.ReadInteger();
    FPenUnit = UnitFromByte(ReadByte(Reader));
  } else {
    FPenWidth = ReadByte(Reader);
    FPenUnit = TGlobeUnitTypes::Pixel;
  }
  // A handle made from the old values would go on drawing them.
  DestroyHandle(platform::BLACK_PEN);
  Changed();
}

void TGlobePen::Assign(const TGlobeAttribute& Attr) {
  const auto& p = AssignSource<TGlobePen>(Attr, *this);
  SetPenColor(p.FPenColor);
  SetPenStyle(p.FPenStyle);
  SetPenWidth(p.FPenWidth);
  SetPenUnit(p.FPenUnit);
}

void TGlobePen::LoadEnvironment(const TGXML_Element* Element) {
  if (Element == nullptr) return;
  FPenColor = StringToColor(Element->AttributeByName("Color", ColorToString(FPenColor)));
  FPenStyle = static_cast<platform::TPenStyle>(Element->IntAttributeByName("Style", FPenStyle));
  FPenWidth = Element->IntAttributeByName("Width", FPenWidth);
  FPenUnit = StrToUnits(Element->AttributeByName("Unit", UnitsToStr(FPenUnit)));
  DestroyHandle(platform::BLACK_PEN);
  Changed();
}

std::unique_ptr<TGXML_Element> TGlobePen::SaveEnvironment() {
  auto element = std::make_unique<TGXML_Element>();
  element->AddAttribute("Color", ColorToString(FPenColor));
  element->AddIntAttribute("Style", FPenStyle);
  element->AddIntAttribute("Width", FPenWidth);
  element->AddAttribute("Unit", UnitsToStr(FPenUnit));
  return element;
}

// ---- Brush ------------------------------------------------------------------------------

void TGlobeBrush::Define(TColor Color, TGlobeBrushStyle Style) {
  FBrushColor = Color;
  FBrushBkColor = Color;
  FBrushStyle = Style;
  DestroyHandle(0);
  Changed();
}

void TGlobeBrush::SetBrushColor(TColor Value) {
  if (Value == FBrushColor) return;
  FBrushColor = Value;
  if (FAttributeHandle) CreateHandle();
  Changed();
}

void TGlobeBrush::SetBrushStyle(TGlobeBrushStyle Value) {
  if (Value == FBrushStyle) return;
  FBrushStyle = Value;
  if (FAttributeHandle) CreateHandle();
  Changed();
}

void TGlobeBrush::SetBrushBkColor(TColor Value) {
  if (Value == FBrushBkColor) return;
  FBrushBkColor = Value;
  if (FAttributeHandle) CreateHandle();
  Changed();
}

void TGlobeBrush::CreateHandle() {
  DestroyHandle(0);
  TGlobeCanvas* canvas = LiveCanvas();
  if (canvas == nullptr) return;
  platform::TBrushDesc desc;
  if (FBrushStyle >= kFirstPatternStyle) {
    const TPattern* pattern = BrushPattern(FBrushStyle);
    if (pattern == nullptr) return;
    desc.Kind = platform::TBrushKind::Pattern;
    desc.Pattern = *pattern;
  } else if (FBrushStyle == bsClear) {
    desc.Kind = platform::TBrushKind::Null;
  } else {
    desc.Kind =
        FBrushStyle == bsSolid ? platform::TBrushKind::Solid : platform::TBrushKind::Hatched;
    desc.Color = platform::ColorToRGB(canvas->RenderColor(FBrushColor));
    if (FBrushStyle != bsSolid) desc.Hatch = static_cast<platform::THatchStyle>(FBrushStyle - 2);
  }
  FAttributeHandle = platform::CreateBrush(desc);
}

bool TGlobeBrush::Equals(const TGlobeAttribute& Attr) const {
  if (!Attr.InheritsFrom(StaticClass())) return false;
  const auto& b = static_cast<const TGlobeBrush&>(Attr);
  return FBrushColor == b.FBrushColor && FBrushBkColor == b.FBrushBkColor &&
         FBrushStyle == b.FBrushStyle;
}

void TGlobeBrush::RenderAttribute(TGlobeCanvas& GlobeCanvas, bool bSelected) {
  TGlobeAttribute::RenderAttribute(GlobeCanvas, bSelected);
  if (!FAttributeHandle) return;
  if (bSelected) {
    GlobeCanvas.Globe().SelectedBrush().RenderAttribute(GlobeCanvas, false);
    return;
  }
  platform::TDevice* dc = GlobeCanvas.DC();
  if (dc == nullptr) return;
  if (FBrushBkColor == FBrushColor) {
    dc->SetBkMode(platform::TRANSPARENT);
  } else {
    dc->SetBkMode(platform::OPAQUE);
    dc->SetBkColor(platform::ColorToRGB(GlobeCanvas.RenderColor(FBrushBkColor)));
  }
  if (FBrushStyle < kFirstPatternStyle) {
    dc->SetBkMode(platform::TRANSPARENT);  // hatch gaps stay unpainted
  } else {
    dc->SetTextColor(platform::ColorToRGB(GlobeCanvas.RenderColor(FBrushColor)));
  }
  dc->SelectObject(FAttributeHandle);
}

std::unique_ptr<TGlobeAttribute> TGlobeBrush::Clone() const {
  auto brush = std::make_unique<TGlobeBrush>();
  brush->Assign(*this);
  return brush;
}

void TGlobeBrush::WriteProperties(TGlobeStreamWriter& Writer) const {
  WriteColor(Writer, FBrushColor);
  WriteColor(Writer, FBrushBkColor);
  WriteByte(Writer, FBrushStyle);
}

void TGlobeBrush::ReadProperties(TGlobeStreamReader& Reader) {
  FBrushColor = ReadColor(Reader);
  FBrushBkColor =
      GlobeStreamVersion() >= GLOBE_STREAM_VERSION_CURRENT ? ReadColor(Reader) : FBrushColor;
  FBrushStyle = static_cast<TGlobeBrushStyle>(ReadByte(Reader));
  DestroyHandle(0);
  Changed();
}

void TGlobeBrush::Assign(const TGlobeAttribute& Attr) {
  const auto& b = AssignSource<TGlobeBrush>(Attr, *this);
  SetBrushColor(b.FBrushColor);
  SetBrushBkColor(b.FBrushBkColor);
  SetBrushStyle(b.FBrushStyle);
}

void TGlobeBrush::LoadEnvironment(const TGXML_Element* Element) {
  if (Element == nullptr) return;
  FBrushColor = StringToColor(Element->AttributeByName("Color", ColorToString(FBrushColor)));
  FBrushBkColor = StringToColor(Element->AttributeByName("BkColor", ColorToString(FBrushColor)));
  FBrushStyle = static_cast<TGlobeBrushStyle>(Element->IntAttributeByName("Style", FBrushStyle));
  DestroyHandle(0);
  Changed();
}

std::unique_ptr<TGXML_Element> TGlobeBrush::SaveEnvironment() {
  auto element = std::make_unique<TGXML_Element>();
  element->AddAttribute("Color", ColorToString(FBrushColor));
  element->AddAttribute("BkColor", ColorToString(FBrushBkColor));
  element->AddIntAttribute("Style", FBrushStyle);
  return element;
}

// ---- Font -------------------------------------------------------------------------------

void TGlobeFont::Define(std::string_view Name, TColor Color, std::int32_t Size,
                        TGlobeUnitTypes AUnit, std::int32_t Angle, TGlobeFontStyles Style) {
  FFontName = Name;
  FFontColor = Color;
  FFontSize = Size;
  FFontUnit = AUnit;
  FFontAngle = Angle;
  FStyle = Style;
  DestroyHandle(platform::SYSTEM_FONT);
  Changed();
}

void TGlobeFont::SetFontUnit(TGlobeUnitTypes Value) {
  if (Value == FFontUnit) return;
  FFontUnit = Value;
  DestroyHandle(platform::SYSTEM_FONT);
  Changed();
}

void TGlobeFont::SetFontColor(TColor Value) {
  if (Value == FFontColor) return;
  FFontColor = Value;
  DestroyHandle(platform::SYSTEM_FONT);
  Changed();
}

void TGlobeFont::SetFontSize(std::int32_t Value) {
  if (Value == FFontSize) return;
  FFontSize = Value;
  DestroyHandle(platform::SYSTEM_FONT);
  Changed();
}

void TGlobeFont::SetFontAngle(std::int32_t Value) {
  if (Value == FFontAngle) return;
  FFontAngle = Value;
  DestroyHandle(platform::SYSTEM_FONT);
  Changed();
}

void TGlobeFont::SetFontStyle(TGlobeFontStyles Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  DestroyHandle(platform::SYSTEM_FONT);
  Changed();
}

void TGlobeFont::SetFontName(std::string_view Value) {
  if (Value == FFontName) return;
  FFontName = Value;
  DestroyHandle(platform::SYSTEM_FONT);
  Changed();
}

void TGlobeFont::CreateHandle() {
  DestroyHandle(platform::SYSTEM_FONT);
  TGlobeCanvas* canvas = LiveCanvas();
  if (canvas == nullptr) return;
  FontAltitude = canvas->Projection().Altitude();
  std::int32_t h = canvas->FontRenderHeight(FFontSize, FFontUnit);
  const TCustomGlobe4& globe = canvas->Globe();
  if (h < globe.MinTextHeight()) return;  // too small to read: not drawn
  if (globe.MaxTextHeight() > 0 && h > globe.MaxTextHeight()) h = globe.MaxTextHeight();
  platform::TFontDesc desc;
  desc.Height = h;
  desc.Escapement = FFontAngle;
  desc.Orientation = FFontAngle;
  desc.Weight = FStyle.Contains(fsBold) ? 700 : 400;
  desc.Italic = FStyle.Contains(fsItalic);
  desc.Underline = FStyle.Contains(fsUnderline);
  desc.StrikeOut = FStyle.Contains(fsStrikeOut);
  desc.FaceName = FFontName;
  FAttributeHandle = platform::CreateFontObject(desc);
}

bool TGlobeFont::Equals(const TGlobeAttribute& Attr) const {
  if (!Attr.InheritsFrom(StaticClass())) return false;
  const auto& f = static_cast<const TGlobeFont&>(Attr);
  return SameTextAscii(FFontName, f.FFontName) && FFontColor == f.FFontColor &&
         FStyle == f.FStyle && FFontUnit == f.FFontUnit && FFontSize == f.FFontSize &&
         FFontAngle == f.FFontAngle;
}

void TGlobeFont::RenderAttribute(TGlobeCanvas& GlobeCanvas, bool bSelected) {
  TGlobeAttribute::RenderAttribute(GlobeCanvas, bSelected);
  // Heights in geographic units follow the zoom.
  if (FFontUnit != TGlobeUnitTypes::Pixel && GlobeCanvas.Projection().Altitude() != FontAltitude) {
    DestroyHandle(platform::SYSTEM_FONT);
    CreateHandle();
  }
  platform::TDevice* dc = GlobeCanvas.DC();
  if (!FAttributeHandle || dc == nullptr) return;
  dc->SelectObject(FAttributeHandle);
  dc->SetTextAlign(platform::TA_LEFT | platform::TA_TOP);
  dc->SetTextColor(bSelected ? platform::ColorToRGB(GlobeCanvas.Globe().SelectedPen().PenColor())
                             : platform::ColorToRGB(GlobeCanvas.RenderColor(FFontColor)));
  dc->SetBkMode(platform::TRANSPARENT);
}

std::unique_ptr<TGlobeAttribute> TGlobeFont::Clone() const {
  auto font = std::make_unique<TGlobeFont>();
  font->Assign(*this);
  return font;
}

void TGlobeFont::WriteProperties(TGlobeStreamWriter& Writer) const {
  WriteColor(Writer, FFontColor);
  WriteByte(Writer, static_cast<std::uint8_t>(FFontUnit));
  Writer.WriteSmallInt(static_cast<std::int16_t>(FFontSize));
  Writer.WriteSmallInt(static_cast<std::int16_t>(FFontAngle));
  WriteByte(Writer, FStyle.ToBits());
  Writer.WriteShortText(FFontName);
}

void TGlobeFont::ReadProperties(TGlobeStreamReader& Reader) {
  FFontColor = ReadColor(Reader);
  FFontUnit = UnitFromByte(ReadByte(Reader));
  SetFontSize(Reader.ReadSmallInt());
  SetFontAngle(Reader.ReadSmallInt());
  FStyle = TGlobeFontStyles::FromBits(ReadByte(Reader));
  SetFontName(Reader.ReadShortText());
  DestroyHandle(platform::SYSTEM_FONT);
  Changed();
}

void TGlobeFont::Assign(const TGlobeAttribute& Attr) {
  const auto& f = AssignSource<TGlobeFont>(Attr, *this);
  SetFontName(f.FFontName);
  SetFontColor(f.FFontColor);
  SetFontStyle(f.FStyle);
  SetFontUnit(f.FFontUnit);
  SetFontSize(f.FFontSize);
  SetFontAngle(f.FFontAngle);
}

void TGlobeFont::LoadEnvironment(const TGXML_Element* Element) {
  if (Element == nullptr) return;
  FFontName = Element->AttributeByName("Name", FFontName);
  FFontColor = StringToColor(Element->AttributeByName("Color", ColorToString(FFontColor)));
  FStyle = TGlobeFontStyles::FromBits(
      static_cast<std::uint8_t>(Element->IntAttributeByName("Style", FStyle.ToBits())));
  FFontSize = Element->IntAttributeByName("Size", FFontSize);
  FFontAngle = Element->IntAttributeByName("Angle", FFontAngle);
  FFontUnit = StrToUnits(Element->AttributeByName("Unit", UnitsToStr(FFontUnit)));
  DestroyHandle(platform::SYSTEM_FONT);
  Changed();
}

std::unique_ptr<TGXML_Element> TGlobeFont::SaveEnvironment() {
  auto element = std::make_unique<TGXML_Element>();
  element->AddAttribute("Name", FFontName);
  element->AddAttribute("Color", ColorToString(FFontColor));
  element->AddIntAttribute("Style", FStyle.ToBits());
  element->AddIntAttribute("Size", FFontSize);
  element->AddIntAttribute("Angle", FFontAngle);
  element->AddAttribute("Unit", UnitsToStr(FFontUnit));
  return element;
}

void RegisterGlobeAttributes() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterGlobeClasses<TGlobePen, TGlobeBrush, TGlobeFont>(); });
}

}  // namespace globe
