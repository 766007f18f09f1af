// Test main for programs that make widgets: a QApplication without a display, and the Qt
// graphics services installed for the engine.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/qt/qtdevice.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  platform::TQtGraphics graphics;
  platform::SetGraphics(&graphics);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  platform::SetGraphics(nullptr);
  return result;
}
