#include "platform/tables/dbase_writer.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <unordered_map>
#include <random>
#include <set>
#include <sstream>
#include <system_error>

#include "platform/error.h"
#include "platform/decimal_text.h"
#include "platform/tables/codepage.h"
#include "platform/tables/dbase_format.h"

namespace kx::tables {
namespace {

namespace fs = std::filesystem;
using namespace dbase;
using Translator = std::function<std::string(std::string_view utf8)>;

void PutLe16(char* p, uint32_t v) {
  p[0] = static_cast<char>(v);
  p[1] = static_cast<char>(v >> 8);
}
void PutLe32(char* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<char>(v >> (8 * k));
}
void PutLe64(char* p, uint64_t v) {
  for (int k = 0; k < 8; ++k) p[k] = static_cast<char>(v >> (8 * k));
}
void PutBe16(char* p, uint32_t v) {
  p[0] = static_cast<char>(v >> 8);
  p[1] = static_cast<char>(v);
}
void PutBe32(char* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<char>(v >> (8 * (3 - k)));
}
std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Today as dBase headers keep it: years since 1900, month, day.
void PutToday(char* p) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  p[0] = static_cast<char>(std::clamp(local.tm_year, 0, 255));
  p[1] = static_cast<char>(local.tm_mon + 1);
  p[2] = static_cast<char>(local.tm_mday);
}

// A file beside the target, renamed over it once complete.
fs::path TempBeside(const fs::path& target) {
  static std::mt19937_64 rng{std::random_device{}()};
  fs::path dir = target.parent_path();
  std::string name = target.stem().string() + ".~kx" + std::to_string(rng() % 1000000000) + target.extension().string();
  return dir.empty() ? fs::path(name) : dir / name;
}

void WriteFile(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) throw Error(Format("Nie można utworzyć pliku %s.", DisplayName(file).c_str()));
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  if (!out) throw Error(Format("Błąd zapisu pliku %s (brak miejsca na dysku?).", DisplayName(file).c_str()));
}

void RenameOver(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (ec) {
    fs::remove(from, ec);
    throw Error(Format("Nie można zastąpić pliku %s.", DisplayName(to).c_str()));
  }
}

// Memo files named like the table (any letter case of .dbt and .fpt).
std::vector<fs::path> MemoFilesOf(const fs::path& dbf) {
  std::vector<fs::path> out;
  std::error_code ec;
  fs::path dir = dbf.parent_path().empty() ? fs::path(".") : dbf.parent_path();
  std::string stem = Lower(dbf.stem().string());
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string ext = Lower(it->path().extension().string());
    if ((ext == ".dbt" || ext == ".fpt") && Lower(it->path().stem().string()) == stem) out.push_back(it->path());
  }
  return out;
}

// Replaces the table and its memo file: each is written beside its target
// and renamed over it, the memo first, so the table never points into a memo
// file that is not there yet. Memo files of an older table are removed.
void ReplaceTable(const fs::path& dbf, const std::string& dbfBytes, const std::string& memoExt,
                  const std::string& memoBytes) {
  fs::path memoTarget;
  if (!memoExt.empty()) {
    memoTarget = dbf;
    memoTarget.replace_extension(memoExt);
  }
  fs::path memoTemp, dbfTemp = TempBeside(dbf);
  try {
    if (!memoTarget.empty()) {
      memoTemp = TempBeside(memoTarget);
      WriteFile(memoTemp, memoBytes);
    }
    WriteFile(dbfTemp, dbfBytes);
  } catch (...) {
    std::error_code ec;
    if (!memoTemp.empty()) fs::remove(memoTemp, ec);
    fs::remove(dbfTemp, ec);
    throw;
  }
  for (const auto& old : MemoFilesOf(dbf)) {
    if (old.filename() == memoTarget.filename() || old.filename() == memoTemp.filename()) continue;
    std::error_code ec;
    fs::remove(old, ec);
  }
  if (!memoTarget.empty()) RenameOver(memoTemp, memoTarget);
  RenameOver(dbfTemp, dbf);
}

// Whole grosze, what amounts mostly are: when the field has room for their
// digits no rounding is needed, and the text is made straight from the
// integer. The value may be the double nearest to the grosze or one of its
// two neighbours (sums and roundings of amounts land there): all three have
// the grosze as their 15-digit form, so the general way below gives the same.
bool FixedCentsText(double value, int decimals, std::string& out) {
  if (!(std::fabs(value) < 1e12)) return false;
  const long long cents = std::llround(value * 100);
  const double nearest = static_cast<double>(cents) / 100.0;
  if (value != nearest && value != std::nextafter(nearest, value)) return false;
  const unsigned long long magnitude = static_cast<unsigned long long>(cents < 0 ? -cents : cents);
  const unsigned fraction = static_cast<unsigned>(magnitude % 100);
  const int fractionDigits = fraction == 0 ? 0 : fraction % 10 == 0 ? 1 : 2;
  if (fractionDigits > decimals || decimals > 32) return false;
  char buf[64];
  char* p = buf;
  if (cents < 0) *p++ = '-';
  p = std::to_chars(p, buf + 20, magnitude / 100).ptr;
  if (decimals > 0) {
    *p++ = '.';
    *p++ = static_cast<char>('0' + fraction / 10);
    if (decimals > 1) *p++ = static_cast<char>('0' + fraction % 10);
    for (int k = 2; k < decimals; ++k) *p++ = '0';
  }
  out.assign(buf, p);
  return true;
}

