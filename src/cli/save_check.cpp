// The check of every JPK file the command line saves: the schema's
// complaints go to standard error; with --strict an invalid file is not
// written and the command ends with code 1.

#include <string>
#include <vector>

#include "cli/cli_env.h"
#include "jpk/files/jpk_validate.h"
#include "platform/error.h"

namespace kx::cli {

namespace {

void Report(CliEnv& env, const jpk::SavedFileCheck& outcome, const std::string& fileName, bool strict) {
  if (outcome.failure) {
    env.Err() << "Uwaga: nie sprawdzono pliku " << fileName << " ze schematem: " << *outcome.failure << "\n";
    if (strict) throw Error("bez sprawdzenia ze schematem plik z opcją --strict nie zostaje zapisany");
    return;
  }
  const std::vector<jpk::SchemaError>& errors = outcome.errors;
  if (errors.empty()) return;
  env.Err() << "Uwaga: plik " << fileName << " jest niezgodny ze schematem (błędów: " << errors.size() << "):\n";
  constexpr size_t kShown = 50;
  for (size_t i = 0; i < errors.size() && i < kShown; ++i) {
    env.Err() << "  " << jpk::SchemaErrorPlace(errors[i]) << errors[i].message << "\n";
  }
  if (errors.size() > kShown) env.Err() << "  … i dalszych: " << errors.size() - kShown << "\n";
  if (strict) {
    throw Error(
        Format("plik jest niezgodny ze schematem, błędów %zu; z opcją --strict nie zostaje zapisany", errors.size()));
  }
}

}  // namespace

jpk::SaveCheck MakeSaveCheck(CliEnv& env, const bool& strict) {
  return {[&env] { return SchemaFolder(env, {}); },
          [&env, &strict](const jpk::SavedFileCheck& outcome, const std::string& fileName) {
            Report(env, outcome, fileName, strict);
          }};
}

}  // namespace kx::cli
