// The flat maps: plate carrée, Mercator and the turned plate carrée, their inverse
// projections, chains, and how X and Y rotations move them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "tests/projection/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;

// 1e-6 pixels per GU: 5.4 pixels a degree, origin (400, 300).
class FlatTest : public ProjectionTest {
 protected:
  const TPoint O{400, 300};
  void Use(const char* Model) { View(Model, 0, 0, 1e-6L, O); }
  std::pair<bool, TPointLL> Inverse(std::int32_t x, std::int32_t y) {
    DevicePoints()[0] = {-1, -1};
    const bool ok = P.ProjectionModel().XYToLL(x, y, 0);
    return {ok, TPointLL{Buf(0).X, Buf(0).Y, 0}};
  }
};

TEST_F(FlatTest, PlateCarreeIsProportional) {
  Use("TCartesianPrj");
  EXPECT_EQ(Project({90 * D, 45 * D, 0}), std::make_pair(TPoint{886, 57}, true));
  EXPECT_EQ(Inverse(886, 57), std::make_pair(true, TPointLL{486'000'000, 243'000'000, 0}));
  // Bounds are on the map; beyond the pole is not, but is written all the same.
  EXPECT_TRUE(Project({GU_180_DEGREE, GU_90_DEGREE, 0}).second);
  EXPECT_EQ(Project({0, 91 * D, 0}), std::make_pair(TPoint{400, 300 - 491}, false));

  P.SetCentralMeridian(170);  // the difference to the central meridian is wrapped
  EXPECT_EQ(Project({-170 * D, 0, 0}).first, (TPoint{400 + 108, 300}));
  EXPECT_EQ(Inverse(400 + 108, 300), std::make_pair(true, TPointLL{-170 * D, 0, 0}));
}

