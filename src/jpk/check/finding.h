#pragma once
// One complaint about a JPK file: how serious it is, where it lies (the part
// of the file, the record's Lp, the element) and what is wrong, in Polish.

#include <string>
#include <vector>

namespace kx::jpk::check {

enum class Severity { Error, Warning, Info };

// The part names a finding uses.
inline constexpr const char* kSectionSales = "sprzedaż";
inline constexpr const char* kSectionPurchases = "zakup";
inline constexpr const char* kSectionDeclaration = "deklaracja";
inline constexpr const char* kSectionHeader = "nagłówek";
inline constexpr const char* kSectionFile = "plik";

struct Finding {
  Severity severity = Severity::Error;
  std::string section;
  int lp = 0;  // the record's number; 0 when the finding is not about a record
  std::string element;
  std::string message;

  bool operator==(const Finding&) const = default;
};

// "błąd", "ostrzeżenie", "informacja".
const char* SeverityText(Severity severity);

// True when any finding is an error.
bool HasError(const std::vector<Finding>& findings);

}  // namespace kx::jpk::check
