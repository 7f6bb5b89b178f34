#pragma once
// Text helpers over UTF-8: trimming, letter case of Polish and other Latin
// letters, splitting, and decoding text files that may not be UTF-8.

#include <string>
#include <string_view>
#include <vector>

namespace kx {

std::string Trim(std::string_view s);          // blanks, tabs, CR, LF at both ends
std::string UpperCase(std::string_view utf8);  // ASCII, Latin-1 and Latin Extended-A letters
std::string LowerCase(std::string_view utf8);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool IsValidUtf8(std::string_view bytes);

// One character: appended as UTF-8; decoded at pos (which moves past it),
// invalid bytes giving U+FFFD.
void AppendUtf8(std::string& out, char32_t c);
char32_t NextUtf8(std::string_view s, size_t& pos);
// A whole text as characters and back.
std::u32string Utf8ToU32(std::string_view utf8);
std::string U32ToUtf8(std::u32string_view text);

// Text of a file as UTF-8: a byte-order mark selects UTF-8 or UTF-16;
// otherwise UTF-8 when the bytes are valid UTF-8, else the Windows code page
// 1250 in which Polish Windows programs write their text files.
std::string DecodeTextFile(std::string_view bytes);

// Lines of a text, split at LF, CR LF or CR.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace kx
