// The globe's window on Qt Widgets, shown off-screen: what reaches the view from Qt (size,
// paint, mouse, wheel, scroll bars, enter/leave) and what the view's requests do to the
// window. The program runs once more at a device pixel ratio of 2, so every position here
// is converted between Qt's logical pixels and the view's device pixels.
#include "platform/qt/globewidget.h"

#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "globe/core/units.h"
#include "globe/projection/projection.h"
#include "globe/render/canvas.h"
#include "globe/view/globe.h"

namespace {

using globe::GU_DEGREE;
using globe::TGlobe4;
using globe::TPointLL;
using platform::TGlobeWidget;
using platform::TMouseButton;
using platform::TPoint;
using platform::TScrollBarKind;
using platform::TShiftState;

constexpr platform::TColor kBackground = platform::RGB(10, 20, 30);
constexpr platform::TColor kSurface = platform::RGB(40, 200, 90);

platform::TColor At(const QImage& Image, int X, int Y) {
  const QRgb c = Image.pixel(X, Y);
  return platform::RGB(static_cast<std::uint8_t>(qRed(c)), static_cast<std::uint8_t>(qGreen(c)),
                       static_cast<std::uint8_t>(qBlue(c)));
}

class GlobeWidgetTest : public ::testing::Test {
 protected:
  TGlobeWidget widget;
  TGlobe4& globe = widget.Globe();
  globe::TGlobeProjection& P = globe.Projection();
  std::vector<std::string> errors;

  GlobeWidgetTest() {
    widget.OnError = [this](const std::string& Message) { errors.push_back(Message); };
    globe.SetColor(kBackground);
    globe.SetSurfaceColor(kSurface);
    globe.SetGraticuleDrawMode(globe::gdNone);
    widget.resize(400, 300);
    widget.show();
    Pump();
    P.SetScaleFactor(0);
  }

  static void Pump() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  }
  [[nodiscard]] qreal Ratio() const { return widget.viewport()->devicePixelRatioF(); }
  /// Qt's position of a device pixel's centre.
  [[nodiscard]] QPointF Logical(TPoint Device) const {
    return {(Device.X + 0.5) / Ratio(), (Device.Y + 0.5) / Ratio()};
  }
  [[nodiscard]] TPoint Centre() const { return {P.XOrigin(), P.YOrigin()}; }

