// Finding the logger under Wine: which prefix is looked at, how its registry file is read,
// and the one message for each way it cannot be reached.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <string>
#include <vector>

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
    QDir().mkpath(Root.filePath(QStringLiteral("proc")));
    QFile(Bridge).open(QIODevice::WriteOnly);
    Environment.insert(QStringLiteral("HOME"), Home);
  }
  // This machine's own processes stay out of it: a /proc of the rig's.
  TWineRoots Roots() const {
    TWineRoots R = TWineRoots::System(Environment);
    R.Proc = Root.filePath(QStringLiteral("proc"));
    R.CrossOver = Root.filePath(QStringLiteral("cxoffice"));
    return R;
  }
  TWineSearch Find(const TWineSettings& Settings) const {
    return FindWineLogger(Settings, Bridge, Roots());
  }
  QString File(const QString& Name, const QByteArray& Content) {
    const QString Path = Root.filePath(Name);
    QDir().mkpath(QFileInfo(Path).path());
    QFile F(Path);
    EXPECT_TRUE(F.open(QIODevice::WriteOnly));
    F.write(Content);
    F.close();
    if (Content.startsWith("#!")) F.setPermissions(F.permissions() | QFile::ExeOwner);
    return Path;
  }
  // A logger process running on the loader Exe with this environment.
  void Running(const QString& Pid, const QString& Exe, const QByteArray& Environ) {
    File(QStringLiteral("proc/%1/cmdline").arg(Pid),
         QByteArray("C:\\Tovrin_Log3\\Tovrin_Log3.exe\0", 31));
    File(QStringLiteral("proc/%1/environ").arg(Pid), Environ);
    EXPECT_TRUE(QFile::link(Exe, Root.filePath(QStringLiteral("proc/%1/exe").arg(Pid))));
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

  TWineSearch Found = R.Find(Wine);
  ASSERT_TRUE(Found.Bridge) << Found.Problem.toStdString();
  EXPECT_EQ(Found.Prefix, Home);
  EXPECT_TRUE(Found.Bridge->Program.endsWith(QStringLiteral("/sh")));
  EXPECT_EQ(Found.Bridge->Arguments, QStringList{R.Bridge});
  EXPECT_TRUE(Found.Bridge->Environment.contains(QStringLiteral("WINEPREFIX=") + Home));

  R.Environment.insert(QStringLiteral("WINEPREFIX"), FromEnvironment);
  Found = R.Find(Wine);
  ASSERT_TRUE(Found.Bridge);
  EXPECT_EQ(Found.Prefix, FromEnvironment);

  Found = R.Find({Named, QStringLiteral("sh")});
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
    const TWineSearch Found = R.Find(c.Settings);
    EXPECT_FALSE(Found.Bridge) << c.Says.toStdString();
    if (c.Says.isEmpty())
      EXPECT_TRUE(Found.Problem.isEmpty()) << Found.Problem.toStdString();
    else
      EXPECT_TRUE(Found.Problem.contains(c.Says)) << Found.Problem.toStdString();
  }
}

// The running logger is taken as found, with the Wine build it runs on; a Wine manager's
// prefix holding the logger's key is taken before the default prefixes without it.
TEST(WineLogger, TheRunningLoggerThenTheManagersPrefixHoldingTheKey) {
  Rig R;
  R.Prefix(QStringLiteral("home/.wine"), kOtherKey);
  const QString Bottle =
      R.Prefix(QStringLiteral("home/.local/share/bottles/bottles/Ham"), kLoggerKey);
  R.File(QStringLiteral("home/.local/share/bottles/bottles/Ham/bottle.yml"),
         "Arch: win64\nRunner: sys-wine-8.0\n");
  R.File(QStringLiteral("home/.local/share/bottles/bottles/Other/bottle.yml"), "Runner: caffe\n");
  R.Prefix(QStringLiteral("home/.local/share/bottles/bottles/Other"), kOtherKey);
  const TWineSettings Wine{{}, QStringLiteral("sh")};

  TWineSearch Found = R.Find(Wine);
  ASSERT_TRUE(Found.Bridge) << Found.Problem.toStdString();
  EXPECT_EQ(Found.Prefix, Bottle);
  EXPECT_EQ(Found.Origin, QStringLiteral("Bottles bottle \"Ham\""));

  // Running in a prefix of its own, whose registry the logger has not yet written.
  const QString Own = R.Prefix(QStringLiteral("own"), kOtherKey);
  const QString Loader = R.File(QStringLiteral("runner/bin/wine64"), "#!/bin/sh\n");
  R.File(QStringLiteral("runner/bin/wine64-preloader"), "#!/bin/sh\n");
  R.Running(QStringLiteral("4711"), R.Root.filePath(QStringLiteral("runner/bin/wine64-preloader")),
            ("WINEPREFIX=" + Own).toUtf8() + '\0');
  Found = R.Find({});
  ASSERT_TRUE(Found.Bridge) << Found.Problem.toStdString();
  EXPECT_EQ(Found.Prefix, Own);
  EXPECT_EQ(Found.Bridge->Program, Loader);
  EXPECT_EQ(Found.Bridge->Arguments, QStringList{R.Bridge});
  EXPECT_TRUE(Found.Bridge->Environment.contains(QStringLiteral("WINEPREFIX=") + Own));
  EXPECT_EQ(Found.Origin, QStringLiteral("the running logger (process 4711)"));

  // Named in the settings, the prefix is started with the wine the logger runs on there,
  // unless a wine is named too.
  Found = R.Find({Own + u'/', {}});
  ASSERT_TRUE(Found.Bridge) << Found.Problem.toStdString();
  EXPECT_EQ(Found.Bridge->Program, Loader);
  Found = R.Find({Own, QStringLiteral("sh")});
  ASSERT_TRUE(Found.Bridge) << Found.Problem.toStdString();
  EXPECT_TRUE(Found.Bridge->Program.endsWith(QStringLiteral("/sh")));
}

