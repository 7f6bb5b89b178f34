#pragma once
// Generation of a month's JPK_V7M records from the registers of a source program.

#include <QDialog>
#include <functional>
#include <memory>

#include "app/app_context.h"
#include "generate/v7m_generate.h"

namespace Ui {
class TGenJpkVatDlg;
}
class QShowEvent;

class TGenJpkVatDlg : public QDialog {
  Q_OBJECT

 public:
  // What becomes of a new document: the opener's hand-over (the editor links
  // it or makes it active, and computes the declaration when asked for);
  // false when the document was not taken.
  using HandOver = std::function<bool(kx::jpk::v7m::IXMLJPK document, bool declaration)>;

  // Created once at program start (FormCreate): the month of CurDate, the
  // source choices of the configured programs.
  explicit TGenJpkVatDlg(kx::AppContext& ctx, QWidget* parent = nullptr);
  ~TGenJpkVatDlg() override;

  // Shows the dialog modally; "&Generuj" hands the new document over and
  // shows a summary. Returns QDialog::Accepted when a document was made and
  // taken; after a failure the message is shown, nothing is handed over and
  // the result is QDialog::Rejected.
  int Execute(HandOver handOver);

  // The dialog's choices as the generation takes them.
  kx::generate::GenerateOptions Options() const;
  // Kept for the whole program run ("Yes to all" at the KSeF question).
  kx::generate::GenJpkVatState& State() { return m_state; }

  // "&Generuj": only while Execute shows the dialog.
  void btnDoItClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void FormShow();

  std::unique_ptr<Ui::TGenJpkVatDlg> m_ui;
  kx::AppContext& m_ctx;
  kx::generate::GenJpkVatState m_state;
  HandOver m_handOver;  // set during Execute
};
