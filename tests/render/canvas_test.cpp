#include "globe/render/canvas.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "globe/core/numeric.h"
#include "tests/render/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using State = TGlobeObjectStateSet;
const State kClipAll{osClipLeft, osClipTop, osClipRight, osClipBottom};

// ---- Life -------------------------------------------------------------------------------

TEST(GlobeCanvasCreate, RefusesNilParent) {
  try {
    TGlobeCanvas canvas(nullptr);
    FAIL() << "no exception";
  } catch (const EGlobeException& e) {
    EXPECT_STREQ(e.what(), "TGlobeCanvas.Create passed nil Parent");
  }
}

TEST_F(RenderTest, NewCanvasHasItsDefaults) {
  EXPECT_EQ(canvas.CanvasWidth(), 150);
  EXPECT_EQ(canvas.CanvasHeight(), 150);
  EXPECT_EQ(canvas.ScreenPixelsPerInch(), 96);
  EXPECT_EQ(canvas.CanvasPixelsPerInch(), 96);
  EXPECT_EQ(canvas.ColorAdjustPercent(), 0);
  EXPECT_EQ(canvas.ColorAdjustTarget(), 0xC0C0C0u);
  EXPECT_EQ(canvas.Bitmap(), nullptr);

  TGlobePen pen;
  pen.Define(0, platform::psSolid, 1, TGlobeUnitTypes::Pixel);
  EXPECT_TRUE(canvas.DefPen().Equals(pen));
  TGlobeBrush brush;
  brush.Define(0xFFFFFF, bsSolid);
  EXPECT_TRUE(canvas.DefBrush().Equals(brush));
  TGlobeFont font;
  font.Define("WingDings", 0, 9, TGlobeUnitTypes::Pixel, 0, {});
  EXPECT_TRUE(canvas.DefFont().Equals(font));
  font.SetFontName("Arial");
  EXPECT_TRUE(canvas.DefTitleFont().Equals(font));
}

TEST_F(RenderTest, CloneCopiesSizeAttributesAndMakesAPicture) {
  canvas.SizeBMP(200, 100, 96);
  canvas.DefPen().SetPenColor(0x123456);
  canvas.SetCanvasPixelsPerInch(300);
  const std::unique_ptr<TGlobeCanvas> clone = canvas.Clone();
  EXPECT_EQ(clone->CanvasWidth(), 200);
  EXPECT_EQ(clone->CanvasHeight(), 100);
  EXPECT_TRUE(clone->DefPen().Equals(canvas.DefPen()));
  ASSERT_NE(clone->Bitmap(), nullptr);
  EXPECT_EQ(clone->Bitmap()->Width(), 200);
  // The picture is made at the screen's resolution.
  EXPECT_EQ(clone->CanvasPixelsPerInch(), 96);
}

// ---- Clipping ---------------------------------------------------------------------------

struct ClipCase {
  const char* name;
  std::vector<TPoint> in;
  State state;
  std::int32_t penWidth;
  std::vector<TPoint> out;
};

TEST_F(RenderTest, ClipPolyCases) {
  SizeCanvas(100, 100);
  const std::vector<ClipCase> cases = {
      {"no clip flags: untouched",
       {{-50, -50}, {200, 300}},
       {osClosed},
       1,
       {{-50, -50}, {200, 300}}},
      {"polygon wholly above the top edge vanishes",
       {{10, -30}, {50, -5}, {90, -30}},
       {osClosed, osClipTop},
       1,
       {}},
      {"line out through the top and back: the piece between runs at Y = -pen width",
       {{10, 10}, {20, -10}, {30, 10}},
       {osClipTop},
       2,
       {{10, 10}, {16, -2}, {24, -2}, {30, 10}}},
      {"ring over the right edge is closed along X = W + pen width",
       {{50, 50}, {150, 50}, {150, 80}, {50, 80}},
       {osClosed, osClipRight},
       1,
       {{50, 50}, {101, 50}, {101, 80}, {50, 80}}},
      {"closed ring: the closing edge is clipped too",
       {{50, 150}, {50, 50}, {60, 50}},
       {osClosed, osClipBottom},
       1,
       {{50, 101}, {50, 50}, {60, 50}, {55, 101}}},
      {"open line: no closing edge",
       {{50, 150}, {50, 50}, {60, 50}},
       {osClipBottom},
       1,
       {{50, 101}, {50, 50}, {60, 50}}},
      {"points on the canvas edges are inside",
       {{0, 0}, {100, 0}, {100, 100}, {0, 100}},
       State{osClosed} + kClipAll,
       3,
       {{0, 0}, {100, 0}, {100, 100}, {0, 100}}},
      {"crossings round halves away from zero",
       {{-1, 0}, {1, 1}},
       {osClipLeft},
       0,
       {{0, 0}, {1, 1}}},
  };
  for (const ClipCase& c : cases) {
    SCOPED_TRACE(c.name);
    EnsureDevicePoints(c.in.size() + 1);
    std::copy(c.in.begin(), c.in.end(), DevicePoints());
    const std::int32_t n =
        canvas.ClipPoly(static_cast<std::int32_t>(c.in.size()), c.state, c.penWidth);
    EXPECT_THAT(Buffer(n), ElementsAreArray(c.out));
  }
}

