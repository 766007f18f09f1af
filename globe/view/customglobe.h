// The abstract globe view: the fields every globe view shares and the operations through
// which projections, canvas, attributes, layers and sources reach the globe they belong to.
// The concrete view (and the window that hosts it) implements them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "globe/core/classes.h"
#include "globe/core/enumset.h"
#include "globe/core/types.h"
#include "platform/canvas.h"

namespace globe {

class TGlobeProjection;
class TGlobeCanvas;
class TGlobePen;
class TGlobeBrush;
class TTextureData;

enum TGlobeOptions : std::uint8_t {
  goCache3DPoints,
  goDoubleBuffered,
  goInterruptable,
  goMultiSelect,
  goTransparentGlobe,
  goTransparentBackground,
  goConstantScaleOnResize,
  goFixedCenterXYOnResize,
};
using TGlobeOptionsSet = EnumSet<TGlobeOptions, std::uint8_t>;

enum TGraticuleDraw : std::uint8_t { gdNone, gdBehind, gdInFront };
enum TGlobeMouseButton : std::uint8_t { mzbLeft, mzbRight, mzbMiddle, mzbNone };
enum TSaveMetaDataLocation : std::uint8_t {
  smdInDataDirectory,
  smdWithDataFile,
  smdWithExeFile,
  smdDiscard,
};
enum TGlobeNotification : std::uint8_t {
  gnLayerCreate,
  gnLayerFree,
  gnObjectSourceCreate,
  gnObjectSourceActiveChange,
  gnObjectSourceFree,
  gnObjectFree,
  gnObjectSelectChange,
};
enum TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TGreatCircle : std::uint8_t { gcShortest, gcLongest, gcCircle };

/// An event without arguments beyond its sender (the globe, or the projection controller
/// for changes of scale and centre).
using TNotifyEvent = std::function<void(const void* Sender)>;

/// The globe view as the rest of the component sees it. Constructing one counts it in the
/// process (the first allocates the shared device point buffers) and makes its canvas, its
/// projection controller and its selected and transparent pens and brushes.
class TCustomGlobe4 {
 public:
  TCustomGlobe4();
  virtual ~TCustomGlobe4();
  TCustomGlobe4(const TCustomGlobe4&) = delete;
  TCustomGlobe4& operator=(const TCustomGlobe4&) = delete;

  // ---- The 27 operations every globe view implements, in their fixed order ------------
  virtual std::int32_t NextMRU() = 0;
  /// Text height limits in device pixels, scaled to the canvas's resolution.
  [[nodiscard]] virtual std::int32_t MaxTextHeight() const = 0;
  [[nodiscard]] virtual std::int32_t MinTextHeight() const = 0;
  virtual void SetDataDirectory(const std::string& Value) = 0;
  virtual void SetGlobeOptions(TGlobeOptionsSet Value) = 0;
  virtual void SetGraticuleLongitudeStep(std::int32_t Value) = 0;
  virtual void SetGraticuleLatitudeStep(std::int32_t Value) = 0;
  virtual void SetMaxTextHeight(std::int32_t Value) = 0;
  virtual void SetMinTextHeight(std::int32_t Value) = 0;
  virtual void SetScrollBars(TScrollStyle Value) = 0;
  /// Zooms so that (left, top, width, height) in projection units fills the view.
  virtual void SetViewRect(const TRect& Value) = 0;
  virtual void Notify(TGlobeNotification Notification, TGlobeRoot* Obj) = 0;
  /// Marks the picture out of date and asks for a repaint; draws nothing at once.
  virtual void RedrawLayers() = 0;
  /// The name of an existing data file for sFilename, or "" when there is none.
  [[nodiscard]] virtual std::string ResolveFilename(const std::string& sFilename) = 0;
  virtual void UpdateScrollBars() = 0;
  /// Centres the view on the position (GU).
  virtual void LocateToLL(std::int32_t iLong, std::int32_t iLat) = 0;
  /// Reports progress; true when the work is to stop.
  virtual bool ProgressMessage(TProgressMessage MsgType, const std::string& sMsg) = 0;
  virtual std::int32_t UpdateTotalMemoryInUse() = 0;
  virtual std::int32_t CacheUsedDelta(std::int32_t Delta) = 0;
  virtual std::int32_t ReduceCacheMemory(std::int32_t iTargetSize) = 0;
  virtual void RenderToCanvas(platform::TCanvas& ACanvas, const TRect& ARect, bool bAsImage) = 0;
  virtual void RenderPolygon(std::span<const TPointLL> Points) = 0;
  virtual void RenderPolyLine(std::span<const TPointLL> Points) = 0;
  virtual void RenderTextOut(std::int32_t iLong, std::int32_t iLat, const std::string& sText,
                             TGlobeUnitTypes FontUnit) = 0;
  virtual void RenderCircle(const TPointLL& ptLL, std::int32_t iRadius, std::int32_t iSteps) = 0;
  virtual void RenderLine(const TPointLL& ptFromLL, const TPointLL& ptToLL,
                          std::int32_t iSteps) = 0;
  virtual void RenderGreatCircleLine(const TPointLL& ptFromLL, const TPointLL& ptToLL,
                                     TGreatCircle CircleType) = 0;

