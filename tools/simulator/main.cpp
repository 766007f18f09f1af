// orvane-logger-sim: stands in for the logger on Linux. Shows a QSO-entry window laid out as
// the logger's, serves the logger-host service for it and the logger's registry key, and
// takes commands on standard input.
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLineEdit>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/qt/loggerhostservice.h"
#include "tools/simulator/commands.h"
#include "tools/simulator/demo.h"
#include "tools/simulator/qsowindow.h"
#include "tools/simulator/station.h"
#include "tools/simulator/widgetlookup.h"

namespace {

using namespace orvane::sim;

constexpr char kTool[] = "orvane-logger-sim";

void Warn(const QString& Message) {
  std::fprintf(stderr, "%s: %s\n", kTool, Message.toLocal8Bit().constData());
}

void Answer(const QString& Line) {
  std::fputs(Line.toUtf8().constData(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // Without a display it runs unseen, so that scripts and tests can drive it headless.
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Started in the background of an interactive shell, a read of the terminal must fail
  // rather than stop the simulator.
  std::signal(SIGTTIN, SIG_IGN);
  QApplication App(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kTool));
  // Only the QSO-entry window's closing ends the logger, not the progress window's.
  QApplication::setQuitOnLastWindowClosed(false);

  QCommandLineParser Options;
  Options.setApplicationDescription(QStringLiteral(
      "Stands in for the logger: a QSO-entry window served through the logger-host service."));
  Options.addHelpOption();
  const QCommandLineOption HostName(
      QStringLiteral("host-name"),
      QStringLiteral("Listen under NAME instead of this user's logger-host name."),
      QStringLiteral("NAME"));
  const QCommandLineOption InstallFolder(
      QStringLiteral("install-folder"),
      QStringLiteral("The logger's installation folder (default: \"logger\" beside the program)."),
      QStringLiteral("DIR"));
  const QCommandLineOption Demo(QStringLiteral("demo"),
                                QStringLiteral("Type well-known stations on its own."));
  const QCommandLineOption DemoHold(
      QStringLiteral("demo-hold"),
      QStringLiteral("Seconds each demonstration contact is held (default 6)."),
      QStringLiteral("SECONDS"), QStringLiteral("6"));
  Options.addOptions({HostName, InstallFolder, Demo, DemoHold});
  if (!Options.parse(QApplication::arguments())) {
    Warn(Options.errorText() + QStringLiteral(" (see --help)"));
    return 2;
  }
  if (Options.isSet(QStringLiteral("help"))) {
    std::fputs(Options.helpText().toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (!Options.positionalArguments().isEmpty()) {
    Warn(QStringLiteral("unexpected argument '%1' (see --help)")
             .arg(Options.positionalArguments().front()));
    return 2;
  }
  bool HoldOk = false;
  const double HoldSeconds = Options.value(DemoHold).toDouble(&HoldOk);
  if (!HoldOk || !std::isfinite(HoldSeconds) || HoldSeconds < 0 || HoldSeconds > 3600) {
    Warn(QStringLiteral("--demo-hold takes seconds from 0 to 3600, not '%1'")
             .arg(Options.value(DemoHold)));
    return 2;
  }

  // The program adds file names to the folder without a separator.
  // Beside the executable in the build tree; installed, in share/orvane.
  QString Folder = QApplication::applicationDirPath() + QStringLiteral("/logger");
  if (!QDir(Folder).exists()) {
    const QString Installed =
        QApplication::applicationDirPath() + QStringLiteral("/../share/orvane/logger");
    if (QDir(Installed).exists()) Folder = Installed;
  }
  if (Options.isSet(InstallFolder)) Folder = QDir(Options.value(InstallFolder)).absolutePath();
  Folder = QDir::cleanPath(Folder) + u'/';
  if (!QDir(Folder).exists()) Warn(QStringLiteral("the folder '%1' does not exist").arg(Folder));

  // Problems with the folder are reported and served as they are, so that the program's
  // handling of a broken logger installation can be tried too.
  const QString LogName = ReadLogName(Folder + QStringLiteral("Tovrin_Log3.ini"));
  if (LogName.isEmpty()) Warn(QStringLiteral("no LogName in %1Tovrin_Log3.ini").arg(Folder));
  TPosition Home;
  try {
    if (const auto Stored = ReadHomePosition(Folder + QStringLiteral("db/logs.mdb"), LogName)) {
      Home = *Stored;
    } else {
      Warn(QStringLiteral("the database has no home position for log '%1'").arg(LogName));
    }
  } catch (const std::exception& e) {
    Warn(QString::fromUtf8(e.what()));
  }
  std::unique_ptr<TStationFinder> Finder;
  try {
    Finder = std::make_unique<TStationFinder>(Folder, Home);
  } catch (const std::exception& e) {
    Warn(QString::fromUtf8(e.what()) + QStringLiteral("; every station is unknown"));
  }

  TQsoEntryWindow::TPlacer Placer;
  if (Finder) {
    Placer = [&Finder](const QString& Call, const QString& Locator) {
      return Finder->Place(Call, Locator);
    };
  }
  TQsoEntryWindow Window(LogName, PositionText(Home), Placer);
  QObject::connect(&Window, &TQsoEntryWindow::Closed, &App, &QApplication::quit);
  Window.show();

  TSimulatorRegistry Registry(Folder.toStdString());
  TWidgetWindowLookup Lookup;
  platform::TLoggerHostServer Server(Registry, Lookup);
  const QString Name =
      Options.isSet(HostName) ? Options.value(HostName) : platform::LoggerHostName();
  if (QString Why; !Options.isSet(HostName) && qEnvironmentVariableIsEmpty("ORVANE_LOGGER_HOST") &&
                   platform::LoggerHostRuntimeFolder(&Why).isEmpty() && !Why.isEmpty())
    Warn(Why + QStringLiteral("; listening in the temporary folder"));
  if (!Server.Listen(Name)) {
    Warn(QStringLiteral("cannot listen under '%1': %2").arg(Name, Server.ErrorString()));
    return 1;
  }
  Answer(QStringLiteral("listening ") + Name);

  TCommandReader Commands(STDIN_FILENO, [&Window](const std::optional<QByteArray>& Line) {
    if (!Line) {
      Answer(QStringLiteral("error: line longer than %1 bytes").arg(TLineSplitter::MaxLine));
      return;
    }
    const TParsedCommand Parsed = ParseCommand(QString::fromUtf8(*Line));
    Answer(Parsed.Command ? ApplyCommand(*Parsed.Command, Window)
                          : QStringLiteral("error: ") + Parsed.Error);
    if (Parsed.Command && Parsed.Command->Kind == TCommand::ckHang) Hang(Parsed.Command->Seconds);
  });

  std::unique_ptr<TDemoTyper> Typer;
  if (Options.isSet(Demo)) {
    using namespace std::chrono;
    // About six characters a second.
    Typer = std::make_unique<TDemoTyper>(
        Window, DemoScript(DemoContacts(), milliseconds(170),
                           duration_cast<milliseconds>(duration<double>(HoldSeconds))));
    Typer->Start();
  }

  const int Status = QApplication::exec();
  Server.Close();
  return Status;
}
