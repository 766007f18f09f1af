// Legible text on the map: text with a contrasting rim, and the record of where titles
// already stand in the picture being drawn, so that a title is not printed over another.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/device.h"

namespace globe {

/// Black for a light colour, white for a dark one (by luma), for a rim round text of
/// that colour.
[[nodiscard]] platform::TColor ContrastingColor(platform::TColor Color) noexcept;

/// Writes Text at (X, Y) as Device's TextOut does (its font, text colour and alignment),
/// first in Halo at the eight points Rim pixels around, then in the text colour over it.
/// With an opaque background mode, or a Rim of 0 or less, only the text is written (the
/// filled cell already stands out, and would hide the rim).
void HaloTextOut(platform::TDevice& Device, std::int32_t X, std::int32_t Y, std::string_view Text,
                 platform::TColor Halo, std::int32_t Rim);

/// The rectangle Device's TextOut of Text at (X, Y) covers with the current font and text
/// alignment (escapement not considered), widened by Margin on every side.
[[nodiscard]] platform::TRect TextBounds(platform::TDevice& Device, std::int32_t X, std::int32_t Y,
                                         std::string_view Text, std::int32_t Margin);

/// Which parts of a picture titles already cover, in cells of CellSize pixels. A title is
/// placed only when none of the cells under its rectangle is taken; placing it takes them.
/// Cells make the test conservative (two titles a few pixels apart in one cell count as
/// overlapping) and cheap: one bit per cell, no list of rectangles to search.
class TTitleGrid {
 public:
  static constexpr std::int32_t CellSize = 4;

  /// Forgets every title and covers a picture of Width × Height pixels (negative: 0).
  void Reset(std::int32_t Width, std::int32_t Height);
  /// True, and the cells taken, when Rect (device pixels, right and bottom exclusive)
  /// overlaps no title placed since Reset; false otherwise. Parts of Rect outside the
  /// picture are ignored; a rectangle wholly outside it is placed without taking cells.
  bool TryPlace(const platform::TRect& Rect);
  /// Whether any cell is taken.
  [[nodiscard]] bool Empty() const noexcept { return Taken_ == 0; }

 private:
  std::int32_t Columns_ = 0, Rows_ = 0;
  std::vector<bool> Cells_;
  std::int64_t Taken_ = 0;
};

}  // namespace globe
