#include "platform/win32/gdidevice.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cwchar>
#include <stdexcept>
#include <utility>

#include "platform/win32/pngpicture.h"
#include "platform/win32/utf.h"
#include "platform/win32/winapi.h"

namespace platform {

namespace {

std::atomic<std::int64_t> live_objects{0};

std::string SystemMessage(DWORD Code) {
  if (Code == 0) return "the system gives no reason";
  wchar_t buffer[512];
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, Code, 0,
                       buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  std::wstring_view text(buffer, length);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                           text.back() == L'.'))
    text.remove_suffix(1);
  std::string message = text.empty() ? "unknown error" : Utf8(text);
  return message + " (error " + std::to_string(Code) + ")";
}

[[noreturn]] void Fail(const std::string& What) {
  const DWORD code = ::GetLastError();
  throw std::runtime_error(What + " failed: " + SystemMessage(code));
}

// Counts what the backend makes, for LiveObjects.
template <class H>
H Made(H Handle, const char* What) {
  if (Handle == nullptr) Fail(What);
  ++live_objects;
  return Handle;
}

void DeleteGdiObject(HGDIOBJ Handle) noexcept {
  if (Handle != nullptr && ::DeleteObject(Handle)) --live_objects;
}

void DeleteMemoryDc(HDC Dc) noexcept {
  if (Dc != nullptr && ::DeleteDC(Dc)) --live_objects;
}

// What the backend built from a drawing object, kept in its BackendCache: the GDI object,
// owned unless it is a stock object.
struct TGdiObject {
  HGDIOBJ Handle = nullptr;
  bool Owned = false;
  bool Visible = true;  // pens: psClear draws nothing
  TBrushKind Kind = TBrushKind::Solid;
  TGdiObject() = default;
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  ~TGdiObject() {
    if (Owned) DeleteGdiObject(Handle);
  }
};

COLORREF Colour(TColor Color) { return static_cast<COLORREF>(Color & 0x00FFFFFFu); }

// A monochrome pattern brush from eight rows, most significant bit leftmost. GDI draws its
// 0 bits in the DC's text colour and its 1 bits in the background colour.
HBRUSH MonochromePatternBrush(const std::array<std::uint8_t, 8>& Rows) {
  // Monochrome bitmap rows are padded to 16 bits.
  std::array<std::uint8_t, 16> bits{};
  for (std::size_t y = 0; y < 8; ++y) bits[2 * y] = Rows[y];
  HBITMAP pattern = ::CreateBitmap(8, 8, 1, 1, bits.data());
  if (pattern == nullptr) Fail("CreateBitmap");
  HBRUSH brush = ::CreatePatternBrush(pattern);
  const DWORD error = ::GetLastError();
  ::DeleteObject(pattern);  // the brush keeps its own copy
  ::SetLastError(error);
  return Made(brush, "CreatePatternBrush");
}

const TGdiObject& ResolvePen(const TDeviceObject& Object) {
  if (!Object.BackendCache) {
    const TPenDesc& desc = Object.Pen();
    auto info = std::make_shared<TGdiObject>();
    LOGBRUSH brush{BS_SOLID, Colour(desc.Color), 0};
    if (desc.Style == psClear) {
      info->Visible = false;
      info->Handle = ::GetStockObject(NULL_PEN);
    } else if (desc.Width > 1) {
      // Wide pens are solid, with round ends and joins.
      const DWORD style = PS_GEOMETRIC | PS_ENDCAP_ROUND | PS_JOIN_ROUND |
                          (desc.Style == psInsideFrame ? PS_INSIDEFRAME : PS_SOLID);
      info->Handle = Made(::ExtCreatePen(style, static_cast<DWORD>(desc.Width), &brush, 0, nullptr),
                          "ExtCreatePen");
      info->Owned = true;
    } else {
      DWORD style = PS_SOLID;
      switch (desc.Style) {
        case psDash:
          style = PS_DASH;
          break;
        case psDot:
          style = PS_DOT;
          break;
        case psDashDot:
          style = PS_DASHDOT;
          break;
        case psDashDotDot:
          style = PS_DASHDOTDOT;
          break;
        default:
          break;
      }
      // CreatePen, not ExtCreatePen: its styled pens fill their gaps in the opaque mode.
      info->Handle = Made(::CreatePen(static_cast<int>(style), 0, Colour(desc.Color)), "CreatePen");
      info->Owned = true;
    }
    Object.BackendCache = info;
  }
  return *static_cast<const TGdiObject*>(Object.BackendCache.get());
}

