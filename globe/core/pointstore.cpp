#include "globe/core/pointstore.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>

#include "globe/core/numeric.h"
#include "globe/core/units.h"

namespace globe {

namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

// Array failures carry fixed texts that name the array operation refused.
[[noreturn]] void InvalidParameter(const char* Operation) {
  throw EGlobeException(std::string(Operation) + ": Invalid Parameter");
}

[[noreturn]] void InvalidChainIndex(std::int32_t i) {
  throw EGlobeException("TChainStore: Invalid chain index " + std::to_string(i));
}

std::int32_t SaturateToInt32(std::int64_t v) noexcept {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, kInt32Min, kInt32Max));
}

// Radians to GU, round(); a near-degenerate ring can put its centroid far outside the
// 32-bit range, which is clamped instead of wrapped.
std::int32_t RadiansToGU(Extended x) noexcept {
  return Round32(std::clamp<Extended>(x * GU_PER_RADIAN, kInt32Min, kInt32Max));
}

// Translate does not wrap longitudes; values pushed past 32 bits wrap round as integers
// instead of overflowing.
std::int32_t AddWrapping(std::int32_t a, std::int32_t b) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

template <std::size_t Stride>
void Fill3D(const std::int32_t* p, const std::int32_t* end, std::vector<TPoint3D>& out) {
  for (; p != end; p += Stride) {
    const double height = Stride == 3 ? p[Stride - 1] : 0;
    out.push_back(LLHToPoint3D(p[0], p[1], height));
  }
}

// cur.long + (prev.long − cur.long) × (lat − cur.lat) / (prev.lat − cur.lat), rounded half
// away from zero. Valid coordinates keep every difference within 32 bits (MulDiv); the long
// double path only keeps hostile coordinates from overflowing.
std::int64_t EdgeLongitudeAt(std::int64_t curLong, std::int64_t curLat, std::int64_t prevLong,
                             std::int64_t prevLat, std::int64_t lat) noexcept {
  const std::int64_t a = prevLong - curLong, b = lat - curLat, c = prevLat - curLat;
  auto fits = [](std::int64_t v) { return v >= kInt32Min && v <= kInt32Max; };
  if (fits(a) && fits(b) && fits(c)) {
    return curLong + MulDiv(static_cast<std::int32_t>(a), static_cast<std::int32_t>(b),
                            static_cast<std::int32_t>(c));
  }
  return curLong + std::llround(static_cast<Extended>(a) * b / c);
}

}  // namespace

// ---- TPointStore ------------------------------------------------------------------------

void TPointStore::SetCount(std::int32_t n) {
  DropCaches();
  if (n < 0) InvalidParameter("DynArraySetLength");
  FbHasArray = true;
  FPoints.resize(static_cast<std::size_t>(n) * Stride());
}

void TPointStore::SetStoreHeight(bool Value) {
  if (Value == StoreHeight()) return;
  const std::size_t from = Stride();
  const std::size_t n = FPoints.size() / from;
  FFlags.Set(psHeight, Value);
  const std::size_t to = Stride();
  std::vector<std::int32_t> points(n * to);
  for (std::size_t i = 0; i < n; ++i) {
    points[i * to] = FPoints[i * from];
    points[i * to + 1] = FPoints[i * from + 1];
    if (to == 3) points[i * to + 2] = 0;  // a new height; an old one is dropped
  }
  FPoints = std::move(points);
  FbHasArray = true;
  DropCaches();
}

void TPointStore::SetFlags(TPointStoreFlags Value) {
  SetStoreHeight(Value.Contains(psHeight));
  FFlags = Value;
}

std::span<std::int32_t> TPointStore::EditPointData() noexcept {
  DropCaches();
  return FPoints;
}

void TPointStore::PutLL(std::int32_t iIndex, const TPointLL& pt) noexcept {
  assert(iIndex >= 0 && iIndex < Count());
  DropCaches();
  const std::size_t s = Stride();
  std::int32_t* p = FPoints.data() + static_cast<std::size_t>(iIndex) * s;
  p[0] = pt.iLongX;
  p[1] = pt.iLatY;
  if (s == 3) p[2] = pt.iHeightZ;
}

TPointDD TPointStore::GetDD(std::int32_t iIndex) const noexcept {
  const TPointLL pt = GetLL(iIndex);
  return PointDD(static_cast<Extended>(pt.iLongX) / GU_DEGREE,
                 static_cast<Extended>(pt.iLatY) / GU_DEGREE,
                 static_cast<Extended>(pt.iHeightZ) / GU_DEGREE);
}

