// Presenter stores (ID assignment, refusal, global look-up, environments) and the line and
// area presenters (records by stream version, matching, drawing).
#include "globe/objects/presenter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "globe/formats/propertystream.h"
#include "globe/formats/stream.h"
#include "globe/formats/xml.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/object.h"
#include "globe/objects/pointpresenter.h"
#include "globe/objects/source.h"
#include "globe/render/attributes.h"
#include "tests/objects/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<std::uint8_t>;
using U = TGlobeUnitTypes;

class StreamVersion {
 public:
  explicit StreamVersion(std::uint16_t v) : old_(GlobeStreamVersion()) { SetGlobeStreamVersion(v); }
  ~StreamVersion() { SetGlobeStreamVersion(old_); }
  StreamVersion(const StreamVersion&) = delete;
  StreamVersion& operator=(const StreamVersion&) = delete;

 private:
  std::uint16_t old_;
};

template <class F>
Bytes Written(F&& Write) {
  auto owned = std::make_unique<TGlobeMemoryStream>();
  TGlobeMemoryStream* stream = owned.get();
  TGlobeStreamWriter writer(std::move(owned));
  Write(writer);
  return stream->Bytes();
}

Bytes Record(TGlobePresenter& p) {
  return Written([&](TGlobeStreamWriter& w) { p.WriteProperties(w); });
}

// Reads the record; returns the bytes left over.
std::int64_t ReadRecord(TGlobePresenter& p, const Bytes& bytes) {
  TGlobeMemoryView view(bytes);
  TGlobeStreamReader reader(view);
  p.ReadProperties(reader);
  EXPECT_FALSE(reader.Truncated());
  return reader.Remaining();
}

std::string EnvText(TGlobeENVPersistent& p) {
  TGXML_Document doc;
  doc.Document()->AddElement("X", p.SaveEnvironment());
  return doc.AsString();
}

class PresenterTest : public ObjectsTest {
 protected:
  PresenterTest() { RegisterGlobePresenters(); }

  std::unique_ptr<TPolyPresenter> Poly(std::int32_t ID) {
    return std::make_unique<TPolyPresenter>(&globe, ID);
  }
  TGlobePresenterStore store{&globe};
};

// ---- Store ------------------------------------------------------------------------------

TEST_F(PresenterTest, NewPresentersNeedAGlobe) {
  for (const auto& [make, message] : std::vector<std::pair<std::function<void()>, std::string>>{
           {[] { TPolyPresenter p(nullptr, 1); }, "TGlobePresenter.Create passed nil Globe"},
           {[] { TPointPresenter p(nullptr, 1); }, "TGlobePresenter.Create passed nil Globe"},
           {[] { TGlobePresenterStore s(nullptr); },
            "TGlobePresenterStore.Create passed nil Parent"}}) {
    try {
      make();
      ADD_FAILURE() << "no exception for " << message;
    } catch (const EGlobeException& e) {
      EXPECT_STREQ(e.what(), message.c_str());
    }
  }
}

TEST_F(PresenterTest, DefaultsOfEachClass) {
  const struct {
    std::unique_ptr<TGlobePresenter> p;
    const char* name;
  } cases[] = {
      {std::make_unique<TGlobePresenter>(&globe, 4), "TGlobePresenter"},
      {std::make_unique<TPolyPresenter>(&globe, 4), "Poly Presenter"},
      {std::make_unique<TPolygonPresenter>(&globe, 4), "Polygon Presenter"},
      {std::make_unique<TPolylinePresenter>(&globe, 4), "Poly Presenter"},
      {std::make_unique<TPointPresenter>(&globe, 4), "Point Presenter"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.p->ClassName());
    EXPECT_EQ(c.p->Name(), c.name);
    EXPECT_EQ(c.p->PrintableClassName(), c.p->ClassName());
    EXPECT_EQ(c.p->PresenterID(), 4);
    EXPECT_EQ(c.p->TitleAlignment(), taNone);
    EXPECT_EQ(c.p->TitleOffset(), 0);
    EXPECT_TRUE(c.p->TitleFont().Equals(canvas.DefTitleFont()));
  }
}

