#pragma once
// Finding and opening the file of a table by the name a caller gives: a full
// path without extension, or a file name inside a database folder, with or
// without ".db"/".dbf". The letter case of the file name on disk does not
// matter (names come from programs written for case-insensitive systems).
// Without an extension a Paradox table (.db) is preferred to a dBase one.

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/tables/table_source.h"

namespace kx::tables {

enum class TableFormat { Paradox, Dbase };

struct TableFile {
  std::filesystem::path path;  // as found on disk
  TableFormat format = TableFormat::Paradox;
};

// The table file for the name, or nothing when there is none.
std::optional<TableFile> LocateTableFile(const std::filesystem::path& name);

// Opens the table file for the name with the reader of its format. Fails with
// kx::Error naming the file when it is missing, cannot be read (no access,
// locked by another program) or is not a table.
std::unique_ptr<TableSource> OpenTableFile(const std::filesystem::path& name, const OpenOptions& options = {});

}  // namespace kx::tables
