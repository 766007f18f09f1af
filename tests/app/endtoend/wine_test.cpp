// Orvane beside a real Win32 logger under real Wine: the fake logger runs in a Wine prefix
// of the build folder on a virtual display of the test's own, and Orvane's windows (in this
// process) find it through the [Logger] section of their settings, start the bridge there
// and follow what is typed into it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>

#include "app/compass.h"
#include "app/locator.h"
#include "app/lookup.h"
#include "app/program.h"
#include "globe/core/units.h"
#include "platform/qt/globewidget.h"
#include "platform/qt/xmlrowset.h"
#include "tests/app/endtoend/placed.h"
#include "tools/snapshot/simulatorprocess.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

// Generous: wine on a machine busy with other builds can be slow to start.
constexpr auto kWineStart = 180s;
constexpr auto kFollow = 15s;

const QString kBridgeDir = QStringLiteral(ORVANE_BRIDGE_DIR);
const QString kPrefix = QStringLiteral(ORVANE_WINE_PREFIX);

// The processes of one run: Xvfb, the fake logger, and the prefix's wineserver, all ended
// when it goes.
class TWineRun {
 public:
  explicit TWineRun(QString PrefixFolder = kPrefix) : Prefix(std::move(PrefixFolder)) {}
  TWineRun(const TWineRun&) = delete;
  TWineRun& operator=(const TWineRun&) = delete;
  ~TWineRun() {
    if (Logger.state() != QProcess::NotRunning) {
      Logger.kill();
      Logger.waitForFinished(5000);
    }
    // Ends every Windows program of the prefix and its server.
    Wine(QStringLiteral("wineserver"), {QStringLiteral("-k")}, 30s);
    if (Display.state() != QProcess::NotRunning) {
      Display.terminate();
      if (!Display.waitForFinished(5000)) Display.kill();
      Display.waitForFinished(5000);
    }
  }

  // Why the run cannot go ahead on this machine; empty when it can.
  static QString Missing() {
    if (kBridgeDir.isEmpty())
      return QStringLiteral("the Win32 programs are not built (no mingw-w64)");
    for (const char* Tool : {"wine", "wineserver", "Xvfb"})
      if (QStandardPaths::findExecutable(QLatin1StringView(Tool)).isEmpty())
        return QStringLiteral("%1 is not installed").arg(QLatin1StringView(Tool));
    return {};
  }

