#include "jpk/v7m/line_writers.h"

#include <array>
#include <span>
#include <string_view>

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
  const std::span<const std::string_view> order = record.LocalName() == "ZakupWiersz"
                                                      ? std::span<const std::string_view>(kPurchaseRecordOrder)
                                                      : std::span<const std::string_view>(kSaleRecordOrder);
  auto rank = [&order](std::string_view n) {
    size_t i = 0;
    while (i < order.size() && order[i] != n) ++i;
    return i;
  };
  const size_t pos = rank(name);
  xml::XmlNode before;
  for (xml::XmlNode c = record.LastChild(); !c.IsNull(); c = c.PreviousSibling()) {
    if (c.Kind() != xml::XmlNodeKind::Element) continue;
    const size_t r = rank(c.LocalName());
    if (r == order.size()) continue;
    if (r < pos) break;
    before = c;
  }
  if (before.IsNull()) return record.AddChild(name);
  return record.AddChild(name, record.IndexOfChild(before));
}

void WriteMarkers(xml::XmlNode record, int16_t set, const char* const* names, size_t count) {
  if (set <= 0) return;
  for (size_t bit = 0; bit < count; ++bit) {
    if (set & (1 << bit)) record.ChildByName(names[bit]).SetText("1");
  }
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

}  // namespace

int16_t FieldSet16(tables::Table& table, const std::string& fieldName) {
  return static_cast<int16_t>(static_cast<uint16_t>(table.FieldByName(fieldName).AsInteger() & 0xFFFF));
}

void SetSaleLineV7(IXMLJPK_Ewidencja_SprzedazWiersz SaleLine, int Nr, const std::string& KodKraju,
                   const std::string& NIP, const std::string& NazwaKontr, const std::string& Doc,
                   const std::string& NrKSeF, const std::string& TypDok, Date DataWystawienia, Date DataSprzedazy,
                   int16_t GTU, int16_t Procedura) {
  SaleLine.SetLpSprzedazy(Nr);
  if (!KodKraju.empty()) SaleLine.SetKodKrajuNadaniaTIN(KodKraju);
  SaleLine.SetNrKontrahenta(NIP);
  SaleLine.SetNazwaKontrahenta(NazwaKontr);
  SaleLine.SetDowodSprzedazy(Doc);
  SaleLine.SetDataWystawienia(DataWystawienia);
  if (DataSprzedazy != DataWystawienia) SaleLine.SetDataSprzedazy(DataSprzedazy);
  switch (MarkerOf(NrKSeF)) {
    case KsefMarker::DI: SaleLine.SetDI(1); break;
    case KsefMarker::BFK: SaleLine.SetBFK(1); break;
    case KsefMarker::OFF: SaleLine.SetOFF(1); break;
    case KsefMarker::Number: SaleLine.SetNrKSeF(NrKSeF); break;
  }
  if (IsSaleDocumentType(TypDok)) SaleLine.SetTypDokumentu(TypDok);
  WriteMarkers(SaleLine.Node(), GTU, kGtuNames.data(), kGtuNames.size());
  WriteMarkers(SaleLine.Node(), Procedura, kProcedureNames.data(), kProcedureNames.size());
}

void SetBuyLineV7(IXMLJPK_Ewidencja_ZakupWiersz BuyLine, int Nr, const std::string& KodKraju, const std::string& NIP,
                  const std::string& NazwaDostawcy, const std::string& Doc, const std::string& NrKSeF,
                  const std::string& TypDok, Date DataZakupu, Date DataWplywu, bool IMP) {
  BuyLine.SetLpZakupu(Nr);
  if (!KodKraju.empty()) BuyLine.SetKodKrajuNadaniaTIN(KodKraju);
  BuyLine.SetNrDostawcy(NIP);
  BuyLine.SetNazwaDostawcy(NazwaDostawcy);
  BuyLine.SetDowodZakupu(Doc);
  BuyLine.SetDataZakupu(DataZakupu);
  if (DataWplywu != DataZakupu) BuyLine.SetDataWplywu(DataWplywu);
  switch (MarkerOf(NrKSeF)) {
    case KsefMarker::DI: BuyLine.SetDI(1); break;
    case KsefMarker::BFK: BuyLine.SetBFK(1); break;
    case KsefMarker::OFF: BuyLine.SetOFF(1); break;
    case KsefMarker::Number: BuyLine.SetNrKSeF(NrKSeF); break;
  }
  if (IsPurchaseDocumentType(TypDok)) BuyLine.SetDokumentZakupu(TypDok);
  if (IMP) BuyLine.SetIMP(1);
}

void SetAmountNode(const jpk::TypedNode& record, tables::Table& table, const std::string& elementName,
                   const std::string& fieldName, bool negate, bool writeZero) {
  double v = RoundedField(table, fieldName);
  if (negate) v = -v;
  if (v == 0) v = 0;  // no "-0"
  if (!writeZero && v == 0) return;
  xml::XmlNode node = record.Node();
  ChildInSchemaOrder(node, elementName).SetText(DecimalText(v));
  std::string_view partner = PairPartner(node.LocalName(), elementName);
  if (!partner.empty() && node.FindChild(partner).IsNull()) ChildInSchemaOrder(node, partner).SetText("0");
}

void SetNetTaxNodes(const jpk::TypedNode& record, tables::Table& table, const std::string& netElement,
                    const std::string& netField, const std::string& taxElement, const std::string& taxField,
                    bool negate) {
  const bool net = RoundedField(table, netField) != 0;
  const bool tax = RoundedField(table, taxField) != 0;
  SetAmountNode(record, table, netElement, netField, negate, net || tax);
  SetAmountNode(record, table, taxElement, taxField, negate, net || tax);
}

}  // namespace kx::jpk::v7m
