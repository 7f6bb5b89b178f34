#include "platform/tables/field.h"

#include <cmath>
#include <cstdlib>

namespace kx::tables {

std::string Field::AsString() const {
  const Value& v = *m_current;
  switch (v.type) {
    case Value::Type::Null: return {};
    case Value::Type::Text:
    case Value::Type::Bytes: return v.text;
    case Value::Type::Int: return std::to_string(v.i);
    case Value::Type::Float: return NumberText(v.f);
    case Value::Type::Bool: return v.i ? "True" : "False";
    case Value::Type::Date: return DateText(v.date);
    case Value::Type::Time: return TimeText(v.msec).substr(0, 8);
    case Value::Type::DateTime: return DateTimeText(v.date, v.msec);
  }
  return {};
}

int64_t Field::AsInteger() const {
  const Value& v = *m_current;
  switch (v.type) {
    case Value::Type::Int:
    case Value::Type::Bool: return v.i;
    case Value::Type::Float: return static_cast<int64_t>(std::round(v.f));
    case Value::Type::Text: return std::strtoll(v.text.c_str(), nullptr, 10);
    default: return 0;
  }
}

double Field::AsFloat() const {
  const Value& v = *m_current;
  switch (v.type) {
    case Value::Type::Int:
    case Value::Type::Bool: return static_cast<double>(v.i);
    case Value::Type::Float: return v.f;
    case Value::Type::Text: return std::strtod(v.text.c_str(), nullptr);
    default: return 0;
  }
}

Date Field::AsDate() const {
  const Value& v = *m_current;
  if (v.type == Value::Type::Date || v.type == Value::Type::DateTime) return v.date;
  return {};
}

int32_t Field::AsTimeMsec() const {
  const Value& v = *m_current;
  return v.type == Value::Type::Time || v.type == Value::Type::DateTime ? v.msec : 0;
}

bool Field::AsBoolean() const {
  const Value& v = *m_current;
  return (v.type == Value::Type::Bool || v.type == Value::Type::Int) && v.i != 0;
}

}  // namespace kx::tables
