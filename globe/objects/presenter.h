// Presenters decide how objects look: an object carries only a presenter ID, and the layer
// that draws it looks the ID up (its own presenters, the globe's global ones, then those
// that came with the source) and lets the presenter draw the object and answer hit tests.
// Presenters live in exactly one TGlobePresenterStore, which owns them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "globe/core/classes.h"
#include "globe/core/types.h"
#include "globe/formats/xml.h"

namespace globe {

class TGlobe4;
class TGlobeObject;
class TGlobePen;
class TGlobePresenterStore;
class TGlobeBrush;
class TGlobeFont;
class TGlobeStreamReader;
class TGlobeStreamWriter;

/// Where an object's title goes relative to its centroid; stored as one byte.
enum TTitleAlignment : std::uint8_t {
  taNone,
  taCenter,
  taLeft,
  taRight,
  taTopLeft,
  taTop,
  taTopRight,
  taBottomLeft,
  taBottom,
  taBottomRight,
};

class TGlobePresenter : public TGlobeENVPersistent {
  GLOBE_CLASS(TGlobePresenter, TGlobeENVPersistent)
 public:
  using TCreatable = TGlobePresenter;
  using TConstructor = std::unique_ptr<TGlobePresenter> (*)(TGlobe4* Globe, std::int32_t iID);

  /// Throws EGlobeException "TGlobePresenter.Create passed nil Globe" without a globe. The
  /// name is the class name; the title font a copy of the canvas's DefTitleFont.
  TGlobePresenter(TGlobe4* Globe, std::int32_t iID);
  ~TGlobePresenter() override;

  [[nodiscard]] TGlobe4& ParentGlobe() const noexcept { return *FParentGlobe; }
  [[nodiscard]] TGlobeFont& TitleFont() const noexcept { return *FTitleFont; }
  [[nodiscard]] TTitleAlignment TitleAlignment() const noexcept { return FTitleAlignment; }
  void SetTitleAlignment(TTitleAlignment Value) noexcept { FTitleAlignment = Value; }
  /// Distance of the title from the centroid, in the title font's unit.
  [[nodiscard]] std::int32_t TitleOffset() const noexcept { return FTitleOffset; }
  void SetTitleOffset(std::int32_t Value) noexcept { FTitleOffset = Value; }
  [[nodiscard]] std::int32_t PresenterID() const noexcept { return FPresenterID; }
  void SetPresenterID(std::int32_t Value) noexcept { StoreID(Value); }
  [[nodiscard]] const std::string& Name() const noexcept { return FName; }
  void SetName(std::string Value) { FName = std::move(Value); }
  /// A hidden presenter's objects are neither drawn nor titled.
  [[nodiscard]] bool Hidden() const noexcept { return FHidden; }
  void SetHidden(bool Value) noexcept { FHidden = Value; }

  /// ID, title offset (by stream version), name, alignment byte, title font record.
  virtual void WriteProperties(TGlobeStreamWriter& Writer);
  virtual void ReadProperties(TGlobeStreamReader& Reader);
  /// Draws the object; nothing for the base class (which is registered, so it can be made
  /// by name, and so is not abstract).
  virtual void RenderObject(TGlobe4& Globe, TGlobeObject& Geod, TGlobeObjectStateSet State);
  /// Sets bDone when the presenter drew the title itself; nothing here.
  virtual void RenderTitle(TGlobe4& Globe, TGlobeObject& Geod, bool& bDone);
  /// Lets a presenter widen an object's rectangle; nothing here (the engine does not call it).
  virtual void AdjustObjectMER(TGlobeObject& Geod, TMER& ObjectMER);
  /// A presenter of this presenter's own class (registered or not) on Globe with the same
  /// ID, assigned from this one. Throws EGlobeException for a class that does not declare
  /// itself (GLOBE_CLASS).
  [[nodiscard]] virtual std::unique_ptr<TGlobePresenter> Clone(TGlobe4& Globe);
  /// The object's own hit test here.
  [[nodiscard]] virtual bool LLInObject(TGlobe4& Globe, const TPointLL& ptLL, TGlobeObject& Geod,
                                        std::int32_t iTolerance);
  /// From a presenter: ID, alignment, offset, title font, name, Hidden. Throws
  /// EGlobeException "Cannot assign a <source class> to a <class>" for another class.
  virtual void Assign(const TGlobeRoot& Source);

  void LoadEnvironment(const TGXML_Element* Element) override;
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

 private:
  friend class TGlobePresenterStore;
  // Every change of the ID goes through here, so that the store's lookup follows it.
  void StoreID(std::int32_t Value) noexcept;

  TGlobe4* FParentGlobe;
  // The store that holds the presenter; null while it is in none.
  TGlobePresenterStore* FStore = nullptr;
  std::unique_ptr<TGlobeFont> FTitleFont;
  TTitleAlignment FTitleAlignment = taNone;
  std::int32_t FTitleOffset = 0;
  std::int32_t FPresenterID = 0;
  std::string FName;
  bool FHidden = false;
};

/// Draws the chains of a TGeoDataObject with a pen, and a brush for closed objects.
class TPolyPresenter : public TGlobePresenter {
  GLOBE_CLASS(TPolyPresenter, TGlobePresenter)
 public:
  /// Name "Poly Presenter", pen (0, solid, 0, Pixel), brush (0, bsSolid, background 0).
  TPolyPresenter(TGlobe4* Globe, std::int32_t iID);
  ~TPolyPresenter() override;

