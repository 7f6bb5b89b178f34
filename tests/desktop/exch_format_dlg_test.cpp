// The converter dialog: its controls and start state, the checks and their
// messages, the file and folder pickers, and a conversion after which the
// dialog stays open for the next one.

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>
#include <filesystem>
#include <string>

#include "convert/ui/ExFormat.h"
#include "fixtures/generate_fixtures.h"
#include "qt_test_helpers.h"
#include "qt_user_port.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kxtest;
namespace fs = std::filesystem;

namespace {

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

struct Program {
  explicit Program(bool saveDir = true) {
    FirmSettings(ctx.AppSettings);
    ctx.RunDir = dir.Path().string() + "/";
    if (saveDir) ctx.AppSettings.SaveDir = (dir / "wynik").string() + "/";
    fs::create_directories(dir / "wynik");
    dlg = std::make_unique<TExchFormatDlg>(ctx);
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
  }
  ~Program() { dlg->hide(); }

  template <class W>
  W* Get(const char* name) const {
    W* w = dlg->findChild<W*>(QLatin1String(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }

  // Fills the dialog, presses "&Konwertuj" and returns what the box showed.
  BoxSeen Convert(const QString& input, const QString& file, const QString& output, const QString& folder) {
    Get<QComboBox>("cbInputFormat")->setEditText(input);
    Get<QLineEdit>("edInputFile")->setText(file);
    Get<QComboBox>("cbOutputFormat")->setEditText(output);
    Get<QLineEdit>("edOutputFolder")->setText(folder);
    auto box = AnswerNextBox(QStringLiteral("OK"));
    QTest::mouseClick(Get<QPushButton>("btnMakeIt"), Qt::LeftButton);
    return *box;
  }

  TempDir dir;
  kx::desktop::QtUserPort port;
  kx::AppContext ctx{port};
  std::unique_ptr<TExchFormatDlg> dlg;
};

}  // namespace

class ExchFormatDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { qunsetenv("KX_NO_MODAL_ERRORS"); }

  void controlsAndStartState() {
    Program p;
    QCOMPARE(p.dlg->windowTitle(), QStringLiteral("Konwersja danych"));
    QVERIFY(p.dlg->isModal());
    const std::pair<const char*, const char*> labels[] = {{"labInputFormat", "Format danych źródłowych"},
                                                          {"labInputFile", "Plik z danymi źródłowymi"},
                                                          {"labOutputFormat", "Format danych wynikowych"},
                                                          {"labOutputFolder", "Folder zapisu danych"}};
    for (const auto& [name, text] : labels) QCOMPARE(p.Get<QLabel>(name)->text(), QString::fromUtf8(text));
    auto items = [](QComboBox* box) {
      QStringList list;
      for (int i = 0; i < box->count(); ++i) list << box->itemText(i);
      return list;
    };
    QCOMPARE(items(p.Get<QComboBox>("cbInputFormat")), (QStringList{"JPK_FA (4)", "JPK_V7M (3)"}));
    QCOMPARE(items(p.Get<QComboBox>("cbOutputFormat")), (QStringList{"JPK_V7M (3)", "Buchalter", "Ramzes"}));
    QCOMPARE(p.Get<QComboBox>("cbInputFormat")->currentText(), QStringLiteral("JPK_FA (4)"));
    QCOMPARE(p.Get<QComboBox>("cbOutputFormat")->currentText(), QStringLiteral("JPK_V7M (3)"));
    QCOMPARE(p.Get<QToolButton>("btnInputFile")->toolTip(), QStringLiteral("Wybierz plik"));
    QCOMPARE(p.Get<QToolButton>("btnOutputFolder")->toolTip(), QStringLiteral("Wybierz folder"));
    QCOMPARE(p.Get<QPushButton>("btnMakeIt")->text(), QStringLiteral("&Konwertuj"));
    QVERIFY(p.Get<QPushButton>("btnMakeIt")->isDefault());
    // The output folder: SaveDir, or without it the configuration's folder.
    QCOMPARE(p.Get<QLineEdit>("edOutputFolder")->text(), Q(p.dir / "wynik") + "/");
    Program noSaveDir(false);
    QCOMPARE(noSaveDir.Get<QLineEdit>("edOutputFolder")->text(), Q(noSaveDir.dir.Path()) + "/");
  }

