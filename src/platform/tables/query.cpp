#include "platform/tables/query.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include "platform/error.h"
#include "platform/tables/paradox_writer.h"
#include "platform/tables/sql_vtab.h"
#include "platform/text_utils.h"

namespace fs = std::filesystem;

namespace kx::tables {

namespace {

std::optional<Date> ParseDate(const std::string& s) {
  int y = 0, m = 0, d = 0, n = 0;
  if (std::sscanf(s.c_str(), "%d-%d-%d%n", &y, &m, &d, &n) != 3 || static_cast<size_t>(n) != s.size()) {
    return std::nullopt;
  }
  return Date{y, m, d};
}

std::optional<int32_t> ParseTime(const std::string& s) {
  int h = 0, mi = 0, sec = 0, ms = 0, n = 0;
  if (std::sscanf(s.c_str(), "%d:%d:%d.%d%n", &h, &mi, &sec, &ms, &n) != 4 || static_cast<size_t>(n) != s.size()) {
    return std::nullopt;
  }
  return ((h * 60 + mi) * 60 + sec) * 1000 + ms;
}

std::optional<std::pair<Date, int32_t>> ParseTimestamp(const std::string& s) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, n = 0;
  if (std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d%n", &y, &mo, &d, &h, &mi, &sec, &n) != 6 ||
      static_cast<size_t>(n) != s.size()) {
    return std::nullopt;
  }
  return std::make_pair(Date{y, mo, d}, ((h * 60 + mi) * 60 + sec) * 1000);
}

// The value of a result column, typed back by the declared kind of the table
// column it comes from (dates, times, logicals travel through SQL as text and
// integers).
Value ColumnValue(sqlite3_stmt* statement, int column, const FieldKind* declared) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL: return Value::Null();
    case SQLITE_INTEGER: {
      int64_t i = sqlite3_column_int64(statement, column);
      if (declared && *declared == FieldKind::Logical) return Value::FromBool(i != 0);
      return Value::FromInt(i);
    }
    case SQLITE_FLOAT: return Value::FromFloat(sqlite3_column_double(statement, column));
    case SQLITE_BLOB: {
      const char* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
      return Value::FromBytes(
          std::string(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(statement, column))));
    }
    default: {
      const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      std::string s(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(statement, column)));
      if (declared) {
        if (*declared == FieldKind::Date) {
          if (auto d = ParseDate(s)) return Value::FromDate(*d);
        } else if (*declared == FieldKind::Time) {
          if (auto t = ParseTime(s)) return Value::FromTime(*t);
        } else if (*declared == FieldKind::Timestamp) {
          if (auto ts = ParseTimestamp(s)) return Value::FromDateTime(ts->first, ts->second);
        }
      }
      return Value::FromText(std::move(s));
    }
  }
}

FieldKind KindOfValue(const Value& v) {
  switch (v.type) {
    case Value::Type::Int: return FieldKind::Integer;
    case Value::Type::Float: return FieldKind::Number;
    case Value::Type::Bool: return FieldKind::Logical;
    case Value::Type::Date: return FieldKind::Date;
    case Value::Type::Time: return FieldKind::Time;
    case Value::Type::DateTime: return FieldKind::Timestamp;
    case Value::Type::Bytes: return FieldKind::Blob;
    default: return FieldKind::Text;
  }
}

size_t Utf8Length(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// Writes a text file next to its final place, then renames it over.
void WriteFileAtomically(const fs::path& file, const std::string& bytes) {
  fs::path temp = file;
  temp += ".kxtmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      std::error_code ignored;
      fs::remove(temp, ignored);
      throw Error(Format("Nie można zapisać pliku %s.", file.string().c_str()));
    }
  }
  std::error_code ec;
  fs::rename(temp, file, ec);
  if (ec) {
    fs::remove(temp, ec);
    throw Error(Format("Nie można zapisać pliku %s.", file.string().c_str()));
  }
}

}  // namespace

Query::Query(Session& session) : m_session(session) {}

Query::~Query() { Close(); }

void Query::SetDatabaseName(fs::path folder) {
  Close();
  m_databaseName = std::move(folder);
}

