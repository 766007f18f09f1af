#include "app/settings.h"

// Debian's header keeps the template bodies behind SI_IMPLEMENTATION; they are templates,
// so instantiating them here as well as in friends.cpp gives no duplicate symbols.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>
#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "globe/core/codepage.h"

namespace orvane {
namespace {

constexpr const char* MainSection = "Main";

enum class TLoad { Missing, Loaded, Unreadable };

// Loads FileName into Ini with the profile rules: case-insensitive names (CSimpleIniA),
// and multi-key mode so that the first of repeated keys can win.
TLoad LoadIni(CSimpleIniA& Ini, const QString& FileName) {
  Ini.SetMultiKey(true);
  if (!QFileInfo::exists(FileName)) return TLoad::Missing;
  const std::optional<QByteArray> Bytes = ReadBoundedFile(FileName, MaxSettingsFileSize);
  if (!Bytes) return TLoad::Unreadable;
  if (Ini.LoadData(Bytes->constData(), static_cast<size_t>(Bytes->size())) < 0) {
    Ini.Reset();
    return TLoad::Unreadable;
  }
  return TLoad::Loaded;
}

int ReadInteger(const CSimpleIniA& Ini, const char* Section, const char* Key, int Default) {
  const char* Value = Ini.GetValue(Section, Key, nullptr);
  if (Value == nullptr) return Default;
  bool Ok = false;
  const int Result = QString::fromUtf8(Value).trimmed().toInt(&Ok, 10);
  return Ok ? Result : Default;
}

// Any non-zero number is true, as the platform's profile reader has it.
bool ReadBool(const CSimpleIniA& Ini, const char* Section, const char* Key, bool Default) {
  return ReadInteger(Ini, Section, Key, Default ? 1 : 0) != 0;
}

// Replaces every copy of the key, so the written value is the one read back.
void WriteInteger(CSimpleIniA& Ini, const char* Section, const char* Key, int Value) {
  Ini.SetValue(Section, Key, std::to_string(Value).c_str(), nullptr, true);
}

constexpr std::pair<TProjectionChoice, const char*> kProjectionNames[] = {
    {TProjectionChoice::Sphere, "Sphere"},
    {TProjectionChoice::Map, "Map"},
    {TProjectionChoice::Azimuthal, "Azimuthal"},
};

// A name that is none of the choices keeps the default.
TProjectionChoice ReadProjection(const CSimpleIniA& Ini, TProjectionChoice Default) {
  const char* Value = Ini.GetValue(MainSection, "Projection", nullptr);
  if (Value == nullptr) return Default;
  const QString Text = QString::fromUtf8(Value).trimmed();
  for (const auto& [Choice, Name] : kProjectionNames) {
    if (Text.compare(QLatin1String(Name), Qt::CaseInsensitive) == 0) return Choice;
  }
  return Default;
}

void WriteProjection(CSimpleIniA& Ini, TProjectionChoice Value) {
  for (const auto& [Choice, Name] : kProjectionNames) {
    if (Choice == Value) Ini.SetValue(MainSection, "Projection", Name, nullptr, true);
  }
}

void WriteGeometry(CSimpleIniA& Ini, const char* Section, const TWindowGeometry& G) {
  WriteInteger(Ini, Section, "Top", G.Top);
  WriteInteger(Ini, Section, "Left", G.Left);
  WriteInteger(Ini, Section, "Height", G.Height);
  WriteInteger(Ini, Section, "Width", G.Width);
}

TWindowGeometry ReadGeometry(const CSimpleIniA& Ini, const char* Section,
                             const TWindowGeometry& D) {
  return {ReadInteger(Ini, Section, "Top", D.Top), ReadInteger(Ini, Section, "Left", D.Left),
          ReadInteger(Ini, Section, "Height", D.Height),
          ReadInteger(Ini, Section, "Width", D.Width)};
}

QString InFolder(const QString& Folder) {
  return QDir(Folder).filePath(QString::fromLatin1(TSettingsFile::FileName));
}

}  // namespace

std::optional<QByteArray> ReadBoundedFile(const QString& FileName, std::int64_t MaxBytes) {
  QFile File(FileName);
  if (!File.open(QIODevice::ReadOnly)) return std::nullopt;
  // Read one byte past the limit rather than trusting size(): special files report 0.
  QByteArray Bytes = File.read(MaxBytes + 1);
  if (Bytes.size() > MaxBytes || File.error() != QFileDevice::NoError) return std::nullopt;
  return Bytes;
}

TSettingsFile::TSettingsFile(QString ExeFolder, QString ConfigFolder, TWritablePredicate IsWritable)
    : ExeFolder_(std::move(ExeFolder)),
      ConfigFolder_(std::move(ConfigFolder)),
      IsWritable_(IsWritable ? std::move(IsWritable) : TWritablePredicate(&FolderIsWritable)) {}

TSettingsFile TSettingsFile::ForProgram() {
  // A demonstration keeps its own settings, so that it never moves the operator's windows.
  const QString Own = qEnvironmentVariable("ORVANE_SETTINGS_DIR");
  if (!Own.isEmpty()) return TSettingsFile(Own, Own);
  return TSettingsFile(QCoreApplication::applicationDirPath(), DefaultConfigFolder());
}

QString TSettingsFile::DefaultConfigFolder() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
      .filePath(QStringLiteral("Orvane"));
}

