#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projmath.h"
#include "globe/render/pointbuffer.h"

namespace globe {

using projection_detail::RoundD;
using projection_detail::SatRound32;
using projection_detail::TryRound32;
using projection_detail::Wrap32;

namespace {

// Latitude limit of the Mercator forward projection, just short of the pole.
constexpr std::int32_t kMercatorMaxLat = GU_90_DEGREE - 1;

// The central meridian in GU. Rounding it takes extended arithmetic, and graticule lines
// and the shading's columns ask for it point by point; the meridian seldom changes.
std::int32_t CentralMeridianGU(const TGlobeProjection& P) noexcept {
  thread_local Extended degrees = std::numeric_limits<Extended>::quiet_NaN();
  thread_local std::int32_t gu = 0;
  const Extended cm = P.CentralMeridian();
  if (!(cm == degrees)) {
    degrees = cm;
    gu = SatRound32(cm * GU_DEGREE);
  }
  return gu;
}

// The view a flat projection reads, taken once per call or chain. Per point the arithmetic
// is in double: it decides pixels only and its error does not move a rounding.
struct TFlatView {
  TRect Extents;
  std::int32_t CM;
  double s;
  std::int64_t Ox, Oy;

  TFlatView(const TProjectionModel& Model, const TGlobeProjection& P) noexcept
      : Extents(Model.ExtentsLL()),
        CM(CentralMeridianGU(P)),
        s(static_cast<double>(P.ScaleFactor())),
        Ox(P.XOrigin()),
        Oy(P.YOrigin()) {}

  bool Inside(std::int64_t lon, std::int64_t lat) const noexcept {
    return Extents.Left <= lon && lon <= Extents.Right && Extents.Top <= lat &&
           lat <= Extents.Bottom;
  }
  // Longitude relative to the central meridian, wrapped (32-bit arithmetic, as stored).
  double Relative(std::int32_t lon) const noexcept {
    return WrapLongitude(Wrap32(std::int64_t{lon} - CM));
  }
  std::int32_t X(double gu) const noexcept { return Wrap32(RoundD(gu * s) + Ox); }
  std::int32_t Y(double gu) const noexcept { return Wrap32(Oy - RoundD(gu * s)); }
};

struct TPlateCarree : TFlatView {
  using TFlatView::TFlatView;
  bool Project(const TPointLL& pt, TPoint& out) const noexcept {
    out = {X(Relative(pt.iLongX)), Y(pt.iLatY)};
    return Inside(pt.iLongX, pt.iLatY);
  }
};

struct TMercator : TFlatView {
  using TFlatView::TFlatView;
  bool Project(const TPointLL& pt, TPoint& out) const noexcept {
    const Extended phi =
        static_cast<Extended>(std::clamp(pt.iLatY, -kMercatorMaxLat, kMercatorMaxLat)) *
        RADIANS_PER_GU;
    const Extended y = std::log(std::tan(PI_EXT / 4 + phi / 2)) * GU_PER_RADIAN;
    out = {X(Relative(pt.iLongX)), Y(static_cast<double>(y))};
    return Inside(pt.iLongX, pt.iLatY);
  }
};

struct TTurnedPlateCarree : TFlatView {
  double ZSin, ZCos;
  TTurnedPlateCarree(const TProjectionModel& Model, const TGlobeProjection& P, Extended Sin,
                     Extended Cos) noexcept
      : TFlatView(Model, P), ZSin(static_cast<double>(Sin)), ZCos(static_cast<double>(Cos)) {}
  bool Project(const TPointLL& pt, TPoint& out) const noexcept {
    const double b = Relative(pt.iLongX);
    const double lat = pt.iLatY;
    out = {X(b * ZCos - lat * ZSin), Y(b * ZSin + lat * ZCos)};
    return Inside(pt.iLongX, pt.iLatY);
  }
};

template <class TView>
std::int32_t ProjectFlatChain(const TView& View, TPointStore& Points, std::int32_t iStart) {
  return projection_detail::ProjectChain(
      Points, iStart,
      [&](const TPointLL& pt, std::int32_t, TPoint& slot) { return View.Project(pt, slot); });
}

// The plate carrée's chain loop, the one every layer of the flat map goes through. While
// the scale keeps every product of a 32-bit coordinate below 2^51, RoundNearest rounds as
// RoundD; otherwise the generic loop does. Visibility and the one-pixel thinning are those
// of ProjectChain, without branches on the coordinates.
std::int32_t ProjectPlateCarreeChain(const TPlateCarree& View, TPointStore& Points,
                                     std::int32_t iStart) {
  const double s = View.s;
  if (!(std::fabs(s) < 1.0e6) || !projection_detail::RoundingToNearest()) {
    return ProjectFlatChain(View, Points, iStart);
  }
  using projection_detail::RoundNearest;
  iStart = std::max(iStart, 0);
  EnsureDevicePoints(static_cast<std::size_t>(iStart) + static_cast<std::size_t>(Points.Count()) +
                     1);
  TPoint* const buffer = DevicePoints();
  const auto data = Points.PointData();
  const std::size_t stride = Points.Stride();
  const std::int64_t left = View.Extents.Left, right = View.Extents.Right;
  const std::int64_t top = View.Extents.Top, bottom = View.Extents.Bottom;
  std::int32_t i = iStart;
  std::int64_t lastX = GU_360_DEGREE;
  std::int64_t lastY = GU_360_DEGREE;
  for (std::size_t k = 0; k + 1 < data.size(); k += stride) {
    const std::int32_t lon = data[k], lat = data[k + 1];
    const std::int32_t x = Wrap32(RoundNearest(View.Relative(lon) * s) + View.Ox);
    const std::int32_t y = Wrap32(View.Oy - RoundNearest(static_cast<double>(lat) * s));
    buffer[i] = {x, y};
    const bool inside = left <= lon && lon <= right && top <= lat && lat <= bottom;
    const bool moved = std::llabs(x - lastX) > 1 || std::llabs(y - lastY) > 1;
    const bool keep = inside && moved;
    lastX = keep ? x : lastX;
    lastY = keep ? y : lastY;
    i += keep ? 1 : 0;
  }
  return i;
}

}  // namespace

// ---- Plate carrée -----------------------------------------------------------------------

TCartesianPrj::TCartesianPrj(TGlobeProjection* Parent) : TProjectionModel(Parent) {
  Parent->SetFlags({pfTextureMap});
}

bool TCartesianPrj::InExtents(std::int64_t iLong, std::int64_t iLat) const {
  const TRect e = ExtentsLL();
  return e.Left <= iLong && iLong <= e.Right && e.Top <= iLat && iLat <= e.Bottom;
}

std::int32_t TCartesianPrj::PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool) {
  return ProjectPlateCarreeChain(TPlateCarree(*this, Projection()), Points, iStart);
}

