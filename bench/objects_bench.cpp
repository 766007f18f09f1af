// Opening and drawing a layer file of a million points, in two shapes: 10,000 lines of 100
// points (world outlines) and 1,000,000 single points (towns, islands). Opening is measured
// without an index file (the mapping pass reads every record) and with a current one; drawing
// is one full redraw of a 1920 × 1080 sphere showing the whole earth. Prints how the
// openings compare.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QGuiApplication>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "globe/core/units.h"
#include "globe/objects/geodata.h"
#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/objects/pointpresenter.h"
#include "globe/objects/presenter.h"
#include "globe/objects/source.h"
#include "globe/projection/projection.h"
#include "globe/readers/loader.h"
#include "globe/readers/lyr.h"
#include "globe/render/attributes.h"
#include "globe/view/globe.h"
#include "platform/qt/qtdevice.h"

namespace globe {
namespace {

constexpr std::int32_t kWidth = 1920;
constexpr std::int32_t kHeight = 1080;
constexpr std::int32_t kMillion = 1'000'000;

enum TShape : int { shLines, shPoints };

const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    auto f = std::filesystem::temp_directory_path() /
             ("orvane-objects-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(f);
    return f;
  }();
  return folder;
}

/// Writes the layer file of that shape once per run; deterministic pseudo-random positions.
std::string LayerFile(TShape Shape) {
  const std::string file =
      (Folder() / (Shape == shLines ? "lines.lyr" : "points.lyr")).string();
  if (std::filesystem::exists(file)) return file;
  TGlobe4 maker;
  auto* source = new TGlobeObjectSource(&maker);  // belongs to the globe
  source->SetNoCache(true);
  std::uint32_t seed = 12345;
  auto next = [&seed](std::int32_t Range) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<std::int32_t>((seed >> 8) % static_cast<std::uint32_t>(Range));
  };
  std::vector<TGlobeObject*> objects;
  if (Shape == shLines) {
    auto pen = std::make_unique<TPolylinePresenter>(&maker, 1);
    pen->PolyPen().Define(platform::RGB(40, 120, 40), platform::psSolid, 1,
                          TGlobeUnitTypes::Pixel);
    source->Presenters().Add(std::move(pen));
    for (int i = 0; i < kMillion / 100; ++i) {
      auto* o = MakeGlobeObject<TGeoDataObject>(source);
      TPointStore& chain = o->Chains().GetChain(0);
      // A wandering line of whole arc-minutes, as outlines are usually stored.
      std::int32_t lon = next(21'600) - 10'800, lat = next(10'000) - 5'000;
      for (int k = 0; k < 100; ++k) {
        chain.Add({lon * GU_MINUTE, lat * GU_MINUTE, 0});
        lon = std::min(10'799, std::max(-10'799, lon + next(41) - 20));
        lat = std::min(5'300, std::max(-5'300, lat + next(41) - 20));
      }
      o->SetPresenterID(1);
    }
  } else {
    auto dot = std::make_unique<TPointPresenter>(&maker, 1);
    dot->SetPointType(ppSquare);
    dot->SetPointSize(3);
    source->Presenters().Add(std::move(dot));
    for (int i = 0; i < kMillion; ++i) {
      auto* o = MakeGlobeObject<TGeoDataObject>(source);
      o->SetCentroid({(next(21'600) - 10'800) * GU_MINUTE, (next(10'000) - 5'000) * GU_MINUTE, 0});
      o->SetPresenterID(1);
    }
  }
  WriteLYR(file, *source);
  return file;
}

/// Opens the file as a layer of a fresh 1920 × 1080 view; the index file beside it.
struct TView {
  TGlobe4 globe;
  std::shared_ptr<platform::TBitmap> screen = std::make_shared<platform::TBitmap>(kWidth, kHeight);
  std::unique_ptr<platform::TDevice> window = platform::Graphics().CreateMemoryDevice(screen);

  explicit TView(const std::string& File) {
    globe.SetSaveMetaDataLocation(smdWithDataFile);
    globe.Resize(kWidth, kHeight);
    globe.Projection().SetScaleFactor(0);
    if (AddLayerFromFile(globe, File) != 0) std::abort();
  }
};

void BM_OpenMapping(benchmark::State& state) {
  const std::string file = LayerFile(static_cast<TShape>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(file + ".md");
    state.ResumeTiming();
    TView view(file);
    benchmark::DoNotOptimize(view.globe.Layers().Count());
  }
}

void BM_OpenWithIndex(benchmark::State& state) {
  const std::string file = LayerFile(static_cast<TShape>(state.range(0)));
  { TView first(file); }  // writes a current index file
  for (auto _ : state) {
    TView view(file);
    benchmark::DoNotOptimize(view.globe.Layers().Count());
  }
}

void BM_RedrawSphere(benchmark::State& state) {
  TView view(LayerFile(static_cast<TShape>(state.range(0))));
  view.globe.RedrawLayers();
  view.globe.Paint(*view.window);
  for (auto _ : state) {
    view.globe.RedrawLayers();
    view.globe.Paint(*view.window);
  }
}

/// The lines layer, or the layers named in ORVANE_BENCH_LAYERS (file names separated by
/// ':', e.g. shapefiles written by GDAL) on top of it.
struct TBudgetView : TView {
  TBudgetView() : TView(LayerFile(shLines)) {
    const char* more = std::getenv("ORVANE_BENCH_LAYERS");
    if (more == nullptr) return;
    std::string list = more;
    for (std::size_t start = 0; start < list.size();) {
      std::size_t end = list.find(':', start);
      if (end == std::string::npos) end = list.size();
      if (end > start && AddLayerFromFile(globe, list.substr(start, end - start)) < 0) {
        std::abort();
      }
      start = end + 1;
    }
  }
};

/// The bytes the layers hold loaded after one full redraw with no budget: the working set
/// of a frame.
std::int32_t LinesWorkingSetKB() {
  static const std::int32_t kb = [] {
    TBudgetView view;
    view.globe.SetCacheCapacity(0);
    view.globe.RedrawLayers();
    view.globe.Paint(*view.window);
    return view.globe.CacheMemoryUsed() / 1024;
  }();
  return kb;
}

/// Redraws of the lines layer with a budget of range(0) percent of the frame's working set.
void RedrawWithBudget(benchmark::State& state) {
  TBudgetView view;
  const std::int32_t working = LinesWorkingSetKB();
  view.globe.SetCacheCapacity(std::max<std::int32_t>(1, working * state.range(0) / 100));
  view.globe.RedrawLayers();
  view.globe.Paint(*view.window);
  std::int64_t loads = 0;
  view.globe.OnObjectCreate = [&loads](const void*, TGlobeRoot*) { ++loads; };
  for (auto _ : state) {
    view.globe.RedrawLayers();
    view.globe.Paint(*view.window);
  }
  view.globe.OnObjectCreate = nullptr;
  state.counters["loads"] = benchmark::Counter(static_cast<double>(loads),
                                               benchmark::Counter::kAvgIterations);
  state.counters["working_set_kb"] = working;
  state.counters["used_kb"] = view.globe.CacheMemoryUsed() / 1024;
}

void BM_RedrawWithinBudget(benchmark::State& state) { RedrawWithBudget(state); }
void BM_RedrawTwiceBudget(benchmark::State& state) { RedrawWithBudget(state); }

/// A million towns: a million one-point objects of one square presenter. Range 0: all held
/// loaded (the drawing alone); otherwise that cache budget in KB.
void PointSymbols(benchmark::State& state, std::int32_t BudgetKB) {
  TView view(LayerFile(shPoints));
  view.globe.SetCacheCapacity(BudgetKB);
  view.globe.RedrawLayers();
  view.globe.Paint(*view.window);
  for (auto _ : state) {
    view.globe.RedrawLayers();
    view.globe.Paint(*view.window);
  }
}

void BM_PointSymbols1M(benchmark::State& state) { PointSymbols(state, 0); }
/// With the program's budget, far below what a million loaded objects take.
void BM_PointSymbols1MProgramBudget(benchmark::State& state) { PointSymbols(state, 10240); }

/// The 1:110m countries as a shapefile (with its table) or MIF/MID pair, copied to the
/// scratch folder so that their index files go there.
std::string CountriesFile(bool Mif) {
  const std::string stem = "countries-110m";
  for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".mif", ".mid"}) {
    const auto from = std::filesystem::path(ORVANE_SOURCE_DIR "/tests/data/countries") / (stem + ext);
    const auto to = Folder() / (stem + ext);
    if (!std::filesystem::exists(to)) std::filesystem::copy_file(from, to);
  }
  return (Folder() / (stem + (Mif ? ".mif" : ".shp"))).string();
}

