// kx2jpk-cli: every command of the main window, headless, for batch use.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <iostream>
#include <string>
#include <vector>

#include "platform/allocator.h"
#include "platform/error.h"
#include "platform/temp_file.h"
#include "cli/cli_env.h"
#include "jpk/files/jpkTools.h"

namespace {

// The executable's own path, for the version block.
std::string ExecutablePath(const char* argv0) {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(argv0) : self.string();
}

void PolishHelp(CLI::App& app) {
  auto fmt = std::make_shared<CLI::Formatter>();
  fmt->label("Usage", "Użycie");
  fmt->label("OPTIONS", "OPCJE");
  fmt->label("SUBCOMMAND", "POLECENIE");
  fmt->label("SUBCOMMANDS", "POLECENIA");
  fmt->label("POSITIONALS", "ARGUMENTY");
  fmt->label("Positionals", "Argumenty");
  fmt->label("Options", "Opcje");
  fmt->label("Subcommands", "Polecenia");
  fmt->label("REQUIRED", "WYMAGANE");
  fmt->label("TEXT", "TEKST");
  fmt->label("INT", "LICZBA");
  fmt->label("UINT", "LICZBA");
  fmt->label("FLOAT", "LICZBA");
  fmt->label("Needs", "Wymaga");
  fmt->label("Excludes", "Wyklucza");
  fmt->column_width(34);
  app.formatter(fmt);
}

}  // namespace

// The command-line library's complaint in Polish, its own words after it.
static std::string PolishParseError(const CLI::ParseError& e) {
  const std::string own = e.what();
  const std::string kind = e.get_name();
  auto between = [&](const std::string& from, const std::string& to) {
    const size_t a = own.find(from);
    if (a == std::string::npos) return std::string();
    const size_t b = to.empty() ? std::string::npos : own.find(to, a + from.size());
    return own.substr(a + from.size(), b == std::string::npos ? std::string::npos : b - a - from.size());
  };
  std::string polish;
  if (kind == "ConversionError") {
    // "Could not convert: --codepage = abc"
    polish = "niepoprawna wartość opcji " + between("convert: ", " = ") + ": " + between(" = ", "");
  } else if (own.find("subcommand is required") != std::string::npos) {
    polish = "brak polecenia";
  } else if (kind == "RequiredError") {
    polish = "brak wymaganej opcji lub argumentu " + between("", " is required");
  } else if (kind == "ExtrasError" || own.find("not expected") != std::string::npos) {
    polish = "nieoczekiwany argument: " + between(": ", "");
  } else if (kind == "ExcludesError") {
    polish = "opcji " + between("", " excludes ") + " nie można łączyć z " + between(" excludes ", "");
  } else if (kind == "ValidationError") {
    polish = "niepoprawna wartość opcji";
  } else if (kind == "ArgumentMismatch") {
    polish = "niewłaściwa liczba wartości opcji";
  } else if (kind == "RequiresError") {
    polish = "opcja wymaga innej opcji";
  } else {
    return own;
  }
  return polish + " (" + own + ")";
}

int main(int argc, char** argv) {
  kx::TuneAllocator();
  // A signal (a shutdown, Ctrl+C) removes the files a command was writing;
  // the files it was replacing stay whole.
  kx::RemovePrivateFilesOnSignals();
  // "/ini=FILE" (also "--ini FILE") chooses the configuration file as in the
  // desktop program; the other arguments go to the command parser.
  std::filesystem::path exe = ExecutablePath(argv[0]);
  std::vector<std::string> configArgs{(exe.parent_path() / "kx2jpk").string()};
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("/ini=", 0) == 0) {
      configArgs.push_back(a);
    } else if ((a == "--ini" || a == "-i") && i + 1 < argc) {
      configArgs.push_back(std::string("/ini=") + argv[++i]);
    } else if (a.rfind("--ini=", 0) == 0) {
      configArgs.push_back("/ini=" + a.substr(6));
    } else {
      rest.push_back(a);
    }
  }

  kx::cli::CliEnv env(configArgs, std::filesystem::current_path(), std::cout, std::cerr);
  env.executablePath = exe.string();

  CLI::App app{
      "kx2jpk-cli: pliki JPK (JPK_V7M, JPK_FA, JPK_MAG, JPK_KR) z wiersza poleceń.\n"
      "Plik konfiguracyjny firmy: /ini=PLIK (lub --ini PLIK); domyślnie kx2jpk.ini w bieżącym folderze.",
      "kx2jpk-cli"};
  PolishHelp(app);
  app.option_defaults()->group("OPCJE");
  app.set_help_flag("-h,--help", "Pokaż pomoc i zakończ");
  app.set_help_all_flag("--help-all", "Pokaż pomoc wszystkich poleceń");
  app.require_subcommand(1);
  app.fallthrough();
  // Every JPK file a command saves is checked against its schema first.
  bool strict = false;
  app.add_flag("--strict", strict,
               "Plik JPK niezgodny ze schematem nie zostaje zapisany (kod 1); bez tej opcji tylko ostrzeżenie "
               "na standardowym wyjściu błędów");
  kx::jpk::SetSaveCheck(kx::cli::MakeSaveCheck(env, strict));

  kx::cli::AddConfigCommand(app, env);
  kx::cli::AddTableCommands(app, env);
  kx::cli::AddJpkCommands(app, env);
  kx::cli::AddV7MCommands(app, env);
  kx::cli::AddGenerateCommands(app, env);
  kx::cli::AddExportCommand(app, env);
  kx::cli::AddConvertCommand(app, env);
  kx::cli::AddKrCommands(app, env);
  kx::cli::AddCheckCommand(app, env);
  for (CLI::App* sub : app.get_subcommands({})) {
    sub->group("POLECENIA");
    sub->option_defaults()->group("OPCJE");
    sub->formatter(app.get_formatter());
    if (CLI::Option* help = sub->get_help_ptr()) help->description("Pokaż pomoc i zakończ")->group("OPCJE");
    sub->set_help_all_flag();
  }

  std::reverse(rest.begin(), rest.end());
  try {
    app.parse(rest);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "Błędne wywołanie: " << PolishParseError(e) << "\nPolecenia i opcje: kx2jpk-cli --help\n";
    return 2;
  } catch (const kx::Error& e) {
    std::cerr << e.what() << "\n";
    return 1;
  } catch (const std::bad_alloc&) {
    // A file being replaced is renamed over only once finished: it is whole.
    std::cerr << "Błąd: brak pamięci (zamknij inne programy albo podziel plik)\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "Błąd: " << e.what() << "\n";
    return 1;
  }
#if !defined(__SANITIZE_ADDRESS__)
  // The documents a command kept are not freed one node at a time: the
  // system takes the memory back at once. (Sanitizer builds free them, so
  // that their leak check sees the whole run.)
  if (env.KeepsDocuments()) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(env.exitCode);
  }
#endif
  return env.exitCode;
}
