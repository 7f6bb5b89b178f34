#include "platform/xml/xml_document.h"

#include <gtest/gtest.h>
#include <libxml/c14n.h>
#include <libxml/tree.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/xml/pretty_print.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

using kx::xml::XmlDocument;
using kx::xml::XmlNode;
using kxtest::ReadFile;
using kxtest::TempDir;

namespace {

// The message of the kx::Error the call throws ("" when it throws none).
template <typename F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const kx::Error& error) {
    return error.what();
  }
  return {};
}

// Canonical XML (comments kept) of a document, for comparing content
// regardless of how it was written.
std::string Canonical(const XmlDocument& document) {
  xmlChar* out = nullptr;
  int size = xmlC14NDocDumpMemory(document.RawDocument(), nullptr, XML_C14N_1_0, nullptr, 1, &out);
  std::string text = size >= 0 ? std::string(reinterpret_cast<char*>(out), static_cast<size_t>(size)) : "";
  xmlFree(out);
  return text;
}

std::string BillionLaughs() {
  std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol0 \"lol\">\n";
  for (int i = 1; i <= 9; ++i) {
    text += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) text += "&lol" + std::to_string(i - 1) + ";";
    text += "\">\n";
  }
  return text + "]>\n<lolz>&lol9;</lolz>\n";
}

// One large entity referenced very often: small file, huge text.
std::string FlatEntityBomb() {
  std::string text = "<!DOCTYPE x [<!ENTITY a \"" + std::string(100000, 'x') + "\">]>\n<x>";
  for (int i = 0; i < 20000; ++i) text += "&a;";
  return text + "</x>";
}

}  // namespace

// --- loading untrusted files -------------------------------------------------------

TEST(XmlDocumentLoad, BadFilesFailNamingFileAndLineAndLeaveDocumentAsItWas) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> expected;  // parts of the message besides the file name
  } cases[] = {
      {"truncated.xml",
       "<?xml version=\"1.0\"?>\n<a>\n <b>x</b>\n <c>",
       {"nie jest poprawnym plikiem XML (wiersz 4)", "niedokończony element <c>"}},
      {"binary.xml", std::string("\x00\x01\x02\xff\xfe\x80 garbage", 14), {"(wiersz 1)"}},
      {"empty.xml", "", {"(wiersz 1): plik jest pusty"}},
      {"mismatch.xml", "<a>\n<b></c></a>", {"(wiersz 2)", "</c> nie pasuje do <b>"}},
      {"prefix.xml", "<a>\n\n<p:b/></a>", {"(wiersz 3)", "nieznany prefiks przestrzeni nazw p"}},
      {"twice.xml", "<a/>\n<b/>", {"(wiersz 2)", "dodatkowa treść za końcem dokumentu"}},
      {"laughs.xml", BillionLaughs(), {"nie jest poprawnym plikiem XML", "rozwinięcie encji"}},
      {"flat_bomb.xml", FlatEntityBomb(), {"nie jest poprawnym plikiem XML (wiersz 2)", "rozwinięcie encji"}},
      {"bad_utf8.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\xb3\xf3</a>", {"(wiersz 2)", "UTF-8"}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XmlDocument document = XmlDocument::FromString("<keep>me</keep>");
    document.DocumentElement().SetText("changed");
    std::string before = document.Xml();
    auto path = dir.Write(c.name, c.bytes);

    std::string message = ErrorOf([&] { document.LoadFromFile(path); });
    EXPECT_NE(message.find("Plik " + path.string() + " "), std::string::npos) << message;
    for (const std::string& part : c.expected) EXPECT_NE(message.find(part), std::string::npos) << message;
    EXPECT_TRUE(document.Active());
    EXPECT_TRUE(document.Modified());
    EXPECT_EQ(document.Xml(), before);
    EXPECT_EQ(ReadFile(path), c.bytes);
  }
}

