#include "platform/tables/table.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/error.h"
#include "fixtures/table_builder.h"
#include "platform/tables/table_file.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kx::tables;
using kxtest::MemoryTable;
using kxtest::TableBuilder;

namespace {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const kx::Error& e) {
    return e.what();
  }
  return "(no error)";
}

// The warehouse program's tables of May 2024 (document headers WI with rows
// WT, goods W, series WS, register REG, contractors UR and Users), stated out
// of key order.
std::map<std::string, TableBuilder> Warehouse() {
  std::map<std::string, TableBuilder> t;
  auto& wi = t.emplace("24_05WI", TableBuilder("24_05WI")).first->second;
  // clang-format off
  wi.Field("Type", FieldKind::Short).Field("Year", FieldKind::Short).Field("MagId", FieldKind::Short)
      .Field("Number", FieldKind::Integer).Field("Name", FieldKind::Text, 20).Field("Date", FieldKind::Date)
      .Field("User", FieldKind::Integer).Field("MasterType", FieldKind::Short).Field("MasterYear", FieldKind::Short)
      .Field("MasterMagId", FieldKind::Short).Field("MasterNumber", FieldKind::Integer)
      .Key(4)
      .Row({2, 2024, 1, 7, "FW 7/2024", Date{2024, 5, 10}, 100, nullptr, nullptr, nullptr, nullptr})
      .Row({0, 2024, 1, 5, "FV 5/2024", Date{2024, 5, 2}, 101, nullptr, nullptr, nullptr, nullptr})
      .Row({0, 2024, 1, 3, "FV 3/2024", Date{2024, 4, 28}, 100, nullptr, nullptr, nullptr, nullptr})
      .Row({1, 2024, 1, 1, "KFV 1/2024", Date{2024, 5, 20}, 101, 0, 2024, 1, 5})
      .Row({0, 2024, 2, 5, "FV 5/2024/M2", Date{2024, 5, 31}, 102, nullptr, nullptr, nullptr, nullptr});
  // clang-format on
  auto& wt = t.emplace("24_05WT", TableBuilder("24_05WT")).first->second;
  // clang-format off
  wt.Field("Type", FieldKind::Short).Field("Year", FieldKind::Short).Field("MagId", FieldKind::Short)
      .Field("Number", FieldKind::Integer).Field("Row", FieldKind::Short).Field("Group", FieldKind::Short)
      .Field("Index", FieldKind::Integer).Field("Series", FieldKind::Integer).Field("Quantity", FieldKind::Number)
      .Key(5)
      .Row({0, 2024, 1, 5, 2, 1, 11, 3, 1.0})
      .Row({0, 2024, 1, 5, 1, 1, 10, 0, 2.0})
      .Row({0, 2024, 2, 5, 1, 2, 10, 0, 7.0})
      .Row({1, 2024, 1, 1, 1, 1, 10, 0, -1.0})
      .Row({0, 2024, 1, 3, 1, 1, 11, 4, 4.0});
  // clang-format on
  auto& w = t.emplace("24_05W", TableBuilder("24_05W")).first->second;
  w.Field("Group", FieldKind::Short)
      .Field("Index", FieldKind::Integer)
      .Field("Name", FieldKind::Text, 30)
      .Field("Unit", FieldKind::Text, 5)
      .Key(2)
      .Row({2, 10, "Olej", "l"})
      .Row({1, 11, "Nakrętka", "szt"})
      .Row({1, 10, "Śruba M6", "szt"});
  auto& ws = t.emplace("24_05WS", TableBuilder("24_05WS")).first->second;
  ws.Field("Group", FieldKind::Short)
      .Field("Index", FieldKind::Integer)
      .Field("SeriesNo", FieldKind::Integer)
      .Field("Cost", FieldKind::Number)
      .Key(3)
      .Row({1, 11, 4, 2.75})
      .Row({1, 11, 3, 2.5});
  auto& reg = t.emplace("24_05REG", TableBuilder("24_05REG")).first->second;
  // clang-format off
  reg.Field("Class", FieldKind::Short).Field("Year", FieldKind::Short).Field("MagId", FieldKind::Short)
      .Field("Number", FieldKind::Integer).Field("Document", FieldKind::Text, 20).Field("Value", FieldKind::Number)
      .Key(4)
      .Row({2, 2024, 1, 7, "FW 7/2024", 99.0})
      .Row({0, 2024, 2, 5, "FV 5/2024/M2", 50.0})
      .Row({0, 2024, 1, 5, "FV 5/2024", 123.0})
      .Row({1, 2024, 1, 1, "KFV 1/2024", -12.3});
  // clang-format on
  auto& ur = t.emplace("24_05UR", TableBuilder("24_05UR")).first->second;
  ur.Field("Number", FieldKind::Integer)
      .Field("Firm Name", FieldKind::Text, 40)
      .Field("PayerNumber", FieldKind::Integer)
      .Key(1)
      .Row({102, "Gamma Sp. z o.o.", 9})
      .Row({100, "Alfa", 1})
      .Row({101, "Beta", 2});
  auto& users = t.emplace("Users", TableBuilder("Users")).first->second;
  users.Field("Number", FieldKind::Integer)
      .Field("Firm Name", FieldKind::Text, 40)
      .Field("Street", FieldKind::Text, 30)
      .Key(1)
      .Row({2, "Beta SA", "Krótka"})
      .Row({1, "Alfa Centrala", "Długa"});
  return t;
}

