#pragma once
// The command line's answers to the question about an empty KSeF field.

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_user_port.h"

namespace kx::cli {

// The answers:
// "bfk" Yes to all, "empty" No, "cancel" Cancel, "ask" the terminal, and
// Cancel when nobody can answer. Every other question goes to the CLI port.
class KsefAnswerPort : public ui::UserPort {
 public:
  KsefAnswerPort(CliUserPort& inner, std::ostream& err, std::string policy, bool interactive,
                 std::optional<ui::Button> preset)
      : m_inner(inner), m_err(err), m_policy(std::move(policy)), m_interactive(interactive), m_preset(preset) {}

  ui::Button Ask(ui::BoxKind kind, const std::string& text, const std::vector<ui::Button>& buttons,
                 ui::Button defaultButton) override {
    bool ksefQuestion = std::find(buttons.begin(), buttons.end(), ui::Button::YesToAll) != buttons.end();
    if (!ksefQuestion) return m_inner.Ask(kind, text, buttons, defaultButton);
    if (m_policy == "bfk") return ui::Button::YesToAll;
    if (m_policy == "empty") return ui::Button::No;
    if (m_policy == "ask" && m_interactive) {
      // --yes/--no answer the contractor questions, not this one.
      m_inner.SetPresetAnswer(std::nullopt);
      ui::Button answer = m_inner.Ask(kind, text, buttons, defaultButton);
      m_inner.SetPresetAnswer(m_preset);
      return answer;
    }
    std::string shown = text;
    std::replace(shown.begin(), shown.end(), '\r', '\n');
    m_err << BoxCaption(kind) << ": " << shown << "\n(brak odpowiedzi: " << ButtonText(ui::Button::Cancel) << ")\n";
    return ui::Button::Cancel;
  }
  void Show(ui::BoxKind kind, const std::string& text) override { m_inner.Show(kind, text); }
  std::optional<std::string> ChooseSaveFile(ui::FileDialogState& state) override {
    return m_inner.ChooseSaveFile(state);
  }
  std::optional<std::string> ChooseOpenFile(ui::FileDialogState& state) override {
    return m_inner.ChooseOpenFile(state);
  }
  std::optional<std::string> ChooseFolder(const std::string& caption, const std::string& initialDir) override {
    return m_inner.ChooseFolder(caption, initialDir);
  }
  void ShowWait(const std::string& text) override { m_inner.ShowWait(text); }
  void HideWait() override { m_inner.HideWait(); }
  void BeginBusy() override { m_inner.BeginBusy(); }
  void EndBusy() override { m_inner.EndBusy(); }

 private:
  CliUserPort& m_inner;
  std::ostream& m_err;
  std::string m_policy;
  bool m_interactive;
  std::optional<ui::Button> m_preset;
};

}  // namespace kx::cli
