// The globe view: the concrete globe that a window hosts. It owns the layer store, paints
// background, surface, graticule and layers in a fixed order with two events for the
// application's own drawing, keeps the cache budget of the object sources, resolves data
// file names, moves the view on mouse and scroll-bar input, and offers drawing primitives
// in geographic coordinates.
//
// The window talks to the view through the message handlers below (Paint, Resize, Mouse*,
// *Scroll, ...); the view talks back through a platform::TWindowHost. Without a host the
// view still draws on whatever device its canvas is given, but has no scroll bars and asks
// for no repaints.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "globe/core/types.h"
#include "globe/formats/xml.h"
#include "globe/view/customglobe.h"
#include "globe/view/picture.h"
#include "platform/canvas.h"
#include "platform/device.h"
#include "platform/windowhost.h"

namespace globe {

class TGlobeFont;
class TGlobeLayerStore;
struct TShadowStyle;

using platform::TColor;

/// The component's version text, "4.08".
[[nodiscard]] std::string_view TGlobeVersion() noexcept;

/// The whole view state: scale, projection origin and the three rotations in GU (degrees ×
/// 5,400,000, rounded).
struct TGlobePOZ {
  Extended eSF = 0;
  TPoint CenterXY;
  std::int32_t iRotX = 0;
  std::int32_t iRotY = 0;
  std::int32_t iRotZ = 0;
};

// Event shapes; Sender is the globe. Layers, sources and objects are passed as the globe
// roots they are.
using TGlobeRootEvent = std::function<void(const void* Sender, TGlobeRoot* Obj)>;
using TGlobeObjectRenderEvent =
    std::function<void(const void* Sender, TGlobeRoot* GlobeObject, TGlobeObjectStateSet State)>;
using TGlobeMouseEvent =
    std::function<void(const void* Sender, platform::TMouseButton Button,
                       platform::TShiftState Shift, std::int32_t X, std::int32_t Y)>;
using TGlobeMouseMoveEvent = std::function<void(const void* Sender, platform::TShiftState Shift,
                                                std::int32_t X, std::int32_t Y)>;
using TGlobeProgressEvent = std::function<void(const void* Sender, TProgressMessage MsgType,
                                               const std::string& MsgText, bool& Abort)>;
using TGlobeDocumentEvent = std::function<void(const void* Sender, TGXML_Document& Document)>;
using TGlobeFileNotFoundEvent =
    std::function<void(const void* Sender, std::string& Filename, bool& TryFilename)>;
using TGlobeDirectoryNotFoundEvent =
    std::function<void(const void* Sender, std::string& DirectoryName)>;

class TGlobe4 : public TCustomGlobe4 {
 public:
  /// A 150 × 150 view of the sphere with the defaults of every property; no host.
  TGlobe4();
  /// Frees the layer store first (layers, their sources and objects), then every object
  /// source still registered (those no layer ever took belong to the globe), then the rest.
  ~TGlobe4() override;

