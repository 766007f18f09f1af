// The friends window: the operator's own notes about the callsign being logged, read from
// the notes file "friends.ini" in the logger's folder.
#pragma once

#include <QPlainTextEdit>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "app/settings.h"

class QCloseEvent;
class QShowEvent;

namespace orvane {

/// The largest notes file that is read; a larger one counts as holding no notes, so that a
/// runaway file cannot exhaust memory.
inline constexpr std::int64_t MaxFriendsFileSize = 16 * 1024 * 1024;

/// The smallest outer size a stored geometry gives the friends window.
inline constexpr QSize kFriendsMinimumSize{120, 80};

/// The lines the friends window shows for Call (surrounding blanks are ignored), read from
/// the notes file FileName afresh on every call, so that edits show at once.
///
/// - No file at FileName, or Call shorter than 3 characters: std::nullopt, the window keeps
///   what it shows.
/// - A file with sections: for each section in file order, the first value of the key Call
///   (compared without regard to letter case); each value that is not empty becomes a line,
///   preceded by a line with Call unless Call already occurs (case-sensitively) in the lines
///   gathered so far.
/// - A file without sections: its plain lines "name = value"; the first line whose name,
///   without surrounding blanks and without regard to letter case, is Call gives Call and
///   the value (without surrounding blanks) as two lines when the value is not empty.
/// - No notes, an unreadable file or one larger than MaxFriendsFileSize: an empty list.
///
/// The file's text is UTF-8 when it is valid UTF-8 (an initial byte order mark is dropped),
/// Windows-1252 otherwise.
[[nodiscard]] std::optional<QStringList> ReadFriendsNotes(const QString& FileName,
                                                          const QString& Call);

/// The small window with the notes about the current callsign. Closing it only hides it
/// and writes its geometry to the settings file.
class TfrmFriends : public QWidget {
  Q_OBJECT

 public:
  /// LoggerInstallPath is a prefix of the notes file's path: it is used without adding a
  /// separator. The window's outer geometry is read from section "Friends" of Settings
  /// here (missing values, or values that are not numbers, take the defaults Top 100,
  /// Left 100, Height 215, Width 280), and kept on a screen (KeepOnScreen).
  TfrmFriends(const QString& LoggerInstallPath, TSettingsFile Settings, QWidget* Parent = nullptr);

  /// The logger's folder once it is known (it may come after the window was made).
  void SetLoggerInstallPath(const QString& LoggerInstallPath) {
    friendsini_ = LoggerInstallPath + QStringLiteral("friends.ini");
  }

  /// Fills Memo1 with the notes for Call, each line ended by a line break; see
  /// ReadFriendsNotes for when the text is left as it was.
  void Friends(const QString& call);

  /// Writes the window's current outer "Top", "Left", "Height" and "Width" into section
  /// "Friends" of the settings file (TSettingsFile::WriteWindow); a failure is not reported.
  void SaveGeometry() const;
  /// The window's current outer geometry.
  [[nodiscard]] TWindowGeometry Geometry() const;

  [[nodiscard]] const QString& friendsini() const { return friendsini_; }
  [[nodiscard]] QPlainTextEdit* Memo1() const { return Memo1_; }

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  void FormCreate();

  TSettingsFile Settings_;
  TFrameFit* FrameFit_;  // owned by the window as its child
  QString friendsini_;
  QPlainTextEdit* Memo1_;  // owned by the window as its child
};

}  // namespace orvane
