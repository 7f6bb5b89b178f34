#pragma once
// Small JPK_V7M documents for the editor tests: a valid header and subject
// with the records and declaration a test states in a few lines.

#include <string>
#include <vector>

namespace kxtest {

inline constexpr const char* kV7MNamespace = "http://crd.gov.pl/wzor/2025/12/19/14090/";
inline constexpr const char* kV7MEtd = "http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2022/09/13/eD/DefinicjeTypy/";

// One sale record: number, contractor, document, dates, DI and the given
// elements (type, markers, amounts) in schema order.
inline std::string Sale(int lp, const std::string& amounts, const std::string& contractor = "5260001246",
                        const std::string& name = "Sklep Pod Lipami") {
  return "<SprzedazWiersz><LpSprzedazy>" + std::to_string(lp) + "</LpSprzedazy><NrKontrahenta>" + contractor +
         "</NrKontrahenta><NazwaKontrahenta>" + name + "</NazwaKontrahenta><DowodSprzedazy>FV " +
         std::to_string(lp) + "/02/2026</DowodSprzedazy><DataWystawienia>2026-02-05</DataWystawienia><DI>1</DI>" +
         amounts + "</SprzedazWiersz>";
}

// One purchase record.
inline std::string Purchase(int lp, const std::string& amounts, const std::string& document = "FZ 1/2026") {
  return "<ZakupWiersz><LpZakupu>" + std::to_string(lp) +
         "</LpZakupu><NrDostawcy>7270120002</NrDostawcy><NazwaDostawcy>Hurtownia Żuraw</NazwaDostawcy>"
         "<DowodZakupu>" +
         document + "</DowodZakupu><DataZakupu>2026-02-03</DataZakupu><DI>1</DI>" + amounts + "</ZakupWiersz>";
}

inline std::string SaleCtrl(int count, const std::string& tax) {
  return "<SprzedazCtrl><LiczbaWierszySprzedazy>" + std::to_string(count) +
         "</LiczbaWierszySprzedazy><PodatekNalezny>" + tax + "</PodatekNalezny></SprzedazCtrl>";
}

inline std::string PurchaseCtrl(int count, const std::string& tax) {
  return "<ZakupCtrl><LiczbaWierszyZakupow>" + std::to_string(count) + "</LiczbaWierszyZakupow><PodatekNaliczony>" +
         tax + "</PodatekNaliczony></ZakupCtrl>";
}

// A declaration part with the given positions.
inline std::string Declaration(const std::string& positions) {
  return "<Deklaracja><Naglowek><KodFormularzaDekl kodSystemowy=\"VAT-7 (23)\" kodPodatku=\"VAT\" "
         "rodzajZobowiazania=\"Z\" wersjaSchemy=\"1-0E\">VAT-7</KodFormularzaDekl><WariantFormularzaDekl>23"
         "</WariantFormularzaDekl></Naglowek><PozycjeSzczegolowe>" +
         positions + "</PozycjeSzczegolowe><Pouczenia>1</Pouczenia></Deklaracja>";
}

// The whole file: header, subject, then the given parts (declaration,
// Ewidencja content). With ewidencja false no Ewidencja element is written.
inline std::string V7MFile(const std::string& ewidencja, const std::string& declaration = "",
                           bool withEwidencja = true, bool withRola = true) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<JPK xmlns=\"") + kV7MNamespace +
         "\" xmlns:etd=\"" + kV7MEtd +
         "\"><Naglowek><KodFormularza kodSystemowy=\"JPK_V7M (3)\" wersjaSchemy=\"1-0E\">JPK_VAT</KodFormularza>"
         "<WariantFormularza>3</WariantFormularza><DataWytworzeniaJPK>2026-03-02T09:05:07</DataWytworzeniaJPK>"
         "<NazwaSystemu>kx2jpk</NazwaSystemu><CelZlozenia poz=\"P_7\">1</CelZlozenia><KodUrzedu>1009</KodUrzedu>"
         "<Rok>2026</Rok><Miesiac>2</Miesiac></Naglowek><Podmiot1" +
         (withRola ? " rola=\"Podatnik\"" : "") +
         "><OsobaNiefizyczna><NIP>7270120002</NIP><PelnaNazwa>Hurtownia Spożywcza Żuraw Sp. z o.o.</PelnaNazwa>"
         "<Email>biuro@hurtownia-zuraw.pl</Email></OsobaNiefizyczna></Podmiot1>" +
         declaration + (withEwidencja ? "<Ewidencja>" + ewidencja + "</Ewidencja>" : "") + "</JPK>";
}

}  // namespace kxtest
