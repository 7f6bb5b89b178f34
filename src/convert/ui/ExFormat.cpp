#include "convert/ui/ExFormat.h"

#include "ui_ExFormat.h"

TExchFormatDlg::TExchFormatDlg(kx::AppContext& ctx, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TExchFormatDlg>()), m_ctx(ctx) {
  m_ui->setupUi(this);
}

TExchFormatDlg::~TExchFormatDlg() = default;
