// The whole check of a JPK_V7M file (schema, rules, declaration positions
// recomputed by the editor) on files with one planted fault each: every case
// gives exactly its findings, the sound file none.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "editor/declaration_check.h"
#include "jpk/check/finding.h"
#include "platform/xml/xml_document.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::jpk::check::Finding;
using kx::jpk::check::Severity;

namespace {

// A sound month (February 2026) of the firm 7270120002: three sales (a
// Polish buyer with a KSeF number, a receipt without a buyer's number, an
// EU supply), two purchases, the control elements and the declaration that
// the records give.
const std::string kSound = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<JPK xmlns="http://crd.gov.pl/wzor/2025/12/19/14090/" xmlns:etd="http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2022/09/13/eD/DefinicjeTypy/">
  <Naglowek>
    <KodFormularza kodSystemowy="JPK_V7M (3)" wersjaSchemy="1-0E">JPK_VAT</KodFormularza>
    <WariantFormularza>3</WariantFormularza>
    <DataWytworzeniaJPK>2026-03-02T09:05:07</DataWytworzeniaJPK>
    <NazwaSystemu>kx2jpk</NazwaSystemu>
    <CelZlozenia poz="P_7">1</CelZlozenia>
    <KodUrzedu>1009</KodUrzedu>
    <Rok>2026</Rok>
    <Miesiac>2</Miesiac>
  </Naglowek>
  <Podmiot1 rola="Podatnik">
    <OsobaNiefizyczna>
      <NIP>7270120002</NIP>
      <PelnaNazwa>Hurtownia Spożywcza Żuraw Sp. z o.o.</PelnaNazwa>
      <Email>biuro@hurtownia-zuraw.pl</Email>
    </OsobaNiefizyczna>
  </Podmiot1>
  <Deklaracja>
    <Naglowek>
      <KodFormularzaDekl kodSystemowy="VAT-7 (23)" kodPodatku="VAT" rodzajZobowiazania="Z" wersjaSchemy="1-0E">VAT-7</KodFormularzaDekl>
      <WariantFormularzaDekl>23</WariantFormularzaDekl>
    </Naglowek>
    <PozycjeSzczegolowe>
      <P_17>100</P_17>
      <P_18>8</P_18>
      <P_19>1000</P_19>
      <P_20>230</P_20>
      <P_21>500</P_21>
      <P_37>1600</P_37>
      <P_38>238</P_38>
      <P_40>1000</P_40>
      <P_41>230</P_41>
      <P_42>200</P_42>
      <P_43>46</P_43>
      <P_48>276</P_48>
      <P_51>0</P_51>
      <P_53>38</P_53>
      <P_62>38</P_62>
    </PozycjeSzczegolowe>
    <Pouczenia>1</Pouczenia>
  </Deklaracja>
  <Ewidencja>
    <SprzedazWiersz>
      <LpSprzedazy>1</LpSprzedazy>
      <KodKrajuNadaniaTIN>PL</KodKrajuNadaniaTIN>
      <NrKontrahenta>5260001246</NrKontrahenta>
      <NazwaKontrahenta>Sklep Pod Lipami</NazwaKontrahenta>
      <DowodSprzedazy>FV 1/02/2026</DowodSprzedazy>
      <DataWystawienia>2026-02-05</DataWystawienia>
      <DataSprzedazy>2026-02-05</DataSprzedazy>
      <NrKSeF>7270120002-20260205-0100001AF629-31</NrKSeF>
      <K_19>1000.00</K_19>
      <K_20>230.00</K_20>
    </SprzedazWiersz>
    <SprzedazWiersz>
      <LpSprzedazy>2</LpSprzedazy>
      <NrKontrahenta>BRAK</NrKontrahenta>
      <NazwaKontrahenta>BRAK</NazwaKontrahenta>
      <DowodSprzedazy>RO 1/02/2026</DowodSprzedazy>
      <DataWystawienia>2026-02-28</DataWystawienia>
      <OFF>1</OFF>
      <TypDokumentu>RO</TypDokumentu>
      <K_17>100.00</K_17>
      <K_18>8.00</K_18>
    </SprzedazWiersz>
    <SprzedazWiersz>
      <LpSprzedazy>3</LpSprzedazy>
      <KodKrajuNadaniaTIN>DE</KodKrajuNadaniaTIN>
      <NrKontrahenta>DE123456789</NrKontrahenta>
      <NazwaKontrahenta>Kaffee Handel GmbH</NazwaKontrahenta>
      <DowodSprzedazy>FV 3/02/2026</DowodSprzedazy>
      <DataWystawienia>2026-02-10</DataWystawienia>
      <BFK>1</BFK>
      <K_21>500.00</K_21>
    </SprzedazWiersz>
    <SprzedazCtrl>
      <LiczbaWierszySprzedazy>3</LiczbaWierszySprzedazy>
      <PodatekNalezny>238.00</PodatekNalezny>
    </SprzedazCtrl>
    <ZakupWiersz>
      <LpZakupu>1</LpZakupu>
      <KodKrajuNadaniaTIN>PL</KodKrajuNadaniaTIN>
      <NrDostawcy>5260001246</NrDostawcy>
      <NazwaDostawcy>Sklep Pod Lipami</NazwaDostawcy>
      <DowodZakupu>FZ 10/2026</DowodZakupu>
      <DataZakupu>2026-02-03</DataZakupu>
      <DataWplywu>2026-02-04</DataWplywu>
      <NrKSeF>5260001246-20260203-01000022B1C4-BA</NrKSeF>
      <K_42>200.00</K_42>
      <K_43>46.00</K_43>
    </ZakupWiersz>
    <ZakupWiersz>
      <LpZakupu>2</LpZakupu>
      <NrDostawcy>5265877635</NrDostawcy>
      <NazwaDostawcy>Hurtownia Mleka</NazwaDostawcy>
      <DowodZakupu>FZ 11/2026</DowodZakupu>
      <DataZakupu>2026-02-10</DataZakupu>
      <OFF>1</OFF>
      <K_40>1000.00</K_40>
      <K_41>230.00</K_41>
    </ZakupWiersz>
    <ZakupCtrl>
      <LiczbaWierszyZakupow>2</LiczbaWierszyZakupow>
      <PodatekNaliczony>276.00</PodatekNaliczony>
    </ZakupCtrl>
  </Ewidencja>
</JPK>
)xml";

