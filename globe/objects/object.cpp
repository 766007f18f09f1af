#include "globe/objects/object.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "globe/core/units.h"
#include "globe/formats/propertystream.h"
#include "globe/objects/geodata.h"
#include "globe/objects/source.h"
#include "globe/projection/projection.h"
#include "globe/view/globe.h"

namespace globe {

// ---- TGlobeObjectData -------------------------------------------------------------------

void TGlobeObjectData::SetPresenterID(std::int32_t Value) { FPresenterID = Value; }

TMER TGlobeObjectData::GetObjectMER() { return FObjectMER; }

std::int64_t TGlobeObjectData::ObjectInstanceSize() const { return sizeof(TGlobeObjectData); }

void TGlobeObjectData::Assign(TGlobeObjectData& Source) {
  if (&Source == this) return;
  // Asked first: an object computing its rectangle marks it valid in its state, and the
  // state copied below should say so too.
  const TMER mer = Source.GetObjectMER();
  ObjectState = Source.ObjectState;
  ObjectFlags = Source.ObjectFlags;
  FUserObject = Source.FUserObject;
  FiIndex = Source.FiIndex;
  FObjectMER = mer;
  FPresenterID = Source.FPresenterID;
  FValue = Source.FValue;
}

// ---- TGlobeObject -----------------------------------------------------------------------

// Not added here: while the base part is built, the object is no more than a TGlobeObject
// to the source's layers and to FixupReferences.
TGlobeObject::TGlobeObject(TGlobeObjectSource* aParent) : FParent(aParent) { FbIsObject = true; }

void AddToParent(TGlobeObject& Obj) {
  if (Obj.Parent() != nullptr) Obj.Parent()->Add(&Obj);
}

TGlobeObject::~TGlobeObject() {
  DetachFromParent();
  // The parent is gone, so this only clears the bit.
  if (Selected()) SetSelected(false);
}

void TGlobeObject::DetachFromParent() {
  if (FParent == nullptr) return;
  TGlobeObjectSource* former = std::exchange(FParent, nullptr);
  former->Delete(this);
}

void TGlobeObject::SetParent(TGlobeObjectSource* Value) {
  if (Value == FParent) return;
  DetachFromParent();
  // Cleared until the new parent has taken the object, so that a failing Add leaves no
  // parent behind that does not hold it.
  if (Value != nullptr) Value->Add(this);
  FParent = Value;
}

TGlobe4* TGlobeObject::Globe() const noexcept {
  return FParent != nullptr ? &FParent->Globe() : nullptr;
}

void TGlobeObject::SetClosed(bool Value) {
  if (Value == Closed()) return;
  ObjectState.Set(osClosed, Value);
  if (FParent != nullptr && FiIndex >= 0) {
    // For a loaded object the entry is this object; the source's setter writes either.
    TGlobeObjectStateSet state = FParent->GetState(FiIndex);
    state.Set(osClosed, Value);
    FParent->SetState(FiIndex, state);
  }
  RedrawObject();
}

void TGlobeObject::SetHidden(bool Value) {
  if (Value == Hidden()) return;
  ObjectState.Set(osHidden, Value);
  ObjectState.Include(osRedraw);
  RedrawObject();
}

void TGlobeObject::SetSelected(bool Value) {
  if (Value == Selected()) return;
  ObjectState.Set(osSelected, Value);
  SelectedChanged();
  RedrawObject();
}

TPointLL TGlobeObject::Centroid() { return FCentroid; }

void TGlobeObject::SetCentroid(const TPointLL& Value) {
  // Even a move within one pixel invalidates the rectangle: moves that each stay within a
  // pixel add up, and the rectangle would drift away from the object.
  if (Value != FCentroid) ObjectState.Exclude(osValidMER);
  TGlobe4* globe = Globe();
  if (globe != nullptr && SamePixel(globe->Projection(), FCentroid, Value)) {
    FCentroid = Value;
    return;
  }
  // Without a parent there is no projection to compare on: treat every change as visible.
  FCentroid = Value;
  ObjectState.Exclude(osValidMER);
  RedrawObject();
}

void TGlobeObject::SetPresenterID(std::int32_t Value) {
  if (Value == FPresenterID) return;
  FPresenterID = Value;
  // The source passes the value on to its entry; for a loaded object that is this object,
  // which then finds the value unchanged.
  if (FParent != nullptr && FiIndex >= 0) FParent->SetPresenterID(FiIndex, Value);
  RedrawObject();
}

TMER TGlobeObject::GetObjectMER() {
  ObjectState.Include(osValidMER);
  const TPointLL c = Centroid();
  return MER(c.iLongX, c.iLatY, 0, 0);
}

std::int64_t TGlobeObject::ObjectInstanceSize() const {
  return static_cast<std::int64_t>(sizeof(TGlobeObject) + FTitle.size());
}

void TGlobeObject::Assign(TGlobeObjectData& Source) {
  if (&Source == this) return;
  if (!Source.InheritsFrom(TGlobeObject::StaticClass())) {
    TGlobeObjectData::Assign(Source);
    return;
  }
  auto& src = static_cast<TGlobeObject&>(Source);
  SetPresenterID(src.PresenterID());
  FTitle = src.FTitle;
  FObjectID = src.FObjectID;
  FCentroid = src.Centroid();
  FiZoomMin = src.FiZoomMin;
  FiZoomMax = src.FiZoomMax;
  SetClosed(src.Closed());
  SetSelected(src.Selected());
}

TGlobeObject* TGlobeObject::Clone() {
  // Owned here until assigned: if the assignment fails, destroying it also takes it out of
  // the parent again. On success the parent (or, without one, the caller) owns it.
  std::unique_ptr<TGlobeObject> made = CreateGlobeObjectLike<TGlobeObject>(*this, FParent);
  AddToParent(*made);
  made->Assign(*this);
  return made.release();
}

void TGlobeObject::WriteCommonRecord(TGlobeStreamWriter& Writer) {
  if (!FTitle.empty()) ObjectFlags.Include(ofTitle);
  if (FObjectID != 0) ObjectFlags.Include(ofID);
  if (!FObjectGUID.empty()) ObjectFlags.Include(ofGUID);
  if (FiZoomMin != FiZoomMax) ObjectFlags.Include(ofZoomMinMax);
  if (Closed()) ObjectFlags.Include(ofClosed);

  Writer.WriteWord(ObjectFlags.ToBits());
  if (ObjectFlags.Contains(ofTitle)) Writer.WriteShortText(FTitle);
  if (ObjectFlags.Contains(ofID)) Writer.WriteInteger(FObjectID);
  // The GUID precedes the zoom range although its flag bit is higher.
  if (ObjectFlags.Contains(ofGUID)) Writer.WriteShortText(FObjectGUID);
  if (ObjectFlags.Contains(ofZoomMinMax)) {
    Writer.WriteInteger(FiZoomMin);
    Writer.WriteInteger(FiZoomMax);
  }
  // Only the low 16 bits are stored.
  Writer.WriteSmallInt(static_cast<std::int16_t>(FPresenterID));
}

void TGlobeObject::WriteProperties(TGlobeStreamWriter& Writer) { WriteCommonRecord(Writer); }

void TGlobeObject::ReadProperties(TGlobeStreamReader& Reader) {
  ObjectFlags = TGlobeObjectFlagSet::FromBits(Reader.ReadWord());
  if (ObjectFlags.Contains(ofTitle)) FTitle = Reader.ReadShortText();
  if (ObjectFlags.Contains(ofID)) FObjectID = Reader.ReadInteger();
  if (ObjectFlags.Contains(ofGUID)) FObjectGUID = Reader.ReadShortText();
  if (ObjectFlags.Contains(ofZoomMinMax)) {
    FiZoomMin = Reader.ReadInteger();
    FiZoomMax = Reader.ReadInteger();
  }
  if (ObjectFlags.Contains(ofClosed)) ObjectState.Include(osClosed);
  // Straight into the field: reading is no change that the source or the layers need to hear.
  FPresenterID = Reader.ReadSmallInt();
}

void TGlobeObject::RedrawObject() {
  ObjectState.Include(osRedraw);
  if (FParent != nullptr) FParent->NotifyLayers(osnRedraw, this);
}

void TGlobeObject::Render(TGlobe4& /*Globe*/, TGlobeObjectStateSet /*State*/) {}

void TGlobeObject::SelectedChanged() {
  if (FParent == nullptr || FiIndex < 0) return;
  TGlobeObjectStateSet state = FParent->GetState(FiIndex);
  state.Set(osSelected, Selected());
  FParent->SetState(FiIndex, state);
  FParent->NotifyLayers(osnSelectedChanged, this);
}

bool TGlobeObject::LLInObject(const TPointLL& /*ptLL*/, std::int32_t /*iTolerance*/) {
  return false;
}

std::int32_t TGlobeObject::LLInObjectMER(const TPointLL& ptLL, std::int32_t iTolerance) {
  if (Hidden()) return 0;
  const TMER r = GetObjectMER();
  // 64-bit sums: a rectangle running across 180° plus a tolerance passes the 32-bit range.
  const std::int64_t t = iTolerance;
  const std::int64_t lat = ptLL.iLatY;
  const std::int64_t lon = ptLL.iLongX;
  if (lat < r.iLatY - t || lat >= std::int64_t{r.iLatY} + r.iHeightY + t) return 0;
  const std::int64_t east = std::int64_t{r.iLongX} + r.iWidthX + t;
  const std::int64_t west = r.iLongX - t;
  if (east <= GU_180_DEGREE) return (west <= lon && lon < east) ? 3 : 0;
  if (west <= lon && lon < GU_180_DEGREE) return 2;
  // The part of the rectangle wrapped past 180°, as WrapLongitude would wrap its east edge.
  const std::int64_t wrappedEast = east > GU_180_DEGREE + 1 ? east - GU_360_DEGREE : east;
  if (-GU_180_DEGREE <= lon && lon < wrappedEast) return 1;
  return 0;
}

void RegisterGlobeObjects() { RegisterGlobeClasses<TGeoDataObject, TBitmapObject>(); }

}  // namespace globe
