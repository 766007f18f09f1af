#include "platform/qt/mdbdatabase.h"

#include <mdbtools.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <variant>

namespace platform {

namespace {

std::string Quoted(std::string_view Text) {
  std::string quoted;
  quoted.reserve(Text.size() + 2);
  quoted.append(1, '"').append(Text).append(1, '"');
  return quoted;
}

// ---------------------------------------------------------------------------------------
// The query

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class TQueryScanner {
 public:
  explicit TQueryScanner(std::string_view Text) : FText(Text) {}

  void SkipBlanks() {
    while (FPos < FText.size() && IsBlank(FText[FPos])) ++FPos;
  }
  bool AtEnd() {
    SkipBlanks();
    return FPos == FText.size();
  }
  bool Keyword(std::string_view Word) {
    SkipBlanks();
    if (FText.size() - FPos < Word.size()) return false;
    for (std::size_t i = 0; i < Word.size(); ++i)
      if ((FText[FPos + i] | 0x20) != (Word[i] | 0x20)) return false;
    const std::size_t End = FPos + Word.size();
    // A keyword ends where a name could not go on.
    if (End < FText.size() && IsNameChar(FText[End])) return false;
    FPos = End;
    return true;
  }
  bool Symbol(char c) {
    SkipBlanks();
    if (FPos == FText.size() || FText[FPos] != c) return false;
    ++FPos;
    return true;
  }
  std::optional<std::string> Name() {
    SkipBlanks();
    if (FPos == FText.size()) return std::nullopt;
    if (FText[FPos] == '[') {
      const std::size_t Close = FText.find(']', FPos + 1);
      if (Close == std::string_view::npos || Close == FPos + 1) return std::nullopt;
      std::string Result(FText.substr(FPos + 1, Close - FPos - 1));
      FPos = Close + 1;
      return Result;
    }
    const std::size_t Start = FPos;
    while (FPos < FText.size() && IsNameChar(FText[FPos])) ++FPos;
    if (FPos == Start) return std::nullopt;
    return std::string(FText.substr(Start, FPos - Start));
  }
  std::optional<std::string> QuotedText() {
    SkipBlanks();
    if (FPos == FText.size() || FText[FPos] != '\'') return std::nullopt;
    std::string Result;
    for (std::size_t i = FPos + 1; i < FText.size(); ++i) {
      if (FText[i] != '\'') {
        Result.push_back(FText[i]);
      } else if (i + 1 < FText.size() && FText[i + 1] == '\'') {
        Result.push_back('\'');
        ++i;
      } else {
        FPos = i + 1;
        return Result;
      }
    }
    return std::nullopt;
  }

 private:
  static bool IsNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) != 0 || c == '_' || u >= 0x80;
  }

  std::string_view FText;
  std::size_t FPos = 0;
};

// ---------------------------------------------------------------------------------------
// Reading through libmdb

constexpr unsigned long kCatalogDefinitionPage = 2;

struct TMdbCloser {
  void operator()(MdbHandle* Mdb) const { mdb_close(Mdb); }
};
struct TTableFreer {
  void operator()(MdbTableDef* Table) const { mdb_free_tabledef(Table); }
};
using TMdb = std::unique_ptr<MdbHandle, TMdbCloser>;
using TTable = std::unique_ptr<MdbTableDef, TTableFreer>;

TJetReply Fail(std::string Why) {
  TJetReply Reply;
  Reply.Error = std::move(Why);
  return Reply;
}

bool NamesEqual(std::string_view A, std::string_view B) {
  return QString::fromUtf8(A.data(), static_cast<qsizetype>(A.size()))
             .compare(QString::fromUtf8(B.data(), static_cast<qsizetype>(B.size())),
                      Qt::CaseInsensitive) == 0;
}

const char* KindName(int Type) {
  switch (Type) {
    case MDB_BOOL:
      return "Yes/No";
    case MDB_DATETIME:
      return "Date/Time";
    case MDB_BINARY:
      return "Binary";
    case MDB_OLE:
      return "OLE Object";
    case MDB_REPID:
      return "Replication ID";
    default:
      return "unknown";
  }
}

