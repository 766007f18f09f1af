// A globe view for tests: every operation records its call; the drawing primitives the
// projection needs record their arguments instead of drawing.
#pragma once

#include <string>
#include <vector>

#include "globe/view/customglobe.h"

namespace globe::testing {

struct TLineCall {
  TPointLL From, To;
  std::int32_t Steps;
};

class TTestGlobe : public TCustomGlobe4 {
 public:
  TTestGlobe();
  ~TTestGlobe() override;

  /// Names of the operations called, in order ("RedrawLayers", "UpdateScrollBars",
  /// "LocateToLL", "SetViewRect", "OnZoomed", "OnPanned", ...).
  std::vector<std::string> Calls;
  [[nodiscard]] int CountOf(const std::string& Name) const;
  std::vector<TLineCall> Lines;  ///< RenderLine arguments
  TPointLL LastLocate;           ///< LocateToLL arguments

  void SetClientSize(std::int32_t Width, std::int32_t Height) {
    FiClientWidth = Width;
    FiClientHeight = Height;
  }
  void SetLoading(bool Value) { FbLoading = Value; }
  void SetOptions(TGlobeOptionsSet Value) { FGlobeOptions = Value; }

  std::int32_t NextMRU() override;
  [[nodiscard]] std::int32_t MaxTextHeight() const override { return FiMaxTextHeight; }
  [[nodiscard]] std::int32_t MinTextHeight() const override { return FiMinTextHeight; }
  void SetDataDirectory(const std::string& Value) override;
  void SetGlobeOptions(TGlobeOptionsSet Value) override;
  void SetGraticuleLongitudeStep(std::int32_t Value) override;
  void SetGraticuleLatitudeStep(std::int32_t Value) override;
  void SetMaxTextHeight(std::int32_t Value) override;
  void SetMinTextHeight(std::int32_t Value) override;
  void SetScrollBars(TScrollStyle Value) override;
  void SetViewRect(const TRect& Value) override;
  void Notify(TGlobeNotification Notification, TGlobeRoot* Obj) override;
  void RedrawLayers() override;
  [[nodiscard]] std::string ResolveFilename(const std::string& sFilename) override;
  void UpdateScrollBars() override;
  void LocateToLL(std::int32_t iLong, std::int32_t iLat) override;
  bool ProgressMessage(TProgressMessage MsgType, const std::string& sMsg) override;
  std::int32_t UpdateTotalMemoryInUse() override;
  std::int32_t CacheUsedDelta(std::int32_t Delta) override;
  std::int32_t ReduceCacheMemory(std::int32_t iTargetSize) override;
  void RenderToCanvas(platform::TCanvas& ACanvas, const TRect& ARect, bool bAsImage) override;
  void RenderPolygon(std::span<const TPointLL> Points) override;
  void RenderPolyLine(std::span<const TPointLL> Points) override;
  void RenderTextOut(std::int32_t iLong, std::int32_t iLat, const std::string& sText,
                     TGlobeUnitTypes FontUnit) override;
  void RenderCircle(const TPointLL& ptLL, std::int32_t iRadius, std::int32_t iSteps) override;
  void RenderLine(const TPointLL& ptFromLL, const TPointLL& ptToLL, std::int32_t iSteps) override;
  void RenderGreatCircleLine(const TPointLL& ptFromLL, const TPointLL& ptToLL,
                             TGreatCircle CircleType) override;
};

}  // namespace globe::testing
