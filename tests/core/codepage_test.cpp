#include "globe/core/codepage.h"

#include <gtest/gtest.h>

namespace globe {
namespace {

TEST(Codepage, Windows1252ToUtf8AndBack) {
  struct Case {
    std::string ansi, utf8;
  } cases[] = {
      {"Ab1", "Ab1"},
      {"\x80", "\u20AC"},  // euro sign
      {"\x9F", "\u0178"},  // Y with diaeresis
      {"\xE9t\xE9", "\u00E9t\u00E9"},
      {"\x81", "\u0081"},  // undefined byte kept as its C1 control
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
}

TEST(Codepage, UnrepresentableAndMalformedUtf8BecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToAnsi("\u4E16x"), "?x");          // not in the code page
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80"), "?");  // astral plane
  EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");            // truncated sequence
  EXPECT_EQ(Utf8ToAnsi("\xC0\xAF"), "??");         // overlong form
  EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80"), "???");    // surrogate
  EXPECT_EQ(Utf8ToAnsi("\xFF"), "?");
}

}  // namespace
}  // namespace globe
