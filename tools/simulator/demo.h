// The demonstration: well-known stations typed into the QSO-entry window one after the
// other, as an operator would.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <cstddef>
#include <vector>

class QTimer;

namespace orvane::sim {

class TQsoEntryWindow;

struct TDemoContact {
  QString Call;
  QString Locator;  ///< typed after the callsign when not empty
};

/// Club and headquarters stations spread over the continents.
[[nodiscard]] const std::vector<TDemoContact>& DemoContacts();

/// One step of the demonstration: after Delay, set a field's text.
struct TDemoStep {
  enum TField { dfCallsign, dfLocator };
  std::chrono::milliseconds Delay;
  TField Field;
  QString Text;
  bool operator==(const TDemoStep&) const = default;
};

/// The steps for the contacts, one character every CharTime, each contact held for Hold
/// after its last character and then cleared (callsign and locator together).
[[nodiscard]] std::vector<TDemoStep> DemoScript(const std::vector<TDemoContact>& Contacts,
                                                std::chrono::milliseconds CharTime,
                                                std::chrono::milliseconds Hold);

/// Plays a script into the window, over and over, until destroyed.
class TDemoTyper final : public QObject {
 public:
  TDemoTyper(TQsoEntryWindow& Window, std::vector<TDemoStep> Script, QObject* Parent = nullptr);
  void Start();

 private:
  void Play();

  TQsoEntryWindow& FWindow;
  std::vector<TDemoStep> FScript;
  std::size_t FNext = 0;
  QTimer* FTimer;
};

}  // namespace orvane::sim
