// Throughput of drawing one long ring: projection into the device point buffer, then the
// canvas's clipping (and, on the flat map, seam splitting), on the sphere and on the plate
// carrée, with the sphere's 3-D points cached with the store or rebuilt on every paint.
// Nothing is drawn: the canvas has no device.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "globe/core/pointstore.h"
#include "globe/core/units.h"
#include "globe/projection/projection.h"
#include "globe/render/canvas.h"
#include "tests/support/testglobe.h"

namespace globe {
namespace {

constexpr std::int32_t kPoints = 1'000'000;

// Once round the world with a wavy latitude, so that the ring crosses the limb and the
// canvas edges many times.
void FillWorldRing(TChainStore& chains) {
  TPointStore& s = chains.GetChain(0);
  s.SetCount(kPoints);
  for (std::int32_t i = 0; i < kPoints; ++i) {
    const double t = static_cast<double>(i) / kPoints;
    const auto lon = static_cast<std::int32_t>(-971'000'000 + t * 1'942'000'000);
    const auto lat = static_cast<std::int32_t>(60.0 * GU_DEGREE * std::sin(t * 6283.0));
    s.PutLL(i, {lon, lat, 0});
  }
}

// A 1000 × 800 view zoomed so that the ring is larger than the canvas (4× the fit).
struct TBenchView {
  testing::TTestGlobe globe;
  TBenchView(const char* Model, bool Cache) {
    globe.GlobeCanvas().SetCanvasWidth(1000);
    globe.GlobeCanvas().SetCanvasHeight(800);
    globe.SetClientSize(1000, 800);
    globe.SetOptions(Cache ? TGlobeOptionsSet{goCache3DPoints} : TGlobeOptionsSet{});
    TGlobeProjection& P = globe.Projection();
    P.SetProjectionClass(Model);
    P.SetScaleFactor(0);
    P.SetScaleFactor(4 * P.ScaleFactor());
  }
};

const char* ModelOf(const benchmark::State& state) {
  return state.range(0) == 0 ? "TSphericalPrj" : "TCartesianPrj";
}

void BM_ProjectAndClip(benchmark::State& state) {
  TBenchView view(ModelOf(state), state.range(1) != 0);
  TChainStore chains;
  FillWorldRing(chains);
  const TGlobeObjectStateSet closed{osClosed};
  for (auto _ : state) view.globe.GlobeCanvas().RenderChainStore(chains, closed, 1);
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_ProjectAndClip)
    ->ArgNames({"plate", "cache"})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

// The projection alone, for comparison with the whole path above.
void BM_Project(benchmark::State& state) {
  TBenchView view(ModelOf(state), state.range(1) != 0);
  TChainStore chains;
  FillWorldRing(chains);
  TPointStore& ring = chains.GetChain(0);
  TCustomProjectionModel& model = view.globe.Projection().ProjectionModel();
  for (auto _ : state) benchmark::DoNotOptimize(model.PointStoreToXY(ring, 0, true));
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_Project)
    ->ArgNames({"plate", "cache"})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace globe
