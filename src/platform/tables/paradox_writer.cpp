#include "platform/tables/paradox_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <string_view>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "platform/error.h"
#include "platform/tables/codepage.h"
#include "platform/tables/paradox_format.h"

namespace kx::tables {
namespace {

namespace fs = std::filesystem;
using namespace paradox;

constexpr int64_t kMsPerDay = 86400000;
constexpr size_t kHeaderUnit = 2048;
constexpr size_t kMaxBlocks = 65535;
constexpr size_t kMaxNameLength = 25;
// Blobs up to this size share suballocated .mb blocks; longer ones get
// blocks of their own.
constexpr size_t kMaxSubBlob = 2048;
constexpr size_t kSubUnits = (kMbChunk - kMbSubDataAt) / 16;

std::string PathText(const fs::path& path) {
  auto u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

struct Column {
  uint8_t code = 0;
  size_t offset = 0;
  size_t size = 0;         // bytes in the record
  uint8_t headerSize = 0;  // the size byte of the header
  int decimals = 0;
};

bool ValidDate(const Date& d) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > kDays[d.month - 1]) return false;
  if (d.month == 2 && d.day == 29) {
    bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
    if (!leap) return false;
  }
  return d.year > -1000000 && d.year < 1000000;
}

// The suballocated .mb blocks and blocks of their own, built in memory.
class MbBuilder {
 public:
  MbBuilder() {
    // Header block as the format's own engine writes it.
    static const unsigned char kHead[] = {0x00, 0x01, 0x00, 0x01, 0x00, 0x82, 0x73, 0x02, 0x00, 0x29, 0x00,
                                          0x00, 0x10, 0x00, 0x10, 0x00, 0x10, 0x40, 0x00, 0x00, 0x08};
    m_data.assign(kMbChunk, '\0');
    std::memcpy(m_data.data(), kHead, sizeof kHead);
    m_data[0x29] = static_cast<char>(0xA1);
    m_data[0x2A] = 0x02;
  }

  // Stores a blob; returns the pointer word of the record.
  uint32_t Add(std::string_view blob) {
    if (blob.size() <= kMaxSubBlob) return AddShared(blob);
    size_t chunks = (kMbSingleHeader + blob.size() + kMbChunk - 1) / kMbChunk;
    size_t at = m_data.size();
    CheckRoom(at + chunks * kMbChunk);
    m_data.resize(at + chunks * kMbChunk, '\0');
    auto* p = reinterpret_cast<unsigned char*>(m_data.data() + at);
    p[0] = kMbSingleBlock;
    PutLe16(p + 1, static_cast<uint32_t>(chunks));
    PutLe32(p + 3, static_cast<uint32_t>(blob.size()));
    PutLe16(p + 7, 1);
    std::memcpy(p + kMbSingleHeader, blob.data(), blob.size());
    return static_cast<uint32_t>(at) | 0xFF;
  }

  bool Empty() const { return m_data.size() == kMbChunk; }
  const std::string& Data() const { return m_data; }

 private:
  uint32_t AddShared(std::string_view blob) {
    size_t units = (blob.size() + 15) / 16;
    if (m_sub == 0 || m_subEntries == kMbSubEntries || m_subUsed + units > kSubUnits) {
      m_sub = m_data.size();
      CheckRoom(m_sub + kMbChunk);
      m_data.resize(m_sub + kMbChunk, '\0');
      auto* p = reinterpret_cast<unsigned char*>(m_data.data() + m_sub);
      p[0] = kMbSubBlock;
      PutLe16(p + 1, 1);
      m_subEntries = 0;
      m_subUsed = 0;
    }
    auto* block = reinterpret_cast<unsigned char*>(m_data.data() + m_sub);
    size_t start = kMbSubDataAt / 16 + m_subUsed;
    unsigned char* entry = block + kMbSubEntryAt + m_subEntries * 5;
    entry[0] = static_cast<unsigned char>(start);
    entry[1] = static_cast<unsigned char>(units);
    PutLe16(entry + 2, 1);
    entry[4] = static_cast<unsigned char>(blob.size() - (units - 1) * 16);
    std::memcpy(block + start * 16, blob.data(), blob.size());
    m_subUsed += units;
    return static_cast<uint32_t>(m_sub) | static_cast<uint32_t>(m_subEntries++);
  }

  void CheckRoom(size_t size) const {
    if (size > 0xFFFFFF00u) throw Error("Dane pól notatek przekraczają największy rozmiar pliku .mb");
  }

