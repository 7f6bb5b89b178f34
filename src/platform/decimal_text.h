#pragma once
// Decimals as every file of the system writes them: shortest form of the value
// rounded to 15 significant digits, "." as separator, never exponent notation.

#include <string>

namespace kx {

std::string DecimalText(double value);

}  // namespace kx
