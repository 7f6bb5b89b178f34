// JPK_V7M records into the four Buchalter import tables: every field of every
// table for each kind of record, the counters across registers, the errors
// (nothing is left in the output folder after one), the templates, the
// Mazovia letters, and a read-back with the independent readers dbfread and
// python-dbf.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "convert/buchalter.h"
#include "convert/buchalter_tables.h"
#include "convert/convert.h"
#include "convert/mazovia.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "platform/decimal_text.h"
#include "platform/error.h"
#include "platform/tables/codepage.h"
#include "platform/tables/dbase_reader.h"
#include "platform/tables/dbase_writer.h"
#include "platform/temp_file.h"
#include "platform/xml/xml_document.h"
#include "support/scripted_user_port.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"
#include "fixtures/v7m_fixture.h"

namespace fs = std::filesystem;
using kx::convert::BuchalterCounts;
using kx::tables::Value;
using nlohmann::json;

namespace {

// ---------------------------------------------------------------- records

struct SaleRec {
  std::string document = "FV 1/02/2026";
  std::string name = "Sklep Pod Lipami";
  std::string nip = "5260001246";
  std::string issued = "2026-02-05";
  std::string sold;                                      // DataSprzedazy; none when empty
  std::string ksef;                                      // NrKSeF in place of DI
  std::string tail = "<K_19>100</K_19><K_20>23</K_20>";  // type, markers, amounts
};

std::string SaleXml(int lp, const SaleRec& r) {
  return "<SprzedazWiersz><LpSprzedazy>" + std::to_string(lp) + "</LpSprzedazy><NrKontrahenta>" + r.nip +
         "</NrKontrahenta><NazwaKontrahenta>" + r.name + "</NazwaKontrahenta><DowodSprzedazy>" + r.document +
         "</DowodSprzedazy><DataWystawienia>" + r.issued + "</DataWystawienia>" +
         (r.sold.empty() ? "" : "<DataSprzedazy>" + r.sold + "</DataSprzedazy>") +
         (r.ksef.empty() ? "<DI>1</DI>" : "<NrKSeF>" + r.ksef + "</NrKSeF>") + r.tail + "</SprzedazWiersz>";
}

struct PurchaseRec {
  std::string document = "FZ 1/2026";
  std::string name = "Hurtownia Żuraw";
  std::string nip = "7270120002";
  std::string bought = "2026-02-03";
  std::string received;  // DataWplywu; none when empty
  std::string ksef;
  std::string tail = "<K_42>100</K_42><K_43>23</K_43>";
};

std::string PurchaseXml(int lp, const PurchaseRec& r) {
  return "<ZakupWiersz><LpZakupu>" + std::to_string(lp) + "</LpZakupu><NrDostawcy>" + r.nip +
         "</NrDostawcy><NazwaDostawcy>" + r.name + "</NazwaDostawcy><DowodZakupu>" + r.document +
         "</DowodZakupu><DataZakupu>" + r.bought + "</DataZakupu>" +
         (r.received.empty() ? "" : "<DataWplywu>" + r.received + "</DataWplywu>") +
         (r.ksef.empty() ? "<DI>1</DI>" : "<NrKSeF>" + r.ksef + "</NrKSeF>") + r.tail + "</ZakupWiersz>";
}

std::string Document(const std::vector<SaleRec>& sales, const std::vector<PurchaseRec>& purchases) {
  std::string ewidencja;
  for (size_t k = 0; k < sales.size(); ++k) ewidencja += SaleXml(static_cast<int>(k + 1), sales[k]);
  ewidencja += kxtest::SaleCtrl(static_cast<int>(sales.size()), "0");
  for (size_t k = 0; k < purchases.size(); ++k) ewidencja += PurchaseXml(static_cast<int>(k + 1), purchases[k]);
  ewidencja += kxtest::PurchaseCtrl(static_cast<int>(purchases.size()), "0");
  return kxtest::V7MFile(ewidencja);
}

// ---------------------------------------------------------------- rows

// A row as field name -> value text: texts as they stand, numbers in their
// shortest decimal form, dates yyyy-mm-dd, an empty number or date "-".
using Row = std::map<std::string, std::string>;
constexpr const char* kEmpty = "-";

Row With(Row row, const Row& changes) {
  for (const auto& [field, value] : changes) row[field] = value;
  return row;
}

// The rows of the default records: a 23 % sale of 100 and a 23 % purchase of 100.
const Row kSaleRow = {
    {"NKO", "0"},
    {"WER", "T"},
    {"KSF", ""},
    {"STV", "T"},
    {"TTR", "N"},
    {"STM", "1"},
    {"ANU", "N"},
    {"TYV", "1"},
    {"PRE", "FV"},
    {"NRV", "1"},
    {"POS", "02/2026"},
    {"DAW", "2026-02-05"},
    {"DAS", "2026-02-05"},
    {"DAV", "2026-02-05"},
    {"KNA", "SKLEP POD LIPAMI"},
    {"NA1", "SKLEP POD LIPAMI"},
    {"NA2", ""},
    {"KRA", "POLSKA"},
    {"NIP", "5260001246"},
    {"PLA", "INNA"},
    {"DPL", "2026-02-05"},
    {"NET", "100"},
    {"VAT", "23"},
    {"BRU", "123"},
    {"KRN", "0"},
    {"KRV", "0"},
    {"OP1", "SPRZEDAZ"},
    {"REC", "1"},
    {"AKT", "0"},
    {"TRY", "1"},
    {"TRK", "1"},
    {"OSM", "FV 1/02/2026"},
    {"TYB", "1"},
    {"WAL", "PLN"},
    {"KVA", "1"},
    {"NKV", "      N"},
    {"NKK", ""},
    {"KKS", "1"},
    {"RE4", "N"},
};

const Row kSaleLineRow = {
    {"STV", "N"},     {"STM", "1"},       {"CSS", "T"},          {"TYV", "1"},           {"PRE", "FV"},
    {"NRV", "1"},     {"POS", "02/2026"}, {"DAW", "2026-02-05"}, {"DAV", "2026-02-05"},  {"KON", "0"},
    {"TYP", "1"},     {"RYT", "3"},       {"RYS", "3"},          {"NA1", "SPRZEDAZ 23"}, {"ILO", "1"},
    {"RAS", "0"},     {"CNB", "100"},     {"CBB", "123"},        {"CNR", "100"},         {"CBR", "123"},
    {"WNE", "100"},   {"WAV", "23"},      {"WAB", "123"},        {"KRN", "0"},           {"KRV", "0"},
    {"KILO", kEmpty}, {"KCNB", kEmpty},   {"KCBB", kEmpty},      {"KCNR", kEmpty},       {"KCBR", kEmpty},
    {"KVAT", kEmpty}, {"KVAS", kEmpty},   {"KWAV", kEmpty},      {"KWAB", kEmpty},       {"VAT", "1"},
    {"VAS", "23"},    {"REK", "1"},       {"REC", "1"},          {"ZRP", "1"},           {"STA", "T"},
    {"WAL", "PLN"},   {"KVA", "1"},       {"KKS", "1"},
};

const Row kPurchaseRow = {
    {"KSF", ""},
    {"TTR", "N"},
    {"STM", "1"},
    {"ANU", "N"},
    {"TYV", "1"},
    {"NRV", "FZ 1/2026"},
    {"DAV", "2026-02-03"},
    {"DZK", "2026-02-03"},
    {"KDO", "HURTOWNIA ŻURAW"},
    {"NA1", "HURTOWNIA ŻURAW"},
    {"NA2", ""},
    {"KRA", "POLSKA"},
    {"NIP", "7270120002"},
    {"NET", "100"},
    {"VAT", "23"},
    {"BRU", "123"},
    {"OP1", "ZAKUP TH"},
    {"KRN", kEmpty},
    {"KRV", kEmpty},
    {"TYM", kEmpty},
    {"PLA", "INNA"},
    {"DPL", "2026-02-03"},
    {"REC", "1"},
    {"AKT", "0"},
    {"TRY", "1"},
    {"TRK", "1"},
    {"ZAP", "N"},
    {"KZA", "0"},
    {"DAM", "2026-02-03"},
    {"STA", "T"},
    {"WAL", "PLN"},
    {"KVA", "1"},
    {"KKS", "1"},
    {"TKO", "1"},
};

const Row kPurchaseLineRow = {
    {"STV", "N"},   {"STM", "1"},   {"ANU", "N"},  {"TYV", "1"},   {"NRV", "FZ 1/2026"}, {"DAV", "2026-02-03"},
    {"KON", "0"},   {"TYW", "1"},   {"TYZ", "1"},  {"TYS", "1"},   {"NA1", "ZAKUP 23"},  {"VAT", "1"},
    {"VAS", "23"},  {"CZO", "1"},   {"REK", "1"},  {"REC", "1"},   {"ILO", "1"},         {"CEN", "100"},
    {"CEB", "123"}, {"WAN", "100"}, {"WAV", "23"}, {"WAB", "123"}, {"ILK", "-1"},        {"KRN", "0"},
    {"KRV", "0"},   {"WAL", "PLN"}, {"KVA", "1"},  {"KKS", "1"},   {"RE3", "N"},
};

std::string ValueText(const Value& v) {
  switch (v.type) {
    case Value::Type::Null: return kEmpty;
    case Value::Type::Text: return v.text;
    case Value::Type::Int: return std::to_string(v.i);
    case Value::Type::Float: return kx::DecimalText(v.f);
    case Value::Type::Date: return kx::tables::DateText(v.date);
    default: return "?";
  }
}

// The rows of a table as our reader sees them (the fixtures hold no
// characters but ASCII and Polish letters, which read right as Mazovia).
std::vector<Row> ReadRows(const fs::path& table) {
  kx::tables::OpenOptions options;
  options.forceCodePage = kx::tables::kMazoviaCodePage;
  auto t = kx::tables::OpenDbaseTable(table, options);
  std::vector<Row> rows;
  for (size_t r = 0; r < t->RecordCount(); ++r) {
    Row row;
    for (size_t k = 0; k < t->Fields().size(); ++k) row[t->Fields()[k].name] = ValueText(t->Get(r, k));
    rows.push_back(row);
  }
  return rows;
}

// Every field of the row as expected (the expected row names every field of the table).
void ExpectRow(const Row& actual, const Row& expected, const std::string& where) {
  std::set<std::string> actualFields, expectedFields;
  for (const auto& [field, value] : actual) actualFields.insert(field);
  for (const auto& [field, value] : expected) expectedFields.insert(field);
  EXPECT_EQ(actualFields, expectedFields) << where;
  for (const auto& [field, value] : expected) {
    auto it = actual.find(field);
    if (it != actual.end()) {
      EXPECT_EQ(it->second, value) << where << ", pole " << field;
    }
  }
}

// ---------------------------------------------------------------- the run

struct Conversion {
  kxtest::ScriptedUserPort port;
  kx::AppContext ctx{port};
  kxtest::TempDir dir;
  fs::path out = dir.Path() / "out";

