#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "globe/render/attributes.h"
#include "tests/view/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;

TEST(GlobeViewCreate, NewViewHasThePublishedDefaults) {
  TGlobe4 g;
  EXPECT_EQ(g.Color(), 0u);
  EXPECT_EQ(g.SurfaceColor(), platform::RGB(0, 0xFF, 0xFF));
  EXPECT_EQ(g.GraticulePen().PenColor(), platform::RGB(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(g.GraticuleDrawMode(), gdBehind);
  EXPECT_EQ(g.MouseZoomButton(), mzbRight);
  EXPECT_EQ(g.MouseSelectButton(), mzbLeft);
  EXPECT_EQ(g.MouseRotateButton(), mzbLeft);
  EXPECT_EQ(g.SaveMetaDataLocation(), smdInDataDirectory);
  EXPECT_EQ(g.CacheCapacity(), 10240);
  EXPECT_EQ(g.GlobeOptions(), (TGlobeOptionsSet{goCache3DPoints, goDoubleBuffered}));
  EXPECT_EQ(g.GraticuleLatitudeStep(), 15);
  EXPECT_EQ(g.GraticuleLongitudeStep(), 15);
  EXPECT_EQ(g.MinTextHeight(), 5);
  EXPECT_EQ(g.MaxTextHeight(), 0);
  EXPECT_EQ(g.PeriodicUpdateTime(), 0);
  EXPECT_EQ(g.ScrollBars(), ssBoth);
  EXPECT_EQ(g.SelectedPen().PenColor(), platform::RGB(0xFF, 0, 0));
  EXPECT_EQ(g.SelectedBrush().BrushColor(), platform::RGB(0xFF, 0xFF, 0));
  EXPECT_EQ(g.TransparentPen().PenColor(), platform::RGB(0x80, 0x80, 0x80));
  EXPECT_EQ(g.TransparentBrush().BrushColor(), platform::RGB(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(g.ClientWidth(), 150);
  EXPECT_EQ(g.ClientHeight(), 150);
  EXPECT_EQ(g.ControlCanvas().Font().Name, "Arial");
  EXPECT_EQ(g.ControlCanvas().Font().Size, 9);
  EXPECT_EQ(g.DataDirectory(), "");
  EXPECT_EQ(g.SurfaceTextureName(), "");
  EXPECT_EQ(g.EnvironmentFile(), "");
  EXPECT_EQ(TGlobeVersion(), "4.08");
}

// ---- Paint pipeline ---------------------------------------------------------------------

TEST_F(ViewTest, SeveralRedrawRequestsGiveOneFullRedrawInOrder) {
  globe.Paint(window);
  globe.Log.clear();
  globe.RedrawLayers();
  globe.RedrawLayers();
  globe.RedrawLayers();
  EXPECT_TRUE(globe.RedrawPending());

  globe.Paint(window);
  EXPECT_THAT(globe.Log, ElementsAre("Background", "Graticule", "StaticLayers", "OnRender", "Copy",
                                     "AnimatedLayers", "OnPaint"));
  EXPECT_FALSE(globe.RedrawPending());
  EXPECT_FALSE(globe.Painting());

  // Nothing asked for a fresh picture: the buffered one is copied again.
  globe.Log.clear();
  globe.Paint(window);
  EXPECT_THAT(globe.Log, ElementsAre("Copy", "AnimatedLayers", "OnPaint"));
  // The window device is not kept once the paint is over.
  EXPECT_EQ(globe.GlobeCanvas().DC(), nullptr);
}

TEST_F(ViewTest, RedrawRenderRedoesOnlyOnRenderOnTheKeptLayersPicture) {
  // OnRender marks pixel (1, 1) with a colour of its own each time, after checking that the
  // picture under it is the layers' and not the last mark.
  int renders = 0;
  platform::TColor under = 0;
  globe.OnRender = [&](const void*) {
    globe.Log.push_back("OnRender");
    std::uint8_t* p = globe.GlobeCanvas().Bitmap()->ScanLine(1) + platform::TBitmap::kPixelBytes;
    under = platform::RGB(p[2], p[1], p[0]);
    ++renders;
    p[0] = p[1] = p[2] = static_cast<std::uint8_t>(renders);
  };
  // Without a kept picture it is a full redraw.
  globe.RedrawRender();
  EXPECT_TRUE(globe.RedrawPending());
  globe.Paint(window);
  const platform::TColor layers = under;

  for (int i = 0; i < 2; ++i) {
    globe.Log.clear();
    globe.RedrawRender();
    EXPECT_FALSE(globe.RedrawPending());
    EXPECT_TRUE(globe.RedrawRenderPending());
    globe.Paint(window);
    EXPECT_THAT(globe.Log, ElementsAre("OnRender", "Copy", "AnimatedLayers", "OnPaint"));
    EXPECT_EQ(under, layers);
    EXPECT_EQ(globe.GlobeCanvas().Bitmap()->Pixel(1, 1), platform::RGB(2 + i, 2 + i, 2 + i));
    EXPECT_FALSE(globe.RedrawRenderPending());
  }
  // A full redraw asked for meanwhile wins; so does a new size.
  globe.Log.clear();
  globe.RedrawRender();
  globe.RedrawLayers();
  globe.Paint(window);
  EXPECT_EQ(globe.Log.front(), "Background");
  globe.Resize(300, 200);
  globe.Paint(window);
  globe.Resize(320, 200);
  globe.RedrawRender();
  EXPECT_FALSE(globe.RedrawRenderPending());
  EXPECT_TRUE(globe.RedrawPending());
}

TEST_F(ViewTest, FramesRedrawnOneAfterAnotherKeepNoLayersPicture) {
  globe.OnRender = [&](const void*) { globe.Log.push_back("OnRender"); };
  auto keptAfter = [&](auto&& paints) {
    paints();
    globe.RedrawRender();
    const bool kept = !globe.RedrawPending();
    globe.Paint(window);  // whichever redraw RedrawRender asked for
    return kept;
  };
  auto full = [&] {
    globe.RedrawLayers();
    globe.Paint(window);
  };
  // A frame after a quiet window (the first paint draws, the second only copies) keeps its
  // picture for the clock.
  EXPECT_TRUE(keptAfter([&] {
    globe.Paint(window);
    globe.Paint(window);
    full();
  }));
  // While frames follow each other (a drag) none is kept; the clock's redraw falls back to
  // a full one, which keeps its picture for the next.
  EXPECT_FALSE(keptAfter([&] {
    full();
    full();
  }));
  globe.Log.clear();
  EXPECT_TRUE(keptAfter([] {}));
  EXPECT_THAT(globe.Log, ElementsAre("OnRender", "Copy", "AnimatedLayers", "OnPaint"));
}

TEST_F(ViewTest, GraticuleModesAndTransparentGlobeOrderTheLayers) {
  struct Case {
    TGraticuleDraw mode;
    bool transparent;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {gdNone, false, {"Background", "StaticLayers"}},
      {gdInFront, false, {"Background", "StaticLayers", "Graticule"}},
      {gdBehind,
       true,
       {"Background", "StaticLayers", "BackGraticule", "Graticule", "StaticLayers"}},
      {gdNone, true, {"Background", "StaticLayers", "StaticLayers"}},
  };
  for (const Case& c : cases) {
    globe.SetGraticuleDrawMode(c.mode);
    TGlobeOptionsSet options = globe.GlobeOptions();
    options.Set(goTransparentGlobe, c.transparent);
    globe.SetGlobeOptions(options);
    globe.Log.clear();
    globe.OnRender = nullptr;
    globe.OnPaint = nullptr;
    globe.Paint(window);
    std::vector<std::string> drawn(globe.Log.begin(), globe.Log.end() - 2);  // Copy, Animated
    EXPECT_EQ(drawn, c.expected) << "mode " << int(c.mode) << " transparent " << c.transparent;
    EXPECT_FALSE(P.RenderBackFace());
  }
}

TEST_F(ViewTest, NestedPaintReturnsAtOnce) {
  int nested = 0;
  globe.OnRender = [&](const void*) {
    const std::size_t before = globe.Log.size();
    globe.Paint(window);
    nested += static_cast<int>(globe.Log.size() - before);
  };
  globe.RedrawLayers();
  globe.Paint(window);
  EXPECT_EQ(nested, 0);
}

TEST_F(ViewTest, WithoutDoubleBufferingEveryPaintDrawsOnTheWindow) {
  globe.SetGlobeOptions({goCache3DPoints});
  for (int i = 0; i < 2; ++i) {
    globe.Log.clear();
    globe.Paint(window);
    EXPECT_THAT(globe.Log, ElementsAre("Background", "Graticule", "StaticLayers", "OnRender",
                                       "AnimatedLayers", "OnPaint"));
  }
  // The background went straight to the window.
  EXPECT_FALSE(window.CallsNamed("FillRect").empty());
}

TEST_F(ViewTest, AFailingPaintStillCopiesAndUnlocks) {
  globe.FailBackground = true;
  globe.RedrawLayers();
  EXPECT_THROW(globe.Paint(window), EGlobeException);
  EXPECT_THAT(globe.Log, ElementsAre("Background", "Copy", "AnimatedLayers", "OnPaint"));
  EXPECT_FALSE(globe.Painting());
  EXPECT_FALSE(globe.RedrawPending());

  globe.FailBackground = false;
  globe.RedrawLayers();
  globe.Log.clear();
  globe.Paint(window);
  EXPECT_EQ(globe.Log.front(), "Background");
}

TEST_F(ViewTest, AnAbandonedPaintSkipsItsEventsAndAsksForAnother) {
  globe.SetGlobeOptions(globe.GlobeOptions() + TGlobeOptionsSet{goInterruptable});
  globe.MouseDown(platform::TMouseButton::mbRight, {}, 10, 10);
  // A mouse move while the picture is being drawn abandons it.
  globe.OnPaintGraticule = [&](const void*) { globe.MouseMove({}, 50, 50); };
  globe.RedrawLayers();
  globe.Log.clear();
  const int invalidations = host.Invalidations;
  globe.Paint(window);
  EXPECT_THAT(globe.Log,
              ElementsAre("Background", "Graticule", "StaticLayers", "Copy", "AnimatedLayers"));
  EXPECT_TRUE(globe.RedrawPending());
  EXPECT_GT(host.Invalidations, invalidations);
  // The rubber band is drawn above the copied picture.
  ASSERT_EQ(window.CallsNamed("DrawFocusRect").size(), 1u);
  EXPECT_EQ(window.CallsNamed("DrawFocusRect")[0]->Rect, (TRect{10, 10, 50, 50}));
}

TEST_F(ViewTest, NoPaintWhilePrinting) {
  host.PrintingNow = true;
  globe.RedrawLayers();
  globe.Paint(window);
  EXPECT_TRUE(globe.Log.empty());
  EXPECT_TRUE(globe.RedrawPending());
}

// ---- Properties -------------------------------------------------------------------------

TEST_F(ViewTest, GraticuleStepsOutsideTheirRangeAreIgnored) {
  struct Case {
    bool latitude;
    std::int32_t value;
    std::int32_t stored;
  };
  for (const Case& c : std::vector<Case>{{true, 90, 15},
                                         {true, -1, 15},
                                         {true, 0, 0},
                                         {true, 89, 89},
                                         {false, 180, 15},
                                         {false, 0, 0},
                                         {false, 179, 179}}) {
    TGlobe4 g;
    if (c.latitude) {
      g.SetGraticuleLatitudeStep(c.value);
      EXPECT_EQ(g.GraticuleLatitudeStep(), c.stored) << c.value;
    } else {
      g.SetGraticuleLongitudeStep(c.value);
      EXPECT_EQ(g.GraticuleLongitudeStep(), c.stored) << c.value;
    }
  }
}

TEST_F(ViewTest, WindowStyleChangesRecreateTheWindow) {
  host.Recreated.clear();
  globe.SetScrollBars(ssVertical);
  globe.SetScrollBars(ssVertical);
  ASSERT_EQ(host.Recreated.size(), 1u);
  EXPECT_EQ(host.Recreated[0], (platform::TWindowStyle{false, true, false}));

  platform::TBitmap tile(8, 8);
  globe.SetGlobeOptions(globe.GlobeOptions() + TGlobeOptionsSet{goTransparentBackground});
  globe.SetBackgroundImage(&tile);
  ASSERT_EQ(host.Recreated.size(), 2u);
  EXPECT_TRUE(host.Recreated[1].TransparentBackground);
  ASSERT_FALSE(globe.BackgroundImage().Empty());
  // Other options leave the window alone; dropping transparency drops the picture.
  globe.SetGlobeOptions(globe.GlobeOptions() + TGlobeOptionsSet{goMultiSelect});
  EXPECT_EQ(host.Recreated.size(), 2u);
  globe.SetGlobeOptions(globe.GlobeOptions() - TGlobeOptionsSet{goTransparentBackground});
  EXPECT_EQ(host.Recreated.size(), 3u);
  EXPECT_TRUE(globe.BackgroundImage().Empty());
}

TEST_F(ViewTest, BackgroundImageIsTiledOneTilePastTheCanvas) {
  globe.SetGlobeOptions({goCache3DPoints, goTransparentGlobe});
  platform::TBitmap tile(150, 100);
  globe.SetBackgroundImage(&tile);
  globe.Paint(window);
  std::vector<TPoint> at;
  for (const auto* call : window.CallsNamed("DrawBitmap")) at.push_back(call->Points[0]);
  // 400 × 300: x 0, 150, 300 (400 div 150 = 2 whole tiles), y 0, 100, 200, 300.
  std::vector<TPoint> expected;
  for (int x : {0, 150, 300})
    for (int y : {0, 100, 200, 300}) expected.push_back({x, y});
  EXPECT_EQ(at, expected);
  EXPECT_TRUE(window.CallsNamed("FillRect").empty());
}

// Painting on the picture the globe hands out redraws, as replacing it does; before, the
// change showed only after some other change had the picture redrawn.
TEST_F(ViewTest, ChangingTheBackgroundImageRedraws) {
  platform::TBitmap tile(8, 8);
  globe.SetBackgroundImage(&tile);
  globe.Paint(window);
  ASSERT_FALSE(globe.RedrawPending());

  globe.BackgroundImage().Edit([](platform::TBitmap& b) { b.ScanLine(0)[0] = 0xFF; });
  EXPECT_TRUE(globe.RedrawPending());
  EXPECT_EQ(globe.BackgroundImage().Bitmap().Pixel(0, 0), platform::RGB(0, 0, 0xFF));
  EXPECT_EQ(tile.Pixel(0, 0), 0u);  // the globe holds a copy

  globe.Paint(window);
  globe.BackgroundImage().Edit([](platform::TBitmap& b) { b = platform::TBitmap(0, 0); });
  EXPECT_TRUE(globe.RedrawPending());
  EXPECT_TRUE(globe.BackgroundImage().Empty());
}

TEST_F(ViewTest, TextHeightLimitsFollowTheCanvasResolution) {
  globe.SetMinTextHeight(8);
  globe.SetMaxTextHeight(20);
  globe.GlobeCanvas().SetCanvasPixelsPerInch(300);
  EXPECT_EQ(globe.MinTextHeight(), 25);  // 8 × 300 / 96 = 25
  EXPECT_EQ(globe.MaxTextHeight(), 63);  // 62.5 rounds away from zero
  EXPECT_EQ(globe.StoredMinTextHeight(), 8);
}

TEST_F(ViewTest, GlobeUnitsConvertThroughTheScaleOrTheUnitTable) {
  P.SetScaleFactor(10.0L / D);
  EXPECT_EQ(globe.GlobeUnitsTo(3 * D, TGlobeUnitTypes::Pixel), 30.0L);
  EXPECT_EQ(globe.GlobeUnitsTo(90 * D, TGlobeUnitTypes::Degree), 90.0L);
  EXPECT_EQ(globe.GlobeUnitsTo(GU_MINUTE * 30, TGlobeUnitTypes::Minute), 30.0L);
  EXPECT_EQ(globe.GlobeUnitsFrom(30, TGlobeUnitTypes::Pixel), 3 * D);
  EXPECT_EQ(globe.GlobeUnitsFrom(2, TGlobeUnitTypes::Degree), 2 * D);
}

// ---- Notifications ----------------------------------------------------------------------

TEST_F(ViewTest, NotifyKeepsTheSourceListAndRaisesTheEvents) {
  std::vector<std::string> events;
  auto record = [&](const char* name) {
    return [&events, name](const void*, TGlobeRoot*) { events.push_back(name); };
  };
  globe.OnLayerCreate = record("LayerCreate");
  globe.OnObjectSourceCreate = record("SourceCreate");
  globe.OnObjectSourceFree = record("SourceFree");
  globe.OnObjectSelectChange = record("SelectChange");
  TGlobeRoot layer, sourceA, sourceB, object;

  host.Invalidations = 0;
  globe.Notify(gnLayerCreate, &layer);
  globe.Notify(gnObjectSourceCreate, &sourceA);
  // Only the low seven bits name the notification.
  globe.Notify(static_cast<TGlobeNotification>(gnObjectSourceCreate | 0x80), &sourceB);
  globe.Notify(gnObjectSelectChange, &object);
  globe.Notify(gnObjectSourceFree, &sourceA);
  EXPECT_THAT(events, ElementsAre("LayerCreate", "SourceCreate", "SourceCreate", "SelectChange",
                                  "SourceFree"));
  EXPECT_THAT(std::vector<TGlobeRoot*>(globe.ObjectSources().begin(), globe.ObjectSources().end()),
              ElementsAre(&sourceB));
  EXPECT_EQ(host.Invalidations, 5);
  globe.Notify(gnObjectSourceFree, &sourceB);  // goes before the globe that lists it
}

TEST_F(ViewTest, ProgressAsksTheHandlerWhetherToStop) {
  EXPECT_FALSE(globe.ProgressMessage(pmStart, "x"));
  std::string seen;
  globe.OnProgress = [&](const void*, TProgressMessage, const std::string& Text, bool& Abort) {
    seen = Text;
    Abort = true;
  };
  EXPECT_TRUE(globe.ProgressMessage(pmPercent, "50"));
  EXPECT_EQ(seen, "50");
}

// ---- Other canvases ---------------------------------------------------------------------

TEST_F(ViewTest, GetBitmapDrawsTheGlobeAndLeavesTheViewAsItWas) {
  globe.SetGraticuleDrawMode(gdNone);
  Sphere(100);
  globe.SetGlobeOptions(globe.GlobeOptions() + TGlobeOptionsSet{goInterruptable});
  TGlobePOZ before;
  globe.GetPOZ(before);
  const TGlobeOptionsSet options = globe.GlobeOptions();
  const platform::TBitmap* picture = globe.GlobeCanvas().Bitmap();

  // The window is not painted while the clones stand in for its projection and canvas.
  globe.OnRender = [&](const void*) {
    globe.Log.push_back("OnRender");
    globe.Paint(window);
  };
  globe.Log.clear();
  const auto bitmap = globe.GetBitmap(200, 100);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width(), 200);
  EXPECT_EQ(bitmap->Height(), 100);
  EXPECT_EQ(bitmap->Pixel(100, 50), platform::RGB(0, 0xFF, 0xFF));  // the surface
  EXPECT_EQ(bitmap->Pixel(1, 1), 0u);                               // the background
  EXPECT_THAT(globe.Log,
              ElementsAre("Background", "StaticLayers", "OnRender", "AnimatedLayers", "OnPaint"));

  TGlobePOZ after;
  globe.GetPOZ(after);
  EXPECT_EQ(after.eSF, before.eSF);
  EXPECT_EQ(after.CenterXY, before.CenterXY);
  EXPECT_EQ(after.iRotX, before.iRotX);
  EXPECT_EQ(globe.GlobeOptions(), options);
  EXPECT_EQ(globe.GlobeCanvas().Bitmap(), picture);
  EXPECT_EQ(globe.GlobeCanvas().CanvasWidth(), 400);
  EXPECT_FALSE(globe.RenderingToCanvas());
}

TEST_F(ViewTest, RenderToCanvasAsVectorsDrawsIntoTheTargetRectangle) {
  platform::TRecordingDevice target(300);
  target.SetViewportOrigin({5, 5});
  platform::TCanvas canvas;
  canvas.SetHandle(&target);
  std::int32_t minText = 0;
  globe.OnRender = [&](const void*) { minText = globe.MinTextHeight(); };
  globe.RenderToCanvas(canvas, {10, 20, 110, 70}, false);

  const auto polygons = target.CallsNamed("Polygon");
  ASSERT_FALSE(polygons.empty());  // the surface
  EXPECT_EQ(polygons[0]->ViewportOrigin, (TPoint{15, 25}));
  EXPECT_EQ(target.ViewportOrigin(), (TPoint{5, 5}));
  // Text limits keep their physical size on the target: 5 × 300 / 96.
  EXPECT_EQ(minText, 16);
  EXPECT_EQ(globe.MinTextHeight(), 5);
}

TEST_F(ViewTest, MetaFilesHaveTheAskedPixelSize) {
  const auto dir = std::filesystem::temp_directory_path() / "orvane_view_meta";
  std::filesystem::create_directories(dir);
#ifdef _WIN32
  // The enhanced metafile: 26 mm are 100 pixels of 0.26 mm, whose frame (in 0.01 mm, from
  // the header record) is 100 pixels at the 98 pixels an inch they are drawn at.
  const std::string emf = (dir / "globe.emf").string();
  globe.GetMetaFileMM(emf, 26, 26, true);
  std::ifstream in(emf, std::ios::binary);
  std::int32_t header[11] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  ASSERT_TRUE(in.good());
  EXPECT_EQ(header[0], 1);            // EMR_HEADER
  EXPECT_EQ(header[10], 0x464D4520);  // " EMF"
  EXPECT_NEAR(header[8] - header[6], 2592, 2);
  EXPECT_NEAR(header[9] - header[7], 2592, 2);
  in.close();
#else
  const std::string svg = (dir / "globe.svg").string();
  globe.GetMetaFileMM(svg, 26, 26, true);
  std::ifstream in(svg);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("viewBox=\"0 0 100 100\""), std::string::npos);
  EXPECT_NE(text.str().find("4.08"), std::string::npos);

  const std::string pdf = (dir / "globe.PDF").string();
  globe.GetMetaFile(pdf, 50, 40, false);
  std::ifstream pin(pdf, std::ios::binary);
  std::string head(4, '\0');
  pin.read(head.data(), 4);
  EXPECT_EQ(head, "%PDF");
#endif
  std::filesystem::remove_all(dir);
}

TEST(GlobeViewOutput, VectorOutputNeedsAPlatformThatHasIt) {
  platform::TRecordingGraphics recording;
  platform::TGraphics* previous = platform::SetGraphics(&recording);
  {
    TGlobe4 g;
    try {
      g.GetMetaFile("x.svg", 10, 10, true);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Vector output is not supported");
    }
  }
  platform::SetGraphics(previous);
}

}  // namespace
}  // namespace globe::testing
