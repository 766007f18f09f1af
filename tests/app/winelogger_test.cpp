// Finding the logger under Wine: which prefix is looked at, how its registry file is read,
// and the one message for each way it cannot be reached.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>

#include "app/program.h"
#include "tests/platform/host/otheruser.h"

namespace orvane {
namespace {

struct Rig {
  QTemporaryDir Root;
  QString Home = Root.filePath(QStringLiteral("home"));
  QString Bridge = Root.filePath(QStringLiteral("orvane-bridge.exe"));
  QProcessEnvironment Environment;

  Rig() {
    QDir().mkpath(Home);
    QFile(Bridge).open(QIODevice::WriteOnly);
    Environment.insert(QStringLiteral("HOME"), Home);
  }
  // A prefix whose user registry holds these lines.
  QString Prefix(const QString& Name, const QByteArray& UserReg) {
    const QString Folder = Root.filePath(Name);
    QDir().mkpath(Folder);
    QFile File(Folder + QStringLiteral("/user.reg"));
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
    File.write("WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21\n\n" +
               UserReg);
    return Folder;
  }
};

// As Wine writes the key: the backslash doubled, a time stamp after the bracket.
const QByteArray kLoggerKey =
    "[Software\\\\Tovrin_Log3] "
    "1765380000\n#time=1dc69e3\n\"InstallPath\"=\"C:\\\\Tovrin_Log3\\\\\"\n";
const QByteArray kOtherKey =
    "[Software\\\\Wine\\\\Fonts] 1765380000\n\"LogPixels\"=dword:00000060\n";

// The map data beside the executable (a build tree), else in the installed layout's
// share/orvane, else the executable's folder all the same.
TEST(DataFolder, BesideTheExecutableThenInTheInstalledLayout) {
  QTemporaryDir Dir;
  const QString Bin = Dir.filePath(QStringLiteral("usr/bin"));
  const QString Share = Dir.filePath(QStringLiteral("usr/share/orvane"));
  QDir().mkpath(Bin);
  QDir().mkpath(Share);
  EXPECT_EQ(DataFolder(Bin), Bin);
  ASSERT_TRUE(QFile(Share + QStringLiteral("/world.lyr")).open(QIODevice::WriteOnly));
  EXPECT_EQ(DataFolder(Bin), Share);
  ASSERT_TRUE(QFile(Bin + QStringLiteral("/world.lyr")).open(QIODevice::WriteOnly));
  EXPECT_EQ(DataFolder(Bin), Bin);
}

TEST(WineLogger, ThePrefixComesFromTheSettingsThenTheEnvironmentThenHome) {
  Rig R;
  const QString Home = R.Prefix(QStringLiteral("home/.wine"), kOtherKey + kLoggerKey);
  const QString FromEnvironment = R.Prefix(QStringLiteral("env"), kLoggerKey);
  const QString Named =
      R.Prefix(QStringLiteral("named"), QByteArray("[software\\\\tovrin_log3] 1\n"));
  const TWineSettings Wine{{}, QStringLiteral("sh")};  // any command that exists

  TWineSearch Found = FindWineLogger(Wine, R.Bridge, R.Environment);
  ASSERT_TRUE(Found.Bridge) << Found.Problem.toStdString();
  EXPECT_EQ(Found.Prefix, Home);
  EXPECT_TRUE(Found.Bridge->Program.endsWith(QStringLiteral("/sh")));
  EXPECT_EQ(Found.Bridge->Arguments, QStringList{R.Bridge});
  EXPECT_TRUE(Found.Bridge->Environment.contains(QStringLiteral("WINEPREFIX=") + Home));

  R.Environment.insert(QStringLiteral("WINEPREFIX"), FromEnvironment);
  Found = FindWineLogger(Wine, R.Bridge, R.Environment);
  ASSERT_TRUE(Found.Bridge);
  EXPECT_EQ(Found.Prefix, FromEnvironment);

  Found = FindWineLogger({Named, QStringLiteral("sh")}, R.Bridge, R.Environment);
  ASSERT_TRUE(Found.Bridge) << Found.Problem.toStdString();  // the key matched in any case
  EXPECT_EQ(Found.Prefix, Named);
}

TEST(WineLogger, EachWayItCannotBeReachedHasItsMessage) {
  Rig R;
  const QString Empty = R.Prefix(QStringLiteral("empty"), kOtherKey);
  const QString Logger = R.Prefix(QStringLiteral("logger"), kLoggerKey);
  const struct {
    TWineSettings Settings;
    bool BridgeThere;
    QString Says;  // empty: no message, and no bridge either
  } Cases[] = {
      // No prefix where one usually is: no logger under Wine, nothing to say.
      {{{}, QStringLiteral("sh")}, true, {}},
      {{R.Root.filePath(QStringLiteral("nowhere")), QStringLiteral("sh")},
       true,
       QStringLiteral("is not a Wine prefix")},
      {{Empty, QStringLiteral("sh")}, true, QStringLiteral("The logger is not installed")},
      {{Logger, QStringLiteral("orvane-no-such-wine")},
       true,
       QStringLiteral("\"orvane-no-such-wine\" cannot be found")},
      {{Logger, R.Root.filePath(QStringLiteral("no/wine"))},
       true,
       QStringLiteral("cannot be found")},
      {{Logger, QStringLiteral("sh")}, false, QStringLiteral("is missing")},
  };
  for (const auto& c : Cases) {
    if (!c.BridgeThere) QFile::remove(R.Bridge);
    const TWineSearch Found = FindWineLogger(c.Settings, R.Bridge, R.Environment);
    EXPECT_FALSE(Found.Bridge) << c.Says.toStdString();
    if (c.Says.isEmpty())
      EXPECT_TRUE(Found.Problem.isEmpty()) << Found.Problem.toStdString();
    else
      EXPECT_TRUE(Found.Problem.contains(c.Says)) << Found.Problem.toStdString();
  }
}

TEST(WineLogger, TheSettingsSectionNamesPrefixAndCommand) {
  QTemporaryDir Folder;
  QFile Ini(Folder.filePath(QStringLiteral("Orvane.ini")));
  ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
  Ini.write("[Main]\nTop=5\n[logger]\nprefix = /home/op/.wine-logger \nWINE=/opt/wine/bin/wine\n");
  Ini.close();
  const TWineSettings S = ReadWineSettings(TSettingsFile(Folder.path(), Folder.path()));
  EXPECT_EQ(S.Prefix, QStringLiteral("/home/op/.wine-logger"));
  EXPECT_EQ(S.Wine, QStringLiteral("/opt/wine/bin/wine"));
}

// Another account's service where the logger's should be, and no logger under Wine: the
// operator hears who serves it, not that no logger runs.
TEST(LoggerAccess, AServiceOfAnotherUserIsTheProblemWhenWineHasNoLoggerEither) {
  if (const std::string Why = hosttest::TOtherUserHost::CannotRun(); !Why.empty())
    GTEST_SKIP() << Why;
  QTemporaryDir Shared;
  ASSERT_EQ(::chmod(QFile::encodeName(Shared.path()).constData(), 01777), 0);
  const QString Foreign = Shared.filePath(QStringLiteral("host"));
  const QString Unserved = Shared.filePath(QStringLiteral("none"));
  hosttest::TOtherUserHost Other;
  ASSERT_EQ(Other.Start(Foreign), "");
  Rig R;  // a home without a Wine prefix
  hosttest::TScopedVariable Home("HOME", QFile::encodeName(R.Home));
  hosttest::TScopedVariable Prefix("WINEPREFIX", std::nullopt);
  const TSettingsFile Settings(R.Root.path(), R.Root.path());
  using namespace std::chrono_literals;

  const auto Refused = TLoggerAccess::Find({Unserved, Foreign}, Settings, R.Root.path(), 5s, 5s);
  EXPECT_EQ(Refused->Problem(),
            QStringLiteral("The logger host \"%1\" is run by another user, nobody (uid 65534): "
                           "Orvane only talks to a logger of its own user.")
                .arg(Foreign));
  const auto Absent = TLoggerAccess::Find({Unserved}, Settings, R.Root.path(), 5s, 5s);
  EXPECT_EQ(Absent->Problem(), QString());
}

}  // namespace
}  // namespace orvane
