// The layer converter: what it makes of GeoJSON, TopoJSON, shapefiles and MIF/MID files,
// checked by opening the written layer file the way the globe view does; and how it refuses
// input that is not valid.
#include "tools/convert/convert.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "globe/core/pointstore.h"
#include "globe/core/units.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/pointpresenter.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/readers/loader.h"
#include "globe/render/attributes.h"
#include "globe/view/globe.h"

namespace orvane::convert {
namespace {

using globe::TPointLL;
constexpr std::int32_t D = globe::GU_DEGREE;

TPointLL Deg(double Long, double Lat) { return globe::DegToPointLL(Long, Lat); }

/// One object of a layer as read back: its kind, title, ID and points.
struct TReadObject {
  std::string Title;
  std::int32_t ID = 0;
  std::int32_t PresenterID = 0;
  bool Closed = false;
  std::int32_t ZoomMin = 0, ZoomMax = 0;
  TPointLL Centroid;
  std::vector<std::vector<TPointLL>> Chains;
};

class ConvertTest : public ::testing::Test {
 protected:
  std::filesystem::path folder;
  TConvertOptions options;

  ConvertTest() {
    // ctest runs the tests of one program side by side in separate processes.
    folder = std::filesystem::temp_directory_path() /
             ("orvane-convert-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    options.Output = Path("out.lyr");
  }
  ~ConvertTest() override {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }

  [[nodiscard]] std::string Path(std::string_view Name) const {
    return (folder / std::string(Name)).string();
  }
  std::string Write(std::string_view Name, std::string_view Text) const {
    const std::string path = Path(Name);
    std::ofstream(path, std::ios::binary) << Text;
    return path;
  }
  TConvertResult ConvertText(std::string_view Name, std::string_view Text) {
    options.Input = Write(Name, Text);
    return Convert(options);
  }

  /// Opens the written layer as the view does and reads back objects and presenters.
  struct TLayerContents {
    std::vector<TReadObject> Objects;
    std::vector<const globe::TGlobePresenter*> Presenters;
  };
  struct TOpened {
    globe::TGlobe4 globe;
    globe::TGlobeLayer* layer = nullptr;
    TLayerContents contents;
  };
  std::unique_ptr<TOpened> Open() const {
    auto o = std::make_unique<TOpened>();
    o->globe.SetSaveMetaDataLocation(globe::smdDiscard);
    const std::int32_t index = globe::AddLayerFromFile(o->globe, options.Output);
    EXPECT_EQ(index, 0);
    if (index < 0) return o;
    o->layer = &o->globe.Layers().GetLayer(index);
    globe::TGlobeObjectSource& source = o->layer->Objects();
    for (std::int32_t i = 0; i < source.Count(); ++i) {
      auto& obj = dynamic_cast<globe::TGeoDataObject&>(source.GetObject(i));
      TReadObject r{obj.Title(),   obj.ID(),      obj.PresenterID(), obj.Closed(),
                    obj.ZoomMin(), obj.ZoomMax(), obj.Centroid(),    {}};
      for (std::int32_t c = 0; c < obj.Chains().Count(); ++c) {
        std::vector<TPointLL>& chain = r.Chains.emplace_back();
        const globe::TPointStore& s = obj.Chains().GetChain(c);
        for (std::int32_t k = 0; k < s.Count(); ++k) chain.push_back(s.GetLL(k));
      }
      o->contents.Objects.push_back(std::move(r));
    }
    for (std::int32_t i = 0; i < source.Presenters().Count(); ++i)
      o->contents.Presenters.push_back(&source.Presenters().GetPresenter(i));
    return o;
  }
};

// ---- GeoJSON ------------------------------------------------------------------------------

TEST_F(ConvertTest, PolygonsKeepEveryRingOfEveryPartInOneClosedObject) {
  options.TitleProperty = "name";
  options.Brush = TFill{false, platform::RGB(0, 128, 0)};
  options.PenColor = platform::RGB(10, 20, 30);
  options.PenWidth = 2;
  const TConvertResult result = ConvertText("islands.geojson", R"({
    "type": "FeatureCollection", "features": [
      {"type": "Feature", "properties": {"name": "Lake"}, "geometry": {"type": "Polygon",
        "coordinates": [[[0, 0], [10, 0], [10, 10], [0, 10], [0, 0]],
                        [[2, 2], [2, 8], [8, 8], [8, 2], [2, 2]]]}},
      {"type": "Feature", "properties": {"name": "Pair"}, "geometry": {"type": "MultiPolygon",
        "coordinates": [[[[-20, -20], [-15, -15], [-20, -15], [-20, -20]]],
                        [[[30.5, 40.25], [35.125, 40.25], [35.125, 45.75], [30.5, 40.25]]]]}}]})");
  EXPECT_EQ(result.Objects, 2);
  EXPECT_EQ(result.Points, 8 + 6);  // closing points dropped
  EXPECT_EQ(result.Bytes, static_cast<std::int64_t>(std::filesystem::file_size(options.Output)));

