// orvane-bridge: serves the logger-host protocol on its standard input and output from the
// Win32 side, for a program that cannot reach the logger's windows itself (Orvane on Linux
// starts it with wine in the logger's prefix). One answer line for each request line, in
// order; a line that is not a request gets an error line, and the bridge goes on. It ends
// when its standard input closes.
//
//   orvane-bridge [--timeout MS]    how long a window may take to answer (default 400)
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/win32host.h"
#include "platform/hostprotocol.h"

namespace {

using namespace platform::hostprotocol;

// Below Orvane's own timeout, so that a busy logger is answered as such, not with silence.
constexpr long kDefaultTimeoutMs = 400;

bool WriteAll(HANDLE Out, const std::string& Text) {
  std::size_t Done = 0;
  while (Done < Text.size()) {
    DWORD Written = 0;
    const DWORD Chunk = static_cast<DWORD>(std::min<std::size_t>(Text.size() - Done, 1 << 20));
    if (!WriteFile(Out, Text.data() + Done, Chunk, &Written, nullptr) || Written == 0) return false;
    Done += Written;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long TimeoutMs = kDefaultTimeoutMs;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
      char* End = nullptr;
      TimeoutMs = std::strtol(argv[++i], &End, 10);
      if (*End != '\0' || TimeoutMs < 1 || TimeoutMs > 60000) {
        std::fprintf(stderr, "orvane-bridge: --timeout takes 1 to 60000 ms\n");
        return 2;
      }
    } else {
      std::fprintf(stderr, "orvane-bridge: usage: orvane-bridge [--timeout MS]\n");
      return 2;
    }
  }

  const HANDLE In = GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE Out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (In == INVALID_HANDLE_VALUE || Out == INVALID_HANDLE_VALUE) return 1;

  bridge::TWin32Registry Registry;
  bridge::TWin32Windows Windows{std::chrono::milliseconds(TimeoutMs)};
  std::optional<bridge::TWinePaths> Paths = bridge::TWinePaths::Find();

  TLineBuffer Buffer;
  bool Skipping = false;  // within a line too long to read, until its end
  char Chunk[16 * 1024];
  for (;;) {
    DWORD Read = 0;
    if (!ReadFile(In, Chunk, sizeof Chunk, &Read, nullptr) || Read == 0) break;
    std::string_view Data(Chunk, Read);
    if (Skipping) {
      const std::size_t Break = Data.find('\n');
      if (Break == std::string_view::npos) continue;
      Data.remove_prefix(Break + 1);
      Skipping = false;
    }
    const bool Fits = Buffer.Append(Data);
    std::string Answers;
    while (const auto Line = Buffer.NextLine()) {
      if (const auto Request = DecodeRequest(*Line)) {
        const TAnswer Answer =
            AnswerRequest(*Request, Registry, Windows, Paths ? &*Paths : nullptr);
        Answers += EncodeAnswer(Request->Op, Answer);
      } else {
        // A long line may arrive whole in one read: it is refused the same either way.
        Answers += EncodeError(Line->size() > kMaxLine ? "line too long" : "not a request");
      }
      Answers += '\n';
    }
    if (!Fits) {
      Buffer.Clear();
      Skipping = true;
      Answers += EncodeError("line too long") + '\n';
    }
    if (!Answers.empty() && !WriteAll(Out, Answers)) break;
  }
  return 0;
}
