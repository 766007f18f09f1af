#include "globe/core/text.h"
#include "globe/objects/layerstore.h"

#include <algorithm>

#include "globe/core/units.h"
#include "globe/objects/layer.h"
#include "globe/objects/pointpresenter.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/render/canvas.h"
#include "globe/view/globe.h"

namespace globe {

TGlobeLayerStore::TGlobeLayerStore(TGlobe4* Globe) : FGlobe(Globe) {
  if (Globe == nullptr) throw EGlobeException("TGlobeLayerStore.Create passed nil Globe");
  FGlobalPresenters = std::make_unique<TGlobePresenterStore>(Globe);
  FGlobalPresenters->Add(std::make_unique<TPointPresenter>(Globe, -1));
  FGlobalPresenters->Add(std::make_unique<TPolyPresenter>(Globe, -2));
}

TGlobeLayerStore::~TGlobeLayerStore() {
  TGlobeLayerStore::Clear();
  FGlobalPresenters.reset();
}

// ---- List -------------------------------------------------------------------------------

std::int32_t TGlobeLayerStore::Count() const noexcept {
  return static_cast<std::int32_t>(FLayers.size());
}

void TGlobeLayerStore::SetCount(std::int32_t Value) {
  Value = std::max<std::int32_t>(Value, 0);
  while (Count() > Value) {
    TGlobeLayer* last = FLayers.back();
    if (last == nullptr) {
      FLayers.pop_back();
    } else {
      Delete(last);
    }
  }
  FLayers.resize(static_cast<std::size_t>(Value), nullptr);
}

TGlobeLayer& TGlobeLayerStore::GetLayer(std::int32_t iIndex) const {
  // An empty entry left by growing the count has no layer to give either.
  if (iIndex < 0 || iIndex >= Count() || FLayers[static_cast<std::size_t>(iIndex)] == nullptr) {
    throw EGlobeException("TGlobe4.GetLayer: Bad layer index " + std::to_string(iIndex));
  }
  return *FLayers[static_cast<std::size_t>(iIndex)];
}

void TGlobeLayerStore::Add(TGlobeLayer* ALayer) {
  if (ALayer == nullptr) return;
  ALayer->SetParentLayerStore(this);
  FLayers.push_back(ALayer);
  FGlobe->RedrawLayers();
}

void TGlobeLayerStore::Remove(TGlobeLayer* ALayer) {
  const auto it = std::find(FLayers.begin(), FLayers.end(), ALayer);
  if (ALayer == nullptr || it == FLayers.end()) return;
  FLayers.erase(it);
  if (ALayer->ParentLayerStore() == this && IndexOf(ALayer) < 0) {
    ALayer->SetParentLayerStore(nullptr);
  }
  FGlobe->RedrawLayers();
}

void TGlobeLayerStore::Delete(TGlobeLayer* ALayer) {
  if (ALayer == nullptr) return;
  Remove(ALayer);
  delete ALayer;  // the store's to free; its destructor tells the globe
}

void TGlobeLayerStore::Move(std::int32_t iFrom, std::int32_t iTo) {
  if (iFrom == iTo || iFrom < 0 || iTo < 0 || iFrom >= Count() || iTo >= Count()) return;
  TGlobeLayer* layer = FLayers[static_cast<std::size_t>(iFrom)];
  FLayers.erase(FLayers.begin() + iFrom);
  FLayers.insert(FLayers.begin() + iTo, layer);
  FGlobe->RedrawLayers();
}

std::int32_t TGlobeLayerStore::IndexOf(const TGlobeLayer* ALayer) const {
  if (ALayer == nullptr) return -1;
  const auto it = std::find(FLayers.begin(), FLayers.end(), ALayer);
  return it == FLayers.end() ? -1 : static_cast<std::int32_t>(it - FLayers.begin());
}

std::int32_t TGlobeLayerStore::IndexByName(const std::string& sName) const {
  for (std::int32_t i = 0; i < Count(); ++i) {
    const TGlobeLayer* layer = FLayers[static_cast<std::size_t>(i)];
    if (layer != nullptr && SameTextAscii(layer->Name(), sName)) return i;
  }
  return -1;
}

TGlobeLayer* TGlobeLayerStore::LayerByName(const std::string& sName) const {
  const std::int32_t i = IndexByName(sName);
  return i < 0 ? nullptr : FLayers[static_cast<std::size_t>(i)];
}

TMER TGlobeLayerStore::LayerStoreMER() const {
  TMER mer;
  for (TGlobeLayer* layer : FLayers) {
    if (layer != nullptr) mer = MERUnion(mer, layer->LayerMER());
  }
  return mer;
}

void TGlobeLayerStore::Clear() { SetCount(0); }

// ---- Drawing and searches ---------------------------------------------------------------

void TGlobeLayerStore::Render(bool Animated) {
  const TGlobeCanvas& Canvas = FGlobe->GlobeCanvas();
  FTitleGrid.Reset(Canvas.CanvasWidth(), Canvas.CanvasHeight());
  // By index: drawing never adds or removes layers, but the list is not held across calls.
  for (std::int32_t i = 0; i < Count(); ++i) {
    TGlobeLayer* layer = FLayers[static_cast<std::size_t>(i)];
    if (layer != nullptr && layer->Animated() == Animated) layer->RenderObjects();
  }
}

TGlobeRoot* TGlobeLayerStore::ObjectAtXY(std::int32_t iX, std::int32_t iY) {
  for (std::int32_t i = Count() - 1; i >= 0; --i) {
    TGlobeLayer* layer = FLayers[static_cast<std::size_t>(i)];
    if (layer == nullptr || !layer->Enabled() || !layer->Visible()) continue;
    if (TGlobeObject* obj = layer->ObjectAtXY(iX, iY)) return obj;
  }
  return nullptr;
}

TGlobeObject* TGlobeLayerStore::ObjectAtLL(const TPointLL& ptLL) {
  for (std::int32_t i = Count() - 1; i >= 0; --i) {
    TGlobeLayer* layer = FLayers[static_cast<std::size_t>(i)];
    if (layer == nullptr) continue;
    if (TGlobeObject* obj = layer->ObjectAtLL(ptLL)) return obj;
  }
  return nullptr;
}

TGlobeObject* TGlobeLayerStore::ObjectByTitle(const std::string& sTitle,
                                              const TGlobeObject* Obj) {
  for (std::int32_t i = 0; i < Count(); ++i) {
    TGlobeLayer* layer = FLayers[static_cast<std::size_t>(i)];
    if (layer == nullptr) continue;
    if (TGlobeObject* obj = layer->ObjectByTitle(sTitle, Obj)) return obj;
  }
  return nullptr;
}

TGlobeObject* TGlobeLayerStore::ObjectByID(std::int32_t iID) {
  for (std::int32_t i = 0; i < Count(); ++i) {
    TGlobeLayer* layer = FLayers[static_cast<std::size_t>(i)];
    if (layer == nullptr) continue;
    if (TGlobeObject* obj = layer->ObjectByID(iID)) return obj;
  }
  return nullptr;
}

// ---- Selection --------------------------------------------------------------------------

void TGlobeLayerStore::SetSelectedObject(TGlobeRoot* Value) {
  auto* target = dynamic_cast<TGlobeObject*>(Value);
  // Compared with the object itself too: the stored pointer may name an object the cache
  // has discarded since, whose memory a new object now occupies.
  if (Value == FSelectedObject && (target == nullptr || target->Selected())) return;
  FSelectedObject = Value;

  // Deselecting loads objects, and loading may make the cache discard objects: the new
  // selection (which the caller holds too) is kept out of the cache's reach meanwhile.
  const bool discardable = target != nullptr && target->ObjectState.Contains(osDiscardable);
  if (discardable) target->ObjectState.Exclude(osDiscardable);
  for (std::int32_t l = 0; l < Count(); ++l) {
    TGlobeLayer* layer = FLayers[static_cast<std::size_t>(l)];
    if (layer == nullptr) continue;
    for (std::int32_t i = 0; layer->ObjectsOrNull() != nullptr && i < layer->ObjectsOrNull()->Count();
         ++i) {
      TGlobeObjectSource& src = *layer->ObjectsOrNull();
      if (src.GetState(i).Contains(osSelected)) src.GetObject(i).SetSelected(false);
    }
  }
  if (target == nullptr) return;
  if (discardable) target->ObjectState.Include(osDiscardable);
  target->SetSelected(true);
}

std::int32_t TGlobeLayerStore::SelectedCount() {
  std::int32_t count = 0;
  for (TGlobeLayer* layer : FLayers) {
    if (layer != nullptr) count += layer->SelectedCount();
  }
  return count;
}

TGlobeObject* TGlobeLayerStore::GetSelected(std::int32_t iIndex) {
  if (iIndex < 0) return nullptr;
  std::int32_t seen = 0;
  for (std::int32_t l = 0; l < Count(); ++l) {
    TGlobeLayer* layer = FLayers[static_cast<std::size_t>(l)];
    TGlobeObjectSource* src = layer != nullptr ? layer->ObjectsOrNull() : nullptr;
    if (src == nullptr) continue;
    for (std::int32_t i = 0; i < src->Count(); ++i) {
      if (!src->GetState(i).Contains(osSelected)) continue;
      if (seen++ == iIndex) return &src->GetObject(i);
    }
  }
  return nullptr;
}

// ---- Copying ----------------------------------------------------------------------------

namespace {

// A new layer of Source's class on Store's globe, assigned from Source and listed once in
// Store. Creating it lists it in the globe's own store already; a layer meant for another
// store moves there. A failing assignment frees the layer, which leaves its store with it.
TGlobeLayer* CopyLayer(TGlobeLayerStore& Store, TGlobeLayer& Source) {
  TGlobe4& globe = Store.Globe();
  std::unique_ptr<TGlobeLayer> layer = CreateGlobeObjectLike<TGlobeLayer>(Source, &globe);
  if (Store.IndexOf(layer.get()) < 0) {
    if (layer->ParentLayerStore() != nullptr) layer->ParentLayerStore()->Remove(layer.get());
    Store.Add(layer.get());
  }
  layer->Assign(Source);
  return layer.release();
}

}  // namespace

void TGlobeLayerStore::Assign(TGlobeRoot& Source) {
  if (auto* store = dynamic_cast<TGlobeLayerStore*>(&Source)) {
    // Taken before clearing, so that a store assigned to itself copies its own layers.
    std::vector<TGlobeLayer*> originals;
    for (TGlobeLayer* layer : store->FLayers) {
      if (layer != nullptr) originals.push_back(layer);
    }
    if (store == this) {
      for (TGlobeLayer* layer : originals) CopyLayer(*this, *layer);
      for (TGlobeLayer* layer : originals) Delete(layer);
      return;
    }
    Clear();
    for (TGlobeLayer* layer : originals) CopyLayer(*this, *layer);
    FGlobalPresenters->Assign(store->GlobalPresenters());
    return;
  }
  if (auto* layer = dynamic_cast<TGlobeLayer*>(&Source)) CopyLayer(*this, *layer);
}

// ---- Objects and sources, for the view --------------------------------------------------

bool TGlobeLayerStore::ObjectMER(const TGlobeRoot& Obj, TMER& MER) const {
  // The MER getter may compute and cache: the object itself is not const to it.
  auto* obj = dynamic_cast<TGlobeObject*>(const_cast<TGlobeRoot*>(&Obj));
  if (obj == nullptr) return false;
  MER = obj->GetObjectMER();
  return true;
}

void TGlobeLayerStore::InvertSelected(TGlobeRoot& Obj) {
  if (auto* obj = dynamic_cast<TGlobeObject*>(&Obj)) obj->SetSelected(!obj->Selected());
}

std::int64_t TGlobeLayerStore::SourceMemorySize(TGlobeRoot& Source) {
  auto* src = dynamic_cast<TGlobeObjectSource*>(&Source);
  return src != nullptr ? src->ObjectInstanceSize() : 0;
}

void TGlobeLayerStore::CollectCachedObjects(TGlobeRoot& Source,
                                            std::vector<TCachedObject>& Objects) {
  auto* src = dynamic_cast<TGlobeObjectSource*>(&Source);
  if (src == nullptr) return;
  std::vector<TGlobeObject*> active;
  src->ListActiveObjects(active);
  Objects.reserve(Objects.size() + active.size());
  for (TGlobeObject* obj : active) {
    Objects.push_back({src, obj, obj->MRU, obj->ObjectInstanceSize()});
  }
}

void TGlobeLayerStore::DiscardCachedObject(const TCachedObject& Entry) {
  auto* src = dynamic_cast<TGlobeObjectSource*>(Entry.Source);
  auto* obj = dynamic_cast<TGlobeObject*>(Entry.Object);
  if (src != nullptr && obj != nullptr) src->DiscardObject(*obj);
}

// ---- Environment ------------------------------------------------------------------------

std::unique_ptr<TGXML_Element> TGlobeLayerStore::SaveEnvironment() {
  auto element = std::make_unique<TGXML_Element>();
  element->AddElement("GlobalPresenters", FGlobalPresenters->SaveEnvironment());
  for (TGlobeLayer* layer : FLayers) {
    if (layer != nullptr) element->AddElement("Layer", layer->SaveEnvironment());
  }
  return element;
}

void TGlobeLayerStore::LoadEnvironment(const TGXML_Element* Element) {
  Clear();
  if (Element == nullptr) return;
  FGlobalPresenters->Clear();
  FGlobalPresenters->LoadEnvironment(Element->ElementByName("GlobalPresenters"));
  for (std::size_t e = 0; e < Element->Count(); ++e) {
    if (Element->Kind(e) != TGXML_EntryKind::ekElement || Element->Text(e) != "Layer") continue;
    const TGXML_Element* child = Element->Child(e);
    const TGlobeClass& cls = GetGlobeClass(child->AttributeByName("Class", ""));
    std::unique_ptr<TGlobeLayer> made = CreateGlobeObject<TGlobeLayer>(cls, FGlobe);
    if (IndexOf(made.get()) < 0) {
      if (made->ParentLayerStore() != nullptr) made->ParentLayerStore()->Remove(made.get());
      Add(made.get());
    }
    // A layer whose settings fail to load is freed (and leaves the store) with the error.
    made->LoadEnvironment(child);
    TGlobeLayer* layer = made.release();
    TGlobeObjectSource& objects = layer->Objects();
    objects.SetActive(true);
    if (!objects.Active()) {
      // The rest of the document depends on this layer's data: stop here.
      Delete(layer);
      return;
    }
  }
}

}  // namespace globe
