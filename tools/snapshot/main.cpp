// orvane-snapshot: Orvane beside the logger simulator without a display. Starts the
// simulator, opens Orvane's three windows as the program does, types a station into the
// simulator, waits until Orvane shows it, and writes the windows as one picture.
#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/compass.h"
#include "app/friends.h"
#include "app/program.h"
#include "globe/projection/projection.h"
#include "globe/view/globe.h"
#include "platform/device.h"
#include "platform/qt/globewidget.h"
#include "platform/qt/qtdevice.h"
#include "tools/snapshot/simulatorprocess.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kTool = "orvane-snapshot";

int Fail(const QString& Message) {
  std::fprintf(stderr, "%s: %s\n", kTool, Message.toLocal8Bit().constData());
  return 1;
}

// The main window on the left, the compass and the friends window stacked on its right.
QImage Compose(const QImage& Main, const QImage& Compass, const QImage& Friends) {
  constexpr int Gap = 12;
  const int Width = Gap + Main.width() + Gap + std::max(Compass.width(), Friends.width()) + Gap;
  const int Height = Gap + std::max(Main.height(), Compass.height() + Gap + Friends.height()) + Gap;
  QImage Sheet(Width, Height, QImage::Format_RGB32);
  Sheet.fill(QColor(0x10, 0x16, 0x1C));
  QPainter P(&Sheet);
  P.drawImage(Gap, Gap, Main);
  const int Right = Gap + Main.width() + Gap;
  P.drawImage(Right, Gap, Compass);
  P.drawImage(Right, Gap + Compass.height() + Gap, Friends);
  return Sheet;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication Application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kTool));
  QApplication::setQuitOnLastWindowClosed(false);
  orvane::ApplyCyanNight(Application);

  QCommandLineParser Options;
  Options.setApplicationDescription(QStringLiteral(
      "Runs Orvane beside the logger simulator without a display and writes its windows as a "
      "PNG picture."));
  Options.addHelpOption();
  const QCommandLineOption Output(QStringLiteral("output"), QStringLiteral("The picture."),
                                  QStringLiteral("FILE"));
  const QCommandLineOption Simulator(
      QStringLiteral("simulator"),
      QStringLiteral("The simulator's executable (default: beside this tool's folder)."),
      QStringLiteral("PATH"));
  const QCommandLineOption Data(
      QStringLiteral("data"),
      QStringLiteral("The folder of Orvane's executable with its map data (default: the "
                     "build's app folder)."),
      QStringLiteral("DIR"));
  const QCommandLineOption Call(QStringLiteral("call"),
                                QStringLiteral("The callsign typed (default W1AW)."),
                                QStringLiteral("CALL"), QStringLiteral("W1AW"));
  const QCommandLineOption Locator(QStringLiteral("locator"),
                                   QStringLiteral("A locator typed after the callsign."),
                                   QStringLiteral("LOCATOR"));
  const QCommandLineOption Texture(QStringLiteral("texture"),
                                   QStringLiteral("Lay the world texture on the globe."));
  const QCommandLineOption Map(QStringLiteral("map"), QStringLiteral("The flat map."));
  const QCommandLineOption Azimuthal(QStringLiteral("azimuthal"),
                                     QStringLiteral("The azimuthal map centred on home."));
  const QCommandLineOption LongPath(QStringLiteral("long-path"),
                                    QStringLiteral("Show the long path too."));
  const QCommandLineOption Time(
      QStringLiteral("time"),
      QStringLiteral(
          "The moment Orvane's clock shows, in UTC (2026-12-10T18:00:00Z; default now)."),
      QStringLiteral("UTC"));
  Options.addOptions(
      {Output, Simulator, Data, Call, Locator, Texture, Map, Azimuthal, LongPath, Time});
  Options.process(Application);
  if (!Options.isSet(Output)) return Fail(QStringLiteral("--output FILE is required"));
  QDateTime Clock;
  if (Options.isSet(Time)) {
    Clock = QDateTime::fromString(Options.value(Time), Qt::ISODate);
    if (!Clock.isValid() || Clock.timeSpec() != Qt::UTC)
      return Fail(QStringLiteral("--time wants a UTC time such as 2026-12-10T18:00:00Z"));
  }
  const QString Here = QApplication::applicationDirPath();
  // The build tree's places first, then the installed layout (everything in bin/, the data
  // in share/orvane).
  QString SimulatorPath = Here + QStringLiteral("/../simulator/orvane-logger-sim");
  if (!QFileInfo::exists(SimulatorPath)) SimulatorPath = Here + QStringLiteral("/orvane-logger-sim");
  if (Options.isSet(Simulator)) SimulatorPath = Options.value(Simulator);
  QString DataFolder = QDir::cleanPath(Here + QStringLiteral("/../../app"));
  if (!QFileInfo::exists(DataFolder + QStringLiteral("/world.lyr")))
    DataFolder = orvane::DataFolder(Here);
  if (Options.isSet(Data)) DataFolder = QDir::cleanPath(Options.value(Data));

  platform::TQtGraphics Graphics;
  platform::SetGraphics(&Graphics);
  int Status = 0;
  {
    const QString HostName =
        QStringLiteral("orvane-snapshot-%1").arg(QCoreApplication::applicationPid());
    orvane::TSimulatorProcess Logger(SimulatorPath, HostName);
    if (!Logger.Start(20s)) return Fail(Logger.Error());

    // Settings of their own, so that the operator's are not touched: the three windows
    // at start, and the night side shown.
    QTemporaryDir Settings;
    QFile Ini(Settings.filePath(QStringLiteral("Orvane.ini")));
    if (!Ini.open(QIODevice::WriteOnly)) return Fail(QStringLiteral("cannot write settings"));
    Ini.write("[Main]\nTop=0\nLeft=0\nHeight=640\nWidth=900\nShadow=1\nFriends=1\nCompass=1\n");
    Ini.close();

    orvane::TLoggerAccess Access(HostName);
    orvane::TForm1Environment Environment =
        Access.Environment(orvane::TSettingsFile(Settings.path(), Settings.path()), DataFolder);
    if (Clock.isValid()) Environment.Now = [Clock] { return Clock.toLocalTime(); };
    QString FirstError;
    Environment.OnError = [&FirstError](const std::string& Message) {
      if (FirstError.isEmpty()) FirstError = QString::fromStdString(Message);
    };
    orvane::TOrvaneWindows Windows(std::move(Environment));
    orvane::TForm1& Form1 = Windows.Form1();
    bool Closed = false;
    Form1.OnClosed = [&Closed] { Closed = true; };
    Form1.show();
    if (Options.isSet(Texture)) Form1.T1->trigger();
    if (Options.isSet(Map)) Form1.Map1->trigger();
    if (Options.isSet(Azimuthal)) Form1.Azimuthal1->trigger();
    if (Options.isSet(LongPath)) Form1.LongPath1->trigger();

    const QString Typed = Options.value(Call).toUpper();
    if (!Logger.Send(QStringLiteral("call ") + Typed, 10s)) return Fail(Logger.Error());
    if (Options.isSet(Locator) &&
        !Logger.Send(QStringLiteral("locator ") + Options.value(Locator), 10s)) {
      return Fail(Logger.Error());
    }
    // The program reads the logger once a second; the compass follows the azimuth.
    const bool Shown = orvane::WaitUntil(
        [&] {
          return Form1.edCallsign->text() == Typed &&
                 Windows.fCompass().windowTitle().startsWith(QStringLiteral("Az - "));
        },
        15s);
    if (!FirstError.isEmpty()) return Fail(QStringLiteral("Orvane reported: ") + FirstError);
    if (!Shown) return Fail(QStringLiteral("Orvane did not show %1 within 15 s").arg(Typed));

    const QImage Sheet = Compose(Form1.grab().toImage(), Windows.fCompass().grab().toImage(),
                                 Windows.frmFriends().grab().toImage());
    if (!Sheet.save(Options.value(Output), "PNG")) {
      return Fail(QStringLiteral("cannot write %1").arg(Options.value(Output)));
    }
    std::printf("%s: wrote %s (%s on %s, compass \"%s\")\n", kTool,
                Options.value(Output).toLocal8Bit().constData(), Typed.toLocal8Bit().constData(),
                Form1.Globe41().Projection().ProjectionClass().c_str(),
                Windows.fCompass().windowTitle().toLocal8Bit().constData());

    // Closing the logger ends Orvane.
    if (!Logger.Send(QStringLiteral("quit"), 10s) || !Logger.WaitForFinished(10s)) {
      return Fail(QStringLiteral("the simulator did not end: ") + Logger.Error());
    }
    if (!orvane::WaitUntil([&Closed] { return Closed; }, 5s)) {
      Status = Fail(QStringLiteral("Orvane did not end with the logger"));
    }
  }
  platform::SetGraphics(nullptr);
  return Status;
}
