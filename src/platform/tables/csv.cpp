#include "platform/tables/csv.h"

#include "platform/tables/md5.h"

namespace kx::tables {

std::string CsvText(const Value& value) {
  switch (value.type) {
    case Value::Type::Null: return {};
    case Value::Type::Text: return value.text;
    case Value::Type::Int: return std::to_string(value.i);
    case Value::Type::Float: return NumberText(value.f);
    case Value::Type::Bool: return value.i ? "true" : "false";
    case Value::Type::Date: return DateText(value.date);
    case Value::Type::Time: return TimeText(value.msec);
    case Value::Type::DateTime: return DateTimeText(value.date, value.msec);
    case Value::Type::Bytes: return "<" + std::to_string(value.text.size()) + " bytes md5 " + Md5Hex(value.text) + ">";
  }
  return {};
}

std::string CsvQuote(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

void WriteCsvLine(std::ostream& out, const std::vector<std::string>& texts) {
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i) out << ',';
    out << CsvQuote(texts[i]);
  }
  out << "\r\n";
}

void WriteCsvRow(std::ostream& out, const std::vector<Value>& values) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) out << ',';
    out << CsvQuote(CsvText(values[i]));
  }
  out << "\r\n";
}

}  // namespace kx::tables
