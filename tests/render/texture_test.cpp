// Texture mapping into the off-screen picture: the filling rules of one triangle, checked
// pixel by pixel, and whole textured maps through the Qt raster device, written beside the
// test program for a look.
#include "globe/core/texture.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "globe/core/units.h"
#include "globe/projection/models.h"
#include "globe/projection/projection.h"
#include "globe/render/canvas.h"
#include "tests/support/lookpicture.h"
#include "tests/support/testglobe.h"

namespace globe::testing {
namespace {

constexpr std::int32_t D = GU_DEGREE;
constexpr TColor kBackground = 0x202020;

TPointLL Deg(double Long, double Lat) {
  return {static_cast<std::int32_t>(Long * D), static_cast<std::int32_t>(Lat * D), 0};
}

/// An uncompressed 8-bit bitmap file image of Width × Height pixels (Width a multiple of 4)
/// with the palette indices Index(u, v), v = memory row counted from the bottom, and the
/// colours Colour(i).
std::vector<std::uint8_t> MakeBitmap(int Width, int Height,
                                     const std::function<int(int, int)>& Index,
                                     const std::function<TColor(int)>& Colour) {
  std::vector<std::uint8_t> b(1078 + static_cast<std::size_t>(Width * Height));
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = (v >> (8 * i)) & 0xFF;
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<std::uint32_t>(b.size()));
  put32(10, 1078);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(Width));
  put32(22, static_cast<std::uint32_t>(Height));
  b[26] = 1;
  b[28] = 8;
  put32(34, static_cast<std::uint32_t>(Width * Height));
  for (int i = 0; i < 256; ++i) {
    const TColor c = Colour(i);
    b[54 + 4 * i] = platform::GetBValue(c);
    b[55 + 4 * i] = platform::GetGValue(c);
    b[56 + 4 * i] = platform::GetRValue(c);
  }
  for (int v = 0; v < Height; ++v)
    for (int u = 0; u < Width; ++u)
      b[1078 + static_cast<std::size_t>(v * Width + u)] = static_cast<std::uint8_t>(Index(u, v));
  return b;
}

// Texel (u, v) of the probe texture has index u + 16v and a colour of its own.
TColor ProbeColour(int i) { return platform::RGB(static_cast<std::uint8_t>(i), 255 - i, 7); }
TColor Texel(int u, int v) { return ProbeColour(u + 16 * v); }

class TextureTest : public ::testing::Test {
 protected:
  TTestGlobe globe;
  TGlobeCanvas& canvas = globe.GlobeCanvas();
  TGlobeProjection& P = globe.Projection();
  TTextureData texture;

  /// A picture of W × H pixels filled with the background colour.
  void Picture(std::int32_t W, std::int32_t H) {
    globe.SetClientSize(W, H);
    canvas.SizeBMP(W, H, 96);
    for (std::int32_t y = 0; y < H; ++y) {
      for (std::int32_t x = 0; x < W; ++x) {
        std::uint8_t* p = canvas.Bitmap()->ScanLine(y) + platform::TBitmap::kPixelBytes * x;
        p[0] = platform::GetBValue(kBackground);
        p[1] = platform::GetGValue(kBackground);
        p[2] = platform::GetRValue(kBackground);
      }
    }
  }
  TColor At(std::int32_t X, std::int32_t Y) const { return canvas.Bitmap()->Pixel(X, Y); }
  int CountBackground() const {
    int n = 0;
    for (std::int32_t y = 0; y < canvas.Bitmap()->Height(); ++y)
      for (std::int32_t x = 0; x < canvas.Bitmap()->Width(); ++x) n += At(x, y) == kBackground;
    return n;
  }

  /// Plate carrée, a pixel a degree: (lon, lat) lands on (XOrigin + lon, 90 − lat).
  void FlatMap(std::int32_t XOrigin = 180, Extended CentralMeridian = 0) {
    Picture(360, 180);
    P.SetProjectionClass("TCartesianPrj");
    P.SetCentralMeridian(CentralMeridian);
    P.SetScaleFactor(1.0L / D);
    P.SetXOrigin(XOrigin);
    P.SetYOrigin(90);
  }

