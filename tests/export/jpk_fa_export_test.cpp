// The JPK_FA output of the warehouse export, on a month written as Paradox
// tables into a temporary folder; every file it makes is checked against the
// official schema.

#include <gtest/gtest.h>

#include <deque>
#include <initializer_list>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "export/towix_export.h"
#include "fixtures/warehouse_fixture.h"
#include "jpk/files/jpkTools.h"
#include "platform/error.h"
#include "support/jpk_schema.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::exports::ExportFormat;
using kx::ui::Button;

namespace {

class FaRun {
 public:
  FaRun() : ctx(port) {
    WarehouseSettings(ctx.AppSettings, dir.Path());
    WarehouseFirmAddress(ctx.AppSettings);
  }

  // Runs the export through the driver; the error text, empty on success.
  std::string Run() {
    month.Write(dir.Path());
    try {
      result = kx::exports::RunExport(ctx, ExportFormat::JpkFa);
    } catch (const kx::Error& e) {
      return e.what();
    }
    return "";
  }

  std::vector<std::string> Invoices() const {
    std::vector<std::string> out;
    auto list = result.fa.Faktura();
    for (int i = 0; i < list.Count(); ++i) out.push_back(Children(list[i]));
    return out;
  }
  std::vector<std::string> Rows() const {
    std::vector<std::string> out;
    auto list = result.fa.FakturaWiersz();
    for (int i = 0; i < list.Count(); ++i) out.push_back(Children(list[i]));
    return out;
  }
  // "Name=text" of the named children of the first invoice, in file order.
  std::string FirstInvoice(std::initializer_list<const char*> names) const {
    std::set<std::string> wanted(names.begin(), names.end());
    std::string out;
    for (auto c = result.fa.Faktura()[0].Node().FirstChild(); c; c = c.NextSibling()) {
      if (!wanted.count(c.LocalName())) continue;
      out += (out.empty() ? "" : " ") + c.LocalName() + "=" + c.Text();
    }
    return out;
  }
  std::string Ctrl(const char* name) const {
    auto node = result.fa.FindChild(name);
    return node.IsNull() ? "" : Children(kx::jpk::TypedNode(node));
  }
  // Saves the file as the command line does and returns the schema's
  // complaints.
  std::string SchemaComplaints() {
    auto file = dir / "fa.xml";
    kx::jpk::SaveFAFile(result.fa, file.string());
    return SchemaErrors(file);
  }

  TempDir dir;
  ScriptedUserPort port;
  kx::AppContext ctx;
  WarehouseMonth month;
  kx::exports::ExportResult result;
};

const std::string kSeller =
    "P_3C=Hurtownia Spożywcza Żuraw Sp. z o.o. P_3D=Piotrkowska 120  90-006 Łódź P_4B=7270120002";

std::string Flags(bool splitPayment) {
  return std::string("P_16=false P_17=false P_18=false P_18A=") + (splitPayment ? "true" : "false") +
         " P_19=false P_20=false P_21=false P_22=false P_23=false P_106E_2=false P_106E_3=false";
}

WarehouseUser Buyer(int number, const char* name, const char* nip, int options = 0, const char* city = "Łódź") {
  WarehouseUser u;
  u.number = number;
  u.name = name;
  u.nip = nip;
  u.options = options;
  u.city = city;
  return u;
}

// A month with one invoice FV 1/11/2026 of one row, its register row and the
// contractor Kłos.
WarehouseMonth OneInvoice() {
  WarehouseMonth m;
  m.docs = {{.type = 0, .number = 1, .name = "FV 1/11/2026"}};
  m.rows = {{.type = 0, .number = 1, .quantity = 2, .price = 123, .vat = 23}};
  m.reg = {{.cls = 0, .number = 1, .value22 = 200, .tax22 = 46, .value = 246, .totalTax = 46}};
  return m;
}

}  // namespace

