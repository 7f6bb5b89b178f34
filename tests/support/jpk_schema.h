#pragma once
// Validation of JPK files written by tests against the official schemas.

#include <filesystem>
#include <string>

namespace kxtest {

// All schema complaints of the file, one per line with its line number; empty
// when the file validates.
std::string SchemaErrors(const std::filesystem::path& file);

}  // namespace kxtest