// Decimal text with exactly `decimals` digits after the point, rounded half
// away from zero on the value's shortest decimal form (so 1.005 gives 1.01).
std::string FixedText(double value, int decimals) {
  if (std::string cents; FixedCentsText(value, decimals, cents)) return cents;
  std::string s = kx::DecimalText(value);
  bool negative = !s.empty() && s[0] == '-';
  if (negative) s.erase(0, 1);
  size_t dot = s.find('.');
  std::string whole = s.substr(0, dot);
  std::string frac = dot == std::string::npos ? "" : s.substr(dot + 1);
  if (static_cast<int>(frac.size()) > decimals) {
    bool up = frac[decimals] >= '5';
    frac.resize(decimals);
    if (up) {
      std::string digits = whole + frac;
      int k = static_cast<int>(digits.size()) - 1;
      while (k >= 0 && digits[k] == '9') digits[k--] = '0';
      if (k >= 0)
        ++digits[k];
      else
        digits.insert(digits.begin(), '1');
      whole = digits.substr(0, digits.size() - frac.size());
      frac = digits.substr(digits.size() - frac.size());
    }
  }
  frac.resize(decimals, '0');
  std::string out = whole + (decimals > 0 ? "." + frac : "");
  if (negative && out.find_first_not_of("0.") != std::string::npos) out.insert(out.begin(), '-');
  return out;
}

// A whole number with `decimals` zeros after the point.
std::string WholeText(int64_t value, int decimals) {
  std::string text = std::to_string(value);
  if (decimals > 0) text += "." + std::string(static_cast<size_t>(decimals), '0');
  return text;
}

bool ParseDateText(std::string_view text, Date& date) {
  char digits[8];
  if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
    std::memcpy(digits, text.data(), 4);
    std::memcpy(digits + 4, text.data() + 5, 2);
    std::memcpy(digits + 6, text.data() + 8, 2);
  } else if (text.size() == 8) {
    std::memcpy(digits, text.data(), 8);
  } else {
    return false;
  }
  auto number = [&](int from, int count) {
    int n = 0;
    for (int k = from; k < from + count; ++k) n = n * 10 + (digits[k] - '0');
    return n;
  };
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  date = {number(0, 4), number(4, 2), number(6, 2)};
  if (date.month < 1 || date.month > 12 || date.day < 1 || date.year < 1) return false;
  return CivilFromDays(DaysFromCivil(date)) == date;
}

// Adds memo blocks to a memo file image or to the memo file on disk.
class MemoSink {
 public:
  MemoSink(MemoFormat format, uint32_t blockSize, uint64_t nextBlock)
      : m_format(format), m_blockSize(blockSize), m_next(nextBlock) {}

  uint64_t NextBlock() const { return m_next; }

  // The block bytes of one memo; returns its first block number.
  uint64_t Add(const std::string& data, bool binary, std::string& blocks) {
    std::string b;
    switch (m_format) {
      case MemoFormat::DBase3: b = data + "\x1A\x1A"; break;
      case MemoFormat::DBase4:
        b.assign(8, '\0');
        b[0] = b[1] = '\xFF';
        b[2] = '\x08';
        PutLe32(b.data() + 4, static_cast<uint32_t>(data.size() + 8));
        b += data;
        break;
      case MemoFormat::FoxPro:
        b.assign(8, '\0');
        PutBe32(b.data(), binary ? 0 : 1);
        PutBe32(b.data() + 4, static_cast<uint32_t>(data.size()));
        b += data;
        break;
    }
    size_t blocks_used = (b.size() + m_blockSize - 1) / m_blockSize;
    b.resize(blocks_used * m_blockSize, '\0');
    uint64_t first = m_next;
    m_next += blocks_used;
    blocks += b;
    return first;
  }

 private:
  MemoFormat m_format;
  uint32_t m_blockSize;
  uint64_t m_next;
};

// Posted records are gathered up to this size and written in one piece.
constexpr size_t kGatheredBytes = 256 * 1024;

// Puts values into records of one table layout.
class RecordCodec {
 public:
  RecordCodec(const Header& header, int codePage, std::string tableName)
      : m_header(header), m_codePage(codePage), m_table(std::move(tableName)) {
    for (const auto& f : m_header.fields) {
      if (!f.hidden) m_byName.emplace(Lower(f.def.name), &f);
    }
  }

  // A new record: blanks, binary fields zero.
  std::string Blank() const {
    std::string rec(m_header.recordSize, ' ');
    for (const auto& f : m_header.fields) {
      if (IsBinary(f)) std::memset(rec.data() + f.offset, 0, f.size);
    }
    return rec;
  }

  // Field names are looked up without regard to case, as the table engine does.
  const FieldLayout& Field(const std::string& name) const {
    // Callers name the same fields again and again: the names as given are
    // remembered, so the letter case is folded once per name.
    if (auto known = m_asGiven.find(name); known != m_asGiven.end()) return *known->second;
    auto it = m_byName.find(Lower(name));
    if (it == m_byName.end()) throw Error(Format("Brak pola %s w tabeli %s.", name.c_str(), m_table.c_str()));
    m_asGiven.emplace(name, it->second);
    return *it->second;
  }

  // A number field's text, right-aligned; too wide a text fails.
  void PutNumberText(std::string& rec, const FieldLayout& f, const std::string& text) const {
    if (text.size() > f.size) {
      throw Error(Format("Wartość %s nie mieści się w polu %s (szerokość %u, miejsc po przecinku %d) tabeli %s.",
                         text.c_str(), f.def.name.c_str(), f.size, f.def.decimals, m_table.c_str()));
    }
    char* dst = rec.data() + f.offset;
    std::memset(dst, ' ', f.size);
    std::memcpy(dst + f.size - text.size(), text.data(), text.size());
  }

