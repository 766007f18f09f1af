// The simulated QSO-entry window as the program sees it through the window lookup, and the
// simulated registry key.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/loggerlink.h"
#include "tools/simulator/qsowindow.h"
#include "tools/simulator/widgetlookup.h"

namespace {

using namespace orvane::sim;
using THandle = platform::TWindowLookup::THandle;

// Runs the event loop until Condition holds; false when it still fails after Limit.
template <class F>
bool WaitFor(F Condition, std::chrono::milliseconds Limit = std::chrono::seconds(20)) {
  const QDeadlineTimer Deadline(Limit);
  while (!Condition()) {
    if (Deadline.hasExpired()) return false;
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class QsoWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    Window = std::make_unique<TQsoEntryWindow>(
        "Home station", "48.21N 16.37E", [](const QString& Call, const QString& Locator) {
          return TPlacement{Call.isEmpty() ? QString() : QStringLiteral("10/190"), Locator};
        });
    Window->show();
  }

  // The n-th child of a class, or 0 when there are fewer.
  THandle Nth(THandle Parent, const char* Class, std::size_t n) {
    const auto Found = Lookup.Children(Parent, Class);
    return n < Found.size() ? Found[n] : 0;
  }

  std::unique_ptr<TQsoEntryWindow> Window;
  TWidgetWindowLookup Lookup;
};

TEST_F(QsoWindow, OnlyTheFirstPlaceExistsAndHoldsTheControlsInOrder) {
  const THandle Q = Lookup.FindTopLevel("TfmEditNewQso");
  ASSERT_NE(Q, 0u);
  EXPECT_EQ(Lookup.WidgetOf(Q), Window.get());
  ASSERT_EQ(Lookup.Children(Q, "TPanel").size(), 2u);
  EXPECT_EQ(Lookup.Children(Nth(Q, "TPanel", 0), "TPanel").size(), 2u);
  ASSERT_EQ(Lookup.Children(Nth(Q, "TPanel", 1), "TPanel").size(), 3u);

  // The program's places as (outer, inner) panel: only the 1st exists.
  struct TPlace {
    std::size_t Outer, Inner;
    bool Exists;
  };
  for (const TPlace& P :
       {TPlace{1, 2, true}, TPlace{0, 3, false}, TPlace{0, 2, false}, TPlace{1, 3, false}}) {
    SCOPED_TRACE(testing::Message() << P.Outer << "/" << P.Inner);
    EXPECT_EQ(Nth(Nth(Q, "TPanel", P.Outer), "TPanel", P.Inner) != 0, P.Exists);
  }
  const THandle Place = Nth(Nth(Q, "TPanel", 1), "TPanel", 2);
  // No other panel holds any of the controls the program reads.
  for (const THandle Other :
       {Nth(Nth(Q, "TPanel", 0), "TPanel", 0), Nth(Nth(Q, "TPanel", 0), "TPanel", 1),
        Nth(Nth(Q, "TPanel", 1), "TPanel", 0), Nth(Nth(Q, "TPanel", 1), "TPanel", 1)}) {
    for (const char* Class : {"TEdit", "TdxButtonEdit", "TdxEdit"})
      EXPECT_TRUE(Lookup.Children(Other, Class).empty()) << Class;
  }

  EXPECT_EQ(Lookup.WidgetOf(Nth(Place, "TEdit", 0)), &Window->Azimuth());
  EXPECT_EQ(Lookup.WidgetOf(Nth(Place, "TdxButtonEdit", 0)), &Window->Callsign());
  const auto Edits = Lookup.Children(Place, "TdxEdit");
  ASSERT_EQ(Edits.size(), 6u);
  for (int i = TQsoEntryWindow::efName; i <= TQsoEntryWindow::efLocator; ++i)
    EXPECT_EQ(Lookup.WidgetOf(Edits[i]), &Window->Edit(TQsoEntryWindow::TEditField(i))) << i;
  EXPECT_EQ(Lookup.WidgetOf(Edits[5]), &Window->Locator());
  EXPECT_TRUE(Window->Azimuth().isReadOnly());
  EXPECT_FALSE(Window->Callsign().isReadOnly());
}

TEST_F(QsoWindow, TextsAreCutToTheBufferAndTitlesReadForOtherWidgets) {
  const THandle Q = Lookup.FindTopLevel("TfmEditNewQso");
  const THandle Call = Lookup.HandleOf(&Window->Callsign());
  struct TCase {
    QString Text;
    std::size_t Buffer;
    std::string Expected;
  };
  const std::vector<TCase> Cases = {
      {"DL1ABC", 20, "DL1ABC"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXY", 20, "ABCDEFGHIJKLMNOPQRS"},  // 25 characters → 19
      {"DL1ABC", 4, "DL1"},
      {"DL1ABC", 1, ""},
      {"DL1ABC", 0, ""},
      {QString::fromUtf8("ÖÄÜ€x"), 4, "ÖÄÜ"},                 // characters, not bytes
      {QString::fromUtf8("a\U0001F600b"), 3, "a\U0001F600"},  // a pair is one character
      {QString::fromUtf8("a\U0001F600b"), 2, "a"},
      {QString("AB") + QChar(u'\0') + "CD", 20, "AB"},  // text ends at a null
  };
  for (const TCase& C : Cases) {
    Window->Callsign().setText(C.Text);
    EXPECT_EQ(Lookup.WindowText(Call, C.Buffer), C.Expected) << C.Text.toStdString();
  }
  EXPECT_EQ(Lookup.WindowText(Q, 255), "QSO entry - Home station");
  EXPECT_EQ(Lookup.WindowText(Q, 5), "QSO ");
}

TEST_F(QsoWindow, HandlesStayWhileWidgetsLiveAndDieWithThem) {
  const THandle Q = Lookup.FindTopLevel("TfmEditNewQso");
  EXPECT_EQ(Lookup.FindTopLevel("TfmEditNewQso"), Q);
  EXPECT_EQ(Lookup.Children(Q, "TPanel"), Lookup.Children(Q, "TPanel"));
  EXPECT_EQ(Lookup.FindTopLevel("TfmProgress"), 0u);  // hidden
  EXPECT_EQ(Lookup.FindTopLevel("TPanel"), 0u);       // not a top-level window

  const THandle Place = Lookup.Children(Lookup.Children(Q, "TPanel")[1], "TPanel")[2];
  Window.reset();
  EXPECT_EQ(Lookup.FindTopLevel("TfmEditNewQso"), 0u);
  EXPECT_EQ(Lookup.WindowText(Q, 20), std::nullopt);
  EXPECT_TRUE(Lookup.Children(Q, "TPanel").empty());
  EXPECT_TRUE(Lookup.Children(Place, "TdxEdit").empty());
  EXPECT_EQ(Lookup.WindowText(12345, 20), std::nullopt);

  // Widgets made over and over (at reused addresses) get new handles; the old ones stay dead.
  std::vector<THandle> Seen;
  for (int i = 0; i < 600; ++i) {
    QLineEdit Edit;
    const THandle H = Lookup.HandleOf(&Edit);
    EXPECT_EQ(Lookup.WidgetOf(H), &Edit);
    Seen.push_back(H);
  }
  std::sort(Seen.begin(), Seen.end());
  EXPECT_EQ(std::adjacent_find(Seen.begin(), Seen.end()), Seen.end());
  for (const THandle H : Seen) EXPECT_EQ(Lookup.WidgetOf(H), nullptr);
}

// What the program's link reads through the lookup, and its two reasons to end.
class NoDatabase final : public platform::TLoggerDatabase {
 public:
  void Close() noexcept override {}
  void Open(const std::string&) override {}
  void CheckTable(std::string_view) override {}
  std::optional<TStoredPosition> QueryPosition(const std::string&) override { return {}; }
};

TEST_F(QsoWindow, TheProgramsLinkReadsTheFieldsAndEndsOnRepairAndClose) {
  TSimulatorRegistry Registry("/opt/logger/");
  NoDatabase Database;
  orvane::TLoggerLink Link(
      Registry, Database, Lookup, [](auto&&...) { return std::string(); },
      [](const std::string&) { return std::unique_ptr<platform::TRecordSet>(); });
  using TField = orvane::TLoggerLink::TField;

  Window->Callsign().setText("4U1ITU");
  Window->Locator().setText("JN36BF");
  auto Result = Link.Poll();
  EXPECT_FALSE(Result.Close);
  EXPECT_EQ(Link.Text(TField::lfCallsign), "4U1ITU");
  EXPECT_EQ(Link.Text(TField::lfAzimut), "10/190");  // what the placer wrote
  EXPECT_EQ(Link.Text(TField::lfLocator), "JN36BF");

  Window->ShowRepair(std::chrono::milliseconds(0));
  EXPECT_TRUE(Link.Poll().Close);
  Window->HideRepair();
  EXPECT_FALSE(Link.Poll().Close);
  Window->ShowRepair(std::chrono::milliseconds(1));  // the menu's repair ends by itself
  EXPECT_TRUE(Link.Poll().Close);
  EXPECT_TRUE(WaitFor([&] { return !Window->ProgressWindow().isVisible(); }));

  bool Closed = false;
  QObject::connect(Window.get(), &TQsoEntryWindow::Closed, [&] { Closed = true; });
  Window->close();
  EXPECT_TRUE(Closed);
  EXPECT_TRUE(Link.Poll().Close);
}

TEST(SimulatorRegistry, ServesTheInstallPathAndCreatesOtherKeysEmpty) {
  TSimulatorRegistry Registry("/opt/logger/");
  EXPECT_EQ(Registry.ReadString("InstallPath"), std::nullopt);  // no key open yet
  ASSERT_TRUE(Registry.OpenKey("Software\\Tovrin_Log3", false));
  EXPECT_EQ(Registry.ReadString("InstallPath"), "/opt/logger/");
  EXPECT_EQ(Registry.ReadString("installpath"), "/opt/logger/");  // names without case
  EXPECT_EQ(Registry.ReadString("LogName"), std::nullopt);
  Registry.CloseKey();
  EXPECT_EQ(Registry.ReadString("InstallPath"), std::nullopt);
  EXPECT_TRUE(Registry.OpenKey("SOFTWARE\\tovrin_log3", false));

  EXPECT_FALSE(Registry.OpenKey("Software\\Other", false));
  EXPECT_EQ(Registry.ReadString("InstallPath"), std::nullopt);  // a failed open closes
  EXPECT_TRUE(Registry.OpenKey("Software\\Other", true));
  EXPECT_EQ(Registry.ReadString("InstallPath"), std::nullopt);
  EXPECT_TRUE(Registry.OpenKey("Software\\Other", false));  // exists once created
  EXPECT_FALSE(Registry.OpenKey("", true));
  EXPECT_FALSE(Registry.OpenKey(std::string(256, 'k'), true));

  // A client cannot make the simulator hold keys without end.
  std::size_t Created = 0;
  for (std::size_t i = 0; i < 2 * TSimulatorRegistry::MaxKeys; ++i)
    Created += Registry.OpenKey("Software\\Spam" + std::to_string(i), true);
  EXPECT_LT(Created, TSimulatorRegistry::MaxKeys);
  EXPECT_TRUE(Registry.OpenKey("Software\\Tovrin_Log3", true));
}

}  // namespace
