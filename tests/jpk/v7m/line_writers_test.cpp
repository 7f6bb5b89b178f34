#include "jpk/v7m/line_writers.h"

#include <gtest/gtest.h>

#include "fixtures/generate_fixtures.h"
#include "support/temp_dir.h"

using kx::tables::Date;
using kx::tables::FieldKind;
using namespace kx::jpk::v7m;
using kxtest::Children;

namespace {

constexpr Date kIssue{2026, 11, 5};
constexpr Date kOther{2026, 11, 3};

}  // namespace

TEST(SetSaleLineV7, ElementsMarkersAndOrder) {
  struct Case {
    const char* kodKraju;
    const char* ksef;
    const char* typ;
    Date saleDate;
    int16_t gtu;
    int16_t procedura;
    const char* expected;
  } cases[] = {
      {"", "DI", "", kIssue, 0, 0,
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "DI=1"},
      // The words are compared with exact case.
      {"", "di", "", kIssue, 0, 0,
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "NrKSeF=di"},
      {"DE", "BFK", "FP", kOther, 5, 4,
       "LpSprzedazy=3 KodKrajuNadaniaTIN=DE NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 "
       "DataWystawienia=2026-11-05 DataSprzedazy=2026-11-03 BFK=1 TypDokumentu=FP GTU_01=1 GTU_03=1 TP=1"},
      {"", "OFF", "", kIssue, 0x1000 | 0x2000, 2048,
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "OFF=1 GTU_13=1 B_MPV_PROWIZJA=1"},
      // A negative set (bit 15) writes no marker; the empty reference is written as NrKSeF.
      {"", "", "WEW", kIssue, -1, static_cast<int16_t>(0x8004),
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "NrKSeF= TypDokumentu=WEW"},
      {"", "5260250274-20261105-0A1B2C-3D4E5F-01", "", kIssue, 0, 1 | 2 | 0x200 | 0x1000,
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "NrKSeF=5260250274-20261105-0A1B2C-3D4E5F-01 WSTO_EE=1 IED=1 B_SPV=1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    auto doc = kx::jpk::v7m::NewJPK();
    auto line = doc.Ewidencja().SprzedazWiersz().Add();
    SetSaleLineV7(line, 3, c.kodKraju, "5260250274", "Kłos", "FV 1", c.ksef, c.typ, kIssue, c.saleDate, c.gtu,
                  c.procedura);
    EXPECT_EQ(Children(line), c.expected);
  }
}

TEST(SetBuyLineV7, ElementsMarkersAndOrder) {
  struct Case {
    const char* ksef;
    const char* typ;
    Date receipt;
    bool imp;
    const char* expected;
  } cases[] = {
      {"BFK", "", kOther, false,
       "LpZakupu=1 NrDostawcy=BRAK NazwaDostawcy=Hurt DowodZakupu=F/9 DataZakupu=2026-11-05 DataWplywu=2026-11-03 "
       "BFK=1"},
      {"DI", "WEW", kIssue, true,
       "LpZakupu=1 NrDostawcy=BRAK NazwaDostawcy=Hurt DowodZakupu=F/9 DataZakupu=2026-11-05 DI=1 "
       "DokumentZakupu=WEW IMP=1"},
      {"Off", "", kIssue, false,
       "LpZakupu=1 NrDostawcy=BRAK NazwaDostawcy=Hurt DowodZakupu=F/9 DataZakupu=2026-11-05 NrKSeF=Off"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    auto doc = kx::jpk::v7m::NewJPK();
    auto line = doc.Ewidencja().ZakupWiersz().Add();
    SetBuyLineV7(line, 1, "", "BRAK", "Hurt", "F/9", c.ksef, c.typ, kIssue, c.receipt, c.imp);
    EXPECT_EQ(Children(line), c.expected);
  }
}

TEST(AmountWriters, RoundingSignsAndZeros) {
  kxtest::TempDir dir;
  // One row per case: net and tax as the register holds them.
  struct Case {
    double net;
    double tax;
    bool negate;
    const char* netTax;   // SetNetTaxNodes(K_19 Net, K_20 Tax)
    const char* amount;   // SetAmountNode(K_10 Net) without write-zero
    const char* zeroToo;  // SetAmountNode(K_13 Net) with write-zero
  } cases[] = {
      {0, 23.0, false, "K_19=0 K_20=23", "", "K_13=0"},
      {100, 0, false, "K_19=100", "K_10=100", "K_13=100"},
      {0, 0, false, "", "", "K_13=0"},
      {0, 0, true, "", "", "K_13=0"},
      {12.5, 2.875, true, "K_19=-12.5 K_20=-2.88", "K_10=-12.5", "K_13=-12.5"},
      {1234.504, 0.004, false, "K_19=1234.5", "K_10=1234.5", "K_13=1234.5"},
      {-0.005, 0, false, "K_19=-0.01", "K_10=-0.01", "K_13=-0.01"},
  };
  kxtest::TableBuilder reg("REG");
  reg.Field("Nr", FieldKind::Integer).Field("Net", FieldKind::Number).Field("Tax", FieldKind::Number).Key(1);
  int nr = 0;
  for (const auto& c : cases) reg.Row({++nr, c.net, c.tax});
  reg.WriteParadox(dir.Path());

  kx::tables::Session session;
  kx::tables::Table table(session);
  table.SetTableName((dir / "REG").string());
  table.Open();
  table.First();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.net);
    auto doc = kx::jpk::v7m::NewJPK();
    auto a = doc.Ewidencja().SprzedazWiersz().Add();
    SetNetTaxNodes(a, table, "K_19", "Net", "K_20", "Tax", c.negate);
    EXPECT_EQ(Children(a), c.netTax);
    auto b = doc.Ewidencja().SprzedazWiersz().Add();
    SetAmountNode(b, table, "K_10", "Net", c.negate, false);
    EXPECT_EQ(Children(b), c.amount);
    auto z = doc.Ewidencja().SprzedazWiersz().Add();
    SetAmountNode(z, table, "K_13", "Net", c.negate, true);
    EXPECT_EQ(Children(z), c.zeroToo);
    table.Next();
  }
}

