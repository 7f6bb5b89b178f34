#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/xml/xml_document.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"
#include "support/two_pass_save.h"

using kx::xml::XmlDocument;
using kx::xml::XmlNode;
using kxtest::ReadFile;
using kxtest::TempDir;

namespace {

// Saves a document made by `make` both ways: the bytes must be the same, and
// the document kept after the one-pass save must be what reading the file
// back gives.
template <typename Make>
void ExpectSameAsTwoPasses(const TempDir& dir, Make make) {
  const std::string reference = kxtest::TwoPassSave(make(), dir / "two.xml");
  XmlDocument document = make();
  document.SetModified(true);
  document.SaveFormatted(dir / "one.xml");
  EXPECT_EQ(ReadFile(dir / "one.xml"), reference);
  EXPECT_EQ(document.Xml(), XmlDocument::FromFile(dir / "one.xml").Xml());
  EXPECT_TRUE(document.Modified());
}

// Text kept as written, white space included: the blank text between
// elements reaches the save.
XmlDocument Kept(const std::string& text) {
  XmlDocument document;
  document.SetXml(text);
  return document;
}

}  // namespace

TEST(FormattedSave, SameBytesAsTwoPassesOnMixedContentCommentsNamespacesAndLineEnds) {
  const std::vector<std::string> cases = {
      "<a>\n  <b>x</b>\n  <c/>\n</a>",
      "<a>\r\n\t<b>x</b>\r\n\t<c/>\r\n</a>",
      "<a>x<b/>  <c/>  </a>",
      "<a><b/>x<c/>  <d/>\n</a>",
      "<a><b/> x<c/>  <d/></a>",
      "<a><b/>x \n<c/>  <d/></a>",
      "<a><b/>\xc5\xbc\xc3\xb3\xc5\x82w<c/>  <d/></a>",
      "<a><b/>x&amp; y<c/>  <d/></a>",
      "<a><b/>x&amp;y<c/>  <d/></a>",
      "<a><b/>x&lt;\ty<c/>  <d/></a>",
      "<a>   </a>",
      "<a> <!-- uwaga --> </a>",
      "<a> <?pi dane?> <b/> </a>",
      "<a><![CDATA[x]]>  <b/>  </a>",
      "<a>  <![CDATA[]]><![CDATA[y]]>  <b/></a>",
      "<a><![CDATA[a]]]]><![CDATA[>b]]></a>",
      "<a><b>1&#13;\n2</b>&#13;\n<c/>&#13;</a>",
      "<a>\t<b/>\t</a>",
      "<a>&#13;<b/> </a>",
      "<a xmlns=\"urn:a\" xmlns:f=\"urn:f\"><f:b f:at=\"1\">t</f:b><!-- k --><?pi x?><c xmlns=\"urn:c\"><d/></c></a>",
      "<a at=\"x&#9;y&#10;z&#13;\">\n  <b at='&lt;&quot;'/>\n</a>",
      "<?xml version=\"1.0\" standalone=\"yes\"?>\n<!-- przed --><a><b/></a><!-- po -->",
      "<a>\n<b>\n<c>\n<d>tekst</d>\n</c>\n</b>\n<e></e></a>",
      // The longer way: xml:space and a document type declaration.
      "<a xml:space=\"preserve\">  <b/>  <c xml:space=\"default\"> <d/> </c></a>",
      "<a><b xml:space=\"preserve\"><c/><d>x</d></b></a>",
      "<!DOCTYPE a [<!ENTITY e \"ee\">]><a>&e; <b/>  <c>&e;</c></a>",
      "<!DOCTYPE a [<!ENTITY s \" \">]><a>&s;<b/>&s;<c>x&s;</c></a>",
  };
  TempDir dir;
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    ExpectSameAsTwoPasses(dir, [&] { return Kept(text); });
    // Read from a file, blank text dropped as the program reads files.
    SCOPED_TRACE("read from a file");
    dir.Write("wejscie.xml", text);
    ExpectSameAsTwoPasses(dir, [&] { return XmlDocument::FromFile(dir / "wejscie.xml"); });
  }
}

