// kx2jpk-cli convert on real JPK files from other producers: every output
// lands in the folder, every failure leaves the folder as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/jpk_schema.h"
#include "support/run_cli.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
namespace fs = std::filesystem;

namespace {

fs::path Sample(const char* kind, const char* name) { return SharedDir() / "samples" / kind / name; }

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ConvertCli : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir / "wynik");
    dir.Write("firma.ini",
              "[System]\nNIP=7270120002\nNazwa=Hurtownia Żuraw Sp. z o.o.\nEmail=biuro@zuraw.pl\n"
              "USCode=1009\nNazwaSystemu=kx2jpk\nCurDate=2026.11.01\nNetFileDir=" +
                  dir.Path().string() + "\nSaveDir=" + (dir / "wynik").string() + "\n");
  }

  // The input is copied first: the prefix repair may rewrite it.
  CliResult Convert(const fs::path& input, std::vector<std::string> extra) {
    fs::copy_file(input, dir / input.filename(), fs::copy_options::overwrite_existing);
    std::vector<std::string> args{"/ini=firma.ini", "convert", (dir / input.filename()).string(), "-o",
                                  (dir / "wynik").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args, dir.Path());
  }

  TempDir dir;
};

}  // namespace

TEST_F(ConvertCli, EveryConversionWritesItsFiles) {
  struct Case {
    fs::path input;
    std::vector<std::string> options;
    std::vector<std::string> files;
  };
  const fs::path fa = Sample("JPK_FA", "jpk_fa4_synthetic_default_ns.xml");
  const fs::path v7m = Sample("JPK_V7M", "jpk_v7m3_mf_example_person.xml");
  const Case cases[] = {
      {fa, {"--to", "v7m", "--ksef-empty", "bfk"}, {"JPK_FA_to_V7_jpk_fa4_synthetic_default_ns.xml"}},
      {v7m, {"--to", "ramzes"}, {"JPKVAT_to_Ramzes_jpk_v7m3_mf_example_person.xml"}},
      {v7m, {"--to", "buchalter"}, {"B5ESEX26.dbf", "B5EZEX26.dbf", "B5SPEX26.dbf", "B5ZAEX26.dbf"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[1]);
    fs::remove_all(dir / "wynik");
    fs::create_directories(dir / "wynik");
    CliResult r = Convert(c.input, c.options);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Zakończono konwersję"), std::string::npos) << r.out;
    EXPECT_EQ(Listing(dir / "wynik"), c.files);
    if (c.options[1] == "v7m") {
      EXPECT_EQ(SchemaErrors(dir / "wynik" / c.files[0]), "");
    }
  }
}

TEST_F(ConvertCli, AFailureLeavesTheFolderAsItWas) {
  struct Case {
    const char* what;
    fs::path input;
    std::vector<std::string> options;
    const char* message;
  };
  const fs::path fa = Sample("JPK_FA", "jpk_fa4_synthetic_default_ns.xml");
  const fs::path v7m = Sample("JPK_V7M", "jpk_v7m3_mf_example_person.xml");
  const Case cases[] = {
      {"same format",
       v7m,
       {"--to", "v7m", "--from", "v7m"},
       "Taki sam format danych źródłowych i wynikowych: JPK_V7M (3)"},
      {"wrong kind", v7m, {"--to", "v7m", "--from", "fa"}, "Zła struktura pliku. Brak zgodności z JPK_FA (4)"},
      {"JPK_FA to Buchalter", fa, {"--to", "buchalter"}, "Konwersja do formatu Buchalter wymaga pliku JPK_V7M"},
      {"JPK_FA to Ramzes", fa, {"--to", "ramzes"}, "Konwersja do formatu Ramzes wymaga pliku JPK_V7M"},
      // Nobody can answer the question about the empty KSeF field.
      {"unanswered question", fa, {"--to", "v7m"}, "Przerwano tworzenie JPK_V7M"},
      {"cancelled at the question", fa, {"--to", "v7m", "--ksef-empty", "cancel"}, "Przerwano tworzenie JPK_V7M"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir / "wynik");
    fs::create_directories(dir / "wynik");
    dir.Write("wynik/B5SPEX26.dbf", "starsza");
    CliResult r = Convert(c.input, c.options);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(Listing(dir / "wynik"), std::vector<std::string>{"B5SPEX26.dbf"});
    EXPECT_EQ(ReadFile(dir / "wynik" / "B5SPEX26.dbf"), "starsza");
  }
  // A missing input and a missing folder are named.
  CliResult missing = RunCli({"/ini=firma.ini", "convert", "brak.xml", "--to", "ramzes", "-o", "wynik"}, dir.Path());
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("Nie znaleziono pliku"), std::string::npos) << missing.err;
  CliResult noFolder = RunCli({"/ini=firma.ini", "convert", "brak.xml", "--to", "ramzes", "-o", "nie_ma"}, dir.Path());
  EXPECT_EQ(noFolder.exitCode, 1);
  EXPECT_NE(noFolder.err.find("Folder nie_ma nie istnieje"), std::string::npos) << noFolder.err;
}

TEST_F(ConvertCli, TheInputKindComesFromTheFile) {
  // A JPK_FA file with a prefixed namespace is repaired on --yes and read as JPK_FA.
  CliResult r =
      Convert(Sample("JPK_FA", "jpk_fa4_synthetic_tns_prefix.xml"), {"--to", "v7m", "--yes", "--ksef-empty", "empty"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "wynik" / "JPK_FA_to_V7_jpk_fa4_synthetic_tns_prefix.xml"));
}