  // ---- Owned parts and shared state ----------------------------------------------------
  [[nodiscard]] TGlobeProjection& Projection() const noexcept { return *FProjection; }
  [[nodiscard]] TGlobeCanvas& GlobeCanvas() const noexcept { return *FGlobeCanvas; }
  [[nodiscard]] TGlobeOptionsSet GlobeOptions() const noexcept { return FGlobeOptions; }
  /// The texture laid on the earth's surface; not valid while none is loaded.
  [[nodiscard]] TTextureData& BackgroundTextureMap() const noexcept {
    return *FBackgroundTextureMap;
  }
  [[nodiscard]] TGlobePen& SelectedPen() const noexcept { return *FSelectedPen; }
  [[nodiscard]] TGlobeBrush& SelectedBrush() const noexcept { return *FSelectedBrush; }
  [[nodiscard]] TGlobePen& TransparentPen() const noexcept { return *FTransparentPen; }
  [[nodiscard]] TGlobeBrush& TransparentBrush() const noexcept { return *FTransparentBrush; }
  /// (left, top, width, height) of the visible map in projection units.
  [[nodiscard]] const TRect& ViewRect() const noexcept { return FViewRect; }
  /// Stores the view rectangle as given, without zooming: for the projection and the
  /// canvas, which derive it from a scale they have just chosen.
  void StoreViewRect(const TRect& Value) noexcept { FViewRect = Value; }
  [[nodiscard]] TScrollStyle ScrollBars() const noexcept { return FScrollBars; }
  [[nodiscard]] std::int32_t GraticuleLatitudeStep() const noexcept { return FiLatitudeStep; }
  [[nodiscard]] std::int32_t GraticuleLongitudeStep() const noexcept { return FiLongitudeStep; }
  [[nodiscard]] const std::string& DataDirectory() const noexcept { return FDataDirectory; }
  [[nodiscard]] std::int32_t CacheCapacity() const noexcept { return FCacheCapacity; }
  [[nodiscard]] std::int32_t CacheMemoryUsed() const noexcept { return FCacheMemoryUsed; }
  [[nodiscard]] std::int32_t PeriodicUpdateTime() const noexcept { return FPeriodicUpdateTime; }

  /// Size of the window's client area in pixels (the host keeps it up to date).
  [[nodiscard]] std::int32_t ClientWidth() const noexcept { return FiClientWidth; }
  [[nodiscard]] std::int32_t ClientHeight() const noexcept { return FiClientHeight; }
  /// True while the globe is being restored from its stored form; change events are quiet.
  [[nodiscard]] bool Loading() const noexcept { return FbLoading; }
  /// True once the paint in progress is to be abandoned (mouse navigation with
  /// goInterruptable); long drawing loops check it now and then.
  [[nodiscard]] bool PaintAborted() const noexcept { return PaintAbort; }

  /// Raised after a change of scale / of centre, with the projection controller or the
  /// globe as sender, unless the globe is loading.
  TNotifyEvent OnZoomed;
  TNotifyEvent OnPanned;
  void DoZoomed(const void* Sender);
  void DoPanned(const void* Sender);

 protected:
  std::int32_t FCacheMemoryUsed = 0;
  std::int32_t FCacheMRU = 0;
  std::int32_t FCacheCapacity = 10240;
  std::unique_ptr<TGlobeCanvas> FGlobeCanvas;
  std::unique_ptr<TGlobeProjection> FProjection;
  TGlobeOptionsSet FGlobeOptions{goCache3DPoints, goDoubleBuffered};
  std::unique_ptr<TTextureData> FBackgroundTextureMap;
  std::unique_ptr<TGlobePen> FSelectedPen;
  std::unique_ptr<TGlobeBrush> FSelectedBrush;
  std::int32_t FiMaxTextHeight = 0;
  std::int32_t FiMinTextHeight = 5;
  TRect FViewRect;
  TScrollStyle FScrollBars = ssBoth;
  std::unique_ptr<TGlobePen> FTransparentPen;
  std::unique_ptr<TGlobeBrush> FTransparentBrush;
  std::int32_t FPeriodicUpdateTime = 0;
  bool FbRedrawLayers = false;
  std::int32_t FiLatitudeStep = 15;
  std::int32_t FiLongitudeStep = 15;
  bool bRenderToCanvas = false;
  bool PaintAbort = false;
  std::string FDataDirectory;

  std::int32_t FiClientWidth = 150;
  std::int32_t FiClientHeight = 150;
  bool FbLoading = false;
};

/// Registers every class of the globe engine that files and environments create by name
/// (the file readers register themselves in a program that links them). Idempotent; every
/// globe view calls it when it is made.
void RegisterGlobeModules();

}  // namespace globe
