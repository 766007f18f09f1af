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
#include "globe/render/labels.h"

namespace globe {

class TCustomGlobe4;
class TGlobe4;
class TGlobeLayer;
class TGlobeObject;
class TGlobePresenterStore;

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
  /// Holds the global point presenter −1 and poly presenter −2.
  explicit TGlobeLayerStore(TGlobe4* Globe);
  ~TGlobeLayerStore() override;

  [[nodiscard]] TGlobe4& Globe() const noexcept { return *FGlobe; }
  [[nodiscard]] TGlobePresenterStore& GlobalPresenters() const noexcept {
    return *FGlobalPresenters;
  }
  /// Number of layers.
  [[nodiscard]] virtual std::int32_t Count() const noexcept;
  /// Deletes layers from the end down to Value; growing leaves empty entries.
  virtual void SetCount(std::int32_t Value);
  /// Throws EGlobeException "TGlobe4.GetLayer: Bad layer index <i>" out of range.
  [[nodiscard]] virtual TGlobeLayer& GetLayer(std::int32_t iIndex) const;
  /// Lists the layer on top (no check for one already listed) and redraws.
  virtual void Add(TGlobeLayer* ALayer);
  /// Takes the layer out without freeing it; nothing when it is not listed.
  virtual void Remove(TGlobeLayer* ALayer);
  /// Remove, then free the layer.
  virtual void Delete(TGlobeLayer* ALayer);
  virtual void Move(std::int32_t iFrom, std::int32_t iTo);
  [[nodiscard]] virtual std::int32_t IndexOf(const TGlobeLayer* ALayer) const;
  /// The lowest index whose layer name equals sName ignoring ASCII case; −1 when none.
  [[nodiscard]] virtual std::int32_t IndexByName(const std::string& sName) const;
  [[nodiscard]] virtual TGlobeLayer* LayerByName(const std::string& sName) const;
  /// The union of the layers' MERs, from the empty MER.
  [[nodiscard]] virtual TMER LayerStoreMER() const;

  /// Frees every layer, the last first.
  virtual void Clear();
  /// Draws, in store order, each layer whose Animated flag equals Animated.
  virtual void Render(bool Animated);
  /// The object on top at the device point, asking only enabled and visible layers from
  /// the top down; null when there is none.
  [[nodiscard]] virtual TGlobeRoot* ObjectAtXY(std::int32_t iX, std::int32_t iY);
  /// The object on top at the point, asking every layer from the top down.
  [[nodiscard]] virtual TGlobeObject* ObjectAtLL(const TPointLL& ptLL);
  [[nodiscard]] virtual TGlobeObject* ObjectByTitle(const std::string& sTitle,
                                                    const TGlobeObject* Obj);
  [[nodiscard]] virtual TGlobeObject* ObjectByID(std::int32_t iID);

  /// The object last made the selection; not owned, and not followed when it goes.
  [[nodiscard]] TGlobeRoot* SelectedObject() const noexcept { return FSelectedObject; }
  /// Makes Value the only selected object of the globe (null deselects everything);
  /// nothing when it already is the stored one.
  virtual void SetSelectedObject(TGlobeRoot* Value);
  [[nodiscard]] virtual std::int32_t SelectedCount();
  /// The iIndex-th selected object over all layers (loaded), or null.
  [[nodiscard]] virtual TGlobeObject* GetSelected(std::int32_t iIndex);

  /// From a store: its layers cloned (each listed once) and its global presenters copied.
  /// From a layer: a clone of it appended. Anything else is ignored. A clone whose
  /// assignment fails is freed before the error propagates; the clones made before it stay.
  virtual void Assign(TGlobeRoot& Source);

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

  /// Restores the global presenters and the layers from Element after clearing the store,
  /// stopping at the first layer whose source does not open; a null Element only clears. A
  /// layer whose settings fail to load is freed before the error propagates.
  void LoadEnvironment(const TGXML_Element* Element) override;
  /// "GlobalPresenters", then one "Layer" child per layer in store order.
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

  /// Where titles stand in the pass being drawn: each Render starts it afresh over the
  /// canvas, so titles of layers drawn later give way to those drawn earlier.
  [[nodiscard]] TTitleGrid& TitleGrid() noexcept { return FTitleGrid; }

 private:
  TGlobe4* FGlobe;
  TTitleGrid FTitleGrid;
  std::vector<TGlobeLayer*> FLayers;  // owned; entries may be null after SetCount grows
  TGlobeRoot* FSelectedObject = nullptr;
  std::unique_ptr<TGlobePresenterStore> FGlobalPresenters;
};

}  // namespace globe
