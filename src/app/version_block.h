#pragma once
// The version block compiled into every executable of the system (see
// cmake/Version.cmake): a tag followed by the four version numbers.

#include <cstdint>
#include <optional>
#include <string_view>

namespace kx {

struct FileVersion {
  uint16_t major = 0, minor = 0, patch = 0, build = 0;
};

// Finds the block in an executable's bytes; nothing when it carries none.
std::optional<FileVersion> FindVersionBlock(std::string_view fileBytes);

}  // namespace kx
