#pragma once
// Reading Paradox tables (.db, versions 3.0 to 7) with their .mb memo/blob
// file. Every offset and length is checked against the file size; a damaged
// file fails with kx::Error naming the file.
//
// The .db file is read once at opening; values are decoded when asked for.
// Text (Alpha, Memo, Formatted memo) is converted to UTF-8 from the header's
// code page. Alpha values end at the first NUL byte and keep their blanks.
// A keyed table gives its records in key order (stable on equal keys).
// The .mb file is read at the first memo or blob value that lives there; when
// it is missing, reading such a value fails with a message naming it, while
// the other fields and the memos kept whole in the record stay readable.
// Password-protected tables fail at opening with a message saying so.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/tables/table_source.h"

namespace kx::tables {

std::unique_ptr<TableSource> OpenParadoxTable(const std::filesystem::path& dbFile, const OpenOptions& options = {});

// What the header of a Paradox table says.
struct ParadoxHeaderInfo {
  int version = 0;       // 30, 35, 40, 50 or 70
  int fileType = 0;      // 0 keyed, 2 non-keyed
  int codePage = 0;      // the header's code page word; 0 when it has none
  int textCodePage = 0;  // code page the text is decoded with
  int sortOrder = 0;     // sort order byte
  int recordSize = 0;
  int headerSize = 0;
  int blockSize = 0;  // bytes
  int keyFieldCount = 0;
  int64_t nextAutoInc = 0;
  uint32_t encryption = 0;  // 0 when not password-protected
};

// The Paradox view of a table: the header and the physical order besides the
// values.
class ParadoxTable : public TableSource {
 public:
  virtual const ParadoxHeaderInfo& Header() const = 0;
  // Position in the data block chain of the given record (key order number).
  virtual size_t ChainPosition(size_t record) const = 0;
  // The field's bytes as stored, without code page conversion: Alpha up to
  // its first NUL, the whole memo or blob (Graphic without its 8-byte prefix),
  // the record bytes for every other type. Empty for null.
  virtual std::string RawBytes(size_t record, size_t field) const = 0;
};

std::unique_ptr<ParadoxTable> OpenParadoxFile(const std::filesystem::path& dbFile, const OpenOptions& options = {});

// The same reading of a table held in memory: db holds the bytes of the .db
// file, mb those of its .mb file (nullopt: there is none, and memos kept there
// fail as with a missing file). Both are copied. The name stands for the .db
// file in messages; the .mb file goes by the name with the extension ".mb".
std::unique_ptr<ParadoxTable> OpenParadoxBytes(const std::string& name, std::string_view db,
                                               std::optional<std::string_view> mb = std::nullopt,
                                               const OpenOptions& options = {});

}  // namespace kx::tables
