// The JPK_V7M editor window: opening a file and what it shows (values, the
// two tax checks, bold and enabling rules), the caption with "*", the
// new-or-link question, the declaration command with its money-green and
// refund warning, the refund and P_59 controls, the make command, closing.

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QTreeWidget>
#include <QUndoStack>
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
#include "editor/ui/LinkAskDlg.h"
#include "editor/ui/RecordModel.h"
#include "editor/ui/RecordsPanel.h"
#include "jpk/v7m/v7m_records.h"
#include "editor/v7m_editor.h"
#include "fixtures/v7m_fixture.h"
#include "generate/ui/GenJpkVat.h"
#include "generate/v7m_generate.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "platform/xml/xml_document.h"
#include "qt_test_helpers.h"
#include "qt_user_port.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using kxtest::Declaration;
using kxtest::Purchase;
using kxtest::PurchaseCtrl;
using kxtest::Sale;
using kxtest::SaleCtrl;
using kxtest::V7MFile;

namespace {

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

using kxtest::ModalChain;

using kxtest::ChooseFile;

std::string IniText() {
  return "[System]\nNIP=7270120002\nNazwa=Hurtownia Żuraw\nEmail=biuro@zuraw.pl\nUSCode=1009\n"
         "NazwaSystemu=kx2jpk\n";
}

// Records: one sale (tax 23) and one purchase (tax 230).
const std::string kRecords = Sale(1, "<K_19>100</K_19><K_20>23</K_20>") + SaleCtrl(1, "23") +
                             Purchase(1, "<K_42>1000</K_42><K_43>230</K_43>") + PurchaseCtrl(1, "230");

struct Program {
  kxtest::TempDir dir;
  kx::desktop::QtUserPort port;
  kx::AppContext ctx{port};
  kx::desktop::AppWindows windows;

  Program() {
    windows.Create(ctx, {QCoreApplication::applicationFilePath().toStdString(),
                         "/ini=" + dir.Write("firma.ini", IniText()).string()});
    port.SetMainWindow(windows.MainForm.get());
    ctx.AppSettings.SaveDir = dir.Path().string() + "/";
    ctx.AppSettings.CurDate = {2026, 2, 10};
    Dlg()->show();
  }
  TJpkVatDlg* Dlg() const { return windows.JpkVatDlg.get(); }
  template <class W = QLineEdit>
  W* Get(const char* name) const {
    W* w = Dlg()->findChild<W*>(QLatin1String(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }
  QString Text(const char* name) const { return Get(name)->text(); }
  QColor Color(const char* name) const { return Get(name)->palette().color(QPalette::Base); }
  void Click(const char* name) const { QTest::mouseClick(Get<QPushButton>(name), Qt::LeftButton); }
  // The open command with the file chosen in the open dialog; chain holds
  // the further steps after the file dialog.
  void Open(const fs::path& file) {
    ModalChain chain;
    chain.Then<QFileDialog>([&](QFileDialog* d) { ChooseFile(d, Q(file)); }).Start();
    Click("btnOpenJPK");
    QVERIFY(chain.Done() == 1);
  }
  // A declaration calculation with the typed values.
  void Type(const char* name, const QString& text) {
    QLineEdit* e = Get(name);
    e->clear();
    QTest::keyClicks(e, text);
  }
};

}  // namespace

class JpkVatDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("KX_NO_MODAL_ERRORS"); }

  void windowStartsEmptyWithItsControls() {
    Program p;
    TJpkVatDlg* w = p.Dlg();
    QCOMPARE(w->windowTitle(), QStringLiteral("JPK_V7 v.3"));
    // The window can be resized: the records grid takes the space below.
    QVERIFY(w->maximumSize().height() > w->minimumSize().height());
    QVERIFY(w->minimumSize().height() <= 600);
    QVERIFY(p.Get<QPushButton>("btnOpenJPK")->isDefault());
    for (const char* name : {"btnAddParagonSale", "btnRecalcDeclaration", "btnClearDeclaration"}) {
      QVERIFY2(!p.Get<QPushButton>(name)->isEnabled(), name);
    }
    for (const char* name : {"gbEwidencja", "gbDeklaracja", "gbNadwyzkaPodatku"}) {
      QVERIFY2(!p.Get<QGroupBox>(name)->isEnabled(), name);
    }
    QCOMPARE(p.Get<QGroupBox>("gbDeklaracja")->title(),
             QStringLiteral("Deklaracja - brak części deklaracyjnej w pliku JPK_V7"));
    for (const char* name : {"rbZwrot540", "rbZwrot55", "rbZwrot56", "rbZwrot560", "rbZwrot58"}) {
      QVERIFY2(!p.Get<QRadioButton>(name)->isEnabled(), name);
    }
    // Every field lies inside the window (tall enough for the fields and
    // the grid; on a lower screen the fields scroll) and has its label.
    w->resize(1300, 1300);
    w->findChild<QSplitter*>(QStringLiteral("splitRecords"))->setSizes({1000, 300});
    QApplication::processEvents();
    for (QLineEdit* e : w->findChildren<QLineEdit*>()) {
      QVERIFY2(w->rect().contains(QRect(e->mapTo(w, QPoint(0, 0)), e->size())), qPrintable(e->objectName()));
    }
  }

  void makeIsEnabledWhenASourceProgramIsConfigured_data() {
    QTest::addColumn<QString>("warehouse");
    QTest::addColumn<QString>("bookkeeping");
    QTest::addColumn<QString>("registers");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("none") << ""
                          << ""
                          << "" << false;
    QTest::newRow("warehouse") << "kx/"
                               << ""
                               << "" << true;
    QTest::newRow("bookkeeping") << ""
                                 << "rejko/"
                                 << "" << true;
    QTest::newRow("register") << ""
                              << ""
                              << "folvo/" << true;
  }
  void makeIsEnabledWhenASourceProgramIsConfigured() {
    QFETCH(QString, warehouse);
    QFETCH(QString, bookkeeping);
    QFETCH(QString, registers);
    QFETCH(bool, enabled);
    Program p;
    p.Dlg()->hide();
    p.ctx.AppSettings.KXDataDir = warehouse.toStdString();
    p.ctx.AppSettings.RejkoDir = bookkeeping.toStdString();
    p.ctx.AppSettings.FolvoDir = registers.toStdString();
    p.Dlg()->show();
    QCOMPARE(p.Get<QPushButton>("btnMakeJPK")->isEnabled(), enabled);
  }

