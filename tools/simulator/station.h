// Where the station being typed into the QSO-entry window is, seen from home: the azimuth
// text the logger shows beside the callsign.
#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "platform/qt/xmlrowset.h"

namespace orvane {
class TCallsignLookup;
}

namespace orvane::sim {

/// A position in degrees, north and east positive.
struct TPosition {
  double Lat = 0;
  double Long = 0;
};

/// The initial great-circle bearing from From to To, in degrees from north through east,
/// in [0, 360). Coinciding points give 0.
[[nodiscard]] double InitialBearing(TPosition From, TPosition To);

/// The logger's azimuth text "short/long": the bearing rounded to whole degrees, and the
/// long path 180 degrees round from it, both in 0 … 359.
[[nodiscard]] QString AzimuthText(double Bearing);

/// "LogName" of section "EditNewQso" in the logger settings file (profile rules: names
/// compare without case, the first of repeated keys wins). Empty when the file is missing,
/// unreadable, larger than 1 MiB or has no such key.
[[nodiscard]] QString ReadLogName(const QString& IniFile);

/// The home position of a log from the logger's database (an SQLite stand-in with table
/// "Aconfig": LogName, Longitude, Latitude; longitude stored positive to the WEST): the
/// first row of LogName, with the longitude turned east-positive. nullopt when the log has
/// no row. Throws std::runtime_error naming the file when it is missing or cannot be
/// opened or queried, or a value is not a number.
[[nodiscard]] std::optional<TPosition> ReadHomePosition(const QString& DatabaseFile,
                                                        const QString& LogName);

/// What the window shows for the contact being typed.
struct TPlacement {
  QString Azimuth;  ///< "short/long", or empty for an unknown station
  QString Info;     ///< how the station was placed, for the operator
};

/// Places stations through the logger's three reference tables, or by locator.
class TStationFinder {
 public:
  /// Loads db/CountryDataEx.xml, db/Province.xml and db/UniqueCalls.xml from InstallFolder
  /// (which ends with "/"). Throws std::runtime_error naming a file that cannot be loaded.
  TStationFinder(const QString& InstallFolder, TPosition Home);
  ~TStationFinder();
  TStationFinder(const TStationFinder&) = delete;
  TStationFinder& operator=(const TStationFinder&) = delete;

  /// The station's position: a valid six-character locator (letters of any case) wins,
  /// else the callsign (blanks around it dropped, upper-cased) through the tables. nullopt
  /// for an unknown station, and when the tables cannot answer (Error says why).
  [[nodiscard]] std::optional<TPosition> Locate(const QString& Call, const QString& Locator,
                                                QString* Error = nullptr);
  /// The azimuth from home and a line for the operator.
  [[nodiscard]] TPlacement Place(const QString& Call, const QString& Locator);

  [[nodiscard]] TPosition Home() const noexcept { return FHome; }

 private:
  std::unique_ptr<platform::TMemoryRecordSet> FUnique;
  std::unique_ptr<platform::TMemoryRecordSet> FProvince;
  std::unique_ptr<platform::TMemoryRecordSet> FDXCC;
  std::unique_ptr<TCallsignLookup> FLookup;
  TPosition FHome;
};

/// A position as the operator reads it: "48.21N 16.37E".
[[nodiscard]] QString PositionText(TPosition Position);

}  // namespace orvane::sim
