// The typed views of the four JPK kinds over the XML document.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/error.h"
#include "jpk/model/Schemat_JPK_FA4_v10.h"
#include "jpk/model/Schemat_JPK_KR1_v10.h"
#include "jpk/model/Schemat_JPK_MAG1_v10.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kx::jpk;

namespace {

// Local names of an element's children, in order.
std::string ChildNames(const kx::xml::XmlNode& node) {
  std::string names;
  for (auto c = node.FirstChild(); !c.IsNull(); c = c.NextSibling()) names += c.NodeName() + " ";
  return names;
}

}  // namespace

TEST(V7MModel, MissingElementsAreCreatedOnceInWritingOrder) {
  auto root = v7m::NewJPK();
  auto records = root.Ewidencja();
  auto sale = records.SprzedazWiersz().Add();
  sale.SetLpSprzedazy(12);
  sale.SetOFF(1);
  sale.SetK_19(1000);
  sale.SetK_20(230);
  records.SprzedazCtrl().SetLiczbaWierszySprzedazy(1);
  records.ZakupWiersz().Add().SetLpZakupu(1);
  records.ZakupCtrl().SetLiczbaWierszyZakupow(1);
  EXPECT_EQ(root.Node().NodeName(), "JPK");
  EXPECT_EQ(root.Node().NamespaceURI(), v7m::kTargetNamespace);
  EXPECT_EQ(ChildNames(root.Node()), "Ewidencja ");
  EXPECT_EQ(ChildNames(records.Node()), "SprzedazWiersz SprzedazCtrl ZakupWiersz ZakupCtrl ");
  EXPECT_EQ(ChildNames(sale.Node()), "LpSprzedazy OFF K_19 K_20 ");
  EXPECT_EQ(sale.Node().FindChild("OFF").Text(), "1");
  EXPECT_EQ(sale.Node().FindChild("LpSprzedazy").Text(), "12");
  EXPECT_EQ(sale.Node().FindChild("K_19").Text(), "1000");
  EXPECT_EQ(sale.Node().FindChild("K_20").Text(), "230");
}

TEST(V7MModel, ValueTexts) {
  auto sale = v7m::NewJPK().Ewidencja().SprzedazWiersz().Add();
  struct Case {
    double value;
    const char* text;
  } decimals[] = {{1234.5, "1234.5"}, {100, "100"}, {0, "0"}, {-0.5, "-0.5"}, {12.50, "12.5"}, {-3.20, "-3.2"}};
  for (const auto& c : decimals) {
    sale.SetK_10(c.value);
    EXPECT_EQ(sale.Node().FindChild("K_10").Text(), c.text);
  }
  sale.SetDataWystawienia({2025, 3, 5});
  EXPECT_EQ(sale.Node().FindChild("DataWystawienia").Text(), "2025-03-05");
  EXPECT_EQ(sale.DataWystawienia(), (Date{2025, 3, 5}));

  auto invoice = fa::NewJPKFA().Faktura().Add();
  invoice.SetP_16(true);
  EXPECT_EQ(invoice.Node().FindChild("P_16").Text(), "true");
  invoice.SetP_16(false);
  EXPECT_EQ(invoice.Node().FindChild("P_16").Text(), "false");
  EXPECT_FALSE(invoice.P_16());
}

TEST(V7MModel, ReadingValues) {
  auto sale = v7m::NewJPK().Ewidencja().SprzedazWiersz().Add();
  sale.Node().ChildByName("K_11").SetText(" 12.30 ");
  EXPECT_DOUBLE_EQ(sale.K_11(), 12.3);
  sale.Node().ChildByName("K_12").SetText("inf");
  EXPECT_TRUE(std::isinf(sale.K_12()) && sale.K_12() > 0);
  sale.Node().ChildByName("K_13").SetText("-INF");
  EXPECT_TRUE(std::isinf(sale.K_13()) && sale.K_13() < 0);
  sale.Node().ChildByName("K_14").SetText("nan");
  EXPECT_TRUE(std::isnan(sale.K_14()));
  sale.Node().ChildByName("K_15").SetText("12,30");
  EXPECT_THROW(sale.K_15(), kx::Error);

  // An absent decimal reads 0 and leaves an empty element behind.
  EXPECT_EQ(sale.K_16(), 0);
  EXPECT_FALSE(sale.Node().FindChild("K_16").IsNull());
  // An absent whole number fails and leaves an empty element behind.
  EXPECT_THROW(sale.LpSprzedazy(), kx::Error);
  EXPECT_FALSE(sale.Node().FindChild("LpSprzedazy").IsNull());
  EXPECT_THROW(sale.DataSprzedazy(), kx::Error);
  EXPECT_THROW(v7m::NewJPK().Naglowek().Miesiac(), kx::Error);

  EXPECT_DOUBLE_EQ(ParseXmlDecimal("  "), 0);
  EXPECT_DOUBLE_EQ(ParseXmlDecimal("1e3"), 1000);
  EXPECT_THROW(ParseXmlDecimal("0x10"), kx::Error);
  EXPECT_THROW(ParseXmlDecimal("12.3.4"), kx::Error);
}

