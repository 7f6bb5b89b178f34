// gen_demo_data: writes the source tables of one month of a demo firm for the
// three source programs, with plausible Polish contractors and documents.
//
//   gen_demo_data FOLDER [--month YYYY-MM] [--rows N] [--seed S]
//                        [--rejko-layout single|registers]
//
// FOLDER receives towix/ (the month's documents: headers WI, rows WT, goods
// W, series WS and the VAT register REG, with the per-period contractor
// tables UR, UC and the Users table), rejko/ (Users and the year folder with
// the single table Register or the nine registers REGS ... REGBP, and the
// ledger tables accounts, journal and details) and folvo/ (Users and
// YYYY/Register). The bookkeeping and register tables also hold a few rows
// of another period, which a month's run must leave out. The same seed gives
// the same tables.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/kxTools.h"
#include "platform/error.h"
#include "platform/tables/paradox_writer.h"

namespace {

using kx::tables::Date;
using kx::tables::FieldDef;
using kx::tables::FieldKind;
using kx::tables::Value;

struct Firm {
  int number;
  std::string name;
  std::string nip;
  int options;
  std::string city;
  std::string zip;
  std::string street;
  std::string house;
};

class Generator {
 public:
  Generator(unsigned seed, Date month, int rows, bool rejkoRegisters)
      : m_rng(seed), m_month(month), m_rows(rows), m_rejkoRegisters(rejkoRegisters) {
    MakeFirms();
  }

  void Write(const std::filesystem::path& out) {
    WriteTowix(out / "towix");
    std::filesystem::path rejko = out / "rejko";
    std::filesystem::create_directories(rejko);
    WriteUsers(rejko);
    if (m_rejkoRegisters) {
      WriteRejkoRegisters(rejko / std::to_string(m_month.year));
    } else {
      WriteRejko(rejko / std::to_string(m_month.year));
    }
    WriteLedger(rejko / std::to_string(m_month.year));
    std::filesystem::path folvo = out / "folvo";
    WriteFolvo(folvo / std::to_string(m_month.year));
    WriteUsers(folvo);
  }

 private:
  int Between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
  bool Chance(int percent) { return Between(1, 100) <= percent; }
  double Amount(int lo, int hi) { return kx::RoundAmount(2, Between(lo * 100, hi * 100) / 100.0); }

  std::string ValidNip() {
    for (;;) {
      std::string nip = std::to_string(Between(1, 9));
      for (int i = 0; i < 8; ++i) nip += static_cast<char>('0' + Between(0, 9));
      // A tax office prefix never ends in "00"; KSeF numbers refuse such NIPs.
      if (nip[1] == '0' && nip[2] == '0') continue;
      int sum = 0;
      for (int i = 0; i < 9; ++i) sum += (nip[i] - '0') * (kx::kNipWeights[i] - '0');
      if (sum % 11 != 10) return nip + static_cast<char>('0' + sum % 11);
    }
  }

  void MakeFirms() {
    // clang-format off
    static const char* kNames[] = {"Piekarnia Kłos", "Mleczarnia Łąka Sp. z o.o.", "Sklep Spożywczy \"Pod Lipą\"",
                                   "Hurtownia Owoców Sadownik", "Przedsiębiorstwo Handlowe Żuraw",
                                   "Delikatesy Jagoda s.c.", "Masarnia Wiejska Nowak", "Browar Rzemieślniczy Chmiel",
                                   "Cukiernia Słodki Róg", "Zakład Przetwórstwa Rybnego Bałtyk",
                                   "Market Społem", "Restauracja Pod Złotym Kłosem", "Kawiarnia Młynek",
                                   "Gospodarstwo Rolne Wiśniewski", "Transport Ciężarowy Kowalczyk"};
    // clang-format on
    static const char* kTowns[][3] = {{"Łódź", "90-006", "Piotrkowska"}, {"Warszawa", "00-950", "Marszałkowska"},
                                      {"Kraków", "31-042", "Grodzka"},   {"Poznań", "61-772", "Półwiejska"},
                                      {"Gdańsk", "80-831", "Długa"},     {"Wrocław", "50-106", "Świdnicka"},
                                      {"Zgierz", "95-100", "Łęczycka"},  {"Pabianice", "95-200", "Zamkowa"}};
    int number = 1;
    for (const char* name : kNames) {
      const auto& town = kTowns[Between(0, 7)];
      m_firms.push_back({number++, name, ValidNip(), 0, town[0], town[1], town[2], std::to_string(Between(1, 120))});
    }
    m_firms.push_back(
        {number++, "Müller Lebensmittel GmbH", "DE811128135", 1, "Berlin;Niemcy", "10115", "Hauptstraße", "12"});
    m_firms.push_back(
        {number++, "Potraviny Novák s.r.o.", "CZ25596641", 1, "Praha;Czechy", "11000", "Václavské náměstí", "3"});
  }

