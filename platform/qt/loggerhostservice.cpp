#include "platform/qt/loggerhostservice.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <limits>
#include <map>
#include <utility>
#include <variant>

namespace platform {

namespace {

// The login name of Uid, or an empty string when the system does not know it.
QString UserName(uid_t Uid) {
  // getpwuid is not thread-safe; the reentrant form with a buffer of the size the system
  // suggests (bounded, as the value may be absurd).
  long Suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> Buffer(
      static_cast<std::size_t>(Suggested > 0 && Suggested < 65536 ? Suggested : 16384));
  passwd Entry{};
  passwd* Found = nullptr;
  if (::getpwuid_r(Uid, &Entry, Buffer.data(), Buffer.size(), &Found) == 0 && Found &&
      Found->pw_name)
    return QString::fromLocal8Bit(Found->pw_name);
  return {};
}

QString Octal(mode_t Mode) {
  return QStringLiteral("%1").arg(static_cast<unsigned>(Mode & 07777), 4, 8, QChar(u'0'));
}

// Where a socket name lives, as QLocalSocket and QLocalServer place it.
QString SocketPath(const QString& Name) {
  if (Name.startsWith(u'/')) return Name;
  return QDir::cleanPath(QDir::tempPath()) + u'/' + Name;
}

bool IsSymbolicLink(const QString& Path) {
  struct stat Status {};
  return ::lstat(QFile::encodeName(Path).constData(), &Status) == 0 && S_ISLNK(Status.st_mode);
}

// The user id of the process that serves a connected socket (it listened), from the
// kernel, which the server cannot forge; nullopt when the system does not tell.
std::optional<uid_t> PeerUid(const QLocalSocket& Socket) {
  ucred Peer{};
  socklen_t Size = sizeof Peer;
  const auto Fd = Socket.socketDescriptor();
  if (Fd < 0 || Fd > std::numeric_limits<int>::max()) return std::nullopt;
  if (::getsockopt(static_cast<int>(Fd), SOL_SOCKET, SO_PEERCRED, &Peer, &Size) != 0 ||
      Size != sizeof Peer)
    return std::nullopt;
  return Peer.uid;
}

// "nobody (uid 65534)", or "uid 65534" for a user the system does not name.
QString DescribeUser(uid_t Uid) {
  const QString Name = UserName(Uid);
  return Name.isEmpty() ? QStringLiteral("uid %1").arg(Uid)
                        : QStringLiteral("%1 (uid %2)").arg(Name).arg(Uid);
}

}  // namespace

QString LoggerHostRuntimeFolder(QString* Why) {
  QString Reason;
  QString Folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!Folder.isEmpty()) {
    struct stat Status {};
    const QString Name = QStringLiteral("XDG_RUNTIME_DIR \"%1\"").arg(Folder);
    // lstat: a link could lead anywhere, into a folder that others control.
    if (!Folder.startsWith(u'/'))
      Reason = Name + QStringLiteral(" is not an absolute path");
    else if (::lstat(QFile::encodeName(Folder).constData(), &Status) != 0)
      Reason = Name + QStringLiteral(" does not exist");
    else if (S_ISLNK(Status.st_mode))
      Reason = Name + QStringLiteral(" is a symbolic link");
    else if (!S_ISDIR(Status.st_mode))
      Reason = Name + QStringLiteral(" is not a folder");
    else if (Status.st_uid != ::geteuid())
      Reason = Name + QStringLiteral(" belongs to another user (uid %1)").arg(Status.st_uid);
    else if ((Status.st_mode & 0777) != 0700)
      Reason = Name + QStringLiteral(" has mode %1, not 0700").arg(Octal(Status.st_mode));
    if (!Reason.isEmpty()) Folder.clear();
  }
  if (Why) *Why = Reason;
  return Folder.isEmpty() ? QString() : QDir::cleanPath(Folder);
}