  Conversion() {
    fs::create_directories(out);
    // An empty run folder: the templates come from the source tree's data folder.
    ctx.RunDir = (dir.Path() / "run").string() + "/";
    ctx.CutDict = {"Przedsi[eę]biorstw[oa]", "Produkcyjn[eoay]", "Handlow[eoay]", "Us[lł]ugow[eoay]"};
  }

  BuchalterCounts Convert(const std::string& xml) {
    kx::StagedFiles staged;
    auto jpk = kx::jpk::v7m::GetJPKRoot(kx::xml::XmlDocument::FromString(xml));
    BuchalterCounts counts = kx::convert::ConvertV7MToBuchalter(ctx, jpk, out, staged);
    staged.Commit();
    return counts;
  }

  // The message of a failed conversion ("" when it succeeded); nothing committed.
  std::string Failure(const std::string& xml) {
    try {
      kx::StagedFiles staged;
      auto jpk = kx::jpk::v7m::GetJPKRoot(kx::xml::XmlDocument::FromString(xml));
      kx::convert::ConvertV7MToBuchalter(ctx, jpk, out, staged);
    } catch (const kx::Error& e) {
      return e.what();
    }
    return "";
  }

  std::vector<Row> Rows(const std::string& base) const { return ReadRows(out / (base + "26.dbf")); }

  std::map<std::string, std::string> OutputFiles() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(out)) {
      files[entry.path().filename().string()] = kxtest::ReadFile(entry.path());
    }
    return files;
  }
};

// ---------------------------------------------------------------- sales

struct SaleCase {
  const char* what;
  SaleRec record;
  Row changes;                   // to kSaleRow
  std::vector<Row> lineChanges;  // to kSaleLineRow, one per expected line
};

