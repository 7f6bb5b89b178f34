#pragma once
// A fresh folder for one test, removed with everything in it at the end.

#include <filesystem>
#include <string>

namespace kxtest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
  // Writes a file (bytes as given) below the folder and returns its path.
  std::filesystem::path Write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path m_path;
};

std::string ReadFile(const std::filesystem::path& path);

}  // namespace kxtest
