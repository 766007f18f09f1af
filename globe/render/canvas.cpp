#include "globe/render/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <span>

#include "globe/core/classes.h"
#include "globe/core/numeric.h"
#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projection.h"
#include "globe/render/attributes.h"
#include "globe/render/pointbuffer.h"
#include "globe/view/customglobe.h"

namespace globe {

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();

std::int32_t Saturate32(std::int64_t v) noexcept {
  return static_cast<std::int32_t>(std::clamp(v, kInt32Min, kInt32Max));
}

// a × b / c rounded to nearest, halves away from zero, as the platform's MulDiv. Device
// coordinates far off the canvas (deep zoom) give differences beyond 32 bits, which MulDiv
// cannot take; those go through extended precision instead.
std::int64_t ClipMulDiv(std::int64_t a, std::int64_t b, std::int64_t c) noexcept {
  if (std::llabs(a) <= kInt32Max && std::llabs(b) <= kInt32Max) {
    const std::int64_t p = a * b;
    std::int64_t q = p / c;
    const std::int64_t r = p % c;
    if (2 * std::llabs(r) >= std::llabs(c)) q += ((p < 0) != (c < 0)) ? -1 : 1;
    return q;
  }
  const Extended v =
      std::round(static_cast<Extended>(a) * static_cast<Extended>(b) / static_cast<Extended>(c));
  return std::clamp<std::int64_t>(Trunc(v), 2 * kInt32Min, 2 * kInt32Max);
}

enum class TClipEdge { Top, Right, Bottom, Left };

// One Sutherland–Hodgman pass: Src holds n points and room for one more, Dst room for 2n.
// Vertices are outside beyond the exact canvas edge (Limit: 0, the width or the height);
// crossings land on B, the edge moved out by the pen width, so that the pieces along the
// edge stay invisible.
template <TClipEdge Edge>
std::int32_t ClipPass(TPoint* Src, std::int32_t n, TPoint* Dst, bool bClosed, std::int32_t Limit,
                      std::int32_t B) noexcept {
  auto inside = [Limit](const TPoint& p) {
    if constexpr (Edge == TClipEdge::Top) return p.Y >= Limit;
    if constexpr (Edge == TClipEdge::Right) return p.X <= Limit;
    if constexpr (Edge == TClipEdge::Bottom) return p.Y <= Limit;
    if constexpr (Edge == TClipEdge::Left) return p.X >= Limit;
  };
  auto cross = [B](const TPoint& p0, const TPoint& p1) {
    if constexpr (Edge == TClipEdge::Top || Edge == TClipEdge::Bottom) {
      const std::int64_t x = p1.X + ClipMulDiv(std::int64_t{B} - p1.Y, std::int64_t{p0.X} - p1.X,
                                               std::int64_t{p0.Y} - p1.Y);
      return TPoint{Saturate32(x), B};
    } else {
      const std::int64_t y = p1.Y + ClipMulDiv(std::int64_t{B} - p1.X, std::int64_t{p0.Y} - p1.Y,
                                               std::int64_t{p0.X} - p1.X);
      return TPoint{B, Saturate32(y)};
    }
  };
  Src[n] = bClosed ? Src[0] : Src[n - 1];
  std::int32_t out = 0;
  bool in0 = inside(Src[0]);
  for (std::int32_t j = 0; j < n; ++j) {
    const bool in1 = inside(Src[j + 1]);
    if (in0) Dst[out++] = Src[j];
    if (in0 != in1) Dst[out++] = cross(Src[j], Src[j + 1]);
    in0 = in1;
  }
  return out;
}

bool KnownUnit(TGlobeUnitTypes Units) noexcept {
  return static_cast<int>(Units) < GLOBE_UNIT_TYPE_COUNT;
}

// Quadrant of a longitude relative to the central meridian: 0 within 90°, ±1 beyond, ±2
// exactly opposite.
std::int32_t SeamQuadrant(std::int32_t iLong, std::int32_t CM) noexcept {
  return WrapLongitude(static_cast<std::int32_t>(std::int64_t{iLong} - CM)) / GU_90_DEGREE;
}

// A ring that winds once round the earth splits it into a cap round each pole; it encloses
// the smaller one. On the unit sphere the cap round the north pole has the area
// 2π − w·∮ sin(lat) d(long), w = ±1 the ring's winding, so that cap is the smaller one when
// w·∮ sin(lat) d(long) > 0. Which way the ring runs does not matter; files disagree on it.
bool EnclosesNorthPole(const TPointStore& Ring) noexcept {
  const std::int32_t n = Ring.Count();
  double winding = 0, integral = 0;
  TPointLL prev = Ring.GetLL(n - 1);
  double prevSin = std::sin(static_cast<double>(prev.iLatY) * static_cast<double>(RADIANS_PER_GU));
  for (std::int32_t j = 0; j < n; ++j) {
    const TPointLL p = Ring.GetLL(j);
    const double sinLat =
        std::sin(static_cast<double>(p.iLatY) * static_cast<double>(RADIANS_PER_GU));
    const auto dLong = static_cast<double>(
        WrapLongitude(static_cast<std::int32_t>(std::int64_t{p.iLongX} - prev.iLongX)));
    winding += dLong;
    integral += 0.5 * (sinLat + prevSin) * dLong;
    prev = p;
    prevSin = sinLat;
  }
  return (winding > 0) == (integral > 0);
}

// Whether the chain passes the seam between two consecutive points (the closing pair too
// for a ring): the same test as the splitting below, on the packed points.
bool CrossesSeam(const TPointStore& Chain, bool bClosed, std::int32_t CM) noexcept {
  const auto data = Chain.PointData();
  const std::size_t stride = Chain.Stride();
  if (data.size() < stride) return false;
  std::int32_t qPrev = SeamQuadrant(data[bClosed ? data.size() - stride : 0], CM);
  for (std::size_t k = 0; k < data.size(); k += stride) {
    const std::int32_t qCur = SeamQuadrant(data[k], CM);
    if ((qCur < 0 && qPrev > 0) || (qCur > 0 && qPrev < 0)) return true;
    qPrev = qCur;
  }
  return false;
}

constexpr TGlobeObjectStateSet kAllClipFlags{osClipLeft, osClipTop, osClipRight, osClipBottom};

}  // namespace

