// Child readers, row sums, numbering and control sums, linking.

#include "jpk/v7m/v7m_records.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "fixtures/v7m_fixture.h"
#include "jpk/files/jpkTools.h"
#include "support/jpk_schema.h"
#include "support/temp_dir.h"

using namespace kx;
using namespace kx::jpk::v7m;
using kxtest::Purchase;
using kxtest::PurchaseCtrl;
using kxtest::Sale;
using kxtest::SaleCtrl;
using kxtest::V7MFile;

namespace {

IXMLJPK Load(const std::string& text) { return jpk::v7m::GetJPKRoot(xml::XmlDocument::FromString(text)); }

std::string ChildNames(const xml::XmlNode& node) {
  std::string names;
  for (auto c = node.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    names += (c.Kind() == xml::XmlNodeKind::Element ? c.LocalName() : c.NodeName()) + " ";
  }
  return names;
}

xml::XmlNode Records(const IXMLJPK& jpk) { return jpk.Node().FindChild("Ewidencja"); }

// "LpSprzedazy" values of the sale run, joined by spaces, with the first
// child of each record after it.
std::string SaleNumbers(const IXMLJPK& jpk) {
  std::string s;
  for (auto r = FirstSaleRecord(Records(jpk)); !r.IsNull(); r = NextSaleRecord(r))
    s += ChildText(r, "LpSprzedazy") + " ";
  return s;
}

std::string PurchaseNumbers(const IXMLJPK& jpk) {
  std::string s;
  for (auto r = FirstPurchaseRecord(Records(jpk)); !r.IsNull(); r = NextPurchaseRecord(r)) {
    s += ChildText(r, "LpZakupu") + " ";
  }
  return s;
}

std::string Ctrl(const IXMLJPK& jpk, const char* ctrl) {
  auto c = Records(jpk).FindChild(ctrl);
  std::string s;
  for (auto x = c.FirstChild(); !x.IsNull(); x = x.NextSibling()) s += x.LocalName() + "=" + x.Text() + " ";
  return s;
}

}  // namespace

TEST(ChildReaders, ValuesMissingChildrenAndBadText) {
  auto jpk = Load(V7MFile(Sale(1,
                               "<K_19> 12.30 </K_19><K_20>100.255</K_20><K_21>-0.005</K_21><K_22></K_22>"
                               "<K_23>abc</K_23><K_24>1e2</K_24>")));
  auto r = FirstSaleRecord(Records(jpk));
  struct Case {
    const char* name;
    std::string text;
    double amount;
  } cases[] = {
      {"K_19", " 12.30 ", 12.3}, {"K_20", "100.255", 100.26}, {"K_21", "-0.005", -0.01},
      {"K_22", "", 0},           {"K_24", "1e2", 100},        {"K_99", "", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChildText(r, c.name), c.text) << c.name;
    EXPECT_DOUBLE_EQ(ChildAmount(r, c.name), c.amount) << c.name;
  }
  EXPECT_THROW(ChildAmount(r, "K_23"), Error);
  EXPECT_EQ(ChildInt(r, "LpSprzedazy"), 1);
  EXPECT_EQ(ChildInt(r, "Brak"), 0);
  try {
    ChildInt(r, "K_19");
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Element K_19: \" 12.30 \" nie jest poprawną liczbą całkowitą");
  }
  // Reading never creates the child.
  EXPECT_TRUE(r.FindChild("K_99").IsNull());
  EXPECT_FALSE(jpk.OwnerDocument().Modified());
}

TEST(ChildReaders, RoundingOfWholeZloty) {
  struct Case {
    int64_t cents, away, even;
  } cases[] = {
      {123450, 1235, 1234}, {123550, 1236, 1236}, {123449, 1234, 1234}, {123451, 1235, 1235},
      {-50, -1, 0},         {-150, -2, -2},       {-149, -1, -1},       {0, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundCentsAway(c.cents), c.away) << c.cents;
    EXPECT_EQ(RoundCentsEven(c.cents), c.even) << c.cents;
  }
  EXPECT_EQ(AmountCents("0.125"), 13);
  EXPECT_EQ(AmountCents("-0.125"), -13);
  EXPECT_EQ(AmountCents("1234567890123.45"), 123456789012345);
  EXPECT_THROW(AmountCents("-"), Error);
  EXPECT_THROW(AmountCents("NaN"), Error);
}