  /// The 16 × 16 probe texture placed so that texel (u, v) lies at longitude u°, latitude v°.
  void ProbeTexture() {
    texture.LoadFromStream(MakeBitmap(
        16, 16, [](int u, int v) { return u + 16 * v; }, ProbeColour));
    texture.MapPoint(0, 15 * D, 0, 0);
    texture.MapPoint(15 * D, -1 * D, 15, 15);
    ASSERT_EQ(texture.LLToTextureXY(Deg(3, 10)), (TPoint{3, 10}));
  }

  void Triangle(TPointLL a, TPointLL b, TPointLL c) {
    canvas.RenderTextureTriangle({{a, b, c}}, texture);
  }

  /// Pixels of the picture expected inside the triangle (by Inside) carry Expected(x, y);
  /// all others keep the background.
  void ExpectPicture(const std::function<bool(int, int)>& Inside,
                     const std::function<TColor(int, int)>& Expected) {
    for (std::int32_t y = 0; y < canvas.Bitmap()->Height(); ++y) {
      for (std::int32_t x = 0; x < canvas.Bitmap()->Width(); ++x) {
        const TColor want = Inside(x, y) ? Expected(x, y) : kBackground;
        ASSERT_EQ(At(x, y), want) << "pixel " << x << ", " << y;
      }
    }
  }
};

// ---- One triangle -----------------------------------------------------------------------

TEST_F(TextureTest, TriangleDrawsFromTheTopRowToAboveTheLowestCorner) {
  FlatMap();
  ProbeTexture();
  // Device corners (180, 75), (190, 75), (180, 85): a flat top, the long edge to the left.
  Triangle(Deg(0, 15), Deg(10, 15), Deg(0, 5));
  // Row 75 + k runs from x 180 up to, not including, 190 − k; row 85 is not drawn. Texture
  // coordinates follow longitude and latitude exactly.
  ExpectPicture([](int x, int y) { return y >= 75 && y < 85 && x >= 180 && x < 190 - (y - 75); },
                [](int x, int y) { return Texel(x - 180, 90 - y); });
}

TEST_F(TextureTest, HorizontalBottomEdgeAndZeroWidthSpansDrawNothing) {
  FlatMap();
  ProbeTexture();
  // (180, 75), (180, 85), (190, 85): row 75 has both ends at 180, row 85 is the bottom edge.
  Triangle(Deg(0, 15), Deg(0, 5), Deg(10, 5));
  ExpectPicture([](int x, int y) { return y > 75 && y < 85 && x >= 180 && x < 180 + (y - 75); },
                [](int x, int y) { return Texel(x - 180, 90 - y); });
}

TEST_F(TextureTest, SpanStartingLeftOfThePictureStartsAtZeroWithAdvancedTexture) {
  FlatMap(-5);  // longitude 0° at x = −5
  ProbeTexture();
  Triangle(Deg(0, 15), Deg(10, 15), Deg(0, 5));
  ExpectPicture([](int x, int y) { return y >= 75 && y < 85 && x < 5 - (y - 75); },
                [](int x, int y) { return Texel(x + 5, 90 - y); });
}

TEST_F(TextureTest, TransparentTexelsKeepThePixelBelow) {
  FlatMap();
  ProbeTexture();
  texture.TransparentIndex = 3 + 16 * 10;  // texel (3, 10), at pixel (183, 80)
  Triangle(Deg(0, 15), Deg(10, 15), Deg(0, 5));
  EXPECT_EQ(At(183, 80), kBackground);
  EXPECT_EQ(At(182, 80), Texel(2, 10));
  EXPECT_EQ(At(183, 79), Texel(3, 11));
}

TEST_F(TextureTest, TextureCoordinatesBeyondTheImageTakeItsEdge) {
  FlatMap();
  ProbeTexture();
  // Longitudes up to 25° and latitudes down to −5° lie beyond the 16 × 16 texels.
  Triangle(Deg(5, 15), Deg(25, 15), Deg(5, -5));
  EXPECT_EQ(At(200, 76), Texel(15, 14));  // u 20 → 15
  EXPECT_EQ(At(186, 93), Texel(6, 0));    // v −3 → 0
  EXPECT_EQ(At(185, 94), Texel(5, 0));
}

