#include "jpk/check/finding.h"

#include <algorithm>

namespace kx::jpk::check {

const char* SeverityText(Severity severity) {
  switch (severity) {
    case Severity::Error: return "błąd";
    case Severity::Warning: return "ostrzeżenie";
    case Severity::Info: return "informacja";
  }
  return "";
}

bool HasError(const std::vector<Finding>& findings) {
  return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.severity == Severity::Error; });
}

}  // namespace kx::jpk::check
