#pragma once
// Element order of the JPK_V7M(3) parts the editor writes into. An element
// written into a parent that lacks it goes to its place in this order, never
// after elements that the schema puts behind it.

#include <array>
#include <cstddef>
#include <span>
#include <string_view>
#include <utility>

namespace kx::jpk::v7m {

inline constexpr std::array<std::string_view, 4> kRootOrder{"Naglowek", "Podmiot1", "Deklaracja", "Ewidencja"};

inline constexpr std::array<std::string_view, 8> kHeaderOrder{
    "KodFormularza", "WariantFormularza", "DataWytworzeniaJPK", "NazwaSystemu", "CelZlozenia", "KodUrzedu", "Rok",
    "Miesiac"};

inline constexpr std::array<std::string_view, 3> kDeclarationOrder{"Naglowek", "PozycjeSzczegolowe", "Pouczenia"};
inline constexpr std::array<std::string_view, 2> kDeclarationHeaderOrder{"KodFormularzaDekl", "WariantFormularzaDekl"};

inline constexpr std::array<std::string_view, 64> kPositionsOrder{
    "P_10", "P_11",  "P_12", "P_13", "P_14", "P_15", "P_16", "P_17",  "P_18", "P_19", "P_20",  "P_21",   "P_22",
    "P_23", "P_24",  "P_25", "P_26", "P_27", "P_28", "P_29", "P_30",  "P_31", "P_32", "P_33",  "P_34",   "P_35",
    "P_36", "P_360", "P_37", "P_38", "P_39", "P_40", "P_41", "P_42",  "P_43", "P_44", "P_45",  "P_46",   "P_47",
    "P_48", "P_49",  "P_50", "P_51", "P_52", "P_53", "P_54", "P_540", "P_55", "P_56", "P_560", "P_58",   "P_59",
    "P_60", "P_61",  "P_62", "P_63", "P_64", "P_65", "P_66", "P_660", "P_67", "P_68", "P_69",  "P_ORDZU"};

inline constexpr std::array<std::string_view, 4> kEwidencjaOrder{"SprzedazWiersz", "SprzedazCtrl", "ZakupWiersz",
                                                                 "ZakupCtrl"};

// clang-format off
inline constexpr std::array<std::string_view, 69> kSaleRecordOrder{
    "LpSprzedazy", "KodKrajuNadaniaTIN", "NrKontrahenta", "NazwaKontrahenta", "DowodSprzedazy", "DataWystawienia",
    "DataSprzedazy", "NrKSeF", "OFF", "BFK", "DI", "TypDokumentu", "GTU_01", "GTU_02", "GTU_03", "GTU_04", "GTU_05",
    "GTU_06", "GTU_07", "GTU_08", "GTU_09", "GTU_10", "GTU_11", "GTU_12", "GTU_13", "WSTO_EE", "IED", "TP", "TT_WNT",
    "TT_D", "MR_T", "MR_UZ", "I_42", "I_63", "B_SPV", "B_SPV_DOSTAWA", "B_MPV_PROWIZJA", "KorektaPodstawyOpodt",
    "TerminPlatnosci", "DataZaplaty", "K_10", "K_11", "K_12", "K_13", "K_14", "K_15", "K_16", "K_17", "K_18", "K_19",
    "K_20", "K_21", "K_22", "K_23", "K_24", "K_25", "K_26", "K_27", "K_28", "K_29", "K_30", "K_31", "K_32", "K_33",
    "K_34", "K_35", "K_36", "K_360", "SprzedazVAT_Marza"};
// clang-format on

// clang-format off
inline constexpr std::array<std::string_view, 22> kPurchaseRecordOrder{
    "LpZakupu", "KodKrajuNadaniaTIN", "NrDostawcy", "NazwaDostawcy", "DowodZakupu", "DataZakupu", "DataWplywu",
    "NrKSeF", "OFF", "BFK", "DI", "DokumentZakupu", "IMP", "K_40", "K_41", "K_42", "K_43", "K_44", "K_45", "K_46",
    "K_47", "ZakupVAT_Marza"};
// clang-format on

// The element order of a record: the purchase record's for "ZakupWiersz",
// the sale record's for any other.
constexpr std::span<const std::string_view> RecordOrder(std::string_view recordName) {
  return recordName == "ZakupWiersz" ? std::span<const std::string_view>(kPurchaseRecordOrder)
                                     : std::span<const std::string_view>(kSaleRecordOrder);
}

// The place of the name in the order; order.size() for a name it lacks.
constexpr size_t OrderRank(std::span<const std::string_view> order, std::string_view name) {
  size_t i = 0;
  while (i < order.size() && order[i] != name) ++i;
  return i;
}

inline constexpr std::array<std::string_view, 2> kSaleCtrlOrder{"LiczbaWierszySprzedazy", "PodatekNalezny"};
inline constexpr std::array<std::string_view, 2> kPurchaseCtrlOrder{"LiczbaWierszyZakupow", "PodatekNaliczony"};

// The net/tax pairs of the records: the schema takes their elements only
// together.
using AmountPair = std::pair<const char*, const char*>;
inline constexpr std::array<AmountPair, 8> kSaleAmountPairs{{{"K_15", "K_16"},
                                                             {"K_17", "K_18"},
                                                             {"K_19", "K_20"},
                                                             {"K_23", "K_24"},
                                                             {"K_25", "K_26"},
                                                             {"K_27", "K_28"},
                                                             {"K_29", "K_30"},
                                                             {"K_31", "K_32"}}};
inline constexpr std::array<AmountPair, 2> kPurchaseAmountPairs{{{"K_40", "K_41"}, {"K_42", "K_43"}}};

// The other element of the pair the amount belongs to ("K_20" for "K_19");
// empty when it stands alone.
constexpr std::string_view AmountPartner(std::span<const AmountPair> pairs, std::string_view element) {
  for (const auto& [net, tax] : pairs) {
    if (element == net) return tax;
    if (element == tax) return net;
  }
  return {};
}
constexpr std::string_view AmountPartner(std::string_view element) {
  std::string_view partner = AmountPartner(kSaleAmountPairs, element);
  return partner.empty() ? AmountPartner(kPurchaseAmountPairs, element) : partner;
}

}  // namespace kx::jpk::v7m
