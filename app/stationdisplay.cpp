// The station display: what the main window does when the hand-over fields change, and
// the overlays it draws on the globe (home and target circles, the great-circle path, the
// callsign label, the night shadow and the grey line).
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "app/compass.h"
#include "app/friends.h"
#include "app/locator.h"
#include "app/lookup.h"
#include "app/mainform.h"
#include "app/operatormap.h"
#include "globe/core/numeric.h"
#include "globe/core/units.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/object.h"
#include "globe/projection/projection.h"
#include "globe/render/canvas.h"
#include "globe/render/labels.h"
#include "globe/view/globe.h"
#include "globe/view/shadow.h"
#include "platform/qt/globewidget.h"

namespace orvane {
namespace {

using platform::RGB;

constexpr std::int32_t kCircleSegments = 36;
constexpr platform::TColor kOverlayColor = RGB(0xFF, 0x00, 0x00);
constexpr std::int32_t kOverlayWidth = 2;
// The night multiplies the picture by a dark blue, so that it is darker than the day on any
// texture and the lights stand out; the twilight colour serves the blending mode only.
constexpr platform::TColor kNightColor = RGB(0x30, 0x38, 0x58);
constexpr platform::TColor kTwilightColor = RGB(0xC0, 0xC0, 0xC0);
// Where the path crosses the terminator: an amber dot with a dark rim, in pixels.
constexpr platform::TColor kGreyLineColor = RGB(0xFF, 0xC0, 0x20);
constexpr platform::TColor kGreyLineRim = RGB(0x20, 0x20, 0x20);
constexpr std::int32_t kGreyLineRadius = 4;
constexpr platform::TColor kLabelColor = RGB(0xFF, 0xFF, 0xFF);
// A dark rim round the white label: readable on sand, ice and cloud as on the sea.
constexpr platform::TColor kLabelHalo = RGB(0x10, 0x10, 0x10);
constexpr std::int32_t kLabelLeftShift = 15;
// The beam: a bright yellow ray, its wedge hatched in the same colour so the map shows
// through.
constexpr platform::TColor kBeamColor = RGB(0xFF, 0xE0, 0x00);
constexpr std::int32_t kBeamWidth = 2;

// Screen angle of the meridian at At, degrees clockwise from straight up; none when it
// cannot be seen. A meridian through the middle of an orthographic view is a straight line,
// so a point far along it gives the direction to the pixel.
std::optional<double> NorthAngle(globe::TGlobeProjection& P, const globe::TPointLL& At) {
  constexpr std::int32_t Step = 30 * globe::GU_DEGREE;
  const bool South = At.iLatY > 0;  // the neighbour must stay on the globe
  const globe::TPointLL Other{At.iLongX, South ? At.iLatY - Step : At.iLatY + Step, 0};
  globe::TPoint a, b;
  if (!P.LLToDeviceXY(At.iLongX, At.iLatY, a) || !P.LLToDeviceXY(Other.iLongX, Other.iLatY, b))
    return std::nullopt;
  double dx = b.X - a.X, dy = b.Y - a.Y;
  if (South) dx = -dx, dy = -dy;
  if (dx == 0 && dy == 0) return std::nullopt;
  return std::atan2(dx, -dy) * 180 / std::numbers::pi;
}

// Minutes to add to a local time to get UTC: the zone's offset at that time, daylight
// saving included.
double TimeZoneBiasMinutes(const QDateTime& Local) {
  return -static_cast<double>(Local.offsetFromUtc()) / 60;
}

}  // namespace

// The home position is passed along but not needed here.
void TForm1::MapToScreen(double /*DxLongitude*/, double /*DxLatitude*/, double DxWWWLongitude,
                         double DxWWWLatitude, const QString& CallWWW) {
  _PointLLWWW = globe::DegToPointLL(DxWWWLongitude, DxWWWLatitude);
  PlacedCall_ = CallWWW;
  globe::TGlobe4& G = Globe41();
  if (G.Projection().ProjectionClass() == "TSphericalPrj") {
    if (G.Projection().ScaleFactor() != 0) {
      G.LocateToLL(_PointLLWWW.iLongX, _PointLLWWW.iLatY);
    } else {
      G.LocateToLL(0, 0);
    }
  }
  G.RedrawLayers();
}

void TForm1::NorthUp1Click() {
  globe::TGlobe4& G = Globe41();
  globe::TGlobeProjection& P = G.Projection();
  StartFit_ = false;
  if (P.ProjectionClass() != "TSphericalPrj") {
    // The flat maps keep north up unless turned.
    P.SetZRotation(0);
    return;
  }
  const globe::TGlobeCanvas& C = G.GlobeCanvas();
  globe::TPointLL Centre;
  if (!P.DeviceXYToLL(C.CanvasWidth() / 2, C.CanvasHeight() / 2, Centre)) {
    // The middle of the window is off the globe: the globe's own centre counts.
    if (!P.DeviceXYToLL(P.XOrigin(), P.YOrigin(), Centre)) return;
  }
  // The turn about the line of sight is the one rotation that centring leaves alone; a few
  // rounds of turning by the angle seen and centring again settle it.
  double Sign = 1;
  std::optional<double> Last;
  for (int Round = 0; Round < 16; ++Round) {
    G.LocateToLL(Centre.iLongX, Centre.iLatY);
    const std::optional<double> Angle = NorthAngle(P, Centre);
    if (!Angle || std::abs(*Angle) < 0.05) break;
    if (Last && std::abs(*Angle) > std::abs(*Last)) Sign = -Sign;  // turned the wrong way
    Last = Angle;
    P.SetZRotation(P.ZRotation() + Sign * static_cast<globe::Extended>(*Angle));
  }
  G.RedrawLayers();
}

void TForm1::edCallsignChange() {
  const QString T = edCallsign->text();
  if (T.size() < 3) {
    if (T.isEmpty()) {
      MapToScreen(mylong, mylat, mylong, mylat, T);
      if (FriendsShowing()) Friends_->Memo1()->clear();
      Globe41().Projection().SetAltitude(0);
    } else {
      // A partial callsign has no position: neither the marks nor the notes of the station
      // before it may be shown under it.
      if (FriendsShowing()) Friends_->Memo1()->clear();
      Globe41().RedrawLayers();
    }
    return;
  }
  const QString Call = T.trimmed();
  if (FriendsShowing()) {
    Friends_->Memo1()->clear();  // no notes file: nothing, rather than the last station's
    Friends_->Friends(Call);
  }
  // The fields decide, not the order they were typed in: a locator in its field places the
  // station better than any table, whichever of the two changed last.
  double Lat = 0;
  double Long = 0;
  if (GridLocatorToLatLong(edLocator->text().trimmed(), Lat, Long)) {
    MapToScreen(mylong, mylat, Long, Lat, Call);
    return;
  }
  // Without the tables (said once, over the globe) a callsign has no place, and no box per
  // callsign typed may interrupt the contact.
  const bool TablesMissing = Lookup_ == nullptr || Link_->tblDXCC() == nullptr ||
                             Link_->tblProvince() == nullptr || Link_->tblUnique() == nullptr;
  QString DxLong;
  QString DxLat;
  bool Found = false;
  try {
    Found = Lookup_ != nullptr && Lookup_->FindCountry(T, Now(), DxLong, DxLat);
  } catch (const platform::EDatabaseError&) {
    if (!TablesMissing) throw;
  }
  if (!Found) {
    Globe41().RedrawLayers();  // the label now names a station without a position
    return;
  }
  TextToLatLong(DxLat, DxLong, Lat, Long);
  MapToScreen(mylong, mylat, Long, Lat, Call);
}

void TForm1::edLocatorChange() {
  // A locator of 4 to 10 characters places the station at the centre of its square; a text
  // that is no locator must not put the station anywhere: it falls back to the callsign.
  const QString Locator = edLocator->text().trimmed();
  double Lat = 0;
  double Long = 0;
  if (!GridLocatorToLatLong(Locator, Lat, Long)) {
    edCallsignChange();
    return;
  }
  MapToScreen(mylong, mylat, Long, Lat, edCallsign->text().trimmed());
}

void TForm1::edAzimutChange() {
  if (CompassShowing()) Compass_->RepaintCompass();
  // The beam is drawn above the picture: a repaint moves it.
  if (Globe41_ != nullptr) Globe41_->viewport()->update();
}

void TForm1::Globe41Paint() {
  globe::TGlobe4& G = Globe41();
  ptLondon = globe::DegToPointLL(mylong, mylat);
  if (!HomeKnown_) {
    // Nothing is drawn from a home that is not known; the station alone is marked.
    if (!edCallsign->text().isEmpty() && TargetPlaced())
      G.RenderCircle(_PointLLWWW, kStationCircleRadius, kCircleSegments);
    return;
  }
  DrawBeam();
  G.RenderCircle(ptLondon, kStationCircleRadius, kCircleSegments);
  if (edCallsign->text().isEmpty() || !TargetPlaced()) return;
  G.RenderCircle(_PointLLWWW, kStationCircleRadius, kCircleSegments);
  G.RenderGreatCircleLine(ptLondon, _PointLLWWW, globe::gcShortest);
  if (LongPath1->isChecked()) DrawLongPath();
  DrawGreyLine();
}

void TForm1::DrawLongPath() {
  globe::TGlobe4& G = Globe41();
  const double Lat = static_cast<double>(_PointLLWWW.iLatY) / globe::GU_DEGREE;
  const double Long = static_cast<double>(_PointLLWWW.iLongX) / globe::GU_DEGREE;
  const TPathFigures Short = ShortPath(mylat, mylong, Lat, Long);
  if (Short.DistanceKm <= 0) return;  // no direction to go the long way
  // Dashes of a fixed length on the screen: three pen widths on, two off.
  const double PenWidth = std::max(1, G.GlobeCanvas().Pen().Width);
  const double KmPerPixel =
      1.0 / (static_cast<double>(G.Projection().ScaleFactor()) *
             static_cast<double>(globe::GUPerUnit(globe::TGlobeUnitTypes::Kilometer)));
  const double Dash = std::max(6 * PenWidth * KmPerPixel, 0.1);
  const double Gap = std::max(4 * PenWidth * KmPerPixel, 0.1);
  const double Length = 2 * std::numbers::pi * EarthRadiusKm() - Short.DistanceKm;
  for (const auto& Piece : DashedArc(mylat, mylong, Short.BearingDeg + 180, Length, Dash, Gap))
    G.RenderPolyLine(Piece);
}

void TForm1::DrawBeam() {
  const std::optional<double> Heading = BeamHeading(edAzimut->text());
  if (!Heading) return;
  globe::TGlobe4& G = Globe41();
  globe::TGlobeCanvas& Canvas = G.GlobeCanvas();
  const platform::TCanvasPen Pen = Canvas.Pen();
  const platform::TCanvasBrush Brush = Canvas.Brush();
  const std::int32_t Width = Canvas.ScaleUnitsToDevice(kBeamWidth, globe::TGlobeUnitTypes::Pixel);
  if (BeamWidth > 0) {
    const auto Wedge = BeamWedge(mylat, mylong, *Heading, BeamWidth);
    Canvas.SetPen({kBeamColor, platform::psSolid, 1});
    Canvas.SetBrush({kBeamColor, platform::cbsBDiagonal});
    G.RenderPolygon(Wedge);
  }
  Canvas.SetPen({kBeamColor, platform::psSolid, Width});
  G.RenderPolyLine(BeamRay(mylat, mylong, *Heading));
  Canvas.SetPen(Pen);
  Canvas.SetBrush(Brush);
}

void TForm1::DrawGreyLine() {
  if (!ShadowSun_) return;
  globe::TGlobe4& G = Globe41();
  globe::TGlobeCanvas& Canvas = G.GlobeCanvas();
  // The path's pen and brush stay as they were for the next paint's circles.
  const platform::TCanvasPen Pen = Canvas.Pen();
  const platform::TCanvasBrush Brush = Canvas.Brush();
  Canvas.SetPen({kGreyLineRim, platform::psSolid, 1});
  Canvas.SetBrush({kGreyLineColor, platform::cbsSolid});
  Canvas.RequireState();
  for (const globe::TPointLL& At :
       globe::TerminatorCrossings(ptLondon, _PointLLWWW, *ShadowSun_, globe::gcShortest)) {
    globe::TPoint P;
    if (!G.Projection().LLToDeviceXY(At.iLongX, At.iLatY, P)) continue;  // behind the globe
    Canvas.Ellipse({P.X - kGreyLineRadius, P.Y - kGreyLineRadius, P.X + kGreyLineRadius + 1,
                    P.Y + kGreyLineRadius + 1});
  }
  Canvas.SetPen(Pen);
  Canvas.SetBrush(Brush);
}

const globe::TTextureData* TForm1::NightLights() {
  if (!NightLights_) {
    NightLights_ = std::make_unique<globe::TTextureData>();
    try {
      NightLights_->LoadFromFile(
          QDir(Env_.ExeFolder).filePath(QString::fromLatin1(kNightLightsFile)).toStdString());
    } catch (const globe::EGlobeException&) {
      // A damaged file leaves the night without lights; it is not read again.
    }
  }
  return NightLights_->IsValid() ? NightLights_.get() : nullptr;
}

double TForm1::ShadowTime() const {
  const QDateTime Local = Now();
  const QDate D = Local.date();
  const QTime T = Local.time();
  return globe::EncodeGMTDateTime(D.year(), static_cast<std::uint32_t>(D.month()),
                                  static_cast<std::uint32_t>(D.day()), T.hour(), T.minute(),
                                  T.second() + T.msec() / 1000.0) +
         TimeZoneBiasMinutes(Local) / 1440;
}

void TForm1::Globe41Render() {
  globe::TGlobe4& G = Globe41();
  if (ShadowEnabled) {
    globe::TShadowStyle Style{kNightColor, kTwilightColor, globe::smDarken, 1};
    if (!G.SurfaceTextureName().empty()) Style.NightLights = NightLights();
    ShadowSun_ = G.RenderDIBShadow(ShadowTime(), Style);
  } else {
    ShadowSun_.reset();
  }
  globe::TGlobeCanvas& Canvas = G.GlobeCanvas();
  // Screen pixels: as wide on a high-density screen as elsewhere.
  const auto Pixels = [&Canvas](std::int32_t N) {
    return Canvas.ScaleUnitsToDevice(N, globe::TGlobeUnitTypes::Pixel);
  };
  Canvas.SetPen({kOverlayColor, platform::psSolid, Pixels(kOverlayWidth)});
  const QString Label = CallLabel();
  if (Label.isEmpty()) return;
  const bool Placed = TargetPlaced();
  platform::TCanvasFont Font = Canvas.Font();
  Font.Style.Bold = true;
  Font.Style.Underline = true;
  Font.Color = kLabelColor;
  Canvas.SetFont(Font);
  // The label stands on the map itself, not on a box of whatever brush the layers left.
  platform::TCanvasBrush Brush = Canvas.Brush();
  Brush.Style = platform::cbsClear;
  Canvas.SetBrush(Brush);
  // A callsign without a position of its own stands at home, marked as unplaced.
  const globe::TPointLL Where = Placed ? _PointLLWWW : globe::DegToPointLL(mylong, mylat);
  globe::TPoint At;
  const std::int64_t SouthLat = std::int64_t{Where.iLatY} - globe::GU_DEGREE;
  if (!G.Projection().LLToDeviceXY(Where.iLongX, globe::Clamp32(SouthLat), At)) return;
  Canvas.RequireState();
  if (platform::TDevice* Device = Canvas.Handle()) {
    // The label hangs from its top-left corner, whatever alignment the titles left.
    Device->SetTextAlign(platform::TA_LEFT | platform::TA_TOP);
    globe::HaloTextOut(*Device, At.X - Pixels(kLabelLeftShift), At.Y, Label.toStdString(),
                       kLabelHalo, Pixels(1));
  }
}

QString TForm1::CallLabel() const {
  QString Call = edCallsign->text().trimmed();
  if (Call.isEmpty()) return Call;
  if (!TargetPlaced()) return Call + QStringLiteral(" ?");
  if (!HomeKnown_) return Call;  // no distance or bearing from an unknown home
  const double Lat = static_cast<double>(_PointLLWWW.iLatY) / globe::GU_DEGREE;
  const double Long = static_cast<double>(_PointLLWWW.iLongX) / globe::GU_DEGREE;
  QString Label = StationLabel(Call, ShortPath(mylat, mylong, Lat, Long), UnitsMiles);
  // Both ends between sunset and the end of civil twilight: grey-line propagation.
  if (ShadowSun_ && globe::DayNightClass(globe::DegToPointLL(mylong, mylat), *ShadowSun_) == 3 &&
      globe::DayNightClass(_PointLLWWW, *ShadowSun_) == 3)
    Label += QStringLiteral(" (grey line)");
  return Label;
}

bool TForm1::TargetPlaced() const {
  return !PlacedCall_.isEmpty() && edCallsign->text().trimmed() == PlacedCall_;
}

void TForm1::Globe41MouseMove(std::int32_t X, std::int32_t Y) {
  // The program keeps its name in the title (the taskbar shows it); the place under the
  // mouse follows it.
  QString Title = kTitle;
  if (auto* Object = dynamic_cast<globe::TGlobeObject*>(Globe41().Layers().ObjectAtXY(X, Y))) {
    const QString Name = QString::fromStdString(Object->Title()).trimmed();
    if (!Name.isEmpty()) Title += QStringLiteral(" \u2013 ") + Name;
  }
  setWindowTitle(Title);
}

void TForm1::Globe41MouseLeave() { setWindowTitle(kTitle); }

}  // namespace orvane
