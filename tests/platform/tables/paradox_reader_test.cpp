// The Paradox reader on small tables shaped to show one behaviour each: key
// order, the block chain, memo files that are missing or damaged, damaged
// and foreign files. The real tables are checked in paradox_realdata_test.

#include "platform/tables/paradox_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "platform/error.h"
#include "platform/tables/paradox_format.h"
#include "platform/tables/paradox_writer.h"
#include "support/temp_dir.h"

using namespace kx::tables;
namespace fs = std::filesystem;

namespace {

FieldDef Field(std::string name, FieldKind kind, char code = 0, int size = 0) {
  FieldDef f;
  f.name = std::move(name);
  f.kind = kind;
  f.code = code;
  f.size = size;
  return f;
}

void PutLe16(std::string& bytes, size_t at, uint32_t v) {
  bytes[at] = static_cast<char>(v);
  bytes[at + 1] = static_cast<char>(v >> 8);
}
void PutLe32(std::string& bytes, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(v >> (8 * k));
}

// Expects opening (and reading every value of) the file to fail with a
// kx::Error naming the file.
void ExpectRefused(const fs::path& file, const std::string& messagePart) {
  try {
    auto table = OpenParadoxTable(file);
    for (size_t r = 0; r < table->RecordCount(); ++r)
      for (size_t k = 0; k < table->Fields().size(); ++k) table->Get(r, k);
    ADD_FAILURE() << "read without an error";
  } catch (const kx::Error& e) {
    std::string message = e.what();
    EXPECT_NE(message.find(file.filename().string()), std::string::npos) << message;
    EXPECT_NE(message.find(messagePart), std::string::npos) << message;
  }
}

// Non-keyed table: Id (I), Nazwa (A20), Notatka (M, 5 bytes in the record);
// 500 records in 10 blocks of 2 KB.
class ParadoxReaderDamage : public testing::Test {
 protected:
  void SetUp() override {
    std::vector<FieldDef> fields = {Field("Id", FieldKind::Integer), Field("Nazwa", FieldKind::Text, 'A', 20),
                                    Field("Notatka", FieldKind::Memo, 'M', 15)};
    std::vector<std::vector<Value>> rows;
    for (int r = 0; r < 500; ++r)
      rows.push_back({Value::FromInt(r), Value::FromText("Wiersz " + std::to_string(r)),
                      r % 3 == 0 ? Value::FromText("krót") : Value::FromText(std::string(100 + r * 7, 'm'))});
    WriteParadoxTable(m_dir / "wzor.db", fields, rows);
    m_bytes = kxtest::ReadFile(m_dir / "wzor.db");
    ASSERT_EQ(m_bytes.size(), 2048u + 10 * 2048);
  }

  fs::path Damaged(const std::string& bytes) const { return m_dir.Write("uszkodzona.db", bytes); }
  size_t BlockAt(size_t block) const { return 2048 + (block - 1) * 2048; }

