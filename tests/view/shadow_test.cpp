#include "globe/view/shadow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <map>
#include <numbers>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "globe/core/texture.h"
#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projection.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"
#include "platform/recording.h"
#include "tests/support/testglobe.h"

namespace globe::testing {
namespace {

using platform::TColor;
constexpr std::int32_t D = GU_DEGREE;
constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kGrey = 0x808080;
constexpr TColor kSilver = 0xC0C0C0;
constexpr TColor kNightOnWhite = 0xBFBFBF;     // half way, −63.5 rounded to −64
constexpr TColor kTwilightOnWhite = 0xEFEFEF;  // a quarter of the way, −15.75 to −16

double Degrees(std::int32_t gu) { return static_cast<double>(gu) / D; }

// ---- The sub-solar point ----------------------------------------------------------------

TEST(SubSolarPoint, DateTimesCountDaysFromTheClassicEpoch) {
  EXPECT_EQ(EncodeGMTDateTime(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeGMTDateTime(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeGMTDateTime(2000, 1, 1, 12), 36526.5);
  EXPECT_EQ(EncodeGMTDateTime(1899, 12, 29, 6), -1.25);  // the fraction counts forward
  using namespace std::chrono;
  EXPECT_EQ(GMTDateTimeOf(sys_days{year{2000} / 1 / 1} + hours{18}), 36526.75);
  EXPECT_EQ(GMTDateTimeOf(sys_days{year{1899} / 12 / 29} + hours{6}), -1.25);
}

TEST(SubSolarPoint, TimesBeyondTheDayMoveTheDateFirst) {
  // Expected values from Python's datetime (the date plus a timedelta, then days since
  // 1899-12-30 with the fraction's sign following the day's): before the epoch the fraction
  // is that of the day the time falls on.
  struct {
    std::int32_t Year;
    std::uint32_t Month, Day;
    std::int32_t Hour, Minute;
    double Expected;
  } const cases[] = {
      {1899, 12, 28, 0, 1500, -1.0416666666666667},   // 1899-12-29 01:00
      {1899, 12, 29, 0, 1800, 0.25},                  // 1899-12-30 06:00, across the epoch
      {1899, 12, 29, -6, 0, -2.75},                   // 1899-12-28 18:00
      {1800, 1, 1, 23, 90, -36521.020833333336},      // 1800-01-02 00:30
      {2000, 1, 1, 0, -30, 36525.979166666664},       // 1999-12-31 23:30
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeGMTDateTime(c.Year, c.Month, c.Day, c.Hour, c.Minute), c.Expected)
        << c.Year << "-" << c.Month << "-" << c.Day << " " << c.Hour << ":" << c.Minute;
  }
}

TEST(SubSolarPoint, AgreesWithNoaaFormulasFrom1900To2100) {
  // tests/data/sun/subsolar.csv: NOAA's solar calculator formulas written out in Python
  // (make.py there), at fixed instants (solstices, equinoxes, the extremes of the equation of
  // time, a year boundary) and a seeded sample of the two centuries.
  std::ifstream file(ORVANE_TEST_DATA_DIR "/sun/subsolar.csv");
  ASSERT_TRUE(file) << "subsolar.csv";
  std::string line;
  int rows = 0;
  double worst = 0;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    std::string utc, days, lat, lon;
    std::getline(in, utc, ',');
    std::getline(in, days, ',');
    std::getline(in, lat, ',');
    std::getline(in, lon, ',');
    const TPointLL p = SubSolarPoint(std::stod(days));
    const double dLat = Degrees(p.iLatY) - std::stod(lat);
    double dLon = Degrees(p.iLongX) - std::stod(lon);
    dLon -= 360 * std::round(dLon / 360);
    EXPECT_LT(std::fabs(dLat), 0.01) << utc;
    EXPECT_LT(std::fabs(dLon), 0.01) << utc;
    EXPECT_EQ(p.iHeightZ, 0);
    worst = std::max({worst, std::fabs(dLat), std::fabs(dLon)});
    ++rows;
  }
  EXPECT_GT(rows, 50);
  RecordProperty("worst_degrees", std::to_string(worst));
}

TEST(SubSolarPoint, RunsOnSmoothlyAcrossMidnightTheYearAndTheEpoch) {
  // Ten minutes move the sun 2.5° westwards and little in latitude; before the epoch the
  // date-time's fraction counts forwards from midnight.
  struct {
    double Before, After;
  } const steps[] = {
      {EncodeGMTDateTime(2023, 12, 31, 23, 55), EncodeGMTDateTime(2024, 1, 1, 0, 5)},
      {EncodeGMTDateTime(1899, 12, 29, 23, 55), EncodeGMTDateTime(1899, 12, 30, 0, 5)},
      {EncodeGMTDateTime(1899, 12, 29, 5, 55), EncodeGMTDateTime(1899, 12, 29, 6, 5)},
  };
  for (const auto& s : steps) {
    const TPointLL a = SubSolarPoint(s.Before), b = SubSolarPoint(s.After);
    std::int64_t west = std::int64_t{a.iLongX} - b.iLongX;
    if (west < 0) west += GU_360_DEGREE;
    EXPECT_NEAR(static_cast<double>(west) / D, 2.5, 0.002) << s.Before;
    EXPECT_LT(std::abs(a.iLatY - b.iLatY), D / 100) << s.Before;
  }
}

TEST(SubSolarPoint, OutlandishTimesGiveAPointOnTheEarth) {
  for (double t :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
    const TPointLL p = SubSolarPoint(t);
    EXPECT_LE(std::abs(p.iLongX), GU_180_DEGREE) << t;
    EXPECT_LE(std::abs(p.iLatY), 24 * D) << t;
  }
}

TEST(DayNightClass, ByTheAngleFromTheSun) {
  const TPointLL sun{0, 0, 0};
  // Along the equator, degrees away from the sun: day up to the horizon, twilight to about
  // 6° below it, then night.
  const std::map<int, std::int32_t> cases{{0, 1},  {89, 1},  {90, 3},  {95, 3},
                                          {97, 2}, {180, 2}, {-90, 3}, {-97, 2}};
  for (const auto& [away, expected] : cases)
    EXPECT_EQ(DayNightClass({away * D, 0, 0}, sun), expected) << away;
  EXPECT_EQ(DayNightClass({0, -GU_90_DEGREE, 0}, {0, 23 * D, 0}), 2);  // polar night
}

TEST(TerminatorCrossings, OnTheShortTheLongWayAndTheWholeCircle) {
  // Along the equator from 60° W to 60° E (the short way through 0°); the sun over 40° E
  // puts the terminator through 50° W and 130° E.
  const TPointLL from{-60 * D, 0, 0}, to{60 * D, 0, 0}, sun{40 * D, 0, 0};
  struct {
    TGreatCircle Way;
    std::vector<std::int32_t> Longitudes;
  } const cases[] = {
      {gcShortest, {-50 * D}},
      {gcLongest, {130 * D}},
      {gcCircle, {-50 * D, 130 * D}},
  };
  for (const auto& c : cases) {
    const std::vector<TPointLL> got = TerminatorCrossings(from, to, sun, c.Way);
    ASSERT_EQ(got.size(), c.Longitudes.size()) << int{c.Way};
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_NEAR(got[i].iLongX, c.Longitudes[i], 2) << int{c.Way} << " " << i;
      EXPECT_NEAR(got[i].iLatY, 0, 2);
    }
  }
  // The short way of the other direction meets the same point; a sun in the day-side middle
  // of the path leaves the short way without a crossing.
  EXPECT_EQ(TerminatorCrossings(to, from, sun, gcShortest).size(), 1u);
  EXPECT_TRUE(TerminatorCrossings(from, to, {0, 0, 0}, gcShortest).empty());
  EXPECT_EQ(TerminatorCrossings(from, to, {0, 0, 0}, gcLongest).size(), 2u);
  // A slanted path: London to New York in the December evening crosses once, in between.
  const TPointLL london{static_cast<std::int32_t>(-0.13 * D), static_cast<std::int32_t>(51.5 * D),
                        0};
  const TPointLL newYork{-74 * D, static_cast<std::int32_t>(40.7 * D), 0};
  const TPointLL evening = SubSolarPoint(EncodeGMTDateTime(2026, 12, 10, 18));
  const std::vector<TPointLL> cross = TerminatorCrossings(london, newYork, evening, gcShortest);
  ASSERT_EQ(cross.size(), 1u);
  EXPECT_NEAR(SunElevationSine(cross[0], evening), 0, 1e-6);
  EXPECT_LT(cross[0].iLongX, london.iLongX);
  EXPECT_GT(cross[0].iLongX, newYork.iLongX);
  // Undefined paths.
  EXPECT_TRUE(TerminatorCrossings(from, from, sun, gcCircle).empty());
  EXPECT_TRUE(TerminatorCrossings({0, 0, 0}, {GU_180_DEGREE, 0, 0}, sun, gcCircle).empty());
}

// ---- Shading ----------------------------------------------------------------------------

class ShadowTest : public ::testing::Test {
 protected:
  TTestGlobe globe;
  TGlobeCanvas& canvas = globe.GlobeCanvas();
  TGlobeProjection& P = globe.Projection();
  // The March equinox at noon: the sun near (0°, 0°), the terminator near ±90°.
  const double equinox = EncodeGMTDateTime(2024, 3, 20, 12);

