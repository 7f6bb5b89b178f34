// kx2jpk-cli table dump / query: a table file or the result of an SQL query
// over a folder of tables, printed as CSV (UTF-8, RFC 4180). They need no
// configuration file.

#include <CLI/CLI.hpp>
#include <charconv>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "cli/cli_env.h"
#include "platform/tables/codepage.h"
#include "platform/tables/csv.h"
#include "platform/tables/query.h"
#include "platform/tables/session.h"
#include "platform/tables/table.h"

namespace fs = std::filesystem;

namespace kx::cli {
namespace {

struct DumpOptions {
  std::string path;
  std::string filter;
  bool hasFilter = false;
  std::string index;
  int codePage = 0;
};

struct QueryOptions {
  std::string folder;
  std::string file;
  std::vector<std::string> params;
  int codePage = 0;
  int timeout = tables::Query::kDefaultTimeLimitSeconds;
};

tables::OpenOptions MakeOpenOptions(int codePage) {
  tables::OpenOptions options;
  if (codePage != 0) {
    if (!tables::IsKnownCodePage(codePage)) throw Error(Format("Nieznana strona kodowa %d.", codePage));
    options.forceCodePage = codePage;
  }
  return options;
}

fs::path FromWorkingDir(const CliEnv& env, const std::string& path) {
  fs::path p(path);
  return p.is_absolute() ? p : env.WorkingDir() / p;
}

// Rows are rendered into one buffer and written in large pieces; what is
// buffered when reading fails is dropped.
class CsvOut {
 public:
  explicit CsvOut(std::ostream& out) : m_out(out) {}
  std::ostream& Line() { return m_buffer; }
  void EndRow() {
    if (m_buffer.tellp() > (1 << 16)) Flush();
  }
  void Flush() {
    m_out << m_buffer.str();
    m_out.flush();
    m_buffer.str({});
  }

