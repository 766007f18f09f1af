#include "platform/qt/loggerhostservice.h"

#include <pwd.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <map>
#include <utility>

namespace platform {

QString LoggerHostName() {
  const QString Override = qEnvironmentVariable("ORVANE_LOGGER_HOST");
  if (!Override.isEmpty()) return Override;
  QString User;
  // getpwuid is not thread-safe; the reentrant form with a buffer of the size the system
  // suggests (bounded, as the value may be absurd).
  long Suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> Buffer(
      static_cast<std::size_t>(Suggested > 0 && Suggested < 65536 ? Suggested : 16384));
  passwd Entry{};
  passwd* Found = nullptr;
  if (::getpwuid_r(::geteuid(), &Entry, Buffer.data(), Buffer.size(), &Found) == 0 && Found &&
      Found->pw_name)
    User = QString::fromLocal8Bit(Found->pw_name);
  if (User.isEmpty()) User = qEnvironmentVariable("USER");
  if (User.isEmpty()) User = QString::number(::geteuid());
  return QStringLiteral("tovrin-log3-host-") + User;
}

namespace hostprotocol {

namespace {

constexpr std::pair<TOperation, QLatin1StringView> kOperationNames[] = {
    {TOperation::opOpenKey, QLatin1StringView("openKey")},
    {TOperation::opReadString, QLatin1StringView("readString")},
    {TOperation::opFindTopLevel, QLatin1StringView("findTopLevel")},
    {TOperation::opChildren, QLatin1StringView("children")},
    {TOperation::opWindowText, QLatin1StringView("windowText")},
};

QLatin1StringView OperationName(TOperation Op) {
  for (const auto& [Value, Name] : kOperationNames)
    if (Value == Op) return Name;
  return {};
}

std::optional<TOperation> OperationOf(const QString& Name) {
  for (const auto& [Value, OpName] : kOperationNames)
    if (Name == OpName) return Value;
  return std::nullopt;
}

QString Utf8(std::string_view Text) {
  return QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
}

// A whole number in [Low, High] held exactly by a JSON double.
std::optional<std::uint64_t> WholeNumber(const QJsonValue& Value, std::uint64_t Low,
                                         std::uint64_t High) {
  if (!Value.isDouble()) return std::nullopt;
  const double D = Value.toDouble();
  if (!(D >= static_cast<double>(Low) && D <= static_cast<double>(High)) || std::floor(D) != D)
    return std::nullopt;
  return static_cast<std::uint64_t>(D);
}

std::optional<std::string> BoundedString(const QJsonValue& Value, std::size_t MaxBytes) {
  if (!Value.isString()) return std::nullopt;
  QByteArray Bytes = Value.toString().toUtf8();
  if (static_cast<std::size_t>(Bytes.size()) > MaxBytes) return std::nullopt;
  return Bytes.toStdString();
}

QString HandleText(THandle Handle) { return QString::number(Handle); }

// Plain decimal digits only: no sign, no spaces, no leading zeros, within 64 bits.
std::optional<THandle> Handle(const QJsonValue& Value) {
  if (!Value.isString()) return std::nullopt;
  const QByteArray Text = Value.toString().toLatin1();
  if (Text.isEmpty() || Text.size() > 20 || (Text.size() > 1 && Text[0] == '0'))
    return std::nullopt;
  THandle Result = 0;
  const char* End = Text.constData() + Text.size();
  const auto [Ptr, Error] = std::from_chars(Text.constData(), End, Result);
  if (Error != std::errc() || Ptr != End) return std::nullopt;
  return Result;
}

std::optional<QJsonObject> ObjectOf(const QByteArray& Line) {
  if (static_cast<std::size_t>(Line.size()) > kMaxLine) return std::nullopt;
  QJsonParseError Error{};
  const QJsonDocument Document = QJsonDocument::fromJson(Line, &Error);
  if (Error.error != QJsonParseError::NoError || !Document.isObject()) return std::nullopt;
  return Document.object();
}

std::optional<std::uint64_t> IdOf(const QJsonObject& Object) {
  return WholeNumber(Object.value(QLatin1StringView("id")), 1, kMaxId);
}

std::size_t CodePoints(const QString& Text) {
  std::size_t Count = 0;
  for (qsizetype i = 0; i < Text.size(); ++i)
    if (!Text[i].isLowSurrogate()) ++Count;
  return Count;
}

QByteArray Compact(const QJsonObject& Object) {
  return QJsonDocument(Object).toJson(QJsonDocument::Compact);
}

}  // namespace

QByteArray EncodeRequest(const TRequest& Request) {
  QJsonObject Object;
  Object.insert(QLatin1StringView("id"), static_cast<double>(Request.Id));
  Object.insert(QLatin1StringView("op"), OperationName(Request.Op));
  switch (Request.Op) {
    case TOperation::opOpenKey:
      Object.insert(QLatin1StringView("key"), Utf8(Request.Key));
      Object.insert(QLatin1StringView("create"), Request.CanCreate);
      break;
    case TOperation::opReadString:
      Object.insert(QLatin1StringView("key"), Utf8(Request.Key));
      Object.insert(QLatin1StringView("name"), Utf8(Request.Name));
      break;
    case TOperation::opFindTopLevel:
      Object.insert(QLatin1StringView("class"), Utf8(Request.ClassName));
      break;
    case TOperation::opChildren:
      Object.insert(QLatin1StringView("parent"), HandleText(Request.Window));
      Object.insert(QLatin1StringView("class"), Utf8(Request.ClassName));
      break;
    case TOperation::opWindowText:
      Object.insert(QLatin1StringView("window"), HandleText(Request.Window));
      Object.insert(QLatin1StringView("size"), static_cast<double>(Request.BufferSize));
      break;
  }
  return Compact(Object);
}

std::optional<TRequest> DecodeRequest(const QByteArray& Line) {
  const auto Object = ObjectOf(Line);
  if (!Object) return std::nullopt;
  const auto Id = IdOf(*Object);
  const QJsonValue OpValue = Object->value(QLatin1StringView("op"));
  const auto Op = OpValue.isString() ? OperationOf(OpValue.toString()) : std::nullopt;
  if (!Id || !Op) return std::nullopt;
  TRequest Request;
  Request.Id = *Id;
  Request.Op = *Op;
  auto Name = [&](const char* Field, std::string& Into) {
    auto Value = BoundedString(Object->value(QLatin1StringView(Field)), kMaxName);
    if (Value) Into = std::move(*Value);
    return Value.has_value();
  };
  auto Window = [&](const char* Field) {
    const auto Value = Handle(Object->value(QLatin1StringView(Field)));
    if (Value) Request.Window = *Value;
    return Value.has_value();
  };
  switch (Request.Op) {
    case TOperation::opOpenKey: {
      const QJsonValue Create = Object->value(QLatin1StringView("create"));
      if (!Name("key", Request.Key) || !Create.isBool()) return std::nullopt;
      Request.CanCreate = Create.toBool();
      break;
    }
    case TOperation::opReadString:
      if (!Name("key", Request.Key) || !Name("name", Request.Name)) return std::nullopt;
      break;
    case TOperation::opFindTopLevel:
      if (!Name("class", Request.ClassName)) return std::nullopt;
      break;
    case TOperation::opChildren:
      if (!Window("parent") || !Name("class", Request.ClassName)) return std::nullopt;
      break;
    case TOperation::opWindowText: {
      const auto Size = WholeNumber(Object->value(QLatin1StringView("size")), 0, kMaxBufferSize);
      if (!Window("window") || !Size) return std::nullopt;
      Request.BufferSize = static_cast<std::size_t>(*Size);
      break;
    }
  }
  return Request;
}

QByteArray EncodeAnswer(TOperation Op, const TAnswer& Answer) {
  QJsonObject Object;
  Object.insert(QLatin1StringView("id"), static_cast<double>(Answer.Id));
  auto Text = [&](const char* Field) {
    Object.insert(QLatin1StringView(Field),
                  Answer.Text ? QJsonValue(Utf8(*Answer.Text)) : QJsonValue(QJsonValue::Null));
  };
  switch (Op) {
    case TOperation::opOpenKey:
      Object.insert(QLatin1StringView("ok"), Answer.Opened);
      break;
    case TOperation::opReadString:
      Text("value");
      break;
    case TOperation::opFindTopLevel:
      Object.insert(QLatin1StringView("window"), HandleText(Answer.Window));
      break;
    case TOperation::opChildren: {
      QJsonArray List;
      for (const THandle Child : Answer.Windows) List.append(HandleText(Child));
      Object.insert(QLatin1StringView("windows"), List);
      break;
    }
    case TOperation::opWindowText:
      Text("text");
      break;
  }
  return Compact(Object);
}

std::optional<TAnswer> DecodeAnswer(TOperation Op, const QByteArray& Line) {
  const auto Object = ObjectOf(Line);
  if (!Object) return std::nullopt;
  const auto Id = IdOf(*Object);
  if (!Id) return std::nullopt;
  TAnswer Answer;
  Answer.Id = *Id;
  // A text is either null or a string; a missing field is not an answer.
  auto Text = [&](const char* Field, std::size_t MaxBytes, std::size_t MaxChars) {
    const QJsonValue Value = Object->value(QLatin1StringView(Field));
    if (Value.isNull()) return true;
    if (!Value.isString() || CodePoints(Value.toString()) > MaxChars) return false;
    auto Bytes = BoundedString(Value, MaxBytes);
    if (Bytes) Answer.Text = std::move(*Bytes);
    return Bytes.has_value();
  };
  switch (Op) {
    case TOperation::opOpenKey: {
      const QJsonValue Ok = Object->value(QLatin1StringView("ok"));
      if (!Ok.isBool()) return std::nullopt;
      Answer.Opened = Ok.toBool();
      break;
    }
    case TOperation::opReadString:
      if (!Text("value", kMaxValueBytes, kMaxValueBytes)) return std::nullopt;
      break;
    case TOperation::opFindTopLevel: {
      const auto Window = Handle(Object->value(QLatin1StringView("window")));
      if (!Window) return std::nullopt;
      Answer.Window = *Window;
      break;
    }
    case TOperation::opChildren: {
      const QJsonValue Value = Object->value(QLatin1StringView("windows"));
      if (!Value.isArray()) return std::nullopt;
      const QJsonArray List = Value.toArray();
      if (static_cast<std::size_t>(List.size()) > kMaxChildren) return std::nullopt;
      for (const QJsonValue& Item : List) {
        const auto Child = Handle(Item);
        if (!Child || *Child == 0) return std::nullopt;
        Answer.Windows.push_back(*Child);
      }
      break;
    }
    case TOperation::opWindowText:
      if (!Text("text", kMaxLine, kMaxBufferSize - 1)) return std::nullopt;
      break;
  }
  return Answer;
}

TAnswer AnswerRequest(const TRequest& Request, TLoggerRegistry& Registry, TWindowLookup& Windows) {
  TAnswer Answer;
  Answer.Id = Request.Id;
  // The sources belong to the logger's side; whatever they throw reads as "missing" here
  // rather than escaping into the server's event loop.
  try {
    switch (Request.Op) {
      case TOperation::opOpenKey:
        Answer.Opened = Registry.OpenKey(Request.Key, Request.CanCreate);
        if (Answer.Opened) Registry.CloseKey();
        break;
      case TOperation::opReadString:
        if (Registry.OpenKey(Request.Key, false)) {
          const auto Value = Registry.ReadString(Request.Name);
          Registry.CloseKey();
          if (Value) {
            // Valid UTF-8 from here on, so that its size is the size on the wire.
            std::string Clean = Utf8(*Value).toUtf8().toStdString();
            if (Clean.size() <= kMaxValueBytes) Answer.Text = std::move(Clean);
          }
        }
        break;
      case TOperation::opFindTopLevel:
        Answer.Window = Windows.FindTopLevel(Request.ClassName);
        break;
      case TOperation::opChildren:
        for (const THandle Child : Windows.Children(Request.Window, Request.ClassName)) {
          if (Answer.Windows.size() == kMaxChildren) break;
          if (Child != 0) Answer.Windows.push_back(Child);
        }
        break;
      case TOperation::opWindowText:
        if (const auto Text = Windows.WindowText(Request.Window, Request.BufferSize))
          // A torn character becomes U+FFFD: the answer is JSON, which holds valid UTF-8 only.
          Answer.Text =
              Utf8(platform::LimitText(*Text, Request.BufferSize > 0 ? Request.BufferSize - 1 : 0))
                  .toUtf8()
                  .toStdString();
        break;
    }
  } catch (const std::exception&) {
    TAnswer Missing;
    Missing.Id = Request.Id;
    return Missing;
  }
  return Answer;
}

bool TLineBuffer::Append(const QByteArray& Data) {
  if (FStart > 0) {
    FData.remove(0, FStart);
    FStart = 0;
  }
  FData.append(Data);
  const qsizetype LastBreak = FData.lastIndexOf('\n');
  const qsizetype Pending = FData.size() - (LastBreak + 1);
  return static_cast<std::size_t>(Pending) <= kMaxLine;
}

std::optional<QByteArray> TLineBuffer::NextLine() {
  const qsizetype Break = FData.indexOf('\n', FStart);
  if (Break < 0) return std::nullopt;
  qsizetype End = Break;
  // Tolerate CRLF from a bridge on the other side.
  if (End > FStart && FData[End - 1] == '\r') --End;
  QByteArray Line = FData.mid(FStart, End - FStart);
  FStart = Break + 1;
  if (FStart == FData.size()) Clear();
  return Line;
}

}  // namespace hostprotocol

// ---------------------------------------------------------------------------------------
// Client

namespace {

using namespace hostprotocol;

int RemainingMs(const QDeadlineTimer& Deadline) {
  return static_cast<int>(std::max<qint64>(0, Deadline.remainingTime()));
}

}  // namespace

struct TLoggerHostClient::TImpl {
  QString Name;
  std::chrono::milliseconds Timeout;
  std::unique_ptr<QLocalSocket> Socket;
  TLineBuffer Buffer;
  std::uint64_t LastId = 0;
  std::optional<std::string> OpenedKey;
  // Set when a call ran out of time: until it expires calls answer "missing" at once, so
  // that a logger that hangs costs one timeout per tick, not one per request.
  QDeadlineTimer Resting;

