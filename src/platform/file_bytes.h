#pragma once
// The bytes of a file for reading. A file is mapped into memory where the
// system allows it, so that reading a table does not copy it whole: the
// pages come from the file as they are used, and pages already read can be
// given back, to be read again from the file when used again. Bytes given
// in memory are simply held.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace kx {

class FileBytes {
 public:
  FileBytes() = default;
  explicit FileBytes(std::string bytes);
  FileBytes(FileBytes&& other) noexcept;
  FileBytes& operator=(FileBytes&& other) noexcept;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  ~FileBytes();

  // The file's bytes; 0, or the system's error code when it cannot be read
  // (the bytes held before are then kept).
  int Map(const std::filesystem::path& path);

  const char* data() const { return m_mapped ? m_mapped : m_held.data(); }
  size_t size() const { return m_mapped ? m_size : m_held.size(); }
  bool empty() const { return size() == 0; }
  std::string_view View() const { return {data(), size()}; }

  // Gives back the whole pages within [begin, end) of a mapped file; their
  // bytes stay readable.
  void Release(size_t begin, size_t end) const;

 private:
  void Unmap();

  std::string m_held;
  const char* m_mapped = nullptr;
  size_t m_size = 0;
};

}  // namespace kx
