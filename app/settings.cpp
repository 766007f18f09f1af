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
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QWidget>
#include <algorithm>
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
  return S;
}

TWindowGeometry TSettingsFile::ReadWindow(const char* Section,
                                          const TWindowGeometry& Defaults) const {
  CSimpleIniA Ini;
  LoadIni(Ini, ReadPath());
  return ReadGeometry(Ini, Section, Defaults);
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
  return Rewrite(ReadPath(), WritePath(), [&](CSimpleIniA& Ini) {
    WriteGeometry(Ini, MainSection, Main.Window);
    WriteInteger(Ini, MainSection, "Shadow", Main.Shadow ? 1 : 0);
    WriteInteger(Ini, MainSection, "Friends", Main.Friends ? 1 : 0);
    WriteInteger(Ini, MainSection, "Compass", Main.Compass ? 1 : 0);
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

void ResizeToOuter(QWidget& Window, QSize Outer) {
  const QRect Frame = Window.frameGeometry();
  const QRect Client = Window.geometry();
  Window.resize(std::max(0, Outer.width() - (Frame.width() - Client.width())),
                std::max(0, Outer.height() - (Frame.height() - Client.height())));
}

}  // namespace orvane