TEST_F(PresenterTest, AddGivesIDZeroOneMoreThanTheLargest) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const struct {
    std::vector<std::int32_t> held;
    std::int32_t expected;
  } cases[] = {
      {{}, 1},
      {{1, 2}, 3},
      {{-1, -2}, 1},  // negative IDs are the global ones
      {{5, 2}, 6},
      {{-7, 3, 9, 4}, 10},
      // No "one more" above the largest ID: the lowest free one instead of an overflow.
      {{kMax, 1, 2}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.held));
    TGlobePresenterStore s(&globe);
    for (std::int32_t id : c.held) ASSERT_EQ(s.Add(Poly(id)), id);
    auto p = Poly(0);
    TGlobePresenter* added = p.get();
    EXPECT_EQ(s.Add(std::move(p)), c.expected);
    EXPECT_EQ(added->PresenterID(), c.expected);
    EXPECT_EQ(s.Count(), static_cast<std::int32_t>(c.held.size()) + 1);
    EXPECT_EQ(&s.GetPresenter(s.Count() - 1), added);
  }

  // Three in a row on an empty store.
  EXPECT_EQ(store.Add(Poly(0)), 1);
  EXPECT_EQ(store.Add(Poly(0)), 2);
  EXPECT_EQ(store.Add(Poly(0)), 3);
}

TEST_F(PresenterTest, AddRefusesATakenIDAndKeepsTheFirst) {
  auto first = Poly(5);
  TGlobePresenter* kept = first.get();
  store.Add(std::move(first));
  store.SetModified(false);

  // The refused presenter is freed (the leak check would see it otherwise).
  EXPECT_EQ(store.Add(std::make_unique<TPointPresenter>(&globe, 5)), 5);
  EXPECT_EQ(store.Count(), 1);
  EXPECT_EQ(store.ByID(5, false), kept);
  EXPECT_FALSE(store.Modified());

  EXPECT_EQ(store.Add(nullptr), 0);
  EXPECT_EQ(store.Count(), 1);
}

TEST_F(PresenterTest, ModifiedFollowsAddDeleteAndClear) {
  EXPECT_FALSE(store.Modified());
  store.Add(Poly(1));
  auto second = Poly(2);
  TGlobePresenter* p2 = second.get();
  store.Add(std::move(second));
  EXPECT_TRUE(store.Modified());
  store.SetModified(false);

  TPolyPresenter stranger(&globe, 3);
  EXPECT_EQ(store.Delete(&stranger), nullptr);
  EXPECT_FALSE(store.Modified());

  std::unique_ptr<TGlobePresenter> back = store.Delete(p2);
  EXPECT_EQ(back.get(), p2);
  EXPECT_EQ(store.Count(), 1);
  EXPECT_EQ(store.ByID(2, false), nullptr);
  EXPECT_TRUE(store.Modified());

  store.Clear();
  EXPECT_EQ(store.Count(), 0);
  EXPECT_FALSE(store.Modified());
}

TEST_F(PresenterTest, ByIDFallsBackToTheGlobalPresenters) {
  TGlobePresenterStore& global = globe.Layers().GlobalPresenters();
  auto g = std::make_unique<TPointPresenter>(&globe, 42);
  TGlobePresenter* inGlobal = g.get();
  ASSERT_EQ(global.Add(std::move(g)), 42);

  EXPECT_EQ(store.ByID(42, true), inGlobal);
  EXPECT_EQ(store.ByID(42, false), nullptr);
  EXPECT_EQ(store.ByID(43, true), nullptr);

  // The store's own presenter comes first.
  auto local = Poly(42);
  TGlobePresenter* inLocal = local.get();
  store.Add(std::move(local));
  EXPECT_EQ(store.ByID(42, true), inLocal);

  // The layer store's own point presenter answers for -1 everywhere.
  TGlobePresenter* standard = store.ByID(-1, true);
  ASSERT_NE(standard, nullptr);
  EXPECT_EQ(standard->ClassName(), "TPointPresenter");
  EXPECT_EQ(standard, global.ByID(-1, false));
}

