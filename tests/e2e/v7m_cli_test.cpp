// kx2jpk-cli v7m on JPK_V7M files written here and on copies of the shared
// samples: every command, outputs checked against the official schemas.

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <sstream>

#include "fixtures/v7m_fixture.h"
#include "support/jpk_schema.h"
#include "support/run_cli.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using kxtest::Declaration;
using kxtest::Purchase;
using kxtest::PurchaseCtrl;
using kxtest::ReadFile;
using kxtest::RunCli;
using kxtest::Sale;
using kxtest::SaleCtrl;
using kxtest::V7MFile;
namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> Values(const std::string& out) {
  std::map<std::string, std::string> values;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

std::string Pair(int net, const std::string& netValue, const std::string& taxValue) {
  return "<K_" + std::to_string(net) + ">" + netValue + "</K_" + std::to_string(net) + "><K_" +
         std::to_string(net + 1) + ">" + taxValue + "</K_" + std::to_string(net + 1) + ">";
}

const std::string kMonth = V7MFile(Sale(3, Pair(19, "1000", "230")) + Sale(3, Pair(17, "100.25", "8.02")) +
                                   SaleCtrl(1, "0") + Purchase(1, Pair(42, "400", "92")) + PurchaseCtrl(1, "92"));

const std::string kIni =
    "[System]\nNIP=7270120002\nNazwa=Hurtownia Żuraw\nEmail=biuro@zuraw.pl\nUSCode=1009\nNazwaSystemu=kx2jpk\n"
    "CurDate=2026.02.10\n";

fs::path Sample(const std::string& name) { return kxtest::SharedDir() / "samples" / "JPK_V7M" / name; }

fs::path CopySample(const kxtest::TempDir& dir, const std::string& name) {
  fs::path to = dir / name;
  fs::copy_file(Sample(name), to);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
  return to;
}

}  // namespace

