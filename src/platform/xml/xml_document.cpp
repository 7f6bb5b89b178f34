#include "platform/xml/xml_document.h"

#include <libxml/entities.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/error.h"
#include "platform/xml/xml_io.h"
#include "platform/xml/xml_tree.h"

namespace kx::xml {

using detail::Bytes;
using detail::ToString;
using detail::Tree;

namespace detail {

namespace {

std::pair<std::string, std::string> SplitName(std::string_view name) {
  size_t colon = name.find(':');
  if (colon == std::string_view::npos) return {std::string(), std::string(name)};
  return {std::string(name.substr(0, colon)), std::string(name.substr(colon + 1))};
}

// The namespace bound to the prefix "xml", which needs no declaration.
xmlNsPtr XmlPrefixNs(Tree& tree, std::string_view uri, std::string_view name) {
  if (uri != reinterpret_cast<const char*>(XML_XML_NAMESPACE)) {
    throw kx::Error(kx::Format("Prefiks xml w nazwie %s wymaga przestrzeni nazw %s", std::string(name).c_str(),
                               reinterpret_cast<const char*>(XML_XML_NAMESPACE)));
  }
  return xmlSearchNs(tree.doc, reinterpret_cast<xmlNodePtr>(tree.doc), BAD_CAST "xml");
}

// References to entities the target document does not declare become the
// text they stand for, so that the copy stays readable where it goes. The
// source and its copy are walked side by side; returns the copy's top node.
xmlNodePtr ResolveForeignEntities(Tree& target, xmlNodePtr source, xmlNodePtr copy) {
  if (copy->type == XML_ENTITY_REF_NODE) {
    if (xmlGetDocEntity(target.doc, copy->name)) return copy;
    xmlChar* content = xmlNodeGetContent(source);
    xmlNodePtr text = xmlNewDocText(target.doc, content ? content : BAD_CAST "");
    xmlFree(content);
    if (copy->parent) {
      xmlReplaceNode(copy, text);
    }
    xmlFreeNode(copy);
    return text;
  }
  if (copy->type == XML_ELEMENT_NODE) {
    for (xmlAttrPtr from = source->properties, to = copy->properties; from && to; from = from->next, to = to->next) {
      for (xmlNodePtr a = from->children, b = to->children; a && b; a = a->next) {
        b = ResolveForeignEntities(target, a, b)->next;
      }
    }
  }
  if (copy->type == XML_ELEMENT_NODE || copy->type == XML_DOCUMENT_FRAG_NODE) {
    for (xmlNodePtr a = source->children, b = copy->children; a && b; a = a->next) {
      b = ResolveForeignEntities(target, a, b)->next;
    }
  }
  return copy;
}

}  // namespace

xmlNodePtr NewElement(Tree& tree, std::string_view qualifiedName, std::string_view namespaceUri) {
  CheckName(qualifiedName);
  auto [prefix, local] = SplitName(qualifiedName);
  if (prefix == "xmlns" || (prefix.empty() && local == "xmlns")) {
    throw kx::Error(kx::Format("Niepoprawna nazwa elementu XML: %s", std::string(qualifiedName).c_str()));
  }
  if (namespaceUri.empty() && !prefix.empty()) {
    throw kx::Error(kx::Format("Element %s z prefiksem wymaga przestrzeni nazw", std::string(qualifiedName).c_str()));
  }
  std::string uri(namespaceUri);
  CheckText(uri);
  xmlNodePtr node = xmlNewDocNode(tree.doc, nullptr, Bytes(local), nullptr);
  if (!node) throw kx::Error("Brak pamięci na nowy element XML");
  tree.Adopt(node);
  if (prefix == "xml") {
    node->ns = XmlPrefixNs(tree, uri, qualifiedName);
  } else if (!uri.empty()) {
    node->ns = tree.DeclareOn(node, uri, prefix.empty() ? nullptr : Bytes(prefix));
  }
  return node;
}

NewNode NewAttribute(Tree& tree, std::string_view qualifiedName, std::string_view namespaceUri) {
  CheckName(qualifiedName);
  auto [prefix, local] = SplitName(qualifiedName);
  std::string uri(namespaceUri);
  CheckText(uri);
  NewNode result;
  if (prefix == "xmlns" || (prefix.empty() && local == "xmlns")) {
    if (!uri.empty() && namespaceUri != kXmlnsNamespace) {
      throw kx::Error(kx::Format("Niepoprawna deklaracja przestrzeni nazw: %s", std::string(qualifiedName).c_str()));
    }
    // The URI it declares comes with its value.
    result.declaration = xmlNewNs(nullptr, BAD_CAST "", prefix.empty() ? nullptr : Bytes(local));
    if (!result.declaration) throw kx::Error("Brak pamięci na nową deklarację przestrzeni nazw");
    tree.AdoptNs(result.declaration);
    return result;
  }
  if (uri.empty() && !prefix.empty()) {
    throw kx::Error(kx::Format("Atrybut %s z prefiksem wymaga przestrzeni nazw", std::string(qualifiedName).c_str()));
  }
  xmlAttrPtr attr = xmlNewDocProp(tree.doc, Bytes(local), nullptr);
  if (!attr) throw kx::Error("Brak pamięci na nowy atrybut XML");
  result.node = reinterpret_cast<xmlNodePtr>(attr);
  tree.Adopt(result.node);
  if (prefix == "xml") {
    attr->ns = XmlPrefixNs(tree, uri, qualifiedName);
  } else if (!uri.empty()) {
    // Held aside until the attribute is set on an element, where a prefix in
    // scope is found or declared.
    xmlNsPtr ns = xmlNewNs(nullptr, Bytes(uri), prefix.empty() ? nullptr : Bytes(prefix));
    if (!ns) throw kx::Error("Brak pamięci na nową deklarację przestrzeni nazw");
    tree.AdoptNs(ns);
    attr->ns = ns;
  }
  return result;
}

NewNode CopyNode(Tree& target, xmlNodePtr node, xmlNsPtr declaration, bool deep) {
  NewNode result;
  if (declaration) {
    result.declaration = xmlNewNs(nullptr, declaration->href, declaration->prefix);
    if (!result.declaration) throw kx::Error("Brak pamięci na kopię deklaracji przestrzeni nazw");
    target.AdoptNs(result.declaration);
    return result;
  }
  switch (node->type) {
    case XML_ATTRIBUTE_NODE: {
      std::string name;
      if (node->ns && node->ns->prefix) name = ToString(node->ns->prefix) + ":";
      name += ToString(node->name);
      std::string uri = node->ns ? ToString(node->ns->href) : std::string();
      result = NewAttribute(target, name, uri);
      xmlChar* value = xmlNodeGetContent(node);
      SetAttributeValue(reinterpret_cast<xmlAttrPtr>(result.node), ToString(value));
      xmlFree(value);
      return result;
    }
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_DOCUMENT_FRAG_NODE:
      result.node = xmlDocCopyNode(node, target.doc, deep ? 1 : 2);
      if (!result.node) throw kx::Error("Nie można skopiować węzła XML");
      if (node->doc != target.doc) result.node = ResolveForeignEntities(target, node, result.node);
      target.Adopt(result.node);
      return result;
    default: throw kx::Error("Nie można skopiować węzła XML tego rodzaju");
  }
}

void SetAttributeValue(xmlAttrPtr attr, const std::string& value) {
  if (attr->children) xmlFreeNodeList(attr->children);
  attr->children = nullptr;
  attr->last = nullptr;
  xmlNodePtr text = NewTextNode(attr->doc, value);
  text->parent = reinterpret_cast<xmlNodePtr>(attr);
  attr->children = text;
  attr->last = text;
}

}  // namespace detail

namespace {

Tree* NewEmptyTree() {
  detail::InitLibxml();
  xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
  if (!doc) throw kx::Error("Brak pamięci na nowy dokument XML");
  doc->dict = xmlDictCreate();  // element and attribute names are shared
  auto* tree = new Tree(doc);
  tree->shaped = true;  // nothing in it yet
  return tree;
}

bool IsEncodingName(std::string_view name) {
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') return false;
  }
  return true;
}

}  // namespace

