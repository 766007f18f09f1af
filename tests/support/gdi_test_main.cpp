// Test main for programs that draw, on Windows: the GDI graphics services installed for the
// engine, as the Qt ones are on Linux.
#include <gtest/gtest.h>

#include "platform/win32/gdidevice.h"

int main(int argc, char** argv) {
  platform::TGdiGraphics graphics;
  platform::SetGraphics(&graphics);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  platform::SetGraphics(nullptr);
  return result;
}