void Query::LoadFromFile(const fs::path& sqlFile) {
  std::ifstream in(sqlFile, std::ios::binary);
  if (!in) throw Error(Format("Nie można otworzyć pliku zapytania %s.", sqlFile.string().c_str()));
  std::stringstream bytes;
  bytes << in.rdbuf();
  Close();
  m_lines = SplitLines(DecodeTextFile(bytes.str()));
  m_sourceFile = sqlFile;
}

void Query::SetSql(std::vector<std::string> lines) {
  Close();
  m_lines = std::move(lines);
  m_sourceFile.clear();
}

std::string Query::SqlText() const {
  std::string text;
  for (const auto& line : m_lines) {
    text += line;
    text += '\n';
  }
  return text;
}

void Query::SetLine(size_t index, std::string line) {
  if (index >= m_lines.size()) {
    throw Error(Format("Zapytanie %s ma %zu wierszy; nie ma wiersza o numerze %zu.", DisplayName().c_str(),
                       m_lines.size(), index));
  }
  Close();
  m_lines[index] = std::move(line);
}

void Query::SaveToFile(const fs::path& file) const {
#ifdef _WIN32
  const char* lineEnd = "\r\n";
#else
  const char* lineEnd = "\n";
#endif
  std::string text;
  for (const auto& line : m_lines) text += line + lineEnd;
  WriteFileAtomically(file, text);
}

void Query::SetParam(const std::string& name, int64_t value) {
  std::string key = name;
  if (!key.empty() && (key[0] == ':' || key[0] == '@' || key[0] == '$')) key.erase(0, 1);
  m_params[UpperCase(key)] = {key, value};
}

std::string Query::DisplayName() const {
  return m_sourceFile.empty() ? std::string("(tekst zapytania)") : m_sourceFile.string();
}

void Query::Fail(const std::string& what) const {
  throw Error(Format("Błąd zapytania SQL %s: %s", DisplayName().c_str(), what.c_str()));
}

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Called every thousand steps of the SQL engine: stops the query beyond its
// bounds.
int OnProgress(void* data) {
  auto* budget = static_cast<Query::Budget*>(data);
  if (++budget->steps > budget->limit) {
    budget->stop = Query::Budget::Stop::Steps;
    return 1;
  }
  if ((budget->steps & 0xFF) == 0 && NowMs() > budget->deadlineMs) {
    budget->stop = Query::Budget::Stop::Time;
    return 1;
  }
  return 0;
}

// Only reading: the folder's tables, functions (without loading extensions)
// and recursive common table expressions.
int Authorize(void*, int action, const char* what, const char*, const char*, const char*) {
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_RECURSIVE: return SQLITE_OK;
    case SQLITE_FUNCTION: return what && LowerCase(what) == "load_extension" ? SQLITE_DENY : SQLITE_OK;
    // Declaring a folder table's columns touches the schema table; a user's
    // statement that would is refused before it runs (it is no SELECT).
    case SQLITE_UPDATE: return what && std::string_view(what) == "sqlite_master" ? SQLITE_OK : SQLITE_DENY;
    default: return SQLITE_DENY;
  }
}

// The first word of the SQL text, skipping blanks and comments.
std::string FirstWord(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    if (std::isspace(static_cast<unsigned char>(text[i]))) {
      ++i;
    } else if (text.compare(i, 2, "--") == 0) {
      i = text.find('\n', i);
      if (i == std::string::npos) return {};
    } else if (text.compare(i, 2, "/*") == 0) {
      i = text.find("*/", i + 2);
      if (i == std::string::npos) return {};
      i += 2;
    } else {
      break;
    }
  }
  size_t end = i;
  while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
  return LowerCase(text.substr(i, end - i));
}

}  // namespace

