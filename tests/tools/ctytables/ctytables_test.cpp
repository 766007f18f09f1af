// The country file reader, the patterns that carry its longest-prefix rule into first-row
// tables, and the shipped simulator tables placing real callsigns.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/qt/xmlrowset.h"
#include "tools/ctytables/cty.h"

namespace {

using namespace orvane::ctytables;

// Every syntax feature of the file: multi-line lists, "*" regions, exact calls, and each
// override kind; the entity line of Lilliput has a "+" sign and the list ends on its line.
constexpr std::string_view kExtract =
    "Fed. Rep. of Germany:     14:  28:  EU:   51.00:   -10.00:    -1.0:  DL:\n"
    "    DA,DB,DC,DD,DE,DF,DG,DH,DI,DJ,DK,DL,DM,DN,DO,DP,DQ,DR,Y2,Y3,=DL0XYZ/MM(40),\n"
    "    =DA0HQ[28]{EU}~-1.0~;\n"
    "United States:            05:  08:  NA:   37.60:    91.87:     5.0:  K:\n"
    "    AA,K,N,W,K1(5)[8],=KH6ZZ,=KH6ZZ/P,=W1AW,=W6ABC<34.05/118.25>,\n"
    "    W6<36.50/119.50>,N6<36.50/119.50>,WA6<38.00/121.00>;\n"
    "Hawaii:                   31:  61:  OC:   21.12:   157.48:    10.0:  KH6:\n"
    "    KH6,KH7,NH6,WH6;\n"
    "Kure Island:              31:  61:  OC:   29.00:   178.00:    10.0:  KH7K:\n"
    "    KH7K,=K7KZ;\n"
    "Scotland:                 14:  27:  EU:   56.82:     4.18:     0.0:  GM:\n"
    "    GM,MM,=GM0AAA,=GM0SHT;\n"
    "Shetland Islands:         14:  27:  EU:   60.50:     1.50:     0.0:  *GM/s:\n"
    "    GM0Z,=GM0SHT;\n"
    "Bouvet:                   38:  67:  AF:  -54.42:    -3.38:    -1.0:  3Y/b:\n"
    "    =3Y0J;\n"
    "Lilliput:                 +1:  1:   AF:   -0.00:     0.00:    +0.5:  LL:    LL;\n";

std::vector<TCtyEntity> Extract() { return ParseCty(kExtract, "extract.dat"); }

const TCtyEntity& Named(const std::vector<TCtyEntity>& entities, std::string_view name) {
  return *std::find_if(entities.begin(), entities.end(),
                       [&](const TCtyEntity& e) { return e.Name == name; });
}

TEST(CtyFile, ReadsEntitiesAliasesAndOverrides) {
  const auto entities = Extract();
  ASSERT_EQ(entities.size(), 8u);

  const TCtyEntity& us = Named(entities, "United States");
  EXPECT_EQ(us.CqZone, 5);
  EXPECT_EQ(us.ItuZone, 8);
  EXPECT_EQ(us.Continent, "NA");
  EXPECT_DOUBLE_EQ(us.Position.Latitude, 37.60);
  EXPECT_DOUBLE_EQ(us.Position.Longitude, -91.87);  // the file counts west positive
  EXPECT_DOUBLE_EQ(us.UtcOffset, 5.0);
  EXPECT_EQ(us.PrimaryPrefix, "K");
  EXPECT_FALSE(us.Wae);
  ASSERT_EQ(us.Prefixes.size(), 8u);
  EXPECT_EQ(us.Prefixes[4].Text, "K1");
  EXPECT_EQ(us.Prefixes[4].CqZone, 5);
  EXPECT_EQ(us.Prefixes[4].ItuZone, 8);
  EXPECT_FALSE(us.Prefixes[4].Position);
  ASSERT_TRUE(us.Prefixes[5].Position);
  EXPECT_EQ(*us.Prefixes[5].Position, (TCtyPosition{36.50, -119.50}));
  ASSERT_EQ(us.ExactCalls.size(), 4u);
  EXPECT_EQ(us.ExactCalls[1].Text, "KH6ZZ/P");
  EXPECT_EQ(*us.ExactCalls[3].Position, (TCtyPosition{34.05, -118.25}));

  const TCtyEntity& dl = Named(entities, "Fed. Rep. of Germany");
  EXPECT_DOUBLE_EQ(dl.Position.Longitude, 10.0);
  ASSERT_EQ(dl.ExactCalls.size(), 2u);
  EXPECT_EQ(dl.ExactCalls[0].Text, "DL0XYZ/MM");
  EXPECT_EQ(dl.ExactCalls[0].CqZone, 40);
  EXPECT_EQ(dl.ExactCalls[1].ItuZone, 28);
  EXPECT_EQ(dl.ExactCalls[1].Continent, "EU");
  EXPECT_EQ(dl.ExactCalls[1].UtcOffset, -1.0);

  const TCtyEntity& shetland = Named(entities, "Shetland Islands");
  EXPECT_TRUE(shetland.Wae);
  EXPECT_EQ(shetland.PrimaryPrefix, "GM/s");
  EXPECT_TRUE(Named(entities, "Bouvet").Prefixes.empty());
  const TCtyEntity& lilliput = Named(entities, "Lilliput");
  EXPECT_EQ(lilliput.CqZone, 1);
  EXPECT_DOUBLE_EQ(lilliput.UtcOffset, 0.5);
  ASSERT_EQ(lilliput.Prefixes.size(), 1u);
}

TEST(CtyFile, RefusesWhatItDoesNotKnowNamingFileAndLine) {
  const struct {
    const char* Text;
    const char* Message;
  } cases[] = {
      {"A: 1: 1: EU: 1: 1: 0:\n  A;\n", "extract.dat:1: an entity line needs eight fields"},
      {"A: 1: 1: EU: 1: 1: 0: A: extra\n  A;\n", "extract.dat:1: prefix list of 'A' broken"},
      {"A: 1: 1: EU: 1: 1: 0: A:\n  A,\n  B\n", "extract.dat:3: prefix list of 'A' broken"},
      {"A: 1: 1: EU: 1: 1: 0: A:\n  A", "extract.dat:2: prefix list of 'A' not ended by ';'"},
      {"A: 1: 1: EU: 1: 1: 0: A:\n  A,,B;\n", "empty entry in the prefix list of 'A'"},
      {"A: 1: 1: EU: 1: 1: 0: A:\n  Ab;\n", "unexpected 'b' in entry 'Ab'"},
      {"A: 1: 1: EU: 1: 1: 0: A:\n  =;\n", "entry '=' has no callsign or prefix"},
      {"A: 1: 1: EU: 1: 1: 0: A:\n  A(14;\n", "override not closed or empty in entry 'A(14'"},
      {"A: 1: 1: EU: 1: 1: 0: A:\n  A<1.0>;\n", "position needs lat/lon in entry 'A<1.0>'"},
      {"A: 1: 1: EU: 1: 1: 0: A:\n  A<91/0>;\n", "latitude out of range: 91"},
      {"A: 1: 1: EU: 1: 1: 0: A:\n  A(41);\n", "CQ zone out of range: 41"},
      {"A: x: 1: EU: 1: 1: 0: A:\n  A;\n", "bad CQ zone 'x'"},
      {"A: 1: 1: EU: nan: 1: 0: A:\n  A;\n", "bad latitude 'nan'"},
      {"A: 1: 1: EU: 1: 181: 0: A:\n  A;\n", "longitude out of range: 181"},
      {"A: 1: 1: EUR: 1: 1: 0: A:\n  A;\n", "bad continent 'EUR'"},
      {"A: 1: 1: EU: 1: 1: 0: *:\n  A;\n", "entity 'A' without a primary prefix"},
      {": 1: 1: EU: 1: 1: 0: A:\n  A;\n", "entity without a name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    try {
      (void)ParseCty(c.Text, "extract.dat");
      ADD_FAILURE() << "accepted";
    } catch (const ECtyError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
    }
  }
  const std::string tooLong = "A: 1: 1: EU: 1: 1: 0: A:\n  " + std::string(65, 'A') + ";\n";
  EXPECT_THROW((void)ParseCty(tooLong, "extract.dat"), ECtyError);
  EXPECT_TRUE(ParseCty("\n \r\n", "extract.dat").empty());
}

TEST(CtyFile, ReadsFilesAndRefusesMissingOnes) {
  const auto path =
      std::filesystem::temp_directory_path() / ("ctytables_" + std::to_string(::getpid()) + ".dat");
  {
    std::ofstream out(path, std::ios::binary);
    out << kExtract;
  }
  EXPECT_EQ(ReadCtyFile(path.string()).size(), 8u);
  std::filesystem::remove(path);
  try {
    (void)ReadCtyFile(path.string());
    ADD_FAILURE() << "read a missing file";
  } catch (const ECtyError& e) {
    EXPECT_EQ(std::string(e.what()), path.string() + ": cannot be opened");
  }
}

TEST(CtyTables, PositionTextsCarryTheHemisphereLetter) {
  const struct {
    double Latitude, Longitude;
    const char* LatText;
    const char* LonText;
  } cases[] = {
      {51.0, 10.0, "51.00N", "10.00E"},    {37.6, -91.87, "37.60N", "91.87W"},
      {-54.42, 3.38, "54.42S", "3.38E"},   {-0.004, -0.004, "0.00N", "0.00E"},
      {90.0, -180.0, "90.00N", "180.00W"}, {-33.505, 151.2, "33.51S", "151.20E"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LatitudeText(c.Latitude), c.LatText);
    EXPECT_EQ(LongitudeText(c.Longitude), c.LonText);
  }
}

TEST(CtyTables, ReducesPortableCallsignsAsTheLookupDoes) {
  const struct {
    const char* Call;
    const char* Reduced;
  } cases[] = {
      {"DL1ABC", "DL1ABC"},
      {"F/DL1ABC", "F"},
      {"EA8/DL1ABC", "EA8"},
      {"KH6/K1ABC", "KH6"},
      {"3D2/DL1ABC", "3D2/DL1ABC"},
      {"A/DL1ABC", "A/DL1ABC"},
      {"MM/DL1ABC", "MM/DL1ABC"},
      {"PA/DL1ABC", "PA/DL1ABC"},
      {"DL1ABC/P", "DL1ABC/P"},
      {"DL1ABC/MM", "DL1ABC/MM"},
      {"DL1ABC/AM", "DL1ABC/AM"},
      {"DL1ABC/QRP", "DL1ABC"},
      {"DL1ABC/", "DL1ABC"},
      {"K1ABC/6", "K6"},
      {"DL1ABC/EA8", "DL1ABC/EA8"},
      {"ABCDE/3", "ABCDE/3"},
      {"/", "/"},
      {"//", "//"},
      {"vk/DL1ABC", "VK"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReducedCallsign(c.Call), c.Reduced) << c.Call;
}

TEST(CtyTables, PatternsKeepTheLongestPrefixRule) {
  // Owner 0 holds "A" and "ABC", owner 1 "AB": ABx is 1's unless it goes on to ABC.
  const auto bodies = OwnerPatternBodies({{"A", 0}, {"AB", 1}, {"ABC", 0}, {"AX", 0}, {"", 1}}, 2);
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[0], "ABC|A(?!B)");
  EXPECT_EQ(bodies[1], "AB(?!C)");
  EXPECT_EQ(WholeCallPattern("D[A-R]"), "^(?:D[A-R])[A-Z0-9/]*$");
  // A duplicate stays with its first owner.
  EXPECT_EQ(OwnerPatternBodies({{"Q", 1}, {"Q", 0}}, 2), (std::vector<std::string>{"", "Q"}));
  // Leaves share their beginnings, and runs of characters become ranges.
  EXPECT_EQ(OwnerPatternBodies({{"DA", 0}, {"DB", 0}, {"DC", 0}, {"DE", 0}, {"Y2", 0}}, 1)[0],
            "(?:D[A-CE]|Y2)");
}

// A table as the lookup sees it, from the tables built of the extract.
std::string Cell(const TTable& t, int row, std::string_view column) {
  return row < 0 ? "-" : t.Rows[static_cast<std::size_t>(row)][t.Column(column)];
}

TEST(CtyTables, BuildsTheThreeTablesFromTheExtract) {
  const auto entities = Extract();
  const std::vector<TCallArea> areas = {
      {"K", "USA 1", "[AKNW][A-Z]?1", {43.0, -71.5}},
      {"K", "USA 6", "[AKNW][A-Z]?6", {37.0, -120.0}},
      {"XX", "Nowhere 1", "XX1", {1.0, 1.0}},  // no such entity: left out
  };
  const TReferenceTables t = BuildTables(entities, areas);

  // Entities: Shetland (a region) and Bouvet (exact calls only) have no row.
  std::vector<std::string> countries;
  for (const auto& row : t.Dxcc.Rows) countries.push_back(row[0]);
  EXPECT_EQ(countries, (std::vector<std::string>{"Fed. Rep. of Germany", "United States", "Hawaii",
                                                 "Kure Island", "Scotland", "Lilliput"}));
  EXPECT_EQ(Cell(t.Dxcc, 0, "Status"), "Active");
  EXPECT_EQ(Cell(t.Dxcc, 0, "EndDate"), "");
  EXPECT_EQ(Cell(t.Dxcc, 0, "Longitude"), "10.00E");
  EXPECT_EQ(Cell(t.Dxcc, 0, "Latitude"), "51.00N");
  EXPECT_EQ(Cell(t.Dxcc, 0, "PrefixList"), "^(?:(?:D[A-R]|Y[23]))[A-Z0-9/]*$");
  EXPECT_TRUE(CheckDxccTable(entities, t.Dxcc).empty());

  // Provinces: the region, one row per own position (W6 and N6 share theirs), then areas.
  std::vector<std::string> provinces;
  for (const auto& row : t.Province.Rows) provinces.push_back(row[0]);
  EXPECT_EQ(provinces, (std::vector<std::string>{"Shetland Islands", "United States W6",
                                                 "United States WA6", "USA 1", "USA 6"}));

  const TTableMatcher dxcc(t.Dxcc);
  const TTableMatcher province(t.Province);
  const struct {
    const char* Call;
    const char* Province;  // "-" for none
    const char* Country;
  } cases[] = {
      {"DL1ABC", "-", "Fed. Rep. of Germany"},
      {"Y21A/P", "-", "Fed. Rep. of Germany"},
      {"DS1ABC", "-", "-"},  // no prefix of the file
      {"K1ABC", "USA 1", "United States"},
      {"K1", "USA 1", "United States"},
      {"K", "-", "United States"},
      {"AA6XY", "USA 6", "United States"},
      {"W6XYZ", "United States W6", "United States"},
      {"N6XYZ/M", "United States W6", "United States"},
      {"WA6XYZ", "United States WA6", "United States"},
      {"WB6XYZ", "USA 6", "United States"},
      {"KH6ABC", "-", "Hawaii"},
      {"KH6", "-", "Hawaii"},
      {"KH", "-", "United States"},
      {"KH7ABC", "-", "Hawaii"},
      {"KH7K", "-", "Kure Island"},
      {"KH7KZZ", "-", "Kure Island"},
      {"GM3ABC", "-", "Scotland"},
      {"GM0ZZZ", "Shetland Islands", "Scotland"},  // a region, and still a Scottish call
      {"LL0A", "-", "Lilliput"},
      {"dl1abc", "-", "-"},  // letter case counts
      {"DL1ABC ", "-", "-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Call);
    EXPECT_EQ(Cell(t.Province, province.First(c.Call), "Province"), c.Province);
    EXPECT_EQ(Cell(t.Dxcc, dxcc.First(c.Call), "Country"), c.Country);
  }
  EXPECT_EQ(Cell(t.Province, province.First("WA6XYZ"), "Longitude"), "121.00W");
  EXPECT_EQ(Cell(t.Province, province.First("WA6XYZ"), "Latitude"), "38.00N");

  // Individual callsigns: those the prefix rows would place elsewhere, or that carry a
  // position of their own; one row each, the region's before the entity's.
  const auto unique = [](const TTable& table) {
    std::vector<std::string> rows;
    for (const auto& r : table.Rows) {
      std::string s;
      for (std::size_t i = 0; i < table.Columns.size(); ++i) {
        s += (i ? " " : "") + (i < r.size() ? r[i] : std::string("<null>"));
      }
      rows.push_back(s);
    }
    return rows;
  };
  EXPECT_EQ(t.Unique.Columns, (std::vector<std::string>{"ID", "Callsign", "Country", "Longitude",
                                                        "Latitude", "StartDate", "EndDate"}));
  EXPECT_EQ(unique(t.Unique), (std::vector<std::string>{
                                  "1 3Y0J Bouvet 3.38E 54.42S <null> <null>",
                                  "2 GM0SHT Shetland Islands 1.50W 60.50N <null> <null>",
                                  "3 K7KZ Kure Island 178.00W 29.00N <null> <null>",
                                  "4 KH6ZZ United States 91.87W 37.60N <null> <null>",
                                  "5 KH6ZZ/P United States 91.87W 37.60N <null> <null>",
                                  "6 W6ABC United States 118.25W 34.05N <null> <null>",
                              }));
  const TReferenceTables all = BuildTables(entities, areas, {.AllExactCalls = true});
  EXPECT_EQ(all.Unique.Rows.size(), 10u);  // DL0XYZ/MM, DA0HQ, W1AW and GM0AAA come back
}

TEST(CtyTables, CheckFindsPatternsThatPlaceWrongly) {
  const auto entities = Extract();
  TReferenceTables t = BuildTables(entities, {});
  // Hawaii's row made to take every K call: the Hawaiian calls are no longer American,
  // but the American ones now are Hawaiian, since that row comes first for them.
  std::swap(t.Dxcc.Rows[1], t.Dxcc.Rows[2]);
  t.Dxcc.Rows[1][t.Dxcc.Column("PrefixList")] = "^K[A-Z0-9/]*$";
  const auto problems = CheckDxccTable(entities, t.Dxcc);
  ASSERT_FALSE(problems.empty());
  EXPECT_EQ(problems.front().find("K: table gives Hawaii, file gives United States"), 0u)
      << problems.front();
  t.Dxcc.Rows[1][t.Dxcc.Column("PrefixList")] = "^(K";
  EXPECT_THROW(TTableMatcher{t.Dxcc}, std::runtime_error);
  EXPECT_EQ(CheckDxccTable(entities, t.Dxcc).size(), 1u);
  // Rows that are not Active or have an end date are passed over.
  TReferenceTables u = BuildTables(entities, {});
  u.Dxcc.Rows[0][u.Dxcc.Column("Status")] = "Deleted";
  u.Dxcc.Rows[1][u.Dxcc.Column("EndDate")] = "31.12.1990";
  const TTableMatcher m(u.Dxcc);
  EXPECT_EQ(m.First("DL1ABC"), -1);
  EXPECT_EQ(m.First("K1ABC"), -1);
  EXPECT_EQ(m.First("KH6ABC"), 2);
}

// The shipped tables, read as the program reads them, placing real callsigns.
class ShippedTables : public ::testing::Test {
 protected:
  static TTable Load(const char* name) {
    const auto set = platform::LoadXmlRowset(std::string(ORVANE_SIMULATOR_DB_DIR) + "/" + name);
    TTable t;
    t.Columns = set->ColumnNames();
    for (set->First(); !set->Eof(); set->Next()) {
      std::vector<std::string> row;
      for (std::size_t i = 0; i < t.Columns.size(); ++i) row.push_back(set->Fields(i));
      t.Rows.push_back(std::move(row));
    }
    return t;
  }
  static void SetUpTestSuite() {
    Dxcc = new TTable(Load("CountryDataEx.xml"));
    Province = new TTable(Load("Province.xml"));
    Unique = new TTable(Load("UniqueCalls.xml"));
    DxccMatcher = new TTableMatcher(*Dxcc);
    ProvinceMatcher = new TTableMatcher(*Province);
  }
  static void TearDownTestSuite() {
    delete ProvinceMatcher;
    delete DxccMatcher;
    delete Unique;
    delete Province;
    delete Dxcc;
  }

  struct TPlace {
    std::string Country, Region, Longitude, Latitude;
  };
  // Individual callsign, then the reduced callsign against provinces, then entities.
  static std::optional<TPlace> Place(const std::string& call) {
    const std::size_t callCol = Unique->Column("Callsign");
    for (const auto& r : Unique->Rows) {
      if (r[callCol] == call) {
        return TPlace{r[Unique->Column("Country")], "", r[Unique->Column("Longitude")],
                      r[Unique->Column("Latitude")]};
      }
    }
    const std::string reduced = ReducedCallsign(call);
    if (const int p = ProvinceMatcher->First(reduced); p >= 0) {
      const auto& r = Province->Rows[static_cast<std::size_t>(p)];
      return TPlace{r[Province->Column("Country")], r[0], r[Province->Column("Longitude")],
                    r[Province->Column("Latitude")]};
    }
    if (const int d = DxccMatcher->First(reduced); d >= 0) {
      const auto& r = Dxcc->Rows[static_cast<std::size_t>(d)];
      return TPlace{r[0], "", r[Dxcc->Column("Longitude")], r[Dxcc->Column("Latitude")]};
    }
    return std::nullopt;
  }

  static inline TTable* Dxcc = nullptr;
  static inline TTable* Province = nullptr;
  static inline TTable* Unique = nullptr;
  static inline TTableMatcher* DxccMatcher = nullptr;
  static inline TTableMatcher* ProvinceMatcher = nullptr;
};

TEST_F(ShippedTables, PlaceRealCallsignsInTheirEntities) {
  const struct {
    const char* Call;
    const char* Country;
  } cases[] = {
      {"DL1ABC", "Fed. Rep. of Germany"},
      {"DL1ABC/P", "Fed. Rep. of Germany"},
      {"K1ABC", "United States of America"},
      {"W6XYZ/M", "United States of America"},
      {"VK2XX", "Australia"},
      {"JA1ABC", "Japan"},
      {"7K1XYZ", "Japan"},
      {"UA9ABC", "Asiatic Russia"},
      {"UA9XX", "European Russia"},  // UA9X is the Komi Republic, west of the Urals
      {"UA3XX", "European Russia"},
      {"RA0FF", "Asiatic Russia"},
      {"UA9FAA", "European Russia"},
      {"UA2FAA", "Kaliningrad"},
      {"KH6XX", "Hawaii"},
      {"KH7KZ", "Kure Island"},
      {"KL7XX", "Alaska"},
      {"KP4ABC", "Puerto Rico"},
      {"KP4XX", "United States of America"},  // an individual entry of the file
      {"CE0Y", "Easter Island"},
      {"CE0YAA", "Easter Island"},
      {"CE3ABC", "Chile"},
      {"3Y0J", "Bouvet"},
      {"G4ABC", "England"},
      {"GM4ABC", "Scotland"},
      {"MM0ABC", "Scotland"},
      {"2E0ABC", "England"},
      {"IT9ABC", "Sicily"},
      {"I1ABC", "Italy"},
      {"VE3ABC", "Canada"},
      {"VO1AA", "Canada"},
      {"F/DL1ABC", "France"},
      {"EA8/DL1ABC", "Canary Islands"},
      {"DL1ABC/QRP", "Fed. Rep. of Germany"},
      {"ZS6ABC", "South Africa"},
      {"ZL1ABC", "New Zealand"},
      {"PY2ABC", "Brazil"},
      {"BY1AA", "China"},
      {"BV2AA", "Taiwan"},
      {"VP8ABC", "Falkland Islands"},
      {"4U1ITU", "ITU HQ"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Call);
    const auto place = Place(c.Call);
    ASSERT_TRUE(place);
    EXPECT_EQ(place->Country, c.Country);
  }
  EXPECT_FALSE(Place("Q1ABC"));
}

TEST_F(ShippedTables, CallAreasAndRegionsGiveTheirOwnPositions) {
  const struct {
    const char* Call;
    const char* Region;
    const char* Longitude;
    const char* Latitude;
  } cases[] = {
      {"K1ABC", "USA 1 New England", "71.50W", "43.00N"},
      {"KH6/K1ABC", "", "157.48W", "21.12N"},  // Hawaii's own position
      {"K1ABC/6", "USA 6 California", "120.00W", "37.00N"},
      {"VK2XX", "Australia 2 New South Wales", "149.00E", "33.00S"},
      {"UA9ABC", "Asiatic Russia 9 Urals and West Siberia", "68.00E", "56.00N"},
      {"UA3XX", "European Russia 3 Central", "37.50E", "55.50N"},
      {"7K3ABC", "Japan 1 Kanto", "139.70E", "35.70N"},
      {"VO1AA", "Canada Newfoundland", "55.00W", "48.00N"},
      {"VE1AA", "Canada Nova Scotia", "63.00W", "45.00N"},
      {"IT9ABC", "Sicily", "14.00E", "37.50N"},
      {"DL1ABC", "", "10.00E", "51.00N"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Call);
    const auto place = Place(c.Call);
    ASSERT_TRUE(place);
    EXPECT_EQ(place->Region, c.Region);
    EXPECT_EQ(place->Longitude, c.Longitude);
    EXPECT_EQ(place->Latitude, c.Latitude);
  }
}

TEST_F(ShippedTables, EveryRowHasWhatTheLookupReads) {
  for (const TTable* t : {Dxcc, Province}) {
    for (const auto& r : t->Rows) {
      EXPECT_FALSE(r[t->Column("PrefixList")].empty());
      EXPECT_TRUE(r[t->Column("EndDate")].empty());
      const std::string lat = r[t->Column("Latitude")];
      const std::string lon = r[t->Column("Longitude")];
      EXPECT_TRUE(lat.ends_with('N') || lat.ends_with('S')) << lat;
      EXPECT_TRUE(lon.ends_with('E') || lon.ends_with('W')) << lon;
    }
  }
  for (const auto& r : Dxcc->Rows) EXPECT_EQ(r[Dxcc->Column("Status")], "Active");
  std::vector<std::string> calls;
  for (const auto& r : Unique->Rows) {
    EXPECT_FALSE(r[0].empty());
    EXPECT_TRUE(r[Unique->Column("StartDate")].empty());
    calls.push_back(r[Unique->Column("Callsign")]);
  }
  std::sort(calls.begin(), calls.end());
  EXPECT_EQ(std::adjacent_find(calls.begin(), calls.end()), calls.end());
}

}  // namespace