TEST(CliV7M, OpenShowsWhatTheEditorShows) {
  kxtest::TempDir dir;
  dir.Write("luty.xml", V7MFile(Sale(1, Pair(19, "1000", "230")) + SaleCtrl(1, "230") + PurchaseCtrl(0, "0"),
                                Declaration("<P_19>1000</P_19><P_20>230</P_20><P_37>1000</P_37><P_38>231</P_38>"
                                            "<P_48>0</P_48><P_51>231</P_51>")));
  auto r = RunCli({"v7m", "open", "luty.xml"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto v = Values(r.out);
  EXPECT_EQ(v["edNIP"], "7270120002");
  EXPECT_EQ(v["edDateRange"], "2026-02");
  EXPECT_EQ(v["edSaleLinesCount"], "1");
  EXPECT_EQ(v["edSaleTaxSum"], "230");
  EXPECT_EQ(v["gbDeklaracja"], "Deklaracja");
  EXPECT_EQ(v["edP38"], "231");
  EXPECT_EQ(v["check38"], "diff");
  EXPECT_EQ(v["check38.hint"], "podatek w deklaracji: 231, podatek w ewidencji: 230.00 (różnica: 1.00)");
  EXPECT_EQ(v["check48"], "ok");
  EXPECT_EQ(v["Caption"], "luty.xml - Kalvor JPK");
  // The clean-up kept a backup; the document itself was not saved.
  EXPECT_TRUE(fs::exists(dir / "backup" / "_luty.xml"));
  for (const auto& e : fs::directory_iterator(dir.Path())) {
    EXPECT_NE(e.path().filename().string().rfind("_tmp_V7M", 0), 0u) << e.path();
  }

  // A file whose numbering changes shows the modified caption; not saved.
  dir.Write("zle.xml", V7MFile(Sale(4, "") + SaleCtrl(1, "0") + PurchaseCtrl(0, "0")));
  r = RunCli({"v7m", "open", "zle.xml"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Values(r.out)["Caption"], "*zle.xml - Kalvor JPK");
  EXPECT_NE(ReadFile(dir / "zle.xml").find("<LpSprzedazy>4</LpSprzedazy>"), std::string::npos);
}

TEST(CliV7M, OpenRepairsPrefixesOnYesAndRefusesOtherKinds) {
  kxtest::TempDir dir;
  CopySample(dir, "jpk_v7m3_tns_prefix_uti-kb_example.xml");
  auto r = RunCli({"v7m", "open", "jpk_v7m3_tns_prefix_uti-kb_example.xml", "--no"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir / "backup" / "~jpk_v7m3_tns_prefix_uti-kb_example.xml"));
  r = RunCli({"v7m", "open", "jpk_v7m3_tns_prefix_uti-kb_example.xml", "--yes"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Values(r.out)["edNIP"], "4165741358");
  EXPECT_TRUE(fs::exists(dir / "backup" / "~jpk_v7m3_tns_prefix_uti-kb_example.xml"));
  EXPECT_EQ(ReadFile(dir / "jpk_v7m3_tns_prefix_uti-kb_example.xml").find("tns:"), std::string::npos);
  EXPECT_EQ(kxtest::SchemaErrors(dir / "jpk_v7m3_tns_prefix_uti-kb_example.xml"), "");

  fs::copy_file(kxtest::SharedDir() / "samples" / "JPK_FA" / "jpk_fa4_synthetic_default_ns.xml", dir / "fa.xml");
  r = RunCli({"v7m", "recalc", "fa.xml", "-o", "wynik.xml"}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Zła struktura pliku. Brak zgodności z JPK_V7M (3)"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "wynik.xml"));

  r = RunCli({"v7m", "open", "brak.xml"}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_FALSE(r.err.empty());
}

TEST(CliV7M, RecalcInPlaceAndToAnotherFile) {
  kxtest::TempDir dir;
  dir.Write("luty.xml", kMonth);
  auto r = RunCli({"v7m", "recalc", "luty.xml", "-o", "nowy.xml"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(dir / "luty.xml"), kMonth);  // the input is left alone
  EXPECT_FALSE(fs::exists(dir / "backup"));
  EXPECT_EQ(kxtest::SchemaErrors(dir / "nowy.xml"), "");
  std::string out = ReadFile(dir / "nowy.xml");
  EXPECT_NE(out.find("<LiczbaWierszySprzedazy>2</LiczbaWierszySprzedazy>"), std::string::npos);
  EXPECT_NE(out.find("<PodatekNalezny>238.02</PodatekNalezny>"), std::string::npos);
  EXPECT_NE(out.find("<LpSprzedazy>2</LpSprzedazy>"), std::string::npos);

  // In place; a second run finds nothing to change and writes nothing.
  r = RunCli({"v7m", "recalc", "luty.xml"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(kxtest::SchemaErrors(dir / "luty.xml"), "");
  std::string once = ReadFile(dir / "luty.xml");
  r = RunCli({"v7m", "recalc", "luty.xml"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("pozostał bez zmian"), std::string::npos) << r.out;
  EXPECT_EQ(ReadFile(dir / "luty.xml"), once);

  // A positive K_46: exit 1, nothing written.
  std::string bad = V7MFile(Sale(1, "") + Purchase(1, "<K_46>5</K_46>", "FZ 5"));
  dir.Write("zly.xml", bad);
  r = RunCli({"v7m", "recalc", "zly.xml"}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Powinna być wartość ujemna.\rDokument: FZ 5 Pole K_46\n");
  EXPECT_EQ(ReadFile(dir / "zly.xml"), bad);
}

// Two commands at once in one folder: each works on its own private copy.
TEST(CliV7M, TwoRunsInOneFolderNeverMixFiles) {
  kxtest::TempDir dir;
  // Line breaks inside values make each run clean a working copy first.
  for (const char* name : {"Alfa", "Beta"}) {
    dir.Write(std::string(name) + ".xml",
              V7MFile(Sale(7, "<K_19>100</K_19><K_20>23</K_20>", "5260250274", std::string("Sklep\r\n") + name) +
                      SaleCtrl(3, "1")));
  }
  for (int round = 0; round < 8; ++round) {
    auto a = std::async(std::launch::async, [&] {
      return RunCli({"v7m", "recalc", "Alfa.xml", "-o", "wynik_Alfa.xml"}, dir.Path());
    });
    auto b = std::async(std::launch::async, [&] {
      return RunCli({"v7m", "recalc", "Beta.xml", "-o", "wynik_Beta.xml"}, dir.Path());
    });
    ASSERT_EQ(a.get().exitCode, 0);
    ASSERT_EQ(b.get().exitCode, 0);
    const std::string alfa = ReadFile(dir / "wynik_Alfa.xml"), beta = ReadFile(dir / "wynik_Beta.xml");
    EXPECT_NE(alfa.find("Sklep Alfa"), std::string::npos) << round;
    EXPECT_EQ(alfa.find("Beta"), std::string::npos) << round;
    EXPECT_NE(beta.find("Sklep Beta"), std::string::npos) << round;
    EXPECT_EQ(beta.find("Alfa"), std::string::npos) << round;
  }
  for (const auto& e : fs::directory_iterator(dir.Path())) {
    EXPECT_NE(e.path().filename().string().rfind("_tmp_V7M", 0), 0u) << e.path();
  }
}

TEST(CliV7M, RecalcOfTheSamples) {
  kxtest::TempDir dir;
  for (const char* name : {"jpk_v7m3_mf_example_person.xml", "jpk_v7m3_mf_example_person_tns_derived.xml",
                           "jpk_v7m3_tns_prefix_uti-kb_example.xml"}) {
    CopySample(dir, name);
    std::string out = std::string("out_") + name;
    auto r = RunCli({"v7m", "recalc", name, "-o", out}, dir.Path());
    ASSERT_EQ(r.exitCode, 0) << name << r.err;
    EXPECT_EQ(kxtest::SchemaErrors(dir / out), "") << name;
    EXPECT_EQ(ReadFile(dir / name), ReadFile(Sample(name))) << name;
    // Nothing lost: every element of the sample is still there.
    std::string written = ReadFile(dir / out);
    for (const char* element : {"KodKrajuNadaniaTIN", "GTU_13", "KorektaPodstawyOpodt", "SprzedazVAT_Marza",
                                "ZakupVAT_Marza", "DokumentZakupu"}) {
      if (ReadFile(Sample(name)).find(element) != std::string::npos) {
        EXPECT_NE(written.find(element), std::string::npos) << name << " " << element;
      }
    }
  }
}

TEST(CliV7M, LinkAppendsTheOtherFile) {
  kxtest::TempDir dir;
  dir.Write("a.xml", kMonth);
  dir.Write("b.xml", V7MFile(Sale(1, Pair(19, "10", "2.3"), "5260001246", "Drugi") + SaleCtrl(1, "2.3") +
                             Purchase(1, Pair(42, "10", "2.3"), "FZ B") + PurchaseCtrl(1, "2.3")));
  auto r = RunCli({"v7m", "link", "a.xml", "b.xml", "-o", "razem.xml"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Pomyślnie połączono pliki JPK:\nnowy plik"), std::string::npos) << r.out;
  EXPECT_EQ(kxtest::SchemaErrors(dir / "razem.xml"), "");
  std::string out = ReadFile(dir / "razem.xml");
  EXPECT_NE(out.find("<LiczbaWierszySprzedazy>3</LiczbaWierszySprzedazy>"), std::string::npos);
  EXPECT_NE(out.find("<LiczbaWierszyZakupow>2</LiczbaWierszyZakupow>"), std::string::npos);
  EXPECT_LT(out.find("Sklep Pod Lipami"), out.find("Drugi"));
  EXPECT_LT(out.find("Drugi"), out.find("<SprzedazCtrl>"));
  EXPECT_LT(out.find("FZ 1/2026"), out.find("FZ B"));
  EXPECT_EQ(ReadFile(dir / "a.xml"), kMonth);

  // A file is never linked with itself.
  r = RunCli({"v7m", "link", "a.xml", "a.xml", "-o", "dwa.xml", "--yes"}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Nie można połączyć pliku z nim samym"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "dwa.xml"));

  // With a sample of another firm, in place: nothing without --yes, linked with it.
  CopySample(dir, "jpk_v7m3_mf_example_person.xml");
  const std::string sample = ReadFile(dir / "jpk_v7m3_mf_example_person.xml");
  r = RunCli({"v7m", "link", "jpk_v7m3_mf_example_person.xml", "b.xml"}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Pytanie: Plik dotyczy innego NIP. Połączyć mimo to?"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("(brak odpowiedzi: Nie)"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(dir / "jpk_v7m3_mf_example_person.xml"), sample);
  r = RunCli({"v7m", "link", "jpk_v7m3_mf_example_person.xml", "b.xml", "--no"}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(ReadFile(dir / "jpk_v7m3_mf_example_person.xml"), sample);
  r = RunCli({"v7m", "link", "jpk_v7m3_mf_example_person.xml", "b.xml", "--yes"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(kxtest::SchemaErrors(dir / "jpk_v7m3_mf_example_person.xml"), "");
  EXPECT_NE(ReadFile(dir / "jpk_v7m3_mf_example_person.xml").find("<LiczbaWierszySprzedazy>2</LiczbaWierszySprzedazy>"),
            std::string::npos);
}

TEST(CliV7M, DeclarationWithTypedValues) {
  kxtest::TempDir dir;
  dir.Write("luty.xml", kMonth);
  auto r = RunCli({"v7m", "declaration", "luty.xml", "--P39", "20", "--P49", "500", "-o", "d.xml"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto v = Values(r.out);
  EXPECT_EQ(v["edP38"], "238");
  EXPECT_EQ(v["edP48"], "112");
  EXPECT_EQ(v["edP49"], "126");  // lowered to the tax due
  EXPECT_EQ(v["edP51"], "0");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "d.xml"), "");

  // Refund with its term; the values of the last calculation are reused.
  r = RunCli({"v7m", "declaration", "d.xml", "--P49", "", "--P52", "200", "--P54", "50", "--refund", "55"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  v = Values(r.out);
  EXPECT_EQ(v["edP39"], "20");
  EXPECT_EQ(v["edP51"], "126");
  EXPECT_EQ(v["rbZwrot55"], "1");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "d.xml"), "");

  dir.Write("zwrot.xml", V7MFile(Sale(1, Pair(19, "100", "23")) + Purchase(1, Pair(42, "1000", "230"))));
  r = RunCli({"v7m", "declaration", "zwrot.xml", "--P54", "150", "--refund", "560", "--P59", "--P60", "7", "--P61",
              "PIT-4R", "--ORDZU", "Korekta"},
             dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  v = Values(r.out);
  EXPECT_EQ(v["edP53"], "207");
  EXPECT_EQ(v["rbZwrot560"], "1");
  EXPECT_EQ(v["cbP59"], "1");
  EXPECT_EQ(v["edP62"], "57");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "zwrot.xml"), "");

  // Refund checks and bad numbers: exit 1, nothing written.
  std::string before = ReadFile(dir / "luty.xml");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string err;
  } cases[] = {
      // clang-format off
      {{"--P54", "10"}, 1, "Ostrzeżenie: Wpisano kwotę do zwrotu (P_54) ale nie wybrano\nw jakiej formie go dokonać.\n"},
      {{"--refund", "58"}, 1, "Ostrzeżenie: Nie wpisano kwoty do zwrotu (P_54)\na wybrano w jakiej formie go dokonać.\n"},
      {{"--P39", "1,5"}, 1, "P_39: \"1,5\". Kwoty deklaracji podaje się w pełnych złotych\n"},
      {{"--P39", "tysiąc"}, 1, "P_39: \"tysiąc\" nie jest poprawną liczbą całkowitą\n"},
      {{"--refund", "57"}, 2, ""},
      // What the window does not allow: P_59 without the refund, P_60/P_61 without P_59.
      {{"--P59"}, 2, "--P59"},
      {{"--P54", "10", "--refund", "560", "--P60", "7"}, 2, "--P60"},
      {{"--P54", "10", "--refund", "560", "--P61", "PIT-4R"}, 2, "--P61"},
      // clang-format on
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"v7m", "declaration", "luty.xml"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    r = RunCli(args, dir.Path());
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args[0];
    if (c.exitCode == 2) {
      EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    } else if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err) << c.args[0];
    }
    EXPECT_EQ(ReadFile(dir / "luty.xml"), before);
  }
}

TEST(CliV7M, ClearDeclaration) {
  kxtest::TempDir dir;
  CopySample(dir, "jpk_v7m3_mf_example_person.xml");
  auto r = RunCli({"v7m", "clear-declaration", "jpk_v7m3_mf_example_person.xml", "-o", "bez.xml"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Zapisano JPK bez części deklaracyjnej do pliku:\nbez.xml\n");
  std::string out = ReadFile(dir / "bez.xml");
  EXPECT_EQ(out.find("Deklaracja"), std::string::npos);
  EXPECT_NE(out.find("rola=\"Podatnik\""), std::string::npos);
  EXPECT_NE(out.find("<etd:ImiePierwsze>aa</etd:ImiePierwsze>"), std::string::npos);
  EXPECT_EQ(kxtest::SchemaErrors(dir / "bez.xml"), "");
  EXPECT_EQ(ReadFile(dir / "jpk_v7m3_mf_example_person.xml"), ReadFile(Sample("jpk_v7m3_mf_example_person.xml")));

  r = RunCli({"v7m", "clear-declaration", "bez.xml"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("nie ma części deklaracyjnej"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "bez.xml"), out);
}

TEST(CliV7M, ParagonRecord) {
  kxtest::TempDir dir;
  dir.Write("luty.xml", kMonth);
  // Creating the record needs the firm profile (working month, document name).
  auto r = RunCli({"v7m", "paragon", "luty.xml", "--yes", "--net23", "1000", "--tax23", "230"}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(ReadFile(dir / "luty.xml"), kMonth);

  dir.Write("kx2jpk.ini", kIni);
  r = RunCli({"v7m", "paragon", "luty.xml", "--no", "--net23", "1000", "--tax23", "230"}, dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("nic nie zapisano"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "luty.xml"), kMonth);

  r = RunCli({"v7m", "paragon", "luty.xml", "--yes", "--net23", "1000", "--tax23", "230", "--net8", "12,5", "--tax8",
              "1", "--free", "3"},
             dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto v = Values(r.out);
  EXPECT_EQ(v["edSumVAT"], "231");
  EXPECT_EQ(v["edTotal"], "1246.5");
  EXPECT_EQ(v["edSaleLinesCount"], "3");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "luty.xml"), "");
  std::string out = ReadFile(dir / "luty.xml");
  EXPECT_NE(out.find("<DataWystawienia>2026-02-28</DataWystawienia>"), std::string::npos);
  EXPECT_NE(out.find("<K_17>12.5</K_17>"), std::string::npos);
  EXPECT_LT(out.find("Raport fiskalny okresowy"), out.find("Sklep Pod Lipami"));

  // Found again; the tolerance question refused: exit 1, nothing written.
  r = RunCli({"v7m", "paragon", "luty.xml", "--tax23", "250"}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Podatek w stawce 23% wynoszący: 250.00\nzbyt różni się od wyliczonego: 230.00"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Wartość spoza zakresu"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "luty.xml"), out);
  r = RunCli({"v7m", "paragon", "luty.xml", "--tax8", ""}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Brak wartości podatku w stawce 8%\n");

  // Accepted with --yes; an emptied field removes its amount.
  r = RunCli({"v7m", "paragon", "luty.xml", "--yes", "--tax23", "250", "--net8", "", "--tax8", "", "-o", "p.xml"},
             dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string second = ReadFile(dir / "p.xml");
  EXPECT_NE(second.find("<K_20>250</K_20>"), std::string::npos);
  EXPECT_EQ(second.find("<K_17>12.5</K_17>"), std::string::npos);
  EXPECT_NE(second.find("<K_17>100.25</K_17>"), std::string::npos);
  EXPECT_EQ(kxtest::SchemaErrors(dir / "p.xml"), "");
}

// A folder or a device in place of a file is refused at once, naming it, and
// nothing is written.
TEST(CliV7M, SpecialFilesAreRefusedAtOnce) {
  kxtest::TempDir dir;
  fs::create_directories(dir / "folder.xml");
  fs::create_directories(dir / "firma.ini");
  const std::string folder = (dir / "folder.xml").string();
  struct Case {
    std::vector<std::string> args;
    std::string named;
  } cases[] = {
      {{"v7m", "recalc", folder, "-o", "out.xml"}, folder},
      {{"v7m", "open", folder}, folder},
      {{"v7m", "recalc", "/dev/zero", "-o", "out.xml"}, "/dev/zero"},
      {{"v7m", "recalc", "/dev/urandom", "-o", "out.xml"}, "/dev/urandom"},
      {{"validate", "/dev/zero"}, "/dev/zero"},
      {{"/ini=" + (dir / "firma.ini").string(), "config"}, (dir / "firma.ini").string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2 < c.args.size() ? 2 : 1]);
    auto r = RunCli(c.args, dir.Path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(c.named + " nie jest zwykłym plikiem"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out.xml"));
  }
}
