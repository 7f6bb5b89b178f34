// The declaration part: every position, both roundings, the capping of P_49
// and P_50, the refund checks, the correction records, schema order, removal.

#include "editor/v7m_declaration.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "fixtures/v7m_fixture.h"
#include "jpk/v7m/v7m_order.h"
#include "jpk/v7m/v7m_records.h"
#include "jpk/files/jpkTools.h"
#include "support/jpk_schema.h"
#include "support/temp_dir.h"

using namespace kx;
using namespace kx::editor;
using namespace kx::jpk::v7m;
using kxtest::Declaration;
using kxtest::Purchase;
using kxtest::PurchaseCtrl;
using kxtest::Sale;
using kxtest::SaleCtrl;
using kxtest::V7MFile;

namespace {

IXMLJPK Load(const std::string& text) { return jpk::v7m::GetJPKRoot(xml::XmlDocument::FromString(text)); }

// The positions as "P_x=v" in file order.
std::string Positions(const IXMLJPK& jpk) {
  auto p = jpk.Node().FindChild("Deklaracja").FindChild("PozycjeSzczegolowe");
  std::string s;
  for (auto c = p.FirstChild(); !c.IsNull(); c = c.NextSibling()) s += c.LocalName() + "=" + c.Text() + " ";
  return s;
}

std::string ChildNames(const xml::XmlNode& node) {
  std::string names;
  for (auto c = node.FirstChild(); !c.IsNull(); c = c.NextSibling()) names += c.LocalName() + " ";
  return names;
}

// A document with these records (controls made by RecalcJPK).
IXMLJPK Records(const std::string& sales, const std::string& purchases, const std::string& declaration = "") {
  auto jpk = Load(V7MFile(sales + purchases, declaration));
  RecalcJPK(jpk);
  return jpk;
}

std::string Pair(int net, const std::string& netValue, const std::string& taxValue) {
  return "<K_" + std::to_string(net) + ">" + netValue + "</K_" + std::to_string(net) + "><K_" +
         std::to_string(net + 1) + ">" + taxValue + "</K_" + std::to_string(net + 1) + ">";
}

}  // namespace

