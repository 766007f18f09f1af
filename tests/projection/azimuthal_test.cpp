// The azimuthal equidistant map: positions against PROJ's, the inverse, the antipode, panning
// and the environment document.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "globe/formats/xml.h"
#include "tests/projection/fixture.h"

namespace globe::testing {
namespace {

// Scale 2 with the map's half scale: one pixel per GU of arc, the rim 972,000,000 pixels
// from the origin, so that rounding to pixels is far below the tolerances.
constexpr Extended kScale = 2.0L;
constexpr double kPixelsPerRadian = 972'000'000.0 / 3.14159265358979323846;

class AzimuthalTest : public ProjectionTest {
 protected:
  const TPoint O{400, 300};

  void SetUp() override {
    SizeCanvas(800, 600);
    // Fitted first: the origin comes to the middle, from where the scale can grow.
    P.SetProjectionClass("TAzimuthalPrj");
    P.SetScaleFactor(0);
    View("TAzimuthalPrj", 0, 0, kScale, O);
    ASSERT_EQ(P.ScaleFactor(), kScale);
  }
  void Centre(std::int64_t Lat, std::int64_t Long) {
    P.SetCentralParallel(static_cast<Extended>(Lat) / D);
    P.SetCentralMeridian(static_cast<Extended>(Long) / D);
  }
  // Offset from the origin in earth radii, east and north.
  std::pair<double, double> Radii(TPointLL pt) {
    const TPoint xy = Project(pt).first;
    return {(xy.X - O.X) / kPixelsPerRadian, -(xy.Y - O.Y) / kPixelsPerRadian};
  }
  std::pair<bool, TPointLL> Inverse(std::int32_t x, std::int32_t y) {
    DevicePoints()[0] = {-1, -1};
    const bool ok = P.ProjectionModel().XYToLL(x, y, 0);
    return {ok, TPointLL{Buf(0).X, Buf(0).Y, 0}};
  }
};

// Great-circle distance in GU (haversine: exact for the small distances compared here).
double ArcGU(TPointLL a, TPointLL b) {
  const double k = static_cast<double>(RADIANS_PER_GU);
  const double p1 = a.iLatY * k, p2 = b.iLatY * k, dl = (double(b.iLongX) - a.iLongX) * k;
  const double h = std::pow(std::sin((p2 - p1) / 2), 2) +
                   std::cos(p1) * std::cos(p2) * std::pow(std::sin(dl / 2), 2);
  return 2 * std::asin(std::sqrt(std::clamp(h, 0.0, 1.0))) / k;
}

TEST_F(AzimuthalTest, AgreesWithProjForRandomPointsAndCentres) {
  // Made by tests/data/aeqd/make_aeqd_table.py with PROJ's proj (+proj=aeqd +R=1).
  std::ifstream file(std::string(ORVANE_TEST_DATA_DIR) + "/aeqd/aeqd_table.txt");
  ASSERT_TRUE(file) << "aeqd_table.txt";
  std::string line;
  int rows = 0;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    std::int64_t lat0, lon0, lat, lon;
    double x, y;
    ASSERT_TRUE(in >> lat0 >> lon0 >> lat >> lon >> x >> y) << line;
    SCOPED_TRACE(line);
    Centre(lat0, lon0);
    const TPointLL pt{static_cast<std::int32_t>(lon), static_cast<std::int32_t>(lat), 0};
    const auto [ex, ny] = Radii(pt);
    // A pixel is 3e-9 radii; the centre passes through degrees, the rest is double.
    EXPECT_NEAR(ex, x, 2e-8);
    EXPECT_NEAR(ny, y, 2e-8);

    // Back again, to within a few GU of arc (a pixel is one).
    const TPoint xy = Project(pt).first;
    const auto [ok, back] = Inverse(xy.X, xy.Y);
    ASSERT_TRUE(ok);
    EXPECT_LE(ArcGU(back, pt), 3.0);
    ++rows;
  }
  EXPECT_GT(rows, 100);
}

TEST_F(AzimuthalTest, AntipodeLiesOnTheRimAndTheRimIsTheAntipode) {
  struct Case {
    const char* name;
    std::int32_t lat0, lon0;
  };
  for (const Case& c : {Case{"equator", 0, 0}, Case{"north pole", 90 * D, 0},
                        Case{"south pole", -90 * D, 45 * D}, Case{"Vienna", 260280000, 88560000}}) {
    SCOPED_TRACE(c.name);
    Centre(c.lat0, c.lon0);
    const TPointLL antipode{WrapLongitude(c.lon0 + GU_180_DEGREE), -c.lat0, 0};
    const auto [xy, visible] = Project(antipode);
    EXPECT_TRUE(visible);
    EXPECT_NEAR(std::hypot(xy.X - O.X, xy.Y - O.Y), 972'000'000.0, 2.0);

    // Every point of the rim is the antipode; beyond it is off the map; the origin is
    // the centre.
    for (const TPoint rim : {TPoint{O.X + 972'000'000, O.Y}, TPoint{O.X, O.Y - 972'000'000},
                             TPoint{O.X - 687'307'791, O.Y + 687'307'791}}) {
      const auto [ok, ll] = Inverse(rim.X, rim.Y);
      ASSERT_TRUE(ok);
      EXPECT_LE(ArcGU(ll, antipode), 3.0);
    }
    EXPECT_FALSE(Inverse(O.X + 972'000'002, O.Y).first);
    EXPECT_FALSE(Inverse(O.X + 700'000'000, O.Y + 700'000'000).first);
    const auto [ok, centre] = Inverse(O.X, O.Y);
    ASSERT_TRUE(ok);
    EXPECT_LE(ArcGU(centre, {c.lon0, c.lat0, 0}), 1.0);
  }
}

TEST_F(AzimuthalTest, ChainThroughTheAntipodeStaysOnTheDisc) {
  // A ring round the antipode (centre 0°, 0°) and a meridian through it: whatever the
  // stretch there, every point written lies within the disc and none is garbage.
  P.SetScaleFactor(1e-6L);
  P.SetXOrigin(O.X);
  P.SetYOrigin(O.Y);
  const double rim = 486'000'000.0 * 1e-6;
  auto ring = Chain(
      {{170 * D, 10 * D, 0}, {-170 * D, 10 * D, 0}, {-170 * D, -10 * D, 0}, {170 * D, -10 * D, 0}});
  auto line = Chain({{0, 60 * D, 0}, {GU_180_DEGREE, 0, 0}, {GU_180_DEGREE, -60 * D, 0}});
  for (auto* store : {ring.get(), line.get()}) {
    for (const bool closed : {true, false}) {
      const std::int32_t n = P.ProjectionModel().PointStoreToXY(*store, 0, closed);
      ASSERT_GT(n, 2);
      for (std::int32_t i = 0; i < n; ++i) {
        EXPECT_LE(std::hypot(Buf(i).X - O.X, Buf(i).Y - O.Y), rim + 1.5) << i;
      }
    }
  }
}

TEST_F(AzimuthalTest, RectanglesNearTheAntipodeAreClippedOnEveryEdge) {
  P.SetScaleFactor(0);  // the whole disc, 300 pixels in radius
  Centre(0, 0);
  struct Case {
    const char* name;
    TMER mer;
    bool clipAll;
  };
  const Case cases[] = {
      {"round the centre", {-5 * D, -5 * D, 10 * D, 10 * D}, false},
      {"round the antipode, across 180°", {170 * D, -10 * D, 20 * D, 20 * D}, true},
      {"beside the antipode", {-175 * D, 20 * D, 10 * D, 10 * D}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TGlobeObjectStateSet state{osClipLeft};
    EXPECT_TRUE(P.ProjectionModel().VisibleMER(c.mer, state));
    EXPECT_TRUE(state.Contains(osFace));
    for (const auto flag : {osClipLeft, osClipTop, osClipRight, osClipBottom})
      EXPECT_EQ(state.Contains(flag), c.clipAll);
  }
}

TEST_F(AzimuthalTest, RotationsPanAndLeaveTheCentre) {
  Centre(48 * D, 16 * D);
  P.SetScaleFactor(1e-6L);
  P.SetXOrigin(O.X);
  P.SetYOrigin(O.Y);
  // A degree of rotation moves the map by a degree of arc: 5.4 GU at half of 1e-6.
  P.SetXRotation(P.XRotation() + 10);
  EXPECT_EQ(P.CenterXY(), (TPoint{O.X, O.Y + 27}));
  P.SetYRotation(P.YRotation() + 10);
  EXPECT_EQ(P.CenterXY(), (TPoint{O.X - 27, O.Y + 27}));
  EXPECT_EQ(P.CentralParallel(), 48);
  EXPECT_EQ(P.CentralMeridian(), 16);
  EXPECT_EQ(Project({16 * D, 48 * D, 0}).first, (TPoint{O.X - 27, O.Y + 27}));
}

TEST_F(AzimuthalTest, FitsAWideCanvasAndSurvivesTheEnvironmentDocument) {
  SizeCanvas(1920, 1080);
  P.SetScaleFactor(0);  // the whole disc, as tall as the canvas
  EXPECT_NEAR(P.ScaleFactor(), 1080.0L / 972'000'000, 1e-15L);
  Centre(48 * D + 12345, 16 * D);
  P.SetXOrigin(900);

  const auto el = P.SaveEnvironment();
  TTestGlobe other;
  other.GlobeCanvas().SetCanvasWidth(1920);
  other.GlobeCanvas().SetCanvasHeight(1080);
  TGlobeProjection& Q = other.Projection();
  Q.LoadEnvironment(el.get());
  EXPECT_EQ(Q.ProjectionClass(), "TAzimuthalPrj");
  for (const TPointLL pt :
       {TPointLL{0, 0, 0}, TPointLL{-120 * D, -40 * D, 0}, TPointLL{139 * D, 35 * D, 0}}) {
    TPoint a, b;
    P.PointLLToXY(pt, a);
    Q.PointLLToXY(pt, b);
    EXPECT_EQ(a, b);
  }
}

}  // namespace
}  // namespace globe::testing
