// Whole frames of a 1920 × 1080 globe view through the raster device (Qt on Linux, GDI on a
// DIB section on Windows), as the window
// paints them after a redraw request: the textured sphere with the night shading, the
// textured plate carrée, the sphere when only the clock moved, and the shading alone on a
// picture already painted, in two bands and as the ramp with the night lights; the four
// shipped layers on the sphere and on the azimuthal map, with and without the texture.
// Prints the milliseconds per frame and how they compare.
#include <benchmark/benchmark.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>

#include <QGuiApplication>
#endif
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "globe/core/texture.h"
#include "globe/projection/projection.h"
#include "globe/readers/loader.h"
#include "globe/view/globe.h"
#include "globe/view/shadow.h"
#ifdef _WIN32
#include "platform/win32/gdidevice.h"
#else
#include "platform/qt/qtdevice.h"
#endif
#include "platform/windowhost.h"

namespace globe {
namespace {

constexpr std::int32_t kWidth = 1920;
constexpr std::int32_t kHeight = 1080;
constexpr platform::TColor kNight = 0x808080;
constexpr platform::TColor kTwilight = 0xC0C0C0;
// Half past six in the evening UTC near the solstice: the terminator crosses the disc.
const double kWhen = EncodeGMTDateTime(2026, 12, 10, 18, 30);

/// A 2048 × 1024 uncompressed 8-bit bitmap file image: bands of 256 colours whose pattern
/// changes every few texels, so that neighbouring pixels rarely share a texel's colour.
std::vector<std::uint8_t> SyntheticTexture() {
  constexpr std::uint32_t kW = 2048, kH = 1024, kHeader = 1078;
  std::vector<std::uint8_t> b(kHeader + kW * kH);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<std::uint32_t>(b.size()));
  put32(10, kHeader);
  put32(14, 40);
  put32(18, kW);
  put32(22, kH);
  b[26] = 1;
  b[28] = 8;
  put32(34, kW * kH);
  for (std::uint32_t i = 0; i < 256; ++i) {
    b[54 + 4 * i] = static_cast<std::uint8_t>(255 - i);
    b[55 + 4 * i] = static_cast<std::uint8_t>(i * 7);
    b[56 + 4 * i] = static_cast<std::uint8_t>(i);
  }
  for (std::uint32_t v = 0; v < kH; ++v)
    for (std::uint32_t u = 0; u < kW; ++u)
      b[kHeader + v * kW + u] = static_cast<std::uint8_t>((u / 3) ^ (v / 5) ^ (u * v / 97));
  return b;
}

/// A window that never repaints by itself: each frame is painted on request.
class TBenchHost final : public platform::TWindowHost {
 public:
  void Invalidate() override {}
  void CaptureMouse() override {}
  void ReleaseMouse() override {}
  [[nodiscard]] platform::TScrollInfo ScrollBar(platform::TScrollBarKind) const override {
    return {};
  }
  void SetScrollBar(platform::TScrollBarKind, const platform::TScrollInfo&) override {}
  void RecreateWindow(const platform::TWindowStyle&) override {}
  [[nodiscard]] bool Printing() const override { return false; }
};

/// A full-HD window showing the whole earth with the synthetic texture; its window device
/// is a picture of the window's size.
struct TBenchView {
  TBenchHost host;
  TGlobe4 globe;
  std::shared_ptr<platform::TBitmap> screen = std::make_shared<platform::TBitmap>(kWidth, kHeight);
  std::unique_ptr<platform::TDevice> window = platform::Graphics().CreateMemoryDevice(screen);

  TBenchView(const char* Model, bool Shadow, bool Texture = true) {
    globe.SetHost(&host);
    globe.Resize(kWidth, kHeight);
    if (Texture) globe.BackgroundTextureMap().LoadFromStream(SyntheticTexture());
    TGlobeProjection& P = globe.Projection();
    P.SetProjectionClass(Model);
    P.SetScaleFactor(0);
    if (Shadow)
      globe.OnRender = [this](const void*) { globe.RenderDIBShadow(kWhen, kNight, kTwilight, 1); };
  }
  ~TBenchView() { globe.SetHost(nullptr); }