  // Bytes of a character field, cut at its width.
  void PutBytes(std::string& rec, const FieldLayout& f, std::string_view text) const {
    const std::string_view bytes = Cut(text, f.size);
    char* dst = rec.data() + f.offset;
    std::memset(dst, ' ', f.size);
    std::memcpy(dst, bytes.data(), bytes.size());
    if (f.lengthBit >= 0) {
      bool shorter = bytes.size() < f.size;
      if (shorter) dst[f.size - 1] = static_cast<char>(bytes.size());
      SetBit(rec, f.lengthBit, shorter);
    }
  }

  // Writes the value into the record; a memo's text goes to pendingMemo.
  void Put(std::string& rec, const FieldLayout& f, const Value& v, const Translator& translate,
           std::string* pendingMemo, bool& memoIsNull) const {
    char* dst = rec.data() + f.offset;
    if (v.IsNull()) {
      PutNull(rec, f);
      if (IsMemo(f)) memoIsNull = true;
      return;
    }
    SetBit(rec, f.nullBit, false);
    switch (f.type) {
      case 'C':
      case 'V': {
        // Raw bytes go in as they are, without a copy.
        if (v.type == Value::Type::Bytes) {
          PutBytes(rec, f, v.text);
        } else {
          PutBytes(rec, f, TextFor(f, v, translate));
        }
        return;
      }
      case 'N':
      case 'F': PutNumberText(rec, f, NumberTextFor(f, v)); return;
      case 'D': {
        Date d = DateFor(f, v);
        // yyyymmdd; the year is 1..9999 here
        const int parts[3][2] = {{d.year, 4}, {d.month, 2}, {d.day, 2}};
        for (const auto& [value, width] : parts) {
          for (int k = width - 1, n = value; k >= 0; --k, n /= 10) dst[k] = static_cast<char>('0' + n % 10);
          dst += width;
        }
        return;
      }
      case 'L': *dst = BoolFor(f, v) ? 'T' : 'F'; return;
      case 'I': {
        int64_t n = IntegerFor(f, v);
        if (n < INT32_MIN || n > INT32_MAX) TooWide(f, std::to_string(n));
        PutLe32(dst, static_cast<uint32_t>(static_cast<int32_t>(n)));
        return;
      }
      case 'Y': {
        double d = DoubleFor(f, v);
        if (std::fabs(d) >= 9.2e14) TooWide(f, kx::DecimalText(d));
        PutLe64(dst, static_cast<uint64_t>(std::llround(d * 10000.0)));
        return;
      }
      case 'T': {
        Date d;
        int32_t ms = 0;
        if (v.type == Value::Type::DateTime) {
          d = v.date;
          ms = v.msec;
        } else {
          d = DateFor(f, v);
        }
        PutLe32(dst, static_cast<uint32_t>(DaysFromCivil(d) + 1721425));
        PutLe32(dst + 4, static_cast<uint32_t>(ms));
        return;
      }
      case 'B':
        if (m_header.IsVisualFoxPro()) {
          double d = DoubleFor(f, v);
          uint64_t bits;
          std::memcpy(&bits, &d, sizeof bits);
          PutLe64(dst, bits);
          return;
        }
        [[fallthrough]];
      case 'G':
      case 'P':
      case 'W':
        if (v.type != Value::Type::Bytes && v.type != Value::Type::Text) WrongType(f, v);
        *pendingMemo = v.text;
        memoIsNull = false;
        return;
      case 'M':
        *pendingMemo = TextFor(f, v, translate);
        memoIsNull = false;
        return;
      default:
        throw Error(
            Format("Pole %s typu %c w tabeli %s nie może być zapisane.", f.def.name.c_str(), f.type, m_table.c_str()));
    }
  }

  void PutMemoPointer(std::string& rec, const FieldLayout& f, uint64_t block) const {
    char* dst = rec.data() + f.offset;
    if (f.size == 4) {
      if (block > UINT32_MAX) throw Error(Format("Plik memo tabeli %s jest za duży.", m_table.c_str()));
      PutLe32(dst, static_cast<uint32_t>(block));
      return;
    }
    std::memset(dst, ' ', f.size);
    if (block == 0) return;
    std::string digits = std::to_string(block);
    if (digits.size() > f.size) throw Error(Format("Plik memo tabeli %s jest za duży.", m_table.c_str()));
    std::memcpy(dst + f.size - digits.size(), digits.data(), digits.size());
  }

  static bool IsMemo(const FieldLayout& f) { return f.def.kind == FieldKind::Memo || f.def.kind == FieldKind::Blob; }

 private:
  bool IsBinary(const FieldLayout& f) const {
    switch (f.type) {
      // clang-format off
      case 'I': case 'Y': case 'T': case '0': return true;
      // clang-format on
      case 'B': return m_header.IsVisualFoxPro() || f.size == 4;
      // clang-format off
      case 'M': case 'G': case 'P': case 'W': return f.size == 4;
      // clang-format on
      default: return false;
    }
  }

  void SetBit(std::string& rec, int bit, bool on) const {
    if (bit < 0 || m_header.nullFlagsField < 0) return;
    char& byte = rec[m_header.fields[m_header.nullFlagsField].offset + bit / 8];
    if (on)
      byte = static_cast<char>(byte | (1 << (bit % 8)));
    else
      byte = static_cast<char>(byte & ~(1 << (bit % 8)));
  }

  void PutNull(std::string& rec, const FieldLayout& f) const {
    char* dst = rec.data() + f.offset;
    std::memset(dst, IsBinary(f) ? 0 : ' ', f.size);
    if (f.type == 'L') *dst = '?';
    SetBit(rec, f.lengthBit, false);
    SetBit(rec, f.nullBit, true);
  }

  [[noreturn]] void WrongType(const FieldLayout& f, const Value& v) const {
    static const char* const kNames[] = {"pusta", "tekst", "liczba całkowita", "liczba",      "wartość logiczna",
                                         "data",  "czas",  "data i czas",      "dane binarne"};
    throw Error(Format("Pole %s (typ %c) tabeli %s nie przyjmuje wartości typu: %s.", f.def.name.c_str(), f.type,
                       m_table.c_str(), kNames[static_cast<int>(v.type)]));
  }

