#include "jpk/v7m/line_writers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "fixtures/generate_fixtures.h"
#include "fixtures/v7m_fixture.h"
#include "jpk/v7m/record_draft.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/error.h"
#include "support/jpk_schema.h"
#include "support/temp_dir.h"

using kx::tables::Date;
using kx::tables::FieldKind;
using namespace kx::jpk::v7m;
using kxtest::Children;

namespace {

constexpr Date kIssue{2026, 11, 5};
constexpr Date kOther{2026, 11, 3};

// A register of net and tax amounts, one row per case, opened at its first row.
class AmountTable {
 public:
  explicit AmountTable(const std::vector<std::pair<double, double>>& rows) : m_table(m_session) {
    kxtest::TableBuilder reg("REG");
    reg.Field("Nr", FieldKind::Integer).Field("Net", FieldKind::Number).Field("Tax", FieldKind::Number).Key(1);
    int nr = 0;
    for (const auto& [net, tax] : rows) reg.Row({++nr, net, tax});
    reg.WriteParadox(m_dir.Path());
    m_table.SetTableName((m_dir / "REG").string());
    m_table.Open();
    m_table.First();
  }
  kx::tables::Table& Table() { return m_table; }

 private:
  kxtest::TempDir m_dir;
  kx::tables::Session m_session;
  kx::tables::Table m_table;
};

// The record the writes make in a sale (or purchase) record element. The
// same writes into a draft, built into another document, must give the same
// record.
template <bool Sale, typename Write>
std::string Written(Write write) {
  auto doc = kx::jpk::v7m::NewJPK();
  auto line = [&] {
    if constexpr (Sale) {
      return doc.Ewidencja().SprzedazWiersz().Add();
    } else {
      return doc.Ewidencja().ZakupWiersz().Add();
    }
  }();
  write(line);
  RecordDraft draft = Sale ? RecordDraft::Sale() : RecordDraft::Purchase();
  write(draft);
  auto other = kx::jpk::v7m::NewJPK();
  kx::xml::XmlNode parent = other.Ewidencja().Node();
  kx::jpk::TypedNode built(BuildRecord(parent, draft));
  EXPECT_EQ(built.Node().LocalName(), line.Node().LocalName());
  EXPECT_EQ(Children(built), Children(line)) << "the drafted record";
  return Children(line);
}

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
      // The markers in any letter case, blanks around them ignored.
      {"", " di ", "", kIssue, 0, 0,
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "DI=1"},
      {"", "Bfk", "RO", kIssue, 0, 0,
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "BFK=1 TypDokumentu=RO"},
      {"", "\toff\r\n", "", kIssue, 0, 0,
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "OFF=1"},
      // A word that only starts like a marker is a number, written as given.
      {"", "DIX", "", kIssue, 0, 0,
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "NrKSeF=DIX"},
      // Purchase types and other texts are no sale document type.
      {"", "DI", "MK", kIssue, 0, 0,
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "DI=1"},
      {"", "DI", "VAT_RR", kIssue, 0, 0,
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "DI=1"},
      {"", "DI", "fp", kIssue, 0, 0,
       "LpSprzedazy=3 NrKontrahenta=5260250274 NazwaKontrahenta=Kłos DowodSprzedazy=FV 1 DataWystawienia=2026-11-05 "
       "DI=1"},
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
    EXPECT_EQ(Written<true>([&](auto& line) {
                SetSaleLineV7(line, 3, c.kodKraju, "5260250274", "Kłos", "FV 1", c.ksef, c.typ, kIssue, c.saleDate,
                              c.gtu, c.procedura);
              }),
              c.expected);
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
      {"Off", "MK", kIssue, false,
       "LpZakupu=1 NrDostawcy=BRAK NazwaDostawcy=Hurt DowodZakupu=F/9 DataZakupu=2026-11-05 OFF=1 DokumentZakupu=MK"},
      {" bfk", "VAT_RR", kIssue, false,
       "LpZakupu=1 NrDostawcy=BRAK NazwaDostawcy=Hurt DowodZakupu=F/9 DataZakupu=2026-11-05 BFK=1 "
       "DokumentZakupu=VAT_RR"},
      // Sale types are no purchase document type.
      {"dI", "FP", kIssue, false,
       "LpZakupu=1 NrDostawcy=BRAK NazwaDostawcy=Hurt DowodZakupu=F/9 DataZakupu=2026-11-05 DI=1"},
      {"DI", "RO", kIssue, true,
       "LpZakupu=1 NrDostawcy=BRAK NazwaDostawcy=Hurt DowodZakupu=F/9 DataZakupu=2026-11-05 DI=1 IMP=1"},
      {"5260250274-20261105-0A1B2C-3D4E5F-01", "mk", kIssue, false,
       "LpZakupu=1 NrDostawcy=BRAK NazwaDostawcy=Hurt DowodZakupu=F/9 DataZakupu=2026-11-05 "
       "NrKSeF=5260250274-20261105-0A1B2C-3D4E5F-01"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(Written<false>([&](auto& line) {
                SetBuyLineV7(line, 1, "", "BRAK", "Hurt", "F/9", c.ksef, c.typ, kIssue, c.receipt, c.imp);
              }),
              c.expected);
  }
}

