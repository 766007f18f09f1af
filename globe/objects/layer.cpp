#include "globe/core/text.h"
#include "globe/objects/layer.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <string_view>

#include "globe/core/numeric.h"
#include "globe/core/units.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/projection/projection.h"
#include "globe/render/attributes.h"
#include "globe/render/canvas.h"
#include "globe/render/labels.h"
#include "globe/render/pointbuffer.h"
#include "globe/view/globe.h"
#include "platform/application.h"

namespace globe {

namespace {

// Blanks and control characters, as names from stored files may carry them.
std::string Trim(std::string_view s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

// Checks and progressive updates run once every this many objects, not for every object.
constexpr std::int32_t kCheckInterval = 256;

std::int64_t NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

TGlobeLayer::TGlobeLayer(TGlobe4* ParentGlobe) : FGlobe(ParentGlobe) {
  if (ParentGlobe == nullptr) throw EGlobeException("TGlobeLayer.Create passed nil Parent");
  FPresenters = std::make_unique<TGlobePresenterStore>(ParentGlobe);
  TGlobeLayer::Clear();
  try {
    FGlobe->Notify(gnLayerCreate, this);
  } catch (...) {
    // A failing handler must not leave the store holding a layer that is never made.
    FGlobe->Layers().Remove(this);
    throw;
  }
  FModified = false;
}

TGlobeLayer::~TGlobeLayer() {
  // A destructor cannot report a failing handler; the layer still leaves the store.
  try {
    FGlobe->Notify(gnLayerFree, this);
  } catch (...) {
    FGlobe->Layers().Remove(this);
  }
  // A store other than the globe's own (or one left while the globe is going) lets go too.
  if (FLayerStore != nullptr) FLayerStore->Remove(this);
  SetObjects(nullptr);
  FPresenters.reset();
}

TGlobeCanvas& TGlobeLayer::GlobeCanvas() const noexcept { return FGlobe->GlobeCanvas(); }

TGlobeProjection& TGlobeLayer::Projection() const noexcept { return FGlobe->Projection(); }

// ---- Source -----------------------------------------------------------------------------

TGlobeObjectSource& TGlobeLayer::Objects() {
  if (FObjects == nullptr) {
    // The globe owns the new source until the subscription below takes it over.
    SetObjects(std::make_unique<TGlobeObjectSource>(FGlobe).release());
  }
  return *FObjects;
}

void TGlobeLayer::SetObjects(TGlobeObjectSource* Value) {
  // Unsubscribing the only layer would free the source that is to be attached again.
  if (Value == FObjects) return;
  TGlobeObjectSource* old = FObjects;
  // The old source may free itself on the way out: forget it first, never touch it after.
  FObjects = nullptr;
  if (old != nullptr) old->UnSubscribe(this);
  FObjects = Value;
  if (FObjects != nullptr) FObjects->Subscribe(this);
  FGlobe->RedrawLayers();
}

// ---- Properties -------------------------------------------------------------------------

std::string TGlobeLayer::Name() const {
  std::string name = Trim(FsLayerName);
  if (!name.empty()) return name;
  if (FObjects != nullptr && !FObjects->Name().empty()) return FObjects->Name();
  return std::string(ClassName());
}

void TGlobeLayer::SetName(const std::string& Value) {
  std::string name = Trim(Value);
  // Writing the derived name keeps the name following the source.
  if (name == Name()) return;
  FsLayerName = std::move(name);
  FModified = true;
}

std::int32_t TGlobeLayer::Index() const {
  return FLayerStore != nullptr ? FLayerStore->IndexOf(this) : -1;
}

void TGlobeLayer::SetIndex(std::int32_t Value) {
  if (FLayerStore != nullptr) FLayerStore->Move(Index(), Value);
}

void TGlobeLayer::SetAnimated(bool Value) {
  if (Value == FbAnimated) return;
  FbAnimated = Value;
  FModified = true;
  FGlobe->RedrawLayers();
}

void TGlobeLayer::SetEnabled(bool Value) {
  if (Value == FbEnabled) return;
  FbEnabled = Value;
  FModified = true;
  FGlobe->RedrawLayers();
}

void TGlobeLayer::SetShowTitles(bool Value) {
  if (Value == FbShowTitles) return;
  FbShowTitles = Value;
  FModified = true;
  FGlobe->RedrawLayers();
}

void TGlobeLayer::SetVisible(bool Value) {
  if (Value == FbVisible) return;
  FbVisible = Value;
  FModified = true;
  FGlobe->RedrawLayers();
}

void TGlobeLayer::SetAvoidTitleOverlap(bool Value) {
  if (Value == FbAvoidTitleOverlap) return;
  FbAvoidTitleOverlap = Value;
  FGlobe->RedrawLayers();
}

void TGlobeLayer::SetNoInterrupt(bool Value) {
  if (Value == FbNoInterrupt) return;
  FbNoInterrupt = Value;
  FModified = true;
  FGlobe->RedrawLayers();
}

void TGlobeLayer::SetZoomMin(std::int32_t Value) {
  if (Value == FiZoomMin) return;
  FiZoomMin = Value;
  FModified = true;
}

void TGlobeLayer::SetZoomMax(std::int32_t Value) {
  if (Value == FiZoomMax) return;
  FiZoomMax = Value;
  FModified = true;
}

namespace {

// A length in Units as GU, rounded, in 64 bits so that large limits do not wrap. Pixels
// have no fixed size: the current scale decides.
std::int64_t UnitsToGU64(const TGlobeProjection& P, std::int32_t Value, TGlobeUnitTypes Units) {
  if (Units == TGlobeUnitTypes::Pixel) {
    const Extended scale = P.ScaleFactor();
    return scale > 0 ? RoundHalfEven(Value / scale) : Value;
  }
  return RoundHalfEven(Value * GUPerUnit(Units));
}

std::int32_t GUToUnits32(const TGlobeProjection& P, std::int64_t GU, TGlobeUnitTypes Units) {
  const Extended factor = GUPerUnit(Units);
  const Extended v = Units == TGlobeUnitTypes::Pixel ? GU * P.ScaleFactor()
                     : factor > 0                    ? GU / factor
                                                     : static_cast<Extended>(GU);
  constexpr Extended kMax = std::numeric_limits<std::int32_t>::max();
  constexpr Extended kMin = std::numeric_limits<std::int32_t>::min();
  if (!(v < kMax)) return std::numeric_limits<std::int32_t>::max();
  if (!(v > kMin)) return std::numeric_limits<std::int32_t>::min();
  return Clamp32(RoundHalfEven(v));
}

}  // namespace

void TGlobeLayer::SetZoomUnits(TGlobeUnitTypes Value) {
  if (Value == FZoomUnits) return;
  const TGlobeProjection& P = Projection();
  FiZoomMin = GUToUnits32(P, UnitsToGU64(P, FiZoomMin, FZoomUnits), Value);
  FiZoomMax = GUToUnits32(P, UnitsToGU64(P, FiZoomMax, FZoomUnits), Value);
  FZoomUnits = Value;
  FModified = true;
}

void TGlobeLayer::SetLayerColorAdjustPercent(std::int32_t Value) {
  if (Value == FLayerColorAdjustPercent) return;
  FLayerColorAdjustPercent = Value;
  FModified = true;
}

void TGlobeLayer::SetLayerColorAdjustTarget(platform::TColor Value) {
  if (Value == FLayerColorAdjustTarget) return;
  FLayerColorAdjustTarget = Value;
  FModified = true;
}

TMER TGlobeLayer::LayerMER() {
  if (!LayerState.Contains(lsValidMER) || FLayerMER.iWidthX == 0) {
    // A layer without a source has nothing to cover; asking must not attach one.
    FLayerMER = FObjects != nullptr ? FObjects->ObjectsMER() : TMER{};
  }
  return FLayerMER;
}

// ---- Life -------------------------------------------------------------------------------

void TGlobeLayer::Clear() {
  LayerState.Exclude(lsValidMER);
  FLayerMER = {};
  FsLayerName.clear();
  FbAnimated = false;
  FbEnabled = true;
  FbShowTitles = true;
  FbVisible = true;
  FiZoomMin = 0;
  FiZoomMax = 0;
  FZoomUnits = TGlobeUnitTypes::NauticalMile;
  FLayerColorAdjustPercent = 0;
  FLayerColorAdjustTarget = platform::RGB(128, 128, 128);
  SetObjects(nullptr);
  FPresenters->Clear();
  // Nothing left that a save would lose.
  FModified = false;
  FGlobe->RedrawLayers();
}

void TGlobeLayer::Delete() {
  if (FLayerStore != nullptr) {
    FLayerStore->Delete(this);
  } else {
    delete this;  // a layer outside every store is its own
  }
}

void TGlobeLayer::Assign(TGlobeRoot& Source) {
  auto* layer = dynamic_cast<TGlobeLayer*>(&Source);
  if (layer == nullptr) {
    throw EGlobeException("Cannot assign " + std::string(Source.ClassName()) + " to TGlobeLayer");
  }
  if (layer == this) return;
  Clear();
  SetObjects(&layer->Objects());
  FPresenters->Assign(layer->Presenters());
  SetAnimated(layer->Animated());
  SetEnabled(layer->Enabled());
  SetShowTitles(layer->ShowTitles());
  SetName(layer->Name());
  SetNoInterrupt(layer->NoInterrupt());
  SetVisible(layer->Visible());
  // The limits keep their values: no conversion into the other unit.
  FZoomUnits = layer->ZoomUnits();
  SetZoomMin(layer->ZoomMin());
  SetZoomMax(layer->ZoomMax());
}

TGlobeLayer* TGlobeLayer::Clone() {
  // The new layer lists itself in the globe's store, which owns it once it is assigned. A
  // failing assignment frees it (its destructor takes it out of the store again), so that
  // no half-made layer is drawn or saved.
  std::unique_ptr<TGlobeLayer> clone = CreateGlobeObjectLike<TGlobeLayer>(*this, FGlobe);
  clone->Assign(*this);
  return clone.release();
}

// ---- Queries ----------------------------------------------------------------------------

bool TGlobeLayer::IsLayerMERVisible() {
  if (!FbVisible) return false;
  const TGlobeProjection& P = Projection();
  const std::int64_t altitude = P.Altitude();
  if (FiZoomMin > 0 && altitude <= UnitsToGU64(P, FiZoomMin, FZoomUnits)) return false;
  if (FiZoomMax > 0 && altitude > UnitsToGU64(P, FiZoomMax, FZoomUnits)) return false;
  return true;
}

TGlobePresenter* TGlobeLayer::FindPresenter(std::int32_t iPresenterID) const {
  if (TGlobePresenter* p = FPresenters->ByID(iPresenterID, false)) return p;
  if (TGlobePresenter* p = FGlobe->Layers().GlobalPresenters().ByID(iPresenterID, false)) return p;
  if (FObjects != nullptr) return FObjects->Presenters().ByID(iPresenterID, false);
  return nullptr;
}

namespace {

// Globe units that two pixels cover at the current scale.
std::int32_t TwoPixelTolerance(const TGlobeProjection& P) {
  const Extended scale = P.ScaleFactor();
  if (!(scale > 0)) return 0;
  const Extended t = 2.0L / scale;
  if (!(t < std::numeric_limits<std::int32_t>::max())) return std::numeric_limits<std::int32_t>::max();
  return Round32(t);
}

}  // namespace

TGlobeObjectStateSet TGlobeLayer::UpdateObjectState(std::int32_t idx) {
  if (FObjects == nullptr) return {};
  TGlobeObjectSource& src = *FObjects;
  TGlobeObjectStateSet state = src.GetState(idx);
  if (state.Contains(osNew)) state = src.GetObject(idx).ObjectState;
  if (state.Contains(osHidden)) return state.Exclude(osVisible);
  const TMER mer = src.GetMER(idx);
  TGlobeProjection& P = Projection();
  if (!P.ProjectionModel().VisibleMER(mer, state)) return state.Exclude(osVisible);
  state.Include(osVisible);
  // The model tells nothing of a rectangle round the whole earth (a ring round a pole, or
  // one that runs from 180° W to 180° E): it may show on either face and past any edge.
  if (mer.iWidthX >= GU_360_DEGREE)
    state +=
        TGlobeObjectStateSet{osFace, osBackFace, osClipLeft, osClipTop, osClipRight, osClipBottom};
  const std::int32_t tolerance = TwoPixelTolerance(P);
  if (mer.iWidthX <= 0 || mer.iHeightY <= 0) return state;
  const bool tiny = tolerance > 0 && static_cast<Extended>(mer.iWidthX) / tolerance <= 1.0L &&
                    static_cast<Extended>(mer.iHeightY) / tolerance <= 1.0L;
  return state.Set(osTiny, tiny);
}

namespace {

// An object's own zoom range; equal bounds mean no range.
bool InZoomRange(const TGlobeObject& obj, std::int32_t altitude) {
  return obj.ZoomMin() == obj.ZoomMax() || (obj.ZoomMin() < altitude && altitude <= obj.ZoomMax());
}

}  // namespace

TGlobeObject* TGlobeLayer::ObjectAtLL(const TPointLL& ptLL) {
  if (FObjects == nullptr || !IsLayerMERVisible()) return nullptr;
  const std::int32_t tolerance = TwoPixelTolerance(Projection());
  for (std::int32_t i = FObjects->Count() - 1; FObjects != nullptr && i >= 0; --i) {
    const TMER mer = FObjects->GetMER(i);
    if (!((mer.iWidthX == 0 && mer.iHeightY == 0) || LLInMER(ptLL, mer))) continue;
    TGlobeObject& obj = FObjects->GetObject(i);
    // What is not drawn is not hit either: the names under the mouse must match the map.
    if (!InZoomRange(obj, Projection().Altitude())) continue;
    TGlobePresenter* presenter = FindPresenter(obj.PresenterID());
    if (presenter != nullptr && presenter->Hidden()) continue;
    const bool hit = presenter != nullptr
                         ? presenter->LLInObject(*FGlobe, ptLL, obj, tolerance)
                         : obj.LLInObject(ptLL, tolerance);
    if (hit) return &obj;
  }
  return nullptr;
}

TGlobeObject* TGlobeLayer::ObjectAtXY(std::int32_t iX, std::int32_t iY) {
  TPointLL ptLL;
  if (!Projection().DeviceXYToLL(iX, iY, ptLL)) return nullptr;
  return ObjectAtLL(ptLL);
}

TGlobeObject* TGlobeLayer::ObjectByTitle(const std::string& sTitle, const TGlobeObject* Obj) {
  if (FObjects == nullptr) return nullptr;
  std::int32_t start = 0;
  if (Obj != nullptr) {
    // Where Obj lives is read before anything is loaded: loading may discard Obj.
    if (Obj->Parent() != FObjects || Obj->Index() < 0 || Obj->Index() >= FObjects->Count())
      return nullptr;
    start = Obj->Index() + 1;
  }
  for (std::int32_t i = start; FObjects != nullptr && i < FObjects->Count(); ++i) {
    TGlobeObject& obj = FObjects->GetObject(i);
    if (SameTextAscii(obj.Title(), sTitle)) return &obj;
  }
  return nullptr;
}

TGlobeObject* TGlobeLayer::ObjectByID(std::int32_t iID) {
  for (std::int32_t i = 0; FObjects != nullptr && i < FObjects->Count(); ++i) {
    TGlobeObject& obj = FObjects->GetObject(i);
    if (obj.ID() == iID) return &obj;
  }
  return nullptr;
}

std::int32_t TGlobeLayer::SelectedCount() {
  std::int32_t count = 0;
  for (std::int32_t i = 0; FObjects != nullptr && i < FObjects->Count(); ++i) {
    if (FObjects->GetState(i).Contains(osSelected)) ++count;
  }
  return count;
}

// ---- Drawing ----------------------------------------------------------------------------

void TGlobeLayer::RenderObjects() {
  if (!FbNoInterrupt && FGlobe->PaintAborted()) return;
  if (!IsLayerMERVisible()) return;

  TGlobeProjection& P = Projection();
  TGlobeCanvas& canvas = GlobeCanvas();
  const TGlobeObjectState face = P.RenderBackFace() ? osBackFace : osFace;

  canvas.SetColorAdjustPercent(FLayerColorAdjustPercent);
  canvas.SetColorAdjustTarget(FLayerColorAdjustTarget);
  canvas.RefreshDC();

  std::int64_t deadline = NowMilliseconds() + FGlobe->PeriodicUpdateTime();
  bool allMERsValid = true;

  // The source is looked up afresh for every object: a handler called on the way may
  // replace it (and so free the old one).
  for (std::int32_t i = 0; FObjects != nullptr && i < FObjects->Count(); ++i) {
    TGlobeObjectSource& src = *FObjects;
    const TGlobeObjectStateSet state = UpdateObjectState(i);
    if (!state.Contains(osValidMER)) allMERsValid = false;

    if (state.Contains(osVisible) && state.Contains(face)) {
      if (state.Contains(osTiny)) {
        // One grey pixel, decided from the record alone; the object stays unloaded.
        const TMER mer = src.GetMER(i);
        if (P.ProjectionModel().PointLLToXY(TPointLL{mer.iLongX, mer.iLatY, 0}, 0)) {
          const TPoint pt = DevicePoints()[0];
          if (platform::TDevice* dc = canvas.DC()) dc->SetPixel(pt.X, pt.Y, platform::RGB(128, 128, 128));
        }
      } else {
        TGlobeObject& obj = src.GetObject(i);
        if (InZoomRange(obj, P.Altitude())) {
          TGlobePresenter* presenter = FindPresenter(obj.PresenterID());
          // A hidden presenter's objects are skipped whole, the periodic checks included.
          if (presenter != nullptr && presenter->Hidden()) continue;
          if (presenter != nullptr) {
            presenter->RenderObject(*FGlobe, obj, state);
          } else if (FGlobe->OnObjectRender) {
            FGlobe->OnObjectRender(FGlobe, &obj, state);
          } else {
            obj.Render(*FGlobe, state);
          }
          if (presenter != nullptr && FbShowTitles) RenderTitle(obj, *presenter);
        }
      }
    }

    if (i % kCheckInterval == 0) {
      if (platform::ApplicationTerminated()) return;
      if (!FbNoInterrupt && FGlobe->GlobeOptions().Contains(goInterruptable) &&
          FGlobe->PaintAborted())
        return;
      if (FGlobe->PeriodicUpdateTime() > 0) {
        const std::int64_t now = NowMilliseconds();
        if (now > deadline) {
          FGlobe->ShowPaintProgress();
          deadline = now + FGlobe->PeriodicUpdateTime();
        }
      }
    }
  }

  // Objects loaded on the way may have moved the extent.
  if (!allMERsValid) (void)LayerMER();
}

void TGlobeLayer::RenderTitle(TGlobeObject& Obj, TGlobePresenter& aPresenter) {
  if (aPresenter.TitleAlignment() == taNone || Obj.Title().empty()) return;
  bool bDone = false;
  aPresenter.RenderTitle(*FGlobe, Obj, bDone);
  if (bDone) return;

  TGlobeCanvas& canvas = GlobeCanvas();
  TGlobeFont& font = aPresenter.TitleFont();
  const std::int32_t minHeight = std::max<std::int32_t>(2, FGlobe->MinTextHeight());
  if (canvas.FontRenderHeight(font.FontSize(), font.FontUnit()) < minHeight) return;

  TGlobeProjection& P = Projection();
  std::int32_t offset = aPresenter.TitleOffset();
  if (font.FontUnit() != TGlobeUnitTypes::Pixel) {
    offset = Clamp32(RoundHalfEven(
        static_cast<Extended>(UnitsToGU64(P, offset, font.FontUnit())) * P.ScaleFactor()));
  }

  font.RenderAttribute(canvas, Obj.ObjectState.Contains(osSelected));

  const TPointLL centroid = Obj.Centroid();
  TPoint anchor;
  if (!P.LLToDeviceXY(centroid.iLongX, centroid.iLatY, anchor)) return;

  using platform::TA_BASELINE;
  using platform::TA_BOTTOM;
  using platform::TA_CENTER;
  using platform::TA_LEFT;
  using platform::TA_RIGHT;
  using platform::TA_TOP;
  std::uint16_t align = TA_LEFT | TA_TOP;
  std::int32_t dx = 0;
  std::int32_t dy = 0;
  switch (aPresenter.TitleAlignment()) {
    case taCenter: align = TA_CENTER | TA_BASELINE; break;
    case taLeft: align = TA_RIGHT | TA_BASELINE; dx = -offset; break;
    case taRight: align = TA_LEFT | TA_BASELINE; dx = offset; break;
    case taTopLeft: align = TA_RIGHT | TA_BOTTOM; dx = -offset; dy = -offset; break;
    case taTop: align = TA_CENTER | TA_BOTTOM; dy = -offset; break;
    case taTopRight: align = TA_LEFT | TA_BOTTOM; dx = offset; dy = -offset; break;
    case taBottomLeft: align = TA_RIGHT | TA_TOP; dx = -offset; dy = offset; break;
    case taBottom: align = TA_CENTER | TA_TOP; dy = offset; break;
    case taBottomRight: align = TA_LEFT | TA_TOP; dx = offset; dy = offset; break;
    case taNone: return;
  }
  platform::TDevice* dc = canvas.DC();
  if (dc == nullptr) return;
  dc->SetTextAlign(align);
  DrawTitleText(*dc, anchor.X + dx, anchor.Y + dy, Obj.Title());
}

void TGlobeLayer::DrawTitleText(platform::TDevice& Device, std::int32_t X, std::int32_t Y,
                                const std::string& Title) {
  // A pixel of rim on a screen of 96 pixels an inch, more on denser ones.
  const std::int32_t Rim = std::max(1, GlobeCanvas().CanvasPixelsPerInch() / 96);
  if (FbAvoidTitleOverlap && FLayerStore != nullptr &&
      !FLayerStore->TitleGrid().TryPlace(TextBounds(Device, X, Y, Title, Rim)))
    return;
  HaloTextOut(Device, X, Y, Title, ContrastingColor(Device.TextColor()), Rim);
}

// ---- Notifications ----------------------------------------------------------------------

void TGlobeLayer::Notify(TObjectSourceNotification Notification, TGlobeObject* Obj) {
  switch (Notification) {
    case osnOpen:
      SetVisible(true);
      break;
    case osnClose:
      SetVisible(false);
      break;
    case osnAdd:
      LayerState.Exclude(lsValidMER);
      FGlobe->RedrawLayers();
      break;
    case osnDelete:
      FGlobe->RedrawLayers();
      break;
    case osnRedraw:
      // An animated layer is drawn on every paint anyway: the picture below stays.
      if (FbAnimated) {
        if (platform::TWindowHost* host = FGlobe->Host()) host->Invalidate();
      } else {
        FGlobe->RedrawLayers();
      }
      break;
    case osnSelectedChanged:
      FGlobe->Notify(gnObjectSelectChange, Obj);
      break;
    case osnCreate:
    case osnFree:
      break;
  }
}

// ---- Environment ------------------------------------------------------------------------

std::unique_ptr<TGXML_Element> TGlobeLayer::SaveEnvironment() {
  FModified = false;
  auto element = std::make_unique<TGXML_Element>();
  element->AddAttribute("Class", ClassName());
  element->AddAttribute("Name", Name());
  element->AddBoolAttribute("Animated", FbAnimated);
  element->AddBoolAttribute("Enabled", FbEnabled);
  element->AddBoolAttribute("ShowTitles", FbShowTitles);
  element->AddBoolAttribute("Visible", FbVisible);
  element->AddAttribute("ZoomUnits", UnitsToStr(FZoomUnits));
  element->AddIntAttribute("ZoomMin", FiZoomMin);
  element->AddIntAttribute("ZoomMax", FiZoomMax);
  element->AddElement("Presenters", FPresenters->SaveEnvironment());
  if (FObjects != nullptr) element->AddElement("Objects", FObjects->SaveEnvironment());
  return element;
}

void TGlobeLayer::LoadEnvironment(const TGXML_Element* Element) {
  Clear();
  if (Element == nullptr) return;
  SetName(Element->AttributeByName("Name", Name()));
  SetAnimated(Element->BoolAttributeByName("Animated", FbAnimated));
  SetEnabled(Element->BoolAttributeByName("Enabled", FbEnabled));
  SetShowTitles(Element->BoolAttributeByName("ShowTitles", FbShowTitles));
  SetVisible(Element->BoolAttributeByName("Visible", FbVisible));
  SetZoomUnits(StrToUnits(Element->AttributeByName("ZoomUnits", UnitsToStr(FZoomUnits))));
  SetZoomMin(Element->IntAttributeByName("ZoomMin", FiZoomMin));
  SetZoomMax(Element->IntAttributeByName("ZoomMax", FiZoomMax));
  FPresenters->LoadEnvironment(Element->ElementByName("Presenters"));
  if (const TGXML_Element* objects = Element->ElementByName("Objects")) {
    const TGlobeClass& cls = GetGlobeClass(objects->AttributeByName("Class", ""));
    // The globe owns the new source until the layer subscribes to it.
    SetObjects(CreateGlobeObject<TGlobeObjectSource>(cls, FGlobe).release());
    FObjects->LoadEnvironment(objects);
  }
  FModified = false;
}

void RegisterGlobeLayers() { RegisterGlobeClasses<TGlobeLayer>(); }

}  // namespace globe
