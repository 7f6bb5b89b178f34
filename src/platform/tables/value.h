#pragma once
// Field definitions and values of Paradox and dBase tables, common to the
// format readers and writers, the table cursor and the SQL layer.

#include <cstdint>
#include <string>
#include <vector>

namespace kx::tables {

// What a field holds, whatever the file format calls it.
enum class FieldKind {
  Text,       // Paradox A, dBase C/V
  Memo,       // Paradox M/F, dBase M: text kept in the memo file
  Short,      // Paradox S
  Integer,    // Paradox I, dBase I
  AutoInc,    // Paradox +
  Number,     // Paradox N, dBase N/F/B(double in VFP)
  Currency,   // Paradox $, dBase Y
  Bcd,        // Paradox #
  Logical,    // Paradox L, dBase L
  Date,       // Paradox D, dBase D
  Time,       // Paradox T
  Timestamp,  // Paradox @, dBase T
  Bytes,      // Paradox Y: fixed binary kept in the record
  Blob,       // Paradox B/O/G, dBase B/G/P (binary memo)
};

struct FieldDef {
  std::string name;  // UTF-8
  FieldKind kind = FieldKind::Text;
  char code = 'A';   // the format's own type letter (Paradox 'A','N',...; dBase 'C','N',...)
  int size = 0;      // declared size (characters for text, bytes for binary)
  int decimals = 0;  // dBase N/F decimals, Paradox BCD digits after the point
};

struct Date {
  int year = 0, month = 0, day = 0;
  friend bool operator==(const Date&, const Date&) = default;
  friend auto operator<=>(const Date&, const Date&) = default;
};

// One field value. Null is told apart from zero and empty text.
struct Value {
  enum class Type { Null, Text, Int, Float, Bool, Date, Time, DateTime, Bytes };
  Type type = Type::Null;
  std::string text;       // Text (UTF-8) or Bytes (raw)
  int64_t i = 0;          // Int; Bool as 0/1
  double f = 0;           // Float (Number, Currency, BCD)
  kx::tables::Date date;  // Date, DateTime
  int32_t msec = 0;       // Time, DateTime: milliseconds since midnight

  bool IsNull() const { return type == Type::Null; }

  static Value Null() { return {}; }
  // clang-format off
  static Value FromText(std::string s) { Value v; v.type = Type::Text; v.text = std::move(s); return v; }
  static Value FromInt(int64_t n) { Value v; v.type = Type::Int; v.i = n; return v; }
  static Value FromFloat(double d) { Value v; v.type = Type::Float; v.f = d; return v; }
  static Value FromBool(bool b) { Value v; v.type = Type::Bool; v.i = b ? 1 : 0; return v; }
  static Value FromDate(kx::tables::Date d) { Value v; v.type = Type::Date; v.date = d; return v; }
  static Value FromTime(int32_t ms) { Value v; v.type = Type::Time; v.msec = ms; return v; }
  static Value FromDateTime(kx::tables::Date d, int32_t ms) { Value v; v.type = Type::DateTime; v.date = d; v.msec = ms; return v; }
  static Value FromBytes(std::string b) { Value v; v.type = Type::Bytes; v.text = std::move(b); return v; }
  // clang-format on
};

// Days from 0001-01-01 (day 1) in the proleptic Gregorian calendar, the count
// Paradox dates use; and back.
int64_t DaysFromCivil(Date d);
Date CivilFromDays(int64_t days);

// Text forms used by the command line and the SQL layer: yyyy-MM-dd,
// HH:mm:ss.zzz, yyyy-MM-dd HH:mm:ss; numbers in shortest form with ".".
std::string DateText(Date d);
std::string TimeText(int32_t msec);
std::string DateTimeText(Date d, int32_t msec);
std::string NumberText(double v);

}  // namespace kx::tables
