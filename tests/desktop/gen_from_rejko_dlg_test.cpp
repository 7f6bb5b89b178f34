// The JPK_KR dialog: its controls and start state, a run on a small ledger on
// the background task with its progress steps and the save question, failing
// runs, a second start and closing during a run, the program's end during a
// run, and the other table work of the program refused while a task runs.

#include <QDateEdit>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/ui/MainUnit.h"
#include "app_windows.h"
#include "application.h"
#include "editor/ui/JpkVat3u.h"
#include "export/ui/GenFromTowix.h"
#include "fixtures/table_builder.h"
#include "fixtures/warehouse_fixture.h"
#include "jpk/files/jpkTools.h"
#include "ledger/ui/GenFromRejko.h"
#include "qt_test_helpers.h"
#include "qt_user_port.h"
#include "support/jpk_schema.h"
#include "support/scripted_user_port.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::tables::Date;
using kx::tables::FieldKind;
namespace fs = std::filesystem;

namespace {

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

constexpr int kNovember = 12655;  // the ledger's number of November 2026

// A ledger year 2026 in a few rows: accounts on three levels, and two
// bookings of November (four account entries) besides one of October.
void WriteLedger(const fs::path& dir) {
  fs::create_directories(dir);
  TableBuilder a("accounts");
  a.Field("Primary", FieldKind::Short)
      .Field("Secondary1", FieldKind::Short)
      .Field("Secondary2", FieldKind::Short)
      .Field("Secondary3", FieldKind::Short)
      .Field("Account Name", FieldKind::Text, 60)
      .Field("Options", FieldKind::Short)
      .Field("InitYDebit", FieldKind::Currency)
      .Field("InitYCredit", FieldKind::Currency);
  a.Row({130, nullptr, nullptr, nullptr, "Rachunek bieżący", 0, 1000.0, 0.0})
      .Row({201, nullptr, nullptr, nullptr, "Rozrachunki", 0, 0.0, 0.0})
      .Row({201, 2, nullptr, nullptr, "Krajowi", 0, 0.0, 0.0})
      .Row({201, 2, 15, nullptr, "Dostawca Kowalski", 0, 0.0, 0.0})
      .Row({700, nullptr, nullptr, nullptr, "Sprzedaż", 0x04, 0.0, 0.0});
  a.WriteParadox(dir);
  TableBuilder d("details");
  d.Field("Period Id", FieldKind::Integer)
      .Field("Seq No", FieldKind::Text, 12)
      .Field("Primary Account", FieldKind::Short)
      .Field("Secondary Account", FieldKind::Short)
      .Field("Secondary2 Account", FieldKind::Short)
      .Field("Description", FieldKind::Text, 60)
      .Field("Debit", FieldKind::Currency)
      .Field("Credit", FieldKind::Currency);
  d.Row({kNovember - 5, "1", 130, 0, 0, "Wpłata", 50.0, nullptr})
      .Row({kNovember - 5, "1", 700, 0, 0, "Sprzedaż", nullptr, 50.0})
      .Row({kNovember, "2", 201, 2, 15, "Zapłata dostawcy", 100.0, nullptr})
      .Row({kNovember, "2", 130, 0, 0, "", nullptr, 100.0})
      .Row({kNovember, "3", 130, 0, 0, "Wpłata", 250.25, nullptr})
      .Row({kNovember, "3", 700, 0, 0, "Sprzedaż", nullptr, 250.25});
  d.WriteParadox(dir);
  TableBuilder j("journal");
  j.Field("Period Id", FieldKind::Integer)
      .Field("Seq No", FieldKind::Text, 12)
      .Field("Book Type", FieldKind::Text, 30)
      .Field("Book No", FieldKind::Text, 30)
      .Field("Book Id", FieldKind::Text, 10)
      .Field("Date", FieldKind::Date)
      .Field("Book Date", FieldKind::Date)
      .Field("Operator Id", FieldKind::Text, 10)
      .Field("Comments", FieldKind::Text, 80);
  j.Row({kNovember - 5, "1", "Wyciąg bankowy", "WB 1", "WB", Date{2026, 10, 5}, Date{2026, 10, 6}, "AKOW", "Wpłata"})
      .Row({kNovember, "2", "Wyciąg bankowy", "WB 2", "WB", Date{2026, 11, 5}, Date{2026, 11, 6}, "AKOW", ""})
      .Row({kNovember, "3", "Sprzedaż", "FV 3", "FV", Date{2026, 11, 9}, Date{2026, 11, 9}, "AKOW", "Sprzedaż"});
  j.WriteParadox(dir);
}

const std::vector<std::string> kGroups{"0 Aktywa trwałe",
                                       "1 Środki pieniężne",
                                       "2 Rozrachunki i roszczenia",
                                       "3 Materiały i towary",
                                       "4 Koszty według rodzajów",
                                       "5 Koszty według typów działalności",
                                       "6 Produkty",
                                       "7 Przychody",
                                       "8 Kapitały i wynik finansowy",
                                       "9 Konta pozabilansowe"};

// The firm's settings over the ledger in dir/rejko: November 2026.
void LedgerSettings(kx::AppContext& ctx, const TempDir& dir) {
  FirmSettings(ctx.AppSettings);
  WarehouseFirmAddress(ctx.AppSettings);
  ctx.AppSettings.RejkoDir = (dir / "rejko").string() + "/";
  ctx.AppSettings.SaveDir = dir.Path().string() + "/";
  ctx.AppSettings.CurDate = {2026, 11, 20};
  ctx.RejkoAccSet = kGroups;
}

// A working folder "praca" with the shipped query files, made the current
// folder for the life of the object.
struct WorkingFolder {
  explicit WorkingFolder(const TempDir& dir) : previous(fs::current_path()) {
    WriteLedger(dir / "rejko" / "2026");
    fs::create_directories(dir / "praca" / "SQL");
    for (const char* f : {"zois.sql", "dziennik.sql"}) {
      fs::copy_file(SourceDir() / "data" / "SQL" / f, dir / "praca" / "SQL" / f);
    }
    fs::current_path(dir / "praca");
  }
  ~WorkingFolder() { fs::current_path(previous); }
  fs::path previous;
};

// The dialog alone, with real message boxes or with a scripted user port.
struct Program {
  explicit Program(bool scripted = false)
      : work(dir), ctx(scripted ? static_cast<kx::ui::UserPort&>(script) : static_cast<kx::ui::UserPort&>(qt)) {
    LedgerSettings(ctx, dir);
    dlg = std::make_unique<TGenFromRejkoDlg>(ctx);
  }

