// The export dialog: its controls and start state, the hint without a format,
// the choice of output by the format text, and "&Generuj" on real warehouse
// tables: the save question and dialog, the month kept, a failure shown
// without ending the program.

#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <string>

#include "app/ui/MainUnit.h"
#include "export/ui/GenFromTowix.h"
#include "fixtures/warehouse_fixture.h"
#include "qt_test_helpers.h"
#include "qt_user_port.h"
#include "support/jpk_schema.h"
#include "support/temp_dir.h"

using namespace kxtest;

namespace {

// One invoice of November 2026 and its register row.
WarehouseMonth OneInvoice() {
  WarehouseMonth m;
  m.docs = {{.type = 0, .number = 1, .name = "FV 1/11/2026"}};
  m.rows = {{.type = 0, .number = 1, .quantity = 2, .price = 50, .vat = 23}};
  m.reg = {{.cls = 0, .number = 1, .value22 = 100, .tax22 = 23, .value = 123, .totalTax = 23, .costValue = 70}};
  return m;
}

struct Program {
  Program() {
    WarehouseSettings(ctx.AppSettings, dir.Path());
    WarehouseFirmAddress(ctx.AppSettings);
    ctx.AppSettings.CurDate = {2026, 10, 17};
    dlg = std::make_unique<TGenFromTowixDlg>(ctx);
  }

  template <class W>
  W* Get(const char* name) const {
    W* w = dlg->findChild<W*>(QLatin1String(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }

  // Shows the dialog modally, sets the month and the format text and presses
  // "&Generuj"; the chain answers what comes after.
  int Run(const QDate& month, const QString& format, ModalChain* after = nullptr) {
    auto watch = OnNextModal<TGenFromTowixDlg>([&](TGenFromTowixDlg* d) {
      d->dtp()->setDate(month);
      d->cbToFormat()->setEditText(format);
      if (after) after->Start();
      QTest::mouseClick(d->findChild<QPushButton*>("btnDoIt"), Qt::LeftButton);
    });
    const int result = dlg->exec();
    if (!watch->done) qFatal("the dialog was not shown");
    return result;
  }

  TempDir dir;
  kx::desktop::QtUserPort port;
  kx::AppContext ctx{port};
  std::unique_ptr<TGenFromTowixDlg> dlg;
};

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

class GenFromTowixDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("KX_NO_MODAL_ERRORS"); }

  void controlsAndStartState() {
    Program p;
    QCOMPARE(p.dlg->windowTitle(), QStringLiteral("Generuj dane z Towix..."));
    QVERIFY(p.dlg->isModal());
    QCOMPARE(p.Get<QLabel>("labPeriod")->text(), QStringLiteral("Za okres:"));
    auto* dtp = p.Get<QDateEdit>("dtp");
    QCOMPARE(dtp->date(), QDate(2026, 10, 1));
    QCOMPARE(dtp->displayFormat(), QStringLiteral("MMMM yyyy"));
    QCOMPARE(dtp->text(), QStringLiteral("październik 2026"));
    auto* box = p.Get<QComboBox>("cbToFormat");
    QVERIFY(box->isEditable());
    QCOMPARE(box->currentText(), QStringLiteral("do formatu"));
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    QCOMPARE(items, (QStringList{"JPK_FA", "JPK_MAG", "Wapro (Magik)", "Sage (Symfonia)", "Ramzes", "Buchalter"}));
    QCOMPARE(p.Get<QPushButton>("btnDoIt")->text(), QStringLiteral("&Generuj"));
  }

  void withoutAFormatTheDialogStaysOpen() {
    Program p;
    QString hint;
    bool stillOpen = false, focused = false;
    auto watch = OnNextModal<TGenFromTowixDlg>([&](TGenFromTowixDlg* d) {
      auto box = AnswerNextBox(QStringLiteral("OK"));
      QTest::mouseClick(d->findChild<QPushButton*>("btnDoIt"), Qt::LeftButton);
      hint = box->text;
      stillOpen = d->isVisible();
      focused = d->focusWidget() == d->cbToFormat();
      d->reject();
    });
    QCOMPARE(p.dlg->exec(), int(QDialog::Rejected));
    QCOMPARE(hint, QStringLiteral("Nie wybrano formatu w jakim mają być wygenerowane dane"));
    QVERIFY(stillOpen);
    QVERIFY(focused);
  }

