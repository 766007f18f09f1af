// A globe view in a scripted window: the host records what the view asks of its window, the
// layer store is scripted (an object under the cursor, sources with cached objects), and
// the view logs the steps of its paint.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "globe/core/units.h"
#include "globe/objects/layerstore.h"
#include "globe/projection/projection.h"
#include "globe/render/canvas.h"
#include "globe/view/globe.h"
#include "platform/recording.h"
#include "platform/windowhost.h"

namespace globe::testing {

inline constexpr std::int32_t D = GU_DEGREE;

class TScriptedHost : public platform::TWindowHost {
 public:
  int Invalidations = 0;
  bool Captured = false;
  bool PrintingNow = false;
  std::map<platform::TScrollBarKind, platform::TScrollInfo> Bars;
  std::vector<platform::TWindowStyle> Recreated;

  void Invalidate() override { ++Invalidations; }
  void CaptureMouse() override { Captured = true; }
  void ReleaseMouse() override { Captured = false; }
  [[nodiscard]] platform::TScrollInfo ScrollBar(platform::TScrollBarKind Kind) const override {
    const auto it = Bars.find(Kind);
    return it == Bars.end() ? platform::TScrollInfo{} : it->second;
  }
  void SetScrollBar(platform::TScrollBarKind Kind, const platform::TScrollInfo& Info) override {
    Bars[Kind] = Info;
  }
  void RecreateWindow(const platform::TWindowStyle& Style) override { Recreated.push_back(Style); }
  [[nodiscard]] bool Printing() const override { return PrintingNow; }
};

/// A window device that also writes its picture copies into the paint log.
class TLoggingDevice : public platform::TRecordingDevice {
 public:
  explicit TLoggingDevice(std::vector<std::string>& Log) : log_(Log) {}
  void DrawBitmap(std::int32_t X, std::int32_t Y, const platform::TBitmap& Bitmap) override {
    log_.push_back("Copy");
    TRecordingDevice::DrawBitmap(X, Y, Bitmap);
  }

 private:
  std::vector<std::string>& log_;
};

class TScriptedStore : public TGlobeLayerStore {
 public:
  TScriptedStore(TGlobe4* Globe, std::vector<std::string>& Log)
      : TGlobeLayerStore(Globe), log_(Log) {}

  TGlobeRoot* Hit = nullptr;  ///< the object "under" every device point
  TMER HitMER;
  std::vector<TGlobeRoot*> Inverted;
  /// Cached objects per source; discarding takes them out.
  std::map<TGlobeRoot*, std::vector<TCachedObject>> Cached;
  std::vector<std::int32_t> DiscardedMRU;
  /// Whether a discarded object reports its size to the globe, as a source does.
  bool ReportDiscards = false;

  /// Runs while the static layers draw, standing in for the objects they load.
  std::function<void()> WhileDrawing;

  void Render(bool Animated) override {
    log_.push_back(Animated ? "AnimatedLayers" : "StaticLayers");
    if (!Animated && WhileDrawing) WhileDrawing();
  }
  TGlobeRoot* ObjectAtXY(std::int32_t, std::int32_t) override { return Hit; }
  bool ObjectMER(const TGlobeRoot& Obj, TMER& MER) const override {
    if (&Obj != Hit) return false;
    MER = HitMER;
    return true;
  }
  void InvertSelected(TGlobeRoot& Obj) override { Inverted.push_back(&Obj); }
  /// Bytes every source reports for records it cannot discard.
  std::int64_t RecordBytes = 0;

  std::int64_t SourceMemorySize(TGlobeRoot& Source) override {
    std::int64_t total = RecordBytes;
    for (const TCachedObject& o : Cached[&Source]) total += o.Size;
    return total;
  }
  void CollectCachedObjects(TGlobeRoot& Source, std::vector<TCachedObject>& Objects) override {
    for (const TCachedObject& o : Cached[&Source]) Objects.push_back(o);
  }
  void DiscardCachedObject(const TCachedObject& Entry) override {
    auto& list = Cached[Entry.Source];
    std::erase_if(list, [&](const TCachedObject& o) { return o.Object == Entry.Object; });
    DiscardedMRU.push_back(Entry.MRU);
    if (ReportDiscards) Globe().CacheUsedDelta(static_cast<std::int32_t>(-Entry.Size));
  }

 private:
  std::vector<std::string>& log_;
};

/// The view with a scripted store, logging its paint steps.
class TViewGlobe : public TGlobe4 {
 public:
  TViewGlobe() {
    auto store = std::make_unique<TScriptedStore>(this, Log);
    Store = store.get();
    FLayerStore = std::move(store);
    OnRender = [this](const void*) { Log.push_back("OnRender"); };
    OnPaint = [this](const void*) { Log.push_back("OnPaint"); };
  }

  std::vector<std::string> Log;
  TScriptedStore* Store;
  bool FailBackground = false;

  void RenderBackground() override {
    Log.push_back("Background");
    if (FailBackground) throw EGlobeException("background failed");
    TGlobe4::RenderBackground();
  }
  void RenderGraticule() override {
    Log.push_back(Projection().RenderBackFace() ? "BackGraticule" : "Graticule");
    TGlobe4::RenderGraticule();
  }
};

/// A 400 × 300 window hosting the view, a sphere fitted into it.
class ViewTest : public ::testing::Test {
 protected:
  TScriptedHost host;
  // A device the canvas may be pointed at directly; it outlives the globe.
  platform::TRecordingDevice dev;
  TViewGlobe globe;
  TLoggingDevice window{globe.Log};
  TGlobeProjection& P = globe.Projection();

  ViewTest() {
    globe.SetHost(&host);
    globe.Resize(400, 300);
    P.SetScaleFactor(0);
  }
  ~ViewTest() override { globe.SetHost(nullptr); }

  /// The sphere seen from above (0°, 0°), north up, disc of Radius pixels in the middle.
  void Sphere(Extended Radius) {
    P.SetXRotation(0);
    P.SetYRotation(0);
    P.SetZRotation(0);
    P.SetScaleFactor(Radius / GU_EARTH_RADIUS);
    P.SetXOrigin(200);
    P.SetYOrigin(150);
  }

  /// A plate carrée of one pixel per degree on a 360 × 180 canvas: (lon, lat) in degrees
  /// lands on (180 + lon, 90 − lat).
  void FlatMap() {
    globe.Resize(360, 180);
    P.SetProjectionClass("TCartesianPrj");
    P.SetCentralMeridian(0);
    P.SetScaleFactor(1.0L / D);
    P.SetXOrigin(180);
    P.SetYOrigin(90);
  }
};

}  // namespace globe::testing