TEST_F(FlatTest, InverseAtTheEdgesOfTheMap) {
  for (const char* model : {"TCartesianPrj", "TMercatorPrj", "TTestCartesianPrj"}) {
    Use(model);
    // Past 180° east the longitude wraps round and stays on the map.
    const auto [eastOk, east] = Inverse(O.X + 1026, O.Y);  // 190°
    EXPECT_TRUE(eastOk) << model;
    EXPECT_EQ(east.iLongX, -170 * D) << model;
    // Arithmetic beyond 32 bits is a point off the map, not an error.
    EXPECT_FALSE(Inverse(2'000'000'000, O.Y).first) << model;
    EXPECT_EQ(Buf(0), (TPoint{-1, -1})) << model;
  }
  Use("TCartesianPrj");
  EXPECT_FALSE(Inverse(O.X, O.Y - 492).first);  // north of the pole
}

TEST_F(FlatTest, MercatorStretchesTowardsThePoles) {
  Use("TMercatorPrj");
  EXPECT_EQ(Project({10 * D, 0, 0}), std::make_pair(TPoint{454, 300}, true));
  const auto [pole, poleVisible] = Project({0, GU_90_DEGREE, 0});
  EXPECT_TRUE(poleVisible);
  EXPECT_EQ(pole, Project({0, GU_90_DEGREE - 1, 0}).first);
  EXPECT_LT(pole.Y, O.Y - 6000);
  EXPECT_EQ(Project({0, -GU_90_DEGREE, 0}).first.Y - O.Y, O.Y - pole.Y);
  // 60° N lies at ln(tan(75°)) = 1.3170 radians of the Mercator Y.
  const auto [sixty, _] = Project({0, 60 * D, 0});
  EXPECT_EQ(sixty.Y, O.Y - std::lround(1.3169578969248166 * GU_PER_RADIAN * 1e-6));
  const auto [ok, back] = Inverse(sixty.X, sixty.Y);
  EXPECT_TRUE(ok);
  EXPECT_NEAR(back.iLatY, 60 * D, D / 10);
}

TEST_F(FlatTest, TurnedPlateCarree) {
  std::vector<TPointLL> points;
  for (std::int32_t lon = -180; lon <= 180; lon += 30) {
    for (std::int32_t lat = -90; lat <= 90; lat += 30)
      points.push_back({lon * D, lat * D + 777, 0});
  }
  Use("TCartesianPrj");
  std::vector<std::pair<TPoint, bool>> plate;
  for (const TPointLL& pt : points) plate.push_back(Project(pt));
  Use("TTestCartesianPrj");  // Z rotation 0: the same map
  for (std::size_t i = 0; i < points.size(); ++i) EXPECT_EQ(Project(points[i]), plate[i]);

  P.SetZRotation(90);  // east now points up
  EXPECT_EQ(Project({10 * D, 0, 0}).first, (TPoint{400, 300 - 54}));
  const TPoint xy = Project({20 * D, 30 * D, 0}).first;
  const auto [ok, back] = Inverse(xy.X, xy.Y);
  EXPECT_TRUE(ok);
  EXPECT_NEAR(back.iLongX, 20 * D, D / 5);
  EXPECT_NEAR(back.iLatY, 30 * D, D / 5);
}

TEST_F(FlatTest, ChainsDropHiddenPointsAndPointsWithinAPixel) {
  for (const char* model : {"TCartesianPrj", "TMercatorPrj", "TTestCartesianPrj"}) {
    Use(model);
    auto store = std::make_unique<TPointStore>();
    store->SetStoreHeight(true);
    for (const TPointLL& pt :
         {TPointLL{0, 0, 5}, TPointLL{100'000, 100'000, 0}, TPointLL{10 * D, 0, 0},
          TPointLL{10 * D, 95 * D, 0}, TPointLL{20 * D, 0, 0}}) {
      store->Add(pt);
    }
    const std::int32_t n = P.ProjectionModel().PointStoreToXY(*store, 5, false);
    ASSERT_EQ(n, 8) << model;
    EXPECT_THAT(std::vector<TPoint>(DevicePoints() + 5, DevicePoints() + 8),
                ElementsAre(O, TPoint{454, 300}, TPoint{508, 300}))
        << model;
  }
}

TEST_F(FlatTest, ChainsRoundAsSinglePointsWhateverTheRoundingMode) {
  // 2^-20 pixels per GU and steps of 1.5 and 2.5 pixels: every other point lies exactly
  // half-way between pixels and rounds to the even one. One point is off the map; at the
  // largest scale the coordinates wrap. In every rounding mode a chain gives the single
  // points.
  std::vector<TPointLL> points;
  for (std::int32_t k = 0; k < 12; ++k)
    points.push_back({k * 1'572'864 - 15'728'640, -k * 2'621'440 + 3'145'728, 0});
  points.push_back({0, 95 * D, 0});
  points.push_back({GU_180_DEGREE - 1'000'000, 0, 0});
  TPointStore store;
  for (const TPointLL& pt : points) store.Add(pt);
  for (const Extended scale : {1.0L / 1048576, 3.0L}) {
    View("TCartesianPrj", 0, 0, scale, O);
    ASSERT_EQ(P.ScaleFactor(), scale);
    P.SetCentralMeridian(-20);
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
      ASSERT_EQ(std::fesetround(mode), 0);
      std::vector<TPoint> expected;
      for (const TPointLL& pt : points) {
        const auto [xy, visible] = Project(pt);
        if (visible &&
            (expected.empty() || std::llabs(std::int64_t{xy.X} - expected.back().X) > 1 ||
             std::llabs(std::int64_t{xy.Y} - expected.back().Y) > 1))
          expected.push_back(xy);
      }
      const std::int32_t n = P.ProjectionModel().PointStoreToXY(store, 0, false);
      std::fesetround(FE_TONEAREST);
      ASSERT_GE(expected.size(), scale < 1 ? 13u : 3u);
      EXPECT_THAT(std::vector<TPoint>(DevicePoints(), DevicePoints() + n),
                  ::testing::ElementsAreArray(expected))
          << "scale " << static_cast<double>(scale) << ", mode " << mode;
    }
  }
  // The ties went to even pixels: x from 385 in steps of 1.5, y from 297 in steps of 2.5.
  View("TCartesianPrj", 0, 0, 1.0L / 1048576, O);
  ASSERT_EQ(P.ProjectionModel().PointStoreToXY(store, 0, false), 13);
  EXPECT_THAT(std::vector<TPoint>(DevicePoints(), DevicePoints() + 4),
              ElementsAre(TPoint{385, 297}, TPoint{386, 300}, TPoint{388, 302}, TPoint{390, 304}));
}

// ---- Rotations move the map -------------------------------------------------------------

TEST_F(FlatTest, DefaultAxisModesScrollTheMeridianAndMoveTheOrigin) {
  Use("TCartesianPrj");
  P.SetYRotation(10);
  EXPECT_EQ(P.CentralMeridian(), 10);
  P.SetCentralMeridian(175);
  P.SetYRotation(20);
  EXPECT_EQ(P.CentralMeridian(), -175);  // wrapped

  P.SetXRotation(10);  // the map moves down by 10° worth of pixels
  EXPECT_EQ(P.YOrigin(), O.Y + 54);
  EXPECT_EQ(P.XOrigin(), O.X);
}

TEST_F(FlatTest, OtherAxisModes) {
  struct Case {
    TXAxisChanges X;
    TYAxisChanges Y;
    TPoint Origin;
    Extended Meridian, Parallel;
  };
  const Case cases[] = {
      {xaCentralParallel, yaXOrigin, {400 - 54, 300}, 0, 10},
      {xaNoAction, yaNoAction, {400, 300}, 0, 0},
  };
  for (const Case& c : cases) {
    Use("TCartesianPrj");
    P.SetCentralParallel(0);
    P.SetXAxisChanges(c.X);
    P.SetYAxisChanges(c.Y);
    P.SetXRotation(10);
    P.SetYRotation(10);
    EXPECT_EQ(P.CenterXY(), c.Origin) << int(c.X);
    EXPECT_EQ(P.CentralMeridian(), c.Meridian) << int(c.X);
    EXPECT_EQ(P.CentralParallel(), c.Parallel) << int(c.X);
    P.SetXAxisChanges(xaYOrigin);
    P.SetYAxisChanges(yaCentralMeridian);
  }
}

TEST_F(FlatTest, ExtentsAreTheWholeWorld) {
  Use("TMercatorPrj");
  EXPECT_EQ(P.ExtentsLL(), (TRect{-GU_180_DEGREE, -GU_90_DEGREE, GU_180_DEGREE, GU_90_DEGREE}));
}

}  // namespace
}  // namespace globe::testing
