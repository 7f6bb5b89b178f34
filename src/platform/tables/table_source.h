#pragma once
// A table file as a format reader sees it: field definitions and records by
// number. Record numbers run in the table's own order: key order for keyed
// Paradox tables, physical order otherwise. Deleted dBase records are not
// counted. Values are decoded on demand from the file's bytes.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/tables/value.h"

namespace kx::tables {

class TableSource {
 public:
  virtual ~TableSource() = default;
  virtual const std::string& FilePath() const = 0;
  virtual const std::vector<FieldDef>& Fields() const = 0;
  virtual size_t RecordCount() const = 0;
  virtual Value Get(size_t record, size_t field) const = 0;
  // Field names of the primary key (Paradox keyed tables), in key order.
  virtual std::vector<std::string> PrimaryKey() const { return {}; }
};

// Options of opening a table file.
struct OpenOptions {
  // Code page for text when the file names none (Paradox 3.x headers, dBase
  // LDID 0 without a .cpg file). 852 is the Polish DOS code page.
  int defaultCodePage = 852;
  // Code page that replaces whatever the file says (0: use the file's own).
  int forceCodePage = 0;
  // Password of a protected Paradox table (empty: none given).
  std::string password;
};

}  // namespace kx::tables
