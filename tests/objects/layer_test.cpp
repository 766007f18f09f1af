// Layers: property rules, zoom limits and units, drawing through presenters (titles, hidden
// presenters, tiny objects, the periodic checks), hit tests and look-ups, notifications,
// environments and copies.
#include "globe/objects/layer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "globe/core/units.h"
#include "globe/formats/xml.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/object.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/render/attributes.h"
#include "platform/application.h"
#include "platform/windowhost.h"
#include "tests/objects/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;
using U = TGlobeUnitTypes;

class LayerTest : public ObjectsTest {
 protected:
  LayerTest() { FlatMap(); }

  /// A new layer; the globe's store owns it.
  TGlobeLayer& NewLayer() { return *std::make_unique<TGlobeLayer>(&globe).release(); }

  /// An object of one chain through the points (degrees), owned by Source.
  TGeoDataObject& AddObject(TGlobeObjectSource& Source, std::initializer_list<TPointLL> Points,
                            bool Closed = false) {
    auto* obj = MakeGlobeObject<TGeoDataObject>(&Source);
    obj->Chains().Add(Chain(Points));
    obj->SetClosed(Closed);
    return *obj;
  }

  /// A square of Side degrees with its south-west corner at (Long, Lat).
  TGeoDataObject& AddSquare(TGlobeObjectSource& Source, double Long, double Lat, double Side) {
    return AddObject(Source,
                     {Deg(Long, Lat), Deg(Long, Lat + Side), Deg(Long + Side, Lat + Side),
                      Deg(Long + Side, Lat), Deg(Long, Lat)},
                     true);
  }

  /// A line presenter in the layer's own store; returns it.
  TPolyPresenter& AddPresenter(TGlobeLayer& Layer) {
    auto owned = std::make_unique<TPolylinePresenter>(&globe, 0);
    TPolyPresenter& p = *owned;
    Layer.Presenters().Add(std::move(owned));
    return p;
  }

  [[nodiscard]] std::size_t Drawn(std::string_view Call = "Polyline") const {
    return dev.CallsNamed(Call).size();
  }

  /// The titles written, without the white rim round each (the titles here are black).
  [[nodiscard]] std::vector<const platform::TRecordedCall*> Titles() const {
    std::vector<const platform::TRecordedCall*> Ink;
    for (const auto* c : dev.CallsNamed("TextOut"))
      if (c->TextColor != platform::RGB(0xFF, 0xFF, 0xFF)) Ink.push_back(c);
    return Ink;
  }
};

/// Hits every object it is asked about.
class TAlwaysHitPresenter : public TGlobePresenter {
 public:
  using TGlobePresenter::TGlobePresenter;
  int Asked = 0;
  bool LLInObject(TGlobe4&, const TPointLL&, TGlobeObject&, std::int32_t) override {
    ++Asked;
    return true;
  }
};

// ---- Life and properties ----------------------------------------------------------------

