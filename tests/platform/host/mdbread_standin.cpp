// A stand-in for the Access reader: takes its command line and limits itself as the real one
// does, then behaves as the name of the file it is asked to read says, for the tests of the
// program's side of the reader.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/qt/mdbdatabase.h"

namespace {

void Write(const std::string& Bytes) {
  std::size_t Done = 0;
  while (Done < Bytes.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, Bytes.data() + Done, Bytes.size() - Done);
    if (n <= 0) std::_Exit(1);
    Done += static_cast<std::size_t>(n);
  }
}

platform::TJetReply Error(std::string Why) {
  platform::TJetReply Reply;
  Reply.Error = std::move(Why);
  return Reply;
}

std::string Limit(int Resource) {
  rlimit L{};
  ::getrlimit(Resource, &L);
  return std::to_string(L.rlim_cur) + "/" + std::to_string(L.rlim_max);
}

}  // namespace

int main(int argc, char** argv) {
  const auto Call = platform::ParseJetReaderArguments(
      std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)));
  if (!Call) return 2;
  const std::string Mode = std::filesystem::path(Call->FileName).filename().string();
  // Its own CPU limit, far below the time limit the test gives, so that only this limit
  // can stop it.
  const auto Cpu = Mode == "spins" ? std::chrono::seconds(1) : Call->CpuLimit;
  if (platform::LimitJetReader(Call->MemoryLimit, Cpu)) return 2;

  if (Mode == "found") {
    platform::TJetReply Reply;
    Reply.Ok = true;
    Reply.Position = platform::TLoggerDatabase::TStoredPosition{-16.37, 48.21};
    Write(platform::EncodeJetReply(Reply));
  } else if (Mode == "complains") {
    std::fputs("\n  mdb_read_pg: offset 147456 is beyond EOF\x01\nUnrecognized format.\n", stderr);
    Write(platform::EncodeJetReply(Error("its catalog of tables cannot be read")));
  } else if (Mode == "noisy") {
    // More than any pipe holds: the reader must not block on what it says.
    const std::string Line(1023, '!');
    for (int i = 0; i < 1024; ++i) std::fprintf(stderr, "%s\n", Line.c_str());
    std::fflush(stderr);
    Write(platform::EncodeJetReply(Error("it is damaged")));
  } else if (Mode == "limits") {
    Write(platform::EncodeJetReply(Error("core " + Limit(RLIMIT_CORE) + " cpu " +
                                         Limit(RLIMIT_CPU) + " data " + Limit(RLIMIT_DATA))));
  } else if (Mode == "crashes") {
    std::abort();
  } else if (Mode == "exits") {
    std::_Exit(3);
  } else if (Mode == "hangs") {
    // Without its output, so that only the time limit ends the wait.
    ::close(STDOUT_FILENO);
    ::close(STDERR_FILENO);
    for (;;) ::pause();
  } else if (Mode == "spins") {
    volatile unsigned long Count = 0;
    for (;;) {
      const unsigned long Next = Count + 1;
      Count = Next;
    }
  } else if (Mode == "greedy") {
    // Touched memory without end, the way libmdb reads some damaged catalogs.
    std::vector<std::vector<char>> Held;
    for (;;) Held.emplace_back(std::size_t{8} << 20, 'x');
  } else if (Mode == "greedy-crashes") {
    // The same through malloc, whose null answer at the limit is then used.
    for (;;) {
      auto* Block = static_cast<volatile char*>(std::malloc(std::size_t{1} << 20));
      for (std::size_t i = 0; i < (std::size_t{1} << 20); i += 4096) Block[i] = 'x';
    }
  } else if (Mode == "garbage") {
    Write("\x07what is this");
  } else if (Mode == "oversized") {
    Write(std::string(1, '\0') + std::string(std::size_t{1} << 20, 'x'));
  } else {
    return 2;
  }
  return 0;
}
