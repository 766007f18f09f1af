#include <algorithm>
#include <cstdint>
#include <limits>
#include <typeinfo>

#include "globe/core/texture.h"
#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projmath.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"
#include "globe/view/customglobe.h"

namespace globe {

namespace {

constexpr std::int32_t kSampleStep = 15 * GU_DEGREE;

// Sample coordinates are formed in 64 bits (a rectangle from a file may reach past the
// 32-bit range); the projection takes them limited to it.
std::int32_t Limit32(std::int64_t v) noexcept {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::uint8_t OutCode(std::int64_t x, std::int64_t y, std::int64_t W, std::int64_t H) noexcept {
  std::uint8_t c = 0;
  if (x < 0) c |= 1;
  if (x > W) c |= 2;
  if (y < 0) c |= 4;
  if (y > H) c |= 8;
  return c;
}

}  // namespace

TProjectionModel::TProjectionModel(TGlobeProjection* Parent) : TCustomProjectionModel(Parent) {
  Parent->SetGraticuleLongSteps(72);
  Parent->SetGraticuleLatSteps(144);
}

void TProjectionModel::LoadEnvironment(const TGXML_Element*) {}

std::unique_ptr<TGXML_Element> TProjectionModel::SaveEnvironment() {
  auto el = std::make_unique<TGXML_Element>();
  el->AddAttribute("Class", ClassName());
  return el;
}

std::int32_t TProjectionModel::PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool) {
  return projection_detail::ProjectChain(
      Points, iStart,
      [this](const TPointLL& pt, std::int32_t i, TPoint&) { return PointLLToXY(pt, i); });
}

bool TProjectionModel::LLToXY(std::int32_t iLong, std::int32_t iLat, std::int32_t iIndex) {
  return PointLLToXY(PointLL(iLong, iLat), iIndex);
}

TRect TProjectionModel::ExtentsLL() const {
  return {-GU_180_DEGREE, -GU_90_DEGREE, GU_180_DEGREE, GU_90_DEGREE};
}

bool TProjectionModel::XYListVisible(std::int32_t iCount, std::uint8_t& ClipCode) {
  if (iCount <= 1) return false;
  // Never past the buffer, whatever count the caller claims.
  const auto n = std::min<std::size_t>(static_cast<std::size_t>(iCount), DevicePointCapacity());
  const TPoint* buffer = DevicePoints();
  std::int64_t minX = buffer[0].X, maxX = minX, minY = buffer[0].Y, maxY = minY;
  for (std::size_t i = 1; i < n; ++i) {
    minX = std::min<std::int64_t>(minX, buffer[i].X);
    maxX = std::max<std::int64_t>(maxX, buffer[i].X);
    minY = std::min<std::int64_t>(minY, buffer[i].Y);
    maxY = std::max<std::int64_t>(maxY, buffer[i].Y);
  }
  const TGlobeCanvas& canvas = Projection().Globe().GlobeCanvas();
  const std::int64_t W = canvas.CanvasWidth();
  const std::int64_t H = canvas.CanvasHeight();
  const std::uint8_t c1 = OutCode(minX, minY, W, H);
  const std::uint8_t c2 = OutCode(maxX, maxY, W, H);
  ClipCode = static_cast<std::uint8_t>(c1 * 16 + c2);
  if ((c1 & c2) == 0) return true;
  return !(minY > H || minX > W || maxY < 0 || maxX < 0);
}

bool TProjectionModel::VisibleMER(const TMER& MER, TGlobeObjectStateSet& State) {
  State -=
      TGlobeObjectStateSet{osClipTop, osClipRight, osClipBottom, osClipLeft, osFace, osBackFace};
  if (MER.iWidthX >= GU_360_DEGREE) return true;

  auto testBox = [&](std::int64_t west, std::int64_t south, std::int64_t east, std::int64_t north) {
    // At most a few hundred samples: the spans are bounded by the 32-bit MER fields.
    const std::int64_t xSteps = east > west ? (east - west) / kSampleStep + 1 : 0;
    const std::int64_t ySteps = north > south ? (north - south) / kSampleStep + 1 : 0;
    EnsureDevicePoints(static_cast<std::size_t>(4 + 2 * xSteps + 2 * ySteps));
    std::int32_t n = 0, v = 0;
    auto sample = [&](std::int64_t lon, std::int64_t lat) {
      if (LLToXY(Limit32(lon), Limit32(lat), n++)) ++v;
    };
    if (west == east && south == north) {
      // A single place (towns, islands: most objects of a point layer): its four corners
      // are one point, projected once.
      sample(west, south);
      TPoint* buffer = DevicePoints();
      buffer[1] = buffer[2] = buffer[3] = buffer[0];
      n = 4;
      v *= 4;
    } else {
      sample(west, south);
      sample(west, north);
      sample(east, north);
      sample(east, south);
    }
    for (std::int64_t x = west + kSampleStep; x < east; x += kSampleStep) {
      sample(x, south);
      sample(x, north);
    }
    for (std::int64_t y = south + kSampleStep; y < north; y += kSampleStep) {
      sample(west, y);
      sample(east, y);
    }
    if (v == 0) return false;
    std::uint8_t code = 0;
    if (!XYListVisible(n, code)) return false;
    if (code & 0xC0) State.Include(osClipTop);
    if (code & 0x03) State.Include(osClipRight);
    if (code & 0x0C) State.Include(osClipBottom);
    if (code & 0x30) State.Include(osClipLeft);
    const bool back = Projection().RenderBackFace();
    if (v != n) State.Include(back ? osFace : osBackFace);
    if (v > 0) State.Include(back ? osBackFace : osFace);
    return true;
  };

  const std::int64_t west = MER.iLongX;
  const std::int64_t east = std::int64_t{MER.iLongX} + MER.iWidthX;
  const std::int64_t south = MER.iLatY;
  const std::int64_t north = std::int64_t{MER.iLatY} + MER.iHeightY;
  if (east > GU_180_DEGREE) {
    if (testBox(west, south, GU_180_DEGREE, north)) return true;
    return testBox(-GU_180_DEGREE, south, east - GU_360_DEGREE, north);
  }
  return testBox(west, south, east, north);
}

void TProjectionModel::PaintSurface() {
  TGlobeProjection& P = Projection();
  const TTextureData& texture = P.Globe().BackgroundTextureMap();
  if (texture.IsValid() && P.Flags().Contains(pfTextureMap)) {
    // The plate carrée places texels by an affine mapping: cells need no subdividing for
    // accuracy, and a few large ones save tens of thousands of small triangles.
    const bool affine = typeid(*this) == typeid(TCartesianPrj);
    P.Globe().GlobeCanvas().RenderTextureMap(texture, affine ? 16 * GU_DEGREE : GU_DEGREE);
    return;
  }
  constexpr std::int32_t step = 10 * GU_DEGREE;
  EnsureDevicePoints(108);
  {
    // The outline follows the map's edges only with the map unshifted. The meridian is set
    // aside quietly: through the setter every paint would update the scroll bars and ask
    // for another paint.
    struct TUnshifted {
      Extended& Meridian;
      Extended Kept;
      ~TUnshifted() { Meridian = Kept; }
    } unshifted{P.FCentralMeridian, P.FCentralMeridian};
    P.FCentralMeridian = 0;
    const TRect e = P.ExtentsLL();
    for (std::int32_t i = 0; i < 36; ++i) LLToXY(e.Left + i * step, e.Top, i);
    for (std::int32_t i = 0; i < 18; ++i) LLToXY(e.Right - 1, e.Top + i * step, 36 + i);
    for (std::int32_t i = 0; i < 36; ++i) LLToXY(e.Right - 1 - i * step, e.Bottom, 54 + i);
    for (std::int32_t i = 0; i < 18; ++i) LLToXY(e.Left, e.Bottom - i * step, 90 + i);
  }
  P.Globe().GlobeCanvas().DrawClippedPoly(
      108, {osClosed, osClipLeft, osClipTop, osClipRight, osClipBottom}, 1);
}

void TProjectionModel::PaintGraticule() {
  TCustomGlobe4& globe = Projection().Globe();
  const std::int64_t longStep = std::int64_t{globe.GraticuleLongitudeStep()} * GU_DEGREE;
  const std::int64_t latStep = std::int64_t{globe.GraticuleLatitudeStep()} * GU_DEGREE;
  if (longStep > 0) {
    const std::int32_t pieces = std::max(2, Projection().GraticuleLongSteps());
    constexpr std::int32_t kPoleGap = 89 * GU_DEGREE;
    for (std::int64_t lon = -GU_180_DEGREE; lon < GU_180_DEGREE; lon += longStep) {
      const auto l = static_cast<std::int32_t>(lon);
      globe.RenderLine(PointLL(l, -kPoleGap), PointLL(l, kPoleGap), pieces);
    }
  }
  if (latStep > 0) {
    const std::int32_t pieces = std::max(2, Projection().GraticuleLatSteps());
    for (std::int64_t lat = 0; lat < 85 * GU_DEGREE; lat += latStep) {
      for (const auto l : {static_cast<std::int32_t>(lat), static_cast<std::int32_t>(-lat)}) {
        globe.RenderLine(PointLL(GU_180_DEGREE - 1, l), PointLL(0, l), pieces);
        globe.RenderLine(PointLL(0, l), PointLL(-GU_180_DEGREE + 1, l), pieces);
      }
    }
  }
}

}  // namespace globe