  static TShadowStyle Bands(std::int32_t Density) { return {kGrey, kSilver, smBands, Density}; }

  void Picture(std::int32_t W, std::int32_t H, TColor Fill) {
    globe.SetClientSize(W, H);
    canvas.SizeBMP(W, H, 96);
    Paint(Fill);
  }
  void Paint(TColor Fill) {
    for (std::int32_t y = 0; y < canvas.Bitmap()->Height(); ++y) {
      for (std::int32_t x = 0; x < canvas.Bitmap()->Width(); ++x) {
        std::uint8_t* p = canvas.Bitmap()->ScanLine(y) + platform::TBitmap::kPixelBytes * x;
        p[0] = platform::GetBValue(Fill);
        p[1] = platform::GetGValue(Fill);
        p[2] = platform::GetRValue(Fill);
      }
    }
  }
  /// The whole earth on 360 × 180 pixels, Scale pixels a degree, centred on (Long, 0).
  void FlatMap(const char* Class, double Scale, std::int32_t W, std::int32_t H, double Long) {
    Picture(W, H, kWhite);
    P.SetProjectionClass(Class);
    P.SetCentralMeridian(Long);
    P.SetScaleFactor(Scale / D);
    P.SetXOrigin(W / 2);
    P.SetYOrigin(H / 2);
  }
  void Sphere(std::int32_t Size, Extended Radius, double Long) {
    Picture(Size, Size, kWhite);
    P.SetProjectionClass("TSphericalPrj");
    P.SetXRotation(0);
    P.SetYRotation(Long);
    P.SetScaleFactor(Radius / GU_EARTH_RADIUS);
    P.SetXOrigin(Size / 2);
    P.SetYOrigin(Size / 2);
  }

