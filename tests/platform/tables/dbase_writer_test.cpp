// The dBase writer: tables it creates are read back the same by independent
// readers (dbfread, python-dbf) and by ours; rows appended to and edited in a
// copied template keep the header right; numbers never lose digits.

#include "platform/tables/dbase_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/tables/codepage.h"
#include "platform/tables/dbase_reader.h"
#include "support/temp_dir.h"

using namespace kx::tables;
using kxtest::ReadFile;
using kxtest::TempDir;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// Reads a table with an independent reader and prints its records as JSON.
const char* kReadScript = R"PY(
import sys, json, datetime, decimal
path, reader = sys.argv[1], sys.argv[2]

def norm(v):
    if isinstance(v, datetime.datetime):
        return v.isoformat(sep=' ')
    if isinstance(v, datetime.date):
        return v.isoformat()
    if isinstance(v, decimal.Decimal):
        return float(v)
    if isinstance(v, bytes):
        return {'hex': v.hex()}
    return v

out = {}
if reader == 'dbfread':
    import dbfread
    t = dbfread.DBF(path, load=True, char_decode_errors='strict')
    out['encoding'] = t.encoding
    out['fields'] = [[f.name, f.type, f.length, f.decimal_count] for f in t.fields]
    out['records'] = [[norm(v) for v in r.values()] for r in t.records]
else:
    import dbf
    t = dbf.Table(path)
    t.open(dbf.READ_ONLY)
    out['encoding'] = str(t.codepage)
    out['fields'] = list(t.field_names)
    records = []
    for r in t:
        values = []
        for name in t.field_names:
            v = r[name]
            if isinstance(v, str):
                v = v.rstrip(' ')
            elif type(v).__name__ in ('Date', 'DateTime'):
                v = v.isoformat() if v else None
            elif type(v).__name__ == 'Logical':
                v = None if v is None or str(v) in ('?', 'Unknown') else bool(v)
            values.append(norm(v))
        records.append(values)
    out['records'] = records
    t.close()
print(json.dumps(out))
)PY";

json ReadWithPython(const TempDir& dir, const fs::path& table, const std::string& reader) {
  fs::path script = dir.Write("read_table.py", kReadScript);
  std::string command = "/usr/bin/python3 '" + script.string() + "' '" + table.string() + "' " + reader + " 2>&1";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return json();
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, n);
  int status = pclose(pipe);
  EXPECT_EQ(status, 0) << reader << ": " << output;
  try {
    return json::parse(output);
  } catch (const std::exception&) {
    ADD_FAILURE() << reader << " printed: " << output;
    return json();
  }
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const kx::Error& e) {
    return e.what();
  }
  return "";
}

// What a reader shows for a value we wrote: dBase text has no null (blanks
// read as empty text).
void ExpectSame(const FieldDef& f, const Value& written, const json& read, const std::string& where) {
  if (written.IsNull()) {
    if (f.code == 'C')
      EXPECT_EQ(read, "") << where;
    else
      EXPECT_TRUE(read.is_null()) << where << ": " << read.dump();
    return;
  }
  switch (written.type) {
    case Value::Type::Text: EXPECT_EQ(read, written.text) << where; break;
    case Value::Type::Int:
      ASSERT_TRUE(read.is_number()) << where << ": " << read.dump();
      EXPECT_EQ(read.get<double>(), static_cast<double>(written.i)) << where;
      break;
    case Value::Type::Float:
      ASSERT_TRUE(read.is_number()) << where << ": " << read.dump();
      EXPECT_NEAR(read.get<double>(), written.f, 1e-9 * std::max(1.0, std::fabs(written.f))) << where;
      break;
    case Value::Type::Bool: EXPECT_EQ(read, written.i != 0) << where; break;
    case Value::Type::Date: EXPECT_EQ(read, DateText(written.date)) << where; break;
    case Value::Type::DateTime: {
      // dbfread prints microseconds only when there are any.
      std::string text = DateTimeText(written.date, written.msec);
      if (written.msec % 1000) text += kx::Format(".%03d000", written.msec % 1000);
      EXPECT_EQ(read, text) << where;
      break;
    }
    default: ADD_FAILURE() << where << ": value type not compared";
  }
}