TEST(AmountWriters, RoundingSignsAndZeros) {
  // One row per case: net and tax as the register holds them.
  struct Case {
    double net;
    double tax;
    bool negate;
    const char* netTax;   // SetNetTaxNodes(K_19 Net, K_20 Tax)
    const char* amount;   // SetAmountNode(K_10 Net) without write-zero
    const char* zeroToo;  // SetAmountNode(K_13 Net) with write-zero
  } cases[] = {
      // Either half of a pair not 0: both are written.
      {0, 23.0, false, "K_19=0 K_20=23", "", "K_13=0"},
      {100, 0, false, "K_19=100 K_20=0", "K_10=100", "K_13=100"},
      {0, -4.6, true, "K_19=0 K_20=4.6", "", "K_13=0"},
      {0, 0, false, "", "", "K_13=0"},
      {0, 0, true, "", "", "K_13=0"},
      // Rounded to 0: as 0.
      {0.004, 0.003, false, "", "", "K_13=0"},
      {12.5, 2.875, true, "K_19=-12.5 K_20=-2.88", "K_10=-12.5", "K_13=-12.5"},
      {1234.504, 0.004, false, "K_19=1234.5 K_20=0", "K_10=1234.5", "K_13=1234.5"},
      {-0.005, 0, false, "K_19=-0.01 K_20=0", "K_10=-0.01", "K_13=-0.01"},
  };
  std::vector<std::pair<double, double>> rows;
  for (const auto& c : cases) rows.emplace_back(c.net, c.tax);
  AmountTable amounts(rows);
  kx::tables::Table& table = amounts.Table();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.net);
    EXPECT_EQ(Written<true>([&](auto& a) { SetNetTaxNodes(a, table, "K_19", "Net", "K_20", "Tax", c.negate); }),
              c.netTax);
    EXPECT_EQ(Written<true>([&](auto& b) { SetAmountNode(b, table, "K_10", "Net", c.negate, false); }), c.amount);
    EXPECT_EQ(Written<true>([&](auto& z) { SetAmountNode(z, table, "K_13", "Net", c.negate, true); }), c.zeroToo);
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

  auto writeSale = [&](auto& sale) {
    SetSaleLineV7(sale, 1, "", "BRAK", "X", "D", "DI", "", kIssue, kIssue, 1, 4);
    SetAmountNode(sale, table, "K_20", "B", false, false);
    SetAmountNode(sale, table, "K_14", "A", false, false);
    // K_11 and K_12 are no pair of the schema.
    SetNetTaxNodes(sale, table, "K_11", "A", "K_12", "B", false);
    SetAmountNode(sale, table, "K_36", "B", false, false);
    SetAmountNode(sale, table, "K_10", "A", false, false);
  };
  // K_20 brought K_19 as 0 before it.
  EXPECT_EQ(Written<true>(writeSale),
            "LpSprzedazy=1 NrKontrahenta=BRAK NazwaKontrahenta=X DowodSprzedazy=D DataWystawienia=2026-11-05 DI=1 "
            "GTU_01=1 TP=1 K_10=5 K_11=5 K_12=1 K_14=5 K_19=0 K_20=1 K_36=1");
  // An element already there is overwritten in place; so is a partner made as 0.
  std::string overwritten = Written<true>([&](auto& sale) {
    writeSale(sale);
    SetAmountNode(sale, table, "K_11", "B", true, false);
    SetAmountNode(sale, table, "K_19", "A", false, false);
  });
  EXPECT_NE(overwritten.find("K_10=5 K_11=-1 K_12=1 K_14=5 K_19=5 K_20=1 K_36=1"), std::string::npos);

  EXPECT_EQ(Written<false>([&](auto& buy) {
              SetBuyLineV7(buy, 1, "", "BRAK", "X", "D", "BFK", "", kIssue, kIssue, true);
              SetAmountNode(buy, table, "K_43", "B", false, true);
              SetAmountNode(buy, table, "K_40", "A", false, true);
            }),
            "LpZakupu=1 NrDostawcy=BRAK NazwaDostawcy=X DowodZakupu=D DataZakupu=2026-11-05 BFK=1 IMP=1 K_40=5 "
            "K_41=0 K_42=0 K_43=1");
}

// The registers that fill a pair with two single writes (a net, then its tax):
// a net with no tax and a tax with no net each give the whole pair.
TEST(AmountWriters, EveryPairOfTheSchemaIsWrittenWhole) {
  AmountTable amounts({{100, 0}, {0, 23}, {0, 0}});
  kx::tables::Table& table = amounts.Table();
  struct Case {
    bool sale;
    const char* net;
    const char* tax;
  } pairs[] = {{true, "K_15", "K_16"},  {true, "K_17", "K_18"}, {true, "K_19", "K_20"}, {true, "K_23", "K_24"},
               {true, "K_25", "K_26"},  {true, "K_27", "K_28"}, {true, "K_29", "K_30"}, {true, "K_31", "K_32"},
               {false, "K_40", "K_41"}, {false, "K_42", "K_43"}};
  const char* const expected[] = {"%s=100 %s=0", "%s=0 %s=23", ""};
  for (const Case& c : pairs) {
    table.First();
    for (const char* pattern : expected) {
      SCOPED_TRACE(std::string(c.net) + " " + pattern);
      auto write = [&](auto& record) {
        SetAmountNode(record, table, c.net, "Net", false, false);
        SetAmountNode(record, table, c.tax, "Tax", false, false);
      };
      char text[64];
      std::snprintf(text, sizeof text, pattern, c.net, c.tax);
      EXPECT_EQ(c.sale ? Written<true>(write) : Written<false>(write), text);
      table.Next();
    }
  }
}

