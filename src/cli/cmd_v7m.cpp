// kx2jpk-cli v7m: the JPK_V7M editor's commands without its window. Every
// file is opened as the editor opens it (clean-up, prefix repair, numbering
// and control sums) and saved through the file services.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <ostream>
#include <tuple>

#include "platform/error.h"
#include "cli/cli_env.h"
#include "cli/cli_user_port.h"
#include "cli/jpk_command_file.h"
#include "editor/v7m_editor.h"
#include "editor/v7m_receipt.h"
#include "platform/text_utils.h"

namespace kx::cli {
namespace {

namespace fs = std::filesystem;
using editor::EditorInfo;
using editor::V7MEditor;

void PrintInfo(std::ostream& o, const EditorInfo& i) {
  auto line = [&o](const char* name, const std::string& value) { o << name << "=" << value << "\n"; };
  auto flag = [&line](const char* name, bool value) { line(name, value ? "1" : "0"); };
  line("Caption", i.caption);
  line("edGenDate", i.generatedAt);
  line("edNIP", i.nip);
  line("edDateRange", i.dateRange);
  line("edSaleLinesCount", i.saleCount);
  line("edSaleTaxSum", i.saleTax);
  line("edBuyLinesCount", i.purchaseCount);
  line("edBuyTaxSum", i.purchaseTax);
  line("gbDeklaracja", i.declarationCaption);
  line("edP37", i.p37);
  line("edP38", i.p38);
  line("edP39", i.p39);
  line("edP40Plus42", i.p40Plus42);
  line("edP48", i.p48);
  line("edP49", i.p49);
  line("edP50", i.p50);
  line("edP51", i.p51);
  line("edP52", i.p52);
  line("edP53", i.p53);
  line("edP54", i.p54);
  flag("rbZwrot540", i.refund == editor::RefundTerm::P540);
  flag("rbZwrot55", i.refund == editor::RefundTerm::P55);
  flag("rbZwrot56", i.refund == editor::RefundTerm::P56);
  flag("rbZwrot560", i.refund == editor::RefundTerm::P560);
  flag("rbZwrot58", i.refund == editor::RefundTerm::P58);
  flag("cbP59", i.p59);
  line("edP60", i.p60);
  line("edP61", i.p61);
  line("edP62", i.p62);
  line("edP68", i.p68);
  line("edP69", i.p69);
  line("edORDZU", i.ordzu);
  for (auto [name, check] : {std::pair{"check38", &i.check38}, std::pair{"check48", &i.check48}}) {
    if (!check->shown) continue;
    line(name, check->ok ? "ok" : "diff");
    line((std::string(name) + ".hint").c_str(), check->hint);
  }
}

void SetAnswer(CliEnv& env, bool yes, bool no) {
  if (yes) env.Port().SetPresetAnswer(ui::Button::Yes);
  if (no) env.Port().SetPresetAnswer(ui::Button::No);
}

void Saved(CliEnv& env, V7MEditor& editor, const std::string& target) {
  editor.SaveTo(target);
  env.Out() << "Zapisano plik: " << target << "\n";
  env.KeepUntilExit(editor.Document().OwnerDocument());
}

struct FileOptions {
  std::string file;
  std::string output;
  bool yes = false;
  bool no = false;
  std::string Target() const { return output.empty() ? file : output; }
};

void AddOutput(CLI::App* c, FileOptions& o) { c->add_option("PLIK", o.file, "Plik JPK_V7M")->required(); }

void AddAnswers(CLI::App* c, FileOptions& o) {
  auto* yes = c->add_flag("--yes", o.yes, "Odpowiedz Tak na pytania");
  c->add_flag("--no", o.no, "Odpowiedz Nie na pytania")->excludes(yes);
}

// ---------------------------------------------------------------- commands

void OpenCommand(CliEnv& env, const FileOptions& o) {
  SetAnswer(env, o.yes, o.no);
  V7MCommandFile file(env, o.file, V7MCommandFile::CleanUp::InPlace);
  if (!file.Opened()) return;
  PrintInfo(env.Out(), file.Editor().RefreshInfo());
}

void RecalcCommand(CliEnv& env, const FileOptions& o) {
  V7MCommandFile file(env, o.file, V7MCommandFile::CleanUp::OnCopy);
  if (!file.Opened()) return;
  V7MEditor& editor = file.Editor();
  if (o.output.empty() && !editor.Modified()) {
    env.Out() << "Numeracja i sumy kontrolne są aktualne, plik " << o.file << " pozostał bez zmian\n";
    return;
  }
  Saved(env, editor, o.Target());
}

struct LinkOptions : FileOptions {
  std::string other;
};

void LinkCommand(CliEnv& env, const LinkOptions& o) {
  SetAnswer(env, o.yes, o.no);  // linking a file of another NIP or month
  V7MCommandFile file(env, o.file, V7MCommandFile::CleanUp::OnCopy);
  if (!file.Opened()) return;
  V7MEditor& editor = file.Editor();
  if (!editor.LinkFile(o.other)) {
    env.exitCode = 1;
    return;
  }
  Saved(env, editor, o.Target());
}

// A combination of options that the editor window does not allow: bad usage
// (exit 2), reported as the command-line library's own complaints are.
class UsageError : public CLI::ParseError {
 public:
  explicit UsageError(std::string message)
      : CLI::ParseError("UsageError", std::move(message), CLI::ExitCodes::ValidationError) {}
};

struct DeclarationOptions : FileOptions {
  std::string p39, p49, p50, p52, p54, refund, p60, p61, ordzu;
  bool p59 = false;
  CLI::Option *o39 = nullptr, *o49 = nullptr, *o50 = nullptr, *o52 = nullptr, *o54 = nullptr, *oRefund = nullptr,
              *o59 = nullptr, *o60 = nullptr, *o61 = nullptr, *oOrdzu = nullptr;
};

// The window offers P_59 with the refund amount (both inside the refund group
// of the schema) and P_60, P_61 only once P_59 is checked. Checked on the
// values the calculation would use, when the options take part in them.
void RefuseWindowlessCombinations(const DeclarationOptions& o, const editor::DeclarationInput& in) {
  const bool refundTouched = o.o59->count() > 0 || o.o54->count() > 0;
  if (refundTouched && in.p59 && Trim(in.p54).empty()) {
    throw UsageError("zaliczenie zwrotu na poczet przyszłych zobowiązań (--P59) wymaga kwoty do zwrotu (--P54)");
  }
  for (auto [option, name, value] : {std::tuple{o.o60, "--P60", &in.p60}, std::tuple{o.o61, "--P61", &in.p61}}) {
    if (option->count() > 0 && !Trim(*value).empty() && !in.p59) {
      throw UsageError(std::string("opcja ") + name +
                       " wymaga zaliczenia zwrotu na poczet przyszłych zobowiązań (--P59)");
    }
  }
}

void DeclarationCommand(CliEnv& env, const DeclarationOptions& o) {
  V7MCommandFile file(env, o.file, V7MCommandFile::CleanUp::OnCopy);
  if (!file.Opened()) return;
  V7MEditor& editor = file.Editor();
  // As in the window: the typed fields hold the values of the last
  // calculation; the options replace them.
  editor::DeclarationInput in = editor::DeclarationInputFrom(editor.RefreshInfo());
  auto take = [](CLI::Option* option, const std::string& value, std::string& field) {
    if (option->count() > 0) field = value;
  };
  take(o.o39, o.p39, in.p39);
  take(o.o49, o.p49, in.p49);
  take(o.o50, o.p50, in.p50);
  take(o.o52, o.p52, in.p52);
  take(o.o54, o.p54, in.p54);
  take(o.o60, o.p60, in.p60);
  take(o.o61, o.p61, in.p61);
  take(o.oOrdzu, o.ordzu, in.ordzu);
  if (o.o59->count() > 0) in.p59 = o.p59;
  if (o.oRefund->count() > 0) {
    in.refund = *editor::RefundTermFromCode(o.refund);
  } else if (in.p54.empty()) {
    in.refund = editor::RefundTerm::None;  // an empty P_54 unchecks the terms
  }
  RefuseWindowlessCombinations(o, in);
  auto result = editor.RecalcDeclaration(in);
  if (result.status != editor::DeclarationResult::Status::Done) {
    env.exitCode = 1;  // the warning went to standard error; nothing written
    return;
  }
  PrintInfo(env.Out(), editor.RefreshInfo());
  Saved(env, editor, o.Target());
}

void ClearDeclarationCommand(CliEnv& env, const FileOptions& o) {
  V7MCommandFile file(env, o.file, V7MCommandFile::CleanUp::OnCopy);
  if (!file.Opened()) return;
  V7MEditor& editor = file.Editor();
  if (editor.Document().Node().FindChild("Deklaracja").IsNull()) {
    env.Out() << "Plik " << o.file << " nie ma części deklaracyjnej; nic nie zapisano\n";
    return;
  }
  editor.ClearDeclarationTo(o.Target());
}

struct ParagonOptions : FileOptions {
  std::string doc, net23, tax23, net8, tax8, net5, tax5, value0, free;
  std::vector<std::pair<CLI::Option*, std::pair<const std::string*, std::string editor::ReceiptFields::*>>> amounts;
  CLI::Option* oDoc = nullptr;
};

void ParagonCommand(CliEnv& env, const ParagonOptions& o) {
  SetAnswer(env, o.yes, o.no);
  V7MCommandFile file(env, o.file, V7MCommandFile::CleanUp::OnCopy);
  if (!file.Opened()) return;
  V7MEditor& editor = file.Editor();
  // A new receipt record takes its date and document name from the profile.
  if (!file.HasProfile() && editor::FindReceiptRecord(editor.Document()).IsNull()) env.Context();
  editor::ReceiptTotals totals;
  bool written = editor.AddParagonSale([&](editor::ReceiptFields& f) {
    if (o.oDoc->count() > 0) f.document = o.doc;
    for (const auto& [option, target] : o.amounts) {
      if (option->count() > 0) f.*target.second = editor::AmountFieldText(*target.first);
    }
    totals = editor::RecalcReceipt(f);
    if (auto failure = editor::CheckReceiptRates(f, env.Ui())) throw Error(failure->message);
    return true;
  });
  if (!written) {
    env.Out() << "Nie utworzono wpisu ze sprzedażą paragonową; nic nie zapisano\n";
    return;
  }
  env.Out() << "edSumVAT=" << totals.taxSum << "\nedTotal=" << totals.total << "\nedDiffV23=" << totals.diff23
            << "\nedDiffV8=" << totals.diff8 << "\nedDiffV5=" << totals.diff5 << "\n";
  PrintInfo(env.Out(), editor.RefreshInfo());
  Saved(env, editor, o.Target());
}

}  // namespace

void AddV7MCommands(CLI::App& app, CliEnv& env) {
  auto* v7m = app.add_subcommand("v7m", "Edytor JPK_V7M: wczytanie, przeliczenie, łączenie, deklaracja, paragony");
  v7m->require_subcommand(1);
  const char* outputHelp = "Zapisz wynik do tego pliku (domyślnie: zastąp plik wejściowy)";

  auto open = std::make_shared<FileOptions>();
  auto* c = v7m->add_subcommand("open", "Wczytaj plik jak edytor i pokaż sumy kontrolne oraz deklarację");
  AddOutput(c, *open);
  AddAnswers(c, *open);
  c->callback([&env, open] { OpenCommand(env, *open); });

  auto recalc = std::make_shared<FileOptions>();
  c = v7m->add_subcommand("recalc", "Ponumeruj wiersze i przelicz sumy kontrolne");
  AddOutput(c, *recalc);
  c->add_option("-o,--output", recalc->output, outputHelp);
  c->callback([&env, recalc] { RecalcCommand(env, *recalc); });

  auto link = std::make_shared<LinkOptions>();
  c = v7m->add_subcommand("link", "Połącz dwa pliki: wiersze drugiego po wierszach pierwszego");
  AddOutput(c, *link);
  c->add_option("INNY", link->other, "Plik JPK_V7M dołączany")->required();
  c->add_option("-o,--output", link->output, outputHelp);
  AddAnswers(c, *link);
  c->callback([&env, link] { LinkCommand(env, *link); });

  auto decl = std::make_shared<DeclarationOptions>();
  c = v7m->add_subcommand("declaration", "Przelicz część deklaracyjną (VAT-7)");
  AddOutput(c, *decl);
  decl->o39 = c->add_option("--P39", decl->p39, "Kwota nadwyżki z poprzedniej deklaracji");
  decl->o49 = c->add_option("--P49", decl->p49, "Kwota wydatkowana na zakup kas rejestrujących do odliczenia");
  decl->o50 = c->add_option("--P50", decl->p50, "Kwota objęta zaniechaniem poboru");
  decl->o52 = c->add_option("--P52", decl->p52, "Kwota na zakup kas rejestrujących do zwrotu");
  decl->o54 = c->add_option("--P54", decl->p54, "Kwota nadwyżki do zwrotu na rachunek");
  decl->oRefund =
      c->add_option("--refund", decl->refund, "Termin zwrotu: 540, 55, 56, 560 albo 58")
          ->check(CLI::Validator(
              [](std::string& v) {
                return editor::RefundTermFromCode(v) ? std::string() : "termin zwrotu: 540, 55, 56, 560 albo 58";
              },
              "", "termin"));
  decl->o59 = c->add_flag("--P59", decl->p59, "Zaliczenie zwrotu na poczet przyszłych zobowiązań");
  decl->o60 = c->add_option("--P60", decl->p60, "Kwota na poczet przyszłych zobowiązań");
  decl->o61 = c->add_option("--P61", decl->p61, "Rodzaj zobowiązania");
  decl->oOrdzu = c->add_option("--ORDZU", decl->ordzu, "Przyczyny złożenia korekty");
  c->add_option("-o,--output", decl->output, outputHelp);
  c->callback([&env, decl] { DeclarationCommand(env, *decl); });

  auto clear = std::make_shared<FileOptions>();
  c = v7m->add_subcommand("clear-declaration", "Usuń część deklaracyjną i zapisz plik");
  AddOutput(c, *clear);
  c->add_option("-o,--output", clear->output, outputHelp);
  c->callback([&env, clear] { ClearDeclarationCommand(env, *clear); });

  auto paragon = std::make_shared<ParagonOptions>();
  c = v7m->add_subcommand("paragon", "Sprzedaż paragonowa: wpis z raportu fiskalnego okresowego");
  AddOutput(c, *paragon);
  paragon->oDoc = c->add_option("--doc", paragon->doc, "Dowód sprzedaży");
  struct AmountOption {
    const char* name;
    const char* help;
    std::string ParagonOptions::*value;
    std::string editor::ReceiptFields::*field;
  };
  const AmountOption amountOptions[] = {
      {"--net23", "Sprzedaż netto 23%", &ParagonOptions::net23, &editor::ReceiptFields::net23},
      {"--tax23", "Kwota PTU 23%", &ParagonOptions::tax23, &editor::ReceiptFields::tax23},
      {"--net8", "Sprzedaż netto 8%", &ParagonOptions::net8, &editor::ReceiptFields::net8},
      {"--tax8", "Kwota PTU 8%", &ParagonOptions::tax8, &editor::ReceiptFields::tax8},
      {"--net5", "Sprzedaż netto 5%", &ParagonOptions::net5, &editor::ReceiptFields::net5},
      {"--tax5", "Kwota PTU 5%", &ParagonOptions::tax5, &editor::ReceiptFields::tax5},
      {"--value0", "Sprzedaż 0%", &ParagonOptions::value0, &editor::ReceiptFields::value0},
      {"--free", "Sprzedaż zwolniona", &ParagonOptions::free, &editor::ReceiptFields::exempt},
  };
  for (const AmountOption& a : amountOptions) {
    std::string& value = (*paragon).*a.value;
    CLI::Option* option = c->add_option(a.name, value, std::string(a.help) + " (pusty tekst usuwa kwotę)");
    paragon->amounts.push_back({option, {&value, a.field}});
  }
  AddAnswers(c, *paragon);
  c->add_option("-o,--output", paragon->output, outputHelp);
  c->callback([&env, paragon] { ParagonCommand(env, *paragon); });

  v7m->group("POLECENIA");
  for (CLI::App* sub : v7m->get_subcommands({})) {
    sub->group("POLECENIA");
    sub->option_defaults()->group("OPCJE");
    sub->formatter(app.get_formatter());
    if (CLI::Option* help = sub->get_help_ptr()) help->description("Pokaż pomoc i zakończ")->group("OPCJE");
    sub->set_help_all_flag();
  }
}

}  // namespace kx::cli
