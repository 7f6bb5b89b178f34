#include "platform/tables/table.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/error.h"
#include "platform/tables/filter.h"
#include "platform/tables/table_file.h"

namespace kx::tables {

namespace fs = std::filesystem;

namespace {

constexpr double kMsecPerDay = 86400000.0;

// One field of a key in comparable form: numbers (also dates, times and
// logicals) as doubles, texts without trailing blanks.
struct KeyPart {
  enum class Kind : uint8_t { Null, Number, Text };
  Kind kind = Kind::Null;
  double number = 0;
  std::string text;

  friend bool operator==(const KeyPart& a, const KeyPart& b) {
    return a.kind == b.kind && a.number == b.number && a.text == b.text;
  }
};

using Key = std::vector<KeyPart>;

struct KeyHash {
  size_t operator()(const Key& key) const {
    size_t h = 0x9E3779B97F4A7C15ull;
    for (const KeyPart& p : key) {
      size_t part = p.kind == KeyPart::Kind::Text ? std::hash<std::string>()(p.text)
                                                  : std::hash<double>()(p.number) + static_cast<size_t>(p.kind);
      h ^= part + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    }
    return h;
  }
};

int CompareParts(const KeyPart& a, const KeyPart& b) {
  if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
  if (a.kind == KeyPart::Kind::Number) return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
  if (a.kind == KeyPart::Kind::Text) {
    int c = a.text.compare(b.text);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return 0;
}

KeyPart NumberPart(double n) {
  KeyPart p;
  p.kind = KeyPart::Kind::Number;
  p.number = n == 0 ? 0.0 : n;  // no negative zero
  return p;
}

KeyPart TextPart(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  KeyPart p;
  p.kind = KeyPart::Kind::Text;
  p.text = std::string(s);
  return p;
}

std::optional<double> NumberFromText(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double out = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out, std::chars_format::fixed);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(out)) return std::nullopt;
  return out;
}

std::optional<Date> DateFromText(std::string_view s) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return std::nullopt;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
  }
  auto num = [&](size_t at, size_t len) {
    int n = 0;
    for (size_t i = 0; i < len; ++i) n = n * 10 + (s[at + i] - '0');
    return n;
  };
  return Date{num(0, 4), num(5, 2), num(8, 2)};
}

// A value as a key part of a field of the given kind: a master's value, or
// a FindKey argument, converted to the kind of the field it is matched with.
KeyPart ToKeyPart(const Value& v, FieldKind kind) {
  using T = Value::Type;
  if (v.IsNull()) return {};
  switch (kind) {
    case FieldKind::Short:
    case FieldKind::Integer:
    case FieldKind::AutoInc:
    case FieldKind::Number:
    case FieldKind::Currency:
    case FieldKind::Bcd:
    case FieldKind::Logical:
      if (v.type == T::Int || v.type == T::Bool) return NumberPart(static_cast<double>(v.i));
      if (v.type == T::Float) return NumberPart(v.f);
      if (v.type == T::Text) {
        if (auto n = NumberFromText(v.text)) return NumberPart(*n);
      }
      break;
    case FieldKind::Date:
      if (v.type == T::Date || v.type == T::DateTime) return NumberPart(static_cast<double>(DaysFromCivil(v.date)));
      if (v.type == T::Text) {
        if (auto d = DateFromText(v.text)) return NumberPart(static_cast<double>(DaysFromCivil(*d)));
      }
      break;
    case FieldKind::Timestamp:
      if (v.type == T::Date || v.type == T::DateTime) {
        return NumberPart(static_cast<double>(DaysFromCivil(v.date)) * kMsecPerDay +
                          (v.type == T::DateTime ? v.msec : 0));
      }
      break;
    case FieldKind::Time:
      if (v.type == T::Time || v.type == T::DateTime) return NumberPart(v.msec);
      break;
    case FieldKind::Text:
    case FieldKind::Memo:
    case FieldKind::Bytes:
    case FieldKind::Blob: break;
  }
  // Text forms: a text field, or a value that does not fit the field's kind
  // (it then matches no record of a number or date field).
  switch (v.type) {
    case T::Text:
    case T::Bytes: return TextPart(v.text);
    case T::Int: return TextPart(std::to_string(v.i));
    case T::Float: return TextPart(NumberText(v.f));
    case T::Bool: return TextPart(v.i ? "True" : "False");
    case T::Date: return TextPart(DateText(v.date));
    case T::Time: return TextPart(TimeText(v.msec).substr(0, 8));
    case T::DateTime: return TextPart(DateTimeText(v.date, v.msec));
    case T::Null: break;
  }
  return {};
}

