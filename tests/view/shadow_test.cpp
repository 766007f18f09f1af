#include "globe/view/shadow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <tuple>
#include <vector>

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

TEST(SubSolarPoint, LongitudeFollowsTheTimeOfDayInArcMinutes) {
  struct {
    int Hour, Minute;
    double Second;
    std::int32_t Long;
  } const cases[] = {
      {12, 0, 0, 0},
      {0, 0, 0, GU_180_DEGREE},
      {6, 0, 0, 90 * D},
      {18, 0, 0, -90 * D},
      {12, 0, 2, 0},                  // 10,800.5 arc-minutes rounds to even
      {12, 0, 6, -2 * GU_MINUTE},     // 10,801.5 likewise, upwards
      {23, 59, 59.9, GU_180_DEGREE},  // 86,400 s: a whole turn
  };
  for (const auto& c : cases) {
    const TPointLL p = SubSolarPoint(EncodeGMTDateTime(2023, 3, 1, c.Hour, c.Minute, c.Second));
    EXPECT_EQ(p.iLongX, c.Long) << c.Hour << ":" << c.Minute << ":" << c.Second;
    EXPECT_EQ(p.iHeightZ, 0);
  }
  EXPECT_EQ(SubSolarPoint(-1.25).iLongX, 90 * D);  // 29 December 1899, 06:00
}

TEST(SubSolarPoint, LatitudeFollowsTheDeclinationFromTheDecemberSolstice) {
  const double dec21 = Degrees(SubSolarPoint(EncodeGMTDateTime(2023, 12, 21, 12)).iLatY);
  EXPECT_NEAR(dec21, -23.44, 0.01);
  EXPECT_NEAR(Degrees(SubSolarPoint(EncodeGMTDateTime(2023, 12, 21, 12) + 182).iLatY), 23.43, 0.01);
  EXPECT_NEAR(Degrees(SubSolarPoint(EncodeGMTDateTime(2024, 3, 20, 12)).iLatY), 0, 1);
  // Across the year boundary and the solstice the day count runs on without a jump.
  double previous = Degrees(SubSolarPoint(EncodeGMTDateTime(2023, 12, 15, 12)).iLatY);
  for (int day = 16; day <= 40; ++day) {
    const double lat = Degrees(SubSolarPoint(EncodeGMTDateTime(2023, 12, 1, 12) + day).iLatY);
    EXPECT_LT(std::fabs(lat - previous), 0.25) << "December " << day;
    previous = lat;
  }
  EXPECT_LT(Degrees(SubSolarPoint(EncodeGMTDateTime(2023, 12, 31)).iLatY),
            Degrees(SubSolarPoint(EncodeGMTDateTime(2024, 1, 1)).iLatY));
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

// ---- Shading ----------------------------------------------------------------------------

class ShadowTest : public ::testing::Test {
 protected:
  TTestGlobe globe;
  TGlobeCanvas& canvas = globe.GlobeCanvas();
  TGlobeProjection& P = globe.Projection();
  // The March equinox at noon: the sun near (0°, 0°), the terminator near ±90°.
  const double equinox = EncodeGMTDateTime(2024, 3, 20, 12);

  void Picture(std::int32_t W, std::int32_t H, TColor Fill) {
    globe.SetClientSize(W, H);
    canvas.SizeBMP(W, H, 96);
    Paint(Fill);
  }
  void Paint(TColor Fill) {
    for (std::int32_t y = 0; y < canvas.Bitmap()->Height(); ++y) {
      for (std::int32_t x = 0; x < canvas.Bitmap()->Width(); ++x) {
        std::uint8_t* p = canvas.Bitmap()->ScanLine(y) + 3 * x;
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
    const TPointLL sun = RenderDIBShadow(globe, equinox, kGrey, kSilver, 1);
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
  const TPointLL sun = RenderDIBShadow(globe, equinox, kGrey, kSilver, 1);
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
    const TPointLL sun = RenderDIBShadow(globe, equinox, kGrey, kSilver, dn);
    const TTally t = CheckBlended(sun, dn);
    EXPECT_EQ(t.Missed.size(), 0u);
    EXPECT_GT(t.Night, 0);
    EXPECT_GT(t.Twilight, 0);
  }
}

TEST_F(ShadowTest, BlendRoundsHalvesAwayFromZeroPerChannel) {
  // Whole map in night at midnight over the centre; one colour per channel.
  FlatMap("TCartesianPrj", 1, 20, 10, 180);
  Paint(platform::RGB(0xFF, 0x00, 0x81));
  RenderDIBShadow(globe, equinox, platform::RGB(0x80, 0x03, 0x00), kSilver, 1);
  // Red −127/2 → −64; green +3/2 → +2; blue −129/2 → −65.
  EXPECT_EQ(canvas.Bitmap()->Pixel(10, 5), platform::RGB(0xBF, 0x02, 0x40));
}

TEST_F(ShadowTest, WithoutAPictureNothingIsDrawnAndTheSunIsStillFound) {
  EXPECT_EQ(canvas.Bitmap(), nullptr);
  EXPECT_EQ(RenderDIBShadow(globe, equinox, kGrey, kSilver, 1), SubSolarPoint(equinox));
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