TEST_F(RenderTest, ClipPolyOnAllEdgesKeepsEveryPointWithinThePenMargin) {
  SizeCanvas(100, 80);
  Fill({{-100, -100}, {300, 50}, {50, 300}});
  const std::int32_t n = canvas.ClipPoly(3, State{osClosed} + kClipAll, 2);
  ASSERT_GT(n, 3);
  for (const TPoint& p : Buffer(n)) {
    EXPECT_TRUE(p.X >= -2 && p.X <= 102 && p.Y >= -2 && p.Y <= 82) << p.X << "," << p.Y;
  }
}

TEST_F(RenderTest, DrawClippedPolyDrawsWhatClippingLeaves) {
  SizeCanvas(100, 100);
  Fill({{10, -30}, {50, -5}, {90, -30}});
  canvas.DrawClippedPoly(3, {osClosed, osClipTop}, 1);
  Fill({{10, 10}, {20, -10}, {30, 10}});
  canvas.DrawClippedPoly(3, {osClipTop}, 2);
  Fill({{10, 10}});
  canvas.DrawClippedPoly(1, {}, 1);
  EXPECT_TRUE(Shapes("Polygon").empty());
  EXPECT_THAT(Shapes("Polyline"), ElementsAre(ElementsAre(TPoint{10, 10}, TPoint{16, -2},
                                                          TPoint{24, -2}, TPoint{30, 10})));
}