  [[noreturn]] void TooWide(const FieldLayout& f, const std::string& text) const {
    throw Error(
        Format("Wartość %s nie mieści się w polu %s tabeli %s.", text.c_str(), f.def.name.c_str(), m_table.c_str()));
  }

  [[noreturn]] void NotValid(const FieldLayout& f, const std::string& text, const char* what) const {
    throw Error(
        Format("Tekst „%s” nie jest %s; pole %s tabeli %s.", text.c_str(), what, f.def.name.c_str(), m_table.c_str()));
  }

  // Character fields keep the table's bytes: text through the hook, numbers
  // in their decimal form.
  std::string TextFor(const FieldLayout& f, const Value& v, const Translator& translate) const {
    switch (v.type) {
      case Value::Type::Text: return translate(v.text);
      case Value::Type::Int: return std::to_string(v.i);
      case Value::Type::Float: return kx::DecimalText(v.f);
      case Value::Type::Bytes: return v.text;
      default: WrongType(f, v);
    }
  }

  // Templates have fixed widths: longer text is cut at the field's width, as
  // the table engine does. A UTF-8 table is cut between characters.
  std::string_view Cut(std::string_view bytes, uint32_t size) const {
    if (bytes.size() <= size) return bytes;
    size_t end = size;
    if (m_codePage == kUtf8CodePage) {
      while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
    }
    return bytes.substr(0, end);
  }

  Value NumberOf(const FieldLayout& f, const Value& v) const {
    switch (v.type) {
      case Value::Type::Int:
      case Value::Type::Float:
        if (v.type == Value::Type::Float && !std::isfinite(v.f)) NotValid(f, "nieskończoność", "liczbą");
        return v;
      case Value::Type::Text: {
        Value n;
        if (!ParseNumber(v.text, n, true) || n.IsNull()) NotValid(f, v.text, "liczbą");
        return n;
      }
      default: WrongType(f, v);
    }
  }

  std::string NumberTextFor(const FieldLayout& f, const Value& v) const {
    Value n = NumberOf(f, v);
    if (n.type == Value::Type::Int) return WholeText(n.i, f.def.decimals);
    return FixedText(n.f, f.def.decimals);
  }

  double DoubleFor(const FieldLayout& f, const Value& v) const {
    Value n = NumberOf(f, v);
    return n.type == Value::Type::Int ? static_cast<double>(n.i) : n.f;
  }

  int64_t IntegerFor(const FieldLayout& f, const Value& v) const {
    Value n = NumberOf(f, v);
    if (n.type == Value::Type::Int) return n.i;
    if (n.f != std::floor(n.f) || std::fabs(n.f) > 9e15) NotValid(f, kx::DecimalText(n.f), "liczbą całkowitą");
    return static_cast<int64_t>(n.f);
  }

  Date DateFor(const FieldLayout& f, const Value& v) const {
    switch (v.type) {
      case Value::Type::Date:
      case Value::Type::DateTime:
        if (v.date.year < 1 || v.date.year > 9999 || CivilFromDays(DaysFromCivil(v.date)) != v.date) {
          NotValid(f, DateText(v.date), "poprawną datą");
        }
        return v.date;
      case Value::Type::Text: {
        Date d;
        if (!ParseDateText(v.text, d)) NotValid(f, v.text, "datą w postaci rrrr-mm-dd");
        return d;
      }
      default: WrongType(f, v);
    }
  }

  bool BoolFor(const FieldLayout& f, const Value& v) const {
    if (v.type == Value::Type::Bool) return v.i != 0;
    if (v.type == Value::Type::Text) {
      std::string t = Lower(v.text);
      if (t == "t" || t == "y" || t == "true" || t == "1") return true;
      if (t == "f" || t == "n" || t == "false" || t == "0") return false;
      NotValid(f, v.text, "wartością logiczną");
    }
    WrongType(f, v);
  }

  const Header& m_header;
  int m_codePage;
  std::string m_table;
  std::map<std::string, const FieldLayout*> m_byName;
  mutable std::unordered_map<std::string, const FieldLayout*> m_asGiven;
};

uint8_t ValidVersion(uint8_t version) {
  if (version != 0x03 && version != 0x83 && version != 0xF5 && version != 0x30) {
    throw Error(Format("Nieobsługiwana wersja tabeli dBase do utworzenia: 0x%02X.", version));
  }
  return version;
}

