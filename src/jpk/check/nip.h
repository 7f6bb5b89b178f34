#pragma once
// Polish tax numbers (NIP): ten digits, the last a check digit.

#include <string>
#include <string_view>

namespace kx::jpk::check {

// The text without blanks and dashes and without a leading "PL" (any case),
// as contractors' numbers are often written.
std::string NipDigits(std::string_view text);

// True when the text is ten digits.
bool IsTenDigits(std::string_view text);

// True when ten digits carry the right check digit: the first nine weighted
// 6, 5, 7, 2, 3, 4, 5, 6, 7, summed modulo 11, give the tenth (a sum of 10
// never does).
bool NipCheckDigitOk(std::string_view tenDigits);

}  // namespace kx::jpk::check