// Null for a null brush or an object that is not a brush.
const TGdiObject* ResolveBrush(const THandle& Brush) {
  if (!Brush || Brush->Kind() != TObjectKind::Brush) return nullptr;
  const TBrushDesc& desc = Brush->Brush();
  if (desc.Kind == TBrushKind::Null) return nullptr;
  if (!Brush->BackendCache) {
    auto info = std::make_shared<TGdiObject>();
    info->Kind = desc.Kind;
    switch (desc.Kind) {
      case TBrushKind::Solid:
        info->Handle = Made(::CreateSolidBrush(Colour(desc.Color)), "CreateSolidBrush");
        break;
      case TBrushKind::Hatched: {
        static constexpr int kHatch[] = {HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL,
                                         HS_BDIAGONAL,  HS_CROSS,    HS_DIAGCROSS};
        const int hatch = kHatch[std::min<std::size_t>(desc.Hatch, std::size(kHatch) - 1)];
        info->Handle = Made(::CreateHatchBrush(hatch, Colour(desc.Color)), "CreateHatchBrush");
        break;
      }
      case TBrushKind::Pattern:
        info->Handle = MonochromePatternBrush(desc.Pattern);
        break;
      case TBrushKind::Null:
        break;
    }
    info->Owned = true;
    Brush->BackendCache = info;
  }
  return static_cast<const TGdiObject*>(Brush->BackendCache.get());
}

const TGdiObject& ResolveFont(const TDeviceObject& Object) {
  if (!Object.BackendCache) {
    const TFontDesc& desc = Object.Font();
    LOGFONTW font{};
    font.lfHeight = desc.Height == 0 ? -12 : -std::max(1, std::abs(desc.Height));
    font.lfEscapement = desc.Escapement;
    font.lfOrientation = desc.Orientation;
    font.lfWeight = desc.Weight <= 0 ? FW_NORMAL : std::clamp<LONG>(desc.Weight, 1, 1000);
    font.lfItalic = desc.Italic;
    font.lfUnderline = desc.Underline;
    font.lfStrikeOut = desc.StrikeOut;
    font.lfCharSet = DEFAULT_CHARSET;
    // TrueType only: raster fonts neither scale nor turn.
    font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    // Smoothed but not sub-pixel: pictures get no colour fringes.
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const std::wstring face = Utf16(desc.FaceName);
    const std::size_t length = std::min(face.size(), std::size(font.lfFaceName) - 1);
    std::copy_n(face.begin(), length, font.lfFaceName);
    auto info = std::make_shared<TGdiObject>();
    info->Handle = Made(::CreateFontIndirectW(&font), "CreateFontIndirectW");
    info->Owned = true;
    Object.BackendCache = info;
  }
  return *static_cast<const TGdiObject*>(Object.BackendCache.get());
}

TRect Normalised(const TRect& R) {
  return {std::min(R.Left, R.Right), std::min(R.Top, R.Bottom), std::max(R.Left, R.Right),
          std::max(R.Top, R.Bottom)};
}

BITMAPINFO TopDownInfo(std::int32_t Width, std::int32_t Height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = Width;
  info.bmiHeader.biHeight = -Height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// GDI's coordinate space is narrower than 32 bits (2^27 on NT): geometry beyond this box
// (in device pixels) is clipped to it before GDI sees it; the box lies far outside any
// device, so the cut edges never show.
constexpr std::int64_t kSafe = std::int64_t{1} << 24;

static_assert(sizeof(TPoint) == sizeof(POINT) && offsetof(TPoint, Y) == offsetof(POINT, y));
// The same layout: GDI reads the points in place.
const POINT* AsPoints(const TPoint* Points) { return reinterpret_cast<const POINT*>(Points); }

// Whether the point (logical, moved by Origin) lies beyond the safe box.
bool Beyond(std::int64_t X, std::int64_t Y, TPoint Origin) {
  X += Origin.X;
  Y += Origin.Y;
  return X < -kSafe || X > kSafe || Y < -kSafe || Y > kSafe;
}

std::int32_t Clamp(std::int64_t V, std::int64_t Low, std::int64_t High) {
  return static_cast<std::int32_t>(std::clamp(V, Low, High));
}

}  // namespace

std::int64_t TGdiDevice::LiveObjects() noexcept { return live_objects.load(); }

// ---- TGdiDevice -------------------------------------------------------------------------

enum : int { kPenSlot, kBrushSlot, kFontSlot };

struct TGdiDevice::TState {
  int Saved = 0;
  std::array<HGDIOBJ, 3> Original{};  // the DC's own objects, put back at the end
  std::array<HGDIOBJ, 3> Selected{};
  std::array<THandle, 3> Held;  // keeps what is selected alive
  HBRUSH Checker = nullptr;     // the focus rectangle's pattern
};

TGdiDevice::TGdiDevice(HDC__* Dc, std::int32_t PixelsPerInch) { Attach(Dc, PixelsPerInch); }

TGdiDevice::~TGdiDevice() { Detach(); }

void TGdiDevice::Attach(HDC__* Dc, std::int32_t PixelsPerInch) {
  if (Dc == nullptr) return;
  state_ = std::make_unique<TState>();
  state_->Saved = ::SaveDC(Dc);
  if (state_->Saved == 0) Fail("SaveDC");
  dc_ = Dc;
  ppi_x_ = PixelsPerInch > 0 ? PixelsPerInch : ::GetDeviceCaps(Dc, LOGPIXELSX);
  ppi_y_ = PixelsPerInch > 0 ? PixelsPerInch : ::GetDeviceCaps(Dc, LOGPIXELSY);
  ::SetPolyFillMode(Dc, ALTERNATE);
  ::SetROP2(Dc, R2_COPYPEN);
  ::SetStretchBltMode(Dc, COLORONCOLOR);
  ::SetBrushOrgEx(Dc, 0, 0, nullptr);
  ::SetBkMode(Dc, BkMode());
  ::SetBkColor(Dc, Colour(BkColor()));
  ::SetTextColor(Dc, Colour(TextColor()));
  ::SetTextAlign(Dc, TextAlign() & (TA_CENTER | TA_BASELINE));
  SetViewportOrigin(ViewportOrigin());
}