void ExpectOurReaderAgrees(const fs::path& table, const std::vector<FieldDef>& fields,
                           const std::vector<std::vector<Value>>& rows) {
  auto t = OpenDbaseTable(table);
  ASSERT_EQ(t->RecordCount(), rows.size());
  ASSERT_EQ(t->Fields().size(), fields.size());
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t k = 0; k < fields.size(); ++k) {
      const Value& w = rows[r][k];
      Value v = t->Get(r, k);
      std::string where = table.filename().string() + " record " + std::to_string(r) + " " + fields[k].name;
      if (w.IsNull() && fields[k].code == 'C' && table.string().find("vfp") == std::string::npos) {
        EXPECT_EQ(v.text, "") << where;
        continue;
      }
      ASSERT_EQ(v.type == Value::Type::Null, w.IsNull()) << where;
      if (w.IsNull()) continue;
      switch (w.type) {
        case Value::Type::Int:
          EXPECT_EQ(v.type == Value::Type::Int ? v.i : static_cast<int64_t>(v.f), w.i) << where;
          break;
        case Value::Type::Float: EXPECT_NEAR(v.f, w.f, 1e-9 * std::max(1.0, std::fabs(w.f))) << where; break;
        case Value::Type::Text: EXPECT_EQ(v.text, w.text) << where; break;
        case Value::Type::Bool: EXPECT_EQ(v.i, w.i) << where; break;
        case Value::Type::Date: EXPECT_EQ(v.date, w.date) << where; break;
        case Value::Type::DateTime:
          EXPECT_EQ(v.date, w.date) << where;
          EXPECT_EQ(v.msec, w.msec) << where;
          break;
        default: ADD_FAILURE() << where;
      }
    }
  }
}

const std::string kLongMemo = [] {
  std::string s;
  for (int k = 0; k < 40; ++k) s += "Wiersz " + std::to_string(k) + ": zażółć gęślą jaźń ZAŻÓŁĆ GĘŚLĄ JAŹŃ\r\n";
  return s;
}();

struct RoundTrip {
  const char* file;
  DbaseCreateOptions options;
  bool withMemo;
  bool pythonDbf;  // python-dbf reads dBase III and FoxPro 2
};

class DbaseWriterRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(DbaseWriterRoundTrip, IndependentReadersSeeWhatWasWritten) {
  const RoundTrip& c = GetParam();
  std::vector<FieldDef> fields = {{"NAZWA", FieldKind::Text, 'C', 40},      {"NIP", FieldKind::Text, 'C', 13},
                                  {"KWOTA", FieldKind::Number, 'N', 12, 2}, {"ILOSC", FieldKind::Number, 'N', 6, 0},
                                  {"STAWKA", FieldKind::Number, 'F', 8, 3}, {"DATA", FieldKind::Date, 'D', 8},
                                  {"ZAPLACONO", FieldKind::Logical, 'L', 1}};
  std::vector<std::vector<Value>> rows = {
      {Value::FromText("Zażółć gęślą jaźń Sp. z o.o."), Value::FromText("5260250274"), Value::FromFloat(1234.56),
       Value::FromInt(3), Value::FromFloat(0.125), Value::FromDate({2024, 1, 31}), Value::FromBool(true)},
      {Value::FromText("ŁÓDŹ - Hurtownia \"Świt\""), Value::FromText("725-18-01-126"), Value::FromFloat(-99.99),
       Value::FromInt(-12), Value::FromFloat(23), Value::FromDate({2000, 2, 29}), Value::FromBool(false)},
      {Value::FromText("  wiodące spacje zostają"), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
       Value::Null(), Value::Null()}};
  if (c.withMemo) {
    fields.push_back({"UWAGI", FieldKind::Memo, 'M', 10});
    rows[0].push_back(Value::FromText(kLongMemo));
    rows[1].push_back(Value::FromText("Krótka: ąćęłńóśźż ĄĆĘŁŃÓŚŹŻ"));
    rows[2].push_back(Value::Null());
  }
  TempDir dir;
  fs::path path = dir / c.file;
  CreateDbaseTable(path, fields, rows, c.options);

