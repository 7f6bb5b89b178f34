#pragma once
// Writing dBase tables: a new table from field definitions (fixtures), or rows
// appended to and edited in an existing table, such as one copied from an
// empty template. Text goes through the translation hook (UTF-8 to the
// table's character set) before it is stored.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tables/value.h"

namespace kx::tables {

struct DbaseCreateOptions {
  uint8_t version = 0x03;  // 0x03 dBase III, 0x83 with .dbt memo, 0x30 Visual FoxPro, 0xF5 FoxPro with .fpt
  int codePage = 1250;     // written as the language driver byte
};

// Creates (replaces) a table with the given fields and rows. dBase field
// types come from FieldDef::code ('C','N','F','D','L','M','I','Y','T','B').
void CreateDbaseTable(const std::filesystem::path& dbfFile, const std::vector<FieldDef>& fields,
                      const std::vector<std::vector<Value>>& rows, const DbaseCreateOptions& options = {});

// Copies an empty template table (and its memo file) over the output.
void CopyDbaseTemplate(const std::filesystem::path& templateDbf, const std::filesystem::path& outputDbf);

class DbaseWriter {
 public:
  // Opens an existing table for appending and editing.
  explicit DbaseWriter(const std::filesystem::path& dbfFile);
  ~DbaseWriter();
  DbaseWriter(const DbaseWriter&) = delete;
  DbaseWriter& operator=(const DbaseWriter&) = delete;

  const std::vector<FieldDef>& Fields() const;
  size_t RecordCount() const;

  // Text is translated by this hook before it is stored; the default converts
  // UTF-8 to the table's code page.
  void SetTranslator(std::function<std::string(std::string_view utf8)> translate);

  void Append();              // starts a new blank record
  void Edit(size_t record);   // starts editing an existing record
  void SetText(const std::string& field, std::string_view utf8);
  void SetInt(const std::string& field, int64_t value);
  void SetDecimal(const std::string& field, double value);
  void SetDate(const std::string& field, Date value);
  void SetBool(const std::string& field, bool value);
  void Post();                // writes the record and the header's record count
  void Close();               // flushes; also done by the destructor

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace kx::tables