void TGdiDevice::Detach() noexcept {
  if (dc_ == nullptr) return;
  // The DC's own objects go back in before ours are let go: GDI keeps a selected object
  // alive however often it is deleted.
  for (std::size_t slot = 0; slot < 3; ++slot)
    if (state_->Original[slot] != nullptr) ::SelectObject(dc_, state_->Original[slot]);
  ::RestoreDC(dc_, state_->Saved);
  if (state_->Checker != nullptr) DeleteGdiObject(state_->Checker);
  state_.reset();
  dc_ = nullptr;
}

void TGdiDevice::SetPixelsPerInch(std::int32_t X, std::int32_t Y) noexcept {
  ppi_x_ = X;
  ppi_y_ = Y;
}

void TGdiDevice::SetBkMode(TBkMode Mode) {
  TDevice::SetBkMode(Mode);
  if (dc_ != nullptr) ::SetBkMode(dc_, Mode);
}

void TGdiDevice::SetBkColor(TColor Color) {
  TDevice::SetBkColor(Color);
  if (dc_ != nullptr) ::SetBkColor(dc_, Colour(Color));
}

void TGdiDevice::SetTextColor(TColor Color) {
  TDevice::SetTextColor(Color);
  if (dc_ != nullptr) ::SetTextColor(dc_, Colour(Color));
}

void TGdiDevice::SetTextAlign(std::uint16_t Flags) {
  TDevice::SetTextAlign(Flags);
  // Only the reference point: not the current-position or right-to-left flags.
  if (dc_ != nullptr) ::SetTextAlign(dc_, Flags & (TA_CENTER | TA_BASELINE));
}

void TGdiDevice::SetViewportOrigin(TPoint Origin) {
  TDevice::SetViewportOrigin(Origin);
  // As the window origin, which is in logical units: the same on a pixel device, and still
  // pixels on a scaled one (a metafile).
  if (dc_ != nullptr) ::SetWindowOrgEx(dc_, -Origin.X, -Origin.Y, nullptr);
}

void TGdiDevice::SetClipRect(const TRect& Rect) {
  clip_ = Rect;
  if (dc_ == nullptr) return;
  const TRect r = Rect.Width() > 0 && Rect.Height() > 0 ? Rect : TRect{};
  // Device pixels to the DC's device units, which differ on a scaled DC only.
  const TPoint o = ViewportOrigin();
  auto logical = [](std::int64_t V, std::int32_t Origin) {
    return Clamp(V - Origin, -4 * kSafe, 4 * kSafe);
  };
  POINT corners[2] = {{logical(r.Left, o.X), logical(r.Top, o.Y)},
                      {logical(r.Right, o.X), logical(r.Bottom, o.Y)}};
  ::LPtoDP(dc_, corners, 2);
  HRGN region = Made(::CreateRectRgn(corners[0].x, corners[0].y, corners[1].x, corners[1].y),
                     "CreateRectRgn");
  const int result = ::SelectClipRgn(dc_, region);  // the DC takes a copy
  DeleteGdiObject(region);
  if (result == ERROR) Fail("SelectClipRgn");
}

void TGdiDevice::RemoveClipping() {
  clip_.reset();
  if (dc_ != nullptr) ::SelectClipRgn(dc_, nullptr);
}

void TGdiDevice::SelectInto(void* Object, int Slot) {
  TState& state = *state_;
  if (state.Selected[Slot] == Object) return;
  HGDIOBJ previous = ::SelectObject(dc_, static_cast<HGDIOBJ>(Object));
  if (previous == nullptr || previous == HGDI_ERROR) Fail("SelectObject");
  if (state.Original[Slot] == nullptr) state.Original[Slot] = previous;
  state.Selected[Slot] = Object;
}

void TGdiDevice::Drawn() noexcept {
  if (direct_ == nullptr) return;
  ::GdiFlush();
  direct_->FourthByteChanged();
}

