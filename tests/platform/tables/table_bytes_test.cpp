// The Paradox and dBase readers on tables held in memory: the same values as
// from the files, the files beside the table given as bytes, and damaged
// bytes refused with messages that use the name the caller gave.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/tables/dbase_reader.h"
#include "platform/tables/dbase_writer.h"
#include "platform/tables/paradox_reader.h"
#include "platform/tables/paradox_writer.h"
#include "support/temp_dir.h"

using namespace kx::tables;
namespace fs = std::filesystem;

namespace {

FieldDef Field(std::string name, FieldKind kind, char code, int size = 0, int decimals = 0) {
  FieldDef f;
  f.name = std::move(name);
  f.kind = kind;
  f.code = code;
  f.size = size;
  f.decimals = decimals;
  return f;
}

void PutLe16(std::string& bytes, size_t at, uint32_t v) {
  bytes[at] = static_cast<char>(v);
  bytes[at + 1] = static_cast<char>(v >> 8);
}
void PutLe32(std::string& bytes, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(v >> (8 * k));
}

std::string Show(const Value& v) {
  switch (v.type) {
    case Value::Type::Null: return "null";
    case Value::Type::Text: return "text:" + v.text;
    case Value::Type::Bytes: return "bytes:" + v.text;
    case Value::Type::Int: return "int:" + std::to_string(v.i);
    case Value::Type::Bool: return "bool:" + std::to_string(v.i);
    case Value::Type::Float: return "float:" + NumberText(v.f);
    case Value::Type::Date: return "date:" + DateText(v.date);
    case Value::Type::Time: return "time:" + TimeText(v.msec);
    case Value::Type::DateTime: return "datetime:" + DateTimeText(v.date, v.msec);
  }
  return "?";
}

// Fields, key and every value of a table, one line each; a value that fails
// to read shows its message without the table's name.
std::vector<std::string> Dump(const TableSource& table) {
  std::vector<std::string> lines;
  for (const FieldDef& f : table.Fields())
    lines.push_back(f.name + " " + f.code + " " + std::to_string(f.size) + "." + std::to_string(f.decimals));
  for (const std::string& k : table.PrimaryKey()) lines.push_back("key " + k);
  for (size_t r = 0; r < table.RecordCount(); ++r) {
    for (size_t k = 0; k < table.Fields().size(); ++k) {
      try {
        lines.push_back(Show(table.Get(r, k)));
      } catch (const kx::Error&) {
        lines.push_back("error");
      }
    }
  }
  return lines;
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const kx::Error& e) {
    return e.what();
  }
  return "";
}

void ReadAll(const TableSource& table) {
  for (size_t r = 0; r < table.RecordCount(); ++r)
    for (size_t k = 0; k < table.Fields().size(); ++k) table.Get(r, k);
}

// --- Paradox ----------------------------------------------------------------

// Keyed table with a memo (short ones whole in the record, long ones in the
// .mb file), a blob and the common kinds; rows given out of key order.
class ParadoxBytes : public testing::Test {
 protected:
  void SetUp() override {
    std::vector<FieldDef> fields = {
        Field("Nr", FieldKind::Integer, 'I'),        Field("Nazwa", FieldKind::Text, 'A', 24),
        Field("Kwota", FieldKind::Number, 'N'),      Field("Dzień", FieldKind::Date, 'D'),
        Field("Zapłacono", FieldKind::Logical, 'L'), Field("Kiedy", FieldKind::Timestamp, '@'),
        Field("Notatka", FieldKind::Memo, 'M', 20),  Field("Skan", FieldKind::Blob, 'B', 10)};
    std::vector<std::vector<Value>> rows;
    for (int r = 0; r < 120; ++r) {
      int nr = (r * 37) % 120;
      rows.push_back({Value::FromInt(nr), Value::FromText("Łódź " + std::to_string(nr)),
                      r % 5 ? Value::FromFloat(nr * 1.25 - 30) : Value::Null(),
                      Value::FromDate({2024, 1 + nr % 12, 1 + nr % 28}), Value::FromBool(nr % 2 == 0),
                      Value::FromDateTime({2024, 5, 31}, nr * 1000),
                      nr % 3 ? Value::FromText(std::string(40 + nr * 9, 'a' + nr % 26)) : Value::FromText("krótka"),
                      nr % 4 ? Value::FromBytes(std::string(300 + nr, static_cast<char>(nr))) : Value::Null()});
    }
    m_db = m_dir / "kasa.db";
    WriteParadoxTable(m_db, fields, rows, {.codePage = 1250, .keyFields = 1});
    m_dbBytes = kxtest::ReadFile(m_db);
    m_mbBytes = kxtest::ReadFile(m_dir / "kasa.mb");
  }

  kxtest::TempDir m_dir;
  fs::path m_db;
  std::string m_dbBytes, m_mbBytes;
};