// The bytes of the current row's value of Column, within the page buffer; empty for NULL.
// libmdb takes the value's place from the row, so it is checked against the page.
std::optional<std::span<const unsigned char>> ValueBytes(const MdbHandle& Mdb,
                                                         const MdbColumn& Column) {
  if (Column.cur_value_len == 0) return std::span<const unsigned char>();
  const long long PageSize = Mdb.fmt->pg_size;
  const long long Start = Column.cur_value_start;
  const long long Length = Column.cur_value_len;
  if (Start <= 0 || Length < 0 || Start + Length > PageSize ||
      PageSize > static_cast<long long>(sizeof Mdb.pg_buf))
    return std::nullopt;
  return std::span<const unsigned char>(Mdb.pg_buf + Start, static_cast<std::size_t>(Length));
}

std::optional<std::string> ColumnText(MdbHandle& Mdb, const MdbColumn& Column) {
  const auto Bytes = ValueBytes(Mdb, Column);
  if (!Bytes) return std::nullopt;
  if (Bytes->empty()) return std::string();
  char* Text = mdb_col_to_string(&Mdb, Mdb.pg_buf, Column.cur_value_start, Column.col_type,
                                 Column.cur_value_len);
  std::string Result = Text ? Text : "";
  g_free(Text);
  return Result;
}

template <class T>
T Little(std::span<const unsigned char> Bytes) {
  // Jet stores every number little-endian.
  std::array<unsigned char, sizeof(T)> Raw{};
  for (std::size_t i = 0; i < sizeof(T); ++i) Raw[i] = Bytes[i];
  if constexpr (std::endian::native == std::endian::big) std::reverse(Raw.begin(), Raw.end());
  T Value;
  std::memcpy(&Value, Raw.data(), sizeof(T));
  return Value;
}

// A scaled decimal: a sign byte, then a 128-bit magnitude as four 32-bit little-endian
// words, the most significant first.
std::optional<double> DecimalValue(std::span<const unsigned char> Bytes, int Scale) {
  if (Bytes.size() < 17 || Scale < 0 || Scale > 28) return std::nullopt;
  long double Magnitude = 0;
  for (std::size_t Word = 0; Word < 4; ++Word)
    Magnitude = Magnitude * 4294967296.0L + Little<std::uint32_t>(Bytes.subspan(1 + 4 * Word));
  const long double Value = Magnitude / std::pow(10.0L, Scale);
  return static_cast<double>((Bytes[0] & 0x80) ? -Value : Value);
}

std::optional<double> TextNumber(std::string_view Text) {
  while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsBlank(Text.back())) Text.remove_suffix(1);
  if (!Text.empty() && Text.front() == '+') Text.remove_prefix(1);
  double Value = 0;
  const auto [End, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Text.empty() || Ec != std::errc() || End != Text.data() + Text.size() ||
      !std::isfinite(Value))
    return std::nullopt;
  return Value;
}

// The number in the current row's value of Column, or the reason why there is none.
std::variant<double, std::string> ColumnNumber(MdbHandle& Mdb, const MdbColumn& Column) {
  const auto Bytes = ValueBytes(Mdb, Column);
  if (!Bytes) return std::string("its value lies outside its page");
  // An empty field reads as 0, as the logger's own field access does.
  if (Bytes->empty()) return 0.0;
  auto Need = [&](std::size_t Size) { return Bytes->size() >= Size; };
  std::optional<double> Value;
  switch (Column.col_type) {
    case MDB_BYTE:
      if (Need(1)) Value = (*Bytes)[0];
      break;
    case MDB_INT:
      if (Need(2)) Value = Little<std::int16_t>(*Bytes);
      break;
    case MDB_LONGINT:
      if (Need(4)) Value = Little<std::int32_t>(*Bytes);
      break;
    case MDB_MONEY:
      // Currency counts ten-thousandths.
      if (Need(8)) Value = static_cast<double>(Little<std::int64_t>(*Bytes)) / 10000.0;
      break;
    case MDB_FLOAT:
      if (Need(4)) Value = Little<float>(*Bytes);
      break;
    case MDB_DOUBLE:
      if (Need(8)) Value = Little<double>(*Bytes);
      break;
    case MDB_NUMERIC:
      // The definition stores precision, then scale; libmdb names the two fields the other
      // way round (its own conversion to text passes col_prec as the scale).
      Value = DecimalValue(*Bytes, Column.col_prec);
      break;
    case MDB_TEXT:
    case MDB_MEMO: {
      const auto Text = ColumnText(Mdb, Column);
      if (!Text) return std::string("its value lies outside its page");
      Value = TextNumber(*Text);
      if (!Value) return "it holds no number: " + Quoted(*Text);
      break;
    }
    default:
      return std::string("it is a ") + KindName(Column.col_type) + " column, not a number";
  }
  if (!Value || !std::isfinite(*Value)) return std::string("its value is no finite number");
  return *Value;
}

