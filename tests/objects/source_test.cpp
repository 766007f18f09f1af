#include "globe/objects/source.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "globe/formats/propertystream.h"
#include "globe/formats/stream.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layer.h"
#include "globe/objects/pointpresenter.h"
#include "globe/objects/presenter.h"
#include "tests/objects/fixture.h"

namespace globe::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;

/// Notifications as (kind, object) pairs, in the order a layer received them.
using TNotifications = std::vector<std::pair<TObjectSourceNotification, TGlobeObject*>>;

/// A layer that records what its source tells it. The globe's layer store owns it.
class TRecordingLayer : public TGlobeLayer {
 public:
  using TGlobeLayer::TGlobeLayer;
  void Notify(TObjectSourceNotification Notification, TGlobeObject* Obj) override {
    received.emplace_back(Notification, Obj);
    TGlobeLayer::Notify(Notification, Obj);
  }
  TNotifications received;
};

/// A source whose reader makes a TGeoDataObject for each index, as a file reader would.
class TTestReader : public TGlobeObjectSource {
 public:
  using TGlobeObjectSource::TGlobeObjectSource;

  std::vector<std::pair<std::int32_t, bool>> loads;  // (iIndex, bNewObject)
  std::size_t titlePadding = 0;  // makes objects as large as needed for the cache
  bool returnNull = false;
  bool throwOnLoad = false;
  bool openFails = false;
  [[nodiscard]] bool Loading() const noexcept { return bLoadingObject; }

 protected:
  std::unique_ptr<TGlobeObject> LoadObject(std::int32_t iIndex, bool bNewObject) override {
    loads.emplace_back(iIndex, bNewObject);
    EXPECT_TRUE(bLoadingObject);
    if (throwOnLoad) {
      // Made and lost halfway, as a reader failing on a bad record would.
      auto lost = std::make_unique<TGeoDataObject>(this);
      throw EGlobeException("bad record");
    }
    if (returnNull) return nullptr;
    // Its parent's Add is ignored while loading: the entry being loaded will hold it.
    auto obj = std::make_unique<TGeoDataObject>(this);
    obj->SetTitle("object " + std::to_string(iIndex) + std::string(titlePadding, '.'));
    return obj;
  }
  bool OpenSource() override {
    if (openFails) throw EGlobeException("cannot open");
    return TGlobeObjectSource::OpenSource();
  }
};

/// A file reader with its protected passes made reachable, mapping one-byte objects.
class TTestFileReader : public TGlobeFileReader {
 public:
  using TGlobeFileReader::MapDataFile;
  using TGlobeFileReader::ReadMetaDataFile;
  using TGlobeFileReader::TGlobeFileReader;
  using TGlobeFileReader::WriteMetaDataFile;

  bool headerOK = true;
  std::int32_t objectsInFile = 0;
  TGlobeStream* stream = nullptr;

 protected:
  bool ReadHeader(TGlobeStream& Stream) override {
    stream = &Stream;
    return headerOK;
  }
  bool MapNextObject(TGlobeStream& Stream, std::int32_t iIndex) override {
    (void)Stream;
    return iIndex < objectsInFile;
  }
  std::unique_ptr<TGlobeObject> LoadObject(std::int32_t iIndex, bool bNewObject) override {
    (void)iIndex;
    (void)bNewObject;
    std::uint8_t b = 0;
    stream->Read(&b, 1);
    return std::make_unique<TGeoDataObject>(this);
  }
};

class SourceTest : public ObjectsTest {
 protected:
  std::vector<TGlobeRoot*> freed;  // sources, as the globe reports their end

  SourceTest() {
    globe.OnObjectSourceFree = [this](const void*, TGlobeRoot* Source) { freed.push_back(Source); };
  }

  /// A new layer, owned by the globe's layer store. A source of the test's own is freed by
  /// the test and detaches its layers then; its last layer must not let go of it first,
  /// since that frees the source.
  TRecordingLayer& NewLayer() { return *std::make_unique<TRecordingLayer>(&globe).release(); }

  [[nodiscard]] bool Listed(const TGlobeObjectSource* Source) const {
    for (TGlobeRoot* s : globe.ObjectSources()) {
      if (s == Source) return true;
    }
    return false;
  }

