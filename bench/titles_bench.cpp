// What titles cost in a full redraw of the four shipped layers on a 1920 × 1080 sphere
// zoomed on Europe, where capitals and cities crowd: no titles, titles with their rim, and
// titles with their rim that give way to those drawn before them. Prints the ratios.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "globe/objects/layer.h"
#include "globe/objects/layerstore.h"
#include "globe/projection/projection.h"
#include "globe/readers/loader.h"
#include "globe/view/globe.h"
#include "platform/qt/qtdevice.h"

namespace globe {
namespace {

constexpr std::int32_t kWidth = 1920;
constexpr std::int32_t kHeight = 1080;
constexpr const char* kLayers[] = {"world.lyr", "TGCapitals.lyr", "TGCities.lyr", "IOTA.lyr"};

// The shipped layers copied to a scratch folder, so that their index files go there.
const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    auto f = std::filesystem::temp_directory_path() /
             ("orvane-titles-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(f);
    for (const char* name : kLayers)
      std::filesystem::copy_file(std::filesystem::path(ORVANE_SOURCE_DIR "/data") / name, f / name);
    return f;
  }();
  return folder;
}

enum TTitles : int { tNone, tRimmed, tDecluttered };

void BM_RedrawEurope(benchmark::State& state) {
  const auto mode = static_cast<TTitles>(state.range(0));
  TGlobe4 globe;
  globe.SetSaveMetaDataLocation(smdWithDataFile);
  globe.Resize(kWidth, kHeight);
  for (const char* name : kLayers) {
    const std::int32_t index = AddLayerFromFile(globe, (Folder() / name).string());
    if (index < 0) std::abort();
    TGlobeLayer& layer = globe.Layers().GetLayer(index);
    layer.SetShowTitles(mode != tNone);
    layer.SetAvoidTitleOverlap(mode == tDecluttered);
  }
  globe.Projection().SetScaleFactor(0);
  globe.Projection().SetScaleFactor(globe.Projection().ScaleFactor() * 6);
  globe.LocateToLL(10 * GU_DEGREE, 48 * GU_DEGREE);
  for (auto _ : state) benchmark::DoNotOptimize(globe.GetBitmap(kWidth, kHeight));
}

BENCHMARK(BM_RedrawEurope)
    ->Arg(tNone)
    ->Arg(tRimmed)
    ->Arg(tDecluttered)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  TRatioReporter() : ConsoleReporter(isatty(fileno(stdout)) != 0 ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& r : Runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred)
        cpu_[r.benchmark_name()] = r.GetAdjustedCPUTime();
  }
  void PrintRatios() const {
    const auto at = [this](int mode) {
      const auto it = cpu_.find("BM_RedrawEurope/" + std::to_string(mode) + "/real_time");
      return it == cpu_.end() ? 0.0 : it->second;
    };
    if (at(tNone) > 0) {
      // Processor time: the machine is shared, and waiting is not what titles cost.
      std::printf("CPU of a redraw with rimmed titles / without titles: %.2f\n",
                  at(tRimmed) / at(tNone));
      std::printf("CPU of a redraw with decluttered titles / without titles: %.2f\n",
                  at(tDecluttered) / at(tNone));
    }
  }

 private:
  std::map<std::string, double> cpu_;
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
