#include "platform/device.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "platform/recording.h"

namespace platform {
namespace {

TEST(ColorToRGB, ResolvesSystemColoursAndPassesOthers) {
  struct Case {
    TColor in, out;
  } cases[] = {
      {0x00123456, 0x00123456},          // RGB unchanged
      {0x1FFFFFFF, 0x1FFFFFFF},          // "none" is not a system colour
      {0x20000000, 0x20000000},          // nor is "default"
      {0xFF000000, RGB(212, 208, 200)},  // scroll bar
      {0xFF000005, RGB(255, 255, 255)},  // window
      {0xFF000008, RGB(0, 0, 0)},        // window text
      {0xFF00000D, RGB(10, 36, 106)},    // highlight
      {0xFF000018, RGB(255, 255, 225)},  // tooltip background
      {0xFF00001E, RGB(212, 208, 200)},  // menu bar, the last index
      {0xFF00001F, 0},                   // unknown index: black
      {0xFF0000FF, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ColorToRGB(c.in), c.out) << std::hex << c.in;
}

TEST(Bitmap, FourBytesAPixelBlackWhenMadeOpaqueOnceAsked) {
  struct Case {
    std::int32_t width, stride;
  } cases[] = {{1, 4}, {3, 12}, {150, 600}};
  for (const auto& c : cases) {
    TBitmap bitmap(c.width, 3);
    EXPECT_EQ(bitmap.Stride(), c.stride) << c.width;
    EXPECT_EQ(bitmap.Bytes().size(), static_cast<std::size_t>(c.stride) * 3);
    for (std::uint8_t b : bitmap.Bytes()) ASSERT_EQ(b, 0);
  }
  TBitmap bitmap(2, 2);
  std::uint8_t* row = bitmap.ScanLine(1);
  row[4] = 0x30;  // blue of pixel (1, 1)
  row[5] = 0x20;
  row[6] = 0x10;
  EXPECT_EQ(bitmap.Pixel(1, 1), RGB(0x10, 0x20, 0x30));
  EXPECT_EQ(bitmap.ScanLine(1) - bitmap.ScanLine(0), bitmap.Stride());

  // Made opaque, every pixel keeps its colour and gets 0xFF in its fourth byte.
  bitmap.EnsureOpaque();
  EXPECT_EQ(LoadPixelWord(bitmap.ScanLine(1) + 4), 0xFF102030u);
  const auto bytes = bitmap.Bytes();
  for (std::size_t i = 3; i < bytes.size(); i += 4) ASSERT_EQ(bytes[i], 0xFF) << i;
  // A whole pixel stored from a colour: red and blue change places, the fourth byte is 0xFF
  // whatever the word held.
  PutPixel(bitmap.ScanLine(0), PixelWord(RGB(0x11, 0x22, 0x33)) | 0x5A000000u);
  EXPECT_EQ(bitmap.Pixel(0, 0), RGB(0x11, 0x22, 0x33));
  EXPECT_EQ(LoadPixelWord(bitmap.ScanLine(0)), 0xFF112233u);
  EXPECT_EQ(LoadPixelWord(bitmap.ScanLine(0) + 4), 0xFF000000u);  // its neighbour untouched
}

TEST(Bitmap, CopiesOwnTheirPixels) {
  TBitmap original(3, 2);
  original.ScanLine(1)[2] = 0x7F;
  TBitmap copy(original);
  original.ScanLine(1)[2] = 0;
  EXPECT_EQ(copy.Width(), 3);
  EXPECT_EQ(copy.Stride(), original.Stride());
  EXPECT_EQ(copy.Pixel(0, 1), RGB(0x7F, 0, 0));
  TBitmap assigned(1, 1);
  assigned = copy;
  copy.ScanLine(1)[2] = 0;
  EXPECT_EQ(assigned.Pixel(0, 1), RGB(0x7F, 0, 0));
  assigned = TBitmap(0, 0);  // an empty picture copies as empty
  TBitmap empty(assigned);
  EXPECT_TRUE(empty.Empty());
  EXPECT_TRUE(empty.Bytes().empty());
}

TEST(Bitmap, NonPositiveSizesGiveAnEmptyPicture) {
  for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-1, 5}, {5, std::numeric_limits<int>::min()}}) {
    TBitmap bitmap(w, h);
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_TRUE(bitmap.Bytes().empty());
  }
}

