#include "jpk/v7m/ksef_question.h"

#include "platform/error.h"

namespace kx::jpk::v7m {

std::string AskEmptyKsef(AppContext& ctx, bool& alwaysMarkBfk, const std::string& messagePrefix) {
  if (alwaysMarkBfk) return "BFK";
  ui::Button answer =
      ctx.ui.Ask(ui::BoxKind::Confirmation, messagePrefix + "\rPuste pole KSeF. Oznaczyć jako BFK?",
                 {ui::Button::Yes, ui::Button::No, ui::Button::Cancel, ui::Button::YesToAll}, ui::Button::Yes);
  switch (answer) {
    case ui::Button::Yes: return "BFK";
    case ui::Button::YesToAll: alwaysMarkBfk = true; return "BFK";
    case ui::Button::No: return "";
    default: throw Error("Przerwano tworzenie JPK_V7M");
  }
}

}  // namespace kx::jpk::v7m