  /// The class of a pixel by the model's own inverse projection.
  std::int32_t ClassAt(std::int32_t x, std::int32_t y, const TPointLL& Sun) {
    if (!P.ProjectionModel().XYToLL(x, y, 0)) return 0;
    const TPoint p = DevicePoints()[0];
    return DayNightClass({p.X, p.Y, 0}, Sun);
  }
  static bool Sampled(std::int32_t x, std::int32_t y, std::int32_t Dn) {
    if (y % Dn != 0) return false;
    const std::int32_t start = (y / Dn) % 2 ? Dn / 2 : 0;
    return x >= start && (x - start) % Dn == 0;
  }

  struct TTally {
    int Night = 0, Twilight = 0;
    /// Night or twilight pixels that the scan passed over: a run between two samples of
    /// one class is filled without testing, so a region narrower than a run can be missed.
    std::vector<TPoint> Missed;
  };
  /// Checks every pixel of the white picture: blended by its class where the scan shaded
  /// it, white where the scan does not reach, never blended by a wrong class.
  TTally CheckBlended(const TPointLL& Sun, std::int32_t Dn) {
    TTally tally;
    for (std::int32_t y = 0; y < canvas.CanvasHeight(); ++y) {
      for (std::int32_t x = 0; x < canvas.CanvasWidth(); ++x) {
        const std::int32_t c = Sampled(x, y, Dn) ? ClassAt(x, y, Sun) : 1;
        const TColor got = canvas.Bitmap()->Pixel(x, y);
        if (c >= 2 && got == kWhite) {
          tally.Missed.push_back({x, y});
          continue;
        }
        const TColor want = c == 2 ? kNightOnWhite : c == 3 ? kTwilightOnWhite : kWhite;
        if (got != want) {
          ADD_FAILURE() << "pixel " << x << ", " << y << ": " << std::hex << got << " for class "
                        << c;
          return tally;
        }
        tally.Night += c == 2;
        tally.Twilight += c == 3;
      }
    }
    return tally;
  }
  /// The misses lie at the disc's rim, where its rows are shorter than a run.
  void ExpectMissesAtTheRim(const std::vector<TPoint>& Missed, double Radius) {
    for (const TPoint& p : Missed) {
      EXPECT_GT(std::hypot(p.X - P.XOrigin(), p.Y - P.YOrigin()), Radius - 3) << p.X << ", " << p.Y;
    }
  }
};

TEST_F(ShadowTest, BlendsEveryPixelByItsClassOnFlatMaps) {
  // A band 40° wide across the morning terminator, 4 pixels a degree. The first column is
  // night: it is blended once, although the scan samples it twice.
  for (const char* model : {"TCartesianPrj", "TMercatorPrj"}) {
    SCOPED_TRACE(model);
    FlatMap(model, 4, 160, 120, -95);
    const TPointLL sun = RenderDIBShadow(globe, equinox, Bands(1));
    EXPECT_EQ(sun, SubSolarPoint(equinox));
    ASSERT_EQ(ClassAt(0, 60, sun), 2);
    const TTally t = CheckBlended(sun, 1);
    EXPECT_EQ(t.Missed.size(), 0u);
    EXPECT_GT(t.Night, 1000);
    EXPECT_GT(t.Twilight, 1000);
  }
}

TEST_F(ShadowTest, SphereShadesOnlyTheDisc) {
  Sphere(200, 90, 90);  // the evening terminator runs down the middle
  const TPointLL sun = RenderDIBShadow(globe, equinox, Bands(1));
  const TTally t = CheckBlended(sun, 1);
  EXPECT_GT(t.Night, 5000);
  EXPECT_GT(t.Twilight, 500);
  EXPECT_LT(t.Missed.size(), 20u);
  ExpectMissesAtTheRim(t.Missed, 90);
  EXPECT_EQ(canvas.Bitmap()->Pixel(2, 2), kWhite);
  EXPECT_EQ(canvas.Bitmap()->Pixel(197, 100), kWhite);  // beside the disc, on the night side
}

TEST_F(ShadowTest, DensityShadesEveryNthRowAndColumnWithAlternateRowsShifted) {
  for (const std::int32_t dn : {2, 3, 7}) {
    SCOPED_TRACE(dn);
    FlatMap("TCartesianPrj", 4, 160, 120, -95);
    const TPointLL sun = RenderDIBShadow(globe, equinox, Bands(dn));
    const TTally t = CheckBlended(sun, dn);
    EXPECT_EQ(t.Missed.size(), 0u);
    EXPECT_GT(t.Night, 0);
    EXPECT_GT(t.Twilight, 0);
  }
}

TEST_F(ShadowTest, BlendRoundsHalvesAwayFromZeroPerChannel) {
  // Whole map in deep night at midnight over the centre; one colour per channel.
  // The bands and the ramp's full night alike.
  for (const TShadowMode mode : {smBands, smBlend}) {
    FlatMap("TCartesianPrj", 1, 20, 10, 180);
    Paint(platform::RGB(0xFF, 0x00, 0x81));
    RenderDIBShadow(globe, equinox, {platform::RGB(0x80, 0x03, 0x00), kSilver, mode, 1});
    // Red −127/2 → −64; green +3/2 → +2; blue −129/2 → −65.
    EXPECT_EQ(canvas.Bitmap()->Pixel(10, 5), platform::RGB(0xBF, 0x02, 0x40)) << int{mode};
  }
}

// ---- The ramp and the night lights ------------------------------------------------------

/// An uncompressed 8-bit bitmap file image of the whole earth, W × H texels, black but for
/// the texels whose (column, row from the top) Lit names, in palette colour 1.
std::vector<std::uint8_t> LightsPicture(int W, int H, TColor Light,
                                        std::vector<std::pair<int, int>> Lit) {
  const int stride = (W + 3) / 4 * 4;
  std::vector<std::uint8_t> b(1078 + static_cast<std::size_t>(stride * H));
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<std::uint32_t>(b.size()));
  put32(10, 1078);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(W));
  put32(22, static_cast<std::uint32_t>(H));
  b[26] = 1;
  b[28] = 8;
  put32(34, static_cast<std::uint32_t>(stride * H));
  b[58] = platform::GetBValue(Light);
  b[59] = platform::GetGValue(Light);
  b[60] = platform::GetRValue(Light);
  for (const auto& [u, v] : Lit) b[1078 + static_cast<std::size_t>((H - 1 - v) * stride + u)] = 1;
  return b;
}

