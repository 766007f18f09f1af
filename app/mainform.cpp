#include "app/mainform.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "app/compass.h"
#include "app/friends.h"
#include "app/lookup.h"
#include "globe/core/texture.h"
#include "globe/core/units.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/projection/projection.h"
#include "globe/readers/loader.h"
#include "globe/render/attributes.h"
#include "globe/view/globe.h"
#include "globe/view/shadow.h"
#include "platform/device.h"
#include "platform/qt/globewidget.h"
#include "platform/qt/xmlrowset.h"

namespace orvane {
namespace {

using platform::RGB;

// The globe's settings that differ from the component's defaults.
constexpr platform::TColor kSurfaceColor = RGB(0x2F, 0x2F, 0xFF);
constexpr platform::TColor kGraticuleColor = RGB(0xC0, 0xC0, 0xC0);
constexpr platform::TColor kSelectedPenColor = RGB(0xFF, 0x5E, 0x5E);
constexpr platform::TColor kSelectedBrushColor = RGB(0xD9, 0xD9, 0x00);
constexpr platform::TColor kTransparentPenColor = RGB(0x80, 0x80, 0x80);
constexpr platform::TColor kTransparentBrushColor = RGB(0xC0, 0xC0, 0xC0);

// Why the texture file could not be laid on the globe, which drops such a file silently.
std::string TextureProblem(const std::string& File) {
  std::error_code Error;
  if (!std::filesystem::is_regular_file(File, Error)) {
    return "Texture file '" + File + "' not found";
  }
  try {
    globe::TTextureData Probe;
    Probe.LoadFromFile(File);
  } catch (const std::exception& E) {
    const std::string Why = E.what();
    return Why.find(File) != std::string::npos ? Why : "Texture file '" + File + "': " + Why;
  }
  return "Texture file '" + File + "' cannot be read";
}

QLineEdit* MakeField(QWidget* Panel, const char* Name, bool ReadOnly) {
  auto* Field = new QLineEdit(Panel);
  Field->setObjectName(QString::fromLatin1(Name));
  Field->setAlignment(Qt::AlignCenter);
  Field->setReadOnly(ReadOnly);
  return Field;
}

}  // namespace

TForm1::TForm1(TForm1Environment Environment, QWidget* Parent)
    : QMainWindow(Parent),
      Timer1(new QTimer(this)),
      ZelTimer(new QTimer(this)),
      Env_(std::move(Environment)),
      Globe41_(new platform::TGlobeWidget(this)),
      NoTable_(std::make_unique<platform::TMemoryRecordSet>()),
      FrameFit_(new TFrameFit(*this)) {
  OnError = Env_.OnError;
  setObjectName(QStringLiteral("Form1"));
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  setWindowTitle(kTitle);
  setMinimumSize(kMinimumSize);

  // The hidden panel with the three hand-over fields: never shown, but real fields, so
  // that a change of text raises its handler exactly as typing would.
  auto* Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(50);
  Panel1->hide();
  edCallsign = MakeField(Panel1, "edCallsign", true);
  edLocator = MakeField(Panel1, "edLocator", true);
  edAzimut = MakeField(Panel1, "edAzimut", false);
  connect(edCallsign, &QLineEdit::textChanged, this,
          [this] { Guard([this] { edCallsignChange(); }); });
  connect(edLocator, &QLineEdit::textChanged, this,
          [this] { Guard([this] { edLocatorChange(); }); });
  connect(edAzimut, &QLineEdit::textChanged, this, [this] { Guard([this] { edAzimutChange(); }); });

  Globe41_->setObjectName(QStringLiteral("Globe41"));
  setCentralWidget(Globe41_);
  Globe41_->OnError = [this](const std::string& Message) { Report(Message); };
  // The window's own wheel handler zooms; the globe leaves the wheel to it.
  Globe41_->SetWheelZoomFactor(0);
  BuildMenu();
  resize(529, 439 + menuBar()->sizeHint().height());
  ConfigureGlobe();

  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(200);
  connect(Timer1, &QTimer::timeout, this, [this] { Guard([this] { Timer1Timer(); }); });
  Timer1->start();
  ZelTimer->setObjectName(QStringLiteral("ZelTimer"));
  ZelTimer->setInterval(1000);
  connect(ZelTimer, &QTimer::timeout, this, [this] { Guard([this] { ZelTimerTimer(); }); });

  if (!Env_.ReadIni) Env_.ReadIni = &ReadProfileStringOrThrow;
  if (!Env_.LoadTable) {
    Env_.LoadTable = [](const std::string& File) -> std::unique_ptr<platform::TRecordSet> {
      return platform::LoadXmlRowset(File);
    };
  }
  if (Env_.Registry == nullptr || Env_.Database == nullptr || Env_.Windows == nullptr) {
    throw std::invalid_argument("TForm1 needs the logger's registry, database and windows");
  }
  Link_ = std::make_unique<TLoggerLink>(*Env_.Registry, *Env_.Database, *Env_.Windows, Env_.ReadIni,
                                        Env_.LoadTable, Env_.Paths);
  FormCreate();
}

TForm1::~TForm1() {
  // Its jobs use the link and the environment: it ends before they go.
  LoggerThread_.reset();
}

globe::TGlobe4& TForm1::Globe41() const { return Globe41_->Globe(); }

void TForm1::BuildMenu() {
  QMenuBar* MainMenu1 = menuBar();
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
  const auto Add = [this, MainMenu1](QWidget* Menu, const char* Name, const QString& Caption,
                          void (TForm1::*Handler)(), bool Checkable = false) {
    auto* Action = new QAction(Caption, this);
    Action->setObjectName(QString::fromLatin1(Name));
    Action->setCheckable(Checkable);
    // A checkable item has inverted its check mark by the time it is triggered.
    connect(Action, &QAction::triggered, this,
            [this, Handler] { Guard([this, Handler] { (this->*Handler)(); }); });
    Menu->addAction(Action);
    // A menu bar draws no check marks: an item there shows its state in its caption.
    if (Checkable && Menu == MainMenu1) {
      connect(Action, &QAction::toggled, this, [Action, Caption](bool On) {
        Action->setText(On ? Caption + QStringLiteral(" \u2713") : Caption);
      });
    }
    return Action;
  };
  DayNightShadow =
      Add(MainMenu1, "DayNightShadow", QStringLiteral("Shadow"), &TForm1::DayNightShadowClick);
  // A choice of three, the menu's caption naming the one shown.
  Projection1 = MainMenu1->addMenu(QStringLiteral("Sphere"));
  Projection1->setObjectName(QStringLiteral("Projection1"));
  Spherical1 = Projection1->menuAction();
  auto* Projections = new QActionGroup(this);
  const auto AddChoice = [this, Projections](const char* Name, const char* Caption,
                                             TProjectionChoice Choice) {
    auto* Action = new QAction(QString::fromLatin1(Caption), this);
    Action->setObjectName(QString::fromLatin1(Name));
    Action->setCheckable(true);
    Projections->addAction(Action);
    Projection1->addAction(Action);
    connect(Action, &QAction::triggered, this,
            [this, Choice] { Guard([this, Choice] { SetProjectionChoice(Choice); }); });
    return Action;
  };
  Sphere1 = AddChoice("Sphere1", "Sphere", TProjectionChoice::Sphere);
  Map1 = AddChoice("Map1", "Map", TProjectionChoice::Map);
  Azimuthal1 = AddChoice("Azimuthal1", "Azimuthal", TProjectionChoice::Azimuthal);
  Sphere1->setChecked(true);
  QMenu* F1 = MainMenu1->addMenu(QStringLiteral("Friends"));
  F1->setObjectName(QStringLiteral("F1"));
  S2 = Add(F1, "S2", QStringLiteral("Show Friends"), &TForm1::S2Click);
  S1 = Add(F1, "S1", QStringLiteral("Show with program start"), &TForm1::S1Click, true);
  T1 = Add(MainMenu1, "T1", QStringLiteral("Texture"), &TForm1::T1Click, true);
  QMenu* C1 = MainMenu1->addMenu(QStringLiteral("Compass"));
  C1->setObjectName(QStringLiteral("C1"));
  ShowFriends1 =
      Add(C1, "ShowFriends1", QStringLiteral("Show Compass"), &TForm1::ShowFriends1Click);
  Sh1 = Add(C1, "Sh1", QStringLiteral("Show with program start"), &TForm1::Sh1Click, true);
  LongPath1 =
      Add(MainMenu1, "LongPath1", QStringLiteral("Long path"), &TForm1::LongPath1Click, true);
  NorthUp1 = Add(MainMenu1, "NorthUp1", QStringLiteral("North up"), &TForm1::NorthUp1Click);
  NorthUp1->setShortcut(QKeySequence(Qt::Key_Home));
}

void TForm1::ConfigureGlobe() {
  globe::TGlobe4& G = Globe41();
  G.SetCacheCapacity(10240);
  G.SetDataDirectory(Env_.ExeFolder.toStdString());
  G.SetGlobeOptions(globe::TGlobeOptionsSet{globe::goCache3DPoints, globe::goDoubleBuffered});
  G.SetMaxTextHeight(0);
  G.SetScrollBars(globe::ssNone);
  G.SetSurfaceColor(kSurfaceColor);
  G.GraticulePen().SetPenColor(kGraticuleColor);
  G.SelectedPen().SetPenColor(kSelectedPenColor);
  G.SelectedBrush().SetBrushColor(kSelectedBrushColor);
  G.TransparentPen().SetPenColor(kTransparentPenColor);
  G.TransparentBrush().SetBrushColor(kTransparentBrushColor);
  G.SetSaveMetaDataLocation(globe::smdInDataDirectory);
  // The star field is an asset: without it the background stays black.
  const QString StarField = QDir(Env_.ExeFolder).filePath(QString::fromLatin1(kStarFieldFile));
  try {
    if (const auto Picture = platform::Graphics().LoadPicture(StarField.toStdString())) {
      G.SetBackgroundImage(Picture.get());
    }
  } catch (const std::exception&) {
  }

  globe::TGlobeProjection& P = G.Projection();
  P.SetProjectionClass("TSphericalPrj");
  P.SetCenterLatitude(23.58954259259259L);
  P.SetCenterLongitude(-0.2454748148148148L);
  P.SetXRotation(23.5L);
  P.SetYRotation(-0.1477340740740741L);
  P.SetMinLatitude(-90);
  P.SetMaxLatitude(90);
  P.SetMinLongitude(-180);
  P.SetMaxLongitude(180);
  P.SetUseMinMaxLimits(false);
  P.SetXAxisChanges(globe::xaYOrigin);
  P.SetYAxisChanges(globe::yaCentralMeridian);

  G.OnPaint = [this](const void*) { Globe41Paint(); };
  G.OnRender = [this](const void*) { Globe41Render(); };
  G.OnMouseMove = [this](const void*, platform::TShiftState, std::int32_t X, std::int32_t Y) {
    Globe41MouseMove(X, Y);
  };
  G.OnMouseLeave = [this](const void*) { Globe41MouseLeave(); };
  // The user's own zoom or turn ends the start's whole-map fit.
  G.OnMouseDown = [this](const void*, platform::TMouseButton, platform::TShiftState, std::int32_t,
                         std::int32_t) { StartFit_ = false; };
}

void TForm1::FormCreate() {
  // The map, the view and the settings do not depend on the logger: they are there whatever
  // becomes of it.
  try {
    for (const char* File : kLayerFiles) {
      // Zoomed in, the shipped titles would print over each other ("Rome", "Vatican
      // City"): the layers drawn first (capitals before cities) keep their titles.
      const std::int32_t Index = globe::AddLayerFromFile(Globe41(), File);
      if (Index >= 0) Globe41().Layers().GetLayer(Index).SetAvoidTitleOverlap(true);
    }
    Globe41().Projection().SetAltitude(0);
    // The globe has no real size before the window is shown and framed: fit again then.
    StartFit_ = true;
  } catch (const std::exception& E) {
    Report(E.what());
  }

  const TMainSettings Main = Env_.Settings.ReadMain();
  const TWindowGeometry G = KeepOnScreen(Main.Window, kMinimumSize);
  move(G.Left, G.Top);
  const QSize Outer(G.Width, G.Height);
  ResizeToOuter(*this, Outer);
  FrameFit_->Expect(Outer);
  ShadowEnabled = Main.Shadow;
  S1->setChecked(Main.Friends);
  Sh1->setChecked(Main.Compass);
  if (Main.Projection != TProjectionChoice::Sphere) SetProjectionChoice(Main.Projection);
  LongPath1->setChecked(Main.LongPath);
  BeamWidth = Main.BeamWidth;
  UnitsMiles = Main.Miles;

  StartLogger();
}

void TForm1::StartLogger() {
  if (Env_.Connection == nullptr) {
    TakeOverLogger(Link_->Startup());
    return;
  }
  // Finding the logger may start Wine and read a large database: the window shows and
  // answers meanwhile, saying what it waits for.
  LoggerThread_ = std::make_unique<TLoggerThread>();
  TLoggerConnection* Connection = Env_.Connection;
  LoggerThread_->SetLast([Connection] { Connection->Disconnect(); });
  ShowStatus(QStringLiteral("Connecting to the logger\u2026"));
  auto Problem = std::make_shared<QString>();
  LoggerThread_->Post([Connection, Problem] { *Problem = Connection->Connect(); }, this,
                      [this, Problem] {
                        if (!Problem->isEmpty()) {
                          EndWithError(*Problem);
                          return;
                        }
                        ShowStatus(QStringLiteral("Reading the logger's database\u2026"));
                        auto Problems = std::make_shared<std::vector<std::string>>();
                        TLoggerLink* Link = Link_.get();
                        LoggerThread_->Post([Link, Problems] { *Problems = Link->Startup(); },
                                            this, [this, Problems] {
                                              Guard([this, Problems] { TakeOverLogger(*Problems); });
                                            });
                      });
}

void TForm1::TakeOverLogger(const std::vector<std::string>& Problems) {
  LoggerInstallPath_ = QString::fromStdString(Link_->LoggerInstallPath());
  mylat = Link_->MyLat();
  mylong = Link_->MyLong();
  HomeKnown_ = Link_->HomeKnown();
  // The azimuthal map is centred on home, which the settings' choice came before.
  if (ProjectionChoice_ == TProjectionChoice::Azimuthal)
    SetProjectionChoice(TProjectionChoice::Azimuthal);
  const auto Table = [this](platform::TRecordSet* Set) -> platform::TRecordSet& {
    return Set != nullptr ? *Set : *NoTable_;
  };
  Lookup_ = std::make_unique<TCallsignLookup>(Table(Link_->tblUnique()),
                                              Table(Link_->tblProvince()), Table(Link_->tblDXCC()));
  if (Friends_ != nullptr) Friends_->SetLoggerInstallPath(LoggerInstallPath_);
  LoggerReady_ = true;
  // One message for all that is missing, and a line over the globe for as long as it is.
  QString Missing;
  if (!HomeKnown_) Missing = QStringLiteral("Home position unknown: no path or beam is drawn.");
  if (!Link_->tblDXCC() || !Link_->tblProvince() || !Link_->tblUnique()) {
    if (!Missing.isEmpty()) Missing += u' ';
    Missing += QStringLiteral("Reference tables missing: callsigns may not be placed.");
  }
  StatusNote_ = Missing;
  ShowStatus(QString());
  if (!Problems.empty()) {
    std::string Message = Problems.size() == 1
                              ? std::string()
                              : "Orvane started, but not everything could be read from the "
                                "logger:\n\n";
    for (const std::string& Problem : Problems)
      Message += (Problems.size() == 1 ? "" : "\u2022 ") + Problem + "\n";
    Message.pop_back();
    Report(Message);
  }
  // A callsign typed before the tables came is placed now.
  if (!edCallsign->text().isEmpty()) Guard([this] { edCallsignChange(); });
  Globe41().RedrawLayers();
}

void TForm1::SetSecondaryWindows(TfrmFriends* Friends, TfCompass* Compass) {
  Friends_ = Friends;
  Compass_ = Compass;
  if (Compass_ != nullptr) {
    Compass_->SetAzimuthSource([this] { return edAzimut->text(); });
    Compass_->OnError = [this](const std::string& Message) { Report(Message); };
  }
}

// ---- Showing and closing ------------------------------------------------------------------

void TForm1::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (!Shown_ && !Event->spontaneous()) {
    Shown_ = true;
    Guard([this] { FormShow(); });
  }
}

