// The compass window: rose, labels, needle and title, drawn on a recording device, and the
// window that hosts it.
#include "app/compass.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "platform/qt/qtdevice.h"
#include "platform/recording.h"

namespace orvane {
namespace {

using platform::TPoint;
using platform::TRecordedCall;
using platform::TRecordingDevice;

// The design size of the drawing area: c = 132, R = 102.
constexpr std::int32_t kW = 264;
constexpr std::int32_t kH = 262;
constexpr std::int32_t kC = kW / 2;
constexpr std::int32_t kR = kC - 30;

const TRecordedCall* Needle(const TRecordingDevice& Device) {
  const auto polygons = Device.CallsNamed("Polygon");
  return polygons.empty() ? nullptr : polygons.back();
}

TEST(Compass, AzimuthTextForms) {
  const struct {
    const char* Text;
    bool Valid;
    std::int32_t Value;
  } cases[] = {
      {"0/180", true, 0},          {"90/270", true, 90},  {"225/45", true, 225},
      {"359/179", true, 359},      {" 45/225", true, 45}, {"-10/x", true, -10},
      {"12/3/4", true, 12},        {"90", false, 0},      {"/180", false, 0},
      {"abc/1", false, 0},         {"90 /270", false, 0}, {"359.9/179.9", false, 0},
      {"99999999999/1", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    if (c.Valid) {
      EXPECT_EQ(ParseAzimuth(QString::fromLatin1(c.Text)), c.Value);
    } else {
      EXPECT_THROW((void)ParseAzimuth(QString::fromLatin1(c.Text)), EConvertError);
    }
  }
  try {
    (void)ParseAzimuth(QStringLiteral("abc/1"));
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
}

TEST(Compass, NeedlePointsAlongTheBearing) {
  const struct {
    const char* Text;
    double Degrees;
  } cases[] = {{"0/180", 0}, {"90/270", 90}, {"225/45", 225}, {"270/90", 270}, {"359/179", 359}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    TRecordingDevice device;
    const std::optional<QString> title = PaintCompass(device, kW, kH, QString::fromLatin1(c.Text));
    ASSERT_TRUE(title);
    EXPECT_EQ(*title, QStringLiteral("Az - ") + QString::fromLatin1(c.Text).section('/', 0, 0));
    const TRecordedCall* needle = Needle(device);
    ASSERT_NE(needle, nullptr);
    ASSERT_EQ(needle->Points.size(), 3u);
    EXPECT_EQ(needle->Brush->Brush().Color, platform::RGB(255, 0, 0));
    EXPECT_EQ(needle->Pen->Pen().Color, platform::RGB(0, 0, 0));
    // The tip: clockwise from up, screen y downwards.
    const TPoint tip = needle->Points[0];
    const double measured = std::atan2(tip.X - kC, kC - tip.Y) * 180 / std::numbers::pi;
    EXPECT_NEAR(std::fmod(measured + 360, 360), c.Degrees, 1.0);
    EXPECT_NEAR(std::hypot(tip.X - kC, tip.Y - kC), kR, 1.5);
    // The base is 6 pixels across the centre, square to the needle.
    const TPoint a = needle->Points[1], b = needle->Points[2];
    EXPECT_NEAR(std::hypot(a.X - b.X, a.Y - b.Y), 6, 1.5);
    EXPECT_NEAR((a.X + b.X) / 2.0, kC, 1.0);
    EXPECT_NEAR((a.Y + b.Y) / 2.0, kC, 1.0);
  }
  // Exact corners for the straight bearings.
  TRecordingDevice up;
  (void)PaintCompass(up, kW, kH, QStringLiteral("0/180"));
  EXPECT_EQ(Needle(up)->Points, (std::vector<TPoint>{{kC, kC - kR}, {kC + 3, kC}, {kC - 3, kC}}));
  TRecordingDevice left;
  (void)PaintCompass(left, kW, kH, QStringLiteral("270/90"));
  EXPECT_EQ(Needle(left)->Points[0], (TPoint{kC - kR, kC}));
}

TEST(Compass, EmptyOrBadAzimuthDrawsTheRoseOnly) {
  TRecordingDevice empty;
  EXPECT_FALSE(PaintCompass(empty, kW, kH, QString()));
  EXPECT_EQ(Needle(empty), nullptr);
  EXPECT_EQ(empty.CallsNamed("TextOut").size(), 12u);

  for (const char* bad : {"90", "x/1", "359.9/179.9"}) {
    SCOPED_TRACE(bad);
    TRecordingDevice device;
    EXPECT_THROW((void)PaintCompass(device, kW, kH, QString::fromLatin1(bad)), EConvertError);
    EXPECT_EQ(Needle(device), nullptr);
    EXPECT_EQ(device.CallsNamed("TextOut").size(), 12u);  // rose and labels came first
  }
}

TEST(Compass, RoseBackgroundDialAndTicks) {
  TRecordingDevice device;
  (void)PaintCompass(device, kW, kH, QString());
  const auto rects = device.CallsNamed("Rectangle");
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0]->Rect, (platform::TRect{0, 0, kW, kH}));
  EXPECT_EQ(rects[0]->Pen->Pen().Width, 4);
  EXPECT_EQ(rects[0]->Pen->Pen().Color, platform::RGB(0, 0, 0));
  EXPECT_EQ(rects[0]->Brush->Brush().Color, platform::RGB(128, 128, 128));
  const auto ellipses = device.CallsNamed("Ellipse");
  ASSERT_EQ(ellipses.size(), 1u);
  EXPECT_EQ(ellipses[0]->Rect, (platform::TRect{30, 30, kW - 30, kW - 30}));
  EXPECT_EQ(ellipses[0]->Pen->Pen().Color, platform::RGB(255, 255, 255));

  const auto ticks = device.CallsNamed("Polyline");
  ASSERT_EQ(ticks.size(), 72u);
  for (const TRecordedCall* t : ticks) EXPECT_EQ(t->Pen->Pen().Color, platform::RGB(255, 255, 255));
  // Long tick 0 points down, long tick 18 up; short tick 0 lies 5° from down.
  EXPECT_EQ(ticks[0]->Points, (std::vector<TPoint>{{kC, kC + 91}, {kC, kC + kR}}));
  EXPECT_EQ(ticks[18]->Points[1], (TPoint{kC, kC - kR}));
  const TPoint shortOuter = ticks[36]->Points[1];
  EXPECT_EQ(shortOuter, (TPoint{kC + static_cast<int>(std::sin(5 * std::numbers::pi / 180) * kR),
                                kC + static_cast<int>(std::cos(5 * std::numbers::pi / 180) * kR)}));
  EXPECT_NEAR(std::hypot(ticks[36]->Points[0].X - kC, ticks[36]->Points[0].Y - kC), 0.95 * kR, 1.5);
}

// Labels: text, rotation and rotated top-left corner. The recording font's characters are
// height / 2 wide: 8 points at 96 per inch is 11 pixels high, 5 wide.
TEST(Compass, LabelsFaceOutwardsAroundTheRealCentre) {
  for (const std::int32_t h : {kH, 400}) {
    SCOPED_TRACE(h);
    TRecordingDevice device;
    (void)PaintCompass(device, kW, h, QString());
    const auto texts = device.CallsNamed("TextOut");
    ASSERT_EQ(texts.size(), 12u);
    const std::vector<std::string> expected = {" N ",   " E ",   " S ",   " W ",
                                               " 30 ",  " 60 ",  " 120 ", " 150 ",
                                               " 210 ", " 240 ", " 300 ", " 330 "};
    const double cy = h / 2.0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const TRecordedCall& t = *texts[i];
      SCOPED_TRACE(t.Text);
      EXPECT_EQ(t.Text, expected[i]);
      EXPECT_EQ(t.Font->Font().FaceName, "Arial");
      EXPECT_EQ(t.Font->Font().Height, 11);
      EXPECT_EQ(t.TextColor, platform::RGB(255, 255, 255));
      // The text's centre, from its rotated top-left corner, lies 0.8 R from the centre
      // at the angle its rotation faces.
      const double tw = 5.0 * static_cast<double>(t.Text.size());
      const double th = 11;
      const double rot = t.Font->Font().Escapement / 10.0 * std::numbers::pi / 180;  // ccw
      // Unrotated offset of the centre (tw/2, th/2) turned counter-clockwise on screen.
      const double mx = t.Points[0].X + std::cos(rot) * tw / 2 + std::sin(rot) * th / 2;
      const double my = t.Points[0].Y - std::sin(rot) * tw / 2 + std::cos(rot) * th / 2;
      EXPECT_NEAR(std::hypot(mx - kW / 2.0, my - cy), 0.8 * kR, 1.0);
      // Facing outwards: the text's up direction points away from the centre.
      const double upX = -std::sin(rot), upY = -std::cos(rot);
      EXPECT_GT((mx - kW / 2.0) * upX + (my - cy) * upY, 0.99 * 0.8 * kR);
    }
    // Exact forms: N upright and centred above, S upside down below, 30 at 30° clockwise.
    EXPECT_EQ(texts[0]->Font->Font().Escapement, 3600);
    EXPECT_NEAR(texts[0]->Points[0].X, kW / 2.0 - 7.5, 0.5);
    EXPECT_EQ(texts[0]->Points[0].Y, std::lround(cy - 5.5 - 0.8 * kR));
    EXPECT_EQ(texts[2]->Font->Font().Escapement, 1800);
    EXPECT_EQ(texts[1]->Font->Font().Escapement, 2700);
    EXPECT_EQ(texts[3]->Font->Font().Escapement / 10, 450);
    EXPECT_NEAR(texts[4]->Font->Font().Escapement, 3300, 1);
    EXPECT_NEAR(texts[11]->Font->Font().Escapement, 300, 1);
  }
}

// The rose stays in the upper square while the labels follow the real centre.
TEST(Compass, TallAreaMovesOnlyTheLabels) {
  TRecordingDevice square, tall;
  (void)PaintCompass(square, kW, kW, QStringLiteral("10/190"));
  (void)PaintCompass(tall, kW, kW + 100, QStringLiteral("10/190"));
  EXPECT_EQ(square.CallsNamed("Ellipse")[0]->Rect, tall.CallsNamed("Ellipse")[0]->Rect);
  EXPECT_EQ(Needle(square)->Points, Needle(tall)->Points);
  const auto a = square.CallsNamed("TextOut"), b = tall.CallsNamed("TextOut");
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(b[i]->Points[0].X, a[i]->Points[0].X);
    EXPECT_EQ(b[i]->Points[0].Y, a[i]->Points[0].Y + 50);
  }
}

