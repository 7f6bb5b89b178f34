#pragma once
// The main window with its six commands.

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

class TMainForm : public QWidget {
  Q_OBJECT

 public:
  // What the main window asks of the program around it.
  struct Commands {
    std::function<void()> editV7M;                          // "JPK &V7M": the JPK_V7M editor
    std::function<void(const QString& format)> exportData;  // the export dialog; a format text to preset, or empty
    std::function<void()> generateKR;                       // "JPK &KR": the JPK_KR dialog
    std::function<void()> exchangeFormat;                   // "Konwerter &danych": the converter
    std::function<void(int code)> endProgram;               // ends the process with the exit code
    std::function<bool()> closeQuery;                       // the other windows agree to the program's end
  };

  // Creating the window runs FormCreate: it reads the configuration named by
  // args into ctx. A configuration failure goes to AppException.
  TMainForm(kx::AppContext& ctx, Commands commands, std::vector<std::string> args, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The handler for exceptions that nothing else handles: shows the message
  // in the error box, then ends the program with exit code 1.
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
  Commands m_commands;
  std::vector<std::string> m_args;
};
