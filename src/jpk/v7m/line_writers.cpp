#include "jpk/v7m/line_writers.h"

#include <array>
#include <span>
#include <string_view>
#include <utility>

#include "app/kxTools.h"
#include "jpk/v7m/v7m_order.h"
#include "platform/decimal_text.h"
#include "platform/text_utils.h"

namespace kx::jpk::v7m {
namespace {

constexpr std::array<const char*, 13> kGtuNames = {"GTU_01", "GTU_02", "GTU_03", "GTU_04", "GTU_05", "GTU_06", "GTU_07",
                                                   "GTU_08", "GTU_09", "GTU_10", "GTU_11", "GTU_12", "GTU_13"};
constexpr std::array<const char*, 12> kProcedureNames = {"WSTO_EE",       "IED",           "TP",   "TT_WNT", "TT_D",
                                                         "MR_T",          "MR_UZ",         "I_42", "I_63",   "B_SPV",
                                                         "B_SPV_DOSTAWA", "B_MPV_PROWIZJA"};

// The named child, made at its schema position when missing: before the run
// of later elements at the end of the record. The writers build their records
// in order, so the walk back from the last child is short (EnsureChildInOrder
// scans from the front, for records of other programs). Unknown elements are
// passed.
xml::XmlNode ChildInSchemaOrder(xml::XmlNode record, std::string_view name) {
  xml::XmlNode child = record.FindChild(name);
  if (!child.IsNull()) return child;
  const std::span<const std::string_view> order = RecordOrder(record.LocalNameView());
  const size_t pos = OrderRank(order, name);
  xml::XmlNode before;
  for (xml::XmlNode c = record.LastChild(); !c.IsNull(); c = c.PreviousSibling()) {
    if (c.Kind() != xml::XmlNodeKind::Element) continue;
    const size_t r = OrderRank(order, c.LocalNameView());
    if (r == order.size()) continue;
    if (r < pos) break;
    before = c;
  }
  if (before.IsNull()) return record.AddChild(name);
  return record.AddChild(name, record.IndexOfChild(before));
}

// The other element of the pair the named one belongs to in this record;
// empty when it stands alone.
std::string_view PairPartner(std::string_view recordName, std::string_view element) {
  if (recordName == "SprzedazWiersz") return AmountPartner(kSaleAmountPairs, element);
  if (recordName == "ZakupWiersz") return AmountPartner(kPurchaseAmountPairs, element);
  return {};
}

enum class KsefMarker { DI, BFK, OFF, Number };

// ASCII letters compared without case: the markers are plain Latin words.
bool SameWord(std::string_view text, std::string_view word) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (upper(text[i]) != word[i]) return false;
  }
  return true;
}

KsefMarker MarkerOf(const std::string& ref) {
  const std::string word = Trim(ref);
  if (SameWord(word, "DI")) return KsefMarker::DI;
  if (SameWord(word, "BFK")) return KsefMarker::BFK;
  if (SameWord(word, "OFF")) return KsefMarker::OFF;
  return KsefMarker::Number;
}

bool IsSaleDocumentType(const std::string& type) { return type == "RO" || type == "WEW" || type == "FP"; }
bool IsPurchaseDocumentType(const std::string& type) { return type == "MK" || type == "VAT_RR" || type == "WEW"; }

double RoundedField(tables::Table& table, const std::string& fieldName) {
  return RoundAmount(kAmountDecimals, table.FieldByName(fieldName).AsFloat());
}

// Where a line writer puts a record's elements: an element of a document, or
// a draft. Set reaches a child by name (appended when missing); Place puts a
// missing one where the schema wants it.
class NodeRecord {
 public:
  explicit NodeRecord(xml::XmlNode node) : m_node(std::move(node)) {}
  std::string RecordName() const { return m_node.LocalName(); }
  bool Has(std::string_view name) const { return !m_node.FindChild(name).IsNull(); }
  void Set(std::string_view name, std::string_view text) { m_node.ChildByName(name).SetText(text); }
  void Place(std::string_view name, std::string_view text) { ChildInSchemaOrder(m_node, name).SetText(text); }

