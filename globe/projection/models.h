// The projection models: the generic base shared by all, the orthographic sphere (the
// default, which makes the view a globe) and the flat world maps.
#pragma once

#include <cstdint>
#include <memory>

#include "globe/projection/projection.h"

namespace globe {

/// The generic algorithms: chain projection point by point, list and rectangle visibility,
/// the whole world as extents, the surface outline and the graticule.
class TProjectionModel : public TCustomProjectionModel {
  GLOBE_CLASS(TProjectionModel, TCustomProjectionModel)
 public:
  /// Sets the controller's graticule steps to 72 (meridians) and 144 (parallels).
  explicit TProjectionModel(TGlobeProjection* Parent);

  void LoadEnvironment(const TGXML_Element* Element) override;
  /// An element with the attribute "Class" = the class name.
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;
  std::int32_t PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool bClosed) override;
  bool LLToXY(std::int32_t iLong, std::int32_t iLat, std::int32_t iIndex) override;
  [[nodiscard]] TRect ExtentsLL() const override;
  bool XYListVisible(std::int32_t iCount, std::uint8_t& ClipCode) override;
  bool VisibleMER(const TMER& MER, TGlobeObjectStateSet& State) override;
  void PaintSurface() override;
  void PaintGraticule() override;
};

/// The orthographic sphere.
class TSphericalPrj : public TProjectionModel {
  GLOBE_CLASS(TSphericalPrj, TProjectionModel)
 public:
  /// Flags [pfContinuous, pfTextureMap], graticule steps 36 and 72. The matrices are made
  /// by PropertyChanged.
  explicit TSphericalPrj(TGlobeProjection* Parent);

  /// Copies matrices and radius from another sphere.
  void Assign(const TCustomProjectionModel& AModel) override;
  /// Writes from index 0 whatever iStart is, from the store's 3-D points (kept with the
  /// store under goCache3DPoints). Hidden points are dropped from an open chain and pulled
  /// onto the disc's outline in a closed one; a point within one pixel of the last written
  /// one is dropped.
  std::int32_t PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool bClosed) override;
  /// Visible on the near hemisphere, or, for a point above the surface, outside the disc.
  /// RenderBackFace inverts the result.
  bool PointLLToXY(const TPointLL& ptLL, std::int32_t iIndex) override;
  /// The point of the near hemisphere under the device point (longitude not wrapped);
  /// false off the disc.
  bool XYToLL(std::int32_t iX, std::int32_t iY, std::int32_t iIndex) override;
  /// The disc's bounding square in GU: ±309,397,230.
  [[nodiscard]] TRect ExtentsLL() const override;
  /// Keeps XRotation within ±90 and the Y and Z rotations within ±180 (through the
  /// controller's setters) and rebuilds the matrices after a rotation or scale change.
  void PropertyChanged(TProjectionProperty ProjectionProperty) override;
  /// The disc as a 90-gon.
  void PaintSurface() override;

  /// Radius of the disc in device pixels.
  [[nodiscard]] Extended GlobeRadius() const noexcept { return FGlobeRadius; }
  /// Screen → world, unscaled: a point of the disc relative to the origin (z towards the
  /// viewer negative) to its 3-D point of length GU_EARTH_RADIUS.
  [[nodiscard]] const TMatrix& InverseTransform() const noexcept { return FInvTransform; }

 protected:
  TMatrix FTransform;     ///< world → screen, scaled
  TMatrix FInvTransform;  ///< screen → world, unscaled by 1 / scale
  Extended FGlobeRadius = 0;
  Extended FGlobeRadiusSquared = 0;
};

/// The plate carrée: longitude and latitude proportional to X and Y.
class TCartesianPrj : public TProjectionModel {
  GLOBE_CLASS(TCartesianPrj, TProjectionModel)
 public:
  /// Flags [pfTextureMap].
  explicit TCartesianPrj(TGlobeProjection* Parent);

  /// Turns changes of the X and Y rotations into moves of the map (XAxisChanges,
  /// YAxisChanges of the controller).
  void PropertyChanged(TProjectionProperty ProjectionProperty) override;
  /// As the generic chain projection, with the view read once per chain. A descendant that
  /// changes PointLLToXY overrides this too.
  std::int32_t PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool bClosed) override;
  /// Written whether visible or not; visible when within ExtentsLL, bounds included.
  bool PointLLToXY(const TPointLL& ptLL, std::int32_t iIndex) override;
  /// False when the point is off the map or the view's arithmetic overflows 32 bits.
  bool XYToLL(std::int32_t iX, std::int32_t iY, std::int32_t iIndex) override;
  /// The two halves of XYToLL: the longitude depends on the column alone, the latitude on
  /// the row alone (for work done once per column or row). False off the map's extents.
  bool XToLong(std::int32_t iX, std::int32_t& Long) const;
  bool YToLat(std::int32_t iY, std::int32_t& Lat) const;

 protected:
  /// Whether (long, lat) lies within ExtentsLL, bounds included.
  [[nodiscard]] bool InExtents(std::int64_t iLong, std::int64_t iLat) const;

  Extended LastXrotation = 0;
  Extended LastYrotation = 0;
};

/// Mercator.
class TMercatorPrj : public TCartesianPrj {
  GLOBE_CLASS(TMercatorPrj, TCartesianPrj)
 public:
  using TCartesianPrj::TCartesianPrj;
  std::int32_t PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool bClosed) override;
  /// Latitudes are projected as if within ±485,999,999 GU; visibility uses the true value.
  bool PointLLToXY(const TPointLL& ptLL, std::int32_t iIndex) override;
  bool XYToLL(std::int32_t iX, std::int32_t iY, std::int32_t iIndex) override;
};

/// The plate carrée turned by the Z rotation.
class TTestCartesianPrj : public TCartesianPrj {
  GLOBE_CLASS(TTestCartesianPrj, TCartesianPrj)
 public:
  using TCartesianPrj::TCartesianPrj;
  void PropertyChanged(TProjectionProperty ProjectionProperty) override;
  std::int32_t PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool bClosed) override;
  bool PointLLToXY(const TPointLL& ptLL, std::int32_t iIndex) override;
  bool XYToLL(std::int32_t iX, std::int32_t iY, std::int32_t iIndex) override;

 protected:
  Extended ZSin = 0;
  Extended ZCos = 1;
};

}  // namespace globe
