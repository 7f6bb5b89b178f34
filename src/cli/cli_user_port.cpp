#include "cli/cli_user_port.h"

#include <algorithm>
#include <iostream>
#include <string>

#include "platform/text_utils.h"

namespace kx::cli {

const char* BoxCaption(ui::BoxKind kind) {
  switch (kind) {
    case ui::BoxKind::Warning: return "Ostrzeżenie";
    case ui::BoxKind::Error: return "Błąd";
    case ui::BoxKind::Information: return "Informacja";
    case ui::BoxKind::Confirmation: return "Pytanie";
  }
  return "";
}

const char* ButtonText(ui::Button button) {
  switch (button) {
    case ui::Button::Yes: return "Tak";
    case ui::Button::No: return "Nie";
    case ui::Button::Ok: return "OK";
    case ui::Button::Cancel: return "Anuluj";
    case ui::Button::Abort: return "Przerwij";
    case ui::Button::Retry: return "Powtórz";
    case ui::Button::Ignore: return "Ignoruj";
    case ui::Button::All: return "Wszystko";
    case ui::Button::NoToAll: return "Nie wszyst.";
    case ui::Button::YesToAll: return "Tak wszyst.";
    case ui::Button::Help: return "Pomoc";
  }
  return "";
}

namespace {
// Message texts use "\r" and "\r\n" as line breaks; a terminal wants "\n".
std::string TerminalText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool Has(const std::vector<ui::Button>& buttons, ui::Button b) {
  return std::find(buttons.begin(), buttons.end(), b) != buttons.end();
}
}  // namespace

CliUserPort::CliUserPort(std::istream& in, std::ostream& out, std::ostream& err, bool interactive)
    : m_in(in), m_out(out), m_err(err), m_interactive(interactive) {}

ui::Button CliUserPort::Ask(ui::BoxKind kind, const std::string& text, const std::vector<ui::Button>& buttons,
                            ui::Button defaultButton) {
  if (m_preset && Has(buttons, *m_preset)) return *m_preset;
  if (m_preset == ui::Button::Yes && Has(buttons, ui::Button::Ok)) return ui::Button::Ok;
  if (m_preset == ui::Button::No && Has(buttons, ui::Button::Cancel) && !Has(buttons, ui::Button::No)) {
    return ui::Button::Cancel;
  }
  if (!m_interactive) {
    // Nobody can answer: refuse.
    m_err << BoxCaption(kind) << ": " << TerminalText(text) << "\n";
    ui::Button refusal = Has(buttons, ui::Button::No) ? ui::Button::No : ui::Button::Cancel;
    m_err << "(brak odpowiedzi: " << ButtonText(refusal) << ")\n";
    return refusal;
  }
  std::string choices;
  for (ui::Button b : buttons) {
    if (!choices.empty()) choices += "/";
    choices += ButtonText(b);
  }
  for (;;) {
    auto line = AskLine(std::string(BoxCaption(kind)) + ": " + TerminalText(text) + " [" + choices + "] ");
    if (!line) return Has(buttons, ui::Button::Cancel) ? ui::Button::Cancel : ui::Button::No;
    std::string answer = LowerCase(Trim(*line));
    if (answer.empty()) return defaultButton;
    for (ui::Button b : buttons) {
      std::string name = LowerCase(ButtonText(b));
      if (answer == name || (answer.size() == 1 && name.rfind(answer, 0) == 0)) return b;
    }
  }
}

void CliUserPort::Show(ui::BoxKind kind, const std::string& text) {
  std::ostream& o = kind == ui::BoxKind::Information ? m_out : m_err;
  o << (kind == ui::BoxKind::Information ? "" : std::string(BoxCaption(kind)) + ": ") << TerminalText(text) << "\n";
}

std::optional<std::string> CliUserPort::ChooseSaveFile(ui::FileDialogState& state) {
  std::optional<std::string> name = m_saveName;
  if (!name && m_interactive) {
    name = AskLine("Zapisz jako [" + state.initialDir + state.fileName + "]: ");
    if (name && Trim(*name).empty()) name = state.initialDir + state.fileName;
  }
  if (!name || name->empty()) return std::nullopt;
  state.fileName = *name;
  return name;
}

std::optional<std::string> CliUserPort::ChooseOpenFile(ui::FileDialogState& state) {
  std::optional<std::string> name = m_openName;
  if (!name && m_interactive) name = AskLine("Otwórz plik: ");
  if (!name || name->empty()) return std::nullopt;
  state.fileName = *name;
  return name;
}

std::optional<std::string> CliUserPort::ChooseFolder(const std::string& caption, const std::string& initialDir) {
  if (!m_interactive) return std::nullopt;
  auto name = AskLine(caption + " [" + initialDir + "]: ");
  if (name && Trim(*name).empty()) return initialDir;
  return name;
}

void CliUserPort::ShowWait(const std::string& text) {
  if (m_interactive) m_err << TerminalText(text) << "\n";
}

void CliUserPort::Progress(int percent, const std::string& text) {
  if (m_interactive) m_err << "\r" << percent << "% " << TerminalText(text) << std::flush;
}

std::optional<std::string> CliUserPort::AskLine(const std::string& prompt) {
  m_err << prompt << std::flush;
  std::string line;
  if (!std::getline(m_in, line)) return std::nullopt;
  return line;
}

}  // namespace kx::cli
