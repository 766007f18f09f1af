// The Natural Earth countries made dense by GDAL (ogr2ogr -segmentize 0.01: every edge cut
// into pieces of at most 0.01°, the edges across 180° the long way round the map) draw like
// the countries themselves on every model, and like gdal_rasterize on the flat map; rings
// of more than 65,535 and 1,000,000 points draw whole. The files are made at test time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "globe/core/units.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/projection/models.h"
#include "globe/projection/projection.h"
#include "globe/readers/loader.h"
#include "globe/render/attributes.h"
#include "globe/view/globe.h"

namespace globe::testing {
namespace {

using platform::TColor;
namespace fs = std::filesystem;
constexpr TColor kSea = platform::RGB(20, 40, 120);
constexpr TColor kLand = platform::RGB(200, 190, 150);
const std::string kCountries = ORVANE_TEST_DATA_DIR "/countries/countries-110m.shp";

/// Runs a GDAL program; false (with its output in the failure message) when it fails.
::testing::AssertionResult RunGdal(const char* Program, const QStringList& Arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(QStandardPaths::findExecutable(Program), Arguments);
  if (!process.waitForFinished(120'000) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    return ::testing::AssertionFailure()
           << Program << " failed: " << process.readAll().toStdString();
  }
  return ::testing::AssertionSuccess();
}

/// A land/sea picture, true for land.
struct TLandMap {
  std::int32_t W = 0, H = 0;
  std::vector<bool> Land;
  [[nodiscard]] bool At(std::int32_t X, std::int32_t Y) const {
    return Land[static_cast<std::size_t>(Y) * W + X];
  }
  /// Whether the pixels within Reach of this one (those on the picture) are all of one kind.
  [[nodiscard]] bool Uniform(std::int32_t X, std::int32_t Y, std::int32_t Reach = 1) const {
    for (std::int32_t y = std::max(Y - Reach, 0); y <= std::min(Y + Reach, H - 1); ++y)
      for (std::int32_t x = std::max(X - Reach, 0); x <= std::min(X + Reach, W - 1); ++x)
        if (At(x, y) != At(X, Y)) return false;
    return true;
  }
};

/// The land of an engine picture. Neighbours meet on corners rounded to whole pixels and
/// thinned apart, which leaves seams of sea a pixel wide between them: with Seams, a sea
/// pixel with land on two opposite sides counts as land (as do straits a pixel wide).
TLandMap LandOf(const platform::TBitmap& B, bool Seams = true) {
  TLandMap m{B.Width(), B.Height(), {}};
  m.Land.resize(static_cast<std::size_t>(m.W) * m.H);
  for (std::int32_t y = 0; y < m.H; ++y)
    for (std::int32_t x = 0; x < m.W; ++x)
      m.Land[static_cast<std::size_t>(y) * m.W + x] = B.Pixel(x, y) == kLand;
  if (!Seams) return m;
  TLandMap closed = m;
  for (std::int32_t y = 1; y + 1 < m.H; ++y) {
    for (std::int32_t x = 1; x + 1 < m.W; ++x) {
      if (m.At(x, y)) continue;
      const bool seam = (m.At(x - 1, y) && m.At(x + 1, y)) || (m.At(x, y - 1) && m.At(x, y + 1)) ||
                        (m.At(x - 1, y - 1) && m.At(x + 1, y + 1)) ||
                        (m.At(x - 1, y + 1) && m.At(x + 1, y - 1));
      if (seam) closed.Land[static_cast<std::size_t>(y) * m.W + x] = true;
    }
  }
  return closed;
}

void Save(const platform::TBitmap& B, const std::string& Name) {
  const QImage image(B.ScanLine(0), B.Width(), B.Height(), B.Stride(), QImage::Format_RGB32);
  image.save(QCoreApplication::applicationDirPath() + "/" + QString::fromStdString(Name));
}

/// A globe of W × H pixels showing one layer, every object filled and outlined in the land
/// colour, so that the geometry alone decides the picture (the outline closes the seams
/// that rounding leaves between neighbours).
struct TMapView {
  TGlobe4 globe;
  std::int32_t Width, Height;
  TMapView(const std::string& File, std::int32_t W, std::int32_t H) : Width(W), Height(H) {
    globe.SetSaveMetaDataLocation(smdDiscard);
    globe.SetSurfaceColor(kSea);
    globe.SetGraticuleDrawMode(gdNone);
    globe.Resize(W, H);
    EXPECT_EQ(AddLayerFromFile(globe, File), 0) << File;
    TGlobeLayer& layer = globe.Layers().GetLayer(0);
    TGlobeObjectSource& source = layer.Objects();
    auto land = std::make_unique<TPolygonPresenter>(&globe, 77);
    land->PolyPen().Define(kLand, platform::psSolid, 1, TGlobeUnitTypes::Pixel);
    land->PolyBrush().Define(kLand, bsSolid);
    layer.Presenters().Add(std::move(land));
    for (std::int32_t i = 0; i < source.Count(); ++i) source.SetPresenterID(i, 77);
  }
  TGlobeProjection& P() { return globe.Projection(); }
  std::shared_ptr<platform::TBitmap> Draw() { return globe.GetBitmap(Width, Height); }
};

/// Plate carrée of Scale pixels per degree filling the picture.
void FlatWorld(TMapView& V, std::int32_t Scale) {
  TGlobeProjection& P = V.P();
  P.SetProjectionClass("TCartesianPrj");
  P.SetCentralMeridian(0);
  P.SetScaleFactor(static_cast<Extended>(Scale) / GU_DEGREE);
  P.SetXOrigin(180 * Scale);
  P.SetYOrigin(90 * Scale);
}

class DenseCountriesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = fs::temp_directory_path() / ("orvane-dense-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
  }
  static void TearDownTestSuite() { fs::remove_all(folder_); }

  void SetUp() override {
    for (const char* program : {"ogr2ogr", "gdal_rasterize"}) {
      if (QStandardPaths::findExecutable(program).isEmpty())
        GTEST_SKIP() << program << " (GDAL, Debian package gdal-bin) is not installed";
    }
  }

  /// The countries densified to 0.01°, made once.
  static std::string Dense() {
    const fs::path dense = folder_ / "dense.shp";
    if (!fs::exists(dense)) {
      EXPECT_TRUE(RunGdal("ogr2ogr", {"-segmentize", "0.01", QString::fromStdString(dense.string()),
                                      QString::fromStdString(kCountries)}));
    }
    return dense.string();
  }

  static fs::path folder_;
};

fs::path DenseCountriesTest::folder_;

// Two pixels per degree: gdal_rasterize burns the pixels whose centres lie inside a ring on
// the same grid (-te -180 -90 180 90).
TEST_F(DenseCountriesTest, FlatMapDrawsTheDenseFileAsTheFileItselfAndAsGdal) {
  constexpr std::int32_t S = 2, W = 360 * S, H = 180 * S;
  const std::string dense = Dense();
  TMapView original(kCountries, W, H), densified(dense, W, H);
  FlatWorld(original, S);
  FlatWorld(densified, S);
  const auto a = original.Draw(), b = densified.Draw();
  ASSERT_TRUE(a && b);
  Save(*a, "dense-original-flat.png");
  Save(*b, "dense-flat.png");
  const TLandMap mapA = LandOf(*a), mapB = LandOf(*b);

  const fs::path raster = fs::path(dense).replace_extension(".bil");
  ASSERT_TRUE(RunGdal("gdal_rasterize",
                      {"-burn", "1", "-ot", "Byte", "-of", "EHdr", "-te", "-180", "-90", "180",
                       "90", "-ts", QString::number(W), QString::number(H),
                       QString::fromStdString(dense), QString::fromStdString(raster.string())}));
  std::ifstream in(raster, std::ios::binary);
  std::vector<char> burnt(static_cast<std::size_t>(W) * H);
  ASSERT_TRUE(in.read(burnt.data(), static_cast<std::streamsize>(burnt.size())));
  TLandMap gdal{W, H, std::vector<bool>(burnt.size())};
  for (std::size_t i = 0; i < burnt.size(); ++i) gdal.Land[i] = burnt[i] != 0;

  // Rows GDAL draws otherwise: it takes an edge across 180° the long way, as a stripe round
  // the map (Russia and Chukotka at 64.9°…69.1° N and 71.5° N, Fiji at 16°…17° S), and the
  // edge of Antarctica along 84.7° S for the coast, leaving the pole out.
  const auto gdalOwnRow = [](std::int32_t Y) {
    const double lat = 90 - (Y + 0.5) / S;
    return (lat > 64.5 && lat < 72) || (lat > -17.5 && lat < -15.5) || lat < -84;
  };
  std::int64_t differ = 0, offCoast = 0, checked = 0;
  for (std::int32_t y = 0; y < H; ++y) {
    for (std::int32_t x = 0; x < W; ++x) {
      // The engine puts the corners of both on whole pixels: the pixels along a coast fall
      // either way with the points in between, no other.
      if (mapA.At(x, y) != mapB.At(x, y) && mapA.Uniform(x, y)) ++differ;
      if (gdalOwnRow(y)) continue;
      ++checked;
      if (mapA.At(x, y) == gdal.At(x, y)) continue;
      // GDAL takes the corners exact: again the pixels along a coast may fall either way.
      if (gdal.Uniform(x, y, 2)) ++offCoast;
    }
  }
  // What is left are the odd pixels where a thinned corner or an island smaller than a
  // pixel falls otherwise: a lost or added country is thousands.
  EXPECT_LT(differ, W * H / 5000) << "pixels off the coasts where the dense file draws otherwise";
  EXPECT_LT(offCoast, checked / 5000) << "pixels off the coasts where the engine and GDAL disagree";
  // Antarctica, Russia's mainland and Fiji are land, deep inside.
  for (const auto& [lon, lat] : {std::pair{0.0, -80.0}, {100.0, 62.0}, {178.2, -17.8}})
    EXPECT_TRUE(mapB.At(static_cast<std::int32_t>((180 + lon) * S),
                        static_cast<std::int32_t>((90 - lat) * S)))
        << lon << ", " << lat;
}

// The discs have no reference of their own: a pixel is checked against the flat picture of
// the file itself at the place the inverse projection gives, where that picture is all land
// or all sea for ¾° round it. The outer part of a disc, where a pixel spans
// degrees, is left out.
TEST_F(DenseCountriesTest, SphereAndAzimuthalMapShowEveryCountryOfTheDenseFile) {
  constexpr std::int32_t S = 4, kReach = 3;
  TMapView reference(kCountries, 360 * S, 180 * S);
  FlatWorld(reference, S);
  const auto referencePicture = reference.Draw();
  ASSERT_TRUE(referencePicture);
  const TLandMap ref = LandOf(*referencePicture, false);

  struct TCase {
    const char* Name;
    const char* Model;
    double Lat, Long;
    double Inner;  // the part of the radius checked
  };
  const TCase cases[] = {
      {"sphere-south-pole", "TSphericalPrj", -90, 0, 0.7},
      {"sphere-chukotka", "TSphericalPrj", 66, 178, 0.7},
      {"sphere-fiji", "TSphericalPrj", -17, 179, 0.7},
      {"azimuthal-antarctica", "TAzimuthalPrj", -75, 20, 0.8},
      {"azimuthal-bering", "TAzimuthalPrj", 60, 175, 0.8},
  };
  constexpr std::int32_t W = 1000, H = 1000;
  TMapView view(Dense(), W, H);
  TGlobeProjection& P = view.P();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    P.SetProjectionClass(c.Model);
    P.SetScaleFactor(0);  // the whole earth
    view.globe.LocateToLL(static_cast<std::int32_t>(std::lround(c.Long * GU_DEGREE)),
                          static_cast<std::int32_t>(std::lround(c.Lat * GU_DEGREE)));
    const auto picture = view.Draw();
    ASSERT_TRUE(picture);
    Save(*picture, std::string("dense-") + c.Name + ".png");
    const TLandMap map = LandOf(*picture);
    const auto* azimuthal = dynamic_cast<const TAzimuthalPrj*>(&P.ProjectionModel());
    const double radius = static_cast<double>(
        azimuthal != nullptr ? azimuthal->RimRadius() : P.ScaleFactor() * GU_EARTH_RADIUS);
    std::int64_t checked = 0, wrong = 0, land = 0;
    for (std::int32_t y = 0; y < H; y += 2) {
      for (std::int32_t x = 0; x < W; x += 2) {
        if (std::hypot(x - P.XOrigin(), y - P.YOrigin()) > c.Inner * radius) continue;
        TPointLL ll;
        if (!P.DeviceXYToLL(x, y, ll)) continue;
        const auto rx = std::clamp<std::int32_t>(
            static_cast<std::int32_t>(std::floor((ll.iLongX / double{GU_DEGREE} + 180) * S)), 0,
            ref.W - 1);
        const auto ry = std::clamp<std::int32_t>(
            static_cast<std::int32_t>(std::floor((90 - ll.iLatY / double{GU_DEGREE}) * S)), 0,
            ref.H - 1);
        if (!ref.Uniform(rx, ry, kReach)) continue;
        ++checked;
        if (ref.At(rx, ry)) ++land;
        if (map.At(x, y) != ref.At(rx, ry)) ++wrong;
      }
    }
    EXPECT_GT(land, checked / 20);  // the check saw land, not only sea
    // An odd pixel among islands and straits may fall otherwise; a lost country is thousands.
    EXPECT_LE(wrong, checked / 10000) << "of " << checked << " pixels checked";
  }
}

// Rings beyond a 16-bit count and beyond a million points, densified as above: a box across
// 180° (144,000 points) and a coast round the south pole closed along its own parallel the
// long way round (1.1 million), which encloses the pole as the same ring without the
// points in between does.
TEST_F(DenseCountriesTest, RingsOfMoreThan65535AndAMillionPointsDrawWhole) {
  const fs::path box = folder_ / "box.geojson", cap = folder_ / "cap.geojson",
                 file = folder_ / "long.shp";
  std::string coast;
  for (int lon = -180; lon <= 180; lon += 10) {
    const double lat = -65 + 5 * std::sin(3 * lon * 3.14159265358979 / 180);
    coast += "[" + std::to_string(lon) + "," + std::to_string(lat) + "],";
  }
  const auto polygon = [](const std::string& Ring) {
    return R"({"type":"FeatureCollection","features":[{"type":"Feature","properties":{},)"
           R"("geometry":{"type":"Polygon","coordinates":[[)" +
           Ring + "]]}}]}";
  };
  std::ofstream(box) << polygon("[170,-40],[-170,-40],[-170,-20],[170,-20],[170,-40]");
  std::ofstream(cap) << polygon(coast + "[-180,-65]");
  ASSERT_TRUE(RunGdal("ogr2ogr", {"-segmentize", "0.005", QString::fromStdString(file.string()),
                                  QString::fromStdString(box.string())}));
  ASSERT_TRUE(RunGdal(
      "ogr2ogr", {"-append", "-nln", "long", "-segmentize", "0.0007",
                  QString::fromStdString(file.string()), QString::fromStdString(cap.string())}));

  constexpr std::int32_t W = 720, H = 360;
  TMapView view(file.string(), W, H);
  {
    TGlobeObjectSource& source = view.globe.Layers().GetLayer(0).Objects();
    ASSERT_EQ(source.Count(), 2);
    const auto points = [&source](std::int32_t i) {
      return dynamic_cast<TGeoDataObject&>(source.GetObject(i)).Chains().GetChain(0).Count();
    };
    EXPECT_GT(points(0), 140'000);
    EXPECT_GT(points(1), 1'000'000);
  }
  struct TCase {
    const char* Model;
    double Lat, Long;  // the centre
  };
  const TCase views[] = {{"TCartesianPrj", 0, 0},
                         {"TSphericalPrj", -60, 180},
                         {"TSphericalPrj", -90, 0},
                         {"TAzimuthalPrj", -50, 170}};
  TGlobeProjection& P = view.P();
  for (const TCase& c : views) {
    SCOPED_TRACE(c.Model + (" " + std::to_string(c.Lat)));
    if (std::string(c.Model) == "TCartesianPrj") {
      FlatWorld(view, 2);
    } else {
      P.SetProjectionClass(c.Model);
      P.SetScaleFactor(0);
      view.globe.LocateToLL(static_cast<std::int32_t>(std::lround(c.Long * GU_DEGREE)),
                            static_cast<std::int32_t>(std::lround(c.Lat * GU_DEGREE)));
    }
    const auto picture = view.Draw();
    ASSERT_TRUE(picture);
    const auto kind = [&](double Long, double Lat) {
      TPoint pt;
      if (!P.PointLLToXY(PointLL(static_cast<std::int32_t>(std::lround(Long * GU_DEGREE)),
                                 static_cast<std::int32_t>(std::lround(Lat * GU_DEGREE))),
                         pt) ||
          pt.X < 0 || pt.Y < 0 || pt.X >= W || pt.Y >= H)
        return "hidden";
      return picture->Pixel(pt.X, pt.Y) == kLand ? "land" : "sea";
    };
    // In the box, and round the pole; not along the parallels the long runs follow.
    for (const auto& [lon, lat] :
         {std::pair{175.0, -30.0}, {-175.0, -30.0}, {0.0, -85.0}, {90.0, -80.0}, {-120.0, -72.0}}) {
      const std::string k = kind(lon, lat);
      if (k != "hidden") {
        EXPECT_EQ(k, "land") << lon << ", " << lat;
      }
    }
    for (const auto& [lon, lat] : {std::pair{0.0, -30.0}, {-90.0, -30.0}, {60.0, -55.0}}) {
      const std::string k = kind(lon, lat);
      if (k != "hidden") {
        EXPECT_EQ(k, "sea") << lon << ", " << lat;
      }
    }
  }
}

}  // namespace
}  // namespace globe::testing