  // A display of its own: Xvfb picks a free number and says which.
  bool StartDisplay(QString& Error) {
    Display.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                   QStringLiteral("1024x768x24")});
    if (!WaitUntil([&] { return Display.canReadLine() || Display.state() == QProcess::NotRunning; },
                   30s) ||
        !Display.canReadLine()) {
      Error = QStringLiteral("Xvfb did not start");
      return false;
    }
    DisplayName = u':' + QString::fromLatin1(Display.readLine().trimmed());
    return true;
  }

  QProcessEnvironment Environment() const {
    QProcessEnvironment E = QProcessEnvironment::systemEnvironment();
    E.insert(QStringLiteral("WINEPREFIX"), Prefix);
    E.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    E.insert(QStringLiteral("DISPLAY"), DisplayName);
    return E;
  }

  int Wine(const QString& Program, const QStringList& Arguments,
           std::chrono::milliseconds Timeout) const {
    QProcess P;
    QProcessEnvironment E = Environment();
    // No .NET or HTML engine in the prefix: nothing to offer to download, nothing to wait for.
    E.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    P.setProcessEnvironment(E);
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

  // The prefix is made once per build folder (about 12 s on an idle machine) and reused;
  // a stamp marks one that was made whole.
  bool PreparePrefix(QString& Error) {
    QLockFile Lock(Prefix + QStringLiteral(".lock"));
    Lock.setStaleLockTime(0);
    if (!Lock.tryLock(static_cast<int>(std::chrono::milliseconds(kWineStart).count()))) {
      Error = QStringLiteral("the prefix is locked by another run");
      return false;
    }
    const QString Stamp = Prefix + QStringLiteral("/orvane-prefix-made");
    // A prefix counts as made once its system files are there: wineboot can end having written
    // the registry files but not them.
    const auto Whole = [&] {
      return QFileInfo::exists(Prefix + QStringLiteral("/user.reg")) &&
             QFileInfo::exists(Prefix + QStringLiteral("/drive_c/windows/system32/kernel32.dll"));
    };
    const auto Made = [&] { return QFileInfo::exists(Stamp) && Whole(); };
    for (int Attempt = 0; Attempt < 2 && !Made(); ++Attempt) {
      QDir(Prefix).removeRecursively();
      QDir().mkpath(Prefix);
      // A server left over from a removed prefix whose folder the new one reuses would serve
      // the new prefix half made.
      Wine(QStringLiteral("wineserver"), {QStringLiteral("-k")}, kWineStart);
      // The logger was installed there once: its key is in the prefix's registry file,
      // which wineserver writes when it ends.
      const int Status = Wine(QStringLiteral("wineboot"), {QStringLiteral("-i")}, kWineStart);
      Wine(QStringLiteral("wine"),
           {QStringLiteral("reg"), QStringLiteral("add"),
            QStringLiteral("HKCU\\Software\\Tovrin_Log3"), QStringLiteral("/v"),
            QStringLiteral("InstallPath"), QStringLiteral("/d"),
            QStringLiteral("C:\\Tovrin_Log3\\"), QStringLiteral("/f")},
           kWineStart);
      Wine(QStringLiteral("wineserver"), {QStringLiteral("-w")}, kWineStart);
      if (Whole()) {
        QFile(Stamp).open(QIODevice::WriteOnly);
      } else {
        Error = QStringLiteral("wineboot could not make the prefix %1 (status %2)")
                    .arg(Prefix)
                    .arg(Status);
      }
    }
    if (!Made()) return false;
    Error.clear();
    // The logger's folder: the simulator's, copied afresh.
    const QString Folder = Prefix + QStringLiteral("/drive_c/Tovrin_Log3");
    QDir(Folder).removeRecursively();
    const QString Source = QStringLiteral(ORVANE_SIMULATOR_LOGGER);
    for (const QString& Name :
         {QStringLiteral("Tovrin_Log3.ini"), QStringLiteral("friends.ini"),
          QStringLiteral("db/logs.mdb"), QStringLiteral("db/CountryDataEx.xml"),
          QStringLiteral("db/Province.xml"), QStringLiteral("db/UniqueCalls.xml")}) {
      QDir().mkpath(QFileInfo(Folder + u'/' + Name).path());
      if (!QFile::copy(Source + Name, Folder + u'/' + Name)) {
        Error = QStringLiteral("cannot copy ") + Source + Name;
        return false;
      }
    }
    return true;
  }

  // The fake logger, by default started by the PATH's wine from the build folder.
  bool StartLogger(QString& Error, const QString& Wine = QStringLiteral("wine"),
                   const QString& Program = kBridgeDir +
                                            QStringLiteral("/orvane-fake-logger.exe")) {
    Logger.setProcessEnvironment(Environment());
    Logger.setStandardErrorFile(QProcess::nullDevice());
    Logger.start(Wine, {Program});
    QString Line;
    if (!ReadLine(Line, kWineStart) || Line != QStringLiteral("ready")) {
      Error = QStringLiteral("the fake logger did not start: ") + Line;
      return false;
    }
    return true;
  }

  // One command, and its "ok".
  bool Type(const QString& Command) {
    Logger.write((Command + u'\n').toUtf8());
    QString Line;
    return ReadLine(Line, 30s) && Line == QStringLiteral("ok");
  }

  bool ReadLine(QString& Line, std::chrono::milliseconds Timeout) {
    if (!WaitUntil([&] { return Logger.canReadLine() || Logger.state() == QProcess::NotRunning; },
                   Timeout) ||
        !Logger.canReadLine())
      return false;
    Line = QString::fromUtf8(Logger.readLine()).trimmed();
    return true;
  }

  QString Prefix;
  QProcess Display;
  QString DisplayName;
  QProcess Logger;
};

