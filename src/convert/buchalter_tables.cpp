#include "convert/buchalter_tables.h"

#include <array>

#include "platform/error.h"

namespace kx::convert {
namespace {

// Widths. Texts taken from the file hold every value the JPK_V7M(3) schema
// allows, up to the 254 characters of a dBase character field; amounts hold
// 15 whole digits with grosze (19 is the widest dBase III number).
constexpr int kLongText = 254;  // names, document numbers and their parts
constexpr int kKsefWidth = 36;  // a KSeF number with every optional dash
constexpr int kNipWidth = 50;   // contractor's tax number
constexpr int kWordWidth = 20;  // fixed words ("POLSKA", "INNA", "SPRZEDAZ 23")
constexpr int kAmountWidth = 19;
constexpr int kCounterWidth = 8;
constexpr int kDocumentNoWidth = 18;  // whole number of a sales document (fits 64 bits)

// clang-format off
constexpr BuchalterField kSalesFields[] = {
    {"NKO", 'N', 1, 0, "1 – raport fiskalny okresowy, 0 – inny dowód"},
    {"WER", 'C', 1, 0, "„T”"},
    {"KSF", 'C', kKsefWidth, 0, "numer KSeF (NrKSeF)"},
    {"STV", 'C', 1, 0, "„T”"},
    {"TTR", 'C', 1, 0, "„N”"},
    {"STM", 'N', 1, 0, "1"},
    {"ANU", 'C', 1, 0, "„N”"},
    {"TYV", 'N', 1, 0, "rodzaj dowodu: 1 – sprzedaż, 3 – zwrot (netto lub podatek poniżej zera), 5 – RO, 9 – FP"},
    {"PRE", 'C', kLongText, 0, "litery z początku numeru dowodu (DowodSprzedazy), wielkie"},
    {"NRV", 'N', kDocumentNoWidth, 0, "pierwsza grupa cyfr numeru dowodu; 0, gdy numer nie ma cyfr"},
    {"POS", 'C', kLongText, 0, "reszta numeru dowodu po tej grupie cyfr, wielkie litery"},
    {"DAW", 'D', 8, 0, "data wystawienia"},
    {"DAS", 'D', 8, 0, "data sprzedaży (gdy brak – data wystawienia)"},
    {"DAV", 'D', 8, 0, "data sprzedaży (gdy brak – data wystawienia)"},
    {"KNA", 'C', kLongText, 0, "nazwa skrócona kontrahenta (słownik CutDict.txt)"},
    {"NA1", 'C', kLongText, 0, "nazwa kontrahenta, pierwszy wiersz (do 70 znaków, gdy da się podzielić)"},
    {"NA2", 'C', kLongText, 0, "nazwa kontrahenta, reszta"},
    {"KRA", 'C', kWordWidth, 0, "„POLSKA”"},
    {"NIP", 'C', kNipWidth, 0, "numer kontrahenta (NrKontrahenta)"},
    {"PLA", 'C', kWordWidth, 0, "„INNA”"},
    {"DPL", 'D', 8, 0, "data wystawienia"},
    {"NET", 'N', kAmountWidth, 2, "netto (zwrot: 0)"},
    {"VAT", 'N', kAmountWidth, 2, "podatek (zwrot: 0)"},
    {"BRU", 'N', kAmountWidth, 2, "brutto (zwrot: 0)"},
    {"KRN", 'N', kAmountWidth, 2, "netto zwrotu (inaczej 0)"},
    {"KRV", 'N', kAmountWidth, 2, "podatek zwrotu (inaczej 0)"},
    {"OP1", 'C', kWordWidth, 0, "„SPRZEDAZ” lub „ZWROT”"},
    {"REC", 'N', kCounterWidth, 0, "numer wiersza w rejestrze sprzedaży, od 1"},
    {"AKT", 'N', 1, 0, "0"},
    {"TRY", 'N', 1, 0, "1"},
    {"TRK", 'N', 1, 0, "1"},
    {"OSM", 'C', kLongText, 0, "numer dowodu; dla raportu fiskalnego „RAPORT FISKALNY”"},
    {"TYB", 'N', 1, 0, "1"},
    {"WAL", 'C', 3, 0, "„PLN”"},
    {"KVA", 'N', 10, 4, "1,0"},
    {"NKV", 'C', 7, 0, "sześć spacji i „N”; puste, gdy jest oznaczenie GTU"},
    {"NKK", 'C', 13, 0, "oznaczenia GTU_01…GTU_13: „T” na miejscu każdego ustawionego"},
    {"KKS", 'N', 10, 4, "1,0"},
    {"RE4", 'C', 1, 0, "„N”"},
};

constexpr BuchalterField kSaleLineFields[] = {
    {"STV", 'C', 1, 0, "„N”"},
    {"STM", 'N', 1, 0, "1"},
    {"CSS", 'C', 1, 0, "„T”"},
    {"TYV", 'N', 1, 0, "rodzaj dowodu, jak w B5SPEX"},
    {"PRE", 'C', kLongText, 0, "jak w B5SPEX"},
    {"NRV", 'N', kDocumentNoWidth, 0, "jak w B5SPEX"},
    {"POS", 'C', kLongText, 0, "jak w B5SPEX"},
    {"DAW", 'D', 8, 0, "data wystawienia"},
    {"DAV", 'D', 8, 0, "data sprzedaży"},
    {"KON", 'N', kCounterWidth, 0, "0"},
    {"TYP", 'N', 1, 0, "1"},
    {"RYT", 'N', 1, 0, "3"},
    {"RYS", 'N', 6, 2, "3,0"},
    {"NA1", 'C', kWordWidth, 0, "„SPRZEDAZ ” i stawka: ZW, 0, 5, 8, 23"},
    {"ILO", 'N', 12, 3, "1,0"},
    {"RAS", 'N', 6, 2, "0,0"},
    {"CNB", 'N', kAmountWidth, 2, "netto (zwrot: 0)"},
    {"CBB", 'N', kAmountWidth, 2, "brutto (zwrot: 0)"},
    {"CNR", 'N', kAmountWidth, 2, "netto (zwrot: 0)"},
    {"CBR", 'N', kAmountWidth, 2, "brutto (zwrot: 0)"},
    {"WNE", 'N', kAmountWidth, 2, "netto (zwrot: 0)"},
    {"WAV", 'N', kAmountWidth, 2, "podatek (zwrot: 0)"},
    {"WAB", 'N', kAmountWidth, 2, "brutto (zwrot: 0)"},
    {"KRN", 'N', kAmountWidth, 2, "netto zwrotu (inaczej 0)"},
    {"KRV", 'N', kAmountWidth, 2, "podatek zwrotu (inaczej 0)"},
    {"KILO", 'N', 12, 3, "zwrot: 1,0; inaczej puste"},
    {"KCNB", 'N', kAmountWidth, 2, "zwrot: netto; inaczej puste"},
    {"KCBB", 'N', kAmountWidth, 2, "zwrot: brutto; inaczej puste"},
    {"KCNR", 'N', kAmountWidth, 2, "zwrot: netto; inaczej puste"},
    {"KCBR", 'N', kAmountWidth, 2, "zwrot: brutto; inaczej puste"},
    {"KVAT", 'N', 1, 0, "zwrot: kod stawki; inaczej puste"},
    {"KVAS", 'N', 2, 0, "zwrot: stawka; inaczej puste"},
    {"KWAV", 'N', kAmountWidth, 2, "zwrot: podatek; inaczej puste"},
    {"KWAB", 'N', kAmountWidth, 2, "zwrot: brutto; inaczej puste"},
    {"VAT", 'N', 1, 0, "kod stawki: 1 – 23%, 2 – 8%, 8 – 5%, 3 – 0% i poza krajem, 4 – zwolniona"},
    {"VAS", 'N', 2, 0, "stawka (zwolniona: 0)"},
    {"REK", 'N', kCounterWidth, 0, "numer wiersza dowodu w B5SPEX (REC)"},
    {"REC", 'N', kCounterWidth, 0, "numer wiersza stawki, od 1"},
    {"ZRP", 'N', 1, 0, "1"},
    {"STA", 'C', 1, 0, "„T”"},
    {"WAL", 'C', 3, 0, "„PLN”"},
    {"KVA", 'N', 10, 4, "1,0"},
    {"KKS", 'N', 10, 4, "1,0"},
};

constexpr BuchalterField kPurchaseFields[] = {
    {"KSF", 'C', kKsefWidth, 0, "numer KSeF (NrKSeF)"},
    {"TTR", 'C', 1, 0, "„N”"},
    {"STM", 'N', 1, 0, "2 – numer dowodu zawiera „FUE”, inaczej 1"},
    {"ANU", 'C', 1, 0, "„N”"},
    {"TYV", 'N', 1, 0, "1 – zakup, 3 – zwrot"},
    {"NRV", 'C', kLongText, 0, "numer dowodu (DowodZakupu)"},
    {"DAV", 'D', 8, 0, "data wpływu (gdy brak – data zakupu)"},
    {"DZK", 'D', 8, 0, "data wpływu (gdy brak – data zakupu)"},
    {"KDO", 'C', kLongText, 0, "nazwa skrócona dostawcy (słownik CutDict.txt)"},
    {"NA1", 'C', kLongText, 0, "nazwa dostawcy, pierwszy wiersz"},
    {"NA2", 'C', kLongText, 0, "nazwa dostawcy, reszta"},
    {"KRA", 'C', kWordWidth, 0, "„POLSKA”"},
    {"NIP", 'C', kNipWidth, 0, "numer dostawcy (NrDostawcy)"},
    {"NET", 'N', kAmountWidth, 2, "netto (zwrot: puste)"},
    {"VAT", 'N', kAmountWidth, 2, "podatek (zwrot: puste)"},
    {"BRU", 'N', kAmountWidth, 2, "brutto (zwrot: puste)"},
    {"OP1", 'C', kWordWidth, 0, "„ZAKUP TH” lub „ZWROT”"},
    {"KRN", 'N', kAmountWidth, 2, "zwrot: netto; inaczej puste"},
    {"KRV", 'N', kAmountWidth, 2, "zwrot: podatek; inaczej puste"},
    {"TYM", 'N', 1, 0, "zwrot: 1; inaczej puste"},
    {"PLA", 'C', kWordWidth, 0, "„INNA”"},
    {"DPL", 'D', 8, 0, "data zakupu"},
    {"REC", 'N', kCounterWidth, 0, "numer wiersza w rejestrze zakupu, od 1"},
    {"AKT", 'N', 1, 0, "0"},
    {"TRY", 'N', 1, 0, "1"},
    {"TRK", 'N', 1, 0, "1"},
    {"ZAP", 'C', 1, 0, "„N”"},
    {"KZA", 'N', kAmountWidth, 2, "0,0"},
    {"DAM", 'D', 8, 0, "data zakupu"},
    {"STA", 'C', 1, 0, "„T”"},
    {"WAL", 'C', 3, 0, "„PLN”"},
    {"KVA", 'N', 10, 4, "1,0"},
    {"KKS", 'N', 10, 4, "1,0"},
    {"TKO", 'N', 1, 0, "1"},
};

constexpr BuchalterField kPurchaseLineFields[] = {
    {"STV", 'C', 1, 0, "„N”"},
    {"STM", 'N', 1, 0, "jak w B5ZAEX"},
    {"ANU", 'C', 1, 0, "„N”"},
    {"TYV", 'N', 1, 0, "jak w B5ZAEX"},
    {"NRV", 'C', kLongText, 0, "numer dowodu (DowodZakupu)"},
    {"DAV", 'D', 8, 0, "data wpływu (gdy brak – data zakupu)"},
    {"KON", 'N', kCounterWidth, 0, "0"},
    {"TYW", 'N', 1, 0, "1"},
    {"TYZ", 'N', 1, 0, "1"},
    {"TYS", 'N', 1, 0, "1"},
    {"NA1", 'C', kWordWidth, 0, "„ZAKUP ” i stawka: 0, 5, 8, 23"},
    {"VAT", 'N', 1, 0, "kod stawki: 1 – 23%, 2 – 8%, 8 – 5%, 3 – 0%"},
    {"VAS", 'N', 2, 0, "stawka wyliczona z podatku i netto: 0, 5, 8 lub 23"},
    {"CZO", 'C', 1, 0, "„1”"},
    {"REK", 'N', kCounterWidth, 0, "numer wiersza dowodu w B5ZAEX (REC)"},
    {"REC", 'N', kCounterWidth, 0, "numer wiersza stawki, od 1"},
    {"ILO", 'N', 12, 3, "1,0 (zwrot: 0,0)"},
    {"CEN", 'N', kAmountWidth, 2, "netto (zwrot: 0)"},
    {"CEB", 'N', kAmountWidth, 2, "brutto (zwrot: 0)"},
    {"WAN", 'N', kAmountWidth, 2, "netto (zwrot: 0)"},
    {"WAV", 'N', kAmountWidth, 2, "podatek (zwrot: 0)"},
    {"WAB", 'N', kAmountWidth, 2, "brutto (zwrot: 0)"},
    {"ILK", 'N', 12, 3, "-1,0 (zwrot: puste)"},
    {"KRN", 'N', kAmountWidth, 2, "zwrot: netto (inaczej 0)"},
    {"KRV", 'N', kAmountWidth, 2, "zwrot: podatek (inaczej 0)"},
    {"WAL", 'C', 3, 0, "„PLN”"},
    {"KVA", 'N', 10, 4, "1,0"},
    {"KKS", 'N', 10, 4, "1,0"},
    {"RE3", 'C', 1, 0, "„N”"},
};

constexpr std::array<BuchalterTable, 4> kTables = {{
    {kBuchalterSales, "rejestr sprzedaży: wiersz na każdy dowód sprzedaży", kSalesFields},
    {kBuchalterSaleLines, "stawki sprzedaży: wiersz na każdą niezerową stawkę dowodu", kSaleLineFields},
    {kBuchalterPurchases, "rejestr zakupu: wiersz na każdy dowód zakupu", kPurchaseFields},
    {kBuchalterPurchaseLines, "stawka zakupu: wiersz na każdy dowód zakupu", kPurchaseLineFields},
}};
// clang-format on

tables::FieldKind KindOf(char type) {
  switch (type) {
    case 'N': return tables::FieldKind::Number;
    case 'D': return tables::FieldKind::Date;
    default: return tables::FieldKind::Text;
  }
}

}  // namespace

std::span<const BuchalterTable> BuchalterTables() { return kTables; }

const BuchalterTable& BuchalterTableOf(const std::string& base) {
  for (const BuchalterTable& t : kTables) {
    if (base == t.base) return t;
  }
  throw Error(Format("Nieznana tabela programu Buchalter: %s", base.c_str()));
}

std::vector<tables::FieldDef> BuchalterFieldDefs(const BuchalterTable& table) {
  std::vector<tables::FieldDef> defs;
  for (const BuchalterField& f : table.fields) {
    defs.push_back({f.name, KindOf(f.type), f.type, f.width, f.decimals});
  }
  return defs;
}

}  // namespace kx::convert