  const auto opened = Open();
  const auto& objects = opened->contents.Objects;
  ASSERT_EQ(objects.size(), 2U);
  EXPECT_EQ(objects[0].Title, "Lake");
  EXPECT_TRUE(objects[0].Closed);
  EXPECT_EQ(objects[0].PresenterID, kPolygonPresenterID);
  ASSERT_EQ(objects[0].Chains.size(), 2U);
  EXPECT_EQ(objects[0].Chains[0],
            (std::vector<TPointLL>{Deg(0, 0), Deg(10, 0), Deg(10, 10), Deg(0, 10)}));
  EXPECT_EQ(objects[0].Chains[1],
            (std::vector<TPointLL>{Deg(2, 2), Deg(2, 8), Deg(8, 8), Deg(8, 2)}));
  EXPECT_EQ(objects[1].Title, "Pair");
  ASSERT_EQ(objects[1].Chains.size(), 2U);
  EXPECT_EQ(objects[1].Chains[1],
            (std::vector<TPointLL>{Deg(30.5, 40.25), Deg(35.125, 40.25), Deg(35.125, 45.75)}));

  // Only the polygon presenter is written, with the pen and brush asked for.
  ASSERT_EQ(opened->contents.Presenters.size(), 1U);
  const auto* polygon =
      dynamic_cast<const globe::TPolygonPresenter*>(opened->contents.Presenters[0]);
  ASSERT_NE(polygon, nullptr);
  EXPECT_EQ(polygon->PresenterID(), kPolygonPresenterID);
  EXPECT_EQ(polygon->PolyPen().PenColor(), platform::RGB(10, 20, 30));
  EXPECT_EQ(polygon->PolyPen().PenWidth(), 2);
  EXPECT_EQ(polygon->PolyBrush().BrushStyle(), globe::bsSolid);
  EXPECT_EQ(polygon->PolyBrush().BrushColor(), platform::RGB(0, 128, 0));
  EXPECT_EQ(polygon->TitleAlignment(), globe::taNone);
}

TEST_F(ConvertTest, LinesAndPointsGetTheirPresentersAndSettings) {
  options.TitleProperty = "name";
  options.PointType = globe::ppSquare;
  options.PointSize = 9;
  options.PointPenColor = platform::RGB(255, 0, 0);
  options.FontName = "DejaVu Sans";
  options.FontSize = 12;
  options.FontColor = platform::RGB(0, 0, 255);
  options.Alignment = globe::taTopRight;
  options.TitleOffset = 4;
  const TConvertResult result = ConvertText("mixed.json", R"({
    "type": "FeatureCollection", "features": [
      {"type": "Feature", "properties": {"name": "Road"}, "geometry": {"type": "LineString",
        "coordinates": [[6.7735, 51.2277], [7, 51.5], [7, 51.5], [7.4653, 51.5136]]}},
      {"type": "Feature", "properties": {"name": "Rivers"}, "geometry": {"type": "MultiLineString",
        "coordinates": [[[-10, 0], [-5, 2.5]], [[1, 1], [2, 2], [3, 1.5]]]}},
      {"type": "Feature", "properties": {"name": "Town"}, "geometry": {"type": "Point",
        "coordinates": [8.5417, 47.3769, 408]}},
      {"type": "Feature", "properties": {"name": "Cluster"}, "geometry": {"type": "MultiPoint",
        "coordinates": [[100, -10], [101.5, -10.5]]}}]})");
  EXPECT_EQ(result.Objects, 4);
  EXPECT_EQ(result.Points, 3 + 5 + 1 + 2);  // the repeated road point goes

