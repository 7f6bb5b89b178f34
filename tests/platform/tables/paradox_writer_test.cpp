// Paradox tables we write: read back identically by our reader, laid out
// byte for byte as an independent writer lays them out, and readable by an
// independent reader where one is installed.

#include "platform/tables/paradox_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include "platform/error.h"
#include "platform/tables/codepage.h"
#include "platform/tables/paradox_reader.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kx::tables;
namespace fs = std::filesystem;

namespace {

FieldDef Field(std::string name, FieldKind kind, char code = 0, int size = 0, int decimals = 0) {
  FieldDef f;
  f.name = std::move(name);
  f.kind = kind;
  f.code = code;
  f.size = size;
  f.decimals = decimals;
  return f;
}

Value Text(const char* s) { return Value::FromText(s); }
Value Int(int64_t n) { return Value::FromInt(n); }
Value Num(double d) { return Value::FromFloat(d); }
Value Bytes(std::string b) { return Value::FromBytes(std::move(b)); }

std::string Repeat(const std::string& s, size_t times) {
  std::string out;
  for (size_t k = 0; k < times; ++k) out += s;
  return out;
}

void ExpectSameValue(const Value& got, const Value& want, const std::string& where) {
  SCOPED_TRACE(where);
  if (want.type == Value::Type::Text && want.text.empty()) {
    // The format keeps no difference between empty text and null.
    EXPECT_TRUE(got.IsNull());
    return;
  }
  ASSERT_EQ(got.type, want.type);
  switch (want.type) {
    case Value::Type::Null: break;
    case Value::Type::Text:
    case Value::Type::Bytes: EXPECT_EQ(got.text, want.text); break;
    case Value::Type::Int:
    case Value::Type::Bool: EXPECT_EQ(got.i, want.i); break;
    case Value::Type::Float: EXPECT_EQ(got.f, want.f); break;
    case Value::Type::Date: EXPECT_EQ(got.date, want.date); break;
    case Value::Type::Time: EXPECT_EQ(got.msec, want.msec); break;
    case Value::Type::DateTime:
      EXPECT_EQ(got.date, want.date);
      EXPECT_EQ(got.msec, want.msec);
      break;
  }
}

// One field of every kind the writer knows.
std::vector<FieldDef> EveryKind() {
  return {Field("Nazwa", FieldKind::Text, 'A', 40),
          Field("Opis", FieldKind::Memo, 'M', 20),
          Field("Formatowana", FieldKind::Memo, 'F', 10),
          Field("Krótka", FieldKind::Short),
          Field("Długa", FieldKind::Integer),
          Field("Licznik", FieldKind::AutoInc),
          Field("Kwota", FieldKind::Number),
          Field("Waluta", FieldKind::Currency),
          Field("Dziesiętna", FieldKind::Bcd, '#', 0, 4),
          Field("Aktywny", FieldKind::Logical),
          Field("Data", FieldKind::Date),
          Field("Godzina", FieldKind::Time),
          Field("Znacznik", FieldKind::Timestamp),
          Field("Bajty", FieldKind::Bytes, 'Y', 6),
          Field("Dane", FieldKind::Blob, 'B', 12),
          Field("Obraz", FieldKind::Blob, 'G'),
          Field("Ole", FieldKind::Blob, 'O')};
}

std::vector<std::vector<Value>> EveryKindRows() {
  std::string picture = "BM" + Repeat("\x01\x00\xFF", 1200);
  return {
      {Text("Zażółć gęślą jaźń Sp. z o.o."), Text("Łódź"), Text(Repeat("Świętochłowice ", 300).c_str()), Int(12),
       Int(123456789), Int(1), Num(1234.56), Num(99.99), Num(1234.5678), Value::FromBool(true),
       Value::FromDate({2024, 1, 31}), Value::FromTime(13 * 3600000 + 5 * 60000 + 7123),
       Value::FromDateTime({2024, 2, 29}, 23 * 3600000 + 59 * 60000 + 59000),
       Bytes(std::string("\x00\x01\x02\xFF\x04\x05", 6)), Bytes("krótki"), Bytes(picture),
       Bytes(std::string(5000, '\x7F'))},
      // Zeros and negatives are values, not nulls.
      {Text(" wiodąca spacja i końcowa "), Text(""), Text("x"), Int(-32767), Int(-2147483647), Int(2), Num(0),
       Num(-0.01), Num(-12.3456), Value::FromBool(false), Value::FromDate({1899, 12, 31}), Value::FromTime(0),
       Value::FromDateTime({1, 1, 1}, 0), Bytes(std::string("\0\0\x05\0\0\0", 6)), Bytes(std::string(3000, 'b')),
       Bytes("GIF89a"), Bytes(std::string(1, '\0'))},
      std::vector<Value>(17, Value::Null()),
  };
}

class ParadoxWriterCodePage : public testing::TestWithParam<int> {};

TEST_P(ParadoxWriterCodePage, EveryKindReadsBackIdentically) {
  kxtest::TempDir dir;
  int cp = GetParam();
  auto fields = EveryKind();
  auto rows = EveryKindRows();
  ParadoxWriteOptions options;
  options.codePage = cp;
  WriteParadoxTable(dir / "wszystko.db", fields, rows, options);
  ASSERT_TRUE(fs::exists(dir / "wszystko.mb"));

  auto table = OpenParadoxFile(dir / "wszystko.db");
  EXPECT_EQ(table->Header().version, 70);
  EXPECT_EQ(table->Header().codePage, cp);
  EXPECT_EQ(table->Header().textCodePage, cp);
  EXPECT_EQ(table->Header().nextAutoInc, 2);
  ASSERT_EQ(table->Fields().size(), fields.size());
  for (size_t k = 0; k < fields.size(); ++k) {
    EXPECT_EQ(table->Fields()[k].name, fields[k].name);
    EXPECT_EQ(table->Fields()[k].kind, fields[k].kind);
    if (fields[k].code) {
      EXPECT_EQ(table->Fields()[k].code, fields[k].code);
    }
  }
  EXPECT_EQ(table->Fields()[8].decimals, 4);
  EXPECT_EQ(table->Fields()[15].size, 10);  // blob without a size keeps only its pointer
  ASSERT_EQ(table->RecordCount(), rows.size());
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t k = 0; k < fields.size(); ++k)
      ExpectSameValue(table->Get(r, k), rows[r][k], "row " + std::to_string(r) + " " + fields[k].name);

