#pragma once
// Generation of a month's JPK_KR file from the bookkeeping program's ledger.

#include <QDialog>
#include <memory>

#include "app/app_context.h"

namespace Ui {
class TGenFromRejkoDlg;
}

class TGenFromRejkoDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TGenFromRejkoDlg(kx::AppContext& ctx, QWidget* parent = nullptr);
  ~TGenFromRejkoDlg() override;

 private:
  std::unique_ptr<Ui::TGenFromRejkoDlg> m_ui;
  kx::AppContext& m_ctx;
};
