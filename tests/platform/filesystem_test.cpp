// File names as UTF-8: what the engine's strings hold must name the same file the standard
// library's own UTF-8 paths (char8_t) name, whatever the system's code page.
#include "platform/filesystem.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace platform {
namespace {

namespace fs = std::filesystem;

fs::path U8(const std::string& Utf8) { return fs::path(std::u8string(Utf8.begin(), Utf8.end())); }

class FileNameTest : public ::testing::Test {
 protected:
  fs::path dir;

  FileNameTest() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // ctest runs the tests of one program side by side; the clock tells runs apart.
    dir = fs::temp_directory_path() /
          ("orvane-filesystem-" + std::string(info->name()) + "-" +
           std::to_string(fs::file_time_type::clock::now().time_since_epoch().count()));
    fs::create_directories(dir / U8("Lög"));
  }
  ~FileNameTest() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

TEST_F(FileNameTest, UtfTextAndPathsConvertBothWays) {
  for (const std::string text :
       {"Lög/world.lyr", "日本/地図.lyr", "\xF0\x9F\x8C\x8D.lyr", "plain/ascii.lyr", ""}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(FsPath(text), U8(text));
    EXPECT_EQ(Utf8Path(U8(text)), text);
  }
  // Broken UTF-8 names no file; it must not throw on the way.
  EXPECT_NO_THROW((void)Utf8Path(FsPath("bad\xFF\xFE")));
}

TEST_F(FileNameTest, NonAsciiFilesAreFoundOpenedAndListed) {
  const std::string folder = Utf8Path(dir) + "/Lög";
  const std::string name = folder + "/wörld.lyr";
  std::FILE* file = OpenFile(name, "wb");
  ASSERT_NE(file, nullptr);
  EXPECT_GE(std::fputs("data", file), 0);
  EXPECT_EQ(std::fclose(file), 0);

  // The file is where the standard library's UTF-8 path says, under the same name.
  EXPECT_TRUE(fs::is_regular_file(dir / U8("Lög") / U8("wörld.lyr")));
  EXPECT_EQ(fs::file_size(FsPath(name)), 4u);
  std::ifstream in(FsPath(name), std::ios::binary);
  std::string text;
  EXPECT_TRUE(std::getline(in, text));
  EXPECT_EQ(text, "data");
  const fs::directory_iterator it(FsPath(folder));
  ASSERT_NE(it, fs::directory_iterator());
  EXPECT_EQ(Utf8Path(it->path().filename()), "wörld.lyr");
  EXPECT_EQ(OpenFile(folder + "/missing.lyr", "rb"), nullptr);
}

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
  const std::string folder = ProgramFolder();
  EXPECT_TRUE(FsPath(folder).is_absolute()) << folder;
  EXPECT_TRUE(fs::is_directory(FsPath(folder))) << folder;
}

}  // namespace
}  // namespace platform
