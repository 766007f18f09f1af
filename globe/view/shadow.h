// The day/night shadow: the point where the sun stands in the zenith at a given time, and
// the shading of the globe's pixels where the sun is down (night) or less than about 6°
// up or down around the horizon on the night side (twilight).
//
// Times are date-time values in days: the whole part counts days from 30 December 1899, the
// fraction is the time of day, in UTC. Before that day the whole part is negative and the
// fraction still counts forward from midnight (−1.25 is 29 December 1899, 06:00).
#pragma once

#include <chrono>
#include <cstdint>

#include "globe/core/types.h"
#include "platform/types.h"

namespace globe {

class TCustomGlobe4;

/// The date-time value of a UTC date and time. Seconds may carry a fraction.
[[nodiscard]] double EncodeGMTDateTime(std::int32_t Year, std::uint32_t Month, std::uint32_t Day,
                                       std::int32_t Hour = 0, std::int32_t Minute = 0,
                                       double Second = 0) noexcept;
/// The date-time value of a point in time.
[[nodiscard]] double GMTDateTimeOf(std::chrono::system_clock::time_point Time) noexcept;

/// The sub-solar point (GU, height 0) at GMTDateTime: latitude from the declination of the
/// day counted from the December solstice of the year before, longitude from the time of day
/// in whole arc-minutes (0° at 12:00, 180° at 00:00). Values outside the years 1 … 9999 are
/// taken as the nearest day of that range; a NaN as day 0.
[[nodiscard]] TPointLL SubSolarPoint(double GMTDateTime) noexcept;

/// The class of a geographic point for the sun at SubSolar: 1 day, 2 night, 3 twilight (the
/// sun from the horizon down to about 6° below it).
[[nodiscard]] std::int32_t DayNightClass(const TPointLL& ptLL, const TPointLL& SubSolar) noexcept;

/// Blends the pixels of the globe's off-screen picture where the sun is down towards
/// ColorNight (half way) or ColorTwilight (a quarter of the way), per channel rounded half
/// away from zero. Density (at least 1) is the pixel step: above 1 only every Density-th
/// row and column is shaded, alternate rows shifted by half a step. Pixels off the earth are
/// left alone. Without an off-screen picture nothing is drawn. Returns the sub-solar point.
TPointLL RenderDIBShadow(TCustomGlobe4& Globe, double GMTDateTime, platform::TColor ColorNight,
                         platform::TColor ColorTwilight, std::int32_t Density);
/// As RenderDIBShadow, but sets the pixels of the canvas's device to ColorNight and
/// ColorTwilight one by one (SetPixel); nothing is drawn without a device.
TPointLL RenderShadow(TCustomGlobe4& Globe, double GMTDateTime, platform::TColor ColorNight,
                      platform::TColor ColorTwilight, std::int32_t Density);

}  // namespace globe