const Value& NullValue() {
  static const Value kNull;
  return kNull;
}

}  // namespace

// Everything built from the file for the current properties: the view order
// and, on demand, the keys, the link groups and the find-by-key map.
struct Table::Indexes {
  std::vector<size_t> indexFields;  // named index fields
  std::vector<uint32_t> base;       // record numbers after filter and order

  // Keys of the base records over keyFields (stride keyFields.size()).
  std::vector<size_t> keyFields;
  bool keyFieldsResolved = false;
  std::vector<KeyPart> keys;
  bool keysBuilt = false;

  // Link groups: records of each key of the first linkParts key fields.
  size_t linkParts = 0;
  bool linkBuilt = false;
  std::unordered_map<Key, uint32_t, KeyHash> groupOf;
  std::vector<uint32_t> groupStart, groupSize, linkRows;
  // Master field indexes, valid for one opening of one master.
  const Table* master = nullptr;
  uint64_t masterSerial = 0;
  std::vector<size_t> masterFields;

  // Find by key: first base position of each key of findParts key fields.
  size_t findParts = 0;
  bool findBuilt = false;
  std::unordered_map<Key, uint32_t, KeyHash> find;
};

Table::Table(Session& session) : m_session(session) {}

Table::~Table() {
  Close();
  if (m_master) m_master->Detach(this);
  for (Table* detail : m_details) {
    detail->m_master = nullptr;
    if (detail->Active()) detail->Relink();
  }
}

void Table::RequireClosed(const char* what) const {
  if (Active()) throw kx::Error(kx::Format("Tabela %s jest otwarta: nie można zmienić %s", TableName().c_str(), what));
}

void Table::RequireActive() const {
  if (!Active()) throw kx::Error(kx::Format("Tabela %s nie jest otwarta", TableName().c_str()));
}

void Table::SetDatabaseName(fs::path folder) {
  RequireClosed("folderu bazy danych");
  m_databaseName = std::move(folder);
}

void Table::SetTableName(std::string name) {
  RequireClosed("nazwy tabeli");
  m_tableName = std::move(name);
}

std::string Table::TableName() const {
  fs::path name = m_tableName.empty() ? m_filePath : fs::path(m_tableName);
  std::string ext = FoldFieldName(name.extension().string());
  if (ext == ".db" || ext == ".dbf") return name.stem().string();
  return name.filename().string();
}

fs::path Table::ResolvePath() const {
  if (m_tableName.empty()) throw kx::Error("Nie podano nazwy tabeli do otwarcia");
  fs::path name(m_tableName);
  if (!m_databaseName.empty() && name.is_relative()) return m_databaseName / name;
  return name;
}

template <class Revert>
void Table::RebuildOrRevert(Revert revert) {
  if (!Active()) return;
  try {
    Rebuild();
  } catch (...) {
    revert();
    try {
      Rebuild();
    } catch (...) {
    }
    throw;
  }
}

void Table::SetIndexFieldNames(std::string names) {
  if (names == m_indexFieldNames) return;
  std::string old = std::exchange(m_indexFieldNames, std::move(names));
  RebuildOrRevert([&] { m_indexFieldNames = old; });
}

void Table::SetFilter(std::string text) {
  if (text == m_filterText) return;
  std::string old = std::exchange(m_filterText, std::move(text));
  if (m_filtered) RebuildOrRevert([&] { m_filterText = old; });
}

