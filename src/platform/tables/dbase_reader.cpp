#include "platform/tables/dbase_reader.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <system_error>

#include "platform/error.h"
#include "platform/file_bytes.h"
#include "platform/tables/codepage.h"
#include "platform/tables/dbase_format.h"

namespace kx::tables {
namespace dbase {
namespace {

namespace fs = std::filesystem;

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Be16(const unsigned char* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t Be32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}
uint64_t Be64(const unsigned char* p) {
  uint64_t v = 0;
  for (int k = 0; k < 8; ++k) v = v << 8 | p[k];
  return v;
}
uint64_t Le64(const unsigned char* p) {
  uint64_t v = 0;
  for (int k = 7; k >= 0; --k) v = v << 8 | p[k];
  return v;
}

const unsigned char* U(const char* p) { return reinterpret_cast<const unsigned char*>(p); }

// The file mapped (see FileBytes).
FileBytes MapWholeFile(const fs::path& file, const char* what) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) throw Error(Format("Nie znaleziono %s %s.", what, DisplayName(file).c_str()));
  FileBytes bytes;
  if (bytes.Map(file) != 0) throw Error(Format("Nie można otworzyć %s %s.", what, DisplayName(file).c_str()));
  return bytes;
}

std::string ReadWholeFile(const fs::path& file, const char* what) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) throw Error(Format("Nie znaleziono %s %s.", what, DisplayName(file).c_str()));
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Error(Format("Nie można otworzyć %s %s.", what, DisplayName(file).c_str()));
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) throw Error(Format("Błąd odczytu %s %s.", what, DisplayName(file).c_str()));
  return s.str();
}

bool KnownVersion(uint8_t v) {
  switch (v) {
    // clang-format off
    case 0x02:              // dBase II, FoxBASE
    case 0x03: case 0x83:   // dBase III, III+ with .dbt
    case 0x04: case 0x8C:   // dBase 7
    case 0x05:              // dBase 5
    case 0x43: case 0x63: case 0x7B: case 0x8B: case 0xCB: case 0xB3:  // dBase IV variants
    case 0xF5: case 0xFB:   // FoxPro 2, FoxBASE
    case 0x30: case 0x31: case 0x32:  // Visual FoxPro
      return true;
    // clang-format on
    default: return false;
  }
}

FieldKind KindOf(char type, bool visualFoxPro) {
  switch (type) {
    case 'C':
    case 'V': return FieldKind::Text;
    case 'M': return FieldKind::Memo;
    case 'N':
    case 'F':
    case 'O': return FieldKind::Number;
    case 'B': return visualFoxPro ? FieldKind::Number : FieldKind::Blob;
    case 'I': return FieldKind::Integer;
    case '+': return FieldKind::AutoInc;
    case 'Y': return FieldKind::Currency;
    case 'L': return FieldKind::Logical;
    case 'D': return FieldKind::Date;
    // clang-format off
    case 'T': case '@': return FieldKind::Timestamp;
    case 'G': case 'P': case 'W': return FieldKind::Blob;
    // clang-format on
    default: return FieldKind::Bytes;  // Q varbinary, and types this reader does not know
  }
}

// Width a field type must have, 0 when any width is allowed.
uint32_t FixedWidth(char type, const Header& h) {
  switch (type) {
    case 'D': return 8;
    case 'L': return 1;
    // clang-format off
    case 'I': case '+': return 4;
    case 'Y': case 'O': case '@': return 8;
    // clang-format on
    case 'T': return 8;
    case 'B': return h.IsVisualFoxPro() ? 8 : 0;
    default: return 0;
  }
}

[[noreturn]] void Damaged(const fs::path& file, const std::string& what) {
  throw Error(Format("Tabela %s jest uszkodzona: %s.", DisplayName(file).c_str(), what.c_str()));
}

bool AllOf(std::string_view s, std::string_view chars) { return s.find_first_not_of(chars) == std::string_view::npos; }

std::string_view TrimRight(std::string_view s, std::string_view chars) {
  size_t end = s.find_last_not_of(chars);
  return end == std::string_view::npos ? std::string_view{} : s.substr(0, end + 1);
}

std::string_view Trim(std::string_view s, std::string_view chars) {
  size_t begin = s.find_first_not_of(chars);
  if (begin == std::string_view::npos) return {};
  return s.substr(begin, s.find_last_not_of(chars) - begin + 1);
}

