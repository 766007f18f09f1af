// The pixel rules of the raster devices, run against the host's graphics services (Qt on
// Linux, GDI on Windows).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "tests/platform/rasterfixture.h"

namespace platform {
namespace {

TEST_F(Raster, PolygonsFillByTheEvenOddRule) {
  // A five-pointed star drawn in one stroke: its centre pentagon is crossed twice.
  std::vector<TPoint> star;
  for (int i = 0; i < 5; ++i) {
    const double a = -std::numbers::pi / 2 + i * 4 * std::numbers::pi / 5;
    star.push_back({static_cast<std::int32_t>(std::lround(20 + 18 * std::cos(a))),
                    static_cast<std::int32_t>(std::lround(20 + 18 * std::sin(a)))});
  }
  device->SelectObject(GetStockObject(NULL_PEN));
  device->SelectObject(Solid(kRed));
  device->Polygon(star);
  EXPECT_EQ(At(20, 20), kWhite);  // centre: inside twice
  EXPECT_EQ(At(20, 6), kRed);     // top arm: inside once
  EXPECT_EQ(At(0, 0), kWhite);
}

TEST_F(Raster, RectanglesAndEllipsesExcludeTheirRightAndBottomEdges) {
  struct Case {
    bool ellipse;
    THandle pen;
  } cases[] = {
      {false, GetStockObject(BLACK_PEN)},       {false, GetStockObject(NULL_PEN)},
      {false, CreatePen({psClear, 5, kBlack})}, {true, GetStockObject(BLACK_PEN)},
      {true, GetStockObject(NULL_PEN)},         {false, CreatePen({psInsideFrame, 3, kBlack})},
  };
  for (const auto& c : cases) {
    Make(30, 30);
    device->SelectObject(c.pen);
    device->SelectObject(Solid(kRed));
    const TRect rect{5, 6, 15, 16};
    c.ellipse ? device->Ellipse(rect) : device->Rectangle(rect);
    const bool outline = c.pen->Pen().Style != psClear;
    SCOPED_TRACE(::testing::Message() << (c.ellipse ? "ellipse " : "rectangle ") << outline << " "
                                      << c.pen->Pen().Width);
    if (c.ellipse && !outline) {
      // The fill of a curve may fall short of the box by a pixel, never beyond it.
      const TBox ink = Ink();
      EXPECT_TRUE(ink.Left >= 5 && ink.Top >= 6 && ink.Right <= 14 && ink.Bottom <= 15) << ink;
      EXPECT_TRUE(ink.Left <= 6 && ink.Top <= 7 && ink.Right >= 13 && ink.Bottom >= 14) << ink;
    } else {
      EXPECT_EQ(Ink(), (TBox{5, 6, 14, 15}));
    }
    EXPECT_EQ(At(10, 11), kRed);
    EXPECT_EQ(Count(kBlack) > 0, outline);
    if (!c.ellipse && c.pen->Pen().Width <= 1) {
      EXPECT_EQ(At(5, 6), outline ? kBlack : kRed);
      EXPECT_EQ(At(14, 15), outline ? kBlack : kRed);
    }
  }
}

TEST_F(Raster, ClearPenAndNullBrushDrawNothing) {
  device->SelectObject(CreatePen({psClear, 1, kBlack}));
  device->SelectObject(GetStockObject(NULL_BRUSH));
  const TPoint triangle[] = {{2, 2}, {30, 2}, {15, 30}};
  device->Polygon(triangle);
  device->Polyline(triangle);
  device->Rectangle({1, 1, 20, 20});
  device->Ellipse({1, 1, 20, 20});
  device->FillRect({1, 1, 20, 20}, GetStockObject(NULL_BRUSH));
  EXPECT_EQ(Ink(), TBox{});
}

TEST_F(Raster, OnePixelPenDrawsWhatTheZeroWidthPenDraws) {
  const TPoint zigzag[] = {{1, 1}, {30, 7}, {4, 20}, {37, 38}, {20, 2}};
  std::vector<std::uint8_t> first;
  for (std::int32_t width : {0, 1}) {
    Make(40, 40);
    device->SelectObject(CreatePen({psSolid, width, kBlack}));
    device->SelectObject(Solid(kRed));
    device->Polyline(zigzag);
    device->Polygon(std::span(zigzag).subspan(1, 3));
    const auto bytes = bitmap->Bytes();
    if (width == 0)
      first.assign(bytes.begin(), bytes.end());
    else
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), first.begin()));
  }
  EXPECT_GT(Count(kBlack), 60);
}

