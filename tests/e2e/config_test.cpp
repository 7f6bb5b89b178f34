// kx2jpk-cli config on INI files outside the repository.

#include <gtest/gtest.h>

#include <map>

#include "support/run_cli.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using kxtest::RunCli;

namespace {

const std::string kMinimal =
    "[System]\nNIP=5260001246\nNazwa=Firma Testowa\nEmail=biuro@firma.pl\nUSCode=1471\nNazwaSystemu=kx2jpk\n";

std::map<std::string, std::string> Profile(const std::string& out) {
  std::map<std::string, std::string> values;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

std::vector<std::string> Names(const std::string& out) {
  std::vector<std::string> names;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) names.push_back(line.substr(0, line.find('=')));
  return names;
}

}  // namespace

TEST(CliConfig, PrintsTheProfileInTableOrder) {
  kxtest::TempDir dir;
  dir.Write("firma.ini", kMinimal +
                             "KXDataDir=/dane/kx\nNetFileDir=/dane/net\nCurDate=2024.05.10\n"
                             "AddFaktMarket=1\nImie=\n[Sage]\nWersja_programu=50\n");
  dir.Write("CutDict.txt", "a\n\nb\n");
  auto r = RunCli({"/ini=firma", "config"}, dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // clang-format off
  EXPECT_EQ(Names(r.out),
            (std::vector<std::string>{
                "NIP", "Nazwa", "Imie", "Nazwisko", "DataUrodzenia", "Email", "Telefon", "Regon", "Miasto",
                "Wojewodztwo", "Powiat", "Gmina", "Ulica", "NrDomu", "NrLokalu", "KodPocztowy", "Poczta", "USCode",
                "NazwaSystemu", "CurDate", "KXDataDir", "RejkoDir", "FolvoDir", "UserDir", "RejkoUserDir", "SaveDir",
                "NameSufix", "YearKxTbl", "YearUsrTbl", "AdrZipCityFirst", "RegBySaleDate", "AddAnulParag",
                "AddValZw2Net", "AddNPO2Net", "AddFaktMarket", "AddCostInvo", "Zakup2Ex", "Sprzedaz2ImpUslugEx",
                "ClearEnter", "DowodSprzedazyRO", "SkadMM", "DokadMM", "Wersja_programu", "Wersja_szablonu",
                "AddressLine", "SaleDocTypes", "RunDir", "NetFileDir", "CutDict", "RejkoAccSet"}));
  // clang-format on
  auto p = Profile(r.out);
  EXPECT_EQ(p["CurDate"], "2024-05-10");
  EXPECT_EQ(p["KXDataDir"], "/dane/kx/");
  EXPECT_EQ(p["UserDir"], "/dane/kx/");
  EXPECT_EQ(p["NetFileDir"], "/dane/net/");
  EXPECT_EQ(p["AddAnulParag"], "1");
  EXPECT_EQ(p["AddFaktMarket"], "1");
  EXPECT_EQ(p["SaleDocTypes"], "0,1,2,3,4,5,7,22,23,48,50,51");
  EXPECT_EQ(p["Wersja_programu"], "50");
  EXPECT_EQ(p["SkadMM"], "Magazyn Główny");
  EXPECT_EQ(p["RunDir"], dir.Path().string() + "/");
  EXPECT_EQ(p["CutDict"], "2");
  EXPECT_EQ(p["RejkoAccSet"], "0");
}

TEST(CliConfig, ErrorsAndExitCodes) {
  kxtest::TempDir dir;
  dir.Write("bez_nip.ini", "[System]\nNazwa=X\n");
  dir.Write("bez_net.ini", kMinimal + "RejkoDir=/r\n");
  dir.Write("kx2jpk.ini", kMinimal);
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string err;
  } cases[] = {
      {{"/ini=brak", "config"}, 1, "Brak pliku " + (dir / "brak.ini").string() + "\n"},
      {{"/ini=bez_nip", "config"}, 1, "Brak pola: \"NIP = \" w pliku konfiguracyjnym w sekcji: System\n"},
      {{"--ini", "bez_net.ini", "config"}, 1, "Brak wpisu NetFileDir w pliku " + (dir / "bez_net.ini").string() + "\n"},
      {{"config", "--nieznana"}, 2, ""},
      {{"nieznane"}, 2, ""},
      {{}, 2, ""},
  };
  for (const auto& c : cases) {
    auto r = RunCli(c.args, dir.Path());
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err);
    }
    if (c.exitCode == 2) {
      EXPECT_NE(r.err.find("kx2jpk-cli --help"), std::string::npos) << r.err;
    }
  }
  // Without /ini=, kx2jpk.ini in the working folder.
  auto r = RunCli({"config"}, dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Profile(r.out)["Nazwa"], "Firma Testowa");
}

TEST(CliConfig, HelpListsTheCommandsInPolish) {
  auto r = RunCli({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("config"), std::string::npos);
  EXPECT_NE(r.out.find("Pokaż profil firmy"), std::string::npos);
  EXPECT_NE(r.out.find("POLECENIA"), std::string::npos) << r.out;
}

TEST(CliConfig, DemoFirmProfile) {
  auto r = RunCli({"/ini=kx2jpk.ini", "config"}, kxtest::SourceDir() / "data" / "demo");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto p = Profile(r.out);
  EXPECT_EQ(p["NIP"], "7270120002");
  EXPECT_EQ(p["USCode"], "1009");
  EXPECT_EQ(p["AddressLine"], "Piotrkowska 120 4  90-006 Łódź");
  EXPECT_EQ(p["CutDict"], "6");
  EXPECT_EQ(p["RejkoAccSet"], "10");
  for (const char* key : {"Wojewodztwo", "Powiat", "Gmina", "NrDomu", "KodPocztowy", "Poczta"}) {
    EXPECT_FALSE(p[key].empty()) << key;
  }
}

TEST(CliVersion, CarriesTheBuildVersion) {
  auto r = RunCli({"version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "Kalvor JPK - ver 1.0.0 build 1\n");
}
