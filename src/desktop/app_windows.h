#pragma once
// The windows of the program and how they reach each other. Each window gets
// only what it uses; this set wires them together.

#include <memory>
#include <string>
#include <vector>

#include "app/app_context.h"

class TMainForm;
class TdlgLinkAsk;
class TParagonDlg;
class TExchFormatDlg;
class TJpkVatDlg;
class TGenJpkVatDlg;
class TGenFromTowixDlg;
class TGenFromRejkoDlg;

namespace kx::desktop {

// Each window is created once, in the order of the members: the main window
// first, because its creation reads the configuration that the other windows
// use while they are created. They are destroyed in the reverse order, the
// main window last.
struct AppWindows {
  AppWindows();
  ~AppWindows();
  AppWindows(const AppWindows&) = delete;
  AppWindows& operator=(const AppWindows&) = delete;

  // args: the command-line arguments, the executable's full path first. Sets
  // the process-wide formatting first and makes the main window's
  // AppException the handler of the application object.
  void Create(AppContext& ctx, const std::vector<std::string>& args);

  std::unique_ptr<TMainForm> MainForm;
  std::unique_ptr<TdlgLinkAsk> dlgLinkAsk;
  std::unique_ptr<TParagonDlg> ParagonDlg;
  std::unique_ptr<TExchFormatDlg> ExchFormatDlg;
  std::unique_ptr<TJpkVatDlg> JpkVatDlg;
  std::unique_ptr<TGenJpkVatDlg> GenJpkVatDlg;
  std::unique_ptr<TGenFromTowixDlg> GenFromTowixDlg;
  std::unique_ptr<TGenFromRejkoDlg> GenFromRejkoDlg;
};

}  // namespace kx::desktop
