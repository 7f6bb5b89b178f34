// NIP check digits and KSeF numbers: their form, date and check sum.

#include <gtest/gtest.h>

#include "jpk/check/ksef_number.h"
#include "jpk/check/nip.h"

using namespace kx::jpk::check;

TEST(Nip, CheckDigit) {
  const struct {
    const char* nip;
    bool ok;
  } cases[] = {
      {"5265877635", true},  {"7270120002", true},   {"5260001246", true},
      {"5265877636", false},  // last digit changed
      {"1010000000", false},  // weighted sum gives 1, not 0
      {"1234567890", false},  // weighted sum modulo 11 is 10: never valid
      {"526587763", false},  {"52658776355", false}, {"52658A7635", false},
  };
  for (const auto& c : cases) EXPECT_EQ(NipCheckDigitOk(c.nip), c.ok) << c.nip;
}

TEST(Nip, WrittenFormsGiveTheDigits) {
  EXPECT_EQ(NipDigits("526-587-76-35"), "5265877635");
  EXPECT_EQ(NipDigits("PL 5265877635"), "5265877635");
  EXPECT_EQ(NipDigits("pl5265877635"), "5265877635");
  EXPECT_EQ(NipDigits("DE123456789"), "DE123456789");
}

TEST(KsefNumber, CheckSumOfTheFirst32Characters) {
  // The published example and its sum.
  EXPECT_EQ(KsefCheckText("5265877635-20250826-0100001AF629"), "AF");
  EXPECT_EQ(KsefCrc8(""), 0);
  EXPECT_EQ(KsefCrc8("123456789"), 0xF4);  // the CRC-8 check value of these parameters
}

TEST(KsefNumber, Faults) {
  const struct {
    const char* number;
    const char* fault;  // "" for a sound number
  } cases[] = {
      {"5265877635-20250826-0100001AF629-AF", ""},
      {"5265877635-20250826-0100001AF629-AE",
       "numer KSeF 5265877635-20250826-0100001AF629-AE ma błędną sumę kontrolną AE (powinna być AF)"},
      // The sum covers the issuer and the date too.
      {"5265877635-20250827-0100001AF629-AF",
       "numer KSeF 5265877635-20250827-0100001AF629-AF ma błędną sumę kontrolną AF (powinna być 4A)"},
      {"5265877635-20250230-0100001AF629-AF",
       "numer KSeF 5265877635-20250230-0100001AF629-AF zawiera niepoprawną "
       "datę 20250230"},
      {"5265877635-20250826-0100001af629-AF", "bad form"},
      {"5265877635-20250826-0100001AF629-af", "bad form"},
      {"5265877635-20250826-0100001AF629AF", "bad form"},
      {"526587763-20250826-0100001AF629-AF", "bad form"},
      {"5265877635-2025082-0100001AF6290-AF", "bad form"},
      {"5265877635-20250826-0100001AF62G-AF", "bad form"},
      // Identifiers other than a NIP and the earlier grouped form.
      {"M123456789-20250826-0100001AF629-37", ""},
      {"ABC1234567-20250826-0100001AF629-5B", ""},
      {"5265877635-20250826-0100001-AF629-AF", "bad form"},
      {"5265877635-20250826-010000-1AF629-00", ""},
  };
  for (const auto& c : cases) {
    std::string fault = KsefNumberFault(c.number);
    if (std::string(c.fault) == "bad form") {
      EXPECT_NE(fault.find("ma niepoprawną postać"), std::string::npos) << c.number << ": " << fault;
    } else {
      EXPECT_EQ(fault, c.fault) << c.number;
    }
  }
}

TEST(KsefNumber, IssuerPart) {
  auto n = ParseKsefNumber("5265877635-20250826-0100001AF629-AF");
  ASSERT_TRUE(n);
  EXPECT_EQ(n->issuer, "5265877635");
  EXPECT_EQ(n->date, "20250826");
  EXPECT_FALSE(n->grouped);
  EXPECT_FALSE(ParseKsefNumber(""));
}