  void openShowsValuesOfTheFile() {
    Program p;
    const fs::path file = p.dir.Write(
        "luty.xml",
        V7MFile(kRecords, Declaration("<P_37>100</P_37><P_38>23</P_38><P_40>50</P_40><P_42>1000</P_42>"
                                      "<P_48>230</P_48><P_51>0</P_51><P_53>207</P_53><P_62>207</P_62>"
                                      "<P_68>-10</P_68><P_69>-2</P_69><P_ORDZU>Błąd w fakturze</P_ORDZU>")));
    p.Open(file);
    QCOMPARE(p.Text("edNIP"), QStringLiteral("7270120002"));
    QCOMPARE(p.Text("edGenDate"), QStringLiteral("2026-03-02T09:05:07"));
    QCOMPARE(p.Text("edDateRange"), QStringLiteral("2026-02"));
    QCOMPARE(p.Text("edSaleLinesCount"), QStringLiteral("1"));
    QCOMPARE(p.Text("edSaleTaxSum"), QStringLiteral("23"));
    QCOMPARE(p.Text("edBuyLinesCount"), QStringLiteral("1"));
    QCOMPARE(p.Text("edBuyTaxSum"), QStringLiteral("230"));
    QCOMPARE(p.Get<QGroupBox>("gbDeklaracja")->title(), QStringLiteral("Deklaracja"));
    QCOMPARE(p.Text("edP37"), QStringLiteral("100"));
    QCOMPARE(p.Text("edP38"), QStringLiteral("23"));
    QCOMPARE(p.Text("edP40Plus42"), QStringLiteral("1050"));
    QCOMPARE(p.Text("edP48"), QStringLiteral("230"));
    QCOMPARE(p.Text("edP53"), QStringLiteral("207"));
    QCOMPARE(p.Text("edP62"), QStringLiteral("207"));
    QCOMPARE(p.Text("edP68"), QStringLiteral("-10"));
    QCOMPARE(p.Text("edP69"), QStringLiteral("-2"));
    QCOMPARE(p.Text("edORDZU"), QStringLiteral("Błąd w fakturze"));
    QVERIFY(p.Get("edP62")->font().bold());
    QVERIFY(p.Get("edP38")->font().bold());
    QVERIFY(!p.Get("edP51")->font().bold());
    QVERIFY(!p.Get<QGroupBox>("gbEwidencja")->isEnabled());
    QVERIFY(p.Get<QGroupBox>("gbDeklaracja")->isEnabled());
    QVERIFY(p.Get<QPushButton>("btnClearDeclaration")->isEnabled());
    QVERIFY(p.Get<QPushButton>("btnAddParagonSale")->isEnabled());
    // An up-to-date file is not modified: no "*".
    QCOMPARE(p.Dlg()->windowTitle(), Q(file) + QStringLiteral(" - Kalvor JPK"));
    QCOMPARE(p.Get("edP38")->toolTip(),
             QStringLiteral("podatek w deklaracji: 23, podatek w ewidencji: 23.00 (różnica: 0.00)"));
  }

  void taxChecksColourAndEnableTheFields_data() {
    QTest::addColumn<QString>("positions");
    QTest::addColumn<bool>("red38");
    QTest::addColumn<bool>("red48");
    QTest::addColumn<QString>("hint48");
    QTest::addColumn<bool>("p49Enabled");
    QTest::addColumn<bool>("p51Bold");
    QTest::addColumn<bool>("refundEnabled");
    QTest::newRow("both agree, excess of input tax")
        << "<P_38>23</P_38><P_48>230</P_48><P_51>0</P_51><P_53>207</P_53>" << false << false
        << "podatek w deklaracji (bez nadwyżki z poprzedniego m-ca): 230, podatek w ewidencji: 230.00 (różnica: 0.00)"
        << false << false << true;
    QTest::newRow("one złoty apart")
        << "<P_38>24</P_38><P_48>229</P_48><P_51>0</P_51><P_53>205</P_53>" << true << true
        << "podatek w deklaracji (bez nadwyżki z poprzedniego m-ca): 229, podatek w ewidencji: 230.00 (różnica: -1.00)"
        << false << false << true;
    QTest::newRow("excess of the previous period is left out")
        << "<P_38>23</P_38><P_39>100</P_39><P_48>330</P_48><P_51>0</P_51><P_53>307</P_53>" << false << false
        << "podatek w deklaracji (bez nadwyżki z poprzedniego m-ca): 230, podatek w ewidencji: 230.00 (różnica: 0.00)"
        << false << false << true;
    QTest::newRow("tax to pay")
        << "<P_38>500</P_38><P_48>230</P_48><P_51>270</P_51><P_53>0</P_53>" << true << false
        << "podatek w deklaracji (bez nadwyżki z poprzedniego m-ca): 230, podatek w ewidencji: 230.00 (różnica: 0.00)"
        << true << true << false;
  }
  void taxChecksColourAndEnableTheFields() {
    QFETCH(QString, positions);
    QFETCH(bool, red38);
    QFETCH(bool, red48);
    QFETCH(QString, hint48);
    QFETCH(bool, p49Enabled);
    QFETCH(bool, p51Bold);
    QFETCH(bool, refundEnabled);
    Program p;
    p.Open(p.dir.Write("luty.xml", V7MFile(kRecords, Declaration(positions.toStdString()))));
    QCOMPARE(p.Color("edP38"), red38 ? TJpkVatDlg::CheckRedColor() : TJpkVatDlg::FaceColor());
    QCOMPARE(p.Color("edP48"), red48 ? TJpkVatDlg::CheckRedColor() : TJpkVatDlg::FaceColor());
    QCOMPARE(p.Get("edP48")->toolTip(), hint48);
    QCOMPARE(p.Get("edP49")->isEnabled(), p49Enabled);
    QCOMPARE(p.Get("edP50")->isEnabled(), p49Enabled);
    QCOMPARE(p.Get("edP51")->font().bold(), p51Bold);
    QCOMPARE(p.Get<QGroupBox>("gbNadwyzkaPodatku")->isEnabled(), refundEnabled);
    QCOMPARE(p.Get("edP54")->isEnabled(), refundEnabled);
    QCOMPARE(p.Get<QCheckBox>("cbP59")->isEnabled(), refundEnabled);
  }

