#include "platform/tables/codepage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <random>
#include <vector>

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

// Whole cents take a shorter way; the text must be what the general way gives.
TEST(DecimalText, CentsAsTheGeneralWayWritesThem) {
  auto general = [](double value) {
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.15g", value);
    double rounded = std::strtod(digits, nullptr);
    int decimals = std::max(0, 14 - static_cast<int>(std::floor(std::log10(std::fabs(rounded)))));
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, rounded);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
      while (s.back() == '0') s.pop_back();
      if (s.back() == '.') s.pop_back();
    }
    return s;
  };
  std::mt19937_64 random(7);
  std::vector<double> values = {0.01, -0.01, 0.1, 0.05, 1.1, 999999999999.99, -99999999999.99, 0.3, 12.3456};
  for (int i = 0; i < 200000; ++i) {
    const long long cents = static_cast<long long>(random() % 2000000000000000ULL) - 1000000000000000LL;
    values.push_back(static_cast<double>(cents >> (i % 40)) / 100.0);
    values.push_back(static_cast<double>(cents % 100000) / 100.0 * 1.23);  // not always whole cents
  }
  for (double v : values) {
    if (v == 0) continue;
    ASSERT_EQ(kx::DecimalText(v), general(v)) << std::setprecision(17) << v;
  }
}

TEST(CivilDays, ParadoxDayNumbers) {
  EXPECT_EQ(DaysFromCivil({1, 1, 1}), 1);
  EXPECT_EQ(DaysFromCivil({1970, 1, 1}), 719163);
  for (int64_t d : {1, 365, 366, 719163, 730120, 738000}) EXPECT_EQ(DaysFromCivil(CivilFromDays(d)), d);
  EXPECT_EQ(CivilFromDays(DaysFromCivil({2000, 2, 29})), (Date{2000, 2, 29}));
}
