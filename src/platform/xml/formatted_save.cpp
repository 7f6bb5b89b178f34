// The indented save in one pass: the tree is brought to the shape a parser
// gives when it reads the tree's own text back with blank text dropped, and
// is then written indented straight from memory. The bytes are those of the
// longer way (write, read back, indent, read again, write), which stays for
// documents whose blank text the parser treats by rules this walk does not
// follow (a document type declaration, xml:space).

#include <libxml/tree.h>

#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/xml/xml_document.h"
#include "platform/xml/xml_io.h"
#include "platform/xml/xml_tree.h"

namespace kx::xml {

namespace detail {

namespace {

bool IsSpaceChar(xmlChar c) { return c == ' ' || c == '\t' || c == '\n'; }

// Only spaces, tabs and line feeds (a carriage return is written as a
// character reference, which the parser always keeps).
bool IsBlankText(const xmlChar* text) {
  if (!text || !*text) return false;
  for (; *text; ++text) {
    if (!IsSpaceChar(*text)) return false;
  }
  return true;
}

// Whether the parser, reading this kept text, marks its element so that all
// later blank text in it is kept: it does so when a run of characters it
// delivers starts with a blank (at the start, or after a character written as
// a reference) or when the text holds characters outside ASCII.
bool MarksElementAsMixed(const xmlChar* text) {
  if (!text || !*text) return false;
  if (IsSpaceChar(*text)) return true;
  for (const xmlChar* p = text; *p; ++p) {
    if (*p >= 0x80) return true;
    const bool reference = *p == '<' || *p == '>' || *p == '&' || *p == '\r';
    if (reference && IsSpaceChar(p[1])) return true;
  }
  return false;
}

bool HasXmlSpace(const xmlNode* element) {
  for (const xmlAttr* a = element->properties; a; a = a->next) {
    if (a->ns && a->ns->prefix && xmlStrEqual(a->ns->prefix, BAD_CAST "xml") &&
        xmlStrEqual(a->name, BAD_CAST "space")) {
      return true;
    }
  }
  return false;
}

// One element's children as the parser rebuilds them; false, with nothing
// changed, at an entity reference.
bool RereadChildren(Tree& tree, xmlNodePtr element, std::vector<xmlNodePtr>& elements) {
  for (xmlNodePtr child = element->children; child; child = child->next) {
    if (child->type == XML_ENTITY_REF_NODE) return false;
  }
  bool mixed = false;  // a kept text has marked the element
  xmlNodePtr firstKept = nullptr;
  for (xmlNodePtr child = element->children; child;) {
    xmlNodePtr next = child->next;
    const bool text = child->type == XML_TEXT_NODE;
    if (text || child->type == XML_CDATA_SECTION_NODE) {
      // Adjacent text of one kind is read back as one node; empty text is not
      // read back at all (an empty CDATA section is).
      while (next && next->type == child->type) {
        if (next->content && *next->content) xmlTextConcat(child, next->content, xmlStrlen(next->content));
        xmlNodePtr joined = next;
        next = next->next;
        tree.Remove(joined);
      }
      if (text && (!child->content || !*child->content)) {
        tree.Remove(child);
        child = next;
        continue;
      }
    }
    if (text && IsBlankText(child->content)) {
      bool keep;
      if (mixed) {
        keep = true;
      } else if (!firstKept) {
        keep = !next;  // the only child: kept
      } else {
        keep = firstKept->type == XML_TEXT_NODE;
      }
      if (!keep) {
        tree.Remove(child);
        child = next;
        continue;
      }
      mixed = true;
    } else if (text && MarksElementAsMixed(child->content)) {
      mixed = true;
    }
    if (!firstKept) firstKept = child;
    if (child->type == XML_ELEMENT_NODE) elements.push_back(child);
    child = next;
  }
  return true;
}

}  // namespace

// The elements walked before a refusal stand as they read back, so the
// longer way still gives the same result from there.
bool ReadBackShape(Tree& tree, xmlNodePtr top) {
  if (tree.doc->intSubset || tree.doc->extSubset) return false;
  std::vector<xmlNodePtr> elements{top};
  while (!elements.empty()) {
    xmlNodePtr element = elements.back();
    elements.pop_back();
    if (HasXmlSpace(element)) return false;
    if (!RereadChildren(tree, element, elements)) return false;
  }
  return true;
}

}  // namespace detail

void XmlDocument::SaveFormatted(const std::filesystem::path& path, const std::function<void()>& alongside) {
  detail::Tree& tree = ActiveTree("SaveFormatted");
  if (!xmlDocGetRootElement(tree.doc)) {
    throw kx::Error(kx::Format("Dokument XML jest pusty; nie zapisano pliku %s", path.string().c_str()));
  }
  const bool modified = tree.modified;
  const bool shaped = tree.shaped || detail::ReadBackShape(tree, xmlDocGetRootElement(tree.doc));
  tree.modified = modified;
  tree.shaped = shaped;
  if (shaped) {
    if (alongside) {
      // The tree has its final shape: from here on both only read it. The
      // write's failure comes first, then the other's.
      std::exception_ptr failure;
      std::thread other([&] {
        try {
          alongside();
        } catch (...) {
          failure = std::current_exception();
        }
      });
      try {
        detail::WriteDocumentFile(tree.doc, path, true, m_state->settings.indent);
      } catch (...) {
        other.join();
        throw;
      }
      other.join();
      if (failure) std::rethrow_exception(failure);
    } else {
      detail::WriteDocumentFile(tree.doc, path, true, m_state->settings.indent);
    }
    // Read back, the file declares its character coding.
    if (!tree.doc->encoding || !xmlStrEqual(tree.doc->encoding, BAD_CAST "UTF-8")) {
      if (tree.doc->encoding) xmlFree(const_cast<xmlChar*>(tree.doc->encoding));
      tree.doc->encoding = xmlStrdup(BAD_CAST "UTF-8");
    }
    return;
  }
  // The longer way, in memory: the text read back (the document type
  // declaration dropped, as when a file is loaded), indented, written, and
  // read back again as the document's new tree.
  std::string text = detail::SerializeDocument(tree.doc, "UTF-8", false, {});
  xmlDocPtr reread = detail::ParseText(text, detail::Blanks::Drop);
  text.clear();
  text.shrink_to_fit();
  detail::DropDoctype(reread, path.string());
  std::string pretty;
  {
    // Entities put in place of their references may leave blank text that
    // reading the indented file drops.
    detail::Tree rereadTree(reread);  // frees it
    detail::ReadBackShape(rereadTree, xmlDocGetRootElement(reread));
    pretty = detail::SerializeDocument(reread, "UTF-8", true, m_state->settings.indent);
  }
  detail::WriteTextFile(path, pretty);
  m_state->SetTree(new detail::Tree(detail::ParseText(pretty, detail::Blanks::Drop)));
  m_state->tree->modified = modified;
  if (alongside) alongside();
}

}  // namespace kx::xml
