// JPK_V7M records from the bookkeeping program's VAT registers of the month:
// the single table "Register" or the older nine registers of the year folder.

#include <filesystem>
#include <string>
#include <vector>

#include "app/contractor.h"
#include "app/kxTools.h"
#include "app/kx_error.h"
#include "generate/line_writers.h"
#include "generate/v7m_generate.h"
#include "platform/tables/table_file.h"
#include "platform/text_utils.h"

namespace kx::generate {
namespace {

// Field names of the two layouts.
struct RejkoFields {
  const char* document;
  const char* issueDate;
  const char* saleDate;
  const char* valueFree;
  const char* value0;
  const char* net5;
  const char* tax5;
  const char* net8;
  const char* tax8;
  const char* net23;
  const char* tax23;
};

constexpr RejkoFields kSingleTable = {"DocName", "DocDate", "SaleDate", "ValueFree", "Value0", "NetD",
                                      "VatD",    "NetB",    "VatB",     "NetA",      "VatA"};
constexpr RejkoFields kNineTables = {"Dokument", "Data Wystawienia", "Data Sprzedazy", "Wart. zw", "Wart. 0",
                                     "Wart. 3",  "VAT 3",            "Wart. 7",        "VAT 7",    "Wart. 22",
                                     "VAT 22"};

struct Register {
  std::string name;
  std::string filter;
  bool asSale = false;
  bool asBuy = false;
};

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

class RejkoReader {
 public:
  RejkoReader(AppContext& ctx, GenJpkVatState& state, IXMLJPK doc, tables::Table& reg, tables::Table& users,
              bool singleTable)
      : m_ctx(ctx), m_state(state), m_doc(doc), m_reg(reg), m_users(users), m_single(singleTable),
        m_f(singleTable ? kSingleTable : kNineTables) {}

  void Sales(const std::string& regName) {
    const TAppSettings& s = m_ctx.AppSettings;
    bool zakup2Ex = !m_single && s.Zakup2Ex && regName == "REGB1";
    bool importServices = !m_single && s.Sprzedaz2ImpUslugEx && regName == "REGS";
    auto list = m_doc.Ewidencja().SprzedazWiersz();
    int n = 0;
    for (m_reg.First(); !m_reg.Eof(); m_reg.Next()) {
      ++n;
      std::string number = DocumentNumber(regName);
      Contractor c = ReadContractor(m_ctx, number, m_users, true);
      tables::Date issue = m_reg.FieldByName(m_f.issueDate).AsDate();
      tables::Date sale = m_reg.FieldByName(zakup2Ex ? "Data Wplywu" : m_f.saleDate).AsDate();
      // Asked before the record exists, so Cancel leaves no empty record behind.
      std::string ksef = KsefReference(m_ctx, m_state, number, m_reg);
      auto line = list.Add();
      SetSaleLineV7(line, n, c.countryCode, c.nip, c.name, number, ksef,
                    m_reg.FieldByName("TypDokumentu").AsString(), issue, sale, FieldSet16(m_reg, "GTU"),
                    FieldSet16(m_reg, "Procedura"));
      if (zakup2Ex) {
        SetAmountNode(line, m_reg, "K_25", "Wart. 22", false, false);
        SetAmountNode(line, m_reg, "K_26", "VAT 22", false, false);
      } else if (importServices) {
        SetAmountNode(line, m_reg, "K_29", "Wart. 22", false, false);
        SetAmountNode(line, m_reg, "K_30", "VAT 22", false, false);
      } else {
        SetAmountNode(line, m_reg, "K_10", m_f.valueFree, false, false);
        SetAmountNode(line, m_reg, "K_13", m_f.value0, false, false);
        if (StartsWith(number, "TaxFree")) SetAmountNode(line, m_reg, "K_14", m_f.value0, false, false);
        SetNetTaxNodes(line, m_reg, "K_15", m_f.net5, "K_16", m_f.tax5, false);
        SetNetTaxNodes(line, m_reg, "K_17", m_f.net8, "K_18", m_f.tax8, false);
        SetNetTaxNodes(line, m_reg, "K_19", m_f.net23, "K_20", m_f.tax23, false);
      }
    }
  }

