#pragma once
// The converter of existing files: JPK_FA into JPK_V7M records, JPK_V7M into
// the Buchalter tables or a Ramzes file.

#include <QDialog>
#include <memory>

#include "app/app_context.h"

namespace Ui {
class TExchFormatDlg;
}

class TExchFormatDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TExchFormatDlg(kx::AppContext& ctx, QWidget* parent = nullptr);
  ~TExchFormatDlg() override;

 private:
  std::unique_ptr<Ui::TExchFormatDlg> m_ui;
  kx::AppContext& m_ctx;
};
