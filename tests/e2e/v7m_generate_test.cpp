// kx2jpk-cli v7m generate on source tables written into a temporary folder.

#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures/generate_fixtures.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "platform/text_utils.h"
#include "support/jpk_schema.h"
#include "support/run_cli.h"
#include "support/temp_dir.h"

using namespace kxtest;

namespace {

constexpr const char* kKsef = "5260250274-20261105-0A1B2C-3D4E5F-01";

std::vector<RegRow> Month() {
  return {
      // clang-format off
      {.cls = 0, .number = 1, .flags = 256, .document = "FV 1/11/2026", .ksef = kKsef, .gtu = 5, .value22 = 100,
       .tax22 = 23, .value = 123, .totalTax = 23},
      {.cls = 0, .number = 2, .document = "FV 2/11/2026", .saleDate = {2026, 11, 3}, .ksef = "", .value7 = 50,
       .tax7 = 4, .value = 54, .totalTax = 4},
      {.cls = 6, .number = 3, .flags = 8, .document = "PAR 3", .ksef = "DI", .value22 = 10, .tax22 = 2.3,
       .value = 12.3, .totalTax = 2.3},
      {.cls = 22, .number = 4, .flags = 512, .document = "WDT 4", .payer = 2, .ksef = "BFK", .value = 500},
      {.cls = 0, .number = 5, .document = "FV 5/10/2026", .date = {2026, 10, 31}, .value22 = 1, .tax22 = 0.23},
      {.cls = 128, .number = 1, .flags = 1024, .document = "FZ 1/2026", .date = {2026, 11, 10},
       .saleDate = {2026, 11, 8}, .ksef = "OFF", .value22 = 200, .tax22 = 46, .totalTax = 46},
      {.cls = 129, .number = 2, .flags = 64, .document = "FZ 2/2026", .ksef = kKsef, .value22 = 1000,
       .totalTax = 230},
  };
  // clang-format on
}

class GenerateCli : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir / "towix");
    std::filesystem::create_directories(dir / "net");
    dir.Write("firma.ini",
              "[System]\nNIP=7270120002\nNazwa=Hurtownia Żuraw Sp. z o.o.\nEmail=biuro@zuraw.pl\n"
              "USCode=1009\nNazwaSystemu=kx2jpk\nCurDate=2026.01.01\nKXDataDir=" +
                  (dir / "towix").string() + "\nNetFileDir=" + (dir / "net").string() + "\n");
  }

  void WriteTables(const std::vector<RegRow>& rows, const std::vector<UserRow>& buyers) {
    TowixRegister("26_11REG", rows).WriteParadox(dir / "towix");
    Contractors("26_11UR", buyers).WriteParadox(dir / "towix");
    Contractors("26_11UC", {{1, "Mleczarnia Łąka", "PL 774-000-14-54"}}).WriteParadox(dir / "towix");
  }

  CliResult Generate(std::vector<std::string> extra) {
    std::vector<std::string> args{"/ini=firma.ini", "v7m",   "generate", "--month",   "2026-11",
                                  "--source",       "towix", "-o",       out.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args, dir.Path());
  }

  TempDir dir;
  std::filesystem::path out = dir / "2026-11_jpk_v7m_3.xml";
};

std::vector<std::string> Records(const kx::jpk::v7m::IXMLJPK& root, bool sales) {
  std::vector<std::string> r;
  auto ew = root.Ewidencja();
  if (sales) {
    for (int i = 0; i < ew.SprzedazWiersz().Count(); ++i) r.push_back(Children(ew.SprzedazWiersz()[i]));
  } else {
    for (int i = 0; i < ew.ZakupWiersz().Count(); ++i) r.push_back(Children(ew.ZakupWiersz()[i]));
  }
  return r;
}

}  // namespace

