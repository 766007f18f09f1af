#include "platform/qt/mdbdatabase.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/qt/loggerdatabase.h"

namespace {

using platform::JetTextEquals;
using platform::ParseJetQuery;
using platform::ReadJetDatabase;
using platform::TJetQuery;
using platform::TJetReply;
using platform::TJetRequest;
using platform::TMdbLoggerDatabase;

// An Access-made JET4 file: table DateTest, IDCol Long Integer, three Date/Time columns,
// LongTextCol Memo, ShortTextCol Text; six rows (see tests/data/mdb/README.md).
const std::string kDateTest = ORVANE_TEST_DATA_DIR "/mdb/DateTestDatabase.mdb";
constexpr std::size_t kPage = 4096;

std::vector<std::uint8_t> Bytes(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

template <class TAction>
std::string Thrown(TAction&& Action) {
  try {
    Action();
  } catch (const std::runtime_error& Error) {
    return Error.what();
  }
  return "";
}

// A request for the first DateTest row whose Column equals Value, reading two columns as
// its numbers.
TJetRequest Where(const char* Column, const char* Value, const char* First = "IDCol",
                  const char* Second = "IDCol") {
  TJetRequest Request;
  Request.Table = "DateTest";
  Request.Query = TJetQuery{"DateTest", Column, Value};
  Request.LongitudeColumn = First;
  Request.LatitudeColumn = Second;
  return Request;
}

TEST(JetQuery, ParsesTheLoggerLinksQueryAndNothingElse) {
  const auto Q = ParseJetQuery("SELECT * \r\nFROM Aconfig\r\nWHERE LogName = 'O''Brien'");
  ASSERT_TRUE(Q);
  EXPECT_EQ(Q->Table, "Aconfig");
  EXPECT_EQ(Q->Column, "LogName");
  EXPECT_EQ(Q->Value, "O'Brien");
  const auto B = ParseJetQuery("select*from [My Table] where [Log Name]='';");
  ASSERT_TRUE(B);
  EXPECT_EQ(B->Table, "My Table");
  EXPECT_EQ(B->Column, "Log Name");
  EXPECT_EQ(B->Value, "");
  const auto All = ParseJetQuery("SELECT * FROM Aconfig");
  ASSERT_TRUE(All);
  EXPECT_EQ(All->Column, "");

  for (const char* Bad :
       {"", "SELECT LogName FROM Aconfig", "SELECT * FROM", "SELECT * FROMAconfig",
        "SELECT * FROM Aconfig WHERE LogName = 'open", "SELECT * FROM Aconfig WHERE LogName",
        "SELECT * FROM Aconfig WHERE LogName = 'a' OR 1 = 1", "DELETE FROM Aconfig",
        "SELECT * FROM [] WHERE a = 'b'"})
    EXPECT_FALSE(ParseJetQuery(Bad)) << Bad;
}

TEST(JetQuery, TextComparesAsJetDoes) {
  struct TCase {
    const char* A;
    const char* B;
    bool Equal;
  };
  const TCase Cases[] = {
      {"Home station", "home STATION", true},
      {"Home", "Home   ", true},
      {"Home  ", "Home", true},
      {" Home", "Home", false},
      {"Home", "Homes", false},
      {"K\xc3\xb6ln", "K\xc3\x96LN", true},  // Köln
      {"", "   ", true},
      {"Home\t", "Home", false},
  };
  for (const auto& C : Cases) EXPECT_EQ(JetTextEquals(C.A, C.B), C.Equal) << C.A << "|" << C.B;
}

TEST(JetFile, ReadsTheRealAccessFile) {
  struct TCase {
    TJetRequest Request;
    std::optional<double> Id;
  };
  const TCase Cases[] = {
      {Where("ShortTextCol", "hello"), 1},                 // Text, letter case
      {Where("ShortTextCol", "NO NEW LINE   "), 6},        // trailing blanks
      {Where("LongTextCol", "year 9999"), 2},              // Memo
      {Where("longtextcol", "New line\r\nin field"), 6},   // a line break in a memo
      {Where("ShortTextCol", "Year 9999"), std::nullopt},  // no such row
      {Where("ShortTextCol", "Hell"), std::nullopt},
  };
  for (const auto& C : Cases) {
    const TJetReply Reply = ReadJetDatabase(kDateTest, C.Request);
    ASSERT_TRUE(Reply.Ok) << Reply.Error;
    ASSERT_EQ(Reply.Position.has_value(), C.Id.has_value()) << C.Request.Query->Value;
    if (C.Id) {
      EXPECT_EQ(Reply.Position->Longitude, *C.Id);
      EXPECT_EQ(Reply.Position->Latitude, *C.Id);
    }
  }
  // Without WHERE, the first row; and the table found without regard to letter case.
  TJetRequest First = Where("", "");
  First.Table = "datetest";
  First.Query->Column.clear();
  const TJetReply Reply = ReadJetDatabase(kDateTest, First);
  ASSERT_TRUE(Reply.Ok && Reply.Position) << Reply.Error;
  EXPECT_EQ(Reply.Position->Longitude, 1);
}

TEST(JetFile, RefusesWhatIsNoNumberAndWhatIsMissing) {
  struct TCase {
    TJetRequest Request;
    std::vector<std::string> Parts;  // each in the message
  };
  TJetRequest NoTable = Where("ShortTextCol", "Hello");
  NoTable.Table = "Aconfig";
  const TCase Cases[] = {
      {Where("ShortTextCol", "No new line", "IDCol", "ShortTextCol"),
       {"\"ShortTextCol\"", "\"DateTest\"", "row 6", "\"No new line\""}},
      {Where("IDCol", "1"), {"\"IDCol\"", "no text"}},
      {Where("ShortTextCol", "Hello", "DateCol"), {"\"DateCol\"", "row 1", "Date/Time"}},
      {Where("ShortTextCol", "Hello", "Longitude"), {"no column \"Longitude\""}},
      {Where("LogName", "Hello"), {"no column \"LogName\""}},
      {NoTable, {"\"Aconfig\"", "does not exist"}},
  };
  for (const auto& C : Cases) {
    const TJetReply Reply = ReadJetDatabase(kDateTest, C.Request);
    EXPECT_FALSE(Reply.Ok);
    for (const auto& Part : C.Parts)
      EXPECT_NE(Reply.Error.find(Part), std::string::npos) << Reply.Error;
  }
}

// Every cut and every damage ends in an answer: an error, or the right row where what
// is left still holds it.
TEST(JetFile, TruncatedAndDamagedCopiesFailCleanly) {
  const std::vector<std::uint8_t> Real = Bytes(kDateTest);
  ASSERT_EQ(Real.size(), 67 * kPage);
  auto Check = [&](std::vector<std::uint8_t> Copy, const std::string& What, bool MustFail) {
    const TJetReply Reply = ReadJetDatabase(Copy, Where("ShortTextCol", "Hello"));
    if (MustFail) {
      EXPECT_FALSE(Reply.Ok) << What;
    }
    if (!Reply.Ok) {
      EXPECT_FALSE(Reply.Error.empty()) << What;
    } else if (Reply.Position) {
      EXPECT_EQ(Reply.Position->Longitude, 1) << What;
    }
  };
  for (const std::size_t Size : {std::size_t{0}, std::size_t{1}, std::size_t{20}, kPage - 1, kPage,
                                 2 * kPage + 100, 3 * kPage, 18 * kPage, 19 * kPage})
    Check({Real.begin(), Real.begin() + static_cast<std::ptrdiff_t>(Size)},
          "cut at " + std::to_string(Size), Size <= 3 * kPage);
  for (std::size_t Size = 20 * kPage; Size < Real.size(); Size += 7 * kPage + 333)
    Check({Real.begin(), Real.begin() + static_cast<std::ptrdiff_t>(Size)},
          "cut at " + std::to_string(Size), false);

  struct TDamage {
    std::size_t Offset;
    std::uint8_t Value;
    const char* What;
  };
  const TDamage Damages[] = {
      {0x00, 0x01, "header page not of type 0"},
      {0x14, 0x7f, "unknown Jet version"},
      {2 * kPage, 0x01, "catalog definition not of type 2"},
      {2 * kPage + 45, 0xff, "catalog column count"},
  };
  for (const auto& D : Damages) {
    std::vector<std::uint8_t> Copy = Real;
    Copy[D.Offset] = D.Value;
    Check(Copy, D.What, true);
  }
  // Files libmdb crashes on unless the page maps are checked first.
  for (const auto& [Name, Part] :
       {std::pair{"libmdb-crash-table.mdb", "the page map of the table \"Aconfig\" is empty"},
        std::pair{"libmdb-crash-catalog.mdb", "catalog of tables cannot be read"}}) {
    TJetRequest Request = Where("LogName", "Home station", "Longitude", "Latitude");
    Request.Table = Request.Query->Table = "Aconfig";
    const TJetReply Reply =
        ReadJetDatabase(std::string(ORVANE_TEST_DATA_DIR "/mdb/") + Name, Request);
    EXPECT_FALSE(Reply.Ok) << Name;
    EXPECT_NE(Reply.Error.find(Part), std::string::npos) << Reply.Error;
  }

  // A header page of noise after the signature.
  std::vector<std::uint8_t> Noise = Real;
  for (std::size_t i = 0x18; i < kPage; ++i) Noise[i] = static_cast<std::uint8_t>(i * 131 + 7);
  Check(Noise, "header page of noise", false);
}

TEST(MdbLoggerDatabase, ReadsInAChildAndNamesTheFile) {
  TMdbLoggerDatabase Db;
  Db.Open(kDateTest);
  Db.CheckTable("DateTest");
  Db.CheckTable("DATETEST");
  std::string Message = Thrown([&] { Db.CheckTable("Aconfig"); });
  EXPECT_NE(Message.find("\"Aconfig\""), std::string::npos) << Message;
  EXPECT_NE(Message.find(kDateTest), std::string::npos) << Message;
  Message = Thrown([&] { (void)Db.QueryPosition("SELECT * FROM DateTest WHERE IDCol = '1'"); });
  EXPECT_NE(Message.find(kDateTest), std::string::npos) << Message;
  Message = Thrown([&] { (void)Db.QueryPosition("SELECT * FROM DateTest WHERE IDCol = 1"); });
  EXPECT_NE(Message.find("SELECT * FROM table"), std::string::npos) << Message;
  Db.Close();
  EXPECT_NE(Thrown([&] { Db.CheckTable("DateTest"); }), "");

  QTemporaryDir Folder;
  const std::string Missing = Folder.filePath(QStringLiteral("logs.mdb")).toStdString();
  Message = Thrown([&] { Db.Open(Missing); });
  EXPECT_NE(Message.find("does not exist"), std::string::npos) << Message;
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Missing)));

  // libmdb allocates without end on this file: the reader stops at its memory limit.
  const std::string Greedy = ORVANE_TEST_DATA_DIR "/mdb/libmdb-memory.mdb";
  Message = Thrown([&] { Db.Open(Greedy); });
  EXPECT_NE(Message.find("needed more than 512 MB of memory"), std::string::npos) << Message;
  EXPECT_NE(Message.find(Greedy), std::string::npos) << Message;

  // A reader that outlives its time is stopped and reported.
  TMdbLoggerDatabase Hasty(std::chrono::milliseconds(0));
  Message = Thrown([&] { Hasty.Open(kDateTest); });
  EXPECT_NE(Message.find("took longer"), std::string::npos) << Message;
}