QStringList LoggerHostNames() {
  const QString Override = qEnvironmentVariable("ORVANE_LOGGER_HOST");
  if (!Override.isEmpty()) return {Override};
  QString User = UserName(::geteuid());
  if (User.isEmpty()) User = qEnvironmentVariable("USER");
  if (User.isEmpty()) User = QString::number(::geteuid());
  // The name is a file name: a "/" from $USER must not lead into another folder.
  User.replace(u'/', u'_');
  const QString Base = QStringLiteral("tovrin-log3-host-") + User;
  QStringList Names;
  if (const QString Runtime = LoggerHostRuntimeFolder(); !Runtime.isEmpty())
    Names << Runtime + u'/' + Base;
  // Servers without a runtime folder (started from another session) still listen here.
  Names << Base;
  return Names;
}

QString LoggerHostName() { return LoggerHostNames().constFirst(); }

// ---------------------------------------------------------------------------------------
// Client

namespace {

using namespace hostprotocol;

int RemainingMs(const QDeadlineTimer& Deadline) {
  return static_cast<int>(std::min<qint64>(std::max<qint64>(0, Deadline.remainingTime()),
                                           std::numeric_limits<int>::max()));
}

// What is kept of a bridge's error output: its end, where the reason stands.
constexpr qsizetype kMaxErrorTail = 4096;
// The first wait before starting again a bridge that died without answering; it doubles.
constexpr std::chrono::milliseconds kFirstRestartDelay{2000};

// The last few lines of Text, trimmed, for a message.
QString LastLines(const QByteArray& Text, int Lines = 4) {
  const QStringList All = QString::fromLocal8Bit(Text).split(u'\n', Qt::SkipEmptyParts);
  QStringList Kept;
  for (qsizetype i = std::max<qsizetype>(0, All.size() - Lines); i < All.size(); ++i)
    Kept << All[i].trimmed();
  return Kept.join(QStringLiteral(" / "));
}

}  // namespace

struct TLoggerHostClient::TImpl {
  // Where the server is: socket names to try in order, or a process to start.
  std::variant<QStringList, TLoggerHostProcess> Endpoint;
  std::chrono::milliseconds Timeout;
  std::unique_ptr<QLocalSocket> Socket;
  std::unique_ptr<QProcess> Process;
  QElapsedTimer LastStart;  // of the process; invalid before the first
  // The process's state between starts: when it may be started again, how it ended, what
  // it said on its error output, and how often it failed in a row.
  QDeadlineTimer NextStart{0};
  bool AnsweredSinceStart = false;
  int Deaths = 0;        // ends in a row without an answer since the start before
  int Silent = 0;        // requests in a row that ran out of time on a running process
  bool GivenUp = false;  // no more starts
  QString GivenUpWhy;
  QByteArray ErrorTail;  // the end of its error output
  QString LastEnd;       // how the last process ended ("exited with status 1", ...)
  QString EndingNote;    // why it is being ended, when this client ends it
  TLineBuffer Buffer;
  std::uint64_t LastId = 0;
  std::optional<std::string> OpenedKey;
  QString Error;
  // Set when a call ran out of time: until it expires calls answer "missing" at once, so
  // that a logger that hangs costs one timeout per tick, not one per request.
  QDeadlineTimer Resting;
  bool Unanswered = false;
  // The last connection attempt found only servers of other users.
  bool Refused = false;

  bool IsProcess() const { return std::holds_alternative<TLoggerHostProcess>(Endpoint); }

  QIODevice* Device() const {
    if (Socket) return Socket.get();
    return Process.get();
  }
  bool Open() const {
    if (Socket) return Socket->state() == QLocalSocket::ConnectedState;
    return Process && Process->state() == QProcess::Running;
  }

  void KeepErrors() {
    if (!Process) return;
    ErrorTail += Process->readAllStandardError();
    if (ErrorTail.size() > kMaxErrorTail) ErrorTail = ErrorTail.right(kMaxErrorTail);
  }

  // The command as the messages name it.
  QString CommandText() const {
    const auto& Command = std::get<TLoggerHostProcess>(Endpoint);
    return (QStringList{Command.Program} + Command.Arguments).join(u' ');
  }

