// The projection controller of a globe view and the contract of its projection models.
//
// The controller holds the view: origin on the canvas, three rotations, scale (device pixels
// per GU) or altitude, the flat maps' central meridian and parallels, zoom and latitude /
// longitude limits, and the one model that projects. Every change of a view parameter goes
// through its two indexed setters, which store the value, tell the model and ask the globe
// to redraw.
//
// Models write projected points into the shared device point buffer (render/pointbuffer.h)
// at the index each call names; inverse projections deliver longitude and latitude (GU) into
// the buffer's X and Y.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "globe/core/classes.h"
#include "globe/core/enumset.h"
#include "globe/core/pointstore.h"
#include "globe/core/types.h"
#include "globe/formats/xml.h"

namespace globe {

class TCustomGlobe4;
class TGlobeProjection;

/// The view parameters; the ordinal of each is its property index.
enum TProjectionProperty : std::uint8_t {
  ppXRotation,
  ppYRotation,
  ppZRotation,
  ppScaleFactor,
  ppXOrigin,
  ppYOrigin,
  ppCentralMeridian,
  ppCentralParallel,
  ppFirstParallel,
  ppSecondParallel,
  ppSpheroid,
  ppXAxisChanges,
  ppYAxisChanges,
  ppMaxLatitude,
  ppMinLatitude,
  ppMaxLongitude,
  ppMinLongitude,
  ppMaxZoom,
  ppMinZoom,
};

/// What a change of XRotation does on a flat map.
enum TXAxisChanges : std::uint8_t { xaYOrigin, xaCentralParallel, xaNoAction };
/// What a change of YRotation does on a flat map.
enum TYAxisChanges : std::uint8_t { yaXOrigin, yaCentralMeridian, yaNoAction };

enum TProjectionFlag : std::uint8_t {
  pfContinuous,  ///< the projected earth has no edge where shapes must be cut (the sphere)
  pfTextureMap,  ///< the surface may be painted with the background texture
};
using TProjectionFlags = EnumSet<TProjectionFlag, std::uint8_t>;

/// tan 50°: the altitude of a scale s is round(1 / (tan 50° × s)).
inline const Extended TAN_50_DEGREES = std::tan(0.87266462599716478846L);

// ---- Models -----------------------------------------------------------------------------

/// A projection model: maps geographic points to device points of the globe's canvas and
/// back, tests visibility, and paints the surface and the graticule. Created by class name
/// for a controller, which owns it.
class TCustomProjectionModel : public TGlobeENVPersistent {
  GLOBE_CLASS(TCustomProjectionModel, TGlobeENVPersistent)
 public:
  using TCreatable = TCustomProjectionModel;
  using TConstructor = std::unique_ptr<TCustomProjectionModel> (*)(TGlobeProjection* Parent);

  explicit TCustomProjectionModel(TGlobeProjection* Parent) noexcept : FProjection(Parent) {}

  [[nodiscard]] TGlobeProjection& Projection() const noexcept { return *FProjection; }

  /// Projects the chain into the device point buffer from iStart (duplicates within a
  /// pixel and invisible points dropped, as each model defines); returns the index after
  /// the last point written. The buffer is first grown to iStart + Count + 1 points, which
  /// may move it: callers re-read DevicePoints() afterwards.
  virtual std::int32_t PointStoreToXY(TPointStore& Points, std::int32_t iStart, bool bClosed) = 0;
  /// Projects PointLL(iLong, iLat) to iIndex; true when visible.
  virtual bool LLToXY(std::int32_t iLong, std::int32_t iLat, std::int32_t iIndex) = 0;
  /// Projects ptLL to iIndex (written whether visible or not); true when visible.
  virtual bool PointLLToXY(const TPointLL& ptLL, std::int32_t iIndex) = 0;
  /// The geographic point of a device point into iIndex (X = longitude, Y = latitude, GU);
  /// false, leaving the buffer alone, when the device point is not on the earth.
  virtual bool XYToLL(std::int32_t iX, std::int32_t iY, std::int32_t iIndex) = 0;
  /// The model's drawing space in GU (left, top, right, bottom; top is the minimum).
  [[nodiscard]] virtual TRect ExtentsLL() const = 0;
  /// Whether the first iCount buffer points can show on the canvas; ClipCode receives the
  /// outcodes of their bounding box's corners (min corner high nibble, max corner low).
  virtual bool XYListVisible(std::int32_t iCount, std::uint8_t& ClipCode) = 0;
  /// Whether the rectangle can show; sets the face and clip members of State.
  virtual bool VisibleMER(const TMER& MER, TGlobeObjectStateSet& State) = 0;
  /// Called by the controller after each change of a view parameter.
  virtual void PropertyChanged(TProjectionProperty ProjectionProperty) = 0;
  virtual void PaintSurface() = 0;
  virtual void PaintGraticule() = 0;

