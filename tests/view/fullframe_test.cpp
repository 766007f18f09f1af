// One whole frame through the Qt raster device: a textured sphere with its graticule, the
// night shading drawn in OnRender, and a great-circle path and a circle drawn above it with
// a red pen. Pixels are checked where each part shows; the picture is written beside the
// test program for a look.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <vector>

#include "globe/core/texture.h"
#include "globe/core/units.h"
#include "globe/projection/projection.h"
#include "globe/render/canvas.h"
#include "globe/view/globe.h"
#include "globe/view/shadow.h"
#include "platform/filesystem.h"
#include "tests/support/lookpicture.h"

namespace globe::testing {
namespace {

using platform::TColor;
constexpr std::int32_t D = GU_DEGREE;
constexpr TColor kBackground = platform::RGB(0, 0, 60);
constexpr TColor kWest = platform::RGB(230, 190, 90);   // texture left half
constexpr TColor kEast = platform::RGB(200, 230, 250);  // texture right half, above silver
constexpr TColor kNight = platform::RGB(128, 128, 128);
constexpr TColor kTwilight = platform::RGB(192, 192, 192);
constexpr TColor kRed = platform::RGB(255, 0, 0);
constexpr TColor kGraticule = platform::RGB(192, 192, 192);
constexpr std::int32_t kW = 400, kH = 300, kRadius = 140;

TPointLL Deg(double Long, double Lat) {
  return {static_cast<std::int32_t>(std::lround(Long * D)),
          static_cast<std::int32_t>(std::lround(Lat * D)), 0};
}

/// An uncompressed 8-bit bitmap file image, 64 × 32: palette index 1 (kWest) in the left
/// half, 2 (kEast) in the right.
std::vector<std::uint8_t> TwoHalvesTexture() {
  constexpr int kTexW = 64, kTexH = 32;
  std::vector<std::uint8_t> b(1078 + kTexW * kTexH);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<std::uint32_t>(b.size()));
  put32(10, 1078);
  put32(14, 40);
  put32(18, kTexW);
  put32(22, kTexH);
  b[26] = 1;
  b[28] = 8;
  put32(34, kTexW * kTexH);
  auto palette = [&](int i, TColor c) {
    b[54 + 4 * i] = platform::GetBValue(c);
    b[55 + 4 * i] = platform::GetGValue(c);
    b[56 + 4 * i] = platform::GetRValue(c);
  };
  palette(1, kWest);
  palette(2, kEast);
  for (int v = 0; v < kTexH; ++v)
    for (int u = 0; u < kTexW; ++u) b[1078 + v * kTexW + u] = u < kTexW / 2 ? 1 : 2;
  return b;
}

/// old + (target − old) / Divisor per channel, halves away from zero.
TColor Blend(TColor Old, TColor Target, int Divisor) {
  auto channel = [&](int shift) {
    const int o = static_cast<int>((Old >> shift) & 0xFF);
    const int t = static_cast<int>((Target >> shift) & 0xFF);
    return static_cast<TColor>(o +
                               static_cast<int>(std::lround(static_cast<double>(t - o) / Divisor)))
           << shift;
  };
  return channel(0) | channel(8) | channel(16);
}

double Luminance(TColor c) {
  return 0.299 * platform::GetRValue(c) + 0.587 * platform::GetGValue(c) +
         0.114 * platform::GetBValue(c);
}

/// The point a fraction F of the way along the great circle from A to B.
TPointLL Along(const TPointLL& A, const TPointLL& B, double F) {
  auto vec = [](const TPointLL& p) {
    const double lon = p.iLongX / static_cast<double>(D) * std::numbers::pi / 180;
    const double lat = p.iLatY / static_cast<double>(D) * std::numbers::pi / 180;
    return std::array<double, 3>{std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon),
                                 std::sin(lat)};
  };
  const auto a = vec(A), b = vec(B);
  const double theta = std::acos(a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
  const double wa = std::sin((1 - F) * theta) / std::sin(theta);
  const double wb = std::sin(F * theta) / std::sin(theta);
  const double x = wa * a[0] + wb * b[0], y = wa * a[1] + wb * b[1], z = wa * a[2] + wb * b[2];
  return Deg(std::atan2(y, x) * 180 / std::numbers::pi, std::asin(z) * 180 / std::numbers::pi);
}

class FullFrameTest : public ::testing::Test {
 protected:
  TGlobe4 globe;
  TGlobeProjection& P = globe.Projection();
  const double when = EncodeGMTDateTime(2026, 3, 20, 15, 0, 0);  // the sun over 43.15° W
  const TPointLL pathFrom = Deg(-50, 35), pathTo = Deg(50, 20);
  const TPointLL circleCentre = Deg(20, -45);
  const std::int32_t circleRadius = 6 * D;
  bool shade = true;
  TPointLL sun;

