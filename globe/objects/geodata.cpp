#include "globe/objects/geodata.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <span>
#include <string>

#include "globe/core/units.h"
#include "globe/formats/propertystream.h"
#include "globe/objects/source.h"
#include "globe/projection/projection.h"
#include "globe/render/attributes.h"
#include "globe/render/canvas.h"
#include "globe/view/globe.h"
#include "platform/device.h"

namespace globe {

namespace {

constexpr std::int32_t WORD_COUNT_MAX = 65'535;

// Encoding of a chain: the unit of stored differences, the escape value that announces a
// full point, and the sizes of a stored point and of a stored difference.
struct TChainEncoding {
  bool bHeight;
  bool b16Bit;
  bool bCompressed;
  bool bLongCount;
  std::int64_t Unit;
  std::int32_t Escape;
  std::int64_t PointSize;
  std::int64_t DiffSize;

  explicit TChainEncoding(TGlobeObjectFlagSet Flags) noexcept
      : bHeight(Flags.Contains(ofHeight)),
        b16Bit(Flags.Contains(of16Bit)),
        bCompressed(Flags.Contains(ofCompressed)),
        bLongCount(Flags.Contains(ofLongCount)),
        Unit(b16Bit ? GU_MINUTE : 1),
        Escape(b16Bit ? 127 : 32'767),
        PointSize((b16Bit ? 2 : 4) * (bHeight ? 3 : 2)),
        DiffSize((b16Bit ? 1 : 2) * (bHeight ? 3 : 2)) {}
};

// Values outside 32 bits wrap as 32-bit arithmetic would (the stored format's arithmetic).
std::int32_t Wrap32(std::int64_t Value) noexcept { return static_cast<std::int32_t>(Value); }

std::int32_t Saturate32(std::int64_t Value) noexcept {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      Value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The point stored at i of a packed array with the given stride (height 0 without heights).
TPointLL PackedPoint(std::span<const std::int32_t> Data, std::size_t Stride,
                     std::int32_t i) noexcept {
  const std::size_t at = static_cast<std::size_t>(i) * Stride;
  return {Data[at], Data[at + 1], Stride == 3 ? Data[at + 2] : 0};
}

void StorePacked(std::span<std::int32_t> Data, std::size_t Stride, std::int32_t i,
                 const TPointLL& pt) noexcept {
  const std::size_t at = static_cast<std::size_t>(i) * Stride;
  Data[at] = pt.iLongX;
  Data[at + 1] = pt.iLatY;
  if (Stride == 3) Data[at + 2] = pt.iHeightZ;
}

// Differences are formed in 64 bits: two 32-bit coordinates can lie more than 2^31 apart.
struct TDiff {
  std::int64_t dx, dy, dz;
};
TDiff Difference(const TPointLL& P, const TPointLL& Q, std::int64_t Unit) noexcept {
  return {(std::int64_t{P.iLongX} - Q.iLongX) / Unit, (std::int64_t{P.iLatY} - Q.iLatY) / Unit,
          (std::int64_t{P.iHeightZ} - Q.iHeightZ) / Unit};
}
bool Fits(const TDiff& d, std::int64_t Limit) noexcept {
  return std::llabs(d.dx) < Limit && std::llabs(d.dy) < Limit && std::llabs(d.dz) < Limit;
}

// A record that claims more than the data holds runs past its end: the reader is moved to
// the end and asked for one more byte, so that Truncated() reports it as it would had the
// whole claimed length been read.
void MarkTruncated(TGlobeStreamReader& Reader) {
  TGlobeStream& stream = Reader.DataStream();
  stream.SetPosition(stream.Size());
  (void)Reader.ReadShortInt();
}

}  // namespace

// ---- Chain records ----------------------------------------------------------------------

TGlobeObjectFlagSet ChainFlags(TPointStore& Chain) {
  TGlobeObjectFlagSet flags{of16Bit};
  const std::int32_t n = Chain.Count();
  const std::size_t stride = Chain.Stride();
  std::span<const std::int32_t> data = Chain.PointData();

  // Runs of equal points from index 2 on shrink to their last point; the first two points
  // and the last are always kept. Deciding against the original successor gives the same
  // result as deleting while walking back, in one pass.
  const auto duplicate = [&](std::int32_t i) {
    return i >= 2 && i < n - 1 && PackedPoint(data, stride, i) == PackedPoint(data, stride, i + 1);
  };
  bool anyDuplicate = false;
  for (std::int32_t i = n - 1; i >= 0; --i) {
    const TPointLL p = PackedPoint(data, stride, i);
    if (p.iHeightZ != 0) flags.Include(ofHeight);
    // Heights are checked too: the short form would truncate them to whole minutes.
    if (p.iLongX % GU_MINUTE != 0 || p.iLatY % GU_MINUTE != 0 || p.iHeightZ % GU_MINUTE != 0) {
      flags.Exclude(of16Bit);
    }
    anyDuplicate = anyDuplicate || duplicate(i);
  }
  std::int32_t count = n;
  if (anyDuplicate) {
    std::span<std::int32_t> edit = Chain.EditPointData();
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < n; ++i) {
      // Writes go to kept ≤ i, so the successor compared with is still the original.
      if (duplicate(i)) continue;
      if (kept != i) StorePacked(edit, stride, kept, PackedPoint(edit, stride, i));
      ++kept;
    }
    Chain.SetCount(kept);
    count = kept;
    data = Chain.PointData();
  }