std::vector<SaleCase> SaleCases() {
  SaleRec refund;
  refund.tail = "<K_19>-100</K_19><K_20>-23</K_20>";
  SaleRec groups;
  groups.tail =
      "<K_10>10</K_10><K_11>20</K_11><K_13>30</K_13><K_15>100</K_15><K_16>5</K_16><K_17>200</K_17>"
      "<K_18>16</K_18><K_19>0</K_19><K_20>0</K_20>";
  SaleRec taxOnly;
  taxOnly.tail = "<K_19>0</K_19><K_20>5</K_20>";
  SaleRec gtu;
  gtu.tail = "<GTU_01>1</GTU_01><GTU_12>1</GTU_12><K_19>100</K_19><K_20>23</K_20>";
  SaleRec fiscal;
  fiscal.document = "Raport fiskalny okresowy";
  fiscal.tail = "<TypDokumentu>RO</TypDokumentu><K_19>100</K_19><K_20>23</K_20>";
  SaleRec fp;
  fp.tail = "<TypDokumentu>FP</TypDokumentu><K_19>100</K_19><K_20>23</K_20>";
  SaleRec internal;
  internal.tail = "<TypDokumentu>WEW</TypDokumentu><K_19>100</K_19><K_20>23</K_20>";
  SaleRec internalRefund;
  internalRefund.tail = "<TypDokumentu>WEW</TypDokumentu><K_19>-100</K_19><K_20>-23</K_20>";
  SaleRec dated;
  dated.sold = "2026-01-30";
  dated.ksef = "5260001246-20260205-0A1B2C-3D4E5F-6A";
  SaleRec noDigits;
  noDigits.document = "PARAGONY";
  SaleRec longName;
  longName.name =
      "Przedsiębiorstwo Produkcyjno-Handlowo-Usługowe Łąkowski i Wspólnicy Spółka z ograniczoną "
      "odpowiedzialnością";

  const Row refundLine = {{"TYV", "3"},  {"CNB", "0"},     {"CBB", "0"},     {"CNR", "0"},     {"CBR", "0"},
                          {"WNE", "0"},  {"WAV", "0"},     {"WAB", "0"},     {"KRN", "-100"},  {"KRV", "-23"},
                          {"KILO", "1"}, {"KCNB", "-100"}, {"KCBB", "-123"}, {"KCNR", "-100"}, {"KCBR", "-123"},
                          {"KVAT", "1"}, {"KVAS", "23"},   {"KWAV", "-23"},  {"KWAB", "-123"}};
  const Row refundRow = {{"TYV", "3"},    {"NET", "0"},   {"VAT", "0"},    {"BRU", "0"},
                         {"KRN", "-100"}, {"KRV", "-23"}, {"OP1", "ZWROT"}};
  auto net = [](const char* rate, const char* code, const char* vas, const char* n, const char* t, const char* g,
                const char* rec) {
    return Row{{"NA1", std::string("SPRZEDAZ ") + rate},
               {"VAT", code},
               {"VAS", vas},
               {"CNB", n},
               {"CBB", g},
               {"CNR", n},
               {"CBR", g},
               {"WNE", n},
               {"WAV", t},
               {"WAB", g},
               {"REC", rec}};
  };
  return {
      {"sprzedaż 23%", {}, {}, {{}}},
      {"zwrot", refund, refundRow, {refundLine}},
      {"każda grupa stawek (zerowa pominięta)",
       groups,
       {{"NET", "360"}, {"VAT", "21"}, {"BRU", "381"}},
       {net("ZW", "4", "0", "10", "0", "10", "1"), net("0", "3", "0", "20", "0", "20", "2"),
        net("0", "3", "0", "30", "0", "30", "3"), net("5", "8", "5", "100", "5", "105", "4"),
        net("8", "2", "8", "200", "16", "216", "5")}},
      {"sam podatek", taxOnly, {{"NET", "0"}, {"VAT", "5"}, {"BRU", "5"}}, {net("23", "1", "23", "0", "5", "5", "1")}},
      {"GTU_01 i GTU_12", gtu, {{"NKV", ""}, {"NKK", "T          T"}}, {{}}},
      {"raport fiskalny",
       fiscal,
       {{"NKO", "1"}, {"TYV", "5"}, {"PRE", "FISK"}, {"NRV", "0"}, {"POS", ""}, {"OSM", "RAPORT FISKALNY"}},
       {{{"TYV", "5"}, {"PRE", "FISK"}, {"NRV", "0"}, {"POS", ""}}}},
      {"FP: zerowe kwoty rejestru, stawki zapisane",
       fp,
       {{"TYV", "9"}, {"NET", "0"}, {"VAT", "0"}, {"BRU", "0"}},
       {{{"TYV", "9"}}}},
      {"WEW", internal, {}, {{}}},
      {"WEW zwrot", internalRefund, refundRow, {refundLine}},
      {"data sprzedaży i numer KSeF",
       dated,
       {{"DAS", "2026-01-30"}, {"DAV", "2026-01-30"}, {"KSF", "5260001246-20260205-0A1B2C-3D4E5F-6A"}},
       {{{"DAV", "2026-01-30"}}}},
      {"numer bez cyfr",
       noDigits,
       {{"PRE", "PARAGONY"}, {"NRV", "0"}, {"POS", ""}, {"OSM", "PARAGONY"}},
       {{{"PRE", "PARAGONY"}, {"NRV", "0"}, {"POS", ""}}}},
      {"długa nazwa",
       longName,
       {{"KNA", "PPHU ŁĄKOWSKI I WSPÓLNICY SP.ZOO"},
        {"NA1", "PRZEDSIĘBIORSTWO PRODUKCYJNO-HANDLOWO-USŁUGOWE ŁĄKOWSKI I WSPÓLNICY"},
        {"NA2", "SPÓŁKA Z OGRANICZONĄ ODPOWIEDZIALNOŚCIĄ"}},
       {{}}},
  };
}

TEST(BuchalterSales, EveryFieldOfTheRegisterRowAndTheRateLines) {
  for (const SaleCase& c : SaleCases()) {
    Conversion run;
    const BuchalterCounts counts = run.Convert(Document({c.record}, {}));
    EXPECT_EQ(counts.sales, 1) << c.what;
    EXPECT_EQ(counts.saleLines, static_cast<int>(c.lineChanges.size())) << c.what;
    EXPECT_EQ(counts.purchases, 0) << c.what;
    const std::vector<Row> sales = run.Rows("B5SPEX");
    ASSERT_EQ(sales.size(), 1u) << c.what;
    ExpectRow(sales[0], With(kSaleRow, c.changes), c.what);
    const std::vector<Row> lines = run.Rows("B5ESEX");
    ASSERT_EQ(lines.size(), c.lineChanges.size()) << c.what;
    for (size_t k = 0; k < lines.size(); ++k) {
      ExpectRow(lines[k], With(kSaleLineRow, c.lineChanges[k]), std::string(c.what) + ", stawka " + std::to_string(k));
    }
    EXPECT_TRUE(run.Rows("B5ZAEX").empty()) << c.what;
    EXPECT_TRUE(run.Rows("B5EZEX").empty()) << c.what;
  }
}

// ---------------------------------------------------------------- purchases

struct PurchaseCase {
  const char* what;
  PurchaseRec record;
  Row changes;      // to kPurchaseRow
  Row lineChanges;  // to kPurchaseLineRow
};

