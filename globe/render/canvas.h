// The drawing surface of one globe view: every pixel the globe puts on a window, picture or
// print-out passes through it. It manages the device it draws into (the window's, or a
// memory device over an off-screen 32-bit picture), the canvas size and resolution and the
// refit of the projection on a resize, conversion of sizes in globe units to pixels, colour
// adjustment, the polygon clipper, and the drawing of chain stores with seam splitting on
// flat maps.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "globe/core/pointstore.h"
#include "globe/core/types.h"
#include "platform/canvas.h"
#include "platform/device.h"

namespace globe {

class TCustomGlobe4;
class TGlobeProjection;
class TGlobePen;
class TGlobeBrush;
class TGlobeFont;
class TTextureData;

using platform::TColor;

class TGlobeCanvas : public platform::TCanvas {
 public:
  /// Default attributes (black 1-pixel pen, white solid brush, "WingDings" and "Arial" 9
  /// pixel fonts), size 150 × 150, the screen's resolution. Throws EGlobeException
  /// "TGlobeCanvas.Create passed nil Parent" without a globe.
  explicit TGlobeCanvas(TCustomGlobe4* ParentGlobe);
  ~TGlobeCanvas() override;

  /// Copies size, default attributes and resolution, and makes an off-screen picture of
  /// the source's size.
  void Assign(const TGlobeCanvas& Source);
  [[nodiscard]] std::unique_ptr<TGlobeCanvas> Clone() const;

  /// The device all drawing goes to; setting it also makes it the canvas's handle.
  [[nodiscard]] platform::TDevice* DC() const noexcept { return FDC; }
  void SetDC(platform::TDevice* Value);
  [[nodiscard]] TCustomGlobe4& Globe() const noexcept { return *FGlobe; }
  void SetGlobe(TCustomGlobe4* Value) noexcept { FGlobe = Value; }
  [[nodiscard]] TGlobeProjection& Projection() const noexcept;

  [[nodiscard]] std::int32_t CanvasWidth() const noexcept { return FiCanvasWidth; }
  void SetCanvasWidth(std::int32_t Value) noexcept { FiCanvasWidth = Value; }
  [[nodiscard]] std::int32_t CanvasHeight() const noexcept { return FiCanvasHeight; }
  void SetCanvasHeight(std::int32_t Value) noexcept { FiCanvasHeight = Value; }
  [[nodiscard]] std::int32_t CanvasPixelsPerInch() const noexcept { return FiCanvasPixelsPerInch; }
  void SetCanvasPixelsPerInch(std::int32_t Value) noexcept { FiCanvasPixelsPerInch = Value; }
  [[nodiscard]] std::int32_t ScreenPixelsPerInch() const noexcept { return FiScreenPixelsPerInch; }

  [[nodiscard]] TGlobePen& DefPen() const noexcept { return *FDefPen; }
  [[nodiscard]] TGlobeBrush& DefBrush() const noexcept { return *FDefBrush; }
  [[nodiscard]] TGlobeFont& DefFont() const noexcept { return *FDefFont; }
  [[nodiscard]] TGlobeFont& DefTitleFont() const noexcept { return *FDefTitleFont; }

  /// The off-screen picture (rows top-down, four bytes a pixel: B, G, R and a spare byte;
  /// writers use its ScanLine); null until the first SizeBMP.
  [[nodiscard]] platform::TBitmap* Bitmap() const noexcept { return FBufferBMP.get(); }
  /// Hands the off-screen picture over; the canvas has none afterwards.
  [[nodiscard]] std::shared_ptr<platform::TBitmap> TakeBitmap() noexcept;
  /// Change counter of the colour adjustment; attributes rebuild their handles when it moves.
  [[nodiscard]] std::int32_t CanvasVersion() const noexcept { return FiCanvasVersion; }
  /// Expires when the canvas is destroyed. Attributes keep it beside the canvas they made
  /// their handle for, since a canvas cloned for a print-out dies before they do.
  [[nodiscard]] std::weak_ptr<const void> AliveToken() const noexcept { return FAlive; }

  [[nodiscard]] std::int32_t ColorAdjustPercent() const noexcept { return FColorAdjustPercent; }
  void SetColorAdjustPercent(std::int32_t Value);
  [[nodiscard]] TColor ColorAdjustTarget() const noexcept { return FColorAdjustTarget; }
  void SetColorAdjustTarget(TColor Value);