TEST_F(LayerTest, NewLayerIsListedByItsGlobeAndLeavesItWhenFreed) {
  std::vector<std::string> events;
  globe.OnLayerCreate = [&](const void*, TGlobeRoot*) { events.push_back("create"); };
  globe.OnLayerFree = [&](const void*, TGlobeRoot*) { events.push_back("free"); };
  TGlobeLayer& a = NewLayer();
  TGlobeLayer& b = NewLayer();
  EXPECT_EQ(globe.Layers().Count(), 2);
  EXPECT_EQ(a.ParentLayerStore(), &globe.Layers());
  EXPECT_EQ(b.Index(), 1);
  EXPECT_FALSE(a.Modified());
  a.Delete();
  EXPECT_EQ(globe.Layers().Count(), 1);
  EXPECT_EQ(b.Index(), 0);
  EXPECT_THAT(events, ElementsAre("create", "create", "free"));
  try {
    TGlobeLayer nil(nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const EGlobeException& e) {
    EXPECT_STREQ(e.what(), "TGlobeLayer.Create passed nil Parent");
  }
}

TEST_F(LayerTest, SwitchesSetModifiedOnlyWhenTheyChange) {
  struct Case {
    const char* name;
    void (*set)(TGlobeLayer&);
  };
  const Case cases[] = {
      {"Animated", [](TGlobeLayer& l) { l.SetAnimated(true); }},
      {"Enabled", [](TGlobeLayer& l) { l.SetEnabled(false); }},
      {"ShowTitles", [](TGlobeLayer& l) { l.SetShowTitles(false); }},
      {"Visible", [](TGlobeLayer& l) { l.SetVisible(false); }},
      {"NoInterrupt", [](TGlobeLayer& l) { l.SetNoInterrupt(true); }},
      {"ZoomMin", [](TGlobeLayer& l) { l.SetZoomMin(5); }},
      {"ZoomMax", [](TGlobeLayer& l) { l.SetZoomMax(5); }},
      {"ColorAdjustPercent", [](TGlobeLayer& l) { l.SetLayerColorAdjustPercent(50); }},
      {"ColorAdjustTarget", [](TGlobeLayer& l) { l.SetLayerColorAdjustTarget(0xFF); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TGlobeLayer& layer = NewLayer();
    c.set(layer);
    EXPECT_TRUE(layer.Modified());
    layer.SetModified(false);
    c.set(layer);  // the same value again
    EXPECT_FALSE(layer.Modified());
  }
}

TEST_F(LayerTest, ObjectsAttachesAPlainSourceThatTheLastLayerFrees) {
  TGlobeLayer& a = NewLayer();
  EXPECT_EQ(a.ObjectsOrNull(), nullptr);
  TGlobeObjectSource& src = a.Objects();
  EXPECT_EQ(a.ObjectsOrNull(), &src);
  EXPECT_EQ(src.LayerCount(), 1);
  EXPECT_EQ(globe.ObjectSources().size(), 1u);

  TGlobeLayer& b = NewLayer();
  b.SetObjects(&src);
  EXPECT_EQ(src.LayerCount(), 2);
  // Attaching the attached source again must not let it go in between (ASan watches).
  a.SetObjects(&src);
  EXPECT_EQ(src.LayerCount(), 2);

  a.SetObjects(nullptr);
  EXPECT_EQ(src.LayerCount(), 1);
  b.Delete();  // the last subscriber: the source goes with it
  EXPECT_TRUE(globe.ObjectSources().empty());
}

TEST_F(LayerTest, SourcesNoLayerTookAreFreedWithTheGlobe) {
  // ASan's leak check fails this test when the globe leaves them behind.
  auto* unsubscribed = std::make_unique<TGlobeObjectSource>(&globe).release();
  MakeGlobeObject<TGeoDataObject>(unsubscribed);
  TGlobeLayer& layer = NewLayer();
  layer.SetObjects(std::make_unique<TGlobeObjectSource>(&globe).release());
  EXPECT_EQ(globe.ObjectSources().size(), 2u);
}

TEST_F(LayerTest, NameIsExplicitElseTheSourcesElseTheClassName) {
  TGlobeLayer& layer = NewLayer();
  EXPECT_EQ(layer.Name(), "TGlobeLayer");
  layer.Objects().SetName("world.lyr");
  EXPECT_EQ(layer.Name(), "world.lyr");

  // Writing the derived name stores nothing: the name keeps following the source.
  layer.SetName(" world.lyr ");
  EXPECT_FALSE(layer.Modified());
  layer.Objects().SetName("coast.lyr");
  EXPECT_EQ(layer.Name(), "coast.lyr");

  layer.SetName("  Coast  ");
  EXPECT_EQ(layer.Name(), "Coast");
  EXPECT_TRUE(layer.Modified());
  layer.SetName("");
  EXPECT_EQ(layer.Name(), "coast.lyr");
}

TEST_F(LayerTest, ChangingZoomUnitsKeepsTheDistance) {
  struct Case {
    U from;
    std::int32_t value;
    U to;
    std::int32_t expected;
  };
  const Case cases[] = {
      {U::NauticalMile, 100, U::Kilometer, 185},       // 185.2
      {U::Kilometer, 185, U::NauticalMile, 100},       // 99.89
      {U::GlobeUnit, 8'100'000, U::Degree, 2},         // 1.5: the even neighbour
      {U::GlobeUnit, 13'500'000, U::Degree, 2},        // 2.5: the even neighbour
      {U::Degree, 1000, U::GlobeUnit, 2'147'483'647},  // beyond 32 bits: the largest
      {U::NauticalMile, 0, U::Kilometer, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.from) << " " << c.value);
    TGlobeLayer& layer = NewLayer();
    layer.SetZoomUnits(c.from);
    layer.SetZoomMin(c.value);
    layer.SetZoomMax(c.value);
    layer.SetModified(false);
    layer.SetZoomUnits(c.to);
    EXPECT_EQ(layer.ZoomMin(), c.expected);
    EXPECT_EQ(layer.ZoomMax(), c.expected);
    EXPECT_EQ(layer.ZoomUnits(), c.to);
    EXPECT_TRUE(layer.Modified());
  }
}

TEST_F(LayerTest, ZoomRangeInNauticalMilesDecidesVisibility) {
  constexpr std::int32_t NM = 90'000;
  struct Case {
    std::int32_t zoomMin, zoomMax, altitude;
    bool visible;
  };
  const Case cases[] = {
      {100, 0, 100 * NM, false},       // at the lower limit: not yet
      {100, 0, 100 * NM + 100'000, true},  // above it; no upper limit
      {100, 0, 50'000'000, true},
      {0, 100, 100 * NM, true},  // at the upper limit: still
      {0, 100, 100 * NM + 100'000, false},
      {0, 0, 20'000'000, true},
  };
  // A small canvas, so that the view can be that far out; everything is tiny there.
  SizeCanvas(36, 18);
  TGlobeLayer& layer = NewLayer();
  TGlobeObjectSource& src = layer.Objects();
  AddObject(src, {Deg(10, 10), Deg(20, 20)});
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.zoomMin << " " << c.zoomMax << " " << c.altitude);
    layer.SetZoomMin(c.zoomMin);
    layer.SetZoomMax(c.zoomMax);
    P.SetAltitude(c.altitude);
    ASSERT_EQ(P.Altitude(), c.altitude);
    P.SetXOrigin(18);  // the map's centre in the canvas's
    P.SetYOrigin(9);
    EXPECT_EQ(layer.IsLayerMERVisible(), c.visible);
    // The layer draws exactly when it is visible.
    dev.Calls.clear();
    layer.RenderObjects();
    EXPECT_EQ(Drawn("SetPixel") + Drawn() > 0, c.visible);
  }
  layer.SetZoomMin(0);
  layer.SetVisible(false);
  EXPECT_FALSE(layer.IsLayerMERVisible());
}

TEST_F(LayerTest, LayerMERFollowsTheSource) {
  TGlobeLayer& layer = NewLayer();
  EXPECT_EQ(layer.LayerMER(), TMER{});  // no source, and none attached by asking
  EXPECT_EQ(layer.ObjectsOrNull(), nullptr);
  TGlobeObjectSource& src = layer.Objects();
  AddObject(src, {Deg(10, 10), Deg(20, 30)});
  EXPECT_EQ(layer.LayerMER(), src.ObjectsMER());
  AddObject(src, {Deg(-40, -10), Deg(0, 0)});
  EXPECT_EQ(layer.LayerMER(), src.ObjectsMER());
  EXPECT_EQ(layer.LayerMER().iLongX, -40 * D - 1);
}

TEST_F(LayerTest, FindPresenterLooksInTheLayerThenGlobalThenTheSource) {
  TGlobeLayer& layer = NewLayer();
  TGlobeObjectSource& src = layer.Objects();
  auto add = [&](TGlobePresenterStore& store, std::int32_t id) {
    auto p = std::make_unique<TPolyPresenter>(&globe, id);
    TGlobePresenter* raw = p.get();
    store.Add(std::move(p));
    return raw;
  };
  TGlobePresenter* own = add(layer.Presenters(), 7);
  TGlobePresenter* fromSource7 = add(src.Presenters(), 7);
  TGlobePresenter* fromSource8 = add(src.Presenters(), 8);
  TGlobePresenter* ownGlobal = add(layer.Presenters(), -2);
  EXPECT_EQ(layer.FindPresenter(7), own);
  EXPECT_NE(layer.FindPresenter(7), fromSource7);
  EXPECT_EQ(layer.FindPresenter(8), fromSource8);
  EXPECT_EQ(layer.FindPresenter(-2), ownGlobal);
  EXPECT_EQ(layer.FindPresenter(-1), globe.Layers().GlobalPresenters().ByID(-1, false));
  EXPECT_EQ(layer.FindPresenter(9), nullptr);
}

// ---- Drawing ----------------------------------------------------------------------------

TEST_F(LayerTest, ObjectsWithoutPresenterUseTheHandlerElseTheirOwnRender) {
  TGlobeLayer& layer = NewLayer();
  TGeoDataObject& obj = AddObject(layer.Objects(), {Deg(10, 10), Deg(20, 20)});

  layer.RenderObjects();
  EXPECT_EQ(Drawn(), 1u);  // the object's own Render

  std::vector<TGlobeRoot*> handled;
  TGlobeObjectStateSet seen;
  globe.OnObjectRender = [&](const void* Sender, TGlobeRoot* Obj, TGlobeObjectStateSet State) {
    EXPECT_EQ(Sender, &globe);
    handled.push_back(Obj);
    seen = State;
  };
  dev.Calls.clear();
  layer.RenderObjects();
  EXPECT_THAT(handled, ElementsAre(&obj));
  EXPECT_TRUE(seen.Contains(osVisible));
  EXPECT_TRUE(seen.Contains(osFace));
  EXPECT_EQ(Drawn(), 0u);

  // With a presenter the handler is not asked.
  obj.SetPresenterID(AddPresenter(layer).PresenterID());
  handled.clear();
  layer.RenderObjects();
  EXPECT_TRUE(handled.empty());
  EXPECT_EQ(Drawn(), 1u);
}

TEST_F(LayerTest, ObjectZoomRangeInGlobeUnitsLimitsDrawingAndHits) {
  struct Case {
    std::int32_t zoomMin, zoomMax, altitude;
    bool drawn;
  };
  const Case cases[] = {
      {0, 0, 1'000'000, true},  // equal bounds: always
      {5'000'000, 5'000'000, 1'000'000, true},
      {1'000'000, 2'000'000, 1'000'000, false},  // at ZoomMin: not drawn
      {1'000'000, 2'000'000, 1'010'000, true},
      {1'000'000, 2'000'000, 2'000'000, true},  // at ZoomMax: drawn
      {1'000'000, 2'000'000, 2'010'000, false},
  };
  TGlobeLayer& layer = NewLayer();
  TGeoDataObject& obj = AddObject(layer.Objects(), {Deg(10, 10), Deg(20, 20)});
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.zoomMin << " " << c.zoomMax << " " << c.altitude);
    obj.SetZoomMin(c.zoomMin);
    obj.SetZoomMax(c.zoomMax);
    P.SetAltitude(c.altitude);
    ASSERT_EQ(P.Altitude(), c.altitude);
    dev.Calls.clear();
    layer.RenderObjects();
    EXPECT_EQ(Drawn(), c.drawn ? 1u : 0u);
    // Only what is drawn can be named under the mouse.
    EXPECT_EQ(layer.ObjectAtLL(Deg(15, 15)), c.drawn ? &obj : nullptr);
  }
}

TEST_F(LayerTest, TinyObjectsAreOneGreyPixelAtTheirSouthWestCorner) {
  TGlobeLayer& layer = NewLayer();
  // Two pixels cover two degrees here: half a degree is tiny, ten degrees are not.
  AddObject(layer.Objects(), {Deg(10, 20), Deg(10.5, 20.5)});
  AddObject(layer.Objects(), {Deg(30, 20), Deg(40, 30)});
  EXPECT_TRUE(layer.UpdateObjectState(0).Contains(osTiny));
  EXPECT_FALSE(layer.UpdateObjectState(1).Contains(osTiny));
  layer.RenderObjects();
  const auto pixels = dev.CallsNamed("SetPixel");
  ASSERT_EQ(pixels.size(), 1u);
  EXPECT_EQ(pixels[0]->Points.at(0), (TPoint{190, 70}));
  EXPECT_EQ(pixels[0]->Value, static_cast<std::int32_t>(platform::RGB(128, 128, 128)));
  EXPECT_EQ(Drawn(), 1u);  // the large one
}

TEST_F(LayerTest, HiddenAndOffScreenObjectsAreNotVisible) {
  TGlobeLayer& layer = NewLayer();
  TGeoDataObject& hidden = AddObject(layer.Objects(), {Deg(10, 10), Deg(20, 20)});
  hidden.SetHidden(true);
  Sphere(200, 200, 90);  // the far side of the globe is not visible
  AddObject(layer.Objects(), {Deg(170, 10), Deg(175, 20)});
  AddObject(layer.Objects(), {Deg(10, 10), Deg(20, 20)});
  EXPECT_FALSE(layer.UpdateObjectState(0).Contains(osVisible));
  EXPECT_FALSE(layer.UpdateObjectState(1).Contains(osVisible));
  EXPECT_TRUE(layer.UpdateObjectState(2).Contains(osVisible));
  layer.RenderObjects();
  EXPECT_EQ(Drawn(), 1u);
}

TEST_F(LayerTest, HiddenPresenterSkipsDrawingTitleAndThePeriodicCheck) {
  // The shutdown check runs at index 0 unless the object there is skipped for a hidden
  // presenter; then the next object is still drawn.
  for (const bool hiddenFirst : {false, true}) {
    SCOPED_TRACE(hiddenFirst);
    dev.Calls.clear();
    TGlobeLayer& layer = NewLayer();
    TPolyPresenter& shown = AddPresenter(layer);
    TPolyPresenter& hidden = AddPresenter(layer);
    shown.SetTitleAlignment(taCenter);
    hidden.SetTitleAlignment(taCenter);
    hidden.SetHidden(true);
    TGeoDataObject& first = AddObject(layer.Objects(), {Deg(10, 10), Deg(20, 20)});
    TGeoDataObject& second = AddObject(layer.Objects(), {Deg(30, 10), Deg(40, 20)});
    first.SetTitle("first");
    second.SetTitle("second");
    first.SetPresenterID((hiddenFirst ? hidden : shown).PresenterID());
    second.SetPresenterID(shown.PresenterID());

    platform::SetApplicationTerminated(true);
    layer.RenderObjects();
    platform::SetApplicationTerminated(false);

    const auto titles = Titles();
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(titles[0]->Text, hiddenFirst ? "second" : "first");
    EXPECT_EQ(Drawn(), 1u);
    layer.Delete();
  }
}

TEST_F(LayerTest, PaintAbortStopsTheLayerUnlessItMayNotBeInterrupted) {
  globe.SetGlobeOptions(globe.GlobeOptions() + TGlobeOptionsSet{goInterruptable});
  // A zoom drag with an interruptable globe abandons the paint in progress.
  globe.MouseDown(platform::TMouseButton::mbRight, {}, 10, 10);
  globe.MouseMove({}, 20, 20);
  ASSERT_TRUE(globe.PaintAborted());
  for (const bool noInterrupt : {false, true}) {
    SCOPED_TRACE(noInterrupt);
    dev.Calls.clear();
    TGlobeLayer& layer = NewLayer();
    layer.SetNoInterrupt(noInterrupt);
    AddObject(layer.Objects(), {Deg(10, 10), Deg(20, 20)});
    layer.RenderObjects();
    EXPECT_EQ(Drawn(), noInterrupt ? 1u : 0u);
    layer.Delete();
  }
}

TEST_F(LayerTest, ColourAdjustmentGoesToTheCanvas) {
  TGlobeLayer& layer = NewLayer();
  layer.SetLayerColorAdjustPercent(40);
  layer.SetLayerColorAdjustTarget(platform::RGB(1, 2, 3));
  layer.RenderObjects();
  EXPECT_EQ(canvas.ColorAdjustPercent(), 40);
  EXPECT_EQ(canvas.ColorAdjustTarget(), platform::RGB(1, 2, 3));
}

// A window that only counts the requests for a repaint.
class TCountingHost : public platform::TWindowHost {
 public:
  int Invalidations = 0;
  void Invalidate() override { ++Invalidations; }
  void CaptureMouse() override {}
  void ReleaseMouse() override {}
  [[nodiscard]] platform::TScrollInfo ScrollBar(platform::TScrollBarKind) const override {
    return {};
  }
  void SetScrollBar(platform::TScrollBarKind, const platform::TScrollInfo&) override {}
  void RecreateWindow(const platform::TWindowStyle&) override {}
  [[nodiscard]] bool Printing() const override { return false; }
};

TEST_F(LayerTest, LongPaintCopiesThePictureToTheWindowWhenTheUpdateIsDue) {
  TCountingHost host;
  globe.SetHost(&host);
  globe.Resize(360, 180);
  FlatMap();
  TGlobeLayer& layer = NewLayer();
  AddObject(layer.Objects(), {Deg(10, 10), Deg(20, 20)});
  // The first object takes longer than the update interval, so the check after it is due.
  globe.OnObjectRender = [](const void*, TGlobeRoot*, TGlobeObjectStateSet) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  for (const std::int32_t period : {0, 1}) {
    SCOPED_TRACE(period);
    globe.SetPeriodicUpdateTime(period);
    platform::TRecordingDevice window;
    globe.RedrawLayers();
    globe.Paint(window);
    // The copy at the end of every paint, and one on the way when an update is due.
    EXPECT_EQ(window.CallsNamed("DrawBitmap").size(), period > 0 ? 2u : 1u);
  }
  globe.SetHost(nullptr);
  // Outside a paint there is no window to show anything on.
  globe.ShowPaintProgress();
}

TEST_F(LayerTest, TitleAlignmentPlacesTheTextAroundTheCentroid) {
  struct Case {
    TTitleAlignment alignment;
    std::uint16_t flags;
    TPoint at;
  };
  // The centroid (10°, 20°) lands on (190, 70); the offset is 4 pixels.
  const Case cases[] = {
      {taCenter, 30, {190, 70}},    {taLeft, 26, {186, 70}},   {taRight, 24, {194, 70}},
      {taTopLeft, 10, {186, 66}},   {taTop, 14, {190, 66}},    {taTopRight, 8, {194, 66}},
      {taBottomLeft, 2, {186, 74}}, {taBottom, 6, {190, 74}},  {taBottomRight, 0, {194, 74}},
  };
  TGlobeLayer& layer = NewLayer();
  TPolyPresenter& presenter = AddPresenter(layer);
  presenter.TitleFont().SetFontUnit(U::Pixel);
  presenter.TitleFont().SetFontSize(12);
  presenter.SetTitleOffset(4);
  TGeoDataObject& obj = AddObject(layer.Objects(), {Deg(10, 20)});
  obj.SetTitle("Oslo");
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.alignment));
    presenter.SetTitleAlignment(c.alignment);
    dev.Calls.clear();
    layer.RenderTitle(obj, presenter);
    const auto texts = Titles();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->Text, "Oslo");
    EXPECT_EQ(texts[0]->Points.at(0), c.at);
    EXPECT_EQ(texts[0]->TextAlign, c.flags);
  }
}