// Where the cursors of a test read from: the builders' tables in memory, or
// the same tables written as Paradox files.
enum class Source { Memory, Paradox };

class WarehouseTest : public testing::TestWithParam<Source> {
 protected:
  void SetUp() override {
    m_tables = Warehouse();
    if (GetParam() == Source::Paradox) {
      for (auto& [name, builder] : m_tables) builder.WriteParadox(m_dir.Path());
    }
  }

  // Names the table as the drivers do: folder plus file name without extension.
  void Name(Table& table, const std::string& name) { table.SetTableName((m_dir.Path() / name).string()); }

  void Open(Table& table) {
    if (GetParam() == Source::Memory) {
      table.Open(m_tables.at(table.TableName()).Memory());
    } else {
      table.Open();
    }
  }

  kxtest::TempDir m_dir;
  std::map<std::string, TableBuilder> m_tables;
  Session m_session;
};

std::string SourceName(const testing::TestParamInfo<Source>& param) {
  return param.param == Source::Memory ? "Memory" : "Paradox";
}

INSTANTIATE_TEST_SUITE_P(Sources, WarehouseTest, testing::Values(Source::Memory, Source::Paradox), SourceName);

// A month's documents walked in key order, each with its rows, goods, series,
// register row and contractor, as the export drivers read them.
TEST_P(WarehouseTest, DetailsFollowTheMasterThroughTheTree) {
  Table wi(m_session), wt(m_session), w(m_session), ws(m_session), reg(m_session), ur(m_session);
  Name(wi, "24_05WI");
  wi.SetFilter("(Date >= 2024-05-01) and (Date <= 2024-05-31)");
  wi.SetFiltered(true);
  wt.SetIndexFieldNames("Type;Year;MagId;Number;Row");  // linked on the first four
  Name(wt, "24_05WT");
  wt.SetMasterSource(&wi);
  wt.SetMasterFields("Type;Year;MagId;Number");
  w.SetIndexFieldNames("Group;Index");
  Name(w, "24_05W");
  w.SetMasterSource(&wt);
  w.SetMasterFields("Group;Index");
  ws.SetIndexFieldNames("Group;Index;SeriesNo");
  Name(ws, "24_05WS");
  ws.SetMasterSource(&wt);
  ws.SetMasterFields("Group;Index;Series");
  reg.SetIndexFieldNames("Class;Year;MagId;Number");
  Name(reg, "24_05REG");
  reg.SetMasterSource(&wi);
  reg.SetMasterFields("Type;Year;MagId;Number");
  ur.SetIndexFieldNames("Number");
  Name(ur, "24_05UR");
  ur.SetMasterSource(&wi);
  ur.SetMasterFields("User");

  EXPECT_FALSE(m_session.Active());
  for (Table* t : {&wi, &wt, &w, &ws, &reg, &ur}) Open(*t);
  EXPECT_TRUE(m_session.Active());

  std::vector<std::string> seen;
  for (wi.First(); !wi.Eof(); wi.Next()) {
    std::string line = wi.FieldByName("Name").AsString() + " | " + reg.FieldByName("Document").AsString() + " " +
                       reg.FieldByName("Value").AsString() + " | " + ur.FieldByName("Firm Name").AsString() + " |";
    for (wt.First(); !wt.Eof(); wt.Next()) {
      line += " " + wt.FieldByName("Quantity").AsString() + "x" + w.FieldByName("Name").AsString();
      if (!ws.IsEmpty()) line += "@" + ws.FieldByName("Cost").AsString();
    }
    seen.push_back(line);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "FV 5/2024 | FV 5/2024 123 | Beta | 2xŚruba M6 1xNakrętka@2.5",
                      "FV 5/2024/M2 | FV 5/2024/M2 50 | Gamma Sp. z o.o. | 7xOlej",
                      "KFV 1/2024 | KFV 1/2024 -12.3 | Beta | -1xŚruba M6",
                      "FW 7/2024 | FW 7/2024 99 | Alfa |",
                  }));

  // Moving back, to the end and by key moves the details too.
  wi.Prior();
  EXPECT_EQ(wi.FieldByName("Name").AsString(), "KFV 1/2024");
  EXPECT_EQ(wt.RecordCount(), 1u);
  EXPECT_EQ(w.FieldByName("Unit").AsString(), "szt");
  wi.First();
  EXPECT_EQ(wt.RecordCount(), 2u);
  EXPECT_TRUE(wi.FindKey({0, 2024, 2, 5}));
  EXPECT_EQ(wt.FieldByName("Quantity").AsFloat(), 7.0);
  EXPECT_EQ(w.FieldByName("Name").AsString(), "Olej");
  EXPECT_TRUE(ws.IsEmpty());
  EXPECT_TRUE(ws.Eof());
  EXPECT_TRUE(ws.FieldByName("Cost").IsNull());
  wi.Last();
  EXPECT_EQ(reg.FieldByName("Value").AsFloat(), 99.0);
  EXPECT_TRUE(wt.IsEmpty());
  EXPECT_TRUE(w.IsEmpty());  // its master has no current row

  // A detail moved on its own is brought back when its master moves.
  wi.First();
  wt.Next();
  EXPECT_EQ(w.FieldByName("Name").AsString(), "Nakrętka");
  wi.Next();
  wi.Prior();
  EXPECT_EQ(wt.RecNo(), 1u);
  EXPECT_EQ(w.FieldByName("Name").AsString(), "Śruba M6");

  // Two links down, read straight after the top moved, the goods follow both.
  wi.First();
  wt.Next();
  wi.Next();
  EXPECT_EQ(w.FieldByName("Name").AsString(), "Olej");
  EXPECT_TRUE(ws.IsEmpty());
  EXPECT_EQ(wt.RecNo(), 1u);
  wi.First();

  // The April document is outside the filter.
  EXPECT_FALSE(wi.FindKey({0, 2024, 1, 3}));
  EXPECT_EQ(wi.FieldByName("Name").AsString(), "FV 5/2024");  // position unchanged
}