using testing::Placed;

TEST(WineEndToEnd, OrvaneFollowsTheWin32LoggerThroughTheBridge) {
  if (const QString Why = TWineRun::Missing(); !Why.isEmpty()) GTEST_SKIP() << Why.toStdString();
  QElapsedTimer Total;
  Total.start();
  TWineRun Run;
  QString Error;
  ASSERT_TRUE(Run.StartDisplay(Error)) << Error.toStdString();
  ASSERT_TRUE(Run.PreparePrefix(Error)) << Error.toStdString();
  ASSERT_TRUE(Run.StartLogger(Error)) << Error.toStdString();
  // Orvane's bridge finds the display and prefix through its settings and environment.
  qputenv("DISPLAY", Run.DisplayName.toLocal8Bit());
  qunsetenv("WINEPREFIX");
  qputenv("WINEDEBUG", "-all");

  QTemporaryDir SettingsFolder;
  ASSERT_TRUE(SettingsFolder.isValid());
  {
    QFile Ini(SettingsFolder.filePath(QStringLiteral("Orvane.ini")));
    ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
    Ini.write(("[Logger]\nPrefix=" + kPrefix + "\nWine=wine\n").toUtf8());
  }
  const TSettingsFile Settings(SettingsFolder.path(), SettingsFolder.path());

  // No logger-host service answers on this name: the logger is looked for under Wine, on
  // the window's logger thread, as the program does.
  const auto Access = std::make_unique<TLoggerAccess>(
      QStringList{QStringLiteral("orvane-wine-e2e-%1").arg(QCoreApplication::applicationPid())},
      Settings, kBridgeDir, 3s, kWineStart);

  std::vector<std::string> Errors;
  bool Closed = false;
  auto Open = [&] {
    // As the program reaches it: on the logger's own thread.
    TForm1Environment E =
        Access->Environment(Settings, QStringLiteral(ORVANE_APP_DIR), /*Threaded=*/true);
    E.OnError = [&](const std::string& M) { Errors.push_back(M); };
    auto Windows = std::make_unique<TOrvaneWindows>(std::move(E));
    Closed = false;
    Windows->Form1().OnClosed = [&] { Closed = true; };
    Windows->Form1().show();
    return Windows;
  };
  QElapsedTimer Clock;
  Clock.start();
  auto Windows = Open();
  TForm1& F = Windows->Form1();
  // The window shows before the bridge has answered.
  const qint64 Shown = Clock.elapsed();
  EXPECT_TRUE(F.isVisible());
  ASSERT_TRUE(WaitUntil([&] { return F.LoggerReady(); }, kWineStart));
  const qint64 FirstAnswer = Clock.elapsed();
  ASSERT_TRUE(Access->Problem().isEmpty()) << Access->Problem().toStdString();
  ASSERT_TRUE(Errors.empty()) << Errors.front();
  // The home position and the reference tables came from the logger's folder, named
  // "C:\Tovrin_Log3\" in the registry and read through its Unix path in the prefix.
  EXPECT_NEAR(F.mylat, 48.21, 1e-9);
  EXPECT_NEAR(F.mylong, 16.37, 1e-9);
  EXPECT_TRUE(QFileInfo(F.LoggerInstallPath() + QStringLiteral("Tovrin_Log3.ini")).isFile())
      << F.LoggerInstallPath().toStdString();
  EXPECT_TRUE(F.LoggerLink().tblDXCC() && F.LoggerLink().tblDXCC()->Active());
  EXPECT_TRUE(F.LoggerLink().tblUnique() && F.LoggerLink().tblUnique()->Active());
  Windows->fCompass().show();

  ASSERT_TRUE(Run.Type(QStringLiteral("call JA1RL")));
  ASSERT_TRUE(Run.Type(QStringLiteral("azimuth 44/224")));
  const globe::TPointLL Tokyo = Placed(QStringLiteral("JA1RL"));
  EXPECT_TRUE(WaitUntil([&] { return F._PointLLWWW == Tokyo; }, kFollow))
      << F.edCallsign->text().toStdString();
  EXPECT_TRUE(WaitUntil(
      [&] { return Windows->fCompass().windowTitle() == QStringLiteral("Az - 44"); }, kFollow))
      << Windows->fCompass().windowTitle().toStdString();

  ASSERT_TRUE(Run.Type(QStringLiteral("locator JN36BF")));
  double Lat = 0, Long = 0;
  LocatorToLatLong(QStringLiteral("JN36BF"), Lat, Long);
  EXPECT_TRUE(WaitUntil([&] { return F._PointLLWWW == globe::DegToPointLL(Long, Lat); }, kFollow));


  // A logger that stops answering for 3 s is waited for, and the window goes on meanwhile;
  // what is typed meanwhile arrives.
  ASSERT_TRUE(Run.Type(QStringLiteral("hang 3")));
  Run.Logger.write("call W1AW\n");
  {
    QElapsedTimer Hang;
    Hang.start();
    qint64 Last = 0, LongestStall = 0;
    while (Hang.elapsed() < 3500 && !Closed) {
      F.Globe41Window()->viewport()->update();
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      LongestStall = std::max(LongestStall, Hang.elapsed() - Last);
      Last = Hang.elapsed();
    }
    std::cout << "[figure] longest stall of the window while the logger under Wine hangs: "
              << LongestStall << " ms\n";
    EXPECT_LT(LongestStall, 2000);
  }
  EXPECT_FALSE(Closed);
  EXPECT_TRUE(WaitUntil([&] { return F.edCallsign->text() == QStringLiteral("W1AW"); }, kFollow))
      << F.edCallsign->text().toStdString();
  EXPECT_FALSE(Closed);
  QString Line;
  while (Run.ReadLine(Line, 100ms)) {
  }  // the answers to the commands typed during the hang

  // The logger's repair ends Orvane, and so does the logger's end.
  ASSERT_TRUE(Run.Type(QStringLiteral("repair on")));
  EXPECT_TRUE(WaitUntil([&] { return Closed; }, kFollow));
  ASSERT_TRUE(Run.Type(QStringLiteral("repair off")));
  Windows.reset();
  Windows = Open();
  EXPECT_FALSE(WaitUntil([&] { return Closed; }, 2500ms));
  ASSERT_TRUE(Run.Type(QStringLiteral("quit")));
  EXPECT_TRUE(WaitUntil([&] { return Closed; }, kFollow));
  EXPECT_TRUE(Errors.empty()) << Errors.front();

  // The bridge itself: a line that is no request, or too long, gets an error line, and the
  // next request is answered as usual.
  {
    QProcess Bridge;
    Bridge.setProcessEnvironment(Run.Environment());
    Bridge.setStandardErrorFile(QProcess::nullDevice());
    Bridge.start(QStringLiteral("wine"), {kBridgeDir + QStringLiteral("/orvane-bridge.exe")});
    ASSERT_TRUE(Bridge.waitForStarted(30000));
    Bridge.write("garbage\n" + QByteArray(70000, 'x') + "\n" +
                 R"({"id":9,"op":"unixPath","path":"C:\\"})" + "\n");
    QList<QByteArray> Lines;
    EXPECT_TRUE(WaitUntil(
        [&] {
          while (Bridge.canReadLine()) Lines.push_back(Bridge.readLine().trimmed());
          return Lines.size() >= 3;
        },
        kFollow));
    ASSERT_EQ(Lines.size(), 3);
    EXPECT_EQ(Lines[0], R"({"error":"not a request"})");
    EXPECT_EQ(Lines[1], R"({"error":"line too long"})");
    EXPECT_EQ(Lines[2],
              R"({"id":9,"path":")" + QFile::encodeName(kPrefix) + R"(/dosdevices/c:/"})");
    Bridge.closeWriteChannel();  // its input closing ends it
    EXPECT_TRUE(Bridge.waitForFinished(30000));
  }

  std::cout << "[figure] window shown after " << Shown
            << " ms; logger found and read through the bridge, wineserver running: "
            << FirstAnswer << " ms\n"
            << "[figure] whole run under Wine: " << Total.elapsed() << " ms\n";
}

