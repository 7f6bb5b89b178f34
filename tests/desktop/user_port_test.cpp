// The Qt user port: message and question boxes with the Polish standard texts,
// the file and folder dialogs with their remembered state, the wait window and
// the hourglass cursor.

#include <QDir>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTreeView>
#include <QtTest>
#include <filesystem>
#include <stdexcept>

#include "application.h"
#include "app_windows.h"
#include "app/ui/MainUnit.h"
#include "qt_test_helpers.h"
#include "qt_user_port.h"
#include "standard_texts.h"
#include "translations.h"
#include "support/temp_dir.h"

using kx::ui::BoxKind;
using kx::ui::Button;

Q_DECLARE_METATYPE(BoxKind)
Q_DECLARE_METATYPE(Button)
Q_DECLARE_METATYPE(std::vector<Button>)

namespace {

QLineEdit* NameEdit(QFileDialog* d) { return d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

// Types a name into a file dialog and confirms it, as the user does.
void TypeAndAccept(QFileDialog* d, const QString& name) {
  QApplication::setActiveWindow(d);
  QLineEdit* edit = NameEdit(d);
  edit->setFocus();
  edit->clear();
  QTest::keyClicks(edit, name);
  static_cast<QDialog*>(d)->accept();
}

QString Q(const std::optional<std::string>& s) { return s ? QString::fromStdString(*s) : QStringLiteral("<none>"); }
QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

class UserPortTest : public QObject {
  Q_OBJECT

 private slots:
  void askShowsPolishTextsAndReturnsThePressedButton_data() {
    QTest::addColumn<BoxKind>("kind");
    QTest::addColumn<std::vector<Button>>("buttons");
    QTest::addColumn<Button>("defaultButton");
    QTest::addColumn<QString>("press");  // button text; empty presses Escape
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<Button>("result");

    QTest::newRow("yes/no, No pressed") << BoxKind::Confirmation << std::vector{Button::Yes, Button::No} << Button::Yes
                                        << "&Nie"
                                        << "Pytanie" << QStringList{"&Tak", "&Nie"} << Button::No;
    QTest::newRow("yes/no, Escape answers No")
        << BoxKind::Confirmation << std::vector{Button::Yes, Button::No} << Button::Yes << ""
        << "Pytanie" << QStringList{"&Tak", "&Nie"} << Button::No;
    QTest::newRow("OK/Cancel, Escape answers Cancel")
        << BoxKind::Warning << std::vector{Button::Ok, Button::Cancel} << Button::Ok << ""
        << "Ostrzeżenie" << QStringList{"&OK", "&Anuluj"} << Button::Cancel;
    QTest::newRow("abort/retry/ignore") << BoxKind::Error << std::vector{Button::Abort, Button::Retry, Button::Ignore}
                                        << Button::Retry << "Powtó&rz"
                                        << "Błąd" << QStringList{"Pr&zerwij", "Powtó&rz", "&Ignoruj"} << Button::Retry;
    const std::vector all{Button::Yes, Button::No, Button::All, Button::NoToAll, Button::YesToAll, Button::Help};
    const QStringList allTexts{"&Tak", "&Nie", "&Wszystko", "N&ie wszyst.", "&Tak wszyst.", "&Pomoc"};
    QTest::newRow("All") << BoxKind::Information << all << Button::No << "&Wszystko"
                         << "Informacja" << allTexts << Button::All;
    QTest::newRow("No to all") << BoxKind::Information << all << Button::No << "N&ie wszyst."
                               << "Informacja" << allTexts << Button::NoToAll;
    QTest::newRow("Yes to all") << BoxKind::Information << all << Button::No << "&Tak wszyst."
                                << "Informacja" << allTexts << Button::YesToAll;
  }

  void askShowsPolishTextsAndReturnsThePressedButton() {
    QFETCH(BoxKind, kind);
    QFETCH(std::vector<Button>, buttons);
    QFETCH(Button, defaultButton);
    QFETCH(QString, press);
    QFETCH(QString, caption);
    QFETCH(QStringList, texts);
    QFETCH(Button, result);

    kx::desktop::QtUserPort port;
    auto seen = press.isEmpty() ? kxtest::EscapeNextBox() : kxtest::AnswerNextBox(press);
    const Button answer = port.Ask(kind, "Zapisać wygenerowany plik?", buttons, defaultButton);
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, caption);
    QCOMPARE(seen->text, QStringLiteral("Zapisać wygenerowany plik?"));
    QStringList shown = seen->buttons;
    shown.sort();
    texts.sort();
    QCOMPARE(shown, texts);
    QCOMPARE(seen->defaultButton, kx::desktop::ButtonText(defaultButton));
    QCOMPARE(answer, result);
  }

  void messagesArePlainTextWithTheSystemsLineBreaks() {
    kx::desktop::QtUserPort port;
    QString format;
    auto seen = std::make_shared<kxtest::BoxSeen>();
    auto watch = kxtest::OnNextModal<QMessageBox>([&, seen](QMessageBox* box) {
      *seen = kxtest::Describe(box);
      format = QString::number(box->textFormat());
      QTest::keyClick(box, Qt::Key_Escape);
    });
    port.Show(BoxKind::Information, "Kontrahent <b>Żuk</b> & syn\rbez NIP\r\nkoniec");
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("Informacja"));
    QCOMPARE(seen->text, QStringLiteral("Kontrahent <b>Żuk</b> & syn\nbez NIP\nkoniec"));
    QCOMPARE(format, QString::number(Qt::PlainText));
    QCOMPARE(seen->buttons, QStringList{"&OK"});
  }