 private:
  xml::XmlNode m_node;
};

template <typename Record>
void WriteMarkers(Record& record, int16_t set, const char* const* names, size_t count) {
  if (set <= 0) return;
  for (size_t bit = 0; bit < count; ++bit) {
    if (set & (1 << bit)) record.Set(names[bit], "1");
  }
}

template <typename Record>
void WriteKsef(Record& record, const std::string& ref) {
  switch (MarkerOf(ref)) {
    case KsefMarker::DI: record.Set("DI", "1"); break;
    case KsefMarker::BFK: record.Set("BFK", "1"); break;
    case KsefMarker::OFF: record.Set("OFF", "1"); break;
    case KsefMarker::Number: record.Set("NrKSeF", ref); break;
  }
}

// The element names of the identifying part of a sale or purchase record.
struct LineNames {
  const char* number;
  const char* contractorNip;
  const char* contractorName;
  const char* document;
  const char* firstDate;
  const char* secondDate;  // written when it differs from the first
};
constexpr LineNames kSaleLine{"LpSprzedazy",    "NrKontrahenta",   "NazwaKontrahenta",
                              "DowodSprzedazy", "DataWystawienia", "DataSprzedazy"};
constexpr LineNames kBuyLine{"LpZakupu", "NrDostawcy", "NazwaDostawcy", "DowodZakupu", "DataZakupu", "DataWplywu"};

template <typename Record>
void WriteLineHead(Record& line, const LineNames& names, int nr, const std::string& countryCode, const std::string& nip,
                   const std::string& name, const std::string& document, const std::string& ksef, Date first,
                   Date second) {
  line.Set(names.number, std::to_string(nr));
  if (!countryCode.empty()) line.Set("KodKrajuNadaniaTIN", countryCode);
  line.Set(names.contractorNip, nip);
  line.Set(names.contractorName, name);
  line.Set(names.document, document);
  line.Set(names.firstDate, tables::DateText(first));
  if (second != first) line.Set(names.secondDate, tables::DateText(second));
  WriteKsef(line, ksef);
}

template <typename Record>
void WriteSaleLine(Record& line, int Nr, const std::string& KodKraju, const std::string& NIP,
                   const std::string& NazwaKontr, const std::string& Doc, const std::string& NrKSeF,
                   const std::string& TypDok, Date DataWystawienia, Date DataSprzedazy, int16_t GTU,
                   int16_t Procedura) {
  WriteLineHead(line, kSaleLine, Nr, KodKraju, NIP, NazwaKontr, Doc, NrKSeF, DataWystawienia, DataSprzedazy);
  if (IsSaleDocumentType(TypDok)) line.Set("TypDokumentu", TypDok);
  WriteMarkers(line, GTU, kGtuNames.data(), kGtuNames.size());
  WriteMarkers(line, Procedura, kProcedureNames.data(), kProcedureNames.size());
}

template <typename Record>
void WriteBuyLine(Record& line, int Nr, const std::string& KodKraju, const std::string& NIP,
                  const std::string& NazwaDostawcy, const std::string& Doc, const std::string& NrKSeF,
                  const std::string& TypDok, Date DataZakupu, Date DataWplywu, bool IMP) {
  WriteLineHead(line, kBuyLine, Nr, KodKraju, NIP, NazwaDostawcy, Doc, NrKSeF, DataZakupu, DataWplywu);
  if (IsPurchaseDocumentType(TypDok)) line.Set("DokumentZakupu", TypDok);
  if (IMP) line.Set("IMP", "1");
}

template <typename Record>
void WriteAmount(Record& record, tables::Table& table, const std::string& elementName, const std::string& fieldName,
                 bool negate, bool writeZero) {
  double v = RoundedField(table, fieldName);
  if (negate) v = -v;
  if (v == 0) v = 0;  // no "-0"
  if (!writeZero && v == 0) return;
  record.Place(elementName, DecimalText(v));
  std::string_view partner = PairPartner(record.RecordName(), elementName);
  if (!partner.empty() && !record.Has(partner)) record.Place(partner, "0");
}

