// kx2jpk-cli kr generate on ledgers written by the demo data tool (not the
// committed demo firm): the file validates, its account entries are the
// ledger's rows of the period, its control elements and turnovers agree with
// them, and a failed run writes nothing.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/kxTools.h"
#include "ledger/kr_generate.h"
#include "jpk/model/Schemat_JPK_KR1_v10.h"
#include "platform/tables/session.h"
#include "platform/tables/table.h"
#include "fixtures/table_builder.h"
#include "support/jpk_schema.h"
#include "support/run_cli.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
namespace fs = std::filesystem;
namespace kr = kx::jpk::kr;

namespace {

fs::path ToolPath() {
  // bin/kx2jpk-cli beside tools/, or the older src/cli/kx2jpk-cli.
  for (const fs::path& base :
       {CliPath().parent_path().parent_path(), CliPath().parent_path().parent_path().parent_path()}) {
    if (fs::exists(base / "tools" / "gen_demo_data")) return base / "tools" / "gen_demo_data";
  }
  return {};
}

struct Detail {
  int period;
  std::string seq, code, text;
  bool hasDebit, hasCredit;
  double debit, credit;
};

std::vector<Detail> ReadDetails(const fs::path& file) {
  kx::tables::Session session;
  kx::tables::Table t(session);
  t.SetTableName(file.string());
  t.Open();
  std::vector<Detail> rows;
  for (t.First(); !t.Eof(); t.Next()) {
    auto part = [&](const char* f) { return static_cast<uint16_t>(t.FieldByName(f).AsInteger()); };
    rows.push_back({static_cast<int>(t.FieldByName("Period Id").AsInteger()), t.FieldByName("Seq No").AsString(),
                    kx::ledger::FormatAccountNumber(part("Primary Account"), part("Secondary Account"),
                                                    part("Secondary2 Account")),
                    t.FieldByName("Description").AsString(), !t.FieldByName("Debit").IsNull(),
                    !t.FieldByName("Credit").IsNull(), t.FieldByName("Debit").AsFloat(),
                    t.FieldByName("Credit").AsFloat()});
  }
  return rows;
}

int CountRows(const fs::path& file, int period, int closing) {
  kx::tables::Session session;
  kx::tables::Table t(session);
  t.SetTableName(file.string());
  t.Open();
  int n = 0;
  for (t.First(); !t.Eof(); t.Next()) {
    const int64_t id = t.FieldByName("Period Id").AsInteger();
    n += id == period || id == closing;
  }
  return n;
}

class KrCli : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ToolPath().empty()) << "brak narzędzia gen_demo_data";
    std::string cmd = "'" + ToolPath().string() + "' '" + (dir / "firma").string() +
                      "' --month 2026-11 --rows 25 --seed 11 >/dev/null 2>&1";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    fs::create_directories(dir / "firma" / "net");
    dir.Write("firma/RejkoAccSet.txt", ReadFile(SourceDir() / "data" / "demo" / "RejkoAccSet.txt"));
    dir.Write("firma/kx2jpk.ini",
              "[System]\nNIP=7270120002\nNazwa=Hurtownia Żuraw Sp. z o.o.\nEmail=biuro@zuraw.pl\n"
              "Wojewodztwo=łódzkie\nPowiat=Łódź\nGmina=Łódź\nMiasto=Łódź\nNrDomu=1\nKodPocztowy=90-001\n"
              "Poczta=Łódź\nUSCode=1009\nNazwaSystemu=kx2jpk\nRejkoDir=rejko\nNetFileDir=net\n");
    folder = dir / "firma";
  }

  TempDir dir;
  fs::path folder;
};

