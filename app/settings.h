#pragma once
// The program's own settings file "Orvane.ini": main window geometry, the shadow switch, the
// two "Show with program start" marks, and the geometry of the friends and compass windows.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace orvane {

/// Largest settings file that is read; a larger one is treated as unreadable.
inline constexpr std::int64_t MaxSettingsFileSize = 1024 * 1024;

/// Outer position and size of a window in screen pixels.
struct TWindowGeometry {
  int Top = 100;
  int Left = 100;
  int Height = 0;
  int Width = 0;
  friend bool operator==(const TWindowGeometry&, const TWindowGeometry&) = default;
};

/// The view of the main window: the globe, the flat world map, or the azimuthal map centred
/// on home. Saved as its menu caption ("Sphere", "Map", "Azimuthal").
enum class TProjectionChoice { Sphere, Map, Azimuthal };

/// Section "Main" of the settings file.
struct TMainSettings {
  TWindowGeometry Window{100, 100, 523, 543};
  bool Shadow = false;    ///< ShadowEnabled
  bool Friends = false;   ///< open the friends window at program start
  bool Compass = false;   ///< open the compass window at program start
  TProjectionChoice Projection = TProjectionChoice::Sphere;
  bool LongPath = false;  ///< draw the long great-circle path beside the short one
  /// Width of the beam wedge in degrees ("BeamWidth"); 0 hides the wedge. Read only: the
  /// operator sets it in the file. Kept within 0 … 360.
  int BeamWidth = 30;
  /// Distances in statute miles ("Units" = "mi") rather than kilometres ("km", the
  /// default; any other text counts as km). Read only.
  bool Miles = false;
  friend bool operator==(const TMainSettings&, const TMainSettings&) = default;
};

/// What the close writes into section "Main"; a key left empty keeps its value in the file.
struct TMainSettingsWrite {
  std::optional<TWindowGeometry> Window;
  std::optional<bool> Shadow;
  std::optional<bool> Friends;
  std::optional<bool> Compass;
  std::optional<TProjectionChoice> Projection;
  std::optional<bool> LongPath;
};

/// Defaults of the secondary windows' sections.
inline constexpr TWindowGeometry DefaultFriendsGeometry{100, 100, 215, 280};
inline constexpr TWindowGeometry DefaultCompassGeometry{100, 100, 297, 276};

/// Reads and writes "Orvane.ini". The file lives beside the executable; when that folder
/// cannot be written (an installed program) it lives in ConfigFolder instead, so that the
/// settings written at close are not lost. Every call opens, uses and closes the file.
///
/// Reading follows the platform's profile rules: section and key names compare without
/// regard to case, the first of repeated keys (also across repeated sections) wins, and a
/// missing file, section or key, a value that is not a decimal integer, or a file that
/// cannot be read whole (or is larger than MaxSettingsFileSize) yields the defaults.
class TSettingsFile {
 public:
  static constexpr const char* FileName = "Orvane.ini";

  /// Whether a new or replaced file may be written in a folder.
  using TWritablePredicate = std::function<bool(const QString& Folder)>;

  /// ExeFolder is the executable's folder, ConfigFolder the per-user fallback. IsWritable
  /// defaults to FolderIsWritable.
  TSettingsFile(QString ExeFolder, QString ConfigFolder, TWritablePredicate IsWritable = {});

  /// The settings of the running program: beside QCoreApplication::applicationDirPath(),
  /// falling back to DefaultConfigFolder(); in the folder ORVANE_SETTINGS_DIR names when
  /// that is set (a demonstration's own settings).
  static TSettingsFile ForProgram();

  /// The user's configuration folder for Orvane: the generic configuration location
  /// followed by "Orvane".
  static QString DefaultConfigFolder();

  /// True when the folder exists and a file could be created in it.
  static bool FolderIsWritable(const QString& Folder);

  /// The file that is written: beside the executable when its folder is writable, else in
  /// the configuration folder.
  [[nodiscard]] QString WritePath() const;

  /// The file that is read: the file that is written when it exists, else the other one
  /// (beside the executable or in the configuration folder) when it exists, else
  /// WritePath(). A write starts from this file's contents, so nothing is lost by moving.
  [[nodiscard]] QString ReadPath() const;

  /// Section "Main" with its defaults filled in.
  [[nodiscard]] TMainSettings ReadMain() const;
  /// Section "Friends" or "Compass" (Section names it) with the given defaults filled in.
  [[nodiscard]] TWindowGeometry ReadWindow(const char* Section,
                                           const TWindowGeometry& Defaults) const;
  /// Whether Section holds a window position ("Top" or "Left") the user left it at. A window
  /// never closed nor showing at a close has none, and takes its first place beside the
  /// main window (PlaceBeside).
  [[nodiscard]] bool HasWindow(const char* Section) const;

