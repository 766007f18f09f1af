#include "platform/qt/mdbdatabase.h"

#include <fcntl.h>
#include <mdbtools.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
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
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>
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
// The Access reader process

struct TFd {
  int Fd = -1;
  TFd() = default;
  explicit TFd(int Value) : Fd(Value) {}
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  ~TFd() { Reset(); }
  void Reset() {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
  }
};

std::optional<std::uint64_t> UnsignedNumber(std::string_view Text) {
  std::uint64_t Value = 0;
  const auto [End, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Text.empty() || Ec != std::errc() || End != Text.data() + Text.size()) return std::nullopt;
  return Value;
}

// The data this process holds (what RLIMIT_DATA counts), in bytes; 0 when it cannot be read.
std::uint64_t DataBytes() {
  std::FILE* File = std::fopen("/proc/self/status", "r");
  if (!File) return 0;
  char Line[256];
  unsigned long long KiB = 0;
  while (std::fgets(Line, sizeof Line, File))
    if (std::sscanf(Line, "VmData: %llu kB", &KiB) == 1) break;
  std::fclose(File);
  return KiB << 10;
}

[[noreturn]] void OutOfMemory() { ::_exit(kJetReaderOutOfMemory); }

// libmdb uses some allocations of its own unchecked: a crash once the reader holds more than
// this many bytes of data is taken for a failed allocation at the memory limit.
std::uint64_t GCrashIsOutOfMemory = 0;

// The data this process holds, in KiB, read with async-signal-safe calls only; 0 when it
// cannot be read.
std::uint64_t DataKiBInHandler() {
  static char Status[8192];
  const int Fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return 0;
  ssize_t Size = 0;
  for (ssize_t n; Size < static_cast<ssize_t>(sizeof Status) - 1 &&
                  (n = ::read(Fd, Status + Size, sizeof Status - 1 - Size)) > 0;)
    Size += n;
  ::close(Fd);
  Status[Size < 0 ? 0 : Size] = '\0';
  const char* At = std::strstr(Status, "\nVmData:");
  if (!At) return 0;
  At += 8;
  while (*At == ' ' || *At == '\t') ++At;
  std::uint64_t KiB = 0;
  for (; *At >= '0' && *At <= '9'; ++At) KiB = KiB * 10 + static_cast<std::uint64_t>(*At - '0');
  return KiB;
}

void OnCrash(int Signal) {
  if (GCrashIsOutOfMemory > 0 && DataKiBInHandler() * 1024 >= GCrashIsOutOfMemory) OutOfMemory();
  // The handler is reset: the signal, pending until it returns, ends the process as before.
  ::raise(Signal);
}

// GLib's allocation failures are fatal errors ("failed to allocate N bytes"); every other
// message is written as GLib would.
GLogWriterOutput GlibWriter(GLogLevelFlags Level, const GLogField* Fields, gsize Count,
                            gpointer Data) {
  if ((Level & G_LOG_LEVEL_ERROR) != 0) {
    for (gsize i = 0; i < Count; ++i) {
      if (std::strcmp(Fields[i].key, "MESSAGE") != 0 || !Fields[i].value) continue;
      const auto* Text = static_cast<const char*>(Fields[i].value);
      const std::string_view Message =
          Fields[i].length < 0 ? std::string_view(Text)
                               : std::string_view(Text, static_cast<std::size_t>(Fields[i].length));
      if (Message.find("failed to allocate") != std::string_view::npos) OutOfMemory();
    }
  }
  return g_log_writer_standard_streams(Level, Fields, Count, Data);
}

// What the reader wrote to standard error, as one line for a message: its first line that
// says something, printable ASCII only, shortened.
std::string Gist(std::string_view Complaints) {
  constexpr std::size_t kMaxGist = 160;
  std::string Line;
  bool More = false;
  for (std::size_t Start = 0; Start < Complaints.size();) {
    std::size_t End = Complaints.find('\n', Start);
    if (End == std::string_view::npos) End = Complaints.size();
    std::string_view Text = Complaints.substr(Start, End - Start);
    Start = End + 1;
    while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
    while (!Text.empty() && IsBlank(Text.back())) Text.remove_suffix(1);
    if (Text.empty()) continue;
    if (!Line.empty()) {
      More = true;
      break;
    }
    for (const char c : Text) Line.push_back(c >= 0x20 && c < 0x7f ? c : '?');
  }
  if (Line.size() > kMaxGist) {
    Line.resize(kMaxGist);
    More = true;
  }
  return More ? Line + " ..." : Line;
}

