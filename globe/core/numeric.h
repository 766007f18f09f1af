// Exact arithmetic and number text that the stored algorithms are defined with, independent
// of the host's rounding mode and locale.
#pragma once

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "globe/core/types.h"

namespace globe {

/// A text that is not a number where one is required (the platform's conversion error).
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Nearest integer, ties to even. The value must lie within the int64 range.
[[nodiscard]] std::int64_t RoundHalfEven(Extended x) noexcept;
/// Truncation toward zero. The value must lie within the int64 range.
[[nodiscard]] std::int64_t Trunc(Extended x) noexcept;
/// RoundHalfEven in double precision, for per-point paths where the extended version's
/// cost shows. The value must lie within the int64 range.
[[nodiscard]] inline std::int64_t RoundHalfEvenD(double x) noexcept {
  double r = std::round(x);  // halves away from zero
  if (std::fabs(x - std::trunc(x)) == 0.5) r = 2.0 * std::round(x / 2.0);
  return static_cast<std::int64_t>(r);
}
/// The value saturated to the 32-bit range.
[[nodiscard]] constexpr std::int32_t Clamp32(std::int64_t v) noexcept {
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(v);
}
/// RoundHalfEven narrowed to 32 bits (callers keep their values in range).
[[nodiscard]] std::int32_t Round32(Extended x) noexcept;

/// a × b / c with a 64-bit product, rounded to nearest with halves away from zero.
/// −1 when c is 0 or the result does not fit 32 bits, as the host function it stands in for.
[[nodiscard]] std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) noexcept;

/// Parses a decimal number ("." separator, optional sign and exponent, surrounding blanks
/// allowed). False, leaving Value untouched, when the text is not wholly such a number.
[[nodiscard]] bool TryStrToExtended(std::string_view Text, Extended& Value) noexcept;
/// As TryStrToExtended; throws EConvertError "'<Text>' is not a valid floating point value".
[[nodiscard]] Extended StrToFloat(std::string_view Text);
/// Decimal integer with optional sign and surrounding blanks; throws EConvertError
/// "'<Text>' is not a valid integer value" for anything else or a value beyond 32 bits.
[[nodiscard]] std::int32_t StrToInt(std::string_view Text);

/// General number format with `Precision` significant digits and "." as separator:
/// fixed notation for ordinary magnitudes, scientific with a capital "E" otherwise
/// (1.8606784235054E-5, 1E20); trailing zeros dropped; "0" for zero; "NAN", "INF", "-INF".
[[nodiscard]] std::string FloatToStrGeneral(Extended Value, int Precision = 15);

}  // namespace globe
