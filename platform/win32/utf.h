// UTF-8 (the engine's strings, file names included) to UTF-16 (every Win32 call) and back.
#pragma once

#include <string>
#include <string_view>

namespace platform {

/// UTF-16 of UTF-8 Text; invalid sequences become U+FFFD.
[[nodiscard]] std::wstring Utf16(std::string_view Text);
/// The same into Out, whose capacity is reused (no allocation once it is large enough).
void Utf16(std::string_view Text, std::wstring& Out);
/// UTF-8 of UTF-16 Text; unpaired surrogates become U+FFFD.
[[nodiscard]] std::string Utf8(std::wstring_view Text);

}  // namespace platform