// --- handle --------------------------------------------------------------------------

XmlDocument::XmlDocument() {
  Tree* tree = NewEmptyTree();
  m_state = new detail::DocState;
  detail::Retain(m_state);
  m_state->SetTree(tree);
}

XmlDocument::XmlDocument(detail::DocState* state) : m_state(state) { detail::Retain(m_state); }

XmlDocument::XmlDocument(const XmlDocument& other) : m_state(other.m_state) {
  if (m_state) detail::Retain(m_state);
}

XmlDocument::XmlDocument(XmlDocument&& other) noexcept : m_state(std::exchange(other.m_state, nullptr)) {}

XmlDocument& XmlDocument::operator=(const XmlDocument& other) {
  if (this != &other) {
    if (other.m_state) detail::Retain(other.m_state);
    if (m_state) detail::Release(m_state);
    m_state = other.m_state;
  }
  return *this;
}

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept {
  if (this != &other) {
    if (m_state) detail::Release(m_state);
    m_state = std::exchange(other.m_state, nullptr);
  }
  return *this;
}

XmlDocument::~XmlDocument() {
  if (m_state) detail::Release(m_state);
}

XmlDocument XmlDocument::FromFile(const std::filesystem::path& path) {
  XmlDocument document;
  document.LoadFromFile(path);
  return document;
}

