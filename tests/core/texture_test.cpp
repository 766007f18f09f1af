#include "globe/core/texture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "globe/core/units.h"

namespace globe {
namespace {

using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;
using platform::TColor;

constexpr std::int32_t D = GU_DEGREE;
constexpr char kNot256[] = "Globe texture must be a 256 color RGB encoded bitmap";

std::string DataFile(const std::string& Name) {
  return std::string(ORVANE_TEST_DATA_DIR) + "/texture/" + Name;
}

Bytes ReadFile(const std::string& Name) {
  std::ifstream f(DataFile(Name), std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void Put32(Bytes& b, std::size_t At, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[At + static_cast<std::size_t>(i)] = (v >> (8 * i)) & 0xFF;
}
void Put16(Bytes& b, std::size_t At, std::uint16_t v) {
  b[At] = v & 0xFF;
  b[At + 1] = v >> 8;
}

// Field offsets within the file image.
constexpr std::size_t kOffBits = 10, kInfoSize = 14, kWidth = 18, kHeight = 22, kBitCount = 28,
                      kSizeImage = 34, kClrUsed = 46;

// The 10 × 5 fixture: picture pixel (x, y), y = 0 at the top, is red 20x+10, green 40y+20,
// blue 100. Rows are padded to 12 bytes; its header gives image size 60.
Bytes Picture() { return ReadFile("palette_10x5.bmp"); }
TColor PixelColor(int x, int y) {
  return platform::RGB(static_cast<std::uint8_t>(20 * x + 10),
                       static_cast<std::uint8_t>(40 * y + 20), 100);
}
// The geographic point that the default corners map onto picture pixel (x, y) of the
// 10 × 5 picture: its ten columns span the earth's width, the row padding is no part of it.
TPointLL PointOf(int x, int y) {
  return {-GU_180_DEGREE + x * (GU_360_DEGREE / 9), GU_90_DEGREE - y * (GU_180_DEGREE / 5), 0};
}

void ExpectPictureColors(const TTextureData& t) {
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 10; ++x)
      ASSERT_EQ(t.ColorAtLL(PointOf(x, y)), PixelColor(x, y)) << "pixel " << x << ", " << y;
}

// ---- Loading ----------------------------------------------------------------------------

TEST(TextureData, NewTextureIsEmptyAndCoversTheEarth) {
  TTextureData t;
  EXPECT_FALSE(t.IsValid());
  EXPECT_EQ(t.Bits(), nullptr);
  EXPECT_EQ(t.Width(), 0);
  EXPECT_EQ(t.TransparentIndex, -1);
  EXPECT_EQ(t.WorldPoints.GetLL(0), (TPointLL{-GU_180_DEGREE, GU_90_DEGREE, 0}));
  EXPECT_EQ(t.WorldPoints.GetLL(1), (TPointLL{GU_180_DEGREE, -GU_90_DEGREE, 0}));
  EXPECT_EQ(t.ColorToIndex(0), -1);
  EXPECT_EQ(t.IndexToColor(0), 0u);
  EXPECT_EQ(t.ColorAtLL({}), 0u);
}

TEST(TextureData, LoadsAn8BitFileWithPaddedRows) {
  TTextureData t;
  t.LoadFromFile(DataFile("palette_10x5.bmp"));
  ASSERT_TRUE(t.IsValid());
  EXPECT_EQ(t.TextureFilename, DataFile("palette_10x5.bmp"));
  EXPECT_EQ(t.Width(), 12);  // image size 60 div 5 rows: the stored row length
  EXPECT_EQ(t.Height(), 5);
  ExpectPictureColors(t);
}

TEST(TextureData, ImageSizeZeroIsCompletedWithPaddedRows) {
  // Completing it as width × height (50) would give rows of 10 bytes and shear the picture.
  Bytes b = Picture();
  Put32(b, kSizeImage, 0);
  TTextureData t;
  t.LoadFromStream(b);
  EXPECT_EQ(t.TextureBMPHeader.biSizeImage, 60u);
  EXPECT_EQ(t.Width(), 12);
  ExpectPictureColors(t);
}

TEST(TextureData, PaletteFollowsTheHeaderItDeclares) {
  const Bytes full = Picture();
  const Bytes pixels(full.begin() + 1078, full.end());
  auto build = [&](std::uint32_t InfoSize, std::uint32_t Colours) {
    Bytes b(full.begin(), full.begin() + 54);
    b.resize(14 + InfoSize);  // a longer header: zeros after the first 40 bytes
    const std::size_t n = Colours == 0 ? 256 : Colours;
    b.insert(b.end(), full.begin() + 54, full.begin() + 54 + static_cast<std::ptrdiff_t>(4 * n));
    Put32(b, kInfoSize, InfoSize);
    Put32(b, kClrUsed, Colours);
    Put32(b, kOffBits, static_cast<std::uint32_t>(b.size()));
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
  };
  // The picture's 50 colours come first in its palette.
  for (const auto& [infoSize, colours] :
       {std::pair{40u, 50u}, std::pair{108u, 0u}, std::pair{124u, 50u}}) {
    SCOPED_TRACE(testing::Message() << "header " << infoSize << ", colours " << colours);
    TTextureData t;
    t.LoadFromStream(build(infoSize, colours));
    ExpectPictureColors(t);
    if (colours == 50) {
      // Entries the file does not hold are no colours of the texture.
      EXPECT_EQ(t.ColorToIndex(0), -1);
      EXPECT_EQ(t.IndexToColor(50), 0u);
    }
  }
}

struct TBadImage {
  const char* Name;
  std::function<void(Bytes&)> Damage;
  const char* Message;  // a part of the message
};

TEST(TextureData, RejectsDamagedOrUnsupportedImagesAndStaysEmpty) {
  const TBadImage cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }, "too short for its 14-byte file header"},
      {"file header cut", [](Bytes& b) { b.resize(13); }, "too short for its 14-byte file header"},
      {"not a bitmap", [](Bytes& b) { b[0] = 'P'; }, kNot256},
      {"information header cut", [](Bytes& b) { b.resize(40); }, "too short for its information"},
      {"24 bits", [](Bytes& b) { Put16(b, kBitCount, 24); }, kNot256},
      {"run-length encoded", [](Bytes& b) { Put32(b, 30, 1); }, kNot256},
      {"header below 40 bytes", [](Bytes& b) { Put32(b, kInfoSize, 12); }, "below 40"},
      {"width 0", [](Bytes& b) { Put32(b, kWidth, 0); }, "width 0 is not above 0"},
      {"top-down", [](Bytes& b) { Put32(b, kHeight, static_cast<std::uint32_t>(-5)); }, "top-down"},
      {"height 0", [](Bytes& b) { Put32(b, kHeight, 0); }, "height is 0"},
      {"rows cut", [](Bytes& b) { b.resize(1100); }, "pixel rows need 60 bytes"},
      {"image size too small", [](Bytes& b) { Put32(b, kSizeImage, 20); }, "too small for 5 rows"},
      {"image size beyond the file", [](Bytes& b) { Put32(b, kSizeImage, 0xFFFFFFFF); },
       "pixel rows need"},
      {"huge picture, size left out",
       [](Bytes& b) {
         Put32(b, kWidth, 0x7FFFFFFF);
         Put32(b, kHeight, 0x7FFFFFFF);
         Put32(b, kSizeImage, 0);
       },
       "more than the 1138 bytes"},
      {"pixels past the end", [](Bytes& b) { Put32(b, kOffBits, 5000); }, "pixel offset 5000"},
      {"pixels inside the headers", [](Bytes& b) { Put32(b, kOffBits, 20); }, "pixel offset 20"},
      {"too many colours", [](Bytes& b) { Put32(b, kClrUsed, 300); }, "300 palette colours"},
  };
  for (const TBadImage& c : cases) {
    SCOPED_TRACE(c.Name);
    Bytes b = Picture();
    c.Damage(b);
    TTextureData t;
    t.LoadFromStream(Picture());  // a failed load also drops a texture loaded before
    ASSERT_TRUE(t.IsValid());
    EXPECT_THAT([&] { t.LoadFromStream(b); },
                testing::ThrowsMessage<EGlobeException>(HasSubstr(c.Message)));
    EXPECT_FALSE(t.IsValid());
    EXPECT_EQ(t.Bits(), nullptr);
    EXPECT_EQ(t.ColorAtLL({}), 0u);
  }
}