bool TSettingsFile::FolderIsWritable(const QString& Folder) {
  const QFileInfo Dir(Folder);
  if (!Dir.isDir() || !Dir.isWritable()) return false;
  // The replacing write refuses an existing file that is read-only.
  const QFileInfo File(InFolder(Folder));
  return !File.exists() || File.isWritable();
}

QString TSettingsFile::WritePath() const {
  return IsWritable_(ExeFolder_) ? InFolder(ExeFolder_) : InFolder(ConfigFolder_);
}

QString TSettingsFile::ReadPath() const {
  const QString Written = WritePath();
  if (QFileInfo::exists(Written)) return Written;
  // The other place holds either an installed program's shipped settings or those saved
  // while the program's folder could not be written.
  const QString Beside = InFolder(ExeFolder_);
  const QString Other = Written == Beside ? InFolder(ConfigFolder_) : Beside;
  return QFileInfo::exists(Other) ? Other : Written;
}

TMainSettings TSettingsFile::ReadMain() const {
  CSimpleIniA Ini;
  LoadIni(Ini, ReadPath());  // anything short of a loaded file leaves Ini empty: defaults
  const TMainSettings D;
  TMainSettings S;
  S.Window = ReadGeometry(Ini, MainSection, D.Window);
  S.Shadow = ReadBool(Ini, MainSection, "Shadow", D.Shadow);
  S.Friends = ReadBool(Ini, MainSection, "Friends", D.Friends);
  S.Compass = ReadBool(Ini, MainSection, "Compass", D.Compass);
  S.Projection = ReadProjection(Ini, D.Projection);
  S.LongPath = ReadBool(Ini, MainSection, "LongPath", D.LongPath);
  S.BeamWidth = std::clamp(ReadInteger(Ini, MainSection, "BeamWidth", D.BeamWidth), 0, 360);
  const char* Units = Ini.GetValue(MainSection, "Units", nullptr);
  S.Miles = Units != nullptr && QString::fromUtf8(Units).trimmed().compare(
                                    QStringLiteral("mi"), Qt::CaseInsensitive) == 0;
  return S;
}

TWindowGeometry TSettingsFile::ReadWindow(const char* Section,
                                          const TWindowGeometry& Defaults) const {
  CSimpleIniA Ini;
  LoadIni(Ini, ReadPath());
  return ReadGeometry(Ini, Section, Defaults);
}

bool TSettingsFile::HasWindow(const char* Section) const {
  CSimpleIniA Ini;
  LoadIni(Ini, ReadPath());
  return Ini.GetValue(Section, "Top", nullptr) != nullptr ||
         Ini.GetValue(Section, "Left", nullptr) != nullptr;
}

namespace {

// Loads the current settings, lets Change update them and replaces the target file as a
// whole once the new text is complete.
template <typename TChange>
bool Rewrite(const QString& Source, const QString& Target, TChange&& Change) {
  CSimpleIniA Ini;
  // Never replace a file that could not be read whole: its other sections would be lost.
  if (LoadIni(Ini, Source) == TLoad::Unreadable) return false;
  Change(Ini);
  std::string Text;
  Ini.SetSpaces(false);  // key=value
  if (Ini.Save(Text) < 0) return false;
  if (!QDir().mkpath(QFileInfo(Target).absolutePath())) return false;
  QSaveFile File(Target);
  if (!File.open(QIODevice::WriteOnly)) return false;
  if (File.write(Text.data(), static_cast<qint64>(Text.size())) !=
      static_cast<qint64>(Text.size())) {
    File.cancelWriting();
    return false;
  }
  return File.commit();
}

}  // namespace

