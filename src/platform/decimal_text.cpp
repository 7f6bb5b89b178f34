#include "platform/decimal_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kx {

std::string DecimalText(double value) {
  if (value == 0 || !std::isfinite(value)) return "0";
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
