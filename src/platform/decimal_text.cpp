#include "platform/decimal_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kx {

namespace {

// Amounts are mostly whole cents: a value that is exactly the double nearest
// to c/100 is written as c/100, the digits the general way gives as well.
bool CentsText(double value, std::string& out) {
  if (!(std::fabs(value) < 1e12)) return false;  // at most 14 significant digits
  const long long cents = std::llround(value * 100);
  if (static_cast<double>(cents) / 100.0 != value) return false;
  const unsigned long long whole = static_cast<unsigned long long>(cents < 0 ? -cents : cents);
  out = cents < 0 ? "-" : "";
  out += std::to_string(whole / 100);
  const unsigned fraction = static_cast<unsigned>(whole % 100);
  if (fraction != 0) {
    out += '.';
    out += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
  }
  return true;
}

}  // namespace

std::string DecimalText(double value) {
  if (value == 0 || !std::isfinite(value)) return "0";
  if (std::string cents; CentsText(value, cents)) return cents;
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.15g", value);
  double rounded = std::strtod(digits, nullptr);
  int exp10 = static_cast<int>(std::floor(std::log10(std::fabs(rounded))));
  int decimals = 14 - exp10;
  if (decimals < 0) decimals = 0;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, rounded);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

}  // namespace kx
