#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "tests/view/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;

class CacheTest : public ViewTest {
 protected:
  TGlobeRoot sourceA, sourceB;
  TGlobeRoot objects[3];
  int reductions = 0;

  CacheTest() {
    globe.OnReduceCacheMemory = [this](const void*) { ++reductions; };
    globe.Notify(gnObjectSourceCreate, &sourceA);
    globe.Notify(gnObjectSourceCreate, &sourceB);
    // 1,200 bytes in three objects, used in the order 1, 3, 5.
    globe.Store->Cached[&sourceA] = {{&sourceA, &objects[0], 5, 400},
                                     {&sourceA, &objects[1], 1, 400}};
    globe.Store->Cached[&sourceB] = {{&sourceB, &objects[2], 3, 400}};
  }
  // The stand-in sources go before the globe, which frees the sources still listed.
  ~CacheTest() override {
    globe.Notify(gnObjectSourceFree, &sourceA);
    globe.Notify(gnObjectSourceFree, &sourceB);
  }
};

TEST_F(CacheTest, StampsCountUpAndWrap) {
  EXPECT_EQ(globe.NextMRU(), 1);
  EXPECT_EQ(globe.NextMRU(), 2);
  TGlobe4 g;
  for (int i = 0; i < 3; ++i) (void)g.NextMRU();
  EXPECT_EQ(g.NextMRU(), 4);
}

TEST_F(CacheTest, OverBudgetDiscardsLeastRecentlyUsedDownTo75Percent) {
  globe.SetCacheCapacity(1);  // 1,024 bytes; 75 % is 768
  EXPECT_EQ(globe.UpdateTotalMemoryInUse(), 400);
  EXPECT_EQ(reductions, 1);
  EXPECT_THAT(globe.Store->DiscardedMRU, ElementsAre(1, 3));
  EXPECT_EQ(globe.CacheMemoryUsed(), 400);
}

TEST_F(CacheTest, SourcesReportingDiscardsDoNotStartAnotherReduction) {
  globe.Store->ReportDiscards = true;
  globe.SetCacheCapacity(1);
  EXPECT_EQ(globe.CacheUsedDelta(1200), 400);
  EXPECT_EQ(reductions, 1);
  EXPECT_THAT(globe.Store->DiscardedMRU, ElementsAre(1, 3));
}

TEST_F(CacheTest, RecordsAboveTheBudgetDoNotMakeEveryLoadReduceAgain) {
  globe.Store->RecordBytes = 1000;  // per source: 2,000 bytes that no reduction frees
  globe.SetCacheCapacity(1);
  EXPECT_EQ(globe.CacheUsedDelta(1200), 2000);
  EXPECT_EQ(reductions, 1);
  EXPECT_THAT(globe.Store->DiscardedMRU, ElementsAre(1, 3, 5));
  // Loads of up to a quarter of what is left (more than a quarter of the budget here) start
  // no new scan.
  for (int i = 0; i < 5; ++i) globe.CacheUsedDelta(100);
  EXPECT_EQ(reductions, 1);
  globe.CacheUsedDelta(100);
  EXPECT_EQ(reductions, 2);
}

TEST_F(CacheTest, FreeingTheRecordsAboveTheBudgetLetsTheBudgetHoldAgain) {
  globe.Store->RecordBytes = 1000;  // per source: 2,000 bytes that no reduction frees
  globe.SetCacheCapacity(1);
  EXPECT_EQ(globe.CacheUsedDelta(1200), 2000);
  EXPECT_EQ(reductions, 1);
  // The large layer is closed: the recount finds nothing left.
  globe.Store->RecordBytes = 0;
  EXPECT_EQ(globe.UpdateTotalMemoryInUse(), 0);
  // Objects loaded since are held to the budget again, not to the old floor.
  globe.Store->Cached[&sourceA] = {{&sourceA, &objects[0], 7, 600},
                                   {&sourceA, &objects[1], 8, 600}};
  globe.CacheUsedDelta(600);
  EXPECT_EQ(reductions, 1);
  EXPECT_EQ(globe.CacheUsedDelta(600), 600);
  EXPECT_EQ(reductions, 2);
  EXPECT_THAT(globe.Store->DiscardedMRU, ElementsAre(1, 3, 5, 7));
}

