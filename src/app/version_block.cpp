#include "app/version_block.h"

#include <cstring>
#include <string>

namespace kx {
namespace {

constexpr size_t kTagSize = 8;
constexpr size_t kBlockSize = kTagSize + 8;

std::string Tag() {
  // Unmasked at run time so that this code's own bytes never hold the tag.
  static const char masked[kTagSize] = {'K' ^ 0x20, 'X' ^ 0x20, 'V' ^ 0x20, 'E' ^ 0x20,
                                        'R' ^ 0x20, 'S' ^ 0x20, '1' ^ 0x20, '\0' ^ 0x20};
  volatile char mask = 0x20;
  std::string tag(kTagSize, '\0');
  for (size_t i = 0; i < kTagSize; ++i) tag[i] = static_cast<char>(masked[i] ^ mask);
  return tag;
}

std::optional<FileVersion> ReadBlock(std::string_view bytes, size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < kBlockSize) return std::nullopt;
  if (bytes.substr(offset, kTagSize) != Tag()) return std::nullopt;
  FileVersion v;
  const char* p = bytes.data() + offset + kTagSize;
  std::memcpy(&v.major, p, 2);
  std::memcpy(&v.minor, p + 2, 2);
  std::memcpy(&v.patch, p + 4, 2);
  std::memcpy(&v.build, p + 6, 2);
  return v;
}

template <typename T>
T Read(std::string_view bytes, size_t offset) {
  T value{};
  if (offset <= bytes.size() && bytes.size() - offset >= sizeof(T))
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

// The ".kxver" section of a 64-bit little-endian ELF file.
std::optional<FileVersion> FromElf(std::string_view bytes) {
  uint64_t shoff = Read<uint64_t>(bytes, 0x28);
  uint16_t shentsize = Read<uint16_t>(bytes, 0x3A);
  uint16_t shnum = Read<uint16_t>(bytes, 0x3C);
  uint16_t shstrndx = Read<uint16_t>(bytes, 0x3E);
  if (shentsize < 0x40 || shstrndx >= shnum || shoff > bytes.size()) return std::nullopt;
  auto section = [&](size_t i) { return static_cast<size_t>(shoff + i * shentsize); };
  uint64_t namesOffset = Read<uint64_t>(bytes, section(shstrndx) + 0x18);
  for (size_t i = 0; i < shnum; ++i) {
    uint32_t nameAt = Read<uint32_t>(bytes, section(i));
    size_t pos = static_cast<size_t>(namesOffset + nameAt);
    if (pos >= bytes.size()) continue;
    std::string_view name(bytes.data() + pos, strnlen(bytes.data() + pos, bytes.size() - pos));
    if (name == ".kxver") return ReadBlock(bytes, static_cast<size_t>(Read<uint64_t>(bytes, section(i) + 0x18)));
  }
  return std::nullopt;
}

}  // namespace

std::optional<FileVersion> FindVersionBlock(std::string_view bytes) {
  // clang-format off
  if (bytes.substr(0, 5) == "\x7f" "ELF\x02") return FromElf(bytes);
  // clang-format on
  // Other files: the block wherever it stands.
  size_t pos = bytes.find(Tag());
  return pos == std::string_view::npos ? std::nullopt : ReadBlock(bytes, pos);
}

}  // namespace kx
