#pragma once
// SQL over table files: a SQLite virtual-table module that shows every table
// file of a folder (.db Paradox, .dbf dBase, any letter case) under its file
// name without extension. Names are matched without regard to the case of
// ASCII letters; when a folder holds both NAME.db and NAME.dbf, the Paradox
// table is the one seen. A file is opened only when a statement names it, so
// a folder of hundreds of tables costs nothing until used.
//
// Columns carry the fields' names and these values:
//   Text, Memo                         TEXT
//   Short, Integer, AutoInc            INTEGER
//   Number, Currency, BCD              REAL
//   Logical                            INTEGER 0/1
//   Date                               TEXT 'yyyy-MM-dd'
//   Time                               TEXT 'HH:mm:ss.zzz'
//   Timestamp                          TEXT 'yyyy-MM-dd HH:mm:ss'
//   Bytes, Blob, Graphic, OLE          BLOB
//   null                               NULL
// The declared column types (SqlTypeName) let a result column that is a plain
// table column be told apart: dates from other text, logicals from integers.
//
// A scan reads the records one by one through TableSource::Get. An equality
// constraint that is looked up repeatedly (the inner side of a join) gets an
// in-memory hash of that one column's values to record numbers, built on the
// second lookup, so joins stay linear.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/tables/table_source.h"

struct sqlite3;

namespace kx::tables {

// Makes the table files of the folder visible on the connection. The
// connection must outlive nothing of ours: everything registered is released
// when it closes.
void RegisterTableFolder(sqlite3* db, const std::filesystem::path& folder, const OpenOptions& options);

// The declared SQL type of a field's column, and back (nullopt for a type
// that no table column carries, such as the result of an expression).
std::string SqlTypeName(const FieldDef& field);
std::optional<FieldDef> FieldFromSqlType(const std::string& declaredType);

}  // namespace kx::tables
