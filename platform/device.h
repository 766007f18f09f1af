// The drawing device the globe engine draws through: device-independent drawing objects
// (pens, brushes, fonts), 32-bit pictures with direct row access, and the device context
// that draws polygons, lines, text and pictures with the objects selected into it.
//
// The model is that of a classic 2-D device context: an object is made from a description
// and stays valid on any device; selecting one into a device returns the object of that
// kind it replaces; drawing uses the selected pen, brush and font and the device's
// background mode, background colour, text colour and text alignment.
//
// Backends: the Qt raster and vector devices (platform/qt), the GDI devices on Windows
// (platform/win32) and the recording device used by tests (platform/recording.h).
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

// ---- Drawing objects --------------------------------------------------------------------

enum TPenStyle : std::uint8_t {
  psSolid,
  psDash,
  psDot,
  psDashDot,
  psDashDotDot,
  psClear,  ///< draws nothing
  psInsideFrame,
};

struct TPenDesc {
  TPenStyle Style = psSolid;
  /// Line width in device pixels; 0 and 1 both draw one pixel wide.
  std::int32_t Width = 0;
  TColor Color = 0;  ///< RGB, already resolved
  friend bool operator==(const TPenDesc&, const TPenDesc&) = default;
};

enum THatchStyle : std::uint8_t {
  hsHorizontal,
  hsVertical,
  hsFDiagonal,  ///< "\" lines
  hsBDiagonal,  ///< "/" lines
  hsCross,
  hsDiagCross,
};

enum class TBrushKind : std::uint8_t {
  Solid,
  Null,     ///< fills nothing
  Hatched,  ///< lines in Color; gaps in the background colour when the mode is opaque
  Pattern,  ///< 8 × 8 bits: 0 → text colour, 1 → background colour (opaque mode only)
};

struct TBrushDesc {
  TBrushKind Kind = TBrushKind::Solid;
  TColor Color = 0;  ///< RGB, for Solid and Hatched
  THatchStyle Hatch = hsHorizontal;
  /// Pattern rows top first; the most significant bit is the leftmost pixel. The pattern
  /// repeats from the device origin.
  std::array<std::uint8_t, 8> Pattern{};
  friend bool operator==(const TBrushDesc&, const TBrushDesc&) = default;
};

struct TFontDesc {
  /// Character height in pixels: the height of the glyphs without internal leading.
  std::int32_t Height = 0;
  /// Tenths of a degree, counter-clockwise: the angle of the text's base line.
  std::int32_t Escapement = 0;
  std::int32_t Orientation = 0;
  std::int32_t Weight = 400;  ///< 400 normal, 700 bold
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  std::string FaceName;
  friend bool operator==(const TFontDesc&, const TFontDesc&) = default;
};

enum class TObjectKind : std::uint8_t { Pen, Brush, Font };

/// A device-independent drawing object. Immutable once made.
class TDeviceObject {
 public:
  explicit TDeviceObject(const TPenDesc& Pen) : kind_(TObjectKind::Pen), pen_(Pen) {}
  explicit TDeviceObject(const TBrushDesc& Brush) : kind_(TObjectKind::Brush), brush_(Brush) {}
  explicit TDeviceObject(TFontDesc Font) : kind_(TObjectKind::Font), font_(std::move(Font)) {}

  [[nodiscard]] TObjectKind Kind() const noexcept { return kind_; }
  /// The description; only the one of the object's kind is meaningful.
  [[nodiscard]] const TPenDesc& Pen() const noexcept { return pen_; }
  [[nodiscard]] const TBrushDesc& Brush() const noexcept { return brush_; }
  [[nodiscard]] const TFontDesc& Font() const noexcept { return font_; }

  /// Room for a backend to keep what it built from the description (a font's metrics, a
  /// pattern image), so that selecting the object again costs nothing.
  mutable std::shared_ptr<void> BackendCache;

 private:
  TObjectKind kind_;
  TPenDesc pen_;
  TBrushDesc brush_;
  TFontDesc font_;
};

/// A handle to a drawing object; empty means none. The object lives while a handle or a
/// device that selected it holds it.
using THandle = std::shared_ptr<const TDeviceObject>;

[[nodiscard]] THandle CreatePen(const TPenDesc& Desc);
[[nodiscard]] THandle CreateBrush(const TBrushDesc& Desc);
[[nodiscard]] THandle CreateFontObject(const TFontDesc& Desc);

