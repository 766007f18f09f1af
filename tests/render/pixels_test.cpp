// Whole pictures through the Qt raster device: the surface, a hand-made graticule, seam
// splitting, hatch and pattern brushes and turned text, checked where it matters. The
// pictures are written beside the test program for a look.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "globe/core/pointstore.h"
#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projection.h"
#include "globe/render/attributes.h"
#include "globe/render/canvas.h"
#include "tests/support/lookpicture.h"
#include "tests/support/testglobe.h"

namespace globe::testing {
namespace {

constexpr std::int32_t D = GU_DEGREE;
constexpr TColor kBlack = 0x000000;
constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kRed = 0x0000FF;
constexpr TColor kGreen = 0x00C000;
constexpr TColor kBlue = 0xFF0000;
constexpr TColor kYellow = 0x00FFFF;

TPointLL Deg(double Long, double Lat) {
  return {static_cast<std::int32_t>(Long * D), static_cast<std::int32_t>(Lat * D), 0};
}

class PixelTest : public ::testing::Test {
 protected:
  TTestGlobe globe;
  TGlobeCanvas& canvas = globe.GlobeCanvas();
  TGlobeProjection& P = globe.Projection();
  platform::TCanvas window;  // stands in for the window whose font SelectBMP takes

  ~PixelTest() override { canvas.ReleaseBMP(nullptr); }

  void Start(std::int32_t W, std::int32_t H) {
    globe.SetClientSize(W, H);
    canvas.SizeBMP(W, H, 96);
    canvas.SelectBMP(window);
    canvas.RefreshDC();
  }

  /// Ends drawing (the memory device lets go of the picture) and writes it as a PNG.
  void Finish(const std::string& Name) {
    canvas.ReleaseBMP(nullptr);
    const platform::TBitmap& b = *canvas.Bitmap();
    orvane::testing::SaveForALook(b, std::string(ORVANE_RENDER_OUTPUT_DIR) + "/" + Name);
  }

  TColor At(std::int32_t X, std::int32_t Y) const { return canvas.Bitmap()->Pixel(X, Y); }
  TColor AtLL(double Long, double Lat) {
    TPoint p;
    P.PointLLToXY(Deg(Long, Lat), p);
    return At(p.X, p.Y);
  }

  void Use(TGlobeAttribute& Attr) { Attr.RenderAttribute(canvas, false); }

  /// Meridians and parallels every 30° as open chains of 5° steps.
  void Graticule() {
    TGlobePen pen;
    pen.Define(kYellow, platform::psSolid, 1, TGlobeUnitTypes::Pixel);
    Use(pen);
    TChainStore chains;
    std::int32_t n = 0;
    for (int lon = -180; lon < 180; lon += 30) {
      TPointStore& c = chains.GetChain(n++);
      for (int lat = -90; lat <= 90; lat += 5) c.Add(Deg(lon, lat));
    }
    for (int lat = -60; lat <= 60; lat += 30) {
      TPointStore& c = chains.GetChain(n++);
      for (int lon = -180; lon <= 180; lon += 5) c.Add(Deg(lon, lat));
    }
    canvas.RenderChainStore(chains, {}, 1);
  }

  void Ring(std::initializer_list<TPointLL> Points) {
    TChainStore chains;
    for (const TPointLL& p : Points) chains.GetChain(0).Add(p);
    canvas.RenderChainStore(chains, {osClosed}, 1);
  }