TEST_F(KrCli, FileAgreesWithTheLedger) {
  const std::vector<Detail> details = ReadDetails(folder / "rejko" / "2026" / "details.db");
  struct Case {
    const char* month;
    int period, closing;
  } cases[] = {{"2026-11", 12655, -1}, {"2026-03", 12615, -1}, {"2026-12", 12660, 12670}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.month);
    const fs::path out = dir / (std::string(c.month) + "_JPK_KR.xml");
    CliResult r = RunCli({"kr", "generate", "--month", c.month, "-o", out.string()}, folder);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err,
              "Krok 1/5: Generowanie ZOiS\nKrok 2/5: Generowanie ZOiS\nKrok 3/5: Generowanie dziennika\n"
              "Krok 4/5: Generowanie zapisów na kontach\n");
    EXPECT_EQ(SchemaErrors(out), "");
    kr::IXMLJPKKR root = kr::LoadJPKKR(out);

    // Account entries: the ledger's rows of the period, in table order.
    std::vector<const Detail*> wanted;
    double debitSum = 0, creditSum = 0;
    for (const Detail& d : details) {
      if (d.period != c.period && d.period != c.closing) continue;
      wanted.push_back(&d);
      if (d.hasDebit) debitSum = kx::RoundAmount(2, debitSum + kx::RoundAmount(2, d.debit));
      if (d.hasCredit) creditSum = kx::RoundAmount(2, creditSum + kx::RoundAmount(2, d.credit));
    }
    auto entries = root.KontoZapis();
    ASSERT_EQ(entries.Count(), static_cast<int>(wanted.size()));
    for (int i = 0; i < entries.Count(); ++i) {
      const Detail& d = *wanted[i];
      auto e = entries[i];
      EXPECT_EQ(e.LpZapisu(), i + 1);
      EXPECT_EQ(e.NrZapisu(), d.seq);
      EXPECT_EQ(e.KodKontaWinien(), d.hasDebit ? d.code : "null") << i;
      EXPECT_DOUBLE_EQ(e.KwotaWinien(), d.hasDebit ? kx::RoundAmount(2, d.debit) : 0) << i;
      EXPECT_EQ(e.KodKontaMa(), d.hasCredit ? d.code : "null") << i;
      EXPECT_DOUBLE_EQ(e.KwotaMa(), d.hasCredit ? kx::RoundAmount(2, d.credit) : 0) << i;
    }
    EXPECT_EQ(root.KontoZapisCtrl().LiczbaWierszyKontoZapisj(), entries.Count());
    EXPECT_DOUBLE_EQ(root.KontoZapisCtrl().SumaWinien(), debitSum);
    EXPECT_DOUBLE_EQ(root.KontoZapisCtrl().SumaMa(), creditSum);

    // Journal: one item per booking of the period; its control element sums them.
    auto journal = root.Dziennik();
    EXPECT_EQ(journal.Count(), CountRows(folder / "rejko" / "2026" / "journal.db", c.period, c.closing));
    double journalSum = 0;
    for (int i = 0; i < journal.Count(); ++i)
      journalSum = kx::RoundAmount(2, journalSum + journal[i].DziennikKwotaOperacji());
    EXPECT_EQ(root.DziennikCtrl().LiczbaWierszyDziennika(), journal.Count());
    EXPECT_DOUBLE_EQ(root.DziennikCtrl().SumaKwotOperacji(), journalSum);
    EXPECT_DOUBLE_EQ(journalSum, debitSum) << "every booking's amount is its debit side";

    // Turnovers of the month: the entries on the account and its sub-accounts.
    auto accounts = root.ZOiS();
    ASSERT_GT(accounts.Count(), 0);
    for (int i = 0; i < accounts.Count(); ++i) {
      const std::string code = accounts[i].KodKonta();
      double debit = 0, credit = 0;
      for (const Detail* d : wanted) {
        if (d->code != code && d->code.rfind(code + "-", 0) != 0) continue;
        if (d->hasDebit) debit += d->debit;
        if (d->hasCredit) credit += d->credit;
      }
      EXPECT_NEAR(accounts[i].ObrotyWinien(), debit, 0.011) << code;
      EXPECT_NEAR(accounts[i].ObrotyMa(), credit, 0.011) << code;
      const double balance = accounts[i].BilansOtwarciaWinien() - accounts[i].BilansOtwarciaMa() +
                             accounts[i].ObrotyWinienNarast() - accounts[i].ObrotyMaNarast();
      EXPECT_NEAR(accounts[i].SaldoWinien() - accounts[i].SaldoMa(), balance, 0.011) << code;
    }
  }
}

