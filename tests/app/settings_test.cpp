// The settings file: defaults, the profile reading rules, the exact text written at close,
// and where the file lives when the program's folder cannot be written.
#include "app/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>
#include <stdexcept>
#include <string>

namespace orvane {
namespace {

void WriteFile(const QString& FileName, const QByteArray& Bytes) {
  QFile File(FileName);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  ASSERT_EQ(File.write(Bytes), Bytes.size());
}

QByteArray ReadFile(const QString& FileName) {
  QFile File(FileName);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Root_.isValid());
    ASSERT_TRUE(QDir(Root_.path()).mkdir("exe"));
  }
  QString Exe() const { return Root_.filePath("exe"); }
  QString Config() const { return Root_.filePath("config/Orvane"); }
  QString ExeIni() const { return Root_.filePath("exe/Orvane.ini"); }
  QString ConfigIni() const { return Root_.filePath("config/Orvane/Orvane.ini"); }
  // The program's folder counts as writable unless a test says otherwise.
  TSettingsFile Settings(bool ExeWritable = true) const {
    return TSettingsFile(Exe(), Config(), [this, ExeWritable](const QString& Folder) {
      return Folder != Exe() || ExeWritable;
    });
  }

  QTemporaryDir Root_;
};

TEST_F(SettingsFileTest, MissingOrBadValuesYieldTheDefaults) {
  const TMainSettings Defaults;
  const struct {
    const char* Name;
    std::optional<QByteArray> Text;  // nullopt: no file
  } cases[] = {
      {"no file", std::nullopt},
      {"empty file", ""},
      {"other sections only", "[Other]\nTop=5\n"},
      {"not numbers", "[Main]\nTop=abc\nLeft=\nHeight=12px\nWidth=1.5\nShadow=yes\n"
                      "[Friends]\nTop=0x10\n[Compass]\nWidth=99999999999\n"},
      {"keys before any section", "Top=5\nShadow=1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    QFile::remove(ExeIni());
    if (c.Text) WriteFile(ExeIni(), *c.Text);
    const TSettingsFile S = Settings();
    EXPECT_EQ(S.ReadMain(), Defaults);
    EXPECT_EQ(Defaults.Window, (TWindowGeometry{100, 100, 523, 543}));
    EXPECT_EQ(S.ReadWindow("Friends", DefaultFriendsGeometry),
              (TWindowGeometry{100, 100, 215, 280}));
    EXPECT_EQ(S.ReadWindow("Compass", DefaultCompassGeometry),
              (TWindowGeometry{100, 100, 297, 276}));
  }
}

TEST_F(SettingsFileTest, ProfileReadingRules) {
  const struct {
    const char* Name;
    QByteArray Text;
    TMainSettings Expected;
  } cases[] = {
      {"names ignore case, values are trimmed",
       "[mAIN]\ntop = -20\nLEFT=+7\nheight=600 \nWidth=800\nshadow=1\nFRIENDS=1\ncompass=0\n",
       {{-20, 7, 600, 800}, true, true, false}},
      {"first of repeated keys wins",
       "[Main]\nTop=1\nTop=2\nShadow=0\nShadow=1\n",
       {{1, 100, 523, 543}, false, false, false}},
      {"repeated sections: the first section's key wins, others fill in",
       "[Main]\nTop=1\n[Other]\nTop=9\n[MAIN]\nTop=2\nLeft=3\n",
       {{1, 3, 523, 543}, false, false, false}},
      {"any non-zero number is true", "[Main]\nShadow=2\nFriends=-1\nCompass=00\n",
       {{100, 100, 523, 543}, true, true, false}},
      {"Windows line ends and a byte order mark",
       "\xEF\xBB\xBF[Main]\r\nTop=11\r\nWidth=22\r\n",
       {{11, 100, 523, 22}, false, false, false}},
      {"the projection by its caption, in any case", "[Main]\nProjection= azimuthal \n",
       {{100, 100, 523, 543}, false, false, false, TProjectionChoice::Azimuthal}},
      {"a projection of another name is the sphere", "[Main]\nProjection=Globe\n",
       {{100, 100, 523, 543}, false, false, false, TProjectionChoice::Sphere}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFile(ExeIni(), c.Text);
    EXPECT_EQ(Settings().ReadMain(), c.Expected);
  }
}

TEST_F(SettingsFileTest, CloseWritesTheKeysInOrderAndReadsThemBack) {
  const TMainSettings Main{{10, 20, 300, 400}, true, false, true, TProjectionChoice::Map};
  const struct {
    const char* Name;
    std::optional<TWindowGeometry> Friends, Compass;
    QByteArray Text;
  } cases[] = {
      {"both windows showing", TWindowGeometry{1, 2, 3, 4}, TWindowGeometry{5, 6, 7, 8},
       "[Main]\nTop=10\nLeft=20\nHeight=300\nWidth=400\nShadow=1\nFriends=0\nCompass=1\n"
       "Projection=Map\nLongPath=0\n"
       "\n\n[Friends]\nTop=1\nLeft=2\nHeight=3\nWidth=4\n"
       "\n\n[Compass]\nTop=5\nLeft=6\nHeight=7\nWidth=8\n"},
      {"only the compass showing", std::nullopt, TWindowGeometry{-5, -6, 7, 8},
       "[Main]\nTop=10\nLeft=20\nHeight=300\nWidth=400\nShadow=1\nFriends=0\nCompass=1\n"
       "Projection=Map\nLongPath=0\n"
       "\n\n[Compass]\nTop=-5\nLeft=-6\nHeight=7\nWidth=8\n"},
      {"neither showing", std::nullopt, std::nullopt,
       "[Main]\nTop=10\nLeft=20\nHeight=300\nWidth=400\nShadow=1\nFriends=0\nCompass=1\n"
       "Projection=Map\nLongPath=0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    QFile::remove(ExeIni());
    const TSettingsFile S = Settings();
    ASSERT_TRUE(S.WriteAtClose(Main, c.Friends, c.Compass));
    EXPECT_EQ(ReadFile(ExeIni()).toStdString(), c.Text.toStdString());
    EXPECT_EQ(S.ReadMain(), Main);
    EXPECT_EQ(S.ReadWindow("Friends", DefaultFriendsGeometry),
              c.Friends.value_or(DefaultFriendsGeometry));
    EXPECT_EQ(S.ReadWindow("Compass", DefaultCompassGeometry),
              c.Compass.value_or(DefaultCompassGeometry));
    // Replaced as a whole: no temporary file is left beside it.
    EXPECT_EQ(QDir(Exe()).entryList(QDir::Files | QDir::Hidden), QStringList{"Orvane.ini"});
  }
}

TEST_F(SettingsFileTest, MapKeys) {
  const struct {
    const char* Text;
    bool LongPath;
    int BeamWidth;
    bool Miles;
  } cases[] = {
      {"", false, 30, false},
      {"[Main]\nLongPath=1\nBeamWidth=60\nUnits=mi\n", true, 60, true},
      {"[main]\nbeamwidth=0\nunits= MI \n", false, 0, true},
      {"[Main]\nBeamWidth=-5\nUnits=miles\n", false, 0, false},
      {"[Main]\nBeamWidth=4000\nUnits=km\n", false, 360, false},
      {"[Main]\nBeamWidth=wide\n", false, 30, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    WriteFile(ExeIni(), c.Text);
    const TMainSettings M = Settings().ReadMain();
    EXPECT_EQ(M.LongPath, c.LongPath);
    EXPECT_EQ(M.BeamWidth, c.BeamWidth);
    EXPECT_EQ(M.Miles, c.Miles);
  }
  // The operator's own keys survive the close, which writes the long-path switch only.
  WriteFile(ExeIni(), "[Main]\nBeamWidth=45\nUnits=mi\n");
  TMainSettings Main;
  Main.LongPath = true;
  ASSERT_TRUE(Settings().WriteAtClose(Main, std::nullopt, std::nullopt));
  const TMainSettings Back = Settings().ReadMain();
  EXPECT_TRUE(Back.LongPath);
  EXPECT_EQ(Back.BeamWidth, 45);
  EXPECT_TRUE(Back.Miles);
}

TEST_F(SettingsFileTest, CloseKeepsTheRestOfAnExistingFile) {
  // A hidden window's geometry was written when it closed; the main window leaves it alone.
  WriteFile(ExeIni(),
            "; kept\n[Friends]\nTop=1\nLeft=2\nHeight=3\nWidth=4\n"
            "[main]\nshadow=1\nTop=5\nTop=6\nExtra=x\n");
  const TSettingsFile S = Settings();
  ASSERT_TRUE(S.WriteAtClose({{10, 20, 300, 400}, false, true, false}, std::nullopt,
                             TWindowGeometry{5, 6, 7, 8}));
  // Existing keys keep their place, repeats collapse into the value written, new keys
  // follow in the order of the close. The library puts blank lines before sections.
  EXPECT_EQ(ReadFile(ExeIni()).toStdString(),
            "; kept\n\n\n[Friends]\nTop=1\nLeft=2\nHeight=3\nWidth=4\n"
            "\n\n[main]\nShadow=0\nTop=10\nExtra=x\nLeft=20\nHeight=300\nWidth=400\n"
            "Friends=1\nCompass=0\nProjection=Sphere\nLongPath=0\n"
            "\n\n[Compass]\nTop=5\nLeft=6\nHeight=7\nWidth=8\n");

  ASSERT_TRUE(S.WriteWindow("Friends", {9, 8, 7, 6}));
  EXPECT_EQ(S.ReadWindow("Friends", DefaultFriendsGeometry), (TWindowGeometry{9, 8, 7, 6}));
  EXPECT_EQ(S.ReadMain(), (TMainSettings{{10, 20, 300, 400}, false, true, false}));
}

TEST_F(SettingsFileTest, AChangedOnlyCloseWritesJustTheGivenKeys) {
  const QByteArray Saved =
      "[Main]\nTop=5\nLeft=6\nHeight=700\nWidth=800\nShadow=1\nFriends=1\nCompass=0\n";
  WriteFile(ExeIni(), Saved);
  const TSettingsFile S = Settings();
  // Nothing to write: the file is not even rewritten.
  ASSERT_TRUE(S.WriteChangedAtClose({}, std::nullopt, std::nullopt));
  EXPECT_EQ(ReadFile(ExeIni()), Saved);
  TMainSettingsWrite Changed;
  Changed.Compass = true;
  ASSERT_TRUE(S.WriteChangedAtClose(Changed, std::nullopt, std::nullopt));
  EXPECT_EQ(S.ReadMain(), (TMainSettings{{5, 6, 700, 800}, true, true, true}));
}

TEST(KeepOnScreen, StoredGeometryStaysOnAnAvailableScreen) {
  // Two screens side by side; the primary (first) has a task bar at its bottom.
  const QList<QRect> Screens{QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 1024)};
  const QSize Minimum(190, 200);
  const struct {
    const char* Name;
    TWindowGeometry Stored, Expected;  // top, left, height, width
  } cases[] = {
      {"inside: unchanged", {100, 100, 523, 543}, {100, 100, 523, 543}},
      {"on the second screen: unchanged", {50, 2000, 500, 600}, {50, 2000, 500, 600}},
      {"huge: the screen's size", {100, 100, 2147483647, 2147483647}, {0, 0, 1040, 1920}},
      {"off to the top left", {-5000, -3000, 400, 500}, {0, 0, 400, 500}},
      {"partly off the primary's bottom", {900, 100, 400, 500}, {640, 100, 400, 500}},
      {"mostly on the second screen", {10, 1800, 300, 400}, {10, 1920, 300, 400}},
      {"off every screen: onto the primary", {10, 2147483600, 300, 400}, {10, 1520, 300, 400}},
      {"too small or negative", {100, 100, -20, 0}, {100, 100, 200, 190}},
      {"at the ends of int", {-2147483647 - 1, -2147483647 - 1, 300, 400}, {0, 0, 300, 400}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(KeepOnScreen(c.Stored, Screens, Minimum), c.Expected);
  }
  // Without screens only the minimum applies.
  EXPECT_EQ(KeepOnScreen({-5, -6, 10, 10}, {}, Minimum), (TWindowGeometry{-5, -6, 200, 190}));
}

TEST(PlaceBeside, TheSecondaryWindowsStandBesideTheMainWindowOnItsScreen) {
  const QList<QRect> Screens{QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 1024)};
  const QSize Friends(280, 215);
  const QSize Compass(276, 297);
  const struct {
    const char* Name;
    TWindowGeometry Main, Friends, Compass;  // top, left, height, width
  } cases[] = {
      {"the design's place: to the right", {100, 100, 523, 543}, {100, 651, 215, 280},
       {323, 651, 297, 276}},
      {"no room on the right: to the left", {100, 1300, 523, 600}, {100, 1012, 215, 280},
       {323, 1012, 297, 276}},
      {"on the second screen: there", {50, 2000, 500, 600}, {50, 2608, 215, 280},
       {273, 2608, 297, 276}},
      {"low on the screen: the column is raised", {700, 100, 300, 543}, {520, 651, 215, 280},
       {743, 651, 297, 276}},
      {"the whole screen: kept on it", {0, 0, 1040, 1920}, {0, 1640, 215, 280},
       {223, 1640, 297, 276}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TBesidePlaces P = PlaceBeside(c.Main, Friends, Compass, Screens);
    EXPECT_EQ(P.Friends, c.Friends);
    EXPECT_EQ(P.Compass, c.Compass);
  }
  // Without screens: to the right all the same.
  EXPECT_EQ(PlaceBeside({100, 100, 523, 543}, Friends, Compass, {}).Friends,
            (TWindowGeometry{100, 651, 215, 280}));
}

TEST_F(SettingsFileTest, AFileThatCannotBeReadWholeIsNotReplaced) {
  QByteArray Big("[Main]\nTop=1\n");
  Big.append(QByteArray(MaxSettingsFileSize, ';'));
  WriteFile(ExeIni(), Big);
  const TSettingsFile S = Settings();
  EXPECT_EQ(S.ReadMain(), TMainSettings{});
  EXPECT_FALSE(S.WriteAtClose({}, std::nullopt, std::nullopt));
  EXPECT_FALSE(S.WriteWindow("Compass", {1, 2, 3, 4}));
  EXPECT_EQ(ReadFile(ExeIni()), Big);
  EXPECT_EQ(QDir(Exe()).entryList(QDir::Files | QDir::Hidden), QStringList{"Orvane.ini"});

  // The logger's settings read the same way say so instead of passing for a missing key;
  // a file that is not there still gives the default.
  const std::string File = ExeIni().toStdString();
  EXPECT_EQ(ReadProfileString(File, "Main", "Top", "d"), "d");
  try {
    (void)ReadProfileStringOrThrow(File, "Main", "Top", "d");
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& E) {
    EXPECT_NE(std::string(E.what()).find(File), std::string::npos) << E.what();
  }
  EXPECT_EQ(ReadProfileStringOrThrow(File + ".missing", "Main", "Top", "d"), "d");
}

TEST_F(SettingsFileTest, ANonWritableProgramFolderUsesTheConfigFolder) {
  // An installed program may ship settings beside itself; they are read until the user's
  // own file exists, and they are never written.
  const QByteArray Shipped = "[Main]\nShadow=1\n[Friends]\nWidth=333\n";
  WriteFile(ExeIni(), Shipped);
  const TSettingsFile S = Settings(/*ExeWritable=*/false);
  EXPECT_EQ(S.WritePath(), ConfigIni());
  EXPECT_EQ(S.ReadPath(), ExeIni());
  EXPECT_TRUE(S.ReadMain().Shadow);

  const TMainSettings Main{{1, 2, 3, 4}, false, true, true};
  ASSERT_TRUE(S.WriteAtClose(Main, std::nullopt, std::nullopt));  // makes the folder
  EXPECT_EQ(ReadFile(ExeIni()), Shipped);
  EXPECT_EQ(S.ReadPath(), ConfigIni());
  EXPECT_EQ(S.ReadMain(), Main);
  // The shipped sections the close did not write came along.
  EXPECT_EQ(S.ReadWindow("Friends", DefaultFriendsGeometry).Width, 333);
  EXPECT_EQ(QDir(Config()).entryList(QDir::Files | QDir::Hidden), QStringList{"Orvane.ini"});

  // Once the program's folder is writable, its own file wins when it exists; without it,
  // the settings saved in the configuration folder are read and carried over.
  const TSettingsFile Writable = Settings(/*ExeWritable=*/true);
  EXPECT_EQ(Writable.WritePath(), ExeIni());
  EXPECT_EQ(Writable.ReadPath(), ExeIni());
  ASSERT_TRUE(QFile::remove(ExeIni()));
  EXPECT_EQ(Writable.ReadPath(), ConfigIni());
  EXPECT_EQ(Writable.ReadMain(), Main);
  ASSERT_TRUE(Writable.WriteWindow("Compass", {1, 1, 1, 1}));
  EXPECT_EQ(Writable.ReadPath(), ExeIni());
  EXPECT_EQ(Writable.ReadMain(), Main);
  EXPECT_EQ(Writable.ReadWindow("Friends", DefaultFriendsGeometry).Width, 333);
}

TEST_F(SettingsFileTest, FolderIsWritableChecksTheFolderAndTheFile) {
  EXPECT_TRUE(TSettingsFile::FolderIsWritable(Exe()));
  EXPECT_FALSE(TSettingsFile::FolderIsWritable(Root_.filePath("missing")));
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
  WriteFile(ExeIni(), "[Main]\n");
  ASSERT_TRUE(QFile::setPermissions(ExeIni(), QFileDevice::ReadOwner));
  EXPECT_FALSE(TSettingsFile::FolderIsWritable(Exe()));
  QFile::remove(ExeIni());
  ASSERT_TRUE(QFile::setPermissions(Exe(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
  EXPECT_FALSE(TSettingsFile::FolderIsWritable(Exe()));
  EXPECT_NE(TSettingsFile(Exe(), Config()).WritePath(), ExeIni());
  QFile::setPermissions(Exe(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                   QFileDevice::ExeOwner);
}

}  // namespace
}  // namespace orvane
