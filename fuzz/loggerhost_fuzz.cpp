// Reads any bytes as what a logger host connection carries. Server side: the bytes are cut
// into lines, each line decoded as a request and, when it is one, answered from sources
// that give the largest answers they can; the answer must fit a line and read back as
// itself. Client side: the whole input is read as the answer to each operation. Nothing may
// crash, and whatever decodes must survive encoding unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/qt/loggerhostservice.h"

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
    if (Window % 5 == 0) return std::nullopt;
    // Control characters need the longest escapes; four-byte characters the most bytes.
    std::string Text;
    for (std::size_t i = 0; i < BufferSize + 8; ++i) Text += (i % 2) ? "\x01" : "\xF0\x9F\x98\x80";
    return Text;
  }
};

constexpr TOperation kOperations[] = {TOperation::opOpenKey, TOperation::opReadString,
                                      TOperation::opFindTopLevel, TOperation::opChildren,
                                      TOperation::opWindowText};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray Bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

  TEchoRegistry Registry;
  TEchoWindows Windows;
  TLineBuffer Buffer;
  // Fed in two pieces, as a socket may deliver it.
  const qsizetype Half = Bytes.size() / 2;
  bool Fits = Buffer.Append(Bytes.left(Half));
  for (int Piece = 0; Piece < 2; ++Piece) {
    while (const auto Line = Buffer.NextLine()) {
      const auto Request = DecodeRequest(*Line);
      // A complete line longer than the limit is handed out; the decoder must refuse it.
      if (static_cast<std::size_t>(Line->size()) > kMaxLine && Request) __builtin_trap();
      if (!Request) continue;
      if (DecodeRequest(EncodeRequest(*Request)) != Request) __builtin_trap();
      const TAnswer Answer = AnswerRequest(*Request, Registry, Windows);
      const QByteArray Encoded = EncodeAnswer(Request->Op, Answer);
      if (static_cast<std::size_t>(Encoded.size()) > kMaxLine || Encoded.contains('\n'))
        __builtin_trap();
      if (DecodeAnswer(Request->Op, Encoded) != Answer) __builtin_trap();
    }
    if (Piece == 0) Fits = Buffer.Append(Bytes.mid(Half)) && Fits;
  }
  (void)Fits;

  for (const TOperation Op : kOperations) {
    const auto Answer = DecodeAnswer(Op, Bytes);
    if (Answer && DecodeAnswer(Op, EncodeAnswer(Op, *Answer)) != Answer) __builtin_trap();
  }
  return 0;
}
