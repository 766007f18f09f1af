#include "platform/win32/gdidevice.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/utf.h"
#include "platform/win32/winapi.h"
#include "tests/platform/rasterfixture.h"

namespace platform {
namespace {

std::filesystem::path TempPath(const std::wstring& Name) {
  return std::filesystem::temp_directory_path() / Name;
}

std::string Utf8Path(const std::filesystem::path& Path) { return Utf8(Path.wstring()); }

// The message of the std::runtime_error Action throws; empty when it throws none.
template <class Fn>
std::string ErrorOf(Fn Action) {
  try {
    Action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return {};
}

// The shared raster fixture on the GDI memory device.
class GdiRaster : public Raster {
 protected:
  void SetUp() override {
    Raster::SetUp();
    ASSERT_NE(dynamic_cast<TGdiMemoryDevice*>(device.get()), nullptr);
  }
  HDC Dc() const { return static_cast<TGdiDevice&>(*device).Dc(); }
};

TEST_F(GdiRaster, DirectWritesAndGdiShareOneMemory) {
  // A direct write is what GDI reads ...
  PutPixel(bitmap->ScanLine(3) + TBitmap::kPixelBytes * 7, PixelWord(kRed));
  EXPECT_EQ(::GetPixel(Dc(), 7, 3), kRed);
  // ... also when GDI copies it elsewhere in the same picture.
  ::BitBlt(Dc(), 20, 20, 1, 1, Dc(), 7, 3, SRCCOPY);
  EXPECT_EQ(At(20, 20), kRed);
  // What GDI draws is in the rows at once.
  device->FillRect({0, 10, 40, 11}, Solid(kBlue));
  for (std::int32_t x = 0; x < 40; ++x) ASSERT_EQ(At(x, 10), kBlue) << x;
  ::SetPixelV(Dc(), 5, 30, kGreen);
  ::GdiFlush();
  EXPECT_EQ(At(5, 30), kGreen);
  // A copy of the picture is memory of its own.
  const TBitmap copy(*bitmap);
  device->FillRect({0, 0, 40, 40}, Solid(kBlack));
  EXPECT_EQ(copy.Pixel(0, 10), kBlue);
  EXPECT_EQ(At(0, 10), kBlack);
}

TEST_F(GdiRaster, FourthByteIsSetAgainAfterGdiDrew) {
  // GDI writes 0 into the fourth byte: EnsureOpaque must not take the picture for opaque
  // after GDI drew.
  bitmap->EnsureOpaque();
  device->FillRect({0, 0, 40, 40}, Solid(kRed));
  device->SetPixel(3, 3, kBlue);  // direct, sets the byte itself
  EXPECT_EQ(bitmap->Bytes()[3], 0);
  bitmap->EnsureOpaque();
  const auto bytes = bitmap->Bytes();
  for (std::size_t i = 3; i < bytes.size(); i += 4) ASSERT_EQ(bytes[i], 0xFF) << i / 4;
  EXPECT_EQ(At(0, 0), kRed);
  EXPECT_EQ(At(3, 3), kBlue);
}

TEST_F(GdiRaster, FarAwayTextAndPicturesDrawNothingAndRaiseNothing) {
  const std::int32_t big = 2'000'000'000;
  const TBitmap picture(4, 4);
  device->TextOut(big, big, "far");
  device->TextOut(-big, 5, "far");
  device->DrawBitmap(big, 0, picture);
  device->DrawBitmap(-big, -big, picture);
  device->StretchBitmap({-big, 0, 10, 10}, picture);
  device->SetViewportOrigin({-big, 0});  // near in logical units, far on the device
  device->TextOut(5, 5, "far");
  device->DrawBitmap(5, 5, picture);
  EXPECT_EQ(Ink(), TBox{});
}

TEST_F(GdiRaster, NonAsciiTextAndUnknownFaceNamesDraw) {
  for (const char* face : {"", "Tahoma", "No Such Face Orvane"}) {
    SCOPED_TRACE(face);
    Make(120, 40);
    TFontDesc font;
    font.Height = 18;
    font.FaceName = face;
    device->SelectObject(CreateFontObject(font));
    device->SetBkMode(TRANSPARENT);
    device->TextOut(2, 2, "Grüße Ωμ");
    const TSize extent = device->TextExtent("Grüße Ωμ");
    EXPECT_GT(extent.cx, 40);
    EXPECT_GE(extent.cy, 18);
    const TBox ink = Ink();
    EXPECT_GE(ink.Left, 2);
    EXPECT_GT(ink.Right, 40);
    EXPECT_LE(ink.Right, 2 + extent.cx);
  }
}

TEST(GdiDevice, PutsTheDcsOwnObjectsAndStateBack) {
  HDC dc = ::CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP dib = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(dib, nullptr);
  HGDIOBJ old_bitmap = ::SelectObject(dc, dib);
  const std::array<UINT, 3> kinds = {OBJ_PEN, OBJ_BRUSH, OBJ_FONT};
  std::array<HGDIOBJ, 3> before{}, during{};
  for (std::size_t i = 0; i < kinds.size(); ++i) before[i] = ::GetCurrentObject(dc, kinds[i]);
  const int bk_mode = ::GetBkMode(dc);
  const COLORREF text_colour = ::GetTextColor(dc);
  {
    TGdiDevice device(dc);
    device.SelectObject(CreatePen({psDash, 0, RGB(1, 2, 3)}));
    device.SelectObject(Solid(RGB(4, 5, 6)));
    TFontDesc font;
    font.Height = 9;
    device.SelectObject(CreateFontObject(font));
    device.SetBkMode(TRANSPARENT);
    device.SetTextColor(RGB(7, 8, 9));
    device.SetViewportOrigin({3, 4});
    device.SetClipRect({0, 0, 8, 8});
    device.Rectangle({0, 0, 10, 10});
    device.TextOut(0, 0, "x");
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      during[i] = ::GetCurrentObject(dc, kinds[i]);
      EXPECT_NE(during[i], before[i]) << i;
    }
  }
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    EXPECT_EQ(::GetCurrentObject(dc, kinds[i]), before[i]) << i;
    EXPECT_EQ(::GetObjectType(during[i]), 0u) << i;  // deleted with their drawing objects
  }
  EXPECT_EQ(::GetBkMode(dc), bk_mode);
  EXPECT_EQ(::GetTextColor(dc), text_colour);
  POINT origin{};
  ::GetWindowOrgEx(dc, &origin);
  EXPECT_EQ(origin.x, 0);
  EXPECT_EQ(::GetClipRgn(dc, ::CreateRectRgn(0, 0, 0, 0)), 0);  // no clipping
  ::SelectObject(dc, old_bitmap);
  ::DeleteObject(dib);
  ::DeleteDC(dc);
}

TEST(GdiDevice, LeavesNoGdiObjectsBehind) {
  // A frame draws with every kind of object, made anew, on a new memory device.
  TBrushDesc hatch;
  hatch.Kind = TBrushKind::Hatched;
  hatch.Hatch = hsDiagCross;
  TBrushDesc pattern;
  pattern.Kind = TBrushKind::Pattern;
  pattern.Pattern = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
  TGdiGraphics graphics;
  TBitmap picture(4, 4);
  auto frame = [&](int i) {
    auto bitmap = std::make_shared<TBitmap>(64, 64);
    auto device = graphics.CreateMemoryDevice(bitmap);
    const TPoint triangle[] = {{1, 1}, {60, 5}, {30, 60}};
    device->SetClipRect({2, 2, 62, 62});
    for (const TPenDesc& pen :
         {TPenDesc{psDot, 0, RGB(0, 0, 0)}, TPenDesc{psSolid, 5, RGB(255, 0, 0)},
          TPenDesc{psInsideFrame, 3, RGB(0, 0, 255)}, TPenDesc{psClear, 0, 0}}) {
      device->SelectObject(CreatePen(pen));
      for (const TBrushDesc& brush : {hatch, pattern, TBrushDesc{}}) {
        device->SelectObject(CreateBrush(brush));
        device->SetBkMode(i % 2 == 0 ? OPAQUE : TRANSPARENT);
        device->Polygon(triangle);
        device->Ellipse({3, 3, 40, 30});
        device->FillRect({10, 10, 20, 20}, CreateBrush(brush));
      }
      device->Polyline(triangle);
    }
    TFontDesc font;
    font.Height = 10 + i % 7;
    font.Escapement = 450;
    device->SelectObject(CreateFontObject(font));
    device->TextOut(5, 40, "leak");
    (void)device->TextExtent("leak");
    device->DrawFocusRect({4, 4, 30, 30});
    device->StretchBitmap({0, 0, 16, 16}, picture);
    device->RemoveClipping();
  };
  frame(0);  // the stock objects' GDI objects are made once, for good
  const std::int64_t live = TGdiDevice::LiveObjects();
  const DWORD system = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  for (int i = 0; i < 1000; ++i) frame(i);
  EXPECT_EQ(TGdiDevice::LiveObjects(), live);
  // Wine's GetGuiResources gives 0 whatever is there; Windows counts.
  if (system != 0) {
    EXPECT_LE(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS), system + 2);
  }
}