  kxtest::TempDir m_dir;
  std::string m_bytes;
};

TEST_F(ParadoxReaderDamage, DamagedFilesFailNamingTheFile) {
  using paradox::kFieldInfoV4;
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
    const char* message;
  };
  std::vector<Case> cases = {
      {"empty file", [](std::string& b) { b.clear(); }, "nie jest poprawną tabelą Paradox"},
      {"cut in the header", [](std::string& b) { b.resize(40); }, "krótszy niż nagłówek"},
      {"cut in the field list", [](std::string& b) { b.resize(0x90); }, "nagłówek jest dłuższy niż plik"},
      {"cut in the last block", [](std::string& b) { b.resize(b.size() - 1000); }, "ucięty"},
      {"cut after the header", [](std::string& b) { b.resize(2048 + 3); }, "ucięty"},
      {"garbage",
       [](std::string& b) {
         std::mt19937 random(7);
         for (char& c : b) c = static_cast<char>(random());
       },
       "nie jest poprawną tabelą Paradox"},
      {"huge record count", [](std::string& b) { PutLe32(b, 0x06, 0xFFFFFFFF); }, "nagłówek podaje"},
      {"one record more than the blocks", [](std::string& b) { PutLe32(b, 0x06, 501); }, "nagłówek podaje 501"},
      {"one record fewer than the blocks", [](std::string& b) { PutLe32(b, 0x06, 499); }, "więcej rekordów"},
      {"field list beyond the header", [](std::string& b) { PutLe16(b, 0x21, 2000); }, "poza nagłówek"},
      {"cyclic chain", [this](std::string& b) { PutLe16(b, BlockAt(3), 2); }, "zapętlony"},
      {"chain into itself", [](std::string& b) { PutLe16(b, 2048, 1); }, "zapętlony"},
      {"block beyond the file", [](std::string& b) { PutLe16(b, 2048, 500); }, "poza plikiem"},
      {"first block beyond the file", [](std::string& b) { PutLe16(b, 0x0E, 11); }, "poza plikiem"},
      {"record size not the fields'", [](std::string& b) { PutLe16(b, 0x00, 40); }, "długość rekordu"},
      {"record size zero", [](std::string& b) { PutLe16(b, 0x00, 0); }, "długość rekordu"},
      {"unknown field type", [](std::string& b) { b[kFieldInfoV4 + 2] = 0x42; }, "nieznany typ"},
      {"number field of 4 bytes", [](std::string& b) { b[kFieldInfoV4] = 0x06; }, "typu N ma długość 4"},
      {"primary index instead", [](std::string& b) { b[0x04] = 1; }, "indeksu"},
      {"block size zero", [](std::string& b) { b[0x05] = 0; }, "rozmiar bloku"},
      {"unknown version", [](std::string& b) { b[0x39] = 99; }, "wersja"},
      {"more key fields than fields", [](std::string& b) { PutLe16(b, 0x23, 4); }, "klucz"},
      {"last record offset beyond the block", [](std::string& b) { PutLe16(b, 2048 + 4, 52 * 39); }, "mieści"},
      {"last record offset not a record", [](std::string& b) { PutLe16(b, 2048 + 4, 100); }, "długość danych"},
      {"field names unterminated",
       [](std::string& b) {
         for (size_t k = 0x78 + 6 + 4 + 12 + 261; k < 2048; ++k) b[k] = 'x';
       },
       "nazwy pól"},
      {"header size beyond the file", [](std::string& b) { PutLe16(b, 0x02, 0xF000); }, "dłuższy niż plik"},
      {"header too short for its version", [](std::string& b) { PutLe16(b, 0x02, 0x60); }, "za krótki nagłówek"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = m_bytes;
    c.damage(bytes);
    ExpectRefused(Damaged(bytes), c.message);
  }
}

// Random single-byte damage anywhere must never crash nor read past the
// file: the table opens and reads, or fails with kx::Error.
TEST_F(ParadoxReaderDamage, RandomDamageFailsCleanly) {
  fs::copy_file(m_dir / "wzor.mb", m_dir / "uszkodzona.mb");
  std::mt19937 random(2024);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = m_bytes;
    for (int k = 0; k < 4; ++k) {
      size_t at = random() % (round % 2 ? bytes.size() : 0x200);
      bytes[at] = static_cast<char>(random());
    }
    fs::path file = Damaged(bytes);
    try {
      auto table = OpenParadoxTable(file);
      for (size_t r = 0; r < table->RecordCount(); ++r)
        for (size_t k = 0; k < table->Fields().size(); ++k) table->Get(r, k);
    } catch (const kx::Error& e) {
      EXPECT_NE(std::string(e.what()).find("uszkodzona."), std::string::npos) << e.what();
    }
  }
}

TEST_F(ParadoxReaderDamage, MissingMemoFileFailsOnlyForMemosKeptThere) {
  fs::path db = m_dir / "wzor.db";
  fs::remove(m_dir / "wzor.mb");
  auto table = OpenParadoxTable(db);
  ASSERT_EQ(table->RecordCount(), 500u);
  EXPECT_EQ(table->Get(1, 1).text, "Wiersz 1");
  EXPECT_EQ(table->Get(0, 2).text, "krót");  // whole in the record
  try {
    table->Get(1, 2);
    FAIL() << "memo read without its file";
  } catch (const kx::Error& e) {
    std::string message = e.what();
    EXPECT_NE(message.find("wzor.mb"), std::string::npos) << message;
    EXPECT_NE(message.find("wzor.db"), std::string::npos) << message;
  }
}