  const auto opened = Open();
  const auto& objects = opened->contents.Objects;
  ASSERT_EQ(objects.size(), 4U);
  EXPECT_FALSE(objects[0].Closed);
  EXPECT_EQ(objects[0].PresenterID, kPolylinePresenterID);
  EXPECT_EQ(objects[0].Chains, (std::vector<std::vector<TPointLL>>{
                                   {Deg(6.7735, 51.2277), Deg(7, 51.5), Deg(7.4653, 51.5136)}}));
  EXPECT_EQ(objects[1].Chains.size(), 2U);
  // A single point is stored as the centroid alone; several points as one chain.
  EXPECT_EQ(objects[2].PresenterID, kPointPresenterID);
  EXPECT_TRUE(objects[2].Chains.empty());
  EXPECT_EQ(objects[2].Centroid, Deg(8.5417, 47.3769));
  EXPECT_EQ(objects[3].Chains,
            (std::vector<std::vector<TPointLL>>{{Deg(100, -10), Deg(101.5, -10.5)}}));

  ASSERT_EQ(opened->contents.Presenters.size(), 2U);
  const auto* line = dynamic_cast<const globe::TPolylinePresenter*>(opened->contents.Presenters[0]);
  const auto* point = dynamic_cast<const globe::TPointPresenter*>(opened->contents.Presenters[1]);
  ASSERT_NE(line, nullptr);
  ASSERT_NE(point, nullptr);
  EXPECT_EQ(point->PresenterID(), kPointPresenterID);
  EXPECT_EQ(point->PointType(), globe::ppSquare);
  EXPECT_EQ(point->PointUnit(), globe::TGlobeUnitTypes::Pixel);
  EXPECT_EQ(point->PointSize(), 9);
  EXPECT_EQ(point->PointPen().PenColor(), platform::RGB(255, 0, 0));
  EXPECT_EQ(point->PointBrush().BrushStyle(), globe::bsClear);  // the --brush default
  for (const globe::TGlobePresenter* p : opened->contents.Presenters) {
    EXPECT_EQ(p->TitleFont().FontName(), "DejaVu Sans");
    EXPECT_EQ(p->TitleFont().FontSize(), 12);
    EXPECT_EQ(p->TitleFont().FontUnit(), globe::TGlobeUnitTypes::Pixel);
    EXPECT_EQ(p->TitleFont().FontColor(), platform::RGB(0, 0, 255));
    EXPECT_EQ(p->TitleAlignment(), globe::taTopRight);
    EXPECT_EQ(p->TitleOffset(), 4);
  }
}

TEST_F(ConvertTest, CollectionsSplitByKindAndFeaturesWithoutGeometryAreLeftOut) {
  options.TitleProperty = "name";
  const TConvertResult result = ConvertText("collection.geojson", R"({
    "type": "FeatureCollection", "features": [
      {"type": "Feature", "properties": {"name": "Port"}, "geometry": {"type": "GeometryCollection",
        "geometries": [{"type": "Point", "coordinates": [10, 50]},
                       {"type": "LineString", "coordinates": [[10, 50], [11, 51]]},
                       {"type": "Point", "coordinates": [12, 52]}]}},
      {"type": "Feature", "properties": {"name": "Nowhere"}, "geometry": null},
      {"type": "Feature", "properties": {"name": "Empty"}, "geometry": {"type": "MultiPolygon",
        "coordinates": []}},
      {"type": "Feature", "properties": {"name": "Shore"}, "geometry": {"type": "Polygon",
        "coordinates": [[[5, 5], [6, 5], [6, 6], [5, 5]], [[7, 7], [7, 7.1], [7, 7]]]}},
      {"type": "Feature", "properties": {"name": "Speck"}, "geometry": {"type": "Polygon",
        "coordinates": [[[1, 1], [2, 2], [1, 1]], [[3, 3], [3, 3]]]}}]})");
  EXPECT_EQ(result.Objects, 4);
  EXPECT_EQ(result.Skipped, 2);

