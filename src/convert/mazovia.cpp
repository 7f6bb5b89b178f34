#include "convert/mazovia.h"

#include <array>
#include <utility>

#include "platform/tables/codepage.h"

namespace kx::convert {
namespace {

constexpr std::array<std::pair<char32_t, unsigned char>, 18> kPolishLetters = {{
    {U'Ą', 0x8F},
    {U'Ć', 0x95},
    {U'Ę', 0x90},
    {U'Ł', 0x9C},
    {U'Ń', 0xA5},
    {U'Ó', 0xA3},
    {U'Ś', 0x98},
    {U'Ź', 0xA0},
    {U'Ż', 0xA1},
    {U'ą', 0x86},
    {U'ć', 0x8D},
    {U'ę', 0x91},
    {U'ł', 0x92},
    {U'ń', 0xA4},
    {U'ó', 0xA2},
    {U'ś', 0x9E},
    {U'ź', 0xA6},
    {U'ż', 0xA7},
}};

bool IsStoredLetterCode(unsigned char b) {
  for (const auto& [letter, code] : kPolishLetters) {
    if (code == b) return true;
  }
  return false;
}

// Length of the UTF-8 sequence that starts with this byte (1 for a stray byte).
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

char32_t Decode(std::string_view s) {
  const auto b = [&](size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[k]) & 0x3F); };
  switch (s.size()) {
    case 2: return (static_cast<char32_t>(static_cast<unsigned char>(s[0]) & 0x1F) << 6) | b(1);
    case 3: return (static_cast<char32_t>(static_cast<unsigned char>(s[0]) & 0x0F) << 12) | (b(1) << 6) | b(2);
    case 4:
      return (static_cast<char32_t>(static_cast<unsigned char>(s[0]) & 0x07) << 18) | (b(1) << 12) | (b(2) << 6) | b(3);
    default: return static_cast<unsigned char>(s[0]);
  }
}

}  // namespace

std::string MazoviaLettersText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    const unsigned char lead = static_cast<unsigned char>(utf8[pos]);
    if (lead < 0x80) {  // a run of plain ASCII goes over as it is
      size_t end = pos + 1;
      while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) < 0x80) ++end;
      out.append(utf8.substr(pos, end - pos));
      pos = end;
      continue;
    }
    size_t len = SequenceLength(lead);
    if (pos + len > utf8.size()) len = utf8.size() - pos;
    const std::string_view sequence = utf8.substr(pos, len);
    pos += len;
    const char32_t c = Decode(sequence);
    bool letter = false;
    for (const auto& [polish, code] : kPolishLetters) {
      if (polish == c) {
        out += static_cast<char>(code);
        letter = true;
        break;
      }
    }
    if (letter) continue;
    if (c == U'\u2018' || c == U'\u2019') {
      out += '\'';
      continue;
    }
    if (c == U'\u00A0') {
      out += ' ';
      continue;
    }
    const std::string cp1250 = len > 1 ? tables::FromUtf8(sequence, 1250) : std::string("?");
    const unsigned char stored = cp1250.size() == 1 ? static_cast<unsigned char>(cp1250[0]) : '?';
    out += static_cast<char>(IsStoredLetterCode(stored) ? '?' : stored);
  }
  return out;
}

}  // namespace kx::convert