  // Why the last process gave no answer, from how it ended and what it said.
  QString EndReason() const {
    QString Why = LastEnd;
    const QString Said = LastLines(ErrorTail);
    if (ErrorTail.contains("version mismatch"))
      Why += QStringLiteral(
          "; Wine says its version does not match the wineserver running for this prefix: "
          "the logger runs under another Wine build (a Wine manager's own), which must "
          "start the bridge too (name it as Wine in the [Logger] section of Orvane.ini)");
    if (!Said.isEmpty()) Why += QStringLiteral(" (it said: %1)").arg(Said);
    return Why;
  }

  void Drop() {
    if (Socket) Socket->abort();
    Socket.reset();
    if (Process) {
      // Its standard input closing ends the bridge; a bridge that does not go is killed.
      if (Process->state() != QProcess::NotRunning) {
        Process->closeWriteChannel();
        if (!Process->waitForFinished(500)) {
          Process->kill();
          Process->waitForFinished(500);
        }
      }
      KeepErrors();
      const double Seconds = static_cast<double>(LastStart.elapsed()) / 1000.0;
      LastEnd = !EndingNote.isEmpty() ? EndingNote
                : Process->exitStatus() == QProcess::CrashExit
                    ? QStringLiteral("%1 ended after %2 s").arg(CommandText()).arg(Seconds, 0, 'f', 1)
                    : QStringLiteral("%1 exited with status %2 after %3 s")
                          .arg(CommandText())
                          .arg(Process->exitCode())
                          .arg(Seconds, 0, 'f', 1);
      EndingNote.clear();
      Process.reset();
      // A bridge that ended after answering is started again at once; one that keeps
      // ending without an answer waits longer each time, and is given up after a few.
      const auto& Command = std::get<TLoggerHostProcess>(Endpoint);
      if (AnsweredSinceStart) {
        Deaths = 0;
        NextStart = QDeadlineTimer(0);
      } else {
        ++Deaths;
        if (Deaths >= Command.FailedStartLimit) {
          GivenUp = true;
          GivenUpWhy = QStringLiteral("the bridge to the logger ended %1 times in a row without "
                                   "answering; last: %2")
                        .arg(Deaths)
                        .arg(EndReason());
        }
        auto Delay = kFirstRestartDelay;
        for (int i = 1; i < Deaths && Delay < Command.RestartInterval; ++i) Delay *= 2;
        NextStart = QDeadlineTimer(std::min(Delay, Command.RestartInterval));
      }
      Silent = 0;
    }
    Buffer.Clear();
  }

  // One request and its answer within the timeout (or Wait, when given); nullopt for no
  // server, no answer in time or an answer that is not one, with Unanswered telling which.
  std::optional<TAnswer> Call(TRequest Request,
                              std::optional<std::chrono::milliseconds> Wait = std::nullopt) {
    Unanswered = true;
    if (!Resting.hasExpired()) return std::nullopt;
    if (GivenUp) {
      // Given up: as without a logger, from now on.
      Unanswered = false;
      return std::nullopt;
    }
    const QDeadlineTimer Deadline(Wait.value_or(Timeout), Qt::PreciseTimer);
    std::optional<TAnswer> Answer = Attempt(Request, Deadline);
    if (Answer) {
      Silent = 0;
      AnsweredSinceStart = true;
      Deaths = 0;
    }
    if (Answer && Answer->Unanswered) {
      // The logger itself is busy: ask again at the next tick, not at the next request.
      Resting = QDeadlineTimer(Timeout);
      return std::nullopt;
    }
    if (!Answer && Deadline.hasExpired()) {
      Resting = QDeadlineTimer(Timeout);
      // A bridge that runs but answers nothing for many requests is stopped or wedged in
      // Wine: its silence would pass for a busy logger for ever.
      if (IsProcess() && Open() &&
          ++Silent >= std::get<TLoggerHostProcess>(Endpoint).SilentLimit) {
        EndingNote =
            QStringLiteral("%1 answered nothing %2 times in a row and was ended").arg(CommandText()).arg(Silent);
        AnsweredSinceStart = false;
        Drop();
      }
    }
    if (Answer) Unanswered = false;
    return Answer;
  }

