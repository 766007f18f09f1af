// What every model shares: list and rectangle visibility, surface outline, graticule,
// environment element and registration by name.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "globe/core/numeric.h"
#include "globe/projection/projmath.h"
#include "platform/recording.h"
#include "tests/projection/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;

// ---- Rounding of device coordinates -----------------------------------------------------

TEST(DeviceRounding, HalvesToEvenAsTheReferenceRounding) {
  for (const double x :
       {0.0, 0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 0.49999999999999994, -0.5000000001,
        2.5000000000000004, 123456.5, -123457.5, 4503599627370495.5, 4503599627370497.0, -9.0e15}) {
    EXPECT_EQ(projection_detail::RoundD(x), RoundHalfEven(x)) << x;
  }
  EXPECT_EQ(projection_detail::RoundD(std::nan("")), 0);
  EXPECT_EQ(projection_detail::RoundD(1e300), 9'200'000'000'000'000'000);
}

// ---- Lists of device points -------------------------------------------------------------

TEST_F(ProjectionTest, XYListVisibleUsesTheOutcodesOfTheBoundingBox) {
  SizeCanvas(400, 300);
  struct Case {
    std::vector<TPoint> Points;
    bool Visible;
    std::uint8_t Code;
  };
  const Case cases[] = {
      {{{0, 0}, {400, 300}}, true, 0x00},                  // edges count as inside
      {{{-10, -10}, {200, 100}, {410, 310}}, true, 0x5A},  // straddles every edge
      {{{390, 10}, {410, 20}}, true, 0x02},                // crosses the right edge
      {{{401, 10}, {500, 20}}, false, 0x22},               // wholly right of the canvas
      {{{10, -20}, {20, -5}}, false, 0x44},                // wholly above
      {{{-500, 400}, {-100, 900}}, false, 0x99},           // below and left
  };
  for (const Case& c : cases) {
    std::copy(c.Points.begin(), c.Points.end(), DevicePoints());
    std::uint8_t code = 0xEE;
    EXPECT_EQ(P.ProjectionModel().XYListVisible(static_cast<std::int32_t>(c.Points.size()), code),
              c.Visible);
    EXPECT_EQ(code, c.Code) << c.Points.front().X << "," << c.Points.front().Y;
  }
  std::uint8_t code = 0xEE;
  EXPECT_FALSE(P.ProjectionModel().XYListVisible(1, code));
  EXPECT_EQ(code, 0xEE);
  // A count beyond the buffer reads only the buffer.
  const auto capacity = static_cast<std::int32_t>(DevicePointCapacity());
  std::fill_n(DevicePoints(), capacity, TPoint{10, 10});
  EXPECT_TRUE(P.ProjectionModel().XYListVisible(capacity + 1000, code));
}

// ---- Long chains ------------------------------------------------------------------------

