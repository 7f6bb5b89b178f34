// The JPK_KR dialog: its controls and start state, a run on the demo firm's
// ledger on the background task ending with the save question, a failing run,
// and other table work refused while a task runs.

#include <QDateEdit>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <string>

#include "fixtures/warehouse_fixture.h"
#include "ledger/ui/GenFromRejko.h"
#include "qt_test_helpers.h"
#include "qt_user_port.h"
#include "support/jpk_schema.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
namespace fs = std::filesystem;

namespace {

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

// The dialog over a copy of the demo firm's ledger, run in its own folder.
struct Program {
  Program() : previous(fs::current_path()) {
    fs::copy(SourceDir() / "data" / "demo" / "rejko", dir / "rejko", fs::copy_options::recursive);
    fs::current_path(dir.Path());
    FirmSettings(ctx.AppSettings);
    WarehouseFirmAddress(ctx.AppSettings);
    ctx.AppSettings.RejkoDir = (dir / "rejko").string() + "/";
    ctx.AppSettings.SaveDir = dir.Path().string() + "/";
    ctx.AppSettings.CurDate = {2026, 11, 20};
    std::ifstream accSet(SourceDir() / "data" / "demo" / "RejkoAccSet.txt");
    for (std::string line; std::getline(accSet, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) ctx.RejkoAccSet.push_back(line);
    }
    dlg = std::make_unique<TGenFromRejkoDlg>(ctx);
  }
  ~Program() {
    dlg.reset();
    fs::current_path(previous);
  }

  template <class W>
  W* Get(const char* name) const {
    W* w = dlg->findChild<W*>(QLatin1String(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }

  // Shows the dialog, presses "&Generuj"; the chain answers what follows.
  int Run(ModalChain& after) {
    auto watch = OnNextModal<TGenFromRejkoDlg>([&](TGenFromRejkoDlg* d) {
      after.Start();
      QTest::mouseClick(d->findChild<QPushButton*>("btnDoIt"), Qt::LeftButton);
    });
    const int result = dlg->exec();
    if (!watch->done) qFatal("the dialog was not shown");
    return result;
  }

  fs::path previous;
  TempDir dir;
  kx::desktop::QtUserPort port;
  kx::AppContext ctx{port};
  std::unique_ptr<TGenFromRejkoDlg> dlg;
};

}  // namespace

class GenFromRejkoDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("KX_NO_MODAL_ERRORS"); }

  void controlsAndStartState() {
    Program p;
    QCOMPARE(p.dlg->windowTitle(), QStringLiteral("Generuj dane z programu Rejko do JPK_KR"));
    QVERIFY(p.dlg->isModal());
    QCOMPARE(p.Get<QLabel>("labPeriod")->text(), QStringLiteral("Za okres:"));
    QCOMPARE(p.Get<QDateEdit>("dtp")->date(), QDate(2026, 11, 1));
    QCOMPARE(p.Get<QDateEdit>("dtp")->text(), QStringLiteral("listopad 2026"));
    QCOMPARE(p.Get<QPushButton>("btnDoIt")->text(), QStringLiteral("&Generuj"));
    p.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.dlg.get()));
    QVERIFY(!p.Get<QProgressBar>("ProgressBarKR")->isVisible());
    QVERIFY(!p.Get<QLabel>("lblProgMsg")->isVisible());
    QVERIFY(p.Get<QGroupBox>("GroupBox1")->isEnabled());
    const QString idle = qEnvironmentVariable("KX_GEN_FROM_REJKO_PNG");
    if (!idle.isEmpty()) QVERIFY(p.dlg->grab().save(idle, "PNG"));
    // Locked during a run: the bar with its five steps and the status.
    p.dlg->SetInProgresState(true, "Generowanie dziennika", 5);
    p.Get<QProgressBar>("ProgressBarKR")->setValue(3);
    QVERIFY(p.Get<QProgressBar>("ProgressBarKR")->isVisible());
    QCOMPARE(p.Get<QProgressBar>("ProgressBarKR")->maximum(), 5);
    QVERIFY(!p.Get<QGroupBox>("GroupBox1")->isEnabled());
    QCOMPARE(p.Get<QLabel>("lblProgMsg")->text(), QStringLiteral("Generowanie dziennika"));
    const QString running = qEnvironmentVariable("KX_GEN_FROM_REJKO_RUN_PNG");
    if (!running.isEmpty()) QVERIFY(p.dlg->grab().save(running, "PNG"));
    p.dlg->SetInProgresState(false, "", 100);
    QVERIFY(p.Get<QGroupBox>("GroupBox1")->isEnabled());
    p.dlg->hide();
  }

  void aRunEndsWithTheSaveQuestionAndAValidFile() {
    Program p;
    const fs::path file = p.dir / "kr.xml";
    ModalChain chain;
    chain.Box(QStringLiteral("&Tak")).Then<QFileDialog>([&](QFileDialog* d) { ChooseFile(d, Q(file)); });
    QCOMPARE(p.Run(chain), int(QDialog::Accepted));
    QCOMPARE(chain.texts, QStringList{QStringLiteral("Zapisać wygenerowany plik?")});
    QVERIFY(fs::exists(file));
    QCOMPARE(QString::fromStdString(SchemaErrors(file)), QString());
    QVERIFY(!p.dlg->Running());
    QVERIFY(!p.ctx.LedgerTaskRunning);
    // The month chosen is the program's month from now on.
    QVERIFY((p.ctx.AppSettings.CurDate == kx::tables::Date{2026, 11, 1}));
  }

  void aFailingRunShowsWhyAndAsksNothing() {
    Program p;
    p.ctx.AppSettings.RejkoDir = (p.dir / "brak").string() + "/";
    ModalChain chain;
    chain.Box(QStringLiteral("OK"));
    QCOMPARE(p.Run(chain), int(QDialog::Accepted));
    QCOMPARE(chain.Done(), size_t(1));
    QVERIFY2(chain.texts.value(0).contains(QStringLiteral("brak")), qPrintable(chain.texts.value(0)));
    QVERIFY(!p.dlg->MadeSuccessfully());
    QVERIFY(!fs::exists(p.dir / "kr.xml"));
  }

  void aSecondStartWhileATaskRunsIsRefused() {
    Program p;
    // The task's end reaches the dialog only through this thread's events:
    // until they are handled, the task is running.
    p.dlg->btnDoItClick();
    QVERIFY(p.dlg->Running());
    QVERIFY(p.ctx.LedgerTaskRunning);
    auto box = AnswerNextBox(QStringLiteral("OK"));
    p.dlg->btnDoItClick();
    QCOMPARE(box->text, QStringLiteral("Task is already running."));
    QTRY_VERIFY_WITH_TIMEOUT(!p.dlg->Running(), 60000);
    QVERIFY(!p.ctx.LedgerTaskRunning);
    QVERIFY(p.dlg->MadeSuccessfully());
  }
};

QTEST_MAIN(GenFromRejkoDlgTest)
#include "gen_from_rejko_dlg_test.moc"