  // The compression decision uses this estimate, not the encoded size.
  const TChainEncoding enc(flags);
  const std::int64_t limit = enc.Escape;
  const std::int64_t pointSize = enc.bHeight ? 12 : 8;
  std::int64_t estimate = pointSize;
  for (std::int32_t i = 1; i < count; ++i) {
    const TDiff d =
        Difference(PackedPoint(data, stride, i), PackedPoint(data, stride, i - 1), enc.Unit);
    if (Fits(d, limit)) {
      estimate += enc.bHeight ? 6 : 4;
    } else {
      estimate += enc.bHeight ? 14 : 10;
    }
  }
  if (std::int64_t{count} * pointSize > estimate) flags.Include(ofCompressed);
  if (count > WORD_COUNT_MAX) flags.Include(ofLongCount);
  return flags;
}

void WriteChain(TGlobeStreamWriter& Writer, TPointStore& Chain, TGlobeObjectFlagSet Flags) {
  const TChainEncoding enc(Flags);
  TPointStoreFlags pf = Chain.Flags();
  pf.Set(ps16Bit, enc.b16Bit).Set(psCompressed, enc.bCompressed).Set(psLongCount, enc.bLongCount);
  Chain.SetFlags(pf);

  const std::int32_t n = Chain.Count();
  if (enc.bLongCount) {
    Writer.WriteInteger(n);
  } else {
    // A Word cannot count more; writing the low 16 bits would garble everything after.
    if (n > WORD_COUNT_MAX) {
      throw EGlobeException("A chain of " + std::to_string(n) +
                            " points needs a 32-bit point count");
    }
    Writer.WriteWord(static_cast<std::uint16_t>(n));
  }
  // An empty chain is its count alone.
  if (n == 0) return;

  const std::size_t stride = Chain.Stride();
  const std::span<const std::int32_t> data = Chain.PointData();
  if (!enc.bCompressed) {
    for (std::int32_t i = 0; i < n; ++i) {
      Writer.WritePointLL(PackedPoint(data, stride, i), enc.bHeight, enc.b16Bit);
    }
    return;
  }
  const auto writeValue = [&](std::int64_t v) {
    if (enc.b16Bit) {
      Writer.WriteShortInt(static_cast<std::int8_t>(v));
    } else {
      Writer.WriteSmallInt(static_cast<std::int16_t>(v));
    }
  };
  TPointLL previous = PackedPoint(data, stride, 0);
  Writer.WritePointLL(previous, enc.bHeight, enc.b16Bit);
  for (std::int32_t i = 1; i < n; ++i) {
    const TPointLL p = PackedPoint(data, stride, i);
    const TDiff d = Difference(p, previous, enc.Unit);
    if (Fits(d, enc.Escape)) {
      writeValue(d.dx);
      writeValue(d.dy);
      if (enc.bHeight) writeValue(d.dz);
    } else {
      writeValue(enc.Escape);
      Writer.WritePointLL(p, enc.bHeight, enc.b16Bit);
    }
    previous = p;
  }
}

void ReadChain(TGlobeStreamReader& Reader, TPointStore& Chain, TGlobeObjectFlagSet Flags) {
  const TChainEncoding enc(Flags);
  Chain.SetCount(0);
  TPointStoreFlags pf = Chain.Flags();
  pf.Set(psHeight, enc.bHeight)
      .Set(ps16Bit, enc.b16Bit)
      .Set(psCompressed, enc.bCompressed)
      .Set(psLongCount, enc.bLongCount);
  Chain.SetFlags(pf);

  const std::uint64_t shortBefore = Reader.ShortCount();
  const auto truncated = [&] { return Reader.ShortCount() != shortBefore; };
  const std::int64_t count =
      enc.bLongCount ? std::int64_t{Reader.ReadInteger()} : std::int64_t{Reader.ReadWord()};
  if (truncated()) return;
  if (count < 0) {
    throw EGlobeException("Corrupt object record: point count " + std::to_string(count));
  }
  // An empty chain stores nothing after its count.
  if (count == 0) return;

  // Never more points than the remaining bytes can encode, whatever the count says.
  const std::int64_t remaining = Reader.Remaining();
  const std::int64_t fits = !enc.bCompressed ? remaining / enc.PointSize
                            : remaining < enc.PointSize
                                ? 0
                                : 1 + (remaining - enc.PointSize) / enc.DiffSize;
  const bool cut = count > fits;
  const auto n = static_cast<std::int32_t>(std::min(count, fits));
  if (n == 0) {
    MarkTruncated(Reader);
    return;
  }

  Chain.SetCount(n);
  const std::size_t stride = Chain.Stride();
  const std::span<std::int32_t> data = Chain.EditPointData();
  std::int32_t got = 0;
  if (!enc.bCompressed) {
    for (; got < n; ++got) {
      const TPointLL p = Reader.ReadPointLL(enc.bHeight, enc.b16Bit);
      if (truncated()) break;
      StorePacked(data, stride, got, p);
    }
  } else {
    const auto readValue = [&]() -> std::int64_t {
      return enc.b16Bit ? std::int64_t{Reader.ReadShortInt()} : std::int64_t{Reader.ReadSmallInt()};
    };
    const TPointLL first = Reader.ReadPointLL(enc.bHeight, enc.b16Bit);
    if (!truncated()) {
      StorePacked(data, stride, 0, first);
      got = 1;
      // The running point in stored units; 64 bits so that corrupt differences cannot
      // overflow it (points built from it wrap as 32-bit values would).
      std::int64_t rx = first.iLongX / enc.Unit;
      std::int64_t ry = first.iLatY / enc.Unit;
      std::int64_t rz = first.iHeightZ / enc.Unit;
      for (; got < n; ++got) {
        const std::int64_t dx = readValue();
        TPointLL p;
        if (dx == enc.Escape) {
          p = Reader.ReadPointLL(enc.bHeight, enc.b16Bit);
          rx = p.iLongX / enc.Unit;
          ry = p.iLatY / enc.Unit;
          rz = p.iHeightZ / enc.Unit;
        } else {
          const std::int64_t dy = readValue();
          const std::int64_t dz = enc.bHeight ? readValue() : 0;
          rx += dx;
          ry += dy;
          rz += dz;
          p = PointLLH(Wrap32(rx * enc.Unit), Wrap32(ry * enc.Unit), Wrap32(rz * enc.Unit));
        }
        if (truncated()) break;
        StorePacked(data, stride, got, p);
      }
    }
  }
  // A truncated chain keeps the points read in full.
  if (got < n) Chain.SetCount(got);
  if (cut && !truncated()) MarkTruncated(Reader);
}

// ---- TGeoDataObject ---------------------------------------------------------------------

TGeoDataObject::TGeoDataObject(TGlobeObjectSource* aParent)
    : TGlobeObject(aParent), FChains(std::make_unique<TChainStore>()) {}

TGeoDataObject::~TGeoDataObject() { DetachFromParent(); }

TPointLL TGeoDataObject::Centroid() {
  if (FCentroid.iHeightZ == CENTROID_NOT_COMPUTED) FCentroid = FChains->Centroid();
  return FCentroid;
}

void TGeoDataObject::SetCentroid(const TPointLL& Value) {
  const TPointLL current = Centroid();
  const std::int32_t dx = Wrap32(std::int64_t{Value.iLongX} - current.iLongX);
  const std::int32_t dy = Wrap32(std::int64_t{Value.iLatY} - current.iLatY);
  const std::int32_t dz = Wrap32(std::int64_t{Value.iHeightZ} - current.iHeightZ);
  if (dx != 0 || dy != 0 || dz != 0) {
    for (std::int32_t i = 0; i < FChains->Count(); ++i) {
      if (FChains->FindChain(i) != nullptr) FChains->GetChain(i).Translate(dx, dy, dz);
    }
  }
  TGlobeObject::SetCentroid(Value);
}

TMER TGeoDataObject::GetObjectMER() {
  if (!ObjectState.Contains(osValidMER)) {
    ObjectState.Include(osValidMER);
    const TPointStore* first = FChains->FindChain(0);
    if (first == nullptr || first->Count() == 0) {
      const TPointLL c = Centroid();
      FObjectMER = MER(c.iLongX, c.iLatY, 0, 0);
    } else {
      FObjectMER = FChains->ChainStoreMER();
    }
  }
  return FObjectMER;
}

std::int64_t TGeoDataObject::ObjectInstanceSize() const {
  std::int64_t size = static_cast<std::int64_t>(sizeof(TGeoDataObject) + FTitle.size());
  for (std::int32_t i = 0; i < FChains->Count(); ++i) {
    if (const TPointStore* chain = FChains->FindChain(i)) size += chain->ObjectInstanceSize();
  }
  return size;
}

void TGeoDataObject::Assign(TGlobeObjectData& Source) {
  if (&Source == this) return;
  TGlobeObject::Assign(Source);
  if (Source.InheritsFrom(TGeoDataObject::StaticClass())) {
    FChains = static_cast<TGeoDataObject&>(Source).FChains->Clone();
    ObjectState.Exclude(osValidMER);
  }
}

void TGeoDataObject::WriteProperties(TGlobeStreamWriter& Writer) {
  const std::int32_t chains = FChains->Count();
  // The chain count is read back as a Word.
  if (chains > WORD_COUNT_MAX) {
    throw EGlobeException("An object of " + std::to_string(chains) +
                          " chains cannot be stored (at most 65535)");
  }
  if (chains == 0) {
    ObjectFlags = TGlobeObjectFlagSet{ofSingle};
  } else {
    ObjectFlags = ChainFlags(FChains->GetChain(0));
    if (chains > 1) ObjectFlags.Include(ofMultiRing);
  }
  WriteCommonRecord(Writer);

  if (ObjectFlags.Contains(ofSingle)) {
    Writer.WritePointLL(Centroid(), false, false);
    return;
  }
  if (ObjectFlags.Contains(ofMultiRing)) Writer.WriteSmallInt(static_cast<std::int16_t>(chains));
  WriteChain(Writer, FChains->GetChain(0), ObjectFlags);
  for (std::int32_t i = 1; i < chains; ++i) {
    TPointStore& chain = FChains->GetChain(i);
    const TGlobeObjectFlagSet flags = ChainFlags(chain);
    Writer.WriteWord(flags.ToBits());
    WriteChain(Writer, chain, flags);
  }
}

void TGeoDataObject::ReadProperties(TGlobeStreamReader& Reader) {
  TGlobeObject::ReadProperties(Reader);
  const std::uint64_t shortBefore = Reader.ShortCount();
  const auto truncated = [&] { return Reader.ShortCount() != shortBefore; };

  if (ObjectFlags.Contains(ofSingle)) {
    FChains->SetCount(0);
    const TPointLL pt =
        Reader.ReadPointLL(ObjectFlags.Contains(ofHeight), ObjectFlags.Contains(of16Bit));
    SetCentroid(pt);
    return;
  }

  // The geometry is replaced: what was derived from the old one goes.
  FCentroid = TPointLL{0, 0, CENTROID_NOT_COMPUTED};
  ObjectState.Exclude(osValidMER);
  FChains->SetCount(0);
  FChains->SetStoreHeight(ObjectFlags.Contains(ofHeight));

  std::int64_t count = 1;
  if (ObjectFlags.Contains(ofMultiRing)) {
    count = Reader.ReadWord();
    if (truncated()) return;
  }
  // Every chain needs its 2-byte point count and every one after the first its 2-byte flags
  // word, so the data bounds the number of chains worth allocating.
  const std::int64_t remaining = Reader.Remaining();
  const std::int64_t fits = remaining < 2 ? 0 : 1 + (remaining - 2) / 4;
  const bool cut = count > fits;
  const auto n = static_cast<std::int32_t>(std::min(count, fits));
  FChains->SetCount(n);

  std::int32_t read = 0;
  TGlobeObjectFlagSet flags = ObjectFlags;
  for (; read < n; ++read) {
    if (read > 0) {
      flags = TGlobeObjectFlagSet::FromBits(Reader.ReadWord());
      if (truncated()) break;
    }
    ReadChain(Reader, FChains->GetChain(read), flags);
    if (truncated()) {
      ++read;  // a partly read chain keeps its points
      break;
    }
  }
  if (read < n) FChains->SetCount(read);
  if (cut && !truncated()) MarkTruncated(Reader);
}

void TGeoDataObject::RedrawObject() {
  TGlobeObject::RedrawObject();
  ObjectState.Exclude(osValidMER);
  for (std::int32_t i = 0; i < FChains->Count(); ++i) {
    if (FChains->FindChain(i) != nullptr) FChains->GetChain(i).Refresh();
  }
}

void TGeoDataObject::Render(TGlobe4& Globe, TGlobeObjectStateSet State) {
  TGlobeCanvas& canvas = Globe.GlobeCanvas();
  const bool selected = State.Contains(osSelected);
  canvas.DefPen().RenderAttribute(canvas, selected);
  if (Closed()) canvas.DefBrush().RenderAttribute(canvas, selected);
  if (FChains->Count() > 0) {
    canvas.RenderChainStore(*FChains, State, canvas.DefPen().PenWidth());
    return;
  }
  TPoint pt;
  if (Globe.Projection().PointLLToXY(Centroid(), pt) && canvas.DC() != nullptr) {
    canvas.DC()->Ellipse(TRect{pt.X - 2, pt.Y - 2, pt.X + 2, pt.Y + 2});
  }
}

bool TGeoDataObject::LLInObject(const TPointLL& ptLL, std::int32_t iTolerance) {
  const std::int32_t code = LLInObjectMER(ptLL, iTolerance);
  if (code == 0) return false;
  if (FChains->Count() == 0) return true;
  const bool closed = Closed();
  for (std::int32_t i = 0; i < FChains->Count(); ++i) {
    const TPointStore* chain = FChains->FindChain(i);
    if (chain == nullptr) continue;
    const bool hit = closed ? chain->PointInPolygon(ptLL.iLongX, ptLL.iLatY, code)
                            : chain->PointOnPolyline(ptLL.iLongX, ptLL.iLatY, iTolerance);
    if (hit) return true;
  }
  return false;
}

// ---- TBitmapObject ----------------------------------------------------------------------

TBitmapObject::TBitmapObject(TGlobeObjectSource* aParent)
    : TGlobeObject(aParent), FTextureMap(std::make_unique<TTextureData>()) {}

TBitmapObject::~TBitmapObject() { DetachFromParent(); }

void TBitmapObject::SetBMPFilename(const std::string& Value) {
  // Without a parent there is no globe to resolve against: the name is taken as it is.
  TGlobe4* globe = Globe();
  std::string resolved = Value.empty() || globe == nullptr ? Value : globe->ResolveFilename(Value);
  FsBMPFilename = resolved;
  if (resolved.empty()) {
    // No picture any more: the old one must not stay on show under an empty name.
    if (FTextureMap->IsValid()) {
      FTextureMap = std::make_unique<TTextureData>();
      ObjectState.Exclude(osValidMER);
      RedrawObject();
    }
    return;
  }
  FTextureMap->LoadFromFile(resolved);
  FTextureMap->TransparentIndex = FiTransparentIndex;
  if (FTitle.empty()) FTitle = Value;
  // Another picture has another size.
  ObjectState.Exclude(osValidMER);
  RedrawObject();
}

void TBitmapObject::SetGlobeUnitsPerXPixel(std::int32_t Value) {
  FiGUPerXPixel = Value;
  ObjectState.Exclude(osValidMER);
  RedrawObject();
}

void TBitmapObject::SetGlobeUnitsPerYPixel(std::int32_t Value) {
  FiGUPerYPixel = Value;
  ObjectState.Exclude(osValidMER);
  RedrawObject();
}

void TBitmapObject::SetGlobeUnitsPerPixel(std::int32_t Value) {
  FiGUPerXPixel = Value;
  FiGUPerYPixel = Value;
  ObjectState.Exclude(osValidMER);
  RedrawObject();
}

platform::TColor TBitmapObject::TransparentColor() const {
  return FTextureMap->IndexToColor(FiTransparentIndex);
}

void TBitmapObject::SetTransparentColor(platform::TColor Value) {
  const std::int32_t index = FTextureMap->ColorToIndex(Value);
  FTextureMap->TransparentIndex = index;
  if (index == FiTransparentIndex) return;
  FiTransparentIndex = index;
  RedrawObject();
}

TMER TBitmapObject::GetObjectMER() {
  if (!ObjectState.Contains(osValidMER)) {
    ObjectState.Include(osValidMER);
    if (FTextureMap->IsValid()) {
      // The picture's width in pixels (not its padded row length) and its height.
      const std::int32_t w = std::max(FTextureMap->TextureBMPHeader.biWidth, 0);
      const std::int32_t h = FTextureMap->Height();
      const TPointLL c = Centroid();
      // Scales come from files: 64-bit products, kept within 32 bits.
      const std::int64_t width = std::int64_t{w} * FiGUPerXPixel;
      const std::int64_t height = std::int64_t{h} * FiGUPerYPixel;
      const std::int32_t south = Saturate32(std::int64_t{c.iLatY} - height);
      FObjectMER = MER(c.iLongX, south, Saturate32(width), Saturate32(height));
      FTextureMap->MapPoint(c.iLongX, c.iLatY, 0, 0);
      FTextureMap->MapPoint(Saturate32(std::int64_t{c.iLongX} + width), south, w, h);
    }
  }
  return FObjectMER;
}

std::int64_t TBitmapObject::ObjectInstanceSize() const {
  // The picture is by far the largest part of the object, so the cache counts it.
  return static_cast<std::int64_t>(sizeof(TBitmapObject) + FTitle.size() + sizeof(TTextureData) +
                                   FTextureMap->TextureStream.size());
}

void TBitmapObject::Assign(TGlobeObjectData& Source) {
  if (&Source == this) return;
  TGlobeObject::Assign(Source);
  if (!Source.InheritsFrom(TBitmapObject::StaticClass())) return;
  auto& src = static_cast<TBitmapObject&>(Source);
  SetGlobeUnitsPerXPixel(src.FiGUPerXPixel);
  SetGlobeUnitsPerYPixel(src.FiGUPerYPixel);
  // The index itself: looked up by colour it would be lost while no picture is loaded yet,
  // and the picture below applies it.
  FiTransparentIndex = src.FiTransparentIndex;
  FTextureMap->TransparentIndex = FiTransparentIndex;
  SetBMPFilename(src.FsBMPFilename);
}

void TBitmapObject::WriteProperties(TGlobeStreamWriter& Writer) {
  WriteCommonRecord(Writer);
  const TPointLL c = Centroid();
  Writer.WriteInteger(c.iLongX);
  Writer.WriteInteger(c.iLatY);
  Writer.WriteInteger(FiGUPerXPixel);
  Writer.WriteInteger(FiGUPerYPixel);
  Writer.WriteInteger(FiTransparentIndex);
  Writer.WriteShortText(FsBMPFilename);
}

void TBitmapObject::ReadProperties(TGlobeStreamReader& Reader) {
  TGlobeObject::ReadProperties(Reader);
  const std::uint64_t shortBefore = Reader.ShortCount();
  const std::int32_t x = Reader.ReadInteger();
  const std::int32_t y = Reader.ReadInteger();
  SetCentroid(TPointLL{x, y, 0});
  FiGUPerXPixel = Reader.ReadInteger();
  FiGUPerYPixel = Reader.ReadInteger();
  FiTransparentIndex = Reader.ReadInteger();
  FTextureMap->TransparentIndex = FiTransparentIndex;
  ObjectState.Exclude(osValidMER);
  const std::string name = Reader.ReadShortText();
  // A name cut short by the end of the data could name some other file.
  if (Reader.ShortCount() != shortBefore) return;
  SetBMPFilename(name);
}

void TBitmapObject::Render(TGlobe4& Globe, TGlobeObjectStateSet /*State*/) {
  // Places the texture's corners when a scale or the centroid changed since the last query.
  (void)GetObjectMER();
  Globe.GlobeCanvas().RenderTextureMap(*FTextureMap);
}

bool TBitmapObject::LLInObject(const TPointLL& ptLL, std::int32_t iTolerance) {
  return LLInObjectMER(ptLL, iTolerance) != 0;
}

}  // namespace globe
