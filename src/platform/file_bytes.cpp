#include "platform/file_bytes.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kx {

FileBytes::FileBytes(std::string bytes) : m_held(std::move(bytes)) {}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : m_held(std::move(other.m_held)),
      m_mapped(std::exchange(other.m_mapped, nullptr)),
      m_size(std::exchange(other.m_size, 0)) {}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
  if (this != &other) {
    Unmap();
    m_held = std::move(other.m_held);
    m_mapped = std::exchange(other.m_mapped, nullptr);
    m_size = std::exchange(other.m_size, 0);
  }
  return *this;
}

FileBytes::~FileBytes() { Unmap(); }

void FileBytes::Unmap() {
#ifndef _WIN32
  if (m_mapped) ::munmap(const_cast<char*>(m_mapped), m_size);
#endif
  m_mapped = nullptr;
  m_size = 0;
}

int FileBytes::Map(const std::filesystem::path& path) {
#ifndef _WIN32
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno ? errno : EACCES;
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  const auto size = static_cast<size_t>(info.st_size);
  if (size == 0) {  // nothing to map
    ::close(fd);
    Unmap();
    m_held.clear();
    return 0;
  }
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  const int error = mapped == MAP_FAILED ? errno : 0;
  ::close(fd);
  if (mapped == MAP_FAILED) return error ? error : EIO;
  Unmap();
  m_held.clear();
  m_held.shrink_to_fit();
  m_mapped = static_cast<const char*>(mapped);
  m_size = size;
  return 0;
#else
  std::ifstream in(path, std::ios::binary);
  if (!in) return errno ? errno : EACCES;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return EIO;
  m_held = std::move(bytes);
  return 0;
#endif
}

void FileBytes::Release(size_t begin, size_t end) const {
#ifndef _WIN32
  if (!m_mapped || end > m_size) end = m_mapped ? m_size : 0;
  static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  const size_t first = (begin + page - 1) / page * page;
  const size_t last = end / page * page;
  if (first < last) ::madvise(const_cast<char*>(m_mapped) + first, last - first, MADV_DONTNEED);
#else
  (void)begin;
  (void)end;
#endif
}

}  // namespace kx