TEST(V7MModel, ListAddAndInsertAroundTheControlElement) {
  auto records = v7m::NewJPK().Ewidencja();
  auto list = records.SprzedazWiersz();
  list.Add().SetLpSprzedazy(1);
  records.SprzedazCtrl().SetLiczbaWierszySprzedazy(1);
  list.Add().SetLpSprzedazy(2);  // after the control element
  EXPECT_EQ(ChildNames(records.Node()), "SprzedazWiersz SprzedazCtrl SprzedazWiersz ");
  list.Insert(records.IndexOfChild("SprzedazCtrl")).SetLpSprzedazy(3);
  EXPECT_EQ(ChildNames(records.Node()), "SprzedazWiersz SprzedazWiersz SprzedazCtrl SprzedazWiersz ");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(0).LpSprzedazy(), 1);
  EXPECT_EQ(list.Items(1).LpSprzedazy(), 3);
  EXPECT_EQ(list.Items(2).LpSprzedazy(), 2);
  list.Delete(1);
  EXPECT_EQ(list.Count(), 2);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(ChildNames(records.Node()), "SprzedazCtrl ");

  // Items counts among the items only, whatever comes first.
  auto buys = v7m::NewJPK().Ewidencja();
  buys.SprzedazCtrl().SetLiczbaWierszySprzedazy(0);
  buys.ZakupWiersz().Add().SetDowodZakupu("FZ 1");
  EXPECT_EQ(buys.ZakupWiersz().Items(0).DowodZakupu(), "FZ 1");
}

TEST(V7MModel, NaturalPersonMembersInTheCommonNamespace) {
  auto root = v7m::NewJPK();
  root.Node().DeclareNamespace("etd", v7m::kEtdNamespace);
  auto person = root.Podmiot1().OsobaFizyczna();
  EXPECT_EQ(person.NIP(), "");
  EXPECT_EQ(person.DataUrodzenia(), Date{});
  EXPECT_FALSE(person.Node().HasChildNodes());  // getters did not create
  person.SetNIP("1234563218");
  person.SetImiePierwsze("Jan");
  person.SetDataUrodzenia({1980, 5, 17});
  person.SetEmail("jan@example.pl");
  EXPECT_EQ(ChildNames(person.Node()), "etd:NIP etd:ImiePierwsze etd:DataUrodzenia Email ");
  EXPECT_EQ(person.Node().FindChild("NIP", v7m::kEtdNamespace).Text(), "1234563218");
  EXPECT_EQ(person.DataUrodzenia(), (Date{1980, 5, 17}));
  EXPECT_EQ(person.Node().FindChild("Email").NamespaceURI(), v7m::kTargetNamespace);
}

TEST(FAModel, PlainCelZlozeniaAndEtdAddress) {
  auto root = fa::NewJPKFA();
  root.Node().DeclareNamespace("etd", "http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2018/08/24/eD/DefinicjeTypy/");
  root.Naglowek().SetCelZlozenia(1);
  auto cel = root.Naglowek().Node().FindChild("CelZlozenia");
  EXPECT_EQ(cel.Text(), "1");
  EXPECT_EQ(cel.AttributeCount(), 0);
  auto address = root.Podmiot1().AdresPodmiotu();
  address.SetKodKraju("PL");
  auto kod = address.Node().FirstChild();
  EXPECT_EQ(kod.NodeName(), "etd:KodKraju");
  EXPECT_EQ(kod.NamespaceURI(), "http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2018/08/24/eD/DefinicjeTypy/");
  EXPECT_EQ(address.KodKraju(), "PL");

  auto invoice = root.Faktura().Add();
  invoice.SetP_13_1(100);
  invoice.SetP_14_1(23);
  EXPECT_EQ(invoice.Node().FindChild("P_13_1").Text(), "100");
  EXPECT_EQ(invoice.Node().FindChild("P_14_1").Text(), "23");
  EXPECT_EQ(root.Faktura().Items(0).P_13_1(), 100);
}