TEST_F(PresenterTest, AssignCopiesAStoreOrAddsOnePresenter) {
  auto a = Poly(3);
  a->PolyPen().Define(0x0000FF, platform::psDash, 2, U::Pixel);
  store.Add(std::move(a));
  store.Add(std::make_unique<TPolylinePresenter>(&globe, 8));

  TGlobePresenterStore copy(&globe);
  copy.Add(Poly(1));
  copy.Assign(store);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.GetPresenter(0).ClassName(), "TPolyPresenter");
  EXPECT_EQ(copy.GetPresenter(0).PresenterID(), 3);
  EXPECT_NE(&copy.GetPresenter(0), &store.GetPresenter(0));
  EXPECT_TRUE(static_cast<TPolyPresenter&>(copy.GetPresenter(0))
                  .PolyPen()
                  .Equals(static_cast<TPolyPresenter&>(store.GetPresenter(0)).PolyPen()));
  EXPECT_EQ(copy.GetPresenter(1).ClassName(), "TPolylinePresenter");
  EXPECT_EQ(EnvText(copy), EnvText(store));

  copy.Assign(copy);  // onto itself: nothing lost
  EXPECT_EQ(copy.Count(), 2);

  TPointPresenter single(&globe, 11);
  copy.Assign(single);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.GetPresenter(2).ClassName(), "TPointPresenter");
  EXPECT_EQ(copy.GetPresenter(2).PresenterID(), 11);

  TGlobePen pen;
  copy.Assign(pen);  // anything else is ignored
  EXPECT_EQ(copy.Count(), 3);
}

// ---- Presenter assignment ---------------------------------------------------------------

// A presenter class of a program built on the component, not registered: its copies were
// refused with "Class TRoutePresenter not found".
class TRoutePresenter : public TPolylinePresenter {
  GLOBE_CLASS(TRoutePresenter, TPolylinePresenter)
 public:
  using TPolylinePresenter::TPolylinePresenter;
};

TEST_F(PresenterTest, CloneOfAnUnregisteredClassKeepsItsClass) {
  TRoutePresenter route(&globe, 12);
  route.SetName("Ferries");
  std::unique_ptr<TGlobePresenter> copy = route.Clone(globe);
  EXPECT_EQ(typeid(*copy), typeid(TRoutePresenter));
  EXPECT_EQ(copy->PresenterID(), 12);
  EXPECT_EQ(copy->Name(), "Ferries");
  store.Assign(route);
  ASSERT_EQ(store.Count(), 1);
  EXPECT_EQ(store.GetPresenter(0).ClassName(), "TRoutePresenter");
}

TEST_F(PresenterTest, AssignAndCloneCopyEverything) {
  TPolygonPresenter a(&globe, 7);
  a.SetName("Lakes");
  a.SetTitleAlignment(taBottomRight);
  a.SetTitleOffset(-12);
  a.SetHidden(true);
  a.TitleFont().Define("Courier", 0x112233, 11, U::Pixel, 450, {fsItalic});
  a.PolyPen().Define(0x00FF00, platform::psDot, 3, U::Kilometer);
  a.PolyBrush().Define(0xFF0000, bsDiagCross);

  std::unique_ptr<TGlobePresenter> b = a.Clone(globe);
  EXPECT_EQ(b->ClassName(), "TPolygonPresenter");
  EXPECT_EQ(b->PresenterID(), 7);
  EXPECT_TRUE(b->Hidden());
  EXPECT_EQ(EnvText(*b), EnvText(a));

  // A poly presenter takes the base part from a point presenter.
  TPointPresenter point(&globe, 9);
  point.SetName("Towns");
  TPolyPresenter c(&globe, 1);
  c.Assign(point);
  EXPECT_EQ(c.Name(), "Towns");
  EXPECT_EQ(c.PresenterID(), 9);

  TGlobePen pen;
  try {
    c.Assign(pen);
    ADD_FAILURE() << "no exception";
  } catch (const EGlobeException& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TGlobePen to a TPolyPresenter");
  }
}