TEST(CompassWindow, PaintsNeedleAndTitleAndReportsBadAzimuthOnce) {
  TfCompass window;
  QString azimuth = QStringLiteral("90/270");
  window.SetAzimuthSource([&] { return azimuth; });
  std::vector<std::string> errors;
  window.OnError = [&](const std::string& Message) { errors.push_back(Message); };
  window.SetWindowBounds(100, 100, 276, 297);
  ASSERT_EQ(window.CompassSize(), QSize(264, 262));

  const QImage shot = window.grab().toImage();
  const int c = 132, r = 102;
  EXPECT_EQ(shot.pixelColor(c + r / 2, c), QColor(255, 0, 0));      // needle, pointing right
  EXPECT_EQ(shot.pixelColor(c - r / 2, c), QColor(128, 128, 128));  // dial
  EXPECT_EQ(shot.pixelColor(10, 250), QColor(128, 128, 128));       // background
  EXPECT_EQ(shot.pixelColor(c, 30), QColor(255, 255, 255));         // dial rim
  EXPECT_EQ(shot.pixelColor(1, 1), QColor(0, 0, 0));                // border
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Az - 90"));

  // Empty: the title keeps its text. Bad: reported once, the title stays.
  azimuth.clear();
  (void)window.grab();
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Az - 90"));
  azimuth = QStringLiteral("x/1");
  (void)window.grab();
  (void)window.grab();
  EXPECT_EQ(errors, std::vector<std::string>{"'x' is not a valid integer value"});
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Az - 90"));
}

TEST(CompassWindow, GeometryRoundTripsWithinLimits) {
  TfCompass window;
  int closes = 0;
  window.OnClose = [&](const TfCompass& W) {
    ++closes;
    EXPECT_EQ(W.WindowWidth(), 300);
  };
  const struct {
    int Width, Height, ExpectWidth, ExpectHeight;
  } cases[] = {
      {276, 297, 276, 297}, {300, 400, 300, 400}, {100, 100, 204, 232}, {999, 999, 578, 608}};
  for (const auto& c : cases) {
    window.SetWindowBounds(120, 80, c.Width, c.Height);
    EXPECT_EQ(window.WindowLeft(), 120);
    EXPECT_EQ(window.WindowTop(), 80);
    EXPECT_EQ(window.WindowWidth(), c.ExpectWidth);
    EXPECT_EQ(window.WindowHeight(), c.ExpectHeight);
  }
  window.SetWindowBounds(120, 80, 300, 300);
  window.show();
  EXPECT_TRUE(window.close());
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace orvane
