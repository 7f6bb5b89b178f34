// JPK_FA(4) from the warehouse program's sales invoices of one month: one
// Faktura per invoice with its amounts by rate, one FakturaWiersz per row,
// and the two control elements.
//
// Two walks over the month's documents: the invoice pass writes every
// Faktura and then FakturaCtrl, the row pass every FakturaWiersz and then
// FakturaWierszCtrl, so each control element follows its records.

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "app/contractor.h"
#include "app/kxTools.h"
#include "app/source_tables.h"
#include "export/towix_export.h"
#include "jpk/files/jpkTools.h"
#include "jpk/v7m/line_writers.h"
#include "platform/decimal_text.h"
#include "platform/error.h"

namespace kx::exports {
using namespace towix;
using jpk::fa::IXMLJPK_Faktura;
using jpk::fa::IXMLJPK_FakturaWiersz;
using jpk::fa::IXMLJPKFA;
using jpk::v7m::SetAmountNode;

namespace {

constexpr int kQuantityDecimals = 6;
constexpr size_t kGoodsNameChars = 40;
constexpr const char* kDefaultUnit = "szt.";
constexpr const char* kDefaultCorrectionReason = "zwrot towaru";

// Rates P_12 may hold as numbers; below -1 a row is exempt ("zw").
constexpr std::array<std::string_view, 8> kRates = {"23", "22", "8", "7", "5", "4", "3", "0"};

// Country prefixes P_5A may hold: the EU codes and GB.
bool IsBuyerCountryPrefix(const std::string& code) {
  return code == "GB" || (code.size() == 2 && IsEuCountryCode(code));
}

// The first `count` characters of a UTF-8 text.
std::string FirstChars(const std::string& text, size_t count) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    bool leadByte = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (leadByte && chars++ == count) return text.substr(0, i);
  }
  return text;
}

// The rate of a row as P_12 writes it; a rate the schema does not list stops
// the export.
std::string RateCode(double vat, const std::string& invoice) {
  if (vat < -1) return "zw";
  std::string rate = DecimalText(vat);
  for (std::string_view allowed : kRates) {
    if (rate == allowed) return rate;
  }
  throw Error(Format("Faktura %s: stawka VAT %s nie jest dozwolona w JPK_FA", invoice.c_str(), rate.c_str()));
}

class FaWriter {
 public:
  FaWriter(AppContext& ctx, WarehouseTables& t, IXMLJPKFA root, const std::function<void()>& made)
      : m_ctx(ctx),
        m_t(t),
        m_root(root),
        m_made(made),
        m_type(t.wi.FieldByName("Type")),
        m_name(t.wi.FieldByName("Name")),
        m_date(t.wi.FieldByName("Date")),
        m_saleDate(t.wi.FieldByName("SaleDate")),
        m_options(t.wi.FieldByName("Options")),
        m_comment(t.wi.FieldByName("Comment")),
        m_masterNumber(t.wi.FieldByName("MasterNumber")),
        m_regFlags(t.reg.FieldByName("Flags")),
        m_regValue(t.reg.FieldByName("Value")),
        m_quantity(t.wt.FieldByName("Quantity")),
        m_price(t.wt.FieldByName("Price")),
        m_vat(t.wt.FieldByName("VAT")),
        m_goodsName(t.w.FieldByName("Name")),
        m_unit(t.w.FieldByName("Unit")) {}

  // Each pass returns the number of elements it made.
  int InvoicePass() {
    int count = 0;
    double sum = 0;
    auto invoices = m_root.Faktura();
    for (m_t.wi.First(); !m_t.wi.Eof(); m_t.wi.Next()) {
      if (!Taken()) continue;
      ++count;
      AddInvoice(invoices.Add());
      sum = RoundAmount(kAmountDecimals, sum + m_regValue.AsFloat());
      if (m_made) m_made();
    }
    if (count == 0) throw Error("Brak faktur w wybranym miesiącu");
    auto ctrl = m_root.FakturaCtrl();
    ctrl.SetLiczbaFaktur(count);
    ctrl.SetWartoscFaktur(sum);
    return count;
  }

