// JPK document jobs for bench/run.sh: a document built record by record
// through the typed views, then saved in the system's two passes.
//   jpk_bench v7m N OUT.xml   JPK_V7M with N sale records
//   jpk_bench kr N OUT.xml    JPK_KR with N postings

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/allocator.h"
#include "app/app_context.h"
#include "bench_support.h"
#include "app/kxTools.h"
#include "jpk/files/jpkTools.h"

using namespace kx;
using namespace kx::jpk;

namespace {

using kxbench::NoUser;

using kxbench::DemoFirm;

void BuildV7M(const AppContext& ctx, size_t n, const std::string& out) {
  auto root = v7m::NewJPK();
  PrepareV7MDocument(root);
  FillV7MHeader(ctx, root, false);
  auto records = root.Ewidencja();
  auto sales = records.SprzedazWiersz();
  double tax = 0;
  for (size_t i = 0; i < n; ++i) {
    auto r = sales.Add();
    r.SetLpSprzedazy(static_cast<int32_t>(i + 1));
    r.SetKodKrajuNadaniaTIN("PL");
    r.SetNrKontrahenta("1234563218");
    r.SetNazwaKontrahenta("Sklep Spożywczy nr " + std::to_string(i % 20000));
    r.SetDowodSprzedazy("FV " + std::to_string(i + 1) + "/11/2026");
    r.SetDataWystawienia({2026, 11, static_cast<int>(i % 30) + 1});
    r.SetDataSprzedazy({2026, 11, static_cast<int>(i % 30) + 1});
    r.SetOFF(1);
    double net = static_cast<double>(i % 10000) / 4 + 1;
    r.SetK_19(net);
    r.SetK_20(RoundAmount(2, net * 0.23));
    tax += RoundAmount(2, net * 0.23);
  }
  records.SprzedazCtrl().SetLiczbaWierszySprzedazy(static_cast<uint32_t>(n));
  records.SprzedazCtrl().SetPodatekNalezny(RoundAmount(2, tax));
  records.ZakupCtrl().SetLiczbaWierszyZakupow(0);
  records.ZakupCtrl().SetPodatekNaliczony(0);
  SaveV7MFile(root, out);
}

double Since(std::chrono::steady_clock::time_point& t) {
  auto now = std::chrono::steady_clock::now();
  double s = std::chrono::duration<double>(now - t).count();
  t = now;
  return s;
}

void BuildKR(const AppContext& ctx, size_t n, const std::string& out) {
  auto t = std::chrono::steady_clock::now();
  auto root = kr::NewJPKKR();
  PrepareKRDocument(root);
  FillKRHeader(ctx, root);
  auto postings = root.KontoZapis();
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    auto p = postings.Add();
    p.SetTyp("G");
    p.SetLpZapisu(static_cast<int32_t>(i + 1));
    p.SetNrZapisu(std::to_string(i / 4 + 1) + "/11/2026");
    p.SetKodKontaWinien("20" + std::to_string(i % 97));
    double amount = static_cast<double>(i % 5000) + 0.25;
    p.SetKwotaWinien(amount);
    p.SetKodKontaMa("70" + std::to_string(i % 13));
    p.SetKwotaMa(amount);
    sum += amount;
  }
  {
    auto ctrl = root.KontoZapisCtrl();
    ctrl.SetLiczbaWierszyKontoZapisj(static_cast<int32_t>(n));
    ctrl.SetSumaWinien(sum);
    ctrl.SetSumaMa(sum);
  }
  std::printf("  built %.2f s\n", Since(t));
  SaveKRFile(root, out);
  std::printf("  saved %.2f s\n", Since(t));
}

}  // namespace

int main(int argc, char** argv) {
  kx::TuneAllocator();
  if (argc != 4) {
    std::fprintf(stderr, "użycie: jpk_bench v7m|kr N PLIK.xml\n");
    return 2;
  }
  NoUser port;
  AppContext ctx(port);
  DemoFirm(ctx.AppSettings);
  std::string job = argv[1];
  size_t n = std::strtoull(argv[2], nullptr, 10);
  auto start = std::chrono::steady_clock::now();
  // clang-format off
  if (job == "v7m") BuildV7M(ctx, n, argv[3]);
  else if (job == "kr") BuildKR(ctx, n, argv[3]);
  else return 2;
  // clang-format on
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %zu records built and saved in %.3f s\n", job.c_str(), n, seconds);
  return 0;
}
