// libFuzzer target for the dBase reader and writer. The input is a table
// file, optionally followed by a memo file: the last two bytes give, in 15
// bits, where the memo file starts, and in the top bit whether it is a .fpt
// (FoxPro) or a .dbt (dBase) file. Every value of every record is read; a
// kx::Error is the expected answer to a damaged file, anything else is a bug.

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "app/kx_error.h"
#include "platform/tables/dbase_reader.h"
#include "platform/tables/dbase_writer.h"

namespace {

namespace fs = std::filesystem;

const fs::path& WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("kx-dbase-fuzz-" + std::to_string(getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

void Write(const fs::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void ReadAll(const fs::path& dbf) {
  auto table = kx::tables::OpenDbaseTable(dbf);
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
}

void WriteOne(const fs::path& dbf) {
  kx::tables::DbaseWriter writer(dbf);
  writer.Append();
  for (const auto& field : writer.Fields()) {
    try {
      writer.SetText(field.name, "12");
    } catch (const kx::Error&) {
    }
  }
  writer.Post();
  if (writer.RecordCount() > 0) {
    writer.Edit(0);
    writer.Post();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view table = input, memo;
  bool fox = false;
  if (size >= 2) {
    size_t split = data[size - 2] | (data[size - 1] & 0x7F) << 8;
    fox = data[size - 1] & 0x80;
    if (split < size - 2) {
      table = input.substr(0, split);
      memo = input.substr(split, size - 2 - split);
    }
  }
  const fs::path dbf = WorkDir() / "t.dbf";
  std::error_code ec;
  fs::remove(WorkDir() / "t.dbt", ec);
  fs::remove(WorkDir() / "t.fpt", ec);
  Write(dbf, table);
  if (!memo.empty()) Write(WorkDir() / (fox ? "t.fpt" : "t.dbt"), memo);
  try {
    ReadAll(dbf);
  } catch (const kx::Error&) {
  }
  try {
    WriteOne(dbf);
    ReadAll(dbf);
  } catch (const kx::Error&) {
  }
  return 0;
}
