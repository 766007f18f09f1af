// The main window: the globe with the station being logged, its menu, the two timers and
// the three hidden fields through which the logger link hands over what the operator types.
// Start-up and shutdown live in mainform.cpp, the station display (the fields' change
// handlers and the overlays drawn on the globe) in stationdisplay.cpp.
#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/loggerlink.h"
#include "app/loggerthread.h"
#include "app/settings.h"
#include "globe/core/texture.h"
#include "globe/core/types.h"
#include "platform/loggerhost.h"

class QAction;
class QLabel;
class QMenu;
class QLineEdit;
class QTimer;
class QWidget;
class QResizeEvent;
class QWheelEvent;

namespace globe {
class TGlobe4;
class TPolygonPresenter;
}  // namespace globe
namespace platform {
class TGlobeWidget;
class TRecordSet;
}  // namespace platform

namespace orvane {

class TCallsignLookup;
class TfCompass;
class TfrmFriends;

/// Everything the main window reads from outside the program, so that tests can give fakes.
/// The window uses the registry, database and window lookup for its life; it owns none,
/// and all three must be given.
struct TForm1Environment {
  platform::TLoggerRegistry* Registry = nullptr;
  platform::TLoggerDatabase* Database = nullptr;
  platform::TWindowLookup* Windows = nullptr;
  /// Turns the logger's folder into the name this program opens it by (the logger under
  /// Wine); null: the folder as the registry holds it.
  platform::TLoggerPaths* Paths = nullptr;
  /// The program's "Orvane.ini" (TSettingsFile::ForProgram() for the program itself).
  TSettingsFile Settings{QString(), QString()};
  /// The executable's folder: the layer files, "world.bmp" and "starfield.bmp" are there.
  QString ExeFolder;
  /// Reads a value of the logger's settings file; empty: the INI reader of the platform.
  TIniStringReader ReadIni;
  /// Loads a reference table; empty: the XML rowset importer.
  TRecordSetLoader LoadTable;
  /// The current local date and time; empty: the system clock.
  std::function<QDateTime()> Now;
  /// The window's first OnError, so that errors of the start-up reach it too.
  std::function<void(const std::string& Message)> OnError;
  /// The logger reached off the window's thread (the program): when given, the registry,
  /// database, window lookup and paths above are used only on a thread of their own, after
  /// Connect has found the logger there, and the window shows at once while that runs.
  /// Null (tests with scripted fakes): every request runs on the window's thread, in turn.
  TLoggerConnection* Connection = nullptr;
};

/// The star-field picture behind the globe, shipped beside the program.
inline constexpr const char* kStarFieldFile = "starfield.bmp";
/// The world texture of the "Texture" command, beside the program.
inline constexpr const char* kTextureFile = "world.bmp";
/// The lights of the night side, beside the program, shown in the dark while the texture is.
inline constexpr const char* kNightLightsFile = "night.bmp";
/// The layer files loaded at start-up, in this order.
inline constexpr const char* kLayerFiles[] = {"world.lyr", "TGCapitals.lyr", "TGCities.lyr",
                                              "IOTA.lyr"};

/// The main window's title; the place under the mouse follows it, after a dash.
inline const QString kTitle = QStringLiteral("Orvane");

/// The main window's smallest outer size.
inline constexpr QSize kMinimumSize{190, 200};

/// The radius of the home and target circles: 30 km in globe units.
inline constexpr std::int32_t kStationCircleRadius = 1'457'883;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  /// Builds the window and runs the start-up sequence: layers, whole-map view, settings,
  /// then the logger link (on the logger's thread when the environment has a connection).
  /// What goes wrong is reported once (OnError, else a message box) and the rest starts as
  /// usual; the window is usable either way.
  explicit TForm1(TForm1Environment Environment, QWidget* Parent = nullptr);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  /// The secondary windows, created after this one (the friends window needs the
  /// logger's folder). Not owned; either may be null.
  void SetSecondaryWindows(TfrmFriends* Friends, TfCompass* Compass);

  /// Receives the message of an error raised by a handler (errors must not unwind through
  /// Qt). When empty the error is shown in a message box once the event is over.
  std::function<void(const std::string& Message)> OnError;
  /// Called once the window has closed and written its settings: the program ends.
  std::function<void()> OnClosed;
  /// Reports an error as the program does: OnError, else a message box once the event is
  /// over (the same message is not stacked while one shows it).
  void Report(const std::string& Message);

