// JPK_V7M generation jobs for bench/generate_bench.sh; each prints the time of
// its phases and the peak memory of the process.
//   generate_bench gen N DIR                      the month's register of N rows with N/5
//                                                 contractors, for each source program
//   generate_bench run towix|rejko|folvo DIR OUT  "Generuj" on DIR's tables, the document saved

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/allocator.h"
#include "app/app_context.h"
#include "app/kxTools.h"
#include "platform/error.h"
#include "bench_support.h"
#include "editor/v7m_editor.h"
#include "generate/v7m_generate.h"
#include "platform/tables/paradox_writer.h"

namespace fs = std::filesystem;
using kx::tables::Date;
using kx::tables::FieldDef;
using kx::tables::FieldKind;
using kx::tables::Value;

namespace {

using kxbench::Phases;

constexpr Date kMonth{2026, 11, 1};
constexpr const char* kOwnNip = "7270120002";

FieldDef F(const char* name, FieldKind kind, int size = 0) { return FieldDef{name, kind, 'A', size, 0}; }
Value T(const std::string& s) { return Value::FromText(s); }
Value I(int64_t n) { return Value::FromInt(n); }
Value N(double d) { return Value::FromFloat(d); }
Value D(Date d) { return Value::FromDate(d); }

// Tables of one month for the three programs, the same for one seed.
class Tables {
 public:
  Tables(int rows, unsigned seed) : m_rows(rows), m_rng(seed) { MakeFirms(std::max(1, rows / 5)); }

  void Write(const fs::path& dir) {
    WriteUsers(dir / "towix");
    WriteTowix(dir / "towix");
    WriteUsers(dir / "rejko" / "firmy");
    WriteRejko(dir / "rejko" / "2026");
    WriteUsers(dir / "folvo");
    WriteFolvo(dir / "folvo" / "2026");
  }

 private:
  struct Firm {
    std::string name, nip, city;
  };

  int Between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
  double Amount(int lo, int hi) { return kx::RoundAmount(2, Between(lo * 100, hi * 100) / 100.0); }
  int AnyFirm() { return Between(1, static_cast<int>(m_firms.size())); }
  Date Day() { return {kMonth.year, kMonth.month, Between(1, 28)}; }

  std::string ValidNip() {
    for (;;) {
      std::string nip = std::to_string(Between(1, 9));
      for (int i = 0; i < 8; ++i) nip += static_cast<char>('0' + Between(0, 9));
      int sum = 0;
      for (int i = 0; i < 9; ++i) sum += (nip[i] - '0') * (kx::kNipWeights[i] - '0');
      if (sum % 11 != 10) return nip + static_cast<char>('0' + sum % 11);
    }
  }

  void MakeFirms(int count) {
    static const char* kKinds[] = {"Piekarnia", "Hurtownia", "Sklep Spożywczy", "Delikatesy",
                                   "Masarnia",  "Cukiernia", "Zakład Usługowy", "Przedsiębiorstwo Handlowe"};
    static const char* kTowns[] = {"Łódź", "Warszawa", "Kraków", "Poznań", "Gdańsk", "Wrocław", "Zgierz"};
    for (int i = 1; i <= count; ++i) {
      m_firms.push_back(
          {std::string(kKinds[Between(0, 7)]) + " Żuraw " + std::to_string(i), ValidNip(), kTowns[Between(0, 6)]});
    }
  }

  std::string Ksef(const std::string& nip, Date d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s-%04d%02d%02d-%06X-%06X-%02X", nip.c_str(), d.year, d.month, d.day,
                  Between(0, 0xFFFFFF), Between(0, 0xFFFFFF), Between(0, 0xFF));
    return buf;
  }

  void WriteUsers(const fs::path& dir) {
    fs::create_directories(dir);
    std::vector<FieldDef> fields{
        F("Number", FieldKind::Integer), F("Firm Name", FieldKind::Text, 60), F("Identifier", FieldKind::Text, 20),
        F("City", FieldKind::Text, 40),  F("Options", FieldKind::Short),      F("Street", FieldKind::Text, 40),
        F("House", FieldKind::Text, 10), F("ZipCode", FieldKind::Text, 10),   F("NIP", FieldKind::Text, 20)};
    std::vector<std::vector<Value>> rows;
    rows.reserve(m_firms.size());
    for (size_t i = 0; i < m_firms.size(); ++i) {
      const Firm& f = m_firms[i];
      rows.push_back({I(static_cast<int64_t>(i + 1)), T(f.name), T("F" + std::to_string(i + 1)), T(f.city), I(0),
                      T("Piotrkowska"), T(std::to_string(1 + i % 200)), T("90-006"), T(f.nip)});
    }
    kx::tables::WriteParadoxTable(dir / "Users.db", fields, rows, {1250, 1});
  }