  void Frame() {
    globe.RedrawLayers();
    globe.Paint(*window);
  }
  void ClockFrame() {
    globe.RedrawRender();
    globe.Paint(*window);
  }
};

void Frames(benchmark::State& state, const char* Model, bool Shadow) {
  TBenchView view(Model, Shadow);
  view.Frame();
  for (auto _ : state) view.Frame();
  state.SetItemsProcessed(state.iterations());
}

// The layers the program ships, as its main window draws them, centred on Vienna.
void ShippedLayers(benchmark::State& state, const char* Model, bool Texture) {
  TBenchView view(Model, false, Texture);
  for (const char* name : {"world.lyr", "TGCapitals.lyr", "TGCities.lyr", "IOTA.lyr"}) {
    if (AddLayerFromFile(view.globe, ORVANE_SOURCE_DIR "/data/" + std::string(name)) < 0) {
      state.SkipWithError("a shipped layer cannot be read");
      return;
    }
  }
  view.globe.LocateToLL(16 * GU_DEGREE + 2'160'000, 48 * GU_DEGREE + 1'080'000);
  view.globe.Projection().SetScaleFactor(0);
  view.Frame();
  for (auto _ : state) view.Frame();
  state.SetItemsProcessed(state.iterations());
}
void BM_LayersSphere(benchmark::State& state) { ShippedLayers(state, "TSphericalPrj", false); }
void BM_LayersAzimuthal(benchmark::State& state) { ShippedLayers(state, "TAzimuthalPrj", false); }
void BM_LayersSphereTexture(benchmark::State& state) {
  ShippedLayers(state, "TSphericalPrj", true);
}
void BM_LayersAzimuthalTexture(benchmark::State& state) {
  ShippedLayers(state, "TAzimuthalPrj", true);
}

void BM_SphereTextureShadow(benchmark::State& state) { Frames(state, "TSphericalPrj", true); }
void BM_FlatTexture(benchmark::State& state) { Frames(state, "TCartesianPrj", false); }

void BM_SphereClockOnly(benchmark::State& state) {
  TBenchView view("TSphericalPrj", true);
  view.Frame();
  for (auto _ : state) view.ClockFrame();
  state.SetItemsProcessed(state.iterations());
}

/// The shading alone, again and again on the picture of one frame; the work per pixel does
/// not depend on its colour.
void Shading(benchmark::State& state, const TShadowStyle& Style) {
  TBenchView view("TSphericalPrj", false);
  view.Frame();
  for (auto _ : state) view.globe.RenderDIBShadow(kWhen, Style);
  state.SetItemsProcessed(state.iterations());
}

void BM_ShadowBands(benchmark::State& state) { Shading(state, {kNight, kTwilight, smBands, 1}); }
// What the sphere frame draws: the ramp blending towards the two colours.
void BM_ShadowBlend(benchmark::State& state) { Shading(state, {kNight, kTwilight, smBlend, 1}); }

void BM_ShadowRampLights(benchmark::State& state) {
  TTextureData lights;
  lights.LoadFromFile(ORVANE_SOURCE_DIR "/data/night.bmp");
  if (!lights.IsValid()) {
    state.SkipWithError("data/night.bmp cannot be read");
    return;
  }
  TShadowStyle style{platform::RGB(0x30, 0x38, 0x58), kTwilight, smDarken, 1};
  style.NightLights = &lights;
  Shading(state, style);
}

BENCHMARK(BM_SphereTextureShadow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FlatTexture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SphereClockOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ShadowBands)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ShadowBlend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ShadowRampLights)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LayersSphere)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LayersAzimuthal)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LayersSphereTexture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LayersAzimuthalTexture)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- The program's own frame ---------------------------------------------------------------
// What the program's window shows at 1920 × 1080: the shipped texture, the night shading as
// the program draws it (the darkening ramp with the night lights), the four shipped layers
// and the graticule, on the sphere or the plate carrée.

struct TFrameParts {
  bool Texture = true, Shadow = true, Layers = true;
};

/// A view set up as the program sets up its window.
struct TFrameView {
  TBenchHost host;
  TGlobe4 globe;
  TTextureData lights;
  std::shared_ptr<platform::TBitmap> screen = std::make_shared<platform::TBitmap>(kWidth, kHeight);
  std::unique_ptr<platform::TDevice> window = platform::Graphics().CreateMemoryDevice(screen);
  double when = kWhen;
  TPointLL sun;  // of the shadow drawn last

