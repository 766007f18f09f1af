#include "globe/formats/propertystream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace globe {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<std::uint8_t>;

// Runs Write against a fresh writer and returns what it produced.
Bytes Encode(const std::function<void(TGlobeStreamWriter&)>& Write) {
  auto owned = std::make_unique<TGlobeMemoryStream>();
  TGlobeMemoryStream* stream = owned.get();
  TGlobeStreamWriter writer(std::move(owned));
  Write(writer);
  return stream->Bytes();
}

// ---- Encodings --------------------------------------------------------------------------

struct EncodingCase {
  const char* name;
  std::function<void(TGlobeStreamWriter&)> write;
  // Reads the value back and checks it; the reader must then be at the end with no shortfall.
  std::function<void(TGlobeStreamReader&)> check;
  Bytes bytes;
};

TEST(PropertyStream, PrimitiveEncodingsAndRoundTrips) {
  const std::vector<EncodingCase> cases = {
      {"true",
       [](auto& w) { w.WriteBoolean(true); },
       [](auto& r) { EXPECT_TRUE(r.ReadBoolean()); },
       {0x54}},
      {"false",
       [](auto& w) { w.WriteBoolean(false); },
       [](auto& r) { EXPECT_FALSE(r.ReadBoolean()); },
       {0x46}},
      {"double",
       [](auto& w) { w.WriteDouble(1.5); },
       [](auto& r) { EXPECT_EQ(r.ReadDouble(), 1.5); },
       {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
      {"negative zero",
       [](auto& w) { w.WriteDouble(-0.0); },
       [](auto& r) { EXPECT_TRUE(std::signbit(r.ReadDouble())); },
       {0, 0, 0, 0, 0, 0, 0, 0x80}},
      {"word",
       [](auto& w) { w.WriteWord(0xFEDC); },
       [](auto& r) { EXPECT_EQ(r.ReadWord(), 0xFEDC); },
       {0xDC, 0xFE}},
      {"shortint",
       [](auto& w) { w.WriteShortInt(-2); },
       [](auto& r) { EXPECT_EQ(r.ReadShortInt(), -2); },
       {0xFE}},
      {"smallint",
       [](auto& w) { w.WriteSmallInt(-32768); },
       [](auto& r) { EXPECT_EQ(r.ReadSmallInt(), -32768); },
       {0x00, 0x80}},
      {"integer",
       [](auto& w) { w.WriteInteger(-19088744); },  // -0x01234568
       [](auto& r) { EXPECT_EQ(r.ReadInteger(), -19088744); },
       {0x98, 0xBA, 0xDC, 0xFE}},
      {"integer min",
       [](auto& w) { w.WriteInteger(std::numeric_limits<std::int32_t>::min()); },
       [](auto& r) { EXPECT_EQ(r.ReadInteger(), std::numeric_limits<std::int32_t>::min()); },
       {0, 0, 0, 0x80}},
      {"empty shortstring",
       [](auto& w) { w.WriteShortString(""); },
       [](auto& r) { EXPECT_EQ(r.ReadShortString(), ""); },
       {0x00}},
      {"shortstring",
       [](auto& w) { w.WriteShortString(std::string("a\0\xE9", 3)); },
       [](auto& r) { EXPECT_EQ(r.ReadShortString(), std::string("a\0\xE9", 3)); },
       {3, 'a', 0, 0xE9}},
      {"short text",
       [](auto& w) { w.WriteShortText("Kö\xE2\x82\xAC"); },  // "Kö€"
       [](auto& r) { EXPECT_EQ(r.ReadShortText(), "Kö\xE2\x82\xAC"); },
       {3, 'K', 0xF6, 0x80}},
      {"rect",
       [](auto& w) {
         w.WriteRect({1, -1, 256, 0x7FFFFFFF});
       },
       [](auto& r) {
         EXPECT_EQ(r.ReadRect(), (TRect{1, -1, 256, 0x7FFFFFFF}));
       },
       {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}},
      {"mer",
       [](auto& w) {
         w.WriteMER({-2, 3, 4, 5});
       },
       [](auto& r) {
         EXPECT_EQ(r.ReadMER(), (TMER{-2, 3, 4, 5}));
       },
       {0xFE, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0}},
      {"buffer",
       [](auto& w) { w.WriteBuffer("\x01\x02\x03", 3); },
       [](auto& r) {
         std::uint8_t b[3];
         r.ReadBuffer(b, 3);
         EXPECT_THAT(b, ElementsAre(1, 2, 3));
       },
       {1, 2, 3}},
      // -0.5° and 45.5° in whole minutes: -30 and 2730.
      {"short point",
       [](auto& w) {
         w.WritePointLL({-2'700'000, 245'700'000, 0}, false, true);
       },
       [](auto& r) {
         EXPECT_EQ(r.ReadPointLL(false, true), (TPointLL{-2'700'000, 245'700'000, 0}));
       },
       {0xE2, 0xFF, 0xAA, 0x0A}},
      {"short point with height",
       [](auto& w) {
         w.WritePointLL({90'000, -90'000, 180'000}, true, true);
       },
       [](auto& r) {
         EXPECT_EQ(r.ReadPointLL(true, true), (TPointLL{90'000, -90'000, 180'000}));
       },
       {1, 0, 0xFF, 0xFF, 2, 0}},
      {"full point",
       [](auto& w) {
         w.WritePointLL({1, -2, 3}, false, false);
       },
       [](auto& r) {
         EXPECT_EQ(r.ReadPointLL(false, false), (TPointLL{1, -2, 0}));
       },
       {1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}},
      {"full point with height",
       [](auto& w) {
         w.WritePointLL({1, -2, 3}, true, false);
       },
       [](auto& r) {
         EXPECT_EQ(r.ReadPointLL(true, false), (TPointLL{1, -2, 3}));
       },
       {1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0}},
      // A height flag of false leaves the height out whatever it is.
      {"short point drops height",
       [](auto& w) {
         w.WritePointLL({0, 0, 5'400'000}, false, true);
       },
       [](auto& r) { EXPECT_EQ(r.ReadPointLL(false, true), (TPointLL{})); },
       {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes bytes = Encode(c.write);
    EXPECT_THAT(bytes, ElementsAreArray(c.bytes));
    TGlobeMemoryView view(bytes);
    TGlobeStreamReader reader(view);
    c.check(reader);
    EXPECT_EQ(view.Position(), view.Size());
    EXPECT_FALSE(reader.Truncated());
  }
}

TEST(PropertyStream, OnlyTheByteTReadsAsTrue) {
  for (std::uint8_t b = 0;; ++b) {
    TGlobeMemoryView view(std::span<const std::uint8_t>(&b, 1));
    TGlobeStreamReader reader(view);
    EXPECT_EQ(reader.ReadBoolean(), b == 0x54) << int{b};
    if (b == 255) break;
  }
}

TEST(PropertyStream, LongStringsAreCutTo255Bytes) {
  const std::string title(300, 'x');
  for (bool asText : {false, true}) {
    const Bytes bytes =
        Encode([&](auto& w) { asText ? w.WriteShortText(title) : w.WriteShortString(title); });
    ASSERT_EQ(bytes.size(), 256u);
    EXPECT_EQ(bytes[0], 255);
    TGlobeMemoryView view(bytes);
    TGlobeStreamReader reader(view);
    EXPECT_EQ(reader.ReadShortString(), title.substr(0, 255));
  }
  // Cut after conversion: 200 "é" are 400 UTF-8 bytes but 200 ANSI bytes, all kept.
  std::string accents;
  for (int i = 0; i < 200; ++i) accents += "\xC3\xA9";
  const Bytes bytes = Encode([&](auto& w) { w.WriteShortText(accents); });
  EXPECT_EQ(bytes.size(), 201u);
}

TEST(PropertyStream, ShortPointsTruncateTowardZero) {
  struct Case {
    std::int32_t gu, stored, back;
  } const cases[] = {
      {-150'000, -1, -90'000}, {150'000, 1, 90'000},
      {-89'999, 0, 0},         {89'999, 0, 0},
      {-90'000, -1, -90'000},  {std::numeric_limits<std::int32_t>::min(), -23'860, -2'147'400'000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.gu);
    const Bytes bytes = Encode([&](auto& w) { w.WritePointLL({0, c.gu, 0}, false, true); });
    ASSERT_EQ(bytes.size(), 4u);
    EXPECT_EQ(static_cast<std::int16_t>(bytes[2] | bytes[3] << 8), c.stored);
    TGlobeMemoryView view(bytes);
    TGlobeStreamReader reader(view);
    EXPECT_EQ(reader.ReadPointLL(false, true).iLatY, c.back);
  }
}

TEST(PropertyStream, ReadLongitudesAreWrapped) {
  struct Case {
    bool b16Bit;
    Bytes bytes;
    std::int32_t longX;
  } const cases[] = {
      // 972,000,002 GU, just past 180°.
      {false, {0x02, 0x8B, 0xEF, 0x39, 0, 0, 0, 0}, -971'999'998},
      // 972,000,001 is still in range.
      {false, {0x01, 0x8B, 0xEF, 0x39, 0, 0, 0, 0}, 972'000'001},
      // 10,801 minutes = 972,090,000 GU.
      {true, {0x31, 0x2A, 0, 0}, 972'090'000 - 1'944'000'000},
      // 32,767 minutes overflows 32 bits: wraps modulo 2^32, then into range.
      {true, {0xFF, 0x7F, 0, 0}, -1'345'937'296 + 1'944'000'000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.longX);
    TGlobeMemoryView view(c.bytes);
    TGlobeStreamReader reader(view);
    EXPECT_EQ(reader.ReadPointLL(false, c.b16Bit).iLongX, c.longX);
  }
}

// ---- Running past the end ---------------------------------------------------------------

TEST(PropertyStream, TruncatedValuesAreZeroFilledAndCounted) {
  const Bytes bytes{0x11, 0x22, 0x33};
  TGlobeMemoryView view(bytes);
  TGlobeStreamReader reader(view);
  EXPECT_EQ(reader.Remaining(), 3);
  EXPECT_EQ(reader.ReadWord(), 0x2211);
  EXPECT_FALSE(reader.Truncated());
  EXPECT_EQ(reader.ReadInteger(), 0x33);  // one byte delivered, three zero
  EXPECT_EQ(reader.ShortCount(), 3u);
  EXPECT_TRUE(reader.Truncated());
  EXPECT_EQ(reader.Remaining(), 0);

  // Once at the end every value reads as zero and the shortfall keeps adding up.
  EXPECT_EQ(reader.ReadDouble(), 0.0);
  EXPECT_FALSE(reader.ReadBoolean());
  EXPECT_EQ(reader.ReadShortString(), "");
  EXPECT_EQ(reader.ReadPointLL(true, false), TPointLL{});
  EXPECT_EQ(reader.ReadMER(), TMER{});
  EXPECT_EQ(reader.ShortCount(), 3u + 8 + 1 + 1 + 12 + 16);
  EXPECT_EQ(view.Position(), 3);

  reader.ClearShortCount();
  EXPECT_FALSE(reader.Truncated());
}

TEST(PropertyStream, TruncatedBufferAndStringAreZeroFilled) {
  const Bytes bytes{5, 'a', 'b'};  // a ShortString of 5 with 2 bytes present
  TGlobeMemoryView view(bytes);
  TGlobeStreamReader reader(view);
  EXPECT_EQ(reader.ReadShortString(), std::string("ab\0\0\0", 5));
  EXPECT_EQ(reader.ShortCount(), 3u);

  view.SetPosition(1);
  reader.ClearShortCount();
  std::uint8_t buf[6];
  std::fill(std::begin(buf), std::end(buf), 0xAA);
  reader.ReadBuffer(buf, 5);
  EXPECT_THAT(buf, ElementsAre('a', 'b', 0, 0, 0, 0xAA));
  EXPECT_EQ(reader.ShortCount(), 3u);
}

// ---- Redirection through the raw transfers ----------------------------------------------

// Inverts every byte it passes on; everything read or written must go through it.
class TInvertingReader : public TGlobeStreamReader {
 public:
  using TGlobeStreamReader::TGlobeStreamReader;
  std::size_t ReadBytes(void* Buffer, std::size_t Count) override {
    const std::size_t n = TGlobeStreamReader::ReadBytes(Buffer, Count);
    for (std::size_t i = 0; i < n; ++i) static_cast<std::uint8_t*>(Buffer)[i] ^= 0xFF;
    calls++;
    return n;
  }
  int calls = 0;
};

class TInvertingWriter : public TGlobeStreamWriter {
 public:
  using TGlobeStreamWriter::TGlobeStreamWriter;
  void WriteBytes(const void* Buffer, std::size_t Count) override {
    std::vector<std::uint8_t> b(static_cast<const std::uint8_t*>(Buffer),
                                static_cast<const std::uint8_t*>(Buffer) + Count);
    for (auto& x : b) x ^= 0xFF;
    TGlobeStreamWriter::WriteBytes(b.data(), b.size());
  }
};

TEST(PropertyStream, EveryOperationGoesThroughTheRawTransfers) {
  auto owned = std::make_unique<TGlobeMemoryStream>();
  TGlobeMemoryStream* stream = owned.get();
  TInvertingWriter writer(std::move(owned));
  writer.WriteBoolean(true);
  writer.WriteDouble(-2.25);
  writer.WriteWord(7);
  writer.WriteShortInt(-7);
  writer.WriteSmallInt(-300);
  writer.WriteInteger(123456789);
  writer.WriteShortString("abc");
  writer.WriteRect({1, 2, 3, 4});
  writer.WritePointLL({5'400'000, 90'000, 0}, false, true);
  writer.WriteMER({5, 6, 7, 8});
  writer.WriteBuffer("z", 1);
  EXPECT_EQ(stream->Bytes()[0], 0x54 ^ 0xFF);

  stream->SetPosition(0);
  TInvertingReader reader(*stream);
  EXPECT_TRUE(reader.ReadBoolean());
  EXPECT_EQ(reader.ReadDouble(), -2.25);
  EXPECT_EQ(reader.ReadWord(), 7);
  EXPECT_EQ(reader.ReadShortInt(), -7);
  EXPECT_EQ(reader.ReadSmallInt(), -300);
  EXPECT_EQ(reader.ReadInteger(), 123456789);
  EXPECT_EQ(reader.ReadShortString(), "abc");
  EXPECT_EQ(reader.ReadRect(), (TRect{1, 2, 3, 4}));
  EXPECT_EQ(reader.ReadPointLL(false, true), (TPointLL{5'400'000, 90'000, 0}));
  EXPECT_EQ(reader.ReadMER(), (TMER{5, 6, 7, 8}));
  char z = 0;
  reader.ReadBuffer(&z, 1);
  EXPECT_EQ(z, 'z');
  EXPECT_EQ(reader.Remaining(), 0);
  EXPECT_FALSE(reader.Truncated());
}

// A stream that takes at most one byte per call and says so.
class TShortWriteStream : public TGlobeMemoryStream {
 public:
  std::size_t Write(const void* Buffer, std::size_t Count) override {
    return TGlobeMemoryStream::Write(Buffer, Count == 0 ? 0 : 1);
  }
};

TEST(PropertyStream, WriterRefusesShortWritesAndMissingStreams) {
  TGlobeStreamWriter writer(std::make_unique<TShortWriteStream>());
  EXPECT_NO_THROW(writer.WriteBoolean(true));
  EXPECT_THROW(writer.WriteInteger(1), EGlobeException);
  EXPECT_THROW(TGlobeStreamWriter(nullptr), EGlobeException);
}

TEST(PropertyStream, WriterWritesAtThePositionOfItsStream) {
  auto owned = std::make_unique<TGlobeMemoryStream>(Bytes{1, 2, 3, 4, 5});
  owned->SetPosition(1);
  TGlobeMemoryStream* stream = owned.get();
  TGlobeStreamWriter writer(std::move(owned));
  writer.WriteSmallInt(-1);
  EXPECT_THAT(stream->Bytes(), ElementsAre(1, 0xFF, 0xFF, 4, 5));
  EXPECT_EQ(stream->Position(), 3);
}

}  // namespace
}  // namespace globe
