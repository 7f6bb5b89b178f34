#pragma once
// The desktop program's process: the application object with the handler for
// exceptions that nothing else catches, the process-wide formatting, the
// unattended mode and the standard-error writer.

#include <QApplication>
#include <exception>
#include <functional>
#include <string>

namespace kx::desktop {

// Short date format of the whole program (header dates, filters, pickers).
inline constexpr const char* kShortDateFormat = "yyyy-MM-dd";

// Number and date formatting of the whole process: "." as the decimal
// separator and no group separator, for Qt's conversions and for the C
// library's (LC_NUMERIC). The long time format stays as the system gives it.
void SetProcessFormatting();

// Unattended mode: with the environment variable KX_NO_MODAL_ERRORS set to a
// value other than "0", error messages are written to standard error instead
// of being shown in a box (runs without anyone at the screen, window tests).
bool UnattendedErrors();

// Writes a message of the system to standard error, "\r" line breaks as "\n".
void WriteToStderr(const std::string& message);

// The application object. An exception that escapes an event handler or a
// slot is caught here and handed to the installed handler, the main
// window's AppException; the program then ends with exit code 1.
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