  const Firm& AnyDomesticFirm() { return m_firms[Between(0, static_cast<int>(m_firms.size()) - 3)]; }
  const Firm& AnyForeignFirm() {
    return m_firms[Between(static_cast<int>(m_firms.size()) - 2, static_cast<int>(m_firms.size()) - 1)];
  }

  static Date AddDays(Date d, int days) {
    using namespace std::chrono;
    year_month_day ymd{sys_days{year{d.year} / d.month / d.day} + std::chrono::days{days}};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
  }

  Date Day() { return {m_month.year, m_month.month, Between(1, 28)}; }

  std::string Ksef(const std::string& sellerNip, Date d) {
    static const char* kHex = "0123456789ABCDEF";
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", d.year, d.month, d.day);
    std::string s = sellerNip + "-" + date + "-";
    for (int i = 0; i < 6; ++i) s += kHex[Between(0, 15)];
    s += "-";
    for (int i = 0; i < 6; ++i) s += kHex[Between(0, 15)];
    s += "-";
    for (int i = 0; i < 2; ++i) s += kHex[Between(0, 15)];
    return s;
  }

  // Net amounts at 23, 8 and 5 % of one document, with their taxes.
  struct Amounts {
    double n23 = 0, t23 = 0, n8 = 0, t8 = 0, n5 = 0, t5 = 0, exempt = 0, zero = 0;
    double Tax() const { return kx::RoundAmount(2, t23 + t8 + t5); }
    double Gross() const { return kx::RoundAmount(2, n23 + n8 + n5 + exempt + zero + Tax()); }
  };
  Amounts Document() {
    Amounts a;
    a.n23 = Amount(50, 5000);
    a.t23 = kx::TaxFromNet(a.n23, 23);
    if (Chance(50)) {
      a.n8 = Amount(10, 2000);
      a.t8 = kx::TaxFromNet(a.n8, 8);
    }
    if (Chance(30)) {
      a.n5 = Amount(10, 1000);
      a.t5 = kx::TaxFromNet(a.n5, 5);
    }
    if (Chance(10)) a.exempt = Amount(10, 500);
    return a;
  }

  static FieldDef F(const char* name, FieldKind kind, int size = 0) { return FieldDef{name, kind, 'A', size, 0}; }
  static Value T(const std::string& s) { return Value::FromText(s); }
  static Value I(int64_t n) { return Value::FromInt(n); }
  static Value N(double d) { return Value::FromFloat(d); }
  static Value D(Date d) { return Value::FromDate(d); }

  // The contractor master table "Users", keyed on Number.
  void WriteUsers(const std::filesystem::path& dir) {
    std::vector<FieldDef> users{
        F("Number", FieldKind::Integer), F("Firm Name", FieldKind::Text, 60), F("Identifier", FieldKind::Text, 20),
        F("City", FieldKind::Text, 40),  F("Options", FieldKind::Short),      F("Street", FieldKind::Text, 40),
        F("House", FieldKind::Text, 10), F("ZipCode", FieldKind::Text, 10),   F("NIP", FieldKind::Text, 20)};
    std::vector<std::vector<Value>> rows;
    for (const Firm& f : m_firms) {
      std::string shortName = f.name.substr(0, f.name.find(' '));
      rows.push_back(
          {I(f.number), T(f.name), T(shortName), T(f.city), I(f.options), T(f.street), T(f.house), T(f.zip), T(f.nip)});
    }
    kx::tables::WriteParadoxTable(dir / "Users.db", users, rows, {1250, 1});
  }

  void WriteContractors(const std::filesystem::path& dir) {
    std::vector<FieldDef> period{F("Number", FieldKind::Integer),      F("Firm Name", FieldKind::Text, 60),
                                 F("Identifier", FieldKind::Text, 20), F("City", FieldKind::Text, 40),
                                 F("Options", FieldKind::Short),       F("Address", FieldKind::Text, 60),
                                 F("ZipCode", FieldKind::Text, 10),    F("NIP", FieldKind::Text, 20)};
    std::vector<std::vector<Value>> periodRows;
    for (const Firm& f : m_firms) {
      std::string shortName = f.name.substr(0, f.name.find(' '));
      periodRows.push_back({I(f.number), T(f.name), T(shortName), T(f.city), I(f.options), T(f.street + " " + f.house),
                            T(f.zip), T(f.nip)});
    }
    kx::tables::ParadoxWriteOptions keyed{1250, 1};
    std::string prefix = kx::PeriodTableName(false, "", m_month);
    kx::tables::WriteParadoxTable(dir / (prefix + "UR.db"), period, periodRows, keyed);
    kx::tables::WriteParadoxTable(dir / (prefix + "UC.db"), period, periodRows, keyed);
    WriteUsers(dir);
  }

