#include "editor/ui/JpkVat3u.h"

#include <QButtonGroup>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QTimer>

#include "editor/v7m_editor.h"
#include "platform/error.h"
#include "ui_JpkVat3u.h"

using kx::editor::EditorInfo;
using kx::editor::FieldColor;
using kx::editor::RefundTerm;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

}  // namespace

QColor TJpkVatDlg::FaceColor() { return QPalette().color(QPalette::Button); }
QColor TJpkVatDlg::CheckRedColor() { return QColor(0xFF, 0x00, 0x00); }
QColor TJpkVatDlg::MoneyGreenColor() { return QColor(0xC0, 0xDC, 0xC0); }

TJpkVatDlg::TJpkVatDlg(kx::AppContext& ctx, Collaborators collaborators, QWidget* parent)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::TJpkVatDlg>()),
      m_ctx(ctx),
      m_collaborators(std::move(collaborators)),
      m_editor(std::make_unique<kx::editor::V7MEditor>(ctx)) {
  m_ui->setupUi(this);
  if (parent) setFont(parent->window()->font());
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  // Read-only fields in the face colour; the typed amounts take whole numbers.
  for (QLineEdit* e : findChildren<QLineEdit*>()) {
    if (e->isReadOnly()) SetFieldColor(e, FaceColor());
  }
  auto* whole = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]*")), this);
  for (QLineEdit* e : {m_ui->edP39, m_ui->edP49, m_ui->edP50, m_ui->edP52, m_ui->edP54, m_ui->edP60}) {
    e->setValidator(whole);
  }

  m_refundTerms = new QButtonGroup(this);
  for (QRadioButton* rb : {m_ui->rbZwrot540, m_ui->rbZwrot55, m_ui->rbZwrot56, m_ui->rbZwrot560, m_ui->rbZwrot58}) {
    m_refundTerms->addButton(rb);
  }
  m_ui->edP60->setEnabled(false);
  m_ui->edP61->setEnabled(false);

  m_editor->askNewOrLink = [this]() {
    return m_collaborators.askNewOrLink ? m_collaborators.askNewOrLink() : kx::ui::ModalResult::Cancel;
  };

  connect(m_ui->btnMakeJPK, &QPushButton::clicked, this, &TJpkVatDlg::btnMakeJPKClick);
  connect(m_ui->btnOpenJPK, &QPushButton::clicked, this, &TJpkVatDlg::btnOpenJPKClick);
  connect(m_ui->btnSaveJPK, &QPushButton::clicked, this, &TJpkVatDlg::btnSaveJPKClick);
  connect(m_ui->btnRecalcDeclaration, &QPushButton::clicked, this, &TJpkVatDlg::btnRecalcDeclarationClick);
  connect(m_ui->btnClearDeclaration, &QPushButton::clicked, this, &TJpkVatDlg::btnClearDeclarationClick);
  connect(m_ui->btnAddParagonSale, &QPushButton::clicked, this, &TJpkVatDlg::btnAddParagonSaleClick);
  connect(m_ui->edP54, &QLineEdit::textChanged, this, &TJpkVatDlg::edP54Change);
  connect(m_ui->cbP59, &QCheckBox::toggled, this, &TJpkVatDlg::cbP59Click);
}

TJpkVatDlg::~TJpkVatDlg() = default;

template <class F>
void TJpkVatDlg::Guarded(F&& command) {
  try {
    command();
  } catch (const kx::Error& e) {
    m_ctx.ui.Show(kx::ui::BoxKind::Error, e.what());
  }
}

void TJpkVatDlg::SetFieldColor(QLineEdit* edit, const QColor& color) {
  QPalette p = edit->palette();
  p.setColor(QPalette::Base, color);
  edit->setPalette(p);
}

void TJpkVatDlg::ResetFieldColor(QLineEdit* edit) {
  SetFieldColor(edit, edit->isReadOnly() ? FaceColor() : QPalette().color(QPalette::Base));
}

void TJpkVatDlg::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TJpkVatDlg::FormShow() {
  const auto& s = m_ctx.AppSettings;
  m_ui->btnMakeJPK->setEnabled(!s.KXDataDir.empty() || !s.RejkoDir.empty() || !s.FolvoDir.empty());
}

void TJpkVatDlg::done(int result) {
  // The answer does not stop the closing.
  Guarded([this] { m_editor->CloseQuery(); });
  RefreshInfo();
  QDialog::done(result);
}