// Header bytes of a new, empty table.
std::string NewHeader(const fs::path& file, const std::vector<FieldDef>& fields,
                      const std::vector<std::vector<Value>>& rows, const DbaseCreateOptions& options) {
  const std::string table = DisplayName(file);
  const uint8_t version = ValidVersion(options.version);
  const bool vfp = version == 0x30;
  const bool memoAllowed = version != 0x03;
  uint8_t ldid = LdidFromCodePage(options.codePage);
  if (ldid == 0) throw Error(Format("Strony kodowej %d nie można zapisać w nagłówku tabeli dBase.", options.codePage));

  // clang-format off
  struct Desc { std::string name; char type; uint32_t size; uint32_t decimals; uint8_t flags; };
  // clang-format on
  std::vector<Desc> descs;
  std::set<std::string> names;
  int nullBits = 0;
  bool hasMemo = false;
  for (size_t k = 0; k < fields.size(); ++k) {
    const FieldDef& fd = fields[k];
    std::string name = FromUtf8(fd.name, options.codePage);
    if (name.empty() || name.size() > 10) {
      throw Error(Format("Nazwa pola „%s” tabeli %s musi mieć od 1 do 10 znaków.", fd.name.c_str(), table.c_str()));
    }
    if (!names.insert(Lower(name)).second) {
      throw Error(Format("Pole %s występuje dwa razy w tabeli %s.", fd.name.c_str(), table.c_str()));
    }
    Desc d{name, fd.code, 0, 0, 0};
    auto badSize = [&]() {
      throw Error(Format("Pole %s typu %c tabeli %s ma niedozwoloną szerokość %d.", fd.name.c_str(), fd.code,
                         table.c_str(), fd.size));
    };
    switch (fd.code) {
      case 'C':
        if (fd.size < 1 || fd.size > 254) badSize();
        d.size = static_cast<uint32_t>(fd.size);
        break;
      case 'N':
      case 'F':
        if (fd.size < 1 || fd.size > 32 || fd.decimals < 0 || (fd.decimals > 0 && fd.decimals > fd.size - 2)) badSize();
        d.size = static_cast<uint32_t>(fd.size);
        d.decimals = static_cast<uint32_t>(fd.decimals);
        break;
      case 'D': d.size = 8; break;
      case 'L': d.size = 1; break;
      case 'M':
        if (!memoAllowed) {
          throw Error(Format("Pole memo %s wymaga tabeli z plikiem memo (wersja 0x83, 0xF5 lub 0x30); tabela %s.",
                             fd.name.c_str(), table.c_str()));
        }
        d.size = vfp ? 4 : 10;
        hasMemo = true;
        break;
      // clang-format off
      case 'I': case 'Y': case 'T': case 'B':
        if (!vfp) {
          // clang-format on
          throw Error(Format("Pole %s typu %c wymaga tabeli Visual FoxPro (wersja 0x30); tabela %s.", fd.name.c_str(),
                             fd.code, table.c_str()));
        }
        d.size = fd.code == 'I' ? 4 : 8;
        if (fd.code == 'Y') d.decimals = 4;
        break;
      default:
        throw Error(Format("Nieobsługiwany typ pola %c (%s) przy tworzeniu tabeli %s.", fd.code, fd.name.c_str(),
                           table.c_str()));
    }
    // Visual FoxPro keeps nulls in _NullFlags for types that have no empty
    // form of their own.
    if (vfp && (fd.code == 'C' || fd.code == 'I' || fd.code == 'Y' || fd.code == 'B')) {
      for (const auto& row : rows) {
        if (k < row.size() && row[k].IsNull()) {
          d.flags = 0x02;
          ++nullBits;
          break;
        }
      }
    }
    descs.push_back(d);
  }
  if (nullBits > 0) descs.push_back({"_NullFlags", '0', static_cast<uint32_t>((nullBits + 7) / 8), 0, 0x05});

  const size_t headerSize = 32 + 32 * descs.size() + 1 + (vfp ? 263 : 0);
  uint64_t recordSize = 1;
  for (const auto& d : descs) recordSize += d.size;
  if (headerSize > 65535 || recordSize > 65535) {
    throw Error(Format("Tabela %s ma za dużo pól.", table.c_str()));
  }
  std::string h(headerSize, '\0');
  h[0] = static_cast<char>(version);
  PutToday(h.data() + 1);
  PutLe16(h.data() + 8, static_cast<uint32_t>(headerSize));
  PutLe16(h.data() + 10, static_cast<uint32_t>(recordSize));
  h[28] = static_cast<char>(vfp && hasMemo ? 0x02 : 0x00);
  h[29] = static_cast<char>(ldid);
  uint32_t offset = 1;
  for (size_t k = 0; k < descs.size(); ++k) {
    char* d = h.data() + 32 + 32 * k;
    std::memcpy(d, descs[k].name.data(), descs[k].name.size());
    d[11] = descs[k].type;
    if (vfp) PutLe32(d + 12, offset);
    d[16] = static_cast<char>(descs[k].size);
    d[17] = static_cast<char>(descs[k].decimals);
    d[18] = static_cast<char>(descs[k].flags);
    offset += descs[k].size;
  }
  h[32 + 32 * descs.size()] = '\x0D';
  return h;
}

}  // namespace

void CreateDbaseTable(const fs::path& dbfFile, const std::vector<FieldDef>& fields,
                      const std::vector<std::vector<Value>>& rows, const DbaseCreateOptions& options) {
  const std::string table = DisplayName(dbfFile);
  std::string bytes = NewHeader(dbfFile, fields, rows, options);
  Header header = ParseHeader(bytes, bytes.size(), dbfFile);
  DecodeFieldNames(header, options.codePage);

  std::string memoExt, memo;
  MemoFormat memoFormat = MemoFormat::DBase3;
  uint32_t blockSize = 512;
  if (header.HasMemoFields()) {
    memoExt = options.version == 0x83 ? ".dbt" : ".fpt";
    memo.assign(512, '\0');
    if (memoExt == ".fpt") {
      blockSize = 64;
      PutBe32(memo.data(), 512 / blockSize);
      PutBe16(memo.data() + 6, blockSize);
      memoFormat = MemoFormat::FoxPro;
    } else {
      PutLe32(memo.data(), 1);
      memo[16] = '\x03';
    }
  }
  MemoSink sink(memoFormat, blockSize, memo.size() / blockSize);

  RecordCodec codec(header, options.codePage, table);
  Translator translate = [cp = options.codePage](std::string_view utf8) { return FromUtf8(utf8, cp); };
  std::vector<const FieldLayout*> visible;
  for (const auto& f : header.fields) {
    if (!f.hidden) visible.push_back(&f);
  }
  for (size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].size() != visible.size()) {
      throw Error(Format("Wiersz %zu tabeli %s ma %zu wartości, a tabela ma %zu pól.", r + 1, table.c_str(),
                         rows[r].size(), visible.size()));
    }
    std::string rec = codec.Blank();
    for (size_t k = 0; k < visible.size(); ++k) {
      std::string pending;
      bool memoIsNull = false;
      codec.Put(rec, *visible[k], rows[r][k], translate, &pending, memoIsNull);
      if (RecordCodec::IsMemo(*visible[k]) && !rows[r][k].IsNull()) {
        uint64_t block = sink.Add(pending, visible[k]->def.kind == FieldKind::Blob, memo);
        codec.PutMemoPointer(rec, *visible[k], block);
      }
    }
    bytes += rec;
  }
  bytes += '\x1A';
  PutLe32(bytes.data() + 4, static_cast<uint32_t>(rows.size()));
  if (memoFormat == MemoFormat::FoxPro)
    PutBe32(memo.data(), static_cast<uint32_t>(sink.NextBlock()));
  else if (!memo.empty())
    PutLe32(memo.data(), static_cast<uint32_t>(sink.NextBlock()));
  ReplaceTable(dbfFile, bytes, memoExt, memo);
}

