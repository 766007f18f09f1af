#include "tools/simulator/demo.h"

#include <QLineEdit>
#include <QTimer>
#include <utility>

#include "tools/simulator/qsowindow.h"

namespace orvane::sim {

const std::vector<TDemoContact>& DemoContacts() {
  static const std::vector<TDemoContact> Contacts = {
      {QStringLiteral("W1AW"), QStringLiteral("FN31PR")},    // ARRL headquarters, Newington
      {QStringLiteral("4U1ITU"), QStringLiteral("JN36BF")},  // ITU headquarters, Geneva
      {QStringLiteral("JA1RL"), {}},                         // JARL headquarters, Tokyo
      {QStringLiteral("VK2WI"), {}},                         // WIA, New South Wales
      {QStringLiteral("LU4AA"), {}},                         // Radio Club Argentino
      {QStringLiteral("5Z4RS"), {}},                         // Radio Society of Kenya
      {QStringLiteral("GB2RS"), {}},                         // RSGB news station
      {QStringLiteral("ZL6A"), {}},                          // NZART
      {QStringLiteral("4U1UN"), QStringLiteral("FN30AS")},   // United Nations, New York
  };
  return Contacts;
}

std::vector<TDemoStep> DemoScript(const std::vector<TDemoContact>& Contacts,
                                  std::chrono::milliseconds CharTime,
                                  std::chrono::milliseconds Hold) {
  std::vector<TDemoStep> Steps;
  const auto Type = [&](TDemoStep::TField Field, const QString& Text) {
    for (qsizetype i = 1; i <= Text.size(); ++i) Steps.push_back({CharTime, Field, Text.left(i)});
  };
  for (const TDemoContact& Contact : Contacts) {
    Type(TDemoStep::dfCallsign, Contact.Call);
    Type(TDemoStep::dfLocator, Contact.Locator);
    Steps.push_back({Hold, TDemoStep::dfCallsign, QString()});
    if (!Contact.Locator.isEmpty())
      Steps.push_back({std::chrono::milliseconds(0), TDemoStep::dfLocator, QString()});
  }
  return Steps;
}

TDemoTyper::TDemoTyper(TQsoEntryWindow& Window, std::vector<TDemoStep> Script, QObject* Parent)
    : QObject(Parent), FWindow(Window), FScript(std::move(Script)), FTimer(new QTimer(this)) {
  FTimer->setSingleShot(true);
  connect(FTimer, &QTimer::timeout, this, &TDemoTyper::Play);
}

void TDemoTyper::Start() {
  if (FScript.empty()) return;
  FNext = 0;
  FTimer->start(FScript.front().Delay);
}

void TDemoTyper::Play() {
  const TDemoStep& Step = FScript[FNext];
  QLineEdit& Edit = Step.Field == TDemoStep::dfCallsign ? FWindow.Callsign() : FWindow.Locator();
  Edit.setText(Step.Text);
  FNext = (FNext + 1) % FScript.size();
  FTimer->start(FScript[FNext].Delay);
}

}  // namespace orvane::sim
