// The common object: its record, its setters and how they reach the source and its layers,
// assignment and cloning, the rectangle hit codes and the class registry.
#include "globe/objects/object.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "globe/formats/propertystream.h"
#include "globe/formats/stream.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layer.h"
#include "globe/objects/source.h"
#include "tests/objects/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;
using TBytes = std::vector<std::uint8_t>;

/// The record an object writes.
TBytes RecordOf(TGlobeObject& Obj) {
  TGlobeStreamWriter writer(std::make_unique<TGlobeMemoryStream>());
  Obj.WriteProperties(writer);
  return static_cast<TGlobeMemoryStream&>(writer.DataStream()).Bytes();
}

/// Reads Bytes into Obj; returns whether the data ran out.
bool ReadInto(TGlobeObject& Obj, const TBytes& Bytes) {
  TGlobeMemoryView view(Bytes);
  TGlobeStreamReader reader(view);
  Obj.ReadProperties(reader);
  return reader.Truncated();
}

/// A layer that records what its source tells it; the globe's layer store owns it.
class TListeningLayer : public TGlobeLayer {
 public:
  using TGlobeLayer::TGlobeLayer;
  void Notify(TObjectSourceNotification Notification, TGlobeObject* Obj) override {
    received.emplace_back(Notification, Obj);
    if (Obj != nullptr) classes.emplace_back(Obj->ClassName());
    TGlobeLayer::Notify(Notification, Obj);
  }
  std::vector<std::pair<TObjectSourceNotification, TGlobeObject*>> received;
  /// The class of each object as the notification found it.
  std::vector<std::string> classes;
};

// Object classes of a program built on the component: one registered, one not, and one
// that does not declare its class at all.
class TCityObject : public TGeoDataObject {
  GLOBE_CLASS(TCityObject, TGeoDataObject)
 public:
  using TGeoDataObject::TGeoDataObject;
  void FixupReferences() override { ++fixups; }
  int fixups = 0;
};

class TChartObject : public TBitmapObject {
  GLOBE_CLASS(TChartObject, TBitmapObject)
 public:
  using TBitmapObject::TBitmapObject;
};

class TUndeclaredObject : public TGeoDataObject {
 public:
  using TGeoDataObject::TGeoDataObject;
};

/// An object with a rectangle of its own, for the hit codes.
class TBoxObject : public TGlobeObject {
 public:
  explicit TBoxObject(TMER Box) : TGlobeObject(nullptr), box(Box) {}
  TMER GetObjectMER() override { return box; }
  TMER box;
};

class ObjectTest : public ObjectsTest {
 protected:
  ObjectTest() {
    RegisterGlobeObjects();
    source = std::make_unique<TGlobeObjectSource>(&globe);
    layer = std::make_unique<TListeningLayer>(&globe).release();  // the layer store owns it
    layer->SetObjects(source.get());
  }
  ~ObjectTest() override { source.reset(); }  // detaches the layer

  TGeoDataObject& NewObject() { return *MakeGlobeObject<TGeoDataObject>(source.get()); }

  std::unique_ptr<TGlobeObjectSource> source;
  TListeningLayer* layer;
};

// ---- The record -------------------------------------------------------------------------

TEST_F(ObjectTest, AnEmptyObjectWritesFlagsAndPresenterOnly) {
  TGlobeObject obj(nullptr);
  EXPECT_EQ(RecordOf(obj), (TBytes{0, 0, 0, 0}));
}

TEST_F(ObjectTest, RecordFieldsInOrderWithTheGUIDBeforeTheZoomRange) {
  TGlobeObject obj(nullptr);
  obj.SetTitle("Köln");  // stored in the single-byte code page
  obj.SetID(7);
  obj.SetGUID("{g}");
  obj.SetZoomMin(1);
  obj.SetZoomMax(258);
  obj.SetClosed(true);
  obj.SetPresenterID(40000);  // only the low 16 bits are stored
  const TBytes expected{
      0x83, 0x09,                  // ofTitle, ofID, ofZoomMinMax, ofClosed, ofGUID
      4,    'K',  0xF6, 'l', 'n',  // title
      7,    0,    0,    0,         // ID
      3,    '{',  'g',  '}',       // GUID
      1,    0,    0,    0,         // zoom min
      2,    1,    0,    0,         // zoom max
      0x40, 0x9C,                  // presenter ID 40000 as a SmallInt
  };
  EXPECT_EQ(RecordOf(obj), expected);

  TGlobeObject back(nullptr);
  EXPECT_FALSE(ReadInto(back, expected));
  EXPECT_EQ(back.Title(), "Köln");
  EXPECT_EQ(back.ID(), 7);
  EXPECT_EQ(back.GUID(), "{g}");
  EXPECT_EQ(back.ZoomMin(), 1);
  EXPECT_EQ(back.ZoomMax(), 258);
  EXPECT_TRUE(back.Closed());
  EXPECT_EQ(back.PresenterID(), -25536);
  EXPECT_EQ(back.ObjectFlags.ToBits(), 0x0983);
}

