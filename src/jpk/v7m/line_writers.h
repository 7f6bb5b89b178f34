#pragma once
// The writers through which every source of JPK_V7M records fills a record:
// the identifying part of a sale or purchase line, and amounts copied from
// the current row of a source table.
//
// KSeF reference: "DI", "BFK" or "OFF", in any letter case and with blanks
// around, write that marker; any other text, the empty one included, is
// written as NrKSeF as given (the check of the file judges it).
// Document type: written only where the schema allows it on that side, sales
// TypDokumentu RO, WEW or FP, purchases DokumentZakupu MK, VAT_RR or WEW, in
// exact case; any other value (a purchase type on a sale, FP on a purchase)
// writes no document type.
// GTU set: bit 0 GTU_01 ... bit 12 GTU_13. Procedure set: bit 0 WSTO_EE,
// IED, TP, TT_WNT, TT_D, MR_T, MR_UZ, I_42, I_63, B_SPV, B_SPV_DOSTAWA,
// bit 11 B_MPV_PROWIZJA. A set of 0 or below writes no marker.
//
// Each writer fills a record element of a document or a draft of one
// (RecordDraft), with the same elements in the same order.

#include <cstdint>
#include <string>

#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "jpk/v7m/record_draft.h"
#include "platform/tables/table.h"

namespace kx::jpk::v7m {

using tables::Date;

void SetSaleLineV7(IXMLJPK_Ewidencja_SprzedazWiersz SaleLine, int Nr, const std::string& KodKraju,
                   const std::string& NIP, const std::string& NazwaKontr, const std::string& Doc,
                   const std::string& NrKSeF, const std::string& TypDok, Date DataWystawienia, Date DataSprzedazy,
                   int16_t GTU, int16_t Procedura);
void SetSaleLineV7(RecordDraft& SaleLine, int Nr, const std::string& KodKraju, const std::string& NIP,
                   const std::string& NazwaKontr, const std::string& Doc, const std::string& NrKSeF,
                   const std::string& TypDok, Date DataWystawienia, Date DataSprzedazy, int16_t GTU, int16_t Procedura);

void SetBuyLineV7(IXMLJPK_Ewidencja_ZakupWiersz BuyLine, int Nr, const std::string& KodKraju, const std::string& NIP,
                  const std::string& NazwaDostawcy, const std::string& Doc, const std::string& NrKSeF,
                  const std::string& TypDok, Date DataZakupu, Date DataWplywu, bool IMP);
void SetBuyLineV7(RecordDraft& BuyLine, int Nr, const std::string& KodKraju, const std::string& NIP,
                  const std::string& NazwaDostawcy, const std::string& Doc, const std::string& NrKSeF,
                  const std::string& TypDok, Date DataZakupu, Date DataWplywu, bool IMP);

// The field's value rounded to 2 places (negated on request) into the
// record's element, placed where the schema puts it; 0 only with writeZero.
// An element of a net/tax pair of a sale or purchase record (K_15/K_16 ...
// K_31/K_32, K_40/K_41, K_42/K_43) brings its partner as 0 when the record
// has none yet: the schema takes them only together.
void SetAmountNode(const jpk::TypedNode& record, tables::Table& table, const std::string& elementName,
                   const std::string& fieldName, bool negate, bool writeZero);
void SetAmountNode(RecordDraft& record, tables::Table& table, const std::string& elementName,
                   const std::string& fieldName, bool negate, bool writeZero);

// A net/tax pair: both are written, a zero one as 0, when either is not 0;
// neither when both are 0.
void SetNetTaxNodes(const jpk::TypedNode& record, tables::Table& table, const std::string& netElement,
                    const std::string& netField, const std::string& taxElement, const std::string& taxField,
                    bool negate);
void SetNetTaxNodes(RecordDraft& record, tables::Table& table, const std::string& netElement,
                    const std::string& netField, const std::string& taxElement, const std::string& taxField,
                    bool negate);

// A 16-bit set read from a table field (GTU, Procedura); values beyond 16 bits
// keep their low 16 bits, as the source programs store them.
int16_t FieldSet16(tables::Table& table, const std::string& fieldName);

}  // namespace kx::jpk::v7m
