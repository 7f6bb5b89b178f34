#include "editor/v7m_receipt.h"

#include <cmath>
#include <cstdlib>

#include "app/kxTools.h"
#include "platform/error.h"
#include "jpk/v7m/v7m_order.h"
#include "jpk/v7m/v7m_records.h"
#include "jpk/files/jpkTools.h"
#include "platform/decimal_text.h"
#include "platform/text_utils.h"

namespace kx::editor {
using namespace jpk::v7m;  // the JPK_V7M record helpers

namespace {

// A typed amount: [-]digits[.digits]; anything else fails as the number
// conversion does.
double FieldNumber(const std::string& text) {
  size_t i = 0;
  if (i < text.size() && text[i] == '-') ++i;
  int digits = 0;
  bool point = false;
  bool ok = i < text.size();
  for (; i < text.size() && ok; ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      ++digits;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      ok = false;
    }
  }
  if (!ok || digits == 0) throw Error(Format("\"%s\" nie jest poprawną liczbą", text.c_str()));
  return std::strtod(text.c_str(), nullptr);
}

double FieldValue(const std::string& text) { return text.empty() ? 0 : FieldNumber(text); }

struct Rate {
  double rate;
  std::string ReceiptFields::*net;
  std::string ReceiptFields::*tax;
  const char* netName;
  const char* taxName;
};

constexpr Rate kRates[] = {
    {23, &ReceiptFields::net23, &ReceiptFields::tax23, "edNet23", "edTax23"},
    {8, &ReceiptFields::net8, &ReceiptFields::tax8, "edNet8", "edTax8"},
    {5, &ReceiptFields::net5, &ReceiptFields::tax5, "edNet5", "edTax5"},
};

struct AmountField {
  std::string ReceiptFields::*field;
  const char* element;
};

constexpr AmountField kAmountFields[] = {
    {&ReceiptFields::net23, "K_19"},  {&ReceiptFields::tax23, "K_20"},  {&ReceiptFields::net8, "K_17"},
    {&ReceiptFields::tax8, "K_18"},   {&ReceiptFields::net5, "K_15"},   {&ReceiptFields::tax5, "K_16"},
    {&ReceiptFields::value0, "K_13"}, {&ReceiptFields::exempt, "K_10"},
};

}  // namespace

xml::XmlNode FindReceiptRecord(const IXMLJPK& jpk) {
  if (jpk.IsNull()) return {};
  xml::XmlNode first = FirstSaleRecord(jpk.Node().FindChild("Ewidencja"));
  if (first.IsNull() || !EqualsIgnoreCase(ChildText(first, "NrKontrahenta"), "brak")) return {};
  xml::XmlNode type = first.FindChild("TypDokumentu");
  return type.IsNull() || type.Text() == "RO" ? first : xml::XmlNode();
}

xml::XmlNode CreateReceiptRecord(IXMLJPK jpk, const AppSettings& settings) {
  if (settings.CurDate.month < 1 || settings.CurDate.month > 12) {
    throw Error("Brak miesiąca roboczego (CurDate) w konfiguracji");
  }
  xml::XmlNode ewidencja = EnsureChildInOrder(jpk.Node(), "Ewidencja", kRootOrder);
  xml::XmlNode first = FirstSaleRecord(ewidencja);
  xml::XmlNode record = ewidencja.AddChild("SprzedazWiersz", first.IsNull() ? 0 : ewidencja.IndexOfChild(first));
  record.AddChild("LpSprzedazy").SetText("1");
  record.AddChild("NrKontrahenta").SetText("brak");
  record.AddChild("NazwaKontrahenta").SetText("brak");
  record.AddChild("DowodSprzedazy").SetText(settings.DowodSprzedazyRO);
  record.AddChild("DataWystawienia").SetText(tables::DateText(jpk::LastDayOfMonth(settings.CurDate)));
  record.AddChild("DI").SetText("1");
  record.AddChild("TypDokumentu").SetText("RO");
  return record;
}

