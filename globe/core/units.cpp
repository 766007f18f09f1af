#include "globe/core/units.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "globe/core/classes.h"
#include "globe/core/numeric.h"
#include "platform/filesystem.h"

namespace globe {

namespace {

struct UnitEntry {
  std::string_view ShortName;
  Extended GUPerUnit;
};

// Factors exactly as stored; the mile is deliberately not 90,000 × 33/38.
constexpr std::array<UnitEntry, GLOBE_UNIT_TYPE_COUNT> kUnits = {{
    {"D", 5400000.0L},
    {"MN", 90000.0L},
    {"NM", 90000.0L},
    {"KM", 48596.11231101512L},
    {"MI", 78157.89483968144L},
    {"S", 1500.0L},
    {"T", 250.0L},
    {"H", 15.0L},
    {"T", 1.0L},
    {"M", 48.59611231101512L},
    {"CM", 0.48596112311015116L},
    {"F", 88.8157895905471L},
    {"YD", 44.40789479527355L},
    {"FT", 14.802631598424515L},
    {"IN", 1.233552633202043L},
    {"GU", 1.0L},
    {"PI", 0.0L},
}};

const UnitEntry& Unit(TGlobeUnitTypes u) noexcept { return kUnits[static_cast<std::size_t>(u)]; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) noexcept {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// Narrowing for rectangle arithmetic done in 64 bits; hostile extents must not wrap.
std::int32_t SaturateToInt32(std::int64_t v) noexcept {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, -kInt32Max - 1, kInt32Max));
}

}  // namespace

// ---- Records ----------------------------------------------------------------------------

TPointLL PointLL(std::int32_t iLong, std::int32_t iLat) noexcept {
  return {WrapLongitude(iLong), iLat, 0};
}

TPointLL PointLLH(std::int32_t iLong, std::int32_t iLat, std::int32_t iHeight) noexcept {
  return {WrapLongitude(iLong), iLat, iHeight};
}

TPointDD PointDD(Extended LongX, Extended LatY, Extended HeightZ) noexcept {
  return {LongX, LatY, HeightZ};
}

TMER MER(std::int32_t iLong, std::int32_t iLat, std::int32_t iWidth,
         std::int32_t iHeight) noexcept {
  return {iLong, iLat, iWidth, iHeight};
}

// ---- Angles and units -------------------------------------------------------------------

std::int32_t DegToGU(Extended Degrees) noexcept {
  const std::int64_t whole = Trunc(Degrees);
  const std::int64_t d = whole % 360;
  const Extended f = Degrees - static_cast<Extended>(whole);
  const Extended f60 = f * 60;
  const std::int64_t m = Trunc(f60);
  const Extended f2 = f60 - static_cast<Extended>(m);
  const Extended f2s = f2 * 60;
  const std::int64_t s = Trunc(f2s);
  const std::int64_t r = RoundHalfEven((f2s - static_cast<Extended>(s)) * GU_SECOND);
  // Beyond 2^63 degrees and for infinities the saturated minutes and seconds overflow; the
  // sum wraps as two's complement (as it always came out) instead of being undefined.
  const auto u = [](std::int64_t v) { return static_cast<std::uint64_t>(v); };
  return static_cast<std::int32_t>(u(d) * GU_DEGREE + u(m) * GU_MINUTE + u(s) * GU_SECOND + u(r));
}

TPointLL DegToPointLL(Extended Long, Extended Lat) noexcept {
  return PointLL(DegToGU(Long), DegToGU(Lat));
}

Extended GUPerUnit(TGlobeUnitTypes Units) noexcept { return Unit(Units).GUPerUnit; }

Extended GUToUnits(std::int32_t iValue, TGlobeUnitTypes Units) noexcept {
  const Extended factor = Unit(Units).GUPerUnit;
  return factor == 0 ? static_cast<Extended>(iValue) : iValue / factor;
}

std::int32_t UnitsToGU(TGlobeUnitTypes Units, Extended Value) noexcept {
  return Round32(Value * Unit(Units).GUPerUnit);
}