bool TCartesianPrj::PointLLToXY(const TPointLL& ptLL, std::int32_t iIndex) {
  return TPlateCarree(*this, Projection()).Project(ptLL, DevicePoints()[iIndex]);
}

bool TCartesianPrj::XToLong(std::int32_t iX, std::int32_t& Long) const {
  const TGlobeProjection& P = Projection();
  const Extended CM = CentralMeridianGU(P);
  std::int32_t lon = 0;
  if (!TryRound32((std::int64_t{iX} - P.XOrigin()) * (1 / P.ScaleFactor()) + CM, lon)) return false;
  lon = WrapLongitude(lon);
  const TRect e = ExtentsLL();
  if (lon < e.Left || lon > e.Right) return false;
  Long = lon;
  return true;
}

bool TCartesianPrj::YToLat(std::int32_t iY, std::int32_t& Lat) const {
  const TGlobeProjection& P = Projection();
  std::int32_t lat = 0;
  // round(-v) = -round(v) for half-to-even rounding, and cannot overflow on negation.
  if (!TryRound32(-((std::int64_t{iY} - P.YOrigin()) * (1 / P.ScaleFactor())), lat)) return false;
  const TRect e = ExtentsLL();
  if (lat < e.Top || lat > e.Bottom) return false;
  Lat = lat;
  return true;
}

bool TCartesianPrj::XYToLL(std::int32_t iX, std::int32_t iY, std::int32_t iIndex) {
  std::int32_t lon = 0, lat = 0;
  if (!XToLong(iX, lon) || !YToLat(iY, lat)) return false;
  DevicePoints()[iIndex] = {lon, lat};
  return true;
}

