// orvane-mdbread: reads the logger's Access database for the program, one request per run,
// under limits it sets on itself before libmdb sees the file (see mdbdatabase.h for its
// command line and answer).
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <span>
#include <string>

#include "platform/qt/mdbdatabase.h"

namespace {

bool WriteAll(int Fd, const std::string& Bytes) {
  std::size_t Done = 0;
  while (Done < Bytes.size()) {
    const ssize_t n = ::write(Fd, Bytes.data() + Done, Bytes.size() - Done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    Done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const auto Call = platform::ParseJetReaderArguments(
      std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)));
  if (!Call) {
    std::fputs(
        "usage: orvane-mdbread MEMORY_BYTES CPU_SECONDS FILE "
        "[TABLE [LONGITUDE LATITUDE [COLUMN VALUE]]]\n",
        stderr);
    return 2;
  }
  if (const auto Why = platform::LimitJetReader(Call->MemoryLimit, Call->CpuLimit)) {
    std::fprintf(stderr, "orvane-mdbread: %s\n", Why->c_str());
    return 2;
  }
  platform::TJetReply Reply;
  try {
    Reply = platform::ReadJetDatabase(Call->FileName, Call->Request);
  } catch (const std::exception& Error) {
    Reply = {};
    Reply.Error = std::string("the Access reader failed: ") + Error.what();
  }
  return WriteAll(STDOUT_FILENO, platform::EncodeJetReply(Reply)) ? 0 : 1;
}