TEST(XmlDocumentLoad, MissingFileOrFolderFailsWithItsName) {
  TempDir dir;
  XmlDocument document;
  std::string missing = ErrorOf([&] { document.LoadFromFile(dir / "none.xml"); });
  EXPECT_EQ(missing, "Nie można otworzyć pliku " + (dir / "none.xml").string() + ": plik nie istnieje");
  std::string folder = ErrorOf([&] { document.LoadFromFile(dir.Path()); });
  EXPECT_NE(folder.find("Nie można otworzyć pliku " + dir.Path().string()), std::string::npos) << folder;
  EXPECT_TRUE(document.Active());
  EXPECT_TRUE(document.DocumentElement().IsNull());
}

TEST(XmlDocumentLoad, ExternalEntitiesAndDtdsAreNeverRead) {
  TempDir dir;
  auto secret = dir.Write("secret.txt", "SECRET-CONTENT");
  auto dtd = dir.Write("secret.dtd", "<!ENTITY leak \"SECRET-DTD\">\n<!ATTLIST x extra CDATA \"SECRET-ATTR\">\n");
  auto parameter = dir.Write("param.ent", "<!ENTITY leak \"SECRET-PARAM\">");
  std::string secretUrl = "file://" + secret.string();
  const std::string inputs[] = {
      "<!DOCTYPE x [<!ENTITY e SYSTEM \"" + secretUrl + "\">]><x>&e;</x>",
      "<!DOCTYPE x [<!ENTITY e SYSTEM \"" + secretUrl + "\">]><x a=\"1\"><y>&e;</y></x>",
      "<!DOCTYPE x SYSTEM \"file://" + dtd.string() + "\"><x>&leak;</x>",
      "<!DOCTYPE x [<!ENTITY % p SYSTEM \"file://" + parameter.string() + "\"> %p;]><x>&leak;</x>",
  };
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    auto path = dir.Write("input.xml", input);
    XmlDocument document;
    try {
      document.LoadFromFile(path);
    } catch (const kx::Error& error) {
      EXPECT_EQ(std::string(error.what()).find("SECRET"), std::string::npos);
      continue;
    }
    EXPECT_EQ(document.DocumentElement().Text().find("SECRET"), std::string::npos);
    EXPECT_EQ(document.Xml().find("SECRET"), std::string::npos);
    document.SaveToFile(dir / "out.xml");
    EXPECT_EQ(ReadFile(dir / "out.xml").find("SECRET"), std::string::npos);
  }
}

