// The geometry of map objects: TPointStore holds one chain (a ring or a line) of points in
// globe units packed as 2 or 3 int32 per point, TChainStore the chains of one object.
//
// A point store keeps an optional cache of the earth-centred 3-D points of its chain so that
// the sphere does not recompute trigonometry on every paint. Every change of the points drops
// the cache; a caller that still holds the array it was given keeps it intact until it lets
// go of it.
#pragma once

#include <cassert>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "globe/core/classes.h"
#include "globe/core/types.h"

namespace globe {

/// A shared, read-only array of 3-D points in GU, one per point of a store.
using TPoint3DArray = std::shared_ptr<const std::vector<TPoint3D>>;

/// One chain of geographic points. Point indices are not checked beyond debug assertions:
/// GetLL/PutLL/GetDD/PutDD/Get3D need 0 ≤ iIndex < Count.
class TPointStore : public TGlobeRoot {
  GLOBE_CLASS(TPointStore, TGlobeRoot)

 public:
  TPointStore() = default;

  /// Number of points; 0 for a new store.
  [[nodiscard]] std::int32_t Count() const noexcept {
    return static_cast<std::int32_t>(FPoints.size() / Stride());
  }
  /// Resizes to n points, new points (0, 0, 0); drops the 3-D cache. Throws EGlobeException
  /// "DynArraySetLength: Invalid Parameter" for n < 0.
  void SetCount(std::int32_t n);

  /// Whether each point carries a height (psHeight).
  [[nodiscard]] bool StoreHeight() const noexcept { return FFlags.Contains(psHeight); }
  /// Changes the layout keeping every point: switching heights on gives them height 0,
  /// switching them off drops them. Nothing when unchanged.
  void SetStoreHeight(bool Value);

  [[nodiscard]] TPointStoreFlags Flags() const noexcept { return FFlags; }
  /// Sets the encoding markers (psLongCount, ps16Bit, psCompressed), which the store itself
  /// ignores. A change of psHeight goes through SetStoreHeight so the layout follows it.
  void SetFlags(TPointStoreFlags Value);

  /// Int32 values per point: 3 with heights (long, lat, height), else 2 (long, lat).
  [[nodiscard]] std::size_t Stride() const noexcept { return StoreHeight() ? 3 : 2; }
  /// The packed points, Count × Stride values.
  [[nodiscard]] std::span<const std::int32_t> PointData() const noexcept { return FPoints; }
  /// The packed points for bulk writing; drops the 3-D cache.
  [[nodiscard]] std::span<std::int32_t> EditPointData() noexcept;

  /// The point; height 0 when the store has no heights.
  [[nodiscard]] TPointLL GetLL(std::int32_t iIndex) const noexcept {
    assert(iIndex >= 0 && iIndex < Count());
    const std::size_t s = Stride();
    const std::int32_t* p = FPoints.data() + static_cast<std::size_t>(iIndex) * s;
    return {p[0], p[1], s == 3 ? p[2] : 0};
  }
  /// Stores long and lat (and the height when the store keeps heights); drops the cache.
  void PutLL(std::int32_t iIndex, const TPointLL& pt) noexcept;
  /// The point in degrees (each value in GU divided by 5,400,000).
  [[nodiscard]] TPointDD GetDD(std::int32_t iIndex) const noexcept;
  /// Stores the point converted with DegToGU (longitude wrapped; the height converted as an
  /// angle); drops the cache.
  void PutDD(std::int32_t iIndex, const TPointDD& pt) noexcept;
  /// Earth-centred point of the point, its height included.
  [[nodiscard]] TPoint3D Get3D(std::int32_t iIndex) const noexcept;

  /// Appends the point and returns its index.
  std::int32_t Add(TPointLL ptLL);
  /// Inserts the point before iIndex (0 ≤ iIndex ≤ Count). Throws EGlobeException
  /// "DynArraySetLength: Invalid Parameter" on a store that has never held points (neither
  /// points added nor Count set) and "DynArrayInsert: Invalid Parameter" for an index out
  /// of range.
  void Insert(std::int32_t iIndex, TPointLL ptLL);
  /// Removes the point; an index out of range does nothing. Drops the cache in every case.
  void Delete(std::int32_t iIndex);
  /// Drops the 3-D cache.
  void Refresh() noexcept { DropCaches(); }
  /// Adds dx, dy (and dz with heights) to every point, in GU, without wrapping; values
  /// beyond the 32-bit range wrap round as two's-complement integers.
  void Translate(std::int32_t dx, std::int32_t dy, std::int32_t dz) noexcept;

  /// A copy of the points and flags, without the cache. A descendant overrides this to keep
  /// its class.
  [[nodiscard]] virtual std::unique_ptr<TPointStore> Clone() const;
  /// Bytes held: the instance, the points and the 3-D cache if there is one.
  [[nodiscard]] virtual std::int64_t ObjectInstanceSize() const noexcept;

  /// The earth-centred points of all points. With CacheArray the array becomes (or already
  /// is) the store's cache and is returned shared; without it the cache is dropped first
  /// and a fresh array is returned that the store does not keep. The returned array stays
  /// valid and unchanged for as long as the caller holds it, whatever happens to the store.
  [[nodiscard]] TPoint3DArray Point3DArray(bool CacheArray);

