#include "jpk/check/nip.h"

namespace kx::jpk::check {

std::string NipDigits(std::string_view text) {
  std::string digits;
  for (char c : text) {
    if (c != ' ' && c != '-' && c != '\t') digits += c;
  }
  if (digits.size() >= 2 && (digits[0] | 0x20) == 'p' && (digits[1] | 0x20) == 'l') digits.erase(0, 2);
  return digits;
}

bool IsTenDigits(std::string_view text) {
  if (text.size() != 10) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool NipCheckDigitOk(std::string_view tenDigits) {
  if (!IsTenDigits(tenDigits)) return false;
  static constexpr int kWeights[9] = {6, 5, 7, 2, 3, 4, 5, 6, 7};
  int sum = 0;
  for (int i = 0; i < 9; ++i) sum += (tenDigits[i] - '0') * kWeights[i];
  const int check = sum % 11;
  return check != 10 && check == tenDigits[9] - '0';
}

}  // namespace kx::jpk::check
