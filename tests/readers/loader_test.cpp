// The layer loader: a layer per file, its reader chosen by the extension; and readers
// named by environment documents.
#include "globe/readers/loader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "globe/formats/xml.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/source.h"
#include "tests/objects/fixture.h"

namespace globe::testing {
namespace {

class LoaderTest : public ObjectsTest {
 protected:
  TGlobeLayerStore& store = globe.Layers();

  TGlobeLayer& NewLayer(const std::string& Name = "") {
    TGlobeLayer& layer = *std::make_unique<TGlobeLayer>(&globe).release();
    if (!Name.empty()) layer.SetName(Name);
    return layer;
  }
};

TEST_F(LoaderTest, EnvironmentLoadStopsAtALayerWhoseFileIsMissing) {
  TGXML_Element element;
  element.AddElement("GlobalPresenters", nullptr);
  element.AddElement("Layer", nullptr)->AddAttribute("Class", "TGlobeLayer");
  TGXML_Element* missing = element.AddElement("Layer", nullptr);
  missing->AddAttribute("Class", "TGlobeLayer");
  TGXML_Element* objects = missing->AddElement("Objects", nullptr);
  objects->AddAttribute("Class", "TGlobeLYRReader");
  objects->AddAttribute("Filename", Scratch("missing.lyr"));
  element.AddElement("Layer", nullptr)->AddAttribute("Class", "TGlobeLayer");
  store.LoadEnvironment(&element);
  EXPECT_EQ(store.Count(), 1);
}

TEST_F(LoaderTest, AddLayerFromFile) {
  globe.SetDataDirectory(scratch.string());
  EXPECT_EQ(AddLayerFromFile(globe, "nowhere.lyr"), -1);
  EXPECT_EQ(store.Count(), 0);

  std::ofstream(Scratch("notes.txt")) << "text";
  NewLayer("first");
  EXPECT_EQ(AddLayerFromFile(globe, "notes.txt"), 1);
  TGlobeLayer& layer = store.GetLayer(1);
  EXPECT_EQ(layer.Name(), "TGlobeLayer");
  EXPECT_TRUE(layer.Objects().Active());
  EXPECT_EQ(layer.Objects().Count(), 0);
  EXPECT_EQ(layer.Objects().ClassType().ClassName(), "TGlobeObjectSource");

  // A file that is no LYR file still gets the LYR reader by its extension in any case; its
  // error reaches the caller, and the layer stays.
  for (const char* name : {"bad.lyr", "BAD2.LYR"}) {
    SCOPED_TRACE(name);
    std::ofstream(Scratch(name), std::ios::binary) << std::string(4, '\0');
    const std::int32_t before = store.Count();
    try {
      (void)AddLayerFromFile(globe, name);
    } catch (const EGlobeException&) {
    }
    ASSERT_EQ(store.Count(), before + 1);
    EXPECT_EQ(store.GetLayer(before).Objects().ClassType().ClassName(), "TGlobeLYRReader");
  }
}

}  // namespace
}  // namespace globe::testing
