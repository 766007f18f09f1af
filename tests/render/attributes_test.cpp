#include "globe/render/attributes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "globe/core/numeric.h"
#include "globe/formats/stream.h"
#include "tests/render/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<std::uint8_t>;
using U = TGlobeUnitTypes;

// ---- Colour text ------------------------------------------------------------------------

TEST(ColorText, WritesNamesOrDollarHex) {
  const std::vector<std::pair<TColor, std::string>> cases = {
      {0x00FF8000, "$00FF8000"}, {0xC0C0C0, "clSilver"},    {0x000000, "clBlack"},
      {0xA4A0A0, "clMedGray"},   {0x1FFFFFFF, "clNone"},    {0x20000000, "clDefault"},
      {0xFF00001E, "clMenuBar"}, {0xFF000019, "$FF000019"}, {0x000001, "$00000001"},
  };
  for (const auto& [color, text] : cases) EXPECT_EQ(ColorToString(color), text);
}

TEST(ColorText, ReadsNamesInAnyCaseAndIntegers) {
  const std::vector<std::pair<std::string, TColor>> cases = {
      {"CLSILVER", 0xC0C0C0},
      {"clmenubar", 0xFF00001E},
      {"$00FF8000", 0x00FF8000},
      {"$ff", 0xFF},
      {"0x10", 0x10},
      {"0XfF", 0xFF},
      {"123", 123},
      {"-1", 0xFFFFFFFF},
      {"$FFFFFFFF", 0xFFFFFFFF},
      {" 42 ", 42},
  };
  for (const auto& [text, color] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(StringToColor(text), color);
  }
}

TEST(ColorText, SystemColourNamesRoundTrip) {
  for (TColor i = 0; i <= 30; ++i) {
    const TColor color = 0xFF000000 | i;
    const std::string text = ColorToString(color);
    SCOPED_TRACE(text);
    // Index 25 has no name.
    EXPECT_EQ(text.rfind(i == 25 ? "$" : "cl", 0), 0u);
    EXPECT_EQ(StringToColor(text), color);
  }
}

TEST(ColorText, InvalidTextThrowsTheIntegerError) {
  for (const std::string text : {"blue", "$", "0x", "$1FFFFFFFF", "", "12a", "$-1", "9999999999"}) {
    SCOPED_TRACE(text);
    try {
      (void)StringToColor(text);
      ADD_FAILURE() << "no exception";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid integer value");
    }
  }
}

TEST(BrushPatterns, StylesEightToFiftyNineHaveOne) {
  EXPECT_EQ(BrushPattern(7), nullptr);
  EXPECT_EQ(BrushPattern(60), nullptr);
  ASSERT_NE(BrushPattern(8), nullptr);
  EXPECT_THAT(*BrushPattern(8), ElementsAre(0x7F, 0xFF, 0xF7, 0xFF, 0x7F, 0xFF, 0xF7, 0xFF));
  EXPECT_THAT(*BrushPattern(bsPattern38),
              ElementsAre(0x07, 0x8B, 0xDD, 0xB8, 0x70, 0xE8, 0xDD, 0x8E));
  EXPECT_THAT(*BrushPattern(59), ElementsAre(0xD7, 0xEB, 0xDD, 0xB6, 0x63, 0xC6, 0x6D, 0xBB));
}

// ---- Handles ----------------------------------------------------------------------------

TEST_F(RenderTest, PenHandleIsRebuiltOnlyWhenWidthOrColourCanChange) {
  Sphere(300, 300, 100);
  TGlobePen px, km;
  px.Define(0x0000FF, platform::psSolid, 2, U::Pixel);
  km.Define(0x0000FF, platform::psSolid, 2, U::Kilometer);
  auto render = [&](TGlobeCanvas& c) {
    px.RenderAttribute(c, false);
    km.RenderAttribute(c, false);
    return std::pair{px.AttributeHandle(), km.AttributeHandle()};
  };
  const auto first = render(canvas);
  ASSERT_TRUE(first.first && first.second);
  EXPECT_EQ(render(canvas), first);

  const std::int32_t altitude = P.Altitude();
  P.SetScaleFactor(P.ScaleFactor() * 2);
  ASSERT_NE(P.Altitude(), altitude);
  const auto zoomed = render(canvas);
  EXPECT_EQ(zoomed.first, first.first);
  EXPECT_NE(zoomed.second, first.second);

  canvas.SetColorAdjustPercent(50);
  const auto adjusted = render(canvas);
  EXPECT_NE(adjusted.first, zoomed.first);
  EXPECT_NE(adjusted.second, zoomed.second);
  EXPECT_EQ(adjusted.first->Pen().Color, canvas.RenderColor(0x0000FF));

  platform::TRecordingDevice otherDev;
  const std::unique_ptr<TGlobeCanvas> other = canvas.Clone();
  other->SetDC(&otherDev);
  EXPECT_NE(render(*other).first, adjusted.first);
}

