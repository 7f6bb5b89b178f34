#include "editor/ui/LinkAskDlg.h"

#include "ui_LinkAskDlg.h"

TdlgLinkAsk::TdlgLinkAsk(kx::AppContext& ctx, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TdlgLinkAsk>()), m_ctx(ctx) {
  m_ui->setupUi(this);
  if (parent) setFont(parent->window()->font());
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  connect(m_ui->btnNewFile, &QPushButton::clicked, this, [this] { done(kNewFile); });
  connect(m_ui->btnLinkFiles, &QPushButton::clicked, this, [this] { done(kLink); });
}

TdlgLinkAsk::~TdlgLinkAsk() = default;

void TdlgLinkAsk::reject() { done(kClosed); }
