// The accounts list with turnovers and balances (ZOiS): the query's result in
// a working table keyed by the account, corrected by the closing period in
// December, then written in key order.

#include <array>
#include <map>
#include <system_error>
#include <vector>

#include "app/kxTools.h"
#include "ledger/kr_generate.h"
#include "ledger/kr_steps.h"
#include "platform/error.h"
#include "platform/tables/paradox_writer.h"
#include "platform/tables/query.h"
#include "platform/tables/table.h"

namespace kx::ledger::detail {

namespace fs = std::filesystem;

namespace {

constexpr const char* kAccountKey = "Primary;Secondary1;Secondary2;Secondary3";
constexpr const char* kKeyFields[] = {"Primary", "Secondary1", "Secondary2", "Secondary3"};

// Options bits of an account.
constexpr int64_t kLeftOut = 0x01;
constexpr int64_t kOffBalance = 0x02;
constexpr int64_t kResult = 0x04;

// The longest group description the file takes from RejkoAccSet.
constexpr size_t kGroupNameChars = 255;

// An account's key: each part null or a whole number.
using AccountKey = std::array<std::pair<bool, int64_t>, 4>;

template <typename Fields>
AccountKey KeyOf(Fields& fields) {
  AccountKey key;
  for (size_t i = 0; i < key.size(); ++i) {
    tables::Field& f = fields.FieldByName(kKeyFields[i]);
    key[i] = {f.IsNull(), f.IsNull() ? 0 : f.AsInteger()};
  }
  return key;
}

uint16_t Part(tables::Field& f) { return static_cast<uint16_t>(f.AsInteger()); }

// At most `chars` characters (not bytes) of a UTF-8 text.
std::string FirstChars(const std::string& text, size_t chars) {
  size_t at = 0;
  for (size_t n = 0; at < text.size() && n < chars; ++n) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return text.substr(0, at);
}

std::string GroupName(const AppContext& ctx, char digit, const std::string& account) {
  const size_t line = static_cast<size_t>(digit - '0');
  std::string name = line < ctx.RejkoAccSet.size() && ctx.RejkoAccSet[line].size() > 2
                         ? FirstChars(ctx.RejkoAccSet[line].substr(2), kGroupNameChars)
                         : std::string();
  if (name.empty()) {
    throw Error(Format("Brak opisu zespołu kont %c (konto %s) w pliku RejkoAccSet.txt: wiersz %zu", digit,
                       account.c_str(), line + 1));
  }
  return name;
}

void OpenQuery(const KrRun& run, tables::Query& query, uint16_t periodId) {
  query.SetDatabaseName(run.databaseFolder);
  query.ClearParams();
  query.SetParam("PeriodId", periodId);
  query.Open();
}

// December: the closing period's turnovers and balances replace those of the
// accounts whose balance it changes. The working table is read, corrected
// and written again whole.
void CorrectByClosingPeriod(const KrRun& run, tables::Query& query, const fs::path& workFile) {
  tables::Table work(run.ctx.Session);
  work.SetTableName(workFile.string());
  work.Open();
  std::vector<tables::FieldDef> fields;
  for (size_t i = 0; i < work.FieldCount(); ++i) fields.push_back(work.Fields(i).Def());
  std::vector<std::vector<tables::Value>> rows;
  std::map<AccountKey, size_t> byKey;
  for (work.First(); !work.Eof(); work.Next()) {
    std::vector<tables::Value> row;
    for (size_t i = 0; i < work.FieldCount(); ++i) row.push_back(work.Fields(i).Current());
    byKey[KeyOf(work)] = rows.size();
    rows.push_back(std::move(row));
  }
  auto column = [&](const char* name) {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (tables::SameFieldName(fields[i].name, name)) return i;
    }
    throw Error(Format("Tabela %s: brak pola %s", workFile.string().c_str(), name));
  };
  const size_t debit = column("Debit"), credit = column("Credit");
  const size_t saldoDebit = column("SaldoDebit"), saldoCredit = column("SaldoCredit");
  work.Close();

