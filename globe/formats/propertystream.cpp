#include "globe/formats/propertystream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "globe/core/codepage.h"
#include "globe/core/units.h"

namespace globe {

namespace {

std::uint16_t g_stream_version = 0;

constexpr std::uint8_t BOOL_TRUE = 0x54;   // "T"
constexpr std::uint8_t BOOL_FALSE = 0x46;  // "F"
constexpr std::size_t SHORT_STRING_MAX = 255;

// Values are assembled byte by byte so that the encoding does not depend on the host's
// byte order.
std::uint16_t Get16(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Get32(const std::uint8_t* p) noexcept {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}
std::uint64_t Get64(const std::uint8_t* p) noexcept {
  return std::uint64_t{Get32(p)} | (std::uint64_t{Get32(p + 4)} << 32);
}
std::int32_t GetInt32(const std::uint8_t* p) noexcept {
  return static_cast<std::int32_t>(Get32(p));
}

void Put16(std::uint8_t* p, std::uint16_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) noexcept {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put64(std::uint8_t* p, std::uint64_t v) noexcept {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The short point form counts whole minutes; the quotient of a 32-bit coordinate by 90,000
// (at most 23,860 in magnitude) always fits 16 bits.
std::int16_t ToShortCoordinate(std::int32_t iValue) noexcept {
  return static_cast<std::int16_t>(iValue / SHORT_POINT_UNIT);  // C++ division truncates
}

// Stored values beyond ±23,860 (never written, since the writer's quotients stay within
// that) do not fit 32 bits once multiplied; they wrap modulo 2^32 as 32-bit arithmetic would.
std::int32_t FromShortCoordinate(std::uint16_t iStored) noexcept {
  const std::int64_t gu = std::int64_t{static_cast<std::int16_t>(iStored)} * SHORT_POINT_UNIT;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(gu));
}

}  // namespace

std::uint16_t GlobeStreamVersion() noexcept { return g_stream_version; }
void SetGlobeStreamVersion(std::uint16_t Version) noexcept { g_stream_version = Version; }

// ---- TGlobeStreamReader -----------------------------------------------------------------

std::size_t TGlobeStreamReader::ReadBytes(void* Buffer, std::size_t Count) {
  return stream_->Read(Buffer, Count);
}

void TGlobeStreamReader::ReadExact(void* Buffer, std::size_t Count) {
  // A ReadBytes override that claims more than it was asked for is not trusted with it.
  const std::size_t got = std::min(ReadBytes(Buffer, Count), Count);
  if (got < Count) {
    std::memset(static_cast<std::uint8_t*>(Buffer) + got, 0, Count - got);
    short_count_ += Count - got;
  }
}

void TGlobeStreamReader::ReadBuffer(void* Buffer, std::size_t iSize) {
  if (iSize != 0) ReadExact(Buffer, iSize);
}

std::uint8_t TGlobeStreamReader::ReadByte() {
  std::uint8_t value = 0;
  ReadBuffer(&value, 1);
  return value;
}

bool TGlobeStreamReader::ReadBoolean() {
  std::uint8_t b;
  ReadExact(&b, 1);
  return b == BOOL_TRUE;
}

double TGlobeStreamReader::ReadDouble() {
  std::array<std::uint8_t, 8> b;
  ReadExact(b.data(), b.size());
  return std::bit_cast<double>(Get64(b.data()));
}

std::uint16_t TGlobeStreamReader::ReadWord() {
  std::array<std::uint8_t, 2> b;
  ReadExact(b.data(), b.size());
  return Get16(b.data());
}

std::int8_t TGlobeStreamReader::ReadShortInt() {
  std::uint8_t b;
  ReadExact(&b, 1);
  return static_cast<std::int8_t>(b);
}

std::int16_t TGlobeStreamReader::ReadSmallInt() {
  std::array<std::uint8_t, 2> b;
  ReadExact(b.data(), b.size());
  return static_cast<std::int16_t>(Get16(b.data()));
}

std::int32_t TGlobeStreamReader::ReadInteger() {
  std::array<std::uint8_t, 4> b;
  ReadExact(b.data(), b.size());
  return GetInt32(b.data());
}

std::string TGlobeStreamReader::ReadShortString() {
  std::uint8_t length;
  ReadExact(&length, 1);
  std::string s(length, '\0');
  if (length != 0) ReadExact(s.data(), length);
  return s;
}

TPointLL TGlobeStreamReader::ReadPointLL(bool bHeight, bool b16Bit) {
  // One transfer for the whole point: points are read by the thousand.
  std::array<std::uint8_t, 12> b;
  const std::size_t width = b16Bit ? 2 : 4;
  ReadExact(b.data(), width * (bHeight ? 3 : 2));
  std::int32_t c[3] = {0, 0, 0};
  for (std::size_t i = 0; i < (bHeight ? 3u : 2u); ++i) {
    const std::uint8_t* p = b.data() + i * width;
    c[i] = b16Bit ? FromShortCoordinate(Get16(p)) : GetInt32(p);
  }
  return PointLLH(c[0], c[1], c[2]);
}

TRect TGlobeStreamReader::ReadRect() {
  std::array<std::uint8_t, 16> b;
  ReadExact(b.data(), b.size());
  return TRect{GetInt32(b.data()), GetInt32(b.data() + 4), GetInt32(b.data() + 8),
               GetInt32(b.data() + 12)};
}

TMER TGlobeStreamReader::ReadMER() {
  std::array<std::uint8_t, 16> b;
  ReadExact(b.data(), b.size());
  return TMER{GetInt32(b.data()), GetInt32(b.data() + 4), GetInt32(b.data() + 8),
              GetInt32(b.data() + 12)};
}

std::string TGlobeStreamReader::ReadShortText() { return AnsiToUtf8(ReadShortString()); }

// ---- TGlobeStreamWriter -----------------------------------------------------------------

TGlobeStreamWriter::TGlobeStreamWriter(std::unique_ptr<TGlobeStream> aStream)
    : stream_(std::move(aStream)) {
  if (!stream_) throw EGlobeException("TGlobeStreamWriter.Create passed nil Stream");
}

void TGlobeStreamWriter::WriteBytes(const void* Buffer, std::size_t Count) {
  // A silently short write would leave a record that reads back as something else.
  if (stream_->Write(Buffer, Count) != Count) {
    throw EGlobeException(std::string(ClassName()) + ".WriteBytes: Stream write failed");
  }
}

void TGlobeStreamWriter::WriteBuffer(const void* Buffer, std::size_t iSize) {
  if (iSize != 0) WriteBytes(Buffer, iSize);
}

void TGlobeStreamWriter::WriteBoolean(bool bVal) {
  const std::uint8_t b = bVal ? BOOL_TRUE : BOOL_FALSE;
  WriteBytes(&b, 1);
}

void TGlobeStreamWriter::WriteDouble(double Val) {
  std::array<std::uint8_t, 8> b;
  Put64(b.data(), std::bit_cast<std::uint64_t>(Val));
  WriteBytes(b.data(), b.size());
}

void TGlobeStreamWriter::WriteWord(std::uint16_t iVal) {
  std::array<std::uint8_t, 2> b;
  Put16(b.data(), iVal);
  WriteBytes(b.data(), b.size());
}

void TGlobeStreamWriter::WriteShortInt(std::int8_t iVal) {
  const auto b = static_cast<std::uint8_t>(iVal);
  WriteBytes(&b, 1);
}

void TGlobeStreamWriter::WriteSmallInt(std::int16_t iVal) {
  std::array<std::uint8_t, 2> b;
  Put16(b.data(), static_cast<std::uint16_t>(iVal));
  WriteBytes(b.data(), b.size());
}

void TGlobeStreamWriter::WriteInteger(std::int32_t iVal) {
  std::array<std::uint8_t, 4> b;
  Put32(b.data(), static_cast<std::uint32_t>(iVal));
  WriteBytes(b.data(), b.size());
}

void TGlobeStreamWriter::WriteShortString(std::string_view sValue) {
  std::array<std::uint8_t, 1 + SHORT_STRING_MAX> b;
  const std::size_t n = std::min(sValue.size(), SHORT_STRING_MAX);
  b[0] = static_cast<std::uint8_t>(n);
  if (n != 0) std::memcpy(b.data() + 1, sValue.data(), n);
  WriteBytes(b.data(), n + 1);
}

void TGlobeStreamWriter::WriteRect(const TRect& ARect) {
  std::array<std::uint8_t, 16> b;
  Put32(b.data(), static_cast<std::uint32_t>(ARect.Left));
  Put32(b.data() + 4, static_cast<std::uint32_t>(ARect.Top));
  Put32(b.data() + 8, static_cast<std::uint32_t>(ARect.Right));
  Put32(b.data() + 12, static_cast<std::uint32_t>(ARect.Bottom));
  WriteBytes(b.data(), b.size());
}

void TGlobeStreamWriter::WritePointLL(const TPointLL& pt, bool bHeight, bool b16Bit) {
  std::array<std::uint8_t, 12> b;
  const std::int32_t c[3] = {pt.iLongX, pt.iLatY, pt.iHeightZ};
  const std::size_t count = bHeight ? 3 : 2;
  const std::size_t width = b16Bit ? 2 : 4;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* p = b.data() + i * width;
    if (b16Bit) {
      Put16(p, static_cast<std::uint16_t>(ToShortCoordinate(c[i])));
    } else {
      Put32(p, static_cast<std::uint32_t>(c[i]));
    }
  }
  WriteBytes(b.data(), count * width);
}

void TGlobeStreamWriter::WriteMER(const TMER& MER) {
  std::array<std::uint8_t, 16> b;
  Put32(b.data(), static_cast<std::uint32_t>(MER.iLongX));
  Put32(b.data() + 4, static_cast<std::uint32_t>(MER.iLatY));
  Put32(b.data() + 8, static_cast<std::uint32_t>(MER.iWidthX));
  Put32(b.data() + 12, static_cast<std::uint32_t>(MER.iHeightY));
  WriteBytes(b.data(), b.size());
}

void TGlobeStreamWriter::WriteShortText(std::string_view Text) {
  WriteShortString(Utf8ToAnsi(Text));  // WriteShortString cuts to 255 bytes
}

}  // namespace globe
