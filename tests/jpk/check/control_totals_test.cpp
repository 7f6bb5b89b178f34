// The control elements of JPK_FA, JPK_MAG and JPK_KR files against their
// items: the sample files give no finding, a changed count or sum gives
// exactly its error.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jpk/check/jpk_check.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::jpk::check::Finding;
using kx::jpk::check::Severity;

namespace kx::jpk::check {
void PrintTo(const Finding& f, std::ostream* os) {
  *os << SeverityText(f.severity) << " | " << f.section << " | " << f.lp << " | " << f.element << " | " << f.message;
}
}  // namespace kx::jpk::check

TEST(ControlTotals, PlantedFaults) {
  struct Case {
    const char* name;
    const char* sample;
    const char* from;  // found once in the sample; "" leaves it as it is
    const char* to;
    std::vector<Finding> findings;
  };
  auto error = [](const char* element, const char* message) {
    return Finding{Severity::Error, "plik", 0, element, message};
  };
  const char* fa = "JPK_FA/jpk_fa4_synthetic_default_ns.xml";
  const char* faTns = "JPK_FA/jpk_fa4_synthetic_tns_prefix.xml";
  const char* mag = "JPK_MAG/jpk_mag1_synthetic_default_ns.xml";
  const char* kr = "JPK_KR/jpk_kr1_synthetic_default_ns.xml";
  const char* krTns = "JPK_KR/jpk_kr1_synthetic_tns_prefix.xml";
  const Case cases[] = {
      {"FA sound", fa, "", "", {}},
      {"MAG sound", mag, "", "", {}},
      {"KR sound", kr, "", "", {}},
      {"FA invoice count",
       fa,
       "<LiczbaFaktur>1<",
       "<LiczbaFaktur>2<",
       {error("LiczbaFaktur", "podano 2, a faktur jest 1")}},
      {"FA invoice total",
       fa,
       "<WartoscFaktur>123<",
       "<WartoscFaktur>123.01<",
       {error("WartoscFaktur", "podano 123.01, a suma P_15 z faktur wynosi 123")}},
      {"FA invoice total, prefixed file",
       faTns,
       "<tns:WartoscFaktur>123<",
       "<tns:WartoscFaktur>124<",
       {error("WartoscFaktur", "podano 124, a suma P_15 z faktur wynosi 123")}},
      {"FA row total",
       fa,
       "<P_11>100<",
       "<P_11>90<",
       {error("WartoscWierszyFaktur", "podano 100, a suma P_11 z wierszy faktur wynosi 90")}},
      {"MAG receipt sum",
       mag,
       "<SumaPZ>250<",
       "<SumaPZ>25<",
       {error("SumaPZ", "podano 25, a suma WartoscPZ z dokumentów PZ wynosi 250")}},
      {"MAG issue count", mag, "<LiczbaWZ>1<", "<LiczbaWZ>2<", {error("LiczbaWZ", "podano 2, a dokumentów WZ jest 1")}},
      {"KR journal sum",
       kr,
       "<SumaKwotOperacji>500<",
       "<SumaKwotOperacji>400<",
       {error("SumaKwotOperacji", "podano 400, a suma DziennikKwotaOperacji z wierszy dziennika wynosi 500")}},
      {"KR credit side",
       krTns,
       "<tns:KwotaMa>500<",
       "<tns:KwotaMa>499.99<",
       {error("SumaMa", "podano 500, a suma KwotaMa z zapisów na kontach wynosi 499.99")}},
      {"KR entry count",
       kr,
       "<LiczbaWierszyKontoZapisj>1<",
       "<LiczbaWierszyKontoZapisj>3<",
       {error("LiczbaWierszyKontoZapisj", "podano 3, a zapisów na kontach jest 1")}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = ReadFile(SharedDir() / "samples" / c.sample);
    if (*c.from) {
      const size_t at = text.find(c.from);
      ASSERT_NE(at, std::string::npos);
      ASSERT_EQ(text.find(c.from, at + 1), std::string::npos);
      text.replace(at, std::string(c.from).size(), c.to);
    }
    EXPECT_EQ(kx::jpk::check::CheckJpkFile(dir.Write("case.xml", text), SharedDir() / "xsd"), c.findings);
  }
}
