// kx2jpk-cli check on files written into a temporary folder: the exit code
// says whether there is an error, the text lines and the JSON list carry the
// findings, bad usage exits 2; the demo firm's month gives no error and no
// warning.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/v7m_fixture.h"
#include "support/run_cli.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// One sale marked DI, its control element with the given tax, no purchases.
std::string OneSale(const std::string& ctrlTax) {
  return V7MFile(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") + SaleCtrl(1, ctrlTax) + PurchaseCtrl(0, "0"));
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

}  // namespace

TEST(CheckCli, ExitCodeAndTextLines) {
  TempDir dir;
  const std::string schemas = (SharedDir() / "xsd").string();
  const std::string twoSales =
      V7MFile(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") +
              Replaced(Sale(2, "<K_19>100</K_19><K_20>23</K_20>"), "FV 2/02/2026", "FV 1/02/2026") + SaleCtrl(2, "46") +
              PurchaseCtrl(0, "0"));
  struct Case {
    const char* name;
    std::string file;
    int exitCode;
    std::string out;
  };
  const Case cases[] = {
      {"information only", OneSale("23"), 0,
       "informacja: sprzedaż, Lp 1, DI: dokument FV 1/02/2026 czeka na numer KSeF (oznaczenie DI)\n"
       "Plik case.xml: błędów 0, ostrzeżeń 0, informacji 1\n"},
      {"a warning is no error", twoSales, 0,
       "ostrzeżenie: sprzedaż, Lp 2, DowodSprzedazy: dokument FV 1/02/2026 kontrahenta 5260001246 występuje już w "
       "wierszu Lp 1\n"
       "informacja: sprzedaż, Lp 1, DI: dokument FV 1/02/2026 czeka na numer KSeF (oznaczenie DI)\n"
       "informacja: sprzedaż, Lp 2, DI: dokument FV 1/02/2026 czeka na numer KSeF (oznaczenie DI)\n"
       "Plik case.xml: błędów 0, ostrzeżeń 1, informacji 2\n"},
      {"an error", OneSale("24"), 1,
       "błąd: sprzedaż, PodatekNalezny: podano 24, a suma podatku z wierszy sprzedaży wynosi 23\n"
       "informacja: sprzedaż, Lp 1, DI: dokument FV 1/02/2026 czeka na numer KSeF (oznaczenie DI)\n"
       "Plik case.xml: błędów 1, ostrzeżeń 0, informacji 1\n"},
      {"nothing to say", Replaced(OneSale("23"), "<DI>1</DI>", "<BFK>1</BFK>"), 0, "Plik case.xml: bez uwag\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write("case.xml", c.file);
    CliResult r = RunCli({"check", "case.xml", "--schemas", schemas}, dir.Path());
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
}

// The JSON list parses and carries every finding; texts with quotes and
// backslashes come back whole.
TEST(CheckCli, JsonList) {
  TempDir dir;
  // A document number with a quote and a backslash, a schema complaint and
  // a rule's error.
  std::string file = Replaced(OneSale("24"), "FV 1/02/2026", "FV \"1\"\\02");
  file = Replaced(file, "<K_20>23</K_20>", "");
  dir.Write("case.xml", file);
  CliResult r = RunCli({"check", "case.xml", "--format", "json"}, dir.Path());
  EXPECT_EQ(r.exitCode, 1) << r.err;
  json list = json::parse(r.out);
  ASSERT_TRUE(list.is_array());
  ASSERT_GE(list.size(), 3u) << r.out;
  for (const json& f : list) {
    for (const char* key : {"poziom", "sekcja", "element", "komunikat"}) EXPECT_TRUE(f.at(key).is_string()) << f;
    EXPECT_TRUE(f.at("lp").is_number_integer()) << f;
  }
  // The schema's complaint about the lone net amount comes first; it names
  // the record missing the tax.
  EXPECT_EQ(list.front().at("poziom"), "błąd");
  EXPECT_EQ(list.front().at("sekcja"), "plik");
  EXPECT_EQ(list.front().at("element"), "SprzedazWiersz");
  const json& pair = list[list.size() - 3];
  EXPECT_EQ(pair, json::parse(R"({"poziom": "błąd", "sekcja": "sprzedaż", "lp": 1, "element": "K_19",
                                   "komunikat": "kwota netto K_19 bez kwoty podatku K_20"})"));
  EXPECT_EQ(list[list.size() - 2],
            json::parse(R"({"poziom": "błąd", "sekcja": "sprzedaż", "lp": 0, "element": "PodatekNalezny",
                            "komunikat": "podano 24, a suma podatku z wierszy sprzedaży wynosi 0"})"));
  EXPECT_EQ(list.back().at("poziom"), "informacja");
  EXPECT_EQ(list.back().at("komunikat"), "dokument FV \"1\"\\02 czeka na numer KSeF (oznaczenie DI)");

  // No findings: an empty list.
  dir.Write("clean.xml", Replaced(OneSale("23"), "<DI>1</DI>", "<BFK>1</BFK>"));
  r = RunCli({"check", "clean.xml", "--format", "json"}, dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(json::parse(r.out), json::array());
}

TEST(CheckCli, BadUsageExits2AndMissingFileFails) {
  TempDir dir;
  dir.Write("case.xml", OneSale("23"));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"check"}, {"check", "case.xml", "--bogus"}, {"check", "case.xml", "--format", "xml"}}) {
    CliResult r = RunCli(args, dir.Path());
    EXPECT_EQ(r.exitCode, 2) << args.back() << ": " << r.err;
    EXPECT_NE(r.err.find("Błędne wywołanie"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  CliResult r = RunCli({"check", "missing.xml"}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("missing.xml"), std::string::npos) << r.err;
  // Schemas missing from the named folder: a failure, not a clean file.
  r = RunCli({"check", "case.xml", "--schemas", dir.Path().string()}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Brak schematów JPK"), std::string::npos) << r.err;
}

// The demo firm's month as scripts/demo writes it: the JPK_V7M of each source
// program, the JPK_FA and JPK_MAG exports, the JPK_FA converted into JPK_V7M
// and the JPK_KR give no error and no warning; the only information is the
// list of records marked DI.
TEST(CheckCli, DemoMonthGivesNoFindings) {
  TempDir dir;
  fs::copy(SourceDir() / "data" / "demo", dir.Path(), fs::copy_options::recursive);
  std::vector<std::string> files;
  for (const char* source : {"towix", "rejko", "folvo"}) {
    const std::string out = std::string("v7m_") + source + ".xml";
    CliResult r = RunCli({"/ini=kx2jpk.ini", "v7m", "generate", "--month", "2026-11", "--source", source, "--yes",
                          "--ksef-empty", "bfk", "-o", out},
                         dir.Path());
    ASSERT_EQ(r.exitCode, 0) << source << ": " << r.err;
    files.push_back(out);
  }
  for (const char* format : {"fa", "mag"}) {
    const std::string out = std::string(format) + ".xml";
    CliResult r =
        RunCli({"/ini=kx2jpk.ini", "export", "--month", "2026-11", "--format", format, "--yes", "-o", out}, dir.Path());
    ASSERT_EQ(r.exitCode, 0) << format << ": " << r.err;
    files.push_back(out);
  }
  CliResult r =
      RunCli({"/ini=kx2jpk.ini", "convert", "fa.xml", "--to", "v7m", "--ksef-empty", "bfk", "-o", "."}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  files.push_back("JPK_FA_to_V7_fa.xml");
  r = RunCli({"/ini=kx2jpk.ini", "kr", "generate", "--month", "2026-11", "-o", "kr.xml"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  files.push_back("kr.xml");

  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    r = RunCli({"check", file, "--format", "json"}, dir.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const json& f : json::parse(r.out)) {
      EXPECT_EQ(f.at("poziom"), "informacja") << f;
      EXPECT_EQ(f.at("element"), "DI") << f;
    }
  }
}
