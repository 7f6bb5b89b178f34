#include "app_windows.h"

#include <QComboBox>

#include "app/ui/MainUnit.h"
#include "application.h"
#include "convert/ui/ExFormat.h"
#include "editor/ui/JpkVat3u.h"
#include "editor/ui/LinkAskDlg.h"
#include "editor/ui/ParagDlg.h"
#include "export/ui/GenFromTowix.h"
#include "generate/ui/GenJpkVat.h"
#include "ledger/ui/GenFromRejko.h"

namespace kx::desktop {

AppWindows::AppWindows() = default;

AppWindows::~AppWindows() {
  // The windows go in the reverse order of their creation, the main window last.
  GenFromRejkoDlg.reset();
  GenFromTowixDlg.reset();
  GenJpkVatDlg.reset();
  JpkVatDlg.reset();
  ExchFormatDlg.reset();
  ParagonDlg.reset();
  dlgLinkAsk.reset();
  Application::SetExceptionHandler(nullptr);
  MainForm.reset();
}

void AppWindows::Create(AppContext& ctx, const std::vector<std::string>& args) {
  SetProcessFormatting();
  TMainForm::Commands commands;
  commands.editV7M = [this] {
    if (JpkVatDlg) JpkVatDlg->exec();
  };
  // While the JPK_KR task uses the table engine, no other command may.
  auto engineFree = [&ctx] {
    if (!ctx.LedgerTaskRunning) return true;
    ctx.ui.Show(ui::BoxKind::Information, "Trwa tworzenie JPK_KR. Poczekaj na jego zakończenie.");
    return false;
  };
  commands.exportData = [this, engineFree](const QString& format) {
    if (!GenFromTowixDlg || !engineFree()) return;
    if (!format.isEmpty()) GenFromTowixDlg->cbToFormat()->setCurrentText(format);
    GenFromTowixDlg->exec();
  };
  commands.generateKR = [this] {
    if (GenFromRejkoDlg) GenFromRejkoDlg->exec();
  };
  commands.exchangeFormat = [this, engineFree] {
    if (ExchFormatDlg && engineFree()) ExchFormatDlg->exec();
  };
  commands.endProgram = [](int code) { Application::Terminate(code); };
  commands.closeQuery = [this] { return !JpkVatDlg || JpkVatDlg->ProgramCloseQuery(); };
  MainForm = std::make_unique<TMainForm>(ctx, std::move(commands), args);
  Application::SetExceptionHandler(
      [main = MainForm.get()](QObject* sender, const std::exception& e) { main->AppException(sender, e); });

  QWidget* owner = MainForm.get();
  dlgLinkAsk = std::make_unique<TdlgLinkAsk>(ctx, owner);
  ParagonDlg = std::make_unique<TParagonDlg>(ctx, owner);
  ExchFormatDlg = std::make_unique<TExchFormatDlg>(ctx, owner);

  TJpkVatDlg::Collaborators editor;
  editor.askNewOrLink = [this] { return static_cast<ui::ModalResult>(dlgLinkAsk->exec()); };
  editor.editReceipt = [this](editor::ReceiptFields& fields) { return ParagonDlg->Edit(fields); };
  editor.generate = [this, engineFree](const TJpkVatDlg::Collaborators::HandOver& handOver) {
    if (!engineFree()) return false;
    return GenJpkVatDlg && GenJpkVatDlg->Execute(handOver) == QDialog::Accepted;
  };
  JpkVatDlg = std::make_unique<TJpkVatDlg>(ctx, std::move(editor), owner);
  GenJpkVatDlg = std::make_unique<TGenJpkVatDlg>(ctx, owner);
  GenFromTowixDlg = std::make_unique<TGenFromTowixDlg>(ctx, owner);
  GenFromRejkoDlg = std::make_unique<TGenFromRejkoDlg>(ctx, owner);
}

}  // namespace kx::desktop
