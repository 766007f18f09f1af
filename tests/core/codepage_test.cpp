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

TEST(Codepage, OtherWindowsCodePagesToUtf8) {
  struct Case {
    int page;
    std::string bytes, utf8;
  } cases[] = {
      {1250,
       "\xA3\xF3"
       "d\x9F",
       "Łódź"},
      {1251, "\xCC\xEE\xF1\xEA\xE2\xE0 \x88", "Москва €"},
      {1253, "\xC1\xE8\xDE\xED\xE1", "Αθήνα"},
      {1254, "\xDDzmir", "İzmir"},
      {1255, "\xF9\xEC\xE5\xED", "שלום"},
      {1256, "\xD3\xE1\xC7\xE3", "سلام"},
      {1257, "\xD0\xED\xEE\xEF", "Šķīļ"},
      {1258, "\xD2", "̉"},
      {874, "\xA1\xD2", "กา"},
      {1252, "K\xF6ln", "Köln"},
      {437, "K\xF6ln", "Köln"},  // no table: Windows-1252
      {1251, "\x98", ""},      // undefined in the code page: kept as its C1 control
  };
  for (const auto& c : cases) EXPECT_EQ(CodePageToUtf8(c.bytes, c.page), c.utf8) << c.page;
  EXPECT_TRUE(IsKnownCodePage(1251));
  EXPECT_TRUE(IsKnownCodePage(1252));
  EXPECT_FALSE(IsKnownCodePage(437));
}

TEST(Codepage, ValidUtf8) {
  for (const char* valid : {"", "plain", "C\xC3\xB4te", "\xF0\x9F\x98\x80"}) {
    EXPECT_TRUE(IsValidUtf8(valid)) << valid;
  }
  for (const char* invalid : {"K\xF6ln", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xFF"}) {
    EXPECT_FALSE(IsValidUtf8(invalid)) << invalid;
  }
}

}  // namespace
}  // namespace globe