// The fixed buffer of the stored design held 131,073 points and nothing checked it.
TEST_F(RenderTest, ClippingBeyondTheFixedBufferSizeDrawsEveryPoint) {
  SizeCanvas(100, 100);
  constexpr std::int32_t n = 200'000;
  EnsureDevicePoints(n + 1);
  for (std::int32_t i = 0; i < n; ++i) DevicePoints()[i] = {i % 100, i % 2 ? -10 : 10};
  canvas.DrawClippedPoly(n, {osClipTop}, 1);
  const auto lines = Shapes("Polyline");
  ASSERT_EQ(lines.size(), 1u);
  // Each dip above the top edge adds its two crossings.
  EXPECT_EQ(lines[0].size(), 299'999u);
  EXPECT_TRUE(std::all_of(lines[0].begin(), lines[0].end(), [](TPoint p) { return p.Y >= -1; }));
}

TEST_F(RenderTest, RingLongerThanTheFixedBufferIsDrawnAsOnePolygon) {
  FlatMap();
  P.SetScaleFactor(2000.0L / D);  // 2,000 pixels a degree: no two points share a pixel
  constexpr std::int32_t half = 100'000;
  TChainStore chains;
  TPointStore& ring = chains.GetChain(0);
  for (std::int32_t i = 0; i < half; ++i) ring.Add(Deg(-80 + 160.0 * i / (half - 1), 10));
  for (std::int32_t i = 0; i < half; ++i) ring.Add(Deg(80 - 160.0 * i / (half - 1), -10));
  canvas.RenderChainStore(chains, {osClosed}, 1);
  const auto polygons = Shapes("Polygon");
  ASSERT_EQ(polygons.size(), 1u);
  EXPECT_EQ(polygons[0].size(), 2u * half);
}

// ---- Chains on the flat map -------------------------------------------------------------

TEST_F(RenderTest, FlatRingCrossingTheSeamTwiceBecomesTwoPolygons) {
  FlatMap();
  auto chains = Chains({{Deg(170, 10), Deg(-170, 10), Deg(-170, -10), Deg(170, -10)}});
  canvas.RenderChainStore(*chains, {osClosed}, 1);
  EXPECT_THAT(
      Shapes("Polygon"),
      ElementsAre(ElementsAre(TPoint{350, 80}, TPoint{360, 80}, TPoint{360, 100}, TPoint{350, 100}),
                  ElementsAre(TPoint{0, 80}, TPoint{10, 80}, TPoint{10, 100}, TPoint{0, 100})));
}

TEST_F(RenderTest, FlatLineCrossingTheSeamMeetsBothEdgesAtTheCrossingLatitude) {
  FlatMap();
  // From 170°E 20°N to 170°W 0°: halfway across, at 10°N.
  auto chains = Chains({{Deg(170, 20), Deg(-170, 0)}});
  canvas.RenderChainStore(*chains, {}, 1);
  EXPECT_THAT(Shapes("Polyline"), ElementsAre(ElementsAre(TPoint{350, 70}, TPoint{360, 80}),
                                              ElementsAre(TPoint{0, 80}, TPoint{10, 90})));
}

// The lowest point a polygon reaches on the column X.
std::int32_t Deepest(const std::vector<TPoint>& Points, std::int32_t X) {
  std::int32_t y = -1;
  for (const TPoint& p : Points) {
    if (p.X == X) y = std::max(y, p.Y);
  }
  return y;
}

TEST_F(RenderTest, FlatRingAroundTheSouthPoleIsClosedThroughThePole) {
  FlatMap();
  struct Case {
    const char* name;
    std::vector<TPointLL> ring;
    TPoint first;
  };
  // The westward ring is closed down one edge and up the other as well (the stored design
  // went up the edge it came down, leaving a sliver instead of the cap).
  const std::vector<Case> cases = {
      {"eastward", {Deg(-120, -60), Deg(0, -60), Deg(120, -60)}, {360, 150}},
      {"westward", {Deg(120, -60), Deg(0, -60), Deg(-120, -60)}, {0, 150}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dev.Calls.clear();
    TChainStore chains;
    for (const TPointLL& p : c.ring) chains.GetChain(0).Add(p);
    canvas.RenderChainStore(chains, {osClosed}, 1);
    const auto polygons = Shapes("Polygon");
    ASSERT_EQ(polygons.size(), 1u);
    EXPECT_EQ(polygons[0].front(), c.first);
    EXPECT_GE(Deepest(polygons[0], 0), 179);
    EXPECT_GE(Deepest(polygons[0], 360), 179);
    // The ring itself follows the detour.
    EXPECT_EQ(std::count(polygons[0].begin(), polygons[0].end(), TPoint{180, 150}), 1);
  }
}

TEST_F(RenderTest, FlatChainsOfFewerThanTwoPointsAreSkipped) {
  FlatMap();
  auto chains = Chains({{Deg(10, 10)}, {}});
  canvas.RenderChainStore(*chains, {osClosed}, 1);
  canvas.RenderChainStore(*chains, {}, 1);
  EXPECT_TRUE(Shapes("Polygon").empty());
  EXPECT_TRUE(Shapes("Polyline").empty());
}

// ---- Chains on the sphere ---------------------------------------------------------------

TEST_F(RenderTest, SphereLineIsCutWhereItPassesBehindAndLonePointsAreDropped) {
  Sphere(300, 300, 100);
  auto chains = Chains({{Deg(-60, 0), Deg(-30, 0), Deg(100, 0), Deg(150, 0), Deg(80, 0),
                         Deg(110, 0), Deg(45, 0), Deg(10, 0)}});
  canvas.RenderChainStore(*chains, {}, 1);
  auto at = [this](double lon) {
    TPoint p;
    P.PointLLToXY(Deg(lon, 0), p);
    return p;
  };
  EXPECT_THAT(Shapes("Polyline"),
              ElementsAre(ElementsAre(at(-60), at(-30)), ElementsAre(at(45), at(10))));
}

TEST_F(RenderTest, SphereRingsAreSeparatePolygonsClippedToTheCanvas) {
  Sphere(300, 300, 1000);
  auto chains = Chains({{Deg(-10, -10), Deg(10, -10), Deg(10, 10), Deg(-10, 10)},
                        {Deg(1, 1), Deg(2, 1), Deg(2, 2)}});
  canvas.RenderChainStore(*chains, {osClosed}, 1);
  const auto polygons = Shapes("Polygon");
  ASSERT_EQ(polygons.size(), 2u);
  for (const TPoint& p : polygons[0]) {
    EXPECT_TRUE(p.X >= -1 && p.X <= 301 && p.Y >= -1 && p.Y <= 301) << p.X << "," << p.Y;
  }
  EXPECT_EQ(polygons[1].size(), 3u);
}

TEST_F(RenderTest, ChainsAreDrawnWithTheAttributesSelectedByTheCaller) {
  FlatMap();
  canvas.RefreshDC();
  TGlobePen pen;
  pen.Define(0x0000FF, platform::psSolid, 3, TGlobeUnitTypes::Pixel);
  TGlobeBrush brush;
  brush.Define(0x00FF00, bsSolid);
  pen.RenderAttribute(canvas, false);
  brush.RenderAttribute(canvas, false);
  auto chains = Chains({{Deg(0, 0), Deg(10, 0), Deg(10, 10)}});
  canvas.RenderChainStore(*chains, {osClosed}, 3);

  // The far side of a transparent globe is drawn with the globe's transparent attributes.
  P.SetRenderBackFace(true);
  canvas.RenderChainStore(*chains, {osClosed}, 3);
  P.SetRenderBackFace(false);

  const auto calls = dev.CallsNamed("Polygon");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0]->Pen, pen.AttributeHandle());
  EXPECT_EQ(calls[0]->Brush, brush.AttributeHandle());
  EXPECT_EQ(calls[1]->Pen, globe.TransparentPen().AttributeHandle());
  EXPECT_EQ(calls[1]->Brush, globe.TransparentBrush().AttributeHandle());
  EXPECT_TRUE(calls[1]->Pen);
}

