// Where the logger may run under Wine, found in fabricated trees: a /proc of the test's own
// and a home folder laid out as the Wine managers leave it.
#include "app/winediscovery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <vector>

namespace orvane {
namespace {

struct TFile {
  QString Path;        // below the tree's root
  QByteArray Content;  // "#!" makes it executable
  QString Link = {};   // a symbolic link to this (below the root when relative) instead
};

const QByteArray kLoggerReg =
    "WINE REGISTRY Version 2\n\n[Software\\\\Tovrin_Log3] 1765380000\n"
    "\"InstallPath\"=\"C:\\\\Tovrin_Log3\\\\\"\n";
const QByteArray kLoader = "#!/bin/sh\n";

class TTree {
 public:
  TTree() {
    Roots.Proc = Root.filePath(QStringLiteral("proc"));
    Roots.Environment.insert(QStringLiteral("HOME"), Root.filePath(QStringLiteral("home")));
    Roots.Uid = ::getuid();
    Roots.CrossOver = Root.filePath(QStringLiteral("opt/cxoffice"));
    QDir().mkpath(Roots.Proc);
    QDir().mkpath(Root.filePath(QStringLiteral("home")));
  }

  void Write(const TFile& F) {
    const QString Path = Root.filePath(F.Path);
    QDir().mkpath(QFileInfo(Path).path());
    if (!F.Link.isEmpty()) {
      const QString Target = F.Link.startsWith(u'/') ? F.Link : Root.filePath(F.Link);
      ASSERT_TRUE(QFile::link(Target, Path)) << Path.toStdString();
      return;
    }
    QFile File(Path);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly)) << Path.toStdString();
    File.write(F.Content);
    File.close();
    if (F.Content.startsWith("#!"))
      File.setPermissions(File.permissions() | QFile::ExeOwner | QFile::ExeUser);
  }

  // The candidates as "prefix <- wine args", "(running)" after those of a running logger,
  // with the tree's root as "$".
  std::vector<std::string> Found(QStringList* Notes = nullptr) const {
    const TWineDiscovery D = DiscoverWine(Roots);
    if (Notes != nullptr) *Notes = D.Notes;
    std::vector<std::string> Lines;
    for (const TWineCandidate& C : D.Candidates) {
      QString Line = C.Prefix + QStringLiteral(" <- ") + C.Wine;
      for (const QString& A : C.WineArguments) Line += u' ' + A;
      if (C.Running) Line += QStringLiteral(" (running)");
      Lines.push_back(Line.replace(Root.path(), QStringLiteral("$")).toStdString());
      EXPECT_FALSE(C.Origin.isEmpty());
    }
    return Lines;
  }

  QTemporaryDir Root;
  TWineRoots Roots;
};

// A Windows program under Wine as /proc shows it: its Windows path as the command line,
// the loader or preloader as the executable.
std::vector<TFile> Process(const QString& Pid, const QByteArray& Cmdline, const QString& Exe,
                           const QByteArray& Environ) {
  return {{QStringLiteral("proc/%1/cmdline").arg(Pid), Cmdline},
          {QStringLiteral("proc/%1/environ").arg(Pid), Environ},
          {QStringLiteral("proc/%1/comm").arg(Pid), "wine64-preload\n"},
          {QStringLiteral("proc/%1/exe").arg(Pid), {}, Exe}};
}

std::vector<TFile> Runner(const QString& Bin) {
  return {{Bin + QStringLiteral("/wine"), kLoader},
          {Bin + QStringLiteral("/wine64"), kLoader},
          {Bin + QStringLiteral("/wine64-preloader"), kLoader}};
}

std::vector<TFile> Joined(std::initializer_list<std::vector<TFile>> Groups) {
  std::vector<TFile> All;
  for (const auto& P : Groups) All.insert(All.end(), P.begin(), P.end());
  return All;
}

