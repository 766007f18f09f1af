#include "tools/jetwriter/jetwriter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "platform/qt/loggerdatabase.h"
#include "platform/qt/mdbdatabase.h"

namespace {

using orvane::jet::TColumn;
using orvane::jet::TJet4Writer;
using orvane::jet::TType;
using orvane::jet::TValue;
using Position = platform::TLoggerDatabase::TStoredPosition;

const TValue Null = std::monostate();

// What a command prints on its standard output.
std::string Output(const std::string& Command) {
  std::string Text;
  if (std::FILE* Pipe = ::popen(Command.c_str(), "r")) {
    char Buffer[4096];
    for (std::size_t n; (n = std::fread(Buffer, 1, sizeof Buffer, Pipe)) > 0;)
      Text.append(Buffer, n);
    EXPECT_EQ(::pclose(Pipe), 0) << Command;
  }
  return Text;
}

std::string Query(const std::string& Table, const std::string& LogName) {
  std::string Sql = "SELECT * \r\nFROM " + Table + "\r\nWHERE LogName = '";
  for (const char c : LogName) Sql += c == '\'' ? std::string("''") : std::string(1, c);
  return Sql + "'";
}

template <class TAction>
std::string Thrown(TAction&& Action) {
  try {
    Action();
  } catch (const std::runtime_error& Error) {
    return Error.what();
  }
  return "";
}

// The logger's table as a logger keeps it: several logs, longitude positive to the west.
class AccessFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Folder.isValid());
    const std::vector<TColumn> Aconfig = {
        {"LogName", TType::Text, 50}, {"Longitude", TType::Double}, {"Latitude", TType::Double}};
    const std::size_t Logs = Writer.AddTable("Aconfig", Aconfig);
    const std::vector<std::vector<TValue>> Rows = {
        {"Home station", -16.37, 48.21},  // Vienna
        {"Portable EA8", 16.25, 28.47},   // Tenerife: west
        {"Contest   ", -2.5, -33.9},      // trailing blanks
        {"FIELD DAY", 0.1275, 51.5072},
        {"K\xc3\xb6ln", -6.96, 50.94},  // a character beyond ASCII
        {"Empty", Null, 12.0},
        {"home station", 1.0, 1.0},  // the same name again: the first row wins
        {"O'Brien", -8.5, 53.0},
    };
    for (const auto& Row : Rows) Writer.AddRow(Logs, Row);

    // The position stored in each kind of number the logger's database may have used.
    for (const auto& [Name, Type, Longitude, Latitude] :
         std::vector<std::tuple<std::string, TType, TValue, TValue>>{
             {"Singles", TType::Single, -16.37, 48.21},
             {"Currencies", TType::Currency, -16.37, 48.21},
             {"Decimals", TType::Decimal, -16.37, 48.21},
             {"Integers", TType::Integer, -16.0, 48.0},
             {"Longs", TType::Long, 170.0, -45.0},
             {"Bytes", TType::Byte, 200.0, 0.0},
             {"Texts", TType::Text, " -16.37 ", "+48.21"},
             {"Words", TType::Text, "16,37", "north"}}) {
      TColumn Lon{"Longitude", Type};
      TColumn Lat{"Latitude", Type};
      Lon.Scale = Lat.Scale = 4;
      const std::size_t T = Writer.AddTable(Name, {{"LogName", TType::Text}, Lon, Lat});
      Writer.AddRow(T, {"Home station", Longitude, Latitude});
    }
    Writer.AddRow(
        Writer.AddTable("NoLatitude", {{"LogName", TType::Text}, {"Longitude", TType::Double}}),
        {"Home station", 1.0});
    Writer.AddTable("Vacant", Aconfig);
    File = Folder.filePath("logs.mdb").toStdString();
    Writer.Save(File);
  }

  QTemporaryDir Folder;
  TJet4Writer Writer;
  std::string File;
};