  FullFrameTest() {
    globe.Resize(kW, kH);
    globe.SetColor(kBackground);
    const std::vector<std::uint8_t> texture = TwoHalvesTexture();
    globe.BackgroundTextureMap().LoadFromStream(texture);
    // The sphere seen from above (0°, 0°), north up, radius 140 pixels in the middle.
    P.SetXRotation(0);
    P.SetYRotation(0);
    P.SetZRotation(0);
    P.SetScaleFactor(static_cast<Extended>(kRadius) / GU_EARTH_RADIUS);
    P.SetXOrigin(kW / 2);
    P.SetYOrigin(kH / 2);
    globe.OnRender = [this](const void*) {
      if (shade) sun = globe.RenderDIBShadow(when, {kNight, kTwilight, smBands, 1});
      TGlobeCanvas& canvas = globe.GlobeCanvas();
      canvas.SetPen({kRed, platform::psSolid, 1});
      canvas.SetBrush({0, platform::cbsClear});
      canvas.RequireState();
      globe.RenderGreatCircleLine(pathFrom, pathTo, gcShortest);
      globe.RenderCircle(circleCentre, circleRadius, 72);
    };
  }

  std::shared_ptr<platform::TBitmap> Frame(bool Shade) {
    shade = Shade;
    auto bitmap = globe.GetBitmap(kW, kH);
    EXPECT_EQ(bitmap->Width(), kW);
    return bitmap;
  }

  TPoint Project(const TPointLL& ll) {
    TPoint p;
    EXPECT_TRUE(P.PointLLToXY(ll, p)) << ll.iLongX / D << "," << ll.iLatY / D;
    return p;
  }

  /// Whether a 3 × 3 block round p holds the colour.
  static bool Near(const platform::TBitmap& B, TPoint p, TColor c) {
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (B.Pixel(p.X + dx, p.Y + dy) == c) return true;
    return false;
  }