TEST(Bitmap, AbsurdSizesThrowInsteadOfOverflowing) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  // 536870912 × 4 bytes is one more than the limit in the stride alone; kMax × 4 exceeds
  // 32 bits.
  for (auto [w, h] :
       {std::pair{kMax, kMax}, {536870912, 1}, {kMax, 1}, {1 << 20, 1 << 20}, {1, kMax}})
    EXPECT_THROW(TBitmap(w, h), std::length_error) << w << " x " << h;
}

TEST(StockObjects, AreSharedAndDescribeTheClassicDefaults) {
  EXPECT_EQ(GetStockObject(WHITE_BRUSH), GetStockObject(WHITE_BRUSH));
  struct Case {
    int index;
    TBrushKind kind;
    TColor color;
  } brushes[] = {{WHITE_BRUSH, TBrushKind::Solid, RGB(255, 255, 255)},
                 {LTGRAY_BRUSH, TBrushKind::Solid, RGB(192, 192, 192)},
                 {GRAY_BRUSH, TBrushKind::Solid, RGB(128, 128, 128)},
                 {DKGRAY_BRUSH, TBrushKind::Solid, RGB(64, 64, 64)},
                 {BLACK_BRUSH, TBrushKind::Solid, 0},
                 {NULL_BRUSH, TBrushKind::Null, 0}};
  for (const auto& c : brushes) {
    const THandle h = GetStockObject(c.index);
    ASSERT_TRUE(h) << c.index;
    EXPECT_EQ(h->Kind(), TObjectKind::Brush);
    EXPECT_EQ(h->Brush().Kind, c.kind) << c.index;
    EXPECT_EQ(h->Brush().Color, c.color) << c.index;
  }
  EXPECT_EQ(GetStockObject(WHITE_PEN)->Pen().Color, RGB(255, 255, 255));
  EXPECT_EQ(GetStockObject(BLACK_PEN)->Pen().Style, psSolid);
  EXPECT_EQ(GetStockObject(NULL_PEN)->Pen().Style, psClear);
  const TFontDesc& system = GetStockObject(SYSTEM_FONT)->Font();
  EXPECT_EQ(system.Height, 16);
  EXPECT_EQ(system.Weight, 700);
  EXPECT_EQ(GetStockObject(DEFAULT_GUI_FONT)->Kind(), TObjectKind::Font);
  for (int unknown : {-1, 9, 12, 14, 18, 255}) EXPECT_FALSE(GetStockObject(unknown)) << unknown;
}

TEST(Device, SelectObjectSwapsByKindAndReturnsThePrevious) {
  TRecordingDevice device;
  EXPECT_EQ(device.CurrentPen(), GetStockObject(BLACK_PEN));
  EXPECT_EQ(device.CurrentBrush(), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(device.CurrentFont(), GetStockObject(SYSTEM_FONT));

  const THandle pen = CreatePen({psDash, 3, RGB(1, 2, 3)});
  const THandle brush = CreateBrush({});
  EXPECT_EQ(device.SelectObject(pen), GetStockObject(BLACK_PEN));
  EXPECT_EQ(device.SelectObject(brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(device.CurrentPen(), pen);
  EXPECT_EQ(device.CurrentFont(), GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(device.SelectObject(GetStockObject(NULL_PEN)), pen);
  // An empty handle selects nothing.
  EXPECT_FALSE(device.SelectObject(nullptr));
  EXPECT_EQ(device.CurrentPen(), GetStockObject(NULL_PEN));
  EXPECT_EQ(device.CurrentBrush(), brush);
}

TEST(Graphics, InstalledServicesReplaceTheStandIn) {
  TRecordingGraphics mine(120);
  TGraphics* before = SetGraphics(&mine);
  EXPECT_EQ(&Graphics(), &mine);
  EXPECT_EQ(Graphics().ScreenPixelsPerInch(), 120);

  EXPECT_EQ(SetGraphics(nullptr), &mine);
  // The stand-in: 96 pixels per inch and recording memory devices.
  EXPECT_EQ(Graphics().ScreenPixelsPerInch(), 96);
  auto bitmap = std::make_shared<TBitmap>(4, 4);
  auto device = Graphics().CreateMemoryDevice(bitmap);
  EXPECT_NE(dynamic_cast<TRecordingDevice*>(device.get()), nullptr);
  EXPECT_EQ(device->Bitmap(), bitmap.get());

  EXPECT_EQ(SetGraphics(before), nullptr);
}

}  // namespace
}  // namespace platform
