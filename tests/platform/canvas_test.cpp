#include "platform/canvas.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/recording.h"

namespace platform {
namespace {

std::size_t Selections(const TRecordingDevice& device) {
  return device.CallsNamed("SelectObject").size();
}

TEST(Canvas, RequireStateSelectsEachObjectOnceUntilSomethingChanges) {
  TRecordingDevice device;
  TCanvas canvas;
  canvas.SetHandle(&device);
  canvas.SetPen({RGB(1, 2, 3), psDot, 1});
  canvas.RequireState();
  EXPECT_EQ(Selections(device), 3u);
  EXPECT_EQ(device.CurrentPen()->Pen(), (TPenDesc{psDot, 1, RGB(1, 2, 3)}));
  EXPECT_EQ(device.CurrentBrush()->Brush().Color, RGB(255, 255, 255));
  EXPECT_EQ(device.CurrentFont()->Font().FaceName, "Arial");

  canvas.RequireState();
  EXPECT_EQ(Selections(device), 3u);

  // Setting a description to its current value changes nothing; a new value re-selects
  // only that object.
  canvas.SetPen({RGB(1, 2, 3), psDot, 1});
  canvas.RequireState();
  EXPECT_EQ(Selections(device), 3u);
  canvas.SetPen({RGB(1, 2, 3), psDot, 4});
  canvas.RequireState();
  ASSERT_EQ(Selections(device), 4u);
  EXPECT_EQ(device.CurrentPen()->Pen().Width, 4);
}

TEST(Canvas, ObjectsSelectedDirectlyStayUntilDeselect) {
  // Drawing code selects its own pen and brush and then draws through the canvas.
  TRecordingDevice device;
  TCanvas canvas;
  canvas.SetHandle(&device);
  canvas.RequireState();
  const THandle pen = CreatePen({psSolid, 3, RGB(255, 0, 0)});
  device.SelectObject(pen);
  const TPoint line[] = {{0, 0}, {5, 5}};
  canvas.Polyline(line);
  EXPECT_EQ(device.CallsNamed("Polyline").at(0)->Pen, pen);

  canvas.Deselect();
  EXPECT_EQ(device.CurrentPen(), GetStockObject(BLACK_PEN));
  EXPECT_EQ(device.CurrentBrush(), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(device.CurrentFont(), GetStockObject(SYSTEM_FONT));
  canvas.Polyline(line);
  EXPECT_EQ(device.CallsNamed("Polyline").at(1)->Pen->Pen(), (TPenDesc{psSolid, 1, 0}));
}

TEST(Canvas, SettingTheHandleForgetsTheSelectionsWithoutTouchingTheOldDevice) {
  auto first = std::make_unique<TRecordingDevice>();
  TCanvas canvas;
  canvas.SetHandle(first.get());
  canvas.RequireState();
  const std::size_t calls = first->Calls.size();
  TRecordingDevice second;
  canvas.SetHandle(&second);
  EXPECT_EQ(first->Calls.size(), calls);
  first.reset();  // the previous device may be gone
  canvas.RequireState();
  EXPECT_EQ(Selections(second), 3u);
  // The same pointer again still re-selects: a new device can reuse a freed address.
  canvas.SetHandle(&second);
  canvas.RequireState();
  EXPECT_EQ(Selections(second), 6u);
}

TEST(Canvas, FontSelectionSetsTheTextColourAndHeight) {
  struct Case {
    std::int32_t size, ppi, height;
  } cases[] = {
      {9, 96, 12},  {10, 96, 13}, {7, 96, 9}, {9, 600, 75}, {3, 12, 1},  // 0.5 rounds up
      {-9, 96, 12},
  };
  for (const auto& c : cases) {
    TRecordingDevice device;
    TCanvas canvas;
    canvas.SetHandle(&device);
    TCanvasFont font;
    font.Size = c.size;
    font.PixelsPerInch = c.ppi;
    canvas.SetFont(font);
    canvas.RequireState();
    EXPECT_EQ(device.CurrentFont()->Font().Height, c.height) << c.size << " pt at " << c.ppi;
  }

  TRecordingDevice device;
  TCanvas canvas;
  canvas.SetHandle(&device);
  TCanvasFont font;
  font.Name = "Courier";
  font.Color = 0xFF00000D;  // highlight
  font.Style = {true, true, true, true};
  canvas.SetFont(font);
  canvas.RequireState();
  const TFontDesc& desc = device.CurrentFont()->Font();
  EXPECT_EQ(desc.FaceName, "Courier");
  EXPECT_EQ(desc.Weight, 700);
  EXPECT_TRUE(desc.Italic && desc.Underline && desc.StrikeOut);
  EXPECT_EQ(desc.Escapement, 0);
  EXPECT_EQ(device.TextColor(), RGB(10, 36, 106));
}

TEST(Canvas, BrushStylesMapToDeviceBrushesAndTheTextBackground) {
  struct Case {
    TCanvasBrushStyle style;
    TBrushKind kind;
    THatchStyle hatch;
    TBkMode mode;
  } cases[] = {
      {cbsSolid, TBrushKind::Solid, hsHorizontal, OPAQUE},
      {cbsClear, TBrushKind::Null, hsHorizontal, TRANSPARENT},
      {cbsHorizontal, TBrushKind::Hatched, hsHorizontal, TRANSPARENT},
      {cbsVertical, TBrushKind::Hatched, hsVertical, TRANSPARENT},
      {cbsFDiagonal, TBrushKind::Hatched, hsFDiagonal, TRANSPARENT},
      {cbsBDiagonal, TBrushKind::Hatched, hsBDiagonal, TRANSPARENT},
      {cbsCross, TBrushKind::Hatched, hsCross, TRANSPARENT},
      {cbsDiagCross, TBrushKind::Hatched, hsDiagCross, TRANSPARENT},
  };
  for (const auto& c : cases) {
    TRecordingDevice device;
    TCanvas canvas;
    canvas.SetHandle(&device);
    canvas.SetBrush({0xFF000005, c.style});  // window colour: white
    canvas.RequireState();
    const TBrushDesc& desc = device.CurrentBrush()->Brush();
    EXPECT_EQ(desc.Kind, c.kind) << int{c.style};
    if (c.kind == TBrushKind::Hatched) {
      EXPECT_EQ(desc.Hatch, c.hatch) << int{c.style};
    }
    EXPECT_EQ(desc.Color, RGB(255, 255, 255));
    EXPECT_EQ(device.BkMode(), c.mode) << int{c.style};
    if (c.mode == OPAQUE) {
      EXPECT_EQ(device.BkColor(), RGB(255, 255, 255));
    }
  }
}

TEST(Canvas, FillRectUsesTheCanvasBrushWhateverIsSelected) {
  TRecordingDevice device;
  TCanvas canvas;
  canvas.SetHandle(&device);
  canvas.SetBrush({RGB(0, 128, 0), cbsSolid});
  canvas.RequireState();
  device.SelectObject(GetStockObject(NULL_BRUSH));
  canvas.FillRect({0, 0, 4, 4});
  const TRecordedCall& fill = *device.CallsNamed("FillRect").at(0);
  EXPECT_EQ(fill.Object->Brush().Color, RGB(0, 128, 0));
  EXPECT_EQ(fill.Rect, (TRect{0, 0, 4, 4}));
}

TEST(Canvas, DrawingWithoutADeviceDoesNothing) {
  TCanvas canvas;
  const TPoint points[] = {{0, 0}, {1, 1}};
  canvas.RequireState();
  canvas.Deselect();
  canvas.Polygon(points);
  canvas.TextOut(0, 0, "x");
  EXPECT_EQ(canvas.TextExtent("abc"), (TSize{0, 0}));
}

TEST(Canvas, DrawingCallsReachTheDevice) {
  TRecordingDevice device;
  TCanvas canvas;
  canvas.SetHandle(&device);
  const TPoint points[] = {{0, 0}, {4, 0}, {4, 4}};
  TBitmap picture(2, 2);
  canvas.Polygon(points);
  canvas.Ellipse({0, 0, 5, 5});
  canvas.Rectangle({1, 1, 6, 6});
  canvas.TextOut(3, 4, "abc");
  canvas.Draw(1, 2, picture);
  canvas.StretchDraw({0, 0, 8, 8}, picture);
  for (const char* name :
       {"Polygon", "Ellipse", "Rectangle", "TextOut", "DrawBitmap", "StretchBitmap"})
    EXPECT_EQ(device.CallsNamed(name).size(), 1u) << name;
  // 9 pt at 96 pixels per inch is 12 pixels: 6 pixels a character in the fixed metrics.
  EXPECT_EQ(canvas.TextExtent("abc"), (TSize{18, 12}));
}

}  // namespace
}  // namespace platform