TEST(Declaration, PositionsFromRecordsAndTypedValues) {
  struct Case {
    const char* what;
    std::string sales, purchases;
    DeclarationInput input;
    std::string positions;
    std::optional<int64_t> lowered49, lowered50;
  } cases[] = {
      // clang-format off
      {"only FP invoices give no sale positions", Sale(1, "<TypDokumentu>FP</TypDokumentu>" + Pair(19, "100", "23")), "",
       {}, "P_37=0 P_38=0 P_48=0 P_51=0 P_53=0 "},
      {"sales halves away from zero, purchases halves to even",
       Sale(1, Pair(19, "100.25", "23.06")) + Sale(2, Pair(19, "100.25", "23.06")),
       Purchase(1, Pair(42, "100.25", "0.25")) + Purchase(2, Pair(42, "100.25", "0.25")), {},
       "P_19=201 P_20=46 P_37=201 P_38=46 P_42=200 P_43=0 P_48=0 P_51=46 P_53=0 "},
      {"1234.5 goes to 1234 and 1235.5 to 1236 in purchases, both up in sales",
       Sale(1, "<K_10>1234.5</K_10><K_11>1235.5</K_11>"), Purchase(1, Pair(40, "1234.5", "0")) +
                                                            Purchase(2, Pair(42, "1235.5", "0")),
       {}, "P_10=1235 P_11=1236 P_37=2471 P_38=0 P_40=1234 P_41=0 P_42=1236 P_43=0 P_48=0 P_51=0 P_53=0 "},
      {"every sale position and its sums",
       Sale(1, "<K_10>1</K_10><K_11>2</K_11><K_12>3</K_12><K_13>4</K_13><K_14>5</K_14>" + Pair(15, "6", "7") +
                   Pair(17, "8", "9") + Pair(19, "10", "11") + "<K_21>12</K_21><K_22>13</K_22>" + Pair(23, "14", "15") +
                   Pair(25, "16", "17") + Pair(27, "18", "19") + Pair(29, "20", "21") + Pair(31, "22", "23") +
                   "<K_33>24</K_33><K_34>25</K_34><K_35>1</K_35><K_36>2</K_36><K_360>3</K_360>"),
       Purchase(1, Pair(40, "100", "23") + Pair(42, "200", "46") + "<K_44>1</K_44><K_45>2</K_45><K_46>-3</K_46><K_47>4</K_47>"),
       {},
       "P_10=1 P_11=2 P_12=3 P_13=4 P_14=5 P_15=6 P_16=7 P_17=8 P_18=9 P_19=10 P_20=11 P_21=12 P_22=13 P_23=14 "
       "P_24=15 P_25=16 P_26=17 P_27=18 P_28=19 P_29=20 P_30=21 P_31=22 P_32=23 P_33=24 P_34=25 P_35=1 P_36=2 "
       "P_360=3 P_37=146 P_38=165 P_40=100 P_41=23 P_42=200 P_43=46 P_44=1 P_45=2 P_46=-3 P_47=4 P_48=73 P_51=92 "
       "P_53=0 "},
      {"P_49 capped to the tax due", Sale(1, Pair(19, "4347.83", "1000")), Purchase(1, Pair(42, "1739.13", "400")),
       {.p49 = "800"},
       "P_19=4348 P_20=1000 P_37=4348 P_38=1000 P_42=1739 P_43=400 P_48=400 P_49=600 P_51=0 P_53=0 ", 600},
      {"P_49 then P_50 from what is left", Sale(1, Pair(19, "4347.83", "1000")), Purchase(1, Pair(42, "1739.13", "400")),
       {.p49 = "500", .p50 = "300"},
       "P_19=4348 P_20=1000 P_37=4348 P_38=1000 P_42=1739 P_43=400 P_48=400 P_49=500 P_50=100 P_51=0 P_53=0 ",
       std::nullopt, 100},
      {"no tax due: P_49 falls to 0", Sale(1, Pair(19, "100", "23")), Purchase(1, Pair(42, "1000", "230")),
       {.p49 = "10"},
       "P_19=100 P_20=23 P_37=100 P_38=23 P_42=1000 P_43=230 P_48=230 P_49=0 P_51=0 P_53=207 P_62=207 ", 0},
      {"refund in 25 days with P_52", Sale(1, Pair(19, "1739.13", "400")), Purchase(1, Pair(42, "4347.83", "1000")),
       {.p52 = "50", .p54 = "300", .refund = RefundTerm::P55},
       "P_19=1739 P_20=400 P_37=1739 P_38=400 P_42=4348 P_43=1000 P_48=1000 P_51=0 P_52=50 P_53=650 P_54=300 P_55=1 "
       "P_62=350 "},
      {"equal taxes: P_53 is P_52", Sale(1, Pair(19, "100", "23")), Purchase(1, Pair(42, "100", "23")),
       {.p52 = "7"}, "P_19=100 P_20=23 P_37=100 P_38=23 P_42=100 P_43=23 P_48=23 P_51=0 P_52=7 P_53=7 P_62=7 "},
      {"P_39 raises P_48; P_59 P_60 P_61 P_ORDZU", Sale(1, Pair(19, "100", "23")), "",
       {.p39 = "100", .p54 = "77", .refund = RefundTerm::P540, .p59 = true, .p60 = "3", .p61 = "CIT",
        .ordzu = "Korekta"},
       "P_19=100 P_20=23 P_37=100 P_38=23 P_39=100 P_48=100 P_51=0 P_53=77 P_54=77 P_540=1 P_59=1 P_60=3 P_61=CIT "
       "P_ORDZU=Korekta "},
      {"P_60 without P_59", "", "", {.p60 = "12"}, "P_37=0 P_38=0 P_48=0 P_51=0 P_53=0 P_60=12 "},
      {"correction record", Sale(1, "<KorektaPodstawyOpodt>1</KorektaPodstawyOpodt><TerminPlatnosci>2026-01-10"
                                    "</TerminPlatnosci>" + Pair(15, "-1000", "-230")) +
                                Sale(2, Pair(15, "5000", "1150")),
       "", {}, "P_15=4000 P_16=920 P_37=4000 P_38=920 P_48=0 P_51=920 P_53=0 P_68=-1000 P_69=-230 "},
      // The pairs of the schema are written whole, the missing half as 0.
      {"correction of the base alone", Sale(1, "<KorektaPodstawyOpodt>1</KorektaPodstawyOpodt><TerminPlatnosci>"
                                               "2026-01-10</TerminPlatnosci>" + Pair(19, "-100", "0")),
       "", {}, "P_19=-100 P_20=0 P_37=-100 P_38=0 P_48=0 P_51=0 P_53=0 P_68=-100 P_69=0 "},
      {"correction of the tax alone", Sale(1, "<KorektaPodstawyOpodt>1</KorektaPodstawyOpodt><TerminPlatnosci>"
                                              "2026-01-10</TerminPlatnosci>" + Pair(19, "0", "-23")),
       "", {}, "P_19=0 P_20=-23 P_37=0 P_38=-23 P_48=0 P_51=0 P_53=23 P_62=23 P_68=0 P_69=-23 "},
      {"half pairs in records of another program", Sale(1, "<K_15>100</K_15>") + Sale(2, "<K_18>8</K_18>") +
                                                       Sale(3, "<K_24>5</K_24><K_31>7</K_31>"),
       Purchase(1, "<K_41>23</K_41>") + Purchase(2, "<K_42>50</K_42>"), {},
       "P_15=100 P_16=0 P_17=0 P_18=8 P_23=0 P_24=5 P_31=7 P_32=0 P_37=107 P_38=13 P_40=0 P_41=23 P_42=50 P_43=0 "
       "P_48=23 P_51=0 P_53=10 P_62=10 "},
      {"P_12 and P_14 bring P_11 and P_13; these stand alone", Sale(1, "<K_12>3</K_12><K_14>5</K_14>") +
                                                                    Sale(2, "<K_11>2</K_11>"),
       "", {}, "P_11=2 P_12=3 P_13=0 P_14=5 P_37=2 P_38=0 P_48=0 P_51=0 P_53=0 "},
  };
  // clang-format on
  for (const auto& c : cases) {
    auto jpk = Records(c.sales, c.purchases);
    auto result = CalcDeclaration(jpk, c.input);
    ASSERT_EQ(result.status, DeclarationResult::Status::Done) << c.what;
    EXPECT_EQ(Positions(jpk), c.positions) << c.what;
    EXPECT_EQ(result.loweredP49, c.lowered49) << c.what;
    EXPECT_EQ(result.loweredP50, c.lowered50) << c.what;
    auto declaration = jpk.Node().FindChild("Deklaracja");
    EXPECT_EQ(ChildNames(jpk.Node()), "Naglowek Podmiot1 Deklaracja Ewidencja ") << c.what;
    EXPECT_EQ(ChildNames(declaration), "Naglowek PozycjeSzczegolowe Pouczenia ") << c.what;
    EXPECT_EQ(declaration.FindChild("Naglowek").Xml(),
              "<Naglowek><KodFormularzaDekl kodSystemowy=\"VAT-7 (23)\" kodPodatku=\"VAT\" rodzajZobowiazania=\"Z\" "
              "wersjaSchemy=\"1-0E\">VAT-7</KodFormularzaDekl><WariantFormularzaDekl>23</WariantFormularzaDekl>"
              "</Naglowek>")
        << c.what;
    // The same calculation again changes nothing.
    jpk.OwnerDocument().SetModified(false);
    CalcDeclaration(jpk, c.input);
    EXPECT_FALSE(jpk.OwnerDocument().Modified()) << c.what;
  }
}

