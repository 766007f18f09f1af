// The pixel rules every raster device keeps, checked on a memory device from the installed
// graphics services: a white picture, and where drawing left ink.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>

#include "platform/device.h"

namespace platform {
namespace {

constexpr TColor kWhite = RGB(255, 255, 255);
constexpr TColor kBlack = RGB(0, 0, 0);
constexpr TColor kRed = RGB(255, 0, 0);
constexpr TColor kGreen = RGB(0, 255, 0);
constexpr TColor kBlue = RGB(0, 0, 255);
constexpr TColor kGrey = RGB(128, 128, 128);

inline THandle Solid(TColor Color) {
  TBrushDesc desc;
  desc.Color = Color;
  return CreateBrush(desc);
}

struct TBox {
  std::int32_t Left = 0, Top = 0, Right = -1, Bottom = -1;  // inclusive; empty when Right < Left
  friend bool operator==(const TBox&, const TBox&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const TBox& b) {
  return os << "(" << b.Left << "," << b.Top << ")-(" << b.Right << "," << b.Bottom << ")";
}

// A white picture with a memory device from the installed graphics services.
class Raster : public ::testing::Test {
 protected:
  void Make(std::int32_t Width, std::int32_t Height, TColor Background = kWhite) {
    bitmap = std::make_shared<TBitmap>(Width, Height);
    device = Graphics().CreateMemoryDevice(bitmap);
    ASSERT_EQ(device->Bitmap(), bitmap.get());
    device->FillRect({0, 0, Width, Height}, Solid(Background));
  }
  void SetUp() override { Make(40, 40); }

  // The pixels that are not Background, as an inclusive box.
  TBox Ink(TColor Background = kWhite) const {
    TBox box{bitmap->Width(), bitmap->Height(), -1, -1};
    for (std::int32_t y = 0; y < bitmap->Height(); ++y)
      for (std::int32_t x = 0; x < bitmap->Width(); ++x)
        if (bitmap->Pixel(x, y) != Background) {
          box.Left = std::min(box.Left, x);
          box.Top = std::min(box.Top, y);
          box.Right = std::max(box.Right, x);
          box.Bottom = std::max(box.Bottom, y);
        }
    return box.Right < 0 ? TBox{} : box;
  }
  int Count(TColor Color) const {
    int n = 0;
    for (std::int32_t y = 0; y < bitmap->Height(); ++y)
      for (std::int32_t x = 0; x < bitmap->Width(); ++x) n += bitmap->Pixel(x, y) == Color;
    return n;
  }
  TColor At(std::int32_t X, std::int32_t Y) const { return bitmap->Pixel(X, Y); }

  std::shared_ptr<TBitmap> bitmap;
  std::unique_ptr<TDevice> device;
};

}  // namespace
}  // namespace platform
