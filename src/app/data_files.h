#pragma once
// The program's own data files (templates, query files) and where they are
// looked up, in order: the folder of the configuration file (RunDir), the
// data folder of the installed program (share/kx2jpk beside the bin folder
// of the running executable), and the data folder of the source tree the
// program was built from.

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
