// A logger-host socket served by another account, for the tests that the client talks only
// to its own user: a child process that drops to "nobody", listens on a path and pours
// bytes into every connection, as a hostile server would. And environment variables set
// for one test.
#pragma once

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstring>
#include <optional>
#include <string>

namespace hosttest {

inline constexpr uid_t kNobody = 65534;

class TOtherUserHost {
 public:
  /// Why this process cannot serve as another user; empty when it can.
  static std::string CannotRun() {
    return ::geteuid() == 0 ? std::string() : "serving a socket as another user needs root";
  }

  TOtherUserHost() = default;
  TOtherUserHost(const TOtherUserHost&) = delete;
  TOtherUserHost& operator=(const TOtherUserHost&) = delete;
  ~TOtherUserHost() { Stop(); }

  /// Serves Path as uid and gid kNobody; the folder must let that user create it. Empty
  /// when the child listens, else what went wrong.
  std::string Start(const QString& Path) {
    const QByteArray Encoded = QFile::encodeName(Path);
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    if (std::size_t(Encoded.size()) >= sizeof Address.sun_path) return "socket path too long";
    std::memcpy(Address.sun_path, Encoded.constData(), std::size_t(Encoded.size()));
    int Ready[2];
    if (::pipe(Ready) != 0) return "pipe failed";
    FChild = ::fork();
    if (FChild < 0) return "fork failed";
    if (FChild == 0) {
      // The parent has threads: only system calls from here on, and never a return.
      ::close(Ready[0]);
      auto Fail = [&](char Why) {
        [[maybe_unused]] const auto Written = ::write(Ready[1], &Why, 1);
        ::_exit(1);
      };
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
        Fail('u');
      const int Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      if (Fd < 0 || ::bind(Fd, reinterpret_cast<const sockaddr*>(&Address), sizeof Address) != 0 ||
          ::listen(Fd, 16) != 0)
        Fail('b');
      char Garbage[4096];
      for (char& C : Garbage) C = 'x';
      [[maybe_unused]] const auto Written = ::write(Ready[1], "r", 1);
      ::close(Ready[1]);
      for (;;) {
        const int Client = ::accept(Fd, nullptr, nullptr);
        if (Client < 0) continue;
        while (::send(Client, Garbage, sizeof Garbage, MSG_NOSIGNAL) > 0) {
        }
        ::close(Client);
      }
    }
    ::close(Ready[1]);
    pollfd Poll{Ready[0], POLLIN, 0};
    char Status = 0;
    const bool Answered = ::poll(&Poll, 1, 10000) == 1 && ::read(Ready[0], &Status, 1) == 1;
    ::close(Ready[0]);
    if (Answered && Status == 'r') return {};
    Stop();
    if (!Answered) return "the child did not start listening";
    return Status == 'u' ? "the child cannot become nobody"
                         : "the child cannot listen on " + Encoded.toStdString();
  }

  void Stop() {
    if (FChild <= 0) return;
    ::kill(FChild, SIGKILL);
    ::waitpid(FChild, nullptr, 0);
    FChild = -1;
  }

 private:
  pid_t FChild = -1;
};

/// Sets (or, with nullopt, unsets) an environment variable until the end of the scope.
class TScopedVariable {
 public:
  TScopedVariable(const char* Name, std::optional<QByteArray> Value)
      : FName(Name), FSaved(qgetenv(Name)), FWasSet(qEnvironmentVariableIsSet(Name)) {
    Set(std::move(Value));
  }
  TScopedVariable(const TScopedVariable&) = delete;
  TScopedVariable& operator=(const TScopedVariable&) = delete;
  ~TScopedVariable() {
    if (FWasSet)
      qputenv(FName, FSaved);
    else
      qunsetenv(FName);
  }
  void Set(std::optional<QByteArray> Value) {
    if (Value)
      qputenv(FName, *Value);
    else
      qunsetenv(FName);
  }

 private:
  const char* FName;
  QByteArray FSaved;
  bool FWasSet;
};

}  // namespace hosttest