// A second cursor on the document file finds the corrected document by the
// correction's master key; it is not filtered.
TEST_P(WarehouseTest, SecondCursorFindsByKey) {
  Table wi(m_session), master(m_session);
  Name(wi, "24_05WI");
  wi.SetFilter("Type = 1");
  wi.SetFiltered(true);
  Name(master, "24_05WI");
  Open(wi);
  Open(master);
  ASSERT_EQ(wi.RecordCount(), 1u);
  EXPECT_EQ(master.RecordCount(), 5u);

  EXPECT_TRUE(master.FindKey({wi.FieldByName("MasterType"), wi.FieldByName("MasterYear"), wi.FieldByName("MasterMagId"),
                              wi.FieldByName("MasterNumber")}));
  EXPECT_EQ(master.FieldByName("Name").AsString(), "FV 5/2024");
  EXPECT_EQ(wi.FieldByName("Name").AsString(), "KFV 1/2024");  // the first cursor stays

  // Values convert to the key fields' kinds; a partial key finds the first match.
  EXPECT_TRUE(master.FindKey({"0", 2024.0, int64_t{2}, "5"}));
  EXPECT_EQ(master.FieldByName("Name").AsString(), "FV 5/2024/M2");
  EXPECT_TRUE(master.FindKey({0, 2024}));
  EXPECT_EQ(master.FieldByName("Name").AsString(), "FV 3/2024");
  EXPECT_TRUE(master.FindKey({0, 2024, 1, 3}));  // outside wi's filter, but master is unfiltered

  // Not found: false, and the cursor stays.
  EXPECT_FALSE(master.FindKey({0, 2024, 1, 99}));
  EXPECT_FALSE(master.FindKey({nullptr, 2024, 1, 5}));
  EXPECT_EQ(master.FieldByName("Name").AsString(), "FV 3/2024");
  master.Next();
  EXPECT_EQ(master.FieldByName("Name").AsString(), "FV 5/2024");

  // clang-format off
  EXPECT_NE(ErrorOf([&] { master.FindKey({0, 2024, 1, 5, 1}); }).find("za dużo wartości klucza (5), pól indeksu jest 4"), std::string::npos);
  // clang-format on

  // Named index fields are the key of FindKey.
  Table byName(m_session);
  byName.SetIndexFieldNames("Name");
  Name(byName, "24_05WI");
  Open(byName);
  EXPECT_TRUE(byName.FindKey({"KFV 1/2024"}));
  EXPECT_EQ(byName.FieldByName("Number").AsInteger(), 1);
  EXPECT_EQ(byName.RecNo(), 5u);
}

