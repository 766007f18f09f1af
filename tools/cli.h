// What the command-line tools share: their usage error, option text helpers and number and
// colour parsing, so that every tool reads its options alike.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

#include "platform/commandline.h"
#include "platform/types.h"

namespace orvane::cli {

/// Bad command-line input: reported with a hint to --help, exit status 2.
class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline std::string Quoted(std::string_view s) {
  std::string quoted;
  quoted.reserve(s.size() + 2);
  quoted.append(1, '\'').append(s).append(1, '\'');
  return quoted;
}

/// Whether s ends in suffix (given in lower case), ASCII letters compared without case.
inline bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const char a = s[s.size() - suffix.size() + i];
    const char lower = (a >= 'A' && a <= 'Z') ? static_cast<char>(a - 'A' + 'a') : a;
    if (lower != suffix[i]) return false;
  }
  return true;
}

/// The whole text as a number (a leading "+" allowed; floating values must be finite).
template <class T>
bool ParseNumber(std::string_view Text, T& Value) {
  if (Text.empty()) return false;
  if (Text.front() == '+') Text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if constexpr (std::is_floating_point_v<T>) {
    if (ec == std::errc{} && !std::isfinite(Value)) return false;
  }
  return ec == std::errc{} && end == Text.data() + Text.size();
}

/// A colour written #RRGGBB; false for any other text.
inline bool ParseHexColor(std::string_view Text, platform::TColor& Color) {
  if (Text.size() != 7 || Text[0] != '#') return false;
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(Text.data() + 1, Text.data() + 7, value, 16);
  if (ec != std::errc{} || end != Text.data() + 7) return false;
  Color = platform::RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
  return true;
}

/// The program's arguments as UTF-8 (platform::CommandLineArguments), held for the option
/// parsers as argc and argv.
class TArguments {
 public:
  TArguments(int argc, char** argv) : FTexts(platform::CommandLineArguments(argc, argv)) {
    for (std::string& text : FTexts) FPointers.push_back(text.data());
    FPointers.push_back(nullptr);
  }
  TArguments(const TArguments&) = delete;
  TArguments& operator=(const TArguments&) = delete;

  [[nodiscard]] int Count() const noexcept { return static_cast<int>(FTexts.size()); }
  [[nodiscard]] char** Values() noexcept { return FPointers.data(); }

 private:
  std::vector<std::string> FTexts;
  std::vector<char*> FPointers;
};

}  // namespace orvane::cli