class RampTest : public ShadowTest {
 protected:
  /// The pixel of row y whose sun altitude comes nearest to Degrees.
  std::int32_t ColumnAtAltitude(std::int32_t y, const TPointLL& Sun, double Degrees) {
    std::int32_t best = -1;
    double bestError = 1;
    for (std::int32_t x = 0; x < canvas.CanvasWidth(); ++x) {
      if (!P.ProjectionModel().XYToLL(x, y, 0)) continue;
      const TPoint p = DevicePoints()[0];
      const double error = std::fabs(SunElevationSine({p.X, p.Y, 0}, Sun) -
                                     std::sin(Degrees * std::numbers::pi / 180));
      if (error < bestError) {
        bestError = error;
        best = x;
      }
    }
    return best;
  }
};

TEST_F(RampTest, ShadesByTheSunsAltitude) {
  // Along the equator from 85° to 135° east of the sun at the equinox, 8 pixels a degree, on
  // white. The ramp is linear in the sun's depression from the horizon to 18° below; the
  // blend passes a quarter of the way to silver at 6° below and ends half way to grey, the
  // darkening multiplies by its night colour (a quarter here).
  struct {
    TShadowMode Mode;
    double Altitude;
    int Expected, Tolerance;  // grey level
  } const cases[] = {
      {smBlend, 0.5, 0xFF, 0},    {smBlend, -3, 0xF7, 2},    {smBlend, -6, 0xEF, 1},
      {smBlend, -12, 0xD7, 2},    {smBlend, -18.5, 0xBF, 0}, {smBlend, -40, 0xBF, 0},
      {smDarken, 0.5, 0xFF, 0},   {smDarken, -6, 191, 2},    {smDarken, -9, 159, 2},
      {smDarken, -18.5, 0x40, 0}, {smDarken, -40, 0x40, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mode " << int{c.Mode} << " at " << c.Altitude << "°");
    FlatMap("TCartesianPrj", 8, 400, 16, 112);
    const TColor night = c.Mode == smBlend ? kGrey : platform::RGB(0x40, 0x40, 0x40);
    const TPointLL sun = RenderDIBShadow(globe, equinox, {night, kSilver, c.Mode, 1});
    const std::int32_t x = ColumnAtAltitude(8, sun, c.Altitude);
    ASSERT_GE(x, 0);
    const TColor got = canvas.Bitmap()->Pixel(x, 8);
    EXPECT_NEAR(platform::GetRValue(got), c.Expected, c.Tolerance);
    EXPECT_EQ(platform::GetRValue(got), platform::GetBValue(got));
  }
}

TEST_F(RampTest, DarkeningKeepsNightDarkerThanDayOnADarkPicture) {
  // A night ocean on a dark texture: blending towards grey would lighten it.
  constexpr TColor kOcean = platform::RGB(10, 30, 70);
  FlatMap("TCartesianPrj", 1, 360, 180, 0);
  Paint(kOcean);
  const TPointLL sun =
      RenderDIBShadow(globe, equinox, {platform::RGB(0x30, 0x38, 0x58), kSilver, smDarken, 1});
  for (std::int32_t y = 0; y < 180; y += 7) {
    for (std::int32_t x = 0; x < 360; x += 3) {
      const TColor got = canvas.Bitmap()->Pixel(x, y);
      EXPECT_LE(platform::GetRValue(got), 10);
      EXPECT_LE(platform::GetGValue(got), 30);
      EXPECT_LE(platform::GetBValue(got), 70);
    }
  }
  const std::int32_t night = ColumnAtAltitude(90, sun, -30);
  EXPECT_EQ(canvas.Bitmap()->Pixel(night, 90), platform::RGB(2, 7, 24));
}

TEST_F(RampTest, NightLightsShowByTheRampAndNotAcrossTheSeam) {
  // 10° texels, lit: 170°–180° E, 100°–110° E and 40°–50° E, by 0°–10° N. The map is
  // centred on 180°, so the picture's seam runs down its middle; the sun is near 2° E. On
  // black, darkening leaves black, so what shows is the lights alone.
  constexpr TColor kLight = platform::RGB(0xFF, 0xE0, 0x80);
  TTextureData lights;
  lights.LoadFromStream(LightsPicture(36, 18, kLight, {{35, 8}, {28, 8}, {22, 8}}));
  ASSERT_TRUE(lights.IsValid());
  FlatMap("TCartesianPrj", 4, 1440, 720, 180);
  Paint(0);
  TShadowStyle style{platform::RGB(0x40, 0x40, 0x40), kSilver, smDarken, 1};
  style.NightLights = &lights;
  const TPointLL sun = RenderDIBShadow(globe, equinox, style);
  auto at = [&](double Long, double Lat) {
    TPoint p;
    EXPECT_TRUE(P.PointLLToXY(
        {static_cast<std::int32_t>(Long * D), static_cast<std::int32_t>(Lat * D), 0}, p));
    return canvas.Bitmap()->Pixel(p.X, p.Y);
  };
  EXPECT_EQ(at(177, 7), kLight);    // full night
  EXPECT_EQ(at(179.6, 7), kLight);  // the last pixels before the seam
  EXPECT_EQ(at(-179.6, 7), 0u);     // and the first after it
  EXPECT_EQ(at(-175, 7), 0u);
  EXPECT_EQ(at(45, 7), 0u);  // lit, but in daylight
  // About 103° from the sun, some 13° down: that share of the ramp.
  const double share = SunElevationSine({105 * D, 7 * D, 0}, sun) /
                       -std::sin(SHADOW_RAMP_DEGREES * std::numbers::pi / 180);
  ASSERT_GT(share, 0.5);
  ASSERT_LT(share, 0.9);
  const TColor partial = at(105, 7);
  EXPECT_NEAR(platform::GetRValue(partial), 255 * share, 3);
  EXPECT_NEAR(platform::GetBValue(partial), 0x80 * share, 3);
}

TEST_F(RampTest, DarkeningLeavesEachPixelsFourthByteAlone) {
  // The fourth byte belongs to no colour: whole-pixel shading must neither darken it nor
  // add the lights' palette entries into it, whose fourth byte a file may well set.
  std::vector<std::uint8_t> file =
      LightsPicture(36, 18, platform::RGB(0xFF, 0xE0, 0x80), {{20, 8}, {21, 8}, {22, 9}, {30, 4}});
  file[57] = 0xFF;  // the palette entries' reserved bytes
  file[61] = 0x7F;
  TTextureData lights;
  lights.LoadFromStream(file);
  ASSERT_TRUE(lights.IsValid());
  for (const char* model : {"TCartesianPrj", "TSphericalPrj"}) {
    SCOPED_TRACE(model);
    if (model[1] == 'C')
      FlatMap(model, 1, 360, 180, 0);
    else
      Sphere(200, 90, 60);
    Paint(platform::RGB(0xC0, 0x90, 0x60));
    auto fourth = [&](std::int32_t x, std::int32_t y) {
      return static_cast<std::uint8_t>((x * 7 + y * 13) & 0xFF);
    };
    platform::TBitmap& bitmap = *canvas.Bitmap();
    for (std::int32_t y = 0; y < bitmap.Height(); ++y)
      for (std::int32_t x = 0; x < bitmap.Width(); ++x)
        bitmap.ScanLine(y)[platform::TBitmap::kPixelBytes * x + 3] = fourth(x, y);
    TShadowStyle style{platform::RGB(0x30, 0x38, 0x58), kSilver, smDarken, 1};
    style.NightLights = &lights;
    RenderDIBShadow(globe, equinox, style);
    int shaded = 0;
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
      for (std::int32_t x = 0; x < bitmap.Width(); ++x) {
        const std::uint8_t* p = bitmap.ScanLine(y) + platform::TBitmap::kPixelBytes * x;
        ASSERT_EQ(p[3], fourth(x, y)) << x << ", " << y;
        shaded += p[0] != 0x60;
      }
    }
    EXPECT_GT(shaded, bitmap.Width() * bitmap.Height() / 8);
  }
}