/// Stock objects, numbered as the stored algorithms name them.
enum TStockObject : std::uint8_t {
  WHITE_BRUSH = 0,
  LTGRAY_BRUSH = 1,
  GRAY_BRUSH = 2,
  DKGRAY_BRUSH = 3,
  BLACK_BRUSH = 4,
  NULL_BRUSH = 5,
  WHITE_PEN = 6,
  BLACK_PEN = 7,
  NULL_PEN = 8,
  SYSTEM_FONT = 13,
  DEFAULT_GUI_FONT = 17,
};
/// The shared stock object; an unknown number gives an empty handle.
[[nodiscard]] THandle GetStockObject(int Index);

// ---- Pictures ---------------------------------------------------------------------------

/// A 32-bit picture: rows top-down, four bytes a pixel in the order blue, green, red and a
/// fourth byte that belongs to no colour, rows packed without padding. Black when made.
///
/// The raster engine takes the pixels as opaque 0xFFRRGGBB words and reads the fourth byte:
/// whoever hands the picture to it calls EnsureOpaque first. A new picture leaves the byte 0,
/// so that its memory stays the system's untouched zero pages until the picture is drawn (a
/// view's picture that only stands by costs nothing). Direct writers change the blue, green
/// and red bytes in place, or store whole pixels with PutPixel, which sets the fourth byte.
///
/// On Windows the pixels live in a pagefile-backed section (zeroed like calloc), so that a
/// GDI DIB section can draw into the same memory (Section()). GDI writes 0 into the fourth
/// byte of what it draws; its devices call FourthByteChanged, so that the next EnsureOpaque
/// sets the byte again.
class TBitmap {
 public:
  /// The largest picture in bytes (stride × height): 2^31 − 1.
  static constexpr std::int64_t kMaxBytes = 0x7FFFFFFF;
  /// Bytes a pixel takes.
  static constexpr std::int32_t kPixelBytes = 4;
  /// The fourth byte of every pixel, as the high byte of a pixel word.
  static constexpr std::uint32_t kOpaque = 0xFF000000u;

  /// Width and height of at least 1; smaller values make an empty picture (0 × 0). Throws
  /// std::length_error when the picture would need more than kMaxBytes, std::bad_alloc
  /// when the memory is not there.
  TBitmap(std::int32_t Width, std::int32_t Height);
  TBitmap(const TBitmap& Other);
  TBitmap& operator=(const TBitmap& Other);
  TBitmap(TBitmap&&) noexcept = default;
  TBitmap& operator=(TBitmap&&) noexcept = default;

  [[nodiscard]] std::int32_t Width() const noexcept { return width_; }
  [[nodiscard]] std::int32_t Height() const noexcept { return height_; }
  [[nodiscard]] bool Empty() const noexcept { return width_ == 0 || height_ == 0; }
  /// Bytes from one row to the next: kPixelBytes × Width.
  [[nodiscard]] std::int32_t Stride() const noexcept { return stride_; }
  /// First byte of row Y (0 = top); Y must be in 0 … Height − 1.
  [[nodiscard]] std::uint8_t* ScanLine(std::int32_t Y) noexcept {
    return data_.get() + static_cast<std::size_t>(Y) * static_cast<std::size_t>(stride_);
  }
  [[nodiscard]] const std::uint8_t* ScanLine(std::int32_t Y) const noexcept {
    return data_.get() + static_cast<std::size_t>(Y) * static_cast<std::size_t>(stride_);
  }
  /// Pixel colour as 0x00BBGGRR; (X, Y) must lie inside.
  [[nodiscard]] TColor Pixel(std::int32_t X, std::int32_t Y) const noexcept {
    const std::uint8_t* p = ScanLine(Y) + static_cast<std::size_t>(kPixelBytes) * X;
    return RGB(p[2], p[1], p[0]);
  }
  [[nodiscard]] std::span<std::uint8_t> Bytes() noexcept { return {data_.get(), size_}; }
  /// Sets the fourth byte of every pixel to 0xFF, once in the picture's life (later calls
  /// return at once): after that the writers above keep it. No colour changes, hence const.
  void EnsureOpaque() const noexcept {
    if (!opaque_) MakeOpaque();
  }
  /// Says that a writer that does not keep the fourth byte has drawn.
  void FourthByteChanged() const noexcept { opaque_ = false; }
#ifdef _WIN32
  /// The section object that holds the pixels (a HANDLE); null for an empty picture.
  [[nodiscard]] void* Section() const noexcept { return section_.get(); }
#endif