  void standardTextsKeepTheSystemsLineBreak() {
    // The text is kept as the system writes it; boxes turn "\r" into a line break.
    const QString invalid = kx::desktop::StandardText(kx::desktop::StdText::InvalidInput);
    QCOMPARE(invalid, QStringLiteral("Wpisana wartość jest nieprawidłowa.\rNaciśnij ESC by zrezygnować ze zmian"));
    QCOMPARE(kx::desktop::MessageText(invalid.toStdString()),
             QStringLiteral("Wpisana wartość jest nieprawidłowa.\nNaciśnij ESC by zrezygnować ze zmian"));
  }

  void filtersBecomeQtNameFilters_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("JPK file") << "Plik JPK|*.xml" << QStringList{"Plik JPK (*.xml)"};
    QTest::newRow("two entries, several patterns")
        << "Tabele|*.db;*.dbf|Wszystkie pliki|*.*" << QStringList{"Tabele (*.db *.dbf)", "Wszystkie pliki (*.*)"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("description without patterns is dropped") << "Plik JPK|" << QStringList{};
    QTest::newRow("dangling description") << "Plik JPK|*.xml|Inne" << QStringList{"Plik JPK (*.xml)"};
  }

  void filtersBecomeQtNameFilters() {
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(kx::desktop::QtNameFilters(filter.toStdString()), expected);
  }