constexpr std::string_view kBlankOrNul{" \0", 2};

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

bool ValidDate(int y, int m, int d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kJulianToCivilDays = 1721425;  // Julian day number minus this is DaysFromCivil
constexpr int64_t kLastDay = 3652059;            // 9999-12-31

}  // namespace

std::string DisplayName(const fs::path& file) { return file.string(); }

bool Header::HasMemoFields() const {
  for (const auto& f : fields) {
    if (f.def.kind == FieldKind::Memo || f.def.kind == FieldKind::Blob) return true;
  }
  return false;
}

Header ParseHeader(std::string_view bytes, uint64_t fileSize, const fs::path& file) {
  const std::string name = DisplayName(file);
  if (bytes.empty()) throw Error(Format("Plik %s jest pusty; to nie jest tabela dBase.", name.c_str()));
  Header h;
  h.version = static_cast<uint8_t>(bytes[0]);
  if (!KnownVersion(h.version)) {
    throw Error(Format("Plik %s nie jest tabelą dBase (nieznana wersja 0x%02X).", name.c_str(), h.version));
  }
  const auto* b = U(bytes.data());
  size_t descStart = 32, descSize = 32, nameSize = 11;
  if (h.version == 0x02) {
    h.family = Family::DBase2;
    if (bytes.size() < 8) throw Error(Format("Plik %s jest za krótki na nagłówek tabeli dBase.", name.c_str()));
    h.recordCount = Le16(b + 1);
    h.recordSize = Le16(b + 6);
    h.headerSize = 521;  // 8 bytes, 32 descriptors of 16 bytes, the terminator
    descStart = 8;
    descSize = 16;
  } else {
    h.family = (h.version == 0x04 || h.version == 0x8C) ? Family::DBase7 : Family::DBase3;
    if (bytes.size() < 32) throw Error(Format("Plik %s jest za krótki na nagłówek tabeli dBase.", name.c_str()));
    h.recordCount = Le32(b + 4);
    h.headerSize = Le16(b + 8);
    h.recordSize = Le16(b + 10);
    h.tableFlags = b[28];
    h.ldid = b[29];
    if (h.family == Family::DBase7) {
      if (bytes.size() < 68) throw Error(Format("Plik %s jest za krótki na nagłówek tabeli dBase 7.", name.c_str()));
      std::string_view driver(bytes.data() + 32, 32);
      h.driverName = std::string(driver.substr(0, driver.find('\0')));
      descStart = 68;
      descSize = 48;
      nameSize = 32;
    }
  }
  if (h.headerSize > fileSize) {
    Damaged(file, Format("nagłówek (%u bajtów) jest dłuższy niż plik (%llu bajtów)", h.headerSize,
                         static_cast<unsigned long long>(fileSize)));
  }
  if (h.recordSize == 0) Damaged(file, "długość rekordu w nagłówku wynosi 0");

  // Field descriptors up to the terminator byte; none may cross the header's end.
  size_t pos = descStart;
  const size_t headerEnd = std::min<size_t>(h.headerSize, bytes.size());
  while (true) {
    if (pos >= headerEnd) {
      if (pos == h.headerSize) break;  // descriptors fill the header, terminator left out
      Damaged(file, "opisy pól wykraczają poza nagłówek");
    }
    if (b[pos] == 0x0D || b[pos] == 0x0A) break;
    if (pos + descSize > headerEnd) Damaged(file, "opisy pól wykraczają poza nagłówek");
    const auto* d = b + pos;
    FieldLayout f;
    std::string_view rawName(reinterpret_cast<const char*>(d), nameSize);
    f.rawName = std::string(TrimRight(rawName.substr(0, rawName.find('\0')), " "));
    uint32_t decimals = 0;
    if (h.family == Family::DBase2) {
      f.type = static_cast<char>(d[11]);
      f.size = d[12];
      decimals = d[15];
    } else if (h.family == Family::DBase7) {
      f.type = static_cast<char>(d[32]);
      f.size = d[33];
      decimals = d[34];
    } else {
      f.type = static_cast<char>(d[11]);
      f.size = d[16];
      decimals = d[17];
      f.flags = d[18];
    }
    if (f.type == 'C' && h.family != Family::DBase2) {
      // Character fields wider than 255 keep the high byte of the width in
      // the decimals byte (FoxPro, Clipper).
      f.size |= decimals << 8;
      decimals = 0;
    }
    f.def.code = f.type;
    f.def.size = static_cast<int>(f.size);
    f.def.decimals = static_cast<int>(decimals);
    f.def.kind = KindOf(f.type, h.IsVisualFoxPro());
    f.hidden = f.type == '0';
    h.fields.push_back(std::move(f));
    pos += descSize;
  }

  uint64_t width = 1;
  for (auto& f : h.fields) {
    f.offset = static_cast<uint32_t>(width);
    if (f.size == 0) Damaged(file, Format("pole nr %zu ma szerokość 0", static_cast<size_t>(&f - h.fields.data()) + 1));
    uint32_t fixed = FixedWidth(f.type, h);
    if (fixed != 0 && f.size != fixed) {
      Damaged(file, Format("pole %s typu %c ma szerokość %u zamiast %u", f.rawName.c_str(), f.type, f.size, fixed));
    }
    width += f.size;
  }
  if (width != h.recordSize) {
    Damaged(file, Format("nagłówek podaje długość rekordu %u bajtów, a pola zajmują %llu", h.recordSize,
                         static_cast<unsigned long long>(width)));
  }
  uint64_t needed = h.headerSize + static_cast<uint64_t>(h.recordCount) * h.recordSize;
  if (needed > fileSize) {
    uint64_t fit = (fileSize - h.headerSize) / h.recordSize;
    throw Error(Format("Tabela %s jest uszkodzona lub obcięta: nagłówek zapowiada %u rekordów, a plik mieści %llu.",
                       name.c_str(), h.recordCount, static_cast<unsigned long long>(fit)));
  }

  // Visual FoxPro: bits of the hidden _NullFlags field, in field order; a
  // varchar or varbinary field takes one for "shorter than the field", then a
  // nullable field one for "null".
  for (size_t k = 0; k < h.fields.size(); ++k) {
    if (h.fields[k].hidden) {
      h.nullFlagsField = static_cast<int>(k);
      break;
    }
  }
  if (h.nullFlagsField >= 0 && h.IsVisualFoxPro()) {
    int bit = 0;
    const int bitCount = static_cast<int>(h.fields[h.nullFlagsField].size) * 8;
    for (auto& f : h.fields) {
      if (f.hidden) continue;
      if (f.type == 'V' || f.type == 'Q') f.lengthBit = bit++;
      if (f.flags & 0x02) f.nullBit = bit++;
      if (f.lengthBit >= bitCount) f.lengthBit = -1;
      if (f.nullBit >= bitCount) f.nullBit = -1;
    }
  }
  return h;
}

