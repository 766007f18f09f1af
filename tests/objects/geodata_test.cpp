// Geometry objects and bitmap objects: the chain encodings byte by byte, point cleaning,
// object records with several rings, records cut short or lying about their counts, the
// derived centroid and rectangle, hit tests, drawing, and bitmaps placed on the globe.
#include "globe/objects/geodata.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "globe/formats/propertystream.h"
#include "globe/formats/stream.h"
#include "globe/objects/source.h"
#include "tests/objects/fixture.h"

namespace globe::testing {
namespace {

using TBytes = std::vector<std::uint8_t>;
constexpr std::int32_t M = GU_MINUTE;

TPointLL Min(std::int32_t Long, std::int32_t Lat, std::int32_t Height = 0) {
  return {Long * M, Lat * M, Height * M};
}

std::vector<TPointLL> PointsOf(const TPointStore& Chain) {
  std::vector<TPointLL> points;
  for (std::int32_t i = 0; i < Chain.Count(); ++i) points.push_back(Chain.GetLL(i));
  return points;
}

std::unique_ptr<TPointStore> ChainOf(const std::vector<TPointLL>& Points) {
  auto chain = std::make_unique<TPointStore>();
  for (const TPointLL& p : Points) {
    if (p.iHeightZ != 0) chain->SetStoreHeight(true);
  }
  for (const TPointLL& p : Points) chain->Add(p);
  return chain;
}

/// Runs Write against a fresh writer and returns the bytes.
TBytes Written(const std::function<void(TGlobeStreamWriter&)>& Write) {
  TGlobeStreamWriter writer(std::make_unique<TGlobeMemoryStream>());
  Write(writer);
  return static_cast<TGlobeMemoryStream&>(writer.DataStream()).Bytes();
}

TBytes RecordOf(TGlobeObject& Obj) {
  return Written([&](TGlobeStreamWriter& w) { Obj.WriteProperties(w); });
}

/// Reads Bytes into Obj; returns whether the data ran out.
bool ReadInto(TGlobeObject& Obj, const TBytes& Bytes) {
  TGlobeMemoryView view(Bytes);
  TGlobeStreamReader reader(view);
  Obj.ReadProperties(reader);
  return reader.Truncated();
}

void Put16(TBytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(TBytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// ---- Chain encodings ----------------------------------------------------------------------

TEST(ChainRecord, EncodingsByteByByte) {
  struct Case {
    const char* name;
    std::vector<TPointLL> points;
    std::uint16_t flags;
    TBytes bytes;  // count and points
  };
  const Case cases[] = {
      {"arc-minutes, close together: 16-bit differences",
       {Min(600, 3000), Min(601, 3002), Min(600, 3003)},
       0x18,
       {3, 0, 0x58, 0x02, 0xB8, 0x0B, 1, 2, 0xFF, 1}},
      {"a difference of exactly 127 minutes escapes",
       {Min(0, 0), Min(127, 0), Min(253, 0)},
       0x18,
       {3, 0, 0, 0, 0, 0, 0x7F, 0x7F, 0, 0, 0, 0x7E, 0}},
      {"so does -127",
       {Min(0, 0), Min(-127, 0), Min(-253, 0)},
       0x18,
       {3, 0, 0, 0, 0, 0, 0x7F, 0x81, 0xFF, 0, 0, 0x82, 0}},
      {"126 does not",
       {Min(0, 0), Min(126, 0), Min(0, 0)},
       0x18,
       {3, 0, 0, 0, 0, 0, 0x7E, 0, 0x82, 0}},
      {"globe units: SmallInt differences, escape 32767",
       {{1, 1, 0}, {2, 3, 0}, {40'000, 3, 0}},
       0x10,
       {3, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 0, 0xFF, 0x7F, 0x40, 0x9C, 0, 0, 3, 0, 0, 0}},
      {"far apart: not worth compressing",
       {Min(0, 0), Min(6000, 0)},
       0x08,
       {2, 0, 0, 0, 0, 0, 0x70, 0x17, 0, 0}},
      {"heights on the arc-minute grid",
       {Min(0, 0, 1), Min(1, 0, 1)},
       0x1C,
       {2, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0}},
      {"heights off the grid keep the full form",
       {{0, 0, 5}, {M, 0, 5}},
       0x04,
       {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0x90, 0x5F, 1, 0, 0, 0, 0, 0, 5, 0, 0, 0}},
      {"one point", {Min(1, 1)}, 0x08, {1, 0, 1, 0, 1, 0}},
      {"no points: the count alone", {}, 0x08, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto chain = ChainOf(c.points);
    const TGlobeObjectFlagSet flags = ChainFlags(*chain);
    EXPECT_EQ(flags.ToBits(), c.flags);
    EXPECT_EQ(Written([&](TGlobeStreamWriter& w) { WriteChain(w, *chain, flags); }), c.bytes);
    EXPECT_EQ(chain->Flags().Contains(ps16Bit), flags.Contains(of16Bit));
    EXPECT_EQ(chain->Flags().Contains(psCompressed), flags.Contains(ofCompressed));

    TGlobeMemoryView view(c.bytes);
    TGlobeStreamReader reader(view);
    TPointStore back;
    back.Add(Min(9, 9));  // replaced
    ReadChain(reader, back, flags);
    EXPECT_FALSE(reader.Truncated());
    EXPECT_EQ(reader.Remaining(), 0);
    EXPECT_EQ(PointsOf(back), c.points);
    EXPECT_EQ(back.StoreHeight(), flags.Contains(ofHeight));
  }
}

TEST(ChainRecord, RunsOfEqualPointsShrinkFromIndexTwoOn) {
  struct Case {
    std::vector<std::int32_t> in, out;  // longitudes in minutes
  };
  const Case cases[] = {
      {{0, 0, 1, 1, 1, 2}, {0, 0, 1, 2}},
      {{1, 1, 1, 1}, {1, 1, 1}},
      {{5, 5}, {5, 5}},
      {{0, 1, 1}, {0, 1, 1}},  // the last point stays
      {{0, 1, 2, 2, 2}, {0, 1, 2}},
  };
  for (const Case& c : cases) {
    TPointStore chain;
    for (std::int32_t x : c.in) chain.Add(Min(x, 0));
    (void)ChainFlags(chain);
    std::vector<std::int32_t> out;
    for (const TPointLL& p : PointsOf(chain)) out.push_back(p.iLongX / M);
    EXPECT_EQ(out, c.out) << "case " << (&c - cases);
  }

  // Points that differ only in height are not equal.
  auto chain = ChainOf({Min(0, 0), Min(0, 0), Min(1, 0, 1), Min(1, 0, 2), Min(1, 0, 2)});
  (void)ChainFlags(*chain);
  EXPECT_EQ(chain->Count(), 4);
}

TEST(ChainRecord, CountsAboveAWordAreIntegers) {
  for (const std::int32_t n : {65'535, 65'536}) {
    TPointStore chain;
    chain.SetCount(n);
    std::span<std::int32_t> data = chain.EditPointData();
    for (std::int32_t i = 0; i < n; ++i) data[static_cast<std::size_t>(2 * i)] = (i % 2) * M;
    const TGlobeObjectFlagSet flags = ChainFlags(chain);
    EXPECT_EQ(flags.Contains(ofLongCount), n > 65'535) << n;
    const TBytes bytes = Written([&](TGlobeStreamWriter& w) { WriteChain(w, chain, flags); });
    const TBytes head(bytes.begin(), bytes.begin() + 4);
    EXPECT_EQ(head, n > 65'535 ? TBytes({0, 0, 1, 0}) : TBytes({0xFF, 0xFF, 0, 0})) << n;
    EXPECT_EQ(chain.Flags().Contains(psLongCount), n > 65'535);

    TGlobeMemoryView view(bytes);
    TGlobeStreamReader reader(view);
    TPointStore back;
    ReadChain(reader, back, flags);
    EXPECT_FALSE(reader.Truncated());
    EXPECT_EQ(back.Count(), n);
    EXPECT_EQ(back.GetLL(n - 1), Min((n - 1) % 2, 0));
  }

  // A count a Word cannot hold is refused rather than written garbled.
  TPointStore chain;
  chain.SetCount(65'536);
  EXPECT_THROW((void)Written([&](TGlobeStreamWriter& w) { WriteChain(w, chain, {of16Bit}); }),
               EGlobeException);
}

// ---- Object records -----------------------------------------------------------------------

class GeoDataTest : public ObjectsTest {
 protected:
  GeoDataTest() { source = new TGlobeObjectSource(&globe); }  // the globe frees it
  TGlobeObjectSource* source;

  /// An object of three rings: arc-minute points, an empty ring, points with heights.
  static void ThreeRings(TGeoDataObject& Obj) {
    Obj.Chains().SetChain(0, ChainOf({Min(0, 0), Min(1, 1), Min(2, 0), Min(0, 0)}));
    Obj.Chains().SetChain(1, std::make_unique<TPointStore>());
    Obj.Chains().SetChain(2, ChainOf({{1, 2, 3}, {500'000, 2, 3}}));
    Obj.SetTitle("rings");
    Obj.SetClosed(true);
  }
};

TEST_F(GeoDataTest, AnObjectWithoutChainsIsItsCentroid) {
  TGeoDataObject obj(nullptr);
  obj.SetCentroid(Deg(10, 50));
  TBytes expected{0x20, 0, 0, 0};
  Put32(expected, 54'000'000);
  Put32(expected, 270'000'000);
  EXPECT_EQ(RecordOf(obj), expected);

  TGeoDataObject back(source);
  back.Chains().SetChain(0, ChainOf({Min(1, 1)}));  // replaced by the record
  EXPECT_FALSE(ReadInto(back, expected));
  EXPECT_EQ(back.Chains().Count(), 0);
  EXPECT_EQ(back.Centroid(), Deg(10, 50));
}

TEST_F(GeoDataTest, HeightsThatAreAllZeroAreNotStored) {
  TGeoDataObject obj(nullptr);
  auto chain = ChainOf({Min(0, 0), Min(10, 10)});
  chain->SetStoreHeight(true);
  obj.Chains().SetChain(0, std::move(chain));
  const TBytes bytes = RecordOf(obj);
  EXPECT_FALSE(obj.ObjectFlags.Contains(ofHeight));
  // Flags, presenter, count, the first point and the second as a difference.
  EXPECT_EQ(bytes.size(), 2u + 2u + 2u + 4u + 2u);

  TGeoDataObject back(nullptr);
  EXPECT_FALSE(ReadInto(back, bytes));
  EXPECT_FALSE(back.Chains().GetChain(0).StoreHeight());
  EXPECT_EQ(PointsOf(back.Chains().GetChain(0)), (std::vector{Min(0, 0), Min(10, 10)}));
}

TEST_F(GeoDataTest, RingsRoundTripEachWithItsOwnEncoding) {
  TGeoDataObject obj(nullptr);
  ThreeRings(obj);
  const TBytes bytes = RecordOf(obj);
  EXPECT_EQ(obj.ObjectFlags,
            (TGlobeObjectFlagSet{ofTitle, of16Bit, ofCompressed, ofClosed, ofMultiRing}));
  // flags, title, presenter, then the ring count, ring 0, and the empty ring's flags and count.
  const TBytes head(bytes.begin(), bytes.begin() + 21);
  const TBytes expected{
      0x19, 0x05,                      // flags
      5,    'r',  'i', 'n', 'g', 's',  // title
      0,    0,                         // presenter
      3,    0,                         // three rings
      4,    0,                         // ring 0: four points
      0,    0,    0,   0,              // the first point in minutes
      1,    1,    1,                   // difference (1, 1), then the start of (1, -1)
  };
  EXPECT_EQ(head, expected);
  const std::size_t ring1 = 18 + 2 * 3;  // after ring 0's first point and three differences
  EXPECT_EQ(TBytes(bytes.begin() + ring1, bytes.begin() + ring1 + 4), (TBytes{0x08, 0, 0, 0}));

  TGeoDataObject back(source);
  EXPECT_FALSE(ReadInto(back, bytes));
  ASSERT_EQ(back.Chains().Count(), 3);
  for (std::int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(PointsOf(back.Chains().GetChain(i)), PointsOf(obj.Chains().GetChain(i))) << i;
    EXPECT_EQ(back.Chains().GetChain(i).StoreHeight(), i == 2) << i;
  }
  EXPECT_TRUE(back.Closed());
  EXPECT_EQ(back.Title(), "rings");
}

TEST_F(GeoDataTest, AnObjectOfMoreChainsThanAWordCountsIsRefused) {
  TGeoDataObject obj(nullptr);
  obj.Chains().SetCount(65'536);
  EXPECT_THROW((void)RecordOf(obj), EGlobeException);
}

// ---- Records cut short or lying about their counts ----------------------------------------

TEST_F(GeoDataTest, EveryTruncationKeepsAPrefixOfEachRing) {
  TGeoDataObject obj(nullptr);
  ThreeRings(obj);
  const TBytes bytes = RecordOf(obj);
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE(length);
    TGeoDataObject back(nullptr);
    EXPECT_TRUE(ReadInto(back, TBytes(bytes.begin(), bytes.begin() + static_cast<long>(length))));
    ASSERT_LE(back.Chains().Count(), 3);
    for (std::int32_t i = 0; i < back.Chains().Count(); ++i) {
      const std::vector<TPointLL> got = PointsOf(back.Chains().GetChain(i));
      const std::vector<TPointLL> all = PointsOf(obj.Chains().GetChain(i));
      ASSERT_LE(got.size(), all.size()) << i;
      EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << i;
    }
  }
}

TEST_F(GeoDataTest, CountsBeyondTheDataAreCutAndReportedAsTruncated) {
  struct Case {
    const char* name;
    TBytes record;
    std::int32_t maxChains;
    std::int32_t maxPoints;
  };
  const auto record = [](std::uint16_t Flags, const TBytes& Tail) {
    TBytes b;
    b.reserve(4 + Tail.size());
    Put16(b, Flags);
    Put16(b, 0);  // presenter
    b.insert(b.end(), Tail.begin(), Tail.end());
    return b;
  };
  const TBytes eightBytes{1, 0, 0, 0, 2, 0, 0, 0};
  TBytes longCount{0xFF, 0xFF, 0xFF, 0x7F};
  longCount.insert(longCount.end(), eightBytes.begin(), eightBytes.end());
  TBytes compressed{0xFF, 0xFF, 1, 0, 1, 0};   // Word count, first point in minutes
  compressed.insert(compressed.end(), 10, 1);  // five differences of (1, 1)
  const Case cases[] = {
      {"Integer count of 2^31 - 1 over one point", record(0x40, longCount), 1, 1},
      {"Word count over one point", record(0x00, {0xFF, 0xFF, 1, 0, 0, 0, 2, 0, 0, 0}), 1, 1},
      {"Word count over compressed minutes", record(0x18, compressed), 1, 6},
      {"ring count of 65535 over one ring",
       record(0x400, {0xFF, 0xFF, 1, 0, 1, 0, 0, 0, 2, 0, 0, 0}), 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TGeoDataObject obj(nullptr);
    EXPECT_TRUE(ReadInto(obj, c.record));
    EXPECT_LE(obj.Chains().Count(), c.maxChains);
    for (std::int32_t i = 0; i < obj.Chains().Count(); ++i) {
      EXPECT_LE(obj.Chains().GetChain(i).Count(), c.maxPoints);
    }
  }

  // A negative point count is no truncation but nonsense.
  TBytes negative = record(0x40, {});
  Put32(negative, static_cast<std::uint32_t>(-5));
  TGeoDataObject obj(nullptr);
  try {
    (void)ReadInto(obj, negative);
    ADD_FAILURE() << "no exception";
  } catch (const EGlobeException& e) {
    EXPECT_STREQ(e.what(), "Corrupt object record: point count -5");
  }
}

TEST_F(GeoDataTest, RandomRecordsNeverReadOutsideTheData) {
  // Flags drawn from the bits that steer decoding, so that every encoding gets garbage.
  std::uint32_t seed = 2024;
  const auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (int round = 0; round < 3000; ++round) {
    TBytes record;
    Put16(record, static_cast<std::uint16_t>(next() & 0x047C));
    record.resize(2 + next() % 64);
    for (std::size_t i = 2; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(next());
    TGeoDataObject obj(nullptr);
    try {
      (void)ReadInto(obj, record);
    } catch (const EGlobeException& e) {
      EXPECT_THAT(e.what(), ::testing::StartsWith("Corrupt object record")) << round;
    }
    std::int64_t points = 0;
    for (std::int32_t i = 0; i < obj.Chains().Count(); ++i) {
      points += obj.Chains().GetChain(i).Count();
    }
    EXPECT_LE(points, static_cast<std::int64_t>(record.size())) << round;
    (void)obj.GetObjectMER();
    (void)obj.Centroid();
  }
}

// ---- Geometry -----------------------------------------------------------------------------

TEST_F(GeoDataTest, CentroidComesFromTheChainsAndMovesThem) {
  TGeoDataObject& obj = *MakeGlobeObject<TGeoDataObject>(source);
  obj.Chains().SetChain(0, ChainOf({Deg(0, 0), Deg(2, 0)}));
  EXPECT_EQ(obj.Centroid(), Deg(1, 0));

  obj.SetCentroid(Deg(11, 5));
  EXPECT_EQ(PointsOf(obj.Chains().GetChain(0)), (std::vector{Deg(10, 5), Deg(12, 5)}));
  EXPECT_EQ(obj.Centroid(), Deg(11, 5));
  EXPECT_EQ(obj.GetObjectMER(), MER(10 * D, 5 * D, 2 * D, 0));
}

TEST_F(GeoDataTest, RectangleIsCachedUntilRedrawn) {
  TGeoDataObject& obj = *MakeGlobeObject<TGeoDataObject>(source);
  obj.SetCentroid(Deg(3, 4));
  EXPECT_EQ(obj.GetObjectMER(), MER(3 * D, 4 * D, 0, 0));  // no points: at the centroid

  obj.Chains().SetChain(0, ChainOf({Deg(0, 0), Deg(2, 1)}));
  EXPECT_EQ(obj.GetObjectMER(), MER(3 * D, 4 * D, 0, 0));  // still cached
  obj.RedrawObject();
  EXPECT_EQ(obj.GetObjectMER(), MER(0, 0, 2 * D, 1 * D));
  EXPECT_TRUE(obj.ObjectState.Contains(osValidMER));
}

TEST_F(GeoDataTest, HitTests) {
  TGeoDataObject area(nullptr);
  area.Chains().SetChain(0, ChainOf({Deg(0, 0), Deg(10, 0), Deg(10, 10), Deg(0, 10)}));
  area.SetClosed(true);
  TGeoDataObject line(nullptr);
  line.Chains().SetChain(0, ChainOf({Deg(0, 0), Deg(10, 10)}));
  TGeoDataObject point(nullptr);
  point.SetCentroid(Deg(5, 5));
  struct Case {
    TGeoDataObject* obj;
    TPointLL pt;
    std::int32_t tolerance;
    bool hit;
  };
  const Case cases[] = {
      {&area, Deg(5, 5), 0, true},   {&area, Deg(11, 5), 0, false},
      {&line, Deg(5, 5.1), D, true}, {&line, Deg(8, 2), D, false},  // in the rectangle only
      {&point, Deg(5, 5), 1, true},  {&point, Deg(5, 6), 1, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.obj->LLInObject(c.pt, c.tolerance), c.hit) << "case " << (&c - cases);
  }
}

TEST_F(GeoDataTest, RenderDrawsTheChainsOrAMarkAtTheCentroid) {
  FlatMap();
  TGeoDataObject& area = *MakeGlobeObject<TGeoDataObject>(source);
  area.Chains().SetChain(0, ChainOf({Deg(0, 0), Deg(10, 0), Deg(10, 10)}));
  area.SetClosed(true);
  area.Render(globe, TGlobeObjectStateSet{osClosed});
  ASSERT_EQ(dev.CallsNamed("Polygon").size(), 1u);
  EXPECT_THAT(dev.CallsNamed("Polygon")[0]->Points,
              ::testing::IsSupersetOf<TPoint>({{180, 90}, {190, 90}, {190, 80}}));

  dev.Calls.clear();
  TGeoDataObject& point = *MakeGlobeObject<TGeoDataObject>(source);
  point.SetCentroid(Deg(10, 20));
  point.Render(globe, {});
  ASSERT_EQ(dev.CallsNamed("Ellipse").size(), 1u);
  EXPECT_EQ(dev.CallsNamed("Ellipse")[0]->Rect, (TRect{188, 68, 192, 72}));
}

// ---- Bitmap objects -----------------------------------------------------------------------

class BitmapTest : public GeoDataTest {
 protected:
  /// Writes an uncompressed bitmap of W × H pixels (W a multiple of 4) with palette entry i
  /// of colour (i, 255 − i, 7) and every pixel index 1.
  std::string WriteBitmap(const std::string& Name, std::int32_t W, std::int32_t H,
                          std::uint16_t Bits = 8) {
    TBytes b{'B', 'M'};
    const auto size = static_cast<std::uint32_t>(1078 + W * H);
    Put32(b, size);
    Put32(b, 0);
    Put32(b, 1078);
    Put32(b, 40);
    Put32(b, static_cast<std::uint32_t>(W));
    Put32(b, static_cast<std::uint32_t>(H));
    Put16(b, 1);
    Put16(b, Bits);
    Put32(b, 0);
    Put32(b, static_cast<std::uint32_t>(W * H));
    b.resize(54, 0);
    for (int i = 0; i < 256; ++i) {
      b.insert(b.end(), {7, static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i), 0});
    }
    b.resize(size, 1);
    const std::string path = Scratch(Name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return path;
  }
};

TEST_F(BitmapTest, PlacedWithItsTopLeftCornerAtTheCentroid) {
  const std::string path = WriteBitmap("picture.bmp", 300, 200);
  TBitmapObject& bmp = *MakeGlobeObject<TBitmapObject>(source);
  EXPECT_EQ(bmp.GlobeUnitsPerXPixel(), 90'000);
  EXPECT_EQ(bmp.TransparentIndex(), -1);
  bmp.SetCentroid(Deg(10, 50));
  bmp.SetBMPFilename(path);
  EXPECT_EQ(bmp.Title(), path);
  EXPECT_EQ(bmp.BMPFilename(), path);
  ASSERT_TRUE(bmp.TextureData().IsValid());

  // 300 × 200 minutes: 10°E to 15°E, 50°N down to 46°40′N.
  const std::int32_t south = 46 * D + 40 * M;
  EXPECT_EQ(bmp.GetObjectMER(), MER(10 * D, south, 5 * D, 50 * D - south));
  EXPECT_EQ(bmp.TextureData().WorldPoints.GetLL(0), Deg(10, 50));
  EXPECT_EQ(bmp.TextureData().WorldPoints.GetLL(1), (TPointLL{15 * D, south, 0}));
  EXPECT_TRUE(bmp.LLInObject(Deg(12, 48), 0));
  EXPECT_FALSE(bmp.LLInObject(Deg(12, 46), 0));

  // A new scale takes effect on the next query.
  bmp.SetGlobeUnitsPerXPixel(2 * M);
  EXPECT_EQ(bmp.GetObjectMER().iWidthX, 10 * D);
  EXPECT_EQ(bmp.TextureData().WorldPoints.GetLL(1).iLongX, 20 * D);

  // Transparency by colour picks the palette index of that colour.
  bmp.SetTransparentColor(platform::RGB(5, 250, 7));
  EXPECT_EQ(bmp.TransparentIndex(), 5);
  EXPECT_EQ(bmp.TextureData().TransparentIndex, 5);
  EXPECT_EQ(bmp.TransparentColor(), platform::RGB(5, 250, 7));
}

TEST_F(BitmapTest, RecordRoundTripAndClone) {
  const std::string path = WriteBitmap("picture.bmp", 8, 4);
  TBitmapObject& bmp = *MakeGlobeObject<TBitmapObject>(source);
  bmp.SetCentroid(Deg(-20, 10));
  bmp.SetGlobeUnitsPerXPixel(1000);
  bmp.SetGlobeUnitsPerYPixel(2000);
  bmp.SetBMPFilename(path);
  bmp.SetTransparentColor(platform::RGB(9, 246, 7));
  const TBytes bytes = RecordOf(bmp);

  TBitmapObject& back = *MakeGlobeObject<TBitmapObject>(source);
  EXPECT_FALSE(ReadInto(back, bytes));
  EXPECT_EQ(back.Centroid(), Deg(-20, 10));
  EXPECT_EQ(back.GlobeUnitsPerXPixel(), 1000);
  EXPECT_EQ(back.GlobeUnitsPerYPixel(), 2000);
  EXPECT_EQ(back.TransparentIndex(), 9);
  EXPECT_EQ(back.BMPFilename(), path);
  EXPECT_TRUE(back.TextureData().IsValid());
  EXPECT_EQ(back.GetObjectMER(), bmp.GetObjectMER());

  // The clone loads the same picture and keeps the transparent index, which looking it up
  // by colour before the picture is there would lose.
  auto* clone = static_cast<TBitmapObject*>(bmp.Clone());
  EXPECT_EQ(clone->Parent(), source);
  EXPECT_EQ(clone->TransparentIndex(), 9);
  EXPECT_EQ(clone->TextureData().TransparentIndex, 9);
  EXPECT_EQ(clone->GetObjectMER(), bmp.GetObjectMER());

  // A record cut inside the file name loads nothing.
  TBitmapObject& cut = *MakeGlobeObject<TBitmapObject>(source);
  EXPECT_TRUE(ReadInto(cut, TBytes(bytes.begin(), bytes.end() - 1)));
  EXPECT_FALSE(cut.TextureData().IsValid());
}

TEST_F(BitmapTest, PictureErrorsAndRemoval) {
  TBitmapObject& bmp = *MakeGlobeObject<TBitmapObject>(source);
  const std::string wrong = WriteBitmap("deep.bmp", 4, 4, 24);
  try {
    bmp.SetBMPFilename(wrong);
    ADD_FAILURE() << "no exception";
  } catch (const EGlobeException& e) {
    EXPECT_STREQ(e.what(), "Globe texture must be a 256 color RGB encoded bitmap");
  }
  EXPECT_FALSE(bmp.TextureData().IsValid());

  // A name that resolves to nothing removes the picture.
  bmp.SetBMPFilename(WriteBitmap("ok.bmp", 4, 4));
  ASSERT_TRUE(bmp.TextureData().IsValid());
  bmp.SetBMPFilename(Scratch("missing.bmp"));
  EXPECT_EQ(bmp.BMPFilename(), "");
  EXPECT_FALSE(bmp.TextureData().IsValid());
}

TEST_F(BitmapTest, PictureAcross180IsDrawnAtBothEdgesOfTheFlatMap) {
  FlatMap();
  canvas.SizeBMP(360, 180, 96);
  ASSERT_NE(canvas.Bitmap(), nullptr);
  // 20 × 10 pixels of a degree each from 170°E 10°N: 170°E to 170°W, 10°N to 0°.
  TBitmapObject& bmp = *MakeGlobeObject<TBitmapObject>(source);
  bmp.SetGlobeUnitsPerPixel(D);
  bmp.SetCentroid(Deg(170, 10));
  bmp.SetBMPFilename(WriteBitmap("across.bmp", 20, 10));
  bmp.Render(globe, {});
  const TColor colour = platform::RGB(1, 254, 7);  // index 1
  int left = 0, right = 0, stray = 0;
  for (std::int32_t y = 0; y < 180; ++y) {
    for (std::int32_t x = 0; x < 360; ++x) {
      if (canvas.Bitmap()->Pixel(x, y) != colour) continue;
      if (y < 80 || y >= 90 || (x >= 10 && x < 350)) {
        ++stray;
      } else {
        ++(x < 10 ? left : right);
      }
    }
  }
  EXPECT_EQ(stray, 0);  // nothing smeared across the map
  EXPECT_GE(left, 90);
  EXPECT_GE(right, 90);
}

}  // namespace
}  // namespace globe::testing