  // Bytes fields keep their size: a shorter value comes back padded.
  WriteParadoxTable(dir / "bajty.db", {Field("Y", FieldKind::Bytes, 'Y', 4)}, {{Bytes("ab")}}, options);
  EXPECT_EQ(OpenParadoxTable(dir / "bajty.db")->Get(0, 0).text, std::string("ab\0\0", 4));

  // Text is stored in the code page: one byte per Polish letter.
  EXPECT_EQ(table->RawBytes(0, 1), FromUtf8("Łódź", cp));
  EXPECT_EQ(table->RawBytes(0, 1).size(), 4u);
  EXPECT_EQ(table->RawBytes(0, 1)[0], cp == 852 ? '\x9D' : '\xA3');
}

INSTANTIATE_TEST_SUITE_P(PolishCodePages, ParadoxWriterCodePage, testing::Values(852, 1250));

// Many memos and blobs of every length: shared .mb blocks fill up, long ones
// get blocks of their own, short ones stay in the record.
TEST(ParadoxWriter, MemosOfEveryLengthReadBack) {
  kxtest::TempDir dir;
  std::vector<FieldDef> fields = {Field("Nr", FieldKind::Integer), Field("Notatka", FieldKind::Memo, 'M', 30),
                                  Field("Dane", FieldKind::Blob, 'B', 10)};
  std::vector<std::vector<Value>> rows;
  for (int r = 0; r < 400; ++r) {
    size_t len = static_cast<size_t>(r * r) % 5000;
    std::string memo;
    for (size_t k = 0; k < len; ++k) memo += static_cast<char>('a' + (k * 7 + r) % 26);
    std::string blob(static_cast<size_t>(r) * 13 % 3000, '\0');
    for (size_t k = 0; k < blob.size(); ++k) blob[k] = static_cast<char>(k * 31 + r);
    rows.push_back(
        {Int(r), memo.empty() ? Value::Null() : Value::FromText(memo), blob.empty() ? Value::Null() : Bytes(blob)});
  }
  WriteParadoxTable(dir / "notatki.db", fields, rows);
  auto table = OpenParadoxTable(dir / "notatki.db");
  ASSERT_EQ(table->RecordCount(), rows.size());
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t k = 0; k < 3; ++k) ExpectSameValue(table->Get(r, k), rows[r][k], "row " + std::to_string(r));
}

