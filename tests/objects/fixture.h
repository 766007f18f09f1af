// A globe view whose canvas draws on a recording device (96 pixels per inch, fixed font
// metrics), with views set exactly: a plate carrée of one pixel per degree on a 360 × 180
// canvas, or a sphere of a given radius. Each test gets a scratch folder of its own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "globe/core/pointstore.h"
#include "globe/core/units.h"
#include "globe/projection/projection.h"
#include "globe/render/canvas.h"
#include "globe/view/globe.h"
#include "platform/filesystem.h"
#include "platform/recording.h"

namespace globe::testing {

inline constexpr std::int32_t D = GU_DEGREE;

inline TPointLL Deg(double Long, double Lat) {
  return {static_cast<std::int32_t>(Long * D), static_cast<std::int32_t>(Lat * D), 0};
}

/// Installs recording graphics services (a 96 pixels-per-inch screen) for its lifetime.
class TRecordingGraphicsScope {
 public:
  TRecordingGraphicsScope() : previous_(platform::SetGraphics(&graphics)) {}
  ~TRecordingGraphicsScope() { platform::SetGraphics(previous_); }
  TRecordingGraphicsScope(const TRecordingGraphicsScope&) = delete;
  TRecordingGraphicsScope& operator=(const TRecordingGraphicsScope&) = delete;
  platform::TRecordingGraphics graphics{96};

 private:
  platform::TGraphics* previous_;
};

class ObjectsTest : public ::testing::Test {
 protected:
  // Declared before the globe, which reads the screen when it is made and draws on the
  // device until it is gone.
  TRecordingGraphicsScope services;
  platform::TRecordingDevice dev;
  TGlobe4 globe;
  TGlobeCanvas& canvas = globe.GlobeCanvas();
  TGlobeProjection& P = globe.Projection();
  std::filesystem::path scratch;

  ObjectsTest() {
    canvas.SetDC(&dev);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // ctest runs the tests of one program side by side in separate processes.
    scratch = std::filesystem::temp_directory_path() /
              ("orvane-objects-" + std::to_string(::getpid()) + "-" + info->test_suite_name() +
               "-" + info->name());
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
  }
  ~ObjectsTest() override {
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
  }

  /// A path in the scratch folder.
  [[nodiscard]] std::string Scratch(std::string_view Name) const {
    return platform::Utf8Path(scratch / platform::FsPath(Name));
  }

  void SizeCanvas(std::int32_t W, std::int32_t H) {
    canvas.SetCanvasWidth(W);
    canvas.SetCanvasHeight(H);
  }

  /// Plate carrée, central meridian 0, 360 × 180 pixels: (lon, lat) in degrees lands on
  /// (180 + lon, 90 − lat).
  void FlatMap() {
    SizeCanvas(360, 180);
    P.SetProjectionClass("TCartesianPrj");
    P.SetCentralMeridian(0);
    P.SetScaleFactor(1.0L / D);
    P.SetXOrigin(180);
    P.SetYOrigin(90);
  }

  /// Sphere seen from above (0°, 0°), north up, disc of Radius pixels centred on the canvas.
  void Sphere(std::int32_t W, std::int32_t H, Extended Radius) {
    SizeCanvas(W, H);
    P.SetProjectionClass("TSphericalPrj");
    P.SetXRotation(0);
    P.SetYRotation(0);
    P.SetZRotation(0);
    P.SetCentralMeridian(0);
    P.SetScaleFactor(Radius / GU_EARTH_RADIUS);
    P.SetXOrigin(W / 2);
    P.SetYOrigin(H / 2);
  }

  static std::unique_ptr<TPointStore> Chain(std::initializer_list<TPointLL> Points) {
    auto s = std::make_unique<TPointStore>();
    for (const TPointLL& p : Points) s->Add(p);
    return s;
  }
};

}  // namespace globe::testing
