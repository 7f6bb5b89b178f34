// JPK_V7M records from the warehouse program's VAT register of the month.

#include <string>
#include <utility>

#include "app/contractor.h"
#include "app/kxTools.h"
#include "app/source_tables.h"
#include "platform/error.h"
#include "jpk/v7m/line_writers.h"
#include "jpk/v7m/record_builder.h"
#include "generate/v7m_generate.h"
#include "jpk/files/jpkTools.h"

namespace kx::generate {
using namespace jpk::v7m;  // the JPK_V7M record helpers and line writers
using namespace towix;     // the register's classes and flag bits

namespace {

std::string DocumentNumber(tables::Table& reg) {
  std::string doc = reg.FieldByName("Document").AsString();
  if (doc.empty()) {
    throw Error(Format("Brak numeru dokumentu (%d-%d-%d-%d)", static_cast<int>(reg.FieldByName("Class").AsInteger()),
                       static_cast<int>(reg.FieldByName("Year").AsInteger()),
                       static_cast<int>(reg.FieldByName("MagId").AsInteger()),
                       static_cast<int>(reg.FieldByName("Number").AsInteger())));
  }
  return doc;
}

std::string MonthFilter(const char* field, tables::Date curDate) {
  std::string first = tables::DateText(jpk::FirstDayOfMonth(curDate));
  std::string last = tables::DateText(jpk::LastDayOfMonth(curDate));
  return Format("(%s >= %s) and (%s <= %s)", field, first.c_str(), field, last.c_str());
}

void ReadSales(AppContext& ctx, GenJpkVatState& state, IXMLJPK doc, tables::Table& reg, tables::Table& users,
               SkippedRows& skipped) {
  const AppSettings& s = ctx.AppSettings;
  auto ewidencja = doc.Ewidencja();
  RecordBuilder records(ewidencja.Node());
  int n = 0;
  double total = 0;
  for (reg.First(); !reg.Eof(); reg.Next()) {
    int64_t cls = reg.FieldByName("Class").AsInteger();
    int64_t flags = reg.FieldByName("Flags").AsInteger();
    bool cancelled = false;
    if (IsSaleDocType(s, cls) && (flags & kRegSkip) == 0) {
      // an ordinary sale
    } else if (cls == kClassCancelledReceipt && (flags & kRegSkip) != 0 && s.AddAnulParag) {
      cancelled = true;
    } else {
      if (IsSaleDocType(s, cls)) ++skipped["dokumenty sprzedaży oznaczone w rejestrze do pominięcia"];
      if (cls == kClassCancelledReceipt && (flags & kRegSkip) != 0) ++skipped["anulowane paragony (AddAnulParag = 0)"];
      continue;
    }

    ++n;
    std::string number = DocumentNumber(reg);
    Contractor c = ReadContractor(ctx, number, users, RegisterClassChecksNip(cls));
    if (cancelled) number = "Korekta: " + number;

    std::string type;
    if ((flags & kRegFP) != 0 || IsFpClass(cls)) {
      type = "FP";
    } else if (cancelled) {
      type = "WEW";
    }
    int16_t procedure = (flags & kRegTP) != 0 ? 4 : 0;

    // Asked before the record exists, so Cancel leaves no empty record behind.
    std::string ksef = KsefReference(ctx, state, number, reg);
    auto line = RecordDraft::Sale();
    SetSaleLineV7(line, n, c.countryCode, c.nip, c.name, number, ksef, type, reg.FieldByName("Date").AsDate(),
                  reg.FieldByName("SaleDate").AsDate(), FieldSet16(reg, "GTU"), procedure);

    if (IsForeignSaleClass(cls)) {
      bool eu = IsEuSaleClass(cls);
      if ((flags & kRegGoods) == 0) {
        SetAmountNode(line, reg, "K_11", "Value", false, false);
        if (eu) SetAmountNode(line, reg, "K_12", "Value", false, false);
      } else {
        SetAmountNode(line, reg, eu ? "K_21" : "K_22", "Value", false, false);
      }
    } else {
      SetAmountNode(line, reg, "K_10", "ValueFree", cancelled, false);
      SetAmountNode(line, reg, "K_13", "Value0", cancelled, false);
      SetNetTaxNodes(line, reg, "K_15", "Value3", "K_16", "Tax3", cancelled);
      SetNetTaxNodes(line, reg, "K_17", "Value7", "K_18", "Tax7", cancelled);
      SetNetTaxNodes(line, reg, "K_19", "Value22", "K_20", "Tax22", cancelled);
    }

    records.Add(std::move(line));

    if (type != "FP") {
      double tax = reg.FieldByName("TotalTax").AsFloat();
      total = RoundAmount(kAmountDecimals, total + (cancelled ? -tax : tax));
    }
  }
  records.Finish();
  auto ctrl = ewidencja.SprzedazCtrl();
  ctrl.SetLiczbaWierszySprzedazy(static_cast<uint32_t>(n));
  ctrl.SetPodatekNalezny(total);
}

void ReadPurchases(AppContext& ctx, GenJpkVatState& state, IXMLJPK doc, tables::Table& reg, tables::Table& users,
                   SkippedRows& skipped) {
  const AppSettings& s = ctx.AppSettings;
  int64_t skipMask = s.AddCostInvo ? kRegSkip : (kRegSkip | kRegCostInvoice);
  auto ewidencja = doc.Ewidencja();
  RecordBuilder records(ewidencja.Node());
  int m = 0;
  double total = 0;
  for (reg.First(); !reg.Eof(); reg.Next()) {
    int64_t cls = reg.FieldByName("Class").AsInteger();
    int64_t flags = reg.FieldByName("Flags").AsInteger();
    if (!IsPurchaseClass(cls)) continue;
    if ((flags & skipMask) != 0) {
      ++skipped[(flags & kRegSkip) != 0 ? "dokumenty zakupu oznaczone w rejestrze do pominięcia"
                                        : "faktury kosztowe (AddCostInvo = 0)"];
      continue;
    }

    ++m;
    std::string number = DocumentNumber(reg);
    Contractor c = ReadContractor(ctx, number, users, true);
    // Asked before the record exists, so Cancel leaves no empty record behind.
    std::string ksef = KsefReference(ctx, state, number, reg);
    auto line = RecordDraft::Purchase();
    SetBuyLineV7(line, m, c.countryCode, c.nip, c.name, number, ksef, "", reg.FieldByName("SaleDate").AsDate(),
                 reg.FieldByName("Date").AsDate(), (flags & kRegIMP) != 0);

    double net =
        RoundAmount(kAmountDecimals, reg.FieldByName("Value22").AsFloat() + reg.FieldByName("Value7").AsFloat() +
                                         reg.FieldByName("Value3").AsFloat() + reg.FieldByName("Value0").AsFloat() +
                                         reg.FieldByName("ValueFree").AsFloat());
    double tax = RoundAmount(kAmountDecimals, reg.FieldByName("TotalTax").AsFloat());
    if ((flags & kRegHalved) != 0) {
      net = RoundAmount(kAmountDecimals, net / 2);
      tax = RoundAmount(kAmountDecimals, tax / 2);
    }
    line.SetDecimal("K_42", net);
    line.SetDecimal("K_43", tax);
    records.Add(std::move(line));
    total = RoundAmount(kAmountDecimals, total + tax);
  }
  records.Finish();
  auto ctrl = ewidencja.ZakupCtrl();
  ctrl.SetLiczbaWierszyZakupow(static_cast<uint32_t>(m));
  ctrl.SetPodatekNaliczony(total);
}

}  // namespace

void GenerateFromTowix(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc,
                       SkippedRows& skipped) {
  const AppSettings& s = ctx.AppSettings;
  tables::Table reg(ctx.Session);
  tables::Table users(ctx.Session);

  SetUpTable(ctx, reg, kVatRegister);
  reg.Open();
  RequireKsefField(reg);

  UsersTableExists = SourceTableExists(s, kVatUsers);

  if (options.sale) {
    SetUpTable(ctx, users, VatContractors(UsersTableExists, true), &reg);
    reg.SetFilter(MonthFilter(s.RegBySaleDate ? "SaleDate" : "Date", s.CurDate));
    reg.SetFiltered(true);
    users.Open();
    ReadSales(ctx, state, doc, reg, users, skipped);
    users.Close();
  }
  if (options.buy) {
    SetUpTable(ctx, users, VatContractors(UsersTableExists, false), &reg);
    reg.SetFilter(MonthFilter("Date", s.CurDate));
    reg.SetFiltered(true);
    users.Open();
    ReadPurchases(ctx, state, doc, reg, users, skipped);
    users.Close();
  }
}

}  // namespace kx::generate
