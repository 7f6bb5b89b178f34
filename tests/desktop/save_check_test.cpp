// The check of every JPK file the desktop program saves: a file the schema
// refuses is shown with the complaints and kept only when the user says so;
// a valid file is saved without a question.

#include <QtTest>
#include <filesystem>
#include <string>

#include "fixtures/v7m_fixture.h"
#include "jpk/files/jpkTools.h"
#include "platform/error.h"
#include "save_check.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kxtest;
namespace fs = std::filesystem;

class SaveCheckTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { kx::jpk::SetSaveCheck({}); }

  void invalidFileIsKeptOnlyOnYes() {
    TempDir dir;
    ScriptedUserPort port;
    kx::AppContext ctx(port);
    ctx.RunDir = dir.Path().string() + "/";  // the bundled schemas are found beside the program
    kx::jpk::SetSaveCheck(kx::desktop::MakeSaveCheck(ctx));
    std::string text = V7MFile(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") + SaleCtrl(1, "23") + PurchaseCtrl(0, "0"));
    text.replace(text.find("<DI>1</DI>"), 10, "<NrKSeF></NrKSeF>");
    const fs::path file = dir / "luty.xml";

    // No: the save fails with its reason, nothing is written.
    auto root = kx::jpk::v7m::GetJPKRoot(kx::xml::XmlDocument::FromString(text));
    port.answers = {kx::ui::Button::No};
    std::string failure;
    try {
      kx::jpk::SaveV7MFile(root, file.string());
    } catch (const kx::Error& e) {
      failure = e.what();
    }
    QCOMPARE(failure, "Nie można zapisać pliku " + file.string() + ": plik niezgodny ze schematem nie został zapisany");
    QVERIFY(!fs::exists(file));
    QCOMPARE(port.shown.size(), size_t{1});
    const std::string& asked = port.shown[0].text;
    QVERIFY2(asked.find("Plik " + file.string() +
                        " jest niezgodny ze schematem (błędów: 1):\r"
                        "JPK/Ewidencja/SprzedazWiersz/NrKSeF: ") == 0,
             asked.c_str());
    QVERIFY(asked.find("Zapisać go mimo to?") != std::string::npos);

    // Yes: written.
    port.answers = {kx::ui::Button::Yes};
    kx::jpk::SaveV7MFile(root, file.string());
    QVERIFY(fs::exists(file));

    // A valid file: no question.
    port.shown.clear();
    text.replace(text.find("<NrKSeF></NrKSeF>"), 17, "<DI>1</DI>");
    auto valid = kx::jpk::v7m::GetJPKRoot(kx::xml::XmlDocument::FromString(text));
    kx::jpk::SaveV7MFile(valid, (dir / "marzec.xml").string());
    QVERIFY(port.shown.empty());
    QVERIFY(fs::exists(dir / "marzec.xml"));
  }
};

QTEST_MAIN(SaveCheckTest)
#include "save_check_test.moc"