TEST_F(ParadoxBytes, GivesWhatTheFileGives) {
  auto fromFile = OpenParadoxFile(m_db);
  auto fromBytes = OpenParadoxBytes("kasa.db", m_dbBytes, m_mbBytes);
  EXPECT_EQ(fromBytes->FilePath(), "kasa.db");
  ASSERT_EQ(fromBytes->RecordCount(), 120u);
  EXPECT_EQ(Dump(*fromBytes), Dump(*fromFile));
  EXPECT_EQ(fromBytes->Get(5, 6).text, std::string(40 + 5 * 9, 'f'));  // kept in the .mb
  EXPECT_EQ(fromBytes->Header().version, fromFile->Header().version);
  EXPECT_EQ(fromBytes->Header().codePage, 1250);
  for (size_t r = 0; r < fromFile->RecordCount(); ++r) {
    EXPECT_EQ(fromBytes->ChainPosition(r), fromFile->ChainPosition(r));
    for (size_t k = 0; k < fromFile->Fields().size(); ++k)
      EXPECT_EQ(fromBytes->RawBytes(r, k), fromFile->RawBytes(r, k)) << r << " " << k;
  }
}

// The bytes are copied: the caller's buffers may change after opening, also
// before the first memo is read.
TEST_F(ParadoxBytes, KeepsItsOwnCopy) {
  std::string db = m_dbBytes, mb = m_mbBytes;
  auto table = OpenParadoxBytes("kasa.db", db, mb);
  db.assign(db.size(), '\x55');
  mb.assign(mb.size(), '\x55');
  EXPECT_EQ(Dump(*table), Dump(*OpenParadoxBytes("kasa.db", m_dbBytes, m_mbBytes)));
}

TEST_F(ParadoxBytes, WithoutMemoBytesOnlyMemosKeptThereFail) {
  auto table = OpenParadoxBytes("wejście/kasa.db", m_dbBytes);
  EXPECT_EQ(table->Get(3, 1).text, "Łódź 3");
  EXPECT_EQ(table->Get(3, 6).text, "krótka");  // whole in the record
  std::string message = ErrorOf([&] { table->Get(5, 6); });
  EXPECT_NE(message.find("wejście/kasa.mb"), std::string::npos) << message;
  EXPECT_NE(message.find("wejście/kasa.db"), std::string::npos) << message;
}

