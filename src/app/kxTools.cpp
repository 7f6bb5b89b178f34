#include "app/kxTools.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/error.h"
#include "app/version_block.h"
#include "platform/text_utils.h"


namespace kx {

const std::array<EuCountry, 28> EuCountries = {{
    {"AT", "Austria"},   {"BE", "Belgia"},   {"BG", "Bułgaria"},          {"CY", "Cypr"},    {"CZ", "Czechy"},
    {"DE", "Niemcy"},    {"DK", "Dania"},    {"EE", "Estonia"},           {"EL", "Grecja"},  {"ES", "Hiszpania"},
    {"FI", "Finlandia"}, {"FR", "Francja"},  {"HR", "Chorwacja"},         {"HU", "Węgry"},   {"IE", "Irlandia"},
    {"IT", "Włochy"},    {"LT", "Litwa"},    {"LU", "Luksemburg"},        {"LV", "Łotwa"},   {"MT", "Malta"},
    {"NL", "Holandia"},  {"PL", "Polska"},   {"PT", "Portugalia"},        {"RO", "Rumunia"}, {"SE", "Szwecja"},
    {"SI", "Słowenia"},  {"SK", "Słowacja"}, {"XI", "Irlandia Północna"},
}};

double RoundAmount(int decimals, double value) {
  double scale = 1;
  for (int k = 0; k < decimals; ++k) scale /= 10;
  for (int k = 0; k > decimals; --k) scale *= 10;
  double q = value / scale;
  double whole = std::trunc(q);
  double frac = q - whole;
  double s = frac >= 0.5 ? 1 : frac <= -0.5 ? -1 : 0;
  double result = scale * (whole + s);
  return result;
}

int64_t RoundWhole(double value) { return static_cast<int64_t>(RoundAmount(0, value)); }

double NetFromGross(double gross, double rate) {
  if (rate <= 0) return RoundAmount(kAmountDecimals, gross);
  return RoundAmount(kAmountDecimals, gross * 100 / (100 + rate));
}

double TaxFromNet(double net, double rate) {
  if (rate <= 0) return 0;
  return RoundAmount(kAmountDecimals, rate / 100 * net);
}

std::string VersionString(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) {
    int code = errno;
    return Format("GetFileVersionInfo failed: (%d) %s", code, std::strerror(code));
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto version = FindVersionBlock(std::string_view(bytes.data(), bytes.size()));
  if (!version) return {};
  return Format("ver %d.%d.%d build %d", version->major, version->minor, version->patch, version->build);
}

std::string PeriodTableName(bool yearly, const std::string& baseName, tables::Date date) {
  char buf[16];
  if (yearly)
    std::snprintf(buf, sizeof buf, "%04d", date.year);
  else
    std::snprintf(buf, sizeof buf, "%02d_%02d", date.year % 100, date.month);
  return buf + baseName;
}

std::string PaymentFormName(uint16_t code) {
  switch (code) {
    case 0: return "gotówka";
    case 1: return "karta płatnicza";
    case 2: return "przelew";
    case 4: return "za pobraniem";
    case 5: return "przedpłata";
    default: return "inna forma płatności";
  }
}

namespace {
std::string TrimBlanks(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}
}  // namespace

std::string FormatAddress(const std::string& postalCode, const std::string& town, const std::string& street,
                          const std::string& house, const std::string& flat, bool postalCodeFirst) {
  std::string streetLine = TrimBlanks(street + " " + house + " " + flat);
  std::string result =
      postalCodeFirst ? postalCode + " " + town + "  " + streetLine : streetLine + "  " + postalCode + " " + town;
  return TrimBlanks(result);
}

int EuCountryIndex(const std::string& code) {
  std::string c = UpperCase(TrimBlanks(code));
  for (size_t i = 0; i < EuCountries.size(); ++i) {
    if (c == EuCountries[i].code) return static_cast<int>(i);
  }
  return -1;
}

bool IsEuCountryCode(const std::string& code) { return EuCountryIndex(code) >= 0; }

std::string EuCountryName(const std::string& code) {
  int i = EuCountryIndex(code);
  return i >= 0 ? EuCountries[static_cast<size_t>(i)].name : "";
}

std::string EuCountryCodeFromName(const std::string& name) {
  std::string n = UpperCase(TrimBlanks(name));
  for (const auto& c : EuCountries) {
    if (UpperCase(c.name) == n) return c.code;
  }
  return {};
}

bool MatchNipPattern(const std::string& text) {
  // Ten digits, optionally "-" and five more (ASCII digits only).
  auto digits = [&](size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
  };
  if (text.size() == 10) return digits(0, 10);
  return text.size() == 16 && digits(0, 10) && text[10] == '-' && digits(11, 5);
}

void CheckNip(std::string& country, std::string& nip, const NipProblemCallback& onProblem,
              const std::string& contractorName, const std::string& document) {
  country.clear();
  std::string n;
  for (char c : nip) {
    if (c != ' ') n += c;
  }
  if (n.empty()) n = "BRAK";
  nip = UpperCase(n);
  if (nip == "BRAK") return;

  auto isLetter = [](char c) { return c >= 'A' && c <= 'Z'; };
  if (nip.size() > 2 && isLetter(nip[0]) && isLetter(nip[1])) {
    std::string prefix = nip.substr(0, 2);
    if (IsEuCountryCode(prefix)) {
      country = prefix;
      nip.erase(0, 2);
    }
    if (country != "PL") return;
  }

  if (nip.size() == 13) {
    bool dashes = nip[3] == '-' && ((nip[7] == '-' && nip[10] == '-') || (nip[6] == '-' && nip[9] == '-'));
    if (!dashes) {
      onProblem("Zły format numeru. Kreski w złych miejscach", nip, contractorName, document);
      return;
    }
    std::string plain;
    for (char c : nip) {
      if (c != '-') plain += c;
    }
    nip = plain;
  }

  if (!MatchNipPattern(nip)) {
    onProblem("Zły format numeru", nip, contractorName, document);
    return;
  }

  std::string digits = nip.substr(0, nip.find('-'));
  int sum = 0;
  for (size_t i = 0; i < 10 && i < digits.size(); ++i) {
    if (digits[i] < '0' || digits[i] > '9') throw Error(std::string("Niedozwolony znak: ") + digits[i]);
    if (i < 9) sum += (digits[i] - '0') * (kNipWeights[i] - '0');
  }
  int check = sum % 11;
  bool wrong = check == 10 || digits.size() < 10 || digits[9] - '0' != check;
  if (wrong) onProblem("Zła suma kontrolna numeru", nip, contractorName, document);
}

}  // namespace kx
