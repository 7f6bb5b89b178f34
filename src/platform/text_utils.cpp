#include "platform/text_utils.h"

#include <iconv.h>

#include "platform/tables/codepage.h"

namespace kx {
namespace {

template <typename Map>
std::string MapCase(std::string_view s, Map map) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += static_cast<char>(map(c));
      ++i;
      continue;
    }
    if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
      char32_t cp = ((c & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F);
      cp = map(cp);
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
      i += 2;
      continue;
    }
    out += s[i++];
  }
  return out;
}

char32_t Upper(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs: mostly even upper / odd lower, shifted in 0x139..0x148 and 0x179..0x17E.
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 0) ? c - 1 : c;
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c % 2 == 1) ? c - 1 : c;
  }
  return c;
}

char32_t Lower(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
  if (c >= 0x100 && c <= 0x17F) {
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
    if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c % 2 == 0) ? c + 1 : c;
  }
  return c;
}

std::string FromUtf16(std::string_view bytes, const char* encoding) {
  iconv_t cd = iconv_open("UTF-8", encoding);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);
  std::string out(bytes.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* o = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0 && iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) {
    if (inLeft < 2) break;  // a trailing odd byte
    in += 2;                // skip an unpaired surrogate
    inLeft -= 2;
  }
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t NextUtf8(std::string_view s, size_t& pos) {
  unsigned char c = static_cast<unsigned char>(s[pos++]);
  if (c < 0x80) return c;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
  if (extra < 0 || pos + extra > s.size()) return 0xFFFD;
  char32_t cp = c & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    unsigned char d = static_cast<unsigned char>(s[pos]);
    if ((d & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (d & 0x3F);
    ++pos;
  }
  return cp;
}

std::u32string Utf8ToU32(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) out += NextUtf8(utf8, pos);
  return out;
}

std::string U32ToUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) AppendUtf8(out, c);
  return out;
}

std::string Trim(std::string_view s) {
  const char* blanks = " \t\r\n";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(blanks);
  return std::string(s.substr(b, e - b + 1));
}

std::string UpperCase(std::string_view utf8) { return MapCase(utf8, Upper); }
std::string LowerCase(std::string_view utf8) { return MapCase(utf8, Lower); }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) { return UpperCase(a) == UpperCase(b); }

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    // clang-format off
    int extra = c < 0x80 ? 0 : (c >= 0xC2 && c <= 0xDF) ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c >= 0xF0 && c <= 0xF4) ? 3 : -1;
    // clang-format on
    if (extra < 0 || i + static_cast<size_t>(extra) >= s.size() + (extra == 0 ? 1 : 0)) return false;
    for (int k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

std::string DecodeTextFile(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
  if (bytes.substr(0, 2) == "\xFF\xFE") return FromUtf16(bytes.substr(2), "UTF-16LE");
  if (bytes.substr(0, 2) == "\xFE\xFF") return FromUtf16(bytes.substr(2), "UTF-16BE");
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return tables::ToUtf8(bytes, 1250);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || text[i] == '\r') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace kx
