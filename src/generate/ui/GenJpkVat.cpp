#include "generate/ui/GenJpkVat.h"

#include <QDate>
#include <QLocale>
#include <QPushButton>
#include <exception>
#include <string>

#include "app/ui/month_edit.h"
#include "ui_GenJpkVat.h"

using kx::generate::SourceProgram;

namespace {

QDate ToQDate(const kx::tables::Date& d) { return QDate(d.year, d.month, d.day); }

kx::tables::Date FromQDate(const QDate& d) { return {d.year(), d.month(), d.day()}; }

}  // namespace

TGenJpkVatDlg::TGenJpkVatDlg(kx::AppContext& ctx, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TGenJpkVatDlg>()), m_ctx(ctx) {
  m_ui->setupUi(this);
  if (parent) setFont(parent->window()->font());
  connect(m_ui->btnDoIt, &QPushButton::clicked, this, &TGenJpkVatDlg::btnDoItClick);
  FormCreate();
}

TGenJpkVatDlg::~TGenJpkVatDlg() = default;

void TGenJpkVatDlg::FormCreate() {
  const kx::AppSettings& s = m_ctx.AppSettings;
  QDate cur = ToQDate(s.CurDate);
  if (!cur.isValid()) cur = QDate::currentDate();
  m_ui->dtp->setDate(QDate(cur.year(), cur.month(), 1));
  m_ui->rbTowix->setEnabled(!s.KXDataDir.empty());
  m_ui->rbRejko->setEnabled(!s.RejkoDir.empty());
  m_ui->rbFolvo->setEnabled(!s.FolvoDir.empty());
  // A disabled choice must not stay the one that runs: the first configured
  // program is chosen instead.
  if (!m_ui->rbTowix->isEnabled()) {
    for (QRadioButton* rb : {m_ui->rbRejko, m_ui->rbFolvo}) {
      if (rb->isEnabled()) {
        rb->setChecked(true);
        break;
      }
    }
  }
  m_state.AlwaysMarkBFK = false;
}

void TGenJpkVatDlg::FormShow() {
  const kx::AppSettings& s = m_ctx.AppSettings;
  if (!s.KXDataDir.empty()) return;
  if (!s.RejkoDir.empty()) {
    m_ui->rbRejko->setFocus();
  } else if (!s.FolvoDir.empty()) {
    m_ui->rbFolvo->setFocus();
  }
}

void TGenJpkVatDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

kx::generate::GenerateOptions TGenJpkVatDlg::Options() const {
  kx::generate::GenerateOptions o;
  o.month = FromQDate(m_ui->dtp->date());
  // The first checked choice in the order Towix, Rejko, Folvo.
  if (m_ui->rbTowix->isChecked()) {
    o.source = SourceProgram::Towix;
  } else if (m_ui->rbRejko->isChecked()) {
    o.source = SourceProgram::Rejko;
  } else {
    o.source = SourceProgram::Folvo;
  }
  o.sale = m_ui->cbSale->isChecked();
  o.buy = m_ui->cbBuy->isChecked();
  o.correction = m_ui->rbKorekta->isChecked();
  o.declaration = m_ui->cbDecl->isChecked();
  return o;
}

int TGenJpkVatDlg::Execute(HandOver handOver) {
  m_handOver = std::move(handOver);
  const int result = exec();
  m_handOver = nullptr;
  return result;
}

void TGenJpkVatDlg::btnDoItClick() {
  if (!m_handOver) return;
  const kx::generate::GenerateOptions options = Options();
  std::string failure;
  bool taken = false;
  std::string summary;
  try {
    kx::generate::GeneratedV7M generated = kx::generate::GenerateJpkV7M(m_ctx, m_state, options);
    // A failed run hands nothing over: the editor keeps what it had.
    if (generated.failure) std::rethrow_exception(generated.failure);
    // Told before the hand-over: linking moves the records out of the document.
    summary = kx::generate::GenerationSummary(options, generated);
    taken = m_handOver(generated.document, options.declaration);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (!taken) {
    reject();
    if (!failure.empty()) m_ctx.ui.Show(kx::ui::BoxKind::Error, failure);
    return;
  }
  accept();
  m_ctx.ui.Show(kx::ui::BoxKind::Information, summary);
}