  // Goods cards of the warehouse; VAT below -1 means exempt.
  struct Goods {
    int group;
    int index;
    const char* name;
    const char* unit;
    double price;
    int vat;
    int series;  // number of series (batches), 0 for services
  };
  static const std::vector<Goods>& Catalogue() {
    static const std::vector<Goods> kGoods = {
        {1, 1, "Mąka pszenna typ 450 1 kg", "szt", 3.29, 5, 2},
        {1, 2, "Cukier biały kryształ 1 kg", "szt", 4.15, 5, 2},
        {1, 3, "Mleko UHT 3,2% 1 l", "szt", 3.59, 5, 3},
        {1, 4, "Masło ekstra 82% 200 g", "szt", 6.99, 5, 2},
        {1, 5, "Ser żółty gouda", "kg", 28.90, 5, 2},
        {1, 6, "Jaja kurze L (10 szt.)", "opak", 9.80, 5, 2},
        {1, 7, "Kiełbasa śląska", "kg", 21.50, 5, 2},
        {1, 8, "Ziemniaki jadalne", "kg", 2.10, 5, 1},
        {1, 9, "Jabłka Ligol", "kg", 3.40, 5, 1},
        {1, 10, "Olej rzepakowy 1 l", "szt", 8.49, 5, 2},
        {1, 11, "Chleb żytni na zakwasie 800 g", "szt", 7.20, 5, 1},
        {2, 1, "Kawa mielona 500 g", "szt", 24.90, 23, 2},
        {2, 2, "Herbata czarna ekspresowa 100 tor.", "opak", 12.40, 23, 2},
        {2, 3, "Czekolada mleczna 100 g", "szt", 4.29, 23, 2},
        {2, 4, "Woda mineralna gazowana 1,5 l", "szt", 1.89, 23, 2},
        {2, 5, "Piwo jasne pełne 0,5 l", "szt", 3.19, 23, 2},
        {2, 6, "Sok jabłkowy 100% 1 l", "szt", 4.59, 5, 2},
        {3, 1, "Płyn do mycia naczyń 1 l", "szt", 6.79, 23, 1},
        {3, 2, "Worki na śmieci 60 l (20 szt.)", "rolka", 5.49, 23, 1},
        {3, 3, "Ręcznik papierowy (2 rolki)", "opak", 7.99, 23, 1},
        {4, 1, "Usługa gastronomiczna - catering", "usł", 350.00, 8, 0},
        {4, 2, "Usługa transportowa", "usł", 180.00, 23, 0},
        {4, 3, "Szkolenie sanitarne personelu", "usł", 240.00, -2, 0},
    };
    return kGoods;
  }
  // Unit cost of a series: a share of the sale price that differs per batch.
  static double SeriesCost(const Goods& g, int series) { return kx::RoundAmount(2, g.price * (0.66 + 0.04 * series)); }

  void WriteGoods(const std::filesystem::path& dir, const std::string& prefix) {
    std::vector<FieldDef> w{F("Group", FieldKind::Short),    F("Index", FieldKind::Integer),
                            F("Name", FieldKind::Text, 60),  F("Unit", FieldKind::Text, 10),
                            F("Price", FieldKind::Currency), F("VAT", FieldKind::Short)};
    std::vector<FieldDef> ws{F("Group", FieldKind::Short), F("Index", FieldKind::Integer),
                             F("SeriesNo", FieldKind::Integer), F("Cost", FieldKind::Currency),
                             F("Expiry", FieldKind::Date)};
    std::vector<std::vector<Value>> wRows, wsRows;
    for (const Goods& g : Catalogue()) {
      wRows.push_back({I(g.group), I(g.index), T(g.name), T(g.unit), N(g.price), I(g.vat)});
      for (int s = 1; s <= g.series; ++s) {
        wsRows.push_back({I(g.group), I(g.index), I(s), N(SeriesCost(g, s)),
                          D({m_month.year + 1, m_month.month, std::min(28, 3 * s + g.index)})});
      }
    }
    kx::tables::WriteParadoxTable(dir / (prefix + "W.db"), w, wRows, {1250, 2});
    kx::tables::WriteParadoxTable(dir / (prefix + "WS.db"), ws, wsRows, {1250, 3});
  }

  // The rows of one document: WT rows appended, amounts per rate and the
  // value at cost returned.
  Amounts DocumentRows(int cls, int number, bool purchase, bool foreign, std::vector<std::vector<Value>>& wt,
                       double& costValue) {
    const auto& goods = Catalogue();
    double net23 = 0, net8 = 0, net5 = 0;
    Amounts a;
    costValue = 0;
    int lines = Between(1, 6);
    for (int pos = 1; pos <= lines; ++pos) {
      const Goods& g = goods[Between(0, static_cast<int>(goods.size()) - (purchase || foreign ? 4 : 1))];
      int series = g.series > 0 ? Between(1, g.series) : 0;
      double qty = std::string(g.unit) == "kg" ? Between(5, 400) / 2.0 : g.series == 0 ? 1 : Between(6, 240);
      double cost = series > 0 ? SeriesCost(g, series) : kx::RoundAmount(2, g.price * 0.7);
      double price = purchase ? cost : g.price;
      int vat = foreign ? 0 : g.vat;
      double net = kx::RoundAmount(2, qty * price);
      costValue = kx::RoundAmount(2, costValue + qty * cost);
      switch (vat) {
        case 23: net23 += net; break;
        case 8: net8 += net; break;
        case 5: net5 += net; break;
        case 0: a.zero += net; break;
        default: a.exempt += net; break;
      }
      wt.push_back({I(cls), I(m_month.year), I(1), I(number), I(pos), I(g.group), I(g.index), I(series), N(qty),
                    N(price), I(vat)});
    }
    a.n23 = kx::RoundAmount(2, net23);
    a.t23 = kx::TaxFromNet(a.n23, 23);
    a.n8 = kx::RoundAmount(2, net8);
    a.t8 = kx::TaxFromNet(a.n8, 8);
    a.n5 = kx::RoundAmount(2, net5);
    a.t5 = kx::TaxFromNet(a.n5, 5);
    a.zero = kx::RoundAmount(2, a.zero);
    a.exempt = kx::RoundAmount(2, a.exempt);
    return a;
  }

