// gen_demo_data: writes the source tables of one month of a demo firm for the
// three source programs, with plausible Polish contractors and documents.
//
//   gen_demo_data FOLDER [--month YYYY-MM] [--rows N] [--seed S]
//
// FOLDER receives towix/ (the warehouse register of the month with its
// per-period contractor tables and the Users table), rejko/YYYY/Register and
// folvo/YYYY/Register. The same seed gives the same tables.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "app/kxTools.h"
#include "app/kx_error.h"
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
  Generator(unsigned seed, Date month, int rows) : m_rng(seed), m_month(month), m_rows(rows) { MakeFirms(); }

  void Write(const std::filesystem::path& out) {
    WriteTowix(out / "towix");
    WriteRejko(out / "rejko" / std::to_string(m_month.year));
    WriteFolvo(out / "folvo" / std::to_string(m_month.year));
  }

 private:
  int Between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
  bool Chance(int percent) { return Between(1, 100) <= percent; }
  double Amount(int lo, int hi) { return kx::RoundAmount(2, Between(lo * 100, hi * 100) / 100.0); }

  std::string ValidNip() {
    for (;;) {
      std::string nip = std::to_string(Between(1, 9));
      for (int i = 0; i < 8; ++i) nip += static_cast<char>('0' + Between(0, 9));
      int sum = 0;
      for (int i = 0; i < 9; ++i) sum += (nip[i] - '0') * (kx::kNipWeights[i] - '0');
      if (sum % 11 != 10) return nip + static_cast<char>('0' + sum % 11);
    }
  }

  void MakeFirms() {
    static const char* kNames[] = {"Piekarnia Kłos", "Mleczarnia Łąka Sp. z o.o.", "Sklep Spożywczy \"Pod Lipą\"",
                                   "Hurtownia Owoców Sadownik", "Przedsiębiorstwo Handlowe Żuraw",
                                   "Delikatesy Jagoda s.c.", "Masarnia Wiejska Nowak", "Browar Rzemieślniczy Chmiel",
                                   "Cukiernia Słodki Róg", "Zakład Przetwórstwa Rybnego Bałtyk",
                                   "Market Społem", "Restauracja Pod Złotym Kłosem", "Kawiarnia Młynek",
                                   "Gospodarstwo Rolne Wiśniewski", "Transport Ciężarowy Kowalczyk"};
    static const char* kTowns[][3] = {{"Łódź", "90-006", "Piotrkowska"}, {"Warszawa", "00-950", "Marszałkowska"},
                                      {"Kraków", "31-042", "Grodzka"},   {"Poznań", "61-772", "Półwiejska"},
                                      {"Gdańsk", "80-831", "Długa"},     {"Wrocław", "50-106", "Świdnicka"},
                                      {"Zgierz", "95-100", "Łęczycka"},  {"Pabianice", "95-200", "Zamkowa"}};
    int number = 1;
    for (const char* name : kNames) {
      const auto& town = kTowns[Between(0, 7)];
      m_firms.push_back({number++, name, ValidNip(), 0, town[0], town[1], town[2], std::to_string(Between(1, 120))});
    }
    m_firms.push_back({number++, "Müller Lebensmittel GmbH", "DE811128135", 1, "Berlin;Niemcy", "10115",
                       "Hauptstraße", "12"});
    m_firms.push_back({number++, "Potraviny Novák s.r.o.", "CZ25596641", 1, "Praha;Czechy", "11000", "Václavské náměstí",
                       "3"});
  }

  const Firm& AnyDomesticFirm() { return m_firms[Between(0, static_cast<int>(m_firms.size()) - 3)]; }
  const Firm& AnyForeignFirm() { return m_firms[Between(static_cast<int>(m_firms.size()) - 2,
                                                        static_cast<int>(m_firms.size()) - 1)]; }

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

  void WriteContractors(const std::filesystem::path& dir) {
    std::vector<FieldDef> period{F("Number", FieldKind::Integer), F("Firm Name", FieldKind::Text, 60),
                                 F("Identifier", FieldKind::Text, 20), F("City", FieldKind::Text, 40),
                                 F("Options", FieldKind::Short), F("Address", FieldKind::Text, 60),
                                 F("ZipCode", FieldKind::Text, 10), F("NIP", FieldKind::Text, 20)};
    std::vector<FieldDef> users{F("Number", FieldKind::Integer), F("Firm Name", FieldKind::Text, 60),
                                F("Identifier", FieldKind::Text, 20), F("City", FieldKind::Text, 40),
                                F("Options", FieldKind::Short), F("Street", FieldKind::Text, 40),
                                F("House", FieldKind::Text, 10), F("ZipCode", FieldKind::Text, 10),
                                F("NIP", FieldKind::Text, 20)};
    std::vector<std::vector<Value>> periodRows, userRows;
    for (const Firm& f : m_firms) {
      std::string shortName = f.name.substr(0, f.name.find(' '));
      periodRows.push_back({I(f.number), T(f.name), T(shortName), T(f.city), I(f.options), T(f.street + " " + f.house),
                            T(f.zip), T(f.nip)});
      userRows.push_back({I(f.number), T(f.name), T(shortName), T(f.city), I(f.options), T(f.street), T(f.house),
                          T(f.zip), T(f.nip)});
    }
    kx::tables::ParadoxWriteOptions keyed{1250, 1};
    std::string prefix = kx::PeriodTableName(false, "", m_month);
    kx::tables::WriteParadoxTable(dir / (prefix + "UR.db"), period, periodRows, keyed);
    kx::tables::WriteParadoxTable(dir / (prefix + "UC.db"), period, periodRows, keyed);
    kx::tables::WriteParadoxTable(dir / "Users.db", users, userRows, keyed);
  }

  void WriteTowix(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    WriteContractors(dir);
    std::vector<FieldDef> fields{F("Class", FieldKind::Short),     F("Year", FieldKind::Short),
                                 F("MagId", FieldKind::Short),     F("Number", FieldKind::Integer),
                                 F("Flags", FieldKind::Integer),   F("Document", FieldKind::Text, 30),
                                 F("User", FieldKind::Integer),    F("Payer", FieldKind::Integer),
                                 F("Date", FieldKind::Date),       F("SaleDate", FieldKind::Date),
                                 F("PayDate", FieldKind::Date),    F("KSeF", FieldKind::Text, 40),
                                 F("GTU", FieldKind::Short),       F("ValueFree", FieldKind::Currency),
                                 F("Value0", FieldKind::Currency), F("Value3", FieldKind::Currency),
                                 F("Tax3", FieldKind::Currency),   F("Value7", FieldKind::Currency),
                                 F("Tax7", FieldKind::Currency),   F("Value22", FieldKind::Currency),
                                 F("Tax22", FieldKind::Currency),  F("Value", FieldKind::Currency),
                                 F("TotalTax", FieldKind::Currency), F("CostValue", FieldKind::Currency)};
    std::vector<std::vector<Value>> rows;
    int counters[256] = {};
    for (int i = 0; i < m_rows; ++i) {
      int roll = Between(1, 100);
      int cls = roll <= 55 ? 0 : roll <= 62 ? 4 : roll <= 67 ? 6 : roll <= 72 ? 22 : 128;
      int flags = 0;
      int number = ++counters[cls];
      const Firm& firm = cls == 22 ? AnyForeignFirm() : AnyDomesticFirm();
      Date issued = Day();
      Date sold = Chance(80) ? issued : Date{issued.year, issued.month, std::max(1, issued.day - Between(1, 5))};
      Amounts a = Document();
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
          a = Amounts{};
          a.zero = Amount(1000, 20000);
          break;
        default:
          std::snprintf(buf, sizeof buf, "FZ %d/%02d/%04d", number, m_month.month, m_month.year);
          ksef = Chance(80) ? Ksef(firm.nip, sold) : "BFK";
          if (Chance(5)) flags |= 0x40;
          break;
      }
      doc = buf;
      double value = cls == 22 ? a.zero : a.Gross();
      rows.push_back({I(cls), I(m_month.year), I(1), I(number), I(flags), T(doc), I(firm.number), I(firm.number),
                      D(issued), D(sold), D(issued), T(ksef), I(cls == 0 && Chance(20) ? 1 << Between(0, 12) : 0),
                      N(a.exempt), N(cls == 22 ? 0 : a.zero), N(a.n5), N(a.t5), N(a.n8), N(a.t8), N(a.n23),
                      N(a.t23), N(value), N(a.Tax()), N(kx::RoundAmount(2, value * 0.7))});
    }
    kx::tables::WriteParadoxTable(dir / (kx::PeriodTableName(false, "REG", m_month) + ".db"), fields, rows,
                                  {1250, 4});
  }

  void WriteRejko(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    std::vector<FieldDef> fields{F("RegType", FieldKind::Short),      F("VatPeriod", FieldKind::Short),
                                 F("Number", FieldKind::Integer),     F("FirmId", FieldKind::Integer),
                                 F("DocName", FieldKind::Text, 30),   F("DocDate", FieldKind::Date),
                                 F("SaleDate", FieldKind::Date),      F("TypDokumentu", FieldKind::Text, 10),
                                 F("GTU", FieldKind::Short),          F("Procedura", FieldKind::Short),
                                 F("KSeF", FieldKind::Text, 40),      F("ValueFree", FieldKind::Currency),
                                 F("Value0", FieldKind::Currency),    F("NetD", FieldKind::Currency),
                                 F("VatD", FieldKind::Currency),      F("NetB", FieldKind::Currency),
                                 F("VatB", FieldKind::Currency),      F("NetA", FieldKind::Currency),
                                 F("VatA", FieldKind::Currency)};
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= m_rows; ++i) {
      bool sale = Chance(65);
      const Firm& firm = AnyDomesticFirm();
      Date d = Day();
      Amounts a = Document();
      char buf[40];
      std::snprintf(buf, sizeof buf, sale ? "FS/%d/%02d/%04d" : "FK/%d/%02d/%04d", i, m_month.month, m_month.year);
      rows.push_back({I(sale ? 0 : 128), I(m_month.month), I(i), I(firm.number), T(buf), D(d), D(d), T(""),
                      I(0), I(0), T(Chance(85) ? Ksef(sale ? m_ownNip : firm.nip, d) : "BFK"), N(a.exempt), N(0),
                      N(a.n5), N(a.t5), N(a.n8), N(a.t8), N(a.n23), N(a.t23)});
    }
    kx::tables::WriteParadoxTable(dir / "Register.db", fields, rows);
  }

  void WriteFolvo(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    std::vector<FieldDef> fields{F("RegId", FieldKind::Short),          F("Number", FieldKind::Integer),
                                 F("VATMonth", FieldKind::Short),       F("FirmId", FieldKind::Integer),
                                 F("DocName", FieldKind::Text, 30),     F("RegDate", FieldKind::Date),
                                 F("SaleDate", FieldKind::Date),        F("TypDokumentu", FieldKind::Text, 10),
                                 F("GTU", FieldKind::Short),            F("Procedura", FieldKind::Short),
                                 F("KSeF", FieldKind::Text, 40),        F("ValueFree", FieldKind::Currency),
                                 F("Value0", FieldKind::Currency),      F("Net3", FieldKind::Currency),
                                 F("Vat3", FieldKind::Currency),        F("Net7", FieldKind::Currency),
                                 F("Vat7", FieldKind::Currency),        F("Net22", FieldKind::Currency),
                                 F("Vat22", FieldKind::Currency),       F("VatNoDeduct", FieldKind::Currency)};
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= m_rows; ++i) {
      bool sale = Chance(60);
      const Firm& firm = AnyDomesticFirm();
      Date d = Day();
      Amounts a = Document();
      char buf[40];
      std::snprintf(buf, sizeof buf, sale ? "F/%d/%04d" : "Z/%d/%04d", i, m_month.year);
      rows.push_back({I(sale ? 1 : 128), I(i), I(m_month.month), I(firm.number), T(buf), D(d), D(d), T(""), I(0),
                      I(0), T(Chance(85) ? Ksef(sale ? m_ownNip : firm.nip, d) : "BFK"), N(a.exempt), N(0), N(a.n5),
                      N(a.t5), N(a.n8), N(a.t8), N(a.n23), N(a.t23), N(sale ? 0 : Chance(10) ? Amount(1, 50) : 0)});
    }
    kx::tables::WriteParadoxTable(dir / "Register.db", fields, rows);
  }

  std::mt19937 m_rng;
  Date m_month;
  int m_rows;
  std::vector<Firm> m_firms;
  std::string m_ownNip = "7270120002";
};

}  // namespace

int main(int argc, char** argv) {
  // Options come in pairs after the folder; a folder name starting with "-"
  // (such as --help) is a mistake, not a folder to fill.
  if (argc < 2 || argv[1][0] == '-' || argc % 2 != 0) {
    std::cerr << "Użycie: gen_demo_data FOLDER [--month RRRR-MM] [--rows N] [--seed S]\n";
    return 2;
  }
  std::filesystem::path out = argv[1];
  Date month{2026, 11, 1};
  int rows = 60;
  unsigned seed = 2026;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string opt = argv[i];
    std::string val = argv[i + 1];
    if (opt == "--month" && std::sscanf(val.c_str(), "%4d-%2d", &month.year, &month.month) == 2 && month.month >= 1 &&
        month.month <= 12) {
      continue;
    }
    if (opt == "--rows" && (rows = std::atoi(val.c_str())) > 0) continue;
    if (opt == "--seed") {
      seed = static_cast<unsigned>(std::strtoul(val.c_str(), nullptr, 10));
      continue;
    }
    std::cerr << "Błędna opcja: " << opt << " " << val << "\n";
    return 2;
  }
  try {
    Generator(seed, month, rows).Write(out);
  } catch (const kx::Error& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