void CopyDbaseTemplate(const fs::path& templateDbf, const fs::path& outputDbf) {
  std::error_code ec;
  if (!fs::is_regular_file(templateDbf, ec)) {
    throw Error(Format("Nie znaleziono szablonu tabeli %s.", DisplayName(templateDbf).c_str()));
  }
  auto read = [](const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Error(Format("Nie można odczytać pliku %s.", DisplayName(file).c_str()));
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  };
  std::string bytes = read(templateDbf);
  Header header = ParseHeader(bytes, bytes.size(), templateDbf);  // refuses a damaged template
  std::string memoExt, memo;
  if (header.HasMemoFields()) {
    fs::path memoFile = FindMemoFile(templateDbf, header.version);
    if (memoFile.empty()) {
      throw Error(Format("Brak pliku memo szablonu tabeli %s.", DisplayName(templateDbf).c_str()));
    }
    memoExt = memoFile.extension().string();
    memo = read(memoFile);
  }
  ReplaceTable(outputDbf, bytes, memoExt, memo);
}

struct DbaseWriter::Impl {
  fs::path path;
  std::string name;
  Header header;
  int codePage = 852;
  std::vector<FieldDef> fields;
  std::fstream file;
  std::unique_ptr<RecordCodec> codec;
  Translator translate;

  fs::path memoPath;
  std::fstream memoFile;
  MemoFormat memoFormat = MemoFormat::DBase3;
  uint32_t blockSize = 512;

  enum class State { Idle, Append, Edit } state = State::Idle;
  size_t editRecord = 0;
  bool headerDirty = false;  // records posted since the header was written
  bool trimmed = false;      // bytes after the end-of-file mark cut off
  // Records posted one after another are gathered and written in large
  // pieces (a record wider than the stream's buffer would be a system call
  // of its own); the end-of-file mark follows them when the table is closed.
  std::string unwritten;
  uint64_t unwrittenAt = 0;
  bool markDue = false;
  std::vector<const FieldLayout*> visible;  // the layouts of Fields(), in order
  std::string blank;                        // a new record, copied by Append
  std::string record;
  std::map<const FieldLayout*, std::string> pendingMemos;  // posted with the record

  void Require() const {
    if (state == State::Idle) {
      throw Error(Format("Tabela %s: brak bieżącego rekordu (najpierw Append lub Edit).", name.c_str()));
    }
  }

  void Check(std::ios& stream, const fs::path& what) const {
    if (!stream) throw Error(Format("Błąd zapisu pliku %s (brak miejsca na dysku?).", DisplayName(what).c_str()));
  }

  uint64_t FileSize() {
    file.seekg(0, std::ios::end);
    return static_cast<uint64_t>(file.tellg());
  }

  void Put(const FieldLayout& f, const Value& value);
  // The layout of a field of Fields(), for a record being written.
  const FieldLayout& Visible(size_t field) const;

  void WriteGathered() {
    if (unwritten.empty()) return;
    file.seekp(static_cast<std::streamoff>(unwrittenAt));
    file.write(unwritten.data(), static_cast<std::streamsize>(unwritten.size()));
    Check(file, path);
    unwritten.clear();
  }

  // Appends the pending memos to the memo file and points the record at them.
  void WriteMemos() {
    if (pendingMemos.empty()) return;
    if (!memoFile.is_open()) {
      throw Error(Format("Brak pliku memo tabeli %s; nie można zapisać pola %s.", name.c_str(),
                         pendingMemos.begin()->first->def.name.c_str()));
    }
    memoFile.seekg(0, std::ios::end);
    uint64_t size = static_cast<uint64_t>(memoFile.tellg());
    // New blocks go after the last block of the file. The header's
    // next-free-block word is rewritten but not trusted: a stale one would
    // make blocks in use be overwritten, a damaged one gigabytes be padded.
    uint64_t next = std::max<uint64_t>((size + blockSize - 1) / blockSize, 512 / blockSize + (512 % blockSize != 0));
    char head[4] = {};
    MemoSink sink(memoFormat, blockSize, next);
    std::string blocks;
    for (auto& [field, data] : pendingMemos) {
      uint64_t block = sink.Add(data, field->def.kind == FieldKind::Blob, blocks);
      codec->PutMemoPointer(record, *field, block);
    }
    if (size < next * blockSize) {
      memoFile.seekp(static_cast<std::streamoff>(size));
      std::string fill(next * blockSize - size, '\0');
      memoFile.write(fill.data(), static_cast<std::streamsize>(fill.size()));
    }
    memoFile.seekp(static_cast<std::streamoff>(next * blockSize));
    memoFile.write(blocks.data(), static_cast<std::streamsize>(blocks.size()));
    if (memoFormat == MemoFormat::FoxPro)
      PutBe32(head, static_cast<uint32_t>(sink.NextBlock()));
    else
      PutLe32(head, static_cast<uint32_t>(sink.NextBlock()));
    memoFile.seekp(0);
    memoFile.write(head, 4);
    memoFile.flush();
    Check(memoFile, memoPath);
    pendingMemos.clear();
  }
};

