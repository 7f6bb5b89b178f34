#include "generate/GenJpkVat.h"

#include "ui_GenJpkVat.h"

TGenJpkVatDlg::TGenJpkVatDlg(kx::AppContext& ctx, TAppWindows& windows, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TGenJpkVatDlg>()), m_ctx(ctx), m_windows(windows) {
  m_ui->setupUi(this);
}

TGenJpkVatDlg::~TGenJpkVatDlg() = default;