  // ---- The operations of every globe view -------------------------------------------------
  /// The next most-recently-used stamp (wraps past 2^31 − 1).
  std::int32_t NextMRU() override;
  /// MaxTextHeight / MinTextHeight as stored, scaled by the canvas's over the screen's pixels
  /// per inch (rounded), so that text keeps its physical size on printers and files.
  [[nodiscard]] std::int32_t MaxTextHeight() const override;
  [[nodiscard]] std::int32_t MinTextHeight() const override;
  /// Stores the value trimmed, with "/" appended unless it is empty or already ends in "/"
  /// or "\". A folder that does not exist is reported through OnDirectoryNotFound, whose
  /// handler may change the stored value.
  void SetDataDirectory(const std::string& Value) override;
  /// Re-creates the window when goTransparentBackground changes (switching it off also
  /// drops the background image), stores the options, updates the scroll bars, redraws.
  void SetGlobeOptions(TGlobeOptionsSet Value) override;
  /// Degrees; 0 … 179 are taken (then redraw), other values ignored.
  void SetGraticuleLongitudeStep(std::int32_t Value) override;
  /// Degrees; 0 … 89 are taken (then redraw), other values ignored.
  void SetGraticuleLatitudeStep(std::int32_t Value) override;
  void SetMaxTextHeight(std::int32_t Value) override;
  void SetMinTextHeight(std::int32_t Value) override;
  /// Re-creates the window with the new bars when the style changes.
  void SetScrollBars(TScrollStyle Value) override;
  /// Zooms so that (left, top, width, height) in projection units (Right and Bottom hold
  /// the width and height) fills the canvas, at most 3 pixels per GU and within the zoom
  /// limits; a width or height of 0 fits the whole map. Raises OnZoomed when the scale
  /// changed. Updates the scroll bars in every case.
  void SetViewRect(const TRect& Value) override;
  /// Keeps the layer store (a new layer is appended, a freed one removed) and the
  /// object-source list, raises the notification's event, then redraws. Once the layer
  /// store is gone (the globe is being destroyed) only the source list is kept.
  void Notify(TGlobeNotification Notification, TGlobeRoot* Obj) override;
  void RedrawLayers() override;
  /// sFilename when that file exists; else the data directory (the executable's folder
  /// when none is set) joined with sFilename, then with its last component. Names with "\"
  /// separators are also tried with "/". When nothing exists, OnFileNotFound may name
  /// another file to try (as often as it asks); otherwise "".
  [[nodiscard]] std::string ResolveFilename(const std::string& sFilename) override;
  /// Recomputes the scroll bars from the visible extent; with UseMinMaxLimits keeps the
  /// view inside the latitude and longitude limits and zooms in until the limited range
  /// fills the window. Nothing without a host or while rendering to another canvas.
  void UpdateScrollBars() override;
  void LocateToLL(std::int32_t iLong, std::int32_t iLat) override;
  bool ProgressMessage(TProgressMessage MsgType, const std::string& sMsg) override;
  /// Recounts the sources' memory (bytes), then applies the budget (CacheUsedDelta(0)).
  std::int32_t UpdateTotalMemoryInUse() override;
  /// Adds Delta bytes; when CacheCapacity (KB, > 0) is exceeded raises OnReduceCacheMemory
  /// and discards objects down to 75 % of it. Returns the bytes in use (limited to 32 bits).
  std::int32_t CacheUsedDelta(std::int32_t Delta) override;
  /// Discards cached objects, least recently used first, until the sources' total is below
  /// iTargetSize (at least one is discarded when there is one); returns the total.
  std::int32_t ReduceCacheMemory(std::int32_t iTargetSize) override;
  /// Draws the whole globe on ACanvas's device over ARect, as a picture (bAsImage) or as
  /// vectors, through clones of the projection and canvas: the window's own view and
  /// options are left as they were. Nothing when ACanvas has no device or a render to a
  /// canvas is already running.
  void RenderToCanvas(platform::TCanvas& ACanvas, const TRect& ARect, bool bAsImage) override;
  void RenderPolygon(std::span<const TPointLL> Points) override;
  void RenderPolyLine(std::span<const TPointLL> Points) override;
  /// sText at the projected point with the canvas font (its style ignored), in FontUnit;
  /// nothing when the point is hidden or the text would be lower than MinTextHeight.
  void RenderTextOut(std::int32_t iLong, std::int32_t iLat, const std::string& sText,
                     TGlobeUnitTypes FontUnit) override;
  /// A small circle of iRadius GU round ptLL in iSteps steps (3 … 360, else 36), open.
  void RenderCircle(const TPointLL& ptLL, std::int32_t iRadius, std::int32_t iSteps) override;
  /// A straight line in latitude / longitude in iSteps (at least 1) equal steps; ends in
  /// opposite outer quarters (beyond 90° east and west) are joined across 180°.
  void RenderLine(const TPointLL& ptFromLL, const TPointLL& ptToLL, std::int32_t iSteps) override;
  /// The great-circle arc from ptFromLL to ptToLL (gcShortest), the rest of that circle
  /// from ptToLL round to ptFromLL (gcLongest) or the whole circle from ptFromLL
  /// (gcCircle), one step per whole degree; ends less than a degree apart give a straight
  /// line.
  void RenderGreatCircleLine(const TPointLL& ptFromLL, const TPointLL& ptToLL,
                             TGreatCircle CircleType) override;