TEST_F(TextureTest, TexelsHalfwayBetweenTwoRoundToTheEvenOne) {
  // Two pixels a texel: every other pixel and row lies exactly halfway between two texels
  // and takes the even one (0.5 → 0, 1.5 → 2, 2.5 → 2), not the next one up.
  FlatMap();
  P.SetScaleFactor(2.0L / D);  // (lon, lat) lands on (180 + 2 lon, 90 − 2 lat)
  ProbeTexture();
  Triangle(Deg(0, 15), Deg(8, 15), Deg(0, 7));
  auto even = [](int Halves) { return Halves / 2 + (Halves % 4 == 3); };
  ExpectPicture([](int x, int y) { return y >= 60 && y < 76 && x >= 180 && x < 196 - (y - 60); },
                [&](int x, int y) { return Texel(even(x - 180), even(90 - y)); });
}

TEST_F(TextureTest, EdgesHalfwayBetweenTwoPixelsRoundTheSameInEveryRoundingMode) {
  // The long edge moves half a pixel a row, exactly: its halves round to even whatever
  // rounding mode the caller left, as in the default one.
  auto draw = [&](int Mode) {
    FlatMap();
    ProbeTexture();
    EXPECT_EQ(std::fesetround(Mode), 0);
    Triangle(Deg(0, 30), Deg(10, 30), Deg(0, 10));
    std::fesetround(FE_TONEAREST);
    std::vector<TColor> pixels;
    for (std::int32_t y = 55; y < 85; ++y)
      for (std::int32_t x = 175; x < 195; ++x) pixels.push_back(At(x, y));
    return pixels;
  };
  const std::vector<TColor> nearest = draw(FE_TONEAREST);
  // The span of row 60 + k ends before 190 − k / 2, rounded: 189.5 → 190, 188.5 → 188.
  EXPECT_EQ(nearest[(61 - 55) * 20 + (189 - 175)], Texel(9, 15));
  EXPECT_EQ(nearest[(63 - 55) * 20 + (188 - 175)], kBackground);
  for (const int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) EXPECT_EQ(draw(mode), nearest);
}

TEST_F(TextureTest, FlatMapDrawsTrianglesAcrossItsSeamAtBothEdges) {
  ProbeTexture();
  // A triangle 10° wide centred on the seam, and one across 180° away from the seam. The
  // longitudes are compared as the map places them, relative to the central meridian.
  struct Case {
    const char* name;
    Extended meridian;
    double west;     // the triangle's west corners; it reaches 10° east of them
    int fromX, toX;  // columns it may cover
  };
  const Case cases[] = {
      {"seam 180°", 0, 175, 0, 359},
      {"seam 150°W", 30, -155, 0, 359},
      {"180° inside the map", 30, 175, 320, 340},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FlatMap(180, c.meridian);
    const double east = c.west + 10 > 180 ? c.west - 350 : c.west + 10;
    Triangle(Deg(c.west, 10), Deg(east, 10), Deg(c.west, 0));
    int drawn = 0, stray = 0, left = 0, right = 0;
    for (std::int32_t y = 0; y < 180; ++y) {
      for (std::int32_t x = 0; x < 360; ++x) {
        if (At(x, y) == kBackground) continue;
        ++drawn;
        const bool edges = c.fromX == 0;
        if (edges ? (x > 10 && x < 349) : (x < c.fromX || x > c.toX)) ++stray;
        if (y < 80 || y > 90) ++stray;
        left += x < 10;
        right += x > 349;
      }
    }
    EXPECT_EQ(stray, 0);   // nothing smeared across the map
    EXPECT_GT(drawn, 40);  // about half of 10 × 10 pixels
    if (c.fromX == 0) {
      // Both pieces: the west corners' part at the right edge, the rest at the left.
      EXPECT_GT(left, 5);
      EXPECT_GT(right, 20);
    }
  }
}

TEST_F(TextureTest, SphereSkipsTrianglesWithACornerBehindIt) {
  Picture(200, 200);
  P.SetProjectionClass("TSphericalPrj");
  P.SetXRotation(0);
  P.SetYRotation(0);
  P.SetScaleFactor(90.0L / GU_EARTH_RADIUS);
  P.SetXOrigin(100);
  P.SetYOrigin(100);
  ProbeTexture();
  Triangle(Deg(80, 0), Deg(100, 0), Deg(80, 10));  // 100°E is on the far side
  EXPECT_EQ(CountBackground(), 200 * 200);
  Triangle(Deg(60, 0), Deg(85, 0), Deg(60, 10));
  EXPECT_LT(CountBackground(), 200 * 200 - 50);
}

