#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "globe/render/attributes.h"
#include "platform/filesystem.h"
#include "tests/view/fixture.h"

namespace globe::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

/// A scratch folder with a few files, removed afterwards.
class FilesTest : public ::testing::Test {
 protected:
  // One folder per process: ctest runs the tests of this program side by side.
  fs::path dir = fs::temp_directory_path() / ("orvane_view_files_" + std::to_string(getpid()));
  TGlobe4 globe;

  FilesTest() {
    fs::remove_all(dir);
    fs::create_directories(dir / "sub");
    Touch(dir / "world.lyr");
    Touch(dir / "sub" / "cities.lyr");
  }
  ~FilesTest() override { fs::remove_all(dir); }

  static void Touch(const fs::path& p) { std::ofstream(p) << "x"; }
  std::string In(const std::string& name) const { return dir.string() + "/" + name; }
};

TEST_F(FilesTest, ResolveFilenameLooksInTheDataDirectory) {
  globe.SetDataDirectory(dir.string());
  struct Case {
    std::string name, expected;
  };
  for (const Case& c : std::vector<Case>{
           {In("world.lyr"), In("world.lyr")},
           {"world.lyr", In("world.lyr")},
           {"no/such/folder/world.lyr", In("world.lyr")},
           {"C:\\Maps\\world.lyr", In("world.lyr")},
#ifdef _WIN32
           {"sub\\cities.lyr", In("sub\\cities.lyr")},  // a name of the system as it is
#else
           {"sub\\cities.lyr", In("sub/cities.lyr")},
#endif
           {"sub", ""},  // a folder is no data file
           {"missing.lyr", ""},
           {"", ""},
       }) {
    EXPECT_EQ(globe.ResolveFilename(c.name), c.expected) << c.name;
  }
}

TEST_F(FilesTest, WithoutDataDirectoryTheProgramsFolderIsUsed) {
  // A name of this process's own: ctest runs other tests of this program at the same time.
  const std::string name = "orvane_view_beside_" + std::to_string(getpid()) + ".lyr";
  const fs::path beside = platform::FsPath(platform::ProgramFolder()) / name;
  Touch(beside);
  // ctest runs the program in its own folder, where the bare name already exists as given:
  // compare the files, not the spellings.
  EXPECT_TRUE(fs::equivalent(globe.ResolveFilename(name), beside));
  EXPECT_TRUE(fs::equivalent(globe.ResolveFilename("gone/" + name), beside));
  fs::remove(beside);
}

TEST_F(FilesTest, FileNotFoundHandlerIsAskedForEveryNewName) {
  globe.SetDataDirectory(dir.string());
  std::vector<std::string> asked;
  globe.OnFileNotFound = [&](const void*, std::string& Filename, bool& TryFilename) {
    asked.push_back(Filename);
    if (Filename == "a.lyr")
      Filename = "b.lyr";
    else if (Filename == "b.lyr")
      Filename = "world.lyr";
    else
      return;  // gives up
    TryFilename = true;
  };
  EXPECT_EQ(globe.ResolveFilename("a.lyr"), In("world.lyr"));
  EXPECT_THAT(asked, ElementsAre("a.lyr", "b.lyr"));
  asked.clear();
  EXPECT_EQ(globe.ResolveFilename("c.lyr"), "");
  EXPECT_THAT(asked, ElementsAre("c.lyr"));
}

TEST_F(FilesTest, DataDirectoryIsTrimmedAndEndsInASeparator) {
  std::vector<std::string> missing;
  globe.OnDirectoryNotFound = [&](const void*, std::string& Name) {
    missing.push_back(Name);
    if (Name == "gone/") Name = "elsewhere/";
  };
  struct Case {
    std::string value, stored;
  };
  for (const Case& c : std::vector<Case>{{"  " + dir.string() + "  ", dir.string() + "/"},
                                         {dir.string() + "/", dir.string() + "/"},
                                         {"", ""},
                                         {"   ", ""},
                                         {"maps\\", "maps\\"},
                                         {"gone", "elsewhere/"}}) {
    globe.SetDataDirectory(c.value);
    EXPECT_EQ(globe.DataDirectory(), c.stored) << c.value;
  }
  EXPECT_THAT(missing, ElementsAre("maps\\", "gone/"));
}

