// The generation dialog: its controls and their start state, the source
// choices of the configured programs, and "&Generuj" on real register tables
// handing the new document to the editor session.

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <string>
#include <vector>

#include "application.h"
#include "app/ui/MainUnit.h"
#include "editor/v7m_editor.h"
#include "generate/ui/GenJpkVat.h"
#include "fixtures/generate_fixtures.h"
#include "fixtures/v7m_fixture.h"
#include "platform/xml/xml_document.h"
#include "qt_test_helpers.h"
#include "qt_user_port.h"
#include "support/temp_dir.h"

using namespace kxtest;

namespace {

constexpr const char* kKsef = "5260250274-20261105-0A1B2C-3D4E5F-01";

struct Dirs {
  std::string towix, rejko, folvo;
};

// The dialog as the program creates it, with a configuration of the firm.
struct Program {
  explicit Program(const Dirs& dirs = {"", "", ""}, bool towixHere = true) {
    FirmSettings(ctx.AppSettings);
    ctx.AppSettings.CurDate = {2026, 11, 17};
    ctx.AppSettings.KXDataDir = towixHere ? dir.Path().string() + "/" : dirs.towix;
    ctx.AppSettings.UserDir = ctx.AppSettings.KXDataDir;
    ctx.AppSettings.RejkoDir = dirs.rejko;
    ctx.AppSettings.FolvoDir = dirs.folvo;
    dlg = std::make_unique<TGenJpkVatDlg>(ctx);
  }

  template <class W>
  W* Get(const char* name) const {
    W* w = dlg->findChild<W*>(QLatin1String(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }

  void WriteTowix(const std::vector<RegRow>& rows, bool withKsef = true) {
    TowixRegister("26_11REG", rows, withKsef).WriteParadox(dir.Path());
    Contractors("26_11UR", {{1, "Piekarnia Kłos", "5260250274"}}).WriteParadox(dir.Path());
    Contractors("26_11UC", {{1, "Mleczarnia Łąka", "PL 526-025-02-74"}}).WriteParadox(dir.Path());
  }

  // Opens the dialog for the editor and presses "&Generuj" in it; a finished
  // run's summary box is answered and its text kept in summary.
  int Generate() {
    summary.clear();
    auto summaryWatch = kxtest::OnNextModal<QMessageBox>(
        [this](QMessageBox* box) {
          summary = box->text();
          box->accept();
        },
        10000, [](QMessageBox* box) { return box->text().startsWith(QStringLiteral("Utworzono JPK_V7M")); });
    auto watch = kxtest::OnNextModal<TGenJpkVatDlg>(
        [](TGenJpkVatDlg* d) { QTest::mouseClick(d->findChild<QPushButton*>("btnDoIt"), Qt::LeftButton); });
    const int result = dlg->Execute([this](kx::jpk::v7m::IXMLJPK document, bool declaration) {
      return editor.AcceptGenerated(document, declaration, std::nullopt);
    });
    if (!watch->done) qFatal("the dialog was not shown");
    return result;
  }

  int Sales() const { return editor.Document().Ewidencja().SprzedazWiersz().Count(); }
  int Purchases() const { return editor.Document().Ewidencja().ZakupWiersz().Count(); }
  std::string FirstSale(const char* field) const {
    auto node = editor.Document().Ewidencja().SprzedazWiersz()[0].Node().FindChild(field);
    return node.IsNull() ? "<brak>" : node.Text();
  }

  TempDir dir;
  kx::desktop::QtUserPort port;
  kx::AppContext ctx{port};
  kx::editor::V7MEditor editor{ctx, dir.Path()};
  std::unique_ptr<TGenJpkVatDlg> dlg;
  QString summary;
};

// Two sales and one purchase of November 2026, and one sale of October.
std::vector<RegRow> November() {
  return {
      // clang-format off
      {.cls = 0, .number = 1, .document = "FV 1/11/2026", .ksef = kKsef, .value22 = 100, .tax22 = 23, .value = 123,
       .totalTax = 23},
      {.cls = 0, .number = 2, .document = "FV 2/11/2026", .ksef = "DI", .value22 = 10, .tax22 = 2.3, .value = 12.3,
       .totalTax = 2.3},
      {.cls = 0, .number = 3, .document = "FV 3/10/2026", .date = {2026, 10, 20}, .saleDate = {2026, 10, 20},
       .value22 = 5, .tax22 = 1.15, .totalTax = 1.15},
      {.cls = 128, .number = 1, .document = "FZ 1", .date = {2026, 11, 10}, .saleDate = {2026, 11, 10},
       .value22 = 100, .tax22 = 23, .totalTax = 23},
  };
  // clang-format on
}

}  // namespace

class GenJpkVatDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("KX_NO_MODAL_ERRORS"); }

