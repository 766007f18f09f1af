#include "globe/view/shadow.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <typeinfo>

#include "globe/core/numeric.h"
#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projection.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"
#include "globe/view/customglobe.h"
#include "platform/device.h"

namespace globe {

namespace {

using namespace std::chrono;

constexpr sys_days kEpoch = sys_days{year{1899} / December / 30};
constexpr std::int64_t kFirstDay = (sys_days{year{1} / January / 1} - kEpoch).count();
constexpr std::int64_t kLastDay = (sys_days{year{9999} / December / 31} - kEpoch).count();

// Below this dot product with the sun vector the sun is more than about 6° down.
constexpr Extended kTwilightLimit = -64'800'000;

double Combine(std::int64_t Days, double Seconds) noexcept {
  const double t = Seconds / 86400.0;
  return Days >= 0 ? static_cast<double>(Days) + t : static_cast<double>(Days) - t;
}

// The sun's direction as an earth-centred vector of length 2 (its 3-D point times 2/R).
struct TSunVector {
  Extended X, Y, Z;
  explicit TSunVector(const TPointLL& SubSolar) noexcept {
    const TPoint3D s = LLHToPoint3D(SubSolar.iLongX, SubSolar.iLatY, 0);
    constexpr Extended k = 1.0L / 154'698'615;
    X = s.iWorldX * k;
    Y = s.iWorldY * k;
    Z = s.iWorldZ * k;
  }
  std::int32_t Classify(std::int32_t iLong, std::int32_t iLat) const noexcept {
    const TPoint3D p = LLHToPoint3D(iLong, iLat, 0);
    const Extended d = p.iWorldX * X + p.iWorldY * Y + p.iWorldZ * Z;
    if (d > 0) return 1;
    return d >= kTwilightLimit ? 3 : 2;
  }
};

// The blend of one class: per channel old + (target − old) / divisor, rounded half away
// from zero, as a table of all 256 old values of each channel (blue, green, red).
using TBlendTable = std::array<std::array<std::uint8_t, 256>, 3>;

TBlendTable MakeBlend(platform::TColor Target, int Divisor) noexcept {
  const platform::TColor rgb = platform::ColorToRGB(Target);
  const int targets[3] = {platform::GetBValue(rgb), platform::GetGValue(rgb),
                          platform::GetRValue(rgb)};
  TBlendTable table{};
  for (int ch = 0; ch < 3; ++ch) {
    for (int old = 0; old < 256; ++old) {
      const int diff = targets[ch] - old;
      // Truncating (diff ± divisor/2) / divisor rounds halves away from zero for an even
      // divisor.
      const int step = (diff + (diff < 0 ? -Divisor / 2 : Divisor / 2)) / Divisor;
      table[static_cast<std::size_t>(ch)][static_cast<std::size_t>(old)] =
          static_cast<std::uint8_t>(old + step);
    }
  }
  return table;
}

// Blends pixels of the off-screen picture.
class TDIBShader {
 public:
  TDIBShader(platform::TBitmap& Bitmap, std::int32_t Width, std::int32_t Height,
             platform::TColor Night, platform::TColor Twilight) noexcept
      : bitmap_(Bitmap),
        width_(std::min(Width, Bitmap.Width())),
        height_(std::min(Height, Bitmap.Height())),
        night_(MakeBlend(Night, 2)),
        twilight_(MakeBlend(Twilight, 4)) {}

  void operator()(std::int64_t x, std::int64_t y, std::int32_t Class) noexcept {
    if (x < 0 || x >= width_ || y < 0 || y >= height_) return;
    const TBlendTable& t = Class == 2 ? night_ : twilight_;
    std::uint8_t* p = bitmap_.ScanLine(static_cast<std::int32_t>(y)) + 3 * x;
    p[0] = t[0][p[0]];
    p[1] = t[1][p[1]];
    p[2] = t[2][p[2]];
  }

 private:
  platform::TBitmap& bitmap_;
  std::int32_t width_, height_;
  TBlendTable night_, twilight_;
};

// Sets device pixels; negative coordinates are skipped, the device clips the rest.
class TDeviceShader {
 public:
  TDeviceShader(platform::TDevice& Device, platform::TColor Night,
                platform::TColor Twilight) noexcept
      : device_(Device),
        night_(platform::ColorToRGB(Night)),
        twilight_(platform::ColorToRGB(Twilight)) {}

