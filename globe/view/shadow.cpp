#include "globe/view/shadow.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <typeinfo>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "globe/core/numeric.h"
#include "globe/core/texture.h"
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

constexpr std::int64_t kPixel = platform::TBitmap::kPixelBytes;

// Below this dot product with the sun vector the sun is more than about 6° down.
constexpr Extended kTwilightLimit = -64'800'000;

double Combine(std::int64_t Days, double Seconds) noexcept {
  // Whole days in Seconds (minutes past midnight, a negative hour) move the day first: before
  // the epoch the fraction is subtracted, so it must be that of the day the time falls on.
  const double whole = std::floor(Seconds / 86400.0);
  if (std::fabs(whole) < 1e9) {
    Days += static_cast<std::int64_t>(whole);
    Seconds -= whole * 86400.0;
  }
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
    std::uint8_t* p = bitmap_.ScanLine(static_cast<std::int32_t>(y)) + kPixel * x;
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

// The class of a pixel by the model's inverse projection into buffer slot 0, then the sun's
// direction. Inverse is the model's XYToLL itself, called without virtual dispatch where
// the model's class is known.
template <class TInverse>
struct TInverseClassifier {
  TInverse Inverse;
  TSunVector Sun;
  std::int32_t operator()(std::int64_t x, std::int64_t y) {
    if (x < INT32_MIN || x > INT32_MAX || y > INT32_MAX) return 0;
    if (!Inverse(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y))) return 0;
    const TPoint ll = DevicePoints()[0];
    return Sun.Classify(ll.X, ll.Y);
  }
};

// The per-pixel test: Classify gives a pixel's class (0 off the earth, 1 day, 2 night,
// 3 twilight); night and twilight pixels are shaded at once.
template <class TClassifier, class TShader>
class TShadowScan {
 public:
  TShadowScan(TClassifier Classify, TShader& Shader, std::int32_t Width, std::int32_t Height,
              std::int32_t Density) noexcept
      : classify_(Classify),
        shader_(Shader),
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
  std::int32_t Classify(std::int64_t x, std::int64_t y) { return classify_(x, y); }
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

  TClassifier classify_;
  TShader& shader_;
  std::int64_t width_, height_, dn_;
};

// ---- The ramp ---------------------------------------------------------------------------

// sin 18°: the sine of the sun's altitude at which the ramp reaches full night; the ramp is
// linear in the sine, which differs from linear in degrees by at most about 0.1°.
const double kRampSine = std::sin(SHADOW_RAMP_DEGREES * std::numbers::pi / 180);
const double kInverseRampSine = 1 / kRampSine;
// Where the ramp passes the end of civil twilight (6° down), as a fraction of the ramp.
const double kCivilKnot = std::sin(6 * std::numbers::pi / 180) / kRampSine;
// How far an interpolated sample may stray from the real one before a run is resampled:
// about 0.1° of sun altitude, and under a texel of the lights' picture.
constexpr double kRampTolerance = 0.0015;
constexpr double kTexelTolerance = 0.75;

// The sun's direction as a unit vector, with the axes of LLHToPoint3D.
struct TSunDirection {
  double X, Y, Z;
  explicit TSunDirection(const TPointLL& SubSolar) noexcept {
    const double lat = SubSolar.iLatY * static_cast<double>(RADIANS_PER_GU);
    const double lon = SubSolar.iLongX * static_cast<double>(RADIANS_PER_GU);
    X = std::cos(lat) * std::sin(lon);
    Y = std::sin(lat);
    Z = std::cos(lat) * std::cos(lon);
  }
  [[nodiscard]] double Sine(std::int32_t iLong, std::int32_t iLat) const noexcept {
    const double lat = iLat * static_cast<double>(RADIANS_PER_GU);
    const double lon = iLong * static_cast<double>(RADIANS_PER_GU);
    return std::cos(lat) * (std::sin(lon) * X + std::cos(lon) * Z) + std::sin(lat) * Y;
  }
};

// atan2 within 1e-8 rad (2 GU): libm's atan2 and asin were a quarter of the shading's time
// on the sphere with the lights. A polynomial in z² for atan z on [0, 1] (a Chebyshev fit,
// evaluated in pairs for the pipeline), the octants by symmetry. Inlined, so that the two
// calls of a sample overlap.
[[gnu::always_inline]] inline double FastAtan2(double y, double x) noexcept {
  const double ay = std::fabs(y), ax = std::fabs(x);
  const double num = std::min(ay, ax), den = std::max(ay, ax);
  if (!(den > 0)) return std::atan2(y, x);  // both zero, or a NaN
  const double z = num / den, t = z * z, t2 = t * t, t4 = t2 * t2;
  const double q0 = 0.99999998178865572568 - 0.33333036709286275722 * t;
  const double q1 = 0.19991872029109072042 - 0.14197797794085122864 * t;
  const double q2 = 0.10618370636953848877 - 0.074568548260045473711 * t;
  const double q3 = 0.042137623589193040739 - 0.015731249122183652816 * t;
  const double p = (q0 + q1 * t2) + (q2 + q3 * t2) * t4 + 0.0027662835017620259578 * t4 * t4;
  double r = z * p;
  if (ay > ax) r = std::numbers::pi / 2 - r;
  if (x < 0) r = std::numbers::pi - r;
  return std::copysign(r, y);
}

