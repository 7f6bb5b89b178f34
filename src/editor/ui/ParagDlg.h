#pragma once
// Entry of receipt ("paragon") sales into the JPK_V7M editor's document.

#include <QDialog>
#include <memory>

#include "app/app_context.h"
#include "editor/v7m_receipt.h"

namespace Ui {
class TParagonDlg;
}
class QLineEdit;

class TParagonDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TParagonDlg(kx::AppContext& ctx, QWidget* parent = nullptr);
  ~TParagonDlg() override;

  // Shows the fields modally; on "&Zapisz" (after the rate checks) the typed
  // values are put back into fields and true is returned.
  bool Edit(kx::editor::ReceiptFields& fields);

  // The typed fields as they stand.
  kx::editor::ReceiptFields Fields() const;
  void SetFields(const kx::editor::ReceiptFields& fields);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // FormCloseQuery: OK closes only when the rate checks pass.
  void done(int result) override;

 private:
  void FormActivate();
  void edRecalc();

  std::unique_ptr<Ui::TParagonDlg> m_ui;
  kx::AppContext& m_ctx;
  QList<QLineEdit*> m_amounts;
};
