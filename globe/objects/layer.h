// A layer is one drawable stratum of the map: it binds an object source to its own
// presenters and decides whether, when and how the source's objects are drawn, titled and
// hit-tested.
//
// Lifetime: creating a layer appends it to its globe's layer store, which owns it from then
// on; Delete (or the store) frees it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "globe/core/classes.h"
#include "globe/core/enumset.h"
#include "globe/core/types.h"
#include "globe/formats/xml.h"
#include "globe/objects/object.h"
#include "platform/types.h"

namespace platform {
class TDevice;
}

namespace globe {

class TGlobe4;
class TGlobeCanvas;
class TGlobeLayerStore;
class TGlobePresenter;
class TGlobePresenterStore;
class TGlobeProjection;
class TGlobeObjectSource;

enum TGlobeLayerState : std::uint8_t { lsValidMER, lsValidSI };
using TGlobeLayerStateSet = EnumSet<TGlobeLayerState, std::uint8_t>;

class TGlobeLayer : public TGlobeENVPersistent {
  GLOBE_CLASS(TGlobeLayer, TGlobeENVPersistent)
 public:
  using TCreatable = TGlobeLayer;
  using TConstructor = std::unique_ptr<TGlobeLayer> (*)(TGlobe4* ParentGlobe);

  /// Throws EGlobeException "TGlobeLayer.Create passed nil Parent" without a globe. The
  /// globe appends the new layer to its store, which then owns it: release the pointer.
  explicit TGlobeLayer(TGlobe4* ParentGlobe);
  /// Tells the globe (gnLayerFree, which takes the layer out of the store), lets go of the
  /// source and frees the own presenters.
  ~TGlobeLayer() override;

  [[nodiscard]] TGlobe4& Globe() const noexcept { return *FGlobe; }
  [[nodiscard]] TGlobeCanvas& GlobeCanvas() const noexcept;
  [[nodiscard]] TGlobeProjection& Projection() const noexcept;
  [[nodiscard]] TGlobeLayerStore* ParentLayerStore() const noexcept { return FLayerStore; }
  void SetParentLayerStore(TGlobeLayerStore* Value) noexcept { FLayerStore = Value; }
  [[nodiscard]] TGlobePresenterStore& Presenters() const noexcept { return *FPresenters; }

  /// The source; a plain empty TGlobeObjectSource is attached first when there is none.
  TGlobeObjectSource& Objects();
  /// The attached source, or null; attaches nothing.
  [[nodiscard]] TGlobeObjectSource* ObjectsOrNull() const noexcept { return FObjects; }
  /// Unsubscribes the old source (which may free itself), subscribes the new one, redraws.
  void SetObjects(TGlobeObjectSource* Value);

  /// The explicit name, else the source's name, else the class name.
  [[nodiscard]] std::string Name() const;
  void SetName(const std::string& Value);
  /// Position in the store; writing moves the layer there.
  [[nodiscard]] std::int32_t Index() const;
  void SetIndex(std::int32_t Value);

  [[nodiscard]] bool Animated() const noexcept { return FbAnimated; }
  void SetAnimated(bool Value);
  [[nodiscard]] bool Enabled() const noexcept { return FbEnabled; }
  void SetEnabled(bool Value);
  [[nodiscard]] bool ShowTitles() const noexcept { return FbShowTitles; }
  void SetShowTitles(bool Value);
  [[nodiscard]] bool Visible() const noexcept { return FbVisible; }
  void SetVisible(bool Value);
  [[nodiscard]] bool NoInterrupt() const noexcept { return FbNoInterrupt; }
  void SetNoInterrupt(bool Value);
  /// Skip a title that would overlap one already drawn in the same pass (by this or an
  /// earlier layer), so that zoomed-in titles do not print over each other. Off for a new
  /// layer; a change redraws. Not saved in environment documents.
  [[nodiscard]] bool AvoidTitleOverlap() const noexcept { return FbAvoidTitleOverlap; }
  void SetAvoidTitleOverlap(bool Value);
  /// Zoom range in ZoomUnits; 0: no limit on that side.
  [[nodiscard]] std::int32_t ZoomMin() const noexcept { return FiZoomMin; }
  void SetZoomMin(std::int32_t Value);
  [[nodiscard]] std::int32_t ZoomMax() const noexcept { return FiZoomMax; }
  void SetZoomMax(std::int32_t Value);
  [[nodiscard]] TGlobeUnitTypes ZoomUnits() const noexcept { return FZoomUnits; }
  /// Converts ZoomMin and ZoomMax so that they keep their distance.
  void SetZoomUnits(TGlobeUnitTypes Value);
  [[nodiscard]] std::int32_t LayerColorAdjustPercent() const noexcept {
    return FLayerColorAdjustPercent;
  }
  void SetLayerColorAdjustPercent(std::int32_t Value);
  [[nodiscard]] platform::TColor LayerColorAdjustTarget() const noexcept {
    return FLayerColorAdjustTarget;
  }
  void SetLayerColorAdjustTarget(platform::TColor Value);
  [[nodiscard]] TGlobeRoot* UserLayerObject() const noexcept { return FUserLayerObject; }
  void SetUserLayerObject(TGlobeRoot* Value) noexcept { FUserLayerObject = Value; }
  [[nodiscard]] bool Modified() const noexcept { return FModified; }
  void SetModified(bool Value) noexcept { FModified = Value; }
  /// Recomputed from the source's ObjectsMER whenever it is not valid or has zero width.
  [[nodiscard]] TMER LayerMER();