void Table::SetFiltered(bool on) {
  if (on == m_filtered) return;
  m_filtered = on;
  RebuildOrRevert([&] { m_filtered = !on; });
}

void Table::SetMasterSource(Table* master) {
  if (master == m_master) return;
  for (Table* t = master; t; t = t->m_master) {
    if (t == this)
      throw kx::Error(kx::Format("Tabela %s: powiązanie z tabelą %s tworzy cykl", TableName().c_str(),
                                 master->TableName().c_str()));
  }
  if (m_master) m_master->Detach(this);
  m_master = master;
  if (m_master) m_master->Attach(this);
  if (Active()) Relink();
}

void Table::SetMasterFields(std::string names) {
  if (names == m_masterFields) return;
  m_masterFields = std::move(names);
  m_masterFieldList = SplitFieldNames(m_masterFields);
  if (m_indexes) m_indexes->master = nullptr;
  if (Active()) Relink();
}

void Table::SetLinkEnabled(bool on) {
  if (on == m_linkEnabled) return;
  m_linkEnabled = on;
  if (Active()) Relink();
}

void Table::Attach(Table* detail) { m_details.push_back(detail); }

void Table::Detach(Table* detail) { std::erase(m_details, detail); }

bool Table::LinkInUse() const { return m_master && m_linkEnabled && !m_masterFieldList.empty() && m_master->Active(); }

void Table::Open() {
  if (Active()) return;
  fs::path path = ResolvePath();
  if (!m_session.Active()) m_session.Activate();
  Open(OpenTableFile(path, m_options));
}

void Table::Open(std::unique_ptr<TableSource> source) {
  Close();
  if (!source) throw kx::Error(kx::Format("Tabela %s: brak danych do otwarcia", TableName().c_str()));
  if (!m_session.Active()) m_session.Activate();
  if (source->RecordCount() > std::numeric_limits<uint32_t>::max()) {
    throw kx::Error(kx::Format("Tabela %s ma zbyt wiele rekordów", source->FilePath().c_str()));
  }
  m_source = std::move(source);
  m_filePath = m_source->FilePath();
  const auto& defs = m_source->Fields();
  m_fields.clear();
  m_fields.reserve(defs.size());
  m_fieldByName.clear();
  m_fieldByAsked.clear();
  for (size_t i = 0; i < defs.size(); ++i) {
    const FieldValues* values = this;
    m_fields.emplace_back(defs[i], values, i);
    m_fieldByName.emplace(FoldFieldName(defs[i].name), i);  // the first of equal names wins
  }
  m_values.assign(defs.size(), Value());
  m_valueStamp.assign(defs.size(), 0);
  static std::atomic<uint64_t> serials{0};
  m_openSerial = ++serials;
  m_session.Opened(this);
  try {
    Rebuild();
  } catch (...) {
    Reset();
    throw;
  }
}

void Table::Reset() {
  m_session.Closed(this);
  m_source.reset();
  m_filePath.clear();
  m_fields.clear();
  m_fieldByName.clear();
  m_fieldByAsked.clear();
  m_indexes.reset();
  m_view = nullptr;
  m_viewSize = 0;
  m_pos = 0;
  m_eof = m_bof = true;
  m_relinkDue = false;
  m_values.clear();
  m_valueStamp.clear();
  ++m_stamp;
}

void Table::Close() {
  if (!Active()) return;
  Reset();
  for (Table* detail : m_details) {
    if (detail->Active()) detail->Relink();
  }
}

std::vector<size_t> Table::ResolveFields(const std::vector<std::string>& names) const {
  std::vector<size_t> out;
  for (const std::string& name : names) {
    auto it = m_fieldByName.find(FoldFieldName(name));
    if (it == m_fieldByName.end())
      throw kx::Error(kx::Format("Tabela %s: brak pola %s", TableName().c_str(), name.c_str()));
    out.push_back(it->second);
  }
  return out;
}

