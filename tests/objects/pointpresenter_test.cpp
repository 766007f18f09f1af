// The point presenter: each symbol's device calls, sizes and caps, visibility, font symbols
// turned about their centre, pictures by file, records, environments, matching, hit tests.
#include "globe/objects/pointpresenter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "globe/formats/propertystream.h"
#include "globe/formats/stream.h"
#include "globe/formats/xml.h"
#include "globe/objects/geodata.h"
#include "globe/objects/object.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/render/attributes.h"
#include "tests/objects/fixture.h"

namespace globe::testing {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;
using U = TGlobeUnitTypes;
using platform::TRecordedCall;

bool IsDrawing(const TRecordedCall& c) {
  for (const char* name : {"Polygon", "Polyline", "Ellipse", "Rectangle", "FillRect", "SetPixel",
                           "TextOut", "DrawBitmap", "StretchBitmap"}) {
    if (c.Name == name) return true;
  }
  return false;
}

class PointPresenterTest : public ObjectsTest {
 protected:
  PointPresenterTest() {
    RegisterGlobePresenters();
    FlatMap();
    canvas.RefreshDC();
    src = new TGlobeObjectSource(&globe);  // owned by the globe
  }

  TGeoDataObject* Object(std::initializer_list<TPointLL> Points) {
    auto* o = MakeGlobeObject<TGeoDataObject>(src);
    if (Points.size() != 0) o->Chains().SetChain(0, Chain(Points));
    return o;
  }

  /// The drawing calls of rendering an object with these points.
  std::vector<TRecordedCall> Draw(std::initializer_list<TPointLL> Points) {
    return DrawObject(*Object(Points));
  }
  std::vector<TRecordedCall> DrawObject(TGeoDataObject& o, TGlobeObjectStateSet State = {}) {
    dev.Calls.clear();
    p.RenderObject(globe, o, State);
    std::vector<TRecordedCall> drawn;
    for (const TRecordedCall& c : dev.Calls)
      if (IsDrawing(c)) drawn.push_back(c);
    return drawn;
  }

  /// A file in the scratch folder (its content does not matter: the recording graphics
  /// hand out the picture registered under its name).
  std::string PictureFile(const std::string& Name, std::shared_ptr<platform::TBitmap> Bitmap) {
    const std::string path = Scratch(Name);
    std::ofstream(path) << "picture";
    if (Bitmap) services.graphics.Pictures[path] = std::move(Bitmap);
    return path;
  }

  TGlobeObjectSource* src;
  TPointPresenter p{&globe, 1};
};

// ---- Symbols ----------------------------------------------------------------------------

TEST_F(PointPresenterTest, DefaultIsASixPixelCircle) {
  EXPECT_EQ(p.Name(), "Point Presenter");
  EXPECT_EQ(p.PointType(), ppCircle);
  EXPECT_EQ(p.PointUnit(), U::Pixel);
  EXPECT_EQ(p.PointSize(), 6);
  EXPECT_EQ(p.MaxPointSize(), 0);
  EXPECT_EQ(p.Image(), nullptr);
  EXPECT_EQ(p.PointFont().FontSize(), 0);
  EXPECT_EQ(p.PointFont().FontName(), "");

  // (10°, 20°) lands on (190, 70).
  const auto calls = Draw({Deg(10, 20)});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Name, "Ellipse");
  EXPECT_EQ(calls[0].Rect, (TRect{187, 67, 193, 73}));
}

