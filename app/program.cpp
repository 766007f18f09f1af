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

// Largest user registry file searched for the logger's key; real ones are a few MB.
constexpr qint64 kMaxRegistryFile = 256 * 1024 * 1024;

// Whether Wine's user registry file holds the logger's key: a line "[Software\\Tovrin_Log3]"
// (Wine doubles the backslash), any case, with the time stamp after it.
bool HoldsLoggerKey(const QString& UserReg) {
  QFile File(UserReg);
  if (!File.open(QIODevice::ReadOnly) || File.size() > kMaxRegistryFile) return false;
  QByteArray Key = "[" + QByteArray(kLoggerKey.data(), qsizetype(kLoggerKey.size())) + "]";
  Key.replace("\\", "\\\\");
  Key = Key.toLower();
  while (!File.atEnd()) {
    // Lines are read in bounded pieces; the key's line is short.
    const QByteArray Line = File.readLine(4096);
    if (Line.startsWith('[') && Line.toLower().startsWith(Key)) return true;
  }
  return false;
}

}  // namespace

TWineSearch FindWineLogger(const TWineSettings& Settings, const QString& BridgeFile,
                           const QProcessEnvironment& Environment) {
  TWineSearch Found;
  const bool Named = !Settings.Prefix.isEmpty();
  QString Prefix = Settings.Prefix;
  if (Prefix.isEmpty()) Prefix = Environment.value(QStringLiteral("WINEPREFIX"));
  if (Prefix.isEmpty()) {
    const QString Home = Environment.value(QStringLiteral("HOME"));
    if (Home.isEmpty()) return Found;
    Prefix = Home + QStringLiteral("/.wine");
  }
  Prefix = QDir::cleanPath(QDir(Prefix).absolutePath());
  Found.Prefix = Prefix;
  const QString UserReg = Prefix + QStringLiteral("/user.reg");
  if (!QFileInfo::exists(UserReg)) {
    // No prefix where one usually is means no logger under Wine; one named in the settings
    // that is not there is a mistake to point out.
    if (Named)
      Found.Problem = QStringLiteral(
                          "The Wine prefix \"%1\" named in the [Logger] section of "
                          "Orvane.ini is not a Wine prefix (it has no user.reg).")
                          .arg(Prefix);
    return Found;
  }
  if (!HoldsLoggerKey(UserReg)) {
    Found.Problem = QStringLiteral(
                        "The logger is not installed in the Wine prefix \"%1\" (its "
                        "registry has no Software\\Tovrin_Log3 key). Name the "
                        "logger's prefix as Prefix in the [Logger] section of "
                        "Orvane.ini.")
                        .arg(Prefix);
    return Found;
  }
  const QString WineCommand = Settings.Wine.isEmpty() ? QStringLiteral("wine") : Settings.Wine;
  const QString Wine = WineCommand.contains(u'/')
                           ? (QFileInfo(WineCommand).isExecutable() ? WineCommand : QString())
                           : QStandardPaths::findExecutable(WineCommand);
  if (Wine.isEmpty()) {
    Found.Problem = QStringLiteral(
                        "The logger is installed in the Wine prefix \"%1\", but the "
                        "wine command \"%2\" cannot be found. Install Wine, or name "
                        "the command as Wine in the [Logger] section of Orvane.ini.")
                        .arg(Prefix, WineCommand);
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
  Bridge.Arguments = {BridgeFile};
  Bridge.Environment = {QStringLiteral("WINEPREFIX=") + Prefix};
  // Wine's own diagnostics are no concern of the operator's unless asked for.
  if (!Environment.contains(QStringLiteral("WINEDEBUG")))
    Bridge.Environment << QStringLiteral("WINEDEBUG=-all");
  Found.Bridge = std::move(Bridge);
  return Found;
}

TLoggerAccess::TLoggerAccess(const QStringList& HostNames, std::chrono::milliseconds Timeout)
    : FHost(std::make_unique<platform::TLoggerHostClient>(HostNames, Timeout)) {}

TLoggerAccess::TLoggerAccess(const QString& HostName, std::chrono::milliseconds Timeout)
    : FHost(std::make_unique<platform::TLoggerHostClient>(HostName, Timeout)) {}

TLoggerAccess::TLoggerAccess(platform::TLoggerHostProcess Bridge, std::chrono::milliseconds Timeout)
    : FHost(std::make_unique<platform::TLoggerHostClient>(std::move(Bridge), Timeout)) {}

std::unique_ptr<TLoggerAccess> TLoggerAccess::Find(const QStringList& HostNames,
                                                   const TSettingsFile& Settings,
                                                   const QString& ExeFolder,
                                                   std::chrono::milliseconds Timeout,
                                                   std::chrono::milliseconds BridgeStart) {
  auto Local = std::make_unique<TLoggerAccess>(HostNames, Timeout);
  if (Local->FHost->Connect(Timeout)) return Local;
  const TWineSearch Search =
      FindWineLogger(ReadWineSettings(Settings), ExeFolder + u'/' + QLatin1StringView(kBridgeFile),
                     QProcessEnvironment::systemEnvironment());
  if (!Search.Bridge) {
    // Another account's service where ours should be is what the operator must hear of.
    Local->FProblem = Local->FHost->Refused() ? Local->FHost->ErrorString() : Search.Problem;
    return Local;
  }
  auto Bridged = std::make_unique<TLoggerAccess>(*Search.Bridge, Timeout);
  if (Bridged->FHost->Connect(BridgeStart)) return Bridged;
  Local->FProblem = QStringLiteral("The logger's Wine prefix \"%1\" cannot be started: %2.")
                        .arg(Search.Prefix, Bridged->FHost->ErrorString());
  return Local;
}

TForm1Environment TLoggerAccess::Environment(TSettingsFile Settings, QString ExeFolder) {
  TForm1Environment E;
  E.Registry = FHost.get();
  E.Database = &FDatabase;
  E.Windows = FHost.get();
  E.Paths = FHost.get();
  E.Settings = std::move(Settings);
  E.ExeFolder = std::move(ExeFolder);
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
