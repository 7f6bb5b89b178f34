#include "platform/xml/streamed_save.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/xml/xml_document.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using kx::xml::XmlDocument;
using kx::xml::XmlNode;
using kx::xml::XmlStreamedSave;
using kxtest::ReadFile;
using kxtest::TempDir;

namespace {

// The elements under the document element are taken out and put back one by
// one, as a writer makes them, with the children written every
// `batch` elements (0: only at the end). The file must hold the bytes of the
// one-pass save of the whole document.
void ExpectSameAsWholeSave(const TempDir& dir, const std::function<XmlDocument()>& make) {
  XmlDocument whole = make();
  whole.SaveFormatted(dir / "whole.xml");
  const std::string reference = ReadFile(dir / "whole.xml");
  for (int batch : {0, 1, 3}) {
    SCOPED_TRACE("batch " + std::to_string(batch));
    XmlDocument document = make();
    XmlNode root = document.DocumentElement();
    std::vector<XmlNode> children;
    // The blank text between them is dropped by either save.
    while (root.HasChildNodes()) {
      XmlNode child = root.RemoveChild(root.FirstChild());
      if (child.Kind() == kx::xml::XmlNodeKind::Element) children.push_back(child);
    }
    std::filesystem::remove(dir / "streamed.xml");
    XmlStreamedSave out(document, dir / "streamed.xml");
    int made = 0;
    for (const XmlNode& child : children) {
      root.AppendChild(child);
      if (batch > 0 && ++made % batch == 0) {
        out.WriteChildren();
        EXPECT_FALSE(root.HasChildNodes());
      }
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "streamed.xml"));
    out.Finish();
    EXPECT_EQ(ReadFile(dir / "streamed.xml"), reference);
  }
}

XmlDocument Kept(const std::string& text) {
  XmlDocument document;
  document.SetXml(text);
  return document;
}

}  // namespace

TEST(StreamedSave, SameBytesAsTheWholeSaveOnEverySampleAndOnMixedContent) {
  TempDir dir;
  const std::vector<std::filesystem::path> files = kxtest::SampleFiles();
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    ExpectSameAsWholeSave(dir, [&] { return XmlDocument::FromFile(file); });
  }

  // Records with mixed content, comments, CDATA, foreign namespaces, line
  // ends written as references, an empty document element, a prefixed one.
  const std::vector<std::string> cases = {
      "<a xmlns=\"urn:a\" xmlns:f=\"urn:f\"><f:b f:at=\"1\">t</f:b><c xmlns=\"urn:c\"><d/></c><e/></a>",
      "<a>\n  <b>1&#13;\n2</b>\n  <c><!-- k --><d>x</d>  <e/></c>\n  <f><![CDATA[x]]>  <g/></f>\n</a>",
      "<a><b>x<i>y</i> z</b><c>\xc5\xbc\xc3\xb3\xc5\x82w &amp; &lt;</c><d at=\"x&#9;y&#10;&quot;\"/></a>",
      "<a><b><?pi dane?><c/></b></a>",
      "<?xml version=\"1.0\" standalone=\"yes\"?>\n<!-- przed --><a>\r\n\t<b>x</b>\r\n\t<c/>\r\n</a>",
      "<a/>",
      "<p:a xmlns:p=\"urn:p\"><p:b>1</p:b><p:c/></p:a>",
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    ExpectSameAsWholeSave(dir, [&] { return Kept(text); });
  }
}

TEST(StreamedSave, RefusesWhatItCannotWriteInPartsAndLeavesNothingWithoutFinish) {
  TempDir dir;
  // Text beside the records, a document type declaration, xml:space, a
  // comment after the document element: the whole save handles them apart.
  for (const char* text : {"<a>x<b/></a>", "<!DOCTYPE a [<!ENTITY e \"ee\">]><a><b>&e;</b></a>",
                           "<a xml:space=\"preserve\"><b/></a>", "<a><b/></a><!-- po -->"}) {
    SCOPED_TRACE(text);
    XmlDocument document = Kept(text);
    {
      XmlStreamedSave out(document, dir / "a.xml");
      EXPECT_THROW(out.WriteChildren(), kx::Error);
      EXPECT_THROW(out.Finish(), kx::Error);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  }

  // Records written, then the run fails: no file, no private file.
  {
    XmlDocument document = Kept("<a><b/></a>");
    XmlStreamedSave out(document, dir / "a.xml");
    out.WriteChildren();
    document.DocumentElement().AddChild("c");
    out.WriteChildren();
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));

  EXPECT_THROW(XmlStreamedSave(Kept("<a/>"), dir / "brak" / "a.xml"), kx::Error);
  EXPECT_THROW(XmlStreamedSave(XmlDocument(), dir / "a.xml"), kx::Error);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}