  std::string m_data;
  size_t m_sub = 0;
  size_t m_subEntries = 0;
  size_t m_subUsed = 0;
};

class Writer {
 public:
  Writer(const fs::path& dbFile, const std::vector<FieldDef>& fields, const ParadoxWriteOptions& options)
      : m_dbFile(dbFile), m_path(PathText(dbFile)), m_fields(fields), m_options(options) {
    if (!IsKnownCodePage(options.codePage) || options.codePage <= 0 || options.codePage > 0xFFFF)
      Fail(Format("nieobsługiwana strona kodowa %d", options.codePage));
    DefineColumns();
  }

  void Write(const std::vector<std::vector<Value>>& rows) {
    std::string records(rows.size() * m_recordSize, '\0');
    for (size_t r = 0; r < rows.size(); ++r) {
      if (rows[r].size() != m_fields.size())
        Fail(Format("wiersz %zu ma %zu wartości, a tabela %zu pól", r + 1, rows[r].size(), m_fields.size()));
      auto* rec = reinterpret_cast<unsigned char*>(records.data() + r * m_recordSize);
      for (size_t k = 0; k < m_fields.size(); ++k) Encode(rows[r][k], k, r, rec + m_columns[k].offset);
    }
    std::vector<size_t> order(rows.size());
    std::iota(order.begin(), order.end(), size_t{0});
    SortByKey(records, order);

    size_t perBlock = 0;
    ChooseBlockSize(rows.size(), perBlock);
    std::string db = Header(rows.size(), perBlock);
    size_t blockCount = (rows.size() + perBlock - 1) / perBlock;
    db.reserve(db.size() + blockCount * m_blockSize);
    for (size_t b = 0; b < blockCount; ++b) {
      size_t first = b * perBlock;
      size_t count = std::min(perBlock, rows.size() - first);
      std::string block(m_blockSize, '\0');
      auto* p = reinterpret_cast<unsigned char*>(block.data());
      PutLe16(p, b + 1 < blockCount ? static_cast<uint32_t>(b + 2) : 0);
      PutLe16(p + 2, static_cast<uint32_t>(b));
      PutLe16(p + 4, static_cast<uint32_t>((count - 1) * m_recordSize));
      for (size_t k = 0; k < count; ++k)
        std::memcpy(p + kBlockHeaderSize + k * m_recordSize, records.data() + order[first + k] * m_recordSize,
                    m_recordSize);
      db += block;
    }

    fs::path mbFile = MbPath();
    if (m_hasBlobs) WriteAtomically(mbFile, m_mb.Data());
    WriteAtomically(m_dbFile, db);
    if (!m_hasBlobs) {
      std::error_code ec;
      fs::remove(mbFile, ec);  // left by an earlier table of this name
    }
  }

 private:
  [[noreturn]] void Fail(const std::string& reason) const {
    throw Error(Format("Nie można zapisać tabeli %s: %s", m_path.c_str(), reason.c_str()));
  }
  [[noreturn]] void FailValue(size_t row, size_t field, const std::string& reason) const {
    throw Error(Format("Nie można zapisać tabeli %s: wiersz %zu, pole %s: %s", m_path.c_str(), row + 1,
                       m_fields[field].name.c_str(), reason.c_str()));
  }

  fs::path MbPath() const {
    fs::path mb = m_dbFile;
    std::string ext = m_dbFile.extension().string();
    mb.replace_extension(ext.size() > 1 && ext[1] == 'D' ? ".MB" : ".mb");
    return mb;
  }