// ---- Records ----------------------------------------------------------------------------

class PresenterRecordTest : public PresenterTest {
 protected:
  // The title font record: colour, unit, size, angle, style, name.
  static Bytes FontRecord() {
    TGlobeFont f;
    f.Define("Ab", 0x010203, 9, U::Pixel, 0, {});
    return Written([&](TGlobeStreamWriter& w) { f.WriteProperties(w); });
  }
  void Prepare(TGlobePresenter& p) {
    p.SetName("Roads");
    p.SetTitleOffset(-3);
    p.SetTitleAlignment(taTop);
    p.TitleFont().Define("Ab", 0x010203, 9, U::Pixel, 0, {});
  }
};

TEST_F(PresenterRecordTest, BaseRecordByStreamVersion) {
  const Bytes font = FontRecord();
  const Bytes id = {0x34, 0x12, 0, 0};
  const Bytes name = {5, 'R', 'o', 'a', 'd', 's'};
  const Bytes align = {taTop};
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& b : parts) all.insert(all.end(), b.begin(), b.end());
    return all;
  };
  const struct {
    std::uint16_t version;
    Bytes offset;         // the title offset as stored
    std::int32_t expect;  // the offset read back
  } cases[] = {
      {GLOBE_STREAM_VERSION_CURRENT, {0xFD, 0xFF, 0xFF, 0xFF}, -3},
      {1024, {0xFD, 0xFF, 0xFF, 0xFF}, -3},
      {1023, {0xFD}, -3},
      {769, {0xFD}, -3},
      {768, {}, 99},  // absent: the offset keeps its value
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    StreamVersion v(c.version);
    TGlobePresenter p(&globe, 0);
    p.SetTitleOffset(99);
    EXPECT_EQ(ReadRecord(p, join({id, c.offset, name, align, font})), 0);
    EXPECT_EQ(p.PresenterID(), 0x1234);
    EXPECT_EQ(p.TitleOffset(), c.expect);
    EXPECT_EQ(p.Name(), "Roads");
    EXPECT_EQ(p.TitleAlignment(), taTop);
    EXPECT_EQ(p.TitleFont().FontName(), "Ab");
  }

  StreamVersion v(GLOBE_STREAM_VERSION_CURRENT);
  TGlobePresenter p(&globe, 0x1234);
  Prepare(p);
  EXPECT_EQ(Record(p), join({id, {0xFD, 0xFF, 0xFF, 0xFF}, name, align, font}));
}

TEST_F(PresenterRecordTest, PolyRecordsRoundTripAndLinesHaveNoBrush) {
  StreamVersion v(GLOBE_STREAM_VERSION_CURRENT);
  const Bytes brush = [] {
    TGlobeBrush b;
    b.Define(0x445566, bsCross);
    return Written([&](TGlobeStreamWriter& w) { b.WriteProperties(w); });
  }();

  std::vector<std::unique_ptr<TPolyPresenter>> all;
  all.push_back(std::make_unique<TPolyPresenter>(&globe, 2));
  all.push_back(std::make_unique<TPolygonPresenter>(&globe, 3));
  all.push_back(std::make_unique<TPolylinePresenter>(&globe, 4));
  for (auto& p : all) {
    SCOPED_TRACE(p->ClassName());
    Prepare(*p);
    p->PolyPen().Define(0x778899, platform::psDashDot, 5, U::NauticalMile);
    p->PolyBrush().Define(0x445566, bsCross);
    const Bytes bytes = Record(*p);
    const bool line = p->InheritsFrom(TPolylinePresenter::StaticClass());
    const Bytes base = Written([&](TGlobeStreamWriter& w) {
      p->TGlobePresenter::WriteProperties(w);
      p->PolyPen().WriteProperties(w);
    });
    EXPECT_EQ(bytes.size(), base.size() + (line ? 0 : brush.size()));
    EXPECT_TRUE(std::equal(base.begin(), base.end(), bytes.begin()));

    auto q = CreateGlobeObject<TPolyPresenter>(p->ClassType(), &globe, 0);
    EXPECT_EQ(ReadRecord(*q, bytes), 0);
    EXPECT_EQ(q->PresenterID(), p->PresenterID());
    EXPECT_EQ(q->Name(), "Roads");
    EXPECT_EQ(q->TitleOffset(), -3);
    EXPECT_TRUE(q->PolyPen().Equals(p->PolyPen()));
    EXPECT_EQ(q->PolyBrush().Equals(p->PolyBrush()), !line);
  }
}

