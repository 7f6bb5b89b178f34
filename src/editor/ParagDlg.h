#pragma once
// Entry of receipt ("paragon") sales into the JPK_V7M editor's document.

#include <QDialog>
#include <memory>

#include "app/app_context.h"

namespace Ui {
class TParagonDlg;
}
struct TAppWindows;

class TParagonDlg : public QDialog {
  Q_OBJECT

 public:
  TParagonDlg(kx::AppContext& ctx, TAppWindows& windows, QWidget* parent = nullptr);
  ~TParagonDlg() override;

 private:
  std::unique_ptr<Ui::TParagonDlg> m_ui;
  kx::AppContext& m_ctx;
  TAppWindows& m_windows;
};
