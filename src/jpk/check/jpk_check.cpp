#include "jpk/check/jpk_check.h"

#include <cstdlib>

#include "jpk/check/control_rules.h"
#include "jpk/check/v7m_rules.h"
#include "jpk/files/jpk_validate.h"
#include "platform/error.h"
#include "platform/xml/xml_document.h"

namespace kx::jpk::check {
namespace {

// The element a schema complaint names ("Element '{ns}P_59': …"), by its
// local name; "" when it names none.
std::string ElementOfComplaint(const std::string& message) {
  static constexpr std::string_view kLead = "Element '";
  const size_t at = message.find(kLead);
  if (at == std::string::npos) return {};
  const size_t from = at + kLead.size();
  const size_t to = message.find('\'', from);
  if (to == std::string::npos) return {};
  std::string name = message.substr(from, to - from);
  if (const size_t brace = name.rfind('}'); brace != std::string::npos) name.erase(0, brace + 1);
  if (const size_t colon = name.rfind(':'); colon != std::string::npos) name.erase(0, colon + 1);
  return name;
}

// Runs one group of rules; a failure inside (a text the rules cannot read)
// becomes an error of its own instead of ending the check.
template <typename F>
void Guarded(const char* section, std::vector<Finding>& findings, F&& rules) {
  try {
    rules();
  } catch (const Error& e) {
    std::string message = e.what();
    for (char& c : message) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    findings.push_back({Severity::Error, section, 0, "", "nie można sprawdzić: " + message});
  }
}

// The rules of the document's kind, after the schema's findings.
void CheckRules(const xml::XmlDocument& document, const V7MRule& declarationRule, std::vector<Finding>& findings) {
  xml::XmlNode root = document.DocumentElement();
  const std::string kind = JpkKindOfNamespace(root.NamespaceURI());
  if (kind != "JPK_V7M(3)") {
    Guarded(kSectionFile, findings, [&] { CheckControlTotals(kind, root, findings); });
    return;
  }
  const v7m::IXMLJPK jpk = v7m::GetJPKRoot(document);
  Guarded(kSectionHeader, findings, [&] { CheckV7MHeader(jpk, findings); });
  Guarded(kSectionFile, findings, [&] { CheckV7MRecords(jpk, findings); });
  if (declarationRule) Guarded(kSectionDeclaration, findings, [&] { declarationRule(jpk, findings); });
  Guarded(kSectionDeclaration, findings, [&] { CheckV7MRefund(jpk, findings); });
  Guarded(kSectionFile, findings, [&] { ListV7MAwaitingKsef(jpk, findings); });
}

// A complaint of the schema about an element in memory: the record it lies
// in, from its path ("JPK/Ewidencja/SprzedazWiersz[3]/K_19": sale 3).
Finding FindingOfPath(const SchemaError& e) {
  Finding f{Severity::Error, kSectionFile, 0, ElementOfComplaint(e.message), "niezgodność ze schematem: " + e.message};
  for (const auto& [record, section] :
       {std::pair{"SprzedazWiersz[", kSectionSales}, std::pair{"ZakupWiersz[", kSectionPurchases}}) {
    const size_t at = e.path.find(record);
    if (at == std::string::npos) continue;
    f.section = section;
    f.lp = std::atoi(e.path.c_str() + at + std::string_view(record).size());
  }
  if (f.element.empty() && !e.path.empty()) {
    std::string last = e.path.substr(e.path.rfind('/') + 1);
    f.element = last.substr(0, last.find('['));
  }
  return f;
}

}  // namespace

std::vector<Finding> CheckJpkFile(const std::filesystem::path& file, const std::filesystem::path& schemaDir,
                                  const V7MRule& declarationRule) {
  std::vector<Finding> findings;
  for (const SchemaError& e : ValidateJpkFile(file, schemaDir)) {
    findings.push_back({Severity::Error, kSectionFile, 0, ElementOfComplaint(e.message),
                        Format("niezgodność ze schematem (wiersz %d): %s", e.line, e.message.c_str())});
  }
  xml::XmlDocument document = xml::XmlDocument::FromFile(file);
  CheckRules(document, declarationRule, findings);
  return findings;
}

std::vector<Finding> CheckJpkDocument(const xml::XmlDocument& document, const std::filesystem::path& schemaDir,
                                      const V7MRule& declarationRule) {
  std::vector<Finding> findings;
  for (const SchemaError& e : ValidateJpkDocument(document, schemaDir)) findings.push_back(FindingOfPath(e));
  CheckRules(document, declarationRule, findings);
  return findings;
}

}  // namespace kx::jpk::check
