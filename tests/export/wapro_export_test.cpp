// The Wapro (Magik) output of the warehouse export, on a month written as
// Paradox tables into a temporary folder.

#include <gtest/gtest.h>

#include <cctype>

#include "app/contractor.h"
#include "export/wapro_export.h"
#include "fixtures/warehouse_fixture.h"
#include "platform/error.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::exports::WaproDay;
using kx::exports::WaproExport;
using kx::ui::Button;
using kx::xml::XmlNode;
using kx::xml::XmlNodeKind;

namespace {

const kx::jpk::CreationTime kNow{{2026, 12, 3}, 9, 5, 7};

// Wapro day numbers of the fixture's dates.
constexpr int kNov4 = 82491;
constexpr int kNov5 = 82492;
constexpr int kNov19 = 82506;

// An element as "name=text", or "name{child child ...}" when it has element
// children.
std::string Dump(const XmlNode& node) {
  std::string inner;
  bool elements = false;
  for (XmlNode c = node.FirstChild(); c; c = c.NextSibling()) {
    if (c.Kind() != XmlNodeKind::Element) continue;
    inner += (elements ? " " : "") + Dump(c);
    elements = true;
  }
  return elements ? node.NodeName() + "{" + inner + "}" : node.NodeName() + "=" + node.Text();
}

std::vector<XmlNode> Elements(const XmlNode& parent) {
  std::vector<XmlNode> out;
  for (XmlNode c = parent.FirstChild(); c; c = c.NextSibling()) {
    if (c.Kind() == XmlNodeKind::Element) out.push_back(c);
  }
  return out;
}

// The text at a path of child names ("A/B/C") below the node; "-" when absent.
std::string At(XmlNode node, const std::string& path) {
  size_t from = 0;
  while (node && from <= path.size()) {
    size_t end = path.find('/', from);
    if (end == std::string::npos) end = path.size();
    node = node.FindChild(path.substr(from, end - from));
    from = end + 1;
  }
  return node ? node.Text() : "-";
}

std::string FailureText(const WaproExport& e) {
  if (!e.failure) return "";
  try {
    std::rethrow_exception(e.failure);
  } catch (const kx::Error& error) {
    return error.what();
  }
}

class WaproRun {
 public:
  WaproRun() : ctx(port) { WarehouseSettings(ctx.AppSettings, dir.Path()); }

  // The document of the month; every run also checks that the file kept as
  // text (the export's way) has the bytes of this document saved, with the
  // same count and failure, the user answering the same.
  WaproExport Make() {
    month.Write(dir.Path());
    const ScriptedUserPort before = port;
    WaproExport out;
    {
      kx::exports::WarehouseTables t(ctx);
      out = kx::exports::MakeWapro(ctx, t, kNow);
    }
    const ScriptedUserPort after = port;
    port = before;
    {
      kx::exports::WarehouseTables t(ctx);
      WaproExport text = kx::exports::MakeWaproText(ctx, t, kNow);
      out.document.SaveFormatted(dir / "document.xml");
      EXPECT_EQ(text.text, kxtest::ReadFile(dir / "document.xml"));
      EXPECT_EQ(text.count, out.count);
      EXPECT_EQ(FailureText(text), FailureText(out));
    }
    port = after;
    root = out.document.DocumentElement();
    return out;
  }

  std::vector<XmlNode> Documents() const { return Elements(root.FindChild("DOKUMENTY")); }
  std::vector<std::string> Cards() const {
    std::vector<std::string> out;
    for (const XmlNode& c : Elements(root.FindChild("KARTOTEKA_KONTRAHENTOW"))) out.push_back(Dump(c));
    return out;
  }
  std::string Count() const { return At(root, "INFO_EKSPORTU/LICZBA_DOKUMENTOW"); }

  TempDir dir;
  ScriptedUserPort port;
  kx::AppContext ctx;
  WarehouseMonth month;
  XmlNode root;
};

std::string Card(int id, int code, const std::string& rest) {
  return "KONTRAHENT{ID_KONTRAHENTA=" + std::to_string(id) + " KOD_KONTRAHENTA=" + std::to_string(code) + " " + rest +
         " RODZAJ_EWIDENCJI=1 VAT_CZYNNY=1 ODBIORCA=1}";
}

const std::string kKlosCard = Card(1, 1,
                                   "NAZWA=KŁOS NAZWA_PELNA=Piekarnia Kłos Sp. j. KOD_POCZTOWY=90-006 MIEJSCOWOSC=Łódź "
                                   "ULICA_LOKAL=Piotrkowska 12 NIP=5260250274");

}  // namespace