  const auto opened = Open();
  const auto& objects = opened->contents.Objects;
  ASSERT_EQ(objects.size(), 4U);
  EXPECT_EQ(objects[0].PresenterID, kPolylinePresenterID);
  EXPECT_EQ(objects[1].PresenterID, kPointPresenterID);
  EXPECT_EQ(objects[1].Chains, (std::vector<std::vector<TPointLL>>{{Deg(10, 50), Deg(12, 52)}}));
  EXPECT_EQ(objects[0].Title, "Port");
  EXPECT_EQ(objects[1].Title, "Port");
  // A ring too small to be one goes beside a real ring; a feature of such rings alone keeps
  // the longest of them, so that it stays on the map with its title.
  EXPECT_EQ(objects[2].Chains.size(), 1U);
  EXPECT_EQ(objects[3].Title, "Speck");
  EXPECT_EQ(objects[3].Chains, (std::vector<std::vector<TPointLL>>{{Deg(1, 1), Deg(2, 2)}}));
}

TEST_F(ConvertTest, TitlesAndIDsComeFromPropertiesOfAnyType) {
  options.TitleProperty = "name";
  options.IDProperty = "id";
  const TConvertResult result = ConvertText("titles.geojson", R"({
    "type": "FeatureCollection", "features": [
      {"type": "Feature", "id": "004", "properties": {"name": "Café Zürich"},
       "geometry": {"type": "Point", "coordinates": [0, 0]}},
      {"type": "Feature", "id": 7, "properties": {"name": "Ελλάδα", "id": -12},
       "geometry": {"type": "Point", "coordinates": [1, 0]}},
      {"type": "Feature", "properties": {"name": 42.5},
       "geometry": {"type": "Point", "coordinates": [2, 0]}},
      {"type": "Feature", "properties": null, "geometry": {"type": "Point", "coordinates": [3, 0]}},
      {"type": "Feature", "properties": {"name": null, "id": 2147483647},
       "geometry": {"type": "Point", "coordinates": [4, 0]}}]})");
  ASSERT_EQ(result.Objects, 5);
  const auto opened = Open();
  const auto& objects = opened->contents.Objects;
  const std::vector<std::pair<std::string, std::int32_t>> expected{
      {"Café Zürich", 4}, {"??????", -12}, {"42.5", 0}, {"", 0}, {"", 2147483647}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(objects[i].Title, expected[i].first) << i;
    EXPECT_EQ(objects[i].ID, expected[i].second) << i;
  }
}

TEST_F(ConvertTest, ZoomRangeAndLongitudeWrapReachEveryObject) {
  options.ZoomMin = globe::UnitsToGU(globe::TGlobeUnitTypes::Kilometer, 0);
  options.ZoomMax = globe::UnitsToGU(globe::TGlobeUnitTypes::Kilometer, 5000);
  ConvertText("far.geojson", R"({"type": "MultiPoint", "coordinates": [[190, 0], [-180, 89.5]]})");
  const auto opened = Open();
  ASSERT_EQ(opened->contents.Objects.size(), 1U);
  const TReadObject& o = opened->contents.Objects[0];
  EXPECT_EQ(o.ZoomMin, 0);
  EXPECT_EQ(o.ZoomMax, globe::UnitsToGU(globe::TGlobeUnitTypes::Kilometer, 5000));
  EXPECT_EQ(o.Chains, (std::vector<std::vector<TPointLL>>{{Deg(-170, 0), Deg(-180, 89.5)}}));
}

