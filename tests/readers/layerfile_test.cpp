// A layer file of a few hundred polygons, lines and points written by WriteLYR, opened
// through the layer loader and drawn through the Qt raster device on the sphere and on the
// flat map; then hit-tested, selected, reopened from its index file without reading an
// object, and drawn under a cache budget smaller than the layer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "globe/core/units.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/pointpresenter.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/projection/projection.h"
#include "globe/readers/loader.h"
#include "globe/readers/lyr.h"
#include "globe/render/attributes.h"
#include "globe/view/globe.h"
#include "platform/filesystem.h"
#include "tests/support/lookpicture.h"

namespace globe::testing {
namespace {

using platform::TColor;
constexpr std::int32_t D = GU_DEGREE;
constexpr TColor kSea = platform::RGB(20, 40, 120);
constexpr TColor kLand = platform::RGB(40, 160, 60);
constexpr TColor kRoad = platform::RGB(220, 30, 30);
constexpr TColor kTown = platform::RGB(30, 30, 230);
constexpr TColor kSelected = platform::RGB(0xFF, 0xFF, 0);  // the globe's selected brush

constexpr int kSquares = 200, kLines = 100, kPoints = 100;

TPointLL Deg(double Long, double Lat) {
  return {static_cast<std::int32_t>(std::lround(Long * D)),
          static_cast<std::int32_t>(std::lround(Lat * D)), 0};
}

// Squares of 6° on an 8° grid between 80° W and 80° E, 40° S and 40° N; lines on five
// parallels from 45° N; points on three parallels from 50° S.
TPointLL SquareCentre(int i) { return Deg(-77 + (i % 20) * 8, -37 + (i / 20) * 8); }
TPointLL LineMiddle(int i) { return Deg(-77 + (i % 20) * 8, 46 + (i / 20) * 5); }
TPointLL TownAt(int i) { return Deg(-77 + (i % 34) * 4.5, -50 - (i / 34) * 6); }

class LayerFileTest : public ::testing::Test {
 protected:
  std::filesystem::path folder;
  std::string file;