// SQLite's message in Polish, its own words after it for experts.
std::string Query::SqlMessage(int code) const {
  const std::string own = m_db ? sqlite3_errmsg(m_db) : "";
  const int primary = code & 0xFF;
  if (primary == SQLITE_INTERRUPT) {
    if (m_budget.stop == Budget::Stop::Time) {
      return Format("przerwano po %d s (limit czasu zapytania; opcja --timeout)", m_timeLimitSeconds);
    }
    return "przerwano: zapytanie wykonało zbyt wiele kroków (zbyt duży wynik pośredni)";
  }
  if (primary == SQLITE_AUTH || own.find("not authorized") != std::string::npos ||
      own.find("may not be modified") != std::string::npos) {
    return "polecenie niedozwolone: zapytanie może tylko odczytywać tabele folderu (" + own + ")";
  }
  if (primary == SQLITE_NOMEM) return "brak pamięci (zamknij inne programy)";
  if (own.find("syntax error") != std::string::npos || own.find("incomplete input") != std::string::npos) {
    return "błąd składni SQL (" + own + ")";
  }
  const std::pair<const char*, const char*> prefixes[] = {{"no such table: ", "nie ma tabeli "},
                                                          {"no such column: ", "nie ma pola "},
                                                          {"no such function: ", "nie ma funkcji "},
                                                          {"ambiguous column name: ", "niejednoznaczna nazwa pola "}};
  for (const auto& [english, polish] : prefixes) {
    if (own.rfind(english, 0) == 0) return polish + own.substr(std::string(english).size()) + " (" + own + ")";
  }
  return "błąd SQL (" + own + ")";
}

void Query::Open() {
  if (Active()) return;
  if (!m_session.Active()) m_session.Activate();
  fs::path folder = m_databaseName.empty() ? fs::current_path() : m_databaseName;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    throw Error(Format("Nie ma folderu bazy danych %s zapytania %s.", folder.string().c_str(), DisplayName().c_str()));
  }
  try {
    if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      Fail(m_db ? SqlMessage(sqlite3_errcode(m_db)) : "brak pamięci");
    }
    sqlite3_limit(m_db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    // "Name" is always a name: a misspelt field must fail, not turn into the
    // text 'Name' as SQLite would otherwise allow.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    RegisterTableFolder(m_db, folder, m_openOptions);
    sqlite3_set_authorizer(m_db, Authorize, nullptr);
    m_budget = Budget{};
    m_budget.limit = m_stepLimit;
    m_budget.deadlineMs = NowMs() + int64_t{m_timeLimitSeconds} * 1000;
    sqlite3_progress_handler(m_db, 1000, OnProgress, &m_budget);
    Prepare();
    BindParams();
    DescribeColumns();
    m_rowNumber = 0;
    Step();
    m_empty = m_eof;
    // Columns that are no table column take the kind of their first value.
    if (!m_empty) {
      for (size_t i = 0; i < m_fieldDefs.size(); ++i) {
        if (!m_hasDeclaredKind[i]) m_fieldDefs[i].kind = KindOfValue(m_row[i]);
      }
    }
    m_fields.clear();
    for (size_t i = 0; i < m_fieldDefs.size(); ++i)
      m_fields.push_back(std::make_unique<Field>(m_fieldDefs[i], &m_row[i]));
  } catch (...) {
    Close();
    throw;
  }
}

void Query::Prepare() {
  std::string text = SqlText();
  const char* tail = nullptr;
  if (int rc = sqlite3_prepare_v2(m_db, text.c_str(), static_cast<int>(text.size()), &m_statement, &tail);
      rc != SQLITE_OK) {
    Fail(SqlMessage(sqlite3_extended_errcode(m_db)));
  }
  if (!m_statement) throw Error(Format("Zapytanie %s nie zawiera polecenia SQL.", DisplayName().c_str()));
  const std::string word = FirstWord(text);
  if (!sqlite3_stmt_readonly(m_statement) || (word != "select" && word != "with" && word != "values")) {
    Fail(Format("polecenie niedozwolone: zapytanie może tylko odczytywać tabele folderu (%s)", word.c_str()));
  }
  // A second statement would be silently ignored: refuse it.
  sqlite3_stmt* next = nullptr;
  const char* rest = tail;
  int rc = sqlite3_prepare_v2(m_db, rest, -1, &next, nullptr);
  if (next) {
    sqlite3_finalize(next);
    throw Error(Format("Zapytanie %s zawiera więcej niż jedno polecenie SQL.", DisplayName().c_str()));
  }
  if (rc != SQLITE_OK) Fail(SqlMessage(rc));
}

