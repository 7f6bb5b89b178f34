#pragma once
// Generation of a month's JPK_KR file from the bookkeeping program's ledger,
// on a background task while the dialog shows its progress.

#include <QDialog>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <string>

#include "app/app_context.h"
#include "jpk/files/jpkTools.h"

namespace Ui {
class TGenFromRejkoDlg;
}
class QTimer;

class TGenFromRejkoDlg : public QDialog {
  Q_OBJECT

 public:
  // Created once at program start: the month of CurDate.
  explicit TGenFromRejkoDlg(kx::AppContext& ctx, QWidget* parent = nullptr);
  // At program end a running task is asked to stop and waited for.
  ~TGenFromRejkoDlg() override;

  // "&Generuj": while a task runs only "Task is already running."; otherwise
  // the month becomes CurDate and the task starts. Returns at once.
  void btnDoItClick();
  bool Running() const { return m_running; }
  // The last run finished all its steps; its file awaits the save question.
  bool MadeSuccessfully() const { return m_madeSuccessfully; }
  // Locked with the bar and the status line, or idle.
  void SetInProgresState(bool enabled, const std::string& message, int progMax);

  // Closing after a successful run asks "Zapisać wygenerowany plik?".
  void done(int result) override;

 private:
  void DoFromRejko();
  // On the task's thread: stops a cancelled run, counts the step and hands
  // position and message to the window's thread, waiting for it.
  void ThreadProgress(const std::string& message, int position);
  // On the window's thread once the task has ended.
  void TaskEnded(bool succeeded, const std::string& failure);
  void OnTimer();

  std::unique_ptr<Ui::TGenFromRejkoDlg> m_ui;
  kx::AppContext& m_ctx;
  QTimer* m_timer = nullptr;  // tmrProgress
  QThreadPool m_pool;         // one task at a time
  bool m_running = false;     // Task: set from the start until the end is handled on the window's thread
  std::atomic<bool> m_cancel{false};
  int m_taskCur = 0;  // FTaskCur, the task's own
  int m_progCur = 0;  // FProgCur and FProgMsg: the window thread's copies
  std::string m_progMsg;
  bool m_madeSuccessfully = false;
  bool m_busy = false;  // the hourglass is on
  // The run's file, written in a private place as it is made; the task's
  // alone while it runs.
  std::unique_ptr<kx::jpk::KRFileWriter> m_made;
};
