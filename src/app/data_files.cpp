#include "app/data_files.h"

#include <system_error>

namespace kx {

namespace {

std::filesystem::path RunningExecutable() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe;
}

}  // namespace

std::vector<std::filesystem::path> DataFolders(const AppContext& ctx) {
  std::vector<std::filesystem::path> folders;
  if (!ctx.RunDir.empty()) folders.emplace_back(ctx.RunDir);
  const std::filesystem::path exe = RunningExecutable();
  if (!exe.empty()) folders.push_back(exe.parent_path().parent_path() / "share" / "kx2jpk");
  return folders;
}

std::optional<std::filesystem::path> FindDataFile(const AppContext& ctx, const std::filesystem::path& relative) {
  for (const std::filesystem::path& folder : DataFolders(ctx)) {
    std::error_code ec;
    const std::filesystem::path candidate = folder / relative;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

}  // namespace kx