template <class DrawFn>
void TGdiDevice::PaintShape(const THandle& Brush, bool Outline, DrawFn Draw) {
  TState& state = *state_;
  const TGdiObject* pen = Outline ? &ResolvePen(*CurrentPen()) : nullptr;
  if (pen != nullptr && !pen->Visible) pen = nullptr;
  const TGdiObject* fill = ResolveBrush(Brush);
  // What is selected stays alive until it is swapped out.
  auto keep = [&](int Slot, const THandle& Object) {
    if (state.Held[Slot] != Object) state.Held[Slot] = Object;
  };
  if (fill != nullptr && fill->Kind == TBrushKind::Pattern && BkMode() == TRANSPARENT) {
    // GDI paints both colours of a pattern whatever the mode; without the background, the
    // 1 bits keep what is there: the 0 bits are cleared (AND with black on white), then
    // the text colour is put into them (OR with it on black).
    SelectInto(::GetStockObject(NULL_PEN), kPenSlot);
    SelectInto(fill->Handle, kBrushSlot);
    keep(kBrushSlot, Brush);
    ::SetTextColor(dc_, RGB(0, 0, 0));
    ::SetBkColor(dc_, RGB(255, 255, 255));
    ::SetROP2(dc_, R2_MASKPEN);
    Draw(false);
    ::SetTextColor(dc_, Colour(TextColor()));
    ::SetBkColor(dc_, RGB(0, 0, 0));
    ::SetROP2(dc_, R2_MERGEPEN);
    Draw(false);
    ::SetROP2(dc_, R2_COPYPEN);
    ::SetBkColor(dc_, Colour(BkColor()));
    if (pen == nullptr) return Drawn();
    fill = nullptr;
  }
  SelectInto(pen != nullptr ? pen->Handle : ::GetStockObject(NULL_PEN), kPenSlot);
  if (pen != nullptr) keep(kPenSlot, CurrentPen());
  SelectInto(fill != nullptr ? fill->Handle : ::GetStockObject(NULL_BRUSH), kBrushSlot);
  if (fill != nullptr) keep(kBrushSlot, Brush);
  Draw(pen != nullptr);
  Drawn();
}

// Points as they are when they lie inside the safe box, else clipped to it (Closed: as a
// polygon, by Sutherland–Hodgman, which keeps the even-odd inside of the box's interior;
// open: as separate segments, two points each).
std::span<const TPoint> TGdiDevice::Safe(std::span<const TPoint> Points, bool Closed,
                                         bool& Clipped) {
  const TPoint o = ViewportOrigin();
  const std::int64_t left = -kSafe - o.X, right = kSafe - o.X;
  const std::int64_t top = -kSafe - o.Y, bottom = kSafe - o.Y;
  auto inside = [&](const TPoint& p) {
    return p.X >= left && p.X <= right && p.Y >= top && p.Y <= bottom;
  };
  Clipped = !std::all_of(Points.begin(), Points.end(), inside);
  if (!Clipped) return Points;
  safe_.clear();
  // Where the segment a → b crosses x = c (Vertical) or y = c.
  auto cross = [](const TPoint& a, const TPoint& b, std::int64_t c, bool Vertical) {
    const std::int64_t a0 = Vertical ? a.X : a.Y, a1 = Vertical ? a.Y : a.X;
    const std::int64_t b0 = Vertical ? b.X : b.Y, b1 = Vertical ? b.Y : b.X;
    const long double t = static_cast<long double>(c - a0) / static_cast<long double>(b0 - a0);
    const auto v = static_cast<std::int64_t>(a1 + t * static_cast<long double>(b1 - a1));
    return Vertical ? TPoint{static_cast<std::int32_t>(c), static_cast<std::int32_t>(v)}
                    : TPoint{static_cast<std::int32_t>(v), static_cast<std::int32_t>(c)};
  };
  if (Closed) {
    work_.assign(Points.begin(), Points.end());
    struct TEdge {
      std::int64_t C;
      bool Vertical;
      bool KeepGreater;
    } edges[] = {
        {left, true, true}, {right, true, false}, {top, false, true}, {bottom, false, false}};
    for (const TEdge& e : edges) {
      safe_.clear();
      auto in = [&](const TPoint& p) {
        const std::int64_t v = e.Vertical ? p.X : p.Y;
        return e.KeepGreater ? v >= e.C : v <= e.C;
      };
      for (std::size_t i = 0; i < work_.size(); ++i) {
        const TPoint& a = work_[i];
        const TPoint& b = work_[(i + 1) % work_.size()];
        if (in(a)) safe_.push_back(a);
        if (in(a) != in(b)) safe_.push_back(cross(a, b, e.C, e.Vertical));
      }
      work_.swap(safe_);
    }
    safe_.swap(work_);
    return safe_;
  }
  for (std::size_t i = 0; i + 1 < Points.size(); ++i) {
    TPoint a = Points[i], b = Points[i + 1];
    // Liang–Barsky on the box, in long double: the points may be anywhere in 32 bits.
    long double t0 = 0, t1 = 1;
    const long double dx = static_cast<long double>(b.X) - a.X;
    const long double dy = static_cast<long double>(b.Y) - a.Y;
    const long double p[4] = {-dx, dx, -dy, dy};
    const long double q[4] = {
        a.X - static_cast<long double>(left), static_cast<long double>(right) - a.X,
        a.Y - static_cast<long double>(top), static_cast<long double>(bottom) - a.Y};
    bool visible = true;
    for (int k = 0; k < 4 && visible; ++k) {
      if (p[k] == 0) {
        visible = q[k] >= 0;
      } else {
        const long double t = q[k] / p[k];
        if (p[k] < 0)
          t0 = std::max(t0, t);
        else
          t1 = std::min(t1, t);
        visible = t0 <= t1;
      }
    }
    if (!visible) continue;
    safe_.push_back({Clamp(std::llround(a.X + t0 * dx), left, right),
                     Clamp(std::llround(a.Y + t0 * dy), top, bottom)});
    safe_.push_back({Clamp(std::llround(a.X + t1 * dx), left, right),
                     Clamp(std::llround(a.Y + t1 * dy), top, bottom)});
  }
  return safe_;
}