TEST_F(ConvertTest, SimplificationDropsPointsWithinTheToleranceAndKeepsEveryRing) {
  // A line of 101 points along the equator with a 0.001° (110 m) wobble, and a tiny ring.
  std::string line;
  for (int i = 0; i <= 100; ++i) {
    line += i ? ",[" : "[";
    line += std::to_string(i * 0.1);
    line += i % 2 ? ",0.001]" : ",0]";
  }
  const std::string text = R"({"type": "FeatureCollection", "features": [
      {"type": "Feature", "geometry": {"type": "LineString", "coordinates": [)" +
                           line + R"(]}},
      {"type": "Feature", "geometry": {"type": "Polygon", "coordinates":
        [[[0, 0], [0.01, 0], [0.01, 0.01], [0.005, 0.011], [0, 0.01], [0, 0]]]}}]})";
  options.SimplifyKm = 1;
  ConvertText("wobble.geojson", text);
  {
    const auto opened = Open();
    const auto& objects = opened->contents.Objects;
    ASSERT_EQ(objects.size(), 2U);
    EXPECT_EQ(objects[0].Chains, (std::vector<std::vector<TPointLL>>{{Deg(0, 0), Deg(10, 0)}}));
    EXPECT_EQ(objects[1].Chains[0].size(), 3U);
  }
  // Off by default, and a tolerance below the wobble keeps it.
  options.SimplifyKm = 0;
  EXPECT_EQ(ConvertText("wobble.geojson", text).Points, 101 + 5);
  options.SimplifyKm = 0.05;
  EXPECT_EQ(ConvertText("wobble.geojson", text).Points, 101 + 5);
}

// ---- TopoJSON -----------------------------------------------------------------------------

// Two squares sharing an edge (arc 1), quantized with a transform of 0.5° steps from
// (10°, 40°); the second square runs arc 1 backwards. Plus a point and a null geometry.
constexpr std::string_view kTopology = R"({
  "type": "Topology",
  "transform": {"scale": [0.5, 0.5], "translate": [10, 40]},
  "arcs": [
    [[2, 2], [-2, 0], [0, -2], [2, 0]],
    [[2, 0], [0, 2]],
    [[2, 0], [2, 0], [0, 2], [-2, 0]]
  ],
  "objects": {
    "fields": {"type": "GeometryCollection", "geometries": [
      {"type": "Polygon", "arcs": [[0, 1]], "properties": {"name": "West"}, "id": "12"},
      {"type": "Polygon", "arcs": [[2, -2]], "properties": {"name": "East"}, "id": 13},
      {"type": null, "properties": {"name": "Lost"}}
    ]},
    "well": {"type": "Point", "coordinates": [3, 3], "properties": {"name": "Well"}}
  }
})";

TEST_F(ConvertTest, TopologyArcsAreDecodedJoinedAndReversed) {
  options.TitleProperty = "name";
  options.IDProperty = "id";
  const TConvertResult result = ConvertText("fields.topojson", kTopology);
  EXPECT_EQ(result.Objects, 3);
  EXPECT_EQ(result.Skipped, 1);

  const auto opened = Open();
  const auto& objects = opened->contents.Objects;
  ASSERT_EQ(objects.size(), 3U);
  // West: arc 0 (11,41 10,41 10,40 11,40), then arc 1 (11,40 11,41) without the joint it
  // shares with arc 0, and without the closing point.
  EXPECT_EQ(objects[0].Title, "West");
  EXPECT_EQ(objects[0].ID, 12);
  EXPECT_EQ(
      objects[0].Chains,
      (std::vector<std::vector<TPointLL>>{{Deg(11, 41), Deg(10, 41), Deg(10, 40), Deg(11, 40)}}));
  // East: arc 2 (11,40 12,40 12,41 11,41), then arc 1 backwards (11,41 11,40).
  EXPECT_EQ(objects[1].ID, 13);
  EXPECT_EQ(
      objects[1].Chains,
      (std::vector<std::vector<TPointLL>>{{Deg(11, 40), Deg(12, 40), Deg(12, 41), Deg(11, 41)}}));
  EXPECT_EQ(objects[2].Title, "Well");
  EXPECT_EQ(objects[2].Centroid, Deg(11.5, 41.5));
}

TEST_F(ConvertTest, TopologyObjectsCanBeChosenByName) {
  options.Object = "well";
  EXPECT_EQ(ConvertText("fields.json", kTopology).Objects, 1);
  options.Object = "roads";
  try {
    ConvertText("fields.json", kTopology);
    FAIL() << "an unknown object was accepted";
  } catch (const EConvertUsage& e) {
    EXPECT_NE(std::string(e.what()).find("no object 'roads'; it has fields, well"),
              std::string::npos)
        << e.what();
  }
}