void Query::BindParams() {
  std::vector<std::string> used;
  int count = sqlite3_bind_parameter_count(m_statement);
  for (int i = 1; i <= count; ++i) {
    const char* name = sqlite3_bind_parameter_name(m_statement, i);
    if (!name || !name[1]) {
      throw Error(
          Format("Zapytanie %s ma parametr bez nazwy; parametry zapisuje się jako :Nazwa.", DisplayName().c_str()));
    }
    std::string key = UpperCase(name + 1);
    auto found = m_params.find(key);
    if (found == m_params.end()) {
      throw Error(Format("Brak wartości parametru %s zapytania %s.", name, DisplayName().c_str()));
    }
    sqlite3_bind_int64(m_statement, i, found->second.second);
    used.push_back(key);
  }
  for (const auto& [key, param] : m_params) {
    if (std::find(used.begin(), used.end(), key) == used.end()) {
      throw Error(Format("Zapytanie %s nie ma parametru :%s.", DisplayName().c_str(), param.first.c_str()));
    }
  }
}

void Query::DescribeColumns() {
  int count = sqlite3_column_count(m_statement);
  m_fieldDefs.clear();
  m_declaredKinds.clear();
  m_hasDeclaredKind.clear();
  std::vector<std::string> upperNames;
  for (int i = 0; i < count; ++i) {
    FieldDef def;
    const char* declared = sqlite3_column_decltype(m_statement, i);
    std::optional<FieldDef> fromType = declared ? FieldFromSqlType(declared) : std::nullopt;
    if (fromType) def = *fromType;
    m_hasDeclaredKind.push_back(fromType.has_value());
    m_declaredKinds.push_back(def.kind);
    const char* name = sqlite3_column_name(m_statement, i);
    std::string base = name ? name : "";
    def.name = base;
    for (int n = 1; std::find(upperNames.begin(), upperNames.end(), UpperCase(def.name)) != upperNames.end(); ++n) {
      def.name = base + "_" + std::to_string(n);
    }
    upperNames.push_back(UpperCase(def.name));
    m_fieldDefs.push_back(def);
  }
  m_row.assign(m_fieldDefs.size(), Value::Null());
}

void Query::Step() {
  int rc = sqlite3_step(m_statement);
  if (rc == SQLITE_ROW) {
    for (size_t i = 0; i < m_row.size(); ++i) {
      m_row[i] = ColumnValue(m_statement, static_cast<int>(i), m_hasDeclaredKind[i] ? &m_declaredKinds[i] : nullptr);
    }
    m_eof = false;
    return;
  }
  for (auto& v : m_row) v = Value::Null();
  m_eof = true;
  if (rc != SQLITE_DONE) Fail(SqlMessage(sqlite3_extended_errcode(m_db)));
}

void Query::Close() {
  if (m_statement) sqlite3_finalize(m_statement);
  m_statement = nullptr;
  if (m_db) sqlite3_close_v2(m_db);
  m_db = nullptr;
  m_fields.clear();
  m_row.clear();
  m_eof = true;
  m_empty = true;
  m_rowNumber = 0;
}

bool Query::IsEmpty() const { return !Active() || m_empty; }

void Query::First() {
  if (!Active()) Open();
  if (m_rowNumber == 0 && (!m_eof || m_empty)) return;
  sqlite3_reset(m_statement);
  m_rowNumber = 0;
  Step();
}

void Query::Next() {
  if (!Active() || m_eof) return;
  ++m_rowNumber;
  Step();
}

Field* Query::FindField(const std::string& name) {
  std::string upper = UpperCase(name);
  for (auto& field : m_fields) {
    if (UpperCase(field->Name()) == upper) return field.get();
  }
  return nullptr;
}

Field& Query::FieldByName(const std::string& name) {
  if (Field* field = FindField(name)) return *field;
  if (!Active()) throw Error(Format("Zapytanie %s nie jest otwarte.", DisplayName().c_str()));
  throw Error(Format("Zapytanie %s nie ma pola %s.", DisplayName().c_str(), name.c_str()));
}

// --- Copying a result into a table ---

