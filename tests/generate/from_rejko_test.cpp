// The bookkeeping driver on the nine registers and on the single "Register"
// table of a year folder.

#include <gtest/gtest.h>

#include <exception>

#include <filesystem>
#include <map>

#include "app/contractor.h"
#include "platform/error.h"
#include "fixtures/generate_fixtures.h"
#include "generate/v7m_generate.h"
#include "jpk/v7m/v7m_records.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kxtest;

namespace {

const char* const kNine[] = {"REGS", "REGSKOR", "REGSU", "REGB1", "REGB", "REGB2", "REGBKOR", "REGBA", "REGBP"};
constexpr int kNovember2026 = (2026 - 1900) * 100 + 5 * 11;  // the bookkeeping program's period id

// A row of a nine-table register.
struct NineRow {
  int period = kNovember2026;
  int number = 1;
  const char* document = "FV 1";
  int user = 1;
  const char* typ = "";
  int gtu = 0;
  int procedura = 0;
  const char* ksef = "DI";
  double wartZw = 0, wart0 = 0, wart3 = 0, vat3 = 0, wart7 = 0, vat7 = 0, wart22 = 0, vat22 = 0, vat = 0, npo = 0;
};

void WriteNine(const std::filesystem::path& dir, const char* name, const std::vector<NineRow>& rows,
               bool withKsef = true) {
  TableBuilder t(name);
  // clang-format off
  t.Field("Period Id", FieldKind::Integer).Field("Number", FieldKind::Integer).Field("User", FieldKind::Integer)
      .Field("Dokument", FieldKind::Text, 30).Field("Data Wystawienia", FieldKind::Date)
      .Field("Data Sprzedazy", FieldKind::Date).Field("Data Wplywu", FieldKind::Date)
      .Field("TypDokumentu", FieldKind::Text, 10).Field("GTU", FieldKind::Short).Field("Procedura", FieldKind::Short);
  // clang-format on
  if (withKsef) t.Field("KSeF", FieldKind::Text, 40);
  for (const char* f :
       {"Wart. zw", "Wart. 0", "Wart. 3", "VAT 3", "Wart. 7", "VAT 7", "Wart. 22", "VAT 22", "VAT", "VatNPO"}) {
    t.Field(f, FieldKind::Number);
  }
  for (const NineRow& r : rows) {
    std::vector<Cell> cells{r.period,          r.number,          r.user, r.document, Date{2026, 11, 5},
                            Date{2026, 11, 4}, Date{2026, 11, 9}, r.typ,  r.gtu,      r.procedura};
    if (withKsef) cells.emplace_back(r.ksef);
    for (double v : {r.wartZw, r.wart0, r.wart3, r.vat3, r.wart7, r.vat7, r.wart22, r.vat22, r.vat, r.npo}) {
      cells.emplace_back(v);
    }
    t.Row(cells);
  }
  t.WriteParadox(dir);
}

class RejkoRun {
 public:
  RejkoRun() : ctx(port) {
    FirmSettings(ctx.AppSettings);
    ctx.AppSettings.RejkoDir = dir.Path().string() + "/";
    ctx.AppSettings.RejkoUserDir = (dir / "firmy").string() + "/";
    options.month = {2026, 11, 1};
    options.source = kx::generate::SourceProgram::Rejko;
    std::filesystem::create_directories(Year());
    std::filesystem::create_directories(dir / "firmy");
    Contractors("Users", {{1, "Piekarnia Kłos", "5260250274"}, {2, "Mleczarnia Łąka", "7740001454"}}, true)
        .WriteParadox(dir / "firmy");
  }

  std::filesystem::path Year() const { return dir / "2026"; }

  // The nine registers: the given rows, the others empty.
  void WriteNineTables(const std::map<std::string, std::vector<NineRow>>& rows) {
    for (const char* name : kNine) {
      auto it = rows.find(name);
      WriteNine(Year(), name, it == rows.end() ? std::vector<NineRow>{} : it->second);
    }
  }

