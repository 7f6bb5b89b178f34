#include "platform/temp_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/error.h"

namespace kx {

TempFile::TempFile(const std::filesystem::path& folder, std::string_view prefix, std::string_view suffix) {
  std::string pattern = (folder / (std::string(prefix) + "XXXXXX" + std::string(suffix))).string();
  // mkstemps creates the file with O_EXCL: an existing name, a link among them, is never used.
  const int fd = mkstemps(pattern.data(), static_cast<int>(suffix.size()));
  if (fd < 0) {
    throw Error(
        Format("Nie można utworzyć pliku roboczego w folderze %s: %s", folder.string().c_str(), std::strerror(errno)));
  }
  ::close(fd);
  m_path = pattern;
}

TempFile::~TempFile() {
  std::error_code ignored;
  std::filesystem::remove(m_path, ignored);
}

}  // namespace kx
