// Orvane beside the logger simulator: what the operator types into the simulator's
// QSO-entry window reaches Orvane's globe, title and compass through the logger-host
// service, and the simulator's end ends Orvane.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <chrono>
#include <iostream>
#include <memory>

#include "app/compass.h"
#include "app/friends.h"
#include "app/locator.h"
#include "app/lookup.h"
#include "app/program.h"
#include "globe/core/units.h"
#include "globe/projection/projection.h"
#include "globe/view/globe.h"
#include "platform/qt/xmlrowset.h"
#include "tests/app/endtoend/placed.h"
#include "tools/snapshot/simulatorprocess.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

// Generous: the machine may be busy with other builds.
constexpr auto kStart = 30s;
constexpr auto kAnswer = 10s;
constexpr auto kFollow = 10s;

struct Session {
  QString HostName =
      QStringLiteral("orvane-e2e-%1-%2").arg(QCoreApplication::applicationPid()).arg(++Count);
  TSimulatorProcess Logger{QStringLiteral(ORVANE_SIMULATOR), HostName};
  QTemporaryDir Settings;
  // Long enough that a slow answer on a busy machine is not taken for a closed logger.
  TLoggerAccess Access{HostName, std::chrono::seconds(10)};
  std::unique_ptr<TOrvaneWindows> Windows;
  std::vector<std::string> Errors;
  bool Closed = false;

  static inline int Count = 0;

  void Start() {
    ASSERT_TRUE(Logger.Start(kStart)) << Logger.Error().toStdString();
    TForm1Environment E = Access.Environment(TSettingsFile(Settings.path(), Settings.path()),
                                             QStringLiteral(ORVANE_APP_DIR));
    E.OnError = [this](const std::string& M) { Errors.push_back(M); };
    Windows = std::make_unique<TOrvaneWindows>(std::move(E));
    Form1().OnClosed = [this] { Closed = true; };
    Form1().show();
  }
  TForm1& Form1() const { return Windows->Form1(); }
  void Type(const QString& Command) {
    ASSERT_TRUE(Logger.Send(Command, kAnswer)) << Logger.Error().toStdString();
  }
};

using testing::Placed;

TEST(EndToEnd, OrvaneFollowsWhatIsTypedIntoTheLogger) {
  Session S;
  ASSERT_NO_FATAL_FAILURE(S.Start());
  TForm1& F = S.Form1();
  // The home position came from the simulator's database through the registry's folder.
  EXPECT_NEAR(F.mylat, 48.21, 1e-9);
  EXPECT_NEAR(F.mylong, 16.37, 1e-9);
  S.Windows->fCompass().show();

  S.Type(QStringLiteral("call ja1rl"));
  const globe::TPointLL Tokyo = Placed(QStringLiteral("JA1RL"));
  ASSERT_TRUE(WaitUntil([&] { return F._PointLLWWW == Tokyo; }, kFollow))
      << F.edCallsign->text().toStdString();
  EXPECT_EQ(F.edCallsign->text(), QStringLiteral("JA1RL"));
  // The globe turned to the station; the compass shows the short-path bearing the logger
  // computed from Vienna (about 44° for Tokyo).
  EXPECT_NEAR(static_cast<double>(F.Globe41().Projection().CenterLongitude()) * globe::GU_DEGREE,
              Tokyo.iLongX, 2);
  ASSERT_TRUE(WaitUntil(
      [&] { return S.Windows->fCompass().windowTitle().startsWith(QStringLiteral("Az - ")); },
      kFollow));
  const QString Azimuth = F.edAzimut->text();
  EXPECT_EQ(S.Windows->fCompass().windowTitle(), "Az - " + Azimuth.section(u'/', 0, 0));
  EXPECT_NEAR(Azimuth.section(u'/', 0, 0).toInt(), 44, 5) << Azimuth.toStdString();

  // The title names the place under the mouse at the target.
  globe::TPoint xy;
  ASSERT_TRUE(F.Globe41().Projection().LLToDeviceXY(Tokyo.iLongX, Tokyo.iLatY, xy));
  F.Globe41MouseMove(xy.X, xy.Y);
  EXPECT_TRUE(F.windowTitle().startsWith(QStringLiteral("Orvane \u2013 ")))
      << F.windowTitle().toStdString();

  // A locator takes precedence over the callsign.
  S.Type(QStringLiteral("locator JN36BF"));
  double Lat = 0, Long = 0;
  LocatorToLatLong(QStringLiteral("JN36BF"), Lat, Long);
  EXPECT_TRUE(WaitUntil([&] { return F._PointLLWWW == globe::DegToPointLL(Long, Lat); }, kFollow));

  // What one poll tick costs through the local socket, to set beside the bridge's.
  {
    QElapsedTimer Tick;
    Tick.start();
    constexpr int kTicks = 20;
    for (int i = 0; i < kTicks; ++i) (void)F.LoggerLink().Poll();
    std::cout << "[figure] poll tick through the local socket: "
              << static_cast<double>(Tick.nsecsElapsed()) / 1e6 / kTicks << " ms\n";
  }

  // Closing the logger ends Orvane at its next reading, about a second later.
  S.Type(QStringLiteral("quit"));
  ASSERT_TRUE(S.Logger.WaitForFinished(kAnswer));
  EXPECT_TRUE(WaitUntil([&] { return S.Closed; }, 5s));
  EXPECT_TRUE(S.Errors.empty()) << S.Errors.front();
}

TEST(EndToEnd, ALoggerRepairEndsOrvane) {
  Session S;
  ASSERT_NO_FATAL_FAILURE(S.Start());
  S.Type(QStringLiteral("repair on"));
  EXPECT_TRUE(WaitUntil([&] { return S.Closed; }, kFollow));
  EXPECT_TRUE(S.Logger.Running());  // the logger itself goes on
}

}  // namespace
}  // namespace orvane
