// kx2jpk-cli kr: JPK_KR of a month from the bookkeeping program's ledger (the
// "Generuj dane z programu Rejko do JPK_KR" dialog without its window).

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <string>

#include "cli/cli_env.h"
#include "jpk/files/jpkTools.h"
#include "ledger/kr_generate.h"

namespace kx::cli {
namespace {

struct KrCliOptions {
  std::string month;
  std::string output;
};

constexpr int kSteps = 5;
constexpr int kBarWidth = 20;

// The run's progress on standard error: a bar redrawn in place on a
// terminal, one line per step otherwise.
class StepReport {
 public:
  StepReport(std::ostream& err, bool terminal) : m_err(err), m_terminal(terminal) {}
  ~StepReport() { EndLine(); }

  void operator()(const std::string& message, int position) {
    m_position = position < 0 ? m_position + 1 : position;
    if (!message.empty()) m_message = message;
    const std::string text = "Krok " + std::to_string(m_position) + "/" + std::to_string(kSteps) + ": " + m_message;
    if (!m_terminal) {
      m_err << text << "\n" << std::flush;
      return;
    }
    const int filled = std::min(kBarWidth, m_position * kBarWidth / kSteps);
    // Blanks after the text clear what a longer message left on the line.
    m_err << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, '.') << "] " << text << "\033[K"
          << std::flush;
    m_drawn = true;
  }

  void EndLine() {
    if (m_drawn) m_err << "\n" << std::flush;
    m_drawn = false;
  }

 private:
  std::ostream& m_err;
  bool m_terminal;
  int m_position = 0;
  std::string m_message;
  bool m_drawn = false;
};

void Generate(CliEnv& env, const KrCliOptions& o) {
  const tables::Date month = ParseMonthOption(o.month);
  AppContext& ctx = env.Context();
  ctx.AppSettings.CurDate = month;

  // The items go to a private file beside the output as they are made; only
  // a finished run takes the output's place.
  jpk::KRFileWriter file(o.output);
  ledger::KrCounts made;
  {
    StepReport report(env.Err(), isatty(STDERR_FILENO) != 0);
    made = ledger::GenerateJpkKR(
        ctx, env.WorkingDir(), file.Root(),
        [&report](const std::string& message, int position) { report(message, position); }, [&file] { file.Made(); });
  }
  file.Finish();
  file.Place();
  env.Out() << "Zapisano plik " << o.output << ": konta " << made.accounts << ", dziennik " << made.journal
            << ", zapisy na kontach " << made.entries << "\n";
}

}  // namespace

void AddKrCommands(CLI::App& app, CliEnv& env) {
  auto* kr = app.add_subcommand("kr", "Pliki JPK_KR(1) z ksiąg programu Rejko");
  kr->require_subcommand(1);
  auto o = std::make_shared<KrCliOptions>();
  auto* g = kr->add_subcommand("generate",
                               "Utwórz JPK_KR za miesiąc: zestawienie obrotów i sald, dziennik i zapisy na kontach");
  g->group("POLECENIA");
  g->option_defaults()->group("OPCJE");
  g->formatter(app.get_formatter());
  g->set_help_all_flag();
  if (CLI::Option* help = g->get_help_ptr()) help->description("Pokaż pomoc i zakończ")->group("OPCJE");
  g->add_option("--month", o->month, "Miesiąc RRRR-MM")->required();
  g->add_option("-o,--output", o->output, "Plik wynikowy JPK_KR; przy błędzie nie powstaje")->required();
  g->callback([&env, o]() { Generate(env, *o); });
}

}  // namespace kx::cli
