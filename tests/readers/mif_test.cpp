#include "globe/readers/mif.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "globe/core/codepage.h"
#include "globe/formats/xml.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/pointpresenter.h"
#include "globe/objects/presenter.h"
#include "globe/readers/loader.h"
#include "globe/render/attributes.h"
#include "globe/render/labels.h"
#include "tests/objects/fixture.h"

namespace globe {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ObjectsTest;

const std::string kData = std::string(ORVANE_TEST_DATA_DIR) + "/mif/";

using Ring = std::vector<std::pair<double, double>>;  // degrees

const char* const kHeader =
    "Version 300\n"
    "Charset \"WindowsLatin1\"\n"
    "Delimiter \",\"\n"
    "CoordSys Earth Projection 1, 104\n"
    "Columns 2\n"
    "  Name Char(20)\n"
    "  Pop Integer\n"
    "Data\n"
    "\n";

class MIFTest : public ObjectsTest {
 protected:
  MIFTest() { globe.SetSaveMetaDataLocation(smdDiscard); }

  static std::string Read(const std::string& FileName) {
    std::ifstream in(FileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string Write(const std::string& Name, const std::string& Text) {
    std::ofstream out(Scratch(Name), std::ios::binary | std::ios::trunc);
    out << Text;
    return Scratch(Name);
  }
  /// A MIF file (and its MID file unless Mid is null) in the scratch folder.
  std::string Files(const std::string& Mif, const char* Mid = nullptr) {
    if (Mid != nullptr) Write("test.mid", Mid);
    return Write("test.mif", Mif);
  }
  std::unique_ptr<TGlobeMIFReader> Open(const std::string& FileName, std::int32_t TitleColumn = 0) {
    auto reader = std::make_unique<TGlobeMIFReader>(&globe);
    reader->SetTitleColumn(TitleColumn);
    reader->SetFileName(FileName);
    reader->SetActive(true);
    EXPECT_TRUE(reader->Active());
    return reader;
  }
  std::string OpenError(const std::string& FileName) {
    auto reader = std::make_unique<TGlobeMIFReader>(&globe);
    reader->SetFileName(FileName);
    try {
      reader->SetActive(true);
    } catch (const EGlobeException& e) {
      EXPECT_FALSE(reader->Active());
      EXPECT_EQ(reader->Count(), 0);
      return e.what();
    }
    return "(no exception)";
  }

  static TGeoDataObject& Geo(TGlobeObjectSource& Source, std::int32_t i) {
    return dynamic_cast<TGeoDataObject&>(Source.GetObject(i));
  }
  static void ExpectGU(std::int32_t GU, double Degrees, const std::string& What) {
    EXPECT_LE(std::fabs(GU - Degrees * GU_DEGREE), 1.0) << What;
  }
  static void ExpectChains(TGeoDataObject& Obj, const std::vector<Ring>& Chains,
                           const std::string& What) {
    ASSERT_EQ(Obj.Chains().Count(), static_cast<std::int32_t>(Chains.size())) << What;
    for (std::size_t k = 0; k < Chains.size(); ++k) {
      TPointStore& chain = Obj.Chains().GetChain(static_cast<std::int32_t>(k));
      ASSERT_EQ(chain.Count(), static_cast<std::int32_t>(Chains[k].size()))
          << What << " chain " << k;
      for (std::size_t i = 0; i < Chains[k].size(); ++i) {
        const TPointLL p = chain.GetLL(static_cast<std::int32_t>(i));
        ExpectGU(p.iLongX, Chains[k][i].first, What);
        ExpectGU(p.iLatY, Chains[k][i].second, What);
      }
    }
  }
  static void ExpectPoint(TGeoDataObject& Obj, double Long, double Lat, const std::string& What) {
    EXPECT_EQ(Obj.Chains().Count(), 0) << What;
    ExpectGU(Obj.Centroid().iLongX, Long, What);
    ExpectGU(Obj.Centroid().iLatY, Lat, What);
  }
  TGlobePresenter& PresenterOf(TGlobeObjectSource& Source, std::int32_t i) {
    TGlobePresenter* p = Source.Presenters().ByID(Source.GetPresenterID(i), false);
    EXPECT_NE(p, nullptr) << "object " << i;
    return *p;
  }
};

TEST_F(MIFTest, ReadsTheFixtureWrittenByGdalWithAnyLineEnd) {
  const std::string mif = Read(kData + "features.mif");
  const std::string mid = Read(kData + "features.mid");
  auto withEnds = [](std::string Text, const char* End) {
    std::string out;
    for (char c : Text) {
      if (c == '\n') {
        out += End;
      } else {
        out += c;
      }
    }
    return out;
  };
  for (const char* end : {"\n", "\r\n", "\r"}) {
    const std::string file = Files(withEnds(mif, end), withEnds(mid, end).c_str());
    auto reader = Open(file, 1);
    const std::string what = std::string("line end ") + (end[0] == '\n' ? "LF"
                                                         : end[1]       ? "CRLF"
                                                                        : "CR");
    EXPECT_EQ(reader->MIFVersion(), 300);
    EXPECT_EQ(reader->MIDDelimiter(), ",");
    EXPECT_EQ(reader->MIFCoordSys(), "CoordSys Earth Projection 1, 104");
    EXPECT_THAT(reader->MIDColumnNames(),
                ElementsAre("kind=Char(254)", "name=Char(254)", "pop=Integer", "code=Char(254)"));
    // The feature without geometry (NONE) is not an object, and its row is passed over with it.
    ASSERT_EQ(reader->Count(), 10) << what;
    const std::vector<std::string> titles = {
        "Café Zürich",  "Niño",    "Date Line", "Route Düsseldorf", "Two Rivers",
        "Frame España", "Islands", "Cluster",   "Cluster",          "Cluster"};
    for (std::int32_t i = 0; i < 10; ++i) {
      EXPECT_EQ(reader->GetObject(i).Title(), titles[static_cast<std::size_t>(i)])
          << what << " " << i;
    }
    ExpectPoint(Geo(*reader, 0), 8.5417, 47.3769, what);
    ExpectPoint(Geo(*reader, 1), -70.6483333, -33.4569444, what);
    ExpectPoint(Geo(*reader, 2), 179.9999999, -0.0000001, what);
    ExpectChains(Geo(*reader, 3), {{{6.7735, 51.2277}, {7, 51.5}, {7.4653, 51.5136}}}, what);
    ExpectChains(Geo(*reader, 4),
                 {{{-10, 0}, {-5, 2.5}}, {{1, 1}, {2, 2}, {3, 1.5}, {4.25, 1.125}}}, what);
    ExpectChains(
        Geo(*reader, 5),
        {{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}, {{2, 2}, {8, 2}, {8, 8}, {2, 8}, {2, 2}}},
        what);
    ExpectChains(Geo(*reader, 6),
                 {{{-20, -20}, {-20, -15}, {-15, -15}, {-20, -20}},
                  {{30.5, 40.25}, {30.5, 45.75}, {35.125, 45.75}, {35.125, 40.25}, {30.5, 40.25}},
                  {{31, 41}, {34, 41}, {34, 44}, {31, 44}, {31, 41}}},
                 what);
    ExpectPoint(Geo(*reader, 9), 102.1234567, -11.7654321, what);
    EXPECT_FALSE(Geo(*reader, 4).Closed());
    EXPECT_TRUE(Geo(*reader, 6).Closed());

    // Objects drawn alike share a presenter. The style carries over: the points after the
    // regions keep the regions' pen and brush, and so get a point presenter of their own.
    ASSERT_EQ(reader->Presenters().Count(), 4) << what;
    const std::vector<std::int32_t> ids = {1, 1, 1, 2, 2, 3, 3, 4, 4, 4};
    for (std::int32_t i = 0; i < 10; ++i) {
      EXPECT_EQ(reader->GetPresenterID(i), ids[static_cast<std::size_t>(i)]) << what << " " << i;
    }
    EXPECT_EQ(PresenterOf(*reader, 0).ClassName(), "TPointPresenter");
    EXPECT_EQ(PresenterOf(*reader, 3).ClassName(), "TPolylinePresenter");
    auto& polygon = dynamic_cast<TPolyPresenter&>(PresenterOf(*reader, 5));
    EXPECT_EQ(polygon.ClassName(), "TPolygonPresenter");
    EXPECT_EQ(polygon.PolyPen().PenWidth(), 1);
    EXPECT_EQ(polygon.PolyBrush().BrushStyle(), bsClear);
    EXPECT_EQ(polygon.PolyBrush().BrushColor(), 0u);
  }
}

TEST_F(MIFTest, HeaderValuesAndTheCoordinateSystemCheck) {
  struct Case {
    const char* header;
    const char* error;  // null: accepted
    const char* delimiter;
  };
  const std::vector<Case> cases = {
      {"Version 300\nCoordSys Earth Projection 1, 104\nData\n", nullptr, "\t"},
      {"version 450\ndelimiter \";\"\ncoordsys earth projection 1, 0\ndata\n", nullptr, ";"},
      {"Version 300\nDelimiter \" \"\nCoordSys Earth Projection 1,104\nData\n", nullptr, " "},
      {"Version 300\nCoordSys NonEarth Units \"m\" Bounds (0, 0) (10, 10)\nData\n",
       "MIF Import only supports Lat/Long tables.", nullptr},
      {"Version 300\nCoordSys Earth Projection 3, 62, \"m\", -96, 23, 20, 60, 0, 0\nData\n",
       "MIF Import only supports Lat/Long tables.", nullptr},
      // Without a coordinate system a file is in longitude/latitude.
      {"Version 300\nData\n", nullptr, "\t"},
      // A file cut before its objects.
      {"Version 300\nCoordSys Earth Projection 1, 104\nColumns 1\n  Name Char(10)\n",
       "ends before the \"Data\" line of a MIF file", nullptr},
      {"Version three\nCoordSys Earth Projection 1, 104\nData\n",
       "'three' is not a valid integer value in ", nullptr},
  };
  for (const Case& c : cases) {
    const std::string file = Files(std::string(c.header) + "Point 1 2\n");
    if (c.error != nullptr) {
      const std::string message = OpenError(file);
      EXPECT_THAT(message, HasSubstr(c.error)) << c.header;
      continue;
    }
    auto reader = Open(file);
    EXPECT_EQ(reader->MIDDelimiter(), c.delimiter) << c.header;
    EXPECT_EQ(reader->Count(), 1) << c.header;
  }
}

TEST_F(MIFTest, StyleClausesBecomePresenters) {
  const std::string file =
      Files(std::string(kHeader) +
            "Region 1\n 4\n0 0\n0 1\n1 1\n0 0\n"
            "    Pen (2,2,16711680)\n"
            "    Brush (2,255,65535)\n"
            "    Center 0.5 0.5\n"
            "Region 1\n 3\n5 5\n5 6\n6 5\n"
            "    Pen (2,2,16711680)\n    Brush (2,255,65535)\n"
            "Pline 2\n0 0\n1 1\n"
            "    Pen (wide,1,0)\n    Smooth\n"
            "Line 0 0 2 2\n    Pen (3,5,255)\n"
            "Text\n    \"Two\\nLines\"\n    5 10 6 10.5\n"
            "    Font (\"Arial\",0,0,16711680)\n    Angle 90\n    Justify Center\n"
            "Text \"Same line\"\n    1 2 3 4\n");
  auto reader = Open(file);
  ASSERT_EQ(reader->Count(), 6);
  EXPECT_THAT(reader->MIDColumnNames(), ElementsAre("Name=Char(20)", "Pop=Integer"));

  // Two regions drawn alike share one polygon presenter.
  EXPECT_EQ(reader->GetPresenterID(0), reader->GetPresenterID(1));
  auto& polygon = dynamic_cast<TPolyPresenter&>(PresenterOf(*reader, 0));
  EXPECT_EQ(polygon.ClassName(), "TPolygonPresenter");
  EXPECT_EQ(polygon.PolyPen().PenStyle(), platform::psSolid);
  EXPECT_EQ(polygon.PolyPen().PenWidth(), 2);
  EXPECT_EQ(polygon.PolyPen().PenColor(), 255u) << "red in the low byte";
  EXPECT_EQ(polygon.PolyPen().PenUnit(), TGlobeUnitTypes::Pixel);
  EXPECT_EQ(polygon.PolyBrush().BrushStyle(), bsSolid);
  EXPECT_EQ(polygon.PolyBrush().BrushColor(), 16711680u);
  EXPECT_EQ(polygon.PolyBrush().BrushBkColor(), 16776960u);
  EXPECT_EQ(reader->GetObject(0).Title(), "New Polygon");

  // A pen width that is no number is 1; pattern 1 is clear. The polyline's brush becomes
  // solid black.
  auto& pline = dynamic_cast<TPolyPresenter&>(PresenterOf(*reader, 2));
  EXPECT_EQ(pline.ClassName(), "TPolylinePresenter");
  EXPECT_EQ(pline.PolyPen().PenWidth(), 1);
  EXPECT_EQ(pline.PolyPen().PenStyle(), platform::psClear);
  EXPECT_EQ(reader->GetObject(2).Title(), "New Polyline");
  EXPECT_FALSE(reader->GetObject(2).Closed());

  auto& line = dynamic_cast<TPolyPresenter&>(PresenterOf(*reader, 3));
  EXPECT_EQ(line.PolyPen().PenStyle(), platform::psDash);
  EXPECT_EQ(line.PolyPen().PenColor(), 16711680u);
  ExpectChains(Geo(*reader, 3), {{{0, 0}, {2, 2}}}, "line");

  // A text: its title alone, drawn from the start of its base line (the box's lower right
  // corner for a text turned by 90 degrees) in a title font sized by the box.
  TGeoDataObject& text = Geo(*reader, 4);
  EXPECT_EQ(text.Title(), "Two Lines");
  ExpectPoint(text, 6, 10, "text");
  auto& point = dynamic_cast<TPointPresenter&>(PresenterOf(*reader, 4));
  EXPECT_EQ(point.PointType(), ppNone);
  EXPECT_EQ(point.TitleAlignment(), taRight);
  EXPECT_EQ(point.TitleOffset(), 0);
  EXPECT_EQ(point.TitleFont().FontName(), "Arial");
  EXPECT_EQ(point.TitleFont().FontUnit(), TGlobeUnitTypes::Kilometer);
  EXPECT_EQ(point.TitleFont().FontSize(), 77) << "0.69 of the box's 1 degree";
  EXPECT_EQ(point.TitleFont().FontAngle(), 900);
  EXPECT_EQ(point.TitleFont().FontColor(), 255u);
  EXPECT_EQ(point.PointFont().FontName(), "Arial");
  EXPECT_EQ(point.PointFont().FontSize(), 9);
  EXPECT_EQ(point.PointPen().PenWidth(), 1);

  // A text on the keyword line itself, without clauses: not turned, sized by its own box.
  EXPECT_EQ(reader->GetObject(5).Title(), "Same line");
  ExpectPoint(Geo(*reader, 5), 1, 2, "same line");
  auto& second = dynamic_cast<TPointPresenter&>(PresenterOf(*reader, 5));
  EXPECT_EQ(second.TitleFont().FontSize(), 153);
  EXPECT_EQ(second.TitleFont().FontAngle(), 0);
}

TEST_F(MIFTest, TextsStandAtTheStartOfTheirBaseLineSizedByTheirBox) {
  struct Case {
    const char* object;
    double longitude, latitude;
    TGlobeUnitTypes unit;
    std::int32_t size;
  };
  const std::vector<Case> cases = {
      {"Text \"AB\"\n 10 20 12 21\n", 10, 20, TGlobeUnitTypes::Kilometer, 77},
      {"Text \"AB\"\n 12 21 10 20\n", 10, 20, TGlobeUnitTypes::Kilometer, 77},
      // Upside down: from the upper right corner.
      {"Text \"AB\"\n 10 20 12 21\n Angle 180\n", 12, 21, TGlobeUnitTypes::Kilometer, 77},
      // Near 45 degrees the box's sides do not tell height from length; nine glyphs of 0.6
      // of the height give 0.1105 degrees, of which 0.69 are 8,471 metres.
      {"Text \"Two Lines\"\n 5 10 6 10.5\n Angle 45\n", 5.078125, 10, TGlobeUnitTypes::Meter, 8471},
      {"Text \"tiny\"\n 1 1 1.000001 1.000001\n", 1, 1, TGlobeUnitTypes::Meter, 1},
      {"Text \"vast\"\n -170 -80 170 80\n", -170, -80, TGlobeUnitTypes::Kilometer, 12268},
      // Angles are taken modulo a full turn.
      {"Text \"AB\"\n 10 20 12 21\n Angle 540\n", 12, 21, TGlobeUnitTypes::Kilometer, 77},
  };
  for (const Case& c : cases) {
    auto reader = Open(Files(std::string(kHeader) + c.object));
    ASSERT_EQ(reader->Count(), 1) << c.object;
    ExpectPoint(Geo(*reader, 0), c.longitude, c.latitude, c.object);
    auto& text = dynamic_cast<TPointPresenter&>(PresenterOf(*reader, 0));
    EXPECT_EQ(text.TitleFont().FontUnit(), c.unit) << c.object;
    EXPECT_EQ(text.TitleFont().FontSize(), c.size) << c.object;
  }
}

TEST_F(MIFTest, TextsAreDrawnAsTheirTitleOnly) {
  // 20 pixels per degree; (lon, lat) lands on (200 + 20 lon, 200 - 20 lat).
  FlatMap();
  SizeCanvas(400, 400);
  P.SetScaleFactor(20.0L / GU_DEGREE);
  P.SetXOrigin(200);
  P.SetYOrigin(200);
  const std::int32_t index = AddLayerFromFile(globe, kData + "kinds300.mif");
  ASSERT_GE(index, 0);
  dev.Calls.clear();
  globe.Layers().GetLayer(index).RenderObjects();

  // Each title is written in its colour over a rim of the contrasting one.
  const auto all = dev.CallsNamed("TextOut");
  std::vector<const platform::TRecordedCall*> texts;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i + 1 == all.size() || all[i + 1]->Text != all[i]->Text) texts.push_back(all[i]);
  }
  ASSERT_EQ(texts.size(), 2u);
  ASSERT_EQ(all.size(), 18u);
  for (std::size_t i = 0; i < all.size(); ++i)
    EXPECT_EQ(all[i]->TextColor, i % 9 == 8 ? texts[i / 9]->TextColor
                                            : ContrastingColor(texts[i / 9]->TextColor));
  struct Expected {
    const char* text;
    platform::TPoint at;
    std::int32_t height, angle;
  };
  const Expected expected[] = {{"Abidjan", {119, 94}, 20, 0},
                               {"Gulf of Guinea", {100, 240}, 40, 300}};
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(expected[i].text);
    EXPECT_EQ(texts[i]->Text, expected[i].text);
    EXPECT_EQ(texts[i]->Points.at(0), expected[i].at);
    EXPECT_EQ(texts[i]->TextAlign, platform::TA_LEFT | platform::TA_BASELINE);
    ASSERT_TRUE(texts[i]->Font);
    EXPECT_EQ(texts[i]->Font->Font().Height, expected[i].height);
    EXPECT_EQ(texts[i]->Font->Font().Escapement, expected[i].angle);
  }
  // The point has its circle; the texts have none.
  EXPECT_EQ(dev.CallsNamed("Ellipse").size(), 1u);
}

