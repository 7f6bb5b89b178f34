#pragma once
// Generation of a month's JPK_V7M records from the registers of a source program.

#include <QDateEdit>
#include <QDialog>
#include <memory>
#include <optional>

#include "app/app_context.h"
#include "editor/v7m_declaration.h"
#include "generate/v7m_generate.h"

namespace Ui {
class TGenJpkVatDlg;
}
namespace kx::editor {
class V7MEditor;
}
struct TAppWindows;
class QShowEvent;

// The month picker: "MMMM yyyy" with the month's own name ("listopad 2026",
// not the form of a date with a day); the arrows step whole months.
class TMonthEdit : public QDateEdit {
 public:
  explicit TMonthEdit(QWidget* parent = nullptr);
  void stepBy(int steps) override;

 protected:
  QString textFromDateTime(const QDateTime& dateTime) const override;
  QDateTime dateTimeFromText(const QString& text) const override;
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
  StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

 private:
  QDate Parse(const QString& text) const;  // invalid when the text names no month
};

class TGenJpkVatDlg : public QDialog {
  Q_OBJECT

 public:
  // Created once at program start (FormCreate): the month of CurDate, the
  // source choices of the configured programs.
  TGenJpkVatDlg(kx::AppContext& ctx, TAppWindows& windows, QWidget* parent = nullptr);
  ~TGenJpkVatDlg() override;

  // Shows the dialog modally; "&Generuj" hands the new document to the given
  // editor session, with the editor window's typed declaration fields when
  // given. Returns QDialog::Accepted after a run (also a failed one).
  int Execute(kx::editor::V7MEditor& editor, std::optional<kx::editor::DeclarationInput> declarationInput = {});

  // The dialog's choices as the generation takes them.
  kx::generate::GenerateOptions Options() const;
  // Kept for the whole program run ("Yes to all" at the KSeF question).
  kx::generate::GenJpkVatState& State() { return m_state; }

  // "&Generuj". Without Execute, the editor window's session is used.
  void btnDoItClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  kx::editor::V7MEditor* TargetEditor() const;

  std::unique_ptr<Ui::TGenJpkVatDlg> m_ui;
  kx::AppContext& m_ctx;
  TAppWindows& m_windows;
  kx::generate::GenJpkVatState m_state;
  kx::editor::V7MEditor* m_editor = nullptr;  // set during Execute
  std::optional<kx::editor::DeclarationInput> m_declarationInput;
};
