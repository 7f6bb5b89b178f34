#include "qt_user_port.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QScreen>

#include "application.h"
#include "standard_texts.h"

namespace kx::desktop {

QStringList QtNameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (auto& p : patterns) p = p.trimmed();
    patterns.removeAll(QString());
    if (patterns.isEmpty()) continue;
    const QString description = parts[i].trimmed();
    const QString joined = patterns.join(QLatin1Char(' '));
    result << (description.isEmpty() ? joined : description + QStringLiteral(" (") + joined + QLatin1Char(')'));
  }
  return result;
}

namespace {

constexpr int kWaitPadding = 12;

QWidget* OwnerWindow(QWidget* owner) { return owner ? owner->window() : nullptr; }

// The folder a file dialog starts in: the given one when it exists, else the
// working folder (Qt would show the folder it visited last, or another one).
QString StartFolder(const QString& folder) {
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) return QFileInfo(folder).absoluteFilePath();
  return QDir::currentPath();
}

}  // namespace

WaitWindow::WaitWindow(QWidget* owner, const QString& text)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_text(text) {
  setObjectName(QStringLiteral("WaitWindow"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  QWidget* window = OwnerWindow(owner);

  QFont f = window ? window->font() : QApplication::font();
  if (f.pointSizeF() > 0) {
    f.setPointSizeF(f.pointSizeF() * 2);
  } else {
    f.setPixelSize(f.pixelSize() * 2);
  }
  setFont(f);

  int limit = window ? window->width() : 0;
  if (limit <= 2 * kWaitPadding) limit = 600;
  const QFontMetrics fm(f);
  const QRect bounds =
      fm.boundingRect(QRect(0, 0, limit - 2 * kWaitPadding, 10000), Qt::TextWordWrap | Qt::AlignCenter, m_text);
  m_textRect = QRect(kWaitPadding, kWaitPadding, bounds.width(), bounds.height());
  resize(bounds.width() + 2 * kWaitPadding, bounds.height() + 2 * kWaitPadding);

  QRect area;
  if (window && window->isVisible()) {
    area = window->frameGeometry();
  } else if (QScreen* screen = QApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) move(area.center() - rect().center());
}

void WaitWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().toolTipBase());
  p.setPen(palette().color(QPalette::ToolTipText));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  p.drawText(m_textRect, Qt::TextWordWrap | Qt::AlignCenter, m_text);
}

QtUserPort::~QtUserPort() {
  HideWait();
  while (m_busyDepth > 0) EndBusy();
}

QWidget* QtUserPort::DialogParent() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) {
    if (active != m_wait) return active;
  }
  return m_mainWindow;
}

ui::Button QtUserPort::Ask(ui::BoxKind kind, const std::string& text, const std::vector<ui::Button>& buttons,
                           ui::Button defaultButton) {
  return MessageDlg(DialogParent(), kind, MessageText(text), buttons, defaultButton);
}

void QtUserPort::Show(ui::BoxKind kind, const std::string& text) {
  if (m_errorsToStandardError && kind == ui::BoxKind::Error) {
    WriteToStderr(text);
    return;
  }
  MessageDlg(DialogParent(), kind, MessageText(text), {ui::Button::Ok}, ui::Button::Ok);
}

std::optional<std::string> QtUserPort::ChooseFile(ui::FileDialogState& state, bool save) {
  QString title = QString::fromStdString(state.title);
  if (title.isEmpty()) title = save ? QStringLiteral("Zapisz jako") : QStringLiteral("Otwórz");
  QFileDialog dlg(DialogParent(), title);
  dlg.setObjectName(save ? QStringLiteral("SaveDlg") : QStringLiteral("OpenDlg"));
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // An existing file of the chosen name is replaced without a question.
  if (save) dlg.setOption(QFileDialog::DontConfirmOverwrite);
  // The program's own word for saving ("Zapisz JPK VAT"), not Qt's "Zachowaj".
  if (save) dlg.setLabelText(QFileDialog::Accept, QStringLiteral("&Zapisz"));
  const QStringList filters = QtNameFilters(state.filter);
  if (!filters.isEmpty()) dlg.setNameFilters(filters);
  QString ext = QString::fromStdString(state.defaultExt);
  while (ext.startsWith(QLatin1Char('.'))) ext.remove(0, 1);
  if (!ext.isEmpty()) dlg.setDefaultSuffix(ext);

  // A name with a folder opens in that folder; otherwise in the initial folder
  // (either only when it exists).
  const QString name = QString::fromStdString(state.fileName);
  const QFileInfo nameInfo(name);
  if (!name.isEmpty() && nameInfo.isAbsolute()) {
    dlg.setDirectory(StartFolder(nameInfo.absolutePath()));
    dlg.selectFile(nameInfo.fileName());
  } else {
    dlg.setDirectory(StartFolder(QString::fromStdString(state.initialDir)));
    if (!name.isEmpty()) dlg.selectFile(name);
  }

  if (dlg.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dlg.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
  state.fileName = QDir::toNativeSeparators(chosen.first()).toStdString();
  return state.fileName;
}

std::optional<std::string> QtUserPort::ChooseSaveFile(ui::FileDialogState& state) { return ChooseFile(state, true); }

std::optional<std::string> QtUserPort::ChooseOpenFile(ui::FileDialogState& state) { return ChooseFile(state, false); }

std::optional<std::string> QtUserPort::ChooseFolder(const std::string& caption, const std::string& initialDir) {
  QFileDialog dlg(DialogParent(), QString::fromStdString(caption));
  dlg.setObjectName(QStringLiteral("FolderDlg"));
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::Directory);
  dlg.setOption(QFileDialog::ShowDirsOnly);
  dlg.setDirectory(StartFolder(QString::fromStdString(initialDir)));
  if (dlg.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dlg.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(chosen.first()).toStdString();
}

void QtUserPort::ShowWait(const std::string& text) {
  HideWait();
  m_wait = new WaitWindow(m_mainWindow, MessageText(text));
  m_wait->show();
  m_wait->raise();
  // The caller keeps the user-interface thread busy: paint now.
  m_wait->repaint();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtUserPort::HideWait() {
  if (m_wait) {
    m_wait->hide();
    delete m_wait.data();
  }
  m_wait = nullptr;
}

void QtUserPort::BeginBusy() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  ++m_busyDepth;
}

void QtUserPort::EndBusy() {
  if (m_busyDepth == 0) return;
  --m_busyDepth;
  QApplication::restoreOverrideCursor();
}

}  // namespace kx::desktop
