// The layer store: list operations, drawing passes, searches across layers, the single
// selection (also when the cache discards objects on the way), copies and environments.
#include "globe/objects/layerstore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "globe/formats/xml.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layer.h"
#include "globe/objects/object.h"
#include "globe/objects/pointpresenter.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "tests/objects/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;

/// Loads a 200-point line for every entry on demand, as a file reader does.
class TLoadingSource : public TGlobeObjectSource {
 public:
  using TGlobeObjectSource::TGlobeObjectSource;
  /// Degrees between the points of a line.
  double Step = 0.01;

 protected:
  std::unique_ptr<TGlobeObject> LoadObject(std::int32_t iIndex, bool) override {
    auto obj = std::make_unique<TGeoDataObject>(this);
    auto chain = std::make_unique<TPointStore>();
    for (int i = 0; i < 200; ++i) chain->Add(Deg(iIndex + i * Step, i * Step));
    obj->Chains().Add(std::move(chain));
    return obj;
  }
};

class LayerStoreTest : public ObjectsTest {
 protected:
  LayerStoreTest() { FlatMap(); }

  TGlobeLayerStore& store = globe.Layers();

  TGlobeLayer& NewLayer(const std::string& Name = "") {
    TGlobeLayer& layer = *std::make_unique<TGlobeLayer>(&globe).release();
    if (!Name.empty()) layer.SetName(Name);
    return layer;
  }

  TGeoDataObject& AddSquare(TGlobeLayer& Layer, double Long, double Lat, double Side) {
    auto* obj = MakeGlobeObject<TGeoDataObject>(&Layer.Objects());
    obj->Chains().Add(Chain({Deg(Long, Lat), Deg(Long, Lat + Side), Deg(Long + Side, Lat + Side),
                             Deg(Long + Side, Lat), Deg(Long, Lat)}));
    obj->SetClosed(true);
    return *obj;
  }

  [[nodiscard]] std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < store.Count(); ++i) names.push_back(store.GetLayer(i).Name());
    return names;
  }

  static std::string Message(const std::function<void()>& F) {
    try {
      F();
    } catch (const EGlobeException& e) {
      return e.what();
    }
    return "no exception";
  }
};

TEST_F(LayerStoreTest, NewStoreHoldsTheTwoGlobalPresenters) {
  TGlobePresenterStore& global = store.GlobalPresenters();
  ASSERT_EQ(global.Count(), 2);
  EXPECT_NE(dynamic_cast<TPointPresenter*>(global.ByID(-1, false)), nullptr);
  EXPECT_EQ(global.ByID(-2, false)->ClassType().ClassName(), "TPolyPresenter");
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(Message([&] { TGlobeLayerStore nil(nullptr); }),
            "TGlobeLayerStore.Create passed nil Globe");
}

TEST_F(LayerStoreTest, GetLayerOutsideTheListNamesTheIndex) {
  NewLayer("a");
  NewLayer("b");
  EXPECT_EQ(Message([&] { (void)store.GetLayer(store.Count()); }),
            "TGlobe4.GetLayer: Bad layer index 2");
  EXPECT_EQ(Message([&] { (void)store.GetLayer(-1); }), "TGlobe4.GetLayer: Bad layer index -1");
}

TEST_F(LayerStoreTest, MoveReordersAndIgnoresBadPositions) {
  NewLayer("a");
  NewLayer("b");
  NewLayer("c");
  for (auto [from, to] : {std::pair{0, 0}, {0, 3}, {-1, 1}, {3, 0}}) {
    store.Move(from, to);
    EXPECT_THAT(Names(), ElementsAre("a", "b", "c"));
  }
  store.Move(0, 2);
  EXPECT_THAT(Names(), ElementsAre("b", "c", "a"));
  store.Move(2, 0);
  EXPECT_THAT(Names(), ElementsAre("a", "b", "c"));
}

