#include "globe/core/text.h"
#include "globe/projection/projection.h"

#include <cmath>
#include <string>

#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projmath.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"
#include "globe/view/customglobe.h"

namespace globe {

using projection_detail::SatRound32;
using projection_detail::TryRound32;

namespace {

constexpr Extended kMaxDeviceCoordinate = 2147483647.0L;
// What CenterLatitude and CenterLongitude read when the canvas centre is off the earth.
constexpr Extended kNoCentre = 2147483647.0L;

const TGlobeClass& ProjectionModelClass(std::string_view Name) {
  const TGlobeClass& c = GetGlobeClass(Name);
  if (!c.InheritsFrom(TCustomProjectionModel::StaticClass())) {
    throw EGlobeException("Class " + std::string(Name) + " does not inherit from TProjectionModel");
  }
  return c;
}

// Full-size extents: the canvas size over the model's extents, the fit of "Altitude 0".
Extended FitScale(std::int32_t W, std::int32_t H, const TRect& Extents) {
  const Extended ew = std::fabs(static_cast<Extended>(std::int64_t{Extents.Right} - Extents.Left));
  const Extended eh = std::fabs(static_cast<Extended>(std::int64_t{Extents.Bottom} - Extents.Top));
  return MinExt(W / ew, H / eh);
}

}  // namespace

// ---- Models -----------------------------------------------------------------------------

std::unique_ptr<TCustomProjectionModel> TCustomProjectionModel::Clone(
    TGlobeProjection* Parent) const {
  auto model = CreateGlobeObject<TCustomProjectionModel>(ClassType(), Parent);
  model->Assign(*this);
  return model;
}

void TCustomProjectionModel::Assign(const TCustomProjectionModel&) {}

// ---- Controller -------------------------------------------------------------------------

TGlobeProjection::TGlobeProjection(TCustomGlobe4* ParentGlobe) : FGlobe(ParentGlobe) {
  if (ParentGlobe == nullptr) throw EGlobeException("TGlobeProjection.Create passed nil parent");
  FProjectionModel = std::make_unique<TSphericalPrj>(this);
  FYAxisChanges = yaCentralMeridian;
  FXAxisChanges = xaYOrigin;
  FSpheroid = TSpheroid::WGS84;
  FMinLongitude = -180;
  FMinLatitude = -90;
  FMaxLongitude = 180;
  FMaxLatitude = 90;
  FXRotation = 23.5L;
  const TGlobeCanvas& canvas = FGlobe->GlobeCanvas();
  const std::int32_t W = canvas.CanvasWidth();
  const std::int32_t H = canvas.CanvasHeight();
  FScaleFactor = FitScale(W, H, FProjectionModel->ExtentsLL());
  if (FScaleFactor > 3.0L) FScaleFactor = 3.0L;
  if (!(FScaleFactor >= 1e-10L)) FScaleFactor = 1e-10L;
  FiXOrigin = W / 2;
  FiYOrigin = H / 2;
  // The sphere builds its matrices only when told of a change; without this a new view
  // would project every point onto the origin until the first rotation or zoom. The sphere
  // calls nothing on the globe for a scale change.
  FProjectionModel->PropertyChanged(ppScaleFactor);
}

TGlobeProjection::~TGlobeProjection() = default;

// ---- Indexed setters --------------------------------------------------------------------

void TGlobeProjection::SetIntProperty(TProjectionProperty Index, std::int32_t Value) {
  switch (Index) {
    case ppXOrigin:
      if (FiXOrigin == Value) return;
      FiXOrigin = Value;
      break;
    case ppYOrigin:
      if (FiYOrigin == Value) return;
      FiYOrigin = Value;
      break;
    default:
      break;
  }
  FProjectionModel->PropertyChanged(Index);
  FGlobe->RedrawLayers();
}

void TGlobeProjection::SetFloatProperty(TProjectionProperty Index, Extended Value) {
  // A NaN never equals the stored value, so the sphere's clamp would hand it back forever.
  if (std::isnan(Value)) return;
  Extended* field = nullptr;
  Extended stored = Value;
  switch (Index) {
    case ppXRotation:
      field = &FXRotation;
      break;
    case ppYRotation:
      field = &FYRotation;
      stored = WrapDegrees180(Value);
      break;
    case ppZRotation:
      field = &FZRotation;
      break;
    case ppCentralMeridian:
      field = &FCentralMeridian;
      break;
    case ppCentralParallel:
      field = &FCentralParallel;
      break;
    case ppFirstParallel:
      field = &FFirstParallel;
      break;
    case ppSecondParallel:
      field = &FSecondParallel;
      break;
    case ppMaxLatitude:
      field = &FMaxLatitude;
      stored = MinExt(Value, 90);
      break;
    case ppMinLatitude:
      field = &FMinLatitude;
      stored = MaxExt(Value, -90);
      break;
    case ppMaxLongitude:
      field = &FMaxLongitude;
      stored = MinExt(Value, 180);
      break;
    case ppMinLongitude:
      field = &FMinLongitude;
      stored = MaxExt(Value, -180);
      break;
    case ppMaxZoom:
      field = &FMaxZoom;
      stored = MinExt(Value, 3);
      break;
    case ppMinZoom:
      field = &FMinZoom;
      stored = MaxExt(Value, 3e-8L);
      break;
    default:
      break;
  }
  if (field != nullptr) {
    if (*field == Value) return;  // compared before clamping
    *field = stored;
  }
  FProjectionModel->PropertyChanged(Index);
  FGlobe->UpdateScrollBars();
  FGlobe->RedrawLayers();
}

void TGlobeProjection::SetXAxisChanges(TXAxisChanges Value) {
  if (FXAxisChanges == Value) return;
  FXAxisChanges = Value;
  FProjectionModel->PropertyChanged(ppXAxisChanges);
}

void TGlobeProjection::SetYAxisChanges(TYAxisChanges Value) {
  if (FYAxisChanges == Value) return;
  FYAxisChanges = Value;
  FProjectionModel->PropertyChanged(ppYAxisChanges);
}

// ---- Zoom -------------------------------------------------------------------------------

void TGlobeProjection::SetScaleFactor(Extended Value) {
  if (Value < 0) return;
  if (std::fabs(Value - FScaleFactor) < 1e-10L) return;
  const TGlobeCanvas& canvas = FGlobe->GlobeCanvas();
  const std::int32_t W = canvas.CanvasWidth();
  const std::int32_t H = canvas.CanvasHeight();

  if (FMinZoom < FMaxZoom) {
    if (Value < FMinZoom) Value = FMinZoom;
    if (Value > FMaxZoom) Value = FMaxZoom;
  }
  if (Value == 0) {
    SetIntProperty(ppXOrigin, SatRound32(W / 2.0L));
    SetIntProperty(ppYOrigin, SatRound32(H / 2.0L));
    Value = FitScale(W, H, FProjectionModel->ExtentsLL());
  }
  if (Value > 3.0L) Value = 3.0L;
  // Device coordinates must stay within 32 bits.
  const Extended side = std::max(W, H);
  if (side / Value > kMaxDeviceCoordinate) Value = side / kMaxDeviceCoordinate;

  // Each step stops the rest when its arithmetic leaves the 32-bit range.
  auto apply = [&] {
    const Extended old = FScaleFactor;
    std::int32_t x = 0, y = 0;
    if (!TryRound32(W / 2.0L + (FiXOrigin - W / 2.0L) / old * Value, x)) return;
    SetIntProperty(ppXOrigin, x);
    if (!TryRound32(H / 2.0L + (FiYOrigin - H / 2.0L) / old * Value, y)) return;
    SetIntProperty(ppYOrigin, y);
    std::int32_t altitude = 0;
    if (!TryRound32(1 / (TAN_50_DEGREES * Value), altitude)) return;
    FiAltitude = altitude;
    std::int32_t vw = 0, vh = 0;
    if (!TryRound32(W / Value, vw) || !TryRound32(H / Value, vh)) return;
    FGlobe->StoreViewRect({0, 0, vw, vh});
    FScaleFactor = Value;
    FProjectionModel->PropertyChanged(ppScaleFactor);
    FGlobe->RedrawLayers();
    FGlobe->DoZoomed(this);
  };
  if (Value != FScaleFactor) apply();
  FGlobe->UpdateScrollBars();
}

void TGlobeProjection::SetAltitude(std::int32_t Value) {
  if (Value == 0) {
    SetScaleFactor(0);
  } else {
    SetScaleFactor(1 / (TAN_50_DEGREES * Value));
  }
}

// ---- Model ------------------------------------------------------------------------------

void TGlobeProjection::SetProjectionModel(std::unique_ptr<TCustomProjectionModel> Model) {
  if (!Model) Model = std::make_unique<TSphericalPrj>(this);
  bool centred = false;
  TPoint centre;
  if (&Model->ClassType() != &FProjectionModel->ClassType()) {
    centred = FProjectionModel->XYToLL(FGlobe->ClientWidth() / 2, FGlobe->ClientHeight() / 2, 0);
    if (centred) centre = DevicePoints()[0];
  }
  FProjectionModel = std::move(Model);
  for (int p = ppXRotation; p <= ppMinZoom; ++p) {
    FProjectionModel->PropertyChanged(static_cast<TProjectionProperty>(p));
  }
  if (centred) {
    FGlobe->SetViewRect(FGlobe->ViewRect());
    SetCenterXY({FGlobe->ClientWidth() / 2, FGlobe->ClientHeight() / 2});
    FGlobe->LocateToLL(centre.X, centre.Y);
  }
  FGlobe->RedrawLayers();
}

std::string TGlobeProjection::ProjectionClass() const {
  return std::string(FProjectionModel->ClassName());
}

void TGlobeProjection::SetProjectionClass(std::string_view Name) {
  if (SameTextAscii(Name, FProjectionModel->ClassName())) return;
  const TGlobeClass& modelClass = ProjectionModelClass(Name);
  SetProjectionModel(CreateGlobeObject<TCustomProjectionModel>(modelClass, this));
  if (FUseMinMaxLimits && !SameTextAscii(Name, "TCartesianPrj")) SetUseMinMaxLimits(false);
}

void TGlobeProjection::SetUseMinMaxLimits(bool Value) {
  FUseMinMaxLimits = Value;
  if (!Value) return;
  SetYAxisChanges(yaXOrigin);
  SetXAxisChanges(xaYOrigin);
  SetFloatProperty(ppCentralMeridian, 0);
  SetFloatProperty(ppCentralParallel, 0);
  SetProjectionClass("TCartesianPrj");
}

// ---- Copies -----------------------------------------------------------------------------

void TGlobeProjection::Assign(const TGlobeProjection& Source) {
  FiXOrigin = Source.FiXOrigin;
  FiYOrigin = Source.FiYOrigin;
  FiAltitude = Source.FiAltitude;
  FXRotation = Source.FXRotation;
  FYRotation = Source.FYRotation;
  FZRotation = Source.FZRotation;
  FMaxLatitude = Source.FMaxLatitude;
  FMinLatitude = Source.FMinLatitude;
  FMaxLongitude = Source.FMaxLongitude;
  FMinLongitude = Source.FMinLongitude;
  FMaxZoom = Source.FMaxZoom;
  FMinZoom = Source.FMinZoom;
  FScaleFactor = Source.FScaleFactor;
  FCentralMeridian = Source.FCentralMeridian;
  FCentralParallel = Source.FCentralParallel;
  FFirstParallel = Source.FFirstParallel;
  FSecondParallel = Source.FSecondParallel;
  FSpheroid = Source.FSpheroid;
  FXAxisChanges = Source.FXAxisChanges;
  FYAxisChanges = Source.FYAxisChanges;
  FiGraticuleLongSteps = Source.FiGraticuleLongSteps;
  FiGraticuleLatSteps = Source.FiGraticuleLatSteps;
  FFlags = Source.FFlags;
  FRenderBackFace = Source.FRenderBackFace;
  // Made before the old model goes: Source may be this controller.
  auto model = Source.FProjectionModel->Clone(this);
  FProjectionModel = std::move(model);
}

std::unique_ptr<TGlobeProjection> TGlobeProjection::Clone() const {
  auto copy = std::make_unique<TGlobeProjection>(FGlobe);
  copy->Assign(*this);
  return copy;
}

// ---- Environment ------------------------------------------------------------------------

std::unique_ptr<TGXML_Element> TGlobeProjection::SaveEnvironment() {
  auto el = std::make_unique<TGXML_Element>();
  el->AddFloatAttribute("ScaleFactor", FScaleFactor);
  el->AddFloatAttribute("CentralMeridian", FCentralMeridian);
  el->AddFloatAttribute("CentralParallel", FCentralParallel);
  el->AddFloatAttribute("FirstParallel", FFirstParallel);
  el->AddFloatAttribute("SecondParallel", FSecondParallel);
  el->AddFloatAttribute("MaxLatitude", FMaxLatitude);
  el->AddFloatAttribute("MaxLongitude", FMaxLongitude);
  el->AddFloatAttribute("MaxZoom", FMaxZoom);
  el->AddFloatAttribute("MinLatitude", FMinLatitude);
  el->AddFloatAttribute("MinLongitude", FMinLongitude);
  el->AddFloatAttribute("MinZoom", FMinZoom);
  el->AddIntAttribute("Spheroid", static_cast<std::int32_t>(FSpheroid));
  el->AddFloatAttribute("XRotation", FXRotation);
  el->AddFloatAttribute("YRotation", FYRotation);
  el->AddFloatAttribute("ZRotation", FZRotation);
  el->AddIntAttribute("XOrigin", FiXOrigin);
  el->AddIntAttribute("YOrigin", FiYOrigin);
  el->AddIntAttribute("XAxisChanges", FXAxisChanges);
  el->AddIntAttribute("YAxisChanges", FYAxisChanges);
  el->AddElement("ProjectionModel", FProjectionModel->SaveEnvironment());
  return el;
}

void TGlobeProjection::LoadEnvironment(const TGXML_Element* Element) {
  if (Element == nullptr) return;
  if (const TGXML_Element* modelEl = Element->ElementByName("ProjectionModel")) {
    const std::string name = modelEl->AttributeByName("Class", ProjectionClass());
    // Checked: a document may name any registered class.
    auto model = CreateGlobeObject<TCustomProjectionModel>(ProjectionModelClass(name), this);
    model->LoadEnvironment(modelEl);
    SetProjectionModel(std::move(model));
  }
  // Ordinals from a document are taken only when they name a value.
  const std::int32_t spheroid =
      Element->IntAttributeByName("Spheroid", static_cast<std::int32_t>(FSpheroid));
  if (spheroid >= 0 && spheroid <= static_cast<std::int32_t>(TSpheroid::WGS84)) {
    FSpheroid = static_cast<TSpheroid>(spheroid);
  }
  const std::int32_t ya = Element->IntAttributeByName("YAxisChanges", FYAxisChanges);
  if (ya >= yaXOrigin && ya <= yaNoAction) SetYAxisChanges(static_cast<TYAxisChanges>(ya));
  const std::int32_t xa = Element->IntAttributeByName("XAxisChanges", FXAxisChanges);
  if (xa >= xaYOrigin && xa <= xaNoAction) SetXAxisChanges(static_cast<TXAxisChanges>(xa));

  SetScaleFactor(Element->FloatAttributeByName("ScaleFactor", FScaleFactor));

  auto loadFloat = [&](const char* name, TProjectionProperty p, Extended current) {
    SetFloatProperty(p, Element->FloatAttributeByName(name, current));
  };
  loadFloat("MaxLatitude", ppMaxLatitude, FMaxLatitude);
  loadFloat("MaxLongitude", ppMaxLongitude, FMaxLongitude);
  loadFloat("MaxZoom", ppMaxZoom, FMaxZoom);
  loadFloat("MinLatitude", ppMinLatitude, FMinLatitude);
  loadFloat("MinLongitude", ppMinLongitude, FMinLongitude);
  loadFloat("MinZoom", ppMinZoom, FMinZoom);
  loadFloat("XRotation", ppXRotation, FXRotation);
  loadFloat("YRotation", ppYRotation, FYRotation);
  loadFloat("ZRotation", ppZRotation, FZRotation);
  SetIntProperty(ppXOrigin, Element->IntAttributeByName("XOrigin", FiXOrigin));
  SetIntProperty(ppYOrigin, Element->IntAttributeByName("YOrigin", FiYOrigin));
  loadFloat("CentralMeridian", ppCentralMeridian, FCentralMeridian);
  loadFloat("CentralParallel", ppCentralParallel, FCentralParallel);
  loadFloat("FirstParallel", ppFirstParallel, FFirstParallel);
  loadFloat("SecondParallel", ppSecondParallel, FSecondParallel);
}

// ---- Derived properties -----------------------------------------------------------------

TRect TGlobeProjection::ExtentsLL() const { return FProjectionModel->ExtentsLL(); }

bool TGlobeProjection::DeviceXYToLL(std::int32_t iX, std::int32_t iY, TPointLL& ptLL) {
  const bool result = FProjectionModel->XYToLL(iX, iY, 0);
  if (result) {
    const TPoint p = DevicePoints()[0];
    ptLL = PointLL(p.X, p.Y);
  } else {
    ptLL = PointLL(GU_180_DEGREE, GU_180_DEGREE);
  }
  return result;
}

bool TGlobeProjection::LLToDeviceXY(std::int32_t iLong, std::int32_t iLat, TPoint& ptXY) {
  const bool result = FProjectionModel->LLToXY(iLong, iLat, 0);
  ptXY = DevicePoints()[0];
  return result;
}

bool TGlobeProjection::PointLLToXY(const TPointLL& ptLL, TPoint& ptXY) {
  const TPointLL copy = ptLL;
  const bool result = FProjectionModel->PointLLToXY(copy, 0);
  ptXY = DevicePoints()[0];
  return result;
}

Extended TGlobeProjection::CenterLatitude() {
  const TGlobeCanvas& canvas = FGlobe->GlobeCanvas();
  TPointLL pt;
  if (!DeviceXYToLL(canvas.CanvasWidth() / 2, canvas.CanvasHeight() / 2, pt)) return kNoCentre;
  return static_cast<Extended>(pt.iLatY) / GU_DEGREE;
}

Extended TGlobeProjection::CenterLongitude() {
  const TGlobeCanvas& canvas = FGlobe->GlobeCanvas();
  TPointLL pt;
  if (!DeviceXYToLL(canvas.CanvasWidth() / 2, canvas.CanvasHeight() / 2, pt)) return kNoCentre;
  return static_cast<Extended>(pt.iLongX) / GU_DEGREE;
}

void TGlobeProjection::SetCenterLatitude(Extended Value) {
  SetIntProperty(ppYOrigin, FGlobe->GlobeCanvas().CanvasHeight() / 2);
  TPointLL pt;
  (void)DeviceXYToLL(FiXOrigin, FiYOrigin, pt);
  SetFloatProperty(ppXRotation, FXRotation - (static_cast<Extended>(pt.iLatY) / GU_DEGREE - Value));
}

void TGlobeProjection::SetCenterLongitude(Extended Value) {
  SetIntProperty(ppXOrigin, FGlobe->GlobeCanvas().CanvasWidth() / 2);
  TPointLL pt;
  (void)DeviceXYToLL(FiXOrigin, FiYOrigin, pt);
  SetFloatProperty(ppYRotation,
                   FYRotation - (static_cast<Extended>(pt.iLongX) / GU_DEGREE - Value));
}

void TGlobeProjection::SetCenterXY(TPoint pt) {
  if (pt.X != FiXOrigin || pt.Y != FiYOrigin) {
    SetIntProperty(ppXOrigin, pt.X);
    SetIntProperty(ppYOrigin, pt.Y);
    FGlobe->DoPanned(this);
  }
  FGlobe->UpdateScrollBars();
  FGlobe->RedrawLayers();
}

std::int32_t TGlobeProjection::UnitsPerInch() const {
  // Saturated: far out (scale down to 1e-10) the value passes 32 bits.
  return SatRound32(FGlobe->GlobeCanvas().CanvasPixelsPerInch() / FScaleFactor);
}

void TGlobeProjection::SetUnitsPerInch(std::int32_t Value) {
  if (Value <= 0) return;  // no scale has a zero or negative size
  SetScaleFactor(static_cast<Extended>(FGlobe->GlobeCanvas().ScreenPixelsPerInch()) / Value);
}

bool SamePixel(TGlobeProjection& Projection, const TPointLL& ptA, const TPointLL& ptB) {
  TPoint a, b;
  Projection.LLToDeviceXY(ptA.iLongX, ptA.iLatY, a);
  Projection.LLToDeviceXY(ptB.iLongX, ptB.iLatY, b);
  return a == b;
}

void RegisterProjectionModels() {
  // The azimuthal map came later; it is registered after the others, which keep their order.
  RegisterGlobeClasses<TCartesianPrj, TMercatorPrj, TSphericalPrj, TTestCartesianPrj,
                       TAzimuthalPrj>();
}

}  // namespace globe