XmlDocument XmlDocument::FromString(std::string_view text) {
  XmlDocument document;
  document.LoadFromString(text);
  return document;
}

Tree& XmlDocument::ActiveTree(const char* operation) const {
  if (!m_state) throw kx::Error(kx::Format("Operacja %s na przeniesionym dokumencie XML", operation));
  if (!m_state->tree) throw kx::Error(kx::Format("Dokument XML nie jest aktywny (operacja %s)", operation));
  return *m_state->tree;
}

// --- loading and saving --------------------------------------------------------------

void XmlDocument::LoadFromFile(const std::filesystem::path& path) {
  if (!m_state) ActiveTree("LoadFromFile");  // a moved-from handle fails before any reading
  bool xmlSpace = false;
  xmlDocPtr doc = detail::ParseFile(path, &xmlSpace);
  const bool dropped = detail::DropDoctype(doc, path.string());
  auto* tree = new Tree(doc);
  tree->droppedDoctype = dropped;
  // Read with blank text dropped, a file stands as reading it back after an
  // indented write gives; not so text from entities put in place of their
  // references, or blank text under xml:space.
  tree->shaped = !dropped && !xmlSpace;
  m_state->SetTree(tree);
}

void XmlDocument::LoadFromString(std::string_view text) {
  if (!m_state) ActiveTree("LoadFromString");
  xmlDocPtr doc = detail::ParseText(text, detail::Blanks::Drop);
  m_state->SetTree(new Tree(doc));
}

bool XmlDocument::DroppedDoctype() const { return m_state && m_state->tree && m_state->tree->droppedDoctype; }

void XmlDocument::SaveToFile(const std::filesystem::path& path) const {
  Tree& tree = ActiveTree("SaveToFile");
  if (!xmlDocGetRootElement(tree.doc)) {
    throw kx::Error(kx::Format("Dokument XML jest pusty; nie zapisano pliku %s", path.string().c_str()));
  }
  detail::WriteDocumentFile(tree.doc, path);
}

std::string XmlDocument::Xml() const {
  if (!m_state || !m_state->tree) return {};
  xmlDocPtr doc = m_state->tree->doc;
  return detail::SerializeDocument(doc, doc->encoding ? reinterpret_cast<const char*>(doc->encoding) : "", false, {});
}

void XmlDocument::SetXml(std::string_view text) {
  if (!m_state) ActiveTree("SetXml");
  xmlDocPtr doc = detail::ParseText(text, detail::Blanks::Keep);
  m_state->SetTree(new Tree(doc));
}

std::vector<std::string> XmlDocument::Lines() const {
  std::vector<std::string> lines;
  std::string text = Xml();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

void XmlDocument::SetLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  SetXml(text);
}

// --- state ---------------------------------------------------------------------------

bool XmlDocument::Active() const { return m_state && m_state->tree; }

void XmlDocument::SetActive(bool active) {
  if (!m_state) ActiveTree("SetActive");
  if (!active) {
    m_state->SetTree(nullptr);
  } else if (!m_state->tree) {
    m_state->SetTree(NewEmptyTree());
  }
}

bool XmlDocument::Modified() const { return Active() && m_state->tree->modified; }

void XmlDocument::SetModified(bool modified) { ActiveTree("SetModified").modified = modified; }

// --- declaration ---------------------------------------------------------------------

