#include "app/ui/MainUnit.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QLocale>
#include <QScreen>
#include <QShowEvent>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "app/configuration.h"
#include "app/kxTools.h"
#include "platform/error.h"
#include "convert/ui/ExFormat.h"
#include "editor/ui/JpkVat3u.h"
#include "editor/ui/LinkAskDlg.h"
#include "editor/ui/ParagDlg.h"
#include "export/ui/GenFromTowix.h"
#include "generate/ui/GenJpkVat.h"
#include "ledger/ui/GenFromRejko.h"
#include "standard_texts.h"
#include "ui_MainUnit.h"

namespace kx::desktop {

namespace {

Application::ExceptionHandler g_exceptionHandler;
std::function<void(int)> g_terminate;
bool g_handlingException = false;

}  // namespace

void WriteToStderr(const std::string& message) {
  std::string text;
  for (size_t i = 0; i < message.size(); ++i) {
    if (message[i] != '\r') {
      text += message[i];
    } else if (i + 1 >= message.size() || message[i + 1] != '\n') {
      text += '\n';
    }
  }
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

void SetProcessFormatting() {
  QLocale c = QLocale::c();
  c.setNumberOptions(QLocale::OmitGroupSeparator);
  QLocale::setDefault(c);
  // Qt sets the C library's locale from the environment; numbers that the
  // core prints with printf must keep the "." separator.
  std::setlocale(LC_NUMERIC, "C");
}

bool UnattendedErrors() {
  const QByteArray value = qgetenv("KX_NO_MODAL_ERRORS");
  return !value.isEmpty() && value != "0";
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    HandleException(receiver, e);
  } catch (...) {
    HandleException(receiver, kx::Error("Nieznany błąd"));
  }
  return false;
}

void Application::SetExceptionHandler(ExceptionHandler handler) { g_exceptionHandler = std::move(handler); }

void Application::HandleException(QObject* sender, const std::exception& e) {
  // A failure while the handler itself runs (for example inside the error
  // box) ends the program without a second box.
  if (g_handlingException || !g_exceptionHandler) {
    WriteToStderr(e.what());
    Terminate(1);
    return;
  }
  g_handlingException = true;
  try {
    g_exceptionHandler(sender, e);
  } catch (const std::exception& inner) {
    WriteToStderr(inner.what());
    g_handlingException = false;
    Terminate(1);
    return;
  }
  g_handlingException = false;
}

void Application::Terminate(int code) {
  if (g_terminate) {
    g_terminate(code);
    return;
  }
  std::fflush(nullptr);
  std::_Exit(code);
}

void Application::SetTerminate(std::function<void(int)> terminate) { g_terminate = std::move(terminate); }

}  // namespace kx::desktop

TAppWindows::TAppWindows() = default;
TAppWindows::~TAppWindows() = default;

void TAppWindows::Create(kx::AppContext& ctx, const std::vector<std::string>& args) {
  MainForm = std::make_unique<TMainForm>(ctx, *this, args);
  QWidget* owner = MainForm.get();
  dlgLinkAsk = std::make_unique<TdlgLinkAsk>(ctx, *this, owner);
  ParagonDlg = std::make_unique<TParagonDlg>(ctx, *this, owner);
  ExchFormatDlg = std::make_unique<TExchFormatDlg>(ctx, *this, owner);
  JpkVatDlg = std::make_unique<TJpkVatDlg>(ctx, *this, owner);
  GenJpkVatDlg = std::make_unique<TGenJpkVatDlg>(ctx, *this, owner);
  GenFromTowixDlg = std::make_unique<TGenFromTowixDlg>(ctx, *this, owner);
  GenFromRejkoDlg = std::make_unique<TGenFromRejkoDlg>(ctx, *this, owner);
}

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

TMainForm::TMainForm(kx::AppContext& ctx, TAppWindows& windows, std::vector<std::string> args, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::TMainForm>()), m_ctx(ctx), m_windows(windows), m_args(std::move(args)) {
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

TMainForm::~TMainForm() {
  FormDestroy();
  kx::desktop::Application::SetExceptionHandler(nullptr);
}

void TMainForm::FormCreate() {
  m_ctx.ui.BeginBusy();
  kx::desktop::Application::SetExceptionHandler(
      [this](QObject* sender, const std::exception& e) { AppException(sender, e); });
  kx::desktop::SetProcessFormatting();

  std::exception_ptr failure;
  try {
    m_ctx.AppName = m_args.empty() ? std::string() : m_args.front();
    kx::ReadConfiguration(m_ctx, m_args);
  } catch (...) {
    failure = std::current_exception();
  }

  // Whether the configuration was read or not.
  m_ctx.ui.EndBusy();
  setWindowTitle(
      QString::fromStdString(kx::Format("%s - %s", "Kalvor JPK", kx::VersionString(m_ctx.AppName).c_str())));
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
}

void TMainForm::FormDestroy() {
  kx::ReleaseConfiguration(m_ctx);
  m_ctx.CutDict.clear();
  m_ctx.RejkoAccSet.clear();
}

void TMainForm::AppException(QObject* /*sender*/, const std::exception& e) {
  if (kx::desktop::UnattendedErrors()) {
    kx::desktop::WriteToStderr(e.what());
  } else {
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent && isVisible()) parent = this;
    kx::desktop::MessageDlg(parent, kx::ui::BoxKind::Error, kx::desktop::MessageText(e.what()), {kx::ui::Button::Ok},
                            kx::ui::Button::Ok);
  }
  kx::desktop::Application::Terminate(1);
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
  if (m_windows.JpkVatDlg) m_windows.JpkVatDlg->exec();
}

void TMainForm::ShowExportDialog(const QString& targetFormat) {
  TGenFromTowixDlg* dlg = m_windows.GenFromTowixDlg.get();
  if (!dlg) return;
  if (!targetFormat.isEmpty()) dlg->cbToFormat()->setCurrentText(targetFormat);
  dlg->exec();
}

void TMainForm::btnJPK_FAClick() { ShowExportDialog(QStringLiteral("JPK_FA")); }

void TMainForm::btnJPK_MAGClick() { ShowExportDialog(QStringLiteral("JPK_MAG")); }

void TMainForm::btnJPK_KRClick() {
  if (m_windows.GenFromRejkoDlg) m_windows.GenFromRejkoDlg->exec();
}

void TMainForm::btnGenFromTowixClick() { ShowExportDialog(QString()); }

void TMainForm::btnExchangeFormatClick() {
  if (m_windows.ExchFormatDlg) m_windows.ExchFormatDlg->exec();
}