  // ---- Added by the concrete view ----------------------------------------------------------
  /// Fills the canvas with the background colour or tiles the background image over it,
  /// then paints the surface (not with goTransparentGlobe).
  virtual void RenderBackground();
  /// Draws the graticule (or raises OnPaintGraticule instead).
  virtual void RenderGraticule();
  /// Draws the far side first with goTransparentGlobe, then graticule and static layers in
  /// the order GraticuleDrawMode asks for.
  virtual void RenderLayers();
  virtual void GetPOZ(TGlobePOZ& POZ);
  virtual void SetPOZ(const TGlobePOZ& POZ);
  /// Centres the view on the middle of the object's rectangle; nothing for null.
  virtual void LocateToObject(TGlobeRoot* Obj);
  /// Shifts the view by (iX, iY) projection units; raises OnPanned when either is not 0.
  virtual void PanViewXY(std::int32_t iX, std::int32_t iY);
  /// Forgets EnvironmentFile and frees all layers.
  virtual void Clear();

  // ---- Window ------------------------------------------------------------------------------
  /// The window that hosts the view (not owned); null for none. Setting one applies the
  /// view's window style to it and updates the scroll bars.
  void SetHost(platform::TWindowHost* Host);
  [[nodiscard]] platform::TWindowHost* Host() const noexcept { return FHost; }
  /// Scroll bars and transparency as ScrollBars and GlobeOptions ask for them.
  [[nodiscard]] platform::TWindowStyle WindowStyle() const noexcept;

  /// Paints the window on WindowDevice (valid for this call only). With goDoubleBuffered
  /// the off-screen picture is redrawn only after RedrawLayers and then copied; OnPaint and
  /// the animated layers are drawn on the window every time. Nested calls and calls while
  /// the host prints return at once. The closing steps run also when drawing fails.
  void Paint(platform::TDevice& WindowDevice);
  /// The client area's new size in pixels: resizes the canvas's picture (refitting the
  /// projection) and redraws.
  void Resize(std::int32_t Width, std::int32_t Height);
  void MouseDown(platform::TMouseButton Button, platform::TShiftState Shift, std::int32_t X,
                 std::int32_t Y);
  void MouseMove(platform::TShiftState Shift, std::int32_t X, std::int32_t Y);
  void MouseUp(platform::TMouseButton Button, platform::TShiftState Shift, std::int32_t X,
               std::int32_t Y);
  void MouseEnter();
  void MouseLeave();
  /// Pans by a twentieth of the page per line, half a page per page, or by the thumb's move.
  void HorzScroll(platform::TScrollCode Code);
  void VertScroll(platform::TScrollCode Code);
  void SystemColorsChanged();

  /// Whether a zoom or rotation drag is in progress, and the zoom rectangle (device pixels,
  /// right and bottom following the mouse).
  [[nodiscard]] bool Zooming() const noexcept { return FbZooming; }
  [[nodiscard]] bool Rotating() const noexcept { return FbRotating; }
  [[nodiscard]] const TRect& ZoomRect() const noexcept { return FZoomRect; }

  // ---- Properties --------------------------------------------------------------------------
  [[nodiscard]] TGlobeLayerStore& Layers() const noexcept { return *FLayerStore; }
  [[nodiscard]] std::span<TGlobeRoot* const> ObjectSources() const noexcept {
    return FObjectSources;
  }

