// What the program reads from the logger it runs beside: its registry key, its database
// and its windows. On Linux these are answered by the "logger host" service (the logger
// under Wine, or the simulator); a Windows build calls Win32 directly; tests script them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// The current user's registry, as far as the logger's key is concerned.
class TLoggerRegistry {
 public:
  TLoggerRegistry() = default;
  TLoggerRegistry(const TLoggerRegistry&) = delete;
  TLoggerRegistry& operator=(const TLoggerRegistry&) = delete;
  virtual ~TLoggerRegistry() = default;

  /// Opens Key (for example "Software\Tovrin_Log3") under the current user, creating it
  /// when CanCreate and it does not exist. False when it cannot be opened; no error.
  virtual bool OpenKey(std::string_view Key, bool CanCreate) = 0;
  /// The string value Name of the open key; nullopt when the key has no such value or no
  /// key is open.
  [[nodiscard]] virtual std::optional<std::string> ReadString(std::string_view Name) = 0;
  virtual void CloseKey() noexcept = 0;
  /// Whether the last call got no answer in time, so that its "no key" or "no value" says
  /// nothing about the registry. A registry that always answers keeps the default.
  [[nodiscard]] virtual bool LastCallUnanswered() const noexcept { return false; }
};

/// The logger's database: one connection, a table check and one query.
class TLoggerDatabase {
 public:
  TLoggerDatabase() = default;
  TLoggerDatabase(const TLoggerDatabase&) = delete;
  TLoggerDatabase& operator=(const TLoggerDatabase&) = delete;
  virtual ~TLoggerDatabase() = default;

  /// The home position as stored in a row: degrees, longitude positive to the WEST.
  struct TStoredPosition {
    double Longitude = 0;
    double Latitude = 0;
  };

  virtual void Close() noexcept = 0;
  /// Opens the database file (without a login prompt). Throws std::runtime_error with a
  /// message naming the file when it cannot be opened.
  virtual void Open(const std::string& FileName) = 0;
  /// Opens Table once and closes it again: throws std::runtime_error naming the table when
  /// it does not exist or cannot be read.
  virtual void CheckTable(std::string_view Table) = 0;
  /// Runs Sql and reads "Longitude" and "Latitude" of its first row as floating-point
  /// numbers; nullopt when it has no rows. Throws std::runtime_error for a query that
  /// fails or a column that is missing.
  [[nodiscard]] virtual std::optional<TStoredPosition> QueryPosition(const std::string& Sql) = 0;
};

/// The connection text of the logger's Access database through the Jet provider, for a
/// build that opens it through ADO.
[[nodiscard]] inline std::string JetConnectionText(const std::string& FileName) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + FileName +
         ";Persist Security Info=False";
}

/// At most MaxChars characters of a UTF-8 text, cut at its first null character; a
/// character is never split. What a window's text reads as through a buffer of MaxChars + 1
/// characters, the terminating null included.
[[nodiscard]] inline std::string LimitText(std::string_view Text, std::size_t MaxChars) {
  Text = Text.substr(0, Text.find('\0'));
  std::size_t Chars = 0;
  std::size_t i = 0;
  for (; i < Text.size(); ++i) {
    // A character starts at every byte that is not a UTF-8 continuation byte.
    if ((static_cast<unsigned char>(Text[i]) & 0xC0) != 0x80) {
      if (Chars == MaxChars) break;
      ++Chars;
    }
  }
  return std::string(Text.substr(0, i));
}

/// Another program's windows, found by class name. A lookup or read that gets no answer
/// within a short time returns as for a missing window, so that a hung logger never hangs
/// us, and says so through LastCallUnanswered(): a logger that is busy is not a closed one.
class TWindowLookup {
 public:
  /// Identifies a window of the other program; 0 is no window.
  using THandle = std::uint64_t;

  TWindowLookup() = default;
  TWindowLookup(const TWindowLookup&) = delete;
  TWindowLookup& operator=(const TWindowLookup&) = delete;
  virtual ~TWindowLookup() = default;

  /// A top-level window of this class, or 0 when there is none.
  [[nodiscard]] virtual THandle FindTopLevel(std::string_view ClassName) = 0;
  /// The direct children of Parent of this class, in the platform's child order; empty when
  /// there are none or Parent is gone.
  [[nodiscard]] virtual std::vector<THandle> Children(THandle Parent,
                                                      std::string_view ClassName) = 0;
  /// The window's text as read into a buffer of BufferSize characters, the terminating
  /// null included (so at most BufferSize − 1 characters), as UTF-8; nullopt when the
  /// window is gone or does not answer.
  [[nodiscard]] virtual std::optional<std::string> WindowText(THandle Window,
                                                              std::size_t BufferSize) = 0;
  /// Whether the last call got no answer in time, so that its "missing" result says
  /// nothing about the windows. A lookup that always answers keeps the default.
  [[nodiscard]] virtual bool LastCallUnanswered() const noexcept { return false; }

  /// The link to the other program itself, beyond one call: whether it is down (being
  /// restored, so that answers are missing for a while) or lost for good, and why, for the
  /// operator. A lookup that never loses its link keeps the default.
  struct TLinkState {
    bool Down = false;
    bool Lost = false;  // cannot be restored: the lookups read as "no window" from now on
    std::string Why;
  };
  [[nodiscard]] virtual TLinkState LinkState() const { return {}; }
};

/// The logger's file names as this program opens them. The logger names its files as its
/// platform does; under Wine that is a Windows path such as "C:\Log\" that only the Wine
/// prefix can turn into the Unix path.
class TLoggerPaths {
 public:
  TLoggerPaths() = default;
  TLoggerPaths(const TLoggerPaths&) = delete;
  TLoggerPaths& operator=(const TLoggerPaths&) = delete;
  virtual ~TLoggerPaths() = default;

  /// The name under which this program opens the logger's LoggerPath: the Unix path of a
  /// Windows path under Wine, LoggerPath itself where the logger's names need no
  /// translation; nullopt when it cannot be translated (or no answer came in time).
  [[nodiscard]] virtual std::optional<std::string> LocalPath(std::string_view LoggerPath) = 0;
};

}  // namespace platform
