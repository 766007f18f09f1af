#include "platform/qt/sqldatabase.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <stdexcept>
#include <string>

namespace {

using platform::TSqlLoggerDatabase;

// The message of what Action throws, or "" when it throws nothing.
template <class TAction>
std::string Thrown(TAction&& Action) {
  try {
    Action();
  } catch (const std::runtime_error& Error) {
    return Error.what();
  }
  return "";
}

class SqlLoggerDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Folder.isValid());
    File = Folder.filePath(QStringLiteral("logs.mdb")).toStdString();
    // The stand-in as the simulator ships it (longitude positive to the west), and a table
    // without column types, which keeps numbers written as text as text.
    Make(File, {"CREATE TABLE Aconfig (LogName TEXT, Longitude REAL, Latitude REAL)",
                "INSERT INTO Aconfig VALUES ('Home', -16.37, 48.21)",
                "INSERT INTO Aconfig VALUES ('West', 30.5, -12.25)",
                "INSERT INTO Aconfig VALUES ('Huge', 1e999, 1)",
                "INSERT INTO Aconfig VALUES ('Empty', NULL, 3)",
                "CREATE TABLE Loose (LogName, Longitude, Latitude)",
                "INSERT INTO Loose VALUES ('Text', '12.5', ' -7.75 ')",
                "INSERT INTO Loose VALUES ('Word', 12.5, 'north')",
                "INSERT INTO Loose VALUES ('Comma', '16,37', 1)"});
  }

  // Writes an SQLite file with QtSql itself, on a connection of its own.
  static void Make(const std::string& Path, std::initializer_list<const char*> Statements) {
    const QString Connection = QStringLiteral("fixture");
    {
      QSqlDatabase Db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Connection);
      Db.setDatabaseName(QString::fromStdString(Path));
      ASSERT_TRUE(Db.open()) << Db.lastError().text().toStdString();
      QSqlQuery Query(Db);
      for (const char* Statement : Statements)
        ASSERT_TRUE(Query.exec(QString::fromUtf8(Statement))) << Statement;
      Query.finish();
      Db.close();
    }
    QSqlDatabase::removeDatabase(Connection);
  }

  static std::string Where(const char* LogName, const char* Table = "Aconfig") {
    return std::string("SELECT * \r\nFROM ") + Table + "\r\nWHERE LogName = '" + LogName + "'";
  }

  QTemporaryDir Folder;
  std::string File;
};

TEST_F(SqlLoggerDatabase, ReadsTheStoredPositionUnchanged) {
  TSqlLoggerDatabase Db;
  Db.Open(File);
  Db.CheckTable("Aconfig");
  Db.CheckTable("aconfig");  // table names compare without case, as in the logger's database
  struct TCase {
    std::string Sql;
    double Longitude;
    double Latitude;
  };
  const TCase Cases[] = {{Where("Home"), -16.37, 48.21},
                         {Where("West"), 30.5, -12.25},
                         {Where("Text", "Loose"), 12.5, -7.75},
                         {Where("Empty"), 0, 3}};
  for (const TCase& Case : Cases) {
    const auto Position = Db.QueryPosition(Case.Sql);
    ASSERT_TRUE(Position) << Case.Sql;
    EXPECT_DOUBLE_EQ(Position->Longitude, Case.Longitude) << Case.Sql;
    EXPECT_DOUBLE_EQ(Position->Latitude, Case.Latitude) << Case.Sql;
  }
  EXPECT_FALSE(Db.QueryPosition(Where("Nobody")));
}

