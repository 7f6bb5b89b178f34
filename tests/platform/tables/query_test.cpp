#include "platform/tables/query.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/error.h"
#include "fixtures/table_builder.h"
#include "platform/tables/paradox_reader.h"
#include "support/temp_dir.h"

using namespace kx::tables;
using kxtest::TableBuilder;
using ::testing::HasSubstr;

namespace {

// A small ledger year: the details of two periods (Paradox, the file name in
// capitals), the accounts (dBase, Polish names), and a journal whose file
// name has a blank.
class QueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TableBuilder("DETAILS")
        .Field("Period Id", FieldKind::Integer)
        .Field("Primary Account", FieldKind::Short)
        .Field("Seq No", FieldKind::Text, 10)
        .Field("Debit", FieldKind::Number)
        .Field("Credit", FieldKind::Number)
        .Field("Date", FieldKind::Date)
        .Field("Posted", FieldKind::Logical)
        .Row({12015, 201, "PK/1", 100.0, nullptr, Date{2020, 3, 2}, true})
        .Row({12015, 401, "PK/2", nullptr, 250.5, Date{2020, 3, 15}, false})
        .Row({12015, 201, "PK/3", 20.25, nullptr, Date{2020, 3, 31}, nullptr})
        .Row({12020, 201, "PK/4", 7.0, nullptr, Date{2020, 4, 1}, true})
        .Row({12020, 999, "PK/5", 1.0, nullptr, Date{2020, 4, 2}, true})
        .WriteParadox(m_dir.Path());
    TableBuilder("konta")
        .Field("KONTO", FieldKind::Integer, 5)
        .Field("NAZWA", FieldKind::Text, 30)
        .Row({201, "Rozrachunki z dostawcami"})
        .Row({401, "Zużycie materiałów"})
        .WriteDbase(m_dir.Path());
    TableBuilder("Journal Lines")
        .Field("Book No", FieldKind::Text, 12)
        .Field("Period Id", FieldKind::Integer)
        .Row({"FV 1/2020", 12015})
        .Row({"FV 2/2020", 12020})
        .WriteParadox(m_dir.Path());
  }

  std::filesystem::path SqlFile(const std::string& name, const std::string& text) { return m_sql.Write(name, text); }

  // Every row of the open query, its fields as text joined by "|".
  static std::vector<std::string> Rows(Query& q) {
    std::vector<std::string> rows;
    for (q.First(); !q.Eof(); q.Next()) {
      std::string row;
      for (size_t i = 0; i < q.Fields().size(); ++i) {
        row += (i ? "|" : "") + Field(q.Fields()[i], &q.CurrentRow()[i]).AsString();
      }
      rows.push_back(row);
    }
    return rows;
  }

  kxtest::TempDir m_dir;
  kxtest::TempDir m_sql;
  Session m_session;
};

TEST_F(QueryTest, JoinsParadoxAndDbaseTablesByFileNameInAnyCase) {
  Query q(m_session);
  q.SetDatabaseName(m_dir.Path());
  q.LoadFromFile(SqlFile("join.sql",
                         "SELECT D.\"Seq No\", K.NAZWA, D.Debit, D.Credit\n"
                         "FROM details D JOIN KONTA K ON K.KONTO = D.\"Primary Account\"\n"
                         "WHERE D.\"Period Id\" = :PeriodId\n"
                         "ORDER BY D.\"Seq No\"\n"));
  q.SetParam("PeriodId", 12015);
  EXPECT_FALSE(m_session.Active());
  q.Open();
  EXPECT_TRUE(m_session.Active()) << "opening a query activates its session";
  EXPECT_FALSE(q.IsEmpty());
  EXPECT_THAT(Rows(q), ::testing::ElementsAre("PK/1|Rozrachunki z dostawcami|100|", "PK/2|Zużycie materiałów||250.5",
                                              "PK/3|Rozrachunki z dostawcami|20.25|"));
}