std::vector<PurchaseCase> PurchaseCases() {
  auto rec = [](const std::string& tail) {
    PurchaseRec r;
    r.tail = tail;
    return r;
  };
  PurchaseRec fue = rec("<K_42>100</K_42><K_43>23</K_43>");
  fue.document = "Fue/2/2026";
  PurchaseRec received = rec("<K_42>100</K_42><K_43>23</K_43>");
  received.received = "2026-02-10";
  received.ksef = "7270120002-20260203-ABCDEF-012345-9F";
  auto rate = [](const char* na1, const char* code, const char* vas, const char* net, const char* tax,
                 const char* gross) {
    return Row{{"NA1", na1},   {"VAT", code}, {"VAS", vas}, {"CEN", net},
               {"CEB", gross}, {"WAN", net},  {"WAV", tax}, {"WAB", gross}};
  };
  return {
      {"23%", rec("<K_42>100</K_42><K_43>23</K_43>"), {}, {}},
      {"8%",
       rec("<K_42>100</K_42><K_43>8</K_43>"),
       {{"VAT", "8"}, {"BRU", "108"}},
       rate("ZAKUP 8", "2", "8", "100", "8", "108")},
      {"5% (środki trwałe)",
       rec("<K_40>100</K_40><K_41>5</K_41>"),
       {{"VAT", "5"}, {"BRU", "105"}},
       rate("ZAKUP 5", "8", "5", "100", "5", "105")},
      {"23,01% to 23%",
       rec("<K_42>100</K_42><K_43>23.01</K_43>"),
       {{"VAT", "23.01"}, {"BRU", "123.01"}},
       rate("ZAKUP 23", "1", "23", "100", "23.01", "123.01")},
      {"bez podatku",
       rec("<K_42>100</K_42><K_43>0</K_43>"),
       {{"VAT", "0"}, {"BRU", "100"}},
       rate("ZAKUP 0", "3", "0", "100", "0", "100")},
      {"podatek bez netto: 23%",
       rec("<K_42>0</K_42><K_43>10</K_43>"),
       {{"NET", "0"}, {"VAT", "10"}, {"BRU", "10"}},
       rate("ZAKUP 23", "1", "23", "0", "10", "10")},
      {"korekta podatku K_46 bez netto",
       rec("<K_46>-4.6</K_46>"),
       {{"TYV", "3"},
        {"NET", kEmpty},
        {"VAT", kEmpty},
        {"BRU", kEmpty},
        {"KRN", "0"},
        {"KRV", "-4.6"},
        {"OP1", "ZWROT"},
        {"TYM", "1"}},
       {{"TYV", "3"},
        {"ILO", "0"},
        {"CEN", "0"},
        {"CEB", "0"},
        {"WAN", "0"},
        {"WAV", "0"},
        {"WAB", "0"},
        {"ILK", kEmpty},
        {"KRN", "0"},
        {"KRV", "-4.6"}}},
      {"zwrot",
       rec("<K_42>-100</K_42><K_43>-8</K_43>"),
       {{"TYV", "3"},
        {"NET", kEmpty},
        {"VAT", kEmpty},
        {"BRU", kEmpty},
        {"KRN", "-100"},
        {"KRV", "-8"},
        {"OP1", "ZWROT"},
        {"TYM", "1"}},
       {{"TYV", "3"},
        {"NA1", "ZAKUP 8"},
        {"VAT", "2"},
        {"VAS", "8"},
        {"ILO", "0"},
        {"CEN", "0"},
        {"CEB", "0"},
        {"WAN", "0"},
        {"WAV", "0"},
        {"WAB", "0"},
        {"ILK", kEmpty},
        {"KRN", "-100"},
        {"KRV", "-8"}}},
      {"FUE", fue, {{"STM", "2"}, {"NRV", "Fue/2/2026"}}, {{"STM", "2"}, {"NRV", "Fue/2/2026"}}},
      {"data wpływu i KSeF",
       received,
       {{"DAV", "2026-02-10"}, {"DZK", "2026-02-10"}, {"KSF", "7270120002-20260203-ABCDEF-012345-9F"}},
       {{"DAV", "2026-02-10"}}},
  };
}

TEST(BuchalterPurchases, EveryFieldOfTheRegisterRowAndTheVatLine) {
  for (const PurchaseCase& c : PurchaseCases()) {
    Conversion run;
    const BuchalterCounts counts = run.Convert(Document({}, {c.record}));
    EXPECT_EQ(counts.sales, 0) << c.what;
    EXPECT_EQ(counts.purchases, 1) << c.what;
    EXPECT_EQ(counts.purchaseLines, 1) << c.what;
    const std::vector<Row> purchases = run.Rows("B5ZAEX");
    ASSERT_EQ(purchases.size(), 1u) << c.what;
    ExpectRow(purchases[0], With(kPurchaseRow, c.changes), c.what);
    const std::vector<Row> lines = run.Rows("B5EZEX");
    ASSERT_EQ(lines.size(), 1u) << c.what;
    ExpectRow(lines[0], With(kPurchaseLineRow, c.lineChanges), c.what);
  }
}

// ---------------------------------------------------------------- a whole file

TEST(BuchalterRun, CountersRunPerRegisterAndTablesAreNamedByTheYear) {
  SaleRec twoRates;
  twoRates.tail = "<K_17>100</K_17><K_18>8</K_18><K_19>100</K_19><K_20>23</K_20>";
  SaleRec exempt;
  exempt.document = "FV 2/02/2026";
  exempt.tail = "<K_10>50</K_10>";
  SaleRec zero;
  zero.document = "FV 3/02/2026";
  zero.tail = "<K_19>0</K_19><K_20>0</K_20>";
  PurchaseRec second;
  second.document = "FZ 2/2026";
  Conversion run;
  // A file from an earlier run is replaced by the new table as a whole.
  run.Convert(Document({twoRates, exempt, zero, twoRates}, {{}, {}, {}}));
  const BuchalterCounts counts = run.Convert(Document({twoRates, exempt, zero}, {{}, second}));
  EXPECT_EQ(counts.sales, 3);
  EXPECT_EQ(counts.saleLines, 3);
  EXPECT_EQ(counts.purchases, 2);
  EXPECT_EQ(counts.purchaseLines, 2);

  std::set<std::string> names;
  for (const auto& [name, bytes] : run.OutputFiles()) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"B5SPEX26.dbf", "B5ESEX26.dbf", "B5ZAEX26.dbf", "B5EZEX26.dbf"}));

  const std::vector<Row> sales = run.Rows("B5SPEX");
  ASSERT_EQ(sales.size(), 3u);
  for (size_t k = 0; k < 3; ++k) EXPECT_EQ(sales[k].at("REC"), std::to_string(k + 1));
  const std::vector<Row> lines = run.Rows("B5ESEX");
  ASSERT_EQ(lines.size(), 3u);
  const std::pair<std::string, std::string> saleLineNumbers[] = {{"1", "1"}, {"1", "2"}, {"2", "3"}};
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(lines[k].at("REK"), saleLineNumbers[k].first) << k;
    EXPECT_EQ(lines[k].at("REC"), saleLineNumbers[k].second) << k;
  }
  EXPECT_EQ(lines[0].at("NA1"), "SPRZEDAZ 8");
  EXPECT_EQ(lines[1].at("NA1"), "SPRZEDAZ 23");
  EXPECT_EQ(lines[2].at("NRV"), "2");

  // Purchases count from 1 again, whatever the number of sales records and lines.
  const std::vector<Row> purchases = run.Rows("B5ZAEX");
  ASSERT_EQ(purchases.size(), 2u);
  EXPECT_EQ(purchases[1].at("REC"), "2");
  EXPECT_EQ(purchases[1].at("NRV"), "FZ 2/2026");
  const std::vector<Row> purchaseLines = run.Rows("B5EZEX");
  ASSERT_EQ(purchaseLines.size(), 2u);
  EXPECT_EQ(purchaseLines[1].at("REK"), "2");
  EXPECT_EQ(purchaseLines[1].at("REC"), "2");
}

