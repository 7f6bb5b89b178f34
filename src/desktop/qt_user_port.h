#pragma once
// The desktop program's answer to the core's user port: real message boxes
// with the Polish standard texts, Qt file and folder dialogs, the wait window
// and the hourglass cursor.

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/user_port.h"

namespace kx::desktop {

// Converts a file dialog filter of the system's form "Plik JPK|*.xml" (pairs
// of description and patterns, patterns separated by ";") into Qt's name
// filters: "Plik JPK (*.xml)".
QStringList QtNameFilters(const std::string& filter);

// A borderless hint window with one text, in twice the font of its owner,
// wrapped at the owner's width and centred over it.
class WaitWindow : public QWidget {
  Q_OBJECT
 public:
  WaitWindow(QWidget* owner, const QString& text);
  QString Text() const { return m_text; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_text;
  QRect m_textRect;
};

class QtUserPort : public ui::UserPort {
 public:
  QtUserPort() = default;
  ~QtUserPort() override;

  // The window over which the wait window is centred and whose font it
  // doubles; boxes and dialogs belong to the active window when there is one.
  void SetMainWindow(QWidget* window) { m_mainWindow = window; }
  // Unattended runs: error messages go to standard error instead of a box.
  void SetErrorsToStandardError(bool on) { m_errorsToStandardError = on; }

  ui::Button Ask(ui::BoxKind kind, const std::string& text, const std::vector<ui::Button>& buttons,
                 ui::Button defaultButton) override;
  void Show(ui::BoxKind kind, const std::string& text) override;

  std::optional<std::string> ChooseSaveFile(ui::FileDialogState& state) override;
  std::optional<std::string> ChooseOpenFile(ui::FileDialogState& state) override;
  std::optional<std::string> ChooseFolder(const std::string& caption, const std::string& initialDir) override;

  void ShowWait(const std::string& text) override;
  void HideWait() override;

  void BeginBusy() override;
  void EndBusy() override;

  // The wait window while one is shown (for tests and for dialogs that must
  // keep it above them).
  WaitWindow* CurrentWaitWindow() const { return m_wait; }

 private:
  QWidget* DialogParent() const;
  std::optional<std::string> ChooseFile(ui::FileDialogState& state, bool save);

  QPointer<QWidget> m_mainWindow;
  QPointer<WaitWindow> m_wait;
  int m_busyDepth = 0;
  bool m_errorsToStandardError = false;
};

}  // namespace kx::desktop