TEST(RowSums, SaleAndPurchaseTotals) {
  struct Case {
    const char* what;
    std::string amounts;
    double net, tax;
  } sales[] = {
      {"rates", "<K_13>10</K_13><K_15>100</K_15><K_16>5</K_16><K_19>200.10</K_19><K_20>46.02</K_20>", 310.1, 51.02},
      {"all net",
       "<K_10>1</K_10><K_11>2</K_11><K_12>1000</K_12><K_13>3</K_13><K_14>1000</K_14><K_21>4</K_21>"
       "<K_22>5</K_22><K_23>6</K_23><K_24>1</K_24><K_25>7</K_25><K_26>1</K_26><K_27>8</K_27><K_28>1</K_28>"
       "<K_29>9</K_29><K_30>1</K_30><K_31>10</K_31><K_32>1</K_32><K_33>1</K_33><K_34>1</K_34>",
       55, 7},
      {"deductions", "<K_19>100</K_19><K_20>23</K_20><K_35>1.5</K_35><K_36>2.5</K_36><K_360>3</K_360>", 100, 16},
      {"FP invoice", "<TypDokumentu>FP</TypDokumentu><K_19>100</K_19><K_20>23</K_20>", 0, 0},
      {"receipt", "<TypDokumentu>RO</TypDokumentu><K_19>100</K_19><K_20>23</K_20>", 100, 23},
      {"another namespace", "<K_19>100</K_19><x:K_19 xmlns:x=\"urn:inny\">900</x:K_19><K_20>23</K_20>", 100, 23},
      {"nothing", "", 0, 0},
  };
  for (const auto& c : sales) {
    auto jpk = Load(V7MFile(Sale(1, c.amounts)));
    auto r = FirstSaleRecord(Records(jpk));
    EXPECT_DOUBLE_EQ(SaleNetSum(r), c.net) << c.what;
    EXPECT_DOUBLE_EQ(SaleTaxSum(r), c.tax) << c.what;
  }
  auto jpk = Load(V7MFile(Purchase(1,
                                   "<K_40>1000</K_40><K_41>230</K_41><K_42>99.99</K_42><K_43>23</K_43>"
                                   "<K_44>1.01</K_44><K_45>2</K_45><K_46>-3</K_46><K_47>4</K_47>")));
  auto p = FirstPurchaseRecord(Records(jpk));
  EXPECT_DOUBLE_EQ(PurchaseNetSum(p), 1099.99);
  EXPECT_DOUBLE_EQ(PurchaseTaxSum(p), 257.01);
  auto foreign = Load(V7MFile(Purchase(1, "<K_42>10</K_42><x:K_43 xmlns:x=\"urn:inny\">9</x:K_43><K_43>2.3</K_43>")));
  EXPECT_DOUBLE_EQ(PurchaseTaxSum(FirstPurchaseRecord(Records(foreign))), 2.3);
}

