#include "jpk/check/ksef_number.h"

#include <string>

#include "platform/error.h"

namespace kx::jpk::check {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpperHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); }
bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }

bool All(std::string_view s, bool (*test)(char)) {
  for (char c : s) {
    if (!test(c)) return false;
  }
  return true;
}

// Ten digits, "M" and nine digits, or three letters and seven digits.
bool IsIssuer(std::string_view s) {
  if (s.size() != 10) return false;
  if (All(s, IsDigit)) return true;
  if (s[0] == 'M' && All(s.substr(1), IsDigit)) return true;
  return All(s.substr(0, 3), IsUpperLetter) && All(s.substr(3), IsDigit);
}

bool IsCalendarDate(std::string_view yyyymmdd) {
  const int year = std::stoi(std::string(yyyymmdd.substr(0, 4)));
  const int month = std::stoi(std::string(yyyymmdd.substr(4, 2)));
  const int day = std::stoi(std::string(yyyymmdd.substr(6, 2)));
  if (month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace

uint8_t KsefCrc8(std::string_view bytes) {
  uint8_t crc = 0;
  for (char c : bytes) {
    crc ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x80) ? static_cast<uint8_t>((crc << 1) ^ 0x07) : static_cast<uint8_t>(crc << 1);
    }
  }
  return crc;
}

std::string KsefCheckText(std::string_view first32) { return Format("%02X", KsefCrc8(first32)); }

std::optional<KsefNumber> ParseKsefNumber(std::string_view text) {
  // With the optional dash inside the 12 characters the number has 36.
  std::string t(text);
  const bool grouped = t.size() == 36 && t[26] == '-';
  if (grouped) t.erase(26, 1);
  if (t.size() != 35 || t[10] != '-' || t[19] != '-' || t[32] != '-') return std::nullopt;
  std::string_view v(t);
  if (!IsIssuer(v.substr(0, 10)) || !All(v.substr(11, 8), IsDigit) || !All(v.substr(20, 12), IsUpperHex) ||
      !All(v.substr(33, 2), IsUpperHex)) {
    return std::nullopt;
  }
  return KsefNumber{std::string(v.substr(0, 10)), std::string(v.substr(11, 8)), std::string(v.substr(0, 32)),
                    std::string(v.substr(33, 2)), grouped};
}

std::string KsefNumberFault(std::string_view text) {
  const std::string shown(text);
  std::optional<KsefNumber> n = ParseKsefNumber(text);
  if (!n) {
    return Format(
        "numer KSeF %s ma niepoprawną postać (NIP-RRRRMMDD-12 znaków szesnastkowych-2 znaki sumy kontrolnej, "
        "35 znaków)",
        shown.c_str());
  }
  if (!IsCalendarDate(n->date)) {
    return Format("numer KSeF %s zawiera niepoprawną datę %s", shown.c_str(), n->date.c_str());
  }
  if (n->grouped) return {};
  const std::string wanted = KsefCheckText(n->body);
  if (n->check != wanted) {
    return Format("numer KSeF %s ma błędną sumę kontrolną %s (powinna być %s)", shown.c_str(), n->check.c_str(),
                  wanted.c_str());
  }
  return {};
}

}  // namespace kx::jpk::check
