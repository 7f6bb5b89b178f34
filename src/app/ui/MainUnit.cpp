#include "app/ui/MainUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QScreen>
#include <QShowEvent>

#include "app/configuration.h"
#include "app/kxTools.h"
#include "platform/error.h"
#include "ui_MainUnit.h"

namespace {

constexpr int kClientWidth = 554;
constexpr int kClientHeight = 222;

// Tahoma 8 pt; where it is missing, a font that has the Polish letters.
QFont MainFont() {
  for (const char* family : {"Tahoma", "DejaVu Sans"}) {
    if (QFontDatabase::hasFamily(QString::fromLatin1(family))) return QFont(QString::fromLatin1(family), 8);
  }
  QFont f = QApplication::font();
  f.setPointSize(8);
  return f;
}

}  // namespace

TMainForm::TMainForm(kx::AppContext& ctx, Commands commands, std::vector<std::string> args, QWidget* parent)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::TMainForm>()),
      m_ctx(ctx),
      m_commands(std::move(commands)),
      m_args(std::move(args)) {
  m_ui->setupUi(this);
  // A fixed dialog border: title bar with the system menu and close button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(MainFont());
  setFixedSize(kClientWidth, kClientHeight);
  if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());

  connect(m_ui->btnJPK_V7M, &QPushButton::clicked, this, &TMainForm::btnJPK_V7MClick);
  connect(m_ui->btnJPK_FA, &QPushButton::clicked, this, &TMainForm::btnJPK_FAClick);
  connect(m_ui->btnJPK_MAG, &QPushButton::clicked, this, &TMainForm::btnJPK_MAGClick);
  connect(m_ui->btnJPK_KR, &QPushButton::clicked, this, &TMainForm::btnJPK_KRClick);
  connect(m_ui->btnGenFromTowix, &QPushButton::clicked, this, &TMainForm::btnGenFromTowixClick);
  connect(m_ui->btnExchangeFormat, &QPushButton::clicked, this, &TMainForm::btnExchangeFormatClick);

  FormCreate();
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::FormCreate() {
  m_ctx.ui.BeginBusy();

  std::exception_ptr failure;
  try {
    m_ctx.AppName = m_args.empty() ? std::string() : m_args.front();
    kx::ReadConfiguration(m_ctx, m_args);
  } catch (...) {
    failure = std::current_exception();
  }

  // Whether the configuration was read or not.
  m_ctx.ui.EndBusy();
  setWindowTitle(QString::fromStdString(kx::Format("%s - %s", "Kalvor JPK", kx::VersionString(m_ctx.AppName).c_str())));
  m_ui->labFirmName->setText(QString::fromStdString(m_ctx.AppSettings.Nazwa));

  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      AppException(this, e);
    } catch (...) {
      AppException(this, kx::Error("Nieznany błąd"));
    }
  }
}

void TMainForm::FormShow() {
  const bool warehouse = !m_ctx.AppSettings.KXDataDir.empty();
  m_ui->btnJPK_FA->setEnabled(warehouse);
  m_ui->btnJPK_MAG->setEnabled(warehouse);
  m_ui->btnGenFromTowix->setEnabled(warehouse);
  m_ui->btnJPK_KR->setEnabled(!m_ctx.AppSettings.RejkoDir.empty());
  m_ui->btnJPK_V7M->setEnabled(true);
  m_ui->btnExchangeFormat->setEnabled(true);
  m_ctx.OpenDlg.initialDir = m_ctx.AppSettings.SaveDir;
  m_ctx.SaveDlg.initialDir = m_ctx.AppSettings.SaveDir;
}

void TMainForm::FormCloseQuery(bool& canClose) {
  canClose = m_ctx.ui.Ask(kx::ui::BoxKind::Confirmation, "Zakończyć program?",
                          {kx::ui::Button::Ok, kx::ui::Button::Cancel}, kx::ui::Button::Ok) == kx::ui::Button::Ok;
  // Unsaved work of the editor is offered for saving before the end.
  if (canClose && m_commands.closeQuery) canClose = m_commands.closeQuery();
}

void TMainForm::FormDestroy() {
  kx::ReleaseConfiguration(m_ctx);
  m_ctx.CutDict.clear();
  m_ctx.RejkoAccSet.clear();
}

void TMainForm::AppException(QObject* /*sender*/, const std::exception& e) {
  m_ctx.ui.Show(kx::ui::BoxKind::Error, e.what());
  if (m_commands.endProgram) m_commands.endProgram(1);
}

void TMainForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  QWidget::showEvent(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  bool canClose = true;
  FormCloseQuery(canClose);
  if (canClose) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TMainForm::btnJPK_V7MClick() {
  if (m_commands.editV7M) m_commands.editV7M();
}

void TMainForm::ShowExportDialog(const QString& targetFormat) {
  if (m_commands.exportData) m_commands.exportData(targetFormat);
}

void TMainForm::btnJPK_FAClick() { ShowExportDialog(QStringLiteral("JPK_FA")); }

void TMainForm::btnJPK_MAGClick() { ShowExportDialog(QStringLiteral("JPK_MAG")); }

void TMainForm::btnJPK_KRClick() {
  if (m_commands.generateKR) m_commands.generateKR();
}

void TMainForm::btnGenFromTowixClick() { ShowExportDialog(QString()); }

void TMainForm::btnExchangeFormatClick() {
  if (m_commands.exchangeFormat) m_commands.exchangeFormat();
}
