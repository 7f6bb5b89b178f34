#pragma once
// The JPK_V7M editor: holds the active JPK_V7M document across its openings.

#include <QDialog>
#include <memory>

#include "app/app_context.h"

namespace Ui {
class TJpkVatDlg;
}
struct TAppWindows;

class TJpkVatDlg : public QDialog {
  Q_OBJECT

 public:
  TJpkVatDlg(kx::AppContext& ctx, TAppWindows& windows, QWidget* parent = nullptr);
  ~TJpkVatDlg() override;

 private:
  std::unique_ptr<Ui::TJpkVatDlg> m_ui;
  kx::AppContext& m_ctx;
  TAppWindows& m_windows;
};