bool TSettingsFile::WriteAtClose(const TMainSettings& Main,
                                 const std::optional<TWindowGeometry>& Friends,
                                 const std::optional<TWindowGeometry>& Compass) const {
  return WriteChangedAtClose(
      TMainSettingsWrite{Main.Window, Main.Shadow, Main.Friends, Main.Compass, Main.Projection,
                         Main.LongPath},
      Friends, Compass);
}

bool TSettingsFile::WriteChangedAtClose(const TMainSettingsWrite& Main,
                                        const std::optional<TWindowGeometry>& Friends,
                                        const std::optional<TWindowGeometry>& Compass) const {
  if (!Main.Window && !Main.Shadow && !Main.Friends && !Main.Compass && !Main.Projection &&
      !Main.LongPath &&
      !Friends && !Compass) {
    return true;
  }
  return Rewrite(ReadPath(), WritePath(), [&](CSimpleIniA& Ini) {
    if (Main.Window) WriteGeometry(Ini, MainSection, *Main.Window);
    if (Main.Shadow) WriteInteger(Ini, MainSection, "Shadow", *Main.Shadow ? 1 : 0);
    if (Main.Friends) WriteInteger(Ini, MainSection, "Friends", *Main.Friends ? 1 : 0);
    if (Main.Compass) WriteInteger(Ini, MainSection, "Compass", *Main.Compass ? 1 : 0);
    if (Main.Projection) WriteProjection(Ini, *Main.Projection);
    if (Main.LongPath) WriteInteger(Ini, MainSection, "LongPath", *Main.LongPath ? 1 : 0);
    if (Friends) WriteGeometry(Ini, "Friends", *Friends);
    if (Compass) WriteGeometry(Ini, "Compass", *Compass);
  });
}

bool TSettingsFile::WriteWindow(const char* Section, const TWindowGeometry& Geometry) const {
  return Rewrite(ReadPath(), WritePath(),
                 [&](CSimpleIniA& Ini) { WriteGeometry(Ini, Section, Geometry); });
}

std::string ReadProfileString(const std::string& File, const std::string& Section,
                              const std::string& Key, const std::string& Default) {
  CSimpleIniA Ini;
  if (LoadIni(Ini, QString::fromStdString(File)) != TLoad::Loaded) return Default;
  const char* Value = Ini.GetValue(Section.c_str(), Key.c_str(), nullptr);
  if (Value == nullptr) return Default;
  // Files written on Windows hold the ANSI code page; those written here, UTF-8.
  const std::string_view Text(Value);
  if (QByteArrayView(Text.data(), static_cast<qsizetype>(Text.size())).isValidUtf8()) {
    return std::string(Text);
  }
  return globe::AnsiToUtf8(Text);
}

std::string ReadProfileStringOrThrow(const std::string& File, const std::string& Section,
                                     const std::string& Key, const std::string& Default) {
  CSimpleIniA Ini;
  if (LoadIni(Ini, QString::fromStdString(File)) == TLoad::Unreadable)
    throw std::runtime_error("The logger's settings file \"" + File +
                             "\" cannot be read (it is larger than " +
                             std::to_string(MaxSettingsFileSize >> 20) +
                             " MB, damaged or not readable), so the log whose home position is "
                             "wanted is unknown.");
  return ReadProfileString(File, Section, Key, Default);
}

void ResizeToOuter(QWidget& Window, QSize Outer) {
  const QRect Frame = Window.frameGeometry();
  const QRect Client = Window.geometry();
  Window.resize(std::max(0, Outer.width() - (Frame.width() - Client.width())),
                std::max(0, Outer.height() - (Frame.height() - Client.height())));
}

namespace {

// Shared area of two rectangles given as left, top, width, height; 64 bits, since values
// from the file may reach the ends of the int range.
std::int64_t Overlap(std::int64_t L, std::int64_t T, std::int64_t W, std::int64_t H,
                     const QRect& R) {
  const std::int64_t w = std::min<std::int64_t>(L + W, R.x() + std::int64_t{R.width()}) -
                         std::max<std::int64_t>(L, R.x());
  const std::int64_t h = std::min<std::int64_t>(T + H, R.y() + std::int64_t{R.height()}) -
                         std::max<std::int64_t>(T, R.y());
  return w > 0 && h > 0 ? w * h : 0;
}

}  // namespace