TEST_F(LayerStoreTest, IndexByNameIgnoresAsciiCase) {
  NewLayer("world.lyr");
  TGlobeLayer& derived = NewLayer();
  derived.Objects().SetName("IOTA.lyr");  // the name follows the source
  NewLayer("world.LYR");
  EXPECT_EQ(store.IndexByName("WORLD.lyr"), 0);
  EXPECT_EQ(store.IndexByName("iota.LYR"), 1);
  EXPECT_EQ(store.LayerByName("IOTA.LYR"), &derived);
  EXPECT_EQ(store.IndexByName("iota"), -1);
  EXPECT_EQ(store.LayerByName("none"), nullptr);
}

TEST_F(LayerStoreTest, CountDeletesFromTheEndAndGrowsWithEmptyEntries) {
  NewLayer("a");
  NewLayer("b");
  NewLayer("c");
  store.SetCount(1);
  EXPECT_THAT(Names(), ElementsAre("a"));
  store.SetCount(3);
  EXPECT_EQ(store.Count(), 3);
  EXPECT_EQ(Message([&] { (void)store.GetLayer(2); }), "TGlobe4.GetLayer: Bad layer index 2");
  // Everything that walks the layers passes the empty entries by.
  store.Render(false);
  EXPECT_EQ(store.ObjectAtLL(Deg(1, 1)), nullptr);
  EXPECT_EQ(store.IndexByName("x"), -1);
  EXPECT_EQ(store.SelectedCount(), 0);
  (void)store.SaveEnvironment();
  TGlobeLayer& d = NewLayer("d");
  EXPECT_EQ(d.Index(), 3);
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
}

TEST_F(LayerStoreTest, LayerStoreMERIsTheUnionOfTheLayers) {
  TGlobeLayer& a = NewLayer();
  TGlobeLayer& b = NewLayer();
  AddSquare(a, 0, 0, 10);
  AddSquare(b, 20, 30, 10);
  EXPECT_EQ(store.LayerStoreMER(), MERUnion(MERUnion(TMER{}, a.LayerMER()), b.LayerMER()));
  EXPECT_EQ(store.LayerStoreMER().iWidthX, 30 * D + 1);
}

TEST_F(LayerStoreTest, RenderDrawsTheLayersOfOnePassInOrder) {
  TGlobeLayer& a = NewLayer();
  TGlobeLayer& b = NewLayer();
  TGlobeLayer& c = NewLayer();
  TGlobeObject& oa = AddSquare(a, 0, 0, 10);
  TGlobeObject& ob = AddSquare(b, 0, 0, 10);
  TGlobeObject& oc = AddSquare(c, 0, 0, 10);
  b.SetAnimated(true);
  c.SetEnabled(false);  // plays no part in drawing
  std::vector<TGlobeRoot*> drawn;
  globe.OnObjectRender = [&](const void*, TGlobeRoot* Obj, TGlobeObjectStateSet) {
    drawn.push_back(Obj);
  };
  store.Render(false);
  EXPECT_THAT(drawn, ElementsAre(&oa, &oc));
  drawn.clear();
  store.Render(true);
  EXPECT_THAT(drawn, ElementsAre(&ob));
}

TEST_F(LayerStoreTest, SearchesAcrossLayers) {
  TGlobeLayer& low = NewLayer();
  TGlobeLayer& high = NewLayer();
  TGlobeObject& a = AddSquare(low, 0, 0, 20);
  TGlobeObject& b = AddSquare(high, 10, 10, 20);
  a.SetTitle("Spot");
  b.SetTitle("SPOT");
  a.SetID(3);
  b.SetID(3);
  EXPECT_EQ(store.ObjectAtLL(Deg(15, 15)), &b);  // the layer on top wins
  EXPECT_EQ(store.ObjectAtLL(Deg(5, 5)), &a);
  EXPECT_EQ(store.ObjectByTitle("spot", nullptr), &a);
  // Continuing after an object looks only at the rest of its own layer.
  EXPECT_EQ(store.ObjectByTitle("spot", &a), nullptr);
  EXPECT_EQ(store.ObjectByID(3), &a);

  // Device (195, 75) is (15°, 15°).
  EXPECT_EQ(store.ObjectAtXY(195, 75), &b);
  high.SetEnabled(false);  // still drawn, but not hit by device position
  EXPECT_EQ(store.ObjectAtXY(195, 75), &a);
  EXPECT_EQ(store.ObjectAtLL(Deg(15, 15)), &b);
  low.SetVisible(false);
  EXPECT_EQ(store.ObjectAtXY(195, 75), nullptr);
}