  TGlobeLayerStateSet LayerState;

  /// Restores the defaults, lets go of the source, empties the own presenters, clears
  /// Modified, redraws.
  virtual void Clear();
  /// Draws the visible objects of the source through their presenters, with titles.
  virtual void RenderObjects();
  virtual void RenderTitle(TGlobeObject& Obj, TGlobePresenter& aPresenter);
  /// Writes a placed title with its contrasting rim, unless AvoidTitleOverlap is on and
  /// the title would overlap one already drawn in this pass.
  void DrawTitleText(platform::TDevice& Device, std::int32_t X, std::int32_t Y,
                     const std::string& Title);
  /// Frees the layer (through its store when it has one).
  virtual void Delete();
  virtual void Notify(TObjectSourceNotification Notification, TGlobeObject* Obj);
  [[nodiscard]] virtual bool IsLayerMERVisible();
  [[nodiscard]] virtual TGlobeObject* ObjectAtLL(const TPointLL& ptLL);
  [[nodiscard]] virtual TGlobeObject* ObjectAtXY(std::int32_t iX, std::int32_t iY);
  /// The first object after Obj (from the start when Obj is null) whose title equals sTitle
  /// ignoring ASCII case.
  [[nodiscard]] virtual TGlobeObject* ObjectByTitle(const std::string& sTitle,
                                                    const TGlobeObject* Obj);
  [[nodiscard]] virtual TGlobeObject* ObjectByID(std::int32_t iID);
  [[nodiscard]] virtual std::int32_t SelectedCount();

  /// From a layer: Clear, share its source, clone its presenters, copy the switches.
  /// Throws EGlobeException "Cannot assign <class> to TGlobeLayer" for anything else.
  virtual void Assign(TGlobeRoot& Source);
  /// A layer of this layer's own class (registered or not) on the same globe (appended to
  /// the store), assigned from this one. When the assignment fails the new layer is freed
  /// and leaves the store before the error propagates. Throws EGlobeException for a class
  /// that does not declare itself (GLOBE_CLASS).
  TGlobeLayer* Clone();
  /// The presenter with that ID: own presenters, then global, then the source's.
  [[nodiscard]] TGlobePresenter* FindPresenter(std::int32_t iPresenterID) const;
  /// The display state of object idx for the current view (not stored).
  TGlobeObjectStateSet UpdateObjectState(std::int32_t idx);

  [[nodiscard]] std::string PrintableClassName() const override { return "TGlobeLayer"; }
  void LoadEnvironment(const TGXML_Element* Element) override;
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

 private:
  TGlobe4* FGlobe;
  TGlobeLayerStore* FLayerStore = nullptr;
  std::string FsLayerName;
  TMER FLayerMER;
  std::unique_ptr<TGlobePresenterStore> FPresenters;
  TGlobeObjectSource* FObjects = nullptr;
  bool FbAnimated = false;
  bool FbEnabled = true;
  bool FbShowTitles = true;
  bool FbVisible = true;
  bool FbNoInterrupt = false;
  bool FbAvoidTitleOverlap = false;
  std::int32_t FiZoomMin = 0;
  std::int32_t FiZoomMax = 0;
  TGlobeUnitTypes FZoomUnits = TGlobeUnitTypes::NauticalMile;
  TGlobeRoot* FUserLayerObject = nullptr;
  bool FModified = false;
  std::int32_t FLayerColorAdjustPercent = 0;
  platform::TColor FLayerColorAdjustTarget = 0x808080;
};

/// Registers TGlobeLayer by class name. Idempotent.
void RegisterGlobeLayers();

}  // namespace globe
