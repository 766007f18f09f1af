#include "platform/qt/loggerhostservice.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hostfakes.h"
#include "otheruser.h"

namespace {

using namespace std::chrono_literals;
using platform::TLoggerHostClient;
using platform::TLoggerHostServer;
using namespace platform::hostprotocol;
using hosttest::kBigHandle;
using hosttest::TFakeRegistry;
using hosttest::TFakeWindows;
using hosttest::THandle;
using hosttest::TOtherUserHost;
using hosttest::TScopedVariable;
using hosttest::TServerThread;

// Generous: the machine may be loaded, and nothing here waits this long when it works.
constexpr auto kTimeout = 5000ms;

// A socket path of this test alone, so that parallel runs never meet.
class LoggerHostService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Folder.isValid());
    Name = Folder.filePath(QStringLiteral("host"));
    Windows.TopLevels["TfmEditNewQso"] = kBigHandle;
    Windows.TopLevels["TfmProgress"] = 17;
    Windows.Kids[{kBigHandle, "TPanel"}] = {21, 22};
    Windows.Kids[{22, "TPanel"}] = {31, 32, 33};
    Windows.Texts[33] = "DL1ABC";
    Windows.Texts[17] = "";
    Registry.Keys["Software\\Tovrin_Log3"]["InstallPath"] = "/opt/logger/";
  }
  void TearDown() override {
    Windows.Release();
    StopServer();
  }

  void StartServer() {
    Thread.Run([this] {
      Server = std::make_unique<TLoggerHostServer>(Registry, Windows);
      Listening = Server->Listen(Name);
    });
    ASSERT_TRUE(Listening);
  }
  void StopServer() {
    Thread.Run([this] { Server.reset(); });
  }

  // A plain socket client, to send what TLoggerHostClient never would.
  std::unique_ptr<QLocalSocket> RawConnect() {
    auto Socket = std::make_unique<QLocalSocket>();
    Socket->connectToServer(Name);
    EXPECT_TRUE(Socket->waitForConnected(int(kTimeout.count())));
    return Socket;
  }
  static std::optional<QByteArray> ReadLine(QLocalSocket& Socket) {
    QElapsedTimer Clock;
    Clock.start();
    while (!Socket.canReadLine()) {
      if (Socket.state() != QLocalSocket::ConnectedState && Socket.bytesAvailable() == 0)
        return std::nullopt;
      if (Clock.elapsed() > kTimeout.count()) return std::nullopt;
      Socket.waitForReadyRead(100);
    }
    return Socket.readLine().chopped(1);
  }
  static bool ClosedByPeer(QLocalSocket& Socket) {
    if (Socket.state() == QLocalSocket::UnconnectedState) return true;
    return Socket.waitForDisconnected(int(kTimeout.count()));
  }

  QTemporaryDir Folder;
  QString Name;
  TFakeRegistry Registry;
  TFakeWindows Windows;
  TServerThread Thread;
  std::unique_ptr<TLoggerHostServer> Server;
  bool Listening = false;
};

TEST_F(LoggerHostService, EveryOperationMakesTheRoundTrip) {
  StartServer();
  TLoggerHostClient Client(Name, kTimeout);

  EXPECT_FALSE(Client.ReadString("InstallPath"));  // no key open yet
  ASSERT_TRUE(Client.OpenKey("Software\\Tovrin_Log3", true));
  EXPECT_EQ(Client.ReadString("InstallPath"), "/opt/logger/");
  EXPECT_FALSE(Client.ReadString("NoSuchValue"));
  Client.CloseKey();
  EXPECT_FALSE(Client.ReadString("InstallPath"));
  EXPECT_FALSE(Client.OpenKey("Software\\Other", false));
  EXPECT_FALSE(Client.ReadString("InstallPath"));  // a failed open leaves no key open
  EXPECT_TRUE(Client.OpenKey("Software\\Other", true));
  EXPECT_FALSE(Client.ReadString("InstallPath"));

  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), kBigHandle);
  EXPECT_EQ(Client.FindTopLevel("TfmNothing"), 0u);
  EXPECT_EQ(Client.Children(kBigHandle, "TPanel"), (std::vector<THandle>{21, 22}));
  EXPECT_EQ(Client.Children(22, "TPanel"), (std::vector<THandle>{31, 32, 33}));
  EXPECT_TRUE(Client.Children(22, "TEdit").empty());
  EXPECT_TRUE(Client.Children(0, "TPanel").empty());
  EXPECT_EQ(Client.WindowText(33, 20), "DL1ABC");
  EXPECT_EQ(Client.WindowText(17, 255), "");  // an empty title is a text, not a missing one
  EXPECT_FALSE(Client.WindowText(99, 20));
  EXPECT_FALSE(Client.WindowText(0, 20));
  StopServer();
  EXPECT_TRUE(Registry.Keys.count("Software\\Other"));
}

