#include "globe/render/labels.h"

#include <algorithm>

namespace globe {

platform::TColor ContrastingColor(platform::TColor Color) noexcept {
  const platform::TColor c = platform::ColorToRGB(Color);
  const int Luma =
      (299 * platform::GetRValue(c) + 587 * platform::GetGValue(c) + 114 * platform::GetBValue(c)) /
      1000;
  return Luma >= 128 ? platform::RGB(0, 0, 0) : platform::RGB(0xFF, 0xFF, 0xFF);
}

void HaloTextOut(platform::TDevice& Device, std::int32_t X, std::int32_t Y, std::string_view Text,
                 platform::TColor Halo, std::int32_t Rim) {
  if (Rim > 0 && Device.BkMode() == platform::TRANSPARENT) {
    const platform::TColor Ink = Device.TextColor();
    Device.SetTextColor(Halo);
    for (std::int32_t dy = -Rim; dy <= Rim; dy += Rim)
      for (std::int32_t dx = -Rim; dx <= Rim; dx += Rim)
        if (dx != 0 || dy != 0) Device.TextOut(X + dx, Y + dy, Text);
    Device.SetTextColor(Ink);
  }
  Device.TextOut(X, Y, Text);
}

platform::TRect TextBounds(platform::TDevice& Device, std::int32_t X, std::int32_t Y,
                           std::string_view Text, std::int32_t Margin) {
  const platform::TSize Size = Device.TextExtent(Text);
  const std::uint16_t Align = Device.TextAlign();
  std::int32_t Left = X;
  if ((Align & platform::TA_CENTER) == platform::TA_CENTER) {
    Left = X - Size.cx / 2;
  } else if (Align & platform::TA_RIGHT) {
    Left = X - Size.cx;
  }
  std::int32_t Top = Y;
  if ((Align & platform::TA_BASELINE) == platform::TA_BASELINE) {
    Top = Y - Size.cy * 4 / 5;  // the ascent, near enough for keeping titles apart
  } else if (Align & platform::TA_BOTTOM) {
    Top = Y - Size.cy;
  }
  return {Left - Margin, Top - Margin, Left + Size.cx + Margin, Top + Size.cy + Margin};
}

void TTitleGrid::Reset(std::int32_t Width, std::int32_t Height) {
  Columns_ = std::max(0, (Width + CellSize - 1) / CellSize);
  Rows_ = std::max(0, (Height + CellSize - 1) / CellSize);
  Cells_.assign(static_cast<std::size_t>(Columns_) * static_cast<std::size_t>(Rows_), false);
  Taken_ = 0;
}

bool TTitleGrid::TryPlace(const platform::TRect& Rect) {
  // Cell range, clamped to the picture; right and bottom are exclusive.
  const auto Cell = [](std::int32_t v) {
    return v >= 0 ? v / CellSize : -((-v + CellSize - 1) / CellSize);
  };
  const std::int32_t c0 = std::max(0, Cell(Rect.Left));
  const std::int32_t c1 = std::min(Columns_ - 1, Cell(Rect.Right - 1));
  const std::int32_t r0 = std::max(0, Cell(Rect.Top));
  const std::int32_t r1 = std::min(Rows_ - 1, Cell(Rect.Bottom - 1));
  if (Rect.Right <= Rect.Left || Rect.Bottom <= Rect.Top || c0 > c1 || r0 > r1) return true;
  const auto At = [this](std::int32_t c, std::int32_t r) {
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(Columns_) +
           static_cast<std::size_t>(c);
  };
  for (std::int32_t r = r0; r <= r1; ++r)
    for (std::int32_t c = c0; c <= c1; ++c)
      if (Cells_[At(c, r)]) return false;
  for (std::int32_t r = r0; r <= r1; ++r)
    for (std::int32_t c = c0; c <= c1; ++c) Cells_[At(c, r)] = true;
  Taken_ += std::int64_t{c1 - c0 + 1} * (r1 - r0 + 1);
  return true;
}

}  // namespace globe
