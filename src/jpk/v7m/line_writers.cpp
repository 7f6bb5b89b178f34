#include "jpk/v7m/line_writers.h"

#include <array>
#include <string_view>
#include <vector>

#include "app/kxTools.h"
#include "platform/decimal_text.h"

namespace kx::jpk::v7m {
namespace {

constexpr std::array<const char*, 13> kGtuNames = {"GTU_01", "GTU_02", "GTU_03", "GTU_04", "GTU_05", "GTU_06", "GTU_07",
                                                   "GTU_08", "GTU_09", "GTU_10", "GTU_11", "GTU_12", "GTU_13"};
constexpr std::array<const char*, 12> kProcedureNames = {"WSTO_EE",       "IED",           "TP",   "TT_WNT", "TT_D",
                                                         "MR_T",          "MR_UZ",         "I_42", "I_63",   "B_SPV",
                                                         "B_SPV_DOSTAWA", "B_MPV_PROWIZJA"};

// Children of a sale and a purchase record in schema order, for amounts that
// are written after later elements already exist.
const std::vector<std::string_view>& SaleOrder() {
  static const std::vector<std::string_view> order = [] {
    // clang-format off
    std::vector<std::string_view> o = {"LpSprzedazy", "KodKrajuNadaniaTIN", "NrKontrahenta", "NazwaKontrahenta",
                                       "DowodSprzedazy", "DataWystawienia", "DataSprzedazy", "NrKSeF", "OFF",
                                       "BFK", "DI", "TypDokumentu"};
    o.insert(o.end(), kGtuNames.begin(), kGtuNames.end());
    o.insert(o.end(), kProcedureNames.begin(), kProcedureNames.end());
    for (const char* n : {"KorektaPodstawyOpodt", "TerminPlatnosci", "DataZaplaty", "K_10", "K_11", "K_12",
                          "K_13", "K_14", "K_15", "K_16", "K_17", "K_18", "K_19", "K_20", "K_21", "K_22", "K_23",
                          "K_24", "K_25", "K_26", "K_27", "K_28", "K_29", "K_30", "K_31", "K_32", "K_33", "K_34",
                          "K_35", "K_36", "K_360", "SprzedazVAT_Marza"}) {
      o.emplace_back(n);
    }
    return o;
    // clang-format on
  }();
  return order;
}

const std::vector<std::string_view>& BuyOrder() {
  // clang-format off
  static const std::vector<std::string_view> order = {
      "LpZakupu", "KodKrajuNadaniaTIN", "NrDostawcy", "NazwaDostawcy", "DowodZakupu", "DataZakupu", "DataWplywu",
      "NrKSeF", "OFF", "BFK", "DI", "DokumentZakupu", "IMP", "K_40", "K_41", "K_42", "K_43", "K_44", "K_45",
      "K_46", "K_47", "ZakupVAT_Marza"};
  // clang-format on
  return order;
}

// The named child, made at its schema position when missing.
xml::XmlNode ChildInSchemaOrder(xml::XmlNode record, std::string_view name) {
  xml::XmlNode child = record.FindChild(name);
  if (!child.IsNull()) return child;
  const auto& order = record.LocalName() == "ZakupWiersz" ? BuyOrder() : SaleOrder();
  size_t pos = 0;
  while (pos < order.size() && order[pos] != name) ++pos;
  for (size_t i = pos + 1; i < order.size(); ++i) {
    int index = record.IndexOfChild(order[i]);
    if (index >= 0) return record.AddChild(name, index);
  }
  return record.AddChild(name);
}

void WriteMarkers(xml::XmlNode record, int16_t set, const char* const* names, size_t count) {
  if (set <= 0) return;
  for (size_t bit = 0; bit < count; ++bit) {
    if (set & (1 << bit)) record.ChildByName(names[bit]).SetText("1");
  }
}

enum class KsefMarker { DI, BFK, OFF, Number };

KsefMarker MarkerOf(const std::string& ref) {
  if (ref == "DI") return KsefMarker::DI;
  if (ref == "BFK") return KsefMarker::BFK;
  if (ref == "OFF") return KsefMarker::OFF;
  return KsefMarker::Number;
}

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
  if (!TypDok.empty()) SaleLine.SetTypDokumentu(TypDok);
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
  if (!TypDok.empty()) BuyLine.SetDokumentZakupu(TypDok);
  if (IMP) BuyLine.SetIMP(1);
}

void SetAmountNode(const jpk::TypedNode& record, tables::Table& table, const std::string& elementName,
                   const std::string& fieldName, bool negate, bool writeZero) {
  double v = RoundedField(table, fieldName);
  if (negate) v = -v;
  if (v == 0) v = 0;  // no "-0"
  if (writeZero || v != 0) ChildInSchemaOrder(record.Node(), elementName).SetText(DecimalText(v));
}

void SetNetTaxNodes(const jpk::TypedNode& record, tables::Table& table, const std::string& netElement,
                    const std::string& netField, const std::string& taxElement, const std::string& taxField,
                    bool negate) {
  double t = RoundedField(table, taxField);
  SetAmountNode(record, table, netElement, netField, negate, t != 0);
  SetAmountNode(record, table, taxElement, taxField, negate, false);
}

}  // namespace kx::jpk::v7m
