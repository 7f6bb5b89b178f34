#pragma once
// Layout of Paradox table files (.db) and their memo/blob files (.mb), shared
// by the reader and the writer. Internal to platform/tables.
//
// A .db file is a header followed by data blocks of equal size, numbered from
// 1 and linked into a chain. A data block starts with the number of the next
// and previous block and the offset of its last record; records follow.
// Numbers are stored big-endian with the sign bit flipped, so that comparing
// the bytes compares the values; a field of zero bytes is null.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kx::tables::paradox {

// Header offsets, common to all versions.
inline constexpr size_t kRecordSizeAt = 0x00;
inline constexpr size_t kHeaderSizeAt = 0x02;
inline constexpr size_t kFileTypeAt = 0x04;
inline constexpr size_t kBlockSizeAt = 0x05;  // in KB
inline constexpr size_t kRecordCountAt = 0x06;
inline constexpr size_t kUsedBlocksAt = 0x0A;
inline constexpr size_t kFileBlocksAt = 0x0C;
inline constexpr size_t kFirstBlockAt = 0x0E;
inline constexpr size_t kLastBlockAt = 0x10;
inline constexpr size_t kFieldCountAt = 0x21;
inline constexpr size_t kKeyFieldCountAt = 0x23;
inline constexpr size_t kEncryption1At = 0x25;
inline constexpr size_t kSortOrderAt = 0x29;
inline constexpr size_t kVersionAt = 0x39;
inline constexpr size_t kAutoIncAt = 0x49;
// Versions 4 and later (data files) carry a second part up to 0x78.
inline constexpr size_t kEncryption2At = 0x5C;
inline constexpr size_t kCodePageAt = 0x6A;
inline constexpr size_t kFieldInfoV3 = 0x58;
inline constexpr size_t kFieldInfoV4 = 0x78;
// Table name stored after the field pointers: 79 bytes, 261 in version 7.
inline constexpr size_t kTableNameSize = 79;
inline constexpr size_t kTableNameSizeV7 = 261;

inline constexpr int kFileTypeKeyed = 0;
inline constexpr int kFileTypeNonKeyed = 2;

inline constexpr size_t kBlockHeaderSize = 6;
inline constexpr size_t kBcdSize = 17;
inline constexpr uint8_t kBcdPositive = 0x80;  // first byte of a BCD value
inline constexpr uint8_t kBcdPresent = 0x40;   // clear in a null BCD value
inline constexpr size_t kBlobPointerSize = 10;

// Encryption word of a table without a password (versions 4 and later keep
// the real word at kEncryption2At).
inline constexpr uint32_t kNoEncryption1 = 0xFF00FF00;

// Field type codes.
enum TypeCode : uint8_t {
  kAlpha = 0x01,
  kDate = 0x02,
  kShort = 0x03,
  kLong = 0x04,
  kCurrency = 0x05,
  kNumber = 0x06,
  kLogical = 0x09,
  kMemo = 0x0C,
  kBlob = 0x0D,
  kFmtMemo = 0x0E,
  kOle = 0x0F,
  kGraphic = 0x10,
  kTime = 0x14,
  kTimestamp = 0x15,
  kAutoInc = 0x16,
  kBcd = 0x17,
  kBytes = 0x18,
};

// .mb files: 4 KB chunks; block 0 is the header. A blob either has a block of
// its own (type 2, data after a 9-byte header) or shares a suballocated block
// (type 3) with up to 64 others, found through 5-byte entries at offset 12.
inline constexpr size_t kMbChunk = 4096;
inline constexpr uint8_t kMbHeaderBlock = 0;
inline constexpr uint8_t kMbSingleBlock = 2;
inline constexpr uint8_t kMbSubBlock = 3;
inline constexpr size_t kMbSingleHeader = 9;
inline constexpr size_t kMbSubEntries = 64;
inline constexpr size_t kMbSubEntryAt = 12;
inline constexpr size_t kMbSubDataAt = 0x150;  // first 16-byte unit after the entries
// Graphic blobs start with 8 bytes of their own before the picture.
inline constexpr size_t kGraphicPrefix = 8;

inline uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline void PutLe16(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void PutLe32(unsigned char* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(v >> (8 * k));
}

inline bool AllZero(const unsigned char* p, size_t n) {
  for (size_t k = 0; k < n; ++k)
    if (p[k]) return false;
  return true;
}

// Big-endian, sign bit flipped: S (2 bytes), I + D T (4 bytes).
inline int16_t DecodeShort(const unsigned char* p) {
  return static_cast<int16_t>(static_cast<uint16_t>((p[0] << 8 | p[1]) ^ 0x8000));
}
inline int32_t DecodeLong(const unsigned char* p) {
  uint32_t u =
      static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
  return static_cast<int32_t>(u ^ 0x80000000u);
}
inline void EncodeShort(unsigned char* p, int16_t v) {
  uint16_t u = static_cast<uint16_t>(static_cast<uint16_t>(v) ^ 0x8000);
  p[0] = static_cast<unsigned char>(u >> 8);
  p[1] = static_cast<unsigned char>(u);
}
inline void EncodeLong(unsigned char* p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v) ^ 0x80000000u;
  for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(u >> (24 - 8 * k));
}

// Doubles (N $ @): big-endian; a positive value has its sign bit set, a
// negative one has all bits inverted.
inline double DecodeDouble(const unsigned char* p) {
  uint64_t u = 0;
  for (int k = 0; k < 8; ++k) u = u << 8 | p[k];
  if (u & 0x8000000000000000ull)
    u &= ~0x8000000000000000ull;
  else
    u = ~u;
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}
inline void EncodeDouble(unsigned char* p, double v) {
  if (v == 0) v = 0;  // -0.0 becomes 0.0
  uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  if (u & 0x8000000000000000ull)
    u = ~u;
  else
    u |= 0x8000000000000000ull;
  for (int k = 0; k < 8; ++k) p[k] = static_cast<unsigned char>(u >> (56 - 8 * k));
}

}  // namespace kx::tables::paradox
