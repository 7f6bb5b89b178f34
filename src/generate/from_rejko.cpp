// JPK_V7M records from the bookkeeping program's VAT registers of the month:
// the single table "Register" or the older nine registers of the year folder.

#include <string>
#include <utility>
#include <vector>

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

struct Register {
  const SourceTable* table;
  std::string filter;
  bool asSale = false;
  bool asBuy = false;
};

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

class RejkoReader {
 public:
  RejkoReader(AppContext& ctx, GenJpkVatState& state, IXMLJPK doc, tables::Table& reg, tables::Table& users,
              bool singleTable)
      // clang-format off
      : m_ctx(ctx), m_state(state), m_doc(doc), m_reg(reg), m_users(users), m_single(singleTable),
        m_f(singleTable ? rejko::kSingleRegisterFields : rejko::kNineRegistersFields) {}
  // clang-format on

  void Sales(const std::string& regName) {
    const AppSettings& s = m_ctx.AppSettings;
    bool zakup2Ex = !m_single && s.Zakup2Ex && regName == rejko::kZakup2ExRegister;
    bool importServices = !m_single && s.Sprzedaz2ImpUslugEx && regName == rejko::kSprzedaz2ImpUslugExRegister;
    RecordBuilder records(m_doc.Ewidencja().Node());
    int n = 0;
    for (m_reg.First(); !m_reg.Eof(); m_reg.Next()) {
      ++n;
      std::string number = DocumentNumber(regName);
      Contractor c = ReadContractor(m_ctx, number, m_users, true);
      tables::Date issue = m_reg.FieldByName(m_f.issueDate).AsDate();
      // A purchase read as a sale: its receipt date is the sale date.
      tables::Date sale = m_reg.FieldByName(zakup2Ex ? m_f.receiptDate : m_f.saleDate).AsDate();
      // Asked before the record exists, so Cancel leaves no empty record behind.
      std::string ksef = KsefReference(m_ctx, m_state, number, m_reg);
      auto line = RecordDraft::Sale();
      SetSaleLineV7(line, n, c.countryCode, c.nip, c.name, number, ksef, m_reg.FieldByName("TypDokumentu").AsString(),
                    issue, sale, FieldSet16(m_reg, "GTU"), FieldSet16(m_reg, "Procedura"));
      if (zakup2Ex) {
        SetAmountNode(line, m_reg, "K_25", m_f.net23, false, false);
        SetAmountNode(line, m_reg, "K_26", m_f.tax23, false, false);
      } else if (importServices) {
        SetAmountNode(line, m_reg, "K_29", m_f.net23, false, false);
        SetAmountNode(line, m_reg, "K_30", m_f.tax23, false, false);
      } else {
        SetAmountNode(line, m_reg, "K_10", m_f.valueFree, false, false);
        SetAmountNode(line, m_reg, "K_13", m_f.value0, false, false);
        if (StartsWith(number, "TaxFree")) SetAmountNode(line, m_reg, "K_14", m_f.value0, false, false);
        SetNetTaxNodes(line, m_reg, "K_15", m_f.net5, "K_16", m_f.tax5, false);
        SetNetTaxNodes(line, m_reg, "K_17", m_f.net8, "K_18", m_f.tax8, false);
        SetNetTaxNodes(line, m_reg, "K_19", m_f.net23, "K_20", m_f.tax23, false);
      }
      records.Add(std::move(line));
    }
    records.Finish();
  }