// The contractor master table is linked to the period contractors only when
// the link is switched on; links can be changed before opening.
TEST_P(WarehouseTest, LinkSwitchedOffOrChanged) {
  Table ur(m_session), users(m_session);
  Name(ur, "24_05UR");
  users.SetIndexFieldNames("Number");
  Name(users, "Users");
  users.SetMasterSource(&ur);
  users.SetMasterFields("PayerNumber");
  users.SetLinkEnabled(false);
  Open(ur);
  Open(users);
  EXPECT_EQ(users.RecordCount(), 2u);
  ur.Next();
  EXPECT_EQ(users.RecordCount(), 2u);
  EXPECT_EQ(users.FieldByName("Firm Name").AsString(), "Alfa Centrala");

  users.SetLinkEnabled(true);  // also while open
  EXPECT_EQ(ur.FieldByName("Number").AsInteger(), 101);
  EXPECT_EQ(users.RecordCount(), 1u);
  EXPECT_EQ(users.FieldByName("Street").AsString(), "Krótka");
  ur.Next();  // payer 9 is not there
  EXPECT_TRUE(users.IsEmpty());
  EXPECT_EQ(users.FieldByName("Street").AsString(), "");

  // Another master field, set before opening.
  users.Close();
  users.SetMasterFields("Number");
  Open(users);
  EXPECT_TRUE(users.IsEmpty());  // contractor 102 has no Users row
  ur.First();
  EXPECT_TRUE(users.IsEmpty());  // 100 neither

  // A detail of a closed master shows all its rows; the link resumes on opening.
  ur.Close();
  EXPECT_EQ(users.RecordCount(), 2u);
  users.SetMasterFields("PayerNumber");
  Open(ur);
  EXPECT_EQ(users.FieldByName("Firm Name").AsString(), "Alfa Centrala");
}