// The reader program's side of the pipes and limits, through stand-in readers that
// misbehave as the file's name asks. Each case can end by one limit only: the time limit
// is far beyond what the others need, except where it is the one tested.
TEST(MdbLoggerDatabase, AReaderThatCrashesFailsOrHangsIsAnError) {
  const std::string StandIn = ORVANE_MDBREAD_STANDIN;
  constexpr std::chrono::milliseconds kNever{60000};
  constexpr std::uint64_t kMemory = std::uint64_t{64} << 20;
  struct TCase {
    const char* Mode;
    std::chrono::milliseconds Limit;
    std::vector<std::string> Parts;  // each in the error; none for the position passed on
  };
  const TCase Cases[] = {
      {"found", kNever, {}},
      {"complains",
       kNever,
       {"its catalog of tables cannot be read; the reader said: mdb_read_pg: offset 147456 is "
        "beyond EOF? ..."}},
      {"noisy", kNever, {"it is damaged; the reader said: !!!!", "!!! ..."}},
      {"crashes", kNever, {"the Access reader crashed on it (signal 6); the file may be damaged"}},
      {"exits", kNever, {"the Access reader failed on it (exit code 3); the file may be damaged"}},
      {"hangs",
       std::chrono::milliseconds(1500),
       {"reading it took longer than 1500 ms; the file may be damaged"}},
      // Stopped by its CPU limit or the clock, whichever comes first: both say the same.
      {"spins", std::chrono::milliseconds(3000), {"reading it took longer than 3 s"}},
      {"greedy", kNever, {"reading it needed more than 64 MB of memory; the file may be damaged"}},
      {"greedy-crashes", kNever, {"reading it needed more than 64 MB of memory"}},
      {"garbage", kNever, {"the Access reader gave no answer"}},
      {"oversized", kNever, {"the Access reader gave no answer"}},
      {"unknown", kNever, {"the Access reader failed on it (exit code 2)"}},
  };
  for (const auto& C : Cases) {
    const TJetReply Reply =
        platform::ReadIsolated(StandIn, std::string("/nowhere/") + C.Mode, {}, C.Limit, kMemory);
    EXPECT_EQ(Reply.Ok, C.Parts.empty()) << C.Mode << ": " << Reply.Error;
    for (const auto& Part : C.Parts)
      EXPECT_NE(Reply.Error.find(Part), std::string::npos) << C.Mode << ": " << Reply.Error;
    if (C.Parts.empty()) {
      ASSERT_TRUE(Reply.Position) << C.Mode;
      EXPECT_EQ(Reply.Position->Longitude, -16.37);
      EXPECT_EQ(Reply.Position->Latitude, 48.21);
    }
  }

  // The limits the reader sets on itself: the time limit in whole seconds, rounded up, and
  // the memory limit beyond what it held at start.
  const TJetReply Limits = platform::ReadIsolated(StandIn, "/nowhere/limits", {},
                                                  std::chrono::milliseconds(2500), kMemory);
  unsigned long long Core = 1, CoreMax = 1, Cpu = 0, CpuMax = 0, Data = 0, DataMax = 0;
  ASSERT_EQ(std::sscanf(Limits.Error.c_str(), "core %llu/%llu cpu %llu/%llu data %llu/%llu", &Core,
                        &CoreMax, &Cpu, &CpuMax, &Data, &DataMax),
            6)
      << Limits.Error;
  EXPECT_EQ(Core, 0u);
  EXPECT_EQ(CoreMax, 0u);
  EXPECT_EQ(Cpu, 3u);
  EXPECT_EQ(CpuMax, 4u);
  EXPECT_GE(Data, kMemory);
  EXPECT_LT(Data, kMemory + (std::uint64_t{64} << 20));
  EXPECT_EQ(DataMax, Data);
}