TEST(RecalcJPK, NumberingControlSumsAndModifiedFlag) {
  struct Case {
    const char* what;
    std::string file;
    bool modified;
    std::string sales, purchases, saleCtrl, purchaseCtrl, ewidencja;
  } cases[] = {
      {"up to date",
       V7MFile(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") + Sale(2, "<K_19>1000</K_19><K_20>230.5</K_20>") +
               SaleCtrl(2, "253.50") + Purchase(1, "<K_42>100</K_42><K_43>23</K_43>") + PurchaseCtrl(1, "23")),
       false, "1 2 ", "1 ", "LiczbaWierszySprzedazy=2 PodatekNalezny=253.50 ",
       "LiczbaWierszyZakupow=1 PodatekNaliczony=23 ",
       "SprzedazWiersz SprzedazWiersz SprzedazCtrl ZakupWiersz ZakupCtrl "},
      {"renumbered",
       V7MFile(Sale(7, "") + Sale(7, "") + SaleCtrl(2, "0") + Purchase(3, "") + Purchase(9, "") + PurchaseCtrl(2, "0")),
       true, "1 2 ", "1 2 ", "LiczbaWierszySprzedazy=2 PodatekNalezny=0 ", "LiczbaWierszyZakupow=2 PodatekNaliczony=0 ",
       "SprzedazWiersz SprzedazWiersz SprzedazCtrl ZakupWiersz ZakupWiersz ZakupCtrl "},
      {"FP counted, not taxed; K_35 K_36 K_360 lower the tax",
       V7MFile(Sale(1, "<TypDokumentu>FP</TypDokumentu><K_19>100</K_19><K_20>23</K_20>") +
               Sale(2, "<K_19>100</K_19><K_20>23</K_20><K_35>1</K_35><K_36>2</K_36><K_360>3.5</K_360>") +
               SaleCtrl(2, "23") + PurchaseCtrl(0, "0")),
       true, "1 2 ", "", "LiczbaWierszySprzedazy=2 PodatekNalezny=16.5 ", "LiczbaWierszyZakupow=0 PodatekNaliczony=0 ",
       "SprzedazWiersz SprzedazWiersz SprzedazCtrl ZakupCtrl "},
      {"missing SprzedazCtrl goes before the first purchase",
       V7MFile(Sale(1, "<K_19>10</K_19><K_20>2.3</K_20>") + Purchase(1, "<K_42>10</K_42><K_43>2.3</K_43>") +
               PurchaseCtrl(1, "2.3")),
       true, "1 ", "1 ", "LiczbaWierszySprzedazy=1 PodatekNalezny=2.3 ", "LiczbaWierszyZakupow=1 PodatekNaliczony=2.3 ",
       "SprzedazWiersz SprzedazCtrl ZakupWiersz ZakupCtrl "},
      {"missing controls without purchases", V7MFile(Sale(1, "")), true, "1 ", "",
       "LiczbaWierszySprzedazy=1 PodatekNalezny=0 ", "LiczbaWierszyZakupow=0 PodatekNaliczony=0 ",
       "SprzedazWiersz SprzedazCtrl ZakupCtrl "},
      {"SprzedazCtrl missing while ZakupCtrl exists", V7MFile(PurchaseCtrl(0, "0")), true, "", "",
       "LiczbaWierszySprzedazy=0 PodatekNalezny=0 ", "LiczbaWierszyZakupow=0 PodatekNaliczony=0 ",
       "SprzedazCtrl ZakupCtrl "},
      {"a count missing inside its control element goes first",
       V7MFile("<SprzedazCtrl><PodatekNalezny>0</PodatekNalezny></SprzedazCtrl>" + PurchaseCtrl(0, "0")), true, "", "",
       "LiczbaWierszySprzedazy=0 PodatekNalezny=0 ", "LiczbaWierszyZakupow=0 PodatekNaliczony=0 ",
       "SprzedazCtrl ZakupCtrl "},
      {"comment between records",
       V7MFile(Sale(1, "") + "<!-- x -->" + Sale(5, "") + SaleCtrl(2, "0") + PurchaseCtrl(0, "0")), true, "1 2 ", "",
       "LiczbaWierszySprzedazy=2 PodatekNalezny=0 ", "LiczbaWierszyZakupow=0 PodatekNaliczony=0 ",
       "SprzedazWiersz #comment SprzedazWiersz SprzedazCtrl ZakupCtrl "},
  };
  for (const auto& c : cases) {
    auto jpk = Load(c.file);
    ASSERT_FALSE(jpk.OwnerDocument().Modified()) << c.what;
    RecalcJPK(jpk);
    EXPECT_EQ(jpk.OwnerDocument().Modified(), c.modified) << c.what;
    EXPECT_EQ(SaleNumbers(jpk), c.sales) << c.what;
    EXPECT_EQ(PurchaseNumbers(jpk), c.purchases) << c.what;
    EXPECT_EQ(Ctrl(jpk, "SprzedazCtrl"), c.saleCtrl) << c.what;
    EXPECT_EQ(Ctrl(jpk, "ZakupCtrl"), c.purchaseCtrl) << c.what;
    EXPECT_EQ(ChildNames(Records(jpk)), c.ewidencja) << c.what;
    // A second run finds nothing to do.
    jpk.OwnerDocument().SetModified(false);
    RecalcJPK(jpk);
    EXPECT_FALSE(jpk.OwnerDocument().Modified()) << c.what;
  }
}

TEST(RecalcJPK, ContractorsAndDocumentNumbers) {
  struct Case {
    const char* number;
    const char* name;
    const char* wantNumber;
    const char* wantName;
  } cases[] = {
      {"brak", "Zbrakowski", "BRAK", "BRAK"},
      {"Brak NIP", "Jan Kowalski", "BRAK", "Jan Kowalski"},
      {"5260001246", "BRAK", "5260001246", "BRAK"},
  };
  for (const auto& c : cases) {
    auto jpk = Load(V7MFile(Sale(1, "", c.number, c.name) + SaleCtrl(1, "0") + PurchaseCtrl(0, "0")));
    RecalcJPK(jpk);
    auto r = FirstSaleRecord(Records(jpk));
    EXPECT_EQ(ChildText(r, "NrKontrahenta"), c.wantNumber);
    EXPECT_EQ(ChildText(r, "NazwaKontrahenta"), c.wantName);
    EXPECT_EQ(jpk.OwnerDocument().Modified(),
              std::string(c.number) != c.wantNumber || std::string(c.name) != c.wantName)
        << c.number;
  }
  auto jpk = Load(V7MFile(SaleCtrl(0, "0") + Purchase(1, "", "  FZ 7/2026 ") + PurchaseCtrl(1, "0")));
  RecalcJPK(jpk);
  EXPECT_EQ(ChildText(FirstPurchaseRecord(Records(jpk)), "DowodZakupu"), "FZ 7/2026");
}