  void Purchases(const std::string& regName) {
    const TAppSettings& s = m_ctx.AppSettings;
    auto list = m_doc.Ewidencja().ZakupWiersz();
    bool fixedAssets = regName == "REGBP";
    int m = 0;
    for (m_reg.First(); !m_reg.Eof(); m_reg.Next()) {
      ++m;
      std::string number = DocumentNumber(regName);
      Contractor c = ReadContractor(m_ctx, number, m_users, true);
      tables::Date purchase = m_reg.FieldByName(m_single ? "SaleDate" : "Data Wystawienia").AsDate();
      tables::Date receipt = m_reg.FieldByName(m_single ? "DocDate" : "Data Wplywu").AsDate();
      // Asked before the record exists, so Cancel leaves no empty record behind.
      std::string ksef = KsefReference(m_ctx, m_state, number, m_reg);
      auto line = list.Add();
      SetBuyLineV7(line, m, c.countryCode, c.nip, c.name, number, ksef,
                   m_reg.FieldByName("TypDokumentu").AsString(), purchase, receipt,
                   (FieldSet16(m_reg, "Procedura") & 2) != 0);

      double net = Value(m_f.net23) + Value(m_f.net8) + Value(m_f.net5) + Value(m_f.value0);
      if (s.AddValZw2Net) net += Value(m_f.valueFree);
      double tax = 0;
      if (m_single) {
        tax = Value("VatA") + Value("VatB") + Value("VatD");
      } else {
        if (s.AddNPO2Net) net += Value("VatNPO");
        tax = Value("VAT");
      }
      net = RoundAmount(2, net);
      tax = RoundAmount(2, tax);
      if (fixedAssets) {
        line.SetK_40(net);
        line.SetK_41(tax);
      } else {
        line.SetK_42(net);
        line.SetK_43(tax);
      }
    }
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
  const RejkoFields& m_f;
};

std::vector<Register> Registers(const TAppSettings& s, bool singleTable) {
  int year = s.CurDate.year;
  int month = s.CurDate.month;
  std::vector<Register> regs;
  if (singleTable) {
    regs.push_back({"Register", Format("([RegType] = %d) and ([VatPeriod] = %d)", 0, month), true, false});
    regs.push_back({"Register", Format("([RegType] = %d) and ([VatPeriod] = %d)", 128, month), false, true});
    return regs;
  }
  std::string filter = Format("[Period Id] = %d", (year - 1900) * 100 + 5 * month);
  for (const char* name : {"REGS", "REGSKOR", "REGSU", "REGB1", "REGB", "REGB2", "REGBKOR", "REGBA", "REGBP"}) {
    std::string upper = UpperCase(name);
    Register r{name, filter};
    r.asSale = upper.find("REGS") != std::string::npos || (s.Zakup2Ex && r.name == "REGB1");
    r.asBuy = upper.find("REGB") != std::string::npos;
    regs.push_back(r);
  }
  return regs;
}

}  // namespace

void GenerateFromRejko(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc) {
  const TAppSettings& s = ctx.AppSettings;
  std::string yearDir =
      s.RejkoDir + Format("%04d", s.CurDate.year) + std::string(1, std::filesystem::path::preferred_separator);
  bool singleTable = tables::LocateTableFile(yearDir + "Register.db").has_value();

  tables::Table reg(ctx.Session);
  tables::Table users(ctx.Session);
  UsersTableExists = true;
  users.SetTableName(s.RejkoUserDir + "Users");
  users.SetIndexFieldNames("Number");
  users.SetMasterSource(&reg);
  users.SetMasterFields(singleTable ? "FirmId" : "User");

  RejkoReader reader(ctx, state, doc, reg, users, singleTable);
  for (const Register& r : Registers(s, singleTable)) {
    // Each reading follows its own choice: "REGB1" read twice keeps its
    // purchases when only purchases are asked for.
    bool readSales = r.asSale && options.sale;
    bool readPurchases = r.asBuy && options.buy;
    if (!readSales && !readPurchases) continue;
    reg.SetTableName(yearDir + r.name);
    reg.Open();
    RequireKsefField(reg);
    reg.SetFilter(r.filter);
    reg.SetFiltered(true);
    users.Open();
    if (readSales) reader.Sales(r.name);
    if (readPurchases) reader.Purchases(r.name);
    users.Close();
    reg.Close();
  }
}

}  // namespace kx::generate
