// kx2jpk: the desktop program.

#include <QStringList>
#include <exception>
#include <string>
#include <vector>

#include "platform/allocator.h"
#include "app/app_context.h"
#include "app/ui/MainUnit.h"
#include "app_windows.h"
#include "application.h"
#include "jpk/files/jpkTools.h"
#include "platform/temp_file.h"
#include "qt_user_port.h"
#include "save_check.h"
#include "translations.h"

int main(int argc, char** argv) {
  kx::TuneAllocator();
  kx::desktop::Application app(argc, argv);
  // A shutdown while a file is being written removes the unfinished copy;
  // the file being replaced stays whole.
  kx::RemovePrivateFilesOnSignals();
  // Qt's own texts (file dialogs and their buttons) in Polish before any window exists.
  kx::desktop::LoadPolishTranslations(app);

  // The Polish standard texts: every message and question box of the program
  // is built by MessageDlg (standard_texts.h) with the Polish captions and
  // button texts, so they hold before the first window exists.
  kx::desktop::QtUserPort port;
  port.SetErrorsToStandardError(kx::desktop::UnattendedErrors());
  kx::AppContext ctx(port);
  // Every JPK file the program saves is checked against its schema first.
  kx::jpk::SetSaveCheck(kx::desktop::MakeSaveCheck(ctx));

  // The executable's full path first, then the arguments as given.
  std::vector<std::string> args;
  args.push_back(QCoreApplication::applicationFilePath().toStdString());
  const QStringList arguments = QCoreApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());

  kx::desktop::AppWindows windows;
  try {
    windows.Create(ctx, args);
  } catch (const std::exception& e) {
    kx::desktop::Application::HandleException(nullptr, e);
    return 1;
  }
  port.SetMainWindow(windows.MainForm.get());
  windows.MainForm->show();
  return app.exec();
}
