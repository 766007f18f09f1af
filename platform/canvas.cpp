#include "platform/canvas.h"

#include <cstdlib>
#include <limits>

namespace platform {

namespace {

// a × b / c rounded half away from zero; 0 for c = 0 or a result beyond 32 bits.
std::int32_t ScaleRounded(std::int32_t a, std::int32_t b, std::int32_t c) noexcept {
  if (c == 0) return 0;
  const std::int64_t num = static_cast<std::int64_t>(a) * b;
  const std::int64_t den = c;
  std::int64_t q = num / den;
  const std::int64_t r = num % den;
  if (2 * std::llabs(r) >= std::llabs(den)) q += ((num < 0) != (den < 0)) ? -1 : 1;
  if (q < std::numeric_limits<std::int32_t>::min() || q > std::numeric_limits<std::int32_t>::max())
    return 0;
  return static_cast<std::int32_t>(q);
}

THandle MakePen(const TCanvasPen& Pen) {
  return CreatePen({Pen.Style, Pen.Width, ColorToRGB(Pen.Color)});
}

THandle MakeBrush(const TCanvasBrush& Brush) {
  TBrushDesc desc;
  desc.Color = ColorToRGB(Brush.Color);
  switch (Brush.Style) {
    case cbsSolid:
      desc.Kind = TBrushKind::Solid;
      break;
    case cbsClear:
      desc.Kind = TBrushKind::Null;
      break;
    default:
      desc.Kind = TBrushKind::Hatched;
      desc.Hatch = static_cast<THatchStyle>(Brush.Style - cbsHorizontal);
      break;
  }
  return CreateBrush(desc);
}

THandle MakeFont(const TCanvasFont& Font) {
  TFontDesc desc;
  desc.Height = std::abs(ScaleRounded(Font.Size, Font.PixelsPerInch, 72));
  desc.Weight = Font.Style.Bold ? 700 : 400;
  desc.Italic = Font.Style.Italic;
  desc.Underline = Font.Style.Underline;
  desc.StrikeOut = Font.Style.StrikeOut;
  desc.FaceName = Font.Name;
  return CreateFontObject(desc);
}

}  // namespace

void TCanvas::SetHandle(TDevice* Device) noexcept {
  handle_ = Device;
  pen_valid_ = brush_valid_ = font_valid_ = false;
}

void TCanvas::SetPen(const TCanvasPen& Pen) noexcept {
  if (Pen == pen_) return;
  pen_ = Pen;
  pen_object_.reset();
  pen_valid_ = false;
}

void TCanvas::SetBrush(const TCanvasBrush& Brush) noexcept {
  if (Brush == brush_) return;
  brush_ = Brush;
  brush_object_.reset();
  brush_valid_ = false;
}

void TCanvas::SetFont(const TCanvasFont& Font) noexcept {
  if (Font == font_) return;
  font_ = Font;
  font_object_.reset();
  font_valid_ = false;
}

void TCanvas::RequireState() {
  if (!handle_) return;
  if (!font_valid_) {
    if (!font_object_) font_object_ = MakeFont(font_);
    handle_->SelectObject(font_object_);
    handle_->SetTextColor(ColorToRGB(font_.Color));
    font_valid_ = true;
  }
  if (!pen_valid_) {
    if (!pen_object_) pen_object_ = MakePen(pen_);
    handle_->SelectObject(pen_object_);
    pen_valid_ = true;
  }
  if (!brush_valid_) {
    if (!brush_object_) brush_object_ = MakeBrush(brush_);
    handle_->SelectObject(brush_object_);
    // Text drawn through the canvas gets the brush as its background: filled for a solid
    // brush, left alone otherwise.
    const TColor color = ColorToRGB(brush_.Color);
    if (brush_.Style == cbsSolid) {
      handle_->SetBkColor(color);
      handle_->SetBkMode(OPAQUE);
    } else {
      handle_->SetBkColor(~color & 0xFFFFFF);
      handle_->SetBkMode(TRANSPARENT);
    }
    brush_valid_ = true;
  }
}

void TCanvas::Deselect() {
  if (handle_) {
    handle_->SelectObject(GetStockObject(BLACK_PEN));
    handle_->SelectObject(GetStockObject(WHITE_BRUSH));
    handle_->SelectObject(GetStockObject(SYSTEM_FONT));
  }
  pen_valid_ = brush_valid_ = font_valid_ = false;
}

void TCanvas::FillRect(const TRect& Rect) {
  if (!handle_) return;
  RequireState();
  handle_->FillRect(Rect, brush_object_);
}

void TCanvas::Polygon(std::span<const TPoint> Points) {
  if (!handle_) return;
  RequireState();
  handle_->Polygon(Points);
}

void TCanvas::Polyline(std::span<const TPoint> Points) {
  if (!handle_) return;
  RequireState();
  handle_->Polyline(Points);
}

void TCanvas::Ellipse(const TRect& Rect) {
  if (!handle_) return;
  RequireState();
  handle_->Ellipse(Rect);
}

void TCanvas::Rectangle(const TRect& Rect) {
  if (!handle_) return;
  RequireState();
  handle_->Rectangle(Rect);
}

void TCanvas::TextOut(std::int32_t X, std::int32_t Y, std::string_view Text) {
  if (!handle_) return;
  RequireState();
  handle_->TextOut(X, Y, Text);
}

TSize TCanvas::TextExtent(std::string_view Text) {
  if (!handle_) return {};
  RequireState();
  return handle_->TextExtent(Text);
}

void TCanvas::Draw(std::int32_t X, std::int32_t Y, const TBitmap& Bitmap) {
  if (!handle_) return;
  RequireState();
  handle_->DrawBitmap(X, Y, Bitmap);
}

void TCanvas::StretchDraw(const TRect& Dest, const TBitmap& Bitmap) {
  if (!handle_) return;
  RequireState();
  handle_->StretchBitmap(Dest, Bitmap);
}

}  // namespace platform
