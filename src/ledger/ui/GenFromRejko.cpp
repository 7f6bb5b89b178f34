#include "ledger/ui/GenFromRejko.h"

#include <QApplication>
#include <QDate>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <exception>
#include <filesystem>

#include "app/ui/month_edit.h"
#include "jpk/files/jpkTools.h"
#include "ledger/kr_generate.h"
#include "platform/error.h"
#include "ui_GenFromRejko.h"

namespace {

constexpr int kProgressSteps = 5;
constexpr const char* kCancelled = "Przerwano tworzenie JPK_KR";

}  // namespace

TGenFromRejkoDlg::TGenFromRejkoDlg(kx::AppContext& ctx, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TGenFromRejkoDlg>()), m_ctx(ctx) {
  m_ui->setupUi(this);
  if (parent) setFont(parent->window()->font());
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  const kx::tables::Date& cur = ctx.AppSettings.CurDate;
  QDate month(cur.year, cur.month, 1);
  if (!month.isValid()) month = QDate(QDate::currentDate().year(), QDate::currentDate().month(), 1);
  m_ui->dtp->setDate(month);
  m_ui->ProgressBarKR->setVisible(false);
  m_ui->lblProgMsg->setVisible(false);
  m_timer = new QTimer(this);
  m_timer->setInterval(200);
  connect(m_timer, &QTimer::timeout, this, &TGenFromRejkoDlg::OnTimer);
  connect(m_ui->btnDoIt, &QPushButton::clicked, this, &TGenFromRejkoDlg::btnDoItClick);
}

TGenFromRejkoDlg::~TGenFromRejkoDlg() {
  if (!m_running) return;
  // The task hands its progress to this thread and waits for it: keep
  // handling that work while waiting.
  m_cancel = true;
  while (m_running) {
    QApplication::processEvents(QEventLoop::AllEvents, 1000);
    QThread::msleep(5);
  }
  QThreadPool::globalInstance()->waitForDone(1000);
}

void TGenFromRejkoDlg::btnDoItClick() {
  m_madeSuccessfully = false;
  const QDate d = m_ui->dtp->date();
  m_ctx.AppSettings.CurDate = {d.year(), d.month(), d.day()};
  DoFromRejko();
}

void TGenFromRejkoDlg::DoFromRejko() {
  if (m_running) {
    QMessageBox::information(this, QString(), QStringLiteral("Task is already running."));
    return;
  }
  SetInProgresState(true, "Proszę czekać...", kProgressSteps);
  m_jpkkr = kx::jpk::kr::NewJPKKR();
  m_cancel = false;
  m_taskCur = 0;
  m_running = true;
  m_ctx.LedgerTaskRunning = true;
  const std::filesystem::path workingDir = std::filesystem::current_path();
  QThreadPool::globalInstance()->start([this, workingDir] {
    std::string failure;
    try {
      kx::ledger::GenerateJpkKR(m_ctx, workingDir, m_jpkkr, [this](const std::string& message, int position) {
        ThreadProgress(message, position);
      });
      m_madeSuccessfully = true;
    } catch (const std::exception& e) {
      failure = e.what();
    }
    QMetaObject::invokeMethod(
        this, [this, failure] { TaskEnded(failure); }, Qt::QueuedConnection);
  });
}

void TGenFromRejkoDlg::ThreadProgress(const std::string& message, int position) {
  if (m_cancel) throw kx::Error(kCancelled);
  if (position == -1) {
    ++m_taskCur;
  } else {
    m_taskCur = position;
  }
  if (!message.empty()) {
    std::lock_guard lock(m_messageMutex);
    m_progMsg = message;
  }
  QMetaObject::invokeMethod(
      this, [this] { m_progCur = m_taskCur; }, Qt::BlockingQueuedConnection);
}

void TGenFromRejkoDlg::TaskEnded(const std::string& failure) {
  m_running = false;
  // The engine is free once this thread knows the task has ended.
  m_ctx.LedgerTaskRunning = false;
  SetInProgresState(false, "", 100);
  // The Part closes silently after a failure; the user is told why.
  if (!failure.empty() && failure != kCancelled) m_ctx.ui.Show(kx::ui::BoxKind::Error, failure);
  if (isVisible()) accept();
}

void TGenFromRejkoDlg::OnTimer() {
  m_ui->ProgressBarKR->setValue(m_progCur);
  std::string message;
  {
    std::lock_guard lock(m_messageMutex);
    message = m_progMsg;
  }
  if (!message.empty()) m_ui->lblProgMsg->setText(QString::fromStdString(message));
}

void TGenFromRejkoDlg::SetInProgresState(bool enabled, const std::string& message, int progMax) {
  m_progCur = 0;
  {
    std::lock_guard lock(m_messageMutex);
    m_progMsg = message;
  }
  if (enabled) m_timer->start();
  m_ui->GroupBox1->setEnabled(!enabled);
  m_ui->lblProgMsg->setVisible(enabled);
  m_ui->ProgressBarKR->setVisible(enabled);
  if (enabled) {
    m_ui->ProgressBarKR->setMaximum(progMax);
    m_ui->ProgressBarKR->setValue(0);
    m_ui->lblProgMsg->setText(QString::fromStdString(message));
    m_ctx.ui.BeginBusy();
  } else {
    m_ctx.ui.EndBusy();
    m_ui->lblProgMsg->clear();
  }
  QApplication::processEvents();
}

void TGenFromRejkoDlg::done(int result) {
  if (!m_running && m_madeSuccessfully) {
    m_madeSuccessfully = false;
    try {
      if (m_ctx.ui.Ask(kx::ui::BoxKind::Confirmation, "Zapisać wygenerowany plik?",
                       {kx::ui::Button::Yes, kx::ui::Button::No}, kx::ui::Button::Yes) == kx::ui::Button::Yes) {
        kx::jpk::SaveKRAs(m_ctx, m_jpkkr);
      }
    } catch (const std::exception& e) {
      m_ctx.ui.Show(kx::ui::BoxKind::Error, e.what());
    }
  }
  QDialog::done(result);
}
