// A test globe with a canvas of a chosen size and helpers to set a view exactly.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>

#include "globe/core/pointstore.h"
#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projection.h"
#include "globe/render/canvas.h"
#include "globe/render/pointbuffer.h"
#include "tests/support/testglobe.h"

namespace globe::testing {

inline constexpr std::int32_t D = GU_DEGREE;

class ProjectionTest : public ::testing::Test {
 protected:
  TTestGlobe globe;
  TGlobeProjection& P = globe.Projection();

  void SizeCanvas(std::int32_t W, std::int32_t H) {
    globe.GlobeCanvas().SetCanvasWidth(W);
    globe.GlobeCanvas().SetCanvasHeight(H);
    globe.SetClientSize(W, H);
  }

  /// Installs the model and sets rotations, scale and origin; clears the call log.
  void View(const char* ModelClass, Extended XRot, Extended YRot, Extended Scale, TPoint Origin) {
    P.SetProjectionClass(ModelClass);
    P.SetXRotation(XRot);
    P.SetYRotation(YRot);
    P.SetZRotation(0);
    P.SetCentralMeridian(0);
    P.SetScaleFactor(Scale);
    P.SetXOrigin(Origin.X);
    P.SetYOrigin(Origin.Y);
    globe.Calls.clear();
  }

  static TPoint Buf(std::int32_t i) { return DevicePoints()[i]; }

  /// Projects one point; the device point and visibility.
  std::pair<TPoint, bool> Project(TPointLL pt) {
    TPoint xy;
    const bool visible = P.PointLLToXY(pt, xy);
    return {xy, visible};
  }

  static std::unique_ptr<TPointStore> Chain(std::initializer_list<TPointLL> points) {
    auto s = std::make_unique<TPointStore>();
    for (const TPointLL& p : points) s->Add(p);
    return s;
  }
};

}  // namespace globe::testing
