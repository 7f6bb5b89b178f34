#include "platform/tables/codepage.h"

#include <gtest/gtest.h>

#include "platform/decimal_text.h"
#include "platform/tables/value.h"

using namespace kx::tables;

TEST(CodePage, PolishLettersRoundTrip) {
  const std::string polish = "Zażółć gęślą jaźń ŻÓŁW Łódź";
  for (int cp : {852, 1250, kMazoviaCodePage}) {
    std::string bytes = FromUtf8(polish, cp);
    EXPECT_EQ(bytes.size(), 27u) << cp;
    EXPECT_EQ(ToUtf8(bytes, cp), polish) << cp;
  }
}

TEST(CodePage, KnownBytes) {
  EXPECT_EQ(ToUtf8("\xA5\xB9", 1250), "Ąą");
  EXPECT_EQ(ToUtf8("\xA4\xA5", 852), "Ąą");
  EXPECT_EQ(ToUtf8("\x98\x9E", kMazoviaCodePage), "Śś");
  EXPECT_EQ(FromUtf8("€", 852), "?");
}

TEST(DecimalText, ShortestFormWithoutExponent) {
  // clang-format off
  struct Case { double value; const char* text; } cases[] = {
      {12.5, "12.5"}, {12.50, "12.5"}, {0.1 + 0.2, "0.3"}, {-0.0, "0"}, {100, "100"},
      {1e20, "100000000000000000000"}, {0.000001, "0.000001"}, {-1234.56, "-1234.56"},
      {123456789012.34, "123456789012.34"}};
  // clang-format on
  for (auto c : cases) EXPECT_EQ(kx::DecimalText(c.value), c.text) << c.value;
}

TEST(CivilDays, ParadoxDayNumbers) {
  EXPECT_EQ(DaysFromCivil({1, 1, 1}), 1);
  EXPECT_EQ(DaysFromCivil({1970, 1, 1}), 719163);
  for (int64_t d : {1, 365, 366, 719163, 730120, 738000}) EXPECT_EQ(DaysFromCivil(CivilFromDays(d)), d);
  EXPECT_EQ(CivilFromDays(DaysFromCivil({2000, 2, 29})), (Date{2000, 2, 29}));
}