void TGdiDevice::Polygon(std::span<const TPoint> Points) {
  if (dc_ == nullptr || Points.size() < 2) return;
  bool clipped = false;
  const std::span<const TPoint> points = Safe(Points, true, clipped);
  if (points.size() < 2) return;
  const int count = static_cast<int>(std::min<std::size_t>(points.size(), INT_MAX));
  PaintShape(CurrentBrush(), true, [&](bool) { ::Polygon(dc_, AsPoints(points.data()), count); });
}

void TGdiDevice::Polyline(std::span<const TPoint> Points) {
  if (dc_ == nullptr || Points.size() < 2 || !ResolvePen(*CurrentPen()).Visible) return;
  bool clipped = false;
  const std::span<const TPoint> points = Safe(Points, false, clipped);
  if (!clipped) {
    const int count = static_cast<int>(std::min<std::size_t>(points.size(), INT_MAX));
    PaintShape(nullptr, true, [&](bool) { ::Polyline(dc_, AsPoints(points.data()), count); });
    return;
  }
  PaintShape(nullptr, true, [&](bool) {
    for (std::size_t i = 0; i + 1 < points.size(); i += 2)
      ::Polyline(dc_, AsPoints(points.data() + i), 2);
  });
}

void TGdiDevice::Rectangle(const TRect& Rect) {
  if (dc_ == nullptr) return;
  const TRect r = Normalised(Rect);
  if (r.Width() == 0 || r.Height() == 0) return;
  const TPoint o = ViewportOrigin();
  const std::int32_t l = Clamp(r.Left, -kSafe - o.X, kSafe - o.X);
  const std::int32_t t = Clamp(r.Top, -kSafe - o.Y, kSafe - o.Y);
  const std::int32_t rr = Clamp(r.Right, -kSafe - o.X, kSafe - o.X);
  const std::int32_t b = Clamp(r.Bottom, -kSafe - o.Y, kSafe - o.Y);
  // Without a pen GDI leaves out the last column and row of the fill.
  PaintShape(CurrentBrush(), true,
             [&](bool Pen) { ::Rectangle(dc_, l, t, rr + (Pen ? 0 : 1), b + (Pen ? 0 : 1)); });
}

void TGdiDevice::Ellipse(const TRect& Rect) {
  if (dc_ == nullptr) return;
  const TRect r = Normalised(Rect);
  if (r.Width() == 0 || r.Height() == 0) return;
  PaintShape(CurrentBrush(), true, [&](bool Pen) {
    // Unlike Rectangle, not widened without a pen: GDIs differ here, and one pixel short of
    // the box is within the rule, one beyond it is not.
    (void)Pen;
    ::Ellipse(dc_, r.Left, r.Top, r.Right, r.Bottom);
  });
}

void TGdiDevice::FillRect(const TRect& Rect, const THandle& Brush) {
  if (dc_ == nullptr || Rect.Width() <= 0 || Rect.Height() <= 0) return;
  const TPoint o = ViewportOrigin();
  const std::int32_t l = Clamp(Rect.Left, -kSafe - o.X, kSafe - o.X);
  const std::int32_t t = Clamp(Rect.Top, -kSafe - o.Y, kSafe - o.Y);
  const std::int32_t r = Clamp(Rect.Right, -kSafe - o.X, kSafe - o.X);
  const std::int32_t b = Clamp(Rect.Bottom, -kSafe - o.Y, kSafe - o.Y);
  PaintShape(Brush, false, [&](bool) { ::Rectangle(dc_, l, t, r + 1, b + 1); });
}

void TGdiDevice::SetPixel(std::int32_t X, std::int32_t Y, TColor Color) {
  if (dc_ == nullptr) return;
  if (direct_ != nullptr) {
    // Straight into the picture: a GDI call per pixel costs far more.
    const std::int64_t x = std::int64_t{X} + ViewportOrigin().X;
    const std::int64_t y = std::int64_t{Y} + ViewportOrigin().Y;
    if (x < 0 || y < 0 || x >= direct_->Width() || y >= direct_->Height()) return;
    if (clip_ && (x < clip_->Left || y < clip_->Top || x >= clip_->Right || y >= clip_->Bottom))
      return;
    PutPixel(direct_->ScanLine(static_cast<std::int32_t>(y)) + TBitmap::kPixelBytes * x,
             PixelWord(Color));
    return;
  }
  ::SetPixelV(dc_, X, Y, Colour(Color));
}