// A JPK file has no DOCTYPE: loading removes it, internal entities standing
// in place of their references, so nothing of it reaches a saved file.
TEST(XmlDocumentLoad, TheDoctypeIsDroppedAndInternalEntitiesExpanded) {
  struct Case {
    const char* input;
    const char* saved;  // the document element as saved
  } cases[] = {
      {"<!DOCTYPE x [<!ENTITY f \"Firma &amp; Syn\">]><x><n>&f; sp.j.</n></x>", "<x><n>Firma &amp; Syn sp.j.</n></x>"},
      {"<!DOCTYPE x [<!ENTITY a \"<b>1</b>\"><!ENTITY c \"&a;&a;\">]><x>&c;</x>", "<x><b>1</b><b>1</b></x>"},
      {"<!DOCTYPE x SYSTEM \"http://example.invalid/x.dtd\"><x>tekst</x>", "<x>tekst</x>"},
      {"<x>bez deklaracji</x>", "<x>bez deklaracji</x>"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    XmlDocument document;
    document.LoadFromFile(dir.Write("in.xml", c.input));
    EXPECT_EQ(document.DroppedDoctype(), std::string(c.input).rfind("<!DOCTYPE", 0) == 0);
    document.SaveToFile(dir / "out.xml");
    const std::string saved = ReadFile(dir / "out.xml");
    EXPECT_EQ(saved.find("DOCTYPE"), std::string::npos);
    EXPECT_EQ(saved.find("ENTITY"), std::string::npos);
    EXPECT_NE(saved.find(c.saved), std::string::npos) << saved;
  }
  // A reference whose content lies outside the file is never fetched: the
  // file is refused, naming it.
  try {
    XmlDocument document;
    document.LoadFromFile(
        dir.Write("ext.xml", "<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/hostname\">]>\n<x>\n&e;</x>"));
    ADD_FAILURE() << "loaded";
  } catch (const kx::Error& e) {
    EXPECT_NE(std::string(e.what()).find("ext.xml (wiersz 2) odwołuje się do encji &e; spoza pliku"), std::string::npos)
        << e.what();
  }
}

TEST(XmlDocumentLoad, BlankTextBetweenElementsIsDroppedOtherTextKept) {
  XmlDocument document = XmlDocument::FromString("<a>\n  <b> x </b>\n  <c>\n  </c>\n  <d>text <e/> more</d>\n</a>");
  XmlNode a = document.DocumentElement();
  ASSERT_EQ(a.ChildCount(), 3);
  EXPECT_EQ(a.ChildAt(0).Text(), " x ");
  EXPECT_EQ(a.ChildAt(2).ChildCount(), 3);
  EXPECT_FALSE(document.Modified());
}

TEST(XmlDocumentLoad, EncodingComesFromTheFileDeclaration) {
  TempDir dir;
  // "Zażółć" in code page 1250.
  auto path = dir.Write(
      "cp1250.xml", "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n<a n=\"\xaf\xf3\xb3w\">Za\xbf\xf3\xb3\xe6</a>");
  XmlDocument document = XmlDocument::FromFile(path);
  EXPECT_EQ(document.Encoding(), "windows-1250");
  EXPECT_EQ(document.DocumentElement().Text(), "Zażółć");
  EXPECT_EQ(document.DocumentElement().Attribute("n"), "Żółw");
}

// --- saving --------------------------------------------------------------------------

TEST(XmlDocumentSave, WritesUtf8DeclaredUtf8WhateverTheSourceEncoding) {
  TempDir dir;
  auto source = dir.Write("cp1250.xml",
                          "<?xml version=\"1.0\" encoding=\"windows-1250\" standalone=\"yes\"?>\n"
                          "<a>Za\xbf\xf3\xb3\xe6 g\xea\x9cl\xb9 ja\x9f\xf1</a>");
  XmlDocument document = XmlDocument::FromFile(source);
  document.SaveToFile(dir / "out.xml");
  EXPECT_EQ(ReadFile(dir / "out.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<a>Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87 g\xc4\x99\xc5\x9bl\xc4\x85 ja\xc5\xba\xc5\x84</a>\n");

  XmlDocument created;
  created.AddDocumentElement("root").SetText("ą");
  created.SaveToFile(dir / "new.xml");
  EXPECT_EQ(ReadFile(dir / "new.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\xc4\x85</root>\n");
}

TEST(XmlDocumentSave, EverySampleRoundTripsToTheSameContent) {
  TempDir dir;
  auto files = kxtest::SampleFiles();
  ASSERT_EQ(files.size(), 10u);
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    XmlDocument original = XmlDocument::FromFile(file);
    original.SaveToFile(dir / "copy.xml");
    XmlDocument copy = XmlDocument::FromFile(dir / "copy.xml");
    EXPECT_FALSE(Canonical(original).empty());
    EXPECT_EQ(Canonical(copy), Canonical(original));

    // The two-pass save of the JPK files: text pretty-printed, saved, reloaded.
    XmlDocument work = XmlDocument::FromFile(dir / "copy.xml");
    work.SetXml(kx::xml::PrettyPrintXml(work.Xml()));
    work.SetEncoding("UTF-8");
    work.SaveToFile(dir / "pretty.xml");
    std::string pretty = ReadFile(dir / "pretty.xml");
    EXPECT_EQ(pretty.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_NE(pretty.find("\n  <"), std::string::npos);
    EXPECT_EQ(Canonical(XmlDocument::FromFile(dir / "pretty.xml")), Canonical(original));
  }
}

TEST(XmlDocumentSave, FailureLeavesTheOldFileWholeAndNoTemporaryFile) {
  TempDir dir;
  XmlDocument document = XmlDocument::FromString("<a>" + std::string(200000, 'x') + "</a>");

  // Missing folder.
  std::string missing = ErrorOf([&] { document.SaveToFile(dir / "no" / "out.xml"); });
  EXPECT_EQ(missing, "Nie można zapisać pliku " + (dir / "no" / "out.xml").string() + ": plik lub folder nie istnieje");

  // A folder in the way: nothing in it is touched.
  dir.Write("taken/inside.txt", "keep");
  std::string taken = ErrorOf([&] { document.SaveToFile(dir / "taken"); });
  EXPECT_NE(taken.find("Nie można zapisać pliku " + (dir / "taken").string()), std::string::npos) << taken;
  EXPECT_EQ(ReadFile(dir / "taken" / "inside.txt"), "keep");

  // An empty document is not written over a file.
  auto old = dir.Write("old.xml", "<old/>");
  XmlDocument empty;
  EXPECT_NE(ErrorOf([&] { empty.SaveToFile(old); }).find(old.string()), std::string::npos);
  EXPECT_EQ(ReadFile(old), "<old/>");

#ifdef __linux__
  // The disk fills up half way (a file size limit makes write() fail).
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 100000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string full = ErrorOf([&] { document.SaveToFile(old); });
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(full, "Nie można zapisać pliku " + old.string() + ": przekroczony dopuszczalny rozmiar pliku");
  EXPECT_EQ(ReadFile(old), "<old/>");

  // A read-only folder (only meaningful without root's rights).
  if (geteuid() != 0) {
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    std::string denied = ErrorOf([&] { document.SaveToFile(old); });
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    EXPECT_EQ(denied, "Nie można zapisać pliku " + old.string() + ": brak uprawnień");
    EXPECT_EQ(ReadFile(old), "<old/>");
  }
#endif

  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"inside.txt", "old.xml", "taken"}));

  // And the save succeeds once it can.
  document.SaveToFile(old);
  EXPECT_EQ(XmlDocument::FromFile(old).DocumentElement().Text().size(), 200000u);
}