// ---- Life -------------------------------------------------------------------------------

TGlobeCanvas::TGlobeCanvas(TCustomGlobe4* ParentGlobe) : FGlobe(ParentGlobe) {
  if (ParentGlobe == nullptr) throw EGlobeException("TGlobeCanvas.Create passed nil Parent");
  FDefPen = std::make_unique<TGlobePen>();
  FDefPen->Define(0, platform::psSolid, 1, TGlobeUnitTypes::Pixel);
  FDefBrush = std::make_unique<TGlobeBrush>();
  FDefBrush->Define(0xFFFFFF, bsSolid);
  FDefFont = std::make_unique<TGlobeFont>();
  FDefFont->Define("WingDings", 0, 9, TGlobeUnitTypes::Pixel, 0, {});
  FDefTitleFont = std::make_unique<TGlobeFont>();
  FDefTitleFont->Define("Arial", 0, 9, TGlobeUnitTypes::Pixel, 0, {});
  FiCanvasWidth = 150;
  FiCanvasHeight = 150;
  FiScreenPixelsPerInch = platform::Graphics().ScreenPixelsPerInch();
  FiCanvasPixelsPerInch = FiScreenPixelsPerInch;
  FColorAdjustPercent = 0;
  FColorAdjustTarget = 0xC0C0C0;
}

TGlobeCanvas::~TGlobeCanvas() {
  // The default attributes may hold handles made for this canvas; they let go of them
  // through its device, so they go while the device is still there.
  FDefPen.reset();
  FDefBrush.reset();
  FDefFont.reset();
  FDefTitleFont.reset();
  FLocalDC.reset();
  FBufferBMP.reset();
}

