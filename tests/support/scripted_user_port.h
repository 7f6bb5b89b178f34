#pragma once
// A user port for tests: records every text shown or asked and answers from
// a list given in advance.

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ui/user_port.h"

namespace kxtest {

class ScriptedUserPort : public kx::ui::UserPort {
 public:
  struct Shown {
    kx::ui::BoxKind kind;
    std::string text;
    bool question;
  };

  std::vector<Shown> shown;
  std::deque<kx::ui::Button> answers;            // next answers to questions
  std::deque<std::optional<std::string>> files;  // next answers to file and folder dialogs
  std::vector<std::string> waits;
  int busyDepth = 0;
  int busyCalls = 0;

  kx::ui::Button Ask(kx::ui::BoxKind kind, const std::string& text, const std::vector<kx::ui::Button>&,
                     kx::ui::Button) override {
    shown.push_back({kind, text, true});
    if (answers.empty()) throw std::logic_error("unexpected question: " + text);
    auto b = answers.front();
    answers.pop_front();
    return b;
  }
  void Show(kx::ui::BoxKind kind, const std::string& text) override { shown.push_back({kind, text, false}); }
  std::optional<std::string> ChooseSaveFile(kx::ui::FileDialogState& state) override {
    auto f = NextFile("save");
    if (f) state.fileName = *f;
    return f;
  }
  std::optional<std::string> ChooseOpenFile(kx::ui::FileDialogState& state) override {
    auto f = NextFile("open");
    if (f) state.fileName = *f;
    return f;
  }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override {
    return NextFile("folder");
  }
  void ShowWait(const std::string& text) override { waits.push_back(text); }
  void HideWait() override {}
  void BeginBusy() override {
    ++busyDepth;
    ++busyCalls;
  }
  void EndBusy() override { --busyDepth; }

 private:
  std::optional<std::string> NextFile(const char* what) {
    if (files.empty()) throw std::logic_error(std::string("unexpected ") + what + " dialog");
    auto f = files.front();
    files.pop_front();
    return f;
  }
};

}  // namespace kxtest