// --- state ---------------------------------------------------------------------------

TEST(XmlDocumentState, ModifiedFlagFollowsChangesLoadsAndSaves) {
  TempDir dir;
  XmlDocument document;
  EXPECT_TRUE(document.Active());
  EXPECT_FALSE(document.Modified());
  XmlNode root = document.AddDocumentElement("a");
  EXPECT_TRUE(document.Modified());

  document.SaveToFile(dir / "a.xml");
  EXPECT_TRUE(document.Modified());  // saving does not clear it; reloading does

  document.LoadFromFile(dir / "a.xml");
  EXPECT_FALSE(document.Modified());
  XmlNode loadedRoot = document.DocumentElement();
  loadedRoot.Text();
  loadedRoot.FindChild("b");
  loadedRoot.ChildCount();
  EXPECT_FALSE(document.Modified());  // reading changes nothing

  using Change = void (*)(XmlNode&);
  const Change changes[] = {
      [](XmlNode& n) { n.SetText("x"); },
      [](XmlNode& n) { n.SetAttribute("k", "v"); },
      [](XmlNode& n) { n.AddChild("c"); },
      [](XmlNode& n) { n.ChildByName("d"); },
      [](XmlNode& n) { n.DeclareNamespace("p", "urn:p"); },
      [](XmlNode& n) { n.AppendChild(n.OwnerDocument().CreateComment("c")); },
  };
  for (Change change : changes) {
    document.LoadFromFile(dir / "a.xml");
    XmlNode node = document.DocumentElement();
    ASSERT_FALSE(document.Modified());
    change(node);
    EXPECT_TRUE(document.Modified());
    document.SetModified(false);
    EXPECT_FALSE(document.Modified());
  }

  document.LoadFromFile(dir / "a.xml");
  XmlNode child = document.DocumentElement().AddChild("gone");
  document.SetModified(false);
  document.DocumentElement().RemoveChild(child);
  EXPECT_TRUE(document.Modified());
}

