#pragma once
// Everything the core asks of the user goes through this port: question and
// message boxes, file and folder choice, the wait message and the hourglass.
// The desktop program answers with real dialogs, the command line with options
// or a terminal prompt, tests with a script.

#include <optional>
#include <string>
#include <vector>

namespace kx::ui {

enum class Button { Yes, No, Ok, Cancel, Abort, Retry, Ignore, All, NoToAll, YesToAll, Help };

// The result of a modal dialog or question, with the values the system's
// windows give them.
enum class ModalResult { None = 0, Ok = 1, Cancel = 2, Yes = 6, No = 7 };

// Warning "Ostrzeżenie", Error "Błąd", Information "Informacja", Confirmation "Pytanie".
enum class BoxKind { Warning, Error, Information, Confirmation };

// State of a file dialog that lives as long as the program: the save dialog
// keeps the last chosen name between uses.
struct FileDialogState {
  std::string filter = "Plik JPK|*.xml";
  std::string defaultExt = "xml";
  std::string initialDir;
  std::string fileName;
  std::string title;
};

class UserPort {
 public:
  virtual ~UserPort() = default;

  // A question box; returns the button pressed (Cancel when the box is closed).
  virtual Button Ask(BoxKind kind, const std::string& text, const std::vector<Button>& buttons,
                     Button defaultButton) = 0;
  // A message box with OK.
  virtual void Show(BoxKind kind, const std::string& text) = 0;

  // File dialogs: on OK the chosen full name is stored in state.fileName and
  // returned; nothing on Cancel.
  virtual std::optional<std::string> ChooseSaveFile(FileDialogState& state) = 0;
  virtual std::optional<std::string> ChooseOpenFile(FileDialogState& state) = 0;
  virtual std::optional<std::string> ChooseFolder(const std::string& caption, const std::string& initialDir) = 0;

  // The wait message shown while a file is being formatted or saved.
  virtual void ShowWait(const std::string& text) = 0;
  virtual void HideWait() = 0;

  // Hourglass cursor during long operations.
  virtual void BeginBusy() = 0;
  virtual void EndBusy() = 0;

  // Progress of a long job (0..100) with a short text; front ends may ignore it.
  virtual void Progress(int /*percent*/, const std::string& /*text*/) {}
};

// The hourglass for a scope; restored also after a failure.
class BusyCursor {
 public:
  explicit BusyCursor(UserPort& port) : m_port(port) { m_port.BeginBusy(); }
  ~BusyCursor() { m_port.EndBusy(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  UserPort& m_port;
};

}  // namespace kx::ui