// Rows are made on a second thread once a file holds more records than go
// over together: numbering, order and the purchase counters hold across.
TEST(BuchalterRun, LongFileKeepsEveryRowInOrder) {
  SaleRec twoRates;
  twoRates.tail = "<K_17>100</K_17><K_18>8</K_18><K_19>100</K_19><K_20>23</K_20>";
  SaleRec exempt;
  exempt.tail = "<K_10>50</K_10>";
  std::vector<SaleRec> sales(2000);
  for (size_t k = 0; k < sales.size(); ++k) {
    sales[k] = k % 2 ? exempt : twoRates;
    sales[k].document = "FV " + std::to_string(k + 1) + "/02/2026";
  }
  std::vector<PurchaseRec> purchases(1100);
  for (size_t k = 0; k < purchases.size(); ++k) purchases[k].document = "FZ " + std::to_string(k + 1) + "/2026";
  Conversion run;
  const BuchalterCounts counts = run.Convert(Document(sales, purchases));
  EXPECT_EQ(counts.sales, 2000);
  EXPECT_EQ(counts.saleLines, 3000);
  EXPECT_EQ(counts.purchases, 1100);
  EXPECT_EQ(counts.purchaseLines, 1100);

  const std::vector<Row> saleRows = run.Rows("B5SPEX");
  ASSERT_EQ(saleRows.size(), 2000u);
  for (size_t k = 0; k < saleRows.size(); ++k) {
    ASSERT_EQ(saleRows[k].at("REC"), std::to_string(k + 1)) << k;
    ASSERT_EQ(saleRows[k].at("NRV"), std::to_string(k + 1)) << k;
  }
  const std::vector<Row> lines = run.Rows("B5ESEX");
  ASSERT_EQ(lines.size(), 3000u);
  size_t line = 0;
  for (size_t k = 0; k < sales.size(); ++k) {
    for (const char* rate : k % 2 ? std::vector<const char*>{"ZW"} : std::vector<const char*>{"8", "23"}) {
      ASSERT_EQ(lines[line].at("REK"), std::to_string(k + 1)) << line;
      ASSERT_EQ(lines[line].at("REC"), std::to_string(line + 1)) << line;
      ASSERT_EQ(lines[line].at("NA1"), std::string("SPRZEDAZ ") + rate) << line;
      ++line;
    }
  }
  const std::vector<Row> purchaseRows = run.Rows("B5ZAEX");
  const std::vector<Row> purchaseLines = run.Rows("B5EZEX");
  ASSERT_EQ(purchaseRows.size(), 1100u);
  ASSERT_EQ(purchaseLines.size(), 1100u);
  for (size_t k = 0; k < purchaseRows.size(); ++k) {
    const std::string document = "FZ " + std::to_string(k + 1) + "/2026";
    ASSERT_EQ(purchaseRows[k].at("REC"), std::to_string(k + 1)) << k;
    ASSERT_EQ(purchaseRows[k].at("NRV"), document) << k;
    ASSERT_EQ(purchaseLines[k].at("REK"), std::to_string(k + 1)) << k;
    ASSERT_EQ(purchaseLines[k].at("NRV"), document) << k;
  }
}

TEST(BuchalterRun, RecordsEndAtTheFirstElementWithoutItsNumber) {
  Conversion run;
  // A sale record without LpSprzedazy ends the sales; the purchases still follow.
  std::string ewidencja = SaleXml(1, {}) + "<SprzedazWiersz><NrKontrahenta>1</NrKontrahenta></SprzedazWiersz>" +
                          SaleXml(3, {}) + kxtest::SaleCtrl(2, "0") + PurchaseXml(1, {}) + kxtest::PurchaseCtrl(1, "0");
  const BuchalterCounts counts = run.Convert(kxtest::V7MFile(ewidencja));
  EXPECT_EQ(counts.sales, 1);
  EXPECT_EQ(counts.purchases, 1);
}

// ---------------------------------------------------------------- errors

struct ErrorCase {
  const char* what;
  std::string file;
  std::vector<std::string> inMessage;
};

std::vector<ErrorCase> ErrorCases() {
  auto sale = [](const std::string& tail) {
    SaleRec r;
    r.tail = tail;
    return r;
  };
  PurchaseRec longDocument;
  longDocument.document = std::string(255, 'F');
  SaleRec longShortName;
  longShortName.name = std::string(200, 'a') + " " + std::string(60, 'b');
  SaleRec longRest;  // the short name fits (leading words abbreviated), the rest of the name does not
  longRest.name.clear();
  for (int k = 0; k < 8; ++k) longRest.name += "Przedsiębiorstwo ";
  for (int k = 0; k < 40; ++k) longRest.name += "Nowak ";
  SaleRec bigNumber;
  bigNumber.document = "FV 1234567890123456789";
  SaleRec badDate;
  badDate.issued = "2026-02-30";
  PurchaseRec noDate;
  noDate.bought = "";
  return {
      {"brak Ewidencji", kxtest::V7MFile("", "", false), {"Brak elementu \"Ewidencja\" w pliku JPK"}},
      {"numer dowodu zakupu dłuższy niż pole",
       Document({}, {{}, longDocument}),
       {"NRV", "B5ZAEX26.dbf", "znaków: 255", "szerokość pola: 254", "Wiersz zakupu nr 2"}},
      {"nazwa skrócona dłuższa niż pole",
       Document({{}, longShortName}, {}),
       {"KNA", "B5SPEX26.dbf", "Wiersz sprzedaży nr 2"}},
      {"reszta nazwy dłuższa niż pole NA2", Document({longRest}, {}), {"NA2", "B5SPEX26.dbf", "Wiersz sprzedaży nr 1"}},
      {"numer dokumentu za duży dla pola",
       Document({bigNumber}, {}),
       {"1234567890123456789", "NRV", "B5SPEX26.dbf", "Wiersz sprzedaży nr 1"}},
      {"netto bez elementu podatku",
       Document({sale("<K_19>100</K_19>")}, {}),
       {"Brak elementu K_20 przy elemencie K_19", "Wiersz sprzedaży nr 1, dowód FV 1/02/2026"}},
      {"pusty element kwoty", Document({sale("<K_17></K_17><K_18>8</K_18>")}, {}), {"Pusty element K_17"}},
      {"kwota, która nie jest liczbą",
       Document({sale("<K_19>sto</K_19><K_20>23</K_20>")}, {}),
       {"\"sto\" nie jest poprawną liczbą", "Wiersz sprzedaży nr 1"}},
      {"zła data", Document({badDate}, {}), {"2026-02-30", "DAW", "B5SPEX26.dbf"}},
      {"brak daty zakupu", Document({}, {noDate}), {"Brak daty", "DAV", "B5ZAEX26.dbf", "Wiersz zakupu nr 1"}},
  };
}