TEST_F(MIFTest, APolylineAndAPolygonDrawnAlikeKeepTheirOwnClasses) {
  // The polyline's pen and its (black, solid) brush equal the region's: the region's
  // presenter would close the line.
  const std::string file = Files(std::string(kHeader) +
                                 "Region 1\n 3\n0 0\n0 1\n1 0\n    Pen (1,2,0)\n    Brush (2,0,0)\n"
                                 "Pline 2\n0 0\n1 1\n    Pen (1,2,0)\n");
  auto reader = Open(file);
  ASSERT_EQ(reader->Count(), 2);
  EXPECT_EQ(PresenterOf(*reader, 0).ClassName(), "TPolygonPresenter");
  EXPECT_EQ(PresenterOf(*reader, 1).ClassName(), "TPolylinePresenter");
}

TEST_F(MIFTest, PolylineFormsReadAlikeInEveryVersion) {
  struct Case {
    const char* body;
    std::vector<Ring> chains;
  };
  const std::vector<Case> cases = {
      {"Pline 3\n1 1\n2 2\n3 3\n", {{{1, 1}, {2, 2}, {3, 3}}}},
      {"Pline\n 2\n1 1\n2 2\n", {{{1, 1}, {2, 2}}}},
      {"Pline Multiple 2\n 1\n1 1\n 2\n2 2\n3 3\n", {{{1, 1}}, {{2, 2}, {3, 3}}}},
      {"PLINE MULTIPLE 2\n  2\n-10 0\n-5 2.5\n  1\n1 1\n", {{{-10, 0}, {-5, 2.5}}, {{1, 1}}}},
      {"Pline 0\n", {{}}},  // one chain to start with
      {"Pline Multiple 0\n", {{}}},
  };
  for (const int version : {1, 300, 450, 650, 900}) {
    for (const Case& c : cases) {
      const std::string what = "version " + std::to_string(version) + ": " + c.body;
      const std::string file = Files("Version " + std::to_string(version) +
                                     "\nCoordSys Earth Projection 1, 104\nData\n" + c.body);
      auto reader = Open(file);
      ASSERT_EQ(reader->Count(), 1) << what;
      ExpectChains(Geo(*reader, 0), c.chains, what);
    }
  }
}