std::string XmlDocument::Version() const {
  if (!Active()) return {};
  const xmlChar* version = m_state->tree->doc->version;
  return version ? ToString(version) : "1.0";
}

void XmlDocument::SetVersion(std::string_view version) {
  Tree& tree = ActiveTree("SetVersion");
  bool valid = version.size() >= 3 && version.substr(0, 2) == "1.";
  for (char c : version.substr(std::min<size_t>(2, version.size()))) valid = valid && c >= '0' && c <= '9';
  if (!valid) throw kx::Error(kx::Format("Niepoprawna wersja XML: %s", std::string(version).c_str()));
  std::string text(version);
  if (tree.doc->version) xmlFree(const_cast<xmlChar*>(tree.doc->version));
  tree.doc->version = xmlStrdup(Bytes(text));
}

std::string XmlDocument::Encoding() const {
  if (!Active()) return {};
  return ToString(m_state->tree->doc->encoding);
}

void XmlDocument::SetEncoding(std::string_view encoding) {
  Tree& tree = ActiveTree("SetEncoding");
  if (!encoding.empty() && !IsEncodingName(encoding)) {
    throw kx::Error(kx::Format("Niepoprawna nazwa kodowania XML: %s", std::string(encoding).c_str()));
  }
  std::string text(encoding);
  if (tree.doc->encoding) xmlFree(const_cast<xmlChar*>(tree.doc->encoding));
  tree.doc->encoding = text.empty() ? nullptr : xmlStrdup(Bytes(text));
}

std::string XmlDocument::Standalone() const {
  if (!Active()) return {};
  int standalone = m_state->tree->doc->standalone;
  return standalone == 1 ? "yes" : standalone == 0 ? "no" : "";
}

void XmlDocument::SetStandalone(std::string_view standalone) {
  Tree& tree = ActiveTree("SetStandalone");
  if (standalone == "yes") {
    tree.doc->standalone = 1;
  } else if (standalone == "no") {
    tree.doc->standalone = 0;
  } else if (standalone.empty()) {
    tree.doc->standalone = -1;
  } else {
    throw kx::Error(kx::Format("Niepoprawna wartość standalone: %s", std::string(standalone).c_str()));
  }
}

bool XmlDocument::AutoIndent() const { return m_state && m_state->settings.autoIndent; }

void XmlDocument::SetAutoIndent(bool on) {
  if (!m_state) ActiveTree("SetAutoIndent");
  m_state->settings.autoIndent = on;
  if (m_state->tree) m_state->tree->settings.autoIndent = on;
}

const std::string& XmlDocument::IndentString() const {
  if (!m_state) ActiveTree("IndentString");
  return m_state->settings.indent;
}

void XmlDocument::SetIndentString(std::string_view indent) {
  if (!m_state) ActiveTree("SetIndentString");
  for (char c : indent) {
    if (c != ' ' && c != '\t') throw kx::Error("Wcięcie dokumentu XML może składać się tylko ze spacji i tabulatorów");
  }
  m_state->settings.indent.assign(indent);
  if (m_state->tree) m_state->tree->settings.indent.assign(indent);
}

// --- nodes ---------------------------------------------------------------------------

XmlNode XmlDocument::DocumentNode() const {
  Tree& tree = ActiveTree("DocumentNode");
  return XmlNode(&tree, reinterpret_cast<xmlNodePtr>(tree.doc));
}

XmlNode XmlDocument::DocumentElement() const {
  if (!Active()) return {};
  Tree& tree = *m_state->tree;
  xmlNodePtr root = xmlDocGetRootElement(tree.doc);
  return root ? XmlNode(&tree, root) : XmlNode();
}

XmlNode XmlDocument::AddDocumentElement(std::string_view tagName, std::string_view namespaceUri) {
  ActiveTree("AddDocumentElement");
  if (XmlNode root = DocumentElement()) {
    throw kx::Error(kx::Format("Dokument XML ma już element główny %s", root.NodeName().c_str()));
  }
  return DocumentNode().AddChildNS(tagName, namespaceUri);
}