TEST(RecalcJPK, MissingNumberIsWrittenFirstInTheRecord) {
  std::string sale = Sale(1, "<K_19>1</K_19><K_20>0.23</K_20>");
  sale.replace(sale.find("<LpSprzedazy>"), std::string("<LpSprzedazy>1</LpSprzedazy>").size(), "");
  auto jpk = Load(V7MFile(sale + SaleCtrl(1, "0.23") + PurchaseCtrl(0, "0")));
  RecalcJPK(jpk);
  auto r = FirstSaleRecord(Records(jpk));
  EXPECT_EQ(r.FirstChild().LocalName(), "LpSprzedazy");
  EXPECT_EQ(r.FirstChild().Text(), "1");
}

TEST(RecalcJPK, PositiveK46StopsBeforeAnyChange) {
  struct Case {
    const char* k46;
    bool fails;
  } cases[] = {{"0", false}, {"-5", false}, {"0.004", false}, {"0.01", true}};
  for (const auto& c : cases) {
    auto jpk =
        Load(V7MFile(Sale(4, "") + SaleCtrl(9, "0") +
                     Purchase(1, "<K_46>" + std::string(c.k46) + "</K_46>", " FZ 9/2026") + PurchaseCtrl(1, "0")));
    if (!c.fails) {
      EXPECT_NO_THROW(RecalcJPK(jpk)) << c.k46;
      continue;
    }
    try {
      RecalcJPK(jpk);
      FAIL() << c.k46;
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Powinna być wartość ujemna.\rDokument: FZ 9/2026 Pole K_46");
    }
    EXPECT_FALSE(jpk.OwnerDocument().Modified());
    EXPECT_EQ(SaleNumbers(jpk), "4 ");
  }
}

TEST(RecalcJPK, NothingWithoutRecords) {
  auto jpk = Load(V7MFile("", "", false));
  RecalcJPK(jpk);
  RecalcJPK(IXMLJPK());
  EXPECT_FALSE(jpk.OwnerDocument().Modified());
  EXPECT_TRUE(jpk.Node().FindChild("Ewidencja").IsNull());
}

TEST(LinkJPK, OrderNumberingAndSchema) {
  std::string five, three;
  for (int i = 1; i <= 5; ++i)
    five += Sale(i, "<K_19>100</K_19><K_20>23</K_20>", "5260001246", "A" + std::to_string(i));
  for (int i = 1; i <= 3; ++i)
    three += Sale(i, "<K_19>10</K_19><K_20>2.3</K_20>", "5260001246", "B" + std::to_string(i));
  auto a = Load(V7MFile(five + SaleCtrl(5, "115") + Purchase(1, "<K_42>10</K_42><K_43>2.3</K_43>", "FZ A") +
                        PurchaseCtrl(1, "2.3")));
  const std::string other =
      V7MFile(three + SaleCtrl(3, "6.9") + Purchase(1, "<K_42>100</K_42><K_43>23</K_43>", "FZ B") +
              Purchase(2, "<K_40>50</K_40><K_41>11.5</K_41>", "FZ C") + PurchaseCtrl(2, "34.5"));
  auto g = Load(other);
  LinkJPK(a, g);
  EXPECT_EQ(SaleNumbers(a), "1 2 3 4 5 6 7 8 ");
  std::string names;
  for (auto r = FirstSaleRecord(Records(a)); !r.IsNull(); r = NextSaleRecord(r))
    names += ChildText(r, "NazwaKontrahenta") + " ";
  EXPECT_EQ(names, "A1 A2 A3 A4 A5 B1 B2 B3 ");
  std::string documents;
  for (auto r = FirstPurchaseRecord(Records(a)); !r.IsNull(); r = NextPurchaseRecord(r)) {
    documents += ChildText(r, "DowodZakupu") + "," + ChildText(r, "LpZakupu") + " ";
  }
  EXPECT_EQ(documents, "FZ A,1 FZ B,2 FZ C,3 ");
  EXPECT_EQ(Ctrl(a, "SprzedazCtrl"), "LiczbaWierszySprzedazy=8 PodatekNalezny=121.9 ");
  EXPECT_EQ(Ctrl(a, "ZakupCtrl"), "LiczbaWierszyZakupow=3 PodatekNaliczony=36.8 ");
  // The copies carry every element of their source in order.
  auto copied = FirstSaleRecord(Records(a));
  for (int i = 0; i < 5; ++i) copied = NextSaleRecord(copied);
  EXPECT_EQ(ChildNames(copied), ChildNames(FirstSaleRecord(Records(Load(other)))));
  // The records left the other document as they were copied.
  EXPECT_EQ(ChildNames(Records(g)), "SprzedazCtrl ZakupCtrl ");

  kxtest::TempDir dir;
  a.OwnerDocument().SaveToFile(dir / "linked.xml");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "linked.xml"), "");
}