  void WriteTowix(const fs::path& dir) {
    std::vector<FieldDef> fields{
        F("Class", FieldKind::Short),        F("Year", FieldKind::Short),      F("MagId", FieldKind::Short),
        F("Number", FieldKind::Integer),     F("Flags", FieldKind::Integer),   F("Document", FieldKind::Text, 30),
        F("User", FieldKind::Integer),       F("Payer", FieldKind::Integer),   F("Date", FieldKind::Date),
        F("SaleDate", FieldKind::Date),      F("KSeF", FieldKind::Text, 40),   F("GTU", FieldKind::Short),
        F("ValueFree", FieldKind::Currency), F("Value0", FieldKind::Currency), F("Value3", FieldKind::Currency),
        F("Tax3", FieldKind::Currency),      F("Value7", FieldKind::Currency), F("Tax7", FieldKind::Currency),
        F("Value22", FieldKind::Currency),   F("Tax22", FieldKind::Currency),  F("Value", FieldKind::Currency),
        F("TotalTax", FieldKind::Currency)};
    std::vector<std::vector<Value>> rows;
    rows.reserve(m_rows);
    int sales = 0, purchases = 0;
    for (int i = 0; i < m_rows; ++i) {
      const bool sale = Between(1, 100) <= 65;
      const int number = sale ? ++sales : ++purchases;
      const int firm = AnyFirm();
      const Date d = Day();
      const double n23 = Amount(50, 5000), t23 = kx::TaxFromNet(n23, 23);
      const double n8 = Amount(10, 2000), t8 = kx::TaxFromNet(n8, 8);
      char doc[40];
      std::snprintf(doc, sizeof doc, sale ? "FV %d/11/2026" : "FZ %d/11/2026", number);
      const std::string ksef = Ksef(sale ? kOwnNip : m_firms[firm - 1].nip, d);
      // clang-format off
      rows.push_back({I(sale ? 0 : 128), I(kMonth.year), I(1), I(number), I(0), T(doc), I(firm), I(firm), D(d), D(d),
                      T(ksef), I(0), N(0), N(0), N(0), N(0), N(n8), N(t8), N(n23), N(t23),
                      N(kx::RoundAmount(2, n23 + t23 + n8 + t8)), N(kx::RoundAmount(2, t23 + t8))});
      // clang-format on
    }
    kx::tables::WriteParadoxTable(dir / (kx::PeriodTableName(false, "REG", kMonth) + ".db"), fields, rows, {1250, 4});
  }

