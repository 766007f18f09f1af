// Letter case of names in files and documents (class names, unit names, file extensions,
// attribute names): ASCII letters only, as those names are.
#pragma once

#include <string_view>

namespace globe {

[[nodiscard]] constexpr char LowerAscii(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

/// Whether the texts are equal when ASCII letters are compared without their case.
[[nodiscard]] constexpr bool SameTextAscii(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

}  // namespace globe
