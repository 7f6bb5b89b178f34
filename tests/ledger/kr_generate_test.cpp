// JPK_KR from small ledgers written as real tables, run with the query files
// the program ships (data/SQL) copied into the working folder.

#include "ledger/kr_generate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "fixtures/table_builder.h"
#include "jpk/files/jpkTools.h"
#include "platform/error.h"
#include "support/jpk_schema.h"
#include "support/scripted_user_port.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::tables::Date;
using kx::tables::FieldKind;
namespace fs = std::filesystem;
namespace kr = kx::jpk::kr;

namespace {

TEST(LedgerNumbers, AccountNumbers) {
  struct Case {
    uint16_t p, s1, s2;
    const char* code;
  } cases[] = {{201, 2, 15, "201-2-15"},
               {10, 0, 0, "010"},
               {401, 3, 0, "401-3"},
               {5, 0, 7, "005"},
               {1000, 1, 2, "1000-1-2"},
               {0, 0, 0, "000"},
               {65535, 65535, 1, "65535-65535-1"}};
  for (const Case& c : cases) EXPECT_EQ(kx::ledger::FormatAccountNumber(c.p, c.s1, c.s2), c.code) << c.code;
}

TEST(LedgerNumbers, PeriodIds) {
  struct Case {
    Date date;
    uint16_t id;
    bool december;
  } cases[] = {{{2020, 3, 1}, 12015, false},
               {{2020, 12, 31}, 12060, true},
               {{2026, 11, 1}, 12655, false},
               {{2026, 1, 15}, 12605, false},
               {{1999, 12, 1}, 9960, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(kx::ledger::LedgerPeriodId(c.date), c.id);
    EXPECT_EQ(kx::ledger::IsDecember(c.id), c.december) << c.id;
  }
  EXPECT_FALSE(kx::ledger::IsDecember(12070)) << "the closing period itself is not December";
}

// A ledger year stated in a few rows: the accounts, the journal and its entries.
struct Ledger {
  struct Account {
    int p;
    kxtest::Cell s1, s2;
    const char* name;
    int options;
    double initDebit = 0, initCredit = 0;
  };
  struct Entry {
    int period;
    const char* seq;
    int p, s1, s2;
    const char* text;
    kxtest::Cell debit, credit;
  };
  struct Booking {
    int period;
    const char* seq;
    const char* type;
    const char* comments;
  };
  std::vector<Account> accounts;
  std::vector<Entry> entries;
  std::vector<Booking> journal;

  void Write(const fs::path& dir) const {
    fs::create_directories(dir);
    TableBuilder a("accounts");
    a.Field("Primary", FieldKind::Short)
        .Field("Secondary1", FieldKind::Short)
        .Field("Secondary2", FieldKind::Short)
        .Field("Secondary3", FieldKind::Short)
        .Field("Account Name", FieldKind::Text, 60)
        .Field("Options", FieldKind::Short)
        .Field("InitYDebit", FieldKind::Currency)
        .Field("InitYCredit", FieldKind::Currency);
    for (const Account& x : accounts) a.Row({x.p, x.s1, x.s2, nullptr, x.name, x.options, x.initDebit, x.initCredit});
    a.WriteParadox(dir);
    TableBuilder d("details");
    d.Field("Period Id", FieldKind::Integer)
        .Field("Seq No", FieldKind::Text, 12)
        .Field("Primary Account", FieldKind::Short)
        .Field("Secondary Account", FieldKind::Short)
        .Field("Secondary2 Account", FieldKind::Short)
        .Field("Description", FieldKind::Text, 60)
        .Field("Debit", FieldKind::Currency)
        .Field("Credit", FieldKind::Currency);
    for (const Entry& e : entries) d.Row({e.period, e.seq, e.p, e.s1, e.s2, e.text, e.debit, e.credit});
    d.WriteParadox(dir);
    TableBuilder j("journal");
    j.Field("Period Id", FieldKind::Integer)
        .Field("Seq No", FieldKind::Text, 12)
        .Field("Book Type", FieldKind::Text, 30)
        .Field("Book No", FieldKind::Text, 30)
        .Field("Book Id", FieldKind::Text, 10)
        .Field("Date", FieldKind::Date)
        .Field("Book Date", FieldKind::Date)
        .Field("Operator Id", FieldKind::Text, 10)
        .Field("Comments", FieldKind::Text, 80);
    for (const Booking& b : journal) {
      const int month = (b.period % 100) / 5 > 12 ? 12 : (b.period % 100) / 5;
      Date date{1900 + b.period / 100, month, 10};
      j.Row({b.period, b.seq, b.type, std::string("DOK ") + b.seq, "PK", date, Date{date.year, month, 11}, "AKOW",
             b.comments});
    }
    j.WriteParadox(dir);
  }
};

// Accounts of 2020 with a year of entries: February (12010), March (12015),
// December (12060) and its closing period (12070).
Ledger Year2020() {
  Ledger l;
  l.accounts = {
      {130, nullptr, nullptr, "Rachunek bieżący", 0, 1000, 0},
      {201, nullptr, nullptr, "Rozrachunki", 0},
      {201, 2, nullptr, "Krajowi", 0x04},
      {201, 2, 15, "Dostawca Kowalski", 0},
      {490, nullptr, nullptr, "Rozliczenie kosztów", 0x04},
      {491, nullptr, nullptr, "Koszty pozabilansowe wynikowe", 0x06},
      {492, nullptr, nullptr, "Zabezpieczenia", 0x02},
      {493, nullptr, nullptr, "Konto pominięte", 0x05},
      {700, nullptr, nullptr, "Sprzedaż", 0x04},
      {860, nullptr, nullptr, "Wynik finansowy", 0},
  };
  l.entries = {
      {12010, "1/02", 130, 0, 0, "Wpłata", 50.0, nullptr},
      {12010, "1/02", 700, 0, 0, "Sprzedaż", nullptr, 50.0},
      {12015, "2/03", 201, 2, 15, "Zapłata dostawcy", 100.0, nullptr},
      {12015, "2/03", 130, 0, 0, "", nullptr, 100.0},
      {12015, "3/03", 130, 0, 0, "Wpłata", 250.255, nullptr},
      {12015, "3/03", 700, 0, 0, "Sprzedaż", nullptr, 250.25},
      {12060, "4/12", 130, 0, 0, "Wpłata", 30.0, nullptr},
      {12060, "4/12", 700, 0, 0, "Sprzedaż", nullptr, 30.0},
      {12070, "5/12", 700, 0, 0, "Zamknięcie", 330.25, nullptr},
      {12070, "5/12", 860, 0, 0, "Wynik", nullptr, 330.25},
  };
  l.journal = {{12010, "1/02", "Wyciąg bankowy", "Wpłata lutowa"},
               {12015, "2/03", "Wyciąg bankowy", ""},
               {12015, "3/03", "Sprzedaż", "Sprzedaż marcowa"},
               {12060, "4/12", "Sprzedaż", "Sprzedaż grudniowa"},
               {12070, "5/12", "Zamknięcie roku", "Zamknięcie kont wynikowych"}};
  return l;
}

const std::vector<std::string> kGroups{"0 Aktywa trwałe",
                                       "1 Środki pieniężne",
                                       "2 Rozrachunki i roszczenia",
                                       "3 Materiały i towary",
                                       "4 Koszty według rodzajów",
                                       "5 Koszty według typów działalności",
                                       "6 Produkty",
                                       "7 Przychody",
                                       "8 Kapitały i wynik finansowy",
                                       "9 Konta pozabilansowe"};

// A working folder with the shipped query files and a firm profile.
struct KrRunner {
  KrRunner() : ctx(port) {
    kx::AppSettings& s = ctx.AppSettings;
    s.NIP = "7270120002";
    s.Nazwa = "Firma Testowa Sp. z o.o.";
    s.USCode = "1009";
    s.Wojewodztwo = "łódzkie";
    s.Powiat = "Łódź";
    s.Gmina = "Łódź";
    s.Miasto = "Łódź";
    s.NrDomu = "1";
    s.KodPocztowy = "90-001";
    s.Poczta = "Łódź";
    s.RejkoDir = (dir / "rejko").string() + "/";
    ctx.RejkoAccSet = kGroups;
    work = dir / "praca";
    fs::create_directories(work / "SQL");
    for (const char* f : {"zois.sql", "dziennik.sql"}) {
      fs::copy_file(SourceDir() / "data" / "SQL" / f, work / "SQL" / f);
    }
  }

  kr::IXMLJPKKR Generate(const Ledger& ledger, Date month) {
    ledger.Write(dir / "rejko" / std::to_string(month.year));
    ctx.AppSettings.CurDate = month;
    root = kr::NewJPKKR();
    kx::ledger::GenerateJpkKR(ctx, work, root, [this](const std::string& m, int p) { progress.emplace_back(m, p); });
    return root;
  }

  std::map<std::string, kr::IXMLJPK_ZOiS> Accounts() const {
    std::map<std::string, kr::IXMLJPK_ZOiS> byCode;
    for (int i = 0; i < root.ZOiS().Count(); ++i) byCode.emplace(root.ZOiS()[i].KodKonta(), root.ZOiS()[i]);
    return byCode;
  }

  std::string Failure(const Ledger& ledger, Date month) {
    try {
      Generate(ledger, month);
    } catch (const kx::Error& e) {
      return e.what();
    }
    return "(bez błędu)";
  }

  TempDir dir;
  fs::path work;
  ScriptedUserPort port;
  kx::AppContext ctx;
  kr::IXMLJPKKR root;
  std::vector<std::pair<std::string, int>> progress;
};

class KrGenerate : public testing::Test, public KrRunner {};

TEST_F(KrGenerate, MarchTakesOnlyItsPeriod) {
  Generate(Year2020(), {2020, 3, 1});
  EXPECT_TRUE(fs::exists(work / "Tmp" / "_tmp.db")) << "the working folder is made when missing";
  EXPECT_TRUE(fs::exists(work / "qry.sql"));

  auto entries = root.KontoZapis();
  ASSERT_EQ(entries.Count(), 4);
  struct Want {
    const char *seq, *debitCode;
    double debit;
    const char* creditCode;
    double credit;
    const char *debitText, *creditText;
  } want[] = {{"2/03", "201-2-15", 100, "null", 0, "Zapłata dostawcy", ""},
              {"2/03", "null", 0, "130", 100, "", ""},
              {"3/03", "130", 250.26, "null", 0, "Wpłata", ""},
              {"3/03", "null", 0, "700", 250.25, "", "Sprzedaż"}};
  for (int i = 0; i < entries.Count(); ++i) {
    SCOPED_TRACE(i);
    auto e = entries[i];
    EXPECT_EQ(e.typ(), "G");
    EXPECT_EQ(e.LpZapisu(), i + 1);
    EXPECT_EQ(e.NrZapisu(), want[i].seq);
    EXPECT_EQ(e.KodKontaWinien(), want[i].debitCode);
    EXPECT_DOUBLE_EQ(e.KwotaWinien(), want[i].debit);
    EXPECT_EQ(e.KodKontaMa(), want[i].creditCode);
    EXPECT_DOUBLE_EQ(e.KwotaMa(), want[i].credit);
    // The description goes only to a side that is there.
    EXPECT_EQ(kx::xml::XmlNode(e.Node()).FindChild("OpisZapisuWinien").IsNull(), *want[i].debitText == '\0');
    EXPECT_EQ(kx::xml::XmlNode(e.Node()).FindChild("OpisZapisuMa").IsNull(), *want[i].creditText == '\0');
  }
  EXPECT_EQ(root.KontoZapisCtrl().LiczbaWierszyKontoZapisj(), 4);
  EXPECT_DOUBLE_EQ(root.KontoZapisCtrl().SumaWinien(), 350.26);
  EXPECT_DOUBLE_EQ(root.KontoZapisCtrl().SumaMa(), 350.25);

  auto journal = root.Dziennik();
  ASSERT_EQ(journal.Count(), 2);
  EXPECT_EQ(journal[0].LpZapisuDziennika(), 1);
  EXPECT_EQ(journal[0].NrZapisuDziennika(), "2/03");
  EXPECT_EQ(journal[0].OpisOperacji(), "Wyciąg bankowy") << "no comments: the book type";
  EXPECT_EQ(journal[0].DataOperacji(), "2020-03-10");
  EXPECT_EQ(journal[0].DataDowodu(), "2020-03-10");
  EXPECT_EQ(journal[0].DataKsiegowania(), "2020-03-11");
  EXPECT_DOUBLE_EQ(journal[0].DziennikKwotaOperacji(), 100);
  EXPECT_EQ(journal[1].OpisOperacji(), "Sprzedaż marcowa");
  EXPECT_DOUBLE_EQ(journal[1].DziennikKwotaOperacji(), 250.26);
  EXPECT_EQ(root.DziennikCtrl().LiczbaWierszyDziennika(), 2);
  EXPECT_DOUBLE_EQ(root.DziennikCtrl().SumaKwotOperacji(), 350.26);

  // Turnovers of the month, of the year so far, and the balance.
  auto accounts = Accounts();
  auto bank = accounts.at("130");
  EXPECT_DOUBLE_EQ(bank.BilansOtwarciaWinien(), 1000);
  EXPECT_DOUBLE_EQ(bank.ObrotyWinien(), 250.26);
  EXPECT_DOUBLE_EQ(bank.ObrotyMa(), 100);
  EXPECT_DOUBLE_EQ(bank.ObrotyWinienNarast(), 300.26);
  EXPECT_DOUBLE_EQ(bank.ObrotyMaNarast(), 100);
  EXPECT_DOUBLE_EQ(bank.SaldoWinien(), 1200.26);
  EXPECT_DOUBLE_EQ(bank.SaldoMa(), 0);
  // A synthetic account sums its sub-accounts.
  EXPECT_DOUBLE_EQ(accounts.at("201").ObrotyWinien(), 100);
  EXPECT_DOUBLE_EQ(accounts.at("201-2").ObrotyWinien(), 100);
  EXPECT_DOUBLE_EQ(accounts.at("201-2-15").SaldoWinien(), 100);

  EXPECT_THAT(progress, testing::ElementsAre(testing::Pair("Generowanie ZOiS", -1), testing::Pair("", -1),
                                             testing::Pair("Generowanie dziennika", 3),
                                             testing::Pair("Generowanie zapisów na kontach", -1)));
}

TEST_F(KrGenerate, AccountKindsGroupsAndNames) {
  Generate(Year2020(), {2020, 3, 1});
  struct Case {
    const char* code;
    const char* kind;  // nullptr: not written
  } cases[] = {{"130", "bilansowe"},          {"201", "rozliczeniowe"}, {"201-2", "rozliczeniowe"},
               {"201-2-15", "rozliczeniowe"}, {"490", "wynikowe"},      {"491", "wynikowe"},
               {"492", "pozabilansowe"},      {"493", nullptr},         {"700", "wynikowe"}};
  auto accounts = Accounts();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    auto found = accounts.find(c.code);
    ASSERT_EQ(found != accounts.end(), c.kind != nullptr);
    if (c.kind) {
      EXPECT_EQ(found->second.TypKonta(), c.kind);
    }
  }
  EXPECT_EQ(root.ZOiS().Count(), 9);

  auto analytic = accounts.at("201-2-15");
  EXPECT_EQ(analytic.typ(), "G");
  EXPECT_EQ(analytic.OpisKonta(), "Dostawca Kowalski");
  EXPECT_EQ(analytic.KodZespolu(), "2");
  EXPECT_EQ(analytic.OpisZespolu(), "Rozrachunki i roszczenia");
  EXPECT_EQ(analytic.KodKategorii(), "201");
  EXPECT_EQ(analytic.OpisKategorii(), "Rozrachunki");
  EXPECT_EQ(analytic.KodPodkategorii(), "201-2");
  EXPECT_EQ(analytic.OpisPodkategorii(), "Krajowi");
  auto middle = accounts.at("201-2");
  EXPECT_EQ(middle.OpisKategorii(), "Rozrachunki");
  EXPECT_TRUE(kx::xml::XmlNode(middle.Node()).FindChild("KodPodkategorii").IsNull());
  EXPECT_TRUE(kx::xml::XmlNode(middle.Node()).FindChild("OpisPodkategorii").IsNull());
  // A top-level account is its own category.
  EXPECT_EQ(accounts.at("700").OpisKategorii(), "Sprzedaż");
  EXPECT_EQ(accounts.at("700").OpisZespolu(), "Przychody");
}

TEST_F(KrGenerate, DecemberTakesTheClosingPeriod) {
  Generate(Year2020(), {2020, 12, 1});
  auto entries = root.KontoZapis();
  ASSERT_EQ(entries.Count(), 4);
  EXPECT_EQ(entries[0].NrZapisu(), "4/12");
  EXPECT_EQ(entries[2].NrZapisu(), "5/12");
  EXPECT_EQ(entries[3].KodKontaMa(), "860");
  EXPECT_DOUBLE_EQ(root.KontoZapisCtrl().SumaWinien(), 360.25);
  ASSERT_EQ(root.Dziennik().Count(), 2);
  EXPECT_EQ(root.Dziennik()[1].OpisDziennika(), "Zamknięcie roku");
  EXPECT_DOUBLE_EQ(root.DziennikCtrl().SumaKwotOperacji(), 360.25);

  // The closing period changed the balance of 700 and 860: their turnovers and
  // balances are those after it; the earlier turnover is December's own.
  auto accounts = Accounts();
  auto sales = accounts.at("700");
  EXPECT_DOUBLE_EQ(sales.ObrotyMaNarast(), 330.25);
  EXPECT_DOUBLE_EQ(sales.ObrotyWinienNarast(), 330.25);
  EXPECT_DOUBLE_EQ(sales.ObrotyWinien(), 330.25);
  EXPECT_DOUBLE_EQ(sales.ObrotyMa(), 30);
  EXPECT_DOUBLE_EQ(sales.SaldoMa(), 0);
  EXPECT_DOUBLE_EQ(accounts.at("860").SaldoMa(), 330.25);
  // An account the closing period leaves alone keeps December's figures.
  EXPECT_DOUBLE_EQ(accounts.at("130").SaldoWinien(), 1230.26);
}

TEST_F(KrGenerate, MonthWithoutPostingsGivesNoFile) {
  const std::string message = Failure(Year2020(), {2020, 4, 1});
  EXPECT_EQ(message, "Brak zapisów w księgach za miesiąc 2020-04");
  EXPECT_EQ(root.DziennikCtrl().LiczbaWierszyDziennika(), 0) << "the control element is written also then";
  EXPECT_EQ(root.KontoZapis().Count(), 0);
}

TEST_F(KrGenerate, Failures) {
  struct Case {
    const char* what;
    std::function<void(KrRunner&)> change;
    const char* message;
  } cases[] = {
      {"group line missing", [](KrRunner& t) { t.ctx.RejkoAccSet.resize(4); }, "RejkoAccSet"},
      {"group line without a name", [](KrRunner& t) { t.ctx.RejkoAccSet[7] = "7"; }, "zespołu kont 7"},
      {"journal query fails",
       [](KrRunner& t) { t.dir.Write("praca/SQL/dziennik.sql", "SELECT \"Nope\"\nFROM journal D\n\nWHERE 1\n"); },
       "dziennik.sql"},
      {"journal query without a column",
       [](KrRunner& t) {
         t.dir.Write("praca/SQL/dziennik.sql",
                     "SELECT D.\"Seq No\"\nFROM journal D\n\nWHERE (D.\"Period Id\" = :PeriodId) \n");
       },
       "KwotaOperacji"},
      {"no ledger folder", [](KrRunner& t) { t.ctx.AppSettings.RejkoDir = (t.dir / "brak").string() + "/"; }, "brak"},
      {"firm address missing", [](KrRunner& t) { t.ctx.AppSettings.Poczta.clear(); }, "Poczta"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KrRunner t;
    c.change(t);
    std::string message = "(bez błędu)";
    try {
      t.ctx.AppSettings.CurDate = {2020, 3, 1};
      Year2020().Write(t.dir / "rejko" / "2020");
      t.root = kr::NewJPKKR();
      kx::ledger::GenerateJpkKR(t.ctx, t.work, t.root, nullptr);
    } catch (const kx::Error& e) {
      message = e.what();
    }
    EXPECT_THAT(message, testing::HasSubstr(c.message));
  }
}

TEST_F(KrGenerate, FileWrittenAsItIsMadeEqualsTheWholeSave) {
  // A March long enough for several batches of the journal and the entries.
  Ledger ledger = Year2020();
  std::deque<std::string> numbers;
  for (int i = 0; i < 4500; ++i) {
    const char* seq = numbers.emplace_back(std::to_string(10 + i) + "/03").c_str();
    ledger.entries.push_back({12015, seq, 130, 0, 0, "Wpłata", 1.0 + i, nullptr});
    ledger.entries.push_back({12015, seq, 700, 0, 0, "Sprzedaż", nullptr, 1.0 + i});
    ledger.journal.push_back({12015, seq, "Sprzedaż", "Sprzedaż marcowa"});
  }
  Generate(ledger, {2020, 3, 1});
  kx::jpk::SaveKRFile(root, (dir / "whole.xml").string());

  kx::jpk::KRFileWriter out((dir / "made.xml").string());
  int items = 0;
  const kx::ledger::KrCounts made = kx::ledger::GenerateJpkKR(ctx, work, out.Root(), nullptr, [&] {
    ++items;
    out.Made();
  });
  // Written in batches: the document holds only the last part.
  EXPECT_LT(out.Root().Node().ChildCount(), 4096);
  out.Finish();
  out.Place();
  EXPECT_EQ(items, made.accounts + made.journal + made.entries);
  EXPECT_EQ(made.accounts, root.ZOiS().Count());
  EXPECT_EQ(made.journal, 4502);
  EXPECT_EQ(made.entries, 9004);
  // The files differ only in their time of creation.
  const std::regex created("<DataWytworzeniaJPK>[^<]*</DataWytworzeniaJPK>");
  auto text = [&](const char* name) { return std::regex_replace(ReadFile(dir / name), created, ""); };
  EXPECT_EQ(text("made.xml"), text("whole.xml"));
  EXPECT_EQ(SchemaErrors(dir / "made.xml"), "");
}

TEST_F(KrGenerate, ControlElementsAfterAFailedStep) {
  // The journal fails on its second row: the control element counts the first.
  dir.Write("praca/SQL/dziennik.sql",
            "SELECT D.\"Seq No\", D.\"Book Type\", D.\"Book No\", D.\"Book Id\", D.\"Date\", D.\"Book Date\",\n"
            "  D.\"Operator Id\", D.\"Comments\", 10.5 AS KwotaOperacji\n"
            "FROM journal D\n"
            "WHERE (D.\"Period Id\" = :PeriodId) \n"
            "ORDER BY D.\"Seq No\"\n");
  int calls = 0;
  ctx.AppSettings.CurDate = {2020, 3, 1};
  Year2020().Write(dir / "rejko" / "2020");
  root = kr::NewJPKKR();
  // A progress callback that throws cancels the run at that point.
  EXPECT_THROW(kx::ledger::GenerateJpkKR(ctx, work, root,
                                         [&](const std::string&, int) {
                                           if (++calls == 4) throw kx::Error("Przerwano");
                                         }),
               kx::Error);
  EXPECT_EQ(root.Dziennik().Count(), 2);
  EXPECT_EQ(root.DziennikCtrl().LiczbaWierszyDziennika(), 2);
  EXPECT_DOUBLE_EQ(root.DziennikCtrl().SumaKwotOperacji(), 21);
  EXPECT_EQ(root.KontoZapis().Count(), 0) << "cancelled before the account entries";
}

}  // namespace