std::string Span(std::chrono::milliseconds Limit) {
  const long long Ms = Limit.count();
  return Ms % 1000 == 0 ? std::to_string(Ms / 1000) + " s" : std::to_string(Ms) + " ms";
}

TJetReply Outcome(const std::string& Reader, const std::string& FileName,
                  const TJetRequest& Request, std::chrono::milliseconds Limit,
                  std::uint64_t MemoryLimit, std::string& Complaints) {
  const auto Cpu = std::max<long long>(1, (Limit.count() + 999) / 1000);
  TJetReaderCall Call;
  Call.MemoryLimit = MemoryLimit;
  Call.CpuLimit = std::chrono::seconds(Cpu);
  Call.FileName = FileName;
  Call.Request = Request;
  std::vector<std::string> Arguments = JetReaderArguments(Call);
  Arguments.insert(Arguments.begin(), Reader);
  std::vector<char*> Argv;
  for (auto& Argument : Arguments) {
    // A command line cannot carry it; no name or text in the file holds one either.
    if (Argument.find('\0') != std::string::npos) return Fail("the request holds a null character");
    Argv.push_back(Argument.data());
  }
  Argv.push_back(nullptr);

  const auto CannotStart = [&](int Error) {
    if (Error == ENOENT)
      return Fail("the Access reader " + Quoted(Reader) + " is missing; reinstall Orvane");
    return Fail("the Access reader " + Quoted(Reader) +
                " cannot be started: " + std::strerror(Error));
  };
  // Close-on-exec: a process another thread starts meanwhile must not hold a write end, or
  // the end of the reader's output would never be seen.
  int Ends[2];
  if (::pipe2(Ends, O_CLOEXEC) != 0) return CannotStart(errno);
  TFd Out{Ends[0]};
  TFd OutWrite{Ends[1]};
  if (::pipe2(Ends, O_CLOEXEC) != 0) return CannotStart(errno);
  TFd Err{Ends[0]};
  TFd ErrWrite{Ends[1]};

  posix_spawn_file_actions_t Actions;
  posix_spawnattr_t Attributes;
  if (int Error = ::posix_spawn_file_actions_init(&Actions)) return CannotStart(Error);
  if (int Error = ::posix_spawnattr_init(&Attributes)) {
    ::posix_spawn_file_actions_destroy(&Actions);
    return CannotStart(Error);
  }
  sigset_t NoSignals;
  sigset_t AllSignals;
  sigemptyset(&NoSignals);
  sigfillset(&AllSignals);
  int Error = 0;
  for (const int Step :
       {::posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0),
        ::posix_spawn_file_actions_adddup2(&Actions, OutWrite.Fd, 1),
        ::posix_spawn_file_actions_adddup2(&Actions, ErrWrite.Fd, 2),
        // Descriptors others opened without close-on-exec stay here too.
        ::posix_spawn_file_actions_addclosefrom_np(&Actions, 3),
        // The calling thread's mask and signals this process ignores would reach the reader.
        ::posix_spawnattr_setsigmask(&Attributes, &NoSignals),
        ::posix_spawnattr_setsigdefault(&Attributes, &AllSignals),
        ::posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF)})
    if (!Error) Error = Step;
  pid_t Child = -1;
  if (!Error)
    Error = ::posix_spawn(&Child, Reader.c_str(), &Actions, &Attributes, Argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&Actions);
  ::posix_spawnattr_destroy(&Attributes);
  if (Error) return CannotStart(Error);
  OutWrite.Reset();
  ErrWrite.Reset();

  // The reply is small; more than this is no reply of ours. Of the complaints the first
  // ones say what went wrong.
  constexpr std::size_t kMaxReply = 1 << 16;
  constexpr std::size_t kMaxComplaints = 1 << 12;
  std::string Bytes;
  bool TimedOut = false;
  bool TooLong = false;
  int ReadError = 0;
  std::optional<int> Status;
  rusage Usage{};
  const auto Deadline = std::chrono::steady_clock::now() + Limit;
  for (;;) {
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
        Deadline - std::chrono::steady_clock::now());
    if (Left.count() <= 0) {
      TimedOut = true;
      break;
    }
    const int Wait = static_cast<int>(std::min<long long>(Left.count(), 1000));
    if (Out.Fd < 0 && Err.Fd < 0) {
      // Both ends closed: the reader ends now, or hangs on without them.
      int Ended = 0;
      const pid_t Done = ::wait4(Child, &Ended, WNOHANG, &Usage);
      if (Done == Child) {
        Status = Ended;
        break;
      }
      if (Done < 0 && errno != EINTR) {
        ReadError = errno;
        break;
      }
      ::poll(nullptr, 0, std::min(Wait, 10));
      continue;
    }
    pollfd Polls[2] = {{Out.Fd, POLLIN, 0}, {Err.Fd, POLLIN, 0}};
    const int Ready = ::poll(Polls, 2, Wait);
    if (Ready < 0 && errno == EINTR) continue;
    if (Ready < 0) {
      ReadError = errno;
      break;
    }
    for (auto [Fd, Poll] : {std::pair{&Out, &Polls[0]}, std::pair{&Err, &Polls[1]}}) {
      if (Fd->Fd < 0 || Poll->revents == 0) continue;
      char Buffer[4096];
      const ssize_t n = ::read(Fd->Fd, Buffer, sizeof Buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        ReadError = errno;
        break;
      }
      if (n == 0) {
        Fd->Reset();
      } else if (Fd == &Out) {
        if (Bytes.size() + static_cast<std::size_t>(n) > kMaxReply) {
          TooLong = true;
          break;
        }
        Bytes.append(Buffer, static_cast<std::size_t>(n));
      } else {
        Complaints.append(Buffer,
                          std::min(static_cast<std::size_t>(n),
                                   kMaxComplaints - std::min(kMaxComplaints, Complaints.size())));
      }
    }
    if (TooLong || ReadError) break;
  }
  // Whatever stopped the reading before the reader ended, it may still run: waiting for it
  // unkilled could block for good.
  if (!Status) {
    ::kill(Child, SIGKILL);
    int Ended = 0;
    while (::wait4(Child, &Ended, 0, &Usage) < 0 && errno == EINTR) {
    }
  }

  const auto TookTooLong = [&] {
    return Fail("reading it took longer than " + Span(Limit) + "; the file may be damaged");
  };
  const auto NeededTooMuch = [&] {
    return Fail("reading it needed more than " + std::to_string(MemoryLimit >> 20) +
                " MB of memory; the file may be damaged");
  };
  if (TimedOut) return TookTooLong();
  if (TooLong) return Fail("the Access reader gave no answer");
  if (ReadError)
    return Fail(std::string("the Access reader's answer cannot be read: ") +
                std::strerror(ReadError));
  if (WIFSIGNALED(*Status)) {
    const int Signal = WTERMSIG(*Status);
    // ru_maxrss is no help for memory: it counts this process's pages, which the reader
    // shared until its exec.
    const auto Used = std::chrono::seconds(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec);
    if (Signal == SIGXCPU || (Signal == SIGKILL && Used >= Call.CpuLimit)) return TookTooLong();
    return Fail("the Access reader crashed on it (signal " + std::to_string(Signal) +
                "); the file may be damaged");
  }
  if (WIFEXITED(*Status) && WEXITSTATUS(*Status) == kJetReaderOutOfMemory) return NeededTooMuch();
  if (!WIFEXITED(*Status) || WEXITSTATUS(*Status) != 0)
    return Fail("the Access reader failed on it (exit code " +
                std::to_string(WIFEXITED(*Status) ? WEXITSTATUS(*Status) : -1) +
                "); the file may be damaged");
  if (auto Reply = DecodeJetReply(Bytes)) return *Reply;
  return Fail("the Access reader gave no answer");
}

}  // namespace