TEST_F(SqlLoggerDatabase, RefusesWhatIsNoNumberOrNoPositionQuery) {
  TSqlLoggerDatabase Db;
  Db.Open(File);
  struct TCase {
    std::string Sql;
    const char* Named;  // what the message must name
  };
  const TCase Cases[] = {
      {Where("Word", "Loose"), "Latitude"},
      {Where("Comma", "Loose"), "Longitude"},
      {Where("Huge"), "Longitude"},
      {"SELECT LogName, Latitude FROM Aconfig", "Longitude"},
      {"SELECT LogName, Longitude FROM Aconfig WHERE 0", "Latitude"},
      {"SELECT * FROM Nowhere", "Nowhere"},
      {"SELEKT *", "SELEKT"},
  };
  for (const TCase& Case : Cases) {
    const std::string Message = Thrown([&] { (void)Db.QueryPosition(Case.Sql); });
    EXPECT_NE(Message.find(Case.Named), std::string::npos) << Case.Sql << ": " << Message;
  }
  // Read-only: the logger's data is never changed from here.
  EXPECT_NE(Thrown([&] { (void)Db.QueryPosition("DELETE FROM Aconfig"); }), "");
  EXPECT_TRUE(Db.QueryPosition(Where("Home")));
}

TEST_F(SqlLoggerDatabase, MissingTableIsNamed) {
  TSqlLoggerDatabase Db;
  EXPECT_NE(Thrown([&] { Db.CheckTable("Aconfig"); }).find("not open"), std::string::npos);
  Db.Open(File);
  const std::string Message = Thrown([&] { Db.CheckTable("Bconfig"); });
  EXPECT_NE(Message.find("\"Bconfig\""), std::string::npos) << Message;
  // A quote in the name stays part of the name.
  EXPECT_NE(Thrown([&] { Db.CheckTable("Aconfig\" --"); }), "");
}

TEST_F(SqlLoggerDatabase, OpenRefusesFilesThatAreNoStandIn) {
  const std::string Missing = Folder.filePath(QStringLiteral("nothing.mdb")).toStdString();
  const std::string Access = Folder.filePath(QStringLiteral("access.mdb")).toStdString();
  const std::string Torn = Folder.filePath(QStringLiteral("torn.mdb")).toStdString();
  const std::string Short = Folder.filePath(QStringLiteral("short.mdb")).toStdString();
  auto Write = [](const std::string& Path, const QByteArray& Bytes) {
    QFile Out(QString::fromStdString(Path));
    ASSERT_TRUE(Out.open(QIODevice::WriteOnly));
    Out.write(Bytes);
  };
  // The first bytes of a Jet database, as the logger writes it.
  Write(Access, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2000, '\0'));
  Write(Short, QByteArray("SQLite form"));

  TSqlLoggerDatabase Db;
  std::string Message = Thrown([&] { Db.Open(Missing); });
  EXPECT_NE(Message.find(Missing), std::string::npos) << Message;
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Missing)));  // no empty database made
  for (const std::string& Path : {Access, Short}) {
    Message = Thrown([&] { Db.Open(Path); });
    EXPECT_NE(Message.find(Path), std::string::npos) << Message;
    EXPECT_NE(Message.find("SQLite"), std::string::npos) << Message;
  }
  EXPECT_NE(Thrown([&] { Db.Open(Folder.path().toStdString()); }), "");  // a folder

  // An SQLite header over garbage fails cleanly, at the latest when the table is read.
  Write(Torn, QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\xAB'));
  EXPECT_NE(Thrown([&] {
              Db.Open(Torn);
              Db.CheckTable("Aconfig");
            }),
            "");

  // A failed open leaves the object usable and no connection behind.
  Db.Close();
  EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
  Db.Open(File);
  EXPECT_TRUE(Db.QueryPosition(Where("Home")));
}

TEST_F(SqlLoggerDatabase, EachObjectHasItsOwnConnectionUntilClosed) {
  {
    TSqlLoggerDatabase First;
    TSqlLoggerDatabase Second;
    First.Open(File);
    Second.Open(File);
    EXPECT_EQ(QSqlDatabase::connectionNames().size(), 2);
    First.Close();
    EXPECT_EQ(QSqlDatabase::connectionNames().size(), 1);
    EXPECT_NE(Thrown([&] { (void)First.QueryPosition(Where("Home")); }), "");
    EXPECT_TRUE(Second.QueryPosition(Where("Home")));
    First.Open(File);   // open again after Close
    Second.Open(File);  // and over an open connection
    EXPECT_EQ(QSqlDatabase::connectionNames().size(), 2);
  }
  EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
}

}  // namespace
