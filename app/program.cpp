#include "app/program.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPalette>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <algorithm>
#include <cstddef>
#include <utility>

#include "app/compass.h"
#include "app/friends.h"

namespace orvane {

void ApplyCyanNight(QApplication& Application) {
  QStyle* Fusion = QStyleFactory::create(QStringLiteral("Fusion"));
  if (Fusion == nullptr) return;
  Application.setStyle(Fusion);
  const QColor Night(0x1B, 0x26, 0x31);
  const QColor Panel(0x24, 0x33, 0x40);
  const QColor Text(0xDD, 0xE8, 0xEE);
  const QColor Cyan(0x00, 0xB7, 0xD4);
  QPalette P;
  P.setColor(QPalette::Window, Panel);
  P.setColor(QPalette::WindowText, Text);
  P.setColor(QPalette::Base, Night);
  P.setColor(QPalette::AlternateBase, Panel);
  P.setColor(QPalette::ToolTipBase, Panel);
  P.setColor(QPalette::ToolTipText, Text);
  P.setColor(QPalette::Text, Text);
  P.setColor(QPalette::Button, Panel);
  P.setColor(QPalette::ButtonText, Text);
  P.setColor(QPalette::BrightText, Cyan);
  P.setColor(QPalette::Link, Cyan);
  P.setColor(QPalette::Highlight, Cyan);
  P.setColor(QPalette::HighlightedText, Night);
  P.setColor(QPalette::Disabled, QPalette::Text, QColor(0x6A, 0x7A, 0x86));
  P.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x6A, 0x7A, 0x86));
  P.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x6A, 0x7A, 0x86));
  Application.setPalette(P);
}

QString DataFolder(const QString& ExeFolder) {
  const auto HoldsLayers = [](const QString& Folder) {
    return QFileInfo::exists(QDir(Folder).filePath(QStringLiteral("world.lyr")));
  };
  if (HoldsLayers(ExeFolder)) return ExeFolder;
  const QString Installed = QDir::cleanPath(ExeFolder + QStringLiteral("/../share/orvane"));
  if (HoldsLayers(Installed)) return Installed;
  return ExeFolder;
}

TWineSettings ReadWineSettings(const TSettingsFile& Settings) {
  const std::string File = Settings.ReadPath().toStdString();
  return {QString::fromStdString(ReadProfileString(File, "Logger", "Prefix", "")).trimmed(),
          QString::fromStdString(ReadProfileString(File, "Logger", "Wine", "")).trimmed()};
}

namespace {

// Two names of one folder: alike once cleaned, or once links are resolved.
bool SameFolder(const QString& a, const QString& b) {
  if (a == b) return true;
  const QString Ca = QFileInfo(a).canonicalFilePath();
  return !Ca.isEmpty() && Ca == QFileInfo(b).canonicalFilePath();
}

QString Described(const TWineCandidate& C) {
  QString Wine = C.Wine;
  for (const QString& Argument : C.WineArguments) Wine += u' ' + Argument;
  return QStringLiteral("  %1 (%2, with wine \"%3\")%4")
      .arg(C.Prefix, C.Origin, Wine,
           IsWinePrefix(C.Prefix) ? QString() : QStringLiteral(": no Wine prefix there"));
}

}  // namespace

TWineSearch FindWineLogger(const TWineSettings& Settings, const QString& BridgeFile,
                           const QProcessEnvironment& Environment) {
  return FindWineLogger(Settings, BridgeFile, TWineRoots::System(Environment));
}

