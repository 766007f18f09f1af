#include "tests/support/lookpicture.h"

#ifdef _WIN32
#include <cstdint>
#include <fstream>
#include <vector>

#include "platform/filesystem.h"
#else
#include <QImage>
#include <QString>
#endif

namespace orvane::testing {

#ifdef _WIN32

namespace {

void Put(std::vector<char>& Out, std::uint32_t Value, int Bytes) {
  for (int i = 0; i < Bytes; ++i) Out.push_back(static_cast<char>((Value >> (8 * i)) & 0xFF));
}

}  // namespace

void SaveForALook(const platform::TBitmap& Picture, const std::string& FileName) {
  std::string name = FileName;
  if (const std::size_t dot = name.find_last_of('.'); dot != std::string::npos) name.resize(dot);
  name += ".bmp";
  // 32 bits a pixel, top-down: the rows as the picture holds them.
  const auto w = static_cast<std::uint32_t>(Picture.Width());
  const auto h = static_cast<std::uint32_t>(Picture.Height());
  const std::uint32_t row = w * 4;
  std::vector<char> header;
  header.push_back('B');
  header.push_back('M');
  Put(header, 54 + row * h, 4);
  Put(header, 0, 4);
  Put(header, 54, 4);
  Put(header, 40, 4);
  Put(header, w, 4);
  Put(header, static_cast<std::uint32_t>(-static_cast<std::int32_t>(h)), 4);
  Put(header, 1, 2);
  Put(header, 32, 2);
  for (int i = 0; i < 6; ++i) Put(header, 0, 4);
  std::ofstream out(platform::FsPath(name), std::ios::binary);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  for (std::int32_t y = 0; y < Picture.Height(); ++y) {
    out.write(reinterpret_cast<const char*>(Picture.ScanLine(y)),
              static_cast<std::streamsize>(row));
  }
}

#else

void SaveForALook(const platform::TBitmap& Picture, const std::string& FileName) {
  const QImage image(Picture.ScanLine(0), Picture.Width(), Picture.Height(), Picture.Stride(),
                     QImage::Format_RGB32);
  image.save(QString::fromStdString(FileName));
}

#endif

}  // namespace orvane::testing