  /// Tiled behind the globe; empty for none. Every change of it redraws: replacing it here
  /// or through its Assign, and painting on it through its Edit.
  [[nodiscard]] TGlobePicture& BackgroundImage() noexcept { return FBackgroundImage; }
  [[nodiscard]] const TGlobePicture& BackgroundImage() const noexcept { return FBackgroundImage; }
  /// Copies the picture in (null or empty: none) and redraws.
  void SetBackgroundImage(const platform::TBitmap* Value) { FBackgroundImage.Assign(Value); }
  /// Colour behind the globe; black for a new view.
  [[nodiscard]] TColor Color() const noexcept { return FBackgroundColor; }
  void SetColor(TColor Value);
  [[nodiscard]] TColor SurfaceColor() const noexcept { return FSurfaceColor; }
  void SetSurfaceColor(TColor Value);
  /// The texture file laid on the surface; "" when none is loaded. Setting it loads the
  /// file as given (no resolution); a file that is no valid texture leaves none and "".
  [[nodiscard]] const std::string& SurfaceTextureName() const noexcept {
    return FSurfaceTextureName;
  }
  void SetSurfaceTextureName(const std::string& Value);
  /// The environment file last loaded successfully; setting it loads that file.
  [[nodiscard]] const std::string& EnvironmentFile() const noexcept { return FEnvironmentFile; }
  void SetEnvironmentFile(const std::string& Value) { LoadEnvironmentFromFile(Value); }
  [[nodiscard]] TGlobePen& GraticulePen() const noexcept { return *FGraticulePen; }
  [[nodiscard]] TGraticuleDraw GraticuleDrawMode() const noexcept { return FGraticuleDraw; }
  void SetGraticuleDrawMode(TGraticuleDraw Value);
  [[nodiscard]] TGlobeMouseButton MouseZoomButton() const noexcept { return FMouseZoomButton; }
  void SetMouseZoomButton(TGlobeMouseButton Value) noexcept { FMouseZoomButton = Value; }
  [[nodiscard]] TGlobeMouseButton MouseSelectButton() const noexcept { return FMouseSelectButton; }
  void SetMouseSelectButton(TGlobeMouseButton Value) noexcept { FMouseSelectButton = Value; }
  [[nodiscard]] TGlobeMouseButton MouseRotateButton() const noexcept { return FMouseRotateButton; }
  void SetMouseRotateButton(TGlobeMouseButton Value) noexcept { FMouseRotateButton = Value; }
  [[nodiscard]] TSaveMetaDataLocation SaveMetaDataLocation() const noexcept {
    return FSaveMetaDataLocation;
  }
  void SetSaveMetaDataLocation(TSaveMetaDataLocation Value) noexcept {
    FSaveMetaDataLocation = Value;
  }
  /// Kilobytes; 0 or less: no limit.
  void SetCacheCapacity(std::int32_t Value) noexcept { FCacheCapacity = Value; }
  /// Milliseconds; 0 or less: no intermediate updates.
  void SetPeriodicUpdateTime(std::int32_t Value) noexcept { FPeriodicUpdateTime = Value; }
  /// The stored text height limits, unscaled.
  [[nodiscard]] std::int32_t StoredMaxTextHeight() const noexcept { return FiMaxTextHeight; }
  [[nodiscard]] std::int32_t StoredMinTextHeight() const noexcept { return FiMinTextHeight; }
  /// The font attribute RenderTextOut draws with.
  [[nodiscard]] TGlobeFont& GlobeFont() const noexcept { return *FGlobeFont; }
  /// The control's own canvas description (font "Arial", 9 points, black).
  [[nodiscard]] platform::TCanvas& ControlCanvas() noexcept { return FControlCanvas; }
  /// True while a paint / a render to another canvas is in progress.
  [[nodiscard]] bool Painting() const noexcept { return bPainting; }
  [[nodiscard]] bool RenderingToCanvas() const noexcept { return bRenderToCanvas; }
  [[nodiscard]] bool RedrawPending() const noexcept { return FbRedrawLayers; }
  /// Marks only what OnRender draws as out of date (the shadow at a new time): the next
  /// buffered paint starts again from the picture of background, surface and layers kept
  /// from the last full redraw, and raises OnRender on it. Without such a picture (never
  /// drawn, another size, the last redraw interrupted, no OnRender) it is RedrawLayers.
  void RedrawRender();
  [[nodiscard]] bool RedrawRenderPending() const noexcept { return FbRedrawRender; }
  /// During a buffered paint of a hosted view, copies the off-screen picture as drawn so
  /// far to the window, so that the user sees a long paint progress; nothing otherwise.
  void ShowPaintProgress();