  void DefineColumns() {
    if (m_fields.empty()) Fail("tabela musi mieć co najmniej jedno pole");
    if (m_fields.size() > 255) Fail("tabela może mieć najwyżej 255 pól");
    if (m_options.keyFields > m_fields.size()) Fail("klucz ma więcej pól niż tabela");
    size_t offset = 0;
    for (size_t k = 0; k < m_fields.size(); ++k) {
      const FieldDef& f = m_fields[k];
      std::string name = FromUtf8(f.name, m_options.codePage);
      if (name.empty() || name.size() > kMaxNameLength || name.find('\0') != std::string::npos)
        Fail(Format("nazwa pola %zu (\"%s\") musi mieć od 1 do %zu znaków", k + 1, f.name.c_str(), kMaxNameLength));
      if (ToUtf8(name, m_options.codePage) != f.name)
        Fail(Format("nazwa pola %s ma znaki spoza strony kodowej %d", f.name.c_str(), m_options.codePage));
      for (size_t j = 0; j < k; ++j) {
        std::string a = m_fieldNames[j], b = name;
        auto upper = [](std::string& s) {
          for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        };
        upper(a);
        upper(b);
        if (a == b) Fail(Format("pole %s występuje dwa razy", f.name.c_str()));
      }
      m_fieldNames.push_back(name);

      Column c;
      int size = f.size;
      switch (f.kind) {
        case FieldKind::Text:
          if (size < 1 || size > 255) Fail(Format("pole %s typu A musi mieć od 1 do 255 znaków", f.name.c_str()));
          c = {kAlpha, 0, static_cast<size_t>(size), static_cast<uint8_t>(size), 0};
          break;
        case FieldKind::Bytes:
          if (size < 1 || size > 255) Fail(Format("pole %s typu Y musi mieć od 1 do 255 bajtów", f.name.c_str()));
          c = {kBytes, 0, static_cast<size_t>(size), static_cast<uint8_t>(size), 0};
          break;
        case FieldKind::Memo:
        case FieldKind::Blob: {
          if (size == 0) size = static_cast<int>(kBlobPointerSize);
          if (size < static_cast<int>(kBlobPointerSize) || size > 255)
            Fail(Format("pole %s musi mieć w rekordzie od 10 do 255 bajtów", f.name.c_str()));
          uint8_t code = f.kind == FieldKind::Memo ? (f.code == 'F' ? kFmtMemo : kMemo)
                                                   : (f.code == 'O'   ? kOle
                                                      : f.code == 'G' ? kGraphic
                                                                      : kBlob);
          c = {code, 0, static_cast<size_t>(size), static_cast<uint8_t>(size), 0};
          m_hasBlobs = true;
          if (k < m_options.keyFields) Fail(Format("pole %s nie może należeć do klucza", f.name.c_str()));
          break;
        }
        case FieldKind::Short: c = {kShort, 0, 2, 2, 0}; break;
        case FieldKind::Integer: c = {kLong, 0, 4, 4, 0}; break;
        case FieldKind::AutoInc: c = {kAutoInc, 0, 4, 4, 0}; break;
        case FieldKind::Number: c = {kNumber, 0, 8, 8, 0}; break;
        case FieldKind::Currency: c = {kCurrency, 0, 8, 8, 0}; break;
        case FieldKind::Logical: c = {kLogical, 0, 1, 1, 0}; break;
        case FieldKind::Date: c = {kDate, 0, 4, 4, 0}; break;
        case FieldKind::Time: c = {kTime, 0, 4, 4, 0}; break;
        case FieldKind::Timestamp: c = {kTimestamp, 0, 8, 8, 0}; break;
        case FieldKind::Bcd:
          if (f.decimals < 0 || f.decimals > 32)
            Fail(Format("pole %s typu # może mieć od 0 do 32 miejsc po przecinku", f.name.c_str()));
          c = {kBcd, 0, kBcdSize, static_cast<uint8_t>(f.decimals), f.decimals};
          break;
      }
      c.offset = offset;
      offset += c.size;
      m_columns.push_back(c);
    }
    m_recordSize = offset;
    if (m_recordSize + kBlockHeaderSize > 32 * 1024) Fail("rekord jest za długi");
  }

  void ChooseBlockSize(size_t rows, size_t& perBlock) {
    for (size_t kb : {2, 4, 8, 16, 32}) {
      size_t size = kb * 1024;
      if (m_recordSize + kBlockHeaderSize > size) continue;
      perBlock = (size - kBlockHeaderSize) / m_recordSize;
      if ((rows + perBlock - 1) / perBlock > kMaxBlocks) continue;
      m_blockSize = size;
      return;
    }
    Fail(Format("za dużo wierszy (%zu) na jedną tabelę", rows));
  }

  std::string Text(const Value& v, size_t row, size_t field) const {
    if (v.type == Value::Type::Bytes) return v.text;
    if (v.type != Value::Type::Text) FailValue(row, field, "oczekiwano tekstu");
    std::string bytes = FromUtf8(v.text, m_options.codePage);
    bool ascii = std::all_of(v.text.begin(), v.text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii && ToUtf8(bytes, m_options.codePage) != v.text)
      FailValue(row, field, Format("tekst ma znaki spoza strony kodowej %d", m_options.codePage));
    return bytes;
  }

