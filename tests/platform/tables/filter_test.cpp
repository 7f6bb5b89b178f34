#include "platform/tables/filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "fixtures/table_builder.h"
#include "platform/tables/table.h"

using namespace kx::tables;
using kxtest::TableBuilder;

namespace {

Value Stamp(Date d, int h, int m, int s) { return Value::FromDateTime(d, ((h * 60 + m) * 60 + s) * 1000); }

// A register with one field of each kind a filter meets; Nr tells the rows apart.
TableBuilder Register() {
  TableBuilder b("24_05REG");
  b.Field("Nr", FieldKind::Integer)
      .Field("Date", FieldKind::Date)
      .Field("SaleDate", FieldKind::Timestamp)
      .Field("Class", FieldKind::Short)
      .Field("Netto", FieldKind::Number)
      .Field("Name", FieldKind::Text, 20)
      .Field("Period Id", FieldKind::Integer)
      .Field("RegType", FieldKind::Short)
      .Field("VatPeriod", FieldKind::Short)
      .Field("Flag", FieldKind::Logical)
      .Field("Note", FieldKind::Text, 20);
  b.Row({1, Date{2024, 4, 30}, Stamp({2024, 4, 30}, 10, 0, 0), 0, 100.5, "Łódź", 12420, 0, 4, true, "a"});
  b.Row({2, Date{2024, 5, 1}, Stamp({2024, 5, 1}, 0, 0, 0), 128, 12.5, "ABC", 12525, 128, 5, false, nullptr});
  b.Row({3, Date{2024, 5, 31}, Stamp({2024, 5, 31}, 23, 59, 59), 0, -3.0, "abc", 12525, 0, 5, true, "b"});
  b.Row({4, Date{2024, 6, 1}, nullptr, 22, 0.0, "ABCD  ", 12630, 0, 6, nullptr, nullptr});
  b.Row({5, nullptr, Stamp({2024, 5, 15}, 12, 0, 0), 5, 1e6, "", 12525, 0, 5, false, "O'Brien"});
  return b;
}

std::vector<int> Selected(const std::string& text) {
  Session session;
  Table table(session);
  table.SetFilter(text);
  table.SetFiltered(true);
  table.Open(Register().Memory());
  std::vector<int> nrs;
  for (table.First(); !table.Eof(); table.Next()) nrs.push_back(static_cast<int>(table.FieldByName("Nr").AsInteger()));
  return nrs;
}

std::string FilterError(const std::string& text) {
  try {
    Selected(text);
  } catch (const kx::Error& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

TEST(Filter, SelectsRows) {
  struct Case {
    const char* filter;
    std::vector<int> rows;
  } cases[] = {
      // The expressions the drivers write.
      {"(Date >= 2024-05-01) and (Date <= 2024-05-31)", {2, 3}},
      {"(SaleDate >= 2024-05-01) and (SaleDate <= 2024-05-31)", {2, 3, 5}},  // whole last day of a timestamp
      {"([RegType] = 0) and ([VatPeriod] = 5)", {3, 5}},
      {"([RegType] = 128) and ([VatPeriod] = 5)", {2}},
      {"[Period Id] = 12525", {2, 3, 5}},
      {"[ Period Id ] = 12525", {2, 3, 5}},
      // Names in any case, keywords in any case, precedence and parentheses.
      {"class = 0", {1, 3}},
      {"CLASS <> 0", {2, 4, 5}},
      {"NOT (Class = 0)", {2, 4, 5}},
      {"Class = 0 OR Class = 22", {1, 3, 4}},
      {"Class = 0 and Netto > 0 or Class = 5", {1, 5}},
      {"not Class = 0 and Netto > 0", {2, 5}},
      {"((Class = 0))", {1, 3}},
      {"0 = Class", {1, 3}},
      // Numbers: whole, decimal, signed, against whole-number and decimal fields.
      {"Netto > 12.5", {1, 5}},
      {"Netto >= 12.5", {1, 2, 5}},
      {"Netto < 0", {3}},
      {"Netto = -3", {3}},
      {"Netto = 100.50", {1}},
      {"Netto = 1000000", {5}},
      {"Class = '22'", {4}},
      // Texts: case-sensitive, trailing blanks ignored, "*" as a prefix, both quotes.
      {"Name = 'ABC'", {2}},
      {"Name = \"abc\"", {3}},
      {"Name = 'ABCD'", {4}},
      {"Name = 'AB*'", {2, 4}},
      {"Name <> 'AB*'", {1, 3, 5}},
      {"Name = 'Łódź'", {1}},
      {"Name > 'a'", {1, 3}},
      {"Name = ''", {5}},
      {"Note = 'O''Brien'", {5}},
      {"Note = \"O'Brien\"", {5}},
      // Null equals only null; against a value only <> holds.
      {"Note = null", {2, 4}},
      {"Note <> NULL", {1, 3, 5}},
      {"Note <> 'a'", {2, 3, 4, 5}},
      {"Note = 'a'", {1}},
      {"Note < 'z'", {1, 3, 5}},
      {"Date < 2024-05-01", {1}},
      {"Date <> 2024-05-01", {1, 3, 4, 5}},
      {"null = null", {1, 2, 3, 4, 5}},
      {"null <> null", {}},
      // Dates and timestamps written as texts.
      {"Date = '2024-05-31'", {3}},
      {"SaleDate = '2024-05-01 00:00:00'", {2}},
      {"SaleDate > '2024-05-31 23:59:58'", {3}},
      // Logicals.
      {"Flag = true", {1, 3}},
      {"Flag = FALSE", {2, 5}},
      {"Flag <> true", {2, 4, 5}},
      // Blank filters select everything.
      {"", {1, 2, 3, 4, 5}},
      {"  \t", {1, 2, 3, 4, 5}},
      {"1 = 1", {1, 2, 3, 4, 5}},
  };
  for (const Case& c : cases) EXPECT_EQ(Selected(c.filter), c.rows) << c.filter;
}

TEST(Filter, ErrorsQuoteTheFilterAndTheTable) {
  struct Case {
    const char* filter;
    const char* reason;
  } cases[] = {
      {"Date >= ", "niepełne wyrażenie"},
      {"Class = 0 and", "niepełne wyrażenie"},
      {"(Class = 0", "brak nawiasu zamykającego"},
      {"Class = 0)", "nadmiarowy nawias"},
      {"[Period Id = 5", "brak zamykającego nawiasu ]"},
      {"[] = 5", "pusta nazwa pola"},
      {"Nazwa = 'x'", "brak pola Nazwa"},
      {"[Period] = 5", "brak pola Period"},
      {"Name = 'abc", "niezamknięty tekst"},
      {"Date >= 2024-13-01", "błędna data 2024-13-01"},
      {"Date >= 2023-02-29", "błędna data 2023-02-29"},
      {"Class = 'abc'", "'abc' nie jest liczbą"},
      {"Date = 'maj'", "'maj' nie jest datą"},
      {"Name = 5", "niezgodne typy: pole Name i wartość 5"},
      {"Date = 5", "niezgodne typy"},
      {"Netto = 2024-05-01", "niezgodne typy"},
      {"Class == 0", "oczekiwano nazwy pola lub wartości"},
      {"Class 0", "oczekiwano operatora porównania"},
      {"Class", "brak operatora porównania"},
      {"Class = 0 # 1", "nieoczekiwany znak '#'"},
      {"12abc = 1", "błędna liczba 12abc"},
      {"Class = 0 Class = 1", "nieoczekiwane \"Class\""},
  };
  for (const Case& c : cases) {
    std::string message = FilterError(c.filter);
    EXPECT_NE(message.find("Błędny filtr: \"" + std::string(c.filter) + "\""), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << c.filter << " → " << message;
    EXPECT_NE(message.find("24_05REG"), std::string::npos) << message;
  }
}

TEST(Filter, DeepNestingFailsAndLongChainsWork) {
  std::string deep = std::string(5000, '(') + "Class = 0" + std::string(5000, ')');
  EXPECT_NE(FilterError(deep).find("zbyt głęboko"), std::string::npos);
  std::string nots;
  for (int i = 0; i < 5000; ++i) nots += "not ";
  EXPECT_NE(FilterError(nots + "Class = 0").find("zbyt głęboko"), std::string::npos);

  // Long and/or chains are flat: no depth limit, no deep recursion.
  std::string chain = "Class = 0";
  for (int i = 0; i < 20000; ++i) chain += " and Netto > -1000";
  EXPECT_EQ(Selected(chain), (std::vector<int>{1, 3}));
  std::string alternatives = "Class = 99";
  for (int i = 0; i < 20000; ++i) alternatives += " or Class = 99";
  EXPECT_EQ(Selected(alternatives + " or Class = 5"), (std::vector<int>{5}));
}

TEST(Filter, ParsedOnceBoundToAnyTableWithTheFields) {
  Filter filter = Filter::Parse("([regtype] = 0) and (VATPERIOD = 5)");
  TableBuilder reg = Register();
  filter.Bind(reg.Fields(), "24_05REG");
  std::vector<int> nrs;
  for (const auto& row : reg.Rows()) {
    if (filter.Matches(row)) nrs.push_back(static_cast<int>(row[0].i));
  }
  EXPECT_EQ(nrs, (std::vector<int>{3, 5}));

  // The same text against a table whose fields are text: a clear error.
  std::vector<FieldDef> textFields = {{"RegType", FieldKind::Text, 'A', 10, 0},
                                      {"VatPeriod", FieldKind::Text, 'A', 10, 0}};
  try {
    filter.Bind(textFields, "Register");
    FAIL() << "bound a number to a text field";
  } catch (const kx::Error& e) {
    EXPECT_STREQ(e.what(),
                 "Błędny filtr tabeli Register: \"([regtype] = 0) and (VATPERIOD = 5)\" "
                 "(niezgodne typy: pole RegType i wartość 0)");
  }
}

TEST(Filter, ChangedOrSwitchedWhileOpen) {
  Session session;
  Table table(session);
  table.SetFilter("Class = 0");
  table.Open(Register().Memory());
  EXPECT_EQ(table.RecordCount(), 5u);  // not switched on yet
  table.SetFiltered(true);
  EXPECT_EQ(table.RecordCount(), 2u);
  table.SetFilter("Class = 22");
  EXPECT_EQ(table.RecordCount(), 1u);
  EXPECT_EQ(table.FieldByName("Nr").AsInteger(), 4);

  // A bad filter leaves the table as it was.
  EXPECT_THROW(table.SetFilter("Class = "), kx::Error);
  EXPECT_EQ(table.FilterText(), "Class = 22");
  EXPECT_EQ(table.RecordCount(), 1u);
  table.SetFiltered(false);
  EXPECT_EQ(table.RecordCount(), 5u);
}