  /// Counts pixels of the colour in the rectangle.
  int Count(TColor Color, std::int32_t X0, std::int32_t Y0, std::int32_t X1,
            std::int32_t Y1) const {
    int n = 0;
    for (std::int32_t y = Y0; y <= Y1; ++y) {
      for (std::int32_t x = X0; x <= X1; ++x) n += At(x, y) == Color;
    }
    return n;
  }
};

TEST_F(PixelTest, Sphere) {
  Start(300, 300);
  P.SetXRotation(0);
  P.SetYRotation(0);
  P.SetScaleFactor(120.0L / GU_EARTH_RADIUS);  // a disc of 120 pixels
  P.SetXOrigin(150);
  P.SetYOrigin(150);

  TGlobeBrush surface;
  surface.Define(kBlue, bsSolid);
  TGlobePen outline;
  outline.Define(kBlue, platform::psSolid, 1, TGlobeUnitTypes::Pixel);
  Use(surface);
  Use(outline);
  P.ProjectionModel().PaintSurface();
  Graticule();

  TGlobeBrush hatch;
  hatch.Define(kRed, bsCross);
  Use(hatch);
  Ring({Deg(35, -35), Deg(55, -35), Deg(55, -55), Deg(35, -55)});
  Finish("sphere.png");

  // The disc and its edge, away from the graticule.
  EXPECT_EQ(AtLL(15, 15), kBlue);
  EXPECT_EQ(At(233, 67), kBlue);   // radius 117, 45° up
  EXPECT_EQ(At(238, 62), kBlack);  // radius 124
  EXPECT_EQ(At(5, 5), kBlack);
  // The meridian at 0° runs down the middle.
  EXPECT_EQ(At(150, 100), kYellow);
  EXPECT_EQ(AtLL(0, 45), kYellow);
  // Cross hatching: lines in the brush colour, the surface showing between them.
  TPoint c;
  P.PointLLToXY(Deg(45, -45), c);
  EXPECT_GT(Count(kRed, c.X - 5, c.Y - 5, c.X + 5, c.Y + 5), 5);
  EXPECT_GT(Count(kBlue, c.X - 5, c.Y - 5, c.X + 5, c.Y + 5), 20);
}

TEST_F(PixelTest, PlateCarree) {
  Start(360, 180);
  P.SetProjectionClass("TCartesianPrj");
  P.SetCentralMeridian(0);
  P.SetScaleFactor(1.0L / D);  // a pixel a degree
  P.SetXOrigin(180);
  P.SetYOrigin(90);

  TGlobeBrush surface;
  surface.Define(kGreen, bsSolid);
  TGlobePen clear;
  clear.Define(kGreen, platform::psClear, 1, TGlobeUnitTypes::Pixel);
  Use(surface);
  Use(clear);
  P.ProjectionModel().PaintSurface();
  Graticule();

  // A ring over the seam is cut into a piece at each edge of the map, not drawn across it.
  TGlobeBrush red;
  red.Define(kRed, bsSolid);
  Use(red);
  Use(clear);
  Ring({Deg(170, 10), Deg(-170, 10), Deg(-170, -10), Deg(170, -10)});

  // bsPattern6: rows of brush colour and background colour by turns.
  TGlobeBrush pattern;
  pattern.Define(kRed, bsPattern6);
  pattern.SetBrushBkColor(kWhite);
  Use(pattern);
  Ring({Deg(-150, 70), Deg(-120, 70), Deg(-120, 40), Deg(-150, 40)});

  // Horizontal hatching leaves its gaps alone whatever the background colour.
  TGlobeBrush hatch;
  hatch.Define(kBlack, bsHorizontal);
  hatch.SetBrushBkColor(kWhite);
  Use(hatch);
  Ring({Deg(30, -40), Deg(60, -40), Deg(60, -70), Deg(30, -70)});
  Finish("platecarree.png");

  EXPECT_EQ(At(5, 5), kGreen);
  EXPECT_EQ(At(354, 174), kGreen);
  EXPECT_EQ(At(90, 100), kYellow);  // meridian 90°W
  EXPECT_EQ(At(100, 60), kYellow);  // parallel 30°N

  EXPECT_EQ(At(355, 95), kRed);
  EXPECT_EQ(At(4, 85), kRed);
  EXPECT_EQ(At(100, 95), kGreen);

  for (std::int32_t y = 32; y < 40; ++y) {
    EXPECT_EQ(At(45, y), y % 2 ? kWhite : kRed) << y;
  }

  const int lines = Count(kBlack, 225, 135, 225, 155);
  const int gaps = Count(kGreen, 225, 135, 225, 155);
  EXPECT_GT(lines, 0);
  EXPECT_GT(gaps, lines);
  EXPECT_EQ(Count(kWhite, 212, 132, 238, 158), 0);
}

TEST_F(PixelTest, FlatRingRoundAPoleFillsThatPolesCap) {
  // A ring at 70° round either pole, running either way, on maps with the seam at 180° and
  // at 150°W: the cap it encloses is filled, the rest of the earth is not.
  struct Case {
    const char* name;
    double lat;
    bool eastward;
    Extended meridian;
  };
  const Case cases[] = {
      {"north eastward", 70, true, 0},   {"north westward", 70, false, 0},
      {"north, CM 30°E", 70, true, 30},  {"south eastward", -70, true, 0},
      {"south westward", -70, false, 0}, {"south, CM 30°E", -70, false, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(360, 180);
    P.SetProjectionClass("TCartesianPrj");
    P.SetCentralMeridian(c.meridian);
    P.SetScaleFactor(1.0L / D);
    P.SetXOrigin(180);
    P.SetYOrigin(90);
    TGlobeBrush surface;
    surface.Define(kGreen, bsSolid);
    TGlobePen clear;
    clear.Define(kGreen, platform::psClear, 1, TGlobeUnitTypes::Pixel);
    Use(surface);
    Use(clear);
    P.ProjectionModel().PaintSurface();
    TGlobeBrush red;
    red.Define(kRed, bsSolid);
    Use(red);
    TChainStore chains;
    for (int i = 0; i < 12; ++i) {
      const int lon = -165 + 30 * (c.eastward ? i : 11 - i);
      chains.GetChain(0).Add(Deg(lon, c.lat));
    }
    canvas.RenderChainStore(chains, {osClosed}, 1);
    Finish(std::string("pole_ring_") + (c.lat > 0 ? "north" : "south") + ".png");

    const double cap = c.lat > 0 ? 80 : -80;
    for (const double lon : {-179.0, -100.0, 0.0, 100.0, 179.0}) {
      EXPECT_EQ(AtLL(lon, cap), kRed) << lon;
      EXPECT_EQ(AtLL(lon, 0), kGreen) << lon;
      EXPECT_EQ(AtLL(lon, -cap), kGreen) << lon;
    }
  }
}

TEST_F(PixelTest, TurnedText) {
  Start(100, 100);
  TGlobeFont font;
  font.Define("DejaVu Sans", kWhite, 20, TGlobeUnitTypes::Pixel, 900, {fsBold});
  Use(font);
  canvas.DC()->TextOut(50, 90, "HHHHHH");
  Finish("text.png");

  // Turned a quarter counter-clockwise the text runs up from its reference point, the
  // glyphs hanging to the right of it.
  std::int32_t left = 100, right = -1, top = 100, bottom = -1;
  for (std::int32_t y = 0; y < 100; ++y) {
    for (std::int32_t x = 0; x < 100; ++x) {
      if (platform::GetGValue(At(x, y)) > 128) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  ASSERT_GE(right, left);
  EXPECT_GT(bottom - top, 3 * (right - left));
  EXPECT_LE(bottom, 91);
  EXPECT_GE(left, 48);
  EXPECT_LE(right, 75);
}

// The azimuthal map centred on 0°, 0° with its rim 120 pixels from the middle of a 300-pixel
// picture: the antipode, 180°, 0°, is the whole rim.
class AzimuthalPixelTest : public PixelTest {
 protected:
  void Map(const char* Name) {
    Start(300, 300);
    P.SetProjectionClass("TAzimuthalPrj");
    P.SetCentralParallel(0);
    P.SetCentralMeridian(0);
    P.SetScaleFactor(0);
    P.SetScaleFactor(120.0L / GU_90_DEGREE);
    ASSERT_EQ(P.CenterXY(), (TPoint{150, 150}));
    TGlobeBrush surface;
    surface.Define(kBlue, bsSolid);
    TGlobePen outline;
    outline.Define(kBlue, platform::psSolid, 1, TGlobeUnitTypes::Pixel);
    Use(surface);
    Use(outline);
    P.ProjectionModel().PaintSurface();
    name_ = Name;
  }
  // The pixel Radius from the middle in the direction Azimuth (degrees from up, clockwise).
  TColor AtPolar(double Azimuth, double Radius) const {
    const double a = Azimuth * 3.14159265358979 / 180;
    return At(static_cast<std::int32_t>(std::lround(150 + Radius * std::sin(a))),
              static_cast<std::int32_t>(std::lround(150 - Radius * std::cos(a))));
  }
  void Done() { Finish(name_); }

 private:
  std::string name_;
};

TEST_F(AzimuthalPixelTest, LineThroughTheAntipodeIsCutAtTheRim) {
  // From the centre the equator runs right to 150°E at 100 pixels, the meridian of 180°
  // runs up over the north pole to 30°N at 100 pixels: through the antipode each goes on
  // the opposite side of the disc, never across it.
  struct Case {
    const char* name;
    std::vector<TPointLL> line;
    double outAzimuth;  // where it leaves by the rim
  };
  std::vector<TPointLL> equator, onVertex, meridian;
  for (const int lon : {150, 160, 170, -170, -160, -150}) equator.push_back(Deg(lon, 0));
  for (const int lon : {150, 160, 170, 180, -170, -160, -150}) onVertex.push_back(Deg(lon, 0));
  for (int lat = 30; lat >= -30; lat -= 10) meridian.push_back(Deg(180, lat));
  const Case cases[] = {{"equator", equator, 90},
                        {"vertex on the antipode", onVertex, 90},
                        {"meridian", meridian, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Map("azimuthal_line.png");
    TGlobePen pen;
    pen.Define(kYellow, platform::psSolid, 1, TGlobeUnitTypes::Pixel);
    Use(pen);
    TChainStore chains;
    for (const TPointLL& p : c.line) chains.GetChain(0).Add(p);
    canvas.RenderChainStore(chains, {}, 1);
    Done();
    for (const double r : {105.0, 112.0, 118.0}) {
      EXPECT_EQ(AtPolar(c.outAzimuth, r), kYellow) << r;
      EXPECT_EQ(AtPolar(c.outAzimuth + 180, r), kYellow) << r;
    }
    for (const double r : {0.0, 40.0, 80.0}) {
      EXPECT_EQ(AtPolar(c.outAzimuth, r), kBlue) << r;
      EXPECT_EQ(AtPolar(c.outAzimuth + 180, r), kBlue) << r;
    }
  }
}

TEST_F(AzimuthalPixelTest, RingsAtTheAntipode) {
  // A square of 20° round the antipode, either way round, shows as the band between its
  // ring and the rim; a square beside the antipode, one of its edges passing it within a
  // degree, as a crescent along the rim above the north pole.
  struct Case {
    const char* name;
    std::vector<TPointLL> ring;
    std::vector<double> redAzimuths;
    std::vector<double> blueAzimuths;
  };
  const std::vector<double> all{0, 45, 90, 135, 180, 225, 270, 315};
  const Case cases[] = {
      {"round it, eastward", {Deg(170, 10), Deg(-170, 10), Deg(-170, -10), Deg(170, -10)}, all, {}},
      {"round it, westward", {Deg(170, -10), Deg(-170, -10), Deg(-170, 10), Deg(170, 10)}, all, {}},
      {"beside it", {Deg(170, 10), Deg(-170, 10), Deg(-170, 1), Deg(170, 1)}, {0}, {90, 180, 270}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Map("azimuthal_ring.png");
    TGlobeBrush red;
    red.Define(kRed, bsSolid);
    TGlobePen clear;
    clear.Define(kRed, platform::psClear, 1, TGlobeUnitTypes::Pixel);
    Use(red);
    Use(clear);
    Ring({c.ring[0], c.ring[1], c.ring[2], c.ring[3]});
    Done();
    for (const double a : c.redAzimuths) EXPECT_EQ(AtPolar(a, 117), kRed) << a;
    for (const double a : c.blueAzimuths) EXPECT_EQ(AtPolar(a, 117), kBlue) << a;
    for (const double a : all) EXPECT_EQ(AtPolar(a, 95), kBlue) << a;
    EXPECT_EQ(AtPolar(0, 0), kBlue);
    EXPECT_EQ(At(5, 5), kBlack);
  }
}

}  // namespace
}  // namespace globe::testing