TEST_F(ObjectTest, WritingOnlyAddsFlagsAndReadingOnlyAddsClosed) {
  // A flag read earlier stays set, and its (now empty) field is written with it.
  TGlobeObject obj(nullptr);
  ASSERT_FALSE(ReadInto(obj, {0x01, 0x00, 1, 'x', 0, 0}));
  obj.SetTitle("");
  EXPECT_EQ(RecordOf(obj), (TBytes{0x01, 0x00, 0, 0, 0}));

  // A record without ofClosed does not open a closed object.
  obj.SetClosed(true);
  ASSERT_FALSE(ReadInto(obj, {0, 0, 0, 0}));
  EXPECT_TRUE(obj.Closed());
  EXPECT_TRUE(obj.ObjectFlags.Empty());
}

TEST_F(ObjectTest, ATruncatedRecordKeepsWhatWasRead) {
  TGlobeObject obj(nullptr);
  EXPECT_TRUE(ReadInto(obj, {0x02, 0x00, 9, 0}));  // ofID, then half an Integer
  EXPECT_EQ(obj.ID(), 9);
  EXPECT_EQ(obj.PresenterID(), 0);
}

// ---- Setters, the source and its layers ---------------------------------------------------

TEST_F(ObjectTest, ANewObjectJoinsItsParentAndLeavesItWhenFreed) {
  TGeoDataObject& a = NewObject();
  TGeoDataObject& b = NewObject();
  EXPECT_EQ(source->Count(), 2);
  EXPECT_EQ(b.Index(), 1);
  EXPECT_EQ(b.Parent(), source.get());
  EXPECT_EQ(b.Globe(), &globe);
  EXPECT_EQ(b.Centroid(), (TPointLL{0, 0, 0}));  // no geometry yet

  layer->received.clear();
  b.SetSelected(true);
  layer->received.clear();
  delete &a;  // owned by the source; freeing it takes it out
  EXPECT_EQ(source->Count(), 1);
  EXPECT_EQ(b.Index(), 0);
  EXPECT_THAT(layer->received, ElementsAre(Pair(osnDelete, &a)));
  EXPECT_EQ(source->LoadedObject(0), &b);
}