TEST(WineLogger, ACrossOverBottleIsNamedToItsWine) {
  Rig R;
  const QString Bottle = R.Prefix(QStringLiteral("home/.cxoffice/Ham Radio"), kLoggerKey);
  const QString Wine = R.File(QStringLiteral("cxoffice/bin/wine"), "#!/bin/sh\n");
  const TWineSearch Found = R.Find({});
  ASSERT_TRUE(Found.Bridge) << Found.Problem.toStdString();
  EXPECT_EQ(Found.Prefix, Bottle);
  EXPECT_EQ(Found.Bridge->Program, Wine);
  EXPECT_EQ(Found.Bridge->Arguments,
            (QStringList{QStringLiteral("--bottle"), QStringLiteral("Ham Radio"), R.Bridge}));
}

// Nowhere: the message names each prefix looked at with its wine, and what to do next; a
// manager's runner that is not there is said as such.
TEST(WineLogger, NotFoundSaysWhereItLookedAndWhatNext) {
  Rig R;
  R.Prefix(QStringLiteral("home/.wine"), kOtherKey);
  R.File(QStringLiteral("home/.PlayOnLinux/wineprefix/Log/playonlinux.cfg"),
         "ARCH=x86\nVERSION=5.0\n");
  R.Environment.insert(QStringLiteral("WINEPREFIX"), R.Root.filePath(QStringLiteral("gone")));
  TWineSearch Found = R.Find({});
  EXPECT_FALSE(Found.Bridge);
  const QString M = Found.Problem;
  for (const QString& Says :
       {QStringLiteral("The logger is not installed in any Wine prefix"),
        R.Home +
            QStringLiteral(
                "/.PlayOnLinux/wineprefix/Log (PlayOnLinux prefix \"Log\", with wine \"") +
            R.Home +
            QStringLiteral("/.PlayOnLinux/wine/linux-x86/5.0/bin/wine\"): no Wine prefix there"),
        R.Root.filePath(QStringLiteral("gone")) +
            QStringLiteral(" ($WINEPREFIX, with wine \"wine\")"),
        R.Home + QStringLiteral("/.wine (the default prefix, with wine \"wine\")\n"),
        QStringLiteral("Start the logger first"), QStringLiteral("[Logger] section of Orvane.ini")})
    EXPECT_TRUE(M.contains(Says)) << Says.toStdString() << "\nin\n" << M.toStdString();

  // Found in the manager's prefix whose own Wine build is missing.
  R.Prefix(QStringLiteral("home/.PlayOnLinux/wineprefix/Log"), kLoggerKey);
  Found = R.Find({});
  EXPECT_FALSE(Found.Bridge);
  EXPECT_TRUE(Found.Problem.contains(
      QStringLiteral("(PlayOnLinux prefix \"Log\"), but the wine command \"") + R.Home +
      QStringLiteral("/.PlayOnLinux/wine/linux-x86/5.0/bin/wine\" cannot be found")))
      << Found.Problem.toStdString();
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

// A bridge that does not come up is explained in one message: the prefix, the Wine command,
// what happened (it ended, with what it said, or it stayed silent) and the next step.
TEST(WineLogger, ABridgeThatDoesNotComeUpIsExplained) {
  Rig R;
  const QString Prefix = R.Prefix(QStringLiteral("prefix"), kLoggerKey);
  const struct {
    const char* Script;
    std::vector<const char*> Said;
  } Cases[] = {
      {"echo 'wine: could not load kernel32.dll, status c0000135' >&2; exit 1",
       {"exited with status 1", "could not load kernel32.dll"}},
      {"echo 'wine client error:0: version mismatch 771/796.' >&2; exit 1",
       {"does not match the wineserver", "version mismatch 771/796", "Wine manager"}},
      {"exec sleep 30", {"did not answer within 3 s"}},
  };
  int n = 0;
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.Script);
    const QString Wine = R.Root.filePath(QStringLiteral("wine%1").arg(++n));
    {
      QFile Script(Wine);
      ASSERT_TRUE(Script.open(QIODevice::WriteOnly));
      Script.write(QByteArray("#!/bin/sh\n") + c.Script + "\n");
      Script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
    }
    const QString Config = R.Root.filePath(QStringLiteral("config%1").arg(n));
    QDir().mkpath(Config);
    QFile Ini(Config + QStringLiteral("/Orvane.ini"));
    ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
    Ini.write(("[Logger]\nPrefix=" + Prefix + "\nWine=" + Wine + "\n").toUtf8());
    Ini.close();
    TLoggerAccess Access(QStringList{QStringLiteral("orvane-no-such-host-%1").arg(n)},
                         TSettingsFile(Config, Config), R.Root.path(), std::chrono::seconds(1),
                         std::chrono::seconds(3));
    const std::string Problem = Access.Connect().toStdString();
    EXPECT_NE(Problem.find("Prefix: " + Prefix.toStdString()), std::string::npos) << Problem;
    EXPECT_NE(Problem.find("Wine command: " + Wine.toStdString()), std::string::npos) << Problem;
    for (const char* Part : c.Said) EXPECT_NE(Problem.find(Part), std::string::npos) << Problem;
    Access.Disconnect();
  }
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
