// orvane-soak: Orvane's windows as the program runs them (the logger reached on a thread of
// its own), beside the logger simulator typing stations, for a long time. The logger stalls
// now and then, and under Wine the bridge is killed now and then. The process's resident
// memory, descriptors and threads are sampled; growth, an unexpected end or error, or a
// window that stops following the logger fails the run.
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/mainform.h"
#include "app/program.h"
#include "platform/device.h"
#include "platform/qt/loggerhostservice.h"
#include "platform/qt/qtdevice.h"
#include "tools/snapshot/simulatorprocess.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kTool = "orvane-soak";

// Growth allowed between the sample after the warm-up and the last one. After the warm-up
// the heap, Qt's caches and the picture buffers have reached their working size, so what
// remains is allocator slack: a few MB. A leak of 10 KB per poll (one a second) passes 16 MB
// within half an hour. A descriptor or thread lost per stall or bridge restart passes the
// others after a few of them; the slack covers a bridge being restarted at the moment of
// the sample (its three pipes) and a worker Qt starts on first use.
constexpr double kMaxRssGrowthMB = 16;
constexpr int kMaxFdGrowth = 4;
constexpr int kMaxThreadGrowth = 2;

// A logger whose field holds a station is followed within two polls; these leave room for
// a loaded machine, a stall just over and (under Wine) a bridge being started again.
constexpr auto kFollowWithin = 30s;
constexpr auto kFollowWithinWine = 60s;
constexpr auto kCheckEvery = 15s;

void Say(const QString& Line) {
  std::printf("%s\n", Line.toLocal8Bit().constData());
  std::fflush(stdout);
}

int Fail(const QString& Message) {
  std::fprintf(stderr, "%s: %s\n", kTool, Message.toLocal8Bit().constData());
  return 1;
}

struct TSample {
  double Minutes = 0;
  double RssMB = 0;
  int Fds = 0;
  int Threads = 0;
};