std::string_view UnitsToStr(TGlobeUnitTypes Units) noexcept { return Unit(Units).ShortName; }

TGlobeUnitTypes StrToUnits(std::string_view Name) {
  for (std::size_t i = 0; i < kUnits.size(); ++i) {
    if (EqualsIgnoreCase(kUnits[i].ShortName, Name)) return static_cast<TGlobeUnitTypes>(i);
  }
  throw EGlobeException("StrToUnits: Unknown Unit " + std::string(Name));
}

Extended StrToExtended(std::string_view Text) {
  Extended v = 0;
  if (!TryStrToExtended(Text, v)) {
    throw EGlobeException("StrToExtended: Conversion failed for " + std::string(Text));
  }
  return v;
}

Extended WrapDegrees180(Extended x) noexcept {
  if (x > 180) return x - 360;
  if (x < -180) return x + 360;
  return x;
}

std::int32_t LongDiff(std::int32_t a, std::int32_t b) noexcept {
  std::int64_t d = std::llabs(std::int64_t{b} - a);
  if (d >= GU_180_DEGREE) d = GU_360_DEGREE - d;
  return d == 0 ? 1 : SaturateToInt32(d);
}

// ---- Small numeric functions ------------------------------------------------------------

Extended Clamp(Extended Value, Extended Lo, Extended Hi) noexcept {
  if (Value < Lo) return Lo;
  if (Value > Hi) return Hi;
  return Value;
}

Extended MinExt(Extended a, Extended b) noexcept { return a < b ? a : b; }
Extended MaxExt(Extended a, Extended b) noexcept { return a > b ? a : b; }
std::int32_t MinInt(std::int32_t a, std::int32_t b) noexcept { return a < b ? a : b; }
std::int32_t MaxInt(std::int32_t a, std::int32_t b) noexcept { return a > b ? a : b; }

Extended Sign(Extended x) noexcept { return x >= 0 ? 1 : -1; }

Extended Tan(Extended x) noexcept { return std::tan(x); }

void SinCos(Extended x, Extended& Sin, Extended& Cos) noexcept {
  Sin = std::sin(x);
  Cos = std::cos(x);
}

Extended Hypot(Extended a, Extended b) noexcept {
  a = std::fabs(a);
  b = std::fabs(b);
  if (a == 0) return b;
  if (b == 0) return a;
  const Extended hi = std::max(a, b);
  const Extended lo = std::min(a, b);
  const Extended q = lo / hi;
  return hi * std::sqrt(q * q + 1);
}

Extended ArcTan2(Extended Y, Extended X) noexcept { return std::atan2(Y, X); }

Extended ArcSin(Extended x) noexcept {
  if (std::fabs(x) < 1) return ArcTan2(x, std::sqrt(1 - x * x));
  return Sign(x) * (PI_EXT / 2);
}

Extended ArcCos(Extended x) noexcept {
  if (1 - x * x > 0) return ArcTan2(std::sqrt(1 - x * x), x);
  return x >= 0 ? 0 : PI_EXT;
}

// ---- 3-D and rotation -------------------------------------------------------------------

TPoint3D LLHToPoint3D(double Long, double Lat, double Height) noexcept {
  // Double precision on purpose: this runs for every point of every drawn chain, and its
  // error (under 1e-7 GU) is far below the rounding to whole GU.
  constexpr double kRadPerGU = static_cast<double>(RADIANS_PER_GU);
  const double lambda = Long * kRadPerGU;
  const double phi = Lat * kRadPerGU;
  const double r = Height + GU_EARTH_RADIUS;
  const double cosPhi = std::cos(phi);
  const double rc = r * cosPhi;
  return {static_cast<std::int32_t>(RoundHalfEvenD(rc * std::sin(lambda))),
          static_cast<std::int32_t>(RoundHalfEvenD(r * std::sin(phi))),
          static_cast<std::int32_t>(RoundHalfEvenD(rc * std::cos(lambda)))};
}

