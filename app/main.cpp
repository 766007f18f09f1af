// Orvane: the globe beside the logger.
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
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
    const auto Logger =
        orvane::TLoggerAccess::Find(platform::LoggerHostNames(), Settings, ExeFolder);
    if (!Logger->Problem().isEmpty()) {
      // The logger is there but cannot be reached: say why, then end as without a logger.
      std::fprintf(stderr, "Orvane ends: %s\n", Logger->Problem().toLocal8Bit().constData());
      QMessageBox::critical(nullptr, QStringLiteral("Orvane"), Logger->Problem());
      platform::SetGraphics(nullptr);
      return 0;
    }
    orvane::TOrvaneWindows Windows(Logger->Environment(Settings, orvane::DataFolder(ExeFolder)));
    Windows.Form1().OnClosed = [] { QCoreApplication::quit(); };
    Windows.Form1().show();
    Status = QApplication::exec();
  }
  platform::SetGraphics(nullptr);
  return Status;
}