  // The month's documents: headers WI and rows WT over the goods W and their
  // series WS, and for each document its VAT register row in REG (same key,
  // amounts summed from the rows).
  void WriteTowix(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    WriteContractors(dir);
    std::string prefix = kx::PeriodTableName(false, "", m_month);
    WriteGoods(dir, prefix);
    std::vector<FieldDef> fields{
        F("Class", FieldKind::Short),     F("Year", FieldKind::Short),         F("MagId", FieldKind::Short),
        F("Number", FieldKind::Integer),  F("Flags", FieldKind::Integer),      F("Document", FieldKind::Text, 30),
        F("User", FieldKind::Integer),    F("Payer", FieldKind::Integer),      F("Date", FieldKind::Date),
        F("SaleDate", FieldKind::Date),   F("PayDate", FieldKind::Date),       F("KSeF", FieldKind::Text, 40),
        F("GTU", FieldKind::Short),       F("ValueFree", FieldKind::Currency), F("Value0", FieldKind::Currency),
        F("Value3", FieldKind::Currency), F("Tax3", FieldKind::Currency),      F("Value7", FieldKind::Currency),
        F("Tax7", FieldKind::Currency),   F("Value22", FieldKind::Currency),   F("Tax22", FieldKind::Currency),
        F("Value", FieldKind::Currency),  F("TotalTax", FieldKind::Currency),  F("CostValue", FieldKind::Currency)};
    std::vector<FieldDef> wiFields{
        F("Type", FieldKind::Short),       F("Year", FieldKind::Short),        F("MagId", FieldKind::Short),
        F("Number", FieldKind::Integer),   F("Name", FieldKind::Text, 30),     F("Date", FieldKind::Date),
        F("SaleDate", FieldKind::Date),    F("Flags", FieldKind::Integer),     F("Options", FieldKind::Integer),
        F("User", FieldKind::Integer),     F("Comment", FieldKind::Text, 60),  F("MasterType", FieldKind::Short),
        F("MasterYear", FieldKind::Short), F("MasterMagId", FieldKind::Short), F("MasterNumber", FieldKind::Integer),
        F("PayInfo", FieldKind::Short),    F("PayDelay", FieldKind::Short)};
    std::vector<FieldDef> wtFields{
        F("Type", FieldKind::Short),     F("Year", FieldKind::Short),     F("MagId", FieldKind::Short),
        F("Number", FieldKind::Integer), F("Pos", FieldKind::Short),      F("Group", FieldKind::Short),
        F("Index", FieldKind::Integer),  F("Series", FieldKind::Integer), F("Quantity", FieldKind::Number),
        F("Price", FieldKind::Currency), F("VAT", FieldKind::Short)};
    std::vector<std::vector<Value>> rows, wi, wt;
    int counters[256] = {};
    for (int i = 0; i < m_rows; ++i) {
      int roll = Between(1, 100);
      int cls = roll <= 55 ? 0 : roll <= 62 ? 4 : roll <= 67 ? 6 : roll <= 72 ? 22 : 128;
      int flags = 0;
      int number = ++counters[cls];
      const Firm& firm = cls == 22 ? AnyForeignFirm() : AnyDomesticFirm();
      Date issued = Day();
      Date sold = Chance(80) ? issued : Date{issued.year, issued.month, std::max(1, issued.day - Between(1, 5))};
      double costValue = 0;
      Amounts a = DocumentRows(cls, number, cls == 128, cls == 22, wt, costValue);
      std::string doc;
      std::string ksef;
      char buf[40];
      switch (cls) {
        case 0:
          std::snprintf(buf, sizeof buf, "FV %d/%02d/%04d", number, m_month.month, m_month.year);
          ksef = Chance(85) ? Ksef(m_ownNip, issued) : Chance(50) ? "OFF" : "BFK";
          if (Chance(10)) flags |= 0x100;
          break;
        case 4:
          std::snprintf(buf, sizeof buf, "FP %d/%02d/%04d", number, m_month.month, m_month.year);
          ksef = "DI";
          break;
        case 6:
          std::snprintf(buf, sizeof buf, "PAR %d/%02d", number, m_month.month);
          ksef = "DI";
          if (Chance(30)) flags |= 0x08;  // cancelled receipt
          break;
        case 22:
          std::snprintf(buf, sizeof buf, "WDT %d/%04d", number, m_month.year);
          ksef = "BFK";
          flags |= 0x200;
          break;
        default:
          std::snprintf(buf, sizeof buf, "FZ %d/%02d/%04d", number, m_month.month, m_month.year);
          ksef = Chance(80) ? Ksef(firm.nip, sold) : "BFK";
          if (Chance(5)) flags |= 0x40;
          break;
      }
      doc = buf;
      double value = cls == 22 ? a.zero : a.Gross();
      int payDelay = cls == 6 ? 0 : std::vector<int>{0, 7, 14, 30}[Between(0, 3)];
      Date payDate = AddDays(issued, payDelay);
      // clang-format off
      rows.push_back({I(cls), I(m_month.year), I(1), I(number), I(flags), T(doc), I(firm.number), I(firm.number),
                      D(issued), D(sold), D(payDate), T(ksef), I(cls == 0 && Chance(20) ? 1 << Between(0, 12) : 0),
                      N(a.exempt), N(cls == 22 ? 0 : a.zero), N(a.n5), N(a.t5), N(a.n8), N(a.t8), N(a.n23),
                      N(a.t23), N(value), N(a.Tax()), N(costValue)});
      // clang-format on
      // A cancelled receipt stays out of the stock report.
      wi.push_back({I(cls), I(m_month.year), I(1), I(number), T(doc), D(issued), D(sold), I(flags & 0x08 ? 0x01 : 0),
                    I(0), I(firm.number), T(flags & 0x08 ? "Paragon anulowany" : ""), I(0), I(0), I(0), I(0),
                    I(payDelay == 0 ? 0 : 1), I(payDelay)});
    }
    kx::tables::WriteParadoxTable(dir / (prefix + "REG.db"), fields, rows, {1250, 4});
    kx::tables::WriteParadoxTable(dir / (prefix + "WI.db"), wiFields, wi, {1250, 4});
    kx::tables::WriteParadoxTable(dir / (prefix + "WT.db"), wtFields, wt, {1250, 5});
  }

