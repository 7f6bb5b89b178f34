#pragma once
// Reading dBase tables (.dbf: dBase III, III+ with .dbt, IV, FoxPro and
// Visual FoxPro with .fpt). The code page comes from the language driver byte,
// else from a .cpg file beside the table, else from the options. Deleted
// records are skipped. A damaged or inconsistent header fails with kx::Error
// naming the file.

#include <filesystem>
#include <memory>

#include "platform/tables/table_source.h"

namespace kx::tables {

std::unique_ptr<TableSource> OpenDbaseTable(const std::filesystem::path& dbfFile, const OpenOptions& options = {});

}  // namespace kx::tables