void DecodeFieldNames(Header& header, int codePage) {
  std::map<std::string, int> seen;
  for (auto& f : header.fields) {
    std::string decoded = ToUtf8(f.rawName, codePage);
    std::string key = decoded;
    for (auto& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    int n = ++seen[key];
    f.def.name = n == 1 ? decoded : decoded + "#" + std::to_string(n);
  }
}

int CodePageFromLdid(uint8_t ldid) {
  switch (ldid) {
    // clang-format off
    case 0x01: case 0x09: case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x15: case 0x18: case 0x19: case 0x1B:
      return 437;
    case 0x02: case 0x0A: case 0x0E: case 0x10: case 0x12: case 0x14: case 0x16: case 0x1A: case 0x1D: case 0x25:
    case 0x37:
      return 850;
    case 0x03: case 0x57: case 0x58: case 0x59: return 1252;
    case 0x08: case 0x17: case 0x66: return 865;
    case 0x13: case 0x7B: return 932;
    // clang-format on
    case 0x1C: return 863;
    // clang-format off
    case 0x1F: case 0x22: case 0x23: case 0x40: case 0x64: return 852;
    // clang-format on
    case 0x24: return 860;
    // clang-format off
    case 0x26: case 0x65: return 866;
    case 0x4D: case 0x7A: return 936;
    case 0x4E: case 0x79: return 949;
    case 0x4F: case 0x78: return 950;
    case 0x50: case 0x7C: return 874;
    // clang-format on
    case 0x67: return 861;
    case 0x69: return kMazoviaCodePage;
    case 0x6A: return 737;
    case 0x6B: return 857;
    case 0x7D: return 1255;
    case 0x7E: return 1256;
    case 0xC8: return 1250;
    case 0xC9: return 1251;
    case 0xCA: return 1254;
    case 0xCB: return 1253;
    case 0xF0: return kUtf8CodePage;  // not in any dBase list; python-dbf marks UTF-8 tables so
    default: return 0;
  }
}

uint8_t LdidFromCodePage(int codePage) {
  switch (codePage) {
    case 437: return 0x01;
    case 850: return 0x02;
    case 1252: return 0x03;
    case 852: return 0x64;
    case 866: return 0x65;
    case 865: return 0x66;
    case 861: return 0x67;
    case kMazoviaCodePage: return 0x69;
    case 737: return 0x6A;
    case 857: return 0x6B;
    case 1250: return 0xC8;
    case 1251: return 0xC9;
    case 1254: return 0xCA;
    case 1253: return 0xCB;
    case kUtf8CodePage: return 0xF0;
    default: return 0;
  }
}

namespace {

// Code page named by a dBase 7 language driver, such as DB852PO0 or DBWINUS0.
int CodePageFromDriverName(const std::string& driver) {
  if (driver.size() >= 5 && driver.compare(0, 2, "DB") == 0) {
    if (std::isdigit(static_cast<unsigned char>(driver[2])) && std::isdigit(static_cast<unsigned char>(driver[3])) &&
        std::isdigit(static_cast<unsigned char>(driver[4]))) {
      return std::stoi(driver.substr(2, 3));
    }
    if (driver.compare(0, 5, "DBWIN") == 0) return 1252;
  }
  return 0;
}

// Only the start of a .cpg file is looked at.
constexpr size_t kCpgTextSize = 64;

// The start of the .cpg file beside the table, or nothing when there is none.
std::optional<std::string> ReadCpgFile(const fs::path& dbfFile) {
  fs::path cpg = dbfFile;
  for (const char* ext : {".cpg", ".CPG"}) {
    cpg.replace_extension(ext);
    std::error_code ec;
    if (!fs::is_regular_file(cpg, ec)) continue;
    std::ifstream in(cpg, std::ios::binary);
    std::string text(kCpgTextSize, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
  }
  return std::nullopt;
}

// Code page written in a .cpg file: "ANSI 1250", "1250", "CP852", "UTF-8".
int CodePageFromCpg(std::string_view text) {
  std::string upper;
  for (char c : text.substr(0, kCpgTextSize)) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.find("UTF-8") != std::string::npos || upper.find("UTF8") != std::string::npos) return kUtf8CodePage;
  if (upper.find("8859") != std::string::npos) return 0;
  std::string digits;
  for (char c : upper) {
    if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
  }
  if (digits.empty() || digits.size() > 5) return 0;
  return std::stoi(digits);
}

// The text of the table's .cpg file, asked for only when the header names no
// code page.
using CpgSource = std::function<std::optional<std::string>()>;

int ResolveCodePageWith(const Header& header, const CpgSource& cpg, const OpenOptions& options) {
  if (options.forceCodePage != 0) return options.forceCodePage;
  int fromLdid = CodePageFromLdid(header.ldid);
  // 0x57 is what Esri writes when the .cpg file tells the code page.
  if (fromLdid != 0 && header.ldid != 0x57 && IsKnownCodePage(fromLdid)) return fromLdid;
  int fromDriver = CodePageFromDriverName(header.driverName);
  if (fromDriver != 0 && IsKnownCodePage(fromDriver)) return fromDriver;
  std::optional<std::string> cpgText = cpg ? cpg() : std::nullopt;
  int fromCpg = cpgText ? CodePageFromCpg(*cpgText) : 0;
  if (fromCpg != 0 && IsKnownCodePage(fromCpg)) return fromCpg;
  if (fromLdid != 0 && IsKnownCodePage(fromLdid)) return fromLdid;
  return options.defaultCodePage;
}

}  // namespace

int ResolveCodePage(const Header& header, const fs::path& dbfFile, const OpenOptions& options) {
  return ResolveCodePageWith(
      header, [&] { return ReadCpgFile(dbfFile); }, options);
}

fs::path FindMemoFile(const fs::path& dbfFile, uint8_t version) {
  bool fox = version == 0xF5 || version == 0xFB || version == 0x30 || version == 0x31 || version == 0x32;
  const char* order[] = {fox ? ".fpt" : ".dbt", fox ? ".dbt" : ".fpt"};
  std::error_code ec;
  for (const char* ext : order) {
    for (bool upper : {false, true}) {
      std::string e = ext;
      if (upper) {
        for (auto& c : e) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      }
      fs::path candidate = dbfFile;
      candidate.replace_extension(e);
      if (fs::is_regular_file(candidate, ec)) return candidate;
    }
  }
  // Any other letter case of the name, as tables copied from Windows have.
  auto lower = [](std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  fs::path dir = dbfFile.parent_path().empty() ? fs::path(".") : dbfFile.parent_path();
  std::string stem = lower(dbfFile.stem().string());
  for (const char* ext : order) {
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      const fs::path& p = it->path();
      if (lower(p.stem().string()) == stem && lower(p.extension().string()) == ext && it->is_regular_file(ec)) {
        return p;
      }
    }
  }
  return {};
}

MemoFormat DetectMemoFormat(const fs::path& memoFile, uint8_t tableVersion, std::string_view memoHeader,
                            uint32_t& blockSize) {
  std::string ext = memoFile.extension().string();
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto* b = U(memoHeader.data());
  if (ext == ".fpt") {
    blockSize = memoHeader.size() >= 8 ? Be16(b + 6) : 64;
    if (blockSize == 0) blockSize = 1;  // FoxPro: 0 means space is given out in bytes
    return MemoFormat::FoxPro;
  }
  if (tableVersion == 0x83 || tableVersion == 0x03) {
    blockSize = 512;
    return MemoFormat::DBase3;
  }
  uint32_t size = memoHeader.size() >= 22 ? Le16(b + 20) : 0;
  blockSize = size != 0 ? size : 512;
  return MemoFormat::DBase4;
}

MemoFile::MemoFile(fs::path path, std::string bytes, uint8_t tableVersion)
    : m_path(std::move(path)), m_bytes(std::move(bytes)) {
  m_format = DetectMemoFormat(m_path, tableVersion, m_bytes, m_blockSize);
}

std::string MemoFile::Read(uint64_t block) const {
  const uint64_t total = m_bytes.size();
  auto outside = [&]() -> Error {
    return Error(Format("Plik memo %s jest uszkodzony: blok %llu leży poza plikiem.", DisplayName(m_path).c_str(),
                        static_cast<unsigned long long>(block)));
  };
  if (block > total / m_blockSize) throw outside();
  const uint64_t offset = block * m_blockSize;
  const auto* b = U(m_bytes.data());
  if (m_format == MemoFormat::FoxPro) {
    if (offset + 8 > total) throw outside();
    uint64_t length = Be32(b + offset + 4);
    if (length > total - offset - 8) throw outside();
    return m_bytes.substr(offset + 8, length);
  }
  if (m_format == MemoFormat::DBase4 && offset + 8 <= total && b[offset] == 0xFF && b[offset + 1] == 0xFF &&
      b[offset + 2] == 0x08 && b[offset + 3] == 0x00) {
    // dBase IV block: marker, then the length including these 8 bytes.
    uint64_t length = Le32(b + offset + 4);
    if (length < 8 || length - 8 > total - offset - 8) throw outside();
    return m_bytes.substr(offset + 8, length - 8);
  }
  // dBase III: the text runs to the end-of-file mark.
  if (offset >= total) throw outside();
  size_t end = m_bytes.find('\x1A', offset);
  if (end == std::string::npos) end = m_bytes.size();
  return m_bytes.substr(offset, end - offset);
}

bool ParseMemoPointer(std::string_view bytes, uint64_t& block) {
  block = 0;
  if (bytes.size() == 4) {
    if (AllOf(bytes, " ")) return true;
    block = Le32(U(bytes.data()));
    return true;
  }
  std::string_view digits = Trim(bytes, kBlankOrNul);
  if (digits.empty()) return true;
  if (digits.size() > 18 || !AllOf(digits, "0123456789")) return false;
  std::from_chars(digits.data(), digits.data() + digits.size(), block);
  return true;
}

bool ParseNumber(std::string_view text, Value& value, bool preferInteger) {
  std::string_view t = Trim(text, kBlankOrNul);
  // Empty, or only the decimal point among blanks (how dBase II leaves an
  // empty number): no value.
  if (t.empty() || t == ".") {
    value = Value::Null();
    return true;
  }
  std::string s(t);
  if (s.find('.') == std::string::npos) {
    // A decimal comma, as some writers put it.
    size_t comma = s.find(',');
    if (comma != std::string::npos && s.find(',', comma + 1) == std::string::npos) s[comma] = '.';
  }
  size_t i = 0;
  if (s[i] == '+' || s[i] == '-') ++i;
  size_t digits = 0, point = 0;
  bool exponent = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.' && point == 0 && !exponent) {
      ++point;
    } else if ((c == 'e' || c == 'E') && digits > 0 && !exponent) {
      exponent = true;
      if (i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) ++i;
      if (i + 1 >= s.size()) return false;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  const char* begin = s.data() + (s[0] == '+' ? 1 : 0);
  const char* end = s.data() + s.size();
  if (preferInteger && point == 0 && !exponent) {
    int64_t n = 0;
    auto r = std::from_chars(begin, end, n);
    if (r.ec == std::errc() && r.ptr == end) {
      value = Value::FromInt(n);
      return true;
    }
  }
  double d = 0;
  auto r = std::from_chars(begin, end, d);
  if (r.ptr != end || r.ec != std::errc()) return false;
  if (!std::isfinite(d)) return false;
  value = Value::FromFloat(d);
  return true;
}

namespace {

class DbaseTable final : public TableSource {
 public:
  DbaseTable(const fs::path& file, Header header, FileBytes bytes, int codePage, MemoFile memo)
      // clang-format off
      : m_path(file.string()), m_file(file), m_header(std::move(header)), m_bytes(std::move(bytes)),
        m_codePage(codePage), m_memo(std::move(memo)) {
    // clang-format on
    for (size_t k = 0; k < m_header.fields.size(); ++k) {
      if (m_header.fields[k].hidden) continue;
      m_visible.push_back(k);
      m_fields.push_back(m_header.fields[k].def);
    }
    // Only '*' marks a deleted record; some writers put 0x00 in live ones.
    const char* data = m_bytes.data() + m_header.headerSize;
    auto deleted = [&](uint32_t r) {
      const uint64_t at = static_cast<uint64_t>(r) * m_header.recordSize;
      FollowScan(m_header.headerSize + at);
      return data[at] == '*';
    };
    for (uint32_t r = 0; r < m_header.recordCount && !m_anyDeleted; ++r) m_anyDeleted = deleted(r);
    if (m_anyDeleted) {
      for (uint32_t r = 0; r < m_header.recordCount; ++r) {
        if (!deleted(r)) m_live.push_back(r);
      }
    }
    // The look for deleted records touched every record: given back until read again.
    m_bytes.Release(0, m_bytes.size());
  }

  const std::string& FilePath() const override { return m_path; }
  const std::vector<FieldDef>& Fields() const override { return m_fields; }
  size_t RecordCount() const override { return m_anyDeleted ? m_live.size() : m_header.recordCount; }

  Value Get(size_t record, size_t field) const override {
    if (record >= RecordCount() || field >= m_fields.size()) {
      throw Error(Format("Odwołanie poza tabelą %s: rekord %zu, pole %zu.", m_path.c_str(), record + 1, field + 1));
    }
    uint64_t physical = m_anyDeleted ? m_live[record] : record;
    const uint64_t at = m_header.headerSize + physical * m_header.recordSize;
    FollowScan(at);
    const char* rec = m_bytes.data() + at;
    return Decode(m_header.fields[m_visible[field]], rec, record);
  }

 private:
  bool FlagBit(const char* rec, int bit) const {
    const FieldLayout& nf = m_header.fields[m_header.nullFlagsField];
    return (static_cast<unsigned char>(rec[nf.offset + bit / 8]) >> (bit % 8)) & 1;
  }

  [[noreturn]] void BadValue(const FieldLayout& f, std::string_view raw, size_t record) const {
    std::string shown;
    for (char c : raw)
      shown += (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) ? '?' : c;
    throw Error(Format("Nieprawidłowa wartość „%s” w polu %s (rekord %zu) tabeli %s.", shown.c_str(),
                       f.def.name.c_str(), record + 1, m_path.c_str()));
  }

  std::string MemoBytes(const FieldLayout& f, std::string_view raw, size_t record, bool& none) const {
    uint64_t block = 0;
    if (!ParseMemoPointer(raw, block)) BadValue(f, raw, record);
    none = block == 0;
    if (none) return {};
    if (!m_memo.Loaded()) {
      throw Error(Format("Brak pliku memo (.dbt lub .fpt) tabeli %s; nie można odczytać pola %s (rekord %zu).",
                         m_path.c_str(), f.def.name.c_str(), record + 1));
    }
    return m_memo.Read(block);
  }

  Value Decode(const FieldLayout& f, const char* rec, size_t record) const {
    if (f.nullBit >= 0 && FlagBit(rec, f.nullBit)) return Value::Null();
    std::string_view raw(rec + f.offset, f.size);
    const auto* u = U(raw.data());
    const bool dbase7 = m_header.family == Family::DBase7;
    switch (f.type) {
      case 'C': return Value::FromText(ToUtf8(TrimRight(raw, kBlankOrNul), m_codePage));
      case 'V':
      case 'Q': {
        std::string_view data = raw;
        if (f.lengthBit >= 0 && FlagBit(rec, f.lengthBit)) {
          data = raw.substr(0, std::min<size_t>(u[f.size - 1], f.size - 1));
        } else if (f.type == 'V') {
          data = TrimRight(raw, kBlankOrNul);
        }
        if (f.type == 'Q') return Value::FromBytes(std::string(data));
        return Value::FromText(ToUtf8(data, m_codePage));
      }
      case 'N':
      case 'F': {
        Value v;
        if (!ParseNumber(raw, v, f.type == 'N' && f.def.decimals == 0)) BadValue(f, raw, record);
        return v;
      }
      case 'D': {
        if (AllOf(raw, std::string_view(" 0\0", 3))) return Value::Null();
        if (!AllOf(raw, "0123456789")) BadValue(f, raw, record);
        int y = (u[0] - '0') * 1000 + (u[1] - '0') * 100 + (u[2] - '0') * 10 + (u[3] - '0');
        int m = (u[4] - '0') * 10 + (u[5] - '0');
        int d = (u[6] - '0') * 10 + (u[7] - '0');
        if (!ValidDate(y, m, d)) BadValue(f, raw, record);
        return Value::FromDate({y, m, d});
      }
      case 'L':
        switch (raw[0]) {
          // clang-format off
          case 'T': case 't': case 'Y': case 'y': return Value::FromBool(true);
          case 'F': case 'f': case 'N': case 'n': return Value::FromBool(false);
          case '?': case ' ': case '\0': return Value::Null();
          // clang-format on
          default: BadValue(f, raw, record);
        }
      case 'I':
      case '+':
        if (dbase7) {
          // dBase 7 keeps integers big-endian with the sign bit flipped; zero bytes are empty.
          if (AllOf(raw, kBlankOrNul.substr(1))) return Value::Null();
          return Value::FromInt(static_cast<int32_t>(Be32(u) ^ 0x80000000u));
        }
        return Value::FromInt(static_cast<int32_t>(Le32(u)));
      case 'Y': return Value::FromFloat(static_cast<double>(static_cast<int64_t>(Le64(u))) / 10000.0);
      case 'B':
        if (m_header.IsVisualFoxPro()) {
          double d;
          uint64_t bits = Le64(u);
          std::memcpy(&d, &bits, sizeof d);
          return Value::FromFloat(d);
        }
        [[fallthrough]];
      case 'G':
      case 'P':
      case 'W': {
        bool none = false;
        std::string data = MemoBytes(f, raw, record, none);
        return none ? Value::Null() : Value::FromBytes(std::move(data));
      }
      case 'M': {
        bool none = false;
        std::string data = MemoBytes(f, raw, record, none);
        return none ? Value::Null() : Value::FromText(ToUtf8(data, m_codePage));
      }
      case 'T': {
        if (AllOf(raw, kBlankOrNul)) return Value::Null();
        int64_t julian = Le32(u);
        int64_t ms = Le32(u + 4);
        if (julian == 0) return Value::Null();
        int64_t days = julian - kJulianToCivilDays;
        if (days < 1 || days > kLastDay || ms >= kMsPerDay) BadValue(f, raw, record);
        return Value::FromDateTime(CivilFromDays(days), static_cast<int32_t>(ms));
      }
      case 'O': {
        if (AllOf(raw, kBlankOrNul.substr(1))) return Value::Null();
        // Big-endian; positive numbers have the sign bit flipped, negative ones all bits.
        uint64_t bits = Be64(u);
        bits = (bits & 0x8000000000000000ull) ? bits ^ 0x8000000000000000ull : ~bits;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return Value::FromFloat(d);
      }
      case '@': {
        if (AllOf(raw, kBlankOrNul.substr(1))) return Value::Null();
        // Milliseconds since the day before 0001-01-01, a big-endian double.
        uint64_t bits = Be64(u);
        double msTotal;
        std::memcpy(&msTotal, &bits, sizeof msTotal);
        if (!std::isfinite(msTotal) || msTotal < kMsPerDay ||
            msTotal >= static_cast<double>(kLastDay + 1) * kMsPerDay) {
          BadValue(f, raw, record);
        }
        int64_t whole = static_cast<int64_t>(std::llround(msTotal));
        return Value::FromDateTime(CivilFromDays(whole / kMsPerDay), static_cast<int32_t>(whole % kMsPerDay));
      }
      default: return Value::FromBytes(std::string(raw));
    }
  }

  // A scan through the table keeps only a window of the file in memory: the
  // pages well behind the record read are given back.
  void FollowScan(uint64_t at) const {
    constexpr uint64_t kWindow = uint64_t{8} << 20;
    constexpr uint64_t kKeep = uint64_t{1} << 20;
    const uint64_t start = m_windowStart.load(std::memory_order_relaxed);
    if (at < start) {
      m_windowStart.store(at, std::memory_order_relaxed);
    } else if (at - start > kWindow) {
      m_bytes.Release(static_cast<size_t>(start), static_cast<size_t>(at - kKeep));
      m_windowStart.store(at - kKeep, std::memory_order_relaxed);
    }
  }

  std::string m_path;
  fs::path m_file;
  Header m_header;
  FileBytes m_bytes;
  mutable std::atomic<uint64_t> m_windowStart{0};
  int m_codePage;
  MemoFile m_memo;
  std::vector<size_t> m_visible;
  std::vector<FieldDef> m_fields;
  std::vector<uint32_t> m_live;  // physical numbers of live records, filled only when some are deleted
  bool m_anyDeleted = false;
};

// The memo file of a table, asked for only when the table has memo fields;
// an empty MemoFile when there is none.
using MemoSource = std::function<MemoFile(uint8_t tableVersion)>;

// Opens a table from the bytes of its .dbf file; file names the table in
// messages. The files beside it come from cpg and memo.
std::unique_ptr<TableSource> OpenTable(const fs::path& file, FileBytes bytes, const CpgSource& cpg,
                                       const MemoSource& memoSource, const OpenOptions& options) {
  Header header = ParseHeader(bytes.View(), bytes.size(), file);
  int codePage = ResolveCodePageWith(header, cpg, options);
  DecodeFieldNames(header, codePage);
  MemoFile memo;
  // A missing memo file leaves the other fields readable; reading a memo
  // value then fails with a message naming the table.
  if (header.HasMemoFields() && memoSource) memo = memoSource(header.version);
  return std::make_unique<DbaseTable>(file, std::move(header), std::move(bytes), codePage, std::move(memo));
}

}  // namespace
}  // namespace dbase