  void Drop() {
    if (Socket) Socket->abort();
    Socket.reset();
    Buffer.Clear();
  }

  // One request and its answer within the timeout; nullopt (and the connection dropped)
  // for no connection, no answer in time or an answer that is not one.
  std::optional<TAnswer> Call(TRequest Request) {
    if (!Resting.hasExpired()) return std::nullopt;
    const QDeadlineTimer Deadline(Timeout, Qt::PreciseTimer);
    std::optional<TAnswer> Answer = Attempt(Request, Deadline);
    if (!Answer && Deadline.hasExpired()) Resting = QDeadlineTimer(Timeout);
    return Answer;
  }

  std::optional<TAnswer> Attempt(TRequest& Request, const QDeadlineTimer& Deadline) {
    // A kept connection may have been closed by a server that restarted since; every
    // operation is a read, so asking once more on a fresh connection is harmless.
    for (int Attempt = 0; Attempt < 2; ++Attempt) {
      const bool Kept = Socket && Socket->state() == QLocalSocket::ConnectedState;
      if (!Kept && !Connect(Deadline)) return std::nullopt;
      bool Closed = false;
      if (auto Answer = Exchange(Request, Deadline, Closed)) return Answer;
      Drop();
      if (!Kept || !Closed) return std::nullopt;
    }
    return std::nullopt;
  }