TEST_F(PointPresenterTest, EachTypeDrawsItsShape) {
  p.PointPen().Define(0x0000AA, platform::psSolid, 1, U::Pixel);
  p.PointBrush().Define(0x00BB00, bsSolid);
  const struct {
    TPointPresenterType type;
    std::int32_t size;
    const char* call;
    TRect rect;
    std::vector<TPoint> points;
  } cases[] = {
      {ppCircle, 7, "Ellipse", {187, 67, 193, 73}, {}},  // odd sizes lose a pixel
      {ppCircle, 1, "Ellipse", {190, 70, 190, 70}, {}},
      {ppSquare, 10, "Rectangle", {185, 65, 195, 75}, {}},
      {ppDiamond, 10, "Polygon", {}, {{190, 65}, {195, 70}, {190, 75}, {185, 70}}},
      {ppTriangleUp, 10, "Polygon", {}, {{195, 75}, {190, 65}, {185, 75}}},
      {ppTriangleDown, 10, "Polygon", {}, {{185, 65}, {190, 75}, {195, 65}}},
      {ppTriangleLeft, 10, "Polygon", {}, {{195, 75}, {185, 70}, {195, 65}}},
      {ppTriangleRight, 10, "Polygon", {}, {{185, 65}, {195, 70}, {185, 75}}},
      {ppDot, 10, "SetPixel", {}, {{190, 70}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    p.SetPointType(c.type);
    p.SetPointSize(c.size);
    const auto calls = Draw({Deg(10, 20)});
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Name, c.call);
    EXPECT_EQ(calls[0].Rect, c.rect);
    EXPECT_EQ(calls[0].Points, c.points);
    if (c.type == ppDot) {
      EXPECT_EQ(calls[0].Value, 0x0000AA);  // the stored pen colour
    } else {
      EXPECT_EQ(calls[0].Pen->Pen().Color, 0x0000AAu);
      EXPECT_EQ(calls[0].Brush->Brush().Color, 0x00BB00u);
    }
  }

  p.SetPointType(ppNone);
  EXPECT_TRUE(Draw({Deg(10, 20)}).empty());
}

TEST_F(PointPresenterTest, OneSymbolPerPointOrOneAtTheCentroid) {
  auto* o = Object({Deg(0, 0), Deg(10, 20)});
  o->Chains().SetChain(2, Chain({Deg(-30, -10)}));  // chain 1 stays empty
  auto calls = DrawObject(*o);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].Rect, (TRect{177, 87, 183, 93}));
  EXPECT_EQ(calls[1].Rect, (TRect{187, 67, 193, 73}));
  EXPECT_EQ(calls[2].Rect, (TRect{147, 97, 153, 103}));

  auto* empty = Object({});
  empty->SetCentroid(Deg(-20, 40));
  calls = DrawObject(*empty);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Rect, (TRect{157, 47, 163, 53}));
}

TEST_F(PointPresenterTest, PointsOnTheFarSideDrawNothing) {
  Sphere(200, 200, 90);
  const auto calls = Draw({Deg(180, 0), Deg(0, 0), Deg(-120, 10)});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Rect, (TRect{97, 97, 103, 103}));
}

TEST_F(PointPresenterTest, SizesInDistanceGrowWithTheZoomUpToTheCap) {
  p.SetPointUnit(U::Kilometer);
  p.SetPointSize(10);
  p.SetMaxPointSize(12);
  const struct {
    Extended pixelsPerDegree;
    std::int32_t canvasPPI;
    std::int32_t expectedR;  // -1: the uncapped size
  } cases[] = {
      {100, 96, -1},
      {1000, 96, 6},    // capped at 12 pixels
      {1000, 192, 12},  // a 192-dpi canvas: the cap is 12 screen pixels, 24 device pixels
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pixelsPerDegree);
    P.SetScaleFactor(c.pixelsPerDegree / D);
    canvas.SetCanvasPixelsPerInch(c.canvasPPI);
    const std::int32_t uncapped = canvas.ScaleUnitsToDevice(10, U::Kilometer);
    const std::int32_t r = c.expectedR >= 0 ? c.expectedR : uncapped / 2;
    if (c.expectedR < 0) {
      ASSERT_GT(uncapped, 2);
      ASSERT_LT(uncapped, 12);
    }
    const auto calls = Draw({Deg(0, 0)});
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Rect, (TRect{180 - r, 90 - r, 180 + r, 90 + r}));
  }
}

TEST_F(PointPresenterTest, SelectionFollowsTheObjectNotTheState) {
  p.PointPen().Define(0x00FF00, platform::psSolid, 1, U::Pixel);
  auto* o = Object({Deg(10, 20)});
  auto calls = DrawObject(*o, TGlobeObjectStateSet{osSelected});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Pen->Pen().Color, 0x00FF00u);

  o->ObjectState.Include(osSelected);
  calls = DrawObject(*o);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Pen->Pen().Color, globe.SelectedPen().PenColor());
}

