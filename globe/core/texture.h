// A 256-colour picture and its placement on the earth, so that the renderer can look up the
// texel of any geographic point. The globe keeps one as its surface texture; bitmap objects
// keep one each.
//
// The picture is held as the complete bitmap file image (file header, information header,
// palette, pixel rows stored bottom-up, each row padded to 4 bytes). Only uncompressed 8-bit
// bitmaps stored bottom-up are taken; every header field is checked against the bytes the
// image holds before it is used, so a valid texture's Width() × Height() texels all lie
// inside TextureStream.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "globe/core/classes.h"
#include "globe/core/pointstore.h"
#include "globe/core/types.h"
#include "platform/device.h"

namespace globe {

/// The 14-byte bitmap file header, as stored (little-endian).
struct TBitmapFileHeader {
  std::uint16_t bfType = 0;
  std::uint32_t bfSize = 0;
  std::uint16_t bfReserved1 = 0;
  std::uint16_t bfReserved2 = 0;
  std::uint32_t bfOffBits = 0;
};

/// The 40-byte bitmap information header, as stored (little-endian).
struct TBitmapInfoHeader {
  std::uint32_t biSize = 0;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 0;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;
};

/// The largest bitmap image a texture takes, in bytes (512 MiB).
inline constexpr std::int64_t MAX_TEXTURE_BYTES = std::int64_t{512} * 1024 * 1024;

class TTextureData : public TGlobeRoot {
  GLOBE_CLASS(TTextureData, TGlobeRoot)
 public:
  /// Empty (not valid); corners 180° W 90° N and 180° E 90° S; no transparent index.
  TTextureData();

  /// Loads a bitmap file image (a copy is kept). Throws EGlobeException "Globe texture must
  /// be a 256 color RGB encoded bitmap" for anything but an uncompressed 8-bit bitmap, and an
  /// EGlobeException naming the field and value for a header that does not fit the bytes
  /// present (too short, pixel rows or palette out of place, height not above 0, image size
  /// too small for the rows, more than 256 colours, image above MAX_TEXTURE_BYTES); the
  /// texture is then empty and the headers keep what was read. An image size of 0 is
  /// completed as rows of the width padded to 4 bytes.
  void LoadFromStream(std::span<const std::uint8_t> Bytes);
  /// Loads the file. A missing file, or a name that is not a regular file, leaves the texture
  /// empty without an error and TextureFilename unchanged. Throws EGlobeException for a file
  /// above MAX_TEXTURE_BYTES (without reading it), one that cannot be read, and every error
  /// of LoadFromStream; the texture is then empty and TextureFilename is "".
  void LoadFromFile(const std::string& sFilename);
  /// Copies the image of another texture (not its corners or transparent index).
  void Assign(const TTextureData& Source);
  /// Takes the picture as an uncompressed 8-bit bitmap image (corners and transparent index
  /// stay). A picture of at most 256 colours keeps them exactly, in the order they first
  /// occur from the top row down; one of more colours is reduced to the 6 × 6 × 6 colour
  /// cube (each channel to the nearest of 0, 51, … 255). An empty picture empties the
  /// texture. Throws EGlobeException, leaving the texture empty, for a picture whose image
  /// would pass MAX_TEXTURE_BYTES.
  void Assign(const platform::TBitmap& Source);

  [[nodiscard]] bool IsValid() const noexcept { return !TextureStream.empty(); }
  /// Stored row length in bytes (biSizeImage div biHeight); 0 while the height is not above 0.
  [[nodiscard]] std::int32_t Width() const noexcept;
  [[nodiscard]] std::int32_t Height() const noexcept { return TextureBMPHeader.biHeight; }
  /// Width of the picture in pixels (biWidth), without the row padding that Width() counts;
  /// 0 while not valid. Geographic positions map onto these columns only.
  [[nodiscard]] std::int32_t PictureWidth() const noexcept;
  /// The palette indices, row 0 = bottom row of the picture; Width() × Height() bytes. Null
  /// when not valid.
  [[nodiscard]] const std::uint8_t* Bits() const noexcept;
  /// Palette index of the texel at column u of memory row v (0 = bottom), each clamped into
  /// the image; 0 when not valid.
  [[nodiscard]] std::uint8_t TexelIndex(std::int32_t u, std::int32_t v) const noexcept;
  /// Colour (0x00BBGGRR) of the texel at LLToTextureXY(ptLL), clamped into the image; 0 when
  /// not valid.
  [[nodiscard]] std::uint32_t ColorAtLL(const TPointLL& ptLL) const noexcept;

  /// Texture position of a geographic point; Y counts from the bottom row in memory. The
  /// east corner maps onto the picture's last column (PictureWidth() − 1), never onto row
  /// padding. Corners whose east longitude wrapped past 180° (a texture across the date
  /// line) are measured eastward from the west corner. The result may lie outside the image
  /// (latitude −90° gives row −1 with the default corners); corners with equal latitudes or
  /// longitudes give −1 for that coordinate's fraction.
  [[nodiscard]] TPoint LLToTextureXY(const TPointLL& ptLL) const;
  /// Geographic point of a texture position; Y counts from the top of the picture and X
  /// spans the PictureWidth() columns.
  [[nodiscard]] TPointLL TextureXYToLL(const TPoint& ptXY) const;
  /// Ties texture position (0, 0) (the top-left corner) or any other (the bottom-right
  /// corner) to a geographic point.
  void MapPoint(std::int32_t iLong, std::int32_t iLat, std::int32_t TexX, std::int32_t TexY);
  /// First palette index holding the colour (0x00BBGGRR); −1 when none or not valid.
  [[nodiscard]] std::int32_t ColorToIndex(std::uint32_t Value) const noexcept;
  /// Colour (0x00BBGGRR) of a palette index; 0 when not valid or out of 0 … 255.
  [[nodiscard]] std::uint32_t IndexToColor(std::int32_t Value) const noexcept;

  TPointStore WorldPoints;
  TBitmapInfoHeader TextureBMPHeader;
  std::string TextureFilename;
  /// Per entry: blue, green, red, reserved. Entries the file does not hold are 0.
  std::array<std::uint8_t, 1024> TexturePalette{};
  std::vector<std::uint8_t> TextureStream;
  TBitmapFileHeader TextureFileHeader;
  std::int32_t TransparentIndex = -1;

 private:
  std::int32_t FiPaletteCount = 0;  // entries read from the image
};

}  // namespace globe