TEST(MdbLoggerDatabase, FindsItsReaderOrSaysItIsMissing) {
  // Beside the executable, unless the environment names another.
  const std::string Beside = platform::DefaultJetReader();
  char Exe[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", Exe, sizeof Exe - 1), 0);
  const std::string Folder(Exe, std::string_view(Exe).rfind('/'));
  EXPECT_EQ(Beside, Folder + "/orvane-mdbread");
  ASSERT_EQ(::setenv("ORVANE_MDBREAD", ORVANE_MDBREAD_STANDIN, 1), 0);
  EXPECT_EQ(platform::DefaultJetReader(), ORVANE_MDBREAD_STANDIN);
  // Taken when the database is made.
  TMdbLoggerDatabase Named;
  ASSERT_EQ(::unsetenv("ORVANE_MDBREAD"), 0);
  EXPECT_EQ(platform::DefaultJetReader(), Beside);
  QTemporaryDir Folder2;
  const std::string Found = Folder2.filePath(QStringLiteral("found")).toStdString();
  std::ofstream(Found) << "x";
  Named.Open(Found);
  const auto Position = Named.QueryPosition("SELECT * FROM Aconfig");
  ASSERT_TRUE(Position);
  EXPECT_EQ(Position->Latitude, 48.21);

  const std::string Missing = Folder2.filePath(QStringLiteral("orvane-mdbread")).toStdString();
  TMdbLoggerDatabase Db(TMdbLoggerDatabase::kTimeLimit, Missing);
  const std::string Message = Thrown([&] { Db.Open(kDateTest); });
  EXPECT_EQ(Message, "cannot open the logger database " + ('"' + kDateTest + '"') +
                         ": the Access reader \"" + Missing + "\" is missing; reinstall Orvane");
  // Not a program at all.
  TMdbLoggerDatabase NotAProgram(TMdbLoggerDatabase::kTimeLimit, kDateTest);
  EXPECT_NE(Thrown([&] { NotAProgram.Open(kDateTest); }).find("cannot be started"),
            std::string::npos);
}

TEST(LoggerFileDatabase, TheHeaderChoosesTheReader) {
  QTemporaryDir Folder;
  auto Write = [&](const char* Name, const QByteArray& Content) {
    const QString Path = Folder.filePath(QString::fromUtf8(Name));
    QFile Out(Path);
    EXPECT_TRUE(Out.open(QIODevice::WriteOnly));
    Out.write(Content);
    return Path.toStdString();
  };
  platform::TLoggerFileDatabase Db;
  // An Access file under a name that says otherwise.
  const std::string Renamed = Write("logs.sqlite", [] {
    QFile In(QString::fromStdString(kDateTest));
    EXPECT_TRUE(In.open(QIODevice::ReadOnly));
    return In.readAll();
  }());
  Db.Open(Renamed);
  EXPECT_EQ(Db.Format(), platform::TDatabaseFormat::Jet);
  Db.CheckTable("DateTest");
  EXPECT_NE(Thrown([&] { (void)Db.QueryPosition("SELECT * FROM DateTest"); }).find("Longitude"),
            std::string::npos);

  // An ACE header goes to libmdb too, which then says what is wrong with the file.
  const std::string Ace =
      Write("ace.mdb", QByteArray("\x00\x01\x00\x00Standard ACE DB\x00", 20) + QByteArray(100, 0));
  std::string Message = Thrown([&] { Db.Open(Ace); });
  EXPECT_NE(Message.find(Ace), std::string::npos) << Message;
  EXPECT_EQ(Message.find("neither"), std::string::npos) << Message;

  for (const auto& Content : {QByteArray(), QByteArray("Standard Jet DB"), QByteArray(4096, 'x'),
                              QByteArray("SQLite format 3")}) {
    const std::string Other = Write("other.mdb", Content);
    Message = Thrown([&] { Db.Open(Other); });
    EXPECT_NE(Message.find("neither an Access (Jet/ACE) nor an SQLite database"), std::string::npos)
        << Message;
    EXPECT_EQ(Db.Format(), platform::TDatabaseFormat::Unknown);
  }
  Message = Thrown([&] { Db.Open(Folder.filePath("none.mdb").toStdString()); });
  EXPECT_NE(Message.find("does not exist"), std::string::npos) << Message;
  EXPECT_FALSE(QFile::exists(Folder.filePath("none.mdb")));
}

}  // namespace
