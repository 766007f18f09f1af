// Orvane: the globe beside the logger.
#include <QApplication>
#include <QCoreApplication>

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
    orvane::TLoggerAccess Logger;
    orvane::TOrvaneWindows Windows(Logger.Environment(orvane::TSettingsFile::ForProgram(),
                                                      QCoreApplication::applicationDirPath()));
    Windows.Form1().OnClosed = [] { QCoreApplication::quit(); };
    Windows.Form1().show();
    Status = QApplication::exec();
  }
  platform::SetGraphics(nullptr);
  return Status;
}