TEST(BuchalterErrors, MessageNamesWhatFailedAndNothingIsLeftInTheFolder) {
  for (const ErrorCase& c : ErrorCases()) {
    Conversion run;
    const std::string old = "tabela z poprzedniego roku";
    std::ofstream(run.out / "B5SPEX26.dbf", std::ios::binary) << old;
    const std::string message = run.Failure(c.file);
    ASSERT_FALSE(message.empty()) << c.what;
    for (const std::string& part : c.inMessage) {
      EXPECT_NE(message.find(part), std::string::npos) << c.what << ": " << message << "\nbrak: " << part;
    }
    // The conversion is not committed: the folder holds only what it held.
    EXPECT_EQ(run.OutputFiles(), (std::map<std::string, std::string>{{"B5SPEX26.dbf", old}})) << c.what;
  }
}

// Far into a long file the rows are made on a second thread: the failure is
// still the first one met in the order of the records and their fields.
TEST(BuchalterErrors, FirstFailureOfALongFileInRecordOrder) {
  auto sale = [](const std::string& document, const std::string& issued, const std::string& tail) {
    SaleRec r;
    r.document = document;
    r.issued = issued;
    r.tail = tail;
    return r;
  };
  const std::string good = "<K_19>100</K_19><K_20>23</K_20>";
  const std::string noTax = "<K_19>100</K_19>";
  struct LateCase {
    const char* what;
    std::vector<SaleRec> late;  // after 1500 good sales
    std::vector<PurchaseRec> purchases;
    std::vector<std::string> inMessage;
    std::vector<std::string> notInMessage;
  };
  PurchaseRec badPurchase;
  badPurchase.document = "FZ ZLA";
  badPurchase.bought = "2026-13-01";
  const std::vector<LateCase> cases = {
      {"kwota, która nie jest liczbą",
       {sale("FV A", "2026-02-05", "<K_19>sto</K_19><K_20>23</K_20>")},
       {},
       {"\"sto\" nie jest poprawną liczbą", "Wiersz sprzedaży nr 1501, dowód FV A"},
       {}},
      {"zła data", {sale("FV B", "2026-02-30", good)}, {}, {"DAW", "Wiersz sprzedaży nr 1501, dowód FV B"}, {}},
      // The register row comes before the rate lines: its date fails first.
      {"zła data i brak podatku w jednym wierszu",
       {sale("FV C", "2026-02-30", noTax)},
       {},
       {"DAW", "Wiersz sprzedaży nr 1501"},
       {"K_20"}},
      {"brak podatku, a w następnym wierszu zła data",
       {sale("FV D", "2026-02-05", noTax), sale("FV E", "2026-02-30", good)},
       {},
       {"Brak elementu K_20 przy elemencie K_19", "Wiersz sprzedaży nr 1501, dowód FV D"},
       {"DAW", "FV E"}},
      {"zła data zakupu po wszystkich sprzedażach",
       {},
       {{}, badPurchase, {}},
       {"DAV", "B5ZAEX26.dbf", "Wiersz zakupu nr 2, dowód FZ ZLA"},
       {}},
  };
  for (const LateCase& c : cases) {
    std::vector<SaleRec> sales(1500);
    for (size_t k = 0; k < sales.size(); ++k) sales[k].document = "FV " + std::to_string(k + 1);
    sales.insert(sales.end(), c.late.begin(), c.late.end());
    sales.push_back(sale("FV Z", "2026-02-31", good));  // never reached
    if (!c.purchases.empty()) sales.pop_back();
    Conversion run;
    const std::string message = run.Failure(Document(sales, c.purchases));
    ASSERT_FALSE(message.empty()) << c.what;
    for (const std::string& part : c.inMessage) {
      EXPECT_NE(message.find(part), std::string::npos) << c.what << ": " << message << "\nbrak: " << part;
    }
    for (const std::string& part : c.notInMessage) {
      EXPECT_EQ(message.find(part), std::string::npos) << c.what << ": " << message << "\nzbędne: " << part;
    }
    EXPECT_EQ(message.find("FV Z"), std::string::npos) << c.what << ": " << message;
    EXPECT_TRUE(run.OutputFiles().empty()) << c.what;
  }
}

TEST(BuchalterErrors, InvalidDictionaryEntryStopsBeforeAnyTable) {
  Conversion run;
  run.ctx.CutDict = {"Sklep(", "Handlow[eoay]"};
  const std::string message = run.Failure(Document({{}}, {}));
  EXPECT_NE(message.find("CutDict.txt"), std::string::npos) << message;
  EXPECT_NE(message.find("Sklep("), std::string::npos) << message;
  EXPECT_TRUE(run.OutputFiles().empty());
}

// ---------------------------------------------------------------- templates

TEST(BuchalterTemplates, CommittedTemplatesHoldTheTableOfFields) {
  kxtest::TempDir dir;
  for (const kx::convert::BuchalterTable& table : kx::convert::BuchalterTables()) {
    const fs::path committed =
        kxtest::SourceDir() / "data" / "Buchalter" / "Empty" / (std::string(table.base) + ".dbf");
    ASSERT_TRUE(fs::exists(committed)) << committed;
    // What the generator makes now, apart from the date of the last change in the header.
    kx::tables::DbaseCreateOptions options;
    options.version = 0x03;
    options.codePage = kx::convert::kBuchalterCodePage;
    const fs::path fresh = dir.Path() / (std::string(table.base) + ".dbf");
    kx::tables::CreateDbaseTable(fresh, kx::convert::BuchalterFieldDefs(table), {}, options);
    std::string a = kxtest::ReadFile(committed);
    std::string b = kxtest::ReadFile(fresh);
    ASSERT_EQ(a.size(), b.size()) << table.base;
    a.replace(1, 3, "\0\0\0", 3);
    b.replace(1, 3, "\0\0\0", 3);
    EXPECT_TRUE(a == b) << table.base << ": szablon różni się od tabeli pól; uruchom gen_buchalter_templates";
    // An empty dBase III table with the fields of the table, none twice.
    auto t = kx::tables::OpenDbaseTable(committed);
    EXPECT_EQ(t->RecordCount(), 0u);
    std::set<std::string> names;
    for (const auto& f : t->Fields()) EXPECT_TRUE(names.insert(f.name).second) << table.base << " " << f.name;
    EXPECT_EQ(t->Fields().size(), table.fields.size()) << table.base;
  }
}