template <typename Record>
void WriteNetTax(Record& record, tables::Table& table, const std::string& netElement, const std::string& netField,
                 const std::string& taxElement, const std::string& taxField, bool negate) {
  const bool net = RoundedField(table, netField) != 0;
  const bool tax = RoundedField(table, taxField) != 0;
  WriteAmount(record, table, netElement, netField, negate, net || tax);
  WriteAmount(record, table, taxElement, taxField, negate, net || tax);
}

}  // namespace

int16_t FieldSet16(tables::Table& table, const std::string& fieldName) {
  return static_cast<int16_t>(static_cast<uint16_t>(table.FieldByName(fieldName).AsInteger() & 0xFFFF));
}

void SetSaleLineV7(IXMLJPK_Ewidencja_SprzedazWiersz SaleLine, int Nr, const std::string& KodKraju,
                   const std::string& NIP, const std::string& NazwaKontr, const std::string& Doc,
                   const std::string& NrKSeF, const std::string& TypDok, Date DataWystawienia, Date DataSprzedazy,
                   int16_t GTU, int16_t Procedura) {
  NodeRecord record(SaleLine.Node());
  WriteSaleLine(record, Nr, KodKraju, NIP, NazwaKontr, Doc, NrKSeF, TypDok, DataWystawienia, DataSprzedazy, GTU,
                Procedura);
}

void SetSaleLineV7(RecordDraft& SaleLine, int Nr, const std::string& KodKraju, const std::string& NIP,
                   const std::string& NazwaKontr, const std::string& Doc, const std::string& NrKSeF,
                   const std::string& TypDok, Date DataWystawienia, Date DataSprzedazy, int16_t GTU,
                   int16_t Procedura) {
  WriteSaleLine(SaleLine, Nr, KodKraju, NIP, NazwaKontr, Doc, NrKSeF, TypDok, DataWystawienia, DataSprzedazy, GTU,
                Procedura);
}

void SetBuyLineV7(IXMLJPK_Ewidencja_ZakupWiersz BuyLine, int Nr, const std::string& KodKraju, const std::string& NIP,
                  const std::string& NazwaDostawcy, const std::string& Doc, const std::string& NrKSeF,
                  const std::string& TypDok, Date DataZakupu, Date DataWplywu, bool IMP) {
  NodeRecord record(BuyLine.Node());
  WriteBuyLine(record, Nr, KodKraju, NIP, NazwaDostawcy, Doc, NrKSeF, TypDok, DataZakupu, DataWplywu, IMP);
}

void SetBuyLineV7(RecordDraft& BuyLine, int Nr, const std::string& KodKraju, const std::string& NIP,
                  const std::string& NazwaDostawcy, const std::string& Doc, const std::string& NrKSeF,
                  const std::string& TypDok, Date DataZakupu, Date DataWplywu, bool IMP) {
  WriteBuyLine(BuyLine, Nr, KodKraju, NIP, NazwaDostawcy, Doc, NrKSeF, TypDok, DataZakupu, DataWplywu, IMP);
}

void SetAmountNode(const jpk::TypedNode& record, tables::Table& table, const std::string& elementName,
                   const std::string& fieldName, bool negate, bool writeZero) {
  NodeRecord target(record.Node());
  WriteAmount(target, table, elementName, fieldName, negate, writeZero);
}

void SetAmountNode(RecordDraft& record, tables::Table& table, const std::string& elementName,
                   const std::string& fieldName, bool negate, bool writeZero) {
  WriteAmount(record, table, elementName, fieldName, negate, writeZero);
}

void SetNetTaxNodes(const jpk::TypedNode& record, tables::Table& table, const std::string& netElement,
                    const std::string& netField, const std::string& taxElement, const std::string& taxField,
                    bool negate) {
  NodeRecord target(record.Node());
  WriteNetTax(target, table, netElement, netField, taxElement, taxField, negate);
}

void SetNetTaxNodes(RecordDraft& record, tables::Table& table, const std::string& netElement,
                    const std::string& netField, const std::string& taxElement, const std::string& taxField,
                    bool negate) {
  WriteNetTax(record, table, netElement, netField, taxElement, taxField, negate);
}

}  // namespace kx::jpk::v7m
