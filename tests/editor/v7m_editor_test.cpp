// The editor session: the open command with its clean-up and repairs, link,
// save and the proposed name, RefreshInfo, declaration removal, receipt sales.

#include "editor/v7m_editor.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "editor/line_breaks.h"
#include "fixtures/v7m_fixture.h"
#include "jpk/v7m/v7m_records.h"
#include "jpk/files/jpkTools.h"
#include "support/jpk_schema.h"
#include "support/scripted_user_port.h"
#include "support/shared_paths.h"
#include "support/two_pass_save.h"
#include "support/temp_dir.h"

using namespace kx;
using namespace kx::editor;
using namespace kx::jpk::v7m;
using kx::ui::Button;
using kxtest::Declaration;
using kxtest::Purchase;
using kxtest::PurchaseCtrl;
using kxtest::Sale;
using kxtest::SaleCtrl;
using kxtest::V7MFile;
namespace fs = std::filesystem;

namespace {

struct Session {
  kxtest::TempDir dir;
  kxtest::ScriptedUserPort port;
  AppContext ctx{port};
  V7MEditor editor{ctx, dir.Path()};
  Session() {
    ctx.AppSettings.CurDate = {2026, 2, 10};
    ctx.AppSettings.SaveDir = (dir.Path() / "out").string() + "/";
    fs::create_directories(dir / "out");
  }
  // A file in its pretty-printed form, as the program writes it.
  fs::path Pretty(const std::string& name, const std::string& text) {
    auto path = dir.Write(name, text);
    auto jpk = jpk::v7m::GetJPKRoot(xml::XmlDocument::FromString(text));
    jpk.OwnerDocument().SaveToFile(path);
    jpk::FormatAndSaveV7M(jpk, path.string());
    return path;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& s : port.shown) t.push_back(s.text);
    return t;
  }
};

// Working files left in a folder: copies of the clean-up, unfinished saves.
int WorkingCopies(const fs::path& dir) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    n += name.rfind("_tmp_V7M", 0) == 0 || (name[0] == '.' && e.path().extension() == ".tmp");
  }
  return n;
}

const std::string kUpToDate = V7MFile(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") + SaleCtrl(1, "23") +
                                      Purchase(1, "<K_42>1000</K_42><K_43>230</K_43>") + PurchaseCtrl(1, "230"));

}  // namespace

TEST(LineBreaks, JoinedWithOneSpace) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"<a>abc\r\ndef</a>", "<a>abc def</a>"},    {"<a>abc\ndef</a>", "<a>abc def</a>"},
      {"<a>abc\rdef</a>", "<a>abc def</a>"},      {"<a>abc \r\ndef</a>", "<a>abc def</a>"},
      {"<a>\r\n  <b/>\r\n</a>", "<a>  <b/></a>"}, {"<a>x\r\n\r\ny</a>", "<a>x  y</a>"},
  };
  for (const auto& c : cases) EXPECT_EQ(RemoveLineBreaks(c.in), c.out);
}

TEST(LineBreaks, CleanUpWithBackupAndByteSizeRule) {
  Session s;
  // A split value is joined; the old file lies in backup as "_" + name.
  std::string split = kUpToDate;
  split.replace(split.find("Sklep Pod Lipami"), 16, "Sklep Pod\r\nLipami");
  auto file = s.dir.Write("split.xml", split);
  ASSERT_TRUE(CleanLineBreaks(file.string(), s.port));
  EXPECT_NE(kxtest::ReadFile(file).find("<NazwaKontrahenta>Sklep Pod Lipami</NazwaKontrahenta>"), std::string::npos);
  EXPECT_EQ(kxtest::ReadFile(s.dir / "backup" / "_split.xml"), split);
  EXPECT_EQ(WorkingCopies(s.dir.Path()), 0);

  // A file already in the program's form keeps its bytes.
  auto pretty = s.Pretty("pretty.xml", kUpToDate);
  std::string bytes = kxtest::ReadFile(pretty);
  ASSERT_TRUE(CleanLineBreaks(pretty.string(), s.port));
  EXPECT_EQ(kxtest::ReadFile(pretty), bytes);
  EXPECT_TRUE(fs::exists(s.dir / "backup" / "_pretty.xml"));
  EXPECT_EQ(WorkingCopies(s.dir.Path()), 0);

  // An empty file: the message, and the file stays where it was.
  auto empty = s.dir.Write("empty.xml", "");
  EXPECT_FALSE(CleanLineBreaks(empty.string(), s.port));
  EXPECT_EQ(s.Texts(), std::vector<std::string>{"Brak danych do odczytu"});
  EXPECT_TRUE(fs::exists(empty));

  // Text that is no XML: the failure goes on and the file keeps its bytes.
  auto broken = s.dir.Write("broken.xml", "<JPK>\r\n<a>");
  EXPECT_THROW(CleanLineBreaks(broken.string(), s.port), Error);
  EXPECT_EQ(kxtest::ReadFile(broken), "<JPK>\r\n<a>");
}