  bool Connect(const QDeadlineTimer& Deadline) {
    Drop();
    Socket = std::make_unique<QLocalSocket>();
    // Bounds what a server can make us hold between two reads.
    Socket->setReadBufferSize(static_cast<qint64>(4 * kMaxLine));
    Socket->connectToServer(Name);
    if (Socket->waitForConnected(RemainingMs(Deadline))) return true;
    Drop();
    return false;
  }

  // Sends Request and waits for its answer; Closed tells whether the peer closed the
  // connection before anything of an answer arrived.
  std::optional<TAnswer> Exchange(TRequest& Request, const QDeadlineTimer& Deadline, bool& Closed) {
    LastId = LastId >= kMaxId ? 1 : LastId + 1;
    Request.Id = LastId;
    // Whatever the event loop read since the last call is no answer to this request.
    Socket->readAll();
    Buffer.Clear();
    bool Received = false;
    auto PeerClosed = [&] {
      Closed = !Received && Socket->state() != QLocalSocket::ConnectedState;
      return std::nullopt;
    };
    Socket->write(EncodeRequest(Request) + '\n');
    while (Socket->bytesToWrite() > 0)
      if (!Socket->waitForBytesWritten(RemainingMs(Deadline))) return PeerClosed();
    for (;;) {
      if (Socket->bytesAvailable() > 0) {
        Received = true;
        if (!Buffer.Append(Socket->readAll())) return std::nullopt;
      }
      while (const auto Line = Buffer.NextLine()) {
        if (auto Answer = DecodeAnswer(Request.Op, *Line); Answer && Answer->Id == Request.Id)
          return Answer;
        // An answer to an earlier request (one that timed out on a server that is slow
        // but alive) is skipped; anything else means the stream is not to be trusted.
        if (static_cast<std::size_t>(Line->size()) > kMaxLine) return std::nullopt;
        const QJsonValue Id =
            QJsonDocument::fromJson(*Line).object().value(QLatin1StringView("id"));
        if (!(Id.isDouble() && Id.toDouble() >= 1 && Id.toDouble() < double(Request.Id)))
          return std::nullopt;
      }
      if (!Socket->waitForReadyRead(RemainingMs(Deadline))) return PeerClosed();
    }
  }
};

TLoggerHostClient::TLoggerHostClient(QString ServerName, std::chrono::milliseconds Timeout)
    : FImpl(std::make_unique<TImpl>()) {
  FImpl->Name = std::move(ServerName);
  FImpl->Timeout = Timeout;
}

TLoggerHostClient::~TLoggerHostClient() { FImpl->Drop(); }

bool TLoggerHostClient::OpenKey(std::string_view Key, bool CanCreate) {
  FImpl->OpenedKey.reset();
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
  if (ClassName.size() > kMaxName) return 0;
  TRequest Request;
  Request.Op = TOperation::opFindTopLevel;
  Request.ClassName = std::string(ClassName);
  const auto Answer = FImpl->Call(std::move(Request));
  return Answer ? Answer->Window : 0;
}

std::vector<TWindowLookup::THandle> TLoggerHostClient::Children(THandle Parent,
                                                                std::string_view ClassName) {
  if (Parent == 0 || ClassName.size() > kMaxName) return {};
  TRequest Request;
  Request.Op = TOperation::opChildren;
  Request.Window = Parent;
  Request.ClassName = std::string(ClassName);
  auto Answer = FImpl->Call(std::move(Request));
  return Answer ? std::move(Answer->Windows) : std::vector<THandle>{};
}

std::optional<std::string> TLoggerHostClient::WindowText(THandle Window, std::size_t BufferSize) {
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
      std::vector<QByteArray> Lines;
      {
        TLineBuffer& Buffer = Connections[Socket].Buffer;
        Bad = !Buffer.Append(Socket->readAll());
        while (auto Line = Buffer.NextLine()) Lines.push_back(std::move(*Line));
      }
      QByteArray Out;
      for (const QByteArray& Line : Lines) {
        const auto Request = DecodeRequest(Line);
        if (!Request) {
          Bad = true;
          break;
        }
        Out += EncodeAnswer(Request->Op, AnswerRequest(*Request, Registry, Windows));
        Out += '\n';
      }
      if (!Alive()) return;
      if (!Out.isEmpty()) Socket->write(Out);
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
  {
    // A socket file that answers belongs to a live server; one that refuses is stale.
    QLocalSocket Probe;
    Probe.connectToServer(Name);
    if (Probe.waitForConnected(1000)) {
      Probe.abort();
      FImpl->Error = QStringLiteral("another logger host is listening as \"%1\"").arg(Name);
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