TEST_F(GenerateCli, WritesTheMonthSchemaValid) {
  WriteTables(Month(),
              {{1, "Piekarnia Kłos", "526-025-02-74"}, {2, "Müller GmbH", "DE811128135", 1, "Berlin, Niemcy"}});
  auto r = Generate({"--ksef-empty", "bfk"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  ASSERT_TRUE(std::filesystem::exists(out));
  EXPECT_EQ(SchemaErrors(out), "");
  // The last line comes whole also when the program leaves its document to
  // the system at exit.
  EXPECT_NE(r.out.find(": sprzedaż 4, zakup 2\n"), std::string::npos) << r.out;

  auto root = kx::jpk::v7m::LoadJPK(out);
  EXPECT_EQ(root.Naglowek().Rok(), "2026");
  EXPECT_EQ(root.Naglowek().Miesiac(), 11);
  const std::string klos = "NrKontrahenta=5260250274 NazwaKontrahenta=Piekarnia Kłos ";
  EXPECT_EQ(Records(root, true),
            (std::vector<std::string>{
                "LpSprzedazy=1 " + klos + "DowodSprzedazy=FV 1/11/2026 DataWystawienia=2026-11-05 NrKSeF=" + kKsef +
                    " GTU_01=1 GTU_03=1 TP=1 K_19=100 K_20=23",
                "LpSprzedazy=2 " + klos +
                    "DowodSprzedazy=FV 2/11/2026 DataWystawienia=2026-11-05 DataSprzedazy=2026-11-03 BFK=1 K_17=50 "
                    "K_18=4",
                // Receipts (classes 2 to 7) are read without the NIP check.
                "LpSprzedazy=3 NrKontrahenta=526-025-02-74 NazwaKontrahenta=Piekarnia Kłos "
                "DowodSprzedazy=Korekta: PAR 3 DataWystawienia=2026-11-05 DI=1 TypDokumentu=WEW K_19=-10 "
                "K_20=-2.3",
                "LpSprzedazy=4 KodKrajuNadaniaTIN=DE NrKontrahenta=811128135 NazwaKontrahenta=Müller GmbH "
                "DowodSprzedazy=WDT 4 DataWystawienia=2026-11-05 BFK=1 K_21=500",
            }));
  EXPECT_EQ(Children(root.Ewidencja().SprzedazCtrl()), "LiczbaWierszySprzedazy=4 PodatekNalezny=24.7");
  const std::string laka = "NrDostawcy=7740001454 NazwaDostawcy=Mleczarnia Łąka ";
  EXPECT_EQ(
      Records(root, false),
      (std::vector<std::string>{
          "LpZakupu=1 " + laka +
              "DowodZakupu=FZ 1/2026 DataZakupu=2026-11-08 DataWplywu=2026-11-10 OFF=1 IMP=1 K_42=200 K_43=46",
          "LpZakupu=2 " + laka + "DowodZakupu=FZ 2/2026 DataZakupu=2026-11-05 NrKSeF=" + kKsef + " K_42=500 K_43=115",
      }));
  EXPECT_EQ(Children(root.Ewidencja().ZakupCtrl()), "LiczbaWierszyZakupow=2 PodatekNaliczony=161");
}

TEST_F(GenerateCli, ChoicesOfRegistersAndPurpose) {
  WriteTables(Month(), {{1, "Piekarnia Kłos", "5260250274"}, {2, "Müller GmbH", "DE811128135"}});
  struct Case {
    std::vector<std::string> args;
    int sales, purchases;
    const char* cel;
  } cases[] = {
      {{"--no-purchases", "--ksef-empty", "bfk"}, 4, 0, "1"},
      {{"--no-sales", "--correction"}, 0, 2, "2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cel);
    auto r = Generate(c.args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto root = kx::jpk::v7m::LoadJPK(out);
    EXPECT_EQ(root.Ewidencja().SprzedazWiersz().Count(), c.sales);
    EXPECT_EQ(root.Ewidencja().ZakupWiersz().Count(), c.purchases);
    EXPECT_EQ(root.Naglowek().CelZlozenia().Text(), c.cel);
  }
}

TEST_F(GenerateCli, DoubtfulDataStopsTheRunWithoutAFile) {
  std::vector<RegRow> noNumber = Month();
  noNumber[1].document = "";
  std::vector<UserRow> good{{1, "Piekarnia Kłos", "5260250274"}, {2, "Müller GmbH", "DE811128135"}};
  std::vector<UserRow> noName{{1, "", "5260250274"}, {2, "Müller GmbH", "DE811128135"}};
  std::vector<UserRow> badNip{{1, "Piekarnia Kłos", "5260250275"}, {2, "Müller GmbH", "DE811128135"}};
  struct Case {
    const char* what;
    std::vector<RegRow> rows;
    std::vector<UserRow> buyers;
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      // clang-format off
      {"register row without a number", noNumber, good, {"--ksef-empty", "bfk"}, "Brak numeru dokumentu (0-2026-1-2)"},
      {"contractor without a name", Month(), noName, {"--ksef-empty", "bfk"},
       "Brak nazwy kontrahenta\r\nDokument: FV 1/11/2026  NIP: 5260250274\r\nWczytywanie przerwano"},
      {"NIP question refused", Month(), badNip, {"--no", "--ksef-empty", "bfk"}, "Wczytywanie przerwano"},
      {"NIP question unanswered", Month(), badNip, {"--ksef-empty", "bfk"}, "Wczytywanie przerwano"},
      {"KSeF question cancelled", Month(), good, {"--yes", "--ksef-empty", "cancel"}, "Przerwano tworzenie JPK_V7M"},
      {"KSeF question unanswered", Month(), good, {"--yes"}, "Przerwano tworzenie JPK_V7M"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteTables(c.rows, c.buyers);
    std::filesystem::remove(out);
    auto r = Generate(c.args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }

  // An earlier file of the name stays as it was.
  WriteTables(Month(), noName);
  dir.Write(out.filename().string(), "poprzedni");
  EXPECT_EQ(Generate({"--ksef-empty", "bfk"}).exitCode, 1);
  EXPECT_EQ(ReadFile(out), "poprzedni");
}

TEST_F(GenerateCli, AnswersGivenByOptions) {
  WriteTables(Month(), {{1, "Piekarnia Kłos", "5260250275"}, {2, "Müller GmbH", "DE811128135"}});
  // --yes accepts the doubtful number as it is.
  auto r = Generate({"--yes", "--ksef-empty", "bfk"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto root = kx::jpk::v7m::LoadJPK(out);
  EXPECT_EQ(root.Ewidencja().SprzedazWiersz()[0].NrKontrahenta(), "5260250275");

  // "empty" writes an empty NrKSeF, as the answer No does; the schema rejects
  // that empty number, which is the user's decision to fix later.
  r = Generate({"--yes", "--ksef-empty", "empty"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  root = kx::jpk::v7m::LoadJPK(out);
  auto second = root.Ewidencja().SprzedazWiersz()[1];
  EXPECT_TRUE(second.HasChild("NrKSeF"));
  EXPECT_EQ(second.NrKSeF(), "");
  std::string errors = SchemaErrors(out);
  // That one complaint and no other.
  std::string first = errors.substr(0, errors.find('\n'));
  EXPECT_NE(first.find("NrKSeF"), std::string::npos) << errors;
  EXPECT_EQ(kx::Trim(errors.substr(first.size())), "") << errors;
}

TEST_F(GenerateCli, UsageErrors) {
  WriteTables(Month(), {{1, "Piekarnia Kłos", "5260250274"}});
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/ini=firma.ini", "v7m", "generate", "--month", "2026-13", "--source", "towix", "-o",
                                 "x.xml"},
        std::vector<std::string>{"/ini=firma.ini", "v7m", "generate", "--month", "2026-11", "--source", "abc", "-o",
                                 "x.xml"},
        std::vector<std::string>{"/ini=firma.ini", "v7m", "generate", "--month", "2026-11", "--source", "towix"},
        std::vector<std::string>{"/ini=firma.ini", "v7m", "generate", "--month", "2026-11", "--source", "towix", "-o",
                                 "x.xml", "--ksef-empty", "maybe"}}) {
    auto r = RunCli(args, dir.Path());
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.xml"));
  }
}

TEST_F(GenerateCli, LinkIntoAFileAndDeclaration) {
  WriteTables(Month(), {{1, "Piekarnia Kłos", "5260250274"}, {2, "Müller GmbH", "DE811128135"}});
  // The sales first, into a file of their own.
  std::filesystem::path sales = dir / "sprzedaz.xml";
  auto r = RunCli({"/ini=firma.ini", "v7m", "generate", "--month", "2026-11", "--source", "towix", "--no-purchases",
                   "--ksef-empty", "bfk", "-o", sales.string()},
                  dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;

  // Then the purchases linked after them, with the declaration computed.
  r = Generate({"--no-sales", "--link", sales.string(), "--declaration"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(SchemaErrors(out), "");
  auto root = kx::jpk::v7m::LoadJPK(out);
  auto sale = Records(root, true);
  auto buy = Records(root, false);
  ASSERT_EQ(sale.size(), 4u);
  ASSERT_EQ(buy.size(), 2u);
  EXPECT_EQ(sale[3].rfind("LpSprzedazy=4 NrKontrahenta=811128135 ", 0), 0u) << sale[3];
  EXPECT_EQ(buy[1].rfind("LpZakupu=2 ", 0), 0u) << buy[1];
  ASSERT_TRUE(root.HasChild("Deklaracja"));
  // 23 % base of the month: 100 less the cancelled receipt's 10.
  EXPECT_EQ(root.Deklaracja().PozycjeSzczegolowe().P_19(), 90);
  // The linked file itself is left as it was.
  EXPECT_EQ(kx::jpk::v7m::LoadJPK(sales).Ewidencja().ZakupWiersz().Count(), 0);

  // November into a file of October: only with --yes; unanswered, exit 1 and no file.
  std::string october = kxtest::ReadFile(sales);
  october.replace(october.find("<Miesiac>11</Miesiac>"), 21, "<Miesiac>10</Miesiac>");
  std::filesystem::path octoberFile = dir.Write("pazdziernik.xml", october);
  std::filesystem::path both = dir / "razem.xml";
  for (const char* answer : {"", "--no", "--yes"}) {
    SCOPED_TRACE(answer);
    std::vector<std::string> args{"/ini=firma.ini",     "v7m",   "generate",     "--month", "2026-11",
                                  "--source",           "towix", "--ksef-empty", "bfk",     "--link",
                                  octoberFile.string(), "-o",    both.string()};
    if (*answer) args.push_back(answer);
    r = RunCli(args, dir.Path());
    if (!*answer) {
      EXPECT_NE(r.err.find("Plik dotyczy innego miesiąca. Połączyć mimo to?"), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.exitCode, *answer && answer[2] == 'y' ? 0 : 1) << r.err;
    EXPECT_EQ(std::filesystem::exists(both), *answer && answer[2] == 'y');
  }
}

// The demo firm's month (data/demo, written by tools/gen_demo_data) gives a
// valid file from each source program without a single question.
TEST(GenerateDemoFirm, EachSourceGivesAValidFile) {
  TempDir dir;
  std::filesystem::copy(std::filesystem::path(KX_SOURCE_DIR) / "data" / "demo", dir.Path(),
                        std::filesystem::copy_options::recursive);
  for (const char* source : {"towix", "rejko", "folvo"}) {
    SCOPED_TRACE(source);
    std::filesystem::path out = dir / (std::string(source) + ".xml");
    auto r = RunCli({"v7m", "generate", "--month", "2026-11", "--source", source, "-o", out.string()}, dir.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(SchemaErrors(out), "");
    auto root = kx::jpk::v7m::LoadJPK(out);
    EXPECT_GT(root.Ewidencja().SprzedazWiersz().Count(), 0);
    EXPECT_GT(root.Ewidencja().ZakupWiersz().Count(), 0);
  }
}