  // GTU set of a sale (some carry one group) and procedure set of a purchase
  // (a few imports: bit 1).
  int SaleGtu() { return Chance(20) ? 1 << Between(0, 12) : 0; }
  int BuyProcedure() { return Chance(5) ? 2 : 0; }

  // Rows of another period: the month's filter must leave them out.
  int OtherPeriodRows() const { return std::max(1, m_rows / 10); }
  int OtherMonth() const { return m_month.month % 12 + 1; }

  void WriteRejko(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    std::vector<FieldDef> fields{
        F("RegType", FieldKind::Short),   F("VatPeriod", FieldKind::Short),       F("Number", FieldKind::Integer),
        F("FirmId", FieldKind::Integer),  F("DocName", FieldKind::Text, 30),      F("DocDate", FieldKind::Date),
        F("SaleDate", FieldKind::Date),   F("TypDokumentu", FieldKind::Text, 10), F("GTU", FieldKind::Short),
        F("Procedura", FieldKind::Short), F("KSeF", FieldKind::Text, 40),         F("ValueFree", FieldKind::Currency),
        F("Value0", FieldKind::Currency), F("NetD", FieldKind::Currency),         F("VatD", FieldKind::Currency),
        F("NetB", FieldKind::Currency),   F("VatB", FieldKind::Currency),         F("NetA", FieldKind::Currency),
        F("VatA", FieldKind::Currency)};
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= m_rows + OtherPeriodRows(); ++i) {
      int month = i <= m_rows ? m_month.month : OtherMonth();
      bool sale = Chance(65);
      const Firm& firm = AnyDomesticFirm();
      Date d{m_month.year, month, Between(1, 28)};
      Amounts a = Document();
      char buf[40];
      std::snprintf(buf, sizeof buf, sale ? "FS/%d/%02d/%04d" : "FK/%d/%02d/%04d", i, month, m_month.year);
      rows.push_back({I(sale ? 0 : 128), I(month), I(i), I(firm.number), T(buf), D(d), D(d), T(""),
                      I(sale ? SaleGtu() : 0), I(sale ? 0 : BuyProcedure()),
                      T(Chance(85) ? Ksef(sale ? m_ownNip : firm.nip, d) : "BFK"), N(a.exempt), N(0), N(a.n5), N(a.t5),
                      N(a.n8), N(a.t8), N(a.n23), N(a.t23)});
    }
    kx::tables::WriteParadoxTable(dir / "Register.db", fields, rows);
  }