TEST_F(RampTest, SphereRimIsShadedOnlyWhereTheModelFindsTheEarth) {
  // The earth fitted to a window of 1200 pixels has a radius a hair under 600: pixels such
  // as (−480, 360) from the centre lie beyond the rim by less than a double's rounding of
  // the radius squared, which rounded up would shade them. The sun stands over one limb,
  // so the other half of the rim is night. (Rim pixels may be passed over where a row is
  // shorter than a run.)
  for (const TShadowMode mode : {smBands, smBlend}) {
    SCOPED_TRACE(int{mode});
    Sphere(1200, 600, 90);
    P.SetScaleFactor(0);  // fitted to the window
    RenderDIBShadow(globe, equinox, {kGrey, kSilver, mode, 1});
    int onRim = 0;
    for (std::int32_t y = 0; y < 1200; ++y) {
      for (std::int32_t x = 0; x < 1200; ++x) {
        if (std::fabs(std::hypot(x - 600, y - 600) - 600) > 1.5) continue;
        const bool on = P.ProjectionModel().XYToLL(x, y, 0);
        onRim += on;
        if (!on) {
          EXPECT_EQ(canvas.Bitmap()->Pixel(x, y), kWhite) << x << ", " << y;
        }
      }
    }
    EXPECT_GT(onRim, 1000);
  }
}