  template <class W>
  W* Get(const char* name) const {
    W* w = dlg->findChild<W*>(QLatin1String(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }

  // Shows the dialog and runs action in it (the dialog's event loop goes on
  // once the action returns); returns the dialog's result.
  int Exec(const std::function<void(TGenFromRejkoDlg*)>& action) {
    auto watch = OnNextModal<TGenFromRejkoDlg>(action);
    const int result = dlg->exec();
    if (!watch->done) qFatal("the dialog was not shown");
    return result;
  }
  // Shows the dialog and presses "&Generuj"; the chain answers what follows.
  int Run(ModalChain& after) {
    return Exec([&](TGenFromRejkoDlg* d) {
      after.Start();
      QTest::mouseClick(d->findChild<QPushButton*>("btnDoIt"), Qt::LeftButton);
    });
  }

  TempDir dir;
  WorkingFolder work;
  kx::desktop::QtUserPort qt;
  ScriptedUserPort script;
  kx::AppContext ctx;
  std::unique_ptr<TGenFromRejkoDlg> dlg;
};

std::vector<std::string> Texts(const ScriptedUserPort& port) {
  std::vector<std::string> texts;
  for (const auto& s : port.shown) texts.push_back(s.text);
  return texts;
}

// Lets each hand-over of the task reach the dialog and then holds the task
// while the progress timer shows it: records what the bar and the status
// line show after every step.
class ProgressRecorder : public QObject {
 public:
  explicit ProgressRecorder(Program& p, std::function<void(int)> atStep = {}) : m_p(p), m_atStep(std::move(atStep)) {
    p.dlg->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != m_p.dlg.get() || event->type() != QEvent::MetaCall || !m_p.dlg->Running() || m_inside) {
      return false;
    }
    m_inside = true;
    watched->event(event);
    if (m_p.dlg->Running()) {
      QTest::qWait(450);  // at least two ticks of the 200 ms timer
      auto* bar = m_p.Get<QProgressBar>("ProgressBarKR");
      steps.emplace_back(bar->isVisible() ? bar->value() : -1, m_p.Get<QLabel>("lblProgMsg")->text());
      if (m_atStep) m_atStep(bar->value());
    }
    m_inside = false;
    return true;
  }
  std::vector<std::pair<int, QString>> steps;

 private:
  Program& m_p;
  std::function<void(int)> m_atStep;
  bool m_inside = false;
};

// The [System] section of a configuration with both source folders.
std::string IniText(const TempDir& dir) {
  return "[System]\nNIP=7270120002\nNazwa=Firma\nEmail=biuro@firma.pl\nUSCode=1009\nNazwaSystemu=kx2jpk\n"
         "KXDataDir=" +
         (dir / "towix").string() + "\nRejkoDir=" + (dir / "rejko").string() +
         "\nNetFileDir=" + (dir / "net").string() + "\nCurDate=2026.11.20\n";
}

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
    QCOMPARE(p.Get<QTimer>("tmrProgress")->interval(), 200);
    QVERIFY(!p.Get<QTimer>("tmrProgress")->isActive());
    p.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.dlg.get()));
    QVERIFY(!p.Get<QProgressBar>("ProgressBarKR")->isVisible());
    QVERIFY(!p.Get<QLabel>("lblProgMsg")->isVisible());
    QVERIFY(p.Get<QGroupBox>("GroupBox1")->isEnabled());
    QVERIFY(!p.dlg->Running());
    const QImage image = p.dlg->grab().toImage();
    for (QWidget* w : p.dlg->findChildren<QWidget*>()) {
      if (!w->isVisible()) continue;
      const QRect r(w->mapTo(p.dlg.get(), QPoint(0, 0)), w->size());
      QVERIFY2(p.dlg->rect().contains(r), qPrintable(w->objectName()));
    }
    const QString idle = qEnvironmentVariable("KX_GEN_FROM_REJKO_PNG");
    if (!idle.isEmpty()) QVERIFY(image.save(idle, "PNG"));
    p.dlg->hide();
  }

  // The steps reach the bar and the status line through the timer; the run
  // ends with the dialog closing and the save question; the file is valid.
  void aRunShowsItsStepsAndOffersTheFile() {
    Program p;
    const fs::path file = p.dir / "kr.xml";
    bool lockedDuringRun = false;
    ProgressRecorder recorder(p, [&](int step) {
      lockedDuringRun = !p.Get<QGroupBox>("GroupBox1")->isEnabled() && p.ctx.LedgerTaskRunning;
      const QString running = qEnvironmentVariable("KX_GEN_FROM_REJKO_RUN_PNG");
      if (step == 3 && !running.isEmpty()) QVERIFY(p.dlg->grab().save(running, "PNG"));
    });
    ModalChain chain;
    chain.Box(QStringLiteral("&Tak")).Then<QFileDialog>([&](QFileDialog* d) { ChooseFile(d, Q(file)); });
    QCOMPARE(p.Run(chain), int(QDialog::Accepted));

    const std::vector<std::pair<int, QString>> steps{{1, QStringLiteral("Generowanie ZOiS")},
                                                     {2, QStringLiteral("Generowanie ZOiS")},
                                                     {3, QStringLiteral("Generowanie dziennika")},
                                                     {4, QStringLiteral("Generowanie zapisów na kontach")}};
    QCOMPARE(recorder.steps, steps);
    QCOMPARE(p.Get<QProgressBar>("ProgressBarKR")->maximum(), 5);
    QVERIFY(lockedDuringRun);
    QCOMPARE(chain.texts, QStringList{QStringLiteral("Zapisać wygenerowany plik?")});
    QCOMPARE(QString::fromStdString(SchemaErrors(file)), QString());
    auto saved = kx::jpk::kr::LoadJPKKR(file);
    QCOMPARE(saved.KontoZapis().Count(), 4);
    QCOMPARE(saved.Dziennik().Count(), 2);
    // Idle again, the month chosen is the program's month from now on.
    QVERIFY(!p.dlg->Running());
    QVERIFY(!p.ctx.LedgerTaskRunning);
    QVERIFY(!p.Get<QProgressBar>("ProgressBarKR")->isVisible());
    QVERIFY(p.Get<QGroupBox>("GroupBox1")->isEnabled());
    QVERIFY((p.ctx.AppSettings.CurDate == Date{2026, 11, 1}));
  }

  // No drops the document; the next run builds a new one, not one on top.
  void answeringNoDropsTheDocument() {
    Program p(true);
    const fs::path file = p.dir / "kr.xml";
    p.script.answers = {kx::ui::Button::No, kx::ui::Button::Yes};
    p.script.files = {file.string()};
    for (int run = 0; run < 2; ++run) {
      QCOMPARE(p.Exec([](TGenFromRejkoDlg* d) { d->btnDoItClick(); }), int(QDialog::Accepted));
      QCOMPARE(fs::exists(file), run == 1);
    }
    QCOMPARE(Texts(p.script), (std::vector<std::string>{"Zapisać wygenerowany plik?", "Zapisać wygenerowany plik?"}));
    auto saved = kx::jpk::kr::LoadJPKKR(file);
    QCOMPARE(saved.KontoZapis().Count(), 4);
    QCOMPARE(saved.KontoZapisCtrl().LiczbaWierszyKontoZapisj(), 4);
    QCOMPARE(p.script.busyDepth, 0);
  }

  void failuresAreShownAndNothingIsOffered_data() {
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("no ledger of the year") << 0 << QStringLiteral("brak");
    QTest::newRow("journal query without a column") << 1 << QStringLiteral("KwotaOperacji");
    QTest::newRow("month without postings") << 2 << QStringLiteral("Brak zapisów w księgach za miesiąc 2026-09");
  }

  // The dialog goes back to idle and closes; the reason is in the error box
  // and no file is offered.
  void failuresAreShownAndNothingIsOffered() {
    QFETCH(int, failure);
    QFETCH(QString, message);
    Program p;
    if (failure == 0) p.ctx.AppSettings.RejkoDir = (p.dir / "brak").string() + "/";
    if (failure == 1) {
      p.dir.Write("praca/SQL/dziennik.sql",
                  "SELECT D.\"Seq No\"\nFROM journal D\n\nWHERE (D.\"Period Id\" = :PeriodId) \n");
    }
    if (failure == 2) p.Get<QDateEdit>("dtp")->setDate(QDate(2026, 9, 1));
    bool idleWhenShown = false;
    ModalChain chain;
    chain
        .Then<QMessageBox>([&](QMessageBox* box) {
          chain.texts << box->text();
          idleWhenShown = !p.dlg->Running() && p.Get<QGroupBox>("GroupBox1")->isEnabled() &&
                          !p.Get<QProgressBar>("ProgressBarKR")->isVisible();
          box->accept();
        })
        .Box(QStringLiteral("&Nie"));  // a save question, were one asked
    QCOMPARE(p.Run(chain), int(QDialog::Accepted));
    QCOMPARE(chain.texts.size(), 1);
    QVERIFY2(chain.texts[0].contains(message), qPrintable(chain.texts[0]));
    QVERIFY(idleWhenShown);
    QVERIFY(!p.dlg->MadeSuccessfully());
    QVERIFY(!p.ctx.LedgerTaskRunning);
    QVERIFY(!fs::exists(p.dir / "kr.xml"));
  }

  // A second start during a run changes nothing; a run whose dialog was closed
  // ends without a save question, and the reopened dialog asks nothing either.
  void secondStartAndClosingDuringARun() {
    Program p(true);
    bool lockedAtStart = false;
    QCOMPARE(p.Exec([&](TGenFromRejkoDlg* d) {
      d->btnDoItClick();
      // The task cannot end before this thread takes its steps.
      lockedAtStart = d->Running() && p.ctx.LedgerTaskRunning && !p.Get<QGroupBox>("GroupBox1")->isEnabled() &&
                      p.Get<QProgressBar>("ProgressBarKR")->isVisible() &&
                      p.Get<QLabel>("lblProgMsg")->text() == QStringLiteral("Proszę czekać...") &&
                      p.script.busyDepth == 1;
      p.Get<QDateEdit>("dtp")->setDate(QDate(2026, 9, 1));
      d->btnDoItClick();
      d->reject();
    }),
             int(QDialog::Rejected));
    QVERIFY(lockedAtStart);
    QCOMPARE(Texts(p.script), std::vector<std::string>{"Task is already running."});
    QVERIFY((p.ctx.AppSettings.CurDate == Date{2026, 11, 1}));
    QTRY_VERIFY_WITH_TIMEOUT(!p.dlg->Running(), 20000);
    QVERIFY(!p.dlg->MadeSuccessfully());
    QVERIFY(!p.ctx.LedgerTaskRunning);
    QCOMPARE(p.script.busyDepth, 0);
    QCOMPARE(p.Exec([](TGenFromRejkoDlg* d) { d->reject(); }), int(QDialog::Rejected));
    QCOMPARE(Texts(p.script), std::vector<std::string>{"Task is already running."});
  }

  // At program end a running task is stopped and waited for, silently.
  void programEndStopsARunningTask() {
    Program p(true);
    p.dlg->show();
    p.dlg->btnDoItClick();
    QVERIFY(p.dlg->Running());
    p.dlg.reset();
    QVERIFY(!p.ctx.LedgerTaskRunning);
    QVERIFY(p.script.shown.empty());
    QCOMPARE(p.script.busyDepth, 0);
  }

  // While the task runs, every other command that reads or writes tables is
  // refused with a message; once it has ended they work again.
  void otherTableWorkWaitsForTheTask() {
    TempDir dir;
    WorkingFolder work(dir);
    fs::create_directories(dir / "towix");
    fs::create_directories(dir / "net");
    ScriptedUserPort port;
    kx::AppContext ctx{port};
    std::vector<int> exitCodes;
    kx::desktop::Application::SetTerminate([&](int code) { exitCodes.push_back(code); });
    kx::desktop::AppWindows windows;
    windows.Create(ctx, {QCoreApplication::applicationFilePath().toStdString(),
                         "/ini=" + dir.Write("firma.ini", IniText(dir)).string()});
    kx::desktop::Application::SetTerminate(nullptr);
    QVERIFY2(exitCodes.empty(), port.shown.empty() ? "" : port.shown[0].text.c_str());
    LedgerSettings(ctx, dir);
    TMainForm* main = windows.MainForm.get();
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    port.answers = {kx::ui::Button::No};  // the save question at the end of the run

    const char* const commands[] = {"btnJPK_FA", "btnJPK_MAG", "btnGenFromTowix", "btnExchangeFormat"};
    bool running = false;
    auto krShown = OnNextModal<TGenFromRejkoDlg>([&](TGenFromRejkoDlg* d) {
      d->btnDoItClick();
      running = ctx.LedgerTaskRunning;
      for (const char* name : commands) main->findChild<QPushButton*>(name)->click();
      windows.JpkVatDlg->btnMakeJPKClick();  // the editor's generation
    });
    main->findChild<QPushButton*>("btnJPK_KR")->click();
    QVERIFY(krShown->done);
    QVERIFY(running);
    const std::string refused = "Trwa tworzenie JPK_KR. Poczekaj na jego zakończenie.";
    QCOMPARE(Texts(port),
             (std::vector<std::string>{refused, refused, refused, refused, refused, "Zapisać wygenerowany plik?"}));
    QVERIFY(!ctx.LedgerTaskRunning);

    auto exportShown = OnNextModal<TGenFromTowixDlg>([](TGenFromTowixDlg* d) { d->reject(); });
    main->findChild<QPushButton*>("btnJPK_FA")->click();
    QVERIFY(exportShown->done);
    QCOMPARE(port.shown.size(), size_t(6));
    main->hide();
  }
};

QTEST_MAIN(GenFromRejkoDlgTest)
#include "gen_from_rejko_dlg_test.moc"
