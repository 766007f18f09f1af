#include "globe/readers/dbf.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace globe {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// points.dbf, written by ogr2ogr in code page 1252: columns kind, name, pop and code, and
// the four point features of source.geojson (the second one without geometry).
const std::string kPoints = std::string(ORVANE_TEST_DATA_DIR) + "/shp/points.dbf";
constexpr std::int64_t kHeaderLen = 161;
constexpr std::int64_t kRecordLen = 250;

class DBFTest : public ::testing::Test {
 protected:
  std::filesystem::path dir;

  DBFTest() {
    dir = std::filesystem::temp_directory_path() /
          ("orvane-dbf-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  ~DBFTest() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  static std::vector<std::uint8_t> Fixture() {
    std::ifstream in(kPoints, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string File(const std::string& Name, const std::vector<std::uint8_t>& Bytes) const {
    const std::string name = (dir / Name).string();
    std::ofstream out(name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
    return name;
  }
  static std::string MessageOf(const std::string& FileName) {
    try {
      TGlobeDBFReader dbf(FileName);
    } catch (const EGlobeException& e) {
      return e.what();
    }
    return "(no exception)";
  }
};

TEST_F(DBFTest, ReadsTheColumnsOfATableWrittenByGdal) {
  TGlobeDBFReader dbf(kPoints);
  EXPECT_EQ(dbf.RecordCount(), 4);
  EXPECT_EQ(dbf.HeaderLength(), kHeaderLen);
  EXPECT_EQ(dbf.RecordLength(), kRecordLen);
  ASSERT_EQ(dbf.FieldCount(), 4);
  std::vector<std::string> names;
  std::string types;
  std::vector<std::int32_t> lengths;
  for (std::int32_t i = 0; i < dbf.FieldCount(); ++i) {
    names.push_back(dbf.FieldName(i));
    types += dbf.FieldType(i);
    lengths.push_back(dbf.FieldLength(i));
  }
  EXPECT_THAT(names, ElementsAre("kind", "name", "pop", "code"));
  EXPECT_EQ(types, "CCNC");
  EXPECT_THAT(lengths, ElementsAre(80, 80, 9, 80));
  // Columns that do not exist read as nothing.
  EXPECT_EQ(dbf.FieldName(4), "");
  EXPECT_EQ(dbf.FieldType(-1), '\0');
  EXPECT_EQ(dbf.FieldLength(4), 0);
}

TEST_F(DBFTest, NextReadsEveryRecordWithItsTextTrimmedAndConverted) {
  TGlobeDBFReader dbf(kPoints);
  EXPECT_EQ(dbf.AsString(1), "") << "no record before the first Next";
  std::vector<std::string> rows;
  std::vector<std::int32_t> ids;
  while (dbf.Next()) {
    rows.push_back(dbf.GetString(1) + "|" + dbf.GetString(2) + "|" + dbf.GetString(3));
    ids.push_back(dbf.RecordID());
  }
  // Padding blanks are gone; é, ü and ñ come from code page 1252.
  EXPECT_THAT(rows, ElementsAre("Café Zürich|421878|ZRH", "Nowhere|0|NUL", "Niño|5614000|SCL",
                                "Date Line|12|DL"));
  EXPECT_THAT(ids, ElementsAre(1, 2, 3, 4));
  EXPECT_EQ(dbf.GetString(4), "");
  EXPECT_EQ(dbf.GetString(-1), "");

  ASSERT_TRUE(dbf.First());
  ASSERT_TRUE(dbf.Next());
  EXPECT_EQ(dbf.GetString(1), "Café Zürich");
}

TEST_F(DBFTest, RecordIDJumpsToARecordWhateverItsDeletionMark) {
  std::vector<std::uint8_t> bytes = Fixture();
  bytes[kHeaderLen + 1 * kRecordLen] = '*';  // record 2 deleted
  const std::string name = File("deleted.dbf", bytes);
  TGlobeDBFReader dbf(name);

  std::vector<std::string> seen;
  while (dbf.Next()) seen.push_back(dbf.GetString(1));
  EXPECT_THAT(seen, ElementsAre("Café Zürich", "Niño", "Date Line"));

  dbf.SetRecordID(2);
  EXPECT_EQ(dbf.RecordID(), 2);
  EXPECT_TRUE(dbf.Deleted());
  EXPECT_EQ(dbf.GetString(1), "Nowhere");
  dbf.SetRecordID(3);
  EXPECT_FALSE(dbf.Deleted());
  EXPECT_EQ(dbf.GetString(1), "Niño");
  dbf.SetRecordID(0);  // ignored
  EXPECT_EQ(dbf.GetString(1), "Niño");
  // Beyond the table: no record, every field empty.
  dbf.SetRecordID(5);
  EXPECT_EQ(dbf.RecordID(), 0);
  EXPECT_EQ(dbf.GetString(1), "");
  dbf.SetRecordID(1);
  EXPECT_EQ(dbf.GetString(3), "ZRH") << "the reader stays usable after a jump past the end";
}

TEST_F(DBFTest, APartialLastRecordEndsTheTable) {
  std::vector<std::uint8_t> bytes = Fixture();
  bytes.resize(kHeaderLen + 2 * kRecordLen + 10);
  TGlobeDBFReader dbf(File("short.dbf", bytes));
  std::int32_t n = 0;
  while (dbf.Next()) ++n;
  EXPECT_EQ(n, 2);
  dbf.SetRecordID(3);
  EXPECT_EQ(dbf.GetString(1), "");
}

TEST_F(DBFTest, TextEndsAtANulByte) {
  std::vector<std::uint8_t> bytes = Fixture();
  bytes[kHeaderLen + 1 + 80 + 4] = 0;  // "Café Zürich" cut after "Café"
  TGlobeDBFReader dbf(File("cut.dbf", bytes));  // not "nul": a device on Windows
  dbf.SetRecordID(1);
  EXPECT_EQ(dbf.GetString(1), "Café");
}

TEST_F(DBFTest, RefusesTablesItCannotRead) {
  auto edited = [](std::size_t Offset, std::vector<std::uint8_t> Values) {
    std::vector<std::uint8_t> bytes = Fixture();
    for (std::size_t i = 0; i < Values.size(); ++i) bytes[Offset + i] = Values[i];
    return bytes;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"version 04", edited(0, {0x04}), "Unsupported DBase III version in Stream"},
      {"version 30", edited(0, {0x30}), "Unsupported DBase III version in Stream"},
      {"header length below 32", edited(8, {20, 0}), "Invalid DBase header length 20 in "},
      {"header length past the file", edited(8, {0xFF, 0xFF}), "Truncated DBase header in "},
      {"record length 0", edited(10, {0, 0}), "Invalid DBase record length 0 in "},
      {"field past the record", edited(10, {100, 0}),
       "Field 1 runs past the record length 100 in "},
      {"only the version byte", {0x03}, "Truncated DBase header in "},
  };
  for (const Case& c : cases) {
    const std::string name = File("bad.dbf", c.bytes);
    EXPECT_THAT(MessageOf(name), HasSubstr(c.message)) << c.name;
  }
  EXPECT_EQ(MessageOf((dir / "missing.dbf").string()),
            "Unable to open file " + (dir / "missing.dbf").string());
}

TEST_F(DBFTest, VersionWithMemoFileIsRead) {
  TGlobeDBFReader dbf(File("memo.dbf", [] {
    std::vector<std::uint8_t> bytes = Fixture();
    bytes[0] = 0x83;
    return bytes;
  }()));
  dbf.SetRecordID(4);
  EXPECT_EQ(dbf.GetString(1), "Date Line");
}

TEST_F(DBFTest, ATableWithoutFieldDescriptorsHasNoColumns) {
  std::vector<std::uint8_t> bytes = Fixture();
  bytes.resize(33);
  bytes[8] = 33;  // header: the fixed part and the terminator
  bytes[9] = 0;
  bytes[32] = 0x0D;
  TGlobeDBFReader dbf(File("nofields.dbf", bytes));
  EXPECT_EQ(dbf.FieldCount(), 0);
  EXPECT_FALSE(dbf.Next());
}

}  // namespace
}  // namespace globe
