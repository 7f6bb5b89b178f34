#pragma once
// A cursor on one table file, as the system's drivers use tables:
//
//   Table wi(session);
//   wi.SetTableName(dir + "24_05WI");
//   wi.SetFilter("(Date >= 2024-05-01) and (Date <= 2024-05-31)");
//   wi.SetFiltered(true);
//   Table wt(session);
//   wt.SetTableName(dir + "24_05WT");
//   wt.SetIndexFieldNames("Type;Year;MagId;Number");
//   wt.SetMasterSource(&wi);
//   wt.SetMasterFields("Type;Year;MagId;Number");
//   wi.Open(); wt.Open();
//   for (wi.First(); !wi.Eof(); wi.Next())
//     for (wt.First(); !wt.Eof(); wt.Next()) ... wt.FieldByName("Quantity").AsFloat() ...
//
// Record order: by the index fields when named (stable, nulls first, text by
// bytes), else the file's own order (key order of a keyed Paradox table).
//
// A linked detail shows only the records whose first index fields (the primary
// key when none are named) equal the master fields of the master's current
// record, and follows the master as it moves. While the master is closed, or
// the link is switched off, the detail shows all its records; a master without
// a current record leaves the detail empty. Key values are compared by value
// after conversion to the detail field's kind (5 equals 5.0, text "5" equals
// 5), texts without trailing blanks; null matches null.
//
// Several cursors may stand on the same file; each reads it on its own.
// Every index (order, filter, link groups, find by key) is built once per open
// or per change of its properties, so walking a master with its details is
// linear in the number of records.
//
// Writing goes through DbaseWriter (dbase_writer.h); the cursor only reads.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/tables/field.h"
#include "platform/tables/session.h"
#include "platform/tables/table_source.h"
#include "platform/tables/value.h"

namespace kx::tables {

// A value given to FindKey: a constant, or another table's field, meaning its
// current value.
class KeyValue {
 public:
  KeyValue(Value value) : m_value(std::move(value)) {}
  KeyValue(const Field& field) : m_value(field.Current()) {}
  template <std::integral T>
  KeyValue(T n) : m_value(std::is_same_v<T, bool> ? Value::FromBool(n) : Value::FromInt(static_cast<int64_t>(n))) {}
  KeyValue(double d) : m_value(Value::FromFloat(d)) {}
  KeyValue(const char* s) : m_value(Value::FromText(s)) {}
  KeyValue(std::string s) : m_value(Value::FromText(std::move(s))) {}
  KeyValue(Date d) : m_value(Value::FromDate(d)) {}
  KeyValue(std::nullptr_t) {}

  const Value& Get() const { return m_value; }

 private:
  Value m_value;
};

class Table final : private FieldValues, private SessionMember {
 public:
  explicit Table(Session& session);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  Session& GetSession() const { return m_session; }

  // Which file: a table name that is a full path (without extension, or with
  // .db/.dbf), or a file name inside the database folder. Set while closed.
  void SetDatabaseName(std::filesystem::path folder);
  const std::filesystem::path& DatabaseName() const { return m_databaseName; }
  void SetTableName(std::string name);
  const std::string& TableNameProperty() const { return m_tableName; }
  // The file name without folder and extension, as the caller gave it (for
  // messages and for telling tables apart by name).
  std::string TableName() const;
  // The file opened (empty while closed).
  const std::filesystem::path& FilePath() const { return m_filePath; }
  void SetOpenOptions(OpenOptions options) { m_options = std::move(options); }

  // Index fields "F1;F2": the record order, the fields of a link and of FindKey.
  void SetIndexFieldNames(std::string names);
  const std::string& IndexFieldNames() const { return m_indexFieldNames; }

  // Filter text and its switch (filter.h). May change while open.
  void SetFilter(std::string text);
  const std::string& FilterText() const { return m_filterText; }
  void SetFiltered(bool on);
  bool Filtered() const { return m_filtered; }