void TPointStore::PutDD(std::int32_t iIndex, const TPointDD& pt) noexcept {
  PutLL(iIndex, PointLLH(DegToGU(pt.LongX), DegToGU(pt.LatY), DegToGU(pt.HeightZ)));
}

TPoint3D TPointStore::Get3D(std::int32_t iIndex) const noexcept {
  const TPointLL pt = GetLL(iIndex);
  return LLHToPoint3D(pt.iLongX, pt.iLatY, pt.iHeightZ);
}

std::int32_t TPointStore::Add(TPointLL ptLL) {
  const std::int32_t index = Count();
  if (index == kInt32Max) InvalidParameter("DynArraySetLength");
  SetCount(index + 1);
  PutLL(index, ptLL);
  return index;
}

void TPointStore::Insert(std::int32_t iIndex, TPointLL ptLL) {
  DropCaches();
  if (!FbHasArray) InvalidParameter("DynArraySetLength");
  if (iIndex < 0 || iIndex > Count()) InvalidParameter("DynArrayInsert");
  const std::size_t s = Stride();
  const std::int32_t values[3] = {ptLL.iLongX, ptLL.iLatY, ptLL.iHeightZ};
  FPoints.insert(FPoints.begin() + static_cast<std::ptrdiff_t>(iIndex * s), values, values + s);
}

void TPointStore::Delete(std::int32_t iIndex) {
  DropCaches();
  if (iIndex < 0 || iIndex >= Count()) return;
  const std::size_t s = Stride();
  const auto first = FPoints.begin() + static_cast<std::ptrdiff_t>(iIndex * s);
  FPoints.erase(first, first + static_cast<std::ptrdiff_t>(s));
}

void TPointStore::Translate(std::int32_t dx, std::int32_t dy, std::int32_t dz) noexcept {
  DropCaches();
  const std::size_t s = Stride();
  for (std::size_t i = 0; i < FPoints.size(); i += s) {
    FPoints[i] = AddWrapping(FPoints[i], dx);
    FPoints[i + 1] = AddWrapping(FPoints[i + 1], dy);
    if (s == 3) FPoints[i + 2] = AddWrapping(FPoints[i + 2], dz);
  }
}

void TPointStore::CopyPointsFrom(const TPointStore& Source) {
  DropCaches();
  FFlags = Source.FFlags;
  FPoints = Source.FPoints;
  FbHasArray = Source.FbHasArray;
}

std::unique_ptr<TPointStore> TPointStore::Clone() const {
  auto copy = std::make_unique<TPointStore>();
  copy->CopyPointsFrom(*this);
  return copy;
}

std::int64_t TPointStore::ObjectInstanceSize() const noexcept {
  std::int64_t size = sizeof(*this) + std::int64_t{Count()} * 4 * static_cast<int>(Stride());
  if (FPoint3DArray) size += static_cast<std::int64_t>(FPoint3DArray->size()) * 12;
  return size;
}

namespace {

// Whether Q continues the run that started at A with the step Step and reached P: the same
// step again, and within a few GU of the line from A through P. The few GU cover the
// rounding of the points that a tool puts on a straight edge to densify it, in equal steps.
bool ContinuesRun(const std::int32_t* A, const std::int32_t* Step, const std::int32_t* P,
                  const std::int32_t* Q) noexcept {
  constexpr double kTolerance = 4;
  const double sx = static_cast<double>(Step[0]) - A[0], sy = static_cast<double>(Step[1]) - A[1];
  const double qx = static_cast<double>(Q[0]) - P[0], qy = static_cast<double>(Q[1]) - P[1];
  const auto near = [](double a, double b) {
    return std::fabs(a - b) <= kTolerance + std::fabs(b) / 1000;
  };
  if (!near(qx, sx) || !near(qy, sy) || (sx == 0 && sy == 0)) return false;
  const double ax = static_cast<double>(P[0]) - A[0], ay = static_cast<double>(P[1]) - A[1];
  const double cross = ax * qy - ay * qx;
  return cross * cross <= kTolerance * kTolerance * (ax * ax + ay * ay);
}

// Calls Run(first, last) for each long straight run of the packed points: a maximal run of
// points in equal steps on one straight line whose ends lie more than 180° of longitude
// apart, not along
// a pole (where it is one point on the earth). Such runs come from data densified in the
// plane, which has no edge across 180°; in a chain that has one (the last point to the
// first counted too) the edges already go the short way round, and a long run is meant so.
template <class TRun>
void ForEachLongRun(std::span<const std::int32_t> Data, std::size_t Stride, TRun&& Run) {
  const std::size_t n = Data.size() / Stride;
  const std::int32_t* d = Data.data();
  if (n < 2) return;
  for (std::size_t k = 0, prev = n - 1; k < n; prev = k++) {
    if (std::llabs(std::int64_t{d[k * Stride]} - d[prev * Stride]) > GU_180_DEGREE) return;
  }
  std::size_t i = 0;
  while (i + 1 < n) {
    const std::int32_t* a = d + i * Stride;
    std::size_t j = i + 1;
    while (j + 1 < n && ContinuesRun(a, d + (i + 1) * Stride, d + j * Stride, d + (j + 1) * Stride))
      ++j;
    const std::int32_t* b = d + j * Stride;
    const bool pole = a[1] == b[1] && (a[1] == GU_90_DEGREE || a[1] == -GU_90_DEGREE);
    if (std::llabs(std::int64_t{b[0]} - a[0]) > GU_180_DEGREE && !pole) Run(i, j);
    i = j;
  }
}

}  // namespace