TEST(JpkFaExport, InvoicesAndRowsOfTheMonth) {
  FaRun run;
  WarehouseMonth& m = run.month;
  // clang-format off
  m.docs = {
      {.type = 0, .number = 1, .name = "FV 1/11/2026", .saleDate = {2026, 11, 3}},
      // Correction of FV 1/11/2026 without a comment.
      {.type = 1, .number = 2, .name = "KOR 2/11/2026", .date = {2026, 11, 20}, .saleDate = {2026, 11, 20},
       .masterType = 0, .masterYear = 2026, .masterMagId = 1, .masterNumber = 1},
      // Gross prices, split payment, a buyer without NIP and address (code 4:
      // no NIP check).
      {.type = 4, .number = 3, .name = "FV 3/11/2026", .options = 0x40, .user = 3},
      {.type = 6, .number = 4, .name = "PAR 4/11/2026"},  // no invoice kind
      {.type = 0, .number = 5, .name = "FV 5/11/2026"},   // left out in the register
      {.type = 0, .number = 6, .name = "FV 6/11/2026", .user = 2},
      {.type = 20, .number = 7, .name = "FV 7/11/2026", .user = 4},
      {.type = 21, .number = 8, .name = "KOR 8/11/2026", .user = 4, .comment = "Rabat posprzedażowy",
       .masterType = 20, .masterYear = 2026, .masterMagId = 1, .masterNumber = 7},
      {.type = 0, .number = 9, .name = "FV 9/10/2026", .date = {2026, 10, 31}},  // another month
  };
  m.goods = {{.group = 1, .index = 1, .name = "Kawa mielona 500 g", .unit = "szt"},
             {.group = 1, .index = 2, .name = "Herbata czarna liściasta", .unit = ""},
             {.group = 2, .index = 1, .name = "Usługa transportowa", .unit = "km"}};
  m.rows = {
      {.type = 0, .number = 1, .pos = 1, .quantity = 2, .price = 123, .vat = 23},
      {.type = 0, .number = 1, .pos = 2, .index = 2, .quantity = 1.5, .price = 10.8, .vat = 8},
      {.type = 1, .number = 2, .quantity = -1, .price = 123, .vat = 23},
      {.type = 4, .number = 3, .quantity = 2, .price = 123, .vat = 23},
      {.type = 6, .number = 4, .quantity = 1, .price = 5, .vat = 23},
      {.type = 0, .number = 5, .quantity = 1, .price = 5, .vat = 23},
      {.type = 0, .number = 6, .group = 2, .quantity = 50, .price = 1, .vat = 0},
      {.type = 20, .number = 7, .index = 2, .quantity = 3, .price = 10, .vat = -2},
      {.type = 21, .number = 8, .index = 2, .quantity = -1, .price = 10, .vat = -2},
  };
  m.reg = {
      {.cls = 0, .number = 1, .value7 = 15, .tax7 = 1.2, .value22 = 200, .tax22 = 46, .value = 262.2,
       .totalTax = 47.2},
      {.cls = 1, .number = 2, .value22 = -100, .tax22 = -23, .value = -123, .totalTax = -23},
      {.cls = 4, .number = 3, .flags = 0x80, .value22 = 200, .tax22 = 46, .value = 246, .totalTax = 46},
      {.cls = 6, .number = 4, .value22 = 4.07, .tax22 = 0.93, .value = 5},
      {.cls = 0, .number = 5, .flags = 0x08, .value22 = 4.07, .tax22 = 0.93, .value = 5},
      {.cls = 0, .number = 6, .value0 = 50, .value = 50},
      {.cls = 20, .number = 7, .valueFree = 30, .value = 30},
      {.cls = 21, .number = 8, .valueFree = -10, .value = -10},
  };
  m.ur = {Buyer(1, "Piekarnia Kłos Sp. j.", "5260250274"),
          Buyer(2, "Zürich Kaffee AG", "CHE-123.456.788", 1, "Zürich;Szwajcaria"),
          Buyer(3, "Jan Nowak", "", 0, ""),
          Buyer(4, "Müller GmbH", "DE811128135", 1, "Berlin;Niemcy")};
  m.ur[2].zip = "";
  m.ur[2].address = "";
  // clang-format on
  ASSERT_EQ(run.Run(), "");
  EXPECT_TRUE(run.port.shown.empty());
  EXPECT_EQ(run.ctx.Session.OpenCount(), 0u);

  const std::string klos =
      "P_3A=Piekarnia Kłos Sp. j. P_3B=Piotrkowska 12  90-006 Łódź " + kSeller + " P_5B=5260250274";
  const std::string muller =
      "P_3A=Müller GmbH P_3B=Piotrkowska 12  90-006 Berlin " + kSeller + " P_5A=DE P_5B=811128135";
  std::vector<std::string> invoices = {
      "KodWaluty=PLN P_1=2026-11-05 P_2A=FV 1/11/2026 " + klos +
          " P_6=2026-11-03 P_13_1=200 P_14_1=46 P_13_2=15 P_14_2=1.2 P_15=262.2 " + Flags(false) + " RodzajFaktury=VAT",
      "KodWaluty=PLN P_1=2026-11-05 P_2A=FV 6/11/2026 P_3A=Zürich Kaffee AG P_3B=Piotrkowska 12  90-006 Zürich " +
          kSeller + " P_5B=CHE-123.456.788 P_13_6=50 P_15=50 " + Flags(false) + " RodzajFaktury=VAT",
      "KodWaluty=PLN P_1=2026-11-20 P_2A=KOR 2/11/2026 " + klos + " P_13_1=-100 P_14_1=-23 P_15=-123 " + Flags(false) +
          " RodzajFaktury=KOREKTA PrzyczynaKorekty=zwrot towaru NrFaKorygowanej=FV 1/11/2026 "
          "OkresFaKorygowanej=2026-11-05",
      "KodWaluty=PLN P_1=2026-11-05 P_2A=FV 3/11/2026 P_3A=Jan Nowak " + kSeller + " P_13_1=200 P_14_1=46 P_15=246 " +
          Flags(true) + " RodzajFaktury=VAT",
      "KodWaluty=PLN P_1=2026-11-05 P_2A=FV 7/11/2026 " + muller + " P_13_7=30 P_15=30 " + Flags(false) +
          " RodzajFaktury=VAT",
      "KodWaluty=PLN P_1=2026-11-05 P_2A=KOR 8/11/2026 " + muller + " P_13_7=-10 P_15=-10 " + Flags(false) +
          " RodzajFaktury=KOREKTA PrzyczynaKorekty=Rabat posprzedażowy NrFaKorygowanej=FV 7/11/2026 "
          "OkresFaKorygowanej=2026-11-05",
  };
  EXPECT_EQ(run.Invoices(), invoices);
  EXPECT_EQ(run.Ctrl("FakturaCtrl"), "LiczbaFaktur=6 WartoscFaktur=455.2");

  std::vector<std::string> rows = {
      "P_2B=FV 1/11/2026 P_7=Kawa mielona 500 g P_8A=szt P_8B=2 P_9A=100 P_9B=123 P_10=0 P_11=200 P_12=23",
      "P_2B=FV 1/11/2026 P_7=Herbata czarna liściasta P_8A=szt. P_8B=1.5 P_9A=10 P_9B=10.8 P_10=0 P_11=15 P_12=8",
      "P_2B=FV 6/11/2026 P_7=Usługa transportowa P_8A=km P_8B=50 P_9A=1 P_9B=1 P_10=0 P_11=50 P_12=0",
      "P_2B=KOR 2/11/2026 P_7=Kawa mielona 500 g P_8A=szt P_8B=-1 P_9A=100 P_9B=123 P_10=0 P_11=-100 P_12=23",
      "P_2B=FV 3/11/2026 P_7=Kawa mielona 500 g P_8A=szt P_8B=2 P_9A=100 P_9B=123 P_10=0 P_11=200 P_11A=246 P_12=23",
      "P_2B=FV 7/11/2026 P_7=Herbata czarna liściasta P_8A=szt. P_8B=3 P_9A=10 P_9B=10 P_10=0 P_11=30 P_12=zw",
      "P_2B=KOR 8/11/2026 P_7=Herbata czarna liściasta P_8A=szt. P_8B=-1 P_9A=10 P_9B=10 P_10=0 P_11=-10 P_12=zw",
  };
  EXPECT_EQ(run.Rows(), rows);
  EXPECT_EQ(run.Ctrl("FakturaWierszCtrl"), "LiczbaWierszyFaktur=7 WartoscWierszyFaktur=385");

  // In key order (Type, Year, MagId, Number): header, subject, the invoices,
  // their control, the rows, theirs.
  auto root = run.result.fa.Node();
  EXPECT_EQ(root.IndexOfChild("FakturaCtrl"), 8);
  EXPECT_EQ(root.IndexOfChild("FakturaWierszCtrl"), 16);
  EXPECT_EQ(run.result.fa.Naglowek().DataOd(), "2026-11-01");
  EXPECT_EQ(run.SchemaComplaints(), "");
}

