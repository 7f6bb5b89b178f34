#pragma once
// Helpers for window tests: act on the next modal box or dialog that the code
// under test opens, and read what a message box showed.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace kxtest {

// Types the name into a file dialog's name field and confirms it, as a user
// does (the name field does not wait for the dialog's folder listing).
inline void ChooseFile(QFileDialog* d, const QString& name) {
  QApplication::setActiveWindow(d);
  auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  edit->clear();
  QTest::keyClicks(edit, name);
  static_cast<QDialog*>(d)->accept();
}

// What a message box showed.
struct BoxSeen {
  bool seen = false;
  QString title;
  QString text;
  QStringList buttons;  // texts of its buttons
  QString defaultButton;
};

inline BoxSeen Describe(QMessageBox* box) {
  BoxSeen s;
  s.seen = true;
  s.title = box->windowTitle();
  s.text = box->text();
  for (QAbstractButton* b : box->buttons()) s.buttons << b->text();
  if (box->defaultButton()) s.defaultButton = box->defaultButton()->text();
  return s;
}

// Watches for the next modal widget for as long as it lives (the end of a
// test function at the latest).
struct ModalWatch {
  bool done = false;  // the action ran
  QPointer<QTimer> timer;
  ~ModalWatch() { delete timer.data(); }
};

// Once the next modal widget of type W is up (and, given accepts, one that it
// accepts), runs action on it. When another modal widget blocks the test for
// timeoutMs, that widget is rejected so that the test cannot hang.
template <class W>
std::unique_ptr<ModalWatch> OnNextModal(std::function<void(W*)> action, int timeoutMs = 10000,
                                        std::function<bool(W*)> accepts = {}) {
  auto watch = std::make_unique<ModalWatch>();
  ModalWatch* w = watch.get();
  w->timer = new QTimer;
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  w->timer->setInterval(10);
  QObject::connect(w->timer, &QTimer::timeout, [w, clock, action, timeoutMs, accepts]() {
    QWidget* modal = QApplication::activeModalWidget();
    if (W* widget = qobject_cast<W*>(modal); widget && widget->isVisible() && (!accepts || accepts(widget))) {
      w->timer->stop();
      w->done = true;
      action(widget);
      return;
    }
    // Only a modal widget that is really in the way is given up on; with
    // none up yet (a slow machine), the watch goes on waiting.
    if (clock->elapsed() > timeoutMs && modal) {
      if (auto* dlg = qobject_cast<QDialog*>(modal)) {
        w->timer->stop();
        dlg->reject();
      }
    }
  });
  w->timer->start();
  return watch;
}

// What the next message box showed, with its watch.
struct BoxWatch : BoxSeen {
  std::unique_ptr<ModalWatch> watch;
};

// Presses the button with the given text in the next message box (or closes
// the box when it has no such button) and records what the box showed.
inline std::unique_ptr<BoxWatch> AnswerNextBox(const QString& buttonText) {
  auto result = std::make_unique<BoxWatch>();
  BoxWatch* r = result.get();
  r->watch = OnNextModal<QMessageBox>([r, buttonText](QMessageBox* box) {
    static_cast<BoxSeen&>(*r) = Describe(box);
    for (QAbstractButton* b : box->buttons()) {
      if (b->text() == buttonText) {
        b->click();
        return;
      }
    }
    box->reject();
  });
  return result;
}

// Presses Escape in the next message box and records what it showed.
inline std::unique_ptr<BoxWatch> EscapeNextBox() {
  auto result = std::make_unique<BoxWatch>();
  BoxWatch* r = result.get();
  r->watch = OnNextModal<QMessageBox>([r](QMessageBox* box) {
    static_cast<BoxSeen&>(*r) = Describe(box);
    QTest::keyClick(box, Qt::Key_Escape);
  });
  return result;
}

// The steps of a flow that opens one modal window after another: each step
// is armed when the one before it has acted.
class ModalChain {
 public:
  template <class W>
  ModalChain& Then(std::function<void(W*)> action) {
    const size_t index = m_steps.size();
    m_steps.push_back([this, index, action] {
      m_watches.push_back(OnNextModal<W>([this, index, action](W* w) {
        ++m_done;
        if (index + 1 < m_steps.size()) m_steps[index + 1]();
        action(w);
      }));
    });
    return *this;
  }
  // Presses the button with the text in the next message box and records its
  // text and default button.
  ModalChain& Box(const QString& button) {
    return Then<QMessageBox>([this, button](QMessageBox* box) {
      texts << box->text();
      defaults << (box->defaultButton() ? box->defaultButton()->text() : QString());
      for (QAbstractButton* b : box->buttons()) {
        if (b->text() == button) {
          b->click();
          return;
        }
      }
      box->reject();
    });
  }
  ModalChain& Start() {
    if (!m_steps.empty()) m_steps.front()();
    return *this;
  }
  size_t Done() const { return m_done; }
  size_t Steps() const { return m_steps.size(); }

  QStringList texts, defaults;  // of the message boxes, in order

 private:
  std::vector<std::function<void()>> m_steps;
  std::vector<std::unique_ptr<ModalWatch>> m_watches;
  size_t m_done = 0;
};

}  // namespace kxtest
