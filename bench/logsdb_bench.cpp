// The start-up's read of the home position (open, check the table "Aconfig", run the logger
// link's query) from a 50 MB logs.mdb: the Access file through libmdb against the SQLite
// stand-in holding the same rows. The log looked for is the first row, or the last (a scan
// of the whole table). Both files are made once per run in a scratch folder: the Access
// one by the JET4 writer, the SQLite one through QtSql.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/qt/loggerdatabase.h"
#include "tools/jetwriter/jetwriter.h"

namespace {

constexpr std::uintmax_t kTargetBytes = 50u << 20;

struct TFiles {
  QTemporaryDir Folder;
  std::string Access;
  std::string Sqlite;
  std::string LastLog;
  std::size_t Rows = 0;
};

std::string LogName(std::size_t i) { return "Log " + std::to_string(i) + " portable"; }
double Longitude(std::size_t i) { return -180.0 + static_cast<double>(i % 36000) / 100.0; }
double Latitude(std::size_t i) { return -90.0 + static_cast<double>(i % 18000) / 100.0; }

// The rows: "Home station" first, then numbered logs until the Access file reaches 50 MB.
std::unique_ptr<TFiles> MakeFiles() {
  auto Files = std::make_unique<TFiles>();
  if (!Files->Folder.isValid()) throw std::runtime_error("no scratch folder");
  Files->Access = Files->Folder.filePath("access.mdb").toStdString();
  Files->Sqlite = Files->Folder.filePath("sqlite.mdb").toStdString();

  orvane::jet::TJet4Writer Writer;
  const std::size_t Table = Writer.AddTable("Aconfig", {{"LogName", orvane::jet::TType::Text, 50},
                                                        {"Longitude", orvane::jet::TType::Double},
                                                        {"Latitude", orvane::jet::TType::Double}});
  std::size_t Rows = 0;
  Writer.AddRow(Table, {std::string("Home station"), -16.37, 48.21});
  for (++Rows;; ++Rows) {
    Writer.AddRow(Table, {LogName(Rows), Longitude(Rows), Latitude(Rows)});
    if (Rows % 8000 == 0 && Writer.Size() >= kTargetBytes) break;
  }
  Files->Rows = Rows + 1;
  Files->LastLog = LogName(Rows);
  Writer.Save(Files->Access);

  {
    QSqlDatabase Db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
    Db.setDatabaseName(QString::fromStdString(Files->Sqlite));
    if (!Db.open()) throw std::runtime_error(Db.lastError().text().toStdString());
    QSqlQuery Q(Db);
    Q.exec(QStringLiteral("CREATE TABLE Aconfig (LogName TEXT, Longitude REAL, Latitude REAL)"));
    Db.transaction();
    Q.prepare(QStringLiteral("INSERT INTO Aconfig VALUES (?, ?, ?)"));
    auto Insert = [&](const std::string& Name, double Lon, double Lat) {
      Q.addBindValue(QString::fromStdString(Name));
      Q.addBindValue(Lon);
      Q.addBindValue(Lat);
      if (!Q.exec()) throw std::runtime_error(Q.lastError().text().toStdString());
    };
    Insert("Home station", -16.37, 48.21);
    for (std::size_t i = 1; i < Files->Rows; ++i) Insert(LogName(i), Longitude(i), Latitude(i));
    Db.commit();
    Q.finish();
    Db.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("make"));
  std::fprintf(stderr, "logs.mdb: %zu rows; Access %.1f MB, SQLite %.1f MB\n", Files->Rows,
               std::filesystem::file_size(Files->Access) / 1048576.0,
               std::filesystem::file_size(Files->Sqlite) / 1048576.0);
  return Files;
}

TFiles& Files() {
  static const std::unique_ptr<TFiles> Made = MakeFiles();
  return *Made;
}

// What the logger link's start-up does with the database.
void ReadHome(benchmark::State& State, bool Access, bool Last) {
  const TFiles& F = Files();
  const std::string& File = Access ? F.Access : F.Sqlite;
  // The logger link's query (app/loggerlink.cpp).
  const std::string Sql =
      "SELECT * \nFROM Aconfig\nWHERE LogName = '" + (Last ? F.LastLog : "Home station") + "'";
  platform::TLoggerFileDatabase Db;
  for (auto _ : State) {
    Db.Open(File);
    Db.CheckTable("Aconfig");
    const auto Position = Db.QueryPosition(Sql);
    Db.Close();
    if (!Position) State.SkipWithError("the log was not found");
    benchmark::DoNotOptimize(Position);
  }
  State.counters["rows"] = static_cast<double>(F.Rows);
}

void BM_HomeFirstRow_Access(benchmark::State& s) { ReadHome(s, true, false); }
void BM_HomeFirstRow_Sqlite(benchmark::State& s) { ReadHome(s, false, false); }
void BM_HomeLastRow_Access(benchmark::State& s) { ReadHome(s, true, true); }
void BM_HomeLastRow_Sqlite(benchmark::State& s) { ReadHome(s, false, true); }

BENCHMARK(BM_HomeFirstRow_Access)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HomeFirstRow_Sqlite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HomeLastRow_Access)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HomeLastRow_Sqlite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  int QtArgc = 1;
  QCoreApplication App(QtArgc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