TEST_F(LayerTest, TitlesHaveAContrastingRim) {
  TGlobeLayer& layer = NewLayer();
  TPolyPresenter& presenter = AddPresenter(layer);
  presenter.TitleFont().SetFontUnit(U::Pixel);
  presenter.TitleFont().SetFontSize(12);
  presenter.SetTitleAlignment(taCenter);
  TGeoDataObject& obj = AddObject(layer.Objects(), {Deg(10, 20)});
  obj.SetTitle("Oslo");
  const struct {
    platform::TColor Ink, Rim;
  } cases[] = {{platform::RGB(0, 0, 0), platform::RGB(0xFF, 0xFF, 0xFF)},
               {platform::RGB(0xFF, 0xFF, 0xE0), platform::RGB(0, 0, 0)},
               {platform::RGB(0x20, 0x20, 0x80), platform::RGB(0xFF, 0xFF, 0xFF)}};
  for (const auto& c : cases) {
    presenter.TitleFont().SetFontColor(c.Ink);
    dev.Calls.clear();
    layer.RenderTitle(obj, presenter);
    const auto texts = dev.CallsNamed("TextOut");
    ASSERT_EQ(texts.size(), 9u);
    std::vector<TPoint> rim;
    for (std::size_t i = 0; i < 8; ++i) {
      EXPECT_EQ(texts[i]->TextColor, c.Rim);
      rim.push_back({texts[i]->Points.at(0).X - 190, texts[i]->Points.at(0).Y - 70});
    }
    EXPECT_THAT(rim, ::testing::UnorderedElementsAre(TPoint{-1, -1}, TPoint{0, -1}, TPoint{1, -1},
                                                     TPoint{-1, 0}, TPoint{1, 0}, TPoint{-1, 1},
                                                     TPoint{0, 1}, TPoint{1, 1}));
    // The ink last, on top, where the title belongs.
    EXPECT_EQ(texts[8]->TextColor, c.Ink);
    EXPECT_EQ(texts[8]->Points.at(0), (TPoint{190, 70}));
  }
}