  void saveDialogProposesAndKeepsTheLastName() {
    kxtest::TempDir dir;
    const QString folder = QString::fromStdString(dir.Path().string());
    dir.Write("2026-10_jpk_v7m_3.xml", "stary");  // the dialog asks nothing; the save flow does
    kx::desktop::QtUserPort port;
    kx::ui::FileDialogState state;  // the system's defaults: "Plik JPK|*.xml", "xml"
    state.initialDir = dir.Path().string() + "/";
    state.fileName = "2026-10_jpk_v7m_3";

    // First use: the initial folder and the proposed name; the suffix is added.
    QString shownDir, shownName, title;
    QStringList filters;
    bool saving = false;
    auto done = kxtest::OnNextModal<QFileDialog>([&](QFileDialog* d) {
      shownDir = d->directory().absolutePath();
      shownName = NameEdit(d)->text();
      title = d->windowTitle();
      filters = d->nameFilters();
      saving = d->acceptMode() == QFileDialog::AcceptSave;
      static_cast<QDialog*>(d)->accept();  // the proposed name as it stands
    });
    auto unexpectedBox = kxtest::AnswerNextBox(QString());  // no overwrite question
    auto chosen = port.ChooseSaveFile(state);
    QVERIFY(done->done);
    QVERIFY(!unexpectedBox->seen);
    QCOMPARE(shownDir, folder);
    QCOMPARE(shownName, QStringLiteral("2026-10_jpk_v7m_3"));
    QCOMPARE(title, QStringLiteral("Zapisz jako"));
    QCOMPARE(filters, QStringList{"Plik JPK (*.xml)"});
    QVERIFY(saving);
    const QString expected = Q(dir.Path() / "2026-10_jpk_v7m_3.xml");
    QCOMPARE(Q(chosen), expected);
    QCOMPARE(QString::fromStdString(state.fileName), expected);

    // Second use offers the last name; a typed name in a subfolder is taken.
    std::filesystem::create_directory(dir.Path() / "marzec");
    done = kxtest::OnNextModal<QFileDialog>([&](QFileDialog* d) {
      shownDir = d->directory().absolutePath();
      shownName = NameEdit(d)->text();
      TypeAndAccept(d, folder + QStringLiteral("/marzec/korekta"));
    });
    chosen = port.ChooseSaveFile(state);
    QVERIFY(done->done);
    QCOMPARE(shownDir, folder);
    QCOMPARE(shownName, QStringLiteral("2026-10_jpk_v7m_3.xml"));
    QCOMPARE(Q(chosen), Q(dir.Path() / "marzec" / "korekta.xml"));

    // Cancel: nothing chosen, the last name stays.
    done = kxtest::OnNextModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    QVERIFY(!port.ChooseSaveFile(state).has_value());
    QVERIFY(done->done);
    QCOMPARE(QString::fromStdString(state.fileName), Q(dir.Path() / "marzec" / "korekta.xml"));
  }

  void openDialogChoosesAnExistingFile() {
    kxtest::TempDir dir;
    const auto file = dir.Write("wejscie.xml", "<JPK/>");
    kx::desktop::QtUserPort port;
    kx::ui::FileDialogState state;
    state.initialDir = dir.Path().string();
    QString title;
    bool opening = false;
    auto done = kxtest::OnNextModal<QFileDialog>([&](QFileDialog* d) {
      title = d->windowTitle();
      opening = d->acceptMode() == QFileDialog::AcceptOpen && d->fileMode() == QFileDialog::ExistingFile;
      TypeAndAccept(d, Q(file));
    });
    auto unexpectedBox = kxtest::AnswerNextBox(QString());
    auto chosen = port.ChooseOpenFile(state);
    QVERIFY(done->done);
    QVERIFY(!unexpectedBox->seen);
    QCOMPARE(title, QStringLiteral("Otwórz"));
    QVERIFY(opening);
    QCOMPARE(Q(chosen), Q(file));
    QCOMPARE(QString::fromStdString(state.fileName), Q(file));
  }

  void folderDialogReturnsTheChosenFolder() {
    kxtest::TempDir dir;
    std::filesystem::create_directory(dir.Path() / "wyniki");
    kx::desktop::QtUserPort port;
    QString title;
    auto done = kxtest::OnNextModal<QFileDialog>([&](QFileDialog* d) {
      title = d->windowTitle();
      TypeAndAccept(d, Q(dir.Path() / "wyniki"));
    });
    auto unexpectedBox = kxtest::AnswerNextBox(QString());
    auto chosen = port.ChooseFolder("Wybierz folder", dir.Path().string());
    QVERIFY(done->done);
    QVERIFY(!unexpectedBox->seen);
    QCOMPARE(title, QStringLiteral("Wybierz folder"));
    QCOMPARE(Q(chosen), Q(dir.Path() / "wyniki"));
  }