TEST_F(TextureTest, NothingIsDrawnWithoutAPictureOrATexture) {
  ProbeTexture();
  canvas.RenderTextureTriangle({{Deg(0, 15), Deg(10, 15), Deg(0, 5)}}, texture);  // no picture
  canvas.RenderTextureMap(texture);
  FlatMap();
  TTextureData empty;
  canvas.RenderTextureTriangle({{Deg(0, 15), Deg(10, 15), Deg(0, 5)}}, empty);
  canvas.RenderTextureMap(empty);
  EXPECT_EQ(CountBackground(), 360 * 180);
}

TEST_F(TextureTest, CanvasLargerThanThePictureIsNotWrittenBeyondIt) {
  FlatMap();
  ProbeTexture();
  P.SetScaleFactor(10.0L / D);
  canvas.SetCanvasWidth(100'000);
  canvas.SetCanvasHeight(100'000);
  // Device corners (180, −60), (480, −60), (180, 390): past the picture's right and bottom.
  Triangle(Deg(0, 15), Deg(30, 15), Deg(0, -30));
  EXPECT_NE(At(359, 10), kBackground);
  EXPECT_NE(At(200, 179), kBackground);
  canvas.SetCanvasWidth(360);
  canvas.SetCanvasHeight(180);
}

// ---- Whole maps through the Qt raster device -------------------------------------------

// A world texture of 64 × 32 texels in blocks of 45° × 45°, each its own colour.
constexpr int kBlocksAcross = 8;
TColor BlockColour(int i) {
  return platform::RGB(static_cast<std::uint8_t>(40 + 25 * (i % kBlocksAcross)),
                       static_cast<std::uint8_t>(60 + 45 * (i / kBlocksAcross)), 200);
}
// The colour of the block holding (lon, lat) in degrees.
TColor BlockAt(double Long, double Lat) {
  const int column = static_cast<int>((Long + 180) / 45);
  const int row = static_cast<int>((Lat + 90) / 45);  // from the south, as memory rows
  return BlockColour(column + kBlocksAcross * row);
}

class TexturedMapTest : public TextureTest {
 protected:
  platform::TCanvas window;

  ~TexturedMapTest() override { canvas.ReleaseBMP(nullptr); }

  void Start(std::int32_t W, std::int32_t H) {
    Picture(W, H);
    canvas.SelectBMP(window);
    canvas.RefreshDC();
    globe.BackgroundTextureMap().LoadFromStream(MakeBitmap(
        64, 32, [](int u, int v) { return u / 8 + kBlocksAcross * (v / 8); }, BlockColour));
  }
  void Finish(const std::string& Name) {
    canvas.ReleaseBMP(nullptr);
    const platform::TBitmap& b = *canvas.Bitmap();
    orvane::testing::SaveForALook(b, std::string(ORVANE_RENDER_OUTPUT_DIR) + "/" + Name);
  }
  TColor AtLL(double Long, double Lat) {
    TPoint p;
    P.PointLLToXY(Deg(Long, Lat), p);
    return At(p.X, p.Y);
  }
};

TEST_F(TexturedMapTest, TexturedSphere) {
  Start(300, 300);
  P.SetProjectionClass("TSphericalPrj");
  P.SetXRotation(20);
  P.SetYRotation(30);
  P.SetScaleFactor(120.0L / GU_EARTH_RADIUS);
  P.SetXOrigin(150);
  P.SetYOrigin(150);
  P.ProjectionModel().PaintSurface();
  Finish("textured_sphere.png");

  for (const auto& [lon, lat] : std::vector<std::pair<double, double>>{
           {22.5, 22.5}, {67.5, 22.5}, {-22.5, -22.5}, {22.5, 67.5}, {67.5, -22.5}}) {
    EXPECT_EQ(AtLL(lon, lat), BlockAt(lon, lat)) << lon << ", " << lat;
  }
  // The disc is covered without gaps away from the limb, and nothing lands off it.
  int inside = 0, outside = 0;
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 300; ++x) {
      const double r = std::hypot(x - 150, y - 150);
      if (r < 110) inside += At(x, y) == kBackground;
      if (r > 122) outside += At(x, y) != kBackground;
    }
  }
  EXPECT_EQ(inside, 0);
  EXPECT_EQ(outside, 0);
}

