#include "app/operatormap.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "globe/core/units.h"

namespace orvane {

namespace {

constexpr double kRad = std::numbers::pi / 180;

double Wrap360(double Deg) noexcept {
  double r = std::fmod(Deg, 360.0);
  if (r < 0) r += 360;
  return r >= 360 ? 0 : r;  // -1e-17 + 360 rounds to 360
}

globe::TPointLL ToLL(const TLatLong& P) { return globe::DegToPointLL(P.Long, P.Lat); }

// Points along the great circle leaving home at Heading, from From to To km, about one a
// degree of arc (at least two).
void AppendArc(std::vector<globe::TPointLL>& Out, double Lat, double Long, double Heading,
               double FromKm, double ToKm) {
  const double Radius = EarthRadiusKm();
  const double StepKm = Radius * kRad;
  const int Steps = std::max(1, static_cast<int>(std::ceil(std::abs(ToKm - FromKm) / StepKm)));
  for (int i = 0; i <= Steps; ++i) {
    const double D = FromKm + (ToKm - FromKm) * i / Steps;
    Out.push_back(ToLL(Destination(Lat, Long, Heading, D, Radius)));
  }
}

}  // namespace

double EarthRadiusKm() noexcept {
  return static_cast<double>(globe::GU_EARTH_RADIUS /
                             globe::GUPerUnit(globe::TGlobeUnitTypes::Kilometer));
}

TPathFigures ShortPath(double FromLat, double FromLong, double ToLat, double ToLong,
                       double RadiusKm) noexcept {
  const double p1 = FromLat * kRad, p2 = ToLat * kRad;
  const double dl = (ToLong - FromLong) * kRad;
  // Haversine for the angle: exact also for points a few metres apart.
  const double sp = std::sin((p2 - p1) / 2), sl = std::sin(dl / 2);
  const double h = std::clamp(sp * sp + std::cos(p1) * std::cos(p2) * sl * sl, 0.0, 1.0);
  const double Angle = 2 * std::atan2(std::sqrt(h), std::sqrt(1 - h));
  TPathFigures R;
  R.DistanceKm = Angle * RadiusKm;
  if (Angle == 0) return R;
  const double y = std::sin(dl) * std::cos(p2);
  const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
  R.BearingDeg = Wrap360(std::atan2(y, x) / kRad);
  return R;
}

TLatLong Destination(double Lat, double Long, double AzimuthDeg, double DistanceKm,
                     double RadiusKm) noexcept {
  const double p1 = Lat * kRad, l1 = Long * kRad, t = AzimuthDeg * kRad;
  const double d = DistanceKm / RadiusKm;
  const double sp2 =
      std::clamp(std::sin(p1) * std::cos(d) + std::cos(p1) * std::sin(d) * std::cos(t), -1.0, 1.0);
  const double p2 = std::asin(sp2);
  const double l2 =
      l1 + std::atan2(std::sin(t) * std::sin(d) * std::cos(p1), std::cos(d) - std::sin(p1) * sp2);
  double LongDeg = std::remainder(l2 / kRad, 360.0);
  if (LongDeg < -180) LongDeg += 360;
  return {p2 / kRad, LongDeg};
}

std::optional<double> BeamHeading(const QString& Azimuth) {
  const qsizetype Slash = Azimuth.indexOf(u'/');
  const QString Head = (Slash < 0 ? Azimuth : Azimuth.left(Slash)).trimmed();
  if (Head.isEmpty()) return std::nullopt;
  bool Ok = false;
  // The logger writes plain digits whatever the user's locale.
  const double Value = QLocale::c().toDouble(Head, &Ok);
  if (!Ok || !std::isfinite(Value)) return std::nullopt;
  return Wrap360(Value);
}

std::vector<globe::TPointLL> BeamRay(double HomeLat, double HomeLong, double HeadingDeg,
                                     double ReachKm) {
  std::vector<globe::TPointLL> Out;
  AppendArc(Out, HomeLat, HomeLong, HeadingDeg, 0, ReachKm);
  return Out;
}

std::vector<globe::TPointLL> BeamWedge(double HomeLat, double HomeLong, double HeadingDeg,
                                       double WidthDeg, double ReachKm) {
  std::vector<globe::TPointLL> Out;
  if (!(WidthDeg > 0)) return Out;
  const double Half = std::min(WidthDeg, 360.0) / 2;
  AppendArc(Out, HomeLat, HomeLong, HeadingDeg - Half, 0, ReachKm);
  AppendArc(Out, HomeLat, HomeLong, HeadingDeg + Half, ReachKm, 0);
  Out.pop_back();  // home again: the outline closes by itself
  return Out;
}

std::vector<std::vector<globe::TPointLL>> DashedArc(double Lat, double Long, double HeadingDeg,
                                                    double LengthKm, double DashKm, double GapKm) {
  std::vector<std::vector<globe::TPointLL>> Dashes;
  const auto Usable = [](double v) { return std::isfinite(v) && v > 0; };
  if (!Usable(LengthKm) || !Usable(DashKm) || !Usable(GapKm)) return Dashes;
  double Period = DashKm + GapKm;
  if (LengthKm / Period > kMaxDashes) {
    Period = LengthKm / kMaxDashes;
    DashKm = std::min(DashKm, Period / 2);
  }
  for (double From = 0; From < LengthKm && Dashes.size() < kMaxDashes; From += Period) {
    Dashes.emplace_back();
    AppendArc(Dashes.back(), Lat, Long, HeadingDeg, From, std::min(From + DashKm, LengthKm));
  }
  return Dashes;
}

QString StationLabel(const QString& Call, const TPathFigures& Path, bool Miles,
                     const QLocale& Locale) {
  const double Distance = Miles ? Path.DistanceKm / kKmPerMile : Path.DistanceKm;
  const qlonglong Whole = std::llround(Distance);
  long Bearing = std::lround(Path.BearingDeg);
  if (Bearing >= 360) Bearing -= 360;
  return QStringLiteral("%1  %2 %3  %4°")
      .arg(Call, Locale.toString(Whole), Miles ? QStringLiteral("mi") : QStringLiteral("km"))
      .arg(Bearing);
}

}  // namespace orvane
