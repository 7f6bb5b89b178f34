#include "support/jpk_schema.h"

#include "jpk/files/jpk_validate.h"
#include "support/shared_paths.h"

namespace kxtest {

std::string SchemaErrors(const std::filesystem::path& file) {
  std::string out;
  for (const auto& e : kx::jpk::ValidateJpkFile(file, SharedDir() / "xsd")) {
    out += std::to_string(e.line) + ": " + e.message + "\n";
  }
  return out;
}

}  // namespace kxtest
