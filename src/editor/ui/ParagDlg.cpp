#include "editor/ui/ParagDlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QShowEvent>

#include "platform/error.h"
#include "ui_ParagDlg.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

}  // namespace

TParagonDlg::TParagonDlg(kx::AppContext& ctx, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TParagonDlg>()), m_ctx(ctx) {
  m_ui->setupUi(this);
  if (parent) setFont(parent->window()->font());
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  // Results in the face colour.
  for (QLineEdit* e : {m_ui->edSumVAT, m_ui->edTotal, m_ui->edDiffV23, m_ui->edDiffV8, m_ui->edDiffV5}) {
    QPalette p = e->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Button));
    e->setPalette(p);
  }

  m_amounts = {m_ui->edNet23, m_ui->edTax23, m_ui->edNet8,   m_ui->edTax8,
               m_ui->edNet5,  m_ui->edTax5,  m_ui->edValue0, m_ui->edValueFree};
  for (QLineEdit* e : m_amounts) {
    e->installEventFilter(this);
    connect(e, &QLineEdit::textChanged, this, &TParagonDlg::edRecalc);
    connect(e, &QLineEdit::editingFinished, this, &TParagonDlg::edRecalc);
  }
  connect(m_ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TParagonDlg::~TParagonDlg() = default;

kx::editor::ReceiptFields TParagonDlg::Fields() const {
  kx::editor::ReceiptFields f;
  f.document = S(m_ui->edDowodSprzedazy->text());
  f.net23 = S(m_ui->edNet23->text());
  f.tax23 = S(m_ui->edTax23->text());
  f.net8 = S(m_ui->edNet8->text());
  f.tax8 = S(m_ui->edTax8->text());
  f.net5 = S(m_ui->edNet5->text());
  f.tax5 = S(m_ui->edTax5->text());
  f.value0 = S(m_ui->edValue0->text());
  f.exempt = S(m_ui->edValueFree->text());
  return f;
}

void TParagonDlg::SetFields(const kx::editor::ReceiptFields& f) {
  m_ui->edDowodSprzedazy->setText(Q(f.document));
  m_ui->edNet23->setText(Q(f.net23));
  m_ui->edTax23->setText(Q(f.tax23));
  m_ui->edNet8->setText(Q(f.net8));
  m_ui->edTax8->setText(Q(f.tax8));
  m_ui->edNet5->setText(Q(f.net5));
  m_ui->edTax5->setText(Q(f.tax5));
  m_ui->edValue0->setText(Q(f.value0));
  m_ui->edValueFree->setText(Q(f.exempt));
}

bool TParagonDlg::Edit(kx::editor::ReceiptFields& fields) {
  SetFields(fields);
  if (exec() != QDialog::Accepted) return false;
  fields = Fields();
  return true;
}

bool TParagonDlg::eventFilter(QObject* watched, QEvent* event) {
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (!edit || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  // Only typed characters pass the filter; moving, deleting and shortcuts do not.
  const QString text = key->text();
  const bool backspace = key->key() == Qt::Key_Backspace;
  if (!backspace && (text.size() != 1 || text[0].category() == QChar::Other_Control)) {
    return QDialog::eventFilter(watched, event);
  }
  if (!backspace && (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    return QDialog::eventFilter(watched, event);
  }
  const char16_t typed = backspace ? u'\b' : text[0].unicode();
  char c = typed < 0x80 ? static_cast<char>(typed) : '\x01';
  if (!kx::editor::AcceptAmountKey(S(edit->text()), static_cast<size_t>(edit->cursorPosition()), c)) {
    QApplication::beep();
    return true;
  }
  if (!backspace && c != static_cast<char>(typed)) {
    // The comma comes in as the decimal separator.
    edit->insert(QString(QChar(c)));
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TParagonDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormActivate();
}

void TParagonDlg::FormActivate() {
  edRecalc();
  m_ui->edDowodSprzedazy->setFocus();
}

void TParagonDlg::edRecalc() {
  try {
    const kx::editor::ReceiptTotals t = kx::editor::RecalcReceipt(Fields());
    m_ui->edSumVAT->setText(Q(t.taxSum));
    m_ui->edTotal->setText(Q(t.total));
    m_ui->edDiffV23->setText(Q(t.diff23));
    m_ui->edDiffV8->setText(Q(t.diff8));
    m_ui->edDiffV5->setText(Q(t.diff5));
  } catch (const kx::Error&) {
    // A number still being typed (a lone minus sign): no totals until it is one.
    for (QLineEdit* e : {m_ui->edSumVAT, m_ui->edTotal, m_ui->edDiffV23, m_ui->edDiffV8, m_ui->edDiffV5}) {
      e->clear();
    }
  }
}

void TParagonDlg::done(int result) {
  if (result == QDialog::Accepted) {
    std::optional<kx::editor::ReceiptCheckFailure> failure;
    try {
      failure = kx::editor::CheckReceiptRates(Fields(), m_ctx.ui);
    } catch (const kx::Error& e) {
      failure = kx::editor::ReceiptCheckFailure{e.what(), {}};
    }
    if (failure) {
      if (auto* field = findChild<QLineEdit*>(Q(failure->focus)); field && !failure->focus.empty()) {
        field->setFocus();
      }
      m_ctx.ui.Show(kx::ui::BoxKind::Error, failure->message);
      return;
    }
  }
  QDialog::done(result);
}