void TGdiDevice::TextOut(std::int32_t X, std::int32_t Y, std::string_view Text) {
  // A text whose reference point is that far away cannot reach the device.
  if (dc_ == nullptr || Text.empty() || Beyond(X, Y, ViewportOrigin())) return;
  const TGdiObject& font = ResolveFont(*CurrentFont());
  SelectInto(font.Handle, kFontSlot);
  if (state_->Held[kFontSlot] != CurrentFont()) state_->Held[kFontSlot] = CurrentFont();
  Utf16(Text, text_);
  if (text_.empty()) return;
  const int length = static_cast<int>(std::min<std::size_t>(text_.size(), INT_MAX));
  if (!::TextOutW(dc_, X, Y, text_.data(), length)) Fail("TextOutW");
  Drawn();
}

TSize TGdiDevice::TextExtent(std::string_view Text) {
  if (dc_ == nullptr) return {};
  const TGdiObject& font = ResolveFont(*CurrentFont());
  SelectInto(font.Handle, kFontSlot);
  if (state_->Held[kFontSlot] != CurrentFont()) state_->Held[kFontSlot] = CurrentFont();
  Utf16(Text, text_);
  SIZE size{};
  const int length = static_cast<int>(std::min<std::size_t>(text_.size(), INT_MAX));
  if (!::GetTextExtentPoint32W(dc_, text_.data(), length, &size)) Fail("GetTextExtentPoint32W");
  return {size.cx, size.cy};
}

void TGdiDevice::DrawBitmap(std::int32_t X, std::int32_t Y, const TBitmap& Bitmap) {
  if (dc_ == nullptr || Bitmap.Empty() || Beyond(X, Y, ViewportOrigin())) return;
  const BITMAPINFO info = TopDownInfo(Bitmap.Width(), Bitmap.Height());
  const auto height = static_cast<UINT>(Bitmap.Height());
  // 0 lines is also the answer for a picture clipped away: only GDI_ERROR is a failure.
  if (::SetDIBitsToDevice(dc_, X, Y, static_cast<DWORD>(Bitmap.Width()), height, 0, 0, 0, height,
                          Bitmap.ScanLine(0), &info, DIB_RGB_COLORS) == static_cast<int>(GDI_ERROR))
    Fail("SetDIBitsToDevice");
  Drawn();
}

void TGdiDevice::StretchBitmap(const TRect& Dest, const TBitmap& Bitmap) {
  if (dc_ == nullptr || Bitmap.Empty()) return;
  // Pictures stretched beyond the safe box are not drawn (GDI would overflow).
  const TPoint o = ViewportOrigin();
  if (Beyond(Dest.Left, Dest.Top, o) || Beyond(Dest.Right, Dest.Bottom, o)) return;
  if (Dest.Width() == 0 || Dest.Height() == 0) return;
  const BITMAPINFO info = TopDownInfo(Bitmap.Width(), Bitmap.Height());
  // A negative destination size mirrors. GDI's mirrored span starts at its first column
  // (x + w + 1 … x); the rule's is that of the rectangle (Right … Left − 1).
  const std::int32_t x = Dest.Width() < 0 ? Dest.Left - 1 : Dest.Left;
  const std::int32_t y = Dest.Height() < 0 ? Dest.Top - 1 : Dest.Top;
  if (::StretchDIBits(dc_, x, y, Dest.Width(), Dest.Height(), 0, 0, Bitmap.Width(), Bitmap.Height(),
                      Bitmap.ScanLine(0), &info, DIB_RGB_COLORS,
                      SRCCOPY) == static_cast<int>(GDI_ERROR))
    Fail("StretchDIBits");
  Drawn();
}

void TGdiDevice::DrawFocusRect(const TRect& Rect) {
  if (dc_ == nullptr) return;
  const TRect r = Normalised(Rect);
  if (r.Width() == 0 || r.Height() == 0) return;
  TState& state = *state_;
  if (state.Checker == nullptr) {
    // 0 bits (the text colour, white) where x + y is even, counted from the brush origin,
    // which is the device origin.
    state.Checker = MonochromePatternBrush({0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA});
  }
  SelectInto(state.Checker, kBrushSlot);
  state.Held[kBrushSlot].reset();
  ::SetTextColor(dc_, RGB(255, 255, 255));
  ::SetBkColor(dc_, RGB(0, 0, 0));
  // Each border pixel once, so that a second call undoes the first.
  const int w = r.Width(), h = r.Height();
  ::PatBlt(dc_, r.Left, r.Top, w, 1, PATINVERT);
  if (h > 1) ::PatBlt(dc_, r.Left, r.Bottom - 1, w, 1, PATINVERT);
  if (h > 2) {
    ::PatBlt(dc_, r.Left, r.Top + 1, 1, h - 2, PATINVERT);
    if (w > 1) ::PatBlt(dc_, r.Right - 1, r.Top + 1, 1, h - 2, PATINVERT);
  }
  ::SetTextColor(dc_, Colour(TextColor()));
  ::SetBkColor(dc_, Colour(BkColor()));
  Drawn();
}

// ---- TGdiMemoryDevice -------------------------------------------------------------------

