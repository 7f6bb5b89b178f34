#include "ledger/ui/GenFromRejko.h"

#include "ui_GenFromRejko.h"

TGenFromRejkoDlg::TGenFromRejkoDlg(kx::AppContext& ctx, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TGenFromRejkoDlg>()), m_ctx(ctx) {
  m_ui->setupUi(this);
}

TGenFromRejkoDlg::~TGenFromRejkoDlg() = default;
