// JPK_FA(4) files converted into JPK_V7M(3) records: direction, mappings,
// amounts, the walk over the invoices, the KSeF question, failures and the
// schema validity of the saved result.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "fixtures/generate_fixtures.h"
#include "jpk/files/jpkTools.h"
#include "platform/error.h"
#include "support/jpk_schema.h"
#include "support/scripted_user_port.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::ui::Button;
namespace convert = kx::convert;
namespace v7m = kx::jpk::v7m;

namespace {

constexpr const char* kFirmNip = "7270120002";  // the NIP of FirmSettings
constexpr const char* kBuyerNip = "5260250274";
constexpr const char* kSupplierNip = "5261040828";

// One invoice of a JPK_FA(4) file; an empty text leaves its element out.
struct Invoice {
  std::string number = "FV 1/11/2026";         // P_2A
  std::string seller = kFirmNip;               // P_4B
  std::string buyer = kBuyerNip;               // P_5B
  std::string buyerName = "Piekarnia Kłos";    // P_3A
  std::string sellerName = "Hurtownia Żuraw";  // P_3C
  std::string date = "2026-11-05";             // P_1
  std::string sellerCountry;                   // P_4A
  std::string buyerCountry;                    // P_5A
  std::string amounts = "<P_13_1>100</P_13_1><P_14_1>23</P_14_1>";
};

std::string Element(const char* name, const std::string& text) {
  return text.empty() ? "" : "<" + std::string(name) + ">" + text + "</" + name + ">";
}

std::string InvoiceXml(const Invoice& i) {
  return "<Faktura><KodWaluty>PLN</KodWaluty>" + Element("P_1", i.date) + Element("P_2A", i.number) +
         Element("P_3A", i.buyerName) + "<P_3B>Łódź</P_3B>" + Element("P_3C", i.sellerName) + "<P_3D>Kraków</P_3D>" +
         Element("P_4A", i.sellerCountry) + Element("P_4B", i.seller) + Element("P_5A", i.buyerCountry) +
         Element("P_5B", i.buyer) + i.amounts +
         "<P_15>123</P_15><P_16>false</P_16><RodzajFaktury>VAT</RodzajFaktury></Faktura>";
}

std::string Invoices(const std::vector<Invoice>& invoices) {
  std::string out;
  for (const Invoice& i : invoices) out += InvoiceXml(i);
  return out;
}

// A JPK_FA(4) file of the firm (subject NIP nip, left out when empty) with the given body.
std::string FaFile(const std::string& body, const std::string& nip = kFirmNip) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<JPK xmlns=\"http://jpk.mf.gov.pl/wzor/2022/02/17/02171/\" "
         "xmlns:etd=\"http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2018/08/24/eD/DefinicjeTypy/\">"
         "<Naglowek><KodFormularza kodSystemowy=\"JPK_FA (4)\" wersjaSchemy=\"1-0\">JPK_FA</KodFormularza>"
         "<WariantFormularza>4</WariantFormularza><CelZlozenia>1</CelZlozenia>"
         "<DataWytworzeniaJPK>2026-12-01T10:00:00</DataWytworzeniaJPK><DataOd>2026-11-01</DataOd>"
         "<DataDo>2026-11-30</DataDo><KodUrzedu>1009</KodUrzedu></Naglowek>"
         "<Podmiot1><IdentyfikatorPodmiotu>" +
         Element("NIP", nip) + "<PelnaNazwa>Hurtownia Żuraw</PelnaNazwa></IdentyfikatorPodmiotu></Podmiot1>" + body +
         "<FakturaCtrl><LiczbaFaktur>1</LiczbaFaktur><WartoscFaktur>123</WartoscFaktur></FakturaCtrl></JPK>";
}

// A converter with the firm profile of the tests and a scripted user.
class FaToV7M : public testing::Test {
 protected:
  FaToV7M() : ctx(port) {
    FirmSettings(ctx.AppSettings);
    ctx.AppSettings.CurDate = {2026, 11, 1};
  }

