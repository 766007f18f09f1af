// Plain value types shared by the platform interfaces, the engine and the application.
#pragma once

#include <cstdint>

namespace platform {

/// Device point (pixels).
struct TPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};

/// Device rectangle (pixels); Right and Bottom lie just outside it.
struct TRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;
  [[nodiscard]] constexpr std::int32_t Width() const noexcept { return Right - Left; }
  [[nodiscard]] constexpr std::int32_t Height() const noexcept { return Bottom - Top; }
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

struct TSize {
  std::int32_t cx = 0;
  std::int32_t cy = 0;
  friend constexpr bool operator==(const TSize&, const TSize&) = default;
};

/// A colour as 0x00BBGGRR (red in the low byte). Values with the top byte 0xFF name a
/// system colour by the index in their low byte; ColorToRGB resolves them.
using TColor = std::uint32_t;

[[nodiscard]] constexpr TColor RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) noexcept {
  return TColor{r} | (TColor{g} << 8) | (TColor{b} << 16);
}
[[nodiscard]] constexpr std::uint8_t GetRValue(TColor c) noexcept { return c & 0xFF; }
[[nodiscard]] constexpr std::uint8_t GetGValue(TColor c) noexcept { return (c >> 8) & 0xFF; }
[[nodiscard]] constexpr std::uint8_t GetBValue(TColor c) noexcept { return (c >> 16) & 0xFF; }

/// The RGB value of a colour: system colours (top byte 0xFF) are looked up in the
/// platform's colour scheme, every other value is returned unchanged.
[[nodiscard]] TColor ColorToRGB(TColor Color) noexcept;

}  // namespace platform
