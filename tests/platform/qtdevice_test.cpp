#include "platform/qt/qtdevice.h"

#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <vector>

#include "tests/platform/rasterfixture.h"

namespace platform {
namespace {

// The shared raster fixture on the Qt memory device.
class QtRaster : public Raster {
 protected:
  void SetUp() override {
    Raster::SetUp();
    ASSERT_NE(dynamic_cast<TQtMemoryDevice*>(device.get()), nullptr);
  }
};

TEST(QtDevice, FocusRectangleByRasterOperationOnOtherImages) {
  QImage image(20, 20, QImage::Format_RGB32);
  image.fill(QColor(10, 200, 30));
  const QImage before = image.copy();
  {
    TQtDevice device(image);
    device.DrawFocusRect({2, 2, 15, 15});
  }
  EXPECT_NE(image, before);
  EXPECT_EQ(image.pixelColor(2, 2), QColor(245, 55, 225));
  EXPECT_EQ(image.pixelColor(3, 2), QColor(10, 200, 30));
  {
    TQtDevice device(image);
    device.DrawFocusRect({2, 2, 15, 15});
  }
  EXPECT_EQ(image, before);
}

TEST_F(QtRaster, EveryPixelStaysOpaqueAndTheWindowGetsItUnchanged) {
  // The raster engine takes the picture's fourth byte for alpha when it blends text and
  // copies the picture: it must stay 0xFF under every kind of drawing.
  TFontDesc font;
  font.Height = 14;
  device->SelectObject(CreateFontObject(font));
  device->SetTextColor(kBlue);
  device->SetBkMode(TRANSPARENT);
  device->TextOut(2, 2, "Wg");
  device->SelectObject(CreatePen({psDashDot, 3, kGreen}));
  const TPoint line[] = {{0, 30}, {39, 20}};
  device->Polyline(line);
  device->SetPixel(5, 35, kRed);
  device->DrawFocusRect({20, 20, 30, 30});
  TBitmap fresh(5, 5);  // never drawn on
  device->DrawBitmap(30, 0, fresh);
  const auto bytes = bitmap->Bytes();
  for (std::size_t i = 3; i < bytes.size(); i += 4) ASSERT_EQ(bytes[i], 0xFF) << i / 4;
  EXPECT_EQ(At(30, 0), kBlack);
  EXPECT_EQ(At(5, 35), kRed);
  // Text straight on a new picture, which nothing has filled.
  auto blank = std::make_shared<TBitmap>(20, 20);
  {
    auto onBlank = Graphics().CreateMemoryDevice(blank);
    onBlank->SelectObject(CreateFontObject(font));
    onBlank->SetTextColor(kWhite);
    onBlank->SetBkMode(TRANSPARENT);
    onBlank->TextOut(1, 1, "Wg");
  }
  int inked = 0;
  for (std::int32_t y = 0; y < 20; ++y)
    for (std::int32_t x = 0; x < 20; ++x) inked += blank->Pixel(x, y) != kBlack;
  EXPECT_GT(inked, 10);
  const auto blankBytes = blank->Bytes();
  for (std::size_t i = 3; i < blankBytes.size(); i += 4) ASSERT_EQ(blankBytes[i], 0xFF) << i / 4;

  // Blitted onto a window's 32-bit surface the pixels arrive as they are.
  QImage window(40, 40, QImage::Format_ARGB32_Premultiplied);
  window.fill(Qt::transparent);
  {
    TQtDevice onWindow(window);
    onWindow.DrawBitmap(0, 0, *bitmap);
  }
  for (std::int32_t y = 0; y < 40; ++y)
    for (std::int32_t x = 0; x < 40; ++x) {
      const TColor c = At(x, y);
      ASSERT_EQ(window.pixel(x, y), qRgb(GetRValue(c), GetGValue(c), GetBValue(c)))
          << x << "," << y;
    }
}

TEST(QtGraphics, MemoryDevicesOverEmptyPicturesDrawNothing) {
  TQtGraphics graphics;
  EXPECT_GT(graphics.ScreenPixelsPerInch(), 0);
  for (auto bitmap : {std::shared_ptr<TBitmap>(), std::make_shared<TBitmap>(0, 0)}) {
    auto device = graphics.CreateMemoryDevice(bitmap);
    EXPECT_EQ(device->PixelsPerInchY(), graphics.ScreenPixelsPerInch());
    const TPoint line[] = {{0, 0}, {5, 5}};
    device->Polyline(line);
    device->SetPixel(0, 0, kRed);
    device->DrawFocusRect({0, 0, 4, 4});
    device->TextOut(0, 0, "x");
    EXPECT_EQ(device->Bitmap(), bitmap.get());
  }
}

}  // namespace
}  // namespace platform