TWindowGeometry KeepOnScreen(const TWindowGeometry& Geometry, const QList<QRect>& Available,
                             QSize Minimum) {
  TWindowGeometry G = Geometry;
  G.Width = std::max(G.Width, Minimum.width());
  G.Height = std::max(G.Height, Minimum.height());
  if (Available.isEmpty()) return G;
  const QRect* Screen = &Available.front();
  std::int64_t Best = 0;
  for (const QRect& R : Available) {
    if (const std::int64_t Area = Overlap(G.Left, G.Top, G.Width, G.Height, R); Area > Best) {
      Best = Area;
      Screen = &R;
    }
  }
  // The minimum wins over a screen smaller than it: the window cannot be made smaller.
  G.Width = std::max(std::min(G.Width, Screen->width()), Minimum.width());
  G.Height = std::max(std::min(G.Height, Screen->height()), Minimum.height());
  G.Left = std::max(std::min(G.Left, Screen->x() + Screen->width() - G.Width), Screen->x());
  G.Top = std::max(std::min(G.Top, Screen->y() + Screen->height() - G.Height), Screen->y());
  return G;
}

QList<QRect> AvailableScreens() {
  QList<QRect> Available;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    // The primary screen first: it takes a window that lies on none.
    if (const QScreen* Primary = QGuiApplication::primaryScreen()) {
      Available.append(Primary->availableGeometry());
    }
    for (const QScreen* Screen : QGuiApplication::screens()) {
      if (Screen != QGuiApplication::primaryScreen()) Available.append(Screen->availableGeometry());
    }
  }
  return Available;
}

TWindowGeometry KeepOnScreen(const TWindowGeometry& Geometry, QSize Minimum) {
  return KeepOnScreen(Geometry, AvailableScreens(), Minimum);
}

TBesidePlaces PlaceBeside(const TWindowGeometry& Main, QSize Friends, QSize Compass,
                          const QList<QRect>& Available) {
  // A few pixels apart, so that the frames do not touch.
  constexpr int Gap = 8;
  const int ColumnWidth = std::max(Friends.width(), Compass.width());
  const int ColumnHeight = Friends.height() + Gap + Compass.height();
  QRect Screen = Available.isEmpty() ? QRect() : Available.front();
  std::int64_t Best = 0;
  for (const QRect& R : Available) {
    if (const std::int64_t Area = Overlap(Main.Left, Main.Top, Main.Width, Main.Height, R);
        Area > Best) {
      Best = Area;
      Screen = R;
    }
  }
  const int RightX = Main.Left + Main.Width + Gap;
  const int LeftX = Main.Left - Gap - ColumnWidth;
  const int RoomRight = Screen.x() + Screen.width() - (Main.Left + Main.Width);
  const int RoomLeft = Main.Left - Screen.x();
  int X = RightX;
  if (Available.isEmpty() || RightX + ColumnWidth <= Screen.x() + Screen.width()) {
    X = RightX;
  } else if (LeftX >= Screen.x()) {
    X = LeftX;
  } else {
    X = RoomRight >= RoomLeft ? RightX : LeftX;
    X = std::max(std::min(X, Screen.x() + Screen.width() - ColumnWidth), Screen.x());
  }
  // The column starts level with the main window, raised as far as the screen's bottom needs.
  int Y = Main.Top;
  if (!Available.isEmpty()) {
    Y = std::max(std::min(Y, Screen.y() + Screen.height() - ColumnHeight), Screen.y());
  }
  TBesidePlaces Places{{Y, X, Friends.height(), Friends.width()},
                       {Y + Friends.height() + Gap, X, Compass.height(), Compass.width()}};
  if (!Available.isEmpty()) {
    Places.Friends = KeepOnScreen(Places.Friends, {Screen}, Friends);
    Places.Compass = KeepOnScreen(Places.Compass, {Screen}, Compass);
  }
  return Places;
}

TFrameFit::TFrameFit(QWidget& Window, TApply Apply)
    : QObject(&Window),
      Window_(Window),
      Apply_(Apply ? std::move(Apply)
                   : TApply([&Window](QSize Outer) { ResizeToOuter(Window, Outer); })) {
  Window_.installEventFilter(this);
}

void TFrameFit::Expect(QSize Outer) {
  Pending_ = Outer;
  ApplyIfFramed();
}

bool TFrameFit::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == &Window_ && Pending_) {
    const QEvent::Type Type = Event->type();
    if (Type == QEvent::Show || Type == QEvent::Move || Type == QEvent::Resize) ApplyIfFramed();
  }
  return QObject::eventFilter(Watched, Event);
}

void TFrameFit::ApplyIfFramed() {
  if (!Pending_ || Window_.frameGeometry().size() == Window_.size()) return;
  const QSize Outer = *Pending_;
  Pending_.reset();  // before: applying it moves and resizes the window again
  Apply_(Outer);
}

}  // namespace orvane