  TFrameView(const char* Model, TFrameParts Parts) {
    globe.SetHost(&host);
    globe.SetGlobeOptions(TGlobeOptionsSet{goCache3DPoints, goDoubleBuffered});
    globe.SetSaveMetaDataLocation(smdDiscard);
    globe.Resize(kWidth, kHeight);
    if (Parts.Texture) globe.SetSurfaceTextureName(ORVANE_SOURCE_DIR "/data/world.bmp");
    if (Parts.Layers) {
      for (const char* f : {"world.lyr", "TGCapitals.lyr", "TGCities.lyr", "IOTA.lyr"})
        AddLayerFromFile(globe, std::string(ORVANE_SOURCE_DIR "/data/") + f);
    } else {
      globe.SetGraticuleDrawMode(gdNone);
    }
    TGlobeProjection& P = globe.Projection();
    P.SetProjectionClass(Model);
    P.SetScaleFactor(0);
    lights.LoadFromFile(ORVANE_SOURCE_DIR "/data/night.bmp");
    if (Parts.Shadow)
      globe.OnRender = [this](const void*) {
        TShadowStyle style{platform::RGB(0x30, 0x38, 0x58), kTwilight, smDarken, 1};
        if (lights.IsValid()) style.NightLights = &lights;
        sun = globe.RenderDIBShadow(when, style);
      };
  }
  ~TFrameView() { globe.SetHost(nullptr); }
  TFrameView(const TFrameView&) = delete;
  TFrameView& operator=(const TFrameView&) = delete;

  void Frame() {
    globe.RedrawLayers();
    globe.Paint(*window);
  }
};

void FullFrames(benchmark::State& state, const char* Model, TFrameParts Parts) {
  TFrameView view(Model, Parts);
  if (Parts.Texture && view.globe.SurfaceTextureName().empty()) {
    state.SkipWithError("data/world.bmp cannot be read");
    return;
  }
  view.Frame();
  for (auto _ : state) view.Frame();
  state.SetItemsProcessed(state.iterations());
}

void BM_FrameSphere1080(benchmark::State& state) { FullFrames(state, "TSphericalPrj", {}); }
void BM_FrameFlat1080(benchmark::State& state) { FullFrames(state, "TCartesianPrj", {}); }
void BM_FrameTextureOnly1080(benchmark::State& state) {
  FullFrames(state, "TSphericalPrj", {true, false, false});
}
void BM_FrameLayersOnly1080(benchmark::State& state) {
  FullFrames(state, "TSphericalPrj", {false, false, true});
}
// The shading of the full frame again and again on its picture.
void ShadowOnly(benchmark::State& state, const char* Model) {
  TFrameView view(Model, {true, false, true});
  view.Frame();
  TShadowStyle style{platform::RGB(0x30, 0x38, 0x58), kTwilight, smDarken, 1};
  if (view.lights.IsValid()) style.NightLights = &view.lights;
  for (auto _ : state) view.globe.RenderDIBShadow(kWhen, style);
  state.SetItemsProcessed(state.iterations());
}
void BM_FrameShadowOnly1080(benchmark::State& state) { ShadowOnly(state, "TSphericalPrj"); }
void BM_FrameFlatShadowOnly1080(benchmark::State& state) { ShadowOnly(state, "TCartesianPrj"); }

// A minute of the program's idle window: its timer ticks five times a second and, with the
// shadow on, redraws the shadow on every fortieth tick if it has moved a pixel, as the
// program does; the clock is simulated and runs on from one minute to the next.
void IdleMinute(benchmark::State& state, bool Shadow, bool EveryFortieth = false) {
  TFrameView view("TSphericalPrj", {true, Shadow, true});
  view.Frame();
  std::int64_t tick = 0;
  for (auto _ : state) {
    for (int i = 0; i < 300; ++i, ++tick) {
      view.when = kWhen + static_cast<double>(tick) * 0.2 / 86400;
      const bool due =
          tick % 40 == 0 && (EveryFortieth || ShadowMoved(view.globe, view.sun, view.when));
      if (Shadow && due) view.globe.RedrawRender();
      if (view.globe.RedrawRenderPending() || view.globe.RedrawPending())
        view.globe.Paint(*view.window);
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_IdleShadowOn(benchmark::State& state) { IdleMinute(state, true); }
void BM_IdleShadowOff(benchmark::State& state) { IdleMinute(state, false); }
// For comparison: the shadow redrawn on every fortieth tick whether it moved or not.
void BM_IdleShadowEvery8s(benchmark::State& state) { IdleMinute(state, true, true); }

// Process CPU time: Qt's raster engine hands large fills to its thread pool, whose work the
// calling thread's CPU time would not show.
BENCHMARK(BM_FrameSphere1080)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_FrameFlat1080)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_FrameShadowOnly1080)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_FrameFlatShadowOnly1080)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_FrameTextureOnly1080)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_FrameLayersOnly1080)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_IdleShadowOn)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_IdleShadowOff)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_IdleShadowEvery8s)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

