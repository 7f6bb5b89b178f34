// Fuzz target: the dBase reader on arbitrary bytes. The input is a table
// file, optionally followed by a memo file: the last two bytes give, in 15
// bits, where the memo file starts, and in the top bit whether it is a .fpt
// (FoxPro) or a .dbt (dBase) file. Every value of every record is read; a
// kx::Error is the expected answer to a damaged file, anything else is a bug.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/error.h"
#include "platform/tables/dbase_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  kx::tables::DbaseBytes files{.dbf = input};
  if (size >= 2) {
    size_t split = data[size - 2] | (data[size - 1] & 0x7F) << 8;
    if (split < size - 2) {
      files.dbf = input.substr(0, split);
      files.memo = input.substr(split, size - 2 - split);
      files.memoKind = data[size - 1] & 0x80 ? kx::tables::DbaseMemoKind::Fpt : kx::tables::DbaseMemoKind::Dbt;
    }
  }
  try {
    auto table = kx::tables::OpenDbaseBytes("fuzz.dbf", files);
    const size_t records = std::min<size_t>(table->RecordCount(), 4096);
    for (size_t r = 0; r < records; ++r) {
      for (size_t f = 0; f < table->Fields().size(); ++f) {
        try {
          table->Get(r, f);
        } catch (const kx::Error&) {
          // A damaged value or memo: reported, not crashed on.
        }
      }
    }
  } catch (const kx::Error&) {
  }
  return 0;
}
