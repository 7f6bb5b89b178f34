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
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/kxTools.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "support/jpk_schema.h"
#include "support/run_cli.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
namespace fs = std::filesystem;

namespace {

fs::path ToolPath() { return GenDemoDataPath(); }

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

  // Warehouse: the sale classes (invoices with their corrections, export
  // and EU supplies) unless flag bit 3 leaves them out, and cancelled
  // receipts (class 6 with bit 3) under AddAnulParag; purchases of class 128
  // and 129 without bits 3 and 1 (AddCostInvo is off). The stock documents
  // (WZ and PZ to an invoice, RW, MM) are neither.
  {
    Dump reg = DumpTable(single / "towix" / "26_11REG.db");
    const std::set<int> saleClasses{0, 1, 2, 3, 4, 5, 7, 22, 23, 50, 51};
    int sales = 0, purchases = 0, stock = 0;
    for (const Row& r : reg.rows) {
      int cls = std::stoi(r.at("Class"));
      int flags = std::stoi(r.at("Flags"));
      if ((saleClasses.count(cls) && !(flags & 8)) || (cls == 6 && (flags & 8))) ++sales;
      if ((cls == 128 || cls == 129) && !(flags & 0x0A)) ++purchases;
      stock += cls == 8 || cls == 24 || cls == 32 || cls == 152;
    }
    EXPECT_EQ(static_cast<int>(reg.rows.size()), kRows);
    EXPECT_GT(stock, 0);
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
  const std::vector<std::string> periodUsers{"Number",  "Firm Name", "Identifier", "City",       "Options",
                                             "Address", "ZipCode",   "NIP",        "PayerNumber"};
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
      {single / "towix" / "Users.db", users, 18},
      {single / "towix" / "26_11UR.db", periodUsers, 18},
      {single / "towix" / "26_11UC.db", periodUsers, 18},
      {single / "rejko" / "Users.db", users, 18},
      {single / "folvo" / "Users.db", users, 18},
      {nine / "rejko" / "Users.db", users, 18},
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

// Key of a warehouse document: kind (Type or Class), Year, MagId, Number.
std::string DocKey(const Row& r, const char* kind) {
  return r.at(kind) + "/" + r.at("Year") + "/" + r.at("MagId") + "/" + r.at("Number");
}

bool IsStockOnly(int kind) { return kind == 8 || kind == 24 || kind == 32 || kind == 152; }
bool IsForeignSale(int kind) { return kind == 2 || kind == 3 || kind == 22 || kind == 23; }

// The kind a document must refer to through its Master fields: a correction
// to the invoice below it, a WZ to a sales invoice, a PZ to a purchase
// invoice; -1: none.
int MasterKindOf(int kind) {
  if (kind == 24) return 0;
  if (kind == 152) return 128;
  if (kind < 32 && kind % 2 == 1) return kind - 1;
  return -1;
}

// The warehouse folders checked: the month the test writes (another seed,
// fewer documents) and the demo firm's own.
std::vector<fs::path> WarehouseFolders(const fs::path& made) {
  return {made / "towix", kxtest::SourceDir() / "data" / "demo" / "towix"};
}

// Warehouse documents: every register row has its header with the same key,
// every header has rows, the rows sum to the register's net amounts per rate
// (a row's net taken from its gross value on a document with gross prices)
// and to its value at cost, and every row points to an existing goods card
// and series. Stock documents (MM, WZ and PZ to an invoice, RW) carry only
// their value at cost.
TEST_F(DemoData, WarehouseDocumentsAgreeWithTheRegister) {
  ASSERT_TRUE(fs::exists(ToolPath()));
  for (const fs::path& towix : WarehouseFolders(Make("single"))) {
    SCOPED_TRACE(towix.string());
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
        {reg, {"Class", "Year",     "MagId",   "Number",  "Flags", "Document",  "User",     "Payer",
               "Date",  "SaleDate", "PayDate", "KSeF",    "GTU",   "ValueFree", "Value0",   "Value3",
               "Tax3",  "Value7",   "Tax7",    "Value22", "Tax22", "Value",     "TotalTax", "CostValue"}},
    };
    for (const auto& f : fields) {
      std::string missing;
      EXPECT_TRUE(HasFields(f.dump, f.names, missing)) << missing;
    }
    ASSERT_EQ(wi.rows.size(), reg.rows.size());

    std::map<std::string, const Row*> headers;
    for (const Row& r : wi.rows) headers[DocKey(r, "Type")] = &r;
    std::set<std::string> goods;
    std::map<std::string, double> seriesCost;
    for (const Row& r : w.rows) {
      goods.insert(r.at("Group") + "/" + r.at("Index"));
      EXPECT_FALSE(r.at("Name").empty());
      EXPECT_FALSE(r.at("Unit").empty());
    }
    for (const Row& r : ws.rows) {
      seriesCost[r.at("Group") + "/" + r.at("Index") + "/" + r.at("SeriesNo")] = std::stod(r.at("Cost"));
    }

    // Net per document and rate, value at cost and rows per document.
    std::map<std::string, std::map<int, double>> net;
    std::map<std::string, double> cost;
    std::map<std::string, int> rowCount;
    for (const Row& r : wt.rows) {
      std::string k = DocKey(r, "Type");
      ASSERT_TRUE(headers.count(k)) << "wiersz bez nagłówka " << k;
      std::string g = r.at("Group") + "/" + r.at("Index");
      EXPECT_TRUE(goods.count(g)) << "brak towaru " << g;
      double quantity = std::stod(r.at("Quantity"));
      if (r.at("Series") != "0") {
        auto s = seriesCost.find(g + "/" + r.at("Series"));
        ASSERT_NE(s, seriesCost.end()) << "brak serii " << g << "-" << r.at("Series");
        cost[k] += kx::RoundAmount(2, quantity * s->second);
      }
      bool gross = std::stoi(headers[k]->at("Options")) & 0x40;
      int vat = std::stoi(r.at("VAT"));
      double value = kx::RoundAmount(2, quantity * std::stod(r.at("Price")));
      net[k][vat] += gross ? kx::NetFromGross(value, vat) : value;
      ++rowCount[k];
    }
    for (const auto& [k, h] : headers) EXPECT_GT(rowCount[k], 0) << "dokument bez wierszy " << k;

    for (const Row& r : reg.rows) {
      std::string k = DocKey(r, "Class");
      SCOPED_TRACE(k);
      ASSERT_TRUE(headers.count(k));
      const Row& h = *headers[k];
      EXPECT_EQ(h.at("Name"), r.at("Document"));
      EXPECT_EQ(h.at("Date"), r.at("Date"));
      EXPECT_EQ(h.at("SaleDate"), r.at("SaleDate"));
      EXPECT_EQ(h.at("User"), r.at("User"));
      EXPECT_NEAR(cost[k], std::stod(r.at("CostValue")), 0.005);
      int cls = std::stoi(r.at("Class"));
      auto& perRate = net[k];
      const char* amounts[] = {"ValueFree", "Value0", "Value3", "Tax3", "Value7", "Tax7", "Value22", "Tax22"};
      if (IsStockOnly(cls)) {
        for (const char* f : amounts) EXPECT_EQ(std::stod(r.at(f)), 0) << f;
        EXPECT_EQ(std::stod(r.at("Value")), 0);
        continue;
      }
      if (IsForeignSale(cls)) {
        EXPECT_NEAR(perRate[0], std::stod(r.at("Value")), 0.005);
        continue;
      }
      struct Rate {
        int vat;
        const char* field;
      } rates[] = {{23, "Value22"}, {8, "Value7"}, {5, "Value3"}, {0, "Value0"}, {-2, "ValueFree"}};
      double sum = 0;
      for (const Rate& rate : rates) {
        EXPECT_NEAR(perRate[rate.vat], std::stod(r.at(rate.field)), 0.005) << rate.field;
        sum += std::stod(r.at(rate.field));
      }
      EXPECT_NEAR(sum + std::stod(r.at("TotalTax")), std::stod(r.at("Value")), 0.005);
    }
  }
}

// What the exports follow from a document: a correction, a WZ or a PZ to an
// invoice names an existing document of the month of the kind it refers to;
// every contractor of a document is in UR and UC with a name, short name,
// town and postal code, and a payer that Users holds; the register's payer is
// the contractor's payer. Only RW and MM go without a contractor.
TEST_F(DemoData, WarehouseDocumentsReferToDocumentsAndContractorsThatExist) {
  ASSERT_TRUE(fs::exists(ToolPath()));
  for (const fs::path& towix : WarehouseFolders(Make("single"))) {
    SCOPED_TRACE(towix.string());
    Dump wi = DumpTable(towix / "26_11WI.db");
    Dump reg = DumpTable(towix / "26_11REG.db");
    std::set<std::string> users;
    for (const Row& r : DumpTable(towix / "Users.db").rows) users.insert(r.at("Number"));
    std::map<std::string, Row> ur, uc;
    for (const Row& r : DumpTable(towix / "26_11UR.db").rows) ur[r.at("Number")] = r;
    for (const Row& r : DumpTable(towix / "26_11UC.db").rows) uc[r.at("Number")] = r;

    for (const auto& [number, r] : ur) {
      SCOPED_TRACE("kontrahent " + number);
      for (const char* f : {"Firm Name", "Identifier", "City", "ZipCode", "Address", "NIP"}) {
        EXPECT_FALSE(r.at(f).empty()) << f;
      }
      EXPECT_TRUE(users.count(r.at("PayerNumber"))) << "płatnik spoza Users " << r.at("PayerNumber");
      EXPECT_TRUE(uc.count(number));
    }

    std::set<std::string> keys;
    for (const Row& r : wi.rows) keys.insert(DocKey(r, "Type"));
    for (const Row& r : wi.rows) {
      SCOPED_TRACE(r.at("Name"));
      int type = std::stoi(r.at("Type"));
      int masterKind = MasterKindOf(type);
      if (masterKind >= 0) {
        EXPECT_EQ(std::stoi(r.at("MasterType")), masterKind);
        std::string master =
            r.at("MasterType") + "/" + r.at("MasterYear") + "/" + r.at("MasterMagId") + "/" + r.at("MasterNumber");
        EXPECT_TRUE(keys.count(master)) << "brak dokumentu " << master;
      } else {
        EXPECT_EQ(r.at("MasterNumber"), "0");
      }
      if (r.at("User") == "0") {
        EXPECT_TRUE(type == 8 || type == 32) << "dokument bez kontrahenta";
      } else {
        EXPECT_TRUE(ur.count(r.at("User"))) << "brak kontrahenta " << r.at("User");
      }
    }
    for (const Row& r : reg.rows) {
      SCOPED_TRACE(r.at("Document"));
      std::string payer = r.at("User") == "0" ? "0" : ur[r.at("User")].at("PayerNumber");
      EXPECT_EQ(r.at("Payer"), payer);
    }
  }
}

// The month holds every kind of document the exports read, and the variants
// they treat apart.
TEST_F(DemoData, TheWarehouseMonthHoldsEveryKindTheExportsRead) {
  ASSERT_TRUE(fs::exists(ToolPath()));
  for (const fs::path& towix : WarehouseFolders(Make("single"))) {
    SCOPED_TRACE(towix.string());
    Dump wi = DumpTable(towix / "26_11WI.db");
    std::map<std::string, Row> regOf;
    for (const Row& r : DumpTable(towix / "26_11REG.db").rows) regOf[DocKey(r, "Class")] = r;
    std::set<std::string> withServices;  // documents with a row without series
    for (const Row& r : DumpTable(towix / "26_11WT.db").rows) {
      if (r.at("Series") == "0") withServices.insert(DocKey(r, "Type"));
    }
    struct Case {
      const char* what;
      std::function<bool(const Row& wi, const Row& reg)> holds;
    } cases[] = {
        {"faktura (0)", [](const Row& h, const Row&) { return h.at("Type") == "0"; }},
        {"korekta faktury z przyczyną (1)",
         [](const Row& h, const Row&) { return h.at("Type") == "1" && !h.at("Comment").empty(); }},
        {"korekta faktury bez przyczyny (1)",
         [](const Row& h, const Row&) { return h.at("Type") == "1" && h.at("Comment").empty(); }},
        {"faktura eksportowa (2) i jej korekta (3)", [](const Row& h, const Row&) { return h.at("Type") == "3"; }},
        {"faktura do paragonu (4) i jej korekta (5)", [](const Row& h, const Row&) { return h.at("Type") == "5"; }},
        {"paragon (6)", [](const Row& h, const Row&) { return h.at("Type") == "6"; }},
        {"WDT (22) i jej korekta (23)", [](const Row& h, const Row&) { return h.at("Type") == "23"; }},
        {"faktura w cenach brutto",
         [](const Row& h, const Row&) {
           return std::stoi(h.at("Type")) / 2 == 0 && (std::stoi(h.at("Options")) & 0x40);
         }},
        {"WZ do faktury (24)", [](const Row& h, const Row&) { return h.at("Type") == "24"; }},
        {"PZ z fakturą zakupu (128)", [](const Row& h, const Row&) { return h.at("Type") == "128"; }},
        {"PZ do faktury (152)", [](const Row& h, const Row&) { return h.at("Type") == "152"; }},
        {"RW (32)", [](const Row& h, const Row&) { return h.at("Type") == "32"; }},
        {"MM do magazynu z ustawień",
         [](const Row& h, const Row&) { return h.at("Type") == "8" && h.at("User") == "0"; }},
        {"MM do kontrahenta", [](const Row& h, const Row&) { return h.at("Type") == "8" && h.at("User") != "0"; }},
        {"wiersz bez serii (usługa)",
         [&](const Row& h, const Row&) { return withServices.count(DocKey(h, "Type")) > 0; }},
        {"płatnik inny niż kontrahent", [](const Row&, const Row& g) { return g.at("Payer") != g.at("User"); }},
        {"podzielona płatność", [](const Row&, const Row& g) { return (std::stoi(g.at("Flags")) & 0x80) != 0; }},
        {"GTU", [](const Row&, const Row& g) { return g.at("GTU") != "0"; }},
        {"faktura pominięta w rejestrze",
         [](const Row& h, const Row& g) { return h.at("Type") == "0" && (std::stoi(g.at("Flags")) & 0x08); }},
        {"dokument pominięty w JPK_MAG (0x10)",
         [](const Row& h, const Row&) { return (std::stoi(h.at("Flags")) & 0x10) != 0; }},
        {"paragon anulowany (0x01)",
         [](const Row& h, const Row&) { return h.at("Type") == "6" && (std::stoi(h.at("Flags")) & 0x01); }},
        {"przelew z terminem",
         [](const Row& h, const Row&) { return h.at("PayInfo") == "2" && h.at("PayDelay") != "0"; }},
    };
    for (const Case& c : cases) {
      bool found = false;
      for (const Row& h : wi.rows) {
        std::string k = DocKey(h, "Type");
        ASSERT_TRUE(regOf.count(k)) << k;
        found = found || c.holds(h, regOf[k]);
      }
      EXPECT_TRUE(found) << "brak: " << c.what;
    }
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
      {{(dir / "e").string(), "--rows", "5x"}, 2},
      {{(dir / "f").string(), "--rows-per-document", "0"}, 2},
      {{(dir / "g").string(), "--contractors", "-3"}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    EXPECT_EQ(RunTool(c.args), c.exitCode);
  }
  EXPECT_FALSE(fs::exists(dir / "a"));
}

// The month for the export benchmark: every warehouse document has exactly
// the rows asked for, and generated firms join the named ones.
TEST_F(DemoData, RowsPerDocumentAndContractorsShapeTheMonth) {
  ASSERT_TRUE(fs::exists(ToolPath()));
  fs::path out = dir / "bench";
  ASSERT_EQ(RunTool({out.string(), "--rows", "30", "--rows-per-document", "4", "--contractors", "40"}), 0);
  std::map<std::string, int> rows;
  for (const Row& r : DumpTable(out / "towix" / "26_11WT.db").rows) ++rows[DocKey(r, "Type")];
  Dump wi = DumpTable(out / "towix" / "26_11WI.db");
  EXPECT_EQ(wi.rows.size(), 30u);
  for (const Row& r : wi.rows) EXPECT_EQ(rows[DocKey(r, "Type")], 4) << r.at("Name");
  Dump ur = DumpTable(out / "towix" / "26_11UR.db");
  EXPECT_EQ(ur.rows.size(), 40u);
  std::set<std::string> nips;
  for (const Row& r : ur.rows) nips.insert(r.at("NIP"));
  EXPECT_EQ(nips.size(), 40u) << "powtórzony NIP";
  EXPECT_EQ(DumpTable(out / "towix" / "Users.db").rows.size(), 40u);
}

// The demo firm's tables in data/demo are what the tool writes by default,
// so a change to the tool comes with the regenerated tables.
TEST_F(DemoData, TheDemoFirmsTablesAreWhatTheToolWrites) {
  ASSERT_TRUE(fs::exists(ToolPath()));
  fs::path fresh = dir / "fresh";
  ASSERT_EQ(RunTool({fresh.string()}), 0);
  const fs::path demo = kxtest::SourceDir() / "data" / "demo";
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(fresh)) {
    if (!entry.is_regular_file()) continue;
    fs::path rel = entry.path().lexically_relative(fresh);
    SCOPED_TRACE(rel.string());
    ++files;
    ASSERT_TRUE(fs::exists(demo / rel)) << "brak pliku w data/demo";
    EXPECT_TRUE(ReadFile(entry.path()) == ReadFile(demo / rel)) << "plik różni się od data/demo";
  }
  EXPECT_GT(files, 0);
}

// The demo firm's warehouse month as scripts/demo exports it: every format
// is written without a single question, JPK_FA and JPK_MAG are valid, and
// each output holds the documents and rows the tables give it.
TEST_F(DemoData, TheDemoFirmsMonthExportsToEveryFormat) {
  fs::copy(kxtest::SourceDir() / "data" / "demo", dir / "demo", fs::copy_options::recursive);
  const fs::path towix = dir / "demo" / "towix";
  std::map<std::string, int> regFlags, rowCount;
  for (const Row& r : DumpTable(towix / "26_11REG.db").rows) regFlags[DocKey(r, "Class")] = std::stoi(r.at("Flags"));
  for (const Row& r : DumpTable(towix / "26_11WT.db").rows) ++rowCount[DocKey(r, "Type")];

  auto in = [](int type, std::initializer_list<std::pair<int, int>> ranges) {
    for (auto [lo, hi] : ranges) {
      if (type >= lo && type <= hi) return true;
    }
    return false;
  };
  // Expected documents and rows per output, from the kinds and flags.
  std::map<std::string, std::pair<int, int>> expected;
  const std::set<int> saleDocTypes{0, 1, 2, 3, 4, 5, 7, 22, 23, 50, 51};
  for (const Row& r : DumpTable(towix / "26_11WI.db").rows) {
    std::string k = DocKey(r, "Type");
    int type = std::stoi(r.at("Type"));
    bool inRegister = (regFlags.at(k) & 0x08) == 0;
    bool inStock = (std::stoi(r.at("Flags")) & 0x11) == 0;
    auto add = [&](const char* what) {
      ++expected[what].first;
      expected[what].second += rowCount[k];
    };
    if (inRegister && in(type, {{0, 5}, {20, 23}, {48, 53}})) add("fa");
    if (inRegister && saleDocTypes.count(type)) add("sales");
    if (inStock && in(type, {{128, 129}, {152, 153}})) add("PZ");
    if (inStock && in(type, {{0, 7}, {9, 15}, {18, 25}})) add("WZ");
    if (inStock && type == 32) add("RW");
    if (inStock && in(type, {{8, 8}, {16, 17}, {36, 36}})) add("MM");
  }

  auto count = [](const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  std::map<std::string, std::string> files;
  for (const char* format : {"fa", "mag", "wapro", "sage", "ramzes"}) {
    SCOPED_TRACE(format);
    fs::path out = dir / (std::string(format) + ".out");
    CliResult r = RunCli({"/ini=kx2jpk.ini", "export", "--month", "2026-11", "--format", format, "-o", out.string()},
                         dir / "demo");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    files[format] = ReadFile(out);
    if (std::string(format) == "fa" || std::string(format) == "mag") {
      EXPECT_EQ(SchemaErrors(out), "");
    }
  }
  for (const char* kind : {"fa", "sales", "PZ", "WZ", "RW", "MM"}) EXPECT_GT(expected[kind].first, 0) << kind;
  EXPECT_EQ(count(files["fa"], "<Faktura>"), expected["fa"].first);
  EXPECT_EQ(count(files["fa"], "<FakturaWiersz>"), expected["fa"].second);
  for (const char* kind : {"PZ", "WZ", "RW", "MM"}) {
    EXPECT_EQ(count(files["mag"], "<" + std::string(kind) + "Wartosc>"), expected[kind].first) << kind;
    EXPECT_EQ(count(files["mag"], "<" + std::string(kind) + "Wiersz>"), expected[kind].second) << kind;
  }
  EXPECT_EQ(count(files["wapro"], "<DOKUMENT>"), expected["sales"].first);
  EXPECT_EQ(count(files["sage"], "Dokument{"), expected["sales"].first);
  EXPECT_EQ(count(files["ramzes"], "<dok_Nagdok>"), expected["sales"].first);
}

}  // namespace