// The lights' texel position of a geographic point, as TTextureData::LLToTextureXY places
// it but in doubles and without rounding to whole texels: no integer divisions per sample,
// and positions between texels interpolate more truly.
class TLightsMap {
 public:
  TLightsMap() noexcept = default;
  explicit TLightsMap(const TTextureData& Lights) noexcept {
    const TPointLL p0 = Lights.WorldPoints.GetLL(0);
    const TPointLL p1 = Lights.WorldPoints.GetLL(1);
    const std::int64_t h = Lights.Height();
    const std::int64_t latSpan = std::int64_t{p1.iLatY} - p0.iLatY;
    lat0_ = p0.iLatY;
    // Equal corners give row −1 there, as LLToTextureXY does.
    vBase_ = static_cast<double>(latSpan != 0 ? h - 1 : h);
    vScale_ = latSpan != 0 ? static_cast<double>(h) / static_cast<double>(latSpan) : 0;
    auto inRange = [](std::int64_t l) { return l >= -GU_180_DEGREE - 1 && l <= GU_180_DEGREE + 1; };
    std::int64_t span = std::int64_t{p1.iLongX} - p0.iLongX;
    // A picture across 180°: its east corner lies west of its west corner.
    wrap_ = inRange(p0.iLongX) && inRange(p1.iLongX) && p1.iLongX < p0.iLongX &&
            span + GU_360_DEGREE > 0;
    if (wrap_) span += GU_360_DEGREE;
    lon0_ = p0.iLongX;
    uScale_ =
        span != 0 ? static_cast<double>(Lights.PictureWidth() - 1) / static_cast<double>(span) : 0;
    uBase_ = span != 0 ? 0 : -1;
  }
  // Longitude and latitude in GU, the longitude within ±180°.
  [[nodiscard]] double U(double Long) const noexcept {
    double d = Long - lon0_;
    if (wrap_ && d < 0) d += GU_360_DEGREE;
    return uBase_ + d * uScale_;
  }
  [[nodiscard]] double V(double Lat) const noexcept { return vBase_ - (Lat - lat0_) * vScale_; }

 private:
  double lon0_ = 0, lat0_ = 0, uScale_ = 0, uBase_ = 0, vScale_ = 0, vBase_ = 0;
  bool wrap_ = false;
};

// Shades one pixel of the off-screen picture by the sine of the sun's altitude there (D)
// and, with lights, the texel position (U, V) of the lights' picture.
class TRampShader {
 public:
  TRampShader(const TShadowStyle& Style, const TTextureData* Lights) noexcept
      : darken_(Style.Mode == smDarken),
        twilight_(MakeBlend(Style.ColorTwilight, 4)),
        night_(MakeBlend(Style.ColorNight, 2)),
        deep_(darken_ ? &dark_ : &night_) {
    const platform::TColor n = platform::ColorToRGB(Style.ColorNight);
    const int channels[3] = {platform::GetBValue(n), platform::GetGValue(n),
                             platform::GetRValue(n)};
    for (int ch = 0; ch < 3; ++ch) {
      const auto c = static_cast<std::size_t>(ch);
      factor_[c] = (channels[ch] * 256 + 127) / 255;
      for (int old = 0; old < 256; ++old)
        dark_[c][static_cast<std::size_t>(old)] =
            static_cast<std::uint8_t>((old * channels[ch] + 127) / 255);
      darkMul_ |= static_cast<std::uint64_t>(channels[ch]) << (16 * ch);
      for (std::size_t w = 0; w <= 256; ++w)
        rampMul_[w] |=
            static_cast<std::uint64_t>(256 - (((256 - factor_[c]) * static_cast<int>(w)) >> 8))
            << (16 * ch);
    }
    // The fourth byte: (x · 255 + 127) / 255 and (x · 256 + 128) >> 8 are x.
    darkMul_ |= std::uint64_t{255} << 48;
    for (std::uint64_t& m : rampMul_) m |= std::uint64_t{256} << 48;
    if (Lights != nullptr && Lights->IsValid() && Lights->Width() > 0 && Lights->Height() > 0) {
      lights_ = Lights->Bits();
      palette_ = Lights->TexturePalette.data();
      for (std::size_t i = 0; i < lightsWords_.size(); ++i)
        lightsWords_[i] = platform::LoadPixelWord(palette_ + 4 * i) & 0x00FFFFFFu;
      lightsWidth_ = Lights->Width();
      maxU_ = static_cast<double>(lightsWidth_ - 1);
      maxV_ = static_cast<double>(Lights->Height() - 1);
    }
  }

  // deep_ points into the object itself.
  TRampShader(const TRampShader&) = delete;
  TRampShader& operator=(const TRampShader&) = delete;

  [[nodiscard]] bool Lights() const noexcept { return lights_ != nullptr; }

  // Full night with the lights at full strength: what operator() does for D ≤ −sin 18°.
  // Inside: U and V lie within half a texel of the picture, so need no clamping.
  [[gnu::always_inline]] void NightLit(std::uint8_t* p, double U, double V,
                                       bool Inside = false) const noexcept {
    Night(p);
    const std::uint8_t* e = Inside ? TexelInside(U, V) : Texel(U, V);
    for (std::size_t c = 0; c < 3; ++c)
      p[c] = static_cast<std::uint8_t>(std::min(255, p[c] + e[c]));
  }
  // Whether a texel position lies well within half a texel of the picture, as the Inside
  // of NightLit and operator() wants: a run whose ends do needs no clamping between them.
  [[nodiscard]] bool Inside(double U, double V) const noexcept {
    return U >= -0.25 && U <= maxU_ + 0.25 && V >= -0.25 && V <= maxV_ + 0.25;
  }
  [[nodiscard]] std::int64_t LightsWidth() const noexcept { return lightsWidth_; }

  // Full night without lights: the same for every pixel.
  [[gnu::always_inline]] void Night(std::uint8_t* p) const noexcept {
    const TBlendTable& t = *deep_;
    p[0] = t[0][p[0]];
    p[1] = t[1][p[1]];
    p[2] = t[2][p[2]];
  }

  [[nodiscard]] bool Darken() const noexcept { return darken_; }