  void jpkFaIsSavedWhereTheUserSaysAndTheMonthIsKept() {
    Program p;
    OneInvoice().Write(p.dir.Path());
    const auto file = p.dir.Path() / "faktury.xml";
    ModalChain chain;
    chain.Box(QStringLiteral("&Tak")).Then<QFileDialog>([&](QFileDialog* d) { ChooseFile(d, Q(file)); });
    QCOMPARE(p.Run(QDate(2026, 11, 1), QStringLiteral("JPK_FA"), &chain), int(QDialog::Accepted));
    QCOMPARE(chain.texts, QStringList{QStringLiteral("Zapisać wygenerowany plik?")});
    QVERIFY(std::filesystem::exists(file));
    QCOMPARE(QString::fromStdString(SchemaErrors(file)), QString());
    // The month goes back into CurDate; the next opening shows it.
    QVERIFY((p.ctx.AppSettings.CurDate == kx::tables::Date{2026, 11, 1}));
    QCOMPARE(p.dlg->cbToFormat()->currentText(), QStringLiteral("JPK_FA"));
    QCOMPARE(p.dlg->dtp()->date(), QDate(2026, 11, 1));
  }

  void aFailureIsShownAndTheProgramGoesOn() {
    Program p;
    WarehouseMonth m = OneInvoice();
    // A correction of an invoice that is not in the table.
    m.docs.push_back({.type = 1,
                      .number = 2,
                      .name = "KOR 2/11/2026",
                      .masterType = 0,
                      .masterYear = 2026,
                      .masterMagId = 1,
                      .masterNumber = 17});
    m.rows.push_back({.type = 1, .number = 2, .quantity = -1, .price = 50, .vat = 23});
    m.reg.push_back({.cls = 1, .number = 2, .value22 = -50, .tax22 = -11.5, .value = -61.5, .totalTax = -11.5});
    m.Write(p.dir.Path());
    auto error = AnswerNextBox(QStringLiteral("OK"));
    QCOMPARE(p.Run(QDate(2026, 11, 1), QStringLiteral("JPK_FA")), int(QDialog::Accepted));
    QCOMPARE(error->title, QStringLiteral("Błąd"));
    QCOMPARE(error->text, QStringLiteral("KOR 2/11/2026  > brak dokumentu korygowanego o nr: 17"));
    QVERIFY(!p.ctx.Session.Active());
  }

  void theFormatTextChoosesTheOutput() {
    Program p;
    OneInvoice().Write(p.dir.Path());
    // Unknown text: the tables are opened and closed, nothing is asked.
    QCOMPARE(p.Run(QDate(2026, 11, 1), QStringLiteral("XYZ")), int(QDialog::Accepted));
    QVERIFY(!p.ctx.Session.Active());
    // "Buchalter": only the message.
    auto later = AnswerNextBox(QStringLiteral("OK"));
    QCOMPARE(p.Run(QDate(2026, 11, 1), QStringLiteral("Buchalter")), int(QDialog::Accepted));
    QCOMPARE(later->text, QStringLiteral("w trakcie realizacji"));
    // Any text with "wapro", whatever the letter case: the Wapro output, its
    // count and its save question.
    ModalChain chain;
    chain.Box(QStringLiteral("OK")).Box(QStringLiteral("&Nie"));
    QCOMPARE(p.Run(QDate(2026, 11, 1), QStringLiteral("mój wapro"), &chain), int(QDialog::Accepted));
    QCOMPARE(chain.texts, (QStringList{QStringLiteral("Wygenerowano plik zawierający dokumentów: 1"),
                                       QStringLiteral("Zapisać wygenerowany plik?")}));
  }

  void everyControlIsInsideTheWindow() {
    Program p;
    p.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.dlg.get()));
    const QImage image = p.dlg->grab().toImage();
    for (QWidget* w : p.dlg->findChildren<QWidget*>()) {
      if (!w->isVisible() || !w->parentWidget() || w->parentWidget() != p.dlg.get()) continue;
      const QRect r(w->mapTo(p.dlg.get(), QPoint(0, 0)), w->size());
      QVERIFY2(p.dlg->rect().contains(r), qPrintable(w->objectName()));
    }
    const QString target = qEnvironmentVariable("KX_GEN_FROM_TOWIX_PNG");
    if (!target.isEmpty()) QVERIFY(image.save(target, "PNG"));
    p.dlg->hide();
  }
};

QTEST_MAIN(GenFromTowixDlgTest)
#include "gen_from_towix_dlg_test.moc"