const MdbColumn* FindColumn(const MdbTableDef& Table, std::string_view Name) {
  for (guint i = 0; Table.columns && i < Table.columns->len; ++i) {
    const auto* Column = static_cast<const MdbColumn*>(g_ptr_array_index(Table.columns, i));
    if (NamesEqual(Column->name, Name)) return Column;
  }
  return nullptr;
}

TJetReply Read(MdbHandle* Handle, const TJetRequest& Request) {
  const TMdb Mdb(Handle);
  if (!Mdb) return Fail("it is not an Access database that can be read (damaged or truncated)");
  const auto CatalogFails = [] {
    return Fail(
        "its catalog of tables cannot be read (the file is damaged, truncated or "
        "encrypted)");
  };
  {
    // libmdb walks the catalog's rows through its page map without checking that there is
    // one; look first, the way libmdb finds the catalog (its definition is on page 2).
    MdbCatalogEntry Catalog{};
    Catalog.mdb = Mdb.get();
    Catalog.object_type = MDB_TABLE;
    Catalog.table_pg = kCatalogDefinitionPage;
    const TTable Definition(mdb_read_table(&Catalog));
    if (!Definition || !Definition->usage_map || Definition->map_sz < 1) return CatalogFails();
  }
  if (!mdb_read_catalog(Mdb.get(), MDB_TABLE)) return CatalogFails();
  if (Request.Table.empty()) {
    TJetReply Reply;
    Reply.Ok = true;
    return Reply;
  }

  MdbCatalogEntry* Entry = nullptr;
  for (guint i = 0; i < Mdb->num_catalog && !Entry; ++i) {
    auto* Candidate = static_cast<MdbCatalogEntry*>(g_ptr_array_index(Mdb->catalog, i));
    if (Candidate->object_type == MDB_TABLE && NamesEqual(Candidate->object_name, Request.Table))
      Entry = Candidate;
  }
  if (!Entry) return Fail("the table " + Quoted(Request.Table) + " does not exist");
  const TTable Table(mdb_read_table(Entry));
  if (!Table || !mdb_read_columns(Table.get()))
    return Fail("the definition of the table " + Quoted(Request.Table) + " cannot be read");
  // libmdb walks the rows through this map without checking that it has one.
  if (!Table->usage_map || Table->map_sz < 1)
    return Fail("the page map of the table " + Quoted(Request.Table) + " is empty");
  mdb_rewind_table(Table.get());

  TJetReply Reply;
  Reply.Ok = true;
  if (!Request.Query) {
    (void)mdb_fetch_row(Table.get());
    return Reply;
  }

  const TJetQuery& Query = *Request.Query;
  auto Missing = [&](std::string_view Column) {
    return Fail("the table " + Quoted(Request.Table) + " has no column " + Quoted(Column));
  };
  const MdbColumn* Key = nullptr;
  if (!Query.Column.empty() && !(Key = FindColumn(*Table, Query.Column)))
    return Missing(Query.Column);
  if (Key && Key->col_type != MDB_TEXT && Key->col_type != MDB_MEMO)
    return Fail("the column " + Quoted(Query.Column) + " of the table " + Quoted(Request.Table) +
                " holds no text to compare");
  const MdbColumn* Longitude = FindColumn(*Table, Request.LongitudeColumn);
  const MdbColumn* Latitude = FindColumn(*Table, Request.LatitudeColumn);
  if (!Longitude) return Missing(Request.LongitudeColumn);
  if (!Latitude) return Missing(Request.LatitudeColumn);

  for (unsigned long long Row = 1; mdb_fetch_row(Table.get()); ++Row) {
    if (Key) {
      const auto Text = ColumnText(*Mdb, *Key);
      if (!Text)
        return Fail("row " + std::to_string(Row) + " of the table " + Quoted(Request.Table) +
                    " is damaged");
      if (!JetTextEquals(*Text, Query.Value)) continue;
    }
    TLoggerDatabase::TStoredPosition Position;
    for (const auto& [Column, Target] :
         {std::pair{Longitude, &Position.Longitude}, std::pair{Latitude, &Position.Latitude}}) {
      auto Number = ColumnNumber(*Mdb, *Column);
      if (auto* Why = std::get_if<std::string>(&Number))
        return Fail("the column " + Quoted(Column->name) + " of the table " +
                    Quoted(Request.Table) + " holds no number in row " + std::to_string(Row) +
                    ": " + *Why);
      *Target = std::get<double>(Number);
    }
    Reply.Position = Position;
    return Reply;
  }
  return Reply;
}

