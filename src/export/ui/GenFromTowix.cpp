#include "export/ui/GenFromTowix.h"

#include <QComboBox>
#include <QDate>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <exception>
#include <filesystem>
#include <string>

#include "app/ui/month_edit.h"
#include "export/towix_export.h"
#include "ui_GenFromTowix.h"

namespace {

constexpr const char* kNoFormat = "do formatu";

}  // namespace

TGenFromTowixDlg::TGenFromTowixDlg(kx::AppContext& ctx, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TGenFromTowixDlg>()), m_ctx(ctx) {
  m_ui->setupUi(this);
  if (parent) setFont(parent->window()->font());
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  m_ui->cbToFormat->setCurrentIndex(-1);
  m_ui->cbToFormat->setEditText(QString::fromUtf8(kNoFormat));
  const kx::tables::Date& cur = ctx.AppSettings.CurDate;
  QDate month(cur.year, cur.month, 1);
  if (!month.isValid()) month = QDate(QDate::currentDate().year(), QDate::currentDate().month(), 1);
  m_ui->dtp->setDate(month);
  connect(m_ui->btnDoIt, &QPushButton::clicked, this, &TGenFromTowixDlg::btnDoItClick);
  if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
}

TGenFromTowixDlg::~TGenFromTowixDlg() = default;

QComboBox* TGenFromTowixDlg::cbToFormat() const { return m_ui->cbToFormat; }

QDateEdit* TGenFromTowixDlg::dtp() const { return m_ui->dtp; }

void TGenFromTowixDlg::btnDoItClick() {
  const std::string text = m_ui->cbToFormat->currentText().toStdString();
  if (text == kNoFormat) {
    m_ctx.ui.Show(kx::ui::BoxKind::Information, "Nie wybrano formatu w jakim mają być wygenerowane dane");
    m_ui->cbToFormat->setFocus();
    return;
  }
  const QDate d = m_ui->dtp->date();
  m_ctx.AppSettings.CurDate = {d.year(), d.month(), d.day()};
  std::string failure;
  try {
    kx::exports::DoFromTowix(m_ctx, kx::exports::ExportFormatFromText(text), std::filesystem::current_path().string());
  } catch (const std::exception& e) {
    failure = e.what();
  }
  accept();
  // A failed export loses nothing else: the message, and the program goes on.
  if (!failure.empty()) m_ctx.ui.Show(kx::ui::BoxKind::Error, failure);
}
