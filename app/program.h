// The program: its look and its three windows, created in the order the start-up needs
// (the friends window takes the logger's folder the main window has read).
#pragma once

#include <memory>

#include "app/mainform.h"

class QApplication;

namespace orvane {

class TfCompass;
class TfrmFriends;

/// The dark "Cyan Night" look: the Fusion style with a night-blue palette and cyan
/// highlights. Without the Fusion style the platform's look stays.
void ApplyCyanNight(QApplication& Application);

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