TEST_F(ParadoxBytes, DamagedBytesFailNamingTheGivenName) {
  struct Case {
    const char* what;
    std::function<void(std::string& db, std::string& mb)> damage;
    const char* message;
    const char* named;  // the file the message names
  };
  auto table = OpenParadoxBytes("kasa.db", m_dbBytes, m_mbBytes);
  const size_t firstBlock = table->Header().headerSize;
  // Record 5 lies in the first block and keeps its memo in the .mb file; the
  // memo's pointer is the last 10 bytes of its field.
  const size_t memoPointer = firstBlock + 6 + 5 * table->Header().recordSize + 4 + 24 + 8 + 4 + 1 + 8 + 10;
  std::vector<Case> cases = {
      {"empty", [](std::string& d, std::string&) { d.clear(); }, "krótszy niż nagłówek", "Z/kasa.db"},
      {"cut in the header", [](std::string& d, std::string&) { d.resize(0x40); }, "krótszy niż nagłówek", "Z/kasa.db"},
      {"huge record count", [](std::string& d, std::string&) { PutLe32(d, 0x06, 0xFFFFFFFF); }, "nagłówek podaje",
       "Z/kasa.db"},
      {"field list beyond the header", [](std::string& d, std::string&) { PutLe16(d, 0x21, 2000); }, "poza nagłówek",
       "Z/kasa.db"},
      {"chain into itself", [&](std::string& d, std::string&) { PutLe16(d, firstBlock, 1); }, "zapętlony", "Z/kasa.db"},
      {"memo pointer beyond the .mb", [&](std::string& d, std::string&) { PutLe32(d, memoPointer, 0x7FFFFF01); },
       "poza plikiem", "Z/kasa.mb"},
      {"cut .mb", [](std::string&, std::string& m) { m.resize(4096 + 16); }, "notatek", "Z/kasa.mb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string db = m_dbBytes, mb = m_mbBytes;
    c.damage(db, mb);
    std::string message = ErrorOf([&] { ReadAll(*OpenParadoxBytes("Z/kasa.db", db, mb)); });
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_NE(message.find(c.named), std::string::npos) << message;
  }
}

// --- dBase ------------------------------------------------------------------

constexpr size_t kDbaseRecords = 30;

// A register written by the dBase writer, with a memo field when asked.
fs::path WriteRegister(const fs::path& dir, uint8_t version, int codePage, bool memo) {
  std::vector<FieldDef> fields = {Field("NR", FieldKind::Integer, 'N', 6), Field("NAZWA", FieldKind::Text, 'C', 20),
                                  Field("KWOTA", FieldKind::Number, 'N', 12, 2),
                                  Field("DZIEN", FieldKind::Date, 'D', 8), Field("OK", FieldKind::Logical, 'L', 1)};
  if (memo) fields.push_back(Field("NOTATKA", FieldKind::Memo, 'M', 10));
  std::vector<std::vector<Value>> rows;
  for (size_t r = 0; r < kDbaseRecords; ++r) {
    int n = static_cast<int>(r);
    rows.push_back({Value::FromInt(n), Value::FromText("Łódź " + std::to_string(n)),
                    n % 4 ? Value::FromFloat(n * 10.5) : Value::Null(), Value::FromDate({2024, 2, 1 + n % 28}),
                    Value::FromBool(n % 3 == 0)});
    if (memo) rows.back().push_back(n % 5 ? Value::FromText("notatka " + std::string(n * 40, 'x')) : Value::Null());
  }
  fs::path dbf = dir / "rejestr.dbf";
  CreateDbaseTable(dbf, fields, rows, {.version = version, .codePage = codePage});
  return dbf;
}

TEST(DbaseBytes, GivesWhatTheFilesGive) {
  struct Case {
    const char* what;
    uint8_t version;
    int codePage;
    const char* memoFile;  // the memo file the writer leaves, or null
    DbaseMemoKind memoKind;
    const char* cpg;  // a .cpg file replacing the header's language driver, or null
  } cases[] = {
      {"dBase III with .dbt", 0x83, 1250, "rejestr.dbt", DbaseMemoKind::Dbt, nullptr},
      {"FoxPro with .fpt", 0xF5, 852, "rejestr.fpt", DbaseMemoKind::Fpt, nullptr},
      {"code page from the .cpg", 0x03, 1250, nullptr, DbaseMemoKind::Dbt, "ANSI 1250"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kxtest::TempDir dir;
    fs::path dbf = WriteRegister(dir.Path(), c.version, c.codePage, c.memoFile != nullptr);
    std::string dbfBytes = kxtest::ReadFile(dbf);
    if (c.cpg) {
      dbfBytes[29] = 0;  // the header names no code page
      dir.Write("rejestr.dbf", dbfBytes);
      dir.Write("rejestr.cpg", c.cpg);
    }
    DbaseBytes files{.dbf = dbfBytes, .memoKind = c.memoKind};
    std::string memo;
    if (c.memoFile) {
      memo = kxtest::ReadFile(dir / c.memoFile);
      files.memo = memo;
    }
    if (c.cpg) files.cpg = c.cpg;

    auto fromFile = OpenDbaseTable(dbf);
    auto fromBytes = OpenDbaseBytes("rejestr.dbf", files);
    EXPECT_EQ(fromBytes->FilePath(), "rejestr.dbf");
    ASSERT_EQ(fromBytes->RecordCount(), kDbaseRecords);
    EXPECT_EQ(Dump(*fromBytes), Dump(*fromFile));
    EXPECT_EQ(fromBytes->Get(7, 1).text, "Łódź 7");
    if (c.memoFile) {
      EXPECT_EQ(fromBytes->Get(7, 5).text, "notatka " + std::string(280, 'x'));
    }
  }
}

TEST(DbaseBytes, DamagedBytesFailNamingTheGivenName) {
  kxtest::TempDir dir;
  fs::path dbf = WriteRegister(dir.Path(), 0x83, 1250, true);
  const std::string good = kxtest::ReadFile(dbf), goodMemo = kxtest::ReadFile(dir / "rejestr.dbt");
  const size_t headerSize = static_cast<unsigned char>(good[8]) | static_cast<unsigned char>(good[9]) << 8;
  const size_t recordSize = static_cast<unsigned char>(good[10]) | static_cast<unsigned char>(good[11]) << 8;
  // The memo pointer of record 1: after the deletion flag and five fields.
  const size_t memoPointer = headerSize + recordSize + 1 + 6 + 20 + 12 + 8 + 1;
  struct Case {
    const char* what;
    std::function<void(std::string& dbf, std::optional<std::string>& memo)> damage;
    const char* message;
    const char* named;
  } cases[] = {
      {"empty", [](auto& d, auto&) { d.clear(); }, "jest pusty", "Z/rejestr.dbf"},
      {"cut in the header", [](auto& d, auto&) { d.resize(20); }, "za krótki", "Z/rejestr.dbf"},
      {"huge record count", [](auto& d, auto&) { PutLe32(d, 4, 0x7FFFFFFE); }, "obcięta", "Z/rejestr.dbf"},
      {"descriptors beyond the header", [](auto& d, auto&) { PutLe16(d, 8, 60); }, "opisy pól", "Z/rejestr.dbf"},
      {"memo block beyond the memo", [&](auto& d, auto&) { d.replace(memoPointer, 10, "    999999"); }, "blok 999999",
       "Z/rejestr.dbt"},
      {"cut memo", [](auto&, auto& m) { m->resize(600); }, "leży poza plikiem", "Z/rejestr.dbt"},
      {"no memo", [](auto&, auto& m) { m.reset(); }, "Brak pliku memo", "Z/rejestr.dbf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    std::optional<std::string> memo = goodMemo;
    c.damage(bytes, memo);
    DbaseBytes files{.dbf = bytes};
    if (memo) files.memo = *memo;
    std::string message = ErrorOf([&] { ReadAll(*OpenDbaseBytes("Z/rejestr.dbf", files)); });
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_NE(message.find(c.named), std::string::npos) << message;
  }
}

}  // namespace
