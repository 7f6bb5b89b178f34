#pragma once
// The writers through which every source of JPK_V7M records fills a record:
// the identifying part of a sale or purchase line, and amounts copied from
// the current row of a source table.
//
// KSeF reference: "DI", "BFK" or "OFF" (exact case) write that marker; any
// other text, the empty one included, is written as NrKSeF.
// GTU set: bit 0 GTU_01 ... bit 12 GTU_13. Procedure set: bit 0 WSTO_EE,
// IED, TP, TT_WNT, TT_D, MR_T, MR_UZ, I_42, I_63, B_SPV, B_SPV_DOSTAWA,
// bit 11 B_MPV_PROWIZJA. A set of 0 or below writes no marker.

#include <cstdint>
#include <string>

#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "platform/tables/table.h"

namespace kx::jpk::v7m {

using tables::Date;

void SetSaleLineV7(IXMLJPK_Ewidencja_SprzedazWiersz SaleLine, int Nr, const std::string& KodKraju,
                   const std::string& NIP, const std::string& NazwaKontr, const std::string& Doc,
                   const std::string& NrKSeF, const std::string& TypDok, Date DataWystawienia, Date DataSprzedazy,
                   int16_t GTU, int16_t Procedura);

void SetBuyLineV7(IXMLJPK_Ewidencja_ZakupWiersz BuyLine, int Nr, const std::string& KodKraju, const std::string& NIP,
                  const std::string& NazwaDostawcy, const std::string& Doc, const std::string& NrKSeF,
                  const std::string& TypDok, Date DataZakupu, Date DataWplywu, bool IMP);

// The field's value rounded to 2 places (negated on request) into the
// record's element, placed where the schema puts it; 0 only with writeZero.
void SetAmountNode(const jpk::TypedNode& record, tables::Table& table, const std::string& elementName,
                   const std::string& fieldName, bool negate, bool writeZero);

// A net/tax pair: the net is written also as 0 when the tax is not 0; a tax of
// 0 is never written.
void SetNetTaxNodes(const jpk::TypedNode& record, tables::Table& table, const std::string& netElement,
                    const std::string& netField, const std::string& taxElement, const std::string& taxField,
                    bool negate);

// A 16-bit set read from a table field (GTU, Procedura); values beyond 16 bits
// keep their low 16 bits, as the source programs store them.
int16_t FieldSet16(tables::Table& table, const std::string& fieldName);

}  // namespace kx::jpk::v7m
