// The register program's driver on its yearly "Register" table.

#include <gtest/gtest.h>

#include <exception>

#include <filesystem>

#include "platform/error.h"
#include "fixtures/generate_fixtures.h"
#include "generate/v7m_generate.h"
#include "jpk/v7m/v7m_records.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kxtest;

namespace {

struct FolvoRow {
  int regId = 1;
  int number = 1;
  int month = 11;
  const char* document = "FV 1";
  int firm = 1;
  const char* typ = "";
  int gtu = 0;
  int procedura = 0;
  const char* ksef = "BFK";
  double valueFree = 0, value0 = 0, net3 = 0, vat3 = 0, net7 = 0, vat7 = 0, net22 = 0, vat22 = 0, noDeduct = 0;
};

class FolvoRun {
 public:
  FolvoRun() : ctx(port) {
    FirmSettings(ctx.AppSettings);
    ctx.AppSettings.FolvoDir = dir.Path().string() + "/";
    ctx.AppSettings.UserDir = ctx.AppSettings.FolvoDir;
    options.month = {2026, 11, 1};
    options.source = kx::generate::SourceProgram::Folvo;
    std::filesystem::create_directories(dir / "2026");
    Contractors("Users", {{1, "Piekarnia Kłos", "5260250274"}, {2, "Mleczarnia Łąka", "7740001454"}}, true)
        .WriteParadox(dir.Path());
  }

  void Write(const std::vector<FolvoRow>& rows, bool withKsef = true) {
    TableBuilder t("Register");
    // clang-format off
    t.Field("RegId", FieldKind::Short).Field("Number", FieldKind::Integer).Field("VATMonth", FieldKind::Short)
        .Field("FirmId", FieldKind::Integer).Field("DocName", FieldKind::Text, 30).Field("RegDate", FieldKind::Date)
        .Field("SaleDate", FieldKind::Date).Field("TypDokumentu", FieldKind::Text, 10).Field("GTU", FieldKind::Short)
        .Field("Procedura", FieldKind::Short);
    // clang-format on
    if (withKsef) t.Field("KSeF", FieldKind::Text, 40);
    for (const char* f : {"ValueFree", "Value0", "Net3", "Vat3", "Net7", "Vat7", "Net22", "Vat22", "VatNoDeduct"}) {
      t.Field(f, FieldKind::Number);
    }
    for (const FolvoRow& r : rows) {
      std::vector<Cell> cells{r.regId, r.number, r.month,    r.firm, r.document, Date{2026, 11, 20}, Date{2026, 11, 18},
                              r.typ,   r.gtu,    r.procedura};
      if (withKsef) cells.emplace_back(r.ksef);
      for (double v : {r.valueFree, r.value0, r.net3, r.vat3, r.net7, r.vat7, r.net22, r.vat22, r.noDeduct}) {
        cells.emplace_back(v);
      }
      t.Row(cells);
    }
    t.WriteParadox(dir / "2026");
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

std::vector<FolvoRow> Month() {
  return {
      {.regId = 1, .number = 1, .document = "FV 1", .typ = "RO", .gtu = 6, .procedura = 16, .net7 = 100, .vat7 = 8},
      // clang-format off
      {.regId = 128, .number = 2, .document = "FZ 2", .firm = 2, .procedura = 2, .valueFree = 10, .net22 = 100,
       .vat22 = 23, .noDeduct = 5},
      {.regId = 127, .number = 3, .document = "TaxFree/12", .value0 = 40},
      {.regId = 1, .number = 4, .month = 10, .document = "FV z października", .net22 = 1, .vat22 = 0.23},
      {.regId = 200, .number = 5, .document = "FZ 5", .firm = 2, .ksef = "DI"},
  };
  // clang-format on
}

const std::string kKlos = "NrKontrahenta=5260250274 NazwaKontrahenta=Piekarnia Kłos ";
const std::string kLaka = "NrDostawcy=7740001454 NazwaDostawcy=Mleczarnia Łąka ";
const std::string kSaleDates = "DataWystawienia=2026-11-20 DataSprzedazy=2026-11-18 BFK=1";
const std::string kBuyDates = "DataZakupu=2026-11-18 DataWplywu=2026-11-20";

}  // namespace

TEST(GenerateFromFolvo, SalesBelow128PurchasesFrom128) {
  struct Case {
    const char* what;
    bool sale, valZw, npo;
    std::vector<std::string> sales;
    std::vector<std::string> purchases;
  } cases[] = {
      // clang-format off
      {"both registers", true, false, false,
       {"LpSprzedazy=1 " + kKlos + "DowodSprzedazy=FV 1 " + kSaleDates +
            " TypDokumentu=RO GTU_02=1 GTU_03=1 TT_D=1 K_17=100 K_18=8",
        "LpSprzedazy=2 " + kKlos + "DowodSprzedazy=TaxFree/12 " + kSaleDates + " K_13=40 K_14=40"},
       {"LpZakupu=1 " + kLaka + "DowodZakupu=FZ 2 " + kBuyDates + " BFK=1 IMP=1 K_42=100 K_43=23",
        "LpZakupu=2 " + kLaka + "DowodZakupu=FZ 5 " + kBuyDates + " DI=1 K_42=0 K_43=0"}},
      {"purchases only, with exempt and non-deductible amounts", false, true, true, {},
       {"LpZakupu=1 " + kLaka + "DowodZakupu=FZ 2 " + kBuyDates + " BFK=1 IMP=1 K_42=115 K_43=23",
        "LpZakupu=2 " + kLaka + "DowodZakupu=FZ 5 " + kBuyDates + " DI=1 K_42=0 K_43=0"}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FolvoRun run;
    run.Write(Month());
    run.options.sale = c.sale;
    run.ctx.AppSettings.AddValZw2Net = c.valZw;
    run.ctx.AppSettings.AddNPO2Net = c.npo;
    ASSERT_EQ(run.Run(), "");
    EXPECT_TRUE(run.port.shown.empty());
    EXPECT_EQ(run.Records(true), c.sales);
    EXPECT_EQ(run.Records(false), c.purchases);
  }
}

TEST(GenerateFromFolvo, Failures) {
  struct Case {
    const char* what;
    std::vector<FolvoRow> rows;
    bool withKsef;
    std::string error;
    size_t salesBefore;
  } cases[] = {
      {"row without a document number",
       // clang-format off
       {{.regId = 1, .number = 1, .document = "FV 1"}, {.regId = 128, .number = 4, .document = ""}}, true,
       "Brak numeru dokumentu.\r128 4", 1},
      {"contractor missing from Users", {{.regId = 1, .number = 1, .document = "FV 1", .firm = 9}}, true,
       "Brak nazwy kontrahenta\r\nDokument: FV 1  NIP: \r\nWczytywanie przerwano", 0},
      {"register without KSeF", Month(), false, "", 0},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FolvoRun run;
    run.Write(c.rows, c.withKsef);
    std::string expected = c.error.empty()
                               ? "Nie znaleziono pola \"KSeF\" w tabeli: " + (run.dir / "2026" / "Register").string()
                               : c.error;
    EXPECT_EQ(run.Run(), expected);
    EXPECT_EQ(run.Records(true).size(), c.salesBefore);
    EXPECT_EQ(run.ctx.Session.OpenCount(), 0u);
  }
}