  static void WriteFile(const std::string& Name, const std::vector<std::uint8_t>& Bytes) {
    std::ofstream out(Name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
  }

  static std::vector<std::uint8_t> ReadFile(const std::string& Name) {
    std::ifstream in(Name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

std::string MessageOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EGlobeException& e) {
    return e.what();
  }
  return "(no exception)";
}

// ---- Life cycle, counting, entries --------------------------------------------------------

TEST_F(SourceTest, CreationRegistersWithTheGlobeAndDestructionForgets) {
  EXPECT_EQ(MessageOf([] { TGlobeObjectSource s(nullptr); }),
            "TGlobeObjectSource.Create passed nil Parent");

  auto source = std::make_unique<TGlobeObjectSource>(&globe);
  EXPECT_TRUE(Listed(source.get()));
  EXPECT_FALSE(source->Active());
  EXPECT_EQ(source->Count(), 0);
  EXPECT_EQ(source->Presenters().Count(), 0);
  TGlobeObjectSource* raw = source.get();
  source.reset();
  EXPECT_THAT(freed, ElementsAre(raw));
  EXPECT_FALSE(Listed(raw));
}

TEST_F(SourceTest, IndexChecksNameTheIndexAndChangeNothing) {
  TGlobeObjectSource source(&globe);
  source.SetCount(3);
  for (const std::int32_t bad : {-1, 3, std::numeric_limits<std::int32_t>::max()}) {
    EXPECT_EQ(MessageOf([&] { (void)source.GetObjectData(bad); }),
              "GetObjectData: Invalid Index " + std::to_string(bad));
    EXPECT_EQ(MessageOf([&] { source.SetObjectData(bad, nullptr); }),
              "SetObjectData: Invalid Index " + std::to_string(bad));
    EXPECT_EQ(MessageOf([&] { (void)source.GetObject(bad); }),
              "GetObjectData: Invalid Index " + std::to_string(bad));
    EXPECT_EQ(source.LoadedObject(bad), nullptr);
  }
  EXPECT_EQ(source.Count(), 3);
  EXPECT_EQ(source.Capacity(), 258);
}

TEST_F(SourceTest, CountAndCapacity) {
  TGlobeObjectSource source(&globe);
  source.SetCount(1);
  EXPECT_EQ(source.Capacity(), 256);
  EXPECT_EQ(source.GetState(0), TGlobeObjectStateSet{osNew});

  source.SetCount(255);
  EXPECT_EQ(source.Capacity(), 256);  // below capacity: no growth
  source.SetCount(256);
  EXPECT_EQ(source.Capacity(), 511);

  // Entries freed on the way down, loaded objects among them (ASan checks the frees).
  (void)MakeGlobeObject<TGeoDataObject>(&source);
  EXPECT_EQ(source.Count(), 257);
  source.SetCount(10);
  EXPECT_EQ(source.Count(), 10);
  EXPECT_EQ(source.Capacity(), 511);

  source.SetCapacity(4);
  EXPECT_EQ(source.Capacity(), 4);
  EXPECT_EQ(source.Count(), 4);
  source.SetCount(-3);
  EXPECT_EQ(source.Count(), 0);
}

TEST_F(SourceTest, EntryAccessorsReadAndWriteTheRecord) {
  TGlobeObjectSource source(&globe);
  source.SetCount(2);
  TGlobeRoot user;
  source.SetMER(1, {1, 2, 3, 4});
  source.SetPresenterID(1, 9);
  source.SetState(1, {osClosed, osValidMER});
  source.SetUserObject(1, &user);
  source.SetValue(1, 2.5);
  EXPECT_EQ(source.GetMER(1), (TMER{1, 2, 3, 4}));
  EXPECT_EQ(source.GetPresenterID(1), 9);
  EXPECT_EQ(source.GetState(1), (TGlobeObjectStateSet{osClosed, osValidMER}));
  EXPECT_EQ(source.GetUserObject(1), &user);
  EXPECT_EQ(source.GetValue(1), 2.5);
  EXPECT_EQ(source.LoadedObject(1), nullptr);  // none of them loads
  // A record made on demand starts zeroed and new.
  const TGlobeObjectData& fresh = source.GetObjectData(0);
  EXPECT_EQ(fresh.ObjectState, TGlobeObjectStateSet{osNew});
  EXPECT_EQ(fresh.FObjectMER, TMER{});
  EXPECT_EQ(fresh.PresenterID(), 0);
}

TEST_F(SourceTest, ObjectsMER) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct Case {
    const char* name;
    std::vector<TMER> mers;
    TMER expected;
  };
  const Case cases[] = {
      {"empty", {}, {0, 0, 1, 1}},
      {"one", {{100, 200, 10, 20}}, {99, 199, 11, 21}},
      {"two", {{100, 200, 10, 20}, {-50, 300, 10, 5}}, {-51, 199, 161, 106}},
      {"clamped at 180 degrees",
       {{-GU_180_DEGREE, 0, 10, 10}, {GU_180_DEGREE - 5, 0, 10, 10}},
       {-GU_180_DEGREE, -1, 2 * GU_180_DEGREE, 11}},
      // Values from a hostile metadata file must not overflow.
      {"extreme", {{kMax, kMax, kMax, kMax}}, {kMax, kMax, GU_180_DEGREE - kMax, kMax}},
  };
  for (const Case& c : cases) {
    TGlobeObjectSource source(&globe);
    source.SetCount(static_cast<std::int32_t>(c.mers.size()));
    for (std::size_t i = 0; i < c.mers.size(); ++i) {
      source.SetMER(static_cast<std::int32_t>(i), c.mers[i]);
    }
    EXPECT_EQ(source.ObjectsMER(), c.expected) << c.name;
  }
}

TEST_F(SourceTest, ActiveOpensAndClosesOnceAndTellsTheGlobe) {
  std::vector<TGlobeRoot*> changes;
  globe.OnObjectSourceActiveChange = [&](const void*, TGlobeRoot* s) { changes.push_back(s); };
  TTestReader source(&globe);
  source.SetModified(true);
  source.Open();
  EXPECT_TRUE(source.Active());
  EXPECT_FALSE(source.Modified());
  source.SetActive(true);  // unchanged: nothing
  source.Close();
  EXPECT_FALSE(source.Active());
  EXPECT_EQ(changes.size(), 2u);

  source.openFails = true;
  EXPECT_EQ(MessageOf([&] { source.Open(); }), "cannot open");
  EXPECT_FALSE(source.Active());
}

// ---- Loading on demand and the cache ------------------------------------------------------

TEST_F(SourceTest, GetObjectCopiesTheRecordUnlessNew) {
  TTestReader source(&globe);
  std::vector<TGlobeRoot*> created;
  globe.OnObjectCreate = [&](const void* Sender, TGlobeRoot* Obj) {
    EXPECT_EQ(Sender, &source);
    created.push_back(Obj);
  };
  TGlobeRoot user;
  source.SetCount(3);
  source.SetMER(0, {10, 20, 30, 40});
  source.SetState(0, {osValidMER, osClosed});
  source.SetUserObject(0, &user);
  source.SetValue(0, 7.5);
  source.SetPresenterID(0, 4);
  source.SetPresenterID(2, 6);  // the record is still new, but the ID is given anyway

  TGlobeObject& obj = source.GetObject(0);
  // osRedraw: the presenter ID came through the object's own setter (which also drops
  // osValidMER from a geographic object).
  for (const TGlobeObjectState bit : {osClosed, osDiscardable, osRedraw}) {
    EXPECT_TRUE(obj.ObjectState.Contains(bit)) << static_cast<int>(bit);
  }
  EXPECT_FALSE(obj.ObjectState.Contains(osNew));
  EXPECT_EQ(obj.FObjectMER, (TMER{10, 20, 30, 40}));
  EXPECT_EQ(obj.UserObject(), &user);
  EXPECT_EQ(obj.Value(), 7.5);
  EXPECT_EQ(obj.PresenterID(), 4);
  EXPECT_EQ(obj.Index(), 0);
  EXPECT_EQ(obj.Parent(), &source);
  EXPECT_EQ(source.LoadedObject(0), &obj);
  EXPECT_EQ(&source.GetObjectData(0), &obj);

  TGlobeObject& fresh = source.GetObject(2);
  EXPECT_TRUE(fresh.ObjectState.Contains(osDiscardable));
  EXPECT_FALSE(fresh.ObjectState.Contains(osNew));  // the record's state was not copied
  EXPECT_EQ(fresh.PresenterID(), 6);
  EXPECT_EQ(fresh.Index(), 2);

  EXPECT_EQ(&source.GetObject(0), &obj);  // loaded once
  EXPECT_THAT(source.loads, ElementsAre(Pair(0, false), Pair(2, true)));
  EXPECT_THAT(created, ElementsAre(&obj, &fresh));
  EXPECT_FALSE(source.Loading());
  EXPECT_EQ(source.Count(), 3);  // the reader's objects were not added a second time
}

TEST_F(SourceTest, GetObjectCountsTheCacheAndStampsEveryUse) {
  globe.SetCacheCapacity(0);
  TTestReader source(&globe);
  source.SetCount(2);
  const std::int32_t before = globe.CacheMemoryUsed();
  TGlobeObject& a = source.GetObject(0);
  EXPECT_EQ(globe.CacheMemoryUsed() - before, a.ObjectInstanceSize());
  const std::int32_t firstStamp = a.MRU;
  TGlobeObject& b = source.GetObject(1);
  EXPECT_GT(b.MRU, firstStamp);
  EXPECT_GT(source.GetObject(0).MRU, b.MRU);  // fetched again: newest
  EXPECT_EQ(globe.CacheMemoryUsed() - before, a.ObjectInstanceSize() + b.ObjectInstanceSize());

  std::vector<TGlobeObject*> active;
  source.ListActiveObjects(active);
  EXPECT_THAT(active, ElementsAre(&a, &b));
  EXPECT_EQ(source.ObjectInstanceSize(), a.ObjectInstanceSize() + b.ObjectInstanceSize());
}

TEST_F(SourceTest, NoCacheLeavesTheCounterAloneAndNothingDiscardable) {
  TTestReader source(&globe);
  source.SetNoCache(true);
  source.SetCount(1);
  const std::int32_t before = globe.CacheMemoryUsed();
  TGlobeObject& obj = source.GetObject(0);
  EXPECT_EQ(globe.CacheMemoryUsed(), before);
  EXPECT_FALSE(obj.ObjectState.Contains(osDiscardable));
  std::vector<TGlobeObject*> active;
  source.ListActiveObjects(active);
  EXPECT_TRUE(active.empty());
  source.UnloadObjects();
  EXPECT_EQ(source.LoadedObject(0), &obj);
}

TEST_F(SourceTest, AFailedLoadClearsTheGuardAndKeepsTheRecord) {
  TTestReader source(&globe);
  source.SetCount(1);
  source.returnNull = true;
  EXPECT_EQ(MessageOf([&] { (void)source.GetObject(0); }), "TGlobeReader returned nil object");
  EXPECT_FALSE(source.Loading());
  EXPECT_EQ(source.LoadedObject(0), nullptr);
  EXPECT_EQ(source.GetState(0), TGlobeObjectStateSet{osNew});

  source.returnNull = false;
  source.throwOnLoad = true;
  EXPECT_EQ(MessageOf([&] { (void)source.GetObject(0); }), "bad record");
  EXPECT_FALSE(source.Loading());
  EXPECT_EQ(source.Count(), 1);

  source.throwOnLoad = false;  // and the next attempt succeeds
  EXPECT_EQ(source.GetObject(0).Index(), 0);
}

TEST_F(SourceTest, TheObjectBeingLoadedSurvivesTheCacheReductionItStarts) {
  TTestReader source(&globe);
  source.titlePadding = 2000;
  source.SetCount(20);
  // Objects above the whole budget (1 KB): every load discards all the others.
  globe.SetCacheCapacity(1);
  (void)globe.CacheUsedDelta(-globe.CacheMemoryUsed());
  for (std::int32_t i = 0; i < 20; ++i) {
    TGlobeObject& obj = source.GetObject(i);
    EXPECT_EQ(obj.Index(), i);
    EXPECT_EQ(obj.Title().rfind("object " + std::to_string(i) + ".", 0), 0u);  // ASan: alive
    for (std::int32_t j = 0; j < i; ++j) EXPECT_EQ(source.LoadedObject(j), nullptr) << i;
  }
  EXPECT_EQ(source.loads.size(), 20u);
}

TEST_F(SourceTest, AReloadedObjectSurvivesLoadsFromItsCreationEvent) {
  TTestReader source(&globe);
  source.titlePadding = 2000;
  source.SetCount(3);
  globe.SetCacheCapacity(1);
  (void)globe.CacheUsedDelta(-globe.CacheMemoryUsed());
  (void)source.GetObject(0);
  (void)source.GetObject(1);  // discards object 0, whose record keeps it discardable
  ASSERT_EQ(source.LoadedObject(0), nullptr);
  bool nested = false;
  globe.OnObjectCreate = [&](const void*, TGlobeRoot*) {
    if (nested) return;
    nested = true;
    (void)source.GetObject(2);  // its cache reduction must spare the object being created
  };
  TGlobeObject& reloaded = source.GetObject(0);
  globe.OnObjectCreate = nullptr;
  EXPECT_EQ(&reloaded, source.LoadedObject(0));
  EXPECT_EQ(reloaded.Title().rfind("object 0.", 0), 0u);  // ASan: alive
}

TEST_F(SourceTest, DiscardAndUnloadTurnObjectsBackIntoRecords) {
  globe.SetCacheCapacity(0);
  TTestReader source(&globe);
  TRecordingLayer& layer = NewLayer();
  layer.SetObjects(&source);
  source.SetCount(2);
  TGlobeObject& loaded = source.GetObject(0);
  loaded.SetSelected(true);
  loaded.SetValue(3.5);
  loaded.SetCentroid(Deg(10, 20));
  const TMER mer = loaded.GetObjectMER();
  TGlobeObject* added = MakeGlobeObject<TGeoDataObject>(&source);  // never discardable

  TTestReader other(&globe);
  other.SetCount(1);
  source.DiscardObject(other.GetObject(0));  // not ours: nothing
  EXPECT_NE(other.LoadedObject(0), nullptr);

  const std::int32_t cache = globe.CacheMemoryUsed();
  layer.received.clear();
  source.UnloadObjects();
  EXPECT_EQ(globe.CacheMemoryUsed(), cache);  // the globe recounts for itself
  EXPECT_EQ(source.LoadedObject(0), nullptr);
  EXPECT_EQ(source.LoadedObject(2), added);
  EXPECT_EQ(layer.received.front(), std::make_pair(osnSelectedChanged, &loaded));
  const TGlobeObjectData& record = source.GetObjectData(0);
  EXPECT_EQ(record.ClassType().ClassName(), "TGlobeObjectData");
  EXPECT_FALSE(record.ObjectState.Contains(osSelected));
  EXPECT_TRUE(record.ObjectState.Contains(osValidMER));
  EXPECT_EQ(record.FObjectMER, mer);
  EXPECT_EQ(mer.iLongX, 10 * D);
  EXPECT_EQ(record.Value(), 3.5);
  EXPECT_EQ(record.Index(), 0);

  // Reloading restores from the record.
  EXPECT_EQ(source.GetObject(0).Value(), 3.5);
  EXPECT_THAT(source.loads, ElementsAre(Pair(0, true), Pair(0, false)));
}

// ---- Adding, deleting, moving; layers -----------------------------------------------------

TEST_F(SourceTest, AddDeleteAndMoveRenumberAndNotify) {
  globe.SetCacheCapacity(0);
  TGlobeObjectSource source(&globe);
  TRecordingLayer& layer = NewLayer();
  layer.SetObjects(&source);
  TGlobeObject* a = MakeGlobeObject<TGeoDataObject>(&source);
  TGlobeObject* b = MakeGlobeObject<TGeoDataObject>(&source);
  TGlobeObject* c = MakeGlobeObject<TGeoDataObject>(&source);
  EXPECT_EQ(source.Count(), 3);
  EXPECT_TRUE(source.Modified());
  EXPECT_EQ(c->Index(), 2);
  EXPECT_GT(c->MRU, a->MRU);
  EXPECT_FALSE(c->ObjectState.Contains(osDiscardable));
  EXPECT_THAT(layer.received, ElementsAre(Pair(osnAdd, a), Pair(osnAdd, b), Pair(osnAdd, c)));

  // Freeing an object deletes its entry; later entries move down.
  layer.received.clear();
  source.SetModified(false);
  delete b;  // the source owns it, but whoever frees an object takes it out first
  EXPECT_THAT(layer.received, ElementsAre(Pair(osnDelete, b)));
  EXPECT_EQ(source.Count(), 2);
  EXPECT_EQ(source.LoadedObject(1), c);
  EXPECT_EQ(c->Index(), 1);
  EXPECT_TRUE(source.Modified());

  // Deleting without freeing hands the object back.
  const std::int32_t cache = globe.CacheMemoryUsed();
  source.Delete(a);
  std::unique_ptr<TGlobeObject> owned(a);
  EXPECT_EQ(a->ObjectState, TGlobeObjectStateSet{osDeleted});
  EXPECT_EQ(a->Index(), -1);
  EXPECT_EQ(globe.CacheMemoryUsed(), cache - a->ObjectInstanceSize());
  EXPECT_EQ(source.LoadedObject(0), c);
  EXPECT_EQ(c->Index(), 0);
  source.Delete(a);        // no longer in the source: nothing
  source.Delete(nullptr);  // nothing
  EXPECT_EQ(source.Count(), 1);
  owned.reset();
  EXPECT_EQ(source.Count(), 1);

  // Move: entries and indexes follow, one redraw.
  source.SetCount(3);
  source.SetValue(2, 9);
  layer.received.clear();
  source.Move(2, 0);
  EXPECT_EQ(source.GetValue(0), 9);
  EXPECT_EQ(source.LoadedObject(1), c);
  EXPECT_EQ(c->Index(), 1);
  for (std::int32_t i = 0; i < 3; ++i) EXPECT_EQ(source.GetObjectData(i).Index(), i);
  EXPECT_THAT(layer.received, ElementsAre(Pair(osnRedraw, nullptr)));
  for (const auto& [from, to] : {std::pair{1, 1}, {0, 3}, {3, 0}, {-1, 0}}) {
    source.Move(from, to);
    EXPECT_EQ(source.LoadedObject(1), c) << from << " " << to;
  }
  EXPECT_EQ(layer.received.size(), 1u);
}

TEST_F(SourceTest, TheLastLayerToUnsubscribeFreesTheSource) {
  auto* shared = new TGlobeObjectSource(&globe);  // owned by its subscribers from here on
  (void)MakeGlobeObject<TGeoDataObject>(shared);
  TRecordingLayer& first = NewLayer();
  TRecordingLayer& second = NewLayer();
  first.SetObjects(shared);
  second.SetObjects(shared);
  shared->Subscribe(&first);  // already subscribed: once only
  EXPECT_EQ(shared->LayerCount(), 2);
  EXPECT_EQ(shared->GetLayer(1), &second);
  EXPECT_EQ(shared->GetLayer(2), nullptr);
  EXPECT_EQ(shared->GetLayer(-1), nullptr);

  first.SetObjects(nullptr);
  EXPECT_TRUE(freed.empty());
  EXPECT_EQ(shared->LayerCount(), 1);
  second.SetObjects(nullptr);
  EXPECT_THAT(freed, ElementsAre(shared));
  EXPECT_FALSE(Listed(shared));
}

TEST_F(SourceTest, TheGlobeFreesEverySourceOnce) {
  auto g = std::make_unique<TGlobe4>();
  std::int32_t freedSources = 0;
  g->OnObjectSourceFree = [&](const void*, TGlobeRoot*) { ++freedSources; };
  // One freed with its layer, one that no layer ever took (ASan checks both are freed once).
  auto* subscribed = new TGlobeObjectSource(g.get());
  (void)MakeGlobeObject<TGeoDataObject>(subscribed);
  (void)new TGlobeObjectSource(g.get());
  std::make_unique<TRecordingLayer>(g.get()).release()->SetObjects(subscribed);
  g.reset();
  EXPECT_EQ(freedSources, 0);  // a globe being destroyed raises no events
}

TEST_F(SourceTest, FreeingASourceDetachesItsLayers) {
  auto source = std::make_unique<TGlobeObjectSource>(&globe);
  TRecordingLayer& first = NewLayer();
  TRecordingLayer& second = NewLayer();
  first.SetObjects(source.get());
  second.SetObjects(source.get());
  source.reset();  // freed once (ASan), whatever the detached layers do
  EXPECT_EQ(freed.size(), 1u);
  EXPECT_EQ(first.ObjectsOrNull(), nullptr);
  EXPECT_EQ(second.ObjectsOrNull(), nullptr);
}

// ---- Metadata -----------------------------------------------------------------------------

TEST_F(SourceTest, MetaDataFilenameForEachLocation) {
  TGlobeObjectSource source(&globe);
  const fs::path exeFolder = platform::FsPath(platform::ProgramFolder());
  const std::string dataDir = Scratch("");  // ends in "/"
  struct Case {
    TSaveMetaDataLocation location;
    std::string dataDirectory;
    std::string file;
    std::string expected;
  };
  const Case cases[] = {
      {smdInDataDirectory, dataDir, "/data/world.lyr", dataDir + "world.lyr.md"},
      {smdInDataDirectory, "", "/data/world.lyr", "world.lyr.md"},
      {smdWithDataFile, dataDir, " /data/world.lyr\t", "/data/world.lyr.md"},
      {smdWithExeFile, dataDir, "/data/world.lyr", platform::Utf8Path(exeFolder / "world.lyr.md")},
      {smdDiscard, dataDir, "/data/world.lyr", ""},
      {smdWithDataFile, dataDir, "  ", ""},
  };
  for (const Case& c : cases) {
    globe.SetDataDirectory(c.dataDirectory);
    globe.SetSaveMetaDataLocation(c.location);
    EXPECT_EQ(source.MetaDataFilename(c.file), c.expected)
        << static_cast<int>(c.location) << " '" << c.file << "'";
  }
}

/// A source with two presenters and three entries, and its common metadata part.
class MetaDataTest : public SourceTest {
 protected:
  TGlobeObjectSource original{&globe};
  std::vector<std::uint8_t> bytes;

