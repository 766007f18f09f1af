// Loads any bytes as a texture; a texture that loads must answer lookups at any geographic
// point, and through any corners, from inside its pixel rows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "globe/core/classes.h"
#include "globe/core/texture.h"
#include "globe/core/units.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  globe::TTextureData texture;
  try {
    texture.LoadFromStream(std::span<const std::uint8_t>(data, size));
  } catch (const globe::EGlobeException&) {
    if (texture.IsValid()) std::abort();  // a failed load leaves the texture empty
    return 0;
  }
  if (!texture.IsValid()) std::abort();
  const std::int64_t texels = std::int64_t{texture.Width()} * texture.Height();
  if (texture.Width() < texture.TextureBMPHeader.biWidth ||
      texture.TextureFileHeader.bfOffBits + texels >
          static_cast<std::int64_t>(texture.TextureStream.size())) {
    std::abort();  // the rows must lie within the image
  }

  constexpr std::int32_t D = globe::GU_DEGREE;
  const globe::TPointLL points[] = {{0, 0, 0},
                                    {-180 * D, 90 * D, 0},
                                    {180 * D, -90 * D, 0},
                                    {45 * D, -30 * D, 0},
                                    {INT32_MIN, INT32_MAX, 0}};
  for (int corners = 0; corners < 2; ++corners) {
    for (const globe::TPointLL& p : points) {
      const std::uint32_t colour = texture.ColorAtLL(p);
      const std::int32_t index = texture.ColorToIndex(colour);
      if (index >= 0 && texture.IndexToColor(index) != colour) std::abort();
      (void)texture.TextureXYToLL(texture.LLToTextureXY(p));
    }
    // Corners from the input itself, as a bitmap object's file might set them.
    texture.MapPoint(static_cast<std::int32_t>(size * 7919), static_cast<std::int32_t>(size), 0, 0);
    texture.MapPoint(-static_cast<std::int32_t>(size), -static_cast<std::int32_t>(size * 31), 1, 1);
  }
  return 0;
}
