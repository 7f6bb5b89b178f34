#pragma once
// Reading Paradox tables (.db, versions 3.0 to 7) with their .mb memo/blob
// file. Every offset and length is checked against the file size; a damaged
// file fails with kx::Error naming the file.

#include <filesystem>
#include <memory>

#include "platform/tables/table_source.h"

namespace kx::tables {

std::unique_ptr<TableSource> OpenParadoxTable(const std::filesystem::path& dbFile, const OpenOptions& options = {});

}  // namespace kx::tables
