#pragma once
// Record filters in the table engine's syntax:
//   (Date >= 2024-05-01) and (Date <= 2024-05-31)
//   ([RegType] = 0) and ([VatPeriod] = 5)
//   [Period Id] = 12525
// Field names stand bare or in [brackets] (which may hold blanks) and match
// without regard to letter case. Operators = <> < > <= >=, and/or/not in any
// case, parentheses. Literals: whole and decimal numbers (with a sign), texts
// in '…' or "…" (a doubled quote stands for itself), unquoted yyyy-MM-dd
// dates, true, false and null.
//
// Comparison rules:
// - Text is compared case-sensitively, byte by byte (as the engine's filters do
//   by default), trailing blanks ignored. A text literal ending in "*" compared
//   with = or <> matches every text that begins with the part before the "*".
// - A date literal (or a yyyy-MM-dd text) against a date field compares dates;
//   against a timestamp field it compares the timestamp's date part, so a
//   month's range selects every moment of its last day.
// - Numbers compare by value whatever the field's numeric kind; logicals as 0/1.
// - Null equals only null: "F = null" holds for a null F, "F <> null" for any
//   other value; a null against a value satisfies only <>.
// - A field compared with a literal of a kind it cannot hold (text against a
//   number field that is not a number, a date against a text field) is an error
//   when the filter is bound to the table.
// An empty or blank filter selects every record.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/tables/table_source.h"
#include "platform/tables/value.h"

namespace kx::tables {

class Filter {
 public:
  Filter();
  ~Filter();
  Filter(Filter&&) noexcept;
  Filter& operator=(Filter&&) noexcept;

  // Parses the text; fails with kx::Error "Błędny filtr: "…" (reason)".
  static Filter Parse(const std::string& text);

  // Resolves field names against the table's fields and fixes how each
  // comparison is made; fails with kx::Error naming the filter, the table and
  // the field. Must be called before Matches.
  void Bind(const std::vector<FieldDef>& fields, const std::string& tableName);

  bool Empty() const;  // selects every record
  const std::string& Text() const;
  // Field indexes the filter reads (after Bind).
  std::vector<size_t> FieldsUsed() const;

  bool Matches(const TableSource& source, size_t record) const;
  bool Matches(const std::vector<Value>& row) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace kx::tables