TEST_F(Raster, WidePensAreThickAndCentredOnTheLine) {
  device->SelectObject(CreatePen({psDash, 5, kBlack}));  // wide pens are solid
  const TPoint line[] = {{5, 20}, {35, 20}};
  device->Polyline(line);
  const TBox ink = Ink();
  EXPECT_EQ(ink.Top, 18);
  EXPECT_EQ(ink.Bottom, 22);
  for (std::int32_t x = 6; x < 34; ++x) ASSERT_EQ(At(x, 20), kBlack) << x;
}

TEST_F(Raster, DashGapsTakeTheBackgroundOnlyWhenOpaque) {
  device->SelectObject(CreatePen({psDash, 1, kBlack}));
  device->SetBkColor(kGreen);
  const TPoint top[] = {{0, 5}, {40, 5}};
  const TPoint bottom[] = {{0, 10}, {40, 10}};
  device->SetBkMode(TRANSPARENT);
  device->Polyline(top);
  device->SetBkMode(OPAQUE);
  device->Polyline(bottom);
  int black = 0, green = 0, white = 0;
  for (std::int32_t x = 0; x < 40; ++x) {
    black += At(x, 5) == kBlack;
    white += At(x, 5) == kWhite;
    EXPECT_NE(At(x, 10), kWhite) << x;
    green += At(x, 10) == kGreen;
  }
  EXPECT_GT(black, 0);
  EXPECT_GT(white, 0);
  EXPECT_GT(green, 0);
}

TEST_F(Raster, HatchLinesInTheBrushColourGapsByTheBackgroundMode) {
  TBrushDesc hatch;
  hatch.Kind = TBrushKind::Hatched;
  hatch.Hatch = hsHorizontal;
  hatch.Color = kBlue;
  for (TBkMode mode : {TRANSPARENT, OPAQUE}) {
    Make(32, 32);
    device->SetBkMode(mode);
    device->SetBkColor(kGreen);
    device->FillRect({0, 0, 32, 32}, CreateBrush(hatch));
    const TColor gap = mode == OPAQUE ? kGreen : kWhite;
    // One line every eight rows, the same in every column.
    int lines = 0;
    for (std::int32_t y = 0; y < 32; ++y) {
      const TColor row = At(0, y);
      ASSERT_TRUE(row == kBlue || row == gap) << y;
      for (std::int32_t x = 1; x < 32; ++x) ASSERT_EQ(At(x, y), row) << x << "," << y;
      lines += row == kBlue;
    }
    EXPECT_EQ(lines, 4);
  }

  // The diagonal "\" runs down to the right.
  Make(16, 16);
  hatch.Hatch = hsFDiagonal;
  device->FillRect({0, 0, 16, 16}, CreateBrush(hatch));
  for (std::int32_t y = 0; y < 15; ++y)
    for (std::int32_t x = 0; x < 15; ++x)
      if (At(x, y) == kBlue) {
        EXPECT_EQ(At(x + 1, y + 1), kBlue) << x << "," << y;
      }
}

