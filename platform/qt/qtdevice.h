// The drawing device on Qt: a QPainter kept open on a paint device (a window, an image, an
// SVG or PDF generator), a memory device over a 32-bit TBitmap, and the graphics services.
//
// Raster output is pixel-exact: antialiasing of shapes is off, a pen of width 0 or 1 is
// one pixel wide, a (0, 0, 10, 10) rectangle or ellipse covers pixels 0 … 9, polygons are
// filled by the even-odd rule, pictures are scaled without smoothing. Text stays
// antialiased.
#pragma once

#include <QImage>
#include <QPainter>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/device.h"

class QPaintDevice;

namespace platform {

/// A device that draws on a Qt paint device with a painter it keeps open for its whole
/// life. Font heights are character heights: the font's pixel size (its em square) is the
/// height, which is what glyph outlines are designed to; 0 takes 12 pixels. Wide pens
/// (more than 1 pixel) have round ends and joins and are always solid, as classic wide
/// pens are; dashed 1-pixel pens fill their gaps with the background colour when the
/// background mode is opaque. A hatch brush draws its lines in its colour and a pattern
/// brush its 0 bits in the text colour; the gaps and the 1 bits get the background colour
/// when the mode is opaque. Both patterns repeat from the device origin (0, 0), whatever
/// the viewport origin.
class TQtDevice : public TDevice {
 public:
  /// Draws on Target, which must outlive the device. PixelsPerInch 0 takes the target's
  /// logical resolution. If the painter cannot be opened on Target the device draws
  /// nothing (Active() is false).
  explicit TQtDevice(QPaintDevice& Target, std::int32_t PixelsPerInch = 0);
  ~TQtDevice() override;

  [[nodiscard]] bool Active() const noexcept { return painter_.isActive(); }
  /// The open painter, for drawing the device does not offer.
  [[nodiscard]] QPainter& Painter() noexcept { return painter_; }
  /// The resolution the device reports; it does not scale what is drawn.
  void SetPixelsPerInch(std::int32_t X, std::int32_t Y) noexcept;

  void SetViewportOrigin(TPoint Origin) override;
  void SetClipRect(const TRect& Rect) override;
  void RemoveClipping() override;
  [[nodiscard]] std::int32_t PixelsPerInchX() const override { return ppi_x_; }
  [[nodiscard]] std::int32_t PixelsPerInchY() const override { return ppi_y_; }

  void Polygon(std::span<const TPoint> Points) override;
  void Polyline(std::span<const TPoint> Points) override;
  void Ellipse(const TRect& Rect) override;
  void Rectangle(const TRect& Rect) override;
  void FillRect(const TRect& Rect, const THandle& Brush) override;
  void SetPixel(std::int32_t X, std::int32_t Y, TColor Color) override;
  void TextOut(std::int32_t X, std::int32_t Y, std::string_view Text) override;
  [[nodiscard]] TSize TextExtent(std::string_view Text) override;
  void DrawBitmap(std::int32_t X, std::int32_t Y, const TBitmap& Bitmap) override;
  /// A negative width or height of Dest mirrors the picture.
  void StretchBitmap(const TRect& Dest, const TBitmap& Bitmap) override;
  /// Inverts every other pixel of the rectangle's border (counted from the device origin),
  /// so that drawing it twice restores the pixels. On devices without raster operations
  /// (SVG, PDF) a dotted black border is drawn instead.
  void DrawFocusRect(const TRect& Rect) override;

 protected:
  /// For derived devices whose target exists only after this base: they call Begin from
  /// their constructor and End from their destructor.
  TQtDevice() = default;
  void Begin(QPaintDevice& Target, std::int32_t PixelsPerInch);
  void End();
  /// The picture this device draws into, when its pixels can be written directly.
  virtual TBitmap* DirectPixels() noexcept { return nullptr; }

 private:
  struct TPenInfo;
  struct TBrushInfo;
  struct TFontInfo;
  const TPenInfo& ResolvePen();
  const TBrushInfo* ResolveBrush(const THandle& Brush);
  const TFontInfo& ResolveFont();
  // Fills and outlines a shape that Draw paints with the painter's pen and brush.
  template <class DrawFn>
  void PaintShape(const THandle& Brush, bool Outline, DrawFn Draw);
  void FocusRectDirect(TBitmap& Bitmap, const TRect& Rect);

  QPainter painter_;
  std::int32_t ppi_x_ = 96;
  std::int32_t ppi_y_ = 96;
  std::optional<TRect> clip_;   // device pixels
  std::vector<QPoint> points_;  // reused for every polygon and polyline
};

/// A raster device over a 32-bit picture: the painter draws straight into the picture's
/// bytes (no copy), so direct row writes and drawing see the same pixels. A null or
/// empty picture gives a device that draws nothing.
class TQtMemoryDevice final : public TQtDevice {
 public:
  TQtMemoryDevice(std::shared_ptr<TBitmap> Bitmap, std::int32_t PixelsPerInch);
  ~TQtMemoryDevice() override;
  [[nodiscard]] TBitmap* Bitmap() noexcept override { return bitmap_.get(); }

 protected:
  TBitmap* DirectPixels() noexcept override { return bitmap_.get(); }

 private:
  std::shared_ptr<TBitmap> bitmap_;
  QImage image_;
};

/// A device that draws into a new vector file of Width × Height device pixels at
/// PixelsPerInch (the PDF page gets that size in inches), naming Creator (when given) as
/// the program that made it. The file is complete when the device is destroyed. Throws
/// std::runtime_error naming the file when it cannot be written, std::runtime_error "Vector
/// output is not supported" for a format other than SVG and PDF, and std::invalid_argument
/// for a size or resolution below 1.
[[nodiscard]] std::unique_ptr<TQtDevice> CreateVectorFileDevice(
    const std::string& FileName, TVectorFormat Format, std::int32_t Width, std::int32_t Height,
    std::int32_t PixelsPerInch, const std::string& Creator = {});

/// Graphics services on Qt: the primary screen's resolution (96 without a screen or a
/// QGuiApplication) and raster memory devices.
class TQtGraphics : public TGraphics {
 public:
  [[nodiscard]] std::int32_t ScreenPixelsPerInch() const override;
  [[nodiscard]] std::unique_ptr<TDevice> CreateMemoryDevice(
      std::shared_ptr<TBitmap> Bitmap) override;
  /// SVG through the SVG generator, PDF through the PDF writer.
  [[nodiscard]] std::unique_ptr<TDevice> CreateVectorFileDevice(
      TVectorFormat Format, const std::string& FileName, std::int32_t Width, std::int32_t Height,
      std::int32_t PixelsPerInch, const std::string& Creator) override;
  /// Any format the image plug-ins read, converted to the 32-bit layout.
  [[nodiscard]] std::shared_ptr<TBitmap> LoadPicture(const std::string& FileName) override;
};

}  // namespace platform
