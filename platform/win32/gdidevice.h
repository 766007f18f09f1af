// The drawing device on Win32 GDI: a device on a device context it is given (a window's
// paint DC, a printer), a memory device that draws into a TBitmap's own memory, an
// enhanced-metafile device, and the graphics services.
//
// The pixel rules are those of the Qt device: a (0, 0, 10, 10) rectangle or ellipse covers
// pixels 0 … 9 with or without an outline, polygons are filled by the alternate (even-odd)
// rule, a pen of width 0 or 1 is a one-pixel cosmetic pen with its style (its gaps take the
// background colour when the mode is opaque), wider pens are geometric, solid, with round
// ends and joins; hatch and pattern brushes repeat from the device origin whatever the
// viewport origin; a pattern's 0 bits take the text colour and its 1 bits the background
// colour, and only in the opaque mode (as on Qt, unlike a plain GDI pattern brush); pictures
// are scaled without smoothing.
//
// Fonts: the height is the character height (a negative lfHeight; 0 takes 12 pixels), and
// only TrueType fonts are chosen, which turn with the escapement. A face name that does not
// exist is left to GDI's font mapper, which substitutes the nearest font, as Qt's font
// matching does on Linux. The graphics mode stays compatible, where the glyphs turn with
// the escapement and the orientation is not used (as on Qt).
//
// Every GDI object the device makes is kept in the drawing object's BackendCache, made once
// and deleted with the object; the device keeps what it has selected into the DC alive and
// puts the DC's own objects and state back when it is destroyed. A GDI call that fails
// throws std::runtime_error naming the call and the system's error text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/device.h"

// GDI's device-context handle type, without <windows.h> (whose macros clash with this
// interface's names).
struct HDC__;

namespace platform {

/// A device that draws on a DC it does not own; the DC must outlive the device.
class TGdiDevice : public TDevice {
 public:
  /// PixelsPerInch 0 takes the DC's own resolution.
  explicit TGdiDevice(HDC__* Dc, std::int32_t PixelsPerInch = 0);
  ~TGdiDevice() override;

  /// The DC, for drawing the device does not offer; whoever draws on it directly leaves
  /// the selected objects and the mapping as they were.
  [[nodiscard]] HDC__* Dc() const noexcept { return dc_; }
  /// False for a device over an empty picture, which draws nothing.
  [[nodiscard]] bool Active() const noexcept { return dc_ != nullptr; }
  /// The resolution the device reports; it does not scale what is drawn.
  void SetPixelsPerInch(std::int32_t X, std::int32_t Y) noexcept;

  void SetBkMode(TBkMode Mode) override;
  void SetBkColor(TColor Color) override;
  void SetTextColor(TColor Color) override;
  void SetTextAlign(std::uint16_t Flags) override;
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
  /// so that drawing it twice restores the pixels.
  void DrawFocusRect(const TRect& Rect) override;

  /// GDI objects the backend has made and not yet deleted, process-wide (pens, brushes,
  /// fonts, regions, DIB sections, DCs): what a leak check counts where the system's own
  /// count is not there.
  [[nodiscard]] static std::int64_t LiveObjects() noexcept;

 protected:
  /// For devices whose DC exists only after this base: they call Attach from their
  /// constructor and Detach from their destructor, before they delete the DC.
  TGdiDevice() = default;
  void Attach(HDC__* Dc, std::int32_t PixelsPerInch);
  void Detach() noexcept;
  /// The picture whose memory the DC draws into, when there is one: its pixels are written
  /// directly, and GDI's batch is flushed after each drawing, so that the picture's readers
  /// see what was drawn.
  TBitmap* direct_ = nullptr;

 private:
  struct TState;
  void SelectInto(void* Object, int Kind);
  void Drawn() noexcept;
  // Fills with Brush (null: none) and outlines with the current pen (when Outline) a shape
  // that Draw draws with the DC's selected pen and brush.
  template <class DrawFn>
  void PaintShape(const THandle& Brush, bool Outline, DrawFn Draw);
  std::span<const TPoint> Safe(std::span<const TPoint> Points, bool Closed, bool& Clipped);

  HDC__* dc_ = nullptr;
  std::unique_ptr<TState> state_;
  std::int32_t ppi_x_ = 96;
  std::int32_t ppi_y_ = 96;
  std::optional<TRect> clip_;  // device pixels
  std::vector<TPoint> safe_;   // reused for every clipped polygon and polyline
  std::vector<TPoint> work_;
  std::wstring text_;  // reused for every text
};

/// A raster device over a 32-bit picture: a top-down DIB section made over the picture's
/// own section (no copy), so that direct row writes and GDI see the same pixels. A null or
/// empty picture gives a device that draws nothing.
struct TDibSurface;

class TGdiMemoryDevice final : public TGdiDevice {
 public:
  TGdiMemoryDevice(std::shared_ptr<TBitmap> Bitmap, std::int32_t PixelsPerInch);
  ~TGdiMemoryDevice() override;
  [[nodiscard]] TBitmap* Bitmap() noexcept override { return bitmap_.get(); }

 private:
  void Release() noexcept;
  std::shared_ptr<TBitmap> bitmap_;
  std::shared_ptr<TDibSurface> surface_;  // let go before the picture
};

/// A device that draws into a new enhanced metafile whose frame is Width × Height device
/// pixels at PixelsPerInch; the file is complete when the device is destroyed. Throws
/// std::runtime_error naming the file when it cannot be made, std::invalid_argument for a
/// size or resolution below 1.
[[nodiscard]] std::unique_ptr<TGdiDevice> CreateMetafileDevice(const std::string& FileName,
                                                               std::int32_t Width,
                                                               std::int32_t Height,
                                                               std::int32_t PixelsPerInch,
                                                               const std::string& Creator = {});

/// A device on a printer: a document of pages named DocumentName, started when the device
/// is made and ended (sent to the printer) when it is destroyed. Throws std::runtime_error
/// naming the printer when it cannot be opened or the document not started.
class TGdiPrinterDevice final : public TGdiDevice {
 public:
  /// An empty PrinterName takes the default printer.
  TGdiPrinterDevice(const std::string& PrinterName, const std::string& DocumentName);
  ~TGdiPrinterDevice() override;
  /// Ends the page and starts the next one.
  void NewPage();
  /// The printable area in device pixels.
  [[nodiscard]] TSize PageSize() const noexcept { return page_; }

 private:
  HDC__* printer_dc_ = nullptr;
  std::string name_;
  TSize page_;
  bool page_open_ = false;
};

/// The name of the default printer; empty when there is none.
[[nodiscard]] std::string DefaultPrinterName();

/// Graphics services on Win32: the screen's resolution, GDI memory devices, enhanced
/// metafiles, BMP pictures.
class TGdiGraphics : public TGraphics {
 public:
  [[nodiscard]] std::int32_t ScreenPixelsPerInch() const override;
  [[nodiscard]] std::unique_ptr<TDevice> CreateMemoryDevice(
      std::shared_ptr<TBitmap> Bitmap) override;
  /// Emf only; Svg and Pdf throw "Vector output is not supported".
  [[nodiscard]] std::unique_ptr<TDevice> CreateVectorFileDevice(
      TVectorFormat Format, const std::string& FileName, std::int32_t Width, std::int32_t Height,
      std::int32_t PixelsPerInch, const std::string& Creator) override;
  /// BMP and PNG files (by the extensions .bmp and .png) converted to the 32-bit layout.
  [[nodiscard]] std::shared_ptr<TBitmap> LoadPicture(const std::string& FileName) override;
};

}  // namespace platform
