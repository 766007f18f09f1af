#include "globe/core/codepage.h"

#include <array>
#include <cstdint>

namespace globe {

namespace {

// Code points of the bytes 0x80 … 0x9F; the rest of the code page equals Latin-1.
// The five undefined bytes keep their own value (C1 controls), as the host system does.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char AnsiOf(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (std::size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when it is malformed
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  std::size_t len;
  char32_t min;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() - i < len) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::string AnsiToUtf8(std::string_view Ansi) {
  std::string out;
  out.reserve(Ansi.size());
  for (char c : Ansi) {
    const auto b = static_cast<unsigned char>(c);
    AppendUtf8(out, (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : char32_t{b});
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view Utf8) {
  std::string out;
  out.reserve(Utf8.size());
  for (std::size_t i = 0; i < Utf8.size();) {
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8(Utf8, i, cp);
    if (len == 0) {
      out += '?';
      ++i;
    } else {
      out += AnsiOf(cp);
      i += len;
    }
  }
  return out;
}

}  // namespace globe
