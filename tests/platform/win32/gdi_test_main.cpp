// GoogleTest's main with the GDI graphics services installed, as the Windows program does.
#include <gtest/gtest.h>

#include "platform/win32/gdidevice.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  platform::TGdiGraphics graphics;
  platform::SetGraphics(&graphics);
  const int result = RUN_ALL_TESTS();
  platform::SetGraphics(nullptr);
  return result;
}
