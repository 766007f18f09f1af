#include "platform/recording.h"

#include <gtest/gtest.h>

#include <vector>

namespace platform {
namespace {

std::vector<std::string> Names(const TRecordingDevice& device) {
  std::vector<std::string> names;
  for (const auto& call : device.Calls) names.push_back(call.Name);
  return names;
}

TEST(RecordingDevice, RecordsArgumentsAndTheStateDrawnWith) {
  TRecordingDevice device;
  const THandle pen = CreatePen({psSolid, 2, RGB(255, 0, 0)});
  device.SelectObject(pen);
  device.SetBkMode(TRANSPARENT);
  device.SetTextColor(RGB(0, 0, 255));
  device.SetTextAlign(TA_BASELINE | TA_CENTER);
  device.SetViewportOrigin({5, 6});
  const TPoint triangle[] = {{0, 0}, {10, 0}, {5, 8}};
  device.Polygon(triangle);
  device.SetPixel(3, 4, RGB(9, 9, 9));
  device.TextOut(7, 8, "Hi");
  device.FillRect({1, 2, 3, 4}, GetStockObject(GRAY_BRUSH));
  device.SetClipRect({0, 0, 20, 30});
  device.RemoveClipping();
  TBitmap picture(4, 3);
  device.DrawBitmap(10, 20, picture);
  device.StretchBitmap({0, 0, 8, 6}, picture);
  device.DrawFocusRect({1, 1, 5, 5});
  (void)device.TextExtent("not recorded");

  EXPECT_EQ(Names(device),
            (std::vector<std::string>{"SelectObject", "SetBkMode", "SetTextColor", "SetTextAlign",
                                      "SetViewportOrigin", "Polygon", "SetPixel", "TextOut",
                                      "FillRect", "SetClipRect", "RemoveClipping", "DrawBitmap",
                                      "StretchBitmap", "DrawFocusRect"}));
  EXPECT_EQ(device.Calls[0].Object, pen);
  EXPECT_EQ(device.Calls[1].Value, TRANSPARENT);
  EXPECT_EQ(device.Calls[3].Value, TA_BASELINE | TA_CENTER);
  EXPECT_EQ(device.Calls[4].Points, (std::vector<TPoint>{{5, 6}}));

  const TRecordedCall& polygon = *device.CallsNamed("Polygon").at(0);
  EXPECT_EQ(polygon.Points, (std::vector<TPoint>(std::begin(triangle), std::end(triangle))));
  EXPECT_EQ(polygon.Pen, pen);
  EXPECT_EQ(polygon.Brush, GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(polygon.BkMode, TRANSPARENT);
  EXPECT_EQ(polygon.TextColor, RGB(0, 0, 255));
  EXPECT_EQ(polygon.ViewportOrigin, (TPoint{5, 6}));

  const TRecordedCall& pixel = *device.CallsNamed("SetPixel").at(0);
  EXPECT_EQ(pixel.Points, (std::vector<TPoint>{{3, 4}}));
  EXPECT_EQ(pixel.Value, static_cast<std::int32_t>(RGB(9, 9, 9)));
  EXPECT_EQ(device.CallsNamed("TextOut").at(0)->Text, "Hi");
  EXPECT_EQ(device.CallsNamed("FillRect").at(0)->Object, GetStockObject(GRAY_BRUSH));
  EXPECT_EQ(device.CallsNamed("DrawBitmap").at(0)->Rect, (TRect{10, 20, 14, 23}));
  EXPECT_EQ(device.CallsNamed("StretchBitmap").at(0)->Points, (std::vector<TPoint>{{4, 3}}));
  EXPECT_TRUE(device.CallsNamed("Ellipse").empty());
}

TEST(RecordingDevice, FontMetricsAreFixed) {
  TRecordingDevice device(144);
  EXPECT_EQ(device.PixelsPerInchX(), 144);
  EXPECT_EQ(device.PixelsPerInchY(), 144);
  struct Case {
    std::int32_t height;
    const char* text;
    TSize extent;
  } cases[] = {
      {20, "abc", {30, 20}},
      {20, "", {0, 20}},
      {21, "ab", {20, 21}},
      {1, "abcd", {4, 1}},                  // at least one pixel a character
      {10, "\xC3\xA9t\xC3\xA9", {15, 10}},  // three characters in five bytes
  };
  for (const auto& c : cases) {
    TFontDesc font;
    font.Height = c.height;
    device.SelectObject(CreateFontObject(font));
    EXPECT_EQ(device.TextExtent(c.text), c.extent) << c.height << " " << c.text;
  }
}

TEST(RecordingGraphics, MakesRecordingMemoryDevicesOverThePicture) {
  TRecordingGraphics graphics(72);
  auto bitmap = std::make_shared<TBitmap>(3, 3);
  auto device = graphics.CreateMemoryDevice(bitmap);
  ASSERT_EQ(graphics.Devices.size(), 1u);
  EXPECT_EQ(graphics.Devices[0], device.get());
  EXPECT_EQ(device->Bitmap(), bitmap.get());
  EXPECT_EQ(device->PixelsPerInchY(), 72);
  EXPECT_EQ(TRecordingDevice().Bitmap(), nullptr);
}

}  // namespace
}  // namespace platform
