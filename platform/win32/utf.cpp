#include "platform/win32/utf.h"

#include <climits>
#include <stdexcept>

#include "platform/win32/winapi.h"

namespace platform {

void Utf16(std::string_view Text, std::wstring& Out) {
  Out.clear();
  if (Text.empty()) return;
  if (Text.size() > INT_MAX) throw std::length_error("Utf16: text too long");
  const int bytes = static_cast<int>(Text.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, Text.data(), bytes, nullptr, 0);
  if (units <= 0) return;
  Out.resize(static_cast<std::size_t>(units));
  ::MultiByteToWideChar(CP_UTF8, 0, Text.data(), bytes, Out.data(), units);
}

std::wstring Utf16(std::string_view Text) {
  std::wstring out;
  Utf16(Text, out);
  return out;
}

std::string Utf8(std::wstring_view Text) {
  std::string out;
  if (Text.empty()) return out;
  if (Text.size() > INT_MAX / 3) throw std::length_error("Utf8: text too long");
  const int units = static_cast<int>(Text.size());
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return out;
  out.resize(static_cast<std::size_t>(bytes));
  ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), units, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace platform
