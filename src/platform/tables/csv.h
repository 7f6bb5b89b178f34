#pragma once
// CSV (RFC 4180, UTF-8) rendering of table and query rows: a header line of
// field names, then one line per row, each ended by CRLF. A null is an empty
// field; dates are yyyy-MM-dd, times HH:mm:ss.zzz, timestamps
// yyyy-MM-dd HH:mm:ss, logicals true/false, numbers in shortest form with "."
// as separator, text and memos as they are, binary values (bytes, blobs,
// graphics, OLE) as "<N bytes md5 HEX>".

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tables/value.h"

namespace kx::tables {

// The text of one value before quoting.
std::string CsvText(const Value& value);

// One field as written: quoted (with doubled quotes inside) when it holds a
// comma, a quote, CR or LF.
std::string CsvQuote(std::string_view text);

// Writes one line of already rendered texts, ended by CRLF.
void WriteCsvLine(std::ostream& out, const std::vector<std::string>& texts);

// Writes one row of values, ended by CRLF.
void WriteCsvRow(std::ostream& out, const std::vector<Value>& values);

}  // namespace kx::tables
