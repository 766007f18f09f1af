#include "app/winediscovery.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <optional>
#include <utility>

#include "app/loggerlink.h"

#ifndef _WIN32
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvane {

namespace {

// Largest user registry file searched for the logger's key; real ones are a few MB.
constexpr qint64 kMaxRegistryFile = 256 * 1024 * 1024;
// A manager's settings file is a few KB; anything past this is not one.
constexpr qint64 kMaxConfigFile = 1024 * 1024;
// Only the first arguments matter; Windows command lines can be 32K characters.
constexpr qint64 kMaxCmdline = 64 * 1024;
// A process environment is bounded by the kernel's argument space (a few MB at most).
constexpr qint64 kMaxEnviron = 4 * 1024 * 1024;
// Bounds on the folders walked: /proc on a big machine, a manager's list of prefixes.
constexpr int kMaxProcesses = 1 << 18;
constexpr int kMaxFolderEntries = 4096;
// Notes kept for the operator; past these, one more says how many were left out.
constexpr int kMaxNotes = 20;

const QByteArray kLoggerProgram = "tovrin_log3.exe";

enum class TRead { Ok, Missing, TooLarge, Unreadable };

// Reads at most Cap bytes of a regular file; never blocks on a FIFO or device a fabricated
// tree may hold. Truncated: what was read when the file holds more (only where the caller
// accepts a prefix of it).
TRead ReadBounded(const QString& Path, qint64 Cap, QByteArray& Data, bool AcceptTruncated = false) {
  Data.clear();
#ifndef _WIN32
  const QByteArray Name = QFile::encodeName(Path);
  const int Fd = ::open(Name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (Fd < 0)
    return errno == ENOENT || errno == ENOTDIR || errno == ESRCH ? TRead::Missing
                                                                 : TRead::Unreadable;
  struct stat St {};
  if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
    ::close(Fd);
    return TRead::Unreadable;
  }
  Data.resize(static_cast<qsizetype>(std::min<qint64>(Cap + 1, 64 * 1024)));
  qsizetype Have = 0;
  for (;;) {
    if (Have == Data.size()) {
      if (Have > Cap) break;
      Data.resize(static_cast<qsizetype>(std::min<qint64>(Cap + 1, qint64(Data.size()) * 2)));
    }
    const ssize_t Got = ::read(Fd, Data.data() + Have, static_cast<size_t>(Data.size() - Have));
    if (Got < 0) {
      const int Error = errno;
      if (Error == EINTR) continue;
      ::close(Fd);
      Data.clear();
      // A process that ended while its files were read.
      return Error == ESRCH ? TRead::Missing : TRead::Unreadable;
    }
    if (Got == 0) break;
    Have += Got;
  }
  ::close(Fd);
  Data.resize(Have);
  if (Have > Cap) {
    Data.resize(static_cast<qsizetype>(Cap));
    if (!AcceptTruncated) {
      Data.clear();
      return TRead::TooLarge;
    }
  }
  return TRead::Ok;
#else
  QFile File(Path);
  if (!File.exists()) return TRead::Missing;
  if (!File.open(QIODevice::ReadOnly)) return TRead::Unreadable;
  Data = File.read(Cap + 1);
  if (Data.size() > Cap) {
    Data.resize(static_cast<qsizetype>(Cap));
    if (!AcceptTruncated) {
      Data.clear();
      return TRead::TooLarge;
    }
  }
  return TRead::Ok;
#endif
}

class TNotes {
 public:
  explicit TNotes(QStringList& Notes) : FNotes(Notes) {}
  ~TNotes() {
    if (FLeftOut > 0) FNotes << QStringLiteral("(%1 more left out)").arg(FLeftOut);
  }
  TNotes(const TNotes&) = delete;
  TNotes& operator=(const TNotes&) = delete;
  void Add(const QString& Note) {
    if (FNotes.size() < kMaxNotes)
      FNotes << Note;
    else
      ++FLeftOut;
  }
  // The note for a file that could not be read; none for one that is simply not there.
  void Add(const QString& Path, TRead Result) {
    if (Result == TRead::TooLarge)
      Add(QStringLiteral("%1 is too large to be read").arg(Path));
    else if (Result == TRead::Unreadable)
      Add(QStringLiteral("%1 cannot be read").arg(Path));
  }

 private:
  QStringList& FNotes;
  int FLeftOut = 0;
};

// The sub-folders of Folder, sorted by name, at most kMaxFolderEntries looked at.
QStringList SubFolders(const QString& Folder, const QStringList& NameFilters = {}) {
  QStringList Names;
  QDirIterator It(Folder, NameFilters, QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
  for (int n = 0; It.hasNext() && n < kMaxFolderEntries; ++n) Names << It.nextFileInfo().fileName();
  Names.sort();
  return Names;
}

bool IsExecutableFile(const QString& Path) {
  const QFileInfo Info(Path);
  return Info.isFile() && Info.isExecutable();
}

// A name from a manager's file that becomes one folder of a path: no way out of it.
bool IsPlainName(const QString& Name) {
  return !Name.isEmpty() && Name != u'.' && Name != QStringLiteral("..") && !Name.contains(u'/') &&
         std::none_of(Name.begin(), Name.end(), [](QChar c) { return c.unicode() < 0x20; });
}

QString Clean(const QString& Path) { return QDir::cleanPath(Path); }

// --- The managers' files -------------------------------------------------------------------

// The plain values of a YAML file, as the managers write theirs: "Key: value" at the top
// level, and "parent.child" one level down. Lists, block texts and deeper levels are
// passed over; a line that makes no sense is skipped.
QHash<QString, QString> ReadYamlValues(const QByteArray& Yaml) {
  QHash<QString, QString> Values;
  QString Parent;
  int ChildIndent = -1;
  for (const QByteArray& Raw : Yaml.split('\n')) {
    QByteArray Line = Raw;
    if (Line.endsWith('\r')) Line.chop(1);
    int Indent = 0;
    while (Indent < Line.size() && Line[Indent] == ' ') ++Indent;
    const QByteArray Body = Line.mid(Indent);
    if (Body.isEmpty() || Body.startsWith('#') || Body.startsWith('-') || Body.startsWith('\t'))
      continue;
    const qsizetype Colon = [&] {
      for (qsizetype i = 0; i < Body.size(); ++i)
        if (Body[i] == ':' && (i + 1 == Body.size() || Body[i + 1] == ' ')) return i;
      return qsizetype(-1);
    }();
    if (Colon <= 0) continue;
    QString Key = QString::fromUtf8(Body.left(Colon)).trimmed();
    if (Key.size() >= 2 && (Key.front() == u'"' || Key.front() == u'\'') &&
        Key.back() == Key.front())
      Key = Key.mid(1, Key.size() - 2);
    QByteArray Value = Body.mid(Colon + 1).trimmed();
    if (Indent == 0) {
      Parent = Value.isEmpty() ? Key : QString();
      ChildIndent = -1;
      if (Value.isEmpty()) continue;
    } else {
      if (Parent.isEmpty()) continue;
      if (ChildIndent < 0) ChildIndent = Indent;
      if (Indent != ChildIndent) continue;
      Key = Parent + u'.' + Key;
    }
    QString Text;
    if (Value.startsWith('\'')) {
      // Single quotes: '' stands for one quote, nothing else is special.
      const qsizetype End = [&] {
        for (qsizetype i = 1; i < Value.size(); ++i) {
          if (Value[i] != '\'') continue;
          if (i + 1 < Value.size() && Value[i + 1] == '\'') {
            ++i;
            continue;
          }
          return i;
        }
        return qsizetype(-1);
      }();
      if (End < 0) continue;
      Text = QString::fromUtf8(Value.mid(1, End - 1).replace("''", "'"));
    } else if (Value.startsWith('"')) {
      QByteArray Out;
      qsizetype i = 1;
      for (; i < Value.size() && Value[i] != '"'; ++i) {
        if (Value[i] == '\\' && i + 1 < Value.size()) {
          ++i;
          Out += Value[i] == 'n' ? '\n' : Value[i] == 't' ? '\t' : Value[i];
        } else {
          Out += Value[i];
        }
      }
      if (i >= Value.size()) continue;
      Text = QString::fromUtf8(Out);
    } else {
      if (Value.startsWith('|') || Value.startsWith('>') || Value.startsWith('[') ||
          Value.startsWith('{') || Value.startsWith('&') || Value.startsWith('*'))
        continue;
      const qsizetype Comment = Value.indexOf(" #");
      if (Comment >= 0) Value = Value.left(Comment).trimmed();
      if (Value == "~" || Value == "null") continue;
      Text = QString::fromUtf8(Value);
    }
    Values.insert(Key, Text);
  }
  return Values;
}

// "KEY=value" lines, as PlayOnLinux writes a prefix's playonlinux.cfg.
QHash<QString, QString> ReadKeyValues(const QByteArray& Text) {
  QHash<QString, QString> Values;
  for (const QByteArray& Line : Text.split('\n')) {
    const qsizetype Equal = Line.indexOf('=');
    if (Equal <= 0) continue;
    Values.insert(QString::fromUtf8(Line.left(Equal)).trimmed(),
                  QString::fromUtf8(Line.mid(Equal + 1)).trimmed());
  }
  return Values;
}

class TDiscoverer {
 public:
  TDiscoverer(const TWineRoots& Roots, TWineDiscovery& Found)
      : FRoots(Roots),
        FFound(Found),
        FNotes(Found.Notes),
        FHome(Roots.Environment.value(QStringLiteral("HOME"))) {}

  void Run() {
    RunningLoggers();
    if (FHome.startsWith(u'/')) {
      Bottles(FHome + QStringLiteral("/.local/share/bottles"), QStringLiteral("Bottles"));
      Bottles(FHome + QStringLiteral("/.var/app/com.usebottles.bottles/data/bottles"),
              QStringLiteral("Bottles (Flatpak)"));
      Lutris();
      PlayOnLinux();
      CrossOver();
    }
    const QString Named = FRoots.Environment.value(QStringLiteral("WINEPREFIX"));
    if (Named.startsWith(u'/'))
      Add({Clean(Named), QStringLiteral("wine"), {}, QStringLiteral("$WINEPREFIX"), false});
    else if (!Named.isEmpty())
      FNotes.Add(QStringLiteral("$WINEPREFIX \"%1\" is not an absolute path").arg(Named));
    if (FHome.startsWith(u'/'))
      Add({Clean(FHome + QStringLiteral("/.wine")),
           QStringLiteral("wine"),
           {},
           QStringLiteral("the default prefix"),
           false});
  }

 private:
  void Add(TWineCandidate Candidate) {
    for (const TWineCandidate& Have : FFound.Candidates)
      if (Have.Prefix == Candidate.Prefix && Have.Wine == Candidate.Wine &&
          Have.WineArguments == Candidate.WineArguments)
        return;
    FFound.Candidates.push_back(std::move(Candidate));
  }

  // --- Running processes -------------------------------------------------------------------

  void RunningLoggers() {
    QStringList Pids;
    {
      QDirIterator It(FRoots.Proc, QDir::Dirs | QDir::NoDotAndDotDot);
      for (int n = 0; It.hasNext() && n < kMaxProcesses; ++n) {
        const QString Name = It.nextFileInfo().fileName();
        bool Number = false;
        (void)Name.toUInt(&Number);
        if (Number) Pids << Name;
      }
    }
    std::sort(Pids.begin(), Pids.end(), [](const QString& a, const QString& b) {
      return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    for (const QString& Pid : Pids) Process(Pid);
  }

  void Process(const QString& Pid) {
    const QString Dir = FRoots.Proc + u'/' + Pid;
#ifndef _WIN32
    // Another user's processes are no concern of this one's (and their files are closed).
    struct stat St {};
    if (::stat(QFile::encodeName(Dir).constData(), &St) != 0 || St.st_uid != FRoots.Uid) return;
#endif
    QByteArray Cmdline;
    if (ReadBounded(Dir + QStringLiteral("/cmdline"), kMaxCmdline, Cmdline, true) != TRead::Ok)
      return;
    if (!RunsLogger(Cmdline)) {
      QByteArray Comm;
      if (ReadBounded(Dir + QStringLiteral("/comm"), 256, Comm) != TRead::Ok ||
          Comm.trimmed().toLower() != kLoggerProgram)
        return;
    }
    const QString Origin = QStringLiteral("the running logger (process %1)").arg(Pid);
    const QString Exe = ExeOf(Dir);
    if (Exe.isEmpty()) {
      FNotes.Add(QStringLiteral("%1: its program cannot be read").arg(Origin));
      return;
    }
    // Another program naming the logger's file (an editor, a copy) is not the logger.
    if (!QFileInfo(Exe).fileName().startsWith(QStringLiteral("wine"))) return;
    const QString Loader = LoaderBeside(Exe);
    if (Loader.isEmpty()) {
      FNotes.Add(
          QStringLiteral("%1 runs on \"%2\", which has no wine loader beside it").arg(Origin, Exe));
      return;
    }
    QByteArray Environ;
    const TRead Read = ReadBounded(Dir + QStringLiteral("/environ"), kMaxEnviron, Environ);
    if (Read != TRead::Ok) {
      if (Read == TRead::TooLarge)
        FNotes.Add(QStringLiteral("%1: its environment is too large to be read").arg(Origin));
      else
        FNotes.Add(QStringLiteral("%1: its environment cannot be read").arg(Origin));
      return;
    }
    QString Prefix, Home;
    for (const QByteArray& Entry : Environ.split('\0')) {
      if (Entry.startsWith("WINEPREFIX="))
        Prefix = QFile::decodeName(Entry.mid(11));
      else if (Entry.startsWith("HOME="))
        Home = QFile::decodeName(Entry.mid(5));
    }
    if (Prefix.isEmpty() && !Home.isEmpty()) Prefix = Home + QStringLiteral("/.wine");
    if (!Prefix.startsWith(u'/')) {
      FNotes.Add(QStringLiteral("%1: its Wine prefix cannot be told (\"%2\")").arg(Origin, Prefix));
      return;
    }
    Add({Clean(Prefix), Loader, {}, Origin, true});
  }

  // Wine shows a Windows program's own path as the command line; right after the start
  // it may still show the loader's arguments, so the first few are looked at.
  static bool RunsLogger(const QByteArray& Cmdline) {
    const QList<QByteArray> Arguments = Cmdline.split('\0');
    for (qsizetype i = 0; i < Arguments.size() && i < 3; ++i) {
      QByteArray Argument = Arguments[i].trimmed();
      if (Argument.size() >= 2 && Argument.front() == '"' && Argument.back() == '"')
        Argument = Argument.mid(1, Argument.size() - 2);
      const qsizetype Slash = std::max(Argument.lastIndexOf('\\'), Argument.lastIndexOf('/'));
      if (Argument.mid(Slash + 1).toLower() == kLoggerProgram) return true;
    }
    return false;
  }

  // The process's executable as the kernel names it (links already resolved).
  static QString ExeOf(const QString& Dir) {
#ifndef _WIN32
    char Target[PATH_MAX];
    const ssize_t Size = ::readlink(QFile::encodeName(Dir + QStringLiteral("/exe")).constData(),
                                    Target, sizeof Target);
    if (Size <= 0 || Size >= static_cast<ssize_t>(sizeof Target)) return {};
    QString Exe = QFile::decodeName(QByteArray(Target, Size));
    // A loader replaced on disk since the process started.
    if (Exe.endsWith(QStringLiteral(" (deleted)"))) Exe.chop(10);
    return Exe.startsWith(u'/') ? Exe : QString();
#else
    (void)Dir;
    return {};
#endif
  }

  // The loader to start programs with on the Wine build whose preloader or loader Exe is:
  // the one of the same name without "-preloader", else wine64, else wine, in its folder.
  static QString LoaderBeside(const QString& Exe) {
    const QFileInfo Info(Exe);
    QString Name = Info.fileName();
    if (!Name.startsWith(QStringLiteral("wine"))) return {};
    if (Name.endsWith(QStringLiteral("-preloader"))) Name.chop(10);
    for (const QString& Try : {Name, QStringLiteral("wine64"), QStringLiteral("wine")}) {
      const QString Path = Info.path() + u'/' + Try;
      if (IsExecutableFile(Path)) return Clean(Path);
    }
    return {};
  }

  // --- The managers ------------------------------------------------------------------------

  // A manager's settings file, or nothing (with a note when it is there but unusable).
  std::optional<QByteArray> ReadConfig(const QString& Path) {
    QByteArray Data;
    const TRead Read = ReadBounded(Path, kMaxConfigFile, Data);
    if (Read == TRead::Ok) return Data;
    FNotes.Add(Path, Read);
    return std::nullopt;
  }

  // A runner's loader: wine64 for 64-bit prefixes where the runner has one, else wine.
  static QString RunnerWine(const QString& Bin, bool Win64) {
    if (Win64 && IsExecutableFile(Bin + QStringLiteral("/wine64")))
      return Bin + QStringLiteral("/wine64");
    return Bin + QStringLiteral("/wine");
  }

  // Bottles: a folder per bottle holding bottle.yml, which names its runner ("sys-..." for
  // the system's wine, an absolute path, or a folder under runners/).
  void Bottles(const QString& Data, const QString& Manager) {
    const QString Folder = Data + QStringLiteral("/bottles");
    for (const QString& Name : SubFolders(Folder)) {
      const QString Bottle = Folder + u'/' + Name;
      if (!QFileInfo(Bottle).isDir()) continue;
      const QString Yml = Bottle + QStringLiteral("/bottle.yml");
      if (!QFileInfo::exists(Yml)) continue;
      const std::optional<QByteArray> Text = ReadConfig(Yml);
      if (!Text) continue;
      const QHash<QString, QString> Values = ReadYamlValues(*Text);
      const QString Runner = Values.value(QStringLiteral("Runner"));
      const bool Win64 = Values.value(QStringLiteral("Arch")) == QStringLiteral("win64");
      QString Wine = QStringLiteral("wine");
      if (Runner.startsWith(u'/')) {
        Wine = RunnerWine(Clean(Runner) + QStringLiteral("/bin"), Win64);
      } else if (IsPlainName(Runner) && !Runner.startsWith(QStringLiteral("sys-"))) {
        QString Root = Data + QStringLiteral("/runners/") + Runner;
        // Proton runners keep their Wine one folder down.
        if (Runner.startsWith(QStringLiteral("Proton")))
          Root += QFileInfo::exists(Root + QStringLiteral("/dist")) ? QStringLiteral("/dist")
                                                                    : QStringLiteral("/files");
        Wine = RunnerWine(Root + QStringLiteral("/bin"), Win64);
      } else if (!Runner.isEmpty() && !Runner.startsWith(QStringLiteral("sys-"))) {
        FNotes.Add(QStringLiteral("%1 names no usable runner (\"%2\")").arg(Yml, Runner));
        continue;
      }
      Add({Clean(Bottle), Wine, {}, QStringLiteral("%1 bottle \"%2\"").arg(Manager, Name), false});
    }
  }

  // Lutris: a settings file per game (in ~/.config/lutris before its 0.5.18, in
  // ~/.local/share/lutris since), naming the game's prefix and its wine version.
  void Lutris() {
    const QString Runners = FHome + QStringLiteral("/.local/share/lutris/runners/wine/");
    for (const QString& Folder : {FHome + QStringLiteral("/.config/lutris/games"),
                                  FHome + QStringLiteral("/.local/share/lutris/games")}) {
      for (const QString& Name : SubFolders(Folder, {QStringLiteral("*.yml")})) {
        const QString Yml = Folder + u'/' + Name;
        if (!QFileInfo(Yml).isFile()) continue;
        const std::optional<QByteArray> Text = ReadConfig(Yml);
        if (!Text) continue;
        const QHash<QString, QString> Values = ReadYamlValues(*Text);
        QString Prefix = Values.value(QStringLiteral("game.prefix"));
        if (Prefix.isEmpty()) continue;  // not a Wine game
        if (Prefix.startsWith(QStringLiteral("~/"))) Prefix = FHome + Prefix.mid(1);
        if (!Prefix.startsWith(u'/')) {
          FNotes.Add(QStringLiteral("%1 names a prefix that is no absolute path").arg(Yml));
          continue;
        }
        const QString Version = Values.value(QStringLiteral("wine.version"));
        const QString Custom = Values.value(QStringLiteral("wine.custom_wine_path"));
        QString Wine = QStringLiteral("wine");
        if (Version == QStringLiteral("custom") && Custom.startsWith(u'/'))
          Wine = Clean(Custom);
        else if (IsPlainName(Version) && Version != QStringLiteral("system"))
          Wine = Runners + Version + QStringLiteral("/bin/wine");
        else if (!Version.isEmpty() && Version != QStringLiteral("system")) {
          FNotes.Add(QStringLiteral("%1 names no usable wine version (\"%2\")").arg(Yml, Version));
          continue;
        }
        Add({Clean(Prefix),
             Wine,
             {},
             QStringLiteral("Lutris game \"%1\"").arg(QFileInfo(Name).completeBaseName()),
             false});
      }
    }
  }

  // PlayOnLinux: a folder per prefix whose playonlinux.cfg names the Wine VERSION (none:
  // the system's) and ARCH (x86 or amd64) of its own Wine builds.
  void PlayOnLinux() {
    const QString Root = FHome + QStringLiteral("/.PlayOnLinux");
    const QString Folder = Root + QStringLiteral("/wineprefix");
    for (const QString& Name : SubFolders(Folder)) {
      const QString Prefix = Folder + u'/' + Name;
      if (!QFileInfo(Prefix).isDir()) continue;
      const QString Cfg = Prefix + QStringLiteral("/playonlinux.cfg");
      QString Wine = QStringLiteral("wine");
      if (QFileInfo::exists(Cfg)) {
        const std::optional<QByteArray> Text = ReadConfig(Cfg);
        if (!Text) continue;
        const QHash<QString, QString> Values = ReadKeyValues(*Text);
        const QString Version = Values.value(QStringLiteral("VERSION"));
        QString Arch = Values.value(QStringLiteral("ARCH"));
        if (Arch.isEmpty()) Arch = QStringLiteral("x86");
        if (IsPlainName(Version) && IsPlainName(Arch) &&
            Version.compare(QStringLiteral("System"), Qt::CaseInsensitive) != 0)
          Wine = QStringLiteral("%1/wine/linux-%2/%3/bin/wine").arg(Root, Arch, Version);
        else if (!Version.isEmpty() &&
                 Version.compare(QStringLiteral("System"), Qt::CaseInsensitive) != 0) {
          FNotes.Add(QStringLiteral("%1 names no usable wine version (\"%2\", \"%3\")")
                         .arg(Cfg, Version, Arch));
          continue;
        }
      }
      Add({Clean(Prefix), Wine, {}, QStringLiteral("PlayOnLinux prefix \"%1\"").arg(Name), false});
    }
  }

  // CrossOver: a folder per bottle, all run by its one wine, told the bottle by name.
  void CrossOver() {
    const QString Folder = FHome + QStringLiteral("/.cxoffice");
    const QString Wine = Clean(FRoots.CrossOver + QStringLiteral("/bin/wine"));
    for (const QString& Name : SubFolders(Folder)) {
      const QString Bottle = Folder + u'/' + Name;
      if (!QFileInfo::exists(Bottle + QStringLiteral("/cxbottle.conf")) && !IsWinePrefix(Bottle))
        continue;
      Add({Clean(Bottle),
           Wine,
           {QStringLiteral("--bottle"), Name},
           QStringLiteral("CrossOver bottle \"%1\"").arg(Name),
           false});
    }
  }

  const TWineRoots& FRoots;
  TWineDiscovery& FFound;
  TNotes FNotes;
  QString FHome;
};

}  // namespace

TWineRoots TWineRoots::System(const QProcessEnvironment& Environment) {
  TWineRoots Roots;
  Roots.Environment = Environment;
#ifndef _WIN32
  Roots.Uid = ::getuid();
#endif
  return Roots;
}

TWineDiscovery DiscoverWine(const TWineRoots& Roots) {
  TWineDiscovery Found;
  {
    TDiscoverer Discoverer(Roots, Found);
    Discoverer.Run();
  }
  return Found;
}

bool IsWinePrefix(const QString& Prefix) {
  return QFileInfo(Prefix + QStringLiteral("/user.reg")).isFile();
}

// A line "[Software\\Tovrin_Log3]" (Wine doubles the backslash), any case, with the time
// stamp after it.
bool HoldsLoggerKey(const QString& Prefix) {
  QFile File(Prefix + QStringLiteral("/user.reg"));
  if (!QFileInfo(File).isFile() || !File.open(QIODevice::ReadOnly) ||
      File.size() > kMaxRegistryFile)
    return false;
  QByteArray Key = "[" + QByteArray(kLoggerKey.data(), qsizetype(kLoggerKey.size())) + "]";
  Key.replace("\\", "\\\\");
  Key = Key.toLower();
  qint64 Read = 0;
  while (!File.atEnd() && Read <= kMaxRegistryFile) {
    // Lines are read in bounded pieces; the key's line is short.
    const QByteArray Line = File.readLine(4096);
    if (Line.isEmpty()) break;
    Read += Line.size();
    if (Line.startsWith('[') && Line.toLower().startsWith(Key)) return true;
  }
  return false;
}

}  // namespace orvane
