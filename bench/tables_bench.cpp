// Table engine jobs for bench/run.sh:
//   tables_bench gen-register N DIR   a Paradox register of N rows (REG.db)
//   tables_bench scan DIR             full scan reading every field of REG
//   tables_bench filter DIR           the month filter on REG (a twelfth of the rows)
//   tables_bench gen-documents N DIR  N documents (WI), 2N rows (WT), N/5 contractors (UR)
//   tables_bench walk DIR             WI walked row by row with WT and UR as details

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/allocator.h"
#include "platform/tables/paradox_writer.h"
#include "platform/tables/session.h"
#include "platform/tables/table.h"

using namespace kx::tables;
namespace fs = std::filesystem;

namespace {

FieldDef F(const char* name, FieldKind kind, int size = 0) {
  FieldDef f;
  f.name = name;
  f.kind = kind;
  f.size = size;
  f.code = kind == FieldKind::Text ? 'A' : kind == FieldKind::Date ? 'D' : kind == FieldKind::Number ? 'N' : 'I';
  return f;
}

void GenRegister(size_t n, const fs::path& dir) {
  std::vector<FieldDef> fields{F("Id", FieldKind::Integer),      F("Date", FieldKind::Date),
                               F("Number", FieldKind::Text, 20), F("Contractor", FieldKind::Integer),
                               F("Net", FieldKind::Number),      F("Tax", FieldKind::Number),
                               F("Class", FieldKind::Integer),   F("Flags", FieldKind::Integer)};
  std::vector<std::vector<Value>> rows;
  rows.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    double net = static_cast<double>(i % 10000) / 4 + 1;
    rows.push_back({Value::FromInt(static_cast<int64_t>(i + 1)),
                    Value::FromDate({2026, static_cast<int>(i % 12) + 1, static_cast<int>(i % 28) + 1}),
                    Value::FromText("FV " + std::to_string(i + 1) + "/2026"),
                    Value::FromInt(static_cast<int64_t>(i % 20000)), Value::FromFloat(net),
                    Value::FromFloat(net * 0.23), Value::FromInt(static_cast<int64_t>(i % 8)),
                    Value::FromInt(static_cast<int64_t>(i % 16))});
  }
  WriteParadoxTable(dir / "REG.db", fields, rows, {1250, 1});
}

void GenDocuments(size_t n, const fs::path& dir) {
  std::vector<std::vector<Value>> wi, wt, ur;
  for (size_t i = 0; i < n; ++i) {
    wi.push_back({Value::FromInt(static_cast<int64_t>(i + 1)), Value::FromText("WZ " + std::to_string(i + 1)),
                  Value::FromInt(static_cast<int64_t>(i % (n / 5 + 1)))});
    for (int k = 0; k < 2; ++k) {
      wt.push_back({Value::FromInt(static_cast<int64_t>(i + 1)), Value::FromInt(k + 1), Value::FromText("Towar"),
                    Value::FromFloat(static_cast<double>(k) + 1.5)});
    }
  }
  for (size_t c = 0; c <= n / 5; ++c) {
    ur.push_back({Value::FromInt(static_cast<int64_t>(c)), Value::FromText("Kontrahent " + std::to_string(c))});
  }
  WriteParadoxTable(dir / "WI.db",
                    {F("Id", FieldKind::Integer), F("Number", FieldKind::Text, 20), F("Payer", FieldKind::Integer)}, wi,
                    {1250, 1});
  WriteParadoxTable(dir / "WT.db",
                    {F("Doc", FieldKind::Integer), F("Pos", FieldKind::Integer), F("Name", FieldKind::Text, 40),
                     F("Quantity", FieldKind::Number)},
                    wt, {1250, 2});
  WriteParadoxTable(dir / "UR.db", {F("Id", FieldKind::Integer), F("Firm Name", FieldKind::Text, 60)}, ur, {1250, 1});
}

size_t Scan(Table& t) {
  size_t rows = 0;
  double sum = 0;
  for (t.First(); !t.Eof(); t.Next()) {
    for (size_t f = 0; f < t.FieldCount(); ++f) sum += static_cast<double>(t.Fields(f).AsString().size());
    ++rows;
  }
  std::printf("checksum %.0f\n", sum);
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  kx::TuneAllocator();
  if (argc < 3) {
    std::fprintf(stderr,
                 "użycie: tables_bench gen-register N DIR | scan DIR | filter DIR | gen-documents N DIR | walk DIR\n");
    return 2;
  }
  std::string job = argv[1];
  auto start = std::chrono::steady_clock::now();
  size_t rows = 0;
  Session session;
  if (job == "gen-register" || job == "gen-documents") {
    size_t n = std::strtoull(argv[2], nullptr, 10);
    fs::create_directories(argv[3]);
    if (job == "gen-register")
      GenRegister(n, argv[3]);
    else
      GenDocuments(n, argv[3]);
    rows = n;
  } else if (job == "scan" || job == "filter") {
    Table t(session);
    t.SetDatabaseName(argv[2]);
    t.SetTableName("REG");
    if (job == "filter") {
      t.SetFilter("(Date >= 2026-05-01) and (Date <= 2026-05-31)");
      t.SetFiltered(true);
    }
    t.Open();
    rows = Scan(t);
  } else if (job == "walk") {
    Table wi(session), wt(session), ur(session);
    for (Table* t : {&wi, &wt, &ur}) t->SetDatabaseName(argv[2]);
    wi.SetTableName("WI");
    wt.SetTableName("WT");
    wt.SetIndexFieldNames("Doc");
    wt.SetMasterSource(&wi);
    wt.SetMasterFields("Id");
    ur.SetTableName("UR");
    ur.SetIndexFieldNames("Id");
    ur.SetMasterSource(&wi);
    ur.SetMasterFields("Payer");
    wi.Open();
    wt.Open();
    ur.Open();
    double sum = 0;
    for (wi.First(); !wi.Eof(); wi.Next()) {
      for (wt.First(); !wt.Eof(); wt.Next()) sum += wt.FieldByName("Quantity").AsFloat();
      if (!ur.Eof()) sum += static_cast<double>(ur.FieldByName("Firm Name").AsString().size());
      ++rows;
    }
    std::printf("checksum %.1f\n", sum);
  } else {
    std::fprintf(stderr, "nieznane zadanie %s\n", job.c_str());
    return 2;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %zu rows in %.3f s\n", job.c_str(), rows, seconds);
  return 0;
}