  // The darkening mode over a run of Count pixels Step bytes apart from p on, what
  // operator() and NightLit do pixel by pixel, with D, U and V stepped by the same
  // additions. Whole pixel words, all four bytes at once: the multipliers of the fourth
  // byte and the lights' words leave it as it was. Deep: D lies past the ramp's end all
  // along and is not looked at. Inside as for NightLit.
  template <bool Deep, bool WithLights, bool Inside>
  void DarkenRun(std::uint8_t* p, std::int64_t Count, std::int64_t Step, double D, double dD,
                 double U, double dU, double V, double dV) const noexcept {
    // Locals: the stores into the picture could otherwise alias the members.
    const std::uint8_t* const lights = lights_;
    const std::uint32_t* const words = lightsWords_.data();
    const std::int64_t width = lightsWidth_;
    const double maxU = maxU_, maxV = maxV_;
    auto texel = [&]() {
      std::int64_t iu, iv;
      if constexpr (Inside) {
        iu = static_cast<std::int64_t>(U + 0.5);
        iv = static_cast<std::int64_t>(V + 0.5);
      } else {
        iu = static_cast<std::int64_t>(std::clamp(U, 0.0, maxU) + 0.5);
        iv = static_cast<std::int64_t>(std::clamp(V, 0.0, maxV) + 0.5);
      }
      U += dU;
      V += dV;
      return words[lights[iv * width + iu]];
    };
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i darkMul = _mm_set1_epi64x(static_cast<std::int64_t>(darkMul_));
    const __m128i c127 = _mm_set1_epi16(127), c128 = _mm_set1_epi16(128);
    // x / 255 for x below 2^16 is (x · 0x8081) >> 23.
    const auto c8081 = _mm_set1_epi16(static_cast<std::int16_t>(0x8081));
    auto dark = [&](__m128i px) {
      return _mm_srli_epi16(
          _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(px, darkMul), c127), c8081), 7);
    };
    if constexpr (Deep && WithLights) {
      // Side by side pixels two at a time.
      if (Step == platform::TBitmap::kPixelBytes) {
        for (; Count >= 2; Count -= 2, p += 2 * Step) {
          const std::uint32_t e0 = texel();
          const std::uint32_t e1 = texel();
          std::uint64_t old;
          std::memcpy(&old, p, sizeof old);
          const __m128i px =
              _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<std::int64_t>(old)), zero);
          const __m128i l =
              _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(e0)),
                                                   _mm_cvtsi32_si128(static_cast<int>(e1))),
                                zero);
          // At most 510 a lane: the pack saturates it.
          const __m128i d = _mm_add_epi16(dark(px), l);
          _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(d, d));
        }
      }
    }
#endif
    for (std::int64_t k = 0; k < Count; ++k, p += Step) {
      // The lights' strength in 256ths; full night unless on the ramp, where even w = 256
      // darkens by the ramp's rule.
      int w = 256;
      bool full = true;
      if constexpr (!Deep) {
        const double d = D;
        D += dD;
        if (!(d < 0)) {  // day, or the horizon
          if constexpr (WithLights) {
            U += dU;
            V += dV;
          }
          continue;
        }
        const double t = -d * kInverseRampSine;
        if (t < 1) {
          full = false;
          w = static_cast<int>(t * 256 + 0.5);
        }
      }
      std::uint32_t e = 0;
      if constexpr (WithLights) e = texel();
      const std::uint32_t old = platform::LoadPixelWord(p);
      std::uint32_t out;
#if defined(__SSE2__)
      const __m128i px = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(old)), zero);
      __m128i d;
      if (full) {
        d = dark(px);
      } else {
        const auto m = static_cast<std::int64_t>(rampMul_[static_cast<std::size_t>(w)]);
        d = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(px, _mm_cvtsi64_si128(m)), c128), 8);
      }
      if constexpr (WithLights) {
        __m128i l = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(e)), zero);
        if (!full)
          l = _mm_srli_epi16(_mm_mullo_epi16(l, _mm_set1_epi16(static_cast<std::int16_t>(w))), 8);
        d = _mm_add_epi16(d, l);  // at most 510 a lane: the pack saturates it
      }
      out = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(d, d)));
#else
      out = 0;
      for (unsigned c = 0; c < 4; ++c) {
        const unsigned o = (old >> (8 * c)) & 0xFF;
        const unsigned m = full ? (darkMul_ >> (16 * c)) & 0xFFFF
                                : (rampMul_[static_cast<std::size_t>(w)] >> (16 * c)) & 0xFFFF;
        unsigned v = full ? (o * m + 127) / 255 : (o * m + 128) >> 8;
        if constexpr (WithLights)
          v = std::min(255u, v + ((((e >> (8 * c)) & 0xFF) * static_cast<unsigned>(w)) >> 8));
        out |= v << (8 * c);
      }
#endif
      std::memcpy(p, &out, sizeof out);
    }
  }

  [[gnu::always_inline]] void operator()(std::uint8_t* p, double D, double U, double V,
                                         bool Inside = false) const noexcept {
    if (!(D < 0)) return;  // day, or the horizon
    const double t = -D * kInverseRampSine;
    // The share of the ramp in 256ths, also the lights' strength.
    int w = 256;
    if (t >= 1) {
      Night(p);
    } else if (w = static_cast<int>(t * 256 + 0.5); darken_) {
      for (std::size_t c = 0; c < 3; ++c) {
        const int m = 256 - (((256 - factor_[c]) * w) >> 8);
        p[c] = static_cast<std::uint8_t>((p[c] * m + 128) >> 8);
      }
    } else if (t < kCivilKnot) {
      // From the picture towards a quarter of the way to the twilight colour.
      const int k = static_cast<int>(t / kCivilKnot * 256 + 0.5);
      for (std::size_t c = 0; c < 3; ++c) {
        const int a = twilight_[c][p[c]];
        p[c] = static_cast<std::uint8_t>(p[c] + (((a - p[c]) * k + 128) >> 8));
      }
    } else {
      // From there to half way to the night colour.
      const int k = static_cast<int>((t - kCivilKnot) / (1 - kCivilKnot) * 256 + 0.5);
      for (std::size_t c = 0; c < 3; ++c) {
        const int a = twilight_[c][p[c]];
        const int b = night_[c][p[c]];
        p[c] = static_cast<std::uint8_t>(a + (((b - a) * k + 128) >> 8));
      }
    }
    if (lights_ != nullptr) AddLights(p, w, Inside ? TexelInside(U, V) : Texel(U, V));
  }

 private:
  // The palette entry of the nearest texel; clamped first, so the cast is in range whatever
  // came in.
  [[gnu::always_inline]] const std::uint8_t* Texel(double U, double V) const noexcept {
    const auto u = static_cast<std::int64_t>(std::clamp(U, 0.0, maxU_) + 0.5);
    const auto v = static_cast<std::int64_t>(std::clamp(V, 0.0, maxV_) + 0.5);
    return palette_ + 4 * std::size_t{lights_[v * lightsWidth_ + u]};
  }
  // The same for a position within half a texel of the picture: rounding alone.
  [[gnu::always_inline]] const std::uint8_t* TexelInside(double U, double V) const noexcept {
    const auto u = static_cast<std::int64_t>(U + 0.5);
    const auto v = static_cast<std::int64_t>(V + 0.5);
    return palette_ + 4 * std::size_t{lights_[v * lightsWidth_ + u]};
  }

  // Adds the palette entry e at the strength w / 256.
  [[gnu::always_inline]] static void AddLights(std::uint8_t* p, int w,
                                               const std::uint8_t* e) noexcept {
    for (std::size_t c = 0; c < 3; ++c)
      p[c] = static_cast<std::uint8_t>(std::min(255, p[c] + ((e[c] * w) >> 8)));
  }

  bool darken_;
  TBlendTable twilight_, night_, dark_{};
  const TBlendTable* deep_;  // full night: night_ or dark_
  std::array<int, 3> factor_{};
  // The darkening mode's multipliers as 16-bit lanes blue, green, red, fourth byte: full
  // night's (of (old · m + 127) / 255) and the ramp's for each strength w (of
  // (old · m + 128) >> 8).
  std::uint64_t darkMul_ = 0;
  std::array<std::uint64_t, 257> rampMul_{};
  // The lights' palette as pixel words without the fourth byte.
  std::array<std::uint32_t, 256> lightsWords_{};
  const std::uint8_t* lights_ = nullptr;
  const std::uint8_t* palette_ = nullptr;
  std::int64_t lightsWidth_ = 0;
  double maxU_ = 0, maxV_ = 0;
};