  /// A model of the same class for Parent, then Assign(*this). The class is created
  /// through the class registry: an unregistered class throws EGlobeException.
  [[nodiscard]] virtual std::unique_ptr<TCustomProjectionModel> Clone(
      TGlobeProjection* Parent) const;
  /// Copies what the model keeps of its own (nothing at this level).
  virtual void Assign(const TCustomProjectionModel& AModel);

 protected:
  TGlobeProjection* FProjection;
};

// ---- Controller -------------------------------------------------------------------------

class TGlobeProjection : public TGlobeENVPersistent {
  GLOBE_CLASS(TGlobeProjection, TGlobeENVPersistent)
 public:
  /// The sphere model, the default view (XRotation 23.5) and the scale that fits the
  /// sphere into the canvas. Throws EGlobeException "TGlobeProjection.Create passed nil
  /// parent" without a globe.
  explicit TGlobeProjection(TCustomGlobe4* ParentGlobe);
  ~TGlobeProjection() override;

  [[nodiscard]] TCustomGlobe4& Globe() const noexcept { return *FGlobe; }
  [[nodiscard]] TCustomProjectionModel& ProjectionModel() const noexcept {
    return *FProjectionModel;
  }

  // ---- The virtual setters, in their fixed order -----------------------------------------
  /// Stores XOrigin or YOrigin (nothing for other indices) unless equal; tells the model;
  /// redraws.
  virtual void SetIntProperty(TProjectionProperty Index, std::int32_t Value);
  /// Stores the value with its index's rule (wrap, limits) unless equal to the stored one;
  /// tells the model; updates the scroll bars; redraws. A NaN is ignored.
  virtual void SetFloatProperty(TProjectionProperty Index, Extended Value);
  /// Installs Model (the sphere when null), tells it every property and keeps the point that
  /// was at the centre of the client area there.
  virtual void SetProjectionModel(std::unique_ptr<TCustomProjectionModel> Model);
  virtual void SetUseMinMaxLimits(bool Value);
  virtual void SetXAxisChanges(TXAxisChanges Value);
  virtual void SetYAxisChanges(TYAxisChanges Value);
  /// Zooms: clamps to the zoom limits and 3.0, fits the earth for 0, keeps the point under
  /// the canvas centre, derives the altitude and view rectangle. Negative values and values
  /// within 1e-10 of the current scale are ignored; a scale whose origin, altitude or view
  /// rectangle would pass 32 bits is not applied. The scroll bars are updated in any case.
  virtual void SetScaleFactor(Extended Value);
  /// 0 fits the earth into the canvas; otherwise the scale of that altitude.
  virtual void SetAltitude(std::int32_t Value);
  /// A controller for the same globe with the same view and a clone of the model.
  [[nodiscard]] virtual std::unique_ptr<TGlobeProjection> Clone() const;

  /// Copies the view (not UseMinMaxLimits) and takes a clone of Source's model, without
  /// notifications.
  void Assign(const TGlobeProjection& Source);
  /// Restores model, view and limits from the element; attributes that are missing keep
  /// the current values, ordinals that name no value are ignored. Throws EConvertError for
  /// a malformed number and EGlobeException for a model class that is unknown or not a
  /// projection model.
  void LoadEnvironment(const TGXML_Element* Element) override;
  /// The view as attributes and the model as the child "ProjectionModel".
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