void Table::BuildBase(Indexes& out) const {
  out.indexFields = ResolveFields(SplitFieldNames(m_indexFieldNames));
  const size_t count = m_source->RecordCount();
  std::optional<Filter> filter;
  if (m_filtered) {
    try {
      filter = Filter::Parse(m_filterText);
      filter->Bind(m_source->Fields(), {});
    } catch (const kx::Error& e) {
      throw kx::Error(kx::Format("Tabela %s: %s", TableName().c_str(), e.what()));
    }
    if (filter->Empty()) filter.reset();
  }
  out.base.reserve(count);
  for (size_t r = 0; r < count; ++r) {
    if (!filter || filter->Matches(*m_source, r)) out.base.push_back(static_cast<uint32_t>(r));
  }
  if (out.indexFields.empty()) return;

  // Order by the index fields; the keys stay for links and FindKey.
  const size_t stride = out.indexFields.size();
  const size_t n = out.base.size();
  std::vector<KeyPart> keys(n * stride);
  const auto& defs = m_source->Fields();
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < stride; ++j) {
      size_t f = out.indexFields[j];
      keys[i * stride + j] = ToKeyPart(m_source->Get(out.base[i], f), defs[f].kind);
    }
  }
  auto less = [&](size_t a, size_t b) {
    for (size_t j = 0; j < stride; ++j) {
      int c = CompareParts(keys[a * stride + j], keys[b * stride + j]);
      if (c != 0) return c < 0;
    }
    return false;
  };
  bool sorted = true;
  for (size_t i = 1; i < n && sorted; ++i) sorted = !less(i, i - 1);
  if (!sorted) {
    std::vector<uint32_t> perm(n);
    std::iota(perm.begin(), perm.end(), 0u);
    std::stable_sort(perm.begin(), perm.end(), less);
    std::vector<uint32_t> base(n);
    std::vector<KeyPart> ordered(n * stride);
    for (size_t i = 0; i < n; ++i) {
      base[i] = out.base[perm[i]];
      for (size_t j = 0; j < stride; ++j) ordered[i * stride + j] = std::move(keys[perm[i] * stride + j]);
    }
    out.base = std::move(base);
    keys = std::move(ordered);
  }
  out.keyFields = out.indexFields;
  out.keyFieldsResolved = true;
  out.keys = std::move(keys);
  out.keysBuilt = true;
}

const std::vector<size_t>& Table::KeyFields(bool forLink) const {
  Indexes& ix = *m_indexes;
  if (!ix.keyFieldsResolved) {
    ix.keyFields = ix.indexFields.empty() ? ResolveFields(m_source->PrimaryKey()) : ix.indexFields;
    ix.keyFieldsResolved = true;
  }
  if (ix.keyFields.empty()) {
    if (forLink) {
      throw kx::Error(kx::Format("Tabela %s: brak pól indeksu do powiązania z tabelą %s", TableName().c_str(),
                                 m_master ? m_master->TableName().c_str() : ""));
    }
    throw kx::Error(
        kx::Format("Tabela %s: brak pól indeksu do wyszukiwania (tabela nie ma klucza głównego)", TableName().c_str()));
  }
  return ix.keyFields;
}

void Table::EnsureKeys() const {
  Indexes& ix = *m_indexes;
  if (ix.keysBuilt) return;
  const auto& fields = ix.keyFields;
  const size_t stride = fields.size();
  const auto& defs = m_source->Fields();
  ix.keys.resize(ix.base.size() * stride);
  for (size_t i = 0; i < ix.base.size(); ++i) {
    for (size_t j = 0; j < stride; ++j) {
      ix.keys[i * stride + j] = ToKeyPart(m_source->Get(ix.base[i], fields[j]), defs[fields[j]].kind);
    }
  }
  ix.keysBuilt = true;
}