TEST_F(LoggerHostService, TextIsLimitedToTheCallersBuffer) {
  Windows.Texts[33] = "DL1ABCDEFGHIJKLMNOPQRSTUV";  // 25 characters
  Windows.Texts[32] = std::string(30, 'x') + "\xC3\xA4";
  StartServer();
  TLoggerHostClient Client(Name, kTimeout);
  EXPECT_EQ(Client.WindowText(33, 20), "DL1ABCDEFGHIJKLMNOP");
  EXPECT_EQ(Client.WindowText(33, 1), "");
  // A huge buffer asks for the largest one the service allows.
  EXPECT_EQ(Client.WindowText(33, std::size_t(1) << 40), Windows.Texts[33]);
  EXPECT_EQ(Client.WindowText(32, 32), std::string(30, 'x') + "\xC3\xA4");
  EXPECT_EQ(Client.WindowText(32, 31), std::string(30, 'x'));
  StopServer();
  EXPECT_EQ(Windows.LastBufferSize, 31u);
}

TEST_F(LoggerHostService, NoServerIsMissingAtOnce) {
  TLoggerHostClient Client(Name, kTimeout);
  QElapsedTimer Clock;
  Clock.start();
  EXPECT_FALSE(Client.OpenKey("Software\\Tovrin_Log3", true));
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), 0u);
  EXPECT_TRUE(Client.Children(kBigHandle, "TPanel").empty());
  EXPECT_FALSE(Client.WindowText(33, 20));
  EXPECT_LT(Clock.elapsed(), 2000);  // no waiting for a server that is not there

  // The next call connects again: a logger started later is found.
  StartServer();
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), kBigHandle);
}

TEST_F(LoggerHostService, HungServerIsMissingWithinTheTimeoutAndRecovers) {
  StartServer();
  constexpr auto kShort = 1500ms;
  TLoggerHostClient Client(Name, kShort);
  ASSERT_EQ(Client.WindowText(33, 20), "DL1ABC");  // connected

  Windows.Hang();
  QElapsedTimer Clock;
  Clock.start();
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), 0u);
  EXPECT_GE(Clock.elapsed(), kShort.count() - 50);
  EXPECT_LT(Clock.elapsed(), kShort.count() + 3000);
  // Right after, the hung logger is not asked again: the rest of the poll costs nothing.
  Clock.restart();
  EXPECT_FALSE(Client.WindowText(33, 20));
  EXPECT_LT(Clock.elapsed(), kShort.count() / 2);

  // The server wakes up and answers the old request on the dropped connection; after the
  // rest the next call takes only its own answer.
  Windows.Release();
  QThread::msleep(static_cast<unsigned long>(kShort.count()));
  EXPECT_EQ(Client.FindTopLevel("TfmProgress"), 17u);
  EXPECT_EQ(Client.Children(kBigHandle, "TPanel"), (std::vector<THandle>{21, 22}));
}

TEST_F(LoggerHostService, NoAnswerIsToldApartFromAMissingWindow) {
  TLoggerHostClient Client(Name, 1500ms);
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), 0u);
  EXPECT_FALSE(Client.LastCallUnanswered());  // nobody serves the name: the logger is gone

  StartServer();
  EXPECT_EQ(Client.FindTopLevel("TfmNothing"), 0u);
  EXPECT_FALSE(Client.LastCallUnanswered());
  // The simulator's names need no translation.
  EXPECT_EQ(Client.LocalPath("C:\\Log\\"), "C:\\Log\\");

  Windows.Hang();
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), 0u);
  EXPECT_TRUE(Client.LastCallUnanswered());
  EXPECT_FALSE(Client.WindowText(33, 20));
  EXPECT_TRUE(Client.LastCallUnanswered());  // resting: not asked, not answered
  Windows.Release();
}

TEST_F(LoggerHostService, ARestartedServerIsFoundOnTheNextCall) {
  StartServer();
  TLoggerHostClient Client(Name, kTimeout);
  ASSERT_EQ(Client.FindTopLevel("TfmProgress"), 17u);
  // The kept connection dies with the old server; the call must not read as a missing
  // window, which would end the program.
  StopServer();
  StartServer();
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), kBigHandle);
}

