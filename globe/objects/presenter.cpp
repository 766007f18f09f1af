#include "globe/objects/presenter.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "globe/formats/propertystream.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/object.h"
#include "globe/objects/pointpresenter.h"
#include "globe/render/attributes.h"
#include "globe/render/canvas.h"
#include "globe/view/globe.h"

namespace globe {

namespace {

// The root's own assignment error, for sources a class does not know.
[[noreturn]] void AssignError(const TGlobeRoot& Source, const TGlobeRoot& Dest) {
  throw EGlobeException("Cannot assign a " + std::string(Source.ClassName()) + " to a " +
                        std::string(Dest.ClassName()));
}

}  // namespace

// ---- TGlobePresenter --------------------------------------------------------------------

TGlobePresenter::TGlobePresenter(TGlobe4* Globe, std::int32_t iID)
    : FParentGlobe(Globe), FPresenterID(iID) {
  if (Globe == nullptr) throw EGlobeException("TGlobePresenter.Create passed nil Globe");
  FName = std::string(ClassName());
  FTitleFont = std::make_unique<TGlobeFont>();
  FTitleFont->Assign(Globe->GlobeCanvas().DefTitleFont());
}

TGlobePresenter::~TGlobePresenter() = default;

void TGlobePresenter::WriteProperties(TGlobeStreamWriter& Writer) {
  Writer.WriteInteger(FPresenterID);
  Writer.WriteInteger(FTitleOffset);
  Writer.WriteShortText(FName);
  Writer.WriteByte(FTitleAlignment);
  FTitleFont->WriteProperties(Writer);
}

void TGlobePresenter::ReadProperties(TGlobeStreamReader& Reader) {
  StoreID(Reader.ReadInteger());
  // The title offset grew from one byte to four and did not exist before 769.
  const std::uint16_t version = GlobeStreamVersion();
  if (version >= GLOBE_STREAM_VERSION_WIDE) {
    FTitleOffset = Reader.ReadInteger();
  } else if (version > GLOBE_STREAM_VERSION_OLDEST) {
    FTitleOffset = Reader.ReadShortInt();
  }
  FName = Reader.ReadShortText();
  FTitleAlignment = static_cast<TTitleAlignment>(Reader.ReadByte());
  FTitleFont->ReadProperties(Reader);
}

void TGlobePresenter::RenderObject(TGlobe4& /*Globe*/, TGlobeObject& /*Geod*/,
                                   TGlobeObjectStateSet /*State*/) {}

void TGlobePresenter::RenderTitle(TGlobe4& /*Globe*/, TGlobeObject& /*Geod*/, bool& /*bDone*/) {}

void TGlobePresenter::AdjustObjectMER(TGlobeObject& /*Geod*/, TMER& /*ObjectMER*/) {}

std::unique_ptr<TGlobePresenter> TGlobePresenter::Clone(TGlobe4& Globe) {
  auto result = CreateGlobeObjectLike<TGlobePresenter>(*this, &Globe, FPresenterID);
  result->Assign(*this);
  return result;
}

bool TGlobePresenter::LLInObject(TGlobe4& /*Globe*/, const TPointLL& ptLL, TGlobeObject& Geod,
                                 std::int32_t iTolerance) {
  return Geod.LLInObject(ptLL, iTolerance);
}

void TGlobePresenter::Assign(const TGlobeRoot& Source) {
  if (!Source.InheritsFrom(TGlobePresenter::StaticClass())) AssignError(Source, *this);
  const auto& src = static_cast<const TGlobePresenter&>(Source);
  StoreID(src.FPresenterID);
  FTitleAlignment = src.FTitleAlignment;
  FTitleOffset = src.FTitleOffset;
  FTitleFont->Assign(*src.FTitleFont);
  FName = src.FName;
  FHidden = src.FHidden;
}

void TGlobePresenter::LoadEnvironment(const TGXML_Element* Element) {
  if (Element == nullptr) return;
  FName = Element->AttributeByName("Name", FName);
  StoreID(Element->IntAttributeByName("PresenterID", FPresenterID));
  FTitleAlignment =
      static_cast<TTitleAlignment>(Element->IntAttributeByName("Alignment", FTitleAlignment));
  FTitleOffset = Element->IntAttributeByName("Offset", FTitleOffset);
  FHidden = Element->BoolAttributeByName("Hidden", FHidden);
  FTitleFont->LoadEnvironment(Element->ElementByName("TitleFont"));
}

std::unique_ptr<TGXML_Element> TGlobePresenter::SaveEnvironment() {
  auto element = std::make_unique<TGXML_Element>();
  element->AddAttribute("Class", ClassName());
  element->AddAttribute("Name", FName);
  element->AddIntAttribute("PresenterID", FPresenterID);
  element->AddIntAttribute("Alignment", FTitleAlignment);
  element->AddIntAttribute("Offset", FTitleOffset);
  element->AddBoolAttribute("Hidden", FHidden);
  element->AddElement("TitleFont", FTitleFont->SaveEnvironment());
  return element;
}

// ---- TPolyPresenter ---------------------------------------------------------------------

TPolyPresenter::TPolyPresenter(TGlobe4* Globe, std::int32_t iID)
    : TGlobePresenter(Globe, iID),
      FPolyPen(std::make_unique<TGlobePen>()),
      FPolyBrush(std::make_unique<TGlobeBrush>()) {
  SetName("Poly Presenter");
}

TPolyPresenter::~TPolyPresenter() = default;

void TPolyPresenter::WriteProperties(TGlobeStreamWriter& Writer) {
  TGlobePresenter::WriteProperties(Writer);
  FPolyPen->WriteProperties(Writer);
  // Lines have no fill, so their record never carried one.
  if (!InheritsFrom(TPolylinePresenter::StaticClass())) FPolyBrush->WriteProperties(Writer);
}

void TPolyPresenter::ReadProperties(TGlobeStreamReader& Reader) {
  TGlobePresenter::ReadProperties(Reader);
  FPolyPen->ReadProperties(Reader);
  if (!InheritsFrom(TPolylinePresenter::StaticClass())) FPolyBrush->ReadProperties(Reader);
}

void TPolyPresenter::RenderObject(TGlobe4& Globe, TGlobeObject& Geod, TGlobeObjectStateSet State) {
  if (!Geod.InheritsFrom(TGeoDataObject::StaticClass())) return;
  auto& geo = static_cast<TGeoDataObject&>(Geod);
  TGlobeCanvas& canvas = Globe.GlobeCanvas();
  const bool selected = State.Contains(osSelected);
  FPolyPen->RenderAttribute(canvas, selected);
  if (geo.Closed()) FPolyBrush->RenderAttribute(canvas, selected);
  const std::int32_t width = canvas.ScaleUnitsToDevice(FPolyPen->PenWidth(), FPolyPen->PenUnit());
  canvas.RenderChainStore(geo.Chains(), State, width);
}

void TPolyPresenter::Assign(const TGlobeRoot& Source) {
  TGlobePresenter::Assign(Source);
  if (Source.InheritsFrom(TPolyPresenter::StaticClass())) {
    const auto& src = static_cast<const TPolyPresenter&>(Source);
    FPolyPen->Assign(*src.FPolyPen);
    FPolyBrush->Assign(*src.FPolyBrush);
  }
}

void TPolyPresenter::LoadEnvironment(const TGXML_Element* Element) {
  if (Element == nullptr) return;
  TGlobePresenter::LoadEnvironment(Element);
  FPolyPen->LoadEnvironment(Element->ElementByName("Pen"));
  FPolyBrush->LoadEnvironment(Element->ElementByName("Brush"));
}

std::unique_ptr<TGXML_Element> TPolyPresenter::SaveEnvironment() {
  auto element = TGlobePresenter::SaveEnvironment();
  element->AddElement("Pen", FPolyPen->SaveEnvironment());
  element->AddElement("Brush", FPolyBrush->SaveEnvironment());
  return element;
}

std::int32_t TPolyPresenter::FindMatch(const TGlobePresenterStore& Presenters,
                                       const TGlobePen* APen, const TGlobeBrush* ABrush,
                                       const TGlobeFont* ATitleFont) {
  for (std::int32_t i = 0; i < Presenters.Count(); ++i) {
    const TGlobePresenter& p = Presenters.GetPresenter(i);
    if (!p.InheritsFrom(TPolyPresenter::StaticClass())) continue;
    const auto& poly = static_cast<const TPolyPresenter&>(p);
    if (APen != nullptr && !poly.PolyPen().Equals(*APen)) continue;
    if (ABrush != nullptr && !poly.PolyBrush().Equals(*ABrush)) continue;
    if (ATitleFont != nullptr && !poly.TitleFont().Equals(*ATitleFont)) continue;
    return poly.PresenterID();
  }
  return 0;
}

// ---- TPolygonPresenter, TPolylinePresenter ----------------------------------------------

TPolygonPresenter::TPolygonPresenter(TGlobe4* Globe, std::int32_t iID)
    : TPolyPresenter(Globe, iID) {
  SetName("Polygon Presenter");
}

void TPolygonPresenter::RenderObject(TGlobe4& Globe, TGlobeObject& Geod,
                                     TGlobeObjectStateSet State) {
  Geod.SetClosed(true);
  TPolyPresenter::RenderObject(Globe, Geod, State + TGlobeObjectStateSet{osClosed});
}

TPolylinePresenter::TPolylinePresenter(TGlobe4* Globe, std::int32_t iID)
    : TPolyPresenter(Globe, iID) {}

void TPolylinePresenter::RenderObject(TGlobe4& Globe, TGlobeObject& Geod,
                                      TGlobeObjectStateSet State) {
  Geod.SetClosed(false);
  TPolyPresenter::RenderObject(Globe, Geod, State - TGlobeObjectStateSet{osClosed});
}

// ---- TGlobePresenterStore ---------------------------------------------------------------

void TGlobePresenter::StoreID(std::int32_t Value) noexcept {
  if (Value == FPresenterID) return;
  FPresenterID = Value;
  if (FStore != nullptr) FStore->FIndexValid = false;
}

TGlobePresenterStore::TGlobePresenterStore(TGlobe4* ParentGlobe) : FGlobe(ParentGlobe) {
  if (ParentGlobe == nullptr) {
    throw EGlobeException("TGlobePresenterStore.Create passed nil Parent");
  }
}

TGlobePresenterStore::~TGlobePresenterStore() { Clear(); }

TGlobePresenter& TGlobePresenterStore::GetPresenter(std::int32_t iIndex) const {
  return *FPresenters.at(static_cast<std::size_t>(iIndex));
}

std::int32_t TGlobePresenterStore::Add(std::unique_ptr<TGlobePresenter> aPresenter) {
  if (!aPresenter) return 0;
  if (!FIndexValid) Reindex();
  std::int32_t id = aPresenter->PresenterID();
  if (id == 0) {
    if (FLargestID < std::numeric_limits<std::int32_t>::max()) {
      id = FLargestID + 1;
    } else {
      // A stored ID at the top of the range leaves no "one more": take the lowest free one
      // instead of overflowing into the negative IDs of the global presenters.
      id = 1;
      while (FIndex.contains(id)) ++id;
    }
    aPresenter->SetPresenterID(id);
  } else if (FIndex.contains(id)) {
    return id;  // refused; aPresenter is freed here
  }
  aPresenter->FStore = this;
  FIndex.emplace(id, aPresenter.get());
  FLargestID = std::max(FLargestID, id);
  FPresenters.push_back(std::move(aPresenter));
  FModified = true;
  return id;
}

void TGlobePresenterStore::Reindex() const {
  FIndex.clear();
  FLargestID = 0;
  for (const auto& p : FPresenters) {
    FIndex.emplace(p->PresenterID(), p.get());  // the first of an ID wins
    FLargestID = std::max(FLargestID, p->PresenterID());
  }
  FIndexValid = true;
}

TGlobePresenter* TGlobePresenterStore::ByID(std::int32_t iPresenterID, bool bGlobal) const {
  if (!FIndexValid) Reindex();
  if (const auto it = FIndex.find(iPresenterID); it != FIndex.end()) return it->second;
  if (bGlobal) return FGlobe->Layers().GlobalPresenters().ByID(iPresenterID, false);
  return nullptr;
}

std::unique_ptr<TGlobePresenter> TGlobePresenterStore::Delete(TGlobePresenter* aPresenter) {
  const auto it = std::find_if(FPresenters.begin(), FPresenters.end(),
                               [aPresenter](const auto& p) { return p.get() == aPresenter; });
  if (it == FPresenters.end()) return nullptr;
  std::unique_ptr<TGlobePresenter> result = std::move(*it);
  FPresenters.erase(it);
  result->FStore = nullptr;
  FIndexValid = false;
  FModified = true;
  return result;
}

void TGlobePresenterStore::Clear() {
  while (!FPresenters.empty()) FPresenters.pop_back();
  FIndex.clear();
  FLargestID = 0;
  FIndexValid = true;
  FModified = false;
}

void TGlobePresenterStore::Assign(const TGlobeRoot& Source) {
  if (Source.InheritsFrom(TGlobePresenterStore::StaticClass())) {
    // Assigning a store to itself would clear what it is about to copy.
    if (&Source == this) return;
    const auto& src = static_cast<const TGlobePresenterStore&>(Source);
    Clear();
    for (const auto& p : src.FPresenters) Add(p->Clone(*FGlobe));
  } else if (Source.InheritsFrom(TGlobePresenter::StaticClass())) {
    // Clone is not const, but cloning changes nothing in the source.
    Add(const_cast<TGlobePresenter&>(static_cast<const TGlobePresenter&>(Source)).Clone(*FGlobe));
  }
}

void TGlobePresenterStore::LoadEnvironment(const TGXML_Element* Element) {
  Clear();
  if (Element == nullptr) return;
  for (std::size_t i = 0; i < Element->Count(); ++i) {
    if (Element->Kind(i) != TGXML_EntryKind::ekElement || Element->Text(i) != "Presenter") {
      continue;
    }
    const TGXML_Element* child = Element->Child(i);
    const std::string className = child->AttributeByName("Class", "");
    auto presenter = CreateGlobeObject<TGlobePresenter>(className, FGlobe, 0);
    presenter->LoadEnvironment(child);
    Add(std::move(presenter));
  }
}

std::unique_ptr<TGXML_Element> TGlobePresenterStore::SaveEnvironment() {
  auto element = std::make_unique<TGXML_Element>();
  for (const auto& p : FPresenters) element->AddElement("Presenter", p->SaveEnvironment());
  return element;
}

void RegisterGlobePresenters() {
  RegisterGlobeClasses<TGlobePresenter, TPointPresenter, TPolyPresenter, TPolygonPresenter,
                       TPolylinePresenter>();
}

}  // namespace globe
