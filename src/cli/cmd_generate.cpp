// kx2jpk-cli v7m generate: the "Generuj" command of the JPK_V7M generation.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <ostream>
#include <string>

#include "app/configuration.h"
#include "platform/error.h"
#include "cli/cli_env.h"
#include "cli/cli_user_port.h"
#include "cli/ksef_answer_port.h"
#include "editor/v7m_editor.h"
#include "generate/v7m_generate.h"
#include "jpk/files/jpkTools.h"

namespace kx::cli {
namespace {

struct GenerateCliOptions {
  std::string month;
  std::string source;
  bool noSales = false;
  bool noPurchases = false;
  bool correction = false;
  bool declaration = false;
  std::string link;
  std::string output;
  bool yes = false;
  bool no = false;
  std::string ksefEmpty = "ask";
};

void Generate(CliEnv& env, const GenerateCliOptions& o) {
  generate::GenerateOptions options;
  options.month = ParseMonthOption(o.month);
  options.source = o.source == "rejko"   ? generate::SourceProgram::Rejko
                   : o.source == "folvo" ? generate::SourceProgram::Folvo
                                         : generate::SourceProgram::Towix;
  options.sale = !o.noSales;
  options.buy = !o.noPurchases;
  options.correction = o.correction;
  options.declaration = o.declaration;

  std::optional<ui::Button> preset;
  if (o.yes) preset = ui::Button::Yes;
  if (o.no) preset = ui::Button::No;
  env.Port().SetPresetAnswer(preset);
  KsefAnswerPort port(env.Port(), env.Err(), o.ksefEmpty, isatty(STDIN_FILENO) != 0, preset);

  AppContext ctx(port);
  ReadConfiguration(ctx, env.Args(), env.WorkingDir());
  for (const auto& warning : ctx.ConfigWarnings) env.Err() << "Ostrzeżenie: " << warning << "\n";

  editor::V7MEditor editor(ctx, env.WorkingDir());
  // The file the new records are linked into, as when "Połącz pliki" was chosen.
  if (!o.link.empty() && !editor.LinkFile(o.link)) throw Error("Przerwano tworzenie JPK_V7M");

  generate::GenJpkVatState state;
  generate::GeneratedV7M generated = generate::GenerateJpkV7M(ctx, state, options);
  // A failed run stops here: nothing is written.
  if (generated.failure) std::rethrow_exception(generated.failure);
  // Linking into a file of another NIP or month needs --yes.
  if (!editor.AcceptGenerated(generated.document, options.declaration, std::nullopt)) {
    throw Error("Przerwano tworzenie JPK_V7M");
  }

  editor.SaveTo(o.output);
  auto ewidencja = editor.Document().Ewidencja();
  env.Out() << "Zapisano plik " << o.output << ": sprzedaż " << ewidencja.SprzedazWiersz().Count() << ", zakup "
            << ewidencja.ZakupWiersz().Count() << "\n";
  env.KeepUntilExit(editor.Document().OwnerDocument());
}

}  // namespace

void AddGenerateCommands(CLI::App& app, CliEnv& env) {
  CLI::App* v7m = nullptr;
  try {
    v7m = app.get_subcommand("v7m");
  } catch (const CLI::OptionNotFound&) {
    v7m = app.add_subcommand("v7m", "Pliki JPK_V7M(3)");
    v7m->require_subcommand(1);
  }
  auto o = std::make_shared<GenerateCliOptions>();
  auto* g = v7m->add_subcommand("generate", "Utwórz JPK_V7M za miesiąc z rejestrów programu źródłowego");
  g->group("POLECENIA");
  g->option_defaults()->group("OPCJE");
  g->formatter(app.get_formatter());
  g->set_help_all_flag();
  if (CLI::Option* help = g->get_help_ptr()) help->description("Pokaż pomoc i zakończ")->group("OPCJE");
  g->add_option("--month", o->month, "Miesiąc RRRR-MM")->required();
  g->add_option("--source", o->source, "Program źródłowy: towix, rejko lub folvo")
      ->required()
      ->check(CLI::IsMember({"towix", "rejko", "folvo"}))
      ->option_text("{towix,rejko,folvo} WYMAGANE");
  g->add_flag("--no-sales", o->noSales, "Bez rejestrów sprzedaży");
  g->add_flag("--no-purchases", o->noPurchases, "Bez rejestrów zakupu");
  g->add_flag("--correction", o->correction, "Korekta (cel złożenia 2)");
  g->add_flag("--declaration", o->declaration, "JPK z deklaracją: przelicz część deklaracyjną");
  g->add_option("--link", o->link, "Plik JPK_V7M, do którego dołączyć nowe wiersze")
      ->check(CLI::ExistingFile)
      ->option_text("PLIK");
  g->add_option("-o,--output", o->output, "Plik wynikowy JPK_V7M")->required();
  auto* yes = g->add_flag("--yes", o->yes, "Odpowiedz Tak na pytania o dane kontrahentów i o łączenie plików");
  g->add_flag("--no", o->no, "Odpowiedz Nie na pytania o dane kontrahentów i o łączenie plików")->excludes(yes);
  g->add_option("--ksef-empty", o->ksefEmpty,
                "Puste pole KSeF: ask (pytaj), bfk (oznacz BFK), empty (puste NrKSeF), cancel (przerwij)")
      ->check(CLI::IsMember({"ask", "bfk", "empty", "cancel"}))
      ->option_text("{ask,bfk,empty,cancel}");
  g->callback([&env, o]() { Generate(env, *o); });
}

}  // namespace kx::cli