namespace {

// Key order as the table keeps it: nulls first; empty text is stored as null.
int CompareValues(const Value& a, const Value& b) {
  auto isNull = [](const Value& v) { return v.IsNull() || (v.type == Value::Type::Text && v.text.empty()); };
  if (isNull(a) || isNull(b)) return isNull(a) == isNull(b) ? 0 : (isNull(a) ? -1 : 1);
  auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (a.type) {
    case Value::Type::Int:
    case Value::Type::Bool: return b.type == Value::Type::Float ? sign(double(a.i), b.f) : sign(a.i, b.i);
    case Value::Type::Float: return sign(a.f, b.type == Value::Type::Float ? b.f : double(b.i));
    case Value::Type::Date: return sign(a.date, b.date);
    case Value::Type::Time: return sign(a.msec, b.msec);
    case Value::Type::DateTime: return a.date != b.date ? sign(a.date, b.date) : sign(a.msec, b.msec);
    default: return a.text.compare(b.text) < 0 ? -1 : (a.text == b.text ? 0 : 1);
  }
}

// What the values of one result column turned out to be.
struct ColumnSeen {
  bool text = false, integer = false, real = false, logical = false, date = false, time = false, timestamp = false,
       bytes = false;
  int64_t minInt = 0, maxInt = 0;
  size_t maxChars = 0;

  void Add(const Value& v) {
    switch (v.type) {
      case Value::Type::Null: break;
      case Value::Type::Text:
        text = true;
        maxChars = std::max(maxChars, Utf8Length(v.text));
        break;
      case Value::Type::Int:
        minInt = integer ? std::min(minInt, v.i) : v.i;
        maxInt = integer ? std::max(maxInt, v.i) : v.i;
        integer = true;
        break;
      case Value::Type::Float: real = true; break;
      case Value::Type::Bool: logical = true; break;
      case Value::Type::Date: date = true; break;
      case Value::Type::Time: time = true; break;
      case Value::Type::DateTime: timestamp = true; break;
      case Value::Type::Bytes: bytes = true; break;
    }
  }
  int Kinds() const { return text + integer + real + logical + date + time + timestamp + bytes; }
  bool FitsIn(int64_t low, int64_t high) const { return !integer || (minInt >= low && maxInt <= high); }
};

FieldDef TextField(size_t chars) {
  FieldDef def;
  if (chars > 255) {
    def.kind = FieldKind::Memo;
    def.code = 'M';
  } else {
    def.kind = FieldKind::Text;
    def.size = static_cast<int>(std::max<size_t>(chars, 1));
  }
  return def;
}

FieldDef IntegerField(const ColumnSeen& seen, bool shortAllowed) {
  FieldDef def;
  // clang-format off
  if (shortAllowed && seen.FitsIn(-32767, 32767)) def.kind = FieldKind::Short;
  else if (seen.FitsIn(-2147483647, 2147483647)) def.kind = FieldKind::Integer;
  else def.kind = FieldKind::Number;
  // clang-format on
  return def;
}

// The table field for a result column: the declared kind when the values fit
// it, else the kind of the values.
FieldDef ChooseField(const FieldDef& declared, bool hasDeclared, const ColumnSeen& seen) {
  int kinds = seen.Kinds();
  if (hasDeclared) {
    switch (declared.kind) {
      case FieldKind::Text:
        if (kinds == 0 || (kinds == 1 && seen.text)) {
          return TextField(std::max(seen.maxChars, static_cast<size_t>(std::max(declared.size, 0))));
        }
        break;
      case FieldKind::Memo:
        if (kinds == 0 || (kinds == 1 && seen.text)) return TextField(256);
        break;
      case FieldKind::Short:
      case FieldKind::Integer:
      case FieldKind::AutoInc:
        if (kinds == 0 || (kinds == 1 && seen.integer)) return IntegerField(seen, declared.kind == FieldKind::Short);
        break;
      case FieldKind::Number:
      case FieldKind::Bcd:
      case FieldKind::Currency:
        if (kinds == (seen.integer + seen.real)) {
          FieldDef def;
          def.kind = declared.kind == FieldKind::Currency ? FieldKind::Currency : FieldKind::Number;
          return def;
        }
        break;
      case FieldKind::Logical:
      case FieldKind::Date:
      case FieldKind::Time:
      case FieldKind::Timestamp: {
        bool only = kinds == 0 || (kinds == 1 && ((declared.kind == FieldKind::Logical && seen.logical) ||
                                                  (declared.kind == FieldKind::Date && seen.date) ||
                                                  (declared.kind == FieldKind::Time && seen.time) ||
                                                  (declared.kind == FieldKind::Timestamp && seen.timestamp)));
        if (only) {
          FieldDef def;
          def.kind = declared.kind;
          return def;
        }
        break;
      }
      case FieldKind::Bytes:
      case FieldKind::Blob:
        if (kinds == 0 || (kinds == 1 && seen.bytes)) {
          FieldDef def;
          def.kind = FieldKind::Blob;
          return def;
        }
        break;
    }
  }
  FieldDef def;
  if (kinds == 0) {
    def.kind = FieldKind::Number;
  } else if (seen.bytes) {
    def.kind = FieldKind::Blob;
  } else if (kinds == 1 && (seen.logical || seen.date || seen.time || seen.timestamp)) {
    def.kind = seen.logical ? FieldKind::Logical
               : seen.date  ? FieldKind::Date
               : seen.time  ? FieldKind::Time
                            : FieldKind::Timestamp;
  } else if (kinds == (seen.integer + seen.real)) {
    def = seen.real ? FieldDef{} : IntegerField(seen, false);
    if (seen.real) def.kind = FieldKind::Number;
  } else {
    // Mixed kinds: everything as text. Numbers may then be wider than the
    // text seen so far; measure them as written.
    def = TextField(std::max<size_t>(seen.maxChars, 40));
  }
  return def;
}

std::string TextOf(const Value& v) {
  switch (v.type) {
    case Value::Type::Text:
    case Value::Type::Bytes: return v.text;
    case Value::Type::Int: return std::to_string(v.i);
    case Value::Type::Float: return NumberText(v.f);
    case Value::Type::Bool: return v.i ? "True" : "False";
    case Value::Type::Date: return DateText(v.date);
    case Value::Type::Time: return TimeText(v.msec);
    case Value::Type::DateTime: return DateTimeText(v.date, v.msec);
    default: return {};
  }
}

Value ConvertTo(const Value& v, FieldKind kind) {
  if (v.IsNull()) return v;
  switch (kind) {
    case FieldKind::Text:
    case FieldKind::Memo: return v.type == Value::Type::Text ? v : Value::FromText(TextOf(v));
    case FieldKind::Short:
    case FieldKind::Integer:
    case FieldKind::AutoInc: return Value::FromInt(v.i);
    case FieldKind::Number:
    case FieldKind::Currency:
    case FieldKind::Bcd: return v.type == Value::Type::Float ? v : Value::FromFloat(static_cast<double>(v.i));
    case FieldKind::Logical: return Value::FromBool(v.i != 0);
    case FieldKind::Bytes:
    case FieldKind::Blob: return v.type == Value::Type::Bytes ? v : Value::FromBytes(TextOf(v));
    default: return v;
  }
}

bool IsFamilyExtension(std::string ext) {
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".db" || ext == ".px" || ext == ".mb" || ext == ".val" || ext == ".tv" || ext == ".fam") return true;
  // Secondary indexes: .Xnn/.Ynn and .XGn/.YGn.
  auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  if (ext.size() == 4 && (ext[1] == 'x' || ext[1] == 'y')) {
    return (hex(ext[2]) && hex(ext[3])) || (ext[2] == 'g' && hex(ext[3]));
  }
  return false;
}

