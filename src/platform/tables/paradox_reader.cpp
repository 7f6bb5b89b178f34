#include "platform/tables/paradox_reader.h"

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <numeric>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/file_bytes.h"
#include "platform/tables/codepage.h"
#include "platform/tables/paradox_format.h"

namespace kx::tables {
namespace {

namespace fs = std::filesystem;
using namespace paradox;

constexpr int64_t kMsPerDay = 86400000;

std::string PathText(const fs::path& path) {
  auto u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

[[noreturn]] void Damaged(const std::string& file, const std::string& reason) {
  throw Error(Format("Plik %s nie jest poprawną tabelą Paradox: %s", file.c_str(), reason.c_str()));
}

[[noreturn]] void DamagedMb(const std::string& file, const std::string& reason) {
  throw Error(Format("Plik %s nie jest poprawnym plikiem notatek tabeli Paradox: %s", file.c_str(), reason.c_str()));
}

// Maps a whole file; false when there is no such file.
bool ReadWholeFile(const fs::path& path, FileBytes& out) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  const uintmax_t size = fs::file_size(path, ec);
  if (!ec && size > std::numeric_limits<uint32_t>::max())
    throw Error(Format("Plik %s jest za duży na tabelę Paradox", PathText(path).c_str()));
  if (int error = out.Map(path)) {
    throw Error(Format("Nie można otworzyć pliku %s: %s", PathText(path).c_str(), SystemErrorText(error).c_str()));
  }
  if (out.size() > std::numeric_limits<uint32_t>::max())
    throw Error(Format("Plik %s jest za duży na tabelę Paradox", PathText(path).c_str()));
  return true;
}

int VersionOf(int versionId) {
  if (versionId == 3) return 30;
  if (versionId == 4) return 35;
  if (versionId >= 5 && versionId <= 9) return 40;
  if (versionId == 10 || versionId == 11) return 50;
  if (versionId == 12) return 70;
  return 0;
}

struct TypeInfo {
  FieldKind kind;
  char letter;
  int fixedSize;  // 0: size from the header
};

bool TypeOf(uint8_t code, TypeInfo& info) {
  switch (code) {
    case kAlpha: info = {FieldKind::Text, 'A', 0}; return true;
    case kDate: info = {FieldKind::Date, 'D', 4}; return true;
    case kShort: info = {FieldKind::Short, 'S', 2}; return true;
    case kLong: info = {FieldKind::Integer, 'I', 4}; return true;
    case kCurrency: info = {FieldKind::Currency, '$', 8}; return true;
    case kNumber: info = {FieldKind::Number, 'N', 8}; return true;
    case kLogical: info = {FieldKind::Logical, 'L', 1}; return true;
    case kMemo: info = {FieldKind::Memo, 'M', 0}; return true;
    case kBlob: info = {FieldKind::Blob, 'B', 0}; return true;
    case kFmtMemo: info = {FieldKind::Memo, 'F', 0}; return true;
    case kOle: info = {FieldKind::Blob, 'O', 0}; return true;
    case kGraphic: info = {FieldKind::Blob, 'G', 0}; return true;
    case kTime: info = {FieldKind::Time, 'T', 4}; return true;
    case kTimestamp: info = {FieldKind::Timestamp, '@', 8}; return true;
    case kAutoInc: info = {FieldKind::AutoInc, '+', 4}; return true;
    case kBcd: info = {FieldKind::Bcd, '#', static_cast<int>(kBcdSize)}; return true;
    case kBytes: info = {FieldKind::Bytes, 'Y', 0}; return true;
    default: return false;
  }
}

bool IsBlobType(uint8_t code) {
  return code == kMemo || code == kBlob || code == kFmtMemo || code == kOle || code == kGraphic;
}

// BCD: a byte with the sign (bit 7 set when positive), a value-present flag
// (bit 6; without it the value is null) and the number of decimals in its
// low 6 bits, then 32 digits as nibbles; a negative number has its digit
// nibbles inverted. Digits after a nibble above 9 are dropped:
// some writers fill the places beyond a double's precision with such nibbles.
double DecodeBcd(const unsigned char* p, int headerDecimals) {
  bool positive = (p[0] & kBcdPositive) != 0;
  int decimals = p[0] & 0x3F;
  if (decimals > 32) decimals = std::clamp(headerDecimals, 0, 32);
  unsigned flip = positive ? 0 : 0x0F;
  char text[40];
  size_t len = 0;
  text[len++] = positive ? '+' : '-';
  bool started = false;
  for (int k = 0; k < 32; ++k) {
    unsigned nibble = ((k % 2 == 0) ? (p[1 + k / 2] >> 4) : (p[1 + k / 2] & 0x0F)) ^ flip;
    if (nibble > 9) break;
    if (k == 32 - decimals) {
      if (!started) text[len++] = '0';
      text[len++] = '.';
      started = true;
    }
    if (!started && nibble == 0) continue;
    started = true;
    text[len++] = static_cast<char>('0' + nibble);
  }
  if (len == 1) text[len++] = '0';
  text[len] = 0;
  return std::strtod(text, nullptr);
}

// The .mb file beside a .db file: same name, extension in the letter case of
// the table's.
fs::path MbPathOf(const fs::path& dbPath) {
  fs::path mb = dbPath;
  std::string ext = dbPath.extension().string();
  bool upper = ext.size() > 1 && ext[1] == 'D';
  mb.replace_extension(upper ? ".MB" : ".mb");
  return mb;
}

// Gives the bytes of the .mb file and the name it goes by; false when the
// table has none. Called once, at the first value kept there.
using MbLoader = std::function<bool(FileBytes& bytes, fs::path& found)>;

struct FieldLayout {
  uint8_t code = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
};

class ParadoxFile final : public ParadoxTable {
 public:
  // The name stands for the .db file in messages; the .mb file is named after it.
  ParadoxFile(const fs::path& dbPath, FileBytes data, MbLoader loadMb, const OpenOptions& options)
      : m_dbPath(dbPath), m_path(PathText(dbPath)), m_data(std::move(data)), m_loadMb(std::move(loadMb)) {
    // Records are kept as 32-bit offsets.
    if (m_data.size() > std::numeric_limits<uint32_t>::max())
      throw Error(Format("Plik %s jest za duży na tabelę Paradox", m_path.c_str()));
    ParseHeader(options);
    ReadChain();
    OrderByKey();
    // Reading the chain touched every block: given back until read again.
    m_data.Release(0, m_data.size());
  }

