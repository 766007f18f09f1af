#include "globe/core/units.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <random>

#include "globe/core/classes.h"
#include "platform/filesystem.h"

namespace globe {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(PointLL, WrapsLongitudeOnceAndKeepsTheToleratedUnits) {
  struct Case {
    std::int32_t in, out;
  } cases[] = {
      {972000001, 972000001},        {972000002, -971999998},
      {-972000001, -972000001},      {-972000002, 971999998},
      {-2000000000, -56000000},      {2147483647, 203483647},
      {-2147483647 - 1, -203483648}, {0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PointLL(c.in, 7).iLongX, c.out) << c.in;
    EXPECT_EQ(PointLL(c.in, 7).iLatY, 7);
    EXPECT_EQ(PointLLH(c.in, 7, 9), (TPointLL{c.out, 7, 9}));
  }
}

TEST(DegToGU, SplitsIntoExactDegreesMinutesSeconds) {
  struct Case {
    long double deg;
    std::int32_t gu;
  } cases[] = {
      {12.5L, 67500000},    {-12.5L, -67500000}, {360.0L, 0},        {0.000001L, 5},
      {-370.5L, -56700000}, {370.25L, 55350000}, {1.0L / 60, 90000}, {179.999999L, 971999995},
      {90.0L, 486000000},   {-0.000001L, -5},
  };
  for (const auto& c : cases) EXPECT_EQ(DegToGU(c.deg), c.gu) << static_cast<double>(c.deg);
  EXPECT_EQ(DegToPointLL(190.0L, 10.0L), PointLL(190 * GU_DEGREE, 10 * GU_DEGREE));
}

// The double conversion must agree with DegToGU bit for bit; ties at half a GU are exact
// doubles at odd multiples of 1/128 degree, so they and their neighbours are swept too.
TEST(DegToGU, DoubleConversionMatchesTheExtendedOneBitForBit) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  int failures = 0;
  auto check = [&](double x) {
    if (DegToGUD(x) == DegToGU(x) || ++failures > 10) return;
    ADD_FAILURE() << std::hexfloat << x << ": " << DegToGUD(x) << " != " << DegToGU(x);
  };
  for (const double x :
       {0.0, -0.0, 360.0, -360.0, std::nextafter(360.0, 0.0), std::nextafter(-360.0, 0.0),
        std::nextafter(360.0, 400.0), 359.99999999999994, 1.0 / 128, -1.0 / 128, 3.0 / 128,
        0.5 / GU_DEGREE, 1.5 / GU_DEGREE, std::numeric_limits<double>::denorm_min(),
        -std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
        -std::numeric_limits<double>::max(), 1e9, -1e9, 397.62, kInf, -kInf,
        std::numeric_limits<double>::quiet_NaN()}) {
    check(x);
  }

