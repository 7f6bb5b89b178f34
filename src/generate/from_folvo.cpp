// JPK_V7M records from the register program's VAT register of the year,
// filtered on the month: register ids below 128 are sales, the rest purchases.

#include <filesystem>
#include <string>

#include "app/contractor.h"
#include "app/kxTools.h"
#include "app/kx_error.h"
#include "generate/line_writers.h"
#include "generate/v7m_generate.h"

namespace kx::generate {
namespace {

constexpr int64_t kFirstPurchaseRegister = 128;

std::string DocumentNumber(tables::Table& reg) {
  std::string number = reg.FieldByName("DocName").AsString();
  if (number.empty()) {
    throw Error(Format("Brak numeru dokumentu.\r%d %d", static_cast<int>(reg.FieldByName("RegId").AsInteger()),
                       static_cast<int>(reg.FieldByName("Number").AsInteger())));
  }
  return number;
}

double Value(tables::Table& reg, const char* field) { return reg.FieldByName(field).AsFloat(); }

void ReadSales(AppContext& ctx, GenJpkVatState& state, IXMLJPK doc, tables::Table& reg, tables::Table& users) {
  auto list = doc.Ewidencja().SprzedazWiersz();
  int n = 0;
  for (reg.First(); !reg.Eof(); reg.Next()) {
    if (reg.FieldByName("RegId").AsInteger() >= kFirstPurchaseRegister) continue;
    ++n;
    std::string number = DocumentNumber(reg);
    Contractor c = ReadContractor(ctx, number, users, true);
    // Asked before the record exists, so Cancel leaves no empty record behind.
    std::string ksef = KsefReference(ctx, state, number, reg);
    auto line = list.Add();
    SetSaleLineV7(line, n, c.countryCode, c.nip, c.name, number, ksef,
                  reg.FieldByName("TypDokumentu").AsString(), reg.FieldByName("RegDate").AsDate(),
                  reg.FieldByName("SaleDate").AsDate(), FieldSet16(reg, "GTU"), FieldSet16(reg, "Procedura"));
    SetAmountNode(line, reg, "K_10", "ValueFree", false, false);
    SetAmountNode(line, reg, "K_13", "Value0", false, false);
    if (number.rfind("TaxFree", 0) == 0) SetAmountNode(line, reg, "K_14", "Value0", false, false);
    SetNetTaxNodes(line, reg, "K_15", "Net3", "K_16", "Vat3", false);
    SetNetTaxNodes(line, reg, "K_17", "Net7", "K_18", "Vat7", false);
    SetNetTaxNodes(line, reg, "K_19", "Net22", "K_20", "Vat22", false);
  }
}

void ReadPurchases(AppContext& ctx, GenJpkVatState& state, IXMLJPK doc, tables::Table& reg, tables::Table& users) {
  const TAppSettings& s = ctx.AppSettings;
  auto list = doc.Ewidencja().ZakupWiersz();
  int m = 0;
  for (reg.First(); !reg.Eof(); reg.Next()) {
    if (reg.FieldByName("RegId").AsInteger() < kFirstPurchaseRegister) continue;
    ++m;
    std::string number = DocumentNumber(reg);
    Contractor c = ReadContractor(ctx, number, users, true);
    // Asked before the record exists, so Cancel leaves no empty record behind.
    std::string ksef = KsefReference(ctx, state, number, reg);
    auto line = list.Add();
    SetBuyLineV7(line, m, c.countryCode, c.nip, c.name, number, ksef,
                 reg.FieldByName("TypDokumentu").AsString(), reg.FieldByName("SaleDate").AsDate(),
                 reg.FieldByName("RegDate").AsDate(), (FieldSet16(reg, "Procedura") & 2) != 0);
    double net = RoundAmount(2, Value(reg, "Net22") + Value(reg, "Net7") + Value(reg, "Net3") + Value(reg, "Value0"));
    if (s.AddValZw2Net) net = RoundAmount(2, net + Value(reg, "ValueFree"));
    if (s.AddNPO2Net) net = RoundAmount(2, net + Value(reg, "VatNoDeduct"));
    double tax = RoundAmount(2, Value(reg, "Vat22") + Value(reg, "Vat7") + Value(reg, "Vat3"));
    line.SetK_42(net);
    line.SetK_43(tax);
  }
}

}  // namespace

void GenerateFromFolvo(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc) {
  const TAppSettings& s = ctx.AppSettings;
  tables::Table reg(ctx.Session);
  tables::Table users(ctx.Session);
  UsersTableExists = true;
  users.SetTableName(s.UserDir + "Users");
  users.SetIndexFieldNames("Number");
  users.SetMasterSource(&reg);
  users.SetMasterFields("FirmId");

  reg.SetTableName(s.FolvoDir + Format("%04d", s.CurDate.year) +
                   std::string(1, std::filesystem::path::preferred_separator) + "Register");
  reg.Open();
  RequireKsefField(reg);
  reg.SetFilter(Format("[VATMonth] = %d", s.CurDate.month));
  reg.SetFiltered(true);
  users.Open();
  if (options.sale) ReadSales(ctx, state, doc, reg, users);
  if (options.buy) ReadPurchases(ctx, state, doc, reg, users);
}

}  // namespace kx::generate