using Edits = std::vector<std::pair<std::string, std::string>>;

struct Case {
  const char* name;
  Edits edits;                    // each text found once in the sound file and replaced
  bool schemaRefuses;             // the schema complains too (each complaint an error of "plik")
  std::vector<Finding> findings;  // the rules' findings, in order
};

Finding Error(const char* section, int lp, const char* element, const char* message) {
  return {Severity::Error, section, lp, element, message};
}
Finding Warning(const char* section, int lp, const char* element, const char* message) {
  return {Severity::Warning, section, lp, element, message};
}

const char* kSale = "sprzedaż";
const char* kBuy = "zakup";
const char* kDecl = "deklaracja";

std::vector<Case> Cases() {
  return {
      {"sound file", {}, false, {}},
      {"contractor NIP with a wrong check digit",
       {{"<NrKontrahenta>5260001246<", "<NrKontrahenta>5260001247<"}},
       false,
       {Error(kSale, 1, "NrKontrahenta", "NIP 5260001247 ma błędną cyfrę kontrolną")}},
      {"contractor NIP written with PL and dashes is read",
       {{"<NrKontrahenta>5260001246<", "<NrKontrahenta>PL 526-000-12-46<"}},
       false,
       {}},
      {"contractor NIP of PL without ten digits",
       {{"<NrKontrahenta>5260001246<", "<NrKontrahenta>52600012<"}},
       false,
       {Error(kSale, 1, "NrKontrahenta", "NIP 52600012 nie ma 10 cyfr")}},
      {"supplier without country code, ten digits, wrong check digit",
       {{"<NrDostawcy>5265877635<", "<NrDostawcy>5265877636<"}},
       false,
       {Error(kBuy, 2, "NrDostawcy", "NIP 5265877636 ma błędną cyfrę kontrolną")}},
      {"supplier without country code and not ten digits is not taken for a NIP",
       {{"<NrDostawcy>5265877635<", "<NrDostawcy>ATU12345678<"}},
       false,
       {}},
      {"subject NIP with a wrong check digit",
       {{"<NIP>7270120002</NIP>", "<NIP>7270120003</NIP>"}},
       false,
       {Error("nagłówek", 0, "NIP", "NIP podmiotu 7270120003 ma błędną cyfrę kontrolną"),
        Warning(kSale, 1, "NrKSeF",
                "numer KSeF 7270120002-20260205-0100001AF629-31 ma NIP 7270120002, a sprzedawcą jest podmiot o NIP "
                "7270120003")}},
      {"KSeF number with a wrong check sum",
       {{"0100001AF629-31", "0100001AF629-32"}},
       false,
       {Error(kSale, 1, "NrKSeF",
              "numer KSeF 7270120002-20260205-0100001AF629-32 ma błędną sumę kontrolną 32 (powinna być 31)")}},
      {"KSeF number with lower-case characters",
       {{"0100001AF629-31", "0100001af629-31"}},
       true,
       {Error(kSale, 1, "NrKSeF",
              "numer KSeF 7270120002-20260205-0100001af629-31 ma niepoprawną postać (NIP-RRRRMMDD-12 znaków "
              "szesnastkowych-2 znaki sumy kontrolnej, 35 znaków)")}},
      {"KSeF number with a day that does not exist",
       {{"7270120002-20260205-0100001AF629-31", "7270120002-20260231-0100001AF629-74"}},
       false,
       {Error(kSale, 1, "NrKSeF", "numer KSeF 7270120002-20260231-0100001AF629-74 zawiera niepoprawną datę 20260231")}},
      {"KSeF number of a sale issued by another NIP",
       {{"7270120002-20260205-0100001AF629-31", "5265877635-20260205-0100001AF629-80"}},
       false,
       {Warning(kSale, 1, "NrKSeF",
                "numer KSeF 5265877635-20260205-0100001AF629-80 ma NIP 5265877635, a sprzedawcą jest podmiot o NIP "
                "7270120002")}},
      {"KSeF number of a purchase not issued by the supplier",
       {{"5260001246-20260203-01000022B1C4-BA", "7270120002-20260205-0100001AF629-31"}},
       false,
       {Warning(kBuy, 1, "NrKSeF",
                "numer KSeF 7270120002-20260205-0100001AF629-31 ma NIP 7270120002, a NIP dostawcy to 5260001246")}},
      {"empty KSeF number",
       {{"<NrKSeF>5260001246-20260203-01000022B1C4-BA</NrKSeF>", "<NrKSeF></NrKSeF>"}},
       true,
       {Error(kBuy, 1, "NrKSeF", "pusty numer KSeF")}},
      {"sale dates after the month",
       {{"<DataWystawienia>2026-02-05<", "<DataWystawienia>2026-03-02<"},
        {"<DataSprzedazy>2026-02-05<", "<DataSprzedazy>2027-01-05<"}},
       false,
       {Warning(kSale, 1, "DataWystawienia", "data 2026-03-02 jest późniejsza niż koniec okresu pliku (2026-02)"),
        Warning(kSale, 1, "DataSprzedazy", "data 2027-01-05 jest późniejsza niż koniec okresu pliku (2026-02)")}},
      {"dates before the month are allowed",
       {{"<DataSprzedazy>2026-02-05<", "<DataSprzedazy>2026-01-30<"},
        {"<DataZakupu>2026-02-10<", "<DataZakupu>2025-12-31<"}},
       false,
       {}},
      {"purchase received after the month",
       {{"<DataWplywu>2026-02-04<", "<DataWplywu>2026-03-01<"}},
       false,
       {Warning(kBuy, 1, "DataWplywu", "data 2026-03-01 jest późniejsza niż koniec okresu pliku (2026-02)")}},
      {"net without its tax",
       {{"<K_21>500.00</K_21>", "<K_15>0.00</K_15><K_21>500.00</K_21>"}},
       true,
       {Error(kSale, 3, "K_15", "kwota netto K_15 bez kwoty podatku K_16")}},
      {"tax without its net, sale",
       {{"<K_21>500.00</K_21>", "<K_16>0.00</K_16><K_21>500.00</K_21>"}},
       true,
       {Error(kSale, 3, "K_16", "kwota podatku K_16 bez kwoty netto K_15")}},
      {"tax without its net, purchase",
       {{"<K_42>200.00</K_42>", "<K_41>0.00</K_41><K_42>200.00</K_42>"}},
       true,
       {Error(kBuy, 1, "K_41", "kwota podatku K_41 bez kwoty netto K_40")}},
      {"the same document of the same supplier twice",
       {{"<NrDostawcy>5265877635<", "<NrDostawcy>5260001246<"}, {"FZ 11/2026", "FZ 10/2026"}},
       false,
       {Warning(kBuy, 2, "DowodZakupu", "dokument FZ 10/2026 kontrahenta 5260001246 występuje już w wierszu Lp 1")}},
      {"the same number from another supplier is no repeat", {{"FZ 11/2026", "FZ 10/2026"}}, false, {}},
      {"control count of sales",
       {{"<LiczbaWierszySprzedazy>3<", "<LiczbaWierszySprzedazy>4<"}},
       false,
       {Error(kSale, 0, "LiczbaWierszySprzedazy", "podano 4, a wierszy sprzedaży jest 3")}},
      {"control tax of purchases",
       {{"<PodatekNaliczony>276.00<", "<PodatekNaliczony>276.01<"}},
       false,
       {Error(kBuy, 0, "PodatekNaliczony", "podano 276.01, a suma podatku z wierszy zakupu wynosi 276")}},
      {"declaration position typed over",
       {{"<P_19>1000<", "<P_19>999<"}},
       false,
       {Error(kDecl, 0, "P_19", "w deklaracji 999, a z wierszy ewidencji wynika 1000")}},
      {"record changed without recomputing the declaration",
       {{"<K_19>1000.00<", "<K_19>1100.00<"}},
       false,
       {Error(kDecl, 0, "P_19", "w deklaracji 1000, a z wierszy ewidencji wynika 1100"),
        Error(kDecl, 0, "P_37", "w deklaracji 1600, a z wierszy ewidencji wynika 1700")}},
      {"a position the records do not give",
       {{"<P_21>500</P_21>", "<P_21>500</P_21><P_22>7</P_22>"}},
       false,
       {Error(kDecl, 0, "P_22", "w deklaracji 7, a z wierszy ewidencji wynika 0")}},
      {"surplus carried from before counts in P_48",
       {{"<P_38>238</P_38>", "<P_38>238</P_38><P_39>10</P_39>"},
        {"<P_48>276<", "<P_48>286<"},
        {"<P_53>38<", "<P_53>48<"},
        {"<P_62>38<", "<P_62>48<"}},
       false,
       {}},
      {"surplus carried from before left out of P_48",
       {{"<P_38>238</P_38>", "<P_38>238</P_38><P_39>10</P_39>"}},
       false,
       {Error(kDecl, 0, "P_48", "w deklaracji 276, a z wierszy ewidencji wynika 286")}},
      {"refund within the surplus",
       {{"<P_53>38</P_53>", "<P_53>38</P_53><P_54>30</P_54><P_540>1</P_540>"}, {"<P_62>38<", "<P_62>8<"}},
       false,
       {}},
      {"refund above the surplus",
       {{"<P_53>38</P_53>", "<P_53>38</P_53><P_54>50</P_54><P_540>1</P_540>"}, {"<P_62>38</P_62>", ""}},
       false,
       {Error(kDecl, 0, "P_54", "kwota do zwrotu P_54 (50) jest większa niż nadwyżka podatku naliczonego P_53 (38)")}},
      {"refund terms without a refund",
       {{"<P_53>38</P_53>", "<P_53>38</P_53><P_59>1</P_59><P_60>10</P_60>"}},
       true,
       {Error(kDecl, 0, "P_59", "pozycja P_59 bez kwoty do zwrotu P_54"),
        Error(kDecl, 0, "P_60", "pozycja P_60 bez kwoty do zwrotu P_54")}},
      {"carried surplus that is not P_53 - P_54",
       {{"<P_62>38<", "<P_62>40<"}},
       false,
       {Error(kDecl, 0, "P_62", "w deklaracji 40, a P_53 - P_54 daje 38")}},
      {"records waiting for a KSeF number",
       {{"<OFF>1</OFF>\n      <TypDokumentu>", "<DI>1</DI>\n      <TypDokumentu>"}},
       false,
       {{Severity::Info, kSale, 2, "DI", "dokument RO 1/02/2026 czeka na numer KSeF (oznaczenie DI)"}}},
  };
}

