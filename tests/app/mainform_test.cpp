// The main window with a scripted logger: start-up, the once-a-second poll driving the
// station display, the overlays on the picture, the menu, the timers and the settings
// written at close.
#include "app/mainform.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/compass.h"
#include "app/friends.h"
#include "app/locator.h"
#include "app/operatormap.h"
#include "app/program.h"
#include "globe/core/units.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/projection/projection.h"
#include "globe/render/attributes.h"
#include "globe/render/canvas.h"
#include "globe/view/globe.h"
#include "globe/view/shadow.h"
#include "platform/qt/globewidget.h"
#include "platform/qt/xmlrowset.h"
#include "platform/recording.h"
#include "tests/app/fakelogger.h"

namespace orvane {
namespace {

using platform::TMemoryRecordSet;

const QString kSourceData = QStringLiteral(ORVANE_TEST_DATA_DIR "/../../data/");

// A logger with its QSO-entry window, reference tables for two entities and an individual
// callsign, and an executable folder holding the country layer.
struct Rig {
  QTemporaryDir Dir;
  std::vector<std::string> Log;
  TFakeRegistry Registry{Log};
  TFakeDatabase Database{Log};
  QsoWindow Qso;
  std::vector<std::string> Errors;
  std::string FailTable;  // a reference table whose loading fails
  QString ExeFolder;
  QDateTime Clock = QDateTime(QDate(2026, 6, 21), QTime(12, 0), Qt::LocalTime);

  Rig() {
    ExeFolder = Dir.filePath(QStringLiteral("bin"));
    QDir().mkpath(ExeFolder);
    QDir().mkpath(Dir.filePath(QStringLiteral("logger")));
    QFile::copy(kSourceData + "world.lyr", ExeFolder + "/world.lyr");
    Registry.Values["InstallPath"] = Dir.filePath(QStringLiteral("logger/")).toStdString();
    Database.Row = TFakeDatabase::TStoredPosition{-16.37, 48.21};  // Vienna, west positive
    Qso.Fill(Qso.Panel[1][2], "", "");
    Qso.Locators(Qso.Panel[1][2], 6);
    SetLocator("");
  }

  THandle Control(const char* Class, int Index = 0) {
    return Qso.Windows.Children(Qso.Panel[1][2], Class).at(static_cast<std::size_t>(Index));
  }
  void SetCall(const std::string& Text) { Qso.Windows[Control("TdxButtonEdit")].Text = Text; }
  void SetAzimut(const std::string& Text) { Qso.Windows[Control("TEdit")].Text = Text; }
  void SetLocator(const std::string& Text) { Qso.Windows[Control("TdxEdit", 5)].Text = Text; }

  TSettingsFile Settings() const {
    return TSettingsFile(ExeFolder, Dir.filePath(QStringLiteral("config")));
  }

  TForm1Environment Environment() {
    TForm1Environment E;
    E.Registry = &Registry;
    E.Database = &Database;
    E.Windows = &Qso.Windows;
    E.Settings = Settings();
    E.ExeFolder = ExeFolder;
    E.ReadIni = [](const std::string&, const std::string&, const std::string&, const std::string&) {
      return std::string("Main log");
    };
    E.LoadTable = [this](const std::string& File) -> std::unique_ptr<platform::TRecordSet> {
      if (!FailTable.empty() && File.ends_with(FailTable))
        throw std::runtime_error(File + ": unreadable");
      if (File.ends_with("CountryDataEx.xml")) {
        return std::make_unique<TMemoryRecordSet>(
            std::vector<std::string>{"PrefixList", "Status", "EndDate", "Longitude", "Latitude"},
            std::vector<std::vector<std::string>>{
                {"(DL|DA)[0-9].*", "Active", "", "10.00E", "51.00N"},
                {"(JA|JR)[0-9].*", "Active", "", "139.00E", "35.00N"},
                {"VK[0-9].*", "Active", "", "151.00E", "33.50S"}});
      }
      if (File.ends_with("Province.xml")) {
        return std::make_unique<TMemoryRecordSet>(
            std::vector<std::string>{"PrefixList", "EndDate", "Longitude", "Latitude"},
            std::vector<std::vector<std::string>>{});
      }
      return std::make_unique<TMemoryRecordSet>(
          std::vector<std::string>{"Callsign", "StartDate", "EndDate", "Longitude", "Latitude"},
          std::vector<std::vector<std::string>>{{"DL0XX", "", "", "60.00W", "10.00S"}});
    };
    E.Now = [this] { return Clock; };
    E.OnError = [this](const std::string& M) { Errors.push_back(M); };
    return E;
  }

