#include "globe/core/texture.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>
#include <unordered_map>

#include "globe/core/numeric.h"
#include "globe/core/units.h"
#include "platform/filesystem.h"

namespace globe {

namespace {

constexpr char kNot256Colours[] = "Globe texture must be a 256 color RGB encoded bitmap";
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::uint16_t kBitmapType = 0x4D42;  // "BM"

[[noreturn]] void Fail(const std::string& Message) { throw EGlobeException(Message); }

std::string Num(std::int64_t v) { return std::to_string(v); }

std::uint16_t U16(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t U32(const std::uint8_t* p) noexcept {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}
std::int32_t I32(const std::uint8_t* p) noexcept { return static_cast<std::int32_t>(U32(p)); }

// 32-bit differences of corner coordinates wrap as the stored integer arithmetic does; only
// corners set far outside the earth get there.
std::int32_t Sub32(std::int32_t a, std::int32_t b) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
std::int32_t Add32(std::int32_t a, std::int32_t b) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// A longitude as PointLL keeps it: within half a turn and a GU either side of 0°.
bool InRange(std::int32_t iLong) noexcept {
  return iLong >= -GU_180_DEGREE - 1 && iLong <= GU_180_DEGREE + 1;
}

// A texture across 180°: its east corner was wrapped to the west of its west corner. Both
// lie within the earth then, so adding a turn to their difference stays within 32 bits.
bool CrossesDateLine(std::int32_t West, std::int32_t East) noexcept {
  return InRange(West) && InRange(East) && East < West && East - West + GU_360_DEGREE > 0;
}

// Palette entries are blue, green, red, reserved; colours keep red in the low byte.
std::uint32_t EntryToColor(const std::uint8_t* e) noexcept {
  return std::uint32_t{e[2]} | (std::uint32_t{e[1]} << 8) | (std::uint32_t{e[0]} << 16);
}

}  // namespace

TTextureData::TTextureData() {
  WorldPoints.Add({-GU_180_DEGREE, GU_90_DEGREE, 0});
  WorldPoints.Add({GU_180_DEGREE, -GU_90_DEGREE, 0});
}

std::int32_t TTextureData::Width() const noexcept {
  const std::int32_t h = TextureBMPHeader.biHeight;
  if (h <= 0) return 0;
  const std::uint32_t w = TextureBMPHeader.biSizeImage / static_cast<std::uint32_t>(h);
  return static_cast<std::int32_t>(
      std::min<std::uint32_t>(w, std::numeric_limits<std::int32_t>::max()));
}

std::int32_t TTextureData::PictureWidth() const noexcept {
  return IsValid() ? TextureBMPHeader.biWidth : 0;
}

const std::uint8_t* TTextureData::Bits() const noexcept {
  return IsValid() ? TextureStream.data() + TextureFileHeader.bfOffBits : nullptr;
}

std::uint8_t TTextureData::TexelIndex(std::int32_t u, std::int32_t v) const noexcept {
  if (!IsValid()) return 0;
  u = std::clamp(u, 0, PictureWidth() - 1);
  v = std::clamp(v, 0, Height() - 1);
  return Bits()[static_cast<std::size_t>(v) * static_cast<std::size_t>(Width()) +
                static_cast<std::size_t>(u)];
}

std::uint32_t TTextureData::ColorAtLL(const TPointLL& ptLL) const noexcept {
  if (!IsValid()) return 0;
  const TPoint t = LLToTextureXY(ptLL);
  return IndexToColor(TexelIndex(t.X, t.Y));
}

void TTextureData::LoadFromStream(std::span<const std::uint8_t> Bytes) {
  // Parse a private copy: the source may be this texture's own image (Assign to itself).
  std::vector<std::uint8_t> image;
  TextureStream.clear();
  FiPaletteCount = 0;
  const auto size = static_cast<std::int64_t>(Bytes.size());
  if (size > MAX_TEXTURE_BYTES) {
    Fail("Globe texture image of " + Num(size) + " bytes is larger than the limit of " +
         Num(MAX_TEXTURE_BYTES));
  }
  image.assign(Bytes.begin(), Bytes.end());
  const std::uint8_t* p = image.data();

  if (image.size() < kFileHeaderBytes) {
    Fail("Globe texture of " + Num(size) + " bytes is too short for its 14-byte file header");
  }
  TBitmapFileHeader& fh = TextureFileHeader;
  fh.bfType = U16(p);
  fh.bfSize = U32(p + 2);
  fh.bfReserved1 = U16(p + 6);
  fh.bfReserved2 = U16(p + 8);
  fh.bfOffBits = U32(p + 10);
  if (fh.bfType != kBitmapType) Fail(kNot256Colours);

  if (image.size() < kFileHeaderBytes + kInfoHeaderBytes) {
    Fail("Globe texture of " + Num(size) + " bytes is too short for its information header");
  }
  TBitmapInfoHeader& ih = TextureBMPHeader;
  const std::uint8_t* q = p + kFileHeaderBytes;
  ih.biSize = U32(q);
  ih.biWidth = I32(q + 4);
  ih.biHeight = I32(q + 8);
  ih.biPlanes = U16(q + 12);
  ih.biBitCount = U16(q + 14);
  ih.biCompression = U32(q + 16);
  ih.biSizeImage = U32(q + 20);
  ih.biXPelsPerMeter = I32(q + 24);
  ih.biYPelsPerMeter = I32(q + 28);
  ih.biClrUsed = U32(q + 32);
  ih.biClrImportant = U32(q + 36);
  if (ih.biBitCount != 8 || ih.biCompression != 0) Fail(kNot256Colours);

  // Every size below is formed in 64 bits from 32-bit fields, so none can overflow.
  if (ih.biSize < kInfoHeaderBytes) {
    Fail("Globe texture information header size " + Num(ih.biSize) + " is below 40 bytes");
  }
  if (ih.biWidth <= 0) Fail("Globe texture width " + Num(ih.biWidth) + " is not above 0");
  if (ih.biHeight < 0) {
    Fail("Globe texture height " + Num(ih.biHeight) +
         " marks rows stored top-down, which are not supported");
  }
  if (ih.biHeight == 0) Fail("Globe texture height is 0");
  const std::int64_t height = ih.biHeight;
  const std::int64_t stride = (std::int64_t{ih.biWidth} + 3) / 4 * 4;
  if (ih.biSizeImage == 0) {
    // Uncompressed images may leave the size out; their rows are padded to 4 bytes.
    const std::int64_t rows = stride * height;
    if (rows > size) {
      Fail("Globe texture rows of " + Num(ih.biWidth) + " x " + Num(height) + " pixels need " +
           Num(rows) + " bytes, more than the " + Num(size) + " bytes of the image");
    }
    ih.biSizeImage = static_cast<std::uint32_t>(rows);
  }
  const std::int64_t rowBytes = std::int64_t{ih.biSizeImage} / height;
  if (rowBytes < ih.biWidth) {
    Fail("Globe texture image size " + Num(ih.biSizeImage) + " is too small for " + Num(height) +
         " rows of " + Num(ih.biWidth) + " pixels");
  }

  const std::int64_t offBits = fh.bfOffBits;
  const std::int64_t paletteStart = std::int64_t{kFileHeaderBytes} + ih.biSize;
  if (offBits < paletteStart || offBits > size) {
    Fail("Globe texture pixel offset " + Num(offBits) + " lies outside " + Num(paletteStart) +
         " ... " + Num(size) + " (after the headers, within the image)");
  }
  const std::int64_t pixelBytes = rowBytes * height;
  if (pixelBytes > size - offBits) {
    Fail("Globe texture pixel rows need " + Num(pixelBytes) + " bytes from offset " + Num(offBits) +
         ", but the image holds only " + Num(size - offBits));
  }

  // The colour table lies between the headers and the pixel rows; 0 colours used means 256.
  if (ih.biClrUsed > 256) {
    Fail("Globe texture names " + Num(ih.biClrUsed) + " palette colours, more than 256");
  }
  const std::int64_t declared = ih.biClrUsed == 0 ? 256 : ih.biClrUsed;
  const std::int64_t entries = std::min(declared, (offBits - paletteStart) / 4);
  TexturePalette.fill(0);
  std::memcpy(TexturePalette.data(), p + paletteStart, static_cast<std::size_t>(entries) * 4);

  FiPaletteCount = static_cast<std::int32_t>(entries);
  TextureStream = std::move(image);
}

void TTextureData::LoadFromFile(const std::string& sFilename) {
  namespace fs = std::filesystem;
  TextureStream.clear();
  FiPaletteCount = 0;
  std::error_code ec;
  // Directories, pipes and devices are no texture files; reading them could block.
  const fs::path path = platform::FsPath(sFilename);
  if (!fs::is_regular_file(path, ec)) return;
  TextureFilename.clear();
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) Fail("Cannot read globe texture file '" + sFilename + "': " + ec.message());
  if (size > static_cast<std::uintmax_t>(MAX_TEXTURE_BYTES)) {
    Fail("Globe texture file '" + sFilename + "' of " + std::to_string(size) +
         " bytes is larger than the limit of " + Num(MAX_TEXTURE_BYTES));
  }
  std::ifstream file(path, std::ios::binary);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!file ||
      !file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
    Fail("Cannot read globe texture file '" + sFilename + "'");
  }
  LoadFromStream(bytes);
  TextureFilename = sFilename;
}