TEST_P(WarehouseTest, FieldsByName) {
  Table ur(m_session);
  Name(ur, "24_05UR");
  EXPECT_EQ(ErrorOf([&] { ur.FieldByName("Number"); }), "Tabela 24_05UR nie jest otwarta");
  EXPECT_EQ(ur.FindField("Number"), nullptr);
  Open(ur);
  EXPECT_EQ(ur.TableName(), "24_05UR");
  EXPECT_EQ(&ur.FieldByName("firm name"), &ur.FieldByName("FIRM NAME"));
  EXPECT_EQ(ur.FieldByName("firm name").Name(), "Firm Name");
  EXPECT_EQ(ur.FieldByName("Firm Name").AsString(), "Alfa");
  EXPECT_EQ(ErrorOf([&] { ur.FieldByName("NIP"); }), "Tabela 24_05UR: brak pola NIP");
  EXPECT_EQ(ur.FindField("NIP"), nullptr);
  ASSERT_NE(ur.FindField("payernumber"), nullptr);

  // A field keeps reading the current row as the cursor moves.
  Field& name = ur.FieldByName("Firm Name");
  ur.Next();
  EXPECT_EQ(name.AsString(), "Beta");

  // Missing names in properties name the field and the table.
  Table bad(m_session);
  Name(bad, "24_05UR");
  bad.SetIndexFieldNames("Number;Town");
  EXPECT_EQ(ErrorOf([&] { Open(bad); }), "Tabela 24_05UR: brak pola Town");
  EXPECT_FALSE(bad.Active());

  Table users(m_session);
  users.SetIndexFieldNames("Number");
  Name(users, "Users");
  users.SetMasterSource(&ur);
  users.SetMasterFields("Payer");
  EXPECT_EQ(ErrorOf([&] { Open(users); }), "Tabela 24_05UR: brak pola Payer");
}

}  // namespace

// A dBase register (no primary key: order and keys from index fields) with
// its contractors in a Paradox table; numbers of the two formats match.
TEST(DbaseTables, FilteredRegisterWithParadoxContractors) {
  kxtest::TempDir dir;
  TableBuilder("Register")
      // clang-format off
      .Field("Nr", FieldKind::Integer).Field("VATMonth", FieldKind::Short).Field("FirmId", FieldKind::Integer)
      .Field("DocName", FieldKind::Text, 20).Field("Netto", FieldKind::Number, 12, 2).Field("DocDate", FieldKind::Date)
      .Row({1, 5, 2, "FV 1", 100.25, Date{2025, 5, 2}})
      .Row({2, 4, 1, "FV 2", 10.0, Date{2025, 4, 30}})
      .Row({3, 5, 7, "FV 3", 5.5, Date{2025, 5, 31}})
      .Row({4, 5, 1, "FV 4", -1.0, Date{2025, 5, 15}})
      .WriteDbase(dir.Path());
  // clang-format on
  TableBuilder("Users")
      // clang-format off
      .Field("Number", FieldKind::Integer).Field("Firm Name", FieldKind::Text, 40)
      .Key(1).Row({2, "Beta"}).Row({1, "Alfa"})
      .WriteParadox(dir.Path());
  // clang-format on

  Session session;
  Table reg(session), users(session), byNr(session);
  reg.SetDatabaseName(dir.Path());
  reg.SetTableName("Register");
  reg.SetFilter("[VATMonth] = 5");
  reg.SetFiltered(true);
  users.SetDatabaseName(dir.Path());
  users.SetTableName("Users");
  users.SetIndexFieldNames("Number");
  users.SetMasterSource(&reg);
  users.SetMasterFields("FirmId");
  reg.Open();
  users.Open();
  std::vector<std::string> seen;
  for (reg.First(); !reg.Eof(); reg.Next()) {
    seen.push_back(reg.FieldByName("DocName").AsString() + " " + reg.FieldByName("Netto").AsString() + " " +
                   users.FieldByName("Firm Name").AsString());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"FV 1 100.25 Beta", "FV 3 5.5 ", "FV 4 -1 Alfa"}));

  reg.SetFilter("(VATMonth = 5) and (DocDate >= 2025-05-15)");
  EXPECT_EQ(reg.RecordCount(), 2u);
  EXPECT_EQ(reg.FieldByName("Nr").AsInteger(), 3);
  EXPECT_TRUE(users.IsEmpty());

  byNr.SetDatabaseName(dir.Path());
  byNr.SetTableName("register.DBF");
  // clang-format off
  EXPECT_NE(ErrorOf([&] { byNr.Open(); byNr.FindKey({4}); }).find("nie ma klucza głównego"), std::string::npos);
  // clang-format on
  byNr.Close();
  byNr.SetIndexFieldNames("DocName");
  byNr.Open();
  EXPECT_EQ(byNr.TableName(), "register");
  EXPECT_TRUE(byNr.FindKey({"FV 4"}));
  EXPECT_EQ(byNr.FieldByName("Nr").AsInteger(), 4);
  EXPECT_EQ(byNr.RecNo(), 4u);
  EXPECT_FALSE(byNr.FindKey({"FV 5"}));
}