  std::unique_ptr<TOrvaneWindows> Start() {
    return std::make_unique<TOrvaneWindows>(Environment());
  }
};

}  // namespace

void PrintTo(const TWindowGeometry& G, std::ostream* Out) {
  *Out << G.Width << "x" << G.Height << " at " << G.Left << "," << G.Top;
}

namespace {

globe::TPointLL At(double Long, double Lat) { return globe::DegToPointLL(Long, Lat); }

// The picture of the globe window as the user sees it, painted through its events.
QImage Picture(TForm1& Form) {
  Form.Globe41Window()->viewport()->repaint();
  return Form.Globe41Window()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int CountNear(const QImage& Image, QPoint Centre, int Radius, QRgb Colour) {
  int n = 0;
  for (int y = Centre.y() - Radius; y <= Centre.y() + Radius; ++y)
    for (int x = Centre.x() - Radius; x <= Centre.x() + Radius; ++x)
      if (Image.rect().contains(x, y) && (Image.pixel(x, y) & 0xFFFFFF) == (Colour & 0xFFFFFF)) ++n;
  return n;
}

QPoint Device(TForm1& Form, const globe::TPointLL& P) {
  globe::TPoint xy;
  EXPECT_TRUE(Form.Globe41().Projection().LLToDeviceXY(P.iLongX, P.iLatY, xy));
  return {xy.X, xy.Y};
}

TEST(MainWindow, StartsUpWithTheLoggersHomeTheLayersAndTheSettings) {
  Rig R;
  QDir().mkpath(R.ExeFolder);
  QFile Ini(R.ExeFolder + "/Orvane.ini");
  ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
  Ini.write("[Main]\nTop=120\nLeft=130\nHeight=400\nWidth=500\nShadow=1\nFriends=0\nCompass=1\n");
  Ini.close();

  auto W = R.Start();
  TForm1& F = W->Form1();
  EXPECT_TRUE(R.Errors.empty());
  EXPECT_DOUBLE_EQ(F.mylat, 48.21);
  EXPECT_DOUBLE_EQ(F.mylong, 16.37);  // the logger stores longitude positive to the west
  EXPECT_EQ(F.LoggerInstallPath(), R.Dir.filePath(QStringLiteral("logger/")));
  EXPECT_EQ(W->frmFriends().friendsini(), F.LoggerInstallPath() + "friends.ini");

  globe::TGlobe4& G = F.Globe41();
  EXPECT_EQ(G.Layers().Count(), 1);  // only world.lyr is there; the others are skipped
  EXPECT_EQ(G.Projection().ProjectionClass(), "TSphericalPrj");
  EXPECT_EQ(G.SurfaceColor(), platform::RGB(0x2F, 0x2F, 0xFF));
  EXPECT_EQ(G.ScrollBars(), globe::ssNone);
  EXPECT_EQ(G.CacheCapacity(), 10240);

  EXPECT_EQ(F.frameGeometry().topLeft(), QPoint(130, 120));
  EXPECT_TRUE(F.ShadowEnabled);
  EXPECT_FALSE(F.S1->isChecked());
  EXPECT_TRUE(F.Sh1->isChecked());
  EXPECT_TRUE(F.Timer1->isActive());
  EXPECT_FALSE(F.ZelTimer->isActive());

  F.show();
  EXPECT_TRUE(F.ZelTimer->isActive());
  EXPECT_FALSE(W->frmFriends().isVisible());
  EXPECT_TRUE(W->fCompass().isVisible());
}

// The logger is reached on a thread of its own: the window shows before the logger is found,
// and goes on painting while the logger hangs.
TEST(MainWindow, TheWindowNeverWaitsForTheLogger) {
  using namespace std::chrono_literals;
  // Found only when the test says so, as a bridge that takes its time to start.
  struct TGate final : TLoggerConnection {
    std::atomic<bool> Open{false};
    std::atomic<bool> Disconnected{false};
    QString Connect() override {
      while (!Open) std::this_thread::sleep_for(10ms);
      return {};
    }
    void Disconnect() noexcept override { Disconnected = true; }
  };
  // The logger's windows, hanging for a while on each lookup of the QSO-entry window.
  struct TSlow final : platform::TWindowLookup {
    explicit TSlow(platform::TWindowLookup& W) : Inner(W) {}
    platform::TWindowLookup& Inner;
    std::atomic<int> HangMs{0};
    std::atomic<int> Lookups{0};
    THandle FindTopLevel(std::string_view ClassName) override {
      if (ClassName == "TfmEditNewQso") {
        ++Lookups;
        std::this_thread::sleep_for(std::chrono::milliseconds(HangMs.load()));
      }
      return Inner.FindTopLevel(ClassName);
    }
    std::vector<THandle> Children(THandle Parent, std::string_view ClassName) override {
      return Inner.Children(Parent, ClassName);
    }
    std::optional<std::string> WindowText(THandle Window, std::size_t BufferSize) override {
      return Inner.WindowText(Window, BufferSize);
    }
  };
  const auto Wait = [](const std::function<bool()>& Done, int Ms) {
    QElapsedTimer Clock;
    Clock.start();
    while (!Done() && Clock.elapsed() < Ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return Done();
  };

  Rig R;
  R.SetCall("JA1ABC");  // typed before Orvane finds the logger
  TGate Gate;
  TSlow Slow(R.Qso.Windows);
  TForm1Environment E = R.Environment();
  E.Windows = &Slow;
  E.Connection = &Gate;
  auto W = std::make_unique<TOrvaneWindows>(std::move(E));
  TForm1& F = W->Form1();
  F.show();
  // Shown at once, saying what it waits for; the map is there already.
  EXPECT_TRUE(F.isVisible());
  EXPECT_EQ(F.StatusText(), QStringLiteral("Connecting to the logger\u2026"));
  EXPECT_FALSE(F.LoggerReady());
  EXPECT_EQ(F.Globe41().Layers().Count(), 1);
  EXPECT_FALSE(Wait([&] { return F.LoggerReady(); }, 300));

  Gate.Open = true;
  ASSERT_TRUE(Wait([&] { return F.LoggerReady(); }, 60000));
  EXPECT_EQ(F.StatusText(), QString());
  EXPECT_DOUBLE_EQ(F.mylat, 48.21);
  EXPECT_EQ(W->frmFriends().friendsini(), F.LoggerInstallPath() + "friends.ini");
  ASSERT_TRUE(Wait([&] { return F._PointLLWWW == At(139, 35); }, 60000));

  // The logger hangs for 5 s on every tick: the window repaints all the while, and the
  // ticks due meanwhile are not piled up behind the one waiting.
  int Paints = 0;
  struct TCounter final : QObject {
    int& Count;
    explicit TCounter(int& C) : Count(C) {}
    bool eventFilter(QObject*, QEvent* Event) override {
      if (Event->type() == QEvent::Paint) ++Count;
      return false;
    }
  } Counter(Paints);
  F.Globe41Window()->viewport()->installEventFilter(&Counter);
  Slow.HangMs = 5000;
  const int LookupsBefore = Slow.Lookups;
  ASSERT_TRUE(Wait([&] { return Slow.Lookups > LookupsBefore; }, 10000));  // a hang begins
  const int LookupsAtHang = Slow.Lookups;
  QElapsedTimer Clock;
  Clock.start();
  qint64 Last = 0;
  qint64 LongestStall = 0;
  while (Clock.elapsed() < 4000) {
    F.Globe41Window()->viewport()->update();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    LongestStall = std::max(LongestStall, Clock.elapsed() - Last);
    Last = Clock.elapsed();
  }
  std::cout << "[figure] longest stall of the window while the logger hangs: " << LongestStall
            << " ms\n";
  EXPECT_GT(Paints, 10);
  EXPECT_LT(LongestStall, 2000);  // the hang is 5 s; a busy machine may stall a little
  EXPECT_LE(Slow.Lookups - LookupsAtHang, 1);
  EXPECT_TRUE(R.Errors.empty()) << R.Errors.front();
  Slow.HangMs = 0;
  W.reset();  // waits for the tick under way, then lets go of the logger on its thread
  EXPECT_TRUE(Gate.Disconnected);
}

// While the logger is not heard the window says so, and a link lost for good ends the
// program with its reason.
TEST(MainWindow, ALoggerNotHeardIsShownAndALostLinkEndsWithItsReason) {
  struct TFlaky final : platform::TWindowLookup {
    explicit TFlaky(platform::TWindowLookup& W) : Inner(W) {}
    platform::TWindowLookup& Inner;
    bool Silent = false;
    TLinkState State;
    THandle FindTopLevel(std::string_view ClassName) override {
      return Silent ? 0 : Inner.FindTopLevel(ClassName);
    }
    std::vector<THandle> Children(THandle Parent, std::string_view ClassName) override {
      return Inner.Children(Parent, ClassName);
    }
    std::optional<std::string> WindowText(THandle Window, std::size_t BufferSize) override {
      return Inner.WindowText(Window, BufferSize);
    }
    bool LastCallUnanswered() const noexcept override { return Silent && !State.Lost; }
    TLinkState LinkState() const override { return State; }
  };
  Rig R;
  TFlaky Flaky(R.Qso.Windows);
  TForm1Environment E = R.Environment();
  E.Windows = &Flaky;
  TOrvaneWindows W(std::move(E));
  TForm1& F = W.Form1();
  bool Ended = false;
  F.OnClosed = [&Ended] { Ended = true; };
  F.show();
  F.ZelTimerTimer();
  EXPECT_EQ(F.StatusText(), QString());

  // A busy logger for a tick or two is normal; longer, the window says it waits.
  Flaky.Silent = true;
  const QString Waiting = QStringLiteral("Waiting for the logger to answer\u2026");
  for (int Tick = 1; Tick <= 3; ++Tick) {
    F.ZelTimerTimer();
    EXPECT_EQ(F.StatusText(), Tick < 3 ? QString() : Waiting) << Tick;
  }
  // A bridge being started again says so at once.
  Flaky.State = {true, false, "ended"};
  F.ZelTimerTimer();
  EXPECT_EQ(F.StatusText(), QStringLiteral("Reconnecting to the logger\u2026"));
  Flaky.Silent = false;
  Flaky.State = {};
  F.ZelTimerTimer();
  EXPECT_EQ(F.StatusText(), QString());
  EXPECT_TRUE(R.Errors.empty());

  Flaky.Silent = true;
  Flaky.State = {true, true, "wine exited with status 1"};
  F.ZelTimerTimer();
  ASSERT_EQ(R.Errors.size(), 1u);
  EXPECT_EQ(R.Errors[0],
            "Orvane ends: the link to the logger is lost: wine exited with status 1.");
  EXPECT_EQ(F.ExitCode(), 1);
  QElapsedTimer Clock;
  Clock.start();
  while (!Ended && Clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_TRUE(Ended);
}

// A damaged database or reference table costs what it holds and nothing else: one message,
// and the map, the window's place and the other tables are there; no box per callsign.
TEST(MainWindow, AStartUpErrorIsShownOnceAndEverythingElseStarts) {
  Rig R;
  QFile Ini(R.ExeFolder + "/Orvane.ini");
  ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
  Ini.write("[Main]\nTop=120\nLeft=130\nHeight=400\nWidth=500\n");
  Ini.close();
  R.Database.FailIn = "CheckTable";
  auto W = R.Start();
  TForm1& F = W->Form1();
  ASSERT_EQ(R.Errors.size(), 1u);
  EXPECT_TRUE(R.Errors[0].ends_with("Details: CheckTable failed")) << R.Errors[0];
  EXPECT_EQ(F.Globe41().Layers().Count(), 1);
  EXPECT_EQ(F.frameGeometry().topLeft(), QPoint(130, 120));
  EXPECT_FALSE(F.HomeKnown());
  EXPECT_NE(F.StatusText().indexOf(QStringLiteral("Home position unknown")), -1)
      << F.StatusText().toStdString();
  // The tables came all the same: a callsign is placed, but nothing is drawn from 0° N 0° E.
  F.SetFieldText(*F.edCallsign, QStringLiteral("JA1ABC"));
  EXPECT_EQ(F._PointLLWWW, At(139, 35));
  EXPECT_EQ(F.CallLabel(), QStringLiteral("JA1ABC"));
  EXPECT_EQ(R.Errors.size(), 1u);

  // A table that cannot be read is said once too; callsigns typed then raise no box.
  Rig Late;
  Late.FailTable = "CountryDataEx.xml";
  auto L = Late.Start();
  ASSERT_EQ(Late.Errors.size(), 1u);
  EXPECT_NE(Late.Errors[0].find("unreadable"), std::string::npos);
  EXPECT_DOUBLE_EQ(L->Form1().mylat, 48.21);
  EXPECT_TRUE(L->Form1().HomeKnown());
  EXPECT_NE(L->Form1().StatusText().indexOf(QStringLiteral("Reference tables missing")), -1);
  for (const char* Call : {"JA1ABC", "VK2ABC", "DL0XX"}) {
    L->Form1().SetFieldText(*L->Form1().edCallsign, QString::fromLatin1(Call));
  }
  EXPECT_EQ(L->Form1()._PointLLWWW, At(-60, -10));  // the individual calls still place
  EXPECT_EQ(Late.Errors.size(), 1u);

  // Several problems make one message, each named.
  Rig Both;
  Both.Database.FailIn = "Open";
  Both.FailTable = "Province.xml";
  Both.Start();
  ASSERT_EQ(Both.Errors.size(), 1u);
  EXPECT_NE(Both.Errors[0].find("Open failed"), std::string::npos) << Both.Errors[0];
  EXPECT_NE(Both.Errors[0].find("Province.xml"), std::string::npos) << Both.Errors[0];
}

TEST(MainWindow, ThePollTurnsTheGlobeToEachStation) {
  Rig R;
  auto W = R.Start();
  TForm1& F = W->Form1();
  F.show();
  W->frmFriends().show();
  QFile Notes(F.LoggerInstallPath() + "friends.ini");
  ASSERT_TRUE(Notes.open(QIODevice::WriteOnly));
  Notes.write("[Club]\nDL1ABC=Club member since 1990\n");
  Notes.close();

  R.SetAzimut("312/132");
  R.SetCall("dl1abc");
  F.ZelTimerTimer();
  EXPECT_EQ(F.edCallsign->text(), QStringLiteral("DL1ABC"));
  EXPECT_EQ(F.edAzimut->text(), QStringLiteral("312/132"));
  EXPECT_EQ(F._PointLLWWW, At(10, 51));
  globe::TGlobeProjection& P = F.Globe41().Projection();
  EXPECT_NEAR(static_cast<double>(P.CenterLongitude()), 10, 1e-6);
  EXPECT_NEAR(static_cast<double>(P.CenterLatitude()), 51, 1e-6);
  EXPECT_EQ(W->frmFriends().Memo1()->toPlainText(),
            QStringLiteral("DL1ABC\nClub member since 1990\n"));

  // An individual entry places a callsign whatever its prefix; a locator of six characters
  // then takes precedence, one of five falls back to the callsign.
  R.SetCall("DL0XX");
  F.ZelTimerTimer();
  EXPECT_EQ(F._PointLLWWW, At(-60, -10));
  R.SetLocator("jo62qm");
  F.ZelTimerTimer();
  double Lat = 0, Long = 0;
  LocatorToLatLong(QStringLiteral("JO62QM"), Lat, Long);
  EXPECT_EQ(F._PointLLWWW, At(Long, Lat));
  R.SetLocator("JO62Q");
  F.ZelTimerTimer();
  EXPECT_EQ(F._PointLLWWW, At(-60, -10));

  // The flat map does not move; an unknown callsign keeps the target.
  F.Map1->trigger();
  const globe::Extended Centre = P.CenterLongitude();
  R.SetLocator("");
  R.SetCall("VK2ABC");
  F.ZelTimerTimer();
  EXPECT_EQ(F._PointLLWWW, At(151, -33.5));
  EXPECT_EQ(P.CenterLongitude(), Centre);
  R.SetCall("ZZ9ZZZ");
  F.ZelTimerTimer();
  EXPECT_EQ(F._PointLLWWW, At(151, -33.5));

  // Emptying the callsign brings the target home, empties the notes and shows the whole map.
  R.SetCall("");
  F.ZelTimerTimer();
  EXPECT_EQ(F._PointLLWWW, At(16.37, 48.21));
  EXPECT_EQ(W->frmFriends().Memo1()->toPlainText(), QString());
  EXPECT_TRUE(R.Errors.empty()) << R.Errors.front();
}

TEST(MainWindow, ASixCharacterTextThatIsNoLocatorFallsBackToTheCallsign) {
  Rig R;
  auto W = R.Start();
  TForm1& F = W->Form1();
  R.SetCall("JA1ABC");
  F.ZelTimerTimer();
  ASSERT_EQ(F._PointLLWWW, At(139, 35));
  double Lat = 0, Long = 0;
  LocatorToLatLong(QStringLiteral("JO62QM"), Lat, Long);
  const struct {
    const char* Locator;
    globe::TPointLL Expected;
  } cases[] = {
      {"ZZ99ZZ", At(139, 35)},  // not a locator: the callsign's place, not 0° N 0° E
      {"JO62QM", At(Long, Lat)},
      {"JO6 QM", At(139, 35)},
      {"JO62Q ", At(139, 35)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Locator);
    R.SetLocator(c.Locator);
    F.ZelTimerTimer();
    EXPECT_EQ(F._PointLLWWW, c.Expected);
    EXPECT_TRUE(F.TargetPlaced());
  }
  EXPECT_TRUE(R.Errors.empty());
}

TEST(MainWindow, ALocatorInItsFieldPlacesTheStationWhateverWasTypedLast) {
  Rig R;
  auto W = R.Start();
  TForm1& F = W->Form1();
  double Lat = 0, Long = 0;
  LocatorToLatLong(QStringLiteral("JO62QM"), Lat, Long);
  // The locator is typed before the callsign, and the callsign changes after it.
  R.SetLocator("JO62QM");
  F.ZelTimerTimer();
  for (const char* Call : {"ZZ9ZZZ", "JA1ABC", "VK2ABC"}) {
    SCOPED_TRACE(Call);
    R.SetCall(Call);
    F.ZelTimerTimer();
    EXPECT_EQ(F._PointLLWWW, At(Long, Lat));
    EXPECT_TRUE(F.TargetPlaced());
  }
  // Without it the callsign places the station again.
  R.SetLocator("");
  F.ZelTimerTimer();
  EXPECT_EQ(F._PointLLWWW, At(151, -33.5));
  EXPECT_TRUE(R.Errors.empty());
}

TEST(MainWindow, MarksAndLabelBelongToTheCallsignWhosePlaceIsShown) {
  Rig R;
  auto W = R.Start();
  TForm1& F = W->Form1();
  F.resize(800, 640);
  F.show();
  F.Map1->trigger();  // the flat map shows home and Tokyo at once
  W->frmFriends().show();
  QFile Notes(F.LoggerInstallPath() + "friends.ini");
  ASSERT_TRUE(Notes.open(QIODevice::WriteOnly));
  Notes.write("[Club]\nJA1ABC=Met in Tokyo\n");
  Notes.close();
  const QRgb Red = qRgb(0xFF, 0, 0);
  const QRgb White = qRgb(0xFF, 0xFF, 0xFF);
  const auto LabelPixels = [&](const QImage& Image, const globe::TPointLL& Of) {
    // The label hangs from a point one degree south of its station.
    const QPoint L = Device(F, globe::TPointLL{Of.iLongX, Of.iLatY - globe::GU_DEGREE, 0});
    int n = 0;
    for (int y = L.y(); y < L.y() + 20; ++y)
      for (int x = L.x() - 15; x < L.x() + 60; ++x)
        if (Image.rect().contains(x, y) && Image.pixel(x, y) == White) ++n;
    return n;
  };
  const globe::TPointLL Tokyo = At(139, 35);
  const globe::TPointLL Home = At(16.37, 48.21);

  for (const char* Unplaced : {"QQ0QQ", "W1"}) {
    SCOPED_TRACE(Unplaced);
    F.SetFieldText(*F.edCallsign, QStringLiteral("JA1ABC"));
    QImage Image = Picture(F);
    ASSERT_TRUE(F.TargetPlaced());
    ASSERT_GT(CountNear(Image, Device(F, Tokyo), 6, Red), 10);
    ASSERT_GT(LabelPixels(Image, Tokyo), 20);
    ASSERT_EQ(W->frmFriends().Memo1()->toPlainText(), QStringLiteral("JA1ABC\nMet in Tokyo\n"));

    // Unknown or partial: nothing at Tokyo any more; the text stands at home, unplaced.
    F.SetFieldText(*F.edCallsign, QString::fromLatin1(Unplaced));
    Image = Picture(F);
    EXPECT_FALSE(F.TargetPlaced());
    EXPECT_EQ(F._PointLLWWW, Tokyo);  // kept for the next lookup, but not shown
    EXPECT_EQ(CountNear(Image, Device(F, Tokyo), 6, Red), 0);
    EXPECT_EQ(LabelPixels(Image, Tokyo), 0);
    EXPECT_GT(LabelPixels(Image, Home), 20);
    EXPECT_EQ(W->frmFriends().Memo1()->toPlainText(), QString());
  }
  EXPECT_TRUE(R.Errors.empty());
}

TEST(MainWindow, AnEqualTextRaisesNoHandler) {
  Rig R;
  auto W = R.Start();
  TForm1& F = W->Form1();
  R.SetCall("JA1ABC");
  F.ZelTimerTimer();
  EXPECT_EQ(F._PointLLWWW, At(139, 35));
  // Moved by hand: the same text from the logger must not move it back.
  F._PointLLWWW = At(0, 0);
  F.ZelTimerTimer();
  F.SetFieldText(*F.edCallsign, QStringLiteral("ja1abc"));
  EXPECT_EQ(F._PointLLWWW, At(0, 0));
}

TEST(MainWindow, DrawsHomeTargetPathAndLabel) {
  Rig R;
  auto W = R.Start();
  TForm1& F = W->Form1();
  F.resize(800, 640);
  F.show();
  const QRgb Red = qRgb(0xFF, 0, 0);
  const QRgb White = qRgb(0xFF, 0xFF, 0xFF);

  // Without a callsign only the home circle.
  QImage Image = Picture(F);
  const QPoint Home = Device(F, At(16.37, 48.21));
  EXPECT_GT(CountNear(Image, Home, 8, Red), 10);

  F.SetFieldText(*F.edCallsign, QStringLiteral("JA1ABC"));
  Image = Picture(F);
  // The overlay pen is 2 screen pixels wide, however many device pixels that takes (this
  // test runs once more at a pixel ratio of 2).
  EXPECT_EQ(F.Globe41().GlobeCanvas().Pen().Width,
            std::lround(2 * F.Globe41Window()->viewport()->devicePixelRatioF()));
  const QPoint Target = Device(F, At(139, 35));
  const QPoint Home2 = Device(F, At(16.37, 48.21));
  EXPECT_GT(CountNear(Image, Target, 8, Red), 10);
  EXPECT_GT(CountNear(Image, Home2, 8, Red), 10);
  // The label: white text below and to the right of a point 15 pixels left of the target.
  const QPoint Label = Device(F, At(139, 34));
  int WhiteRight = 0;
  for (int y = Label.y(); y < Label.y() + 20; ++y)
    for (int x = Label.x() - 15; x < Label.x() + 60; ++x)
      if (Image.rect().contains(x, y) && Image.pixel(x, y) == White) ++WhiteRight;
  EXPECT_GT(WhiteRight, 20);
}

TEST(MainWindow, TheGreyLineIsMarkedOnThePathAndNamedInTheLabel) {
  // 10 December, 15:20 UTC: Vienna (home) and 20° N 33° E (KL60MA) are both some 3° past
  // sunset, while DL0XX at 60° W 10° S is in daylight.
  Rig R;
  R.Clock = QDateTime(QDate(2026, 12, 10), QTime(15, 20), Qt::UTC).toLocalTime();
  auto W = R.Start();
  TForm1& F = W->Form1();
  F.resize(800, 640);
  F.show();
  F.DayNightShadow->trigger();
  const QRgb Amber = qRgb(0xFF, 0xC0, 0x20);
  const globe::TPointLL Sun = globe::SubSolarPoint(globe::EncodeGMTDateTime(2026, 12, 10, 15, 20));

  F.SetFieldText(*F.edCallsign, QStringLiteral("ST2AR"));
  F.SetFieldText(*F.edLocator, QStringLiteral("KL60MA"));
  QImage Image = Picture(F);
  EXPECT_TRUE(F.CallLabel().endsWith(QStringLiteral(" (grey line)")))
      << F.CallLabel().toStdString();
  EXPECT_TRUE(
      globe::TerminatorCrossings(F.ptLondon, F._PointLLWWW, Sun, globe::gcShortest).empty());

  F.SetFieldText(*F.edLocator, QString());
  F.SetFieldText(*F.edCallsign, QStringLiteral("DL0XX"));
  Image = Picture(F);
  EXPECT_FALSE(F.CallLabel().contains(QStringLiteral("grey"))) << F.CallLabel().toStdString();
  const auto Crossings =
      globe::TerminatorCrossings(F.ptLondon, F._PointLLWWW, Sun, globe::gcShortest);
  ASSERT_EQ(Crossings.size(), 1u);
  EXPECT_GT(CountNear(Image, Device(F, Crossings[0]), 4, Amber), 10);
  // The path's pen is back for the next paint's circles.
  EXPECT_EQ(F.Globe41().GlobeCanvas().Pen().Color, platform::RGB(0xFF, 0, 0));
}

TEST(MainWindow, TheTitleNamesTheCountryUnderTheMouse) {
  Rig R;
  auto W = R.Start();
  TForm1& F = W->Form1();
  F.resize(800, 640);
  F.show();
  (void)Picture(F);
  // The program's name stays in the title, never blank.
  EXPECT_EQ(F.windowTitle(), QStringLiteral("Orvane"));
  const QPoint Germany = Device(F, At(10.5, 51));
  F.Globe41MouseMove(Germany.x(), Germany.y());
  EXPECT_EQ(F.windowTitle(), QStringLiteral("Orvane \u2013 Germany"));
  const QPoint Sea = Device(F, At(-30, 30));
  F.Globe41MouseMove(Sea.x(), Sea.y());
  EXPECT_EQ(F.windowTitle(), QStringLiteral("Orvane"));
  F.Globe41MouseLeave();
  EXPECT_EQ(F.windowTitle(), QStringLiteral("Orvane"));
}

TEST(MainWindow, CheckableItemsOnTheMenuBarShowTheirState) {
  Rig R;
  auto W = R.Start();
  TForm1& F = W->Form1();
  EXPECT_EQ(F.LongPath1->text(), QStringLiteral("Long path"));
  F.LongPath1->trigger();
  EXPECT_EQ(F.LongPath1->text(), QStringLiteral("Long path \u2713"));
  EXPECT_EQ(F.T1->text(), QStringLiteral("Texture"));
  F.LongPath1->trigger();
  EXPECT_EQ(F.LongPath1->text(), QStringLiteral("Long path"));
  // Items in a menu draw their own marks; their captions stay.
  F.S1->trigger();
  EXPECT_EQ(F.S1->text(), QStringLiteral("Show with program start"));
}

TEST(MainWindow, TheShadowIsRefreshedEveryFortiethTickOnceItHasMoved) {
  Rig R;
  QFile::remove(R.ExeFolder + "/world.lyr");  // cheap paints
  auto W = R.Start();
  TForm1& F = W->Form1();
  F.resize(400, 300);  // a picture to keep
  F.show();
  // A minute a tick: the sun moves 10° between refreshes, many pixels at any size.
  qint64 Step = 60;
  const auto Redraws = [&F, &R, &Step](int Ticks) {
    int n = 0;
    for (int i = 0; i < Ticks; ++i) {
      platform::TRecordingDevice Device;
      F.Globe41().Paint(Device);
      R.Clock = R.Clock.addSecs(Step);
      F.Timer1Timer();
      n += F.Globe41().RedrawPending() || F.Globe41().RedrawRenderPending() ? 1 : 0;
    }
    return n;
  };
  EXPECT_EQ(Redraws(5), 0);  // shadow off: nothing
  F.DayNightShadow->trigger();
  EXPECT_TRUE(F.ShadowEnabled);
  // The countdown starts at 0: the first tick redraws, then every 40th, keeping the layers'
  // picture: only the shadow and the label are drawn again.
  EXPECT_EQ(Redraws(1), 1);
  EXPECT_EQ(Redraws(39), 0);
  EXPECT_EQ(Redraws(1), 1);
  EXPECT_TRUE(F.Globe41().RedrawRenderPending());
  EXPECT_FALSE(F.Globe41().RedrawPending());
  // Off and on again keeps the count running.
  EXPECT_EQ(Redraws(10), 0);
  F.DayNightShadow->trigger();
  F.DayNightShadow->trigger();
  EXPECT_EQ(Redraws(29), 0);
  EXPECT_EQ(Redraws(1), 1);
  // In real time 40 ticks move the terminator by a fraction of a pixel: no redraw until
  // the moves add up to one.
  Step = 0;
  platform::TRecordingDevice Device;
  F.Globe41().Paint(Device);
  EXPECT_EQ(Redraws(40), 0);
  R.Clock = R.Clock.addSecs(8);
  EXPECT_EQ(Redraws(40), 0);
  R.Clock = R.Clock.addSecs(600);
  EXPECT_EQ(Redraws(40), 1);
}

TEST(MainWindow, MenuCommands) {
  Rig R;
  auto W = R.Start();
  TForm1& F = W->Form1();
  globe::TGlobeProjection& P = F.Globe41().Projection();

  F.Map1->trigger();
  EXPECT_EQ(P.ProjectionClass(), "TCartesianPrj");
  EXPECT_EQ(F.Spherical1->text(), QStringLiteral("Map"));
  F.Sphere1->trigger();
  EXPECT_EQ(P.ProjectionClass(), "TSphericalPrj");
  EXPECT_EQ(F.Spherical1->text(), QStringLiteral("Sphere"));

  QFile::copy(kSourceData + "world.bmp", R.ExeFolder + "/world.bmp");
  F.T1->trigger();
  EXPECT_TRUE(F.T1->isChecked());
  EXPECT_EQ(F.Globe41().SurfaceTextureName(), (R.ExeFolder + "/world.bmp").toStdString());
  // The countries are drawn hollow over the texture, and filled again without it.
  auto& Countries = dynamic_cast<globe::TPolygonPresenter&>(
      F.Globe41().Layers().GetLayer(0).Objects().Presenters().GetPresenter(0));
  EXPECT_EQ(Countries.PolyBrush().BrushStyle(), globe::bsClear);
  F.T1->trigger();
  EXPECT_EQ(F.Globe41().SurfaceTextureName(), "");
  EXPECT_EQ(Countries.PolyBrush().BrushStyle(), globe::bsSolid);

  const globe::Extended Scale = P.ScaleFactor();
  F.FormMouseWheel(true);
  EXPECT_NEAR(static_cast<double>(P.ScaleFactor() / Scale), 1.1, 1e-9);
  F.FormMouseWheel(false);
  EXPECT_NEAR(static_cast<double>(P.ScaleFactor() / Scale), 1.0, 1e-9);

  // Show Friends fills the window only for four characters or more.
  W->frmFriends().Memo1()->setPlainText(QStringLiteral("earlier"));
  F.SetFieldText(*F.edCallsign, QStringLiteral("DL1"));
  F.S2->trigger();
  EXPECT_TRUE(W->frmFriends().isVisible());
  EXPECT_EQ(W->frmFriends().Memo1()->toPlainText(), QStringLiteral("earlier"));

  F.S1->trigger();
  EXPECT_TRUE(F.S1->isChecked());
  F.S1->trigger();
  EXPECT_FALSE(W->frmFriends().isVisible());
  F.Sh1->trigger();
  EXPECT_TRUE(W->fCompass().isVisible());
  F.Sh1->trigger();
  EXPECT_FALSE(W->fCompass().isVisible());
  F.ShowFriends1->trigger();
  EXPECT_TRUE(W->fCompass().isVisible());
}

TEST(MainWindow, TheAzimuthalMapStaysCentredOnHomeAndIsRemembered) {
  Rig R;
  QDir().mkpath(R.ExeFolder);
  QFile Ini(R.ExeFolder + "/Orvane.ini");
  ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
  Ini.write("[Main]\nProjection=azimuthal\n");
  Ini.close();
  {
    auto W = R.Start();
    TForm1& F = W->Form1();
    F.resize(800, 640);
    F.show();
    globe::TGlobeProjection& P = F.Globe41().Projection();
    EXPECT_EQ(P.ProjectionClass(), "TAzimuthalPrj");
    EXPECT_TRUE(F.Azimuthal1->isChecked());
    EXPECT_EQ(F.Spherical1->text(), QStringLiteral("Azimuthal"));

    // Home is the middle of the map, and stays there when a target is shown: the path
    // leaves the centre straight towards it.
    const QPoint Middle = Device(F, At(16.37, 48.21));
    EXPECT_EQ(Middle, QPoint(P.XOrigin(), P.YOrigin()));
    F.SetFieldText(*F.edCallsign, QStringLiteral("JA1ABC"));
    EXPECT_EQ(Device(F, At(16.37, 48.21)), Middle);
    const QImage Image = Picture(F);
    const QPoint Target = Device(F, At(139, 35));
    EXPECT_GT(CountNear(Image, Target, 8, qRgb(0xFF, 0, 0)), 10);

    F.Map1->trigger();
    EXPECT_EQ(P.ProjectionClass(), "TCartesianPrj");
    F.Azimuthal1->trigger();
    // The fit rounds the middle of an odd width up, the locating down.
    EXPECT_LE((Device(F, At(16.37, 48.21)) - Middle).manhattanLength(), 1);
    F.close();
  }
  EXPECT_EQ(R.Settings().ReadMain().Projection, TProjectionChoice::Azimuthal);
}

TEST(MainWindow, ATextureThatCannotBeReadIsReportedAndUnchecked) {
  const struct {
    const char* Name;
    QByteArray Content;  // empty: no file
    const char* Message;
  } cases[] = {
      {"missing", {}, "not found"},
      {"not a bitmap", "\x89PNG\r\n\x1a\n not a bitmap", "256 color"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Rig R;
    if (!c.Content.isEmpty()) {
      QFile File(R.ExeFolder + "/world.bmp");
      ASSERT_TRUE(File.open(QIODevice::WriteOnly));
      File.write(c.Content);
    }
    auto W = R.Start();
    TForm1& F = W->Form1();
    F.T1->trigger();
    EXPECT_FALSE(F.T1->isChecked());
    EXPECT_EQ(F.Globe41().SurfaceTextureName(), "");
    ASSERT_EQ(R.Errors.size(), 1u);
    EXPECT_NE(R.Errors[0].find(c.Message), std::string::npos) << R.Errors[0];
    EXPECT_NE(R.Errors[0].find(R.ExeFolder.toStdString() + "/world.bmp"), std::string::npos);
    // The countries keep their fill: there is no texture to show through.
    auto& Countries = dynamic_cast<globe::TPolygonPresenter&>(
        F.Globe41().Layers().GetLayer(0).Objects().Presenters().GetPresenter(0));
    EXPECT_EQ(Countries.PolyBrush().BrushStyle(), globe::bsSolid);
  }
}

TEST(MainWindow, TheStartViewFitsTheWindowItGets) {
  Rig R;
  QFile Ini(R.ExeFolder + "/Orvane.ini");
  ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
  Ini.write("[Main]\nTop=10\nLeft=10\nHeight=560\nWidth=700\n");
  Ini.close();
  auto W = R.Start();
  TForm1& F = W->Form1();
  F.show();
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  globe::TGlobe4& G = F.Globe41();
  const auto Radius = [&G] {
    return static_cast<double>(G.Projection().ScaleFactor() * globe::GU_EARTH_RADIUS);
  };
  // The whole globe fits: its disc touches the shorter side of the window, no more.
  const int Short = std::min(G.ClientWidth(), G.ClientHeight());
  EXPECT_GT(Short, 400);
  EXPECT_LE(Radius(), Short / 2.0 + 1);
  EXPECT_GE(Radius(), Short / 2.0 - 2);

  // Once the user zooms, a resize keeps the user's scale.
  F.FormMouseWheel(true);
  const double Zoomed = Radius();
  F.resize(F.width() + 50, F.height() + 50);
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_GT(Radius(), Zoomed);
  EXPECT_GT(Radius(), std::min(G.ClientWidth(), G.ClientHeight()) / 2.0 + 10);
}

TEST(MainWindow, StoredGeometryIsKeptOnTheScreen) {
  Rig R;
  QFile Ini(R.ExeFolder + "/Orvane.ini");
  ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
  Ini.write(
      "[Main]\nTop=-5000\nLeft=-7000\nHeight=2147483647\nWidth=2147483647\n"
      "[Friends]\nTop=99999\nLeft=99999\nHeight=-1\nWidth=-1\n");
  Ini.close();
  auto W = R.Start();
  TForm1& F = W->Form1();
  F.show();
  W->frmFriends().show();
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  const QRect Screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(Screen.contains(F.frameGeometry()))
      << F.frameGeometry().x() << "," << F.frameGeometry().y() << " " << F.frameGeometry().width()
      << "x" << F.frameGeometry().height();
  EXPECT_TRUE(Screen.contains(W->frmFriends().frameGeometry()));
  EXPECT_GE(W->frmFriends().frameGeometry().width(), kFriendsMinimumSize.width());
  EXPECT_TRUE(R.Errors.empty());
}

// A window manager frames a window some time after it is shown; only then is the frame's
// size known. Sizes and places must come back as they were written, start after start.
// Needs a display with a window manager (window_manager_test.sh gives one).
TEST(MainWindow, WindowsComeBackAsTheyWereUnderAWindowManager) {
  if (qEnvironmentVariableIsEmpty("ORVANE_WINDOW_MANAGER_TEST")) {
    GTEST_SKIP() << "needs a display with a window manager";
  }
  Rig R;
  QFile Ini(R.ExeFolder + "/Orvane.ini");
  ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
  Ini.write(
      "[Main]\nTop=100\nLeft=120\nHeight=450\nWidth=560\nFriends=1\nCompass=1\n"
      "[Friends]\nTop=300\nLeft=700\nHeight=215\nWidth=280\n"
      "[Compass]\nTop=40\nLeft=700\nHeight=297\nWidth=276\n");
  Ini.close();
  const TSettingsFile S = R.Settings();
  const TWindowGeometry Main = S.ReadMain().Window;
  const TWindowGeometry Friends = S.ReadWindow("Friends", DefaultFriendsGeometry);
  const TWindowGeometry Compass = S.ReadWindow("Compass", DefaultCompassGeometry);
  for (int Start = 1; Start <= 3; ++Start) {
    SCOPED_TRACE(Start);
    {
      auto W = R.Start();
      W->Form1().show();
      const QList<QWidget*> Windows{&W->Form1(), &W->frmFriends(), &W->fCompass()};
      const auto Framed = [&Windows] {
        return std::all_of(Windows.begin(), Windows.end(), [](QWidget* Window) {
          return Window->isVisible() && Window->frameGeometry().size() != Window->size();
        });
      };
      QElapsedTimer Clock;
      Clock.start();
      while (!Framed() && Clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
      }
      ASSERT_TRUE(Framed()) << "no window manager frames the windows";
      // Time for the window manager to settle what the program asked for.
      while (Clock.elapsed() < 1500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
      W->Form1().close();
      QCoreApplication::processEvents();
    }
    EXPECT_EQ(S.ReadMain().Window, Main);
    EXPECT_EQ(S.ReadWindow("Friends", DefaultFriendsGeometry), Friends);
    EXPECT_EQ(S.ReadWindow("Compass", DefaultCompassGeometry), Compass);
  }
}

// Started without a logger, the program ends at its first poll, saying why, with an error
// status.
TEST(MainWindow, WithoutALoggerTheProgramSaysWhyItEnds) {
  Rig R;
  R.Qso.Windows.Remove(R.Qso.Q);
  auto W = R.Start();
  TForm1& F = W->Form1();
  bool Ended = false;
  F.OnClosed = [&Ended] { Ended = true; };
  F.show();
  F.ZelTimerTimer();
  ASSERT_EQ(R.Errors.size(), 1u);
  EXPECT_EQ(R.Errors[0].find("Orvane ends: no logger is running"), 0u) << R.Errors[0];
  EXPECT_EQ(R.Errors[0].find("README"), std::string::npos) << R.Errors[0];
  EXPECT_FALSE(F.ZelTimer->isActive());
  EXPECT_EQ(F.ExitCode(), 1);
  QElapsedTimer Clock;
  Clock.start();
  while (!Ended && Clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_TRUE(Ended);
  EXPECT_FALSE(F.isVisible());

  // A logger that closes its window ends the program as usual, with no error.
  Rig Seen;
  auto S = Seen.Start();
  S->Form1().show();
  S->Form1().ZelTimerTimer();
  Seen.Qso.Windows.Remove(Seen.Qso.Q);
  testing::internal::CaptureStderr();
  S->Form1().ZelTimerTimer();
  const std::string Said = testing::internal::GetCapturedStderr();
  EXPECT_NE(Said.find("QSO-entry window has closed"), std::string::npos) << Said;
  EXPECT_EQ(S->Form1().ExitCode(), 0);
  EXPECT_TRUE(Seen.Errors.empty());
}

// The friends and compass windows, never placed by the user, stand beside the main window
// on its screen; a place the user chose is kept.
TEST(MainWindow, SecondaryWindowsNeverPlacedStandBesideTheMainWindow) {
  Rig R;
  QFile Ini(R.ExeFolder + "/Orvane.ini");
  ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
  // A main window small enough for the column to fit beside it on the test's screen.
  Ini.write("[Main]\nTop=10\nLeft=10\nHeight=400\nWidth=300\n[Compass]\nTop=50\nLeft=60\n");
  Ini.close();
  auto W = R.Start();
  TForm1& F = W->Form1();
  F.show();
  F.S2->trigger();
  F.ShowFriends1->trigger();
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  const QRect Main = F.frameGeometry();
  const QRect Friends = W->frmFriends().frameGeometry();
  EXPECT_FALSE(Friends.intersects(Main));
  EXPECT_EQ(Friends.left(), Main.right() + 1 + 8);
  EXPECT_EQ(Friends.top(), Main.top());
  EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(Friends));
  EXPECT_EQ(W->fCompass().frameGeometry().topLeft(), QPoint(60, 50));
}

// The first start, without a settings file, under a window manager: the three windows,
// framed, stand apart on one screen; the next start finds them where they were left.
TEST(MainWindow, TheFirstStartPlacesTheWindowsApartUnderAWindowManager) {
  if (qEnvironmentVariableIsEmpty("ORVANE_WINDOW_MANAGER_TEST")) {
    GTEST_SKIP() << "needs a display with a window manager";
  }
  Rig R;
  QRect Places[3];
  for (int Start = 1; Start <= 2; ++Start) {
    SCOPED_TRACE(Start);
    auto W = R.Start();
    TForm1& F = W->Form1();
    F.show();
    if (Start == 1) {
      F.S1->trigger();  // both open, and at the next start too
      F.Sh1->trigger();
    }
    const QList<QWidget*> Windows{&F, &W->frmFriends(), &W->fCompass()};
    const auto Framed = [&Windows] {
      return std::all_of(Windows.begin(), Windows.end(), [](QWidget* Window) {
        return Window->isVisible() && Window->frameGeometry().size() != Window->size();
      });
    };
    QElapsedTimer Clock;
    Clock.start();
    while (!Framed() && Clock.elapsed() < 5000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    ASSERT_TRUE(Framed()) << "no window manager frames the windows";
    while (Clock.elapsed() < 1500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const QRect Screen = F.screen()->availableGeometry();
    for (int i = 0; i < 3; ++i) {
      const QRect G = Windows[i]->frameGeometry();
      EXPECT_TRUE(Screen.contains(G)) << i;
      for (int j = 0; j < i; ++j) EXPECT_FALSE(G.intersects(Windows[j]->frameGeometry())) << i << j;
      if (Start == 1) Places[i] = G;
      else EXPECT_EQ(G, Places[i]) << i;
    }
    F.close();
    QCoreApplication::processEvents();
  }
}

// A start-up whose database fails still reads the settings: what the user did not change
// is written back as it was, what the user changed is written.
TEST(MainWindow, SettingsAreKeptWhenTheLoggersDatabaseFails) {
  const QByteArray Saved =
      "[Main]\nTop=120\nLeft=130\nHeight=400\nWidth=500\nShadow=0\nFriends=1\nCompass=1\n";
  const auto Run = [&Saved](bool ToggleShadow) {
    Rig R;
    QFile Ini(R.ExeFolder + "/Orvane.ini");
    EXPECT_TRUE(Ini.open(QIODevice::WriteOnly));
    Ini.write(Saved);
    Ini.close();
    R.Database.FailIn = "CheckTable";  // the settings are read all the same
    {
      auto W = R.Start();
      EXPECT_EQ(R.Errors.size(), 1u);
      W->Form1().show();
      if (ToggleShadow) W->Form1().DayNightShadow->trigger();
      W->Form1().close();
    }
    return R.Settings().ReadMain();
  };
  EXPECT_EQ(Run(false), (TMainSettings{{120, 130, 400, 500}, false, true, true}));
  EXPECT_EQ(Run(true), (TMainSettings{{120, 130, 400, 500}, true, true, true}));
}

TEST(MainWindow, ClosingWritesTheSettingsAndTheLoggerEndsTheProgram) {
  Rig R;
  {
    auto W = R.Start();
    TForm1& F = W->Form1();
    bool Ended = false;
    F.OnClosed = [&Ended] { Ended = true; };
    F.show();
    F.DayNightShadow->trigger();
    F.Sh1->trigger();  // the compass shows and opens at start
    W->fCompass().SetWindowBounds(300, 310, 250, 260);
    F.S1->trigger();  // the friends window opens at start, but is hidden at close
    W->frmFriends().move(30, 40);
    W->frmFriends().close();

    // The QSO-entry window goes away: the next tick closes the main window, saying why.
    F.ZelTimerTimer();
    R.Qso.Windows.Remove(R.Qso.Q);
    testing::internal::CaptureStderr();
    F.ZelTimerTimer();
    EXPECT_FALSE(F.isVisible());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Orvane ends: the logger's QSO-entry window has closed.\n");
    QCoreApplication::processEvents();
    EXPECT_TRUE(Ended);
  }
  const TMainSettings Main = R.Settings().ReadMain();
  EXPECT_TRUE(Main.Shadow);
  EXPECT_TRUE(Main.Friends);
  EXPECT_TRUE(Main.Compass);
  const TWindowGeometry Compass = R.Settings().ReadWindow("Compass", DefaultCompassGeometry);
  EXPECT_EQ(Compass.Left, 300);
  EXPECT_EQ(Compass.Width, 250);
  // The friends window wrote its own geometry when it was closed.
  EXPECT_EQ(R.Settings().ReadWindow("Friends", DefaultFriendsGeometry).Top, 40);

  // The next start reads them back, as sphere and without texture.
  auto W = R.Start();
  EXPECT_TRUE(W->Form1().ShadowEnabled);
  EXPECT_TRUE(W->Form1().S1->isChecked());
  EXPECT_EQ(W->Form1().Spherical1->text(), QStringLiteral("Sphere"));
  EXPECT_FALSE(W->Form1().T1->isChecked());
}

QPoint DeviceAt(TForm1& Form, const TLatLong& P) {
  return Device(Form, globe::DegToPointLL(P.Long, P.Lat));
}

TEST(MainWindow, TheBeamHeadingIsARayWithAWedgeOnEveryProjection) {
  const QRgb Yellow = qRgb(0xFF, 0xE0, 0x00);
  for (const int Width : {30, 0}) {
    Rig R;
    QFile Ini(R.ExeFolder + "/Orvane.ini");
    ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
    Ini.write(QStringLiteral("[Main]\nBeamWidth=%1\n").arg(Width).toUtf8());
    Ini.close();
    auto W = R.Start();
    TForm1& F = W->Form1();
    F.resize(800, 640);
    F.show();
    for (QAction* View : {F.Sphere1, F.Map1, F.Azimuthal1}) {
      SCOPED_TRACE(testing::Message() << "width " << Width << " " << View->text().toStdString());
      View->trigger();
      F.SetFieldText(*F.edAzimut, QStringLiteral("90/270"));
      QImage Image = Picture(F);
      // On the ray, 2,000 km east; inside the wedge 10° off the heading; outside it.
      const QPoint OnRay = DeviceAt(F, Destination(48.21, 16.37, 90, 2000));
      const QPoint InWedge = DeviceAt(F, Destination(48.21, 16.37, 75, 3000));
      const QPoint Outside = DeviceAt(F, Destination(48.21, 16.37, 130, 2500));
      EXPECT_GT(CountNear(Image, OnRay, 2, Yellow), 4);
      const int Hatched = CountNear(Image, InWedge, 5, Yellow);
      if (Width > 0) {
        // Hatched, so that the map shows through: some pixels, far from all of them.
        EXPECT_GT(Hatched, 5);
        EXPECT_LT(Hatched, 11 * 11 / 2);
      } else {
        EXPECT_EQ(Hatched, 0);
      }
      EXPECT_EQ(CountNear(Image, Outside, 8, Yellow), 0);

      for (const char* NoHeading : {"", "abc/12", "/270"}) {
        F.SetFieldText(*F.edAzimut, QString::fromLatin1(NoHeading));
        Image = Picture(F);
        EXPECT_EQ(CountNear(Image, OnRay, 4, Yellow), 0) << NoHeading;
      }
    }
  }
}

TEST(MainWindow, TheLongPathIsDashedAndRemembered) {
  Rig R;
  {
    auto W = R.Start();
    TForm1& F = W->Form1();
    F.resize(800, 640);
    F.show();
    F.Map1->trigger();
    F.SetFieldText(*F.edCallsign, QStringLiteral("JA1ABC"));
    const TPathFigures Short = ShortPath(48.21, 16.37, 35, 139);
    // Points along the long way round: from Tokyo on, across the far side.
    const TPathFigures Back = ShortPath(35, 139, 48.21, 16.37);
    const double Long = 2 * std::numbers::pi * EarthRadiusKm() - Short.DistanceKm;
    const auto RedAlongLongPath = [&](const QImage& Image, int& Samples) {
      int Red = 0;
      Samples = 0;
      for (double d = Long * 0.2; d < Long * 0.8; d += Long / 400) {
        const TLatLong P = Destination(35, 139, Back.BearingDeg + 180, d);
        if (std::abs(P.Long) > 175) continue;  // at the seam of the map
        ++Samples;
        if (CountNear(Image, DeviceAt(F, P), 1, qRgb(0xFF, 0, 0)) > 0) ++Red;
      }
      return Red;
    };
    int Samples = 0;
    EXPECT_EQ(RedAlongLongPath(Picture(F), Samples), 0);
    F.LongPath1->trigger();
    const int Red = RedAlongLongPath(Picture(F), Samples);
    ASSERT_GT(Samples, 100);
    // Dashed: much of the way, but not all of it.
    EXPECT_GT(Red, Samples * 3 / 10);
    EXPECT_LT(Red, Samples * 9 / 10);
    F.close();
  }
  auto W = R.Start();
  EXPECT_TRUE(W->Form1().LongPath1->isChecked());
}

TEST(MainWindow, TheLabelGivesDistanceAndBearingWithAHalo) {
  for (const bool Miles : {false, true}) {
    Rig R;
    if (Miles) {
      QFile Ini(R.ExeFolder + "/Orvane.ini");
      ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
      Ini.write("[Main]\nUnits=mi\n");
    }
    auto W = R.Start();
    TForm1& F = W->Form1();
    F.resize(800, 640);
    F.show();
    F.Map1->trigger();
    F.SetFieldText(*F.edCallsign, QStringLiteral("JA1ABC"));
    const QImage Image = Picture(F);
    const TPathFigures P = ShortPath(48.21, 16.37, 35, 139);
    const QRegularExpression Form(
        QStringLiteral("^JA1ABC  ([0-9.,\u00a0\u202f ]+) (km|mi)  ([0-9]+)°$"));
    const auto Match = Form.match(F.CallLabel());
    ASSERT_TRUE(Match.hasMatch()) << F.CallLabel().toStdString();
    QString Digits = Match.captured(1);
    Digits.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    const double Expected = Miles ? P.DistanceKm / kKmPerMile : P.DistanceKm;
    EXPECT_NEAR(Digits.toDouble(), Expected, 0.5);
    EXPECT_EQ(Match.captured(2), Miles ? QStringLiteral("mi") : QStringLiteral("km"));
    EXPECT_EQ(Match.captured(3).toInt(), std::lround(P.BearingDeg));
    // White text with a dark rim: both in the label's box.
    const QPoint L = Device(F, At(139, 34));
    int White = 0, Rim = 0;
    for (int y = L.y(); y < L.y() + 20; ++y)
      for (int x = L.x() - 15; x < L.x() + 120; ++x) {
        if (!Image.rect().contains(x, y)) continue;
        const QRgb c = Image.pixel(x, y) & 0xFFFFFF;
        if (c == 0xFFFFFF) ++White;
        if (c == 0x101010) ++Rim;
      }
    EXPECT_GT(White, 40);
    EXPECT_GT(Rim, White / 2);
  }
}

TEST(MainWindow, LocatorsOfFourToTenCharactersPlaceTheStation) {
  Rig R;
  auto W = R.Start();
  TForm1& F = W->Form1();
  F.SetFieldText(*F.edCallsign, QStringLiteral("JA1ABC"));
  const struct {
    const char* Text;
    double Long, Lat;  // the callsign's country when the text is no locator
  } Cases[] = {{"JN88", 17, 48.5},
               {"PM95VQ", 139 + 19.0 / 24, 35.6875},
               {"JN88EF12", 16 + 83.0 / 240, 48.21875},
               {"JN88EF12AB", 16.3418403, 48.2169271},
               {"JN8", 139, 35},
               {"JN88E", 139, 35},
               {"JN88EF1", 139, 35},
               {"ZZ99", 139, 35}};
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.Text);
    F.SetFieldText(*F.edLocator, QString::fromLatin1(c.Text));
    EXPECT_NEAR(F._PointLLWWW.iLongX, c.Long * globe::GU_DEGREE, 2);
    EXPECT_NEAR(F._PointLLWWW.iLatY, c.Lat * globe::GU_DEGREE, 2);
    F.SetFieldText(*F.edLocator, QString());
  }
}

TEST(MainWindow, NorthUpAfterADiagonalDrag) {
  Rig R;
  auto W = R.Start();
  TForm1& F = W->Form1();
  F.resize(800, 640);
  F.show();
  globe::TGlobe4& G = F.Globe41();
  globe::TGlobeProjection& P = G.Projection();
  const globe::TGlobeCanvas& C = G.GlobeCanvas();
  const QPoint Mid(C.CanvasWidth() / 2, C.CanvasHeight() / 2);
  // The angle of the meridian through the middle, degrees from straight up.
  const auto Tilt = [&] {
    globe::TPointLL Centre;
    EXPECT_TRUE(P.DeviceXYToLL(Mid.x(), Mid.y(), Centre));
    globe::TPoint N;
    EXPECT_TRUE(P.LLToDeviceXY(Centre.iLongX, Centre.iLatY + 20 * globe::GU_DEGREE, N));
    return std::atan2(N.X - Mid.x(), Mid.y() - N.Y) * 180 / std::numbers::pi;
  };
  G.MouseDown(platform::TMouseButton::mbLeft, {}, Mid.x(), Mid.y());
  for (int i = 1; i <= 10; ++i) G.MouseMove({}, Mid.x() - 12 * i, Mid.y() - 9 * i);
  G.MouseUp(platform::TMouseButton::mbLeft, {}, Mid.x() - 120, Mid.y() - 90);
  // A drag turns about the axes of latitude and longitude only; a view loaded with a turn
  // about the line of sight is what leaves north off the top.
  P.SetZRotation(37);
  ASSERT_GT(std::abs(Tilt()), 5) << "north is still up";
  globe::TPointLL Before;
  ASSERT_TRUE(P.DeviceXYToLL(Mid.x(), Mid.y(), Before));
  const globe::Extended Scale = P.ScaleFactor();

  F.NorthUp1->trigger();
  EXPECT_LT(std::abs(Tilt()), 0.5);
  globe::TPointLL After;
  ASSERT_TRUE(P.DeviceXYToLL(Mid.x(), Mid.y(), After));
  EXPECT_NEAR(After.iLatY, Before.iLatY, globe::GU_DEGREE / 2);
  EXPECT_NEAR(globe::LongDiff(After.iLongX, Before.iLongX), 0, globe::GU_DEGREE / 2);
  EXPECT_EQ(P.ScaleFactor(), Scale);
  EXPECT_EQ(F.NorthUp1->shortcut(), QKeySequence(Qt::Key_Home));
}

}  // namespace
}  // namespace orvane
