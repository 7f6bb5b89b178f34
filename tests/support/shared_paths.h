#pragma once
// Where tests find the shared material and the command-line program.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace kxtest {

inline std::filesystem::path SharedDir() { return KX_SHARED_DIR; }
inline std::filesystem::path SourceDir() { return KX_SOURCE_DIR; }
inline std::filesystem::path CliPath() { return KX_CLI_PATH; }
inline std::filesystem::path GenDemoDataPath() { return KX_GEN_DEMO_DATA_PATH; }

// The real JPK files of other producers (samples/**/*.xml), sorted.
inline std::vector<std::filesystem::path> SampleFiles() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(SharedDir() / "samples")) {
    if (entry.path().extension() == ".xml") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace kxtest