  void Mouse(QEvent::Type Type, TPoint Device, Qt::MouseButton Button, Qt::MouseButtons Held,
             Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
    const QPointF local = Logical(Device);
    QMouseEvent event(Type, local, widget.viewport()->mapToGlobal(local), Button, Held, Modifiers);
    QApplication::sendEvent(widget.viewport(), &event);
  }
  void Wheel(TPoint Device, int Delta) {
    const QPointF local = Logical(Device);
    QWheelEvent event(local, widget.viewport()->mapToGlobal(local), QPoint(), QPoint(0, Delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget.viewport(), &event);
  }
  /// The geographic point under a device pixel; fails the test when it is off the earth.
  TPointLL Under(TPoint Device) {
    TPointLL ll;
    EXPECT_TRUE(P.DeviceXYToLL(Device.X, Device.Y, ll)) << Device.X << "," << Device.Y;
    return ll;
  }
  /// The whole window as drawn, in device pixels.
  QImage Grab() { return widget.grab().toImage(); }
};

TEST_F(GlobeWidgetTest, RunsAtTheRequestedPixelRatio) {
  const char* factor = std::getenv("QT_SCALE_FACTOR");
  EXPECT_DOUBLE_EQ(Ratio(), factor != nullptr ? std::atof(factor) : 1.0);
}

TEST_F(GlobeWidgetTest, ClientAreaIsTheViewportInDevicePixels) {
  auto expectViewport = [&] {
    const QSize logical = widget.viewport()->size();
    const QSize device(static_cast<int>(std::lround(logical.width() * Ratio())),
                       static_cast<int>(std::lround(logical.height() * Ratio())));
    EXPECT_EQ(widget.ClientSize(), device);
    EXPECT_EQ(globe.ClientWidth(), device.width());
    EXPECT_EQ(globe.ClientHeight(), device.height());
    ASSERT_NE(globe.GlobeCanvas().Bitmap(), nullptr);
    EXPECT_EQ(globe.GlobeCanvas().Bitmap()->Width(), device.width());
    EXPECT_EQ(globe.GlobeCanvas().Bitmap()->Height(), device.height());
  };
  // Both bars are shown, so the client area is smaller than the window.
  EXPECT_LT(widget.viewport()->width(), 400);
  EXPECT_LT(widget.viewport()->height(), 300);
  expectViewport();
  widget.resize(520, 410);
  Pump();
  expectViewport();
  // Without bars the client area is the whole window.
  globe.SetScrollBars(globe::ssNone);
  Pump();
  EXPECT_EQ(widget.viewport()->size(), QSize(520, 410));
  expectViewport();
}

TEST_F(GlobeWidgetTest, PaintsInDevicePixelsBufferedOrDirect) {
  const platform::THandle red = platform::CreateBrush({.Color = platform::RGB(255, 0, 0)});
  int renders = 0;
  globe.OnRender = [&](const void*) { ++renders; };
  globe.OnPaint = [&](const void*) { globe.ControlCanvas().Handle()->FillRect({4, 4, 6, 6}, red); };
  for (const bool buffered : {true, false}) {
    SCOPED_TRACE(buffered ? "from the off-screen picture" : "straight onto the window");
    globe::TGlobeOptionsSet options = globe.GlobeOptions();
    globe.SetGlobeOptions(options.Set(globe::goDoubleBuffered, buffered));
    const QImage image = Grab();
    ASSERT_EQ(image.width(), static_cast<int>(std::lround(400 * Ratio())));
    EXPECT_EQ(At(image, Centre().X, Centre().Y), kSurface);
    // The disc fits the height: its top is near the client area's top.
    EXPECT_EQ(At(image, Centre().X, Centre().Y - globe.ClientHeight() / 2 + 8), kSurface);
    EXPECT_EQ(At(image, globe.ClientWidth() - 3, 10), kBackground);
    // The overlay covers device pixels 4 and 5 and no others.
    EXPECT_EQ(At(image, 4, 4), platform::RGB(255, 0, 0));
    EXPECT_EQ(At(image, 5, 5), platform::RGB(255, 0, 0));
    EXPECT_EQ(At(image, 3, 3), kBackground);
    EXPECT_EQ(At(image, 6, 6), kBackground);
  }
  // Without the picture every paint draws everything.
  renders = 0;
  Grab();
  Grab();
  EXPECT_EQ(renders, 2);
  EXPECT_TRUE(errors.empty());
}

TEST_F(GlobeWidgetTest, PixelSizesAreScreenPixelsAtEveryRatio) {
  // Pens, symbols and fonts sized in pixels keep their size on the screen: at a ratio of 2
  // they take twice the device pixels, as the rest of the window does.
  const auto expectScaled = [&] {
    const globe::TGlobeCanvas& canvas = globe.GlobeCanvas();
    const double r = Ratio();
    EXPECT_EQ(canvas.ScaleUnitsToDevice(2, globe::TGlobeUnitTypes::Pixel), std::lround(2 * r));
    EXPECT_EQ(canvas.FontRenderHeight(12, globe::TGlobeUnitTypes::Pixel), std::lround(12 * r));
    // Fonts given in points, such as the canvas's own, too.
    EXPECT_EQ(globe.ControlCanvas().Font().PixelsPerInch,
              std::lround(widget.viewport()->logicalDpiY() * r));
  };
  Grab();
  expectScaled();
  widget.resize(420, 310);
  Pump();
  Grab();
  expectScaled();

  // A 3-pixel pen drawn across the picture covers 3 screen pixels.
  globe.OnRender = [&](const void*) {
    globe::TGlobeCanvas& canvas = globe.GlobeCanvas();
    canvas.SetPen({platform::RGB(255, 0, 0), platform::psSolid,
                   canvas.ScaleUnitsToDevice(3, globe::TGlobeUnitTypes::Pixel)});
    const TPoint line[] = {{0, globe.ClientHeight() / 2},
                           {globe.ClientWidth(), globe.ClientHeight() / 2}};
    canvas.Polyline(line);
  };
  globe.RedrawLayers();
  const QImage image = Grab();
  int rows = 0;
  for (int y = 0; y < image.height(); ++y)
    if (At(image, 10, y) == platform::RGB(255, 0, 0)) ++rows;
  EXPECT_EQ(rows, std::lround(3 * Ratio()));
  EXPECT_TRUE(errors.empty());
}

TEST_F(GlobeWidgetTest, RedrawRequestsRepaintTheWindowOnce) {
  int renders = 0;
  globe.OnRender = [&](const void*) { ++renders; };
  Pump();
  renders = 0;
  globe.RedrawLayers();
  globe.RedrawLayers();
  P.SetXOrigin(P.XOrigin() + 5);  // redraws too
  Pump();
  EXPECT_EQ(renders, 1);
  EXPECT_FALSE(globe.RedrawPending());
  // A repaint without a redraw request copies the picture and draws nothing again.
  widget.viewport()->update();
  Pump();
  EXPECT_EQ(renders, 1);
}

TEST_F(GlobeWidgetTest, MouseButtonsModifiersAndPositionsReachTheView) {
  globe.SetMouseRotateButton(globe::mzbNone);
  globe.SetMouseZoomButton(globe::mzbNone);
  struct TSeen {
    TMouseButton Button;
    TShiftState Shift;
    TPoint At;
  };
  std::vector<TSeen> downs, ups;
  globe.OnMouseDown = [&](const void*, TMouseButton B, TShiftState S, std::int32_t X,
                          std::int32_t Y) {
    downs.push_back({B, S, {X, Y}});
  };
  globe.OnMouseUp = [&](const void*, TMouseButton B, TShiftState S, std::int32_t X,
                        std::int32_t Y) {
    ups.push_back({B, S, {X, Y}});
  };

  const struct {
    QEvent::Type Type;
    Qt::MouseButton Qt;
    Qt::KeyboardModifiers Modifiers;
    TMouseButton Button;
    TShiftState Shift;
  } cases[] = {
      {QEvent::MouseButtonPress, Qt::LeftButton, Qt::NoModifier, TMouseButton::mbLeft, {}},
      {QEvent::MouseButtonPress,
       Qt::RightButton,
       Qt::ShiftModifier,
       TMouseButton::mbRight,
       {.Shift = true}},
      {QEvent::MouseButtonPress,
       Qt::MiddleButton,
       Qt::ControlModifier | Qt::AltModifier,
       TMouseButton::mbMiddle,
       {.Alt = true, .Ctrl = true}},
      {QEvent::MouseButtonDblClick,
       Qt::LeftButton,
       Qt::NoModifier,
       TMouseButton::mbLeft,
       {.Double = true}},
  };
  const TPoint at{37, 51};
  for (const auto& c : cases) {
    downs.clear();
    ups.clear();
    Mouse(c.Type, at, c.Qt, c.Qt, c.Modifiers);
    Mouse(QEvent::MouseButtonRelease, at, c.Qt, Qt::NoButton, c.Modifiers);
    ASSERT_EQ(downs.size(), 1u) << c.Type;
    EXPECT_EQ(downs[0].Button, c.Button);
    EXPECT_EQ(downs[0].Shift, c.Shift);
    EXPECT_EQ(downs[0].At, at);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0].Button, c.Button);
    EXPECT_EQ(ups[0].At, at);
  }
  // Other buttons are not the view's.
  downs.clear();
  Mouse(QEvent::MouseButtonPress, at, Qt::BackButton, Qt::BackButton);
  EXPECT_TRUE(downs.empty());
}