std::vector<std::string> JetReaderArguments(const TJetReaderCall& Call) {
  std::vector<std::string> Arguments{std::to_string(Call.MemoryLimit),
                                     std::to_string(Call.CpuLimit.count()), Call.FileName};
  if (Call.Request.Table.empty()) return Arguments;
  Arguments.push_back(Call.Request.Table);
  if (!Call.Request.Query) return Arguments;
  Arguments.push_back(Call.Request.LongitudeColumn);
  Arguments.push_back(Call.Request.LatitudeColumn);
  if (Call.Request.Query->Column.empty()) return Arguments;
  Arguments.push_back(Call.Request.Query->Column);
  Arguments.push_back(Call.Request.Query->Value);
  return Arguments;
}

std::optional<TJetReaderCall> ParseJetReaderArguments(std::span<const char* const> Arguments) {
  const std::size_t n = Arguments.size();
  if (n != 3 && n != 4 && n != 6 && n != 8) return std::nullopt;
  const auto Memory = UnsignedNumber(Arguments[0]);
  const auto Cpu = UnsignedNumber(Arguments[1]);
  if (!Memory || !Cpu || *Cpu == 0 || *Cpu > 1'000'000) return std::nullopt;
  TJetReaderCall Call;
  Call.MemoryLimit = *Memory;
  Call.CpuLimit = std::chrono::seconds(static_cast<long long>(*Cpu));
  Call.FileName = Arguments[2];
  if (n == 3) return Call;
  Call.Request.Table = Arguments[3];
  if (Call.Request.Table.empty()) return std::nullopt;
  if (n == 4) return Call;
  Call.Request.LongitudeColumn = Arguments[4];
  Call.Request.LatitudeColumn = Arguments[5];
  Call.Request.Query = TJetQuery{Call.Request.Table, "", ""};
  if (n == 8) {
    Call.Request.Query->Column = Arguments[6];
    Call.Request.Query->Value = Arguments[7];
    if (Call.Request.Query->Column.empty()) return std::nullopt;
  }
  return Call;
}