TEST(MAGModel, OnlyTouchedGroupsExist) {
  auto root = mag::NewJPKMAG();
  root.Naglowek().SetKodUrzedu(1471);
  auto issue = root.WZ().WZWartosc().Add();
  issue.SetNumerWZ("WZ 1/2024");
  auto line = root.WZ().WZWiersz().Add();
  line.SetIloscWydanaWZ(2.5);
  line.SetCenaJednWZ(10);
  EXPECT_EQ(ChildNames(root.Node()), "Naglowek WZ ");
  EXPECT_EQ(root.Naglowek().Node().FindChild("KodUrzedu").Text(), "1471");
  EXPECT_EQ(line.Node().FindChild("IloscWydanaWZ").Text(), "2.5");
  EXPECT_EQ(line.Node().FindChild("CenaJednWZ").Text(), "10");
}

TEST(KRModel, AttributesAndSpelling) {
  auto root = kr::NewJPKKR();
  auto entry = root.Dziennik().Add();
  entry.SetTyp("G");
  entry.SetLpZapisuDziennika(1);
  EXPECT_EQ(entry.Node().Attribute("typ"), "G");
  EXPECT_EQ(ChildNames(entry.Node()), "LpZapisuDziennika ");
  root.KontoZapisCtrl().SetLiczbaWierszyKontoZapisj(1);
  EXPECT_FALSE(root.KontoZapisCtrl().Node().FindChild("LiczbaWierszyKontoZapisj").IsNull());
  auto posting = root.KontoZapis().Add();
  posting.SetKodKontaWinien("100");
  posting.SetKwotaWinien(12.5);
  EXPECT_EQ(ChildNames(posting.Node()), "KodKontaWinien KwotaWinien ");
  // Reading a missing attribute creates it empty.
  auto account = root.ZOiS().Add();
  EXPECT_EQ(account.typ(), "");
  EXPECT_TRUE(account.Node().HasAttribute("typ"));
}

TEST(Loading, SamplesOfEveryKind) {
  auto samples = kxtest::SharedDir() / "samples";
  auto person = v7m::LoadJPK(samples / "JPK_V7M" / "jpk_v7m3_mf_example_person.xml");
  EXPECT_EQ(person.Naglowek().KodFormularza().Text(), "JPK_VAT");
  EXPECT_EQ(person.Naglowek().KodFormularza().kodSystemowy(), "JPK_V7M (3)");
  EXPECT_GT(person.Ewidencja().SprzedazWiersz().Count(), 0);
  EXPECT_FALSE(person.Podmiot1().OsobaFizyczna().NIP().empty());

  auto tns = v7m::LoadJPK(samples / "JPK_V7M" / "jpk_v7m3_tns_prefix_uti-kb_example.xml");
  EXPECT_EQ(tns.Node().Prefix(), "tns");
  EXPECT_GT(tns.Ewidencja().SprzedazWiersz().Count(), 0);

  auto invoices = fa::LoadJPKFA(samples / "JPK_FA" / "jpk_fa4_synthetic_default_ns.xml");
  EXPECT_EQ(invoices.Faktura().Count(), 1);
  EXPECT_FALSE(invoices.Faktura().Items(0).P_2A().empty());
  auto warehouse = mag::LoadJPKMAG(samples / "JPK_MAG" / "jpk_mag1_synthetic_default_ns.xml");
  EXPECT_EQ(warehouse.Naglowek().KodFormularza().Text(), "JPK_MAG");
  auto ledger = kr::LoadJPKKR(samples / "JPK_KR" / "jpk_kr1_synthetic_default_ns.xml");
  EXPECT_EQ(ledger.ZOiS().Count(), 1);
}

TEST(Loading, WrongKindOrBrokenFileFails) {
  auto samples = kxtest::SharedDir() / "samples";
  EXPECT_THROW(v7m::LoadJPK(samples / "JPK_FA" / "jpk_fa4_synthetic_default_ns.xml"), kx::Error);
  EXPECT_THROW(fa::LoadJPKFA(samples / "JPK_V7M" / "jpk_v7m3_mf_example_person.xml"), kx::Error);
  kxtest::TempDir dir;
  auto other = dir.Write("other.xml", "<?xml version=\"1.0\"?><JPK xmlns=\"urn:inny\"/>");
  try {
    kr::LoadJPKKR(other);
    FAIL();
  } catch (const kx::Error& e) {
    EXPECT_NE(std::string(e.what()).find(other.string()), std::string::npos) << e.what();
  }
  auto broken = dir.Write("broken.xml", "<JPK><a>");
  EXPECT_THROW(v7m::LoadJPK(broken), kx::Error);
}