TEST_F(MIFTest, ReadsFilesWrittenByGdalInEveryVersionAndCharset) {
  // The same layer in the versions GDAL writes, a version 650 header, and in the charsets
  // "Neutral" (UTF-8 text) and "WindowsLatin1".
  for (const char* name : {"kinds300", "kinds450", "kinds650", "kinds900", "kinds_latin1"}) {
    SCOPED_TRACE(name);
    auto reader = Open(kData + name + ".mif");
    EXPECT_EQ(reader->MIFCharset(),
              std::string(name) == "kinds_latin1" ? "WindowsLatin1" : "Neutral");
    ASSERT_EQ(reader->Count(), 6);
    const std::vector<std::string> titles = {"Côte d'Ivoire", "Route Düsseldorf", "Two Rivers",
                                             "Frame España",  "Abidjan",          "Gulf of Guinea"};
    for (std::int32_t i = 0; i < 6; ++i) {
      EXPECT_EQ(reader->GetObject(i).Title(), titles[static_cast<std::size_t>(i)]) << i;
    }
    ExpectPoint(Geo(*reader, 0), -5.55, 7.54, "point");
    ExpectChains(Geo(*reader, 1), {{{6.7735, 51.2277}, {7, 51.5}, {7.4653, 51.5136}}}, "Pline");
    ExpectChains(Geo(*reader, 2), {{{-10, 0}, {-5, 2.5}}, {{1, 1}, {2, 2}, {3, 1.5}}},
                 "Pline Multiple");
    ExpectChains(
        Geo(*reader, 3),
        {{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}, {{2, 2}, {8, 2}, {8, 8}, {2, 8}, {2, 2}}},
        "Region");
    EXPECT_TRUE(Geo(*reader, 3).Closed());

    // The texts stand where GDAL was told to put them (the turned one too, which GDAL's own
    // reader misplaces), with the glyph heights they were given: 1 and 2 degrees.
    ExpectPoint(Geo(*reader, 4), -4.03, 5.32, "text");
    ExpectPoint(Geo(*reader, 5), -5, -2, "turned text");
    struct Text {
      std::int32_t index, size, angle;
      TColor color;
    };
    for (const Text& t : {Text{4, 111, 0, 0x000080}, Text{5, 222, 300, 0x800000}}) {
      auto& text = dynamic_cast<TPointPresenter&>(PresenterOf(*reader, t.index));
      EXPECT_EQ(text.PointType(), ppNone) << t.index;
      EXPECT_EQ(text.TitleAlignment(), taRight) << t.index;
      EXPECT_EQ(text.TitleFont().FontUnit(), TGlobeUnitTypes::Kilometer) << t.index;
      EXPECT_EQ(text.TitleFont().FontSize(), t.size) << t.index;
      EXPECT_EQ(text.TitleFont().FontAngle(), t.angle) << t.index;
      EXPECT_EQ(text.TitleFont().FontColor(), t.color) << t.index;
      EXPECT_EQ(text.TitleFont().FontName(), "Arial") << t.index;
    }
    EXPECT_EQ(PresenterOf(*reader, 0).ClassName(), "TPointPresenter");
    EXPECT_EQ(dynamic_cast<TPointPresenter&>(PresenterOf(*reader, 0)).PointType(), ppCircle);
  }
}