// A Wine build of a manager's, as Debian lays out its own: the loader copied (the kernel
// names a linked one by its target), the rest linked to the system's. Its server is the
// only one that can talk to the prefix the logger runs in.
QString MakeRunner(const QString& Root, QString& Error) {
  const QString Loader = QStringLiteral("/usr/lib/wine/wine64");
  if (!QFileInfo(Loader).isExecutable()) {
    Error = Loader + QStringLiteral(" is not there: not Debian's wine");
    return {};
  }
  QDir().mkpath(Root + QStringLiteral("/lib/wine"));
  QDir().mkpath(Root + QStringLiteral("/share"));
  const QString Wine = Root + QStringLiteral("/lib/wine/wine64");
  if (!QFile::copy(Loader, Wine) ||
      !QFile::link(QStringLiteral("/usr/lib/wine/wineserver64"),
                   Root + QStringLiteral("/lib/wine/wineserver")) ||
      !QFile::link(QStringLiteral("/usr/lib/x86_64-linux-gnu"),
                   Root + QStringLiteral("/lib/x86_64-linux-gnu")) ||
      !QFile::link(QStringLiteral("/usr/share/wine"), Root + QStringLiteral("/share/wine"))) {
    Error = QStringLiteral("cannot make the runner in ") + Root;
    return {};
  }
  return Wine;
}

