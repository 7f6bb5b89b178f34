#pragma once
// Export of the warehouse program's documents of a month: JPK_FA, JPK_MAG and
// the import files of outside accounting programs.

#include <QDialog>
#include <memory>

#include "app/app_context.h"

namespace Ui {
class TGenFromTowixDlg;
}
class QComboBox;
class QDateEdit;

class TGenFromTowixDlg : public QDialog {
  Q_OBJECT

 public:
  // Created once at program start: the month of CurDate; the format box
  // reads "do formatu" until a format is chosen. Month and format text stay
  // as last used while the program runs.
  explicit TGenFromTowixDlg(kx::AppContext& ctx, QWidget* parent = nullptr);
  ~TGenFromTowixDlg() override;

  // The target-format box: an item ("JPK_FA", "JPK_MAG", ...) or typed text.
  QComboBox* cbToFormat() const;
  QDateEdit* dtp() const;

  // "&Generuj": without a format a hint and the dialog stays open; otherwise
  // the month becomes CurDate, the export runs and the dialog closes. A
  // failure is shown in the error box; the program goes on.
  void btnDoItClick();

 private:
  std::unique_ptr<Ui::TGenFromTowixDlg> m_ui;
  kx::AppContext& m_ctx;
};