TEST_F(QueryTest, TableAndFieldNamesWithBlanksAreQuoted) {
  Query q(m_session);
  q.SetDatabaseName(m_dir.Path());
  q.SetSql({"SELECT J.\"Book No\", count(D.\"Seq No\") AS \"Entry Count\"",
            "FROM \"journal lines\" J LEFT JOIN Details D ON D.\"Period Id\" = J.\"Period Id\"",
            "GROUP BY J.\"Book No\" ORDER BY 1"});
  q.Open();
  EXPECT_THAT(Rows(q), ::testing::ElementsAre("FV 1/2020|3", "FV 2/2020|2"));
  q.First();
  EXPECT_EQ(q.FieldByName("entry count").AsInteger(), 3) << "field names match in any case";
  EXPECT_EQ(q.FindField("Missing"), nullptr);
  try {
    q.FieldByName("Missing");
    FAIL() << "a missing field must fail";
  } catch (const kx::Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("Missing"));
  }
}

TEST_F(QueryTest, ColumnsKeepTheirFieldKindsAndWalkRestarts) {
  Query q(m_session);
  q.SetDatabaseName(m_dir.Path());
  q.SetSql({"SELECT \"Date\", Posted, Debit, \"Primary Account\" * 2 AS Doubled, 'x' || \"Seq No\" AS Tagged",
            "FROM details WHERE \"Date\" BETWEEN '2020-03-01' AND '2020-03-31' ORDER BY \"Date\""});
  q.Open();
  ASSERT_EQ(q.Fields().size(), 5u);
  EXPECT_EQ(q.Fields()[0].kind, FieldKind::Date);
  EXPECT_EQ(q.Fields()[1].kind, FieldKind::Logical);
  EXPECT_EQ(q.Fields()[2].kind, FieldKind::Number);
  EXPECT_EQ(q.Fields()[3].kind, FieldKind::Integer) << "an expression takes the kind of its first value";
  EXPECT_EQ(q.Fields()[4].kind, FieldKind::Text);
  EXPECT_TRUE(q.IsTableColumn(0));
  EXPECT_FALSE(q.IsTableColumn(3));

  Field& date = q.FieldByName("Date");
  Field& posted = q.FieldByName("Posted");
  EXPECT_EQ(date.AsDate(), (Date{2020, 3, 2}));
  EXPECT_TRUE(posted.AsBoolean());
  q.Next();
  EXPECT_EQ(date.AsDate(), (Date{2020, 3, 15})) << "fields follow the current row";
  EXPECT_FALSE(posted.AsBoolean());
  EXPECT_TRUE(q.FieldByName("Debit").IsNull());
  q.Next();
  EXPECT_TRUE(posted.IsNull());
  q.Next();
  EXPECT_TRUE(q.Eof());
  q.Next();
  EXPECT_TRUE(q.Eof());
  q.First();
  EXPECT_FALSE(q.Eof());
  EXPECT_EQ(date.AsString(), "2020-03-02");
}

TEST_F(QueryTest, NamedParametersMustMatchTheSql) {
  auto file = SqlFile("params.sql",
                      "SELECT count(*) AS N FROM details\n"
                      "WHERE \"Period Id\" >= :FromPeriod AND \"Period Id\" <= :toperiod\n");
  struct Case {
    std::vector<std::pair<std::string, int64_t>> params;
    int64_t count;        // -1: Open fails
    const char* message;  // part of the failure
  } cases[] = {
      {{{"FromPeriod", 12015}, {"ToPeriod", 12015}}, 3, nullptr},
      {{{"FROMPERIOD", 12015}, {":ToPeriod", 12020}}, 5, nullptr},  // any case, prefix allowed
      {{{"FromPeriod", 12020}, {"ToPeriod", 12015}}, 0, nullptr},
      {{{"FromPeriod", 12015}}, -1, "toperiod"},
      {{{"FromPeriod", 1}, {"ToPeriod", 2}, {"Year", 2020}}, -1, "Year"},
  };
  for (const auto& c : cases) {
    Query q(m_session);
    q.SetDatabaseName(m_dir.Path());
    q.LoadFromFile(file);
    for (const auto& [name, value] : c.params) q.SetParam(name, value);
    if (c.count < 0) {
      try {
        q.Open();
        ADD_FAILURE() << "expected a failure about " << c.message;
      } catch (const kx::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr(c.message));
        EXPECT_THAT(e.what(), HasSubstr("params.sql"));
        EXPECT_FALSE(q.Active());
      }
      continue;
    }
    q.Open();
    EXPECT_EQ(q.FieldByName("N").AsInteger(), c.count);
  }

  Query positional(m_session);
  positional.SetDatabaseName(m_dir.Path());
  positional.SetSql({"SELECT * FROM details WHERE \"Period Id\" = ?"});
  EXPECT_THROW(positional.Open(), kx::Error);
}

