#pragma once
// The declaration positions P_10 to P_48 of a JPK_V7M file against those the
// editor computes from its records, and the whole check of a file with it.

#include <filesystem>
#include <vector>

#include "jpk/check/finding.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"

namespace kx::editor {

// One error for each position from P_10 to P_48 whose value differs from the
// one computed from the records (a missing position counts as 0; P_39, the
// surplus carried from the month before, is taken from the file). Nothing
// for a document without a declaration. The document is not changed.
void CheckDeclarationPositions(const jpk::v7m::IXMLJPK& jpk, std::vector<jpk::check::Finding>& findings);

// jpk::check::CheckJpkFile with the positions above among the rules.
std::vector<jpk::check::Finding> CheckJpkFileWithDeclaration(const std::filesystem::path& file,
                                                             const std::filesystem::path& schemaDir);
std::vector<jpk::check::Finding> CheckJpkDocumentWithDeclaration(const xml::XmlDocument& document,
                                                                 const std::filesystem::path& schemaDir);

}  // namespace kx::editor