 private:
  std::ostream& m_out;
  std::ostringstream m_buffer;
};

void DumpTable(CliEnv& env, const DumpOptions& o) {
  tables::Session session;
  tables::Table table(session);
  table.SetOpenOptions(MakeOpenOptions(o.codePage));
  table.SetTableName(FromWorkingDir(env, o.path).string());
  if (!o.index.empty()) table.SetIndexFieldNames(o.index);
  if (o.hasFilter) {
    table.SetFilter(o.filter);
    table.SetFiltered(true);
  }
  table.Open();

  CsvOut out(env.Out());
  std::vector<std::string> names;
  for (size_t i = 0; i < table.FieldCount(); ++i) names.push_back(table.Fields(i).Name());
  tables::WriteCsvLine(out.Line(), names);
  std::vector<tables::Value> row(table.FieldCount());
  for (table.First(); !table.Eof(); table.Next()) {
    for (size_t i = 0; i < row.size(); ++i) row[i] = table.Fields(i).Current();
    tables::WriteCsvRow(out.Line(), row);
    out.EndRow();
  }
  out.Flush();
  env.exitCode = 0;
}

void RunQuery(CliEnv& env, const QueryOptions& o) {
  tables::Session session;
  tables::Query query(session);
  query.SetOpenOptions(MakeOpenOptions(o.codePage));
  query.SetDatabaseName(FromWorkingDir(env, o.folder));
  query.LoadFromFile(FromWorkingDir(env, o.file));
  query.SetTimeLimit(o.timeout);
  for (const std::string& param : o.params) {
    size_t eq = param.find('=');
    int64_t value = 0;
    const char* begin = eq == std::string::npos ? nullptr : param.data() + eq + 1;
    const char* end = param.data() + param.size();
    auto parsed =
        begin ? std::from_chars(begin, end, value) : std::from_chars_result{nullptr, std::errc::invalid_argument};
    if (eq == 0 || !begin || begin == end || parsed.ec != std::errc() || parsed.ptr != end) {
      throw Error(Format("Błędny parametr zapytania \"%s\": oczekiwano NAZWA=LICZBA_CAŁKOWITA.", param.c_str()));
    }
    query.SetParam(param.substr(0, eq), value);
  }
  query.Open();

  CsvOut out(env.Out());
  std::vector<std::string> names;
  for (const auto& field : query.Fields()) names.push_back(field.name);
  tables::WriteCsvLine(out.Line(), names);
  for (; !query.Eof(); query.Next()) {
    tables::WriteCsvRow(out.Line(), query.CurrentRow());
    out.EndRow();
  }
  out.Flush();
  query.Close();
  env.exitCode = 0;
}

}  // namespace

void AddTableCommands(CLI::App& app, CliEnv& env) {
  auto* table = app.add_subcommand("table", "Operacje na tabelach Paradox (.db) i dBase (.dbf)");
  table->require_subcommand(1);

  auto dump = std::make_shared<DumpOptions>();
  auto* dumpCmd = table->add_subcommand("dump", "Wypisz tabelę jako CSV (UTF-8, RFC 4180)");
  dumpCmd->footer(
      "Najpierw wiersz nazw pól, potem rekordy w porządku tabeli (klucz tabeli Paradox z kluczem,\n"
      "inaczej kolejność w pliku). Daty rrrr-mm-dd, czasy gg:mm:ss.zzz, znaczniki czasu rrrr-mm-dd gg:mm:ss,\n"
      "wartości logiczne true/false, liczby z kropką, wartości binarne jako <N bytes md5 ...>,\n"
      "brak wartości jako puste pole. Wiersze kończą się znakami CR LF.");
  dumpCmd->add_option("PATH", dump->path, "Plik tabeli .db lub .dbf albo nazwa tabeli bez rozszerzenia")->required();
  dumpCmd->add_option_function<std::string>(
      "--filter",
      [dump](const std::string& text) {
        dump->filter = text;
        dump->hasFilter = true;
      },
      "Filtr rekordów, np. \"(Date >= 2024-05-01) and ([Period Id] = 12405)\"");
  dumpCmd->add_option("--index", dump->index, "Porządek według pól, np. \"Pole1;Pole2\" (puste wartości na początku)");
  dumpCmd->add_option("--codepage", dump->codePage,
                      "Strona kodowa tekstu zamiast tej, którą podaje plik (np. 852, 1250, 620 = Mazovia)");
  dumpCmd->callback([&env, dump] { DumpTable(env, *dump); });
  // The main program polishes the help of first-level commands; this one is
  // a level lower.
  dumpCmd->group("POLECENIA");
  if (CLI::Option* help = dumpCmd->get_help_ptr()) help->description("Pokaż pomoc i zakończ")->group("OPCJE");
  dumpCmd->set_help_all_flag();

  auto query = std::make_shared<QueryOptions>();
  auto* queryCmd = app.add_subcommand("query", "Wykonaj zapytanie SQL z pliku i wypisz wynik jako CSV");
  queryCmd->footer(
      "Zapytanie w dialekcie SQLite. Każdy plik .db i .dbf folderu --db jest tabelą o nazwie pliku\n"
      "bez rozszerzenia; nazwy z odstępami w cudzysłowie, np. D.\"Period Id\". Daty jako tekst 'rrrr-mm-dd'.\n"
      "Parametry :NAZWA dostają wartości z --param NAZWA=LICZBA. Wynik wypisywany jak w \"table dump\".");
  queryCmd->add_option("--db", query->folder, "Folder bazy danych (tabele zapytania)")->required();
  queryCmd->add_option("FILE", query->file, "Plik z tekstem zapytania SQL")->required();
  queryCmd->add_option("--param", query->params, "Parametr zapytania NAZWA=LICZBA (dla :NAZWA w SQL); można powtarzać")
      ->expected(1)
      ->take_all();
  queryCmd->add_option("--codepage", query->codePage, "Strona kodowa tekstu tabel zamiast tej, którą podają pliki");
  queryCmd
      ->add_option("--timeout", query->timeout,
                   "Najdłuższy czas wykonania zapytania w sekundach (domyślnie " +
                       std::to_string(tables::Query::kDefaultTimeLimitSeconds) + ")")
      ->check(CLI::Range(1, 86400))
      ->option_text("SEKUNDY");
  queryCmd->callback([&env, query] { RunQuery(env, *query); });
}

}  // namespace kx::cli
