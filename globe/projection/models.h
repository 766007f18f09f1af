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

namespace globe {

class TGlobeCanvas;
class TChainStore;

/// The azimuthal equidistant map around the projection's centre (CentralParallel,
/// CentralMeridian): distance and direction from the centre are true, so that the whole
/// earth is a disc and the rim is the centre's antipode. The map is drawn at half the
/// controller's scale (the disc's radius is 486,000,000 GU, half the 180° of arc it stands
/// for), so that a wide canvas shows it whole within 32-bit view rectangles.
/// Every point is visible (none with RenderBackFace). Changes of the X and Y rotations pan
/// the map by moving the origin; only the centre setters move the centre.
class TAzimuthalPrj : public TProjectionModel {
  GLOBE_CLASS(TAzimuthalPrj, TProjectionModel)
 public:
  /// Flags [pfContinuous, pfTextureMap]: rings are cut at the rim by the model itself.
  explicit TAzimuthalPrj(TGlobeProjection* Parent);

  /// A closed ring that passes the antipode follows the rim; one that encloses the
  /// antipode is extended by the rim so that, filled with the alternate rule, it covers
  /// the band between ring and rim. Edges near the antipode are bent along their great
  /// circle. An open chain is written as one run (see RenderLines for cutting it).
  std::int32_t PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool bClosed) override;
  bool PointLLToXY(const TPointLL& ptLL, std::int32_t iIndex) override;
  /// False beyond the rim (more than 180° from the centre) or with a broken view.
  bool XYToLL(std::int32_t iX, std::int32_t iY, std::int32_t iIndex) override;
  /// The disc's bounding square: ±486,000,000 GU.
  [[nodiscard]] TRect ExtentsLL() const override;
  /// As the generic test; a rectangle near the antipode may spread along the whole rim
  /// and is clipped on every edge.
  bool VisibleMER(const TMER& MER, TGlobeObjectStateSet& State) override;
  /// Rotation changes become moves of the origin.
  void PropertyChanged(TProjectionProperty ProjectionProperty) override;
  /// The disc, textured pixel by pixel when there is a texture.
  void PaintSurface() override;

  /// Draws open chains, each cut into runs where it passes through the antipode (the
  /// run ends on the rim where it leaves and the next starts on the rim opposite).
  void RenderLines(TGlobeCanvas& Canvas, TChainStore& Chains, TGlobeObjectStateSet State,
                   std::int32_t iPenWidth);

  /// The device point where the centre's direction Azimuth (degrees clockwise from north)
  /// meets the rim.
  [[nodiscard]] TPoint RimPoint(Extended Azimuth) const;
  /// Radius of the disc in device pixels.
  [[nodiscard]] Extended RimRadius() const;

 protected:
  /// The centre's frame (towards the centre, east, north, in the earth-centred axes), made
  /// again only when the centre has moved.
  [[nodiscard]] const double* Frame() const;

  Extended LastXrotation = 0;
  Extended LastYrotation = 0;
  mutable double FFrame[9] = {};
  mutable Extended FFrameLat = -1000;
  mutable Extended FFrameLong = -1000;
};

}  // namespace globe