TWineSearch FindWineLogger(const TWineSettings& Settings, const QString& BridgeFile,
                           const TWineRoots& Roots) {
  TWineSearch Found;
  const TWineDiscovery Discovery = DiscoverWine(Roots);
  std::optional<TWineCandidate> Chosen;
  if (!Settings.Prefix.isEmpty()) {
    const QString Prefix = QDir::cleanPath(QDir(Settings.Prefix).absolutePath());
    Found.Prefix = Prefix;
    if (!IsWinePrefix(Prefix)) {
      // One named in the settings that is not there is a mistake to point out.
      Found.Problem = QStringLiteral(
                          "The Wine prefix \"%1\" named in the [Logger] section of "
                          "Orvane.ini is not a Wine prefix (it has no user.reg).")
                          .arg(Prefix);
      return Found;
    }
    Chosen = TWineCandidate{Prefix,
                            QStringLiteral("wine"),
                            {},
                            QStringLiteral("the [Logger] section of Orvane.ini"),
                            false};
    // The candidates come running first: the wine the logger runs on, else its manager's.
    for (const TWineCandidate& C : Discovery.Candidates)
      if (SameFolder(C.Prefix, Prefix)) {
        Chosen->Wine = C.Wine;
        Chosen->WineArguments = C.WineArguments;
        Chosen->Running = C.Running;
        break;
      }
    // A logger running there may not have written its key to the file yet.
    if (!Chosen->Running && !HoldsLoggerKey(Prefix)) {
      Found.Problem = QStringLiteral(
                          "The logger is not installed in the Wine prefix \"%1\" (its "
                          "registry has no Software\\Tovrin_Log3 key). Name the "
                          "logger's prefix as Prefix in the [Logger] section of "
                          "Orvane.ini.")
                          .arg(Prefix);
      return Found;
    }
  } else {
    for (const TWineCandidate& C : Discovery.Candidates)
      if (C.Running) {
        Chosen = C;
        break;
      }
    if (!Chosen)
      for (const TWineCandidate& C : Discovery.Candidates)
        if (HoldsLoggerKey(C.Prefix)) {
          Chosen = C;
          break;
        }
    if (!Chosen) {
      // No Wine prefix anywhere means no logger under Wine: nothing to say.
      if (std::none_of(Discovery.Candidates.begin(), Discovery.Candidates.end(),
                       [](const TWineCandidate& C) { return IsWinePrefix(C.Prefix); }))
        return Found;
      QStringList Lines{QStringLiteral(
          "The logger is not installed in any Wine prefix Orvane looked at (none has the "
          "Software\\Tovrin_Log3 registry key), and it does not run under Wine. Looked at:")};
      // A home with many games of a manager's: the first places say enough.
      constexpr std::size_t kMaxListed = 15;
      for (std::size_t i = 0; i < Discovery.Candidates.size() && i < kMaxListed; ++i)
        Lines << Described(Discovery.Candidates[i]);
      if (Discovery.Candidates.size() > kMaxListed)
        Lines << QStringLiteral("  and %1 more").arg(Discovery.Candidates.size() - kMaxListed);
      if (!Discovery.Notes.isEmpty()) {
        Lines << QStringLiteral("Passed over:");
        for (const QString& Note : Discovery.Notes) Lines << QStringLiteral("  ") + Note;
      }
      Lines << QStringLiteral(
          "Start the logger first, then Orvane. If it is installed elsewhere, name its Wine "
          "prefix as Prefix, and its wine command as Wine, in the [Logger] section of "
          "Orvane.ini.");
      Found.Problem = Lines.join(u'\n');
      return Found;
    }
  }
  Found.Prefix = Chosen->Prefix;
  Found.Origin = Chosen->Origin;
  if (!Settings.Wine.isEmpty()) {
    Chosen->Wine = Settings.Wine;
    Chosen->WineArguments.clear();
  }
  const QString WineCommand = Chosen->Wine;
  const QString Wine = WineCommand.contains(u'/')
                           ? (QFileInfo(WineCommand).isExecutable() ? WineCommand : QString())
                           : QStandardPaths::findExecutable(WineCommand);
  if (Wine.isEmpty()) {
    Found.Problem = QStringLiteral(
                        "The logger is installed in the Wine prefix \"%1\" (%3), but the "
                        "wine command \"%2\" cannot be found. Install Wine, or name "
                        "the command as Wine in the [Logger] section of Orvane.ini.")
                        .arg(Found.Prefix, WineCommand, Found.Origin);
    return Found;
  }
  if (!QFileInfo::exists(BridgeFile)) {
    Found.Problem = QStringLiteral(
                        "The logger runs under Wine, but the bridge to it, \"%1\", "
                        "is missing.")
                        .arg(BridgeFile);
    return Found;
  }
  platform::TLoggerHostProcess Bridge;
  Bridge.Program = Wine;
  Bridge.Arguments = Chosen->WineArguments;
  Bridge.Arguments << BridgeFile;
  Bridge.Environment = {QStringLiteral("WINEPREFIX=") + Found.Prefix};
  // Wine's own diagnostics are no concern of the operator's unless asked for.
  if (!Roots.Environment.contains(QStringLiteral("WINEDEBUG")))
    Bridge.Environment << QStringLiteral("WINEDEBUG=-all");
  Found.Bridge = std::move(Bridge);
  return Found;
}

