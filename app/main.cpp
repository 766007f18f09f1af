// Orvane: the globe beside the logger.
#include <QApplication>
#include <QCoreApplication>

#include "app/program.h"
#include "platform/device.h"
#include "platform/qt/loggerhostservice.h"
#include "platform/qt/qtdevice.h"
#include "platform/qt/sqldatabase.h"

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
    // A second to answer: a busy logger is not taken for a closed one.
    platform::TLoggerHostClient Logger(platform::LoggerHostName(), std::chrono::milliseconds(1000));
    platform::TSqlLoggerDatabase Database;
    orvane::TForm1Environment Environment;
    Environment.Registry = &Logger;
    Environment.Database = &Database;
    Environment.Windows = &Logger;
    Environment.Settings = orvane::TSettingsFile::ForProgram();
    Environment.ExeFolder = QCoreApplication::applicationDirPath();
    orvane::TOrvaneWindows Windows(std::move(Environment));
    Windows.Form1().OnClosed = [] { QCoreApplication::quit(); };
    Windows.Form1().show();
    Status = QApplication::exec();
  }
  platform::SetGraphics(nullptr);
  return Status;
}