void TGlobeCanvas::Assign(const TGlobeCanvas& Source) {
  if (&Source == this) return;
  FiCanvasWidth = Source.FiCanvasWidth;
  FiCanvasHeight = Source.FiCanvasHeight;
  FDefPen->Assign(*Source.FDefPen);
  FDefBrush->Assign(*Source.FDefBrush);
  FDefFont->Assign(*Source.FDefFont);
  FDefTitleFont->Assign(*Source.FDefTitleFont);
  FiCanvasPixelsPerInch = Source.FiCanvasPixelsPerInch;
  SizeBMP(Source.FiCanvasWidth, Source.FiCanvasHeight, Source.FiScreenPixelsPerInch);
}

std::unique_ptr<TGlobeCanvas> TGlobeCanvas::Clone() const {
  auto canvas = std::make_unique<TGlobeCanvas>(FGlobe);
  canvas->Assign(*this);
  return canvas;
}

void TGlobeCanvas::SetDC(platform::TDevice* Value) {
  FDC = Value;
  SetHandle(Value);
}

TGlobeProjection& TGlobeCanvas::Projection() const noexcept { return FGlobe->Projection(); }

void TGlobeCanvas::SetColorAdjustPercent(std::int32_t Value) {
  if (Value == FColorAdjustPercent) return;
  FColorAdjustPercent = Value;
  ++FiCanvasVersion;
}

void TGlobeCanvas::SetColorAdjustTarget(TColor Value) {
  if (Value == FColorAdjustTarget) return;
  FColorAdjustTarget = Value;
  ++FiCanvasVersion;
}

// ---- Devices ----------------------------------------------------------------------------

void TGlobeCanvas::SelectBMP(platform::TCanvas& ACanvas) {
  // The old memory device goes only once the canvas no longer names it.
  std::unique_ptr<platform::TDevice> old = std::move(FLocalDC);
  // Before the first SizeBMP there is no picture; a fresh memory device then draws into a
  // single pixel, as the host's would.
  auto bitmap = FBufferBMP ? FBufferBMP : std::make_shared<platform::TBitmap>(1, 1);
  FLocalDC = platform::Graphics().CreateMemoryDevice(std::move(bitmap));
  SetDC(FLocalDC.get());
  FbLocalDC = true;
  old.reset();
  platform::TCanvasFont font = Font();
  font.PixelsPerInch = ACanvas.Font().PixelsPerInch;
  font.Size = ACanvas.Font().Size;
  SetFont(font);
}

void TGlobeCanvas::ReleaseBMP(platform::TDevice* CanvasHandle) {
  SetHandle(CanvasHandle);
  if (CanvasHandle != nullptr) CanvasHandle->RemoveClipping();
  if (FbLocalDC && FLocalDC) {
    FLocalDC.reset();
    FbLocalDC = false;
  }
  FDC = CanvasHandle;
}

void TGlobeCanvas::SizeBMP(std::int32_t iWidth, std::int32_t iHeight, std::int32_t iPixelsPerInch) {
  if (!ResizeProjection(iWidth, iHeight)) return;
  FiCanvasPixelsPerInch = iPixelsPerInch;
  // A picture of that size that no one else holds is kept: the frame is redrawn whole, and
  // a second full-size picture would only add to the peak.
  if (FBufferBMP && FBufferBMP.use_count() == 1 && FBufferBMP->Width() == FiCanvasWidth &&
      FBufferBMP->Height() == FiCanvasHeight)
    return;
  if (FBufferBMP.use_count() == 1) FBufferBMP.reset();
  FBufferBMP = std::make_shared<platform::TBitmap>(FiCanvasWidth, FiCanvasHeight);
}

std::shared_ptr<platform::TBitmap> TGlobeCanvas::TakeBitmap() noexcept {
  return std::move(FBufferBMP);
}