DbaseWriter::DbaseWriter(const fs::path& dbfFile) : m_impl(std::make_unique<Impl>()) {
  Impl& m = *m_impl;
  m.path = dbfFile;
  m.name = DisplayName(dbfFile);
  std::error_code ec;
  if (!fs::is_regular_file(dbfFile, ec)) throw Error(Format("Nie znaleziono tabeli %s.", m.name.c_str()));
  m.file.open(dbfFile, std::ios::in | std::ios::out | std::ios::binary);
  if (!m.file) throw Error(Format("Nie można otworzyć tabeli %s do zapisu.", m.name.c_str()));
  uint64_t size = m.FileSize();
  std::string head(static_cast<size_t>(std::min<uint64_t>(size, 32)), '\0');
  m.file.seekg(0);
  m.file.read(head.data(), static_cast<std::streamsize>(head.size()));
  uint64_t headerSize =
      head.size() >= 12 ? static_cast<unsigned char>(head[8]) | static_cast<unsigned char>(head[9]) << 8 : 0;
  if (!head.empty() && static_cast<unsigned char>(head[0]) == 0x02) headerSize = 521;
  std::string bytes(static_cast<size_t>(std::min<uint64_t>(size, std::max<uint64_t>(headerSize, 68))), '\0');
  m.file.seekg(0);
  m.file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  m.header = ParseHeader(bytes, size, dbfFile);
  if (m.header.family != Family::DBase3) {
    throw Error(
        Format("Zapis do tabeli %s (wersja dBase 0x%02X) nie jest obsługiwany.", m.name.c_str(), m.header.version));
  }
  m.codePage = ResolveCodePage(m.header, dbfFile, OpenOptions{});
  DecodeFieldNames(m.header, m.codePage);
  for (const auto& f : m.header.fields) {
    if (f.hidden) continue;
    m.fields.push_back(f.def);
    m.visible.push_back(&f);
  }
  m.codec = std::make_unique<RecordCodec>(m.header, m.codePage, m.name);
  m.blank = m.codec->Blank();
  m.translate = [cp = m.codePage](std::string_view utf8) { return FromUtf8(utf8, cp); };
  if (m.header.HasMemoFields()) {
    m.memoPath = FindMemoFile(dbfFile, m.header.version);
    if (!m.memoPath.empty()) {
      m.memoFile.open(m.memoPath, std::ios::in | std::ios::out | std::ios::binary);
      if (!m.memoFile) throw Error(Format("Nie można otworzyć pliku memo %s.", DisplayName(m.memoPath).c_str()));
      std::string memoHead(32, '\0');
      m.memoFile.read(memoHead.data(), static_cast<std::streamsize>(memoHead.size()));
      memoHead.resize(static_cast<size_t>(m.memoFile.gcount()));
      m.memoFile.clear();
      m.memoFormat = DetectMemoFormat(m.memoPath, m.header.version, memoHead, m.blockSize);
    }
  }
}

DbaseWriter::~DbaseWriter() {
  try {
    Close();
  } catch (...) {
    // Destructors do not throw; Close() reports failures to callers that ask.
  }
}

const std::vector<FieldDef>& DbaseWriter::Fields() const { return m_impl->fields; }

size_t DbaseWriter::RecordCount() const { return m_impl->header.recordCount; }

void DbaseWriter::SetTranslator(std::function<std::string(std::string_view utf8)> translate) {
  if (translate) {
    m_impl->translate = std::move(translate);
  } else {
    m_impl->translate = [cp = m_impl->codePage](std::string_view utf8) { return FromUtf8(utf8, cp); };
  }
}

void DbaseWriter::Append() {
  Impl& m = *m_impl;
  if (!m.file.is_open()) throw Error(Format("Tabela %s jest zamknięta.", m.name.c_str()));
  m.record = m.blank;
  m.pendingMemos.clear();
  m.state = Impl::State::Append;
}

void DbaseWriter::Edit(size_t record) {
  Impl& m = *m_impl;
  if (!m.file.is_open()) throw Error(Format("Tabela %s jest zamknięta.", m.name.c_str()));
  if (record >= m.header.recordCount) {
    throw Error(Format("Tabela %s nie ma rekordu %zu.", m.name.c_str(), record + 1));
  }
  m.WriteGathered();
  m.record.assign(m.header.recordSize, '\0');
  m.file.seekg(static_cast<std::streamoff>(m.header.headerSize + static_cast<uint64_t>(record) * m.header.recordSize));
  m.file.read(m.record.data(), static_cast<std::streamsize>(m.record.size()));
  if (!m.file) throw Error(Format("Błąd odczytu tabeli %s.", m.name.c_str()));
  m.pendingMemos.clear();
  m.editRecord = record;
  m.state = Impl::State::Edit;
}

void DbaseWriter::Set(const std::string& field, const Value& value) {
  m_impl->Require();
  m_impl->Put(m_impl->codec->Field(field), value);
}

void DbaseWriter::Set(size_t field, const Value& value) { m_impl->Put(m_impl->Visible(field), value); }

void DbaseWriter::Impl::Put(const FieldLayout& f, const Value& value) {
  Impl& m = *this;
  std::string pending;
  bool memoIsNull = false;
  m.codec->Put(m.record, f, value, m.translate, &pending, memoIsNull);
  if (RecordCodec::IsMemo(f)) {
    if (value.IsNull())
      m.pendingMemos.erase(&f);
    else
      m.pendingMemos[&f] = std::move(pending);
  }
}