 private:
  void Allocate(std::size_t Bytes);
  void MakeOpaque() const noexcept;

  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::int32_t stride_ = 0;
  mutable bool opaque_ = false;
  // Zeroed by calloc (a fresh section on Windows): large pictures then come as fresh pages
  // from the system, which take no memory until drawn on.
#ifdef _WIN32
  struct TFree {
    void operator()(std::uint8_t* p) const noexcept;  // unmaps the view
  };
  struct TCloseSection {
    void operator()(void* Handle) const noexcept;
  };
  std::unique_ptr<void, TCloseSection> section_;
#else
  struct TFree {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
  };
#endif
  std::size_t size_ = 0;
  std::unique_ptr<std::uint8_t[], TFree> data_;
};

// The byte order above is that of a little-endian pixel word.
static_assert(std::endian::native == std::endian::little);

/// Stores the pixel at p (a pixel's first byte) from a word with blue in the low byte, then
/// green and red; the high byte is set to 0xFF whatever it held.
inline void PutPixel(std::uint8_t* p, std::uint32_t Bgr) noexcept {
  const std::uint32_t word = Bgr | TBitmap::kOpaque;
  std::memcpy(p, &word, sizeof word);
}

/// The pixel word of an RGB colour (0x00BBGGRR): red and blue change places.
[[nodiscard]] constexpr std::uint32_t PixelWord(TColor Color) noexcept {
  return std::uint32_t{GetBValue(Color)} | (std::uint32_t{GetGValue(Color)} << 8) |
         (std::uint32_t{GetRValue(Color)} << 16);
}