void TTextureData::Assign(const TTextureData& Source) { LoadFromStream(Source.TextureStream); }

TPoint TTextureData::LLToTextureXY(const TPointLL& ptLL) const {
  const TPointLL p0 = WorldPoints.GetLL(0);
  const TPointLL p1 = WorldPoints.GetLL(1);
  const std::int32_t h = Height();
  const std::int32_t row = MulDiv(Sub32(ptLL.iLatY, p0.iLatY), h, Sub32(p1.iLatY, p0.iLatY));
  std::int32_t dLong = Sub32(ptLL.iLongX, p0.iLongX);
  std::int32_t span = Sub32(p1.iLongX, p0.iLongX);
  if (CrossesDateLine(p0.iLongX, p1.iLongX)) {
    span += GU_360_DEGREE;
    if (dLong < 0 && InRange(ptLL.iLongX)) dLong += GU_360_DEGREE;
  }
  const std::int32_t x = MulDiv(dLong, Sub32(PictureWidth(), 1), span);
  return {x, Sub32(Sub32(h, row), 1)};
}

TPointLL TTextureData::TextureXYToLL(const TPoint& ptXY) const {
  const TPointLL p0 = WorldPoints.GetLL(0);
  const TPointLL p1 = WorldPoints.GetLL(1);
  const std::int32_t lat = Add32(p0.iLatY, MulDiv(ptXY.Y, Sub32(p1.iLatY, p0.iLatY), Height()));
  std::int32_t span = Sub32(p1.iLongX, p0.iLongX);
  if (CrossesDateLine(p0.iLongX, p1.iLongX)) span += GU_360_DEGREE;
  const std::int32_t lon = Add32(p0.iLongX, MulDiv(ptXY.X, span, PictureWidth()));
  return PointLL(lon, lat);
}