  [[nodiscard]] TGlobePen& PolyPen() const noexcept { return *FPolyPen; }
  [[nodiscard]] TGlobeBrush& PolyBrush() const noexcept { return *FPolyBrush; }

  /// The base record, the pen record and (except for TPolylinePresenter) the brush record.
  void WriteProperties(TGlobeStreamWriter& Writer) override;
  void ReadProperties(TGlobeStreamReader& Reader) override;
  void RenderObject(TGlobe4& Globe, TGlobeObject& Geod, TGlobeObjectStateSet State) override;
  void Assign(const TGlobeRoot& Source) override;
  void LoadEnvironment(const TGXML_Element* Element) override;
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

  /// The ID of the first poly presenter in Presenters whose pen, brush and title font equal
  /// the given ones (a null argument matches anything); 0 when none does.
  [[nodiscard]] static std::int32_t FindMatch(const class TGlobePresenterStore& Presenters,
                                              const TGlobePen* APen, const TGlobeBrush* ABrush,
                                              const TGlobeFont* ATitleFont);

 private:
  std::unique_ptr<TGlobePen> FPolyPen;
  std::unique_ptr<TGlobeBrush> FPolyBrush;
};

/// Draws objects as closed areas (and marks them closed for good).
class TPolygonPresenter : public TPolyPresenter {
  GLOBE_CLASS(TPolygonPresenter, TPolyPresenter)
 public:
  /// Name "Polygon Presenter".
  TPolygonPresenter(TGlobe4* Globe, std::int32_t iID);
  void RenderObject(TGlobe4& Globe, TGlobeObject& Geod, TGlobeObjectStateSet State) override;
};

/// Draws objects as open lines (and marks them open); its record has no brush.
class TPolylinePresenter : public TPolyPresenter {
  GLOBE_CLASS(TPolylinePresenter, TPolyPresenter)
 public:
  TPolylinePresenter(TGlobe4* Globe, std::int32_t iID);
  void RenderObject(TGlobe4& Globe, TGlobeObject& Geod, TGlobeObjectStateSet State) override;
};

/// An ordered collection of presenters that it owns.
class TGlobePresenterStore : public TGlobeENVPersistent {
  GLOBE_CLASS(TGlobePresenterStore, TGlobeENVPersistent)
 public:
  /// Throws EGlobeException "TGlobePresenterStore.Create passed nil Parent" without a globe.
  explicit TGlobePresenterStore(TGlobe4* ParentGlobe);
  ~TGlobePresenterStore() override;

  [[nodiscard]] TGlobe4& Globe() const noexcept { return *FGlobe; }
  [[nodiscard]] std::int32_t Count() const noexcept {
    return static_cast<std::int32_t>(FPresenters.size());
  }
  /// Positional access, 0 ≤ iIndex < Count (unchecked beyond a debug assertion).
  [[nodiscard]] TGlobePresenter& GetPresenter(std::int32_t iIndex) const;
  [[nodiscard]] bool Modified() const noexcept { return FModified; }
  void SetModified(bool Value) noexcept { FModified = Value; }

  /// Appends the presenter and returns its ID; ID 0 gets one more than the largest ID in the
  /// store (1 when none is positive). A presenter whose ID is taken is refused and freed,
  /// and the taken ID is returned. Null: 0.
  std::int32_t Add(std::unique_ptr<TGlobePresenter> aPresenter);
  /// The first presenter with that ID; failing that, with bGlobal, the globe's global
  /// presenter of that ID; else null.
  [[nodiscard]] TGlobePresenter* ByID(std::int32_t iPresenterID, bool bGlobal) const;
  /// Takes the presenter out and hands it back; null when it is not in the store.
  std::unique_ptr<TGlobePresenter> Delete(TGlobePresenter* aPresenter);
  /// Frees all presenters, last first; clears Modified.
  void Clear();
  /// From a store: Clear and add a clone of each of its presenters. From a presenter: add a
  /// clone of it. Anything else is ignored.
  void Assign(const TGlobeRoot& Source);

  void LoadEnvironment(const TGXML_Element* Element) override;
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

 private:
  friend class TGlobePresenter;
  // The lookup by ID (the first presenter of each ID), rebuilt after a removal or an ID
  // change, so that stores of many presenters (from files) are not searched one by one.
  void Reindex() const;

  std::vector<std::unique_ptr<TGlobePresenter>> FPresenters;
  TGlobe4* FGlobe;
  bool FModified = false;
  mutable std::unordered_map<std::int32_t, TGlobePresenter*> FIndex;
  mutable std::int32_t FLargestID = 0;  // of the positive IDs; 0 when there is none
  mutable bool FIndexValid = true;
};

/// Registers the presenter classes by class name. Idempotent.
void RegisterGlobePresenters();

}  // namespace globe
