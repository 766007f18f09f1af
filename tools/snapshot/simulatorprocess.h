// The logger simulator as a child process driven through its standard input: for the
// end-to-end tests and the snapshot tool, which run Orvane's windows in their own process
// beside it.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

namespace orvane {

/// Processes this thread's events until Condition holds or Timeout has passed; whether it
/// holds.
bool WaitUntil(const std::function<bool()>& Condition, std::chrono::milliseconds Timeout);

class TSimulatorProcess {
 public:
  /// Program is the simulator's executable; it will listen under HostName.
  TSimulatorProcess(QString Program, QString HostName, QStringList ExtraArguments = {});
  /// Ends the simulator if it still runs.
  ~TSimulatorProcess();
  TSimulatorProcess(const TSimulatorProcess&) = delete;
  TSimulatorProcess& operator=(const TSimulatorProcess&) = delete;

  /// Starts it without a display and waits until it serves its host name. False, with
  /// Error() saying why, when it does not within Timeout.
  bool Start(std::chrono::milliseconds Timeout);
  /// Sends one command line ("call DL1ABC", "locator JO62QM", "quit", ...) and waits for
  /// its "ok". Other events of this thread are processed meanwhile.
  bool Send(const QString& Command, std::chrono::milliseconds Timeout);
  /// Waits until the process has ended.
  bool WaitForFinished(std::chrono::milliseconds Timeout);

  [[nodiscard]] const QString& HostName() const noexcept { return FHostName; }
  [[nodiscard]] const QString& Error() const noexcept { return FError; }
  [[nodiscard]] bool Running() const { return FProcess.state() != QProcess::NotRunning; }

 private:
  /// Waits for the next line of its standard output.
  bool ReadLine(QString& Line, std::chrono::milliseconds Timeout);

  QString FProgram;
  QString FHostName;
  QStringList FArguments;
  QProcess FProcess;
  QString FError;
};

}  // namespace orvane