bool TGlobeCanvas::ResizeProjection(std::int32_t iWidth, std::int32_t iHeight) {
  if (iWidth < 1 || iHeight < 1) return false;
  TGlobeProjection& prj = Projection();
  const TGlobeOptionsSet options = FGlobe->GlobeOptions();
  const std::int32_t W = FiCanvasWidth;
  const std::int32_t H = FiCanvasHeight;

  TPointLL centre;
  const bool bCentre = prj.DeviceXYToLL(W / 2, H / 2, centre);

  const Extended ratio =
      std::sqrt(static_cast<Extended>(iWidth) * iWidth + static_cast<Extended>(iHeight) * iHeight) /
      std::sqrt(static_cast<Extended>(W) * W + static_cast<Extended>(H) * H);
  std::int32_t X0 = MulDiv(prj.XOrigin(), iWidth, W);
  std::int32_t Y0 = MulDiv(prj.YOrigin(), iHeight, H);

  if (!options.Contains(goConstantScaleOnResize)) {
    const Extended old = prj.ScaleFactor();
    Extended s = old * ratio;
    if (s > 3.0L) s = 3.0L;
    const Extended side = std::max(iWidth, iHeight);
    if (side / s > 2147483647.0L) s = side / 2147483647.0L;
    // Without a scale yet there is no position on the old canvas to carry over.
    if (old > 0) {
      prj.SetIntProperty(ppXOrigin, Round32(iWidth / 2.0L + (prj.XOrigin() - W / 2.0L) / old * s));
      prj.SetIntProperty(ppYOrigin, Round32(iHeight / 2.0L + (prj.YOrigin() - H / 2.0L) / old * s));
    }
    prj.FiAltitude = Round32(1.0L / (TAN_50_DEGREES * s));
    FGlobe->StoreViewRect(TRect{0, 0, Round32(iWidth / s), Round32(iHeight / s)});
    prj.FScaleFactor = s;
    prj.ProjectionModel().PropertyChanged(ppScaleFactor);
  }

  if (!options.Contains(goFixedCenterXYOnResize)) {
    if (bCentre) {
      TPoint pt;
      prj.PointLLToXY(centre, pt);
      X0 = static_cast<std::int32_t>(std::int64_t{iWidth / 2} - pt.X + prj.XOrigin());
      Y0 = static_cast<std::int32_t>(std::int64_t{iHeight / 2} - pt.Y + prj.YOrigin());
    }
    prj.SetIntProperty(ppXOrigin, X0);
    prj.SetIntProperty(ppYOrigin, Y0);
  }

  FiCanvasWidth = iWidth;
  FiCanvasHeight = iHeight;
  return true;
}

void TGlobeCanvas::RefreshDC() {
  Deselect();
  RequireState();
}

// ---- Clipping and drawing ---------------------------------------------------------------

std::int32_t TGlobeCanvas::ClipPoly(std::int32_t iCount, TGlobeObjectStateSet State,
                                    std::int32_t iPenWidth) {
  if ((State * kAllClipFlags).Empty()) return iCount;
  const bool bClosed = State.Contains(osClosed);
  std::int32_t n = iCount;
  bool inScratch = false;
  auto pass = [&](auto clip) {
    if (n <= 1) return;
    // A pass reads n + 1 points and writes at most 2n.
    EnsureDevicePoints(2 * static_cast<std::size_t>(n) + 1);
    TPoint* src = inScratch ? ClipPoints() : DevicePoints();
    TPoint* dst = inScratch ? DevicePoints() : ClipPoints();
    n = clip(src, dst);
    inScratch = !inScratch;
  };
  const std::int32_t pw = iPenWidth;
  const std::int32_t W = FiCanvasWidth;
  const std::int32_t H = FiCanvasHeight;
  if (State.Contains(osClipTop)) {
    pass([&](TPoint* s, TPoint* d) {
      return ClipPass<TClipEdge::Top>(s, n, d, bClosed, 0, Saturate32(-std::int64_t{pw}));
    });
  }
  if (State.Contains(osClipRight)) {
    pass([&](TPoint* s, TPoint* d) {
      return ClipPass<TClipEdge::Right>(s, n, d, bClosed, W, Saturate32(std::int64_t{W} + pw));
    });
  }
  if (State.Contains(osClipBottom)) {
    pass([&](TPoint* s, TPoint* d) {
      return ClipPass<TClipEdge::Bottom>(s, n, d, bClosed, H, Saturate32(std::int64_t{H} + pw));
    });
  }
  if (State.Contains(osClipLeft)) {
    pass([&](TPoint* s, TPoint* d) {
      return ClipPass<TClipEdge::Left>(s, n, d, bClosed, 0, Saturate32(-std::int64_t{pw}));
    });
  }
  if (inScratch) std::copy_n(ClipPoints(), n, DevicePoints());
  return n;
}

