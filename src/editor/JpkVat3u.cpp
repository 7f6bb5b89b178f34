#include "editor/JpkVat3u.h"

#include "ui_JpkVat3u.h"

TJpkVatDlg::TJpkVatDlg(kx::AppContext& ctx, TAppWindows& windows, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TJpkVatDlg>()), m_ctx(ctx), m_windows(windows) {
  m_ui->setupUi(this);
}

TJpkVatDlg::~TJpkVatDlg() = default;