  // ---- Components -------------------------------------------------------------------------
  [[nodiscard]] globe::TGlobe4& Globe41() const;
  [[nodiscard]] platform::TGlobeWidget* Globe41Window() const noexcept { return Globe41_; }
  QLineEdit* edCallsign = nullptr;
  QLineEdit* edLocator = nullptr;
  QLineEdit* edAzimut = nullptr;
  QTimer* const Timer1;
  QTimer* const ZelTimer;
  QAction* DayNightShadow = nullptr;
  /// The projection menu's own item; its caption names the projection shown.
  QAction* Spherical1 = nullptr;
  QMenu* Projection1 = nullptr;
  QAction* Sphere1 = nullptr;     ///< projection ▸ "Sphere"
  QAction* Map1 = nullptr;        ///< projection ▸ "Map"
  QAction* Azimuthal1 = nullptr;  ///< projection ▸ "Azimuthal", centred on home
  QAction* S2 = nullptr;            ///< Friends ▸ "Show Friends"
  QAction* S1 = nullptr;            ///< Friends ▸ "Show with program start"
  QAction* T1 = nullptr;            ///< "Texture"
  QAction* ShowFriends1 = nullptr;  ///< Compass ▸ "Show Compass"
  QAction* Sh1 = nullptr;           ///< Compass ▸ "Show with program start"
  QAction* LongPath1 = nullptr;     ///< "Long path", checkable
  QAction* NorthUp1 = nullptr;      ///< "North up", also the Home key

  // ---- State ------------------------------------------------------------------------------
  /// Home position in degrees, north and east positive; 0, 0 until the logger link reads it.
  double mylat = 0;
  double mylong = 0;
  /// Home in globe units, recomputed at every paint.
  globe::TPointLL ptLondon;
  /// The station being logged, in globe units; all zero until the first lookup.
  globe::TPointLL _PointLLWWW;
  /// Whether _PointLLWWW belongs to the callsign now in the field. While it does not (an
  /// unknown or partial callsign), no target marks are drawn and the label stands at home.
  [[nodiscard]] bool TargetPlaced() const;
  bool ShadowEnabled = false;
  int ShadowCountdown = 0;
  /// Beam wedge width in degrees (0: no wedge) and distances in miles, from the settings.
  int BeamWidth = 30;
  bool UnitsMiles = false;
  /// The label written under the target: the callsign with distance and bearing from home
  /// when the target is placed, the callsign and " ?" when not; empty without a callsign.
  [[nodiscard]] QString CallLabel() const;
  [[nodiscard]] const QString& LoggerInstallPath() const noexcept { return LoggerInstallPath_; }
  /// Whether the home position came from the logger; while it is not known nothing is drawn
  /// from it (no path, beam or home circle from 0° N 0° E).
  [[nodiscard]] bool HomeKnown() const noexcept { return HomeKnown_; }
  /// Whether the logger's start-up has run (at once without a connection, else once it has
  /// been found and read) and the poll may ask it.
  [[nodiscard]] bool LoggerReady() const noexcept { return LoggerReady_; }
  /// The line shown over the globe while the logger is connected or read, or while something
  /// is missing; empty when none shows.
  [[nodiscard]] QString StatusText() const;
  /// The program's exit status: 0, or 1 once it has ended for an error or without a logger.
  [[nodiscard]] int ExitCode() const noexcept { return ExitCode_; }
  [[nodiscard]] TLoggerLink& LoggerLink() const noexcept { return *Link_; }

  // ---- Handlers (called by the window's events; public so that tests can drive them) ---
  void FormShow();
  void FormClose();
  void Timer1Timer();
  void ZelTimerTimer();
  void DayNightShadowClick();
  /// Shows the globe, the flat map or the azimuthal map centred on home, fitted whole.
  void SetProjectionChoice(TProjectionChoice Choice);
  [[nodiscard]] TProjectionChoice ProjectionChoice() const noexcept { return ProjectionChoice_; }
  void S2Click();
  void S1Click();
  void T1Click();
  void ShowFriends1Click();
  void Sh1Click();
  /// Shows or hides the long great-circle path beside the short one.
  void LongPath1Click();
  /// Turns the view north-up about the point now in the middle of the window, keeping the
  /// zoom; on the flat map the middle stays where it is.
  void NorthUp1Click();
  /// One wheel step towards (Up) or away from the user: the scale times or divided by 1.1.
  void FormMouseWheel(bool Up);

  /// Points the display at a target (degrees); CallWWW is the callsign it belongs to.
  void MapToScreen(double DxLongitude, double DxLatitude, double DxWWWLongitude,
                   double DxWWWLatitude, const QString& CallWWW);
  void edCallsignChange();
  void edLocatorChange();
  void edAzimutChange();
  void Globe41Paint();
  void Globe41Render();
  void Globe41MouseMove(std::int32_t X, std::int32_t Y);
  void Globe41MouseLeave();

