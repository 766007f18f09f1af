// The "logger host" service on Linux: the logger's registry key and windows reached over a
// local socket. The logger under Wine (through a small bridge) or the simulator serves it;
// the program is its client. One request, one answer; the client never waits longer than
// its timeout, so a stuck logger reads as a missing window instead of hanging the program.
//
// The protocol: one compact JSON object per line ("\n"), UTF-8, each line at most
// hostprotocol::kMaxLine bytes. A request carries an id, a positive integer below 2^53,
// that its answer echoes; window handles travel as decimal strings because JSON numbers
// are doubles and handles are 64-bit.
//
//   {"id":1,"op":"openKey","key":"Software\\Tovrin_Log3","create":true} → {"id":1,"ok":true}
//   {"id":2,"op":"readString","key":"...","name":"InstallPath"} → {"id":2,"value":"..."|null}
//   {"id":3,"op":"findTopLevel","class":"TfmEditNewQso"}         → {"id":3,"window":"123"}
//   {"id":4,"op":"children","parent":"123","class":"TPanel"}     → {"id":4,"windows":["5"]}
//   {"id":5,"op":"windowText","window":"5","size":20}             → {"id":5,"text":"..."|null}
//
// Registry reads are stateless: the key name goes with each read, and the server opens and
// closes the key around it. A window handle of "0" is no window. A malformed or oversized
// line closes the connection that sent it.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/loggerhost.h"

class QLocalServer;
class QLocalSocket;

namespace platform {

/// The socket name of this user's logger host: "tovrin-log3-host-" followed by the user's
/// login name. The environment variable ORVANE_LOGGER_HOST, when set and not empty, replaces
/// it, so that tests and a second simulator run apart from the operator's logger. A name
/// without "/" is a socket in the temporary folder (TMPDIR); server and client must agree.
[[nodiscard]] QString LoggerHostName();

/// The messages of the service, apart from the sockets so that they can be tested and
/// fuzzed alone. Decoders take untrusted bytes: anything malformed or beyond a bound is
/// nullopt, never an exception or a crash.
namespace hostprotocol {

using THandle = TWindowLookup::THandle;

/// Longest line, the "\n" excluded, in either direction.
inline constexpr std::size_t kMaxLine = 64 * 1024;
/// Longest key, value name or class name in UTF-8 bytes (Win32 allows 255 characters for
/// a key, 256 for a class name).
inline constexpr std::size_t kMaxName = 1024;
/// Longest registry string value in UTF-8 bytes; a longer value is answered as missing
/// rather than cut, because a cut path would point somewhere else.
inline constexpr std::size_t kMaxValueBytes = 8 * 1024;
/// Largest text buffer a request may ask for, in characters, the terminating null included.
inline constexpr std::size_t kMaxBufferSize = 4096;
/// Most children listed in one answer; a window with more lists its first ones.
inline constexpr std::size_t kMaxChildren = 1024;
/// Ids run from 1 up to this (2^53 − 1), the integers a JSON number holds exactly.
inline constexpr std::uint64_t kMaxId = (std::uint64_t{1} << 53) - 1;

enum class TOperation { opOpenKey, opReadString, opFindTopLevel, opChildren, opWindowText };

/// A request. Which fields count depends on Op: opOpenKey Key and CanCreate; opReadString
/// Key and Name; opFindTopLevel ClassName; opChildren Window (the parent) and ClassName;
/// opWindowText Window and BufferSize.
struct TRequest {
  std::uint64_t Id = 0;
  TOperation Op = TOperation::opOpenKey;
  std::string Key;
  std::string Name;
  bool CanCreate = false;
  std::string ClassName;
  THandle Window = 0;
  std::size_t BufferSize = 0;
  bool operator==(const TRequest&) const = default;
};

/// An answer to a request of operation Op. opOpenKey: Opened; opReadString: Text is the
/// value; opFindTopLevel: Window; opChildren: Windows (no 0 among them); opWindowText:
/// Text is the window's text. Text nullopt is a missing value or window.
struct TAnswer {
  std::uint64_t Id = 0;
  bool Opened = false;
  std::optional<std::string> Text;
  THandle Window = 0;
  std::vector<THandle> Windows;
  bool operator==(const TAnswer&) const = default;
};

/// The request as one line without its "\n". Names beyond kMaxName and buffer sizes
/// beyond kMaxBufferSize make a line that the server refuses; callers check first.
[[nodiscard]] QByteArray EncodeRequest(const TRequest& Request);
/// A line (without "\n") as a request; nullopt when it is not one or breaks a bound.
[[nodiscard]] std::optional<TRequest> DecodeRequest(const QByteArray& Line);
/// The answer to a request of operation Op as one line without its "\n"; always at most
/// kMaxLine bytes for an answer that AnswerRequest made.
[[nodiscard]] QByteArray EncodeAnswer(TOperation Op, const TAnswer& Answer);
/// A line (without "\n") as the answer to a request of operation Op; nullopt when it is
/// not one or breaks a bound (a text is checked against kMaxBufferSize only).
[[nodiscard]] std::optional<TAnswer> DecodeAnswer(TOperation Op, const QByteArray& Line);

/// What the server answers to Request from these sources. The key of opReadString is
/// opened without creating it and closed again; opOpenKey closes the key it opened.
[[nodiscard]] TAnswer AnswerRequest(const TRequest& Request, TLoggerRegistry& Registry,
                                    TWindowLookup& Windows);

/// Collects bytes as they arrive and hands out complete lines. Bounded: an unfinished line
/// longer than kMaxLine makes Append fail, and then the connection must be dropped; a
/// complete line that long is handed out, and the decoders refuse it.
class TLineBuffer {
 public:
  /// False when the data now ends in more than kMaxLine bytes without a "\n".
  [[nodiscard]] bool Append(const QByteArray& Data);
  /// The next complete line without its "\n", or nullopt when none is complete.
  [[nodiscard]] std::optional<QByteArray> NextLine();
  void Clear() {
    FData.clear();
    FStart = 0;
  }

