#include "platform/xml/streamed_save.h"

#include <libxml/tree.h>

#include <string>

#include "platform/error.h"
#include "platform/xml/xml_io.h"
#include "platform/xml/xml_tree.h"

namespace kx::xml {

namespace {

std::string EndTag(const xmlNode* element) {
  std::string name = reinterpret_cast<const char*>(element->name);
  if (element->ns && element->ns->prefix) name = reinterpret_cast<const char*>(element->ns->prefix) + (":" + name);
  return "</" + name + ">\n";
}

// The document element whose children are to be written, in the shape a
// reread gives; what the piecewise write cannot give as the whole write does
// is refused.
xmlNodePtr ShapedRoot(detail::Tree& tree) {
  xmlNodePtr root = xmlDocGetRootElement(tree.doc);
  if (!root) throw kx::Error("Dokument XML jest pusty");
  bool elementsOnly = !root->next && (tree.shaped || detail::ReadBackShape(tree, root));
  for (xmlNodePtr child = root->children; child && elementsOnly; child = child->next) {
    elementsOnly = child->type == XML_ELEMENT_NODE;
  }
  if (!elementsOnly) {
    throw kx::Error("Dokumentu XML nie można zapisać częściami: element główny ma treść inną niż elementy");
  }
  return root;
}

}  // namespace

XmlStreamedSave::XmlStreamedSave(XmlDocument document, const std::filesystem::path& path)
    : m_document(std::move(document)) {
  if (!xmlDocGetRootElement(m_document.ActiveTree("XmlStreamedSave").doc)) {
    throw kx::Error(kx::Format("Dokument XML jest pusty; nie zapisano pliku %s", path.string().c_str()));
  }
  m_file = detail::OpenAtomicFile(path);
}

XmlStreamedSave::~XmlStreamedSave() = default;

void XmlStreamedSave::WriteChildren() {
  detail::Tree& tree = m_document.ActiveTree("WriteChildren");
  xmlNodePtr root = ShapedRoot(tree);
  if (!root->children) return;
  std::string text;
  if (m_started) {
    text = detail::SerializeChildren(tree.doc, root, 1, m_document.IndentString());
  } else {
    // The declaration and the start tag as the whole document's write gives
    // them: that write of what is there so far, without its end tag.
    text = detail::SerializeDocument(tree.doc, "UTF-8", true, m_document.IndentString());
    const std::string end = EndTag(root);
    if (text.size() < end.size() || text.compare(text.size() - end.size(), end.size(), end) != 0) {
      throw kx::Error("Nie można zapisać dokumentu XML jako tekstu");
    }
    text.resize(text.size() - end.size());
    m_started = true;
  }
  Put(text);
  while (xmlNodePtr child = root->children) tree.Free(child);
}

void XmlStreamedSave::Finish() {
  detail::Tree& tree = m_document.ActiveTree("Finish");
  xmlNodePtr root = ShapedRoot(tree);
  if (!m_started && !root->children) {
    Put(detail::SerializeDocument(tree.doc, "UTF-8", true, m_document.IndentString()));
  } else {
    WriteChildren();
    Put(EndTag(root));
  }
  m_file->Commit();
}

void XmlStreamedSave::Put(const std::string& text) {
  m_file->Write(text);
  if (m_written) m_written(text);
}

}  // namespace kx::xml