void TJpkVatDlg::UncheckRefundTerms() {
  m_refundTerms->setExclusive(false);
  for (QAbstractButton* b : m_refundTerms->buttons()) b->setChecked(false);
  m_refundTerms->setExclusive(true);
}

void TJpkVatDlg::edP54Change() {
  const bool typed = !m_ui->edP54->text().isEmpty();
  if (!typed) UncheckRefundTerms();
  for (QAbstractButton* b : m_refundTerms->buttons()) b->setEnabled(typed);
}

void TJpkVatDlg::cbP59Click() {
  const bool on = m_ui->cbP59->isChecked();
  m_ui->edP60->setEnabled(on);
  m_ui->edP61->setEnabled(on);
}

void TJpkVatDlg::RefreshInfo() {
  const EditorInfo info = m_editor->RefreshInfo();
  Ui::TJpkVatDlg& u = *m_ui;

  u.edNIP->setText(Q(info.nip));
  u.edGenDate->setText(Q(info.generatedAt));
  u.edDateRange->setText(Q(info.dateRange));
  u.edSaleLinesCount->setText(Q(info.saleCount));
  u.edSaleTaxSum->setText(Q(info.saleTax));
  u.edBuyLinesCount->setText(Q(info.purchaseCount));
  u.edBuyTaxSum->setText(Q(info.purchaseTax));
  u.gbDeklaracja->setTitle(Q(info.declarationCaption));

  const std::pair<QLineEdit*, const std::string*> values[] = {
      {u.edP37, &info.p37}, {u.edP38, &info.p38}, {u.edP39, &info.p39},    {u.edP40Plus42, &info.p40Plus42},
      {u.edP48, &info.p48}, {u.edP49, &info.p49}, {u.edP50, &info.p50},    {u.edP51, &info.p51},
      {u.edP52, &info.p52}, {u.edP53, &info.p53}, {u.edP54, &info.p54},    {u.edP62, &info.p62},
      {u.edP68, &info.p68}, {u.edP69, &info.p69}, {u.edORDZU, &info.ordzu}};
  for (const auto& [edit, text] : values) edit->setText(Q(*text));

  // The two tax checks: colour and hint.
  const std::pair<QLineEdit*, const kx::editor::TaxCheck*> checks[] = {{u.edP38, &info.check38},
                                                                       {u.edP48, &info.check48}};
  for (const auto& [edit, check] : checks) {
    SetFieldColor(edit, check->shown && check->color == FieldColor::Red ? CheckRedColor() : FaceColor());
    edit->setToolTip(check->shown ? Q(check->hint) : QString());
  }

  u.edP49->setEnabled(info.p49Enabled);
  u.edP50->setEnabled(info.p50Enabled);
  for (auto [edit, bold] : {std::pair{u.edP51, info.p51Bold}, std::pair{u.edP62, info.p62Bold}}) {
    QFont f = edit->font();
    f.setBold(bold);
    edit->setFont(f);
  }
  u.gbNadwyzkaPodatku->setEnabled(info.surplusEnabled);
  u.edP54->setEnabled(info.surplusEnabled);
  u.cbP59->setEnabled(info.surplusEnabled);

  // edP54Change has run with the text; the refund term follows it.
  UncheckRefundTerms();
  edP54Change();
  const std::pair<RefundTerm, QRadioButton*> terms[] = {{RefundTerm::P540, u.rbZwrot540},
                                                        {RefundTerm::P55, u.rbZwrot55},
                                                        {RefundTerm::P56, u.rbZwrot56},
                                                        {RefundTerm::P560, u.rbZwrot560},
                                                        {RefundTerm::P58, u.rbZwrot58}};
  for (const auto& [term, rb] : terms) {
    if (info.refund == term) rb->setChecked(true);
  }
  u.cbP59->setChecked(info.p59);
  cbP59Click();
  u.edP60->setText(Q(info.p60));
  u.edP61->setText(Q(info.p61));

  u.gbDeklaracja->setEnabled(info.declarationEnabled);
  u.btnAddParagonSale->setEnabled(info.receiptSalesEnabled);
  u.btnRecalcDeclaration->setEnabled(info.recalcDeclarationEnabled);
  u.btnClearDeclaration->setEnabled(info.clearDeclarationEnabled);
  setWindowTitle(Q(info.caption));
}