// What the ramp needs of one pixel: whether it lies on the earth, the sine of the sun's
// altitude there, and its texel position in the lights' picture.
struct TSunSample {
  bool On = false;
  bool Texel = true;  // U and V are set (a sampler may leave them until they are needed)
  double D = 0, U = 0, V = 0;

  TSunSample() noexcept = default;
  // Member by member: a block copy of a sample just built reloaded it in 16-byte pieces,
  // which had to wait for the separate stores that built it.
  TSunSample(const TSunSample& o) noexcept : On(o.On), Texel(o.Texel), D(o.D), U(o.U), V(o.V) {}
  TSunSample& operator=(const TSunSample& o) noexcept {
    On = o.On;
    Texel = o.Texel;
    D = o.D;
    U = o.U;
    V = o.V;
    return *this;
  }
};

// The samples of any model: its inverse projection to a geographic point, then the sun's
// altitude there.
template <class TInverse>
class TInverseSampler {
 public:
  TInverseSampler(TInverse Inverse, const TSunDirection& Sun, const TTextureData* Lights) noexcept
      : inverse_(Inverse), sun_(Sun), lights_(Lights) {}

  TSunSample operator()(std::int64_t x, std::int64_t y) {
    TSunSample s;
    if (x > INT32_MAX || y > INT32_MAX) return s;
    if (!inverse_(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y))) return s;
    const TPoint ll = DevicePoints()[0];
    s.On = true;
    s.D = sun_.Sine(ll.X, ll.Y);
    if (lights_ != nullptr) {
      const TPoint t = lights_->LLToTextureXY({ll.X, ll.Y, 0});
      s.U = t.X;
      s.V = t.Y;
    }
    return s;
  }

 private:
  TInverse inverse_;
  TSunDirection sun_;
  const TTextureData* lights_;
};

// The samples of the sphere, without going through longitude and latitude: the sun's
// direction is turned into screen space once, and a pixel's altitude sine is its point on
// the disc dotted with it. Only the lights' texel needs the geographic point.
class TSphereSampler {
 public:
  TSphereSampler(const TSphericalPrj& Sphere, const TSunDirection& Sun,
                 const TTextureData* Lights) noexcept
      : lights_(Lights), map_(Lights != nullptr ? TLightsMap(*Lights) : TLightsMap()) {
    const TGlobeProjection& P = Sphere.Projection();
    const TMatrix& N = Sphere.InverseTransform();
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) n_[r][c] = static_cast<double>(N(r, c));
    // The world point of a disc point has length GU_EARTH_RADIUS: the sine is the dot product
    // with the sun's direction over that length.
    constexpr double k = 1.0 / GU_EARTH_RADIUS;
    for (int c = 0; c < 3; ++c)
      sun_[c] = (n_[0][c] * Sun.X + n_[1][c] * Sun.Y + n_[2][c] * Sun.Z) * k;
    x0_ = P.XOrigin();
    y0_ = P.YOrigin();
    // Rounded down: a pixel on the rim (dx² + dy² = r², whole numbers) is on the disc
    // exactly when the model's inverse finds it there.
    const Extended r2 = Sphere.GlobeRadius() * Sphere.GlobeRadius();
    r2_ = static_cast<double>(r2);
    if (static_cast<Extended>(r2_) > r2) r2_ = std::nextafter(r2_, 0.0);
  }

  // Texel false leaves the lights' texel of a daylight sample for Texel() to find: half the
  // samples lie in daylight, and the texel takes two inverse trigonometric functions.
  // Inlined: a sample returned through memory cost a stalled reload in the caller's loops.
  [[gnu::always_inline]] TSunSample operator()(std::int64_t x, std::int64_t y,
                                               bool Texel = true) const noexcept {
    TSunSample s;
    const auto dx = static_cast<double>(x - x0_);
    const auto dy = static_cast<double>(y - y0_);
    const double a = r2_ - dx * dx - dy * dy;
    if (!(a >= 0)) return s;
    const double dz = -std::sqrt(a);
    s.On = true;
    s.D = sun_[0] * dx + sun_[1] * dy + sun_[2] * dz;
    if (lights_ != nullptr) {
      if (!Texel && s.D > 0) {
        s.Texel = false;
        return s;
      }
      const double vx = n_[0][0] * dx + n_[0][1] * dy + n_[0][2] * dz;
      const double vy = n_[1][0] * dx + n_[1][1] * dy + n_[1][2] * dz;
      const double vz = n_[2][0] * dx + n_[2][1] * dy + n_[2][2] * dz;
      constexpr double gu = static_cast<double>(GU_PER_RADIAN);
      s.U = map_.U(FastAtan2(vx, vz) * gu);
      s.V = map_.V(FastAtan2(vy, std::sqrt(vx * vx + vz * vz)) * gu);
    }
    return s;
  }

  // Completes a sample taken without its texel at (x, y).
  [[gnu::always_inline]] void Texel(TSunSample& s, std::int64_t x, std::int64_t y) const noexcept {
    if (!s.Texel) s = (*this)(x, y);
  }

 private:
  const TTextureData* lights_;
  TLightsMap map_;
  double n_[3][3];
  double sun_[3];
  std::int64_t x0_, y0_;
  double r2_;
};