TEST_F(PointPresenterTest, FontSymbolIsTurnedAboutItsCentre) {
  p.SetPointType(ppFontSymbol);
  p.SetPointSize(20);  // the font's size too
  p.SetSymbolIndex('A');
  EXPECT_EQ(p.PointFont().FontSize(), 20);
  p.SetPointUnit(U::Minute);
  EXPECT_EQ(p.PointFont().FontUnit(), U::Minute);
  p.SetPointUnit(U::Pixel);
  p.PointFont().SetFontName("Symbols");
  p.PointFont().SetFontColor(0x0000FF);

  for (const std::int32_t angle : {0, 900, 905}) {
    SCOPED_TRACE(angle);
    p.PointFont().SetFontAngle(angle);
    const auto calls = Draw({Deg(10, 20)});
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].Name, "TextOut");
    EXPECT_EQ(calls[0].Text, "A");
    EXPECT_EQ(calls[0].Font->Font().Escapement, angle);
    const platform::TSize extent = dev.TextExtent("A");
    const std::int32_t hw = extent.cx / 2;
    const std::int32_t hh = extent.cy / 2;
    ASSERT_GT(hw, 0);
    ASSERT_NE(hw, hh);
    // Unturned, the cell's centre is on the point; at 90° (and 90.5°, whole degrees
    // count) the cell's top-left corner has turned to the bottom-left.
    const TPoint expected = angle == 0 ? TPoint{190 - hw, 70 - hh} : TPoint{190 - hh, 70 + hw};
    EXPECT_THAT(calls[0].Points, ElementsAre(expected));
  }
}

TEST_F(PointPresenterTest, PictureIsStretchedToTheSymbolWidth) {
  auto bitmap = std::make_shared<platform::TBitmap>(20, 10);
  p.SetPointType(ppImage);
  EXPECT_TRUE(Draw({Deg(10, 20)}).empty());  // no picture yet

  p.SetImage(bitmap);
  // r = 3; the height is 10 × 3 / 20 = 1.5, rounded to even: 2.
  auto calls = Draw({Deg(10, 20)});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Name, "StretchBitmap");
  EXPECT_EQ(calls[0].Rect, (TRect{187, 68, 193, 72}));
  EXPECT_THAT(calls[0].Points, ElementsAre(TPoint{20, 10}));
}

TEST_F(PointPresenterTest, OtherObjectClassesAreRefused) {
  auto* bitmapObject = MakeGlobeObject<TBitmapObject>(src);
  try {
    p.RenderObject(globe, *bitmapObject, {});
    ADD_FAILURE() << "no exception";
  } catch (const EGlobeException& e) {
    EXPECT_STREQ(e.what(), "Invalid class typecast");
  }
}

// ---- Pictures by name -------------------------------------------------------------------

TEST_F(PointPresenterTest, ImageNameLoadsThroughTheGlobe) {
  auto bitmap = std::make_shared<platform::TBitmap>(4, 2);
  const std::string path = PictureFile("town.png", bitmap);
  globe.SetDataDirectory(Scratch(""));  // ends in the system's separator

  p.SetImageName("town.png");  // relative to the data directory
  EXPECT_EQ(p.ImageName(), path);
  EXPECT_EQ(p.Image(), bitmap.get());

  p.SetImageName("");  // changes nothing
  EXPECT_EQ(p.ImageName(), path);
  EXPECT_EQ(p.Image(), bitmap.get());

  // A file that does not load: the error names it, and name and picture stay.
  const std::string broken = PictureFile("broken.png", nullptr);
  try {
    p.SetImageName(broken);
    ADD_FAILURE() << "no exception";
  } catch (const EGlobeException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to load picture " + broken);
  }
  EXPECT_EQ(p.ImageName(), path);
  EXPECT_EQ(p.Image(), bitmap.get());

  // A name that resolves to nothing frees the picture.
  p.SetImageName("missing.png");
  EXPECT_EQ(p.ImageName(), "");
  EXPECT_EQ(p.Image(), nullptr);

  p.SetImageName(path);
  auto other = std::make_shared<platform::TBitmap>(1, 1);
  p.SetImage(other);
  EXPECT_EQ(p.ImageName(), "");
  EXPECT_EQ(p.Image(), other.get());
}

// ---- Records ----------------------------------------------------------------------------

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