  /// The write at program close: "Main"/"Top", "Left", "Height", "Width", "Shadow",
  /// "Friends", "Compass", "Projection", "LongPath" in this order; then "Friends"/"Top", "Left", "Height",
  /// "Width" only when Friends is given (the window is showing), then the same for "Compass". Other
  /// sections and keys of the file are kept. Returns false when nothing was written: the
  /// file exists but cannot be read whole (it is then left alone rather than emptied), or
  /// the new file cannot be written. The file is replaced only once its new text is
  /// complete.
  bool WriteAtClose(const TMainSettings& Main, const std::optional<TWindowGeometry>& Friends,
                    const std::optional<TWindowGeometry>& Compass) const;
  /// The same, writing only the keys of Main that are given; when nothing at all is given
  /// the file is not touched (and true returned).
  bool WriteChangedAtClose(const TMainSettingsWrite& Main,
                           const std::optional<TWindowGeometry>& Friends,
                           const std::optional<TWindowGeometry>& Compass) const;

  /// Writes one window's "Top", "Left", "Height", "Width" into Section, keeping the rest of
  /// the file; the same failure rules as WriteAtClose.
  bool WriteWindow(const char* Section, const TWindowGeometry& Geometry) const;

 private:
  QString ExeFolder_;
  QString ConfigFolder_;
  TWritablePredicate IsWritable_;
};

/// The whole file, or nothing when it cannot be opened, cannot be read whole or holds more
/// than MaxBytes: files from outside are read with a bound.
[[nodiscard]] std::optional<QByteArray> ReadBoundedFile(const QString& FileName,
                                                        std::int64_t MaxBytes);

/// Resizes a top-level window's client area so that its outer size, frame included, is
/// Outer. Before the window system has framed the window the frame counts as none; see
/// TFrameFit.
void ResizeToOuter(QWidget& Window, QSize Outer);

/// A stored outer geometry made fit for the screens: the size no smaller than Minimum and
/// no larger than the available area of the screen the window lies on most (the first
/// screen, the primary, when it lies on none), and the position moved so that the whole
/// window lies in that area. Values from the settings file may be anything, and a window
/// off every screen or larger than any would be lost to the user. With no screens the
/// geometry only gets its minimum size.
[[nodiscard]] TWindowGeometry KeepOnScreen(const TWindowGeometry& Geometry,
                                           const QList<QRect>& Available, QSize Minimum);
/// The same over the available areas of the application's screens.
[[nodiscard]] TWindowGeometry KeepOnScreen(const TWindowGeometry& Geometry, QSize Minimum);

/// The available areas of the application's screens, the primary first; none without a
/// graphical application.
[[nodiscard]] QList<QRect> AvailableScreens();

/// First places of the friends and compass windows (outer geometry), when the settings hold
/// none: one above the other in a column beside Main on the screen Main lies on most, to
/// its right when the column fits there, else to its left, else on the side with more room
/// (and kept on that screen, over Main only as far as the screen leaves no choice). Left
/// at the design's place the two would cover the globe and the menu bar.
struct TBesidePlaces {
  TWindowGeometry Friends;
  TWindowGeometry Compass;
};
[[nodiscard]] TBesidePlaces PlaceBeside(const TWindowGeometry& Main, QSize Friends, QSize Compass,
                                        const QList<QRect>& Available);

/// Gives a top-level window the outer size stored for it once its frame is known. A window
/// manager frames a window some time after it is shown, and only then is the frame's size
/// known; an outer size applied before that is taken as the inner size, and the window
/// would grow by its frame at every program start. Expect() names the outer size; the
/// first show, move or resize that finds the frame known applies it through Apply, once.
class TFrameFit : public QObject {
 public:
  using TApply = std::function<void(QSize Outer)>;
  /// Watches Window, which owns this object. Apply defaults to ResizeToOuter.
  explicit TFrameFit(QWidget& Window, TApply Apply = {});
  /// Applies Outer once the frame is known: at once if it is.
  void Expect(QSize Outer);
  /// Whether an outer size is still waiting for the frame.
  [[nodiscard]] bool Pending() const noexcept { return Pending_.has_value(); }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void ApplyIfFramed();
  QWidget& Window_;
  TApply Apply_;
  std::optional<QSize> Pending_;
};

/// A string value of any INI file with the same profile rules as the settings file (names
/// compare without regard to case, the first of repeated keys wins), as UTF-8: a value that
/// is not valid UTF-8 is read as Windows-1252. Default when the file, section or key is
/// missing or the file cannot be read whole.
[[nodiscard]] std::string ReadProfileString(const std::string& File, const std::string& Section,
                                            const std::string& Key, const std::string& Default);

/// As ReadProfileString, but a file that is there and cannot be read whole (unreadable, or
/// larger than MaxSettingsFileSize) throws std::runtime_error naming it, instead of passing
/// for a file without the key: the logger's own settings must not be lost silently.
[[nodiscard]] std::string ReadProfileStringOrThrow(const std::string& File,
                                                   const std::string& Section,
                                                   const std::string& Key,
                                                   const std::string& Default);

}  // namespace orvane