void TGlobeCanvas::DrawClippedPoly(std::int32_t iPoints, TGlobeObjectStateSet State,
                                   std::int32_t iPenWidth) {
  if (iPoints > 1) iPoints = ClipPoly(iPoints, State, iPenWidth);
  if (iPoints <= 1 || FDC == nullptr) return;
  const std::span<const TPoint> points(DevicePoints(), static_cast<std::size_t>(iPoints));
  if (State.Contains(osClosed)) {
    FDC->Polygon(points);
  } else {
    FDC->Polyline(points);
  }
}

void TGlobeCanvas::RenderChainStore(TChainStore& Chains, TGlobeObjectStateSet State,
                                    std::int32_t iPenWidth) {
  RequireState();
  TGlobeProjection& prj = Projection();
  if (prj.RenderBackFace()) {
    FGlobe->TransparentBrush().RenderAttribute(*this, false);
    FGlobe->TransparentPen().RenderAttribute(*this, false);
  }
  TCustomProjectionModel& model = prj.ProjectionModel();
  const bool bClosed = State.Contains(osClosed);

  // Projects a chain appended at iStart, after making room for it.
  auto project = [&model](TPointStore& Points, std::int32_t iStart) {
    EnsureDevicePoints(static_cast<std::size_t>(iStart) + Points.Count() + 1);
    return model.PointStoreToXY(Points, iStart, true);
  };

  // A chain with long straight runs is drawn from a copy that has each run as one edge.
  TPointStore runFree;
  const auto drawable = [&Chains, &runFree](std::int32_t Index) -> TPointStore* {
    if (Chains.FindChain(Index) == nullptr) return nullptr;
    TPointStore& chain = Chains.GetChain(Index);
    if (!chain.HasLongRuns()) return &chain;
    chain.CopyWithoutLongRuns(runFree);
    return &runFree;
  };

  if (prj.Flags().Contains(pfContinuous) && bClosed) {
    for (std::int32_t i = 0; i < Chains.Count(); ++i) {
      TPointStore* chain = drawable(i);
      if (chain == nullptr) continue;
      const std::int32_t n = project(*chain, 0);
      DrawClippedPoly(n, State + kAllClipFlags, iPenWidth);
    }
    return;
  }
  // The azimuthal map has no seam: its lines are cut where they pass the antipode.
  if (auto* azimuthal = dynamic_cast<TAzimuthalPrj*>(&model)) {
    azimuthal->RenderLines(*this, Chains, State, iPenWidth);
    return;
  }

  const std::int32_t CM = Round32(prj.CentralMeridian() * 5400000.0L);
  const std::int32_t S = WrapLongitude(static_cast<std::int32_t>(std::int64_t{CM} + GU_180_DEGREE));
  TChainStore T;
  T.SetStoreHeight(Chains.StoreHeight());
  // Sub-chain stores are emptied and reused from chain to chain, keeping their memory.
  auto startSub = [&T](std::int32_t Index) -> TPointStore* {
    TPointStore* store = &T.GetChain(Index);
    store->SetCount(0);
    return store;
  };

  // An open chain: its points in turn, a hidden point ending one visible run.
  const auto drawOpen = [&](const TPointStore& Run) {
    EnsureDevicePoints(static_cast<std::size_t>(Run.Count()) + 1);
    std::int32_t idx = 0;
    for (std::int32_t j = 0; j < Run.Count(); ++j) {
      if (model.PointLLToXY(Run.GetLL(j), idx)) {
        ++idx;
      } else {
        DrawClippedPoly(idx, State, iPenWidth);
        idx = 0;
      }
    }
    DrawClippedPoly(idx, State, iPenWidth);
  };

  for (std::int32_t i = 0; i < Chains.Count(); ++i) {
    TPointStore* C = drawable(i);
    if (C == nullptr || C->Count() < 2) continue;
    const std::int32_t n = C->Count();

    // Most chains stay on one side of the seam: they are drawn straight from their store,
    // which is what their single sub-chain would hold (unless a height would be dropped).
    if ((!C->StoreHeight() || Chains.StoreHeight()) && !CrossesSeam(*C, bClosed, CM)) {
      if (bClosed) {
        DrawClippedPoly(project(*C, 0), State, iPenWidth);
        continue;
      }
      drawOpen(*C);
      continue;
    }

    // Split the chain where it crosses the seam; each cut ends one sub-chain on one side of
    // the map and starts the next on the other, 4 GU apart at the crossing latitude (the
    // points are wrapped, so that both lie within the map).
    std::int32_t k = 0;
    TPointStore* sub = startSub(0);
    const std::int32_t prevIndex = bClosed ? n - 1 : 0;
    TPointLL B = C->GetLL(prevIndex);
    std::int32_t qPrev = SeamQuadrant(B.iLongX, CM);
    std::int32_t firstSide = 0;  // qPrev at the first crossing
    for (std::int32_t j = 0; j < n; ++j) {
      const TPointLL P = C->GetLL(j);
      const std::int32_t qCur = SeamQuadrant(P.iLongX, CM);
      if ((qCur < 0 && qPrev > 0) || (qCur > 0 && qPrev < 0)) {
        const Extended t = static_cast<Extended>(LongDiff(S, P.iLongX)) /
                           static_cast<Extended>(LongDiff(B.iLongX, P.iLongX));
        const std::int32_t lat = static_cast<std::int32_t>(
            P.iLatY + RoundHalfEven((static_cast<Extended>(B.iLatY) - P.iLatY) * t));
        sub->Add(PointLLH(static_cast<std::int32_t>(std::int64_t{S} - 2 * qPrev), lat, P.iHeightZ));
        sub = startSub(++k);
        sub->Add(PointLLH(static_cast<std::int32_t>(std::int64_t{S} + 2 * qPrev), lat, P.iHeightZ));
        if (firstSide == 0) firstSide = qPrev;
      }
      sub->Add(P);
      qPrev = qCur;
      B = P;
    }
    const std::int32_t subCount = k + 1;

    if (!bClosed) {
      for (std::int32_t s = 0; s < subCount; ++s) drawOpen(T.GetChain(s));
      continue;
    }

    std::int32_t idx = 0;
    for (std::int32_t s = 0; s < subCount; s += 2) idx = project(T.GetChain(s), idx);
    if (subCount % 2 == 1) {
      DrawClippedPoly(idx, State, iPenWidth);
      idx = 0;
    } else {
      // An odd number of crossings: the ring encloses a pole. Close it along the map's
      // edges through that pole: along the edge where the last even sub-chain leaves the
      // map, back along the edge where the first odd one enters it.
      const TPointStore& last = T.GetChain(subCount - 2);
      const TPointLL L = last.GetLL(last.Count() - 1);
      const std::int32_t backLong =
          static_cast<std::int32_t>(std::int64_t{S} + (firstSide > 0 ? 2 : -2));
      const bool north = EnclosesNorthPole(*C);
      const std::int64_t step = north ? GU_MINUTE : -GU_MINUTE;
      const std::int64_t pole = north ? GU_90_DEGREE : -GU_90_DEGREE;
      TPointStore detour;
      detour.SetStoreHeight(Chains.StoreHeight());
      std::int64_t lat = L.iLatY;
      while (north ? lat < pole : lat > pole) {
        lat += step;
        detour.Add(PointLLH(L.iLongX, static_cast<std::int32_t>(lat), L.iHeightZ));
      }
      detour.Add(
          PointLLH(L.iLongX, static_cast<std::int32_t>(pole - step / GU_MINUTE), L.iHeightZ));
      while (north ? lat > L.iLatY : lat < L.iLatY) {
        lat -= step;
        detour.Add(PointLLH(backLong, static_cast<std::int32_t>(lat), L.iHeightZ));
      }
      detour.Add(PointLLH(backLong, L.iLatY, L.iHeightZ));
      idx = project(detour, idx);
    }
    for (std::int32_t s = 1; s < subCount; s += 2) idx = project(T.GetChain(s), idx);
    DrawClippedPoly(idx, State, iPenWidth);
  }
}

