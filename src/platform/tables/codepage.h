#pragma once
// Conversion between the code pages of table files and UTF-8.

#include <string>
#include <string_view>

namespace kx::tables {

// The Mazovia code page (Polish DOS standard before 852) has no Windows
// number; it goes by this one.
inline constexpr int kMazoviaCodePage = 620;

// Bytes in the code page to UTF-8. Code page 65001 means UTF-8 already; an
// unknown code page fails with kx::Error. Bytes with no character in the code
// page become U+FFFD.
std::string ToUtf8(std::string_view bytes, int codePage);

// UTF-8 to the code page; characters the code page lacks become "?".
std::string FromUtf8(std::string_view utf8, int codePage);

// Whether the code page can be converted (iconv knows it, or it is Mazovia).
bool IsKnownCodePage(int codePage);

}  // namespace kx::tables
