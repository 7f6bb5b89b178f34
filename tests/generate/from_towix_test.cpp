// The warehouse driver through the "Generuj" command, on register and
// contractor tables written into a temporary folder.

#include <gtest/gtest.h>

#include <exception>

#include <functional>

#include "app/contractor.h"
#include "platform/error.h"
#include "fixtures/generate_fixtures.h"
#include "generate/v7m_generate.h"
#include "jpk/v7m/v7m_records.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::generate::GenerateOptions;
using kx::generate::GenJpkVatState;
using kx::generate::IXMLJPK;
using kx::ui::Button;

namespace {

constexpr const char* kKsef = "5260250274-20261105-0A1B2C-3D4E5F-01";

std::vector<RegRow> November() {
  return {
      // clang-format off
      {.cls = 0, .number = 1, .flags = 256, .document = "FV 1/11/2026", .ksef = kKsef, .gtu = 5, .value22 = 100,
       .tax22 = 23, .value = 123, .totalTax = 23},
      {.cls = 6, .number = 2, .flags = 8, .document = "PAR 2", .ksef = "DI", .value22 = 10, .tax22 = 2.3,
       .value = 12.3, .totalTax = 2.3},
      {.cls = 4, .number = 3, .document = "FP 3", .payer = 3, .ksef = "DI", .value7 = 50, .tax7 = 4, .value = 54,
       .totalTax = 4},
      {.cls = 22, .number = 4, .document = "WDT 4", .payer = 2, .value = 500},
      {.cls = 23, .number = 5, .flags = 512, .document = "WDT 5", .payer = 2, .value = 300},
      {.cls = 2, .number = 6, .document = "EX 6", .payer = 4, .ksef = "DI", .value = 200},
      {.cls = 3, .number = 7, .flags = 512, .document = "EX 7", .payer = 4, .ksef = "DI", .value = 50},
      {.cls = 0, .number = 8, .flags = 8, .document = "FV 8/11/2026", .value22 = 1, .tax22 = 0.23},
      {.cls = 48, .number = 9, .document = "FV 9", .value22 = 1, .tax22 = 0.23, .totalTax = 0.23},
      {.cls = 0, .number = 10, .document = "FV 10/10/2026", .date = {2026, 10, 31}, .saleDate = {2026, 11, 2},
       .value22 = 2, .tax22 = 0.46, .totalTax = 0.46},
      {.cls = 1, .number = 11, .flags = 16, .document = "KOR 11", .ksef = "DI", .value22 = -20, .tax22 = -4.6,
       .totalTax = -4.6},
      {.cls = 0, .number = 12, .document = "FV 12/11/2026", .saleDate = {2026, 11, 4}, .ksef = "", .valueFree = 40,
       .value0 = 60, .tax3 = 5, .totalTax = 5},
      {.cls = 0, .number = 13, .document = "FV 13/11/2026", .date = {2026, 11, 30}, .saleDate = {2026, 12, 1},
       .value22 = 3, .tax22 = 0.69, .totalTax = 0.69},
      // Purchases.
      {.cls = 128, .number = 1, .document = "FZ 1", .date = {2026, 11, 10}, .saleDate = {2026, 10, 30},
       .value7 = 10, .tax7 = 0.8, .value22 = 100, .tax22 = 23, .totalTax = 23.8},
      {.cls = 128, .number = 3, .flags = 2, .document = "FZ 3", .value22 = 7, .tax22 = 1.61, .totalTax = 1.61},
      {.cls = 128, .number = 4, .flags = 1024, .document = "IMP 4", .date = {2026, 11, 10},
       .saleDate = {2026, 11, 10}, .ksef = "DI"},
      {.cls = 128, .number = 5, .flags = 8, .document = "FZ 5", .value22 = 9, .totalTax = 2.07},
      {.cls = 129, .number = 2, .flags = 64, .document = "FZ 2", .date = {2026, 11, 10}, .saleDate = {2026, 11, 10},
       .value22 = 1000, .totalTax = 230},
      {.cls = 130, .number = 6, .document = "FZ 6", .value22 = 9, .totalTax = 2.07},
      {.cls = 128, .number = 7, .document = "FZ 7", .date = {2026, 12, 1}, .value22 = 9, .totalTax = 2.07},
  };
  // clang-format on
}

std::vector<UserRow> Buyers() {
  return {{1, "Piekarnia Kłos", "5260250274"},
          {2, "Müller GmbH", "DE811128135", 1, "Berlin;Niemcy"},
          {3, "Sklep Osiedlowy", "123"},
          {4, "Oslo Fisk AS", "NO999", 1, "Oslo;Norwegia"}};
}

std::vector<UserRow> Sellers() { return {{1, "Mleczarnia Łąka", "PL 526-025-02-74"}}; }

class TowixRun {
 public:
  TowixRun() : ctx(port) {
    FirmSettings(ctx.AppSettings);
    ctx.AppSettings.KXDataDir = dir.Path().string() + "/";
    ctx.AppSettings.UserDir = ctx.AppSettings.KXDataDir;
    options.month = {2026, 11, 17};
  }

