// Callsign lookup in the individual-callsign, province and entity tables.
#include "app/lookup.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>
#include <cstdint>
#include <string>
#include <vector>

#include "app/locator.h"
#include "platform/qt/xmlrowset.h"
#include "tests/app/lookup_reference.h"

namespace orvane {
namespace {

using platform::TMemoryRecordSet;
using Rows = std::vector<std::vector<std::string>>;

TEST(CallSegment, PiecesBetweenSlashes) {
  const struct {
    const char* Text;
    qsizetype Pos;
    const char* Piece;
    qsizetype After;
  } cases[] = {
      {"", 1, "", 1},
      {"DL1ABC", 1, "DL1ABC", 7},
      {"EA8/DL1ABC/P", 1, "EA8", 4},
      {"EA8/DL1ABC/P", 4, "DL1ABC", 11},
      {"EA8/DL1ABC/P", 11, "P", 13},
      {"EA8/DL1ABC/P", 13, "", 13},
      {"//ea8 x/", 1, "EA8 X", 8},
      {" ea8 /x", 1, "EA8", 6},
      {"///", 1, "", 4},
      {"DL1ABC", 0, "DL1ABC", 7},  // before the start counts as the start
      {"DL1ABC", 9, "", 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Text) + " from " + std::to_string(c.Pos));
    qsizetype pos = c.Pos;
    EXPECT_EQ(NextCallSegment(QString::fromLatin1(c.Text), pos).toStdString(), c.Piece);
    EXPECT_EQ(pos, c.After);
  }
}

TEST(PortableCall, PrefixAndSuffixForms) {
  const struct {
    const char* Call;
    const char* Reduced;
  } cases[] = {
      {"DL1ABC", "DL1ABC"},
      // Prefix forms: up to three characters before the first "/".
      {"EA8/DL1ABC", "EA8"},
      {"F/DL1ABC", "F"},
      {"ea8/DL1ABC", "EA8"},
      {"3A/DL1ABC", "3A/DL1ABC"},  // digit
      {"AM/DL1ABC", "AM/DL1ABC"},  // A
      {"MM/DL1ABC", "MM/DL1ABC"},  // M
      {"PA/DL1ABC", "PA/DL1ABC"},  // P
      {"QRP/DL1ABC", "QRP/DL1ABC"},
      {"/EA8", "EA8"},  // the piece after leading slashes
      {"/", "/"},       // nothing but slashes: kept
      {"///", "///"},
      // Suffix forms.
      {"DL1ABC/", "DL1ABC"},
      {"DL1ABC/3", "DL3"},
      {"W1ABC/4", "W4"},
      {"KH6/K1ABC/4", "KH6"},  // the first "/" decides the form
      {"DL1ABC/P", "DL1ABC/P"},
      {"DL1ABC/M", "DL1ABC/M"},
      {"DL1ABC/AM", "DL1ABC/AM"},
      {"DL1ABC/MM", "DL1ABC/MM"},
      {"DL1ABC/P/QRP", "DL1ABC/P/QRP"},
      {"DL1ABC/QRP", "DL1ABC"},
      {"DL1ABC/qrp", "DL1ABC/qrp"},
      {"DL1ABC/QRPP", "DL1ABC/QRPP"},
      {"DL1ABC/EA8", "DL1ABC/EA8"},
      {"WABC/4", "WABC/4"},  // the first digit from position 2 on is the suffix itself
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReducePortableCall(QString::fromLatin1(c.Call)).toStdString(), c.Reduced) << c.Call;
}

TEST(ReferenceDates, LocaleShortFormatWithTwoOrFourDigitYears) {
  const QLocale german(QLocale::German, QLocale::Germany);    // dd.MM.yy
  const QLocale us(QLocale::English, QLocale::UnitedStates);  // M/d/yy
  const QDate now(2026, 12, 10);
  const struct {
    QLocale Locale;
    const char* Text;
    QDate Date;
  } cases[] = {
      {german, "01.02.25", {2025, 2, 1}},   {german, "1.2.25", {2025, 2, 1}},
      {german, "01.02.2025", {2025, 2, 1}}, {german, " 31.12.75 ", {2075, 12, 31}},
      {german, "01.01.76", {1976, 1, 1}},   {german, "01.01.1900", {1900, 1, 1}},
      {german, "29.02.24", {2024, 2, 29}},  {us, "2/1/25", {2025, 2, 1}},
      {us, "12/31/2030", {2030, 12, 31}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(StrToDate(QString::fromLatin1(c.Text), c.Locale, now), c.Date);
  }
  for (const char* bad : {"", "31.02.25", "2025-02-01", "01.02.", "x", "01.13.25"}) {
    try {
      (void)StrToDate(QString::fromLatin1(bad), german, now);
      ADD_FAILURE() << "no error for " << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' is not a valid date");
    }
  }
}

/// The three tables with a few rows each; dates in the German short format, now 10 December
/// 2026 at noon.
class Lookup : public ::testing::Test {
 protected:
  Lookup()
      : Unique({"ID", "Callsign", "StartDate", "EndDate", "Longitude", "Latitude"},
               {
                   {"1", "DL1XYZ", "", "", "1.0W", "1.0N"},          // no dates: valid
                   {"2", "DL2ONE", "01.01.20", "", "2.0W", "2.0N"},  // one date: never
                   {"3", "DL2TWO", "", "31.12.30", "3.0W", "3.0N"},
                   {"4", "DL3OLD", "01.01.20", "31.12.25", "4.0W", "4.0N"},  // over
                   {"5", "DL3OLD", "01.01.20", "31.12.2030", "5.0W", "5.0N"},
                   {"6", "DL4NEW", "01.01.27", "31.12.27", "6.0W", "6.0N"},  // not begun
                   {"7", "DL5END", "01.01.20", "10.12.26", "7.0W", "7.0N"},  // ends today
                   {"", "DL6NOID", "", "", "8.0W", "8.0N"},  // no first column: skipped
                   {"9", "O'BRIEN", "", "", "9.0W", "9.0N"},
                   {"10", "DL7BAD", "01.01.20", "32.12.26", "10.0W", "10.0N"},
               }),
        Province({"Name", "PrefixList", "EndDate", "Longitude", "Latitude"},
                 {
                     {"Bavaria", "^D[A-R]4[A-Z]*$", "", "11.5E", "48.8N"},
                     {"Old province", "^D[A-R]5[A-Z]+$", "31.12.99", "12.0E", "52.0N"},
                 }),
        DXCC({"Name", "PrefixList", "Status", "EndDate", "Longitude", "Latitude"},
             {
                 {"Saar", "^D[A-R][0-9][A-Z]*$", "Deleted", "", "7.0E", "49.3N"},
                 {"Old Germany", "^D[A-R][0-9][A-Z]*$", "Active", "01.01.90", "9.0E", "50.0N"},
                 {"Germany", "^D[A-R][0-9][A-Z]*(/P|/M|/AM|/MM)?$", "Active", "", "10.0E", "51.0N"},
                 {"Shorter", "JA|JA1ABC", "Active", "", "1.0E", "1.0N"},
                 {"Japan", "^J[A-S][0-9][A-Z]*$", "Active", "", "139.0E", "36.0N"},
                 {"Beginning only", "^K[0-9]", "Active", "", "95.0W", "38.0N"},
                 {"Canary Islands", "^EA8[A-Z0-9]*$", "Active", "", "15.5W", "28.3N"},
                 {"Spain", "^EA[0-9]?[A-Z0-9]*$", "Active", "", "3.7W", "40.4N"},
                 {"Deleted only", "^9S4[A-Z]*$", "Deleted", "", "7.0E", "49.3N"},
                 {"Dot", "^X.Y$", "Active", "", "1.0W", "1.0S"},
             }),
        Finder(Unique, Province, DXCC, QLocale(QLocale::German, QLocale::Germany)) {}

  /// The latitude and longitude texts found for Call, or "-" when there are none.
  std::string Find(const QString& Call, QTime Time = QTime(12, 0)) {
    QString lon = QStringLiteral("unchanged"), lat = QStringLiteral("unchanged");
    if (!Finder.FindCountry(Call, QDateTime(QDate(2026, 12, 10), Time), lon, lat)) {
      EXPECT_EQ(lon, u"unchanged");
      EXPECT_EQ(lat, u"unchanged");
      return "-";
    }
    return (lat + u' ' + lon).toStdString();
  }

  TMemoryRecordSet Unique, Province, DXCC;
  TCallsignLookup Finder;
};

TEST_F(Lookup, IndividualEntriesFirstWhileValid) {
  const struct {
    const char* Call;
    const char* Found;
  } cases[] = {
      {"DL1XYZ", "1.0N 1.0W"},    // wins over Germany
      {"DL2ONE", "51.0N 10.0E"},  // only a start date: the entry is never used
      {"DL2TWO", "51.0N 10.0E"},  // only an end date
      {"DL3OLD", "5.0N 5.0W"},    // the first valid one of several entries
      {"DL4NEW", "6.0N 6.0W"},    // a start after now is accepted
      {"DL5END", "51.0N 10.0E"},  // the end date is today's midnight: over at noon
      {"DL6NOID", "51.0N 10.0E"},
      {"O'BRIEN", "9.0N 9.0W"},  // the quote is part of the callsign, not of the filter
      {"dl1xyz", "-"},           // entries and patterns compare letter case
  };
  for (const auto& c : cases) EXPECT_EQ(Find(QString::fromLatin1(c.Call)), c.Found) << c.Call;
  EXPECT_EQ(Find(QStringLiteral("DL5END"), QTime(0, 0)), "7.0N 7.0W") << "at midnight";
  Find(QStringLiteral("O'BRIEN"));
  EXPECT_EQ(Unique.Filter(), "Callsign = 'O''BRIEN'") << "kept from the last lookup";
}

TEST_F(Lookup, PrefixTablesAfterThePortableDesignator) {
  const struct {
    const char* Call;
    const char* Found;
  } cases[] = {
      {"DL4ABC", "48.8N 11.5E"},      // a province before its entity
      {"DL5ABC", "51.0N 10.0E"},      // an ended province is passed over
      {"DL1ABC", "51.0N 10.0E"},      // inactive and ended entities are passed over
      {"9S4AA", "-"},                 // even when they are the only match
      {"JA1ABC", "36.0N 139.0E"},     // "Shorter" first finds "JA": not the whole callsign
      {"K1ABC", "-"},                 // a pattern matching the beginning only
      {"EA8/DL1ABC", "28.3N 15.5W"},  // the foreign prefix decides
      {"EA8AB", "28.3N 15.5W"},
      {"EA1AB", "40.4N 3.7W"},
      {"DL1ABC/P", "51.0N 10.0E"},    // the suffix stays: the pattern takes it
      {"JA1ABC/P", "-"},              // ... and one that does not, does not place it
      {"DL1ABC/QRP", "51.0N 10.0E"},  // removed with its "/"
      {"F/DL1ABC", "-"},
      {"DL1ABC/4", "48.8N 11.5E"},  // the call area: DL4
      {"X\nY", "1.0S 1.0W"},        // "." matches every character
  };
  for (const auto& c : cases) EXPECT_EQ(Find(QString::fromLatin1(c.Call)), c.Found) << c.Call;
}

TEST_F(Lookup, ClosedTablesAndBadDatesEndTheLookup) {
  try {
    Find(QStringLiteral("DL7BAD"));
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'32.12.26' is not a valid date");
  }
  DXCC.Close();
  EXPECT_EQ(Find(QStringLiteral("DL1XYZ")), "1.0N 1.0W") << "placed before the closed table";
  EXPECT_THROW(Find(QStringLiteral("DL1ABC")), platform::EDatabaseError);

  TMemoryRecordSet never;  // tables that were never loaded
  TCallsignLookup lookup(never, never, never);
  QString lon, lat;
  try {
    lookup.FindCountry(QStringLiteral("DL1ABC"), lon, lat);
    ADD_FAILURE() << "no error";
  } catch (const platform::EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Cannot perform this operation on a closed dataset");
  }
}

TEST(LookupPatterns, AnUnusablePatternIsReportedOnceThenPassedOver) {
  TMemoryRecordSet unique({"ID", "Callsign", "StartDate", "EndDate", "Longitude", "Latitude"}, {});
  TMemoryRecordSet province({"Name", "PrefixList", "EndDate", "Longitude", "Latitude"},
                            {{"Blank", "", "", "1E", "1N"}});
  TMemoryRecordSet dxcc({"Name", "PrefixList", "Status", "EndDate", "Longitude", "Latitude"},
                        {
                            {"Japan", "^J[A-S][0-9][A-Z]*$", "Active", "", "139.0E", "36.0N"},
                            {"Broken", "^(D[A-R]", "Active", "", "0E", "0N"},
                            {"Germany", "^D[A-R][0-9][A-Z]*$", "Active", "", "10.0E", "51.0N"},
                        });
  TCallsignLookup lookup(unique, province, dxcc);
  const QDateTime now(QDate(2026, 12, 10), QTime(12, 0));
  QString lon, lat;
  const auto expectError = [&](const char* Call, const char* Message) {
    try {
      lookup.FindCountry(QString::fromLatin1(Call), now, lon, lat);
      ADD_FAILURE() << "no error for " << Call;
    } catch (const ELookupError& e) {
      EXPECT_STREQ(e.what(), Message);
    }
  };
  expectError("JA1ABC", "Empty PrefixList in tblProvince row 1 ('Blank')");
  // Rows before the broken one still place callsigns; reaching it fails once.
  EXPECT_TRUE(lookup.FindCountry(QStringLiteral("JA1ABC"), now, lon, lat));
  EXPECT_EQ(lat, u"36.0N");
  expectError("DL1ABC",
              "Invalid PrefixList in tblDXCC row 2 ('Broken'): \"^(D[A-R]\": missing closing "
              "parenthesis at offset 8");
  EXPECT_TRUE(lookup.FindCountry(QStringLiteral("DL1ABC"), now, lon, lat));
  EXPECT_EQ(lat, u"51.0N");
  EXPECT_FALSE(lookup.FindCountry(QStringLiteral("K1ABC"), now, lon, lat));

  // Rows added later: the same broken row stays passed over, a new one is reported.
  dxcc.Close();
  dxcc.AppendRow({{0, "USA"}, {1, "^K[0-9][A-Z]*$"}, {2, "Active"}, {4, "95.0W"}, {5, "38.0N"}});
  dxcc.AppendRow({{0, "Also broken"}, {1, "^K["}, {2, "Active"}, {4, "0E"}, {5, "0N"}});
  dxcc.Open();
  EXPECT_TRUE(lookup.FindCountry(QStringLiteral("K1ABC"), now, lon, lat));
  EXPECT_EQ(lat, u"38.0N");
  expectError("N1ABC",
              "Invalid PrefixList in tblDXCC row 5 ('Also broken'): \"^K[\": missing terminating "
              "] for character class at offset 3");
}

TEST(LookupFiles, TablesLoadedFromRowsetFiles) {
  // The entity table of the rowset fixture: Germany active, Saar deleted, Canada updated.
  const auto dxcc =
      platform::LoadXmlRowset(std::string(ORVANE_TEST_DATA_DIR) + "/rowset/countries.xml");
  TMemoryRecordSet unique({"ID", "Callsign", "StartDate", "EndDate", "Longitude", "Latitude"}, {});
  TMemoryRecordSet province({"Name", "PrefixList", "EndDate", "Longitude", "Latitude"}, {});
  TCallsignLookup lookup(unique, province, *dxcc, QLocale(QLocale::C));
  QString lon, lat;
  ASSERT_TRUE(lookup.FindCountry(QStringLiteral("DL1ABC/P"), lon, lat));
  double dlat = 0, dlon = 0;
  TextToLatLong(lat, lon, dlat, dlon, QLocale(QLocale::C));
  EXPECT_DOUBLE_EQ(dlat, 51.0);
  EXPECT_DOUBLE_EQ(dlon, 10.0);
  EXPECT_TRUE(lookup.FindCountry(QStringLiteral("TU2XZ"), lon, lat));
  EXPECT_EQ(lon, u"5.3W");
  EXPECT_FALSE(lookup.FindCountry(QStringLiteral("9S4AA"), lon, lat));
}

/// Pseudo-random callsigns round the prefixes of an entity table: home calls, portable
/// forms in both positions, letter case, blanks, characters beyond ASCII and plain noise.
std::vector<QString> GeneratedCalls(platform::TRecordSet& DXCC, int Count) {
  std::vector<std::string> prefixes = {"DL", "K", "W", "EA8", "KH6", "UA9", "3B8", "VP2E", "E5"};
  const std::size_t prefix = DXCC.FieldIndex("Prefix");
  for (DXCC.First(); !DXCC.Eof(); DXCC.Next()) prefixes.push_back(DXCC.Fields(prefix));
  std::uint32_t seed = 2026;
  const auto next = [&](std::uint32_t Range) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % Range;
  };
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/";
  static const char* const kSuffixes[] = {"/P", "/M", "/AM",  "/MM",    "/QRP",  "/4",
                                          "/0", "/",  "/EA8", "/P/QRP", "/QRPP", "/qrp"};
  static const char* const kOddOnes[] = {
      "",        "/",         "///",      "Q",        "0",          "DL",           "DL1",
      "D/L1ABC", "dl1abc",    " DL1ABC",  "DL1ABC ",  "ea8/dl1abc", " ea8 /DL1ABC", "DL1ÄBC",
      "Ä1AB",    "ÄB/DL1ABC", "ß/DL1ABC", "DL1ABC/ß", "W1AW\n",     "X\nY"};
  std::vector<QString> calls;
  for (const char* odd : kOddOnes) calls.push_back(QString::fromUtf8(odd));
  calls.push_back(QString(QChar(0xD800)) + QStringLiteral("DL1ABC"));  // a lone surrogate
  while (static_cast<int>(calls.size()) < Count) {
    std::string call;
    const std::uint32_t kind = next(10);
    if (kind == 0) {  // noise
      for (std::uint32_t n = 1 + next(8); n > 0; --n) call += kAlphabet[next(37)];
    } else {
      call = prefixes[next(static_cast<std::uint32_t>(prefixes.size()))];
      if (next(4) != 0) call += static_cast<char>('0' + next(10));
      for (std::uint32_t n = next(4); n > 0; --n) call += static_cast<char>('A' + next(26));
      if (kind == 1) call += kSuffixes[next(std::size(kSuffixes))];
      if (kind == 2)
        call = prefixes[next(static_cast<std::uint32_t>(prefixes.size()))] + "/" + call;
      if (kind == 3)
        call = prefixes[next(static_cast<std::uint32_t>(prefixes.size()))] + "/" + call + "/P";
    }
    calls.push_back(QString::fromStdString(call));
  }
  return calls;
}

/// The same answers as the first, plain lookup, and the same filter left on tblUnique.
void ExpectSameAnswers(TCallsignLookup& Lookup, reference::TLookup& Reference,
                       TMemoryRecordSet& Unique, const std::vector<QString>& Calls,
                       const QDateTime& Now) {
  int differences = 0;
  for (const QString& call : Calls) {
    QString lon = QStringLiteral("-"), lat = QStringLiteral("-");
    QString refLon = lon, refLat = lat;
    const bool found = Lookup.FindCountry(call, Now, lon, lat);
    const std::string filter = Unique.Filter();
    const bool refFound = Reference.FindCountry(call, Now, refLon, refLat);
    if (found != refFound || lon != refLon || lat != refLat || filter != Unique.Filter()) {
      ADD_FAILURE() << call.toStdString() << ": " << found << " " << lat.toStdString() << " "
                    << lon.toStdString() << " (" << filter << "), was " << refFound << " "
                    << refLat.toStdString() << " " << refLon.toStdString() << " ("
                    << Unique.Filter() << ")";
      if (++differences == 20) return;
    }
  }
}

TEST(LookupIndex, SameAnswersAsTheRowByRowWalkOnTheSimulatorTables) {
  const std::string db = std::string(ORVANE_TEST_DATA_DIR) + "/../../data/simulator/db/";
  const auto unique = platform::LoadXmlRowset(db + "UniqueCalls.xml");
  const auto province = platform::LoadXmlRowset(db + "Province.xml");
  const auto dxcc = platform::LoadXmlRowset(db + "CountryDataEx.xml");
  std::vector<QString> calls = GeneratedCalls(*dxcc, 10'000);
  const std::size_t callsign = unique->FieldIndex("Callsign");
  for (unique->First(); !unique->Eof(); unique->Next())
    calls.push_back(QString::fromStdString(unique->Fields(callsign)));
  ASSERT_GT(calls.size(), 20'000u);

  TCallsignLookup lookup(*unique, *province, *dxcc, QLocale(QLocale::C));
  reference::TLookup plain(*unique, *province, *dxcc, QLocale(QLocale::C));
  ExpectSameAnswers(lookup, plain, *unique, calls, QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
}

TEST(LookupIndex, SameAnswersForPatternsBeyondTheTablesUsualForms) {
  // Each row a form the index must not take too narrowly: no anchor, empty alternatives,
  // optional and repeated groups, lookarounds, negated and odd classes, escapes, options.
  const std::vector<std::string> patterns = {
      "K[0-9]",
      "(?:)",
      "^(?:|W)1AW$",
      "(?:D[A-R])?L1ABC$",
      "^(?:D)*L[0-9]+",
      "(?<=)EA8X",
      "(?=W)W1[A-Z]*$",
      "(?!K)[A-Z]1[A-Z]*$",
      "[^A-Z]Q[A-Z]",
      "[]A]B1",
      "[-Z]9[A-Z]*",
      "[A-]8Y",
      ".1AB",
      "\\d[A-Z]+",
      "(?i)dl2[a-z]*$",
      "^(K|N)?2[A-Z]{1,3}$",
      "^X.Y$",
      "\\QW1\\E[A-Z]*",
      "^(?:a|b)C",
      "^UA9[A-Z]+(?:/P)?$",
      "^(?:EA[0-9])[A-Z0-9/]*$",
      "^(?:(?:ÄB))[A-Z0-9/]*$",
      "^(?:[ßÄ])[A-Z0-9/]*$",
  };
  std::vector<std::vector<std::string>> rows;
  for (std::size_t i = 0; i < patterns.size(); ++i)
    rows.push_back({"Row " + std::to_string(i + 1), patterns[i], "Active", "",
                    std::to_string(i + 1) + "E", std::to_string(i + 1) + "N"});
  TMemoryRecordSet dxcc({"Prefix", "PrefixList", "Status", "EndDate", "Longitude", "Latitude"},
                        rows);
  TMemoryRecordSet province({"Name", "PrefixList", "EndDate", "Longitude", "Latitude"}, {});
  TMemoryRecordSet unique({"ID", "Callsign", "StartDate", "EndDate", "Longitude", "Latitude"}, {});
  std::vector<QString> calls = GeneratedCalls(dxcc, 5'000);
  for (const char* c : {"K1",    "W1AW",     "1AW",    "DL1ABC", "L1ABC", "DDDL12", "EA8X", "W1ABC",
                        "N1ABC", "K1ABC",    "5QA",    "]B1",    "-9AB",  "Z9",     "-8Y",  "A8Y",
                        "X1AB",  "7ABC",     "dl2xyz", "DL2XYZ", "K2ABC", "2AB",    "X\nY", "W1ABC",
                        "aC",    "UA9ABC/P", "EA1ABC", "ÄB1A",   "ß1",    "Ä1"})
    calls.push_back(QString::fromUtf8(c));
  TCallsignLookup lookup(unique, province, dxcc, QLocale(QLocale::C));
  reference::TLookup plain(unique, province, dxcc, QLocale(QLocale::C));
  ExpectSameAnswers(lookup, plain, unique, calls, QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
}

TEST(LookupIndex, FollowsTablesLoadedOrChangedAfterItWasMade) {
  TMemoryRecordSet unique;
  unique.AddColumn("ID");
  unique.AddColumn("Callsign");
  unique.AddColumn("StartDate");
  unique.AddColumn("EndDate");
  unique.AddColumn("Longitude");
  unique.AddColumn("Latitude");
  TMemoryRecordSet province({"Name", "PrefixList", "EndDate", "Longitude", "Latitude"}, {});
  TMemoryRecordSet dxcc({"Name", "PrefixList", "Status", "EndDate", "Longitude", "Latitude"},
                        {{"Japan", "^J[A-S][0-9][A-Z]*$", "Active", "", "139.0E", "36.0N"}});
  dxcc.Close();
  TCallsignLookup lookup(unique, province, dxcc, QLocale(QLocale::C));  // nothing loaded yet
  const QDateTime now(QDate(2026, 12, 10), QTime(12, 0));
  QString lon, lat;
  EXPECT_THROW(lookup.FindCountry(QStringLiteral("JA1ABC"), now, lon, lat),
               platform::EDatabaseError);

  unique.Open();
  dxcc.Open();
  ASSERT_TRUE(lookup.FindCountry(QStringLiteral("JA1ABC"), now, lon, lat));
  EXPECT_EQ(lat, u"36.0N");
  EXPECT_FALSE(lookup.FindCountry(QStringLiteral("DL1ABC"), now, lon, lat));

  // Rows added while closed count once the tables are open again.
  dxcc.Close();
  dxcc.AppendRow(
      {{0, "Germany"}, {1, "^D[A-R][0-9][A-Z]*$"}, {2, "Active"}, {4, "10.0E"}, {5, "51.0N"}});
  dxcc.Open();
  unique.Close();
  unique.AppendRow({{0, "1"}, {1, "JA1ABC"}, {4, "1.0E"}, {5, "1.0N"}});
  unique.Open();
  ASSERT_TRUE(lookup.FindCountry(QStringLiteral("DL1ABC"), now, lon, lat));
  EXPECT_EQ(lat, u"51.0N");
  ASSERT_TRUE(lookup.FindCountry(QStringLiteral("JA1ABC"), now, lon, lat));
  EXPECT_EQ(lat, u"1.0N");
  EXPECT_EQ(unique.Filter(), "Callsign = 'JA1ABC'");
}

}  // namespace
}  // namespace orvane
