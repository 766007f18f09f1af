#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "platform/qt/qtdevice.h"

namespace platform {
namespace {

std::string ReadAll(const std::filesystem::path& Path) {
  std::ifstream in(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void DrawSample(TDevice& Device) {
  Device.SelectObject(CreatePen({psSolid, 2, RGB(0, 0, 128)}));
  TBrushDesc brush;
  brush.Color = RGB(200, 30, 30);
  Device.SelectObject(CreateBrush(brush));
  const TPoint triangle[] = {{10, 10}, {190, 20}, {90, 140}};
  Device.Polygon(triangle);
  TFontDesc font;
  font.Height = 14;
  Device.SelectObject(CreateFontObject(font));
  Device.SetBkMode(TRANSPARENT);
  Device.TextOut(20, 60, "Orvane");
}

TEST(VectorDevice, WritesAnSvgFileWithTheShapeAndText) {
  const auto path = std::filesystem::path(::testing::TempDir()) / "platform_vector.svg";
  {
    auto device = CreateVectorFileDevice(path.string(), TVectorFormat::Svg, 200, 150, 96);
    EXPECT_EQ(device->PixelsPerInchX(), 96);
    DrawSample(*device);
  }
  const std::string svg = ReadAll(path);
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_TRUE(svg.find("<path") != std::string::npos || svg.find("<polygon") != std::string::npos);
  EXPECT_NE(svg.find("Orvane"), std::string::npos);
  EXPECT_NE(svg.find("</svg>"), std::string::npos);
  std::filesystem::remove(path);
}

TEST(VectorDevice, WritesAPdfFile) {
  const auto path = std::filesystem::path(::testing::TempDir()) / "platform_vector.pdf";
  {
    auto device = CreateVectorFileDevice(path.string(), TVectorFormat::Pdf, 600, 450, 300);
    EXPECT_EQ(device->PixelsPerInchY(), 300);
    DrawSample(*device);
  }
  const std::string pdf = ReadAll(path);
  ASSERT_GT(pdf.size(), 100u);
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
  EXPECT_NE(pdf.rfind("%%EOF"), std::string::npos);
  std::filesystem::remove(path);
}

TEST(VectorDevice, ReportsFilesItCannotWriteAndBadSizes) {
  const std::string missing = "/nonexistent-folder/out";
  for (auto format : {TVectorFormat::Svg, TVectorFormat::Pdf})
    EXPECT_THROW((void)CreateVectorFileDevice(missing, format, 10, 10, 96), std::runtime_error);
  EXPECT_THROW((void)CreateVectorFileDevice("x.svg", TVectorFormat::Svg, 0, 10, 96),
               std::invalid_argument);
  EXPECT_THROW((void)CreateVectorFileDevice("x.pdf", TVectorFormat::Pdf, 10, 10, 0),
               std::invalid_argument);
}

TEST(VectorDevice, RefusesEnhancedMetafiles) {
  TQtGraphics graphics;
  const auto path = std::filesystem::temp_directory_path() / "orvane-refused.emf";
  std::filesystem::remove(path);
  try {
    (void)graphics.CreateVectorFileDevice(TVectorFormat::Emf, path.string(), 10, 10, 96, "");
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Vector output is not supported");
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace platform