TEST_F(RenderTest, VectorMatrixLineStepsByTheRotation) {
  FlatMap();
  const Extended a = 10 * PI_EXT / 180;
  TMatrix turn;  // 10° about the polar axis, eastward
  turn(0, 0) = std::cos(a);
  turn(0, 2) = std::sin(a);
  turn(1, 1) = 1;
  turn(2, 0) = -std::sin(a);
  turn(2, 2) = std::cos(a);
  canvas.DrawVectorMatrixLine({0, 0, 1}, turn, 0, 3);
  EXPECT_THAT(Shapes("Polyline"), ElementsAre(ElementsAre(TPoint{180, 90}, TPoint{190, 90},
                                                          TPoint{200, 90}, TPoint{210, 90})));
}

// ---- Colours and units ------------------------------------------------------------------

TEST_F(RenderTest, RenderColorBlendsTowardsTheTarget) {
  struct Case {
    std::int32_t percent;
    TColor target, in, out;
  };
  const TColor btnFace = platform::ColorToRGB(0xFF00000F);
  const std::vector<Case> cases = {
      {0, 0xC0C0C0, 0xFF00000F, 0xFF00000F},  // no adjustment: system colours stay
      {50, 0xC0C0C0, 0x0000FF, 0x6060E0},     // 223.5 rounds to 224
      {50, 0x000000, 0x000301, 0x000200},     // 0.5 → 0, 1.5 → 2
      {100, 0x123456, 0xABCDEF, 0x123456},   {200, 0xC0C0C0, 0x000000, 0xFFFFFF},  // clamped
      {-100, 0xFFFFFF, 0x808080, 0x010101},  // away from the target
      {50, btnFace, 0xFF00000F, btnFace},    // system colours are resolved first
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.percent);
    canvas.SetColorAdjustPercent(c.percent);
    canvas.SetColorAdjustTarget(c.target);
    EXPECT_EQ(canvas.RenderColor(c.in), c.out);
  }
}

TEST_F(RenderTest, CanvasVersionMovesOnlyWhenTheAdjustmentChanges) {
  const std::int32_t v = canvas.CanvasVersion();
  canvas.SetColorAdjustPercent(50);
  canvas.SetColorAdjustPercent(50);
  EXPECT_EQ(canvas.CanvasVersion(), v + 1);
  canvas.SetColorAdjustTarget(0xC0C0C0);
  EXPECT_EQ(canvas.CanvasVersion(), v + 1);
  canvas.SetColorAdjustTarget(0x808080);
  EXPECT_EQ(canvas.CanvasVersion(), v + 2);
}