TEST_F(GlobeWidgetTest, DraggingWithTheRotateButtonKeepsTheGrabbedPointUnderTheMouse) {
  const TPoint from{Centre().X - 20, Centre().Y + 10};
  const TPoint to{from.X + 60, from.Y - 30};
  const TPointLL grabbed = Under(from);
  Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  EXPECT_TRUE(globe.Rotating());
  EXPECT_EQ(QWidget::mouseGrabber(), widget.viewport());
  for (int step = 1; step <= 3; ++step) {
    Mouse(QEvent::MouseMove,
          {from.X + (to.X - from.X) * step / 3, from.Y + (to.Y - from.Y) * step / 3}, Qt::NoButton,
          Qt::LeftButton);
  }
  Mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(globe.Rotating());
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
  const TPointLL now = Under(to);
  EXPECT_NEAR(now.iLongX, grabbed.iLongX, GU_DEGREE);
  EXPECT_NEAR(now.iLatY, grabbed.iLatY, GU_DEGREE);
}

TEST_F(GlobeWidgetTest, WheelZoomsKeepingThePointUnderTheCursor) {
  const TPoint cursor{Centre().X + 50, Centre().Y - 40};
  const TPointLL before = Under(cursor);
  const globe::Extended scale = P.ScaleFactor();
  Wheel(cursor, 120);
  EXPECT_NEAR(static_cast<double>(P.ScaleFactor() / scale), 1.1, 1e-9);
  // One pixel is about 0.06° at this scale.
  const TPointLL zoomed = Under(cursor);
  EXPECT_NEAR(zoomed.iLongX, before.iLongX, GU_DEGREE / 5);
  EXPECT_NEAR(zoomed.iLatY, before.iLatY, GU_DEGREE / 5);
  Wheel(cursor, -240);
  EXPECT_NEAR(static_cast<double>(P.ScaleFactor() / scale), 1 / 1.1, 1e-9);

  // A factor of 1 leaves the wheel alone.
  widget.SetWheelZoomFactor(1.0);
  const globe::Extended kept = P.ScaleFactor();
  Wheel(cursor, 120);
  EXPECT_EQ(P.ScaleFactor(), kept);
}