// A hand-written server that answers each request with lines a script makes.
class ScriptedHost : public LoggerHostService {
 protected:
  using TScript = std::function<QByteArray(const TRequest&)>;

  void StartScripted(TScript Answer) {
    Script = std::move(Answer);
    Thread.Run([this] {
      Raw = std::make_unique<QLocalServer>();
      ASSERT_TRUE(Raw->listen(Name));
      QObject::connect(Raw.get(), &QLocalServer::newConnection, Raw.get(), [this] {
        while (QLocalSocket* Socket = Raw->nextPendingConnection()) {
          ++Connections;
          QObject::connect(Socket, &QLocalSocket::readyRead, Socket, [this, Socket] {
            while (Socket->canReadLine()) {
              const auto Request = DecodeRequest(Socket->readLine().chopped(1).toStdString());
              if (Request) Socket->write(Script(*Request));
            }
          });
        }
      });
    });
  }
  void TearDown() override {
    Thread.Run([this] { Raw.reset(); });
    LoggerHostService::TearDown();
  }

  TScript Script;
  std::unique_ptr<QLocalServer> Raw;
  std::atomic<int> Connections{0};
};

TEST_F(ScriptedHost, OnlyTheAnswerToThisRequestCounts) {
  // Each request's class name says what the server sends back; $ is the request's id.
  StartScripted([](const TRequest& Request) {
    if (Request.ClassName == "Flood") return QByteArray(kMaxLine + 1, 'x');
    QByteArray Lines = QByteArray::fromStdString(Request.ClassName);
    return Lines.replace("$", QByteArray::number(qulonglong(Request.Id)));
  });
  TLoggerHostClient Client(Name, 2000ms);
  ASSERT_EQ(Client.FindTopLevel("{\"id\":$,\"window\":\"5\"}\n"), 5u);
  ASSERT_EQ(Connections, 1);

  struct TCase {
    const char* Script;
    THandle Expected;
    bool Reconnects;        // the client had to drop the connection
    bool TimesOut = false;  // the client then rests before it asks again
  };
  const TCase Cases[] = {
      // A late answer to an earlier request, even of another shape, is skipped.
      {"{\"id\":1,\"windows\":[\"9\"]}\n{\"id\":1,\"window\":\"6\"}\n{\"id\":$,\"window\":\"7\"}\n",
       7, false},
      // A line that never ends: missing after the timeout.
      {"{\"id\":$,\"win", 0, true, true},
      // An answer to a request not yet made, garbage, or a wrong shape: the stream is
      // not trusted any more.
      {"{\"id\":99999,\"window\":\"6\"}\n", 0, true},
      {"garbage\n", 0, true},
      {"{\"id\":$,\"window\":6}\n", 0, true},
      // More than a line may hold, without its end: dropped at once, not waited out.
      {"Flood", 0, true},
      {"{\"id\":$,\"window\":\"18446744073709551615\"}\r\n", 18446744073709551615ULL, false},
  };
  for (const TCase& Case : Cases) {
    const int Before = Connections;
    EXPECT_EQ(Client.FindTopLevel(Case.Script), Case.Expected) << Case.Script;
    if (Case.TimesOut) QThread::msleep(2000);
    // The next request shows whether the connection was kept.
    EXPECT_EQ(Client.FindTopLevel("{\"id\":$,\"window\":\"8\"}\n"), 8u) << Case.Script;
    EXPECT_EQ(Connections - Before, Case.Reconnects ? 1 : 0) << Case.Script;
  }
}

TEST_F(ScriptedHost, ALoggerThatSaysItDidNotAnswerIsRestedOn) {
  StartScripted([](const TRequest& Request) {
    const std::string Line =
        Request.ClassName == "Busy" ? R"({"id":$,"unanswered":true})" : R"({"id":$,"window":"5"})";
    QByteArray Out = QByteArray::fromStdString(Line + '\n');
    return Out.replace("$", QByteArray::number(qulonglong(Request.Id)));
  });
  TLoggerHostClient Client(Name, 1000ms);
  ASSERT_EQ(Client.FindTopLevel("Idle"), 5u);
  QElapsedTimer Clock;
  Clock.start();
  EXPECT_EQ(Client.FindTopLevel("Busy"), 0u);
  EXPECT_TRUE(Client.LastCallUnanswered());
  // The rest of the tick is not asked; after the rest the logger is.
  EXPECT_EQ(Client.FindTopLevel("Idle"), 0u);
  EXPECT_TRUE(Client.LastCallUnanswered());
  EXPECT_LT(Clock.elapsed(), 500);
  QThread::msleep(1100);
  EXPECT_EQ(Client.FindTopLevel("Idle"), 5u);
  EXPECT_FALSE(Client.LastCallUnanswered());
  EXPECT_EQ(Connections, 1);  // a busy logger is no reason to reconnect
}