  void fileWithoutDeclarationOrRecords() {
    Program p;
    p.Open(p.dir.Write("bez.xml", V7MFile(kRecords)));
    QCOMPARE(p.Get<QGroupBox>("gbDeklaracja")->title(),
             QStringLiteral("Deklaracja - brak części deklaracyjnej w pliku JPK_V7"));
    QVERIFY(p.Get<QGroupBox>("gbDeklaracja")->isEnabled());
    QVERIFY(p.Get<QPushButton>("btnRecalcDeclaration")->isEnabled());
    QVERIFY(!p.Get<QPushButton>("btnClearDeclaration")->isEnabled());
    QVERIFY(p.Get("edP38")->toolTip().isEmpty());
    QCOMPARE(p.Text("edSaleTaxSum"), QStringLiteral("23"));

    // Without Ewidencja: no P_39, P_40+P_42, P_48 and no checks.
    Program q;
    q.Open(
        q.dir.Write("bez-ewidencji.xml",
                    V7MFile("", Declaration("<P_38>23</P_38><P_39>5</P_39><P_42>10</P_42><P_48>230</P_48>"), false)));
    QCOMPARE(q.Text("edP38"), QStringLiteral("23"));
    for (const char* name : {"edP39", "edP40Plus42", "edP48", "edSaleTaxSum", "edSaleLinesCount"}) {
      QVERIFY2(q.Text(name).isEmpty(), name);
    }
    QVERIFY(q.Get("edP38")->toolTip().isEmpty());
    QCOMPARE(q.Color("edP38"), TJpkVatDlg::FaceColor());
  }