TEST_F(RampTest, SphereShadesTheDiscOnlyAndEveryDeepNightPixel) {
  Sphere(200, 90, 90);
  const TPointLL sun = RenderDIBShadow(globe, equinox, {kGrey, kSilver, smDarken, 1});
  int night = 0;
  std::vector<TPoint> missed;
  for (std::int32_t y = 0; y < 200; ++y) {
    for (std::int32_t x = 0; x < 200; ++x) {
      const TColor got = canvas.Bitmap()->Pixel(x, y);
      if (!P.ProjectionModel().XYToLL(x, y, 0)) {
        EXPECT_EQ(got, kWhite) << x << ", " << y;
        continue;
      }
      const TPoint p = DevicePoints()[0];
      const double d = SunElevationSine({p.X, p.Y, 0}, sun);
      if (d > 0.002) {
        EXPECT_EQ(got, kWhite) << x << ", " << y;
      } else if (d < -0.32) {
        if (got == kWhite) {
          missed.push_back({x, y});
        } else {
          EXPECT_EQ(got, platform::RGB(0x80, 0x80, 0x80)) << x << ", " << y;
          ++night;
        }
      }
    }
  }
  EXPECT_GT(night, 5000);
  EXPECT_LT(missed.size(), 20u);
  ExpectMissesAtTheRim(missed, 90);
}

