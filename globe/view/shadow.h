// The day/night shadow: the point where the sun stands in the zenith at a given time, and
// the shading of the globe's pixels where the sun is down: either two bands (twilight, the
// sun up to about 6° below the horizon, and night) or a ramp through civil, nautical and
// astronomical twilight (the sun 0° to 18° below the horizon), optionally with the lights
// of the night side.
//
// Times are date-time values in days: the whole part counts days from 30 December 1899, the
// fraction is the time of day, in UTC. Before that day the whole part is negative and the
// fraction still counts forward from midnight (−1.25 is 29 December 1899, 06:00).
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "globe/core/types.h"
#include "globe/view/customglobe.h"
#include "platform/types.h"

namespace globe {

class TCustomGlobe4;
class TTextureData;

/// How RenderDIBShadow shades where the sun is down.
enum TShadowMode : std::uint8_t {
  /// Two bands: twilight (the sun from the horizon to about 6° below it) a quarter of the
  /// way towards ColorTwilight, night half way towards ColorNight; rounded as documented for
  /// RenderDIBShadow. What the shadow looked like before the ramp.
  smBands,
  /// A ramp linear in the sun's depression: nothing at the horizon, a quarter of the way
  /// towards ColorTwilight at 6° below, half way towards ColorNight from 18° below (the same
  /// values as the bands there). Suits light colours on a dark picture.
  smBlend,
  /// The same ramp multiplying each channel towards ColorNight's (ColorNight / 255 from 18°
  /// below), so night is darker than day on any picture. ColorTwilight is not used.
  smDarken,
};

/// What RenderDIBShadow draws.
struct TShadowStyle {
  platform::TColor ColorNight = platform::RGB(0x80, 0x80, 0x80);
  platform::TColor ColorTwilight = platform::RGB(0xC0, 0xC0, 0xC0);
  TShadowMode Mode = smBlend;
  /// Pixel step, at least 1: above 1 only every Density-th row and column is shaded,
  /// alternate rows shifted by half a step.
  std::int32_t Density = 1;
  /// With smBlend and smDarken: a picture of the night side's lights (black where there are
  /// none), placed on the earth by its corners, added to the shaded pixels by the same ramp.
  /// Not used when null or not valid. Only read during the call.
  const TTextureData* NightLights = nullptr;
};

/// The sun's depression below the horizon at which the ramp reaches full night, in degrees.
inline constexpr double SHADOW_RAMP_DEGREES = 18;

/// The date-time value of a UTC date and time. Seconds may carry a fraction.
[[nodiscard]] double EncodeGMTDateTime(std::int32_t Year, std::uint32_t Month, std::uint32_t Day,
                                       std::int32_t Hour = 0, std::int32_t Minute = 0,
                                       double Second = 0) noexcept;
/// The date-time value of a point in time.
[[nodiscard]] double GMTDateTimeOf(std::chrono::system_clock::time_point Time) noexcept;

/// The sub-solar point (GU, height 0) at GMTDateTime: latitude the sun's declination,
/// longitude where true solar time is noon (the equation of time included). From the
/// low-accuracy solar coordinates of Meeus, Astronomical Algorithms ch. 25 (mean elements,
/// equation of centre, apparent longitude, corrected obliquity), the formulas of NOAA's
/// solar calculator: about 0.01° for 1900 … 2100, slowly worse centuries away. Values
/// outside the years 1 … 9999 are taken as the nearest day of that range; a NaN as day 0.
[[nodiscard]] TPointLL SubSolarPoint(double GMTDateTime) noexcept;
/// The sine of the sun's altitude at ptLL for the sun over SubSolar (geocentric, without
/// refraction): 1 with the sun in the zenith, 0 on the horizon, −1 at the nadir.
[[nodiscard]] double SunElevationSine(const TPointLL& ptLL, const TPointLL& SubSolar) noexcept;

/// The class of a geographic point for the sun at SubSolar: 1 day, 2 night, 3 twilight (the
/// sun from the horizon down to about 6° below it).
[[nodiscard]] std::int32_t DayNightClass(const TPointLL& ptLL, const TPointLL& SubSolar) noexcept;

/// Where the great-circle path from From to To (the shorter or longer way, or the whole
/// circle) crosses the terminator of the sun over SubSolar: none, one or two points
/// (height 0), in the order of the path. None when the two points coincide or are
/// antipodal (the path is not defined) or the path runs along the terminator.
[[nodiscard]] std::vector<TPointLL> TerminatorCrossings(const TPointLL& From, const TPointLL& To,
                                                        const TPointLL& SubSolar, TGreatCircle Way);

/// Whether the shadow drawn for the sun over Drawn is out of date at GMTDateTime on the
/// globe's current view: the sun has since moved far enough to shift the terminator by at
/// least a pixel on the sphere or the plate carrée at their scale (other models: by a
/// pixel where the map is stretched by no more than four times the plate carrée). A still
/// window redraws its shadow only then rather than on a fixed period.
[[nodiscard]] bool ShadowMoved(const TCustomGlobe4& Globe, const TPointLL& Drawn,
                               double GMTDateTime) noexcept;

/// Shades the pixels of the globe's off-screen picture where the sun is down with the ramp
/// of smBlend towards ColorNight and ColorTwilight (Density as in TShadowStyle). Where the
/// sun is 18° or more below the horizon each channel moves half way towards ColorNight,
/// rounded half away from zero; where it is 6° below, a quarter of the way towards
/// ColorTwilight. Returns the sub-solar point.
TPointLL RenderDIBShadow(TCustomGlobe4& Globe, double GMTDateTime, platform::TColor ColorNight,
                         platform::TColor ColorTwilight, std::int32_t Density);
/// Shades the globe's off-screen picture as Style says; pixels off the earth are left
/// alone, and without an off-screen picture nothing is drawn. The ramp modes sample the sun
/// and the lights' picture every 16 pixels and interpolate between samples, resampling
/// where the interpolation strays (near the limb, across the lights' seam). Returns the
/// sub-solar point.
TPointLL RenderDIBShadow(TCustomGlobe4& Globe, double GMTDateTime, const TShadowStyle& Style);
/// Sets the pixels of the canvas's device where the sun is down to ColorNight and
/// ColorTwilight one by one (SetPixel), in the two bands of smBands; nothing is drawn
/// without a device.
TPointLL RenderShadow(TCustomGlobe4& Globe, double GMTDateTime, platform::TColor ColorNight,
                      platform::TColor ColorTwilight, std::int32_t Density);

}  // namespace globe