TEST_F(LayerTest, TitlesThatWouldOverlapOnesDrawnEarlierInThePaintAreLeftOut) {
  // Capitals drawn before cities: "Rome" keeps its place, "Vatican City" a pixel off
  // gives way, "Oslo" and "Lima" clear of it are written; a layer without the property writes all.
  const auto Titled = [this](TGlobeLayer& Layer, const char* Title, double Long, double Lat) {
    TPolyPresenter& p = AddPresenter(Layer);
    p.TitleFont().SetFontUnit(U::Pixel);
    p.TitleFont().SetFontSize(12);
    p.SetTitleAlignment(taRight);
    TGeoDataObject& obj = AddObject(Layer.Objects(), {Deg(Long, Lat)});
    obj.SetPresenterID(p.PresenterID());
    obj.SetTitle(Title);
  };
  const auto Written = [this] {
    std::vector<std::string> texts;
    for (const auto* c : Titles()) texts.push_back(c->Text);
    return texts;
  };
  TGlobeLayer& capitals = NewLayer();
  TGlobeLayer& cities = NewLayer();
  Titled(capitals, "Rome", 12.5, 41.9);
  Titled(capitals, "Oslo", 10.75, 59.9);
  Titled(cities, "Vatican City", 12.45, 41.9);
  Titled(cities, "Lima", -77, -12);
  Titled(cities, "Roma Termini", 12.5, 41.9);
  EXPECT_FALSE(capitals.AvoidTitleOverlap());  // a property to set, off for a new layer

  for (const bool avoid : {true, false}) {
    SCOPED_TRACE(avoid);
    capitals.SetAvoidTitleOverlap(avoid);
    cities.SetAvoidTitleOverlap(avoid);
    for (int pass = 0; pass < 2; ++pass) {  // every pass starts with a free picture
      dev.Calls.clear();
      globe.Layers().Render(false);
      if (avoid) {
        EXPECT_THAT(Written(), ElementsAre("Rome", "Oslo", "Lima"));
      } else {
        EXPECT_THAT(Written(), ElementsAre("Rome", "Oslo", "Vatican City", "Lima", "Roma Termini"));
      }
    }
  }
}

