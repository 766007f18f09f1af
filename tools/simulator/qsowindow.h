// The simulated logger's QSO-entry window and its progress window, laid out with the
// window classes the program looks for:
//
//   TfmEditNewQso
//     TPanel            date and time | band and mode (two TPanel)
//     TPanel
//       TPanel          the log and the home position
//       TPanel          where the station was placed
//       TPanel          TEdit azimuth, TdxButtonEdit callsign, six TdxEdit: name, QTH,
//                       RST sent, RST received, comment, locator
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <chrono>
#include <functional>
#include <memory>

#include "tools/simulator/station.h"

class QLabel;
class QLineEdit;
class QTimer;

namespace orvane::sim {

/// The repair progress window: class "TfmProgress", title "Repair database".
class TProgressWindow final : public QWidget {
 public:
  TProgressWindow();
};

class TQsoEntryWindow final : public QWidget {
  Q_OBJECT

 public:
  /// Places the contact being typed: called whenever the callsign or locator changes.
  using TPlacer = std::function<TPlacement(const QString& Call, const QString& Locator)>;

  /// The six "TdxEdit" fields in child order.
  enum TEditField { efName, efQth, efRstSent, efRstReceived, efComment, efLocator };

  /// Home is shown to the operator; Placer may be empty (every station unknown).
  TQsoEntryWindow(const QString& LogName, const QString& HomeText, TPlacer Placer);
  ~TQsoEntryWindow() override;

  [[nodiscard]] QLineEdit& Callsign() const noexcept { return *FCallsign; }
  [[nodiscard]] QLineEdit& Azimuth() const noexcept { return *FAzimuth; }
  [[nodiscard]] QLineEdit& Edit(TEditField Field) const noexcept { return *FEdits[Field]; }
  [[nodiscard]] QLineEdit& Locator() const noexcept { return *FEdits[efLocator]; }
  [[nodiscard]] QString StationInfo() const;

  /// Shows the progress window; it hides itself after For, or stays until HideRepair when
  /// For is zero.
  void ShowRepair(std::chrono::milliseconds For);
  void HideRepair();
  [[nodiscard]] QWidget& ProgressWindow() const noexcept { return *FProgress; }

  /// Empties the contact's fields, as the logger does for a new contact.
  void NewContact();

 signals:
  /// The window was closed: the logger ends.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  void Replace();
  void ShowClock();

  TPlacer FPlacer;
  QLineEdit* FCallsign = nullptr;
  QLineEdit* FAzimuth = nullptr;
  std::array<QLineEdit*, 6> FEdits{};
  QLabel* FStation = nullptr;
  QLabel* FDate = nullptr;
  QLabel* FTime = nullptr;
  QTimer* FClock = nullptr;
  QTimer* FRepairTimer = nullptr;
  // A top-level window of its own, as the logger's is; owned here.
  std::unique_ptr<TProgressWindow> FProgress;
};

}  // namespace orvane::sim
