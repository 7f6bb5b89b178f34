// Receipt sales: finding and making the summary record, the fields as data,
// the totals, the key filter and the rate checks with their messages.

#include "editor/v7m_receipt.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "fixtures/v7m_fixture.h"
#include "jpk/v7m/v7m_records.h"
#include "support/jpk_schema.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kx;
using namespace kx::editor;
using namespace kx::jpk::v7m;
using kxtest::PurchaseCtrl;
using kxtest::Sale;
using kxtest::SaleCtrl;
using kxtest::V7MFile;

namespace {

IXMLJPK Load(const std::string& text) { return jpk::v7m::GetJPKRoot(xml::XmlDocument::FromString(text)); }

std::string ChildNames(const xml::XmlNode& node) {
  std::string names;
  for (auto c = node.FirstChild(); !c.IsNull(); c = c.NextSibling()) names += c.LocalName() + " ";
  return names;
}

}  // namespace

TEST(ReceiptRecord, FoundOnlyAsTheFirstSaleRecord) {
  struct Case {
    std::string first;
    bool found;
  } cases[] = {
      {Sale(1, "<TypDokumentu>RO</TypDokumentu>", "brak", "brak"), true},
      {Sale(1, "", "BrAk", "x"), true},
      {Sale(1, "<TypDokumentu>FP</TypDokumentu>", "brak", "brak"), false},
      {Sale(1, "", "5260001246"), false},
      {Sale(1, "", "brak NIP"), false},
  };
  for (const auto& c : cases) {
    auto jpk = Load(V7MFile(c.first + Sale(2, "", "BRAK") + SaleCtrl(2, "0")));
    auto found = FindReceiptRecord(jpk);
    EXPECT_EQ(!found.IsNull(), c.found) << c.first;
    if (c.found) {
      EXPECT_EQ(ChildText(found, "LpSprzedazy"), "1");
    }
  }
  EXPECT_TRUE(FindReceiptRecord(Load(V7MFile("", "", false))).IsNull());
}

TEST(ReceiptRecord, CreatedOnTopAndFilledInSchemaOrder) {
  AppSettings settings;
  settings.CurDate = {2024, 2, 10};
  auto jpk = Load(V7MFile(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") + SaleCtrl(1, "23") + PurchaseCtrl(0, "0")));
  auto record = CreateReceiptRecord(jpk, settings);
  EXPECT_EQ(record.Xml(),
            "<SprzedazWiersz><LpSprzedazy>1</LpSprzedazy><NrKontrahenta>brak</NrKontrahenta><NazwaKontrahenta>brak"
            "</NazwaKontrahenta><DowodSprzedazy>Raport fiskalny okresowy</DowodSprzedazy><DataWystawienia>2024-02-29"
            "</DataWystawienia><DI>1</DI><TypDokumentu>RO</TypDokumentu></SprzedazWiersz>");
  EXPECT_TRUE(FindReceiptRecord(jpk) == record);

  // The dialog's fields in their order land at the schema places.
  ReceiptFields fields = ReadReceiptFields(record);
  EXPECT_EQ(fields.document, "Raport fiskalny okresowy");
  EXPECT_EQ(fields.net23, "");
  fields.document = "RF 02/2024";
  fields.net23 = "1000";
  fields.tax23 = "230";
  fields.net8 = "100";
  fields.tax8 = "8";
  fields.net5 = "12.5";
  fields.tax5 = "0.63";
  fields.value0 = "7";
  fields.exempt = "3";
  WriteReceiptFields(record, fields);
  EXPECT_EQ(ChildNames(record),
            "LpSprzedazy NrKontrahenta NazwaKontrahenta DowodSprzedazy DataWystawienia DI TypDokumentu K_10 K_13 K_15 "
            "K_16 K_17 K_18 K_19 K_20 ");
  EXPECT_EQ(ReadReceiptFields(record).net5, "12.5");

  RecalcJPK(jpk);
  auto second = NextSaleRecord(record);
  EXPECT_EQ(ChildText(second, "LpSprzedazy"), "2");
  EXPECT_EQ(ChildText(record, "NrKontrahenta"), "BRAK");
  EXPECT_FALSE(FindReceiptRecord(jpk).IsNull());
  kxtest::TempDir dir;
  jpk.OwnerDocument().SaveToFile(dir / "ro.xml");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "ro.xml"), "");

  // Emptied fields remove their elements.
  fields.net8 = fields.tax8 = fields.exempt = "";
  WriteReceiptFields(record, fields);
  EXPECT_TRUE(record.FindChild("K_17").IsNull());
  EXPECT_TRUE(record.FindChild("K_18").IsNull());
  EXPECT_TRUE(record.FindChild("K_10").IsNull());
  EXPECT_EQ(EditFromChild(record, "K_19"), "1000");

  // A document without sale records gets the record at the top of Ewidencja.
  auto empty = Load(V7MFile(SaleCtrl(0, "0") + PurchaseCtrl(0, "0")));
  CreateReceiptRecord(empty, settings);
  EXPECT_EQ(ChildNames(empty.Node().FindChild("Ewidencja")), "SprzedazWiersz SprzedazCtrl ZakupCtrl ");
}