TV3D LLToV3D(const TPointLL& ptLL) noexcept {
  const TPoint3D p = LLHToPoint3D(ptLL.iLongX, ptLL.iLatY, ptLL.iHeightZ);
  return V3D(p.iWorldX, p.iWorldY, p.iWorldZ);
}

TPointLL V3DToLL(const TV3D& v) noexcept {
  return {static_cast<std::int32_t>(Trunc(ArcTan2(v.X, v.Z) * GU_PER_RADIAN)),
          static_cast<std::int32_t>(Trunc(ArcSin(v.Y) * GU_PER_RADIAN)), 0};
}

TV3D V3D(Extended X, Extended Y, Extended Z) noexcept { return V3DNormalize({X, Y, Z}); }

TV3D V3DNormalize(const TV3D& v) noexcept {
  const Extended len2 = v.X * v.X + v.Y * v.Y + v.Z * v.Z;
  if (len2 < 1e-10L) return v;
  const Extended len = std::sqrt(len2);
  return {v.X / len, v.Y / len, v.Z / len};
}

Extended V3DDot(const TV3D& a, const TV3D& b) noexcept { return a.X * b.X + a.Y * b.Y + a.Z * b.Z; }

TV3D V3DCross(const TV3D& a, const TV3D& b) noexcept {
  return V3D(a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X);
}

TV3D MatrixApply(const TMatrix& m, const TV3D& v) noexcept {
  return V3D(m(0, 0) * v.X + m(0, 1) * v.Y + m(0, 2) * v.Z,
             m(1, 0) * v.X + m(1, 1) * v.Y + m(1, 2) * v.Z,
             m(2, 0) * v.X + m(2, 1) * v.Y + m(2, 2) * v.Z);
}

TQuaternion AxisAngleQuat(const TV3D& axis, Extended Angle) noexcept {
  const Extended s = std::sin(Angle / 2);
  return {axis.X * s, axis.Y * s, axis.Z * s, std::cos(Angle / 2)};
}

TQuaternion EulerQuat(Extended XRotation, Extended YRotation, Extended ZRotation) noexcept {
  constexpr Extended kRadPerDeg = PI_EXT / 180;
  const Extended a = (180 - XRotation) / 2 * kRadPerDeg;
  const Extended b = YRotation / 2 * kRadPerDeg;
  const Extended c = ZRotation / 2 * kRadPerDeg;
  Extended sa, ca, sb, cb, sc, cc;
  SinCos(a, sa, ca);
  SinCos(b, sb, cb);
  SinCos(c, sc, cc);
  return {sa * cb * cc - ca * sb * sc, sa * cb * sc + ca * sb * cc, ca * cb * sc - sa * sb * cc,
          ca * cb * cc + sa * sb * sc};
}

TMatrix QuatToMatrix(const TQuaternion& q) noexcept {
  const Extended X = q.X, Y = q.Y, Z = q.Z, W = q.W;
  return {{1 - 2 * (Y * Y + Z * Z), 2 * (X * Y + Z * W), 2 * (X * Z - Y * W),  //
           2 * (X * Y - Z * W), 1 - 2 * (X * X + Z * Z), 2 * (Y * Z + X * W),  //
           2 * (X * Z + Y * W), 2 * (Y * Z - X * W), 1 - 2 * (X * X + Y * Y)}};
}

TMatrix MatrixScale(const TMatrix& m, Extended s) noexcept {
  TMatrix r = m;
  for (Extended& e : r.m) e *= s;
  return r;
}

TMatrix MatrixTranspose(const TMatrix& m) noexcept {
  TMatrix r;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) r(row, col) = m(col, row);
  }
  return r;
}

// ---- Rectangles -------------------------------------------------------------------------

bool MEREmpty(const TMER& mer) noexcept { return mer.iWidthX == 0 && mer.iHeightY == 0; }

