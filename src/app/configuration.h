#pragma once
// Finding and reading the configuration file into the application context.

#include <filesystem>
#include <string>
#include <vector>

#include "app/app_context.h"

namespace kx {

// Reads the configuration as the program does at start: args are the
// command-line arguments with the executable's path first ("/ini=" arguments
// choose the file), workingDir the current working folder. Fills AppName,
// RunDir, IniFileName, AppSettings, the session's network control folder (and
// activates the session when one is set), CutDict and RejkoAccSet.
// Fails with kx::Error carrying the system's message.
void ReadConfiguration(AppContext& ctx, const std::vector<std::string>& args,
                       const std::filesystem::path& workingDir = std::filesystem::current_path());

// What the main window does on destruction: deactivates the session when a
// network control folder is set.
void ReleaseConfiguration(AppContext& ctx);

}  // namespace kx