  LayerFileTest() {
    // ctest runs the tests of one program side by side in separate processes.
    folder = std::filesystem::temp_directory_path() /
             ("orvane-layerfile-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    file = (folder / "grid.lyr").string();
    WriteGrid();
  }
  ~LayerFileTest() override {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }

  /// Builds the layer in memory on a scratch globe and writes it.
  void WriteGrid() {
    TGlobe4 maker;
    auto* source = new TGlobeObjectSource(&maker);  // belongs to the globe
    TGlobePresenterStore& presenters = source->Presenters();

    auto land = std::make_unique<TPolygonPresenter>(&maker, 1);
    land->PolyPen().Define(kLand, platform::psSolid, 1, TGlobeUnitTypes::Pixel);
    land->PolyBrush().Define(kLand, bsSolid);
    presenters.Add(std::move(land));
    auto road = std::make_unique<TPolylinePresenter>(&maker, 2);
    road->PolyPen().Define(kRoad, platform::psSolid, 3, TGlobeUnitTypes::Pixel);
    presenters.Add(std::move(road));
    auto town = std::make_unique<TPointPresenter>(&maker, 3);
    town->SetPointType(ppSquare);
    town->SetPointSize(8);
    town->PointPen().Define(kTown, platform::psSolid, 1, TGlobeUnitTypes::Pixel);
    town->PointBrush().Define(kTown, bsSolid);
    town->SetTitleAlignment(taRight);
    town->SetTitleOffset(6);
    presenters.Add(std::move(town));

    for (int i = 0; i < kSquares; ++i) {
      auto* o = MakeGlobeObject<TGeoDataObject>(source);
      const TPointLL c = SquareCentre(i);
      TPointStore& ring = o->Chains().GetChain(0);
      for (const auto& [dx, dy] :
           std::initializer_list<std::pair<int, int>>{{-3, -3}, {3, -3}, {3, 3}, {-3, 3}})
        ring.Add({c.iLongX + dx * D, c.iLatY + dy * D, 0});
      o->SetClosed(true);
      o->SetTitle("Square " + std::to_string(i));
      o->SetID(1000 + i);
      o->SetPresenterID(1);
    }
    for (int i = 0; i < kLines; ++i) {
      auto* o = MakeGlobeObject<TGeoDataObject>(source);
      const TPointLL m = LineMiddle(i);
      TPointStore& line = o->Chains().GetChain(0);
      line.Add({m.iLongX - 3 * D, m.iLatY, 0});
      line.Add({m.iLongX + 3 * D, m.iLatY, 0});
      o->SetTitle("Line " + std::to_string(i));
      o->SetPresenterID(2);
    }
    for (int i = 0; i < kPoints; ++i) {
      auto* o = MakeGlobeObject<TGeoDataObject>(source);
      o->SetCentroid(TownAt(i));
      std::string title(1, 'T');
      title += std::to_string(i);
      o->SetTitle(title);
      o->SetPresenterID(3);
    }
    WriteLYR(file, *source);
  }

  /// A view of the given kind with the layer loaded (index files beside the layer).
  struct TView {
    TGlobe4 globe;
    TGlobeLayer* layer = nullptr;
  };
  std::unique_ptr<TView> Open() {
    auto view = std::make_unique<TView>();
    view->globe.SetSaveMetaDataLocation(smdWithDataFile);
    view->globe.SetSurfaceColor(kSea);
    view->globe.SetGraticuleDrawMode(gdNone);
    const std::int32_t index = AddLayerFromFile(view->globe, file);
    EXPECT_EQ(index, 0);
    view->layer = &view->globe.Layers().GetLayer(index);
    return view;
  }

  static void Sphere(TGlobe4& G) {
    G.Resize(800, 600);
    TGlobeProjection& P = G.Projection();
    P.SetProjectionClass("TSphericalPrj");
    P.SetXRotation(0);
    P.SetYRotation(0);
    P.SetZRotation(0);
    P.SetScaleFactor(280.0L / GU_EARTH_RADIUS);
    P.SetXOrigin(400);
    P.SetYOrigin(300);
  }
  /// Plate carrée of 3 pixels per degree: (lon, lat) lands on (540 + 3 lon, 270 − 3 lat).
  static void Flat(TGlobe4& G) {
    G.Resize(1080, 540);
    TGlobeProjection& P = G.Projection();
    P.SetProjectionClass("TCartesianPrj");
    P.SetCentralMeridian(0);
    P.SetScaleFactor(3.0L / D);
    P.SetXOrigin(540);
    P.SetYOrigin(270);
  }

  static TPoint Project(TGlobe4& G, const TPointLL& ll) {
    TPoint p;
    EXPECT_TRUE(G.Projection().PointLLToXY(ll, p));
    return p;
  }

  static void Save(const platform::TBitmap& B, const std::string& Name) {
    orvane::testing::SaveForALook(B, platform::ProgramFolder() + "/" + Name);
  }

  /// Draws the view and checks a pixel of every square, line and town.
  static void ExpectDrawn(TGlobe4& G, const std::string& Picture) {
    const auto bitmap = G.GetBitmap(G.ClientWidth(), G.ClientHeight());
    Save(*bitmap, Picture);
    for (int i = 0; i < kSquares; ++i) {
      const TPoint p = Project(G, SquareCentre(i));
      EXPECT_EQ(bitmap->Pixel(p.X, p.Y), kLand) << Picture << " square " << i;
    }
    for (int i = 0; i < kLines; ++i) {
      const TPoint p = Project(G, LineMiddle(i));
      EXPECT_EQ(bitmap->Pixel(p.X, p.Y), kRoad) << Picture << " line " << i;
    }
    for (int i = 0; i < kPoints; ++i) {
      const TPoint p = Project(G, TownAt(i));
      EXPECT_EQ(bitmap->Pixel(p.X, p.Y), kTown) << Picture << " town " << i;
    }
    // Between the squares lies sea.
    const TPoint gap = Project(G, Deg(-73, -33));
    EXPECT_EQ(bitmap->Pixel(gap.X, gap.Y), kSea) << Picture;
  }
};

TEST_F(LayerFileTest, LoadsDrawsOnSphereAndFlatMapAndReopensFromItsIndex) {
  {
    auto view = Open();
    TGlobeObjectSource& source = view->layer->Objects();
    ASSERT_TRUE(source.Active());
    EXPECT_EQ(source.Count(), kSquares + kLines + kPoints);
    EXPECT_EQ(source.Presenters().Count(), 3);
    EXPECT_EQ(view->layer->Name(), "grid.lyr");
    EXPECT_TRUE(std::filesystem::exists(file + ".md"));
    Sphere(view->globe);
    ExpectDrawn(view->globe, "layerfile-sphere.png");
    Flat(view->globe);
    ExpectDrawn(view->globe, "layerfile-flat.png");
  }

  // The second opening restores every record from the index and reads no object.
  auto view = Open();
  TGlobeObjectSource& source = view->layer->Objects();
  ASSERT_EQ(source.Count(), kSquares + kLines + kPoints);
  EXPECT_EQ(source.Presenters().Count(), 3);
  for (std::int32_t i = 0; i < source.Count(); ++i)
    ASSERT_EQ(source.LoadedObject(i), nullptr) << "object " << i << " was read";
  EXPECT_EQ(source.GetPresenterID(kSquares), 2);
  EXPECT_TRUE(source.GetState(0).Contains(osClosed));
  Flat(view->globe);
  ExpectDrawn(view->globe, "layerfile-flat-reopened.png");
}

TEST_F(LayerFileTest, TitlesStandRightOfTheirTowns) {
  auto view = Open();
  Flat(view->globe);
  const auto bitmap = view->globe.GetBitmap(1080, 540);
  // The title font is the canvas's default title font: dark text, 6 pixels right of the
  // town (whose symbol reaches 4 pixels out), nothing of it on the town's left.
  auto darkIn = [&](std::int32_t x0, std::int32_t x1, std::int32_t y0, std::int32_t y1) {
    int n = 0;
    for (std::int32_t y = y0; y <= y1; ++y)
      for (std::int32_t x = x0; x <= x1; ++x) {
        const TColor c = bitmap->Pixel(x, y);
        if (platform::GetRValue(c) + platform::GetGValue(c) + platform::GetBValue(c) < 150) ++n;
      }
    return n;
  };
  for (int i : {0, 34, 68}) {  // the first of each row: no title of a neighbour on its left
    const TPoint p = Project(view->globe, TownAt(i));
    EXPECT_GT(darkIn(p.X + 6, p.X + 12, p.Y - 9, p.Y), 0) << "town " << i;
    EXPECT_EQ(darkIn(p.X - 8, p.X - 5, p.Y - 9, p.Y + 3), 0) << "town " << i;
  }
}

TEST_F(LayerFileTest, HitTestsAndKeepsOneSelection) {
  auto view = Open();
  TGlobe4& G = view->globe;
  Flat(G);
  TGlobeLayerStore& store = G.Layers();

  TGlobeObject* square = store.ObjectAtLL(SquareCentre(57));
  ASSERT_NE(square, nullptr);
  EXPECT_EQ(square->Title(), "Square 57");
  EXPECT_EQ(square->ID(), 1057);
  EXPECT_EQ(store.ObjectAtLL(Deg(-73, -33)), nullptr) << "between the squares";
  const TPoint town = Project(G, TownAt(12));
  TGlobeRoot* hit = store.ObjectAtXY(town.X + 2, town.Y - 2);
  ASSERT_NE(dynamic_cast<TGlobeObject*>(hit), nullptr);
  EXPECT_EQ(static_cast<TGlobeObject*>(hit)->Title(), "T12");

  store.SetSelectedObject(square);
  EXPECT_EQ(store.SelectedCount(), 1);
  TGlobeObject* other = store.ObjectByTitle("SQUARE 58", nullptr);
  ASSERT_NE(other, nullptr);
  store.SetSelectedObject(other);
  EXPECT_EQ(store.SelectedCount(), 1);
  ASSERT_NE(store.GetSelected(0), nullptr);
  EXPECT_EQ(store.GetSelected(0)->Title(), "Square 58");

  const auto bitmap = G.GetBitmap(1080, 540);
  const TPoint selected = Project(G, SquareCentre(58));
  const TPoint unselected = Project(G, SquareCentre(57));
  EXPECT_EQ(bitmap->Pixel(selected.X, selected.Y), kSelected);
  EXPECT_EQ(bitmap->Pixel(unselected.X, unselected.Y), kLand);
}

TEST_F(LayerFileTest, CacheBudgetKeepsTheObjectsDrawnFirst) {
  std::int64_t layerSize = 0;
  {
    auto unlimited = Open();
    TGlobeObjectSource& source = unlimited->layer->Objects();
    for (std::int32_t i = 0; i < source.Count(); ++i) source.GetObject(i);
    layerSize = source.ObjectInstanceSize();
  }
  // About half of the layer fits, records included; the budget holds from the mapping pass on.
  const auto budgetKB = static_cast<std::int32_t>(layerSize / 2 / 1024) + 1;
  TGlobe4 G;
  G.SetCacheCapacity(budgetKB);
  G.SetSaveMetaDataLocation(smdDiscard);
  Flat(G);
  ASSERT_EQ(AddLayerFromFile(G, file), 0);
  TGlobeObjectSource& source = G.Layers().GetLayer(0).Objects();
  EXPECT_LE(G.CacheMemoryUsed(), budgetKB * 1024) << "after mapping";
  std::set<std::int32_t> drawn;  // the objects the pictures load
  G.OnObjectCreate = [&drawn](const void*, TGlobeRoot* Obj) {
    drawn.insert(static_cast<TGlobeObject*>(Obj)->Index());
  };
  for (int pass = 0; pass < 2; ++pass) {
    (void)G.GetBitmap(1080, 540);
    EXPECT_LE(G.UpdateTotalMemoryInUse(), budgetKB * 1024) << "pass " << pass;
  }
  G.OnObjectCreate = nullptr;
  // Objects are drawn by ascending index: the first ones drawn are the ones kept, so that
  // the next picture loads only the rest again.
  std::vector<std::int32_t> loaded;
  for (std::int32_t i = 0; i < source.Count(); ++i)
    if (source.LoadedObject(i) != nullptr) loaded.push_back(i);
  ASSERT_FALSE(loaded.empty());
  ASSERT_LT(loaded.size(), drawn.size());
  // Each reduction drops the newest first and stops at its target, so later loads leave
  // gaps; but the start of the picture stays, and most kept objects come from it.
  EXPECT_EQ(loaded.front(), *drawn.begin());
  const auto early = std::next(drawn.begin(), static_cast<std::ptrdiff_t>(loaded.size()));
  const auto keptEarly = std::count_if(drawn.begin(), early, [&source](std::int32_t i) {
    return source.LoadedObject(i) != nullptr;
  });
  EXPECT_GT(keptEarly * 2, static_cast<std::ptrdiff_t>(loaded.size()));
}

}  // namespace
}  // namespace globe::testing