  void operator()(std::int64_t x, std::int64_t y, std::int32_t Class) {
    if (x < 0 || y < 0 || x > INT32_MAX || y > INT32_MAX) return;
    device_.SetPixel(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                     Class == 2 ? night_ : twilight_);
  }

 private:
  platform::TDevice& device_;
  platform::TColor night_, twilight_;
};

// The per-pixel test: the model's inverse projection into buffer slot 0, then the class by
// the sun's direction; night and twilight pixels are shaded at once. Inverse is the model's
// XYToLL itself, called without virtual dispatch where the model's class is known.
template <class TInverse, class TShader>
class TShadowScan {
 public:
  TShadowScan(TInverse Inverse, TShader& Shader, const TSunVector& Sun, std::int32_t Width,
              std::int32_t Height, std::int32_t Density) noexcept
      : inverse_(Inverse),
        shader_(Shader),
        sun_(Sun),
        width_(Width),
        height_(Height),
        dn_(std::max(Density, 1)) {}

  // Samples lie 16 steps apart; runs between equal samples are filled untested, changes
  // are resolved pixel by pixel, and the pixels after the last sample are tested one by one.
  void ScanPicture() {
    bool odd = false;
    for (std::int64_t y = 0; y < height_; y += dn_, odd = !odd) {
      std::int64_t x = odd ? dn_ / 2 : 0;
      // Only classified here: the loop below tests this sample again, and a blend applied
      // twice would darken it further.
      std::int32_t last = Classify(x, y);
      while (x < width_) {
        Sample(x, y, last);
        x += 16 * dn_;
      }
      for (x -= 15 * dn_; x < width_; x += dn_) Test(x, y);
    }
  }

  // As ScanPicture, stepping before each sample, with no tail: the last sample of a row
  // may lie beyond the right edge, where the device clips it.
  void ScanDevice() {
    bool odd = false;
    for (std::int64_t y = 0; y < height_; y += dn_, odd = !odd) {
      std::int64_t x = odd ? dn_ / 2 : 0;
      std::int32_t last = Test(x, y);
      while (x < width_) {
        x += 16 * dn_;
        Sample(x, y, last);
      }
    }
  }

 private:
  std::int32_t Classify(std::int64_t x, std::int64_t y) {
    if (x < INT32_MIN || x > INT32_MAX || y > INT32_MAX) return 0;
    if (!inverse_(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y))) return 0;
    const TPoint ll = DevicePoints()[0];
    return sun_.Classify(ll.X, ll.Y);
  }
  std::int32_t Test(std::int64_t x, std::int64_t y) {
    const std::int32_t c = Classify(x, y);
    if (c >= 2) shader_(x, y, c);
    return c;
  }
  void Sample(std::int64_t x, std::int64_t y, std::int32_t& last) {
    const std::int32_t c = Test(x, y);
    if (c != last) {
      last = c;
      for (int i = 1; i <= 15; ++i) Test(x - i * dn_, y);
    } else if (last >= 2) {
      for (int i = 1; i <= 15; ++i) shader_(x - i * dn_, y, last);
    }
  }

  TInverse inverse_;
  TShader& shader_;
  TSunVector sun_;
  std::int64_t width_, height_, dn_;
};

template <class TShader>
void RunScan(TCustomGlobe4& Globe, TShader& Shader, const TSunVector& Sun, std::int32_t Density,
             bool Picture) {
  const TGlobeCanvas& canvas = Globe.GlobeCanvas();
  TCustomProjectionModel& model = Globe.Projection().ProjectionModel();
  EnsureDevicePoints(1);
  auto run = [&](auto Inverse) {
    TShadowScan<decltype(Inverse), TShader> scan(Inverse, Shader, Sun, canvas.CanvasWidth(),
                                                 canvas.CanvasHeight(), Density);
    if (Picture)
      scan.ScanPicture();
    else
      scan.ScanDevice();
  };
  // Exact classes only: a descendant may override XYToLL.
  if (typeid(model) == typeid(TSphericalPrj)) {
    auto& sphere = static_cast<TSphericalPrj&>(model);
    run([&sphere](std::int32_t x, std::int32_t y) {
      return sphere.TSphericalPrj::XYToLL(x, y, 0);
    });
  } else if (typeid(model) == typeid(TCartesianPrj)) {
    auto& flat = static_cast<TCartesianPrj&>(model);
    run([&flat](std::int32_t x, std::int32_t y) { return flat.TCartesianPrj::XYToLL(x, y, 0); });
  } else {
    run([&model](std::int32_t x, std::int32_t y) { return model.XYToLL(x, y, 0); });
  }
}

}  // namespace