TEST_F(RenderTest, PenIsMadeAndSelectedAsDescribed) {
  canvas.SetCanvasPixelsPerInch(600);
  TGlobePen pen;
  pen.Define(0x00FF00, platform::psDashDot, 2, U::Pixel);
  pen.RenderAttribute(canvas, false);
  ASSERT_TRUE(pen.AttributeHandle());
  EXPECT_EQ(pen.AttributeHandle()->Pen(), (platform::TPenDesc{platform::psDashDot, 13, 0x00FF00}));
  EXPECT_EQ(dev.CurrentPen(), pen.AttributeHandle());
  EXPECT_EQ(dev.BkMode(), platform::TRANSPARENT);

  pen.RenderAttribute(canvas, true);
  EXPECT_EQ(dev.CurrentPen(), globe.SelectedPen().AttributeHandle());

  // A style no device knows (read from a file) makes no pen; the selected one stays.
  pen.SetPenStyle(static_cast<platform::TPenStyle>(9));
  const platform::THandle before = dev.CurrentPen();
  pen.RenderAttribute(canvas, false);
  EXPECT_FALSE(pen.AttributeHandle());
  EXPECT_EQ(dev.CurrentPen(), before);
}

TEST_F(RenderTest, BrushStylesBecomeDeviceBrushes) {
  using K = platform::TBrushKind;
  struct Case {
    TGlobeBrushStyle style;
    TColor bk;
    K kind;
    platform::TBkMode mode;
  };
  // Solid and hatched brushes never paint a background, patterns do when it differs.
  const std::vector<Case> cases = {
      {bsSolid, 0xFFFFFF, K::Solid, platform::TRANSPARENT},
      {bsClear, 0x0000FF, K::Null, platform::TRANSPARENT},
      {bsHorizontal, 0xFFFFFF, K::Hatched, platform::TRANSPARENT},
      {bsDiagCross, 0xFFFFFF, K::Hatched, platform::TRANSPARENT},
      {bsPattern6, 0xFFFFFF, K::Pattern, platform::OPAQUE},
      {bsPattern6, 0x0000FF, K::Pattern, platform::TRANSPARENT},
      {static_cast<TGlobeBrushStyle>(59), 0xFFFFFF, K::Pattern, platform::OPAQUE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.style));
    TGlobeBrush brush;
    brush.Define(0x0000FF, c.style);
    brush.SetBrushBkColor(c.bk);
    brush.RenderAttribute(canvas, false);
    ASSERT_TRUE(brush.AttributeHandle());
    const platform::TBrushDesc& desc = brush.AttributeHandle()->Brush();
    EXPECT_EQ(desc.Kind, c.kind);
    EXPECT_EQ(dev.CurrentBrush(), brush.AttributeHandle());
    EXPECT_EQ(dev.BkMode(), c.mode);
    if (c.kind == K::Hatched) {
      EXPECT_EQ(desc.Hatch, c.style - 2);
      EXPECT_EQ(desc.Color, 0x0000FFu);
    }
    if (c.kind == K::Pattern) {
      EXPECT_EQ(desc.Pattern, *BrushPattern(c.style));
      EXPECT_EQ(dev.TextColor(), 0x0000FFu);
      if (c.mode == platform::OPAQUE) {
        EXPECT_EQ(dev.BkColor(), c.bk);
      }
    }
  }
}

TEST_F(RenderTest, BrushWithoutPatternSelectsNothing) {
  TGlobeBrush brush;
  brush.Define(0x0000FF, static_cast<TGlobeBrushStyle>(60));
  const platform::THandle before = dev.CurrentBrush();
  brush.RenderAttribute(canvas, false);
  EXPECT_FALSE(brush.AttributeHandle());
  EXPECT_EQ(dev.CurrentBrush(), before);

  brush.SetBrushStyle(bsSolid);
  brush.RenderAttribute(canvas, true);
  EXPECT_EQ(dev.CurrentBrush(), globe.SelectedBrush().AttributeHandle());
}

