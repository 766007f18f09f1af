// Pens, brushes and fonts of the globe engine: persistent descriptions whose sizes may be in
// any globe unit, each making its device object for the canvas it is drawn on, caching it,
// and rebuilding it when the canvas, the canvas's colour adjustment or (for sizes in
// geographic units) the zoom changes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "globe/core/classes.h"
#include "globe/core/types.h"
#include "globe/formats/propertystream.h"
#include "globe/formats/xml.h"
#include "platform/device.h"

namespace globe {

class TGlobeCanvas;
using platform::TColor;

/// Colour text: the identifier of a named colour ("clSilver") or "$" and eight upper-case
/// hexadecimal digits.
[[nodiscard]] std::string ColorToString(TColor Color);
/// Reads colour text: a named colour in any letter case, or an integer in decimal or
/// hexadecimal with "$" or "0x". Throws EConvertError "'<Text>' is not a valid integer
/// value" otherwise.
[[nodiscard]] TColor StringToColor(std::string_view Text);

class TGlobeAttribute : public TGlobeENVPersistent {
  GLOBE_CLASS(TGlobeAttribute, TGlobeENVPersistent)
 public:
  using TCreatable = TGlobeAttribute;
  using TConstructor = std::unique_ptr<TGlobeAttribute> (*)();

  TGlobeAttribute() = default;
  /// Destroys the handle.
  ~TGlobeAttribute() override;

  /// The cached device object, or none.
  [[nodiscard]] const platform::THandle& AttributeHandle() const noexcept {
    return FAttributeHandle;
  }

  virtual void CreateHandle() = 0;
  /// Selects stock objects into the canvas's device (0: black pen, white brush and system
  /// font; otherwise the stock object of that number) and drops the handle.
  virtual void DestroyHandle(int iStockObject);
  [[nodiscard]] virtual bool Equals(const TGlobeAttribute& Attr) const = 0;
  /// Makes (or re-makes) the handle for GlobeCanvas and selects it into its device.
  virtual void RenderAttribute(TGlobeCanvas& GlobeCanvas, bool bSelected);
  [[nodiscard]] virtual std::unique_ptr<TGlobeAttribute> Clone() const = 0;
  virtual void WriteProperties(TGlobeStreamWriter& Writer) const = 0;
  virtual void ReadProperties(TGlobeStreamReader& Reader) = 0;
  /// Copies the properties of an attribute of the same class (through the setters).
  /// Throws EGlobeException for an attribute of another class.
  virtual void Assign(const TGlobeAttribute& Attr) = 0;

  /// Called after every change of a property (the globe redraws for its own attributes).
  std::function<void()> OnChange;

 protected:
  void Changed() const {
    if (OnChange) OnChange();
  }
  /// The canvas the handle was made for, or null when there is none or it no longer exists.
  [[nodiscard]] TGlobeCanvas* LiveCanvas() const noexcept {
    return FCanvasAlive.expired() ? nullptr : FGlobeCanvas;
  }

  std::int32_t FiCanvasVersion = 0;
  platform::THandle FAttributeHandle;
  TGlobeCanvas* FGlobeCanvas = nullptr;
  std::weak_ptr<const void> FCanvasAlive;  // FGlobeCanvas's AliveToken
};

class TGlobePen : public TGlobeAttribute {
  GLOBE_CLASS(TGlobePen, TGlobeAttribute)
 public:
  /// Colour 0, solid, width 0, unit Pixel. Records and environments store into the fields
  /// directly; a unit byte beyond the unit table reads as Pixel.
  TGlobePen() = default;
  void Define(TColor aColor, platform::TPenStyle aStyle, std::int32_t aWidth,
              TGlobeUnitTypes aUnit);

  [[nodiscard]] TColor PenColor() const noexcept { return FPenColor; }
  void SetPenColor(TColor Value);
  [[nodiscard]] platform::TPenStyle PenStyle() const noexcept { return FPenStyle; }
  void SetPenStyle(platform::TPenStyle Value);
  [[nodiscard]] std::int32_t PenWidth() const noexcept { return FPenWidth; }
  void SetPenWidth(std::int32_t Value);
  [[nodiscard]] TGlobeUnitTypes PenUnit() const noexcept { return FPenUnit; }
  void SetPenUnit(TGlobeUnitTypes Value);

  void CreateHandle() override;
  [[nodiscard]] bool Equals(const TGlobeAttribute& Attr) const override;
  void RenderAttribute(TGlobeCanvas& GlobeCanvas, bool bSelected) override;
  [[nodiscard]] std::unique_ptr<TGlobeAttribute> Clone() const override;
  void WriteProperties(TGlobeStreamWriter& Writer) const override;
  void ReadProperties(TGlobeStreamReader& Reader) override;
  void Assign(const TGlobeAttribute& Attr) override;
  void LoadEnvironment(const TGXML_Element* Element) override;
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