  MetaDataTest() {
    original.Presenters().Add(std::make_unique<TPolygonPresenter>(&globe, 3));
    original.Presenters().Add(std::make_unique<TPointPresenter>(&globe, 5));
    original.SetCount(3);
    original.SetMER(0, {1, 2, 3, 4});
    original.SetPresenterID(0, 3);
    original.SetState(0, {osClosed, osSelected});
    original.SetMER(1, {-5, -6, 7, 8});
    original.SetPresenterID(1, 5);
    // Entry 2 stays a new record.
    TGlobeStreamWriter writer(std::make_unique<TGlobeMemoryStream>());
    original.WriteMetaData(writer);
    bytes = static_cast<TGlobeMemoryStream&>(writer.DataStream()).Bytes();
  }

  /// Reads Data into Target's common part.
  static void Read(TGlobeObjectSource& Target, const std::vector<std::uint8_t>& Data) {
    TGlobeMemoryStream stream(Data);
    TGlobeStreamReader reader(stream);
    Target.ReadMetaData(reader);
  }
};

TEST_F(MetaDataTest, CommonPartRoundTrips) {
  SetGlobeStreamVersion(0x0300);
  TGlobeObjectSource copy(&globe);
  Read(copy, bytes);
  EXPECT_EQ(GlobeStreamVersion(), 1029);
  ASSERT_EQ(copy.Presenters().Count(), 2);
  EXPECT_EQ(copy.Presenters().GetPresenter(0).ClassName(), "TPolygonPresenter");
  EXPECT_EQ(copy.Presenters().GetPresenter(0).PresenterID(), 3);
  EXPECT_EQ(copy.Presenters().GetPresenter(1).ClassName(), "TPointPresenter");
  EXPECT_EQ(copy.Presenters().GetPresenter(1).PresenterID(), 5);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.GetMER(0), (TMER{1, 2, 3, 4}));
  EXPECT_EQ(copy.GetPresenterID(0), 3);
  // Only the closed flag is stored; restored records are valid and not new.
  EXPECT_EQ(copy.GetState(0), (TGlobeObjectStateSet{osValidMER, osClosed}));
  EXPECT_EQ(copy.GetMER(1), (TMER{-5, -6, 7, 8}));
  EXPECT_EQ(copy.GetState(1), TGlobeObjectStateSet{osValidMER});
  EXPECT_EQ(copy.GetState(2), TGlobeObjectStateSet{osValidMER});