QString BridgeProblem(const QString& Prefix, const QString& Wine, const QString& What) {
  return QStringLiteral(
             "Orvane cannot reach the logger under Wine: the small bridge program it starts "
             "in the logger's Wine prefix did not come up.\n\n"
             "Prefix: %1\nWine command: %2\nWhat happened: %3.\n\n"
             "If the logger runs under a Wine manager (Bottles, Lutris, PlayOnLinux, "
             "CrossOver), name that manager's wine as Wine in the [Logger] section of "
             "Orvane.ini. Otherwise check that the logger starts with this Wine, then start "
             "Orvane again.")
      .arg(Prefix, Wine, What);
}

TLoggerAccess::TLoggerAccess(const QStringList& HostNames, std::chrono::milliseconds Timeout)
    : FTimeout(Timeout),
      FHost(std::make_unique<platform::TLoggerHostClient>(HostNames, Timeout)) {}

TLoggerAccess::TLoggerAccess(const QString& HostName, std::chrono::milliseconds Timeout)
    : FTimeout(Timeout),
      FHost(std::make_unique<platform::TLoggerHostClient>(HostName, Timeout)) {}

TLoggerAccess::TLoggerAccess(platform::TLoggerHostProcess Bridge, std::chrono::milliseconds Timeout)
    : FTimeout(Timeout),
      FHost(std::make_unique<platform::TLoggerHostClient>(std::move(Bridge), Timeout)) {}

TLoggerAccess::TLoggerAccess(const QStringList& HostNames, const TSettingsFile& Settings,
                             const QString& ExeFolder, std::chrono::milliseconds Timeout,
                             std::chrono::milliseconds BridgeStart)
    : FSearch(TSearch{HostNames, Settings, ExeFolder, BridgeStart}), FTimeout(Timeout) {}

TLoggerAccess::~TLoggerAccess() = default;

std::unique_ptr<TLoggerAccess> TLoggerAccess::Find(const QStringList& HostNames,
                                                   const TSettingsFile& Settings,
                                                   const QString& ExeFolder,
                                                   std::chrono::milliseconds Timeout,
                                                   std::chrono::milliseconds BridgeStart) {
  auto Access =
      std::make_unique<TLoggerAccess>(HostNames, Settings, ExeFolder, Timeout, BridgeStart);
  (void)Access->Connect();
  return Access;
}

QString TLoggerAccess::Connect() {
  // Found before (or given at construction): it connects again on its next call.
  if (FHost || !FSearch) return FProblem;
  const TSearch& Search = *FSearch;
  auto Local = std::make_unique<platform::TLoggerHostClient>(Search.HostNames, FTimeout);
  if (Local->Connect(FTimeout)) {
    FHost = std::move(Local);
    return FProblem;
  }
  // Without a service the local client answers as "no logger": the poll then ends the
  // program as without one.
  FHost = std::move(Local);
  const TWineSearch Wine = FindWineLogger(
      ReadWineSettings(Search.Settings), Search.ExeFolder + u'/' + QLatin1StringView(kBridgeFile),
      QProcessEnvironment::systemEnvironment());
  if (!Wine.Bridge) {
    // Another account's service where ours should be is what the operator must hear of.
    FProblem = FHost->Refused() ? FHost->ErrorString() : Wine.Problem;
    return FProblem;
  }
  auto Bridged = std::make_unique<platform::TLoggerHostClient>(*Wine.Bridge, FTimeout);
  if (Bridged->Connect(Search.BridgeStart)) {
    FHost = std::move(Bridged);
    return FProblem;
  }
  FProblem = BridgeProblem(Wine.Prefix, Wine.Bridge->Program, Bridged->ErrorString());
  return FProblem;
}

