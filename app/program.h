// The program: its look and its three windows, created in the order the start-up needs
// (the friends window takes the logger's folder the main window has read).
#pragma once

#include <QString>
#include <chrono>
#include <memory>

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

/// The logger as the program reaches it on this platform: its registry key and windows
/// through the logger-host service, its database by the file's format (libmdb or QtSql).
class TLoggerAccess {
 public:
  /// A second to answer each request: a logger busy for a moment is not taken for a closed
  /// one, and a hung one costs the window a second before the program ends.
  static constexpr std::chrono::milliseconds kTimeout{1000};

  explicit TLoggerAccess(const QString& HostName = platform::LoggerHostName(),
                         std::chrono::milliseconds Timeout = kTimeout);

  /// The main window's environment: the logger through this access (which must outlive
  /// the window), the settings file and the executable's folder.
  [[nodiscard]] TForm1Environment Environment(TSettingsFile Settings, QString ExeFolder);

 private:
  platform::TLoggerHostClient FHost;
  platform::TLoggerFileDatabase FDatabase;
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