// The clean-up reads the file once and writes it from memory: the bytes
// are those of the former way (cleaned text written, read back, pretty
// printed, read and written again), and the editor's document is what
// reading the cleaned file gives.
TEST(LineBreaks, OneReadGivesTheBytesOfTheFormerWay) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& e : fs::directory_iterator(kxtest::SharedDir() / "samples" / "JPK_V7M")) {
    if (e.path().extension() == ".xml") files.emplace_back(e.path().filename().string(), kxtest::ReadFile(e.path()));
  }
  std::string split = kUpToDate;
  split.replace(split.find("Sklep Pod Lipami"), 16, "Sklep\r\nPod\nLipami");
  split.replace(split.find("<Naglowek>"), 10, "<!-- z innego programu -->\r\n<Naglowek>\r\n   ");
  files.emplace_back("split.xml", split);
  ASSERT_GE(files.size(), 2u);
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    Session s;
    s.ctx.AppSettings.ClearEnter = true;
    s.port.answers = {Button::No};  // the prefixes of a tns file stay as they are
    const fs::path reference = s.dir.Write("reference.xml", RemoveLineBreaks(bytes));
    const std::string expected = kxtest::TwoPassSave(xml::XmlDocument::FromFile(reference), s.dir / "expected.xml");
    const fs::path file = s.dir.Write(name, bytes);
    s.editor.OpenFile(file.string());
    const std::string written = kxtest::ReadFile(file);
    EXPECT_EQ(written, expected.size() == bytes.size() ? bytes : expected);
    EXPECT_TRUE(s.editor.HasDocument() || name.find("tns") != std::string::npos);
    if (s.editor.HasDocument()) {
      EXPECT_EQ(s.editor.Document().OwnerDocument().Xml(), xml::XmlDocument::FromFile(file).Xml()) << "as read back";
    }
  }
}

TEST(EditorOpen, UpToDateFileStaysUnmodified) {
  Session s;
  auto file = s.Pretty("luty.xml", kUpToDate);
  ASSERT_TRUE(s.editor.OpenFile(file.string()));
  EXPECT_FALSE(s.editor.Modified());
  EXPECT_EQ(s.editor.FileName(), file.string());
  EXPECT_EQ(s.ctx.JpkFileName, file.string());
  EXPECT_EQ(s.ctx.SaveDlg.fileName, file.string());
  EXPECT_EQ(s.ctx.OpenDlg.initialDir, s.dir.Path().string() + "/");
  auto info = s.editor.RefreshInfo();
  EXPECT_EQ(info.caption, file.string() + " - Kalvor JPK");
  EXPECT_EQ(info.nip, "7270120002");
  EXPECT_EQ(info.dateRange, "2026-02");
  EXPECT_EQ(info.saleCount, "1");
  EXPECT_EQ(info.saleTax, "23");
  EXPECT_EQ(info.purchaseTax, "230");
  EXPECT_EQ(info.declarationCaption, "Deklaracja - brak części deklaracyjnej w pliku JPK_V7");
  EXPECT_FALSE(info.clearDeclarationEnabled);
  EXPECT_TRUE(info.recalcDeclarationEnabled);
  EXPECT_TRUE(s.port.shown.empty());
}