  int RowPass() {
    int count = 0;
    double sum = 0;
    auto rows = m_root.FakturaWiersz();
    for (m_t.wi.First(); !m_t.wi.Eof(); m_t.wi.Next()) {
      if (!Taken()) continue;
      std::string invoice = m_name.AsString();
      bool gross = (m_options.AsInteger() & kDocGrossPrices) != 0;
      for (m_t.wt.First(); !m_t.wt.Eof(); m_t.wt.Next()) {
        ++count;
        sum = RoundAmount(kAmountDecimals, sum + AddRow(rows.Add(), invoice, gross));
        if (m_made) m_made();
      }
    }
    // The schema needs at least one row in the file.
    if (count == 0) throw Error("Brak pozycji faktur w wybranym miesiącu");
    auto ctrl = m_root.FakturaWierszCtrl();
    ctrl.SetLiczbaWierszyFaktur(count);
    ctrl.SetWartoscWierszyFaktur(sum);
    return count;
  }

 private:
  // An invoice kind whose register row is not marked to be left out.
  bool Taken() { return IsFaKind(m_type.AsInteger()) && (m_regFlags.AsInteger() & kRegSkip) == 0; }

  void AddInvoice(IXMLJPK_Faktura invoice) {
    const AppSettings& s = m_ctx.AppSettings;
    int64_t type = m_type.AsInteger();
    std::string number = m_name.AsString();

    invoice.SetKodWaluty("PLN");
    Contractor c = ReadContractor(m_ctx, number, m_t.ContractorTable(), KindChecksNip(type));
    invoice.SetP_1(m_date.AsString());
    invoice.SetP_2A(number);
    invoice.SetP_3A(c.name);
    if (!c.address.empty()) invoice.SetP_3B(c.address);
    invoice.SetP_3C(s.Nazwa);
    invoice.SetP_3D(s.AddressLine);
    if (!s.NIP.empty()) invoice.SetP_4B(s.NIP);
    WriteBuyerId(invoice, c);
    if (!m_saleDate.IsNull() && m_saleDate.AsDate() != m_date.AsDate()) invoice.SetP_6(m_saleDate.AsString());

    WriteNetTax(invoice, "P_13_1", "Value22", "P_14_1", "Tax22");
    WriteNetTax(invoice, "P_13_2", "Value7", "P_14_2", "Tax7");
    WriteNetTax(invoice, "P_13_3", "Value3", "P_14_3", "Tax3");
    SetAmountNode(invoice, m_t.reg, "P_13_6", "Value0", false, false);
    SetAmountNode(invoice, m_t.reg, "P_13_7", "ValueFree", false, false);
    SetAmountNode(invoice, m_t.reg, "P_15", "Value", false, true);  // mandatory, also when 0

    invoice.SetP_16(false);
    invoice.SetP_17(false);
    invoice.SetP_18(false);
    invoice.SetP_18A((m_regFlags.AsInteger() & kRegSplitPayment) != 0);
    invoice.SetP_19(false);
    invoice.SetP_20(false);
    invoice.SetP_21(false);
    invoice.SetP_22(false);
    invoice.SetP_23(false);
    invoice.SetP_106E_2(false);
    invoice.SetP_106E_3(false);

    if (type % 2 == 0) {
      invoice.SetRodzajFaktury("VAT");
      return;
    }
    invoice.SetRodzajFaktury("KOREKTA");
    std::string reason = m_comment.AsString();
    invoice.SetPrzyczynaKorekty(reason.empty() ? kDefaultCorrectionReason : reason);
    if (!m_t.FindMaster()) throw Error(number + "  > brak dokumentu korygowanego o nr: " + m_masterNumber.AsString());
    invoice.SetNrFaKorygowanej(m_t.master.FieldByName("Name").AsString());
    invoice.SetOkresFaKorygowanej(m_t.master.FieldByName("Date").AsString());
  }

