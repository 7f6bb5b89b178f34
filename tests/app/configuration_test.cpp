#include "app/configuration.h"

#include <gtest/gtest.h>

#include <ctime>

#include "platform/error.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kx;

namespace {

constexpr char kSep = std::filesystem::path::preferred_separator;

const std::string kMinimal =
    "[System]\nNIP=5260001246\nNazwa=Firma Testowa\nEmail=biuro@firma.pl\nUSCode=1471\nNazwaSystemu=kx2jpk\n";

struct Fixture {
  kxtest::TempDir dir;
  kxtest::ScriptedUserPort port;
  AppContext ctx{port};

  // Writes firma.ini into the temporary folder and reads it as the program would.
  void Read(const std::string& ini, std::vector<std::string> extraArgs = {}) {
    dir.Write("firma.ini", ini);
    std::vector<std::string> args{"/opt/kx2jpk/kx2jpk", "/ini=firma"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    ReadConfiguration(ctx, args, dir.Path());
  }
  std::string ErrorOf(const std::string& ini) {
    try {
      Read(ini);
    } catch (const kx::Error& e) {
      return e.what();
    }
    return "";
  }
};

Date Today() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

}  // namespace

TEST(Configuration, DefaultsOfAMinimalFile) {
  Fixture f;
  f.Read(kMinimal);
  const AppSettings& s = f.ctx.AppSettings;
  EXPECT_EQ(s.NIP, "5260001246");
  EXPECT_EQ(s.Nazwa, "Firma Testowa");
  EXPECT_EQ(s.Imie, "");
  EXPECT_TRUE(s.AddAnulParag);
  EXPECT_TRUE(s.ClearEnter);
  EXPECT_FALSE(s.YearKxTbl);
  EXPECT_EQ(s.DowodSprzedazyRO, "Raport fiskalny okresowy");
  EXPECT_EQ(s.SkadMM, "Magazyn Główny");
  EXPECT_EQ(s.DokadMM, "Magazyn Główny");
  EXPECT_EQ(s.Wersja_programu, 42);
  EXPECT_EQ(s.Wersja_szablonu, 3);
  EXPECT_EQ(s.UserDir, "");
  EXPECT_FALSE(f.ctx.Session.Active());
  EXPECT_EQ(f.ctx.RunDir, f.dir.Path().string() + kSep);
  EXPECT_EQ(f.ctx.IniFileName, (f.dir / "firma.ini").string());
  // SaleDocTypes without AddFaktMarket.
  std::string codes;
  for (size_t c = 0; c < 256; ++c) {
    if (s.SaleDocTypes.test(c)) codes += std::to_string(c) + ",";
  }
  EXPECT_EQ(codes, "0,1,2,3,4,5,7,22,23,50,51,");
  // CurDate: the previous month.
  Date today = Today();
  int expectedMonth = today.month == 1 ? 12 : today.month - 1;
  EXPECT_EQ(s.CurDate.month, expectedMonth);
}

TEST(Configuration, MandatoryKeysInOrder) {
  // clang-format off
  struct Case { const char* removeKey; const char* message; } cases[] = {
      // clang-format on
      {"NIP=", "Brak pola: \"NIP = \" w pliku konfiguracyjnym w sekcji: System"},
      {"Nazwa=", "Brak pola: \"Nazwa = \" w pliku konfiguracyjnym w sekcji: System"},
      {"Email=", "Brak pola: \"Email = \" w pliku konfiguracyjnym w sekcji: System"},
      {"USCode=", "Brak pola: \"USCode = \" w pliku konfiguracyjnym w sekcji: System"},
      {"NazwaSystemu=", "Brak pola: \"NazwaSystemu = \" w pliku konfiguracyjnym w sekcji: System"},
  };
  for (const auto& c : cases) {
    std::string ini = kMinimal;
    size_t at = ini.find(c.removeKey);
    size_t end = ini.find('\n', at);
    // Absent, and present but empty: both fail.
    std::string absent = ini.substr(0, at) + ini.substr(end + 1);
    std::string empty = ini.substr(0, at) + c.removeKey + ini.substr(end);
    EXPECT_EQ(Fixture().ErrorOf(absent), c.message);
    EXPECT_EQ(Fixture().ErrorOf(empty), c.message);
  }
  // The first failure wins: without NIP and Email, NIP is reported.
  EXPECT_EQ(Fixture().ErrorOf("[System]\nNazwa=X\n"), "Brak pola: \"NIP = \" w pliku konfiguracyjnym w sekcji: System");
}

TEST(Configuration, NaturalPerson) {
  EXPECT_EQ(Fixture().ErrorOf(kMinimal + "Imie=Jan\n"),
            "Brak pola: \"Nazwisko = \" w pliku konfiguracyjnym w sekcji: System");
  const std::string birth = "Brak pola: \"DataUrodzenia = \" w pliku konfiguracyjnym";
  EXPECT_EQ(Fixture().ErrorOf(kMinimal + "Imie=Jan\nNazwisko=Kowalski\n"), birth);
  EXPECT_EQ(Fixture().ErrorOf(kMinimal + "Imie=Jan\nNazwisko=Kowalski\nDataUrodzenia=1980-05-17\n"), birth);
  Date t = Today();
  char today[16];
  std::snprintf(today, sizeof today, "%04d.%02d.%02d", t.year, t.month, t.day);
  EXPECT_EQ(Fixture().ErrorOf(kMinimal + "Imie=Jan\nNazwisko=Kowalski\nDataUrodzenia=" + today + "\n"), birth);

  Fixture f;
  f.Read(kMinimal + "Imie=Jan\nNazwisko=Kowalski\nDataUrodzenia=1980.05.17\n");
  EXPECT_EQ(f.ctx.AppSettings.DataUrodzenia, (Date{1980, 5, 17}));
  Fixture two;
  two.Read(kMinimal + "Imie=Jan\nNazwisko=Kowalski\nDataUrodzenia=80.5.7\n");
  EXPECT_EQ(two.ctx.AppSettings.DataUrodzenia, (Date{1980, 5, 7}));
  // Without Imie neither is read.
  Fixture company;
  company.Read(kMinimal + "Nazwisko=Kowalski\n");
  EXPECT_EQ(company.ctx.AppSettings.Nazwisko, "");
}

TEST(Configuration, DirectoriesAndSession) {
  std::string sep(1, kSep);
  Fixture f;
  f.Read(kMinimal + "KXDataDir=/dane/towix\nNetFileDir=/dane/net\nSaveDir=/dane/jpk" + sep + "\n");
  EXPECT_EQ(f.ctx.AppSettings.KXDataDir, "/dane/towix" + sep);
  EXPECT_EQ(f.ctx.AppSettings.UserDir, "/dane/towix" + sep);
  EXPECT_EQ(f.ctx.AppSettings.RejkoUserDir, "/dane/towix" + sep);
  EXPECT_EQ(f.ctx.AppSettings.SaveDir, "/dane/jpk" + sep);
  EXPECT_EQ(f.ctx.Session.NetFileDir(), "/dane/net" + sep);
  EXPECT_TRUE(f.ctx.Session.Active());
  ReleaseConfiguration(f.ctx);
  EXPECT_FALSE(f.ctx.Session.Active());

  Fixture folvo;
  folvo.Read(kMinimal + "FolvoDir=/f\nNetFileDir=/n\nRejkoUserDir=\n");
  EXPECT_EQ(folvo.ctx.AppSettings.UserDir, "/f" + sep);
  EXPECT_EQ(folvo.ctx.AppSettings.RejkoUserDir, "");  // present and empty

  Fixture own;
  own.Read(kMinimal + "RejkoDir=/r\nNetFileDir=/n\nUserDir=/u\n");
  EXPECT_EQ(own.ctx.AppSettings.UserDir, "/u" + sep);
  EXPECT_EQ(own.ctx.AppSettings.RejkoUserDir, "/u" + sep);

  Fixture emptyNet;
  emptyNet.Read(kMinimal + "RejkoDir=/r\nNetFileDir=\n");
  EXPECT_FALSE(emptyNet.ctx.Session.Active());

  Fixture missingNet;
  std::string message = missingNet.ErrorOf(kMinimal + "RejkoDir=/r\n");
  EXPECT_EQ(message, "Brak wpisu NetFileDir w pliku " + (missingNet.dir / "firma.ini").string());
}

TEST(Configuration, FlagsIntegersAndTexts) {
  Fixture f;
  f.Read(kMinimal +
         "AddAnulParag=0\nClearEnter=abc\nYearKxTbl=0x10\nAddFaktMarket=-1\nRegBySaleDate= 2 \n"
         "NameSufix=_firma\nDowodSprzedazyRO=Raport dobowy\n[Sage]\nWersja_programu=0x2B\nWersja_szablonu=x\n");
  const AppSettings& s = f.ctx.AppSettings;
  EXPECT_FALSE(s.AddAnulParag);
  EXPECT_TRUE(s.ClearEnter);  // not a number: the default
  EXPECT_TRUE(s.YearKxTbl);
  EXPECT_TRUE(s.AddFaktMarket);
  EXPECT_TRUE(s.RegBySaleDate);
  EXPECT_TRUE(s.SaleDocTypes.test(48));
  EXPECT_FALSE(s.SaleDocTypes.test(6));
  EXPECT_EQ(s.NameSufix, "_firma");
  EXPECT_EQ(s.DowodSprzedazyRO, "Raport dobowy");
  EXPECT_EQ(s.Wersja_programu, 43);
  EXPECT_EQ(s.Wersja_szablonu, 3);
}

TEST(Configuration, DatesUseTheRegionalSeparator) {
  Fixture dotted;
  dotted.Read(kMinimal + "CurDate=2024.05.10\n");
  EXPECT_EQ(dotted.ctx.AppSettings.CurDate, (Date{2024, 5, 10}));
  for (const char* bad : {"2024-05-10", "2024.13.01", "2024.02.30", "maj"}) {
    Fixture f;
    f.Read(kMinimal + "CurDate=" + bad + "\n");
    Date t = Today();
    EXPECT_EQ(f.ctx.AppSettings.CurDate.month, t.month == 1 ? 12 : t.month - 1) << bad;
  }
}

TEST(Configuration, AddressLineAndCaseInsensitiveKeys) {
  Fixture f;
  f.Read(
      "[system]\nnip=1\nNAZWA=Ż\nemail=e\nuscode=0202\nnazwasystemu=s\nKodPocztowy=00-950\nMiasto=Warszawa\n"
      "Ulica=Długa\nNrDomu=5\nNrLokalu=2\nAdrZipCityFirst=1\n");
  EXPECT_EQ(f.ctx.AppSettings.Nazwa, "Ż");
  EXPECT_EQ(f.ctx.AppSettings.AddressLine, "00-950 Warszawa  Długa 5 2");
}

TEST(Configuration, FindingTheFile) {
  kxtest::TempDir dir;
  kxtest::ScriptedUserPort port;
  dir.Write("kx2jpk.ini", kMinimal);
  dir.Write("cfg/firma.ini", kMinimal);
  dir.Write("other.ini", kMinimal);

  // clang-format off
  struct Case { std::vector<std::string> args; std::string expected; } cases[] = {
      // clang-format on
      // Without /ini=: the executable's name in the working folder, not the executable's folder.
      {{"/opt/bin/kx2jpk"}, (dir / "kx2jpk.ini").string()},
      {{"/opt/bin/kx2jpk.exe"}, (dir / "kx2jpk.ini").string()},
      {{"kx2jpk", "/ini=other"}, (dir / "other.ini").string()},
      {{"kx2jpk", "/ini=" + (dir / "cfg" / "firma.txt").string()}, (dir / "cfg" / "firma.ini").string()},
      // The last /ini= wins; the prefix is matched with exact case.
      {{"kx2jpk", "/ini=missing", "/ini=other", "/INI=nothere"}, (dir / "other.ini").string()},
  };
  for (const auto& c : cases) {
    AppContext ctx{port};
    ReadConfiguration(ctx, c.args, dir.Path());
    EXPECT_EQ(ctx.IniFileName, c.expected);
    EXPECT_EQ(ctx.AppName, c.args[0]);
  }

  AppContext ctx{port};
  try {
    ReadConfiguration(ctx, {"kx2jpk", "/ini=brak.INI"}, dir.Path());
    FAIL();
  } catch (const kx::Error& e) {
    // ".INI" is not exactly ".ini": the extension is replaced.
    EXPECT_EQ(std::string(e.what()), "Brak pliku " + (dir / "brak.ini").string());
  }
}

TEST(Configuration, WordListsFromTheWorkingFolder) {
  Fixture f;
  f.dir.Write("CutDict.txt", "\xEF\xBB\xBFP\\.?P\\.?H\\.?U\\.?\r\n\r\nSp\\. z o\\.o\\.\r\n  \r\n");
  f.dir.Write("RejkoAccSet.txt",
              "0 Aktywa trwa\xB3"
              "e\n\n1 \x8Crodki pieni\xEA\xBFne\n");  // code page 1250
  f.Read(kMinimal);
  EXPECT_EQ(f.ctx.CutDict, (std::vector<std::string>{"P\\.?P\\.?H\\.?U\\.?", "Sp\\. z o\\.o\\.", "  "}));
  EXPECT_EQ(f.ctx.RejkoAccSet, (std::vector<std::string>{"0 Aktywa trwałe", "1 Środki pieniężne"}));
}

TEST(Configuration, BadInput) {
  // Another encoding (code page 1250), garbage lines and repeated keys: read, with warnings.
  Fixture f;
  f.Read(
      "[System]\nNIP=1\nNazwa=Pi\xEAkna \xA3\xF3\x64\x9F\nNazwa=Druga\n\x01\x02garbage\nEmail=e\nUSCode=1\n"
      "NazwaSystemu=s\n[bez nawiasu\n");
  EXPECT_EQ(f.ctx.AppSettings.Nazwa, "Piękna Łódź");
  EXPECT_EQ(f.ctx.ConfigWarnings.size(), 3u);
  // Binary garbage: the first mandatory key is missing.
  EXPECT_EQ(Fixture().ErrorOf(std::string("\x00\xff\xfe\x01", 4)),
            "Brak pola: \"NIP = \" w pliku konfiguracyjnym w sekcji: System");
  // A value with ";" is kept whole: no inline comments.
  Fixture g;
  g.Read("[System]\nNIP=1\nNazwa=Sklep ; Hurtownia\nEmail=e\nUSCode=1\nNazwaSystemu=s\n");
  EXPECT_EQ(g.ctx.AppSettings.Nazwa, "Sklep ; Hurtownia");
}