TEST_F(ParadoxReaderDamage, DamagedMemoFileFailsNamingIt) {
  std::string mb = kxtest::ReadFile(m_dir / "wzor.mb");
  struct Case {
    const char* what;
    std::function<void(std::string& db, std::string& mb)> damage;
  };
  // Record 1 (chain position 1) keeps its memo in the .mb file.
  size_t pointer = 2048 + 6 + 39 + 4 + 20 + 5;
  std::vector<Case> cases = {
      {"cut .mb", [](std::string&, std::string& m) { m.resize(4096 + 100); }},
      {"empty .mb", [](std::string&, std::string& m) { m.clear(); }},
      {"pointer beyond the .mb", [&](std::string& d, std::string&) { PutLe32(d, pointer, 0x7FFFFF01); }},
      {"pointer to the header block", [&](std::string& d, std::string&) { PutLe32(d, pointer, 0x000000FF); }},
      {"length longer than the entry", [&](std::string& d, std::string&) { PutLe32(d, pointer + 4, 4000); }},
      {"entry out of the block", [&](std::string& d, std::string&) { d[pointer] = 70; }},
      {"block of the wrong type", [](std::string&, std::string& m) { m[4096] = 2; }},
      {"entry pointing past the block", [](std::string&, std::string& m) { m[4096 + 12] = static_cast<char>(0xFF); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string db = m_bytes, memo = mb;
    c.damage(db, memo);
    m_dir.Write("uszkodzona.mb", memo);
    fs::path file = Damaged(db);
    auto table = OpenParadoxTable(file);
    try {
      for (size_t r = 0; r < table->RecordCount(); ++r) table->Get(r, 2);
      ADD_FAILURE() << "read without an error";
    } catch (const kx::Error& e) {
      EXPECT_NE(std::string(e.what()).find("uszkodzona."), std::string::npos) << e.what();
    }
  }
}

TEST_F(ParadoxReaderDamage, ProtectedTableIsRefused) {
  std::string bytes = m_bytes;
  PutLe32(bytes, paradox::kEncryption2At, 170254490);
  ExpectRefused(Damaged(bytes), "jest chroniona hasłem");
}

TEST_F(ParadoxReaderDamage, CodePageTheConverterDoesNotKnow) {
  std::string bytes = m_bytes;
  PutLe16(bytes, paradox::kCodePageAt, 12345);
  fs::path file = Damaged(bytes);
  ExpectRefused(file, "nieobsługiwaną stronę kodową 12345");
  OpenOptions options;
  options.forceCodePage = 1250;
  EXPECT_EQ(OpenParadoxTable(file, options)->Get(7, 1).text, "Wiersz 7");
}

TEST_F(ParadoxReaderDamage, MissingFileAndOutOfRange) {
  ExpectRefused(m_dir / "brak.db", "Brak pliku");
  auto table = OpenParadoxTable(m_dir / "wzor.db");
  EXPECT_THROW(table->Get(500, 0), kx::Error);
  EXPECT_THROW(table->Get(0, 3), kx::Error);
}

// Records follow the chain of blocks, not their numbers.
TEST_F(ParadoxReaderDamage, RecordsFollowTheBlockChain) {
  std::string bytes = m_bytes;
  // Chain: 3, 1, 2, 4, 5 ... 10.
  PutLe16(bytes, 0x0E, 3);
  PutLe16(bytes, BlockAt(3), 1);
  PutLe16(bytes, BlockAt(1), 2);
  PutLe16(bytes, BlockAt(2), 4);
  auto table = OpenParadoxTable(Damaged(bytes));
  ASSERT_EQ(table->RecordCount(), 500u);
  std::vector<int64_t> ids;
  for (size_t r = 0; r < table->RecordCount(); ++r) ids.push_back(table->Get(r, 0).i);
  std::vector<int64_t> expected;
  for (int b : {3, 1, 2, 4, 5, 6, 7, 8, 9, 10})
    for (int k = 0; k < 52 && (b - 1) * 52 + k < 500; ++k) expected.push_back((b - 1) * 52 + k);
  EXPECT_EQ(ids, expected);
}

// A keyed table whose records are not in key order along the chain (as
// other writers leave them) is read in key order: nulls first, negative
// before positive, equal keys in chain order.
TEST(ParadoxReaderKeys, UnsortedKeyedTableReadsInKeyOrder) {
  kxtest::TempDir dir;
  std::vector<FieldDef> fields = {Field("Konto", FieldKind::Integer), Field("Strona", FieldKind::Text, 'A', 2),
                                  Field("Lp", FieldKind::Short)};
  std::vector<std::vector<Value>> rows;
  const std::vector<std::pair<Value, const char*>> keys = {{Value::FromInt(5), "Wn"},    {Value::FromInt(-3), "Ma"},
                                                           {Value::Null(), "Wn"},        {Value::FromInt(0), "Ma"},
                                                           {Value::FromInt(100000), ""}, {Value::FromInt(-3), "Ma"},
                                                           {Value::FromInt(5), "Ma"},    {Value::FromInt(-400), "Wn"}};
  for (size_t k = 0; k < keys.size(); ++k)
    rows.push_back({keys[k].first, Value::FromText(keys[k].second), Value::FromInt(static_cast<int64_t>(k))});
  WriteParadoxTable(dir / "zapisy.db", fields, rows);  // written unkeyed, in the order given
  std::string bytes = kxtest::ReadFile(dir / "zapisy.db");
  bytes[paradox::kFileTypeAt] = 0;
  PutLe16(bytes, paradox::kKeyFieldCountAt, 2);
  dir.Write("zapisy.db", bytes);

  auto table = OpenParadoxFile(dir / "zapisy.db");
  EXPECT_EQ(table->PrimaryKey(), (std::vector<std::string>{"Konto", "Strona"}));
  std::vector<int64_t> order;
  for (size_t r = 0; r < table->RecordCount(); ++r) {
    order.push_back(table->Get(r, 2).i);
    EXPECT_EQ(table->ChainPosition(r), static_cast<size_t>(table->Get(r, 2).i));
  }
  EXPECT_EQ(order, (std::vector<int64_t>{2, 7, 1, 5, 3, 6, 0, 4}));

  // One key field: "Ma" and "Wn" of account 5 keep their chain order.
  PutLe16(bytes, paradox::kKeyFieldCountAt, 1);
  dir.Write("zapisy.db", bytes);
  table = OpenParadoxFile(dir / "zapisy.db");
  order.clear();
  for (size_t r = 0; r < table->RecordCount(); ++r) order.push_back(table->Get(r, 2).i);
  EXPECT_EQ(order, (std::vector<int64_t>{2, 7, 1, 5, 3, 0, 6, 4}));
}

}  // namespace