TEST(GdiDevice, FailuresNameTheCall) {
  // A handle that is no DC: GDI refuses it.
  const std::string message =
      ErrorOf([] { TGdiDevice device(reinterpret_cast<HDC>(std::uintptr_t{0x7ffe1234})); });
  EXPECT_EQ(message.rfind("SaveDC failed: ", 0), 0u) << message;
}

TEST(GdiMemoryDevice, EmptyPicturesDrawNothing) {
  TGdiGraphics graphics;
  EXPECT_GT(graphics.ScreenPixelsPerInch(), 0);
  const std::int64_t live = TGdiDevice::LiveObjects();
  for (auto bitmap : {std::shared_ptr<TBitmap>(), std::make_shared<TBitmap>(0, 0)}) {
    auto device = graphics.CreateMemoryDevice(bitmap);
    EXPECT_EQ(device->PixelsPerInchY(), graphics.ScreenPixelsPerInch());
    const TPoint line[] = {{0, 0}, {5, 5}};
    device->Polyline(line);
    device->SetPixel(0, 0, RGB(255, 0, 0));
    device->DrawFocusRect({0, 0, 4, 4});
    device->TextOut(0, 0, "x");
    EXPECT_EQ(device->TextExtent("x"), TSize{});
    EXPECT_EQ(device->Bitmap(), bitmap.get());
  }
  EXPECT_EQ(TGdiDevice::LiveObjects(), live);
}

