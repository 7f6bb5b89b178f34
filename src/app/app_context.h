#pragma once
// The application context: what the main window shares with every dialog and
// command. Created once at start, passed by reference.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "platform/tables/session.h"
#include "platform/ui/user_port.h"

namespace kx {

inline constexpr const char* kNewFileName = "nowy plik";

struct AppContext {
  explicit AppContext(ui::UserPort& port) : ui(port) {}

  kx::AppSettings AppSettings;  // the firm profile
  std::string JpkFileName;      // last JPK file opened or saved by the editor; "nowy plik" when unsaved
  std::string AppName;          // full path of the running executable
  std::string RunDir;           // folder of the configuration file, with trailing separator
  std::string IniFileName;      // full name of the configuration file
  tables::Session Session{"Session"};
  ui::FileDialogState OpenDlg;
  ui::FileDialogState SaveDlg;  // keeps its last file name between uses
  std::vector<std::string> CutDict;
  std::vector<std::string> RejkoAccSet;
  std::vector<std::string> ConfigWarnings;  // lines of the configuration file that were ignored
  std::string SchemaDir;                    // folder of the official JPK schemas (optional key SchemaDir)
  // Set while the JPK_KR task uses the table engine on its own thread: no
  // other command may use the engine meanwhile.
  std::atomic<bool> LedgerTaskRunning{false};
  ui::UserPort& ui;
};

}  // namespace kx
