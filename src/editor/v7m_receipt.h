#pragma once
// Receipt ("paragon") sales: the one summary sale record of the month that
// stands for the fiscal register's periodic report, its dialog fields as
// plain data, the totals the dialog shows and the checks before it closes.

#include <optional>
#include <string>
#include <string_view>

#include "app/AppSettings.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "platform/ui/user_port.h"
#include "platform/xml/xml_node.h"

namespace kx::editor {

using jpk::v7m::IXMLJPK;

// The first sale record when its NrKontrahenta is "brak" in any letter case
// and it has no TypDokumentu or the type "RO"; null otherwise.
xml::XmlNode FindReceiptRecord(const IXMLJPK& jpk);
// A new receipt record placed before every other sale record: number 1,
// contractor "brak", DowodSprzedazyRO, the last day of the working month, DI,
// type "RO".
xml::XmlNode CreateReceiptRecord(IXMLJPK jpk, const AppSettings& settings);

// The element's text, or "" when it is missing.
std::string EditFromChild(const xml::XmlNode& record, std::string_view name);
// A text that is not empty is written unchanged into the element (made at its
// schema place when missing); an empty one removes the element.
void ChildFromEdit(xml::XmlNode record, std::string_view name, const std::string& text);

// The dialog's fields: the document number and the amounts of each rate.
// The comments name the dialog's control of each.
struct ReceiptFields {
  std::string document;      // DowodSprzedazy (edDowodSprzedazy)
  std::string net23, tax23;  // K_19, K_20 (edNet23, edTax23)
  std::string net8, tax8;    // K_17, K_18 (edNet8, edTax8)
  std::string net5, tax5;    // K_15, K_16 (edNet5, edTax5)
  std::string value0;        // K_13, sales at 0 % (edValue0)
  std::string exempt;        // K_10, exempt sales (edValueFree)
};

ReceiptFields ReadReceiptFields(const xml::XmlNode& record);
// DowodSprzedazy takes the field's text; the amounts go through ChildFromEdit.
void WriteReceiptFields(xml::XmlNode record, const ReceiptFields& fields);

// What the dialog shows beside the fields (edRecalc). A field that is not a
// number fails with the conversion message.
struct ReceiptTotals {
  std::string taxSum;  // the taxes of all rates (edSumVAT)
  std::string total;   // taxes and every amount (edTotal)
  // Typed tax less the tax computed from the net, per rate (edDiffV23,
  // edDiffV8, edDiffV5).
  std::string diff23, diff8, diff5;
};
ReceiptTotals RecalcReceipt(const ReceiptFields& fields);

// The key filter of the amount fields (edKeyPress): a comma becomes the
// point; digits, backspace, a leading minus and one point pass. False: the
// key is dropped with a beep.
bool AcceptAmountKey(const std::string& text, size_t caret, char& key);
// A typed amount as the key filter would have let it in: commas become points.
std::string AmountFieldText(std::string_view typed);

// The checks before the dialog closes with OK (FormCloseQuery), for 23 %,
// 8 % and 5 % in turn; a tax more than 1 % away from the computed one is put
// to the user. The first failure gives its message and the field that takes
// the focus ("edTax23", "edNet8" ...); nothing when all pass.
struct ReceiptCheckFailure {
  std::string message;
  std::string focus;
};
std::optional<ReceiptCheckFailure> CheckReceiptRates(const ReceiptFields& fields, ui::UserPort& ui);

}  // namespace kx::editor