TEST(FormattedSave, SameBytesAsTwoPassesOnDocumentsBuiltInMemory) {
  TempDir dir;
  // Auto-indented building leaves blank text; texts added one by one, empty
  // ones among them; CDATA and comments.
  ExpectSameAsTwoPasses(dir, [] {
    XmlDocument document;
    document.SetAutoIndent(true);
    XmlNode root = document.AddDocumentElement("JPK", "urn:jpk");
    root.DeclareNamespace("etd", "urn:etd");
    for (int i = 0; i < 3; ++i) {
      XmlNode row = root.AddChild("Wiersz");
      row.AddChild("Nazwa").SetText("Firma \xc5\x81\xc3\xb3" + std::to_string(i));
      row.AddChildNS("etd:Kod", "urn:etd").SetText("PL");
    }
    XmlNode mixed = root.AddChild("Opis");
    mixed.AppendChild(document.CreateTextNode("  "));
    mixed.AppendChild(document.CreateTextNode(""));
    mixed.AppendChild(document.CreateElement("b", "urn:jpk"));
    mixed.AppendChild(document.CreateTextNode("  "));
    mixed.AppendChild(document.CreateTextNode("x"));
    mixed.AppendChild(document.CreateCDataSection("c"));
    mixed.AppendChild(document.CreateCDataSection("d"));
    mixed.AppendChild(document.CreateComment(" uwaga "));
    XmlNode empty = root.AddChild("Pusty");
    empty.AppendChild(document.CreateTextNode(""));
    XmlNode blank = root.AddChild("Blank");
    blank.AppendChild(document.CreateTextNode(" "));
    blank.AppendChild(document.CreateTextNode("\n"));
    return document;
  });
}

