// The Natural Earth countries at 1:110m, written by ogr2ogr as a shapefile and as MIF/MID
// (tests/data/countries/make.sh), open through the layer loader and draw like the same
// countries in the globe's own layer format, and like the shipped world.lyr (1:50m).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "globe/core/units.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/projection/projection.h"
#include "globe/readers/loader.h"
#include "globe/readers/lyr.h"
#include "globe/render/attributes.h"
#include "globe/view/globe.h"
#include "platform/filesystem.h"
#include "tests/support/lookpicture.h"

namespace globe::testing {
namespace {

using platform::TColor;
constexpr TColor kSea = platform::RGB(20, 40, 120);
constexpr TColor kLand = platform::RGB(200, 190, 150);
constexpr std::int32_t kW = 720, kH = 360;
const std::string kData = ORVANE_TEST_DATA_DIR "/countries/countries-110m";

/// A flat map of two pixels per degree with one layer, every object of which is drawn with
/// the same filled polygon presenter, so that only the geometry decides the picture.
std::shared_ptr<platform::TBitmap> Draw(const std::string& File, std::int32_t* Count = nullptr) {
  TGlobe4 globe;
  globe.SetSaveMetaDataLocation(smdDiscard);
  globe.SetSurfaceColor(kSea);
  globe.SetGraticuleDrawMode(gdNone);
  globe.Resize(kW, kH);
  TGlobeProjection& P = globe.Projection();
  P.SetProjectionClass("TCartesianPrj");
  P.SetCentralMeridian(0);
  P.SetScaleFactor(2.0L / GU_DEGREE);
  P.SetXOrigin(kW / 2);
  P.SetYOrigin(kH / 2);

  const std::int32_t index = AddLayerFromFile(globe, File);
  EXPECT_EQ(index, 0) << File;
  if (index != 0) return nullptr;
  TGlobeLayer& layer = globe.Layers().GetLayer(0);
  TGlobeObjectSource& source = layer.Objects();
  EXPECT_TRUE(source.Active()) << File;
  auto land = std::make_unique<TPolygonPresenter>(&globe, 77);
  land->PolyPen().Define(kLand, platform::psSolid, 1, TGlobeUnitTypes::Pixel);
  land->PolyBrush().Define(kLand, bsSolid);
  layer.Presenters().Add(std::move(land));
  for (std::int32_t i = 0; i < source.Count(); ++i) source.SetPresenterID(i, 77);
  if (Count != nullptr) *Count = source.Count();
  return globe.GetBitmap(kW, kH);
}

/// The share of pixels on which the two pictures disagree about land and sea.
double Mismatch(const platform::TBitmap& A, const platform::TBitmap& B) {
  std::int64_t differ = 0;
  for (std::int32_t y = 0; y < kH; ++y)
    for (std::int32_t x = 0; x < kW; ++x)
      if ((A.Pixel(x, y) == kLand) != (B.Pixel(x, y) == kLand)) ++differ;
  return static_cast<double>(differ) / (kW * kH);
}

void Save(const platform::TBitmap& B, const char* Name) {
  orvane::testing::SaveForALook(B, platform::ProgramFolder() + "/" + Name);
}

TEST(CountriesTest, ShapefileAndMifDrawLikeTheLayerFileOfTheSameCountries) {
  const auto folder = std::filesystem::temp_directory_path() /
                      ("orvane-countries-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string lyr = (folder / "countries-110m.lyr").string();
  {
    // The same objects in the globe's own format, written from the shapefile's source.
    TGlobe4 maker;
    maker.SetSaveMetaDataLocation(smdDiscard);
    ASSERT_EQ(AddLayerFromFile(maker, kData + ".shp"), 0);
    WriteLYR(lyr, maker.Layers().GetLayer(0).Objects());
  }

  std::int32_t shpCount = 0, mifCount = 0, lyrCount = 0;
  const auto shp = Draw(kData + ".shp", &shpCount);
  const auto mif = Draw(kData + ".mif", &mifCount);
  const auto own = Draw(lyr, &lyrCount);
  const auto world = Draw(ORVANE_SHIPPED_DATA_DIR "/world.lyr");
  ASSERT_TRUE(shp && mif && own && world);
  Save(*shp, "countries-shp.png");
  Save(*mif, "countries-mif.png");
  Save(*world, "countries-world.png");
  EXPECT_EQ(shpCount, 177);  // the countries of the 1:110m set
  EXPECT_EQ(mifCount, shpCount);
  EXPECT_EQ(lyrCount, shpCount);

  EXPECT_EQ(Mismatch(*shp, *own), 0.0);
  // MIF keeps coordinates as decimal text, rounded differently from the shapefile's doubles.
  EXPECT_LT(Mismatch(*mif, *own), 0.001);
  // The finer coastlines of 1:50m, and its small islands, differ along the coasts only.
  EXPECT_LT(Mismatch(*shp, *world), 0.03);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace globe::testing