  const std::string& FilePath() const override { return m_path; }
  const std::vector<FieldDef>& Fields() const override { return m_fields; }
  size_t RecordCount() const override { return m_records.size(); }
  std::vector<std::string> PrimaryKey() const override {
    std::vector<std::string> names;
    if (m_info.fileType != kFileTypeKeyed) return names;
    for (int k = 0; k < m_info.keyFieldCount; ++k) names.push_back(m_fields[k].name);
    return names;
  }
  const ParadoxHeaderInfo& Header() const override { return m_info; }
  size_t ChainPosition(size_t record) const override {
    CheckIndex(record, 0);
    return m_chainPos.empty() ? record : m_chainPos[record];
  }

  Value Get(size_t record, size_t field) const override {
    CheckIndex(record, field);
    const FieldLayout& f = m_layout[field];
    FollowScan(m_records[record]);
    const unsigned char* p = Bytes() + m_records[record] + f.offset;
    switch (f.code) {
      case kAlpha: {
        const void* nul = std::memchr(p, 0, f.size);
        size_t len = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - p) : f.size;
        if (len == 0) return Value::Null();
        return Value::FromText(ToUtf8(std::string_view(reinterpret_cast<const char*>(p), len), m_info.textCodePage));
      }
      case kShort:
        if (AllZero(p, 2)) return Value::Null();
        return Value::FromInt(DecodeShort(p));
      case kLong:
      case kAutoInc:
        if (AllZero(p, 4)) return Value::Null();
        return Value::FromInt(DecodeLong(p));
      case kNumber:
      case kCurrency:
        if (AllZero(p, 8)) return Value::Null();
        return Value::FromFloat(DecodeDouble(p));
      case kBcd:
        if ((p[0] & kBcdPresent) == 0) return Value::Null();
        return Value::FromFloat(DecodeBcd(p, m_fields[field].decimals));
      case kLogical:
        if (p[0] == 0) return Value::Null();
        return Value::FromBool((p[0] & 0x7F) != 0);
      case kDate:
        if (AllZero(p, 4)) return Value::Null();
        return Value::FromDate(CivilFromDays(DecodeLong(p)));
      case kTime:
        if (AllZero(p, 4)) return Value::Null();
        return Value::FromTime(DecodeLong(p));
      case kTimestamp: {
        if (AllZero(p, 8)) return Value::Null();
        double ms = DecodeDouble(p);
        // Beyond ±10^8 years the value is not a timestamp any more.
        if (!std::isfinite(ms) || std::fabs(ms) > 3.2e18) return Value::Null();
        auto total = static_cast<int64_t>(std::llround(ms));
        int64_t days = total / kMsPerDay;
        int64_t rest = total % kMsPerDay;
        if (rest < 0) {
          rest += kMsPerDay;
          --days;
        }
        return Value::FromDateTime(CivilFromDays(days), static_cast<int32_t>(rest));
      }
      case kBytes:
        if (AllZero(p, f.size)) return Value::Null();
        return Value::FromBytes(std::string(reinterpret_cast<const char*>(p), f.size));
      default: {
        std::string_view blob;
        if (!BlobData(p, f, blob)) return Value::Null();
        if (f.code == kMemo || f.code == kFmtMemo) return Value::FromText(ToUtf8(blob, m_info.textCodePage));
        return Value::FromBytes(std::string(blob));
      }
    }
  }