  void WriteTables(const std::vector<RegRow>& rows = November(), bool withKsef = true) {
    TowixRegister("26_11REG", rows, withKsef).WriteParadox(dir.Path());
    Contractors("26_11UR", Buyers()).WriteParadox(dir.Path());
    Contractors("26_11UC", Sellers()).WriteParadox(dir.Path());
  }

  // Runs the command; the error text, empty on success.
  std::string Run() {
    FirmSettings(ctx.AppSettings);  // SaleDocTypes follows AddFaktMarket
    // Taken over as the editor takes a new document: numbered, with its
    // control sums.
    kx::generate::GeneratedV7M generated = kx::generate::GenerateJpkV7M(ctx, state, options);
    active = generated.document;
    try {
      if (!active.IsNull()) kx::jpk::v7m::RecalcJPK(active);
      if (generated.failure) std::rethrow_exception(generated.failure);
    } catch (const kx::Error& e) {
      return e.what();
    }
    return "";
  }

  std::vector<std::string> Sales() const {
    std::vector<std::string> out;
    auto list = active.Ewidencja().SprzedazWiersz();
    for (int i = 0; i < list.Count(); ++i) out.push_back(Children(list[i]));
    return out;
  }
  std::vector<std::string> Purchases() const {
    std::vector<std::string> out;
    auto list = active.Ewidencja().ZakupWiersz();
    for (int i = 0; i < list.Count(); ++i) out.push_back(Children(list[i]));
    return out;
  }
  // Document numbers of the sale or purchase records, joined by "|".
  std::string Numbers(bool sales) const {
    std::string out;
    for (const std::string& r : sales ? Sales() : Purchases()) {
      size_t at = r.find(sales ? "DowodSprzedazy=" : "DowodZakupu=");
      size_t from = r.find('=', at) + 1;
      size_t to = r.find(sales ? " DataWystawienia" : " DataZakupu", from);
      out += (out.empty() ? "" : "|") + r.substr(from, to - from);
    }
    return out;
  }
  std::string Ctrl(const char* name) const {
    auto node = active.Ewidencja().FindChild(name);
    return node.IsNull() ? "" : Children(kx::jpk::TypedNode(node));
  }

  TempDir dir;
  ScriptedUserPort port;
  kx::AppContext ctx;
  GenJpkVatState state;
  GenerateOptions options;
  IXMLJPK active;
};

}  // namespace