TEST(BuchalterTemplates, MissingTemplateNamesTheFileAndTheFoldersSearched) {
  kxtest::TempDir dir;
  const fs::path first = dir.Path() / "run";
  const fs::path second = dir.Path() / "share";
  fs::create_directories(second / "Buchalter" / "Empty");
  try {
    kx::convert::FindBuchalterTemplate({first, second}, "B5ZAEX");
    FAIL() << "no error";
  } catch (const kx::Error& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("Buchalter/Empty/B5ZAEX.dbf"), std::string::npos) << message;
    EXPECT_NE(message.find(first.string()), std::string::npos) << message;
    EXPECT_NE(message.find(second.string()), std::string::npos) << message;
  }
  // The first folder that has it wins.
  const fs::path found = second / "Buchalter" / "Empty" / "B5ZAEX.dbf";
  std::ofstream(found) << "x";
  EXPECT_EQ(kx::convert::FindBuchalterTemplate({first, second}, "B5ZAEX"), found);
}

TEST(BuchalterTemplates, TemplateInTheRunFolderIsUsedAndMustHoldEveryField) {
  Conversion run;
  // A template beside the configuration file comes first; this one lacks TKO.
  const kx::convert::BuchalterTable& layout = kx::convert::BuchalterTableOf("B5ZAEX");
  std::vector<kx::tables::FieldDef> fields = kx::convert::BuchalterFieldDefs(layout);
  fields.pop_back();
  const fs::path folder = fs::path(run.ctx.RunDir) / "Buchalter" / "Empty";
  fs::create_directories(folder);
  kx::tables::CreateDbaseTable(folder / "B5ZAEX.dbf", fields, {});
  const std::string message = run.Failure(Document({{}}, {{}}));
  EXPECT_NE(message.find("nie ma pola TKO"), std::string::npos) << message;
  EXPECT_NE(message.find((folder / "B5ZAEX.dbf").string()), std::string::npos) << message;
  EXPECT_TRUE(run.OutputFiles().empty());
}

// ---------------------------------------------------------------- Mazovia letters

TEST(BuchalterText, PolishLettersInMazoviaOthersInWindows1250) {
  const std::pair<const char*, unsigned char> letters[] = {
      {"Ą", 0x8F}, {"Ć", 0x95}, {"Ę", 0x90}, {"Ł", 0x9C}, {"Ń", 0xA5}, {"Ó", 0xA3},
      {"Ś", 0x98}, {"Ź", 0xA0}, {"Ż", 0xA1}, {"ą", 0x86}, {"ć", 0x8D}, {"ę", 0x91},
      {"ł", 0x92}, {"ń", 0xA4}, {"ó", 0xA2}, {"ś", 0x9E}, {"ź", 0xA6}, {"ż", 0xA7},
  };
  std::set<unsigned char> letterCodes;
  for (const auto& [letter, code] : letters) {
    EXPECT_EQ(kx::convert::MazoviaLettersText(letter), std::string(1, static_cast<char>(code))) << letter;
    letterCodes.insert(code);
  }
  const std::pair<const char*, const char*> others[] = {
      {"Zażółć gęślą jaźń", "Za\xA7\xA2\x92\x8D g\x91\x9El\x86 ja\xA6\xA4"},
      {"„Pod Lipą” – é ü ß €", "\x84Pod Lip\x86\x94 \x96 \xE9 \xFC \xDF \x80"},
      // Characters whose Windows-1250 code is a letter's stored code.
      {"D’Artagnan ‘x’", "D'Artagnan 'x'"},
      {"a\u00A0b", "a b"},
      {"§ ž Ť • ¤ ˇ ˘ ¦ †", "? ? ? ? ? ? ? ? ?"},
      // Not in Windows-1250.
      {"Ω 😀", "? ?"},
  };
  for (const auto& [text, bytes] : others) EXPECT_EQ(kx::convert::MazoviaLettersText(text), bytes) << text;
  // No other character of Windows-1250 is stored as a letter's code.
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string character = kx::tables::ToUtf8(std::string(1, static_cast<char>(b)), 1250);
    if (character == "\xEF\xBF\xBD") continue;  // no character at this code
    const std::string stored = kx::convert::MazoviaLettersText(character);
    ASSERT_EQ(stored.size(), 1u) << character;
    bool isLetter = false;
    for (const auto& [letter, code] : letters) isLetter = isLetter || character == letter;
    if (!isLetter) {
      EXPECT_EQ(letterCodes.count(static_cast<unsigned char>(stored[0])), 0u) << character;
    }
  }
}

// ---------------------------------------------------------------- independent readers

// Reads a table with dbfread or python-dbf, decoding text as the Buchalter
// tables store it: the 18 Polish letters by their Mazovia codes, every other
// byte as Windows-1250.
const char* kReadScript = R"PY(
import sys, json, datetime, decimal
path, reader = sys.argv[1], sys.argv[2]
MAZOVIA = {0x8F: 'Ą', 0x95: 'Ć', 0x90: 'Ę', 0x9C: 'Ł', 0xA5: 'Ń', 0xA3: 'Ó', 0x98: 'Ś', 0xA0: 'Ź', 0xA1: 'Ż',
           0x86: 'ą', 0x8D: 'ć', 0x91: 'ę', 0x92: 'ł', 0xA4: 'ń', 0xA2: 'ó', 0x9E: 'ś', 0xA6: 'ź', 0xA7: 'ż'}

def text(raw):
    return ''.join(MAZOVIA.get(b) or bytes([b]).decode('cp1250', errors='replace') for b in raw).rstrip(' ')

def norm(v, codec):
    if isinstance(v, str):
        return text(v.encode(codec))
    if isinstance(v, (datetime.date, datetime.datetime)):
        return v.isoformat()
    if type(v).__name__ == 'Date':
        return v.isoformat() if v else None
    if isinstance(v, decimal.Decimal):
        return float(v)
    return v

out = {}
if reader == 'dbfread':
    import dbfread
    t = dbfread.DBF(path, load=True, encoding='latin-1')
    out['fields'] = [f.name for f in t.fields]
    out['records'] = [[norm(v, 'latin-1') for v in r.values()] for r in t.records]
else:
    import dbf
    t = dbf.Table(path, codepage='cp437')
    t.open(dbf.READ_ONLY)
    out['fields'] = [name.upper() for name in t.field_names]
    out['records'] = [[norm(r[name], 'cp437') for name in t.field_names] for r in t]
    t.close()
print(json.dumps(out))
)PY";

json ReadWithPython(const kxtest::TempDir& dir, const fs::path& table, const std::string& reader) {
  const fs::path script = dir.Write("read_table.py", kReadScript);
  const std::string command = "/usr/bin/python3 '" + script.string() + "' '" + table.string() + "' " + reader + " 2>&1";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return json();
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, n);
  EXPECT_EQ(pclose(pipe), 0) << reader << ": " << output;
  try {
    return json::parse(output);
  } catch (const std::exception&) {
    ADD_FAILURE() << reader << " printed: " << output;
    return json();
  }
}