// The command line writes the file while it is made, in batches: the same
// bytes as the month made in memory and saved whole.
TEST(JpkFaExport, FileWrittenAsItIsMadeEqualsTheWholeSave) {
  FaRun run;
  WarehouseMonth& m = run.month;
  std::deque<std::string> names;
  m.docs.clear();
  m.rows.clear();
  m.reg.clear();
  for (int i = 1; i <= 5000; ++i) {
    const char* name = names.emplace_back("FV " + std::to_string(i) + "/11/2026").c_str();
    m.docs.push_back({.type = 0, .number = i, .name = name});
    m.rows.push_back({.type = 0, .number = i, .pos = 1, .quantity = 2, .price = 10.0 + i % 7, .vat = 23});
    m.rows.push_back({.type = 0, .number = i, .pos = 2, .quantity = 1, .price = 5, .vat = 8});
    m.reg.push_back({.cls = 0, .number = i, .value = 30, .totalTax = 5});
  }
  ASSERT_EQ(run.Run(), "");
  kx::jpk::SaveFAFile(run.result.fa, (run.dir / "whole.xml").string());
  EXPECT_EQ(kx::exports::ExportJpkFaToFile(run.ctx, (run.dir / "made.xml").string()),
            "Zapisano plik " + (run.dir / "made.xml").string() + ": faktur 5000, wierszy 10000");
  const std::regex created("<DataWytworzeniaJPK>[^<]*</DataWytworzeniaJPK>");
  auto text = [&](const char* name) { return std::regex_replace(ReadFile(run.dir / name), created, ""); };
  EXPECT_EQ(text("made.xml"), text("whole.xml"));
  EXPECT_EQ(SchemaErrors(run.dir / "made.xml"), "");
}