  // P_5A holds a prefix of the schema's list only; otherwise the whole
  // identifier, prefix included, goes into P_5B (a Swiss "CHE..." number).
  static void WriteBuyerId(IXMLJPK_Faktura invoice, const Contractor& c) {
    std::string id = c.nip;
    if (IsBuyerCountryPrefix(c.countryCode)) {
      invoice.SetP_5A(c.countryCode);
    } else if (!c.nipCountry.empty() && c.nipCountry != "PL") {
      id = c.nipCountry + id;
    }
    if (!id.empty()) invoice.SetP_5B(id);
  }

  // A net and tax pair: both written when either is not 0, as the schema
  // wants them together.
  void WriteNetTax(IXMLJPK_Faktura invoice, const char* netElement, const char* netField, const char* taxElement,
                   const char* taxField) {
    double net = RoundAmount(kAmountDecimals, m_t.reg.FieldByName(netField).AsFloat());
    double tax = RoundAmount(kAmountDecimals, m_t.reg.FieldByName(taxField).AsFloat());
    bool pair = net != 0 || tax != 0;
    SetAmountNode(invoice, m_t.reg, netElement, netField, false, pair);
    SetAmountNode(invoice, m_t.reg, taxElement, taxField, false, pair);
  }

  // One row of the current document; returns its P_11.
  double AddRow(IXMLJPK_FakturaWiersz row, const std::string& invoice, bool gross) {
    double quantity = m_quantity.AsFloat();
    double price = m_price.AsFloat();
    double vat = m_vat.AsFloat();

    row.SetP_2B(invoice);
    std::string name = FirstChars(m_goodsName.AsString(), kGoodsNameChars);
    if (!name.empty()) row.SetP_7(name);
    std::string unit = m_unit.AsString();
    row.SetP_8A(unit.empty() ? kDefaultUnit : unit);
    row.SetP_8B(RoundAmount(kQuantityDecimals, quantity));

    double netPrice = NetFromGross(price, vat);
    row.SetP_9A(netPrice);
    row.SetP_9B(RoundAmount(kAmountDecimals, price));
    row.SetP_10(0);
    double value = gross ? NetFromGross(quantity * price, vat) : RoundAmount(kAmountDecimals, netPrice * quantity);
    row.SetP_11(value);
    if (gross) row.SetP_11A(RoundAmount(kAmountDecimals, price * quantity));
    row.SetP_12(RateCode(vat, invoice));
    return value;
  }

  AppContext& m_ctx;
  WarehouseTables& m_t;
  IXMLJPKFA m_root;
  const std::function<void()>& m_made;
  tables::Field& m_type;
  tables::Field& m_name;
  tables::Field& m_date;
  tables::Field& m_saleDate;
  tables::Field& m_options;
  tables::Field& m_comment;
  tables::Field& m_masterNumber;
  tables::Field& m_regFlags;
  tables::Field& m_regValue;
  tables::Field& m_quantity;
  tables::Field& m_price;
  tables::Field& m_vat;
  tables::Field& m_goodsName;
  tables::Field& m_unit;
};

}  // namespace

FaCounts WriteJpkFa(AppContext& ctx, WarehouseTables& t, IXMLJPKFA root, const std::function<void()>& made) {
  jpk::PrepareFADocument(root);
  jpk::FillFAHeader(ctx, root);
  FaWriter writer(ctx, t, root, made);
  FaCounts counts;
  counts.invoices = writer.InvoicePass();
  counts.rows = writer.RowPass();
  return counts;
}

IXMLJPKFA MakeJpkFa(AppContext& ctx, WarehouseTables& t) {
  IXMLJPKFA root = jpk::fa::NewJPKFA();
  WriteJpkFa(ctx, t, root);
  return root;
}

}  // namespace kx::exports