TEST_F(AccessFixture, MdbtoolsReadTheFileBack) {
  EXPECT_EQ(Output("mdb-ver '" + File + "'"), "JET4\n");
  EXPECT_EQ(Output("mdb-tables -1 '" + File + "'"),
            "Aconfig\nSingles\nCurrencies\nDecimals\nIntegers\nLongs\nBytes\nTexts\nWords\n"
            "NoLatitude\nVacant\n");
  const std::string Schema = Output("mdb-schema '" + File + "'");
  for (const char* Part :
       {"CREATE TABLE [Aconfig]\n (\n\t[LogName]\t\t\tText (50), \n\t[Longitude]\t\t\tDouble, "
        "\n\t[Latitude]\t\t\tDouble\n);",
        "[Longitude]\t\t\tSingle", "[Longitude]\t\t\tCurrency", "[Longitude]\t\t\tNumeric (18, 4)",
        "[Longitude]\t\t\tInteger", "[Longitude]\t\t\tLong Integer", "[Longitude]\t\t\tByte"})
    EXPECT_NE(Schema.find(Part), std::string::npos) << Part << "\n" << Schema;
  EXPECT_EQ(Output("mdb-export '" + File + "' Aconfig"),
            "LogName,Longitude,Latitude\n"
            "\"Home station\",-16.37,48.21\n"
            "\"Portable EA8\",16.25,28.47\n"
            "\"Contest   \",-2.5,-33.9\n"
            "\"FIELD DAY\",0.1275,51.5072\n"
            "\"K\xc3\xb6ln\",-6.96,50.94\n"
            "\"Empty\",,12\n"
            "\"home station\",1,1\n"
            "\"O'Brien\",-8.5,53\n");
  EXPECT_EQ(Output("mdb-export '" + File + "' Decimals"),
            "LogName,Longitude,Latitude\n\"Home station\",-16.3700,48.2100\n");
  EXPECT_EQ(Output("mdb-export '" + File + "' Currencies"),
            "LogName,Longitude,Latitude\n\"Home station\",-16.3700,48.2100\n");
  EXPECT_EQ(Output("mdb-export '" + File + "' Vacant"), "LogName,Longitude,Latitude\n");
}

TEST_F(AccessFixture, TheLoggerLinksQueryFindsTheLogAsAccessWould) {
  platform::TLoggerFileDatabase Db;
  Db.Open(File);
  EXPECT_EQ(Db.Format(), platform::TDatabaseFormat::Jet);
  Db.CheckTable("Aconfig");
  struct TCase {
    std::string Table;
    std::string LogName;
    std::optional<Position> Expected;
  };
  const TCase Cases[] = {
      {"Aconfig", "Home station", Position{-16.37, 48.21}},
      {"Aconfig", "HOME STATION", Position{-16.37, 48.21}},
      {"Aconfig", "Home station   ", Position{-16.37, 48.21}},
      {"Aconfig", "Portable EA8", Position{16.25, 28.47}},
      {"Aconfig", "contest", Position{-2.5, -33.9}},
      {"Aconfig", "Field Day", Position{0.1275, 51.5072}},
      {"Aconfig", "K\xc3\x96LN", Position{-6.96, 50.94}},
      {"Aconfig", "Empty", Position{0, 12}},
      {"Aconfig", "O'Brien", Position{-8.5, 53}},
      {"Aconfig", "Nobody", std::nullopt},
      {"Aconfig", "Home", std::nullopt},
      {"Aconfig", "x' OR '1'='1", std::nullopt},
      {"Vacant", "Home station", std::nullopt},
      {"Singles", "Home station", Position{double(-16.37f), double(48.21f)}},
      {"Currencies", "Home station", Position{-16.37, 48.21}},
      {"Decimals", "Home station", Position{-16.37, 48.21}},
      {"Integers", "Home station", Position{-16, 48}},
      {"Longs", "Home station", Position{170, -45}},
      {"Bytes", "Home station", Position{200, 0}},
      {"Texts", "Home station", Position{-16.37, 48.21}},
  };
  for (const auto& C : Cases) {
    const auto Got = Db.QueryPosition(Query(C.Table, C.LogName));
    ASSERT_EQ(Got.has_value(), C.Expected.has_value()) << C.Table << " " << C.LogName;
    if (Got) {
      EXPECT_EQ(Got->Longitude, C.Expected->Longitude) << C.Table << " " << C.LogName;
      EXPECT_EQ(Got->Latitude, C.Expected->Latitude) << C.Table << " " << C.LogName;
    }
  }
}