TEST_F(MIFTest, TitlesComeFromTheTitleColumnOfTheRows) {
  struct Case {
    const char* row;
    std::int32_t column;
    const char* title;
  };
  const std::vector<Case> cases = {
      {"\"a\",\"b, c\",3", 1, "b, c"},
      {"\"a\",\"b, c\",3", 2, "3"},
      {"\"a\",\"b, c\",3", 3, ""},
      {"  plain , \"say \"\"hi\"\"\" ", 0, "plain"},
      {"  plain , \"say \"\"hi\"\"\" ", 1, "say \"hi\""},
      {"\"a\",\"b\"", -1, "\"a\",\"b\""},
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TGlobeMIFReader::MIDField(c.row, ',', c.column), c.title) << c.row << " " << c.column;
  }
  EXPECT_EQ(TGlobeMIFReader::MIDField("a\tb c\td", '\t', 1), "b c");

  // From the files, in code page 1252; a missing row gives the kind's default title.
  const std::string mid = Utf8ToAnsi("\"Zürich\",1\n\"Köln\",2\n");
  const std::string file =
      Files(std::string(kHeader) + "Point 1 2\nRegion 1\n 2\n0 0\n1 1\nLine 0 0 1 1\nPoint 3 4\n",
            mid.c_str());
  auto reader = Open(file);
  ASSERT_EQ(reader->Count(), 4);
  EXPECT_EQ(reader->GetObject(0).Title(), "Zürich");
  EXPECT_EQ(reader->GetObject(1).Title(), "Köln");
  EXPECT_EQ(reader->GetObject(2).Title(), "New Polyline");
  EXPECT_EQ(reader->GetObject(3).Title(), "");
  reader->SetTitleColumn(1);
  EXPECT_EQ(reader->GetObject(1).Title(), "2");
}

