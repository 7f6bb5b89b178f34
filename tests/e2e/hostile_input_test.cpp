// Hostile and odd input through the command line: each probe ends with a
// short Polish message naming the file, exit code 1 (2 for a wrong call), and
// nothing written.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_cli.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir)) names.push_back(fs::relative(e.path(), dir).string());
  std::sort(names.begin(), names.end());
  return names;
}

// A JPK_V7M file with a DOCTYPE placed after its declaration.
std::string WithDoctype(const std::string& doctype, const std::string& from, const std::string& to) {
  std::string text = ReadFile(SharedDir() / "samples" / "JPK_V7M" / "jpk_v7m3_mf_example_person.xml");
  text.insert(text.find("?>") + 2, "\n" + doctype);
  if (!from.empty()) text.replace(text.find(from), from.size(), to);
  return text;
}

}  // namespace

TEST(HostileInput, QueriesOnlyReadAndEnd) {
  TempDir dir;
  fs::create_directories(dir / "db");
  fs::copy_file(SourceDir() / "data" / "demo" / "towix" / "26_11REG.db", dir / "db" / "reg.db");
  const std::string outside = (dir / "zapisany.db").string();
  struct Case {
    std::string sql;
    std::vector<std::string> options;
    const char* message;
  } cases[] = {
      {"ATTACH DATABASE '" + outside + "' AS x", {}, "polecenie niedozwolone"},
      {"VACUUM INTO '" + outside + "'", {}, "polecenie niedozwolone"},
      {"CREATE TABLE t(a)", {}, "polecenie niedozwolone"},
      {"PRAGMA writable_schema = 1", {}, "polecenie niedozwolone"},
      {"SELECT load_extension('" + outside + "')", {}, "polecenie niedozwolone"},
      {"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000000) SELECT count(*) FROM c",
       {"--timeout", "1"},
       "przerwano po 1 s"},
      {"SELEC 1", {}, "błąd składni SQL"},
      {"SELECT nic FROM reg", {}, "nie ma pola nic"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    dir.Write("q.sql", c.sql);
    std::vector<std::string> args{"query", "--db", "db", "q.sql"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    CliResult r = RunCli(args, dir.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Błąd zapytania SQL " + (dir / "q.sql").string() + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"db", "db/reg.db", "q.sql"}));
  }
}

TEST(HostileInput, ADoctypeIsNeverCarriedOver) {
  TempDir dir;
  struct Case {
    const char* what;
    std::string text;
  } cases[] = {
      {"internal subset",
       WithDoctype("<!DOCTYPE JPK [<!ENTITY f \"Firma &amp; Syn\">]>", "<NazwaKontrahenta>", "<NazwaKontrahenta>&f; ")},
      {"system identifier", WithDoctype("<!DOCTYPE JPK SYSTEM \"file:///etc/hostname\">", "", "")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dir.Write("luty.xml", c.text);
    CliResult recalc = RunCli({"v7m", "recalc", "luty.xml", "-o", "wynik.xml"}, dir.Path());
    EXPECT_EQ(recalc.exitCode, 0) << recalc.err;
    EXPECT_NE(recalc.err.find("Ostrzeżenie: Plik luty.xml zawiera deklarację DOCTYPE"), std::string::npos)
        << recalc.err;
    const std::string written = ReadFile(dir / "wynik.xml");
    EXPECT_EQ(written.find("DOCTYPE"), std::string::npos);
    EXPECT_EQ(written.find("ENTITY"), std::string::npos);
    if (c.text.find("&f;") != std::string::npos) {
      EXPECT_NE(written.find("<NazwaKontrahenta>Firma &amp; Syn "), std::string::npos);
    }
    CliResult validate = RunCli({"validate", "luty.xml", "--schemas", (SharedDir() / "xsd").string()}, dir.Path());
    EXPECT_EQ(validate.exitCode, 1);
    EXPECT_NE(validate.out.find("luty.xml: wiersz 2: plik JPK nie może zawierać deklaracji DOCTYPE"), std::string::npos)
        << validate.out << validate.err;
    EXPECT_EQ(validate.out.find("Internal error"), std::string::npos);
  }
  // A reference to an entity outside the file is refused; nothing is written.
  dir.Write("zly.xml", WithDoctype("<!DOCTYPE JPK [<!ENTITY e SYSTEM \"file:///etc/hostname\">]>", "<NazwaKontrahenta>",
                                   "<NazwaKontrahenta>&e;"));
  CliResult r = RunCli({"v7m", "recalc", "zly.xml", "-o", "zly_wynik.xml"}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("odwołuje się do encji &e; spoza pliku"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "zly_wynik.xml"));
}

TEST(HostileInput, MessagesArePolishAndNameTheFile) {
  TempDir dir;
  std::string deep = "<?xml version=\"1.0\"?>";
  for (int i = 0; i < 300; ++i) deep += "<a>";
  for (int i = 0; i < 300; ++i) deep += "</a>";
  dir.Write("gleboki.xml", deep);
  std::string comma = ReadFile(SharedDir() / "samples" / "JPK_V7M" / "jpk_v7m3_mf_example_person.xml");
  const size_t k = comma.find("<K_19>");
  ASSERT_NE(k, std::string::npos);
  comma.replace(k, comma.find("</K_19>") - k, "<K_19>12,50");
  dir.Write("przecinek.xml", comma);
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  } cases[] = {
      {{"v7m", "open", "gleboki.xml"}, 1, "gleboki.xml nie jest poprawnym plikiem XML (wiersz 1): zbyt głębokie"},
      {{"v7m", "recalc", "przecinek.xml", "-o", "x.xml"}, 1, "Plik przecinek.xml: Wiersz sprzedaży nr 1"},
      {{"table", "dump", "x.db", "--codepage", "abc"}, 2, "niepoprawna wartość opcji --codepage: abc"},
      {{"export", "--month", "2026-11", "--format", "fa"}, 2, "brak wymaganej opcji lub argumentu --output"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    CliResult r = RunCli(c.args, dir.Path());
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir / "x.xml"));
}