TEST_F(AccessFixture, MissingPartsAndNonNumbersAreNamed) {
  platform::TLoggerFileDatabase Db;
  Db.Open(File);
  struct TCase {
    std::string Sql;
    std::vector<std::string> Parts;
  };
  const TCase Cases[] = {
      {Query("Words", "Home station"), {File, "\"Longitude\"", "\"Words\"", "row 1", "\"16,37\""}},
      {Query("NoLatitude", "Home station"), {File, "no column \"Latitude\""}},
      {Query("Nowhere", "Home station"), {File, "\"Nowhere\"", "does not exist"}},
      {"SELECT * FROM Aconfig WHERE Callsign = 'x'", {"no column \"Callsign\""}},
      {"SELECT * FROM Longs WHERE Longitude = '170'", {"\"Longitude\"", "no text"}},
  };
  for (const auto& C : Cases) {
    const std::string Message = Thrown([&] { (void)Db.QueryPosition(C.Sql); });
    for (const auto& Part : C.Parts) EXPECT_NE(Message.find(Part), std::string::npos) << Message;
  }
  const std::string Message = Thrown([&] { Db.CheckTable("Bands"); });
  EXPECT_NE(Message.find("\"Bands\""), std::string::npos) << Message;
  EXPECT_NE(Message.find(File), std::string::npos) << Message;
}

TEST(JetWriter, RefusesWhatItCannotStore) {
  TJet4Writer Writer;
  const std::size_t T = Writer.AddTable(
      "T", {{"Name", TType::Text, 5}, {"Small", TType::Byte}, {"Money", TType::Currency}});
  Writer.AddRow(T, {"abcde", 255.0, -1e14});
  const std::vector<std::vector<TValue>> Bad = {
      {"abcdef", 1.0, 1.0},  // too long
      {"a", 256.0, 1.0},    {"a", 1.5, 1.0}, {"a", -1.0, 1.0}, {"a", 1.0, 1e300},
      {1.0, 1.0, 1.0},      {"a", "1", 1.0}, {"a", 1.0},       {"\xff", 1.0, 1.0}};  // not UTF-8
  for (const auto& Row : Bad) EXPECT_THROW(Writer.AddRow(T, Row), std::invalid_argument);
  EXPECT_THROW(Writer.AddTable("t", {{"A", TType::Long}}), std::invalid_argument);  // same name
  EXPECT_THROW(Writer.AddTable("U", {}), std::invalid_argument);
  EXPECT_THROW(Writer.AddTable("", {{"A", TType::Long}}), std::invalid_argument);
  EXPECT_THROW(Writer.AddTable("U", {{"A", TType::Text, 256}}), std::invalid_argument);
  TColumn Decimal{"D", TType::Decimal};
  Decimal.Precision = 4;
  Decimal.Scale = 5;
  EXPECT_THROW(Writer.AddTable("U", {Decimal}), std::invalid_argument);
}

// Rows spill over many pages, and texts that cannot be compressed are stored as UCS-2.
TEST(JetWriter, ManyPagesAndWideText) {
  QTemporaryDir Folder;
  TJet4Writer Writer;
  const std::size_t T = Writer.AddTable(
      "Aconfig",
      {{"LogName", TType::Text}, {"Longitude", TType::Double}, {"Latitude", TType::Long}});
  constexpr int kRows = 5000;
  for (int i = 0; i < kRows; ++i)
    Writer.AddRow(T, {"Log " + std::to_string(i) + " \xce\xa3\xe2\x82\xac", i * 0.5, double(-i)});
  const std::string File = Folder.filePath("big.mdb").toStdString();
  Writer.Save(File);
  const std::string Csv = Output("mdb-export '" + File + "' Aconfig");
  EXPECT_NE(Csv.find("\n\"Log 4999 \xce\xa3\xe2\x82\xac\",2499.5,-4999\n"), std::string::npos);
  EXPECT_EQ(std::count(Csv.begin(), Csv.end(), '\n'), kRows + 1);

  platform::TMdbLoggerDatabase Db;
  Db.Open(File);
  const auto Last = Db.QueryPosition(Query("Aconfig", "log 4999 \xcf\x83\xe2\x82\xac"));  // σ
  ASSERT_TRUE(Last);
  EXPECT_EQ(Last->Longitude, 2499.5);
  EXPECT_EQ(Last->Latitude, -4999);
}

}  // namespace
