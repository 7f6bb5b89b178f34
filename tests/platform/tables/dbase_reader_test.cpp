// The dBase reader on small tables built byte by byte here, so each case
// shows the layout it exercises: values and nulls per field type, code
// pages, memo files, Visual FoxPro flags, and damaged files.

#include "platform/tables/dbase_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "support/temp_dir.h"

using namespace kx::tables;
using kxtest::TempDir;

namespace {

struct F {
  std::string name;
  char type;
  int size;
  int decimals = 0;
  uint8_t flags = 0;
};

std::string Le16(uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(v) + Le16(v >> 16); }
std::string Be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// Text left-justified in a field of n bytes.
std::string L(const std::string& s, size_t n) { return s + std::string(n - s.size(), ' '); }
// Text right-justified in a field of n bytes.
std::string R(const std::string& s, size_t n) { return std::string(n - s.size(), ' ') + s; }

struct Layout {
  int headerSize = -1;  // -1: computed
  int recordSize = -1;  // -1: computed
  int count = -1;       // -1: number of records
  int backlink = 0;     // Visual FoxPro: 263
};

// A table file: header, 32-byte field descriptors, records (each with its
// deletion flag), end mark.
std::string Dbf(uint8_t version, uint8_t ldid, const std::vector<F>& fields, const std::vector<std::string>& records,
                Layout layout = {}) {
  int recordSize = 1;
  for (const auto& f : fields) recordSize += f.size;
  int headerSize = 32 + 32 * static_cast<int>(fields.size()) + 1 + layout.backlink;
  std::string h(32, '\0');
  h[0] = static_cast<char>(version);
  h[1] = 125;
  h[2] = 1;
  h[3] = 15;
  h.replace(4, 4, Le32(layout.count >= 0 ? layout.count : static_cast<uint32_t>(records.size())));
  h.replace(8, 2, Le16(layout.headerSize >= 0 ? layout.headerSize : headerSize));
  h.replace(10, 2, Le16(layout.recordSize >= 0 ? layout.recordSize : recordSize));
  h[29] = static_cast<char>(ldid);
  int offset = 1;
  for (const auto& f : fields) {
    std::string d(32, '\0');
    d.replace(0, f.name.size(), f.name);
    d[11] = f.type;
    d.replace(12, 4, Le32(offset));
    d[16] = static_cast<char>(f.size);
    d[17] = static_cast<char>(f.decimals);
    d[18] = static_cast<char>(f.flags);
    h += d;
    offset += f.size;
  }
  h += '\x0D';
  h += std::string(static_cast<size_t>(layout.backlink), '\0');
  for (const auto& r : records) h += r;
  h += '\x1A';
  return h;
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const kx::Error& e) {
    return e.what();
  }
  return "";
}