// Records written and read by a program that has made a globe view but read no layer file:
// before the view set the version, a pen in kilometres came back in pixels and the reader
// ended 4 bytes out of step.
TEST_F(PresenterRecordTest, ANewGlobeViewWritesAndReadsTheCurrentLayouts) {
  StreamVersion unset(0);
  TGlobe4 view;
  EXPECT_EQ(GlobeStreamVersion(), GLOBE_STREAM_VERSION_CURRENT);

  TPolygonPresenter p(&view, 6);
  Prepare(p);
  p.PolyPen().Define(0x778899, platform::psDash, 12, U::Kilometer);
  p.PolyBrush().Define(0x445566, bsCross);
  p.PolyBrush().SetBrushBkColor(0x010101);
  TPolygonPresenter q(&view, 0);
  EXPECT_EQ(ReadRecord(q, Record(p)), 0);
  EXPECT_EQ(q.TitleOffset(), -3);
  EXPECT_EQ(q.PolyPen().PenUnit(), U::Kilometer);
  EXPECT_EQ(q.PolyPen().PenWidth(), 12);
  EXPECT_TRUE(q.PolyBrush().Equals(p.PolyBrush()));
}

// ---- Environments -----------------------------------------------------------------------

TEST_F(PresenterTest, StoreEnvironmentRoundTrip) {
  auto area = std::make_unique<TPolygonPresenter>(&globe, 3);
  area->SetName("Lakes");
  area->SetTitleAlignment(taLeft);
  area->SetTitleOffset(4);
  area->SetHidden(true);
  area->PolyPen().Define(0x0000FF, platform::psDash, 2, U::Kilometer);
  area->PolyBrush().Define(0x00FF00, bsBDiagonal);
  store.Add(std::move(area));
  auto line = std::make_unique<TPolylinePresenter>(&globe, 5);
  line->PolyBrush().Define(0x123456, bsSolid);
  store.Add(std::move(line));
  auto point = std::make_unique<TPointPresenter>(&globe, -4);
  point->SetPointType(ppTriangleDown);
  point->SetPointUnit(U::Mile);
  point->SetPointSize(3);
  point->SetMaxPointSize(40);
  point->SetSymbolIndex(65);
  point->PointFont().Define("Symbols", 0xABCDEF, 12, U::Pixel, 900, {fsBold});
  store.Add(std::move(point));

  std::unique_ptr<TGXML_Element> saved = store.SaveEnvironment();
  ASSERT_NE(saved->ElementByName("Presenter", 1), nullptr);
  const TGXML_Element* lineElement = saved->ElementByName("Presenter", 1);
  EXPECT_EQ(lineElement->AttributeByName("Class", ""), "TPolylinePresenter");
  EXPECT_NE(lineElement->ElementByName("Brush"), nullptr);  // unlike its record
  EXPECT_EQ(lineElement->AttributeByName("PresenterID", ""), "5");

  TGlobePresenterStore loaded(&globe);
  loaded.Add(Poly(77));  // cleared by the load
  loaded.LoadEnvironment(saved.get());
  ASSERT_EQ(loaded.Count(), 3);
  EXPECT_TRUE(loaded.Modified());
  EXPECT_EQ(loaded.ByID(77, false), nullptr);
  EXPECT_EQ(EnvText(loaded), EnvText(store));
  auto& p = static_cast<TPointPresenter&>(*loaded.ByID(-4, false));
  EXPECT_EQ(p.PointType(), ppTriangleDown);
  EXPECT_EQ(p.MaxPointSize(), 40);
  EXPECT_EQ(p.PointFont().FontAngle(), 900);
  EXPECT_TRUE(loaded.ByID(3, false)->Hidden());

  // A child whose ID is taken is dropped; children of other names are not presenters.
  TGXML_Element twice;
  twice.AddElement("Presenter", store.GetPresenter(0).SaveEnvironment());
  twice.AddElement("Layer", store.GetPresenter(1).SaveEnvironment());
  twice.AddElement("Presenter", store.GetPresenter(0).SaveEnvironment());
  loaded.LoadEnvironment(&twice);
  EXPECT_EQ(loaded.Count(), 1);

  loaded.LoadEnvironment(nullptr);
  EXPECT_EQ(loaded.Count(), 0);
}

