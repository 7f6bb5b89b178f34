#include "platform/tables/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx::tables {
namespace {

constexpr int kUtf8 = 65001;

bool IsMultiByte(int codePage) { return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950; }

std::string IconvName(int codePage) {
  if (codePage == kUtf8) return "UTF-8";
  if (codePage == 936) return "GBK";
  return "CP" + std::to_string(codePage);
}

// Mazovia: the CP437 layout with Polish letters in 18 places.
const std::map<unsigned char, char32_t> kMazoviaLetters = {
    {0x86, U'ą'}, {0x8D, U'ć'}, {0x8F, U'Ą'}, {0x90, U'Ę'}, {0x91, U'ę'}, {0x92, U'ł'},
    {0x95, U'Ć'}, {0x98, U'Ś'}, {0x9C, U'Ł'}, {0x9E, U'ś'}, {0xA0, U'Ź'}, {0xA1, U'Ż'},
    {0xA2, U'ó'}, {0xA3, U'Ó'}, {0xA4, U'ń'}, {0xA5, U'Ń'}, {0xA6, U'ź'}, {0xA7, U'ż'}};

// A single-byte code page as a table of 256 characters, built once with iconv.
struct ByteTable {
  std::array<char32_t, 256> toUnicode{};
  std::map<char32_t, unsigned char> fromUnicode;
};

std::unique_ptr<ByteTable> BuildTable(int codePage) {
  int base = codePage == kMazoviaCodePage ? 437 : codePage;
  iconv_t cd = iconv_open("UTF-32LE", IconvName(base).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  auto table = std::make_unique<ByteTable>();
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char32_t outc = 0xFFFD;
    char* inp = &in;
    size_t inLeft = 1;
    char* outp = reinterpret_cast<char*>(&outc);
    size_t outLeft = sizeof outc;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1)) outc = 0xFFFD;
    table->toUnicode[b] = b < 0x80 ? static_cast<char32_t>(b) : outc;
  }
  iconv_close(cd);
  if (codePage == kMazoviaCodePage) {
    for (auto [b, c] : kMazoviaLetters) table->toUnicode[b] = c;
  }
  for (int b = 255; b >= 0; --b) {
    if (table->toUnicode[b] != 0xFFFD) table->fromUnicode[table->toUnicode[b]] = static_cast<unsigned char>(b);
  }
  return table;
}

const ByteTable* TableFor(int codePage) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<ByteTable>> tables;
  std::lock_guard lock(mutex);
  auto it = tables.find(codePage);
  if (it == tables.end()) it = tables.emplace(codePage, BuildTable(codePage)).first;
  return it->second.get();
}

std::string IconvConvert(std::string_view in, const std::string& from, const std::string& to) {
  iconv_t cd = iconv_open((to + "//TRANSLIT").c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) throw Error("Nieznana strona kodowa: " + from);
  std::string out;
  out.resize(in.size() * 4 + 16);
  char* inp = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char* outp = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      size_t used = out.size() - outLeft;
      out.resize(out.size() * 2);
      outp = out.data() + used;
      outLeft = out.size() - used;
    } else {
      // An invalid or incomplete sequence: skip one byte, mark it.
      ++inp;
      --inLeft;
      const char* mark = to == "UTF-8" ? "\xEF\xBF\xBD" : "?";
      size_t len = std::char_traits<char>::length(mark);
      if (outLeft < len) {
        size_t used = out.size() - outLeft;
        out.resize(out.size() * 2);
        outp = out.data() + used;
        outLeft = out.size() - used;
      }
      for (size_t k = 0; k < len; ++k) *outp++ = mark[k];
      outLeft -= len;
    }
  }
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

bool IsKnownCodePage(int codePage) {
  if (codePage == kUtf8) return true;
  if (IsMultiByte(codePage)) {
    iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
    return true;
  }
  return TableFor(codePage) != nullptr;
}

std::string ToUtf8(std::string_view bytes, int codePage) {
  if (codePage == kUtf8) return std::string(bytes);
  if (IsMultiByte(codePage)) return IconvConvert(bytes, IconvName(codePage), "UTF-8");
  const ByteTable* t = TableFor(codePage);
  if (!t) throw Error(Format("Nieznana strona kodowa: %d", codePage));
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (unsigned char b : bytes) {
    if (b < 0x80)
      out += static_cast<char>(b);
    else
      AppendUtf8(out, t->toUnicode[b]);
  }
  return out;
}

std::string FromUtf8(std::string_view utf8, int codePage) {
  if (codePage == kUtf8) return std::string(utf8);
  if (IsMultiByte(codePage)) return IconvConvert(utf8, "UTF-8", IconvName(codePage));
  const ByteTable* t = TableFor(codePage);
  if (!t) throw Error(Format("Nieznana strona kodowa: %d", codePage));
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t c = NextUtf8(utf8, pos);
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    auto it = t->fromUnicode.find(c);
    out += it != t->fromUnicode.end() ? static_cast<char>(it->second) : '?';
  }
  return out;
}

}  // namespace kx::tables