TEST_F(FilesTest, SurfaceTextureNameKeepsOnlyValidTextures) {
  TScriptedHost host;
  globe.SetHost(&host);
  host.Invalidations = 0;
  globe.SetSurfaceTextureName(In("world.lyr"));  // not a bitmap
  EXPECT_EQ(globe.SurfaceTextureName(), "");
  globe.SetSurfaceTextureName(In("missing.bmp"));
  EXPECT_EQ(globe.SurfaceTextureName(), "");
  EXPECT_EQ(host.Invalidations, 2);  // a redraw either way
  globe.SetHost(nullptr);
}

// ---- Environment ------------------------------------------------------------------------

TEST_F(FilesTest, EnvironmentRoundTrip) {
  globe.SetDataDirectory(dir.string());
  globe.SetSurfaceColor(platform::RGB(0x12, 0x34, 0x56));
  globe.SetMinTextHeight(7);
  globe.SetMaxTextHeight(40);
  globe.Projection().SetXRotation(-12.5L);
  globe.Projection().SetYRotation(33.25L);

  const auto element = globe.SaveEnvironment();
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(element->GetAttributeNames(i),
              (std::vector<std::string>{"DataDirectory", "SurfaceColor", "SurfaceTextureName",
                                        "MaxTextHeight", "MinTextHeight"}[i]));
  }
  EXPECT_EQ(element->AttributeByName("SurfaceColor", ""), "$00563412");
  EXPECT_NE(element->ElementByName("Projection"), nullptr);
  EXPECT_NE(element->ElementByName("LayerStore"), nullptr);

  bool saved = false;
  globe.OnSaveEnvironment = [&](const void*, TGXML_Document& doc) {
    saved = doc.Document()->ElementByName("TGlobe") != nullptr;
  };
  const std::string file = In("view.env");
  globe.SaveEnvironmentToFile(file);
  EXPECT_TRUE(saved);

  TGlobe4 other;
  bool loaded = false;
  other.OnLoadEnvironment = [&](const void*, TGXML_Document&) { loaded = true; };
  other.SetEnvironmentFile(file);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(other.EnvironmentFile(), file);
  EXPECT_EQ(other.DataDirectory(), dir.string() + "/");
  EXPECT_EQ(other.SurfaceColor(), platform::RGB(0x12, 0x34, 0x56));
  EXPECT_EQ(other.MinTextHeight(), 7);
  EXPECT_EQ(other.MaxTextHeight(), 40);
  EXPECT_EQ(other.Projection().XRotation(), -12.5L);
  EXPECT_EQ(other.Projection().YRotation(), 33.25L);
}

TEST_F(FilesTest, MissingEnvironmentAttributesKeepTheCurrentValues) {
  globe.SetMinTextHeight(9);
  TGXML_Element element;
  element.AddAttribute("SurfaceColor", "clRed");
  globe.LoadEnvironment(&element);
  EXPECT_EQ(globe.SurfaceColor(), platform::RGB(0xFF, 0, 0));
  EXPECT_EQ(globe.MinTextHeight(), 9);
  globe.LoadEnvironment(nullptr);
  EXPECT_EQ(globe.SurfaceColor(), platform::RGB(0xFF, 0, 0));
}

TEST_F(FilesTest, AnEnvironmentFileThatCannotBeReadLeavesNoName) {
  const std::string file = In("view.env");
  globe.SaveEnvironmentToFile(file);
  globe.LoadEnvironmentFromFile(file);
  ASSERT_EQ(globe.EnvironmentFile(), file);
  globe.LoadEnvironmentFromFile(In("missing.env"));
  EXPECT_EQ(globe.EnvironmentFile(), "");
  globe.LoadEnvironmentFromFile(dir.string());  // a folder
  EXPECT_EQ(globe.EnvironmentFile(), "");
}

}  // namespace
}  // namespace globe::testing