  void controlsAndStartState() {
    Program p;
    QCOMPARE(p.dlg->windowTitle(), QStringLiteral("Nowy JPK_V7M"));
    QVERIFY(p.dlg->isModal());
    struct Control {
      const char* name;
      QString text;
      bool checked;
      bool enabled;
    };
    const std::vector<Control> buttons{
        {"rbTowix", "Towix", true, true},       {"rbRejko", "Rejko", false, false},
        {"rbFolvo", "Folvo", false, false},     {"cbSale", "&Sprzedaż", true, true},
        {"cbBuy", "&Zakup", true, true},        {"rbZlozenie", "&Złożenie deklaracji", true, true},
        {"rbKorekta", "&Korekta", false, true}, {"cbDecl", "JPK z &Deklaracją", false, true},
        {"cbV7K", "K&wartalna", false, false},
    };
    for (const Control& c : buttons) {
      auto* b = p.Get<QAbstractButton>(c.name);
      QVERIFY2(b->text() == c.text, c.name);
      QVERIFY2(b->isChecked() == c.checked, c.name);
      QVERIFY2(b->isEnabled() == c.enabled, c.name);
    }
    const std::vector<std::pair<const char*, QString>> groups{{"gb1", "Wczytaj dane z programu:"},
                                                              {"gb2", "Zakres danych"},
                                                              {"gbCelZlozenia", "Cel Złożenia"},
                                                              {"grJPKV7", "JPK V7"}};
    for (const auto& [name, title] : groups) QCOMPARE(p.Get<QGroupBox>(name)->title(), title);
    QCOMPARE(p.Get<QPushButton>("btnDoIt")->text(), QStringLiteral("&Generuj"));
    // The month of CurDate, from its first day, with the Polish month name.
    auto* dtp = p.Get<QDateEdit>("dtp");
    QCOMPARE(dtp->date(), QDate(2026, 11, 1));
    QCOMPARE(dtp->displayFormat(), QStringLiteral("MMMM yyyy"));
    QCOMPARE(dtp->text(), QStringLiteral("listopad 2026"));
    QCOMPARE(p.dlg->State().AlwaysMarkBFK, false);
  }

  void sourceChoicesFollowTheConfiguredFolders_data() {
    QTest::addColumn<QString>("towix");
    QTest::addColumn<QString>("rejko");
    QTest::addColumn<QString>("folvo");
    QTest::addColumn<QString>("enabled");  // of rbTowix, rbRejko, rbFolvo
    QTest::addColumn<QString>("checked");
    QTest::addColumn<QString>("focused");  // after showing; empty: not a source choice
    // clang-format off
    QTest::newRow("all three") << "/t/" << "/r/" << "/f/" << "TTT" << "rbTowix" << "";
    QTest::newRow("only Rejko") << "" << "/r/" << "" << "-T-" << "rbRejko" << "rbRejko";
    QTest::newRow("only Folvo") << "" << "" << "/f/" << "--T" << "rbFolvo" << "rbFolvo";
    QTest::newRow("Rejko and Folvo") << "" << "/r/" << "/f/" << "-TT" << "rbRejko" << "rbRejko";
    QTest::newRow("Towix and Folvo") << "/t/" << "" << "/f/" << "T-T" << "rbTowix" << "";
    QTest::newRow("none") << "" << "" << "" << "---" << "rbTowix" << "";
    // clang-format on
  }
  void sourceChoicesFollowTheConfiguredFolders() {
    QFETCH(QString, towix);
    QFETCH(QString, rejko);
    QFETCH(QString, folvo);
    QFETCH(QString, enabled);
    QFETCH(QString, checked);
    QFETCH(QString, focused);
    Program p({towix.toStdString(), rejko.toStdString(), folvo.toStdString()}, false);
    QString seen;
    for (const char* name : {"rbTowix", "rbRejko", "rbFolvo"})
      seen += p.Get<QRadioButton>(name)->isEnabled() ? "T" : "-";
    QCOMPARE(seen, enabled);
    QVERIFY(p.Get<QRadioButton>(qPrintable(checked))->isChecked());
    const kx::generate::SourceProgram expected = checked == "rbTowix"   ? kx::generate::SourceProgram::Towix
                                                 : checked == "rbRejko" ? kx::generate::SourceProgram::Rejko
                                                                        : kx::generate::SourceProgram::Folvo;
    QVERIFY(p.dlg->Options().source == expected);
    p.dlg->show();
    QApplication::setActiveWindow(p.dlg.get());
    QVERIFY(QTest::qWaitForWindowExposed(p.dlg.get()));
    if (!focused.isEmpty()) QCOMPARE(p.dlg->focusWidget(), p.Get<QWidget>(qPrintable(focused)));
    p.dlg->hide();
  }

