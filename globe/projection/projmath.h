// Arithmetic shared by the projection models and the controller: rounding with range checks,
// the 32-bit wrap of device coordinates, and the point-by-point chain loop.
#pragma once

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "globe/core/numeric.h"
#include "globe/core/pointstore.h"
#include "globe/core/types.h"
#include "globe/render/pointbuffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace globe::projection_detail {

/// round(x) when it is finite and fits 32 bits; false otherwise (the overflow that the view
/// arithmetic treats as a failed step).
[[nodiscard]] inline bool TryRound32(Extended x, std::int32_t& Result) noexcept {
  if (!std::isfinite(x)) return false;
  if (x >= 2147483647.5L || x < -2147483648.5L) return false;
  const std::int64_t r = RoundHalfEven(x);
  if (r > std::numeric_limits<std::int32_t>::max() || r < std::numeric_limits<std::int32_t>::min())
    return false;
  Result = static_cast<std::int32_t>(r);
  return true;
}

/// round(x) limited to the 32-bit range (NaN gives 0).
[[nodiscard]] inline std::int32_t SatRound32(Extended x) noexcept {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0L) return std::numeric_limits<std::int32_t>::max();
  if (x <= -2147483648.0L) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(RoundHalfEven(x));
}

/// Device coordinates are 32-bit: a sum beyond the range wraps as the stored integer
/// arithmetic does, instead of being undefined.
[[nodiscard]] inline std::int32_t Wrap32(std::int64_t v) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

/// round(x) for device coordinates: the same result as RoundHalfEvenD without the library
/// calls, independent of the rounding mode. NaN gives 0; values beyond the int64 range
/// (only from a broken view) saturate.
[[nodiscard]] inline std::int64_t RoundD(double x) noexcept {
  constexpr double kExact = 4503599627370496.0;  // 2^52: from here on every double is whole
  constexpr double kLimit = 9.2e18;
  if (!(std::fabs(x) < kExact)) {
    if (std::isnan(x)) return 0;
    return static_cast<std::int64_t>(std::clamp(x, -kLimit, kLimit));
  }
  const auto i = static_cast<std::int64_t>(x);  // toward zero
  const double f = x - static_cast<double>(i);  // exact below 2^52
  // Comparisons as values, not branches: the fractions of device coordinates are random.
  std::int64_t r = i + (f > 0.5) - (f < -0.5);
  if (std::fabs(f) == 0.5) [[unlikely]]
    r = f > 0 ? i + (i & 1) : i - (i & 1);
  return r;
}

/// Whether RoundNearest may stand in for RoundD: the rounding mode is to nearest (always,
/// unless someone changed it). Asked once per chain, not per point.
[[nodiscard]] inline bool RoundingToNearest() noexcept { return std::fegetround() == FE_TONEAREST; }

/// round(x), halves to even, in one conversion instruction; the same as RoundD for finite
/// |x| < 2^63 while RoundingToNearest() holds. Chain loops check both once per chain.
[[nodiscard]] inline std::int64_t RoundNearest(double x) noexcept {
#if defined(__SSE2__)
  return _mm_cvtsd_si64(_mm_set_sd(x));
#else
  return std::llrint(x);
#endif
}

/// The generic chain projection: each point of the store is projected by
/// Project(ptLL, index, slot), which writes slot (DevicePoints()[index]) and returns
/// visibility; a visible point is kept when it lies more than one pixel from the last kept
/// one in X or Y, otherwise the next point overwrites it. Returns the index after the last
/// kept point.
template <class TProject>
std::int32_t ProjectChain(const TPointStore& Points, std::int32_t iStart, TProject&& Project) {
  iStart = std::max(iStart, 0);
  EnsureDevicePoints(static_cast<std::size_t>(iStart) + static_cast<std::size_t>(Points.Count()) +
                     1);
  TPoint* buffer = DevicePoints();
  const auto data = Points.PointData();
  const std::size_t stride = Points.Stride();
  const bool heights = stride == 3;
  std::int32_t i = iStart;
  std::int64_t lastX = GU_360_DEGREE;
  std::int64_t lastY = GU_360_DEGREE;
  for (std::size_t k = 0; k + 1 < data.size(); k += stride) {
    const TPointLL pt{data[k], data[k + 1], heights ? data[k + 2] : 0};
    if (!Project(pt, i, buffer[i])) continue;
    const TPoint& p = buffer[i];
    if (std::llabs(p.X - lastX) > 1 || std::llabs(p.Y - lastY) > 1) {
      lastX = p.X;
      lastY = p.Y;
      ++i;
    }
  }
  return i;
}

}  // namespace globe::projection_detail