int CountEntries(const char* Folder) {
  return static_cast<int>(
      QDir(QString::fromLatin1(Folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

TSample Measure(double Minutes) {
  TSample S;
  S.Minutes = Minutes;
  QFile Statm(QStringLiteral("/proc/self/statm"));
  if (Statm.open(QIODevice::ReadOnly)) {
    const QList<QByteArray> Fields = Statm.readAll().split(' ');
    if (Fields.size() > 1)
      S.RssMB = Fields[1].toDouble() * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
  }
  S.Fds = CountEntries("/proc/self/fd");
  S.Threads = CountEntries("/proc/self/task");
  return S;
}

QString Row(const TSample& S, const char* Note) {
  return QStringLiteral("%1  %2  %3  %4  %5")
      .arg(S.Minutes, 6, 'f', 1)
      .arg(S.RssMB, 9, 'f', 1)
      .arg(S.Fds, 4)
      .arg(S.Threads, 7)
      .arg(QLatin1StringView(Note));
}

// The processes below this one whose command line names the bridge: wine runs the Windows
// program in the process it starts, but a wrapper between them is allowed for.
std::vector<pid_t> BridgeProcesses() {
  std::map<pid_t, pid_t> Parent;
  for (const QString& Name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool Number = false;
    const pid_t Pid = Name.toInt(&Number);
    if (!Number) continue;
    QFile Stat(QStringLiteral("/proc/%1/stat").arg(Pid));
    if (!Stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray Text = Stat.readAll();
    // "pid (name) state ppid ...": the name may hold blanks and parentheses.
    const qsizetype Close = Text.lastIndexOf(')');
    if (Close < 0) continue;
    const QList<QByteArray> Fields = Text.mid(Close + 2).split(' ');
    if (Fields.size() > 1) Parent[Pid] = static_cast<pid_t>(Fields[1].toInt());
  }
  const pid_t Self = getpid();
  std::vector<pid_t> Found;
  for (const auto& [Pid, Up] : Parent) {
    bool Below = false;
    for (pid_t P = Up, Depth = 0; P > 1 && Depth < 8; ++Depth) {
      if (P == Self) {
        Below = true;
        break;
      }
      const auto It = Parent.find(P);
      if (It == Parent.end()) break;
      P = It->second;
    }
    if (!Below) continue;
    QFile Command(QStringLiteral("/proc/%1/cmdline").arg(Pid));
    if (Command.open(QIODevice::ReadOnly) && Command.readAll().contains("orvane-bridge.exe"))
      Found.push_back(Pid);
  }
  return Found;
}

// The Win32 logger under Wine: a display when there is none, a prefix made once with the
// logger's key in it, and the fake logger with the simulator's logger folder.
class TWineLogger {
 public:
  explicit TWineLogger(QString Prefix) : FPrefix(std::move(Prefix)) {}
  ~TWineLogger() {
    if (FLogger.state() != QProcess::NotRunning) {
      FLogger.kill();
      FLogger.waitForFinished(5000);
    }
    // Ends every Windows program of the prefix (a bridge left behind too) and its server.
    Run(QStringLiteral("wineserver"), {QStringLiteral("-k")}, 30s);
    if (FDisplay.state() != QProcess::NotRunning) {
      FDisplay.terminate();
      if (!FDisplay.waitForFinished(5000)) FDisplay.kill();
      FDisplay.waitForFinished(5000);
    }
  }

  bool Start(const QString& LoggerFolder, const QString& FakeLogger, QString& Error) {
    for (const char* Tool : {"wine", "wineserver"}) {
      if (QStandardPaths::findExecutable(QLatin1StringView(Tool)).isEmpty()) {
        Error = QStringLiteral("%1 is not installed").arg(QLatin1StringView(Tool));
        return false;
      }
    }
    if (!QFileInfo::exists(FakeLogger)) {
      Error = QStringLiteral("%1 is not built (is mingw-w64 installed?)").arg(FakeLogger);
      return false;
    }
    FDisplayName = qEnvironmentVariable("DISPLAY");
    if (FDisplayName.isEmpty() && !StartDisplay(Error)) return false;
    if (!MakePrefix(LoggerFolder, Error)) return false;
    FLogger.setProcessEnvironment(Environment());
    FLogger.setStandardErrorFile(QProcess::nullDevice());
    FLogger.start(QStringLiteral("wine"), {FakeLogger});
    if (!WaitForLine(QStringLiteral("ready"), 180s)) {
      Error = QStringLiteral("the fake logger did not start under Wine");
      return false;
    }
    return true;
  }

  // Sends a command without waiting: during a hang its "ok" comes late.
  void Send(const QString& Command) { FLogger.write((Command + u'\n').toUtf8()); }
  // What it said since the last call, line by line.
  QStringList Said() {
    QStringList Lines;
    while (FLogger.canReadLine()) Lines << QString::fromUtf8(FLogger.readLine()).trimmed();
    return Lines;
  }
  [[nodiscard]] bool Running() const { return FLogger.state() != QProcess::NotRunning; }
  bool WaitForFinished(std::chrono::milliseconds Timeout) {
    return orvane::WaitUntil([this] { return !Running(); }, Timeout);
  }
  [[nodiscard]] const QString& DisplayName() const noexcept { return FDisplayName; }

 private:
  QProcessEnvironment Environment() const {
    QProcessEnvironment E = QProcessEnvironment::systemEnvironment();
    E.insert(QStringLiteral("WINEPREFIX"), FPrefix);
    E.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    E.insert(QStringLiteral("DISPLAY"), FDisplayName);
    // No .NET or HTML engine in the prefix: nothing to offer to download, nothing to wait for.
    E.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    return E;
  }

  int Run(const QString& Program, const QStringList& Arguments,
          std::chrono::milliseconds Timeout) const {
    QProcess P;
    P.setProcessEnvironment(Environment());
    P.setStandardOutputFile(QProcess::nullDevice());
    P.setStandardErrorFile(QProcess::nullDevice());
    P.start(Program, Arguments);
    if (!P.waitForFinished(static_cast<int>(Timeout.count()))) {
      P.kill();
      P.waitForFinished();
      return -1;
    }
    return P.exitCode();
  }

  bool StartDisplay(QString& Error) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
      Error = QStringLiteral("there is no display and Xvfb is not installed");
      return false;
    }
    FDisplay.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QStringLiteral("1024x768x24")});
    if (!orvane::WaitUntil(
            [&] { return FDisplay.canReadLine() || FDisplay.state() == QProcess::NotRunning; },
            30s) ||
        !FDisplay.canReadLine()) {
      Error = QStringLiteral("Xvfb did not start");
      return false;
    }
    FDisplayName = u':' + QString::fromLatin1(FDisplay.readLine().trimmed());
    return true;
  }

  // Made once and reused (wine takes a while the first time); a stamp marks one made whole.
  bool MakePrefix(const QString& LoggerFolder, QString& Error) {
    const QString Stamp = FPrefix + QStringLiteral("/orvane-prefix-made");
    const auto Whole = [&] {
      return QFileInfo::exists(FPrefix + QStringLiteral("/user.reg")) &&
             QFileInfo::exists(FPrefix + QStringLiteral("/drive_c/windows/system32/kernel32.dll"));
    };
    if (!QFileInfo::exists(Stamp) || !Whole()) {
      Say(QStringLiteral("Making the Wine prefix %1 (once)...").arg(FPrefix));
      QDir(FPrefix).removeRecursively();
      QDir().mkpath(FPrefix);
      Run(QStringLiteral("wineboot"), {QStringLiteral("-i")}, 300s);
      Run(QStringLiteral("wine"),
          {QStringLiteral("reg"), QStringLiteral("add"),
           QStringLiteral("HKCU\\Software\\Tovrin_Log3"), QStringLiteral("/v"),
           QStringLiteral("InstallPath"), QStringLiteral("/d"), QStringLiteral("C:\\Tovrin_Log3\\"),
           QStringLiteral("/f")},
          300s);
      Run(QStringLiteral("wineserver"), {QStringLiteral("-w")}, 300s);
      if (!Whole()) {
        Error = QStringLiteral("wineboot could not make the prefix %1").arg(FPrefix);
        return false;
      }
      QFile(Stamp).open(QIODevice::WriteOnly);
    }
    // The logger's folder: the simulator's, copied afresh.
    const QString Folder = FPrefix + QStringLiteral("/drive_c/Tovrin_Log3/");
    QDir(Folder).removeRecursively();
    for (const QString& Name :
         {QStringLiteral("Tovrin_Log3.ini"), QStringLiteral("friends.ini"),
          QStringLiteral("db/logs.mdb"), QStringLiteral("db/CountryDataEx.xml"),
          QStringLiteral("db/Province.xml"), QStringLiteral("db/UniqueCalls.xml")}) {
      QDir().mkpath(QFileInfo(Folder + Name).path());
      if (!QFile::copy(LoggerFolder + Name, Folder + Name)) {
        Error = QStringLiteral("cannot copy %1 into the prefix").arg(LoggerFolder + Name);
        return false;
      }
    }
    return true;
  }

  bool WaitForLine(const QString& Expected, std::chrono::milliseconds Timeout) {
    bool Seen = false;
    orvane::WaitUntil(
        [&] {
          while (FLogger.canReadLine())
            if (QString::fromUtf8(FLogger.readLine()).trimmed() == Expected) Seen = true;
          return Seen || FLogger.state() == QProcess::NotRunning;
        },
        Timeout);
    return Seen;
  }

  QString FPrefix;
  QString FDisplayName;
  QProcess FDisplay;
  QProcess FLogger;
};

// The simulator's callsign field, read through the logger-host service as Orvane reads it.
class TSimulatorCallsign {
 public:
  explicit TSimulatorCallsign(const QString& HostName) : FClient(HostName, 2s) {}

  std::optional<QString> Read() {
    if (FControl == 0) FControl = Find();
    if (FControl == 0) return std::nullopt;
    const auto Text = FClient.WindowText(FControl, 64);
    if (!Text) {
      FControl = 0;
      return std::nullopt;
    }
    return QString::fromStdString(*Text);
  }

 private:
  // The chain the program walks from the QSO-entry window to the callsign control.
  platform::TWindowLookup::THandle Find() {
    const auto Q = FClient.FindTopLevel("TfmEditNewQso");
    if (Q == 0) return 0;
    const auto Outer = FClient.Children(Q, "TPanel");
    if (Outer.size() < 2) return 0;
    const auto Inner = FClient.Children(Outer[1], "TPanel");
    if (Inner.size() < 3) return 0;
    const auto Edits = FClient.Children(Inner[2], "TdxButtonEdit");
    return Edits.empty() ? 0 : Edits.front();
  }

  platform::TLoggerHostClient FClient;
  platform::TWindowLookup::THandle FControl = 0;
};

}  // namespace