std::string Apply(const Case& c) {
  std::string text = kSound;
  for (const auto& [from, to] : c.edits) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    EXPECT_EQ(text.find(from, at + 1), std::string::npos) << "not unique: " << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

namespace kx::jpk::check {
void PrintTo(const Finding& f, std::ostream* os) {
  *os << SeverityText(f.severity) << " | " << f.section << " | " << f.lp << " | " << f.element << " | " << f.message;
}
}  // namespace kx::jpk::check

TEST(V7MCheck, EachPlantedFaultGivesExactlyItsFindings) {
  TempDir dir;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const auto file = dir.Write("case.xml", Apply(c));
    std::vector<Finding> found = kx::editor::CheckJpkFileWithDeclaration(file, SharedDir() / "xsd");
    std::vector<Finding> rules;
    int schema = 0;
    for (const Finding& f : found) {
      if (f.message.rfind("niezgodność ze schematem", 0) == 0) {
        EXPECT_EQ(f.severity, Severity::Error);
        EXPECT_EQ(f.section, "plik");
        ++schema;
      } else {
        rules.push_back(f);
      }
    }
    EXPECT_EQ(schema > 0, c.schemaRefuses) << schema << " schema complaints";
    EXPECT_EQ(rules, c.findings);

    // The editor's check of the same document in memory gives the same.
    const auto document = kx::xml::XmlDocument::FromFile(file);
    std::vector<Finding> inMemory = kx::editor::CheckJpkDocumentWithDeclaration(document, SharedDir() / "xsd");
    const auto firstRule = std::find_if(inMemory.begin(), inMemory.end(), [](const Finding& f) {
      return f.message.rfind("niezgodność ze schematem", 0) != 0;
    });
    EXPECT_EQ(firstRule != inMemory.begin(), c.schemaRefuses);
    EXPECT_EQ(std::vector<Finding>(firstRule, inMemory.end()), c.findings);
  }
}

// A complaint of the schema about a record in memory names the record.
TEST(V7MCheck, SchemaComplaintsInMemoryNameTheRecord) {
  std::string text = kSound;
  const size_t second = text.find("<SprzedazWiersz>", text.find("<SprzedazWiersz>") + 1);
  const size_t date = text.find("<DataWystawienia>", second);
  text.replace(date + std::string("<DataWystawienia>").size(), 10, "2026-02-31");
  const auto document = kx::xml::XmlDocument::FromString(text);
  std::vector<Finding> found = kx::editor::CheckJpkDocumentWithDeclaration(document, SharedDir() / "xsd");
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found[0].section, "sprzedaż");
  EXPECT_EQ(found[0].lp, 2);
  EXPECT_EQ(found[0].element, "DataWystawienia");
  EXPECT_EQ(found[0].severity, Severity::Error);
}