void TTextureData::MapPoint(std::int32_t iLong, std::int32_t iLat, std::int32_t TexX,
                            std::int32_t TexY) {
  WorldPoints.PutLL(TexX == 0 && TexY == 0 ? 0 : 1, PointLL(iLong, iLat));
}

std::int32_t TTextureData::ColorToIndex(std::uint32_t Value) const noexcept {
  if (!IsValid()) return -1;
  // An entry read as a 32-bit value has blue low: compare with red and blue exchanged.
  const std::uint32_t entry =
      (Value & 0xFF00FF00u) | ((Value & 0xFFu) << 16) | ((Value >> 16) & 0xFFu);
  for (std::int32_t i = 0; i < FiPaletteCount; ++i) {
    if (U32(TexturePalette.data() + 4 * i) == entry) return i;
  }
  return -1;
}

std::uint32_t TTextureData::IndexToColor(std::int32_t Value) const noexcept {
  if (!IsValid() || Value < 0 || Value > 255) return 0;
  return EntryToColor(TexturePalette.data() + 4 * Value);
}

// ---- From a picture ----------------------------------------------------------------------

namespace {

void PutU16(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::uint8_t* p, std::uint32_t v) noexcept {
  PutU16(p, v);
  PutU16(p + 2, v >> 16);
}

// The nearest of the six levels 0, 51, … 255 of the colour cube.
std::uint8_t CubeLevel(std::uint8_t c) noexcept { return static_cast<std::uint8_t>((c + 25) / 51); }

}  // namespace