// The samples of the plate carrée, whose longitude depends on the column alone and its
// latitude on the row alone: the sine of the sun's altitude is cos(lat) · C(long) +
// sin(lat) · Y, with C and the lights' column worked out once per column and the rest once
// per row. Columns beyond those worked out (the last sample of a row at a large density)
// go through the model's inverse.
class TFlatSampler {
 public:
  TFlatSampler(TCartesianPrj& Flat, const TSunDirection& Sun, const TTextureData* Lights,
               std::int64_t Columns)
      : flat_(Flat), generic_(Inverse{&Flat}, Sun, Lights), sun_(Sun), lights_(Lights) {
    columns_.resize(static_cast<std::size_t>(std::clamp<std::int64_t>(Columns, 0, INT32_MAX)));
    for (std::size_t x = 0; x < columns_.size(); ++x) {
      TColumn& c = columns_[x];
      std::int32_t lon = 0;
      c.On = flat_.XToLong(static_cast<std::int32_t>(x), lon);
      if (!c.On) continue;
      const double l = lon * static_cast<double>(RADIANS_PER_GU);
      c.C = std::sin(l) * Sun.X + std::cos(l) * Sun.Z;
      if (lights_ != nullptr) c.U = lights_->LLToTextureXY({lon, 0, 0}).X;
    }
  }

  // Inlined as the sphere's, with the rarer paths out of line.
  [[gnu::always_inline]] TSunSample operator()(std::int64_t x, std::int64_t y) {
    if (x < 0 || x >= static_cast<std::int64_t>(columns_.size()) || y > INT32_MAX)
      return Generic(x, y);
    if (y != rowY_) SetRow(y);
    TSunSample s;
    const TColumn& c = columns_[static_cast<std::size_t>(x)];
    if (!rowOn_ || !c.On) return s;
    s.On = true;
    s.D = cosLat_ * c.C + sinLat_;
    s.U = c.U;
    s.V = rowV_;
    return s;
  }

 private:
  struct Inverse {
    TCartesianPrj* flat;
    bool operator()(std::int32_t x, std::int32_t y) const {
      return flat->TCartesianPrj::XYToLL(x, y, 0);
    }
  };
  struct TColumn {
    bool On = false;
    double C = 0, U = 0;
  };

  [[gnu::noinline]] TSunSample Generic(std::int64_t x, std::int64_t y) { return generic_(x, y); }

  [[gnu::noinline]] void SetRow(std::int64_t y) {
    rowY_ = y;
    std::int32_t lat = 0;
    rowOn_ = flat_.YToLat(static_cast<std::int32_t>(y), lat);
    if (!rowOn_) return;
    const double l = lat * static_cast<double>(RADIANS_PER_GU);
    cosLat_ = std::cos(l);
    sinLat_ = std::sin(l) * sun_.Y;
    // The row of a texel depends on the latitude alone.
    if (lights_ != nullptr) rowV_ = lights_->LLToTextureXY({0, lat, 0}).Y;
  }

  TCartesianPrj& flat_;
  TInverseSampler<Inverse> generic_;
  TSunDirection sun_;
  const TTextureData* lights_;
  std::vector<TColumn> columns_;
  std::int64_t rowY_ = -1;
  bool rowOn_ = false;
  double cosLat_ = 0, sinLat_ = 0, rowV_ = 0;
};

// Samples every 16 pixels; a run between two samples is passed over in daylight and off the
// earth, interpolated where its middle agrees with the interpolation, and halved otherwise
// (down to single pixels at the limb and the lights' seam).
template <class TSampler>
class TRampScan {
 public:
  TRampScan(TSampler Sampler, const TRampShader& Shader, const TTextureData* Lights,
            platform::TBitmap& Bitmap, std::int32_t Width, std::int32_t Height,
            std::int32_t Density) noexcept
      : sampler_(Sampler),
        shader_(Shader),
        lights_(Shader.Lights() ? Lights : nullptr),
        bitmap_(Bitmap),
        width_(std::min(Width, Bitmap.Width())),
        height_(std::min(Height, Bitmap.Height())),
        dn_(std::max(Density, 1)) {}

  // A row's samples are taken first, pass by pass (the samples 16 steps apart, the texels
  // of those that need one, the middles of the runs), in loops whose steps do not wait for
  // each other, so that the processor overlaps their arithmetic; then its runs are shaded.
  // The samples are those the runs would take one by one.
  void Scan() {
    const std::int64_t step = 16 * dn_;
    grid_.resize(static_cast<std::size_t>(std::max<std::int64_t>(width_, 0) / step + 2));
    mid_.resize(grid_.size());
    bool odd = false;
    for (std::int64_t y = 0; y < height_; y += dn_, odd = !odd) {
      row_ = bitmap_.ScanLine(static_cast<std::int32_t>(y));
      const std::int64_t x0 = odd ? dn_ / 2 : 0;
      // Samples up to the first at or past the right edge.
      const std::size_t n =
          x0 < width_ ? static_cast<std::size_t>((width_ - x0 + step - 1) / step) + 1 : 1;
      for (std::size_t i = 0; i < n; ++i)
        grid_[i] = Grid(x0 + static_cast<std::int64_t>(i) * step, y);
      if constexpr (requires { sampler_.Texel(std::declval<TSunSample&>(), x0, y); }) {
        for (std::size_t i = 0; i + 1 < n; ++i) {
          if (!Active(grid_[i], grid_[i + 1])) continue;
          const std::int64_t x = x0 + static_cast<std::int64_t>(i) * step;
          sampler_.Texel(grid_[i], x, y);
          sampler_.Texel(grid_[i + 1], x + step, y);
        }
      }
      for (std::size_t i = 0; i + 1 < n; ++i) {
        if (NeedsMiddle(grid_[i], grid_[i + 1]))
          mid_[i] = Sample(x0 + static_cast<std::int64_t>(i) * step + 8 * dn_, y);
      }
      for (std::size_t i = 0; i + 1 < n; ++i) {
        const TSunSample* m = NeedsMiddle(grid_[i], grid_[i + 1]) ? &mid_[i] : nullptr;
        Span(x0 + static_cast<std::int64_t>(i) * step, grid_[i], grid_[i + 1], 16, y, m);
      }
    }
  }