void TCartesianPrj::PropertyChanged(TProjectionProperty ProjectionProperty) {
  TGlobeProjection& P = Projection();
  switch (ProjectionProperty) {
    case ppXRotation:
      switch (P.XAxisChanges()) {
        case xaYOrigin:
          // Projecting the change as a latitude moves the map down by it.
          LLToXY(SatRound32(P.YRotation() * GU_DEGREE),
                 SatRound32(-(P.XRotation() - LastXrotation) * GU_DEGREE), 0);
          P.SetIntProperty(ppYOrigin, DevicePoints()[0].Y);
          break;
        case xaCentralParallel:
          P.SetFloatProperty(ppCentralParallel,
                             WrapDegrees180(P.XRotation() - LastXrotation + P.CentralParallel()));
          break;
        case xaNoAction:
          break;
      }
      LastXrotation = P.XRotation();
      break;
    case ppYRotation:
      switch (P.YAxisChanges()) {
        case yaXOrigin:
          LLToXY(SatRound32(-(P.YRotation() - LastYrotation) * GU_DEGREE),
                 SatRound32(-P.XRotation() * GU_DEGREE), 0);
          P.SetIntProperty(ppXOrigin, DevicePoints()[0].X);
          break;
        case yaCentralMeridian:
          P.SetFloatProperty(ppCentralMeridian,
                             WrapDegrees180(P.YRotation() - LastYrotation + P.CentralMeridian()));
          break;
        case yaNoAction:
          break;
      }
      LastYrotation = P.YRotation();
      break;
    default:
      break;
  }
}

// ---- Mercator ---------------------------------------------------------------------------

std::int32_t TMercatorPrj::PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool) {
  return ProjectFlatChain(TMercator(*this, Projection()), Points, iStart);
}

bool TMercatorPrj::PointLLToXY(const TPointLL& ptLL, std::int32_t iIndex) {
  return TMercator(*this, Projection()).Project(ptLL, DevicePoints()[iIndex]);
}

bool TMercatorPrj::XYToLL(std::int32_t iX, std::int32_t iY, std::int32_t iIndex) {
  const TGlobeProjection& P = Projection();
  const Extended s = P.ScaleFactor();
  const Extended CM = CentralMeridianGU(P);
  const Extended v = (std::int64_t{iY} - P.YOrigin()) / s;
  std::int32_t lon = 0, lat = 0;
  if (!TryRound32((std::int64_t{iX} - P.XOrigin()) / s + CM, lon) ||
      !TryRound32((2 * std::atan(std::exp(-v * RADIANS_PER_GU)) - PI_EXT / 2) * GU_PER_RADIAN,
                  lat)) {
    return false;
  }
  lon = WrapLongitude(lon);
  if (!InExtents(lon, lat)) return false;
  DevicePoints()[iIndex] = {lon, lat};
  return true;
}

// ---- Turned plate carrée ----------------------------------------------------------------

void TTestCartesianPrj::PropertyChanged(TProjectionProperty ProjectionProperty) {
  TCartesianPrj::PropertyChanged(ProjectionProperty);
  const Extended z = Projection().ZRotation() * PI_EXT / 180;
  ZCos = std::cos(z);
  ZSin = std::sin(z);
}

std::int32_t TTestCartesianPrj::PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool) {
  return ProjectFlatChain(TTurnedPlateCarree(*this, Projection(), ZSin, ZCos), Points, iStart);
}

bool TTestCartesianPrj::PointLLToXY(const TPointLL& ptLL, std::int32_t iIndex) {
  return TTurnedPlateCarree(*this, Projection(), ZSin, ZCos).Project(ptLL, DevicePoints()[iIndex]);
}

bool TTestCartesianPrj::XYToLL(std::int32_t iX, std::int32_t iY, std::int32_t iIndex) {
  const TGlobeProjection& P = Projection();
  const Extended inv = 1 / P.ScaleFactor();
  const Extended CM = CentralMeridianGU(P);
  const Extended dx = (std::int64_t{iX} - P.XOrigin()) * inv;
  const Extended dy = -((std::int64_t{iY} - P.YOrigin()) * inv);
  std::int32_t lon = 0, lat = 0;
  if (!TryRound32(ZCos * dx + ZSin * dy + CM, lon) || !TryRound32(-ZSin * dx + ZCos * dy, lat)) {
    return false;
  }
  lon = WrapLongitude(lon);
  if (!InExtents(lon, lat)) return false;
  DevicePoints()[iIndex] = {lon, lat};
  return true;
}

}  // namespace globe
