#pragma once
// The rules over a JPK_V7M(3) document beyond its schema: contractors' NIP,
// KSeF numbers, dates after the file's month, net and tax pairs, repeated
// documents, the control elements, the refund part of the declaration and
// the records still waiting for a KSeF number. The declaration positions
// recomputed from the records belong to the editor layer, which holds that
// computation. Nothing here changes the document.

#include <vector>

#include "jpk/check/finding.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"

namespace kx::jpk::check {

// The subject's NIP (Podmiot1).
void CheckV7MHeader(const v7m::IXMLJPK& jpk, std::vector<Finding>& findings);

// Every sale record, SprzedazCtrl, every purchase record, ZakupCtrl.
void CheckV7MRecords(const v7m::IXMLJPK& jpk, std::vector<Finding>& findings);

// P_59, P_60, P_61 only with P_54; P_54 not above P_53; P_62 = P_53 - P_54.
void CheckV7MRefund(const v7m::IXMLJPK& jpk, std::vector<Finding>& findings);

// The records marked DI (sales, then purchases), as information.
void ListV7MAwaitingKsef(const v7m::IXMLJPK& jpk, std::vector<Finding>& findings);

}  // namespace kx::jpk::check