TEST(GdiGraphics, EnhancedMetafilesAreWrittenAndPlayBack) {
  TGdiGraphics graphics;
  const auto path = TempPath(L"orvane-gdi-\u00e9t\u00e9.emf");  // a name beyond ASCII
  std::filesystem::remove(path);
  for (std::int32_t ppi : {96, 300}) {
    SCOPED_TRACE(ppi);
    {
      auto device = graphics.CreateVectorFileDevice(TVectorFormat::Emf, Utf8Path(path), 200, 100,
                                                    ppi, "Orvane test");
      EXPECT_EQ(device->PixelsPerInchY(), ppi);
      device->SetViewportOrigin({10, 0});  // the origin is in pixels, the clip too
      device->SetClipRect({0, 0, 100, 100});
      device->SelectObject(GetStockObject(NULL_PEN));
      device->SelectObject(Solid(kRed));
      device->Rectangle({-10, 0, 190, 100});  // clipped to the left half
      device->RemoveClipping();
      device->FillRect({90, 50, 190, 100}, Solid(kBlue));  // the bottom right quarter
      device->SetBkMode(TRANSPARENT);
      device->TextOut(100, 10, "EMF");
    }
    ASSERT_TRUE(std::filesystem::exists(path));
    HENHMETAFILE metafile = ::GetEnhMetaFileW(path.c_str());
    ASSERT_NE(metafile, nullptr);
    ENHMETAHEADER header{};
    ASSERT_NE(::GetEnhMetaFileHeader(metafile, sizeof header, &header), 0u);
    // The frame is the size in 0.01 mm.
    EXPECT_NEAR(header.rclFrame.right - header.rclFrame.left, 200 * 2540 / ppi, 3);
    EXPECT_NEAR(header.rclFrame.bottom - header.rclFrame.top, 100 * 2540 / ppi, 3);
    std::wstring description(::GetEnhMetaFileDescriptionW(metafile, 0, nullptr), L'\0');
    ::GetEnhMetaFileDescriptionW(metafile, static_cast<UINT>(description.size()),
                                 description.data());
    EXPECT_EQ(description.rfind(L"Orvane test", 0), 0u);

    // Played back into a picture of the frame's size in pixels.
    auto bitmap = std::make_shared<TBitmap>(200, 100);
    {
      auto target = graphics.CreateMemoryDevice(bitmap);
      target->FillRect({0, 0, 200, 100}, Solid(kWhite));
      HDC dc = static_cast<TGdiDevice&>(*target).Dc();
      const RECT bounds{0, 0, 200, 100};
      EXPECT_TRUE(::PlayEnhMetaFile(dc, metafile, &bounds));
      ::GdiFlush();
    }
    ::DeleteEnhMetaFile(metafile);
    EXPECT_EQ(bitmap->Pixel(5, 5), kRed);
    EXPECT_EQ(bitmap->Pixel(95, 40), kRed);
    EXPECT_EQ(bitmap->Pixel(104, 5), kWhite);
    EXPECT_EQ(bitmap->Pixel(150, 80), kBlue);
    EXPECT_EQ(bitmap->Pixel(5, 80), kRed);
    int text = 0;  // black ink of the text, right of the red half, above the blue quarter
    for (std::int32_t y = 5; y < 50; ++y)
      for (std::int32_t x = 100; x < 200; ++x) text += bitmap->Pixel(x, y) != kWhite;
    EXPECT_GT(text, 10);
    std::filesystem::remove(path);
  }
}

