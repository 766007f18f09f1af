// The map data shipped beside the program (data/): the four layer files open through the
// layer loader, every object loads and is drawn, and the texture and star field are in the
// formats the program takes.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "globe/core/texture.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/pointpresenter.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/readers/loader.h"
#include "tests/objects/fixture.h"

namespace globe::testing {
namespace {

const std::string kDataDir = ORVANE_SHIPPED_DATA_DIR;

struct TShippedLayer {
  const char* File;
  std::int32_t MinObjects;
  std::int32_t MaxObjects;
  bool Areas;  // countries as closed multi-ring objects; otherwise points
  std::vector<std::string> Titles;  // some that must be there
};

const std::array<TShippedLayer, 4> kLayers = {{
    {"world.lyr", 200, 300, true, {"France", "Japan", "Brazil", "New Zealand", "Fiji"}},
    {"TGCapitals.lyr", 190, 300, false, {"Paris", "Tokyo", "Canberra", "Ottawa", "Suva"}},
    {"TGCities.lyr", 300, 3000, false, {"Shanghai", "Sydney", "New York City", "Lagos"}},
    {"IOTA.lyr", 100, 1000, false, {"Iceland", "Japan", "Greenland"}},
}};

class ShippedDataTest : public ObjectsTest {};

TEST_F(ShippedDataTest, LayersLoadWithTitledObjectsTheirPresentersDraw) {
  globe.SetSaveMetaDataLocation(smdDiscard);
  for (const TShippedLayer& c : kLayers) {
    SCOPED_TRACE(c.File);
    const std::int32_t index = AddLayerFromFile(globe, kDataDir + "/" + c.File);
    ASSERT_GE(index, 0);
    TGlobeLayer& layer = globe.Layers().GetLayer(index);
    TGlobeObjectSource& source = layer.Objects();
    ASSERT_GE(source.Count(), c.MinObjects);
    ASSERT_LE(source.Count(), c.MaxObjects);

    std::set<std::string> titles;
    std::int32_t multiRing = 0;
    for (std::int32_t i = 0; i < source.Count(); ++i) {
      auto* obj = dynamic_cast<TGeoDataObject*>(&source.GetObject(i));
      ASSERT_NE(obj, nullptr) << "object " << i;
      EXPECT_FALSE(obj->Title().empty()) << "object " << i;
      titles.insert(obj->Title());
      TGlobePresenter* presenter = layer.FindPresenter(obj->PresenterID());
      ASSERT_NE(presenter, nullptr) << obj->Title();
      const TPointLL centroid = obj->Centroid();
      EXPECT_LE(std::abs(centroid.iLatY), 90 * D) << obj->Title();
      EXPECT_LE(std::abs(centroid.iLongX), 180 * D) << obj->Title();
      if (c.Areas) {
        EXPECT_NE(dynamic_cast<TPolygonPresenter*>(presenter), nullptr) << obj->Title();
        EXPECT_TRUE(obj->Closed()) << obj->Title();
        ASSERT_GE(obj->Chains().Count(), 1) << obj->Title();
        if (obj->Chains().Count() > 1) ++multiRing;
        for (std::int32_t k = 0; k < obj->Chains().Count(); ++k)
          EXPECT_GE(obj->Chains().GetChain(k).Count(), 3) << obj->Title() << " ring " << k;
      } else {
        EXPECT_NE(dynamic_cast<TPointPresenter*>(presenter), nullptr) << obj->Title();
      }
    }
    for (const std::string& title : c.Titles) EXPECT_TRUE(titles.contains(title)) << title;
    // Island nations and countries with overseas parts come as one object of many rings.
    if (c.Areas) {
      EXPECT_GE(multiRing, 50);
    }
  }

  // The whole earth shows the countries alone: capitals, cities and islands, and with them
  // every title, wait for a closer view.
  FlatMap();
  globe.Layers().Render(false);
  Sphere(800, 600, 280);
  globe.Layers().Render(false);
  EXPECT_GE(dev.CallsNamed("Polygon").size(), 200u);
  EXPECT_TRUE(dev.CallsNamed("TextOut").empty());
  // Close over the Gulf of Guinea (about 2 km a pixel): Accra, Lomé, Lagos, São Tomé.
  dev.Calls.clear();
  Sphere(800, 600, 3000);
  globe.Layers().Render(false);
  EXPECT_GE(dev.CallsNamed("TextOut").size(), 4u);
}

TEST_F(ShippedDataTest, TextureIsAWholeEarth256ColourBitmap) {
  TTextureData texture;
  texture.LoadFromFile(kDataDir + "/world.bmp");
  ASSERT_TRUE(texture.IsValid());
  EXPECT_EQ(texture.Width(), 2048);
  EXPECT_EQ(texture.Height(), 1024);
  // The Sahara is light sand, the middle of the Pacific dark blue (colours are 0x00BBGGRR).
  const std::uint32_t sahara = texture.ColorAtLL(Deg(10, 23));
  const std::uint32_t pacific = texture.ColorAtLL(Deg(-150, 0));
  EXPECT_GT(sahara & 0xFF, 150u);
  EXPECT_GT((pacific >> 16) & 0xFF, pacific & 0xFF);
}

TEST_F(ShippedDataTest, StarFieldIsAn800By600TrueColourBitmap) {
  std::ifstream in(kDataDir + "/starfield.bmp", std::ios::binary);
  ASSERT_TRUE(in);
  const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
  ASSERT_GE(bytes.size(), 54u);
  const auto u16 = [&](std::size_t at) { return bytes[at] | bytes[at + 1] << 8; };
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2)) << 16;
  };
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(u32(18), 800u);
  EXPECT_EQ(u32(22), 600u);
  EXPECT_EQ(u16(28), 24);
  EXPECT_EQ(u32(30), 0u);  // uncompressed
  EXPECT_EQ(bytes.size(), u32(10) + std::size_t{800} * 3 * 600);
}

}  // namespace
}  // namespace globe::testing
