#include "cli/jpk_command_file.h"

#include <filesystem>

#include "cli/cli_env.h"
#include "jpk/files/jpk_validate.h"
#include "platform/xml/xml_document.h"

namespace kx::cli {
namespace {

namespace fs = std::filesystem;

bool ConfigurationPresent(CliEnv& env) {
  for (const std::string& a : env.Args()) {
    if (a.rfind("/ini=", 0) == 0) return true;
  }
  std::string stem = env.Args().empty() ? "kx2jpk" : fs::path(env.Args()[0]).stem().string();
  std::error_code ec;
  return fs::exists(env.WorkingDir() / (stem + ".ini"), ec);
}

}  // namespace

std::string JpkKindOfFile(const std::string& file) {
  // The root element is enough; a file that cannot be read that far is
  // loaded whole, for the message that says why.
  if (auto uri = xml::XmlDocument::RootNamespaceOfFile(file)) return jpk::JpkKindOfNamespace(*uri);
  return jpk::JpkKindOfNamespace(xml::XmlDocument::FromFile(file).DocumentElement().NamespaceURI());
}

V7MCommandFile::V7MCommandFile(CliEnv& env, const std::string& file, CleanUp cleanUp) {
  if (ConfigurationPresent(env)) {
    m_ctx = &env.Context();
  } else {
    m_bare = std::make_unique<AppContext>(env.Ui());
    m_ctx = m_bare.get();
  }
  m_editor = std::make_unique<editor::V7MEditor>(*m_ctx, env.WorkingDir());
  m_editor->cleanUpInPlace = cleanUp == CleanUp::InPlace;
  m_opened = m_editor->OpenFile(file);
  if (!m_opened) env.exitCode = 1;
}

V7MCommandFile::~V7MCommandFile() = default;

}  // namespace kx::cli