TEST_F(RenderTest, FontIsMadeFromItsDescription) {
  TGlobeFont font;
  font.Define("Arial", 0x00FF00, 12, U::Pixel, 450, {fsBold, fsItalic});
  font.RenderAttribute(canvas, false);
  ASSERT_TRUE(font.AttributeHandle());
  const platform::TFontDesc& desc = font.AttributeHandle()->Font();
  EXPECT_EQ(desc.Height, 12);
  EXPECT_EQ(desc.Escapement, 450);
  EXPECT_EQ(desc.Orientation, 450);
  EXPECT_EQ(desc.Weight, 700);
  EXPECT_TRUE(desc.Italic);
  EXPECT_FALSE(desc.Underline);
  EXPECT_FALSE(desc.StrikeOut);
  EXPECT_EQ(desc.FaceName, "Arial");
  EXPECT_EQ(dev.CurrentFont(), font.AttributeHandle());
  EXPECT_EQ(dev.TextAlign(), platform::TA_LEFT | platform::TA_TOP);
  EXPECT_EQ(dev.TextColor(), 0x00FF00u);
  EXPECT_EQ(dev.BkMode(), platform::TRANSPARENT);

  font.RenderAttribute(canvas, true);
  EXPECT_EQ(dev.TextColor(), globe.SelectedPen().PenColor());

  // Setters drop the handle; the next rendering makes a new one.
  font.SetFontStyle({fsUnderline, fsStrikeOut});
  EXPECT_FALSE(font.AttributeHandle());
  font.RenderAttribute(canvas, false);
  EXPECT_EQ(font.AttributeHandle()->Font().Weight, 400);
  EXPECT_TRUE(font.AttributeHandle()->Font().StrikeOut);
}

TEST_F(RenderTest, FontHeightLimits) {
  globe.SetMaxTextHeight(30);
  TGlobeFont font;
  font.Define("Arial", 0, 40, U::Pixel, 0, {});
  font.RenderAttribute(canvas, false);
  ASSERT_TRUE(font.AttributeHandle());
  EXPECT_EQ(font.AttributeHandle()->Font().Height, 30);

  // Below MinTextHeight (5) there is no font, and the one selected stays.
  font.SetFontSize(4);
  const platform::THandle before = dev.CurrentFont();
  font.RenderAttribute(canvas, false);
  EXPECT_FALSE(font.AttributeHandle());
  EXPECT_EQ(dev.CurrentFont(), before);
}

TEST_F(RenderTest, FontInGeographicUnitsFollowsTheZoom) {
  FlatMap();
  TGlobeFont font;
  font.Define("Arial", 0, 10, U::Degree, 0, {});
  font.RenderAttribute(canvas, false);
  ASSERT_TRUE(font.AttributeHandle());
  EXPECT_EQ(font.AttributeHandle()->Font().Height, 10);
  const platform::THandle first = font.AttributeHandle();
  font.RenderAttribute(canvas, false);
  EXPECT_EQ(font.AttributeHandle(), first);
  P.SetScaleFactor(2.0L / D);
  font.RenderAttribute(canvas, false);
  EXPECT_EQ(font.AttributeHandle()->Font().Height, 20);
}

// A canvas cloned for a print-out dies while the presenters' attributes still remember it.
TEST_F(RenderTest, AttributesOutliveTheCanvasTheyWereDrawnOn) {
  auto pen = std::make_unique<TGlobePen>();
  pen->Define(0x0000FF, platform::psSolid, 1, U::Pixel);
  auto brush = std::make_unique<TGlobeBrush>();
  brush->Define(0x0000FF, bsSolid);
  {
    platform::TRecordingDevice printer;
    const std::unique_ptr<TGlobeCanvas> clone = canvas.Clone();
    clone->SetDC(&printer);
    pen->RenderAttribute(*clone, false);
    brush->RenderAttribute(*clone, false);
    ASSERT_TRUE(pen->AttributeHandle() && brush->AttributeHandle());
  }
  pen->SetPenColor(0x00FF00);
  pen->RenderAttribute(canvas, false);
  EXPECT_EQ(dev.CurrentPen(), pen->AttributeHandle());
  EXPECT_EQ(pen->AttributeHandle()->Pen().Color, 0x00FF00u);
  pen.reset();
  brush.reset();
}

// ---- Values -----------------------------------------------------------------------------

TEST(GlobeAttributes, SettersReportChangesOnly) {
  TGlobePen pen;
  int changes = 0;
  pen.OnChange = [&] { ++changes; };
  pen.SetPenColor(0);
  pen.SetPenUnit(U::Pixel);
  EXPECT_EQ(changes, 0);
  pen.SetPenColor(0x123456);
  pen.SetPenWidth(3);
  pen.Define(1, platform::psDot, 1, U::Meter);
  EXPECT_EQ(changes, 3);
}