TEST_F(RenderTest, UnitConversions) {
  FlatMap();  // one pixel a degree
  using U = TGlobeUnitTypes;
  struct Case {
    const char* name;
    std::int32_t ppi;
    std::function<std::int32_t()> convert;
    std::int32_t expected;
  };
  const std::vector<Case> cases = {
      {"2 pixels at 600 ppi", 600, [&] { return canvas.ScaleUnitsToDevice(2, U::Pixel); }, 13},
      {"2 pixels at 96 ppi", 96, [&] { return canvas.ScaleUnitsToDevice(2, U::Pixel); }, 2},
      {"3 degrees", 600, [&] { return canvas.ScaleUnitsToDevice(3, U::Degree); }, 3},
      {"111 km", 96, [&] { return canvas.ScaleUnitsToDevice(111, U::Kilometer); }, 1},
      {"pixels to GU", 96, [&] { return canvas.GlobeUnitsFrom(2.5L, U::Pixel); }, 13'500'000},
      {"km to GU", 96, [&] { return canvas.GlobeUnitsFrom(1, U::Kilometer); }, 48'596},
      {"overflow keeps the value", 96, [&] { return canvas.GlobeUnitsFrom(2e12L, U::Degree); },
       static_cast<std::int32_t>(2'000'000'000'000LL)},
      {"font in pixels at 600 ppi", 600, [&] { return canvas.FontRenderHeight(9, U::Pixel); }, 56},
      {"font in degrees", 600, [&] { return canvas.FontRenderHeight(2, U::Degree); }, 2},
      {"font in km", 96, [&] { return canvas.FontRenderHeight(300, U::Kilometer); }, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    canvas.SetCanvasPixelsPerInch(c.ppi);
    EXPECT_EQ(c.convert(), c.expected);
  }
}

// ---- Resizing ---------------------------------------------------------------------------

class ResizeTest : public RenderTest {
 protected:
  static constexpr Extended kRadius = 100;
  Extended s0 = 0;
  TPointLL centre;

  // A sphere of radius 100 on 400 × 300, its disc off the canvas centre.
  void SetUp() override {
    Sphere(400, 300, kRadius);
    P.SetXOrigin(150);
    P.SetYOrigin(120);
    s0 = P.ScaleFactor();
    ASSERT_TRUE(P.DeviceXYToLL(200, 150, centre));
    globe.Calls.clear();
  }
  TPoint Where(const TPointLL& pt) {
    TPoint p;
    P.PointLLToXY(pt, p);
    return p;
  }
};

TEST_F(ResizeTest, ScalesWithTheDiagonalAndKeepsTheCentrePoint) {
  ASSERT_TRUE(canvas.ResizeProjection(800, 600));
  EXPECT_EQ(P.ScaleFactor(), s0 * 2);
  EXPECT_EQ(Where(centre), (TPoint{400, 300}));
  EXPECT_EQ(P.Altitude(), Round32(1 / (TAN_50_DEGREES * s0 * 2)));
  EXPECT_EQ(globe.ViewRect(), (TRect{0, 0, Round32(800 / (s0 * 2)), Round32(600 / (s0 * 2))}));
  EXPECT_EQ(canvas.CanvasWidth(), 800);
  EXPECT_EQ(canvas.CanvasHeight(), 600);
}

TEST_F(ResizeTest, ScaleIsCappedAtThree) {
  P.SetScaleFactor(2.0L);
  ASSERT_TRUE(canvas.ResizeProjection(800, 600));
  EXPECT_EQ(P.ScaleFactor(), 3.0L);
}

TEST_F(ResizeTest, SizesBelowOnePixelChangeNothing) {
  const TPoint origin = P.CenterXY();
  EXPECT_FALSE(canvas.ResizeProjection(0, 600));
  EXPECT_FALSE(canvas.ResizeProjection(800, -1));
  canvas.SizeBMP(0, 0, 600);
  EXPECT_EQ(P.ScaleFactor(), s0);
  EXPECT_EQ(P.CenterXY(), origin);
  EXPECT_EQ(canvas.CanvasWidth(), 400);
  EXPECT_EQ(canvas.CanvasPixelsPerInch(), 96);
  EXPECT_TRUE(globe.Calls.empty());
}

TEST_F(ResizeTest, ResizeOptions) {
  struct Case {
    const char* name;
    TGlobeOptionsSet options;
    Extended scale;
    std::function<void()> check;
  };
  const std::vector<Case> cases = {
      {"constant scale",
       {goConstantScaleOnResize},
       s0,
       [&] {
         EXPECT_EQ(Where(centre), (TPoint{400, 300}));
       }},
      // The origin keeps its place relative to the canvas centre, scaled.
      {"fixed centre",
       {goFixedCenterXYOnResize},
       s0 * 2,
       [&] {
         EXPECT_EQ(P.CenterXY(), (TPoint{300, 240}));
       }},
      {"both",
       {goConstantScaleOnResize, goFixedCenterXYOnResize},
       s0,
       [&] {
         EXPECT_EQ(P.CenterXY(), (TPoint{150, 120}));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    globe.SetOptions(c.options);
    ASSERT_TRUE(canvas.ResizeProjection(800, 600));
    EXPECT_EQ(P.ScaleFactor(), c.scale);
    c.check();
  }
}

TEST_F(ResizeTest, CentreOffTheGlobeMovesTheOriginProportionally) {
  P.SetXOrigin(-1000);
  TPointLL none;
  ASSERT_FALSE(P.DeviceXYToLL(200, 150, none));
  ASSERT_TRUE(canvas.ResizeProjection(800, 600));
  EXPECT_EQ(P.CenterXY(), (TPoint{-2000, 240}));
}

// ---- Devices ----------------------------------------------------------------------------

TEST_F(RenderTest, SizeBMPMakesAPictureOfTheCanvasSize) {
  canvas.SizeBMP(321, 200, 600);
  ASSERT_NE(canvas.Bitmap(), nullptr);
  EXPECT_EQ(canvas.Bitmap()->Width(), 321);
  EXPECT_EQ(canvas.Bitmap()->Height(), 200);
  EXPECT_EQ(canvas.Bitmap()->Stride(), 1284);
  EXPECT_EQ(canvas.CanvasPixelsPerInch(), 600);
  EXPECT_EQ(canvas.CanvasWidth(), 321);
  const platform::TBitmap* before = canvas.Bitmap();
  canvas.SizeBMP(0, 200, 96);
  EXPECT_EQ(canvas.Bitmap(), before);
  EXPECT_EQ(canvas.CanvasPixelsPerInch(), 600);
}

TEST_F(RenderTest, SelectBMPDrawsOffScreenUntilReleaseBMP) {
  platform::TRecordingDevice windowDev;
  platform::TCanvas window;
  window.SetHandle(&windowDev);
  platform::TCanvasFont font = window.Font();
  font.Size = 14;
  font.PixelsPerInch = 120;
  window.SetFont(font);

  // Before the first SizeBMP the memory device still has a picture to draw into.
  canvas.SelectBMP(window);
  ASSERT_NE(canvas.DC(), nullptr);
  ASSERT_NE(canvas.DC()->Bitmap(), nullptr);

  canvas.SizeBMP(64, 32, 96);
  canvas.SelectBMP(window);
  ASSERT_EQ(services.graphics.Devices.size(), 2u);
  EXPECT_EQ(canvas.DC(), services.graphics.Devices.back());
  EXPECT_EQ(canvas.Handle(), canvas.DC());
  EXPECT_EQ(canvas.DC()->Bitmap(), canvas.Bitmap());
  EXPECT_EQ(canvas.Font().Size, 14);
  EXPECT_EQ(canvas.Font().PixelsPerInch, 120);

  canvas.ReleaseBMP(&windowDev);
  EXPECT_EQ(canvas.DC(), &windowDev);
  EXPECT_EQ(canvas.Handle(), &windowDev);
  EXPECT_EQ(windowDev.CallsNamed("RemoveClipping").size(), 1u);
  canvas.SetDC(&dev);
}

TEST_F(RenderTest, RefreshDCSelectsTheCanvasObjectsAgain) {
  canvas.SetPen({0x00FF00, platform::psSolid, 2});
  canvas.RefreshDC();
  TGlobePen pen;
  pen.Define(0x0000FF, platform::psDash, 1, TGlobeUnitTypes::Pixel);
  pen.RenderAttribute(canvas, false);
  ASSERT_EQ(dev.CurrentPen(), pen.AttributeHandle());
  canvas.RefreshDC();
  ASSERT_TRUE(dev.CurrentPen());
  EXPECT_NE(dev.CurrentPen(), pen.AttributeHandle());
  EXPECT_EQ(dev.CurrentPen()->Pen().Color, platform::ColorToRGB(canvas.Pen().Color));
}

}  // namespace
}  // namespace globe::testing
