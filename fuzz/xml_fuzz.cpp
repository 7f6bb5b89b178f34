// Fuzz target: the XML document services on arbitrary bytes, loaded as text
// (blank text between elements dropped) and set as the whole text of a
// document (blanks kept). Loading must end in a document or kx::Error;
// whatever loads must walk, pretty-print, serialise and load again from what
// was written, never crash or read outside memory.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/xml/pretty_print.h"
#include "platform/xml/xml_document.h"

namespace {

using kx::xml::XmlDocument;
using kx::xml::XmlNode;

// Reads everything the typed layer reads, and changes the tree a little.
void Walk(XmlNode node, int depth) {
  if (depth > 300) return;
  node.NodeName();
  node.NamespaceURI();
  if (node.Kind() != kx::xml::XmlNodeKind::Element) return;
  node.Text();
  for (int i = 0; i < node.AttributeCount(); ++i) {
    XmlNode attribute = node.AttributeAt(i);
    attribute.NodeValue();
    node.LookupPrefix(attribute.NodeValue());
  }
  node.FindNamespaceDecl(node.NamespaceURI());
  node.FindChild(node.NodeName());
  for (int i = 0; i < node.ChildCount(); ++i) Walk(node.ChildAt(i), depth + 1);
}

// A written document must load again: a failure here is a bug.
void MustLoad(std::string_view text) {
  try {
    XmlDocument again = XmlDocument::FromString(text);
  } catch (const kx::Error&) {
    std::abort();
  }
}

void Exercise(XmlDocument& document) {
  XmlNode root = document.DocumentElement();
  if (root.IsNull()) return;
  Walk(root, 0);
  std::string text = document.Xml();
  MustLoad(text);
  std::string pretty = kx::xml::PrettyPrintXml(text);
  MustLoad(pretty);

  // Copies into a new document must serialise into a loadable text too.
  XmlDocument target;
  XmlNode copyRoot = target.AddDocumentElement("copy");
  copyRoot.AppendChild(target.ImportNode(root, true));
  root.AppendChild(root.CloneNode(false));
  MustLoad(target.Xml());
  MustLoad(document.Xml());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  try {
    XmlDocument document = XmlDocument::FromString(input);
    Exercise(document);
  } catch (const kx::Error&) {
  }
  try {
    XmlDocument document;
    document.SetXml(input);
    Exercise(document);
  } catch (const kx::Error&) {
  }
  return 0;
}
