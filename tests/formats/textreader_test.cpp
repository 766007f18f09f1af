#include "globe/formats/textreader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace globe {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class TextReaderTest : public ::testing::Test {
 protected:
  std::filesystem::path dir;

  TextReaderTest() {
    dir = std::filesystem::temp_directory_path() /
          ("orvane-textreader-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  ~TextReaderTest() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  std::string File(const std::string& Text) const {
    const std::string name = (dir / "text.txt").string();
    std::ofstream out(name, std::ios::binary);
    out << Text;
    return name;
  }

  // Every line with its start offset, read until the end of the text.
  static std::vector<std::pair<std::string, std::int64_t>> ReadAll(TGlobeTextReader& Reader) {
    std::vector<std::pair<std::string, std::int64_t>> lines;
    std::string line;
    while (!Reader.EOT() && lines.size() < 100) {
      Reader.ReadLn(line);
      lines.emplace_back(line, Reader.LineStartPosition());
    }
    return lines;
  }
};

TEST_F(TextReaderTest, SplitsLinesAtCrLfAndCrLfWhateverTheBlockSize) {
  using Lines = std::vector<std::pair<std::string, std::int64_t>>;
  struct Case {
    const char* text;
    Lines lines;
  };
  const std::vector<Case> cases = {
      // A last line without a line end comes once, and the end of the text with it.
      {"a\r\nbc\rdef\nxyz", {{"a", 0}, {"bc", 3}, {"def", 6}, {"xyz", 10}}},
      // A line end at the end of the text leaves one empty line to read.
      {"one\ntwo\r\n", {{"one", 0}, {"two", 4}, {"", 9}}},
      {"\n\r\n\r", {{"", 0}, {"", 1}, {"", 3}, {"", 4}}},
      // CR CR is two line ends; LF CR too.
      {"a\r\rb\n\rc", {{"a", 0}, {"", 2}, {"b", 3}, {"", 5}, {"c", 6}}},
  };
  for (const Case& c : cases) {
    for (std::int32_t block : {1, 2, 3, 4, 5, 4096}) {
      TGlobeTextReader reader(File(c.text));
      reader.SetTextBufferSize(block);
      EXPECT_THAT(ReadAll(reader), ElementsAreArray(c.lines)) << c.text << " block " << block;
      EXPECT_EQ(reader.Position(), reader.Size());
    }
  }
}

TEST_F(TextReaderTest, ReturnsToRememberedLinesAlsoAfterTheEnd) {
  TGlobeTextReader reader(File("first\r\nsecond\r\nthird"));
  reader.SetTextBufferSize(4);
  const auto lines = ReadAll(reader);
  ASSERT_EQ(lines.size(), 3u);
  ASSERT_TRUE(reader.EOT());

  std::string line;
  for (std::int32_t i : {1, 0, 2, 1}) {
    reader.SetPosition(lines[static_cast<std::size_t>(i)].second);
    EXPECT_FALSE(reader.EOT());
    reader.ReadLn(line);
    EXPECT_EQ(line, lines[static_cast<std::size_t>(i)].first);
  }
  // The same within a single block: the buffer then holds the empty block after the text.
  TGlobeTextReader whole(File("first\r\nsecond\r\nthird"));
  (void)ReadAll(whole);
  whole.SetPosition(7);
  whole.ReadLn(line);
  EXPECT_EQ(line, "second");
}

TEST_F(TextReaderTest, PositionsBeyondTheTextReportItsEnd) {
  TGlobeTextReader reader(File("abc\n"));
  EXPECT_EQ(reader.TextBufferSize(), 4096);
  EXPECT_EQ(reader.Size(), 4);
  reader.SetPosition(10);
  EXPECT_TRUE(reader.EOT());
  std::string line = "old";
  reader.ReadLn(line);
  EXPECT_EQ(line, "");
  EXPECT_TRUE(reader.EOT());

  // A new block size starts over at the beginning.
  reader.SetTextBufferSize(2);
  EXPECT_EQ(reader.Position(), 0);
  EXPECT_FALSE(reader.EOT());
  reader.ReadLn(line);
  EXPECT_EQ(line, "abc");
  EXPECT_THROW(reader.SetTextBufferSize(0), EGlobeException);
}

TEST_F(TextReaderTest, FilesThatCannotBeMappedFail) {
  EXPECT_THROW(TGlobeTextReader reader(File("")), EGlobeException);
  EXPECT_THROW(TGlobeTextReader reader((dir / "missing.mif").string()), EGlobeException);
}

}  // namespace
}  // namespace globe
