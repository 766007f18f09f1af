#include "tools/simulator/qsowindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "tools/simulator/widgetlookup.h"

namespace orvane::sim {

namespace {

constexpr std::chrono::milliseconds kMenuRepairTime{4000};

QFrame* NewPanel(QWidget* Parent) {
  auto* Panel = new QFrame(Parent);
  Panel->setFrameShape(QFrame::StyledPanel);
  SetWindowClass(*Panel, "TPanel");
  return Panel;
}

// The logger's callsign and locator fields turn what is typed into capitals.
void UpperCaseAsTyped(QLineEdit* Edit) {
  QObject::connect(Edit, &QLineEdit::textEdited, Edit, [Edit](const QString& Text) {
    const QString Upper = Text.toUpper();
    if (Upper == Text) return;
    const int Cursor = Edit->cursorPosition();
    Edit->setText(Upper);
    Edit->setCursorPosition(Cursor);
  });
}

QLabel* Caption(const QString& Text, QWidget* Buddy, QWidget* Parent) {
  auto* Label = new QLabel(Text, Parent);
  Label->setBuddy(Buddy);
  return Label;
}

}  // namespace

TProgressWindow::TProgressWindow() {
  SetWindowClass(*this, "TfmProgress");
  setWindowTitle(QStringLiteral("Repair database"));
  auto* Layout = new QVBoxLayout(this);
  Layout->addWidget(new QLabel(QStringLiteral("Repairing the database, please wait…"), this));
  auto* Bar = new QProgressBar(this);
  Bar->setRange(0, 0);  // busy: the logger does not say how far it is
  Bar->setMinimumWidth(280);
  Layout->addWidget(Bar);
}

TQsoEntryWindow::TQsoEntryWindow(const QString& LogName, const QString& HomeText, TPlacer Placer)
    : FPlacer(std::move(Placer)), FProgress(std::make_unique<TProgressWindow>()) {
  SetWindowClass(*this, "TfmEditNewQso");
  setWindowTitle(QStringLiteral("QSO entry - ") + LogName);

  auto* Layout = new QVBoxLayout(this);
  auto* Menu = new QMenuBar(this);
  QMenu* Qso = Menu->addMenu(QStringLiteral("&QSO"));
  QAction* NewAction =
      Qso->addAction(QStringLiteral("&New contact"), this, &TQsoEntryWindow::NewContact);
  NewAction->setShortcut(QKeySequence::New);
  Qso->addSeparator();
  QAction* CloseAction = Qso->addAction(QStringLiteral("&Close"), this, &QWidget::close);
  CloseAction->setShortcut(QKeySequence::Close);
  QMenu* Database = Menu->addMenu(QStringLiteral("&Database"));
  Database->addAction(QStringLiteral("&Repair database…"), this,
                      [this] { ShowRepair(kMenuRepairTime); });
  Layout->setMenuBar(Menu);

  // Children are made in the order the program counts them.
  QFrame* Top = NewPanel(this);
  QFrame* Main = NewPanel(this);
  Layout->addWidget(Top);
  Layout->addWidget(Main, 1);

  auto* TopLayout = new QHBoxLayout(Top);
  QFrame* Clock = NewPanel(Top);
  QFrame* Band = NewPanel(Top);
  TopLayout->addWidget(Clock);
  TopLayout->addWidget(Band, 1);

  auto* ClockLayout = new QFormLayout(Clock);
  FDate = new QLabel(Clock);
  FTime = new QLabel(Clock);
  ClockLayout->addRow(QStringLiteral("Date (UTC)"), FDate);
  ClockLayout->addRow(QStringLiteral("Time (UTC)"), FTime);

  auto* BandLayout = new QGridLayout(Band);
  auto* BandBox = new QComboBox(Band);
  BandBox->addItems(
      {"160m", "80m", "40m", "30m", "20m", "17m", "15m", "12m", "10m", "6m", "2m", "70cm"});
  BandBox->setCurrentText(QStringLiteral("20m"));
  auto* ModeBox = new QComboBox(Band);
  ModeBox->addItems({"CW", "SSB", "FM", "RTTY", "FT8", "FT4", "PSK31"});
  auto* Frequency = new QLineEdit(QStringLiteral("14.025"), Band);
  BandLayout->addWidget(Caption(QStringLiteral("&Band"), BandBox, Band), 0, 0);
  BandLayout->addWidget(BandBox, 1, 0);
  BandLayout->addWidget(Caption(QStringLiteral("&Mode"), ModeBox, Band), 0, 1);
  BandLayout->addWidget(ModeBox, 1, 1);
  BandLayout->addWidget(Caption(QStringLiteral("&Frequency (MHz)"), Frequency, Band), 0, 2);
  BandLayout->addWidget(Frequency, 1, 2);

  auto* MainLayout = new QGridLayout(Main);
  QFrame* LogPanel = NewPanel(Main);
  QFrame* StationPanel = NewPanel(Main);
  QFrame* Entry = NewPanel(Main);
  MainLayout->addWidget(LogPanel, 0, 0);
  MainLayout->addWidget(StationPanel, 0, 1);
  MainLayout->addWidget(Entry, 1, 0, 1, 2);
  MainLayout->setRowStretch(1, 1);

  auto* LogLayout = new QFormLayout(LogPanel);
  LogLayout->addRow(QStringLiteral("Log"), new QLabel(LogName, LogPanel));
  LogLayout->addRow(QStringLiteral("Home"), new QLabel(HomeText, LogPanel));

  auto* StationLayout = new QFormLayout(StationPanel);
  FStation = new QLabel(StationPanel);
  FStation->setWordWrap(true);
  FStation->setMinimumWidth(220);
  StationLayout->addRow(QStringLiteral("Station"), FStation);

  FAzimuth = new QLineEdit(Entry);
  SetWindowClass(*FAzimuth, "TEdit");
  FAzimuth->setReadOnly(true);
  FAzimuth->setFocusPolicy(Qt::NoFocus);
  FAzimuth->setToolTip(QStringLiteral("Beam heading: short path / long path, degrees"));

  FCallsign = new QLineEdit(Entry);
  SetWindowClass(*FCallsign, "TdxButtonEdit");
  QFont Big = FCallsign->font();
  Big.setBold(true);
  if (Big.pointSizeF() > 0) Big.setPointSizeF(Big.pointSizeF() * 1.3);
  FCallsign->setFont(Big);
  UpperCaseAsTyped(FCallsign);
  QAction* Clear = FCallsign->addAction(style()->standardIcon(QStyle::SP_LineEditClearButton),
                                        QLineEdit::TrailingPosition);
  Clear->setToolTip(QStringLiteral("New contact"));
  connect(Clear, &QAction::triggered, this, &TQsoEntryWindow::NewContact);

  static constexpr std::array<const char*, 6> kEditCaptions = {
      "&Name", "&QTH", "RST &sent", "RST &received", "C&omment", "&Locator"};
  for (std::size_t i = 0; i < FEdits.size(); ++i) {
    FEdits[i] = new QLineEdit(Entry);
    SetWindowClass(*FEdits[i], "TdxEdit");
  }
  UpperCaseAsTyped(FEdits[efLocator]);
  FEdits[efRstSent]->setMaxLength(3);
  FEdits[efRstReceived]->setMaxLength(3);

  auto* Form = new QGridLayout(Entry);
  Form->addWidget(Caption(QStringLiteral("&Callsign"), FCallsign, Entry), 0, 0);
  Form->addWidget(FCallsign, 0, 1);
  Form->addWidget(Caption(QStringLiteral("&Azimuth"), FAzimuth, Entry), 0, 2);
  Form->addWidget(FAzimuth, 0, 3);
  const auto Row = [&](int r, int c, TEditField Field, int Span = 1) {
    Form->addWidget(Caption(QString::fromUtf8(kEditCaptions[Field]), FEdits[Field], Entry), r, c);
    Form->addWidget(FEdits[Field], r, c + 1, 1, Span);
  };
  Row(1, 0, efName);
  Row(1, 2, efQth);
  Row(2, 0, efRstSent);
  Row(2, 2, efRstReceived);
  Row(3, 0, efComment, 3);
  Row(4, 0, efLocator);
  Form->setColumnStretch(1, 2);
  Form->setColumnStretch(3, 1);
  Form->setRowStretch(5, 1);

  connect(FCallsign, &QLineEdit::textChanged, this, &TQsoEntryWindow::Replace);
  connect(FEdits[efLocator], &QLineEdit::textChanged, this, &TQsoEntryWindow::Replace);

  FClock = new QTimer(this);
  connect(FClock, &QTimer::timeout, this, &TQsoEntryWindow::ShowClock);
  FClock->start(1000);
  ShowClock();

  FRepairTimer = new QTimer(this);
  FRepairTimer->setSingleShot(true);
  connect(FRepairTimer, &QTimer::timeout, this, &TQsoEntryWindow::HideRepair);

  NewContact();
  resize(620, 360);
}

TQsoEntryWindow::~TQsoEntryWindow() = default;

QString TQsoEntryWindow::StationInfo() const { return FStation->text(); }

void TQsoEntryWindow::ShowRepair(std::chrono::milliseconds For) {
  FProgress->show();
  FProgress->raise();
  if (For.count() > 0) {
    FRepairTimer->start(For);
  } else {
    FRepairTimer->stop();
  }
}

void TQsoEntryWindow::HideRepair() {
  FRepairTimer->stop();
  FProgress->hide();
}

void TQsoEntryWindow::NewContact() {
  FCallsign->clear();
  for (QLineEdit* Edit : FEdits) Edit->clear();
  FEdits[efRstSent]->setText(QStringLiteral("599"));
  FEdits[efRstReceived]->setText(QStringLiteral("599"));
  FCallsign->setFocus();
}

void TQsoEntryWindow::closeEvent(QCloseEvent* Event) {
  HideRepair();
  Event->accept();
  emit Closed();
}

void TQsoEntryWindow::Replace() {
  const TPlacement Placement =
      FPlacer ? FPlacer(FCallsign->text(), FEdits[efLocator]->text()) : TPlacement{};
  FAzimuth->setText(Placement.Azimuth);
  FStation->setText(Placement.Info);
}

void TQsoEntryWindow::ShowClock() {
  const QDateTime Now = QDateTime::currentDateTimeUtc();
  FDate->setText(Now.toString(QStringLiteral("yyyy-MM-dd")));
  FTime->setText(Now.toString(QStringLiteral("HH:mm:ss")));
}

}  // namespace orvane::sim
