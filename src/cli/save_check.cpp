// The check of every JPK file the command line saves: the schema's
// complaints go to standard error; with --strict an invalid file is not
// written and the command ends with code 1.

#include <string>
#include <vector>

#include "cli/cli_env.h"
#include "jpk/files/jpk_validate.h"
#include "platform/error.h"

namespace kx::cli {

void CheckSavedDocument(CliEnv& env, const xml::XmlDocument& document, const std::string& fileName, bool strict) {
  std::vector<jpk::SchemaError> errors;
  try {
    errors = jpk::ValidateJpkDocument(document, SchemaFolder(env, {}));
  } catch (const Error& e) {
    env.Err() << "Uwaga: nie sprawdzono pliku " << fileName << " ze schematem: " << e.what() << "\n";
    if (strict) throw Error("bez sprawdzenia ze schematem plik z opcją --strict nie zostaje zapisany");
    return;
  }
  if (errors.empty()) return;
  env.Err() << "Uwaga: plik " << fileName << " jest niezgodny ze schematem (błędów: " << errors.size() << "):\n";
  constexpr size_t kShown = 50;
  for (size_t i = 0; i < errors.size() && i < kShown; ++i) {
    env.Err() << "  " << (errors[i].path.empty() ? std::string() : errors[i].path + ": ") << errors[i].message << "\n";
  }
  if (errors.size() > kShown) env.Err() << "  … i dalszych: " << errors.size() - kShown << "\n";
  if (strict) {
    throw Error(
        Format("plik jest niezgodny ze schematem, błędów %zu; z opcją --strict nie zostaje zapisany", errors.size()));
  }
}

}  // namespace kx::cli
