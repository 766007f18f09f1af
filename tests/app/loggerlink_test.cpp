// The logger link: the start-up sequence against a scripted registry, database and table
// loader, and the poll of the QSO-entry window against a scripted window tree.
#include "app/loggerlink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/qt/xmlrowset.h"
#include "tests/app/fakelogger.h"

namespace orvane {
namespace {

using TField = TLoggerLink::TField;
using TChanges = std::vector<TLoggerLink::TTextChange>;

struct StartupRig {
  std::vector<std::string> Log;
  TFakeRegistry Registry{Log};
  TFakeDatabase Database{Log};
  std::string MissingTable;  // a file the loader fails on
  std::vector<platform::TRecordSet*> Loaded;

  StartupRig() { Registry.Values["InstallPath"] = "/opt/logger/"; }

  TLoggerLink Link(platform::TWindowLookup& Windows) {
    return TLoggerLink(
        Registry, Database, Windows,
        [this](const std::string& File, const std::string& Section, const std::string& Key,
               const std::string& Default) {
          Log.push_back("Ini " + File + " [" + Section + "] " + Key + " '" + Default + "'");
          return std::string("Main log");
        },
        [this](const std::string& File) -> std::unique_ptr<platform::TRecordSet> {
          Log.push_back("Load " + File);
          if (File == MissingTable) throw std::runtime_error(File + ": cannot be read");
          // Closed, as a loader may hand it over; the link opens it.
          auto Set = std::make_unique<platform::TMemoryRecordSet>();
          Set->AddColumn("PrefixList");
          Loaded.push_back(Set.get());
          return Set;
        });
  }
};

// ---- start-up ------------------------------------------------------------------------

TEST(LoggerLinkStartup, ReadsEverythingInOrder) {
  StartupRig Rig;
  TFakeWindows Windows;
  TLoggerLink Link = Rig.Link(Windows);
  EXPECT_TRUE(Link.Startup().empty());

  const std::vector<std::string> Expected = {
      "OpenKey Software\\Tovrin_Log3 create",
      "ReadString InstallPath",
      "CloseKey",
      "Ini /opt/logger/Tovrin_Log3.ini [EditNewQso] LogName ''",
      "Db.Close",
      "Db.Open /opt/logger/db/logs.mdb",
      "Db.CheckTable Aconfig",
      "Db.Query SELECT * \nFROM Aconfig\nWHERE LogName = 'Main log'",
      "Db.Close",
      "Load /opt/logger/db/CountryDataEx.xml",
      "Load /opt/logger/db/Province.xml",
      "Load /opt/logger/db/UniqueCalls.xml",
  };
  EXPECT_EQ(Rig.Log, Expected);
  EXPECT_EQ(Link.LoggerInstallPath(), "/opt/logger/");
  EXPECT_EQ(Link.LogName(), "Main log");
  EXPECT_DOUBLE_EQ(Link.MyLong(), 13.4);
  EXPECT_DOUBLE_EQ(Link.MyLat(), 52.5);
  EXPECT_TRUE(Link.HomeKnown());
  ASSERT_EQ(Rig.Loaded.size(), 3u);
  EXPECT_EQ(Link.tblDXCC(), Rig.Loaded[0]);
  EXPECT_EQ(Link.tblProvince(), Rig.Loaded[1]);
  EXPECT_EQ(Link.tblUnique(), Rig.Loaded[2]);
  for (const auto* Table : Rig.Loaded) EXPECT_TRUE(Table->Active());
  EXPECT_FALSE(Rig.Database.IsOpen);
}

TEST(LoggerLinkStartup, LongitudeSignIsInverted) {
  using TStored = platform::TLoggerDatabase::TStoredPosition;
  const struct {
    std::optional<TStored> Row;
    double MyLong, MyLat;
  } cases[] = {
      {TStored{30.5, 10}, -30.5, 10},
      {TStored{-30.5, -45.25}, 30.5, -45.25},
      {TStored{180, 0}, -180, 0},
      {std::nullopt, 0, 0},  // no row for the log
  };
  for (const auto& c : cases) {
    StartupRig Rig;
    Rig.Database.Row = c.Row;
    TFakeWindows Windows;
    TLoggerLink Link = Rig.Link(Windows);
    const auto Problems = Link.Startup();
    EXPECT_DOUBLE_EQ(Link.MyLong(), c.MyLong);
    EXPECT_DOUBLE_EQ(Link.MyLat(), c.MyLat);
    // A log without its row leaves home unknown, and says which log.
    EXPECT_EQ(Link.HomeKnown(), c.Row.has_value());
    EXPECT_EQ(Problems.size(), c.Row ? 0u : 1u);
    if (!c.Row) {
      EXPECT_NE(Problems[0].find("\"Main log\""), std::string::npos) << Problems[0];
    }
  }
}

TEST(LoggerLinkStartup, WithoutTheKeyNothingIsRead) {
  StartupRig Rig;
  Rig.Registry.CanOpen = false;
  TFakeWindows Windows;
  TLoggerLink Link = Rig.Link(Windows);
  EXPECT_TRUE(Link.Startup().empty());
  EXPECT_EQ(Rig.Log, std::vector<std::string>{"OpenKey Software\\Tovrin_Log3 create"});
  EXPECT_EQ(Link.LoggerInstallPath(), "");
  EXPECT_EQ(Link.MyLong(), 0);
  EXPECT_EQ(Link.MyLat(), 0);
  EXPECT_EQ(Link.tblDXCC(), nullptr);
  EXPECT_EQ(Link.tblProvince(), nullptr);
  EXPECT_EQ(Link.tblUnique(), nullptr);

  // A logger that does not answer is told apart from one without a key.
  StartupRig Busy;
  Busy.Registry.CanOpen = false;
  Busy.Registry.Unanswered = true;
  TLoggerLink BusyLink = Busy.Link(Windows);
  const auto Problems = BusyLink.Startup();
  ASSERT_EQ(Problems.size(), 1u);
  EXPECT_NE(Problems[0].find("did not answer"), std::string::npos) << Problems[0];
}

TEST(LoggerLinkStartup, AWindowsFolderIsOpenedByItsTranslatedName) {
  // Answers as the bridge under Wine would; nullopt for a path it cannot map.
  struct TPaths final : platform::TLoggerPaths {
    std::vector<std::string> Asked;
    std::optional<std::string> LocalPath(std::string_view Path) override {
      Asked.emplace_back(Path);
      if (Path == "Z:\\nowhere\\") return std::nullopt;
      return "/home/op/.wine/dosdevices/c:/Log/";
    }
  };
  const struct {
    std::string Registry;
    std::string Opened;  // the folder the files are opened in
    bool Asked;
  } Cases[] = {
      {"C:\\Log\\", "/home/op/.wine/dosdevices/c:/Log/", true},
      {"c:/Log/", "/home/op/.wine/dosdevices/c:/Log/", true},
      {"\\\\server\\Log\\", "/home/op/.wine/dosdevices/c:/Log/", true},
      {"Z:\\nowhere\\", "Z:\\nowhere\\", true},  // untranslatable: fails by its own name
      {"/opt/logger/", "/opt/logger/", false},   // the simulator's folder needs nothing
      {"Log\\", "Log\\", false},
  };
  for (const auto& c : Cases) {
    StartupRig Rig;
    Rig.Registry.Values["InstallPath"] = c.Registry;
    QsoWindow W;
    TPaths Paths;
    TLoggerLink Link(
        Rig.Registry, Rig.Database, W.Windows,
        [](const std::string&, const std::string&, const std::string&, const std::string&) {
          return std::string("Main log");
        },
        [](const std::string&) { return std::make_unique<platform::TMemoryRecordSet>(); }, &Paths);
    (void)Link.Startup();
    EXPECT_EQ(Link.LoggerInstallPath(), c.Opened) << c.Registry;
    EXPECT_EQ(Paths.Asked.size(), c.Asked ? 1u : 0u) << c.Registry;
    EXPECT_NE(std::find(Rig.Log.begin(), Rig.Log.end(), "Db.Open " + c.Opened + "db/logs.mdb"),
              Rig.Log.end())
        << c.Registry;
  }
}

// Under Wine the problems name the logger's files as the logger shows them.
TEST(LoggerLinkStartup, ProblemsNameTheFilesAsTheLoggerDoes) {
  struct TPaths final : platform::TLoggerPaths {
    std::optional<std::string> LocalPath(std::string_view) override {
      return "/home/op/.wine/dosdevices/c:/Tovrin_Log3/";
    }
  } Paths;
  StartupRig Rig;
  Rig.Registry.Values["InstallPath"] = "C:\\Tovrin_Log3\\";
  Rig.MissingTable = "/home/op/.wine/dosdevices/c:/Tovrin_Log3/db/Province.xml";
  TFakeWindows Windows;
  TLoggerLink Link(
      Rig.Registry, Rig.Database, Windows,
      [](const std::string&, const std::string&, const std::string&, const std::string&) {
        return std::string("Main log");
      },
      [&Rig](const std::string& File) -> std::unique_ptr<platform::TRecordSet> {
        if (File == Rig.MissingTable)
          throw std::runtime_error("cannot read \"" + File + "\": " + File + ": gone");
        return std::make_unique<platform::TMemoryRecordSet>();
      },
      &Paths);
  const auto Problems = Link.Startup();
  ASSERT_EQ(Problems.size(), 1u);
  EXPECT_TRUE(Problems[0].ends_with("cannot read \"C:\\Tovrin_Log3\\db\\Province.xml\": "
                                    "C:\\Tovrin_Log3\\db\\Province.xml: gone"))
      << Problems[0];
}

TEST(LoggerLinkStartup, AKeyWithoutAFolderIsSaidAndReadsNothing) {
  StartupRig Rig;
  Rig.Registry.Values.clear();
  TFakeWindows Windows;
  TLoggerLink Link = Rig.Link(Windows);
  const auto Problems = Link.Startup();
  ASSERT_EQ(Problems.size(), 1u);
  EXPECT_NE(Problems[0].find("InstallPath"), std::string::npos) << Problems[0];
  EXPECT_EQ(Link.LoggerInstallPath(), "");
  EXPECT_EQ(Rig.Log.size(), 3u);  // the key, its value, closed: no file is opened bare
  EXPECT_EQ(Link.tblDXCC(), nullptr);
  EXPECT_FALSE(Link.HomeKnown());
}

// A step that fails costs what it holds: the steps after it still run, and every problem
// is returned in the order met.
TEST(LoggerLinkStartup, ErrorsAreCollectedAndTheRestIsRead) {
  for (const std::string Where : {"Open", "CheckTable", "QueryPosition"}) {
    SCOPED_TRACE(Where);
    StartupRig Rig;
    Rig.Database.FailIn = Where;
    Rig.MissingTable = "/opt/logger/db/Province.xml";
    TFakeWindows Windows;
    TLoggerLink Link = Rig.Link(Windows);
    const auto Problems = Link.Startup();
    // Each says what it costs in the operator's words, then the detail.
    ASSERT_EQ(Problems.size(), 2u);
    EXPECT_TRUE(Problems[0].starts_with("The home position could not be read")) << Problems[0];
    EXPECT_TRUE(Problems[0].ends_with("Details: " + Where + " failed")) << Problems[0];
    EXPECT_TRUE(Problems[1].starts_with("A reference table of the logger could not be read"))
        << Problems[1];
    EXPECT_TRUE(Problems[1].ends_with("Details: /opt/logger/db/Province.xml: cannot be read"))
        << Problems[1];
    EXPECT_EQ(Link.LoggerInstallPath(), "/opt/logger/");
    EXPECT_EQ(Link.LogName(), "Main log");
    EXPECT_EQ(Link.MyLong(), 0);
    EXPECT_EQ(Link.MyLat(), 0);
    EXPECT_FALSE(Link.HomeKnown());
    EXPECT_FALSE(Rig.Database.IsOpen);
    // The tables on either side of the one that failed are there and open.
    EXPECT_NE(Link.tblDXCC(), nullptr);
    EXPECT_EQ(Link.tblProvince(), nullptr);
    ASSERT_NE(Link.tblUnique(), nullptr);
    EXPECT_TRUE(Link.tblUnique()->Active());
  }
}

TEST(LoggerLinkStartup, QueryKeepsALogNameWithQuotesOneString) {
  const struct {
    const char* Name;
    const char* Sql;
  } cases[] = {
      {"", "SELECT * \nFROM Aconfig\nWHERE LogName = ''"},
      {"Contest 2024", "SELECT * \nFROM Aconfig\nWHERE LogName = 'Contest 2024'"},
      {"O'Brien's", "SELECT * \nFROM Aconfig\nWHERE LogName = 'O''Brien''s'"},
      {"x' OR '1'='1", "SELECT * \nFROM Aconfig\nWHERE LogName = 'x'' OR ''1''=''1'"},
  };
  for (const auto& c : cases) EXPECT_EQ(HomePositionQuery(c.Name), c.Sql) << c.Name;
}

// ---- the poll ------------------------------------------------------------------------

TEST(LoggerLinkPoll, ReadsThePlacesInOrderAndTheLastWins) {
  QsoWindow W;
  StartupRig Rig;
  TLoggerLink Link = Rig.Link(W.Windows);
  // The places in the order tried: panel 2/3, 1/4, 1/3, 2/4 (1-based). 1/1 and 2/1 are
  // never read.
  W.Fill(W.Panel[1][2], "10", "AA1A");
  W.Fill(W.Panel[0][3], "20", "BB2B");
  W.Fill(W.Panel[0][0], "99", "NOT1");
  W.Fill(W.Panel[1][0], "98", "NOT2");
  W.Locators(W.Panel[1][2], 6);
  W.Locators(W.Panel[0][3], 7);

  auto Result = Link.Poll();
  EXPECT_FALSE(Result.Close);
  const TChanges Expected = {
      {TField::lfAzimut, "10"},     {TField::lfCallsign, "AA1A"}, {TField::lfAzimut, "20"},
      {TField::lfCallsign, "BB2B"}, {TField::lfLocator, "L6"},  // the 6th edit of place 1 ...
      // ... which place 2 writes again: no change.
  };
  EXPECT_EQ(Result.Changes, Expected);
  EXPECT_EQ(Link.Text(TField::lfAzimut), "20");
  EXPECT_EQ(Link.Text(TField::lfCallsign), "BB2B");
  EXPECT_EQ(Link.Text(TField::lfLocator), "L6");

  // Both places hold other texts, so each tick writes both again, in the same order; the
  // locator, the same in both, stays unchanged.
  const TChanges Again = {{TField::lfAzimut, "10"},
                          {TField::lfCallsign, "AA1A"},
                          {TField::lfAzimut, "20"},
                          {TField::lfCallsign, "BB2B"}};
  EXPECT_EQ(Link.Poll().Changes, Again);

  // A place that exists later in the order overwrites what the earlier ones wrote.
  W.Fill(W.Panel[1][3], "30", "BB2BC");
  EXPECT_EQ(Link.Poll().Changes, (TChanges{{TField::lfAzimut, "10"},
                                           {TField::lfCallsign, "AA1A"},
                                           {TField::lfAzimut, "20"},
                                           {TField::lfCallsign, "BB2B"},
                                           {TField::lfAzimut, "30"},
                                           {TField::lfCallsign, "BB2BC"}}));
  EXPECT_EQ(Link.Text(TField::lfCallsign), "BB2BC");
}

TEST(LoggerLinkPoll, UnchangedTextsRaiseNothing) {
  QsoWindow W;
  StartupRig Rig;
  TLoggerLink Link = Rig.Link(W.Windows);
  W.Fill(W.Panel[0][2], "45", "K1ABC");
  W.Locators(W.Panel[0][2], 6);
  EXPECT_EQ(Link.Poll().Changes.size(), 3u);
  EXPECT_TRUE(Link.Poll().Changes.empty());
  W.Windows[W.Windows.Children(W.Panel[0][2], "TdxButtonEdit")[0]].Text = "K1ABD";
  EXPECT_EQ(Link.Poll().Changes, (TChanges{{TField::lfCallsign, "K1ABD"}}));
}

TEST(LoggerLinkPoll, TextsAreLimitedToNineteenCharacters) {
  const struct {
    std::string InLogger;
    std::string Read;
  } cases[] = {
      {"ABCDEFGHIJKLMNOPQRSTUVWXY", "ABCDEFGHIJKLMNOPQRS"},  // 25 → first 19
      {"ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNOPQRS"},
      {std::string("DL1\0XYZ", 7), "DL1"},  // ends at the first null
      // 19 characters of two bytes each, then more: no character is cut in half.
      {[] {
         std::string s;
         for (int i = 0; i < 22; ++i) s += "\xC3\x84";
         return s;
       }(),
       [] {
         std::string s;
         for (int i = 0; i < 19; ++i) s += "\xC3\x84";
         return s;
       }()},
  };
  for (const auto& c : cases) {
    QsoWindow W;
    StartupRig Rig;
    TLoggerLink Link = Rig.Link(W.Windows);
    W.Fill(W.Panel[1][2], "", c.InLogger);
    (void)Link.Poll();
    EXPECT_EQ(Link.Text(TField::lfCallsign), c.Read);
    for (const std::size_t Size : W.Windows.BufferSizes) EXPECT_EQ(Size, 20u);
  }
}

TEST(LoggerLinkPoll, LocatorNeedsASixthEdit) {
  QsoWindow W;
  StartupRig Rig;
  TLoggerLink Link = Rig.Link(W.Windows);
  W.Locators(W.Panel[1][2], 6);
  W.Windows[W.Windows.Children(W.Panel[1][2], "TdxEdit")[5]].Text = "JO62QM";
  W.Locators(W.Panel[0][2], 5);  // place 3: only five, so the field is kept
  auto Result = Link.Poll();
  EXPECT_EQ(Result.Changes, (TChanges{{TField::lfLocator, "JO62QM"}}));
}

TEST(LoggerLinkPoll, NoQsoWindowCloses) {
  TFakeWindows Windows;
  Windows.Add(0, "TfmMain", "Logger");
  StartupRig Rig;
  TLoggerLink Link = Rig.Link(Windows);
  const auto Result = Link.Poll();
  EXPECT_TRUE(Result.Close);
  EXPECT_TRUE(Result.Changes.empty());
  EXPECT_EQ(Windows.ChildLookups, 0);

  // A QSO window that stops answering counts as gone.
  QsoWindow W;
  TLoggerLink Link2 = Rig.Link(W.Windows);
  W.Fill(W.Panel[1][2], "10", "AA1A");
  EXPECT_FALSE(Link2.Poll().Close);
  W.Windows.Remove(W.Q);
  const auto Gone = Link2.Poll();
  EXPECT_TRUE(Gone.Close);
  EXPECT_EQ(Link2.Text(TField::lfCallsign), "AA1A");
}

TEST(LoggerLinkPoll, AStalledLoggerIsWaitedForNotTakenForAClosedOne) {
  QsoWindow W;
  StartupRig Rig;
  TLoggerLink Link = Rig.Link(W.Windows);
  W.Fill(W.Panel[1][2], "44", "JA1RL");
  ASSERT_EQ(Link.Poll().Changes.size(), 2u);

  // Ticks without an answer change nothing and close nothing, however many.
  W.Windows[W.Windows.Children(W.Panel[1][2], "TEdit")[0]].Text = "290";
  W.Windows[W.Windows.Children(W.Panel[1][2], "TdxButtonEdit")[0]].Text = "W1AW";
  W.Windows.Busy = true;
  for (int Tick = 0; Tick < 3; ++Tick) {
    const auto Result = Link.Poll();
    EXPECT_FALSE(Result.Close);
    EXPECT_TRUE(Result.Changes.empty());
  }
  EXPECT_EQ(Link.Text(TField::lfCallsign), "JA1RL");
  EXPECT_EQ(Link.Text(TField::lfAzimut), "44");

  // The next answered tick brings what was typed meanwhile; a window then gone closes.
  W.Windows.Busy = false;
  EXPECT_EQ(Link.Poll().Changes,
            (TChanges{{TField::lfAzimut, "290"}, {TField::lfCallsign, "W1AW"}}));
  W.Windows.Remove(W.Q);
  EXPECT_TRUE(Link.Poll().Close);
}

TEST(LoggerLinkPoll, RepairProgressCloses) {
  const struct {
    std::string Title;
    bool Close;
  } cases[] = {
      {"Repair database", true},
      {"Database Repair 50%", true},
      {"Importing", false},
      {"repair", false},                          // the mark is matched as written
      {std::string(248, '.') + "Repair", true},   // ends at the 254th character
      {std::string(249, '.') + "Repair", false},  // its last letter is past the buffer
  };
  for (const auto& c : cases) {
    QsoWindow W;
    StartupRig Rig;
    TLoggerLink Link = Rig.Link(W.Windows);
    W.Fill(W.Panel[0][3], "45", "K1ABC");
    W.Windows.Add(0, "TfmProgress", c.Title);
    const auto Result = Link.Poll();
    EXPECT_EQ(Result.Close, c.Close) << c.Title;
    EXPECT_EQ(W.Windows.BufferSizes.front(), 255u);
    // The tick goes on regardless.
    EXPECT_EQ(Link.Text(TField::lfCallsign), "K1ABC");
  }
}

TEST(LoggerLinkPoll, MissingPlacesAndControlsAreSkipped) {
  QsoWindow W;
  StartupRig Rig;
  TLoggerLink Link = Rig.Link(W.Windows);
  W.Fill(W.Panel[1][2], "10", "AA1A");
  W.Locators(W.Panel[1][2], 6);
  (void)Link.Poll();

  // The controls go away or stop answering: each read is skipped, the fields keep their
  // texts, and the tick does not close the program.
  W.Windows.Remove(W.Windows.Children(W.Panel[1][2], "TdxButtonEdit")[0]);
  W.Windows[W.Windows.Children(W.Panel[1][2], "TEdit")[0]].Text = "11";
  auto Result = Link.Poll();
  EXPECT_FALSE(Result.Close);
  EXPECT_EQ(Result.Changes, (TChanges{{TField::lfAzimut, "11"}}));
  EXPECT_EQ(Link.Text(TField::lfCallsign), "AA1A");

  // None of the four places exists: every field keeps its text.
  W.Windows.Remove(W.Panel[1][2]);
  Result = Link.Poll();
  EXPECT_FALSE(Result.Close);
  EXPECT_TRUE(Result.Changes.empty());
  EXPECT_EQ(Link.Text(TField::lfAzimut), "11");
  EXPECT_EQ(Link.Text(TField::lfLocator), "L6");

  // A QSO window without panels at all.
  TFakeWindows Empty;
  Empty.Add(0, "TfmEditNewQso");
  TLoggerLink Link3 = Rig.Link(Empty);
  Result = Link3.Poll();
  EXPECT_FALSE(Result.Close);
  EXPECT_TRUE(Result.Changes.empty());
}

}  // namespace
}  // namespace orvane