std::string EditFromChild(const xml::XmlNode& record, std::string_view name) { return ChildText(record, name); }

void ChildFromEdit(xml::XmlNode record, std::string_view name, const std::string& text) {
  if (!text.empty()) {
    SetChildInOrder(record, name, text, kSaleRecordOrder);
  } else if (xml::XmlNode child = record.FindChild(name)) {
    record.RemoveChild(child);
  }
}

ReceiptFields ReadReceiptFields(const xml::XmlNode& record) {
  ReceiptFields f;
  f.document = ChildText(record, "DowodSprzedazy");
  for (const AmountField& a : kAmountFields) f.*a.field = EditFromChild(record, a.element);
  return f;
}

void WriteReceiptFields(xml::XmlNode record, const ReceiptFields& fields) {
  SetChildInOrder(record, "DowodSprzedazy", fields.document, kSaleRecordOrder);
  for (const AmountField& a : kAmountFields) ChildFromEdit(record, a.element, fields.*a.field);
}

ReceiptTotals RecalcReceipt(const ReceiptFields& f) {
  ReceiptTotals t;
  double vat = FieldValue(f.tax23) + FieldValue(f.tax8) + FieldValue(f.tax5);
  t.taxSum = DecimalText(vat);
  double total =
      vat + FieldValue(f.net23) + FieldValue(f.net8) + FieldValue(f.net5) + FieldValue(f.value0) + FieldValue(f.exempt);
  t.total = DecimalText(total);
  std::string* diffs[] = {&t.diff23, &t.diff8, &t.diff5};
  for (int i = 0; i < 3; ++i) {
    const Rate& r = kRates[i];
    const std::string& net = f.*r.net;
    const std::string& tax = f.*r.tax;
    *diffs[i] =
        net.empty() || tax.empty()
            ? "0"
            : DecimalText(RoundAmount(kAmountDecimals, FieldNumber(tax) - TaxFromNet(FieldNumber(net), r.rate)));
  }
  return t;
}

bool AcceptAmountKey(const std::string& text, size_t caret, char& key) {
  if (key == ',') key = '.';
  if (key == '\b' || (key >= '0' && key <= '9')) return true;
  if (key == '-') return caret == 0 && text.find('-') == std::string::npos;
  if (key == '.') return text.find('.') == std::string::npos;
  return false;
}

std::string AmountFieldText(std::string_view typed) {
  std::string text(typed);
  for (char& c : text) {
    if (c == ',') c = '.';
  }
  return text;
}

std::optional<ReceiptCheckFailure> CheckReceiptRates(const ReceiptFields& f, ui::UserPort& ui) {
  for (const Rate& r : kRates) {
    const std::string& net = f.*r.net;
    const std::string& tax = f.*r.tax;
    if (net.empty() && tax.empty()) continue;
    if (net.empty()) return ReceiptCheckFailure{Format("Brak wartości netto w stawce %.0f%%", r.rate), r.netName};
    if (tax.empty()) return ReceiptCheckFailure{Format("Brak wartości podatku w stawce %.0f%%", r.rate), r.taxName};
    double netValue = FieldNumber(net);
    if (netValue <= 1) continue;
    double computed = TaxFromNet(netValue, r.rate);
    double typed = FieldNumber(tax);
    if (std::fabs(1 - computed / typed) > 0.01) {
      std::string question =
          Format("Podatek w stawce %.0f%% wynoszący: %f\rzbyt różni się od wyliczonego: %f\rRóżnica: %f\rZaakceptować?",
                 r.rate, typed, computed, typed - computed);
      if (ui.Ask(ui::BoxKind::Confirmation, question, {ui::Button::Yes, ui::Button::No}, ui::Button::No) !=
          ui::Button::Yes) {
        return ReceiptCheckFailure{"Wartość spoza zakresu", r.taxName};
      }
    }
  }
  return std::nullopt;
}

}  // namespace kx::editor
