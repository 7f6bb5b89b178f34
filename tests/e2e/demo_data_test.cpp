// The demo data tool writes tables that the real kx2jpk-cli reads: each
// source program and bookkeeping layout gives a schema-valid JPK_V7M whose
// record counts match the month's rows of the tables, read back with
// "table dump".

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "support/jpk_schema.h"
#include "support/run_cli.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
namespace fs = std::filesystem;

namespace {

fs::path ToolPath() { return CliPath().parent_path().parent_path().parent_path() / "tools" / "gen_demo_data"; }

int RunTool(const std::vector<std::string>& args) {
  std::string cmd = "'" + ToolPath().string() + "'";
  for (const auto& a : args) cmd += " '" + a + "'";
  cmd += " >/dev/null 2>&1";
  int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using Row = std::map<std::string, std::string>;

// CSV of "table dump" (RFC 4180) into rows keyed by field name.
std::vector<Row> ParseDump(const std::string& text) {
  std::vector<std::vector<std::string>> lines(1);
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      lines.back().push_back(std::move(field));
      field.clear();
    } else if (c == '\r') {
    } else if (c == '\n') {
      lines.back().push_back(std::move(field));
      field.clear();
      lines.emplace_back();
    } else {
      field += c;
    }
  }
  if (lines.back().empty()) lines.pop_back();
  std::vector<Row> rows;
  for (size_t i = 1; i < lines.size(); ++i) {
    Row r;
    for (size_t j = 0; j < lines[0].size() && j < lines[i].size(); ++j) r[lines[0][j]] = lines[i][j];
    rows.push_back(r);
  }
  return rows;
}

struct Dump {
  std::vector<std::string> fields;
  std::vector<Row> rows;
};