  // ---- Properties ------------------------------------------------------------------------
  [[nodiscard]] std::int32_t XOrigin() const noexcept { return FiXOrigin; }
  [[nodiscard]] std::int32_t YOrigin() const noexcept { return FiYOrigin; }
  [[nodiscard]] std::int32_t Altitude() const noexcept { return FiAltitude; }
  [[nodiscard]] Extended XRotation() const noexcept { return FXRotation; }
  [[nodiscard]] Extended YRotation() const noexcept { return FYRotation; }
  [[nodiscard]] Extended ZRotation() const noexcept { return FZRotation; }
  [[nodiscard]] Extended MaxLatitude() const noexcept { return FMaxLatitude; }
  [[nodiscard]] Extended MinLatitude() const noexcept { return FMinLatitude; }
  [[nodiscard]] Extended MaxLongitude() const noexcept { return FMaxLongitude; }
  [[nodiscard]] Extended MinLongitude() const noexcept { return FMinLongitude; }
  [[nodiscard]] Extended MaxZoom() const noexcept { return FMaxZoom; }
  [[nodiscard]] Extended MinZoom() const noexcept { return FMinZoom; }
  /// Device pixels per GU.
  [[nodiscard]] Extended ScaleFactor() const noexcept { return FScaleFactor; }
  [[nodiscard]] Extended CentralMeridian() const noexcept { return FCentralMeridian; }
  [[nodiscard]] Extended CentralParallel() const noexcept { return FCentralParallel; }
  [[nodiscard]] Extended FirstParallel() const noexcept { return FFirstParallel; }
  [[nodiscard]] Extended SecondParallel() const noexcept { return FSecondParallel; }
  [[nodiscard]] TSpheroid Spheroid() const noexcept { return FSpheroid; }
  void SetSpheroid(TSpheroid Value) noexcept { FSpheroid = Value; }
  [[nodiscard]] TXAxisChanges XAxisChanges() const noexcept { return FXAxisChanges; }
  [[nodiscard]] TYAxisChanges YAxisChanges() const noexcept { return FYAxisChanges; }
  [[nodiscard]] std::int32_t GraticuleLongSteps() const noexcept { return FiGraticuleLongSteps; }
  [[nodiscard]] std::int32_t GraticuleLatSteps() const noexcept { return FiGraticuleLatSteps; }
  void SetGraticuleLongSteps(std::int32_t Value) noexcept { FiGraticuleLongSteps = Value; }
  void SetGraticuleLatSteps(std::int32_t Value) noexcept { FiGraticuleLatSteps = Value; }
  [[nodiscard]] TProjectionFlags Flags() const noexcept { return FFlags; }
  void SetFlags(TProjectionFlags Value) noexcept { FFlags = Value; }
  /// True while the globe draws the far side; inverts every visibility test of the models.
  [[nodiscard]] bool RenderBackFace() const noexcept { return FRenderBackFace; }
  void SetRenderBackFace(bool Value) noexcept { FRenderBackFace = Value; }
  [[nodiscard]] bool UseMinMaxLimits() const noexcept { return FUseMinMaxLimits; }

  // Named forms of the indexed setters.
  void SetXOrigin(std::int32_t v) { SetIntProperty(ppXOrigin, v); }
  void SetYOrigin(std::int32_t v) { SetIntProperty(ppYOrigin, v); }
  void SetXRotation(Extended v) { SetFloatProperty(ppXRotation, v); }
  void SetYRotation(Extended v) { SetFloatProperty(ppYRotation, v); }
  void SetZRotation(Extended v) { SetFloatProperty(ppZRotation, v); }
  void SetCentralMeridian(Extended v) { SetFloatProperty(ppCentralMeridian, v); }
  void SetCentralParallel(Extended v) { SetFloatProperty(ppCentralParallel, v); }
  void SetFirstParallel(Extended v) { SetFloatProperty(ppFirstParallel, v); }
  void SetSecondParallel(Extended v) { SetFloatProperty(ppSecondParallel, v); }
  void SetMaxLatitude(Extended v) { SetFloatProperty(ppMaxLatitude, v); }
  void SetMinLatitude(Extended v) { SetFloatProperty(ppMinLatitude, v); }
  void SetMaxLongitude(Extended v) { SetFloatProperty(ppMaxLongitude, v); }
  void SetMinLongitude(Extended v) { SetFloatProperty(ppMinLongitude, v); }
  void SetMaxZoom(Extended v) { SetFloatProperty(ppMaxZoom, v); }
  void SetMinZoom(Extended v) { SetFloatProperty(ppMinZoom, v); }