  // ---- Output --------------------------------------------------------------------------------
  /// A new picture of iWidth × iHeight pixels with the whole globe drawn on it.
  [[nodiscard]] std::shared_ptr<platform::TBitmap> GetBitmap(std::int32_t iWidth,
                                                             std::int32_t iHeight);
  /// Writes the globe as vectors to FileName, iWidth × iHeight pixels of 0.26 mm: a PDF when
  /// the name ends in ".pdf" (any case), else SVG. Both kinds of metafile are written alike
  /// (bEnhanced makes no difference). Throws when the platform has no vector output or the
  /// file cannot be written.
  void GetMetaFile(const std::string& FileName, std::int32_t iWidth, std::int32_t iHeight,
                   bool bEnhanced);
  /// GetMetaFile of iWidthMM × 100 / 26 by iHeightMM × 100 / 26 pixels.
  void GetMetaFileMM(const std::string& FileName, std::int32_t iWidthMM, std::int32_t iHeightMM,
                     bool bEnhanced);
  /// Draws the globe as vectors on a printer's page device over ARect.
  void Print(platform::TDevice& Printer, const TRect& ARect);

  // ---- Environment -------------------------------------------------------------------------
  /// Data directory, surface colour and texture, text heights, projection and layers.
  [[nodiscard]] std::unique_ptr<TGXML_Element> SaveEnvironment();
  /// Restores what SaveEnvironment writes (missing attributes keep the current values);
  /// nothing for a null Element.
  void LoadEnvironment(const TGXML_Element* Element);
  /// Writes a document with the globe's element "TGlobe"; raises OnSaveEnvironment first.
  void SaveEnvironmentToFile(const std::string& sFilename);
  /// Clears the globe, then loads the file's "TGlobe" element. EnvironmentFile names the
  /// file when it was read, and stays "" when it could not be.
  void LoadEnvironmentFromFile(const std::string& sFilename);

  // ---- Shadow and units --------------------------------------------------------------------
  /// The day/night shadow on the off-screen picture / on the canvas's device; returns the
  /// sub-solar point. Call from OnRender.
  TPointLL RenderDIBShadow(double GMTDateTime, TColor ColorNight, TColor ColorTwilight,
                           std::int32_t Density);
  TPointLL RenderDIBShadow(double GMTDateTime, const TShadowStyle& Style);
  TPointLL RenderShadow(double GMTDateTime, TColor ColorNight, TColor ColorTwilight,
                        std::int32_t Density);
  /// A length in Units as GU, through the canvas.
  [[nodiscard]] std::int32_t GlobeUnitsFrom(Extended eValue, TGlobeUnitTypes Units) const;
  /// GU in Units: Pixel multiplies by the scale factor, other units divide by their GU.
  [[nodiscard]] Extended GlobeUnitsTo(std::int32_t iValue, TGlobeUnitTypes Units) const;

  // ---- Events ------------------------------------------------------------------------------
  TNotifyEvent OnPaint;
  TNotifyEvent OnRender;
  TNotifyEvent OnPaintGraticule;
  TGlobeRootEvent OnLayerCreate;
  TGlobeRootEvent OnLayerFree;
  TGlobeRootEvent OnObjectSourceCreate;
  TGlobeRootEvent OnObjectSourceActiveChange;
  TGlobeRootEvent OnObjectSourceFree;
  TGlobeRootEvent OnObjectFree;
  TGlobeRootEvent OnObjectSelectChange;
  /// Raised by object sources and layers (not by the view itself).
  TGlobeRootEvent OnObjectCreate;
  TGlobeObjectRenderEvent OnObjectRender;
  TGlobeRootEvent OnObjectClick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TGlobeMouseEvent OnMouseDown;
  TGlobeMouseMoveEvent OnMouseMove;
  TGlobeMouseEvent OnMouseUp;
  TGlobeProgressEvent OnProgress;
  TGlobeDocumentEvent OnSaveEnvironment;
  TGlobeDocumentEvent OnLoadEnvironment;
  TGlobeFileNotFoundEvent OnFileNotFound;
  TGlobeDirectoryNotFoundEvent OnDirectoryNotFound;
  TNotifyEvent OnReduceCacheMemory;