  void monthPickerStepsWholeMonths_data() {
    QTest::addColumn<QDate>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");
    QTest::newRow("up") << QDate(2026, 11, 1) << int(Qt::Key_Up) << QDate(2026, 12, 1) << "grudzień 2026";
    QTest::newRow("up over the year") << QDate(2026, 12, 1) << int(Qt::Key_Up) << QDate(2027, 1, 1) << "styczeń 2027";
    QTest::newRow("down") << QDate(2026, 3, 1) << int(Qt::Key_Down) << QDate(2026, 2, 1) << "luty 2026";
  }
  void monthPickerStepsWholeMonths() {
    QFETCH(QDate, start);
    QFETCH(int, key);
    QFETCH(QDate, date);
    QFETCH(QString, text);
    Program p;
    auto* dtp = p.Get<QDateEdit>("dtp");
    dtp->setDate(start);
    QTest::keyClick(dtp, Qt::Key(key));
    QCOMPARE(dtp->date(), date);
    QCOMPARE(dtp->text(), text);
    QVERIFY(p.dlg->Options().month == (kx::tables::Date{date.year(), date.month(), 1}));
  }

  void choicesBecomeTheOptions() {
    Program p({"", "/r/", "/f/"}, true);
    p.Get<QDateEdit>("dtp")->setDate(QDate(2027, 2, 1));
    p.Get<QRadioButton>("rbFolvo")->setChecked(true);
    p.Get<QCheckBox>("cbSale")->setChecked(false);
    p.Get<QRadioButton>("rbKorekta")->setChecked(true);
    p.Get<QCheckBox>("cbDecl")->setChecked(true);
    const kx::generate::GenerateOptions o = p.dlg->Options();
    QVERIFY(o.month == (kx::tables::Date{2027, 2, 1}));
    QVERIFY(o.source == kx::generate::SourceProgram::Folvo);
    QVERIFY(!o.sale);
    QVERIFY(o.buy);
    QVERIFY(o.correction);
    QVERIFY(o.declaration);
  }

  void generateHandsTheMonthToTheEditor_data() {
    QTest::addColumn<bool>("sale");
    QTest::addColumn<bool>("buy");
    QTest::addColumn<bool>("correction");
    QTest::addColumn<int>("sales");
    QTest::addColumn<int>("purchases");
    QTest::addColumn<QString>("purpose");
    QTest::newRow("both registers") << true << true << false << 2 << 1 << "1";
    QTest::newRow("sales only") << true << false << false << 2 << 0 << "1";
    QTest::newRow("purchases only, correction") << false << true << true << 0 << 1 << "2";
    QTest::newRow("neither") << false << false << false << 0 << 0 << "1";
  }
  void generateHandsTheMonthToTheEditor() {
    QFETCH(bool, sale);
    QFETCH(bool, buy);
    QFETCH(bool, correction);
    QFETCH(int, sales);
    QFETCH(int, purchases);
    QFETCH(QString, purpose);
    Program p;
    p.WriteTowix(November());
    // The working month changes from October to the chosen November.
    p.ctx.AppSettings.CurDate = {2026, 10, 3};
    p.Get<QDateEdit>("dtp")->setDate(QDate(2026, 11, 1));
    p.Get<QCheckBox>("cbSale")->setChecked(sale);
    p.Get<QCheckBox>("cbBuy")->setChecked(buy);
    p.Get<QRadioButton>(correction ? "rbKorekta" : "rbZlozenie")->setChecked(true);

    QCOMPARE(p.Generate(), int(QDialog::Accepted));
    QVERIFY(p.editor.HasDocument());
    QCOMPARE(p.Sales(), sales);
    QCOMPARE(p.Purchases(), purchases);
    // The summary names the program, the month and the records.
    QCOMPARE(p.summary, QStringLiteral("Utworzono JPK_V7M za 2026-11 z programu Towix.\nWiersze sprzedaży: %1\n"
                                       "Wiersze zakupu: %2")
                            .arg(sales)
                            .arg(purchases));
    QCOMPARE(p.editor.FileName(), std::string("nowy plik"));
    QVERIFY(p.ctx.AppSettings.CurDate == (kx::tables::Date{2026, 11, 1}));
    const auto header = p.editor.Document().Naglowek();
    QCOMPARE(header.Miesiac(), 11);
    QCOMPARE(QString::fromStdString(header.CelZlozenia().Node().Text()), purpose);
    if (sales > 0) QCOMPARE(p.FirstSale("NrKSeF"), std::string(kKsef));
  }