/// The four bytes at p as a little-endian word (a palette entry: blue in the low byte).
[[nodiscard]] inline std::uint32_t LoadPixelWord(const std::uint8_t* p) noexcept {
  std::uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// ---- Device context ---------------------------------------------------------------------

enum TBkMode : std::uint8_t { TRANSPARENT = 1, OPAQUE = 2 };

/// Text alignment flags; the reference point of TextOut is the corner or edge they name.
enum TTextAlign : std::uint16_t {
  TA_LEFT = 0,
  TA_TOP = 0,
  TA_RIGHT = 2,
  TA_CENTER = 6,
  TA_BOTTOM = 8,
  TA_BASELINE = 24,
};

/// A device context. The state (selected objects, modes, colours, alignment, viewport
/// origin) lives here; backends draw with it. Coordinates are device pixels, moved by the
/// viewport origin. Rectangles exclude their right and bottom edges. A new device has the
/// stock black pen, white brush and system font selected, so a selected object is never
/// empty.
class TDevice {
 public:
  TDevice();
  virtual ~TDevice();
  TDevice(const TDevice&) = delete;
  TDevice& operator=(const TDevice&) = delete;

  // -- state --
  /// Selects a pen, brush or font and returns the one of that kind it replaces (an empty
  /// handle selects nothing and returns an empty handle).
  virtual THandle SelectObject(const THandle& Object);
  [[nodiscard]] const THandle& CurrentPen() const noexcept { return pen_; }
  [[nodiscard]] const THandle& CurrentBrush() const noexcept { return brush_; }
  [[nodiscard]] const THandle& CurrentFont() const noexcept { return font_; }

  virtual void SetBkMode(TBkMode Mode) { bk_mode_ = Mode; }
  [[nodiscard]] TBkMode BkMode() const noexcept { return bk_mode_; }
  virtual void SetBkColor(TColor Color) { bk_color_ = Color; }
  [[nodiscard]] TColor BkColor() const noexcept { return bk_color_; }
  virtual void SetTextColor(TColor Color) { text_color_ = Color; }
  [[nodiscard]] TColor TextColor() const noexcept { return text_color_; }
  virtual void SetTextAlign(std::uint16_t Flags) { text_align_ = Flags; }
  [[nodiscard]] std::uint16_t TextAlign() const noexcept { return text_align_; }
  virtual void SetViewportOrigin(TPoint Origin) { viewport_ = Origin; }
  [[nodiscard]] TPoint ViewportOrigin() const noexcept { return viewport_; }

  /// Limits drawing to Rect, given in device pixels without the viewport origin;
  /// RemoveClipping lifts the limit.
  virtual void SetClipRect(const TRect& Rect) = 0;
  virtual void RemoveClipping() = 0;

  /// Horizontal and vertical resolution.
  [[nodiscard]] virtual std::int32_t PixelsPerInchX() const = 0;
  [[nodiscard]] virtual std::int32_t PixelsPerInchY() const = 0;

  // -- drawing --
  /// Filled with the brush by the alternate (even-odd) rule and outlined with the pen;
  /// fewer than 2 points draw nothing.
  virtual void Polygon(std::span<const TPoint> Points) = 0;
  /// Segments between consecutive points with the pen; fewer than 2 points draw nothing.
  virtual void Polyline(std::span<const TPoint> Points) = 0;
  /// Ellipse inscribed in Rect, filled and outlined.
  virtual void Ellipse(const TRect& Rect) = 0;
  /// Rectangle filled with the brush and outlined with the pen; with or without an
  /// outline it covers Rect's pixels and no others (a wide pen reaches beyond them).
  virtual void Rectangle(const TRect& Rect) = 0;
  /// Fills Rect with Brush (no outline); the selected brush is not changed.
  virtual void FillRect(const TRect& Rect, const THandle& Brush) = 0;
  virtual void SetPixel(std::int32_t X, std::int32_t Y, TColor Color) = 0;
  /// UTF-8 text with the selected font in the text colour, its reference point at (X, Y) as
  /// the text alignment says, turned by the font's escapement; the background mode decides
  /// whether the text's cell is filled with the background colour.
  virtual void TextOut(std::int32_t X, std::int32_t Y, std::string_view Text) = 0;
  /// Width and height of the text with the selected font, not turned.
  [[nodiscard]] virtual TSize TextExtent(std::string_view Text) = 0;
  /// Copies the picture with its top-left corner at (X, Y).
  virtual void DrawBitmap(std::int32_t X, std::int32_t Y, const TBitmap& Bitmap) = 0;
  /// Scales the picture into Dest.
  virtual void StretchBitmap(const TRect& Dest, const TBitmap& Bitmap) = 0;
  /// The dotted rectangle that marks a focus; drawing it twice removes it.
  virtual void DrawFocusRect(const TRect& Rect) = 0;

  /// The picture a memory device draws into; null for other devices.
  [[nodiscard]] virtual TBitmap* Bitmap() noexcept { return nullptr; }

 private:
  THandle pen_;
  THandle brush_;
  THandle font_;
  TBkMode bk_mode_ = OPAQUE;
  TColor bk_color_ = RGB(255, 255, 255);
  TColor text_color_ = 0;
  std::uint16_t text_align_ = TA_LEFT | TA_TOP;
  TPoint viewport_;
};

// ---- Graphics services ------------------------------------------------------------------

/// The kinds of vector file a device can draw into.
/// Emf is the enhanced metafile of GDI, which only the Windows host writes.
enum class TVectorFormat : std::uint8_t { Svg, Pdf, Emf };

/// What the engine needs of the host's graphics beyond one device: the screen's resolution
/// and devices that draw into pictures.
class TGraphics {
 public:
  virtual ~TGraphics() = default;
  /// Vertical pixels per inch of the screen.
  [[nodiscard]] virtual std::int32_t ScreenPixelsPerInch() const = 0;
  /// A device that draws into Bitmap, which it keeps alive; its resolution is the screen's
  /// until the caller says otherwise.
  [[nodiscard]] virtual std::unique_ptr<TDevice> CreateMemoryDevice(
      std::shared_ptr<TBitmap> Bitmap) = 0;
  /// A device that draws into a new vector file of Width × Height device pixels at
  /// PixelsPerInch, naming Creator as the program that made it; the file is complete when
  /// the device is destroyed. Throws std::runtime_error "Vector output is not supported"
  /// where the host has none, and when the file cannot be written.
  [[nodiscard]] virtual std::unique_ptr<TDevice> CreateVectorFileDevice(
      TVectorFormat /*Format*/, const std::string& /*FileName*/, std::int32_t /*Width*/,
      std::int32_t /*Height*/, std::int32_t /*PixelsPerInch*/, const std::string& /*Creator*/) {
    throw std::runtime_error("Vector output is not supported");
  }
  /// The picture in the file, its format chosen by the file's extension. Throws
  /// std::runtime_error "Unable to load picture <FileName>" when the file does not load
  /// (always, where the host has no picture loader).
  [[nodiscard]] virtual std::shared_ptr<TBitmap> LoadPicture(const std::string& FileName) {
    throw std::runtime_error("Unable to load picture " + FileName);
  }
};

/// The process-wide graphics services. Until the host installs its own, a recording
/// implementation (96 pixels per inch, recording memory devices) stands in.
[[nodiscard]] TGraphics& Graphics() noexcept;
/// Installs Services (not owned; null restores the stand-in) and returns the previously
/// installed one (null for the stand-in), so that a caller can put it back.
TGraphics* SetGraphics(TGraphics* Services) noexcept;

}  // namespace platform
