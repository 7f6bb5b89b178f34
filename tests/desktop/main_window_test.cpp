// The program start and the main window: caption, firm name, layout, command
// enabling, the closing question, the commands' dialogs, configuration errors
// and the handler for unhandled exceptions (in process and in the real program).

#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "application.h"
#include "app_windows.h"
#include "app/ui/MainUnit.h"
#include "platform/error.h"
#include "convert/ui/ExFormat.h"
#include "editor/ui/JpkVat3u.h"
#include "editor/ui/LinkAskDlg.h"
#include "editor/ui/ParagDlg.h"
#include "export/ui/GenFromTowix.h"
#include "generate/ui/GenJpkVat.h"
#include "ledger/ui/GenFromRejko.h"
#include "qt_test_helpers.h"
#include "qt_user_port.h"
#include "support/temp_dir.h"

namespace {

const char* const kFirmName = "Przedsiębiorstwo Handlowe „Żółw” Sp. z o.o.";

// The [System] section of a valid configuration; extra lines are appended.
std::string IniText(const std::string& extra) {
  return std::string("[System]\n") + "NIP=7270120002\n" + "Nazwa=" + kFirmName + "\n" + "Email=biuro@zolw.pl\n" +
         "USCode=1009\n" + "NazwaSystemu=kx2jpk\n" + extra;
}

// "Kalvor JPK - ver 1.0.0 build 1" for the project version 1.0.0.1.
QString ExpectedCaption() {
  const QStringList n = QString::fromLatin1(KX_PROJECT_VERSION).split(QLatin1Char('.'));
  return QStringLiteral("Kalvor JPK - ver %1.%2.%3 build %4").arg(n.value(0), n.value(1), n.value(2), n.value(3));
}

// One started program: port, context and the eight windows.
struct Program {
  kx::desktop::QtUserPort port;
  kx::AppContext ctx{port};
  kx::desktop::AppWindows windows;

