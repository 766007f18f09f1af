// The layer store of a globe view: the ordered layers, the globe-wide selection, and the
// one place through which the view reaches map objects, layers and object sources.
//
// The view holds layers, sources and objects as the globe roots they are and asks the store
// whatever it needs to know of them (drawing, hit tests, an object's rectangle and
// selection, a source's cached objects), so that the view does not depend on the object
// classes. A root that is not an object or source of this store's kind is left alone by
// every operation here.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "globe/core/types.h"
#include "globe/formats/xml.h"

namespace globe {

class TCustomGlobe4;

/// A loaded object that an object source keeps in the cache, as the globe's cache budget
/// sees it.
struct TCachedObject {
  TGlobeRoot* Source = nullptr;
  TGlobeRoot* Object = nullptr;
  /// Stamp of the object's last use (the globe's NextMRU); larger is more recent.
  std::int32_t MRU = 0;
  /// Bytes the object reports holding.
  std::int64_t Size = 0;
};

class TGlobeLayerStore : public TGlobeENVPersistent {
  GLOBE_CLASS(TGlobeLayerStore, TGlobeENVPersistent)
 public:
  /// Throws EGlobeException "TGlobeLayerStore.Create passed nil Globe" without a globe.
  explicit TGlobeLayerStore(TCustomGlobe4* Globe);
  ~TGlobeLayerStore() override;

  [[nodiscard]] TCustomGlobe4& Globe() const noexcept { return *FGlobe; }
  /// Number of layers.
  [[nodiscard]] virtual std::int32_t Count() const noexcept;

  /// Frees every layer, the last first.
  virtual void Clear();
  /// Draws, in store order, each layer whose Animated flag equals Animated.
  virtual void Render(bool Animated);
  /// The object on top at the device point, asking only enabled and visible layers from
  /// the top down; null when there is none.
  [[nodiscard]] virtual TGlobeRoot* ObjectAtXY(std::int32_t iX, std::int32_t iY);

  /// The object last made the selection; not owned, and not followed when it goes.
  [[nodiscard]] TGlobeRoot* SelectedObject() const noexcept { return FSelectedObject; }
  /// Makes Value the only selected object of the globe (null deselects everything);
  /// nothing when it already is the stored one.
  virtual void SetSelectedObject(TGlobeRoot* Value);

  // ---- Objects and sources, for the view -------------------------------------------------
  /// The enclosing rectangle of an object; false for a root that is no object.
  virtual bool ObjectMER(const TGlobeRoot& Obj, TMER& MER) const;
  /// Inverts the object's Selected property (which notifies the globe); nothing for a
  /// root that is no object.
  virtual void InvertSelected(TGlobeRoot& Obj);
  /// Bytes the source reports for its objects; 0 for a root that is no source.
  [[nodiscard]] virtual std::int64_t SourceMemorySize(TGlobeRoot& Source);
  /// Appends the source's active cached objects to Objects.
  virtual void CollectCachedObjects(TGlobeRoot& Source, std::vector<TCachedObject>& Objects);
  /// Replaces the cached object in its source by a plain data record of it, discarding the
  /// full object.
  virtual void DiscardCachedObject(const TCachedObject& Entry);

  /// Restores the layers from Element after clearing the store; a null Element only clears.
  void LoadEnvironment(const TGXML_Element* Element) override;
  /// The layers as an element, one child per layer in store order.
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

 private:
  TCustomGlobe4* FGlobe;
  TGlobeRoot* FSelectedObject = nullptr;
};

}  // namespace globe
