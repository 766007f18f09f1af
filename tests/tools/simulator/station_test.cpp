// Bearings and azimuth texts, the logger's settings file and database as the simulator
// reads them, stations placed through the shipped tables, and the demonstration.
#include "tools/simulator/station.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tools/simulator/demo.h"
#include "tools/simulator/qsowindow.h"

namespace {

using namespace orvane::sim;
using namespace std::chrono_literals;

const QString kFolder = QStringLiteral(ORVANE_SIMULATOR_FOLDER);

TEST(Bearing, KnownInitialCourses) {
  struct TCase {
    TPosition From, To;
    double Expected;
  };
  const std::vector<TCase> Cases = {
      {{0, 0}, {10, 0}, 0},
      {{0, 0}, {0, 90}, 90},
      {{0, 0}, {-10, 0}, 180},
      {{0, 0}, {0, -90}, 270},
      {{45, 10}, {90, 0}, 0},
      {{0, 170}, {0, -170}, 90},
      {{0, -170}, {0, 170}, 270},
      {{48, 16}, {48, 16}, 0},
      // Valparaíso to Shanghai, the worked example of great-circle navigation: −94.41°.
      {{-33, -71.6}, {31.4, 121.8}, 265.59},
  };
  for (const TCase& C : Cases) {
    const double B = InitialBearing(C.From, C.To);
    EXPECT_NEAR(B, C.Expected, 0.01)
        << C.From.Lat << "," << C.From.Long << " → " << C.To.Lat << "," << C.To.Long;
    EXPECT_GE(B, 0.0);
    EXPECT_LT(B, 360.0);
  }
}

TEST(Bearing, AzimuthTextIsShortAndLongPathInWholeDegrees) {
  const std::vector<std::pair<double, const char*>> Cases = {
      {0, "0/180"},     {45.4, "45/225"},   {45.5, "46/226"},   {179.6, "180/0"},
      {180.4, "180/0"}, {265.59, "266/86"}, {359.4, "359/179"}, {359.6, "0/180"},
  };
  for (const auto& [Bearing, Text] : Cases) EXPECT_EQ(AzimuthText(Bearing), Text) << Bearing;
}

class TempFolder : public ::testing::Test {
 protected:
  QString Write(const QString& Name, const QByteArray& Bytes) {
    const QString Path = Dir.filePath(Name);
    QFile File(Path);
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(Bytes);
    return Path;
  }
  QTemporaryDir Dir;
};

TEST_F(TempFolder, LogNameFollowsProfileRules) {
  EXPECT_EQ(ReadLogName(kFolder + "Tovrin_Log3.ini"), "Home station");
  const std::vector<std::pair<QByteArray, QString>> Cases = {
      {"[editnewqso]\nlogname = Contest 2026 \n", "Contest 2026"},
      {"[EditNewQso]\nLogName=First\nLogName=Second\n", "First"},
      {"[Other]\nLogName=Wrong\n[EditNewQso]\nLogName=Right\n", "Right"},
      {"[EditNewQso]\nLogName=K\xf6ln\n", QString::fromUtf8("Köln")},  // the ANSI code page
      {"[EditNewQso]\nOther=1\n", ""},
      {"LogName=NoSection\n", ""},
      {QByteArray(2 << 20, 'x'), ""},
  };
  for (const auto& [Bytes, Expected] : Cases)
    EXPECT_EQ(ReadLogName(Write("t.ini", Bytes)), Expected) << Bytes.left(60).toStdString();
  EXPECT_EQ(ReadLogName(Dir.filePath("missing.ini")), "");
}

TEST_F(TempFolder, HomePositionFromTheDatabaseTurnedEastPositive) {
  const QString Shipped = kFolder + "db/logs.mdb";
  const auto Home = ReadHomePosition(Shipped, "Home station");
  ASSERT_TRUE(Home);
  EXPECT_DOUBLE_EQ(Home->Lat, 48.21);
  EXPECT_DOUBLE_EQ(Home->Long, 16.37);  // stored −16.37: west positive
  const auto Portable = ReadHomePosition(Shipped, "Portable EA8");
  ASSERT_TRUE(Portable);
  EXPECT_DOUBLE_EQ(Portable->Long, -16.25);
  EXPECT_EQ(ReadHomePosition(Shipped, "No such log"), std::nullopt);
  EXPECT_EQ(ReadHomePosition(Shipped, "x' OR '1'='1"), std::nullopt);  // a value, not SQL

  EXPECT_THROW((void)ReadHomePosition(Dir.filePath("missing.mdb"), "Home station"),
               std::runtime_error);
  EXPECT_FALSE(QFile::exists(Dir.filePath("missing.mdb")));  // not created by the attempt
  EXPECT_THROW((void)ReadHomePosition(Write("access.mdb", QByteArray(4096, '\1')), "x"),
               std::runtime_error);
}

class Finder : public ::testing::Test {
 protected:
  // The tables are loaded once for the suite: the callsign table is large.
  static void SetUpTestSuite() {
    Shared = std::make_unique<TStationFinder>(kFolder, TPosition{48.21, 16.37});
  }
  static void TearDownTestSuite() { Shared.reset(); }
  static std::unique_ptr<TStationFinder> Shared;
};
std::unique_ptr<TStationFinder> Finder::Shared;

TEST_F(Finder, LocatorWinsOverTheCallsign) {
  const double JN36BFLat = 46 + 5.0 / 24 + 1.0 / 48;
  const double JN36BFLong = 6 + 1.0 / 12 + 1.0 / 24;
  for (const char* Locator : {"JN36BF", "jn36bf"}) {
    for (const char* Call : {"", "W1AW"}) {
      const auto P = Shared->Locate(Call, Locator);
      ASSERT_TRUE(P) << Locator << " " << Call;
      EXPECT_NEAR(P->Lat, JN36BFLat, 1e-9);
      EXPECT_NEAR(P->Long, JN36BFLong, 1e-9);
    }
  }
  // Not a valid six-character locator: the callsign decides.
  const auto ByCall = Shared->Locate("4U1ITU", "");
  ASSERT_TRUE(ByCall);
  for (const char* Locator : {"JN36", "JN36BF1", "ZZ00AA", "JN3XBF"}) {
    const auto P = Shared->Locate("4U1ITU", Locator);
    ASSERT_TRUE(P) << Locator;
    EXPECT_EQ(P->Lat, ByCall->Lat);
    EXPECT_EQ(P->Long, ByCall->Long);
  }
}

TEST_F(Finder, AzimuthFromHomeOrNothingForAnUnknownStation) {
  // Vienna to Newington, Connecticut, and to Tokyo.
  EXPECT_EQ(Shared->Place("W1AW", "FN31PR").Azimuth, "300/120");
  EXPECT_EQ(Shared->Place(" ja1rl ", "").Azimuth, Shared->Place("JA1RL", "").Azimuth);
  EXPECT_FALSE(Shared->Place("JA1RL", "").Azimuth.isEmpty());

  EXPECT_EQ(Shared->Place("", "").Azimuth, "");
  EXPECT_EQ(Shared->Place("", "").Info, "");
  for (const char* Call : {"Q", "QQ1ZZZ", "'", "///", "1"}) {
    const TPlacement P = Shared->Place(Call, "");
    EXPECT_EQ(P.Azimuth, "") << Call;
    EXPECT_FALSE(P.Info.isEmpty()) << Call;
  }
}

TEST_F(Finder, EveryDemoStationIsPlacedByTheTablesAndItsLocatorNearby) {
  ASSERT_GE(DemoContacts().size(), 6u);
  for (const TDemoContact& Contact : DemoContacts()) {
    SCOPED_TRACE(Contact.Call.toStdString());
    const auto ByCall = Shared->Locate(Contact.Call, "");
    ASSERT_TRUE(ByCall);
    if (Contact.Locator.isEmpty()) continue;
    const auto ByLocator = Shared->Locate("", Contact.Locator);
    ASSERT_TRUE(ByLocator) << Contact.Locator.toStdString();
    EXPECT_NEAR(ByLocator->Lat, ByCall->Lat, 2.5);  // tables give call-area centres
    EXPECT_NEAR(ByLocator->Long, ByCall->Long, 2.5);
  }
}

TEST(Demo, ScriptTypesEachCharacterHoldsAndClears) {
  using TS = TDemoStep;
  const std::vector<TDemoStep> Expected = {
      {100ms, TS::dfCallsign, "A"}, {100ms, TS::dfCallsign, "AB"}, {2000ms, TS::dfCallsign, ""},
      {100ms, TS::dfCallsign, "C"}, {100ms, TS::dfLocator, "J"},   {100ms, TS::dfLocator, "JN"},
      {2000ms, TS::dfCallsign, ""}, {0ms, TS::dfLocator, ""},
  };
  EXPECT_EQ(DemoScript({{"AB", ""}, {"C", "JN"}}, 100ms, 2000ms), Expected);
  EXPECT_TRUE(DemoScript({}, 100ms, 2000ms).empty());
}

TEST(Demo, TyperPlaysTheScriptIntoTheWindow) {
  TQsoEntryWindow Window("Log", "", {});
  TDemoTyper Typer(Window, DemoScript({{"W1AW", "FN31PR"}}, 1ms, 60s));
  Typer.Start();
  const QDeadlineTimer Deadline(20s);
  while (Window.Locator().text() != "FN31PR" && !Deadline.hasExpired()) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(2ms);
  }
  EXPECT_EQ(Window.Callsign().text(), "W1AW");
  EXPECT_EQ(Window.Locator().text(), "FN31PR");
}

}  // namespace
