// Globe units, the coordinate records built on them and the enumerations that the whole
// globe component shares.
//
// A globe unit (GU) is the integer angle unit of every stored coordinate: one arc-second is
// exactly 1,500 GU. Longitude is positive east, latitude positive north.
#pragma once

#include <array>
#include <cstdint>

#include "globe/core/enumset.h"
#include "platform/types.h"

namespace globe {

/// The 80-bit extended type of the stored algorithms.
using Extended = long double;

inline constexpr std::int32_t GU_DEGREE = 5'400'000;
inline constexpr std::int32_t GU_MINUTE = 90'000;
inline constexpr std::int32_t GU_SECOND = 1'500;
inline constexpr std::int32_t GU_90_DEGREE = 486'000'000;
inline constexpr std::int32_t GU_180_DEGREE = 972'000'000;
inline constexpr std::int32_t GU_360_DEGREE = 1'944'000'000;

/// Radius of the earth in GU wherever a distance from the earth's centre is formed (3-D
/// points, the sphere's pixel radius). Deliberately not equal to GU_PER_RADIAN.
inline constexpr std::int32_t GU_EARTH_RADIUS = 309'397'230;

inline constexpr Extended PI_EXT = 3.14159265358979323846264338327950288L;
/// GU per radian, for turning angles in radians into GU and back.
inline constexpr Extended GU_PER_RADIAN = 972'000'000.0L / PI_EXT;
/// Radians per GU.
inline constexpr Extended RADIANS_PER_GU = PI_EXT / 972'000'000.0L;

/// Geographic point in GU; height in GU above the surface (0 for most data).
struct TPointLL {
  std::int32_t iLongX = 0;
  std::int32_t iLatY = 0;
  std::int32_t iHeightZ = 0;
  friend constexpr bool operator==(const TPointLL&, const TPointLL&) = default;
};

/// Point in decimal degrees; HeightZ is the GU height divided by 5,400,000.
struct TPointDD {
  Extended LongX = 0;
  Extended LatY = 0;
  Extended HeightZ = 0;
  friend constexpr bool operator==(const TPointDD&, const TPointDD&) = default;
};

/// Earth-centred Cartesian point in GU: Y to the north pole, Z to longitude 0 on the
/// equator, X to 90° east.
struct TPoint3D {
  std::int32_t iWorldX = 0;
  std::int32_t iWorldY = 0;
  std::int32_t iWorldZ = 0;
  friend constexpr bool operator==(const TPoint3D&, const TPoint3D&) = default;
};

/// Minimum enclosing rectangle: south-west corner and extents east and north, in GU.
/// iLongX + iWidthX may pass +972,000,000 (the rectangle continues across 180°).
/// Zero width and zero height make it empty.
struct TMER {
  std::int32_t iLongX = 0;
  std::int32_t iLatY = 0;
  std::int32_t iWidthX = 0;
  std::int32_t iHeightY = 0;
  friend constexpr bool operator==(const TMER&, const TMER&) = default;
};

/// 3-D vector, usually of unit length.
struct TV3D {
  Extended X = 0;
  Extended Y = 0;
  Extended Z = 0;
  friend constexpr bool operator==(const TV3D&, const TV3D&) = default;
};

/// 3 × 3 matrix row by row: element (r, c) is entry 3r + c.
struct TMatrix {
  std::array<Extended, 9> m{};
  constexpr Extended& operator()(int r, int c) { return m[static_cast<std::size_t>(3 * r + c)]; }
  constexpr Extended operator()(int r, int c) const {
    return m[static_cast<std::size_t>(3 * r + c)];
  }
  friend constexpr bool operator==(const TMatrix&, const TMatrix&) = default;
};

/// Triangle of geographic points (texture mesh).
struct TTriangleLL {
  std::array<TPointLL, 3> Points{};
  friend constexpr bool operator==(const TTriangleLL&, const TTriangleLL&) = default;
};

/// Rotation quaternion: vector part X, Y, Z and scalar part W.
struct TQuaternion {
  Extended X = 0;
  Extended Y = 0;
  Extended Z = 0;
  Extended W = 0;
  friend constexpr bool operator==(const TQuaternion&, const TQuaternion&) = default;
};

// Device points and rectangles are the platform's.
using platform::TPoint;
using platform::TRect;

/// Units in which sizes and distances are given. The ordinal is stored; do not reorder.
enum class TGlobeUnitTypes : std::uint8_t {
  Degree,
  Minute,
  NauticalMile,
  Kilometer,
  Mile,
  Second,
  Third,
  Hundreth,
  Thousanth,
  Meter,
  CentiMeter,
  Fathom,
  Yard,
  Foot,
  Inch,
  GlobeUnit,
  Pixel,
};
inline constexpr int GLOBE_UNIT_TYPE_COUNT = 17;

enum class TSpheroid : std::uint8_t {
  Airy1830,
  Australian1965,
  Bessel1841,
  Clarke1866,
  Clarke1880,
  Everest1830,
  GRS1967,
  GRS1980,
  Helmert1906,
  Hough,
  International1920,
  Krassovsky1940,
  SouthAmerican1969,
  WGS60,
  WGS66,
  WGS72,
  WGS84,
};

enum TProgressMessage : std::uint8_t { pmMessage, pmStart, pmEnd, pmPercent, pmError };

enum TGlobeBrushStyle : std::uint8_t {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross,
  bsPattern1,
  bsPattern2,
  bsPattern3,
  bsPattern4,
  bsPattern5,
  bsPattern6,
  bsPattern7,
  bsPattern8,
  bsPattern9,
  bsPattern10,
  bsPattern11,
  bsPattern12,
  bsPattern13,
  bsPattern14,
  bsPattern15,
  bsPattern16,
  bsPattern17,
  bsPattern18,
  bsPattern19,
  bsPattern20,
  bsPattern21,
  bsPattern22,
  bsPattern23,
  bsPattern24,
  bsPattern25,
  bsPattern26,
  bsPattern27,
  bsPattern28,
  bsPattern29,
  bsPattern30,
  bsPattern31,
  bsPattern32,
  bsPattern33,
  bsPattern34,
  bsPattern35,
  bsPattern36,
  bsPattern37,
  bsPattern38,
  bsPattern39,
  bsPattern40,
  bsPattern41,
  bsPattern42,
  bsPattern43,
  bsPattern44,
  bsPattern45,
  bsPattern46,
  bsPattern47,
  bsPattern48,
  bsPattern49,
  bsPattern50,
};

/// Object states; bit n of a TGlobeObjectStateSet is the value with ordinal n.
enum TGlobeObjectState : std::uint8_t {
  osNew,
  osClosed,
  osHidden,
  osDiscardable,
  osBackFace,
  osFace,
  osSelected,
  osValidMER,
  osRedraw,
  osDeleted,
  osClipLeft,
  osClipTop,
  osClipRight,
  osClipBottom,
  osTiny,
  osVisible,
};
using TGlobeObjectStateSet = EnumSet<TGlobeObjectState, std::uint16_t>;

enum TPointStoreFlag : std::uint8_t { psLongCount, ps16Bit, psCompressed, psHeight };
/// The one-byte flag set of a point store.
using TPointStoreFlags = EnumSet<TPointStoreFlag, std::uint8_t>;

}  // namespace globe