 private:
  TSunSample Sample(std::int64_t x, std::int64_t y) { return sampler_(x, y); }
  // A sample 16 steps on: its texel may be left out where the sampler can find it later.
  TSunSample Grid(std::int64_t x, std::int64_t y) {
    if constexpr (requires { sampler_.Texel(std::declval<TSunSample&>(), x, y); })
      return sampler_(x, y, false);
    else
      return sampler_(x, y);
  }

  // Whether the run from a to b has pixels to shade: not all off the earth or in daylight.
  static bool Active(const TSunSample& a, const TSunSample& b) noexcept {
    return (a.On || b.On) && !(a.On && b.On && a.D > 0 && b.D > 0);
  }
  // Whether Span takes the run's middle: all but runs of deep night without lights.
  bool NeedsMiddle(const TSunSample& a, const TSunSample& b) const noexcept {
    return Active(a, b) &&
           !(lights_ == nullptr && a.On && b.On && a.D <= -kRampSine && b.D <= -kRampSine);
  }

  // Shades the N pixels from xa on, the run from sample a to sample b, whose middle Mid
  // may have been taken already. The two samples get their texels here if the run is not
  // all daylight.
  void Span(std::int64_t xa, TSunSample& a, TSunSample& b, std::int64_t N, std::int64_t y,
            const TSunSample* Mid = nullptr) {
    if (!Active(a, b)) return;
    if constexpr (requires { sampler_.Texel(a, xa, y); }) {
      sampler_.Texel(a, xa, y);
      sampler_.Texel(b, xa + N * dn_, y);
    }
    if (N == 1) {
      if (a.On && xa < width_) shader_(row_ + kPixel * xa, a.D, a.U, a.V);
      return;
    }
    const std::int64_t half = N / 2;
    const std::int64_t xm = xa + half * dn_;
    const bool seam =
        lights_ != nullptr && std::fabs(b.U - a.U) * 2 > static_cast<double>(shader_.LightsWidth());
    if (a.On && b.On && !seam) {
      if (lights_ == nullptr && a.D <= -kRampSine && b.D <= -kRampSine) {
        if (shader_.Darken()) {
          if (xa < width_)
            shader_.DarkenRun<true, false, true>(row_ + kPixel * xa,
                                                 std::min(N, (width_ - xa + dn_ - 1) / dn_),
                                                 kPixel * dn_, 0, 0, 0, 0, 0, 0);
          return;
        }
        for (std::int64_t k = 0, x = xa; k < N && x < width_; ++k, x += dn_)
          shader_.Night(row_ + kPixel * x);
        return;
      }
      TSunSample m = Mid != nullptr ? *Mid : Sample(xm, y);
      if (m.On && std::fabs(m.D - (a.D + b.D) / 2) <= kRampTolerance &&
          (lights_ == nullptr || (std::fabs(m.U - (a.U + b.U) / 2) <= kTexelTolerance &&
                                  std::fabs(m.V - (a.V + b.V) / 2) <= kTexelTolerance))) {
        Fill(xa, a, b, N);
        return;
      }
      Span(xa, a, m, half, y);
      Span(xm, m, b, half, y);
      return;
    }
    TSunSample m = Mid != nullptr ? *Mid : Sample(xm, y);
    Span(xa, a, m, half, y);
    Span(xm, m, b, half, y);
  }

  void Fill(std::int64_t xa, const TSunSample& a, const TSunSample& b, std::int64_t N) {
    const double step = 1.0 / static_cast<double>(N);
    const double dD = (b.D - a.D) * step, dU = (b.U - a.U) * step, dV = (b.V - a.V) * step;
    double D = a.D, U = a.U, V = a.V;
    // Deep night all along: the same pixels without the ramp's tests. The margin keeps the
    // interpolated values, rounding and all, past the ramp's end.
    constexpr double kDeep = 1 + 1e-9;
    const bool inside =
        lights_ == nullptr || (shader_.Inside(a.U, a.V) && shader_.Inside(b.U, b.V));
    if (shader_.Darken()) {
      if (xa >= width_) return;
      const std::int64_t count = std::min(N, (width_ - xa + dn_ - 1) / dn_);
      std::uint8_t* p = row_ + kPixel * xa;
      const std::int64_t bytes = kPixel * dn_;
      if (lights_ == nullptr) {
        shader_.DarkenRun<false, false, true>(p, count, bytes, D, dD, U, dU, V, dV);
      } else if (a.D <= -kRampSine * kDeep && b.D <= -kRampSine * kDeep) {
        if (inside)
          shader_.DarkenRun<true, true, true>(p, count, bytes, D, dD, U, dU, V, dV);
        else
          shader_.DarkenRun<true, true, false>(p, count, bytes, D, dD, U, dU, V, dV);
      } else if (inside) {
        shader_.DarkenRun<false, true, true>(p, count, bytes, D, dD, U, dU, V, dV);
      } else {
        shader_.DarkenRun<false, true, false>(p, count, bytes, D, dD, U, dU, V, dV);
      }
      return;
    }
    if (lights_ != nullptr && a.D <= -kRampSine * kDeep && b.D <= -kRampSine * kDeep) {
      for (std::int64_t k = 0, x = xa; k < N && x < width_; ++k, x += dn_) {
        shader_.NightLit(row_ + kPixel * x, U, V, inside);
        U += dU;
        V += dV;
      }
      return;
    }
    for (std::int64_t k = 0, x = xa; k < N && x < width_; ++k, x += dn_) {
      shader_(row_ + kPixel * x, D, U, V, inside);
      D += dD;
      U += dU;
      V += dV;
    }
  }

  TSampler sampler_;
  const TRampShader& shader_;
  const TTextureData* lights_;
  platform::TBitmap& bitmap_;
  std::int64_t width_, height_, dn_;
  std::uint8_t* row_ = nullptr;
  std::vector<TSunSample> grid_, mid_;  // of the row being shaded
};

