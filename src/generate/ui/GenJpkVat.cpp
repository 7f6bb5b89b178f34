#include "generate/ui/GenJpkVat.h"

#include <QDate>
#include <QLocale>
#include <QPushButton>
#include <exception>
#include <string>

#include "app/ui/MainUnit.h"
#include "editor/ui/JpkVat3u.h"
#include "editor/v7m_editor.h"
#include "ui_GenJpkVat.h"

using kx::generate::SourceProgram;

namespace {

QDate ToQDate(const kx::tables::Date& d) { return QDate(d.year, d.month, d.day); }

kx::tables::Date FromQDate(const QDate& d) { return {d.year(), d.month(), d.day()}; }

}  // namespace

TMonthEdit::TMonthEdit(QWidget* parent) : QDateEdit(parent) {
  setLocale(QLocale(QLocale::Polish, QLocale::Poland));
}

QString TMonthEdit::textFromDateTime(const QDateTime& dateTime) const {
  const QDate d = dateTime.date();
  return locale().standaloneMonthName(d.month(), QLocale::LongFormat) + QLatin1Char(' ') + QString::number(d.year());
}

QDate TMonthEdit::Parse(const QString& text) const {
  const QStringList parts = text.simplified().split(QLatin1Char(' '));
  if (parts.size() != 2) return {};
  bool ok = false;
  const int year = parts[1].toInt(&ok);
  if (!ok || year < 1900 || year > 9999) return {};
  for (int m = 1; m <= 12; ++m) {
    for (const QString& name : {locale().standaloneMonthName(m), locale().monthName(m)}) {
      if (name.compare(parts[0], Qt::CaseInsensitive) == 0) return QDate(year, m, 1);
    }
  }
  return {};
}

QDateTime TMonthEdit::dateTimeFromText(const QString& text) const {
  const QDate d = Parse(text);
  return QDateTime(d.isValid() ? d : date(), QTime(0, 0));
}

QValidator::State TMonthEdit::validate(QString& input, int& /*pos*/) const {
  return Parse(input).isValid() ? QValidator::Acceptable : QValidator::Intermediate;
}

void TMonthEdit::fixup(QString& input) const {
  if (!Parse(input).isValid()) input = textFromDateTime(QDateTime(date(), QTime(0, 0)));
}

void TMonthEdit::stepBy(int steps) {
  const QDate d = date().addMonths(steps);
  setDate(QDate(d.year(), d.month(), 1));
}

TGenJpkVatDlg::TGenJpkVatDlg(kx::AppContext& ctx, TAppWindows& windows, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TGenJpkVatDlg>()), m_ctx(ctx), m_windows(windows) {
  m_ui->setupUi(this);
  if (parent) setFont(parent->window()->font());
  connect(m_ui->btnDoIt, &QPushButton::clicked, this, &TGenJpkVatDlg::btnDoItClick);
  FormCreate();
}

TGenJpkVatDlg::~TGenJpkVatDlg() = default;

void TGenJpkVatDlg::FormCreate() {
  const kx::TAppSettings& s = m_ctx.AppSettings;
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
  const kx::TAppSettings& s = m_ctx.AppSettings;
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
  o.declarationInput = m_declarationInput;
  return o;
}

kx::editor::V7MEditor* TGenJpkVatDlg::TargetEditor() const {
  if (m_editor) return m_editor;
  return m_windows.JpkVatDlg ? &m_windows.JpkVatDlg->Editor() : nullptr;
}

int TGenJpkVatDlg::Execute(kx::editor::V7MEditor& editor,
                           std::optional<kx::editor::DeclarationInput> declarationInput) {
  m_editor = &editor;
  m_declarationInput = std::move(declarationInput);
  const int result = exec();
  m_editor = nullptr;
  m_declarationInput.reset();
  return result;
}

void TGenJpkVatDlg::btnDoItClick() {
  kx::editor::V7MEditor* editor = TargetEditor();
  if (!editor) return;
  std::string failure;
  try {
    kx::generate::GenerateJpkV7M(m_ctx, m_state, Options(), *editor);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  // The dialog closes with OK also after a failure: the editor holds what
  // was generated before the error, which is shown afterwards.
  accept();
  if (!failure.empty()) m_ctx.ui.Show(kx::ui::BoxKind::Error, failure);
}