TEST_F(LayerTest, TitlesAreLeftOutWhenThereIsNothingToShow) {
  TGlobeLayer& layer = NewLayer();
  TPolyPresenter& presenter = AddPresenter(layer);
  presenter.TitleFont().SetFontUnit(U::Pixel);
  presenter.TitleFont().SetFontSize(12);
  presenter.SetTitleAlignment(taCenter);
  TGeoDataObject& obj = AddObject(layer.Objects(), {Deg(10, 20), Deg(20, 30)});
  obj.SetPresenterID(presenter.PresenterID());
  obj.SetTitle("Oslo");

  struct Case {
    const char* name;
    void (*apply)(TGlobeLayer&, TGlobePresenter&, TGlobeObject&, TGlobe4&);
  };
  const Case cases[] = {
      {"titles off", [](TGlobeLayer& l, TGlobePresenter&, TGlobeObject&, TGlobe4&) {
         l.SetShowTitles(false);
       }},
      {"no alignment", [](TGlobeLayer&, TGlobePresenter& p, TGlobeObject&, TGlobe4&) {
         p.SetTitleAlignment(taNone);
       }},
      {"no title", [](TGlobeLayer&, TGlobePresenter&, TGlobeObject& o, TGlobe4&) {
         o.SetTitle("");
       }},
      {"font too low", [](TGlobeLayer&, TGlobePresenter& p, TGlobeObject&, TGlobe4& g) {
         g.SetMinTextHeight(13);
         p.TitleFont().SetFontSize(12);
       }},
  };
  layer.RenderObjects();
  ASSERT_EQ(Titles().size(), 1u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.apply(layer, presenter, obj, globe);
    dev.Calls.clear();
    layer.RenderObjects();
    EXPECT_EQ(Drawn(), 1u);
    EXPECT_TRUE(Titles().empty());
  }
}