TEST(JpkFaExport, AmountsOfTheRegister) {
  struct Case {
    const char* what;
    WarehouseRegRow reg;
    const char* amounts;
  } cases[] = {
      {"23 %", {.value22 = 100, .tax22 = 23, .value = 123}, "P_13_1=100 P_14_1=23 P_15=123 P_18A=false"},
      // A pair of zeros writes neither; the amount due is written also when 0.
      {"nothing", {}, "P_15=0 P_18A=false"},
      // Either of a pair brings the other, as 0.
      {"net without tax", {.value22 = 100, .value = 100}, "P_13_1=100 P_14_1=0 P_15=100 P_18A=false"},
      {"tax without net", {.tax22 = 23, .value = 23}, "P_13_1=0 P_14_1=23 P_15=23 P_18A=false"},
      {"8 % and 5 %",
       {.value3 = 20, .tax3 = 1, .value7 = 50, .tax7 = 4, .value = 75},
       "P_13_2=50 P_14_2=4 P_13_3=20 P_14_3=1 P_15=75 P_18A=false"},
      {"0 % and exempt", {.valueFree = 40, .value0 = 60, .value = 100}, "P_13_6=60 P_13_7=40 P_15=100 P_18A=false"},
      {"rounded to 2 places",
       {.value22 = 10.004, .tax22 = 2.306, .value = 12.3149},
       "P_13_1=10 P_14_1=2.31 P_15=12.31 P_18A=false"},
      {"split payment",
       {.flags = 0x80, .value22 = 100, .tax22 = 23, .value = 123},
       "P_13_1=100 P_14_1=23 P_15=123 P_18A=true"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FaRun run;
    run.month = OneInvoice();
    run.month.reg = {c.reg};
    ASSERT_EQ(run.Run(), "");
    EXPECT_EQ(run.FirstInvoice(
                  {"P_13_1", "P_14_1", "P_13_2", "P_14_2", "P_13_3", "P_14_3", "P_13_6", "P_13_7", "P_15", "P_18A"}),
              c.amounts);
    EXPECT_EQ(run.SchemaComplaints(), "");
  }
}

TEST(JpkFaExport, RowsOfAnInvoice) {
  struct Case {
    const char* what;
    bool grossPrices;
    double quantity, price;
    int vat;
    WRow goods;
    const char* row;  // from P_7 on
  } cases[] = {
      {"net prices",
       false,
       2,
       123,
       23,
       {},
       "P_7=Kawa mielona 500 g P_8A=szt P_8B=2 P_9A=100 P_9B=123 P_10=0 P_11=200 P_12=23"},
      {"gross prices",
       true,
       2,
       123,
       23,
       {},
       "P_7=Kawa mielona 500 g P_8A=szt P_8B=2 P_9A=100 P_9B=123 P_10=0 P_11=200 P_11A=246 P_12=23"},
      {"gross, the value from the gross total",
       true,
       3,
       9.99,
       23,
       {},
       "P_7=Kawa mielona 500 g P_8A=szt P_8B=3 P_9A=8.12 P_9B=9.99 P_10=0 P_11=24.37 P_11A=29.97 P_12=23"},
      {"net, the value from the net price",
       false,
       3,
       9.99,
       23,
       {},
       "P_7=Kawa mielona 500 g P_8A=szt P_8B=3 P_9A=8.12 P_9B=9.99 P_10=0 P_11=24.36 P_12=23"},
      {"exempt", false, 1, 50, -2, {}, "P_7=Kawa mielona 500 g P_8A=szt P_8B=1 P_9A=50 P_9B=50 P_10=0 P_11=50 P_12=zw"},
      {"5 %", false, 1, 10.5, 5, {}, "P_7=Kawa mielona 500 g P_8A=szt P_8B=1 P_9A=10 P_9B=10.5 P_10=0 P_11=10 P_12=5"},
      // Quantity to 6 places, prices and values to 2.
      {"rounded",
       false,
       1.2345678,
       10.006,
       0,
       {},
       "P_7=Kawa mielona 500 g P_8A=szt P_8B=1.234568 P_9A=10.01 P_9B=10.01 P_10=0 P_11=12.36 P_12=0"},
      {"gross, rounded",
       true,
       0.3333333,
       3.004,
       0,
       {},
       "P_7=Kawa mielona 500 g P_8A=szt P_8B=0.333333 P_9A=3 P_9B=3 P_10=0 P_11=1 P_11A=1 P_12=0"},
      // The first 40 characters, not bytes.
      {"long name",
       false,
       1,
       1,
       0,
       {.name = "Ćwiartka żółtego sera śląskiego z dziurami, dojrzewająca 60 dni"},
       "P_7=Ćwiartka żółtego sera śląskiego z dziura P_8A=szt P_8B=1 P_9A=1 P_9B=1 P_10=0 P_11=1 P_12=0"},
      {"no unit",
       false,
       1,
       1,
       0,
       {.unit = ""},
       "P_7=Kawa mielona 500 g P_8A=szt. P_8B=1 P_9A=1 P_9B=1 P_10=0 P_11=1 P_12=0"},
      // A row without its goods card has no P_7, never an empty one.
      {"no goods card", false, 1, 1, 0, {.index = 9}, "P_8A=szt. P_8B=1 P_9A=1 P_9B=1 P_10=0 P_11=1 P_12=0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FaRun run;
    run.month = OneInvoice();
    run.month.docs[0].options = c.grossPrices ? 0x40 : 0;
    run.month.rows = {{.quantity = c.quantity, .price = c.price, .vat = c.vat}};
    run.month.goods = {c.goods};
    ASSERT_EQ(run.Run(), "");
    ASSERT_EQ(run.Rows().size(), 1u);
    EXPECT_EQ(run.Rows()[0], std::string("P_2B=FV 1/11/2026 ") + c.row);
    EXPECT_EQ(run.SchemaComplaints(), "");
  }
}

TEST(JpkFaExport, BuyerOfAnInvoice) {
  struct Case {
    const char* what;
    int type;
    WarehouseUser buyer;
    std::vector<WarehouseUser> users;
    const char* buyerElements;
  } cases[] = {
      {"domestic",
       0,
       Buyer(1, "Piekarnia Kłos", "526-025-02-74"),
       {},
       "P_3A=Piekarnia Kłos P_3B=Piotrkowska 12  90-006 Łódź P_5B=5260250274"},
      {"the PL prefix stays off",
       0,
       Buyer(1, "Piekarnia Kłos", "PL 5260250274"),
       {},
       "P_3A=Piekarnia Kłos P_3B=Piotrkowska 12  90-006 Łódź P_5B=5260250274"},
      {"EU country by name",
       0,
       Buyer(1, "Müller GmbH", "DE811128135", 1, "Berlin;Niemcy"),
       {},
       "P_3A=Müller GmbH P_3B=Piotrkowska 12  90-006 Berlin P_5A=DE P_5B=811128135"},
      // Without a country the prefix stays on the number.
      {"EU prefix without country",
       0,
       Buyer(1, "Müller GmbH", "DE811128135", 0, "Berlin"),
       {},
       "P_3A=Müller GmbH P_3B=Piotrkowska 12  90-006 Berlin P_5B=DE811128135"},
      {"GB by the number's prefix",
       0,
       Buyer(1, "Tea Ltd", "GB123456789", 3, "London"),
       {},
       "P_3A=Tea Ltd P_3B=Piotrkowska 12  90-006 London P_5A=GB P_5B=123456789"},
      // Not an EU code: no P_5A, the whole number in P_5B.
      {"Swiss",
       0,
       Buyer(1, "Zürich Kaffee AG", "CHE-123.456.788", 0, "Zürich"),
       {},
       "P_3A=Zürich Kaffee AG P_3B=Piotrkowska 12  90-006 Zürich P_5B=CHE-123.456.788"},
      {"Swiss by the number's prefix",
       0,
       Buyer(1, "Zürich Kaffee AG", "CHE123456788", 3, "Zürich"),
       {},
       "P_3A=Zürich Kaffee AG P_3B=Piotrkowska 12  90-006 Zürich P_5B=CHE123456788"},
      {"Swiss, code 4 unchecked",
       4,
       Buyer(1, "Zürich Kaffee AG", "CHE-123.456.788 MWST", 0, "Zürich"),
       {},
       "P_3A=Zürich Kaffee AG P_3B=Piotrkowska 12  90-006 Zürich P_5B=CHE-123.456.788 MWST"},
      // Codes 4 and 5: no NIP demanded; nothing empty is written.
      {"code 4 without NIP and address", 4, Buyer(1, "Jan Nowak", "", 0, ""), {}, "P_3A=Jan Nowak"},
      {"the contractor master table",
       0,
       Buyer(1, "Piekarnia Kłos", "5260250274"),
       {Buyer(1, "Piekarnia Kłos S.A.", "7251801126")},
       "P_3A=Piekarnia Kłos S.A. P_3B=Piotrkowska 12  90-006 Łódź P_5B=7251801126"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    FaRun run;
    run.month = OneInvoice();
    run.month.docs[0].type = c.type;
    run.month.rows[0].type = c.type;
    run.month.reg[0].cls = c.type;
    if (std::string(c.buyer.city).empty()) {
      c.buyer.zip = "";
      c.buyer.address = "";
    }
    run.month.ur = {c.buyer};
    run.month.users = c.users;
    ASSERT_EQ(run.Run(), "");
    EXPECT_TRUE(run.port.shown.empty());
    EXPECT_EQ(run.FirstInvoice({"P_3A", "P_3B", "P_5A", "P_5B"}), c.buyerElements);
    EXPECT_EQ(run.SchemaComplaints(), "");
  }
}

TEST(JpkFaExport, FailuresStopTheExport) {
  struct Case {
    const char* what;
    void (*change)(WarehouseMonth&);
    std::vector<Button> answers;
    const char* message;
  } cases[] = {
      {"no document", [](WarehouseMonth& m) { m.docs.clear(); }, {}, "Brak faktur w wybranym miesiącu"},
      {"no invoice",
       [](WarehouseMonth& m) {
         m.docs[0].type = 6;
         m.reg[0].cls = 6;
       },
       {},
       "Brak faktur w wybranym miesiącu"},
      {"every invoice left out",
       [](WarehouseMonth& m) { m.reg[0].flags = 0x08; },
       {},
       "Brak faktur w wybranym miesiącu"},
      {"invoices without rows",
       [](WarehouseMonth& m) { m.rows.clear(); },
       {},
       "Brak pozycji faktur w wybranym miesiącu"},
      {"corrected document missing",
       [](WarehouseMonth& m) {
         m.docs = {{.type = 1,
                    .number = 1,
                    .name = "FV/12/2024",
                    .masterType = 0,
                    .masterYear = 2026,
                    .masterMagId = 1,
                    .masterNumber = 17}};
         m.rows[0].type = 1;
         m.reg[0].cls = 1;
       },
       {},
       "FV/12/2024  > brak dokumentu korygowanego o nr: 17"},
      {"contractor without a name",
       [](WarehouseMonth& m) { m.ur[0].name = ""; },
       {},
       "Brak nazwy kontrahenta\r\nDokument: FV 1/11/2026  NIP: 5260250274\r\nWczytywanie przerwano"},
      {"contractor missing",
       [](WarehouseMonth& m) { m.docs[0].user = 9; },
       {},
       "Brak nazwy kontrahenta\r\nDokument: FV 1/11/2026  NIP: \r\nWczytywanie przerwano"},
      {"bad NIP refused", [](WarehouseMonth& m) { m.ur[0].nip = "5260250275"; }, {Button::No}, "Wczytywanie przerwano"},
      {"missing NIP refused", [](WarehouseMonth& m) { m.ur[0].nip = ""; }, {Button::No}, "Wczytywanie przerwano"},
      {"rate outside the schema's list",
       [](WarehouseMonth& m) { m.rows[0].vat = 6; },
       {},
       "Faktura FV 1/11/2026: stawka VAT 6 nie jest dozwolona w JPK_FA"},
      {"rate -1",
       [](WarehouseMonth& m) { m.rows[0].vat = -1; },
       {},
       "Faktura FV 1/11/2026: stawka VAT -1 nie jest dozwolona w JPK_FA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FaRun run;
    run.month = OneInvoice();
    c.change(run.month);
    run.port.answers.assign(c.answers.begin(), c.answers.end());
    EXPECT_EQ(run.Run(), c.message);
    EXPECT_TRUE(run.port.answers.empty());
    EXPECT_TRUE(run.result.fa.IsNull());
    EXPECT_EQ(run.ctx.Session.OpenCount(), 0u);
    EXPECT_FALSE(run.ctx.Session.Active());
  }
}

TEST(JpkFaExport, AcceptedNipProblemGoesOn) {
  FaRun run;
  run.month = OneInvoice();
  run.month.ur[0].nip = "5260250275";
  run.port.answers = {Button::Yes};
  ASSERT_EQ(run.Run(), "");
  ASSERT_EQ(run.port.shown.size(), 1u);
  EXPECT_EQ(run.port.shown[0].text,
            "Zła suma kontrolna numeru NIP: 5260250275\rKontrahent: Piekarnia Kłos Sp. j.\rDokument: FV "
            "1/11/2026\rKontynuować?");
  EXPECT_EQ(run.FirstInvoice({"P_5B"}), "P_5B=5260250275");
}

TEST(JpkFaExport, YearlyTablesAndTheMonthFilter) {
  FaRun run;
  run.ctx.AppSettings.YearKxTbl = true;
  run.ctx.AppSettings.YearUsrTbl = true;
  run.month = OneInvoice();
  run.month.prefix = "2026";
  run.month.docs.push_back({.type = 0, .number = 2, .name = "FV 2/12/2026", .date = {2026, 12, 1}});
  run.month.reg.push_back({.cls = 0, .number = 2, .value = 5});
  ASSERT_EQ(run.Run(), "");
  EXPECT_EQ(run.Invoices().size(), 1u);
  EXPECT_EQ(run.Ctrl("FakturaCtrl"), "LiczbaFaktur=1 WartoscFaktur=246");
  EXPECT_EQ(run.result.fa.Naglowek().DataDo(), "2026-11-30");
}
