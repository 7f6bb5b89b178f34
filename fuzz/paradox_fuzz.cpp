// Fuzz target: the Paradox reader on arbitrary bytes. The input is the .db
// file; when it holds the marker "\0KXMB\0", the bytes after the marker form
// the table's .mb file. Opening and reading every value must end in values or
// kx::Error, never a crash or a read outside the bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/error.h"
#include "platform/tables/paradox_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  static constexpr std::string_view kMarker("\0KXMB\0", 6);
  size_t split = input.find(kMarker);
  std::optional<std::string_view> mb;
  if (split != std::string_view::npos) mb = input.substr(split + kMarker.size());

  try {
    auto table = kx::tables::OpenParadoxBytes("fuzz.db", input.substr(0, split), mb);
    table->PrimaryKey();
    for (size_t r = 0; r < table->RecordCount(); ++r) {
      table->ChainPosition(r);
      for (size_t k = 0; k < table->Fields().size(); ++k) {
        try {
          table->Get(r, k);
          table->RawBytes(r, k);
        } catch (const kx::Error&) {
          // A damaged memo or blob; the other values stay readable.
        }
      }
    }
  } catch (const kx::Error&) {
  }
  return 0;
}