  std::string RawBytes(size_t record, size_t field) const override {
    CheckIndex(record, field);
    const FieldLayout& f = m_layout[field];
    const unsigned char* p = Bytes() + m_records[record] + f.offset;
    if (IsBlobType(f.code)) {
      std::string_view blob;
      if (!BlobData(p, f, blob)) return {};
      return std::string(blob);
    }
    size_t len = f.size;
    if (f.code == kAlpha) {
      const void* nul = std::memchr(p, 0, f.size);
      if (nul) len = static_cast<size_t>(static_cast<const unsigned char*>(nul) - p);
    } else if (f.code == kLogical ? p[0] == 0 : f.code == kBcd ? (p[0] & kBcdPresent) == 0 : AllZero(p, f.size)) {
      len = 0;
    }
    return std::string(reinterpret_cast<const char*>(p), len);
  }

 private:
  const unsigned char* Bytes() const { return reinterpret_cast<const unsigned char*>(m_data.data()); }

  // A scan through the table keeps only a window of the file in memory: the
  // pages well behind the record read are given back (read again from the
  // file if a record there is read later).
  void FollowScan(size_t at) const {
    constexpr size_t kWindow = size_t{8} << 20;
    constexpr size_t kKeep = size_t{1} << 20;
    const size_t start = m_windowStart.load(std::memory_order_relaxed);
    if (at < start) {
      m_windowStart.store(at, std::memory_order_relaxed);
    } else if (at - start > kWindow) {
      m_data.Release(start, at - kKeep);
      m_windowStart.store(at - kKeep, std::memory_order_relaxed);
    }
  }

  void CheckIndex(size_t record, size_t field) const {
    if (record >= m_records.size() || field >= m_fields.size())
      throw Error(Format("Odwołanie do rekordu %zu, pola %zu poza tabelą %s", record, field, m_path.c_str()));
  }

