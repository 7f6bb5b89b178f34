// kx2jpk-cli convert: the converter ("Konwersja danych") for one file.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/configuration.h"
#include "cli/cli_env.h"
#include "cli/cli_user_port.h"
#include "cli/jpk_command_file.h"
#include "cli/ksef_answer_port.h"
#include "convert/convert.h"
#include "platform/error.h"

namespace kx::cli {
namespace {

struct ConvertCliOptions {
  std::string input;
  std::string to;
  std::string from;
  std::string output;
  bool yes = false;
  bool no = false;
  std::string ksefEmpty = "ask";
};

// The input format's text: from --from, else from the file's root element;
// a file of another kind is loaded as the kind the output needs, so that it
// gets the wrong-structure message.
std::string InputFormatText(const ConvertCliOptions& o) {
  std::string from = o.from;
  std::error_code ec;
  if (from.empty() && std::filesystem::is_regular_file(o.input, ec)) {
    const std::string kind = JpkKindOfFile(o.input);
    if (kind == "JPK_FA(4)") from = "fa";
    if (kind == "JPK_V7M(3)") from = "v7m";
  }
  if (from.empty()) from = o.to == "v7m" ? "fa" : "v7m";
  return from == "fa" ? convert::kInputFa : convert::kInputV7M;
}

void Convert(CliEnv& env, const ConvertCliOptions& o) {
  std::optional<ui::Button> preset;
  if (o.yes) preset = ui::Button::Yes;
  if (o.no) preset = ui::Button::No;
  env.Port().SetPresetAnswer(preset);
  KsefAnswerPort port(env.Port(), env.Err(), o.ksefEmpty, isatty(STDIN_FILENO) != 0, preset);

  std::error_code ec;
  if (!std::filesystem::is_directory(o.output, ec)) {
    throw Error(Format("Folder %s nie istnieje", o.output.c_str()));
  }

  AppContext ctx(port);
  ReadConfiguration(ctx, env.Args(), env.WorkingDir());
  for (const auto& warning : ctx.ConfigWarnings) env.Err() << "Ostrzeżenie: " << warning << "\n";

  convert::ConversionRequest request;
  std::error_code exists;
  if (std::filesystem::exists(o.input, exists)) RequireRegularFile(o.input);
  request.inputFormat = InputFormatText(o);
  request.inputFile = o.input;
  request.outputFormat = o.to == "v7m"         ? convert::kOutputV7M
                         : o.to == "buchalter" ? convert::kOutputBuchalter
                                               : convert::kOutputRamzes;
  request.outputFolder = o.output;
  request.keep = [&env](xml::XmlDocument document) { env.KeepUntilExit(std::move(document)); };
  convert::ConverterState state;
  std::string done = convert::RunConversion(ctx, state, request);
  for (char& c : done) {
    if (c == '\r') c = '\n';
  }
  env.Out() << done << "\n";
}

}  // namespace

void AddConvertCommand(CLI::App& app, CliEnv& env) {
  auto o = std::make_shared<ConvertCliOptions>();
  auto* c = app.add_subcommand(
      "convert", "Konwersja pliku: JPK_FA do JPK_V7M, JPK_V7M do tabel programu Buchalter lub do pliku Ramzes");
  c->add_option("PLIK", o->input, "Plik JPK do konwersji")->required();
  c->add_option("--to", o->to, "Format wynikowy: v7m (JPK_V7M), buchalter (tabele dBase), ramzes (plik XML)")
      ->required()
      ->check(CLI::IsMember({"v7m", "buchalter", "ramzes"}))
      ->option_text("{v7m,buchalter,ramzes} WYMAGANE");
  c->add_option("--from", o->from, "Format pliku: fa (JPK_FA) lub v7m (JPK_V7M); domyślnie wg pliku")
      ->check(CLI::IsMember({"fa", "v7m"}))
      ->option_text("{fa,v7m}");
  c->add_option("-o,--output", o->output, "Folder zapisu (przy błędzie nic w nim nie powstaje ani nie zmienia się)")
      ->required()
      ->option_text("FOLDER WYMAGANE");
  auto* yes = c->add_flag("--yes", o->yes, "Odpowiedz Tak na pytania (np. o naprawę przedrostków)");
  c->add_flag("--no", o->no, "Odpowiedz Nie na pytania")->excludes(yes);
  c->add_option("--ksef-empty", o->ksefEmpty,
                "Puste pole KSeF: ask (pytaj), bfk (oznacz BFK), empty (puste NrKSeF), cancel (przerwij)")
      ->check(CLI::IsMember({"ask", "bfk", "empty", "cancel"}))
      ->option_text("{ask,bfk,empty,cancel}");
  c->callback([&env, o]() { Convert(env, *o); });
}

}  // namespace kx::cli
