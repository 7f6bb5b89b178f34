#include "standard_texts.h"

#include <QAbstractButton>
#include <QPushButton>
#include <array>
#include <utility>

namespace kx::desktop {

namespace {

struct TextEntry {
  StdText id;
  const char* text;
};

// The standard texts of the program, in the order of StdText.
constexpr std::array kStandardTexts{
    TextEntry{StdText::Warning, "Ostrzeżenie"},
    TextEntry{StdText::Error, "Błąd"},
    TextEntry{StdText::Information, "Informacja"},
    TextEntry{StdText::Confirm, "Pytanie"},
    TextEntry{StdText::Yes, "&Tak"},
    TextEntry{StdText::No, "&Nie"},
    TextEntry{StdText::Ok, "&OK"},
    TextEntry{StdText::Cancel, "&Anuluj"},
    TextEntry{StdText::Help, "&Pomoc"},
    TextEntry{StdText::NoHelp, "Pomoc niedostępna"},
    TextEntry{StdText::HelpTitle, "Pomoc"},
    TextEntry{StdText::Abort, "Pr&zerwij"},
    TextEntry{StdText::Retry, "Powtó&rz"},
    TextEntry{StdText::Ignore, "&Ignoruj"},
    TextEntry{StdText::All, "&Wszystko"},
    TextEntry{StdText::NoToAll, "N&ie wszyst."},
    TextEntry{StdText::YesToAll, "&Tak wszyst."},
    TextEntry{StdText::DeleteRecord, "Usunąć pozycję?"},
    TextEntry{StdText::InvalidInput, "Wpisana wartość jest nieprawidłowa.\rNaciśnij ESC by zrezygnować ze zmian"},
};

struct ButtonEntry {
  ui::Button button;
  StdText text;
  QMessageBox::StandardButton qt;
};

// Qt has no "All" button; SaveAll carries it (same accepting role).
constexpr std::array kButtons{
    ButtonEntry{ui::Button::Yes, StdText::Yes, QMessageBox::Yes},
    ButtonEntry{ui::Button::No, StdText::No, QMessageBox::No},
    ButtonEntry{ui::Button::Ok, StdText::Ok, QMessageBox::Ok},
    ButtonEntry{ui::Button::Cancel, StdText::Cancel, QMessageBox::Cancel},
    ButtonEntry{ui::Button::Abort, StdText::Abort, QMessageBox::Abort},
    ButtonEntry{ui::Button::Retry, StdText::Retry, QMessageBox::Retry},
    ButtonEntry{ui::Button::Ignore, StdText::Ignore, QMessageBox::Ignore},
    ButtonEntry{ui::Button::All, StdText::All, QMessageBox::SaveAll},
    ButtonEntry{ui::Button::NoToAll, StdText::NoToAll, QMessageBox::NoToAll},
    ButtonEntry{ui::Button::YesToAll, StdText::YesToAll, QMessageBox::YesToAll},
    ButtonEntry{ui::Button::Help, StdText::Help, QMessageBox::Help},
};

const ButtonEntry& EntryOf(ui::Button button) {
  for (const auto& entry : kButtons) {
    if (entry.button == button) return entry;
  }
  return kButtons[2];  // unreachable: every button is in the table
}

bool Contains(const std::vector<ui::Button>& buttons, ui::Button button) {
  for (auto b : buttons) {
    if (b == button) return true;
  }
  return false;
}

QString LineBreaks(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace

QString StandardText(StdText id) {
  for (const auto& entry : kStandardTexts) {
    if (entry.id == id) return QString::fromUtf8(entry.text);
  }
  return {};
}

QString BoxCaption(ui::BoxKind kind) {
  switch (kind) {
    case ui::BoxKind::Warning: return StandardText(StdText::Warning);
    case ui::BoxKind::Error: return StandardText(StdText::Error);
    case ui::BoxKind::Information: return StandardText(StdText::Information);
    case ui::BoxKind::Confirmation: return StandardText(StdText::Confirm);
  }
  return {};
}

QString ButtonText(ui::Button button) { return StandardText(EntryOf(button).text); }

QString MessageText(const std::string& utf8) { return LineBreaks(QString::fromStdString(utf8)); }

ui::Button MessageDlg(QWidget* parent, ui::BoxKind kind, const QString& text, const std::vector<ui::Button>& buttons,
                      ui::Button defaultButton) {
  QMessageBox box(parent);
  box.setWindowTitle(BoxCaption(kind));
  box.setTextFormat(Qt::PlainText);
  box.setText(LineBreaks(text));
  switch (kind) {
    case ui::BoxKind::Warning: box.setIcon(QMessageBox::Warning); break;
    case ui::BoxKind::Error: box.setIcon(QMessageBox::Critical); break;
    case ui::BoxKind::Information: box.setIcon(QMessageBox::Information); break;
    case ui::BoxKind::Confirmation: box.setIcon(QMessageBox::Question); break;
  }

  std::vector<ui::Button> shownButtons = buttons;
  if (shownButtons.empty()) shownButtons.push_back(ui::Button::Ok);
  std::vector<std::pair<QAbstractButton*, ui::Button>> map;
  for (auto b : shownButtons) {
    const auto& entry = EntryOf(b);
    QPushButton* qb = box.addButton(entry.qt);
    if (!qb) continue;
    qb->setText(StandardText(entry.text));
    map.emplace_back(qb, b);
    if (b == defaultButton) box.setDefaultButton(qb);
  }

  ui::Button escape = ui::Button::Cancel;
  bool hasEscape = false;
  if (Contains(shownButtons, ui::Button::Cancel)) {
    hasEscape = true;
  } else if (Contains(shownButtons, ui::Button::No)) {
    escape = ui::Button::No;
    hasEscape = true;
  } else if (shownButtons.size() == 1) {
    escape = shownButtons.front();
    hasEscape = true;
  }
  if (hasEscape) box.setEscapeButton(box.button(EntryOf(escape).qt));

  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (const auto& [qb, b] : map) {
    if (qb == clicked) return b;
  }
  return ui::Button::Cancel;
}

}  // namespace kx::desktop
