#include "app/kxTools.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>

#include "platform/error.h"
#include "support/temp_dir.h"

using namespace kx;

TEST(RoundAmount, HalvesAwayFromZeroByDivision) {
  // clang-format off
  struct Case { int decimals; double value; double expected; } cases[] = {
      {0, 2.5, 3},        {0, -2.5, -3},     {0, 2.4999, 2},   {2, 12.345, 12.35}, {2, -12.345, -12.35},
      // 1.005 / 0.01 is 100.49999999999999 in doubles: the rule gives 1.00.
      {2, 1.005, 1.0},    {2, -1.005, -1.0}, {2, 2.675, 2.68}, {-1, 15, 20},       {-2, 149, 100},
      {2, 0.125, 0.13},   {2, 0, 0}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(RoundAmount(c.decimals, c.value), c.expected) << c.decimals << " " << c.value;
  }
  EXPECT_EQ(RoundWhole(2.5), 3);
  EXPECT_EQ(RoundWhole(-2.5), -3);
  EXPECT_EQ(RoundWhole(1234567.49), 1234567);
}

TEST(VatArithmetic, NetAndTax) {
  EXPECT_DOUBLE_EQ(NetFromGross(123, 23), 100);
  EXPECT_DOUBLE_EQ(NetFromGross(100, 0), 100);
  EXPECT_DOUBLE_EQ(NetFromGross(100.004, -1), 100);
  EXPECT_DOUBLE_EQ(NetFromGross(108, 8), 100);
  EXPECT_DOUBLE_EQ(TaxFromNet(100, 23), 23);
  EXPECT_DOUBLE_EQ(TaxFromNet(100, -1), 0);
  EXPECT_DOUBLE_EQ(TaxFromNet(10.01, 23), 2.3);
}

TEST(PeriodTableName, MonthlyAndYearly) {
  EXPECT_EQ(PeriodTableName(true, "REG", {2024, 5, 10}), "2024REG");
  EXPECT_EQ(PeriodTableName(false, "REG", {2024, 5, 10}), "24_05REG");
  EXPECT_EQ(PeriodTableName(false, "UR", {2009, 12, 1}), "09_12UR");
}

TEST(PaymentFormName, Codes) {
  const char* expected[] = {"gotówka",    "karta płatnicza",     "przelew", "inna forma płatności", "za pobraniem",
                            "przedpłata", "inna forma płatności"};
  for (uint16_t code = 0; code < 7; ++code) EXPECT_EQ(PaymentFormName(code), expected[code]) << code;
  EXPECT_EQ(PaymentFormName(65535), "inna forma płatności");
}

TEST(FormatAddress, BothOrders) {
  EXPECT_EQ(FormatAddress("", "Warszawa", "", "", "", false), "Warszawa");
  EXPECT_EQ(FormatAddress("", "Warszawa", "", "", "", true), "Warszawa");
  EXPECT_EQ(FormatAddress("00-950", "Warszawa", "Długa", "5", "", false), "Długa 5  00-950 Warszawa");
  EXPECT_EQ(FormatAddress("00-950", "Warszawa", "Długa", "5", "", true), "00-950 Warszawa  Długa 5");
  EXPECT_EQ(FormatAddress("00-950", "Warszawa", "Długa", "5", "12", false), "Długa 5 12  00-950 Warszawa");
  // Inner double blanks stay.
  EXPECT_EQ(FormatAddress("", "", "Nowy  Świat", "", "3", false), "Nowy  Świat  3");
}

TEST(EuCountries, TableAndHelpers) {
  ASSERT_EQ(EuCountries.size(), 28u);
  EXPECT_STREQ(EuCountries[0].code, "AT");
  EXPECT_STREQ(EuCountries[14].code, "IE");
  EXPECT_STREQ(EuCountries[15].code, "IT");
  EXPECT_STREQ(EuCountries[27].code, "XI");
  EXPECT_EQ(EuCountryIndex(" el "), 8);
  EXPECT_EQ(EuCountryIndex("GR"), -1);
  EXPECT_TRUE(IsEuCountryCode("pl"));
  EXPECT_FALSE(IsEuCountryCode("GB"));
  EXPECT_EQ(EuCountryName("lv"), "Łotwa");
  EXPECT_EQ(EuCountryName("US"), "");
  EXPECT_EQ(EuCountryCodeFromName("niemcy"), "DE");
  EXPECT_EQ(EuCountryCodeFromName(" ŁOTWA "), "LV");
  EXPECT_EQ(EuCountryCodeFromName("irlandia północna"), "XI");
  EXPECT_EQ(EuCountryCodeFromName("Szwajcaria"), "");
}

