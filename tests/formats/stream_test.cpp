#include "globe/formats/stream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <vector>

namespace globe {
namespace {

using ::testing::ElementsAre;

constexpr std::int64_t kMaxPos = std::numeric_limits<std::int64_t>::max();

TEST(MemoryView, ReadsUpToTheEndAndNeverBeyond) {
  const std::array<std::uint8_t, 5> block{1, 2, 3, 4, 5};
  TGlobeMemoryView view(block);
  std::array<std::uint8_t, 4> buf{};

  EXPECT_EQ(view.Read(buf.data(), 3), 3u);
  EXPECT_THAT(buf, ElementsAre(1, 2, 3, 0));
  EXPECT_EQ(view.Remaining(), 2);

  buf.fill(0xAA);
  EXPECT_EQ(view.Read(buf.data(), 4), 2u);  // short at the end
  EXPECT_THAT(buf, ElementsAre(4, 5, 0xAA, 0xAA));
  EXPECT_EQ(view.Position(), 5);
  EXPECT_EQ(view.Read(buf.data(), 4), 0u);

  // Positions beyond the end, up to the largest, are accepted and deliver nothing.
  for (std::int64_t pos : {std::int64_t{6}, std::int64_t{1} << 40, kMaxPos}) {
    view.SetPosition(pos);
    EXPECT_EQ(view.Read(buf.data(), 4), 0u) << pos;
    EXPECT_EQ(view.Remaining(), 0) << pos;
    EXPECT_EQ(view.Position(), pos);
  }
}

TEST(MemoryView, EmptyBlockReadsNothing) {
  TGlobeMemoryView view;
  std::uint8_t b = 7;
  EXPECT_EQ(view.Size(), 0);
  EXPECT_EQ(view.Read(&b, 1), 0u);
  EXPECT_EQ(b, 7);
}

TEST(MemoryView, RefusesChangesAndNegativePositions) {
  const std::array<std::uint8_t, 2> block{1, 2};
  TGlobeMemoryView view(block);
  EXPECT_THROW(
      {
        try {
          view.Write(block.data(), 1);
        } catch (const EGlobeException& e) {
          EXPECT_STREQ(e.what(), "TGlobeMemoryView.Write: Not supported");
          throw;
        }
      },
      EGlobeException);
  EXPECT_THROW(
      {
        try {
          view.SetSize(1);
        } catch (const EGlobeException& e) {
          EXPECT_STREQ(e.what(), "TGlobeMemoryView.SetSize: Not supported");
          throw;
        }
      },
      EGlobeException);
  EXPECT_THROW(view.SetPosition(-1), EGlobeException);
  EXPECT_EQ(view.Position(), 0);
  EXPECT_EQ(view.Size(), 2);
}

TEST(MemoryStream, WritesGrowAndOverwrite) {
  TGlobeMemoryStream s;
  const std::array<std::uint8_t, 3> abc{'a', 'b', 'c'};
  EXPECT_EQ(s.Write(abc.data(), 3), 3u);
  EXPECT_EQ(s.Position(), 3);
  s.SetPosition(1);
  EXPECT_EQ(s.Write(abc.data(), 3), 3u);  // overwrites two bytes, appends one
  EXPECT_THAT(s.Bytes(), ElementsAre('a', 'a', 'b', 'c'));
  EXPECT_EQ(s.Size(), 4);

  s.SetPosition(0);
  std::array<std::uint8_t, 4> buf{};
  EXPECT_EQ(s.Read(buf.data(), 4), 4u);
  EXPECT_THAT(buf, ElementsAre('a', 'a', 'b', 'c'));
}

TEST(MemoryStream, WriteBeyondTheEndZeroFillsTheGap) {
  TGlobeMemoryStream s(std::vector<std::uint8_t>{9});
  s.SetPosition(3);
  const std::uint8_t x = 5;
  s.Write(&x, 1);
  EXPECT_THAT(s.Bytes(), ElementsAre(9, 0, 0, 5));
}

TEST(MemoryStream, ReadsSeeTheBytesAfterGrowth) {
  // The stream's storage moves as it grows; reads must follow it.
  TGlobeMemoryStream s;
  std::vector<std::uint8_t> big(100'000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  for (std::size_t i = 0; i < big.size(); i += 1000) s.Write(big.data() + i, 1000);
  s.SetPosition(0);
  std::vector<std::uint8_t> back(big.size());
  EXPECT_EQ(s.Read(back.data(), back.size()), big.size());
  EXPECT_EQ(back, big);
}

TEST(MemoryStream, SetSizeTruncatesAndPullsThePositionBack) {
  TGlobeMemoryStream s(std::vector<std::uint8_t>{1, 2, 3, 4});
  s.SetPosition(4);
  s.SetSize(2);
  EXPECT_EQ(s.Position(), 2);
  EXPECT_THAT(s.Bytes(), ElementsAre(1, 2));
  s.SetSize(3);
  EXPECT_EQ(s.Position(), 2);
  EXPECT_THAT(s.Bytes(), ElementsAre(1, 2, 0));
  EXPECT_THROW(s.SetSize(-1), EGlobeException);
}

TEST(MemoryStream, WriteAtAHugePositionFailsWithoutTouchingTheData) {
  TGlobeMemoryStream s(std::vector<std::uint8_t>{1});
  const std::uint8_t x = 0;
  for (std::int64_t pos : {kMaxPos, kMaxPos - 1}) {
    s.SetPosition(pos);
    EXPECT_THROW(s.Write(&x, 2), std::exception) << pos;
  }
  EXPECT_THAT(s.Bytes(), ElementsAre(1));
}

TEST(MemoryStream, SavesAndLoadsFiles) {
  const auto dir = std::filesystem::temp_directory_path();
  const std::string file = (dir / "orvane_stream_test.bin").string();
  TGlobeMemoryStream out(std::vector<std::uint8_t>{0, 0xFF, 0x1A, 0x0A});
  out.SaveToFile(file);

  TGlobeMemoryStream in(std::vector<std::uint8_t>{7, 7, 7, 7, 7, 7});
  in.SetPosition(5);
  in.LoadFromFile(file);
  EXPECT_THAT(in.Bytes(), ElementsAre(0, 0xFF, 0x1A, 0x0A));
  EXPECT_EQ(in.Position(), 0);
  std::filesystem::remove(file);

  EXPECT_THROW(in.LoadFromFile(file), EGlobeException);  // gone now
  EXPECT_THROW(in.LoadFromFile(dir.string()), EGlobeException);
  EXPECT_THAT(in.Bytes(), ElementsAre(0, 0xFF, 0x1A, 0x0A));  // unchanged by the failures
  EXPECT_THROW(out.SaveToFile((dir / "no such folder" / "x.bin").string()), EGlobeException);
}

}  // namespace
}  // namespace globe
