#include "platform/qt/qtdevice.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QPageLayout>
#include <QPageSize>
#include <QPaintEngine>
#include <QPdfWriter>
#include <QScreen>
#include <QSvgGenerator>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace platform {

// What the Qt backend builds from a drawing object, kept in the object's BackendCache.
// Only this backend writes that cache, and each object kind always holds its own type.
struct TQtDevice::TPenInfo {
  bool Visible = true;
  bool Gapped = false;  // a thin dashed pen, whose gaps the opaque mode fills
  std::int32_t FrameInset = 0;
  QPen Pen;
};

struct TQtDevice::TBrushInfo {
  TBrushKind Kind = TBrushKind::Solid;
  QBrush Brush;
  TColor PatternColor = 0;  // the text colour Brush was made with (pattern brushes)
};

struct TQtDevice::TFontInfo {
  QFont Font;
  QFontMetrics Metrics{QFont()};
};

namespace {

QColor ToQColor(TColor Color) {
  return QColor(GetRValue(Color), GetGValue(Color), GetBValue(Color));
}

// 8 × 8 hatch bitmaps, top row first, most significant bit leftmost; 1 bits are lines.
constexpr std::array<std::array<std::uint8_t, 8>, 6> kHatches = {{
    {0xFF, 0, 0, 0, 0, 0, 0, 0},                       // horizontal
    {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80},  // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // "\"
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // "/"
    {0xFF, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80},  // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
}};

// A texture brush that paints Color where the bit equals Ink and leaves the rest alone.
QBrush PatternBrush(const std::array<std::uint8_t, 8>& Rows, bool Ink, TColor Color) {
  QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
  const QRgb ink = 0xFF000000u | qRgb(GetRValue(Color), GetGValue(Color), GetBValue(Color));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool bit = (Rows[y] >> (7 - x)) & 1;
      image.setPixel(x, y, bit == Ink ? ink : 0u);
    }
  return QBrush(image);
}

// A stroked QRect reaches one pixel beyond its size: the outline of R runs through the last
// pixel inside it, moved in by Inset for inside-frame pens.
QRect OutlineRect(const TRect& R, std::int32_t Inset) {
  return QRect(R.Left + Inset, R.Top + Inset, std::max(0, R.Width() - 1 - 2 * Inset),
               std::max(0, R.Height() - 1 - 2 * Inset));
}

TRect Normalised(const TRect& R) {
  return {std::min(R.Left, R.Right), std::min(R.Top, R.Bottom), std::max(R.Left, R.Right),
          std::max(R.Top, R.Bottom)};
}

// The picture's pixels are the raster engine's opaque 32-bit ones: it fills and copies them
// on its native paths, with no conversion.
constexpr QImage::Format kPictureFormat = QImage::Format_RGB32;

// Read-only: drawing on it would paint a copy.
QImage WrapBitmap(const TBitmap& Bitmap) {
  Bitmap.EnsureOpaque();
  return QImage(Bitmap.ScanLine(0), Bitmap.Width(), Bitmap.Height(), Bitmap.Stride(),
                kPictureFormat);
}

}  // namespace

// ---- TQtDevice --------------------------------------------------------------------------

TQtDevice::TQtDevice(QPaintDevice& Target, std::int32_t PixelsPerInch) {
  Begin(Target, PixelsPerInch);
}

TQtDevice::~TQtDevice() { End(); }

void TQtDevice::Begin(QPaintDevice& Target, std::int32_t PixelsPerInch) {
  ppi_x_ = PixelsPerInch > 0 ? PixelsPerInch : Target.logicalDpiX();
  ppi_y_ = PixelsPerInch > 0 ? PixelsPerInch : Target.logicalDpiY();
  if (!painter_.begin(&Target)) return;
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter_.setRenderHint(QPainter::TextAntialiasing, true);
  painter_.setBackgroundMode(Qt::TransparentMode);  // the opaque mode is done here
  SetViewportOrigin(ViewportOrigin());
}

void TQtDevice::End() {
  if (painter_.isActive()) painter_.end();
}