  static bool Integral(const Value& v, int64_t low, int64_t high, int64_t& out) {
    if (v.type == Value::Type::Int)
      out = v.i;
    else if (v.type == Value::Type::Float && std::isfinite(v.f) && std::trunc(v.f) == v.f && std::fabs(v.f) < 9.2e18)
      out = static_cast<int64_t>(v.f);
    else if (v.type == Value::Type::Bool)
      out = v.i;
    else
      return false;
    return out >= low && out <= high;
  }

  void Encode(const Value& v, size_t field, size_t row, unsigned char* p) {
    if (v.IsNull()) return;  // zero bytes
    const Column& c = m_columns[field];
    switch (c.code) {
      case kAlpha: {
        std::string bytes = Text(v, row, field);
        if (bytes.find('\0') != std::string::npos) FailValue(row, field, "tekst zawiera znak NUL");
        if (bytes.size() > c.size)
          FailValue(row, field, Format("tekst ma %zu znaków, a pole mieści %zu", bytes.size(), c.size));
        std::memcpy(p, bytes.data(), bytes.size());
        return;
      }
      case kBytes:
        if (v.type != Value::Type::Bytes && v.type != Value::Type::Text) FailValue(row, field, "oczekiwano bajtów");
        if (v.text.size() > c.size)
          FailValue(row, field, Format("wartość ma %zu bajtów, a pole mieści %zu", v.text.size(), c.size));
        std::memcpy(p, v.text.data(), v.text.size());
        return;
      case kShort:
      case kLong:
      case kAutoInc: {
        int64_t n = 0;
        int64_t limit = c.code == kShort ? 32767 : 2147483647;
        // The lowest value of the type is stored as zero bytes, which is null.
        if (!Integral(v, -limit, limit, n))
          // clang-format off
          FailValue(row, field, Format("oczekiwano liczby całkowitej od %lld do %lld", static_cast<long long>(-limit),
                                       static_cast<long long>(limit)));
        if (c.code == kShort) EncodeShort(p, static_cast<int16_t>(n));
        else EncodeLong(p, static_cast<int32_t>(n));
        // clang-format on
        if (c.code == kAutoInc) m_autoInc = std::max(m_autoInc, n);
        return;
      }
      case kNumber:
      case kCurrency:
      case kBcd: {
        double d = 0;
        // clang-format off
        if (v.type == Value::Type::Float) d = v.f;
        else if (v.type == Value::Type::Int) d = static_cast<double>(v.i);
        else FailValue(row, field, "oczekiwano liczby");
        // clang-format on
        if (!std::isfinite(d)) FailValue(row, field, "liczba nie jest skończona");
        if (c.code == kBcd)
          EncodeBcd(p, d, c.decimals, row, field);
        else
          EncodeDouble(p, d);
        return;
      }
      case kLogical:
        if (v.type != Value::Type::Bool && v.type != Value::Type::Int)
          FailValue(row, field, "oczekiwano wartości logicznej");
        p[0] = v.i ? 0x81 : 0x80;
        return;
      case kDate:
        if (v.type != Value::Type::Date && !(v.type == Value::Type::DateTime && v.msec == 0))
          FailValue(row, field, "oczekiwano daty");
        EncodeLong(p, static_cast<int32_t>(Days(v.date, row, field)));
        return;
      case kTime:
        if (v.type != Value::Type::Time) FailValue(row, field, "oczekiwano godziny");
        if (v.msec < 0 || v.msec >= kMsPerDay) FailValue(row, field, "godzina poza dobą");
        EncodeLong(p, v.msec);
        return;
      case kTimestamp: {
        if (v.type != Value::Type::DateTime && v.type != Value::Type::Date)
          FailValue(row, field, "oczekiwano daty i godziny");
        int32_t ms = v.type == Value::Type::DateTime ? v.msec : 0;
        if (ms < 0 || ms >= kMsPerDay) FailValue(row, field, "godzina poza dobą");
        EncodeDouble(p, static_cast<double>(Days(v.date, row, field) * kMsPerDay + ms));
        return;
      }
      default: EncodeBlob(v, field, row, p);
    }
  }

  int64_t Days(const Date& d, size_t row, size_t field) const {
    if (!ValidDate(d)) FailValue(row, field, "niepoprawna data");
    int64_t days = DaysFromCivil(d);
    if (days == std::numeric_limits<int32_t>::min() || days < -2147483647 || days > 2147483647)
      FailValue(row, field, "data poza zakresem");
    return days;
  }