  /// Switches drawing to a memory device over the off-screen picture, taking the font
  /// resolution and size of ACanvas.
  void SelectBMP(platform::TCanvas& ACanvas);
  /// Ends off-screen drawing: CanvasHandle becomes the device again, unclipped.
  void ReleaseBMP(platform::TDevice* CanvasHandle);
  /// Refits the projection to the size and makes a new off-screen picture of it; nothing
  /// for a size below 1 × 1.
  void SizeBMP(std::int32_t iWidth, std::int32_t iHeight, std::int32_t iPixelsPerInch);
  /// Refits the projection to a new canvas size (see the resize options of the globe);
  /// false, changing nothing, for a size below 1 × 1.
  bool ResizeProjection(std::int32_t iWidth, std::int32_t iHeight);
  /// Makes the canvas's own pen, brush and font the device's selected objects again.
  void RefreshDC();

  /// Clips the first iCount points of the device point buffer in place against the edges
  /// flagged in State, placing crossings iPenWidth beyond them; returns the new count. Grows
  /// the buffers as clipping needs (re-read DevicePoints() afterwards).
  std::int32_t ClipPoly(std::int32_t iCount, TGlobeObjectStateSet State, std::int32_t iPenWidth);
  /// Clips and draws the first iPoints buffer points as a polygon (osClosed) or polyline.
  void DrawClippedPoly(std::int32_t iPoints, TGlobeObjectStateSet State, std::int32_t iPenWidth);
  /// Draws the chains with the pen and brush selected in the device: rings as polygons, lines
  /// as polylines; on flat maps split at the seam, a ring around a pole closed along the
  /// map's edges through that pole. Chains of any length are drawn whole.
  void RenderChainStore(TChainStore& Chains, TGlobeObjectStateSet State, std::int32_t iPenWidth);
  /// Draws the iSteps + 1 points vec, mat·vec, mat·mat·vec, ... at height iHeight as an
  /// open chain.
  void DrawVectorMatrixLine(const TV3D& vec, const TMatrix& mat, std::int32_t iHeight,
                            std::int32_t iSteps);

  /// Fills the projection of the geographic triangle with the texture, written straight
  /// into the off-screen picture; nothing without one or without a valid texture. Skips
  /// the triangle when a corner is not visible, when it lies off the canvas and, on a map
  /// with a seam, when it spans the seam. Texels outside the image are taken from its
  /// nearest edge. Uses device point buffer slots 0 to 2.
  void RenderTextureTriangle(const TTriangleLL& WorldTri, const TTextureData& TextureMap);
  /// The same on a map without a seam for a caller that has projected the corners: Device
  /// holds their device points, every one of them visible. Leaves the device point buffer.
  void RenderTextureTriangle(const TTriangleLL& WorldTri, const std::array<TPoint, 3>& Device,
                             const TTextureData& TextureMap);
  /// Covers the texture's geographic rectangle with RenderTextureTriangle, halving cells
  /// until one is under twice CellLimit (GU) wide or high: under 2° by default, for maps
  /// that bend. A map that places texels by an affine mapping can take far larger cells.
  void RenderTextureMap(const TTextureData& TextureMap, std::int32_t CellLimit = GU_DEGREE);

  /// The colour after the colour adjustment, as RGB (unchanged when there is none).
  [[nodiscard]] TColor RenderColor(TColor aColor) const;
  /// A size in Units as device pixels (Pixel: scaled by the device's over the screen's
  /// resolution; others through GU and the scale factor). A unit value outside the unit
  /// table counts as Pixel.
  [[nodiscard]] std::int32_t ScaleUnitsToDevice(std::int32_t Value, TGlobeUnitTypes Units) const;
  /// A length in Units as GU (Pixel: through the scale factor); the value itself, rounded,
  /// when the conversion overflows.
  [[nodiscard]] std::int32_t GlobeUnitsFrom(Extended eValue, TGlobeUnitTypes Units) const;
  /// The pixel height of a font size in FontUnits.
  [[nodiscard]] std::int32_t FontRenderHeight(std::int32_t FontSize,
                                              TGlobeUnitTypes FontUnits) const;

 private:
  std::shared_ptr<const int> FAlive = std::make_shared<const int>(0);
  bool FbLocalDC = false;
  std::unique_ptr<platform::TDevice> FLocalDC;  // the memory device, when FbLocalDC
  platform::TDevice* FDC = nullptr;
  TCustomGlobe4* FGlobe;
  std::int32_t FiCanvasWidth = 150;
  std::int32_t FiCanvasHeight = 150;
  std::int32_t FiCanvasPixelsPerInch = 96;
  std::int32_t FiScreenPixelsPerInch = 96;
  std::unique_ptr<TGlobePen> FDefPen;
  std::unique_ptr<TGlobeBrush> FDefBrush;
  std::unique_ptr<TGlobeFont> FDefFont;
  std::unique_ptr<TGlobeFont> FDefTitleFont;
  std::int32_t FiCanvasVersion = 0;
  std::shared_ptr<platform::TBitmap> FBufferBMP;
  std::int32_t FColorAdjustPercent = 0;
  TColor FColorAdjustTarget = 0xC0C0C0;
};

}  // namespace globe
