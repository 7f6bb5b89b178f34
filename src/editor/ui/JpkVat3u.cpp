#include "editor/ui/JpkVat3u.h"

#include <QBoxLayout>
#include <algorithm>
#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QSplitter>
#include <QTimer>

#include "editor/ui/RecordsPanel.h"
#include "editor/v7m_editor.h"
#include "platform/error.h"
#include "ui_JpkVat3u.h"

using kx::editor::EditorInfo;
using kx::editor::FieldColor;
using kx::editor::RefundTerm;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

// An amount of the file for a read-only field: Polish grouping and decimal
// comma ("12 345,50"); whole numbers stay whole. Other texts as they are.
QString ShownAmount(const std::string& text) {
  const QLocale pl(QLocale::Polish, QLocale::Poland);
  const QString t = Q(text).trimmed();
  bool ok = false;
  const qlonglong whole = t.toLongLong(&ok);
  if (ok) return pl.toString(whole);
  const double value = QLocale::c().toDouble(t, &ok);
  return ok ? pl.toString(value, 'f', 2) : Q(text);
}

// A label beside a field of a grid, in the next column.
QLabel* LabelBeside(QLineEdit* edit) {
  auto* grid = qobject_cast<QGridLayout*>(edit->parentWidget()->layout());
  auto* label = new QLabel(edit->parentWidget());
  int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
  if (grid) {
    grid->getItemPosition(grid->indexOf(edit), &row, &column, &rowSpan, &columnSpan);
    grid->addWidget(label, row, column + columnSpan);
  }
  return label;
}

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
  // The fields and buttons above, the records below; the window can be
  // resized and the split moved.
  auto* upper = new QWidget(this);
  upper->setObjectName(QStringLiteral("pnlFields"));
  upper->setLayout(layout());
  m_records = new RecordsPanel(ctx, this);
  // On a low screen the fields scroll instead of pushing the window taller.
  auto* fields = new QScrollArea(this);
  fields->setWidget(upper);
  fields->setWidgetResizable(true);
  fields->setFrameShape(QFrame::NoFrame);
  fields->setMinimumHeight(120);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->setObjectName(QStringLiteral("splitRecords"));
  split->setChildrenCollapsible(false);
  split->addWidget(fields);
  split->addWidget(m_records);
  split->setStretchFactor(1, 1);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(split);
  // At first the fields whole and the grid below them, within the screen.
  const QSize hint = upper->sizeHint();
  const QRect screenArea = screen() ? screen()->availableGeometry() : QRect(0, 0, 1280, 1024);
  const int gridHeight = 360;
  resize(std::min(hint.width() + 40, screenArea.width()),
         std::min(hint.height() + gridHeight + 40, screenArea.height() - 60));
  split->setSizes({hint.height(), gridHeight});
  m_records->changed = [this] { RefreshInfo(); };

  // Read-only fields in the face colour; the typed amounts take whole złoty,
  // written with blanks between the thousands and ",00" if the user likes.
  for (QLineEdit* e : findChildren<QLineEdit*>()) {
    if (e->isReadOnly()) SetFieldColor(e, FaceColor());
  }
  auto* whole = new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("-?[0-9 \u00A0\u202F]*([,.][0-9]{0,2})?")), this);
  for (QLineEdit* e : {m_ui->edP39, m_ui->edP49, m_ui->edP50, m_ui->edP52, m_ui->edP54, m_ui->edP60}) {
    e->setValidator(whole);
  }

  m_refundTerms = new QButtonGroup(this);
  for (QRadioButton* rb : {m_ui->rbZwrot540, m_ui->rbZwrot55, m_ui->rbZwrot56, m_ui->rbZwrot560, m_ui->rbZwrot58}) {
    m_refundTerms->addButton(rb);
  }
  m_ui->edP60->setEnabled(false);
  m_ui->edP61->setEnabled(false);

  // The creation time is shown whole; the checks' differences stand beside
  // their fields; the last saved file at the bottom.
  m_ui->edGenDate->setMinimumWidth(
      m_ui->edGenDate->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00T00:00:00")) + 24);
  m_ui->edGenDate->setMaximumWidth(QWIDGETSIZE_MAX);
  m_diff38 = LabelBeside(m_ui->edP38);
  m_diff48 = LabelBeside(m_ui->edP48);
  for (QLabel* l : {m_diff38, m_diff48}) {
    l->setObjectName(l == m_diff38 ? QStringLiteral("labDiffP38") : QStringLiteral("labDiffP48"));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, CheckRedColor());
    l->setPalette(p);
  }
  m_status = new QLabel(this);
  m_status->setObjectName(QStringLiteral("labStatus"));
  m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  if (auto* left = findChild<QVBoxLayout*>(QStringLiteral("layLeft"))) left->addWidget(m_status);

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
  // The window stays open when the user cancels: typed amounts not taken
  // over, a save started and then cancelled, or a failed save.
  bool close = false;
  Guarded([&] { close = OfferTypedDeclaration() && m_editor->CloseQuery(); });
  if (!close) return;
  RefreshInfo();
  QDialog::done(result);
}

bool TJpkVatDlg::ProgramCloseQuery() {
  bool close = false;
  Guarded([&] { close = m_editor->ProgramCloseQuery(); });
  RefreshInfo();
  return close;
}

void TJpkVatDlg::ShowStatus(const QString& text) { m_status->setText(text); }