XmlNode XmlDocument::BindDocumentElement(std::string_view tagName, std::string_view namespaceUri) {
  ActiveTree("BindDocumentElement");
  XmlNode root = DocumentElement();
  if (!root) return AddDocumentElement(tagName, namespaceUri);
  size_t colon = tagName.find(':');
  std::string_view local = colon == std::string_view::npos ? tagName : tagName.substr(colon + 1);
  if (root.LocalName() != local || root.NamespaceURI() != namespaceUri) {
    throw kx::Error(
        kx::Format("Element główny dokumentu XML to %s (przestrzeń nazw \"%s\"), a oczekiwano %s "
                   "(przestrzeń nazw \"%s\")",
                   root.NodeName().c_str(), root.NamespaceURI().c_str(), std::string(tagName).c_str(),
                   std::string(namespaceUri).c_str()));
  }
  return root;
}

XmlNode XmlDocument::CreateElement(std::string_view qualifiedName, std::string_view namespaceUri) {
  Tree& tree = ActiveTree("CreateElement");
  return XmlNode(&tree, detail::NewElement(tree, qualifiedName, namespaceUri));
}

XmlNode XmlDocument::CreateAttribute(std::string_view qualifiedName, std::string_view namespaceUri) {
  Tree& tree = ActiveTree("CreateAttribute");
  detail::NewNode made = detail::NewAttribute(tree, qualifiedName, namespaceUri);
  return XmlNode(&tree, made.node, made.declaration);
}

XmlNode XmlDocument::CreateTextNode(std::string_view text) {
  Tree& tree = ActiveTree("CreateTextNode");
  detail::CheckText(text);
  xmlNodePtr node = detail::NewTextNode(tree.doc, text);
  tree.Adopt(node);
  return XmlNode(&tree, node);
}

XmlNode XmlDocument::CreateCDataSection(std::string_view text) {
  Tree& tree = ActiveTree("CreateCDataSection");
  detail::CheckText(text);
  xmlNodePtr node =
      xmlNewCDataBlock(tree.doc, reinterpret_cast<const xmlChar*>(text.data()), static_cast<int>(text.size()));
  tree.Adopt(node);
  return XmlNode(&tree, node);
}

XmlNode XmlDocument::CreateComment(std::string_view text) {
  Tree& tree = ActiveTree("CreateComment");
  detail::CheckComment(text);
  std::string value(text);
  xmlNodePtr node = xmlNewDocComment(tree.doc, Bytes(value));
  tree.Adopt(node);
  return XmlNode(&tree, node);
}

XmlNode XmlDocument::CreateEntityReference(std::string_view name) {
  Tree& tree = ActiveTree("CreateEntityReference");
  detail::CheckName(name);
  std::string value(name);
  // A reference to an entity the document does not declare would make the
  // written file unreadable.
  if (value.find(':') != std::string::npos || !xmlGetDocEntity(tree.doc, Bytes(value))) {
    throw kx::Error(kx::Format("Encja %s nie jest zadeklarowana w dokumencie XML", value.c_str()));
  }
  xmlNodePtr node = xmlNewReference(tree.doc, Bytes(value));
  tree.Adopt(node);
  return XmlNode(&tree, node);
}

XmlNode XmlDocument::CreateProcessingInstruction(std::string_view target, std::string_view data) {
  Tree& tree = ActiveTree("CreateProcessingInstruction");
  detail::CheckProcessingInstruction(target, data);
  std::string targetText(target);
  std::string dataText(data);
  xmlNodePtr node = xmlNewDocPI(tree.doc, Bytes(targetText), dataText.empty() ? nullptr : Bytes(dataText));
  tree.Adopt(node);
  return XmlNode(&tree, node);
}

XmlNode XmlDocument::CreateDocumentFragment() {
  Tree& tree = ActiveTree("CreateDocumentFragment");
  xmlNodePtr node = xmlNewDocFragment(tree.doc);
  tree.Adopt(node);
  return XmlNode(&tree, node);
}

XmlNode XmlDocument::ImportNode(const XmlNode& node, bool deep) {
  Tree& tree = ActiveTree("ImportNode");
  if (node.IsNull()) throw kx::Error("Nie można skopiować pustego węzła XML");
  detail::NewNode copy = detail::CopyNode(tree, node.m_node, node.m_ns, deep);
  return XmlNode(&tree, copy.node, copy.declaration);
}

_xmlDoc* XmlDocument::RawDocument() const { return Active() ? m_state->tree->doc : nullptr; }

}  // namespace kx::xml