// Sets a variable of this process's environment for a while.
class TSetEnv {
 public:
  TSetEnv(const char* Name, const QByteArray& Value)
      : FName(Name), FHad(qEnvironmentVariableIsSet(Name)), FOld(qgetenv(Name)) {
    qputenv(Name, Value);
  }
  ~TSetEnv() {
    if (FHad)
      qputenv(FName, FOld);
    else
      qunsetenv(FName);
  }
  TSetEnv(const TSetEnv&) = delete;
  TSetEnv& operator=(const TSetEnv&) = delete;

 private:
  const char* FName;
  bool FHad;
  QByteArray FOld;
};

// The logger runs in a prefix of its own on a Wine build of its own, and the PATH's wine
// cannot reach it; with nothing configured Orvane finds the running logger and starts the
// bridge on the same Wine.
TEST(WineEndToEnd, OrvaneFindsTheRunningLoggerAndItsWine) {
  if (const QString Why = TWineRun::Missing(); !Why.isEmpty()) GTEST_SKIP() << Why.toStdString();
  QTemporaryDir Scratch;
  ASSERT_TRUE(Scratch.isValid());
  QString Error;
  const QString RunnerWine = MakeRunner(Scratch.filePath(QStringLiteral("runner")), Error);
  if (RunnerWine.isEmpty()) GTEST_SKIP() << Error.toStdString();

  TWineRun Run(kPrefix + QStringLiteral("-runner"));
  ASSERT_TRUE(Run.StartDisplay(Error)) << Error.toStdString();
  ASSERT_TRUE(Run.PreparePrefix(Error)) << Error.toStdString();
  ASSERT_TRUE(QFile::copy(kBridgeDir + QStringLiteral("/orvane-fake-logger.exe"),
                          Run.Prefix + QStringLiteral("/drive_c/Tovrin_Log3/Tovrin_Log3.exe")));
  ASSERT_TRUE(
      Run.StartLogger(Error, RunnerWine, QStringLiteral("C:\\Tovrin_Log3\\Tovrin_Log3.exe")))
      << Error.toStdString();

  // The PATH's wine refuses as a wine of another version does.
  const QString FakeBin = Scratch.filePath(QStringLiteral("bin"));
  QDir().mkpath(FakeBin);
  {
    QFile Fake(FakeBin + QStringLiteral("/wine"));
    ASSERT_TRUE(Fake.open(QIODevice::WriteOnly));
    Fake.write(
        "#!/bin/sh\n"
        "echo 'wine client error:0: version mismatch 758/760.' >&2\n"
        "echo 'Your wineserver binary was not upgraded correctly,' >&2\n"
        "echo 'or you have an older one somewhere in your PATH.' >&2\n"
        "echo 'Or maybe the wrong wineserver is still running?' >&2\n"
        "exit 1\n");
    Fake.setPermissions(Fake.permissions() | QFile::ExeOwner);
  }
  const TSetEnv Path("PATH", QFile::encodeName(FakeBin) + ':' + qgetenv("PATH"));
  const TSetEnv Display("DISPLAY", Run.DisplayName.toLocal8Bit());
  const TSetEnv Debug("WINEDEBUG", "-all");
  qunsetenv("WINEPREFIX");
  // A home of its own: no ~/.wine or manager's prefix of the machine's gets in the way.
  const TSetEnv Home("HOME", QFile::encodeName(Scratch.filePath(QStringLiteral("home"))));
  QDir().mkpath(Scratch.filePath(QStringLiteral("home")));

  const TWineSearch Search = FindWineLogger({}, kBridgeDir + QStringLiteral("/orvane-bridge.exe"),
                                            QProcessEnvironment::systemEnvironment());
  ASSERT_TRUE(Search.Bridge) << Search.Problem.toStdString();
  EXPECT_EQ(Search.Prefix, Run.Prefix);
  EXPECT_EQ(Search.Bridge->Program, RunnerWine);
  EXPECT_TRUE(Search.Origin.startsWith(QStringLiteral("the running logger")))
      << Search.Origin.toStdString();

  QTemporaryDir SettingsFolder;  // no [Logger] section
  ASSERT_TRUE(SettingsFolder.isValid());
  const TSettingsFile Settings(SettingsFolder.path(), SettingsFolder.path());
  const auto Access = TLoggerAccess::Find(
      QStringList{QStringLiteral("orvane-wine-find-%1").arg(QCoreApplication::applicationPid())}, Settings,
      kBridgeDir, 3s, kWineStart);
  ASSERT_TRUE(Access->Problem().isEmpty()) << Access->Problem().toStdString();

  std::vector<std::string> Errors;
  bool Closed = false;
  TForm1Environment E = Access->Environment(Settings, QStringLiteral(ORVANE_APP_DIR));
  E.OnError = [&](const std::string& M) { Errors.push_back(M); };
  auto Windows = std::make_unique<TOrvaneWindows>(std::move(E));
  TForm1& F = Windows->Form1();
  F.OnClosed = [&] { Closed = true; };
  F.show();
  EXPECT_NEAR(F.mylat, 48.21, 1e-9);

  ASSERT_TRUE(Run.Type(QStringLiteral("call JA1RL")));
  const globe::TPointLL Tokyo = Placed(QStringLiteral("JA1RL"));
  EXPECT_TRUE(WaitUntil([&] { return F._PointLLWWW == Tokyo; }, kFollow))
      << F.edCallsign->text().toStdString();
  ASSERT_TRUE(Run.Type(QStringLiteral("quit")));
  EXPECT_TRUE(WaitUntil([&] { return Closed; }, kFollow));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

}  // namespace
}  // namespace orvane
