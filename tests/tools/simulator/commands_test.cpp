// The command lines on standard input: parsing, cutting the stream into bounded lines, and
// applying commands to the window.
#include "tools/simulator/commands.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <optional>
#include <string>
#include <vector>

#include "tools/simulator/qsowindow.h"

namespace {

using namespace orvane::sim;

TEST(Commands, ParseLines) {
  using C = TCommand;
  struct TCase {
    const char* Line;
    std::optional<TCommand> Expected;
  };
  const std::vector<TCase> Cases = {
      {"call DL1ABC", C{C::ckCall, "DL1ABC"}},
      {"call DL1ABC\r", C{C::ckCall, "DL1ABC"}},
      {"call", C{C::ckCall, ""}},
      {"call ", C{C::ckCall, ""}},
      {"call  w1aw / p ", C{C::ckCall, " w1aw / p "}},  // the text as it stands
      {"locator JN36BF", C{C::ckLocator, "JN36BF"}},
      {"azimuth 296/116", C{C::ckAzimuth, "296/116"}},
      {"repair on", C{C::ckRepair, "", true}},
      {"repair off", C{C::ckRepair, "", false}},
      {"quit", C{C::ckQuit, ""}},
      {"quit\r", C{C::ckQuit, ""}},
      {"", std::nullopt},
      {" call X", std::nullopt},
      {"CALL X", std::nullopt},
      {"dance", std::nullopt},
      {"repair", std::nullopt},
      {"repair yes", std::nullopt},
      {"repair on ", std::nullopt},
      {"quit now", std::nullopt},
      {"hang 0", C{C::ckHang, "", false, 0}},
      {"hang 2.5", C{C::ckHang, "", false, 2.5}},
      {"hang 600", C{C::ckHang, "", false, 600}},
      {"hang", std::nullopt},
      {"hang ", std::nullopt},
      {"hang 600.5", std::nullopt},
      {"hang -1", std::nullopt},
      {"hang inf", std::nullopt},
      {"hang nan", std::nullopt},
      {"hang 5s", std::nullopt},
  };
  for (const TCase& Case : Cases) {
    const TParsedCommand Parsed = ParseCommand(QString::fromUtf8(Case.Line));
    EXPECT_EQ(Parsed.Command, Case.Expected) << Case.Line;
    EXPECT_EQ(Parsed.Error.isEmpty(), Parsed.Command.has_value()) << Case.Line;
  }
  EXPECT_EQ(ParseCommand(u"dance").Error, "unknown command 'dance'");
  EXPECT_EQ(ParseCommand(u"hang -1").Error, "hang takes seconds from 0 to 600");
}

std::vector<std::string> Texts(const std::vector<std::optional<QByteArray>>& Lines) {
  std::vector<std::string> Result;
  for (const auto& Line : Lines) Result.push_back(Line ? Line->toStdString() : "<too long>");
  return Result;
}

TEST(Commands, LinesArriveWholeWhateverThePiecesAndStayBounded) {
  TLineSplitter Splitter;
  EXPECT_TRUE(Splitter.Feed("call DL").empty());
  EXPECT_EQ(Texts(Splitter.Feed("1ABC\nlocator JN\n\nquit")),
            (std::vector<std::string>{"call DL1ABC", "locator JN", ""}));
  EXPECT_EQ(Texts(Splitter.Feed("\n")), (std::vector<std::string>{"quit"}));

  const QByteArray Longest(TLineSplitter::MaxLine, 'x');
  EXPECT_EQ(Texts(Splitter.Feed(Longest + "\n")),
            (std::vector<std::string>{Longest.toStdString()}));

  // A line one byte too long, arriving in pieces, is reported once; the next one is intact.
  const QByteArray TooLong(TLineSplitter::MaxLine + 1, 'y');
  EXPECT_TRUE(Splitter.Feed(TooLong.left(100)).empty());
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(Splitter.Feed(QByteArray(4096, 'z')).empty());
  EXPECT_EQ(Texts(Splitter.Feed("tail\ncall K1\n")),
            (std::vector<std::string>{"<too long>", "call K1"}));
  EXPECT_EQ(Texts(Splitter.Feed(TooLong + "\nquit\n")),
            (std::vector<std::string>{"<too long>", "quit"}));
}

TEST(Commands, ApplyToTheWindow) {
  int Placed = 0;
  TQsoEntryWindow Window("Log", "", [&](const QString& Call, const QString& Locator) {
    ++Placed;
    return TPlacement{Call + "|" + Locator, {}};
  });
  bool Closed = false;
  QObject::connect(&Window, &TQsoEntryWindow::Closed, [&] { Closed = true; });
  Window.show();

  EXPECT_EQ(ApplyCommand({TCommand::ckCall, "DL1ABC"}, Window), "ok");
  EXPECT_EQ(Window.Callsign().text(), "DL1ABC");
  EXPECT_EQ(Window.Azimuth().text(), "DL1ABC|");
  EXPECT_EQ(ApplyCommand({TCommand::ckLocator, "JN58TD"}, Window), "ok");
  EXPECT_EQ(Window.Locator().text(), "JN58TD");
  EXPECT_EQ(Window.Azimuth().text(), "DL1ABC|JN58TD");
  // A forced azimuth stays until the station changes.
  EXPECT_EQ(ApplyCommand({TCommand::ckAzimuth, "123/303"}, Window), "ok");
  EXPECT_EQ(Window.Azimuth().text(), "123/303");
  const int Before = Placed;
  EXPECT_EQ(ApplyCommand({TCommand::ckCall, "DL1ABC"}, Window), "ok");  // unchanged text
  EXPECT_EQ(Placed, Before);
  EXPECT_EQ(Window.Azimuth().text(), "123/303");
  EXPECT_EQ(ApplyCommand({TCommand::ckCall, ""}, Window), "ok");
  EXPECT_EQ(Window.Azimuth().text(), "|JN58TD");

  EXPECT_EQ(ApplyCommand({TCommand::ckRepair, {}, true}, Window), "ok");
  EXPECT_TRUE(Window.ProgressWindow().isVisible());
  EXPECT_EQ(Window.ProgressWindow().windowTitle(), "Repair database");
  EXPECT_EQ(ApplyCommand({TCommand::ckRepair, {}, false}, Window), "ok");
  EXPECT_FALSE(Window.ProgressWindow().isVisible());

  EXPECT_EQ(ApplyCommand({TCommand::ckQuit, {}}, Window), "ok");
  EXPECT_TRUE(Closed);
  EXPECT_FALSE(Window.isVisible());
}

}  // namespace