  std::optional<TAnswer> Attempt(TRequest& Request, const QDeadlineTimer& Deadline) {
    // A kept connection may have been closed by a server that restarted since; every
    // operation is a read, so asking once more on a fresh connection is harmless.
    for (int Attempt = 0; Attempt < 2; ++Attempt) {
      const bool Kept = Open();
      if (!Kept && !Start(Deadline)) return std::nullopt;
      bool Closed = false;
      bool Broken = false;
      if (auto Answer = Exchange(Request, Deadline, Closed, Broken)) return Answer;
      // A bridge whose output closed before the time was up is ending: its end is seen a
      // moment after the pipe's, and it must not pass for one that is slow.
      if (IsProcess() && !Broken && Open() && !Deadline.hasExpired())
        Process->waitForFinished(std::clamp(RemainingMs(Deadline), 1, 2000));
      // A slow bridge is kept, its late answer skipped next time; a socket is replaced.
      if (IsProcess() && !Broken && Open()) return std::nullopt;
      if (IsProcess() && Broken) Error = QStringLiteral("the bridge sent what is not an answer");
      Drop();
      if (IsProcess() || !Kept || !Closed) return std::nullopt;
    }
    return std::nullopt;
  }

  bool Start(const QDeadlineTimer& Deadline) {
    Drop();
    if (const auto* Names = std::get_if<QStringList>(&Endpoint))
      return StartSocket(*Names, Deadline);
    const auto& Command = std::get<TLoggerHostProcess>(Endpoint);
    if (GivenUp || !NextStart.hasExpired()) return false;
    LastStart.start();
    AnsweredSinceStart = false;
    ErrorTail.clear();
    Process = std::make_unique<QProcess>();
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    for (const QString& Entry : Command.Environment) {
      const qsizetype Equals = Entry.indexOf(u'=');
      if (Equals > 0) Environment.insert(Entry.left(Equals), Entry.mid(Equals + 1));
    }
    Process->setProcessEnvironment(Environment);
    // What wine says on its error output explains a bridge that does not answer; it is read
    // as it comes, so that the pipe never fills, and only its end is kept.
    QObject::connect(Process.get(), &QProcess::readyReadStandardError, Process.get(),
                     [this] { KeepErrors(); });
    Process->start(Command.Program, Command.Arguments);
    if (Process->waitForStarted(std::max(1000, RemainingMs(Deadline)))) return true;
    Error = QStringLiteral("cannot start %1: %2").arg(Command.Program, Process->errorString());
    Process.reset();
    // A command that cannot be started at all will not start later either.
    GivenUp = true;
    GivenUpWhy = Error;
    return false;
  }

  bool StartSocket(const QStringList& Names, const QDeadlineTimer& Deadline) {
    Refused = false;
    QString Refusal;
    QString Failure;
    // Nobody serving (or only other users) is a definite answer: no logger.
    bool Definite = true;
    for (const QString& Name : Names) {
      const QString Path = SocketPath(Name);
      if (IsSymbolicLink(Path)) {
        // Whoever made the link chose where it leads.
        Refusal = QStringLiteral(
                      "The logger host \"%1\" is a symbolic link, not a socket: Orvane only "
                      "talks to a logger of its own user.")
                      .arg(Path);
        continue;
      }
      Socket = std::make_unique<QLocalSocket>();
      // Bounds what a server can make us hold between two reads.
      Socket->setReadBufferSize(static_cast<qint64>(4 * kMaxLine));
      Socket->connectToServer(Name);
      if (Socket->waitForConnected(RemainingMs(Deadline))) {
        // Checked before a byte is sent or read: another account's server must learn
        // nothing of our requests and tell us nothing.
        const std::optional<uid_t> Owner = PeerUid(*Socket);
        if (Owner && *Owner == ::geteuid()) return true;
        Refusal = Owner ? QStringLiteral(
                              "The logger host \"%1\" is run by another user, %2: Orvane "
                              "only talks to a logger of its own user.")
                              .arg(Socket->fullServerName(), DescribeUser(*Owner))
                        : QStringLiteral(
                              "The logger host \"%1\" does not tell which user runs it: "
                              "Orvane only talks to a logger of its own user.")
                              .arg(Socket->fullServerName());
        Drop();
        continue;
      }
      const auto Why = Socket->error();
      if (Why != QLocalSocket::ServerNotFoundError && Why != QLocalSocket::ConnectionRefusedError)
        Definite = false;
      Failure = Socket->errorString();
      Drop();
    }
    if (Definite) Unanswered = false;
    Refused = !Refusal.isEmpty();
    Error = Refused ? Refusal : Failure;
    return false;
  }

