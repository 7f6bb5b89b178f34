// Fuzz target: arbitrary filter text parsed, bound to a small register
// table and evaluated on each of its rows. kx::Error is the expected failure
// for bad text; anything else (a crash, another exception) is a fault.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/tables/filter.h"

using namespace kx::tables;

namespace {

const std::vector<FieldDef>& Fields() {
  static const std::vector<FieldDef> fields = {
      {"Date", FieldKind::Date, 'D', 4, 0},     {"SaleDate", FieldKind::Timestamp, '@', 8, 0},
      {"Class", FieldKind::Short, 'S', 2, 0},   {"Netto", FieldKind::Number, 'N', 8, 0},
      {"Name", FieldKind::Text, 'A', 20, 0},    {"Period Id", FieldKind::Integer, 'I', 4, 0},
      {"Flag", FieldKind::Logical, 'L', 1, 0},  {"Start", FieldKind::Time, 'T', 4, 0},
      {"Picture", FieldKind::Blob, 'B', 10, 0}, {"Memo", FieldKind::Memo, 'M', 10, 0},
  };
  return fields;
}

const std::vector<std::vector<Value>>& Rows() {
  static const std::vector<std::vector<Value>> rows = {
      {Value::FromDate({2024, 5, 1}), Value::FromDateTime({2024, 5, 31}, 86399000), Value::FromInt(0),
       Value::FromFloat(12.5), Value::FromText("Łódź  "), Value::FromInt(12525), Value::FromBool(true),
       Value::FromTime(3600000), Value::FromBytes(std::string("\0\1", 2)), Value::FromText("notatka")},
      {Value::Null(), Value::Null(), Value::FromInt(128), Value::FromFloat(-0.0), Value::FromText(""), Value::Null(),
       Value::Null(), Value::Null(), Value::Null(), Value::Null()},
      // Values of another type than the field's kind, as a lax reader might give.
      {Value::FromText("2024-05-01"), Value::FromDate({1, 1, 1}), Value::FromText("x"), Value::FromInt(7),
       Value::FromFloat(1e308), Value::FromBool(false), Value::FromInt(2), Value::FromDateTime({9999, 12, 31}, 0),
       Value::FromText("t"), Value::FromBytes("b")},
      {},  // fewer values than fields
  };
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    Filter filter = Filter::Parse(text);
    filter.Bind(Fields(), "REG");
    for (const auto& row : Rows()) filter.Matches(row);
  } catch (const kx::Error&) {
  }
  return 0;
}