  void checksShowTheirMessageAndTheDialogStays() {
    Program p;
    const QString v7m = Q(SharedDir() / "samples" / "JPK_V7M" / "jpk_v7m3_mf_example_person.xml");
    struct Case {
      QString input, file, output, message;
    };
    const Case cases[] = {
        {"JPK_V7M (3)", v7m, "JPK_V7M (3)", "Taki sam format danych źródłowych i wynikowych: JPK_V7M (3)"},
        {"JPK_V7M (3)", "", "Ramzes", "Nie wybrano pliku do konwersji"},
        {"JPK_V7M (3)", Q(p.dir / "brak.xml"), "Ramzes", "Nie znaleziono pliku"},
        {"JPK_FA (4)", v7m, "JPK_V7M (3)", "Zła struktura pliku. Brak zgodności z JPK_FA (4)"},
    };
    for (const Case& c : cases) {
      const BoxSeen box = p.Convert(c.input, c.file, c.output, Q(p.dir / "wynik"));
      QVERIFY2(box.text.endsWith(c.message), qPrintable(box.text));
      QCOMPARE(box.title, QStringLiteral("Błąd"));
      QVERIFY(p.dlg->isVisible());
    }
    QVERIFY(fs::is_empty(p.dir / "wynik"));
  }

  void aConversionEndsWithItsBoxAndTheDialogStaysOpen() {
    Program p;
    const fs::path input = p.dir / "luty.xml";
    fs::copy_file(SharedDir() / "samples" / "JPK_V7M" / "jpk_v7m3_mf_example_person.xml", input);
    // A folder typed without its separator gets one.
    const BoxSeen box = p.Convert("JPK_V7M (3)", Q(input), "Ramzes", Q(p.dir / "wynik"));
    QCOMPARE(box.title, QStringLiteral("Informacja"));
    QVERIFY2(box.text.startsWith(QStringLiteral("Zakończono konwersję")), qPrintable(box.text));
    QCOMPARE(p.Get<QLineEdit>("edOutputFolder")->text(), Q(p.dir / "wynik") + "/");
    QVERIFY(fs::exists(p.dir / "wynik" / "JPKVAT_to_Ramzes_luty.xml"));
    QVERIFY(p.dlg->isVisible());
  }

  void theFilePickerFillsTheInputFile() {
    Program p;
    const fs::path input = p.dir / "wynik" / "marzec.xml";
    p.dir.Write("wynik/marzec.xml", "<JPK/>");
    QString title;
    auto watch = OnNextModal<QFileDialog>([&](QFileDialog* d) {
      title = d->windowTitle();
      ChooseFile(d, Q(input));
    });
    QTest::mouseClick(p.Get<QToolButton>("btnInputFile"), Qt::LeftButton);
    QVERIFY(watch->done);
    QCOMPARE(title, QStringLiteral("Wybierz plik"));
    QCOMPARE(p.Get<QLineEdit>("edInputFile")->text(), Q(input));
  }

  void everyControlIsInsideTheWindow() {
    Program p;
    QVERIFY(QTest::qWaitForWindowExposed(p.dlg.get()));
    const QImage image = p.dlg->grab().toImage();
    for (QWidget* w : p.dlg->findChildren<QWidget*>()) {
      if (!w->isVisible() || w->parentWidget() != p.dlg.get()) continue;
      const QRect r(w->mapTo(p.dlg.get(), QPoint(0, 0)), w->size());
      QVERIFY2(p.dlg->rect().contains(r), qPrintable(w->objectName()));
    }
    const QString target = qEnvironmentVariable("KX_EXCH_FORMAT_PNG");
    if (!target.isEmpty()) QVERIFY(image.save(target, "PNG"));
  }
};

QTEST_MAIN(ExchFormatDlgTest)
#include "exch_format_dlg_test.moc"