TEST_F(KrCli, FailureWritesNothing) {
  // Exit 1 and the message; the output is neither made nor replaced.
  const fs::path out = dir / "kr.xml";
  const fs::path kept = dir.Write("stary.xml", "<stary/>");
  CliResult r = RunCli({"kr", "generate", "--month", "2025-11", "-o", out.string()}, folder);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("rejko/2025"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out));

  // A month without postings: the schema needs at least one journal entry and
  // one account entry, so the run stops and the old file stays as it was.
  const fs::path empty = dir / "pusty";
  fs::copy(folder, empty, fs::copy_options::recursive);
  TableBuilder("journal")
      .Field("Period Id", kx::tables::FieldKind::Integer)
      .Field("Seq No", kx::tables::FieldKind::Text, 12)
      .Field("Book Type", kx::tables::FieldKind::Text, 30)
      .Field("Book No", kx::tables::FieldKind::Text, 30)
      .Field("Book Id", kx::tables::FieldKind::Text, 10)
      .Field("Date", kx::tables::FieldKind::Date)
      .Field("Book Date", kx::tables::FieldKind::Date)
      .Field("Operator Id", kx::tables::FieldKind::Text, 10)
      .Field("Comments", kx::tables::FieldKind::Text, 80)
      .Row({12650, "1/10", "Zakup", "FZ 1", "FZ", kx::tables::Date{2026, 10, 5}, kx::tables::Date{2026, 10, 5}, "AKOW",
            "Zakup"})
      .WriteParadox(empty / "rejko" / "2026");
  TableBuilder("details")
      .Field("Period Id", kx::tables::FieldKind::Integer)
      .Field("Seq No", kx::tables::FieldKind::Text, 12)
      .Field("Primary Account", kx::tables::FieldKind::Short)
      .Field("Secondary Account", kx::tables::FieldKind::Short)
      .Field("Secondary2 Account", kx::tables::FieldKind::Short)
      .Field("Description", kx::tables::FieldKind::Text, 60)
      .Field("Debit", kx::tables::FieldKind::Currency)
      .Field("Credit", kx::tables::FieldKind::Currency)
      .Row({12650, "1/10", 330, 0, 0, "Towar", 100.0, nullptr})
      .Row({12650, "1/10", 130, 0, 0, "Zapłata", nullptr, 100.0})
      .WriteParadox(empty / "rejko" / "2026");
  r = RunCli({"kr", "generate", "--month", "2026-11", "-o", kept.string()}, empty);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Brak zapisów w księgach za miesiąc 2026-11"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(kept), "<stary/>");
  r = RunCli({"kr", "generate", "--month", "2026-10", "-o", kept.string()}, empty);
  EXPECT_EQ(r.exitCode, 0) << "the same ledger's month with postings: " << r.err;

  // A program whose data folder holds no query files: the lookup names the places.
  const fs::path bin = dir / "inny" / "bin";
  fs::create_directories(bin);
  fs::copy_file(CliPath(), bin / "kx2jpk-cli");
  fs::permissions(bin / "kx2jpk-cli", fs::perms::owner_exec, fs::perm_options::add);
  const fs::path copy = dir / "firma-bez-sql";
  fs::copy(folder, copy, fs::copy_options::recursive);
  std::string cmd = "cd '" + copy.string() + "' && '" + (bin / "kx2jpk-cli").string() +
                    "' kr generate --month 2026-11 -o '" + out.string() + "' >/dev/null 2>'" +
                    (dir / "err.txt").string() + "'";
  int status = std::system(cmd.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_NE(ReadFile(dir / "err.txt").find("Brak pliku zapytania SQL/zois.sql"), std::string::npos)
      << ReadFile(dir / "err.txt");
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(KrCli, SchemaComplaintsNameTheirLineAndStrictWritesNothing) {
  // An office code the schema does not know, in the header's eleventh line.
  std::string ini = ReadFile(folder / "kx2jpk.ini");
  ini.replace(ini.find("USCode=1009"), 11, "USCode=9999");
  dir.Write("firma/kx2jpk.ini", ini);
  const fs::path out = dir / "kr.xml";
  CliResult r = RunCli({"kr", "generate", "--month", "2026-11", "-o", out.string()}, folder);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Uwaga: plik " + out.string() + " jest niezgodny ze schematem (błędów: 1):\n  wiersz 11: "),
            std::string::npos)
      << r.err;
  EXPECT_NE(ReadFile(out).find("<KodUrzedu>9999</KodUrzedu>"), std::string::npos);

  const fs::path kept = dir.Write("stary.xml", "<stary/>");
  r = RunCli({"--strict", "kr", "generate", "--month", "2026-11", "-o", kept.string()}, folder);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Nie można zapisać pliku " + kept.string() +
                       ": plik jest niezgodny ze schematem, błędów 1; z opcją --strict nie zostaje zapisany"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadFile(kept), "<stary/>");
  for (const auto& e : fs::directory_iterator(dir.Path())) {
    EXPECT_NE(e.path().extension(), ".tmp") << e.path();
  }
}

TEST_F(KrCli, HelpIsPolish) {
  CliResult r = RunCli({"kr", "generate", "--help"}, folder);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("Miesiąc RRRR-MM"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Plik wynikowy JPK_KR"), std::string::npos) << r.out;
}

}  // namespace