  explicit Program(const std::filesystem::path& ini) {
    windows.Create(ctx, {QCoreApplication::applicationFilePath().toStdString(), "/ini=" + ini.string()});
    port.SetMainWindow(windows.MainForm.get());
  }
  TMainForm* Main() const { return windows.MainForm.get(); }
  QPushButton* Button(const char* name) const { return Main()->findChild<QPushButton*>(QLatin1String(name)); }
  QLabel* FirmLabel() const { return Main()->findChild<QLabel*>(QStringLiteral("labFirmName")); }
};

const char* const kButtons[] = {"btnJPK_V7M", "btnJPK_FA",       "btnJPK_MAG",
                                "btnJPK_KR",  "btnGenFromTowix", "btnExchangeFormat"};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    qunsetenv("KX_NO_MODAL_ERRORS");
    m_exitCodes.clear();
    kx::desktop::Application::SetTerminate([this](int code) { m_exitCodes.push_back(code); });
  }
  void cleanup() { kx::desktop::Application::SetTerminate(nullptr); }

  void startShowsVersionFirmNameAndTheSixCommands() {
    kxtest::TempDir dir;
    Program p(dir.Write("firma.ini", IniText("KXDataDir=\nRejkoDir=rejko\nNetFileDir=net\nSaveDir=wyniki\n")));
    TMainForm* w = p.Main();
    w->show();
    QVERIFY(m_exitCodes.empty());

    QVERIFY(w->windowTitle().startsWith(QStringLiteral("Kalvor JPK - ver ")));
    QCOMPARE(w->windowTitle(), ExpectedCaption());
    QCOMPARE(w->objectName(), QStringLiteral("MainForm"));
    QCOMPARE(p.FirmLabel()->text(), QString::fromUtf8(kFirmName));
    QCOMPARE(p.FirmLabel()->textFormat(), Qt::PlainText);

    // Fixed client area, fixed border, Tahoma 8 pt or the fallback with Polish letters.
    QCOMPARE(w->size(), QSize(554, 222));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w->font().family() == QStringLiteral("Tahoma") || w->font().family() == QStringLiteral("DejaVu Sans"));
    QCOMPARE(w->font().pointSize(), 8);

    // Captions; two rows of three 150 x 60 buttons, in reading order.
    const QStringList captions{"JPK &V7M",         "JPK &FA", "JPK &MAG", "JPK &KR", "&Export danych z Towix",
                               "Konwerter &danych"};
    for (int i = 0; i < 6; ++i) {
      QPushButton* b = p.Button(kButtons[i]);
      QVERIFY2(b, kButtons[i]);
      QCOMPARE(b->text(), captions[i]);
      QCOMPARE(b->size(), QSize(150, 60));
      QVERIFY(w->rect().contains(b->geometry()));
      const int row = i / 3, col = i % 3;
      if (col > 0) {
        QPushButton* left = p.Button(kButtons[i - 1]);
        QCOMPARE(b->y(), left->y());
        QVERIFY(b->x() >= left->geometry().right());
      }
      if (row > 0) QVERIFY(b->y() >= p.Button(kButtons[i - 3])->geometry().bottom());
    }
    QCOMPARE(p.Button("btnGenFromTowix")->toolTip(),
             QStringLiteral("Generowanie danych z Towix do JPK_FA i innych systemów księgowych"));

    // The firm name along the bottom, 19 px high, 10 px from either side.
    QLabel* lab = p.FirmLabel();
    QCOMPARE(lab->height(), 19);
    QCOMPARE(lab->x(), 10);
    QCOMPARE(w->width() - lab->geometry().right() - 1, 10);
    QVERIFY(lab->y() > p.Button("btnExchangeFormat")->geometry().bottom());
    QVERIFY(lab->geometry().bottom() < w->height());

    // Tab order follows the command table.
    QStringList chain;
    QWidget* start = p.Button("btnJPK_V7M");
    QWidget* next = start;
    do {
      if (auto* b = qobject_cast<QPushButton*>(next)) chain << b->objectName();
      next = next->nextInFocusChain();
    } while (next != start && chain.size() < 20);
    QStringList expected;
    for (const char* name : kButtons) expected << QLatin1String(name);
    QCOMPARE(chain, expected);

    // The file dialogs start in SaveDir.
    QVERIFY(!p.ctx.AppSettings.SaveDir.empty());
    QCOMPARE(p.ctx.OpenDlg.initialDir, p.ctx.AppSettings.SaveDir);
    QCOMPARE(p.ctx.SaveDlg.initialDir, p.ctx.AppSettings.SaveDir);
  }

  void creationFixesNumberFormattingForTheWholeProcess() {
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    QVERIFY(QLocale().toString(1234567.5, 'f', 1).contains(QLatin1Char(',')));
    kxtest::TempDir dir;
    Program p(dir.Write("firma.ini", IniText("")));
    QCOMPARE(QLocale().toString(1234567.5, 'f', 1), QStringLiteral("1234567.5"));
    QCOMPARE(QLocale().toDouble(QStringLiteral("12.25")), 12.25);
    QCOMPARE(QString::fromStdString(kx::Format("%f", 1234.5)), QStringLiteral("1234.50"));
  }

  void windowsAreCreatedOnceInOrderAndHidden() {
    kxtest::TempDir dir;
    Program p(dir.Write("firma.ini", IniText("KXDataDir=towix\nNetFileDir=net\n")));
    struct Expected {
      QDialog* dialog;
      const char* className;
      const char* objectName;
      const char* caption;
    };
    const Expected expected[] = {
        {p.windows.dlgLinkAsk.get(), "TdlgLinkAsk", "dlgLinkAsk", "Wczytaj plik jako..."},
        {p.windows.ParagonDlg.get(), "TParagonDlg", "ParagonDlg", "Sprzedaż paragonowa"},
        {p.windows.ExchFormatDlg.get(), "TExchFormatDlg", "ExchFormatDlg", "Konwersja danych"},
        {p.windows.JpkVatDlg.get(), "TJpkVatDlg", "JpkVatDlg", "JPK_V7 v.3"},
        {p.windows.GenJpkVatDlg.get(), "TGenJpkVatDlg", "GenJpkVatDlg", "Nowy JPK_V7M"},
        {p.windows.GenFromTowixDlg.get(), "TGenFromTowixDlg", "GenFromTowixDlg", "Generuj dane z Towix..."},
        {p.windows.GenFromRejkoDlg.get(), "TGenFromRejkoDlg", "GenFromRejkoDlg",
         "Generuj dane z programu Rejko do JPK_KR"},
    };
    // The dialogs belong to the main window in the order they were created.
    QList<QDialog*> owned;
    for (QObject* child : p.Main()->children()) {
      if (auto* d = qobject_cast<QDialog*>(child)) owned << d;
    }
    QCOMPARE(owned.size(), 7);
    for (int i = 0; i < 7; ++i) {
      const Expected& e = expected[i];
      QVERIFY(e.dialog);
      QCOMPARE(owned[i], e.dialog);
      QCOMPARE(QString::fromLatin1(e.dialog->metaObject()->className()), QString::fromLatin1(e.className));
      QCOMPARE(e.dialog->objectName(), QString::fromLatin1(e.objectName));
      QCOMPARE(e.dialog->windowTitle(), QString::fromUtf8(e.caption));
      QVERIFY(e.dialog->isWindow());
      QVERIFY(!e.dialog->isVisible());
    }

    QComboBox* cb = p.windows.GenFromTowixDlg->cbToFormat();
    QCOMPARE(cb->objectName(), QStringLiteral("cbToFormat"));
    QVERIFY(cb->isEditable());
    QCOMPARE(cb->currentText(), QStringLiteral("do formatu"));
    QStringList items;
    for (int i = 0; i < cb->count(); ++i) items << cb->itemText(i);
    QCOMPARE(items, (QStringList{"JPK_FA", "JPK_MAG", "Wapro (Magik)", "Sage (Symfonia)", "Ramzes", "Buchalter"}));
  }

  void commandsFollowTheSourceFolders_data() {
    QTest::addColumn<QString>("folders");
    QTest::addColumn<QList<bool>>("enabled");  // in the order of kButtons
    QTest::newRow("no source folders") << QString() << QList<bool>{true, false, false, false, false, true};
    QTest::newRow("bookkeeping only") << QStringLiteral("RejkoDir=rejko\nNetFileDir=net\n")
                                      << QList<bool>{true, false, false, true, false, true};
    QTest::newRow("warehouse only") << QStringLiteral("KXDataDir=towix\nNetFileDir=net\n")
                                    << QList<bool>{true, true, true, false, true, true};
    QTest::newRow("register program only")
        << QStringLiteral("FolvoDir=folvo\nNetFileDir=net\n") << QList<bool>{true, false, false, false, false, true};
    QTest::newRow("all") << QStringLiteral("KXDataDir=towix\nRejkoDir=rejko\nNetFileDir=net\n")
                         << QList<bool>{true, true, true, true, true, true};
  }

  void commandsFollowTheSourceFolders() {
    QFETCH(QString, folders);
    QFETCH(QList<bool>, enabled);
    kxtest::TempDir dir;
    Program p(dir.Write("firma.ini", IniText(folders.toStdString())));
    QVERIFY(m_exitCodes.empty());
    p.Main()->show();
    for (int i = 0; i < 6; ++i) QVERIFY2(p.Button(kButtons[i])->isEnabled() == enabled[i], kButtons[i]);
  }

  void closingAsksFirst_data() {
    QTest::addColumn<QString>("answer");  // button text, or empty for Escape
    QTest::addColumn<bool>("closes");
    QTest::newRow("OK ends the program") << QStringLiteral("&OK") << true;
    QTest::newRow("Cancel keeps it running") << QStringLiteral("&Anuluj") << false;
    QTest::newRow("closing the box keeps it running") << QString() << false;
  }

  void closingAsksFirst() {
    QFETCH(QString, answer);
    QFETCH(bool, closes);
    kxtest::TempDir dir;
    Program p(dir.Write("firma.ini", IniText("")));
    p.Main()->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.Main()));

    auto seen = answer.isEmpty() ? kxtest::EscapeNextBox() : kxtest::AnswerNextBox(answer);
    const bool closed = p.Main()->close();
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("Pytanie"));
    QCOMPARE(seen->text, QStringLiteral("Zakończyć program?"));
    QCOMPARE(seen->buttons.size(), 2);
    QVERIFY(seen->buttons.contains(QStringLiteral("&OK")));
    QVERIFY(seen->buttons.contains(QStringLiteral("&Anuluj")));
    QCOMPARE(seen->defaultButton, QStringLiteral("&OK"));
    QCOMPARE(closed, closes);
    QCOMPARE(p.Main()->isVisible(), !closes);
  }

  void commandsOpenTheirDialogsModally_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("formatBefore");  // export dialog's box text before the command
    QTest::addColumn<QString>("formatShown");   // and while the dialog is shown
    // clang-format off
    QTest::newRow("JPK V7M") << "btnJPK_V7M" << "JpkVatDlg" << QString() << QString();
    QTest::newRow("JPK FA") << "btnJPK_FA" << "GenFromTowixDlg" << "Ramzes" << "JPK_FA";
    QTest::newRow("JPK MAG") << "btnJPK_MAG" << "GenFromTowixDlg" << "JPK_FA" << "JPK_MAG";
    QTest::newRow("JPK KR") << "btnJPK_KR" << "GenFromRejkoDlg" << QString() << QString();
    QTest::newRow("export keeps the last format")
        << "btnGenFromTowix" << "GenFromTowixDlg" << "Sage (Symfonia)" << "Sage (Symfonia)";
    QTest::newRow("converter") << "btnExchangeFormat" << "ExchFormatDlg" << QString() << QString();
    // clang-format on
  }

  void commandsOpenTheirDialogsModally() {
    QFETCH(QString, button);
    QFETCH(QString, dialog);
    QFETCH(QString, formatBefore);
    QFETCH(QString, formatShown);
    kxtest::TempDir dir;
    Program p(dir.Write("firma.ini", IniText("KXDataDir=towix\nRejkoDir=rejko\nNetFileDir=net\n")));
    p.Main()->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.Main()));
    QComboBox* cb = p.windows.GenFromTowixDlg->cbToFormat();
    if (!formatBefore.isEmpty()) cb->setCurrentText(formatBefore);

    QString shownName;
    QString shownFormat;
    bool modal = false;
    auto done = kxtest::OnNextModal<QDialog>([&](QDialog* d) {
      shownName = d->objectName();
      shownFormat = cb->currentText();
      modal = d->isModal();
      d->reject();
    });
    QTest::mouseClick(p.Main()->findChild<QPushButton*>(button), Qt::LeftButton);
    QVERIFY(done->done);
    QCOMPARE(shownName, dialog);
    QVERIFY(modal);
    if (!formatShown.isEmpty()) QCOMPARE(shownFormat, formatShown);
    // The dialog is hidden again, not destroyed, and the main window stays.
    QVERIFY(!p.Main()->findChild<QDialog*>(dialog)->isVisible());
    QVERIFY(p.Main()->isVisible());
    QVERIFY(m_exitCodes.empty());
  }

  void configurationErrorShowsMessageAfterCaptionAndEnds_data() {
    QTest::addColumn<bool>("writeIni");
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QString>("message");  // "%1" stands for the INI file's full name
    QTest::addColumn<QString>("firmName");
    QTest::newRow("missing file") << false << QString() << QStringLiteral("Brak pliku %1") << QString();
    QTest::newRow("missing mandatory key")
        << true << QStringLiteral("[System]\nNIP=1\nNazwa=Firma Łódź\nUSCode=1\nNazwaSystemu=x\n")
        << QStringLiteral("Brak pola: \"Email = \" w pliku konfiguracyjnym w sekcji: System")
        << QStringLiteral("Firma Łódź");
    QTest::newRow("data folder without network control folder")
        << true << QString::fromStdString(IniText("KXDataDir=towix\n"))
        << QStringLiteral("Brak wpisu NetFileDir w pliku %1") << QString::fromUtf8(kFirmName);
  }

  void configurationErrorShowsMessageAfterCaptionAndEnds() {
    QFETCH(bool, writeIni);
    QFETCH(QString, ini);
    QFETCH(QString, message);
    QFETCH(QString, firmName);
    kxtest::TempDir dir;
    const auto path = writeIni ? dir.Write("firma.ini", ini.toStdString()) : dir / "brak.ini";

    // What the main window shows at the moment the error box appears.
    QString captionAtBox;
    QString labelAtBox;
    auto seen = std::make_shared<kxtest::BoxSeen>();
    auto watch = kxtest::OnNextModal<QMessageBox>([&, seen](QMessageBox* box) {
      *seen = kxtest::Describe(box);
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* main = qobject_cast<TMainForm*>(w)) {
          captionAtBox = main->windowTitle();
          labelAtBox = main->findChild<QLabel*>(QStringLiteral("labFirmName"))->text();
        }
      }
      box->button(QMessageBox::Ok)->click();
    });
    kx::desktop::QtUserPort port;
    kx::AppContext ctx(port);
    auto windows = std::make_unique<kx::desktop::AppWindows>();
    windows->Create(ctx, {QCoreApplication::applicationFilePath().toStdString(), "/ini=" + path.string()});

    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("Błąd"));
    QCOMPARE(seen->text, QString(message).replace(QStringLiteral("%1"), QString::fromStdString(path.string())));
    QCOMPARE(seen->buttons, QStringList{QStringLiteral("&OK")});
    QCOMPARE(captionAtBox, ExpectedCaption());
    QCOMPARE(labelAtBox, firmName);
    QCOMPARE(m_exitCodes, std::vector<int>{1});
    QVERIFY(!QApplication::overrideCursor());
  }

  void unhandledExceptionShowsMessageAndEnds_data() {
    QTest::addColumn<bool>("fromClick");
    QTest::newRow("from a timer") << false;
    QTest::newRow("from a button of the window") << true;
  }

  void unhandledExceptionShowsMessageAndEnds() {
    QFETCH(bool, fromClick);
    kxtest::TempDir dir;
    Program p(dir.Write("firma.ini", IniText("")));
    p.Main()->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.Main()));
    auto fail = [] { throw kx::Error("Nie można otworzyć tabeli\r17_11WI"); };

    auto seen = kxtest::AnswerNextBox(QStringLiteral("&OK"));
    if (fromClick) {
      auto* extra = new QPushButton(QStringLiteral("x"), p.Main());
      extra->show();
      connect(extra, &QPushButton::clicked, this, fail);
      QTest::mouseClick(extra, Qt::LeftButton);
    } else {
      QTimer::singleShot(0, this, fail);
      QTRY_VERIFY(!m_exitCodes.empty());
    }
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("Błąd"));
    QCOMPARE(seen->text, QStringLiteral("Nie można otworzyć tabeli\n17_11WI"));
    QCOMPARE(m_exitCodes, std::vector<int>{1});
  }

  void programEndsWithCode1WhenConfigurationIsMissing_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("fileInMessage");  // relative to the working folder
    QTest::newRow("full name") << QStringLiteral("/ini=%1/cfg/firma.txt") << QStringLiteral("cfg/firma.ini");
    QTest::newRow("bare name in the working folder") << QStringLiteral("/ini=firma") << QStringLiteral("firma.ini");
  }

  void programEndsWithCode1WhenConfigurationIsMissing() {
    QFETCH(QString, argument);
    QFETCH(QString, fileInMessage);
    kxtest::TempDir dir;
    const QString work = QString::fromStdString(dir.Path().string());
    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KX_NO_MODAL_ERRORS"), QStringLiteral("1"));
    proc.setProcessEnvironment(env);
    proc.setWorkingDirectory(work);
    proc.start(QStringLiteral(KX_DESKTOP_PATH), {QString(argument).replace(QStringLiteral("%1"), work)});
    QVERIFY(proc.waitForFinished(60000));
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), 1);
    const QString err = QString::fromUtf8(proc.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("Brak pliku ") + work + QLatin1Char('/') + fileInMessage + QLatin1Char('\n')),
             qPrintable(err));
  }

 private:
  std::vector<int> m_exitCodes;
};

int main(int argc, char** argv) {
  kx::desktop::Application app(argc, argv);
  // Closing the main window must not end the test's later event loops.
  app.setQuitOnLastWindowClosed(false);
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
