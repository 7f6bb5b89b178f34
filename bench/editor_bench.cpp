// JPK_V7M editor jobs for bench/editor_bench.sh; each prints the time of its
// phases and the peak memory of the process.
//   editor_bench gen N OUT.xml          a file with N sale and N/2 purchase records
//   editor_bench link A.xml B.xml OUT   A opened, B linked after it, saved
//   editor_bench declare IN.xml OUT     opened (numbering, control sums), declaration, saved
//   editor_bench grid IN.xml            the record grid's row access: open, every row read,
//                                       random screens, a sort key, the filter, totals, one edit

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <random>
#include <string>

#include "platform/allocator.h"
#include "app/app_context.h"
#include "bench_support.h"
#include "platform/error.h"
#include "editor/record_table.h"
#include "editor/v7m_editor.h"
#include "jpk/v7m/v7m_records.h"

using namespace kx;

namespace {

using kxbench::NoUser;

using kxbench::Phases;

std::string Amount(long cents) {
  return std::to_string(cents / 100) + "." + std::to_string(100 + cents % 100).substr(1);
}

void Generate(long n, const std::string& out) {
  std::ofstream f(out, std::ios::binary);
  f << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<JPK xmlns=\"http://crd.gov.pl/wzor/2025/12/19/14090/\" "
       "xmlns:etd=\"http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2022/09/13/eD/DefinicjeTypy/\">\n"
       "<Naglowek><KodFormularza kodSystemowy=\"JPK_V7M (3)\" wersjaSchemy=\"1-0E\">JPK_VAT</KodFormularza>"
       "<WariantFormularza>3</WariantFormularza><DataWytworzeniaJPK>2026-03-02T09:05:07</DataWytworzeniaJPK>"
       "<NazwaSystemu>kx2jpk</NazwaSystemu><CelZlozenia poz=\"P_7\">1</CelZlozenia><KodUrzedu>1009</KodUrzedu>"
       "<Rok>2026</Rok><Miesiac>2</Miesiac></Naglowek>\n<Podmiot1 rola=\"Podatnik\"><OsobaNiefizyczna>"
       "<NIP>7270120002</NIP><PelnaNazwa>Hurtownia Żuraw</PelnaNazwa><Email>biuro@zuraw.pl</Email>"
       "</OsobaNiefizyczna></Podmiot1>\n<Ewidencja>\n";
  long tax = 0;
  for (long i = 1; i <= n; ++i) {
    long net = 1000 + (i * 37) % 500000;
    long vat = net * 23 / 100;
    tax += vat;
    f << "<SprzedazWiersz><LpSprzedazy>" << i << "</LpSprzedazy><KodKrajuNadaniaTIN>PL</KodKrajuNadaniaTIN>"
      << "<NrKontrahenta>5260001246</NrKontrahenta><NazwaKontrahenta>Klient " << i % 977
      << "</NazwaKontrahenta><DowodSprzedazy>FV " << i << "/02/2026</DowodSprzedazy>"
      << "<DataWystawienia>2026-02-05</DataWystawienia><DI>1</DI><K_19>" << Amount(net) << "</K_19><K_20>"
      << Amount(vat) << "</K_20></SprzedazWiersz>\n";
  }
  f << "<SprzedazCtrl><LiczbaWierszySprzedazy>" << n << "</LiczbaWierszySprzedazy><PodatekNalezny>" << Amount(tax)
    << "</PodatekNalezny></SprzedazCtrl>\n";
  long purchases = n / 2;
  long input = 0;
  for (long i = 1; i <= purchases; ++i) {
    long net = 500 + (i * 53) % 300000;
    long vat = net * 23 / 100;
    input += vat;
    f << "<ZakupWiersz><LpZakupu>" << i << "</LpZakupu><NrDostawcy>7270120002</NrDostawcy>"
      << "<NazwaDostawcy>Dostawca " << i % 331 << "</NazwaDostawcy><DowodZakupu>FZ " << i
      << "/2026</DowodZakupu><DataZakupu>2026-02-03</DataZakupu><DI>1</DI><K_42>" << Amount(net) << "</K_42><K_43>"
      << Amount(vat) << "</K_43></ZakupWiersz>\n";
  }
  f << "<ZakupCtrl><LiczbaWierszyZakupow>" << purchases << "</LiczbaWierszyZakupow><PodatekNaliczony>" << Amount(input)
    << "</PodatekNaliczony></ZakupCtrl>\n</Ewidencja>\n</JPK>\n";
}

int Run(int argc, char** argv) {
  std::string job = argc > 1 ? argv[1] : "";
  NoUser user;
  AppContext ctx(user);
  ctx.AppSettings.ClearEnter = false;
  if (job == "gen" && argc == 4) {
    Generate(std::atol(argv[2]), argv[3]);
    return 0;
  }
  if (job == "link" && argc == 5) {
    Phases phases;
    editor::V7MEditor editor(ctx);
    editor.OpenFile(argv[2]);
    phases.Mark("open A (load, numbering)");
    editor.LinkFile(argv[3]);
    phases.Mark("load B, link, renumber");
    editor.SaveTo(argv[4]);
    phases.Mark("save");
    return 0;
  }
  if (job == "declare" && argc == 4) {
    Phases phases;
    editor::V7MEditor editor(ctx);
    editor.OpenFile(argv[2]);
    phases.Mark("open (load, numbering, sums)");
    editor.Document().OwnerDocument().SetModified(false);
    jpk::v7m::RecalcJPK(editor.Document());
    phases.Mark("RecalcJPK again (nothing to do)");
    auto result = editor.RecalcDeclaration({.p39 = "100", .p49 = "50"});
    phases.Mark("declaration");
    std::printf("  P_38=%s P_48=%s P_51=%s\n", editor.RefreshInfo().p38.c_str(), editor.RefreshInfo().p48.c_str(),
                editor.RefreshInfo().p51.c_str());
    if (result.status != editor::DeclarationResult::Status::Done) return 1;
    editor.SaveTo(argv[3]);
    phases.Mark("save");
    return 0;
  }
  if (job == "grid" && argc == 3) {
    Phases phases;
    editor::V7MEditor editor(ctx);
    editor.OpenFile(argv[2]);
    phases.Mark("open (load, numbering, sums)");
    editor::RecordTable sales(editor.Document(), editor::RecordSide::Sales);
    editor::RecordTable purchases(editor.Document(), editor::RecordSide::Purchases);
    phases.Mark("grid tables of both sides");
    size_t bytes = 0;
    for (int row = 0; row < sales.RowCount(); ++row) {
      for (const std::string& cell : sales.RowTexts(row)) bytes += cell.size();
    }
    phases.Mark("every sale cell read once");
    // A screen of 40 rows at random places, as a scroll bar dragged about.
    constexpr int kScreens = 2000, kScreenRows = 40;
    std::mt19937 random(7);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kScreens; ++i) {
      const int top = static_cast<int>(random() % std::max(1, sales.RowCount() - kScreenRows));
      for (int row = top; row < std::min(sales.RowCount(), top + kScreenRows); ++row) {
        for (const std::string& cell : sales.RowTexts(row)) bytes += cell.size();
      }
    }
    const double screenMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / kScreens;
    phases.Mark("2000 random screens of 40 rows");
    std::printf("  one screen of %d rows: %.3f ms (%zu bytes of text read)\n", kScreenRows, screenMs, bytes);
    const int tax = sales.ColumnOf(editor::ColumnKind::TaxSum);
    std::vector<std::pair<int64_t, int>> keys;
    for (int row = 0; row < sales.RowCount(); ++row) keys.emplace_back(sales.CellNumber(row, tax).value_or(0), row);
    std::stable_sort(keys.begin(), keys.end());
    phases.Mark("sort by the row tax");
    int found = 0;
    for (int row = 0; row < sales.RowCount(); ++row)
      found += sales.SearchText(row).find("Klient 97") != std::string::npos;
    phases.Mark("filter text of every row");
    const editor::ColumnTotals totals = sales.Totals();
    phases.Mark("totals of every row");
    sales.SetCell(sales.RowCount() / 2, sales.ColumnOf("K_20"), "123,45");
    phases.Mark("one cell edited (with numbering, sums)");
    std::printf("  rows %d + %d, filter hits %d, tax total %lld\n", sales.RowCount(), purchases.RowCount(), found,
                static_cast<long long>(totals.cents[tax]));
    return 0;
  }
  std::fprintf(stderr, "użycie: editor_bench gen N OUT | link A B OUT | declare IN OUT | grid IN\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  kx::TuneAllocator();
  try {
    return Run(argc, argv);
  } catch (const Error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