  void ParseHeader(const OpenOptions& options) {
    const unsigned char* d = Bytes();
    size_t fileSize = m_data.size();
    if (fileSize < kFieldInfoV3) Damaged(m_path, "plik jest krótszy niż nagłówek");
    m_info.recordSize = Le16(d + kRecordSizeAt);
    m_info.headerSize = Le16(d + kHeaderSizeAt);
    m_info.fileType = d[kFileTypeAt];
    m_info.blockSize = d[kBlockSizeAt] * 1024;
    m_info.sortOrder = d[kSortOrderAt];
    m_info.nextAutoInc = Le32(d + kAutoIncAt);
    int versionId = d[kVersionAt];
    m_info.version = VersionOf(versionId);

    if (m_info.fileType == 1) Damaged(m_path, "to plik indeksu głównego, a nie tabela");
    if (m_info.fileType != kFileTypeKeyed && m_info.fileType != kFileTypeNonKeyed)
      Damaged(m_path, Format("nieznany rodzaj pliku (%d)", m_info.fileType));
    if (m_info.version == 0) Damaged(m_path, Format("nieznana wersja formatu (%d)", versionId));
    if (m_info.blockSize == 0 || m_info.blockSize > 32 * 1024)
      Damaged(m_path, Format("niedozwolony rozmiar bloku (%d KB)", d[kBlockSizeAt]));
    if (m_info.recordSize == 0 || m_info.recordSize + kBlockHeaderSize > static_cast<size_t>(m_info.blockSize))
      Damaged(m_path, Format("niedozwolona długość rekordu (%d)", m_info.recordSize));
    size_t headerSize = m_info.headerSize;
    if (headerSize > fileSize) Damaged(m_path, "nagłówek jest dłuższy niż plik");

    size_t infoAt = m_info.version >= 40 ? kFieldInfoV4 : kFieldInfoV3;
    if (headerSize < infoAt) Damaged(m_path, "za krótki nagłówek");
    if (m_info.version >= 40) {
      m_info.encryption = Le32(d + kEncryption2At);
      m_info.codePage = Le16(d + kCodePageAt);
    } else {
      m_info.encryption = Le32(d + kEncryption1At);
    }

    size_t fieldCount = Le16(d + kFieldCountAt);
    m_info.keyFieldCount = Le16(d + kKeyFieldCountAt);
    if (fieldCount == 0) Damaged(m_path, "tabela nie ma pól");
    if (static_cast<size_t>(m_info.keyFieldCount) > fieldCount)
      Damaged(m_path, "klucz główny ma więcej pól niż tabela");

    // Field types and sizes, the table name pointer, the field name
    // pointers, the table name, then the field names.
    size_t namesAt =
        infoAt + 2 * fieldCount + 4 + 4 * fieldCount + (m_info.version >= 70 ? kTableNameSizeV7 : kTableNameSize);
    if (namesAt > headerSize) Damaged(m_path, "lista pól wykracza poza nagłówek");

    int codePage = options.forceCodePage;
    if (codePage == 0) codePage = m_info.codePage != 0 ? m_info.codePage : options.defaultCodePage;
    if (!IsKnownCodePage(codePage))
      throw Error(Format("Tabela %s ma nieobsługiwaną stronę kodową %d", m_path.c_str(), codePage));
    m_info.textCodePage = codePage;

    m_fields.resize(fieldCount);
    m_layout.resize(fieldCount);
    size_t offset = 0;
    size_t nameAt = namesAt;
    for (size_t k = 0; k < fieldCount; ++k) {
      uint8_t code = d[infoAt + 2 * k];
      uint8_t size = d[infoAt + 2 * k + 1];
      TypeInfo type{};
      if (!TypeOf(code, type)) Damaged(m_path, Format("pole %zu ma nieznany typ (%d)", k + 1, code));
      FieldDef& def = m_fields[k];
      def.kind = type.kind;
      def.code = type.letter;
      uint32_t stored = size;
      if (code == kBcd) {
        if (size > 32) Damaged(m_path, Format("pole %zu typu BCD ma %d miejsc po przecinku", k + 1, size));
        def.decimals = size;
        stored = kBcdSize;
      } else if (type.fixedSize != 0 && size != type.fixedSize) {
        Damaged(m_path, Format("pole %zu typu %c ma długość %d", k + 1, type.letter, size));
      } else if (IsBlobType(code) && size < kBlobPointerSize) {
        Damaged(m_path, Format("pole %zu typu %c ma długość %d", k + 1, type.letter, size));
      } else if (size == 0) {
        Damaged(m_path, Format("pole %zu ma długość 0", k + 1));
      }
      def.size = static_cast<int>(stored);
      m_layout[k] = {code, static_cast<uint32_t>(offset), stored};
      offset += stored;

      const void* end = std::memchr(d + nameAt, 0, headerSize - nameAt);
      if (!end) Damaged(m_path, "nazwy pól wykraczają poza nagłówek");
      size_t nameLen = static_cast<size_t>(static_cast<const unsigned char*>(end) - (d + nameAt));
      def.name = ToUtf8(std::string_view(m_data.data() + nameAt, nameLen), codePage);
      nameAt += nameLen + 1;
    }
    if (offset != static_cast<size_t>(m_info.recordSize))
      Damaged(m_path,
              Format("długość rekordu (%d) nie zgadza się z sumą długości pól (%zu)", m_info.recordSize, offset));

    if (m_info.encryption != 0)
      throw Error(Format("Tabela %s jest chroniona hasłem; odczyt tabel chronionych hasłem nie jest obsługiwany",
                         m_path.c_str()));
  }