TEST(WineDiscovery, EachPlaceWithTheWineThatRunsIt) {
  const QString Bottles = QStringLiteral("home/.local/share/bottles");
  const QString Flatpak = QStringLiteral("home/.var/app/com.usebottles.bottles/data/bottles");
  const struct {
    const char* What;
    std::vector<TFile> Files;
    QString WinePrefix;
    std::vector<std::string> Expected;
  } Cases[] = {
      {"nothing but the default prefix", {}, {}, {"$/home/.wine <- wine"}},
      {"$WINEPREFIX before ~/.wine",
       {},
       QStringLiteral("/srv/wine/../ham"),
       {"/srv/ham <- wine", "$/home/.wine <- wine"}},
      {"the running logger on a runner's preloader, its prefix from its environment",
       Joined({Runner(QStringLiteral("runner/bin")),
               Process(QStringLiteral("4711"), QByteArray("C:\\Tovrin_Log3\\Tovrin_Log3.exe\0", 32),
                       QStringLiteral("runner/bin/wine64-preloader"),
                       QByteArray("HOME=/home/op\0WINEPREFIX=/srv/ham/\0", 35))}),
       {},
       {"/srv/ham <- $/runner/bin/wine64 (running)", "$/home/.wine <- wine"}},
      {"any letter case, on the loader itself, no WINEPREFIX: the process's ~/.wine",
       Joined({{{QStringLiteral("w32/wine"), kLoader}},
               Process(QStringLiteral("12"), QByteArray("c:\\tovrin_log3\\TOVRIN_LOG3.EXE\0", 31),
                       QStringLiteral("w32/wine"), QByteArray("HOME=/home/op\0", 14))}),
       {},
       {"/home/op/.wine <- $/w32/wine (running)", "$/home/.wine <- wine"}},
      {"still with the loader's arguments, right after its start",
       Joined({Runner(QStringLiteral("r/bin")),
               Process(QStringLiteral("99"),
                       QByteArray("/x/bin/wine64\0C:\\Tovrin_Log3\\Tovrin_Log3.exe\0", 45),
                       QStringLiteral("r/bin/wine64"), QByteArray("WINEPREFIX=/p\0", 14))}),
       {},
       {"/p <- $/r/bin/wine64 (running)", "$/home/.wine <- wine"}},
      {"another program naming the logger's file is not the logger",
       Joined(
           {{{QStringLiteral("usr/bin/wine"), kLoader}, {QStringLiteral("usr/bin/vim"), kLoader}},
            Process(QStringLiteral("5"), QByteArray("vim\0Tovrin_Log3.exe\0", 20),
                    QStringLiteral("usr/bin/vim"), QByteArray("WINEPREFIX=/p\0", 14)),
            Process(QStringLiteral("6"), QByteArray("C:\\Tovrin_Log3\\Tovrin_Log3.exe.bak\0", 36),
                    QStringLiteral("usr/bin/wine"), QByteArray("WINEPREFIX=/p\0", 14))}),
       {},
       {"$/home/.wine <- wine"}},
      {"Bottles: a runner of its own, the 64-bit loader for a win64 bottle; the system's wine",
       Joined({Runner(Bottles + QStringLiteral("/runners/soda-7.0-9/bin")),
               {{Bottles + QStringLiteral("/bottles/Ham Radio/bottle.yml"),
                 "Arch: win64\nCustom_Path: false\nDLL_Overrides: {}\nEnvironment: Application\n"
                 "Environment_Variables: {}\nInstalled_Dependencies:\n- arial32\n- vcredist2019\n"
                 "Name: Ham Radio\nParameters:\n  dxvk: true\n  sync: fsync\nPath: Ham-Radio\n"
                 "Runner: soda-7.0-9\nVersioning: false\nWindowsVersion: win10\n"},
                {Bottles + QStringLiteral("/bottles/Other/bottle.yml"),
                 "Arch: win32\nName: Other\nRunner: sys-wine-8.0\n"}}}),
       {},
       {"$/home/.local/share/bottles/bottles/Ham Radio <- "
        "$/home/.local/share/bottles/runners/soda-7.0-9/bin/wine64",
        "$/home/.local/share/bottles/bottles/Other <- wine", "$/home/.wine <- wine"}},
      {"the Bottles Flatpak: a Proton runner keeps its Wine in dist/; a runner by its path",
       Joined({Runner(Flatpak + QStringLiteral("/runners/Proton-8.0/dist/bin")),
               {{Flatpak + QStringLiteral("/bottles/Log/bottle.yml"),
                 "Arch: win64\nRunner: 'Proton-8.0'\n"},
                {Flatpak + QStringLiteral("/bottles/Mine/bottle.yml"),
                 "Arch: win32\nRunner: \"/opt/my wine\"  \n"}}}),
       {},
       {"$/home/.var/app/com.usebottles.bottles/data/bottles/bottles/Log <- "
        "$/home/.var/app/com.usebottles.bottles/data/bottles/runners/Proton-8.0/dist/bin/wine64",
        "$/home/.var/app/com.usebottles.bottles/data/bottles/bottles/Mine <- /opt/my wine/bin/wine",
        "$/home/.wine <- wine"}},
      {"Lutris: each game's prefix with its wine version, older and newer settings folders",
       {{QStringLiteral("home/.config/lutris/games/tovrin-log3-1700000000.yml"),
         "game:\n  exe: /home/op/Games/tovrin/drive_c/Tovrin_Log3/Tovrin_Log3.exe\n"
         "  prefix: '/home/op/Games/tovrin'\nsystem:\n  env:\n    prefix: /nope\n"
         "wine:\n  version: lutris-GE-Proton8-26-x86_64 # newest\n"},
        {QStringLiteral("home/.local/share/lutris/games/notepad-1.yml"),
         "game:\n  arch: win64\n  prefix: ~/Games/notepad\nwine:\n  version: system\n"},
        {QStringLiteral("home/.local/share/lutris/games/quake-2.yml"),
         "game:\n  main_file: /home/op/quake/quake\n"}},
       {},
       {"/home/op/Games/tovrin <- "
        "$/home/.local/share/lutris/runners/wine/lutris-GE-Proton8-26-x86_64/bin/wine",
        "$/home/Games/notepad <- wine", "$/home/.wine <- wine"}},
      {"PlayOnLinux: its own Wine builds by version and architecture, else the system's",
       {{QStringLiteral("home/.PlayOnLinux/wineprefix/Tovrin/playonlinux.cfg"),
         "ARCH=amd64\nVERSION=7.0-rc2\n"},
        {QStringLiteral("home/.PlayOnLinux/wineprefix/default/user.reg"), "WINE REGISTRY\n"}},
       {},
       {"$/home/.PlayOnLinux/wineprefix/Tovrin <- "
        "$/home/.PlayOnLinux/wine/linux-amd64/7.0-rc2/bin/wine",
        "$/home/.PlayOnLinux/wineprefix/default <- wine", "$/home/.wine <- wine"}},
      {"CrossOver: its one wine, told the bottle",
       {{QStringLiteral("home/.cxoffice/Ham/cxbottle.conf"),
         "[Bottle]\n\"Template\" = \"win10_64\"\n"},
        {QStringLiteral("home/.cxoffice/installers/readme"), "not a bottle\n"}},
       {},
       {"$/home/.cxoffice/Ham <- $/opt/cxoffice/bin/wine --bottle Ham", "$/home/.wine <- wine"}},
  };
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.What);
    TTree T;
    for (const TFile& F : c.Files) T.Write(F);
    if (!c.WinePrefix.isEmpty())
      T.Roots.Environment.insert(QStringLiteral("WINEPREFIX"), c.WinePrefix);
    QStringList Notes;
    EXPECT_EQ(T.Found(&Notes), c.Expected);
    EXPECT_TRUE(Notes.isEmpty()) << Notes.join(u'\n').toStdString();
  }
}

