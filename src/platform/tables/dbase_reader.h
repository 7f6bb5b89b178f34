#pragma once
// Reading dBase tables (.dbf: dBase II, III, III+ with .dbt, IV, 7, FoxPro and
// Visual FoxPro with .fpt). The code page comes from the language driver byte,
// else from a .cpg file beside the table, else from the options. Deleted
// records are skipped. A damaged or inconsistent header fails with kx::Error
// naming the file.
//
// Values: character fields lose trailing blanks and NULs, never leading ones;
// empty numbers, dates and memos, a '?' logical and Visual FoxPro null flags
// read as Null; N fields without decimals read as Int, other numbers as
// Float. A value that cannot be read as its type (such as "1,200.00" in an N
// field) fails with kx::Error naming the field, the record and the file
// rather than being guessed. A missing memo file fails only when a memo value
// is read. Fields of types no format documents read as raw Bytes.

#include <filesystem>
#include <memory>

#include "platform/tables/table_source.h"

namespace kx::tables {

std::unique_ptr<TableSource> OpenDbaseTable(const std::filesystem::path& dbfFile, const OpenOptions& options = {});

}  // namespace kx::tables