TEST_F(MIFTest, TheCharsetDecodesRowsTextsAndColumnNames) {
  struct Case {
    const char* charset;  // the header line; null: none
    const char* bytes;    // of a MID row, a text and a column name
    const char* text;
  };
  const std::vector<Case> cases = {
      {"Charset \"WindowsLatin1\"", "K\xF6ln", "Köln"},
      {"Charset \"Neutral\"", "C\xC3\xB4te", "Côte"},
      {"Charset \"Neutral\"", "K\xF6ln", "Köln"},  // not UTF-8: Windows-1252
      {nullptr, "C\xC3\xB4te", "Côte"},
      {nullptr, "K\xF6ln", "Köln"},
      {"Charset \"UTF-8\"", "\xD0\x9C\xC3\xB6", "Мö"},
      {"Charset \"WindowsCyrillic\"", "\xCC\xEE\xF1\xEA\xE2\xE0", "Москва"},
      {"Charset \"WindowsLatin2\"",
       "\xA3\xF3"
       "d\x9F",
       "Łódź"},
      {"Charset \"WindowsGreek\"", "\xC1\xE8\xDE\xED\xE1", "Αθήνα"},
      {"Charset \"WindowsTurkish\"", "\xDDzmir", "İzmir"},
      {"charset windowscyrillic", "\xCA\xE8\xBF\xE2", "Київ"},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.charset ? c.charset : "no charset") + ": " + c.text;
    const std::string header = "Version 300\n" + std::string(c.charset ? c.charset : "") +
                               "\nCoordSys Earth Projection 1, 104\nColumns 1\n  " + c.bytes +
                               " Char(20)\nData\n";
    std::string mid(1, '"');
    mid += c.bytes;
    mid += "\"\n\"unused\"\n";
    auto reader =
        Open(Files(header + "Point 1 2\nText \"" + c.bytes + "\"\n 0 0 1 1\n", mid.c_str()));
    ASSERT_EQ(reader->Count(), 2) << what;
    EXPECT_EQ(reader->GetObject(0).Title(), c.text) << what;
    EXPECT_EQ(reader->GetObject(1).Title(), c.text) << what;
    EXPECT_THAT(reader->MIDColumnNames(), ElementsAre(std::string(c.text) + "=Char(20)")) << what;
  }

  // Written by GDAL, and opened again from the metadata file, which holds no charset.
  globe.SetSaveMetaDataLocation(smdWithDataFile);
  const std::string file = Write("cyrillic.mif", Read(kData + "cyrillic.mif"));
  Write("cyrillic.mid", Read(kData + "cyrillic.mid"));
  for (const char* opening : {"first", "from the metadata"}) {
    auto reader = Open(file);
    EXPECT_EQ(reader->MIFCharset(), "WindowsCyrillic") << opening;
    ASSERT_EQ(reader->Count(), 2) << opening;
    EXPECT_EQ(reader->GetObject(0).Title(), "Москва") << opening;
    EXPECT_EQ(reader->GetObject(1).Title(), "Київ") << opening;
    reader->SetActive(false);
    EXPECT_TRUE(std::filesystem::exists(file + ".md"));
  }
}