void TForm1::resizeEvent(QResizeEvent* Event) {
  QMainWindow::resizeEvent(Event);
  if (Status_ != nullptr && !Status_->isHidden()) ShowStatus(StatusNow_);
  // After the globe has taken its new size.
  if (StartFit_) {
    QTimer::singleShot(0, this, [this] {
      if (StartFit_) Guard([this] { Globe41().Projection().SetAltitude(0); });
    });
  }
}

void TForm1::FormShow() {
  ZelTimer->start();
  if (S1->isChecked()) ShowFriendsWindow();
  if (Sh1->isChecked()) ShowCompassWindow();
}

void TForm1::closeEvent(QCloseEvent* Event) {
  if (!Closed_) {
    Closed_ = true;
    Guard([this] { FormClose(); });
  }
  Event->accept();
  if (OnClosed) QTimer::singleShot(0, this, [this] { OnClosed(); });
}

void TForm1::FormClose() {
  Timer1->stop();
  ZelTimer->stop();
  // The settings were read at start whatever became of the logger: all are written back.
  TMainSettingsWrite Main;
  const QRect Outer = frameGeometry();
  Main.Window = TWindowGeometry{Outer.top(), Outer.left(), Outer.height(), Outer.width()};
  Main.Shadow = ShadowEnabled;
  Main.Friends = S1->isChecked();
  Main.Compass = Sh1->isChecked();
  Main.Projection = ProjectionChoice_;
  Main.LongPath = LongPath1->isChecked();
  std::optional<TWindowGeometry> FriendsGeometry;
  if (FriendsShowing()) FriendsGeometry = Friends_->Geometry();
  std::optional<TWindowGeometry> CompassGeometry;
  if (CompassShowing()) CompassGeometry = Compass_->Geometry();
  Env_.Settings.WriteChangedAtClose(Main, FriendsGeometry, CompassGeometry);
}