// ---------------------------------------------------------------------------------------
// The child process

// The reply as bytes through the pipe: a kind byte (0 error, 1 no row, 2 a position), then
// the error text or the two numbers.
std::string Encode(const TJetReply& Reply) {
  std::string Bytes(1, static_cast<char>(!Reply.Ok ? 0 : Reply.Position ? 2 : 1));
  if (!Reply.Ok) {
    Bytes += Reply.Error;
  } else if (Reply.Position) {
    char Numbers[2 * sizeof(double)];
    std::memcpy(Numbers, &Reply.Position->Longitude, sizeof(double));
    std::memcpy(Numbers + sizeof(double), &Reply.Position->Latitude, sizeof(double));
    Bytes.append(Numbers, sizeof Numbers);
  }
  return Bytes;
}

std::optional<TJetReply> Decode(const std::string& Bytes) {
  if (Bytes.empty()) return std::nullopt;
  TJetReply Reply;
  switch (Bytes[0]) {
    case 0:
      Reply.Error = Bytes.substr(1);
      return Reply;
    case 1:
      if (Bytes.size() != 1) return std::nullopt;
      Reply.Ok = true;
      return Reply;
    case 2: {
      if (Bytes.size() != 1 + 2 * sizeof(double)) return std::nullopt;
      Reply.Ok = true;
      TLoggerDatabase::TStoredPosition Position;
      std::memcpy(&Position.Longitude, Bytes.data() + 1, sizeof(double));
      std::memcpy(&Position.Latitude, Bytes.data() + 1 + sizeof(double), sizeof(double));
      Reply.Position = Position;
      return Reply;
    }
    default:
      return std::nullopt;
  }
}

void WriteAll(int Fd, const std::string& Bytes) {
  std::size_t Done = 0;
  while (Done < Bytes.size()) {
    const ssize_t n = ::write(Fd, Bytes.data() + Done, Bytes.size() - Done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    Done += static_cast<std::size_t>(n);
  }
}

// The memory a process holds in RAM, in bytes; 0 when it cannot be read.
std::uint64_t ResidentBytes(pid_t Process) {
  const std::string Path = "/proc/" + std::to_string(Process) + "/statm";
  std::FILE* File = std::fopen(Path.c_str(), "r");
  if (!File) return 0;
  unsigned long long Size = 0;
  unsigned long long Resident = 0;
  const bool Read = std::fscanf(File, "%llu %llu", &Size, &Resident) == 2;
  std::fclose(File);
  const long Page = ::sysconf(_SC_PAGESIZE);
  return Read && Page > 0 ? Resident * static_cast<std::uint64_t>(Page) : 0;
}

struct TFd {
  int Fd = -1;
  ~TFd() { Reset(); }
  void Reset() {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
  }
};

}  // namespace