TEST_F(MIFTest, ObjectKindsThatAreNotReadKeepTheRowsInStep) {
  const std::string file =
      Files(std::string(kHeader) +
                "Point 1 1\n"
                "Arc 0 0 1 1\n 0 90\n"
                "Ellipse 0 0 1 1\n    Pen (1,2,0)\n"
                "Rect 0 0 1 1\nRoundRect 0 0 1 1\n 0.1\n"
                "Multipoint 2\n5 5\n6 6\n    Symbol (35,0,12)\n"
                "none\n"
                "Collection 3\n"
                "  Region 1\n  3\n0 0\n0 1\n1 0\n    Pen (1,2,0)\n    Brush (2,0,0)\n"
                "  Pline 2\n0 0\n1 1\n    Pen (1,2,0)\n"
                "  Multipoint 1\n7 7\n    Symbol (35,0,12)\n"
                "Point 2 2\n",
            "\"first\"\n\"arc\"\n\"ellipse\"\n\"rect\"\n\"roundrect\"\n"
            "\"multipoint\"\n\"none\"\n\"collection\"\n\"last\"\n");
  auto reader = Open(file);
  ASSERT_EQ(reader->Count(), 2);
  EXPECT_EQ(reader->GetObject(0).Title(), "first");
  EXPECT_EQ(reader->GetObject(1).Title(), "last");
  ExpectPoint(Geo(*reader, 1), 2, 2, "last");
}