  // The older layout: nine registers of the year, rows told apart by period id.
  void WriteRejkoRegisters(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    // clang-format off
    std::vector<FieldDef> fields{F("Period Id", FieldKind::Integer),     F("Number", FieldKind::Integer),
                                 F("User", FieldKind::Integer),          F("Dokument", FieldKind::Text, 30),
                                 F("Data Wystawienia", FieldKind::Date), F("Data Sprzedazy", FieldKind::Date),
                                 F("Data Wplywu", FieldKind::Date),      F("TypDokumentu", FieldKind::Text, 10),
                                 F("GTU", FieldKind::Short),             F("Procedura", FieldKind::Short),
                                 F("KSeF", FieldKind::Text, 40),         F("Wart. zw", FieldKind::Currency),
                                 F("Wart. 0", FieldKind::Currency),      F("Wart. 3", FieldKind::Currency),
                                 F("VAT 3", FieldKind::Currency),        F("Wart. 7", FieldKind::Currency),
                                 F("VAT 7", FieldKind::Currency),        F("Wart. 22", FieldKind::Currency),
                                 F("VAT 22", FieldKind::Currency),       F("VAT", FieldKind::Currency),
                                 F("VatNPO", FieldKind::Currency)};
    // clang-format on
    // Register, document prefix, share of the rows in percent.
    struct Reg {
      const char* name;
      const char* prefix;
      int share;
      bool sale;
    };
    static const Reg kRegs[] = {{"REGS", "FS", 40, true},     {"REGSKOR", "KFS", 5, true}, {"REGSU", "FU", 10, true},
                                {"REGB1", "FZ1", 5, false},   {"REGB", "FZ", 25, false},   {"REGB2", "FZ2", 5, false},
                                {"REGBKOR", "KFZ", 3, false}, {"REGBA", "FA", 4, false},   {"REGBP", "ST", 3, false}};
    std::vector<std::vector<Value>> tables[std::size(kRegs)];
    int numbers[std::size(kRegs)] = {};
    for (int i = 1; i <= m_rows + OtherPeriodRows(); ++i) {
      int month = i <= m_rows ? m_month.month : OtherMonth();
      int roll = Between(1, 100);
      size_t r = 0;
      for (int sum = kRegs[0].share; r + 1 < std::size(kRegs) && roll > sum; sum += kRegs[++r].share) {
      }
      const Reg& reg = kRegs[r];
      int number = ++numbers[r];
      const Firm& firm = AnyDomesticFirm();
      Date issued{m_month.year, month, Between(1, 25)};
      Date received{issued.year, issued.month, issued.day + Between(0, 3)};
      Amounts a = Document();
      double npo = !reg.sale && Chance(15) ? kx::RoundAmount(2, a.t23 / 2) : 0;
      char buf[40];
      std::snprintf(buf, sizeof buf, "%s/%d/%02d/%04d", reg.prefix, number, month, m_month.year);
      // clang-format off
      tables[r].push_back({I((m_month.year - 1900) * 100 + 5 * month), I(number), I(firm.number), T(buf),
                           D(issued), D(issued), D(received), T(""), I(reg.sale ? SaleGtu() : 0),
                           I(reg.sale ? 0 : BuyProcedure()),
                           T(Chance(85) ? Ksef(reg.sale ? m_ownNip : firm.nip, issued) : "BFK"), N(a.exempt),
                           N(a.zero), N(a.n5), N(a.t5), N(a.n8), N(a.t8), N(a.n23), N(a.t23),
                           N(kx::RoundAmount(2, a.Tax() - npo)), N(npo)});
      // clang-format on
    }
    // Every register exists, also an empty one: the reader opens all nine.
    for (size_t r = 0; r < std::size(kRegs); ++r) {
      kx::tables::WriteParadoxTable(dir / (std::string(kRegs[r].name) + ".db"), fields, tables[r]);
    }
  }

