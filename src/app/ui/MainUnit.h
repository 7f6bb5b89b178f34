#pragma once
// The program's start-up pieces and its main window: the application object
// with the handler for exceptions that nothing else catches, the eight
// windows created once at start, and TMainForm with its six commands.

#include <QApplication>
#include <QWidget>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_context.h"

namespace Ui {
class TMainForm;
}

class TMainForm;
class TdlgLinkAsk;
class TParagonDlg;
class TExchFormatDlg;
class TJpkVatDlg;
class TGenJpkVatDlg;
class TGenFromTowixDlg;
class TGenFromRejkoDlg;

namespace kx::desktop {

// Short date format of the whole program (header dates, filters, pickers).
inline constexpr const char* kShortDateFormat = "yyyy-MM-dd";

// Number and date formatting of the whole process: "." as the decimal
// separator and no group separator, for Qt's conversions and for the C
// library's (LC_NUMERIC). The long time format stays as the system gives it.
void SetProcessFormatting();

// Unattended mode: with the environment variable KX_NO_MODAL_ERRORS set to a
// value other than "0", a fatal error is written to standard error instead of
// being shown in a box (runs without anyone at the screen, window tests).
bool UnattendedErrors();

// Writes a message of the system to standard error, "\r" line breaks as "\n".
void WriteToStderr(const std::string& message);

// The application object. An exception that escapes an event handler or a
// slot is caught here and handed to the installed handler, by default the
// main window's AppException; the program then ends with exit code 1.
class Application : public QApplication {
 public:
  using ExceptionHandler = std::function<void(QObject* sender, const std::exception& e)>;

  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  static void SetExceptionHandler(ExceptionHandler handler);
  // Hands the exception to the installed handler; without one the message
  // goes to standard error and the process ends with code 1.
  static void HandleException(QObject* sender, const std::exception& e);

  // Ends the process at once with the code. Tests replace the ending to
  // observe it; an empty function restores the real one.
  static void Terminate(int code);
  static void SetTerminate(std::function<void(int)> terminate);
};

}  // namespace kx::desktop

// The windows of the program. Each is created once, in the order of the
// members: the main window first, because its creation reads the
// configuration that the other windows use while they are created. They are
// destroyed in the reverse order, the main window last.
struct TAppWindows {
  TAppWindows();
  ~TAppWindows();
  TAppWindows(const TAppWindows&) = delete;
  TAppWindows& operator=(const TAppWindows&) = delete;

  // args: the command-line arguments, the executable's full path first.
  void Create(kx::AppContext& ctx, const std::vector<std::string>& args);

  std::unique_ptr<TMainForm> MainForm;
  std::unique_ptr<TdlgLinkAsk> dlgLinkAsk;
  std::unique_ptr<TParagonDlg> ParagonDlg;
  std::unique_ptr<TExchFormatDlg> ExchFormatDlg;
  std::unique_ptr<TJpkVatDlg> JpkVatDlg;
  std::unique_ptr<TGenJpkVatDlg> GenJpkVatDlg;
  std::unique_ptr<TGenFromTowixDlg> GenFromTowixDlg;
  std::unique_ptr<TGenFromRejkoDlg> GenFromRejkoDlg;
};

class TMainForm : public QWidget {
  Q_OBJECT

 public:
  // Creating the window runs FormCreate: it reads the configuration named by
  // args into ctx. A configuration failure goes to AppException.
  TMainForm(kx::AppContext& ctx, TAppWindows& windows, std::vector<std::string> args,
            QWidget* parent = nullptr);
  ~TMainForm() override;

  // The handler for exceptions that nothing else handles: shows the message
  // in the error box (or on standard error in the unattended mode), then ends
  // the program with exit code 1.
  void AppException(QObject* sender, const std::exception& e);

  kx::AppContext& Context() const { return m_ctx; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  void FormCloseQuery(bool& canClose);
  void FormDestroy();

  void btnJPK_V7MClick();
  void btnJPK_FAClick();
  void btnJPK_MAGClick();
  void btnJPK_KRClick();
  void btnGenFromTowixClick();
  void btnExchangeFormatClick();
  void ShowExportDialog(const QString& targetFormat);

  std::unique_ptr<Ui::TMainForm> m_ui;
  kx::AppContext& m_ctx;
  TAppWindows& m_windows;
  std::vector<std::string> m_args;
};
