#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "globe/core/numeric.h"
#include "tests/view/fixture.h"

namespace globe::testing {
namespace {

using platform::TMouseButton;
using platform::TScrollBarKind;
using platform::TScrollCode;
using ::testing::ElementsAre;

constexpr platform::TShiftState kCtrl{false, false, true, false};

// ---- Zoom rectangle ---------------------------------------------------------------------

TEST_F(ViewTest, ZoomRectangleBringsItsCentreToTheMiddleAtTheNewScale) {
  int zoomed = 0;
  globe.OnZoomed = [&](const void*) { ++zoomed; };
  struct Case {
    Extended startScale;  // 0: the fitted sphere
    TRect drag;
    Extended factor;  // expected new scale / start scale; 0: capped at 3
  };
  for (const Case& c : {Case{0, {100, 100, 300, 200}, 2}, Case{0, {50, 50, 250, 150}, 2},
                        Case{2.0L, {100, 100, 300, 200}, 0}}) {
    P.SetScaleFactor(c.startScale);
    P.SetCenterXY({200, 150});
    const Extended S = P.ScaleFactor();
    TPointLL centre;
    ASSERT_TRUE(
        P.DeviceXYToLL((c.drag.Left + c.drag.Right) / 2, (c.drag.Top + c.drag.Bottom) / 2, centre));
    zoomed = 0;
    globe.MouseDown(TMouseButton::mbRight, {}, c.drag.Left, c.drag.Top);
    EXPECT_TRUE(globe.Zooming());
    EXPECT_TRUE(host.Captured);
    globe.MouseMove({}, c.drag.Right, c.drag.Bottom);
    EXPECT_EQ(globe.ZoomRect(), c.drag);
    globe.MouseUp(TMouseButton::mbRight, {}, c.drag.Right, c.drag.Bottom);

    EXPECT_FALSE(globe.Zooming());
    EXPECT_FALSE(host.Captured);
    EXPECT_GE(zoomed, 1);
    if (c.factor == 0) {
      EXPECT_EQ(P.ScaleFactor(), 3.0L);
    } else {
      EXPECT_NEAR(static_cast<double>(P.ScaleFactor() / S), static_cast<double>(c.factor), 1e-6);
      TPoint at;
      P.PointLLToXY(centre, at);
      EXPECT_NEAR(at.X, 200, 1);
      EXPECT_NEAR(at.Y, 150, 1);
    }
  }
}

TEST_F(ViewTest, ZoomDragsThatDoNotZoom) {
  const Extended S = P.ScaleFactor();
  int downs = 0;
  globe.OnMouseDown = [&](const void*, TMouseButton, platform::TShiftState, int, int) { ++downs; };

  // Another button cancels the drag; its press goes no further.
  globe.MouseDown(TMouseButton::mbRight, {}, 100, 100);
  globe.MouseMove({}, 300, 200);
  globe.MouseDown(TMouseButton::mbLeft, {}, 300, 200);
  EXPECT_FALSE(globe.Zooming());
  EXPECT_FALSE(host.Captured);
  EXPECT_EQ(downs, 1);
  globe.MouseUp(TMouseButton::mbLeft, {}, 300, 200);
  globe.MouseUp(TMouseButton::mbRight, {}, 300, 200);
  EXPECT_EQ(P.ScaleFactor(), S);

  // Too narrow, dragged up and to the left, or started with a modifier: only a repaint.
  for (const TRect& drag : {TRect{100, 100, 105, 300}, TRect{300, 200, 100, 100}}) {
    globe.MouseDown(TMouseButton::mbRight, {}, drag.Left, drag.Top);
    globe.MouseMove({}, drag.Right, drag.Bottom);
    const int invalidations = host.Invalidations;
    globe.MouseUp(TMouseButton::mbRight, {}, drag.Right, drag.Bottom);
    EXPECT_EQ(P.ScaleFactor(), S);
    EXPECT_GT(host.Invalidations, invalidations);
  }
  globe.MouseDown(TMouseButton::mbRight, kCtrl, 100, 100);
  EXPECT_FALSE(globe.Zooming());
}

// ---- Rotation ---------------------------------------------------------------------------

TEST_F(ViewTest, RotationDragKeepsTheGrabbedPointUnderTheMouse) {
  for (const TPoint to : {TPoint{230, 150}, TPoint{200, 115}, TPoint{170, 150}}) {
    Sphere(100);
    TPointLL grabbed;
    ASSERT_TRUE(P.DeviceXYToLL(200, 150, grabbed));
    globe.MouseDown(TMouseButton::mbLeft, {}, 200, 150);
    EXPECT_TRUE(globe.Rotating());
    globe.MouseMove({}, to.X, to.Y);
    globe.MouseMove({}, 20, 20);  // off the globe: ignored
    TPointLL now;
    ASSERT_TRUE(P.DeviceXYToLL(to.X, to.Y, now));
    EXPECT_NEAR(now.iLongX / double(D), grabbed.iLongX / double(D), 0.1) << to.X << "," << to.Y;
    EXPECT_NEAR(now.iLatY / double(D), grabbed.iLatY / double(D), 0.1) << to.X << "," << to.Y;
    globe.MouseUp(TMouseButton::mbLeft, {}, to.X, to.Y);
  }
  EXPECT_FALSE(globe.Rotating());
  EXPECT_FALSE(host.Captured);

  // A press beside the globe grabs nothing.
  globe.MouseDown(TMouseButton::mbLeft, {}, 5, 5);
  EXPECT_FALSE(globe.Rotating());
  EXPECT_FALSE(host.Captured);
}

TEST_F(ViewTest, OnTheAzimuthalMapDragsPanAndLocatingMovesTheCentre) {
  P.SetProjectionClass("TAzimuthalPrj");
  globe.LocateToLL(16 * D, 48 * D);
  P.SetScaleFactor(0);
  EXPECT_EQ(P.CentralParallel(), 48);
  EXPECT_EQ(P.CentralMeridian(), 16);
  EXPECT_EQ(P.CenterXY(), (TPoint{200, 150}));

  // Near the rim a degree of arc spans many pixels sideways: the grabbed point follows the
  // mouse all the same, and the centre of the map stays where it is on the earth.
  for (const TPoint from : {TPoint{200, 150}, TPoint{330, 150}, TPoint{200, 20}}) {
    TPointLL grabbed;
    ASSERT_TRUE(P.DeviceXYToLL(from.X, from.Y, grabbed));
    globe.MouseDown(TMouseButton::mbLeft, {}, from.X, from.Y);
    ASSERT_TRUE(globe.Rotating());
    globe.MouseMove({}, from.X - 30, from.Y + 20);
    globe.MouseUp(TMouseButton::mbLeft, {}, from.X - 30, from.Y + 20);
    TPoint now;
    P.PointLLToXY(grabbed, now);
    EXPECT_LE(std::abs(now.X - (from.X - 30)) + std::abs(now.Y - (from.Y + 20)), 2)
        << from.X << "," << from.Y;
    EXPECT_EQ(P.CentralParallel(), 48);
    EXPECT_EQ(P.CentralMeridian(), 16);
    P.SetCenterXY({200, 150});
  }

  // Locating is the command that moves the centre.
  globe.LocateToLL(139 * D, 35 * D);
  EXPECT_EQ(P.CentralParallel(), 35);
  EXPECT_EQ(P.CentralMeridian(), 139);
  TPointLL centre;
  ASSERT_TRUE(P.DeviceXYToLL(200, 150, centre));
  EXPECT_NEAR(centre.iLongX / double(D), 139, 1e-6);
  EXPECT_NEAR(centre.iLatY / double(D), 35, 1e-6);
}

// ---- Selection and clicks ---------------------------------------------------------------

TEST_F(ViewTest, ClicksSelectAndReportObjects) {
  TGlobeRoot a, b;
  std::vector<TGlobeRoot*> clicks;
  globe.OnObjectClick = [&](const void*, TGlobeRoot* Obj) { clicks.push_back(Obj); };
  auto click = [&](TMouseButton Button, platform::TShiftState Shift) {
    globe.MouseDown(Button, Shift, 200, 150);
    globe.MouseUp(Button, Shift, 200, 150);
  };
  TScriptedStore& store = *globe.Store;

  store.Hit = &a;
  click(TMouseButton::mbLeft, {});
  EXPECT_EQ(store.SelectedObject(), &a);
  EXPECT_THAT(clicks, ElementsAre(&a));

  // Ctrl is a modifier: the selection stays, and with multi-select the object toggles.
  store.SetSelectedObject(&b);
  click(TMouseButton::mbLeft, kCtrl);
  EXPECT_EQ(store.SelectedObject(), &b);
  EXPECT_TRUE(store.Inverted.empty());
  globe.SetGlobeOptions(globe.GlobeOptions() + TGlobeOptionsSet{goMultiSelect});
  click(TMouseButton::mbLeft, kCtrl);
  EXPECT_EQ(store.SelectedObject(), &b);
  EXPECT_THAT(store.Inverted, ElementsAre(&a));
  EXPECT_THAT(clicks, ElementsAre(&a, &a, &a));

  // The right button neither selects nor clicks.
  click(TMouseButton::mbRight, {});
  EXPECT_EQ(store.SelectedObject(), &b);
  EXPECT_EQ(clicks.size(), 3u);

  // A plain click on nothing deselects.
  store.Hit = nullptr;
  click(TMouseButton::mbLeft, {});
  EXPECT_EQ(store.SelectedObject(), nullptr);
  EXPECT_EQ(clicks.size(), 3u);
}

// ---- View state -------------------------------------------------------------------------

TEST_F(ViewTest, SetPOZRestoresWhatGetPOZRead) {
  P.SetXRotation(12.345678L);
  P.SetYRotation(-77.5L);
  P.SetZRotation(3.25L);
  P.SetScaleFactor(P.ScaleFactor() * 1.7L);
  P.SetCenterXY({180, 170});
  TGlobePOZ poz;
  globe.GetPOZ(poz);
  EXPECT_EQ(poz.iRotX, Round32(12.345678L * D));
  EXPECT_EQ(poz.CenterXY, (TPoint{180, 170}));

  P.SetXRotation(0);
  P.SetYRotation(0);
  P.SetZRotation(0);
  P.SetScaleFactor(0);
  P.SetCenterXY({10, 10});
  globe.SetPOZ(poz);
  TGlobePOZ again;
  globe.GetPOZ(again);
  EXPECT_EQ(again.eSF, poz.eSF);
  EXPECT_EQ(again.CenterXY, poz.CenterXY);
  EXPECT_EQ(again.iRotX, poz.iRotX);
  EXPECT_EQ(again.iRotY, poz.iRotY);
  EXPECT_EQ(again.iRotZ, poz.iRotZ);
}

TEST_F(ViewTest, LocatingCentresThePositionOrTheObject) {
  Sphere(100);
  globe.LocateToLL(30 * D, 45 * D);
  EXPECT_NEAR(static_cast<double>(P.CenterLongitude()), 30, 0.01);
  EXPECT_NEAR(static_cast<double>(P.CenterLatitude()), 45, 0.01);

  TGlobeRoot obj;
  globe.Store->Hit = &obj;
  globe.Store->HitMER = {-10 * D, -20 * D, 20 * D, 10 * D};
  globe.LocateToObject(&obj);
  EXPECT_NEAR(static_cast<double>(P.CenterLongitude()), 0, 0.01);
  EXPECT_NEAR(static_cast<double>(P.CenterLatitude()), -15, 0.01);
  globe.LocateToObject(nullptr);
  EXPECT_NEAR(static_cast<double>(P.CenterLatitude()), -15, 0.01);
}

// After the flat map the sphere may look straight down on a pole, where no longitude is
// defined: centring must still face the target's meridian.
TEST_F(ViewTest, LocatingAfterTheFlatMapFacesTheTarget) {
  struct Case {
    double lon, lat;
  };
  const Case cases[] = {{10, 51},       {139.7, 35.7}, {-74, 40.7},
                        {-58.4, -51.7}, {151, -33.5},  {25, 65}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.lon << " " << c.lat);
    Sphere(100);
    globe.LocateToLL(Round32(c.lon * D), Round32(c.lat * D));
    P.SetProjectionClass("TCartesianPrj");
    P.SetAltitude(0);
    const Extended mapLon = P.CenterLongitude();
    const Extended mapLat = P.CenterLatitude();
    // Back on the sphere the view faces what the map had in its middle.
    P.SetProjectionClass("TSphericalPrj");
    EXPECT_NEAR(static_cast<double>(P.CenterLongitude()), static_cast<double>(mapLon), 0.01);
    EXPECT_NEAR(static_cast<double>(P.CenterLatitude()), static_cast<double>(mapLat), 0.01);
    P.SetAltitude(0);
    P.SetScaleFactor(100 / GU_EARTH_RADIUS);
    globe.LocateToLL(Round32(c.lon * D), Round32(c.lat * D));
    EXPECT_NEAR(static_cast<double>(P.CenterLongitude()), c.lon, 0.01);
    EXPECT_NEAR(static_cast<double>(P.CenterLatitude()), c.lat, 0.01);
  }
}

TEST_F(ViewTest, EmptyViewRectFitsTheWholeMap) {
  const Extended fitted = P.ScaleFactor();
  P.SetScaleFactor(fitted * 4);
  globe.SetViewRect({0, 0, 0, 100});
  EXPECT_EQ(P.ScaleFactor(), fitted);
}

// ---- Scroll bars ------------------------------------------------------------------------

TEST_F(ViewTest, ScrollBarsShowTheVisibleExtent) {
  globe.UpdateScrollBars();
  const platform::TScrollInfo h = host.Bars[TScrollBarKind::sbHorizontal];
  EXPECT_EQ(h.Min, -GU_EARTH_RADIUS);
  EXPECT_EQ(h.Max, GU_EARTH_RADIUS);
  EXPECT_EQ(h.Page, globe.ViewRect().Width());
  EXPECT_FALSE(h.Enabled);  // the whole sphere is in view

  // Bars the window style leaves out are not set.
  host.Bars.clear();
  globe.SetScrollBars(ssHorizontal);
  globe.UpdateScrollBars();
  EXPECT_EQ(host.Bars.count(TScrollBarKind::sbVertical), 0u);
  EXPECT_EQ(host.Bars.count(TScrollBarKind::sbHorizontal), 1u);
}

TEST_F(ViewTest, ScrollCodesPanByPartsOfThePage) {
  P.SetScaleFactor(P.ScaleFactor() * 3);
  const Extended S = P.ScaleFactor();
  struct Case {
    TScrollCode code;
    std::int64_t divisor;  // the amount is sign × page / divisor, or
    std::int64_t sign;
    std::int64_t fixed;  // this amount when divisor is 0 (the thumb is dragged 1000 units)
  };
  const std::vector<Case> cases = {
      {TScrollCode::scLineUp, 20, -1, 0},      {TScrollCode::scLineDown, 20, 1, 0},
      {TScrollCode::scPageUp, 2, -1, 0},       {TScrollCode::scPageDown, 2, 1, 0},
      {TScrollCode::scThumbTrack, 0, 0, 1000}, {TScrollCode::scEndScroll, 0, 0, 0},
      {TScrollCode::scThumbPosition, 0, 0, 0},
  };
  int panned = 0;
  globe.OnPanned = [&](const void*) { ++panned; };
  for (const TScrollBarKind kind : {TScrollBarKind::sbHorizontal, TScrollBarKind::sbVertical}) {
    for (const Case& c : cases) {
      globe.UpdateScrollBars();
      platform::TScrollInfo& bar = host.Bars[kind];
      bar.TrackPosition = bar.Position + 1000;
      const std::int64_t amount = c.divisor == 0 ? c.fixed : c.sign * bar.Page / c.divisor;
      const bool horizontal = kind == TScrollBarKind::sbHorizontal;
      const std::int32_t before = horizontal ? P.XOrigin() : P.YOrigin();
      if (horizontal) {
        globe.HorzScroll(c.code);
      } else {
        globe.VertScroll(c.code);
      }
      const std::int32_t after = horizontal ? P.XOrigin() : P.YOrigin();
      EXPECT_EQ(after, before - RoundHalfEven(amount * S)) << int(c.code) << " " << horizontal;
    }
  }
  EXPECT_EQ(panned, 10);  // the five codes that move, on both bars
}

TEST_F(ViewTest, MinMaxLimitsZoomInUntilTheLimitedRangeFillsTheWindow) {
  P.SetUseMinMaxLimits(true);
  P.SetScaleFactor(0);
  ASSERT_EQ(P.ProjectionClass(), "TCartesianPrj");
  P.SetMinLatitude(-45);
  P.SetMaxLatitude(45);
  EXPECT_NEAR(static_cast<double>(P.ScaleFactor()), 300.0 / (90.0 * D), 1e-15);
  const platform::TScrollInfo v = host.Bars[TScrollBarKind::sbVertical];
  EXPECT_EQ(v.Min, -45 * D);
  EXPECT_EQ(v.Max, 45 * D);
  EXPECT_EQ(v.Page, 90 * D);
  // The view keeps within the limits: the top of the window shows 45° north.
  TPointLL top;
  ASSERT_TRUE(P.DeviceXYToLL(200, 0, top));
  EXPECT_NEAR(top.iLatY / double(D), 45, 0.01);
}

TEST_F(ViewTest, MinMaxLimitsBeyondTheZoomLimitDoNotZoomForever) {
  P.SetUseMinMaxLimits(true);
  P.SetScaleFactor(0);
  const Extended fitted = P.ScaleFactor();
  P.SetMinZoom(fitted / 2);
  P.SetMaxZoom(fitted * 1.5L);
  P.SetMinLatitude(-10);
  P.SetMaxLatitude(10);
  globe.UpdateScrollBars();
  EXPECT_EQ(P.ScaleFactor(), fitted * 1.5L);
  EXPECT_EQ(host.Bars[TScrollBarKind::sbVertical].Min, -10 * D);
}

}  // namespace
}  // namespace globe::testing
