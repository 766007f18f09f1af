#include "globe/objects/layerstore.h"

#include "globe/view/customglobe.h"

namespace globe {

// The store holds no layers until there are layer classes to hold; until then every
// operation works on the empty list, and no globe root is an object or a source.

TGlobeLayerStore::TGlobeLayerStore(TCustomGlobe4* Globe) : FGlobe(Globe) {
  if (Globe == nullptr) throw EGlobeException("TGlobeLayerStore.Create passed nil Globe");
}

TGlobeLayerStore::~TGlobeLayerStore() = default;

std::int32_t TGlobeLayerStore::Count() const noexcept { return 0; }

void TGlobeLayerStore::Clear() {}

void TGlobeLayerStore::Render(bool /*Animated*/) {}

TGlobeRoot* TGlobeLayerStore::ObjectAtXY(std::int32_t /*iX*/, std::int32_t /*iY*/) {
  return nullptr;
}

void TGlobeLayerStore::SetSelectedObject(TGlobeRoot* Value) {
  if (Value == FSelectedObject) return;
  FSelectedObject = Value;
}

bool TGlobeLayerStore::ObjectMER(const TGlobeRoot& /*Obj*/, TMER& /*MER*/) const { return false; }

void TGlobeLayerStore::InvertSelected(TGlobeRoot& /*Obj*/) {}

std::int64_t TGlobeLayerStore::SourceMemorySize(TGlobeRoot& /*Source*/) { return 0; }

void TGlobeLayerStore::CollectCachedObjects(TGlobeRoot& /*Source*/,
                                            std::vector<TCachedObject>& /*Objects*/) {}

void TGlobeLayerStore::DiscardCachedObject(const TCachedObject& /*Entry*/) {}

void TGlobeLayerStore::LoadEnvironment(const TGXML_Element* /*Element*/) { Clear(); }

std::unique_ptr<TGXML_Element> TGlobeLayerStore::SaveEnvironment() {
  return std::make_unique<TGXML_Element>();
}

}  // namespace globe