TEST_F(Raster, PatternBrushZeroBitsTakeTheTextColourOneBitsTheBackground) {
  TBrushDesc rows;  // alternate rows: 00 FF 00 FF ...
  rows.Kind = TBrushKind::Pattern;
  rows.Pattern = {0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF};
  for (TBkMode mode : {OPAQUE, TRANSPARENT}) {
    Make(16, 16, kGrey);
    device->SetTextColor(kRed);
    device->SetBkColor(kWhite);
    device->SetBkMode(mode);
    device->SelectObject(GetStockObject(NULL_PEN));
    device->SelectObject(CreateBrush(rows));
    device->Rectangle({0, 0, 16, 16});
    for (std::int32_t y = 0; y < 16; ++y)
      EXPECT_EQ(At(y % 5, y), y % 2 == 0 ? kRed : (mode == OPAQUE ? kWhite : kGrey)) << y;
  }

  // The pattern follows the text colour of the moment.
  const THandle brush = CreateBrush(rows);
  device->SetTextColor(kBlue);
  device->FillRect({0, 0, 4, 4}, brush);
  EXPECT_EQ(At(0, 0), kBlue);
}

TEST_F(Raster, PatternsRepeatFromTheDeviceOrigin) {
  TBrushDesc dot;  // a single 0 bit, top left of the 8 × 8 cell
  dot.Kind = TBrushKind::Pattern;
  dot.Pattern = {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  device->SetTextColor(kRed);
  device->SetBkMode(TRANSPARENT);
  device->SetViewportOrigin({3, 5});
  device->FillRect({-3, -5, 37, 35}, CreateBrush(dot));
  device->SelectObject(GetStockObject(NULL_PEN));
  device->SelectObject(CreateBrush(dot));
  const TPoint square[] = {{-3, -5}, {37, -5}, {37, 35}, {-3, 35}};
  device->Polygon(square);
  for (std::int32_t y = 0; y < 40; ++y)
    for (std::int32_t x = 0; x < 40; ++x)
      ASSERT_EQ(At(x, y), x % 8 == 0 && y % 8 == 0 ? kRed : kWhite) << x << "," << y;
}

TEST_F(Raster, ViewportOriginMovesDrawingButNotTheClipRectangle) {
  Make(40, 40);
  device->SetViewportOrigin({10, 20});
  device->SelectObject(GetStockObject(NULL_PEN));
  device->SelectObject(Solid(kRed));
  device->Rectangle({0, 0, 5, 5});
  EXPECT_EQ(Ink(), (TBox{10, 20, 14, 24}));
  device->SetPixel(-10, -20, kBlue);
  EXPECT_EQ(At(0, 0), kBlue);

  Make(40, 40);
  device->SetViewportOrigin({10, 20});
  device->SelectObject(GetStockObject(NULL_PEN));
  device->SelectObject(Solid(kRed));
  device->SetClipRect({0, 0, 12, 40});  // device pixels
  device->Rectangle({0, 0, 5, 5});
  device->SetPixel(2, 2, kBlue);  // device (12, 22): clipped
  EXPECT_EQ(Ink(), (TBox{10, 20, 11, 24}));

  device->RemoveClipping();
  device->Rectangle({0, 0, 5, 5});
  EXPECT_EQ(Ink(), (TBox{10, 20, 14, 24}));

  device->SetClipRect({5, 5, 5, 30});  // empty: nothing is drawn
  device->FillRect({-10, -20, 30, 20}, Solid(kBlue));
  device->SetPixel(0, 0, kBlue);
  EXPECT_EQ(Count(kBlue), 0);
}

TEST_F(Raster, FarAwayCoordinatesAreClippedNotCorrupted) {
  device->SelectObject(GetStockObject(NULL_PEN));
  device->SelectObject(Solid(kRed));
  const std::int32_t big = 1'000'000'000;
  const TPoint huge[] = {{-big, -big}, {big, -big}, {big, big}, {-big, big}};
  device->Polygon(huge);
  EXPECT_EQ(Count(kRed), 40 * 40);

  device->SelectObject(GetStockObject(BLACK_PEN));
  const TPoint across[] = {{-2 * big, 7}, {2 * big, 7}};
  device->Polyline(across);
  for (std::int32_t x = 0; x < 40; ++x) ASSERT_EQ(At(x, 7), kBlack) << x;
  device->SetPixel(big, big, kBlue);
  device->SetPixel(-1, 0, kBlue);
  EXPECT_EQ(Count(kBlue), 0);
}

TEST_F(Raster, TextAlignmentAndEscapementPlaceTheText) {
  struct Case {
    std::uint16_t align;
    std::int32_t escapement;
    const char* where;
  } cases[] = {
      {TA_LEFT | TA_TOP, 0, "right of x, below y"},
      {TA_RIGHT | TA_TOP, 0, "left of x, below y"},
      {TA_CENTER | TA_TOP, 0, "centred on x"},
      {TA_LEFT | TA_BOTTOM, 0, "above y"},
      {TA_LEFT | TA_BASELINE, 0, "on the baseline"},
      {TA_LEFT | TA_BASELINE, 900, "upwards, left of x"},
      {TA_LEFT | TA_BASELINE, 2700, "downwards, right of x"},
  };
  const std::int32_t x = 100, y = 100;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    Make(200, 200);
    TFontDesc font;
    font.Height = 20;
    font.Escapement = c.escapement;
    device->SelectObject(CreateFontObject(font));
    device->SetTextAlign(c.align);
    device->SetBkMode(TRANSPARENT);
    device->TextOut(x, y, "HHHH");
    const TSize extent = device->TextExtent("HHHH");
    const TBox ink = Ink();
    ASSERT_LE(ink.Left, ink.Right);
    const std::int32_t w = ink.Right - ink.Left + 1, h = ink.Bottom - ink.Top + 1;
    // Capital H stands between baseline and ascent: about 0.7 of the 20-pixel height.
    if (c.escapement == 0) {
      EXPECT_GT(w, 2 * h);
      EXPECT_NEAR(h, 15, 2);
    } else {
      EXPECT_GT(h, 2 * w);
      EXPECT_NEAR(w, 15, 2);
    }
    switch (c.align | (c.escapement << 8)) {
      case TA_LEFT | TA_TOP:
        EXPECT_NEAR(ink.Left, x, 3);
        EXPECT_GT(ink.Top, y);
        EXPECT_LT(ink.Top, y + 8);
        break;
      case TA_RIGHT | TA_TOP:
        EXPECT_NEAR(ink.Right, x, 3);
        EXPECT_LE(ink.Right, x);
        break;
      case TA_CENTER | TA_TOP:
        EXPECT_NEAR((ink.Left + ink.Right) / 2, x, 2);
        break;
      case TA_LEFT | TA_BOTTOM:
        EXPECT_LT(ink.Bottom, y - 2);  // the descent lies below the H
        EXPECT_GT(ink.Bottom, y - 10);
        break;
      case TA_LEFT | TA_BASELINE:
        EXPECT_EQ(ink.Bottom, y - 1);
        break;
      case TA_LEFT | TA_BASELINE | (900 << 8):
        EXPECT_EQ(ink.Right, x - 1);
        EXPECT_LT(ink.Bottom, y + 1);
        EXPECT_NEAR(ink.Top, y - extent.cx, 4);
        break;
      case TA_LEFT | TA_BASELINE | (2700 << 8):
        EXPECT_EQ(ink.Left, x);
        EXPECT_GE(ink.Top, y - 1);
        EXPECT_NEAR(ink.Bottom, y + extent.cx, 4);
        break;
    }
  }
}