  // A folder that is not there (a relative SaveDir seen from another working
  // folder) opens the dialog in the working folder, the proposed name selected.
  void dialogsStartInTheWorkingFolderWhenTheirFolderIsMissing_data() {
    QTest::addColumn<bool>("folderDialog");
    QTest::addColumn<QString>("initialDir");  // %1: a folder other than the working one
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("shownName");
    QTest::newRow("relative initial folder") << false << "dane/jpk/"
                                             << "2026-10_jpk_v7m_3"
                                             << "2026-10_jpk_v7m_3";
    QTest::newRow("absolute initial folder") << false << "%1/nie_ma/"
                                             << "2026-10_jpk_v7m_3"
                                             << "2026-10_jpk_v7m_3";
    QTest::newRow("last name in a removed folder") << false << "%1/"
                                                   << "%1/nie_ma/luty.xml"
                                                   << "luty.xml";
    QTest::newRow("folder dialog") << true << "dane/jpk/"
                                   << ""
                                   << "";
  }

  void dialogsStartInTheWorkingFolderWhenTheirFolderIsMissing() {
    QFETCH(bool, folderDialog);
    QFETCH(QString, initialDir);
    QFETCH(QString, fileName);
    QFETCH(QString, shownName);
    kxtest::TempDir working, other;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(Q(working.Path())));
    struct Restore {
      QString dir;
      ~Restore() { QDir::setCurrent(dir); }
    } restore{before};

    kx::desktop::QtUserPort port;
    // The dialogs were used before in another folder, which Qt remembers.
    kx::ui::FileDialogState earlier;
    earlier.initialDir = other.Path().string();
    auto used = kxtest::OnNextModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    port.ChooseSaveFile(earlier);
    QVERIFY(used->done);

