// Reads any bytes as what a logger host connection carries. Server side: the bytes are cut
// into lines, each line decoded as a request and, when it is one, answered from sources
// that give the largest answers they can; the answer must fit a line and read back as
// itself. Client side: the whole input is read as the answer to each operation. Nothing may
// crash, and whatever decodes must survive encoding unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/hostprotocol.h"

namespace {

using namespace platform::hostprotocol;

// Echoes the names it is asked for, so that the answers grow with the requests.
class TEchoRegistry final : public platform::TLoggerRegistry {
 public:
  bool OpenKey(std::string_view Key, bool CanCreate) override {
    FKey = std::string(Key);
    return CanCreate || !Key.empty();
  }
  std::optional<std::string> ReadString(std::string_view Name) override {
    if (Name.empty()) return std::string(kMaxValueBytes + 1, 'v');
    return FKey + std::string(Name);
  }
  void CloseKey() noexcept override { FKey.clear(); }

 private:
  std::string FKey;
};

class TEchoWindows final : public platform::TWindowLookup {
 public:
  THandle FindTopLevel(std::string_view ClassName) override { return ClassName.size(); }
  std::vector<THandle> Children(THandle Parent, std::string_view ClassName) override {
    // More than a line may list, and the largest handles.
    std::vector<THandle> Result(ClassName.size() % 3 == 0 ? 2 * kMaxChildren : 3, ~Parent);
    Result.push_back(0);
    return Result;
  }
  std::optional<std::string> WindowText(THandle Window, std::size_t BufferSize) override {
    FLate = Window % 7 == 0;
    if (Window % 5 == 0) return std::nullopt;
    // Control characters need the longest escapes; four-byte characters the most bytes.
    std::string Text;
    for (std::size_t i = 0; i < BufferSize + 8; ++i) Text += (i % 2) ? "\x01" : "\xF0\x9F\x98\x80";
    return Text;
  }
  bool LastCallUnanswered() const noexcept override { return FLate; }

 private:
  bool FLate = false;
};

// Answers every path with a longer one, beyond the bound for long inputs.
class TEchoPaths final : public platform::TLoggerPaths {
 public:
  std::optional<std::string> LocalPath(std::string_view Path) override {
    if (Path.size() % 3 == 0) return std::nullopt;
    return "/home/op/.wine/dosdevices/" + std::string(Path) + std::string(Path);
  }
};

constexpr TOperation kOperations[] = {TOperation::opOpenKey,      TOperation::opReadString,
                                      TOperation::opFindTopLevel, TOperation::opChildren,
                                      TOperation::opWindowText,   TOperation::opUnixPath};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view Bytes(reinterpret_cast<const char*>(data), size);

  TEchoRegistry Registry;
  TEchoWindows Windows;
  TEchoPaths Paths;
  TLineBuffer Buffer;
  // Fed in two pieces, as a socket may deliver it.
  const std::size_t Half = Bytes.size() / 2;
  bool Fits = Buffer.Append(Bytes.substr(0, Half));
  for (int Piece = 0; Piece < 2; ++Piece) {
    while (const auto Line = Buffer.NextLine()) {
      const auto Request = DecodeRequest(*Line);
      // A complete line longer than the limit is handed out; the decoder must refuse it.
      if (Line->size() > kMaxLine && Request) __builtin_trap();
      if (!Request) continue;
      if (DecodeRequest(EncodeRequest(*Request)) != Request) __builtin_trap();
      const TAnswer Answer =
          AnswerRequest(*Request, Registry, Windows, Line->size() % 2 ? &Paths : nullptr);
      const std::string Encoded = EncodeAnswer(Request->Op, Answer);
      if (Encoded.size() > kMaxLine || Encoded.find('\n') != std::string::npos) __builtin_trap();
      if (DecodeAnswer(Request->Op, Encoded) != Answer) __builtin_trap();
    }
    if (Piece == 0) Fits = Buffer.Append(Bytes.substr(Half)) && Fits;
  }
  (void)Fits;

  for (const TOperation Op : kOperations) {
    const auto Answer = DecodeAnswer(Op, Bytes);
    if (Answer && DecodeAnswer(Op, EncodeAnswer(Op, *Answer)) != Answer) __builtin_trap();
  }
  if (const auto Id = LineId(Bytes); Id && (*Id == 0 || *Id > kMaxId)) __builtin_trap();
  return 0;
}