// Runs Body with the model's inverse projection, called without virtual dispatch where the
// model's class is known exactly (a descendant may override XYToLL).
template <class TBody>
void WithInverse(TCustomGlobe4& Globe, TBody&& Body) {
  TCustomProjectionModel& model = Globe.Projection().ProjectionModel();
  EnsureDevicePoints(1);
  if (typeid(model) == typeid(TSphericalPrj)) {
    auto& sphere = static_cast<TSphericalPrj&>(model);
    Body([&sphere](std::int32_t x, std::int32_t y) {
      return sphere.TSphericalPrj::XYToLL(x, y, 0);
    });
  } else if (typeid(model) == typeid(TCartesianPrj)) {
    auto& flat = static_cast<TCartesianPrj&>(model);
    Body([&flat](std::int32_t x, std::int32_t y) { return flat.TCartesianPrj::XYToLL(x, y, 0); });
  } else {
    Body([&model](std::int32_t x, std::int32_t y) { return model.XYToLL(x, y, 0); });
  }
}

// The class of a pixel by a ramp sampler's sine of the sun's altitude: the sphere and the
// plate carrée without their inverse projections, in a twentieth of the time. The sine of the
// twilight limit is that of kTwilightLimit, so the classes agree with DayNightClass but
// within a rounding of the geographic point.
template <class TSampler>
struct TSineClassifier {
  static constexpr double kTwilightSine =
      static_cast<double>(kTwilightLimit) / (2.0 * GU_EARTH_RADIUS);
  TSampler Sampler;
  std::int32_t operator()(std::int64_t x, std::int64_t y) {
    const TSunSample s = Sampler(x, y);
    if (!s.On) return 0;
    if (s.D > 0) return 1;
    return s.D >= kTwilightSine ? 3 : 2;
  }
};

