#include "globe/view/globe.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <limits>
#include <utility>

#include "globe/core/numeric.h"
#include "globe/core/texture.h"
#include "globe/core/units.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/source.h"
#include "globe/projection/projection.h"
#include "globe/render/attributes.h"
#include "globe/render/canvas.h"
#include "globe/view/shadow.h"
#include "platform/filesystem.h"

namespace globe {

namespace {

constexpr std::string_view kVersion = "4.08";

// Blanks and control characters, as the stored names may carry them.
std::string Trim(std::string_view s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

std::string Slashed(std::string s) {
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

bool IsFile(const std::string& Name) {
  if (Name.empty()) return false;
  std::error_code ec;
  const auto status = std::filesystem::status(platform::FsPath(Name), ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// Names from stored files may use "\" between folders; they are tried with "/" as well.
bool FindFile(const std::string& Name, std::string& Found) {
  if (IsFile(Name)) {
    Found = Name;
    return true;
  }
  if (Name.find('\\') == std::string::npos) return false;
  std::string slashed = Slashed(Name);
  if (!IsFile(slashed)) return false;
  Found = std::move(slashed);
  return true;
}

std::string LastComponent(const std::string& Name) {
  const std::size_t cut = Name.find_last_of("/\\");
  return cut == std::string::npos ? Name : Name.substr(cut + 1);
}

std::string ExecutableFolder() {
  std::string s = platform::ProgramFolder();
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

bool EndsWithNoCase(std::string_view s, std::string_view tail) {
  if (s.size() < tail.size()) return false;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    char c = s[s.size() - tail.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != tail[i]) return false;
  }
  return true;
}

}  // namespace

std::string_view TGlobeVersion() noexcept { return kVersion; }

// ---- Life -------------------------------------------------------------------------------

TGlobe4::TGlobe4() : FSurfaceColor(platform::RGB(0, 0xFF, 0xFF)) {
  FLayerStore = std::make_unique<TGlobeLayerStore>(this);
  FGraticulePen = std::make_unique<TGlobePen>();
  FGraticulePen->Define(platform::RGB(0xC0, 0xC0, 0xC0), platform::psSolid, 1,
                        TGlobeUnitTypes::Pixel);
  FGraticulePen->OnChange = [this] { RedrawLayers(); };
  platform::TCanvasFont font;
  font.Name = "Arial";
  font.Size = 9;
  font.Color = 0;
  font.PixelsPerInch = GlobeCanvas().ScreenPixelsPerInch();
  FControlCanvas.SetFont(font);
  FGlobeBrush = std::make_unique<TGlobeBrush>();
  FGlobeBrush->Define(FSurfaceColor, bsSolid);
  FGlobeFont = std::make_unique<TGlobeFont>();
  FObjectSources.reserve(4);
}

TGlobe4::~TGlobe4() {
  FbDestroying = true;
  // The window may be going away itself; nothing is shown any more.
  FHost = nullptr;
  // The layers go first: they, their sources and objects still report to the globe. A
  // source freed with its last layer leaves the source list through Notify.
  FLayerStore.reset();
  // What is left was never taken by a layer (or outlived its layers): the globe's to free.
  // A source takes itself off the list as it goes; other roots are not the globe's.
  while (!FObjectSources.empty()) {
    TGlobeRoot* root = FObjectSources.back();
    FObjectSources.pop_back();
    delete dynamic_cast<TGlobeObjectSource*>(root);
  }
  FGraticulePen.reset();
  FGlobeBrush.reset();
  FGlobeFont.reset();
}

// ---- Properties -------------------------------------------------------------------------

std::int32_t TGlobe4::MaxTextHeight() const {
  const TGlobeCanvas& canvas = GlobeCanvas();
  return MulDiv(FiMaxTextHeight, canvas.CanvasPixelsPerInch(), canvas.ScreenPixelsPerInch());
}

std::int32_t TGlobe4::MinTextHeight() const {
  const TGlobeCanvas& canvas = GlobeCanvas();
  return MulDiv(FiMinTextHeight, canvas.CanvasPixelsPerInch(), canvas.ScreenPixelsPerInch());
}

void TGlobe4::SetMaxTextHeight(std::int32_t Value) {
  if (Value == FiMaxTextHeight) return;
  FiMaxTextHeight = Value;
  RedrawLayers();
}

void TGlobe4::SetMinTextHeight(std::int32_t Value) {
  if (Value == FiMinTextHeight) return;
  FiMinTextHeight = Value;
  RedrawLayers();
}

void TGlobe4::SetDataDirectory(const std::string& Value) {
  std::string dir = Trim(Value);
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
  FDataDirectory = std::move(dir);
  if (!FDataDirectory.empty() && !IsDirectory(Slashed(FDataDirectory)) && OnDirectoryNotFound) {
    OnDirectoryNotFound(this, FDataDirectory);
  }
}

void TGlobe4::SetGlobeOptions(TGlobeOptionsSet Value) {
  const bool transparencyChanged =
      Value.Contains(goTransparentBackground) != FGlobeOptions.Contains(goTransparentBackground);
  // Stored first: the re-created window reads its style from the options.
  FGlobeOptions = Value;
  if (transparencyChanged) {
    if (!Value.Contains(goTransparentBackground)) FBackgroundImage.Assign(nullptr);
    if (FHost != nullptr) FHost->RecreateWindow(WindowStyle());
  }
  UpdateScrollBars();
  RedrawLayers();
}

void TGlobe4::SetGraticuleLongitudeStep(std::int32_t Value) {
  if (Value < 0 || Value > 179) return;
  FiLongitudeStep = Value;
  RedrawLayers();
}

void TGlobe4::SetGraticuleLatitudeStep(std::int32_t Value) {
  if (Value < 0 || Value > 89) return;
  FiLatitudeStep = Value;
  RedrawLayers();
}

void TGlobe4::SetScrollBars(TScrollStyle Value) {
  if (Value == FScrollBars) return;
  FScrollBars = Value;
  if (FHost != nullptr) FHost->RecreateWindow(WindowStyle());
}

void TGlobe4::SetColor(TColor Value) {
  if (Value == FBackgroundColor) return;
  FBackgroundColor = Value;
  RedrawLayers();
}

void TGlobe4::SetSurfaceColor(TColor Value) {
  if (Value == FSurfaceColor) return;
  FSurfaceColor = Value;
  FGlobeBrush->SetBrushColor(Value);
  FGlobeBrush->SetBrushBkColor(Value);
  RedrawLayers();
}

void TGlobe4::SetSurfaceTextureName(const std::string& Value) {
  TTextureData& texture = BackgroundTextureMap();
  try {
    texture.LoadFromFile(Value);
  } catch (const EGlobeException&) {
    // Not a texture: the globe is left without one, silently.
  }
  FSurfaceTextureName = texture.IsValid() ? Value : std::string();
  RedrawLayers();
}

void TGlobe4::SetGraticuleDrawMode(TGraticuleDraw Value) {
  if (Value == FGraticuleDraw) return;
  FGraticuleDraw = Value;
  RedrawLayers();
}

// ---- Notifications ----------------------------------------------------------------------

void TGlobe4::RedrawLayers() {
  FbRedrawLayers = true;
  if (FHost != nullptr) FHost->Invalidate();
}

void TGlobe4::RedrawRender() {
  const platform::TBitmap* picture = GlobeCanvas().Bitmap();
  if (!FbLayersPictureKept || !OnRender || picture == nullptr ||
      picture->Width() != FLayersPicture->Width() ||
      picture->Height() != FLayersPicture->Height()) {
    RedrawLayers();
    FbLayersPictureWanted = true;
    return;
  }
  FbRedrawRender = true;
  if (FHost != nullptr) FHost->Invalidate();
}

void TGlobe4::KeepLayersPicture() {
  FbLayersPictureKept = false;
  platform::TBitmap* picture = GlobeCanvas().Bitmap();
  if (PaintAbort || !OnRender || picture == nullptr || picture->Empty()) return;
  if (!FLayersPicture || FLayersPicture->Width() != picture->Width() ||
      FLayersPicture->Height() != picture->Height())
    FLayersPicture = std::make_unique<platform::TBitmap>(picture->Width(), picture->Height());
  const auto from = picture->Bytes();
  std::copy(from.begin(), from.end(), FLayersPicture->Bytes().begin());
  FbLayersPictureKept = true;
}

bool TGlobe4::RestoreLayersPicture() {
  platform::TBitmap* picture = GlobeCanvas().Bitmap();
  if (!FbLayersPictureKept || picture == nullptr || picture->Width() != FLayersPicture->Width() ||
      picture->Height() != FLayersPicture->Height())
    return false;
  const auto from = FLayersPicture->Bytes();
  std::copy(from.begin(), from.end(), picture->Bytes().begin());
  return true;
}

void TGlobe4::Notify(TGlobeNotification Notification, TGlobeRoot* Obj) {
  const auto what = static_cast<TGlobeNotification>(static_cast<unsigned>(Notification) & 0x7Fu);
  if (!FLayerStore) {
    // Being destroyed: the list must still follow the sources, since whatever is listed
    // once the layers are gone is freed here.
    if (what == gnObjectSourceCreate) FObjectSources.push_back(Obj);
    if (what == gnObjectSourceFree) std::erase(FObjectSources, Obj);
    return;
  }
  switch (what) {
    case gnLayerCreate:
      // From here on the store owns the layer.
      if (auto* layer = dynamic_cast<TGlobeLayer*>(Obj)) FLayerStore->Add(layer);
      if (OnLayerCreate) OnLayerCreate(this, Obj);
      break;
    case gnLayerFree:
      if (OnLayerFree) OnLayerFree(this, Obj);
      if (auto* layer = dynamic_cast<TGlobeLayer*>(Obj)) FLayerStore->Remove(layer);
      break;
    case gnObjectSourceCreate:
      FObjectSources.push_back(Obj);
      if (OnObjectSourceCreate && !FbDestroying) OnObjectSourceCreate(this, Obj);
      break;
    case gnObjectSourceActiveChange:
      if (OnObjectSourceActiveChange && !FbDestroying) OnObjectSourceActiveChange(this, Obj);
      break;
    case gnObjectSourceFree:
      if (OnObjectSourceFree && !FbDestroying) OnObjectSourceFree(this, Obj);
      std::erase(FObjectSources, Obj);
      break;
    case gnObjectFree:
      if (OnObjectFree) OnObjectFree(this, Obj);
      break;
    case gnObjectSelectChange:
      if (OnObjectSelectChange) OnObjectSelectChange(this, Obj);
      break;
    default:
      break;
  }
  RedrawLayers();
}

bool TGlobe4::ProgressMessage(TProgressMessage MsgType, const std::string& sMsg) {
  if (!OnProgress) return false;
  bool abort = false;
  OnProgress(this, MsgType, sMsg, abort);
  return abort;
}

// ---- Files ------------------------------------------------------------------------------

std::string TGlobe4::ResolveFilename(const std::string& sFilename) {
  std::string name = sFilename;
  // The handler of OnFileNotFound may offer names for as long as it likes; a loop keeps
  // that from growing the stack.
  for (;;) {
    std::string found;
    if (FindFile(name, found)) return found;
    std::string dir = Trim(FDataDirectory);
    if (dir.empty()) dir = ExecutableFolder();
    if (FindFile(dir + name, found)) return found;
    if (FindFile(dir + LastComponent(name), found)) return found;
    if (!OnFileNotFound) return {};
    bool tryAgain = false;
    OnFileNotFound(this, name, tryAgain);
    if (!tryAgain) return {};
  }
}

// ---- Paint ------------------------------------------------------------------------------

platform::TWindowStyle TGlobe4::WindowStyle() const noexcept {
  platform::TWindowStyle style;
  style.HorzScrollBar = FScrollBars == ssHorizontal || FScrollBars == ssBoth;
  style.VertScrollBar = FScrollBars == ssVertical || FScrollBars == ssBoth;
  style.TransparentBackground = FGlobeOptions.Contains(goTransparentBackground);
  return style;
}

void TGlobe4::SetHost(platform::TWindowHost* Host) {
  FHost = Host;
  if (FHost == nullptr) return;
  FHost->RecreateWindow(WindowStyle());
  UpdateScrollBars();
}

void TGlobe4::Paint(platform::TDevice& WindowDevice) {
  // A render to another canvas has the clones in place; the window waits for the redraw
  // that restoring the options asks for.
  if ((FHost != nullptr && FHost->Printing()) || bPainting || bRenderToCanvas) return;
  bPainting = true;
  PaintAbort = false;
  TGlobeCanvas& canvas = GlobeCanvas();
  const bool hasWindow = FHost != nullptr;
  const bool buffered = FGlobeOptions.Contains(goDoubleBuffered);
  FControlCanvas.SetHandle(&WindowDevice);
  // Pens, symbols and fonts sized in pixels mean screen pixels: a window with more device
  // pixels to the inch (a high-density screen) draws them as much larger.
  if (const std::int32_t ppi = WindowDevice.PixelsPerInchX();
      hasWindow && ppi > 0 && ppi != FiWindowPixelsPerInch) {
    FiWindowPixelsPerInch = ppi;
    canvas.SetCanvasPixelsPerInch(ppi);
    platform::TCanvasFont font = FControlCanvas.Font();
    font.PixelsPerInch = ppi;
    FControlCanvas.SetFont(font);
    FbRedrawLayers = true;
  }

  // The window device lives for this call only; nothing keeps it afterwards, and the
  // painting state is left however the closing steps end.
  struct TPaintEnd {
    TGlobe4& globe;
    bool detach;
    ~TPaintEnd() {
      globe.FbRedrawLayers = false;
      globe.FbRedrawRender = false;
      globe.bPainting = false;
      globe.FControlCanvas.SetHandle(nullptr);
      if (detach) globe.GlobeCanvas().SetDC(nullptr);
    }
  };

  std::exception_ptr failure;
  const bool lastRedrewLayers = std::exchange(FbLastPaintRedrewLayers, false);
  try {
    if (hasWindow) {
      if (buffered) {
        canvas.SelectBMP(FControlCanvas);
      } else {
        canvas.SetDC(&WindowDevice);
      }
      canvas.RefreshDC();
    }
    if (FbRedrawLayers || !buffered || (FbRedrawRender && !RestoreLayersPicture())) {
      const bool keep = buffered && (FbLayersPictureWanted || FbRedrawRender || !lastRedrewLayers);
      FbLayersPictureWanted = false;
      FbLastPaintRedrewLayers = true;
      RenderBackground();
      RenderLayers();
      if (keep) {
        KeepLayersPicture();
      } else {
        FbLayersPictureKept = false;
      }
      if (!PaintAbort && OnRender) OnRender(this);
    } else if (FbRedrawRender && OnRender) {
      // Only the clock moved: the layers' picture is back, the shadow and labels are redone.
      OnRender(this);
    }
  } catch (...) {
    failure = std::current_exception();
  }

  {
    TPaintEnd end{*this, hasWindow};
    if (hasWindow && buffered) {
      CopyPictureTo(WindowDevice);
      canvas.ReleaseBMP(&WindowDevice);
    }
    if (FbZooming) {
      const TRect r = FZoomRect;
      WindowDevice.DrawFocusRect({std::min(r.Left, r.Right), std::min(r.Top, r.Bottom),
                                  std::max(r.Left, r.Right), std::max(r.Top, r.Bottom)});
    }
    RenderAnimatedLayers();
    if (!PaintAbort && OnPaint) OnPaint(this);
  }
  if (!PaintAbort) UpdateTotalMemoryInUse();
  if (PaintAbort) RedrawLayers();
  if (failure) std::rethrow_exception(failure);
}

namespace {

// Marks the objects used from here on as the current picture's, for the cache's choice of
// what to discard; nested passes keep the outer mark.
struct TCacheFrame {
  bool& inFrame;
  bool outer;
  TCacheFrame(bool& InFrame, bool& PictureDrawn, std::int32_t& FrameMRU, std::int32_t LastMRU)
      : inFrame(InFrame), outer(InFrame) {
    if (!outer) FrameMRU = LastMRU;
    inFrame = true;
    PictureDrawn = true;
  }
  ~TCacheFrame() { inFrame = outer; }
  TCacheFrame(const TCacheFrame&) = delete;
  TCacheFrame& operator=(const TCacheFrame&) = delete;
};

}  // namespace

// The animated pass draws on top of the static picture: its objects join that picture's.
void TGlobe4::RenderAnimatedLayers() { FLayerStore->Render(true); }

void TGlobe4::CopyPictureTo(platform::TDevice& Window) {
  if (const platform::TBitmap* picture = GlobeCanvas().Bitmap()) Window.DrawBitmap(0, 0, *picture);
}

void TGlobe4::ShowPaintProgress() {
  // The window's device is known only while Paint runs, as the control canvas's handle.
  platform::TDevice* window = FControlCanvas.Handle();
  if (FHost == nullptr || !bPainting || window == nullptr ||
      !FGlobeOptions.Contains(goDoubleBuffered))
    return;
  CopyPictureTo(*window);
}

void TGlobe4::Resize(std::int32_t Width, std::int32_t Height) {
  FiClientWidth = Width;
  FiClientHeight = Height;
  TGlobeCanvas& canvas = GlobeCanvas();
  canvas.SizeBMP(Width, Height,
                 FiWindowPixelsPerInch > 0 ? FiWindowPixelsPerInch : canvas.ScreenPixelsPerInch());
  RedrawLayers();
}

void TGlobe4::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TGlobe4::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

void TGlobe4::SystemColorsChanged() { RedrawLayers(); }

void TGlobe4::RenderBackground() {
  TGlobeCanvas& canvas = GlobeCanvas();
  const std::int32_t W = canvas.CanvasWidth();
  const std::int32_t H = canvas.CanvasHeight();
  canvas.SetBrush({FBackgroundColor, platform::cbsSolid});
  if (FBackgroundImage.Empty()) {
    canvas.FillRect({0, 0, W, H});
  } else {
    const platform::TBitmap& tile = FBackgroundImage.Bitmap();
    const std::int64_t iw = tile.Width();
    const std::int64_t ih = tile.Height();
    // One tile past the last whole one in each direction, so the canvas is covered.
    for (std::int64_t x = 0; x <= (W / iw) * iw; x += iw) {
      for (std::int64_t y = 0; y <= (H / ih) * ih; y += ih) {
        canvas.Draw(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), tile);
      }
    }
  }
  if (FGlobeOptions.Contains(goTransparentGlobe)) return;
  canvas.SetBrush({FSurfaceColor, platform::cbsSolid});
  platform::TCanvasPen pen = canvas.Pen();
  pen.Color = FSurfaceColor;
  canvas.SetPen(pen);
  canvas.RequireState();
  FGlobeBrush->RenderAttribute(canvas, false);
  Projection().ProjectionModel().PaintSurface();
}

void TGlobe4::RenderGraticule() {
  TGlobeCanvas& canvas = GlobeCanvas();
  // The canvas's own objects first, so that drawing does not select them over this pen.
  canvas.RequireState();
  if (Projection().RenderBackFace()) {
    TransparentPen().RenderAttribute(canvas, false);
  } else {
    FGraticulePen->RenderAttribute(canvas, false);
  }
  if (canvas.DC() != nullptr) canvas.DC()->SetBkMode(platform::TRANSPARENT);
  if (OnPaintGraticule) {
    canvas.RefreshDC();
    OnPaintGraticule(this);
    canvas.RefreshDC();
    return;
  }
  Projection().ProjectionModel().PaintGraticule();
}

void TGlobe4::RenderLayers() {
  const TCacheFrame frame{FbCacheInFrame, FbCachePictureDrawn, FCacheFrameMRU, FCacheMRU};
  if (FGlobeOptions.Contains(goTransparentGlobe)) {
    TGlobeProjection& prj = Projection();
    struct TBackFace {
      TGlobeProjection& p;
      ~TBackFace() { p.SetRenderBackFace(false); }
    } backFace{prj};
    prj.SetRenderBackFace(true);
    FLayerStore->Render(false);
    if (FGraticuleDraw != gdNone) RenderGraticule();
  }
  if (FGraticuleDraw == gdBehind) RenderGraticule();
  FLayerStore->Render(false);
  if (FGraticuleDraw == gdInFront) RenderGraticule();
}

void TGlobe4::Clear() {
  FEnvironmentFile.clear();
  FLayerStore->Clear();
}

// ---- Other canvases ---------------------------------------------------------------------

void TGlobe4::RenderToCanvas(platform::TCanvas& ACanvas, const TRect& ARect, bool bAsImage) {
  if (bRenderToCanvas) return;
  platform::TDevice* target = ACanvas.Handle();
  if (target == nullptr) return;
  bRenderToCanvas = true;

  // Puts the window's own projection and canvas back, and clears the flag, however the
  // rendering ends. The clones are freed with it.
  struct TSwapBack {
    TGlobe4& globe;
    std::unique_ptr<TGlobeProjection> projection;
    std::unique_ptr<TGlobeCanvas> canvas;
    ~TSwapBack() {
      if (canvas) std::swap(globe.FGlobeCanvas, canvas);
      if (projection) std::swap(globe.FProjection, projection);
      canvas.reset();
      projection.reset();
      globe.bRenderToCanvas = false;
    }
  } swapBack{*this, nullptr, nullptr};

  // The projection is cloned and put in place first: cloning the canvas refits the
  // projection that is in place to the clone's picture.
  swapBack.projection = FProjection->Clone();
  std::swap(FProjection, swapBack.projection);
  swapBack.canvas = FGlobeCanvas->Clone();
  std::swap(FGlobeCanvas, swapBack.canvas);

  const TGlobeOptionsSet keptOptions = FGlobeOptions;
  FGlobeOptions.Exclude(goInterruptable);
  const std::int32_t ppi = target->PixelsPerInchX();
  const TPoint keptOrigin = target->ViewportOrigin();
  target->SetViewportOrigin({keptOrigin.X + ARect.Left, keptOrigin.Y + ARect.Top});
  const std::int32_t W = ARect.Width();
  const std::int32_t H = ARect.Height();
  TGlobeCanvas& canvas = GlobeCanvas();

  std::exception_ptr failure;
  try {
    if (bAsImage) {
      FGlobeOptions.Include(goDoubleBuffered);
      canvas.SizeBMP(W, H, ppi);
      canvas.SelectBMP(ACanvas);
    } else {
      FGlobeOptions.Exclude(goDoubleBuffered);
      canvas.SetDC(target);
      canvas.ResizeProjection(W, H);
      canvas.SetCanvasPixelsPerInch(ppi);
    }
    canvas.RefreshDC();
    RenderBackground();
    RenderLayers();
    if (OnRender) OnRender(this);
    RenderAnimatedLayers();
    if (OnPaint) OnPaint(this);
  } catch (...) {
    failure = std::current_exception();
  }

  // The clone canvas is freed right after, so it is not pointed back at the window.
  try {
    if (bAsImage) {
      std::shared_ptr<platform::TBitmap>* keep = std::exchange(FpKeepPicture, nullptr);
      if (keep == nullptr) {
        if (const platform::TBitmap* picture = canvas.Bitmap())
          target->StretchBitmap({0, 0, W, H}, *picture);
      }
      canvas.ReleaseBMP(nullptr);
      if (keep != nullptr && !failure) *keep = canvas.TakeBitmap();
    } else {
      canvas.SetDC(nullptr);
    }
    target->SetViewportOrigin(keptOrigin);
    SetGlobeOptions(keptOptions);
  } catch (...) {
    target->SetViewportOrigin(keptOrigin);
    FGlobeOptions = keptOptions;
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

std::shared_ptr<platform::TBitmap> TGlobe4::GetBitmap(std::int32_t iWidth, std::int32_t iHeight) {
  // The globe is drawn straight into the picture handed out: a second full-size picture and
  // the copy between them would double the memory and page faults of a large render. The
  // target device only lends its resolution and font.
  if (bRenderToCanvas) return std::make_shared<platform::TBitmap>(iWidth, iHeight);
  std::unique_ptr<platform::TDevice> device =
      platform::Graphics().CreateMemoryDevice(std::make_shared<platform::TBitmap>(1, 1));
  platform::TCanvas target;
  target.SetHandle(device.get());
  std::shared_ptr<platform::TBitmap> picture;
  FpKeepPicture = &picture;
  try {
    RenderToCanvas(target, {0, 0, iWidth, iHeight}, true);
  } catch (...) {
    FpKeepPicture = nullptr;
    throw;
  }
  // Not taken when no render ran (one already running, or an empty size).
  FpKeepPicture = nullptr;
  if (picture && picture->Width() == iWidth && picture->Height() == iHeight) return picture;
  return std::make_shared<platform::TBitmap>(iWidth, iHeight);
}

void TGlobe4::GetMetaFile(const std::string& FileName, std::int32_t iWidth, std::int32_t iHeight,
                          bool /*bEnhanced*/) {
  const platform::TVectorFormat format =
      EndsWithNoCase(FileName, ".pdf")   ? platform::TVectorFormat::Pdf
      : EndsWithNoCase(FileName, ".emf") ? platform::TVectorFormat::Emf
                                         : platform::TVectorFormat::Svg;
  // Pixels of 0.26 mm: 2540 / 26 pixels per inch, rounded.
  constexpr std::int32_t kPixelsPerInch = 98;
  std::unique_ptr<platform::TDevice> device = platform::Graphics().CreateVectorFileDevice(
      format, FileName, iWidth, iHeight, kPixelsPerInch, std::string(kVersion));
  platform::TCanvas target;
  target.SetHandle(device.get());
  RenderToCanvas(target, {0, 0, iWidth, iHeight}, false);
}

void TGlobe4::GetMetaFileMM(const std::string& FileName, std::int32_t iWidthMM,
                            std::int32_t iHeightMM, bool bEnhanced) {
  GetMetaFile(FileName, Clamp32(std::int64_t{iWidthMM} * 100 / 26),
              Clamp32(std::int64_t{iHeightMM} * 100 / 26), bEnhanced);
}

void TGlobe4::Print(platform::TDevice& Printer, const TRect& ARect) {
  platform::TCanvas target;
  target.SetHandle(&Printer);
  RenderToCanvas(target, ARect, false);
}

// ---- Cache ------------------------------------------------------------------------------

std::int32_t TGlobe4::NextMRU() {
  // Wraps as the stamp's 32 bits do, instead of overflowing.
  FCacheMRU = static_cast<std::int32_t>(static_cast<std::uint32_t>(FCacheMRU) + 1u);
  return FCacheMRU;
}

std::int32_t TGlobe4::CacheUsedDelta(std::int32_t Delta) {
  FCacheMemoryUsed = Clamp32(std::int64_t{FCacheMemoryUsed} + Delta);
  // Less in use than the last reduction left (a large layer freed since): that floor no
  // longer holds, and keeping it would let loads pass the budget many times over.
  FCacheFloor = std::min<std::int64_t>(FCacheFloor, FCacheMemoryUsed);
  if (FCacheCapacity > 0 && !FbReducingCache) {
    const std::int64_t budget = std::int64_t{FCacheCapacity} * 1024;
    // When the sources' records alone exceed the budget, a reduction cannot reach its
    // target; reducing again on every load would rescan every source each time (quadratic
    // on large layers). Loaded objects may then take a quarter of the budget above what
    // the last reduction left before the next one, or a quarter of what is left when that is
    // more, so that the scans cost no more than the loads between them.
    if (budget < FCacheMemoryUsed &&
        FCacheMemoryUsed - FCacheFloor > std::max(budget / 4, FCacheFloor / 4)) {
      // Below the used memory, so within 32 bits.
      const auto budget32 = static_cast<std::int32_t>(budget);
      const std::int32_t target = budget32 - MulDiv(budget32, 25, 100);
      if (OnReduceCacheMemory) OnReduceCacheMemory(this);
      FCacheMemoryUsed = ReduceCacheMemory(target);
      FCacheFloor = FCacheMemoryUsed >= target ? FCacheMemoryUsed : 0;
    }
  }
  return FCacheMemoryUsed;
}

std::int32_t TGlobe4::UpdateTotalMemoryInUse() {
  std::int64_t total = 0;
  for (TGlobeRoot* source : FObjectSources) total += FLayerStore->SourceMemorySize(*source);
  FCacheMemoryUsed = Clamp32(total);
  return CacheUsedDelta(0);
}

std::int32_t TGlobe4::ReduceCacheMemory(std::int32_t iTargetSize) {
  // Sources report their smaller size through CacheUsedDelta while objects are discarded;
  // that must not start another reduction inside this one.
  struct TReducing {
    bool& flag;
    bool kept;
    ~TReducing() { flag = kept; }
  } reducing{FbReducingCache, FbReducingCache};
  FbReducingCache = true;

  std::int64_t total = 0;
  std::vector<TCachedObject> objects;
  for (TGlobeRoot* source : FObjectSources) {
    total += FLayerStore->SourceMemorySize(*source);
    FLayerStore->CollectCachedObjects(*source, objects);
  }
  if (FbCachePictureDrawn) {
    // Least recently used first ruins pictures whose objects do not all fit: each load
    // would discard the objects the next picture needs first, and every picture would load
    // every object again. Objects not used in the latest picture go first, oldest first;
    // then that picture's own, newest first (while it is drawn and in the recount after
    // it), so that the ones drawn early stay for the next picture and only the rest of the
    // working set is loaded again.
    const auto age = [frame = static_cast<std::uint32_t>(FCacheFrameMRU)](std::int32_t MRU) {
      return static_cast<std::uint32_t>(MRU) - frame - 1u;  // wraps as the stamps do
    };
    const std::uint32_t drawn = age(FCacheMRU);
    std::sort(objects.begin(), objects.end(),
              [&age, drawn](const TCachedObject& a, const TCachedObject& b) {
                const std::uint32_t ka = age(a.MRU);
                const std::uint32_t kb = age(b.MRU);
                const bool fa = ka <= drawn;
                const bool fb = kb <= drawn;
                if (fa != fb) return fb;  // earlier pictures' objects first
                return fa ? ka > kb : a.MRU < b.MRU;
              });
  } else {
    std::sort(objects.begin(), objects.end(),
              [](const TCachedObject& a, const TCachedObject& b) { return a.MRU < b.MRU; });
  }
  for (const TCachedObject& entry : objects) {
    total -= entry.Size;
    FLayerStore->DiscardCachedObject(entry);
    if (total < iTargetSize) break;
  }
  return Clamp32(total);
}

// ---- Environment ------------------------------------------------------------------------

std::unique_ptr<TGXML_Element> TGlobe4::SaveEnvironment() {
  auto element = std::make_unique<TGXML_Element>();
  element->AddAttribute("DataDirectory", FDataDirectory);
  element->AddAttribute("SurfaceColor", ColorToString(FSurfaceColor));
  element->AddAttribute("SurfaceTextureName", FSurfaceTextureName);
  element->AddIntAttribute("MaxTextHeight", MaxTextHeight());
  element->AddIntAttribute("MinTextHeight", MinTextHeight());
  element->AddElement("Projection", Projection().SaveEnvironment());
  element->AddElement("LayerStore", FLayerStore->SaveEnvironment());
  return element;
}

void TGlobe4::LoadEnvironment(const TGXML_Element* Element) {
  if (Element == nullptr) return;
  SetDataDirectory(Element->AttributeByName("DataDirectory", FDataDirectory));
  SetSurfaceColor(
      StringToColor(Element->AttributeByName("SurfaceColor", ColorToString(FSurfaceColor))));
  SetSurfaceTextureName(Element->AttributeByName("SurfaceTextureName", FSurfaceTextureName));
  SetMaxTextHeight(Element->IntAttributeByName("MaxTextHeight", MaxTextHeight()));
  SetMinTextHeight(Element->IntAttributeByName("MinTextHeight", MinTextHeight()));
  Projection().LoadEnvironment(Element->ElementByName("Projection"));
  FLayerStore->LoadEnvironment(Element->ElementByName("LayerStore"));
  UpdateScrollBars();
}

void TGlobe4::SaveEnvironmentToFile(const std::string& sFilename) {
  TGXML_Document document;
  document.Document()->AddElement("TGlobe", SaveEnvironment());
  if (OnSaveEnvironment) OnSaveEnvironment(this, document);
  document.SaveToFile(sFilename);
}

void TGlobe4::LoadEnvironmentFromFile(const std::string& sFilename) {
  Clear();
  TGXML_Document document;
  bool read = false;
  try {
    read = document.LoadFromFile(sFilename);
  } catch (const EGlobeException&) {
    // A file that cannot be read leaves the cleared globe without an environment file.
  }
  if (!read) return;
  LoadEnvironment(document.Document()->ElementByName("TGlobe"));
  FEnvironmentFile = sFilename;
  if (OnLoadEnvironment) OnLoadEnvironment(this, document);
}

// ---- Shadow and units -------------------------------------------------------------------

TPointLL TGlobe4::RenderDIBShadow(double GMTDateTime, TColor ColorNight, TColor ColorTwilight,
                                  std::int32_t Density) {
  return globe::RenderDIBShadow(*this, GMTDateTime, ColorNight, ColorTwilight, Density);
}

TPointLL TGlobe4::RenderDIBShadow(double GMTDateTime, const TShadowStyle& Style) {
  return globe::RenderDIBShadow(*this, GMTDateTime, Style);
}

TPointLL TGlobe4::RenderShadow(double GMTDateTime, TColor ColorNight, TColor ColorTwilight,
                               std::int32_t Density) {
  return globe::RenderShadow(*this, GMTDateTime, ColorNight, ColorTwilight, Density);
}

std::int32_t TGlobe4::GlobeUnitsFrom(Extended eValue, TGlobeUnitTypes Units) const {
  return GlobeCanvas().GlobeUnitsFrom(eValue, Units);
}

Extended TGlobe4::GlobeUnitsTo(std::int32_t iValue, TGlobeUnitTypes Units) const {
  if (Units == TGlobeUnitTypes::Pixel) return iValue * Projection().ScaleFactor();
  return iValue / GUPerUnit(Units);
}

}  // namespace globe
