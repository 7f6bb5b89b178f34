#pragma once
// The Polish standard texts of the program's message and question boxes, and
// the one helper that builds every such box. Qt has no process-wide setting
// for the captions and button texts of its boxes, so no box of the program is
// made with QMessageBox's static functions: all go through MessageDlg.

#include <QMessageBox>
#include <QString>
#include <string>
#include <vector>

#include "platform/ui/user_port.h"

class QWidget;

namespace kx::desktop {

enum class StdText {
  Warning,      // caption of a warning box
  Error,        // caption of an error box
  Information,  // caption of an information box
  Confirm,      // caption of a question box
  Yes,
  No,
  Ok,
  Cancel,
  Help,
  NoHelp,  // no help available
  HelpTitle,
  Abort,
  Retry,
  Ignore,
  All,
  NoToAll,
  YesToAll,
  DeleteRecord,  // question of the table grids before a row is deleted
  InvalidInput,  // data-aware edit boxes with a value that cannot be stored
};

QString StandardText(StdText id);

// Caption of a box of the given kind: "Ostrzeżenie", "Błąd", "Informacja", "Pytanie".
QString BoxCaption(ui::BoxKind kind);

// Text of a box button: "&Tak", "&Nie", "&OK", "&Anuluj", ...
QString ButtonText(ui::Button button);

// The system's messages break lines with "\r"; a Qt label wants "\n".
QString MessageText(const std::string& utf8);

// Shows a modal message or question box with the Polish caption of its kind
// and the Polish texts on the given buttons; returns the button pressed.
// Escape and the window's close button press Cancel when the box has it,
// otherwise No, otherwise its only button; Cancel is returned when the box
// ends without any button. The text is shown as plain text, never as markup.
ui::Button MessageDlg(QWidget* parent, ui::BoxKind kind, const QString& text, const std::vector<ui::Button>& buttons,
                      ui::Button defaultButton);

}  // namespace kx::desktop