// Writes the table in a fresh subfolder beside it, then moves its files into
// place, so that a failed write leaves the old table whole.
void ReplaceParadoxTable(const fs::path& dbFile, const std::vector<FieldDef>& fields,
                         const std::vector<std::vector<Value>>& rows, size_t keyFields) {
  fs::path folder = dbFile.parent_path().empty() ? fs::path(".") : dbFile.parent_path();
  std::mt19937_64 random(std::random_device{}());
  fs::path work;
  std::error_code ec;
  for (int attempt = 0; attempt < 100; ++attempt) {
    work = folder / (".kxnew-" + std::to_string(random() % 1000000000));
    if (fs::create_directory(work, ec)) break;
    work.clear();
  }
  if (work.empty()) throw Error(Format("Nie można utworzyć tabeli %s.", dbFile.string().c_str()));
  struct Cleanup {
    fs::path dir;
    ~Cleanup() {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    }
  } cleanup{work};

  ParadoxWriteOptions options;
  options.keyFields = keyFields;
  WriteParadoxTable(work / dbFile.filename(), fields, rows, options);

  std::vector<fs::path> written;
  for (const auto& entry : fs::directory_iterator(work)) {
    fs::path target = folder / entry.path().filename();
    fs::rename(entry.path(), target, ec);
    if (ec) {
      throw Error(Format("Nie można zastąpić pliku %s: %s", target.string().c_str(), ec.message().c_str()));
    }
    written.push_back(target.filename());
  }
  // What belonged to the old table and was not written again goes.
  std::string stem = UpperCase(dbFile.stem().string());
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const fs::path& p = entry.path();
    if (UpperCase(p.stem().string()) != stem || !IsFamilyExtension(p.extension().string())) continue;
    if (std::find(written.begin(), written.end(), p.filename()) != written.end()) continue;
    std::error_code ignored;
    fs::remove(p, ignored);
  }
}

}  // namespace