TEST(WineDiscovery, TheRunningLoggerComesFirstAndEachPlaceOnce) {
  TTree T;
  for (const TFile& F :
       Joined({Runner(QStringLiteral("runner/bin")),
               Process(QStringLiteral("300"), QByteArray("C:\\Tovrin_Log3\\Tovrin_Log3.exe\0", 32),
                       QStringLiteral("runner/bin/wine64-preloader"),
                       QByteArray("WINEPREFIX=/p\0", 14)),
               Process(QStringLiteral("1000"), QByteArray("C:\\Tovrin_Log3\\Tovrin_Log3.exe\0", 32),
                       QStringLiteral("runner/bin/wine64"), QByteArray("WINEPREFIX=/p/\0", 15)),
               {{QStringLiteral("home/.cxoffice/B/cxbottle.conf"), ""}}}))
    T.Write(F);
  T.Roots.Environment.insert(QStringLiteral("WINEPREFIX"), QStringLiteral("/p"));
  EXPECT_EQ(T.Found(),
            (std::vector<std::string>{"/p <- $/runner/bin/wine64 (running)",
                                      "$/home/.cxoffice/B <- $/opt/cxoffice/bin/wine --bottle B",
                                      "/p <- wine", "$/home/.wine <- wine"}));
  // Another user's processes are passed over.
  T.Roots.Uid = ::getuid() + 1;
  EXPECT_EQ(T.Found().front(), "$/home/.cxoffice/B <- $/opt/cxoffice/bin/wine --bottle B");
}