TEST(AmountWriters, LateElementsTakeTheirSchemaPlace) {
  kxtest::TempDir dir;
  kxtest::TableBuilder("REG")
      .Field("A", FieldKind::Number)
      .Field("B", FieldKind::Number)
      .Row({5.0, 1.0})
      .WriteParadox(dir.Path());
  kx::tables::Session session;
  kx::tables::Table table(session);
  table.SetTableName((dir / "REG").string());
  table.Open();
  table.First();

  auto doc = kx::jpk::v7m::NewJPK();
  auto sale = doc.Ewidencja().SprzedazWiersz().Add();
  SetSaleLineV7(sale, 1, "", "BRAK", "X", "D", "DI", "", kIssue, kIssue, 1, 4);
  SetAmountNode(sale, table, "K_20", "B", false, false);
  SetAmountNode(sale, table, "K_14", "A", false, false);
  SetNetTaxNodes(sale, table, "K_11", "A", "K_12", "B", false);
  SetAmountNode(sale, table, "K_36", "B", false, false);
  SetAmountNode(sale, table, "K_10", "A", false, false);
  EXPECT_EQ(Children(sale),
            "LpSprzedazy=1 NrKontrahenta=BRAK NazwaKontrahenta=X DowodSprzedazy=D DataWystawienia=2026-11-05 DI=1 "
            "GTU_01=1 TP=1 K_10=5 K_11=5 K_12=1 K_14=5 K_20=1 K_36=1");
  // An element already there is overwritten in place.
  SetAmountNode(sale, table, "K_11", "B", true, false);
  EXPECT_NE(Children(sale).find("K_10=5 K_11=-1 K_12=1"), std::string::npos);

  auto buy = doc.Ewidencja().ZakupWiersz().Add();
  SetBuyLineV7(buy, 1, "", "BRAK", "X", "D", "BFK", "", kIssue, kIssue, true);
  SetAmountNode(buy, table, "K_43", "B", false, true);
  SetAmountNode(buy, table, "K_40", "A", false, true);
  EXPECT_EQ(Children(buy),
            "LpZakupu=1 NrDostawcy=BRAK NazwaDostawcy=X DowodZakupu=D DataZakupu=2026-11-05 BFK=1 IMP=1 K_40=5 "
            "K_43=1");
}