// A new document is known to be in read-back shape and is written without
// the walk; each change here may alter that shape and must be followed.
TEST(FormattedSave, SameBytesAsTwoPassesAfterChangesToANewDocument) {
  TempDir dir;
  struct Case {
    const char* what;
    std::function<void(XmlDocument&, XmlNode&)> change;
  } cases[] = {
      {"blank text between elements",
       [](XmlDocument& d, XmlNode& a) {
         a.AddChild("b");
         XmlNode c = a.AddChild("c");
         a.InsertBefore(d.CreateTextNode("  "), c);
       }},
      {"element after an element's text",
       [](XmlDocument&, XmlNode& a) { a.AddChild("b").SetText("x"), a.SetText("y"), a.AddChild("c"); }},
      {"element after blank text", [](XmlDocument&, XmlNode& a) { a.SetText("  "), a.AddChild("b"); }},
      {"element before text",
       [](XmlDocument&, XmlNode& a) {
         a.SetText(" x");
         a.InsertChild(0, a.OwnerDocument().CreateElement("b"));
       }},
      {"texts made adjacent by a removal",
       [](XmlDocument& d, XmlNode& a) {
         a.AppendChild(d.CreateTextNode("x"));
         XmlNode b = a.AddChild("b");
         a.AppendChild(d.CreateTextNode("  "));
         a.RemoveChild(b);
       }},
      {"texts made adjacent by a deletion",
       [](XmlDocument& d, XmlNode& a) {
         a.AppendChild(d.CreateTextNode("\xc5\xbc"));
         XmlNode b = a.AddChild("b");
         a.AppendChild(d.CreateTextNode(" "));
         a.AddChild("c");
         a.DeleteChild(b);
       }},
      {"the text that kept a later blank text taken out",
       [&dir](XmlDocument& d, XmlNode& a) {
         XmlNode x = a.AppendChild(d.CreateTextNode("x"));
         a.AddChild("b");
         a.AppendChild(d.CreateTextNode(" "));
         a.AddChild("c");
         d.SaveFormatted(dir / "probe.xml");  // walked: known to be in shape
         a.RemoveChild(x);
       }},
      {"xml:space given as an attribute node",
       [&dir](XmlDocument& d, XmlNode& a) {
         XmlNode space = d.CreateAttribute("xml:space", "http://www.w3.org/XML/1998/namespace");
         space.SetNodeValue("preserve");
         a.AddChild("b");
         a.AddChild("c");
         d.SaveFormatted(dir / "probe.xml");  // walked: known to be in shape
         a.SetAttributeNode(space);
       }},
      {"text emptied",
       [](XmlDocument&, XmlNode& a) { a.AddChild("b").SetText("x"), a.FirstChild().FirstChild().SetNodeValue(""); }},
      {"xml:space and a blank text",
       [](XmlDocument&, XmlNode& a) {
         a.SetAttribute("xml:space", "preserve");
         a.AddChild("b").SetText("  ");
         a.AddChild("c");
       }},
      {"shallow copy carrying xml:space",
       [](XmlDocument& d, XmlNode& a) {
         XmlNode b = a.AddChild("b");
         b.SetAttribute("xml:space", "preserve");
         XmlNode copy = b.CloneNode(false);
         a.RemoveChild(b);
         a.AppendChild(copy).SetText(" ");
         a.AddChild("c");
         (void)d;
       }},
      {"a moved subtree",
       [](XmlDocument& d, XmlNode& a) {
         XmlNode b = a.AddChild("b");
         b.AppendChild(d.CreateTextNode("  "));
         b.AppendChild(d.CreateElement("c"));
         a.AppendChild(a.AddChild("d"));
       }},
      {"an imported subtree",
       [](XmlDocument& d, XmlNode& a) {
         XmlDocument other = Kept("<x>  <y/>  </x>");
         a.AppendChild(d.ImportNode(other.DocumentElement(), true));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectSameAsTwoPasses(dir, [&] {
      XmlDocument document;
      XmlNode root = document.AddDocumentElement("a");
      c.change(document, root);
      return document;
    });
  }
}

TEST(FormattedSave, SameBytesAsTwoPassesOnEverySample) {
  TempDir dir;
  const std::vector<std::filesystem::path> files = kxtest::SampleFiles();
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    ExpectSameAsTwoPasses(dir, [&] { return XmlDocument::FromFile(file); });
    // As written by their producers, indentation and line ends included.
    const std::string bytes = ReadFile(file);
    XmlDocument probe;
    bool utf8 = true;
    try {
      probe.SetXml(bytes);
    } catch (const kx::Error&) {
      utf8 = false;  // another character coding: read as a file only
    }
    if (utf8) ExpectSameAsTwoPasses(dir, [&] { return Kept(bytes); });
  }
}

TEST(FormattedSave, HandlesStayValidAndFailuresLeaveNoFile) {
  TempDir dir;
  XmlDocument document = Kept("<a>\n  <b>x</b>\n  <c/>\n</a>");
  XmlNode b = document.DocumentElement().FirstChild().NextSibling();
  ASSERT_EQ(b.NodeName(), "b");
  document.SaveFormatted(dir / "a.xml");
  EXPECT_EQ(b.Text(), "x");
  EXPECT_EQ(document.DocumentElement().FirstChild().NodeName(), "b");
  EXPECT_EQ(ReadFile(dir / "a.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\n  <b>x</b>\n  <c/>\n</a>\n");

  EXPECT_THROW(document.SaveFormatted(dir / "brak" / "a.xml"), kx::Error);
  EXPECT_FALSE(std::filesystem::exists(dir / "brak"));
  XmlDocument empty;
  EXPECT_THROW(empty.SaveFormatted(dir / "pusty.xml"), kx::Error);
  EXPECT_FALSE(std::filesystem::exists(dir / "pusty.xml"));
}

TEST(FormattedSave, WorkAlongsideSeesTheFinalTreeAndItsFailureComesAfterTheWrite) {
  TempDir dir;
  const std::string written = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\n  <b>xy</b>\n  <c/>\n</a>\n";
  struct Case {
    const char* what;
    std::string text;
  } cases[] = {
      {"written in one pass", "<a>\n  <b>x</b>\n  <c/>\n</a>"},
      {"the longer way (document type)", "<!DOCTYPE a [<!ENTITY y \"y\">]><a><b>x&y;</b><c/></a>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    XmlDocument document = Kept(c.text);
    // Adjacent text, joined by the save: the work alongside sees it joined.
    if (c.text.find("DOCTYPE") == std::string::npos) {
      document.DocumentElement().FirstChild().NextSibling().AppendChild(document.CreateTextNode("y"));
    }
    const XmlDocument seen = document;
    std::string shape;
    document.SaveFormatted(dir / "a.xml", [&] { shape = seen.DocumentElement().Xml(); });
    EXPECT_EQ(shape, "<a><b>xy</b><c/></a>");
    EXPECT_EQ(ReadFile(dir / "a.xml"), written);

    // Its failure comes once the file is written.
    std::filesystem::remove(dir / "a.xml");
    EXPECT_THROW(document.SaveFormatted(dir / "a.xml", [] { throw kx::Error("sprawdzenie"); }), kx::Error);
    EXPECT_EQ(ReadFile(dir / "a.xml"), written);
  }

  // A failed write wins over the work alongside, which still ends.
  XmlDocument document = Kept("<a/>");
  bool ran = false;
  try {
    document.SaveFormatted(dir / "brak" / "a.xml", [&] {
      ran = true;
      throw kx::Error("sprawdzenie");
    });
    ADD_FAILURE() << "no failure";
  } catch (const kx::Error& e) {
    EXPECT_EQ(std::string(e.what()).find("sprawdzenie"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(ran);
}