// ---- Hit tests and look-ups -------------------------------------------------------------

TEST_F(LayerTest, HitTestsFindTheObjectDrawnLastFirst) {
  TGlobeLayer& layer = NewLayer();
  TGeoDataObject& low = AddSquare(layer.Objects(), 0, 0, 20);
  TGeoDataObject& high = AddSquare(layer.Objects(), 10, 10, 20);
  struct Case {
    double lon, lat;
    TGlobeObject* expected;
  };
  const Case cases[] = {
      {15, 15, &high}, {5, 5, &low}, {25, 25, &high}, {50, 50, nullptr}, {25, 5, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.lon << " " << c.lat);
    EXPECT_EQ(layer.ObjectAtLL(Deg(c.lon, c.lat)), c.expected);
    // Device (180 + lon, 90 - lat) is the same place.
    EXPECT_EQ(layer.ObjectAtXY(static_cast<std::int32_t>(180 + c.lon),
                               static_cast<std::int32_t>(90 - c.lat)),
              c.expected);
  }
  EXPECT_EQ(layer.ObjectAtXY(-50, -50), nullptr);  // off the map
  layer.SetVisible(false);
  EXPECT_EQ(layer.ObjectAtLL(Deg(15, 15)), nullptr);
}

TEST_F(LayerTest, HitTestsOnTheAzimuthalMap) {
  // Centred on 0°, 0°: the square far out towards the rim is hit where it is drawn, the
  // middle of the map and the corners beyond the rim hit nothing.
  TGlobeLayer& layer = NewLayer();
  TGeoDataObject& square = AddSquare(layer.Objects(), 150, 0, 20);
  P.SetProjectionClass("TAzimuthalPrj");
  P.SetCentralParallel(0);
  P.SetCentralMeridian(0);
  P.SetScaleFactor(0);
  const TPoint middle = P.CenterXY();
  TPoint inside;
  ASSERT_TRUE(P.PointLLToXY(Deg(160, 10), inside));
  EXPECT_GT(inside.X - middle.X, 0);  // east of the centre
  EXPECT_EQ(layer.ObjectAtXY(inside.X, inside.Y), &square);
  EXPECT_EQ(layer.ObjectAtXY(middle.X, middle.Y), nullptr);
  EXPECT_EQ(layer.ObjectAtXY(0, 0), nullptr);
}

TEST_F(LayerTest, HitTestAsksThePresenterWhenThereIsOne) {
  TGlobeLayer& layer = NewLayer();
  // A triangle filling the lower right half of its rectangle.
  TGeoDataObject& triangle =
      AddObject(layer.Objects(), {Deg(0, 0), Deg(20, 20), Deg(20, 0), Deg(0, 0)}, true);
  EXPECT_EQ(layer.ObjectAtLL(Deg(15, 5)), &triangle);
  EXPECT_EQ(layer.ObjectAtLL(Deg(5, 15)), nullptr);
  // Open, it is hit on its lines only.
  triangle.SetClosed(false);
  EXPECT_EQ(layer.ObjectAtLL(Deg(15, 5)), nullptr);
  EXPECT_EQ(layer.ObjectAtLL(Deg(10, 10)), &triangle);

  auto owned = std::make_unique<TAlwaysHitPresenter>(&globe, 0);
  TAlwaysHitPresenter& presenter = *owned;
  triangle.SetPresenterID(layer.Presenters().Add(std::move(owned)));
  EXPECT_EQ(layer.ObjectAtLL(Deg(5, 15)), &triangle);
  EXPECT_EQ(presenter.Asked, 1);
  // Only inside the rectangle is anyone asked.
  EXPECT_EQ(layer.ObjectAtLL(Deg(25, 15)), nullptr);
  EXPECT_EQ(presenter.Asked, 1);
  // A hidden presenter draws nothing, so its objects are not hit.
  presenter.SetHidden(true);
  EXPECT_EQ(layer.ObjectAtLL(Deg(5, 15)), nullptr);
}

TEST_F(LayerTest, ObjectByTitleIgnoresCaseAndContinuesAfterAnObject) {
  TGlobeLayer& layer = NewLayer();
  TGlobeLayer& other = NewLayer();
  TGeoDataObject& a = AddObject(layer.Objects(), {Deg(1, 1)});
  TGeoDataObject& b = AddObject(layer.Objects(), {Deg(2, 2)});
  TGeoDataObject& c = AddObject(layer.Objects(), {Deg(3, 3)});
  TGeoDataObject& foreign = AddObject(other.Objects(), {Deg(4, 4)});
  a.SetTitle("Paris");
  b.SetTitle("London");
  c.SetTitle("pARis");
  foreign.SetTitle("Paris");
  EXPECT_EQ(layer.ObjectByTitle("PARIS", nullptr), &a);
  EXPECT_EQ(layer.ObjectByTitle("PARIS", &a), &c);
  EXPECT_EQ(layer.ObjectByTitle("PARIS", &c), nullptr);
  EXPECT_EQ(layer.ObjectByTitle("PARIS", &foreign), nullptr);  // not among this layer's
  EXPECT_EQ(layer.ObjectByTitle("Pari", nullptr), nullptr);

  a.SetID(5);
  c.SetID(5);
  b.SetID(6);
  EXPECT_EQ(layer.ObjectByID(5), &a);
  EXPECT_EQ(layer.ObjectByID(6), &b);
  EXPECT_EQ(layer.ObjectByID(7), nullptr);

  b.SetSelected(true);
  c.SetSelected(true);
  EXPECT_EQ(layer.SelectedCount(), 2);
}

