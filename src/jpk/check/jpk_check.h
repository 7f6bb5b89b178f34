#pragma once
// The check of a JPK file of any of the four kinds before it is sent: the
// schema first (each complaint an error), then the rules of its kind.

#include <filesystem>
#include <functional>
#include <vector>

#include "jpk/check/finding.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"

namespace kx::jpk::check {

// A further rule over a JPK_V7M document, supplied by a layer above (the
// declaration positions recomputed from the records).
using V7MRule = std::function<void(const v7m::IXMLJPK& jpk, std::vector<Finding>& findings)>;

// The findings in this order: schema, subject, sale records and their
// control element, purchase records and theirs, declaration (the given rule,
// then the refund part), records waiting for a KSeF number. Fails with
// kx::Error when the file is not well-formed XML, is no JPK file of the four
// kinds, or the schemas are not in the folder.
std::vector<Finding> CheckJpkFile(const std::filesystem::path& file, const std::filesystem::path& schemaDir,
                                  const V7MRule& declarationRule = {});

// The same for a document in memory (the editor's): the schema's complaints
// name the record (sales or purchases, its place) and the element.
std::vector<Finding> CheckJpkDocument(const xml::XmlDocument& document, const std::filesystem::path& schemaDir,
                                      const V7MRule& declarationRule = {});

}  // namespace kx::jpk::check