TEST(DbaseReader, FieldsAndValuesOfDbaseThree) {
  TempDir dir;
  std::vector<F> fields = {{"NAME", 'C', 10},   {"AMOUNT", 'N', 8, 2}, {"COUNT", 'N', 5},
                           {"RATE", 'F', 6, 3}, {"DAY", 'D', 8},       {"PAID", 'L', 1}};
  auto path =
      dir.Write("t.dbf", Dbf(0x03, 0x03, fields,
                             {" " + L("  Alpha", 10) + R("1234.50", 8) + R("42", 5) + R("0.125", 6) + "20240229" + "T",
                              " " + L("", 10) + R("", 8) + R("-7", 5) + R("", 6) + "        " + "?"}));
  auto t = OpenDbaseTable(path);
  ASSERT_EQ(t->RecordCount(), 2u);
  ASSERT_EQ(t->Fields().size(), 6u);
  EXPECT_EQ(t->Fields()[1].name, "AMOUNT");
  EXPECT_EQ(t->Fields()[1].kind, FieldKind::Number);
  EXPECT_EQ(t->Fields()[1].decimals, 2);
  EXPECT_EQ(t->Fields()[4].kind, FieldKind::Date);
  EXPECT_EQ(t->Fields()[5].kind, FieldKind::Logical);

  EXPECT_EQ(t->Get(0, 0).text, "  Alpha");  // leading blanks are data, trailing ones padding
  EXPECT_EQ(t->Get(0, 1).type, Value::Type::Float);
  EXPECT_DOUBLE_EQ(t->Get(0, 1).f, 1234.5);
  EXPECT_EQ(t->Get(0, 2).type, Value::Type::Int);
  EXPECT_EQ(t->Get(0, 2).i, 42);
  EXPECT_DOUBLE_EQ(t->Get(0, 3).f, 0.125);
  EXPECT_EQ(t->Get(0, 4).date, (Date{2024, 2, 29}));
  EXPECT_EQ(t->Get(0, 5).type, Value::Type::Bool);
  EXPECT_EQ(t->Get(0, 5).i, 1);

  EXPECT_EQ(t->Get(1, 0).type, Value::Type::Text);  // empty text is not null
  EXPECT_EQ(t->Get(1, 0).text, "");
  EXPECT_TRUE(t->Get(1, 1).IsNull());
  EXPECT_EQ(t->Get(1, 2).i, -7);
  EXPECT_TRUE(t->Get(1, 3).IsNull());
  EXPECT_TRUE(t->Get(1, 4).IsNull());
  EXPECT_TRUE(t->Get(1, 5).IsNull());
}

TEST(DbaseReader, FieldValueForms) {
  struct Case {
    char type;
    int size, decimals;
    std::string raw;
    Value want;  // Null, or the value; type Text with "ERROR" for a refused value
  };
  auto error = Value::FromText("ERROR");
  std::vector<Case> cases = {
      {'N', 6, 0, "    12", Value::FromInt(12)},
      {'N', 6, 0, "   +12", Value::FromInt(12)},
      {'N', 6, 2, "  1.50", Value::FromFloat(1.5)},
      {'N', 6, 2, "  1,50", Value::FromFloat(1.5)},  // decimal comma
      {'N', 6, 2, "   -.5", Value::FromFloat(-0.5)},
      {'N', 6, 0, "   12.", Value::FromFloat(12)},
      {'F', 10, 3, "  1.25E+02", Value::FromFloat(125)},
      {'N', 6, 0, std::string(6, '\0'), Value::Null()},
      {'N', 6, 0, "      ", Value::Null()},
      {'N', 8, 2, "1,200.00", error},  // thousands separators: never guessed
      {'N', 6, 0, "******", error},    // overflow mark of the writing program
      {'N', 6, 0, "  1 2 ", error},
      {'N', 6, 0, "   abc", error},
      {'D', 8, 0, "20000229", Value::FromDate({2000, 2, 29})},
      {'D', 8, 0, "        ", Value::Null()},
      {'D', 8, 0, "00000000", Value::Null()},
      {'D', 8, 0, std::string(8, '\0'), Value::Null()},
      {'D', 8, 0, "19000229", error},  // 1900 was no leap year
      {'D', 8, 0, "2024 1 1", error},
      {'L', 1, 0, "y", Value::FromBool(true)},
      {'L', 1, 0, "N", Value::FromBool(false)},
      {'L', 1, 0, "f", Value::FromBool(false)},
      {'L', 1, 0, std::string(1, '\0'), Value::Null()},
      {'L', 1, 0, "X", error},
      {'C', 6, 0, std::string("ab\0\0  ", 6), Value::FromText("ab")},
      {'C', 6, 0, std::string("\0reak ", 6), Value::FromText(std::string("\0reak", 5))},
  };
  TempDir dir;
  for (const auto& c : cases) {
    auto path = dir.Write("v.dbf", Dbf(0x03, 0x03, {{"V", c.type, c.size, c.decimals}}, {" " + c.raw}));
    auto t = OpenDbaseTable(path);
    std::string where = std::string(1, c.type) + " '" + c.raw + "'";
    if (c.want.type == Value::Type::Text && c.want.text == "ERROR") {
      std::string m = ErrorOf([&] { t->Get(0, 0); });
      EXPECT_NE(m.find("v.dbf"), std::string::npos) << where << ": " << m;
      EXPECT_NE(m.find("polu V"), std::string::npos) << where << ": " << m;
      continue;
    }
    Value v;
    ASSERT_NO_THROW(v = t->Get(0, 0)) << where;
    ASSERT_EQ(v.type, c.want.type) << where;
    EXPECT_EQ(v.i, c.want.i) << where;
    EXPECT_DOUBLE_EQ(v.f, c.want.f) << where;
    EXPECT_EQ(v.text, c.want.text) << where;
    EXPECT_EQ(v.date, c.want.date) << where;
  }
}