TEST(TableOrder, IndexFieldsSortStablyWithNullsFirst) {
  Session session;
  Table table(session);
  table.SetIndexFieldNames("Group;Name");
  table.Open(TableBuilder("T")
                 // clang-format off
                 .Field("Group", FieldKind::Integer).Field("Name", FieldKind::Text).Field("Nr", FieldKind::Integer)
                 .Row({2, "b", 1}).Row({1, "b", 2}).Row({nullptr, "z", 3}).Row({2, "a", 4}).Row({1, "b", 5})
                 .Row({1, "Ł", 6}).Row({1, "Z", 7})
                 .Memory());
  // clang-format on
  std::vector<int64_t> order;
  for (table.First(); !table.Eof(); table.Next()) order.push_back(table.FieldByName("Nr").AsInteger());
  EXPECT_EQ(order, (std::vector<int64_t>{3, 7, 2, 5, 6, 4, 1}));

  // Without index fields: the source's order; Prior/Last/Bof/Eof as a cursor does.
  table.SetIndexFieldNames("");
  table.Last();
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(table.FieldByName("Nr").AsInteger(), 7);
  table.Prior();
  EXPECT_EQ(table.FieldByName("Nr").AsInteger(), 6);
  table.First();
  EXPECT_TRUE(table.Bof());
  table.Prior();
  EXPECT_TRUE(table.Bof());
  EXPECT_EQ(table.RecNo(), 1u);
  EXPECT_NE(ErrorOf([&] { table.FindKey({1}); }).find("nie ma klucza głównego"), std::string::npos);
}

// Walking a master with two details reads each record a bounded number of
// times: no rescan of a detail for each master row.
TEST(TableLinks, WalkReadsEachRecordABoundedNumberOfTimes) {
  constexpr int kDocuments = 3000;
  TableBuilder docs("WI"), rows("WT"), reg("REG");
  docs.Field("Number", FieldKind::Integer).Field("User", FieldKind::Integer).Key(1);
  rows.Field("Number", FieldKind::Integer).Field("Row", FieldKind::Integer).Field("Qty", FieldKind::Number).Key(2);
  reg.Field("Number", FieldKind::Integer).Field("Value", FieldKind::Number).Key(1);
  for (int n = kDocuments; n >= 1; --n) {
    docs.Row({n, n % 7});
    rows.Row({n, 1, 1.0 * n});
    rows.Row({n, 2, 2.0 * n});
    reg.Row({n, 10.0 * n});
  }
  auto docsSource = docs.Memory(), rowsSource = rows.Memory(), regSource = reg.Memory();
  const MemoryTable* counters[] = {docsSource.get(), rowsSource.get(), regSource.get()};

  Session session;
  Table wi(session), wt(session), rg(session);
  wt.SetMasterSource(&wi);  // linked on the primary key's first field
  wt.SetMasterFields("Number");
  rg.SetIndexFieldNames("Number");
  rg.SetMasterSource(&wi);
  rg.SetMasterFields("Number");
  wi.Open(std::move(docsSource));
  wt.Open(std::move(rowsSource));
  rg.Open(std::move(regSource));

  double total = 0;
  int documents = 0;
  for (wi.First(); !wi.Eof(); wi.Next()) {
    ++documents;
    for (wt.First(); !wt.Eof(); wt.Next()) total += wt.FieldByName("Qty").AsFloat();
    total += rg.FieldByName("Value").AsFloat();
  }
  EXPECT_EQ(documents, kDocuments);
  EXPECT_DOUBLE_EQ(total, 13.0 * kDocuments * (kDocuments + 1) / 2);
  size_t reads = 0;
  for (const MemoryTable* source : counters) reads += source->Reads();
  const size_t records = kDocuments * 4;
  EXPECT_LT(reads, 12 * records) << "reads per record grow with the table";

  // Documents walked without a look at their rows: the details wait, so the
  // link fields are not read at all; the next look finds the right rows.
  const size_t before = counters[0]->Reads() + counters[1]->Reads() + counters[2]->Reads();
  int walked = 0;
  for (wi.First(); !wi.Eof(); wi.Next()) ++walked;
  EXPECT_EQ(walked, kDocuments);
  EXPECT_EQ(counters[0]->Reads() + counters[1]->Reads() + counters[2]->Reads(), before);
  EXPECT_EQ(rg.FieldByName("Value").AsFloat(), 10.0 * wi.FieldByName("Number").AsFloat());
  EXPECT_EQ(wt.RecordCount(), 2u);
}