TEST(XmlDocumentState, ActiveStateAndHandlesThatOutliveTheTree) {
  XmlDocument document = XmlDocument::FromString("<a><b>keep</b></a>");
  XmlNode b = document.DocumentElement().FirstChild();
  XmlDocument same = document;  // a second handle of the same document
  document.SetActive(false);
  EXPECT_FALSE(same.Active());
  EXPECT_TRUE(document.DocumentElement().IsNull());
  EXPECT_EQ(document.Xml(), "");
  EXPECT_NE(ErrorOf([&] { document.SaveToFile("never.xml"); }).find("nie jest aktywny"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { document.CreateElement("x"); }).find("nie jest aktywny"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists("never.xml"));

  // The node keeps its own tree alive and usable.
  EXPECT_EQ(b.Text(), "keep");
  b.SetText("still");
  EXPECT_EQ(b.OwnerDocument().DocumentElement().Xml(), "<a><b>still</b></a>");

  document.SetActive(true);
  EXPECT_TRUE(same.Active());
  EXPECT_TRUE(document.DocumentElement().IsNull());
  EXPECT_EQ(document.Version(), "1.0");
  EXPECT_FALSE(document.Modified());

  // Reloading replaces the tree; old handles keep the old one.
  document.LoadFromString("<new/>");
  EXPECT_EQ(b.Text(), "still");
  EXPECT_EQ(document.DocumentElement().NodeName(), "new");
  EXPECT_TRUE(b.OwnerDocument() != document);

  // Loading activates an inactive document.
  document.SetActive(false);
  document.LoadFromString("<again/>");
  EXPECT_TRUE(same.Active());
  EXPECT_EQ(same.DocumentElement().NodeName(), "again");
}

TEST(XmlDocumentState, DeclarationValues) {
  XmlDocument document;
  EXPECT_EQ(document.Version(), "1.0");
  EXPECT_EQ(document.Encoding(), "");
  EXPECT_EQ(document.Standalone(), "");
  document.AddDocumentElement("a");
  EXPECT_EQ(document.Xml(), "<?xml version=\"1.0\"?>\n<a/>\n");
  document.SetEncoding("UTF-8");
  document.SetStandalone("yes");
  EXPECT_EQ(document.Xml(), "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<a/>\n");
  EXPECT_FALSE(ErrorOf([&] { document.SetEncoding("UTF-8\"?><x"); }).empty());
  EXPECT_FALSE(ErrorOf([&] { document.SetVersion("2\""); }).empty());
  EXPECT_FALSE(ErrorOf([&] { document.SetStandalone("maybe"); }).empty());
  EXPECT_EQ(document.Encoding(), "UTF-8");
}

// --- document element ----------------------------------------------------------------

TEST(XmlDocumentRoot, AddAndBindDocumentElement) {
  const char* ns = "http://crd.gov.pl/wzor/2025/12/19/14090/";
  XmlDocument document;
  XmlNode bound = document.BindDocumentElement("JPK", ns);
  EXPECT_EQ(document.Xml(), std::string("<?xml version=\"1.0\"?>\n<JPK xmlns=\"") + ns + "\"/>\n");
  EXPECT_TRUE(document.BindDocumentElement("JPK", ns) == bound);
  std::string wrong = ErrorOf([&] { document.BindDocumentElement("JPK", "urn:other"); });
  EXPECT_NE(wrong.find("Element główny dokumentu XML to JPK"), std::string::npos) << wrong;
  EXPECT_NE(ErrorOf([&] { document.AddDocumentElement("Second"); }).find("ma już element główny JPK"),
            std::string::npos);

  // A prefixed root binds by local name and namespace.
  XmlDocument prefixed = XmlDocument::FromString(std::string("<tns:JPK xmlns:tns=\"") + ns + "\"/>");
  EXPECT_EQ(prefixed.BindDocumentElement("JPK", ns).NodeName(), "tns:JPK");

  XmlDocument plain;
  plain.AddDocumentElement("MAGIK_EKSPORT");
  EXPECT_EQ(plain.DocumentElement().NamespaceURI(), "");
}

// --- the whole text ------------------------------------------------------------------

TEST(XmlDocumentText, LinesReadAndReplaced) {
  XmlDocument document = XmlDocument::FromString("<?xml version=\"1.0\" encoding=\"utf-8\"?><a><b>1</b></a>");
  EXPECT_EQ(document.Lines(),
            (std::vector<std::string>{"<?xml version=\"1.0\" encoding=\"utf-8\"?>", "<a><b>1</b></a>"}));

  document.SetModified(true);
  std::vector<std::string> lines = {"<?xml version=\"1.0\"?>", "<a>", "  <b>2</b>", "</a>"};
  document.SetLines(lines);
  EXPECT_EQ(document.Lines(), lines);  // kept as given, white space included
  EXPECT_EQ(document.DocumentElement().FindChild("b").Text(), "2");
  EXPECT_FALSE(document.Modified());

  // A broken text changes nothing.
  document.DocumentElement().SetAttribute("k", "v");
  std::string before = document.Xml();
  std::string message = ErrorOf([&] { document.SetLines({"<a>", "<b>", "</a>"}); });
  EXPECT_NE(message.find("Tekst XML nie jest poprawny (wiersz 3)"), std::string::npos) << message;
  EXPECT_EQ(document.Xml(), before);
  EXPECT_TRUE(document.Modified());

  // Replacing the text reads no external entity either.
  TempDir dir;
  auto secret = dir.Write("secret.txt", "SECRET");
  document.SetXml("<!DOCTYPE x [<!ENTITY e SYSTEM \"file://" + secret.string() + "\">]><x>&e;</x>");
  EXPECT_EQ(document.DocumentElement().Text(), "");
  EXPECT_NE(ErrorOf([&] { document.SetXml(BillionLaughs()); }).find("rozwinięcie encji"), std::string::npos);
}

TEST(XmlDocumentText, TextIsUtf8AndKeepsTheDeclaredEncodingAsLabel) {
  XmlDocument document = XmlDocument::FromString("<?xml version=\"1.0\" encoding=\"windows-1250\"?><a>żółw</a>");
  EXPECT_EQ(document.Encoding(), "windows-1250");
  EXPECT_EQ(document.DocumentElement().Text(), "żółw");
  EXPECT_EQ(document.Xml(), "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n<a>żółw</a>\n");
  TempDir dir;
  document.SaveToFile(dir / "a.xml");
  EXPECT_EQ(ReadFile(dir / "a.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>żółw</a>\n");
}

// --- indentation while building ------------------------------------------------------

TEST(XmlDocumentIndent, AutoIndentWritesOneIndentPerLevel) {
  XmlDocument document;
  document.SetAutoIndent(true);
  document.SetIndentString("\t");
  XmlNode root = document.AddDocumentElement("MAGIK_EKSPORT");
  XmlNode info = root.AddChild("INFO_EKSPORTU");
  info.AddChild("NAZWA_PROGRAMU").SetText("kx2jpk");
  info.AddChild("WERSJA").SetText("1");
  XmlNode docs = root.AddChild("DOKUMENTY");
  docs.AddChild("DOKUMENT");
  docs.InsertChild(0, document.CreateComment(" first "));
  root.ChildByName("LICZBA_DOKUMENTOW").SetText("1");
  EXPECT_EQ(document.Xml(),
            "<?xml version=\"1.0\"?>\n"
            "<MAGIK_EKSPORT>\n"
            "\t<INFO_EKSPORTU>\n"
            "\t\t<NAZWA_PROGRAMU>kx2jpk</NAZWA_PROGRAMU>\n"
            "\t\t<WERSJA>1</WERSJA>\n"
            "\t</INFO_EKSPORTU>\n"
            "\t<DOKUMENTY>\n"
            "\t\t<!-- first -->\n"
            "\t\t<DOKUMENT/>\n"
            "\t</DOKUMENTY>\n"
            "\t<LICZBA_DOKUMENTOW>1</LICZBA_DOKUMENTOW>\n"
            "</MAGIK_EKSPORT>\n");
  // The indentation is white space only: the content reads the same.
  EXPECT_EQ(root.ElementCount("DOKUMENTY", ""), 1);
  EXPECT_EQ(root.FindChild("INFO_EKSPORTU").FindChild("WERSJA").Text(), "1");

  XmlDocument off;
  off.AddDocumentElement("a").AddChild("b");
  EXPECT_EQ(off.Xml(), "<?xml version=\"1.0\"?>\n<a><b/></a>\n");
  EXPECT_FALSE(ErrorOf([&] { off.SetIndentString("x"); }).empty());
}