  // The entries' layout: MER, Integer presenter ID, Boolean closed (21 bytes each).
  const std::vector<std::uint8_t> first(bytes.end() - 3 * 21, bytes.end() - 2 * 21);
  EXPECT_THAT(first, ElementsAre(1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0,  //
                                 3, 0, 0, 0, 'T'));
  EXPECT_THAT(std::vector<std::uint8_t>(bytes.end() - 3 * 21 - 4, bytes.end() - 3 * 21),
              ElementsAre(3, 0, 0, 0));
}

TEST_F(MetaDataTest, EveryTruncationIsRejectedAndLeavesTheSourceEmpty) {
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    TGlobeObjectSource copy(&globe);
    copy.Presenters().Add(std::make_unique<TGlobePresenter>(&globe, 1));
    copy.SetCount(2);
    const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
    EXPECT_THAT(MessageOf([&] { Read(copy, cut); }), HasSubstr("Corrupt metadata file")) << n;
    EXPECT_EQ(copy.Count(), 0) << n;
    EXPECT_EQ(copy.Presenters().Count(), 0) << n;
  }
}

TEST_F(MetaDataTest, HostileCountsAndClassesAreRejected) {
  const auto integer = [](std::int32_t v) {
    return std::vector<std::uint8_t>{
        static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
        static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  };
  const auto join = [](std::vector<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const auto shortString = [](const std::string& s) {
    std::vector<std::uint8_t> v;
    v.reserve(1 + s.size());
    v.push_back(static_cast<std::uint8_t>(s.size()));
    v.insert(v.end(), s.begin(), s.end());
    return v;
  };
  const std::vector<std::uint8_t> padding(64, 0);
  struct Case {
    const char* name;
    std::vector<std::uint8_t> data;
    const char* message;
  };
  const Case cases[] = {
      {"presenter count beyond the data", join({integer(0x7FFFFFFF), padding}),
       "Corrupt metadata file"},
      {"negative presenter count", join({integer(-1), padding}), "Corrupt metadata file"},
      {"entry count beyond the data", join({integer(0), integer(0x7FFFFFFF), padding}),
       "Corrupt metadata file"},
      {"negative entry count", join({integer(0), integer(-5), padding}), "Corrupt metadata file"},
      {"unknown class", join({integer(1), shortString("TNoSuchPresenter"), padding}),
       "TNoSuchPresenter"},
      {"not a presenter", join({integer(1), shortString("TGeoDataObject"), padding}),
       "TGeoDataObject"},
  };
  for (const Case& c : cases) {
    TGlobeObjectSource copy(&globe);
    EXPECT_THAT(MessageOf([&] { Read(copy, c.data); }), HasSubstr(c.message)) << c.name;
    EXPECT_EQ(copy.Count(), 0) << c.name;
    EXPECT_LT(copy.Capacity(), 1000) << c.name;  // nothing allocated for the claimed count
  }
}

// ---- File reader ---------------------------------------------------------------------------

class FileReaderTest : public SourceTest {
 protected:
  TTestFileReader reader{&globe};
  std::string data = Scratch("world.lyr");
  std::string md = Scratch("world.lyr.md");

  FileReaderTest() {
    WriteFile(data, {1, 2, 3});
    globe.SetSaveMetaDataLocation(smdWithDataFile);
    reader.SetFileName(data);
  }

  void Age(const std::string& Name, std::chrono::seconds By) {
    fs::last_write_time(Name, fs::last_write_time(data) - By);
  }
};

TEST_F(FileReaderTest, MetaDataFileIsUsedOnlyWhenCurrentAndMarked) {
  const std::vector<std::uint8_t> good{0x03, 0x01, 42};
  std::vector<std::uint8_t> got;

  EXPECT_FALSE(reader.ReadMetaDataFile(got));  // none yet

  WriteFile(md, good);
  Age(md, std::chrono::seconds(0));  // as old as the data: current
  EXPECT_TRUE(reader.ReadMetaDataFile(got));
  EXPECT_EQ(got, good);

  Age(md, std::chrono::seconds(10));  // older than the data: ignored, kept
  EXPECT_FALSE(reader.ReadMetaDataFile(got));
  EXPECT_TRUE(got.empty());
  EXPECT_TRUE(fs::exists(md));

  globe.SetSaveMetaDataLocation(smdDiscard);
  WriteFile(md, good);
  EXPECT_FALSE(reader.ReadMetaDataFile(got));
  globe.SetSaveMetaDataLocation(smdWithDataFile);

}

TEST_F(FileReaderTest, ForeignFileOfTheMetaDataNameIsLeftAlone) {
  // An operator's note, a byte-swapped mark, a stub, an empty file: none is ours, current
  // or stale; none may be deleted or replaced, and each is reported.
  std::vector<std::pair<TProgressMessage, std::string>> progress;
  globe.OnProgress = [&](const void*, TProgressMessage Kind, const std::string& Text, bool&) {
    progress.emplace_back(Kind, Text);
  };
  const std::string note = "# World layer\nNotes of the operator.\n";
  for (const std::vector<std::uint8_t>& foreign :
       {std::vector<std::uint8_t>(note.begin(), note.end()),
        std::vector<std::uint8_t>{0x01, 0x03, 42}, std::vector<std::uint8_t>{0x03},
        std::vector<std::uint8_t>{}}) {
    for (const std::chrono::seconds age : {std::chrono::seconds(0), std::chrono::seconds(10)}) {
      progress.clear();
      WriteFile(md, foreign);
      Age(md, age);
      std::vector<std::uint8_t> got;
      EXPECT_FALSE(reader.ReadMetaDataFile(got));
      EXPECT_TRUE(got.empty());
      reader.WriteMetaDataFile({0x03, 0x01, 7});
      EXPECT_EQ(ReadFile(md), foreign) << foreign.size() << " bytes, " << age.count() << " s";
      ASSERT_EQ(progress.size(), 1u);
      EXPECT_EQ(progress[0].first, pmMessage);
      EXPECT_THAT(progress[0].second, HasSubstr("world.lyr.md is not a metadata file"));
    }
  }

  // A folder of that name is not ours either.
  fs::remove(md);
  fs::create_directory(md);
  reader.WriteMetaDataFile({0x03, 0x01, 7});
  EXPECT_TRUE(fs::is_directory(md));
}

TEST_F(FileReaderTest, MetaDataFileIsWrittenAtomically) {
  reader.WriteMetaDataFile({0x03, 0x01, 7});
  EXPECT_THAT(ReadFile(md), ElementsAre(0x03, 0x01, 7));
  reader.WriteMetaDataFile({0x03, 0x01});  // replaces
  EXPECT_THAT(ReadFile(md), ElementsAre(0x03, 0x01));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(scratch)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_THAT(names, ElementsAre("world.lyr", "world.lyr.md"));  // no temporary file left

  // A folder that cannot be written costs the metadata file only, with a report.
  std::vector<std::pair<TProgressMessage, std::string>> progress;
  globe.OnProgress = [&](const void*, TProgressMessage Kind, const std::string& Text, bool&) {
    progress.emplace_back(Kind, Text);
  };
  globe.SetSaveMetaDataLocation(smdInDataDirectory);
  globe.OnDirectoryNotFound = [](const void*, std::string&) {};
  globe.SetDataDirectory(Scratch("missing/folder"));
  EXPECT_NO_THROW(reader.WriteMetaDataFile({0x03, 0x01}));
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0].first, pmError);
  EXPECT_THAT(progress[0].second, HasSubstr("world.lyr.md"));
}