TEST_F(PointPresenterTest, RecordMarksACapWithANegativeSize) {
  StreamVersion v(GLOBE_STREAM_VERSION_CURRENT);
  const struct {
    std::int32_t size, max;
    Bytes stored;  // the size field(s) as written
    std::int32_t readSize, readMax;
  } cases[] = {
      {8, 20, {0xF8, 0xFF, 0xFF, 0xFF, 20, 0, 0, 0}, 8, 20},
      {8, 0, {8, 0, 0, 0}, 8, 0},
      {300, -4, {0x2C, 0x01, 0, 0}, 300, 0},
      // Not representable: written so that the rest of the record still reads.
      {0, 20, {0, 0, 0, 0}, 0, 0},
      {-5, 0, {0, 0, 0, 0}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size << "/" << c.max);
    TPointPresenter a(&globe, 12);
    a.SetPointType(ppTriangleLeft);
    a.SetPointUnit(U::NauticalMile);
    a.SetPointSize(c.size);
    a.SetMaxPointSize(c.max);
    a.SetSymbolIndex(-2);
    a.PointPen().Define(0x010203, platform::psDash, 2, U::Pixel);
    a.PointBrush().Define(0x040506, bsCross);
    a.PointFont().Define("Sym", 0x070809, 11, U::Pixel, 450, {fsItalic});
    const Bytes base =
        Written([&](TGlobeStreamWriter& w) { a.TGlobePresenter::WriteProperties(w); });
    const Bytes bytes = Written([&](TGlobeStreamWriter& w) { a.WriteProperties(w); });
    ASSERT_GT(bytes.size(), base.size() + 2 + c.stored.size());
    EXPECT_EQ(bytes[base.size()], ppTriangleLeft);
    EXPECT_EQ(bytes[base.size() + 1], static_cast<std::uint8_t>(U::NauticalMile));
    EXPECT_EQ(Bytes(bytes.begin() + base.size() + 2,
                    bytes.begin() + static_cast<std::ptrdiff_t>(base.size() + 2 + c.stored.size())),
              c.stored);

    TPointPresenter b(&globe, 0);
    TGlobeMemoryView view(bytes);
    TGlobeStreamReader reader(view);
    b.ReadProperties(reader);
    EXPECT_FALSE(reader.Truncated());
    EXPECT_EQ(reader.Remaining(), 0);
    EXPECT_EQ(b.PresenterID(), 12);
    EXPECT_EQ(b.PointType(), ppTriangleLeft);
    EXPECT_EQ(b.PointUnit(), U::NauticalMile);
    EXPECT_EQ(b.PointSize(), c.readSize);
    EXPECT_EQ(b.MaxPointSize(), c.readMax);
    EXPECT_EQ(b.SymbolIndex(), -2);
    EXPECT_TRUE(b.PointPen().Equals(a.PointPen()));
    EXPECT_TRUE(b.PointBrush().Equals(a.PointBrush()));
    EXPECT_TRUE(b.PointFont().Equals(a.PointFont()));
  }
}

TEST_F(PointPresenterTest, RecordLoadsItsPictureAndRefusesAnUnnegatableSize) {
  StreamVersion v(GLOBE_STREAM_VERSION_CURRENT);
  auto bitmap = std::make_shared<platform::TBitmap>(3, 3);
  p.SetPointType(ppImage);
  p.SetImageName(PictureFile("flag.bmp", bitmap));
  Bytes bytes = Written([&](TGlobeStreamWriter& w) { p.WriteProperties(w); });

  TPointPresenter b(&globe, 0);
  TGlobeMemoryView view(bytes);
  TGlobeStreamReader reader(view);
  b.ReadProperties(reader);
  EXPECT_EQ(b.ImageName(), p.ImageName());
  EXPECT_EQ(b.Image(), bitmap.get());

  // The size field of a damaged record: -2^31 has no positive counterpart.
  const Bytes base = Written([&](TGlobeStreamWriter& w) { p.TGlobePresenter::WriteProperties(w); });
  for (std::size_t i = 0; i < 4; ++i) bytes[base.size() + 2 + i] = i == 3 ? 0x80 : 0;
  TGlobeMemoryView badView(bytes);
  TGlobeStreamReader badReader(badView);
  TPointPresenter c(&globe, 0);
  EXPECT_THROW(c.ReadProperties(badReader), EGlobeException);
}