  void declarationOnlyWhenAskedFor_data() {
    QTest::addColumn<bool>("decl");
    QTest::newRow("without") << false;
    QTest::newRow("with") << true;
  }
  void declarationOnlyWhenAskedFor() {
    QFETCH(bool, decl);
    Program p;
    p.WriteTowix(November());
    p.Get<QCheckBox>("cbDecl")->setChecked(decl);
    p.Generate();
    const kx::editor::EditorInfo info = p.editor.RefreshInfo();
    QCOMPARE(info.declarationCaption, std::string(decl ? "Deklaracja" : kx::editor::kNoDeclarationCaption));
    // The tax due of the two November sales (23 + 2.30).
    QCOMPARE(QString::fromStdString(info.p38), decl ? QStringLiteral("25") : QString());
  }

  void aSecondRunIsLinkedIntoTheOpenDocument() {
    Program p;
    p.WriteTowix(November());
    p.Generate();
    const std::string saved = (p.dir.Path() / "2026-11_jpk_v7m_3.xml").string();
    p.editor.SaveTo(saved);
    p.Generate();
    QCOMPARE(p.Sales(), 4);
    QCOMPARE(p.Purchases(), 2);
    // The summary counts the run's own records, which the link moved away.
    QCOMPARE(p.summary, QStringLiteral("Utworzono JPK_V7M za 2026-11 z programu Towix.\nWiersze sprzedaży: 2\n"
                                       "Wiersze zakupu: 1"));
    auto list = p.editor.Document().Ewidencja().SprzedazWiersz();
    QCOMPARE(list[3].Node().FindChild("LpSprzedazy").Text(), std::string("4"));
  }

  void yesToAllAtTheKsefQuestionHoldsForLaterRuns() {
    Program p;
    // clang-format off
    std::vector<RegRow> rows{{.cls = 0, .number = 1, .document = "FV 1/11/2026", .ksef = "", .value22 = 100,
                              .tax22 = 23, .value = 123, .totalTax = 23}};
    // clang-format on
    p.WriteTowix(rows);
    p.Get<QCheckBox>("cbBuy")->setChecked(false);
    auto box = kxtest::AnswerNextBox(QStringLiteral("&Tak wszyst."));
    p.Generate();
    QVERIFY(box->seen);
    QVERIFY2(box->text.endsWith(QStringLiteral("Puste pole KSeF. Oznaczyć jako BFK?")), qPrintable(box->text));
    QVERIFY(box->text.startsWith(QStringLiteral("FV 1/11/2026")));
    QCOMPARE(p.FirstSale("BFK"), std::string("1"));
    QCOMPARE(p.FirstSale("NrKSeF"), std::string("<brak>"));
    QVERIFY(p.dlg->State().AlwaysMarkBFK);

    // A later run of the same dialog asks nothing; "BFK" again.
    p.editor.Drop();
    bool asked = false;
    auto none =
        kxtest::OnNextModal<QMessageBox>([&](QMessageBox* question) { asked = true, question->reject(); }, 10000,
                                         [](QMessageBox* question) { return question->text().contains("KSeF"); });
    p.Generate();
    QVERIFY(!asked);
    QCOMPARE(p.FirstSale("BFK"), std::string("1"));
    QCOMPARE(p.FirstSale("NrKSeF"), std::string("<brak>"));
  }

