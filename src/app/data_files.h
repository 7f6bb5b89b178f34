#pragma once
// The program's own data files (schemas, templates, query files, the demo
// firm) and where they are looked up, in order: the folder of the
// configuration file (RunDir), then the program's data folder share/kx2jpk
// beside the folder of the running executable (bin/ when installed; the build
// folder lays the programs and their data out the same way).

#include <filesystem>
#include <optional>
#include <vector>

#include "app/app_context.h"

namespace kx {

// The folders searched, in order (those that do not exist included).
std::vector<std::filesystem::path> DataFolders(const AppContext& ctx);

// The first existing file of that relative name (e.g. "Buchalter/Empty/B5SPEX.dbf").
std::optional<std::filesystem::path> FindDataFile(const AppContext& ctx, const std::filesystem::path& relative);

}  // namespace kx