  v7m::IXMLJPK Convert(const std::string& text) {
    return convert::ConvertFaToV7M(ctx, state, kx::jpk::fa::LoadJPKFA(dir.Write("input.xml", text)));
  }
  // Every invoice answered "Tak".
  v7m::IXMLJPK ConvertAnsweringYes(const std::vector<Invoice>& invoices) {
    for (size_t i = 0; i < invoices.size(); ++i) port.answers.push_back(Button::Yes);
    return Convert(FaFile(Invoices(invoices)));
  }
  std::string Failure(const std::string& text) {
    try {
      Convert(text);
    } catch (const kx::Error& e) {
      return e.what();
    }
    return "(no failure)";
  }

  TempDir dir;
  ScriptedUserPort port;
  kx::AppContext ctx;
  convert::ConverterState state;
};

// The children of Ewidencja: each record as its "Name=text" dump, the
// control elements by name with their values.
std::vector<std::string> EwidencjaDump(const v7m::IXMLJPK& root) {
  std::vector<std::string> out;
  for (kx::xml::XmlNode c = root.FindChild("Ewidencja").FirstChild(); c; c = c.NextSibling()) {
    if (c.Kind() == kx::xml::XmlNodeKind::Element)
      out.push_back(c.LocalName() + ": " + Children(kx::jpk::TypedNode(c)));
  }
  return out;
}

// The only record of a converted file.
std::string OnlyRecord(const v7m::IXMLJPK& root) {
  std::vector<std::string> all = EwidencjaDump(root);
  return all.size() == 3 ? all[all[0].starts_with("SprzedazWiersz") ? 0 : 1]
                         : "(records: " + std::to_string(all.size()) + ")";
}

constexpr const char* kSaleHead =
    "SprzedazWiersz: LpSprzedazy=1 NrKontrahenta=5260250274 NazwaKontrahenta=Piekarnia Kłos "
    "DowodSprzedazy=FV 1/11/2026 DataWystawienia=2026-11-05 BFK=1";
constexpr const char* kPurchaseHead =
    "ZakupWiersz: LpZakupu=1 NrDostawcy=5261040828 NazwaDostawcy=Hurtownia Żuraw DowodZakupu=FV 1/11/2026 "
    "DataZakupu=2026-11-05 BFK=1";

}  // namespace

TEST_F(FaToV7M, SalesAndPurchasesKeepTheirOrderAndAreNumbered) {
  v7m::IXMLJPK root = ConvertAnsweringYes({
      {.number = "FV 1/11/2026"},
      {.number = "FZ 7/2026",
       .seller = kSupplierNip,
       .buyer = kFirmNip,
       .sellerName = "Mleczarnia Łąka",
       .amounts = "<P_13_1>200</P_13_1><P_14_1>46</P_14_1>"},
      {.number = "FV 2/11/2026",
       .buyer = "9542750960",
       .buyerName = "Sklep Pod Lipami",
       .date = "2026-11-20",
       .amounts = "<P_13_2>50</P_13_2><P_14_2>4</P_14_2>"},
  });
  EXPECT_EQ(EwidencjaDump(root),
            (std::vector<std::string>{
                "SprzedazWiersz: LpSprzedazy=1 NrKontrahenta=5260250274 NazwaKontrahenta=Piekarnia Kłos "
                "DowodSprzedazy=FV 1/11/2026 DataWystawienia=2026-11-05 BFK=1 K_19=100 K_20=23",
                "SprzedazWiersz: LpSprzedazy=2 NrKontrahenta=9542750960 NazwaKontrahenta=Sklep Pod Lipami "
                "DowodSprzedazy=FV 2/11/2026 DataWystawienia=2026-11-20 BFK=1 K_17=50 K_18=4",
                "SprzedazCtrl: LiczbaWierszySprzedazy=2 PodatekNalezny=27",
                "ZakupWiersz: LpZakupu=1 NrDostawcy=5261040828 NazwaDostawcy=Mleczarnia Łąka DowodZakupu=FZ 7/2026 "
                "DataZakupu=2026-11-05 BFK=1 K_42=200 K_43=46",
                "ZakupCtrl: LiczbaWierszyZakupow=1 PodatekNaliczony=46",
            }));
  // The header is the firm's, a first submission for the working month, without a declaration.
  auto header = root.Naglowek();
  EXPECT_EQ(header.CelZlozenia().Text(), "1");
  EXPECT_EQ(header.KodUrzedu(), "1009");
  EXPECT_EQ(header.Miesiac(), 11);
  EXPECT_FALSE(root.HasChild("Deklaracja"));
}

