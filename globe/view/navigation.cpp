// How input moves the view: mouse drags that rotate and zoom, clicks that select, the scroll
// bars, panning, the view rectangle, centring and the saved view state.
#include <algorithm>
#include <cmath>
#include <limits>

#include "globe/core/numeric.h"
#include "globe/core/units.h"
#include "globe/objects/layerstore.h"
#include "globe/projection/models.h"
#include "globe/projection/projection.h"
#include "globe/projection/projmath.h"
#include "globe/render/canvas.h"
#include "globe/view/globe.h"

namespace globe {

using projection_detail::TryRound32;

namespace {

}  // namespace

bool TGlobe4::IsButton(TGlobeMouseButton Assigned, platform::TMouseButton Button) noexcept {
  switch (Assigned) {
    case mzbLeft:
      return Button == platform::TMouseButton::mbLeft;
    case mzbRight:
      return Button == platform::TMouseButton::mbRight;
    case mzbMiddle:
      return Button == platform::TMouseButton::mbMiddle;
    default:
      return false;
  }
}

// ---- Mouse ------------------------------------------------------------------------------

void TGlobe4::MouseDown(platform::TMouseButton Button, platform::TShiftState Shift, std::int32_t X,
                        std::int32_t Y) {
  if (FbZooming) {
    // Any button cancels a zoom drag; the press goes no further.
    FbZooming = false;
    if (FHost != nullptr) {
      FHost->ReleaseMouse();
      FHost->Invalidate();
    }
    return;
  }
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
  if (Shift.Any()) return;
  if (IsButton(FMouseZoomButton, Button)) {
    FZoomRect = {X, Y, X + 1, Y + 1};
    FbZooming = true;
    if (FHost != nullptr) FHost->CaptureMouse();
  }
  if (IsButton(FMouseRotateButton, Button)) {
    TPointLL pt;
    if (Projection().DeviceXYToLL(X, Y, pt)) {
      ptRotate = pt;
      FbRotating = true;
      if (FHost != nullptr) FHost->CaptureMouse();
    }
  }
}

void TGlobe4::MouseMove(platform::TShiftState Shift, std::int32_t X, std::int32_t Y) {
  const bool interruptable = FGlobeOptions.Contains(goInterruptable);
  if (FbZooming) {
    // The rubber band is drawn by the paint, above the picture; a repaint moves it.
    FZoomRect.Right = X;
    FZoomRect.Bottom = Y;
    if (FHost != nullptr) FHost->Invalidate();
    if (interruptable) PaintAbort = true;
  }
  if (FbRotating) {
    TGlobeProjection& prj = Projection();
    TPointLL pt;
    if (dynamic_cast<TAzimuthalPrj*>(&prj.ProjectionModel()) != nullptr) {
      // The azimuthal map keeps its centre: the drag pans it, the grabbed point following
      // the mouse.
      TPoint grabbed;
      prj.PointLLToXY(ptRotate, grabbed);
      const TPoint origin = prj.CenterXY();
      prj.SetCenterXY({Clamp32(std::int64_t{origin.X} + X - grabbed.X),
                       Clamp32(std::int64_t{origin.Y} + Y - grabbed.Y)});
      if (interruptable) PaintAbort = true;
    } else if (prj.DeviceXYToLL(X, Y, pt)) {
      const std::int32_t dLat = ptRotate.iLatY - pt.iLatY;
      const std::int32_t dLong =
          WrapLongitude(static_cast<std::int32_t>(std::int64_t{ptRotate.iLongX} - pt.iLongX));
      prj.SetXRotation(prj.XRotation() + static_cast<Extended>(dLat) / GU_DEGREE);
      prj.SetYRotation(prj.YRotation() + static_cast<Extended>(dLong) / GU_DEGREE);
      if (interruptable) PaintAbort = true;
    }
  }
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TGlobe4::MouseUp(platform::TMouseButton Button, platform::TShiftState Shift, std::int32_t X,
                      std::int32_t Y) {
  if (FHost != nullptr) FHost->ReleaseMouse();
  if (FbZooming) {
    FbZooming = false;
    const TRect r = FZoomRect;
    const Extended S = Projection().ScaleFactor();
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    // A drag to the left or upwards has a negative size and only repaints, as does a
    // rectangle too large to express in projection units.
    const bool zoom = r.Right - r.Left >= 10 && r.Bottom - r.Top >= 10 &&
                      TryRound32(r.Left / S, left) && TryRound32(r.Top / S, top) &&
                      TryRound32(r.Right / S, right) && TryRound32(r.Bottom / S, bottom);
    if (zoom) {
      SetViewRect({left, top, right - left, bottom - top});
      RedrawLayers();
    } else if (FHost != nullptr) {
      FHost->Invalidate();
    }
  }
  FbRotating = false;

  TGlobeRoot* obj = FLayerStore->ObjectAtXY(X, Y);
  const bool selectButton = IsButton(FMouseSelectButton, Button);
  if (!Shift.Any() && selectButton) FLayerStore->SetSelectedObject(obj);
  if (obj != nullptr) {
    if (FGlobeOptions.Contains(goMultiSelect) && Shift.Ctrl && selectButton) {
      FLayerStore->InvertSelected(*obj);
    }
    if (OnObjectClick && Button == platform::TMouseButton::mbLeft) OnObjectClick(this, obj);
  }
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

// ---- View rectangle and panning ---------------------------------------------------------

void TGlobe4::SetViewRect(const TRect& Value) {
  TGlobeProjection& prj = Projection();
  const std::int64_t width = Value.Right;
  const std::int64_t height = Value.Bottom;
  if (width == 0 || height == 0) {
    prj.SetScaleFactor(0);
    return;
  }
  const TGlobeCanvas& canvas = GlobeCanvas();
  const std::int32_t W = canvas.CanvasWidth();
  const std::int32_t H = canvas.CanvasHeight();

  // Each step gives up on the rest when its arithmetic fails.
  [&] {
    Extended a = MinExt(static_cast<Extended>(W) / width, static_cast<Extended>(H) / height);
    if (a > 3) a = 3;
    if (prj.MinZoom() < prj.MaxZoom()) a = Clamp(a, prj.MinZoom(), prj.MaxZoom());
    // A rectangle of negative size has no scale.
    if (!(a > 0) || !std::isfinite(a)) return;
    const Extended S = prj.ScaleFactor();
    std::int32_t dx = 0, dy = 0;
    if (!TryRound32((prj.XOrigin() / S - static_cast<Extended>(Value.Left + width / 2)) * a, dx))
      return;
    if (!TryRound32((prj.YOrigin() / S - static_cast<Extended>(Value.Top + height / 2)) * a, dy))
      return;
    const std::int64_t x = std::int64_t{dx} + W / 2;
    const std::int64_t y = std::int64_t{dy} + H / 2;
    if (x != Clamp32(x) || y != Clamp32(y)) return;
    const Extended side = std::max(W, H);
    if (side / a > 2147483647.0L) a = side / 2147483647.0L;
    if (a == S) return;
    std::int32_t vw = 0, vh = 0;
    if (!TryRound32(W / a, vw) || !TryRound32(H / a, vh)) return;
    StoreViewRect({0, 0, vw, vh});
    prj.SetScaleFactor(a);
    prj.SetXOrigin(static_cast<std::int32_t>(x));
    prj.SetYOrigin(static_cast<std::int32_t>(y));
    DoZoomed(this);
  }();
  UpdateScrollBars();
}

void TGlobe4::PanViewXY(std::int32_t iX, std::int32_t iY) {
  if (iX != 0 || iY != 0) {
    TGlobeProjection& prj = Projection();
    const Extended S = prj.ScaleFactor();
    prj.SetXOrigin(Clamp32(prj.XOrigin() - RoundHalfEven(iX * S)));
    prj.SetYOrigin(Clamp32(prj.YOrigin() - RoundHalfEven(iY * S)));
    DoPanned(this);
  }
  UpdateScrollBars();
  RedrawLayers();
}

// ---- Scroll bars ------------------------------------------------------------------------

void TGlobe4::UpdateScrollBars() {
  if (bRenderToCanvas || FHost == nullptr) return;
  if (!UpdateScrollBar(true)) return;
  UpdateScrollBar(false);
}

bool TGlobe4::UpdateScrollBar(bool Vertical) {
  TGlobeProjection& prj = Projection();
  const Extended S = prj.ScaleFactor();
  const TGlobeCanvas& canvas = GlobeCanvas();
  const std::int64_t side = Vertical ? canvas.CanvasHeight() : canvas.CanvasWidth();
  const TRect extents = prj.ExtentsLL();
  const bool limits = prj.UseMinMaxLimits();

  std::int64_t lo = Vertical ? extents.Top : extents.Left;
  std::int64_t hi = Vertical ? extents.Bottom : extents.Right;
  if (limits) {
    const Extended minLimit = Vertical ? prj.MinLatitude() : prj.MinLongitude();
    const Extended maxLimit = Vertical ? prj.MaxLatitude() : prj.MaxLongitude();
    lo = std::max(lo, RoundHalfEven(minLimit * GU_DEGREE));
    hi = std::min(hi, RoundHalfEven(maxLimit * GU_DEGREE));
  }
  const std::int64_t fullPage = Vertical ? GU_180_DEGREE : GU_360_DEGREE;
  const std::int64_t bound = Vertical ? GU_90_DEGREE : GU_180_DEGREE;
  const std::int64_t view = Vertical ? FViewRect.Height() : FViewRect.Width();
  const std::int64_t page = std::min(fullPage, view);
  const std::int64_t half = page / 2;
  constexpr std::int64_t kLimit = 1073741823;
  const std::int64_t mn = lo < -bound ? -bound : std::clamp(lo, -kLimit, kLimit);
  const std::int64_t mx = hi > bound ? bound : std::clamp(hi, -kLimit, kLimit);
  const std::int64_t origin = Vertical ? prj.YOrigin() : prj.XOrigin();
  const Extended raw = Vertical ? static_cast<Extended>(origin - side / 2) / S
                                : static_cast<Extended>(side / 2 - origin) / S;
  const Extended centre =
      Clamp(raw, static_cast<Extended>(mn + half), static_cast<Extended>(mx - half));

  if (limits) {
    // Zoom in until the limited range fills the window; the new scale updates the bars
    // again. That update does not zoom once more: when the zoom limits keep the scale
    // from growing, zooming again would never end.
    if (mx - mn < page && mx > mn && !FbFittingLimits) {
      struct TFitting {
        bool& flag;
        ~TFitting() { flag = false; }
      } fitting{FbFittingLimits};
      FbFittingLimits = true;
      prj.SetScaleFactor(static_cast<Extended>(side) / static_cast<Extended>(mx - mn));
      return false;
    }
    const std::int64_t shift = RoundHalfEven(centre * S);
    if (Vertical) {
      prj.SetYOrigin(Clamp32(shift + side / 2));
    } else {
      prj.SetXOrigin(Clamp32(side / 2 - shift));
    }
  }

  const std::int64_t position =
      Vertical ? (mx + mn) - RoundHalfEven(half + centre) : -RoundHalfEven(half - centre);
  const bool shown = Vertical ? (FScrollBars == ssVertical || FScrollBars == ssBoth)
                              : (FScrollBars == ssHorizontal || FScrollBars == ssBoth);
  if (shown) {
    platform::TScrollInfo info;
    info.Min = Clamp32(mn);
    info.Max = Clamp32(mx);
    info.Page = Clamp32(page);
    info.Position = Clamp32(position);
    info.Enabled = page < mx - mn;
    FHost->SetScrollBar(
        Vertical ? platform::TScrollBarKind::sbVertical : platform::TScrollBarKind::sbHorizontal,
        info);
  }
  return true;
}

void TGlobe4::HorzScroll(platform::TScrollCode Code) {
  ScrollBy(platform::TScrollBarKind::sbHorizontal, Code);
}

void TGlobe4::VertScroll(platform::TScrollCode Code) {
  ScrollBy(platform::TScrollBarKind::sbVertical, Code);
}

void TGlobe4::ScrollBy(platform::TScrollBarKind Kind, platform::TScrollCode Code) {
  if (FHost == nullptr) return;
  const platform::TScrollInfo info = FHost->ScrollBar(Kind);
  std::int64_t amount = 0;
  switch (Code) {
    case platform::TScrollCode::scLineUp:
      amount = -info.Page / 20;
      break;
    case platform::TScrollCode::scLineDown:
      amount = info.Page / 20;
      break;
    case platform::TScrollCode::scPageUp:
      amount = -info.Page / 2;
      break;
    case platform::TScrollCode::scPageDown:
      amount = info.Page / 2;
      break;
    case platform::TScrollCode::scThumbTrack:
      amount = std::int64_t{info.TrackPosition} - info.Position;
      break;
    default:
      return;
  }
  if (Kind == platform::TScrollBarKind::sbHorizontal) {
    PanViewXY(Clamp32(amount), 0);
  } else {
    PanViewXY(0, Clamp32(amount));
  }
}

// ---- Centring and view state ------------------------------------------------------------

void TGlobe4::LocateToLL(std::int32_t iLong, std::int32_t iLat) {
  TGlobeProjection& prj = Projection();
  if (dynamic_cast<TAzimuthalPrj*>(&prj.ProjectionModel()) != nullptr) {
    // Locating is the command that moves the azimuthal map's centre: the point becomes
    // the centre of the map, and the map's centre the canvas's.
    const TGlobeCanvas& canvas = GlobeCanvas();
    prj.SetCentralParallel(Clamp(static_cast<Extended>(iLat) / GU_DEGREE, -90, 90));
    prj.SetCentralMeridian(static_cast<Extended>(WrapLongitude(iLong)) / GU_DEGREE);
    prj.SetCenterXY({canvas.CanvasWidth() / 2, canvas.CanvasHeight() / 2});
    return;
  }
  // Latitude first: a view straight down on a pole (as the sphere may be after the flat
  // map) has no longitude to correct, so longitude first would turn by a wrong amount.
  prj.SetCenterLatitude(static_cast<Extended>(iLat) / GU_DEGREE);
  prj.SetCenterLongitude(static_cast<Extended>(WrapLongitude(iLong)) / GU_DEGREE);
}

void TGlobe4::LocateToObject(TGlobeRoot* Obj) {
  if (Obj == nullptr) return;
  TMER mer;
  if (!FLayerStore->ObjectMER(*Obj, mer)) return;
  LocateToLL(WrapLongitude(Clamp32(std::int64_t{mer.iLongX} + mer.iWidthX / 2)),
             Clamp32(std::int64_t{mer.iLatY} + mer.iHeightY / 2));
}

void TGlobe4::GetPOZ(TGlobePOZ& POZ) {
  const TGlobeProjection& prj = Projection();
  POZ.eSF = prj.ScaleFactor();
  POZ.iRotX = Round32(prj.XRotation() * GU_DEGREE);
  POZ.iRotY = Round32(prj.YRotation() * GU_DEGREE);
  POZ.iRotZ = Round32(prj.ZRotation() * GU_DEGREE);
  POZ.CenterXY = prj.CenterXY();
}

void TGlobe4::SetPOZ(const TGlobePOZ& POZ) {
  TGlobeProjection& prj = Projection();
  prj.SetScaleFactor(POZ.eSF);
  prj.SetXRotation(static_cast<Extended>(POZ.iRotX) / GU_DEGREE);
  prj.SetYRotation(static_cast<Extended>(POZ.iRotY) / GU_DEGREE);
  prj.SetZRotation(static_cast<Extended>(POZ.iRotZ) / GU_DEGREE);
  prj.SetCenterXY(POZ.CenterXY);
}

}  // namespace globe