Dump DumpTable(const fs::path& table, const std::string& filter = "") {
  std::vector<std::string> args{"table", "dump", table.string()};
  if (!filter.empty()) args.insert(args.end(), {"--filter", filter});
  CliResult r = RunCli(args);
  EXPECT_EQ(r.exitCode, 0) << table << ": " << r.err;
  Dump d;
  std::string header = r.out.substr(0, r.out.find('\r'));
  for (size_t start = 0;;) {
    size_t comma = header.find(',', start);
    d.fields.push_back(header.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  d.rows = ParseDump(r.out);
  return d;
}

bool HasFields(const Dump& d, const std::vector<std::string>& wanted, std::string& missing) {
  for (const auto& w : wanted) {
    if (std::find(d.fields.begin(), d.fields.end(), w) == d.fields.end()) missing += w + " ";
  }
  return missing.empty();
}

constexpr int kRows = 40;
constexpr const char* kMonthFilterRejko = "[VatPeriod] = 11";
constexpr const char* kPeriodId = "[Period Id] = 12655";  // (2026 - 1900) * 100 + 5 * 11

class DemoData : public testing::Test {
 protected:
  // Writes the demo month with the given bookkeeping layout into a folder.
  fs::path Make(const std::string& layout) {
    fs::path out = dir / layout;
    EXPECT_EQ(RunTool({out.string(), "--month", "2026-11", "--rows", std::to_string(kRows), "--seed", "7",
                       "--rejko-layout", layout}),
              0);
    fs::create_directories(out / "net");
    return out;
  }

  // Runs the real generation for one source over a demo folder.
  kx::jpk::v7m::IXMLJPK Generate(const fs::path& root, const std::string& source) {
    std::string userDir = source == "folvo" ? "folvo" : "towix";
    auto ini = root / ("firma_" + source + ".ini");
    std::string text =
        "[System]\nNIP=7270120002\nNazwa=Hurtownia Żuraw Sp. z o.o.\nEmail=biuro@zuraw.pl\n"
        "USCode=1009\nNazwaSystemu=kx2jpk\nCurDate=2026.11.01\nAddAnulParag=1\n"
        "KXDataDir=" +
        (root / "towix").string() + "\nRejkoDir=" + (root / "rejko").string() +
        "\nFolvoDir=" + (root / "folvo").string() + "\nUserDir=" + (root / userDir).string() +
        "\nRejkoUserDir=" + (root / "rejko").string() + "\nNetFileDir=" + (root / "net").string() + "\n";
    dir.Write(ini.lexically_relative(dir.Path()).string(), text);
    fs::path out = root / ("2026-11_" + source + ".xml");
    CliResult r = RunCli(
        {"/ini=" + ini.string(), "v7m", "generate", "--month", "2026-11", "--source", source, "-o", out.string()},
        root);
    EXPECT_EQ(r.exitCode, 0) << source << ": " << r.err;
    EXPECT_EQ(SchemaErrors(out), "") << source;
    return kx::jpk::v7m::LoadJPK(out);
  }

  TempDir dir;
};

TEST_F(DemoData, EverySourceAndLayoutGivesTheMonthsRecords) {
  ASSERT_TRUE(fs::exists(ToolPath())) << "brak narzędzia " << ToolPath();
  fs::path single = Make("single");
  fs::path nine = Make("registers");

  struct Expect {
    const char* what;
    fs::path root;
    std::string source;
    int sales, purchases;
  };
  std::vector<Expect> cases;

  // Warehouse: sale classes 0, 4 and 22, cancelled receipts (class 6 with
  // bit 3) under AddAnulParag; purchases of class 128.
  {
    Dump reg = DumpTable(single / "towix" / "26_11REG.db");
    int sales = 0, purchases = 0;
    for (const Row& r : reg.rows) {
      int cls = std::stoi(r.at("Class"));
      int flags = std::stoi(r.at("Flags"));
      if (cls == 0 || cls == 4 || cls == 22 || (cls == 6 && (flags & 8))) ++sales;
      if (cls == 128 || cls == 129) ++purchases;
    }
    EXPECT_EQ(static_cast<int>(reg.rows.size()), kRows);
    cases.push_back({"towix", single, "towix", sales, purchases});
  }
  // Bookkeeping, single table: register type 0 sales, 128 purchases.
  {
    fs::path t = single / "rejko" / "2026" / "Register.db";
    int sales =
        static_cast<int>(DumpTable(t, std::string("([RegType] = 0) and (") + kMonthFilterRejko + ")").rows.size());
    int buys =
        static_cast<int>(DumpTable(t, std::string("([RegType] = 128) and (") + kMonthFilterRejko + ")").rows.size());
    EXPECT_EQ(sales + buys, kRows);
    EXPECT_GT(static_cast<int>(DumpTable(t).rows.size()), kRows) << "brak wierszy innego okresu";
    cases.push_back({"rejko single", single, "rejko", sales, buys});
  }
  // Bookkeeping, nine registers: the REGS* are sales, the REGB* purchases.
  {
    int sales = 0, buys = 0, all = 0;
    for (const char* name : {"REGS", "REGSKOR", "REGSU", "REGB1", "REGB", "REGB2", "REGBKOR", "REGBA", "REGBP"}) {
      fs::path t = nine / "rejko" / "2026" / (std::string(name) + ".db");
      int n = static_cast<int>(DumpTable(t, kPeriodId).rows.size());
      (std::string(name).rfind("REGS", 0) == 0 ? sales : buys) += n;
      all += static_cast<int>(DumpTable(t).rows.size());
    }
    EXPECT_EQ(sales + buys, kRows);
    EXPECT_GT(all, kRows) << "brak wierszy innego okresu";
    cases.push_back({"rejko registers", nine, "rejko", sales, buys});
  }
  // Register program: register id below 128 sales, the rest purchases.
  {
    Dump reg = DumpTable(single / "folvo" / "2026" / "Register.db", "[VATMonth] = 11");
    int sales = 0;
    for (const Row& r : reg.rows) sales += std::stoi(r.at("RegId")) < 128;
    EXPECT_EQ(static_cast<int>(reg.rows.size()), kRows);
    EXPECT_GT(static_cast<int>(DumpTable(single / "folvo" / "2026" / "Register.db").rows.size()), kRows)
        << "brak wierszy innego okresu";
    cases.push_back({"folvo", single, "folvo", sales, kRows - sales});
  }

  for (const Expect& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_GT(c.sales, 0);
    EXPECT_GT(c.purchases, 0);
    auto root = Generate(c.root, c.source);
    EXPECT_EQ(root.Ewidencja().SprzedazWiersz().Count(), c.sales);
    EXPECT_EQ(root.Ewidencja().ZakupWiersz().Count(), c.purchases);
  }
}

TEST_F(DemoData, TablesReadBackWithTheFieldsTheReadersUse) {
  ASSERT_TRUE(fs::exists(ToolPath()));
  fs::path single = Make("single");
  fs::path nine = Make("registers");
  const std::vector<std::string> users{"Number", "Firm Name", "Identifier", "City", "Options",
                                       "Street", "House",     "ZipCode",    "NIP"};
  const std::vector<std::string> nineFields{
      "Period Id",      "Number",      "User",         "Dokument", "Data Wystawienia",
      "Data Sprzedazy", "Data Wplywu", "TypDokumentu", "GTU",      "Procedura",
      "KSeF",           "Wart. zw",    "Wart. 0",      "Wart. 3",  "VAT 3",
      "Wart. 7",        "VAT 7",       "Wart. 22",     "VAT 22",   "VAT",
      "VatNPO"};
  struct Case {
    fs::path table;
    std::vector<std::string> fields;
    int rows;  // -1: any number
  } cases[] = {
      {single / "towix" / "Users.db", users, 17},
      {single / "rejko" / "Users.db", users, 17},
      {single / "folvo" / "Users.db", users, 17},
      {nine / "rejko" / "Users.db", users, 17},
      {single / "rejko" / "2026" / "Register.db",
       {"RegType", "VatPeriod", "Number", "FirmId", "DocName", "DocDate", "SaleDate", "KSeF", "NetA", "VatA"},
       -1},
      {nine / "rejko" / "2026" / "REGS.db", nineFields, -1},
      {nine / "rejko" / "2026" / "REGBP.db", nineFields, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table.string());
    Dump d = DumpTable(c.table);
    std::string missing;
    EXPECT_TRUE(HasFields(d, c.fields, missing)) << missing;
    if (c.rows >= 0) {
      EXPECT_EQ(static_cast<int>(d.rows.size()), c.rows);
    }
  }
  // The register layout writes no single table, so the reader picks the nine.
  EXPECT_FALSE(fs::exists(nine / "rejko" / "2026" / "Register.db"));
}

// Warehouse documents: every register row has its header with the same key,
// its rows sum to the register's net amounts per rate, and every row points
// to an existing goods card and series.
TEST_F(DemoData, WarehouseDocumentsAgreeWithTheRegister) {
  ASSERT_TRUE(fs::exists(ToolPath()));
  fs::path towix = Make("single") / "towix";
  Dump reg = DumpTable(towix / "26_11REG.db");
  Dump wi = DumpTable(towix / "26_11WI.db");
  Dump wt = DumpTable(towix / "26_11WT.db");
  Dump w = DumpTable(towix / "26_11W.db");
  Dump ws = DumpTable(towix / "26_11WS.db");
  struct Fields {
    const Dump& dump;
    std::vector<std::string> names;
  } fields[] = {
      {wi,
       {"Type", "Year", "MagId", "Number", "Name", "Date", "SaleDate", "Flags", "Options", "User", "Comment",
        "MasterType", "MasterYear", "MasterMagId", "MasterNumber", "PayInfo", "PayDelay"}},
      {wt, {"Type", "Year", "MagId", "Number", "Group", "Index", "Series", "Quantity", "Price", "VAT"}},
      {w, {"Group", "Index", "Name", "Unit"}},
      {ws, {"Group", "Index", "SeriesNo", "Cost"}},
  };
  for (const auto& f : fields) {
    std::string missing;
    EXPECT_TRUE(HasFields(f.dump, f.names, missing)) << missing;
  }
  ASSERT_EQ(wi.rows.size(), reg.rows.size());

  auto key = [](const Row& r, const char* type) {
    return r.at(type) + "/" + r.at("Year") + "/" + r.at("MagId") + "/" + r.at("Number");
  };
  std::map<std::string, const Row*> headers;
  for (const Row& r : wi.rows) headers[key(r, "Type")] = &r;
  std::set<std::string> goods, series;
  for (const Row& r : w.rows) {
    goods.insert(r.at("Group") + "/" + r.at("Index"));
    EXPECT_FALSE(r.at("Name").empty());
    EXPECT_FALSE(r.at("Unit").empty());
  }
  for (const Row& r : ws.rows) series.insert(r.at("Group") + "/" + r.at("Index") + "/" + r.at("SeriesNo"));

  // Net per document and rate, from the rows.
  std::map<std::string, std::map<int, double>> net;
  for (const Row& r : wt.rows) {
    std::string g = r.at("Group") + "/" + r.at("Index");
    EXPECT_TRUE(goods.count(g)) << "brak towaru " << g;
    if (r.at("Series") != "0") {
      EXPECT_TRUE(series.count(g + "/" + r.at("Series"))) << "brak serii " << g;
    }
    EXPECT_TRUE(headers.count(key(r, "Type"))) << "wiersz bez nagłówka " << key(r, "Type");
    double n = std::round(std::stod(r.at("Quantity")) * std::stod(r.at("Price")) * 100) / 100;
    net[key(r, "Type")][std::stoi(r.at("VAT"))] += n;
  }
  for (const Row& r : reg.rows) {
    std::string k = key(r, "Class");
    SCOPED_TRACE(k);
    ASSERT_TRUE(headers.count(k));
    const Row& h = *headers[k];
    EXPECT_EQ(h.at("Name"), r.at("Document"));
    EXPECT_EQ(h.at("Date"), r.at("Date"));
    EXPECT_EQ(h.at("User"), r.at("User"));
    auto& perRate = net[k];
    if (r.at("Class") == "22") {
      EXPECT_NEAR(perRate[0], std::stod(r.at("Value")), 0.005);
      continue;
    }
    struct Rate {
      int vat;
      const char* field;
    } rates[] = {{23, "Value22"}, {8, "Value7"}, {5, "Value3"}, {0, "Value0"}, {-2, "ValueFree"}};
    for (const Rate& rate : rates) EXPECT_NEAR(perRate[rate.vat], std::stod(r.at(rate.field)), 0.005) << rate.field;
  }
}

// The ledger of the year: every booking balances, its entries use accounts of
// the chart, and a journal query in the form the JPK_KR query files use
// returns the month's bookings with their amounts.
TEST_F(DemoData, LedgerBalancesAndAnswersTheJournalQuery) {
  ASSERT_TRUE(fs::exists(ToolPath()));
  fs::path year = Make("single") / "rejko" / "2026";
  Dump accounts = DumpTable(year / "accounts.db");
  Dump journal = DumpTable(year / "journal.db");
  Dump details = DumpTable(year / "details.db");
  struct Fields {
    const Dump& dump;
    std::vector<std::string> names;
  } fields[] = {
      {accounts,
       {"Primary", "Secondary1", "Secondary2", "Secondary3", "Account Name", "Options", "InitYDebit", "InitYCredit"}},
      {journal,
       {"Period Id", "Seq No", "Book Type", "Book No", "Book Id", "Date", "Book Date", "Operator Id", "Comments"}},
      {details,
       {"Period Id", "Primary Account", "Secondary Account", "Secondary2 Account", "Seq No", "Description", "Debit",
        "Credit"}},
  };
  for (const auto& f : fields) {
    std::string missing;
    EXPECT_TRUE(HasFields(f.dump, f.names, missing)) << missing;
  }

  // An absent part of an account is null in the chart and 0 in the entries.
  auto part = [](const std::string& v) { return v.empty() ? std::string("0") : v; };
  std::set<std::string> chart;
  for (const Row& r : accounts.rows) {
    chart.insert(r.at("Primary") + "-" + part(r.at("Secondary1")) + "-" + part(r.at("Secondary2")));
  }
  std::map<std::string, double> balance;  // debit minus credit per booking
  std::map<std::string, double> debitOf;
  for (const Row& r : details.rows) {
    std::string acc = r.at("Primary Account") + "-" + r.at("Secondary Account") + "-" + r.at("Secondary2 Account");
    EXPECT_TRUE(chart.count(acc)) << "konto spoza planu " << acc;
    const std::string& d = r.at("Debit");
    const std::string& c = r.at("Credit");
    EXPECT_NE(d.empty(), c.empty()) << "zapis " << r.at("Seq No") << " ma jedną stronę";
    if (!d.empty()) {
      balance[r.at("Seq No")] += std::stod(d);
      debitOf[r.at("Seq No")] += std::stod(d);
    }
    if (!c.empty()) balance[r.at("Seq No")] -= std::stod(c);
  }
  for (const auto& [seq, diff] : balance) EXPECT_NEAR(diff, 0, 0.005) << seq;
  EXPECT_EQ(balance.size(), journal.rows.size()) << "każdy dokument dziennika ma zapisy";

  int month = static_cast<int>(DumpTable(year / "journal.db", kPeriodId).rows.size());
  EXPECT_EQ(month, kRows);
  EXPECT_GT(static_cast<int>(journal.rows.size()), month) << "brak obrotów wcześniejszego okresu";

  auto sql = dir.Write("dziennik.sql",
                       "SELECT D.\"Seq No\", D.\"Book Type\", D.\"Book No\", D.\"Book Id\", D.\"Date\",\n"
                       "  D.\"Book Date\", D.\"Operator Id\", D.Comments, sum(T.Debit) AS KwotaOperacji\n"
                       "FROM journal D JOIN details T ON T.\"Seq No\" = D.\"Seq No\"\n"
                       "WHERE (D.\"Period Id\" = :PeriodId)\n"
                       "GROUP BY D.\"Seq No\" ORDER BY D.\"Book Date\", D.\"Seq No\"\n");
  CliResult q = RunCli({"query", "--db", year.string(), sql.string(), "--param", "PeriodId=12655"});
  ASSERT_EQ(q.exitCode, 0) << q.err;
  std::vector<Row> rows = ParseDump(q.out);
  EXPECT_EQ(static_cast<int>(rows.size()), kRows);
  for (const Row& r : rows) {
    EXPECT_NEAR(std::stod(r.at("KwotaOperacji")), debitOf[r.at("Seq No")], 0.005) << r.at("Seq No");
    EXPECT_FALSE(r.at("Book Type").empty());
  }
}

TEST_F(DemoData, WrongOptionsAreRefused) {
  ASSERT_TRUE(fs::exists(ToolPath()));
  struct Case {
    std::vector<std::string> args;
    int exitCode;
  } cases[] = {
      {{"--help"}, 2},
      {{(dir / "a").string(), "--rejko-layout", "nine"}, 2},
      {{(dir / "b").string(), "--rows", "0"}, 2},
      {{(dir / "c").string(), "--month", "2026-13"}, 2},
      {{(dir / "d").string(), "--rows"}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    EXPECT_EQ(RunTool(c.args), c.exitCode);
  }
  EXPECT_FALSE(fs::exists(dir / "a"));
}

}  // namespace
