#pragma once
// What every command of the command line shares: the original arguments (for
// "/ini="), the working folder, the output streams and the configuration,
// read on first use exactly as the desktop program reads it.

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/app_context.h"
#include "jpk/files/jpkTools.h"
#include "platform/xml/xml_document.h"

namespace CLI {
class App;
}

namespace kx::cli {

class CliUserPort;

class CliEnv {
 public:
  CliEnv(std::vector<std::string> args, std::filesystem::path workingDir, std::ostream& out, std::ostream& err);
  ~CliEnv();

  const std::vector<std::string>& Args() const { return m_args; }
  const std::filesystem::path& WorkingDir() const { return m_workingDir; }
  std::ostream& Out() { return m_out; }
  std::ostream& Err() { return m_err; }

  // The application context with the configuration read (kx::Error on a
  // configuration failure).
  AppContext& Context();
  // The user port of the command line: answers given by options, asked on a
  // terminal, refused safely when nobody can answer.
  ui::UserPort& Ui();
  CliUserPort& Port();

  int exitCode = 0;
  std::string executablePath;  // the running program's file, for its version block

  // A document the command ends with, left for the system to take back when
  // the program ends: main then exits without freeing it node by node, which
  // takes longer for a large file than the rest of the program's end.
  void KeepUntilExit(xml::XmlDocument document) { m_kept.push_back(std::move(document)); }
  bool KeepsDocuments() const { return !m_kept.empty(); }

 private:
  std::vector<std::string> m_args;
  std::filesystem::path m_workingDir;
  std::ostream& m_out;
  std::ostream& m_err;
  std::unique_ptr<ui::UserPort> m_ui;
  std::unique_ptr<AppContext> m_context;
  std::vector<xml::XmlDocument> m_kept;
};

// The month of a --month option, "RRRR-MM" (CLI::ValidationError otherwise).
tables::Date ParseMonthOption(const std::string& text);

// Each command file registers its subcommands; the callbacks do the work and
// set env.exitCode; a kx::Error thrown from a callback is printed to standard
// error and gives exit code 1.
void AddConfigCommand(CLI::App& app, CliEnv& env);
void AddTableCommands(CLI::App& app, CliEnv& env);
void AddJpkCommands(CLI::App& app, CliEnv& env);
void AddV7MCommands(CLI::App& app, CliEnv& env);
void AddGenerateCommands(CLI::App& app, CliEnv& env);
void AddExportCommand(CLI::App& app, CliEnv& env);
void AddConvertCommand(CLI::App& app, CliEnv& env);
void AddKrCommands(CLI::App& app, CliEnv& env);
void AddCheckCommand(CLI::App& app, CliEnv& env);

// The folder of the official schemas: the one given (--schemas), else the
// firm's SchemaDir, else "xsd" in the working folder, else the schemas that
// come with the program.
std::filesystem::path SchemaFolder(CliEnv& env, const std::string& given);

// The schema check of every JPK file a command saves: complaints go to
// standard error; with strict an invalid document fails (kx::Error), so that
// nothing is written.
jpk::SaveCheck MakeSaveCheck(CliEnv& env, const bool& strict);

}  // namespace kx::cli
