// The friends notes: sections in file order, case-insensitive keys, the plain-lines
// fallback, and the window that shows them.
#include "app/friends.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace orvane {
namespace {

QString DataDir() { return QStringLiteral(ORVANE_TEST_DATA_DIR "/friends/"); }

void WriteFile(const QString& FileName, const QByteArray& Bytes) {
  QFile File(FileName);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  ASSERT_EQ(File.write(Bytes), Bytes.size());
}

QByteArray ReadFile(const QString& FileName) {
  QFile File(FileName);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

TEST(FriendsNotes, LinesForACallsign) {
  const struct {
    const char* File;
    const char* Call;
    std::optional<QStringList> Lines;  // nullopt: the window keeps its text
  } cases[] = {
      // The callsign once, then one note per section in file order; keys outside any
      // section are not read when there are sections.
      {"sections.ini", "K1ABC",
       QStringList{"K1ABC", "Met at Dayton 2019", "Runs CW only", "Operated from K1ABC/KH6"}},
      // Letter case does not matter for finding notes; the callsign line is the one asked.
      {"sections.ini", "k1Abc",
       QStringList{"k1Abc", "Met at Dayton 2019", "Runs CW only", "Operated from K1ABC/KH6"}},
      {"sections.ini", "  K1ABC  ",
       QStringList{"K1ABC", "Met at Dayton 2019", "Runs CW only", "Operated from K1ABC/KH6"}},
      // A repeated key in one section: the first wins.
      {"sections.ini", "DL2XYZ", QStringList{"DL2XYZ", "Dieter, QSL via bureau"}},
      // An empty note is no note; the later section's note is shown with the callsign.
      {"sections.ini", "EMPTY1", QStringList{"EMPTY1", "filled in a later section"}},
      {"sections.ini", "N0NE", QStringList{}},
      {"sections.ini", "K1", std::nullopt},
      {"sections.ini", " K1 ", std::nullopt},
      // Without sections: plain "name = value" lines, first match, case-insensitive.
      {"plain.ini", "K1ABC", QStringList{"K1ABC", "Plain note"}},
      {"plain.ini", "Dl2xyz", QStringList{"Dl2xyz", "Dieter"}},
      {"plain.ini", "EMPTY1", QStringList{}},
      {"plain.ini", "a line without an equals sign", QStringList{}},
      {"plain.ini", "N0NE", QStringList{}},
      // Code page 1252 and UTF-8 (with a byte order mark) both read as what was written.
      {"cp1252.ini", "OK1XYZ", QStringList{"OK1XYZ", QString::fromUtf8("Jiøí, Müller")}},
      {"utf8.ini", "ok1xyz", QStringList{"ok1xyz", QString::fromUtf8("Jiří")}},
      {"missing.ini", "K1ABC", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.File) + " / " + c.Call);
    EXPECT_EQ(ReadFriendsNotes(DataDir() + c.File, QString::fromUtf8(c.Call)), c.Lines);
  }
}

TEST(FriendsNotes, OddFilesGiveNoNotes) {
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  // A folder of that name is no notes file.
  EXPECT_EQ(ReadFriendsNotes(Dir.path(), QStringLiteral("K1ABC")), std::nullopt);

  const QString Empty = Dir.filePath(QStringLiteral("empty.ini"));
  WriteFile(Empty, QByteArray());
  EXPECT_EQ(ReadFriendsNotes(Empty, QStringLiteral("K1ABC")), QStringList{});

  // Beyond the size bound the file is not read into memory at all.
  const QString Huge = Dir.filePath(QStringLiteral("huge.ini"));
  QByteArray Bytes("[Club]\nK1ABC = note\n");
  Bytes.append(QByteArray(MaxFriendsFileSize, ' '));
  WriteFile(Huge, Bytes);
  EXPECT_EQ(ReadFriendsNotes(Huge, QStringLiteral("K1ABC")), QStringList{});

  const QString Binary = Dir.filePath(QStringLiteral("binary.ini"));
  WriteFile(Binary, QByteArray("[Cl\0ub]\nK1ABC\0 = a\0b\n[\n=\n]]]=", 30));
  EXPECT_TRUE(ReadFriendsNotes(Binary, QStringLiteral("K1ABC")).has_value());
}

TEST(FriendsWindow, ShowsTheNotesForACallsign) {
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  const QString Logger = Dir.filePath(QStringLiteral("logger/"));
  ASSERT_TRUE(QDir().mkpath(Logger));
  ASSERT_TRUE(QFile::copy(DataDir() + "sections.ini", Logger + "friends.ini"));

  const TSettingsFile Settings(Dir.path(), Dir.filePath(QStringLiteral("config")));
  TfrmFriends Form(Logger, Settings);
  EXPECT_EQ(Form.windowTitle(), QStringLiteral("Friends"));
  EXPECT_EQ(Form.friendsini(), Logger + "friends.ini");

  Form.Friends(QStringLiteral("K1ABC"));
  const QString Shown =
      QStringLiteral("K1ABC\nMet at Dayton 2019\nRuns CW only\nOperated from K1ABC/KH6\n");
  EXPECT_EQ(Form.Memo1()->toPlainText(), Shown);
  Form.Friends(QStringLiteral("K1"));  // too short: the text stays
  EXPECT_EQ(Form.Memo1()->toPlainText(), Shown);
  Form.Friends(QStringLiteral("N0NE"));
  EXPECT_EQ(Form.Memo1()->toPlainText(), QString());

  // Without a notes file the text stays too.
  TfrmFriends NoNotes(Dir.filePath(QStringLiteral("nowhere/")), Settings);
  NoNotes.Memo1()->setPlainText(QStringLiteral("earlier"));
  NoNotes.Friends(QStringLiteral("K1ABC"));
  EXPECT_EQ(NoNotes.Memo1()->toPlainText(), QStringLiteral("earlier"));
}

TEST(FriendsWindow, GeometryComesFromAndGoesToTheSettingsFile) {
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  const QString Settings = Dir.filePath(QStringLiteral("Orvane.ini"));
  const auto InFolder = [&Dir](const char* Name) {
    const QString Folder = Dir.filePath(QString::fromLatin1(Name));
    QDir().mkpath(Folder);
    return TSettingsFile(Folder, Folder + QStringLiteral("/config"));
  };
  // Section names compare without regard to case; a value that is no number is the default.
  WriteFile(Settings, "[Main]\nShadow=1\n[friends]\ntop=40\nLeft=50\nHeight=x\nWidth=300\n");
  TfrmFriends Form(QString(), TSettingsFile(Dir.path(), Dir.filePath(QStringLiteral("config"))));
  EXPECT_EQ(Form.frameGeometry().top(), 40);
  EXPECT_EQ(Form.frameGeometry().left(), 50);
  EXPECT_EQ(Form.frameGeometry().height(), 215);
  EXPECT_EQ(Form.frameGeometry().width(), 300);

  Form.move(70, 80);
  Form.resize(250, 120);
  Form.close();  // closing hides the window and writes its geometry
  const QByteArray Written = ReadFile(Settings);
  EXPECT_TRUE(Written.contains("Shadow=1")) << Written.toStdString();
  EXPECT_TRUE(Written.contains("Top=80")) << Written.toStdString();
  EXPECT_TRUE(Written.contains("Left=70")) << Written.toStdString();
  EXPECT_TRUE(Written.contains("Height=120")) << Written.toStdString();
  EXPECT_TRUE(Written.contains("Width=250")) << Written.toStdString();

  // Without a settings file the defaults apply, and closing creates the file.
  const QString Fresh = Dir.filePath(QStringLiteral("fresh/Orvane.ini"));
  TfrmFriends Defaults(QString(), InFolder("fresh"));
  EXPECT_EQ(Defaults.frameGeometry(), QRect(100, 100, 280, 215));
  Defaults.SaveGeometry();
  EXPECT_EQ(ReadFile(Fresh), QByteArray("[Friends]\nTop=100\nLeft=100\nHeight=215\nWidth=280\n"));

  // A settings file that cannot be read whole is never replaced: its other settings would
  // be lost.
  const TSettingsFile OversizedSettings = InFolder("oversized");
  const QString Oversized = Dir.filePath(QStringLiteral("oversized/Orvane.ini"));
  QByteArray Bytes("[Main]\nShadow=1\n");
  Bytes.append(QByteArray(MaxSettingsFileSize, ';'));
  WriteFile(Oversized, Bytes);
  TfrmFriends Unreadable(QString(), OversizedSettings);
  Unreadable.SaveGeometry();
  EXPECT_EQ(ReadFile(Oversized), Bytes);
}

}  // namespace
}  // namespace orvane