    QString shownDir, shown;
    auto done = kxtest::OnNextModal<QFileDialog>([&](QFileDialog* d) {
      shownDir = d->directory().absolutePath();
      if (!folderDialog) shown = NameEdit(d)->text();
      d->reject();
    });
    if (folderDialog) {
      port.ChooseFolder("Wybierz folder", initialDir.toStdString());
    } else {
      kx::ui::FileDialogState state;
      state.initialDir = QString(initialDir).replace(QStringLiteral("%1"), Q(other.Path())).toStdString();
      state.fileName = QString(fileName).replace(QStringLiteral("%1"), Q(other.Path())).toStdString();
      port.ChooseSaveFile(state);
    }
    QVERIFY(done->done);
    QCOMPARE(shownDir, Q(working.Path()));
    QCOMPARE(shown, shownName);
  }

  // Qt's own texts of the file dialogs come from its Polish translation,
  // loaded at the start as the program does (main below).
  void fileDialogsShowPolishButtonsAndLabels_data() {
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QStringList>("texts");  // accept and cancel buttons, the name and type labels
    QTest::newRow("save") << "save" << QStringList{"&Zapisz", "Anuluj", "Nazwa &pliku:", "Pliki rodzaju:"};
    QTest::newRow("open") << "open" << QStringList{"&Otwórz", "Anuluj", "Nazwa &pliku:", "Pliki rodzaju:"};
    QTest::newRow("folder") << "folder" << QStringList{"&Wybierz", "Anuluj", "Katalog:", "Pliki rodzaju:"};
  }

  void fileDialogsShowPolishButtonsAndLabels() {
    QFETCH(QString, dialog);
    QFETCH(QStringList, texts);
    QVERIFY(kx::desktop::LoadPolishTranslations(*qApp));  // again: harmless
    kxtest::TempDir dir;
    kx::desktop::QtUserPort port;
    QStringList shown;
    auto done = kxtest::OnNextModal<QFileDialog>([&](QFileDialog* d) {
      auto* buttons = d->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
      for (auto role : {QDialogButtonBox::AcceptRole, QDialogButtonBox::RejectRole}) {
        for (QAbstractButton* b : buttons->buttons()) {
          if (buttons->buttonRole(b) == role) shown << b->text();
        }
      }
      for (const char* label : {"fileNameLabel", "fileTypeLabel"}) {
        shown << d->findChild<QLabel*>(QLatin1String(label))->text();
      }
      d->reject();
    });
    kx::ui::FileDialogState state;
    state.initialDir = dir.Path().string();
    if (dialog == QStringLiteral("save")) port.ChooseSaveFile(state);
    if (dialog == QStringLiteral("open")) port.ChooseOpenFile(state);
    if (dialog == QStringLiteral("folder")) port.ChooseFolder("Wybierz folder", state.initialDir);
    QVERIFY(done->done);
    QCOMPARE(shown, texts);
  }

  // A picture of the Polish save dialog for the documentation, only when asked
  // for with KX_SCREENSHOT_DIR (run under a real display for the title bar).
  void screenshots() {
    const QString out = qEnvironmentVariable("KX_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("KX_SCREENSHOT_DIR not set");
    kxtest::TempDir dir;
    for (const char* name : {"2026-09_jpk_v7m_3.xml", "2026-10_jpk_v7m_3.xml", "2026-10_JPK_FA.xml"}) {
      dir.Write(std::string("JPK/") + name, "<JPK/>");
    }
    std::filesystem::create_directory(dir.Path() / "JPK" / "backup");
    kx::desktop::QtUserPort port;
    kx::ui::FileDialogState state;
    state.initialDir = (dir.Path() / "JPK").string();
    state.fileName = "2026-11_jpk_v7m_3";
    bool saved = false;
    auto done = kxtest::OnNextModal<QFileDialog>([&](QFileDialog* d) {
      d->resize(760, 420);
      if (auto* details = d->findChild<QTreeView*>(QStringLiteral("treeView"))) {
        details->header()->resizeSections(QHeaderView::ResizeToContents);
      }
      d->move(40, 40);
      d->raise();
      d->activateWindow();
      QTest::qWait(400);
      QPixmap pix;
      if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        const QRect f = d->frameGeometry();
        pix = d->screen()->grabWindow(0, f.x(), f.y(), f.width(), f.height());
      } else {
        pix = d->grab();
      }
      saved = pix.save(out + QStringLiteral("/save-dialog.png"));
      d->reject();
    });
    port.ChooseSaveFile(state);
    QVERIFY(done->done);
    QVERIFY(saved);
  }

  void waitWindowShowsTheTextOverTheMainWindow() {
    QWidget main;
    main.setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    main.resize(554, 222);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    kx::desktop::QtUserPort port;
    port.SetMainWindow(&main);

    port.ShowWait("Proszę czekać. Trwa zapisywanie pliku...");
    kx::desktop::WaitWindow* wait = port.CurrentWaitWindow();
    QVERIFY(wait);
    QVERIFY(wait->isVisible());
    QVERIFY(wait->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(wait->Text(), QStringLiteral("Proszę czekać. Trwa zapisywanie pliku..."));
    QCOMPARE(wait->font().pointSizeF(), 16.0);
    QVERIFY(wait->width() <= main.width());
    QVERIFY((wait->frameGeometry().center() - main.frameGeometry().center()).manhattanLength() <= 2);

    // A second wait message replaces the first; a long one wraps at the main window's width.
    const int oneLineHeight = wait->height();
    QPointer<kx::desktop::WaitWindow> first = wait;
    port.ShowWait(std::string(40, 'x') + " " + std::string(40, 'y') + " " + std::string(40, 'z'));
    QPointer<kx::desktop::WaitWindow> second = port.CurrentWaitWindow();
    QVERIFY(second);
    QVERIFY(!first);
    QVERIFY(second->width() <= main.width());
    QVERIFY(second->height() > oneLineHeight);

    port.HideWait();
    QVERIFY(!port.CurrentWaitWindow());
    QVERIFY(!second);
    port.HideWait();  // harmless without a wait window
  }

  void busyCursorNestsAndIsRestoredAfterFailures() {
    kx::desktop::QtUserPort port;
    QVERIFY(!QApplication::overrideCursor());
    port.BeginBusy();
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    try {
      kx::ui::BusyCursor busy(port);
      QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
      throw std::runtime_error("przerwano");
    } catch (const std::runtime_error&) {
    }
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    port.EndBusy();
    QVERIFY(!QApplication::overrideCursor());
    port.EndBusy();  // an unmatched end restores nothing it did not set
    QVERIFY(!QApplication::overrideCursor());
  }
};

int main(int argc, char** argv) {
  kx::desktop::Application app(argc, argv);
  kx::desktop::LoadPolishTranslations(app);
  app.setQuitOnLastWindowClosed(false);
  UserPortTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "user_port_test.moc"
