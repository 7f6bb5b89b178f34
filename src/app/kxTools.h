#pragma once
// Small stateless tools shared by many parts of the system: rounding, VAT
// arithmetic, the version text of the executable, period table names, payment
// form names, one-line addresses, the EU country table and the NIP check.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/tables/value.h"

namespace kx {

// Money amounts (złoty and grosze) are rounded to this many places.
inline constexpr int kAmountDecimals = 2;
inline constexpr const char* kNipWeights = "657234567";

struct EuCountry {
  const char* code;
  const char* name;
};
extern const std::array<EuCountry, 28> EuCountries;

// Halves away from zero; the quotient is computed by division by the scale.
double RoundAmount(int decimals, double value);
int64_t RoundWhole(double value);
double NetFromGross(double gross, double rate);
double TaxFromNet(double net, double rate);

// "ver a.b.c build d" from the version block of the named executable;
// "GetFileVersionInfo failed: (%d) %s" when the file cannot be read; empty
// when the file carries no version block.
std::string VersionString(const std::string& fileName);

std::string PeriodTableName(bool yearly, const std::string& baseName, tables::Date date);
std::string PaymentFormName(uint16_t code);
std::string FormatAddress(const std::string& postalCode, const std::string& town, const std::string& street,
                          const std::string& house, const std::string& flat, bool postalCodeFirst);

int EuCountryIndex(const std::string& code);
bool IsEuCountryCode(const std::string& code);
std::string EuCountryName(const std::string& code);
std::string EuCountryCodeFromName(const std::string& name);

bool MatchNipPattern(const std::string& text);

// Receives a problem's message, the NIP as normalised so far, the contractor
// name and the document; returns to accept the number or throws to stop.
using NipProblemCallback = std::function<void(const std::string& message, const std::string& nip,
                                              const std::string& name, const std::string& document)>;

// Checks and normalises a contractor's NIP; problems go to the callback.
void CheckNip(std::string& country, std::string& nip, const NipProblemCallback& onProblem,
              const std::string& contractorName, const std::string& document);

}  // namespace kx