std::string EncodeJetReply(const TJetReply& Reply) {
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

std::optional<TJetReply> DecodeJetReply(std::string_view Bytes) {
  if (Bytes.empty()) return std::nullopt;
  TJetReply Reply;
  switch (Bytes[0]) {
    case 0:
      // An error says why.
      if (Bytes.size() == 1) return std::nullopt;
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

std::optional<std::string> LimitJetReader(std::uint64_t MemoryLimit,
                                          std::chrono::seconds CpuLimit) {
  // RLIMIT_DATA counts what the reader allocates (heap, anonymous maps), not the libraries
  // it maps, so the limit is the memory the message speaks of.
  const std::uint64_t Held = DataBytes();
  const rlim_t Memory = MemoryLimit > RLIM_INFINITY - 1 - Held
                            ? RLIM_INFINITY - 1
                            : static_cast<rlim_t>(Held + MemoryLimit);
  // The hard CPU limit a second later kills a reader that survives SIGXCPU.
  const auto Cpu = static_cast<rlim_t>(std::max<long long>(1, CpuLimit.count()));
  const struct {
    int Resource;
    rlimit Limit;
    const char* What;
  } Limits[] = {{RLIMIT_CORE, {0, 0}, "core file"},
                {RLIMIT_CPU, {Cpu, Cpu + 1}, "CPU time"},
                {RLIMIT_DATA, {Memory, Memory}, "memory"}};
  for (const auto& L : Limits)
    if (::setrlimit(L.Resource, &L.Limit) != 0)
      return std::string("its ") + L.What + " cannot be limited: " + std::strerror(errno);
  std::set_new_handler(OutOfMemory);
  g_log_set_writer_func(GlibWriter, nullptr, nullptr);
  // Half of what it may take: enough to tell from a crash of a reader that holds little.
  GCrashIsOutOfMemory = Held + std::max<std::uint64_t>(MemoryLimit / 2, 1);
  // On a stack of its own: a crash may come from a stack that is used up.
  static char CrashStack[1 << 16];
  stack_t Stack{};
  Stack.ss_sp = CrashStack;
  Stack.ss_size = sizeof CrashStack;
  struct sigaction Action {};
  Action.sa_handler = OnCrash;
  Action.sa_flags = SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&Action.sa_mask);
  if (::sigaltstack(&Stack, nullptr) != 0 || ::sigaction(SIGSEGV, &Action, nullptr) != 0 ||
      ::sigaction(SIGBUS, &Action, nullptr) != 0)
    return std::string("its crashes cannot be watched: ") + std::strerror(errno);
  return std::nullopt;
}

std::string DefaultJetReader() {
  if (const char* Named = std::getenv(kJetReaderVariable); Named && *Named) return Named;
  std::error_code Error;
  const auto Exe = std::filesystem::read_symlink("/proc/self/exe", Error);
  if (Error) return kJetReaderFile;
  return (Exe.parent_path() / kJetReaderFile).string();
}

TJetReply ReadIsolated(const std::string& Reader, const std::string& FileName,
                       const TJetRequest& Request, std::chrono::milliseconds Limit,
                       std::uint64_t MemoryLimit) {
  std::string Complaints;
  TJetReply Reply = Outcome(Reader, FileName, Request, Limit, MemoryLimit, Complaints);
  if (!Reply.Ok && !Gist(Complaints).empty())
    Reply.Error += "; the reader said: " + Gist(Complaints);
  return Reply;
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

TMdbLoggerDatabase::TMdbLoggerDatabase(std::chrono::milliseconds TimeLimit, std::string Reader)
    : FTimeLimit(TimeLimit), FReader(Reader.empty() ? DefaultJetReader() : std::move(Reader)) {}

void TMdbLoggerDatabase::Close() noexcept { FOpen = false; }

TJetReply TMdbLoggerDatabase::Run(const TJetRequest& Request) const {
  return ReadIsolated(FReader, FFileName, Request, FTimeLimit);
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
