// JPK_V7M records from the warehouse program's VAT register of the month.

#include <string>

#include "app/contractor.h"
#include "app/kxTools.h"
#include "app/kx_error.h"
#include "generate/line_writers.h"
#include "generate/v7m_generate.h"
#include "jpk/files/jpkTools.h"
#include "platform/tables/table_file.h"

namespace kx::generate {
namespace {

// Register flag bits.
constexpr int64_t kFlagCostInvoice = 0x02;   // purchase read only with AddCostInvo
constexpr int64_t kFlagSkip = 0x08;          // never read (but see cancelled receipts)
constexpr int64_t kFlagFP = 0x10;            // sale of type "FP"
constexpr int64_t kFlagHalved = 0x40;        // purchase amounts halved
constexpr int64_t kFlagTP = 0x100;           // procedure marker TP
constexpr int64_t kFlagGoods = 0x200;        // foreign sale of goods (else services)
constexpr int64_t kFlagIMP = 0x400;          // purchase marker IMP

constexpr int kCancelledReceipt = 6;

bool IsSaleClass(const TAppSettings& s, int64_t cls) {
  return cls >= 0 && cls < static_cast<int64_t>(s.SaleDocTypes.size()) && s.SaleDocTypes.test(static_cast<size_t>(cls));
}

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

void ReadSales(AppContext& ctx, GenJpkVatState& state, IXMLJPK doc, tables::Table& reg, tables::Table& users) {
  const TAppSettings& s = ctx.AppSettings;
  auto ewidencja = doc.Ewidencja();
  int n = 0;
  double total = 0;
  for (reg.First(); !reg.Eof(); reg.Next()) {
    int64_t cls = reg.FieldByName("Class").AsInteger();
    int64_t flags = reg.FieldByName("Flags").AsInteger();
    bool cancelled = false;
    if (IsSaleClass(s, cls) && (flags & kFlagSkip) == 0) {
      // an ordinary sale
    } else if (cls == kCancelledReceipt && (flags & kFlagSkip) != 0 && s.AddAnulParag) {
      cancelled = true;
    } else {
      continue;
    }

    ++n;
    std::string number = DocumentNumber(reg);
    bool check = cls < 2 || cls > 7;
    Contractor c = ReadContractor(ctx, number, users, check);
    if (cancelled) number = "Korekta: " + number;

    std::string type;
    if ((flags & kFlagFP) != 0 || cls == 4 || cls == 5) {
      type = "FP";
    } else if (cancelled) {
      type = "WEW";
    }
    int16_t procedure = (flags & kFlagTP) != 0 ? 4 : 0;

    // Asked before the record exists, so Cancel leaves no empty record behind.
    std::string ksef = KsefReference(ctx, state, number, reg);
    auto line = ewidencja.SprzedazWiersz().Add();
    SetSaleLineV7(line, n, c.countryCode, c.nip, c.name, number, ksef, type,
                  reg.FieldByName("Date").AsDate(), reg.FieldByName("SaleDate").AsDate(), FieldSet16(reg, "GTU"),
                  procedure);

    bool foreign = cls == 2 || cls == 3 || cls == 22 || cls == 23;
    bool eu = cls == 22 || cls == 23;
    if (foreign) {
      if ((flags & kFlagGoods) == 0) {
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

    if (type != "FP") {
      double tax = reg.FieldByName("TotalTax").AsFloat();
      total = RoundAmount(2, total + (cancelled ? -tax : tax));
    }
  }
  auto ctrl = ewidencja.SprzedazCtrl();
  ctrl.SetLiczbaWierszySprzedazy(static_cast<uint32_t>(n));
  ctrl.SetPodatekNalezny(total);
}

void ReadPurchases(AppContext& ctx, GenJpkVatState& state, IXMLJPK doc, tables::Table& reg, tables::Table& users) {
  const TAppSettings& s = ctx.AppSettings;
  int64_t skipMask = s.AddCostInvo ? kFlagSkip : (kFlagSkip | kFlagCostInvoice);
  auto ewidencja = doc.Ewidencja();
  int m = 0;
  double total = 0;
  for (reg.First(); !reg.Eof(); reg.Next()) {
    int64_t cls = reg.FieldByName("Class").AsInteger();
    int64_t flags = reg.FieldByName("Flags").AsInteger();
    if ((cls != 128 && cls != 129) || (flags & skipMask) != 0) continue;

    ++m;
    std::string number = DocumentNumber(reg);
    Contractor c = ReadContractor(ctx, number, users, true);
    // Asked before the record exists, so Cancel leaves no empty record behind.
    std::string ksef = KsefReference(ctx, state, number, reg);
    auto line = ewidencja.ZakupWiersz().Add();
    SetBuyLineV7(line, m, c.countryCode, c.nip, c.name, number, ksef, "",
                 reg.FieldByName("SaleDate").AsDate(), reg.FieldByName("Date").AsDate(), (flags & kFlagIMP) != 0);

    double net = RoundAmount(2, reg.FieldByName("Value22").AsFloat() + reg.FieldByName("Value7").AsFloat() +
                                    reg.FieldByName("Value3").AsFloat() + reg.FieldByName("Value0").AsFloat() +
                                    reg.FieldByName("ValueFree").AsFloat());
    double tax = RoundAmount(2, reg.FieldByName("TotalTax").AsFloat());
    if ((flags & kFlagHalved) != 0) {
      net = RoundAmount(2, net / 2);
      tax = RoundAmount(2, tax / 2);
    }
    line.SetK_42(net);
    line.SetK_43(tax);
    total = RoundAmount(2, total + tax);
  }
  auto ctrl = ewidencja.ZakupCtrl();
  ctrl.SetLiczbaWierszyZakupow(static_cast<uint32_t>(m));
  ctrl.SetPodatekNaliczony(total);
}

}  // namespace

void GenerateFromTowix(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc) {
  const TAppSettings& s = ctx.AppSettings;
  tables::Table reg(ctx.Session);
  tables::Table users(ctx.Session);

  reg.SetTableName(s.KXDataDir + PeriodTableName(s.YearKxTbl, "REG", s.CurDate));
  reg.Open();
  RequireKsefField(reg);

  UsersTableExists = tables::LocateTableFile(s.UserDir + "Users.db").has_value();
  users.SetTableName(s.UserDir + "Users");
  users.SetIndexFieldNames("Number");
  users.SetMasterSource(&reg);
  users.SetMasterFields("Payer");

  if (options.sale) {
    if (!UsersTableExists) users.SetTableName(s.UserDir + PeriodTableName(s.YearUsrTbl, "UR", s.CurDate));
    reg.SetFilter(MonthFilter(s.RegBySaleDate ? "SaleDate" : "Date", s.CurDate));
    reg.SetFiltered(true);
    users.Open();
    ReadSales(ctx, state, doc, reg, users);
    users.Close();
  }
  if (options.buy) {
    if (!UsersTableExists) users.SetTableName(s.UserDir + PeriodTableName(s.YearUsrTbl, "UC", s.CurDate));
    reg.SetFilter(MonthFilter("Date", s.CurDate));
    reg.SetFiltered(true);
    users.Open();
    ReadPurchases(ctx, state, doc, reg, users);
    users.Close();
  }
}

}  // namespace kx::generate