  ExpectOurReaderAgrees(path, fields, rows);
  std::vector<std::string> readers = {"dbfread"};
  if (c.pythonDbf) readers.push_back("python-dbf");
  for (const auto& reader : readers) {
    json j = ReadWithPython(dir, path, reader);
    ASSERT_TRUE(j.contains("records")) << reader;
    EXPECT_NE(j["encoding"].get<std::string>().find(c.options.codePage == 852 ? "852" : "1250"), std::string::npos)
        << reader << " " << j["encoding"];
    ASSERT_EQ(j["records"].size(), rows.size()) << reader;
    for (size_t r = 0; r < rows.size(); ++r) {
      for (size_t k = 0; k < fields.size(); ++k) {
        std::string where = reader + " " + c.file + " record " + std::to_string(r) + " " + fields[k].name;
        const json& got = j["records"][r][k];
        if (reader == "python-dbf" && rows[r][k].IsNull() && fields[k].code == 'M') {
          EXPECT_EQ(got, "") << where;  // python-dbf shows a missing memo as empty text
          continue;
        }
        ExpectSame(fields[k], rows[r][k], got, where);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, DbaseWriterRoundTrip,
                         ::testing::Values(RoundTrip{"db3_cp1250.dbf", {0x03, 1250}, false, true},
                                           RoundTrip{"db3_cp852.dbf", {0x03, 852}, false, true},
                                           RoundTrip{"db3memo_cp852.dbf", {0x83, 852}, true, true},
                                           RoundTrip{"fox_cp1250.dbf", {0xF5, 1250}, true, true},
                                           RoundTrip{"vfp_cp1250.dbf", {0x30, 1250}, true, false}),
                         [](const auto& param) {
                           std::string n = param.param.file;
                           return n.substr(0, n.find('.'));
                         });

TEST(DbaseWriter, VisualFoxProBinaryTypesAndNulls) {
  TempDir dir;
  std::vector<FieldDef> fields = {{"ID", FieldKind::Integer, 'I', 4},      {"CENA", FieldKind::Currency, 'Y', 8},
                                  {"KIEDY", FieldKind::Timestamp, 'T', 8}, {"WSP", FieldKind::Number, 'B', 8},
                                  {"KOD", FieldKind::Text, 'C', 5},        {"OPIS", FieldKind::Memo, 'M', 4}};
  std::vector<std::vector<Value>> rows = {
      {Value::FromInt(-7), Value::FromFloat(12.3456), Value::FromDateTime({2024, 1, 1}, 45296000),
       Value::FromFloat(0.1), Value::FromText("AB"), Value::FromText("notatka ł")},
      {Value::FromInt(2147483647), Value::FromFloat(-0.5), Value::FromDateTime({1899, 12, 30}, 1),
       Value::FromFloat(-1e300), Value::Null(), Value::Null()}};
  fs::path path = dir / "vfp_types.dbf";
  CreateDbaseTable(path, fields, rows, {0x30, 1250});
  ExpectOurReaderAgrees(path, fields, rows);
  // dbfread decodes the binary types (it ignores _NullFlags, so the null
  // text is not compared).
  json j = ReadWithPython(dir, path, "dbfread");
  ASSERT_EQ(j["records"].size(), 2u);
  for (size_t r = 0; r < 2; ++r) {
    for (size_t k = 0; k < 4; ++k) ExpectSame(fields[k], rows[r][k], j["records"][r][k], "dbfread " + fields[k].name);
  }
  EXPECT_EQ(j["records"][0][4], "AB");
  EXPECT_EQ(j["records"][0][5], "notatka ł");
}

// An empty table as a template: the fields Buchalter-like imports use.
fs::path MakeTemplate(const TempDir& dir, const std::string& name, uint8_t version = 0x03) {
  std::vector<FieldDef> fields = {{"NA1", FieldKind::Text, 'C', 10},     {"NET", FieldKind::Number, 'N', 10, 2},
                                  {"REC", FieldKind::Number, 'N', 5, 0}, {"DAW", FieldKind::Date, 'D', 8},
                                  {"ANU", FieldKind::Logical, 'L', 1},   {"KVA", FieldKind::Number, 'F', 8, 4}};
  if (version != 0x03) fields.push_back({"OPIS", FieldKind::Memo, 'M', 10});
  fs::path path = dir / name;
  CreateDbaseTable(path, fields, {}, {version, 1250});
  return path;
}

TEST(DbaseWriter, AppendEditAndPostKeepTheHeaderRight) {
  TempDir dir;
  fs::path tmpl = MakeTemplate(dir, "TMPL.dbf");
  fs::path out = dir / "OUT25.dbf";
  CopyDbaseTemplate(tmpl, out);
  {
    DbaseWriter w(out);
    EXPECT_EQ(w.RecordCount(), 0u);
    ASSERT_EQ(w.Fields().size(), 6u);
    w.Append();
    w.SetText("NA1", "SPRZEDAZ 23");
    w.SetDecimal("NET", 100);
    w.SetInt("REC", 1);
    w.SetText("DAW", "2025-03-31");  // dates given as text, as the conversion writes them
    w.SetText("ANU", "N");
    w.SetDecimal("kva", 1.0);  // names are not case-sensitive
    w.Post();
    w.Append();
    w.SetText("NA1", "ZAKUP 8");
    w.SetDate("DAW", {2025, 2, 28});
    w.SetBool("ANU", true);
    w.Post();
    EXPECT_EQ(w.RecordCount(), 2u);
    w.Edit(0);
    w.SetDecimal("NET", -123.456);
    w.Post();
  }
  auto t = OpenDbaseTable(out);
  ASSERT_EQ(t->RecordCount(), 2u);
  EXPECT_EQ(t->Get(0, 0).text, "SPRZEDAZ 2");  // cut at the template's width
  EXPECT_DOUBLE_EQ(t->Get(0, 1).f, -123.46);
  EXPECT_EQ(t->Get(0, 2).i, 1);
  EXPECT_EQ(t->Get(0, 3).date, (Date{2025, 3, 31}));
  EXPECT_EQ(t->Get(0, 4).i, 0);
  EXPECT_DOUBLE_EQ(t->Get(0, 5).f, 1.0);
  EXPECT_EQ(t->Get(1, 0).text, "ZAKUP 8");
  EXPECT_TRUE(t->Get(1, 1).IsNull());
  EXPECT_EQ(t->Get(1, 4).i, 1);

  std::string bytes = ReadFile(out);
  const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
  uint32_t headerSize = u[8] | u[9] << 8, recordSize = u[10] | u[11] << 8;
  EXPECT_EQ(u[4] | u[5] << 8 | u[6] << 16 | u[7] << 24, 2u);
  EXPECT_EQ(bytes.size(), headerSize + 2 * recordSize + 1);
  EXPECT_EQ(bytes.back(), '\x1A');
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(u[1], local.tm_year);
  EXPECT_EQ(u[2], local.tm_mon + 1);
  EXPECT_EQ(bytes.substr(headerSize + 1 + 10, 10), "   -123.46");  // right-aligned with two decimals

  json j = ReadWithPython(dir, out, "dbfread");
  ASSERT_EQ(j["records"].size(), 2u);
  EXPECT_EQ(j["records"][0][1], -123.46);
  EXPECT_EQ(j["records"][1][3], "2025-02-28");
}

TEST(DbaseWriter, NumbersAreRoundedAndNeverCut) {
  struct Case {
    int size, decimals;
    Value value;
    const char* stored;  // null: refused
  } cases[] = {
      {12, 2, Value::FromFloat(1234.5), "     1234.50"},
      {5, 2, Value::FromFloat(1.005), " 1.01"},  // half away from zero on the decimal form
      {5, 1, Value::FromFloat(-2.25), " -2.3"},
      {3, 0, Value::FromFloat(2.5), "  3"},
      {6, 2, Value::FromFloat(-0.001), "  0.00"},
      {5, 0, Value::FromInt(-1234), "-1234"},
      {8, 2, Value::FromInt(7), "    7.00"},
      {8, 2, Value::FromText("12,5"), "   12.50"},
      {20, 0, Value::FromFloat(1e15), "    1000000000000000"},
      {6, 2, Value::FromFloat(999.999), nullptr},  // rounds to 1000.00: seven characters
      {4, 0, Value::FromInt(99999), nullptr},
      {5, 0, Value::FromInt(-12345), nullptr},
      {8, 2, Value::FromText("1 200"), nullptr},
      {8, 2, Value::FromDate({2024, 1, 1}), nullptr},
  };
  for (const auto& c : cases) {
    TempDir dir;
    fs::path path = dir / "n.dbf";
    CreateDbaseTable(path, {{"KWOTA", FieldKind::Number, 'N', c.size, c.decimals}}, {}, {0x03, 1250});
    DbaseWriter w(path);
    w.Append();
    std::string where =
        std::to_string(c.size) + "," + std::to_string(c.decimals) + " " + NumberText(c.value.f) + c.value.text;
    if (!c.stored) {
      std::string m = ErrorOf([&] { w.Set("KWOTA", c.value); });
      EXPECT_NE(m.find("KWOTA"), std::string::npos) << where << ": " << m;
      EXPECT_NE(m.find("n.dbf"), std::string::npos) << where << ": " << m;
      continue;
    }
    w.Set("KWOTA", c.value);
    w.Post();
    w.Close();
    std::string bytes = ReadFile(path);
    EXPECT_EQ(bytes.substr(bytes.size() - 1 - c.size, c.size), c.stored) << where;
  }
}

// Amounts are whole grosze held in doubles: the double nearest to them, or a
// neighbour of it after sums and roundings. Each is written as its grosze,
// rounded half away from zero where the field keeps fewer decimals, by the
// positional setter and by the general one alike.
TEST(DbaseWriter, AmountsInGroszeAreWrittenAsTheirGrosze) {
  std::mt19937_64 random(20261211);
  std::vector<int64_t> grosze = {0,
                                 1,
                                 -1,
                                 5,
                                 -5,
                                 10,
                                 15,
                                 49,
                                 50,
                                 51,
                                 -50,
                                 99,
                                 100,
                                 105,
                                 12345,
                                 -12345,
                                 99999999999999,
                                 -99999999999999,
                                 100000000000000};
  for (int k = 0; k < 300; ++k) {
    const int64_t magnitude = static_cast<int64_t>(random() % 100000000000000ULL) / (k % 3 == 0 ? 1000000 : 1);
    grosze.push_back(k % 2 ? magnitude : -magnitude);
  }
  // The grosze as written with `decimals` places: the oracle, by integers.
  auto expected = [](int64_t g, int decimals) {
    const bool negative = g < 0;
    uint64_t m = static_cast<uint64_t>(negative ? -g : g);
    std::string digits;
    if (decimals < 2) {
      const uint64_t unit = decimals == 1 ? 10 : 100;
      m = m / unit + (m % unit >= unit / 2 ? 1 : 0);
      digits = std::to_string(m);
      if (decimals == 1) digits = (digits.size() < 2 ? std::string(2 - digits.size(), '0') : "") + digits;
    } else {
      digits = std::to_string(m);
      if (digits.size() < 3) digits = std::string(3 - digits.size(), '0') + digits;
      digits += std::string(static_cast<size_t>(decimals - 2), '0');
    }
    std::string text = decimals > 0 ? digits.substr(0, digits.size() - static_cast<size_t>(decimals)) + "." +
                                          digits.substr(digits.size() - static_cast<size_t>(decimals))
                                    : digits;
    if (negative && text.find_first_not_of("0.") != std::string::npos) text = "-" + text;
    return text;
  };
  TempDir dir;
  fs::path path = dir / "kwoty.dbf";
  std::vector<FieldDef> fields;
  for (int decimals = 0; decimals <= 4; ++decimals) {
    fields.push_back({"D" + std::to_string(decimals), FieldKind::Number, 'N', 20, decimals});
  }
  CreateDbaseTable(path, fields, {}, {0x03, 1250});
  std::vector<std::vector<std::string>> wanted;
  {
    DbaseWriter w(path);
    for (int64_t g : grosze) {
      const double nearest = static_cast<double>(g) / 100.0;
      for (double value : {nearest, std::nextafter(nearest, 1e300), std::nextafter(nearest, -1e300)}) {
        for (bool positional : {true, false}) {
          w.Append();
          std::vector<std::string> row;
          for (int decimals = 0; decimals <= 4; ++decimals) {
            if (positional) {
              w.SetDecimal(static_cast<size_t>(decimals), value);
            } else {
              w.Set("D" + std::to_string(decimals), Value::FromFloat(value));
            }
            row.push_back(expected(g, decimals));
          }
          w.Post();
          wanted.push_back(row);
        }
      }
    }
  }
  std::string bytes = ReadFile(path);
  const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t headerSize = u[8] | u[9] << 8;
  const size_t recordSize = u[10] | u[11] << 8;
  ASSERT_EQ(bytes.size(), headerSize + wanted.size() * recordSize + 1);
  for (size_t r = 0; r < wanted.size(); ++r) {
    for (size_t f = 0; f < 5; ++f) {
      std::string stored = bytes.substr(headerSize + r * recordSize + 1 + f * 20, 20);
      stored.erase(0, stored.find_first_not_of(' '));
      ASSERT_EQ(stored, wanted[r][f]) << "grosze " << grosze[r / 6] << ", wiersz " << r << ", miejsc " << f;
    }
  }
}

// The setters by position take the same values as those by name; bytes go in
// untranslated, and what a field cannot hold is refused the same way.
TEST(DbaseWriter, PositionalSettersMatchTheGeneralOnes) {
  TempDir dir;
  fs::path path = MakeTemplate(dir, "pos.dbf");
  std::vector<std::string> translated;
  DbaseWriter w(path);
  w.SetTranslator([&](std::string_view utf8) {
    translated.emplace_back(utf8);
    return std::string(utf8);
  });
  auto index = [&](const std::string& name) {
    for (size_t k = 0; k < w.Fields().size(); ++k) {
      if (w.Fields()[k].name == name) return k;
    }
    throw std::runtime_error("brak pola " + name);
  };
  w.Append();
  w.SetBytes(index("NA1"), "\x98l\x86sk");
  w.SetDecimal(index("NET"), 2.765);
  w.SetInt(index("REC"), 12);
  w.SetDecimal(index("KVA"), 1.0);
  w.Post();
  w.Append();
  w.SetInt(index("NA1"), 7);  // a number into a character field: its text
  w.SetInt(index("NET"), -3);
  w.Post();
  EXPECT_TRUE(translated.empty());
  w.Append();
  EXPECT_NE(ErrorOf([&] { w.SetDecimal(index("NET"), std::nan("")); }).find("NET"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.SetBytes(index("NET"), "12"); }).find("NET"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.SetInt(index("REC"), 123456); }).find("REC"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.SetInt(99, 1); }).find("pos.dbf"), std::string::npos);
  w.Close();
  std::string bytes = ReadFile(path);
  const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t headerSize = u[8] | u[9] << 8;
  ASSERT_EQ(bytes.size(), headerSize + 2 * 43 + 1);
  EXPECT_EQ(bytes.substr(headerSize, 43),
            std::string(" \x98l\x86sk     ") + "      2.77" + "   12" + std::string(9, ' ') + "  1.0000");
  EXPECT_EQ(bytes.substr(headerSize + 43, 43), std::string(" 7         ") + "     -3.00" + std::string(5 + 9 + 8, ' '));
}

