// The program: its look and its three windows, created in the order the start-up needs
// (the friends window takes the logger's folder the main window has read).
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

#include "app/loggerthread.h"
#include "app/mainform.h"
#include "app/winediscovery.h"
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
  /// Where the prefix was found, in the operator's words ("the running logger (process
  /// 4711)", "Bottles bottle \"Ham\"", "the [Logger] section of Orvane.ini").
  QString Origin;
};

/// Looks for the logger under Wine. Settings.Prefix, when given, is the prefix (with the
/// wine the logger runs on there, else the one its Wine manager runs it with, else "wine");
/// else the first of DiscoverWine's candidates where the logger runs, else the first whose
/// prefix holds the logger's key in its user registry ("user.reg"). Settings.Wine, when
/// given, is the wine command whatever was found. Then BridgeFile must be there.
[[nodiscard]] TWineSearch FindWineLogger(const TWineSettings& Settings, const QString& BridgeFile,
                                         const TWineRoots& Roots);
/// The same on this system: its processes, and HOME and WINEPREFIX of Environment.
[[nodiscard]] TWineSearch FindWineLogger(const TWineSettings& Settings, const QString& BridgeFile,
                                         const QProcessEnvironment& Environment);

/// The message for a bridge that did not come up in Prefix with the command Wine, What
/// saying how (the client's error): the cause and the operator's next step.
[[nodiscard]] QString BridgeProblem(const QString& Prefix, const QString& Wine, const QString& What);

/// The logger as the program reaches it on this platform: its registry key, windows and
/// file names through the logger-host service (a local socket, or the Win32 bridge under
/// Wine), its database by the file's format (libmdb or QtSql). The access itself is the
/// registry, window lookup and paths the main window is given, so that they stay the same
/// objects whichever way Connect reaches the logger; until then they answer as a logger
/// that does not answer.
class TLoggerAccess final : public TLoggerConnection,
                            public platform::TLoggerRegistry,
                            public platform::TWindowLookup,
                            public platform::TLoggerPaths {
 public:
  /// A second to answer each request. A logger that does not answer is waited for, tick
  /// after tick, on the logger's thread: the window goes on meanwhile.
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
  /// The logger to be found by Connect: the service on HostNames when it answers; else the
  /// logger under Wine through the bridge in ExeFolder (FindWineLogger with the [Logger]
  /// section of Settings), started and answering within BridgeStart.
  TLoggerAccess(const QStringList& HostNames, const TSettingsFile& Settings,
                const QString& ExeFolder,
                std::chrono::milliseconds Timeout = kTimeout,
                std::chrono::milliseconds BridgeStart = kBridgeStart);
  ~TLoggerAccess() override;

  /// The logger where it is, found at once (see the constructor above). When that fails,
  /// Problem() says why (a service on HostNames run by another user, when there is no
  /// logger under Wine either), and the access answers as when no logger is there.
  static std::unique_ptr<TLoggerAccess> Find(const QStringList& HostNames,
                                             const TSettingsFile& Settings,
                                             const QString& ExeFolder,
                                             std::chrono::milliseconds Timeout = kTimeout,
                                             std::chrono::milliseconds BridgeStart = kBridgeStart);

  /// Why the logger could not be reached, for the operator; empty when nothing is wrong.
  [[nodiscard]] const QString& Problem() const noexcept { return FProblem; }

  /// The main window's environment: the logger through this access (which must outlive
  /// the window), the settings file and the executable's folder. With Threaded, the window
  /// reaches the logger on a thread of its own and calls Connect there first.
  [[nodiscard]] TForm1Environment Environment(TSettingsFile Settings, QString ExeFolder,
                                              bool Threaded = false);

  // TLoggerConnection: the search given to the constructor, if any, run once; the problem
  // found. Disconnect ends the connection or bridge on the calling thread; the next request
  // connects again.
  [[nodiscard]] QString Connect() override;
  void Disconnect() noexcept override;

  // The logger-host client's answers, or none before Connect.
  bool OpenKey(std::string_view Key, bool CanCreate) override;
  [[nodiscard]] std::optional<std::string> ReadString(std::string_view Name) override;
  void CloseKey() noexcept override;
  [[nodiscard]] THandle FindTopLevel(std::string_view ClassName) override;
  [[nodiscard]] std::vector<THandle> Children(THandle Parent,
                                              std::string_view ClassName) override;
  [[nodiscard]] std::optional<std::string> WindowText(THandle Window,
                                                      std::size_t BufferSize) override;
  [[nodiscard]] bool LastCallUnanswered() const noexcept override;
  [[nodiscard]] std::optional<std::string> LocalPath(std::string_view LoggerPath) override;

 private:
  struct TSearch {
    QStringList HostNames;
    TSettingsFile Settings;
    QString ExeFolder;
    std::chrono::milliseconds BridgeStart;
  };
  std::optional<TSearch> FSearch;
  std::chrono::milliseconds FTimeout;
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
