#pragma once
// What the editor reads of one record in a single walk over its children:
// the amounts in grosze (first element of a name wins, as the readers by
// name see it) and the elements that numbering and checks need.

#include <array>
#include <bitset>
#include <cstdint>

#include "platform/xml/xml_node.h"

namespace kx::jpk::v7m {

struct SaleRecordFields {
  xml::XmlNode lp, nrKontrahenta, nazwaKontrahenta;
  bool hasType = false;
  bool fp = false;          // TypDokumentu "FP"
  bool correction = false;  // KorektaPodstawyOpodt present
  // K_10..K_36 at 0..26, K_360 at 27.
  std::array<int64_t, 28> cents{};
  std::bitset<28> present;

  // The row sums in grosze; 0 for "FP".
  int64_t NetCents() const;
  int64_t TaxCents() const;
};

struct PurchaseRecordFields {
  xml::XmlNode lp, document;
  // K_40..K_47 at 0..7.
  std::array<int64_t, 8> cents{};
  std::bitset<8> present;

  int64_t NetCents() const;
  int64_t TaxCents() const;
};

SaleRecordFields ReadSaleRecord(const xml::XmlNode& record);
PurchaseRecordFields ReadPurchaseRecord(const xml::XmlNode& record);

inline constexpr int kSaleAmountSlots = 28;
// The K_ number of a sale slot (27 is K_360).
inline int SaleSlotNumber(int slot) { return slot == 27 ? 360 : slot + 10; }

}  // namespace kx::jpk::v7m