TEST(DbaseReader, DeletedRecordsAreSkipped) {
  TempDir dir;
  // '*' deletes; a 0x00 flag (written by some tools) is a live record.
  auto path = dir.Write("d.dbf", Dbf(0x03, 0, {{"A", 'C', 2}}, {" a1", "*a2", std::string("\0a3", 3), "*a4", " a5"}));
  auto t = OpenDbaseTable(path);
  ASSERT_EQ(t->RecordCount(), 3u);
  EXPECT_EQ(t->Get(0, 0).text, "a1");
  EXPECT_EQ(t->Get(1, 0).text, "a3");
  EXPECT_EQ(t->Get(2, 0).text, "a5");
  EXPECT_NE(ErrorOf([&] { t->Get(3, 0); }).find("d.dbf"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { t->Get(0, 1); }).find("d.dbf"), std::string::npos);
}

TEST(DbaseReader, DuplicateFieldNamesAreNumbered) {
  TempDir dir;
  auto path = dir.Write(
      "dup.dbf",
      Dbf(0x03, 0, {{"Point_ID", 'C', 2}, {"X", 'N', 2}, {"POINT_ID", 'N', 2}, {"point_id", 'C', 1}}, {" ab 1 2c"}));
  auto t = OpenDbaseTable(path);
  ASSERT_EQ(t->Fields().size(), 4u);
  EXPECT_EQ(t->Fields()[0].name, "Point_ID");
  EXPECT_EQ(t->Fields()[2].name, "POINT_ID#2");
  EXPECT_EQ(t->Fields()[3].name, "point_id#3");
  EXPECT_EQ(t->Get(0, 2).i, 2);
}