TEST_F(ConvertTest, PlainTopologyWithoutTransform) {
  ConvertText("plain.topojson", R"({"type": "Topology", "arcs": [[[1.5, 2.5], [3, 4]]],
    "objects": {"line": {"type": "MultiLineString", "arcs": [[0], [-1]]}}})");
  const auto opened = Open();
  ASSERT_EQ(opened->contents.Objects.size(), 1U);
  EXPECT_EQ(
      opened->contents.Objects[0].Chains,
      (std::vector<std::vector<TPointLL>>{{Deg(1.5, 2.5), Deg(3, 4)}, {Deg(3, 4), Deg(1.5, 2.5)}}));
}

// ---- Shapefiles and MIF/MID -------------------------------------------------------------

/// The same features from GeoJSON and from the shapefiles and MIF file made of it give the
/// same objects (the fixtures hold coordinates exact in both).
TEST_F(ConvertTest, ShapefilesAndMIFGiveWhatTheirGeoJSONSourceGives) {
  const std::string data = ORVANE_TEST_DATA_DIR;
  options.Input = data + "/shp/source.geojson";
  options.TitleProperty = "name";
  Convert(options);
  const std::vector<TReadObject> fromJson = Open()->contents.Objects;
  ASSERT_EQ(fromJson.size(), 8U);

  options.TitleProperty.clear();
  options.TitleColumn = 2;
  std::vector<TReadObject> fromShapes;
  for (const char* name : {"points", "lines", "polygons", "multipoints"}) {
    options.Input = data + "/shp/" + name + ".shp";
    Convert(options);
    const auto opened = Open();
    for (TReadObject& o : opened->contents.Objects) fromShapes.push_back(std::move(o));
  }
  ASSERT_EQ(fromShapes.size(), fromJson.size());
  for (std::size_t i = 0; i < fromJson.size(); ++i) {
    EXPECT_EQ(fromShapes[i].Title, fromJson[i].Title) << i;
    EXPECT_EQ(fromShapes[i].PresenterID, fromJson[i].PresenterID) << fromJson[i].Title;
    EXPECT_EQ(fromShapes[i].Closed, fromJson[i].Closed) << fromJson[i].Title;
    // Shapefile rings run clockwise, GeoJSON's outer rings the other way: compare as sets.
    ASSERT_EQ(fromShapes[i].Chains.size(), fromJson[i].Chains.size()) << fromJson[i].Title;
    for (std::size_t c = 0; c < fromJson[i].Chains.size(); ++c) {
      auto a = fromShapes[i].Chains[c], b = fromJson[i].Chains[c];
      const auto less = [](const TPointLL& p, const TPointLL& q) {
        return std::tie(p.iLongX, p.iLatY) < std::tie(q.iLongX, q.iLatY);
      };
      std::sort(a.begin(), a.end(), less);
      std::sort(b.begin(), b.end(), less);
      EXPECT_EQ(a, b) << fromJson[i].Title << " chain " << c;
    }
    if (fromJson[i].Chains.empty()) {
      EXPECT_EQ(fromShapes[i].Centroid, fromJson[i].Centroid);
    }
  }

  // The MIF file holds the multipoint as three points; everything else as above.
  options.Input = data + "/mif/features.mif";
  const TConvertResult mif = Convert(options);
  EXPECT_EQ(mif.Objects, 10);
  const auto opened = Open();
  const auto& objects = opened->contents.Objects;
  EXPECT_EQ(objects[0].Title, "Café Zürich");
  EXPECT_EQ(objects[6].Title, "Islands");
  EXPECT_EQ(objects[6].PresenterID, kPolygonPresenterID);
  EXPECT_EQ(objects[6].Chains.size(), 3U);
  EXPECT_EQ(objects[4].PresenterID, kPolylinePresenterID);
}