// A child process that answers every findTopLevel with its own process id, and ends on
// the class "Die" (or at once without the environment it is given); or that answers garbage.
platform::TLoggerHostProcess ShellHost(std::chrono::milliseconds RestartInterval,
                                       bool Garbage = false) {
  platform::TLoggerHostProcess P;
  P.Program = QStringLiteral("/bin/sh");
  P.Arguments = {QStringLiteral("-c"),
                 Garbage ? QStringLiteral("while read -r line; do echo garbage; done")
                         : QStringLiteral(R"([ "$HOST_TAG" = shell ] || exit 1
while IFS= read -r line; do
  id=${line#*\"id\":}; id=${id%%,*}
  case "$line" in *'"class":"Die"'*) exit 0;; esac
  printf '{"id":%s,"window":"%s","path":null}\n' "$id" "$$"
done)")};
  P.Environment = {QStringLiteral("HOST_TAG=shell")};
  P.RestartInterval = RestartInterval;
  return P;
}

TEST(LoggerHostProcess, AnswersThroughTheChildsStandardInputAndOutput) {
  TLoggerHostClient Client(ShellHost(1h), 3000ms);
  ASSERT_TRUE(Client.Connect(10s)) << Client.ErrorString().toStdString();
  const THandle Pid = Client.FindTopLevel("TfmEditNewQso");
  EXPECT_NE(Pid, 0u);
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), Pid);  // one process, kept
  EXPECT_FALSE(Client.LinkState().Down);

  // A bridge that dies is no answer, not a missing window; having answered before, it is
  // started again at once.
  EXPECT_EQ(Client.FindTopLevel("Die"), 0u);
  EXPECT_TRUE(Client.LastCallUnanswered());
  const THandle Again = Client.FindTopLevel("TfmEditNewQso");
  EXPECT_NE(Again, 0u);
  EXPECT_NE(Again, Pid);
}

TEST(LoggerHostProcess, ADeadOrBrokenBridgeIsStartedAgainAfterItsInterval) {
  TLoggerHostClient Client(ShellHost(0ms), 3000ms);
  const THandle First = Client.FindTopLevel("TfmEditNewQso");
  ASSERT_NE(First, 0u);
  EXPECT_EQ(Client.FindTopLevel("Die"), 0u);
  const THandle Second = Client.FindTopLevel("TfmEditNewQso");
  EXPECT_NE(Second, 0u);
  EXPECT_NE(Second, First);

  TLoggerHostClient Broken(ShellHost(1h, true), 3000ms);
  EXPECT_FALSE(Broken.Connect(10s));
  EXPECT_EQ(Broken.ErrorString(), QStringLiteral("the bridge sent what is not an answer"));

  platform::TLoggerHostProcess Missing;
  Missing.Program = QStringLiteral("/nonexistent/wine");
  TLoggerHostClient Absent(Missing, 3000ms);
  EXPECT_FALSE(Absent.Connect(10s));
  EXPECT_TRUE(Absent.ErrorString().contains(QStringLiteral("/nonexistent/wine")))
      << Absent.ErrorString().toStdString();
  EXPECT_TRUE(Absent.LinkState().Lost);
}

// A bridge that ends before answering is told from one that is slow, with what it said; one
// that keeps ending is given up, and the link is then lost with its reason.
TEST(LoggerHostProcess, ABridgeThatEndsAtOnceIsExplainedAndGivenUp) {
  platform::TLoggerHostProcess Failing;
  Failing.Program = QStringLiteral("/bin/sh");
  Failing.Arguments = {QStringLiteral("-c"),
                       QStringLiteral("echo 'wine client error:0: version mismatch 771/796.' >&2; "
                                      "exit 1")};
  Failing.RestartInterval = 0ms;
  TLoggerHostClient Client(Failing, 3000ms);
  QElapsedTimer Clock;
  Clock.start();
  EXPECT_FALSE(Client.Connect(60s));
  EXPECT_LT(Clock.elapsed(), 30000);  // not the whole wait: it ended
  const std::string Why = Client.ErrorString().toStdString();
  EXPECT_NE(Why.find("exited with status 1"), std::string::npos) << Why;
  EXPECT_NE(Why.find("does not match the wineserver"), std::string::npos) << Why;
  EXPECT_NE(Why.find("version mismatch 771/796"), std::string::npos) << Why;
  EXPECT_EQ(Why.find("did not answer within"), std::string::npos) << Why;
  EXPECT_TRUE(Client.LinkState().Down);
  EXPECT_FALSE(Client.LinkState().Lost);

  // Two more starts that end the same way: given up, and the windows read as gone.
  for (int i = 0; i < 2; ++i) (void)Client.FindTopLevel("TfmEditNewQso");
  const auto State = Client.LinkState();
  EXPECT_TRUE(State.Lost);
  EXPECT_NE(State.Why.find("3 times in a row"), std::string::npos) << State.Why;
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), 0u);
  EXPECT_FALSE(Client.LastCallUnanswered());
}