bool TPointStore::HasLongRuns() const noexcept {
  if (FLongRuns < 0) {
    bool found = false;
    // A run can only be that long when the points are.
    if (!FPoints.empty()) {
      const std::size_t s = Stride();
      std::int32_t lo = kInt32Max, hi = kInt32Min;
      for (std::size_t k = 0; k < FPoints.size(); k += s) {
        lo = std::min(lo, FPoints[k]);
        hi = std::max(hi, FPoints[k]);
      }
      if (std::int64_t{hi} - lo > GU_180_DEGREE)
        ForEachLongRun(FPoints, s, [&found](std::size_t, std::size_t) { found = true; });
    }
    FLongRuns = found ? 1 : 0;
  }
  return FLongRuns == 1;
}

void TPointStore::CopyWithoutLongRuns(TPointStore& Target) const {
  Target.SetStoreHeight(StoreHeight());
  const std::size_t s = Stride();
  std::vector<std::int32_t>& out = Target.FPoints;
  Target.DropCaches();
  Target.FbHasArray = true;
  out.clear();
  std::size_t next = 0;  // the first point not yet copied
  ForEachLongRun(FPoints, s, [&](std::size_t First, std::size_t Last) {
    const auto from = FPoints.begin() + static_cast<std::ptrdiff_t>(next * s);
    out.insert(out.end(), from, FPoints.begin() + static_cast<std::ptrdiff_t>((First + 1) * s));
    next = Last;
  });
  out.insert(out.end(), FPoints.begin() + static_cast<std::ptrdiff_t>(next * s), FPoints.end());
}

TPoint3DArray TPointStore::Point3DArray(bool CacheArray) {
  if (!CacheArray) FPoint3DArray.reset();
  if (FPoint3DArray) return FPoint3DArray;

  auto points = std::make_shared<std::vector<TPoint3D>>();
  points->reserve(static_cast<std::size_t>(Count()));
  const std::int32_t* p = FPoints.data();
  const std::int32_t* end = p + FPoints.size();
  if (StoreHeight()) {
    Fill3D<3>(p, end, *points);
  } else {
    Fill3D<2>(p, end, *points);
  }
  if (CacheArray) FPoint3DArray = points;
  return points;
}

TMER TPointStore::PointStoreMER() const noexcept {
  if (FPoints.empty()) return MER(0, 0, 0, 0);
  const std::size_t s = Stride();
  const std::int32_t* p = FPoints.data();
  const std::int32_t* const end = p + FPoints.size();

  std::int32_t minLong = kInt32Max, maxLong = kInt32Min;
  std::int32_t minLat = kInt32Max, maxLat = kInt32Min;
  std::int32_t minEast = kInt32Max, maxWest = kInt32Min;
  // Quadrants −2 … 2 (beyond for unwrapped data); a step between the two outer sides is a
  // jump across 180°.
  std::int32_t prevQuadrant = *(end - s) / GU_90_DEGREE;
  std::int32_t crossings = 0;
  for (; p != end; p += s) {
    const std::int32_t lon = p[0], lat = p[1];
    const std::int32_t quadrant = lon / GU_90_DEGREE;
    if ((quadrant < 0 && prevQuadrant > 0) || (quadrant > 0 && prevQuadrant < 0)) ++crossings;
    prevQuadrant = quadrant;
    minLong = std::min(minLong, lon);
    maxLong = std::max(maxLong, lon);
    minLat = std::min(minLat, lat);
    maxLat = std::max(maxLat, lat);
    if (lon >= 0) {
      minEast = std::min(minEast, lon);
    } else {
      maxWest = std::max(maxWest, lon);
    }
  }

  TMER mer;
  mer.iLatY = minLat;
  mer.iHeightY = SaturateToInt32(std::int64_t{maxLat} - minLat);
  if (crossings % 2 != 0) {
    mer.iLongX = -971'999'999;
    mer.iWidthX = 1'943'999'998;
  } else if (crossings != 0) {
    // A crossing needs a point on each outer side, so minEast and maxWest are both set.
    mer.iLongX = minEast;
    mer.iWidthX = SaturateToInt32((std::int64_t{GU_180_DEGREE} - minEast) +
                                  (std::int64_t{maxWest} + GU_180_DEGREE));
  } else {
    mer.iLongX = minLong;
    mer.iWidthX = SaturateToInt32(std::int64_t{maxLong} - minLong);
  }
  return mer;
}