TEST_F(PresenterTest, StoreEnvironmentRefusesUnknownClasses) {
  const struct {
    const char* cls;
    const char* message;
  } cases[] = {
      {"TNoSuchPresenter", "Class TNoSuchPresenter not found"},
      {"TGlobePen", "TGlobePen is not a TGlobePresenter"},
  };
  for (const auto& c : cases) {
    TGXML_Element e;
    e.AddElement("Presenter", nullptr)->AddAttribute("Class", c.cls);
    try {
      store.LoadEnvironment(&e);
      ADD_FAILURE() << "no exception for " << c.cls;
    } catch (const EGlobeException& ex) {
      EXPECT_STREQ(ex.what(), c.message);
    }
    EXPECT_EQ(store.Count(), 0);
  }
}

TEST_F(PresenterTest, LoadingKeepsWhatTheElementDoesNotSay) {
  TPolyPresenter p(&globe, 6);
  p.SetName("Keep");
  p.SetTitleOffset(8);
  p.PolyPen().Define(0x0000FF, platform::psDot, 4, U::Pixel);
  TGXML_Element e;
  e.AddAttribute("Alignment", "3");
  p.LoadEnvironment(&e);
  EXPECT_EQ(p.Name(), "Keep");
  EXPECT_EQ(p.PresenterID(), 6);
  EXPECT_EQ(p.TitleOffset(), 8);
  EXPECT_EQ(p.TitleAlignment(), taRight);
  EXPECT_EQ(p.PolyPen().PenWidth(), 4);
}

// ---- FindMatch --------------------------------------------------------------------------

TEST_F(PresenterTest, FindMatchTakesTheFirstPolyPresenterThatAgrees) {
  store.Add(std::make_unique<TPointPresenter>(&globe, 1));
  auto red = std::make_unique<TPolygonPresenter>(&globe, 2);
  red->PolyPen().Define(0x0000FF, platform::psSolid, 1, U::Pixel);
  store.Add(std::move(red));
  auto blue = std::make_unique<TPolylinePresenter>(&globe, 3);
  blue->PolyPen().Define(0xFF0000, platform::psSolid, 1, U::Pixel);
  blue->PolyBrush().Define(0xFF0000, bsCross);
  store.Add(std::move(blue));

  TGlobePen redPen, bluePen, greenPen;
  redPen.Define(0x0000FF, platform::psSolid, 1, U::Pixel);
  bluePen.Define(0xFF0000, platform::psSolid, 1, U::Pixel);
  greenPen.Define(0x00FF00, platform::psSolid, 1, U::Pixel);
  TGlobeBrush cross;
  cross.Define(0xFF0000, bsCross);
  TGlobeFont otherFont;
  otherFont.Define("Other", 0, 9, U::Pixel, 0, {});

  const struct {
    const TGlobePen* pen;
    const TGlobeBrush* brush;
    const TGlobeFont* font;
    std::int32_t expected;
  } cases[] = {
      {nullptr, nullptr, nullptr, 2},  // the point presenter never matches
      {&redPen, nullptr, nullptr, 2},    {&bluePen, nullptr, nullptr, 3},
      {nullptr, &cross, nullptr, 3},     {&redPen, &cross, nullptr, 0},
      {&greenPen, nullptr, nullptr, 0},  {&bluePen, &cross, &canvas.DefTitleFont(), 3},
      {&bluePen, &cross, &otherFont, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TPolyPresenter::FindMatch(store, c.pen, c.brush, c.font), c.expected)
        << "case " << (&c - cases);
  }
}

