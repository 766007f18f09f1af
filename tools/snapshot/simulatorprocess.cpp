#include "tools/snapshot/simulatorprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcessEnvironment>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace orvane {

bool WaitUntil(const std::function<bool()>& Condition, std::chrono::milliseconds Timeout) {
  const QDeadlineTimer Deadline(Timeout);
  while (!Condition()) {
    if (Deadline.hasExpired()) return false;
    // Events are handled as they come, and the condition asked again every 20 ms; without
    // the timer the loop would spin a core while nothing happens.
    QEventLoop Loop;
    QTimer::singleShot(std::clamp<qint64>(Deadline.remainingTime(), 0, 20), &Loop,
                       &QEventLoop::quit);
    Loop.exec();
  }
  return true;
}

TSimulatorProcess::TSimulatorProcess(QString Program, QString HostName, QStringList ExtraArguments)
    : FProgram(std::move(Program)),
      FHostName(std::move(HostName)),
      FArguments(std::move(ExtraArguments)) {
  FArguments << QStringLiteral("--host-name") << FHostName;
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  FProcess.setProcessEnvironment(Environment);
  FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

TSimulatorProcess::~TSimulatorProcess() {
  if (!Running()) return;
  FProcess.write("quit\n");
  if (!FProcess.waitForFinished(3000)) {
    FProcess.kill();
    FProcess.waitForFinished(3000);
  }
}

bool TSimulatorProcess::ReadLine(QString& Line, std::chrono::milliseconds Timeout) {
  bool Got = false;
  const bool Done = WaitUntil(
      [&] {
        if (FProcess.canReadLine()) {
          Line = QString::fromUtf8(FProcess.readLine()).trimmed();
          Got = true;
        }
        return Got || FProcess.state() == QProcess::NotRunning;
      },
      Timeout);
  if (!Got) {
    FError = Done ? QStringLiteral("the simulator ended") : QStringLiteral("no answer in time");
  }
  return Got;
}

bool TSimulatorProcess::Start(std::chrono::milliseconds Timeout) {
  FProcess.start(FProgram, FArguments);
  if (!FProcess.waitForStarted(static_cast<int>(Timeout.count()))) {
    FError = QStringLiteral("cannot start %1: %2").arg(FProgram, FProcess.errorString());
    return false;
  }
  QString Line;
  if (!ReadLine(Line, Timeout)) return false;
  if (Line != QStringLiteral("listening ") + FHostName) {
    FError = QStringLiteral("unexpected first line '%1'").arg(Line);
    return false;
  }
  return true;
}

bool TSimulatorProcess::Send(const QString& Command, std::chrono::milliseconds Timeout) {
  FProcess.write((Command + u'\n').toUtf8());
  QString Line;
  if (!ReadLine(Line, Timeout)) return false;
  if (Line != QStringLiteral("ok")) {
    FError = QStringLiteral("'%1' answered '%2'").arg(Command, Line);
    return false;
  }
  return true;
}

bool TSimulatorProcess::WaitForFinished(std::chrono::milliseconds Timeout) {
  return WaitUntil([this] { return !Running(); }, Timeout);
}

}  // namespace orvane
