#include "editor/declaration_check.h"

#include <optional>

#include "editor/v7m_declaration.h"
#include "jpk/check/jpk_check.h"
#include "jpk/v7m/v7m_order.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/decimal_text.h"
#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx::editor {
namespace {

using jpk::check::Finding;
using jpk::check::Severity;

xml::XmlNode PositionsOf(const xml::XmlNode& root) {
  xml::XmlNode declaration = root.FindChild("Deklaracja");
  return declaration.IsNull() ? xml::XmlNode() : declaration.FindChild("PozycjeSzczegolowe");
}

// A position in grosze: 0 when missing, nothing when it is no number (the
// schema names that).
std::optional<int64_t> PositionCents(const xml::XmlNode& positions, std::string_view name) {
  xml::XmlNode node = positions.FindChild(name);
  if (node.IsNull()) return 0;
  try {
    return jpk::v7m::AmountCents(node.Text());
  } catch (const Error&) {
    return std::nullopt;
  }
}

std::string AmountText(int64_t cents) { return DecimalText(static_cast<double>(cents) / 100); }

}  // namespace

void CheckDeclarationPositions(const jpk::v7m::IXMLJPK& jpk, std::vector<Finding>& findings) {
  xml::XmlNode written = PositionsOf(jpk.Node());
  if (written.IsNull()) return;
  // The editor's computation on a copy of the records.
  IXMLJPK copy = RebuildWithoutDeclaration(jpk);
  DeclarationInput input;
  input.p39 = Trim(jpk::v7m::ChildText(written, "P_39"));
  CalcDeclaration(copy, input);
  xml::XmlNode computed = PositionsOf(copy.Node());

  bool inRange = false;
  for (std::string_view name : jpk::v7m::kPositionsOrder) {
    inRange = inRange || name == "P_10";
    if (!inRange) continue;
    std::optional<int64_t> fileValue = PositionCents(written, name);
    std::optional<int64_t> recordValue = PositionCents(computed, name);
    if (fileValue && recordValue && *fileValue != *recordValue) {
      findings.push_back({Severity::Error, jpk::check::kSectionDeclaration, 0, std::string(name),
                          Format("w deklaracji %s, a z wierszy ewidencji wynika %s", AmountText(*fileValue).c_str(),
                                 AmountText(*recordValue).c_str())});
    }
    if (name == "P_48") break;
  }
}

std::vector<Finding> CheckJpkFileWithDeclaration(const std::filesystem::path& file,
                                                 const std::filesystem::path& schemaDir) {
  return jpk::check::CheckJpkFile(file, schemaDir, CheckDeclarationPositions);
}

std::vector<Finding> CheckJpkDocumentWithDeclaration(const xml::XmlDocument& document,
                                                     const std::filesystem::path& schemaDir) {
  return jpk::check::CheckJpkDocument(document, schemaDir, CheckDeclarationPositions);
}

}  // namespace kx::editor