bool LLInMER(const TPointLL& ptLL, const TMER& mer) noexcept {
  const std::int64_t lat = ptLL.iLatY;
  if (!(mer.iLatY < lat && lat < std::int64_t{mer.iLatY} + mer.iHeightY)) return false;
  const std::int64_t west = mer.iLongX;
  const std::int64_t east = west + mer.iWidthX;
  const std::int64_t lon = ptLL.iLongX;
  if (west < lon && lon < east) return true;
  if (east > GU_180_DEGREE) {
    const std::int64_t wrapped = lon + GU_360_DEGREE;
    return west < wrapped && wrapped < east;
  }
  return false;
}

TMER MERUnion(const TMER& a, const TMER& b) noexcept {
  if (MEREmpty(a)) return b;
  if (MEREmpty(b)) return a;

  TMER r;
  const std::int64_t south = std::min(a.iLatY, b.iLatY);
  r.iLatY = static_cast<std::int32_t>(south);
  r.iHeightY = SaturateToInt32(std::max(std::int64_t{a.iLatY} + a.iHeightY - south,
                                        std::int64_t{b.iLatY} + b.iHeightY - south));

  const TMER& first = (a.iLongX < b.iLongX) ? a : b;  // b's when both start alike
  const TMER& second = (&first == &a) ? b : a;
  const std::int64_t x1 = first.iLongX, w1 = first.iWidthX;
  const std::int64_t x2 = second.iLongX, w2 = second.iWidthX;

  std::int64_t west, width;
  if (x1 >= 0 || x2 <= 0) {
    west = x1;
    width = std::max(x2 - x1 + w2, w1);
  } else if (x1 + w1 >= x2 + w2) {
    west = x1;
    width = w1;
  } else {
    const std::int64_t gap = x1 + GU_360_DEGREE - x2;
    if (gap <= w2 - w1) {
      west = x2;
      width = w2;
    } else {
      // The stored algorithm works in 32 bits, where a width past 2^31 turns negative and
      // then counts as the largest width; the same comparison in 64 bits.
      auto counted = [](std::int64_t w) { return (w < 0 || w > kInt32Max) ? kInt32Max : w; };
      const std::int64_t widthA = counted(gap + w1);
      const std::int64_t widthB = counted(x2 - x1 + w2);
      if (widthB < widthA) {
        west = x1;
        width = widthB;
      } else {
        west = x2;
        width = widthA;
      }
      width = std::min<std::int64_t>(width, GU_360_DEGREE);
    }
  }
  r.iLongX = static_cast<std::int32_t>(west);
  r.iWidthX = SaturateToInt32(width);
  return r;
}

TRect PointsBounds(std::span<const TPoint> Points) noexcept {
  if (Points.empty()) return {};
  TRect r{Points[0].X, Points[0].Y, Points[0].X, Points[0].Y};
  for (const TPoint& p : Points.subspan(1)) {
    r.Left = std::min(r.Left, p.X);
    r.Top = std::min(r.Top, p.Y);
    r.Right = std::max(r.Right, p.X);
    r.Bottom = std::max(r.Bottom, p.Y);
  }
  return r;
}

bool PointNearSegment(std::int32_t px, std::int32_t py, std::int32_t x1, std::int32_t y1,
                      std::int32_t x2, std::int32_t y2, Extended Tolerance) noexcept {
  const Extended dx = static_cast<Extended>(x2) - x1;
  const Extended dy = static_cast<Extended>(y2) - y1;
  const Extended len2 = dx * dx + dy * dy;
  if (len2 == 0) return false;
  const Extended t =
      ((static_cast<Extended>(px) - x1) * dx + (static_cast<Extended>(py) - y1) * dy) / len2;
  if (t < 0 || t > 1) return false;
  const Extended dist =
      std::fabs((static_cast<Extended>(y1) - py) * dx - (static_cast<Extended>(x1) - px) * dy) /
      len2 * std::sqrt(len2);
  return dist < Tolerance;
}

// ---- Other ------------------------------------------------------------------------------

bool IsDirectory(const std::string& Path) {
  std::error_code ec;
  return std::filesystem::is_directory(platform::FsPath(Path), ec);
}

}  // namespace globe