  OpenQuery(run, query, static_cast<uint16_t>(run.periodId + 10));
  bool changed = false;
  auto amount = [](const tables::Value& v) {
    return v.type == tables::Value::Type::Int ? static_cast<double>(v.i) : v.IsNull() ? 0.0 : v.f;
  };
  for (; !query.Eof(); query.Next()) {
    auto found = byKey.find(KeyOf(query));
    if (found == byKey.end()) continue;
    std::vector<tables::Value>& row = rows[found->second];
    const double newDebit = query.FieldByName("SaldoDebit").AsFloat();
    const double newCredit = query.FieldByName("SaldoCredit").AsFloat();
    if (RoundAmount(2, amount(row[saldoDebit])) == RoundAmount(2, newDebit) &&
        RoundAmount(2, amount(row[saldoCredit])) == RoundAmount(2, newCredit)) {
      continue;
    }
    auto put = [&](size_t at, const char* name) {
      tables::Field& f = query.FieldByName(name);
      row[at] = f.IsNull() ? tables::Value::Null() : tables::Value::FromFloat(f.AsFloat());
    };
    put(debit, "Debit");
    put(credit, "Credit");
    put(saldoDebit, "SaldoDebit");
    put(saldoCredit, "SaldoCredit");
    changed = true;
  }
  query.Close();
  if (changed) {
    tables::ParadoxWriteOptions options;
    options.keyFields = std::size(kKeyFields);
    tables::WriteParadoxTable(workFile, fields, rows, options);
  }
}

}  // namespace

int WriteAccounts(const KrRun& run, jpk::kr::IXMLJPKKR root) {
  const fs::path tmpFolder = run.workingDir / "Tmp";
  std::error_code ec;
  fs::create_directories(tmpFolder, ec);
  if (ec) {
    throw Error(Format("Nie można utworzyć folderu %s: %s", tmpFolder.string().c_str(), ec.message().c_str()));
  }
  const fs::path workFile = tmpFolder / "_tmp.db";

  {
    tables::Query query(run.ctx.Session);
    query.LoadFromFile(QueryFile(run, "SQL/zois.sql"));
    query.SaveToFile(run.workingDir / "qry.sql");
    OpenQuery(run, query, run.periodId);
    tables::CopyQueryToTable(query, workFile, kAccountKey);
    query.Close();
    if (run.december) CorrectByClosingPeriod(run, query, workFile);
  }

  tables::Table work(run.ctx.Session);  // closed by its destructor, also after a failure
  work.SetTableName(workFile.string());
  work.SetIndexFieldNames(kAccountKey);
  work.Open();
  run.nextStep();

  std::string category, subcategory;
  int count = 0;
  auto zois = root.ZOiS();
  for (work.First(); !work.Eof(); work.Next()) {
    tables::Field& primary = work.FieldByName("Primary");
    tables::Field& secondary1 = work.FieldByName("Secondary1");
    tables::Field& secondary2 = work.FieldByName("Secondary2");
    const std::string name = work.FieldByName("Account Name").AsString();
    if (secondary1.IsNull()) {
      category = name;
    } else if (secondary2.IsNull()) {
      subcategory = name;
    }
    const int64_t options = work.FieldByName("Options").AsInteger();
    if (options & kLeftOut) continue;
    const int64_t primaryNumber = primary.AsInteger();
    const char* kind = (options & kOffBalance) ? "pozabilansowe" : "bilansowe";
    if (options & kResult) kind = "wynikowe";
    if (primaryNumber == 200 || primaryNumber == 201) kind = "rozliczeniowe";

    const std::string code = FormatAccountNumber(Part(primary), Part(secondary1), Part(secondary2));
    auto item = zois.Add();
    item.SetTyp("G");
    item.SetKodKonta(code);
    item.SetOpisKonta(name);
    item.SetTypKonta(kind);
    item.SetKodZespolu(code.substr(0, 1));
    item.SetOpisZespolu(GroupName(run.ctx, code[0], code));
    item.SetKodKategorii(code.substr(0, 3));
    item.SetOpisKategorii(category);
    if (!secondary2.IsNull()) {
      item.SetKodPodkategorii(code.substr(0, code.rfind('-')));
      item.SetOpisPodkategorii(subcategory);
    }
    auto amount = [&](const char* field) { return RoundAmount(2, work.FieldByName(field).AsFloat()); };
    item.SetBilansOtwarciaWinien(amount("InitYDebit"));
    item.SetBilansOtwarciaMa(amount("InitYCredit"));
    item.SetObrotyWinien(RoundAmount(2, amount("Debit") - amount("Initial Debit")));
    item.SetObrotyMa(RoundAmount(2, amount("Credit") - amount("Initial Credit")));
    item.SetObrotyWinienNarast(amount("Debit"));
    item.SetObrotyMaNarast(amount("Credit"));
    item.SetSaldoWinien(amount("SaldoDebit"));
    item.SetSaldoMa(amount("SaldoCredit"));
    ++count;
    run.Made();
  }
  work.Close();
  return count;
}

}  // namespace kx::ledger::detail