TEST(DbaseWriter, TranslationHookStoresItsResult) {
  TempDir dir;
  fs::path path = MakeTemplate(dir, "hook.dbf");
  std::vector<std::string> seen;
  {
    DbaseWriter w(path);
    // Buchalter's tables keep Polish letters in Mazovia codes.
    w.SetTranslator([&](std::string_view utf8) {
      seen.emplace_back(utf8);
      return FromUtf8(utf8, kMazoviaCodePage);
    });
    w.Append();
    w.SetText("NA1", "Śląsk Łódź");
    w.SetDecimal("NET", 5);
    w.SetText("DAW", "2025-01-02");
    w.Post();
  }
  EXPECT_EQ(seen, std::vector<std::string>{"Śląsk Łódź"});  // only text for character fields
  std::string bytes = ReadFile(path);
  const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
  uint32_t headerSize = u[8] | u[9] << 8;
  EXPECT_EQ(bytes.substr(headerSize + 1, 10),
            "\x98l\x86sk \x9C\xA2"
            "d\xA6");
  auto t = OpenDbaseTable(path, {.forceCodePage = kMazoviaCodePage});
  EXPECT_EQ(t->Get(0, 0).text, "Śląsk Łódź");
}

TEST(DbaseWriter, MisuseFailsWithClearMessages) {
  TempDir dir;
  fs::path path = MakeTemplate(dir, "use.dbf");
  DbaseWriter w(path);
  EXPECT_NE(ErrorOf([&] { w.SetText("NA1", "x"); }).find("Append"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.Post(); }).find("Append"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.Edit(0); }).find("use.dbf"), std::string::npos);
  w.Append();
  std::string m = ErrorOf([&] { w.SetText("BRAK", "x"); });
  EXPECT_NE(m.find("BRAK"), std::string::npos) << m;
  EXPECT_NE(m.find("use.dbf"), std::string::npos) << m;
  EXPECT_NE(ErrorOf([&] { w.SetText("DAW", "31.02.2025"); }).find("DAW"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.SetText("DAW", "2025-02-30"); }).find("DAW"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.SetText("ANU", "może"); }).find("ANU"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.SetBool("NET", true); }).find("NET"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.SetText("OPIS", "x"); }).find("OPIS"), std::string::npos);  // no such field in 0x03
  w.Close();
  EXPECT_EQ(OpenDbaseTable(path)->RecordCount(), 0u);  // nothing posted
  EXPECT_NE(ErrorOf([&] { DbaseWriter missing(dir / "absent.dbf"); }).find("absent.dbf"), std::string::npos);
}

