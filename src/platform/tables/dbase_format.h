#pragma once
// The dBase file layout shared by the reader and the writer: header and field
// descriptors, language driver bytes, memo files. Internal to platform/tables.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tables/table_source.h"
#include "platform/tables/value.h"

namespace kx::tables::dbase {

inline constexpr int kUtf8CodePage = 65001;

// One field as it lies in the record.
struct FieldLayout {
  FieldDef def;         // name (decoded, duplicates renamed), kind, code, size, decimals
  std::string rawName;  // name bytes as stored
  char type = 'C';      // the file's type letter
  uint32_t offset = 0;  // from the start of the record (the deletion flag is byte 0)
  uint32_t size = 0;
  uint8_t flags = 0;    // Visual FoxPro field flags
  int nullBit = -1;     // bit in _NullFlags telling the value is null, -1: none
  int lengthBit = -1;   // bit in _NullFlags telling a varchar is shorter than the field
  bool hidden = false;  // the _NullFlags field itself
};

enum class Family { DBase2, DBase3, DBase7 };

struct Header {
  Family family = Family::DBase3;
  uint8_t version = 0;
  uint32_t recordCount = 0;
  uint32_t headerSize = 0;
  uint32_t recordSize = 0;
  uint8_t tableFlags = 0;           // byte 28: production index, memo (VFP)
  uint8_t ldid = 0;                 // language driver byte
  std::string driverName;           // dBase 7 language driver name, such as DB852PO0
  std::vector<FieldLayout> fields;  // in record order, hidden ones included
  int nullFlagsField = -1;          // index into fields of _NullFlags, -1: none

  bool IsVisualFoxPro() const { return version == 0x30 || version == 0x31 || version == 0x32; }
  bool HasMemoFields() const;
};

// Parses and checks the header at the start of a table file of fileSize bytes.
// Every inconsistency (unknown version, descriptors past the header, record
// length that is not the sum of the field widths, records past the end of the
// file) fails with kx::Error naming the file. Field names are left undecoded
// until DecodeFieldNames.
Header ParseHeader(std::string_view bytes, uint64_t fileSize, const std::filesystem::path& file);

// Decodes the field names in the code page and gives duplicate names the
// suffix #2, #3... (compared without regard to case).
void DecodeFieldNames(Header& header, int codePage);

// The code page of a table: forced by the options, else from the language
// driver byte or name, else from a .cpg file beside the table, else the
// options' default.
int ResolveCodePage(const Header& header, const std::filesystem::path& dbfFile, const OpenOptions& options);

// Code page of a language driver byte; 0 when the byte names none or an
// unknown one.
int CodePageFromLdid(uint8_t ldid);
// Language driver byte written for a code page; 0 when there is none.
uint8_t LdidFromCodePage(int codePage);

// The memo file of a table (.dbt or .fpt, any letter case), or empty.
std::filesystem::path FindMemoFile(const std::filesystem::path& dbfFile, uint8_t version);

enum class MemoFormat { DBase3, DBase4, FoxPro };

// Format and block size of a memo file, from its extension, the table's
// version byte and the memo file's first bytes.
MemoFormat DetectMemoFormat(const std::filesystem::path& memoFile, uint8_t tableVersion, std::string_view memoHeader,
                            uint32_t& blockSize);

// A memo file read into memory.
class MemoFile {
 public:
  MemoFile() = default;
  MemoFile(std::filesystem::path path, std::string bytes, uint8_t tableVersion);

  bool Loaded() const { return !m_path.empty(); }
  const std::filesystem::path& Path() const { return m_path; }
  MemoFormat Kind() const { return m_format; }
  uint32_t BlockSize() const { return m_blockSize; }
  // The bytes of the memo starting at the block; fails with kx::Error naming
  // the memo file when the block or its length lies outside the file.
  std::string Read(uint64_t block) const;

 private:
  std::filesystem::path m_path;
  std::string m_bytes;
  MemoFormat m_format = MemoFormat::DBase3;
  uint32_t m_blockSize = 512;
};

// Block number of a memo pointer field (10 ASCII digits, or 4 bytes binary in
// Visual FoxPro); 0 means no memo. Fails for a pointer that is not a number.
bool ParseMemoPointer(std::string_view bytes, uint64_t& block);

// Number text of an N or F field. Empty (blanks, NULs) gives Null; a text that
// is not a number gives false.
bool ParseNumber(std::string_view text, Value& value, bool preferInteger);

// File name for messages.
std::string DisplayName(const std::filesystem::path& file);

}  // namespace kx::tables::dbase