void Table::EnsureLink() const {
  Indexes& ix = *m_indexes;
  const size_t parts = m_masterFieldList.size();
  if (ix.linkBuilt && ix.linkParts == parts) return;
  const auto& fields = KeyFields(true);
  if (parts > fields.size()) {
    throw kx::Error(kx::Format("Tabela %s: pól powiązania z tabelą %s (%zu) jest więcej niż pól indeksu (%zu)",
                               TableName().c_str(), m_master->TableName().c_str(), parts, fields.size()));
  }
  EnsureKeys();
  const size_t stride = fields.size();
  const size_t n = ix.base.size();
  // Two passes: group numbers in order of first appearance, then the records
  // of each group side by side, each group in view order.
  ix.groupOf.clear();
  ix.groupSize.clear();
  std::vector<uint32_t> group(n);
  for (size_t i = 0; i < n; ++i) {
    Key key(ix.keys.begin() + static_cast<ptrdiff_t>(i * stride),
            ix.keys.begin() + static_cast<ptrdiff_t>(i * stride + parts));
    auto [it, added] = ix.groupOf.try_emplace(std::move(key), static_cast<uint32_t>(ix.groupSize.size()));
    if (added) ix.groupSize.push_back(0);
    group[i] = it->second;
    ++ix.groupSize[it->second];
  }
  ix.groupStart.assign(ix.groupSize.size(), 0);
  for (size_t g = 1; g < ix.groupSize.size(); ++g) ix.groupStart[g] = ix.groupStart[g - 1] + ix.groupSize[g - 1];
  std::vector<uint32_t> fill(ix.groupStart);
  ix.linkRows.assign(n, 0);
  for (size_t i = 0; i < n; ++i) ix.linkRows[fill[group[i]]++] = ix.base[i];
  ix.linkParts = parts;
  ix.linkBuilt = true;
}

void Table::EnsureFind(size_t parts) const {
  Indexes& ix = *m_indexes;
  if (ix.findBuilt && ix.findParts == parts) return;
  EnsureKeys();
  const size_t stride = ix.keyFields.size();
  ix.find.clear();
  for (size_t i = 0; i < ix.base.size(); ++i) {
    Key key(ix.keys.begin() + static_cast<ptrdiff_t>(i * stride),
            ix.keys.begin() + static_cast<ptrdiff_t>(i * stride + parts));
    ix.find.try_emplace(std::move(key), static_cast<uint32_t>(i));
  }
  ix.findParts = parts;
  ix.findBuilt = true;
}

void Table::Rebuild() {
  auto indexes = std::make_unique<Indexes>();
  BuildBase(*indexes);
  m_indexes = std::move(indexes);
  m_view = nullptr;
  m_viewSize = 0;
  Relink();
}

void Table::Relink() {
  m_relinkDue = false;
  if (!Active()) return;
  if (m_master) m_master->Settle();
  Indexes& ix = *m_indexes;
  if (!LinkInUse()) {
    m_view = ix.base.data();
    m_viewSize = ix.base.size();
  } else {
    EnsureLink();
    if (ix.master != m_master || ix.masterSerial != m_master->m_openSerial) {
      ix.masterFields.clear();
      for (const std::string& name : m_masterFieldList) {
        auto it = m_master->m_fieldByName.find(FoldFieldName(name));
        if (it == m_master->m_fieldByName.end()) {
          throw kx::Error(kx::Format("Tabela %s: brak pola %s", m_master->TableName().c_str(), name.c_str()));
        }
        ix.masterFields.push_back(it->second);
      }
      ix.master = m_master;
      ix.masterSerial = m_master->m_openSerial;
    }
    m_view = nullptr;
    m_viewSize = 0;
    if (m_master->m_viewSize > 0) {
      const auto& defs = m_source->Fields();
      Key key;
      key.reserve(ix.linkParts);
      for (size_t j = 0; j < ix.linkParts; ++j) {
        key.push_back(ToKeyPart(m_master->FieldValue(ix.masterFields[j]), defs[ix.keyFields[j]].kind));
      }
      auto it = ix.groupOf.find(key);
      if (it != ix.groupOf.end()) {
        m_view = ix.linkRows.data() + ix.groupStart[it->second];
        m_viewSize = ix.groupSize[it->second];
      }
    }
  }
  m_pos = 0;
  m_bof = true;
  m_eof = m_viewSize == 0;
  Moved();
}

