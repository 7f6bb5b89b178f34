// kx2jpk-cli export on a warehouse month written into a temporary folder:
// every format writes its file; every failure leaves nothing behind.

#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures/warehouse_fixture.h"
#include "support/jpk_schema.h"
#include "support/run_cli.h"
#include "support/temp_dir.h"

using namespace kxtest;

namespace {

// A month with an invoice, its correction and a warehouse issue with a series.
WarehouseMonth Month() {
  WarehouseMonth m;
  m.goods = {{.group = 10, .index = 42, .name = "Kawa mielona 500 g", .unit = "szt"}};
  m.series = {{.group = 10, .index = 42, .seriesNo = 3, .cost = 12.5}};
  m.docs = {
      {.type = 0, .number = 1, .name = "FV 1/11/2026", .payInfo = 1, .payDelay = 14},
      {.type = 1,
       .number = 2,
       .name = "KOR 2/11/2026",
       .comment = "zwrot",
       .masterType = 0,
       .masterYear = 2026,
       .masterMagId = 1,
       .masterNumber = 1},
  };
  m.rows = {
      {.type = 0, .number = 1, .group = 10, .index = 42, .series = 3, .quantity = 4, .price = 25, .vat = 23},
      {.type = 1, .number = 2, .group = 10, .index = 42, .series = 3, .quantity = -1, .price = 25, .vat = 23},
  };
  m.reg = {
      {.cls = 0, .number = 1, .value22 = 100, .tax22 = 23, .value = 123, .totalTax = 23, .costValue = 50},
      {.cls = 1, .number = 2, .value22 = -25, .tax22 = -5.75, .value = -30.75, .totalTax = -5.75, .costValue = -12.5},
  };
  return m;
}

class ExportCli : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir / "towix");
    dir.Write("firma.ini",
              "[System]\nNIP=7270120002\nNazwa=Hurtownia Żuraw Sp. z o.o.\nEmail=biuro@zuraw.pl\n"
              "Wojewodztwo=łódzkie\nPowiat=Łódź\nGmina=Łódź\nMiasto=Łódź\nUlica=Piotrkowska\nNrDomu=120\n"
              "KodPocztowy=90-006\nPoczta=Łódź\nUSCode=1009\nNazwaSystemu=kx2jpk\nCurDate=2026.01.01\nKXDataDir=" +
                  (dir / "towix").string() + "\nUserDir=" + (dir / "towix").string() +
                  "\nNetFileDir=" + dir.Path().string() + "\n");
  }

  CliResult Export(const std::string& format, const std::filesystem::path& out, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"/ini=firma.ini", "export", "--month", "2026-11",
                                  "--format",       format,   "-o",      out.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args, dir.Path());
  }

  TempDir dir;
};

}  // namespace

