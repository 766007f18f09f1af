// Orvane: the globe beside the logger.
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>

#include "app/program.h"
#include "platform/device.h"
#include "platform/qt/qtdevice.h"

int main(int argc, char** argv) {
  QApplication Application(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
  // The secondary windows may still be open: the program ends with the main window.
  QApplication::setQuitOnLastWindowClosed(false);
  orvane::ApplyCyanNight(Application);
  platform::TQtGraphics Graphics;
  platform::SetGraphics(&Graphics);

  int Status = 0;
  {
    const orvane::TSettingsFile Settings = orvane::TSettingsFile::ForProgram();
    const QString ExeFolder = QCoreApplication::applicationDirPath();
    // Found on the logger's own thread, after the window shows: starting Wine may take long.
    orvane::TLoggerAccess Logger(platform::LoggerHostNames(), Settings, ExeFolder);
    orvane::TOrvaneWindows Windows(
        Logger.Environment(Settings, orvane::DataFolder(ExeFolder), /*Threaded=*/true));
    if (QGuiApplication::platformName() == QStringLiteral("offscreen")) {
      // Nobody can close a message box on a screen nobody sees: the reasons go to standard
      // error alone.
      Windows.Form1().OnError = [](const std::string& Message) {
        std::fprintf(stderr, "%s\n", Message.c_str());
        std::fflush(stderr);
      };
    }
    Windows.Form1().OnClosed = [] { QCoreApplication::quit(); };
    Windows.Form1().show();
    Status = QApplication::exec();
    if (Status == 0) Status = Windows.Form1().ExitCode();
  }
  platform::SetGraphics(nullptr);
  return Status;
}
