// Control of the simulator through standard input, one command a line, for tests and
// scripts:
//
//   call TEXT        the callsign field's text (TEXT may be empty)
//   locator TEXT     the locator field's text
//   azimuth TEXT     the azimuth field's text, until the callsign or locator changes
//   repair on|off    show or hide the repair progress window
//   hang SECONDS     stop answering requests for that long (0 to 600), as a busy logger does
//   quit             close the QSO-entry window, which ends the simulator
//
// Each command is answered on standard output with "ok" or "error: <why>" once applied.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringView>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace orvane::sim {

class TQsoEntryWindow;

struct TCommand {
  enum TKind { ckCall, ckLocator, ckAzimuth, ckRepair, ckQuit, ckHang };
  TKind Kind = ckQuit;
  QString Text;        ///< call, locator, azimuth: the text after the first blank, as it is
  bool On = false;     ///< repair
  double Seconds = 0;  ///< hang
  bool operator==(const TCommand&) const = default;
};

struct TParsedCommand {
  std::optional<TCommand> Command;
  QString Error;  ///< why the line is not a command, when Command is empty
};

/// One line without its line feed (a carriage return before it is dropped).
[[nodiscard]] TParsedCommand ParseCommand(QStringView Line);

/// The longest hang: long enough for any stall a test wants, short enough that a slip of
/// the keyboard does not leave the simulator dead for good.
inline constexpr double kMaxHangSeconds = 600;

/// Applies a command to the window; the answer line ("ok" or "error: ..."). A hang is not
/// applied here: see Hang.
QString ApplyCommand(const TCommand& Command, TQsoEntryWindow& Window);

/// Blocks the calling (event-loop) thread for Seconds: requests to the logger-host service
/// and commands wait meanwhile, and are handled in order afterwards. Called after the
/// command's "ok" is written, so that the one who sent it is not kept waiting too.
void Hang(double Seconds);

/// Cuts a byte stream into lines of at most MaxLine bytes. A longer line is dropped whole
/// (it is reported once, as nullopt, when its end arrives), so memory stays bounded.
class TLineSplitter {
 public:
  static constexpr std::size_t MaxLine = 4096;

  /// The lines completed by these bytes, in order; nullopt for a line that was too long.
  [[nodiscard]] std::vector<std::optional<QByteArray>> Feed(QByteArrayView Bytes);

 private:
  QByteArray FPending;
  bool FOverlong = false;
};

/// Reads commands from a file descriptor (standard input) on the event loop and hands each
/// line to Handler; the end of the input stops reading and nothing else.
class TCommandReader final : public QObject {
 public:
  using THandler = std::function<void(const std::optional<QByteArray>& Line)>;
  TCommandReader(int Fd, THandler Handler, QObject* Parent = nullptr);

 private:
  void ReadSome();

  int FFd;
  THandler FHandler;
  TLineSplitter FSplitter;
  QSocketNotifier* FNotifier = nullptr;
};

}  // namespace orvane::sim
