// The receipt sales dialog: its fields, the key filter of the amount fields,
// the live totals, the rate checks before "&Zapisz", and the command of the
// editor that finds or creates the receipt record.

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "application.h"
#include "app_windows.h"
#include "app/ui/MainUnit.h"
#include "editor/ui/JpkVat3u.h"
#include "editor/ui/ParagDlg.h"
#include "editor/v7m_editor.h"
#include "fixtures/v7m_fixture.h"
#include "qt_test_helpers.h"
#include "qt_user_port.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using kxtest::Sale;
using kxtest::SaleCtrl;
using kxtest::V7MFile;

namespace {

using kxtest::ModalChain;

struct Program {
  kxtest::TempDir dir;
  kx::desktop::QtUserPort port;
  kx::AppContext ctx{port};
  kx::desktop::AppWindows windows;

  Program() {
    const fs::path ini = dir.Write("firma.ini",
                                   "[System]\nNIP=7270120002\nNazwa=Hurtownia Żuraw\nEmail=biuro@zuraw.pl\n"
                                   "USCode=1009\nNazwaSystemu=kx2jpk\n");
    windows.Create(ctx, {QCoreApplication::applicationFilePath().toStdString(), "/ini=" + ini.string()});
    port.SetMainWindow(windows.MainForm.get());
    ctx.AppSettings.CurDate = {2026, 2, 10};
  }
  TParagonDlg* Dlg() const { return windows.ParagonDlg.get(); }
  QLineEdit* Ed(const char* name) const {
    auto* e = Dlg()->findChild<QLineEdit*>(QLatin1String(name));
    if (!e) qFatal("no field %s", name);
    return e;
  }
  QString Text(const char* name) const { return Ed(name)->text(); }
  void Click(const char* name) const {
    QTest::mouseClick(Dlg()->findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
  }
  // Shown without its own event loop, with the given amounts.
  void ShowWith(const kx::editor::ReceiptFields& fields) {
    Dlg()->SetFields(fields);
    Dlg()->show();
  }
};

kx::editor::ReceiptFields Rate23(const std::string& net, const std::string& tax) {
  kx::editor::ReceiptFields f;
  f.document = "Raport fiskalny okresowy";
  f.net23 = net;
  f.tax23 = tax;
  return f;
}

}  // namespace

class ParagonDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("KX_NO_MODAL_ERRORS"); }

  void fieldsAndLabels() {
    Program p;
    TParagonDlg* d = p.Dlg();
    QCOMPARE(d->windowTitle(), QStringLiteral("Sprzedaż paragonowa"));
    const QStringList buttons{d->findChild<QPushButton*>(QStringLiteral("btnOK"))->text(),
                              d->findChild<QPushButton*>(QStringLiteral("btnCancel"))->text()};
    QCOMPARE(buttons, (QStringList{QStringLiteral("&Zapisz"), QStringLiteral("Anuluj")}));
    for (const char* name : {"edSumVAT", "edTotal", "edDiffV23", "edDiffV8", "edDiffV5"}) {
      QVERIFY2(p.Ed(name)->isReadOnly(), name);
    }
    // Showing the dialog computes the totals and puts the focus on the document number.
    p.ShowWith(Rate23("100", "23"));
    QCOMPARE(p.Text("edTotal"), QStringLiteral("123"));
    QCOMPARE(d->focusWidget(), p.Ed("edDowodSprzedazy"));
  }

  void keyFilterOfTheAmountFields_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::newRow("comma becomes the point") << "" << 0 << "12,5"
                                             << "12.5";
    QTest::newRow("second separator refused") << "1.5" << 3 << ",.7"
                                              << "1.57";
    QTest::newRow("letters and blanks refused") << "" << 0 << "1a b%2"
                                                << "12";
    QTest::newRow("leading minus") << "" << 0 << "-7"
                                   << "-7";
    QTest::newRow("minus only at the start") << "7" << 1 << "-"
                                             << "7";
    QTest::newRow("one minus only") << "-7" << 0 << "-"
                                    << "-7";
    QTest::newRow("minus put in front") << "7" << 0 << "-"
                                        << "-7";
  }
  void keyFilterOfTheAmountFields() {
    QFETCH(QString, start);
    QFETCH(int, caret);
    QFETCH(QString, typed);
    QFETCH(QString, result);
    Program p;
    p.ShowWith({});
    for (const char* name : {"edNet23", "edTax8", "edValueFree"}) {
      QLineEdit* e = p.Ed(name);
      e->setText(start);
      e->setCursorPosition(caret);
      QTest::keyClicks(e, typed);
      QCOMPARE(e->text(), result);
    }
    // Backspace and the document number are not filtered.
    p.Ed("edNet23")->end(false);
    QTest::keyClick(p.Ed("edNet23"), Qt::Key_Backspace);
    QCOMPARE(p.Text("edNet23"), result.left(result.size() - 1));
    QTest::keyClicks(p.Ed("edDowodSprzedazy"), QStringLiteral(" nr 2,a"));
    QCOMPARE(p.Text("edDowodSprzedazy"), QStringLiteral(" nr 2,a"));
  }

  void totalsFollowTheTyping() {
    Program p;
    p.ShowWith({});
    QTest::keyClicks(p.Ed("edNet23"), QStringLiteral("100"));
    QTest::keyClicks(p.Ed("edTax23"), QStringLiteral("24"));
    QCOMPARE(p.Text("edDiffV23"), QStringLiteral("1"));
    QCOMPARE(p.Text("edDiffV8"), QStringLiteral("0"));
    QTest::keyClicks(p.Ed("edNet8"), QStringLiteral("12,5"));
    QTest::keyClicks(p.Ed("edTax8"), QStringLiteral("1"));
    QTest::keyClicks(p.Ed("edValue0"), QStringLiteral("10"));
    QTest::keyClicks(p.Ed("edValueFree"), QStringLiteral("0,25"));
    QCOMPARE(p.Text("edSumVAT"), QStringLiteral("25"));
    QCOMPARE(p.Text("edTotal"), QStringLiteral("147.75"));
    QCOMPARE(p.Text("edDiffV8"), QStringLiteral("0"));
    // A lone minus sign is not a number yet: no totals, no failure.
    QTest::keyClicks(p.Ed("edNet5"), QStringLiteral("-"));
    QVERIFY(p.Text("edTotal").isEmpty());
    QTest::keyClicks(p.Ed("edNet5"), QStringLiteral("5"));
    QCOMPARE(p.Text("edTotal"), QStringLiteral("142.75"));
  }

  void rateChecksBeforeClosing_data() {
    QTest::addColumn<QString>("net8");
    QTest::addColumn<QString>("tax8");
    QTest::addColumn<QString>("answer");  // to the question, empty: none expected
    QTest::addColumn<QString>("error");   // empty: the dialog closes
    QTest::addColumn<QString>("focus");
    QTest::newRow("tax without net") << ""
                                     << "8"
                                     << ""
                                     << "Brak wartości netto w stawce 8%"
                                     << "edNet8";
    QTest::newRow("net without tax") << "100"
                                     << ""
                                     << ""
                                     << "Brak wartości podatku w stawce 8%"
                                     << "edTax8";
    QTest::newRow("too far, refused") << "100"
                                      << "9"
                                      << "&Nie"
                                      << "Wartość spoza zakresu"
                                      << "edTax8";
    QTest::newRow("too far, accepted") << "100"
                                       << "9"
                                       << "&Tak"
                                       << ""
                                       << "";
    QTest::newRow("within one per cent") << "1000"
                                         << "80.5"
                                         << ""
                                         << ""
                                         << "";
    QTest::newRow("small net passes") << "0.50"
                                      << "7"
                                      << ""
                                      << ""
                                      << "";
    QTest::newRow("not a number") << "100"
                                  << "-"
                                  << ""
                                  << "-"
                                  << "";
  }
  void rateChecksBeforeClosing() {
    QFETCH(QString, net8);
    QFETCH(QString, tax8);
    QFETCH(QString, answer);
    QFETCH(QString, error);
    QFETCH(QString, focus);
    Program p;
    kx::editor::ReceiptFields f = Rate23("100", "23");
    f.net8 = net8.toStdString();
    f.tax8 = tax8.toStdString();
    p.ShowWith(f);
    ModalChain boxes;
    if (!answer.isEmpty()) boxes.Box(answer);
    if (!error.isEmpty()) boxes.Box(QStringLiteral("&OK"));
    boxes.Start();
    p.Click("btnOK");
    QStringList expected;
    if (!answer.isEmpty()) {
      expected << QStringLiteral(
          "Podatek w stawce 8% wynoszący: 9.00\nzbyt różni się od wyliczonego: 8.00\nRóżnica: 1.00\nZaakceptować?");
    }
    if (!error.isEmpty() && error != QStringLiteral("-")) expected << error;
    if (error == QStringLiteral("-")) {
      // The conversion message of the system, whatever its words.
      QCOMPARE(boxes.texts.size(), 1);
    } else {
      QCOMPARE(boxes.texts, expected);
    }
    if (!answer.isEmpty()) QCOMPARE(boxes.defaults.first(), QStringLiteral("&Nie"));
    QCOMPARE(p.Dlg()->isVisible(), !error.isEmpty());
    if (error.isEmpty()) QCOMPARE(p.Dlg()->result(), int(QDialog::Accepted));
    if (!focus.isEmpty()) QCOMPARE(p.Dlg()->focusWidget(), p.Ed(qPrintable(focus)));
    // Cancel always closes.
    if (p.Dlg()->isVisible()) {
      p.Click("btnCancel");
      QVERIFY(!p.Dlg()->isVisible());
    }
  }

  void editorCommandCreatesOrFindsTheReceiptRecord() {
    Program p;
    TJpkVatDlg* editor = p.windows.JpkVatDlg.get();
    editor->show();
    const fs::path file = p.dir.Write(
        "luty.xml",
        V7MFile(Sale(1, "<TypDokumentu>FP</TypDokumentu><K_19>100</K_19><K_20>23</K_20>") + SaleCtrl(1, "23")));
    ModalChain open;
    open.Then<QFileDialog>([&](QFileDialog* d) { kxtest::ChooseFile(d, QString::fromStdString(file.string())); })
        .Start();
    QTest::mouseClick(editor->findChild<QPushButton*>(QStringLiteral("btnOpenJPK")), Qt::LeftButton);
    QCOMPARE(open.Done(), size_t(1));
    auto lines = [&] { return editor->findChild<QLineEdit*>(QStringLiteral("edSaleLinesCount"))->text(); };
    QCOMPARE(lines(), QStringLiteral("1"));
    const QString captionBefore = editor->windowTitle();
    QPushButton* command = editor->findChild<QPushButton*>(QStringLiteral("btnAddParagonSale"));

    // Cancel on a new record leaves the document as it was.
    ModalChain cancel;
    cancel.Box(QStringLiteral("&Tak")).Then<TParagonDlg>([](TParagonDlg* d) { d->reject(); }).Start();
    QTest::mouseClick(command, Qt::LeftButton);
    QCOMPARE(cancel.Done(), size_t(2));
    QCOMPARE(cancel.texts, QStringList{QStringLiteral("Brak wpisu ze sprzedażą paragonową.\nUtworzyć taką pozycję?")});
    QCOMPARE(lines(), QStringLiteral("1"));
    QCOMPARE(editor->windowTitle(), captionBefore);

    // "&Zapisz" writes the record at the top and renumbers.
    QString shownNumber;
    ModalChain add;
    add.Box(QStringLiteral("&Tak"))
        .Then<TParagonDlg>([&](TParagonDlg* d) {
          shownNumber = d->findChild<QLineEdit*>(QStringLiteral("edDowodSprzedazy"))->text();
          QTest::keyClicks(d->findChild<QLineEdit*>(QStringLiteral("edNet23")), QStringLiteral("1000"));
          QTest::keyClicks(d->findChild<QLineEdit*>(QStringLiteral("edTax23")), QStringLiteral("230"));
          QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        })
        .Start();
    QTest::mouseClick(command, Qt::LeftButton);
    QCOMPARE(add.Done(), size_t(2));
    QCOMPARE(shownNumber, QStringLiteral("Raport fiskalny okresowy"));
    QCOMPARE(lines(), QStringLiteral("2"));
    // The "FP" invoice stays out of the control sum.
    QCOMPARE(editor->findChild<QLineEdit*>(QStringLiteral("edSaleTaxSum"))->text(), QStringLiteral("230"));

    // The second time the record is found: no question, its amounts are shown.
    QString shownNet;
    ModalChain again;
    again
        .Then<TParagonDlg>([&](TParagonDlg* d) {
          shownNet = d->findChild<QLineEdit*>(QStringLiteral("edNet23"))->text();
          d->reject();
        })
        .Start();
    auto noQuestion = kxtest::AnswerNextBox(QString());
    QTest::mouseClick(command, Qt::LeftButton);
    QCOMPARE(again.Done(), size_t(1));
    QVERIFY(!noQuestion->seen);
    QCOMPARE(shownNet, QStringLiteral("1000"));
    QCOMPARE(lines(), QStringLiteral("2"));
    noQuestion.reset();
    // Closing the editor: the changes are offered for saving.
    ModalChain close;
    close.Box(QStringLiteral("&Nie")).Start();
    editor->reject();
    QCOMPARE(close.texts, QStringList{QStringLiteral("Zapisać dokonane zmiany?")});
  }

  // A picture of the dialog for the documentation, only when asked for with
  // KX_SCREENSHOT_DIR (run under a real display for the title bar).
  void screenshots() {
    const QString out = qEnvironmentVariable("KX_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("KX_SCREENSHOT_DIR not set");
    Program p;
    kx::editor::ReceiptFields f = Rate23("4065.04", "934.96");
    f.net8 = "925.93";
    f.tax8 = "74.05";
    f.net5 = "190.48";
    f.tax5 = "9.52";
    f.exempt = "120";
    p.Dlg()->move(40, 40);
    p.ShowWith(f);
    p.Dlg()->activateWindow();
    QTest::qWait(400);
    QPixmap pix;
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
      const QRect r = p.Dlg()->frameGeometry();
      pix = p.Dlg()->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
    } else {
      pix = p.Dlg()->grab();
    }
    QVERIFY(pix.save(out + QStringLiteral("/paragon.png")));
  }
};

int main(int argc, char** argv) {
  kx::desktop::Application app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  ParagonDlgTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "paragon_dlg_test.moc"
