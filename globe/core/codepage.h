// 8-bit text of stored records and files is in the Windows-1252 code page; the engine's own
// strings are UTF-8. These convert between the two.
#pragma once

#include <string>
#include <string_view>

namespace globe {

/// Windows-1252 bytes to UTF-8. The five bytes that code page leaves undefined map to the
/// C1 control characters of the same value, so that every byte survives a round trip.
[[nodiscard]] std::string AnsiToUtf8(std::string_view Ansi);

/// UTF-8 to Windows-1252. Characters the code page cannot hold, and malformed UTF-8
/// sequences, become "?".
[[nodiscard]] std::string Utf8ToAnsi(std::string_view Utf8);

}  // namespace globe
