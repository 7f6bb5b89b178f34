#pragma once
// Where tests find the shared material and the command-line program.

#include <filesystem>
#include <string>

namespace kxtest {

inline std::filesystem::path SharedDir() { return KX_SHARED_DIR; }
inline std::filesystem::path SourceDir() { return KX_SOURCE_DIR; }
inline std::filesystem::path CliPath() { return KX_CLI_PATH; }
inline std::filesystem::path GenDemoDataPath() { return KX_GEN_DEMO_DATA_PATH; }

}  // namespace kxtest