  // Sends Request and waits for its answer. Closed tells whether the peer closed the
  // connection before anything of an answer arrived; Broken that it sent what is not one.
  std::optional<TAnswer> Exchange(TRequest& Request, const QDeadlineTimer& Deadline, bool& Closed,
                                  bool& Broken) {
    QIODevice& Io = *Device();
    LastId = LastId >= kMaxId ? 1 : LastId + 1;
    Request.Id = LastId;
    bool Received = false;
    auto Lost = [&] {
      Closed = !Received && !Open();
      return std::nullopt;
    };
    const std::string Line = EncodeRequest(Request) + '\n';
    Io.write(Line.data(), static_cast<qint64>(Line.size()));
    while (Io.bytesToWrite() > 0)
      if (!Io.waitForBytesWritten(RemainingMs(Deadline))) return Lost();
    for (;;) {
      while (const auto Next = Buffer.NextLine()) {
        if (auto Answer = DecodeAnswer(Request.Op, *Next); Answer && Answer->Id == Request.Id)
          return Answer;
        // An answer to an earlier request (one that timed out on a server that is slow
        // but alive) is skipped; anything else means the stream is not to be trusted.
        const auto Id = LineId(*Next);
        if (!Id || *Id >= Request.Id) {
          Broken = true;
          return std::nullopt;
        }
      }
      if (Io.bytesAvailable() > 0) {
        Received = true;
        const QByteArray Data = Io.readAll();
        if (!Buffer.Append(
                std::string_view(Data.constData(), static_cast<std::size_t>(Data.size())))) {
          Broken = true;
          return std::nullopt;
        }
        continue;
      }
      if (Deadline.hasExpired() || !Io.waitForReadyRead(RemainingMs(Deadline))) return Lost();
    }
  }
};

TLoggerHostClient::TLoggerHostClient(QString ServerName, std::chrono::milliseconds Timeout)
    : TLoggerHostClient(QStringList{std::move(ServerName)}, Timeout) {}

TLoggerHostClient::TLoggerHostClient(QStringList ServerNames, std::chrono::milliseconds Timeout)
    : FImpl(std::make_unique<TImpl>()) {
  FImpl->Endpoint = std::move(ServerNames);
  FImpl->Timeout = Timeout;
}

TLoggerHostClient::TLoggerHostClient(TLoggerHostProcess Process, std::chrono::milliseconds Timeout)
    : FImpl(std::make_unique<TImpl>()) {
  FImpl->Endpoint = std::move(Process);
  FImpl->Timeout = Timeout;
}

TLoggerHostClient::~TLoggerHostClient() { FImpl->Drop(); }

void TLoggerHostClient::Disconnect() noexcept {
  // Ended on purpose: no failure of the bridge's to count against its restarts.
  FImpl->AnsweredSinceStart = true;
  FImpl->Drop();
  FImpl->Resting = QDeadlineTimer();
}