  void ReadChain() {
    const unsigned char* d = Bytes();
    size_t fileSize = m_data.size();
    size_t headerSize = m_info.headerSize;
    size_t blockSize = m_info.blockSize;
    size_t recordSize = m_info.recordSize;
    uint32_t declared = Le32(d + kRecordCountAt);
    // The last block may be cut short after its last record.
    size_t blockCount = (fileSize - headerSize + blockSize - 1) / blockSize;
    std::vector<bool> seen(blockCount + 1, false);
    m_records.reserve(std::min<size_t>(declared, (fileSize - headerSize) / recordSize));

    size_t block = Le16(d + kFirstBlockAt);
    while (block != 0) {
      if (block > blockCount) Damaged(m_path, Format("blok danych %zu leży poza plikiem", block));
      if (seen[block]) Damaged(m_path, "łańcuch bloków danych jest zapętlony");
      seen[block] = true;
      size_t at = headerSize + (block - 1) * blockSize;
      if (at + kBlockHeaderSize > fileSize) Damaged(m_path, Format("blok danych %zu jest ucięty", block));
      FollowScan(at);
      size_t next = Le16(d + at);
      auto lastOffset = static_cast<int16_t>(Le16(d + at + 4));
      if (lastOffset >= 0) {
        if (static_cast<size_t>(lastOffset) % recordSize != 0)
          Damaged(m_path, Format("blok danych %zu ma niewłaściwą długość danych", block));
        size_t count = static_cast<size_t>(lastOffset) / recordSize + 1;
        size_t end = kBlockHeaderSize + count * recordSize;
        if (end > blockSize) Damaged(m_path, Format("blok danych %zu ma więcej rekordów, niż mieści", block));
        if (at + end > fileSize) Damaged(m_path, Format("blok danych %zu jest ucięty", block));
        if (m_records.size() + count > declared)
          Damaged(m_path, Format("bloki danych mają więcej rekordów, niż podaje nagłówek (%u)", declared));
        for (size_t r = 0; r < count; ++r)
          m_records.push_back(static_cast<uint32_t>(at + kBlockHeaderSize + r * recordSize));
      }
      block = next;
    }
    if (m_records.size() != declared)
      Damaged(m_path, Format("nagłówek podaje %u rekordów, a bloki danych zawierają %zu", declared, m_records.size()));
  }

  // Key fields are the leading fields of the record, and their stored bytes
  // compare as their values do, so key order is the order of the record
  // prefix. Tables kept by their own engine are already in order along the
  // chain; others get sorted once here.
  void OrderByKey() {
    if (m_info.fileType != kFileTypeKeyed || m_info.keyFieldCount == 0 || m_records.size() < 2) return;
    const FieldLayout& last = m_layout[m_info.keyFieldCount - 1];
    size_t keyBytes = last.offset + last.size;
    const unsigned char* d = Bytes();
    auto less = [&](uint32_t a, uint32_t b) { return std::memcmp(d + a, d + b, keyBytes) < 0; };
    bool sorted = true;
    for (size_t k = 1; k < m_records.size() && sorted; ++k) {
      FollowScan(m_records[k]);
      sorted = !less(m_records[k], m_records[k - 1]);
    }
    if (sorted) return;
    std::vector<uint32_t> order(m_records.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return less(m_records[a], m_records[b]); });
    std::vector<uint32_t> records(m_records.size());
    for (size_t k = 0; k < order.size(); ++k) records[k] = m_records[order[k]];
    m_records.swap(records);
    m_chainPos.swap(order);
  }

  fs::path MbPath() const { return MbPathOf(m_dbPath); }

  // The .mb file, loaded at its first use; nullptr when there is none.
  const FileBytes* MbFile() const {
    std::lock_guard lock(m_mbMutex);
    if (!m_mbLoaded) {
      m_mbPresent = m_loadMb && m_loadMb(m_mb, m_mbFound);
      m_mbLoaded = true;
    }
    return m_mbPresent ? &m_mb : nullptr;
  }