// ---- Notifications ----------------------------------------------------------------------

TEST_F(LayerTest, NotificationsFromTheSource) {
  TGlobeLayer& layer = NewLayer();
  TGlobeObjectSource& src = layer.Objects();
  layer.Notify(osnClose, nullptr);
  EXPECT_FALSE(layer.Visible());
  layer.Notify(osnOpen, nullptr);
  EXPECT_TRUE(layer.Visible());

  std::vector<TGlobeRoot*> selected;
  globe.OnObjectSelectChange = [&](const void*, TGlobeRoot* Obj) { selected.push_back(Obj); };
  TGeoDataObject& obj = AddObject(src, {Deg(1, 1)});
  obj.SetSelected(true);
  EXPECT_THAT(selected, ElementsAre(&obj));

  // Redraws: a static layer rebuilds the picture; an animated one only repaints.
  TCountingHost host;
  globe.SetHost(&host);
  for (const bool animated : {false, true}) {
    SCOPED_TRACE(animated);
    layer.SetAnimated(animated);
    platform::TRecordingDevice window;
    globe.Paint(window);  // clears the pending redraw
    ASSERT_FALSE(globe.RedrawPending());
    host.Invalidations = 0;
    layer.Notify(osnRedraw, &obj);
    EXPECT_EQ(globe.RedrawPending(), !animated);
    EXPECT_EQ(host.Invalidations, 1);
  }
  globe.SetHost(nullptr);
}

// ---- Environment and copies -------------------------------------------------------------

TEST_F(LayerTest, EnvironmentRoundTrip) {
  TGlobeLayer& layer = NewLayer();
  layer.SetName("Rivers");
  layer.SetAnimated(true);
  layer.SetEnabled(false);
  layer.SetShowTitles(false);
  layer.SetVisible(false);
  layer.SetZoomUnits(U::Kilometer);
  layer.SetZoomMin(10);
  layer.SetZoomMax(2000);
  layer.SetNoInterrupt(true);
  AddPresenter(layer).SetName("Blue lines");

  const std::unique_ptr<TGXML_Element> element = layer.SaveEnvironment();
  EXPECT_FALSE(layer.Modified());
  std::vector<std::string> attributes;
  for (int i = 0; !element->GetAttributeNames(i).empty(); ++i) {
    attributes.push_back(element->GetAttributeNames(i));
  }
  EXPECT_THAT(attributes, ElementsAre("Class", "Name", "Animated", "Enabled", "ShowTitles",
                                      "Visible", "ZoomUnits", "ZoomMin", "ZoomMax"));
  EXPECT_EQ(element->AttributeByName("Class", ""), "TGlobeLayer");
  EXPECT_EQ(element->AttributeByName("Animated", ""), "T");
  EXPECT_EQ(element->AttributeByName("ZoomUnits", ""), "KM");
  EXPECT_NE(element->ElementByName("Presenters"), nullptr);
  EXPECT_EQ(element->ElementByName("Objects"), nullptr);  // no source attached

  TGlobeLayer& copy = NewLayer();
  copy.LoadEnvironment(element.get());
  EXPECT_EQ(copy.Name(), "Rivers");
  EXPECT_TRUE(copy.Animated());
  EXPECT_FALSE(copy.Enabled());
  EXPECT_FALSE(copy.ShowTitles());
  EXPECT_FALSE(copy.Visible());
  EXPECT_EQ(copy.ZoomUnits(), U::Kilometer);
  EXPECT_EQ(copy.ZoomMin(), 10);
  EXPECT_EQ(copy.ZoomMax(), 2000);
  EXPECT_FALSE(copy.NoInterrupt());  // not saved
  ASSERT_EQ(copy.Presenters().Count(), 1);
  EXPECT_EQ(copy.Presenters().GetPresenter(0).Name(), "Blue lines");
  EXPECT_FALSE(copy.Modified());

  // A null element restores the defaults, and with them nothing is left unsaved.
  copy.SetZoomMin(7);
  ASSERT_TRUE(copy.Modified());
  copy.LoadEnvironment(nullptr);
  EXPECT_FALSE(copy.Modified());
  EXPECT_EQ(copy.Name(), "TGlobeLayer");
  EXPECT_TRUE(copy.Visible());
  EXPECT_EQ(copy.ZoomUnits(), U::NauticalMile);
  EXPECT_EQ(copy.Presenters().Count(), 0);
}