bool IsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdout)) != 0;
#else
  return isatty(fileno(stdout)) != 0;
#endif
}

/// The console report, and the frames compared once all have run.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only for a terminal, as the library's own reporter does.
  TRatioReporter() : ConsoleReporter(IsTerminal() ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    // CPU time: the frames are drawn on one thread, and on a shared machine the wall clock
    // also counts the time other processes hold the core.
    for (const Run& r : Runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred)
        ms_[r.benchmark_name()] = r.GetAdjustedCPUTime();
  }

  void PrintRatios() const {
    const double* sphere = Find("BM_SphereTextureShadow/real_time");
    const double* flat = Find("BM_FlatTexture/real_time");
    const double* shadow = Find("BM_ShadowBlend/real_time");
    const double* bands = Find("BM_ShadowBands/real_time");
    const double* ramp = Find("BM_ShadowRampLights/real_time");
    const double* clock = Find("BM_SphereClockOnly/real_time");
    if (sphere != nullptr && shadow != nullptr)
      std::printf("shadow alone: %.0f %% of a sphere frame with texture and shadow\n",
                  100 * *shadow / *sphere);
    if (ramp != nullptr && bands != nullptr)
      std::printf("shading: ramp with night lights / two bands: %.2f\n", *ramp / *bands);
    if (sphere != nullptr && clock != nullptr)
      std::printf("sphere frame when only the clock moved / full redraw: %.2f\n", *clock / *sphere);
    if (sphere != nullptr && flat != nullptr)
      std::printf("sphere frame with shadow / plate carree frame: %.2f\n", *sphere / *flat);
    const double* layersSphere = Find("BM_LayersSphere/real_time");
    const double* layersAzimuthal = Find("BM_LayersAzimuthal/real_time");
    if (layersSphere != nullptr && layersAzimuthal != nullptr)
      std::printf("shipped layers: azimuthal map / sphere: %.2f\n",
                  *layersAzimuthal / *layersSphere);
    const double* texSphere = Find("BM_LayersSphereTexture/real_time");
    const double* texAzimuthal = Find("BM_LayersAzimuthalTexture/real_time");
    if (texSphere != nullptr && texAzimuthal != nullptr)
      std::printf("shipped layers with texture: azimuthal map / sphere: %.2f\n",
                  *texAzimuthal / *texSphere);
    if (sphere != nullptr && shadow != nullptr && flat != nullptr)
      std::printf("sphere frame without its shadow (estimate) / plate carree frame: %.2f\n",
                  (*sphere - *shadow) / *flat);
    // The program's own frame against 60 frames a second.
    for (const char* name : {"BM_FrameSphere1080", "BM_FrameFlat1080"})
      if (const double* ms = Find(name)) std::printf("%s / 16.7 ms: %.2f\n", name, *ms / 16.7);
    const double* idleOn = Find("BM_IdleShadowOn");
    const double* idleOff = Find("BM_IdleShadowOff");
    const double* idleOld = Find("BM_IdleShadowEvery8s");
    if (idleOn != nullptr && idleOff != nullptr)
      std::printf("idle minute, shadow on: %.2f ms, off: %.3f ms\n", *idleOn, *idleOff);
    if (idleOn != nullptr && idleOld != nullptr)
      std::printf("idle minute, shadow when moved / every 8 s: %.2f\n", *idleOn / *idleOld);
  }

 private:
  [[nodiscard]] const double* Find(const std::string& Name) const {
    const auto it = ms_.find(Name);
    return it == ms_.end() ? nullptr : &it->second;
  }
  std::map<std::string, double> ms_;
};

}  // namespace
}  // namespace globe

int main(int argc, char** argv) {
#ifndef _WIN32
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
  // Another output format asked for (JSON for scripts): the library's own reporter writes it.
  bool console = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.starts_with("--benchmark_format=") && a != "--benchmark_format=console") console = false;
  }
#ifdef _WIN32
  platform::TGdiGraphics graphics;
#else
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  platform::TQtGraphics graphics;
#endif
  platform::SetGraphics(&graphics);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  globe::TRatioReporter reporter;
  if (console) {
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
  } else {
    benchmark::RunSpecifiedBenchmarks();
  }
  benchmark::Shutdown();
  platform::SetGraphics(nullptr);
  return 0;
}