bool TLoggerHostClient::Connect(std::chrono::milliseconds Wait) {
  FImpl->Error.clear();
  FImpl->Resting = QDeadlineTimer();
  // Any request would do; this one costs the logger nothing.
  TRequest Request;
  Request.Op = TOperation::opUnixPath;
  Request.Path = "C:\\";
  if (FImpl->Call(Request, Wait)) return true;
  if (FImpl->IsProcess() && FImpl->Error.isEmpty()) {
    if (FImpl->Process && FImpl->Open()) {
      FImpl->KeepErrors();
      FImpl->Error = QStringLiteral("%1 did not answer within %2 s")
                         .arg(FImpl->CommandText())
                         .arg(static_cast<double>(Wait.count()) / 1000.0);
      if (const QString Said = LastLines(FImpl->ErrorTail); !Said.isEmpty())
        FImpl->Error += QStringLiteral(" (it said: %1)").arg(Said);
    } else if (!FImpl->LastEnd.isEmpty() && !FImpl->GivenUp) {
      // It ended before answering: say how, and what it said, not that it was slow.
      FImpl->Error = FImpl->EndReason();
    } else if (FImpl->GivenUp) {
      FImpl->Error = FImpl->GivenUpWhy;
    }
  }
  if (FImpl->Error.isEmpty()) FImpl->Error = QStringLiteral("no logger host answers");
  return false;
}

QString TLoggerHostClient::ErrorString() const { return FImpl->Error; }

bool TLoggerHostClient::Refused() const noexcept { return FImpl->Refused; }

bool TLoggerHostClient::LastCallUnanswered() const noexcept { return FImpl->Unanswered; }

TWindowLookup::TLinkState TLoggerHostClient::LinkState() const {
  TLinkState State;
  if (!FImpl->IsProcess()) return State;
  if (FImpl->GivenUp) {
    State.Down = State.Lost = true;
    State.Why = FImpl->GivenUpWhy.toStdString();
  } else if (!FImpl->Open() && FImpl->LastStart.isValid()) {
    State.Down = true;
    State.Why = FImpl->LastEnd.toStdString();
  }
  return State;
}

bool TLoggerHostClient::OpenKey(std::string_view Key, bool CanCreate) {
  FImpl->OpenedKey.reset();
  FImpl->Unanswered = false;
  if (Key.size() > kMaxName) return false;
  TRequest Request;
  Request.Op = TOperation::opOpenKey;
  Request.Key = std::string(Key);
  Request.CanCreate = CanCreate;
  const auto Answer = FImpl->Call(Request);
  if (!Answer || !Answer->Opened) return false;
  FImpl->OpenedKey = std::move(Request.Key);
  return true;
}

std::optional<std::string> TLoggerHostClient::ReadString(std::string_view Name) {
  FImpl->Unanswered = false;
  if (!FImpl->OpenedKey || Name.size() > kMaxName) return std::nullopt;
  TRequest Request;
  Request.Op = TOperation::opReadString;
  Request.Key = *FImpl->OpenedKey;
  Request.Name = std::string(Name);
  auto Answer = FImpl->Call(std::move(Request));
  return Answer ? std::move(Answer->Text) : std::nullopt;
}

void TLoggerHostClient::CloseKey() noexcept { FImpl->OpenedKey.reset(); }

TWindowLookup::THandle TLoggerHostClient::FindTopLevel(std::string_view ClassName) {
  FImpl->Unanswered = false;
  if (ClassName.size() > kMaxName) return 0;
  TRequest Request;
  Request.Op = TOperation::opFindTopLevel;
  Request.ClassName = std::string(ClassName);
  const auto Answer = FImpl->Call(std::move(Request));
  return Answer ? Answer->Window : 0;
}

std::vector<TWindowLookup::THandle> TLoggerHostClient::Children(THandle Parent,
                                                                std::string_view ClassName) {
  FImpl->Unanswered = false;
  if (Parent == 0 || ClassName.size() > kMaxName) return {};
  TRequest Request;
  Request.Op = TOperation::opChildren;
  Request.Window = Parent;
  Request.ClassName = std::string(ClassName);
  auto Answer = FImpl->Call(std::move(Request));
  return Answer ? std::move(Answer->Windows) : std::vector<THandle>{};
}