TEST_F(ExportCli, EveryFormatWritesItsFile) {
  Month().Write(dir / "towix");
  struct Case {
    const char* format;
    const char* file;
    const char* contains;
    bool jpk;
  };
  const Case cases[] = {
      {"fa", "fa.xml", "<NrFaKorygowanej>FV 1/11/2026</NrFaKorygowanej>", true},
      {"mag", "mag.xml", "<NumerWZ>WZ-FV 1/11/2026</NumerWZ>", true},
      {"wapro", "wapro.xml", "<NUMER>KOR 2/11/2026</NUMER>", false},
      {"sage", "sage.txt", "  kod =KOR 2/11/2026\r\n", false},
      {"ramzes", "ramzes.xml", "<dok_Typ>3</dok_Typ>", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    CliResult r = Export(c.format, dir / c.file);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Zapisano plik"), std::string::npos) << r.out;
    const std::string text = ReadFile(dir / c.file);
    EXPECT_NE(text.find(c.contains), std::string::npos) << text;
    if (c.jpk) {
      EXPECT_EQ(SchemaErrors(dir / c.file), "");
    }
    // An ordinary file for its user, not a private working file.
    EXPECT_EQ(std::filesystem::status(dir / c.file).permissions(),
              std::filesystem::status(dir / "firma.ini").permissions());
  }
}

TEST_F(ExportCli, AFailureWritesNothingAndKeepsTheOlderFile) {
  struct Case {
    const char* name;
    const char* format;
    void (*spoil)(WarehouseMonth&);
    const char* message;
  };
  const Case cases[] = {
      {"corrected document missing", "fa", [](WarehouseMonth& m) { m.docs[1].masterNumber = 17; },
       "KOR 2/11/2026  > brak dokumentu korygowanego o nr: 17"},
      {"series missing", "mag", [](WarehouseMonth& m) { m.series.clear(); }, "Brak serii: 10-42-3"},
      {"contractor without a name", "wapro", [](WarehouseMonth& m) { m.ur[0].name = ""; }, "Brak nazwy kontrahenta"},
      {"contractor without a name", "sage", [](WarehouseMonth& m) { m.ur[0].name = ""; }, "Brak nazwy kontrahenta"},
      {"contractor without a name", "ramzes", [](WarehouseMonth& m) { m.ur[0].name = ""; }, "Brak nazwy kontrahenta"},
      {"refused NIP question", "fa", [](WarehouseMonth& m) { m.ur[0].nip = "123"; }, "Wczytywanie przerwano"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.format);
    WarehouseMonth m = Month();
    c.spoil(m);
    m.Write(dir / "towix");
    const auto out = dir / "wynik.out";
    dir.Write("wynik.out", "starsza wersja");
    CliResult r = Export(c.format, out);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(out), "starsza wersja");
    // Nothing else is left in the folder either.
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "towix" || name == "firma.ini" || name == "wynik.out") << name;
    }
  }
}

TEST_F(ExportCli, AnswersAndMissingTables) {
  WarehouseMonth m = Month();
  m.ur[0].nip = "123";  // a doubtful NIP: ReadContractor asks
  m.Write(dir / "towix");
  // --yes answers the contractor question; --no refuses it.
  CliResult yes = Export("fa", dir / "tak.xml", {"--yes"});
  EXPECT_EQ(yes.exitCode, 0) << yes.err;
  CliResult no = Export("fa", dir / "nie.xml", {"--no"});
  EXPECT_EQ(no.exitCode, 1);
  EXPECT_NE(no.err.find("Wczytywanie przerwano"), std::string::npos) << no.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "nie.xml"));

  // A month whose tables are not there.
  std::vector<std::string> args{"/ini=firma.ini", "export", "--month", "2026-12", "--format", "mag", "-o", "x.xml"};
  CliResult missing = RunCli(args, dir.Path());
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("26_12WI"), std::string::npos) << missing.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "x.xml"));
}

TEST_F(ExportCli, HelpIsPolish) {
  CliResult r = RunCli({"export", "--help"}, dir.Path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("--format"), std::string::npos);
  EXPECT_NE(r.out.find("Miesiąc RRRR-MM"), std::string::npos);
  EXPECT_NE(r.out.find("Plik wynikowy"), std::string::npos);
}

TEST_F(ExportCli, AnIncompleteFirmAddressStopsTheJpkFiles) {
  Month().Write(dir / "towix");
  dir.Write("firma.ini",
            "[System]\nNIP=7270120002\nNazwa=Hurtownia Żuraw Sp. z "
            "o.o.\nEmail=biuro@zuraw.pl\nUSCode=1009\nNazwaSystemu=kx2jpk\nKXDataDir=" +
                (dir / "towix").string() + "\nUserDir=" + (dir / "towix").string() +
                "\nNetFileDir=" + dir.Path().string() + "\nMiasto=Łódź\n");
  for (const char* format : {"fa", "mag"}) {
    SCOPED_TRACE(format);
    CliResult r = Export(format, dir / "x.xml");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Brak adresu firmy w pliku konfiguracyjnym, sekcja [System]: Wojewodztwo, Powiat, Gmina, "
                         "NrDomu, KodPocztowy, Poczta"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.xml"));
  }
  // The import files of the accounting programs carry no firm address.
  EXPECT_EQ(Export("ramzes", dir / "r.xml").exitCode, 0);
}