TEST(ReceiptDialog, TotalsAndDifferences) {
  struct Case {
    ReceiptFields f;
    ReceiptTotals want;
  } cases[] = {
      {{.net23 = "100", .tax23 = "23"}, {"23", "123", "0", "0", "0"}},
      {{.net23 = "100", .tax23 = "24", .net8 = "12.5", .tax8 = "1", .net5 = "10", .value0 = "5", .exempt = "2.5"},
       {"25", "155", "1", "0", "0"}},
      {{.net8 = "100", .tax8 = "7.99", .net5 = "33.33", .tax5 = "1.67"}, {"9.66", "142.99", "0", "-0.01", "0"}},
      {{}, {"0", "0", "0", "0", "0"}},
  };
  for (const auto& c : cases) {
    auto t = RecalcReceipt(c.f);
    EXPECT_EQ(t.taxSum, c.want.taxSum);
    EXPECT_EQ(t.total, c.want.total);
    EXPECT_EQ(t.diff23, c.want.diff23);
    EXPECT_EQ(t.diff8, c.want.diff8);
    EXPECT_EQ(t.diff5, c.want.diff5);
  }
  for (const char* bad : {"-", ".", "1.2.3", "12,5", "1e3", "abc"}) {
    try {
      RecalcReceipt({.net23 = bad});
      ADD_FAILURE() << bad;
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), "\"" + std::string(bad) + "\" nie jest poprawną liczbą");
    }
  }
}

TEST(ReceiptDialog, KeyFilter) {
  struct Case {
    std::string text;
    size_t caret;
    char key;
    bool accepted;
    char becomes;
  } cases[] = {
      {"12", 2, ',', true, '.'},  {"12.5", 4, ',', false, '.'}, {"12", 2, '5', true, '5'},
      {"", 0, '-', true, '-'},    {"12", 1, '-', false, '-'},   {"-12", 0, '-', false, '-'},
      {"12", 2, 'a', false, 'a'}, {"12", 2, '\b', true, '\b'},  {"12", 2, ' ', false, ' '},
  };
  for (const auto& c : cases) {
    char key = c.key;
    EXPECT_EQ(AcceptAmountKey(c.text, c.caret, key), c.accepted) << c.text << " " << c.key;
    EXPECT_EQ(key, c.becomes);
  }
  EXPECT_EQ(AmountFieldText("12,5"), "12.5");
}

TEST(ReceiptDialog, RateChecksBeforeClosing) {
  using kx::ui::Button;
  struct Case {
    const char* what;
    ReceiptFields f;
    std::vector<Button> answers;
    std::string question;  // the question asked, if any
    std::string message;   // the failure, "" when the dialog may close
    std::string focus;
  } cases[] = {
      {"exact tax", {.net23 = "100", .tax23 = "23"}, {}, "", "", ""},
      {"within 1 %", {.net23 = "1000", .tax23 = "230.5"}, {}, "", "", ""},
      {"net not above 1", {.net23 = "0.50", .tax23 = "7"}, {}, "", "", ""},
      {"both empty", {}, {}, "", "", ""},
      {"more than 1 % refused",
       {.net23 = "100", .tax23 = "24"},
       {Button::No},
       "Podatek w stawce 23% wynoszący: 24.00\rzbyt różni się od wyliczonego: 23.00\rRóżnica: 1.00\rZaakceptować?",
       // clang-format off
       "Wartość spoza zakresu", "edTax23"},
      {"more than 1 % accepted", {.net23 = "100", .tax23 = "24"}, {Button::Yes},
       "Podatek w stawce 23% wynoszący: 24.00\rzbyt różni się od wyliczonego: 23.00\rRóżnica: 1.00\rZaakceptować?", "",
       ""},
      {"box closed", {.net5 = "100", .tax5 = "0"}, {Button::Cancel},
       "Podatek w stawce 5% wynoszący: 0.00\rzbyt różni się od wyliczonego: 5.00\rRóżnica: -5.00\rZaakceptować?",
       "Wartość spoza zakresu", "edTax5"},
      {"net missing", {.tax8 = "8"}, {}, "", "Brak wartości netto w stawce 8%", "edNet8"},
      {"tax missing", {.net5 = "100"}, {}, "", "Brak wartości podatku w stawce 5%", "edTax5"},
      {"23 % checked first", {.net23 = "100", .net8 = "1"}, {}, "", "Brak wartości podatku w stawce 23%", "edTax23"},
  };
  // clang-format on
  for (const auto& c : cases) {
    kxtest::ScriptedUserPort port;
    port.answers.assign(c.answers.begin(), c.answers.end());
    auto failure = CheckReceiptRates(c.f, port);
    EXPECT_EQ(failure ? failure->message : "", c.message) << c.what;
    EXPECT_EQ(failure ? failure->focus : "", c.focus) << c.what;
    EXPECT_EQ(port.shown.empty() ? "" : port.shown[0].text, c.question) << c.what;
    EXPECT_TRUE(port.answers.empty()) << c.what;
  }
}