void BM_OpenCountries(benchmark::State& state) {
  const std::string file = CountriesFile(state.range(0) != 0);
  const bool cold = state.range(1) == 0;
  std::filesystem::remove(file + ".md");
  if (!cold) TView first(file);  // writes the index file
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      std::filesystem::remove(file + ".md");
      state.ResumeTiming();
    }
    TView view(file);
    benchmark::DoNotOptimize(view.globe.Layers().Count());
  }
}

BENCHMARK(BM_OpenCountries)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"mif", "indexed"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_OpenMapping)->Arg(shLines)->Arg(shPoints)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(3);
BENCHMARK(BM_OpenWithIndex)->Arg(shLines)->Arg(shPoints)->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RedrawSphere)->Arg(shLines)->Arg(shPoints)->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RedrawWithinBudget)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RedrawTwiceBudget)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PointSymbols1M)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PointSymbols1MProgramBudget)->Unit(benchmark::kMillisecond)->UseRealTime();

/// The console report, and the openings compared once all have run.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  TRatioReporter() : ConsoleReporter(isatty(fileno(stdout)) != 0 ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& r : Runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred)
        ms_[r.benchmark_name()] = r.GetAdjustedRealTime();
  }

  void PrintRatios() const {
    for (const char* kind : {"mif:0", "mif:1"}) {
      const double* cold = Find(std::string("BM_OpenCountries/") + kind + "/indexed:0");
      const double* warm = Find(std::string("BM_OpenCountries/") + kind + "/indexed:1");
      if (cold != nullptr && warm != nullptr)
        std::printf("countries %s: opening without an index file / with one: %.1f\n",
                    kind[4] == '1' ? "MIF" : "shapefile", *cold / *warm);
    }
    for (const char* shape : {"0", "1"}) {
      const char* name = shape[0] == '0' ? "lines" : "points";
      const double* mapping = Find(std::string("BM_OpenMapping/") + shape);
      const double* indexed = Find(std::string("BM_OpenWithIndex/") + shape);
      const double* redraw = Find(std::string("BM_RedrawSphere/") + shape);
      if (mapping != nullptr && indexed != nullptr)
        std::printf("%s: opening without an index file / with one: %.1f\n", name,
                    *mapping / *indexed);
      if (redraw != nullptr && indexed != nullptr)
        std::printf("%s: one full redraw / opening with an index file: %.1f\n", name,
                    *redraw / *indexed);
    }
  }

 private:
  [[nodiscard]] const double* Find(const std::string& Prefix) const {
    for (const auto& [name, ms] : ms_)
      if (name.rfind(Prefix, 0) == 0) return &ms;
    return nullptr;
  }
  std::map<std::string, double> ms_;
};

}  // namespace
}  // namespace globe

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  platform::TQtGraphics graphics;
  platform::SetGraphics(&graphics);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  globe::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  platform::SetGraphics(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(globe::Folder(), ec);
  return 0;
}