TEST_F(RampTest, TiltedSphereShadesEveryPixelByItsOwnAltitudeAndLights) {
  // The sphere samples the sun without the inverse projection: every pixel of a tilted,
  // turned view must still match the ramp at its own geographic point, and the lights'
  // texel under it (a checkerboard of 10° texels, so that a misplaced texel shows).
  std::vector<std::pair<int, int>> lit;
  for (int v = 0; v < 18; ++v)
    for (int u = 0; u < 36; ++u)
      if ((u + v) % 2 == 0) lit.emplace_back(u, v);
  constexpr TColor kLight = platform::RGB(0xFF, 0xC0, 0x60);
  TTextureData lights;
  lights.LoadFromStream(LightsPicture(36, 18, kLight, lit));
  ASSERT_TRUE(lights.IsValid());
  const double solstice = EncodeGMTDateTime(2026, 12, 21, 17, 40);
  for (const bool withLights : {false, true}) {
    SCOPED_TRACE(withLights ? "darkening with lights on black" : "blend on white");
    Sphere(240, 110, -40);
    P.SetXRotation(35);
    P.SetZRotation(20);
    TShadowStyle style{withLights ? 0 : kGrey, kSilver, withLights ? smDarken : smBlend, 1};
    if (withLights) {
      Paint(0);
      style.NightLights = &lights;
    }
    const TPointLL sun = RenderDIBShadow(globe, solstice, style);
    const double ramp = std::sin(SHADOW_RAMP_DEGREES * std::numbers::pi / 180);
    const double knot = std::sin(6 * std::numbers::pi / 180) / ramp;
    auto texel = [&](std::int32_t x, std::int32_t y) {
      if (!P.ProjectionModel().XYToLL(x, y, 0)) return -1;
      const TPoint t = lights.LLToTextureXY({DevicePoints()[0].X, DevicePoints()[0].Y, 0});
      return (t.X + t.Y) % 2;
    };
    int checked = 0, shaded = 0, otherTexel = 0;
    for (std::int32_t y = 0; y < 240; ++y) {
      for (std::int32_t x = 0; x < 240; ++x) {
        if (std::hypot(x - 120, y - 120) > 107) continue;  // the rim is sampled pixel by pixel
        ASSERT_TRUE(P.ProjectionModel().XYToLL(x, y, 0));
        const TPoint p = DevicePoints()[0];
        const double t = std::clamp(-SunElevationSine({p.X, p.Y, 0}, sun) / ramp, 0.0, 1.0);
        const TColor got = canvas.Bitmap()->Pixel(x, y);
        double want = 0;
        if (!withLights) {
          want = t < knot ? 255 - 16 * t / knot : 239 - 48 * (t - knot) / (1 - knot);
        } else {
          const int here = texel(x, y);
          // Near a texel border the lights' position, interpolated between samples, may
          // land in the neighbouring texel.
          if (here != texel(x - 1, y) || here != texel(x + 1, y) || here != texel(x, y - 1) ||
              here != texel(x, y + 1))
            continue;
          want = here == 1 ? 255 * t : 0;  // texture rows count from the bottom
          if (t > 0 && (platform::GetRValue(got) == 0) != (want < 1)) {
            ++otherTexel;
            continue;
          }
        }
        ++checked;
        shaded += t > 0;
        ASSERT_NEAR(platform::GetRValue(got), want, 2) << x << ", " << y << " at t " << t;
      }
    }
    EXPECT_GT(checked, 20000);
    EXPECT_GT(shaded, 3000);
    // The lights' position is interpolated between samples to within 3/4 of a texel, from
    // samples placed between texels as exactly as the pixels are: hardly a shaded pixel
    // away from a texel border shows the neighbouring one (samples rounded to whole texels
    // showed it at some 7 % of them).
    EXPECT_LT(otherTexel, shaded / 100);
  }
}

