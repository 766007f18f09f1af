// A test globe whose canvas draws on a recording device, with views set exactly: a plate
// carrée of one pixel per degree filling a 360 × 180 canvas, or a sphere of a given radius.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

#include "globe/core/pointstore.h"
#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projection.h"
#include "globe/render/attributes.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"
#include "platform/recording.h"
#include "tests/support/testglobe.h"

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
  platform::TRecordingGraphics graphics{96};

 private:
  platform::TGraphics* previous_;
};

class RenderTest : public ::testing::Test {
 protected:
  // Declared before the globe, which reads the screen when it is made and draws on the
  // device until it is gone.
  TRecordingGraphicsScope services;
  platform::TRecordingDevice dev;
  TTestGlobe globe;
  TGlobeCanvas& canvas = globe.GlobeCanvas();
  TGlobeProjection& P = globe.Projection();

  RenderTest() { canvas.SetDC(&dev); }

  void SizeCanvas(std::int32_t W, std::int32_t H) {
    canvas.SetCanvasWidth(W);
    canvas.SetCanvasHeight(H);
    globe.SetClientSize(W, H);
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
    ASSERT_EQ(P.ScaleFactor(), 1.0L / D);
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

  /// The points of every recorded call of that name ("Polygon", "Polyline").
  std::vector<std::vector<TPoint>> Shapes(std::string_view Name) const {
    std::vector<std::vector<TPoint>> shapes;
    for (const platform::TRecordedCall* c : dev.CallsNamed(Name)) shapes.push_back(c->Points);
    return shapes;
  }

  /// Writes the points into the device point buffer from index 0.
  static void Fill(std::initializer_list<TPoint> Points) {
    EnsureDevicePoints(Points.size() + 1);
    std::size_t i = 0;
    for (const TPoint& p : Points) DevicePoints()[i++] = p;
  }
  static std::vector<TPoint> Buffer(std::int32_t n) { return {DevicePoints(), DevicePoints() + n}; }

  static std::unique_ptr<TPointStore> Chain(std::initializer_list<TPointLL> Points) {
    auto s = std::make_unique<TPointStore>();
    for (const TPointLL& p : Points) s->Add(p);
    return s;
  }
  static std::unique_ptr<TChainStore> Chains(
      std::initializer_list<std::initializer_list<TPointLL>> Lists) {
    auto store = std::make_unique<TChainStore>();
    for (const auto& l : Lists) store->Add(Chain(l));
    return store;
  }
};

}  // namespace globe::testing