int main(int argc, char** argv) {
  // Without a display Orvane's windows are drawn all the same, unseen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication Application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kTool));
  QApplication::setQuitOnLastWindowClosed(false);
  orvane::ApplyCyanNight(Application);

  QCommandLineParser Options;
  Options.setApplicationDescription(QStringLiteral(
      "Runs Orvane beside the logger simulator for a long time, with the logger stalling now "
      "and then, and fails when the process grows or Orvane stops following the logger."));
  Options.addHelpOption();
  const QCommandLineOption Minutes(QStringLiteral("minutes"),
                                   QStringLiteral("How long to run (default 30)."),
                                   QStringLiteral("N"), QStringLiteral("30"));
  const QCommandLineOption Warmup(
      QStringLiteral("warmup"),
      QStringLiteral("Seconds before the first sample that counts (default 60)."),
      QStringLiteral("SECONDS"), QStringLiteral("60"));
  const QCommandLineOption Seed(QStringLiteral("seed"),
                                QStringLiteral("Seed of the stalls and kills (default: the time)."),
                                QStringLiteral("N"));
  const QCommandLineOption Wine(
      QStringLiteral("wine"),
      QStringLiteral("The fake Win32 logger under Wine, reached through the bridge, which is "
                     "killed now and then."));
  const QCommandLineOption Prefix(
      QStringLiteral("prefix"),
      QStringLiteral("The Wine prefix (default: wineprefix-soak in the build folder)."),
      QStringLiteral("DIR"));
  Options.addOptions({Minutes, Warmup, Seed, Wine, Prefix});
  if (!Options.parse(QApplication::arguments())) {
    std::fprintf(stderr, "%s: %s\n", kTool, Options.errorText().toLocal8Bit().constData());
    return 2;
  }
  if (Options.isSet(QStringLiteral("help"))) {
    std::fputs(Options.helpText().toLocal8Bit().constData(), stdout);
    return 0;
  }
  bool Ok = false;
  const double RunMinutes = Options.value(Minutes).toDouble(&Ok);
  if (!Ok || !(RunMinutes >= 1 && RunMinutes <= 24 * 60)) {
    std::fprintf(stderr, "%s: --minutes takes 1 to 1440\n", kTool);
    return 2;
  }
  const int WarmupSeconds = Options.value(Warmup).toInt(&Ok);
  if (!Ok || WarmupSeconds < 0 || WarmupSeconds >= RunMinutes * 60) {
    std::fprintf(stderr, "%s: --warmup takes seconds from 0 to less than the run\n", kTool);
    return 2;
  }
  std::uint32_t SeedValue = static_cast<std::uint32_t>(QDateTime::currentSecsSinceEpoch());
  if (Options.isSet(Seed)) {
    SeedValue = Options.value(Seed).toUInt(&Ok);
    if (!Ok) {
      std::fprintf(stderr, "%s: --seed takes a whole number\n", kTool);
      return 2;
    }
  }
  const bool UnderWine = Options.isSet(Wine);

  // The build tree's places: this tool in tools/soak, the program with its data and the
  // Win32 programs in app, the simulator with its logger folder in tools/simulator.
  const QString Here = QApplication::applicationDirPath();
  const QString Build = QDir::cleanPath(Here + QStringLiteral("/../.."));
  const QString AppFolder = Build + QStringLiteral("/app");
  const QString SimulatorFolder = Build + QStringLiteral("/tools/simulator");
  const QString PrefixFolder = Options.isSet(Prefix)
                                   ? QDir(Options.value(Prefix)).absolutePath()
                                   : Build + QStringLiteral("/wineprefix-soak");

  Say(QStringLiteral("%1: %2 minutes%3, warm-up %4 s, seed %5 (--seed %5 repeats the stalls)")
          .arg(QLatin1StringView(kTool))
          .arg(RunMinutes)
          .arg(UnderWine ? QStringLiteral(" under Wine") : QString())
          .arg(WarmupSeconds)
          .arg(SeedValue));
  std::mt19937 Random(SeedValue);
  const auto Between = [&Random](int Low, int High) {
    return std::uniform_int_distribution<int>(Low, High)(Random);
  };

  platform::TQtGraphics Graphics;
  platform::SetGraphics(&Graphics);
  QStringList Failures;
  int StallsSent = 0, BridgeKills = 0, RestartsSeen = 0, WaitsShown = 0, FollowChecks = 0;
  std::optional<TSample> Start, End;
  {
    const QString HostName =
        QStringLiteral("orvane-soak-%1").arg(QCoreApplication::applicationPid());
    std::unique_ptr<orvane::TSimulatorProcess> Simulator;
    std::unique_ptr<TSimulatorCallsign> SimulatorCallsign;
    std::unique_ptr<TWineLogger> WineLogger;
    QString Error;
    if (UnderWine) {
      WineLogger = std::make_unique<TWineLogger>(PrefixFolder);
      if (!WineLogger->Start(SimulatorFolder + QStringLiteral("/logger/"),
                             AppFolder + QStringLiteral("/orvane-fake-logger.exe"), Error))
        return Fail(Error);
      // The bridge Orvane starts finds the display and the prefix (through its settings).
      qputenv("DISPLAY", WineLogger->DisplayName().toLocal8Bit());
      qunsetenv("WINEPREFIX");
      qputenv("WINEDEBUG", "-all");
    } else {
      Simulator = std::make_unique<orvane::TSimulatorProcess>(
          SimulatorFolder + QStringLiteral("/orvane-logger-sim"), HostName,
          QStringList{QStringLiteral("--demo")});
      if (!Simulator->Start(30s)) return Fail(Simulator->Error());
      SimulatorCallsign = std::make_unique<TSimulatorCallsign>(HostName);
    }

    // Settings of their own: the night side and, under Wine, where the logger is.
    QTemporaryDir SettingsFolder;
    QFile Ini(SettingsFolder.filePath(QStringLiteral("Orvane.ini")));
    if (!SettingsFolder.isValid() || !Ini.open(QIODevice::WriteOnly))
      return Fail(QStringLiteral("cannot write the settings"));
    QByteArray Text = "[Main]\nShadow=1\n";
    if (UnderWine) Text += ("[Logger]\nPrefix=" + PrefixFolder + "\nWine=wine\n").toUtf8();
    Ini.write(Text);
    Ini.close();
    const orvane::TSettingsFile Settings(SettingsFolder.path(), SettingsFolder.path());

    // As the program: found on the logger's thread after the window shows. Under Wine no
    // service answers on this name, so the logger is looked for in the prefix.
    const QString AccessHost =
        UnderWine ? QStringLiteral("orvane-soak-none-%1").arg(QCoreApplication::applicationPid())
                  : HostName;
    orvane::TLoggerAccess Logger(QStringList{AccessHost}, Settings, AppFolder);
    QStringList Reported;
    orvane::TForm1Environment Environment =
        Logger.Environment(Settings, orvane::DataFolder(AppFolder), /*Threaded=*/true);
    const auto Record = [&Reported](const std::string& Message) {
      Reported << QString::fromStdString(Message);
    };
    Environment.OnError = Record;
    orvane::TOrvaneWindows Windows(std::move(Environment));
    orvane::TForm1& Form1 = Windows.Form1();
    Form1.OnError = Record;
    bool Closed = false;
    Form1.OnClosed = [&Closed] { Closed = true; };
    Form1.show();
    Form1.T1->trigger();

    using Seconds = std::chrono::duration<double>;
    const Clock::time_point Began = Clock::now();
    const auto Elapsed = [&] { return Seconds(Clock::now() - Began).count(); };
    const double Total = RunMinutes * 60;
    // Nothing is disturbed in the last half minute, so that the last sample sees Orvane at
    // rest, as the first one after the warm-up did.
    const double QuietTail = std::min(30.0, Total / 6);

    double NextStall = Between(15, 45);
    double NextKill = UnderWine ? Between(30, 60) : Total;
    double NextType = 0, NextSample = 60, NextCheck = 10, NextBridgeLook = 0;
    double StallEnd = 0, SettledAt = 0, CheckDeadline = -1;
    std::size_t NextStation = 0;
    QString Typed;
    std::set<pid_t> BridgesSeen;
    bool Waiting = false;
    const QStringList Stations = {QStringLiteral("JA1RL"), QStringLiteral("W1AW"),
                                  QStringLiteral("VK2DX"), QStringLiteral("ZS6DN"),
                                  QStringLiteral("PY1AA"), QStringLiteral("DL1ABC")};
    const double FollowWithin = Seconds(UnderWine ? kFollowWithinWine : kFollowWithin).count();

    Say(QStringLiteral("minute    RSS (MB)   fds  threads"));
    Say(Row(Measure(0), ""));
    while (Failures.isEmpty()) {
      orvane::WaitUntil([] { return false; }, 200ms);
      const double Now = Elapsed();
      if (Closed) {
        Failures << QStringLiteral("Orvane ended at %1 s (exit status %2)")
                        .arg(Now, 0, 'f', 0)
                        .arg(Form1.ExitCode());
        break;
      }
      if (!Reported.isEmpty()) {
        Failures << QStringLiteral("Orvane reported at %1 s: %2").arg(Now, 0, 'f', 0).arg(Reported.front());
        break;
      }
      if (UnderWine ? !WineLogger->Running() : !Simulator->Running()) {
        Failures << QStringLiteral("the logger ended at %1 s").arg(Now, 0, 'f', 0);
        break;
      }
      if (UnderWine) {
        for (const QString& Line : WineLogger->Said())
          if (Line != QStringLiteral("ok")) Failures << QStringLiteral("the fake logger said '%1'").arg(Line);
      }
      // The line over the globe while the logger does not answer: each time one appears.
      const bool WaitingNow = !Form1.StatusText().isEmpty();
      if (WaitingNow && !Waiting) ++WaitsShown;
      Waiting = WaitingNow;

      if (Now >= WarmupSeconds && !Start) {
        Start = Measure(Now / 60);
        Say(Row(*Start, "start (after the warm-up)"));
        if (NextSample <= Now + 1) NextSample += 60;  // that minute's row is this one
      }
      if (Now >= Total) {
        End = Measure(Now / 60);
        Say(Row(*End, "end"));
        break;
      }
      if (Now >= NextSample) {
        Say(Row(Measure(Now / 60), ""));
        NextSample += 60;
      }

      const bool Checking = CheckDeadline >= 0;
      const bool Disturbing = Now < Total - QuietTail;
      // A stall of a few seconds: the logger's window answers nothing meanwhile.
      if (!Checking && Disturbing && Now >= NextStall && Now >= StallEnd) {
        const int Length = Between(2, 8);
        const QString Command = QStringLiteral("hang %1").arg(Length);
        if (UnderWine) {
          WineLogger->Send(Command);
        } else if (!Simulator->Send(Command, 30s)) {
          Failures << QStringLiteral("the simulator did not take '%1': %2").arg(Command, Simulator->Error());
          break;
        }
        ++StallsSent;
        Say(QStringLiteral("%1  stall of %2 s").arg(Now / 60, 6, 'f', 1).arg(Length));
        StallEnd = Elapsed() + Length;
        SettledAt = StallEnd + 5;
        NextStall = StallEnd + Between(20, 60);
      }
      if (UnderWine && Now >= NextBridgeLook) {
        NextBridgeLook = Now + 1;
        for (const pid_t Pid : BridgeProcesses())
          if (BridgesSeen.insert(Pid).second && BridgesSeen.size() > 1) ++RestartsSeen;
      }
      if (UnderWine && !Checking && Disturbing && Now >= NextKill) {
        const std::vector<pid_t> Bridges = BridgeProcesses();
        for (const pid_t Pid : Bridges) ::kill(Pid, SIGKILL);
        if (!Bridges.empty()) {
          ++BridgeKills;
          Say(QStringLiteral("%1  bridge killed (pid %2)").arg(Now / 60, 6, 'f', 1).arg(Bridges.front()));
          SettledAt = std::max(SettledAt, Now + 5);
        }
        NextKill = Now + Between(30, 90);
      }
      // Under Wine the stations are typed here, as an operator would.
      if (UnderWine && Now >= NextType) {
        Typed = Stations[static_cast<int>(NextStation++ % Stations.size())];
        WineLogger->Send(QStringLiteral("call ") + Typed);
        NextType = Now + 8;
      }

      // Now and then: does Orvane's callsign field come to show what the logger shows?
      if (!Checking && Now >= NextCheck && Now >= SettledAt) CheckDeadline = Now + FollowWithin;
      if (CheckDeadline >= 0) {
        std::optional<QString> LoggerCall;
        if (UnderWine) {
          LoggerCall = Typed;
        } else {
          LoggerCall = SimulatorCallsign->Read();
        }
        if (LoggerCall && !LoggerCall->isEmpty() && Form1.edCallsign->text() == *LoggerCall) {
          ++FollowChecks;
          CheckDeadline = -1;
          NextCheck = Now + Seconds(kCheckEvery).count();
        } else if (Elapsed() > CheckDeadline) {
          Failures << QStringLiteral("Orvane stopped following the logger at %1 s: it shows '%2', "
                                     "the logger '%3'")
                          .arg(Now, 0, 'f', 0)
                          .arg(Form1.edCallsign->text(), LoggerCall.value_or(QStringLiteral("?")));
        }
      }
    }

    // A run cut short still reports where it stood.
    if (Start && !End) {
      End = Measure(Elapsed() / 60);
      Say(Row(*End, "end (cut short)"));
    }

    // Closing the logger ends Orvane, as it should.
    if (UnderWine) {
      WineLogger->Send(QStringLiteral("quit"));
      WineLogger->WaitForFinished(30s);
    } else {
      Simulator->Send(QStringLiteral("quit"), 30s);
      Simulator->WaitForFinished(30s);
    }
    if (Failures.isEmpty() && !orvane::WaitUntil([&Closed] { return Closed; }, 30s))
      Failures << QStringLiteral("Orvane did not end with the logger");
  }
  platform::SetGraphics(nullptr);

  if (Start && End) {
    const double Rss = End->RssMB - Start->RssMB;
    const int Fds = End->Fds - Start->Fds;
    const int Threads = End->Threads - Start->Threads;
    if (Rss > kMaxRssGrowthMB)
      Failures << QStringLiteral("resident memory grew by %1 MB (at most %2)").arg(Rss, 0, 'f', 1).arg(kMaxRssGrowthMB);
    if (Fds > kMaxFdGrowth)
      Failures << QStringLiteral("open descriptors grew by %1 (at most %2)").arg(Fds).arg(kMaxFdGrowth);
    if (Threads > kMaxThreadGrowth)
      Failures << QStringLiteral("threads grew by %1 (at most %2)").arg(Threads).arg(kMaxThreadGrowth);
    Say(QString());
    Say(QStringLiteral("start: RSS %1 MB, %2 fds, %3 threads")
            .arg(Start->RssMB, 0, 'f', 1).arg(Start->Fds).arg(Start->Threads));
    Say(QStringLiteral("end:   RSS %1 MB, %2 fds, %3 threads (%4%5 MB, %6%7 fds, %8%9 threads)")
            .arg(End->RssMB, 0, 'f', 1).arg(End->Fds).arg(End->Threads)
            .arg(Rss >= 0 ? "+" : "").arg(Rss, 0, 'f', 1)
            .arg(Fds >= 0 ? "+" : "").arg(Fds)
            .arg(Threads >= 0 ? "+" : "").arg(Threads));
  } else {
    Say(QString());
  }
  Say(QStringLiteral("stalls sent: %1, bridge kills: %2, bridge restarts seen: %3, "
                     "waits shown: %4, follow checks passed: %5")
          .arg(StallsSent).arg(BridgeKills).arg(RestartsSeen).arg(WaitsShown).arg(FollowChecks));
  if (UnderWine && BridgeKills > 0 && RestartsSeen < BridgeKills)
    Failures << QStringLiteral("the bridge was killed %1 times but started again only %2")
                    .arg(BridgeKills).arg(RestartsSeen);
  if (FollowChecks == 0 && Failures.isEmpty())
    Failures << QStringLiteral("Orvane was never seen following the logger");
  for (const QString& Why : Failures) Say(QStringLiteral("FAIL: ") + Why);
  Say(Failures.isEmpty() ? QStringLiteral("verdict: PASS (seed %1)").arg(SeedValue)
                         : QStringLiteral("verdict: FAIL (seed %1)").arg(SeedValue));
  return Failures.isEmpty() ? 0 : 1;
}
