// Globe objects: the light per-object record that an object source keeps for every object,
// loaded or not, and the full object with title, ID, zoom range and centroid that layers
// draw through presenters.
//
// Ownership: an object made with MakeGlobeObject (or Clone) on a parent source belongs to
// that source (the source's entry holds it and frees it); the source adds it once the whole
// object exists, so that its layers and FixupReferences see the object's own class. An
// object made without a parent belongs to whoever made it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "globe/core/classes.h"
#include "globe/core/enumset.h"
#include "globe/core/types.h"

namespace globe {

class TGlobe4;
class TGlobeObjectSource;
class TGlobeStreamReader;
class TGlobeStreamWriter;

/// Encoding flags of an object record; bit n is the value with ordinal n.
enum TGlobeObjectFlags : std::uint8_t {
  ofTitle,
  ofID,
  ofHeight,
  of16Bit,
  ofCompressed,
  ofSingle,
  ofLongCount,
  ofZoomMinMax,
  ofClosed,
  ofGreatCircle,
  ofMultiRing,
  ofGUID,
};
/// Written as one Word in property streams.
using TGlobeObjectFlagSet = EnumSet<TGlobeObjectFlags, std::uint16_t>;

/// What a source tells the layers that subscribe to it.
enum TObjectSourceNotification : std::uint8_t {
  osnOpen,
  osnClose,
  osnAdd,
  osnDelete,
  osnRedraw,
  osnSelectedChanged,
  osnCreate,
  osnFree,
};

/// Height of a centroid that has not been derived from the geometry yet (0x80000001).
inline constexpr std::int32_t CENTROID_NOT_COMPUTED = -2'147'483'647;

/// The record a source keeps for an object it has not loaded (and the base of the object).
class TGlobeObjectData : public TGlobeRoot {
  GLOBE_CLASS(TGlobeObjectData, TGlobeRoot)
 public:
  TGlobeObjectData() = default;

  [[nodiscard]] std::int32_t Index() const noexcept { return FiIndex; }
  [[nodiscard]] std::int32_t PresenterID() const noexcept { return FPresenterID; }
  /// A record stores the value; an object also passes it to its source and redraws.
  virtual void SetPresenterID(std::int32_t Value);
  /// The enclosing rectangle in GU; a record returns the stored one, objects may compute it.
  [[nodiscard]] virtual TMER GetObjectMER();
  /// Bytes an instance holds, for the cache accounting.
  [[nodiscard]] virtual std::int64_t ObjectInstanceSize() const;
  /// From a TGlobeObjectData: state, flags, user object, index, the MER (as the source's
  /// GetObjectMER reports it), presenter ID (field only) and value. Other roots: nothing.
  virtual void Assign(TGlobeObjectData& Source);

  [[nodiscard]] TGlobeRoot* UserObject() const noexcept { return FUserObject; }
  void SetUserObject(TGlobeRoot* Value) noexcept { FUserObject = Value; }
  [[nodiscard]] double Value() const noexcept { return FValue; }
  void SetValue(double Value) noexcept { FValue = Value; }

  // The members a source reads and writes directly (the record is the source's bookkeeping).
  std::int32_t FiIndex = -1;
  std::int32_t FPresenterID = 0;
  TMER FObjectMER;
  TGlobeRoot* FUserObject = nullptr;
  double FValue = 0;
  TGlobeObjectStateSet ObjectState;
  TGlobeObjectFlagSet ObjectFlags;
  /// Set by TGlobeObject: the source tells loaded objects from records once per entry on
  /// every paint, too often for a dynamic cast.
  bool FbIsObject = false;
};

/// A full globe object. Subclasses own geometry (TGeoDataObject) or a picture
/// (TBitmapObject).
class TGlobeObject : public TGlobeObjectData {
  GLOBE_CLASS(TGlobeObject, TGlobeObjectData)
 public:
  using TCreatable = TGlobeObject;
  using TConstructor = std::unique_ptr<TGlobeObject> (*)(TGlobeObjectSource* aParent);

  /// Index −1, centroid (0, 0) not computed. The object knows its parent but is not in it
  /// yet: MakeGlobeObject and Clone add it once it is complete, and a source loading the
  /// object puts it into the entry it loads.
  explicit TGlobeObject(TGlobeObjectSource* aParent);
  /// Clears Parent first, then the former parent deletes the entry (without freeing the
  /// object again); a selected object is then deselected.
  ~TGlobeObject() override;

  [[nodiscard]] TGlobeObjectSource* Parent() const noexcept { return FParent; }
  /// When different: the old parent deletes the object, the new one adds it.
  void SetParent(TGlobeObjectSource* Value);
  /// The parent's globe, or null without a parent.
  [[nodiscard]] TGlobe4* Globe() const noexcept;