TEST(EditorOpen, RenumberedRolaAddedAndWrongStructure) {
  Session s;
  auto file = s.dir.Write("stary.xml", V7MFile(Sale(5, "") + SaleCtrl(1, "0") + PurchaseCtrl(0, "0"), "", true, false));
  s.ctx.AppSettings.ClearEnter = false;
  ASSERT_TRUE(s.editor.OpenFile(file.string()));
  EXPECT_TRUE(s.editor.Modified());
  EXPECT_EQ(s.Texts(),
            std::vector<std::string>{"Dodano brakujący atrybut: \"Rola\" w węźle XML:\r<Podmiot1 rola=\"Podatnik\">"});
  EXPECT_EQ(s.editor.Document().Node().FindChild("Podmiot1").Attribute("rola"), "Podatnik");
  auto info = s.editor.RefreshInfo();
  EXPECT_EQ(info.caption, "*" + file.string() + " - Kalvor JPK");
  EXPECT_EQ(s.editor.RefreshInfo().caption.rfind("**", 0), std::string::npos);
  EXPECT_FALSE(fs::exists(s.dir / "backup"));  // no clean-up with ClearEnter off

  // A JPK_FA file: the error box, and the editor keeps its document.
  s.port.shown.clear();
  auto fa = kxtest::SharedDir() / "samples" / "JPK_FA" / "jpk_fa4_synthetic_default_ns.xml";
  fs::copy_file(fa, s.dir / "fa.xml");
  s.port.answers = {Button::No};  // "Zapisać dokonane zmiany?" of the open command
  s.port.files = {std::optional<std::string>((s.dir / "fa.xml").string())};
  s.editor.askNewOrLink = [] { return ui::ModalResult::Yes; };
  EXPECT_FALSE(s.editor.OpenCommand());
  EXPECT_EQ(s.Texts(), (std::vector<std::string>{"Zapisać dokonane zmiany?",
                                                 "Zła struktura pliku. Brak zgodności z JPK_V7M (3)"}));
  EXPECT_EQ(s.editor.FileName(), file.string());
  EXPECT_EQ(s.port.shown[1].kind, ui::BoxKind::Error);
}

TEST(EditorOpen, PrefixRepairAndLinking) {
  Session s;
  auto tns = s.dir / "tns.xml";
  fs::copy_file(kxtest::SharedDir() / "samples" / "JPK_V7M" / "jpk_v7m3_tns_prefix_uti-kb_example.xml", tns);
  fs::permissions(tns, fs::perms::owner_read | fs::perms::owner_write);
  s.port.answers = {Button::Yes};
  ASSERT_TRUE(s.editor.OpenFile(tns.string()));
  EXPECT_TRUE(fs::exists(s.dir / "backup" / "~tns.xml"));
  EXPECT_TRUE(fs::exists(s.dir / "backup" / "_tns.xml"));
  EXPECT_EQ(s.editor.Document().Node().NodeName(), "JPK");
  EXPECT_EQ(kxtest::SchemaErrors(tns), "");

  // Opening a second file with "Połącz pliki" links it.
  auto second = s.Pretty("drugi.xml", kUpToDate);
  s.port.shown.clear();
  // Another firm: linked after the question; then the offer to save.
  s.port.answers = {Button::Yes, Button::No};
  ASSERT_TRUE(s.editor.OpenFile(second.string()));
  EXPECT_EQ(s.editor.FileName(), "nowy plik");
  EXPECT_EQ(s.ctx.SaveDlg.fileName, "");
  EXPECT_EQ(s.Texts(),
            (std::vector<std::string>{"Plik dotyczy innego NIP. Połączyć mimo to?\rOtwarty: NIP 4165741358, 2026-02\r"
                                      "Łączony: NIP 7270120002, 2026-02",
                                      "Pomyślnie połączono pliki JPK:\rnowy plik", "Zapisać dokonane zmiany?"}));
  auto info = s.editor.RefreshInfo();
  EXPECT_EQ(info.saleCount, "2");
  EXPECT_EQ(info.purchaseCount, "2");

  // "Nowy plik" in the new-or-link dialog drops the document.
  s.editor.askNewOrLink = [] { return ui::ModalResult::No; };
  EXPECT_EQ(s.editor.AskNewOrLink(), ui::ModalResult::Ok);
  EXPECT_FALSE(s.editor.HasDocument());
  EXPECT_EQ(s.editor.AskSaveChanges(), ui::ModalResult::Ok);
}