TEST_F(LayerStoreTest, SelectingAnObjectDeselectsAllOthers) {
  TGlobeLayer& a = NewLayer();
  TGlobeLayer& b = NewLayer();
  TGlobeObject& a0 = AddSquare(a, 0, 0, 10);
  TGlobeObject& a1 = AddSquare(a, 20, 0, 10);
  TGlobeObject& b0 = AddSquare(b, 40, 0, 10);
  a0.SetSelected(true);
  a1.SetSelected(true);
  EXPECT_EQ(store.SelectedCount(), 2);
  EXPECT_EQ(store.GetSelected(1), &a1);

  std::vector<TGlobeRoot*> changes;
  globe.OnObjectSelectChange = [&](const void*, TGlobeRoot* Obj) { changes.push_back(Obj); };
  store.SetSelectedObject(&b0);
  EXPECT_EQ(store.SelectedObject(), &b0);
  EXPECT_EQ(store.SelectedCount(), 1);
  EXPECT_TRUE(b0.Selected());
  EXPECT_FALSE(a0.Selected());
  EXPECT_EQ(store.GetSelected(0), &b0);
  EXPECT_EQ(store.GetSelected(1), nullptr);
  EXPECT_THAT(changes, ElementsAre(&a0, &a1, &b0));

  changes.clear();
  store.SetSelectedObject(&b0);  // already the selection: nothing
  EXPECT_TRUE(changes.empty());
  store.SetSelectedObject(nullptr);
  EXPECT_EQ(store.SelectedCount(), 0);
  EXPECT_EQ(store.SelectedObject(), nullptr);
}

TEST_F(LayerStoreTest, SelectionSurvivesTheCacheDiscardingTheNewObject) {
  TGlobeLayer& a = NewLayer();
  TGlobeLayer& b = NewLayer();
  auto* srcA = std::make_unique<TLoadingSource>(&globe).release();
  auto* srcB = std::make_unique<TLoadingSource>(&globe).release();
  a.SetObjects(srcA);
  b.SetObjects(srcB);
  srcA->SetCount(1);
  srcB->SetCount(1);
  globe.SetCacheCapacity(0);
  // A selected object of A that is not loaded any more.
  TGlobeObject& old = srcA->GetObject(0);
  old.SetSelected(true);
  srcA->DiscardObject(old);
  ASSERT_EQ(srcA->LoadedObject(0), nullptr);
  ASSERT_TRUE(srcA->GetState(0).Contains(osSelected));

  TGlobeObject* target = &srcB->GetObject(0);
  // Loading A's object to deselect it pushes the cache over its budget, and B's object,
  // used least recently, is discarded before it can be selected.
  globe.SetCacheCapacity(1);
  store.SetSelectedObject(target);
  EXPECT_FALSE(srcA->GetState(0).Contains(osSelected));
  EXPECT_TRUE(srcB->GetState(0).Contains(osSelected));
  EXPECT_EQ(store.SelectedCount(), 1);
  ASSERT_NE(srcB->LoadedObject(0), nullptr);
  EXPECT_EQ(store.SelectedObject(), srcB->LoadedObject(0));
  globe.SetCacheCapacity(0);
}

TEST_F(LayerStoreTest, PicturesPastTheBudgetKeepTheirFirstObjectsLoaded) {
  TGlobeLayer& layer = NewLayer("lines");
  auto* src = std::make_unique<TLoadingSource>(&globe).release();
  src->Step = 0.1;  // 20 degrees: drawn as lines, not as single pixels
  layer.SetObjects(src);
  src->SetCount(40);
  int loads = 0;
  globe.OnObjectCreate = [&loads](const void*, TGlobeRoot*) { ++loads; };
  globe.SetCacheCapacity(0);
  globe.RenderLayers();
  ASSERT_EQ(loads, 40);
  // Half of what one picture loads.
  const std::int32_t budgetKB = globe.CacheMemoryUsed() / 2048;
  ASSERT_GT(budgetKB, 4);
  globe.SetCacheCapacity(budgetKB);
  // As after every paint, the recount applies the budget.
  globe.UpdateTotalMemoryInUse();
  for (int picture = 0; picture < 3; ++picture) {
    loads = 0;
    globe.RenderLayers();
    EXPECT_GT(loads, 0) << picture;
    EXPECT_LE(globe.UpdateTotalMemoryInUse(), budgetKB * 1024) << picture;
  }
  // Least recently used first would discard every object before the next picture needs it
  // and load all 40 every time; the first ones drawn stay instead.
  EXPECT_LT(loads, 30);
  EXPECT_NE(src->LoadedObject(0), nullptr);
  globe.OnObjectCreate = nullptr;
  globe.SetCacheCapacity(0);
}