// A bridge that runs but answers nothing (stopped, or wedged in Wine) is ended after its
// limit of silent requests and started again, instead of passing for a busy logger for ever.
TEST(LoggerHostProcess, ASilentBridgeIsReplaced) {
  platform::TLoggerHostProcess Silent;
  Silent.Program = QStringLiteral("/bin/sh");
  Silent.Arguments = {QStringLiteral("-c"), QStringLiteral("cat >/dev/null")};
  Silent.RestartInterval = 0ms;
  Silent.SilentLimit = 2;
  Silent.FailedStartLimit = 2;
  constexpr auto kShort = 300ms;
  TLoggerHostClient Client(Silent, kShort);
  const auto Ask = [&] {
    // After a call that ran out of time the client rests for its timeout.
    QThread::msleep(static_cast<unsigned long>(kShort.count()) + 100);
    return Client.FindTopLevel("TfmEditNewQso");
  };
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Ask(), 0u);
    EXPECT_TRUE(Client.LastCallUnanswered());
  }
  EXPECT_FALSE(Client.LinkState().Lost);  // ended once and started again
  EXPECT_EQ(Ask(), 0u);                   // the second one ends the same way
  const auto State = Client.LinkState();
  EXPECT_TRUE(State.Lost);
  EXPECT_NE(State.Why.find("answered nothing 2 times in a row"), std::string::npos) << State.Why;
}

TEST_F(LoggerHostService, RequestsInOneWriteOrSplitAreAllAnswered) {
  StartServer();
  auto Socket = RawConnect();
  TRequest Find;
  Find.Op = TOperation::opFindTopLevel;
  Find.ClassName = "TfmEditNewQso";
  TRequest Text;
  Text.Op = TOperation::opWindowText;
  Text.Window = 33;
  Text.BufferSize = 20;
  Find.Id = 1;
  Text.Id = 2;
  const QByteArray Two =
      QByteArray::fromStdString(EncodeRequest(Find) + '\n' + EncodeRequest(Text) + '\n');
  Find.Id = 3;
  const QByteArray Third = QByteArray::fromStdString(EncodeRequest(Find) + '\n');
  Socket->write(Two + Third.left(10));
  ASSERT_TRUE(Socket->waitForBytesWritten(int(kTimeout.count())));
  const auto First = ReadLine(*Socket);
  const auto Second = ReadLine(*Socket);
  Socket->write(Third.mid(10));
  ASSERT_TRUE(Socket->waitForBytesWritten(int(kTimeout.count())));
  const auto Last = ReadLine(*Socket);
  ASSERT_TRUE(First && Second && Last);
  const auto A = DecodeAnswer(TOperation::opFindTopLevel, First->toStdString());
  const auto B = DecodeAnswer(TOperation::opWindowText, Second->toStdString());
  const auto C = DecodeAnswer(TOperation::opFindTopLevel, Last->toStdString());
  ASSERT_TRUE(A && B && C);
  EXPECT_EQ(A->Window, kBigHandle);
  EXPECT_EQ(B->Text, "DL1ABC");
  EXPECT_EQ(C->Id, 3u);
}

TEST_F(LoggerHostService, BadRequestsCloseOnlyTheirConnection) {
  StartServer();
  TLoggerHostClient Client(Name, kTimeout);
  ASSERT_EQ(Client.FindTopLevel("TfmEditNewQso"), kBigHandle);

  const QByteArray Bad[] = {
      "hello\n",
      R"({"id":1,"op":"windowText","window":"33","size":100000})"
      "\n",
      R"({"id":1,"op":"children","parent":"-5","class":"TPanel"})"
      "\n",
      QByteArray(kMaxLine + 1, 'x'),  // no line break needed: too long already
      QByteArray("{\"id\":1,\"op\":\"findTopLevel\",\"class\":\"") + QByteArray(kMaxName + 1, 'c') +
          "\"}\n",
  };
  for (const QByteArray& Line : Bad) {
    auto Socket = RawConnect();
    Socket->write(Line);
    EXPECT_TRUE(ClosedByPeer(*Socket)) << Line.left(60).toStdString();
    // Everyone else is still served, on the connection they had.
    EXPECT_EQ(Client.Children(22, "TPanel"), (std::vector<THandle>{31, 32, 33}));
  }
}

