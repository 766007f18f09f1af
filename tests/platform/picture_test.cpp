// Pictures loaded from files: the Qt loader's conversion to the 32-bit layout, and the
// recording graphics that hand out registered pictures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/qt/qtdevice.h"
#include "platform/recording.h"

namespace platform {
namespace {

std::string TempName(const std::string& Name) {
  return (std::filesystem::temp_directory_path() /
          ("orvane-picture-" + std::to_string(::getpid()) + "-" + Name))
      .string();
}

void ExpectLoadError(TGraphics& Graphics, const std::string& Name) {
  try {
    (void)Graphics.LoadPicture(Name);
    ADD_FAILURE() << "no exception for " << Name;
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to load picture " + Name);
  }
}

TEST(QtPictures, LoadsAnyReadableFormatAsTopDownOpaquePixels) {
  // An odd width, so that rows of files need padding; a half-transparent pixel keeps its
  // colour and becomes opaque.
  QImage image(3, 2, QImage::Format_ARGB32);
  const QRgb colours[2][3] = {{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)},
                              {qRgba(10, 20, 30, 128), qRgb(255, 255, 255), qRgb(0, 0, 0)}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) image.setPixel(x, y, colours[y][x]);

  TQtGraphics graphics;
  for (const char* format : {"png", "bmp"}) {
    SCOPED_TRACE(format);
    const std::string name = TempName(std::string("p.") + format);
    ASSERT_TRUE(image.save(QString::fromStdString(name), format));
    const std::shared_ptr<TBitmap> bitmap = graphics.LoadPicture(name);
    std::filesystem::remove(name);
    ASSERT_EQ(bitmap->Width(), 3);
    ASSERT_EQ(bitmap->Height(), 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x)
        EXPECT_EQ(bitmap->Pixel(x, y),
                  RGB(qRed(colours[y][x]), qGreen(colours[y][x]), qBlue(colours[y][x])))
            << x << "," << y;
    const auto bytes = bitmap->Bytes();
    for (std::size_t i = 3; i < bytes.size(); i += 4) EXPECT_EQ(bytes[i], 0xFF) << i / 4;
  }
}

TEST(QtPictures, FilesThatDoNotLoadRaiseTheLoadError) {
  TQtGraphics graphics;
  const std::string garbage = TempName("garbage.png");
  std::ofstream(garbage) << "not a picture";
  ExpectLoadError(graphics, garbage);
  std::filesystem::remove(garbage);
  ExpectLoadError(graphics, TempName("missing.png"));
}

TEST(RecordingPictures, HandsOutRegisteredPicturesOnly) {
  TRecordingGraphics graphics;
  auto bitmap = std::make_shared<TBitmap>(2, 2);
  graphics.Pictures["a.bmp"] = bitmap;
  EXPECT_EQ(graphics.LoadPicture("a.bmp"), bitmap);
  ExpectLoadError(graphics, "A.bmp");
}

}  // namespace
}  // namespace platform