TEST_F(FileReaderTest, MappingLoadsEveryObjectAndReportsProgress) {
  std::vector<std::pair<TProgressMessage, std::string>> progress;
  globe.OnProgress = [&](const void*, TProgressMessage Kind, const std::string& Text, bool& Abort) {
    progress.emplace_back(Kind, Text);
    Abort = true;  // not consulted: mapping runs to the end
  };
  // 2,048 one-byte objects: after 256 the position is 12.5 % of the way (rounded to even).
  TGlobeMemoryStream stream(std::vector<std::uint8_t>(2048, 0));
  stream.SetPosition(100);
  reader.SetCount(5);
  reader.objectsInFile = 600;
  EXPECT_TRUE(reader.MapDataFile(stream));
  EXPECT_EQ(reader.Count(), 600);
  EXPECT_NE(reader.LoadedObject(599), nullptr);
  EXPECT_THAT(progress, ElementsAre(Pair(pmStart, "Mapping"), Pair(pmPercent, "12"),
                                    Pair(pmPercent, "25"), Pair(pmEnd, "Finished")));

  progress.clear();
  reader.headerOK = false;
  EXPECT_FALSE(reader.MapDataFile(stream));
  EXPECT_EQ(reader.Count(), 0);
  EXPECT_THAT(progress, ElementsAre(Pair(pmStart, "Mapping"), Pair(pmEnd, "Finished")));
}

TEST_F(FileReaderTest, EnvironmentNamesTheClassAndTheFileRelativeToTheDataDirectory) {
  TGlobeObjectSource plain(&globe);
  EXPECT_EQ(plain.SaveEnvironment()->AttributeByName("Class", ""), "TGlobeObjectSource");

  fs::create_directories(scratch / "sub");
  const std::string nested = Scratch("sub/europe.lyr");
  WriteFile(nested, {0});
  globe.SetDataDirectory(Scratch(""));
  reader.SetFileName(nested);
  EXPECT_EQ(reader.FileName(), nested);
  const std::unique_ptr<TGXML_Element> element = reader.SaveEnvironment();
  EXPECT_EQ(element->AttributeByName("Filename", "?"), "sub/europe.lyr");

  TTestFileReader restored(&globe);
  restored.LoadEnvironment(element.get());
  EXPECT_EQ(fs::path(restored.FileName()).lexically_normal(), fs::path(nested));

  restored.SetFileName(Scratch("nothing-here.lyr"));
  EXPECT_EQ(restored.FileName(), "");
}

}  // namespace
}  // namespace globe::testing