std::optional<std::string> TLoggerHostClient::WindowText(THandle Window, std::size_t BufferSize) {
  FImpl->Unanswered = false;
  if (Window == 0) return std::nullopt;
  TRequest Request;
  Request.Op = TOperation::opWindowText;
  Request.Window = Window;
  Request.BufferSize = std::min(BufferSize, kMaxBufferSize);
  const std::size_t MaxChars = Request.BufferSize > 0 ? Request.BufferSize - 1 : 0;
  const auto Answer = FImpl->Call(std::move(Request));
  if (!Answer || !Answer->Text) return std::nullopt;
  // The server is outside data: hold it to the buffer that was asked for.
  return platform::LimitText(*Answer->Text, MaxChars);
}

std::optional<std::string> TLoggerHostClient::LocalPath(std::string_view LoggerPath) {
  FImpl->Unanswered = false;
  if (LoggerPath.size() > kMaxPathBytes) return std::nullopt;
  TRequest Request;
  Request.Op = TOperation::opUnixPath;
  Request.Path = std::string(LoggerPath);
  auto Answer = FImpl->Call(std::move(Request));
  if (!Answer) return std::nullopt;
  if (Answer->NotUnderWine) return std::string(LoggerPath);
  return std::move(Answer->Text);
}

// ---------------------------------------------------------------------------------------
// Server

namespace {

constexpr std::size_t kMaxConnections = 64;
// A client that keeps sending without reading its answers is dropped at this backlog.
constexpr qint64 kMaxUnsentBytes = 1024 * 1024;

}  // namespace

struct TLoggerHostServer::TImpl {
  TLoggerRegistry& Registry;
  TWindowLookup& Windows;
  TLoggerHostServer* Owner = nullptr;
  // Owns the accepted sockets as their Qt parent, so that none outlives it.
  std::unique_ptr<QLocalServer> Server;
  struct TConnection {
    TLineBuffer Buffer;
    bool Busy = false;
  };
  std::map<QLocalSocket*, TConnection> Connections;
  QString Error;

  TImpl(TLoggerRegistry& R, TWindowLookup& W, TLoggerHostServer* O)
      : Registry(R), Windows(W), Owner(O) {}

  void Drop(QLocalSocket* Socket) {
    if (Connections.erase(Socket) == 0) return;
    QObject::disconnect(Socket, nullptr, Owner, nullptr);
    Socket->abort();
    // Possibly inside one of its own signals: delete it from the event loop.
    Socket->deleteLater();
  }

  void Accept() {
    while (QLocalSocket* Socket = Server->nextPendingConnection()) {
      if (Connections.size() >= kMaxConnections) {
        Socket->abort();
        Socket->deleteLater();
        continue;
      }
      Socket->setReadBufferSize(static_cast<qint64>(4 * kMaxLine));
      Connections.emplace(Socket, TConnection{});
      QObject::connect(Socket, &QLocalSocket::readyRead, Owner, [this, Socket] { Serve(Socket); });
      QObject::connect(Socket, &QLocalSocket::disconnected, Owner,
                       [this, Socket] { Drop(Socket); });
      if (Socket->bytesAvailable() > 0) Serve(Socket);
    }
  }

  void Serve(QLocalSocket* Socket) {
    const auto Found = Connections.find(Socket);
    // A source that runs the event loop must not make us answer out of order: the outer
    // call reads what arrived meanwhile.
    if (Found == Connections.end() || Found->second.Busy) return;
    Found->second.Busy = true;
    bool Bad = false;
    QPointer<QLocalSocket> Guard(Socket);
    auto Alive = [&] { return Guard && Connections.count(Socket) > 0; };
    while (!Bad && Alive() && Socket->bytesAvailable() > 0) {
      std::vector<std::string> Lines;
      {
        TLineBuffer& Buffer = Connections[Socket].Buffer;
        const QByteArray Data = Socket->readAll();
        Bad = !Buffer.Append(
            std::string_view(Data.constData(), static_cast<std::size_t>(Data.size())));
        while (auto Line = Buffer.NextLine()) Lines.push_back(std::move(*Line));
      }
      std::string Out;
      for (const std::string& Line : Lines) {
        const auto Request = DecodeRequest(Line);
        if (!Request) {
          Bad = true;
          break;
        }
        Out += EncodeAnswer(Request->Op, AnswerRequest(*Request, Registry, Windows));
        Out += '\n';
      }
      if (!Alive()) return;
      if (!Out.empty()) Socket->write(Out.data(), static_cast<qint64>(Out.size()));
      if (Socket->bytesToWrite() > kMaxUnsentBytes) Bad = true;
    }
    if (!Alive()) return;
    Connections[Socket].Busy = false;
    if (Bad) Drop(Socket);
  }