bool TJpkVatDlg::OfferTypedDeclaration() {
  if (!m_editor->HasDocument()) return true;
  if (!kx::editor::TypedDeclarationDiffers(TypedInput(), m_editor->RefreshInfo())) return true;
  switch (m_ctx.ui.Ask(kx::ui::BoxKind::Confirmation, "Przeliczyć deklarację z wpisanymi kwotami?",
                       {kx::ui::Button::Yes, kx::ui::Button::No, kx::ui::Button::Cancel}, kx::ui::Button::Yes)) {
    case kx::ui::Button::Yes: return RecalcTypedDeclaration();
    case kx::ui::Button::No: return true;
    default: return false;
  }
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
  u.gbDeklaracja->setTitle(Q(info.declarationCaption));

  // Read-only amounts in the Polish form; typed ones as the file holds them.
  const std::pair<QLineEdit*, const std::string*> shown[] = {{u.edSaleLinesCount, &info.saleCount},
                                                             {u.edSaleTaxSum, &info.saleTax},
                                                             {u.edBuyLinesCount, &info.purchaseCount},
                                                             {u.edBuyTaxSum, &info.purchaseTax},
                                                             {u.edP37, &info.p37},
                                                             {u.edP38, &info.p38},
                                                             {u.edP40Plus42, &info.p40Plus42},
                                                             {u.edP48, &info.p48},
                                                             {u.edP51, &info.p51},
                                                             {u.edP53, &info.p53},
                                                             {u.edP62, &info.p62},
                                                             {u.edP68, &info.p68},
                                                             {u.edP69, &info.p69}};
  for (const auto& [edit, text] : shown) edit->setText(ShownAmount(*text));
  const std::pair<QLineEdit*, const std::string*> typed[] = {{u.edP39, &info.p39}, {u.edP49, &info.p49},
                                                             {u.edP50, &info.p50}, {u.edP52, &info.p52},
                                                             {u.edP54, &info.p54}, {u.edORDZU, &info.ordzu}};
  for (const auto& [edit, text] : typed) edit->setText(Q(*text));

  // The two tax checks: colour and hint.
  const std::pair<QLineEdit*, const kx::editor::TaxCheck*> checks[] = {{u.edP38, &info.check38},
                                                                       {u.edP48, &info.check48}};
  for (const auto& [edit, check] : checks) {
    const bool red = check->shown && check->color == FieldColor::Red;
    SetFieldColor(edit, red ? CheckRedColor() : FaceColor());
    edit->setToolTip(check->shown ? Q(check->hint) : QString());
    QLabel* diff = edit == u.edP38 ? m_diff38 : m_diff48;
    diff->setText(red ? QStringLiteral("różnica: ") + ShownAmount(check->difference) : QString());
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
  m_records->Sync(m_editor->Document());
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
    // "Nowy plik" replaces the document only once the new one is made: a
    // failed generation leaves the editor as it was.
    const kx::ui::ModalResult newOrLink = m_editor->NewOrLinkChoice();
    if (newOrLink == kx::ui::ModalResult::Cancel || !m_collaborators.generate) return;
    const bool replace = newOrLink == kx::ui::ModalResult::No;
    const kx::editor::DeclarationInput typed = TypedInput();
    const bool taken =
        m_collaborators.generate([this, typed, replace](kx::jpk::v7m::IXMLJPK document, bool declaration) {
          return m_editor->AcceptGenerated(document, declaration, typed, replace);
        });
    RefreshInfo();
    if (!taken) return;
    if (m_ctx.ui.Ask(kx::ui::BoxKind::Confirmation, "Zapisać wygenerowany plik?",
                     {kx::ui::Button::Yes, kx::ui::Button::No}, kx::ui::Button::Yes) == kx::ui::Button::Yes) {
      btnSaveJPKClick();
    }
  });
  RefreshInfo();
}

void TJpkVatDlg::btnOpenJPKClick() {
  bool go = false;
  Guarded([&] { go = OfferTypedDeclaration(); });
  if (!go) return;
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
  // Typed amounts the user keeps in the fields: Anuluj stops the save and
  // keeps them there.
  bool go = false;
  Guarded([&] { go = OfferTypedDeclaration(); });
  if (!go) return;
  bool saved = false;
  Guarded([&] { saved = m_editor->Save(); });
  // The display follows also a failed save.
  RefreshInfo();
  if (saved) ShowStatus(QStringLiteral("Zapisano plik: ") + Q(m_editor->FileName()));
}

bool TJpkVatDlg::RecalcTypedDeclaration() {
  ResetFieldColor(m_ui->edP49);
  ResetFieldColor(m_ui->edP50);
  kx::editor::DeclarationResult result;
  bool done = false;
  Guarded([&] {
    result = m_editor->RecalcDeclaration(TypedInput());
    done = true;
  });
  // A failure leaves the document and the typed values as they were.
  if (!done) return false;
  if (result.status != kx::editor::DeclarationResult::Status::Done) {
    SetFieldColor(m_ui->edP54, CheckRedColor());
    m_ui->edP54->repaint();
    QTimer::singleShot(500, this, [this] { ResetFieldColor(m_ui->edP54); });
    return false;
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
  return true;
}

void TJpkVatDlg::btnRecalcDeclarationClick() {
  if (!m_editor->HasDocument()) return;
  RecalcTypedDeclaration();
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