TEST(GenerateFromTowix, RecordsOfTheMonth) {
  TowixRun run;
  run.WriteTables();
  run.port.answers = {Button::Yes};
  ASSERT_EQ(run.Run(), "");

  ASSERT_EQ(run.port.shown.size(), 1u);
  EXPECT_EQ(run.port.shown[0].text, "FV 12/11/2026\rPuste pole KSeF. Oznaczyć jako BFK?");
  EXPECT_EQ(run.ctx.AppSettings.CurDate, (kx::tables::Date{2026, 11, 1}));
  EXPECT_FALSE(run.ctx.Session.Active());
  EXPECT_EQ(run.ctx.Session.OpenCount(), 0u);

  const std::string kKlos = "NrKontrahenta=5260250274 NazwaKontrahenta=Piekarnia Kłos ";
  const std::string kMuller = "KodKrajuNadaniaTIN=DE NrKontrahenta=811128135 NazwaKontrahenta=Müller GmbH ";
  const std::string kOslo = "NrKontrahenta=NO999 NazwaKontrahenta=Oslo Fisk AS ";
  const std::string kIssued = "DataWystawienia=2026-11-05 ";
  std::vector<std::string> sales = {
      "LpSprzedazy=1 " + kKlos + "DowodSprzedazy=FV 1/11/2026 " + kIssued + "NrKSeF=" + kKsef +
          " GTU_01=1 GTU_03=1 TP=1 K_19=100 K_20=23",
      "LpSprzedazy=2 " + kKlos + "DowodSprzedazy=FV 12/11/2026 " + kIssued +
          "DataSprzedazy=2026-11-04 BFK=1 K_10=40 K_13=60 K_15=0 K_16=5",
      "LpSprzedazy=3 " + kKlos +
          "DowodSprzedazy=FV 13/11/2026 DataWystawienia=2026-11-30 "
          "DataSprzedazy=2026-12-01 BFK=1 K_19=3 K_20=0.69",
      "LpSprzedazy=4 " + kKlos + "DowodSprzedazy=KOR 11 " + kIssued + "DI=1 TypDokumentu=FP K_19=-20 K_20=-4.6",
      "LpSprzedazy=5 " + kOslo + "DowodSprzedazy=EX 6 " + kIssued + "DI=1 K_11=200",
      "LpSprzedazy=6 " + kOslo + "DowodSprzedazy=EX 7 " + kIssued + "DI=1 K_22=50",
      // Classes 2 to 7 are read without the NIP check.
      "LpSprzedazy=7 NrKontrahenta=123 NazwaKontrahenta=Sklep Osiedlowy DowodSprzedazy=FP 3 " + kIssued +
          "DI=1 TypDokumentu=FP K_17=50 K_18=4",
      "LpSprzedazy=8 " + kKlos + "DowodSprzedazy=Korekta: PAR 2 " + kIssued +
          "DI=1 TypDokumentu=WEW K_19=-10 K_20=-2.3",
      "LpSprzedazy=9 " + kMuller + "DowodSprzedazy=WDT 4 " + kIssued + "BFK=1 K_11=500 K_12=500",
      "LpSprzedazy=10 " + kMuller + "DowodSprzedazy=WDT 5 " + kIssued + "BFK=1 K_21=300",
  };
  EXPECT_EQ(run.Sales(), sales);
  // "FP" documents stay out of the tax total; the cancelled receipt lowers it.
  EXPECT_EQ(run.Ctrl("SprzedazCtrl"), "LiczbaWierszySprzedazy=10 PodatekNalezny=26.39");

  const std::string kLaka = "NrDostawcy=5260250274 NazwaDostawcy=Mleczarnia Łąka ";
  std::vector<std::string> purchases = {
      "LpZakupu=1 " + kLaka +
          "DowodZakupu=FZ 1 DataZakupu=2026-10-30 DataWplywu=2026-11-10 BFK=1 K_42=110 "
          "K_43=23.8",
      "LpZakupu=2 " + kLaka + "DowodZakupu=IMP 4 DataZakupu=2026-11-10 DI=1 IMP=1 K_42=0 K_43=0",
      "LpZakupu=3 " + kLaka + "DowodZakupu=FZ 2 DataZakupu=2026-11-10 BFK=1 K_42=500 K_43=115",
  };
  EXPECT_EQ(run.Purchases(), purchases);
  EXPECT_EQ(run.Ctrl("ZakupCtrl"), "LiczbaWierszyZakupow=3 PodatekNaliczony=138.8");

  // Header of the month, sales before their control, then purchases.
  EXPECT_EQ(run.active.Naglowek().Miesiac(), 11);
  auto ew = run.active.Ewidencja().Node();
  EXPECT_EQ(ew.IndexOfChild("SprzedazCtrl"), 10);
  EXPECT_EQ(ew.IndexOfChild("ZakupCtrl"), 14);
}