TEST_F(ConvertTest, TitleColumnsBeyondTheTableAreOptionErrors) {
  const std::string data = ORVANE_TEST_DATA_DIR;
  for (const char* input : {"/shp/points.shp", "/mif/features.mif"}) {
    options.Input = data + input;
    options.TitleColumn = 5;
    EXPECT_THROW(Convert(options), EConvertUsage) << input;
    options.TitleColumn = 0;
    const TConvertResult r = Convert(options);
    EXPECT_GT(r.Objects, 0) << input;
    const auto opened = Open();
    for (const TReadObject& o : opened->contents.Objects) EXPECT_EQ(o.Title, "") << input;
  }
}

// ---- Input that is not valid --------------------------------------------------------------

struct TBadInput {
  const char* Name;
  std::string_view Text;
  const char* Message;  // a part of the error message
};

TEST_F(ConvertTest, InvalidInputIsRefusedWithTheFileAndThePlaceNamed) {
  const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
  const std::string nested = [] {
    std::string s = R"({"type": "Point", "coordinates": [0, 0]})";
    for (int i = 0; i < 40; ++i) s = R"({"type": "GeometryCollection", "geometries": [)" + s + "]}";
    return s;
  }();
  const std::vector<TBadInput> cases{
      {"a.geojson", R"({"type": "FeatureCollection", "features": [)", "is not valid JSON"},
      {"a.geojson", "", "is not valid JSON"},
      {"a.geojson", deep, "\"type\""},
      {"a.geojson", nested, "nested too deeply"},
      {"a.geojson", R"([1, 2])", "an object with a \"type\""},
      {"a.geojson", R"({"type": "FeatureCollection", "features": {}})",
       "\"features\" must be an array"},
      {"a.geojson", R"({"type": "FeatureCollection", "features": [{"type": "Feature",
         "geometry": {"type": "Polygon", "coordinates": [[[0, 0], [1, "x"], [0, 1]]]}}]})",
       "feature 0: a position must be [longitude, latitude], not [1,\"x\"]"},
      {"a.geojson", R"({"type": "FeatureCollection", "features": [{"type": "Feature",
         "geometry": {"type": "Point", "coordinates": [0, 0]}},
         {"type": "Feature", "geometry": {"type": "Point", "coordinates": [1e300, 0]}}]})",
       "feature 1: position (1e+300, 0) is not a longitude"},
      {"a.geojson", R"({"type": "Point", "coordinates": [0, 90.5]})", "latitude of -90 to 90"},
      {"a.geojson", R"({"type": "Point", "coordinates": [0, 1e999]})", "is not valid JSON"},
      {"a.geojson", R"({"type": "Circle", "coordinates": [0, 0]})",
       "unknown geometry type 'Circle'"},
      {"a.geojson", R"({"type": "Feature", "properties": 5, "geometry": {"type": "Point",
         "coordinates": [0, 0]}})",
       "\"properties\" must be an object"},
      {"a.geojson", R"({"type": "Feature", "properties": {"id": "x1"}, "geometry":
         {"type": "Point", "coordinates": [0, 0]}})",
       "the ID 'id' is \"x1\", not a whole number"},
      {"a.geojson", R"({"type": "Feature", "properties": {"id": 2147483648}, "geometry":
         {"type": "Point", "coordinates": [0, 0]}})",
       "not a whole number"},
      {"a.topojson", R"({"type": "FeatureCollection", "features": []})", "is not TopoJSON"},
      {"a.topojson", R"({"type": "Topology", "arcs": [[[0, 0], [1, 1]]], "objects": {"x":
         {"type": "LineString", "arcs": [1]}}})",
       "object 'x': arc 1 does not exist (the topology has 1 arcs)"},
      {"a.topojson", R"({"type": "Topology", "arcs": [[[0, 0], [1, 1]]], "objects": {"x":
         {"type": "LineString", "arcs": [-3]}}})",
       "arc -3 does not exist"},
      {"a.topojson", R"({"type": "Topology", "arcs": [[[0, 0], [1, 1]]], "objects": {"x":
         {"type": "LineString", "arcs": [-9223372036854775808]}}})",
       "does not exist"},
      {"a.topojson", R"({"type": "Topology", "arcs": [[[0, 0], [1, 1]]], "objects": {"x":
         {"type": "LineString", "arcs": [18446744073709551615]}}})",
       "does not exist"},
      {"a.topojson", R"({"type": "Topology", "arcs": [[[0, 0], [1, 1]]], "objects": {"x":
         {"type": "LineString", "arcs": [0.5]}}})",
       "an arc index must be a whole number"},
      {"a.topojson", R"({"type": "Topology", "arcs": [[[0, 0], [1, 1]]], "objects": {"x":
         {"type": "GeometryCollection", "geometries": [{"type": "Polygon", "arcs": [0]}]}}})",
       "object 'x', geometry 0: a list of arc indexes is expected"},
      {"a.topojson", R"({"type": "Topology", "transform": {"scale": [1e300, 1e300],
         "translate": [0, 0]}, "arcs": [[[1e300, 1e300], [1, 1]]], "objects": {"x":
         {"type": "LineString", "arcs": [0]}}})",
       "arc 0: position (inf, inf)"},
      {"a.topojson", R"({"type": "Topology", "arcs": 3, "objects": {}})",
       "\"arcs\" must be an array"},
      {"a.topojson", R"({"type": "Topology", "arcs": [], "objects": []})",
       "\"objects\" must be an object"},
      {"a.topojson",
       R"({"type": "Topology", "transform": {"scale": [1]}, "arcs": [], "objects": {}})",
       "the transform"},
  };
  options.IDProperty = "id";
  for (const TBadInput& c : cases) {
    std::filesystem::remove(options.Output);
    try {
      ConvertText(c.Name, c.Text);
      ADD_FAILURE() << "accepted: " << c.Text.substr(0, 200);
    } catch (const EConvertFiles& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(c.Message), std::string::npos)
          << "message: " << message << "\nexpected: " << c.Message;
      EXPECT_NE(message.find(Path(c.Name)), std::string::npos) << message;
    }
    EXPECT_FALSE(std::filesystem::exists(options.Output)) << c.Text.substr(0, 200);
  }
}

