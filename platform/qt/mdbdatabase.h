// The logger's Access (Jet/ACE) database read through mdbtools' libmdb, read-only.
//
// libmdb trusts the file it reads, and a damaged database must not take the program down
// with it: every read runs in a child process of its own with a time and a memory limit,
// and a child that crashes, hangs or grows without end becomes an error naming the file.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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

/// Runs Read in a child process and returns its reply. A child that crashes, fails,
/// outlives Limit or holds more than MemoryLimit bytes beyond what this process holds (it
/// is then killed) gives an error reply saying so. Read sees a copy of this process; what
/// it changes stays in the child.
inline constexpr std::uint64_t kReadMemoryLimit = 512u << 20;
[[nodiscard]] TJetReply ReadIsolated(const std::function<TJetReply()>& Read,
                                     std::chrono::milliseconds Limit,
                                     std::uint64_t MemoryLimit = kReadMemoryLimit);

/// The logger's database in an Access file. Each operation opens the file read-only
/// in a child process, which ends after TimeLimit at the latest.
class TMdbLoggerDatabase final : public TLoggerDatabase {
 public:
  static constexpr std::chrono::milliseconds kTimeLimit{20000};

  explicit TMdbLoggerDatabase(std::chrono::milliseconds TimeLimit = kTimeLimit);
  ~TMdbLoggerDatabase() override = default;

  void Close() noexcept override;
  /// Reads the file's catalog of tables. Throws std::runtime_error naming the file when it
  /// does not exist, cannot be read, or is no Access database libmdb can read (truncated,
  /// damaged, encrypted), and when the reader crashes or runs out of time on it.
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
  std::string FFileName;
  bool FOpen = false;
};

}  // namespace platform
