// A drawing context that owns a current pen, brush and font described by value, made into
// device objects and selected into its device on demand. The globe canvas builds on it;
// application code draws its overlays through it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/device.h"

namespace platform {

enum TCanvasBrushStyle : std::uint8_t {
  cbsSolid,
  cbsClear,
  cbsHorizontal,
  cbsVertical,
  cbsFDiagonal,
  cbsBDiagonal,
  cbsCross,
  cbsDiagCross,
};

struct TCanvasPen {
  TColor Color = 0;  ///< may be a system colour
  TPenStyle Style = psSolid;
  std::int32_t Width = 1;
  friend bool operator==(const TCanvasPen&, const TCanvasPen&) = default;
};

struct TCanvasBrush {
  TColor Color = RGB(255, 255, 255);  ///< may be a system colour
  TCanvasBrushStyle Style = cbsSolid;
  friend bool operator==(const TCanvasBrush&, const TCanvasBrush&) = default;
};

struct TCanvasFontStyle {
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  friend bool operator==(const TCanvasFontStyle&, const TCanvasFontStyle&) = default;
};

/// The font object made from it has the character height |round(Size × PixelsPerInch /
/// 72)| pixels (halves away from zero).
struct TCanvasFont {
  std::string Name = "Arial";
  TColor Color = 0;       ///< may be a system colour
  std::int32_t Size = 9;  ///< points
  std::int32_t PixelsPerInch = 96;
  TCanvasFontStyle Style;
  friend bool operator==(const TCanvasFont&, const TCanvasFont&) = default;
};

/// A drawing context over a device it does not own. Changing a description marks it for
/// re-selection; RequireState selects what is out of date into the device.
class TCanvas {
 public:
  TCanvas() = default;
  virtual ~TCanvas() = default;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  /// The device drawn on; null when there is none. Setting it (even to the same pointer:
  /// a new device may reuse a freed one's address) forgets what was selected, without
  /// touching the previous device, which may be gone.
  [[nodiscard]] TDevice* Handle() const noexcept { return handle_; }
  void SetHandle(TDevice* Device) noexcept;

  [[nodiscard]] const TCanvasPen& Pen() const noexcept { return pen_; }
  void SetPen(const TCanvasPen& Pen) noexcept;
  [[nodiscard]] const TCanvasBrush& Brush() const noexcept { return brush_; }
  void SetBrush(const TCanvasBrush& Brush) noexcept;
  [[nodiscard]] const TCanvasFont& Font() const noexcept { return font_; }
  void SetFont(const TCanvasFont& Font) noexcept;

  /// Selects this canvas's pen, brush and font into the device where this canvas has not
  /// selected them since the device was set, since Deselect or since the description
  /// changed. Objects that others select directly stay in effect until then, so that
  /// drawing code can select its own pen and brush and still draw through the canvas.
  /// Selecting the font sets the text colour to the font's colour; selecting the brush
  /// sets the background to the brush colour, opaque for a solid brush and transparent
  /// otherwise. Nothing without a device.
  void RequireState();
  /// Selects the stock objects into the device and forgets what this canvas selected, so
  /// that the next RequireState selects everything again.
  void Deselect();

  // Drawing with the selected objects (RequireState first). Nothing without a device;
  // TextExtent is then 0 × 0.
  void FillRect(const TRect& Rect);
  void Polygon(std::span<const TPoint> Points);
  void Polyline(std::span<const TPoint> Points);
  void Ellipse(const TRect& Rect);
  void Rectangle(const TRect& Rect);
  void TextOut(std::int32_t X, std::int32_t Y, std::string_view Text);
  [[nodiscard]] TSize TextExtent(std::string_view Text);
  void Draw(std::int32_t X, std::int32_t Y, const TBitmap& Bitmap);
  void StretchDraw(const TRect& Dest, const TBitmap& Bitmap);

 private:
  TDevice* handle_ = nullptr;
  TCanvasPen pen_;
  TCanvasBrush brush_;
  TCanvasFont font_;
  // The objects made from the descriptions, rebuilt after a description changes.
  THandle pen_object_, brush_object_, font_object_;
  // Whether this canvas's object of that kind is selected into the device.
  bool pen_valid_ = false, brush_valid_ = false, font_valid_ = false;
};

}  // namespace platform
