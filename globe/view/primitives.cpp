// Drawing in geographic coordinates for application code: each primitive builds a
// temporary chain, lets the projection decide what shows, and hands it to the canvas, which
// clips and draws it with its current pen, brush and font.
#include <algorithm>
#include <cmath>
#include <limits>

#include "globe/core/numeric.h"
#include "globe/core/pointstore.h"
#include "globe/core/units.h"
#include "globe/projection/projection.h"
#include "globe/render/attributes.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"
#include "globe/view/globe.h"

namespace globe {

namespace {

constexpr TGlobeObjectStateSet kClipAll{osClipLeft, osClipTop, osClipRight, osClipBottom};

// One chain through all points, heights kept.
void FillChain(TChainStore& Chains, std::span<const TPointLL> Points) {
  Chains.SetStoreHeight(true);
  TPointStore& chain = Chains.GetChain(0);
  chain.SetCount(static_cast<std::int32_t>(Points.size()));
  for (std::size_t i = 0; i < Points.size(); ++i) {
    chain.PutLL(static_cast<std::int32_t>(i), Points[i]);
  }
}

}  // namespace

void TGlobe4::RenderPolygon(std::span<const TPointLL> Points) {
  TChainStore chains;
  FillChain(chains, Points);
  TGlobeCanvas& canvas = GlobeCanvas();
  canvas.RenderChainStore(chains, kClipAll + TGlobeObjectStateSet{osClosed}, canvas.Pen().Width);
}

void TGlobe4::RenderPolyLine(std::span<const TPointLL> Points) {
  TChainStore chains;
  FillChain(chains, Points);
  TGlobeCanvas& canvas = GlobeCanvas();
  canvas.RenderChainStore(chains, kClipAll, canvas.Pen().Width);
}

void TGlobe4::RenderLine(const TPointLL& ptFromLL, const TPointLL& ptToLL, std::int32_t iSteps) {
  if (iSteps <= 0) iSteps = 1;
  // The chain has iSteps + 1 points, which must stay countable.
  iSteps = std::min(iSteps, std::numeric_limits<std::int32_t>::max() - 1);
  TChainStore chains;
  chains.SetStoreHeight(ptFromLL.iHeightZ != 0 || ptToLL.iHeightZ != 0);

  const std::int64_t dLat = std::int64_t{ptToLL.iLatY} - ptFromLL.iLatY;
  std::int64_t dLong = std::int64_t{ptToLL.iLongX} - ptFromLL.iLongX;
  // Ends in opposite outer quarters (beyond 90° west and east) are joined across 180°.
  const std::int32_t q = ptFromLL.iLongX / GU_90_DEGREE;
  if (q != 0 && ptToLL.iLongX / GU_90_DEGREE == -q) {
    dLong = (GU_360_DEGREE - std::llabs(dLong)) * q;
  }
  const std::int32_t dLong32 = Clamp32(dLong);
  const std::int32_t dLat32 = Clamp32(dLat);

  TPointStore& chain = chains.GetChain(0);
  chain.SetCount(iSteps + 1);
  for (std::int32_t i = 0; i <= iSteps; ++i) {
    const std::int64_t lon = std::int64_t{ptFromLL.iLongX} + MulDiv(dLong32, i, iSteps);
    const std::int64_t lat = std::int64_t{ptFromLL.iLatY} + MulDiv(dLat32, i, iSteps);
    chain.PutLL(i, {WrapLongitude(Clamp32(lon)), Clamp32(lat), 0});
  }

  TGlobeObjectStateSet state{osBackFace, osFace};
  if (!Projection().ProjectionModel().VisibleMER(chains.ChainStoreMER(), state)) return;
  TGlobeCanvas& canvas = GlobeCanvas();
  canvas.RenderChainStore(chains, state, canvas.Pen().Width);
}

void TGlobe4::RenderCircle(const TPointLL& ptLL, std::int32_t iRadius, std::int32_t iSteps) {
  if (iSteps > 360 || iSteps < 3) iSteps = 36;
  const TV3D axis = LLToV3D(PointLLH(ptLL.iLongX, ptLL.iLatY, ptLL.iHeightZ));
  const Extended angle =
      (360.0L / iSteps) * GU_DEGREE * PI_EXT / (180.0L * static_cast<Extended>(GU_DEGREE));
  const TMatrix step = QuatToMatrix(AxisAngleQuat(axis, angle));
  const TV3D start =
      LLToV3D(PointLLH(ptLL.iLongX, Clamp32(std::int64_t{ptLL.iLatY} + iRadius), ptLL.iHeightZ));
  GlobeCanvas().DrawVectorMatrixLine(start, step, ptLL.iHeightZ, iSteps);
}

void TGlobe4::RenderGreatCircleLine(const TPointLL& ptFromLL, const TPointLL& ptToLL,
                                    TGreatCircle CircleType) {
  const TV3D a = LLToV3D(ptFromLL);
  const TV3D b = LLToV3D(ptToLL);
  const Extended x = V3DDot(a, b);
  const Extended s = 1 - x * x;
  Extended theta = s > 0 ? std::atan2(std::sqrt(s), x) : (x >= 0 ? 0.0L : PI_EXT);
  if (CircleType == gcLongest) theta = 2 * PI_EXT - theta;
  if (CircleType == gcCircle) theta = 2 * PI_EXT;

  const std::int64_t n = Trunc(theta * 180.0L / PI_EXT);
  if (n < 1) {
    RenderLine(ptFromLL, ptToLL, 1);
    return;
  }
  TV3D axis = V3DCross(a, b);
  if (V3DDot(axis, axis) < 1e-10L) {
    // The ends are antipodes (or one point for a whole circle): every great circle through
    // them would do, so take the one through the north pole, or along the start's meridian
    // when the ends are the poles themselves. Without an axis the line would collapse.
    axis = V3DCross(a, V3D(0, 1, 0));
    if (V3DDot(axis, axis) < 1e-10L) axis = V3DCross(a, LLToV3D(PointLL(ptFromLL.iLongX, 0)));
  }
  const TMatrix step = QuatToMatrix(AxisAngleQuat(axis, -theta / static_cast<Extended>(n)));
  GlobeCanvas().DrawVectorMatrixLine(CircleType == gcLongest ? b : a, step, 0,
                                     static_cast<std::int32_t>(n));
}

void TGlobe4::RenderTextOut(std::int32_t iLong, std::int32_t iLat, const std::string& sText,
                            TGlobeUnitTypes FontUnit) {
  if (!Projection().ProjectionModel().LLToXY(iLong, iLat, 0)) return;
  const TPoint pt = DevicePoints()[0];
  TGlobeCanvas& canvas = GlobeCanvas();
  const platform::TCanvasFont& font = canvas.Font();
  FGlobeFont->Define(font.Name, font.Color, font.Size, FontUnit, 0, {});
  FGlobeFont->RenderAttribute(canvas, false);
  if (canvas.FontRenderHeight(font.Size, FontUnit) < MinTextHeight()) return;
  platform::TDevice* dc = canvas.DC();
  if (dc == nullptr) return;
  dc->SetBkMode(platform::TRANSPARENT);
  dc->TextOut(pt.X, pt.Y, sText);
}

}  // namespace globe
