#pragma once
// Writing Paradox 7 tables (.db, and .mb when a memo or blob field is
// present), for fixtures, the demo firm, benchmarks and the working tables of
// queries. Rows are written in the order given; a keyed table (keyFields > 0,
// the first keyFields fields form the primary key) gets its rows sorted by key.
//
// Each file is replaced atomically (a temporary file in the same folder,
// flushed, then renamed over); the .mb file goes first, then the .db file.
// A keyed table gets no .px primary index file: its records lie in key order
// along the block chain, which is all a reader of the records needs; a
// program that edits tables through the index must rebuild it first. Keys must
// be unique, and memo and blob fields cannot be key fields. The header
// declares the "ascii" sort order: key order is the order of the stored
// bytes. Values that do not fit their field (text longer than the field or
// with characters outside the code page, numbers out of range) fail with
// kx::Error naming the file and the field: nothing is cut or replaced.

#include <filesystem>
#include <vector>

#include "platform/tables/value.h"

namespace kx::tables {

struct ParadoxWriteOptions {
  int codePage = 1250;
  size_t keyFields = 0;
};

// Replaces the file atomically. Field sizes: Alpha 1..255 characters; Bytes
// 1..255 bytes; BCD takes FieldDef::decimals (0..32) digits after the point;
// other kinds take their fixed Paradox sizes (size is ignored), Memo/Blob
// size is the part kept in the record (default 10 when 0). FieldDef::code
// picks Formatted memo ('F') for a Memo and OLE ('O') or Graphic ('G') for a
// Blob. Null values are written as nulls; empty text reads back as null, as
// the format makes no difference between them.
void WriteParadoxTable(const std::filesystem::path& dbFile, const std::vector<FieldDef>& fields,
                       const std::vector<std::vector<Value>>& rows, const ParadoxWriteOptions& options = {});

}  // namespace kx::tables
