#include "globe/core/numeric.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <limits>

namespace globe {
namespace {

using ::testing::ThrowsMessage;

TEST(Rounding, HalfToEvenAndTruncation) {
  struct Case {
    long double x;
    std::int64_t even, trunc;
  } cases[] = {
      {0.5L, 0, 0},    {1.5L, 2, 1},       {2.5L, 2, 2},
      {-0.5L, 0, 0},   {-1.5L, -2, -1},    {-2.5L, -2, -2},
      {2.4999L, 2, 2}, {-2.5001L, -3, -2}, {1e18L, 1000000000000000000, 1000000000000000000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundHalfEven(c.x), c.even) << static_cast<double>(c.x);
    EXPECT_EQ(Trunc(c.x), c.trunc) << static_cast<double>(c.x);
    EXPECT_EQ(RoundHalfEvenD(static_cast<double>(c.x)), c.even) << static_cast<double>(c.x);
  }
  EXPECT_EQ(Trunc(std::numeric_limits<long double>::quiet_NaN()), 0);
  EXPECT_EQ(Trunc(1e30L), std::numeric_limits<std::int64_t>::max());
}

TEST(MulDiv, SixtyFourBitProductRoundedHalfAwayFromZero) {
  struct Case {
    std::int32_t a, b, c, r;
  } cases[] = {
      {5, 1, 2, 3},
      {-5, 1, 2, -3},
      {5, -1, 2, -3},
      {-5, -1, 2, 3},
      {7, 1, 3, 2},
      {8, 1, 3, 3},
      {2000000000, 2000000000, 2000000000, 2000000000},
      {1, 1, 0, -1},
      {2147483647, 2, 1, -1},  // does not fit: the host's −1
  };
  for (const auto& c : cases)
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.r) << c.a << "*" << c.b << "/" << c.c;
}

TEST(FloatToStrGeneral, FifteenSignificantDigits) {
  struct Case {
    long double v;
    const char* text;
  } cases[] = {
      {0, "0"},
      {1, "1"},
      {-2.5L, "-2.5"},
      {0.1L, "0.1"},
      {1.0L / 3, "0.333333333333333"},
      {1.8606784235054e-5L, "1.8606784235054E-5"},
      {0.0001L, "0.0001"},
      {0.00001L, "1E-5"},
      {123456789012345.0L, "123456789012345"},
      {1234567890123456.0L, "1.23456789012346E15"},
      {1e20L, "1E20"},
      {309397209.370645L, "309397209.370645"},
      {5400000, "5400000"},
  };
  for (const auto& c : cases) EXPECT_EQ(FloatToStrGeneral(c.v), c.text);
  EXPECT_EQ(FloatToStrGeneral(std::numeric_limits<long double>::infinity()), "INF");
}

TEST(FloatToStrGeneral, IgnoresTheLocale) {
  const char* saved = std::setlocale(LC_ALL, nullptr);
  const std::string restore = saved ? saved : "C";
  // Linux names, then Windows names.
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_ALL, "fr_FR.UTF-8") == nullptr &&
      std::setlocale(LC_ALL, "German_Germany.1252") == nullptr) {
    GTEST_SKIP() << "no locale with a decimal comma installed";
  }
  EXPECT_EQ(FloatToStrGeneral(1.5L), "1.5");
  EXPECT_EQ(StrToFloat("1.5"), 1.5L);
  EXPECT_EQ(StrToFloat("123.456e-7"), 123.456e-7L);
  std::setlocale(LC_ALL, restore.c_str());
}

TEST(Conversion, StrictIntegerAndFloatText) {
  EXPECT_EQ(StrToInt(" 42 "), 42);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"", "4x", "2147483648", "1.0", "--1"}) {
    EXPECT_THAT(
        [&] { (void)StrToInt(bad); },
        ThrowsMessage<EConvertError>(std::string("'") + bad + "' is not a valid integer value"));
  }
  EXPECT_EQ(StrToFloat(".5"), 0.5L);
  // Every bit of the extended value, not a double's worth.
  struct {
    const char* text;
    long double value;
  } const exact[] = {
      {"1e-4", 1e-4L},     {"0.1", 0.1L},      {"-123.456e-7", -123.456e-7L},
      {"+2.5E+3", 2.5e3L}, {"5.", 5.0L},       {"1.0000000000000000001", 1.0000000000000000001L},
      {"0.0e99999", 0.0L}, {"1e4931", 1e4931L}};
  for (const auto& c : exact) EXPECT_EQ(StrToFloat(c.text), c.value) << c.text;
  EXPECT_THAT([] { (void)StrToFloat("1,5"); },
              ThrowsMessage<EConvertError>("'1,5' is not a valid floating point value"));
}

}  // namespace
}  // namespace globe
