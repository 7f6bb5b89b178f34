#pragma once
// The four import tables of the Buchalter accounting program: their base
// names and fields. One table of fields serves both the template generator
// (tools/gen_buchalter_templates) and the conversion, which checks that a
// template holds every field it writes.

#include <span>
#include <string>
#include <vector>

#include "platform/tables/value.h"

namespace kx::convert {

inline constexpr const char* kBuchalterSales = "B5SPEX";          // sales register
inline constexpr const char* kBuchalterSaleLines = "B5ESEX";      // sales VAT-rate lines
inline constexpr const char* kBuchalterPurchases = "B5ZAEX";      // purchase register
inline constexpr const char* kBuchalterPurchaseLines = "B5EZEX";  // purchase VAT lines

// The template folder below a data folder.
inline constexpr const char* kBuchalterTemplateFolder = "Buchalter/Empty";

// Code page named in the templates' headers: Windows-1250, the code of every
// character but the 18 Polish letters, which are stored with their Mazovia
// codes (mazovia.h). The table engine thus passes the bytes through unchanged.
inline constexpr int kBuchalterCodePage = 1250;

struct BuchalterField {
  const char* name;
  char type;  // 'C' text, 'N' number, 'D' date
  int width;
  int decimals;
  const char* description;  // Polish, for the user documentation
};

struct BuchalterTable {
  const char* base;         // "B5SPEX"
  const char* description;  // Polish
  std::span<const BuchalterField> fields;
};

// The four tables in the order the conversion makes them.
std::span<const BuchalterTable> BuchalterTables();
const BuchalterTable& BuchalterTableOf(const std::string& base);

// The dBase field definitions of a table's template.
std::vector<tables::FieldDef> BuchalterFieldDefs(const BuchalterTable& table);

}  // namespace kx::convert