TEST_F(MIFTest, AKeywordOnTheLastLineWithoutALineEndIsAnObject) {
  auto reader = Open(Files(std::string(kHeader) + "Point 1 1\nPoint 2 2", "\"a\"\n\"b\""));
  ASSERT_EQ(reader->Count(), 2);
  ExpectPoint(Geo(*reader, 1), 2, 2, "last");
  EXPECT_EQ(reader->GetObject(1).Title(), "b");
}

TEST_F(MIFTest, MalformedObjectsFailNamingTheFile) {
  struct Case {
    const char* body;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"Point one 2\n", "StrToExtended: Conversion failed for one in "},
      {"Point 1e300 2\n", "Invalid position 1e300 2 in "},
      {"Region two\n", "'two' is not a valid integer value in "},
      {"Region 1\n 2000000000\n0 0\n", "Invalid count 2000000000 in "},
      {"Region 2147483647\n 1\n0 0\n", "Invalid count 2147483647 in "},
      {"Region 1\n -1\n", "Invalid count -1 in "},
      {"Region 1\n 3\n0 0\n1 1\n", "Unexpected end of the file in "},
      {"Pline Multiple 2\n 1\n0 0\n", "Unexpected end of the file in "},
      {"Line 0 0 1 1\n    Pen (1,2)\n", "List index out of bounds (2) in "},
      {"Region 1\n 1\n0 0\n    Brush (2)\n", "List index out of bounds (1) in "},
      {"Text\n \"a\"\n 0 0 1 1\n    Font (\"Arial\",0)\n", "List index out of bounds (2) in "},
      {"Text\n \"a\"\n 0 0 1 1\n    Font (\n", "List index out of bounds (0) in "},
      {"Text\n \"a\"\n 0 0 1 1\n    Font (\"Arial\",0,9,0)\n    Angle 1e300\n",
       "Invalid angle 1e300 in "},
      {"Text\n \"a\"\n", "Unexpected end of the file in "},
      {"Text \"a\"\n 0 -1e9 0 1e9\n Angle 135\n", "Invalid text box 0 -1e9 0 1e9 in "},
      {"Text \"a\"\n 0 0 1 x\n", "StrToExtended: Conversion failed for x in "},
  };
  for (const Case& c : cases) {
    const std::string file = Files(std::string(kHeader) + c.body);
    const std::string message = OpenError(file);
    EXPECT_THAT(message, HasSubstr(c.message)) << c.body;
    EXPECT_THAT(message, HasSubstr(file)) << c.body;
  }
}