TEST_F(LayerTest, EnvironmentErrorsNameWhatIsWrong) {
  struct Case {
    const char* name;
    void (*build)(TGXML_Element&);
    const char* message;
  };
  const Case cases[] = {
      {"unit", [](TGXML_Element& e) { e.AddAttribute("ZoomUnits", "XX"); },
       "StrToUnits: Unknown Unit XX"},
      // A plain source is not registered, so it cannot be restored by name.
      {"plain source",
       [](TGXML_Element& e) {
         e.AddElement("Objects", nullptr)->AddAttribute("Class", "TGlobeObjectSource");
       },
       "Class TGlobeObjectSource not found"},
      {"no source class",
       [](TGXML_Element& e) {
         e.AddElement("Objects", nullptr)->AddAttribute("Class", "TGlobeLayer");
       },
       "TGlobeLayer is not a TGlobeObjectSource"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TGXML_Element element;
    c.build(element);
    TGlobeLayer& layer = NewLayer();
    try {
      layer.LoadEnvironment(&element);
      ADD_FAILURE() << "no exception";
    } catch (const EGlobeException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST_F(LayerTest, CloneSharesTheSourceAndCopiesPresentersAndSwitches) {
  TGlobeLayer& layer = NewLayer();
  TGlobeObjectSource& src = layer.Objects();
  src.SetName("world.lyr");
  TPolyPresenter& presenter = AddPresenter(layer);
  layer.SetName("World");
  layer.SetShowTitles(false);
  layer.SetZoomUnits(U::Kilometer);
  layer.SetZoomMin(3);
  layer.SetLayerColorAdjustPercent(30);

  TGlobeLayer* clone = layer.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(globe.Layers().Count(), 2);
  EXPECT_EQ(clone->Index(), 1);
  EXPECT_EQ(clone->ObjectsOrNull(), &src);
  EXPECT_EQ(src.LayerCount(), 2);
  ASSERT_EQ(clone->Presenters().Count(), 1);
  EXPECT_NE(&clone->Presenters().GetPresenter(0), &presenter);
  EXPECT_EQ(clone->Presenters().GetPresenter(0).PresenterID(), presenter.PresenterID());
  EXPECT_EQ(clone->Name(), "World");
  EXPECT_FALSE(clone->ShowTitles());
  EXPECT_EQ(clone->ZoomUnits(), U::Kilometer);
  EXPECT_EQ(clone->ZoomMin(), 3);
  EXPECT_EQ(clone->LayerColorAdjustPercent(), 0);  // not copied

  TGlobeRoot root;
  try {
    clone->Assign(root);
    ADD_FAILURE() << "no exception";
  } catch (const EGlobeException& e) {
    EXPECT_STREQ(e.what(), "Cannot assign TGlobeRoot to TGlobeLayer");
  }
}

// Layer and presenter classes of a program built on the component, not registered; the
// presenter class does not even declare itself, so that copies of it fail.
class TOverlayLayer : public TGlobeLayer {
  GLOBE_CLASS(TOverlayLayer, TGlobeLayer)
 public:
  using TGlobeLayer::TGlobeLayer;
};

class TUndeclaredPresenter : public TPolyPresenter {
 public:
  using TPolyPresenter::TPolyPresenter;
};

TEST_F(LayerTest, CloneOfAnUnregisteredClassKeepsItsClass) {
  auto* overlay = std::make_unique<TOverlayLayer>(&globe).release();  // the store owns it
  overlay->SetName("Overlay");
  TGlobeLayer* clone = overlay->Clone();
  EXPECT_EQ(typeid(*clone), typeid(TOverlayLayer));
  EXPECT_EQ(clone->Name(), "Overlay");
  EXPECT_EQ(globe.Layers().Count(), 2);
}

// A copy that fails half-way is freed: it was listed in the store (and subscribed to the
// shared source) from its creation on, and stayed there after the error.
TEST_F(LayerTest, AFailingCopyLeavesNoHalfMadeLayer) {
  NewLayer();
  TGlobeLayer& failing = NewLayer();
  NewLayer();
  TGlobeObjectSource& shared = failing.Objects();
  failing.Presenters().Add(std::make_unique<TUndeclaredPresenter>(&globe, 0));
  ASSERT_EQ(globe.Layers().Count(), 3);

  EXPECT_THROW(failing.Clone(), EGlobeException);
  EXPECT_EQ(globe.Layers().Count(), 3);
  EXPECT_EQ(shared.LayerCount(), 1);

  // Copying the whole store into another one keeps the copies made before the failure.
  TGlobeLayerStore other(&globe);
  EXPECT_THROW(other.Assign(globe.Layers()), EGlobeException);
  EXPECT_EQ(other.Count(), 1);
  EXPECT_EQ(globe.Layers().Count(), 3);
  EXPECT_EQ(shared.LayerCount(), 1);
}

TEST_F(LayerTest, ClearRestoresTheDefaultsAndLetsTheSourceGo) {
  TGlobeLayer& layer = NewLayer();
  layer.Objects();
  AddPresenter(layer);
  layer.SetName("x");
  layer.SetVisible(false);
  layer.SetZoomMin(4);
  layer.SetLayerColorAdjustTarget(0);
  layer.SetNoInterrupt(true);
  ASSERT_TRUE(layer.Modified());
  layer.Clear();
  EXPECT_FALSE(layer.Modified());
  EXPECT_EQ(layer.ObjectsOrNull(), nullptr);
  EXPECT_TRUE(globe.ObjectSources().empty());  // its only layer let it go
  EXPECT_EQ(layer.Presenters().Count(), 0);
  EXPECT_EQ(layer.Name(), "TGlobeLayer");
  EXPECT_TRUE(layer.Visible());
  EXPECT_EQ(layer.ZoomMin(), 0);
  EXPECT_EQ(layer.LayerColorAdjustTarget(), platform::RGB(128, 128, 128));
  EXPECT_TRUE(layer.NoInterrupt());  // Clear leaves it
}

TEST_F(LayerTest, IndexMovesTheLayerInItsStore) {
  TGlobeLayer& a = NewLayer();
  TGlobeLayer& b = NewLayer();
  TGlobeLayer& c = NewLayer();
  a.SetIndex(2);
  EXPECT_EQ(&globe.Layers().GetLayer(0), &b);
  EXPECT_EQ(&globe.Layers().GetLayer(1), &c);
  EXPECT_EQ(&globe.Layers().GetLayer(2), &a);
  EXPECT_EQ(a.Index(), 2);
}

}  // namespace
}  // namespace globe::testing