// Whole files made by the writers from faulty source values validate: nets
// without tax and taxes without net in every pair, document types of the other
// side, markers in another case.
TEST(LineWriters, FilesFromFaultySourceValuesValidate) {
  kxtest::TempDir dir;
  AmountTable amounts({{100, 0}, {0, 23}});
  kx::tables::Table& table = amounts.Table();
  auto jpk = GetJPKRoot(kx::xml::XmlDocument::FromString(kxtest::V7MFile("")));
  auto ewidencja = jpk.Ewidencja();
  const char* const saleTypes[] = {"MK", "VAT_RR", "RO", "fp"};
  const char* const purchaseTypes[] = {"FP", "RO", "MK", "wew"};
  const char* const markers[] = {" di ", "Bfk", "off", "DI"};
  int lp = 0;
  bool singleWrites = false;  // pair by pair: one SetNetTaxNodes, or a net and a tax written apart
  for (const char* net : {"K_15", "K_17", "K_19", "K_23", "K_25", "K_27", "K_29", "K_31"}) {
    const std::string tax = "K_" + std::to_string(std::stoi(net + 2) + 1);
    singleWrites = !singleWrites;
    for (table.First(); !table.Eof(); table.Next()) {
      ++lp;
      auto line = ewidencja.SprzedazWiersz().Add();
      SetSaleLineV7(line, lp, "", "5260250274", "Kłos", "FV " + std::to_string(lp), markers[lp % 4], saleTypes[lp % 4],
                    kIssue, kOther, 0, 0);
      if (singleWrites) {
        SetAmountNode(line, table, net, "Net", false, false);
        SetAmountNode(line, table, tax, "Tax", false, false);
      } else {
        SetNetTaxNodes(line, table, net, "Net", tax, "Tax", false);
      }
    }
  }
  lp = 0;
  for (const char* net : {"K_40", "K_42"}) {
    const std::string tax = "K_" + std::to_string(std::stoi(net + 2) + 1);
    for (table.First(); !table.Eof(); table.Next()) {
      ++lp;
      auto line = ewidencja.ZakupWiersz().Add();
      SetBuyLineV7(line, lp, "", "7740001454", "Łąka", "FZ " + std::to_string(lp), markers[lp % 4],
                   purchaseTypes[lp % 4], kIssue, kOther, false);
      SetNetTaxNodes(line, table, net, "Net", tax, "Tax", false);
    }
  }
  RecalcJPK(jpk);
  jpk.OwnerDocument().SaveToFile(dir / "v7m.xml");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "v7m.xml"), "");
  EXPECT_EQ(ewidencja.SprzedazWiersz().Count(), 16);
  EXPECT_EQ(ewidencja.ZakupWiersz().Count(), 4);
}

// What only a draft meets: names outside the schema order, and texts no XML
// document can hold, refused as the document refuses them.
TEST(RecordDraft, UnknownNamesAndForbiddenTexts) {
  // Unknown names are passed by a placed element and stay where they came.
  RecordDraft draft = RecordDraft::Sale();
  draft.Place("K_20", "1");
  draft.Place("Uwagi", "x");
  draft.Place("K_19", "0");
  draft.Set("Inne", "y");
  draft.Set("Uwagi", "z");
  auto doc = kx::jpk::v7m::NewJPK();
  kx::xml::XmlNode parent = doc.Ewidencja().Node();
  EXPECT_EQ(Children(kx::jpk::TypedNode(BuildRecord(parent, draft))), "K_19=0 K_20=1 Uwagi=z Inne=y");

  for (std::string_view bad : {std::string_view("a\x01b"), std::string_view("\xC3(")}) {
    std::string fromNode;
    try {
      kx::jpk::v7m::NewJPK().Ewidencja().SprzedazWiersz().Add().Node().AddChild("NazwaKontrahenta").SetText(bad);
    } catch (const kx::Error& e) {
      fromNode = e.what();
    }
    ASSERT_FALSE(fromNode.empty());
    RecordDraft refused = RecordDraft::Sale();
    try {
      refused.Set("NazwaKontrahenta", bad);
      ADD_FAILURE() << "Set took a text XML cannot hold";
    } catch (const kx::Error& e) {
      EXPECT_EQ(e.what(), fromNode);
    }
    EXPECT_THROW(refused.Place("K_10", bad), kx::Error);
    EXPECT_TRUE(refused.Elements().empty());
  }
}