TEST_F(FaToV7M, AmountsOfSalesAndPurchases) {
  struct Case {
    const char* what;
    bool sale;
    std::string amounts;
    std::string expected;  // the record after its identifying part
  };
  const std::vector<Case> cases = {
      {"23% only", true, "<P_13_1>100</P_13_1><P_14_1>23</P_14_1>", " K_19=100 K_20=23"},
      {"every transferred amount, written in the record's order", true,
       "<P_13_1>100</P_13_1><P_14_1>23</P_14_1><P_13_2>50</P_13_2><P_14_2>4</P_14_2><P_13_3>20</P_13_3>"
       "<P_14_3>1</P_14_3><P_13_5>70.5</P_13_5>",
       " K_11=70.5 K_15=20 K_16=1 K_17=50 K_18=4 K_19=100 K_20=23"},
      {"amounts that have no place in the records", true,
       "<P_14_1W>23</P_14_1W><P_13_4>10</P_13_4><P_14_4>0.5</P_14_4><P_14_5>3</P_14_5><P_13_6>9</P_13_6>"
       "<P_13_7>8</P_13_7>",
       ""},
      {"a present zero is written", true, "<P_13_1>0</P_13_1>", " K_19=0"},
      {"a sale amount with more than 2 places is rounded", true, "<P_13_1>100.005</P_13_1>", " K_19=100.01"},
      {"purchase parts rounded before they are added", false, "<P_13_1>100.004</P_13_1><P_13_2>50</P_13_2>",
       " K_42=150 K_43=0"},
      {"every purchase amount", false,
       "<P_13_1>100</P_13_1><P_14_1>23</P_14_1><P_13_2>50</P_13_2><P_14_2>4</P_14_2><P_13_3>20</P_13_3>"
       "<P_14_3>1</P_14_3><P_13_4>10</P_13_4><P_14_4>0.5</P_14_4><P_13_5>5</P_13_5><P_13_6>9</P_13_6>",
       " K_42=185 K_43=28"},
      {"a purchase without amounts", false, "", " K_42=0 K_43=0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Invoice invoice{.amounts = c.amounts};
    if (!c.sale) invoice.seller = kSupplierNip;
    v7m::IXMLJPK root = ConvertAnsweringYes({invoice});
    EXPECT_EQ(OnlyRecord(root), (c.sale ? kSaleHead : kPurchaseHead) + c.expected);
  }
}

TEST_F(FaToV7M, DirectionContractorsAndBrak) {
  struct Case {
    const char* what;
    Invoice invoice;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"the seller's NIP is compared as text",
       {.seller = "727-012-00-02"},
       "ZakupWiersz: LpZakupu=1 NrDostawcy=727-012-00-02 NazwaDostawcy=Hurtownia Żuraw DowodZakupu=FV 1/11/2026 "
       "DataZakupu=2026-11-05 BFK=1 K_42=100 K_43=23"},
      {"a sale without the buyer's NIP and name",
       {.buyer = "", .buyerName = ""},
       "SprzedazWiersz: LpSprzedazy=1 NrKontrahenta=BRAK NazwaKontrahenta=BRAK DowodSprzedazy=FV 1/11/2026 "
       "DataWystawienia=2026-11-05 BFK=1 K_19=100 K_20=23"},
      {"a sale with a blank buyer's name",
       {.buyerName = "  "},
       "SprzedazWiersz: LpSprzedazy=1 NrKontrahenta=5260250274 NazwaKontrahenta=BRAK DowodSprzedazy=FV 1/11/2026 "
       "DataWystawienia=2026-11-05 BFK=1 K_19=100 K_20=23"},
      {"a purchase without the seller's NIP",
       {.seller = ""},
       "ZakupWiersz: LpZakupu=1 NrDostawcy=BRAK NazwaDostawcy=Hurtownia Żuraw DowodZakupu=FV 1/11/2026 "
       "DataZakupu=2026-11-05 BFK=1 K_42=100 K_43=23"},
      {"a purchase without the seller's name",
       {.seller = kSupplierNip, .sellerName = ""},
       "ZakupWiersz: LpZakupu=1 NrDostawcy=5261040828 NazwaDostawcy=BRAK DowodZakupu=FV 1/11/2026 "
       "DataZakupu=2026-11-05 BFK=1 K_42=100 K_43=23"},
      {"country codes of the buyer and of the seller",
       {.seller = kFirmNip, .buyer = "DE123456789", .sellerCountry = "PL", .buyerCountry = "DE"},
       "SprzedazWiersz: LpSprzedazy=1 KodKrajuNadaniaTIN=DE NrKontrahenta=DE123456789 NazwaKontrahenta=Piekarnia Kłos "
       "DowodSprzedazy=FV 1/11/2026 DataWystawienia=2026-11-05 BFK=1 K_19=100 K_20=23"},
      {"a purchase from abroad",
       {.seller = "123456789", .sellerCountry = "CZ"},
       "ZakupWiersz: LpZakupu=1 KodKrajuNadaniaTIN=CZ NrDostawcy=123456789 NazwaDostawcy=Hurtownia Żuraw "
       "DowodZakupu=FV 1/11/2026 DataZakupu=2026-11-05 BFK=1 K_42=100 K_43=23"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(OnlyRecord(ConvertAnsweringYes({c.invoice})), c.expected);
  }
}

TEST_F(FaToV7M, TheWalkStopsAtTheFirstElementThatIsNoInvoice) {
  const std::string a = InvoiceXml({.number = "A"});
  const std::string b = InvoiceXml({.number = "B"});
  const std::string c = InvoiceXml({.number = "C"});
  auto rename = [](std::string xml, const std::string& open, const std::string& close) {
    xml.replace(0, std::string("<Faktura>").size(), open);
    xml.replace(xml.size() - std::string("</Faktura>").size(), std::string::npos, close);
    return xml;
  };
  const std::string prefixed =
      rename(b, "<fa:Faktura xmlns:fa=\"http://jpk.mf.gov.pl/wzor/2022/02/17/02171/\">", "</fa:Faktura>");
  const std::string foreign = rename(b, "<Faktura xmlns=\"urn:inny\">", "</Faktura>");
  struct Case {
    const char* what;
    std::string body;
    std::vector<std::string> numbers;  // the invoices asked about, in order
  };
  const std::vector<Case> cases = {
      {"invoices followed by FakturaCtrl", a + b + c, {"A", "B", "C"}},
      {"an invoice after FakturaWiersz is not read",
       a + b + "<FakturaWiersz><P_2B>B</P_2B><P_7>Mąka</P_7></FakturaWiersz>" + c,
       {"A", "B"}},
      {"comments between invoices are stepped over", a + "<!-- druga -->" + b + "\n  " + c, {"A", "B", "C"}},
      {"an invoice of the same namespace written with a prefix", a + prefixed + c, {"A", "B", "C"}},
      {"an element Faktura of another namespace stops", a + foreign + c, {"A"}},
      {"the first invoice is found after other elements",
       "<FakturaWiersz><P_2B>A</P_2B><P_7>Mąka</P_7></FakturaWiersz>" + a + b,
       {"A", "B"}},
  };
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.what);
    port.shown.clear();
    port.answers.assign(3, Button::Yes);
    v7m::IXMLJPK root = Convert(FaFile(cs.body));
    std::vector<std::string> asked;
    for (const auto& s : port.shown) asked.push_back(s.text.substr(0, s.text.find('\r')));
    EXPECT_EQ(asked, cs.numbers);
    EXPECT_EQ(root.Ewidencja().SprzedazWiersz().Count(), static_cast<int>(cs.numbers.size()));
    EXPECT_EQ(root.Ewidencja().SprzedazCtrl().LiczbaWierszySprzedazy(), cs.numbers.size());
  }
}