TEST(TableFile, ResolvesNamesToTableFiles) {
  kxtest::TempDir dir;
  const auto demo = kxtest::SharedDir() / "realdata/paradox/dbdemos";
  std::filesystem::copy_file(demo / "country.db", dir / "COUNTRY.DB");
  std::filesystem::copy_file(demo / "vendors.db", dir / "Vendors.db");
  const auto dbf = kxtest::SharedDir() / "realdata/dbase";
  std::filesystem::path someDbf;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dbf)) {
    if (entry.path().extension() == ".dbf" && std::filesystem::file_size(entry.path()) < 20000) {
      someDbf = entry.path();
      break;
    }
  }
  ASSERT_FALSE(someDbf.empty());
  std::filesystem::copy_file(someDbf, dir / "Vendors.DBF");
  std::filesystem::copy_file(someDbf, dir / "B5SPEX25.dbf");

  struct Case {
    const char* name;
    const char* file;  // empty: not found
    TableFormat format;
  } cases[] = {
      {"COUNTRY", "COUNTRY.DB", TableFormat::Paradox},
      {"country", "COUNTRY.DB", TableFormat::Paradox},  // letter case of the name does not matter
      {"country.db", "COUNTRY.DB", TableFormat::Paradox},
      {"Vendors", "Vendors.db", TableFormat::Paradox},  // .db before .dbf
      {"Vendors.dbf", "Vendors.DBF", TableFormat::Dbase},
      {"B5SPEX25", "B5SPEX25.dbf", TableFormat::Dbase},
      {"B5SPEX25.DBF", "B5SPEX25.dbf", TableFormat::Dbase},
      {"B5SPEX", "", TableFormat::Paradox},
      {"country.dbf", "", TableFormat::Paradox},
  };
  for (const Case& c : cases) {
    auto found = LocateTableFile(dir / c.name);
    if (*c.file == '\0') {
      EXPECT_FALSE(found) << c.name;
      continue;
    }
    ASSERT_TRUE(found) << c.name;
    EXPECT_EQ(found->path.filename(), c.file) << c.name;
    EXPECT_EQ(found->format, c.format) << c.name;
  }

  // Opened through a database folder and a bare name; TableName as given.
  Session session;
  Table country(session);
  country.SetDatabaseName(dir.Path());
  country.SetTableName("Country");
  country.Open();
  EXPECT_EQ(country.TableName(), "Country");
  EXPECT_EQ(country.FilePath(), (dir / "COUNTRY.DB").string());
  EXPECT_GT(country.RecordCount(), 0u);
  EXPECT_THROW(country.SetTableName("Other"), kx::Error);
}

TEST(TableFile, OpenFailuresNameTheFile) {
  kxtest::TempDir dir;
  std::filesystem::create_directory(dir / "WI.db");
  dir.Write("REG.db", "not a table at all");
  struct Case {
    const char* name;
    std::string expected;
  } cases[] = {
      {"24_05WI", "Nie znaleziono tabeli " + (dir / "24_05WI").string() + " (brak pliku .db ani .dbf)"},
      {"24_05WI.dbf", "Nie znaleziono pliku tabeli " + (dir / "24_05WI.dbf").string()},
      {"WI", "Nie można otworzyć tabeli " + (dir / "WI.db").string() + ": to jest folder, a nie plik tabeli"},
      {"REG", (dir / "REG.db").string()},  // the reader's message names the file
  };
  for (const Case& c : cases) {
    Session session;
    Table table(session);
    table.SetTableName((dir / c.name).string());
    std::string message = ErrorOf([&] { table.Open(); });
    EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    EXPECT_FALSE(table.Active());
  }
  Session session;
  Table unnamed(session);
  EXPECT_EQ(ErrorOf([&] { unnamed.Open(); }), "Nie podano nazwy tabeli do otwarcia");
}