  /// Degrees under the canvas centre; 2,147,483,647.0 when the centre is off the earth.
  [[nodiscard]] Extended CenterLatitude();
  [[nodiscard]] Extended CenterLongitude();
  /// Turns (sphere) or moves (flat maps) the view so that the centre shows this latitude /
  /// longitude in degrees.
  void SetCenterLatitude(Extended Value);
  void SetCenterLongitude(Extended Value);
  [[nodiscard]] TPoint CenterXY() const noexcept { return {FiXOrigin, FiYOrigin}; }
  /// Moves the origin (raising the globe's OnPanned when it moved); always updates the
  /// scroll bars and redraws.
  void SetCenterXY(TPoint pt);
  /// GU per inch of the current device (limited to 32 bits); setting it zooms by the
  /// screen's resolution, and a value of 0 or less is ignored.
  [[nodiscard]] std::int32_t UnitsPerInch() const;
  void SetUnitsPerInch(std::int32_t Value);
  /// The model's class name.
  [[nodiscard]] std::string ProjectionClass() const;
  /// Switches the model by registered class name (letter case ignored; nothing when it is
  /// the current class). Throws EGlobeException "Class <Name> not found" for an unknown
  /// name and "Class <Name> does not inherit from TProjectionModel" for another kind of
  /// class; the current model then stays.
  void SetProjectionClass(std::string_view Name);

  [[nodiscard]] TRect ExtentsLL() const;
  /// The geographic point at a device point (longitude wrapped, height 0); false, with
  /// ptLL = PointLL(972,000,000, 972,000,000), when it is off the earth.
  bool DeviceXYToLL(std::int32_t iX, std::int32_t iY, TPointLL& ptLL);
  /// The device point of PointLL(iLong, iLat), written whether visible or not.
  bool LLToDeviceXY(std::int32_t iLong, std::int32_t iLat, TPoint& ptXY);
  bool PointLLToXY(const TPointLL& ptLL, TPoint& ptXY);

 private:
  // The canvas refits the view on a resize by storing scale and altitude directly.
  friend class TGlobeCanvas;
  // The flat maps paint their outline unshifted, without telling anyone.
  friend class TProjectionModel;

  TCustomGlobe4* FGlobe;
  std::int32_t FiXOrigin = 0;
  std::int32_t FiYOrigin = 0;
  std::int32_t FiAltitude = 0;
  Extended FXRotation = 0;
  Extended FYRotation = 0;
  Extended FZRotation = 0;
  Extended FMaxLatitude = 0;
  Extended FMinLatitude = 0;
  Extended FMaxLongitude = 0;
  Extended FMinLongitude = 0;
  Extended FMaxZoom = 0;
  Extended FMinZoom = 0;
  Extended FScaleFactor = 0;
  Extended FCentralMeridian = 0;
  Extended FCentralParallel = 0;
  Extended FFirstParallel = 0;
  Extended FSecondParallel = 0;
  TSpheroid FSpheroid = TSpheroid::WGS84;
  TXAxisChanges FXAxisChanges = xaYOrigin;
  TYAxisChanges FYAxisChanges = yaCentralMeridian;
  std::unique_ptr<TCustomProjectionModel> FProjectionModel;
  std::int32_t FiGraticuleLongSteps = 0;
  std::int32_t FiGraticuleLatSteps = 0;
  TProjectionFlags FFlags;
  bool FRenderBackFace = false;
  bool FUseMinMaxLimits = false;
};

/// Whether two geographic points land on the same device pixel.
[[nodiscard]] bool SamePixel(TGlobeProjection& Projection, const TPointLL& ptA,
                             const TPointLL& ptB);

/// Registers the four projection models by class name. Idempotent.
void RegisterProjectionModels();

}  // namespace globe