  void Close() {
    for (const auto& Entry : Connections) {
      QObject::disconnect(Entry.first, nullptr, Owner, nullptr);
      Entry.first->abort();
    }
    Connections.clear();
    Server.reset();
  }
};

TLoggerHostServer::TLoggerHostServer(TLoggerRegistry& Registry, TWindowLookup& Windows,
                                     QObject* Parent)
    : QObject(Parent), FImpl(std::make_unique<TImpl>(Registry, Windows, this)) {}

TLoggerHostServer::~TLoggerHostServer() { FImpl->Close(); }

bool TLoggerHostServer::Listen(const QString& Name) {
  Close();
  FImpl->Error.clear();
  const QString Path = SocketPath(Name);
  if (IsSymbolicLink(Path)) {
    FImpl->Error =
        QStringLiteral("cannot listen as \"%1\": \"%2\" is a symbolic link").arg(Name, Path);
    return false;
  }
  {
    // Where others may delete and replace our socket, clients would find theirs instead.
    // The sticky bit (the temporary folder) keeps them to their own files.
    const QString Folder = QFileInfo(Path).path();
    struct stat Status {};
    if (::stat(QFile::encodeName(Folder).constData(), &Status) == 0 &&
        (((Status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (Status.st_mode & S_ISVTX) == 0) ||
         (Status.st_uid != ::geteuid() && Status.st_uid != 0))) {
      FImpl->Error = QStringLiteral(
                         "cannot listen as \"%1\": other users can replace it in \"%2\" "
                         "(mode %3, owner %4)")
                         .arg(Name, Folder, Octal(Status.st_mode), DescribeUser(Status.st_uid));
      return false;
    }
  }
  {
    // A socket file that answers belongs to a live server; one that refuses is stale.
    QLocalSocket Probe;
    Probe.connectToServer(Name);
    if (Probe.waitForConnected(1000)) {
      const std::optional<uid_t> Owner = PeerUid(Probe);
      Probe.abort();
      FImpl->Error = Owner && *Owner != ::geteuid()
                         ? QStringLiteral("another user, %1, is listening as \"%2\"")
                               .arg(DescribeUser(*Owner), Name)
                         : QStringLiteral("another logger host is listening as \"%1\"").arg(Name);
      return false;
    }
    const auto Failure = Probe.error();
    if (Failure != QLocalSocket::ServerNotFoundError &&
        Failure != QLocalSocket::ConnectionRefusedError) {
      FImpl->Error = QStringLiteral("cannot check the logger host name \"%1\": %2")
                         .arg(Name, Probe.errorString());
      return false;
    }
  }
  QLocalServer::removeServer(Name);
  FImpl->Server = std::make_unique<QLocalServer>();
  FImpl->Server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!FImpl->Server->listen(Name)) {
    FImpl->Error =
        QStringLiteral("cannot listen as \"%1\": %2").arg(Name, FImpl->Server->errorString());
    FImpl->Server.reset();
    return false;
  }
  connect(FImpl->Server.get(), &QLocalServer::newConnection, this, [this] { FImpl->Accept(); });
  return true;
}

QString TLoggerHostServer::ErrorString() const { return FImpl->Error; }

void TLoggerHostServer::Close() { FImpl->Close(); }

}  // namespace platform
