#pragma once
// SQL queries over the table files of a database folder (SQLite's dialect;
// every .db and .dbf file of the folder is a table named after its file, see
// sql_vtab.h). The text is kept as lines so that a line can be replaced by
// its index; parameters are named (":Name") whole numbers. An open query
// stands on one row of its result at a time and shows it through Field
// objects, like a table.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/tables/field.h"
#include "platform/tables/session.h"
#include "platform/tables/table_source.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kx::tables {

class Query {
 public:
  explicit Query(Session& session);
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Session& GetSession() { return m_session; }

  // The folder whose table files the SQL sees (the current folder when empty).
  void SetDatabaseName(std::filesystem::path folder);
  const std::filesystem::path& DatabaseName() const { return m_databaseName; }
  // How the table files are opened (code pages, password).
  void SetOpenOptions(OpenOptions options) { m_openOptions = std::move(options); }

  // The SQL text. Changing it closes an open query. Loading reads UTF-8
  // (with or without a byte-order mark), or Windows-1250 text; lines keep
  // their order, the ends of lines are dropped.
  void LoadFromFile(const std::filesystem::path& sqlFile);
  void SetSql(std::vector<std::string> lines);
  const std::vector<std::string>& SqlLines() const { return m_lines; }
  std::string SqlText() const;
  // Replaces line `index` (from 0); an index past the last line fails.
  void SetLine(size_t index, std::string line);
  // Writes the lines to a file (replaced atomically).
  void SaveToFile(const std::filesystem::path& file) const;
  // The file the SQL came from, named in messages (empty when set directly).
  const std::filesystem::path& SourceFile() const { return m_sourceFile; }
  // The query as messages name it: its file, or "(tekst zapytania)".
  std::string DisplayName() const;

  // Named whole-number parameters, matched without regard to letter case.
  // Every parameter of the SQL must have a value, and every value set must
  // belong to a parameter of the SQL, or Open fails.
  void SetParam(const std::string& name, int64_t value);
  void ClearParams() { m_params.clear(); }

  // Bounds of one query's work: wall time from Open and steps of the SQL
  // engine (in thousands). A query beyond either is stopped with a Polish
  // message naming the query and the bound.
  static constexpr int kDefaultTimeLimitSeconds = 600;
  static constexpr uint64_t kDefaultStepLimit = 50'000'000;  // thousands of steps
  void SetTimeLimit(int seconds) { m_timeLimitSeconds = seconds; }
  int TimeLimit() const { return m_timeLimitSeconds; }
  void SetStepLimit(uint64_t thousands) { m_stepLimit = thousands; }

  // The progress handler's count and deadline, and why it stopped the query.
  struct Budget {
    uint64_t steps = 0;
    uint64_t limit = 0;
    int64_t deadlineMs = 0;
    enum class Stop { None, Time, Steps } stop = Stop::None;
  };

  // Runs the SQL and stands on the first row. Activates an inactive session.
  // Only reading statements on the folder's tables run: attaching databases,
  // pragmas, VACUUM, DDL and DML and loading extensions are refused.
  // Failures (no folder, SQL errors, a table file that cannot be read) throw
  // kx::Error naming the query file and quoting SQLite's message.
  void Open();
  void Close();
  bool Active() const { return m_statement != nullptr; }

  bool IsEmpty() const;  // the result has no rows
  void First();          // back to the first row (runs the SQL again when needed)
  void Next();
  bool Eof() const { return m_eof; }

  // Result columns. A column that is a plain table column keeps its field's
  // kind, and its values their type (dates as dates, logicals as logicals);
  // other columns are typed by their first value. A name repeated in the
  // result gets "_1", "_2"... as its later copies.
  const std::vector<FieldDef>& Fields() const { return m_fieldDefs; }
  // Whether result column `column` is a plain table column (its kind is then
  // the table field's own).
  bool IsTableColumn(size_t column) const { return column < m_hasDeclaredKind.size() && m_hasDeclaredKind[column]; }
  const std::vector<Value>& CurrentRow() const { return m_row; }
  // Fails with kx::Error naming the query when there is no such field.
  Field& FieldByName(const std::string& name);
  Field* FindField(const std::string& name);

 private:
  [[noreturn]] void Fail(const std::string& what) const;
  std::string SqlMessage(int code) const;
  void Prepare();
  void BindParams();
  void DescribeColumns();
  void Step();

  Session& m_session;
  std::filesystem::path m_databaseName;
  OpenOptions m_openOptions;
  std::vector<std::string> m_lines;
  std::filesystem::path m_sourceFile;
  std::map<std::string, std::pair<std::string, int64_t>> m_params;  // upper-case name: name, value

  sqlite3* m_db = nullptr;
  sqlite3_stmt* m_statement = nullptr;
  std::vector<FieldDef> m_fieldDefs;
  std::vector<FieldKind> m_declaredKinds;
  std::vector<bool> m_hasDeclaredKind;
  std::vector<Value> m_row;
  std::vector<std::unique_ptr<Field>> m_fields;
  bool m_eof = true;
  bool m_empty = true;
  size_t m_rowNumber = 0;
  int m_timeLimitSeconds = kDefaultTimeLimitSeconds;
  uint64_t m_stepLimit = kDefaultStepLimit;
  Budget m_budget;
};

// Copies the whole result of the query (opened when it is not) into a Paradox
// table, which is created or replaced with everything that belonged to it
// (.px, .mb, secondary indexes). The table gets a primary index over the
// fields named in indexFieldNames ("F1;F2", blanks around names allowed):
// the index fields become the table's leading fields, in index order, the
// other fields follow in the query's order (Paradox keys must lead). Reading
// the table back gives index order, nulls first. Two rows with equal keys
// fail (a primary key is unique), as does a missing folder. The query is
// left open on its first row. A path without extension gets ".db".
//
// Field kinds: a column that is a plain table column keeps its field's kind
// (BCD becomes Number); other columns take the kind of their values: whole
// numbers Long Integer (Number beyond 32 bits), decimals Number, text Alpha
// as wide as the longest value (Memo beyond 255 characters), binary Blob, and
// Number for a column that is null in every row.
void CopyQueryToTable(Query& query, const std::filesystem::path& tableFile, const std::string& indexFieldNames);

}  // namespace kx::tables