TEST(GlobeAttributes, EqualsComparesTheDescription) {
  TGlobeFont a, b;
  a.Define("Arial", 1, 9, U::Pixel, 0, {fsBold});
  b.Define("ARIAL", 1, 9, U::Pixel, 0, {fsBold});
  EXPECT_TRUE(a.Equals(b));
  b.SetFontAngle(900);
  EXPECT_FALSE(a.Equals(b));
  TGlobePen pen;
  EXPECT_FALSE(a.Equals(pen));
  TGlobeBrush x, y;
  x.Define(5, bsCross);
  y.Define(5, bsCross);
  EXPECT_TRUE(x.Equals(y));
  y.SetBrushBkColor(6);
  EXPECT_FALSE(x.Equals(y));
}

TEST(GlobeAttributes, CloneAndAssign) {
  TGlobePen pen;
  pen.Define(0x123456, platform::psDot, 4, U::Kilometer);
  TGlobeBrush brush;
  brush.Define(0x654321, bsPattern3);
  brush.SetBrushBkColor(0xFFFFFF);
  TGlobeFont font;
  font.Define("Courier", 7, 11, U::Minute, -300, {fsUnderline});
  for (const TGlobeAttribute* a :
       std::initializer_list<const TGlobeAttribute*>{&pen, &brush, &font}) {
    const std::unique_ptr<TGlobeAttribute> copy = a->Clone();
    EXPECT_EQ(copy->ClassName(), a->ClassName());
    EXPECT_TRUE(copy->Equals(*a));
  }
  try {
    pen.Assign(brush);
    FAIL() << "no exception";
  } catch (const EGlobeException& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TGlobeBrush to a TGlobePen");
  }
}

TEST(GlobeAttributes, AreCreatableByClassName) {
  RegisterGlobeAttributes();
  RegisterGlobeAttributes();
  for (const char* name : {"TGlobePen", "TGlobeBrush", "TGlobeFont"}) {
    EXPECT_EQ(CreateGlobeObject<TGlobeAttribute>(name)->ClassName(), name);
  }
}

// ---- Binary records ---------------------------------------------------------------------

class StreamVersion {
 public:
  explicit StreamVersion(std::uint16_t v) : old_(GlobeStreamVersion()) { SetGlobeStreamVersion(v); }
  ~StreamVersion() { SetGlobeStreamVersion(old_); }

 private:
  std::uint16_t old_;
};

Bytes Write(const TGlobeAttribute& a) {
  auto owned = std::make_unique<TGlobeMemoryStream>();
  TGlobeMemoryStream* stream = owned.get();
  TGlobeStreamWriter writer(std::move(owned));
  a.WriteProperties(writer);
  return stream->Bytes();
}

// Reads the record and returns the bytes left over.
std::int64_t Read(TGlobeAttribute& a, const Bytes& bytes) {
  TGlobeMemoryView view(bytes);
  TGlobeStreamReader reader(view);
  a.ReadProperties(reader);
  EXPECT_FALSE(reader.Truncated());
  return reader.Remaining();
}

TEST(GlobeAttributeRecords, CurrentLayoutsRoundTrip) {
  StreamVersion v(GLOBE_STREAM_VERSION_CURRENT);
  TGlobePen pen;
  pen.Define(0x123456, platform::psDash, 300, U::Kilometer);
  EXPECT_THAT(Write(pen), ElementsAre(0x56, 0x34, 0x12, 0, 1, 0x2C, 0x01, 0, 0, 3));
  TGlobeBrush brush;
  brush.Define(0x0000FF, bsPattern6);
  brush.SetBrushBkColor(0xFFFFFF);
  EXPECT_THAT(Write(brush), ElementsAre(0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 13));
  TGlobeFont font;
  font.Define("Times New Roman", 0x00FF00, 14, U::NauticalMile, -900, {fsBold, fsStrikeOut});

  const std::vector<const TGlobeAttribute*> all = {&pen, &brush, &font};
  const std::vector<std::unique_ptr<TGlobeAttribute>> read = [] {
    std::vector<std::unique_ptr<TGlobeAttribute>> r;
    r.push_back(std::make_unique<TGlobePen>());
    r.push_back(std::make_unique<TGlobeBrush>());
    r.push_back(std::make_unique<TGlobeFont>());
    return r;
  }();
  for (std::size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(all[i]->ClassName());
    EXPECT_EQ(Read(*read[i], Write(*all[i])), 0);
    EXPECT_TRUE(read[i]->Equals(*all[i]));
  }
}

