#pragma once
// Export of the warehouse program's documents: JPK_FA, JPK_MAG and the import
// formats of outside accounting programs.

#include <QDialog>
#include <memory>

#include "app/app_context.h"

namespace Ui {
class TGenFromTowixDlg;
}
class QComboBox;

class TGenFromTowixDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TGenFromTowixDlg(kx::AppContext& ctx, QWidget* parent = nullptr);
  ~TGenFromTowixDlg() override;

  // The target-format box: an item ("JPK_FA", "JPK_MAG", ...) or typed text;
  // "do formatu" until a format is chosen.
  QComboBox* cbToFormat() const;

 private:
  std::unique_ptr<Ui::TGenFromTowixDlg> m_ui;
  kx::AppContext& m_ctx;
};