  void noAtTheKsefQuestionLeavesTheReferenceEmpty() {
    Program p;
    // clang-format off
    p.WriteTowix({{.cls = 0, .number = 1, .document = "FV 1/11/2026", .ksef = "", .value22 = 100, .tax22 = 23,
                   .value = 123, .totalTax = 23}});
    // clang-format on
    auto box = kxtest::AnswerNextBox(QStringLiteral("&Nie"));
    p.Generate();
    QVERIFY(box->seen);
    QCOMPARE(p.FirstSale("NrKSeF"), std::string(""));
    QCOMPARE(p.FirstSale("BFK"), std::string("<brak>"));
    QVERIFY(!p.dlg->State().AlwaysMarkBFK);
  }

  void failuresAreShownAndNothingIsHandedOver_data() {
    QTest::addColumn<bool>("withKsef");
    QTest::addColumn<QString>("error");
    QTest::newRow("register without KSeF") << false << "Nie znaleziono pola \"KSeF\" w tabeli: ";
    QTest::newRow("cancel at the question") << true << "Przerwano tworzenie JPK_V7M";
  }
  void failuresAreShownAndNothingIsHandedOver() {
    QFETCH(bool, withKsef);
    QFETCH(QString, error);
    Program p;
    std::vector<RegRow> rows = November();
    rows[1].ksef = "";  // the second sale asks
    p.WriteTowix(rows, withKsef);
    // The editor holds a document already: a failed run must leave it whole.
    p.editor.AcceptGenerated(kx::jpk::v7m::GetJPKRoot(kx::xml::XmlDocument::FromString(
        kxtest::V7MFile(kxtest::Sale(1, "<K_19>10</K_19><K_20>2.3</K_20>") + kxtest::SaleCtrl(1, "2.3")))));
    const std::string before = p.editor.Document().OwnerDocument().Xml();
    auto question = kxtest::AnswerNextBox(QStringLiteral("Anuluj"));
    std::unique_ptr<kxtest::BoxWatch> shown;
    // The error box follows the question (or comes alone).
    QTimer arm;
    arm.setInterval(5);
    QObject::connect(&arm, &QTimer::timeout, [&] {
      if ((question->seen || !withKsef) && !shown) {
        shown = kxtest::AnswerNextBox(QStringLiteral("OK"));
        arm.stop();
      }
    });
    if (!withKsef) {
      question.reset();
      shown = kxtest::AnswerNextBox(QStringLiteral("OK"));
    } else {
      arm.start();
    }
    QCOMPARE(p.Generate(), int(QDialog::Rejected));
    QVERIFY(shown && shown->seen);
    QCOMPARE(shown->title, QStringLiteral("Błąd"));
    QVERIFY2(shown->text.startsWith(error), qPrintable(shown->text));
    QVERIFY(p.summary.isEmpty());
    QCOMPARE(p.editor.Document().OwnerDocument().Xml(), before);
  }

  // The dialog as shown, in the program's font; saved as a picture for the
  // documentation when KX_GEN_JPK_VAT_PNG names a file.
  void pictureOfTheDialog() {
    Program p({"", "/r/", ""}, true);
    p.dlg->setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    p.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.dlg.get()));
    const QImage image = p.dlg->grab().toImage();
    QCOMPARE(image.size(), p.dlg->size());
    // Every control lies inside the dialog.
    for (QWidget* w : p.dlg->findChildren<QWidget*>()) {
      if (!w->isVisible()) continue;
      const QRect r(w->mapTo(p.dlg.get(), QPoint(0, 0)), w->size());
      QVERIFY2(p.dlg->rect().contains(r), qPrintable(w->objectName()));
    }
    const QString target = qEnvironmentVariable("KX_GEN_JPK_VAT_PNG");
    if (!target.isEmpty()) QVERIFY(image.save(target, "PNG"));
    p.dlg->hide();
  }
};

QTEST_MAIN(GenJpkVatDlgTest)
#include "gen_jpk_vat_dlg_test.moc"
