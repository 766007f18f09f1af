// The link to the logger: at start-up its folder, its log name, the home position and the
// three reference tables; then, once a second, the callsign, azimuth and locator typed
// into its QSO-entry window, and whether the program must end.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/loggerhost.h"
#include "platform/recordset.h"

namespace orvane {

/// Reads a string from an INI file: (file, section, key, default) → value.
using TIniStringReader =
    std::function<std::string(const std::string& File, const std::string& Section,
                              const std::string& Key, const std::string& Default)>;
/// Loads a record set file into a record set (closed or open); throws naming the file.
using TRecordSetLoader = std::function<std::unique_ptr<platform::TRecordSet>(const std::string&)>;

/// The logger's registry key, files and window classes.
inline constexpr std::string_view kLoggerKey = "Software\\Tovrin_Log3";
inline constexpr std::string_view kLoggerIniFile = "Tovrin_Log3.ini";
inline constexpr std::string_view kLoggerDatabaseFile = "db/logs.mdb";
inline constexpr std::string_view kDXCCFile = "db/CountryDataEx.xml";
inline constexpr std::string_view kProvinceFile = "db/Province.xml";
inline constexpr std::string_view kUniqueFile = "db/UniqueCalls.xml";

/// Whether Path is a Windows path: a drive ("C:\\", "C:/") or a network share ("\\\\").
[[nodiscard]] bool IsWindowsPath(std::string_view Path);

/// The query of the home position for a log; a quote in the log name is doubled so that
/// the name stays one SQL string.
[[nodiscard]] std::string HomePositionQuery(std::string_view LogName);

class TLoggerLink {
 public:
  /// The fields the poll writes.
  enum class TField { lfAzimut, lfCallsign, lfLocator };
  struct TTextChange {
    TField Field;
    std::string Text;
    bool operator==(const TTextChange&) const = default;
  };
  struct TPollResult {
    /// Changes in the order their change handlers must run; a text equal to the field's
    /// text at that moment is not listed.
    std::vector<TTextChange> Changes;
    /// The main window must close: the QSO-entry window is gone, or the logger repairs.
    bool Close = false;
    /// The QSO-entry window was found in this tick (a close then means a repair).
    bool QsoWindowOpen = false;
    /// The logger gave no answer this tick (busy, or the link to it is down).
    bool Unanswered = false;
    /// The link to the logger after this tick: down while it is restored, lost for good
    /// (the close then comes from that, not from the logger), with the reason.
    platform::TWindowLookup::TLinkState Link;
  };

  /// The link uses these for its life; it owns none of them. Paths, when given, turns the
  /// logger's folder into the name this program opens it by when it is a Windows path
  /// (the logger under Wine); without it the folder is used as the registry holds it.
  TLoggerLink(platform::TLoggerRegistry& Registry, platform::TLoggerDatabase& Database,
              platform::TWindowLookup& Windows, TIniStringReader ReadIni,
              TRecordSetLoader LoadTable, platform::TLoggerPaths* Paths = nullptr);

  /// The start-up sequence. Without the registry key it does nothing. A step that fails
  /// does not stop the ones after it: the reference tables are loaded whatever became of
  /// the database, so that one damaged file costs only what it holds. Returns what went
  /// wrong, one text a problem in the order met (empty when all was read); the home
  /// position stays unknown (HomeKnown() false) unless its row was read.
  [[nodiscard]] std::vector<std::string> Startup();

  /// One tick of the once-a-second poll. A tick on which the logger does not answer in
  /// time changes nothing: the fields keep their texts and the next tick asks again. Only
  /// a QSO-entry window that is definitely gone (or the logger's repair) closes.
  [[nodiscard]] TPollResult Poll();

  [[nodiscard]] const std::string& LoggerInstallPath() const noexcept { return FInstallPath; }
  [[nodiscard]] const std::string& LogName() const noexcept { return FLogName; }
  /// Home position in degrees, longitude positive to the east; 0, 0 until read.
  [[nodiscard]] double MyLat() const noexcept { return FMyLat; }
  /// Whether the home position was read from the logger's database.
  [[nodiscard]] bool HomeKnown() const noexcept { return FHomeKnown; }
  [[nodiscard]] double MyLong() const noexcept { return FMyLong; }
  /// The reference tables, owned by the link for its life; null until loaded.
  [[nodiscard]] platform::TRecordSet* tblDXCC() const noexcept { return FDXCC.get(); }
  [[nodiscard]] platform::TRecordSet* tblProvince() const noexcept { return FProvince.get(); }
  [[nodiscard]] platform::TRecordSet* tblUnique() const noexcept { return FUnique.get(); }

  /// The fields' current texts, as the poll last left them.
  [[nodiscard]] const std::string& Text(TField Field) const noexcept;

 private:
  void Put(TField Field, std::string Text, TPollResult& Result);

  platform::TLoggerRegistry& FRegistry;
  platform::TLoggerDatabase& FDatabase;
  platform::TWindowLookup& FWindows;
  TIniStringReader FReadIni;
  TRecordSetLoader FLoadTable;
  platform::TLoggerPaths* FPaths;

  std::string FInstallPath;
  std::string FLogName;
  double FMyLat = 0;
  double FMyLong = 0;
  bool FHomeKnown = false;
  std::unique_ptr<platform::TRecordSet> FDXCC;
  std::unique_ptr<platform::TRecordSet> FProvince;
  std::unique_ptr<platform::TRecordSet> FUnique;
  std::string FTexts[3];
};

}  // namespace orvane