TEST(DbaseWriter, MemosAppendedToACopiedTemplate) {
  for (uint8_t version : {uint8_t{0x83}, uint8_t{0xF5}}) {
    TempDir dir;
    fs::path tmpl = MakeTemplate(dir, "MEMO.dbf", version);
    fs::path out = dir / "MEMO25.dbf";
    CopyDbaseTemplate(tmpl, out);
    {
      DbaseWriter w(out);
      w.Append();
      w.SetText("NA1", "pierwszy");
      w.SetText("OPIS", kLongMemo);
      w.Post();
      w.Append();
      w.SetText("NA1", "drugi");
      w.SetText("OPIS", "krótka ż");
      w.Post();
      w.Append();
      w.SetText("NA1", "trzeci");
      w.Post();
      w.Edit(1);
      w.SetText("OPIS", "zmieniona");
      w.Post();
    }
    auto t = OpenDbaseTable(out);
    ASSERT_EQ(t->RecordCount(), 3u) << int(version);
    EXPECT_EQ(t->Get(0, 6).text, kLongMemo);
    EXPECT_EQ(t->Get(1, 6).text, "zmieniona");
    EXPECT_TRUE(t->Get(2, 6).IsNull());
    json j = ReadWithPython(dir, out, "dbfread");
    ASSERT_EQ(j["records"].size(), 3u);
    EXPECT_EQ(j["records"][0][6], kLongMemo) << int(version);
    EXPECT_EQ(j["records"][1][6], "zmieniona") << int(version);
    // The template's memo file is untouched.
    EXPECT_EQ(OpenDbaseTable(tmpl)->RecordCount(), 0u);
  }
}

