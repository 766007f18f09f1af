#include "tools/simulator/station.h"

#include <QLocale>
#include <QVariant>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include "app/locator.h"
#include "app/loggerlink.h"
#include "app/lookup.h"
#include "app/settings.h"
#include "platform/qt/loggerdatabase.h"

namespace orvane::sim {

namespace {

constexpr double kRadPerDeg = std::numbers::pi / 180.0;

std::string Utf8(const QString& s) { return s.toStdString(); }

}  // namespace

double InitialBearing(TPosition From, TPosition To) {
  const double Phi1 = From.Lat * kRadPerDeg;
  const double Phi2 = To.Lat * kRadPerDeg;
  const double DLambda = (To.Long - From.Long) * kRadPerDeg;
  const double Y = std::sin(DLambda) * std::cos(Phi2);
  const double X =
      std::cos(Phi1) * std::sin(Phi2) - std::sin(Phi1) * std::cos(Phi2) * std::cos(DLambda);
  double Bearing = std::atan2(Y, X) / kRadPerDeg;
  if (Bearing < 0) Bearing += 360.0;
  // -0.0 and values a rounding step below 0 must not come out as 360.
  return Bearing >= 360.0 ? 0.0 : Bearing;
}

QString AzimuthText(double Bearing) {
  long Short = std::lround(Bearing) % 360;
  if (Short < 0) Short += 360;
  const long Long = (Short + 180) % 360;
  return QStringLiteral("%1/%2").arg(Short).arg(Long);
}

QString ReadLogName(const QString& IniFile) {
  return QString::fromStdString(ReadProfileString(Utf8(IniFile), "EditNewQso", "LogName", ""))
      .trimmed();
}

std::optional<TPosition> ReadHomePosition(const QString& DatabaseFile, const QString& LogName) {
  platform::TLoggerFileDatabase Database;
  Database.Open(Utf8(DatabaseFile));
  const auto Stored = Database.QueryPosition(HomePositionQuery(Utf8(LogName)));
  Database.Close();
  if (!Stored) return std::nullopt;
  // The logger counts longitude positive to the west.
  return TPosition{Stored->Latitude, -Stored->Longitude};
}

TStationFinder::TStationFinder(const QString& InstallFolder, TPosition Home) : FHome(Home) {
  const std::string Folder = Utf8(InstallFolder);
  FDXCC = platform::LoadXmlRowset(Folder + "db/CountryDataEx.xml");
  FProvince = platform::LoadXmlRowset(Folder + "db/Province.xml");
  FUnique = platform::LoadXmlRowset(Folder + "db/UniqueCalls.xml");
  // The simulator's tables write decimal points whatever the user's locale.
  FLookup = std::make_unique<TCallsignLookup>(*FUnique, *FProvince, *FDXCC, QLocale::c());
}

TStationFinder::~TStationFinder() = default;

std::optional<TPosition> TStationFinder::Locate(const QString& Call, const QString& Locator,
                                                QString* Error) {
  if (IsValidLocator(Locator)) {
    TPosition Position;
    // The indices are taken from the text as it stands, so upper-case it first.
    LocatorToLatLong(Locator.toUpper(), Position.Lat, Position.Long);
    return Position;
  }
  const QString Callsign = Call.trimmed().toUpper();
  if (Callsign.isEmpty()) return std::nullopt;
  try {
    QString DxLong;
    QString DxLat;
    if (!FLookup->FindCountry(Callsign, DxLong, DxLat)) return std::nullopt;
    TPosition Position;
    TextToLatLong(DxLat, DxLong, Position.Lat, Position.Long, QLocale::c());
    return Position;
  } catch (const std::exception& e) {
    // A bad row of the tables must not stop the window; the station counts as unknown.
    if (Error) *Error = QString::fromUtf8(e.what());
    return std::nullopt;
  }
}

TPlacement TStationFinder::Place(const QString& Call, const QString& Locator) {
  QString Error;
  const auto Position = Locate(Call, Locator, &Error);
  if (!Position) {
    if (!Error.isEmpty()) return {QString(), QStringLiteral("Lookup failed: ") + Error};
    if (Call.trimmed().isEmpty() && Locator.isEmpty()) return {};
    return {QString(), QStringLiteral("Unknown station")};
  }
  const QString How =
      IsValidLocator(Locator) ? QStringLiteral("by locator") : QStringLiteral("by callsign");
  return {AzimuthText(InitialBearing(FHome, *Position)),
          PositionText(*Position) + QStringLiteral(" (") + How + QStringLiteral(")")};
}

QString PositionText(TPosition Position) {
  const QLocale C = QLocale::c();
  return C.toString(std::fabs(Position.Lat), 'f', 2) + (Position.Lat < 0 ? u'S' : u'N') + u' ' +
         C.toString(std::fabs(Position.Long), 'f', 2) + (Position.Long < 0 ? u'W' : u'E');
}

}  // namespace orvane::sim
