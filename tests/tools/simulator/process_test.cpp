// The built simulator as the program meets it: started as a process, served over the
// logger-host socket, steered through standard input.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/qt/loggerhostservice.h"

namespace {

using namespace std::chrono_literals;
using THandle = platform::TWindowLookup::THandle;

// Generous: the program runs under the sanitizers on a loaded machine.
constexpr auto kPatience = 60s;

QString UniqueHostName() {
  return QStringLiteral("orvane-sim-test-%1-%2")
      .arg(QCoreApplication::applicationPid())
      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

class Simulator {
 public:
  explicit Simulator(const QString& HostName, const QStringList& Options = {}) {
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert("QT_QPA_PLATFORM", "offscreen");
    FProcess.setProcessEnvironment(Env);
    FProcess.start(QStringLiteral(ORVANE_SIMULATOR_EXE),
                   QStringList{"--host-name", HostName} + Options);
  }
  ~Simulator() {
    if (FProcess.state() != QProcess::NotRunning) {
      FProcess.kill();
      FProcess.waitForFinished(30000);
    }
  }

  // The next line on standard output, without its line end; empty when none came in time.
  std::string NextLine() {
    const QDeadlineTimer Deadline(kPatience);
    while (!FProcess.canReadLine()) {
      if (Deadline.hasExpired() || FProcess.state() == QProcess::NotRunning) {
        if (!FProcess.canReadLine()) return {};
        break;
      }
      FProcess.waitForReadyRead(static_cast<int>(std::min<qint64>(Deadline.remainingTime(), 1000)));
    }
    return FProcess.readLine().trimmed().toStdString();
  }

  std::string Command(const char* Line) {
    FProcess.write(QByteArray(Line) + "\n");
    FProcess.waitForBytesWritten(30000);
    return NextLine();
  }

  QProcess& Process() { return FProcess; }

 private:
  QProcess FProcess;
};

// The chain the program's link walks to the callsign control.
THandle CallsignControl(platform::TLoggerHostClient& Client) {
  const THandle Q = Client.FindTopLevel("TfmEditNewQso");
  if (Q == 0) return 0;
  const auto Outer = Client.Children(Q, "TPanel");
  if (Outer.size() < 2) return 0;
  const auto Inner = Client.Children(Outer[1], "TPanel");
  if (Inner.size() < 3) return 0;
  const auto Buttons = Client.Children(Inner[2], "TdxButtonEdit");
  return Buttons.empty() ? 0 : Buttons.front();
}

TEST(SimulatorProcess, ServesItsFolderAndWindowAndQuitsOnCommand) {
  const QString Name = UniqueHostName();
  Simulator Sim(Name);
  ASSERT_EQ(Sim.NextLine(), "listening " + Name.toStdString());

  platform::TLoggerHostClient Client(Name, std::chrono::milliseconds(10000));
  ASSERT_TRUE(Client.OpenKey("Software\\Tovrin_Log3", true));
  const auto Path = Client.ReadString("InstallPath");
  Client.CloseKey();
  ASSERT_TRUE(Path);
  const QString Expected =
      QFileInfo(QStringLiteral(ORVANE_SIMULATOR_EXE)).absolutePath() + "/logger/";
  EXPECT_EQ(QString::fromStdString(*Path), Expected);
  EXPECT_TRUE(QFileInfo::exists(Expected + "db/logs.mdb"));
  EXPECT_TRUE(QFileInfo::exists(Expected + "db/UniqueCalls.xml"));
  EXPECT_TRUE(QFileInfo::exists(Expected + "friends.ini"));

  EXPECT_EQ(Sim.Command("call DL1ABC"), "ok");
  const THandle Call = CallsignControl(Client);
  ASSERT_NE(Call, 0u);
  EXPECT_EQ(Client.WindowText(Call, 20), "DL1ABC");
  EXPECT_EQ(Client.WindowText(Client.FindTopLevel("TfmEditNewQso"), 255),
            "QSO entry - Home station");
  EXPECT_EQ(Sim.Command("nonsense"), "error: unknown command 'nonsense'");

  EXPECT_EQ(Sim.Command("repair on"), "ok");
  const THandle Progress = Client.FindTopLevel("TfmProgress");
  ASSERT_NE(Progress, 0u);
  EXPECT_EQ(Client.WindowText(Progress, 255), "Repair database");

  EXPECT_EQ(Sim.Command("quit"), "ok");
  ASSERT_TRUE(Sim.Process().waitForFinished(60000));
  EXPECT_EQ(Sim.Process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(Sim.Process().exitCode(), 0) << Sim.Process().readAllStandardError().toStdString();
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), 0u);
}

TEST(SimulatorProcess, KeepsServingAfterItsInputEndsAndRefusesATakenName) {
  const QString Name = UniqueHostName();
  Simulator First(Name);
  ASSERT_EQ(First.NextLine(), "listening " + Name.toStdString());
  First.Process().closeWriteChannel();

  Simulator Second(Name);
  ASSERT_TRUE(Second.Process().waitForFinished(60000));
  EXPECT_EQ(Second.Process().exitCode(), 1);
  EXPECT_NE(Second.Process().readAllStandardError().indexOf(Name.toUtf8()), -1);

  // Still there well after the end of its input.
  platform::TLoggerHostClient Client(Name, std::chrono::milliseconds(10000));
  for (int i = 0; i < 5; ++i) {
    EXPECT_NE(CallsignControl(Client), 0u);
    std::this_thread::sleep_for(200ms);
  }
  EXPECT_EQ(First.Process().state(), QProcess::Running);
}

// A hung logger answers nothing, neither requests nor commands, until the hang is over;
// then both are handled in the order they came.
TEST(SimulatorProcess, HangStopsAnsweringForItsTime) {
  const QString Name = UniqueHostName();
  Simulator Sim(Name);
  ASSERT_EQ(Sim.NextLine(), "listening " + Name.toStdString());
  EXPECT_EQ(Sim.Command("hang 601"), "error: hang takes seconds from 0 to 600");

  QDeadlineTimer Hung(8s);
  ASSERT_EQ(Sim.Command("hang 8"), "ok");
  Sim.Process().write("call K1ABC\n");
  {
    platform::TLoggerHostClient Quick(Name, std::chrono::milliseconds(1000));
    const THandle Window = Quick.FindTopLevel("TfmEditNewQso");
    // Only judged while the hang surely lasted: a loaded machine may be slow to get here.
    if (Hung.remainingTime() > 2000) {
      EXPECT_EQ(Window, 0u);
      EXPECT_TRUE(Quick.LastCallUnanswered());
      EXPECT_FALSE(Sim.Process().waitForReadyRead(500));  // nor the call typed meanwhile
    }
  }
  EXPECT_EQ(Sim.NextLine(), "ok");  // the call typed during the hang
  platform::TLoggerHostClient Client(Name, std::chrono::milliseconds(10000));
  const THandle Call = CallsignControl(Client);
  ASSERT_NE(Call, 0u);
  EXPECT_EQ(Client.WindowText(Call, 20), "K1ABC");
  EXPECT_EQ(Sim.Command("quit"), "ok");
  EXPECT_TRUE(Sim.Process().waitForFinished(60000));
}

TEST(SimulatorProcess, DemoTypesTheFirstStationOnItsOwn) {
  const QString Name = UniqueHostName();
  Simulator Sim(Name, {"--demo", "--demo-hold", "60"});
  ASSERT_EQ(Sim.NextLine(), "listening " + Name.toStdString());
  platform::TLoggerHostClient Client(Name, std::chrono::milliseconds(10000));
  const THandle Call = CallsignControl(Client);
  ASSERT_NE(Call, 0u);
  std::optional<std::string> Text;
  const QDeadlineTimer Deadline(kPatience);
  while ((Text = Client.WindowText(Call, 20)) != "W1AW" && !Deadline.hasExpired())
    std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Text, "W1AW");
  EXPECT_EQ(Sim.Command("quit"), "ok");
  EXPECT_TRUE(Sim.Process().waitForFinished(60000));
}

}  // namespace