TEST(DbaseWriter, TemplateCopyReplacesTheOutput) {
  TempDir dir;
  fs::path tmpl = MakeTemplate(dir, "B5SPEX.dbf", 0x83);
  fs::path out = dir / "B5SPEX25.dbf";
  // An older output with rows and a memo file of the other kind.
  CreateDbaseTable(out, {{"OLD", FieldKind::Memo, 'M', 10}}, {{Value::FromText("stare")}}, {0xF5, 1250});
  ASSERT_TRUE(fs::exists(dir / "B5SPEX25.fpt"));
  CopyDbaseTemplate(tmpl, out);
  EXPECT_EQ(ReadFile(out), ReadFile(tmpl));
  EXPECT_EQ(ReadFile(dir / "B5SPEX25.dbt"), ReadFile(dir / "B5SPEX.dbt"));
  EXPECT_FALSE(fs::exists(dir / "B5SPEX25.fpt"));
  EXPECT_EQ(OpenDbaseTable(out)->RecordCount(), 0u);
  for (const auto& e : fs::directory_iterator(dir.Path())) {
    EXPECT_EQ(e.path().filename().string().find("~kx"), std::string::npos) << e.path();  // no temporary files left
  }

  std::string m = ErrorOf([&] { CopyDbaseTemplate(dir / "BRAK.dbf", out); });
  EXPECT_NE(m.find("BRAK.dbf"), std::string::npos) << m;
  fs::path garbage = dir.Write("GARBAGE.dbf", "not a table");
  m = ErrorOf([&] { CopyDbaseTemplate(garbage, out); });
  EXPECT_NE(m.find("GARBAGE.dbf"), std::string::npos) << m;
  EXPECT_EQ(ReadFile(out), ReadFile(tmpl));  // a failed copy leaves the output as it was
}

