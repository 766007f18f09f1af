// The "logger host" service on Linux: the logger's registry key, windows and file names
// reached through the protocol of platform/hostprotocol.h, over a local socket (served by
// the simulator, or by anything beside the logger) or over the standard input and output of
// a child process (the Win32 bridge that Orvane starts with wine in the logger's prefix).
// The client never waits longer than its timeout, and tells a logger that does not answer
// from one whose windows are gone.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hostprotocol.h"
#include "platform/loggerhost.h"

class QLocalServer;
class QLocalSocket;

namespace platform {

/// $XDG_RUNTIME_DIR when the logger host may put its socket there: set, a folder (not a
/// symbolic link) owned by this user (the effective uid) with mode 0700, which no other
/// account can enter. Otherwise empty, and *Why (when given) says why it is not used; *Why
/// is empty when the variable is unset or empty.
[[nodiscard]] QString LoggerHostRuntimeFolder(QString* Why = nullptr);

/// The socket names where this user's logger host is looked for, in order. With
/// ORVANE_LOGGER_HOST set and not empty, that name alone (tests and a second simulator run
/// apart from the operator's logger). Otherwise "tovrin-log3-host-" followed by the user's
/// login name, first as a full path in LoggerHostRuntimeFolder() (when that is usable),
/// then as the plain name, a socket in the temporary folder (TMPDIR), where servers without
/// a runtime folder listen. A name that begins with "/" is a path; any other is a socket
/// in the temporary folder.
[[nodiscard]] QStringList LoggerHostNames();

/// The name a server listens on: the first of LoggerHostNames(), which a client with the
/// same environment tries first.
[[nodiscard]] QString LoggerHostName();

/// A child process that serves the protocol on its standard input and output, such as
/// `wine orvane-bridge.exe` in the logger's Wine prefix.
struct TLoggerHostProcess {
  QString Program;
  QStringList Arguments;
  /// "NAME=value" entries set on top of this process's environment (WINEPREFIX, ...).
  QStringList Environment;
  /// The longest wait between two starts of a process that keeps dying. One that ends after
  /// it has answered is started again at once; one that ends again without answering waits
  /// 2 s, then twice as long each time, up to this.
  std::chrono::milliseconds RestartInterval{std::chrono::minutes(1)};
  /// A running process that answers nothing (stopped, or wedged) is ended and started again
  /// after this many requests in a row have run out of time.
  int SilentLimit = 10;
  /// Starts in a row that end without any answer before the process is given up: the link
  /// is then lost (LinkState), with the last start's reason.
  int FailedStartLimit = 3;
};

/// The program's side: the registry, the window lookup and the logger's file names answered
/// by a logger host. Every call is synchronous and bounded by Timeout. A call that gets no
/// answer in time (or whose answer says the logger did not answer, or that finds the bridge
/// process gone and not yet to be restarted) answers as "no key", "no window", "no children"
/// or "no text" and sets LastCallUnanswered(); after it, calls answer the same at once for
/// the next Timeout, so that a hung logger costs one timeout per poll, not one per request.
/// A local socket that nobody serves is a definite "missing": the logger is gone.
///
/// Over a socket, a connection that times out or carries what is not an answer is dropped
/// and the next call connects again; a kept connection that the server has closed (a
/// restarted server) is replaced within the same call, which sends its request once more:
/// every request is a read. A child process is kept while it runs, late answers are skipped
/// by their id, and one that ended (or sent what is not an answer, and was ended) is started
/// again as TLoggerHostProcess says; what it writes on its error output is kept (its last
/// lines) for the messages. Use it on one thread; it needs a QCoreApplication but no running
/// event loop.
///
/// A socket client talks only to a server of its own user: right after connecting it reads
/// the server's user id from the socket (SO_PEERCRED) and refuses a server run by another
/// account, and it refuses a socket path that is a symbolic link. Before a connection is
/// used it tries its names in order; a refused name is left for the next, and when none
/// serves, a refusal is a definite "missing" (as nobody serving), with Refused() set and
/// ErrorString() saying who serves the name.
class TLoggerHostClient final : public TLoggerRegistry, public TWindowLookup, public TLoggerPaths {
 public:
  explicit TLoggerHostClient(QString ServerName,
                             std::chrono::milliseconds Timeout = std::chrono::milliseconds(300));
  /// The first of ServerNames whose server is of this user, tried in order at each connect.
  explicit TLoggerHostClient(QStringList ServerNames,
                             std::chrono::milliseconds Timeout = std::chrono::milliseconds(300));
  explicit TLoggerHostClient(TLoggerHostProcess Process,
                             std::chrono::milliseconds Timeout = std::chrono::milliseconds(300));
  ~TLoggerHostClient() override;

  /// For a child process: starts it (when it does not run) and waits up to Wait for its
  /// answer to a first request, however long the client's timeout. False, with
  /// ErrorString() saying why, when it cannot be started or does not answer in time. For a
  /// socket: whether a server answers within Wait.
  bool Connect(std::chrono::milliseconds Wait);
  /// Closes the connection and ends the process, if any, on the calling thread (where they
  /// were made); the next call connects or starts again at once.
  void Disconnect() noexcept;
  [[nodiscard]] QString ErrorString() const;
  /// Whether the last connection attempt found no server of this user but at least one
  /// name served by another account (or a symbolic link there), as against a name that
  /// nobody serves. ErrorString() then names the socket and the other user.
  [[nodiscard]] bool Refused() const noexcept;

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
  [[nodiscard]] bool LastCallUnanswered() const noexcept override;
  [[nodiscard]] TLinkState LinkState() const override;

  // TLoggerPaths: the path as it is when the server does not run under Wine.
  [[nodiscard]] std::optional<std::string> LocalPath(std::string_view LoggerPath) override;

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

  /// Starts listening under Name (see LoggerHostNames()), replacing a stale socket left by
  /// a server that died. False, with ErrorString() saying why, when another live server
  /// holds the name (naming its user when that is another account), when the name is a
  /// symbolic link, or when its folder lets other users replace the socket (writable by
  /// them without the sticky bit).
  bool Listen(const QString& Name);
  [[nodiscard]] QString ErrorString() const;
  /// Stops listening and drops every connection.
  void Close();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace platform