  /// Whether the chain holds a long straight run: consecutive points in equal steps on one
  /// straight line (longitude against latitude, within 4 GU) whose ends lie more than 180°
  /// of longitude apart, not along a pole. Tools that densify a file in the plane turn an
  /// edge across 180° into such a run the long way round; it means the edge between its
  /// ends. A chain with an edge across 180° (its last point to its first counted too) has
  /// none: its edges go the short way already. Kept until the points change.
  [[nodiscard]] bool HasLongRuns() const noexcept;
  /// Makes Target hold this chain's points (and layout) with the inner points of every
  /// long straight run left out, so that each run becomes the edge between its ends.
  void CopyWithoutLongRuns(TPointStore& Target) const;

  /// Enclosing rectangle; MER(0, 0, 0, 0) when empty. A ring that crosses 180° an odd
  /// number of times encloses a pole and spans all longitudes (west −971,999,999, width
  /// 1,943,999,998); an even, non-zero number of crossings gives a rectangle running east
  /// from the easternmost positive longitude across 180°.
  [[nodiscard]] TMER PointStoreMER() const noexcept;
  /// Area centroid of the ring, height 0; the midpoint (rounded toward zero) for 2 points,
  /// the point for 1, (0, 0) when empty. Area receives the signed planar area in square
  /// radians, positive for a counter-clockwise ring (east right, north up), 0 below 3
  /// points.
  [[nodiscard]] TPointLL Centroid(Extended& Area) const noexcept;
  /// Even-odd test of (iLong, iLat) against the ring, in GU. Zone 1 uses only vertices with
  /// longitude ≤ 0, zone 2 only those ≥ 0 (the halves of a ring split at 180°), any other
  /// zone all vertices. Points on a west edge count as inside, on an east edge as outside.
  [[nodiscard]] bool PointInPolygon(std::int32_t iLong, std::int32_t iLat,
                                    std::int32_t iZone) const noexcept;
  /// True when (iLong, iLat) lies strictly closer than iTolerance (GU) to a segment between
  /// consecutive points (no closing segment); false below 2 points.
  [[nodiscard]] bool PointOnPolyline(std::int32_t iLong, std::int32_t iLat,
                                     std::int32_t iTolerance) const noexcept;

 protected:
  /// Gives this store the flags and points of Source (no cache); for Clone overrides.
  void CopyPointsFrom(const TPointStore& Source);

 private:
  std::vector<std::int32_t> FPoints;
  // The point array exists once points were added or Count set, even with 0 points;
  // inserting into a store without one is refused.
  bool FbHasArray = false;
  TPoint3DArray FPoint3DArray;
  TPointStoreFlags FFlags;
  // HasLongRuns, worked out on first use: −1 not yet, else 0 or 1.
  mutable std::int8_t FLongRuns = -1;

  void DropCaches() noexcept {
    FPoint3DArray.reset();
    FLongRuns = -1;
  }
};

/// The chains of one object. Slots may be empty until a chain is read; reading a chain
/// creates it and grows the store as needed.
class TChainStore : public TGlobeRoot {
  GLOBE_CLASS(TChainStore, TGlobeRoot)

 public:
  TChainStore() = default;

  [[nodiscard]] std::int32_t Count() const noexcept {
    return static_cast<std::int32_t>(FChains.size());
  }
  /// Frees the chains at n and above; new slots are empty. Throws EGlobeException
  /// "DynArraySetLength: Invalid Parameter" for n < 0.
  void SetCount(std::int32_t n);

  /// Whether new and existing chains store heights.
  [[nodiscard]] bool StoreHeight() const noexcept { return FStoreHeight; }
  /// Nothing when unchanged; otherwise sets StoreHeight of every chain, creating the empty
  /// slots' chains on the way.
  void SetStoreHeight(bool Value);

  /// The chain at i, never null: Count grows to i + 1 when needed and an empty slot gets a
  /// new store with this store's StoreHeight. Throws EGlobeException for i < 0.
  TPointStore& GetChain(std::int32_t i);
  /// The chain at i, or null for an empty slot or an index out of range; never grows.
  [[nodiscard]] const TPointStore* FindChain(std::int32_t i) const noexcept;
  /// Destroys the chain at i (if any) and puts Store there; Count grows to i + 1 when
  /// needed. A null Store leaves the slot empty. Throws EGlobeException for i < 0.
  void SetChain(std::int32_t i, std::unique_ptr<TPointStore> Store);

  /// Inserts Store before i (0 ≤ i ≤ Count); throws EGlobeException "DynArrayInsert:
  /// Invalid Parameter" otherwise.
  void Insert(std::int32_t i, std::unique_ptr<TPointStore> Store);
  /// Destroys the chain at i and closes the gap; an index out of range does nothing.
  void Delete(std::int32_t i);
  /// Appends Store as the new last chain.
  void Add(std::unique_ptr<TPointStore> Store);
  /// Moves the chain at iFrom to iTo; nothing when they are equal or either is out of range.
  void Move(std::int32_t iFrom, std::int32_t iTo);

  /// A copy with a clone of every chain (empty slots stay empty) and the same StoreHeight.
  /// A descendant overrides this to keep its class.
  [[nodiscard]] virtual std::unique_ptr<TChainStore> Clone() const;

  /// Area-weighted centroid of the chains' centroids, height 0; a hole wound against its
  /// outer ring subtracts. (0, 0, 0) without chains, the chain's own centroid for one. When
  /// the areas sum to 0 (lines, points, rings cancelling each other) the plain mean of the
  /// centroids of the chains that hold points.
  [[nodiscard]] TPointLL Centroid() const noexcept;
  /// MER of chain 0 united with the MER of every further chain holding points;
  /// MER(0, 0, 0, 0) without chains.
  [[nodiscard]] TMER ChainStoreMER() const noexcept;

 private:
  std::vector<std::unique_ptr<TPointStore>> FChains;
  bool FStoreHeight = false;
};

}  // namespace globe