  // The single register table of the bookkeeping and register programs.
  void WriteSingle(const fs::path& dir, bool rejko) {
    fs::create_directories(dir);
    std::vector<FieldDef> fields{
        F(rejko ? "RegType" : "RegId", FieldKind::Short), F(rejko ? "VatPeriod" : "VATMonth", FieldKind::Short),
        // clang-format off
                                 F("Number", FieldKind::Integer),    F("FirmId", FieldKind::Integer),
                                 F("DocName", FieldKind::Text, 30),   F(rejko ? "DocDate" : "RegDate", FieldKind::Date),
                                 F("SaleDate", FieldKind::Date),      F("TypDokumentu", FieldKind::Text, 10),
                                 F("GTU", FieldKind::Short),          F("Procedura", FieldKind::Short),
                                 F("KSeF", FieldKind::Text, 40),      F("ValueFree", FieldKind::Currency),
                                 F("Value0", FieldKind::Currency),    F(rejko ? "NetD" : "Net3", FieldKind::Currency),
                                 F(rejko ? "VatD" : "Vat3", FieldKind::Currency),
                                 F(rejko ? "NetB" : "Net7", FieldKind::Currency),
                                 F(rejko ? "VatB" : "Vat7", FieldKind::Currency),
                                 F(rejko ? "NetA" : "Net22", FieldKind::Currency),
                                 F(rejko ? "VatA" : "Vat22", FieldKind::Currency)};
    // clang-format on
    if (!rejko) fields.push_back(F("VatNoDeduct", FieldKind::Currency));
    std::vector<std::vector<Value>> rows;
    rows.reserve(m_rows);
    for (int i = 1; i <= m_rows; ++i) {
      const bool sale = Between(1, 100) <= 65;
      const int firm = AnyFirm();
      const Date d = Day();
      const double n23 = Amount(50, 5000), t23 = kx::TaxFromNet(n23, 23);
      const double n8 = Amount(10, 2000), t8 = kx::TaxFromNet(n8, 8);
      char doc[40];
      std::snprintf(doc, sizeof doc, sale ? "FS/%d/11/2026" : "FK/%d/11/2026", i);
      const int type = sale ? (rejko ? 0 : 1) : 128;
      // clang-format off
      std::vector<Value> row{I(type), I(kMonth.month), I(i), I(firm), T(doc), D(d), D(d), T(""), I(0), I(0),
                             T(Ksef(sale ? kOwnNip : m_firms[firm - 1].nip, d)), N(0), N(0), N(0), N(0), N(n8),
                             N(t8), N(n23), N(t23)};
      // clang-format on
      if (!rejko) row.push_back(N(0));
      rows.push_back(std::move(row));
    }
    kx::tables::WriteParadoxTable(dir / "Register.db", fields, rows);
  }
  void WriteRejko(const fs::path& dir) { WriteSingle(dir, true); }
  void WriteFolvo(const fs::path& dir) { WriteSingle(dir, false); }

  int m_rows;
  std::mt19937 m_rng;
  std::vector<Firm> m_firms;
};

int Run(const std::string& program, const fs::path& dir, const std::string& out) {
  kxbench::NoUser user;
  kx::AppContext ctx(user);
  kx::AppSettings& s = ctx.AppSettings;
  kxbench::DemoFirm(s);
  for (int code : {0, 1, 2, 3, 4, 5, 7, 22, 23, 50, 51}) s.SaleDocTypes.set(static_cast<size_t>(code));
  kx::generate::GenerateOptions options;
  options.month = kMonth;
  const std::string sep(1, fs::path::preferred_separator);
  if (program == "towix") {
    options.source = kx::generate::SourceProgram::Towix;
    s.KXDataDir = s.UserDir = (dir / "towix").string() + sep;
  } else if (program == "rejko") {
    options.source = kx::generate::SourceProgram::Rejko;
    s.RejkoDir = (dir / "rejko").string() + sep;
    s.RejkoUserDir = (dir / "rejko" / "firmy").string() + sep;
  } else if (program == "folvo") {
    options.source = kx::generate::SourceProgram::Folvo;
    s.FolvoDir = s.UserDir = (dir / "folvo").string() + sep;
  } else {
    std::fprintf(stderr, "Nieznany program: %s\n", program.c_str());
    return 2;
  }
  Phases phases;
  kx::generate::GenJpkVatState state;
  kx::editor::V7MEditor editor(ctx, fs::path(out).parent_path());
  kx::generate::GeneratedV7M generated = kx::generate::GenerateJpkV7M(ctx, state, options);
  if (generated.failure) std::rethrow_exception(generated.failure);
  editor.AcceptGenerated(generated.document, false, std::nullopt);
  const auto records = editor.Document().Ewidencja();
  std::printf("  %d sale and %d purchase records\n", records.SprzedazWiersz().Count(), records.ZakupWiersz().Count());
  phases.Mark("generate (read, write, recalc)");
  editor.SaveTo(out);
  phases.Mark("save");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  kx::TuneAllocator();
  try {
    const std::string job = argc > 1 ? argv[1] : "";
    if (job == "gen" && argc == 4) {
      Phases phases;
      Tables(std::atoi(argv[2]), 2026).Write(argv[3]);
      phases.Mark("tables written");
      return 0;
    }
    if (job == "run" && argc == 5) return Run(argv[2], argv[3], argv[4]);
  } catch (const kx::Error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "Użycie: generate_bench gen N FOLDER | run towix|rejko|folvo FOLDER WYNIK.xml\n");
  return 2;
}