  static void Save(const platform::TBitmap& B, const char* Name) {
    orvane::testing::SaveForALook(B, platform::ProgramFolder() + "/" + Name);
  }
};

TEST_F(FullFrameTest, NightTwilightAndDayAlongOneParallel) {
  const auto plain = Frame(false);
  const auto shaded = Frame(true);
  Save(*shaded, "fullframe.png");
  EXPECT_NEAR(sun.iLongX, -43.15 * D, D / 100);

  // Pixels of latitude 20° S in the eastern half of the texture (the sun is at 43° W, so
  // it sets near 47° E), each in the middle of a run of its class and off the graticule.
  const std::int32_t y = Project(Deg(10, -20)).Y;
  struct TRun {
    std::int32_t first = -1, last = -1;
  };
  TRun runs[4];
  for (std::int32_t x = kW / 2 + 2;; ++x) {
    TPointLL ll;
    if (!P.DeviceXYToLL(x, y, ll)) break;  // past the limb
    const std::int32_t c = DayNightClass(ll, sun);
    if (runs[c].first < 0) runs[c].first = x;
    runs[c].last = x;
  }
  ASSERT_GE(runs[1].last - runs[1].first, 40);
  ASSERT_GE(runs[3].last - runs[3].first, 4) << "no twilight band";
  ASSERT_GE(runs[2].last - runs[2].first, 15);
  EXPECT_LT(runs[1].last, runs[3].first);
  EXPECT_LT(runs[3].last, runs[2].first);

  const TPoint day = {Project(Deg(22, -20)).X, y};
  const TPoint twilight = {(runs[3].first + runs[3].last) / 2, y};
  const TPoint night = {Project(Deg(68, -20)).X, y};
  for (const TPoint p : {day, twilight, night}) EXPECT_EQ(plain->Pixel(p.X, p.Y), kEast);

  EXPECT_EQ(shaded->Pixel(day.X, day.Y), kEast);
  EXPECT_EQ(shaded->Pixel(twilight.X, twilight.Y), Blend(kEast, kTwilight, 4));
  EXPECT_EQ(shaded->Pixel(night.X, night.Y), Blend(kEast, kNight, 2));
  EXPECT_LT(Luminance(shaded->Pixel(night.X, night.Y)),
            Luminance(shaded->Pixel(twilight.X, twilight.Y)));
  EXPECT_LT(Luminance(shaded->Pixel(twilight.X, twilight.Y)), Luminance(kEast));
}

TEST_F(FullFrameTest, TextureGraticuleAndTheDiscEdge) {
  const auto shaded = Frame(true);
  // Texture colours at known points on the day side.
  const TPoint west = Project(Deg(-23, 10));
  const TPoint east = Project(Deg(8, -8));
  EXPECT_EQ(shaded->Pixel(west.X, west.Y), kWest);
  EXPECT_EQ(shaded->Pixel(east.X, east.Y), kEast);
  // The equator and the meridian 30° W are graticule lines.
  EXPECT_TRUE(Near(*shaded, Project(Deg(-10, 0)), kGraticule));
  EXPECT_TRUE(Near(*shaded, Project(Deg(-30, -10)), kGraticule));

  // Along the row 30 pixels above the centre the disc spans ±sqrt(140² − 30²) ≈ ±136.7
  // pixels: inside is textured, outside the background, on the day (west) and the night
  // (east) limb alike.
  const std::int32_t y = kH / 2 - 30;
  const std::int32_t half = 136;
  EXPECT_EQ(shaded->Pixel(kW / 2 - half + 3, y), kWest);
  EXPECT_EQ(shaded->Pixel(kW / 2 - half - 3, y), kBackground);
  EXPECT_EQ(shaded->Pixel(kW / 2 + half - 3, y), Blend(kEast, kNight, 2));
  EXPECT_EQ(shaded->Pixel(kW / 2 + half + 3, y), kBackground);
  EXPECT_EQ(shaded->Pixel(2, 2), kBackground);
  EXPECT_EQ(shaded->Pixel(kW - 3, kH - 3), kBackground);
}

TEST_F(FullFrameTest, PathAndCircleAreDrawnAboveTheShading) {
  const auto shaded = Frame(true);
  for (double f = 0.05; f < 1; f += 0.1) {
    const TPointLL ll = Along(pathFrom, pathTo, f);
    const TPoint p = Project(ll);
    EXPECT_TRUE(Near(*shaded, p, kRed)) << "path at " << f << ": " << p.X << "," << p.Y;
  }
  // The circle starts due north of its centre and passes due south of it.
  for (const TPointLL ll : {Deg(20, -45 + 6), Deg(20, -45 - 6)}) {
    const TPoint p = Project(ll);
    EXPECT_TRUE(Near(*shaded, p, kRed)) << "circle at " << p.X << "," << p.Y;
  }
  // Its centre is not on it.
  const TPoint centre = Project(circleCentre);
  EXPECT_FALSE(Near(*shaded, centre, kRed));
}

}  // namespace
}  // namespace globe::testing