TEST_F(GlobeWidgetTest, ScrollBarsShowTheViewsRangesAndPanIt) {
  P.SetScaleFactor(P.ScaleFactor() * 4);
  Pump();
  for (const TScrollBarKind kind : {TScrollBarKind::sbHorizontal, TScrollBarKind::sbVertical}) {
    QScrollBar* bar = kind == TScrollBarKind::sbHorizontal ? widget.horizontalScrollBar()
                                                           : widget.verticalScrollBar();
    const bool horizontal = kind == TScrollBarKind::sbHorizontal;
    SCOPED_TRACE(horizontal ? "horizontal" : "vertical");
    platform::TScrollInfo info = widget.ScrollBar(kind);
    ASSERT_TRUE(info.Enabled);
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_EQ(bar->minimum(), info.Min);
    EXPECT_EQ(bar->maximum(), info.Max - info.Page);
    EXPECT_EQ(bar->pageStep(), info.Page);
    EXPECT_EQ(bar->value(), info.Position);

    // A page towards the end moves the view half a page that way: the map goes the other.
    auto origin = [&] { return horizontal ? P.XOrigin() : P.YOrigin(); };
    std::int32_t kept = origin();
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_LT(origin(), kept);
    info = widget.ScrollBar(kind);
    EXPECT_EQ(bar->value(), info.Position);

    // Jumps to an end are not the view's: the thumb stays where the view is.
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(bar->value(), info.Position);

    // Dragging the thumb pans by the distance it moved.
    kept = origin();
    bar->setSliderDown(true);
    bar->setSliderPosition(info.Position - info.Page / 4);
    bar->setSliderDown(false);
    const double pixels = static_cast<double>(info.Page / 4) * static_cast<double>(P.ScaleFactor());
    EXPECT_NEAR(origin() - kept, pixels, 1.0);
    EXPECT_EQ(bar->value(), widget.ScrollBar(kind).Position);
  }
}

TEST_F(GlobeWidgetTest, StyleRequestsChangeBarsAndBackground) {
  EXPECT_EQ(widget.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_TRUE(widget.viewport()->testAttribute(Qt::WA_OpaquePaintEvent));
  globe.SetScrollBars(globe::ssVertical);
  EXPECT_EQ(widget.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(widget.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  globe::TGlobeOptionsSet options = globe.GlobeOptions();
  globe.SetGlobeOptions(options.Include(globe::goTransparentBackground));
  EXPECT_TRUE(widget.Style().TransparentBackground);
  EXPECT_FALSE(widget.viewport()->testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(GlobeWidgetTest, EnterAndLeaveRaiseTheViewsEvents) {
  std::vector<std::string> seen;
  globe.OnMouseEnter = [&](const void*) { seen.push_back("enter"); };
  globe.OnMouseLeave = [&](const void*) { seen.push_back("leave"); };
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)));
  QApplication::sendEvent(&widget, &enter);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&widget, &leave);
  EXPECT_EQ(seen, (std::vector<std::string>{"enter", "leave"}));
}

TEST_F(GlobeWidgetTest, AnErrorInAPaintIsReportedAndThePaintStillEnds) {
  globe.OnRender = [](const void*) { throw globe::EGlobeException("no picture today"); };
  globe.RedrawLayers();
  const QImage image = Grab();
  EXPECT_EQ(errors, (std::vector<std::string>{"no picture today"}));
  EXPECT_FALSE(globe.Painting());
  // What was drawn before the error is shown.
  EXPECT_EQ(At(image, Centre().X, Centre().Y), kSurface);
}

}  // namespace