// ---- Drawing ----------------------------------------------------------------------------

class PolyDrawTest : public PresenterTest {
 protected:
  PolyDrawTest() {
    FlatMap();
    canvas.RefreshDC();  // as a paint starts, so the canvas's own objects are in place
    src = new TGlobeObjectSource(&globe);  // owned by the globe
    geo = MakeGlobeObject<TGeoDataObject>(src);
    geo->Chains().SetChain(0, Chain({Deg(0, 0), Deg(10, 0), Deg(10, 10)}));
  }
  TGlobeObjectSource* src;
  TGeoDataObject* geo;
};

TEST_F(PolyDrawTest, PolygonPresenterClosesTheObjectForGood) {
  TPolygonPresenter area(&globe, 1);
  area.PolyPen().Define(0x0000FF, platform::psSolid, 3, U::Pixel);
  area.PolyBrush().Define(0x00FF00, bsSolid);
  ASSERT_FALSE(geo->Closed());
  area.RenderObject(globe, *geo, {});
  EXPECT_TRUE(geo->Closed());
  auto polygons = dev.CallsNamed("Polygon");
  ASSERT_EQ(polygons.size(), 1u);
  EXPECT_EQ(polygons[0]->Pen->Pen().Color, 0x0000FFu);
  EXPECT_EQ(polygons[0]->Pen->Pen().Width, 3);
  EXPECT_EQ(polygons[0]->Brush->Brush().Color, 0x00FF00u);
  EXPECT_THAT(polygons[0]->Points, ::testing::IsSupersetOf<TPoint>({{180, 90}, {190, 80}}));

  // Drawn again by a plain poly presenter it is still an area.
  dev.Calls.clear();
  TPolyPresenter plain(&globe, 2);
  plain.RenderObject(globe, *geo, geo->ObjectState);
  EXPECT_TRUE(geo->Closed());
  EXPECT_EQ(dev.CallsNamed("Polygon").size(), 1u);
}

TEST_F(PolyDrawTest, PolylinePresenterOpensTheObject) {
  geo->SetClosed(true);
  TPolylinePresenter line(&globe, 1);
  line.RenderObject(globe, *geo, TGlobeObjectStateSet{osClosed});
  EXPECT_FALSE(geo->Closed());
  EXPECT_TRUE(dev.CallsNamed("Polygon").empty());
  EXPECT_EQ(dev.CallsNamed("Polyline").size(), 1u);
}

TEST_F(PolyDrawTest, SelectedStateUsesTheSelectedLook) {
  TPolyPresenter plain(&globe, 1);
  plain.PolyPen().Define(0x00FF00, platform::psSolid, 1, U::Pixel);
  plain.RenderObject(globe, *geo, {});
  EXPECT_EQ(dev.CallsNamed("Polyline").back()->Pen->Pen().Color, 0x00FF00u);
  // The state decides, not the object: the layer passes what it draws.
  plain.RenderObject(globe, *geo, TGlobeObjectStateSet{osSelected});
  EXPECT_EQ(dev.CallsNamed("Polyline").back()->Pen->Pen().Color, globe.SelectedPen().PenColor());
}

TEST_F(PolyDrawTest, ObjectsOtherThanGeoDataAreIgnored) {
  auto* bitmap = MakeGlobeObject<TBitmapObject>(src);
  TPolygonPresenter area(&globe, 1);
  area.RenderObject(globe, *bitmap, {});
  EXPECT_TRUE(dev.CallsNamed("Polygon").empty());
  EXPECT_TRUE(dev.CallsNamed("Polyline").empty());
}

}  // namespace
}  // namespace globe::testing
