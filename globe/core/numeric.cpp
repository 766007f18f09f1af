#include "globe/core/numeric.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

namespace globe {

namespace {

constexpr bool IsBlank(char c) noexcept { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) noexcept {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Splits an optional sign off; "+" is accepted, which from_chars alone refuses.
std::string_view StripPlus(std::string_view s) noexcept {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  return s;
}

#ifdef _WIN32
/// Plain decimal Text (digits with an optional point, an optional exponent) read to the
/// full extended precision, false for other text or a value out of range: the Windows
/// runtime's from_chars reads long double only as a double. The text goes to strtold
/// without its decimal point, so that the locale has no say.
bool ParseExtended(std::string_view Text, Extended& Value) {
  const std::size_t e = Text.find_first_of("eE");
  std::string digits;
  long long exponent = 0;
  bool point = false;
  for (const char c : Text.substr(0, e)) {
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digits += c;
      if (point) --exponent;
    } else {
      return false;
    }
  }
  if (digits.empty()) return false;
  const bool zero = digits.find_first_not_of('0') == std::string::npos;
  if (e != std::string_view::npos) {
    std::string_view tail = Text.substr(e + 1);
    const bool negative = !tail.empty() && tail.front() == '-';
    if (negative || (!tail.empty() && tail.front() == '+')) tail.remove_prefix(1);
    if (tail.empty() || tail.find_first_not_of("0123456789") != std::string_view::npos) {
      return false;
    }
    long long written = 0;
    const auto [end, ec] = std::from_chars(tail.data(), tail.data() + tail.size(), written);
    // Far beyond any exponent a value can have: zero stays zero, the rest is out of range.
    if (ec != std::errc() || written > 1000000) {
      if (!zero) return false;
      written = 0;
    }
    exponent += negative ? -written : written;
  }
  if (zero) {
    Value = 0;
    return true;
  }
  digits += 'e';
  digits += std::to_string(exponent);
  errno = 0;
  char* end = nullptr;
  const Extended v = std::strtold(digits.c_str(), &end);
  if (errno == ERANGE || end != digits.c_str() + digits.size()) return false;
  Value = v;
  return true;
}
#endif

}  // namespace

std::int64_t RoundHalfEven(Extended x) noexcept {
  Extended f = std::floor(x);
  const Extended d = x - f;  // exact: f only clears x's fraction bits
  if (d > 0.5L || (d == 0.5L && std::fmod(f, 2.0L) != 0)) f += 1;
  return Trunc(f);
}

std::int64_t Trunc(Extended x) noexcept {
  constexpr Extended kLimit = 9223372036854775807.0L;
  if (std::isnan(x)) return 0;
  if (x >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (x <= -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(x);
}

std::int32_t Round32(Extended x) noexcept { return static_cast<std::int32_t>(RoundHalfEven(x)); }

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) noexcept {
  if (c == 0) return -1;
  const std::int64_t p = std::int64_t{a} * b;
  std::int64_t q = p / c;
  const std::int64_t r = p % c;
  // |r| < |c| ≤ 2^31, so 2|r| cannot overflow.
  if (2 * std::llabs(r) >= std::llabs(std::int64_t{c})) q += ((p < 0) != (c < 0)) ? -1 : 1;
  if (q > std::numeric_limits<std::int32_t>::max() ||
      q < std::numeric_limits<std::int32_t>::min()) {
    return -1;
  }
  return static_cast<std::int32_t>(q);
}

bool TryStrToExtended(std::string_view Text, Extended& Value) noexcept {
  std::string_view s = TrimBlanks(Text);
  const bool negative = !s.empty() && s.front() == '-';
  s = negative ? s.substr(1) : StripPlus(s);
  // Only plain decimal numbers: from_chars would also take "inf" and "nan".
  if (s.empty() || !((s.front() >= '0' && s.front() <= '9') || s.front() == '.')) return false;
  Extended v = 0;
#ifdef _WIN32
  if (!ParseExtended(s, v)) return false;
#else
  const auto [end, ec] =
      std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
#endif
  Value = negative ? -v : v;
  return true;
}

Extended StrToFloat(std::string_view Text) {
  Extended v = 0;
  if (!TryStrToExtended(Text, v)) {
    throw EConvertError("'" + std::string(Text) + "' is not a valid floating point value");
  }
  return v;
}

std::int32_t StrToInt(std::string_view Text) {
  std::string_view s = StripPlus(TrimBlanks(Text));
  std::int32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
    throw EConvertError("'" + std::string(Text) + "' is not a valid integer value");
  }
  return v;
}

std::string FloatToStrGeneral(Extended Value, int Precision) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
  if (Value == 0) return "0";
  if (Precision < 1) Precision = 1;
  if (Precision > 18) Precision = 18;

  // d.ddddde±x with Precision significant digits, rounded once from the extended value.
  char buf[64];
  const auto res =
      std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific, Precision - 1);
  std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
  const bool negative = sci.front() == '-';
  if (negative) sci.remove_prefix(1);
  const std::size_t epos = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, epos)) {
    // Digits only: on Windows the runtime writes the locale's decimal point here.
    if (c >= '0' && c <= '9') digits += c;
  }
  int exponent = 0;
  std::from_chars(sci.data() + epos + 1 + (sci[epos + 1] == '+'), sci.data() + sci.size(),
                  exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  // Fixed notation while the decimal exponent stays within the precision and the value
  // is not below 1E-4; scientific otherwise.
  if (exponent >= Precision || exponent < -4) {
    out += digits[0];
    if (digits.size() > 1) out.append(".").append(digits, 1);
    out += 'E';
    out += std::to_string(exponent);
  } else if (exponent >= 0) {
    const auto intDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
      out += digits + std::string(intDigits - digits.size(), '0');
    } else {
      out.append(digits, 0, intDigits).append(".").append(digits, intDigits);
    }
  } else {
    out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
  }
  return out;
}

}  // namespace globe
