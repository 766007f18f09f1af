// Typed reading and writing of the packed binary records that layer files, metadata files and
// object, presenter and drawing-attribute records are made of, and the process-wide stream
// version that tells record readers which older layout they are reading.
//
// Encodings (little-endian, no tags, padding or alignment):
//   Boolean      1 byte: 0x54 ("T") for true, 0x46 ("F") for false; only 0x54 reads as true
//   Double       8 bytes, IEEE 754 binary64
//   Word         2 bytes, unsigned      ShortInt  1 byte, signed
//   SmallInt     2 bytes, signed        Integer   4 bytes, signed
//   ShortString  a length byte n, then n bytes of Windows-1252 text
//   Rect         Left, Top, Right, Bottom as Integers
//   MER          LongX, LatY, WidthX, HeightY as Integers (GU)
//   PointLL      LongX, LatY[, HeightZ]: Integers (GU), or in the short form SmallInts that
//                count whole minutes of arc (90,000 GU)
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "globe/core/classes.h"
#include "globe/core/types.h"
#include "globe/formats/stream.h"

namespace globe {

// ---- Stream version ---------------------------------------------------------------------

/// The layout of the current records; a globe view sets the stream version to it.
inline constexpr std::uint16_t GLOBE_STREAM_VERSION_CURRENT = 0x0405;  // 1029
/// From this version on, pen widths and presenter title offsets are 4-byte Integers.
inline constexpr std::uint16_t GLOBE_STREAM_VERSION_WIDE = 0x0400;  // 1024
/// The oldest layer file version that is read at all.
inline constexpr std::uint16_t GLOBE_STREAM_VERSION_OLDEST = 0x0300;  // 768

/// The process-wide stream version: 0 until set; every new globe view sets it to
/// GLOBE_STREAM_VERSION_CURRENT. Only the user-interface thread uses it.
[[nodiscard]] std::uint16_t GlobeStreamVersion() noexcept;
void SetGlobeStreamVersion(std::uint16_t Version) noexcept;

/// The number of GU that one unit of a short-form point coordinate stands for.
inline constexpr std::int32_t SHORT_POINT_UNIT = GU_MINUTE;

// ---- Reader -----------------------------------------------------------------------------

/// Reads typed values from a stream it does not own, starting at the stream's position.
/// Each read advances the position by the value's encoded size as far as there is data.
///
/// Reading past the end raises no error and never reads outside the data: the bytes of a
/// value that the stream did not deliver read as zero, and their number is added to
/// ShortCount. Readers of outside data check Truncated (or ShortCount) after a record, and
/// check counts read from the data against Remaining before they allocate.
class TGlobeStreamReader : public TGlobeRoot {
  GLOBE_CLASS(TGlobeStreamReader, TGlobeRoot)
 public:
  /// The stream must outlive the reader.
  explicit TGlobeStreamReader(TGlobeStream& aStream) noexcept : stream_(&aStream) {}

  [[nodiscard]] TGlobeStream& DataStream() const noexcept { return *stream_; }

  /// Raw transfer: copies up to Count bytes into Buffer and returns how many it copied.
  /// Every other read goes through it, so overriding it alone redirects all reading.
  virtual std::size_t ReadBytes(void* Buffer, std::size_t Count);
  /// Fills Buffer with iSize bytes; what the stream did not deliver is zeroed.
  virtual void ReadBuffer(void* Buffer, std::size_t iSize);
  /// One raw byte (enumerations stored in a byte).
  std::uint8_t ReadByte();
  virtual bool ReadBoolean();
  virtual double ReadDouble();
  virtual std::uint16_t ReadWord();
  virtual std::int8_t ReadShortInt();
  virtual std::int16_t ReadSmallInt();
  virtual std::int32_t ReadInteger();
  /// The raw bytes of a ShortString (0 to 255 of them), not converted.
  virtual std::string ReadShortString();
  /// A point in either form (see the file comment); HeightZ is 0 when bHeight is false. The
  /// longitude is wrapped into ±972,000,001 GU as by PointLLH.
  virtual TPointLL ReadPointLL(bool bHeight, bool b16Bit);
  virtual TRect ReadRect();
  virtual TMER ReadMER();

  /// A ShortString converted from Windows-1252 to UTF-8.
  [[nodiscard]] std::string ReadShortText();

  /// Bytes that reads asked for and did not get, since construction or ClearShortCount.
  [[nodiscard]] std::uint64_t ShortCount() const noexcept { return short_count_; }
  /// True once a read has run past the end of the data.
  [[nodiscard]] bool Truncated() const noexcept { return short_count_ != 0; }
  void ClearShortCount() noexcept { short_count_ = 0; }
  /// Bytes left in the stream after its position.
  [[nodiscard]] std::int64_t Remaining() const noexcept { return stream_->Remaining(); }

 protected:
  /// Reads exactly Count bytes through ReadBytes, zeroing and counting any shortfall.
  void ReadExact(void* Buffer, std::size_t Count);

 private:
  TGlobeStream* stream_;
  std::uint64_t short_count_ = 0;
};

// ---- Writer -----------------------------------------------------------------------------

/// Writes typed values to a stream it owns, at the stream's position. Each write advances
/// the position by the value's encoded size. A write that the stream cannot take raises
/// what the stream raises; a stream that reports storing fewer bytes than given makes the
/// write throw EGlobeException "<ClassName>.WriteBytes: Stream write failed".
class TGlobeStreamWriter : public TGlobeRoot {
  GLOBE_CLASS(TGlobeStreamWriter, TGlobeRoot)
 public:
  /// Takes ownership of the stream; a null one throws EGlobeException
  /// "TGlobeStreamWriter.Create passed nil Stream".
  explicit TGlobeStreamWriter(std::unique_ptr<TGlobeStream> aStream);

  [[nodiscard]] TGlobeStream& DataStream() const noexcept { return *stream_; }

  /// Raw transfer of Count bytes; every other write goes through it.
  virtual void WriteBytes(const void* Buffer, std::size_t Count);
  virtual void WriteBuffer(const void* Buffer, std::size_t iSize);
  /// One raw byte (enumerations stored in a byte).
  void WriteByte(std::uint8_t iVal) { WriteBuffer(&iVal, 1); }
  virtual void WriteBoolean(bool bVal);
  virtual void WriteDouble(double Val);
  virtual void WriteWord(std::uint16_t iVal);
  virtual void WriteShortInt(std::int8_t iVal);
  virtual void WriteSmallInt(std::int16_t iVal);
  virtual void WriteInteger(std::int32_t iVal);
  /// Writes the length byte and the bytes in one transfer. Bytes beyond the 255th are
  /// dropped, since the length byte cannot count them.
  virtual void WriteShortString(std::string_view sValue);
  virtual void WriteRect(const TRect& ARect);
  /// Writes the point in the chosen form; the short form divides each coordinate by 90,000
  /// truncating toward zero, so it is exact only for whole minutes of arc. HeightZ is
  /// written only when bHeight is true.
  virtual void WritePointLL(const TPointLL& pt, bool bHeight, bool b16Bit);
  virtual void WriteMER(const TMER& MER);

  /// Converts UTF-8 text to Windows-1252 and writes it as a ShortString of at most 255 bytes.
  void WriteShortText(std::string_view Text);

 private:
  std::unique_ptr<TGlobeStream> stream_;
};

}  // namespace globe