// A table without memo fields replaces one that had them: the old .mb goes.
TEST(ParadoxWriter, ReplacesTableAndItsMemoFile) {
  kxtest::TempDir dir;
  WriteParadoxTable(dir / "t.db", {Field("M", FieldKind::Memo, 'M', 11)}, {{Text("długa notatka w pliku .mb")}});
  ASSERT_TRUE(fs::exists(dir / "t.mb"));
  WriteParadoxTable(dir / "t.db", {Field("A", FieldKind::Text, 'A', 5)}, {{Text("nowa")}});
  EXPECT_FALSE(fs::exists(dir / "t.mb"));
  auto table = OpenParadoxTable(dir / "t.db");
  ASSERT_EQ(table->RecordCount(), 1u);
  EXPECT_EQ(table->Get(0, 0).text, "nowa");
  size_t files = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left
}

// Rows come out in key order whatever order they were given in; nulls first,
// negative numbers before positive ones, text by its bytes.
TEST(ParadoxWriter, KeyedTableIsSortedByKey) {
  kxtest::TempDir dir;
  std::vector<FieldDef> fields = {Field("Rok", FieldKind::Short), Field("Symbol", FieldKind::Text, 'A', 8),
                                  Field("Kwota", FieldKind::Number)};
  std::vector<std::vector<Value>> rows = {
      {Int(2024), Text("FV"), Num(1)},    {Int(-5), Text("ZZ"), Num(2)},    {Int(2024), Text("FA"), Num(3)},
      {Value::Null(), Text("A"), Num(4)}, {Int(2023), Text("FVK"), Num(5)}, {Int(2024), Text("F"), Num(6)},
      {Int(0), Value::Null(), Num(7)},    {Int(2024), Text("Ą"), Num(8)},
  };
  ParadoxWriteOptions options;
  options.keyFields = 2;
  WriteParadoxTable(dir / "klucz.db", fields, rows, options);
  auto table = OpenParadoxFile(dir / "klucz.db");
  EXPECT_EQ(table->Header().fileType, 0);
  EXPECT_EQ(table->PrimaryKey(), (std::vector<std::string>{"Rok", "Symbol"}));
  std::vector<double> order;
  for (size_t r = 0; r < table->RecordCount(); ++r) {
    order.push_back(table->Get(r, 2).f);
    EXPECT_EQ(table->ChainPosition(r), r);  // written in key order along the chain
  }
  // "Ą" is 0xA5 in cp1250, after the ASCII letters.
  EXPECT_EQ(order, (std::vector<double>{4, 2, 7, 5, 6, 3, 1, 8}));
}

TEST(ParadoxWriter, ManyRowsSpanManyBlocks) {
  kxtest::TempDir dir;
  std::vector<FieldDef> fields = {Field("Id", FieldKind::Integer), Field("Nazwa", FieldKind::Text, 'A', 60)};
  std::vector<std::vector<Value>> rows;
  for (int r = 0; r < 20000; ++r) rows.push_back({Int(19999 - r), Value::FromText("wiersz " + std::to_string(r))});
  ParadoxWriteOptions options;
  options.keyFields = 1;
  WriteParadoxTable(dir / "duza.db", fields, rows, options);
  auto table = OpenParadoxTable(dir / "duza.db");
  ASSERT_EQ(table->RecordCount(), rows.size());
  for (size_t r = 0; r < rows.size(); r += 997) {
    EXPECT_EQ(table->Get(r, 0).i, static_cast<int64_t>(r));
    EXPECT_EQ(table->Get(r, 1).text, "wiersz " + std::to_string(19999 - r));
  }
}