TEST_F(TexturedMapTest, TexturedSphereKeepsEachSideOfTheDateLine) {
  // Vertices on 180° belong to the east faces at +180° and to the west faces at −180°, so
  // no triangle there stretches across the whole texture.
  Start(300, 300);
  P.SetProjectionClass("TSphericalPrj");
  P.SetXRotation(0);
  P.SetYRotation(180);
  P.SetScaleFactor(120.0L / GU_EARTH_RADIUS);
  P.SetXOrigin(150);
  P.SetYOrigin(150);
  P.ProjectionModel().PaintSurface();
  Finish("textured_sphere_dateline.png");
  for (const double lat : {-60.0, -20.0, 10.0, 50.0}) {
    for (const double lon : {-177.0, -160.0, 160.0, 177.0})
      EXPECT_EQ(AtLL(lon, lat), BlockAt(lon, lat)) << lon << ", " << lat;
  }
}

TEST_F(TexturedMapTest, TexturedPlateCarree) {
  // With another central meridian 180° lies inside the map and the seam cuts through cells.
  for (const Extended meridian : {0.0L, 150.0L}) {
    SCOPED_TRACE(static_cast<double>(meridian));
    Start(360, 180);
    P.SetProjectionClass("TCartesianPrj");
    P.SetCentralMeridian(meridian);
    P.SetScaleFactor(1.0L / D);
    P.SetXOrigin(180);
    P.SetYOrigin(90);
    P.ProjectionModel().PaintSurface();
    Finish(meridian == 0 ? "textured_platecarree.png" : "textured_platecarree_150e.png");

    for (const double lat : {-67.5, -22.5, 22.5, 67.5}) {
      for (const double lon : {-177.0, -157.5, -31.0, -29.0, -22.5, 22.5, 112.5, 177.0})
        EXPECT_EQ(AtLL(lon, lat), BlockAt(lon, lat)) << lon << ", " << lat;
    }
    // The last texel column and row are covered as well: no gap along 180° or the edges.
    EXPECT_EQ(CountBackground(), 0);
  }
}

TEST_F(TexturedMapTest, TexturedAzimuthalMap) {
  // Centred on the equator, on a pole and on a point off both, so that 180° and the poles
  // cross the disc and the texture's seam runs out to the rim.
  for (const auto& [lat0, lon0] :
       std::vector<std::pair<double, double>>{{0, 0}, {90, 0}, {-35, 150}}) {
    SCOPED_TRACE(std::to_string(lat0) + ", " + std::to_string(lon0));
    Start(300, 300);
    P.SetProjectionClass("TAzimuthalPrj");
    P.SetCentralParallel(lat0);
    P.SetCentralMeridian(lon0);
    P.SetScaleFactor(0);
    P.SetScaleFactor(120.0L / GU_90_DEGREE);  // the rim 120 pixels from the middle
    ASSERT_EQ(P.CenterXY(), (TPoint{150, 150}));
    P.ProjectionModel().PaintSurface();
    Finish("textured_azimuthal.png");

    for (const double lat : {-67.5, -22.5, 22.5, 67.5}) {
      for (double lon = -157.5; lon < 180; lon += 45)
        EXPECT_EQ(AtLL(lon, lat), BlockAt(lon, lat)) << lon << ", " << lat;
    }
    int inside = 0, outside = 0;
    for (int y = 0; y < 300; ++y) {
      for (int x = 0; x < 300; ++x) {
        const double r = std::hypot(x - 150, y - 150);
        if (r < 119.5) inside += At(x, y) == kBackground;
        if (r > 120.5) outside += At(x, y) != kBackground;
      }
    }
    EXPECT_EQ(inside, 0);
    EXPECT_EQ(outside, 0);
  }
}

