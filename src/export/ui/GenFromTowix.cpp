#include "export/ui/GenFromTowix.h"

#include <QComboBox>

#include "ui_GenFromTowix.h"

TGenFromTowixDlg::TGenFromTowixDlg(kx::AppContext& ctx, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TGenFromTowixDlg>()), m_ctx(ctx) {
  m_ui->setupUi(this);
  m_ui->cbToFormat->setCurrentIndex(-1);
  m_ui->cbToFormat->setEditText(QStringLiteral("do formatu"));
}

TGenFromTowixDlg::~TGenFromTowixDlg() = default;

QComboBox* TGenFromTowixDlg::cbToFormat() const { return m_ui->cbToFormat; }
