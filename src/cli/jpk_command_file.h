#pragma once
// A JPK file opened for one command: the work every file command shares
// (profile, clean-up, loading, prefix repair, the wrong-structure failure),
// so each command holds only its own work.

#include <memory>
#include <string>

#include "app/app_context.h"
#include "editor/v7m_editor.h"

namespace kx::cli {

class CliEnv;

// The kind of a JPK file by its root element's namespace ("JPK_V7M(3)",
// "JPK_FA(4)", …; "" for another file).
std::string JpkKindOfFile(const std::string& file);

// A JPK_V7M file as the editor opens it: clean-up, load, prefix repair,
// numbering and control sums. The firm profile is used when a configuration
// file is given or lies in the working folder; else the defaults serve the
// commands that need no profile.
class V7MCommandFile {
 public:
  enum class CleanUp {
    InPlace,  // the file itself is cleaned, with its backup (as the window does)
    OnCopy,   // a working copy is cleaned; the file stays as it is
  };

  V7MCommandFile(CliEnv& env, const std::string& file, CleanUp cleanUp);
  ~V7MCommandFile();

  // False when the file is not a JPK_V7M(3) document: the user port has shown
  // the error and the command's exit code is 1.
  bool Opened() const { return m_opened; }
  editor::V7MEditor& Editor() { return *m_editor; }
  AppContext& Context() { return *m_ctx; }
  // The configuration was found (else the defaults are in use).
  bool HasProfile() const { return !m_bare; }

 private:
  std::unique_ptr<AppContext> m_bare;
  AppContext* m_ctx = nullptr;
  std::unique_ptr<editor::V7MEditor> m_editor;
  bool m_opened = false;
};

}  // namespace kx::cli
