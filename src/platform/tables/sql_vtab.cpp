#include "platform/tables/sql_vtab.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/error.h"
#include "platform/tables/table_file.h"

namespace fs = std::filesystem;

namespace kx::tables {

namespace {

std::string AsciiLower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string QuoteIdentifier(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

// How SQLite compares a column's values with others (its affinity).
enum class Affinity { Text, Numeric, Blob };

Affinity AffinityOf(FieldKind kind) {
  switch (kind) {
    case FieldKind::Text:
    case FieldKind::Memo: return Affinity::Text;
    case FieldKind::Bytes:
    case FieldKind::Blob: return Affinity::Blob;
    default: return Affinity::Numeric;
  }
}

// Equality keys: equal keys exactly when SQLite finds the values equal
// without conversion (an integer and a real of the same value are equal).
std::string NumberKey(double d) {
  if (d >= -9.2e18 && d <= 9.2e18 && d == static_cast<double>(static_cast<int64_t>(d))) {
    int64_t i = static_cast<int64_t>(d);
    std::string key = "i";
    key.append(reinterpret_cast<const char*>(&i), sizeof i);
    return key;
  }
  std::string key = "r";
  key.append(reinterpret_cast<const char*>(&d), sizeof d);
  return key;
}

std::string IntKey(int64_t i) {
  std::string key = "i";
  key.append(reinterpret_cast<const char*>(&i), sizeof i);
  return key;
}

// Key of a table value as the column shows it; nullopt for null.
std::optional<std::string> KeyOf(const Value& v) {
  switch (v.type) {
    case Value::Type::Null: return std::nullopt;
    case Value::Type::Text: return "t" + v.text;
    case Value::Type::Int:
    case Value::Type::Bool: return IntKey(v.i);
    case Value::Type::Float: return NumberKey(v.f);
    case Value::Type::Date: return "t" + DateText(v.date);
    case Value::Type::Time: return "t" + TimeText(v.msec);
    case Value::Type::DateTime: return "t" + DateTimeText(v.date, v.msec);
    case Value::Type::Bytes: return "b" + v.text;
  }
  return std::nullopt;
}

void ResultValue(sqlite3_context* ctx, const Value& v) {
  switch (v.type) {
    case Value::Type::Null: sqlite3_result_null(ctx); return;
    case Value::Type::Text:
      sqlite3_result_text64(ctx, v.text.data(), v.text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      return;
    case Value::Type::Int:
    case Value::Type::Bool: sqlite3_result_int64(ctx, v.i); return;
    case Value::Type::Float: sqlite3_result_double(ctx, v.f); return;
    case Value::Type::Date:
    case Value::Type::Time:
    case Value::Type::DateTime: {
      std::string text = v.type == Value::Type::Date   ? DateText(v.date)
                         : v.type == Value::Type::Time ? TimeText(v.msec)
                                                       : DateTimeText(v.date, v.msec);
      sqlite3_result_text64(ctx, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      return;
    }
    case Value::Type::Bytes: sqlite3_result_blob64(ctx, v.text.data(), v.text.size(), SQLITE_TRANSIENT); return;
  }
}

// What a module registered for one table file knows.
struct FileEntry {
  fs::path path;
  OpenOptions options;
};

using RecordList = std::vector<uint32_t>;

struct VTable {
  sqlite3_vtab base{};  // first: SQLite hands out pointers to it
  std::unique_ptr<TableSource> source;
  std::vector<int> lookups;  // equality lookups so far, per column
  std::vector<std::unique_ptr<std::unordered_map<std::string, RecordList>>> hashes;  // per column, when built
  std::vector<bool> scanOnly;  // per column: values SQLite might convert, so no hash
};

struct Cursor {
  sqlite3_vtab_cursor base{};
  size_t position = 0;
  size_t end = 0;
  const RecordList* list = nullptr;  // records of an equality lookup; null for a full scan

  size_t Record() const { return list ? (*list)[position] : position; }
};

void SetVtabError(sqlite3_vtab* vtab, const std::string& message) {
  sqlite3_free(vtab->zErrMsg);
  vtab->zErrMsg = sqlite3_mprintf("%s", message.c_str());
}

int Connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char** error) {
  const auto* entry = static_cast<const FileEntry*>(aux);
  try {
    auto table = std::make_unique<VTable>();
    table->source = OpenTableFile(entry->path, entry->options);
    const auto& fields = table->source->Fields();
    std::string ddl = "CREATE TABLE x(";
    std::vector<std::string> seen;
    for (size_t i = 0; i < fields.size(); ++i) {
      // Duplicate names (real dBase files have them) get "#2", "#3"...
      std::string name = fields[i].name;
      std::string lower = AsciiLower(name);
      for (int n = 2; std::find(seen.begin(), seen.end(), lower) != seen.end(); ++n) {
        name = fields[i].name + "#" + std::to_string(n);
        lower = AsciiLower(name);
      }
      seen.push_back(lower);
      if (i) ddl += ", ";
      ddl += QuoteIdentifier(name) + " " + SqlTypeName(fields[i]);
    }
    ddl += ")";
    if (fields.empty()) ddl = "CREATE TABLE x(\"\" TEXT HIDDEN)";
    int rc = sqlite3_declare_vtab(db, ddl.c_str());
    if (rc != SQLITE_OK) {
      *error = sqlite3_mprintf("%s: %s", entry->path.string().c_str(), sqlite3_errmsg(db));
      return rc;
    }
    table->lookups.assign(fields.size(), 0);
    table->hashes.resize(fields.size());
    table->scanOnly.assign(fields.size(), false);
    *out = &table.release()->base;
    return SQLITE_OK;
  } catch (const std::exception& e) {
    *error = sqlite3_mprintf("%s", e.what());
    return SQLITE_ERROR;
  }
}

int Disconnect(sqlite3_vtab* vtab) {
  delete reinterpret_cast<VTable*>(vtab);
  return SQLITE_OK;
}

// idxNum 0: full scan; c + 1: equality on column c, the value in argv[0].
int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
  auto* table = reinterpret_cast<VTable*>(vtab);
  double rows = static_cast<double>(table->source->RecordCount()) + 1;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ || c.iColumn < 0 ||
        static_cast<size_t>(c.iColumn) >= table->source->Fields().size()) {
      continue;
    }
    const char* collation = sqlite3_vtab_collation(info, i);
    if (collation && sqlite3_stricmp(collation, "BINARY") != 0) continue;
    info->aConstraintUsage[i].argvIndex = 1;
    info->aConstraintUsage[i].omit = 0;  // SQLite checks every row again
    info->idxNum = c.iColumn + 1;
    info->estimatedCost = 10;
    info->estimatedRows = 10;
    return SQLITE_OK;
  }
  info->idxNum = 0;
  info->estimatedCost = rows;
  info->estimatedRows = static_cast<sqlite3_int64>(rows);
  return SQLITE_OK;
}

int OpenCursor(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  *out = &(new Cursor)->base;
  return SQLITE_OK;
}

int CloseCursor(sqlite3_vtab_cursor* cursor) {
  delete reinterpret_cast<Cursor*>(cursor);
  return SQLITE_OK;
}

// The key to look up for an equality with this value, when a lookup gives
// exactly the rows SQLite would find: the comparison converts nothing.
// nullopt: scan all rows instead.
std::optional<std::string> LookupKey(sqlite3_value* value, FieldKind kind) {
  Affinity affinity = AffinityOf(kind);
  bool textValues =
      affinity == Affinity::Text || kind == FieldKind::Date || kind == FieldKind::Time || kind == FieldKind::Timestamp;
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      if (affinity != Affinity::Numeric) return std::nullopt;
      return IntKey(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
      if (affinity != Affinity::Numeric) return std::nullopt;
      return NumberKey(sqlite3_value_double(value));
    case SQLITE_TEXT: {
      // Numeric affinity may turn the text into a number; the date and time
      // columns hold only text that never equals a number, so a text lookup
      // is still exact for them.
      if (!textValues) return std::nullopt;
      const char* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      return "t" + std::string(text ? text : "", static_cast<size_t>(sqlite3_value_bytes(value)));
    }
    case SQLITE_BLOB: {
      if (affinity != Affinity::Blob) return std::nullopt;
      const char* bytes = static_cast<const char*>(sqlite3_value_blob(value));
      return "b" + std::string(bytes ? bytes : "", static_cast<size_t>(sqlite3_value_bytes(value)));
    }
    default: return std::nullopt;
  }
}

// Whether SQLite compares the value as it is, without converting it, in the
// column's affinity; only then does a hash lookup find what SQLite finds.
bool FitsAffinity(const Value& v, FieldKind kind) {
  switch (v.type) {
    case Value::Type::Null: return true;
    case Value::Type::Int:
    case Value::Type::Bool:
    case Value::Type::Float: return AffinityOf(kind) == Affinity::Numeric;
    case Value::Type::Date:
    case Value::Type::Time:
    case Value::Type::DateTime:
      return kind == FieldKind::Date || kind == FieldKind::Time || kind == FieldKind::Timestamp;
    case Value::Type::Text: return AffinityOf(kind) == Affinity::Text;
    case Value::Type::Bytes: return true;  // blobs are never converted
  }
  return false;
}

const RecordList kNoRecords;

int Filter(sqlite3_vtab_cursor* base, int idxNum, const char*, int argc, sqlite3_value** argv) {
  auto* cursor = reinterpret_cast<Cursor*>(base);
  auto* table = reinterpret_cast<VTable*>(base->pVtab);
  cursor->position = 0;
  cursor->list = nullptr;
  cursor->end = table->source->RecordCount();
  if (idxNum <= 0 || argc < 1) return SQLITE_OK;
  size_t column = static_cast<size_t>(idxNum - 1);
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {  // "= NULL" is never true
    cursor->list = &kNoRecords;
    cursor->end = 0;
    return SQLITE_OK;
  }
  // One lookup is answered by a plain scan; a second one on the same column
  // means a join, which gets the hash.
  if (table->scanOnly[column] || (!table->hashes[column] && ++table->lookups[column] < 2)) return SQLITE_OK;
  FieldKind kind = table->source->Fields()[column].kind;
  std::optional<std::string> key = LookupKey(argv[0], kind);
  if (!key) return SQLITE_OK;
  try {
    if (!table->hashes[column]) {
      auto hash = std::make_unique<std::unordered_map<std::string, RecordList>>();
      size_t count = table->source->RecordCount();
      for (size_t r = 0; r < count; ++r) {
        Value v = table->source->Get(r, column);
        if (!FitsAffinity(v, kind)) {
          table->scanOnly[column] = true;
          return SQLITE_OK;
        }
        if (auto k = KeyOf(v)) (*hash)[*k].push_back(static_cast<uint32_t>(r));
      }
      table->hashes[column] = std::move(hash);
    }
  } catch (const std::exception& e) {
    SetVtabError(base->pVtab, e.what());
    return SQLITE_ERROR;
  }
  auto found = table->hashes[column]->find(*key);
  cursor->list = found == table->hashes[column]->end() ? &kNoRecords : &found->second;
  cursor->end = cursor->list->size();
  return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* base) {
  ++reinterpret_cast<Cursor*>(base)->position;
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* base) {
  auto* cursor = reinterpret_cast<Cursor*>(base);
  return cursor->position >= cursor->end;
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* ctx, int column) {
  auto* cursor = reinterpret_cast<Cursor*>(base);
  auto* table = reinterpret_cast<VTable*>(base->pVtab);
  if (column < 0 || static_cast<size_t>(column) >= table->source->Fields().size()) {
    sqlite3_result_null(ctx);
    return SQLITE_OK;
  }
  try {
    ResultValue(ctx, table->source->Get(cursor->Record(), static_cast<size_t>(column)));
  } catch (const std::exception& e) {
    sqlite3_result_error(ctx, e.what(), -1);
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

int RowId(sqlite3_vtab_cursor* base, sqlite3_int64* rowid) {
  *rowid = static_cast<sqlite3_int64>(reinterpret_cast<Cursor*>(base)->Record()) + 1;
  return SQLITE_OK;
}

sqlite3_module MakeModule() {
  sqlite3_module m{};
  m.iVersion = 1;
  m.xCreate = nullptr;  // eponymous only: the table exists under the module's name
  m.xConnect = Connect;
  m.xBestIndex = BestIndex;
  m.xDisconnect = Disconnect;
  m.xDestroy = Disconnect;
  m.xOpen = OpenCursor;
  m.xClose = CloseCursor;
  m.xFilter = Filter;
  m.xNext = Next;
  m.xEof = Eof;
  m.xColumn = Column;
  m.xRowid = RowId;
  return m;
}

const sqlite3_module kModule = MakeModule();

bool HasExtension(const fs::path& path, const char* lowerExt) {
  return AsciiLower(path.extension().string()) == lowerExt;
}

}  // namespace

void RegisterTableFolder(sqlite3* db, const fs::path& folder, const OpenOptions& options) {
  // One eponymous module per table name; Paradox wins over dBase of the same
  // name, and among names differing only in case, the first in sorted order.
  std::map<std::string, fs::path> byName;
  std::error_code ec;
  std::vector<fs::path> files;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    const fs::path& p = it->path();
    if (HasExtension(p, ".db") || HasExtension(p, ".dbf")) files.push_back(p);
  }
  if (ec)
    throw Error(Format("Nie można odczytać folderu bazy danych %s: %s", folder.string().c_str(), ec.message().c_str()));
  std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
    bool aParadox = HasExtension(a, ".db"), bParadox = HasExtension(b, ".db");
    if (aParadox != bParadox) return aParadox;
    return a.filename() < b.filename();
  });
  for (const fs::path& p : files) byName.emplace(AsciiLower(p.stem().string()), p);
  for (const auto& [name, path] : byName) {
    auto* entry = new FileEntry{path, options};
    int rc = sqlite3_create_module_v2(db, path.stem().string().c_str(), &kModule, entry,
                                      [](void* p) { delete static_cast<FileEntry*>(p); });
    if (rc != SQLITE_OK) {
      throw Error(
          Format("Nie można udostępnić tabeli %s w zapytaniu SQL: %s", path.string().c_str(), sqlite3_errmsg(db)));
    }
  }
}