TGdiMemoryDevice::TGdiMemoryDevice(std::shared_ptr<TBitmap> Bitmap, std::int32_t PixelsPerInch)
    : bitmap_(std::move(Bitmap)) {
  SetPixelsPerInch(PixelsPerInch, PixelsPerInch);
  if (!bitmap_ || bitmap_->Empty()) return;
  try {
    memory_dc_ = Made(::CreateCompatibleDC(nullptr), "CreateCompatibleDC");
    const BITMAPINFO info = TopDownInfo(bitmap_->Width(), bitmap_->Height());
    void* bits = nullptr;
    // Over the picture's own section: GDI and the picture's rows are the same memory.
    dib_ = Made(::CreateDIBSection(memory_dc_, &info, DIB_RGB_COLORS, &bits,
                                   static_cast<HANDLE>(bitmap_->Section()), 0),
                "CreateDIBSection");
    old_bitmap_ = ::SelectObject(memory_dc_, dib_);
    if (old_bitmap_ == nullptr || old_bitmap_ == HGDI_ERROR) Fail("SelectObject of the picture");
    direct_ = bitmap_.get();
    Attach(memory_dc_, PixelsPerInch);
  } catch (...) {
    Release();
    throw;
  }
}

TGdiMemoryDevice::~TGdiMemoryDevice() { Release(); }

void TGdiMemoryDevice::Release() noexcept {
  Detach();
  if (memory_dc_ != nullptr && old_bitmap_ != nullptr && old_bitmap_ != HGDI_ERROR)
    ::SelectObject(memory_dc_, old_bitmap_);
  old_bitmap_ = nullptr;
  if (dib_ != nullptr) DeleteGdiObject(dib_);
  dib_ = nullptr;
  DeleteMemoryDc(memory_dc_);
  memory_dc_ = nullptr;
}

// ---- Metafiles --------------------------------------------------------------------------

namespace {

class TGdiMetafileDevice final : public TGdiDevice {
 public:
  TGdiMetafileDevice(const std::string& FileName, std::int32_t Width, std::int32_t Height,
                     std::int32_t PixelsPerInch, const std::string& Creator) {
    // The frame in 0.01 mm: Width × Height pixels at PixelsPerInch.
    const RECT frame{0, 0, ::MulDiv(Width, 2540, PixelsPerInch),
                     ::MulDiv(Height, 2540, PixelsPerInch)};
    const std::wstring name = Utf16(FileName);
    std::wstring title = name.substr(name.find_last_of(L"\\/") + 1);
    // "program\0picture\0\0"
    const std::wstring description = Utf16(Creator) + L'\0' + title + L'\0';
    metafile_dc_ = ::CreateEnhMetaFileW(nullptr, name.c_str(), &frame, description.c_str());
    if (metafile_dc_ == nullptr) Fail("CreateEnhMetaFileW for \"" + FileName + "\"");
    ++live_objects;
    // The reference device (the screen) has pixels of its own size: the Width × Height
    // pixels are logical units mapped onto the frame.
    const int horzres = ::GetDeviceCaps(metafile_dc_, HORZRES),
              vertres = ::GetDeviceCaps(metafile_dc_, VERTRES);
    const int horzsize = ::GetDeviceCaps(metafile_dc_, HORZSIZE),
              vertsize = ::GetDeviceCaps(metafile_dc_, VERTSIZE);
    ::SetMapMode(metafile_dc_, MM_ANISOTROPIC);
    ::SetWindowExtEx(metafile_dc_, Width, Height, nullptr);
    ::SetViewportExtEx(metafile_dc_, ::MulDiv(frame.right, horzres, horzsize * 100),
                       ::MulDiv(frame.bottom, vertres, vertsize * 100), nullptr);
    try {
      Attach(metafile_dc_, PixelsPerInch);
    } catch (...) {
      Close();
      throw;
    }
  }
  ~TGdiMetafileDevice() override {
    Detach();
    Close();
  }

 private:
  void Close() noexcept {
    if (metafile_dc_ == nullptr) return;
    if (HENHMETAFILE metafile = ::CloseEnhMetaFile(metafile_dc_)) ::DeleteEnhMetaFile(metafile);
    --live_objects;
    metafile_dc_ = nullptr;
  }
  HDC metafile_dc_ = nullptr;
};

}  // namespace

std::unique_ptr<TGdiDevice> CreateMetafileDevice(const std::string& FileName, std::int32_t Width,
                                                 std::int32_t Height, std::int32_t PixelsPerInch,
                                                 const std::string& Creator) {
  if (Width < 1 || Height < 1 || PixelsPerInch < 1)
    throw std::invalid_argument("vector device: size and resolution must be at least 1");
  return std::make_unique<TGdiMetafileDevice>(FileName, Width, Height, PixelsPerInch, Creator);
}

// ---- Printers ---------------------------------------------------------------------------

std::string DefaultPrinterName() {
  DWORD size = 0;
  ::GetDefaultPrinterW(nullptr, &size);
  if (size == 0) return {};
  std::wstring name(size, L'\0');
  if (!::GetDefaultPrinterW(name.data(), &size)) return {};
  name.resize(std::wcslen(name.c_str()));
  return Utf8(name);
}