TJetReply ReadIsolated(const std::function<TJetReply()>& Read, std::chrono::milliseconds Limit,
                       std::uint64_t MemoryLimit) {
  // The child shares this process's pages at first; what it adds is what counts.
  const std::uint64_t MemoryCap = ResidentBytes(::getpid()) + MemoryLimit;
  int Ends[2];
  // Close-on-exec: a process another thread starts meanwhile must not hold the write end,
  // or the end of the reply would never be seen.
  if (::pipe2(Ends, O_CLOEXEC) != 0)
    return Fail(std::string("the Access reader cannot be started: ") + std::strerror(errno));
  TFd ReadEnd{Ends[0]};
  TFd WriteEnd{Ends[1]};
  // Output of the parent still buffered would be written twice.
  std::fflush(nullptr);
  const pid_t Child = ::fork();
  if (Child < 0)
    return Fail(std::string("the Access reader cannot be started: ") + std::strerror(errno));
  if (Child == 0) {
    ReadEnd.Reset();
    std::string Bytes;
    try {
      Bytes = Encode(Read());
    } catch (const std::bad_alloc&) {
      Bytes = Encode(Fail("the Access reader ran out of memory"));
    } catch (...) {
      Bytes = Encode(Fail("the Access reader failed"));
    }
    WriteAll(WriteEnd.Fd, Bytes);
    ::_exit(0);
  }
  WriteEnd.Reset();

  // The reply is small; more than this is no reply of ours.
  constexpr std::size_t kMaxReply = 1 << 16;
  std::string Bytes;
  bool TimedOut = false;
  bool TooLarge = false;
  bool AtEnd = false;
  const auto Deadline = std::chrono::steady_clock::now() + Limit;
  for (;;) {
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
        Deadline - std::chrono::steady_clock::now());
    if (Left.count() <= 0) {
      TimedOut = true;
      break;
    }
    if (ResidentBytes(Child) > MemoryCap) {
      TooLarge = true;
      break;
    }
    // Wake often enough to stop a child that allocates without bound in time.
    pollfd Poll{ReadEnd.Fd, POLLIN, 0};
    const int Ready = ::poll(&Poll, 1, static_cast<int>(std::min<long long>(Left.count(), 20)));
    if (Ready < 0 && errno == EINTR) continue;
    if (Ready < 0) break;
    if (Ready == 0) continue;
    char Buffer[4096];
    const ssize_t n = ::read(ReadEnd.Fd, Buffer, sizeof Buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) {
      AtEnd = true;
      break;
    }
    if (n < 0) break;
    if (Bytes.size() + static_cast<std::size_t>(n) > kMaxReply) break;
    Bytes.append(Buffer, static_cast<std::size_t>(n));
  }
  // Whatever stopped the reading before the child closed its end, the child may still run:
  // waiting for it unkilled could block for good.
  if (!AtEnd) ::kill(Child, SIGKILL);
  int Status = 0;
  while (::waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
  }
  if (TooLarge)
    return Fail("reading it needed more than " + std::to_string(MemoryLimit >> 20) +
                " MB of memory; the file may be damaged");
  if (TimedOut) {
    const long long Ms = Limit.count();
    const std::string Span =
        Ms % 1000 == 0 ? std::to_string(Ms / 1000) + " s" : std::to_string(Ms) + " ms";
    return Fail("reading it took longer than " + Span + "; the file may be damaged");
  }
  if (WIFSIGNALED(Status))
    return Fail("the Access reader crashed on it (signal " + std::to_string(WTERMSIG(Status)) +
                "); the file may be damaged");
  if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
    return Fail("the Access reader failed on it (exit code " +
                std::to_string(WIFEXITED(Status) ? WEXITSTATUS(Status) : -1) +
                "); the file may be damaged");
  if (auto Reply = Decode(Bytes)) return *Reply;
  return Fail("the Access reader gave no answer");
}

