#include "app/program.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
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

TLoggerAccess::TLoggerAccess(const QString& HostName, std::chrono::milliseconds Timeout)
    : FHost(HostName, Timeout) {}

TForm1Environment TLoggerAccess::Environment(TSettingsFile Settings, QString ExeFolder) {
  TForm1Environment E;
  E.Registry = &FHost;
  E.Database = &FDatabase;
  E.Windows = &FHost;
  E.Settings = std::move(Settings);
  E.ExeFolder = std::move(ExeFolder);
  return E;
}

TOrvaneWindows::TOrvaneWindows(TForm1Environment Environment)
    : Form1_(std::make_unique<TForm1>(Environment)),
      Friends_(new TfrmFriends(Form1_->LoggerInstallPath(), Environment.Settings, Form1_.get())),
      Compass_(new TfCompass(Form1_.get())) {
  const TSettingsFile Settings = Environment.Settings;
  const TWindowGeometry G = KeepOnScreen(Settings.ReadWindow("Compass", DefaultCompassGeometry),
                                         QSize(TfCompass::kMinWidth, TfCompass::kMinHeight));
  Compass_->SetWindowBounds(G.Left, G.Top, G.Width, G.Height);
  Compass_->OnClose = [Settings](const TfCompass& Compass) {
    Settings.WriteWindow("Compass", Compass.Geometry());
  };
  Form1_->SetSecondaryWindows(Friends_, Compass_);
}

TOrvaneWindows::~TOrvaneWindows() = default;

}  // namespace orvane