  /// Why the program ends when the logger link closes the main window, as written on
  /// standard error (and, without a logger, reported as an error).
  [[nodiscard]] static QString EndMessage(bool Repair, bool QsoWindowSeen);

  /// Puts a text into a field as the logger link does: the callsign and locator fields
  /// hold upper case; an equal text changes nothing and raises no handler.
  void SetFieldText(QLineEdit& Field, const QString& Text);

 protected:
  void showEvent(QShowEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void wheelEvent(QWheelEvent* Event) override;

 private:
  TProjectionChoice ProjectionChoice_ = TProjectionChoice::Sphere;
  void BuildMenu();
  void ConfigureGlobe();
  void FormCreate();
  /// Runs Handler, turning an error it raises into a report.
  template <class Fn>
  void Guard(Fn&& Handler);
  [[nodiscard]] bool FriendsShowing() const;
  [[nodiscard]] bool CompassShowing() const;
  void ShowFriendsWindow();
  void ShowCompassWindow();
  [[nodiscard]] QDateTime Now() const;
  /// Now() as the shadow's date-time value (UTC).
  [[nodiscard]] double ShadowTime() const;
  /// Filled land would hide the texture: while one shows, the layers' polygons are drawn
  /// hollow, and their own fill comes back with the texture's end.
  void ShowLandFill(bool Fill);
  /// Closes the window for the logger link, saying why.
  void EndForLogger(bool Repair);
  /// Closes the window for an error: Why on standard error and reported (the report is
  /// closed by the user first when it is a message box); the exit status becomes 1.
  void EndWithError(const QString& Why);
  /// The logger's part of the start-up: at once, or on the logger's thread.
  void StartLogger();
  /// Takes over what the link's start-up read, reporting its problems in one message.
  void TakeOverLogger(const std::vector<std::string>& Problems);
  /// The poll's result applied to the fields, in its order.
  void ApplyPoll(const TLoggerLink::TPollResult& Result);
  /// Shows Now over the globe: what goes on at the moment; empty, the lasting note of what
  /// is missing (StatusNote_), if any.
  void ShowStatus(const QString& Now);
  /// Ticks in a row on which the logger did not answer; after kQuietTicks the window says so.
  int UnansweredTicks_ = 0;
  static constexpr int kQuietTicks = 3;
  QString StatusNow_;
  QString StatusNote_;

  TForm1Environment Env_;
  platform::TGlobeWidget* Globe41_;  // owned by Qt as the central widget
  std::unique_ptr<TLoggerLink> Link_;
  // Runs the link's requests when the environment has a connection; ended first of all in
  // the destructor, since its jobs use the link.
  std::unique_ptr<TLoggerThread> LoggerThread_;
  bool LoggerReady_ = false;
  bool HomeKnown_ = false;
  int ExitCode_ = 0;
  QLabel* Status_ = nullptr;  // owned by the globe's window
  // Closed stand-ins for reference tables the link has not loaded, so that a lookup
  // fails with the data-set error instead of touching nothing.
  std::unique_ptr<platform::TRecordSet> NoTable_;
  std::unique_ptr<TCallsignLookup> Lookup_;
  QString LoggerInstallPath_;
  QString PlacedCall_;  // the callsign _PointLLWWW was found for
  TfrmFriends* Friends_ = nullptr;
  TfCompass* Compass_ = nullptr;
  bool Shown_ = false;
  TFrameFit* FrameFit_;  // owned by Qt as a child: the stored size once the frame is known
  // The start's whole-map view is fitted again at every resize until the user zooms or
  // turns the globe: the window gets its real size only after it is shown and framed.
  bool StartFit_ = false;
  bool Closed_ = false;
  bool QsoWindowSeen_ = false;  // the logger's QSO-entry window was open at some poll
  bool Ending_ = false;         // the logger link has asked the window to close
  int WheelRemainder_ = 0;          // parts of a wheel notch not yet turned into a step
  QPointer<QMessageBox> ErrorBox_;  // the error message showing, if any
  // The fill styles of the polygon presenters ShowLandFill made hollow.
  std::map<globe::TPolygonPresenter*, globe::TGlobeBrushStyle> HollowFills_;
  // The night lights, read when first needed; empty when the file cannot be used.
  std::unique_ptr<globe::TTextureData> NightLights_;
  // The sun of the shadow in the picture, for the grey line; none while no shadow shows.
  std::optional<globe::TPointLL> ShadowSun_;
  [[nodiscard]] const globe::TTextureData* NightLights();
  /// Marks where the path crosses the terminator of the shadow shown.
  void DrawGreyLine();
  /// The long great-circle path from home to the target, dashed.
  void DrawLongPath();
  /// The heading typed into the logger as a ray from home with its beam-width wedge.
  void DrawBeam();
};

}  // namespace orvane