TEST_F(LoggerHostService, AClientThatNeverReadsIsDropped) {
  Windows.Texts[33] = std::string(kMaxBufferSize, 'w');
  StartServer();
  // About 2.4 MB of answers that nobody reads must not pile up in the server.
  TRequest Text;
  Text.Op = TOperation::opWindowText;
  Text.Window = 33;
  Text.BufferSize = kMaxBufferSize;
  QByteArray Requests;
  for (Text.Id = 1; Text.Id <= 600; ++Text.Id)
    Requests += QByteArray::fromStdString(EncodeRequest(Text) + '\n');
  auto Socket = RawConnect();
  Socket->write(Requests);
  EXPECT_TRUE(ClosedByPeer(*Socket));
  TLoggerHostClient Client(Name, kTimeout);
  EXPECT_EQ(Client.FindTopLevel("TfmProgress"), 17u);
}

TEST_F(LoggerHostService, ListenReplacesAStaleSocketButNotALiveServer) {
  // What a crashed server leaves behind: a socket file that nobody accepts on.
  const QByteArray Path = QFile::encodeName(Name);
  const int Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(Fd, 0);
  sockaddr_un Address{};
  Address.sun_family = AF_UNIX;
  ASSERT_LT(std::size_t(Path.size()), sizeof Address.sun_path);
  std::memcpy(Address.sun_path, Path.constData(), std::size_t(Path.size()));
  ASSERT_EQ(::bind(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof Address), 0);
  ::close(Fd);
  ASSERT_TRUE(QFileInfo::exists(Name));

  StartServer();
  TLoggerHostClient Client(Name, kTimeout);
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), kBigHandle);

  TFakeRegistry OtherRegistry;
  TFakeWindows OtherWindows;
  bool Second = true;
  QString Error;
  Thread.Run([&] {
    TLoggerHostServer Other(OtherRegistry, OtherWindows);
    Second = Other.Listen(Name);
    Error = Other.ErrorString();
  });
  EXPECT_FALSE(Second);
  EXPECT_TRUE(Error.contains(Name)) << Error.toStdString();
  // The first server keeps its name and its clients.
  EXPECT_EQ(Client.FindTopLevel("TfmProgress"), 17u);
  TLoggerHostClient Later(Name, kTimeout);
  EXPECT_EQ(Later.FindTopLevel("TfmProgress"), 17u);

  // Close stops listening: the name is free for the next server.
  Thread.Run([this] { Server->Close(); });
  EXPECT_EQ(Later.FindTopLevel("TfmProgress"), 0u);
  Thread.Run([this] { Listening = Server->Listen(Name); });
  EXPECT_TRUE(Listening);
  EXPECT_EQ(Later.FindTopLevel("TfmProgress"), 17u);
}

// Another account on the same machine serving the name first must get no request and no
// hearing: refused at once, whatever it sends, and said who it is.
TEST_F(LoggerHostService, AServerOfAnotherUserIsRefused) {
  if (const std::string Why = TOtherUserHost::CannotRun(); !Why.empty()) GTEST_SKIP() << Why;
  // Like the temporary folder: anyone may add a socket, only its owner remove it.
  QTemporaryDir Shared;
  ASSERT_EQ(::chmod(QFile::encodeName(Shared.path()).constData(), 01777), 0);
  const QString Foreign = Shared.filePath(QStringLiteral("host"));
  TOtherUserHost Other;
  ASSERT_EQ(Other.Start(Foreign), "");

  TLoggerHostClient Client(Foreign, kTimeout);
  QElapsedTimer Clock;
  Clock.start();
  EXPECT_FALSE(Client.Connect(kTimeout));
  EXPECT_TRUE(Client.Refused());
  EXPECT_EQ(Client.ErrorString(),
            QStringLiteral("The logger host \"%1\" is run by another user, nobody (uid 65534): "
                           "Orvane only talks to a logger of its own user.")
                .arg(Foreign));
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), 0u);
  EXPECT_FALSE(Client.LastCallUnanswered());  // definite: no logger of ours there
  // What it pours in is neither read nor waited for.
  EXPECT_LT(Clock.elapsed(), 2000);

  // A name nobody serves is no refusal.
  TLoggerHostClient Empty(Shared.filePath(QStringLiteral("none")), kTimeout);
  EXPECT_FALSE(Empty.Connect(kTimeout));
  EXPECT_FALSE(Empty.Refused());

  // Our own server on a later name is found.
  StartServer();
  TLoggerHostClient Both(QStringList{Foreign, Name}, kTimeout);
  EXPECT_EQ(Both.FindTopLevel("TfmEditNewQso"), kBigHandle);
  EXPECT_FALSE(Both.Refused());

  // A server of ours does not take the name over, and says whose it is.
  bool Listens = true;
  QString Error;
  Thread.Run([&] {
    TLoggerHostServer Mine(Registry, Windows);
    Listens = Mine.Listen(Foreign);
    Error = Mine.ErrorString();
  });
  EXPECT_FALSE(Listens);
  EXPECT_EQ(
      Error,
      QStringLiteral("another user, nobody (uid 65534), is listening as \"%1\"").arg(Foreign));
}

