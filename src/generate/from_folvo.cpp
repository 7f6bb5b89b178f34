// JPK_V7M records from the register program's VAT register of the year,
// filtered on the month: register ids below 128 are sales, the rest purchases.

#include <string>
#include <utility>

#include "app/contractor.h"
#include "app/kxTools.h"
#include "app/source_tables.h"
#include "platform/error.h"
#include "jpk/v7m/line_writers.h"
#include "jpk/v7m/record_builder.h"
#include "generate/v7m_generate.h"

namespace kx::generate {
using namespace jpk::v7m;  // the JPK_V7M record helpers and line writers

namespace {

const VatRegisterFields& kFields = folvo::kRegisterFields;

std::string DocumentNumber(tables::Table& reg) {
  std::string number = reg.FieldByName(kFields.document).AsString();
  if (number.empty()) {
    throw Error(Format("Brak numeru dokumentu.\r%d %d", static_cast<int>(reg.FieldByName("RegId").AsInteger()),
                       static_cast<int>(reg.FieldByName("Number").AsInteger())));
  }
  return number;
}

double Value(tables::Table& reg, const char* field) { return reg.FieldByName(field).AsFloat(); }

void ReadSales(AppContext& ctx, GenJpkVatState& state, IXMLJPK doc, tables::Table& reg, tables::Table& users) {
  RecordBuilder records(doc.Ewidencja().Node());
  int n = 0;
  for (reg.First(); !reg.Eof(); reg.Next()) {
    if (folvo::IsPurchaseRegId(reg.FieldByName("RegId").AsInteger())) continue;
    ++n;
    std::string number = DocumentNumber(reg);
    Contractor c = ReadContractor(ctx, number, users, true);
    // Asked before the record exists, so Cancel leaves no empty record behind.
    std::string ksef = KsefReference(ctx, state, number, reg);
    auto line = RecordDraft::Sale();
    SetSaleLineV7(line, n, c.countryCode, c.nip, c.name, number, ksef, reg.FieldByName("TypDokumentu").AsString(),
                  reg.FieldByName(kFields.issueDate).AsDate(), reg.FieldByName(kFields.saleDate).AsDate(),
                  FieldSet16(reg, "GTU"), FieldSet16(reg, "Procedura"));
    SetAmountNode(line, reg, "K_10", kFields.valueFree, false, false);
    SetAmountNode(line, reg, "K_13", kFields.value0, false, false);
    if (number.rfind("TaxFree", 0) == 0) SetAmountNode(line, reg, "K_14", kFields.value0, false, false);
    SetNetTaxNodes(line, reg, "K_15", kFields.net5, "K_16", kFields.tax5, false);
    SetNetTaxNodes(line, reg, "K_17", kFields.net8, "K_18", kFields.tax8, false);
    SetNetTaxNodes(line, reg, "K_19", kFields.net23, "K_20", kFields.tax23, false);
    records.Add(std::move(line));
  }
  records.Finish();
}

void ReadPurchases(AppContext& ctx, GenJpkVatState& state, IXMLJPK doc, tables::Table& reg, tables::Table& users) {
  const AppSettings& s = ctx.AppSettings;
  RecordBuilder records(doc.Ewidencja().Node());
  int m = 0;
  for (reg.First(); !reg.Eof(); reg.Next()) {
    if (!folvo::IsPurchaseRegId(reg.FieldByName("RegId").AsInteger())) continue;
    ++m;
    std::string number = DocumentNumber(reg);
    Contractor c = ReadContractor(ctx, number, users, true);
    // Asked before the record exists, so Cancel leaves no empty record behind.
    std::string ksef = KsefReference(ctx, state, number, reg);
    auto line = RecordDraft::Purchase();
    SetBuyLineV7(line, m, c.countryCode, c.nip, c.name, number, ksef, reg.FieldByName("TypDokumentu").AsString(),
                 reg.FieldByName(kFields.purchaseDate).AsDate(), reg.FieldByName(kFields.receiptDate).AsDate(),
                 (FieldSet16(reg, "Procedura") & folvo::kProcedureIMP) != 0);
    double net = RoundAmount(kAmountDecimals, Value(reg, kFields.net23) + Value(reg, kFields.net8) +
                                                  Value(reg, kFields.net5) + Value(reg, kFields.value0));
    if (s.AddValZw2Net) net = RoundAmount(kAmountDecimals, net + Value(reg, kFields.valueFree));
    if (s.AddNPO2Net) net = RoundAmount(kAmountDecimals, net + Value(reg, kFields.nonDeductibleTax));
    double tax =
        RoundAmount(kAmountDecimals, Value(reg, kFields.tax23) + Value(reg, kFields.tax8) + Value(reg, kFields.tax5));
    line.SetDecimal("K_42", net);
    line.SetDecimal("K_43", tax);
    records.Add(std::move(line));
  }
  records.Finish();
}

}  // namespace

void GenerateFromFolvo(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc,
                       SkippedRows& /*skipped*/) {
  const AppSettings& s = ctx.AppSettings;
  tables::Table reg(ctx.Session);
  tables::Table users(ctx.Session);
  UsersTableExists = true;
  SetUpTable(ctx, users, folvo::kUsers, &reg);

  SetUpTable(ctx, reg, folvo::kRegister);
  reg.Open();
  RequireKsefField(reg);
  reg.SetFilter(folvo::MonthFilter(s.CurDate.month));
  reg.SetFiltered(true);
  users.Open();
  if (options.sale) ReadSales(ctx, state, doc, reg, users);
  if (options.buy) ReadPurchases(ctx, state, doc, reg, users);
}

}  // namespace kx::generate