 private:
  std::int32_t PenAltitude = 0;
  TColor FPenColor = 0;
  platform::TPenStyle FPenStyle = platform::psSolid;
  std::int32_t FPenWidth = 0;
  TGlobeUnitTypes FPenUnit = TGlobeUnitTypes::Pixel;
};

class TGlobeBrush : public TGlobeAttribute {
  GLOBE_CLASS(TGlobeBrush, TGlobeAttribute)
 public:
  /// Colours 0, bsSolid.
  TGlobeBrush() = default;
  /// Colour and background colour both Color (a transparent background), and the style.
  void Define(TColor Color, TGlobeBrushStyle Style);

  [[nodiscard]] TColor BrushColor() const noexcept { return FBrushColor; }
  void SetBrushColor(TColor Value);
  /// Values 0 … 59: the solid, clear and hatch styles, then the 52 patterns; a style
  /// beyond them (read from a file) gets no handle.
  [[nodiscard]] TGlobeBrushStyle BrushStyle() const noexcept { return FBrushStyle; }
  void SetBrushStyle(TGlobeBrushStyle Value);
  [[nodiscard]] TColor BrushBkColor() const noexcept { return FBrushBkColor; }
  void SetBrushBkColor(TColor Value);

  void CreateHandle() override;
  [[nodiscard]] bool Equals(const TGlobeAttribute& Attr) const override;
  void RenderAttribute(TGlobeCanvas& GlobeCanvas, bool bSelected) override;
  [[nodiscard]] std::unique_ptr<TGlobeAttribute> Clone() const override;
  void WriteProperties(TGlobeStreamWriter& Writer) const override;
  void ReadProperties(TGlobeStreamReader& Reader) override;
  void Assign(const TGlobeAttribute& Attr) override;
  void LoadEnvironment(const TGXML_Element* Element) override;
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

 private:
  TColor FBrushColor = 0;
  TGlobeBrushStyle FBrushStyle = bsSolid;
  TColor FBrushBkColor = 0;
};

/// Font style bits: bold 0, italic 1, underline 2, strike-out 3.
enum TGlobeFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TGlobeFontStyles = EnumSet<TGlobeFontStyle, std::uint8_t>;

class TGlobeFont : public TGlobeAttribute {
  GLOBE_CLASS(TGlobeFont, TGlobeAttribute)
 public:
  /// Everything zero or empty, unit Degree.
  TGlobeFont() = default;
  void Define(std::string_view Name, TColor Color, std::int32_t Size, TGlobeUnitTypes AUnit,
              std::int32_t Angle, TGlobeFontStyles Style);

  [[nodiscard]] TGlobeUnitTypes FontUnit() const noexcept { return FFontUnit; }
  void SetFontUnit(TGlobeUnitTypes Value);
  [[nodiscard]] TColor FontColor() const noexcept { return FFontColor; }
  void SetFontColor(TColor Value);
  [[nodiscard]] std::int32_t FontSize() const noexcept { return FFontSize; }
  void SetFontSize(std::int32_t Value);
  /// Tenths of a degree, counter-clockwise.
  [[nodiscard]] std::int32_t FontAngle() const noexcept { return FFontAngle; }
  void SetFontAngle(std::int32_t Value);
  [[nodiscard]] TGlobeFontStyles FontStyle() const noexcept { return FStyle; }
  void SetFontStyle(TGlobeFontStyles Value);
  [[nodiscard]] const std::string& FontName() const noexcept { return FFontName; }
  void SetFontName(std::string_view Value);

  void CreateHandle() override;
  [[nodiscard]] bool Equals(const TGlobeAttribute& Attr) const override;
  void RenderAttribute(TGlobeCanvas& GlobeCanvas, bool bSelected) override;
  [[nodiscard]] std::unique_ptr<TGlobeAttribute> Clone() const override;
  void WriteProperties(TGlobeStreamWriter& Writer) const override;
  void ReadProperties(TGlobeStreamReader& Reader) override;
  void Assign(const TGlobeAttribute& Attr) override;
  void LoadEnvironment(const TGXML_Element* Element) override;
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment() override;

 private:
  std::int32_t FontAltitude = 0;
  TGlobeUnitTypes FFontUnit = TGlobeUnitTypes::Degree;
  TColor FFontColor = 0;
  std::int32_t FFontSize = 0;
  std::int32_t FFontAngle = 0;
  TGlobeFontStyles FStyle;
  std::string FFontName;
};

/// Registers TGlobePen, TGlobeBrush and TGlobeFont by class name. Idempotent.
void RegisterGlobeAttributes();

/// The 8 × 8 pattern of a brush style of 8 … 59 (rows top first, most significant bit
/// leftmost); null for other values.
[[nodiscard]] const std::array<std::uint8_t, 8>* BrushPattern(int Style) noexcept;

}  // namespace globe