TEST_F(LoggerHostService, ALinkOrAFolderOthersCanWriteIsNoPlaceForTheSocket) {
  StartServer();
  const QString Link = Folder.filePath(QStringLiteral("link"));
  ASSERT_TRUE(QFile::link(Name, Link));
  TLoggerHostClient Client(Link, kTimeout);
  EXPECT_FALSE(Client.Connect(kTimeout));
  EXPECT_TRUE(Client.Refused());
  EXPECT_TRUE(Client.ErrorString().contains(QStringLiteral("\"%1\" is a symbolic link").arg(Link)))
      << Client.ErrorString().toStdString();

  const struct {
    const char* Place;  // a folder, or the link
    mode_t Mode;
    const char* Says;  // empty: the server listens there
  } Cases[] = {
      {"link", 0, "is a symbolic link"},
      {"open", 0777, "other users can replace it"},
      {"group", 0770, "other users can replace it"},
      {"sticky", 01777, ""},
      {"readable", 0755, ""},
  };
  for (const auto& c : Cases) {
    QString Path = Link;
    if (c.Mode != 0) {
      const QString Place = Folder.filePath(QString::fromLatin1(c.Place));
      ASSERT_TRUE(QDir().mkdir(Place));
      ASSERT_EQ(::chmod(QFile::encodeName(Place).constData(), c.Mode), 0);
      Path = Place + QStringLiteral("/host");
    }
    bool Listens = false;
    QString Error;
    Thread.Run([&] {
      TLoggerHostServer Other(Registry, Windows);
      Listens = Other.Listen(Path);
      Error = Other.ErrorString();
    });
    EXPECT_EQ(Listens, *c.Says == '\0') << c.Place << ": " << Error.toStdString();
    EXPECT_TRUE(Error.contains(QString::fromLatin1(c.Says))) << Error.toStdString();
  }
  // The link was left alone, and so was the server it leads to.
  EXPECT_TRUE(QFileInfo(Link).isSymLink());
  TLoggerHostClient Direct(Name, kTimeout);
  EXPECT_EQ(Direct.FindTopLevel("TfmProgress"), 17u);
}