void TTextureData::Assign(const platform::TBitmap& Source) {
  TextureStream.clear();
  FiPaletteCount = 0;
  if (Source.Empty()) return;
  const std::int32_t w = Source.Width();
  const std::int32_t h = Source.Height();
  const std::int64_t stride = (std::int64_t{w} + 3) / 4 * 4;
  const std::int64_t offBits = kFileHeaderBytes + kInfoHeaderBytes + 1024;
  const std::int64_t size = offBits + stride * h;  // about a quarter of the picture: below 2^31
  if (size > MAX_TEXTURE_BYTES) {
    Fail("Globe texture image of " + Num(size) + " bytes is larger than the limit of " +
         Num(MAX_TEXTURE_BYTES));
  }

  // The picture's own colours when they fit the palette (BGR, keyed as 0x00BBGGRR).
  std::unordered_map<std::uint32_t, std::uint8_t> index;
  std::vector<std::uint32_t> colours;
  for (std::int32_t y = 0; y < h && colours.size() <= 256; ++y) {
    const std::uint8_t* px = Source.ScanLine(y);
    for (std::int32_t x = 0; x < w && colours.size() <= 256;
         ++x, px += platform::TBitmap::kPixelBytes) {
      const std::uint32_t c = platform::RGB(px[2], px[1], px[0]);
      if (index.try_emplace(c, static_cast<std::uint8_t>(colours.size())).second) {
        colours.push_back(c);
      }
    }
  }
  const bool exact = colours.size() <= 256;
  if (!exact) {
    colours.clear();
    for (int r = 0; r < 6; ++r) {
      for (int g = 0; g < 6; ++g) {
        for (int b = 0; b < 6; ++b) {
          colours.push_back(platform::RGB(static_cast<std::uint8_t>(r * 51),
                                          static_cast<std::uint8_t>(g * 51),
                                          static_cast<std::uint8_t>(b * 51)));
        }
      }
    }
  }

  std::vector<std::uint8_t> image(static_cast<std::size_t>(size), 0);
  std::uint8_t* p = image.data();
  PutU16(p, kBitmapType);
  PutU32(p + 2, static_cast<std::uint32_t>(size));
  PutU32(p + 10, static_cast<std::uint32_t>(offBits));
  std::uint8_t* q = p + kFileHeaderBytes;
  PutU32(q, kInfoHeaderBytes);
  PutU32(q + 4, static_cast<std::uint32_t>(w));
  PutU32(q + 8, static_cast<std::uint32_t>(h));
  PutU16(q + 12, 1);
  PutU16(q + 14, 8);
  PutU32(q + 20, static_cast<std::uint32_t>(stride * h));
  PutU32(q + 32, static_cast<std::uint32_t>(colours.size()));
  std::uint8_t* palette = q + kInfoHeaderBytes;
  for (std::size_t i = 0; i < colours.size(); ++i) {
    palette[4 * i] = static_cast<std::uint8_t>(colours[i] >> 16);  // blue
    palette[4 * i + 1] = static_cast<std::uint8_t>(colours[i] >> 8);
    palette[4 * i + 2] = static_cast<std::uint8_t>(colours[i]);
  }
  // Rows bottom-up: memory row 0 is the picture's last row.
  for (std::int32_t y = 0; y < h; ++y) {
    const std::uint8_t* px = Source.ScanLine(y);
    std::uint8_t* row =
        p + offBits + static_cast<std::size_t>(h - 1 - y) * static_cast<std::size_t>(stride);
    for (std::int32_t x = 0; x < w; ++x, px += platform::TBitmap::kPixelBytes) {
      row[x] = exact ? index.find(platform::RGB(px[2], px[1], px[0]))->second
                     : static_cast<std::uint8_t>(36 * CubeLevel(px[2]) + 6 * CubeLevel(px[1]) +
                                                 CubeLevel(px[0]));
    }
  }
  LoadFromStream(image);
}

}  // namespace globe