  void EncodeBcd(unsigned char* p, double d, int decimals, size_t row, size_t field) const {
    char digits[400];
    std::snprintf(digits, sizeof digits, "%.*f", decimals, std::fabs(d));
    std::string all;
    for (const char* s = digits; *s; ++s)
      if (*s != '.') all += *s;
    size_t first = all.find_first_not_of('0');
    bool zero = first == std::string::npos;
    if (all.size() > 32 && !zero && all.size() - first > 32) FailValue(row, field, "liczba ma więcej niż 32 cyfry");
    bool negative = d < 0 && !zero;
    p[0] = static_cast<unsigned char>((negative ? 0 : kBcdPositive) | kBcdPresent | decimals);
    std::string padded =
        std::string(32 - std::min<size_t>(all.size(), 32), '0') + all.substr(all.size() > 32 ? all.size() - 32 : 0);
    for (int k = 0; k < 32; ++k) {
      unsigned nibble = static_cast<unsigned>(padded[k] - '0');
      if (negative) nibble ^= 0x0F;
      if (k % 2 == 0)
        p[1 + k / 2] = static_cast<unsigned char>(nibble << 4);
      else
        p[1 + k / 2] |= static_cast<unsigned char>(nibble);
    }
  }

  void EncodeBlob(const Value& v, size_t field, size_t row, unsigned char* p) {
    const Column& c = m_columns[field];
    std::string data;
    if (c.code == kMemo || c.code == kFmtMemo) {
      data = Text(v, row, field);
    } else {
      if (v.type != Value::Type::Bytes && v.type != Value::Type::Text) FailValue(row, field, "oczekiwano bajtów");
      data = v.text;
      if (c.code == kGraphic) {
        // Graphic data carries 8 bytes of its own ahead of the picture.
        unsigned char prefix[kGraphicPrefix] = {1, 0, 0, 1};
        PutLe32(prefix + 4, static_cast<uint32_t>(data.size()));
        data.insert(0, reinterpret_cast<const char*>(prefix), kGraphicPrefix);
      }
    }
    if (data.empty()) return;
    if (data.size() > 0x7FFFFFFF) FailValue(row, field, "wartość jest za duża");
    size_t lead = c.size - kBlobPointerSize;
    unsigned char* pointer = p + lead;
    std::memcpy(p, data.data(), std::min(lead, data.size()));
    PutLe32(pointer + 4, static_cast<uint32_t>(data.size()));
    if (data.size() <= lead) return;  // whole in the record
    try {
      PutLe32(pointer, m_mb.Add(data));
    } catch (const Error& e) {
      FailValue(row, field, e.what());
    }
    PutLe16(pointer + 8, 1);
  }

