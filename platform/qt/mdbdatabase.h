// The logger's Access (Jet/ACE) database read through mdbtools' libmdb, read-only.
//
// libmdb trusts the file it reads, and a damaged database must not take the program down
// with it: every read runs in the Access reader, a small program of its own (orvane-mdbread)
// that limits its own memory and CPU time; a reader that crashes, hangs or grows without end
// becomes an error naming the file.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/loggerhost.h"

namespace platform {

/// The one query shape the logger link runs: `SELECT * FROM Table [WHERE Column = 'Value']`
/// (keywords in any letter case, names plain or in [brackets], '' for a quote in the value,
/// blanks and line breaks anywhere between the parts).
struct TJetQuery {
  std::string Table;
  std::string Column;  // "" when the query has no WHERE
  std::string Value;
};

/// The query of Sql; nullopt for any other text.
[[nodiscard]] std::optional<TJetQuery> ParseJetQuery(std::string_view Sql);

/// Whether two texts are equal as Jet compares them: without regard to letter case
/// (Unicode case folding) and ignoring trailing blanks. Both are UTF-8.
[[nodiscard]] bool JetTextEquals(std::string_view A, std::string_view B);

/// What one read of the database brings back (see ReadJetDatabase).
struct TJetReply {
  bool Ok = false;
  std::string Error;  // the reason when !Ok, without the file's name
  std::optional<TLoggerDatabase::TStoredPosition> Position;
};

/// What to read: the catalog only (Table ""), a table's definition and first row (Query
/// nullopt), or the position a query selects.
struct TJetRequest {
  std::string Table;
  std::optional<TJetQuery> Query;
  // The columns read as the position's numbers.
  std::string LongitudeColumn = "Longitude";
  std::string LatitudeColumn = "Latitude";
};

/// Reads an Access database in this process, from a file or from bytes in memory. The
/// numbers of the position may be stored as Double, Single, Currency, Byte, Integer, Long
/// Integer or Decimal, or as text holding a number (C locale, blanks around it allowed); an
/// empty (NULL) value reads as 0. What is wrong with the file comes back in the reply, not
/// as an exception.
[[nodiscard]] TJetReply ReadJetDatabase(const std::string& FileName, const TJetRequest& Request);
[[nodiscard]] TJetReply ReadJetDatabase(std::span<const std::uint8_t> Bytes,
                                        const TJetRequest& Request);

// ---------------------------------------------------------------------------------------
// The Access reader process
//
// Its command line: MEMORY_BYTES CPU_SECONDS FILE [TABLE [LONGITUDE LATITUDE [COLUMN VALUE]]]
// (the catalog; a table's definition and first row; the position of the first row, of the
// first whose COLUMN equals VALUE). It writes EncodeJetReply's bytes to standard output and
// ends with 0; libmdb's complaints go to standard error.

/// The Access reader's file name, in the folder of the program that starts it.
inline constexpr const char* kJetReaderFile = "orvane-mdbread";
/// The environment variable that names another Access reader program (for tests and tools).
inline constexpr const char* kJetReaderVariable = "ORVANE_MDBREAD";
/// The Access reader's exit status when an allocation failed at its memory limit.
inline constexpr int kJetReaderOutOfMemory = 86;
inline constexpr std::uint64_t kReadMemoryLimit = 512u << 20;

/// What the Access reader is asked to do.
struct TJetReaderCall {
  std::uint64_t MemoryLimit = kReadMemoryLimit;  // bytes beyond what it holds at start
  std::chrono::seconds CpuLimit{20};
  std::string FileName;
  TJetRequest Request;
};

/// The arguments after the program's name; Call.Request.Query->Table is not passed (the
/// request's Table is).
[[nodiscard]] std::vector<std::string> JetReaderArguments(const TJetReaderCall& Call);
/// The call the arguments after the program's name make; nullopt when they make none.
[[nodiscard]] std::optional<TJetReaderCall> ParseJetReaderArguments(
    std::span<const char* const> Arguments);

/// A reply as bytes: a kind byte (0 error, 1 no row, 2 a position), then the error text or
/// the two numbers (native doubles: both ends run on this machine). Decode gives nullopt
/// for bytes that are no reply.
[[nodiscard]] std::string EncodeJetReply(const TJetReply& Reply);
[[nodiscard]] std::optional<TJetReply> DecodeJetReply(std::string_view Bytes);

/// Limits the calling process, the Access reader, before it reads: its data (heap and
/// anonymous memory) to MemoryLimit bytes beyond what it holds now, its CPU time to
/// CpuLimit (SIGXCPU, a second later SIGKILL), no core file. From then on a failed
/// allocation, by operator new or GLib, ends the process with kJetReaderOutOfMemory. The
/// reason when a limit cannot be set; nullopt on success.
[[nodiscard]] std::optional<std::string> LimitJetReader(std::uint64_t MemoryLimit,
                                                        std::chrono::seconds CpuLimit);

/// The Access reader the program starts: the one $ORVANE_MDBREAD names, else kJetReaderFile
/// in the folder of this process's executable.
[[nodiscard]] std::string DefaultJetReader();

/// Runs the Access reader program Reader on FileName and returns its reply. The reader ends
/// after Limit at the latest (it is killed then) and gets Limit, rounded up to whole seconds,
/// as its CPU time and MemoryLimit as its memory. A reader that is missing, crashes, fails,
/// outlives its limits or answers with anything but a reply gives an error reply saying so;
/// the gist of what it wrote to standard error is added to every error.
[[nodiscard]] TJetReply ReadIsolated(const std::string& Reader, const std::string& FileName,
                                     const TJetRequest& Request, std::chrono::milliseconds Limit,
                                     std::uint64_t MemoryLimit = kReadMemoryLimit);

/// The logger's database in an Access file. Each operation opens the file read-only in the
/// Access reader, which ends after TimeLimit at the latest.
class TMdbLoggerDatabase final : public TLoggerDatabase {
 public:
  static constexpr std::chrono::milliseconds kTimeLimit{20000};

  /// Reader: the Access reader program; "" for DefaultJetReader().
  explicit TMdbLoggerDatabase(std::chrono::milliseconds TimeLimit = kTimeLimit,
                              std::string Reader = "");
  ~TMdbLoggerDatabase() override = default;

  void Close() noexcept override;
  /// Reads the file's catalog of tables. Throws std::runtime_error naming the file when it
  /// does not exist, cannot be read, or is no Access database libmdb can read (truncated,
  /// damaged, encrypted), and when the reader is missing, crashes or runs out of time or
  /// memory on it.
  void Open(const std::string& FileName) override;
  /// Reads Table's definition and its first row; throws naming the table when it does not
  /// exist (names compare without regard to letter case) or cannot be read.
  void CheckTable(std::string_view Table) override;
  /// The "Longitude" and "Latitude" of the first row the query selects, unchanged. Only the
  /// logger's query shape is understood (see TJetQuery); its WHERE compares as Jet does (see
  /// JetTextEquals). nullopt when no row matches. Throws naming the file for any other
  /// query, a missing table or column, and a value that is no number (naming the table,
  /// column and row).
  [[nodiscard]] std::optional<TStoredPosition> QueryPosition(const std::string& Sql) override;

 private:
  TJetReply Run(const TJetRequest& Request) const;

  std::chrono::milliseconds FTimeLimit;
  std::string FReader;
  std::string FFileName;
  bool FOpen = false;
};

}  // namespace platform
