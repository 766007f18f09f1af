// The logger's database as the program opens it: the file's own header decides the reader,
// not its name, since the logger's "logs.mdb" is an Access file and the simulator's stand-in
// an SQLite one.
#pragma once

#include <chrono>
#include <span>
#include <string>

#include "platform/loggerhost.h"
#include "platform/qt/mdbdatabase.h"
#include "platform/qt/sqldatabase.h"

namespace platform {

enum class TDatabaseFormat { Unknown, Jet, Sqlite };

/// The format the first bytes of a file announce: "Standard Jet DB" or "Standard ACE DB" at
/// offset 4 (Access), "SQLite format 3" at offset 0.
[[nodiscard]] TDatabaseFormat DatabaseFormatOf(std::span<const char> Header) noexcept;

/// Opens an Access file through libmdb (TMdbLoggerDatabase) and an SQLite file through QtSql
/// (TSqlLoggerDatabase); the other operations go to the one opened.
class TLoggerFileDatabase final : public TLoggerDatabase {
 public:
  /// AccessReader: the Access reader program (see TMdbLoggerDatabase).
  explicit TLoggerFileDatabase(
      std::chrono::milliseconds AccessTimeLimit = TMdbLoggerDatabase::kTimeLimit,
      std::string AccessReader = "");

  void Close() noexcept override;
  /// Throws std::runtime_error naming the file when it does not exist, cannot be read, is
  /// neither an Access nor an SQLite database, or when its reader cannot open it.
  void Open(const std::string& FileName) override;
  void CheckTable(std::string_view Table) override;
  [[nodiscard]] std::optional<TStoredPosition> QueryPosition(const std::string& Sql) override;

  /// The format of the database open, Unknown when none is.
  [[nodiscard]] TDatabaseFormat Format() const noexcept { return FFormat; }

 private:
  TLoggerDatabase& Current();

  TMdbLoggerDatabase FAccess;
  TSqlLoggerDatabase FSqlite;
  TDatabaseFormat FFormat = TDatabaseFormat::Unknown;
};

}  // namespace platform
