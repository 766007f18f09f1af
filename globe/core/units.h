// Construction, wrapping and conversion of globe coordinates, the unit table, and the small
// numeric, vector and rectangle functions that projections, canvas and objects share.
//
// round() below means rounding to nearest with ties to even; trunc() truncation toward zero.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "globe/core/types.h"

namespace globe {

// ---- Records ----------------------------------------------------------------------------

/// The one point constructor: the longitude is wrapped (WrapLongitude), the height is 0.
[[nodiscard]] TPointLL PointLL(std::int32_t iLong, std::int32_t iLat) noexcept;
/// As PointLL with the height given.
[[nodiscard]] TPointLL PointLLH(std::int32_t iLong, std::int32_t iLat,
                                std::int32_t iHeight) noexcept;
[[nodiscard]] TPointDD PointDD(Extended LongX, Extended LatY, Extended HeightZ) noexcept;
[[nodiscard]] TMER MER(std::int32_t iLong, std::int32_t iLat, std::int32_t iWidth,
                       std::int32_t iHeight) noexcept;

// ---- Angles and units -------------------------------------------------------------------

/// Above 972,000,001 subtracts a full turn, below −972,000,001 adds one; otherwise the
/// value is returned unchanged. One step brings every 32-bit value into range.
/// Inline: every projected point of a flat map passes through it.
[[nodiscard]] constexpr std::int32_t WrapLongitude(std::int32_t iLong) noexcept {
  // Computed in 64 bits: −2,147,483,648 + 1,944,000,000 is fine, but the sum must not be
  // formed in 32-bit arithmetic for values near the other end.
  if (iLong > GU_180_DEGREE + 1)
    return static_cast<std::int32_t>(std::int64_t{iLong} - GU_360_DEGREE);
  if (iLong < -GU_180_DEGREE - 1)
    return static_cast<std::int32_t>(std::int64_t{iLong} + GU_360_DEGREE);
  return iLong;
}

/// Degrees to GU, converting whole degrees (wrapped to ±359), minutes, seconds and the
/// rounded fraction of a second separately so that whole minutes and seconds are exact.
[[nodiscard]] std::int32_t DegToGU(Extended Degrees) noexcept;
/// DegToGU of a double, bit for bit, without long-double arithmetic: readers convert every
/// coordinate of a file with it. Below 360° the steps of DegToGU are exact except the last
/// product, so they amount to round(Degrees × GU_DEGREE + e) with |e| < 2^-54; one double
/// product is within 2^-23 of the exact one, so it rounds the same way unless it lies within
/// 2^-20 of a half, where (and for 360° and beyond, NaN and infinities) DegToGU decides.
[[nodiscard]] inline std::int32_t DegToGUD(double Degrees) noexcept {
  if (std::fabs(Degrees) < 360.0) {
    const double y = Degrees * static_cast<double>(GU_DEGREE);  // |y| < 2^31
    const double whole = std::floor(y);
    const double frac = y - whole;  // exact
    if (std::fabs(frac - 0.5) > 0x1p-20) {
      return static_cast<std::int32_t>(static_cast<std::int64_t>(whole) + (frac > 0.5 ? 1 : 0));
    }
  }
  return DegToGU(Degrees);
}
[[nodiscard]] TPointLL DegToPointLL(Extended Long, Extended Lat) noexcept;

/// GU per unit, exact as stored; 0 for Pixel, whose size is known only to a canvas.
[[nodiscard]] Extended GUPerUnit(TGlobeUnitTypes Units) noexcept;
/// iValue in the given unit; for Pixel (no fixed size) the value unchanged.
[[nodiscard]] Extended GUToUnits(std::int32_t iValue, TGlobeUnitTypes Units) noexcept;
/// Value × GU per unit, round(); 0 for Pixel.
[[nodiscard]] std::int32_t UnitsToGU(TGlobeUnitTypes Units, Extended Value) noexcept;
/// The unit's short name, as written in environment documents.
[[nodiscard]] std::string_view UnitsToStr(TGlobeUnitTypes Units) noexcept;
/// The first unit in table order whose short name equals Name ignoring letter case.
/// Throws EGlobeException "StrToUnits: Unknown Unit <Name>" when there is none.
[[nodiscard]] TGlobeUnitTypes StrToUnits(std::string_view Name);

/// Parses a decimal number with "." as separator and an optional exponent, whatever the
/// locale. Surrounding blanks and a leading "+" are accepted. Throws EGlobeException
/// "StrToExtended: Conversion failed for <Text>" when anything is left unparsed.
[[nodiscard]] Extended StrToExtended(std::string_view Text);

/// Degrees into −180 … 180 by at most one turn.
[[nodiscard]] Extended WrapDegrees180(Extended x) noexcept;

/// Shortest longitude distance between a and b in GU; never 0 (1 instead).
[[nodiscard]] std::int32_t LongDiff(std::int32_t a, std::int32_t b) noexcept;

// ---- Small numeric functions ------------------------------------------------------------

[[nodiscard]] Extended Clamp(Extended Value, Extended Lo, Extended Hi) noexcept;
[[nodiscard]] Extended MinExt(Extended a, Extended b) noexcept;
[[nodiscard]] Extended MaxExt(Extended a, Extended b) noexcept;
[[nodiscard]] std::int32_t MinInt(std::int32_t a, std::int32_t b) noexcept;
[[nodiscard]] std::int32_t MaxInt(std::int32_t a, std::int32_t b) noexcept;
/// +1 for x ≥ 0, else −1.
[[nodiscard]] Extended Sign(Extended x) noexcept;
[[nodiscard]] Extended Tan(Extended x) noexcept;
void SinCos(Extended x, Extended& Sin, Extended& Cos) noexcept;
/// √(a² + b²) without intermediate overflow.
[[nodiscard]] Extended Hypot(Extended a, Extended b) noexcept;
/// Quadrant-correct arctangent of Y/X (argument order Y, X), radians.
[[nodiscard]] Extended ArcTan2(Extended Y, Extended X) noexcept;
/// Arcsine in radians; ±π/2 for |x| ≥ 1.
[[nodiscard]] Extended ArcSin(Extended x) noexcept;
/// Arccosine in radians; 0 for x ≥ 1, π for x ≤ −1.
[[nodiscard]] Extended ArcCos(Extended x) noexcept;

// ---- 3-D and rotation -------------------------------------------------------------------

/// Earth-centred point in GU of a geographic point given in GU (radius 309,397,230 + height).
[[nodiscard]] TPoint3D LLHToPoint3D(double Long, double Lat, double Height) noexcept;
/// Unit vector of a geographic point (its own height included before normalising).
[[nodiscard]] TV3D LLToV3D(const TPointLL& ptLL) noexcept;
/// Geographic point of a vector, truncated toward zero, not wrapped, height 0.
[[nodiscard]] TPointLL V3DToLL(const TV3D& v) noexcept;

/// The vector (X, Y, Z), normalised.
[[nodiscard]] TV3D V3D(Extended X, Extended Y, Extended Z) noexcept;
/// v divided by its length; unchanged when its squared length is below 1e-10.
[[nodiscard]] TV3D V3DNormalize(const TV3D& v) noexcept;
[[nodiscard]] Extended V3DDot(const TV3D& a, const TV3D& b) noexcept;
/// Cross product, normalised.
[[nodiscard]] TV3D V3DCross(const TV3D& a, const TV3D& b) noexcept;
/// m × v, normalised.
[[nodiscard]] TV3D MatrixApply(const TMatrix& m, const TV3D& v) noexcept;

/// Rotation of Angle radians about axis.
[[nodiscard]] TQuaternion AxisAngleQuat(const TV3D& axis, Extended Angle) noexcept;
/// Rz(Z) · Ry(Y) · Rx(180° − X), angles in degrees; the 180° puts north at the top of a
/// screen whose Y axis grows downward.
[[nodiscard]] TQuaternion EulerQuat(Extended XRotation, Extended YRotation,
                                    Extended ZRotation) noexcept;
/// The transpose of the usual rotation matrix of q.
[[nodiscard]] TMatrix QuatToMatrix(const TQuaternion& q) noexcept;
[[nodiscard]] TMatrix MatrixScale(const TMatrix& m, Extended s) noexcept;
[[nodiscard]] TMatrix MatrixTranspose(const TMatrix& m) noexcept;

// ---- Rectangles -------------------------------------------------------------------------

[[nodiscard]] bool MEREmpty(const TMER& mer) noexcept;
/// Strict containment (edges are outside), honouring a MER that continues across 180°.
[[nodiscard]] bool LLInMER(const TPointLL& ptLL, const TMER& mer) noexcept;
/// The smallest MER holding both, choosing the shorter way round across 180°.
[[nodiscard]] TMER MERUnion(const TMER& a, const TMER& b) noexcept;
/// Device rectangle (left, top, right, bottom) spanned by at least one point; an empty
/// span gives the empty rectangle.
[[nodiscard]] TRect PointsBounds(std::span<const TPoint> Points) noexcept;
/// Whether (px, py) lies within Tolerance of the segment, measured perpendicular to it and
/// only where the foot of the perpendicular falls on the segment. Planar, no wrap.
[[nodiscard]] bool PointNearSegment(std::int32_t px, std::int32_t py, std::int32_t x1,
                                    std::int32_t y1, std::int32_t x2, std::int32_t y2,
                                    Extended Tolerance) noexcept;

// ---- Other ------------------------------------------------------------------------------

/// True when Path exists and is a directory.
[[nodiscard]] bool IsDirectory(const std::string& Path);

}  // namespace globe