const FieldLayout& DbaseWriter::Impl::Visible(size_t field) const {
  Require();
  if (field >= visible.size()) throw Error(Format("Tabela %s nie ma pola numer %zu.", name.c_str(), field + 1));
  return *visible[field];
}

// Numbers and bytes by position skip the Value for the plain fields: a number
// field without a null flag, a character field.
void DbaseWriter::SetInt(size_t field, int64_t value) {
  Impl& m = *m_impl;
  const FieldLayout& f = m.Visible(field);
  if ((f.type == 'N' || f.type == 'F') && f.nullBit < 0)
    return m.codec->PutNumberText(m.record, f, WholeText(value, f.def.decimals));
  m.Put(f, Value::FromInt(value));
}

void DbaseWriter::SetDecimal(size_t field, double value) {
  Impl& m = *m_impl;
  const FieldLayout& f = m.Visible(field);
  if ((f.type == 'N' || f.type == 'F') && f.nullBit < 0 && std::isfinite(value)) {
    return m.codec->PutNumberText(m.record, f, FixedText(value, f.def.decimals));
  }
  m.Put(f, Value::FromFloat(value));
}

void DbaseWriter::SetBytes(size_t field, std::string_view bytes) {
  Impl& m = *m_impl;
  const FieldLayout& f = m.Visible(field);
  if ((f.type == 'C' || f.type == 'V') && f.nullBit < 0) return m.codec->PutBytes(m.record, f, bytes);
  m.Put(f, Value::FromBytes(std::string(bytes)));
}

void DbaseWriter::SetText(const std::string& field, std::string_view utf8) {
  Set(field, Value::FromText(std::string(utf8)));
}
void DbaseWriter::SetText(size_t field, std::string_view utf8) { Set(field, Value::FromText(std::string(utf8))); }
void DbaseWriter::SetInt(const std::string& field, int64_t value) { Set(field, Value::FromInt(value)); }
void DbaseWriter::SetDecimal(const std::string& field, double value) { Set(field, Value::FromFloat(value)); }
void DbaseWriter::SetDate(const std::string& field, Date value) { Set(field, Value::FromDate(value)); }
void DbaseWriter::SetBool(const std::string& field, bool value) { Set(field, Value::FromBool(value)); }
void DbaseWriter::SetNull(const std::string& field) { Set(field, Value::Null()); }

void DbaseWriter::Post() {
  Impl& m = *m_impl;
  m.Require();
  m.WriteMemos();
  const bool append = m.state == Impl::State::Append;
  uint64_t index = append ? m.header.recordCount : m.editRecord;
  if (append && m.header.recordCount == UINT32_MAX) throw Error(Format("Tabela %s jest pełna.", m.name.c_str()));
  const uint64_t at = m.header.headerSize + index * m.header.recordSize;
  if (m.unwritten.empty() || at != m.unwrittenAt + m.unwritten.size()) {
    m.WriteGathered();
    m.unwrittenAt = at;
  }
  m.unwritten += m.record;
  if (m.unwritten.size() >= kGatheredBytes) m.WriteGathered();
  if (append) {
    ++m.header.recordCount;
    m.markDue = true;
    if (!m.trimmed) {
      m.WriteGathered();
      m.file.put('\x1A');
      m.Check(m.file, m.path);
      m.markDue = false;
      // Anything after the new end-of-file mark belonged to no record; later
      // records are written over the mark, so this is needed once.
      m.file.flush();
      m.Check(m.file, m.path);
      uint64_t end = m.header.headerSize + static_cast<uint64_t>(m.header.recordCount) * m.header.recordSize + 1;
      if (m.FileSize() > end) {
        m.file.close();
        std::error_code ec;
        fs::resize_file(m.path, end, ec);
        m.file.open(m.path, std::ios::in | std::ios::out | std::ios::binary);
        if (ec || !m.file) throw Error(Format("Błąd zapisu tabeli %s.", m.name.c_str()));
      }
      m.trimmed = true;
    }
  }
  // The header (record count, date) is written once, when the table is closed.
  m.headerDirty = true;
  m.state = Impl::State::Idle;
}

void DbaseWriter::Close() {
  Impl& m = *m_impl;
  m.state = Impl::State::Idle;
  m.pendingMemos.clear();
  if (m.memoFile.is_open()) {
    m.memoFile.flush();
    m.memoFile.close();
  }
  if (m.file.is_open()) {
    bool ok = true;
    try {
      m.WriteGathered();
    } catch (const Error&) {
      ok = false;
    }
    if (ok && m.markDue) {
      m.markDue = false;
      m.file.seekp(static_cast<std::streamoff>(m.header.headerSize +
                                               static_cast<uint64_t>(m.header.recordCount) * m.header.recordSize));
      m.file.put('\x1A');
      ok = static_cast<bool>(m.file);
    }
    m.unwritten.clear();
    if (ok && m.headerDirty) {
      // Header: record count, date of the last change; the production index
      // flag is cleared because indexes are not kept up to date here.
      m.headerDirty = false;
      char head[32];
      m.file.seekg(0);
      m.file.read(head, sizeof head);
      ok = static_cast<bool>(m.file);
      if (ok) {
        PutToday(head + 1);
        PutLe32(head + 4, m.header.recordCount);
        head[28] = static_cast<char>(static_cast<unsigned char>(head[28]) & ~0x01);
        m.file.seekp(0);
        m.file.write(head, sizeof head);
      }
    }
    m.file.flush();
    ok = ok && static_cast<bool>(m.file);
    m.file.close();
    if (!ok) throw Error(Format("Błąd zapisu tabeli %s.", m.name.c_str()));
  }
}

}  // namespace kx::tables