TGdiPrinterDevice::TGdiPrinterDevice(const std::string& PrinterName,
                                     const std::string& DocumentName)
    : name_(PrinterName.empty() ? DefaultPrinterName() : PrinterName) {
  if (name_.empty()) throw std::runtime_error("There is no default printer");
  printer_dc_ = ::CreateDCW(L"WINSPOOL", Utf16(name_).c_str(), nullptr, nullptr);
  if (printer_dc_ == nullptr) Fail("CreateDCW for printer \"" + name_ + "\"");
  ++live_objects;
  try {
    const std::wstring document = Utf16(DocumentName);
    DOCINFOW info{};
    info.cbSize = sizeof info;
    info.lpszDocName = document.c_str();
    if (::StartDocW(printer_dc_, &info) <= 0) Fail("StartDocW on printer \"" + name_ + "\"");
    if (::StartPage(printer_dc_) <= 0) {
      const DWORD error = ::GetLastError();
      ::AbortDoc(printer_dc_);
      ::SetLastError(error);
      Fail("StartPage on printer \"" + name_ + "\"");
    }
    page_open_ = true;
    page_ = {::GetDeviceCaps(printer_dc_, HORZRES), ::GetDeviceCaps(printer_dc_, VERTRES)};
    Attach(printer_dc_, 0);
  } catch (...) {
    if (page_open_) ::AbortDoc(printer_dc_);
    DeleteMemoryDc(printer_dc_);
    throw;
  }
}

void TGdiPrinterDevice::NewPage() {
  // The DC's state does not survive a page on every driver: the device sets it again.
  Detach();
  if (::EndPage(printer_dc_) <= 0) Fail("EndPage on printer \"" + name_ + "\"");
  page_open_ = false;
  if (::StartPage(printer_dc_) <= 0) Fail("StartPage on printer \"" + name_ + "\"");
  page_open_ = true;
  Attach(printer_dc_, 0);
}

TGdiPrinterDevice::~TGdiPrinterDevice() {
  Detach();
  if (page_open_) ::EndPage(printer_dc_);
  ::EndDoc(printer_dc_);
  DeleteMemoryDc(printer_dc_);
}

// ---- TGdiGraphics -----------------------------------------------------------------------

std::int32_t TGdiGraphics::ScreenPixelsPerInch() const {
  HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return 96;
  const int ppi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return ppi > 0 ? ppi : 96;
}

std::unique_ptr<TDevice> TGdiGraphics::CreateMemoryDevice(std::shared_ptr<TBitmap> Bitmap) {
  return std::make_unique<TGdiMemoryDevice>(std::move(Bitmap), ScreenPixelsPerInch());
}

std::unique_ptr<TDevice> TGdiGraphics::CreateVectorFileDevice(
    TVectorFormat Format, const std::string& FileName, std::int32_t Width, std::int32_t Height,
    std::int32_t PixelsPerInch, const std::string& Creator) {
  if (Format != TVectorFormat::Emf) throw std::runtime_error("Vector output is not supported");
  return CreateMetafileDevice(FileName, Width, Height, PixelsPerInch, Creator);
}

std::shared_ptr<TBitmap> TGdiGraphics::LoadPicture(const std::string& FileName) {
  auto fail = [&]() -> std::shared_ptr<TBitmap> {
    throw std::runtime_error("Unable to load picture " + FileName);
  };
  const auto dot = FileName.find_last_of('.');
  auto extension = [&](const wchar_t* Wanted) {
    return dot != std::string::npos && FileName.size() - dot == 4 &&
           ::CompareStringOrdinal(Utf16(FileName.substr(dot)).c_str(), -1, Wanted, -1, TRUE) ==
               CSTR_EQUAL;
  };
  if (extension(L".png")) {
    std::shared_ptr<TBitmap> png = LoadPngPicture(FileName);
    return png ? png : fail();
  }
  if (!extension(L".bmp")) return fail();
  auto image = static_cast<HBITMAP>(::LoadImageW(nullptr, Utf16(FileName).c_str(), IMAGE_BITMAP, 0,
                                                 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (image == nullptr) return fail();
  struct TRelease {
    HBITMAP Image;
    HDC Dc = nullptr;
    ~TRelease() {
      if (Dc != nullptr) ::DeleteDC(Dc);
      ::DeleteObject(Image);
    }
  } release{image};
  BITMAP header{};
  if (::GetObjectW(image, sizeof header, &header) == 0 || header.bmWidth < 1 ||
      header.bmHeight == 0)
    return fail();
  const std::int32_t height = std::abs(header.bmHeight);
  auto bitmap = std::make_shared<TBitmap>(header.bmWidth, height);
  release.Dc = ::CreateCompatibleDC(nullptr);
  if (release.Dc == nullptr) Fail("CreateCompatibleDC");
  BITMAPINFO info = TopDownInfo(bitmap->Width(), height);
  if (::GetDIBits(release.Dc, image, 0, static_cast<UINT>(height), bitmap->ScanLine(0), &info,
                  DIB_RGB_COLORS) != height)
    return fail();
  return bitmap;
}

}  // namespace platform
