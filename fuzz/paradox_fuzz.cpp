// libFuzzer target: the Paradox reader on arbitrary bytes. The input is the
// .db file; when it holds the marker "\0KXMB\0", the bytes after the marker
// form the table's .mb file. Opening and reading every value must end in
// values or kx::Error, never a crash or a read outside the files.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/kx_error.h"
#include "platform/tables/paradox_reader.h"

namespace {

namespace fs = std::filesystem;

const fs::path& WorkDir() {
  static const fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "kxfuzz-paradox-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return fs::path(pattern);
  }();
  return dir;
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  static constexpr std::string_view kMarker("\0KXMB\0", 6);
  size_t split = input.find(kMarker);
  fs::path db = WorkDir() / "t.db";
  fs::path mb = WorkDir() / "t.mb";
  WriteBytes(db, input.substr(0, split));
  std::error_code ec;
  if (split == std::string_view::npos) fs::remove(mb, ec);
  else WriteBytes(mb, input.substr(split + kMarker.size()));

  try {
    auto table = kx::tables::OpenParadoxFile(db);
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
