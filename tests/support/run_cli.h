#pragma once
// Runs the real kx2jpk-cli in a folder and collects what it printed.

#include <filesystem>
#include <string>
#include <vector>

namespace kxtest {

struct CliResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Standard input is empty (not a terminal), so questions get the safe refusal.
CliResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& workingDir = ".");

}  // namespace kxtest