TEST_F(MIFTest, MetadataRestoresTheIndexPresentersAndHeader) {
  globe.SetSaveMetaDataLocation(smdWithDataFile);
  const std::string file =
      Files(Read(kData + "features.mif"), Read(kData + "features.mid").c_str());
  Open(file, 1)->SetActive(false);
  ASSERT_TRUE(std::filesystem::exists(file + ".md"));

  auto reader = Open(file, 0);
  ASSERT_EQ(reader->Count(), 10);
  for (std::int32_t i = 0; i < 10; ++i) EXPECT_EQ(reader->LoadedObject(i), nullptr);
  EXPECT_EQ(reader->TitleColumn(), 1) << "from the metadata";
  EXPECT_EQ(reader->MIDDelimiter(), ",");
  EXPECT_EQ(reader->MIFCoordSys(), "CoordSys Earth Projection 1, 104");
  EXPECT_EQ(reader->MIDColumnNames().size(), 4u);
  EXPECT_EQ(reader->Presenters().Count(), 4);
  EXPECT_EQ(reader->GetPresenterID(7), 4);
  EXPECT_EQ(reader->GetObject(6).Title(), "Islands");
  EXPECT_EQ(Geo(*reader, 6).Chains().Count(), 3);
  EXPECT_EQ(reader->GetObject(6).PresenterID(), 3);
  EXPECT_EQ(reader->GetObject(1).Title(), "Niño");
}

TEST_F(MIFTest, EnvironmentRestoresAndOpens) {
  const std::string file = Files(std::string(kHeader) + "Point 1 2\n", "\"a\",\"b\"\n");
  auto reader = std::make_unique<TGlobeMIFReader>(&globe);
  reader->SetFileName(file);
  reader->SetTitleColumn(1);
  reader->SetMIDDelimiter(";");
  std::unique_ptr<TGXML_Element> element = reader->SaveEnvironment();
  EXPECT_EQ(element->AttributeByName("Class", ""), "TGlobeMIFReader");
  EXPECT_EQ(element->AttributeByName("TitleColumn", ""), "1");
  EXPECT_EQ(element->AttributeByName("MIDDelimiter", ""), ";");

  auto loaded = std::make_unique<TGlobeMIFReader>(&globe);
  loaded->LoadEnvironment(element.get());
  EXPECT_TRUE(loaded->Active());
  EXPECT_EQ(loaded->TitleColumn(), 1);
  // The header's delimiter replaces the saved one when the file is mapped.
  EXPECT_EQ(loaded->MIDDelimiter(), ",");
  EXPECT_EQ(loaded->GetObject(0).Title(), "b");
  EXPECT_NE(FindGlobeClass("TGlobeMIFReader"), nullptr);
}

TEST_F(MIFTest, TheLayerLoaderGivesMifFilesAMifReader) {
  Write("Towns.MID", "\"K\xF6ln\"\n");  // code page 1252
  const std::string mif = Write("Towns.MIF", std::string(kHeader) + "Point 6.95 50.94\n");
  const std::int32_t index = AddLayerFromFile(globe, mif);
  ASSERT_GE(index, 0);
  TGlobeLayer& layer = globe.Layers().GetLayer(index);
  auto* source = dynamic_cast<TGlobeMIFReader*>(&layer.Objects());
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(source->Active());
  EXPECT_EQ(layer.Name(), "Towns.MIF");
  ASSERT_EQ(source->Count(), 1);
  EXPECT_EQ(source->GetObject(0).Title(), "Köln");
}

TEST_F(MIFTest, AMissingFileLeavesTheSourceClosedAndAnEmptyMidIsNoMid) {
  auto reader = std::make_unique<TGlobeMIFReader>(&globe);
  reader->SetFileName(Scratch("none.mif"));
  reader->SetActive(true);
  EXPECT_FALSE(reader->Active());

  auto withEmptyMid = Open(Files(std::string(kHeader) + "Point 1 2\n", ""));
  ASSERT_EQ(withEmptyMid->Count(), 1);
  EXPECT_EQ(withEmptyMid->GetObject(0).Title(), "");
}

}  // namespace
}  // namespace globe
