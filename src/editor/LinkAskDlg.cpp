#include "editor/LinkAskDlg.h"

#include "ui_LinkAskDlg.h"

TdlgLinkAsk::TdlgLinkAsk(kx::AppContext& ctx, TAppWindows& windows, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TdlgLinkAsk>()), m_ctx(ctx), m_windows(windows) {
  m_ui->setupUi(this);
}

TdlgLinkAsk::~TdlgLinkAsk() = default;
