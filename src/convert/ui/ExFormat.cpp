#include "convert/ui/ExFormat.h"

#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QToolButton>
#include <exception>
#include <filesystem>
#include <string>

#include "ui_ExFormat.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TExchFormatDlg::TExchFormatDlg(kx::AppContext& ctx, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TExchFormatDlg>()), m_ctx(ctx) {
  m_ui->setupUi(this);
  if (parent) setFont(parent->window()->font());
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  const QIcon folder = style()->standardIcon(QStyle::SP_DirOpenIcon);
  m_ui->btnInputFile->setIcon(folder);
  m_ui->btnOutputFolder->setIcon(folder);
  m_openDlg.title = "Wybierz plik";
  m_openDlg.filter = "Plik JPK_VAT|*.xml";
  m_openDlg.defaultExt = "xml";
  connect(m_ui->btnMakeIt, &QPushButton::clicked, this, &TExchFormatDlg::btnMakeItClick);
  connect(m_ui->btnInputFile, &QToolButton::clicked, this, &TExchFormatDlg::btnInputFileClick);
  connect(m_ui->btnOutputFolder, &QToolButton::clicked, this, &TExchFormatDlg::btnOutputFolderClick);
}

TExchFormatDlg::~TExchFormatDlg() = default;

void TExchFormatDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  m_ui->cbInputFormat->setCurrentIndex(0);
  m_ui->cbOutputFormat->setCurrentIndex(0);
  const kx::AppSettings& s = m_ctx.AppSettings;
  m_ui->edOutputFolder->setText(Q(!s.SaveDir.empty() ? s.SaveDir : m_ctx.RunDir));
  if (parentWidget()) move(parentWidget()->window()->geometry().center() - rect().center());
}

void TExchFormatDlg::btnInputFileClick() {
  m_openDlg.initialDir = m_ui->edOutputFolder->text().toStdString();
  m_openDlg.fileName = m_ui->edInputFile->text().toStdString();
  if (auto chosen = m_ctx.ui.ChooseOpenFile(m_openDlg)) {
    const std::filesystem::path file = std::filesystem::absolute(*chosen);
    m_openDlg.initialDir = file.parent_path().string();
    m_ui->edInputFile->setText(Q(file.string()));
  }
}

void TExchFormatDlg::btnOutputFolderClick() {
  if (auto chosen = m_ctx.ui.ChooseFolder("Wybierz folder", m_ui->edOutputFolder->text().toStdString())) {
    m_ui->edOutputFolder->setText(Q(*chosen));
  }
}

void TExchFormatDlg::btnMakeItClick() {
  kx::convert::ConversionRequest request;
  request.inputFormat = m_ui->cbInputFormat->currentText().toStdString();
  request.inputFile = m_ui->edInputFile->text().toStdString();
  request.outputFormat = m_ui->cbOutputFormat->currentText().toStdString();
  std::string folder = m_ui->edOutputFolder->text().toStdString();
  const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
  if (!folder.empty() && folder.back() != separator) {
    folder += separator;
    m_ui->edOutputFolder->setText(Q(folder));
  }
  request.outputFolder = folder;
  std::string done, failure;
  try {
    kx::ui::BusyCursor busy(m_ctx.ui);
    done = kx::convert::RunConversion(m_ctx, m_state, request);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  // The dialog stays open for the next conversion, also after a failure.
  if (!failure.empty()) {
    m_ctx.ui.Show(kx::ui::BoxKind::Error, failure);
  } else if (!done.empty()) {
    m_ctx.ui.Show(kx::ui::BoxKind::Information, done);
  }
}
