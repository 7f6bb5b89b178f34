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
#include <optional>
#include <string>
#include <string_view>

#include "platform/tables/table_source.h"

namespace kx::tables {

std::unique_ptr<TableSource> OpenDbaseTable(const std::filesystem::path& dbfFile, const OpenOptions& options = {});

enum class DbaseMemoKind { Dbt, Fpt };

// The files of a dBase table held in memory.
struct DbaseBytes {
  std::string_view dbf;
  std::optional<std::string_view> memo;  // nullopt: no memo file
  DbaseMemoKind memoKind = DbaseMemoKind::Dbt;
  std::optional<std::string_view> cpg;  // the text of a .cpg file; nullopt: none
};

// The same reading of a table held in memory; the bytes are copied. The name
// stands for the .dbf file in messages; the memo file goes by the name with
// the extension ".dbt" or ".fpt", which also tells its layout.
std::unique_ptr<TableSource> OpenDbaseBytes(const std::string& name, const DbaseBytes& files,
                                            const OpenOptions& options = {});

}  // namespace kx::tables
