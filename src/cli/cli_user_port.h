#pragma once
// The user port of the command line. Questions are answered by the options a
// command was given (--yes / --no), else asked on the terminal; when nobody
// can answer (no terminal), the safe answer is the refusal: No, or Cancel
// where there is no No. Messages go to standard error, information to
// standard output.

#include <iosfwd>
#include <optional>

#include "platform/ui/user_port.h"

namespace kx::cli {

class CliUserPort : public ui::UserPort {
 public:
  CliUserPort(std::istream& in, std::ostream& out, std::ostream& err, bool interactive);

  // An answer given by options for every Yes/No question (nothing: ask).
  void SetPresetAnswer(std::optional<ui::Button> answer) { m_preset = answer; }
  // The name a save dialog returns (the command's -o option).
  void SetSaveFileName(std::optional<std::string> name) { m_saveName = std::move(name); }
  void SetOpenFileName(std::optional<std::string> name) { m_openName = std::move(name); }

  ui::Button Ask(ui::BoxKind kind, const std::string& text, const std::vector<ui::Button>& buttons,
                 ui::Button defaultButton) override;
  void Show(ui::BoxKind kind, const std::string& text) override;
  std::optional<std::string> ChooseSaveFile(ui::FileDialogState& state) override;
  std::optional<std::string> ChooseOpenFile(ui::FileDialogState& state) override;
  std::optional<std::string> ChooseFolder(const std::string& caption, const std::string& initialDir) override;
  void ShowWait(const std::string& text) override;
  void HideWait() override {}
  void BeginBusy() override {}
  void EndBusy() override {}
  void Progress(int percent, const std::string& text) override;

 private:
  std::optional<std::string> AskLine(const std::string& prompt);

  std::istream& m_in;
  std::ostream& m_out;
  std::ostream& m_err;
  bool m_interactive;
  std::optional<ui::Button> m_preset;
  std::optional<std::string> m_saveName;
  std::optional<std::string> m_openName;
};

// The Polish caption of a message box kind and the text of a button.
const char* BoxCaption(ui::BoxKind kind);
const char* ButtonText(ui::Button button);

}  // namespace kx::cli
