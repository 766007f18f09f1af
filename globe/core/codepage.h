// 8-bit text of stored records and files is in the Windows-1252 code page; the engine's own
// strings are UTF-8. These convert between the two.
#pragma once

#include <string>
#include <string_view>

namespace globe {

/// Windows-1252 bytes to UTF-8. The five bytes that code page leaves undefined map to the
/// C1 control characters of the same value, so that every byte survives a round trip.
[[nodiscard]] std::string AnsiToUtf8(std::string_view Ansi);

/// Text in the single-byte Windows code page CodePage (874, 1250 … 1258) to UTF-8. Bytes the
/// code page leaves undefined keep their own value, as in AnsiToUtf8; a code page that
/// IsKnownCodePage refuses is read as Windows-1252.
[[nodiscard]] std::string CodePageToUtf8(std::string_view Text, int CodePage);

/// Whether CodePageToUtf8 has a table for the Windows code page CodePage.
[[nodiscard]] bool IsKnownCodePage(int CodePage) noexcept;

/// Whether Text is well-formed UTF-8: no overlong forms, surrogates or values past U+10FFFF.
[[nodiscard]] bool IsValidUtf8(std::string_view Text) noexcept;

/// UTF-8 to Windows-1252. Characters the code page cannot hold, and malformed UTF-8
/// sequences, become "?".
[[nodiscard]] std::string Utf8ToAnsi(std::string_view Utf8);

}  // namespace globe
