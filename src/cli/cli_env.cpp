#include "cli/cli_env.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include <unistd.h>

#include "app/configuration.h"
#include "app/data_files.h"
#include "cli/cli_user_port.h"
#include "platform/error.h"

namespace kx::cli {

CliEnv::CliEnv(std::vector<std::string> args, std::filesystem::path workingDir, std::ostream& out, std::ostream& err)
    : m_args(std::move(args)),
      m_workingDir(std::move(workingDir)),
      m_out(out),
      m_err(err),
      m_ui(std::make_unique<CliUserPort>(std::cin, out, err, isatty(STDIN_FILENO) != 0)) {}

CliEnv::~CliEnv() = default;

ui::UserPort& CliEnv::Ui() { return *m_ui; }

CliUserPort& CliEnv::Port() { return static_cast<CliUserPort&>(*m_ui); }

AppContext& CliEnv::Context() {
  if (!m_context) {
    auto ctx = std::make_unique<AppContext>(*m_ui);
    ReadConfiguration(*ctx, m_args, m_workingDir);
    for (const auto& warning : ctx->ConfigWarnings) m_err << "Ostrzeżenie: " << warning << "\n";
    ctx->OpenDlg.initialDir = ctx->AppSettings.SaveDir;
    ctx->SaveDlg.initialDir = ctx->AppSettings.SaveDir;
    m_context = std::move(ctx);
  }
  return *m_context;
}

tables::Date ParseMonthOption(const std::string& text) {
  int y = 0, m = 0;
  char tail = 0;
  if (text.size() != 7 || text[4] != '-' || std::sscanf(text.c_str(), "%4d-%2d%c", &y, &m, &tail) != 2 || m < 1 ||
      m > 12 || y < 1900) {
    throw CLI::ValidationError("--month", "miesiąc w postaci RRRR-MM, np. 2026-11");
  }
  return {y, m, 1};
}

std::filesystem::path SchemaFolder(CliEnv& env, const std::string& given) {
  if (!given.empty()) return given;
  try {
    AppContext& ctx = env.Context();
    if (!ctx.SchemaDir.empty()) return ctx.SchemaDir;
  } catch (const Error&) {
  }
  const std::filesystem::path local = env.WorkingDir() / "xsd";
  std::error_code ec;
  if (std::filesystem::exists(local / "catalog.xml", ec)) return local;
  AppContext bare(env.Ui());
  if (auto bundled = FindDataFile(bare, "xsd/catalog.xml")) return bundled->parent_path();
  return local;
}

}  // namespace kx::cli
