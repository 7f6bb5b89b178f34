// Every JPK file the command line saves is checked against its schema: the
// complaints go to standard error and the command ends as before; with
// --strict an invalid file is not written (exit 1, an older file kept).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fixtures/v7m_fixture.h"
#include "support/run_cli.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
namespace fs = std::filesystem;

TEST(SaveCheckCli, InvalidOutputWarnsAndStrictWritesNothing) {
  TempDir dir;
  // The demo firm's configuration; the schemas are those that come with the program.
  fs::copy_file(SourceDir() / "data" / "demo" / "kx2jpk.ini", dir / "kx2jpk.ini");
  // A sale with an empty KSeF number, which the schema refuses; the program keeps it as it is.
  const std::string invalid =
      V7MFile(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") + SaleCtrl(1, "23") + PurchaseCtrl(0, "0"));
  std::string withEmptyKsef = invalid;
  withEmptyKsef.replace(withEmptyKsef.find("<DI>1</DI>"), 10, "<NrKSeF></NrKSeF>");
  const auto input = dir.Write("wejscie.xml", withEmptyKsef);
  const auto valid = dir.Write("dobry.xml", invalid);

  struct Case {
    const char* name;
    fs::path input;
    bool strict;
    int exitCode;
    bool warned;
    bool written;
  };
  const Case cases[] = {
      {"valid file", valid, false, 0, false, true},
      {"valid file, strict", valid, true, 0, false, true},
      {"invalid file", input, false, 0, true, true},
      {"invalid file, strict", input, true, 1, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto output = dir / "wynik.xml";
    dir.Write("wynik.xml", "starszy plik");
    std::vector<std::string> args = {"v7m", "recalc", c.input.string(), "-o", output.string()};
    if (c.strict) args.insert(args.begin(), "--strict");
    const CliResult r = RunCli(args, dir.Path());
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.err.find("Uwaga: plik " + output.string() +
                         " jest niezgodny ze schematem (błędów: 1):\n  "
                         "JPK/Ewidencja/SprzedazWiersz/NrKSeF: ") != std::string::npos,
              c.warned)
        << r.err;
    EXPECT_EQ(ReadFile(output) != "starszy plik", c.written);
    if (c.strict && c.warned) {
      EXPECT_NE(r.err.find("Nie można zapisać pliku " + output.string() +
                           ": plik jest niezgodny ze schematem, błędów 1; z opcją --strict nie zostaje zapisany"),
                std::string::npos)
          << r.err;
    }
  }
}
