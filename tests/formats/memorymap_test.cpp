#include "globe/formats/memorymap.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/filesystem.h"

namespace globe {
namespace {

using ::testing::ElementsAre;

class MemoryMapTest : public ::testing::Test {
 protected:
  std::filesystem::path dir;

  MemoryMapTest() {
    // ctest runs the tests of one program side by side in separate processes.
    dir = std::filesystem::temp_directory_path() /
          ("orvane-memorymap-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  ~MemoryMapTest() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  std::string File(const std::string& Name, const std::vector<std::uint8_t>& Bytes) const {
    const std::string name = platform::Utf8Path(dir / platform::FsPath(Name));
    std::ofstream out(platform::FsPath(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
    return name;
  }

  static std::string MessageOf(const std::string& FileName) {
    try {
      TMemoryMapStream stream(FileName);
    } catch (const EGlobeException& e) {
      return e.what();
    }
    return "(no exception)";
  }
};

TEST_F(MemoryMapTest, ReadsAndSeeksOverTheWholeFile) {
  TMemoryMapStream stream(File("data.bin", {1, 2, 3, 4, 5}));
  EXPECT_EQ(stream.Size(), 5);
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_THAT(stream.Memory(), ElementsAre(1, 2, 3, 4, 5));

  std::array<std::uint8_t, 4> buf{};
  stream.SetPosition(3);
  EXPECT_EQ(stream.Read(buf.data(), buf.size()), 2u);  // short at the end
  EXPECT_THAT(buf, ElementsAre(4, 5, 0, 0));
  stream.SetPosition(100);
  EXPECT_EQ(stream.Read(buf.data(), buf.size()), 0u);
  EXPECT_EQ(stream.Remaining(), 0);
}

TEST_F(MemoryMapTest, RefusesWritesAndSizeChangesLeavingTheFileAlone) {
  const std::string name = File("data.bin", {9, 8, 7});
  {
    TMemoryMapStream stream(name);
    const std::uint8_t byte = 0;
    struct Case {
      const char* message;
      std::function<void()> call;
    };
    const Case cases[] = {
        {"TMemoryMapStream.Write: Not supported", [&] { stream.Write(&byte, 1); }},
        {"TMemoryMapStream.SetSize: Not supported", [&] { stream.SetSize(1); }},
        {"TMemoryMapStream.SetSize: Not supported", [&] { stream.SetSize(10); }},
    };
    for (const Case& c : cases) {
      try {
        c.call();
        ADD_FAILURE() << "no exception for " << c.message;
      } catch (const EGlobeException& e) {
        EXPECT_STREQ(e.what(), c.message);
      }
    }
    EXPECT_EQ(stream.Size(), 3);
    EXPECT_THAT(stream.Memory(), ElementsAre(9, 8, 7));
  }
  EXPECT_EQ(std::filesystem::file_size(name), 3u);
}

TEST_F(MemoryMapTest, FilesThatCannotBeMappedFailWithTheirMessages) {
  const std::string missing = (dir / "missing.bin").string();
  EXPECT_EQ(MessageOf(missing), "Unable to open file " + missing);
  // The system refuses to map zero bytes, and a folder has none to map.
  EXPECT_EQ(MessageOf(File("empty.bin", {})), "Unable to create file mapping");
  EXPECT_EQ(MessageOf(dir.string()), "Unable to create file mapping");
}

TEST_F(MemoryMapTest, NamesOutsideAsciiAreUtf8) {
  std::filesystem::create_directory(dir / std::filesystem::path(u8"Lög"));
  TMemoryMapStream stream(File("Lög/wörld.bin", {7, 8}));
  EXPECT_THAT(stream.Memory(), ElementsAre(7, 8));
  const std::string missing = platform::Utf8Path(dir) + "/Lög/fehlt.bin";
  EXPECT_EQ(MessageOf(missing), "Unable to open file " + missing);
}

TEST_F(MemoryMapTest, TheViewOutlivesARenameOverTheFile) {
  // Files are replaced by writing a temporary file and renaming it over the old one; a
  // stream open on the old file keeps reading the old bytes.
  const std::string name = File("data.bin", {1, 2, 3});
  TMemoryMapStream stream(name);
  const std::vector<std::uint8_t> bytes{4, 5};
  WriteFileAtomically(name, bytes);
  EXPECT_THAT(stream.Memory(), ElementsAre(1, 2, 3));
  TMemoryMapStream again(name);
  EXPECT_THAT(again.Memory(), ElementsAre(4, 5));
}

}  // namespace
}  // namespace globe
