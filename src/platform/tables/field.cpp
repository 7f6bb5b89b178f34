#include "platform/tables/field.h"

#include <cmath>
#include <cstdlib>

namespace kx::tables {

std::string Field::AsString() const {
  const Value& v = Current();
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
  const Value& v = Current();
  switch (v.type) {
    case Value::Type::Int:
    case Value::Type::Bool: return v.i;
    case Value::Type::Float: return static_cast<int64_t>(std::round(v.f));
    case Value::Type::Text: return std::strtoll(v.text.c_str(), nullptr, 10);
    default: return 0;
  }
}

double Field::AsFloat() const {
  const Value& v = Current();
  switch (v.type) {
    case Value::Type::Int:
    case Value::Type::Bool: return static_cast<double>(v.i);
    case Value::Type::Float: return v.f;
    case Value::Type::Text: return std::strtod(v.text.c_str(), nullptr);
    default: return 0;
  }
}

Date Field::AsDate() const {
  const Value& v = Current();
  if (v.type == Value::Type::Date || v.type == Value::Type::DateTime) return v.date;
  return {};
}

int32_t Field::AsTimeMsec() const {
  const Value& v = Current();
  return v.type == Value::Type::Time || v.type == Value::Type::DateTime ? v.msec : 0;
}

bool Field::AsBoolean() const {
  const Value& v = Current();
  return (v.type == Value::Type::Bool || v.type == Value::Type::Int) && v.i != 0;
}

namespace {

// Upper-case Polish letters in UTF-8 and their lower-case forms.
constexpr struct {
  const char* upper;
  const char* lower;
} kPolishLetters[] = {{"Ą", "ą"}, {"Ć", "ć"}, {"Ę", "ę"}, {"Ł", "ł"}, {"Ń", "ń"},
                      {"Ó", "ó"}, {"Ś", "ś"}, {"Ź", "ź"}, {"Ż", "ż"}};

}  // namespace

std::string FoldFieldName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x80) {
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      ++i;
      continue;
    }
    bool folded = false;
    if (i + 1 < name.size()) {
      for (const auto& letter : kPolishLetters) {
        if (name.compare(i, 2, letter.upper) == 0) {
          out += letter.lower;
          folded = true;
          break;
        }
      }
    }
    if (folded) {
      i += 2;
    } else {
      out += name[i];
      ++i;
    }
  }
  return out;
}

bool SameFieldName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && FoldFieldName(a) == FoldFieldName(b);
}

std::optional<size_t> FindFieldIndex(const std::vector<FieldDef>& fields, std::string_view name) {
  std::string folded = FoldFieldName(name);
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name.size() == name.size() && FoldFieldName(fields[i].name) == folded) return i;
  }
  return std::nullopt;
}

std::vector<std::string> SplitFieldNames(std::string_view names) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    std::string_view part = names.substr(start, end - start);
    while (!part.empty() && (part.front() == ' ' || part.front() == '\t')) part.remove_prefix(1);
    while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
    if (!part.empty()) out.emplace_back(part);
    start = end + 1;
  }
  return out;
}

}  // namespace kx::tables