TEST(GdiGraphics, VectorFileErrors) {
  TGdiGraphics graphics;
  for (auto format : {TVectorFormat::Svg, TVectorFormat::Pdf})
    EXPECT_EQ(
        ErrorOf([&] { (void)graphics.CreateVectorFileDevice(format, "x.svg", 10, 10, 96, ""); }),
        "Vector output is not supported");
  const std::string missing = Utf8Path(TempPath(L"no-such-folder-orvane")) + "\\out.emf";
  const std::string message = ErrorOf(
      [&] { (void)graphics.CreateVectorFileDevice(TVectorFormat::Emf, missing, 10, 10, 96, ""); });
  EXPECT_NE(message.find(missing), std::string::npos) << message;
  EXPECT_THROW((void)graphics.CreateVectorFileDevice(TVectorFormat::Emf, "x.emf", 0, 10, 96, ""),
               std::invalid_argument);
  EXPECT_THROW((void)graphics.CreateVectorFileDevice(TVectorFormat::Emf, "x.emf", 10, 10, 0, ""),
               std::invalid_argument);
}

// A 3 × 2 24-bit BMP file, rows bottom-up as BMP files keep them.
std::vector<char> SmallBmp() {
  const int stride = 12;  // 9 bytes padded to 4
  std::vector<char> file(54 + 2 * stride, 0);
  auto put32 = [&](std::size_t At, std::uint32_t V) {
    for (int i = 0; i < 4; ++i) file[At + i] = static_cast<char>(V >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<std::uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 3);
  put32(22, 2);
  file[26] = 1;
  file[28] = 24;
  // Bottom row: red, green, blue; top row: white, black, grey (blue, green, red bytes).
  const unsigned char rows[2][9] = {{0, 0, 255, 0, 255, 0, 255, 0, 0},
                                    {255, 255, 255, 0, 0, 0, 128, 128, 128}};
  for (int r = 0; r < 2; ++r)
    for (int i = 0; i < 9; ++i) file[54 + r * stride + i] = static_cast<char>(rows[r][i]);
  return file;
}

TEST(GdiGraphics, LoadsBmpPicturesOnly) {
  TGdiGraphics graphics;
  const auto path = TempPath(L"orvane-gdi-bild-\u00e4.bmp");
  {
    const std::vector<char> bytes = SmallBmp();
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  const auto picture = graphics.LoadPicture(Utf8Path(path));
  ASSERT_EQ(picture->Width(), 3);
  ASSERT_EQ(picture->Height(), 2);
  EXPECT_EQ(picture->Pixel(0, 0), kWhite);
  EXPECT_EQ(picture->Pixel(1, 0), kBlack);
  EXPECT_EQ(picture->Pixel(2, 0), kGrey);
  EXPECT_EQ(picture->Pixel(0, 1), kRed);
  EXPECT_EQ(picture->Pixel(1, 1), kGreen);
  EXPECT_EQ(picture->Pixel(2, 1), kBlue);

  // Other formats, missing and damaged files.
  const auto png = TempPath(L"orvane-gdi.png");
  std::filesystem::copy_file(path, png, std::filesystem::copy_options::overwrite_existing);
  const auto damaged = TempPath(L"orvane-gdi-damaged.bmp");
  {
    std::ofstream out(damaged, std::ios::binary);
    out << "BM not a picture";
  }
  for (const auto& name : {Utf8Path(png), Utf8Path(damaged), Utf8Path(TempPath(L"none.bmp"))})
    EXPECT_EQ(ErrorOf([&] { (void)graphics.LoadPicture(name); }), "Unable to load picture " + name);
  std::filesystem::remove(path);
  std::filesystem::remove(png);
  std::filesystem::remove(damaged);
}

TEST(GdiPrinterDevice, PrintersThatCannotBeOpenedAreNamed) {
  const std::string message =
      ErrorOf([] { TGdiPrinterDevice printer("No Such Printer Orvane", "test"); });
  EXPECT_EQ(message.rfind("CreateDCW for printer \"No Such Printer Orvane\" failed: ", 0), 0u)
      << message;
  // No print job is started here on a machine that has a default printer.
  if (DefaultPrinterName().empty()) {
    EXPECT_EQ(ErrorOf([] { TGdiPrinterDevice printer("", "test"); }),
              "There is no default printer");
  }
}

TEST(Utf, ConvertsBothWays) {
  EXPECT_EQ(Utf16("a\xc3\xa4\xe2\x82\xac\xf0\x9f\x8c\x8d"), L"a\u00e4\u20ac\U0001F30D");
  EXPECT_EQ(Utf8(L"a\u00e4\u20ac\U0001F30D"), "a\xc3\xa4\xe2\x82\xac\xf0\x9f\x8c\x8d");
  EXPECT_EQ(Utf16("x\xff"), L"x\uFFFD");  // not UTF-8
  EXPECT_EQ(Utf16(""), L"");
  std::wstring reused = L"longer text before";
  Utf16("ab", reused);
  EXPECT_EQ(reused, L"ab");
}

}  // namespace
}  // namespace platform