TEST(MatchNipPattern, Forms) {
  EXPECT_TRUE(MatchNipPattern("1234563218"));
  EXPECT_TRUE(MatchNipPattern("1234563218-12345"));
  EXPECT_FALSE(MatchNipPattern("123456321"));
  EXPECT_FALSE(MatchNipPattern("1234563218-1234"));
  EXPECT_FALSE(MatchNipPattern("123456321X"));
  EXPECT_FALSE(MatchNipPattern("1234563218\n"));
  EXPECT_FALSE(MatchNipPattern("1234563218+12345"));
  EXPECT_FALSE(MatchNipPattern("1234563218-1234X"));
  EXPECT_FALSE(MatchNipPattern("1234563218-123456"));
  EXPECT_FALSE(MatchNipPattern("\xd9\xa1" "234563218"));  // digits of another script are not digits
  EXPECT_FALSE(MatchNipPattern(""));
}

TEST(CheckNip, NormalisesAndReports) {
  struct Case {
    const char* input;
    const char* nip;
    const char* country;
    const char* problem;  // "" when no callback
  } cases[] = {
      {"", "BRAK", "", ""},
      {"   ", "BRAK", "", ""},
      {"brak", "BRAK", "", ""},
      {"pl 123-456-32-18", "1234563218", "PL", ""},
      {"12-345-63-218", "12-345-63-218", "", "Zły format numeru. Kreski w złych miejscach"},
      {"123-4563-2-18", "123-4563-2-18", "", "Zły format numeru. Kreski w złych miejscach"},
      {"123-45-63-218", "1234563218", "", ""},
      {"123-45-63-218x", "123-45-63-218X", "", "Zły format numeru"},
      {"123-456-32-18", "1234563218", "", ""},
      {"1234563219", "1234563219", "", "Zła suma kontrolna numeru"},
      {"1234563218-00001", "1234563218-00001", "", ""},
      {"DE123456789", "123456789", "DE", ""},
      {"AB1234567890", "AB1234567890", "", ""},
      {"12345", "12345", "", "Zły format numeru"},
      {"1000000000", "1000000000", "", "Zła suma kontrolna numeru"},
  };
  for (const auto& c : cases) {
    std::string country = "XX";
    std::string nip = c.input;
    std::string problem;
    CheckNip(
        country, nip,
        [&](const std::string& message, const std::string& n, const std::string& name, const std::string& doc) {
          problem = message;
          EXPECT_EQ(n, nip);
          EXPECT_EQ(name, "Firma");
          EXPECT_EQ(doc, "FV 1/2024");
        },
        "Firma", "FV 1/2024");
    EXPECT_EQ(nip, c.nip) << c.input;
    EXPECT_EQ(country, c.country) << c.input;
    EXPECT_EQ(problem, c.problem) << c.input;
  }
}

TEST(CheckNip, ModElevenTenIsWrong) {
  // The weighted sum of 0,2,0,... is 10: no tenth digit can be right.
  for (const char* nip : {"0200000000", "0200000001", "0200000009"}) {
    std::string n = nip, country, problem;
    CheckNip(
        country, n, [&](const std::string& m, auto&&...) { problem = m; }, "", "");
    EXPECT_EQ(problem, "Zła suma kontrolna numeru") << nip;
  }
}

TEST(CheckNip, CallbackMayStopTheRun) {
  std::string country, nip = "1234563219";
  EXPECT_THROW(CheckNip(
                   country, nip, [](auto&&...) { throw kx::Error("Wczytywanie przerwano"); }, "", ""),
               kx::Error);
}

TEST(VersionString, ReadsTheBlockOfTheNamedFile) {
  // This test executable carries the version block of the build.
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(VersionString(self), "ver 1.0.0 build 1");

  kxtest::TempDir dir;
  auto plain = dir.Write("plain.bin", std::string(100, 'x'));
  EXPECT_EQ(VersionString(plain.string()), "");
  // A file holding a version block 1.5.1.8 (tag spelled in lower case here so
  // that this test's own bytes hold no block).
  std::string tag = "kxvers1";
  for (char& c : tag) c = static_cast<char>(std::toupper(c));
  auto crafted =
      dir.Write("crafted.bin", "abc" + tag + std::string("\0", 1) + std::string("\x01\x00\x05\x00\x01\x00\x08\x00", 8));
  EXPECT_EQ(VersionString(crafted.string()), "ver 1.5.1 build 8");
  EXPECT_EQ(VersionString((dir / "missing.exe").string()), "GetFileVersionInfo failed: (2) No such file or directory");
}