// Objects of earlier pictures go first, oldest first; then the latest picture's own, newest
// first, so that the ones drawn first are still there for the next picture. Before any
// picture the order is plain least recently used.
TEST_F(CacheTest, ThePicturesFirstObjectsAreDiscardedLast) {
  for (const bool drawing : {false, true}) {
    SCOPED_TRACE(drawing ? "while drawing" : "before any picture");
    TGlobeRoot drawn[3];
    globe.Store->DiscardedMRU.clear();
    globe.Store->Cached[&sourceA] = {{&sourceA, &objects[0], 5, 400},
                                     {&sourceA, &objects[1], 1, 400}};
    globe.Store->Cached[&sourceB] = {{&sourceB, &objects[2], 3, 400}};
    globe.SetCacheCapacity(0);
    for (int i = 0; i < 10; ++i) (void)globe.NextMRU();
    const std::int32_t first = globe.NextMRU() + 1;
    auto load = [&] {
      for (TGlobeRoot& o : drawn)
        globe.Store->Cached[&sourceB].push_back({&sourceB, &o, globe.NextMRU(), 400});
      globe.SetCacheCapacity(1);  // 1,024 bytes; 75 % is 768
      globe.UpdateTotalMemoryInUse();
      globe.SetCacheCapacity(0);
    };
    if (drawing) {
      globe.Store->WhileDrawing = load;
      globe.Paint(window);
      globe.Store->WhileDrawing = nullptr;
      EXPECT_THAT(globe.Store->DiscardedMRU, ElementsAre(1, 3, 5, first + 2, first + 1));
      // The recount after the picture keeps to that order.
      globe.Store->DiscardedMRU.clear();
      globe.Store->Cached[&sourceA] = {{&sourceA, &objects[0], 2, 400}};
      TGlobeRoot usedSince;  // after the picture, as a hit test would
      const std::int32_t since = globe.NextMRU();
      globe.Store->Cached[&sourceA].push_back({&sourceA, &usedSince, since, 400});
      globe.SetCacheCapacity(1);
      globe.UpdateTotalMemoryInUse();
      globe.SetCacheCapacity(0);
      EXPECT_THAT(globe.Store->DiscardedMRU, ElementsAre(2, since));
    } else {
      load();
      EXPECT_THAT(globe.Store->DiscardedMRU, ElementsAre(1, 3, 5, first, first + 1));
    }
  }
}

TEST_F(CacheTest, NoLimitNeverDiscards) {
  for (const std::int32_t capacity : {0, -5, 2}) {
    globe.SetCacheCapacity(capacity);
    EXPECT_EQ(globe.UpdateTotalMemoryInUse(), 1200) << capacity;
  }
  globe.SetCacheCapacity(0);
  EXPECT_EQ(globe.CacheUsedDelta(std::numeric_limits<std::int32_t>::max()),
            std::numeric_limits<std::int32_t>::max());  // saturates, never wraps
  EXPECT_EQ(reductions, 0);
  EXPECT_TRUE(globe.Store->DiscardedMRU.empty());
}

TEST_F(CacheTest, AFinishedPaintRecountsTheCache) {
  globe.SetCacheCapacity(0);
  globe.Paint(window);
  EXPECT_EQ(globe.CacheMemoryUsed(), 1200);
  globe.Notify(gnObjectSourceFree, &sourceA);
  globe.Paint(window);
  EXPECT_EQ(globe.CacheMemoryUsed(), 400);
}

}  // namespace
}  // namespace globe::testing