TEST(WaproExport, WaproDayCountsFrom28December1800) {
  struct Case {
    kx::tables::Date date;
    int64_t day;
  };
  for (const Case& c : {Case{{2024, 1, 1}, 81453}, Case{{1800, 12, 28}, 0}, Case{{1899, 12, 30}, 36161},
                        Case{{2000, 2, 29}, 36161 + 36585}, Case{{2026, 11, 5}, kNov5}, Case{{2026, 11, 19}, kNov19}}) {
    EXPECT_EQ(WaproDay(c.date), c.day) << c.date.year << "-" << c.date.month << "-" << c.date.day;
  }
}

TEST(WaproExport, WholeFileOfOneDocument) {
  WaproRun run;
  // The program's file with version 1.5.1.8 in its version block (the tag is
  // spelled in lower case here so that this test's own bytes hold no block).
  std::string tag = "kxvers1";
  for (char& ch : tag) ch = static_cast<char>(std::toupper(ch));
  run.ctx.AppName =
      run.dir
          .Write("kx2jpk.exe", "MZ" + tag + std::string("\0", 1) + std::string("\x01\x00\x05\x00\x01\x00\x08\x00", 8))
          .string();
  run.month.docs = {{.number = 1, .name = "FV 1/11/2026", .saleDate = {2026, 11, 4}}};
  run.month.reg = {{.number = 1,
                    .saleDate = {2026, 11, 4},
                    .gtu = 0x11,
                    .value0 = 250,
                    .value7 = 10,
                    .tax7 = 0.8,
                    .value22 = 100,
                    .tax22 = 23,
                    .value = 383.8,
                    .totalTax = 23.8}};
  WaproExport out = run.Make();
  EXPECT_FALSE(out.failure);
  EXPECT_EQ(out.count, 1);
  EXPECT_EQ(out.document.Version(), "1.0");
  EXPECT_EQ(out.document.Encoding(), "UTF-8");
  // Written as the program writes it: indented by tabs.
  TempDir dir;
  out.document.SaveFormatted(dir / "wapro.xml");
  EXPECT_EQ(kxtest::ReadFile(dir / "wapro.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<MAGIK_EKSPORT>\n"
            "\t<INFO_EKSPORTU>\n"
            "\t\t<WERSJA_MAGIKA>4.2.0</WERSJA_MAGIKA>\n"
            "\t\t<NAZWA_PROGRAMU>kx2jpk</NAZWA_PROGRAMU>\n"
            "\t\t<WERSJA_PROGRAMU>ver 1.5.1 build 8</WERSJA_PROGRAMU>\n"
            "\t\t<DATA_EKSPORTU>03-12-2026</DATA_EKSPORTU>\n"
            "\t\t<GODZINA_EKSPORTU>09:05:07</GODZINA_EKSPORTU>\n"
            "\t\t<LICZBA_DOKUMENTOW>1</LICZBA_DOKUMENTOW>\n"
            "\t</INFO_EKSPORTU>\n"
            "\t<DOKUMENTY>\n"
            "\t\t<DOKUMENT>\n"
            "\t\t\t<NAGLOWEK_DOKUMENTU>\n"
            "\t\t\t\t<RODZAJ_DOKUMENTU>H</RODZAJ_DOKUMENTU>\n"
            "\t\t\t\t<NUMER>FV 1/11/2026</NUMER>\n"
            "\t\t\t\t<ID_DOKUMENTU_ORYG>2026000001</ID_DOKUMENTU_ORYG>\n"
            "\t\t\t\t<ID_KONTRAHENTA>1</ID_KONTRAHENTA>\n"
            "\t\t\t\t<ID_PLATNIKA>1</ID_PLATNIKA>\n"
            "\t\t\t\t<ZAKUP_SPRZEDAZ>S</ZAKUP_SPRZEDAZ>\n"
            "\t\t\t\t<TYP_DOKUMENTU>FV</TYP_DOKUMENTU>\n"
            "\t\t\t\t<RODZAJ_TRANSAKCJI_HANDLOWEJ>GTU_01 GTU_05</RODZAJ_TRANSAKCJI_HANDLOWEJ>\n"
            "\t\t\t\t<DATY>\n"
            "\t\t\t\t\t<DATA_WYSTAWIENIA>82492</DATA_WYSTAWIENIA>\n"
            "\t\t\t\t\t<DATA_SPRZEDAZY>82491</DATA_SPRZEDAZY>\n"
            "\t\t\t\t\t<TERMIN_PLATNOSCI>82506</TERMIN_PLATNOSCI>\n"
            "\t\t\t\t</DATY>\n"
            "\t\t\t\t<WARTOSCI_NAGLOWKA>\n"
            "\t\t\t\t\t<NETTO_SPRZEDAZY>360</NETTO_SPRZEDAZY>\n"
            "\t\t\t\t\t<BRUTTO_SPRZEDAZY>383.8</BRUTTO_SPRZEDAZY>\n"
            "\t\t\t\t\t<NETTO_ZAKUPU>0</NETTO_ZAKUPU>\n"
            "\t\t\t\t\t<BRUTTO_ZAKUPU>0</BRUTTO_ZAKUPU>\n"
            "\t\t\t\t</WARTOSCI_NAGLOWKA>\n"
            "\t\t\t</NAGLOWEK_DOKUMENTU>\n"
            "\t\t\t<VAT>\n"
            "\t\t\t\t<STAWKA>\n"
            "\t\t\t\t\t<KOD_VAT>23</KOD_VAT>\n"
            "\t\t\t\t\t<NETTO>100</NETTO>\n"
            "\t\t\t\t\t<VAT>23</VAT>\n"
            "\t\t\t\t\t<DATA_VAT>82491</DATA_VAT>\n"
            "\t\t\t\t</STAWKA>\n"
            "\t\t\t\t<STAWKA>\n"
            "\t\t\t\t\t<KOD_VAT>8</KOD_VAT>\n"
            "\t\t\t\t\t<NETTO>10</NETTO>\n"
            "\t\t\t\t\t<VAT>0.8</VAT>\n"
            "\t\t\t\t\t<DATA_VAT>82491</DATA_VAT>\n"
            "\t\t\t\t</STAWKA>\n"
            "\t\t\t\t<STAWKA>\n"
            "\t\t\t\t\t<KOD_VAT>0</KOD_VAT>\n"
            "\t\t\t\t\t<NETTO>250</NETTO>\n"
            "\t\t\t\t\t<VAT>0</VAT>\n"
            "\t\t\t\t\t<DATA_VAT>82491</DATA_VAT>\n"
            "\t\t\t\t</STAWKA>\n"
            "\t\t\t</VAT>\n"
            "\t\t</DOKUMENT>\n"
            "\t</DOKUMENTY>\n"
            "\t<KARTOTEKA_KONTRAHENTOW>\n"
            "\t\t<KONTRAHENT>\n"
            "\t\t\t<ID_KONTRAHENTA>1</ID_KONTRAHENTA>\n"
            "\t\t\t<KOD_KONTRAHENTA>1</KOD_KONTRAHENTA>\n"
            "\t\t\t<NAZWA>KŁOS</NAZWA>\n"
            "\t\t\t<NAZWA_PELNA>Piekarnia Kłos Sp. j.</NAZWA_PELNA>\n"
            "\t\t\t<KOD_POCZTOWY>90-006</KOD_POCZTOWY>\n"
            "\t\t\t<MIEJSCOWOSC>Łódź</MIEJSCOWOSC>\n"
            "\t\t\t<ULICA_LOKAL>Piotrkowska 12</ULICA_LOKAL>\n"
            "\t\t\t<NIP>5260250274</NIP>\n"
            "\t\t\t<RODZAJ_EWIDENCJI>1</RODZAJ_EWIDENCJI>\n"
            "\t\t\t<VAT_CZYNNY>1</VAT_CZYNNY>\n"
            "\t\t\t<ODBIORCA>1</ODBIORCA>\n"
            "\t\t</KONTRAHENT>\n"
            "\t</KARTOTEKA_KONTRAHENTOW>\n"
            "</MAGIK_EKSPORT>\n");
  EXPECT_TRUE(run.port.shown.empty());
}

TEST(WaproExport, EmptyMonthKeepsCountZero) {
  WaproRun run;
  run.month.docs = {{.type = 128, .number = 1}, {.type = 0, .number = 2}, {.type = 8, .number = 3}};
  run.month.reg = {{.cls = 128, .number = 1}, {.cls = 0, .number = 2, .flags = 0x08}, {.cls = 8, .number = 3}};
  WaproExport out = run.Make();
  EXPECT_FALSE(out.failure);
  EXPECT_EQ(out.count, 0);
  EXPECT_EQ(run.Count(), "0");
  EXPECT_TRUE(run.Documents().empty());
  EXPECT_TRUE(run.Cards().empty());
  EXPECT_EQ(Elements(run.root).size(), 3u);
  EXPECT_TRUE(run.port.shown.empty());
}

TEST(WaproExport, HeaderValues) {
  struct Case {
    const char* what;
    int year, number, gtu;
    double value, totalTax;
    const char* originalId;
    const char* tradeKinds;
    const char* net;
    const char* gross;
  };
  const Case cases[] = {
      {"short year", 17, 123, 0, 123, 23, "17000123", "-", "100", "123"},
      {"one-digit year", 5, 123, 0x1001, 0, 0, "5000123", "GTU_01 GTU_13", "0", "0"},
      {"long number", 17, 1234567, 0x3000, 10.3776, 0, "171234567", "GTU_13", "10.38", "10.3776"},
      {"group 14 is no GTU", 2026, 1, 0x2000, 24.6, 4.6, "2026000001", "-", "20", "24.6"},
      {"negative GTU", 26, 9, -1, -123, -23, "26000009", "-", "-100", "-123"},
      {"all thirteen", 26, 9, 0x1FFF, 1, 0, "26000009",
       "GTU_01 GTU_02 GTU_03 GTU_04 GTU_05 GTU_06 GTU_07 GTU_08 GTU_09 GTU_10 GTU_11 GTU_12 GTU_13", "1", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WaproRun run;
    run.month.docs = {{.number = c.number, .year = c.year}};
    run.month.reg = {{.number = c.number, .gtu = c.gtu, .value = c.value, .totalTax = c.totalTax, .year = c.year}};
    WaproExport out = run.Make();
    ASSERT_FALSE(out.failure);
    ASSERT_EQ(run.Documents().size(), 1u);
    XmlNode header = run.Documents()[0].FindChild("NAGLOWEK_DOKUMENTU");
    EXPECT_EQ(At(header, "ID_DOKUMENTU_ORYG"), c.originalId);
    EXPECT_EQ(At(header, "RODZAJ_TRANSAKCJI_HANDLOWEJ"), c.tradeKinds);
    EXPECT_EQ(At(header, "WARTOSCI_NAGLOWKA/NETTO_SPRZEDAZY"), c.net);
    EXPECT_EQ(At(header, "WARTOSCI_NAGLOWKA/BRUTTO_SPRZEDAZY"), c.gross);
    // The trade kinds stand between TYP_DOKUMENTU and DATY when present.
    std::vector<XmlNode> children = Elements(header);
    EXPECT_EQ(children.size(), std::string(c.tradeKinds) == "-" ? 9u : 10u);
    EXPECT_EQ(children[6].NodeName(), "TYP_DOKUMENTU");
    EXPECT_EQ(children[children.size() - 2].NodeName(), "DATY");
  }
}

TEST(WaproExport, RatesInUse) {
  struct Case {
    const char* what;
    double value22, tax22, value7, tax7, value3, tax3, value0, valueFree;
    const char* vat;
  };
  const Case cases[] = {
      {"8 % group empty", 100, 23, 0, 0, 0, 0, 0, 0, "VAT{STAWKA{KOD_VAT=23 NETTO=100 VAT=23 DATA_VAT=82492}}"},
      {"only 0 %", 0, 0, 0, 0, 0, 0, 250, 0, "VAT{STAWKA{KOD_VAT=0 NETTO=250 VAT=0 DATA_VAT=82492}}"},
      {"tax without net", 0, 0, 0, 0.8, 0, 0, 0, 0, "VAT{STAWKA{KOD_VAT=8 NETTO=0 VAT=0.8 DATA_VAT=82492}}"},
      {"all groups in order", -1.5, -0.35, 2, 0.16, 3.333, 0.17, 4, 5,
       "VAT{STAWKA{KOD_VAT=23 NETTO=-1.5 VAT=-0.35 DATA_VAT=82492} STAWKA{KOD_VAT=8 NETTO=2 VAT=0.16 DATA_VAT=82492} "
       "STAWKA{KOD_VAT=5 NETTO=3.333 VAT=0.17 DATA_VAT=82492} STAWKA{KOD_VAT=0 NETTO=4 VAT=0 DATA_VAT=82492}}"},
      {"exempt only", 0, 0, 0, 0, 0, 0, 0, 90, "VAT="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WaproRun run;
    run.month.docs = {{}};
    run.month.reg = {{.valueFree = c.valueFree,
                      .value0 = c.value0,
                      .value3 = c.value3,
                      .tax3 = c.tax3,
                      .value7 = c.value7,
                      .tax7 = c.tax7,
                      .value22 = c.value22,
                      .tax22 = c.tax22}};
    run.Make();
    ASSERT_EQ(run.Documents().size(), 1u);
    EXPECT_EQ(Dump(run.Documents()[0].FindChild("VAT")), c.vat);
  }
}

TEST(WaproExport, ContractorCardsFromUR) {
  WaproRun run;
  run.month.ur = {{.number = 1},
                  {.number = 2,
                   .name = "Sklep Pod Lipą",
                   .identifier = "LIPA",
                   .nip = "PL 526-025-02-74",
                   .city = "Kutno",
                   .zip = "99-300",
                   .address = "Lipowa 1"}};
  // Contractor 2 buys for payer 1: its card is kept under the payer's code.
  run.month.docs = {{.number = 1, .user = 1}, {.number = 2, .user = 2}, {.number = 3, .user = 1}};
  run.month.reg = {
      {.number = 1, .user = 1, .payer = 1}, {.number = 2, .user = 2, .payer = 1}, {.number = 3, .user = 1, .payer = 1}};
  WaproExport out = run.Make();
  EXPECT_FALSE(out.failure);
  EXPECT_EQ(out.count, 3);
  EXPECT_EQ(run.Count(), "3");
  EXPECT_EQ(run.Cards(), (std::vector<std::string>{
                             kKlosCard,
                             Card(2, 1,
                                  "NAZWA=LIPA NAZWA_PELNA=Sklep Pod Lipą KOD_POCZTOWY=99-300 MIEJSCOWOSC=Kutno "
                                  "ULICA_LOKAL=Lipowa 1 NIP=5260250274"),
                         }));
  ASSERT_EQ(run.Documents().size(), 3u);
  EXPECT_EQ(At(run.Documents()[1], "NAGLOWEK_DOKUMENTU/ID_KONTRAHENTA"), "2");
  EXPECT_EQ(At(run.Documents()[1], "NAGLOWEK_DOKUMENTU/ID_PLATNIKA"), "1");
}

TEST(WaproExport, ContractorCardsWithUsersTable) {
  WaproRun run;
  // UR 1 is the payer itself with another address; UR 2 a branch of payer 9
  // without an address of its own.
  run.month.ur = {
      {.number = 1,
       .name = "Kłos (kopia)",
       .identifier = "KŁOS-UR",
       .city = "Zgierz",
       .zip = "95-100",
       .address = "Łęczycka 2",
       .payerNumber = 1},
      {.number = 2, .name = "Oddział", .identifier = "ODDZ", .city = "", .zip = "", .address = "", .payerNumber = 9}};
  run.month.users = {{.number = 1},
                     {.number = 9,
                      .name = "Młyn Zbożowy S.A.",
                      .identifier = "MŁYN",
                      .nip = "526-025-02-74",
                      .city = "Kutno",
                      .zip = "99-300",
                      .street = "Łąkowa",
                      .house = ""}};
  run.month.docs = {
      {.number = 1, .user = 1}, {.number = 2, .user = 1}, {.number = 3, .user = 2}, {.number = 4, .user = 2}};
  run.month.reg = {{.number = 1, .user = 1, .payer = 1},
                   {.number = 2, .user = 1, .payer = 1},
                   {.number = 3, .user = 2, .payer = 9},
                   {.number = 4, .user = 2, .payer = 9}};
  WaproExport out = run.Make();
  EXPECT_FALSE(out.failure);
  EXPECT_EQ(out.count, 4);
  EXPECT_EQ(run.Cards(),
            (std::vector<std::string>{
                // First document: the payer's card from Users and the contractor's
                // from UR, also when both numbers are the same.
                kKlosCard,
                Card(1, 1,
                     "NAZWA=KŁOS-UR NAZWA_PELNA=Piekarnia Kłos Sp. j. KOD_POCZTOWY=95-100 MIEJSCOWOSC=Zgierz "
                     "ULICA_LOKAL=Łęczycka 2 NIP=5260250274"),
                // The second document of the same contractor adds nothing; the branch
                // adds its payer's card and its own with the payer's address.
                Card(9, 9,
                     "NAZWA=MŁYN NAZWA_PELNA=Młyn Zbożowy S.A. KOD_POCZTOWY=99-300 MIEJSCOWOSC=Kutno "
                     "ULICA_LOKAL=Łąkowa NIP=5260250274"),
                Card(2, 9,
                     "NAZWA=ODDZ NAZWA_PELNA=Młyn Zbożowy S.A. KOD_POCZTOWY=99-300 MIEJSCOWOSC=Kutno "
                     "ULICA_LOKAL=Łąkowa NIP=5260250274"),
            }));
}

TEST(WaproExport, PayerCardIsAddedOnceForSeveralContractors) {
  WaproRun run;
  run.month.ur = {{.number = 2, .identifier = "A", .payerNumber = 9},
                  {.number = 3, .identifier = "B", .payerNumber = 9}};
  run.month.users = {{.number = 9, .identifier = "MŁYN", .street = "Łąkowa", .house = "3/1"}};
  run.month.docs = {{.number = 1, .user = 2}, {.number = 2, .user = 3}};
  run.month.reg = {{.number = 1, .user = 2, .payer = 9}, {.number = 2, .user = 3, .payer = 9}};
  run.Make();
  std::vector<std::string> cards = run.Cards();
  ASSERT_EQ(cards.size(), 3u);
  EXPECT_EQ(cards[0].rfind("KONTRAHENT{ID_KONTRAHENTA=9 KOD_KONTRAHENTA=9 NAZWA=MŁYN ", 0), 0u) << cards[0];
  EXPECT_NE(cards[0].find("ULICA_LOKAL=Łąkowa 3/1 "), std::string::npos) << cards[0];
  EXPECT_EQ(cards[1].rfind("KONTRAHENT{ID_KONTRAHENTA=2 KOD_KONTRAHENTA=9 NAZWA=A ", 0), 0u) << cards[1];
  EXPECT_EQ(cards[2].rfind("KONTRAHENT{ID_KONTRAHENTA=3 KOD_KONTRAHENTA=9 NAZWA=B ", 0), 0u) << cards[2];
}

TEST(WaproExport, FailureKeepsTheDocumentsWrittenBefore) {
  struct Case {
    const char* what;
    bool users;
    int failingDocument;  // 1 or 2
  };
  for (const Case& c : {Case{"UR, second", false, 2}, Case{"UR, first", false, 1}, Case{"Users, second", true, 2}}) {
    SCOPED_TRACE(c.what);
    WaproRun run;
    // Contractor 2 has no name (in Users, where its payer card would come from).
    run.month.ur = {{.number = 1}, {.number = 2, .name = c.users ? "Oddział" : "", .payerNumber = 2}};
    if (c.users) run.month.users = {{.number = 1}, {.number = 2, .name = ""}};
    int good = 3 - c.failingDocument;
    run.month.docs = {{.number = good, .name = "FV A", .user = 1},
                      {.number = c.failingDocument, .name = "FV B", .user = 2},
                      {.number = 3, .name = "FV C", .user = 1}};
    run.month.reg = {{.number = good, .user = 1, .payer = 1, .value22 = 1},
                     {.number = c.failingDocument, .user = 2, .payer = 2, .value22 = 1},
                     {.number = 3, .user = 1, .payer = 1, .value22 = 1}};
    WaproExport out = run.Make();
    EXPECT_EQ(FailureText(out), "Brak nazwy kontrahenta\r\nDokument: FV B  NIP: 5260250274\r\nWczytywanie przerwano");
    int before = c.failingDocument - 1;
    EXPECT_EQ(out.count, before);
    EXPECT_EQ(run.Count(), std::to_string(before));
    // Nothing of the failed document is written, and nothing after it.
    ASSERT_EQ(static_cast<int>(run.Documents().size()), before);
    if (before == 1) {
      EXPECT_EQ(At(run.Documents()[0], "NAGLOWEK_DOKUMENTU/NUMER"), "FV A");
    }
    EXPECT_EQ(static_cast<int>(run.Cards().size()), before * (c.users ? 2 : 1));
  }
}

TEST(WaproExport, NipCheckedUnlessReceiptKinds) {
  struct Case {
    int type;
    bool asked;
  };
  for (const Case& c : {Case{0, true}, Case{22, true}, Case{4, false}, Case{5, false}, Case{7, false}}) {
    SCOPED_TRACE(c.type);
    WaproRun run;
    run.month.ur = {{.nip = "1234567890"}};
    run.month.docs = {{.type = c.type}};
    run.month.reg = {{.cls = c.type}};
    if (c.asked) run.port.answers = {Button::No};
    WaproExport out = run.Make();
    EXPECT_EQ(FailureText(out), c.asked ? "Wczytywanie przerwano" : "");
    EXPECT_EQ(out.count, c.asked ? 0 : 1);
    EXPECT_EQ(run.port.shown.size(), c.asked ? 1u : 0u);
    if (!c.asked) {
      ASSERT_EQ(run.Cards().size(), 1u);
      EXPECT_NE(run.Cards()[0].find("NIP=1234567890 "), std::string::npos);
    }
  }
}

TEST(WaproExport, DriverCountsOffersTheFileAndReportsTheFailure) {
  WaproRun run;
  run.ctx.AppSettings.NameSufix = "_firma";
  run.month.ur = {{.number = 1}, {.number = 2, .name = ""}};
  run.month.docs = {{.number = 1, .name = "FV 1", .user = 1}, {.number = 2, .name = "FV 2", .user = 2}};
  run.month.reg = {{.number = 1, .user = 1, .payer = 1}, {.number = 2, .user = 2, .payer = 2}};
  run.month.Write(run.dir.Path());

  // The save dialog cancelled: the name proposed for the month stays in it.
  run.port.answers = {Button::Yes};
  run.port.files = {std::nullopt};
  EXPECT_THROW(kx::exports::DoFromTowix(run.ctx, kx::exports::ExportFormat::Wapro, run.dir.Path().string()), kx::Error);
  EXPECT_EQ(run.ctx.SaveDlg.fileName, "2026-11_Towix2Wapro_firma");
  ASSERT_EQ(run.port.shown.size(), 2u);
  EXPECT_EQ(run.port.shown[0].text, "Wygenerowano plik zawierający dokumentów: 1");
  EXPECT_EQ(run.port.shown[1].text, "Zapisać wygenerowany plik?");

  // Saved: the file holds the document made before the failure.
  std::string file = (run.dir / "wapro.xml").string();
  run.port.answers = {Button::Yes};
  run.port.files = {file};
  EXPECT_THROW(kx::exports::DoFromTowix(run.ctx, kx::exports::ExportFormat::Wapro, run.dir.Path().string()), kx::Error);
  kx::xml::XmlDocument saved = kx::xml::XmlDocument::FromFile(file);
  XmlNode root = saved.DocumentElement();
  EXPECT_EQ(At(root, "INFO_EKSPORTU/LICZBA_DOKUMENTOW"), "1");
  EXPECT_EQ(At(root, "DOKUMENTY/DOKUMENT/NAGLOWEK_DOKUMENTU/NUMER"), "FV 1");
  EXPECT_EQ(Elements(root.FindChild("DOKUMENTY")).size(), 1u);
  EXPECT_NE(ReadFile(file).find("\n\t<DOKUMENTY>\n\t\t<DOKUMENT>\n\t\t\t<NAGLOWEK_DOKUMENTU>\n"), std::string::npos);
}

TEST(WaproExport, DocumentNumberThatGivesNoIdStopsTheWalk) {
  WaproRun run;
  run.month.docs = {{.number = -5, .name = "FV -5", .year = 17}, {.number = 1, .name = "FV 1", .year = 17}};
  run.month.reg = {{.number = -5, .year = 17}, {.number = 1, .year = 17}};
  WaproExport out = run.Make();
  EXPECT_EQ(FailureText(out), "Dokument FV -5: niepoprawny numer dokumentu 17-000005");
  EXPECT_EQ(out.count, 0);
  EXPECT_TRUE(run.Documents().empty());
}
