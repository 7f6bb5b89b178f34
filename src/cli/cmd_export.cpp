// kx2jpk-cli export: the export of the warehouse program's month (the
// "Generuj dane z Towix..." dialog) into one file.

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>

#include "app/configuration.h"
#include "cli/cli_env.h"
#include "cli/cli_user_port.h"
#include "export/towix_export.h"

namespace kx::cli {
namespace {

struct ExportCliOptions {
  std::string month;
  std::string format;
  std::string output;
  bool yes = false;
  bool no = false;
};

exports::ExportFormat FormatOf(const std::string& name) {
  if (name == "fa") return exports::ExportFormat::JpkFa;
  if (name == "mag") return exports::ExportFormat::JpkMag;
  if (name == "wapro") return exports::ExportFormat::Wapro;
  if (name == "sage") return exports::ExportFormat::Sage;
  return exports::ExportFormat::Ramzes;
}

void Export(CliEnv& env, const ExportCliOptions& o) {
  const tables::Date month = ParseMonthOption(o.month);
  std::optional<ui::Button> preset;
  if (o.yes) preset = ui::Button::Yes;
  if (o.no) preset = ui::Button::No;
  env.Port().SetPresetAnswer(preset);

  AppContext& ctx = env.Context();
  ctx.AppSettings.CurDate = month;

  // A failed export writes nothing: JPK_FA goes to a private file as it is
  // made, the other outputs are made in memory first.
  const exports::ExportFormat format = FormatOf(o.format);
  if (format == exports::ExportFormat::JpkFa) {
    env.Out() << exports::ExportJpkFaToFile(ctx, o.output) << "\n";
    return;
  }
  exports::ExportResult result = exports::RunExport(ctx, format);
  env.Out() << exports::WriteExport(result, o.output) << "\n";
}

}  // namespace

void AddExportCommand(CLI::App& app, CliEnv& env) {
  auto o = std::make_shared<ExportCliOptions>();
  auto* e = app.add_subcommand("export",
                               "Eksport dokumentów miesiąca z programu Towix: JPK_FA, JPK_MAG, Wapro, Sage lub Ramzes");
  e->add_option("--month", o->month, "Miesiąc RRRR-MM")->required();
  e->add_option("--format", o->format,
                "Format: fa (JPK_FA), mag (JPK_MAG), wapro (Wapro Magik), sage (Sage Symfonia), ramzes (Ramzes)")
      ->required()
      ->check(CLI::IsMember({"fa", "mag", "wapro", "sage", "ramzes"}))
      ->option_text("{fa,mag,wapro,sage,ramzes} WYMAGANE");
  e->add_option("-o,--output", o->output,
                "Plik wynikowy (zastępuje pytanie o zapis; dla sage zamiast kx2sage.txt); przy błędzie nie powstaje")
      ->required();
  auto* yes = e->add_flag("--yes", o->yes, "Odpowiedz Tak na pytania o dane kontrahentów");
  e->add_flag("--no", o->no, "Odpowiedz Nie na pytania o dane kontrahentów")->excludes(yes);
  e->callback([&env, o]() { Export(env, *o); });
}

}  // namespace kx::cli