template <class TShader>
void RunScan(TCustomGlobe4& Globe, TShader& Shader, const TPointLL& SubSolar, std::int32_t Density,
             bool Picture) {
  const TGlobeCanvas& canvas = Globe.GlobeCanvas();
  auto run = [&](auto Classify) {
    TShadowScan<decltype(Classify), TShader> scan(Classify, Shader, canvas.CanvasWidth(),
                                                  canvas.CanvasHeight(), Density);
    if (Picture)
      scan.ScanPicture();
    else
      scan.ScanDevice();
  };
  TCustomProjectionModel& model = Globe.Projection().ProjectionModel();
  const TSunDirection direction(SubSolar);
  if (typeid(model) == typeid(TSphericalPrj)) {
    run(TSineClassifier<TSphereSampler>{
        TSphereSampler(static_cast<const TSphericalPrj&>(model), direction, nullptr)});
  } else if (typeid(model) == typeid(TCartesianPrj)) {
    // Columns up to the last sample of a row at density 1; those beyond go through the
    // model's inverse.
    EnsureDevicePoints(1);
    run(TSineClassifier<TFlatSampler>{TFlatSampler(static_cast<TCartesianPrj&>(model), direction,
                                                   nullptr,
                                                   std::int64_t{canvas.CanvasWidth()} + 16)});
  } else {
    WithInverse(Globe, [&](auto Inverse) {
      run(TInverseClassifier<decltype(Inverse)>{Inverse, TSunVector(SubSolar)});
    });
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
  // Before the epoch the fraction still counts forwards from midnight.
  const double fraction = std::fabs(x - whole);
  const double days = whole + fraction;

  // Julian centuries from J2000.0 (2000-01-01 12:00, day 36526.5).
  const double T = (days - 36526.5) / 36525;
  constexpr double rad = std::numbers::pi / 180;
  const double L0 = std::fmod(280.46646 + T * (36000.76983 + T * 0.0003032), 360);  // mean long.
  const double M = (357.52911 + T * (35999.05029 - 0.0001537 * T)) * rad;           // mean anomaly
  const double e = 0.016708634 - T * (0.000042037 + 0.0000001267 * T);              // eccentricity
  const double C = std::sin(M) * (1.914602 - T * (0.004817 + 0.000014 * T)) +
                   std::sin(2 * M) * (0.019993 - 0.000101 * T) + std::sin(3 * M) * 0.000289;
  // Longitude of the ascending node of the moon's orbit, for nutation.
  const double omega = (125.04 - 1934.136 * T) * rad;
  const double lambda = (L0 + C - 0.00569 - 0.00478 * std::sin(omega)) * rad;  // apparent
  const double epsilon =
      (23 + (26 + (21.448 - T * (46.815 + T * (0.00059 - T * 0.001813))) / 60) / 60 +
       0.00256 * std::cos(omega)) *
      rad;
  const double declination = std::asin(std::sin(epsilon) * std::sin(lambda)) / rad;

  // The equation of time (true minus mean solar time), in degrees of the earth's turn.
  const double y = std::pow(std::tan(epsilon / 2), 2);
  const double l0 = L0 * rad;
  const double equation =
      (y * std::sin(2 * l0) - 2 * e * std::sin(M) + 4 * e * y * std::sin(M) * std::cos(2 * l0) -
       0.5 * y * y * std::sin(4 * l0) - 1.25 * e * e * std::sin(2 * M)) /
      rad;
  // The sun is overhead where true solar time is noon: 180° at midnight UTC, 15° an hour
  // westwards, moved by the equation of time.
  double lon = 180 - fraction * 360 - equation;
  lon -= 360 * std::floor((lon + 180) / 360);
  return {WrapLongitude(static_cast<std::int32_t>(RoundHalfEvenD(lon * GU_DEGREE))),
          static_cast<std::int32_t>(RoundHalfEvenD(declination * GU_DEGREE)), 0};
}

double SunElevationSine(const TPointLL& ptLL, const TPointLL& SubSolar) noexcept {
  return TSunDirection(SubSolar).Sine(ptLL.iLongX, ptLL.iLatY);
}

std::vector<TPointLL> TerminatorCrossings(const TPointLL& From, const TPointLL& To,
                                          const TPointLL& SubSolar, TGreatCircle Way) {
  using TVec = std::array<double, 3>;
  auto unit = [](const TPointLL& p) {
    const TSunDirection d(p);
    return TVec{d.X, d.Y, d.Z};
  };
  auto cross = [](const TVec& a, const TVec& b) {
    return TVec{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  };
  auto dot = [](const TVec& a, const TVec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
  const TVec a = unit(From), b = unit(To), s = unit(SubSolar);
  const TVec n = cross(a, b);  // the path's pole
  const double nLength = std::sqrt(dot(n, n));
  if (nLength < 1e-9) return {};
  // The terminator's great circle meets the path's at ±c.
  TVec c = cross(n, s);
  const double cLength = std::sqrt(dot(c, c));
  if (cLength < 1e-9) return {};
  for (double& v : c) v /= cLength;
  // Angle along the path from From, in the sense of travel towards To.
  const TVec m = cross(n, a);  // 90° along the path from a, over nLength
  auto along = [&](const TVec& p) {
    double t = std::atan2(dot(p, m) / nLength, dot(p, a));
    if (t < 0) t += 2 * std::numbers::pi;
    return t;
  };
  const double end = along(b);  // the short way's length: below π
  std::vector<std::pair<double, TVec>> found;
  for (const double sign : {1.0, -1.0}) {
    const TVec p{sign * c[0], sign * c[1], sign * c[2]};
    const double t = along(p);
    const bool shortWay = t <= end;
    if (Way == gcCircle || (Way == gcShortest) == shortWay) {
      // The longer way runs backwards from From: order by the distance travelled.
      found.push_back({Way == gcLongest ? 2 * std::numbers::pi - t : t, p});
    }
  }
  std::sort(found.begin(), found.end(),
            [](const auto& x, const auto& y) { return x.first < y.first; });
  std::vector<TPointLL> points;
  for (const auto& [t, p] : found) {
    const double lat = std::asin(std::clamp(p[1], -1.0, 1.0));
    const double lon = std::atan2(p[0], p[2]);
    points.push_back(
        {WrapLongitude(
             static_cast<std::int32_t>(RoundHalfEvenD(lon * static_cast<double>(GU_PER_RADIAN)))),
         static_cast<std::int32_t>(RoundHalfEvenD(lat * static_cast<double>(GU_PER_RADIAN))), 0});
  }
  return points;
}

bool ShadowMoved(const TCustomGlobe4& Globe, const TPointLL& Drawn, double GMTDateTime) noexcept {
  const TSunDirection a(Drawn), b(SubSolarPoint(GMTDateTime));
  // The angle between the two directions: every point of the terminator turns by at most it.
  const double cx = a.Y * b.Z - a.Z * b.Y, cy = a.Z * b.X - a.X * b.Z, cz = a.X * b.Y - a.Y * b.X;
  const double angle =
      std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), a.X * b.X + a.Y * b.Y + a.Z * b.Z);
  const TGlobeProjection& P = Globe.Projection();
  const auto scale = static_cast<double>(P.ScaleFactor());
  const TCustomProjectionModel& model = P.ProjectionModel();
  double pixelsPerRadian = scale * static_cast<double>(GU_PER_RADIAN);
  if (typeid(model) == typeid(TSphericalPrj)) {
    pixelsPerRadian = scale * GU_EARTH_RADIUS;
  } else if (typeid(model) != typeid(TCartesianPrj)) {
    pixelsPerRadian *= 4;
  }
  return !(angle * pixelsPerRadian < 1);
}

std::int32_t DayNightClass(const TPointLL& ptLL, const TPointLL& SubSolar) noexcept {
  return TSunVector(SubSolar).Classify(ptLL.iLongX, ptLL.iLatY);
}

TPointLL RenderDIBShadow(TCustomGlobe4& Globe, double GMTDateTime, platform::TColor ColorNight,
                         platform::TColor ColorTwilight, std::int32_t Density) {
  return RenderDIBShadow(Globe, GMTDateTime, {ColorNight, ColorTwilight, smBlend, Density});
}

TPointLL RenderDIBShadow(TCustomGlobe4& Globe, double GMTDateTime, const TShadowStyle& Style) {
  const TPointLL sun = SubSolarPoint(GMTDateTime);
  TGlobeCanvas& canvas = Globe.GlobeCanvas();
  platform::TBitmap* bitmap = canvas.Bitmap();
  if (bitmap == nullptr || bitmap->Empty()) return sun;
  if (Style.Mode == smBands) {
    TDIBShader shader(*bitmap, canvas.CanvasWidth(), canvas.CanvasHeight(), Style.ColorNight,
                      Style.ColorTwilight);
    RunScan(Globe, shader, sun, Style.Density, true);
    return sun;
  }
  const TRampShader shader(Style, Style.NightLights);
  const TTextureData* lights = shader.Lights() ? Style.NightLights : nullptr;
  const TSunDirection direction(sun);
  auto scan = [&](auto Sampler) {
    TRampScan<decltype(Sampler)> ramp(Sampler, shader, lights, *bitmap, canvas.CanvasWidth(),
                                      canvas.CanvasHeight(), Style.Density);
    ramp.Scan();
  };
  TCustomProjectionModel& model = Globe.Projection().ProjectionModel();
  if (typeid(model) == typeid(TSphericalPrj)) {
    scan(TSphereSampler(static_cast<const TSphericalPrj&>(model), direction, lights));
  } else if (typeid(model) == typeid(TCartesianPrj)) {
    EnsureDevicePoints(1);
    scan(TFlatSampler(static_cast<TCartesianPrj&>(model), direction, lights,
                      std::min(canvas.CanvasWidth(), bitmap->Width()) + 16));
  } else {
    WithInverse(Globe, [&](auto Inverse) {
      scan(TInverseSampler<decltype(Inverse)>(Inverse, direction, lights));
    });
  }
  return sun;
}

TPointLL RenderShadow(TCustomGlobe4& Globe, double GMTDateTime, platform::TColor ColorNight,
                      platform::TColor ColorTwilight, std::int32_t Density) {
  const TPointLL sun = SubSolarPoint(GMTDateTime);
  platform::TDevice* device = Globe.GlobeCanvas().DC();
  if (device == nullptr) return sun;
  TDeviceShader shader(*device, ColorNight, ColorTwilight);
  RunScan(Globe, shader, sun, Density, false);
  return sun;
}

}  // namespace globe
