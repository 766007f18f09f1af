#include "platform/win32/pngpicture.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "platform/win32/utf.h"

namespace platform {

std::shared_ptr<TBitmap> LoadPngPicture(const std::string& FileName) {
  // _wfopen: the name may hold characters the ANSI code page has not.
  std::FILE* file = ::_wfopen(Utf16(FileName).c_str(), L"rb");
  if (file == nullptr) return nullptr;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  struct TRelease {
    std::FILE* File;
    png_image& Image;
    ~TRelease() {
      png_image_free(&Image);
      std::fclose(File);
    }
  } release{file, image};
  if (png_image_begin_read_from_stdio(&image, file) == 0) return nullptr;
  if (image.width == 0 || image.height == 0 ||
      std::uint64_t{image.width} * image.height * TBitmap::kPixelBytes >
          static_cast<std::uint64_t>(TBitmap::kMaxBytes))
    return nullptr;
  std::shared_ptr<TBitmap> bitmap;
  try {
    bitmap = std::make_shared<TBitmap>(static_cast<std::int32_t>(image.width),
                                       static_cast<std::int32_t>(image.height));
  } catch (const std::length_error&) {
    return nullptr;
  }
  // Straight into the picture: blue, green, red, alpha, rows top-down without padding.
  image.format = PNG_FORMAT_BGRA;
  if (png_image_finish_read(&image, nullptr, bitmap->ScanLine(0), bitmap->Stride(), nullptr) == 0)
    return nullptr;
  // Transparency composed on black, the fourth byte made the picture's own again.
  for (std::int32_t y = 0; y < bitmap->Height(); ++y) {
    std::uint8_t* p = bitmap->ScanLine(y);
    for (std::int32_t x = 0; x < bitmap->Width(); ++x, p += TBitmap::kPixelBytes) {
      const std::uint32_t a = p[3];
      if (a != 255) {
        for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>((p[c] * a + 127) / 255);
      }
      p[3] = 0xFF;
    }
  }
  return bitmap;
}

}  // namespace platform