void TGlobeCanvas::DrawVectorMatrixLine(const TV3D& vec, const TMatrix& mat, std::int32_t iHeight,
                                        std::int32_t iSteps) {
  if (iSteps < 0 || iSteps == std::numeric_limits<std::int32_t>::max()) return;
  TChainStore chains;
  chains.SetStoreHeight(iHeight > 0);
  TPointStore& chain = chains.GetChain(0);
  chain.SetCount(iSteps + 1);
  TV3D v = vec;
  for (std::int32_t i = 0; i <= iSteps; ++i) {
    TPointLL ll = V3DToLL(v);
    ll.iHeightZ = iHeight;
    chain.PutLL(i, ll);
    v = MatrixApply(mat, v);
  }
  RenderChainStore(chains, TGlobeObjectStateSet::FromBits(0x3C30), Pen().Width);
}

// ---- Colours and units ------------------------------------------------------------------

TColor TGlobeCanvas::RenderColor(TColor aColor) const {
  if (FColorAdjustPercent == 0) return aColor;
  const TColor c = platform::ColorToRGB(aColor);
  const TColor t = FColorAdjustTarget;
  auto channel = [this](int shift, TColor from, TColor to) -> TColor {
    const std::int64_t cv = (from >> shift) & 0xFF;
    const std::int64_t tv = (to >> shift) & 0xFF;
    const float v =
        static_cast<float>(static_cast<Extended>(cv) +
                           static_cast<Extended>((tv - cv) * FColorAdjustPercent) / 100.0L);
    return static_cast<TColor>(std::clamp<std::int64_t>(RoundHalfEven(v), 0, 255)) << shift;
  };
  return channel(0, c, t) | channel(8, c, t) | channel(16, c, t);
}