  std::mt19937_64 rng(20261211);
  std::uniform_real_distribution<double> turn(-360.0, 360.0);
  std::uniform_int_distribution<int> exponent(-80, 10);
  std::uniform_int_distribution<std::int64_t> odd(0, 360 * 64 - 1);
  std::uniform_int_distribution<std::int64_t> micro(-360'000'000, 360'000'000);
  for (int i = 0; i < 1'000'000; ++i) {
    check(turn(rng));
    check(std::ldexp(turn(rng) / 360.0, exponent(rng)));
    check(static_cast<double>(micro(rng)) / 1e6);  // how files store degrees
    double tie = static_cast<double>(2 * odd(rng) + 1) / 128;
    if (i % 2 != 0) tie = -tie;
    check(tie);
    double up = tie, down = tie;
    for (int k = 0; k < 3; ++k) {
      check(up = std::nextafter(up, kInf));
      check(down = std::nextafter(down, -kInf));
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(Units, TableConversionsAndNames) {
  EXPECT_EQ(UnitsToGU(TGlobeUnitTypes::Kilometer, 1.0L), 48596);
  EXPECT_EQ(UnitsToGU(TGlobeUnitTypes::Pixel, 123.0L), 0);
  EXPECT_EQ(UnitsToGU(TGlobeUnitTypes::Hundreth, 0.5L), 8);   // 7.5 → 8 (even)
  EXPECT_EQ(UnitsToGU(TGlobeUnitTypes::Hundreth, 0.7L), 10);  // 10.5 → 10 (even)
  EXPECT_EQ(GUToUnits(5400000, TGlobeUnitTypes::Degree), 1.0L);
  EXPECT_EQ(GUToUnits(5400000, TGlobeUnitTypes::Pixel), 5400000.0L);
  EXPECT_EQ(GUPerUnit(TGlobeUnitTypes::Mile), 78157.89483968144L);

  EXPECT_EQ(StrToUnits("nm"), TGlobeUnitTypes::NauticalMile);
  EXPECT_EQ(StrToUnits("T"), TGlobeUnitTypes::Third);
  EXPECT_EQ(StrToUnits("gu"), TGlobeUnitTypes::GlobeUnit);
  EXPECT_THAT([] { (void)StrToUnits("XX"); },
              ThrowsMessage<EGlobeException>("StrToUnits: Unknown Unit XX"));
  for (int u = 0; u < GLOBE_UNIT_TYPE_COUNT; ++u) {
    const auto unit = static_cast<TGlobeUnitTypes>(u);
    if (unit == TGlobeUnitTypes::Thousanth) continue;  // shares "T" with Third
    EXPECT_EQ(StrToUnits(UnitsToStr(unit)), unit);
  }
}

TEST(StrToExtended, ParsesPlainDecimalsOnly) {
  EXPECT_EQ(StrToExtended("12.5"), 12.5L);
  EXPECT_EQ(StrToExtended("-1.25E2"), -125.0L);
  EXPECT_EQ(StrToExtended(" +3 "), 3.0L);
  for (const char* bad : {"", "1,5", "abc", "1.5x", "inf", "nan", "--1", "1e"}) {
    EXPECT_THAT(
        [&] { (void)StrToExtended(bad); },
        ThrowsMessage<EGlobeException>(std::string("StrToExtended: Conversion failed for ") + bad));
  }
}

TEST(Angles, LongDiffAndWrapDegrees) {
  EXPECT_EQ(LongDiff(5, 5), 1);
  EXPECT_EQ(LongDiff(-971000000, 971000000), 2000000);
  EXPECT_EQ(LongDiff(0, 972000000), 972000000);
  EXPECT_EQ(LongDiff(100, -100), 200);
  EXPECT_EQ(WrapDegrees180(190.0L), -170.0L);
  EXPECT_EQ(WrapDegrees180(-190.0L), 170.0L);
  EXPECT_EQ(WrapDegrees180(180.0L), 180.0L);
}

TEST(Numeric, SmallFunctions) {
  EXPECT_EQ(ArcCos(1.0L), 0.0L);
  EXPECT_EQ(ArcCos(-1.0L), PI_EXT);
  EXPECT_EQ(ArcCos(2.0L), 0.0L);
  EXPECT_EQ(ArcSin(1.0L), PI_EXT / 2);
  EXPECT_EQ(ArcSin(-3.0L), -PI_EXT / 2);
  EXPECT_NEAR(static_cast<double>(ArcSin(0.5L)), std::numbers::pi / 6, 1e-15);
  EXPECT_EQ(Hypot(3, -4), 5.0L);
  EXPECT_EQ(Hypot(0, -4), 4.0L);
  EXPECT_EQ(Sign(0), 1.0L);
  EXPECT_EQ(Sign(-0.1L), -1.0L);
  EXPECT_EQ(Clamp(5, 1, 3), 3.0L);
  EXPECT_EQ(Clamp(-5, 1, 3), 1.0L);
}

TEST(ThreeD, PointsOnTheAxesAndRoundTrips) {
  EXPECT_EQ(LLHToPoint3D(0, 0, 0), (TPoint3D{0, 0, GU_EARTH_RADIUS}));
  EXPECT_EQ(LLHToPoint3D(GU_90_DEGREE, 0, 0), (TPoint3D{GU_EARTH_RADIUS, 0, 0}));
  EXPECT_EQ(LLHToPoint3D(0, GU_90_DEGREE, 1000), (TPoint3D{0, GU_EARTH_RADIUS + 1000, 0}));

  // Whole-GU 3-D points and truncation: a round trip lands within a few GU away from the poles.
  for (TPointLL p : {PointLL(123456789, -98765432), PointLL(-900000000, 400000000),
                     PointLL(971000000, -400000000)}) {
    const TPointLL back = V3DToLL(LLToV3D(p));
    EXPECT_NEAR(back.iLongX, p.iLongX, 4);
    EXPECT_NEAR(back.iLatY, p.iLatY, 4);
  }
  // Z = 0 still goes through the arctangent.
  EXPECT_EQ(V3DToLL({1, 0, 0}).iLongX, 486000000);
  EXPECT_EQ(V3DToLL({-1, 0, 0}).iLongX, -486000000);
}

TEST(ThreeD, VectorHelpers) {
  EXPECT_EQ(V3DNormalize({1e-6L, 0, 0}), (TV3D{1e-6L, 0, 0}));  // too short: unchanged
  EXPECT_EQ(V3D(0, 3, 4), (TV3D{0, 0.6L, 0.8L}));
  EXPECT_EQ(V3DCross({1, 0, 0}, {0, 2, 0}), (TV3D{0, 0, 1}));
  EXPECT_EQ(V3DDot({1, 2, 3}, {4, 5, 6}), 32.0L);
}

TEST(Rotation, EulerQuatAndMatrix) {
  const TQuaternion q = EulerQuat(0, 0, 0);
  EXPECT_NEAR(static_cast<double>(q.X), 1, 1e-18);
  EXPECT_NEAR(static_cast<double>(q.Y), 0, 1e-18);
  EXPECT_NEAR(static_cast<double>(q.Z), 0, 1e-18);
  EXPECT_NEAR(static_cast<double>(q.W), 0, 1e-18);
  const TMatrix m = QuatToMatrix(q);
  const long double diag[9] = {1, 0, 0, 0, -1, 0, 0, 0, -1};
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(static_cast<double>(m.m[i]), diag[i], 1e-15) << i;

  // The matrix is the transpose of the usual one: applied to a vector it rotates by the
  // inverse of q. A quarter turn about Y takes +Z to −X in that inverse sense.
  const TMatrix r = QuatToMatrix(AxisAngleQuat({0, 1, 0}, PI_EXT / 2));
  const TV3D v = MatrixApply(r, {0, 0, 1});
  EXPECT_NEAR(static_cast<double>(v.X), -1, 1e-15);
  EXPECT_NEAR(static_cast<double>(v.Z), 0, 1e-15);
  EXPECT_EQ(MatrixTranspose(MatrixTranspose(r)), r);
  EXPECT_EQ(MatrixScale(r, 2)(0, 2), 2 * r(0, 2));
}

TEST(MER, StrictContainmentAcross180) {
  const TMER m = MER(971000000, 0, 2000000, 10);
  EXPECT_TRUE(LLInMER({-971500000, 5, 0}, m));
  EXPECT_TRUE(LLInMER({971500000, 5, 0}, m));
  EXPECT_FALSE(LLInMER({-971500000, 0, 0}, m));
  EXPECT_FALSE(LLInMER({-971500000, 10, 0}, m));
  EXPECT_FALSE(LLInMER({971000000, 5, 0}, m));  // west edge
  EXPECT_FALSE(LLInMER({-970000000, 5, 0}, m));
}

TEST(MER, Union) {
  const std::int32_t D = GU_DEGREE;
  struct Case {
    TMER a, b, expected;
  } cases[] = {
      // Empty on either side: the other, unchanged.
      {MER(0, 0, 0, 0), MER(-5, 3, 7, 9), MER(-5, 3, 7, 9)},
      {MER(-5, 3, 7, 9), MER(0, 0, 0, 0), MER(-5, 3, 7, 9)},
      // Same side of the meridian.
      {MER(10 * D, 0, D, D), MER(20 * D, 5 * D, D, D), MER(10 * D, 0, 11 * D, 6 * D)},
      // Either side of 180° with a small gap across it: eastward from the eastern one.
      {MER(170 * D, 0, 5 * D, D), MER(-175 * D, 0, 5 * D, D), MER(170 * D, 0, 20 * D, D)},
      // Either side of 0°: the short way over 0°.
      {MER(-10 * D, 0, 5 * D, D), MER(5 * D, 0, 5 * D, D), MER(-10 * D, 0, 20 * D, D)},
      // The first contains the second.
      {MER(-50 * D, 0, 100 * D, D), MER(10 * D, 0, 5 * D, D), MER(-50 * D, 0, 100 * D, D)},
      // The second wraps across 180° far enough to cover the first.
      {MER(100 * D, 0, 150 * D, D), MER(-120 * D, 0, 10 * D, D), MER(100 * D, 0, 150 * D, D)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MERUnion(c.a, c.b), c.expected)
        << c.a.iLongX << "," << c.a.iWidthX << " + " << c.b.iLongX << "," << c.b.iWidthX;
  }
  // Hostile extents saturate instead of wrapping around.
  const TMER huge = MERUnion(MER(-900000000, 0, 2147483647, 5), MER(900000000, 0, 2147483647, 5));
  EXPECT_GE(huge.iWidthX, 0);
}

TEST(Geometry, PointsBoundsAndPointNearSegment) {
  const TPoint pts[] = {{5, -2}, {-3, 7}, {4, 4}};
  EXPECT_EQ(PointsBounds(pts), (TRect{-3, -2, 5, 7}));

  EXPECT_TRUE(PointNearSegment(5, 0, 0, 0, 10, 0, 1));
  EXPECT_FALSE(PointNearSegment(5, 0, 0, 0, 10, 0, 0));  // strictly less
  EXPECT_TRUE(PointNearSegment(5, 2, 0, 0, 10, 0, 3));
  EXPECT_FALSE(PointNearSegment(5, 3, 0, 0, 10, 0, 3));
  EXPECT_FALSE(PointNearSegment(11, 0, 0, 0, 10, 0, 5));  // beyond the end
  EXPECT_FALSE(PointNearSegment(0, 0, 4, 4, 4, 4, 5));    // zero length
  EXPECT_TRUE(PointNearSegment(2147483647, 0, -2147483647 - 1, 0, 2147483647, 0, 1));
}

TEST(Files, IsDirectory) {
  EXPECT_TRUE(IsDirectory(platform::Utf8Path(std::filesystem::temp_directory_path())));
  EXPECT_FALSE(IsDirectory("/no/such/folder/here"));
  EXPECT_FALSE(IsDirectory(ORVANE_TEST_DATA_DIR "/../core/units_test.cpp"));
}

}  // namespace
}  // namespace globe
