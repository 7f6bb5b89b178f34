#include "editor/ParagDlg.h"

#include "ui_ParagDlg.h"

TParagonDlg::TParagonDlg(kx::AppContext& ctx, TAppWindows& windows, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TParagonDlg>()), m_ctx(ctx), m_windows(windows) {
  m_ui->setupUi(this);
}

TParagonDlg::~TParagonDlg() = default;
