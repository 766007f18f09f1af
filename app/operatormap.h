// What the operator turning a beam reads off the map: distance and initial bearing of the
// short path, the beam heading typed into the logger as a ray with its beam-width wedge,
// and the label that names the station with both figures. Spherical earth throughout,
// of the globe component's own radius, so that the figures match what the map shows.
#pragma once

#include <QLocale>
#include <QString>
#include <optional>
#include <vector>

#include "globe/core/types.h"

namespace orvane {

/// The globe component's earth radius in kilometres (about 6,366.7 km: a nautical mile is
/// a minute of arc on it).
[[nodiscard]] double EarthRadiusKm() noexcept;

/// Kilometres per statute mile.
inline constexpr double kKmPerMile = 1.609344;

/// Great-circle distance (km, on a sphere of Radius km) and initial bearing (degrees
/// clockwise from north, 0 … <360) from the first point to the second; all positions in
/// degrees, north and east positive. Coincident points give 0 km and bearing 0; from a
/// pole the bearing is measured against the meridian of the other point (south from the
/// north pole gives 180).
struct TPathFigures {
  double DistanceKm = 0;
  double BearingDeg = 0;
};
[[nodiscard]] TPathFigures ShortPath(double FromLat, double FromLong, double ToLat, double ToLong,
                                     double RadiusKm = EarthRadiusKm()) noexcept;

/// The point DistanceKm from (Lat, Long) along the great circle that leaves it at Azimuth
/// degrees; degrees in and out, the longitude in −180 … 180.
struct TLatLong {
  double Lat = 0;
  double Long = 0;
};
[[nodiscard]] TLatLong Destination(double Lat, double Long, double AzimuthDeg, double DistanceKm,
                                   double RadiusKm = EarthRadiusKm()) noexcept;

/// The short-path heading of the logger's azimuth text, "short/long" degrees ("43/223");
/// a text without "/" is taken whole. Blanks around the number are allowed, a fraction
/// too. Empty, not a number or not finite: none. The result is wrapped into 0 … <360.
[[nodiscard]] std::optional<double> BeamHeading(const QString& Azimuth);

/// How far the heading ray reaches from home, km: nearly to the antipode.
inline constexpr double kBeamReachKm = 20'000;

/// The heading ray from home as points in globe units, one every degree of arc or so, out
/// to ReachKm.
[[nodiscard]] std::vector<globe::TPointLL> BeamRay(double HomeLat, double HomeLong,
                                                   double HeadingDeg,
                                                   double ReachKm = kBeamReachKm);

/// The closed outline of the beam wedge: home, out along Heading − Width/2 to ReachKm, back
/// along Heading + Width/2. Empty for a width of 0 or less; a width above 360 counts as 360.
[[nodiscard]] std::vector<globe::TPointLL> BeamWedge(double HomeLat, double HomeLong,
                                                     double HeadingDeg, double WidthDeg,
                                                     double ReachKm = kBeamReachKm);

/// The great circle leaving (Lat, Long) at HeadingDeg, from the start to LengthKm along it,
/// as dashes of DashKm separated by gaps of GapKm; each dash as points about a degree of
/// arc apart. The device draws only thin lines dashed, so wide dashed lines are drawn as
/// pieces. Nothing for a length, dash or gap that is not positive and finite; at most
/// kMaxDashes dashes (the gaps grow to fit).
inline constexpr int kMaxDashes = 1000;
[[nodiscard]] std::vector<std::vector<globe::TPointLL>> DashedArc(double Lat, double Long,
                                                                  double HeadingDeg,
                                                                  double LengthKm, double DashKm,
                                                                  double GapKm);

/// "CALL  9,130 km  43°": the callsign, the distance rounded to a whole km (or mile, with
/// "mi") with the locale's group separator, and the bearing rounded to a whole degree
/// (360 shows as 0), each after two blanks.
[[nodiscard]] QString StationLabel(const QString& Call, const TPathFigures& Path, bool Miles,
                                   const QLocale& Locale = QLocale());

}  // namespace orvane