  std::string Run() {
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

  std::vector<std::string> Records(bool sales) const {
    std::vector<std::string> r;
    auto ew = active.Ewidencja();
    if (sales) {
      for (int i = 0; i < ew.SprzedazWiersz().Count(); ++i) r.push_back(Children(ew.SprzedazWiersz()[i]));
    } else {
      for (int i = 0; i < ew.ZakupWiersz().Count(); ++i) r.push_back(Children(ew.ZakupWiersz()[i]));
    }
    return r;
  }

  TempDir dir;
  ScriptedUserPort port;
  kx::AppContext ctx;
  kx::generate::GenJpkVatState state;
  kx::generate::GenerateOptions options;
  kx::generate::IXMLJPK active;
};

const std::string kKlos = "NrKontrahenta=5260250274 NazwaKontrahenta=Piekarnia Kłos ";
const std::string kLaka = "NrDostawcy=7740001454 NazwaDostawcy=Mleczarnia Łąka ";

std::map<std::string, std::vector<NineRow>> NineMonth() {
  return {
      {"REGS",
       {{.number = 1, .document = "FV 1", .typ = "FP", .gtu = 1, .procedura = 2, .wart22 = 100, .vat22 = 23},
        {.period = kNovember2026 - 5, .number = 2, .document = "FV 2 z października", .wart22 = 1, .vat22 = 0.23},
        {.number = 3, .document = "TaxFree/3", .wart0 = 80},
        {.number = 4, .document = "taxfree/4", .wart0 = 70}}},
      {"REGSKOR", {{.number = 1, .document = "KOR 1", .wartZw = 15, .wart3 = 0, .vat3 = 1.5}}},
      {"REGB1", {{.number = 1, .document = "WNT 1", .user = 2, .wart22 = 300, .vat22 = 69, .vat = 69}}},
      // clang-format off
      {"REGB", {{.number = 1, .document = "FZ 1", .user = 2, .procedura = 2, .wartZw = 7, .wart7 = 50,
                 .wart22 = 100, .vat = 27, .npo = 5}}},
      {"REGBP", {{.number = 1, .document = "ST 1", .user = 2, .wart22 = 1000, .vat = 230}}},
  };
  // clang-format on
}

}  // namespace

TEST(GenerateFromRejko, NineRegistersOfTheMonth) {
  RejkoRun run;
  run.WriteNineTables(NineMonth());
  ASSERT_EQ(run.Run(), "");
  EXPECT_TRUE(kx::UsersTableExists);
  EXPECT_TRUE(run.port.shown.empty());
  const std::string dates = "DataWystawienia=2026-11-05 DataSprzedazy=2026-11-04 DI=1";
  EXPECT_EQ(run.Records(true),
            (std::vector<std::string>{
                "LpSprzedazy=1 " + kKlos + "DowodSprzedazy=FV 1 " + dates +
                    " TypDokumentu=FP GTU_01=1 IED=1 "
                    "K_19=100 K_20=23",
                // Only "TaxFree" in this letter case carries the 0 % amount into K_14 as well.
                "LpSprzedazy=2 " + kKlos + "DowodSprzedazy=TaxFree/3 " + dates + " K_13=80 K_14=80",
                "LpSprzedazy=3 " + kKlos + "DowodSprzedazy=taxfree/4 " + dates + " K_13=70",
                // Numbered in each register from 1, continuous after RecalcJPK.
                "LpSprzedazy=4 " + kKlos + "DowodSprzedazy=KOR 1 " + dates + " K_10=15 K_15=0 K_16=1.5",
            }));
  EXPECT_EQ(run.Records(false), (std::vector<std::string>{
                                    "LpZakupu=1 " + kLaka +
                                        "DowodZakupu=WNT 1 DataZakupu=2026-11-05 DataWplywu=2026-11-09 DI=1 "
                                        "K_42=300 K_43=69",
                                    "LpZakupu=2 " + kLaka +
                                        "DowodZakupu=FZ 1 DataZakupu=2026-11-05 DataWplywu=2026-11-09 DI=1 IMP=1 "
                                        "K_42=150 K_43=27",
                                    "LpZakupu=3 " + kLaka +
                                        "DowodZakupu=ST 1 DataZakupu=2026-11-05 DataWplywu=2026-11-09 DI=1 "
                                        "K_40=1000 K_41=230",
                                }));
}

TEST(GenerateFromRejko, SettingsAndChoices) {
  struct Case {
    const char* what;
    bool zakup2Ex, impUslug, valZw, npo, sale, buy;
    std::vector<std::string> salesHave;  // a part of each sale record, in order
    std::vector<std::string> buysHave;
  } cases[] = {
      // clang-format off
      {"REGB1 read twice", true, false, false, false, true, true,
       {"FV 1 ", "TaxFree/3", "taxfree/4", "KOR 1", "DowodSprzedazy=WNT 1 DataWystawienia=2026-11-05 "
        "DataSprzedazy=2026-11-09 DI=1 K_25=300 K_26=69"},
       {"WNT 1", "FZ 1", "ST 1"}},
      // Without sales, REGB1 still gives its purchases.
      {"REGB1 twice, purchases only", true, false, false, false, false, true, {}, {"WNT 1", "FZ 1", "ST 1"}},
      {"REGB1 twice, sales only", true, false, false, false, true, false,
       {"FV 1 ", "TaxFree/3", "taxfree/4", "KOR 1", "WNT 1"}, {}},
      {"import of services", false, true, false, false, true, false,
       {"DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 DataSprzedazy=2026-11-04 DI=1 TypDokumentu=FP GTU_01=1 IED=1 "
        "K_29=100 K_30=23",
        "TaxFree/3 DataWystawienia=2026-11-05 DataSprzedazy=2026-11-04 DI=1", "taxfree/4", "KOR 1 "
        "DataWystawienia=2026-11-05 DataSprzedazy=2026-11-04 DI=1 K_10=15"},
       {}},
      {"exempt and non-deductible into the net", false, false, true, true, false, true, {},
       {"WNT 1 DataZakupu=2026-11-05 DataWplywu=2026-11-09 DI=1 K_42=300", "FZ 1 DataZakupu=2026-11-05 "
        "DataWplywu=2026-11-09 DI=1 IMP=1 K_42=162 K_43=27", "ST 1"}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RejkoRun run;
    run.WriteNineTables(NineMonth());
    auto& s = run.ctx.AppSettings;
    s.Zakup2Ex = c.zakup2Ex;
    s.Sprzedaz2ImpUslugEx = c.impUslug;
    s.AddValZw2Net = c.valZw;
    s.AddNPO2Net = c.npo;
    run.options.sale = c.sale;
    run.options.buy = c.buy;
    ASSERT_EQ(run.Run(), "");
    auto sales = run.Records(true);
    auto buys = run.Records(false);
    ASSERT_EQ(sales.size(), c.salesHave.size());
    ASSERT_EQ(buys.size(), c.buysHave.size());
    for (size_t i = 0; i < sales.size(); ++i) EXPECT_NE(sales[i].find(c.salesHave[i]), std::string::npos) << sales[i];
    for (size_t i = 0; i < buys.size(); ++i) EXPECT_NE(buys[i].find(c.buysHave[i]), std::string::npos) << buys[i];
  }
}

TEST(GenerateFromRejko, SingleRegisterTable) {
  RejkoRun run;
  TableBuilder t("Register");
  // clang-format off
  t.Field("RegType", FieldKind::Short).Field("VatPeriod", FieldKind::Short).Field("Number", FieldKind::Integer)
      .Field("FirmId", FieldKind::Integer).Field("DocName", FieldKind::Text, 30).Field("DocDate", FieldKind::Date)
      .Field("SaleDate", FieldKind::Date).Field("TypDokumentu", FieldKind::Text, 10).Field("GTU", FieldKind::Short)
      .Field("Procedura", FieldKind::Short).Field("KSeF", FieldKind::Text, 40);
  // clang-format on
  for (const char* f : {"ValueFree", "Value0", "NetD", "VatD", "NetB", "VatB", "NetA", "VatA"}) {
    t.Field(f, FieldKind::Number);
  }
  Date doc{2026, 11, 12}, sale{2026, 11, 10};
  t.Row({0, 11, 1, 1, "FV 1", doc, sale, "", 0, 0, "DI", 0.0, 0.0, 10.0, 0.5, 0.0, 0.0, 100.0, 23.0})
      .Row({0, 10, 2, 1, "FV 2", doc, sale, "", 0, 0, "DI", 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 5.0, 1.15})
      .Row({128, 11, 3, 2, "FZ 3", doc, sale, "", 0, 2, "", 20.0, 5.0, 0.0, 0.0, 50.0, 4.0, 100.0, 23.0})
      .Row({128, 11, 4, 2, "FZ 4", doc, doc, "", 0, 0, "OFF", 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0})
      .WriteParadox(run.Year());
  run.ctx.AppSettings.AddValZw2Net = true;
  run.port.answers = {kx::ui::Button::Yes};
  ASSERT_EQ(run.Run(), "");
  EXPECT_EQ(run.port.shown.at(0).text, "FZ 3\rPuste pole KSeF. Oznaczyć jako BFK?");
  EXPECT_EQ(run.Records(true),
            (std::vector<std::string>{"LpSprzedazy=1 " + kKlos +
                                      "DowodSprzedazy=FV 1 DataWystawienia=2026-11-12 DataSprzedazy=2026-11-10 DI=1 "
                                      "K_15=10 K_16=0.5 K_19=100 K_20=23"}));
  // Purchase date from SaleDate, receipt from DocDate; every purchase in K_42/K_43.
  EXPECT_EQ(
      run.Records(false),
      (std::vector<std::string>{"LpZakupu=1 " + kLaka +
                                    "DowodZakupu=FZ 3 DataZakupu=2026-11-10 DataWplywu=2026-11-12 BFK=1 IMP=1 "
                                    "K_42=175 K_43=27",
                                "LpZakupu=2 " + kLaka + "DowodZakupu=FZ 4 DataZakupu=2026-11-12 OFF=1 K_42=0 K_43=0"}));
}

TEST(GenerateFromRejko, Failures) {
  {
    RejkoRun run;
    auto month = NineMonth();
    month["REGB"].push_back({.number = 7, .document = ""});
    run.WriteNineTables(month);
    EXPECT_EQ(run.Run(), "Brak numeru dokumentu.\rRejestr: REGB Nr: 7");
    // The registers before stay.
    EXPECT_EQ(run.Records(true).size(), 4u);
    EXPECT_EQ(run.Records(false).size(), 2u);
    EXPECT_EQ(run.ctx.Session.OpenCount(), 0u);
  }
  {
    RejkoRun run;
    run.WriteNineTables(NineMonth());
    WriteNine(run.Year(), "REGB2", {}, false);
    EXPECT_EQ(run.Run(), "Nie znaleziono pola \"KSeF\" w tabeli: " + (run.Year() / "REGB2").string());
    EXPECT_EQ(run.Records(false).size(), 2u);
  }
}
