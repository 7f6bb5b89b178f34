#pragma once
// A field of an open table or query as callers see it: the current record's
// value, read as text, whole number, decimal, date or date-time. A null reads
// as empty text or 0.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tables/value.h"

namespace kx::tables {

// Where the fields of a cursor take their current values from; lets the
// cursor decode a value only when a caller reads it.
class FieldValues {
 public:
  virtual const Value& FieldValue(size_t index) const = 0;

 protected:
  ~FieldValues() = default;
};

class Field {
 public:
  Field(FieldDef def, const Value* current) : m_def(std::move(def)), m_current(current) {}
  Field(FieldDef def, const FieldValues* values, size_t index)
      : m_def(std::move(def)), m_values(values), m_index(index) {}

  const std::string& Name() const { return m_def.name; }
  const FieldDef& Def() const { return m_def; }
  FieldKind Kind() const { return m_def.kind; }
  const Value& Current() const { return m_values ? m_values->FieldValue(m_index) : *m_current; }

  bool IsNull() const { return Current().IsNull(); }
  std::string AsString() const;  // dates yyyy-MM-dd, times HH:mm:ss, numbers shortest form, logicals "True"/"False"
  int64_t AsInteger() const;     // decimals rounded half away from zero; text parsed, else 0
  double AsFloat() const;
  Date AsDate() const;         // date part; {0,0,0} for null
  int32_t AsTimeMsec() const;  // time part
  bool AsBoolean() const;

  // The cursor points the field at its current value as it moves.
  // clang-format off
  void Bind(const Value* current) { m_current = current; m_values = nullptr; }
  // clang-format on

 private:
  FieldDef m_def;
  const Value* m_current = nullptr;
  const FieldValues* m_values = nullptr;
  size_t m_index = 0;
};

// Field names are matched as the table engine does: without regard to letter
// case (ASCII and the Polish letters).
std::string FoldFieldName(std::string_view name);
bool SameFieldName(std::string_view a, std::string_view b);
std::optional<size_t> FindFieldIndex(const std::vector<FieldDef>& fields, std::string_view name);

// "F1;F2" into its names, blanks around each name removed, empty parts dropped.
std::vector<std::string> SplitFieldNames(std::string_view names);

}  // namespace kx::tables
