// kx2jpk-cli repair / validate: for files received from other programs.

#include <CLI/CLI.hpp>
#include <optional>
#include <ostream>

#include "platform/error.h"
#include "cli/cli_env.h"
#include "cli/cli_user_port.h"
#include "cli/jpk_command_file.h"
#include "jpk/files/jpk_validate.h"
#include "jpk/files/jpkTools.h"

namespace kx::cli {
namespace {

struct RepairOptions {
  std::string file;
  bool yes = false;
  bool no = false;
};

struct ValidateOptions {
  std::string file;
  std::string schemas;
};

void Repair(CliEnv& env, const RepairOptions& o) {
  if (o.yes) env.Port().SetPresetAnswer(ui::Button::Yes);
  if (o.no) env.Port().SetPresetAnswer(ui::Button::No);
  // The repair needs no firm profile: only the questions.
  AppContext ctx(env.Ui());
  std::string kind = JpkKindOfFile(o.file);
  bool repaired = false;
  if (kind == "JPK_V7M(3)") {
    auto root = jpk::v7m::LoadJPK(o.file);
    repaired = jpk::RepairV7MPrefixes(ctx, root, o.file);
    env.KeepUntilExit(root.OwnerDocument());
  } else if (kind == "JPK_FA(4)") {
    auto root = jpk::fa::LoadJPKFA(o.file);
    repaired = jpk::RepairFAPrefixes(ctx, root, o.file);
    env.KeepUntilExit(root.OwnerDocument());
  } else {
    throw Error(Format("Plik %s nie jest plikiem JPK_V7M(3) ani JPK_FA(4): tylko te pliki mają naprawę przedrostków",
                       o.file.c_str()));
  }
  if (repaired) {
    std::filesystem::path f(o.file);
    env.Out() << "Poprawiono przedrostki przestrzeni nazw w pliku " << o.file
              << "\nKopia poprzedniej wersji: " << (f.parent_path() / "backup" / ("~" + f.filename().string())).string()
              << "\n";
  } else {
    env.Out() << "Plik " << o.file << " pozostał bez zmian\n";
  }
}

void Validate(CliEnv& env, const ValidateOptions& o) {
  auto errors = jpk::ValidateJpkFile(o.file, SchemaFolder(env, o.schemas));
  if (errors.empty()) {
    env.Out() << "Plik " << o.file << " jest zgodny ze schematem\n";
    return;
  }
  for (const auto& e : errors) env.Out() << o.file << ": wiersz " << e.line << ": " << e.message << "\n";
  env.Out() << "Plik niezgodny ze schematem, błędów: " << errors.size() << "\n";
  env.exitCode = 1;
}

}  // namespace

void AddJpkCommands(CLI::App& app, CliEnv& env) {
  auto repair = std::make_shared<RepairOptions>();
  auto* r =
      app.add_subcommand("repair", "Popraw przedrostki przestrzeni nazw pliku JPK_V7M lub JPK_FA (z kopią w backup)");
  r->add_option("PLIK", repair->file, "Plik JPK")->required();
  auto* yes = r->add_flag("--yes", repair->yes, "Odpowiedz Tak na pytanie o poprawienie");
  r->add_flag("--no", repair->no, "Odpowiedz Nie na pytanie o poprawienie")->excludes(yes);
  r->callback([&env, repair] { Repair(env, *repair); });

  auto validate = std::make_shared<ValidateOptions>();
  auto* v = app.add_subcommand("validate", "Sprawdź plik JPK ze schematem XSD (JPK_V7M, JPK_FA, JPK_MAG, JPK_KR)");
  v->add_option("PLIK", validate->file, "Plik JPK")->required();
  v->add_option("--schemas", validate->schemas, "Folder schematów XSD z plikiem catalog.xml");
  v->callback([&env, validate] { Validate(env, *validate); });
}

}  // namespace kx::cli