TEST(DbaseReader, CodePageFromLanguageDriverCpgFileOrOptions) {
  // "Łódź" in the bytes of each code page.
  const std::string cp852 = "\x9D\xA2\x64\xAB";
  const std::string cp1250 = "\xA3\xF3\x64\x9F";
  const std::string mazovia = "\x9C\xA2\x64\xA6";
  struct Case {
    uint8_t ldid;
    const char* cpg;  // contents of a .cpg file beside the table, or null
    std::string bytes;
    OpenOptions options;
  } cases[] = {
      {0x64, nullptr, cp852, {}},
      {0x23, nullptr, cp852, {}},
      {0x1F, nullptr, cp852, {}},
      {0xC8, nullptr, cp1250, {}},
      {0x69, nullptr, mazovia, {}},
      {0x00, "ANSI 1250", cp1250, {}},
      {0x00, "1250\r\n", cp1250, {}},
      {0x00, "CP852", cp852, {}},
      {0x57, "ANSI 1250", cp1250, {}},  // Esri's "see the .cpg file"
      {0x00, "UTF-8", "\xC5\x81\xC3\xB3\x64\xC5\xBA", {}},
      {0x00, nullptr, cp852, {}},  // default: Polish DOS
      {0x00, nullptr, cp1250, {.defaultCodePage = 1250}},
      {0x64, "ANSI 1250", cp852, {}},  // the header wins over the .cpg file
      {0x03, nullptr, cp1250, {.forceCodePage = 1250}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    int size = static_cast<int>(c.bytes.size());
    auto path = dir.Write("cp.dbf", Dbf(0x03, c.ldid, {{"N", 'C', size}}, {" " + c.bytes}));
    if (c.cpg) dir.Write("cp.cpg", c.cpg);
    auto t = OpenDbaseTable(path, c.options);
    EXPECT_EQ(t->Get(0, 0).text, "Łódź") << "ldid " << int(c.ldid) << " cpg " << (c.cpg ? c.cpg : "-");
  }
}

TEST(DbaseReader, FieldNamesInTheTableCodePage) {
  TempDir dir;
  auto path = dir.Write("n.dbf", Dbf(0x03, 0xC8, {{"KWOTA_Z\xA3", 'N', 3}}, {"  12"}));
  auto t = OpenDbaseTable(path);
  EXPECT_EQ(t->Fields()[0].name, "KWOTA_ZŁ");
}

TEST(DbaseReader, WideCharacterFieldKeepsHighByteInDecimals) {
  // FoxPro and Clipper: a 300-wide C field is stored as 44 with 1 in the
  // decimals byte.
  TempDir dir;
  std::string text(300, 'x');
  text[0] = 'a';
  text[299] = 'z';
  std::string bytes = Dbf(0xF5, 0, {{"NOTE", 'C', 44, 1}, {"N", 'N', 2}}, {}, {.recordSize = 303});
  bytes.pop_back();
  bytes += " " + text + " 7\x1A";
  bytes.replace(4, 4, Le32(1));
  auto t = OpenDbaseTable(dir.Write("w.dbf", bytes));
  ASSERT_EQ(t->Fields()[0].size, 300);
  EXPECT_EQ(t->Fields()[0].decimals, 0);
  EXPECT_EQ(t->Get(0, 0).text, text);
  EXPECT_EQ(t->Get(0, 1).i, 7);
}

TEST(DbaseReader, DbaseThreeMemo) {
  TempDir dir;
  std::string dbt(512, '\0');
  dbt.replace(0, 4, Le32(3));
  std::string first = "Pierwsza \xA5\xA9 notatka\r\nwiersz 2";  // ąę in cp852
  dbt += first + "\x1A\x1A";
  dbt.resize(1024, '\0');
  dbt +=
      "bez znacznika ko\xE4"
      "ca";  // runs to the end of the file
  dir.Write("m.dbt", dbt);
  auto path = dir.Write("m.dbf", Dbf(0x83, 0x64, {{"ID", 'N', 2}, {"NOTE", 'M', 10}},
                                     {"  1" + R("1", 10), "  2" + R("", 10), "  3" + R("2", 10), "  4" + R("9", 10)}));
  auto t = OpenDbaseTable(path);
  EXPECT_EQ(t->Fields()[1].kind, FieldKind::Memo);
  EXPECT_EQ(t->Get(0, 1).text, "Pierwsza ąę notatka\r\nwiersz 2");
  EXPECT_TRUE(t->Get(1, 1).IsNull());
  EXPECT_EQ(t->Get(2, 1).text, "bez znacznika końca");
  std::string m = ErrorOf([&] { t->Get(3, 1); });  // block 9 lies past the end
  EXPECT_NE(m.find("m.dbt"), std::string::npos) << m;
}

TEST(DbaseReader, DbaseFourMemoUsesBlockSizeAndLength) {
  TempDir dir;
  // Block size 1024 (as BDE writes), length word counting the 8-byte head.
  std::string dbt(1024, '\0');
  dbt.replace(0, 4, Le32(3));
  dbt.replace(20, 2, Le16(1024));
  std::string text = "dBase IV\x1F tekst";
  dbt += std::string("\xFF\xFF\x08\x00", 4) + Le32(static_cast<uint32_t>(text.size() + 8)) + text + "\x1F\x1F junk";
  dbt.resize(2048, '\0');
  dbt += std::string("\xFF\xFF\x08\x00", 4) + Le32(5000) + "short";  // length past the end
  dir.Write("m4.dbt", dbt);
  auto path = dir.Write("m4.dbf", Dbf(0x8B, 0, {{"NOTE", 'M', 10}, {"PIC", 'B', 10}},
                                      {" " + R("1", 10) + R("1", 10), " " + R("2", 10) + R("", 10)}));
  auto t = OpenDbaseTable(path);
  EXPECT_EQ(t->Get(0, 0).text, text);
  EXPECT_EQ(t->Fields()[1].kind, FieldKind::Blob);
  EXPECT_EQ(t->Get(0, 1).type, Value::Type::Bytes);
  EXPECT_EQ(t->Get(0, 1).text, text);
  EXPECT_TRUE(t->Get(1, 1).IsNull());
  EXPECT_NE(ErrorOf([&] { t->Get(1, 0); }).find("m4.dbt"), std::string::npos);
}

TEST(DbaseReader, FoxProMemoFile) {
  TempDir dir;
  std::string fpt(512, '\0');
  fpt.replace(0, 4, Be32(12));
  fpt[6] = 0;
  fpt[7] = 64;
  fpt += Be32(1) + Be32(6) + "Zażółć";  // the text type, 6 bytes; UTF-8 table
  fpt.resize(512 + 64, '\0');
  fpt += Be32(1) + Be32(1000) + "x";  // length past the end
  dir.Write("FOX.FPT", fpt);          // other letter case than the table
  auto path = dir.Write("fox.dbf",
                        Dbf(0xF5, 0xF0, {{"NOTE", 'M', 10}}, {" " + R("8", 10), " " + R("9", 10), " " + R("abc", 10)}));
  auto t = OpenDbaseTable(path);
  EXPECT_EQ(t->Get(0, 0).text, "Zażó");  // 7 bytes
  EXPECT_NE(ErrorOf([&] { t->Get(1, 0); }).find("FOX.FPT"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { t->Get(2, 0); }).find("NOTE"), std::string::npos);
}

TEST(DbaseReader, MissingMemoFileFailsOnlyForMemoValues) {
  TempDir dir;
  auto path = dir.Write("nomemo.dbf",
                        Dbf(0x83, 0, {{"ID", 'N', 2}, {"NOTE", 'M', 10}}, {"  1" + R("1", 10), "  2" + R("", 10)}));
  auto t = OpenDbaseTable(path);
  EXPECT_EQ(t->Get(0, 0).i, 1);
  EXPECT_TRUE(t->Get(1, 1).IsNull());  // no memo at all: nothing is lost
  std::string m = ErrorOf([&] { t->Get(0, 1); });
  EXPECT_NE(m.find("nomemo.dbf"), std::string::npos) << m;
  EXPECT_NE(m.find("NOTE"), std::string::npos) << m;
}

TEST(DbaseReader, VisualFoxProBinaryFieldsNullFlagsAndVarchar) {
  TempDir dir;
  // clang-format off
  std::vector<F> fields = {{"ID", 'I', 4},          {"PRICE", 'Y', 8, 4, 0x02}, {"WHEN", 'T', 8},
                           {"RATIO", 'B', 8, 2},    {"NAME", 'V', 10, 0, 0x02}, {"CODE", 'C', 3, 0, 0x02},
                           {"_NullFlags", '0', 1, 0, 0x05}};
  // clang-format on
  // Bits: PRICE null 0; NAME length 1, null 2; CODE null 3.
  auto rec = [](int32_t id, int64_t price, uint32_t julian, uint32_t ms, double ratio, const std::string& name,
                const std::string& code, uint8_t flags) {
    std::string r = " " + Le32(static_cast<uint32_t>(id)) + Le32(static_cast<uint32_t>(price)) +
                    Le32(static_cast<uint32_t>(static_cast<uint64_t>(price) >> 32)) + Le32(julian) + Le32(ms);
    uint64_t bits;
    std::memcpy(&bits, &ratio, 8);
    r += Le32(static_cast<uint32_t>(bits)) + Le32(static_cast<uint32_t>(bits >> 32));
    std::string v = name;
    if (v.size() < 10) {
      v.resize(9, '\0');
      v += static_cast<char>(name.size());
    }
    return r + v + L(code, 3) + static_cast<char>(flags);
  };
  auto path = dir.Write(
      "vfp.dbf", Dbf(0x30, 0x03, fields,
                     {rec(-5, 123456, 2460311, 45296789, 0.25, "abc", "X", 0x02),  // 2024-01-01 12:34:56.789
                      rec(7, 0, 0, 0, -1.5, "0123456789", "", 0x0D), rec(8, -10000, 2440588, 0, 0, "", "", 0x02)},
                     {.backlink = 263}));
  auto t = OpenDbaseTable(path);
  ASSERT_EQ(t->Fields().size(), 6u);  // _NullFlags is hidden
  EXPECT_EQ(t->Fields()[0].kind, FieldKind::Integer);
  EXPECT_EQ(t->Fields()[1].kind, FieldKind::Currency);
  EXPECT_EQ(t->Fields()[2].kind, FieldKind::Timestamp);
  EXPECT_EQ(t->Fields()[3].kind, FieldKind::Number);
  EXPECT_EQ(t->Get(0, 0).i, -5);
  EXPECT_DOUBLE_EQ(t->Get(0, 1).f, 12.3456);
  Value when = t->Get(0, 2);
  EXPECT_EQ(when.date, (Date{2024, 1, 1}));
  EXPECT_EQ(when.msec, 45296789);
  EXPECT_DOUBLE_EQ(t->Get(0, 3).f, 0.25);
  EXPECT_EQ(t->Get(0, 4).text, "abc");
  EXPECT_EQ(t->Get(0, 5).text, "X");

  EXPECT_TRUE(t->Get(1, 1).IsNull());  // null bit of PRICE
  EXPECT_TRUE(t->Get(1, 2).IsNull());  // julian day 0
  EXPECT_EQ(t->Get(1, 4).type, Value::Type::Null);
  EXPECT_TRUE(t->Get(1, 5).IsNull());

  EXPECT_DOUBLE_EQ(t->Get(2, 1).f, -1.0);
  EXPECT_EQ(t->Get(2, 2).date, (Date{1970, 1, 1}));
  EXPECT_EQ(t->Get(2, 4).type, Value::Type::Text);
  EXPECT_EQ(t->Get(2, 4).text, "");
}

TEST(DbaseReader, DamagedFilesFailWithTheFileName) {
  std::vector<F> fields = {{"A", 'C', 4}, {"B", 'N', 3}};
  std::vector<std::string> records = {" abcd  1", " efgh  2"};
  std::string good = Dbf(0x03, 0, fields, records);
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty file", ""},
      {"text file", "Hello, this is not a table at all.\n"},
      {"unknown version", "\x99" + good.substr(1)},
      {"header cut short", good.substr(0, 20)},
      {"descriptors cut short", good.substr(0, 50)},
      {"records cut short", good.substr(0, good.size() - 6)},
      {"more records than the file holds", Dbf(0x03, 0, fields, records, {.count = 1000})},
      {"record count near 2^32", Dbf(0x03, 0, fields, records, {.count = -2 & 0x7FFFFFFF})},
      {"record length not the sum of widths", Dbf(0x03, 0, fields, records, {.recordSize = 9})},
      {"record length 0", Dbf(0x03, 0, fields, records, {.recordSize = 0})},
      {"header shorter than the descriptors", Dbf(0x03, 0, fields, records, {.headerSize = 60})},
      {"header longer than the file", Dbf(0x03, 0, fields, {}, {.headerSize = 5000})},
      {"field of width 0", Dbf(0x03, 0, {{"A", 'C', 0}, {"B", 'N', 3}}, {" 123"})},
      {"date field of width 4", Dbf(0x03, 0, {{"D", 'D', 4}}, {" 2024"})},
      {"integer field of width 2", Dbf(0x30, 0, {{"I", 'I', 2}}, {" 12"}, {.backlink = 263})},
  };
  for (const auto& c : cases) {
    TempDir dir;
    auto path = dir.Write("broken.dbf", c.bytes);
    std::string m = ErrorOf([&] { OpenDbaseTable(path); });
    EXPECT_NE(m.find("broken.dbf"), std::string::npos) << c.what << ": '" << m << "'";
  }
  TempDir dir;
  std::string m = ErrorOf([&] { OpenDbaseTable(dir / "absent.dbf"); });
  EXPECT_NE(m.find("absent.dbf"), std::string::npos) << m;
}