TPointLL TPointStore::Centroid(Extended& Area) const noexcept {
  Area = 0;
  const std::int32_t n = Count();
  if (n == 0) return {0, 0, 0};
  const std::size_t s = Stride();
  const std::int32_t* d = FPoints.data();
  if (n == 1) return {d[0], d[1], 0};
  if (n == 2) {
    return {static_cast<std::int32_t>((std::int64_t{d[0]} + d[s]) / 2),
            static_cast<std::int32_t>((std::int64_t{d[1]} + d[s + 1]) / 2), 0};
  }

  const TMER mer = PointStoreMER();
  const bool wrap = std::int64_t{mer.iLongX} + mer.iWidthX > GU_180_DEGREE;
  // Across 180° the western points move past it so the ring is contiguous.
  auto toX = [wrap](std::int32_t lon) {
    Extended x = lon * RADIANS_PER_GU;
    if (wrap && x <= -PI_EXT / 2) x += 2 * PI_EXT;
    return x;
  };
  const Extended x0 = toX(d[0]), y0 = d[1] * RADIANS_PER_GU;
  Extended px = x0, py = y0;
  Extended a = 0, cx = 0, cy = 0;
  for (std::int32_t i = 1; i <= n; ++i) {
    Extended nx = x0, ny = y0;
    if (i < n) {
      const std::int32_t* q = d + static_cast<std::size_t>(i) * s;
      nx = toX(q[0]);
      ny = q[1] * RADIANS_PER_GU;
    }
    const Extended c = px * ny - nx * py;
    a += c;
    cx += (px + nx) * c;
    cy += (py + ny) * c;
    px = nx;
    py = ny;
  }
  Area = a / 2;
  if (a != 0) {
    cx /= 3 * a;
    if (cx >= PI_EXT) cx -= 2 * PI_EXT;
    cy /= 3 * a;
  }
  return {RadiansToGU(cx), RadiansToGU(cy), 0};
}

bool TPointStore::PointInPolygon(std::int32_t iLong, std::int32_t iLat,
                                 std::int32_t iZone) const noexcept {
  const std::size_t s = Stride();
  const std::int32_t* const d = FPoints.data();
  const std::size_t size = FPoints.size();

  // The start searches from the end and, unlike the main loop, leaves out vertices on the
  // meridian 0 in both half zones.
  std::int64_t prevLong = 0, prevLat = 0;
  for (std::size_t i = size; i >= s; i -= s) {
    const std::int32_t lon = d[i - s];
    if ((iZone == 1 && lon >= 0) || (iZone == 2 && lon <= 0)) continue;
    prevLong = lon;
    prevLat = d[i - s + 1];
    break;
  }

  bool inside = false;
  for (std::size_t i = 0; i < size; i += s) {
    const std::int64_t curLong = d[i], curLat = d[i + 1];
    if ((iZone == 1 && curLong > 0) || (iZone == 2 && curLong < 0)) continue;
    if ((curLat <= iLat && iLat < prevLat) || (prevLat <= iLat && iLat < curLat)) {
      if (iLong < EdgeLongitudeAt(curLong, curLat, prevLong, prevLat, iLat)) inside = !inside;
    }
    prevLong = curLong;
    prevLat = curLat;
  }
  return inside;
}

bool TPointStore::PointOnPolyline(std::int32_t iLong, std::int32_t iLat,
                                  std::int32_t iTolerance) const noexcept {
  const std::size_t s = Stride();
  const std::int32_t* const d = FPoints.data();
  for (std::size_t i = s; i < FPoints.size(); i += s) {
    if (PointNearSegment(iLong, iLat, d[i - s], d[i - s + 1], d[i], d[i + 1], iTolerance)) {
      return true;
    }
  }
  return false;
}

// ---- TChainStore ------------------------------------------------------------------------

void TChainStore::SetCount(std::int32_t n) {
  if (n < 0) InvalidParameter("DynArraySetLength");
  FChains.resize(static_cast<std::size_t>(n));
}