// ---- Timers and menu ------------------------------------------------------------------------

void TForm1::Timer1Timer() {
  if (!ShadowEnabled) return;
  if (--ShadowCountdown <= 0) {
    ShadowCountdown = 40;
    // A still window is not redrawn while the sun has moved the terminator by less than a
    // pixel (at the whole earth in a small window, most refreshes): idle costs little more
    // with the shadow than without.
    if (ShadowSun_ && !globe::ShadowMoved(Globe41(), *ShadowSun_, ShadowTime())) return;
    // Only the clock moved: the layers' picture is reused under the new shadow.
    Globe41().RedrawRender();
  }
}

void TForm1::ZelTimerTimer() {
  if (!LoggerReady_) return;  // still connecting: nothing to ask yet
  if (!LoggerThread_) {
    ApplyPoll(Link_->Poll());
    return;
  }
  // A tick still waiting for the logger is not doubled: the next one asks again.
  if (LoggerThread_->Pending() > 0) return;
  auto Result = std::make_shared<TLoggerLink::TPollResult>();
  TLoggerLink* Link = Link_.get();
  LoggerThread_->Post([Link, Result] { *Result = Link->Poll(); }, this,
                      [this, Result] { Guard([this, Result] { ApplyPoll(*Result); }); });
}

void TForm1::ApplyPoll(const TLoggerLink::TPollResult& Result) {
  if (Ending_) return;
  for (const TLoggerLink::TTextChange& Change : Result.Changes) {
    QLineEdit* Field = Change.Field == TLoggerLink::TField::lfAzimut     ? edAzimut
                       : Change.Field == TLoggerLink::TField::lfCallsign ? edCallsign
                                                                         : edLocator;
    // A handler's error must not keep the later fields from being written.
    Guard([&] { SetFieldText(*Field, QString::fromStdString(Change.Text)); });
  }
  if (Result.QsoWindowOpen) QsoWindowSeen_ = true;
  if (Result.Close && Result.Link.Lost) {
    EndWithError(QStringLiteral("Orvane ends: the link to the logger is lost: %1.")
                     .arg(QString::fromStdString(Result.Link.Why)));
    return;
  }
  if (Result.Close) {
    EndForLogger(Result.QsoWindowOpen);
    return;
  }
  // While the logger is not heard, what is shown may be stale: the window says so.
  UnansweredTicks_ = Result.Unanswered ? UnansweredTicks_ + 1 : 0;
  if (Result.Link.Down)
    ShowStatus(QStringLiteral("Reconnecting to the logger\u2026"));
  else if (UnansweredTicks_ >= kQuietTicks)
    ShowStatus(QStringLiteral("Waiting for the logger to answer\u2026"));
  else
    ShowStatus(QString());
}