TEST_F(ProjectionTest, ChainsLongerThanTheInitialBufferAreProjectedWhole) {
  // 200,000 points 1 GU apart, 3 pixels apart at the largest scale.
  TPointStore store;
  store.SetCount(200'000);
  for (std::int32_t i = 0; i < store.Count(); ++i) store.PutLL(i, {i - 100'000, 0, 0});
  for (const char* model : {"TSphericalPrj", "TCartesianPrj"}) {
    View(model, 0, 0, 3.0L, {0, 0});
    for (const bool closed : {false, true}) {
      const std::int32_t n = P.ProjectionModel().PointStoreToXY(store, 7, closed);
      const std::int32_t first = model[1] == 'S' ? 0 : 7;  // the sphere writes from 0
      ASSERT_EQ(n, first + 200'000) << model;
      EXPECT_EQ(Buf(first), (TPoint{-300'000, 0})) << model;
      EXPECT_EQ(Buf(n - 1), (TPoint{299'997, 0})) << model;
    }
  }
}

// ---- Rectangles -------------------------------------------------------------------------

class VisibleMERTest : public ProjectionTest {
 protected:
  void SetUp() override { SizeCanvas(400, 300); }
  bool Visible(const TMER& m, TGlobeObjectStateSet& State) {
    return P.ProjectionModel().VisibleMER(m, State);
  }
  TPoint Device(std::int32_t lon, std::int32_t lat) {
    TPoint xy;
    P.LLToDeviceXY(lon, lat, xy);
    return xy;
  }
};

TEST_F(VisibleMERTest, WholeWorldIsVisibleAndClearsFaceAndClipStates) {
  View("TCartesianPrj", 0, 0, 1e-6L, {200, 150});
  TGlobeObjectStateSet state{osClipTop, osClipLeft, osFace, osBackFace, osSelected};
  EXPECT_TRUE(Visible(MER(0, 0, GU_360_DEGREE, 10 * D), state));
  EXPECT_EQ(state, TGlobeObjectStateSet{osSelected});
}

TEST_F(VisibleMERTest, SamplesEvery15DegreesAlongTheEdges) {
  View("TCartesianPrj", 0, 0, 400.0L / GU_360_DEGREE, {200, 150});  // the world fits
  TGlobeObjectStateSet state;
  EXPECT_TRUE(Visible(MER(-20 * D, -10 * D, 40 * D, 20 * D), state));
  EXPECT_EQ(state, TGlobeObjectStateSet{osFace});
  const TPoint expected[] = {Device(-20 * D, -10 * D), Device(-20 * D, 10 * D),
                             Device(20 * D, 10 * D),   Device(20 * D, -10 * D),
                             Device(-5 * D, -10 * D),  Device(-5 * D, 10 * D),
                             Device(10 * D, -10 * D),  Device(10 * D, 10 * D),
                             Device(-20 * D, 5 * D),   Device(20 * D, 5 * D)};
  EXPECT_TRUE(Visible(MER(-20 * D, -10 * D, 40 * D, 20 * D), state));
  EXPECT_THAT(std::vector<TPoint>(DevicePoints(), DevicePoints() + 10),
              ::testing::ElementsAreArray(expected));
}

TEST_F(VisibleMERTest, ClipStatesAndTheSeam) {
  View("TCartesianPrj", 0, 0, 1e-6L, {200, 150});  // 5.4 pixels a degree
  TGlobeObjectStateSet state;
  EXPECT_TRUE(Visible(MER(30 * D, -10 * D, 20 * D, 20 * D), state));  // x 362 … 470
  EXPECT_EQ(state, (TGlobeObjectStateSet{osClipRight, osFace}));
  EXPECT_TRUE(Visible(MER(-10 * D, 20 * D, 20 * D, 20 * D), state));  // y −66 … 42
  EXPECT_EQ(state, (TGlobeObjectStateSet{osClipTop, osFace}));
  // Across 180°: both halves lie off this canvas.
  EXPECT_FALSE(Visible(MER(170 * D, 0, 20 * D, 10 * D), state));

  View("TCartesianPrj", 0, 0, 400.0L / GU_360_DEGREE, {200, 150});
  EXPECT_TRUE(Visible(MER(170 * D, 0, 20 * D, 10 * D), state));
}

TEST_F(VisibleMERTest, FaceStatesOnTheSphere) {
  View("TSphericalPrj", 0, 0, 100.0L / GU_EARTH_RADIUS, {200, 150});  // radius 100
  const TMER front = MER(-10 * D, -10 * D, 20 * D, 20 * D);
  const TMER limb = MER(60 * D, 0, 60 * D, 10 * D);
  const TMER back = MER(170 * D, 0, 20 * D, 10 * D);
  TGlobeObjectStateSet state;
  EXPECT_TRUE(Visible(front, state));
  EXPECT_EQ(state, TGlobeObjectStateSet{osFace});
  EXPECT_TRUE(Visible(limb, state));
  EXPECT_TRUE(state.Contains(osFace) && state.Contains(osBackFace));
  EXPECT_FALSE(Visible(back, state));

  P.SetRenderBackFace(true);  // the far side's pass: front and back change places
  EXPECT_FALSE(Visible(front, state));
  EXPECT_TRUE(Visible(back, state));
  EXPECT_EQ(state, TGlobeObjectStateSet{osBackFace});
}

// A rectangle of no size is one place: the same answer as its four corners, all on one
// device point.
TEST_F(VisibleMERTest, APlaceOfNoSizeIsItsFourCorners) {
  View("TSphericalPrj", 0, 0, 100.0L / GU_EARTH_RADIUS, {200, 150});  // radius 100
  const struct {
    std::int32_t lon, lat;
    bool backPass, visible;
    TGlobeObjectStateSet state;
  } cases[] = {
      {10 * D, 20 * D, false, true, {osFace}},
      {170 * D, 0, false, false, {}},
      {170 * D, 0, true, true, {osBackFace}},
      {10 * D, 20 * D, true, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.lon << " " << c.lat << " " << c.backPass);
    P.SetRenderBackFace(c.backPass);
    TGlobeObjectStateSet state{osClipTop, osFace, osBackFace};
    EXPECT_EQ(Visible(MER(c.lon, c.lat, 0, 0), state), c.visible);
    if (c.visible) {
      EXPECT_EQ(state, c.state);
    }
    const TPoint place = Device(c.lon, c.lat);
    P.ProjectionModel().VisibleMER(MER(c.lon, c.lat, 0, 0), state);
    EXPECT_THAT(std::vector<TPoint>(DevicePoints(), DevicePoints() + 4),
                ::testing::Each(place));
  }
  P.SetRenderBackFace(false);
  View("TCartesianPrj", 0, 0, 1e-6L, {200, 150});  // 5.4 pixels a degree
  TGlobeObjectStateSet state;
  EXPECT_FALSE(Visible(MER(50 * D, 0, 0, 0), state));  // x 470, right of the canvas
}

TEST_F(VisibleMERTest, RectanglesBeyondThe32BitRangeAreSampledSafely) {
  View("TCartesianPrj", 0, 0, 400.0L / GU_360_DEGREE, {200, 150});
  TGlobeObjectStateSet state;
  EXPECT_FALSE(Visible(MER(-2'000'000'000, 2'000'000'000, 1'900'000'000, 2'000'000'000), state));
  EXPECT_TRUE(Visible(MER(-10 * D, -10 * D, 20 * D, 2'147'483'647), state));
}

// ---- Surface ----------------------------------------------------------------------------

class SurfaceTest : public ProjectionTest {
 protected:
  platform::TRecordingDevice device;
  void SetUp() override {
    SizeCanvas(800, 600);
    globe.GlobeCanvas().SetDC(&device);
  }
  void TearDown() override { globe.GlobeCanvas().SetDC(nullptr); }
  std::vector<TPoint> Polygon() {
    const auto calls = device.CallsNamed("Polygon");
    return calls.size() == 1 ? calls[0]->Points : std::vector<TPoint>{};
  }
};

TEST_F(SurfaceTest, SphereDrawsTheDiscAs90Gon) {
  View("TSphericalPrj", 0, 0, 250.0L / GU_EARTH_RADIUS, {400, 300});  // radius 250
  P.ProjectionModel().PaintSurface();
  const std::vector<TPoint> points = Polygon();
  ASSERT_EQ(points.size(), 90u);
  EXPECT_EQ(points[0], (TPoint{650, 300}));
  EXPECT_EQ(points[45], (TPoint{150, 300}));
  for (const TPoint& p : points) EXPECT_NEAR(std::hypot(p.X - 400, p.Y - 300), 250, 0.8);
}

TEST_F(SurfaceTest, FlatMapsOutlineTheWorldWithTheMapUnshifted) {
  View("TCartesianPrj", 0, 0, 800.0L / GU_360_DEGREE, {400, 300});
  P.SetYAxisChanges(yaNoAction);
  P.SetCentralMeridian(30);
  globe.Calls.clear();
  P.ProjectionModel().PaintSurface();
  EXPECT_EQ(P.CentralMeridian(), 30);  // restored
  // Painting asks for no further paint and leaves the scroll bars alone.
  EXPECT_EQ(globe.CountOf("RedrawLayers"), 0);
  EXPECT_EQ(globe.CountOf("UpdateScrollBars"), 0);
  const std::vector<TPoint> points = Polygon();
  ASSERT_EQ(points.size(), 108u);
  EXPECT_EQ(points[0], (TPoint{0, 500}));     // (−180°, −90°)
  EXPECT_EQ(points[36], (TPoint{800, 500}));  // the east edge, 1 GU inside
  EXPECT_EQ(points[54], (TPoint{800, 100}));  // (180°, 90°)
  EXPECT_EQ(points[90], (TPoint{0, 100}));    // (−180°, 90°)
  EXPECT_EQ(points[107], (TPoint{0, 478}));   // (−180°, −80°)
}

// ---- Graticule --------------------------------------------------------------------------

TEST_F(ProjectionTest, GraticuleDrawsMeridiansThenBothHemispheresParallels) {
  P.ProjectionModel().PaintGraticule();  // steps 15° and 15°, sphere: 36 and 72 pieces
  ASSERT_EQ(globe.Lines.size(), 24u + 24u);
  const TLineCall& first = globe.Lines[0];
  EXPECT_EQ(first.From, (TPointLL{-GU_180_DEGREE, -89 * D, 0}));
  EXPECT_EQ(first.To, (TPointLL{-GU_180_DEGREE, 89 * D, 0}));
  EXPECT_EQ(first.Steps, 36);
  EXPECT_EQ(globe.Lines[23].From.iLongX, 165 * D);
  // The equator twice (as +0 and −0), each time in two halves.
  const TLineCall* eq = &globe.Lines[24];
  EXPECT_EQ(eq[0].From, (TPointLL{GU_180_DEGREE - 1, 0, 0}));
  EXPECT_EQ(eq[0].To, (TPointLL{0, 0, 0}));
  EXPECT_EQ(eq[1].To, (TPointLL{-GU_180_DEGREE + 1, 0, 0}));
  EXPECT_EQ(eq[2].From, eq[0].From);
  EXPECT_EQ(eq[0].Steps, 72);
  EXPECT_EQ(globe.Lines[28].From.iLatY, 15 * D);
  EXPECT_EQ(globe.Lines[30].From.iLatY, -15 * D);
  EXPECT_EQ(globe.Lines.back().From.iLatY, -75 * D);

  globe.Lines.clear();
  globe.SetGraticuleLongitudeStep(0);
  globe.SetGraticuleLatitudeStep(30);
  P.SetProjectionClass("TCartesianPrj");
  P.ProjectionModel().PaintGraticule();
  ASSERT_EQ(globe.Lines.size(), 3u * 4u);  // 0°, 30°, 60°
  EXPECT_EQ(globe.Lines[0].Steps, 144);
}

// ---- Environment and registration -------------------------------------------------------

TEST_F(ProjectionTest, ModelsSaveTheirClassAndAreRegisteredByName) {
  for (const char* name :
       {"TCartesianPrj", "TMercatorPrj", "TSphericalPrj", "TTestCartesianPrj", "TAzimuthalPrj"}) {
    P.SetProjectionClass(name);
    const auto el = P.ProjectionModel().SaveEnvironment();
    EXPECT_EQ(el->AttributeByName("Class", ""), name);
    EXPECT_EQ(P.ProjectionModel().Clone(&P)->ClassName(), name);
  }
  std::vector<std::string_view> order;
  for (const TGlobeClass* c : GlobeClassList()) {
    if (c->InheritsFrom(TCustomProjectionModel::StaticClass())) order.push_back(c->ClassName());
  }
  EXPECT_THAT(order,
              ElementsAre("TCartesianPrj", "TMercatorPrj", "TSphericalPrj", "TTestCartesianPrj",
                          "TAzimuthalPrj"));
}

}  // namespace
}  // namespace globe::testing