std::int32_t TGlobeCanvas::GlobeUnitsFrom(Extended eValue, TGlobeUnitTypes Units) const {
  const Extended v = (Units == TGlobeUnitTypes::Pixel || !KnownUnit(Units))
                         ? eValue / Projection().ScaleFactor()
                         : eValue * GUPerUnit(Units);
  // Beyond the 64-bit range (or no scale to divide by) the conversion has failed.
  constexpr Extended kLimit = 9223372036854775807.0L;
  if (!std::isfinite(v) || v >= kLimit || v <= -kLimit) return Round32(eValue);
  return Round32(v);
}

std::int32_t TGlobeCanvas::ScaleUnitsToDevice(std::int32_t Value, TGlobeUnitTypes Units) const {
  if (Units == TGlobeUnitTypes::Pixel || !KnownUnit(Units)) {
    return MulDiv(Value, FiCanvasPixelsPerInch, FiScreenPixelsPerInch);
  }
  return Round32(GlobeUnitsFrom(Value, Units) * Projection().ScaleFactor());
}

std::int32_t TGlobeCanvas::FontRenderHeight(std::int32_t FontSize,
                                            TGlobeUnitTypes FontUnits) const {
  if (FontUnits == TGlobeUnitTypes::Pixel || !KnownUnit(FontUnits)) {
    return MulDiv(FontSize, FiCanvasPixelsPerInch, FiScreenPixelsPerInch);
  }
  const std::int64_t gu = std::int64_t{GlobeUnitsFrom(1.0L, FontUnits)} * FontSize;
  return Round32(static_cast<Extended>(gu) * Projection().ScaleFactor());
}

}  // namespace globe