// Bad outside data: each is passed over, with a note where the operator may need to know,
// and nothing hangs or reads without bound.
TEST(WineDiscovery, BadFilesArePassedOverWithANote) {
  TTree T;
  const QString Bottles = QStringLiteral("home/.local/share/bottles/bottles/");
  const QByteArray Logger("C:\\Tovrin_Log3\\Tovrin_Log3.exe\0", 32);
  for (const TFile& F : Joined({
           Runner(QStringLiteral("runner/bin")),
           {{Bottles + QStringLiteral("Huge/bottle.yml"),
             "Runner: x\n" + QByteArray(1024 * 1024, '#')},
            {Bottles + QStringLiteral("Garbage/bottle.yml"),
             QByteArray("\0\xff\xfe: : :\n  - [\n\t\"\"\"\n'\n", 22)},
            {Bottles + QStringLiteral("Escape/bottle.yml"), "Runner: ../../../../tmp\n"},
            {Bottles + QStringLiteral("Loop"), {}, Bottles + QStringLiteral("Loop")},
            {QStringLiteral("home/.local/share/lutris/games/a.yml"),
             "game:\n  prefix: relative/path\n"},
            {QStringLiteral("home/.PlayOnLinux/wineprefix/P/playonlinux.cfg"),
             "VERSION=../../../../bin\n"},
            {QStringLiteral("home/.wine"), {}, QStringLiteral("home/.wine")}},
           // A process gone while read: its folder without its files.
           {{QStringLiteral("proc/7/status"), "Name:\tgone\n"}},
           // The environment too large, or no file at all.
           Process(QStringLiteral("8"), Logger, QStringLiteral("runner/bin/wine64"),
                   QByteArray(5 * 1024 * 1024, 'x')),
           Process(QStringLiteral("9"), Logger, QStringLiteral("runner/bin/wine64"),
                   QByteArray("WINEPREFIX=relative\0", 20)),
           // A command line without end, and one running on something that is no Wine.
           Process(QStringLiteral("10"), QByteArray(8 * 1024 * 1024, 'a'),
                   QStringLiteral("runner/bin/wine64"), "WINEPREFIX=/p"),
           Process(QStringLiteral("11"), Logger, QStringLiteral("nowine/wine-preloader"), {}),
           {{QStringLiteral("nowine/wine-preloader"), kLoader}},
       }))
    T.Write(F);
  // An environment that is a FIFO nobody writes into: read, it would block for ever.
  QDir().mkpath(T.Root.filePath(QStringLiteral("proc/12")));
  for (const TFile& F :
       Process(QStringLiteral("12"), Logger, QStringLiteral("runner/bin/wine64"), {}))
    if (!F.Path.endsWith(QStringLiteral("environ"))) T.Write(F);
  ASSERT_EQ(
      ::mkfifo(QFile::encodeName(T.Root.filePath(QStringLiteral("proc/12/environ"))).constData(),
               0600),
      0);

  QElapsedTimer Clock;
  Clock.start();
  QStringList Notes;
  EXPECT_EQ(T.Found(&Notes),
            (std::vector<std::string>{"$/home/.local/share/bottles/bottles/Garbage <- wine",
                                      "$/home/.wine <- wine"}));
  EXPECT_LT(Clock.elapsed(), 10000);
  const QString All = Notes.join(u'\n');
  for (const char* Says :
       {"Huge/bottle.yml is too large", "Escape/bottle.yml names no usable runner",
        "a.yml names a prefix that is no absolute path",
        "playonlinux.cfg names no usable wine version", "(process 8): its environment is too large",
        "(process 9): its Wine prefix cannot be told", "(process 11) runs on",
        "(process 12): its environment cannot be read"})
    EXPECT_TRUE(All.contains(QLatin1StringView(Says))) << Says << "\n" << All.toStdString();
  EXPECT_FALSE(All.contains(QStringLiteral("process 7"))) << All.toStdString();
  EXPECT_FALSE(All.contains(QStringLiteral("process 10"))) << All.toStdString();
  // A prefix that is a loop of links is no prefix, and no hang.
  EXPECT_FALSE(IsWinePrefix(T.Root.filePath(QStringLiteral("home/.wine"))));
  EXPECT_FALSE(HoldsLoggerKey(T.Root.filePath(QStringLiteral("home/.wine"))));
}

TEST(WineDiscovery, TheLoggerKeyInTheUserRegistry) {
  TTree T;
  const struct {
    QByteArray UserReg;
    bool Holds;
  } Cases[] = {
      {kLoggerReg, true},
      {"WINE REGISTRY Version 2\n[software\\\\TOVRIN_LOG3] 1\n", true},
      {"WINE REGISTRY Version 2\n[Software\\\\Tovrin_Log3\\\\Sub] 1\n", false},
      {"WINE REGISTRY Version 2\n;[Software\\\\Tovrin_Log3] 1\n", false},
      {QByteArray(100000, 'x') + "\n[Software\\\\Tovrin_Log3] 1\n", true},
      {"", false},
  };
  int n = 0;
  for (const auto& c : Cases) {
    const QString Prefix = QStringLiteral("p%1").arg(++n);
    T.Write({Prefix + QStringLiteral("/user.reg"), c.UserReg});
    EXPECT_EQ(HoldsLoggerKey(T.Root.filePath(Prefix)), c.Holds) << c.UserReg.left(60).toStdString();
    EXPECT_TRUE(IsWinePrefix(T.Root.filePath(Prefix)));
  }
}

}  // namespace
}  // namespace orvane
