#include "application.h"

#include <QLocale>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "platform/error.h"

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