void CopyQueryToTable(Query& query, const fs::path& tableFile, const std::string& indexFieldNames) {
  fs::path dbFile = tableFile;
  if (!dbFile.has_extension()) dbFile += ".db";
  if (UpperCase(dbFile.extension().string()) != ".DB") {
    throw Error(Format("Tabela %s na wynik zapytania musi być tabelą Paradox (.db).", tableFile.string().c_str()));
  }
  fs::path folder = dbFile.parent_path().empty() ? fs::path(".") : dbFile.parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    throw Error(Format("Nie ma folderu %s tabeli %s.", folder.string().c_str(), tableFile.string().c_str()));
  }

  query.First();  // opens the query when needed
  const std::vector<FieldDef>& columns = query.Fields();
  std::vector<std::vector<Value>> rows;
  std::vector<ColumnSeen> seen(columns.size());
  for (; !query.Eof(); query.Next()) {
    rows.push_back(query.CurrentRow());
    for (size_t c = 0; c < columns.size(); ++c) seen[c].Add(rows.back()[c]);
  }
  query.First();

  // Index fields lead, in index order; the rest keep the query's order.
  std::vector<size_t> order;
  for (const std::string& name : SplitFieldNames(indexFieldNames)) {
    size_t c = 0;
    while (c < columns.size() && UpperCase(columns[c].name) != UpperCase(name)) ++c;
    if (c == columns.size()) {
      throw Error(Format("Wynik zapytania %s nie ma pola %s indeksu tabeli %s.", query.DisplayName().c_str(),
                         name.c_str(), tableFile.string().c_str()));
    }
    if (std::find(order.begin(), order.end(), c) == order.end()) order.push_back(c);
  }
  size_t keyFields = order.size();
  for (size_t c = 0; c < columns.size(); ++c) {
    if (std::find(order.begin(), order.end(), c) == order.end()) order.push_back(c);
  }

  std::vector<FieldDef> fields;
  for (size_t c : order) {
    FieldDef def = ChooseField(columns[c], query.IsTableColumn(c), seen[c]);
    def.name = columns[c].name;
    fields.push_back(def);
  }
  for (auto& row : rows) {
    std::vector<Value> out;
    out.reserve(order.size());
    for (size_t i = 0; i < order.size(); ++i) out.push_back(ConvertTo(row[order[i]], fields[i].kind));
    row = std::move(out);
  }

  auto compareKeys = [keyFields](const std::vector<Value>& a, const std::vector<Value>& b) {
    for (size_t i = 0; i < keyFields; ++i) {
      if (int c = CompareValues(a[i], b[i])) return c;
    }
    return 0;
  };
  if (keyFields > 0) {
    std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) { return compareKeys(a, b) < 0; });
    for (size_t r = 1; r < rows.size(); ++r) {
      if (compareKeys(rows[r - 1], rows[r]) == 0) {
        std::string key;
        for (size_t i = 0; i < keyFields; ++i)
          key += (i ? ", " : "") + (rows[r][i].IsNull() ? "(puste)" : TextOf(rows[r][i]));
        throw Error(
            Format("Wynik zapytania %s ma dwa wiersze o tym samym kluczu %s (%s); tabela %s wymaga "
                   "niepowtarzalnego klucza.",
                   query.DisplayName().c_str(), indexFieldNames.c_str(), key.c_str(), tableFile.string().c_str()));
      }
    }
  }
  ReplaceParadoxTable(dbFile, fields, rows, keyFields);
}

}  // namespace kx::tables