TEST_F(QueryTest, ReplacedLineChangesThePeriodRestriction) {
  // The journal query as the ledger runs it: line 3 restricts the period and
  // is replaced for December, when the parameter is not set.
  auto file = SqlFile("dziennik.sql",
                      "SELECT D.\"Seq No\", D.\"Date\"\r\n"
                      "FROM details D\r\n"
                      "\r\n"
                      "WHERE (D.\"Period Id\" = :PeriodId)\r\n"
                      "ORDER BY D.\"Seq No\"\r\n");
  Query q(m_session);
  q.SetDatabaseName(m_dir.Path());
  q.LoadFromFile(file);
  ASSERT_EQ(q.SqlLines().size(), 5u);
  EXPECT_EQ(q.SqlLines()[3], "WHERE (D.\"Period Id\" = :PeriodId)");
  q.SetParam("PeriodId", 12020);
  q.Open();
  EXPECT_THAT(Rows(q), ::testing::ElementsAre("PK/4|2020-04-01", "PK/5|2020-04-02"));

  q.SetLine(3, "WHERE (D.\"Period Id\" >= 12015) ");
  EXPECT_FALSE(q.Active()) << "changing the text closes the query";
  q.ClearParams();
  q.Open();
  EXPECT_EQ(Rows(q).size(), 5u);

  EXPECT_THROW(q.SetLine(5, "-- past the end"), kx::Error);

  // The copy written beside the program keeps the lines.
  kxtest::TempDir work;
  q.SaveToFile(work / "qry.sql");
  Query again(m_session);
  again.LoadFromFile(work / "qry.sql");
  EXPECT_EQ(again.SqlLines(), q.SqlLines());
}

TEST_F(QueryTest, EmptyResultStillNamesItsFields) {
  Query q(m_session);
  q.SetDatabaseName(m_dir.Path());
  q.SetSql({"SELECT \"Seq No\", sum(Debit) AS Total FROM details WHERE \"Period Id\" = 1 GROUP BY \"Seq No\""});
  q.Open();
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_TRUE(q.Eof());
  EXPECT_TRUE(q.FieldByName("Total").IsNull());
  EXPECT_EQ(q.FieldByName("Seq No").AsString(), "");
  q.First();
  EXPECT_TRUE(q.Eof());
}

TEST_F(QueryTest, FailuresNameTheQueryFileAndQuoteSqlite) {
  struct Case {
    const char* sql;
    const char* message;
  } cases[] = {
      {"SELECT * FROM nosuch", "nie ma tabeli nosuch (no such table: nosuch)"},
      {"SELECT Debit FROM details WHERE", "błąd składni SQL (incomplete input)"},
      {"SELEC 1", "błąd składni SQL (near \"SELEC\": syntax error)"},
      {"SELECT \"No Field\" FROM details", "nie ma pola No Field (no such column: No Field)"},
      {"SELECT 1; SELECT 2", "więcej niż jedno polecenie"},
      {"-- nothing but a comment", "nie zawiera polecenia"},
      {"SELECT * FROM broken", "broken.db"},
  };
  m_dir.Write("broken.db", "this is not a Paradox table");
  for (const auto& c : cases) {
    Query q(m_session);
    q.SetDatabaseName(m_dir.Path());
    q.LoadFromFile(SqlFile("zois.sql", c.sql));
    try {
      q.Open();
      ADD_FAILURE() << c.sql;
    } catch (const kx::Error& e) {
      EXPECT_THAT(e.what(), HasSubstr("zois.sql")) << c.sql;
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.sql;
    }
    EXPECT_FALSE(q.Active());
  }

  // A damaged table that the SQL does not name is never opened.
  Query fine(m_session);
  fine.SetDatabaseName(m_dir.Path());
  fine.SetSql({"SELECT count(*) FROM details"});
  EXPECT_NO_THROW(fine.Open());

  Query noFolder(m_session);
  noFolder.SetDatabaseName(m_dir / "2019");
  noFolder.SetSql({"SELECT 1"});
  try {
    noFolder.Open();
    FAIL();
  } catch (const kx::Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("2019"));
  }
  EXPECT_THROW(Query(m_session).LoadFromFile(m_sql / "missing.sql"), kx::Error);
}