TEST_F(Raster, TextColourAndOpaqueBackground) {
  TFontDesc font;
  font.Height = 16;
  device->SelectObject(CreateFontObject(font));
  device->SetTextColor(kBlue);
  device->SetBkColor(kGreen);
  device->SetBkMode(OPAQUE);
  device->TextOut(2, 2, "Ab");
  const TSize extent = device->TextExtent("Ab");
  EXPECT_GT(extent.cx, 8);
  EXPECT_GE(extent.cy, 16);
  EXPECT_EQ(Ink(), (TBox{2, 2, 2 + extent.cx - 1, 2 + extent.cy - 1}));
  EXPECT_GT(Count(kBlue), 10);
  EXPECT_GT(Count(kGreen), 10);
}

TEST_F(Raster, FocusRectangleTwiceRestoresThePixels) {
  device->FillRect({5, 5, 30, 30}, Solid(RGB(10, 200, 30)));
  const std::vector<std::uint8_t> before(bitmap->Bytes().begin(), bitmap->Bytes().end());
  device->SetViewportOrigin({1, 2});
  device->DrawFocusRect({3, 3, 20, 12});   // device (4, 5) - (21, 14)
  EXPECT_EQ(At(4, 6), kBlack);             // inverted white
  EXPECT_EQ(At(4, 5), kWhite);             // every other pixel, counted from the device origin
  EXPECT_EQ(At(5, 5), RGB(245, 55, 225));  // inverted green
  EXPECT_EQ(At(6, 5), RGB(10, 200, 30));
  EXPECT_EQ(At(20, 6), RGB(245, 55, 225));  // right edge
  EXPECT_EQ(At(20, 13), RGB(10, 200, 30));  // bottom edge, odd
  EXPECT_EQ(At(19, 13), RGB(245, 55, 225));
  EXPECT_EQ(At(21, 7), RGB(10, 200, 30));  // outside
  EXPECT_EQ(Ink(), (TBox{4, 5, 29, 29}));
  device->DrawFocusRect({3, 3, 20, 12});
  EXPECT_TRUE(std::equal(before.begin(), before.end(), bitmap->Bytes().begin()));

  // Thin rectangles touch each pixel once as well.
  device->DrawFocusRect({0, 0, 1, 9});
  device->DrawFocusRect({0, 0, 9, 1});
  device->DrawFocusRect({0, 0, 1, 9});
  device->DrawFocusRect({0, 0, 9, 1});
  EXPECT_TRUE(std::equal(before.begin(), before.end(), bitmap->Bytes().begin()));
}