TEST(LoggerHostName, TheRuntimeFolderOnlyWhenNoOtherUserCanEnterIt) {
  TScopedVariable Override("ORVANE_LOGGER_HOST", std::nullopt);
  TScopedVariable Runtime("XDG_RUNTIME_DIR", std::nullopt);
  const QStringList Default = platform::LoggerHostNames();
  ASSERT_EQ(Default.size(), 1);
  const QString Plain = Default.constFirst();
  EXPECT_TRUE(Plain.startsWith(QStringLiteral("tovrin-log3-host-")));
  EXPECT_GT(Plain.size(), QStringLiteral("tovrin-log3-host-").size());
  EXPECT_FALSE(Plain.contains(u'/'));
  EXPECT_EQ(platform::LoggerHostName(), Plain);

  QTemporaryDir Root;
  ASSERT_TRUE(Root.isValid());
  const auto Make = [&](const char* Name, mode_t Mode) {
    const QString Path = Root.filePath(QString::fromLatin1(Name));
    EXPECT_TRUE(QDir().mkdir(Path));
    EXPECT_EQ(::chmod(QFile::encodeName(Path).constData(), Mode), 0);
    return Path;
  };
  const QString Private = Make("private", 0700);
  const QString Open = Make("open", 0755);
  const QString Group = Make("group", 0770);
  const QString Link = Root.filePath(QStringLiteral("link"));
  ASSERT_TRUE(QFile::link(Private, Link));
  const QString File = Root.filePath(QStringLiteral("file"));
  ASSERT_TRUE(QFile(File).open(QIODevice::WriteOnly));
  const bool Root0 = ::geteuid() == 0;
  const QString Foreign = Make("foreign", 0700);
  if (Root0) {
    ASSERT_EQ(::chown(QFile::encodeName(Foreign).constData(), hosttest::kNobody, 0), 0);
  }

  const struct {
    QString Folder;
    QString Says;  // why it is not used; empty: used when set
  } Cases[] = {
      {QString(), QString()},
      {Private, QString()},
      {Private + u'/', QString()},
      {Open, QStringLiteral("has mode 0755, not 0700")},
      {Group, QStringLiteral("has mode 0770, not 0700")},
      {Root.filePath(QStringLiteral("missing")), QStringLiteral("does not exist")},
      {Link, QStringLiteral("is a symbolic link")},
      {File, QStringLiteral("is not a folder")},
      {QStringLiteral("run/user"), QStringLiteral("is not an absolute path")},
      {Foreign, Root0 ? QStringLiteral("belongs to another user (uid 65534)") : QString()},
  };
  for (const auto& c : Cases) {
    Runtime.Set(c.Folder.isEmpty() ? std::nullopt : std::optional(QFile::encodeName(c.Folder)));
    QString Why = QStringLiteral("not set");
    const QString Used = platform::LoggerHostRuntimeFolder(&Why);
    const bool Usable = !c.Folder.isEmpty() && c.Says.isEmpty();
    EXPECT_EQ(Used, Usable ? QDir::cleanPath(c.Folder) : QString()) << c.Folder.toStdString();
    if (c.Says.isEmpty())
      EXPECT_EQ(Why, QString()) << c.Folder.toStdString();
    else
      EXPECT_EQ(Why, QStringLiteral("XDG_RUNTIME_DIR \"%1\" ").arg(c.Folder) + c.Says);
    const QStringList Expected =
        Usable ? QStringList{QDir::cleanPath(c.Folder) + u'/' + Plain, Plain} : QStringList{Plain};
    EXPECT_EQ(platform::LoggerHostNames(), Expected) << c.Folder.toStdString();
    EXPECT_EQ(platform::LoggerHostName(), Expected.constFirst());
  }

  // The variable, when not empty, replaces every default.
  Runtime.Set(QFile::encodeName(Private));
  Override.Set("orvane-test-host");
  EXPECT_EQ(platform::LoggerHostNames(), QStringList{QStringLiteral("orvane-test-host")});
  EXPECT_EQ(platform::LoggerHostName(), QStringLiteral("orvane-test-host"));
  Override.Set("");
  EXPECT_EQ(platform::LoggerHostName(), Private + u'/' + Plain);
}

// A server started in the operator's session listens in the runtime folder; one started
// without it (another session) in the temporary folder, which the client tries next.
TEST_F(LoggerHostService, ServerAndClientAgreeOnTheDefaultNames) {
  QTemporaryDir Temporary;
  QTemporaryDir RuntimeFolder;  // mode 0700, ours
  ASSERT_TRUE(Temporary.isValid() && RuntimeFolder.isValid());
  TScopedVariable Override("ORVANE_LOGGER_HOST", std::nullopt);
  TScopedVariable TempFolder("TMPDIR", QFile::encodeName(Temporary.path()));
  TScopedVariable Runtime("XDG_RUNTIME_DIR", QFile::encodeName(RuntimeFolder.path()));

  Name = platform::LoggerHostName();
  ASSERT_TRUE(Name.startsWith(RuntimeFolder.path() + u'/')) << Name.toStdString();
  StartServer();
  EXPECT_TRUE(QFileInfo::exists(Name));
  TLoggerHostClient Client(platform::LoggerHostNames(), kTimeout);
  EXPECT_EQ(Client.FindTopLevel("TfmEditNewQso"), kBigHandle);
  StopServer();

  Runtime.Set(std::nullopt);
  Name = platform::LoggerHostName();
  StartServer();
  EXPECT_TRUE(QFileInfo::exists(Temporary.filePath(Name))) << Name.toStdString();
  Runtime.Set(QFile::encodeName(RuntimeFolder.path()));
  TLoggerHostClient Later(platform::LoggerHostNames(), kTimeout);
  EXPECT_EQ(Later.FindTopLevel("TfmEditNewQso"), kBigHandle);
  EXPECT_FALSE(Later.Refused());
}

}  // namespace