TEST_F(PointPresenterTest, UnitByteBeyondTheTableReadsAsPixel) {
  StreamVersion v(GLOBE_STREAM_VERSION_CURRENT);
  Bytes bytes = Written([&](TGlobeStreamWriter& w) { p.WriteProperties(w); });
  const Bytes base = Written([&](TGlobeStreamWriter& w) { p.TGlobePresenter::WriteProperties(w); });
  bytes[base.size() + 1] = 200;
  p.SetPointUnit(U::Mile);
  TGlobeMemoryView view(bytes);
  TGlobeStreamReader reader(view);
  p.ReadProperties(reader);
  EXPECT_EQ(p.PointUnit(), U::Pixel);
}

// ---- Environment, assignment, matching ---------------------------------------------------

TEST_F(PointPresenterTest, EnvironmentRoundTripKeepsPicturesRelative) {
  auto bitmap = std::make_shared<platform::TBitmap>(2, 2);
  const std::string path = PictureFile("capital.png", bitmap);
  globe.SetDataDirectory(Scratch(""));

  p.SetName("Capitals");
  p.SetPointType(ppImage);
  p.SetPointUnit(U::Kilometer);
  p.SetPointSize(25);
  p.SetMaxPointSize(30);
  p.SetSymbolIndex(183);
  p.SetImageName(path);
  p.PointPen().Define(0x0000FF, platform::psSolid, 2, U::Pixel);
  p.PointBrush().Define(0x00FF00, bsFDiagonal);
  p.PointFont().Define("Sym", 0xFF0000, 14, U::Pixel, 100, {fsBold});

  std::unique_ptr<TGXML_Element> e = p.SaveEnvironment();
  EXPECT_EQ(e->AttributeByName("Class", ""), "TPointPresenter");
  EXPECT_EQ(e->AttributeByName("ImageName", ""), "capital.png");
  EXPECT_EQ(e->AttributeByName("Unit", ""), std::string(UnitsToStr(U::Kilometer)));
  for (const char* child : {"TitleFont", "Pen", "Brush", "Font"}) {
    EXPECT_NE(e->ElementByName(child), nullptr) << child;
  }

  TPointPresenter q(&globe, 0);
  q.LoadEnvironment(e.get());
  EXPECT_EQ(q.Name(), "Capitals");
  EXPECT_EQ(q.PresenterID(), 1);
  EXPECT_EQ(q.PointType(), ppImage);
  EXPECT_EQ(q.PointUnit(), U::Kilometer);
  EXPECT_EQ(q.PointSize(), 25);
  EXPECT_EQ(q.MaxPointSize(), 30);
  EXPECT_EQ(q.SymbolIndex(), 183);
  EXPECT_EQ(q.ImageName(), path);
  EXPECT_EQ(q.Image(), bitmap.get());
  EXPECT_TRUE(q.PointPen().Equals(p.PointPen()));
  EXPECT_TRUE(q.PointBrush().Equals(p.PointBrush()));
  EXPECT_TRUE(q.PointFont().Equals(p.PointFont()));

  TGXML_Element bad;
  bad.AddAttribute("Unit", "Furlong");
  try {
    q.LoadEnvironment(&bad);
    ADD_FAILURE() << "no exception";
  } catch (const EGlobeException& ex) {
    EXPECT_STREQ(ex.what(), "StrToUnits: Unknown Unit Furlong");
  }
}

TEST_F(PointPresenterTest, CloneCopiesEverythingAndSharesThePicture) {
  auto bitmap = std::make_shared<platform::TBitmap>(2, 2);
  p.SetPointType(ppFontSymbol);
  p.SetPointUnit(U::Mile);
  p.SetPointSize(9);
  p.SetMaxPointSize(16);
  p.SetSymbolIndex(66);
  p.SetImage(bitmap);
  p.PointFont().SetFontName("Sym");
  p.SetTitleAlignment(taTopRight);

  std::unique_ptr<TGlobePresenter> clone = p.Clone(globe);
  ASSERT_EQ(clone->ClassName(), "TPointPresenter");
  auto& q = static_cast<TPointPresenter&>(*clone);
  EXPECT_EQ(q.PresenterID(), 1);
  EXPECT_EQ(q.TitleAlignment(), taTopRight);
  EXPECT_EQ(q.PointType(), ppFontSymbol);
  EXPECT_EQ(q.PointUnit(), U::Mile);
  EXPECT_EQ(q.PointSize(), 9);
  EXPECT_EQ(q.MaxPointSize(), 16);
  EXPECT_EQ(q.SymbolIndex(), 66);
  EXPECT_EQ(q.Image(), bitmap.get());  // set directly: shared, not lost
  EXPECT_TRUE(q.PointFont().Equals(p.PointFont()));
}