void TChainStore::SetStoreHeight(bool Value) {
  if (Value == FStoreHeight) return;
  FStoreHeight = Value;
  for (std::int32_t i = 0; i < Count(); ++i) GetChain(i).SetStoreHeight(Value);
}

TPointStore& TChainStore::GetChain(std::int32_t i) {
  if (i < 0 || i == kInt32Max) InvalidChainIndex(i);
  if (i >= Count()) SetCount(i + 1);
  std::unique_ptr<TPointStore>& slot = FChains[static_cast<std::size_t>(i)];
  if (!slot) {
    slot = std::make_unique<TPointStore>();
    slot->SetStoreHeight(FStoreHeight);
  }
  return *slot;
}

const TPointStore* TChainStore::FindChain(std::int32_t i) const noexcept {
  if (i < 0 || i >= Count()) return nullptr;
  return FChains[static_cast<std::size_t>(i)].get();
}

void TChainStore::SetChain(std::int32_t i, std::unique_ptr<TPointStore> Store) {
  if (i < 0 || i == kInt32Max) InvalidChainIndex(i);
  // Writing past the end grows the store as reading does, rather than writing outside it.
  if (i >= Count()) SetCount(i + 1);
  FChains[static_cast<std::size_t>(i)] = std::move(Store);
}

void TChainStore::Insert(std::int32_t i, std::unique_ptr<TPointStore> Store) {
  if (i < 0 || i > Count()) InvalidParameter("DynArrayInsert");
  FChains.insert(FChains.begin() + i, std::move(Store));
}

void TChainStore::Delete(std::int32_t i) {
  if (i < 0 || i >= Count()) return;
  FChains.erase(FChains.begin() + i);
}

void TChainStore::Add(std::unique_ptr<TPointStore> Store) { FChains.push_back(std::move(Store)); }

void TChainStore::Move(std::int32_t iFrom, std::int32_t iTo) {
  const std::int32_t n = Count();
  if (iFrom == iTo || iFrom < 0 || iTo < 0 || iFrom >= n || iTo >= n) return;
  const auto from = FChains.begin() + iFrom, to = FChains.begin() + iTo;
  if (iFrom < iTo) {
    std::rotate(from, from + 1, to + 1);
  } else {
    std::rotate(to, from, from + 1);
  }
}

std::unique_ptr<TChainStore> TChainStore::Clone() const {
  auto copy = std::make_unique<TChainStore>();
  copy->FStoreHeight = FStoreHeight;
  copy->FChains.reserve(FChains.size());
  for (const auto& chain : FChains) copy->FChains.push_back(chain ? chain->Clone() : nullptr);
  return copy;
}

TPointLL TChainStore::Centroid() const noexcept {
  if (FChains.empty()) return {0, 0, 0};
  Extended area = 0;
  if (FChains.size() == 1) {
    return FChains.front() ? FChains.front()->Centroid(area) : TPointLL{0, 0, 0};
  }

  Extended sumArea = 0, sumAbsArea = 0, sumLong = 0, sumLat = 0;
  Extended meanLong = 0, meanLat = 0;
  std::int32_t withPoints = 0;
  for (const auto& chain : FChains) {
    if (!chain || chain->Count() == 0) continue;
    const TPointLL c = chain->Centroid(area);
    sumArea += area;
    sumAbsArea += std::fabs(area);
    sumLong += c.iLongX * area;
    sumLat += c.iLatY * area;
    meanLong += c.iLongX;
    meanLat += c.iLatY;
    ++withPoints;
  }
  auto roundGU = [](Extended v) { return Round32(std::clamp<Extended>(v, kInt32Min, kInt32Max)); };
  // Rings that cancel each other leave rounding noise, not an area to divide by; then every
  // chain counts alike.
  if (std::fabs(sumArea) > 1e-9L * sumAbsArea) {
    return {roundGU(sumLong / sumArea), roundGU(sumLat / sumArea), 0};
  }
  if (withPoints == 0) return {0, 0, 0};
  return {roundGU(meanLong / withPoints), roundGU(meanLat / withPoints), 0};
}

TMER TChainStore::ChainStoreMER() const noexcept {
  if (FChains.empty()) return MER(0, 0, 0, 0);
  TMER mer = FChains.front() ? FChains.front()->PointStoreMER() : MER(0, 0, 0, 0);
  for (std::size_t i = 1; i < FChains.size(); ++i) {
    const TPointStore* chain = FChains[i].get();
    if (chain && chain->Count() > 0) mer = MERUnion(mer, chain->PointStoreMER());
  }
  return mer;
}

}  // namespace globe
