#include "ledger/ui/GenFromRejko.h"

#include <QCoreApplication>
#include <QDate>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
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
constexpr int kProgressInterval = 200;  // ms
constexpr int kWaitStep = 1000;         // ms, at program end

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
  m_pool.setMaxThreadCount(1);
  m_timer = new QTimer(this);
  m_timer->setObjectName(QStringLiteral("tmrProgress"));
  m_timer->setInterval(kProgressInterval);
  connect(m_timer, &QTimer::timeout, this, &TGenFromRejkoDlg::OnTimer);
  connect(m_ui->btnDoIt, &QPushButton::clicked, this, &TGenFromRejkoDlg::btnDoItClick);
  if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
}

TGenFromRejkoDlg::~TGenFromRejkoDlg() {
  if (!m_running) return;
  // The task may be waiting for this thread to take its progress: keep
  // handling that between the steps of the wait. Its next report ends it.
  m_cancel = true;
  hide();  // nothing is offered any more
  do {
    QCoreApplication::processEvents();
  } while (!m_pool.waitForDone(kWaitStep));
  // The task's end is no longer shown: the window goes.
  QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
  if (m_running) {
    m_running = false;
    SetInProgresState(false, "", 100);
  }
}

void TGenFromRejkoDlg::btnDoItClick() {
  // A second start leaves the running task's month and result alone.
  if (m_running) {
    m_ctx.ui.Show(kx::ui::BoxKind::Information, "Task is already running.");
    return;
  }
  m_madeSuccessfully = false;
  const QDate d = m_ui->dtp->date();
  m_ctx.AppSettings.CurDate = {d.year(), d.month(), d.day()};
  DoFromRejko();
}

void TGenFromRejkoDlg::DoFromRejko() {
  SetInProgresState(true, "Proszę czekać...", kProgressSteps);
  m_made.reset();
  m_cancel = false;
  m_taskCur = 0;
  m_running = true;
  // Until the task ends no other command may use the table engine.
  m_ctx.LedgerTaskRunning = true;
  const std::filesystem::path workingDir = std::filesystem::current_path();
  m_pool.start([this, workingDir] {
    bool succeeded = false;
    std::string failure;
    try {
      // A month of the ledger may hold a million postings: they go to a file
      // as they are made, not into memory; the save question moves it.
      m_made = std::make_unique<kx::jpk::KRFileWriter>(
          (std::filesystem::temp_directory_path() / "kx2jpk_JPK_KR.xml").string());
      kx::ledger::GenerateJpkKR(
          m_ctx, workingDir, m_made->Root(),
          [this](const std::string& message, int position) { ThreadProgress(message, position); },
          [this] { m_made->Made(); });
      m_made->Finish();
      succeeded = true;
    } catch (const std::exception& e) {
      failure = e.what();
    } catch (...) {
      failure = "Nieznany błąd";
    }
    m_ctx.LedgerTaskRunning = false;
    QMetaObject::invokeMethod(
        this, [this, succeeded, failure] { TaskEnded(succeeded, failure); }, Qt::QueuedConnection);
  });
}

void TGenFromRejkoDlg::ThreadProgress(const std::string& message, int position) {
  if (m_cancel) throw kx::Error("Przerwano tworzenie JPK_KR");
  m_taskCur = position == -1 ? m_taskCur + 1 : position;
  // The window's thread takes copies; the task goes on once it has them.
  QMetaObject::invokeMethod(
      this,
      [this, message, position = m_taskCur] {
        m_progCur = position;
        if (!message.empty()) m_progMsg = message;
      },
      Qt::BlockingQueuedConnection);
}

void TGenFromRejkoDlg::TaskEnded(bool succeeded, const std::string& failure) {
  m_running = false;
  const bool cancelled = m_cancel;
  SetInProgresState(false, "", 100);
  // A dialog closed during the run does not offer its result.
  m_madeSuccessfully = succeeded && isVisible();
  if (!m_madeSuccessfully) m_made.reset();  // its private file goes with it
  // The user learns why nothing was made; a cancellation needs no message.
  if (!succeeded && !cancelled) m_ctx.ui.Show(kx::ui::BoxKind::Error, failure);
  if (isVisible()) accept();
}

void TGenFromRejkoDlg::OnTimer() {
  m_ui->ProgressBarKR->setValue(m_progCur);
  if (!m_progMsg.empty()) m_ui->lblProgMsg->setText(QString::fromStdString(m_progMsg));
}

void TGenFromRejkoDlg::SetInProgresState(bool enabled, const std::string& message, int progMax) {
  m_progCur = 0;
  m_progMsg = message;
  m_ui->GroupBox1->setEnabled(!enabled);
  m_ui->lblProgMsg->setVisible(enabled);
  m_ui->ProgressBarKR->setVisible(enabled);
  if (enabled) {
    m_timer->start();
    m_ui->ProgressBarKR->setMaximum(progMax);
    m_ui->ProgressBarKR->setValue(0);
    m_ui->lblProgMsg->setText(QString::fromStdString(message));
    if (!m_busy) m_ctx.ui.BeginBusy();
    m_busy = true;
  } else {
    m_timer->stop();
    if (m_busy) m_ctx.ui.EndBusy();
    m_busy = false;
    m_ui->lblProgMsg->clear();
  }
}

void TGenFromRejkoDlg::done(int result) {
  if (!m_running && m_madeSuccessfully) {
    m_madeSuccessfully = false;
    try {
      if (m_ctx.ui.Ask(kx::ui::BoxKind::Confirmation, "Zapisać wygenerowany plik?",
                       {kx::ui::Button::Yes, kx::ui::Button::No}, kx::ui::Button::Yes) == kx::ui::Button::Yes) {
        kx::jpk::SaveKRAs(m_ctx, *m_made);
      }
    } catch (const std::exception& e) {
      m_ctx.ui.Show(kx::ui::BoxKind::Error, e.what());
    }
    m_made.reset();
  }
  QDialog::done(result);
}