// Query files come from the program's folder or from a user: only reading
// statements on the folder's tables run, and nothing is written anywhere.
TEST_F(QueryTest, OnlyReadingStatementsRun) {
  const std::string outside = (m_dir / "zapisany.db").string();
  const std::string statements[] = {
      "ATTACH DATABASE '" + outside + "' AS x",
      "VACUUM INTO '" + outside + "'",
      "CREATE TABLE t(a)",
      "CREATE TEMP VIEW v AS SELECT 1",
      "DROP TABLE details",
      "INSERT INTO details VALUES (1)",
      "DELETE FROM details",
      "UPDATE sqlite_master SET type = 'x'",
      "PRAGMA writable_schema = 1",
      "PRAGMA table_info(details)",
      "BEGIN",
      "SELECT load_extension('" + outside + "')",
      "WITH x AS (SELECT 1) DELETE FROM details",
  };
  for (const std::string& sql : statements) {
    Query q(m_session);
    q.SetDatabaseName(m_dir.Path());
    q.SetSql({sql});
    try {
      q.Open();
      ADD_FAILURE() << sql;
    } catch (const kx::Error& e) {
      EXPECT_THAT(e.what(), HasSubstr("polecenie niedozwolone: zapytanie może tylko odczytywać tabele folderu")) << sql;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(outside));
  // Reading with common table expressions, recursive ones included, runs.
  Query q(m_session);
  q.SetDatabaseName(m_dir.Path());
  q.SetSql({"/* licznik */ WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 5)",
            "SELECT count(*) FROM c"});
  q.Open();
  EXPECT_EQ(q.CurrentRow()[0].i, 5);
}

TEST_F(QueryTest, AQueryBeyondItsBoundsIsStopped) {
  const char* endless = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c";
  struct Case {
    int seconds;
    uint64_t steps;
    const char* message;
  } cases[] = {
      {1, Query::kDefaultStepLimit, "przerwano po 1 s (limit czasu zapytania; opcja --timeout)"},
      {600, 100, "przerwano: zapytanie wykonało zbyt wiele kroków"},
  };
  for (const Case& c : cases) {
    Query q(m_session);
    q.SetDatabaseName(m_dir.Path());
    q.SetSql({endless});
    q.SetTimeLimit(c.seconds);
    q.SetStepLimit(c.steps);
    try {
      q.Open();
      ADD_FAILURE() << c.message;
    } catch (const kx::Error& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message));
    }
    EXPECT_FALSE(q.Active());
  }
}