  // The bytes of a memo or blob value; false for null. The leading part in
  // the record holds the whole value when it is short enough.
  bool BlobData(const unsigned char* p, const FieldLayout& f, std::string_view& out) const {
    const unsigned char* pointer = p + f.size - kBlobPointerSize;
    uint32_t where = Le32(pointer);
    uint32_t length = Le32(pointer + 4);
    if (length == 0) return false;
    size_t lead = f.size - kBlobPointerSize;
    if (length <= lead) {
      out = std::string_view(reinterpret_cast<const char*>(p), length);
    } else {
      const FileBytes* mb = MbFile();
      if (!mb) throw Error(Format("Brak pliku %s z notatkami tabeli %s", PathText(MbPath()).c_str(), m_path.c_str()));
      std::string mbName = PathText(m_mbFound);
      const auto* m = reinterpret_cast<const unsigned char*>(mb->data());
      size_t mbSize = mb->size();
      size_t index = where & 0xFF;
      size_t blockAt = where & 0xFFFFFF00u;
      if (blockAt == 0 || blockAt + kMbSingleHeader > mbSize)
        DamagedMb(mbName, Format("odwołanie do bloku pod adresem %zu poza plikiem", blockAt));
      size_t chunks = Le16(m + blockAt + 1);
      size_t blockEnd = std::min(mbSize, blockAt + chunks * kMbChunk);
      size_t start = 0;
      if (index == 0xFF) {
        if (m[blockAt] != kMbSingleBlock)
          DamagedMb(mbName, Format("blok pod adresem %zu nie jest blokiem danych", blockAt));
        if (Le32(m + blockAt + 3) != length)
          DamagedMb(mbName, Format("długość danych w bloku pod adresem %zu nie zgadza się z tabelą", blockAt));
        start = blockAt + kMbSingleHeader;
      } else {
        if (m[blockAt] != kMbSubBlock || index >= kMbSubEntries || blockAt + kMbSubDataAt > mbSize)
          DamagedMb(mbName, Format("blok pod adresem %zu nie jest blokiem danych", blockAt));
        const unsigned char* entry = m + blockAt + kMbSubEntryAt + index * 5;
        size_t units = entry[1];
        if (entry[0] == 0 || units == 0 || (units - 1) * 16 + entry[4] != length)
          DamagedMb(mbName, Format("wpis %zu bloku pod adresem %zu nie zgadza się z tabelą", index, blockAt));
        start = blockAt + static_cast<size_t>(entry[0]) * 16;
      }
      if (start + length > blockEnd)
        DamagedMb(mbName, Format("dane w bloku pod adresem %zu wykraczają poza blok lub plik", blockAt));
      out = std::string_view(mb->data() + start, length);
    }
    if (f.code == kGraphic) {
      if (out.size() < kGraphicPrefix) return false;
      out.remove_prefix(kGraphicPrefix);
    }
    return true;
  }

  fs::path m_dbPath;
  std::string m_path;
  FileBytes m_data;
  mutable std::atomic<size_t> m_windowStart{0};
  ParadoxHeaderInfo m_info;
  std::vector<FieldDef> m_fields;
  std::vector<FieldLayout> m_layout;
  std::vector<uint32_t> m_records;   // offset of each record, in table order
  std::vector<uint32_t> m_chainPos;  // chain position of each record; empty when the same
  MbLoader m_loadMb;
  mutable std::mutex m_mbMutex;
  mutable bool m_mbLoaded = false;
  mutable bool m_mbPresent = false;
  mutable FileBytes m_mb;
  mutable fs::path m_mbFound;
};

}  // namespace

std::unique_ptr<ParadoxTable> OpenParadoxFile(const std::filesystem::path& dbFile, const OpenOptions& options) {
  FileBytes db;
  if (!ReadWholeFile(dbFile, db)) throw Error(Format("Brak pliku %s", PathText(dbFile).c_str()));
  // The .mb file is looked for in any letter case of its extension.
  MbLoader loadMb = [first = MbPathOf(dbFile)](FileBytes& bytes, fs::path& found) {
    for (const char* ext : {"", ".mb", ".MB", ".Mb", ".mB"}) {
      fs::path candidate = first;
      if (*ext) candidate.replace_extension(ext);
      if (ReadWholeFile(candidate, bytes)) {
        found = candidate;
        return true;
      }
    }
    return false;
  };
  return std::make_unique<ParadoxFile>(dbFile, std::move(db), std::move(loadMb), options);
}

std::unique_ptr<ParadoxTable> OpenParadoxBytes(const std::string& name, std::string_view db,
                                               std::optional<std::string_view> mb, const OpenOptions& options) {
  fs::path dbPath(name);
  MbLoader loadMb;
  if (mb) {
    loadMb = [bytes = std::string(*mb), mbPath = MbPathOf(dbPath)](FileBytes& out, fs::path& found) mutable {
      out = FileBytes(std::move(bytes));
      found = mbPath;
      return true;
    };
  }
  return std::make_unique<ParadoxFile>(dbPath, FileBytes(std::string(db)), std::move(loadMb), options);
}

std::unique_ptr<TableSource> OpenParadoxTable(const std::filesystem::path& dbFile, const OpenOptions& options) {
  return OpenParadoxFile(dbFile, options);
}

}  // namespace kx::tables