TEST(GenerateFromTowix, SettingsChooseTheRows) {
  struct Case {
    const char* what;
    std::function<void(kx::AppSettings&)> set;
    const char* sales;
    const char* purchases;
    const char* salesCtrl;
  } cases[] = {
      {"defaults", [](kx::AppSettings&) {},
       "FV 1/11/2026|FV 12/11/2026|FV 13/11/2026|KOR 11|EX 6|EX 7|FP 3|Korekta: PAR 2|WDT 4|WDT 5", "FZ 1|IMP 4|FZ 2",
       "LiczbaWierszySprzedazy=10 PodatekNalezny=26.39"},
      {"AddAnulParag off", [](kx::AppSettings& s) { s.AddAnulParag = false; },
       "FV 1/11/2026|FV 12/11/2026|FV 13/11/2026|KOR 11|EX 6|EX 7|FP 3|WDT 4|WDT 5", "FZ 1|IMP 4|FZ 2",
       "LiczbaWierszySprzedazy=9 PodatekNalezny=28.69"},
      {"AddFaktMarket on", [](kx::AppSettings& s) { s.AddFaktMarket = true; },
       "FV 1/11/2026|FV 12/11/2026|FV 13/11/2026|KOR 11|EX 6|EX 7|FP 3|Korekta: PAR 2|WDT 4|WDT 5|FV 9",
       "FZ 1|IMP 4|FZ 2", "LiczbaWierszySprzedazy=11 PodatekNalezny=26.62"},
      {"AddCostInvo on", [](kx::AppSettings& s) { s.AddCostInvo = true; },
       "FV 1/11/2026|FV 12/11/2026|FV 13/11/2026|KOR 11|EX 6|EX 7|FP 3|Korekta: PAR 2|WDT 4|WDT 5",
       "FZ 1|FZ 3|IMP 4|FZ 2", "LiczbaWierszySprzedazy=10 PodatekNalezny=26.39"},
      // Sales by their sale date; purchases still by Date.
      {"RegBySaleDate on", [](kx::AppSettings& s) { s.RegBySaleDate = true; },
       "FV 1/11/2026|FV 10/10/2026|FV 12/11/2026|KOR 11|EX 6|EX 7|FP 3|Korekta: PAR 2|WDT 4|WDT 5", "FZ 1|IMP 4|FZ 2",
       "LiczbaWierszySprzedazy=10 PodatekNalezny=26.16"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TowixRun run;
    run.WriteTables();
    c.set(run.ctx.AppSettings);
    run.state.AlwaysMarkBFK = true;
    ASSERT_EQ(run.Run(), "");
    EXPECT_TRUE(run.port.shown.empty());
    EXPECT_EQ(run.Numbers(true), c.sales);
    EXPECT_EQ(run.Numbers(false), c.purchases);
    EXPECT_EQ(run.Ctrl("SprzedazCtrl"), c.salesCtrl);
  }
}

TEST(GenerateFromTowix, SalesAndPurchasesChoicesAndYearlyTables) {
  struct Case {
    bool sale, buy, yearly;
    int salesCount, purchasesCount;
  } cases[] = {
      {true, false, false, 10, 0},
      {false, true, false, 0, 3},
      {false, false, false, 0, 0},
      {true, true, true, 10, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sale << c.buy << c.yearly);
    TowixRun run;
    if (c.yearly) {
      TowixRegister("2026REG", November()).WriteParadox(run.dir.Path());
      Contractors("2026UR", Buyers()).WriteParadox(run.dir.Path());
      Contractors("2026UC", Sellers()).WriteParadox(run.dir.Path());
      run.ctx.AppSettings.YearKxTbl = true;
      run.ctx.AppSettings.YearUsrTbl = true;
    } else {
      run.WriteTables();
    }
    run.options.sale = c.sale;
    run.options.buy = c.buy;
    run.state.AlwaysMarkBFK = true;
    ASSERT_EQ(run.Run(), "");
    EXPECT_EQ(run.active.Naglowek().Rok(), "2026");
    if (!c.sale && !c.buy) {
      // Header and subject only: no Ewidencja, so nothing to recalculate.
      EXPECT_FALSE(run.active.HasChild("Ewidencja"));
      continue;
    }
    EXPECT_EQ(static_cast<int>(run.Sales().size()), c.salesCount);
    EXPECT_EQ(static_cast<int>(run.Purchases().size()), c.purchasesCount);
    // RecalcJPK gives both control elements, also for a register not read.
    EXPECT_EQ(run.Ctrl("SprzedazCtrl").rfind("LiczbaWierszySprzedazy=" + std::to_string(c.salesCount) + " ", 0), 0u);
    EXPECT_EQ(run.Ctrl("ZakupCtrl").rfind("LiczbaWierszyZakupow=" + std::to_string(c.purchasesCount) + " ", 0), 0u);
  }
}

TEST(GenerateFromTowix, UsersTableServesBothRegisters) {
  TowixRun run;
  TowixRegister("26_11REG",
                {{.cls = 0, .number = 1, .document = "FV 1", .payer = 7, .value22 = 100, .tax22 = 23, .totalTax = 23},
                 {.cls = 128, .number = 2, .document = "FZ 2", .payer = 8, .value22 = 10, .totalTax = 2.3}})
      .WriteParadox(run.dir.Path());
  Contractors("Users", {{7, "Kupiec z Users", "7740001454"}, {8, "Dostawca z Users", "DE811128135", 3, "Berlin"}}, true)
      .WriteParadox(run.dir.Path());
  // Per-period tables of the same numbers are not read when Users.db exists.
  Contractors("26_11UR", {{7, "Kupiec z UR", "7740001454"}}).WriteParadox(run.dir.Path());
  ASSERT_EQ(run.Run(), "");
  EXPECT_TRUE(kx::UsersTableExists);
  ASSERT_EQ(run.Sales().size(), 1u);
  EXPECT_NE(run.Sales()[0].find("NazwaKontrahenta=Kupiec z Users "), std::string::npos);
  ASSERT_EQ(run.Purchases().size(), 1u);
  EXPECT_NE(run.Purchases()[0].find("KodKrajuNadaniaTIN=DE NrDostawcy=811128135 NazwaDostawcy=Dostawca z Users "),
            std::string::npos);
}

TEST(GenerateFromTowix, KsefQuestionAnswers) {
  std::vector<RegRow> rows;
  for (int i = 1; i <= 4; ++i) {
    rows.push_back(
        {.cls = 0, .number = i, .document = nullptr, .ksef = "", .value22 = 1, .tax22 = 0.23, .totalTax = 0.23});
  }
  const char* numbers[] = {"FV 1", "FV 2", "FV 3", "FV 4"};
  for (int i = 0; i < 4; ++i) rows[i].document = numbers[i];

  struct Case {
    std::vector<Button> answers;
    size_t questions;
    const char* error;
    std::vector<const char*> markers;  // per record written
    bool alwaysAfter;
  } cases[] = {
      {{Button::Yes, Button::No, Button::Yes, Button::No}, 4, "", {"BFK=1", "NrKSeF= ", "BFK=1", "NrKSeF= "}, false},
      // Yes to all answers this and every later empty field.
      {{Button::No, Button::YesToAll}, 2, "", {"NrKSeF= ", "BFK=1", "BFK=1", "BFK=1"}, true},
      // Cancel stops; the records before stay in the handed-over document.
      {{Button::Yes, Button::Cancel}, 2, "Przerwano tworzenie JPK_V7M", {"BFK=1"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.questions);
    TowixRun run;
    run.WriteTables(rows);
    run.options.buy = false;
    run.port.answers.assign(c.answers.begin(), c.answers.end());
    EXPECT_EQ(run.Run(), c.error);
    ASSERT_EQ(run.port.shown.size(), c.questions);
    EXPECT_EQ(run.port.shown[1].text, "FV 2\rPuste pole KSeF. Oznaczyć jako BFK?");
    EXPECT_EQ(run.port.shown[1].kind, kx::ui::BoxKind::Confirmation);
    auto sales = run.Sales();
    ASSERT_EQ(sales.size(), c.markers.size());
    for (size_t i = 0; i < sales.size(); ++i) EXPECT_NE(sales[i].find(c.markers[i]), std::string::npos) << sales[i];
    EXPECT_EQ(run.state.AlwaysMarkBFK, c.alwaysAfter);
    EXPECT_FALSE(run.ctx.Session.Active());
  }

  // The answer holds for later runs of the same program run.
  TowixRun run;
  run.WriteTables(rows);
  run.state.AlwaysMarkBFK = true;
  ASSERT_EQ(run.Run(), "");
  EXPECT_TRUE(run.port.shown.empty());
  EXPECT_EQ(run.Numbers(true), "FV 1|FV 2|FV 3|FV 4");
}

TEST(GenerateFromTowix, FailuresStopTheRun) {
  struct Case {
    const char* what;
    std::vector<RegRow> rows;
    bool withKsef;
    std::vector<Button> answers;
    std::string error;
    size_t recordsBefore;
  } cases[] = {
      {"register without KSeF", November(), false, {}, "", 0},
      {"row without a document number",
       {{.cls = 0, .number = 1, .document = "FV 1", .ksef = "DI"}, {.cls = 0, .number = 5, .document = ""}},
       // clang-format off
       true, {}, "Brak numeru dokumentu (0-2026-1-5)", 1},
      {"contractor without a name",
       {{.cls = 0, .number = 1, .document = "FV 1", .ksef = "DI"},
        {.cls = 0, .number = 2, .document = "FV 2", .payer = 9, .ksef = "DI"}},
       true, {}, "Brak nazwy kontrahenta\r\nDokument: FV 2  NIP: \r\nWczytywanie przerwano", 1},
      {"refused NIP question",
       {{.cls = 0, .number = 1, .document = "FV 1", .payer = 3, .ksef = "DI"}}, true, {Button::No},
       "Wczytywanie przerwano", 0},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TowixRun run;
    run.WriteTables(c.rows, c.withKsef);
    run.port.answers.assign(c.answers.begin(), c.answers.end());
    std::string expected =
        c.error.empty() ? "Nie znaleziono pola \"KSeF\" w tabeli: " + run.dir.Path().string() + "/26_11REG" : c.error;
    EXPECT_EQ(run.Run(), expected);
    ASSERT_FALSE(run.active.IsNull());
    EXPECT_EQ(run.Sales().size(), c.recordsBefore);
    EXPECT_EQ(run.active.Naglowek().Miesiac(), 11);
    EXPECT_FALSE(run.ctx.Session.Active());
    EXPECT_EQ(run.ctx.Session.OpenCount(), 0u);
  }
}