// Equality joins on the inner table (CROSS JOIN keeps the order) are answered
// from a hash of the inner column after the first lookup. They must find what
// SQLite's own comparison finds, conversions included.
TEST_F(QueryTest, JoinLookupsAgreeWithSqliteComparison) {
  TableBuilder("probe")
      .Field("Id", FieldKind::Integer)
      .Field("Num", FieldKind::Number)
      .Field("Txt", FieldKind::Text, 10)
      .Field("Day", FieldKind::Date)
      .Row({1, 5.0, "5", Date{2020, 3, 1}})
      .Row({2, 6.5, "abc", Date{2020, 3, 2}})
      .Row({3, nullptr, "ABC", nullptr})
      .Row({4, 7.0, "2020-03-01", Date{2020, 3, 9}})
      .WriteParadox(m_dir.Path());
  TableBuilder("looked")
      .Field("Int", FieldKind::Integer)
      .Field("Num", FieldKind::Number)
      .Field("Txt", FieldKind::Text, 10)
      .Field("Day", FieldKind::Date)
      .Row({5, 6.5, "abc", Date{2020, 3, 1}})
      .Row({7, 5.0, "5", Date{2020, 3, 2}})
      .Row({nullptr, nullptr, nullptr, nullptr})
      .Row({5, 7.0, "7", Date{2020, 3, 1}})
      .WriteParadox(m_dir.Path());
  struct Case {
    const char* condition;
    const char* pairs;  // "probe Id:looked rowid" of the matches, in order
  } cases[] = {
      {"i.\"Int\" = o.Num", "1:1 1:4 4:2"},             // integer column, real values
      {"i.Num = o.Id", ""},                             // no equal values
      {"i.Num = o.Num", "1:2 2:1 4:4"},                 // real with real
      {"i.Txt = o.Txt", "1:2 2:1"},                     // text is compared by bytes
      {"i.Txt = o.Num", "1:2 4:4"},                     // text column, number looked up: converted
      {"i.\"Int\" = o.Txt", "1:1 1:4"},                 // number column, text looked up: converted
      {"i.Day = o.Day", "1:1 1:4 2:2"},                 // dates with dates
      {"i.Day = o.Txt", "4:1 4:4"},                     // a date column with a text
      {"i.Num = o.Day", ""},                            // a date never equals a number
      {"i.Txt = o.Txt COLLATE NOCASE", "1:2 2:1 3:1"},  // another collation: SQLite compares
  };
  for (const auto& c : cases) {
    Query q(m_session);
    q.SetDatabaseName(m_dir.Path());
    q.SetSql({std::string("SELECT o.Id || ':' || i.rowid AS P FROM probe o CROSS JOIN looked i ON ") + c.condition +
              " ORDER BY o.Id, i.rowid"});
    q.Open();
    std::string pairs;
    for (; !q.Eof(); q.Next()) pairs += (pairs.empty() ? "" : " ") + q.FieldByName("P").AsString();
    EXPECT_EQ(pairs, c.pairs) << c.condition;
  }
}

TEST_F(QueryTest, CopiesResultIntoKeyedTableReadBackInIndexOrderNullsFirst) {
  // Accounts as the ledger's accounts query gives them: key fields not
  // leading, null sub-account parts for the upper levels.
  TableBuilder("accounts")
      .Field("Account Name", FieldKind::Text, 40)
      .Field("Primary", FieldKind::Short)
      .Field("Secondary1", FieldKind::Short)
      .Field("Secondary2", FieldKind::Short)
      .Field("Options", FieldKind::Integer)
      .Field("Opened", FieldKind::Date)
      .Row({"Krajowi", 201, 2, nullptr, 0, Date{2020, 1, 1}})
      .Row({"Rozrachunki", 201, nullptr, nullptr, 0, Date{2020, 1, 1}})
      .Row({"Materiały", 401, nullptr, nullptr, 4, nullptr})
      .Row({"Odbiorca 15", 201, 2, 15, 0, Date{2020, 2, 1}})
      .Row({"Kasa", 100, nullptr, nullptr, 0, Date{2019, 12, 31}})
      .Row({"Odbiorca 3", 201, 2, 3, 0, Date{2020, 2, 1}})
      .WriteParadox(m_dir.Path());
  Query q(m_session);
  q.SetDatabaseName(m_dir.Path());
  q.SetSql({"SELECT \"Account Name\", Opened, Options, Secondary2, Secondary1, \"Primary\",",
            "  Options * 1.5 AS Weighted, NULL AS InitYDebit, upper(\"Account Name\") AS Shout",
            "FROM accounts WHERE Options <> :Skip"});
  q.SetParam("Skip", 99);
  kxtest::TempDir work;
  std::filesystem::create_directory(work / "Tmp");
  CopyQueryToTable(q, work / "Tmp" / "_tmp", "Primary; Secondary1; Secondary2");
  EXPECT_TRUE(q.Active());

  auto table = OpenParadoxTable(work / "Tmp" / "_tmp.db");
  EXPECT_EQ(table->PrimaryKey(), (std::vector<std::string>{"Primary", "Secondary1", "Secondary2"}));
  std::vector<std::string> names;
  for (const auto& f : table->Fields()) names.push_back(f.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Primary", "Secondary1", "Secondary2", "Account Name", "Opened", "Options",
                                             "Weighted", "InitYDebit", "Shout"}));
  EXPECT_EQ(table->Fields()[3].kind, FieldKind::Text);
  EXPECT_GE(table->Fields()[3].size, 11);
  EXPECT_EQ(table->Fields()[4].kind, FieldKind::Date);
  EXPECT_EQ(table->Fields()[6].kind, FieldKind::Number);
  EXPECT_EQ(table->Fields()[7].kind, FieldKind::Number) << "a column null in every row";

  std::vector<std::string> rows;
  for (size_t r = 0; r < table->RecordCount(); ++r) {
    std::string row;
    for (size_t f : {0u, 1u, 2u, 3u, 4u, 6u}) {
      Value v = table->Get(r, f);
      row += (row.empty() ? "" : "|") + Field(table->Fields()[f], &v).AsString();
    }
    rows.push_back(row);
  }
  EXPECT_THAT(rows, ::testing::ElementsAre("100|||Kasa|2019-12-31|0", "201|||Rozrachunki|2020-01-01|0",
                                           "201|2||Krajowi|2020-01-01|0", "201|2|3|Odbiorca 3|2020-02-01|0",
                                           "201|2|15|Odbiorca 15|2020-02-01|0", "401|||Materiały||6"));
}