void Table::Moved() {
  ++m_stamp;
  MarkDetailsDue();
}

void Table::MarkDetailsDue() {
  // The details of a detail follow its current record, which moves too.
  for (Table* detail : m_details) {
    if (detail->Active() && detail->LinkInUse()) {
      detail->m_relinkDue = true;
      detail->MarkDetailsDue();
    }
  }
}

const Value& Table::FieldValue(size_t index) const {
  Settle();
  if (!m_source || m_viewSize == 0 || index >= m_values.size()) return NullValue();
  if (m_valueStamp[index] != m_stamp) {
    m_values[index] = m_source->Get(m_view[m_pos], index);
    m_valueStamp[index] = m_stamp;
  }
  return m_values[index];
}

void Table::First() {
  RequireActive();
  Settle();
  m_pos = 0;
  m_bof = true;
  m_eof = m_viewSize == 0;
  Moved();
}

void Table::Next() {
  RequireActive();
  Settle();
  if (m_pos + 1 < m_viewSize) {
    ++m_pos;
    m_bof = m_eof = false;
    Moved();
  } else {
    m_eof = true;
  }
}

void Table::Prior() {
  RequireActive();
  Settle();
  if (m_pos > 0 && m_viewSize > 0) {
    --m_pos;
    m_bof = m_eof = false;
    Moved();
  } else {
    m_bof = true;
  }
}

void Table::Last() {
  RequireActive();
  Settle();
  m_pos = m_viewSize == 0 ? 0 : m_viewSize - 1;
  m_eof = true;
  m_bof = m_viewSize == 0;
  Moved();
}

Field& Table::Fields(size_t index) {
  RequireActive();
  if (index >= m_fields.size()) {
    throw kx::Error(kx::Format("Tabela %s: brak pola numer %zu", TableName().c_str(), index + 1));
  }
  return m_fields[index];
}

Field& Table::FieldByName(const std::string& name) {
  RequireActive();
  if (Field* f = FindField(name)) return *f;
  throw kx::Error(kx::Format("Tabela %s: brak pola %s", TableName().c_str(), name.c_str()));
}

Field* Table::FindField(const std::string& name) {
  // Rows are read by the same few spellings over and over.
  if (auto asked = m_fieldByAsked.find(name); asked != m_fieldByAsked.end()) return &m_fields[asked->second];
  auto it = m_fieldByName.find(FoldFieldName(name));
  if (it == m_fieldByName.end()) return nullptr;
  m_fieldByAsked.emplace(name, it->second);
  return &m_fields[it->second];
}

bool Table::FindKey(const std::vector<KeyValue>& values) {
  RequireActive();
  Settle();
  const auto& fields = KeyFields(false);
  if (values.empty()) throw kx::Error(kx::Format("Tabela %s: nie podano wartości klucza", TableName().c_str()));
  if (values.size() > fields.size()) {
    throw kx::Error(kx::Format("Tabela %s: za dużo wartości klucza (%zu), pól indeksu jest %zu", TableName().c_str(),
                               values.size(), fields.size()));
  }
  const auto& defs = m_source->Fields();
  Key key;
  key.reserve(values.size());
  for (size_t j = 0; j < values.size(); ++j) key.push_back(ToKeyPart(values[j].Get(), defs[fields[j]].kind));

  std::optional<size_t> found;
  if (LinkInUse()) {
    // A linked view is one group of records: look through it.
    for (size_t i = 0; i < m_viewSize && !found; ++i) {
      bool same = true;
      for (size_t j = 0; j < key.size() && same; ++j) {
        same = ToKeyPart(m_source->Get(m_view[i], fields[j]), defs[fields[j]].kind) == key[j];
      }
      if (same) found = i;
    }
  } else {
    EnsureFind(values.size());
    auto it = m_indexes->find.find(key);
    if (it != m_indexes->find.end()) found = it->second;
  }
  if (!found) return false;
  m_pos = *found;
  m_bof = m_eof = false;
  Moved();
  return true;
}

}  // namespace kx::tables
