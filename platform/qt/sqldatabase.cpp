#include "platform/qt/sqldatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <atomic>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace platform {

namespace {

constexpr char kSqliteHeader[] = "SQLite format 3";  // 16 bytes with its null

std::string Quoted(const std::string& Text) { return "\"" + Text + "\""; }

std::string Text(const QString& Value) { return Value.toUtf8().toStdString(); }

QString NextConnectionName() {
  static std::atomic<unsigned long long> Counter{0};
  return QStringLiteral("orvane-logger-database-%1").arg(++Counter);
}

double ReadNumber(const QSqlQuery& Query, int Index, const char* Column) {
  const QVariant Value = Query.value(Index);
  // An empty field reads as 0, as the logger's own field access does.
  if (Value.isNull()) return 0;
  bool Ok = false;
  const double Number = Value.toDouble(&Ok);
  if (!Ok || !std::isfinite(Number))
    throw std::runtime_error("the logger database's column \"" + std::string(Column) +
                             "\" holds no number: \"" + Text(Value.toString()) + "\"");
  return Number;
}

}  // namespace

TSqlLoggerDatabase::TSqlLoggerDatabase() : FConnection(NextConnectionName()) {}

TSqlLoggerDatabase::~TSqlLoggerDatabase() { Close(); }

void TSqlLoggerDatabase::Close() noexcept {
  if (!FOpen) return;
  FOpen = false;
  try {
    {
      // Every handle of the connection must be gone before it is removed.
      QSqlDatabase Db = QSqlDatabase::database(FConnection, false);
      Db.close();
    }
    QSqlDatabase::removeDatabase(FConnection);
  } catch (...) {
  }
}

void TSqlLoggerDatabase::Open(const std::string& FileName) {
  Close();
  const QString Path = QString::fromUtf8(FileName.data(), static_cast<qsizetype>(FileName.size()));
  // QSQLITE would create a missing file as an empty database.
  if (!QFileInfo(Path).isFile())
    throw std::runtime_error("cannot open the logger database " + Quoted(FileName) +
                             ": the file does not exist");
  {
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly))
      throw std::runtime_error("cannot open the logger database " + Quoted(FileName) + ": " +
                               Text(File.errorString()));
    const QByteArray Header = File.read(sizeof kSqliteHeader);
    if (Header.size() != static_cast<qsizetype>(sizeof kSqliteHeader) ||
        std::memcmp(Header.constData(), kSqliteHeader, sizeof kSqliteHeader) != 0)
      throw std::runtime_error("cannot open the logger database " + Quoted(FileName) +
                               ": it is not an SQLite file");
  }
  {
    QSqlDatabase Db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FConnection);
    FOpen = true;  // the connection exists from here on and Close must remove it
    Db.setDatabaseName(Path);
    Db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (Db.open()) {
      FFileName = FileName;
      return;
    }
    const std::string Why = Text(Db.lastError().text());
    Db = QSqlDatabase();
    Close();
    throw std::runtime_error("cannot open the logger database " + Quoted(FileName) + ": " + Why);
  }
}

void TSqlLoggerDatabase::CheckTable(std::string_view Table) {
  const std::string Name(Table);
  if (!FOpen)
    throw std::runtime_error("cannot open the table " + Quoted(Name) +
                             ": the logger database is not open");
  QSqlDatabase Db = QSqlDatabase::database(FConnection, false);
  const QString Identifier = Db.driver()->escapeIdentifier(
      QString::fromUtf8(Name.data(), static_cast<qsizetype>(Name.size())), QSqlDriver::TableName);
  QSqlQuery Query(Db);
  Query.setForwardOnly(true);
  // Reading one row shows that the table exists and can be read.
  if (!Query.exec(QStringLiteral("SELECT * FROM %1 LIMIT 1").arg(Identifier)) ||
      (!Query.next() && Query.lastError().isValid()))
    throw std::runtime_error("cannot open the table " + Quoted(Name) + " of the logger database " +
                             Quoted(FFileName) + ": " + Text(Query.lastError().text()));
}

std::optional<TLoggerDatabase::TStoredPosition> TSqlLoggerDatabase::QueryPosition(
    const std::string& Sql) {
  if (!FOpen) throw std::runtime_error("cannot run a query: the logger database is not open");
  QSqlQuery Query(QSqlDatabase::database(FConnection, false));
  Query.setForwardOnly(true);
  auto Fail = [&](const std::string& Why) {
    return std::runtime_error("the query of the logger database " + Quoted(FFileName) +
                              " failed: " + Why);
  };
  if (!Query.exec(QString::fromUtf8(Sql.data(), static_cast<qsizetype>(Sql.size()))))
    throw Fail(Text(Query.lastError().text()));
  const QSqlRecord Record = Query.record();
  const int Longitude = Record.indexOf(QStringLiteral("Longitude"));
  const int Latitude = Record.indexOf(QStringLiteral("Latitude"));
  if (Longitude < 0) throw Fail("it has no column \"Longitude\"");
  if (Latitude < 0) throw Fail("it has no column \"Latitude\"");
  if (!Query.next()) {
    if (Query.lastError().isValid()) throw Fail(Text(Query.lastError().text()));
    return std::nullopt;
  }
  TStoredPosition Position;
  Position.Longitude = ReadNumber(Query, Longitude, "Longitude");
  Position.Latitude = ReadNumber(Query, Latitude, "Latitude");
  return Position;
}

}  // namespace platform