std::unique_ptr<TableSource> OpenDbaseTable(const std::filesystem::path& dbfFile, const OpenOptions& options) {
  FileBytes bytes = dbase::MapWholeFile(dbfFile, "tabeli");
  auto cpg = [&] { return dbase::ReadCpgFile(dbfFile); };
  auto memo = [&](uint8_t version) {
    std::filesystem::path memoPath = dbase::FindMemoFile(dbfFile, version);
    if (memoPath.empty()) return dbase::MemoFile();
    return dbase::MemoFile(memoPath, dbase::ReadWholeFile(memoPath, "pliku memo"), version);
  };
  return dbase::OpenTable(dbfFile, std::move(bytes), cpg, memo, options);
}

std::unique_ptr<TableSource> OpenDbaseBytes(const std::string& name, const DbaseBytes& files,
                                            const OpenOptions& options) {
  std::filesystem::path file(name);
  dbase::CpgSource cpg;
  if (files.cpg) cpg = [&] { return std::optional<std::string>(*files.cpg); };
  dbase::MemoSource memo;
  if (files.memo) {
    memo = [&](uint8_t version) {
      std::filesystem::path memoPath = file;
      memoPath.replace_extension(files.memoKind == DbaseMemoKind::Fpt ? ".fpt" : ".dbt");
      return dbase::MemoFile(memoPath, std::string(*files.memo), version);
    };
  }
  return dbase::OpenTable(file, FileBytes(std::string(files.dbf)), cpg, memo, options);
}

}  // namespace kx::tables
