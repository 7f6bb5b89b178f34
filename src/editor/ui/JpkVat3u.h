#pragma once
// The JPK_V7M editor: holds the active JPK_V7M document across its openings.
// The window turns the editor session's data into widgets; every file,
// declaration and receipt flow is the session's.

#include <QDialog>
#include <functional>
#include <memory>

#include "app/app_context.h"
#include "editor/v7m_declaration.h"
#include "editor/v7m_receipt.h"

namespace Ui {
class TJpkVatDlg;
}
namespace kx::editor {
class V7MEditor;
}
class QLabel;
class QLineEdit;
class QRadioButton;
class QButtonGroup;
class RecordsPanel;

class TJpkVatDlg : public QDialog {
  Q_OBJECT

 public:
  // What the editor window asks of other windows; the program wires them.
  struct Collaborators {
    // The new-or-link question (TdlgLinkAsk): its modal result.
    std::function<kx::ui::ModalResult()> askNewOrLink;
    // The receipt-sales dialog on the fields; true for OK.
    std::function<bool(kx::editor::ReceiptFields&)> editReceipt;
    // The generation dialog: shown modally, the new document goes to the
    // hand-over (document, declaration asked for; false when it was not
    // taken). True after a run whose document was taken.
    using HandOver = std::function<bool(kx::jpk::v7m::IXMLJPK, bool)>;
    std::function<bool(const HandOver&)> generate;
  };

  TJpkVatDlg(kx::AppContext& ctx, Collaborators collaborators, QWidget* parent = nullptr);
  ~TJpkVatDlg() override;

  // The editor session; lives as long as the window, that is the program.
  kx::editor::V7MEditor& Editor() { return *m_editor; }

  // Rebuilds every displayed value and the enabled state from the session.
  void RefreshInfo();

  // The grids of the records below the fields.
  RecordsPanel* Records() const { return m_records; }

  // Ending the program: unsaved changes of the editor are offered for
  // saving; false when the program must not end.
  bool ProgramCloseQuery();

  // The commands of the buttons.
  void btnMakeJPKClick();
  void btnOpenJPKClick();
  void btnSaveJPKClick();
  void btnRecalcDeclarationClick();
  void btnClearDeclarationClick();
  void btnAddParagonSaleClick();

  // The colours the window gives its fields: the face of the read-only
  // fields, the red of a failed check, the money green of a lowered position.
  static QColor FaceColor();
  static QColor CheckRedColor();
  static QColor MoneyGreenColor();

 protected:
  void showEvent(QShowEvent* event) override;
  // Every way of closing the window passes here: FormCloseQuery.
  void done(int result) override;

 private:
  void FormShow();
  void edP54Change();
  void cbP59Click();
  void UncheckRefundTerms();
  kx::editor::DeclarationInput TypedInput() const;
  // Typed declaration amounts that the document does not hold: offered for
  // recalculation before saving, opening or closing. False: the action stops.
  bool OfferTypedDeclaration();
  // The declaration with the typed fields; true when it was computed.
  bool RecalcTypedDeclaration();
  void ShowStatus(const QString& text);
  void SetFieldColor(QLineEdit* edit, const QColor& color);
  void ResetFieldColor(QLineEdit* edit);
  // Runs a command; a failure of the system is shown in the error box and the
  // display is refreshed, so the user keeps the document.
  template <class F>
  void Guarded(F&& command);

  std::unique_ptr<Ui::TJpkVatDlg> m_ui;
  kx::AppContext& m_ctx;
  Collaborators m_collaborators;
  std::unique_ptr<kx::editor::V7MEditor> m_editor;
  QButtonGroup* m_refundTerms = nullptr;
  QLabel* m_diff38 = nullptr;  // the differences of the two checks, beside them
  QLabel* m_diff48 = nullptr;
  QLabel* m_status = nullptr;         // the last saved file
  RecordsPanel* m_records = nullptr;  // the records, the sums per rate, the check
};