  [[nodiscard]] const std::string& Title() const noexcept { return FTitle; }
  void SetTitle(std::string Value) { FTitle = std::move(Value); }
  [[nodiscard]] std::int32_t ID() const noexcept { return FObjectID; }
  void SetID(std::int32_t Value) noexcept { FObjectID = Value; }
  [[nodiscard]] const std::string& GUID() const noexcept { return FObjectGUID; }
  void SetGUID(std::string Value) { FObjectGUID = std::move(Value); }
  /// Altitude range (GU) in which the object is drawn; equal bounds: always.
  [[nodiscard]] std::int32_t ZoomMin() const noexcept { return FiZoomMin; }
  void SetZoomMin(std::int32_t Value) noexcept { FiZoomMin = Value; }
  [[nodiscard]] std::int32_t ZoomMax() const noexcept { return FiZoomMax; }
  void SetZoomMax(std::int32_t Value) noexcept { FiZoomMax = Value; }

  [[nodiscard]] bool Closed() const noexcept { return ObjectState.Contains(osClosed); }
  void SetClosed(bool Value);
  [[nodiscard]] bool Hidden() const noexcept { return ObjectState.Contains(osHidden); }
  void SetHidden(bool Value);
  [[nodiscard]] bool Selected() const noexcept { return ObjectState.Contains(osSelected); }
  void SetSelected(bool Value);

  [[nodiscard]] virtual TPointLL Centroid();
  /// Compares old and new with SamePixel on the parent globe's projection and redraws only
  /// when they differ by a pixel; any change invalidates the MER. Without a parent every
  /// change counts as visible.
  virtual void SetCentroid(const TPointLL& Value);

  void SetPresenterID(std::int32_t Value) override;
  /// Zero-size rectangle at the centroid (not stored).
  [[nodiscard]] TMER GetObjectMER() override;
  [[nodiscard]] std::int64_t ObjectInstanceSize() const override;
  /// From a TGlobeObject: presenter ID, title, ID, centroid, zoom range, Closed, Selected.
  void Assign(TGlobeObjectData& Source) override;

  /// A new object of this object's own class (registered or not) added to the same parent
  /// (which then owns it; without a parent the caller owns it), then assigned from this
  /// one. Throws EGlobeException for a class that does not declare itself (GLOBE_CLASS);
  /// a failing assignment leaves nothing behind in the parent.
  virtual TGlobeObject* Clone();
  /// The object record: flags word, optional title, ID, GUID, zoom range, presenter ID.
  virtual void WriteProperties(TGlobeStreamWriter& Writer);
  virtual void ReadProperties(TGlobeStreamReader& Reader);
  /// Sets osRedraw and makes the parent notify its layers with osnRedraw.
  virtual void RedrawObject();
  /// Draws the object when it has no presenter; nothing here.
  virtual void Render(TGlobe4& Globe, TGlobeObjectStateSet State);
  virtual void SelectedChanged();
  /// Called by the source after loading the object into its entry; nothing here.
  virtual void FixupReferences() {}
  [[nodiscard]] virtual bool LLInObject(const TPointLL& ptLL, std::int32_t iTolerance);
  /// 0 miss (or hidden), 3 hit, 2 hit east of the start before 180°, 1 hit past 180°.
  [[nodiscard]] virtual std::int32_t LLInObjectMER(const TPointLL& ptLL, std::int32_t iTolerance);

  /// Most-recently-used stamp, set by the source whenever the object is fetched.
  std::int32_t MRU = 0;

 protected:
  /// Completes ObjectFlags (adds, never removes) and writes the common record.
  void WriteCommonRecord(TGlobeStreamWriter& Writer);
  /// Clears Parent, then the former parent deletes the entry. Subclass destructors call it
  /// first, so that the source and its layers still see the whole object (its class and
  /// instance size) while it leaves.
  void DetachFromParent();

  TGlobeObjectSource* FParent = nullptr;
  std::string FTitle;
  std::int32_t FObjectID = 0;
  std::int32_t FiZoomMin = 0;
  std::int32_t FiZoomMax = 0;
  std::string FObjectGUID;
  TPointLL FCentroid{0, 0, CENTROID_NOT_COMPUTED};
};

/// Adds the complete object Obj to its parent, which then owns it; nothing without a parent.
/// Errors of the parent's Add propagate with Obj not added.
void AddToParent(TGlobeObject& Obj);

/// Creates a T on aParent and adds it there once it is complete; the parent owns it (without
/// a parent the caller does). Returns it.
template <class T>
T* MakeGlobeObject(TGlobeObjectSource* aParent) {
  auto made = std::make_unique<T>(aParent);
  AddToParent(*made);
  return made.release();  // owned by aParent's entry from here on
}

/// Registers TGeoDataObject and TBitmapObject by class name. Idempotent.
void RegisterGlobeObjects();

}  // namespace globe