TEST(Declaration, WrittenFilesValidate) {
  kxtest::TempDir dir;
  auto jpk = Records(Sale(1, Pair(19, "100.25", "23.06")) + Sale(2, Pair(17, "50", "4")),
                     Purchase(1, Pair(42, "1000", "230")));
  CalcDeclaration(jpk,
                  {.p52 = "5", .p54 = "100", .refund = RefundTerm::P560, .p59 = true, .p60 = "20", .p61 = "PIT-4R"});
  jpk.OwnerDocument().SaveToFile(dir / "decl.xml");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "decl.xml"), "");
}

// Records the schema takes whose sums leave one half of a declaration pair
// empty: the declaration still validates.
TEST(Declaration, PairsFromValidRecordsValidate) {
  kxtest::TempDir dir;
  const std::string correction =
      "<KorektaPodstawyOpodt>1</KorektaPodstawyOpodt><TerminPlatnosci>2026-01-10</TerminPlatnosci>";
  auto jpk = Records(Sale(1, correction + Pair(19, "-100", "0")) + Sale(2, "<K_12>3</K_12><K_14>5</K_14>"),
                     Purchase(1, Pair(42, "10", "2.3")));
  CalcDeclaration(jpk, {});
  EXPECT_EQ(Positions(jpk),
            "P_11=0 P_12=3 P_13=0 P_14=5 P_19=-100 P_20=0 P_37=-100 P_38=0 P_42=10 P_43=2 P_48=2 P_51=0 P_53=2 "
            "P_62=2 P_68=-100 P_69=0 ");
  jpk.OwnerDocument().SaveToFile(dir / "pary.xml");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "pary.xml"), "");
}

