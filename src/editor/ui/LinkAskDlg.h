#pragma once
// The question asked before a JPK_V7M file is opened or generated while a
// document is active: a new document, or linking into the active one.

#include <QDialog>
#include <memory>

#include "app/app_context.h"

namespace Ui {
class TdlgLinkAsk;
}

class TdlgLinkAsk : public QDialog {
  Q_OBJECT

 public:
  // The results of exec(): "Połącz pliki", "Nowy plik", the dialog closed.
  static constexpr int kLink = static_cast<int>(kx::ui::ModalResult::Yes);
  static constexpr int kNewFile = static_cast<int>(kx::ui::ModalResult::No);
  static constexpr int kClosed = static_cast<int>(kx::ui::ModalResult::Cancel);

  explicit TdlgLinkAsk(kx::AppContext& ctx, QWidget* parent = nullptr);
  ~TdlgLinkAsk() override;

 public slots:
  // Escape and the close button.
  void reject() override;

 private:
  std::unique_ptr<Ui::TdlgLinkAsk> m_ui;
  kx::AppContext& m_ctx;
};