TEST_F(ConvertTest, ArcsReferencedOverAndOverCannotExhaustMemory) {
  // A 1,000-point arc named 200 times: twice the points allowed, from a file of 7 KB.
  options.MaxPoints = 100'000;
  std::string arc = "[0,0]";
  for (int i = 1; i < 1'000; ++i) arc += ",[1,0]";
  std::string refs = "0";
  for (int i = 1; i < 200; ++i) refs += ",0";
  const std::string text = R"({"type": "Topology", "transform": {"scale": [0.0001, 0.0001],
    "translate": [0, 0]}, "arcs": [[)" +
                           arc + R"(]], "objects": {"x": {"type": "LineString",
    "arcs": [)" + refs + "]}}}";
  try {
    ConvertText("bomb.topojson", text);
    FAIL() << "accepted";
  } catch (const EConvertFiles& e) {
    EXPECT_NE(std::string(e.what()).find("more than the converter handles"), std::string::npos)
        << e.what();
  }
}

TEST_F(ConvertTest, FilesThatCannotBeReadOrWrittenAreNamed) {
  options.Input = Path("missing.geojson");
  try {
    Convert(options);
    FAIL();
  } catch (const EConvertFiles& e) {
    EXPECT_NE(std::string(e.what()).find("no such file"), std::string::npos) << e.what();
  }
  options.Output = Path("no/such/folder/out.lyr");
  try {
    ConvertText("ok.geojson", R"({"type": "Point", "coordinates": [0, 0]})");
    FAIL();
  } catch (const EConvertFiles& e) {
    EXPECT_NE(std::string(e.what()).find("cannot write '" + options.Output + "'"),
              std::string::npos)
        << e.what();
  }
  // A shapefile whose header is damaged: the reader's error, with the file named.
  const std::string bad = Write("bad.shp", std::string(100, 'x'));
  options.Input = bad;
  options.Output = Path("out.lyr");
  try {
    Convert(options);
    FAIL();
  } catch (const EConvertFiles& e) {
    EXPECT_NE(std::string(e.what()).find("cannot read '" + bad + "'"), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(options.Output));
}

}  // namespace
}  // namespace orvane::convert