TEST(Declaration, ExistingPositionsAreReplacedInSchemaOrder) {
  // A declaration written by another program in a wrong order, with markers
  // that nothing here computes; Deklaracja placed after Ewidencja.
  std::string file = V7MFile(Sale(1, Pair(19, "100", "23")) + SaleCtrl(1, "23") + PurchaseCtrl(0, "0"));
  std::string declaration =
      Declaration("<P_38>999</P_38><P_10>5</P_10><P_63>1</P_63><P_67>1</P_67><P_39>8</P_39><P_51>0</P_51>");
  file.insert(file.find("</JPK>"), declaration);
  auto jpk = Load(file);
  ASSERT_EQ(ChildNames(jpk.Node()), "Naglowek Podmiot1 Ewidencja Deklaracja ");
  CalcDeclaration(jpk, {.p39 = "8"});
  EXPECT_EQ(Positions(jpk), "P_19=100 P_20=23 P_37=100 P_38=23 P_39=8 P_48=8 P_51=15 P_53=0 P_63=1 P_67=1 ");

  // A new declaration stands before Ewidencja.
  auto fresh = Records(Sale(1, Pair(19, "100", "23")), "");
  CalcDeclaration(fresh, {});
  EXPECT_EQ(ChildNames(fresh.Node()), "Naglowek Podmiot1 Deklaracja Ewidencja ");
  auto noRecords = Load(V7MFile("", "", false));
  CalcDeclaration(noRecords, {});
  EXPECT_EQ(ChildNames(noRecords.Node()), "Naglowek Podmiot1 Deklaracja ");
  EXPECT_EQ(Positions(noRecords), "P_37=0 P_38=0 P_48=0 P_51=0 P_53=0 ");
}