TEST_F(PointPresenterTest, FindMatchComparesAttributesAndValues) {
  TGlobePresenterStore store(&globe);
  store.Add(std::make_unique<TPolyPresenter>(&globe, 1));
  auto circle = std::make_unique<TPointPresenter>(&globe, 2);
  store.Add(std::move(circle));
  auto square = std::make_unique<TPointPresenter>(&globe, 3);
  square->SetPointType(ppSquare);
  square->SetPointSize(8);
  square->PointPen().Define(0x0000FF, platform::psSolid, 1, U::Pixel);
  store.Add(std::move(square));
  auto pictured = std::make_unique<TPointPresenter>(&globe, 4);
  pictured->SetPointType(ppSquare);
  pictured->SetPointSize(8);
  pictured->SetImageName(PictureFile("p.png", std::make_shared<platform::TBitmap>(1, 1)));
  const std::string picturedName = pictured->ImageName();
  store.Add(std::move(pictured));

  TGlobePen red;
  red.Define(0x0000FF, platform::psSolid, 1, U::Pixel);
  TGlobeBrush defaultBrush;
  TGlobeFont otherFont;
  otherFont.Define("X", 0, 1, U::Pixel, 0, {});
  const struct {
    const TGlobePen* pen;
    const TGlobeFont* font;
    TPointPresenterType type;
    std::int32_t size;
    std::string image;
    std::int32_t expected;
  } cases[] = {
      {nullptr, nullptr, ppCircle, 6, "", 2}, {&red, nullptr, ppCircle, 6, "", 0},
      {&red, nullptr, ppSquare, 8, "", 3},    {nullptr, nullptr, ppSquare, 8, picturedName, 4},
      {nullptr, nullptr, ppSquare, 9, "", 0}, {nullptr, &otherFont, ppCircle, 6, "", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TPointPresenter::FindMatch(store, c.pen, &defaultBrush, c.font, nullptr, c.type,
                                         U::Pixel, c.size, c.image),
              c.expected)
        << "case " << (&c - cases);
  }
  EXPECT_EQ(TPointPresenter::FindMatch(store, nullptr, nullptr, nullptr, nullptr, ppCircle,
                                       U::Kilometer, 6, ""),
            0);
}

// ---- Hit test ---------------------------------------------------------------------------

TEST_F(PointPresenterTest, HitSquareAroundTheCentroid) {
  // 6 pixels at one pixel per degree: a square of ±3° without its edges.
  const struct {
    TPointLL centroid;
    std::int32_t maxSize;
    TPointLL at;
    bool hit;
  } cases[] = {
      {Deg(10, 20), 0, Deg(12, 22), true},
      {Deg(10, 20), 0, Deg(7.5, 17.5), true},
      {Deg(10, 20), 0, Deg(13, 20), false},  // on the edge
      {Deg(10, 20), 0, Deg(10, 23), false},
      {Deg(10, 20), 0, Deg(10, 16), false},
      {Deg(179, 0), 0, Deg(-178.5, 0), true},  // across 180°
      {Deg(179, 0), 0, Deg(-177, 0), false},
      {Deg(10, 20), 2, Deg(10.5, 20.5), true},  // capped to 2 pixels: ±1°
      {Deg(10, 20), 2, Deg(11.5, 20), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    p.SetMaxPointSize(c.maxSize);
    auto* o = Object({c.centroid, c.centroid});
    // Only the centroid counts, even where another point of the object lies.
    o->Chains().GetChain(1).Add(Deg(100, -40));
    o->SetCentroid(c.centroid);
    EXPECT_EQ(p.LLInObject(globe, c.at, *o, 1000000), c.hit);
    EXPECT_FALSE(p.LLInObject(globe, Deg(100, -40), *o, 0));
  }
}

}  // namespace
}  // namespace globe::testing