TEST(DbaseWriter, ManyRecordsWithAnEditBetweenComeBackWhole) {
  // More records than are gathered before a write, set by field position,
  // with an edit of an earlier record (still unwritten) in the middle.
  TempDir dir;
  fs::path out = dir / "MANY.dbf";
  CopyDbaseTemplate(MakeTemplate(dir, "TMPL.dbf"), out);
  constexpr int kRecords = 30000;
  {
    DbaseWriter w(out);
    const size_t name = 0, rec = 2;
    ASSERT_EQ(w.Fields()[name].name, "NA1");
    ASSERT_EQ(w.Fields()[rec].name, "REC");
    for (int i = 0; i < kRecords; ++i) {
      if (i == kRecords / 2) {
        w.Edit(7);
        w.SetText(name, "POPRAWIONY");
        w.Post();
      }
      w.Append();
      w.SetText(name, "R" + std::to_string(i));
      w.Set(rec, Value::FromInt(i));
      w.Post();
    }
    EXPECT_THROW(w.Set(w.Fields().size(), Value::FromInt(1)), kx::Error);  // no record started
    w.Append();
    EXPECT_THROW(w.Set(w.Fields().size(), Value::FromInt(1)), kx::Error);
  }
  std::string bytes = ReadFile(out);
  const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
  uint32_t headerSize = u[8] | u[9] << 8, recordSize = u[10] | u[11] << 8;
  EXPECT_EQ(bytes.size(), headerSize + static_cast<size_t>(kRecords) * recordSize + 1);
  EXPECT_EQ(bytes.back(), '\x1A');
  EXPECT_EQ(std::count(bytes.begin() + headerSize, bytes.end(), '\x1A'), 1);
  auto t = OpenDbaseTable(out);
  ASSERT_EQ(t->RecordCount(), static_cast<size_t>(kRecords));
  for (int i : {0, 6, 7, 8, kRecords / 2, kRecords - 1}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(t->Get(i, 0).text, i == 7 ? "POPRAWIONY" : "R" + std::to_string(i));
    EXPECT_EQ(t->Get(i, 2).i, i);
  }
}

