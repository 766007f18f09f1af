#include "app/loggerlink.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

namespace orvane {

namespace {

using THandle = platform::TWindowLookup::THandle;

constexpr std::string_view kQsoWindowClass = "TfmEditNewQso";
constexpr std::string_view kProgressWindowClass = "TfmProgress";
constexpr std::string_view kRepairMark = "Repair";
constexpr std::string_view kPanelClass = "TPanel";
constexpr std::string_view kAzimutClass = "TEdit";
constexpr std::string_view kCallsignClass = "TdxButtonEdit";
constexpr std::string_view kLocatorClass = "TdxEdit";
// The locator is the 6th edit of its panel.
constexpr std::size_t kLocatorIndex = 5;
// Buffer sizes of the reads, the terminating null included.
constexpr std::size_t kTitleBuffer = 255;
constexpr std::size_t kFieldBuffer = 20;

// The panels the callsign, azimuth and locator are looked for in, as (panel of the QSO
// window, panel inside it), 0-based, in the order tried: the logger's layouts differ
// between its versions and window sizes, and the last one present wins.
constexpr std::array<std::pair<std::size_t, std::size_t>, 4> kPlaces = {
    {{1, 2}, {0, 3}, {0, 2}, {1, 3}}};

// Text with every file name under the folder Local written as the logger names it, under
// its folder Logger with Windows separators. A name ends where a message's words go on.
std::string WithLoggerNames(std::string Text, const std::string& Local, const std::string& Logger) {
  const auto Ends = [](char c) {
    return c == '"' || c == '\'' || c == ':' || c == ' ' || c == '\n' || c == '\t';
  };
  for (std::size_t At = Text.find(Local); At != std::string::npos; At = Text.find(Local, At)) {
    std::size_t End = At + Local.size();
    while (End < Text.size() && !Ends(Text[End])) ++End;
    std::string Name = Logger + Text.substr(At + Local.size(), End - At - Local.size());
    std::replace(Name.begin() + static_cast<std::ptrdiff_t>(Logger.size()), Name.end(), '/', '\\');
    Text.replace(At, End - At, Name);
    At += Name.size();
  }
  return Text;
}

}  // namespace

bool IsWindowsPath(std::string_view Path) {
  const auto Separator = [](char c) { return c == '\\' || c == '/'; };
  if (Path.size() >= 3 &&
      ((Path[0] >= 'A' && Path[0] <= 'Z') || (Path[0] >= 'a' && Path[0] <= 'z')) &&
      Path[1] == ':' && Separator(Path[2]))
    return true;
  return Path.size() >= 2 && Path[0] == '\\' && Path[1] == '\\';
}

std::string HomePositionQuery(std::string_view LogName) {
  std::string Sql = "SELECT * \nFROM Aconfig\nWHERE LogName = '";
  for (const char c : LogName) {
    Sql.push_back(c);
    if (c == '\'') Sql.push_back('\'');
  }
  Sql.push_back('\'');
  return Sql;
}

TLoggerLink::TLoggerLink(platform::TLoggerRegistry& Registry, platform::TLoggerDatabase& Database,
                         platform::TWindowLookup& Windows, TIniStringReader ReadIni,
                         TRecordSetLoader LoadTable, platform::TLoggerPaths* Paths)
    : FRegistry(Registry),
      FDatabase(Database),
      FWindows(Windows),
      FReadIni(std::move(ReadIni)),
      FLoadTable(std::move(LoadTable)),
      FPaths(Paths) {}

std::vector<std::string> TLoggerLink::Startup() {
  std::vector<std::string> Problems;
  if (!FRegistry.OpenKey(kLoggerKey, true)) {
    // A logger that does not answer is not one without a key: say so rather than start
    // with nothing.
    if (FRegistry.LastCallUnanswered())
      Problems.push_back("The logger did not answer when asked for its folder (registry key " +
                         std::string(kLoggerKey) + "); its home position and reference tables " +
                         "were not read. Restart Orvane once the logger answers again.");
    return Problems;
  }
  if (auto Path = FRegistry.ReadString("InstallPath")) FInstallPath = std::move(*Path);
  const bool Unanswered = FRegistry.LastCallUnanswered();
  FRegistry.CloseKey();
  if (FInstallPath.empty()) {
    Problems.push_back(
        Unanswered ? "The logger did not answer when asked for its folder (InstallPath under " +
                         std::string(kLoggerKey) +
                         "). Restart Orvane once the logger answers again."
                   : "The logger's registry key " + std::string(kLoggerKey) +
                         " names no folder (InstallPath): its home position and reference "
                         "tables cannot be found. Start the logger once, or reinstall it.");
    return Problems;
  }
  // Under Wine the logger names its folder as Windows does; the files are opened here by
  // their Unix names. A path that cannot be translated stays, and its files fail by name.
  const std::string LoggerFolder = FInstallPath;
  if (FPaths && IsWindowsPath(FInstallPath)) {
    if (auto Local = FPaths->LocalPath(FInstallPath)) FInstallPath = std::move(*Local);
  }

  const std::string& F = FInstallPath;
  try {
    FLogName = FReadIni(F + std::string(kLoggerIniFile), "EditNewQso", "LogName", "");
  } catch (const std::exception& E) {
    Problems.push_back(E.what());
  }

  FDatabase.Close();
  FHomeKnown = false;
  FMyLong = 0;
  FMyLat = 0;
  try {
    FDatabase.Open(F + std::string(kLoggerDatabaseFile));
    FDatabase.CheckTable("Aconfig");
    if (const auto Stored = FDatabase.QueryPosition(HomePositionQuery(FLogName))) {
      // The logger counts longitude positive to the west.
      FMyLong = -Stored->Longitude;
      FMyLat = Stored->Latitude;
      FHomeKnown = true;
    } else {
      Problems.push_back("The logger's database has no row for the log \"" + FLogName +
                         "\" in its table Aconfig, so the home position is unknown. Open the "
                         "log in the logger and check its station settings.");
    }
  } catch (const std::exception& E) {
    Problems.push_back(std::string("The home position could not be read from the logger's "
                                   "database, so no path or beam is drawn. Let the logger check "
                                   "its database (or restore its backup), then start Orvane "
                                   "again. Details: ") +
                       E.what());
  }
  FDatabase.Close();

  for (auto* Table : {&FDXCC, &FProvince, &FUnique}) {
    if (*Table) (*Table)->Close();
  }
  for (const auto& [Table, File] : {std::pair{&FDXCC, kDXCCFile}, std::pair{&FProvince, kProvinceFile},
                                    std::pair{&FUnique, kUniqueFile}}) {
    try {
      *Table = FLoadTable(F + std::string(File));
      if (*Table && !(*Table)->Active()) (*Table)->Open();
    } catch (const std::exception& E) {
      Table->reset();
      Problems.push_back(std::string("A reference table of the logger could not be read, so "
                                     "some callsigns will not be placed. Details: ") +
                         E.what());
    }
  }
  // The operator knows the logger's files by the names the logger shows: the messages say
  // "C:\Tovrin_Log3\db\logs.mdb", not the path inside the Wine prefix.
  if (FInstallPath != LoggerFolder && !FInstallPath.empty()) {
    for (std::string& Problem : Problems)
      Problem = WithLoggerNames(std::move(Problem), FInstallPath, LoggerFolder);
  }
  return Problems;
}

const std::string& TLoggerLink::Text(TField Field) const noexcept {
  return FTexts[static_cast<std::size_t>(Field)];
}

void TLoggerLink::Put(TField Field, std::string Text, TPollResult& Result) {
  std::string& Current = FTexts[static_cast<std::size_t>(Field)];
  if (Current == Text) return;
  Current = Text;
  Result.Changes.push_back({Field, std::move(Text)});
}

TLoggerLink::TPollResult TLoggerLink::Poll() {
  TPollResult Result;
  const THandle Q = FWindows.FindTopLevel(kQsoWindowClass);
  if (Q == 0) {
    // A logger busy for a moment is not a closed one: without an answer the fields stay
    // and the next tick asks again.
    Result.Unanswered = FWindows.LastCallUnanswered();
    Result.Close = !Result.Unanswered;
    Result.Link = FWindows.LinkState();
    return Result;
  }
  Result.QsoWindowOpen = true;
  if (const THandle Progress = FWindows.FindTopLevel(kProgressWindowClass)) {
    const auto Title = FWindows.WindowText(Progress, kTitleBuffer);
    if (Title &&
        platform::LimitText(*Title, kTitleBuffer - 1).find(kRepairMark) != std::string::npos)
      Result.Close = true;
  }

  // The places, looked up once for both passes; 0 for a place Q does not have.
  std::array<THandle, kPlaces.size()> Places{};
  const std::vector<THandle> Outer = FWindows.Children(Q, kPanelClass);
  std::array<std::vector<THandle>, 2> Inner;
  for (std::size_t i = 0; i < Inner.size() && i < Outer.size(); ++i)
    Inner[i] = FWindows.Children(Outer[i], kPanelClass);
  for (std::size_t i = 0; i < kPlaces.size(); ++i) {
    const auto [OuterIndex, InnerIndex] = kPlaces[i];
    if (InnerIndex < Inner[OuterIndex].size()) Places[i] = Inner[OuterIndex][InnerIndex];
  }

  const auto ReadInto = [&](THandle Control, TField Field) {
    // A control that went away or does not answer is skipped.
    if (auto Text = FWindows.WindowText(Control, kFieldBuffer))
      Put(Field, platform::LimitText(*Text, kFieldBuffer - 1), Result);
  };
  for (const THandle P : Places) {
    if (P == 0) continue;
    if (const auto Edits = FWindows.Children(P, kAzimutClass); !Edits.empty())
      ReadInto(Edits.front(), TField::lfAzimut);
    if (const auto Buttons = FWindows.Children(P, kCallsignClass); !Buttons.empty())
      ReadInto(Buttons.front(), TField::lfCallsign);
  }
  for (const THandle P : Places) {
    if (P == 0) continue;
    // With fewer than six edits there is no locator in this place; the field is kept.
    if (const auto Edits = FWindows.Children(P, kLocatorClass); Edits.size() > kLocatorIndex)
      ReadInto(Edits[kLocatorIndex], TField::lfLocator);
  }
  return Result;
}

}  // namespace orvane
