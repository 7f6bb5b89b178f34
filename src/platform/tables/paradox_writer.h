#pragma once
// Writing Paradox 7 tables (.db, and .mb when a memo or blob field is
// present), for fixtures, the demo firm, benchmarks and the working tables of
// queries. Rows are written in the order given; a keyed table (keyFields > 0,
// the first keyFields fields form the primary key) gets its rows sorted by key.

#include <filesystem>
#include <vector>

#include "platform/tables/value.h"

namespace kx::tables {

struct ParadoxWriteOptions {
  int codePage = 1250;
  size_t keyFields = 0;
};

// Replaces the file atomically. Field sizes: Alpha 1..255 characters; other
// kinds take their fixed Paradox sizes (size is ignored), Memo/Blob size is
// the part kept in the record (default 10 when 0).
void WriteParadoxTable(const std::filesystem::path& dbFile, const std::vector<FieldDef>& fields,
                       const std::vector<std::vector<Value>>& rows, const ParadoxWriteOptions& options = {});

}  // namespace kx::tables
