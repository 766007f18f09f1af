#include "platform/qt/loggerdatabase.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace platform {

namespace {

constexpr std::string_view kJetMark = "Standard Jet DB";
constexpr std::string_view kAceMark = "Standard ACE DB";
constexpr std::size_t kAccessMarkOffset = 4;
constexpr std::string_view kSqliteMark{"SQLite format 3\0", 16};

bool HasAt(std::span<const char> Header, std::size_t Offset, std::string_view Mark) {
  return Header.size() >= Offset + Mark.size() &&
         std::string_view(Header.data() + Offset, Mark.size()) == Mark;
}

}  // namespace

TDatabaseFormat DatabaseFormatOf(std::span<const char> Header) noexcept {
  if (HasAt(Header, kAccessMarkOffset, kJetMark) || HasAt(Header, kAccessMarkOffset, kAceMark))
    return TDatabaseFormat::Jet;
  if (HasAt(Header, 0, kSqliteMark)) return TDatabaseFormat::Sqlite;
  return TDatabaseFormat::Unknown;
}

TLoggerFileDatabase::TLoggerFileDatabase(std::chrono::milliseconds AccessTimeLimit,
                                         std::string AccessReader)
    : FAccess(AccessTimeLimit, std::move(AccessReader)) {}

void TLoggerFileDatabase::Close() noexcept {
  FAccess.Close();
  FSqlite.Close();
  FFormat = TDatabaseFormat::Unknown;
}

void TLoggerFileDatabase::Open(const std::string& FileName) {
  Close();
  const std::string Prefix = "cannot open the logger database \"" + FileName + "\": ";
  std::array<char, 32> Header{};
  std::size_t Read = 0;
  {
    // Read-only, and never created: a missing file is an error, not an empty database.
    std::FILE* File = std::fopen(FileName.c_str(), "rb");
    if (!File)
      throw std::runtime_error(Prefix + (errno == ENOENT ? std::string("the file does not exist")
                                                         : std::strerror(errno)));
    Read = std::fread(Header.data(), 1, Header.size(), File);
    std::fclose(File);
  }
  switch (DatabaseFormatOf(std::span<const char>(Header.data(), Read))) {
    case TDatabaseFormat::Jet:
      FAccess.Open(FileName);
      FFormat = TDatabaseFormat::Jet;
      return;
    case TDatabaseFormat::Sqlite:
      FSqlite.Open(FileName);
      FFormat = TDatabaseFormat::Sqlite;
      return;
    case TDatabaseFormat::Unknown:
      break;
  }
  throw std::runtime_error(Prefix + "it is neither an Access (Jet/ACE) nor an SQLite database");
}

TLoggerDatabase& TLoggerFileDatabase::Current() {
  if (FFormat == TDatabaseFormat::Sqlite) return FSqlite;
  // Closed: the Access reader gives the "not open" errors.
  return FAccess;
}

void TLoggerFileDatabase::CheckTable(std::string_view Table) { Current().CheckTable(Table); }

std::optional<TLoggerDatabase::TStoredPosition> TLoggerFileDatabase::QueryPosition(
    const std::string& Sql) {
  return Current().QueryPosition(Sql);
}

}  // namespace platform