TEST_F(LayerStoreTest, AssignListsEachCloneOnce) {
  TGlobeLayer& a = NewLayer("a");
  NewLayer("b");
  a.Objects().SetName("a.lyr");
  store.GlobalPresenters().GetPresenter(0).SetName("points");

  // Into itself: the clones replace the layers.
  store.Assign(store);
  EXPECT_THAT(Names(), ElementsAre("a", "b"));
  EXPECT_NE(&store.GetLayer(0), &a);
  EXPECT_EQ(store.GetLayer(0).Objects().Name(), "a.lyr");  // the source is shared on
  EXPECT_EQ(store.GlobalPresenters().Count(), 2);

  // Into another globe's store.
  TGlobe4 other;
  other.Layers().Assign(store);
  EXPECT_EQ(other.Layers().Count(), 2);
  EXPECT_EQ(other.Layers().GetLayer(1).Name(), "b");
  EXPECT_EQ(&other.Layers().GetLayer(1).Globe(), &other);
  EXPECT_EQ(other.Layers().GlobalPresenters().GetPresenter(0).Name(), "points");
  EXPECT_EQ(store.Count(), 2);

  // A single layer is appended as a clone.
  store.Assign(store.GetLayer(1));
  EXPECT_THAT(Names(), ElementsAre("a", "b", "b"));
  other.Layers().Clear();  // before the sources they share go with this globe
}

TEST_F(LayerStoreTest, EnvironmentRoundTrip) {
  NewLayer("first").SetZoomMin(7);
  NewLayer("second").SetVisible(false);
  store.GlobalPresenters().GetPresenter(1).SetName("lines");
  const std::unique_ptr<TGXML_Element> element = store.SaveEnvironment();
  ASSERT_GE(element->Count(), 3u);
  EXPECT_EQ(element->Text(0), "GlobalPresenters");
  EXPECT_EQ(element->Text(1), "Layer");

  store.Clear();
  store.GlobalPresenters().Clear();
  store.LoadEnvironment(element.get());
  EXPECT_THAT(Names(), ElementsAre("first", "second"));
  EXPECT_EQ(store.GetLayer(0).ZoomMin(), 7);
  EXPECT_FALSE(store.GetLayer(1).Visible());
  // Each layer's source was opened: an empty one for a layer that saved none.
  EXPECT_TRUE(store.GetLayer(0).Objects().Active());
  ASSERT_EQ(store.GlobalPresenters().Count(), 2);
  EXPECT_EQ(store.GlobalPresenters().ByID(-2, false)->Name(), "lines");

  store.LoadEnvironment(nullptr);
  EXPECT_EQ(store.Count(), 0);
}

// A layer whose stored settings cannot be read is not left half-loaded in the store.
TEST_F(LayerStoreTest, EnvironmentLoadFreesALayerWhoseSettingsFail) {
  TGXML_Element element;
  element.AddElement("GlobalPresenters", nullptr);
  element.AddElement("Layer", nullptr)->AddAttribute("Class", "TGlobeLayer");
  TGXML_Element* bad = element.AddElement("Layer", nullptr);
  bad->AddAttribute("Class", "TGlobeLayer");
  bad->AddAttribute("ZoomUnits", "XX");
  EXPECT_THROW(store.LoadEnvironment(&element), EGlobeException);
  EXPECT_EQ(store.Count(), 1);
}

}  // namespace
}  // namespace globe::testing