  // The ledger of the year folder: the chart of accounts "accounts", the
  // journal "journal" (one row per booking) and its entries "details", for
  // the month and the month before (earlier turnover of the year).
  void WriteLedger(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    std::vector<FieldDef> accFields{F("Primary", FieldKind::Short),         F("Secondary1", FieldKind::Short),
                                    F("Secondary2", FieldKind::Short),      F("Secondary3", FieldKind::Short),
                                    F("Account Name", FieldKind::Text, 60), F("Options", FieldKind::Short),
                                    F("InitYDebit", FieldKind::Currency),   F("InitYCredit", FieldKind::Currency)};
    std::vector<std::vector<Value>> accounts;
    auto account = [&](int p, int s1, int s2, const std::string& name, int options, double initDebit,
                       double initCredit) {
      accounts.push_back({I(p), s1 ? I(s1) : Value::Null(), s2 ? I(s2) : Value::Null(), Value::Null(), T(name),
                          I(options), N(initDebit), N(initCredit)});
    };
    account(100, 0, 0, "Kasa", 0, 8500, 0);
    account(130, 0, 0, "Rachunek bieżący", 0, 184250.40, 0);
    account(200, 0, 0, "Rozrachunki z odbiorcami", 0, 0, 0);
    account(200, 1, 0, "Odbiorcy krajowi", 0, 0, 0);
    account(201, 0, 0, "Rozrachunki z dostawcami", 0, 0, 0);
    account(201, 1, 0, "Dostawcy krajowi", 0, 0, 0);
    for (const Firm& f : m_firms) {
      if (f.options != 0) continue;
      account(200, 1, f.number, f.name, 0, 0, 0);
      account(201, 1, f.number, f.name, 0, 0, 0);
    }
    account(221, 0, 0, "Rozrachunki z urzędem skarbowym", 0, 0, 0);
    account(221, 1, 0, "VAT należny", 0, 0, 0);
    account(221, 2, 0, "VAT naliczony", 0, 0, 0);
    account(330, 0, 0, "Towary", 0, 96340.15, 0);
    account(402, 0, 0, "Usługi obce", 4, 0, 0);
    account(700, 0, 0, "Sprzedaż towarów", 4, 0, 0);
    account(731, 0, 0, "Wartość sprzedanych towarów", 4, 0, 0);
    account(801, 0, 0, "Kapitał zakładowy", 0, 0, 289090.55);
    account(976, 0, 0, "Zobowiązania warunkowe", 2, 0, 0);
    account(999, 0, 0, "Konto archiwalne", 1, 0, 0);

    std::vector<FieldDef> jrnFields{
        F("Period Id", FieldKind::Integer), F("Seq No", FieldKind::Text, 12),      F("Book Type", FieldKind::Text, 30),
        F("Book No", FieldKind::Text, 30),  F("Book Id", FieldKind::Text, 10),     F("Date", FieldKind::Date),
        F("Book Date", FieldKind::Date),    F("Operator Id", FieldKind::Text, 10), F("Comments", FieldKind::Text, 80)};
    std::vector<FieldDef> detFields{F("Period Id", FieldKind::Integer),        F("Seq No", FieldKind::Text, 12),
                                    F("Primary Account", FieldKind::Short),    F("Secondary Account", FieldKind::Short),
                                    F("Secondary2 Account", FieldKind::Short), F("Description", FieldKind::Text, 60),
                                    F("Debit", FieldKind::Currency),           F("Credit", FieldKind::Currency)};
    std::vector<std::vector<Value>> journal, details;
    int seq = 0;
    auto side = [&](int period, const std::string& no, int p, int s1, int s2, const std::string& text, double debit,
                    double credit) {
      details.push_back({I(period), T(no), I(p), I(s1), I(s2), T(text), debit != 0 ? N(debit) : Value::Null(),
                         credit != 0 ? N(credit) : Value::Null()});
    };
    static const char* kOperators[] = {"AKOW", "MNOW", "JWIS"};
    for (int m : {m_month.month - 1, m_month.month}) {
      if (m < 1) continue;
      int fv = 0, fz = 0, wb = 0, pk = 0;
      int period = (m_month.year - 1900) * 100 + 5 * m;
      int entries = m == m_month.month ? m_rows : std::max(1, m_rows / 2);
      for (int i = 0; i < entries; ++i) {
        char no[32];
        std::snprintf(no, sizeof no, "%d/%02d", ++seq, m);
        const Firm& firm = AnyDomesticFirm();
        Date d{m_month.year, m, Between(1, 28)};
        Date booked = AddDays(d, Between(0, 2));
        if (booked.month != m) booked = d;
        int roll = Between(1, 100);
        std::string type, id, doc, comment;
        char buf[40];
        if (roll <= 40) {
          type = "Sprzedaż";
          id = "FV";
          std::snprintf(buf, sizeof buf, "FV %d/%02d/%04d", ++fv, m, m_month.year);
          double net = Amount(100, 8000), tax = kx::TaxFromNet(net, 23);
          side(period, no, 200, 1, firm.number, "Należność od odbiorcy", kx::RoundAmount(2, net + tax), 0);
          side(period, no, 700, 0, 0, "Przychód ze sprzedaży", 0, net);
          side(period, no, 221, 1, 0, "VAT należny", 0, tax);
          comment = Chance(70) ? "Sprzedaż towarów - " + firm.name : "";
        } else if (roll <= 70) {
          type = "Zakup";
          id = "FZ";
          std::snprintf(buf, sizeof buf, "FZ %d/%02d/%04d", ++fz, m, m_month.year);
          double net = Amount(100, 6000), tax = kx::TaxFromNet(net, 23);
          bool service = Chance(25);
          side(period, no, service ? 402 : 330, 0, 0, service ? "Usługa obca" : "Przyjęcie towaru", net, 0);
          side(period, no, 221, 2, 0, "VAT naliczony", tax, 0);
          side(period, no, 201, 1, firm.number, "Zobowiązanie wobec dostawcy", 0, kx::RoundAmount(2, net + tax));
          comment = Chance(70) ? "Zakup od " + firm.name : "";
        } else if (roll <= 90) {
          type = "Wyciąg bankowy";
          id = "WB";
          std::snprintf(buf, sizeof buf, "WB %d/%02d", ++wb, m);
          double amount = Amount(200, 9000);
          side(period, no, 130, 0, 0, "Wpłata odbiorcy", amount, 0);
          side(period, no, 200, 1, firm.number, "Zapłata należności", 0, amount);
        } else {
          type = "Polecenie księgowania";
          id = "PK";
          std::snprintf(buf, sizeof buf, "PK %d/%02d", ++pk, m);
          double amount = Amount(100, 5000);
          side(period, no, 731, 0, 0, "Koszt sprzedanych towarów", amount, 0);
          side(period, no, 330, 0, 0, "Rozchód towarów", 0, amount);
          comment = "Rozliczenie kosztu sprzedaży";
        }
        journal.push_back(
            {I(period), T(no), T(type), T(buf), T(id), D(d), D(booked), T(kOperators[Between(0, 2)]), T(comment)});
      }
    }
    kx::tables::WriteParadoxTable(dir / "accounts.db", accFields, accounts);
    kx::tables::WriteParadoxTable(dir / "journal.db", jrnFields, journal);
    kx::tables::WriteParadoxTable(dir / "details.db", detFields, details);
  }

