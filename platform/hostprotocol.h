// The "logger host" protocol: the logger's registry key, windows and file names asked for
// in JSON lines. One parser and one formatter in standard C++, shared by the local-socket
// service, its client and the Win32 bridge, so that the transports cannot drift apart.
//
// One compact JSON object per line ("\n"), UTF-8, each line at most kMaxLine bytes. A
// request carries an id, a positive integer below 2^53, that its answer echoes; window
// handles travel as decimal strings because JSON numbers are doubles and handles are 64-bit.
//
//   {"id":1,"op":"openKey","key":"Software\\Tovrin_Log3","create":true} → {"id":1,"ok":true}
//   {"id":2,"op":"readString","key":"...","name":"InstallPath"} → {"id":2,"value":"..."|null}
//   {"id":3,"op":"findTopLevel","class":"TfmEditNewQso"}         → {"id":3,"window":"123"}
//   {"id":4,"op":"children","parent":"123","class":"TPanel"}     → {"id":4,"windows":["5"]}
//   {"id":5,"op":"windowText","window":"5","size":20}             → {"id":5,"text":"..."|null}
//   {"id":6,"op":"unixPath","path":"C:\\Log\\"}  → {"id":6,"path":"/..."|null[,"wine":false]}
//
// Any request may instead be answered {"id":N,"unanswered":true}: the logger did not answer
// in time, which says nothing about whether its windows exist. "wine":false says that the
// server does not run under Wine, so Windows names are the file names as they are.
//
// Registry reads are stateless: the key name goes with each read, and the server opens and
// closes the key around it. A window handle of "0" is no window. A server that cannot read
// a line answers {"error":"..."} (the bridge) or closes the connection (the socket service).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/loggerhost.h"

namespace platform::hostprotocol {

using THandle = TWindowLookup::THandle;

/// Longest line, the "\n" excluded, in either direction.
inline constexpr std::size_t kMaxLine = 64 * 1024;
/// Longest key, value name or class name in UTF-8 bytes (Win32 allows 255 characters for
/// a key, 256 for a class name).
inline constexpr std::size_t kMaxName = 1024;
/// Longest registry string value in UTF-8 bytes; a longer value is answered as missing
/// rather than cut, because a cut path would point somewhere else.
inline constexpr std::size_t kMaxValueBytes = 8 * 1024;
/// Longest path in either direction of opUnixPath, in UTF-8 bytes; longer is missing.
inline constexpr std::size_t kMaxPathBytes = 16 * 1024;
/// Largest text buffer a request may ask for, in characters, the terminating null included.
inline constexpr std::size_t kMaxBufferSize = 4096;
/// Most children listed in one answer; a window with more lists its first ones.
inline constexpr std::size_t kMaxChildren = 1024;
/// Ids run from 1 up to this (2^53 − 1), the integers a JSON number holds exactly.
inline constexpr std::uint64_t kMaxId = (std::uint64_t{1} << 53) - 1;

enum class TOperation {
  opOpenKey,
  opReadString,
  opFindTopLevel,
  opChildren,
  opWindowText,
  opUnixPath
};

/// A request. Which fields count depends on Op: opOpenKey Key and CanCreate; opReadString
/// Key and Name; opFindTopLevel ClassName; opChildren Window (the parent) and ClassName;
/// opWindowText Window and BufferSize; opUnixPath Path.
struct TRequest {
  std::uint64_t Id = 0;
  TOperation Op = TOperation::opOpenKey;
  std::string Key;
  std::string Name;
  bool CanCreate = false;
  std::string ClassName;
  THandle Window = 0;
  std::size_t BufferSize = 0;
  std::string Path;
  bool operator==(const TRequest&) const = default;
};

/// An answer to a request of operation Op. Unanswered: the logger did not answer in time,
/// and no other field counts. opOpenKey: Opened; opReadString: Text is the value;
/// opFindTopLevel: Window; opChildren: Windows (no 0 among them); opWindowText: Text is the
/// window's text; opUnixPath: Text is the Unix path, NotUnderWine when the server has no
/// Unix paths. Text nullopt is a missing value, window or path.
struct TAnswer {
  std::uint64_t Id = 0;
  bool Unanswered = false;
  bool Opened = false;
  std::optional<std::string> Text;
  THandle Window = 0;
  std::vector<THandle> Windows;
  bool NotUnderWine = false;
  bool operator==(const TAnswer&) const = default;
};

/// The request as one line without its "\n". Names beyond kMaxName and buffer sizes
/// beyond kMaxBufferSize make a line that the server refuses; callers check first.
[[nodiscard]] std::string EncodeRequest(const TRequest& Request);
/// A line (without "\n") as a request; nullopt when it is not one or breaks a bound.
[[nodiscard]] std::optional<TRequest> DecodeRequest(std::string_view Line);
/// The answer to a request of operation Op as one line without its "\n"; always at most
/// kMaxLine bytes for an answer that AnswerRequest made.
[[nodiscard]] std::string EncodeAnswer(TOperation Op, const TAnswer& Answer);
/// A line (without "\n") as the answer to a request of operation Op; nullopt when it is
/// not one or breaks a bound (a text is checked against kMaxBufferSize only).
[[nodiscard]] std::optional<TAnswer> DecodeAnswer(TOperation Op, std::string_view Line);
/// The id of a line that is a JSON object with a valid id, whatever else it holds.
[[nodiscard]] std::optional<std::uint64_t> LineId(std::string_view Line);
/// The line a server sends for a line it cannot read: {"error":Message}.
[[nodiscard]] std::string EncodeError(std::string_view Message);

/// What the server answers to Request from these sources. The key of opReadString is
/// opened without creating it and closed again; opOpenKey closes the key it opened. A
/// window call after which Windows reports LastCallUnanswered() is answered Unanswered.
/// Without Paths, opUnixPath is answered NotUnderWine.
[[nodiscard]] TAnswer AnswerRequest(const TRequest& Request, TLoggerRegistry& Registry,
                                    TWindowLookup& Windows, TLoggerPaths* Paths = nullptr);

/// Text as valid UTF-8: each byte that does not belong to a well-formed character becomes
/// U+FFFD, as a JSON line can hold valid UTF-8 only.
[[nodiscard]] std::string ValidUtf8(std::string_view Text);

/// Collects bytes as they arrive and hands out complete lines. Bounded: an unfinished line
/// longer than kMaxLine makes Append fail, and then the connection must be dropped; a
/// complete line that long is handed out, and the decoders refuse it.
class TLineBuffer {
 public:
  /// False when the data now ends in more than kMaxLine bytes without a "\n".
  [[nodiscard]] bool Append(std::string_view Data);
  /// The next complete line without its "\n" (nor a "\r" before it), or nullopt when none
  /// is complete.
  [[nodiscard]] std::optional<std::string> NextLine();
  void Clear() noexcept {
    FData.clear();
    FStart = 0;
  }

 private:
  std::string FData;
  std::size_t FStart = 0;  // consumed bytes at the front, dropped on the next Append
};

}  // namespace platform::hostprotocol
