#pragma once
// Writing dBase tables: a new table from field definitions (fixtures), or rows
// appended to and edited in an existing table, such as one copied from an
// empty template. Text goes through the translation hook (UTF-8 to the
// table's character set) before it is stored.
//
// Values are converted to the field's type as the table engine does: a
// number or a yyyy-MM-dd date may be given as text, a number written into a
// character field as text. Numbers are right-aligned with the field's
// decimals (rounded half away from zero); a number too wide for its field
// fails with kx::Error naming the field, digits are never dropped. Text
// longer than a character field is cut at the field's width.

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

// Copies an empty template table (and its memo file) over the output. Each
// file is replaced atomically; index files are not copied (the writer does
// not keep them), and a memo file left from an older output is removed.
void CopyDbaseTemplate(const std::filesystem::path& templateDbf, const std::filesystem::path& outputDbf);

class DbaseWriter {
 public:
  // Opens an existing table for appending and editing.
  explicit DbaseWriter(const std::filesystem::path& dbfFile);
  ~DbaseWriter();
  DbaseWriter(const DbaseWriter&) = delete;
  DbaseWriter& operator=(const DbaseWriter&) = delete;

  const std::vector<FieldDef>& Fields() const;
  // Records in the file, deleted ones included; Edit takes these numbers.
  size_t RecordCount() const;

  // Text is translated by this hook before it is stored; the default converts
  // UTF-8 to the table's code page.
  void SetTranslator(std::function<std::string(std::string_view utf8)> translate);

  void Append();             // starts a new blank record
  void Edit(size_t record);  // starts editing an existing record
  void SetText(const std::string& field, std::string_view utf8);
  void SetInt(const std::string& field, int64_t value);
  void SetDecimal(const std::string& field, double value);
  void SetDate(const std::string& field, Date value);
  void SetBool(const std::string& field, bool value);
  void SetNull(const std::string& field);
  void Set(const std::string& field, const Value& value);
  // The same by the field's position in Fields(): no lookup per record.
  void Set(size_t field, const Value& value);
  void SetText(size_t field, std::string_view utf8);
  void SetInt(size_t field, int64_t value);
  void SetDecimal(size_t field, double value);
  // Bytes already in the table's character set: stored as they are (a
  // character field cuts them at its width).
  void SetBytes(size_t field, std::string_view bytes);
  // Writes the record (and its memos). The header's record count and date
  // and the end-of-file mark after the last record are written on Close.
  void Post();
  void Close();  // flushes; a record not posted is dropped; also done by the destructor

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace kx::tables