QString TForm1::EndMessage(bool Repair, bool QsoWindowSeen) {
  if (Repair) return QStringLiteral("Orvane ends: the logger is repairing its data.");
  if (QsoWindowSeen) return QStringLiteral("Orvane ends: the logger's QSO-entry window has closed.");
  return QStringLiteral(
      "Orvane ends: no logger is running (its QSO-entry window is not open). Orvane runs "
      "beside the logger and ends with it: start the logger, open its QSO-entry window, "
      "then start Orvane again.");
}

void TForm1::EndForLogger(bool Repair) {
  if (Ending_) return;
  const QString Why = EndMessage(Repair, QsoWindowSeen_);
  if (!Repair && !QsoWindowSeen_) {
    // Never having seen the logger, the operator may not know the program needs one.
    EndWithError(Why);
    return;
  }
  Ending_ = true;
  ZelTimer->stop();
  // A program that quietly vanishes leaves the operator guessing.
  std::fprintf(stderr, "%s\n", Why.toLocal8Bit().constData());
  std::fflush(stderr);
  close();
}

void TForm1::EndWithError(const QString& Why) {
  if (Ending_) return;
  Ending_ = true;
  ExitCode_ = 1;
  ZelTimer->stop();
  StatusNote_.clear();
  ShowStatus(QString());
  if (OnError) {
    OnError(Why.toStdString());
  } else {
    std::fprintf(stderr, "%s\n", Why.toLocal8Bit().constData());
    std::fflush(stderr);
  }
  if (OnError || !isVisible()) {
    QTimer::singleShot(0, this, [this] { close(); });
    return;
  }
  // The reason stays until the operator has read it; the program ends with its box.
  auto* Box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Orvane"), Why,
                              QMessageBox::Ok, this);
  Box->setObjectName(QStringLiteral("EndMessage"));
  Box->setAttribute(Qt::WA_DeleteOnClose);
  connect(Box, &QMessageBox::finished, this, [this] { close(); });
  Box->open();
}

