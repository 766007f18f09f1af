// The program: its look and its three windows, created in the order the start-up needs
// (the friends window takes the logger's folder the main window has read).
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

#include "app/mainform.h"
#include "platform/qt/loggerhostservice.h"
#include "platform/qt/loggerdatabase.h"

class QApplication;

namespace orvane {

class TfCompass;
class TfrmFriends;

/// The dark "Cyan Night" look: the Fusion style with a night-blue palette and cyan
/// highlights. Without the Fusion style the platform's look stays.
void ApplyCyanNight(QApplication& Application);

/// The folder the map data is read from: the executable's folder when the layers are there
/// (a build tree, or everything kept in one folder), else "../share/orvane" from it (the
/// installed layout) when they are there, else the executable's folder.
[[nodiscard]] QString DataFolder(const QString& ExeFolder);

/// The Win32 bridge's file name, beside the program.
inline constexpr const char* kBridgeFile = "orvane-bridge.exe";

/// Where the logger runs under Wine, as the [Logger] section of "Orvane.ini" names it:
/// "Prefix" (the Wine prefix folder) and "Wine" (the wine command). Empty: found alone.
struct TWineSettings {
  QString Prefix;
  QString Wine;
};

/// [Logger] of the settings file.
[[nodiscard]] TWineSettings ReadWineSettings(const TSettingsFile& Settings);

/// What the search for the logger under Wine found: the bridge to start in its prefix, or
/// a message for the operator saying why the logger cannot be reached there, or neither
/// (no Wine prefix at all: no logger).
struct TWineSearch {
  std::optional<platform::TLoggerHostProcess> Bridge;
  QString Prefix;
  QString Problem;
};

/// Looks for the logger's Wine prefix: Settings.Prefix, else $WINEPREFIX, else ~/.wine (in
/// Environment), holding the logger's key in its user registry ("user.reg"); then for the
/// wine command (Settings.Wine, else "wine") and for BridgeFile.
[[nodiscard]] TWineSearch FindWineLogger(const TWineSettings& Settings, const QString& BridgeFile,
                                         const QProcessEnvironment& Environment);

/// The logger as the program reaches it on this platform: its registry key, windows and
/// file names through the logger-host service (a local socket, or the Win32 bridge under
/// Wine), its database by the file's format (libmdb or QtSql).
class TLoggerAccess {
 public:
  /// A second to answer each request. A logger that does not answer is waited for, tick
  /// after tick, so this bounds how long the window stands still per tick.
  static constexpr std::chrono::milliseconds kTimeout{1000};
  /// How long a bridge may take to answer first: wine may have to start its server.
  static constexpr std::chrono::milliseconds kBridgeStart{60000};

  /// The logger-host service on the first of the local sockets HostNames that a server of
  /// this user answers on.
  explicit TLoggerAccess(const QStringList& HostNames = platform::LoggerHostNames(),
                         std::chrono::milliseconds Timeout = kTimeout);
  /// The logger-host service on the local socket HostName.
  explicit TLoggerAccess(const QString& HostName, std::chrono::milliseconds Timeout = kTimeout);
  /// The bridge started by Bridge, answering within Timeout once it runs.
  explicit TLoggerAccess(platform::TLoggerHostProcess Bridge,
                         std::chrono::milliseconds Timeout = kTimeout);

  /// The logger where it is: the service on HostNames when it answers; else the logger
  /// under Wine through the bridge in ExeFolder (FindWineLogger with the [Logger] section
  /// of Settings), started and answering within BridgeStart. When that fails, Problem()
  /// says why (a service on HostNames run by another user, when there is neither), and the
  /// access answers as when no logger is there.
  static std::unique_ptr<TLoggerAccess> Find(const QStringList& HostNames,
                                             const TSettingsFile& Settings,
                                             const QString& ExeFolder,
                                             std::chrono::milliseconds Timeout = kTimeout,
                                             std::chrono::milliseconds BridgeStart = kBridgeStart);

  /// Why the logger could not be reached, for the error box; empty when nothing is wrong.
  [[nodiscard]] const QString& Problem() const noexcept { return FProblem; }

  /// The main window's environment: the logger through this access (which must outlive
  /// the window), the settings file and the executable's folder.
  [[nodiscard]] TForm1Environment Environment(TSettingsFile Settings, QString ExeFolder);

 private:
  std::unique_ptr<platform::TLoggerHostClient> FHost;
  platform::TLoggerFileDatabase FDatabase;
  QString FProblem;
};

/// The main window, then the friends window, then the compass window. The secondary windows
/// belong to the main window (no taskbar buttons of their own) and read and write their
/// geometry in the same settings file.
class TOrvaneWindows {
 public:
  explicit TOrvaneWindows(TForm1Environment Environment);
  ~TOrvaneWindows();
  TOrvaneWindows(const TOrvaneWindows&) = delete;
  TOrvaneWindows& operator=(const TOrvaneWindows&) = delete;

  [[nodiscard]] TForm1& Form1() const noexcept { return *Form1_; }
  [[nodiscard]] TfrmFriends& frmFriends() const noexcept { return *Friends_; }
  [[nodiscard]] TfCompass& fCompass() const noexcept { return *Compass_; }

 private:
  std::unique_ptr<TForm1> Form1_;
  TfrmFriends* Friends_;  // children of Form1_
  TfCompass* Compass_;
};

}  // namespace orvane
