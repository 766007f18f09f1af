// The logger's database on QtSql: the simulator's and the tests' stand-in, an SQLite file
// under the logger's database name, with the logger's table and columns. The logger's own
// Access file is read by TMdbLoggerDatabase; TLoggerFileDatabase chooses between them.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "platform/loggerhost.h"

namespace platform {

/// One read-only SQLite connection of its own (a connection name unique to the object),
/// removed again by Close and by the destructor. Use it on one thread.
class TSqlLoggerDatabase final : public TLoggerDatabase {
 public:
  TSqlLoggerDatabase();
  ~TSqlLoggerDatabase() override;

  void Close() noexcept override;
  /// Opens FileName read-only after closing what was open. Throws std::runtime_error naming
  /// the file when it does not exist (no empty database is created), is not an SQLite
  /// file, or cannot be opened.
  void Open(const std::string& FileName) override;
  /// Reads Table once; throws std::runtime_error naming the table when it does not exist
  /// or cannot be read, or when no database is open.
  void CheckTable(std::string_view Table) override;
  /// The stored "Longitude" and "Latitude" of the first row of Sql, unchanged (longitude
  /// positive to the west). Numbers stored as text are read as numbers (C locale); a value
  /// that is no finite number throws naming its column, an empty (NULL) value reads as 0.
  /// nullopt when the query has no rows. Throws for a failing query, a missing column or
  /// no open database.
  [[nodiscard]] std::optional<TStoredPosition> QueryPosition(const std::string& Sql) override;

 private:
  QString FConnection;  // the name of this object's QtSql connection
  std::string FFileName;
  bool FOpen = false;
};

}  // namespace platform