 protected:
  /// Whether a platform button is the one a TGlobeMouseButton assigns.
  [[nodiscard]] static bool IsButton(TGlobeMouseButton Assigned,
                                     platform::TMouseButton Button) noexcept;

  std::unique_ptr<TGlobeLayerStore> FLayerStore;
  TGlobePicture FBackgroundImage{[this] { RedrawLayers(); }};
  std::unique_ptr<TGlobeBrush> FGlobeBrush;
  std::unique_ptr<TGlobeFont> FGlobeFont;
  TSaveMetaDataLocation FSaveMetaDataLocation = smdInDataDirectory;
  TColor FSurfaceColor;
  TColor FBackgroundColor = 0;
  std::unique_ptr<TGlobePen> FGraticulePen;
  TGlobeMouseButton FMouseZoomButton = mzbRight;
  TGlobeMouseButton FMouseSelectButton = mzbLeft;
  TGlobeMouseButton FMouseRotateButton = mzbLeft;
  TGraticuleDraw FGraticuleDraw = gdBehind;
  bool FbRotating = false;
  bool FbZooming = false;
  TRect FZoomRect;
  std::string FEnvironmentFile;
  std::string FSurfaceTextureName;
  std::vector<TGlobeRoot*> FObjectSources;
  TPointLL ptRotate;
  bool bPainting = false;

 private:
  // Set by GetBitmap: RenderToCanvas hands its picture over here instead of copying it.
  std::shared_ptr<platform::TBitmap>* FpKeepPicture = nullptr;
  // The picture before OnRender of the last full buffered redraw, for RedrawRender.
  std::unique_ptr<platform::TBitmap> FLayersPicture;
  bool FbLayersPictureKept = false;
  bool FbRedrawRender = false;
  // Keeping the layers' picture costs a copy of the whole picture. It pays only when the
  // picture stays a while, so frames redrawn one after another (dragging) keep none; a
  // RedrawRender that finds none asks for it with the full redraw it falls back to.
  bool FbLayersPictureWanted = false;
  bool FbLastPaintRedrewLayers = false;
  void KeepLayersPicture();
  bool RestoreLayersPicture();
  void ScrollBy(platform::TScrollBarKind Kind, platform::TScrollCode Code);
  void RenderAnimatedLayers();
  // Copies the off-screen picture to the window at (0, 0), when there is one.
  void CopyPictureTo(platform::TDevice& Window);
  // False when it zoomed instead, which ends the update.
  bool UpdateScrollBar(bool Vertical);

  platform::TWindowHost* FHost = nullptr;
  platform::TCanvas FControlCanvas;
  // Device pixels per inch of the window, as its last paint reported them; 0 before.
  std::int32_t FiWindowPixelsPerInch = 0;
  bool FbDestroying = false;
  bool FbReducingCache = false;
  // Bytes left by the last reduction when it could not reach its target (records and
  // objects that cannot be discarded); 0 when it could.
  std::int64_t FCacheFloor = 0;
  // The last stamp handed out before the latest picture began: objects stamped after it
  // belong to that picture (or were used since). Set once a picture has been drawn.
  bool FbCacheInFrame = false;
  bool FbCachePictureDrawn = false;
  std::int32_t FCacheFrameMRU = 0;
  // Set while UpdateScrollBars zooms in to fill the window with the limited range, so
  // that the update this zoom triggers does not zoom again.
  bool FbFittingLimits = false;
};

}  // namespace globe