TEST(Declaration, FailuresLeaveTheDocumentAsItWas) {
  std::string before = Declaration("<P_37>1</P_37><P_38>2</P_38><P_51>2</P_51>");
  struct Case {
    const char* what;
    std::string sales;
    DeclarationInput input;
    DeclarationResult::Status status;
    const char* error;
  } cases[] = {
      // clang-format off
      {"P_54 without a term", Sale(1, ""), {.p54 = "10"}, DeclarationResult::Status::RefundWithoutTerm, nullptr},
      {"a term without P_54", Sale(1, ""), {.refund = RefundTerm::P58}, DeclarationResult::Status::TermWithoutRefund,
       nullptr},
      {"positive amount in a correction",
       Sale(1, "") + Sale(2, "<KorektaPodstawyOpodt>1</KorektaPodstawyOpodt><TerminPlatnosci>2026-01-10"
                             "</TerminPlatnosci>" + Pair(15, "-100", "0.01")),
       {}, DeclarationResult::Status::Done, "KorektaPodstawyOpodt: Powinna być wartość ujemna.\rPozycja: 2"},
      {"typed amount with grosze", Sale(1, ""), {.p39 = "12.5"}, DeclarationResult::Status::Done,
       "P_39: \"12.5\". Kwoty deklaracji podaje się w pełnych złotych"},
      {"typed amount not a number", Sale(1, ""), {.p49 = "12 tys."}, DeclarationResult::Status::Done,
       "P_49: \"12 tys.\" nie jest poprawną liczbą całkowitą"},
  };
  // clang-format on
  for (const auto& c : cases) {
    auto jpk = Records(c.sales, "", before);
    jpk.OwnerDocument().SetModified(false);
    std::string text = jpk.OwnerDocument().Xml();
    if (c.error) {
      try {
        CalcDeclaration(jpk, c.input);
        ADD_FAILURE() << c.what;
      } catch (const Error& e) {
        EXPECT_STREQ(e.what(), c.error) << c.what;
      }
    } else {
      EXPECT_EQ(CalcDeclaration(jpk, c.input).status, c.status) << c.what;
    }
    EXPECT_FALSE(jpk.OwnerDocument().Modified()) << c.what;
    EXPECT_EQ(jpk.OwnerDocument().Xml(), text) << c.what;
  }
  EXPECT_STREQ(kRefundWithoutTermText, "Wpisano kwotę do zwrotu (P_54) ale nie wybrano\rw jakiej formie go dokonać.");
  EXPECT_STREQ(kTermWithoutRefundText, "Nie wpisano kwoty do zwrotu (P_54)\ra wybrano w jakiej formie go dokonać.");
}

TEST(Declaration, TypedAmountsInTheFormsAPolishUserWrites) {
  struct Case {
    const char* text;
    std::optional<int64_t> value;  // nothing: not an amount
    bool fraction;                 // grosze other than zero
  } cases[] = {
      {"20000", 20000, false},
      {"20 000", 20000, false},
      {" 20 000,00 ", 20000, false},
      {"20000.00", 20000, false},
      {"20\xC2\xA0"
       "000",
       20000, false},  // no-break space, as Polish number formats group
      {"-1 500", -1500, false},
      {"1,5", 1, true},
      {"20 000,50", 20000, true},
      {"123.45", 123, true},
      {"1.000", std::nullopt, false},  // three digits after the point: not grosze
      {"12,", std::nullopt, false},
      {"abc", std::nullopt, false},
      {"-", std::nullopt, false},
      {"20 000 zł", std::nullopt, false},
      {"99999999999", std::nullopt, false},
  };
  for (const auto& c : cases) {
    bool fraction = false;
    EXPECT_EQ(ParseWholeAmount(c.text, fraction), c.value) << c.text;
    EXPECT_EQ(fraction, c.fraction) << c.text;
  }
  // The declaration never takes a changed amount: the digits are never run
  // together into a hundred times larger one.
  EXPECT_EQ(TypedWhole("P_39", "20 000,00"), 20000);
  EXPECT_THROW(TypedWhole("P_39", "20 000,50"), Error);
}

TEST(Declaration, RemovalKeepsEverythingElse) {
  kxtest::TempDir dir;
  auto jpk = Records(Sale(1, Pair(19, "100", "23")), Purchase(1, Pair(42, "10", "2.3")));
  CalcDeclaration(jpk, {});
  std::string before = jpk.OwnerDocument().Xml();
  auto without = RebuildWithoutDeclaration(jpk);
  EXPECT_EQ(jpk.OwnerDocument().Xml(), before);
  EXPECT_EQ(ChildNames(without.Node()), "Naglowek Podmiot1 Ewidencja ");
  EXPECT_EQ(without.Node().FindChild("Podmiot1").Attribute("rola"), "Podatnik");
  EXPECT_EQ(without.Node().FindChild("Ewidencja").Xml(), jpk.Node().FindChild("Ewidencja").Xml());
  without.OwnerDocument().SaveToFile(dir / "bez.xml");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "bez.xml"), "");
}