TEST_F(FaToV7M, FailuresStopTheRun) {
  struct Case {
    const char* what;
    std::string file;
    std::string message;
  };
  const std::string one = Invoices({{}});
  const std::vector<Case> cases = {
      {"no invoice", FaFile(""), "Brak faktur w pliku JPK_FA"},
      {"no NIP in the subject", FaFile(one, ""), "Brak NIP-u podatnika w pliku JPK_FA"},
      {"no invoice and no NIP: the invoices are looked for first", FaFile("", ""), "Brak faktur w pliku JPK_FA"},
      {"a date of another form", FaFile(Invoices({{.date = "05.11.2026"}})),
       "Faktura FV 1/11/2026: element P_1 \"05.11.2026\" nie jest poprawną datą"},
      {"a day the month does not have", FaFile(Invoices({{.date = "2026-02-29"}})),
       "Faktura FV 1/11/2026: element P_1 \"2026-02-29\" nie jest poprawną datą"},
      {"no date", FaFile(Invoices({{.date = ""}})), "Faktura FV 1/11/2026: element P_1 \"\" nie jest poprawną datą"},
      {"an amount that is no number", FaFile(Invoices({{.amounts = "<P_13_1>sto</P_13_1>"}})),
       "\"sto\" nie jest poprawną liczbą"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    port.shown.clear();
    port.answers.assign(1, Button::Yes);
    EXPECT_EQ(Failure(c.file), c.message);
  }
}

TEST_F(FaToV7M, EmptyKsefQuestion) {
  struct Case {
    const char* what;
    std::vector<Button> answers;
    std::string markers;  // the KSeF element of each of the three records
    size_t asked;
    bool always;  // "Tak wszyst." remembered
    std::string failure;
  };
  const std::vector<Case> cases = {
      {"Tak to each", {Button::Yes, Button::Yes, Button::Yes}, "BFK=1 BFK=1 BFK=1", 3, false, ""},
      {"Nie leaves the reference empty", {Button::No, Button::Yes, Button::No}, "NrKSeF= BFK=1 NrKSeF=", 3, false, ""},
      {"Tak wszyst. is asked once", {Button::No, Button::YesToAll}, "NrKSeF= BFK=1 BFK=1", 2, true, ""},
      {"Anuluj stops", {Button::Yes, Button::Cancel}, "", 2, false, "Przerwano tworzenie JPK_V7M"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    port.shown.clear();
    port.answers.assign(c.answers.begin(), c.answers.end());
    state = {};
    const std::string file =
        FaFile(Invoices({{.number = "FV 1"}, {.number = "FZ 2", .seller = kSupplierNip}, {.number = "FV 3"}}));
    if (!c.failure.empty()) {
      EXPECT_EQ(Failure(file), c.failure);
    } else {
      v7m::IXMLJPK root = Convert(file);
      auto ew = root.Ewidencja();
      std::string markers;
      auto marker = [](const kx::jpk::TypedNode& r) {
        for (const char* name : {"NrKSeF", "BFK", "DI", "OFF"}) {
          kx::xml::XmlNode n = r.FindChild(name);
          if (n) return std::string(name) + "=" + n.Text();
        }
        return std::string("(none)");
      };
      // In the order of the invoices: FV 1, FZ 2 (the purchase), FV 3.
      markers =
          marker(ew.SprzedazWiersz()[0]) + " " + marker(ew.ZakupWiersz()[0]) + " " + marker(ew.SprzedazWiersz()[1]);
      EXPECT_EQ(markers, c.markers);
    }
    ASSERT_EQ(port.shown.size(), c.asked);
    EXPECT_EQ(port.shown[0].text, "FV 1\rPuste pole KSeF. Oznaczyć jako BFK?");
    EXPECT_TRUE(port.shown[0].question);
    EXPECT_EQ(state.alwaysMarkBfk, c.always);
  }

  // Remembered for the converter's life: the next conversion asks nothing.
  port.shown.clear();
  state.alwaysMarkBfk = true;
  v7m::IXMLJPK root = Convert(FaFile(Invoices({{}})));
  EXPECT_TRUE(port.shown.empty());
  EXPECT_TRUE(root.Ewidencja().SprzedazWiersz()[0].HasChild("BFK"));
}

TEST_F(FaToV7M, SavedResultValidatesAgainstTheSchema) {
  v7m::IXMLJPK root = ConvertAnsweringYes({
      {.number = "FV 1/11/2026", .amounts = "<P_13_1>100.004</P_13_1><P_14_1>23</P_14_1><P_13_5>10</P_13_5>"},
      {.number = "FV 2/11/2026", .buyer = "", .buyerName = "", .amounts = "<P_13_3>20</P_13_3><P_14_3>1</P_14_3>"},
      {.number = "FV 3/11/2026", .buyer = "DE123456789", .buyerCountry = "DE", .amounts = "<P_13_5>300</P_13_5>"},
      {.number = "FZ 7/2026", .seller = kSupplierNip, .amounts = "<P_13_1>100.004</P_13_1><P_13_2>50</P_13_2>"},
      {.number = "FZ 8/2026", .seller = "", .sellerName = "", .sellerCountry = "CZ"},
  });
  const std::filesystem::path out = dir / convert::FaToV7MFileName(dir / "input.xml");
  EXPECT_EQ(out.filename(), "JPK_FA_to_V7_input.xml");
  kx::jpk::SaveV7MFile(root, out.string());
  EXPECT_EQ(SchemaErrors(out), "");
  v7m::IXMLJPK saved = v7m::LoadJPK(out);
  EXPECT_EQ(saved.Ewidencja().SprzedazCtrl().LiczbaWierszySprzedazy(), 3u);
  EXPECT_EQ(saved.Ewidencja().ZakupCtrl().LiczbaWierszyZakupow(), 2u);
}

TEST_F(FaToV7M, SampleFilesInEitherNamespaceFormGiveTheSameRecords) {
  // The sample's firm: its NIP is the seller's, so its one invoice is a sale.
  const char* expected =
      "SprzedazWiersz: LpSprzedazy=1 NrKontrahenta=1111111111 NazwaKontrahenta=Nabywca Sp. z o.o. "
      "DowodSprzedazy=FV/1/05/2024 DataWystawienia=2024-05-10 BFK=1 K_19=100 K_20=23";
  for (const char* name : {"jpk_fa4_synthetic_default_ns.xml", "jpk_fa4_synthetic_tns_prefix.xml"}) {
    SCOPED_TRACE(name);
    port.answers.assign(1, Button::Yes);
    auto input = kx::jpk::fa::LoadJPKFA(SharedDir() / "samples" / "JPK_FA" / name);
    v7m::IXMLJPK root = convert::ConvertFaToV7M(ctx, state, input);
    EXPECT_EQ(OnlyRecord(root), expected);
    const std::filesystem::path out = dir / convert::FaToV7MFileName(name);
    kx::jpk::SaveV7MFile(root, out.string());
    EXPECT_EQ(SchemaErrors(out), "");
  }
}

TEST_F(FaToV7M, WithoutAnInputOnlyTheHeaderAndSubject) {
  v7m::IXMLJPK root = convert::ConvertFaToV7M(ctx, state, {});
  std::vector<std::string> parts;
  for (kx::xml::XmlNode c = root.Node().FirstChild(); c; c = c.NextSibling()) parts.push_back(c.LocalName());
  EXPECT_EQ(parts, (std::vector<std::string>{"Naglowek", "Podmiot1"}));
  EXPECT_TRUE(port.shown.empty());
}

TEST(FaToV7MFileName, IsThePrefixAndTheInputName) {
  EXPECT_EQ(convert::FaToV7MFileName("/dane/jpk/2026-11_JPK_FA.xml"), "JPK_FA_to_V7_2026-11_JPK_FA.xml");
  EXPECT_EQ(convert::FaToV7MFileName("faktury.xml"), "JPK_FA_to_V7_faktury.xml");
}
