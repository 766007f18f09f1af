// The orthographic sphere: forward and inverse projection, the limb, back faces and the
// chain projection from 3-D points.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <vector>

#include "tests/projection/fixture.h"

namespace globe::testing {
namespace {

class SphereTest : public ProjectionTest {
 protected:
  // Rotations 0, disc radius 309.39723 pixels, centred at O.
  const TPoint O{400, 300};
  void SetUp() override { View("TSphericalPrj", 0, 0, 1e-6L, O); }
  Extended Radius() const {
    return static_cast<const TSphericalPrj&>(P.ProjectionModel()).GlobeRadius();
  }
};

TEST_F(SphereTest, DefaultViewFacesLatitudeZeroLongitudeZero) {
  EXPECT_EQ(Project({0, 0, 0}), std::make_pair(O, true));
  EXPECT_EQ(Project({GU_180_DEGREE, 0, 0}), std::make_pair(O, false));
  const auto [north, northVisible] = Project({0, 45 * D, 0});
  EXPECT_TRUE(northVisible);
  EXPECT_EQ(north.X, O.X);
  EXPECT_LT(north.Y, O.Y);
  const auto [east, eastVisible] = Project({45 * D, 0, 0});
  EXPECT_TRUE(eastVisible);
  EXPECT_GT(east.X, O.X);
  EXPECT_EQ(east.Y, O.Y);
  // The limb at 90° east lies one radius right of the centre.
  EXPECT_EQ(Project({90 * D, 0, 0}).first, (TPoint{O.X + 309, O.Y}));
}

TEST_F(SphereTest, RotationsBringTheirPointToTheCentre) {
  struct Case {
    Extended X, Y;
  };
  for (const Case c : {Case{30, 0}, Case{0, 40}, Case{-50, 120}, Case{90, -170}}) {
    P.SetXRotation(c.X);
    P.SetYRotation(c.Y);
    TPointLL centre;
    ASSERT_TRUE(P.DeviceXYToLL(O.X, O.Y, centre));
    EXPECT_NEAR(centre.iLatY, c.X * D, 1) << c.X << "," << c.Y;
    if (c.X != 90) {  // at the pole every longitude is the centre
      EXPECT_NEAR(centre.iLongX, c.Y * D, 1) << c.X << "," << c.Y;
    }
    EXPECT_EQ(Project(DegToPointLL(c.Y, c.X)), std::make_pair(O, true));
  }
}

TEST_F(SphereTest, RotationsAreKeptInRange) {
  P.SetXRotation(100);
  EXPECT_EQ(P.XRotation(), 90);
  P.SetXRotation(-95);
  EXPECT_EQ(P.XRotation(), -90);
  P.SetZRotation(200);
  EXPECT_EQ(P.ZRotation(), -160);
}

TEST_F(SphereTest, RaisedPointsBehindTheLimbStayVisibleOutsideTheDisc) {
  // Just behind the limb at 90° east.
  const auto [raised, raisedVisible] = Project({90 * D + 1000, 0, 1});
  EXPECT_TRUE(raisedVisible);
  EXPECT_GT(std::hypot(raised.X - O.X, raised.Y - O.Y), Radius() - 0.5);
  EXPECT_FALSE(Project({90 * D + 1000, 0, 0}).second);
  // Far behind, a raised point is covered by the disc.
  EXPECT_FALSE(Project({GU_180_DEGREE, 0, 1000}).second);
}

TEST_F(SphereTest, BackFacePassInvertsVisibility) {
  std::vector<bool> front;
  for (std::int32_t lon = -180; lon < 180; lon += 20) {
    for (std::int32_t lat = -80; lat <= 80; lat += 20) {
      front.push_back(Project({lon * D, lat * D, 0}).second);
    }
  }
  P.SetRenderBackFace(true);
  std::size_t i = 0;
  for (std::int32_t lon = -180; lon < 180; lon += 20) {
    for (std::int32_t lat = -80; lat <= 80; lat += 20) {
      EXPECT_NE(Project({lon * D, lat * D, 0}).second, front[i++]) << lon << "," << lat;
    }
  }
}

TEST_F(SphereTest, InverseProjection) {
  // Round trip within the GU of half a pixel.
  for (const TPointLL pt :
       {TPointLL{10 * D, 20 * D}, TPointLL{-60 * D, -45 * D}, TPointLL{50 * D, 5 * D}}) {
    const TPoint xy = Project(pt).first;
    TPointLL back;
    ASSERT_TRUE(P.DeviceXYToLL(xy.X, xy.Y, back));
    EXPECT_NEAR(back.iLongX, pt.iLongX, D / 2);
    EXPECT_NEAR(back.iLatY, pt.iLatY, D / 2);
  }
  // Off the disc: false and the buffer left alone.
  DevicePoints()[5] = {7, 7};
  EXPECT_TRUE(P.ProjectionModel().XYToLL(O.X + 309, O.Y, 5));
  DevicePoints()[5] = {7, 7};
  EXPECT_FALSE(P.ProjectionModel().XYToLL(O.X + 310, O.Y, 5));
  EXPECT_FALSE(P.ProjectionModel().XYToLL(O.X, O.Y - 310, 5));
  EXPECT_EQ(Buf(5), (TPoint{7, 7}));
}

// ---- Chains -----------------------------------------------------------------------------

TEST_F(SphereTest, ChainsMatchSinglePointsWithAndWithoutTheCache) {
  std::vector<TPointLL> points;
  for (std::int32_t i = 0; i < 200; ++i) {
    points.push_back({(i * 7919 % 160 - 80) * D + i * 1237, (i * 104729 % 150 - 75) * D, 0});
  }
  P.SetXRotation(23.5L);
  P.SetYRotation(-10);
  std::vector<TPoint> expected;
  for (const TPointLL& pt : points) {
    const auto [xy, visible] = Project(pt);
    if (visible) expected.push_back(xy);
  }
  // The chain loop rounds its own way while the rounding mode is to nearest; in any other
  // mode it must round as the single points do all the same.
  for (const int mode : {FE_TONEAREST, FE_UPWARD}) {
    for (const bool cache : {true, false}) {
      globe.SetOptions(cache ? TGlobeOptionsSet{goCache3DPoints} : TGlobeOptionsSet{});
      TPointStore store;
      for (const TPointLL& pt : points) store.Add(pt);
      ASSERT_EQ(std::fesetround(mode), 0);
      const std::int32_t n = P.ProjectionModel().PointStoreToXY(store, 0, false);
      std::fesetround(FE_TONEAREST);
      EXPECT_THAT(std::vector<TPoint>(DevicePoints(), DevicePoints() + n),
                  ::testing::ElementsAreArray(expected))
          << "cache " << cache << ", mode " << mode;
    }
  }
}

TEST_F(SphereTest, ChainsDropPointsWithinAPixel) {
  // 1e-6 pixels per GU: 1,000,000 GU is one pixel near the centre.
  const auto store = Chain({{0, 0}, {500'000, 0}, {900'000, 900'000}, {3'000'000, 0}, {0, 0}});
  const std::int32_t n = P.ProjectionModel().PointStoreToXY(*store, 0, false);
  EXPECT_THAT(std::vector<TPoint>(DevicePoints(), DevicePoints() + n),
              ::testing::ElementsAre(O, TPoint{O.X + 3, O.Y}, O));
}

TEST_F(SphereTest, HiddenStretchFollowsTheLimbInRingsAndIsDroppedFromLines) {
  // Along the equator from 60° east round the back to 60° west.
  auto store = std::make_unique<TPointStore>();
  for (std::int32_t lon = 60; lon <= 300; lon += 20) store->Add(PointLL(lon * D, 0));
  const std::int32_t open = P.ProjectionModel().PointStoreToXY(*store, 0, false);
  EXPECT_EQ(open, 4);  // 60, 80 and 280, 300: the rest is hidden

  const std::int32_t closed = P.ProjectionModel().PointStoreToXY(*store, 0, true);
  // The hidden points land on the outline at the right (east) or left edge; those that
  // coincide there are dropped as duplicates.
  ASSERT_GE(closed, 6);
  for (std::int32_t i = 0; i < closed; ++i) {
    const TPoint p = Buf(i);
    EXPECT_LE(std::hypot(p.X - O.X, p.Y - O.Y), Radius() + 1) << i;
  }
  EXPECT_EQ(Buf(2), (TPoint{O.X + 309, O.Y}));
  EXPECT_EQ(Buf(closed - 3), (TPoint{O.X - 309, O.Y}));
}

// A sphere whose transform is exact, so that a point can lie exactly behind the centre.
class TExactSphere : public TSphericalPrj {
 public:
  using TSphericalPrj::TSphericalPrj;
  void MakeExact() {
    const Extended s = Projection().ScaleFactor();
    FTransform = TMatrix{{s, 0, 0, 0, -s, 0, 0, 0, -s}};
  }
};

TEST_F(SphereTest, RingThroughThePointBehindTheCentreStaysOnTheLimb) {
  P.SetProjectionModel(std::make_unique<TExactSphere>(&P));
  static_cast<TExactSphere&>(P.ProjectionModel()).MakeExact();
  // (180°, 0°) has no direction to the limb and is left out instead of becoming 0 / 0.
  const auto store = Chain({{170 * D, 10 * D}, {GU_180_DEGREE, 0}, {170 * D, -10 * D}});
  const std::int32_t n = P.ProjectionModel().PointStoreToXY(*store, 0, true);
  EXPECT_EQ(n, 2);
  for (std::int32_t i = 0; i < n; ++i) {
    EXPECT_NEAR(std::hypot(Buf(i).X - O.X, Buf(i).Y - O.Y), Radius(), 1);
  }
}

TEST_F(SphereTest, ExtentsAreTheDiscsBoundingSquare) {
  EXPECT_EQ(P.ExtentsLL(), (TRect{-309'397'230, -309'397'230, 309'397'230, 309'397'230}));
}

}  // namespace
}  // namespace globe::testing