void TLoggerAccess::Disconnect() noexcept {
  if (FHost) FHost->Disconnect();
}

bool TLoggerAccess::OpenKey(std::string_view Key, bool CanCreate) {
  return FHost && FHost->OpenKey(Key, CanCreate);
}
std::optional<std::string> TLoggerAccess::ReadString(std::string_view Name) {
  return FHost ? FHost->ReadString(Name) : std::nullopt;
}
void TLoggerAccess::CloseKey() noexcept {
  if (FHost) FHost->CloseKey();
}
TLoggerAccess::THandle TLoggerAccess::FindTopLevel(std::string_view ClassName) {
  return FHost ? FHost->FindTopLevel(ClassName) : 0;
}
std::vector<TLoggerAccess::THandle> TLoggerAccess::Children(THandle Parent,
                                                            std::string_view ClassName) {
  return FHost ? FHost->Children(Parent, ClassName) : std::vector<THandle>{};
}
std::optional<std::string> TLoggerAccess::WindowText(THandle Window, std::size_t BufferSize) {
  return FHost ? FHost->WindowText(Window, BufferSize) : std::nullopt;
}
bool TLoggerAccess::LastCallUnanswered() const noexcept {
  return !FHost || FHost->LastCallUnanswered();
}
std::optional<std::string> TLoggerAccess::LocalPath(std::string_view LoggerPath) {
  return FHost ? FHost->LocalPath(LoggerPath) : std::nullopt;
}

TForm1Environment TLoggerAccess::Environment(TSettingsFile Settings, QString ExeFolder,
                                             bool Threaded) {
  TForm1Environment E;
  E.Registry = this;
  E.Database = &FDatabase;
  E.Windows = this;
  E.Paths = this;
  E.Settings = std::move(Settings);
  E.ExeFolder = std::move(ExeFolder);
  if (Threaded) E.Connection = this;
  return E;
}

TOrvaneWindows::TOrvaneWindows(TForm1Environment Environment)
    : Form1_(std::make_unique<TForm1>(Environment)),
      Friends_(new TfrmFriends(Form1_->LoggerInstallPath(), Environment.Settings, Form1_.get())),
      Compass_(new TfCompass(Form1_.get())) {
  const TSettingsFile Settings = Environment.Settings;
  TWindowGeometry G = KeepOnScreen(Settings.ReadWindow("Compass", DefaultCompassGeometry),
                                   QSize(TfCompass::kMinWidth, TfCompass::kMinHeight));
  // A window the user never placed stands beside the main window rather than over it.
  const bool FriendsPlaced = Settings.HasWindow("Friends");
  const bool CompassPlaced = Settings.HasWindow("Compass");
  if (!FriendsPlaced || !CompassPlaced) {
    const QRect Main = Form1_->frameGeometry();
    const TBesidePlaces Beside =
        PlaceBeside({Main.top(), Main.left(), Main.height(), Main.width()},
                    Friends_->frameGeometry().size(), QSize(G.Width, G.Height), AvailableScreens());
    if (!FriendsPlaced) Friends_->move(Beside.Friends.Left, Beside.Friends.Top);
    if (!CompassPlaced) {
      G.Left = Beside.Compass.Left;
      G.Top = Beside.Compass.Top;
    }
  }
  Compass_->SetWindowBounds(G.Left, G.Top, G.Width, G.Height);
  Compass_->OnClose = [Settings](const TfCompass& Compass) {
    Settings.WriteWindow("Compass", Compass.Geometry());
  };
  Form1_->SetSecondaryWindows(Friends_, Compass_);
}

TOrvaneWindows::~TOrvaneWindows() = default;

}  // namespace orvane