TEST(GlobeAttributeRecords, OlderLayouts) {
  {
    // Before 1024 a pen has a one-byte width in pixels.
    StreamVersion v(1023);
    TGlobePen pen;
    EXPECT_EQ(Read(pen, {0x56, 0x34, 0x12, 0, 1, 7, 0xEE}), 1);
    EXPECT_EQ(pen.PenColor(), 0x123456u);
    EXPECT_EQ(pen.PenStyle(), platform::psDash);
    EXPECT_EQ(pen.PenWidth(), 7);
    EXPECT_EQ(pen.PenUnit(), U::Pixel);
  }
  {
    // Before 1029 a brush has no background colour: it is transparent.
    StreamVersion v(1028);
    TGlobeBrush brush;
    EXPECT_EQ(Read(brush, {0xFF, 0, 0, 0, 2}), 0);
    EXPECT_EQ(brush.BrushColor(), 0x0000FFu);
    EXPECT_EQ(brush.BrushBkColor(), 0x0000FFu);
    EXPECT_EQ(brush.BrushStyle(), bsHorizontal);
  }
}

TEST(GlobeAttributeRecords, UnitBytesBeyondTheUnitTableReadAsPixels) {
  StreamVersion v(GLOBE_STREAM_VERSION_CURRENT);
  TGlobePen pen;
  Read(pen, {0, 0, 0, 0, 0, 5, 0, 0, 0, 200});
  EXPECT_EQ(pen.PenUnit(), U::Pixel);
  TGlobeFont font;
  Read(font, {0, 0, 0, 0, 99, 9, 0, 0, 0, 0, 1, 'A'});
  EXPECT_EQ(font.FontUnit(), U::Pixel);
  EXPECT_EQ(font.FontName(), "A");
  // Saving them again stays within the table.
  EXPECT_EQ(pen.SaveEnvironment()->AttributeByName("Unit", ""), UnitsToStr(U::Pixel));
}

// ---- Environment elements ---------------------------------------------------------------

TEST(GlobeAttributeEnvironment, SavesInOrderAndLoadsBack) {
  TGlobePen pen;
  pen.Define(0x0000FF, platform::psDot, 3, U::Kilometer);
  const auto element = pen.SaveEnvironment();
  std::vector<std::string> names;
  for (int i = 0; i < 4; ++i) names.push_back(element->GetAttributeNames(i));
  EXPECT_THAT(names, ElementsAre("Color", "Style", "Width", "Unit"));
  EXPECT_EQ(element->AttributeByName("Color", ""), "clRed");
  EXPECT_EQ(element->AttributeByName("Unit", ""), UnitsToStr(U::Kilometer));

  TGlobeBrush brush;
  brush.Define(0x00FF8000, bsPattern50);
  brush.SetBrushBkColor(0xFFFFFF);
  EXPECT_EQ(brush.SaveEnvironment()->AttributeByName("BkColor", ""), "clWhite");
  TGlobeFont font;
  font.Define("Arial", 0x808080, 12, U::Meter, 450, {fsItalic});

  TGlobePen pen2;
  TGlobeBrush brush2;
  TGlobeFont font2;
  pen2.LoadEnvironment(pen.SaveEnvironment().get());
  brush2.LoadEnvironment(brush.SaveEnvironment().get());
  font2.LoadEnvironment(font.SaveEnvironment().get());
  EXPECT_TRUE(pen2.Equals(pen));
  EXPECT_TRUE(brush2.Equals(brush));
  EXPECT_TRUE(font2.Equals(font));

  font2.LoadEnvironment(nullptr);
  EXPECT_TRUE(font2.Equals(font));
}

TEST(GlobeAttributeEnvironment, MissingBackgroundIsTheColourAndUnknownUnitsFail) {
  TGXML_Element element;
  element.AddAttribute("Color", "clLime");
  TGlobeBrush brush;
  brush.LoadEnvironment(&element);
  EXPECT_EQ(brush.BrushColor(), 0x00FF00u);
  EXPECT_EQ(brush.BrushBkColor(), 0x00FF00u);
  EXPECT_EQ(brush.BrushStyle(), bsSolid);

  element.AddAttribute("Unit", "XX");
  TGlobePen pen;
  try {
    pen.LoadEnvironment(&element);
    FAIL() << "no exception";
  } catch (const EGlobeException& e) {
    EXPECT_STREQ(e.what(), "StrToUnits: Unknown Unit XX");
  }
}

}  // namespace
}  // namespace globe::testing
