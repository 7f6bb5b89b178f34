#pragma once
// Generation of a month's JPK_V7M records from the registers of a source program.

#include <QDialog>
#include <memory>

#include "app/app_context.h"

namespace Ui {
class TGenJpkVatDlg;
}
struct TAppWindows;

class TGenJpkVatDlg : public QDialog {
  Q_OBJECT

 public:
  TGenJpkVatDlg(kx::AppContext& ctx, TAppWindows& windows, QWidget* parent = nullptr);
  ~TGenJpkVatDlg() override;

 private:
  std::unique_ptr<Ui::TGenJpkVatDlg> m_ui;
  kx::AppContext& m_ctx;
  TAppWindows& m_windows;
};