TEST_F(Raster, PicturesAreCopiedAndStretchedWithoutSmoothing) {
  TBitmap picture(2, 2);
  const TColor colours[2][2] = {{kRed, kGreen}, {kBlue, kBlack}};  // [y][x]
  for (std::int32_t y = 0; y < 2; ++y)
    for (std::int32_t x = 0; x < 2; ++x)
      PutPixel(picture.ScanLine(y) + TBitmap::kPixelBytes * x, PixelWord(colours[y][x]));
  device->DrawBitmap(3, 4, picture);
  device->StretchBitmap({10, 10, 18, 18}, picture);
  device->StretchBitmap({30, 10, 26, 14}, picture);  // mirrored left to right
  for (std::int32_t y = 0; y < 2; ++y)
    for (std::int32_t x = 0; x < 2; ++x) EXPECT_EQ(At(3 + x, 4 + y), colours[y][x]);
  for (std::int32_t y = 0; y < 8; ++y)
    for (std::int32_t x = 0; x < 8; ++x)
      ASSERT_EQ(At(10 + x, 10 + y), colours[y / 4][x / 4]) << x << "," << y;
  for (std::int32_t y = 0; y < 4; ++y)
    for (std::int32_t x = 0; x < 4; ++x)
      ASSERT_EQ(At(26 + x, 10 + y), colours[y / 2][1 - x / 2]) << x << "," << y;
  EXPECT_EQ(Count(kWhite), 40 * 40 - 4 - 64 - 16);
}

TEST_F(Raster, DrawingAndDirectRowWritesShareThePixels) {
  for (std::int32_t x = 0; x < 40; ++x) {
    std::uint8_t* p = bitmap->ScanLine(3) + TBitmap::kPixelBytes * x;
    p[0] = p[1] = 0;  // red, written straight into the row
  }
  device->SetBkMode(TRANSPARENT);
  device->SelectObject(CreatePen({psDot, 0, kBlack}));
  const TPoint line[] = {{0, 3}, {40, 3}};
  device->Polyline(line);
  int red = 0, black = 0;
  for (std::int32_t x = 0; x < 40; ++x) {
    red += At(x, 3) == kRed;
    black += At(x, 3) == kBlack;
  }
  EXPECT_EQ(red + black, 40);
  EXPECT_GT(red, 0);
  EXPECT_GT(black, 0);
  EXPECT_EQ(device->Bitmap(), bitmap.get());
}

}  // namespace
}  // namespace platform