  void SortByKey(const std::string& records, std::vector<size_t>& order) const {
    size_t keys = m_options.keyFields;
    if (keys == 0) return;
    size_t keyBytes = m_columns[keys - 1].offset + m_columns[keys - 1].size;
    const char* d = records.data();
    auto cmp = [&](size_t a, size_t b) { return std::memcmp(d + a * m_recordSize, d + b * m_recordSize, keyBytes); };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return cmp(a, b) < 0; });
    for (size_t k = 1; k < order.size(); ++k)
      if (cmp(order[k - 1], order[k]) == 0)
        Fail(Format("wiersze %zu i %zu mają ten sam klucz", order[k - 1] + 1, order[k] + 1));
  }

  std::string Header(size_t rows, size_t perBlock) const {
    size_t fields = m_fields.size();
    std::string tableName = FromUtf8(PathText(m_dbFile.filename()), m_options.codePage).substr(0, kTableNameSizeV7 - 1);
    static const char kSortOrderName[] = "ascii";
    size_t namesAt = kFieldInfoV4 + 2 * fields + 4 + 4 * fields + kTableNameSizeV7;
    size_t end = namesAt;
    for (auto& n : m_fieldNames) end += n.size() + 1;
    end += 2 * fields + sizeof kSortOrderName;
    size_t headerSize = (end + kHeaderUnit - 1) / kHeaderUnit * kHeaderUnit;
    if (headerSize > 0xF800) Fail("nagłówek tabeli jest za długi");

    std::string header(headerSize, '\0');
    auto* h = reinterpret_cast<unsigned char*>(header.data());
    size_t blocks = (rows + perBlock - 1) / perBlock;
    PutLe16(h + kRecordSizeAt, static_cast<uint32_t>(m_recordSize));
    PutLe16(h + kHeaderSizeAt, static_cast<uint32_t>(headerSize));
    h[kFileTypeAt] = static_cast<unsigned char>(m_options.keyFields > 0 ? kFileTypeKeyed : kFileTypeNonKeyed);
    h[kBlockSizeAt] = static_cast<unsigned char>(m_blockSize / 1024);
    PutLe32(h + kRecordCountAt, static_cast<uint32_t>(rows));
    PutLe16(h + kUsedBlocksAt, static_cast<uint32_t>(blocks));
    PutLe16(h + kFileBlocksAt, static_cast<uint32_t>(blocks));
    PutLe16(h + kFirstBlockAt, blocks ? 1 : 0);
    PutLe16(h + kLastBlockAt, static_cast<uint32_t>(blocks));
    PutLe16(h + kFieldCountAt, static_cast<uint32_t>(fields));
    PutLe16(h + kKeyFieldCountAt, static_cast<uint32_t>(m_options.keyFields));
    PutLe32(h + kEncryption1At, kNoEncryption1);
    h[kSortOrderAt] = 0;                               // "ascii"
    h[kVersionAt] = 12;                                // Paradox 7
    PutLe16(h + 0x3A, static_cast<uint32_t>(blocks));  // blocks in the file, again
    h[0x3E] = 0x1F;
    h[0x3F] = 0x0F;
    PutLe32(h + kAutoIncAt, static_cast<uint32_t>(m_autoInc));
    PutLe16(h + 0x51, static_cast<uint32_t>(end));
    h[0x56] = 0x20;
    PutLe16(h + 0x58, 0x010C);
    PutLe16(h + 0x5A, 0x010C);
    PutLe16(h + 0x64, static_cast<uint32_t>(fields + 1));
    PutLe16(h + kCodePageAt, static_cast<uint32_t>(m_options.codePage));
    h[0x6C] = 1;
    h[0x6D] = 1;

    size_t at = kFieldInfoV4;
    for (const Column& c : m_columns) {
      h[at++] = c.code;
      h[at++] = c.headerSize;
    }
    at += 4 + 4 * fields;  // pointers the engine keeps in memory
    std::memcpy(h + at, tableName.data(), tableName.size());
    at += kTableNameSizeV7;
    for (auto& n : m_fieldNames) {
      std::memcpy(h + at, n.data(), n.size());
      at += n.size() + 1;
    }
    for (size_t k = 0; k < fields; ++k, at += 2) PutLe16(h + at, static_cast<uint32_t>(k + 1));
    std::memcpy(h + at, kSortOrderName, sizeof kSortOrderName);
    return header;
  }

  void WriteAtomically(const fs::path& target, const std::string& bytes) const {
    fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::mt19937_64 random(std::random_device{}());
    fs::path temp;
    std::FILE* out = nullptr;
    for (int attempt = 0; attempt < 100 && !out; ++attempt) {
      temp = folder / (target.filename().string() + ".tmp" + std::to_string(random() % 1000000000));
      std::error_code ec;
      if (fs::exists(temp, ec)) continue;
#if defined(_WIN32)
      out = _wfopen(temp.c_str(), L"wbx");
#else
      out = std::fopen(temp.c_str(), "wbx");
#endif
    }
    if (!out) throw Error(Format("Nie można utworzyć pliku w folderze %s", PathText(folder).c_str()));
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && std::fflush(out) == 0;
#if defined(_WIN32)
    ok = ok && _commit(_fileno(out)) == 0;
#else
    ok = ok && fsync(fileno(out)) == 0;
#endif
    ok = std::fclose(out) == 0 && ok;
    std::error_code ec;
    if (ok) fs::rename(temp, target, ec);
    if (!ok || ec) {
      std::error_code ignored;
      fs::remove(temp, ignored);
      throw Error(Format("Nie można zapisać pliku %s", PathText(target).c_str()));
    }
  }

  fs::path m_dbFile;
  std::string m_path;
  const std::vector<FieldDef>& m_fields;
  ParadoxWriteOptions m_options;
  std::vector<std::string> m_fieldNames;  // in the code page
  std::vector<Column> m_columns;
  size_t m_recordSize = 0;
  size_t m_blockSize = 0;
  bool m_hasBlobs = false;
  int64_t m_autoInc = 0;
  MbBuilder m_mb;
};

}  // namespace

void WriteParadoxTable(const std::filesystem::path& dbFile, const std::vector<FieldDef>& fields,
                       const std::vector<std::vector<Value>>& rows, const ParadoxWriteOptions& options) {
  Writer writer(dbFile, fields, options);
  writer.Write(rows);
}

}  // namespace kx::tables