TEST(EditorOpen, RefusedFileIsNotTouched) {
  Session s;
  ASSERT_TRUE(s.ctx.AppSettings.ClearEnter);
  // Line breaks a clean-up would remove, in files that are no JPK_V7M(3).
  const std::string other = "<?xml version=\"1.0\"?>\r\n<Faktury>\r\n  <a>x\r\ny</a>\r\n</Faktury>\r\n";
  const std::string fa =
      kxtest::ReadFile(kxtest::SharedDir() / "samples" / "JPK_FA" / "jpk_fa4_synthetic_default_ns.xml");
  for (const auto& [name, bytes] : {std::pair{"inny.xml", other}, std::pair{"fa.xml", fa}}) {
    SCOPED_TRACE(name);
    auto file = s.dir.Write(name, bytes);
    s.port.shown.clear();
    EXPECT_FALSE(s.editor.OpenFile(file.string()));
    EXPECT_EQ(s.Texts(), std::vector<std::string>{"Zła struktura pliku. Brak zgodności z JPK_V7M (3)"});
    EXPECT_EQ(kxtest::ReadFile(file), bytes);
    EXPECT_FALSE(fs::exists(s.dir / "backup"));
    EXPECT_FALSE(s.editor.HasDocument());
  }
}

TEST(EditorLink, ItselfRefusedOtherFirmOrMonthAsked) {
  const std::string february = kUpToDate;
  std::string march = kUpToDate;
  march.replace(march.find("<Miesiac>2</Miesiac>"), 20, "<Miesiac>3</Miesiac>");
  struct Case {
    const char* name;
    std::string other;  // "" links the open file itself
    std::vector<Button> answers;
    bool linked;
    std::vector<std::string> texts;
  } cases[] = {
      {"the same file", "", {}, false, {"Nie można połączyć pliku z nim samym:\r%s"}},
      {"same firm and month", february, {}, true, {"Pomyślnie połączono pliki JPK:\rnowy plik"}},
      {"another month, refused",
       march,
       {Button::No},
       false,
       {"Plik dotyczy innego miesiąca. Połączyć mimo to?\rOtwarty: NIP 7270120002, 2026-02\r"
        "Łączony: NIP 7270120002, 2026-03"}},
      {"another month, agreed",
       march,
       {Button::Yes},
       true,
       {"Plik dotyczy innego miesiąca. Połączyć mimo to?\rOtwarty: NIP 7270120002, 2026-02\r"
        "Łączony: NIP 7270120002, 2026-03",
        "Pomyślnie połączono pliki JPK:\rnowy plik"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Session s;
    auto first = s.Pretty("luty.xml", february);
    ASSERT_TRUE(s.editor.OpenFile(first.string()));
    const std::string before = s.editor.Document().OwnerDocument().Xml();
    auto other = c.other.empty() ? first : s.Pretty("drugi.xml", c.other);
    s.port.shown.clear();
    s.port.answers.assign(c.answers.begin(), c.answers.end());
    EXPECT_EQ(s.editor.LinkFile(other.string()), c.linked);
    std::vector<std::string> texts;
    for (std::string t : c.texts) {
      if (auto at = t.find("%s"); at != std::string::npos) t.replace(at, 2, first.string());
      texts.push_back(t);
    }
    EXPECT_EQ(s.Texts(), texts);
    EXPECT_EQ(s.editor.Document().Ewidencja().SprzedazWiersz().Count(), c.linked ? 2 : 1);
    if (!c.linked) {
      EXPECT_EQ(s.editor.Document().OwnerDocument().Xml(), before);
      EXPECT_EQ(s.editor.FileName(), first.string());
    }
  }

  // A generated month of another firm is linked only after the question too.
  Session s;
  ASSERT_TRUE(s.editor.OpenFile(s.Pretty("luty.xml", february).string()));
  s.port.answers = {Button::No};
  EXPECT_FALSE(s.editor.AcceptGenerated(jpk::v7m::GetJPKRoot(xml::XmlDocument::FromString(march)), true, std::nullopt));
  EXPECT_EQ(s.editor.Document().Ewidencja().SprzedazWiersz().Count(), 1);
  EXPECT_TRUE(s.editor.Document().Node().FindChild("Deklaracja").IsNull());
}

TEST(EditorSave, CancelledSaveDialogCancelsWhatAsked) {
  struct Case {
    const char* name;
    std::vector<Button> answers;
    std::optional<std::string> file;  // the save dialog's answer
    ui::ModalResult askSave;
    bool closeWindow, endProgram;
  } cases[] = {
      {"Tak, then the dialog cancelled", {Button::Yes}, std::nullopt, ui::ModalResult::Cancel, false, false},
      {"Tak, saved", {Button::Yes}, "zapis.xml", ui::ModalResult::Yes, true, true},
      {"Nie", {Button::No}, std::nullopt, ui::ModalResult::No, true, true},
      {"box closed", {Button::Cancel}, std::nullopt, ui::ModalResult::Cancel, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (int query = 0; query < 3; ++query) {
      Session s;
      s.editor.AcceptGenerated(jpk::v7m::GetJPKRoot(xml::XmlDocument::FromString(kUpToDate)));
      s.editor.Document().OwnerDocument().SetModified(true);  // an unsaved change
      s.port.answers.assign(c.answers.begin(), c.answers.end());
      if (c.answers[0] == Button::Yes) {
        s.port.files = {c.file ? std::optional<std::string>((s.dir / *c.file).string()) : std::nullopt};
      }
      if (query == 0) {
        EXPECT_EQ(s.editor.AskSaveChanges(), c.askSave);
      }
      if (query == 1) {
        EXPECT_EQ(s.editor.CloseQuery(), c.closeWindow);
      }
      if (query == 2) {
        EXPECT_EQ(s.editor.ProgramCloseQuery(), c.endProgram);
      }
      // Whatever was answered, the document is still there; saved only on Tak.
      EXPECT_TRUE(s.editor.HasDocument());
      EXPECT_EQ(s.editor.Modified(), !(c.file && c.answers[0] == Button::Yes));
    }
  }
}

TEST(EditorDeclaration, TypedFieldsDifferFromTheDocument) {
  EditorInfo shown;
  shown.p39 = "1000";
  shown.p54 = "";
  struct Case {
    const char* name;
    DeclarationInput typed;
    bool differs;
  } cases[] = {
      {"as shown", {.p39 = "1000"}, false},
      {"grouped the Polish way", {.p39 = " 1 000,00 "}, false},
      {"another amount", {.p39 = "1001"}, true},
      {"typed where the file has none", {.p39 = "1000", .p49 = "5"}, true},
      {"a refund term without P_54 does not count", {.p39 = "1000", .refund = RefundTerm::P55}, false},
      {"P_59 ticked", {.p39 = "1000", .p59 = true}, true},
      {"a reason of correction", {.p39 = "1000", .ordzu = "błąd"}, true},
      {"not a number", {.p39 = "tysiąc"}, true},
  };
  for (const auto& c : cases) EXPECT_EQ(TypedDeclarationDiffers(c.typed, shown), c.differs) << c.name;
}

TEST(EditorGenerated, HandOverMakesActiveOrLinksThenDeclares) {
  auto generated = [] { return jpk::v7m::GetJPKRoot(xml::XmlDocument::FromString(kUpToDate)); };
  struct Case {
    const char* name;
    bool active;       // a document is open before the hand-over
    bool declaration;  // asked for in the generation dialog
    std::optional<DeclarationInput> typed;
    int sales;
    const char* p39;  // "" when the declaration has no P_39
  } cases[] = {
      {"new document", false, false, std::nullopt, 1, nullptr},
      {"linked into the open one", true, false, std::nullopt, 2, nullptr},
      {"declaration with the typed fields", false, true, DeclarationInput{.p39 = "7"}, 1, "7"},
      {"declaration with the shown fields", false, true, std::nullopt, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Session s;
    if (c.active) s.editor.AcceptGenerated(generated());
    s.ctx.JpkFileName = "stary.xml";
    s.editor.AcceptGenerated(generated(), c.declaration, c.typed);
    EXPECT_EQ(s.ctx.JpkFileName, "nowy plik");
    EXPECT_EQ(s.editor.FileName(), "nowy plik");
    EXPECT_EQ(s.editor.Document().Ewidencja().SprzedazWiersz().Count(), c.sales);
    EXPECT_EQ(ChildText(s.editor.Document().Ewidencja().SprzedazWiersz()[c.sales - 1], "LpSprzedazy"),
              std::to_string(c.sales));
    xml::XmlNode declaration = s.editor.Document().Node().FindChild("Deklaracja");
    EXPECT_EQ(declaration.IsNull(), c.p39 == nullptr);
    if (c.p39) {
      xml::XmlNode p39 = declaration.FindChild("PozycjeSzczegolowe").FindChild("P_39");
      EXPECT_EQ(p39.IsNull() ? "" : p39.Text(), c.p39);
    }
  }

  // A generation that made no document leaves the editor as it was.
  Session s;
  s.editor.AcceptGenerated(jpk::v7m::IXMLJPK(), true, std::nullopt);
  EXPECT_FALSE(s.editor.HasDocument());
}

TEST(EditorSave, ProposalThenWrite) {
  Session s;
  s.ctx.AppSettings.NameSufix = "_firma";
  s.editor.AcceptGenerated(jpk::v7m::GetJPKRoot(xml::XmlDocument::FromString(kUpToDate)));
  s.port.files = {std::nullopt};
  EXPECT_FALSE(s.editor.Save());
  EXPECT_EQ(s.ctx.SaveDlg.fileName, "2026-02_jpk_v7m_3_firma");
  EXPECT_EQ(s.ctx.SaveDlg.initialDir, s.ctx.AppSettings.SaveDir);
  EXPECT_NE(s.editor.Document().Naglowek().DataWytworzeniaJPK(), "2026-03-02T09:05:07");
  EXPECT_TRUE(s.editor.Modified());

  auto target = s.dir / "out" / "luty";
  s.port.files = {std::optional<std::string>(target.string())};
  ASSERT_TRUE(s.editor.Save());
  EXPECT_EQ(s.editor.FileName(), target.string() + ".xml");
  EXPECT_FALSE(s.editor.Modified());
  EXPECT_EQ(kxtest::SchemaErrors(target.string() + ".xml"), "");
  EXPECT_EQ(kxtest::ReadFile(target.string() + ".xml").rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<JPK", 0),
            0u);
  EXPECT_EQ(s.editor.RefreshInfo().caption, target.string() + ".xml - Kalvor JPK");
}

TEST(EditorInfoView, ChecksHintsAndDeclarationFields) {
  struct Case {
    const char* what;
    std::string positions;
    std::string saleTax, purchaseTax;
    bool ok38, ok48;
    std::string hint38, hint48;
  } cases[] = {
      {"equal to the rounded totals", "<P_38>1000</P_38><P_39>100</P_39><P_48>1100</P_48><P_51>0</P_51>", "1000.40",
       "999.5", true, true, "podatek w deklaracji: 1000, podatek w ewidencji: 1000.40 (różnica: -0.40)",
       "podatek w deklaracji (bez nadwyżki z poprzedniego m-ca): 1000, podatek w ewidencji: 999.50 (różnica: 0.50)"},
      {"one złoty apart", "<P_38>1001</P_38><P_48>998</P_48><P_51>3</P_51>", "1000", "1000", false, false,
       "podatek w deklaracji: 1001, podatek w ewidencji: 1000.00 (różnica: 1.00)",
       "podatek w deklaracji (bez nadwyżki z poprzedniego m-ca): 998, podatek w ewidencji: 1000.00 (różnica: -2.00)"},
  };
  for (const auto& c : cases) {
    Session s;
    s.ctx.AppSettings.ClearEnter = false;
    auto file = s.dir.Write("d.xml",
                            V7MFile(SaleCtrl(0, c.saleTax) + PurchaseCtrl(0, c.purchaseTax), Declaration(c.positions)));
    ASSERT_TRUE(s.editor.OpenFile(file.string()));
    // The controls are recomputed on opening; the check reads them as they
    // were before, so put them back.
    auto records = s.editor.Document().Node().FindChild("Ewidencja");
    records.FindChild("SprzedazCtrl").FindChild("PodatekNalezny").SetText(c.saleTax);
    records.FindChild("ZakupCtrl").FindChild("PodatekNaliczony").SetText(c.purchaseTax);
    auto info = s.editor.RefreshInfo();
    EXPECT_EQ(info.declarationCaption, "Deklaracja");
    EXPECT_TRUE(info.check38.shown);
    EXPECT_EQ(info.check38.ok, c.ok38) << c.what;
    EXPECT_EQ(info.check38.color, c.ok38 ? FieldColor::Face : FieldColor::Red) << c.what;
    EXPECT_EQ(info.check38.hint, c.hint38) << c.what;
    EXPECT_EQ(info.check48.ok, c.ok48) << c.what;
    EXPECT_EQ(info.check48.hint, c.hint48) << c.what;
    EXPECT_TRUE(info.clearDeclarationEnabled);
  }

  // Fields, enabling and the refund choice.
  Session s;
  s.ctx.AppSettings.ClearEnter = false;
  auto file = s.dir.Write(
      "z.xml", V7MFile(SaleCtrl(0, "0") + PurchaseCtrl(0, "0"),
                       Declaration("<P_37>10</P_37><P_38>400</P_38><P_39>5</P_39><P_40>10</P_40><P_42>2.5</P_42>"
                                   "<P_48>1000</P_48><P_49>1</P_49><P_51>0</P_51><P_52>50</P_52><P_53>650</P_53>"
                                   "<P_54>300</P_54><P_55>1</P_55><P_59>1</P_59><P_60>7</P_60><P_61>PIT</P_61>"
                                   "<P_62>350</P_62><P_68>-3</P_68><P_69>-1</P_69><P_ORDZU>x</P_ORDZU>")));
  ASSERT_TRUE(s.editor.OpenFile(file.string()));
  auto info = s.editor.RefreshInfo();
  EXPECT_EQ(info.p40Plus42, "12.5");
  EXPECT_FALSE(info.p49Enabled);
  EXPECT_FALSE(info.p51Bold);
  EXPECT_TRUE(info.surplusEnabled);
  EXPECT_TRUE(info.refundTermsEnabled);
  EXPECT_EQ(info.refund, RefundTerm::P55);
  EXPECT_TRUE(info.p59);
  EXPECT_EQ(info.p60, "7");
  EXPECT_EQ(info.p61, "PIT");
  EXPECT_TRUE(info.p62Bold);
  EXPECT_EQ(info.p68, "-3");
  EXPECT_EQ(info.ordzu, "x");
  // The next calculation starts from these typed values.
  auto in = DeclarationInputFrom(info);
  EXPECT_EQ(in.p39, "5");
  EXPECT_EQ(in.p54, "300");
  EXPECT_EQ(in.refund, RefundTerm::P55);
  EXPECT_EQ(in.p60, "7");

  // No Ewidencja: no P_39, P_40+P_42, P_48 and no checks.
  Session bare;
  bare.ctx.AppSettings.ClearEnter = false;
  auto noRecords = bare.dir.Write("n.xml", V7MFile("",
                                                   Declaration("<P_38>5</P_38><P_39>2</P_39><P_48>3</P_48>"
                                                               "<P_51>0</P_51>"),
                                                   false));
  ASSERT_TRUE(bare.editor.OpenFile(noRecords.string()));
  auto none = bare.editor.RefreshInfo();
  EXPECT_EQ(none.p38, "5");
  EXPECT_EQ(none.p39, "");
  EXPECT_EQ(none.p48, "");
  EXPECT_FALSE(none.check38.shown);
  EXPECT_TRUE(none.p49Enabled);

  V7MEditor empty(bare.ctx, bare.dir.Path());
  auto nothing = empty.RefreshInfo();
  EXPECT_FALSE(nothing.declarationEnabled);
  EXPECT_FALSE(nothing.recalcDeclarationEnabled);
  EXPECT_EQ(nothing.nip, "");
}

TEST(EditorDeclaration, WarningsAndRemoval) {
  Session s;
  s.ctx.AppSettings.ClearEnter = false;
  auto file = s.Pretty("luty.xml", kUpToDate);
  ASSERT_TRUE(s.editor.OpenFile(file.string()));
  auto r = s.editor.RecalcDeclaration({.p54 = "10"});
  EXPECT_EQ(r.status, DeclarationResult::Status::RefundWithoutTerm);
  EXPECT_EQ(s.Texts(), std::vector<std::string>{kRefundWithoutTermText});
  EXPECT_EQ(s.port.shown[0].kind, ui::BoxKind::Warning);
  EXPECT_FALSE(s.editor.Modified());

  ASSERT_EQ(s.editor.RecalcDeclaration({}).status, DeclarationResult::Status::Done);
  EXPECT_TRUE(s.editor.RefreshInfo().clearDeclarationEnabled);
  EXPECT_EQ(s.editor.RefreshInfo().p51, "0");

  // Removal writes the file at once.
  s.port.shown.clear();
  ASSERT_TRUE(s.editor.ClearDeclaration());
  EXPECT_EQ(s.Texts(), std::vector<std::string>{"Zapisano JPK bez części deklaracyjnej do pliku:\r" + file.string()});
  EXPECT_EQ(kxtest::ReadFile(file).find("Deklaracja"), std::string::npos);
  EXPECT_EQ(kxtest::SchemaErrors(file), "");
  EXPECT_FALSE(s.editor.Modified());
  EXPECT_FALSE(s.editor.ClearDeclaration());
}

TEST(EditorDeclaration, RemovalOfANeverSavedDocumentAsksForTheName) {
  Session s;
  auto jpk = jpk::v7m::GetJPKRoot(xml::XmlDocument::FromString(kUpToDate));
  s.editor.AcceptGenerated(jpk);
  s.editor.RecalcDeclaration({});
  fs::path cwd = fs::current_path();
  fs::current_path(s.dir.Path());

  // Refused: nothing written anywhere, the declaration stays.
  s.port.files = {std::nullopt};
  EXPECT_FALSE(s.editor.ClearDeclaration());
  EXPECT_FALSE(fs::exists(s.dir / "nowy plik"));
  EXPECT_EQ(s.ctx.SaveDlg.fileName, "2026-02_jpk_v7m_3");
  EXPECT_FALSE(s.editor.Document().Node().FindChild("Deklaracja").IsNull());
  EXPECT_EQ(s.editor.FileName(), "nowy plik");

  auto target = s.dir / "out" / "bez_deklaracji.xml";
  s.port.files = {std::optional<std::string>(target.string())};
  EXPECT_TRUE(s.editor.ClearDeclaration());
  fs::current_path(cwd);
  EXPECT_FALSE(fs::exists(s.dir / "nowy plik"));
  EXPECT_EQ(s.editor.FileName(), target.string());
  EXPECT_TRUE(s.editor.Document().Node().FindChild("Deklaracja").IsNull());
  EXPECT_EQ(kxtest::SchemaErrors(target), "");
}

TEST(EditorReceipt, CreateCancelAndWrite) {
  Session s;
  s.ctx.AppSettings.ClearEnter = false;
  auto file = s.Pretty("luty.xml", kUpToDate);
  ASSERT_TRUE(s.editor.OpenFile(file.string()));
  std::string before = s.editor.Document().OwnerDocument().Xml();

  // No to the question: nothing.
  s.port.answers = {Button::No};
  EXPECT_FALSE(s.editor.AddParagonSale([](ReceiptFields&) { return true; }));
  // Yes, then Cancel in the dialog: the document is as it was.
  s.port.answers = {Button::Yes};
  ReceiptFields shown;
  EXPECT_FALSE(s.editor.AddParagonSale([&](ReceiptFields& f) {
    shown = f;
    return false;
  }));
  EXPECT_EQ(shown.document, "Raport fiskalny okresowy");
  EXPECT_EQ(s.editor.Document().OwnerDocument().Xml(), before);
  EXPECT_FALSE(s.editor.Modified());
  // A failing dialog also takes the new record away.
  s.port.answers = {Button::Yes};
  EXPECT_THROW(s.editor.AddParagonSale([](ReceiptFields&) -> bool { throw Error("x"); }), Error);
  EXPECT_EQ(s.editor.Document().OwnerDocument().Xml(), before);

  // OK: written, renumbered, the invoice becomes number 2.
  s.port.answers = {Button::Yes};
  EXPECT_TRUE(s.editor.AddParagonSale([](ReceiptFields& f) {
    f.net23 = "1000";
    f.tax23 = "230";
    return true;
  }));
  auto info = s.editor.RefreshInfo();
  EXPECT_EQ(info.saleCount, "2");
  EXPECT_EQ(info.saleTax, "253");
  auto receipt = FindReceiptRecord(s.editor.Document());
  ASSERT_FALSE(receipt.IsNull());
  EXPECT_EQ(ChildText(receipt, "NrKontrahenta"), "BRAK");
  EXPECT_EQ(ChildText(NextSaleRecord(receipt), "LpSprzedazy"), "2");
  // Found again without a question.
  EXPECT_TRUE(s.editor.AddParagonSale([](ReceiptFields& f) {
    EXPECT_EQ(f.tax23, "230");
    f.tax23 = "";
    f.net23 = "";
    return true;
  }));
  EXPECT_EQ(s.editor.RefreshInfo().saleTax, "23");
}