kx::editor::DeclarationInput TJpkVatDlg::TypedInput() const {
  const Ui::TJpkVatDlg& u = *m_ui;
  kx::editor::DeclarationInput in;
  in.p39 = S(u.edP39->text());
  in.p49 = S(u.edP49->text());
  in.p50 = S(u.edP50->text());
  in.p52 = S(u.edP52->text());
  in.p54 = S(u.edP54->text());
  const std::pair<QRadioButton*, RefundTerm> terms[] = {{u.rbZwrot540, RefundTerm::P540},
                                                        {u.rbZwrot55, RefundTerm::P55},
                                                        {u.rbZwrot56, RefundTerm::P56},
                                                        {u.rbZwrot560, RefundTerm::P560},
                                                        {u.rbZwrot58, RefundTerm::P58}};
  for (const auto& [rb, term] : terms) {
    if (rb->isChecked()) {
      in.refund = term;
      break;
    }
  }
  in.p59 = u.cbP59->isChecked();
  in.p60 = S(u.edP60->text());
  in.p61 = S(u.edP61->text());
  in.ordzu = S(u.edORDZU->text());
  return in;
}

void TJpkVatDlg::btnMakeJPKClick() {
  Guarded([this] {
    const kx::ui::ModalResult saved = m_editor->AskSaveChanges();
    RefreshInfo();
    if (saved == kx::ui::ModalResult::Cancel) return;
    const kx::ui::ModalResult newOrLink = m_editor->AskNewOrLink();
    RefreshInfo();
    if (newOrLink == kx::ui::ModalResult::Cancel || !m_collaborators.generate) return;
    const kx::editor::DeclarationInput typed = TypedInput();
    const bool ran = m_collaborators.generate([this, typed](kx::jpk::v7m::IXMLJPK document, bool declaration) {
      m_editor->AcceptGenerated(document, declaration, typed);
    });
    if (!ran) return;
    RefreshInfo();
    if (m_ctx.ui.Ask(kx::ui::BoxKind::Confirmation, "Zapisać wygenerowany plik?",
                     {kx::ui::Button::Yes, kx::ui::Button::No}, kx::ui::Button::Yes) == kx::ui::Button::Yes) {
      btnSaveJPKClick();
    }
  });
  RefreshInfo();
}

void TJpkVatDlg::btnOpenJPKClick() {
  Guarded([this] {
    const kx::ui::ModalResult saved = m_editor->AskSaveChanges();
    RefreshInfo();
    if (saved == kx::ui::ModalResult::Cancel) return;
    const kx::ui::ModalResult newOrLink = m_editor->AskNewOrLink();
    RefreshInfo();
    if (newOrLink == kx::ui::ModalResult::Cancel) return;
    auto chosen = m_ctx.ui.ChooseOpenFile(m_ctx.OpenDlg);
    if (!chosen) return;
    m_editor->OpenFile(*chosen);
  });
  RefreshInfo();
}

void TJpkVatDlg::btnSaveJPKClick() {
  // The display follows also a failed save.
  Guarded([this] { m_editor->Save(); });
  RefreshInfo();
}

void TJpkVatDlg::btnRecalcDeclarationClick() {
  if (!m_editor->HasDocument()) return;
  ResetFieldColor(m_ui->edP49);
  ResetFieldColor(m_ui->edP50);
  kx::editor::DeclarationResult result;
  bool done = false;
  Guarded([&] {
    result = m_editor->RecalcDeclaration(TypedInput());
    done = true;
  });
  // A failure leaves the document and the typed values as they were.
  if (!done) return;
  if (result.status != kx::editor::DeclarationResult::Status::Done) {
    SetFieldColor(m_ui->edP54, CheckRedColor());
    m_ui->edP54->repaint();
    QTimer::singleShot(500, this, [this] { ResetFieldColor(m_ui->edP54); });
    return;
  }
  RefreshInfo();
  if (result.loweredP49) {
    m_ui->edP49->setText(QString::number(*result.loweredP49));
    SetFieldColor(m_ui->edP49, MoneyGreenColor());
  }
  if (result.loweredP50) {
    m_ui->edP50->setText(QString::number(*result.loweredP50));
    SetFieldColor(m_ui->edP50, MoneyGreenColor());
  }
}

void TJpkVatDlg::btnClearDeclarationClick() {
  Guarded([this] { m_editor->ClearDeclaration(); });
  RefreshInfo();
}

void TJpkVatDlg::btnAddParagonSaleClick() {
  Guarded([this] {
    m_editor->AddParagonSale([this](kx::editor::ReceiptFields& fields) {
      return m_collaborators.editReceipt && m_collaborators.editReceipt(fields);
    });
  });
  RefreshInfo();
}