TEST(TextureData, FixturesOfOtherKindsAreRejected) {
  for (const char* name : {"truecolor_8x4.bmp", "rle8_10x5.bmp"}) {
    SCOPED_TRACE(name);
    TTextureData t;
    t.TextureFilename = "before";
    EXPECT_THAT([&] { t.LoadFromFile(DataFile(name)); },
                testing::ThrowsMessage<EGlobeException>(testing::StrEq(kNot256)));
    EXPECT_FALSE(t.IsValid());
    EXPECT_EQ(t.TextureFilename, "");
  }
}

// ---- Files ------------------------------------------------------------------------------

class TextureFile : public ::testing::Test {
 protected:
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("texture_test_" + std::to_string(::getpid()));
  void SetUp() override { std::filesystem::create_directories(dir); }
  void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(TextureFile, MissingFilesAndDirectoriesLeaveTheTextureEmptyWithoutError) {
  TTextureData t;
  t.LoadFromFile(DataFile("palette_10x5.bmp"));
  for (const std::string& name : {(dir / "missing.bmp").string(), dir.string()}) {
    t.LoadFromFile(name);
    EXPECT_FALSE(t.IsValid());
    EXPECT_EQ(t.TextureFilename, DataFile("palette_10x5.bmp"));
  }
}

TEST_F(TextureFile, OversizedFileIsRefusedUnread) {
  const std::string name = (dir / "huge.bmp").string();
  {
    std::ofstream f(name, std::ios::binary);
    f << "BM";
  }
  std::filesystem::resize_file(name, MAX_TEXTURE_BYTES + 1);  // sparse: no disk used
  TTextureData t;
  EXPECT_THAT([&] { t.LoadFromFile(name); },
              testing::ThrowsMessage<EGlobeException>(HasSubstr("larger than the limit")));
  EXPECT_FALSE(t.IsValid());
}

// ---- Mapping and colours ----------------------------------------------------------------

TEST(TextureData, ConversionsFollowTheCorners) {
  TTextureData t;
  t.LoadFromStream(Picture());
  // Y counts memory rows from the bottom; the south pole lies one row below the image.
  EXPECT_EQ(t.LLToTextureXY({-GU_180_DEGREE, GU_90_DEGREE, 0}), (TPoint{0, 4}));
  // The east edge is the picture's last column (9), not the row padding (11).
  EXPECT_EQ(t.LLToTextureXY({GU_180_DEGREE, -GU_90_DEGREE, 0}), (TPoint{9, -1}));
  EXPECT_EQ(t.LLToTextureXY({0, 0, 0}), (TPoint{5, 1}));  // 4.5 and 2.5 round away from 0
  // Y counts from the top here, and the divisor is the picture width, not the width − 1.
  EXPECT_EQ(t.TextureXYToLL({0, 0}), (TPointLL{-GU_180_DEGREE, GU_90_DEGREE, 0}));
  EXPECT_EQ(t.TextureXYToLL({6, 1}), (TPointLL{36 * D, 54 * D, 0}));
  EXPECT_EQ(t.TextureXYToLL({10, 5}), (TPointLL{GU_180_DEGREE, -GU_90_DEGREE, 0}));
  EXPECT_EQ(t.Width(), 12);
  EXPECT_EQ(t.PictureWidth(), 10);

  // Corners across 180° (170°E to 170°W): measured eastward from the west corner.
  TTextureData across;
  across.LoadFromStream(Picture());
  across.MapPoint(170 * D, 10 * D, 0, 0);
  across.MapPoint(-170 * D, -10 * D, 10, 5);
  EXPECT_EQ(across.LLToTextureXY({170 * D, 10 * D, 0}), (TPoint{0, 4}));
  EXPECT_EQ(across.LLToTextureXY({180 * D, 0, 0}), (TPoint{5, 1}));  // 4.5 rounds up
  EXPECT_EQ(across.LLToTextureXY({-170 * D, -10 * D, 0}), (TPoint{9, -1}));
  EXPECT_EQ(across.TextureXYToLL({5, 0}), (TPointLL{GU_180_DEGREE, 10 * D, 0}));
  EXPECT_EQ(across.TextureXYToLL({10, 0}), (TPointLL{-170 * D, 10 * D, 0}));

  t.MapPoint(10 * D, 20 * D, 5, 0);  // any position but (0, 0) moves the second corner
  EXPECT_EQ(t.WorldPoints.GetLL(0), (TPointLL{-GU_180_DEGREE, GU_90_DEGREE, 0}));
  EXPECT_EQ(t.WorldPoints.GetLL(1), (TPointLL{10 * D, 20 * D, 0}));
  t.MapPoint(GU_180_DEGREE + 10 * D, 30 * D, 0, 0);  // wrapped
  EXPECT_EQ(t.WorldPoints.GetLL(0), (TPointLL{-GU_180_DEGREE + 10 * D, 30 * D, 0}));

  // Corners far outside the earth give 32-bit differences that wrap; no crash.
  t.MapPoint(0x7FFFFFFF, 0x7FFFFFFF, 0, 0);
  t.MapPoint(-0x7FFFFFFF, -0x7FFFFFFF, 1, 1);
  (void)t.LLToTextureXY({GU_180_DEGREE, -GU_90_DEGREE, 0});
  (void)t.TextureXYToLL({0x7FFFFFFF, 0x7FFFFFFF});
}

TEST(TextureData, LookupsStayInsideThePixelRows) {
  TTextureData t;
  t.LoadFromStream(Picture());
  EXPECT_EQ(t.TexelIndex(-5, -5), t.TexelIndex(0, 0));
  EXPECT_EQ(t.TexelIndex(1000, 1000), t.TexelIndex(9, 4));
  EXPECT_EQ(t.TexelIndex(10, 0), t.TexelIndex(9, 0));  // never the row padding
  EXPECT_EQ(t.TexelIndex(INT32_MIN, INT32_MAX), t.TexelIndex(0, 4));
  // The south pole's row −1 reads the bottom row.
  EXPECT_EQ(t.ColorAtLL({0, -GU_90_DEGREE, 0}), PixelColor(5, 4));
}

TEST(TextureData, ColoursAndIndicesConvert) {
  TTextureData t;
  t.LoadFromFile(DataFile("gray_16x16.bmp"));
  ASSERT_TRUE(t.IsValid());
  for (int g : {0, 1, 128, 255}) {
    const TColor grey = platform::RGB(g, g, g);
    const std::int32_t i = t.ColorToIndex(grey);
    ASSERT_GE(i, 0) << g;
    EXPECT_EQ(t.IndexToColor(i), grey);
  }
  t.LoadFromStream(Picture());
  const TColor c = PixelColor(3, 2);  // red and blue differ, so an exchange would show
  ASSERT_GE(t.ColorToIndex(c), 0);
  EXPECT_EQ(t.IndexToColor(t.ColorToIndex(c)), c);
  EXPECT_EQ(t.ColorToIndex(platform::RGB(100, 100, 100)), -1);
  EXPECT_EQ(t.ColorToIndex(c | 0xFF000000u), -1);
  EXPECT_EQ(t.IndexToColor(256), 0u);
  EXPECT_EQ(t.IndexToColor(-1), 0u);
}

TEST(TextureData, AssignCopiesTheImageOnly) {
  TTextureData source;
  source.LoadFromStream(Picture());
  source.TransparentIndex = 3;
  source.MapPoint(1, 2, 0, 0);
  TTextureData t;
  t.Assign(source);
  EXPECT_TRUE(t.IsValid());
  EXPECT_EQ(t.TextureStream, source.TextureStream);
  EXPECT_EQ(t.TransparentIndex, -1);
  EXPECT_EQ(t.WorldPoints.GetLL(0), (TPointLL{-GU_180_DEGREE, GU_90_DEGREE, 0}));
  t.Assign(t);  // its own image
  EXPECT_EQ(t.TextureStream, source.TextureStream);
}

// A picture in memory becomes the same texture that ImageMagick makes of it as a file.
TEST(TextureData, AssignFromAPictureMatchesTheImageMagickFile) {
  // The picture of palette_10x5.bmp (make.sh): red 20x+10, green 40y+20, blue 100.
  platform::TBitmap picture(10, 5);
  for (std::int32_t y = 0; y < 5; ++y) {
    for (std::int32_t x = 0; x < 10; ++x) {
      std::uint8_t* px = picture.ScanLine(y) + platform::TBitmap::kPixelBytes * x;
      px[0] = 100;
      px[1] = static_cast<std::uint8_t>(40 * y + 20);
      px[2] = static_cast<std::uint8_t>(20 * x + 10);
    }
  }
  TTextureData file;
  file.LoadFromStream(ReadFile("palette_10x5.bmp"));
  TTextureData t;
  t.TransparentIndex = 4;
  t.MapPoint(1, 2, 0, 0);
  t.Assign(picture);
  ASSERT_TRUE(t.IsValid());
  EXPECT_EQ(t.Height(), 5);
  EXPECT_EQ(t.TextureBMPHeader.biWidth, 10);
  EXPECT_EQ(t.TransparentIndex, 4);
  EXPECT_EQ(t.WorldPoints.GetLL(0), (TPointLL{1, 2, 0}));
  for (std::int32_t v = 0; v < 5; ++v) {  // memory row 0 is the bottom of the picture
    for (std::int32_t u = 0; u < 10; ++u) {
      EXPECT_EQ(t.IndexToColor(t.TexelIndex(u, v)), picture.Pixel(u, 4 - v)) << u << ", " << v;
      EXPECT_EQ(t.IndexToColor(t.TexelIndex(u, v)), file.IndexToColor(file.TexelIndex(u, v)));
    }
  }
  EXPECT_EQ(t.ColorToIndex(picture.Pixel(0, 0)), 0);  // colours in the order they occur
  EXPECT_EQ(t.ColorToIndex(platform::RGB(0, 0, 0)), -1);
}

TEST(TextureData, AssignFromAPictureOfManyColoursUsesTheColourCube) {
  platform::TBitmap picture(32, 16);  // 512 colours
  for (std::int32_t y = 0; y < 16; ++y) {
    for (std::int32_t x = 0; x < 32; ++x) {
      std::uint8_t* px = picture.ScanLine(y) + platform::TBitmap::kPixelBytes * x;
      px[0] = static_cast<std::uint8_t>(255 - 8 * y);
      px[1] = static_cast<std::uint8_t>(8 * x);
      px[2] = static_cast<std::uint8_t>(x + y);
    }
  }
  TTextureData t;
  t.Assign(picture);
  ASSERT_TRUE(t.IsValid());
  const auto level = [](std::uint32_t c) { return (c + 25) / 51 * 51; };
  for (std::int32_t y = 0; y < 16; ++y) {
    for (std::int32_t x = 0; x < 32; ++x) {
      const TColor c = picture.Pixel(x, y);
      const TColor nearest = platform::RGB(static_cast<std::uint8_t>(level(c & 0xFF)),
                                           static_cast<std::uint8_t>(level((c >> 8) & 0xFF)),
                                           static_cast<std::uint8_t>(level((c >> 16) & 0xFF)));
      ASSERT_EQ(t.IndexToColor(t.TexelIndex(x, 15 - y)), nearest) << x << ", " << y;
    }
  }

  // An empty picture empties the texture.
  t.Assign(platform::TBitmap(0, 0));
  EXPECT_FALSE(t.IsValid());
}

}  // namespace
}  // namespace globe
