#pragma once
// Net and tax of a JPK_V7M document by rate group (23%, 8%, 5%, 0%, exempt,
// outside the country, reverse charge, imports, ...) for sales and
// purchases, each group with the declaration positions its amounts feed and
// the values those positions hold in the file, so that the declaration can
// be traced back to the records.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "editor/record_table.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"

namespace kx::editor {

// A rate group: the K_ numbers of its net and tax amounts (0 where the group
// has none).
struct RateGroup {
  const char* label;
  int net;
  int tax;
};

// The groups of a side, in the order of the record's amounts.
std::span<const RateGroup> RateGroups(RecordSide side);

// A declaration position an amount feeds: added, or subtracted (P_35, P_36
// and P_360 from P_38).
struct FedPosition {
  std::string name;
  bool subtracted = false;
  bool operator==(const FedPosition&) const = default;
};

// The positions the amount K_k of the side feeds: its own position, then the
// total it is counted in (P_37, P_38, P_48).
std::vector<FedPosition> PositionsFedBy(RecordSide side, int k);

struct RateLine {
  const RateGroup* group = nullptr;
  int records = 0;  // records holding an amount of the group
  int64_t netCents = 0, taxCents = 0;
  std::string elements;   // "K_19, K_20"
  std::string positions;  // "P_19, P_20 → P_37, P_38"; "−P_35" for a subtracted one
  std::string declared;   // "P_19 = 4348, P_20 = 1000" from the file's declaration; "" without one
};

struct SideSums {
  std::vector<RateLine> lines;
  int64_t netCents = 0, taxCents = 0;  // the records' totals as the declaration counts them
  std::string totalPositions;          // "P_37, P_38" or "P_48"
  std::string declared;                // their values in the file's declaration
};

struct RateSums {
  SideSums sales, purchases;
  int skippedFp = 0;  // sale records of type FP, which the declaration leaves out
};

// The sums of the document's records: lines only for the groups the records
// use. An amount that is no number fails with the record named.
RateSums SumRates(const jpk::v7m::IXMLJPK& jpk);

}  // namespace kx::editor