// Real tables written by the engine: orders and their items, linked on the
// order number (Number fields), in key order.
TEST(TableLinks, RealOrdersWithItems) {
  const auto demo = kxtest::SharedDir() / "realdata/paradox/dbdemos";
  Session session;
  Table orders(session), items(session), second(session);
  orders.SetTableName((demo / "orders").string());
  items.SetTableName((demo / "items").string());
  items.SetMasterSource(&orders);
  items.SetMasterFields("OrderNo");
  second.SetTableName((demo / "orders").string());
  orders.Open();
  items.Open();
  second.Open();
  EXPECT_EQ(orders.RecordCount(), 205u);
  EXPECT_EQ(orders.FieldByName("OrderNo").AsInteger(), 1003);
  ASSERT_EQ(items.RecordCount(), 1u);
  EXPECT_EQ(items.FieldByName("PartNo").AsInteger(), 1313);
  orders.Next();
  EXPECT_EQ(orders.FieldByName("OrderNo").AsInteger(), 1004);
  ASSERT_GE(items.RecordCount(), 2u);
  EXPECT_EQ(items.FieldByName("PartNo").AsInteger(), 1313);
  items.Next();
  EXPECT_EQ(items.FieldByName("PartNo").AsInteger(), 12310);

  // Every item belongs to exactly one order's view.
  size_t linked = 0;
  for (orders.First(); !orders.Eof(); orders.Next()) linked += items.RecordCount();
  items.SetLinkEnabled(false);
  EXPECT_LE(linked, items.RecordCount());
  EXPECT_EQ(items.RecordCount(), 945u);

  EXPECT_TRUE(second.FindKey({orders.FieldByName("OrderNo")}));  // the last order
  EXPECT_EQ(second.RecNo(), 205u);
  EXPECT_TRUE(second.FindKey({1004}));
  EXPECT_EQ(second.FieldByName("CustNo").AsInteger(), 2156);
  EXPECT_EQ(second.FieldByName("ShipToCity").AsString(), "Johannesburg");
}

// Opening activates the session; deactivating it closes what is still open
// (a run stopped by an error leaves no table open), also the details' links.
TEST(Session, OpenActivatesDeactivateCloses) {
  TableBuilder docs("WI"), rows("WT");
  docs.Field("Number", FieldKind::Integer).Key(1).Row({1}).Row({2});
  rows.Field("Number", FieldKind::Integer).Field("Row", FieldKind::Integer).Key(2).Row({1, 1}).Row({2, 1}).Row({2, 2});
  auto session = std::make_unique<Session>();
  EXPECT_EQ(session->Name(), "Session");
  Table wi(*session), wt(*session);
  wt.SetMasterSource(&wi);
  wt.SetMasterFields("Number");
  wi.Open(docs.Memory());
  wt.Open(rows.Memory());
  EXPECT_TRUE(session->Active());
  EXPECT_EQ(session->OpenCount(), 2u);
  EXPECT_EQ(wt.RecordCount(), 1u);
  wi.Close();
  EXPECT_EQ(wt.RecordCount(), 3u);  // master closed: all rows
  EXPECT_EQ(session->OpenCount(), 1u);

  wi.Open(docs.Memory());
  session->Deactivate();
  EXPECT_FALSE(session->Active());
  EXPECT_FALSE(wi.Active());
  EXPECT_FALSE(wt.Active());
  EXPECT_EQ(session->OpenCount(), 0u);

  wt.Open(rows.Memory());
  EXPECT_TRUE(session->Active());
  session.reset();  // closes wt; the tables outlive the session safely
  EXPECT_FALSE(wt.Active());
}