std::string JsonText(const json& v) {
  if (v.is_null()) return kEmpty;
  if (v.is_string()) return v.get<std::string>();
  if (v.is_number_integer()) return std::to_string(v.get<int64_t>());
  if (v.is_number_float()) return kx::DecimalText(v.get<double>());
  return v.dump();
}

TEST(BuchalterReadBack, IndependentReadersSeeEveryFieldAsWritten) {
  SaleRec quoted;
  quoted.name = "Sklep „Pod Lipą” D’Artagnan\u00A0§ Łódź";
  quoted.document = "FV/7/02/2026";
  quoted.tail = "<GTU_06>1</GTU_06><K_19>100</K_19><K_20>23</K_20>";
  SaleRec refund;
  refund.document = "KOR 8/2026";
  refund.tail = "<K_17>-50</K_17><K_18>-4</K_18>";
  SaleRec fiscal;
  fiscal.document = "Raport fiskalny okresowy";
  fiscal.name = "Sprzedaż detaliczna";
  fiscal.tail = "<TypDokumentu>RO</TypDokumentu><K_10>12.5</K_10>";
  PurchaseRec fue;
  fue.document = "WNT FUE/3";
  fue.name = "Zakład Świętokrzyski";
  fue.received = "2026-02-11";
  fue.tail = "<K_42>-200</K_42><K_43>-10</K_43>";

  Conversion run;
  run.Convert(Document({quoted, refund, fiscal}, {{}, fue}));

  const std::string quotedName = "SKLEP „POD LIPĄ” D'ARTAGNAN ? ŁÓDŹ";
  const std::map<std::string, std::vector<Row>> expected = {
      {"B5SPEX",
       {With(kSaleRow, {{"PRE", "FV"},
                        {"NRV", "7"},
                        {"POS", "02/2026"},
                        {"OSM", "FV/7/02/2026"},
                        {"KNA", quotedName},
                        {"NA1", quotedName},
                        {"NKV", ""},
                        {"NKK", "     T"}}),
        With(kSaleRow, {{"PRE", "KOR"},
                        {"NRV", "8"},
                        {"POS", "2026"},
                        {"OSM", "KOR 8/2026"},
                        {"TYV", "3"},
                        {"NET", "0"},
                        {"VAT", "0"},
                        {"BRU", "0"},
                        {"KRN", "-50"},
                        {"KRV", "-4"},
                        {"OP1", "ZWROT"},
                        {"REC", "2"}}),
        With(kSaleRow, {{"NKO", "1"},
                        {"TYV", "5"},
                        {"PRE", "FISK"},
                        {"NRV", "0"},
                        {"POS", ""},
                        {"OSM", "RAPORT FISKALNY"},
                        {"KNA", "SPRZEDAŻ DETALICZNA"},
                        {"NA1", "SPRZEDAŻ DETALICZNA"},
                        {"NET", "12.5"},
                        {"VAT", "0"},
                        {"BRU", "12.5"},
                        {"REC", "3"}})}},
      {"B5ESEX",
       {With(kSaleLineRow, {{"NRV", "7"}}),
        With(kSaleLineRow,
             {{"PRE", "KOR"},  {"NRV", "8"},    {"POS", "2026"}, {"TYV", "3"},  {"NA1", "SPRZEDAZ 8"}, {"VAT", "2"},
              {"VAS", "8"},    {"CNB", "0"},    {"CBB", "0"},    {"CNR", "0"},  {"CBR", "0"},          {"WNE", "0"},
              {"WAV", "0"},    {"WAB", "0"},    {"KRN", "-50"},  {"KRV", "-4"}, {"KILO", "1"},         {"KCNB", "-50"},
              {"KCBB", "-54"}, {"KCNR", "-50"}, {"KCBR", "-54"}, {"KVAT", "2"}, {"KVAS", "8"},         {"KWAV", "-4"},
              {"KWAB", "-54"}, {"REK", "2"},    {"REC", "2"}}),
        With(kSaleLineRow, {{"TYV", "5"},
                            {"PRE", "FISK"},
                            {"NRV", "0"},
                            {"POS", ""},
                            {"NA1", "SPRZEDAZ ZW"},
                            {"VAT", "4"},
                            {"VAS", "0"},
                            {"CNB", "12.5"},
                            {"CBB", "12.5"},
                            {"CNR", "12.5"},
                            {"CBR", "12.5"},
                            {"WNE", "12.5"},
                            {"WAV", "0"},
                            {"WAB", "12.5"},
                            {"REK", "3"},
                            {"REC", "3"}})}},
      {"B5ZAEX",
       {kPurchaseRow, With(kPurchaseRow, {{"STM", "2"},
                                          {"TYV", "3"},
                                          {"NRV", "WNT FUE/3"},
                                          {"DAV", "2026-02-11"},
                                          {"DZK", "2026-02-11"},
                                          {"KDO", "ZAKŁAD ŚWIĘTOKRZYSKI"},
                                          {"NA1", "ZAKŁAD ŚWIĘTOKRZYSKI"},
                                          {"NET", kEmpty},
                                          {"VAT", kEmpty},
                                          {"BRU", kEmpty},
                                          {"KRN", "-200"},
                                          {"KRV", "-10"},
                                          {"OP1", "ZWROT"},
                                          {"TYM", "1"},
                                          {"REC", "2"}})}},
      {"B5EZEX",
       {kPurchaseLineRow, With(kPurchaseLineRow, {{"STM", "2"},
                                                  {"TYV", "3"},
                                                  {"NRV", "WNT FUE/3"},
                                                  {"DAV", "2026-02-11"},
                                                  {"NA1", "ZAKUP 5"},
                                                  {"VAT", "8"},
                                                  {"VAS", "5"},
                                                  {"ILO", "0"},
                                                  {"CEN", "0"},
                                                  {"CEB", "0"},
                                                  {"WAN", "0"},
                                                  {"WAV", "0"},
                                                  {"WAB", "0"},
                                                  {"ILK", kEmpty},
                                                  {"KRN", "-200"},
                                                  {"KRV", "-10"},
                                                  {"REK", "2"},
                                                  {"REC", "2"}})}},
  };

  kxtest::TempDir scripts;
  for (const auto& [base, rows] : expected) {
    for (const std::string reader : {"dbfread", "python-dbf"}) {
      const json j = ReadWithPython(scripts, run.out / (base + "26.dbf"), reader);
      ASSERT_TRUE(j.contains("records")) << base << " " << reader;
      ASSERT_EQ(j["records"].size(), rows.size()) << base << " " << reader;
      for (size_t r = 0; r < rows.size(); ++r) {
        Row read;
        for (size_t k = 0; k < j["fields"].size(); ++k) read[j["fields"][k]] = JsonText(j["records"][r][k]);
        ExpectRow(read, rows[r], base + " " + reader + " wiersz " + std::to_string(r + 1));
      }
    }
  }
}

}  // namespace