TEST_F(QueryTest, CopyReplacesTheWholeOldTable) {
  kxtest::TempDir work;
  auto target = work / "_tmp";
  Query first(m_session);
  first.SetDatabaseName(m_dir.Path());
  first.SetSql({"SELECT \"Seq No\", Debit, \"Seq No\" || ' ' || printf('%.300d', 1) AS Long FROM details"});
  CopyQueryToTable(first, target, "Seq No");
  ASSERT_EQ(OpenParadoxTable(work / "_tmp.db")->Fields()[2].kind, FieldKind::Memo);
  work.Write("_tmp.X02", "old secondary index");
  work.Write("_TMP.VAL", "old validity checks");

  Query second(m_session);
  second.SetDatabaseName(m_dir.Path());
  second.SetSql({"SELECT \"Period Id\", count(*) AS Entries FROM details GROUP BY 1"});
  CopyQueryToTable(second, target, "Period Id");
  auto table = OpenParadoxTable(work / "_tmp.db");
  ASSERT_EQ(table->Fields().size(), 2u);
  ASSERT_EQ(table->RecordCount(), 2u);
  EXPECT_EQ(table->Get(0, 0).i, 12015);
  EXPECT_EQ(table->Get(0, 1).i, 3);
  EXPECT_EQ(table->Get(1, 0).i, 12020);
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(work.Path())) left.push_back(e.path().filename().string());
  EXPECT_THAT(left, ::testing::UnorderedElementsAre("_tmp.db")) << "nothing of the old table stays";
}

TEST_F(QueryTest, CopyRefusesWhatCannotBeAKeyedTable) {
  kxtest::TempDir work;
  struct Case {
    const char* sql;
    std::filesystem::path target;
    const char* index;
    const char* message;
  } cases[] = {
      {"SELECT \"Primary Account\", Debit FROM details", work / "_tmp", "Primary Account", "201"},
      {"SELECT \"Seq No\" FROM details", work / "_tmp", "Seq No;Nope", "Nope"},
      {"SELECT \"Seq No\" FROM details", work / "Tmp" / "_tmp", "Seq No", "Tmp"},
  };
  for (const auto& c : cases) {
    Query q(m_session);
    q.SetDatabaseName(m_dir.Path());
    q.SetSql({c.sql});
    try {
      CopyQueryToTable(q, c.target, c.index);
      ADD_FAILURE() << c.sql;
    } catch (const kx::Error& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.sql;
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(work.Path())) << "a refused copy writes nothing";
}

}  // namespace