TEST(DbaseReader, DbaseSevenDescriptors) {
  // dBase 7: 68-byte header with the language driver name, 48-byte
  // descriptors, binary numbers kept so they sort as bytes.
  std::string h(68, '\0');
  h[0] = 0x04;
  std::string driver = "DB852PO0";
  h.replace(32, driver.size(), driver);
  auto desc = [](const std::string& name, char type, int size, int decimals) {
    std::string d(48, '\0');
    d.replace(0, name.size(), name);
    d[32] = type;
    d[33] = static_cast<char>(size);
    d[34] = static_cast<char>(decimals);
    return d;
  };
  h += desc("Nazwa kontrahenta", 'C', 6, 0) + desc("Licznik", 'I', 4, 0) + desc("Kwota", 'O', 8, 0) +
       desc("Kiedy", '@', 8, 0) + "\x0D";
  int headerSize = static_cast<int>(h.size());
  h.replace(4, 4, Le32(2));
  h.replace(8, 2, Le16(headerSize));
  h.replace(10, 2, Le16(27));
  // 2024-03-01 06:00:00 as milliseconds since day 0 (0001-01-01 is day 1).
  double ms = (738946.0 + 0.25) * 86400000.0;
  uint64_t msBits;
  std::memcpy(&msBits, &ms, 8);
  auto be64 = [](uint64_t v) { return Be32(static_cast<uint32_t>(v >> 32)) + Be32(static_cast<uint32_t>(v)); };
  double amount = -12.5;
  uint64_t amountBits;
  std::memcpy(&amountBits, &amount, 8);
  h += " \x9D\xA2\x64\xAB  " + Be32(0x80000000u ^ static_cast<uint32_t>(-3)) + be64(~amountBits) + be64(msBits);
  h += " " + std::string(6, ' ') + std::string(20, '\0');
  h += '\x1A';
  TempDir dir;
  auto t = OpenDbaseTable(dir.Write("d7.dbf", h));
  ASSERT_EQ(t->Fields().size(), 4u);
  EXPECT_EQ(t->Fields()[0].name, "Nazwa kontrahenta");
  EXPECT_EQ(t->Get(0, 0).text, "Łódź");  // DB852PO0: code page 852
  EXPECT_EQ(t->Get(0, 1).i, -3);
  EXPECT_DOUBLE_EQ(t->Get(0, 2).f, -12.5);
  Value when = t->Get(0, 3);
  EXPECT_EQ(when.date, (Date{2024, 3, 1}));
  EXPECT_EQ(when.msec, 6 * 3600000);
  for (size_t f = 1; f < 4; ++f) EXPECT_TRUE(t->Get(1, f).IsNull()) << f;
}

TEST(DbaseReader, DbaseTwo) {
  // dBase II: 16-byte descriptors at byte 8, records at byte 521.
  std::string h(8, '\0');
  h[0] = 0x02;
  h.replace(1, 2, Le16(2));
  h.replace(6, 2, Le16(9));
  auto desc = [](const std::string& name, char type, int size, int decimals) {
    std::string d(16, '\0');
    d.replace(0, name.size(), name);
    d[11] = type;
    d[12] = static_cast<char>(size);
    d[15] = static_cast<char>(decimals);
    return d;
  };
  h += desc("NAME", 'C', 4, 0) + desc("PAY", 'N', 4, 1) + "\x0D";
  h.resize(521, '\0');
  h += " Jan  6.5*Ewa  7.0\x1A";
  TempDir dir;
  auto t = OpenDbaseTable(dir.Write("two.dbf", h));
  ASSERT_EQ(t->RecordCount(), 1u);
  EXPECT_EQ(t->Get(0, 0).text, "Jan");
  EXPECT_DOUBLE_EQ(t->Get(0, 1).f, 6.5);
}

}  // namespace