double EncodeGMTDateTime(std::int32_t Year, std::uint32_t Month, std::uint32_t Day,
                         std::int32_t Hour, std::int32_t Minute, double Second) noexcept {
  const unsigned m = std::clamp<std::uint32_t>(Month, 1, 12);
  const sys_days first = sys_days{year{Year} / month{m} / 1};
  const std::int64_t days = (first - kEpoch).count() + static_cast<std::int64_t>(Day) - 1;
  return Combine(days, Hour * 3600.0 + Minute * 60.0 + Second);
}

double GMTDateTimeOf(system_clock::time_point Time) noexcept {
  const sys_days d = floor<days>(Time);
  return Combine((d - kEpoch).count(), duration<double>(Time - d).count());
}

TPointLL SubSolarPoint(double GMTDateTime) noexcept {
  double x = std::isnan(GMTDateTime) ? 0 : GMTDateTime;
  x = std::clamp(x, static_cast<double>(kFirstDay), static_cast<double>(kLastDay));
  const double whole = std::trunc(x);
  const auto day = static_cast<std::int64_t>(whole);
  const Extended fraction = std::fabs(x - whole);

  const year_month_day date{kEpoch + days{day}};
  const std::int64_t solstice =
      (sys_days{year{static_cast<int>(date.year()) - 1} / December / 21} - kEpoch).count();
  const auto n = static_cast<Extended>(day - solstice);
  // 0.4333823 is the tangent of the earth's axial tilt.
  const Extended declination =
      std::atan(std::cos(2 * PI_EXT * n / 365.24225L) * 0.4333823L) * 180 / PI_EXT;

  const std::int64_t seconds = RoundHalfEven(fraction * 86400);
  const std::int64_t minutes = RoundHalfEven(seconds * 0.25L) % 21600;  // 4 s per arc-minute
  const auto lon = static_cast<std::int32_t>(-(minutes - 10800) * GU_MINUTE);
  return {WrapLongitude(lon), static_cast<std::int32_t>(-RoundHalfEven(declination * GU_DEGREE)),
          0};
}

std::int32_t DayNightClass(const TPointLL& ptLL, const TPointLL& SubSolar) noexcept {
  return TSunVector(SubSolar).Classify(ptLL.iLongX, ptLL.iLatY);
}

TPointLL RenderDIBShadow(TCustomGlobe4& Globe, double GMTDateTime, platform::TColor ColorNight,
                         platform::TColor ColorTwilight, std::int32_t Density) {
  const TPointLL sun = SubSolarPoint(GMTDateTime);
  TGlobeCanvas& canvas = Globe.GlobeCanvas();
  platform::TBitmap* bitmap = canvas.Bitmap();
  if (bitmap == nullptr || bitmap->Empty()) return sun;
  TDIBShader shader(*bitmap, canvas.CanvasWidth(), canvas.CanvasHeight(), ColorNight,
                    ColorTwilight);
  RunScan(Globe, shader, TSunVector(sun), Density, true);
  return sun;
}

TPointLL RenderShadow(TCustomGlobe4& Globe, double GMTDateTime, platform::TColor ColorNight,
                      platform::TColor ColorTwilight, std::int32_t Density) {
  const TPointLL sun = SubSolarPoint(GMTDateTime);
  platform::TDevice* device = Globe.GlobeCanvas().DC();
  if (device == nullptr) return sun;
  TDeviceShader shader(*device, ColorNight, ColorTwilight);
  RunScan(Globe, shader, TSunVector(sun), Density, false);
  return sun;
}

}  // namespace globe
