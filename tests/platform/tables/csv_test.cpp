#include "platform/tables/csv.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/tables/md5.h"

using namespace kx::tables;

namespace {

std::string Block(size_t size) {
  std::string s;
  for (size_t i = 0; i < size; ++i) s += static_cast<char>(i % 256);
  return s;
}

}  // namespace

TEST(Md5, KnownDigestsAcrossPaddingBoundaries) {
  struct Case {
    std::string bytes;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // The length field fits in the last block up to 55 bytes, and needs a
      // block of its own from 56.
      {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
      {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
      {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
      {Block(1024), "b2ea9f7fcea831a4a63b213f41a8855b"},
  };
  for (const auto& c : cases) EXPECT_EQ(Md5Hex(c.bytes), c.digest) << c.bytes.size() << " bytes";
}

TEST(Csv, QuotesOnlyFieldsThatNeedIt) {
  struct Case {
    const char* text;
    const char* written;
  } cases[] = {
      {"", ""},
      {"Zażółć gęślą jaźń", "Zażółć gęślą jaźń"},
      {" leading and trailing ", " leading and trailing "},
      {"a,b", "\"a,b\""},
      {"Hurtownia \"Świt\"", "\"Hurtownia \"\"Świt\"\"\""},
      {"\"", "\"\"\"\""},
      {"line 1\r\nline 2", "\"line 1\r\nline 2\""},
      {"only\nLF", "\"only\nLF\""},
      {"only\rCR", "\"only\rCR\""},
      {"semi;colon\ttab", "semi;colon\ttab"},
  };
  for (const auto& c : cases) EXPECT_EQ(CsvQuote(c.text), c.written) << c.text;
}

TEST(Csv, TextOfEveryValueType) {
  struct Case {
    Value value;
    const char* text;
  } cases[] = {
      {Value::Null(), ""},
      {Value::FromText(""), ""},
      {Value::FromText("Łódź"), "Łódź"},
      {Value::FromInt(0), "0"},
      {Value::FromInt(-2147483648LL), "-2147483648"},
      {Value::FromInt(9007199254740993LL), "9007199254740993"},
      {Value::FromFloat(1234.56), "1234.56"},
      {Value::FromFloat(-99.99), "-99.99"},
      {Value::FromFloat(23.0), "23"},
      {Value::FromFloat(0.1 + 0.2), "0.3"},
      {Value::FromFloat(1e20), "100000000000000000000"},
      {Value::FromFloat(-0.0), "0"},
      {Value::FromBool(true), "true"},
      {Value::FromBool(false), "false"},
      {Value::FromDate({2024, 1, 31}), "2024-01-31"},
      {Value::FromDate({1, 1, 1}), "0001-01-01"},
      {Value::FromTime(0), "00:00:00.000"},
      {Value::FromTime(((23 * 60 + 59) * 60 + 58) * 1000 + 7), "23:59:58.007"},
      {Value::FromDateTime({2020, 2, 1}, 3601000), "2020-02-01 01:00:01"},
      {Value::FromBytes(""), "<0 bytes md5 d41d8cd98f00b204e9800998ecf8427e>"},
      {Value::FromBytes(std::string("a\0b", 3)), "<3 bytes md5 70350f6027bce3713f6b76473084309b>"},
  };
  for (const auto& c : cases) EXPECT_EQ(CsvText(c.value), c.text) << c.text;
}

TEST(Csv, RowsEndWithCrLfAndKeepEmptyFields) {
  std::ostringstream out;
  WriteCsvLine(out, {"Id", "Nazwa, pełna", "Data"});
  WriteCsvRow(out,
              {Value::FromInt(1), Value::FromText("Sklep \"Pod Lipą\"\nul. Długa 1"), Value::FromDate({2020, 3, 1})});
  WriteCsvRow(out, {Value::Null(), Value::FromText(""), Value::Null()});
  WriteCsvRow(out, {Value::FromBool(false), Value::FromBytes("abc"), Value::FromFloat(0.5)});
  EXPECT_EQ(out.str(),
            "Id,\"Nazwa, pełna\",Data\r\n"
            "1,\"Sklep \"\"Pod Lipą\"\"\nul. Długa 1\",2020-03-01\r\n"
            ",,\r\n"
            "false,<3 bytes md5 900150983cd24fb0d6963f7d28e17f72>,0.5\r\n");
}