TEST(ParadoxWriter, EmptyTable) {
  kxtest::TempDir dir;
  WriteParadoxTable(dir / "pusta.db", {Field("A", FieldKind::Text, 'A', 10), Field("M", FieldKind::Memo)}, {});
  auto table = OpenParadoxTable(dir / "pusta.db");
  EXPECT_EQ(table->RecordCount(), 0u);
  EXPECT_EQ(table->Fields().size(), 2u);
  EXPECT_TRUE(fs::exists(dir / "pusta.mb"));
}

// Values that do not fit fail with the file and the field named, and the
// table written before stays whole.
TEST(ParadoxWriter, RefusesWhatDoesNotFit) {
  struct Case {
    const char* what;
    std::vector<FieldDef> fields;
    std::vector<Value> row;
    size_t keys;
    const char* message;
  };
  std::vector<Case> cases = {
      // clang-format off
      {"text too long", {Field("Nazwa", FieldKind::Text, 'A', 5)}, {Text("Zażółć")}, 0, "Nazwa"},
      {"outside the code page", {Field("Nazwa", FieldKind::Text, 'A', 20)}, {Text("cena → 5")}, 0, "strony kodowej"},
      {"NUL in text", {Field("Nazwa", FieldKind::Text, 'A', 20)}, {Value::FromText(std::string("a\0b", 3))}, 0, "NUL"},
      {"short out of range", {Field("Ilosc", FieldKind::Short)}, {Int(40000)}, 0, "Ilosc"},
      {"lowest long is null", {Field("Ilosc", FieldKind::Integer)}, {Int(-2147483648LL)}, 0, "Ilosc"},
      {"fraction in integer", {Field("Ilosc", FieldKind::Integer)}, {Num(1.5)}, 0, "Ilosc"},
      {"text in number", {Field("Kwota", FieldKind::Number)}, {Text("12")}, 0, "Kwota"},
      {"infinite number", {Field("Kwota", FieldKind::Currency)}, {Num(std::numeric_limits<double>::infinity())}, 0, "Kwota"},
      {"bad date", {Field("Data", FieldKind::Date)}, {Value::FromDate({2023, 2, 29})}, 0, "Data"},
      {"time past midnight", {Field("Czas", FieldKind::Time)}, {Value::FromTime(86400000)}, 0, "Czas"},
      {"too many digits", {Field("Bcd", FieldKind::Bcd, '#', 0, 20)}, {Num(1e15)}, 0, "Bcd"},
      {"bytes too long", {Field("Y", FieldKind::Bytes, 'Y', 2)}, {Bytes("abc")}, 0, "Y"},
      {"row too short", {Field("A", FieldKind::Text, 'A', 2), Field("B", FieldKind::Text, 'A', 2)}, {Text("a")}, 0,
       "wiersz 1"},
      {"memo key", {Field("M", FieldKind::Memo)}, {Text("a")}, 1, "klucza"},
      {"alpha size 0", {Field("A", FieldKind::Text, 'A', 0)}, {Text("a")}, 0, "od 1 do 255"},
      {"duplicate field", {Field("Kod", FieldKind::Short), Field("KOD", FieldKind::Short)}, {Int(1), Int(2)}, 0,
       "dwa razy"},
      {"name too long", {Field(std::string(26, 'N'), FieldKind::Short)}, {Int(1)}, 0, "od 1 do 25"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kxtest::TempDir dir;
    WriteParadoxTable(dir / "stara.db", {Field("A", FieldKind::Text, 'A', 10)}, {{Text("stara")}});
    std::string before = kxtest::ReadFile(dir / "stara.db");
    ParadoxWriteOptions options;
    options.keyFields = c.keys;
    try {
      WriteParadoxTable(dir / "stara.db", c.fields, {c.row}, options);
      ADD_FAILURE() << "written";
    } catch (const kx::Error& e) {
      std::string message = e.what();
      EXPECT_NE(message.find("stara.db"), std::string::npos) << message;
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
    EXPECT_EQ(kxtest::ReadFile(dir / "stara.db"), before);
    size_t files = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 1u);
  }
}

TEST(ParadoxWriter, RefusesDuplicateKeys) {
  kxtest::TempDir dir;
  ParadoxWriteOptions options;
  options.keyFields = 1;
  try {
    WriteParadoxTable(dir / "k.db", {Field("Id", FieldKind::Integer), Field("A", FieldKind::Text, 'A', 3)},
                      {{Int(1), Text("a")}, {Int(2), Text("b")}, {Int(1), Text("c")}}, options);
    FAIL() << "written";
  } catch (const kx::Error& e) {
    EXPECT_NE(std::string(e.what()).find("ten sam klucz"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(dir / "k.db"));
}

// The Polish tables of the shared real data were written by another Paradox
// writer from known values (SOURCE.json). Written again by us, the header's
// field list and code page and every data block byte come out the same.
TEST(ParadoxWriter, SameBytesAsAnIndependentWriter) {
  std::vector<FieldDef> fields = {Field("ID", FieldKind::Integer),      Field("NAZWA", FieldKind::Text, 'A', 40),
                                  Field("KWOTA", FieldKind::Number),    Field("DATA", FieldKind::Date),
                                  Field("AKTYWNY", FieldKind::Logical), Field("MIASTO", FieldKind::Text, 'A', 20)};
  std::vector<std::vector<Value>> rows = {
      {Int(1), Text("Zażółć gęślą jaźń Sp. z o.o."), Num(1234.56), Value::FromDate({2024, 1, 31}),
       Value::FromBool(true), Text("Łódź")},
      {Int(2), Text("PRZEDSIĘBIORSTWO ŻUK"), Num(-99.99), Value::FromDate({1999, 12, 31}), Value::FromBool(false),
       Text("Świętochłowice")},
      {Int(3), Text("Kowalski Jan"), Num(0.0), Value::FromDate({2000, 2, 29}), Value::FromBool(true), Text("Gdańsk")},
  };
  for (int cp : {852, 1250}) {
    SCOPED_TRACE(cp);
    kxtest::TempDir dir;
    ParadoxWriteOptions options;
    options.codePage = cp;
    WriteParadoxTable(dir / "polski.db", fields, rows, options);
    std::string ours = kxtest::ReadFile(dir / "polski.db");
    std::string theirs = kxtest::ReadFile(kxtest::SharedDir() / "realdata/paradox/generated-pxlib-polish" /
                                          ("polski" + std::to_string(cp) + ".db"));
    ASSERT_GE(ours.size(), 2048u + 6 + 3 * 77);
    ASSERT_GE(theirs.size(), 2048u + 6 + 3 * 77);
    EXPECT_EQ(ours.substr(0, 0x12), theirs.substr(0, 0x12));    // sizes, record and block counts
    EXPECT_EQ(ours.substr(0x21, 4), theirs.substr(0x21, 4));    // field and key counts
    EXPECT_EQ(ours.substr(0x6A, 2), theirs.substr(0x6A, 2));    // code page
    EXPECT_EQ(ours.substr(0x78, 12), theirs.substr(0x78, 12));  // field types and sizes
    EXPECT_EQ(ours.substr(2048, 6 + 3 * 77), theirs.substr(2048, 6 + 3 * 77));
  }
}

// Debian's pxlib, when installed, reads our tables: an independent reader of
// the scalar field types (it cannot read .mb files and misreads some nulls,
// so the table has neither).
TEST(ParadoxWriter, IndependentReaderReadsOurTable) {
  if (!fs::exists("/usr/include/paradox.h")) GTEST_SKIP() << "pxlib-dev is not installed";
  kxtest::TempDir dir;
  std::vector<FieldDef> fields = {Field("Id", FieldKind::AutoInc),      Field("Nazwa", FieldKind::Text, 'A', 30),
                                  Field("Ilość", FieldKind::Short),     Field("Suma", FieldKind::Integer),
                                  Field("Kwota", FieldKind::Currency),  Field("Kurs", FieldKind::Number),
                                  Field("Jest", FieldKind::Logical),    Field("Dzień", FieldKind::Date),
                                  Field("Czas", FieldKind::Time),       Field("Bcd", FieldKind::Bcd, '#', 0, 2),
                                  Field("Kiedy", FieldKind::Timestamp), Field("Kod", FieldKind::Bytes, 'Y', 3)};
  std::vector<std::vector<Value>> rows;
  for (int r = 1; r <= 300; ++r)
    rows.push_back({Int(r), Value::FromText("Łódź nr " + std::to_string(r)), Int(-r), Int(r * 100000), Num(r * 1.25),
                    Num(-r / 8.0), Value::FromBool(r % 2 == 0),
                    Value::FromDate({2000 + r % 30, 1 + r % 12, 1 + r % 28}), Value::FromTime(r * 1000),
                    Num(r * 1.5 - 100), Value::FromDateTime({2024, 3, 1 + r % 28}, r * 60000),
                    Bytes(std::string("\x01\x02", 2) + static_cast<char>(r))});
  ParadoxWriteOptions options;
  options.codePage = 1250;
  options.keyFields = 1;
  WriteParadoxTable(dir / "pxlib.db", fields, rows, options);

  const char* program = R"(#include <stdio.h>
#include <string.h>
#include <paradox.h>
int main(int argc, char **argv) {
  PX_boot();
  pxdoc_t *px = PX_new();
  if (PX_open_file(px, argv[1]) < 0) return 1;
  int nf = PX_get_num_fields(px), n = PX_get_num_records(px);
  pxfield_t *f = PX_get_fields(px);
  printf("%d %d\n", nf, n);
  char rec[4096];
  for (int r = 0; r < n; r++) {
    if (!PX_get_record(px, r, rec)) return 2;
    int off = 0;
    for (int i = 0; i < nf; i++) {
      char *p = rec + off; int len = f[i].px_flen;
      long l; short s; double d; char c; char *str;
      switch (f[i].px_ftype) {
        case pxfAlpha: PX_get_data_alpha(px, p, len, &str); printf("%s|", str); break;
        case pxfShort: PX_get_data_short(px, p, len, &s); printf("%d|", s); break;
        case pxfLong: case pxfAutoInc: case pxfDate: case pxfTime: PX_get_data_long(px, p, len, &l); printf("%ld|", l); break;
        case pxfCurrency: case pxfNumber: case pxfTimestamp: PX_get_data_double(px, p, len, &d); printf("%.17g|", d); break;
        case pxfLogical: PX_get_data_byte(px, p, len, &c); printf("%d|", c); break;
        case pxfBCD: PX_get_data_bcd(px, (unsigned char *)p, f[i].px_fdc, &str); printf("%s|", str); break;
        case pxfBytes: PX_get_data_bytes(px, p, len, &str); for (int k = 0; k < len; k++) printf("%02x", (unsigned char)str[k]); printf("|"); break;
      }
      off += len;
    }
    printf("\n");
  }
  return 0;
}
)";
  std::ofstream(dir / "read.c") << program;
  std::string build = "cc -o " + (dir / "read").string() + " " + (dir / "read.c").string() + " -lpx 2>&1";
  ASSERT_EQ(std::system(build.c_str()), 0) << build;
  std::string run = (dir / "read").string() + " " + (dir / "pxlib.db").string() + " > " + (dir / "out.txt").string();
  ASSERT_EQ(std::system(run.c_str()), 0);
  std::istringstream out(kxtest::ReadFile(dir / "out.txt"));
  std::string line;
  std::getline(out, line);
  EXPECT_EQ(line, "12 300");
  for (size_t r = 0; r < rows.size(); ++r) {
    ASSERT_TRUE(std::getline(out, line));
    const auto& v = rows[r];
    char buf[512];
    int days = static_cast<int>(DaysFromCivil(v[7].date));
    double stamp = static_cast<double>(DaysFromCivil(v[10].date)) * 86400000.0 + v[10].msec;
    std::snprintf(buf, sizeof buf, "%lld|%s|%lld|%lld|%.17g|%.17g|%d|%d|%d|%.2f|%.17g|0102%02x|",
                  static_cast<long long>(v[0].i), FromUtf8(v[1].text, 1250).c_str(), static_cast<long long>(v[2].i),
                  static_cast<long long>(v[3].i), v[4].f, v[5].f, static_cast<int>(v[6].i), days, v[8].msec, v[9].f,
                  stamp, static_cast<unsigned>(r + 1) & 0xFF);
    EXPECT_EQ(line, buf) << "record " << r;
  }
}

}  // namespace