  // Master-detail link: the master table and its fields "M1;M2", matched to
  // this table's first index fields. May change while open.
  void SetMasterSource(Table* master);
  Table* MasterSource() const { return m_master; }
  void SetMasterFields(std::string names);
  const std::string& MasterFields() const { return m_masterFields; }
  void SetLinkEnabled(bool on);
  bool LinkEnabled() const { return m_linkEnabled; }

  // Opens the file (activating the session); deactivating the session closes
  // the table. Fails with kx::Error naming the
  // file, a missing field or a bad filter. Open(source) opens the cursor on a
  // source already read (its file path names the table when no name is set).
  void Open();
  void Open(std::unique_ptr<TableSource> source);
  void Close() override;
  bool Active() const { return m_source != nullptr; }

  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const {
    Settle();
    return m_eof;
  }
  bool Bof() const {
    Settle();
    return m_bof;
  }
  bool IsEmpty() const {
    Settle();
    return m_viewSize == 0;
  }
  // Records of the current view (after filter and link).
  size_t RecordCount() const {
    Settle();
    return m_viewSize;
  }
  // 1-based position in the view; 0 when empty.
  size_t RecNo() const {
    Settle();
    return m_viewSize == 0 ? 0 : m_pos + 1;
  }

  size_t FieldCount() const { return m_fields.size(); }
  Field& Fields(size_t index);
  // Missing name: kx::Error "Tabela %s: brak pola %s".
  Field& FieldByName(const std::string& name);
  Field* FindField(const std::string& name);

  // Positions on the first record of the view whose first index fields equal
  // the values; false (the position unchanged) when there is none.
  bool FindKey(const std::vector<KeyValue>& values);
  bool FindKey(std::initializer_list<KeyValue> values) { return FindKey(std::vector<KeyValue>(values)); }

 private:
  struct Indexes;

  const Value& FieldValue(size_t index) const override;
  void RequireClosed(const char* what) const;
  void RequireActive() const;
  std::filesystem::path ResolvePath() const;
  void Rebuild();  // order, filter, link after a property change
  template <class Revert>
  void RebuildOrRevert(Revert revert);
  void BuildBase(Indexes& out) const;
  void EnsureKeys() const;
  void EnsureLink() const;
  void EnsureFind(size_t parts) const;
  void Reset();
  void Relink();  // detail view for the master's current record
  void Moved();   // current record changed: tell the details
  // A detail follows its master's moves when it is next looked at: a master
  // walked past records whose details nobody reads costs no lookups.
  // Relink settles the master first.
  void Settle() const {
    if (m_relinkDue) const_cast<Table*>(this)->Relink();
  }
  void MarkDetailsDue();
  void Attach(Table* detail);
  void Detach(Table* detail);
  bool LinkInUse() const;
  std::vector<size_t> ResolveFields(const std::vector<std::string>& names) const;
  const std::vector<size_t>& KeyFields(bool forLink) const;

  Session& m_session;
  std::filesystem::path m_databaseName;
  std::string m_tableName;
  OpenOptions m_options;
  std::string m_indexFieldNames;
  std::string m_filterText;
  bool m_filtered = false;
  Table* m_master = nullptr;
  std::string m_masterFields;
  std::vector<std::string> m_masterFieldList;
  bool m_linkEnabled = true;
  std::vector<Table*> m_details;

  std::unique_ptr<TableSource> m_source;
  std::filesystem::path m_filePath;
  std::vector<Field> m_fields;
  std::unordered_map<std::string, size_t> m_fieldByName;   // folded name → index
  std::unordered_map<std::string, size_t> m_fieldByAsked;  // a name as asked → index, each folded once
  std::unique_ptr<Indexes> m_indexes;
  uint64_t m_openSerial = 0;  // changes on every open, for the details' caches

  const uint32_t* m_view = nullptr;  // record numbers of the current view
  size_t m_viewSize = 0;
  size_t m_pos = 0;
  bool m_eof = true;
  bool m_bof = true;
  bool m_relinkDue = false;  // the master moved since the view was made

  mutable std::vector<Value> m_values;         // current record, decoded on demand
  mutable std::vector<uint64_t> m_valueStamp;  // m_stamp when each value was decoded
  uint64_t m_stamp = 1;
};

}  // namespace kx::tables
