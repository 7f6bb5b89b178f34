#pragma once
// A private working file for the length of one operation: created
// exclusively under a unique name (a link of that name is never followed, a
// file of another run never touched), removed when the object goes unless it
// was moved away meanwhile.

#include <filesystem>
#include <string_view>

namespace kx {

class TempFile {
 public:
  // In folder, named prefix + six random characters + suffix. Fails with
  // kx::Error naming the folder.
  TempFile(const std::filesystem::path& folder, std::string_view prefix, std::string_view suffix);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

}  // namespace kx