TEST_F(TexturedMapTest, PictureWidthNotAMultipleOfFourMapsNoPadding) {
  // ImageMagick's 10 × 5 picture, rows padded to 12 bytes: its ten columns fill the map.
  Start(360, 180);
  P.SetProjectionClass("TCartesianPrj");
  P.SetScaleFactor(1.0L / D);
  P.SetXOrigin(180);
  P.SetYOrigin(90);
  TTextureData& t = globe.BackgroundTextureMap();
  t.LoadFromFile(std::string(ORVANE_TEST_DATA_DIR) + "/texture/palette_10x5.bmp");
  ASSERT_EQ(t.Width(), 12);
  P.ProjectionModel().PaintSurface();
  Finish("textured_10x5.png");
  // Picture pixel (x, y), y = 0 at the top, is red 20x + 10, green 40y + 20, blue 100; the
  // padding bytes are index 0, which is pixel (0, 0). Each map pixel shows the column and
  // row of its place, give or take one.
  for (std::int32_t y = 0; y < 180; y += 3) {
    for (std::int32_t x = 0; x < 360; x += 3) {
      const TColor c = At(x, y);
      ASSERT_EQ(platform::GetBValue(c), 100) << x << ", " << y;
      const int column = (platform::GetRValue(c) - 10) / 20;
      const int row = (platform::GetGValue(c) - 20) / 40;
      ASSERT_LE(std::abs(column - x * 9 / 359), 1) << x << ", " << y;
      ASSERT_LE(std::abs(row - y * 5 / 180), 1) << x << ", " << y;
    }
  }
  EXPECT_EQ(platform::GetRValue(At(359, 90)), 190);  // the east edge shows column 9
}

TEST_F(TexturedMapTest, PlateCarreeShowsEveryPixelsOwnTexel) {
  // The plate carrée is drawn in large cells: across all of them, and across the seam that
  // cuts them with another central meridian, each pixel shows the texel of its own place,
  // give or take one. Texels carry their column and row modulo 16 in red and green.
  for (const Extended meridian : {0.0L, 150.0L, -37.5L}) {
    SCOPED_TRACE(static_cast<double>(meridian));
    Picture(720, 360);
    canvas.SelectBMP(window);
    canvas.RefreshDC();
    TTextureData& map = globe.BackgroundTextureMap();
    map.LoadFromStream(MakeBitmap(
        360, 180, [](int u, int v) { return u % 16 + 16 * (v % 16); },
        [](int i) {
          return platform::RGB(static_cast<std::uint8_t>(10 * (i % 16) + 5),
                               static_cast<std::uint8_t>(10 * (i / 16) + 5), 77);
        }));
    P.SetProjectionClass("TCartesianPrj");
    P.SetCentralMeridian(meridian);
    P.SetScaleFactor(2.0L / D);
    P.SetXOrigin(360);
    P.SetYOrigin(180);
    P.ProjectionModel().PaintSurface();
    auto near = [](int a, int b) {
      const int d = ((a - b) % 16 + 16) % 16;
      return std::min(d, 16 - d) <= 1;
    };
    int wrong = 0;
    for (std::int32_t y = 1; y < 359; ++y) {
      for (std::int32_t x = 1; x < 719; ++x) {
        double lon = (x - 360) / 2.0 + static_cast<double>(meridian);
        if (lon >= 180) lon -= 360;
        if (lon < -180) lon += 360;
        const TPoint t = map.LLToTextureXY(Deg(lon, (180 - y) / 2.0));
        const TColor c = At(x, y);
        const bool ok = platform::GetBValue(c) == 77 &&
                        near((platform::GetRValue(c) - 5) / 10, t.X) &&
                        near((platform::GetGValue(c) - 5) / 10, t.Y);
        if (!ok && ++wrong <= 5) ADD_FAILURE() << "pixel " << x << ", " << y;
      }
    }
    EXPECT_EQ(wrong, 0);
    canvas.ReleaseBMP(nullptr);
  }
}

TEST_F(TexturedMapTest, FlatMapWithoutTextureFlagDrawsTheOutline) {
  Start(360, 180);
  P.SetProjectionClass("TCartesianPrj");
  P.SetScaleFactor(1.0L / D);
  P.SetXOrigin(180);
  P.SetYOrigin(90);
  P.SetFlags({});
  P.ProjectionModel().PaintSurface();  // the canvas's white brush
  EXPECT_EQ(At(100, 100), 0xFFFFFFu);
}

}  // namespace
}  // namespace globe::testing
