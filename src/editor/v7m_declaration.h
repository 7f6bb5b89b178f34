#pragma once
// The declaration part (VAT-7, variant 23) of a JPK_V7M document: computed
// from the records and the few values the user types, and removed again.

#include <cstdint>
#include <optional>
#include <string>

#include "jpk/model/Schemat_JPK_V7M3_v10E.h"

namespace kx::editor {

using jpk::v7m::IXMLJPK;

// The refund terms, in the order of their positions.
enum class RefundTerm { None, P540, P55, P56, P560, P58 };

// "540", "55", "56", "560", "58" (and "" for None), and back; nothing for
// any other text.
const char* RefundTermCode(RefundTerm term);
std::optional<RefundTerm> RefundTermFromCode(std::string_view code);

// The typed fields of the editor window. Amounts are texts of whole numbers;
// an empty text gives no position.
struct DeclarationInput {
  std::string p39, p49, p50, p52, p54;
  RefundTerm refund = RefundTerm::None;
  bool p59 = false;
  std::string p60, p61, ordzu;
};

struct DeclarationResult {
  enum class Status {
    Done,
    RefundWithoutTerm,  // P_54 typed, no term chosen: nothing changed
    TermWithoutRefund,  // a term chosen, P_54 empty: nothing changed
  };
  Status status = Status::Done;
  // P_49 or P_50 lowered to the tax left to pay: the new values, which the
  // window shows in money green.
  std::optional<int64_t> loweredP49, loweredP50;
};

// The warning texts of the two refund mismatches.
inline constexpr const char* kRefundWithoutTermText =
    "Wpisano kwotę do zwrotu (P_54) ale nie wybrano\rw jakiej formie go dokonać.";
inline constexpr const char* kTermWithoutRefundText =
    "Nie wpisano kwoty do zwrotu (P_54)\ra wybrano w jakiej formie go dokonać.";

// Computes the declaration of the document. Every failure (a typed amount
// that is not a whole number, a positive amount in a record marked
// KorektaPodstawyOpodt) comes before any change, so the document is either
// fully recomputed or left as it was. The markers P_63 to P_67, which
// nothing here computes or asks for, are kept from the previous declaration.
// Positions the schema takes only as pairs (P_15/P_16 ... P_31/P_32,
// P_40/P_41, P_42/P_43, P_68/P_69; P_12 and P_14 after P_11 and P_13) are
// written whole, the missing half as 0.
DeclarationResult CalcDeclaration(IXMLJPK jpk, const DeclarationInput& input);

// A new document with the header, subject and records of the given one and
// no declaration part; the given document is not changed.
IXMLJPK RebuildWithoutDeclaration(const IXMLJPK& jpk);

// A typed amount in grosze: blanks around are ignored, blanks (also no-break
// ones) may group the thousands ("20 000"), and one or two digits of grosze
// may follow after a comma or a point ("-1 234,5"). Nothing for any other
// text, or for more than 15 digits of złoty.
std::optional<int64_t> ParseTypedCents(std::string_view text);

// The same for whole złoty: grosze of zero may follow ("20 000,00"); fraction
// is set when they are not zero ("20 000,50"). Nothing beyond the range of a
// 32-bit number.
std::optional<int64_t> ParseWholeAmount(std::string_view text, bool& fraction);

// The same for the declaration position field (e.g. "P_39"): a text that is
// not such an amount fails naming the field; grosze that are not zero fail
// with "Kwoty deklaracji podaje się w pełnych złotych".
int64_t TypedWhole(const char* field, const std::string& text);

}  // namespace kx::editor
