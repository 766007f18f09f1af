// Throughput of the per-point geometry work that a repaint of the sphere repeats: 3-D
// conversion, the enclosing rectangle, and the 3-D cache filled once versus re-used.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "globe/core/pointstore.h"
#include "globe/core/units.h"

namespace globe {
namespace {

constexpr std::int32_t kPoints = 1'000'000;

// A ring once round the world with a wavy latitude, so no branch is trivially predicted.
std::unique_ptr<TPointStore> WorldRing(bool Heights) {
  auto s = std::make_unique<TPointStore>();
  s->SetStoreHeight(Heights);
  s->SetCount(kPoints);
  for (std::int32_t i = 0; i < kPoints; ++i) {
    const double t = static_cast<double>(i) / kPoints;
    const auto lon = static_cast<std::int32_t>(-971'000'000 + t * 1'942'000'000);
    const auto lat = static_cast<std::int32_t>(60.0 * GU_DEGREE * std::sin(t * 6283.0));
    s->PutLL(i, {lon, lat, Heights ? i % 1000 : 0});
  }
  return s;
}

void BM_LLHToPoint3D(benchmark::State& state) {
  const auto s = WorldRing(false);
  const auto data = s->PointData();
  for (auto _ : state) {
    for (std::size_t i = 0; i < data.size(); i += 2) {
      benchmark::DoNotOptimize(LLHToPoint3D(data[i], data[i + 1], 0));
    }
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_LLHToPoint3D)->Unit(benchmark::kMillisecond);

void BM_PointStoreMER(benchmark::State& state) {
  const auto s = WorldRing(state.range(0) != 0);
  for (auto _ : state) benchmark::DoNotOptimize(s->PointStoreMER());
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_PointStoreMER)->Arg(0)->Arg(1)->ArgName("heights")->Unit(benchmark::kMillisecond);

// Every paint after a change: the cache is rebuilt.
void BM_Point3DArrayFill(benchmark::State& state) {
  const auto s = WorldRing(false);
  for (auto _ : state) {
    s->Refresh();
    benchmark::DoNotOptimize(s->Point3DArray(true));
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_Point3DArrayFill)->Unit(benchmark::kMillisecond);

// Every paint of an unchanged chain with caching on.
void BM_Point3DArrayReuse(benchmark::State& state) {
  const auto s = WorldRing(false);
  (void)s->Point3DArray(true);
  for (auto _ : state) benchmark::DoNotOptimize(s->Point3DArray(true));
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_Point3DArrayReuse);

void BM_PointInPolygon(benchmark::State& state) {
  const auto s = WorldRing(false);
  for (auto _ : state) benchmark::DoNotOptimize(s->PointInPolygon(5 * GU_DEGREE, 1000, 3));
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_PointInPolygon)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace globe
