#include "globe/core/pointstore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "globe/core/units.h"

namespace globe {
namespace {

using ::testing::ElementsAre;
using ::testing::ThrowsMessage;

constexpr std::int32_t D = GU_DEGREE;

std::unique_ptr<TPointStore> Ring(std::initializer_list<TPointLL> points) {
  auto s = std::make_unique<TPointStore>();
  for (const TPointLL& p : points) s->Add(p);
  return s;
}

// Square 0…10° both ways, counter-clockwise.
std::unique_ptr<TPointStore> Square() {
  return Ring({{0, 0}, {10 * D, 0}, {10 * D, 10 * D}, {0, 10 * D}});
}

std::vector<TPointLL> Points(const TPointStore& s) {
  std::vector<TPointLL> out;
  for (std::int32_t i = 0; i < s.Count(); ++i) out.push_back(s.GetLL(i));
  return out;
}
std::vector<TPointLL> Points(const std::unique_ptr<TPointStore>& s) { return Points(*s); }

// ---- Storage ----------------------------------------------------------------------------

TEST(PointStore, NewStoreIsEmptyAndPointsArePacked) {
  TPointStore s;
  EXPECT_EQ(s.Count(), 0);
  EXPECT_EQ(s.ObjectInstanceSize(), static_cast<std::int64_t>(sizeof(TPointStore)));

  EXPECT_EQ(s.Add({1, 2, 3}), 0);
  EXPECT_EQ(s.Add({4, 5, 6}), 1);
  EXPECT_THAT(s.PointData(), ElementsAre(1, 2, 4, 5));  // two int32 a point, height dropped
  EXPECT_EQ(s.GetLL(0), (TPointLL{1, 2, 0}));
  EXPECT_EQ(s.ObjectInstanceSize(), static_cast<std::int64_t>(sizeof(TPointStore)) + 2 * 8);

  s.SetCount(4);  // new points are zero
  EXPECT_THAT(Points(s), ElementsAre(TPointLL{1, 2, 0}, TPointLL{4, 5, 0}, TPointLL{}, TPointLL{}));
}

TEST(PointStore, InsertAndDeleteKeepOrder) {
  const auto s = Ring({{1, 1}, {3, 3}});
  s->Insert(1, {2, 2});
  s->Insert(0, {0, 0});
  s->Insert(4, {4, 4});
  EXPECT_THAT(Points(s), ElementsAre(TPointLL{0, 0}, TPointLL{1, 1}, TPointLL{2, 2}, TPointLL{3, 3},
                                     TPointLL{4, 4}));
  s->Delete(2);
  s->Delete(-1);  // out of range: nothing
  s->Delete(4);
  EXPECT_THAT(Points(s),
              ElementsAre(TPointLL{0, 0}, TPointLL{1, 1}, TPointLL{3, 3}, TPointLL{4, 4}));

  TPointStore empty;
  empty.Delete(0);
  EXPECT_EQ(empty.Count(), 0);
}

TEST(PointStore, InsertNeedsAnArrayAndAnIndexInRange) {
  TPointStore never;
  EXPECT_THAT(
      [&] {
        never.Insert(0, {1, 1});
      },
      ThrowsMessage<EGlobeException>("DynArraySetLength: Invalid Parameter"));
  EXPECT_EQ(never.Count(), 0);

  // Setting Count, even to 0, creates the array; so does a layout switch.
  TPointStore sized;
  sized.SetCount(0);
  sized.Insert(0, {7, 8});
  EXPECT_EQ(sized.GetLL(0), (TPointLL{7, 8, 0}));
  TPointStore switched;
  switched.SetStoreHeight(true);
  switched.Insert(0, {7, 8, 9});
  EXPECT_EQ(switched.GetLL(0), (TPointLL{7, 8, 9}));

  // Emptied by Delete: the array is still there.
  const auto emptied = Ring({{1, 1}});
  emptied->Delete(0);
  emptied->Insert(0, {2, 2});
  EXPECT_EQ(emptied->Count(), 1);

  // An index outside 0 … Count is refused, not moved to outside the array.
  for (std::int32_t bad : {-1, 3}) {
    const auto s = Ring({{1, 1}, {2, 2}});
    EXPECT_THAT(
        [&] {
          s->Insert(bad, {9, 9});
        },
        ThrowsMessage<EGlobeException>("DynArrayInsert: Invalid Parameter"))
        << bad;
    EXPECT_EQ(s->Count(), 2);
  }
  TPointStore negative;
  EXPECT_THAT([&] { negative.SetCount(-1); },
              ThrowsMessage<EGlobeException>("DynArraySetLength: Invalid Parameter"));
}

TEST(PointStore, StoreHeightSwitchKeepsPointsAndDropsOrZeroesHeights) {
  const auto s = Ring({{1, 2}, {3, 4}});
  s->SetStoreHeight(true);
  EXPECT_THAT(s->PointData(), ElementsAre(1, 2, 0, 3, 4, 0));
  s->PutLL(1, {5, 6, 7});
  s->Add({8, 9, 10});
  EXPECT_THAT(Points(s), ElementsAre(TPointLL{1, 2, 0}, TPointLL{5, 6, 7}, TPointLL{8, 9, 10}));
  EXPECT_EQ(s->ObjectInstanceSize(), static_cast<std::int64_t>(sizeof(TPointStore)) + 3 * 12);

  s->SetStoreHeight(false);
  s->SetStoreHeight(true);
  EXPECT_THAT(Points(s), ElementsAre(TPointLL{1, 2, 0}, TPointLL{5, 6, 0}, TPointLL{8, 9, 0}));

  // The encoding markers leave the layout alone; psHeight among the flags switches it.
  s->SetFlags({ps16Bit, psCompressed});
  EXPECT_FALSE(s->StoreHeight());
  EXPECT_THAT(s->PointData(), ElementsAre(1, 2, 5, 6, 8, 9));
  s->SetFlags({psLongCount, psHeight});
  EXPECT_TRUE(s->StoreHeight());
  EXPECT_EQ(s->Flags(), (TPointStoreFlags{psLongCount, psHeight}));
  EXPECT_EQ(s->PointData().size(), 9u);
}

TEST(PointStore, DegreesAndTranslation) {
  TPointStore s;
  s.SetStoreHeight(true);
  s.SetCount(1);
  s.PutDD(0, PointDD(190.0L, -12.5L, 0.5L));  // longitude wraps, height converts as an angle
  EXPECT_EQ(s.GetLL(0), (TPointLL{-170 * D, -67'500'000, 2'700'000}));
  EXPECT_EQ(s.GetDD(0), PointDD(-170.0L, -12.5L, 0.5L));
  EXPECT_EQ(s.Get3D(0), LLHToPoint3D(-170.0 * D, -12.5 * D, 2'700'000));

  s.Translate(20 * D, 1, 2);  // no wrap
  EXPECT_EQ(s.GetLL(0), (TPointLL{-150 * D, -67'499'999, 2'700'002}));
  s.Translate(200 * D, 0, 0);
  EXPECT_EQ(s.GetLL(0).iLongX, 50 * D);

  const auto flat = Ring({{1, 1}});
  flat->Translate(1, 1, 5);
  EXPECT_EQ(flat->GetLL(0), (TPointLL{2, 2, 0}));
}

TEST(PointStore, CloneCopiesPointsAndFlagsButNoCache) {
  const auto s = Ring({{1, 2}, {3, 4}});
  s->SetFlags({ps16Bit, psHeight});
  (void)s->Point3DArray(true);
  std::unique_ptr<TPointStore> c = s->Clone();
  EXPECT_EQ(c->Flags(), s->Flags());
  EXPECT_THAT(c->PointData(), ElementsAre(1, 2, 0, 3, 4, 0));
  EXPECT_EQ(c->ObjectInstanceSize(), static_cast<std::int64_t>(sizeof(TPointStore)) + 2 * 12);
  c->PutLL(0, {9, 9, 9});
  EXPECT_EQ(s->GetLL(0), (TPointLL{1, 2, 0}));

  // A clone of a store that never held points refuses inserts as its source does.
  TPointStore never;
  EXPECT_THROW(never.Clone()->Insert(0, {}), EGlobeException);
}

// ---- 3-D cache --------------------------------------------------------------------------

TEST(PointStore, CachedArrayIsSharedAndAccounted) {
  const auto s = Ring({{0, 0, 0}, {90 * D, 0}, {0, 90 * D}});
  const std::int64_t bare = s->ObjectInstanceSize();

  TPoint3DArray a = s->Point3DArray(true);
  ASSERT_EQ(a->size(), 3u);
  EXPECT_EQ((*a)[1], s->Get3D(1));
  EXPECT_EQ((*a)[0], (TPoint3D{0, 0, GU_EARTH_RADIUS}));
  EXPECT_EQ(s->Point3DArray(true), a);  // re-used, not recomputed
  EXPECT_EQ(s->ObjectInstanceSize(), bare + 3 * 12);

  // Uncached: the cache goes first and the fresh array is not kept.
  TPoint3DArray b = s->Point3DArray(false);
  EXPECT_NE(b, a);
  EXPECT_EQ(*b, *a);
  EXPECT_EQ(s->ObjectInstanceSize(), bare);
  EXPECT_NE(s->Point3DArray(true), b);
}

TEST(PointStore, CacheHeldByCallerSurvivesEveryChange) {
  const std::vector<std::pair<const char*, std::function<void(TPointStore&)>>> changes = {
      {"PutLL",
       [](TPointStore& s) {
         s.PutLL(0, {D, D});
       }},
      {"PutDD", [](TPointStore& s) { s.PutDD(0, PointDD(1, 1, 0)); }},
      {"Add",
       [](TPointStore& s) {
         s.Add({D, D});
       }},
      {"Insert",
       [](TPointStore& s) {
         s.Insert(0, {D, D});
       }},
      {"Delete", [](TPointStore& s) { s.Delete(0); }},
      {"Translate", [](TPointStore& s) { s.Translate(D, D, 0); }},
      {"Count", [](TPointStore& s) { s.SetCount(1); }},
      {"StoreHeight", [](TPointStore& s) { s.SetStoreHeight(true); }},
      {"Refresh", [](TPointStore& s) { s.Refresh(); }},
      {"EditPointData", [](TPointStore& s) { s.EditPointData()[0] = D; }},
  };
  for (const auto& [name, change] : changes) {
    auto s = std::make_unique<TPointStore>();
    s->Add({0, 0});
    s->Add({45 * D, 0});
    const TPoint3DArray held = s->Point3DArray(true);
    const std::vector<TPoint3D> before = *held;

    change(*s);
    EXPECT_EQ(s->ObjectInstanceSize(), static_cast<std::int64_t>(sizeof(TPointStore)) +
                                           s->Count() * 4 * static_cast<int>(s->Stride()))
        << name << ": cache not dropped";
    TPoint3DArray fresh = s->Point3DArray(true);
    EXPECT_NE(fresh, held) << name;
    ASSERT_EQ(fresh->size(), static_cast<std::size_t>(s->Count())) << name;
    for (std::int32_t i = 0; i < s->Count(); ++i) EXPECT_EQ((*fresh)[i], s->Get3D(i)) << name;

    s.reset();  // the store goes; the caller's array stays intact
    EXPECT_EQ(*held, before) << name;
  }
}

// ---- Enclosing rectangle ----------------------------------------------------------------

TEST(PointStore, EnclosingRectangle) {
  struct Case {
    const char* name;
    std::vector<TPointLL> points;
    TMER mer;
  } cases[] = {
      {"empty", {}, MER(0, 0, 0, 0)},
      {"one point", {{3 * D, -4 * D}}, MER(3 * D, -4 * D, 0, 0)},
      {"plain",
       {{-20 * D, 5 * D}, {30 * D, -5 * D}, {10 * D, 15 * D}},
       MER(-20 * D, -5 * D, 50 * D, 20 * D)},
      {"north pole ring",
       {{-170 * D, 80 * D}, {-90 * D, 80 * D}, {0, 80 * D}, {90 * D, 80 * D}, {170 * D, 80 * D}},
       MER(-971'999'999, 80 * D, 1'943'999'998, 0)},
      {"south pole ring, west to east",
       {{170 * D, -70 * D},
        {90 * D, -80 * D},
        {0, -75 * D},
        {-90 * D, -80 * D},
        {-170 * D, -70 * D}},
       MER(-971'999'999, -80 * D, 1'943'999'998, 10 * D)},
      {"across 180",
       {{170 * D, 0}, {-170 * D, 0}, {-170 * D, 10 * D}, {170 * D, 10 * D}},
       MER(170 * D, 0, 20 * D, 10 * D)},
      // Between the outer quadrants only: a wide ring through 0° is not a crossing.
      {"wide through 0",
       {{-170 * D, 0}, {0, 10 * D}, {170 * D, 0}, {0, -10 * D}},
       MER(-170 * D, -10 * D, 340 * D, 20 * D)},
  };
  for (const Case& c : cases) {
    TPointStore s;
    for (const TPointLL& p : c.points) s.Add(p);
    EXPECT_EQ(s.PointStoreMER(), c.mer) << c.name;
    s.SetStoreHeight(true);
    EXPECT_EQ(s.PointStoreMER(), c.mer) << c.name << " with heights";
  }
}

// ---- Centroid ---------------------------------------------------------------------------

TEST(PointStore, CentroidOfFewPoints) {
  Extended area = 99;
  EXPECT_EQ(TPointStore().Centroid(area), (TPointLL{0, 0, 0}));
  EXPECT_EQ(area, 0);
  EXPECT_EQ(Ring({{5, 6, 7}})->Centroid(area), (TPointLL{5, 6, 0}));
  EXPECT_EQ(Ring({{-1, -1}, {0, 0}})->Centroid(area), (TPointLL{0, 0, 0}));  // toward zero
  EXPECT_EQ(Ring({{-3, 4}, {0, 1}})->Centroid(area), (TPointLL{-1, 2, 0}));
  EXPECT_EQ(area, 0);
}

TEST(PointStore, CentroidAreaSignFollowsWinding) {
  Extended ccwArea = 0, cwArea = 0;
  const TPointLL ccw = Square()->Centroid(ccwArea);
  const TPointLL cw = Ring({{0, 10 * D}, {10 * D, 10 * D}, {10 * D, 0}, {0, 0}})->Centroid(cwArea);
  const Extended expected = (10 * D * RADIANS_PER_GU) * (10 * D * RADIANS_PER_GU);
  EXPECT_NEAR(static_cast<double>(ccwArea), static_cast<double>(expected), 1e-12);
  EXPECT_NEAR(static_cast<double>(cwArea), -static_cast<double>(expected), 1e-12);
  for (const TPointLL& c : {ccw, cw}) {
    EXPECT_NEAR(c.iLongX, 5 * D, 1);
    EXPECT_NEAR(c.iLatY, 5 * D, 1);
    EXPECT_EQ(c.iHeightZ, 0);
  }
}

TEST(PointStore, CentroidAcross180KeepsItsSide) {
  struct Case {
    std::int32_t west, east, centre;
  } cases[] = {
      {175 * D, -165 * D, -175 * D},  // centre past 180°: western longitude
      {165 * D, -175 * D, 175 * D},   // centre before 180°: eastern longitude
  };
  for (const Case& c : cases) {
    Extended area = 0;
    const TPointLL centroid =
        Ring({{c.west, 0}, {c.east, 0}, {c.east, 10 * D}, {c.west, 10 * D}})->Centroid(area);
    EXPECT_NEAR(centroid.iLongX, c.centre, 2) << c.west;
    EXPECT_NEAR(centroid.iLatY, 5 * D, 2) << c.west;
    EXPECT_GT(area, 0) << c.west;
  }
}

// ---- Point in polygon, point on polyline ------------------------------------------------

TEST(PointStore, PointInPolygonSquare) {
  const auto square = Square();
  struct Case {
    std::int32_t lon, lat;
    bool inside;
  } cases[] = {
      {5 * D, 5 * D, true},   {15 * D, 5 * D, false},
      {-5 * D, 5 * D, false}, {0, 5 * D, true},  // west edge
      {10 * D, 5 * D, false},                    // east edge
      {5 * D, 0, true},                          // south edge
      {5 * D, 10 * D, false},                    // north edge
  };
  for (const Case& c : cases) {
    EXPECT_EQ(square->PointInPolygon(c.lon, c.lat, 3), c.inside) << c.lon << "," << c.lat;
  }
  EXPECT_FALSE(TPointStore().PointInPolygon(0, 0, 3));

  // A sloped edge is interpolated: triangle (0,0) (10,0) (0,10), hypotenuse x + y = 10°.
  const auto tri = Ring({{0, 0}, {10 * D, 0}, {0, 10 * D}});
  EXPECT_TRUE(tri->PointInPolygon(4 * D, 5 * D, 3));
  EXPECT_FALSE(tri->PointInPolygon(6 * D, 5 * D, 3));
}

TEST(PointStore, PointInPolygonZonesOfARingSplitAt180) {
  // 170°E … 170°W, 0 … 10°N, with its edge running along both sides of 180°.
  const auto ring = Ring({{170 * D, 0},
                          {GU_180_DEGREE, 0},
                          {-GU_180_DEGREE, 0},
                          {-170 * D, 0},
                          {-170 * D, 10 * D},
                          {-GU_180_DEGREE, 10 * D},
                          {GU_180_DEGREE, 10 * D},
                          {170 * D, 10 * D}});
  struct Case {
    std::int32_t lon, zone;
    bool inside;
  } cases[] = {
      {175 * D, 2, true},
      {-175 * D, 1, true},
      {175 * D, 1, false},
      {165 * D, 2, false},
      {-165 * D, 1, false},
      // Without the zone the ray test sees the ring as spanning the world the other way.
      {175 * D, 3, false},
      {-175 * D, 3, false},
      {0, 3, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ring->PointInPolygon(c.lon, 5 * D, c.zone), c.inside)
        << c.lon / D << "° zone " << c.zone;
  }
}

TEST(PointStore, PointOnPolyline) {
  EXPECT_FALSE(Ring({{0, 0}})->PointOnPolyline(0, 0, 100));
  const auto seg = Ring({{0, 0}, {10 * D, 0}});
  EXPECT_TRUE(seg->PointOnPolyline(5 * D, 0, 1));
  EXPECT_FALSE(seg->PointOnPolyline(5 * D, 0, 0));  // strictly closer than the tolerance
  EXPECT_TRUE(seg->PointOnPolyline(5 * D, 99, 100));
  EXPECT_FALSE(seg->PointOnPolyline(11 * D, 0, 100));  // beyond the segment's end

  // An open line: no segment from the last point back to the first.
  const auto line = Ring({{0, 0}, {10 * D, 0}, {10 * D, 10 * D}});
  EXPECT_TRUE(line->PointOnPolyline(10 * D, 5 * D, 1));
  EXPECT_FALSE(line->PointOnPolyline(5 * D, 5 * D, 1));
}

// ---- Chain store ------------------------------------------------------------------------

// Counts destructions, to show which chains the store frees.
class TCountedStore : public TPointStore {
 public:
  TCountedStore(int* Destroyed, std::int32_t Tag) : destroyed_(Destroyed) { Add({Tag, 0}); }
  ~TCountedStore() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

std::vector<std::int32_t> Tags(const TChainStore& cs) {
  std::vector<std::int32_t> tags;
  for (std::int32_t i = 0; i < cs.Count(); ++i) {
    const TPointStore* c = cs.FindChain(i);
    tags.push_back(c == nullptr ? -1 : c->Count() == 0 ? 0 : c->GetLL(0).iLongX);
  }
  return tags;
}

TEST(ChainStore, ReadingGrowsTheStore) {
  TChainStore cs;
  EXPECT_EQ(cs.Count(), 0);
  TPointStore& five = cs.GetChain(5);
  EXPECT_EQ(cs.Count(), 6);
  EXPECT_EQ(five.Count(), 0);
  EXPECT_EQ(cs.FindChain(5), &five);
  for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(cs.FindChain(i), nullptr) << i;
  EXPECT_EQ(&cs.GetChain(5), &five);  // read again: the same chain
  EXPECT_EQ(cs.FindChain(6), nullptr);
  EXPECT_EQ(cs.Count(), 6);
  EXPECT_THAT([&] { (void)cs.GetChain(-1); },
              ThrowsMessage<EGlobeException>("TChainStore: Invalid chain index -1"));
}

// ---- Long straight runs ------------------------------------------------------------------

// The points a tool puts on the straight edge from A to B (degrees) to densify it in the
// plane: Steps pieces, each point rounded to GU on its own, both ends included.
std::vector<TPointLL> Densified(double LongA, double LatA, double LongB, double LatB, int Steps) {
  std::vector<TPointLL> out;
  for (int k = 0; k <= Steps; ++k) {
    const double t = static_cast<double>(k) / Steps;
    out.push_back({DegToGU(LongA + (LongB - LongA) * t), DegToGU(LatA + (LatB - LatA) * t), 0});
  }
  return out;
}

TEST(PointStore, LongStraightRunsBecomeTheEdgeBetweenTheirEnds) {
  struct TCase {
    const char* Name;
    std::vector<std::vector<TPointLL>> Pieces;  // joined end to start
    bool Long;
    std::vector<TPointLL> Without;  // the points CopyWithoutLongRuns leaves
  };
  const std::int32_t Z = DegToGU(68.96), N = DegToGU(69.05);
  // A zigzag across the whole map: every step changes direction.
  std::vector<TPointLL> zigzag;
  for (int k = 0; k <= 360; ++k) zigzag.push_back({(k - 180) * D, (k % 2) * D / 2, 0});
  const auto Joined = [](std::initializer_list<std::vector<TPointLL>> Pieces) {
    std::vector<TPointLL> out;
    for (const auto& piece : Pieces)
      for (const TPointLL& p : piece)
        if (out.empty() || !(out.back() == p)) out.push_back(p);
    return out;
  };
  const auto down = Densified(180, -85, 180, -90, 500), up = Densified(-180, -90, -180, -85, 500);
  const std::vector<TCase> cases = {
      {"a ring across 180°, both its edges there made points the long way round",
       {{{170 * D, 60 * D, 0}},
        Densified(178, 69.05, -180, 68.96, 35800),
        {{-175 * D, 66 * D, 0}},
        Densified(-180, 64.98, 179.99, 64.97, 35999),
        {{170 * D, 60 * D, 0}}},
       true,
       {{170 * D, 60 * D, 0},
        {178 * D, N, 0},
        {-180 * D, Z, 0},
        {-175 * D, 66 * D, 0},
        {-180 * D, DegToGU(64.98), 0},
        {DegToGU(179.99), DegToGU(64.97), 0},
        {170 * D, 60 * D, 0}}},
      {"a coast closed along its own parallel the long way round",
       {Densified(-180, -70, 0, -65, 1800), Densified(0, -65, 180, -70, 1800),
        Densified(180, -70, -180, -70, 36000)},
       true,
       Joined({Densified(-180, -70, 0, -65, 1800),
               Densified(0, -65, 180, -70, 1800),
               {{-180 * D, -70 * D, 0}}})},
      {"the edge along the pole, 36,000 points at 90° S, between meridians",
       {down, Densified(180, -90, -180, -90, 36000), up},
       false,
       {}},
      {"a parallel round the pole from 170° W, wrapped at 180°",
       {Densified(-170, 70, 180, 70, 3500), Densified(-180, 70, -170, 70, 100)},
       false,
       {}},
      {"a parallel round the pole from 180° W to 180° E, closed across 180°",
       {Densified(-180, 70, 180, 70, 3600)},
       false,
       {}},
      {"two long runs meeting at a corner",
       {Densified(180, 0, -180, 0, 3600), Densified(-180, 0, 180, 1, 3600)},
       true,
       {{180 * D, 0, 0}, {-180 * D, 0, 0}, {180 * D, D, 0}}},
      {"a run of 170° is an edge of its own length", {Densified(-90, 10, 80, 10, 1700)}, false, {}},
      {"a coast that zigzags round the earth", {zigzag}, false, {}},
      {"the equator in steps of 30°, 130° and 50°: an edge each, not densified",
       {{{-60 * D, 0, 0}, {-30 * D, 0, 0}, {100 * D, 0, 0}, {150 * D, 0, 0}}},
       false,
       {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPointStore chain;
    for (const auto& piece : c.Pieces)
      for (const TPointLL& p : piece)
        if (chain.Count() == 0 || !(chain.GetLL(chain.Count() - 1) == p)) chain.Add(p);
    EXPECT_EQ(chain.HasLongRuns(), c.Long);
    TPointStore without;
    chain.CopyWithoutLongRuns(without);
    EXPECT_EQ(Points(without), c.Long ? c.Without : Points(chain));
    EXPECT_EQ(without.Count(),
              c.Long ? static_cast<std::int32_t>(c.Without.size()) : chain.Count());
  }
}

TEST(PointStore, LongRunsFollowThePointsAndKeepHeights) {
  // Two parallels 1° apart, each the long way round, joined into a ring.
  TPointStore chain;
  chain.SetStoreHeight(true);
  for (const auto& run : {Densified(179, 50, -179, 50, 3580), Densified(-179, 51, 179, 51, 3580)})
    for (const TPointLL& p : run) chain.Add({p.iLongX, p.iLatY, 7});
  EXPECT_TRUE(chain.HasLongRuns());
  TPointStore without;
  chain.CopyWithoutLongRuns(without);
  EXPECT_TRUE(without.StoreHeight());
  EXPECT_THAT(Points(without),
              ElementsAre(TPointLL{179 * D, 50 * D, 7}, TPointLL{-179 * D, 50 * D, 7},
                          TPointLL{-179 * D, 51 * D, 7}, TPointLL{179 * D, 51 * D, 7}));
  // A point moved off the first parallel cuts it into runs too short to leave out.
  chain.PutLL(1790, PointLLH(0, 52 * D, 7));
  EXPECT_TRUE(chain.HasLongRuns());
  chain.CopyWithoutLongRuns(without);
  EXPECT_EQ(without.Count(), 3581 + 2);
  // A point across 180° from its neighbour: the edges go the short way, the runs are meant.
  chain.PutLL(0, PointLLH(-179 * D, 50 * D, 7));
  chain.PutLL(1, PointLLH(179 * D, 50 * D, 7));
  EXPECT_FALSE(chain.HasLongRuns());
}

TEST(ChainStore, OwnershipAndOrder) {
  int destroyed = 0;
  auto counted = [&](std::int32_t tag) { return std::make_unique<TCountedStore>(&destroyed, tag); };
  {
    TChainStore cs;
    cs.Add(counted(1));
    cs.Add(counted(2));
    cs.Insert(0, counted(3));
    cs.Insert(3, counted(4));
    EXPECT_THAT(Tags(cs), ElementsAre(3, 1, 2, 4));
    EXPECT_THAT([&] { cs.Insert(5, counted(9)); },
                ThrowsMessage<EGlobeException>("DynArrayInsert: Invalid Parameter"));
    EXPECT_EQ(destroyed, 1);  // the refused store is not leaked

    cs.Move(0, 3);
    EXPECT_THAT(Tags(cs), ElementsAre(1, 2, 4, 3));
    cs.Move(3, 1);
    EXPECT_THAT(Tags(cs), ElementsAre(1, 3, 2, 4));
    for (auto [from, to] : {std::pair{0, 4}, std::pair{-1, 0}, std::pair{2, 2}}) cs.Move(from, to);
    EXPECT_THAT(Tags(cs), ElementsAre(1, 3, 2, 4));

    cs.SetChain(1, counted(5));  // replaces and frees the old chain
    EXPECT_EQ(destroyed, 2);
    cs.Delete(0);
    cs.Delete(7);
    EXPECT_EQ(destroyed, 3);
    EXPECT_THAT(Tags(cs), ElementsAre(5, 2, 4));

    // Writing past the end grows the store instead of writing outside it.
    cs.SetChain(5, counted(6));
    EXPECT_THAT(Tags(cs), ElementsAre(5, 2, 4, -1, -1, 6));
    cs.SetChain(4, nullptr);
    cs.SetCount(2);  // frees the chains at 2 and above
    EXPECT_EQ(destroyed, 5);
    EXPECT_THAT([&] { cs.SetCount(-1); },
                ThrowsMessage<EGlobeException>("DynArraySetLength: Invalid Parameter"));
  }
  EXPECT_EQ(destroyed, 7);  // the rest go with the store
}

TEST(ChainStore, StoreHeightReachesEveryChain) {
  TChainStore cs;
  cs.GetChain(0).Add({1, 2});
  cs.SetCount(3);
  cs.SetStoreHeight(true);
  for (std::int32_t i = 0; i < 3; ++i) {
    ASSERT_NE(cs.FindChain(i), nullptr) << i;  // empty slots get a chain
    EXPECT_TRUE(cs.FindChain(i)->StoreHeight()) << i;
  }
  EXPECT_EQ(cs.FindChain(0)->GetLL(0), (TPointLL{1, 2, 0}));
  EXPECT_TRUE(cs.GetChain(4).StoreHeight());
  // A new chain of a height store has its array already and takes inserts.
  cs.GetChain(4).Insert(0, {1, 1, 1});

  cs.SetStoreHeight(false);
  EXPECT_FALSE(cs.GetChain(7).StoreHeight());
  EXPECT_FALSE(cs.FindChain(4)->StoreHeight());
}

TEST(ChainStore, CloneIsDeep) {
  TChainStore cs;
  cs.SetStoreHeight(true);
  cs.GetChain(0).Add({1, 2, 3});
  cs.SetCount(2);
  std::unique_ptr<TChainStore> c = cs.Clone();
  EXPECT_TRUE(c->StoreHeight());
  EXPECT_THAT(Tags(*c), ElementsAre(1, -1));
  ASSERT_NE(c->FindChain(0), cs.FindChain(0));
  c->GetChain(0).PutLL(0, {7, 7, 7});
  EXPECT_EQ(cs.FindChain(0)->GetLL(0), (TPointLL{1, 2, 3}));
}

TEST(ChainStore, CentroidWeighsChainsByArea) {
  auto square = [](std::int32_t w, std::int32_t s, std::int32_t size, bool ccw) {
    auto p = std::make_unique<TPointStore>();
    const TPointLL corners[] = {{w, s}, {w + size, s}, {w + size, s + size}, {w, s + size}};
    for (int i = 0; i < 4; ++i) p->Add(corners[ccw ? i : 3 - i]);
    return p;
  };
  TChainStore none;
  EXPECT_EQ(none.Centroid(), (TPointLL{}));

  TChainStore one;
  one.Add(square(10 * D, 20 * D, 2 * D, false));
  EXPECT_NEAR(one.Centroid().iLongX, 11 * D, 1);

  // Outer 0…12° and a hole 8…12° × 0…4° wound the other way: the hole pulls the centroid
  // away from it. Areas 144 and −16: x = (6·144 − 10·16) / 128 = 5.5°.
  TChainStore holed;
  holed.Add(square(0, 0, 12 * D, true));
  holed.Add(square(8 * D, 0, 4 * D, false));
  EXPECT_NEAR(holed.Centroid().iLongX, 5.5 * D, 2);
  EXPECT_NEAR(holed.Centroid().iLatY, 6.5 * D, 2);

  // Equal rings wound opposite ways sum to rounding noise, not a usable area; they and chains
  // without area give the plain mean (an empty slot does not count).
  TChainStore cancelling;
  cancelling.Add(square(1'234'567, 2'345'678, 3 * D, true));
  cancelling.Add(square(50 * D + 1'234'567, 7'654'321, 3 * D, false));
  cancelling.SetCount(3);
  EXPECT_NEAR(cancelling.Centroid().iLongX, 26.5 * D + 1'234'567, 2);
  TChainStore multipoint;
  multipoint.GetChain(0).Add({2 * D, 4 * D});
  multipoint.GetChain(1).Add({4 * D, 8 * D});
  EXPECT_EQ(multipoint.Centroid(), (TPointLL{3 * D, 6 * D, 0}));
}

TEST(ChainStore, EnclosingRectangleUnitesChains) {
  TChainStore none;
  EXPECT_EQ(none.ChainStoreMER(), MER(0, 0, 0, 0));

  TChainStore cs;
  cs.GetChain(0);  // chain 0 empty: the others alone count
  cs.GetChain(1).Add({10 * D, 0});
  cs.GetChain(1).Add({20 * D, 5 * D});
  cs.SetCount(3);  // empty slot skipped
  cs.GetChain(3).Add({-30 * D, -5 * D});
  cs.GetChain(3).Add({-25 * D, 0});
  EXPECT_EQ(cs.ChainStoreMER(), MER(-30 * D, -5 * D, 50 * D, 10 * D));

  // Two islands either side of 180°: the union runs east across it.
  TChainStore islands;
  islands.GetChain(0).Add({170 * D, 0});
  islands.GetChain(0).Add({175 * D, 1 * D});
  islands.GetChain(1).Add({-178 * D, 0});
  islands.GetChain(1).Add({-175 * D, 1 * D});
  EXPECT_EQ(islands.ChainStoreMER(), MER(170 * D, 0, 15 * D, 1 * D));
}

}  // namespace
}  // namespace globe