void TForm1::ShowStatus(const QString& Now) {
  StatusNow_ = Now;
  const QString& Text = Now.isEmpty() ? StatusNote_ : Now;
  if (Text.isEmpty()) {
    if (Status_ != nullptr) Status_->hide();
    return;
  }
  if (Status_ == nullptr) {
    // A line over the globe's top edge, not a box: it must not stop anything.
    Status_ = new QLabel(Globe41_);
    Status_->setObjectName(QStringLiteral("Status"));
    Status_->setWordWrap(true);
    Status_->setMargin(6);
    Status_->setAutoFillBackground(true);
    Status_->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  Status_->setText(Text);
  Status_->setFixedWidth(std::max(Globe41_->width(), 100));
  Status_->adjustSize();
  Status_->move(0, 0);
  Status_->show();
  Status_->raise();
}

QString TForm1::StatusText() const {
  return Status_ != nullptr && !Status_->isHidden() ? Status_->text() : QString();
}

void TForm1::SetFieldText(QLineEdit& Field, const QString& Text) {
  const bool UpperCase = &Field == edCallsign || &Field == edLocator;
  Field.setText(UpperCase ? Text.toUpper() : Text);
}

void TForm1::DayNightShadowClick() {
  ShadowEnabled = !ShadowEnabled;
  Globe41().RedrawLayers();
}

void TForm1::SetProjectionChoice(TProjectionChoice Choice) {
  globe::TGlobe4& G = Globe41();
  globe::TGlobeProjection& P = G.Projection();
  QAction* Item = Sphere1;
  switch (Choice) {
    case TProjectionChoice::Sphere:
      P.SetProjectionClass("TSphericalPrj");
      break;
    case TProjectionChoice::Map:
      P.SetProjectionClass("TCartesianPrj");
      Item = Map1;
      break;
    case TProjectionChoice::Azimuthal: {
      P.SetProjectionClass("TAzimuthalPrj");
      // Centred on home for good: a target is not brought to the middle, so that the path
      // runs straight from the centre and its direction is the beam heading.
      const globe::TPointLL Home = globe::DegToPointLL(mylong, mylat);
      G.LocateToLL(Home.iLongX, Home.iLatY);
      Item = Azimuthal1;
      break;
    }
  }
  P.SetAltitude(0);
  ProjectionChoice_ = Choice;
  Item->setChecked(true);
  Projection1->setTitle(Item->text());
}

void TForm1::LongPath1Click() { Globe41().RedrawLayers(); }

void TForm1::S2Click() {
  ShowFriendsWindow();
  const QString Call = edCallsign->text().trimmed();
  if (Friends_ != nullptr && Call.size() >= 4) Friends_->Friends(Call);
}

void TForm1::S1Click() {
  if (S1->isChecked()) {
    ShowFriendsWindow();
  } else if (Friends_ != nullptr) {
    Friends_->close();
  }
}

void TForm1::T1Click() {
  std::string Problem;
  if (T1->isChecked()) {
    const std::string File =
        QDir(Env_.ExeFolder).filePath(QString::fromLatin1(kTextureFile)).toStdString();
    Globe41().SetSurfaceTextureName(File);
    if (Globe41().SurfaceTextureName().empty()) {
      // The mark must not claim a texture that is not there.
      T1->setChecked(false);
      Problem = TextureProblem(File);
    }
  } else {
    Globe41().SetSurfaceTextureName(std::string());
  }
  ShowLandFill(Globe41().SurfaceTextureName().empty());
  if (!Problem.empty()) Report(Problem);
}

void TForm1::ShowLandFill(bool Fill) {
  // Only presenters found in the store now are touched: a layer freed meanwhile has taken
  // its presenters with it.
  const auto Each = [this](const std::function<void(globe::TPolygonPresenter&)>& Fn) {
    const auto InStore = [&Fn](globe::TGlobePresenterStore& Presenters) {
      for (std::int32_t k = 0; k < Presenters.Count(); ++k) {
        if (auto* P = dynamic_cast<globe::TPolygonPresenter*>(&Presenters.GetPresenter(k))) Fn(*P);
      }
    };
    // Objects find their presenter in their layer, its source or the store's global ones.
    globe::TGlobeLayerStore& Layers = Globe41().Layers();
    InStore(Layers.GlobalPresenters());
    for (std::int32_t i = 0; i < Layers.Count(); ++i) {
      globe::TGlobeLayer& Layer = Layers.GetLayer(i);
      InStore(Layer.Presenters());
      if (globe::TGlobeObjectSource* Source = Layer.ObjectsOrNull()) InStore(Source->Presenters());
    }
  };
  if (Fill) {
    Each([this](globe::TPolygonPresenter& P) {
      if (const auto It = HollowFills_.find(&P); It != HollowFills_.end()) {
        P.PolyBrush().SetBrushStyle(It->second);
      }
    });
    HollowFills_.clear();
  } else {
    Each([this](globe::TPolygonPresenter& P) {
      if (P.PolyBrush().BrushStyle() == globe::bsClear) return;
      HollowFills_.emplace(&P, P.PolyBrush().BrushStyle());
      P.PolyBrush().SetBrushStyle(globe::bsClear);
    });
  }
  Globe41().RedrawLayers();
}

void TForm1::ShowFriends1Click() { ShowCompassWindow(); }

void TForm1::Sh1Click() {
  if (Sh1->isChecked()) {
    ShowCompassWindow();
  } else if (Compass_ != nullptr) {
    Compass_->close();
  }
}

void TForm1::wheelEvent(QWheelEvent* Event) {
  // 120 is one notch; finer wheels send parts of it, which add up to steps.
  WheelRemainder_ += Event->angleDelta().y();
  while (WheelRemainder_ >= 120) {
    WheelRemainder_ -= 120;
    Guard([this] { FormMouseWheel(true); });
  }
  while (WheelRemainder_ <= -120) {
    WheelRemainder_ += 120;
    Guard([this] { FormMouseWheel(false); });
  }
  Event->ignore();
}

void TForm1::FormMouseWheel(bool Up) {
  StartFit_ = false;
  globe::TGlobeProjection& P = Globe41().Projection();
  P.SetScaleFactor(Up ? P.ScaleFactor() * 1.1L : P.ScaleFactor() / 1.1L);
}

// ---- Secondary windows ------------------------------------------------------------------------

bool TForm1::FriendsShowing() const { return Friends_ != nullptr && Friends_->isVisible(); }
bool TForm1::CompassShowing() const { return Compass_ != nullptr && Compass_->isVisible(); }

void TForm1::ShowFriendsWindow() {
  if (Friends_ == nullptr) return;
  Friends_->show();
  Friends_->raise();
}

void TForm1::ShowCompassWindow() {
  if (Compass_ == nullptr) return;
  Compass_->show();
  Compass_->raise();
}

// ---- Errors --------------------------------------------------------------------------------

template <class Fn>
void TForm1::Guard(Fn&& Handler) {
  try {
    Handler();
  } catch (const std::exception& E) {
    Report(E.what());
  } catch (...) {
    Report("Unknown error");
  }
}

void TForm1::Report(const std::string& Message) {
  if (OnError) {
    OnError(Message);
    return;
  }
  // Shown once the event is over, without a nested event loop: the timers keep running
  // while the box is open, and the same message is not stacked while one shows it.
  const QString Text = QString::fromStdString(Message);
  if (ErrorBox_ && ErrorBox_->text() == Text) return;
  QTimer::singleShot(0, this, [this, Text] {
    if (ErrorBox_ && ErrorBox_->text() == Text) return;
    auto* Box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Orvane"), Text,
                                QMessageBox::Ok, this);
    Box->setAttribute(Qt::WA_DeleteOnClose);
    ErrorBox_ = Box;
    Box->open();
  });
}

QDateTime TForm1::Now() const { return Env_.Now ? Env_.Now() : QDateTime::currentDateTime(); }

}  // namespace orvane
