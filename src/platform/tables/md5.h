#pragma once
// MD5 digest (RFC 1321), used to show binary field values by their checksum.

#include <string>
#include <string_view>

namespace kx::tables {

// The digest of the bytes as 32 lowercase hexadecimal digits.
std::string Md5Hex(std::string_view bytes);

}  // namespace kx::tables
