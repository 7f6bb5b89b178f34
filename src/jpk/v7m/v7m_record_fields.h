#pragma once
// What the editor reads of one record in a single walk over its children:
// the amounts in grosze (first element of a name wins, as the readers by
// name see it) and the elements that numbering and checks need.

#include <array>
#include <bitset>
#include <cstdint>

#include "platform/xml/xml_node.h"

namespace kx::jpk::v7m {

// The amounts of a record are kept in slots: a sale's K_10..K_36 in slots
// 0..26 and K_360 in slot 27, a purchase's K_40..K_47 in slots 0..7.
inline constexpr int kSaleAmountSlots = 28;
inline constexpr int kPurchaseAmountSlots = 8;
inline constexpr int kSaleK360Slot = 27;
inline constexpr int kFirstSaleAmount = 10;      // K_10
inline constexpr int kLastSaleAmount = 36;       // K_36
inline constexpr int kFirstPurchaseAmount = 40;  // K_40

// The slot of the sale amount K_k (10..36, 360).
constexpr int SaleSlot(int k) { return k == 360 ? kSaleK360Slot : k - kFirstSaleAmount; }
// The K_ number of a sale slot.
constexpr int SaleSlotNumber(int slot) { return slot == kSaleK360Slot ? 360 : slot + kFirstSaleAmount; }
// The slot of the purchase amount K_k (40..47), and back.
constexpr int PurchaseSlot(int k) { return k - kFirstPurchaseAmount; }
constexpr int PurchaseSlotNumber(int slot) { return slot + kFirstPurchaseAmount; }

struct SaleRecordFields {
  xml::XmlNode lp, nrKontrahenta, nazwaKontrahenta;
  bool hasType = false;
  bool fp = false;          // TypDokumentu "FP"
  bool correction = false;  // KorektaPodstawyOpodt present
  std::array<int64_t, kSaleAmountSlots> cents{};
  std::bitset<kSaleAmountSlots> present;

  // The row sums in grosze; 0 for "FP".
  int64_t NetCents() const;
  int64_t TaxCents() const;
};

struct PurchaseRecordFields {
  xml::XmlNode lp, document;
  std::array<int64_t, kPurchaseAmountSlots> cents{};
  std::bitset<kPurchaseAmountSlots> present;

  int64_t NetCents() const;
  int64_t TaxCents() const;
};

SaleRecordFields ReadSaleRecord(const xml::XmlNode& record);
PurchaseRecordFields ReadPurchaseRecord(const xml::XmlNode& record);

}  // namespace kx::jpk::v7m
