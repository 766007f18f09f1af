// Where the logger may run under Wine: the running logger's own prefix and Wine build, the
// prefixes the Wine managers keep with the Wine builds they run them on, and the plain
// default prefixes. Everything read here is outside data: sizes are capped, walks bounded,
// and what cannot be read is skipped with a note.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <vector>

namespace orvane {

/// One place the logger may be: a Wine prefix and the wine loader to start programs there.
struct TWineCandidate {
  /// The prefix folder, absolute and cleaned.
  QString Prefix;
  /// The loader: an absolute path, or a command name looked up on the PATH ("wine").
  QString Wine;
  /// Arguments the loader takes before the program's (a CrossOver bottle's name).
  QStringList WineArguments;
  /// Where it came from, for the operator: "the running logger (process 4711)".
  QString Origin;
  /// A logger process runs in this prefix on this loader.
  bool Running = false;
};

/// Where the discovery looks. The defaults are the real system's; tests point them at
/// fabricated trees.
struct TWineRoots {
  /// The processes' folder.
  QString Proc = QStringLiteral("/proc");
  /// HOME (the managers' folders, ~/.wine) and WINEPREFIX.
  QProcessEnvironment Environment;
  /// Only processes of this user are looked at.
  unsigned Uid = 0;
  /// CrossOver's installation, whose bin/wine runs its bottles.
  QString CrossOver = QStringLiteral("/opt/cxoffice");

  /// The real system's roots, with Environment for HOME and WINEPREFIX.
  [[nodiscard]] static TWineRoots System(const QProcessEnvironment& Environment);
};

/// What DiscoverWine found, in the order to try: running loggers first, then the Wine
/// managers' prefixes (Bottles, the Bottles Flatpak, Lutris, PlayOnLinux, CrossOver), then
/// $WINEPREFIX and ~/.wine with "wine" from the PATH. Each (prefix, loader) pair once.
struct TWineDiscovery {
  std::vector<TWineCandidate> Candidates;
  /// What was skipped and why: a manager's file too large, a process gone while read, ...
  QStringList Notes;
};

[[nodiscard]] TWineDiscovery DiscoverWine(const TWineRoots& Roots);

/// Whether the prefix's user registry ("user.reg") holds the logger's key.
[[nodiscard]] bool HoldsLoggerKey(const QString& Prefix);

/// Whether the prefix folder holds a user registry at all: a Wine prefix that was made.
[[nodiscard]] bool IsWinePrefix(const QString& Prefix);

}  // namespace orvane