TEST(LinkJPK, IntoDocumentsWithoutSalesOrPurchaseControl) {
  // No sale records: the linked ones go to the top of Ewidencja. No
  // ZakupCtrl: the purchases are appended and a ZakupCtrl follows them.
  auto a = Load(V7MFile(Purchase(1, "<K_42>1</K_42><K_43>0.23</K_43>", "FZ A")));
  auto g = Load(V7MFile(Sale(1, "") + Sale(2, "") + SaleCtrl(2, "0") + Purchase(1, "", "FZ B") + PurchaseCtrl(1, "0")));
  LinkJPK(a, g);
  EXPECT_EQ(ChildNames(Records(a)), "SprzedazWiersz SprzedazWiersz SprzedazCtrl ZakupWiersz ZakupWiersz ZakupCtrl ");
  EXPECT_EQ(SaleNumbers(a), "1 2 ");
  EXPECT_EQ(PurchaseNumbers(a), "1 2 ");

  // A prefixed source file gives unprefixed copies in the target's namespace.
  std::string prefixed =
      std::string("<tns:JPK xmlns:tns=\"") + kxtest::kV7MNamespace +
      "\"><tns:Ewidencja><tns:SprzedazWiersz><tns:LpSprzedazy>1</tns:LpSprzedazy>"
      "<tns:K_19>1</tns:K_19><tns:K_20>0.23</tns:K_20></tns:SprzedazWiersz></tns:Ewidencja></tns:JPK>";
  auto t = Load(prefixed);
  ASSERT_EQ(t.Node().Prefix(), "tns");
  auto b = Load(V7MFile(SaleCtrl(0, "0") + PurchaseCtrl(0, "0")));
  LinkJPK(b, t);
  auto r = FirstSaleRecord(Records(b));
  ASSERT_FALSE(r.IsNull());
  EXPECT_EQ(r.NodeName(), "SprzedazWiersz");
  EXPECT_EQ(r.NamespaceURI(), kxtest::kV7MNamespace);
  EXPECT_EQ(ChildText(r, "K_20"), "0.23");
  EXPECT_EQ(Ctrl(b, "SprzedazCtrl"), "LiczbaWierszySprzedazy=1 PodatekNalezny=0.23 ");
}

TEST(LinkJPK, PositiveK46InTheOtherFileCopiesNothing) {
  auto a = Load(V7MFile(Sale(1, "") + SaleCtrl(1, "0") + PurchaseCtrl(0, "0")));
  auto g = Load(V7MFile(Sale(1, "") + Purchase(1, "<K_46>1</K_46>", "FZ 46")));
  std::string before = a.OwnerDocument().Xml();
  EXPECT_THROW(LinkJPK(a, g), Error);
  EXPECT_EQ(a.OwnerDocument().Xml(), before);
  EXPECT_FALSE(a.OwnerDocument().Modified());
}

TEST(RecalcJPK, SumsBeyondTheRangeFailInsteadOfWrappingRound) {
  // Records that each hold a valid amount, but whose total does not fit.
  std::string sales;
  for (int i = 1; i <= 99; ++i) sales += Sale(i, "<K_19>999999999999999.99</K_19><K_20>999999999999999.99</K_20>");
  auto jpk = Load(V7MFile(sales + SaleCtrl(99, "0")));
  try {
    RecalcJPK(jpk);
    ADD_FAILURE() << "no failure";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Suma kwot przekracza dopuszczalny zakres");
  }
  int64_t sum = 0;
  EXPECT_THROW(sum = AddCents(INT64_MAX, 1), Error);
  EXPECT_EQ(sum, 0);
  EXPECT_EQ(AddCents(-5, 7), 2);
}