TEST_F(ObjectTest, FreeingAnObjectUncountsItsWholeSize) {
  // The source takes the instance size off the cache counter while the object leaves; the
  // geometry must still be there to be counted.
  TGeoDataObject& obj = NewObject();
  auto chain = std::make_unique<TPointStore>();
  chain->SetCount(10'000);
  obj.Chains().SetChain(0, std::move(chain));
  const std::int64_t size = obj.ObjectInstanceSize();
  EXPECT_GT(size, 80'000);
  const std::int32_t before = globe.CacheMemoryUsed();
  delete &obj;
  EXPECT_EQ(globe.CacheMemoryUsed(), before - size);
}

TEST_F(ObjectTest, SelectedReachesTheSourceAndTheLayersOnce) {
  TGeoDataObject& obj = NewObject();
  layer->received.clear();

  obj.SetSelected(true);
  EXPECT_TRUE(source->GetState(obj.Index()).Contains(osSelected));
  EXPECT_THAT(layer->received, ElementsAre(Pair(osnSelectedChanged, &obj), Pair(osnRedraw, &obj)));

  layer->received.clear();
  obj.SetSelected(true);  // unchanged: nothing
  EXPECT_TRUE(layer->received.empty());

  obj.SetSelected(false);
  EXPECT_FALSE(source->GetState(obj.Index()).Contains(osSelected));
  EXPECT_THAT(layer->received, ElementsAre(Pair(osnSelectedChanged, &obj), Pair(osnRedraw, &obj)));
}

TEST_F(ObjectTest, ClosedHiddenAndPresenterIDRedrawOnlyWhenChanged) {
  TGeoDataObject& obj = NewObject();
  struct Case {
    const char* name;
    void (*change)(TGlobeObject&);
  };
  const Case cases[] = {
      {"Closed", [](TGlobeObject& o) { o.SetClosed(!o.Closed()); }},
      {"Hidden", [](TGlobeObject& o) { o.SetHidden(!o.Hidden()); }},
      {"PresenterID", [](TGlobeObject& o) { o.SetPresenterID(o.PresenterID() + 1); }},
  };
  for (const Case& c : cases) {
    layer->received.clear();
    obj.ObjectState.Exclude(osRedraw);
    c.change(obj);
    EXPECT_THAT(layer->received, ElementsAre(Pair(osnRedraw, &obj))) << c.name;
    EXPECT_TRUE(obj.ObjectState.Contains(osRedraw)) << c.name;
  }
  EXPECT_TRUE(source->GetState(0).Contains(osClosed));
  EXPECT_TRUE(source->GetState(0).Contains(osHidden));
  EXPECT_EQ(source->GetPresenterID(0), 1);

  layer->received.clear();
  obj.SetClosed(true);
  obj.SetHidden(true);
  obj.SetPresenterID(1);
  EXPECT_TRUE(layer->received.empty());

  // Through the source: the entry is the object itself.
  source->SetPresenterID(0, 5);
  EXPECT_EQ(obj.PresenterID(), 5);
  EXPECT_THAT(layer->received, ElementsAre(Pair(osnRedraw, &obj)));
}

TEST_F(ObjectTest, AnObjectWithoutParentOnlyChangesItself) {
  TGeoDataObject obj(nullptr);
  obj.SetSelected(true);
  obj.SetClosed(true);
  obj.SetPresenterID(3);
  EXPECT_TRUE(obj.Selected());
  EXPECT_TRUE(obj.Closed());
  EXPECT_EQ(obj.PresenterID(), 3);
  EXPECT_EQ(obj.Globe(), nullptr);

  obj.ObjectState.Include(osValidMER);
  obj.SetCentroid(Deg(1, 2));  // no projection to compare on: taken as a visible move
  EXPECT_EQ(obj.Centroid(), Deg(1, 2));
  EXPECT_FALSE(obj.ObjectState.Contains(osValidMER));
}

TEST_F(ObjectTest, CentroidMovesWithinAPixelDoNotRedraw) {
  FlatMap();  // one pixel per degree
  TGlobeObject& obj = *MakeGlobeObject<TGlobeObject>(source.get());
  obj.SetCentroid(Deg(10, 10));
  obj.ObjectState.Include(osValidMER);
  layer->received.clear();

  obj.SetCentroid({Deg(10, 10).iLongX + 1000, Deg(10, 10).iLatY, 0});
  EXPECT_TRUE(layer->received.empty());
  // The rectangle goes all the same: moves within a pixel add up.
  EXPECT_FALSE(obj.ObjectState.Contains(osValidMER));

  obj.SetCentroid(Deg(20, 10));
  EXPECT_THAT(layer->received, ElementsAre(Pair(osnRedraw, &obj)));
  EXPECT_EQ(obj.GetObjectMER(), MER(Deg(20, 10).iLongX, Deg(20, 10).iLatY, 0, 0));
}

TEST_F(ObjectTest, SetParentMovesTheObjectBetweenSources) {
  TGeoDataObject& obj = NewObject();
  auto other = std::make_unique<TGlobeObjectSource>(&globe);
  obj.SetParent(other.get());
  EXPECT_EQ(source->Count(), 0);
  EXPECT_EQ(other->Count(), 1);
  EXPECT_EQ(other->LoadedObject(0), &obj);
  EXPECT_EQ(obj.Parent(), other.get());

  // Cut loose, the caller owns it; freeing it reaches no source.
  obj.SetParent(nullptr);
  std::unique_ptr<TGlobeObject> owned(&obj);
  EXPECT_EQ(other->Count(), 0);
  owned.reset();
  EXPECT_EQ(other->Count(), 0);
}

// ---- Assign and Clone ---------------------------------------------------------------------

TEST_F(ObjectTest, AssignFromARecordCopiesTheRecordFields) {
  TGlobeObjectData record;
  TGlobeObjectData user;
  record.ObjectState = TGlobeObjectStateSet{osClosed, osValidMER};
  record.ObjectFlags = TGlobeObjectFlagSet{ofTitle};
  record.FiIndex = 4;
  record.FObjectMER = {1, 2, 3, 4};
  record.FPresenterID = 9;
  record.SetUserObject(&user);
  record.SetValue(2.5);

  TGlobeObject obj(nullptr);
  obj.Assign(record);
  EXPECT_EQ(obj.ObjectState, record.ObjectState);
  EXPECT_EQ(obj.ObjectFlags, record.ObjectFlags);
  EXPECT_EQ(obj.Index(), 4);
  EXPECT_EQ(obj.FObjectMER, (TMER{1, 2, 3, 4}));
  EXPECT_EQ(obj.PresenterID(), 9);
  EXPECT_EQ(obj.UserObject(), &user);
  EXPECT_EQ(obj.Value(), 2.5);
}

TEST_F(ObjectTest, CloneJoinsTheSameSourceWithoutTheGUID) {
  TGeoDataObject& obj = NewObject();
  obj.Chains().SetChain(0, Chain({Deg(0, 0), Deg(1, 1), Deg(2, 0)}));
  obj.SetTitle("t");
  obj.SetID(3);
  obj.SetGUID("{guid}");
  obj.SetZoomMin(1);
  obj.SetZoomMax(2);
  obj.SetPresenterID(4);
  obj.SetClosed(true);
  obj.SetSelected(true);
  obj.SetValue(7);
  layer->received.clear();

  auto* clone = static_cast<TGeoDataObject*>(obj.Clone());
  ASSERT_EQ(source->Count(), 2);
  EXPECT_EQ(source->LoadedObject(1), clone);
  EXPECT_EQ(clone->ClassType().ClassName(), "TGeoDataObject");
  EXPECT_EQ(clone->Title(), "t");
  EXPECT_EQ(clone->ID(), 3);
  EXPECT_EQ(clone->GUID(), "");
  EXPECT_EQ(clone->ZoomMin(), 1);
  EXPECT_EQ(clone->ZoomMax(), 2);
  EXPECT_EQ(clone->PresenterID(), 4);
  EXPECT_TRUE(clone->Closed());
  EXPECT_TRUE(clone->Selected());
  EXPECT_TRUE(source->GetState(1).Contains(osSelected));
  EXPECT_EQ(clone->Value(), 0);
  EXPECT_EQ(clone->Centroid(), obj.Centroid());
  EXPECT_EQ(layer->received.front(), std::make_pair(osnAdd, static_cast<TGlobeObject*>(clone)));

  // The geometry is a copy of its own.
  clone->Chains().GetChain(0).PutLL(0, Deg(5, 5));
  EXPECT_EQ(obj.Chains().GetChain(0).GetLL(0), Deg(0, 0));

  // Without a parent the caller owns the clone.
  TGeoDataObject loose(nullptr);
  loose.SetTitle("loose");
  std::unique_ptr<TGlobeObject> looseClone(loose.Clone());
  EXPECT_EQ(looseClone->Parent(), nullptr);
  EXPECT_EQ(looseClone->Title(), "loose");
  EXPECT_EQ(source->Count(), 2);
}

TEST_F(ObjectTest, ACloneIsOfTheOriginalsOwnClassRegisteredOrNot) {
  RegisterGlobeClass<TCityObject>();
  std::vector<TGlobeObject*> originals{
      MakeGlobeObject<TGeoDataObject>(source.get()), MakeGlobeObject<TBitmapObject>(source.get()),
      MakeGlobeObject<TCityObject>(source.get()), MakeGlobeObject<TChartObject>(source.get())};
  for (TGlobeObject* original : originals) {
    SCOPED_TRACE(original->ClassName());
    original->SetTitle("copied");
    const std::int32_t count = source->Count();
    TGlobeObject* clone = original->Clone();
    EXPECT_EQ(&clone->ClassType(), &original->ClassType());
    EXPECT_EQ(typeid(*clone), typeid(*original));
    EXPECT_EQ(clone->Title(), "copied");
    EXPECT_EQ(source->Count(), count + 1);
    EXPECT_EQ(source->LoadedObject(count), clone);
  }

  // A class without a descriptor of its own would be copied as its base: refused, and the
  // source is left as it was.
  auto undeclared = std::make_unique<TUndeclaredObject>(nullptr);
  EXPECT_THAT([&] { delete undeclared->Clone(); },
              ::testing::ThrowsMessage<EGlobeException>(::testing::AllOf(
                  ::testing::StartsWith("TGeoDataObject descendant "),
                  ::testing::HasSubstr("TUndeclaredObject does not declare its class"))));
}

// The source adds a new object, tells its layers and fixes its references only once the
// whole object exists; before, they saw a TGlobeObject and the subclass's fix-up never ran.
TEST_F(ObjectTest, ANewObjectJoinsItsSourceOnceComplete) {
  layer->received.clear();
  TCityObject* city = MakeGlobeObject<TCityObject>(source.get());
  EXPECT_EQ(city->fixups, 1);
  EXPECT_THAT(layer->received, ElementsAre(Pair(osnAdd, city)));
  EXPECT_THAT(layer->classes, ElementsAre("TCityObject"));
  EXPECT_EQ(source->LoadedObject(0), city);

  layer->classes.clear();
  auto* clone = static_cast<TCityObject*>(city->Clone());
  EXPECT_EQ(clone->fixups, 1);
  ASSERT_FALSE(layer->classes.empty());
  EXPECT_EQ(layer->classes.front(), "TCityObject");

  // An object made directly knows its parent but is the maker's until it is added.
  auto made = std::make_unique<TCityObject>(source.get());
  EXPECT_EQ(made->Parent(), source.get());
  EXPECT_EQ(made->Index(), -1);
  EXPECT_EQ(source->Count(), 2);
  made.reset();
  EXPECT_EQ(source->Count(), 2);
}

// ---- Rectangle hit codes ------------------------------------------------------------------

TEST_F(ObjectTest, RectangleHitCodes) {
  struct Case {
    TMER box;
    TPointLL pt;
    std::int32_t tolerance;
    std::int32_t code;
  };
  const TMER box{10 * D, 20 * D, 5 * D, 5 * D};
  const TMER seam{170 * D, 0, 20 * D, 10 * D};  // from 170°E across 180° to 170°W
  const Case cases[] = {
      {box, Deg(12, 22), 0, 3},
      {box, Deg(10, 20), 0, 3},              // south-west corner inside
      {box, Deg(12, 25), 0, 0},              // north edge excluded
      {box, Deg(15, 22), 0, 0},              // east edge excluded
      {box, {10 * D - 1, 22 * D, 0}, 0, 0},  // just west
      {box, {10 * D - 1, 22 * D, 0}, 1, 3},  // reached by the tolerance
      {box, Deg(12, 25), 1, 3},
      {seam, Deg(175, 5), 0, 2},
      {seam, Deg(-175, 5), 0, 1},
      {seam, Deg(0, 5), 0, 0},
      {seam, Deg(-170, 5), 0, 0},  // the wrapped east edge is excluded too
      {seam, Deg(175, 10), 0, 0},
  };
  for (const Case& c : cases) {
    TBoxObject obj(c.box);
    EXPECT_EQ(obj.LLInObjectMER(c.pt, c.tolerance), c.code)
        << "case " << (&c - cases) << " at " << c.pt.iLongX << ", " << c.pt.iLatY;
    obj.SetHidden(true);
    EXPECT_EQ(obj.LLInObjectMER(c.pt, c.tolerance), 0) << "hidden, case " << (&c - cases);
  }

  // A tolerance that takes the sums beyond 32 bits.
  TBoxObject wide(seam);
  EXPECT_EQ(wide.LLInObjectMER(Deg(0, 5), 2'000'000'000), 2);
}

// ---- Registry -----------------------------------------------------------------------------

TEST_F(ObjectTest, ObjectClassesAreCreatedByName) {
  for (const char* name : {"TGeoDataObject", "TBitmapObject"}) {
    std::unique_ptr<TGlobeObject> made = CreateGlobeObject<TGlobeObject>(name, nullptr);
    EXPECT_EQ(made->ClassName(), name);
    EXPECT_EQ(made->PrintableClassName(), name);
    EXPECT_EQ(made->Index(), -1);
    EXPECT_EQ(made->Centroid().iHeightZ,
              made->ClassName() == "TGeoDataObject" ? 0 : CENTROID_NOT_COMPUTED);
  }
  RegisterGlobeObjects();  // again: nothing
}

}  // namespace
}  // namespace globe::testing
