#pragma once
// Generation of a month's JPK_KR file from the bookkeeping program's ledger,
// on a background task while the dialog shows its progress.

#include <QDialog>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "app/app_context.h"
#include "jpk/model/Schemat_JPK_KR1_v10.h"

namespace Ui {
class TGenFromRejkoDlg;
}
class QTimer;

class TGenFromRejkoDlg : public QDialog {
  Q_OBJECT

 public:
  // Created once at program start: the month of CurDate.
  explicit TGenFromRejkoDlg(kx::AppContext& ctx, QWidget* parent = nullptr);
  // At program end a running task is asked to cancel and waited for.
  ~TGenFromRejkoDlg() override;

  // "&Generuj": the month becomes CurDate and the task starts; the handler
  // returns at once. While a task runs: "Task is already running.".
  void btnDoItClick();
  bool Running() const { return m_running.load(); }
  // The last run finished all its steps; its document awaits the save question.
  bool MadeSuccessfully() const { return m_madeSuccessfully; }
  // The state shown: locked with the bar and the status, or idle.
  void SetInProgresState(bool enabled, const std::string& message, int progMax);

  // Closing asks "Zapisać wygenerowany plik?" after a successful run.
  void done(int result) override;

 private:
  void DoFromRejko();
  // Called by the task: cancellation, the step, the hand-over to the window.
  void ThreadProgress(const std::string& message, int position);
  void TaskEnded(const std::string& failure);
  void OnTimer();

  std::unique_ptr<Ui::TGenFromRejkoDlg> m_ui;
  kx::AppContext& m_ctx;
  QTimer* m_timer = nullptr;
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_cancel{false};
  std::atomic<int> m_taskCur{0};
  int m_progCur = 0;
  std::mutex m_messageMutex;
  std::string m_progMsg;
  bool m_madeSuccessfully = false;
  kx::jpk::kr::IXMLJPKKR m_jpkkr;
};
