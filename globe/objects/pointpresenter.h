// The point presenter: a symbol at every point of an object (or at its centroid when it has
// none): a shape, a pixel, a glyph of a symbol font turned about its centre, or a picture,
// sized in any globe unit with an optional cap in screen pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "globe/core/types.h"
#include "globe/objects/presenter.h"
#include "platform/device.h"

namespace globe {

/// Symbol kind; stored as one byte.
enum TPointPresenterType : std::uint8_t {
  ppNone,
  ppFontSymbol,
  ppImage,
  ppDot,
  ppCircle,
  ppSquare,
  ppDiamond,
  ppTriangleUp,
  ppTriangleDown,
  ppTriangleLeft,
  ppTriangleRight,
};

class TPointPresenter : public TGlobePresenter {
  GLOBE_CLASS(TPointPresenter, TGlobePresenter)
 public:
  /// Name "Point Presenter", a 6-pixel circle with a black pen and brush; the point font is
  /// all zero with an empty name.
  TPointPresenter(TGlobe4* Globe, std::int32_t iID);
  ~TPointPresenter() override;

  [[nodiscard]] TGlobePen& PointPen() const noexcept { return *FPointPen; }
  [[nodiscard]] TGlobeBrush& PointBrush() const noexcept { return *FPointBrush; }
  [[nodiscard]] TGlobeFont& PointFont() const noexcept { return *FPointFont; }
  [[nodiscard]] std::int16_t SymbolIndex() const noexcept { return FiSymbolIndex; }
  void SetSymbolIndex(std::int16_t Value) noexcept { FiSymbolIndex = Value; }
  [[nodiscard]] TPointPresenterType PointType() const noexcept { return FPointType; }
  void SetPointType(TPointPresenterType Value) noexcept { FPointType = Value; }
  [[nodiscard]] TGlobeUnitTypes PointUnit() const noexcept { return FPointUnit; }
  /// For ppFontSymbol also the point font's unit.
  void SetPointUnit(TGlobeUnitTypes Value);
  /// Full symbol width in PointUnit; for ppFontSymbol also the point font's size.
  [[nodiscard]] std::int32_t PointSize() const noexcept { return FiPointSize; }
  void SetPointSize(std::int32_t Value);
  /// Cap of the drawn size in screen pixels; 0: none.
  [[nodiscard]] std::int32_t MaxPointSize() const noexcept { return FiMaxPointSize; }
  void SetMaxPointSize(std::int32_t Value) noexcept { FiMaxPointSize = Value; }

  /// The picture for ppImage; null when there is none.
  [[nodiscard]] const platform::TBitmap* Image() const noexcept { return FImage.get(); }
  /// Holds the given picture (shared); clears ImageName.
  void SetImage(std::shared_ptr<const platform::TBitmap> Value);
  [[nodiscard]] const std::string& ImageName() const noexcept { return FsImageName; }
  /// An empty value changes nothing. Otherwise resolved through the globe and loaded with
  /// the platform's picture loader; a name that resolves to nothing frees the picture.
  /// Throws EGlobeException "Unable to load picture <resolved name>" when the file does not
  /// load, leaving picture and name as they were.
  void SetImageName(const std::string& Value);

  /// The base record, then type, unit, size (negated when MaxPointSize follows), symbol,
  /// image name, pen, brush and font. A cap with a size that is not positive is not
  /// written, and a negative size without a cap is written as 0, so that the record reads
  /// back whole.
  void WriteProperties(TGlobeStreamWriter& Writer) override;
  /// Throws EGlobeException for a size of -2^31, which has no positive counterpart, and
  /// the picture loader's error for an image name that does not load.
  void ReadProperties(TGlobeStreamReader& Reader) override;
  /// Geod must be a TGeoDataObject; another class throws EGlobeException "Invalid class
  /// typecast".
  void RenderObject(TGlobe4& Globe, TGlobeObject& Geod, TGlobeObjectStateSet State) override;
  /// The hit square of the symbol's size around the centroid; iTolerance is not used.
  [[nodiscard]] bool LLInObject(TGlobe4& Globe, const TPointLL& ptLL, TGlobeObject& Geod,
                                std::int32_t iTolerance) override;
  /// The base assignment; from a point presenter also its symbol settings and attributes,
  /// sharing its picture (with its name, when it has one).
  void Assign(const TGlobeRoot& Source) override;
  void LoadEnvironment(const TGXML_Element* Element) override;
  /// "ImageName" is kept relative to the data directory when the picture lies inside it.
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

  /// The ID of the first point presenter in Presenters whose attributes equal the given
  /// ones (null matches anything) and whose type, unit, size and image name are the given
  /// values; 0 when none does.
  [[nodiscard]] static std::int32_t FindMatch(const TGlobePresenterStore& Presenters,
                                              const TGlobePen* APen, const TGlobeBrush* ABrush,
                                              const TGlobeFont* AFont, const TGlobeFont* ATitleFont,
                                              TPointPresenterType APointType,
                                              TGlobeUnitTypes APointUnit, std::int32_t APointSize,
                                              const std::string& AImageName);

 private:
  /// Half the symbol's drawn width in device pixels (the size capped, then halved).
  [[nodiscard]] std::int32_t SymbolRadius(TGlobe4& Globe) const;
  /// Whether the symbol type draws anything at all.
  [[nodiscard]] bool SymbolDrawn() const noexcept;
  void DrawSymbol(TGlobe4& Globe, const TPointLL& ptLL, bool bSelected, std::int32_t r);

  std::unique_ptr<TGlobePen> FPointPen;
  std::unique_ptr<TGlobeBrush> FPointBrush;
  std::unique_ptr<TGlobeFont> FPointFont;
  std::int16_t FiSymbolIndex = 0;
  TPointPresenterType FPointType = ppCircle;
  TGlobeUnitTypes FPointUnit = TGlobeUnitTypes::Pixel;
  std::int32_t FiPointSize = 6;
  std::int32_t FiMaxPointSize = 0;
  std::shared_ptr<const platform::TBitmap> FImage;
  std::string FsImageName;
};

}  // namespace globe