  void Purchases(const std::string& regName) {
    const AppSettings& s = m_ctx.AppSettings;
    RecordBuilder records(m_doc.Ewidencja().Node());
    bool fixedAssets = regName == rejko::kFixedAssetsRegister;
    int m = 0;
    for (m_reg.First(); !m_reg.Eof(); m_reg.Next()) {
      ++m;
      std::string number = DocumentNumber(regName);
      Contractor c = ReadContractor(m_ctx, number, m_users, true);
      tables::Date purchase = m_reg.FieldByName(m_f.purchaseDate).AsDate();
      tables::Date receipt = m_reg.FieldByName(m_f.receiptDate).AsDate();
      // Asked before the record exists, so Cancel leaves no empty record behind.
      std::string ksef = KsefReference(m_ctx, m_state, number, m_reg);
      auto line = RecordDraft::Purchase();
      SetBuyLineV7(line, m, c.countryCode, c.nip, c.name, number, ksef, m_reg.FieldByName("TypDokumentu").AsString(),
                   purchase, receipt, (FieldSet16(m_reg, "Procedura") & rejko::kProcedureIMP) != 0);

      double net = Value(m_f.net23) + Value(m_f.net8) + Value(m_f.net5) + Value(m_f.value0);
      if (s.AddValZw2Net) net += Value(m_f.valueFree);
      if (m_f.nonDeductibleTax && s.AddNPO2Net) net += Value(m_f.nonDeductibleTax);
      // Without a total tax field the rates' taxes make the total.
      double tax = m_f.totalTax ? Value(m_f.totalTax) : Value(m_f.tax23) + Value(m_f.tax8) + Value(m_f.tax5);
      net = RoundAmount(kAmountDecimals, net);
      tax = RoundAmount(kAmountDecimals, tax);
      if (fixedAssets) {
        line.SetDecimal("K_40", net);
        line.SetDecimal("K_41", tax);
      } else {
        line.SetDecimal("K_42", net);
        line.SetDecimal("K_43", tax);
      }
      records.Add(std::move(line));
    }
    records.Finish();
  }

 private:
  double Value(const char* field) { return m_reg.FieldByName(field).AsFloat(); }

  std::string DocumentNumber(const std::string& regName) {
    std::string number = m_reg.FieldByName(m_f.document).AsString();
    if (number.empty()) {
      throw Error(Format("Brak numeru dokumentu.\rRejestr: %s Nr: %d", regName.c_str(),
                         static_cast<int>(m_reg.FieldByName("Number").AsInteger())));
    }
    return number;
  }

  AppContext& m_ctx;
  GenJpkVatState& m_state;
  IXMLJPK m_doc;
  tables::Table& m_reg;
  tables::Table& m_users;
  bool m_single;
  const VatRegisterFields& m_f;
};

std::vector<Register> Registers(const AppSettings& s, bool singleTable) {
  std::vector<Register> regs;
  if (singleTable) {
    int month = s.CurDate.month;
    regs.push_back({&rejko::kSingleRegister, rejko::SingleRegisterFilter(rejko::kSaleRegType, month), true, false});
    regs.push_back({&rejko::kSingleRegister, rejko::SingleRegisterFilter(rejko::kPurchaseRegType, month), false, true});
    return regs;
  }
  std::string filter = rejko::PeriodIdFilter(s.CurDate);
  for (const SourceTable& table : rejko::kNineRegisters) {
    regs.push_back({&table, filter, rejko::ReadAsSales(table.name, s.Zakup2Ex), rejko::ReadAsPurchases(table.name)});
  }
  return regs;
}

}  // namespace

void GenerateFromRejko(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc,
                       SkippedRows& /*skipped*/) {
  const AppSettings& s = ctx.AppSettings;
  bool singleTable = SourceTableExists(s, rejko::kSingleRegister);

  tables::Table reg(ctx.Session);
  tables::Table users(ctx.Session);
  UsersTableExists = true;
  SetUpTable(ctx, users, singleTable ? rejko::kSingleRegisterUsers : rejko::kNineRegistersUsers, &reg);

  RejkoReader reader(ctx, state, doc, reg, users, singleTable);
  for (const Register& r : Registers(s, singleTable)) {
    // Each reading follows its own choice: "REGB1" read twice keeps its
    // purchases when only purchases are asked for.
    bool readSales = r.asSale && options.sale;
    bool readPurchases = r.asBuy && options.buy;
    if (!readSales && !readPurchases) continue;
    SetUpTable(ctx, reg, *r.table);
    reg.Open();
    RequireKsefField(reg);
    reg.SetFilter(r.filter);
    reg.SetFiltered(true);
    users.Open();
    if (readSales) reader.Sales(r.table->name);
    if (readPurchases) reader.Purchases(r.table->name);
    users.Close();
    reg.Close();
  }
}

}  // namespace kx::generate