  void modifiedDocumentHasOneStarInTheCaption() {
    Program p;
    // The control sum is wrong: the opening corrects it and the document is modified.
    const fs::path file =
        p.dir.Write("zle.xml", V7MFile(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") + SaleCtrl(1, "22")));
    p.Open(file);
    const QString plain = Q(file) + QStringLiteral(" - Kalvor JPK");
    QCOMPARE(p.Dlg()->windowTitle(), QStringLiteral("*") + plain);
    QCOMPARE(p.Text("edSaleTaxSum"), QStringLiteral("23"));
    p.Click("btnRecalcDeclaration");
    QCOMPARE(p.Dlg()->windowTitle(), QStringLiteral("*") + plain);

    // Saving under the proposed name (the opened file) clears the mark.
    ModalChain save;
    save.Then<QFileDialog>([](QFileDialog* d) { static_cast<QDialog*>(d)->accept(); }).Start();
    p.Click("btnSaveJPK");
    QCOMPARE(save.Done(), size_t(1));
    QCOMPARE(p.Dlg()->windowTitle(), plain);
    QVERIFY(kxtest::ReadFile(file).find("<P_38>23</P_38>") != std::string::npos);

    // A typed value and a new calculation mark it again; closing offers to save.
    p.Type("edP39", QStringLiteral("5"));
    p.Click("btnRecalcDeclaration");
    QCOMPARE(p.Dlg()->windowTitle(), QStringLiteral("*") + plain);
    QCOMPARE(p.Text("edP48"), QStringLiteral("5"));
    ModalChain close;
    close.Box(QStringLiteral("&Nie")).Start();
    p.Dlg()->reject();
    QCOMPARE(close.texts, QStringList{QStringLiteral("Zapisać dokonane zmiany?")});
    QVERIFY(!p.Dlg()->isVisible());
    // The document survives the closing of the window.
    p.Dlg()->show();
    QCOMPARE(p.Text("edP39"), QStringLiteral("5"));
    QVERIFY(p.Dlg()->Editor().Modified());
  }

  void linkQuestionBeforeOpeningAnotherFile_data() {
    QTest::addColumn<QString>("choice");  // button of TdlgLinkAsk, empty: Escape
    QTest::newRow("closed") << QString();
    QTest::newRow("new file") << QStringLiteral("Nowy plik");
    QTest::newRow("link") << QStringLiteral("Połącz pliki");
  }
  void linkQuestionBeforeOpeningAnotherFile() {
    QFETCH(QString, choice);
    Program p;
    p.Open(p.dir.Write("a.xml", V7MFile(kRecords)));
    const fs::path second =
        p.dir.Write("b.xml", V7MFile(Sale(1, "<K_19>200</K_19><K_20>46</K_20>") + SaleCtrl(1, "46")));

    QString caption;
    QStringList buttons;
    ModalChain chain;
    chain.Then<TdlgLinkAsk>([&](TdlgLinkAsk* d) {
      caption = d->windowTitle();
      for (QPushButton* b : d->findChildren<QPushButton*>()) buttons << b->text();
      if (choice.isEmpty()) {
        QTest::keyClick(d, Qt::Key_Escape);
        return;
      }
      for (QPushButton* b : d->findChildren<QPushButton*>()) {
        if (b->text() == choice) b->click();
      }
    });
    if (choice == QStringLiteral("Nowy plik")) {
      chain.Then<QFileDialog>([](QFileDialog* d) { static_cast<QDialog*>(d)->reject(); });
    } else if (choice == QStringLiteral("Połącz pliki")) {
      chain.Then<QFileDialog>([&](QFileDialog* d) { ChooseFile(d, Q(second)); });
      chain.Box(QStringLiteral("&OK")).Box(QStringLiteral("&Nie"));
    }
    chain.Start();
    p.Click("btnOpenJPK");
    QCOMPARE(chain.Done(), chain.Steps());
    QCOMPARE(caption, QStringLiteral("Wczytaj plik jako..."));
    buttons.sort();
    QCOMPARE(buttons, (QStringList{QStringLiteral("Nowy plik"), QStringLiteral("Połącz pliki")}));

    if (choice.isEmpty()) {
      // The command stops; the document stays.
      QCOMPARE(p.Text("edSaleLinesCount"), QStringLiteral("1"));
      QCOMPARE(p.Text("edNIP"), QStringLiteral("7270120002"));
    } else if (choice == QStringLiteral("Nowy plik")) {
      // The document is dropped even though no file was chosen.
      QVERIFY(!p.Dlg()->Editor().HasDocument());
      QVERIFY(p.Text("edNIP").isEmpty());
      QVERIFY(p.Text("edSaleLinesCount").isEmpty());
      QVERIFY(!p.Get<QPushButton>("btnAddParagonSale")->isEnabled());
      QVERIFY(!p.Get<QGroupBox>("gbDeklaracja")->isEnabled());
    } else {
      QCOMPARE(chain.texts, (QStringList{QStringLiteral("Pomyślnie połączono pliki JPK:\nnowy plik"),
                                         QStringLiteral("Zapisać dokonane zmiany?")}));
      QCOMPARE(p.Text("edSaleLinesCount"), QStringLiteral("2"));
      QCOMPARE(p.Text("edSaleTaxSum"), QStringLiteral("69"));
      QCOMPARE(p.Dlg()->windowTitle(), QStringLiteral("*nowy plik - Kalvor JPK"));
    }
  }

  void loweredPositionsTurnMoneyGreen() {
    Program p;
    // Output tax 1000, input tax 400.
    p.Open(p.dir.Write("kasy.xml", V7MFile(Sale(1, "<K_19>4348</K_19><K_20>1000</K_20>") + SaleCtrl(1, "1000") +
                                           Purchase(1, "<K_42>1739</K_42><K_43>400</K_43>") + PurchaseCtrl(1, "400"))));
    QVERIFY(!p.Get("edP49")->isEnabled());
    p.Click("btnRecalcDeclaration");
    QCOMPARE(p.Text("edP38"), QStringLiteral("1000"));
    QCOMPARE(p.Text("edP51"), QStringLiteral("600"));
    QVERIFY(p.Get("edP51")->font().bold());
    QVERIFY(p.Get("edP49")->isEnabled());
    QVERIFY(p.Get<QPushButton>("btnClearDeclaration")->isEnabled());

    p.Type("edP49", QStringLiteral("800"));
    p.Click("btnRecalcDeclaration");
    QCOMPARE(p.Text("edP49"), QStringLiteral("600"));
    QCOMPARE(p.Color("edP49"), TJpkVatDlg::MoneyGreenColor());
    QCOMPARE(p.Text("edP51"), QStringLiteral("0"));
    QVERIFY(!p.Get("edP51")->font().bold());
    QCOMPARE(p.Text("edP53"), QStringLiteral("0"));
    QCOMPARE(p.Color("edP50"), QPalette().color(QPalette::Base));

    // The next calculation starts from the normal colour; the value fits now.
    p.Click("btnRecalcDeclaration");
    QCOMPARE(p.Text("edP49"), QStringLiteral("600"));
    QCOMPARE(p.Color("edP49"), QPalette().color(QPalette::Base));
  }

  void refundInputIsCheckedBeforeTheCalculation() {
    Program p;
    // Output tax 400, input tax 1000: an excess of 600.
    p.Open(
        p.dir.Write("zwrot.xml", V7MFile(Sale(1, "<K_19>1739</K_19><K_20>400</K_20>") + SaleCtrl(1, "400") +
                                         Purchase(1, "<K_42>4348</K_42><K_43>1000</K_43>") + PurchaseCtrl(1, "1000"))));
    p.Click("btnRecalcDeclaration");
    QCOMPARE(p.Text("edP53"), QStringLiteral("600"));
    QVERIFY(p.Get<QGroupBox>("gbNadwyzkaPodatku")->isEnabled());
    auto* rb55 = p.Get<QRadioButton>("rbZwrot55");
    QVERIFY(!rb55->isEnabled());

    // An amount without a term: warning, red field, document unchanged.
    p.Type("edP54", QStringLiteral("300"));
    QVERIFY(rb55->isEnabled());
    ModalChain warn;
    warn.Box(QStringLiteral("&OK")).Start();
    p.Click("btnRecalcDeclaration");
    QCOMPARE(
        warn.texts,
        QStringList{QStringLiteral("Wpisano kwotę do zwrotu (P_54) ale nie wybrano\nw jakiej formie go dokonać.")});
    QCOMPARE(p.Color("edP54"), TJpkVatDlg::CheckRedColor());
    QCOMPARE(p.Text("edP54"), QStringLiteral("300"));
    QCOMPARE(p.Text("edP62"), QStringLiteral("600"));
    QTRY_COMPARE(p.Color("edP54"), QPalette().color(QPalette::Base));

    // With the term the refund goes into the declaration.
    rb55->setChecked(true);
    p.Click("btnRecalcDeclaration");
    QCOMPARE(p.Text("edP54"), QStringLiteral("300"));
    QVERIFY(rb55->isChecked());
    QCOMPARE(p.Text("edP62"), QStringLiteral("300"));

    // Emptying the amount unchecks and disables the terms.
    p.Get("edP54")->clear();
    QVERIFY(!rb55->isChecked());
    QVERIFY(!rb55->isEnabled());
  }

  void p59EnablesTheFutureLiabilityFields() {
    Program p;
    p.Open(p.dir.Write("p59.xml", V7MFile(kRecords, Declaration("<P_38>23</P_38><P_48>230</P_48><P_53>207</P_53>"
                                                                "<P_59>1</P_59><P_60>100</P_60><P_61>CIT</P_61>"))));
    auto* cb = p.Get<QCheckBox>("cbP59");
    QVERIFY(cb->isChecked());
    QCOMPARE(p.Text("edP60"), QStringLiteral("100"));
    QCOMPARE(p.Text("edP61"), QStringLiteral("CIT"));
    QVERIFY(p.Get("edP60")->isEnabled());
    QTest::mouseClick(cb, Qt::LeftButton, {}, QPoint(5, cb->height() / 2));
    QVERIFY(!cb->isChecked());
    QVERIFY(!p.Get("edP60")->isEnabled());
    QVERIFY(!p.Get("edP61")->isEnabled());
  }

  void typedAmountsInThePolishForms() {
    Program p;
    p.Open(p.dir.Write("a.xml", V7MFile(kRecords)));
    // Letters and a minus inside are not taken; nothing else is dropped.
    p.Type("edP39", QStringLiteral("12,5x-"));
    QCOMPARE(p.Text("edP39"), QStringLiteral("12,5"));
    // Grosze other than zero: the message names the field; nothing changes.
    ModalChain error;
    error.Box(QStringLiteral("&OK")).Start();
    p.Click("btnRecalcDeclaration");
    QCOMPARE(error.Done(), size_t(1));
    QCOMPARE(error.texts, QStringList{QStringLiteral("P_39: \"12,5\". Kwoty deklaracji podaje się w pełnych złotych")});
    QVERIFY(p.Dlg()->Editor().Document().Node().FindChild("Deklaracja").IsNull());
    QCOMPARE(p.Text("edP39"), QStringLiteral("12,5"));
    // Whole złoty written with a blank and ",00" is the whole amount.
    p.Type("edP39", QStringLiteral("20 000,00"));
    p.Click("btnRecalcDeclaration");
    QCOMPARE(p.Text("edP39"), QStringLiteral("20000"));
    // Read-only amounts in the Polish form: 20 023 złoty of P_48.
    QCOMPARE(p.Text("edP48"), QStringLiteral("20\u00A0230"));
    QCOMPARE(p.Text("edBuyTaxSum"), QStringLiteral("230"));
  }

  void typedDeclarationIsOfferedBeforeSavingOrClosing() {
    Program p;
    const fs::path file = p.dir.Write("luty.xml", V7MFile(kRecords, Declaration("<P_38>23</P_38><P_48>230</P_48>")));
    p.Open(file);
    // Saving with a typed P_39: "Tak" takes it into the declaration first.
    p.Type("edP39", QStringLiteral("1 000"));
    const fs::path saved = p.dir.Path() / "zapis.xml";
    ModalChain save;
    save.Box(QStringLiteral("&Tak")).Then<QFileDialog>([&](QFileDialog* d) { ChooseFile(d, Q(saved)); }).Start();
    p.Click("btnSaveJPK");
    QCOMPARE(save.Done(), size_t(2));
    QCOMPARE(save.texts, QStringList{QStringLiteral("Przeliczyć deklarację z wpisanymi kwotami?")});
    QVERIFY(kxtest::ReadFile(saved).find("<P_39>1000</P_39>") != std::string::npos);
    QCOMPARE(p.Get<QLabel>("labStatus")->text(), QStringLiteral("Zapisano plik: ") + Q(saved));

    // Closing with another typed value: "Anuluj" keeps the window and the value.
    p.Type("edP39", QStringLiteral("2000"));
    ModalChain close;
    close.Box(QStringLiteral("Anuluj")).Start();
    p.Dlg()->reject();
    QCOMPARE(close.Done(), size_t(1));
    QVERIFY(p.Dlg()->isVisible());
    QCOMPARE(p.Text("edP39"), QStringLiteral("2000"));
    // "Nie": the window closes, the document keeps its declaration.
    ModalChain closeNo;
    closeNo.Box(QStringLiteral("&Nie")).Start();
    p.Dlg()->reject();
    QCOMPARE(closeNo.Done(), size_t(1));
    QVERIFY(!p.Dlg()->isVisible());
    QVERIFY(kxtest::ReadFile(saved).find("<P_39>1000</P_39>") != std::string::npos);
  }

  void cancelledSaveDialogCancelsTheAction() {
    Program p;
    const fs::path file = p.dir.Write("a.xml", V7MFile(kRecords));
    p.Open(file);
    p.Dlg()->hide();
    p.ctx.AppSettings.KXDataDir = "kx/";
    p.Dlg()->show();
    p.Dlg()->Editor().Document().OwnerDocument().SetModified(true);
    p.Dlg()->RefreshInfo();
    // The make command: "Tak" to saving, then Escape in the save dialog: no
    // new-or-link question, no generation, the document stays.
    bool linkAsked = false;
    auto link = kxtest::OnNextModal<TdlgLinkAsk>(
        [&](TdlgLinkAsk* d) {
          linkAsked = true;
          d->reject();
        },
        1000);
    ModalChain make;
    make.Box(QStringLiteral("&Tak")).Then<QFileDialog>([](QFileDialog* d) { d->reject(); }).Start();
    p.Click("btnMakeJPK");
    QCOMPARE(make.Done(), size_t(2));
    QVERIFY(!linkAsked);
    link.reset();
    QVERIFY(p.Dlg()->Editor().HasDocument());
    QCOMPARE(p.Dlg()->windowTitle(), QStringLiteral("*") + Q(file) + QStringLiteral(" - Kalvor JPK"));

    // Closing the window: "Tak", then Escape in the save dialog: the window stays.
    ModalChain close;
    close.Box(QStringLiteral("&Tak")).Then<QFileDialog>([](QFileDialog* d) { d->reject(); }).Start();
    p.Dlg()->reject();
    QCOMPARE(close.Done(), size_t(2));
    QVERIFY(p.Dlg()->isVisible());
    QVERIFY(p.Dlg()->Editor().Modified());

    // Ending the program with the change unsaved asks again; Anuluj keeps it running.
    ModalChain end;
    end.Box(QStringLiteral("Anuluj")).Start();
    QVERIFY(!p.Dlg()->ProgramCloseQuery());
    QCOMPARE(end.Done(), size_t(1));
    QCOMPARE(end.texts, QStringList{QStringLiteral("Plik JPK_V7M ") + Q(file) +
                                    QStringLiteral(" ma niezapisane zmiany.\nZapisać je?")});
  }

  void failedGenerationOffersNothingAndKeepsTheDocument() {
    Program p;
    const fs::path file = p.dir.Write("a.xml", V7MFile(kRecords));
    p.Open(file);
    p.Dlg()->hide();
    fs::create_directories(p.dir.Path() / "kx");
    p.ctx.AppSettings.KXDataDir = (p.dir.Path() / "kx").string() + "/";  // no tables of the month
    p.Dlg()->show();
    // "Nowy plik", "&Generuj": the error, and no offer to save.
    ModalChain make;
    make.Then<TdlgLinkAsk>([](TdlgLinkAsk* d) { d->done(TdlgLinkAsk::kNewFile); })
        .Then<TGenJpkVatDlg>(
            [](TGenJpkVatDlg* d) { QTest::mouseClick(d->findChild<QPushButton*>("btnDoIt"), Qt::LeftButton); })
        .Box(QStringLiteral("&OK"))
        .Start();
    auto offer = kxtest::OnNextModal<QMessageBox>(
        [](QMessageBox* box) { box->reject(); }, 1000,
        [](QMessageBox* box) { return box->text() == QStringLiteral("Zapisać wygenerowany plik?"); });
    p.Click("btnMakeJPK");
    QCOMPARE(make.Done(), size_t(3));
    QVERIFY(!offer->done);
    QCOMPARE(p.Text("edSaleLinesCount"), QStringLiteral("1"));
    QCOMPARE(p.Dlg()->windowTitle(), Q(file) + QStringLiteral(" - Kalvor JPK"));
  }

  void failedCheckShowsItsDifference() {
    Program p;
    p.Open(p.dir.Write("a.xml", V7MFile(kRecords, Declaration("<P_38>24</P_38><P_48>230</P_48>"))));
    QCOMPARE(p.Get<QLabel>("labDiffP38")->text(), QStringLiteral("różnica: 1"));
    QCOMPARE(p.Get<QLabel>("labDiffP48")->text(), QString());
    // The creation time is shown whole.
    QLineEdit* date = p.Get("edGenDate");
    QVERIFY(date->width() >= date->fontMetrics().horizontalAdvance(date->text()));
  }

  void makeCommand() {
    Program p;
    p.Open(p.dir.Write("a.xml", V7MFile(kRecords)));
    p.Dlg()->hide();
    p.ctx.AppSettings.KXDataDir = "kx/";
    p.Dlg()->show();
    // Closing the new-or-link question stops the command before the generation dialog.
    ModalChain stop;
    stop.Then<TdlgLinkAsk>([](TdlgLinkAsk* d) { d->reject(); }).Start();
    bool generationShown = false;
    auto gen = kxtest::OnNextModal<TGenJpkVatDlg>(
        [&](TGenJpkVatDlg* d) {
          generationShown = true;
          d->reject();
        },
        1000);
    p.Click("btnMakeJPK");
    QCOMPARE(stop.Done(), size_t(1));
    QVERIFY(!generationShown);
    gen.reset();

    // "Połącz pliki": the generation dialog; cancelling it asks nothing more.
    {
      ModalChain make;
      make.Then<TdlgLinkAsk>([](TdlgLinkAsk* d) { d->done(TdlgLinkAsk::kLink); })
          .Then<TGenJpkVatDlg>([](TGenJpkVatDlg* d) { d->reject(); })
          .Box(QStringLiteral("&Tak"))
          .Start();
      p.Click("btnMakeJPK");
      QCOMPARE(make.Done(), size_t(2));
      QCOMPARE(p.Text("edSaleLinesCount"), QStringLiteral("1"));
    }

    // A generated document (linked here) is shown and offered for saving.
    ModalChain generated;
    generated.Then<TdlgLinkAsk>([](TdlgLinkAsk* d) { d->done(TdlgLinkAsk::kLink); })
        .Then<TGenJpkVatDlg>([&](TGenJpkVatDlg* d) {
          p.Dlg()->Editor().AcceptGenerated(kx::jpk::v7m::GetJPKRoot(kx::xml::XmlDocument::FromString(
              V7MFile(Sale(1, "<K_19>200</K_19><K_20>46</K_20>") + SaleCtrl(1, "46")))));
          d->accept();
        })
        .Box(QStringLiteral("&Nie"))
        .Start();
    p.Click("btnMakeJPK");
    QCOMPARE(generated.Done(), size_t(3));
    QCOMPARE(generated.texts, QStringList{QStringLiteral("Zapisać wygenerowany plik?")});
    QCOMPARE(p.Text("edSaleLinesCount"), QStringLiteral("2"));
    QCOMPARE(p.Dlg()->windowTitle(), QStringLiteral("*nowy plik - Kalvor JPK"));
  }

  void clearDeclarationWritesTheFileAtOnce() {
    Program p;
    const fs::path file = p.dir.Write("luty.xml", V7MFile(kRecords, Declaration("<P_38>23</P_38><P_48>230</P_48>")));
    p.Open(file);
    ModalChain info;
    info.Box(QStringLiteral("&OK")).Start();
    p.Click("btnClearDeclaration");
    QCOMPARE(info.texts, QStringList{QStringLiteral("Zapisano JPK bez części deklaracyjnej do pliku:\n") + Q(file)});
    QCOMPARE(p.Get<QGroupBox>("gbDeklaracja")->title(),
             QStringLiteral("Deklaracja - brak części deklaracyjnej w pliku JPK_V7"));
    QVERIFY(!p.Get<QPushButton>("btnClearDeclaration")->isEnabled());
    QVERIFY(p.Text("edP38").isEmpty());
    QCOMPARE(p.Dlg()->windowTitle(), Q(file) + QStringLiteral(" - Kalvor JPK"));
    const std::string written = kxtest::ReadFile(file);
    QVERIFY(written.find("Deklaracja") == std::string::npos);
    QVERIFY(written.find("SprzedazWiersz") != std::string::npos);
  }

  // Pictures of the questions that keep typed work and files safe, only
  // when asked for with KX_SCREENSHOT_DIR.
  void screenshotsOfTheQuestions() {
    const QString out = qEnvironmentVariable("KX_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("KX_SCREENSHOT_DIR not set");
    auto shot = [&](QWidget* w, const QString& name) {
      QTest::qWait(400);
      const QRect f = w->frameGeometry();
      QPixmap pix = QGuiApplication::platformName() == QStringLiteral("xcb")
                        ? w->screen()->grabWindow(0, f.x(), f.y(), f.width(), f.height())
                        : w->grab();
      QVERIFY(pix.save(out + QLatin1Char('/') + name));
    };
    auto boxShot = [&](const QString& name, const QString& button) {
      return [&shot, name, button](QMessageBox* box) {
        shot(box, name);
        for (QAbstractButton* b : box->buttons()) {
          if (b->text() == button) return b->click();
        }
        box->reject();
      };
    };
    Program p;
    p.Dlg()->move(40, 40);
    const fs::path file =
        p.dir.Write("2026-02_jpk_v7m_3.xml", V7MFile(kRecords, Declaration("<P_38>24</P_38><P_48>230</P_48>")));
    p.Open(file);
    // Saving with a typed amount, over another existing file.
    p.dir.Write("stary.xml", "<stary/>");
    p.Type("edP39", QStringLiteral("1 000"));
    ModalChain save;
    save.Then<QMessageBox>(boxShot(QStringLiteral("question-typed-declaration.png"), QStringLiteral("&Tak")))
        .Then<QFileDialog>([&](QFileDialog* d) { ChooseFile(d, Q(p.dir.Path() / "stary.xml")); })
        .Then<QMessageBox>(boxShot(QStringLiteral("question-replace-file.png"), QStringLiteral("&Tak")))
        .Start();
    p.Click("btnSaveJPK");
    QCOMPARE(save.Done(), size_t(3));
    p.Dlg()->raise();
    shot(p.Dlg(), QStringLiteral("editor-saved.png"));
    // Linking a file of another firm.
    std::string otherFirm = V7MFile(kRecords);
    otherFirm.replace(otherFirm.find("7270120002"), 10, "5260250274");
    const fs::path other = p.dir.Write("inna.xml", otherFirm);
    ModalChain link;
    link.Then<TdlgLinkAsk>([](TdlgLinkAsk* d) { d->done(TdlgLinkAsk::kLink); })
        .Then<QFileDialog>([&](QFileDialog* d) { ChooseFile(d, Q(other)); })
        .Then<QMessageBox>(boxShot(QStringLiteral("question-link-other-nip.png"), QStringLiteral("&Nie")))
        .Start();
    p.Click("btnOpenJPK");
    QCOMPARE(link.Done(), size_t(3));

    // The summary after generating the demo firm's November.
    Program g;
    g.Dlg()->hide();
    g.ctx.AppSettings.KXDataDir = (kxtest::SourceDir() / "data" / "demo" / "towix").string() + "/";
    g.ctx.AppSettings.UserDir = g.ctx.AppSettings.KXDataDir;
    g.ctx.AppSettings.CurDate = {2026, 11, 1};
    g.Dlg()->move(40, 40);
    g.Dlg()->show();
    auto dialog = kxtest::OnNextModal<TGenJpkVatDlg>(
        [](TGenJpkVatDlg* d) { QTest::mouseClick(d->findChild<QPushButton*>("btnDoIt"), Qt::LeftButton); });
    auto summary = kxtest::OnNextModal<QMessageBox>(
        boxShot(QStringLiteral("generation-summary.png"), QStringLiteral("&OK")), 60000,
        [](QMessageBox* box) { return box->text().startsWith(QStringLiteral("Utworzono JPK_V7M")); });
    auto offer = kxtest::OnNextModal<QMessageBox>(
        [](QMessageBox* box) { box->reject(); }, 60000,
        [](QMessageBox* box) { return box->text() == QStringLiteral("Zapisać wygenerowany plik?"); });
    auto ksef = kxtest::OnNextModal<QMessageBox>(
        [](QMessageBox* box) {
          for (QAbstractButton* b : box->buttons()) {
            if (b->text() == QStringLiteral("&Tak wszyst.")) return b->click();
          }
        },
        10000, [](QMessageBox* box) { return box->text().contains(QStringLiteral("KSeF")); });
    g.Click("btnMakeJPK");
    QVERIFY(dialog->done);
    QVERIFY(summary->done);
    QVERIFY(offer->done);
  }

  // The records grid: the cells of the file, an edit with the control sum,
  // the "*" and undo/redo, a refused input, the filter and totals, adding and
  // deleting records, the sums per rate, and the check whose finding leads
  // to its record.
  void recordGrid() {
    Program p;
    p.ctx.SchemaDir = (kxtest::SharedDir() / "xsd").string();
    const auto file =
        p.dir.Write("luty.xml", V7MFile(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") +
                                        Sale(2, "<K_17>1250</K_17><K_18>100</K_18>", "7740001455", "Piekarnia Kłos") +
                                        SaleCtrl(2, "123") + Purchase(1, "<K_42>1000</K_42><K_43>230</K_43>") +
                                        PurchaseCtrl(1, "230")));
    p.Open(file);
    RecordsPanel* panel = p.Dlg()->Records();
    RecordModel* sales = panel->Model(kx::editor::RecordSide::Sales);
    QCOMPARE(sales->rowCount(), 2);
    QCOMPARE(panel->Model(kx::editor::RecordSide::Purchases)->rowCount(), 1);
    const int k20 = sales->Table()->ColumnOf("K_20");
    QCOMPARE(sales->index(0, k20).data().toString(), QStringLiteral("23,00"));
    QCOMPARE(sales->headerData(k20, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("K_20"));
    QVERIFY(panel->Totals(kx::editor::RecordSide::Sales)->text().contains(QStringLiteral("VAT 123,00")));
    QVERIFY(!p.Dlg()->windowTitle().startsWith(QLatin1Char('*')));

    // An edit through the grid's model, as the cell editor commits it.
    QVERIFY(!sales->setData(sales->index(0, k20), QStringLiteral("50"), Qt::EditRole));
    QCOMPARE(sales->index(0, k20).data().toString(), QStringLiteral("50,00"));
    QVERIFY(p.Dlg()->windowTitle().startsWith(QLatin1Char('*')));
    QCOMPARE(p.Text("edSaleTaxSum"), QStringLiteral("150"));
    auto ctrl = [&] {
      return kx::jpk::v7m::ChildText(
          p.Dlg()->Editor().Document().Node().FindChild("Ewidencja").FindChild("SprzedazCtrl"), "PodatekNalezny");
    };
    QCOMPARE(ctrl(), std::string("150"));
    panel->UndoStack()->undo();
    QCOMPARE(sales->index(0, k20).data().toString(), QStringLiteral("23,00"));
    QCOMPARE(ctrl(), std::string("123"));
    panel->UndoStack()->redo();
    QCOMPARE(ctrl(), std::string("150"));

    // A date that does not exist is refused with its reason; nothing changes.
    const int date = sales->Table()->ColumnOf("DataWystawienia");
    auto refused = kxtest::AnswerNextBox(QStringLiteral("OK"));
    sales->setData(sales->index(1, date), QStringLiteral("2026-02-30"), Qt::EditRole);
    QVERIFY(refused->seen);
    QCOMPARE(refused->text, QStringLiteral("Data \"2026-02-30\" nie istnieje"));
    QCOMPARE(sales->index(1, date).data().toString(), QStringLiteral("2026-02-05"));

    // The filter, and the totals of what it shows.
    panel->FilterBox()->setText(QStringLiteral("kłos"));
    QCOMPARE(sales->rowCount(), 1);
    QVERIFY(panel->Totals(kx::editor::RecordSide::Sales)->text().contains(QStringLiteral("wierszy: 1 z 2")));
    panel->FilterBox()->clear();
    QCOMPARE(sales->rowCount(), 2);

    // Sorting by the tax, highest first.
    const int tax = sales->Table()->ColumnOf(kx::editor::ColumnKind::TaxSum);
    sales->sort(tax, Qt::DescendingOrder);
    QCOMPARE(sales->index(0, tax).data().toString(), QStringLiteral("100,00"));
    QCOMPARE(sales->index(1, tax).data().toString(), QStringLiteral("50,00"));
    sales->sort(0, Qt::AscendingOrder);

    // Adding a record after the first, undoing it; deleting one after the question.
    QTableView* grid = panel->Grid(kx::editor::RecordSide::Sales);
    grid->selectRow(0);
    panel->AddRecord();
    QCOMPARE(sales->rowCount(), 3);
    QCOMPARE(p.Text("edSaleLinesCount"), QStringLiteral("3"));
    QCOMPARE(sales->index(1, 2).data().toString(), QStringLiteral("BRAK"));
    QCOMPARE(sales->index(2, 0).data().toString(), QStringLiteral("3"));
    panel->UndoStack()->undo();
    QCOMPARE(sales->rowCount(), 2);
    QCOMPARE(p.Text("edSaleLinesCount"), QStringLiteral("2"));
    grid->selectRow(0);
    auto ask = kxtest::AnswerNextBox(QStringLiteral("&Tak"));
    panel->DeleteRecord();
    QCOMPARE(ask->text, QStringLiteral("Usunąć rekord Lp 1?"));
    QCOMPARE(sales->rowCount(), 1);
    QCOMPARE(sales->index(0, 3).data().toString(), QStringLiteral("Piekarnia Kłos"));
    QCOMPARE(sales->index(0, 0).data().toString(), QStringLiteral("1"));
    panel->UndoStack()->undo();
    QCOMPARE(sales->rowCount(), 2);
    QCOMPARE(sales->index(0, k20).data().toString(), QStringLiteral("50,00"));

    // The sums per rate: 23% and 8% sales, other purchases, with totals.
    panel->Tabs()->setCurrentIndex(2);
    QTableWidget* rates = panel->RateTable();
    QCOMPARE(rates->rowCount(), 5);
    QCOMPARE(rates->item(0, 1)->text(), QStringLiteral("8% (7%)"));
    QCOMPARE(rates->item(1, 5)->text(), QStringLiteral("50,00"));
    QCOMPARE(rates->item(1, 6)->text(), QStringLiteral("P_19, P_20 → P_37, P_38"));

    // The check: the buyer's NIP with a wrong check digit, in sale 2.
    p.Click("btnCheckFile");
    QTreeWidget* findings = panel->FindingsList();
    QTreeWidgetItem* nip = nullptr;
    for (int i = 0; i < findings->topLevelItemCount(); ++i) {
      if (findings->topLevelItem(i)->text(3) == QStringLiteral("NrKontrahenta")) nip = findings->topLevelItem(i);
    }
    QVERIFY(nip);
    QCOMPARE(nip->text(1), QStringLiteral("sprzedaż"));
    QCOMPARE(nip->text(2), QStringLiteral("2"));
    QCOMPARE(panel->Tabs()->currentIndex(), 3);
    emit findings->itemDoubleClicked(nip, 0);
    QCOMPARE(panel->Tabs()->currentIndex(), 0);
    QCOMPARE(grid->currentIndex().row(), 1);

    // Another document: the grids follow it and the history is gone.
    p.Dlg()->Editor().Drop();
    p.Dlg()->RefreshInfo();
    QCOMPARE(sales->rowCount(), 0);
    QVERIFY(!panel->UndoStack()->canUndo());
  }

  // Pictures of the window for the documentation, only when asked for with
  // KX_SCREENSHOT_DIR (run under a real display for the title bar).
  void screenshots() {
    const QString out = qEnvironmentVariable("KX_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("KX_SCREENSHOT_DIR not set");
    Program p;
    p.Dlg()->move(40, 40);
    p.Open(p.dir.Write(
        "2026-02_jpk_v7m_3.xml",
        V7MFile(Sale(1, "<K_19>4348</K_19><K_20>1000.04</K_20>") +
                Sale(2, "<K_17>1250</K_17><K_18>100</K_18>", "7740001454", "Piekarnia Kłos") + SaleCtrl(2, "1100.04") +
                Purchase(1, "<K_42>1739</K_42><K_43>400</K_43>") + PurchaseCtrl(1, "400"))));
    auto grab = [&](const QString& name) {
      QWidget* w = p.Dlg();
      w->raise();
      w->activateWindow();
      QTest::qWait(400);
      QPixmap pix;
      if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        const QRect f = w->frameGeometry();
        pix = w->screen()->grabWindow(0, f.x(), f.y(), f.width(), f.height());
      } else {
        pix = w->grab();
      }
      QVERIFY(pix.save(out + QLatin1Char('/') + name));
    };
    grab(QStringLiteral("editor-open.png"));
    p.Click("btnRecalcDeclaration");
    p.Type("edP49", QStringLiteral("800"));
    p.Click("btnRecalcDeclaration");
    p.Get("edP38")->setFocus();
    grab(QStringLiteral("editor-declaration.png"));

    // The new-or-link question over the editor.
    ModalChain ask;
    ask.Box(QStringLiteral("&Nie"))
        .Then<TdlgLinkAsk>([&](TdlgLinkAsk* d) {
          d->move(p.Dlg()->frameGeometry().center() - d->rect().center());
          QTest::qWait(400);
          const QRect f = d->frameGeometry();
          QPixmap pix = QGuiApplication::platformName() == QStringLiteral("xcb")
                            ? d->screen()->grabWindow(0, f.x(), f.y(), f.width(), f.height())
                            : d->grab();
          pix.save(out + QStringLiteral("/editor-linkask.png"));
          d->reject();
        })
        .Start();
    p.Click("btnOpenJPK");
    QCOMPARE(ask.Done(), size_t(2));

    // The editor after generating the demo firm's November, with its
    // declaration, from the warehouse program's tables in data/demo.
    Program g;
    g.Dlg()->hide();
    g.ctx.AppSettings.KXDataDir = (kxtest::SourceDir() / "data" / "demo" / "towix").string() + "/";
    g.ctx.AppSettings.UserDir = g.ctx.AppSettings.KXDataDir;
    g.Dlg()->move(40, 40);
    g.Dlg()->show();
    ModalChain make;
    make.Then<TGenJpkVatDlg>([&](TGenJpkVatDlg* d) {
          kx::generate::GenerateOptions options;
          options.month = {2026, 11, 1};
          options.declaration = true;
          auto generated = kx::generate::GenerateJpkV7M(g.ctx, d->State(), options);
          g.Dlg()->Editor().AcceptGenerated(generated.document, options.declaration, std::nullopt);
          d->accept();
        })
        .Box(QStringLiteral("&Nie"))
        .Start();
    g.Click("btnMakeJPK");
    QCOMPARE(make.Done(), size_t(2));
    QCOMPARE(g.Text("edSaleLinesCount"), QStringLiteral("34"));
    QWidget* w = g.Dlg();
    w->raise();
    w->activateWindow();
    QTest::qWait(400);
    const QRect f = w->frameGeometry();
    QPixmap pix = QGuiApplication::platformName() == QStringLiteral("xcb")
                      ? w->screen()->grabWindow(0, f.x(), f.y(), f.width(), f.height())
                      : w->grab();
    QVERIFY(pix.save(out + QStringLiteral("/editor-generated.png")));

    // The same month in a larger window: the grid, the sums per rate and
    // the findings of the check.
    g.ctx.SchemaDir = (kxtest::SharedDir() / "xsd").string();
    w->resize(1280, 1000);
    w->findChild<QSplitter*>(QStringLiteral("splitRecords"))->setSizes({560, 440});
    RecordsPanel* panel = g.Dlg()->Records();
    auto shotOf = [&](const QString& name) {
      QTest::qWait(400);
      const QRect frame = w->frameGeometry();
      QPixmap picture = QGuiApplication::platformName() == QStringLiteral("xcb")
                            ? w->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                            : w->grab();
      QVERIFY(picture.save(out + QLatin1Char('/') + name));
    };
    panel->Tabs()->setCurrentIndex(0);
    panel->Grid(kx::editor::RecordSide::Sales)->selectRow(2);
    shotOf(QStringLiteral("editor-grid.png"));
    panel->Tabs()->setCurrentIndex(2);
    shotOf(QStringLiteral("editor-rates.png"));
    // A buyer's NIP typed with a wrong check digit, then the check.
    RecordModel* sales = panel->Model(kx::editor::RecordSide::Sales);
    sales->setData(sales->index(2, sales->Table()->ColumnOf("NrKontrahenta")), QStringLiteral("6857079768"),
                   Qt::EditRole);
    g.Click("btnCheckFile");
    shotOf(QStringLiteral("editor-findings.png"));
  }
};

int main(int argc, char** argv) {
  kx::desktop::Application app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  JpkVatDlgTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "jpk_vat_dlg_test.moc"
