// The two concrete object classes: TGeoDataObject holds point chains (a point set, a
// polyline in parts or a polygon with rings) stored compactly in records; TBitmapObject lays
// a 256-colour picture on the globe with its top-left corner at the centroid.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "globe/core/pointstore.h"
#include "globe/core/texture.h"
#include "globe/objects/object.h"

namespace globe {

// ---- Chain records ----------------------------------------------------------------------

/// The flags word a chain is written with (only ofHeight, of16Bit, ofCompressed and
/// ofLongCount). Cleans the chain on the way: runs of equal consecutive points from index 2
/// on shrink to one point.
[[nodiscard]] TGlobeObjectFlagSet ChainFlags(TPointStore& Chain);
/// Writes the chain encoded as Flags says (count, first point, points or differences); a
/// chain without points is its count alone. Throws EGlobeException for more than 65,535
/// points without ofLongCount, which a Word count cannot hold.
void WriteChain(TGlobeStreamWriter& Writer, TPointStore& Chain, TGlobeObjectFlagSet Flags);
/// Reads a chain written with Flags into Chain (replacing its points); a count of 0 reads
/// nothing more. A count that the remaining data cannot hold is cut to what it can (at least
/// 2 bytes per point), so a corrupt count never allocates beyond the data, and the reader is
/// left Truncated(); a chain cut short keeps the points read in full. Throws EGlobeException
/// "Corrupt object record: point count <n>" for a negative Integer count.
void ReadChain(TGlobeStreamReader& Reader, TPointStore& Chain, TGlobeObjectFlagSet Flags);

// ---- TGeoDataObject ---------------------------------------------------------------------

class TGeoDataObject : public TGlobeObject {
  GLOBE_CLASS(TGeoDataObject, TGlobeObject)
 public:
  explicit TGeoDataObject(TGlobeObjectSource* aParent);
  ~TGeoDataObject() override;

  [[nodiscard]] TChainStore& Chains() const noexcept { return *FChains; }

  /// The chain store's centroid the first time it is asked for.
  [[nodiscard]] TPointLL Centroid() override;
  /// Moves every point by the difference to the current centroid, then stores it.
  void SetCentroid(const TPointLL& Value) override;
  /// The chains' MER (cached under osValidMER); a zero-size one at the centroid when there
  /// are no points.
  [[nodiscard]] TMER GetObjectMER() override;
  [[nodiscard]] std::int64_t ObjectInstanceSize() const override;
  /// The object assignment, and from a TGeoDataObject clones of its chains.
  void Assign(TGlobeObjectData& Source) override;
  /// Recomputes the flags from chain 0 (cleaning the chains on the way). Throws
  /// EGlobeException for more than 65,535 chains, which the record cannot count.
  void WriteProperties(TGlobeStreamWriter& Writer) override;
  /// Replaces title, flags and geometry; with the data running out, the chains read so far
  /// stay (see ReadChain) and the reader is Truncated().
  void ReadProperties(TGlobeStreamReader& Reader) override;
  void RedrawObject() override;
  /// With the canvas's default pen (and brush when closed), or a 4-pixel circle at the
  /// centroid when there are no chains.
  void Render(TGlobe4& Globe, TGlobeObjectStateSet State) override;
  [[nodiscard]] bool LLInObject(const TPointLL& ptLL, std::int32_t iTolerance) override;

 private:
  std::unique_ptr<TChainStore> FChains;
};

// ---- TBitmapObject ----------------------------------------------------------------------

class TBitmapObject : public TGlobeObject {
  GLOBE_CLASS(TBitmapObject, TGlobeObject)
 public:
  explicit TBitmapObject(TGlobeObjectSource* aParent);
  ~TBitmapObject() override;

  [[nodiscard]] TTextureData& TextureData() const noexcept { return *FTextureMap; }
  [[nodiscard]] const std::string& BMPFilename() const noexcept { return FsBMPFilename; }
  /// Resolves the name through the parent's globe (without a parent the name is used as it
  /// is) and loads the picture (texture errors propagate); the title becomes the given name
  /// when it is empty. A name that resolves to nothing removes the picture.
  void SetBMPFilename(const std::string& Value);
  [[nodiscard]] std::int32_t GlobeUnitsPerXPixel() const noexcept { return FiGUPerXPixel; }
  void SetGlobeUnitsPerXPixel(std::int32_t Value);
  [[nodiscard]] std::int32_t GlobeUnitsPerYPixel() const noexcept { return FiGUPerYPixel; }
  void SetGlobeUnitsPerYPixel(std::int32_t Value);
  void SetGlobeUnitsPerPixel(std::int32_t Value);
  /// The palette colour of the transparent index (as RGB); setting a colour picks its index.
  [[nodiscard]] platform::TColor TransparentColor() const;
  void SetTransparentColor(platform::TColor Value);
  [[nodiscard]] std::int32_t TransparentIndex() const noexcept { return FiTransparentIndex; }

  /// Width × height pixels from the centroid east and south (the picture's pixel width, not
  /// its padded row length); also ties the texture's corners to it.
  [[nodiscard]] TMER GetObjectMER() override;
  /// The base size plus the picture's bytes, which dominate it.
  [[nodiscard]] std::int64_t ObjectInstanceSize() const override;
  /// From a TBitmapObject also the scales, the transparent index and the picture (loaded
  /// again from its file).
  void Assign(TGlobeObjectData& Source) override;
  void WriteProperties(TGlobeStreamWriter& Writer) override;
  /// A record cut short inside the file name loads no picture.
  void ReadProperties(TGlobeStreamReader& Reader) override;
  void Render(TGlobe4& Globe, TGlobeObjectStateSet State) override;
  [[nodiscard]] bool LLInObject(const TPointLL& ptLL, std::int32_t iTolerance) override;

 private:
  std::unique_ptr<TTextureData> FTextureMap;
  std::string FsBMPFilename;
  std::int32_t FiGUPerXPixel = GU_MINUTE;
  std::int32_t FiGUPerYPixel = GU_MINUTE;
  std::int32_t FiTransparentIndex = -1;
};

}  // namespace globe