void TQtDevice::SetPixelsPerInch(std::int32_t X, std::int32_t Y) noexcept {
  ppi_x_ = X;
  ppi_y_ = Y;
}

void TQtDevice::SetViewportOrigin(TPoint Origin) {
  TDevice::SetViewportOrigin(Origin);
  if (!Active()) return;
  painter_.setTransform(QTransform::fromTranslate(Origin.X, Origin.Y));
  // Patterns stay anchored to the device, not to the moved origin.
  painter_.setBrushOrigin(-Origin.X, -Origin.Y);
}

void TQtDevice::SetClipRect(const TRect& Rect) {
  clip_ = Rect;
  if (!Active()) return;
  const TRect r = Rect.Width() > 0 && Rect.Height() > 0 ? Rect : TRect{};
  // The rectangle is in device pixels: set it without the viewport translation.
  const QTransform transform = painter_.transform();
  painter_.resetTransform();
  painter_.setClipRect(QRect(r.Left, r.Top, r.Width(), r.Height()));
  painter_.setTransform(transform);
}

void TQtDevice::RemoveClipping() {
  clip_.reset();
  if (Active()) painter_.setClipping(false);
}

const TQtDevice::TPenInfo& TQtDevice::ResolvePen() {
  const TDeviceObject& object = *CurrentPen();
  if (!object.BackendCache) {
    const TPenDesc& desc = object.Pen();
    auto info = std::make_shared<TPenInfo>();
    const QColor color = ToQColor(desc.Color);
    if (desc.Style == psClear) {
      info->Visible = false;
      info->Pen = QPen(Qt::NoPen);
    } else if (desc.Width > 1) {
      info->Pen = QPen(color, desc.Width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
      if (desc.Style == psInsideFrame) info->FrameInset = desc.Width / 2;
    } else {
      // Width 0 and 1 alike: the one-pixel cosmetic pen.
      info->Pen = QPen(color, 0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
      QList<qreal> dashes;
      switch (desc.Style) {
        case psDash:
          dashes = {18, 6};
          break;
        case psDot:
          dashes = {3, 3};
          break;
        case psDashDot:
          dashes = {9, 6, 3, 6};
          break;
        case psDashDotDot:
          dashes = {9, 3, 3, 3, 3, 3};
          break;
        default:
          break;
      }
      if (!dashes.isEmpty()) {
        info->Pen.setDashPattern(dashes);
        info->Gapped = true;
      }
    }
    object.BackendCache = info;
  }
  return *static_cast<const TPenInfo*>(object.BackendCache.get());
}

const TQtDevice::TBrushInfo* TQtDevice::ResolveBrush(const THandle& Brush) {
  if (!Brush || Brush->Kind() != TObjectKind::Brush) return nullptr;
  const TDeviceObject& object = *Brush;
  const TBrushDesc& desc = object.Brush();
  if (desc.Kind == TBrushKind::Null) return nullptr;
  if (!object.BackendCache) {
    auto info = std::make_shared<TBrushInfo>();
    info->Kind = desc.Kind;
    switch (desc.Kind) {
      case TBrushKind::Solid:
        info->Brush = QBrush(ToQColor(desc.Color));
        break;
      case TBrushKind::Hatched:
        info->Brush = PatternBrush(kHatches[std::min<std::size_t>(desc.Hatch, kHatches.size() - 1)],
                                   true, desc.Color);
        break;
      case TBrushKind::Pattern:
        info->PatternColor = TextColor();
        info->Brush = PatternBrush(desc.Pattern, false, TextColor());
        break;
      case TBrushKind::Null:
        break;
    }
    object.BackendCache = info;
  }
  auto* info = static_cast<TBrushInfo*>(object.BackendCache.get());
  // A pattern paints in the text colour of the moment.
  if (info->Kind == TBrushKind::Pattern && info->PatternColor != TextColor()) {
    info->PatternColor = TextColor();
    info->Brush = PatternBrush(desc.Pattern, false, TextColor());
  }
  return info;
}

const TQtDevice::TFontInfo& TQtDevice::ResolveFont() {
  const TDeviceObject& object = *CurrentFont();
  if (!object.BackendCache) {
    const TFontDesc& desc = object.Font();
    auto info = std::make_shared<TFontInfo>();
    if (!desc.FaceName.empty()) info->Font.setFamily(QString::fromStdString(desc.FaceName));
    info->Font.setPixelSize(desc.Height == 0 ? 12 : std::max(1, std::abs(desc.Height)));
    info->Font.setWeight(static_cast<QFont::Weight>(
        desc.Weight <= 0 ? 400 : std::clamp<std::int32_t>(desc.Weight, 1, 1000)));
    info->Font.setItalic(desc.Italic);
    info->Font.setUnderline(desc.Underline);
    info->Font.setStrikeOut(desc.StrikeOut);
    info->Metrics = QFontMetrics(info->Font);
    object.BackendCache = info;
  }
  return *static_cast<const TFontInfo*>(object.BackendCache.get());
}

template <class DrawFn>
void TQtDevice::PaintShape(const THandle& Brush, bool Outline, DrawFn Draw) {
  const TBrushInfo* fill = ResolveBrush(Brush);
  const TPenInfo* pen = Outline ? &ResolvePen() : nullptr;
  if (pen && !pen->Visible) pen = nullptr;
  const bool opaque = BkMode() == OPAQUE;
  if (fill && fill->Kind != TBrushKind::Solid && opaque) {
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(ToQColor(BkColor()));
    Draw();
  }
  if (pen && pen->Gapped && opaque) {
    if (fill) {
      painter_.setPen(Qt::NoPen);
      painter_.setBrush(fill->Brush);
      Draw();
    }
    QPen gaps = pen->Pen;
    gaps.setStyle(Qt::SolidLine);
    gaps.setColor(ToQColor(BkColor()));
    painter_.setBrush(Qt::NoBrush);
    painter_.setPen(gaps);
    Draw();
    painter_.setPen(pen->Pen);
    Draw();
    return;
  }
  painter_.setPen(pen ? pen->Pen : QPen(Qt::NoPen));
  painter_.setBrush(fill ? fill->Brush : QBrush(Qt::NoBrush));
  Draw();
}

void TQtDevice::Polygon(std::span<const TPoint> Points) {
  if (!Active() || Points.size() < 2) return;
  points_.resize(Points.size());
  std::transform(Points.begin(), Points.end(), points_.begin(),
                 [](const TPoint& p) { return QPoint(p.X, p.Y); });
  const int count = static_cast<int>(points_.size());
  PaintShape(CurrentBrush(), true,
             [&] { painter_.drawPolygon(points_.data(), count, Qt::OddEvenFill); });
}

void TQtDevice::Polyline(std::span<const TPoint> Points) {
  if (!Active() || Points.size() < 2 || !ResolvePen().Visible) return;
  points_.resize(Points.size());
  std::transform(Points.begin(), Points.end(), points_.begin(),
                 [](const TPoint& p) { return QPoint(p.X, p.Y); });
  const int count = static_cast<int>(points_.size());
  PaintShape(nullptr, true, [&] { painter_.drawPolyline(points_.data(), count); });
}

void TQtDevice::Rectangle(const TRect& Rect) {
  if (!Active()) return;
  const TRect r = Normalised(Rect);
  if (r.Width() == 0 || r.Height() == 0) return;
  const TPenInfo& pen = ResolvePen();
  if (!pen.Visible) {
    PaintShape(CurrentBrush(), false,
               [&] { painter_.drawRect(QRect(r.Left, r.Top, r.Width(), r.Height())); });
    return;
  }
  const QRect q = OutlineRect(r, pen.FrameInset);
  if (q.width() > 0 && q.height() > 0) {
    PaintShape(CurrentBrush(), true, [&] { painter_.drawRect(q); });
  } else {
    // One pixel wide or high: only the outline is left, as a line.
    const QPoint corners[4] = {q.topLeft(), QPoint(q.left() + q.width(), q.top()),
                               QPoint(q.left() + q.width(), q.top() + q.height()),
                               QPoint(q.left(), q.top() + q.height())};
    PaintShape(nullptr, true, [&] { painter_.drawPolygon(corners, 4); });
  }
}

void TQtDevice::Ellipse(const TRect& Rect) {
  if (!Active()) return;
  const TRect r = Normalised(Rect);
  if (r.Width() == 0 || r.Height() == 0) return;
  const TPenInfo& pen = ResolvePen();
  if (!pen.Visible) {
    PaintShape(CurrentBrush(), false,
               [&] { painter_.drawEllipse(QRect(r.Left, r.Top, r.Width(), r.Height())); });
    return;
  }
  const QRect q = OutlineRect(r, pen.FrameInset);
  PaintShape(CurrentBrush(), true, [&] { painter_.drawEllipse(q); });
}

void TQtDevice::FillRect(const TRect& Rect, const THandle& Brush) {
  if (!Active() || Rect.Width() <= 0 || Rect.Height() <= 0) return;
  const QRect q(Rect.Left, Rect.Top, Rect.Width(), Rect.Height());
  PaintShape(Brush, false, [&] { painter_.drawRect(q); });
}

void TQtDevice::SetPixel(std::int32_t X, std::int32_t Y, TColor Color) {
  if (!Active()) return;
  if (TBitmap* bitmap = DirectPixels()) {
    // Straight into the picture: a painter call per pixel costs far more.
    const std::int64_t x = std::int64_t{X} + ViewportOrigin().X;
    const std::int64_t y = std::int64_t{Y} + ViewportOrigin().Y;
    if (x < 0 || y < 0 || x >= bitmap->Width() || y >= bitmap->Height()) return;
    if (clip_ && (x < clip_->Left || y < clip_->Top || x >= clip_->Right || y >= clip_->Bottom))
      return;
    PutPixel(bitmap->ScanLine(static_cast<std::int32_t>(y)) + TBitmap::kPixelBytes * x,
             PixelWord(Color));
    return;
  }
  painter_.fillRect(QRect(X, Y, 1, 1), ToQColor(Color));
}

void TQtDevice::TextOut(std::int32_t X, std::int32_t Y, std::string_view Text) {
  if (!Active() || Text.empty()) return;
  const TFontInfo& font = ResolveFont();
  const QString text = QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
  const int width = font.Metrics.horizontalAdvance(text);
  const int ascent = font.Metrics.ascent();
  const int descent = font.Metrics.descent();

  const std::uint16_t align = TextAlign();
  int dx = 0;
  if ((align & TA_CENTER) == TA_CENTER)
    dx = -width / 2;
  else if ((align & TA_CENTER) == TA_RIGHT)
    dx = -width;
  int baseline = ascent;  // top
  if ((align & TA_BASELINE) == TA_BASELINE)
    baseline = 0;
  else if ((align & TA_BASELINE) == TA_BOTTOM)
    baseline = -descent;

  // Draw in a frame whose origin is the reference point, turned counter-clockwise.
  const QTransform device = painter_.transform();
  const std::int32_t escapement = CurrentFont()->Font().Escapement;
  QTransform frame = device;
  frame.translate(X, Y);
  if (escapement % 3600 != 0) frame.rotate(-escapement / 10.0);
  painter_.setTransform(frame);
  if (BkMode() == OPAQUE)
    painter_.fillRect(QRect(dx, baseline - ascent, width, ascent + descent), ToQColor(BkColor()));
  painter_.setFont(font.Font);
  painter_.setPen(ToQColor(TextColor()));
  painter_.drawText(QPoint(dx, baseline), text);
  painter_.setTransform(device);
}

TSize TQtDevice::TextExtent(std::string_view Text) {
  const TFontInfo& font = ResolveFont();
  const QString text = QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
  return {font.Metrics.horizontalAdvance(text), font.Metrics.ascent() + font.Metrics.descent()};
}

void TQtDevice::DrawBitmap(std::int32_t X, std::int32_t Y, const TBitmap& Bitmap) {
  if (!Active() || Bitmap.Empty()) return;
  painter_.drawImage(QPoint(X, Y), WrapBitmap(Bitmap));
}

void TQtDevice::StretchBitmap(const TRect& Dest, const TBitmap& Bitmap) {
  if (!Active() || Bitmap.Empty() || Dest.Width() == 0 || Dest.Height() == 0) return;
  const TRect r = Normalised(Dest);
  const QRect target(r.Left, r.Top, r.Width(), r.Height());
  const QImage image = WrapBitmap(Bitmap);
  if (Dest.Width() < 0 || Dest.Height() < 0)
    painter_.drawImage(target, image.mirrored(Dest.Width() < 0, Dest.Height() < 0));
  else
    painter_.drawImage(target, image);
}

void TQtDevice::FocusRectDirect(TBitmap& Bitmap, const TRect& Rect) {
  const TPoint o = ViewportOrigin();
  const TRect r =
      Normalised({Rect.Left + o.X, Rect.Top + o.Y, Rect.Right + o.X, Rect.Bottom + o.Y});
  if (r.Width() == 0 || r.Height() == 0) return;
  TRect bounds{0, 0, Bitmap.Width(), Bitmap.Height()};
  if (clip_) {
    bounds.Left = std::max(bounds.Left, clip_->Left);
    bounds.Top = std::max(bounds.Top, clip_->Top);
    bounds.Right = std::min(bounds.Right, clip_->Right);
    bounds.Bottom = std::min(bounds.Bottom, clip_->Bottom);
  }
  auto invert = [&](std::int32_t x, std::int32_t y) {
    if (((x + y) & 1) != 0 || x < bounds.Left || y < bounds.Top || x >= bounds.Right ||
        y >= bounds.Bottom)
      return;
    std::uint8_t* p = Bitmap.ScanLine(y) + TBitmap::kPixelBytes * x;
    p[0] ^= 0xFF;
    p[1] ^= 0xFF;
    p[2] ^= 0xFF;
  };
  // Each border pixel once, so that a second call undoes the first.
  for (std::int32_t x = r.Left; x < r.Right; ++x) {
    invert(x, r.Top);
    if (r.Bottom - 1 > r.Top) invert(x, r.Bottom - 1);
  }
  for (std::int32_t y = r.Top + 1; y < r.Bottom - 1; ++y) {
    invert(r.Left, y);
    if (r.Right - 1 > r.Left) invert(r.Right - 1, y);
  }
}

void TQtDevice::DrawFocusRect(const TRect& Rect) {
  if (!Active()) return;
  if (TBitmap* bitmap = DirectPixels()) {
    FocusRectDirect(*bitmap, Rect);
    return;
  }
  const TRect r = Normalised(Rect);
  if (r.Width() == 0 || r.Height() == 0) return;
  if (!painter_.paintEngine()->hasFeature(QPaintEngine::RasterOpModes)) {
    painter_.setBrush(Qt::NoBrush);
    painter_.setPen(QPen(Qt::black, 0, Qt::DotLine));
    painter_.drawRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
    return;
  }
  const TPoint o = ViewportOrigin();
  painter_.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  auto invert = [&](std::int32_t x, std::int32_t y) {
    if (((x + o.X + y + o.Y) & 1) == 0) painter_.fillRect(QRect(x, y, 1, 1), Qt::white);
  };
  for (std::int32_t x = r.Left; x < r.Right; ++x) {
    invert(x, r.Top);
    if (r.Bottom - 1 > r.Top) invert(x, r.Bottom - 1);
  }
  for (std::int32_t y = r.Top + 1; y < r.Bottom - 1; ++y) {
    invert(r.Left, y);
    if (r.Right - 1 > r.Left) invert(r.Right - 1, y);
  }
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

// ---- TQtMemoryDevice --------------------------------------------------------------------

TQtMemoryDevice::TQtMemoryDevice(std::shared_ptr<TBitmap> Bitmap, std::int32_t PixelsPerInch)
    : bitmap_(std::move(Bitmap)) {
  SetPixelsPerInch(PixelsPerInch, PixelsPerInch);
  if (!bitmap_ || bitmap_->Empty()) return;
  bitmap_->EnsureOpaque();
  // The image borrows the picture's bytes; it has the only reference, so the painter
  // never detaches it into a copy.
  image_ = QImage(bitmap_->ScanLine(0), bitmap_->Width(), bitmap_->Height(), bitmap_->Stride(),
                  kPictureFormat);
  Begin(image_, PixelsPerInch);
}

TQtMemoryDevice::~TQtMemoryDevice() { End(); }

// ---- Vector files -----------------------------------------------------------------------

namespace {

class TQtVectorDevice final : public TQtDevice {
 public:
  TQtVectorDevice(std::unique_ptr<QPaintDevice> Target, std::int32_t PixelsPerInch,
                  const std::string& FileName)
      : target_(std::move(Target)) {
    Begin(*target_, PixelsPerInch);
    if (!Active()) throw std::runtime_error("cannot write \"" + FileName + "\"");
  }
  ~TQtVectorDevice() override { End(); }

 private:
  std::unique_ptr<QPaintDevice> target_;
};

}  // namespace

std::unique_ptr<TQtDevice> CreateVectorFileDevice(const std::string& FileName, TVectorFormat Format,
                                                  std::int32_t Width, std::int32_t Height,
                                                  std::int32_t PixelsPerInch,
                                                  const std::string& Creator) {
  if (Format != TVectorFormat::Svg && Format != TVectorFormat::Pdf)
    throw std::runtime_error("Vector output is not supported");
  if (Width < 1 || Height < 1 || PixelsPerInch < 1)
    throw std::invalid_argument("vector device: size and resolution must be at least 1");
  const QString name = QString::fromStdString(FileName);
  std::unique_ptr<QPaintDevice> target;
  if (Format == TVectorFormat::Svg) {
    auto svg = std::make_unique<QSvgGenerator>();
    svg->setFileName(name);
    svg->setSize(QSize(Width, Height));
    svg->setViewBox(QRect(0, 0, Width, Height));
    svg->setResolution(PixelsPerInch);
    if (!Creator.empty()) svg->setDescription(QString::fromStdString(Creator));
    target = std::move(svg);
  } else {
    auto pdf = std::make_unique<QPdfWriter>(name);
    pdf->setResolution(PixelsPerInch);
    if (!Creator.empty()) pdf->setCreator(QString::fromStdString(Creator));
    const QPageSize page(QSizeF(Width * 72.0 / PixelsPerInch, Height * 72.0 / PixelsPerInch),
                         QPageSize::Point, QString(), QPageSize::ExactMatch);
    pdf->setPageLayout(QPageLayout(page, QPageLayout::Portrait, QMarginsF()));
    target = std::move(pdf);
  }
  return std::make_unique<TQtVectorDevice>(std::move(target), PixelsPerInch, FileName);
}

// ---- TQtGraphics ------------------------------------------------------------------------

std::int32_t TQtGraphics::ScreenPixelsPerInch() const {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      return static_cast<std::int32_t>(std::lround(screen->logicalDotsPerInchY()));
  return 96;
}

std::unique_ptr<TDevice> TQtGraphics::CreateMemoryDevice(std::shared_ptr<TBitmap> Bitmap) {
  return std::make_unique<TQtMemoryDevice>(std::move(Bitmap), ScreenPixelsPerInch());
}

std::unique_ptr<TDevice> TQtGraphics::CreateVectorFileDevice(
    TVectorFormat Format, const std::string& FileName, std::int32_t Width, std::int32_t Height,
    std::int32_t PixelsPerInch, const std::string& Creator) {
  return platform::CreateVectorFileDevice(FileName, Format, Width, Height, PixelsPerInch, Creator);
}

std::shared_ptr<TBitmap> TQtGraphics::LoadPicture(const std::string& FileName) {
  QImageReader reader(QString::fromStdString(FileName));
  QImage image = reader.read();
  if (image.isNull()) throw std::runtime_error("Unable to load picture " + FileName);
  image = image.convertToFormat(kPictureFormat);
  auto bitmap = std::make_shared<TBitmap>(image.width(), image.height());
  // Both keep rows top-down in the same 32-bit pixels; only the row padding may differ.
  const auto rowBytes = static_cast<std::size_t>(image.width()) * TBitmap::kPixelBytes;
  for (std::int32_t y = 0; y < bitmap->Height(); ++y)
    std::memcpy(bitmap->ScanLine(y), image.constScanLine(y), rowBytes);
  return bitmap;
}

}  // namespace platform
