// gen_buchalter_templates: writes the four empty template tables of the
// Buchalter import (B5SPEX, B5ESEX, B5ZAEX, B5EZEX.dbf, dBase III, code page
// Windows-1250 in the header) from the table of fields in
// src/convert/buchalter_tables.cpp.
//
//   gen_buchalter_templates FOLDER      the tables into FOLDER (data/Buchalter/Empty)
//   gen_buchalter_templates --markdown  the fields as Markdown tables (for the README)

#include <filesystem>
#include <iostream>
#include <string>

#include "convert/buchalter_tables.h"
#include "platform/error.h"
#include "platform/tables/dbase_writer.h"

namespace {

using kx::convert::BuchalterField;
using kx::convert::BuchalterTable;

const char* TypeName(char type) {
  switch (type) {
    case 'N': return "N (liczba)";
    case 'D': return "D (data)";
    default: return "C (tekst)";
  }
}

void PrintMarkdown() {
  for (const BuchalterTable& table : kx::convert::BuchalterTables()) {
    std::cout << "**`" << table.base << "rr.dbf`** – " << table.description << "\n\n";
    std::cout << "| Pole | Typ | Szerokość | Miejsca po przecinku | Zawartość |\n";
    std::cout << "|---|---|---|---|---|\n";
    for (const BuchalterField& f : table.fields) {
      std::cout << "| `" << f.name << "` | " << TypeName(f.type) << " | " << f.width << " | "
                << (f.type == 'N' ? std::to_string(f.decimals) : std::string()) << " | " << f.description << " |\n";
    }
    std::cout << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || (argv[1][0] == '-' && std::string(argv[1]) != "--markdown")) {
    std::cerr << "Użycie: gen_buchalter_templates FOLDER | --markdown\n";
    return 2;
  }
  if (std::string(argv[1]) == "--markdown") {
    PrintMarkdown();
    return 0;
  }
  try {
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    kx::tables::DbaseCreateOptions options;
    options.version = 0x03;
    options.codePage = kx::convert::kBuchalterCodePage;
    for (const BuchalterTable& table : kx::convert::BuchalterTables()) {
      kx::tables::CreateDbaseTable(folder / (std::string(table.base) + ".dbf"), kx::convert::BuchalterFieldDefs(table),
                                   {}, options);
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
