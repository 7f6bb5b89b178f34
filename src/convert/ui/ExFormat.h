#pragma once
// The converter of existing files: JPK_FA into JPK_V7M records, JPK_V7M into
// the Buchalter tables or a Ramzes file.

#include <QDialog>
#include <memory>

#include "app/app_context.h"
#include "convert/convert.h"
#include "platform/ui/user_port.h"

namespace Ui {
class TExchFormatDlg;
}
class QShowEvent;

class TExchFormatDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TExchFormatDlg(kx::AppContext& ctx, QWidget* parent = nullptr);
  ~TExchFormatDlg() override;

  // "&Konwertuj": the conversion of the chosen file into the chosen format.
  // A failure is shown in the error box; the dialog stays open for the next
  // conversion either way.
  void btnMakeItClick();
  void btnInputFileClick();
  void btnOutputFolderClick();

 protected:
  // Each showing: the first item of both format boxes, the output folder
  // SaveDir (or RunDir when that is empty).
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<Ui::TExchFormatDlg> m_ui;
  kx::AppContext& m_ctx;
  kx::convert::ConverterState m_state;
  kx::ui::FileDialogState m_openDlg;
};