 private:
  QByteArray FData;
  qsizetype FStart = 0;  // consumed bytes at the front, dropped on the next Append
};

}  // namespace hostprotocol

/// The program's side: the registry and the window lookup answered by a logger host. Every
/// call is synchronous and bounded by Timeout; a call that gets no answer in time, a wrong
/// answer or no connection answers as "no key", "no window", "no children" or "no text",
/// and drops the connection. The next call connects again, except that after a call ran
/// out of time, calls answer "missing" at once for the next Timeout: a hung logger costs
/// one timeout per poll, not one per request. A kept connection that the
/// server has closed (a restarted server) is replaced within the same call, which sends its
/// request once more: every request is a read. Use it on one thread; it needs a
/// QCoreApplication but no running event loop.
class TLoggerHostClient final : public TLoggerRegistry, public TWindowLookup {
 public:
  explicit TLoggerHostClient(QString ServerName,
                             std::chrono::milliseconds Timeout = std::chrono::milliseconds(300));
  ~TLoggerHostClient() override;

  // TLoggerRegistry. OpenKey remembers the key for ReadString, which sends its name along.
  bool OpenKey(std::string_view Key, bool CanCreate) override;
  [[nodiscard]] std::optional<std::string> ReadString(std::string_view Name) override;
  void CloseKey() noexcept override;

  // TWindowLookup. WindowText asks for at most hostprotocol::kMaxBufferSize characters
  // whatever BufferSize is larger.
  [[nodiscard]] THandle FindTopLevel(std::string_view ClassName) override;
  [[nodiscard]] std::vector<THandle> Children(THandle Parent, std::string_view ClassName) override;
  [[nodiscard]] std::optional<std::string> WindowText(THandle Window,
                                                      std::size_t BufferSize) override;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

/// The logger's side: answers the requests of its clients (at most 64 connections at a
/// time) from a registry and a window lookup that it uses but does not own. Requests are
/// handled on the thread of the server's event loop, one at a time, in the order they
/// arrive; malformed or oversized requests, and a client that does not read its answers,
/// close that connection and nothing else. Only the same user may connect.
class TLoggerHostServer final : public QObject {
 public:
  TLoggerHostServer(TLoggerRegistry& Registry, TWindowLookup& Windows, QObject* Parent = nullptr);
  ~TLoggerHostServer() override;

  /// Starts listening under Name, replacing a stale socket left by a server that died.
  /// False, with ErrorString() saying why, when another live server holds the name.
  bool Listen(const QString& Name);
  [[nodiscard]] QString ErrorString() const;
  /// Stops listening and drops every connection.
  void Close();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace platform