  void WriteFolvo(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    std::vector<FieldDef> fields{
        F("RegId", FieldKind::Short),     F("Number", FieldKind::Integer),        F("VATMonth", FieldKind::Short),
        F("FirmId", FieldKind::Integer),  F("DocName", FieldKind::Text, 30),      F("RegDate", FieldKind::Date),
        F("SaleDate", FieldKind::Date),   F("TypDokumentu", FieldKind::Text, 10), F("GTU", FieldKind::Short),
        F("Procedura", FieldKind::Short), F("KSeF", FieldKind::Text, 40),         F("ValueFree", FieldKind::Currency),
        F("Value0", FieldKind::Currency), F("Net3", FieldKind::Currency),         F("Vat3", FieldKind::Currency),
        F("Net7", FieldKind::Currency),   F("Vat7", FieldKind::Currency),         F("Net22", FieldKind::Currency),
        F("Vat22", FieldKind::Currency),  F("VatNoDeduct", FieldKind::Currency)};
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= m_rows + OtherPeriodRows(); ++i) {
      int month = i <= m_rows ? m_month.month : OtherMonth();
      bool sale = Chance(60);
      const Firm& firm = AnyDomesticFirm();
      Date d{m_month.year, month, Between(1, 28)};
      Amounts a = Document();
      char buf[40];
      std::snprintf(buf, sizeof buf, sale ? "F/%d/%04d" : "Z/%d/%04d", i, m_month.year);
      // clang-format off
      rows.push_back({I(sale ? 1 : 128), I(i), I(month), I(firm.number), T(buf), D(d), D(d), T(""),
                      I(sale ? SaleGtu() : 0), I(sale ? 0 : BuyProcedure()), T(Chance(85) ? Ksef(sale ? m_ownNip : firm.nip, d) : "BFK"), N(a.exempt), N(0), N(a.n5),
                      N(a.t5), N(a.n8), N(a.t8), N(a.n23), N(a.t23), N(sale ? 0 : Chance(10) ? Amount(1, 50) : 0)});
      // clang-format on
    }
    kx::tables::WriteParadoxTable(dir / "Register.db", fields, rows);
  }

  std::mt19937 m_rng;
  Date m_month;
  int m_rows;
  bool m_rejkoRegisters;
  std::vector<Firm> m_firms;
  std::string m_ownNip = "7270120002";
};

}  // namespace

int main(int argc, char** argv) {
  // Options come in pairs after the folder; a folder name starting with "-"
  // (such as --help) is a mistake, not a folder to fill.
  if (argc < 2 || argv[1][0] == '-' || argc % 2 != 0) {
    std::cerr << "Użycie: gen_demo_data FOLDER [--month RRRR-MM] [--rows N] [--seed S]"
                 " [--rejko-layout single|registers]\n";
    return 2;
  }
  std::filesystem::path out = argv[1];
  Date month{2026, 11, 1};
  int rows = 60;
  unsigned seed = 2026;
  bool rejkoRegisters = false;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string opt = argv[i];
    std::string val = argv[i + 1];
    if (opt == "--month" && std::sscanf(val.c_str(), "%4d-%2d", &month.year, &month.month) == 2 && month.month >= 1 &&
        month.month <= 12) {
      continue;
    }
    if (opt == "--rows" && (rows = std::atoi(val.c_str())) > 0) continue;
    if (opt == "--rejko-layout" && (val == "single" || val == "registers")) {
      rejkoRegisters = val == "registers";
      continue;
    }
    if (opt == "--seed") {
      seed = static_cast<unsigned>(std::strtoul(val.c_str(), nullptr, 10));
      continue;
    }
    std::cerr << "Błędna opcja: " << opt << " " << val << "\n";
    return 2;
  }
  try {
    Generator(seed, month, rows, rejkoRegisters).Write(out);
  } catch (const kx::Error& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