TEST_F(RampTest, DensityShadesOnlyTheSampledPixels) {
  FlatMap("TCartesianPrj", 4, 160, 120, -95);
  const TPointLL sun = RenderDIBShadow(globe, equinox, {kGrey, kSilver, smBlend, 3});
  int shaded = 0;
  for (std::int32_t y = 0; y < 120; ++y) {
    for (std::int32_t x = 0; x < 160; ++x) {
      const bool deep = ClassAt(x, y, sun) == 2 && canvas.Bitmap()->Pixel(x, y) != kWhite;
      if (!Sampled(x, y, 3)) {
        EXPECT_EQ(canvas.Bitmap()->Pixel(x, y), kWhite) << x << ", " << y;
      } else {
        shaded += deep;
      }
    }
  }
  EXPECT_GT(shaded, 300);
}

TEST_F(ShadowTest, MovedOnceTheTerminatorShiftsByAPixel) {
  // The sun turns by 0.25° a minute. Sphere of radius 500: a pixel is 0.115°, some 28 s;
  // plate carrée at 8 pixels a degree: 30 s; other maps count a quarter of that.
  struct {
    const char* Model;
    double Seconds;
    bool Moved;
  } const cases[] = {
      {"TSphericalPrj", 0, false},  {"TSphericalPrj", 20, false}, {"TSphericalPrj", 40, true},
      {"TSphericalPrj", -40, true}, {"TCartesianPrj", 20, false}, {"TCartesianPrj", 40, true},
      {"TMercatorPrj", 5, false},   {"TMercatorPrj", 10, true},
  };
  const double noon = EncodeGMTDateTime(2026, 12, 10, 12);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Model << " after " << c.Seconds << " s");
    // Only the scale matters, not the picture's size.
    if (std::string(c.Model) == "TSphericalPrj") {
      Sphere(16, 500, 0);
    } else {
      FlatMap(c.Model, 8, 16, 16, 0);
    }
    EXPECT_EQ(ShadowMoved(globe, SubSolarPoint(noon), noon + c.Seconds / 86400), c.Moved);
  }
}

TEST_F(ShadowTest, WithoutAPictureNothingIsDrawnAndTheSunIsStillFound) {
  EXPECT_EQ(canvas.Bitmap(), nullptr);
  EXPECT_EQ(RenderDIBShadow(globe, equinox, kGrey, kSilver, 1), SubSolarPoint(equinox));
  EXPECT_EQ(RenderDIBShadow(globe, equinox, Bands(1)), SubSolarPoint(equinox));
  EXPECT_EQ(RenderShadow(globe, equinox, kGrey, kSilver, 1), SubSolarPoint(equinox));
}

TEST_F(ShadowTest, DeviceShadowSetsPixelsInTheClassColours) {
  platform::TRecordingDevice device;
  canvas.SetDC(&device);
  for (const std::int32_t dn : {1, 3}) {
    SCOPED_TRACE(dn);
    device.Calls.clear();
    Sphere(120, 50, 90);
    const TPointLL sun = RenderShadow(globe, equinox, kGrey, kSilver, dn);
    std::map<std::pair<std::int32_t, std::int32_t>, TColor> set;
    for (const platform::TRecordedCall* c : device.CallsNamed("SetPixel")) {
      const TPoint p = c->Points.at(0);
      set[{p.X, p.Y}] = static_cast<TColor>(c->Value);
    }
    int shaded = 0;
    std::vector<TPoint> missed;
    for (std::int32_t y = 0; y < 120; ++y) {
      for (std::int32_t x = 0; x < 120; ++x) {
        const std::int32_t cls = Sampled(x, y, dn) ? ClassAt(x, y, sun) : 1;
        const auto it = set.find({x, y});
        if (cls >= 2 && it == set.end()) {
          missed.push_back({x, y});
        } else if (cls >= 2) {
          ++shaded;
          EXPECT_EQ(it->second, cls == 2 ? kGrey : kSilver) << x << ", " << y;
        } else {
          EXPECT_EQ(it, set.end()) << x << ", " << y;
        }
      }
    }
    EXPECT_GT(shaded, 2000 / (dn * dn));
    EXPECT_LT(missed.size(), 20u);
    ExpectMissesAtTheRim(missed, 50);
  }
  canvas.SetDC(nullptr);
}

}  // namespace
}  // namespace globe::testing