std::string SqlTypeName(const FieldDef& field) {
  switch (field.kind) {
    case FieldKind::Text: return field.size > 0 ? "VARCHAR(" + std::to_string(field.size) + ")" : "TEXT";
    case FieldKind::Memo: return "CLOB";
    case FieldKind::Short: return "SMALLINT";
    case FieldKind::Integer:
    case FieldKind::AutoInc: return "INTEGER";
    case FieldKind::Number: return "DOUBLE";
    case FieldKind::Currency: return "MONEY";
    case FieldKind::Bcd: return "DECIMAL";
    case FieldKind::Logical: return "BOOLEAN";
    case FieldKind::Date: return "DATE";
    case FieldKind::Time: return "TIME";
    case FieldKind::Timestamp: return "TIMESTAMP";
    case FieldKind::Bytes:
    case FieldKind::Blob: return "BLOB";
  }
  return "TEXT";
}

std::optional<FieldDef> FieldFromSqlType(const std::string& declaredType) {
  std::string t = AsciiLower(declaredType);
  FieldDef def;
  if (t.rfind("varchar(", 0) == 0) {
    def.kind = FieldKind::Text;
    def.size = std::atoi(t.c_str() + 8);
    return def;
  }
  static const std::map<std::string, FieldKind> kKinds = {
      {"text", FieldKind::Text},       {"clob", FieldKind::Memo},           {"smallint", FieldKind::Short},
      {"integer", FieldKind::Integer}, {"double", FieldKind::Number},       {"money", FieldKind::Currency},
      {"decimal", FieldKind::Bcd},     {"boolean", FieldKind::Logical},     {"date", FieldKind::Date},
      {"time", FieldKind::Time},       {"timestamp", FieldKind::Timestamp}, {"blob", FieldKind::Blob}};
  auto found = kKinds.find(t);
  if (found == kKinds.end()) return std::nullopt;
  def.kind = found->second;
  return def;
}

}  // namespace kx::tables