std::optional<TJetQuery> ParseJetQuery(std::string_view Sql) {
  TQueryScanner Scan(Sql);
  TJetQuery Query;
  if (!Scan.Keyword("SELECT") || !Scan.Symbol('*') || !Scan.Keyword("FROM")) return std::nullopt;
  auto Table = Scan.Name();
  if (!Table) return std::nullopt;
  Query.Table = std::move(*Table);
  if (Scan.Keyword("WHERE")) {
    auto Column = Scan.Name();
    if (!Column || !Scan.Symbol('=')) return std::nullopt;
    auto Value = Scan.QuotedText();
    if (!Value) return std::nullopt;
    Query.Column = std::move(*Column);
    Query.Value = std::move(*Value);
  }
  Scan.Symbol(';');
  if (!Scan.AtEnd()) return std::nullopt;
  return Query;
}

bool JetTextEquals(std::string_view A, std::string_view B) {
  while (!A.empty() && A.back() == ' ') A.remove_suffix(1);
  while (!B.empty() && B.back() == ' ') B.remove_suffix(1);
  return NamesEqual(A, B);
}

TJetReply ReadJetDatabase(const std::string& FileName, const TJetRequest& Request) {
  // Read-only: libmdb opens the file with mode "r" and never writes without MDB_WRITABLE.
  return Read(mdb_open(FileName.c_str(), MDB_NOFLAGS), Request);
}

TJetReply ReadJetDatabase(std::span<const std::uint8_t> Bytes, const TJetRequest& Request) {
  if (Bytes.empty()) return Read(nullptr, Request);
  // The buffer is opened for reading only.
  return Read(mdb_open_buffer(const_cast<std::uint8_t*>(Bytes.data()), Bytes.size(), MDB_NOFLAGS),
              Request);
}

TMdbLoggerDatabase::TMdbLoggerDatabase(std::chrono::milliseconds TimeLimit)
    : FTimeLimit(TimeLimit) {}

void TMdbLoggerDatabase::Close() noexcept { FOpen = false; }

TJetReply TMdbLoggerDatabase::Run(const TJetRequest& Request) const {
  return ReadIsolated([&] { return ReadJetDatabase(FFileName, Request); }, FTimeLimit);
}

void TMdbLoggerDatabase::Open(const std::string& FileName) {
  Close();
  const std::string Prefix = "cannot open the logger database " + Quoted(FileName) + ": ";
  // libmdb would look for a missing file along $MDBPATH.
  if (std::FILE* File = std::fopen(FileName.c_str(), "rb")) {
    std::fclose(File);
  } else {
    throw std::runtime_error(
        Prefix + (errno == ENOENT ? std::string("the file does not exist") : std::strerror(errno)));
  }
  FFileName = FileName;
  const TJetReply Reply = Run({});
  if (!Reply.Ok) throw std::runtime_error(Prefix + Reply.Error);
  FOpen = true;
}

void TMdbLoggerDatabase::CheckTable(std::string_view Table) {
  const std::string Name(Table);
  if (!FOpen)
    throw std::runtime_error("cannot open the table " + Quoted(Name) +
                             ": the logger database is not open");
  TJetRequest Request;
  Request.Table = Name;
  const TJetReply Reply = Run(Request);
  if (!Reply.Ok)
    throw std::runtime_error("cannot open the table " + Quoted(Name) + " of the logger database " +
                             Quoted(FFileName) + ": " + Reply.Error);
}

std::optional<TLoggerDatabase::TStoredPosition> TMdbLoggerDatabase::QueryPosition(
    const std::string& Sql) {
  if (!FOpen) throw std::runtime_error("cannot run a query: the logger database is not open");
  const std::string Prefix = "the query of the logger database " + Quoted(FFileName) + " failed: ";
  auto Query = ParseJetQuery(Sql);
  if (!Query)
    throw std::runtime_error(Prefix +
                             "only SELECT * FROM table WHERE column = 'text' is "
                             "understood, not " +
                             Quoted(Sql));
  TJetRequest Request;
  Request.Table = Query->Table;
  Request.Query = std::move(Query);
  const TJetReply Reply = Run(Request);
  if (!Reply.Ok) throw std::runtime_error(Prefix + Reply.Error);
  return Reply.Position;
}

}  // namespace platform