TEST(DbaseWriter, PostClearsTheIndexFlagAndDropsBytesAfterTheRecords) {
  TempDir dir;
  fs::path path = MakeTemplate(dir, "idx.dbf");
  std::string bytes = ReadFile(path);
  bytes[28] = '\x01';  // production .mdx index, which the writer does not keep
  bytes += "left-over bytes after the end mark";
  dir.Write("idx.dbf", bytes);
  {
    DbaseWriter w(path);
    w.Append();
    w.SetText("NA1", "a");
    w.Post();
  }
  std::string after = ReadFile(path);
  EXPECT_EQ(after[28], '\0');
  const auto* u = reinterpret_cast<const unsigned char*>(after.data());
  EXPECT_EQ(after.size(), static_cast<size_t>((u[8] | u[9] << 8) + (u[10] | u[11] << 8) + 1));
  EXPECT_EQ(after.back(), '\x1A');
  EXPECT_EQ(OpenDbaseTable(path)->Get(0, 0).text, "a");
}

TEST(DbaseWriter, CreateRefusesWhatTheFormatCannotHold) {
  TempDir dir;
  struct Case {
    const char* what;
    std::vector<FieldDef> fields;
    DbaseCreateOptions options;
  } cases[] = {
      {"name over 10 characters", {{"NAZWA_ZA_DLUGA", FieldKind::Text, 'C', 5}}, {0x03, 1250}},
      {"duplicate name", {{"A", FieldKind::Text, 'C', 5}, {"a", FieldKind::Text, 'C', 5}}, {0x03, 1250}},
      {"memo without memo file", {{"M", FieldKind::Memo, 'M', 10}}, {0x03, 1250}},
      {"integer outside Visual FoxPro", {{"I", FieldKind::Integer, 'I', 4}}, {0x83, 1250}},
      {"character field of 300", {{"C", FieldKind::Text, 'C', 300}}, {0x03, 1250}},
      {"decimals wider than the field", {{"N", FieldKind::Number, 'N', 4, 3}}, {0x03, 1250}},
      {"unknown version", {{"C", FieldKind::Text, 'C', 5}}, {0x8C, 1250}},
      {"code page without a driver byte", {{"C", FieldKind::Text, 'C', 5}}, {0x03, 1258}},
  };
  for (const auto& c : cases) {
    fs::path path = dir / "bad.dbf";
    EXPECT_FALSE(ErrorOf([&] { CreateDbaseTable(path, c.fields, {}, c.options); }).empty()) << c.what;
    EXPECT_FALSE(fs::exists(path)) << c.what;
  }
  std::string m = ErrorOf([&] {
    CreateDbaseTable(dir / "rows.dbf", {{"A", FieldKind::Text, 'C', 5}}, {{Value::FromText("a"), Value::FromInt(1)}});
  });
  EXPECT_NE(m.find("rows.dbf"), std::string::npos) << m;
}

}  // namespace
