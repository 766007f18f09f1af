#include "tools/simulator/commands.h"

#include <fcntl.h>
#include <unistd.h>

#include <QLineEdit>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

#include "tools/simulator/qsowindow.h"

namespace orvane::sim {

TParsedCommand ParseCommand(QStringView Line) {
  if (Line.endsWith(u'\r')) Line.chop(1);
  const qsizetype Blank = Line.indexOf(u' ');
  const QStringView Word = Blank < 0 ? Line : Line.left(Blank);
  const QStringView Rest = Blank < 0 ? QStringView() : Line.mid(Blank + 1);
  const auto Text = [&](TCommand::TKind Kind) {
    return TParsedCommand{TCommand{Kind, Rest.toString(), false}, {}};
  };
  if (Word.isEmpty()) return {std::nullopt, QStringLiteral("empty command")};
  if (Word == u"call") return Text(TCommand::ckCall);
  if (Word == u"locator") return Text(TCommand::ckLocator);
  if (Word == u"azimuth") return Text(TCommand::ckAzimuth);
  if (Word == u"repair") {
    if (Rest == u"on") return {TCommand{TCommand::ckRepair, {}, true}, {}};
    if (Rest == u"off") return {TCommand{TCommand::ckRepair, {}, false}, {}};
    return {std::nullopt, QStringLiteral("repair takes on or off")};
  }
  if (Word == u"hang") {
    bool Ok = false;
    const double Seconds = Rest.toDouble(&Ok);
    if (!Ok || !std::isfinite(Seconds) || Seconds < 0 || Seconds > kMaxHangSeconds)
      return {std::nullopt, QStringLiteral("hang takes seconds from 0 to 600")};
    return {TCommand{TCommand::ckHang, {}, false, Seconds}, {}};
  }
  if (Word == u"quit") {
    if (Blank >= 0) return {std::nullopt, QStringLiteral("quit takes nothing after it")};
    return {TCommand{TCommand::ckQuit, {}, false}, {}};
  }
  return {std::nullopt, QStringLiteral("unknown command '%1'").arg(Word.left(40))};
}

QString ApplyCommand(const TCommand& Command, TQsoEntryWindow& Window) {
  switch (Command.Kind) {
    case TCommand::ckCall:
      Window.Callsign().setText(Command.Text);
      break;
    case TCommand::ckLocator:
      Window.Locator().setText(Command.Text);
      break;
    case TCommand::ckAzimuth:
      Window.Azimuth().setText(Command.Text);
      break;
    case TCommand::ckRepair:
      if (Command.On) {
        Window.ShowRepair(std::chrono::milliseconds(0));
      } else {
        Window.HideRepair();
      }
      break;
    case TCommand::ckQuit:
      Window.close();
      break;
    case TCommand::ckHang:
      break;
  }
  return QStringLiteral("ok");
}

void Hang(double Seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(Seconds));
}

std::vector<std::optional<QByteArray>> TLineSplitter::Feed(QByteArrayView Bytes) {
  std::vector<std::optional<QByteArray>> Lines;
  while (!Bytes.empty()) {
    const qsizetype End = Bytes.indexOf('\n');
    const QByteArrayView Piece = End < 0 ? Bytes : Bytes.first(End);
    if (!FOverlong) {
      if (static_cast<std::size_t>(FPending.size() + Piece.size()) > MaxLine) {
        FOverlong = true;
        FPending.clear();
      } else {
        FPending.append(Piece);
      }
    }
    if (End < 0) break;
    if (FOverlong) {
      Lines.emplace_back(std::nullopt);
    } else {
      Lines.emplace_back(std::exchange(FPending, QByteArray()));
    }
    FOverlong = false;
    Bytes = Bytes.sliced(End + 1);
  }
  return Lines;
}

TCommandReader::TCommandReader(int Fd, THandler Handler, QObject* Parent)
    : QObject(Parent), FFd(Fd), FHandler(std::move(Handler)) {
  // Without an open descriptor (started with stdin closed) there is nothing to read.
  if (::fcntl(FFd, F_GETFD) == -1) return;
  FNotifier = new QSocketNotifier(FFd, QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, &TCommandReader::ReadSome);
}

void TCommandReader::ReadSome() {
  std::array<char, 4096> Buffer;
  const ssize_t Count = ::read(FFd, Buffer.data(), Buffer.size());
  if (Count < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
  if (Count <= 0) {
    // The end of the input (or a broken one) only stops the commands: scripts start the
    // simulator in the background with nothing to say.
    FNotifier->setEnabled(false);
    return;
  }
  for (const auto& Line : FSplitter.Feed(QByteArrayView(Buffer.data(), Count))) FHandler(Line);
}

}  // namespace orvane::sim
