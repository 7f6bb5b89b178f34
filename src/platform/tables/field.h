#pragma once
// A field of an open table or query as callers see it: the current record's
// value, read as text, whole number, decimal, date or date-time. A null reads
// as empty text or 0.

#include <cstdint>
#include <string>

#include "platform/tables/value.h"

namespace kx::tables {

class Field {
 public:
  Field(FieldDef def, const Value* current) : m_def(std::move(def)), m_current(current) {}

  const std::string& Name() const { return m_def.name; }
  const FieldDef& Def() const { return m_def; }
  const Value& Current() const { return *m_current; }

  bool IsNull() const { return m_current->IsNull(); }
  std::string AsString() const;   // dates yyyy-MM-dd, times HH:mm:ss, numbers shortest form, logicals "True"/"False"
  int64_t AsInteger() const;      // decimals rounded half away from zero; text parsed, else 0
  double AsFloat() const;
  Date AsDate() const;            // date part; {0,0,0} for null
  int32_t AsTimeMsec() const;     // time part
  bool AsBoolean() const;

  // The cursor points the field at its current value as it moves.
  void Bind(const Value* current) { m_current = current; }

 private:
  FieldDef m_def;
  const Value* m_current;
};

}  // namespace kx::tables
