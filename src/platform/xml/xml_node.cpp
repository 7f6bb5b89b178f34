#include "platform/xml/xml_node.h"

#include <libxml/entities.h>
#include <libxml/tree.h>

#include <array>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/xml/xml_document.h"
#include "platform/xml/xml_io.h"
#include "platform/xml/xml_tree.h"

namespace kx::xml {

using detail::Bytes;
using detail::ChildFilter;
using detail::SetAttributeValue;
using detail::ToString;
using detail::Tree;

namespace {

const char* Chars(const xmlChar* text) { return text ? reinterpret_cast<const char*>(text) : ""; }

struct QName {
  std::string prefix;
  std::string local;
};

QName Split(std::string_view name) {
  size_t colon = name.find(':');
  if (colon == std::string_view::npos) return {{}, std::string(name)};
  return {std::string(name.substr(0, colon)), std::string(name.substr(colon + 1))};
}

bool IsXmlns(const QName& name) { return name.prefix == "xmlns" || (name.prefix.empty() && name.local == "xmlns"); }

std::string_view Href(const xmlNs* ns) {
  return ns && ns->href ? std::string_view(Chars(ns->href)) : std::string_view();
}

std::string QualifiedName(const xmlNs* ns, const xmlChar* name) {
  std::string result;
  if (ns && ns->prefix) {
    result = Chars(ns->prefix);
    result += ':';
  }
  result += Chars(name);
  return result;
}

xmlNsPtr DeclaredHere(xmlNodePtr element, const xmlChar* prefix) {
  for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
    if (prefix ? xmlStrEqual(ns->prefix, prefix) : ns->prefix == nullptr) return ns;
  }
  return nullptr;
}

const xmlChar* PrefixOrNull(const std::string& prefix) { return prefix.empty() ? nullptr : Bytes(prefix); }

xmlAttrPtr FindAttribute(xmlNodePtr element, std::string_view local, const xmlNs* ns, bool byHref) {
  for (xmlAttrPtr attr = element->properties; attr; attr = attr->next) {
    if (std::string_view(Chars(attr->name)) != local) continue;
    if (!ns ? !attr->ns : attr->ns && (byHref ? Href(attr->ns) == Href(ns) : attr->ns == ns)) return attr;
  }
  return nullptr;
}

[[noreturn]] void Fail(const std::string& message) { throw kx::Error(message); }

}  // namespace

// --- handle --------------------------------------------------------------------------

XmlNode::XmlNode(Tree* tree, xmlNodePtr node, xmlNsPtr ns) : m_tree(tree), m_node(node), m_ns(ns) {
  if (m_tree) detail::Retain(m_tree);
}

XmlNode::XmlNode(const XmlNode& other) : m_tree(other.m_tree), m_node(other.m_node), m_ns(other.m_ns) {
  if (m_tree) detail::Retain(m_tree);
}

XmlNode::XmlNode(XmlNode&& other) noexcept
    : m_tree(std::exchange(other.m_tree, nullptr)),
      m_node(std::exchange(other.m_node, nullptr)),
      m_ns(std::exchange(other.m_ns, nullptr)) {}

XmlNode& XmlNode::operator=(const XmlNode& other) {
  if (this != &other) {
    if (other.m_tree) detail::Retain(other.m_tree);
    if (m_tree) detail::Release(m_tree);
    m_tree = other.m_tree;
    m_node = other.m_node;
    m_ns = other.m_ns;
  }
  return *this;
}

XmlNode& XmlNode::operator=(XmlNode&& other) noexcept {
  if (this != &other) {
    if (m_tree) detail::Release(m_tree);
    m_tree = std::exchange(other.m_tree, nullptr);
    m_node = std::exchange(other.m_node, nullptr);
    m_ns = std::exchange(other.m_ns, nullptr);
  }
  return *this;
}

XmlNode::~XmlNode() {
  if (m_tree) detail::Release(m_tree);
}

xmlNodePtr XmlNode::Element(const char* operation) const {
  if (IsNull()) Fail(kx::Format("Operacja %s na pustym węźle XML", operation));
  if (m_ns || m_node->type != XML_ELEMENT_NODE) {
    Fail(kx::Format("Operacja %s wymaga elementu XML, a węzeł %s nim nie jest", operation, NodeName().c_str()));
  }
  return m_node;
}

xmlNodePtr XmlNode::Container(const char* operation) const {
  if (IsNull()) Fail(kx::Format("Operacja %s na pustym węźle XML", operation));
  if (m_ns || detail::IsLeaf(m_node)) {
    Fail(kx::Format("Węzeł XML %s nie może mieć węzłów podrzędnych (operacja %s)", NodeName().c_str(), operation));
  }
  return m_node;
}

// --- identity ------------------------------------------------------------------------

XmlNodeKind XmlNode::Kind() const {
  if (m_ns) return XmlNodeKind::Attribute;
  if (!m_node) return XmlNodeKind::None;
  switch (m_node->type) {
    case XML_ELEMENT_NODE: return XmlNodeKind::Element;
    case XML_ATTRIBUTE_NODE: return XmlNodeKind::Attribute;
    case XML_TEXT_NODE: return XmlNodeKind::Text;
    case XML_CDATA_SECTION_NODE: return XmlNodeKind::CData;
    case XML_ENTITY_REF_NODE: return XmlNodeKind::EntityReference;
    case XML_ENTITY_NODE:
    case XML_ENTITY_DECL: return XmlNodeKind::Entity;
    case XML_PI_NODE: return XmlNodeKind::ProcessingInstruction;
    case XML_COMMENT_NODE: return XmlNodeKind::Comment;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE: return XmlNodeKind::Document;
    case XML_DOCUMENT_TYPE_NODE:
    case XML_DTD_NODE: return XmlNodeKind::DocumentType;
    case XML_DOCUMENT_FRAG_NODE: return XmlNodeKind::DocumentFragment;
    case XML_NOTATION_NODE: return XmlNodeKind::Notation;
    default: return XmlNodeKind::Other;
  }
}

std::string XmlNode::NodeName() const {
  if (m_ns) return m_ns->prefix ? "xmlns:" + ToString(m_ns->prefix) : "xmlns";
  if (!m_node) return {};
  switch (m_node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE: return QualifiedName(m_node->ns, m_node->name);
    case XML_TEXT_NODE: return "#text";
    case XML_CDATA_SECTION_NODE: return "#cdata-section";
    case XML_COMMENT_NODE: return "#comment";
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE: return "#document";
    case XML_DOCUMENT_FRAG_NODE: return "#document-fragment";
    default: return ToString(m_node->name);
  }
}

std::string XmlNode::LocalName() const {
  if (m_ns) return m_ns->prefix ? ToString(m_ns->prefix) : "xmlns";
  if (m_node && (m_node->type == XML_ELEMENT_NODE || m_node->type == XML_ATTRIBUTE_NODE)) return ToString(m_node->name);
  return {};
}

std::string XmlNode::Prefix() const {
  if (m_ns) return m_ns->prefix ? "xmlns" : "";
  if (m_node && (m_node->type == XML_ELEMENT_NODE || m_node->type == XML_ATTRIBUTE_NODE) && m_node->ns) {
    return ToString(m_node->ns->prefix);
  }
  return {};
}

std::string XmlNode::NamespaceURI() const {
  if (m_ns) return std::string(kXmlnsNamespace);
  if (m_node && (m_node->type == XML_ELEMENT_NODE || m_node->type == XML_ATTRIBUTE_NODE)) {
    return std::string(Href(m_node->ns));
  }
  return {};
}

std::string_view XmlNode::LocalNameView() const {
  if (m_ns || !m_node || (m_node->type != XML_ELEMENT_NODE && m_node->type != XML_ATTRIBUTE_NODE)) return {};
  return reinterpret_cast<const char*>(m_node->name);
}

std::string_view XmlNode::NamespaceURIView() const {
  if (m_ns || !m_node || (m_node->type != XML_ELEMENT_NODE && m_node->type != XML_ATTRIBUTE_NODE)) return {};
  return Href(m_node->ns);
}

XmlDocument XmlNode::OwnerDocument() const {
  if (!m_tree) Fail("Pusty węzeł XML nie należy do żadnego dokumentu");
  detail::DocState* state = m_tree->owner;
  if (!state) {
    // The document handle that loaded this tree is gone or holds another tree
    // now: the node's tree gets a handle of its own.
    state = new detail::DocState;
    state->settings = m_tree->settings;
    state->SetTree(m_tree);
  }
  return XmlDocument(state);
}

bool XmlNode::IsAttached() const {
  if (IsNull()) return false;
  xmlNodePtr node = m_node;
  if (m_ns) {
    if (!node) return false;
    bool declared = false;
    for (xmlNsPtr ns = node->nsDef; ns; ns = ns->next) declared = declared || ns == m_ns;
    if (!declared) return false;
  }
  auto* document = reinterpret_cast<xmlNodePtr>(m_tree->doc);
  for (; node; node = node->parent) {
    if (node == document) return true;
  }
  return false;
}

// --- value ---------------------------------------------------------------------------

std::optional<std::string_view> XmlNode::SimpleText() const {
  if (m_ns || !m_node || m_node->type != XML_ELEMENT_NODE) return std::nullopt;
  const xmlNode* child = m_node->children;
  if (!child) return std::string_view();
  if (child->next || child->type != XML_TEXT_NODE || !child->content) return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(child->content));
}

std::string XmlNode::Text() const {
  if (m_ns) return ToString(m_ns->href);
  if (!m_node) Fail("Odczyt tekstu pustego węzła XML");
  switch (m_node->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE: return ToString(m_node->content);
    default: {
      xmlChar* content = xmlNodeGetContent(m_node);
      std::string result = ToString(content);
      xmlFree(content);
      return result;
    }
  }
}

void XmlNode::SetText(std::string_view text) {
  if (IsNull()) Fail("Zapis tekstu do pustego węzła XML");
  std::string value(text);
  if (m_ns) {
    detail::CheckText(value);
    if (value.empty() && m_ns->prefix)
      Fail(kx::Format("Prefiks %s musi mieć adres przestrzeni nazw", Chars(m_ns->prefix)));
    xmlFree(const_cast<xmlChar*>(m_ns->href));
    m_ns->href = xmlStrdup(Bytes(value));
    // Elements in this namespace moved to another: name filters must recount.
    m_tree->TouchAll();
    m_tree->modified = true;
    return;
  }
  switch (m_node->type) {
    case XML_ELEMENT_NODE:
      detail::CheckText(value);
      m_tree->ReplaceChildrenByText(m_node, value);
      return;
    case XML_ATTRIBUTE_NODE:
      detail::CheckText(value);
      SetAttributeValue(reinterpret_cast<xmlAttrPtr>(m_node), value);
      // An attribute's value leaves the text between elements as it is,
      // unless it is xml:space.
      if (!m_node->ns || !m_node->ns->prefix || !xmlStrEqual(m_node->ns->prefix, BAD_CAST "xml")) {
        m_tree->modified = true;
        return;
      }
      break;
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
      detail::CheckText(value);
      xmlNodeSetContent(m_node, Bytes(value));
      break;
    case XML_COMMENT_NODE:
      detail::CheckComment(value);
      xmlNodeSetContent(m_node, Bytes(value));
      break;
    case XML_PI_NODE:
      detail::CheckProcessingInstruction(Chars(m_node->name), value);
      xmlNodeSetContent(m_node, Bytes(value));
      break;
    default: Fail(kx::Format("Nie można zmienić tekstu węzła XML %s", NodeName().c_str()));
  }
  m_tree->Changed();  // text may now be empty or blank
}

std::string XmlNode::NodeValue() const {
  if (m_ns) return ToString(m_ns->href);
  if (!m_node) Fail("Odczyt wartości pustego węzła XML");
  switch (m_node->type) {
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE: return Text();
    default: return {};
  }
}

void XmlNode::SetNodeValue(std::string_view value) { SetText(value); }

bool XmlNode::IsTextElement() const {
  if (m_ns || !m_node || m_node->type != XML_ELEMENT_NODE) return false;
  for (xmlNodePtr child = m_node->children; child; child = child->next) {
    if (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE && child->type != XML_ENTITY_REF_NODE) {
      return false;
    }
  }
  return true;
}

std::string XmlNode::Xml() const {
  if (IsNull()) Fail("Zapis pustego węzła XML jako tekstu");
  if (m_ns) return NodeName() + "=\"" + ToString(m_ns->href) + "\"";
  if (m_node->type == XML_DOCUMENT_NODE) return OwnerDocument().Xml();
  std::string text = detail::SerializeNode(m_tree->doc, m_node);
  if (m_node->type == XML_ATTRIBUTE_NODE && !text.empty() && text.front() == ' ') text.erase(0, 1);
  return text;
}

// --- navigation ----------------------------------------------------------------------

XmlNode XmlNode::ParentNode() const {
  if (IsNull() || m_ns || m_node->type == XML_ATTRIBUTE_NODE || !m_node->parent) return {};
  return XmlNode(m_tree, m_node->parent);
}

XmlNode XmlNode::FirstChild() const {
  if (IsNull() || m_ns || detail::IsLeaf(m_node) || !m_node->children) return {};
  return XmlNode(m_tree, m_node->children);
}

XmlNode XmlNode::LastChild() const {
  if (IsNull() || m_ns || detail::IsLeaf(m_node) || !m_node->last) return {};
  return XmlNode(m_tree, m_node->last);
}

XmlNode XmlNode::NextSibling() const {
  if (IsNull() || m_ns || m_node->type == XML_ATTRIBUTE_NODE || !m_node->next) return {};
  return XmlNode(m_tree, m_node->next);
}

XmlNode XmlNode::PreviousSibling() const {
  if (IsNull() || m_ns || m_node->type == XML_ATTRIBUTE_NODE || !m_node->prev) return {};
  return XmlNode(m_tree, m_node->prev);
}

bool XmlNode::HasChildNodes() const { return !IsNull() && !m_ns && !detail::IsLeaf(m_node) && m_node->children; }

int XmlNode::ChildCount() const {
  if (IsNull() || m_ns) return 0;
  return m_tree->ChildCount(m_node, ChildFilter{});
}

XmlNode XmlNode::ChildAt(int index) const {
  xmlNodePtr parent = Container("ChildAt");
  xmlNodePtr child = m_tree->ChildAt(parent, ChildFilter{}, index);
  if (!child) {
    Fail(kx::Format("Indeks %d poza zakresem listy węzłów elementu %s (liczba węzłów: %d)", index, NodeName().c_str(),
                    ChildCount()));
  }
  return XmlNode(m_tree, child);
}

int XmlNode::IndexOfChild(const XmlNode& child) const {
  if (IsNull() || m_ns || child.IsNull() || child.m_ns || child.m_tree != m_tree) return -1;
  return m_tree->IndexOf(m_node, child.m_node);
}

int XmlNode::IndexOfChild(std::string_view name) const {
  XmlNode child = FindChild(name);
  return child ? IndexOfChild(child) : -1;
}

int XmlNode::ElementCount(std::string_view localName, std::string_view namespaceUri) const {
  if (IsNull() || m_ns) return 0;
  return m_tree->ChildCount(m_node, ChildFilter::Elements(localName, namespaceUri));
}

XmlNode XmlNode::ElementAt(std::string_view localName, std::string_view namespaceUri, int index) const {
  xmlNodePtr parent = Container("ElementAt");
  xmlNodePtr child = m_tree->ChildAt(parent, ChildFilter::Elements(localName, namespaceUri), index);
  if (!child) {
    Fail(kx::Format("Indeks %d poza zakresem listy elementów %s w elemencie %s (liczba elementów: %d)", index,
                    std::string(localName).c_str(), NodeName().c_str(), ElementCount(localName, namespaceUri)));
  }
  return XmlNode(m_tree, child);
}

namespace {

// The first child the filter takes. Short lists are looked through; in a
// long one the first match is remembered, so looking up the same name after
// each insertion (a control element kept last) stays cheap.
xmlNodePtr FirstMatch(Tree& tree, xmlNodePtr parent, const ChildFilter& filter) {
  constexpr int kLookThrough = 32;
  int seen = 0;
  xmlNodePtr child = parent->children;
  for (; child && seen < kLookThrough; child = child->next, ++seen) {
    if (filter.Matches(child)) return child;
  }
  return child ? tree.FirstChild(parent, filter) : nullptr;
}

}  // namespace

// What FindChild(name) looks for among the children of this element; it
// keeps views into the name.
detail::ChildFilter XmlNode::NameFilter(std::string_view name) const {
  const size_t colon = name.find(':');
  // The namespace the name stands for here.
  ChildFilter filter;
  filter.kind = ChildFilter::Kind::Named;
  filter.localName = colon == std::string_view::npos ? name : name.substr(colon + 1);
  filter.prefix = colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
  if (filter.prefix.empty()) {
    filter.namespaceUri = m_node->type == XML_ELEMENT_NODE ? Href(m_node->ns) : std::string_view();
  } else if (xmlNsPtr bound = m_tree->SearchNs(m_node, Bytes(std::string(filter.prefix)))) {
    filter.namespaceUri = Href(bound);
  } else {
    filter.knownNs = false;
  }
  return filter;
}

XmlNode XmlNode::FindChild(std::string_view name) const {
  if (IsNull() || m_ns || detail::IsLeaf(m_node)) return {};
  xmlNodePtr child = FirstMatch(*m_tree, m_node, NameFilter(name));
  return child ? XmlNode(m_tree, child) : XmlNode();
}

void XmlNode::FindChildren(std::span<const std::string_view> names, std::span<XmlNode> found) const {
  if (found.size() < names.size()) throw Error("FindChildren: za mało miejsca na wyniki.");
  for (size_t i = 0; i < names.size(); ++i) found[i] = XmlNode();
  if (IsNull() || m_ns || detail::IsLeaf(m_node)) return;
  constexpr size_t kInPlace = 32;
  std::array<ChildFilter, kInPlace> inPlace;
  std::vector<ChildFilter> more;
  if (names.size() > kInPlace) more.resize(names.size());
  ChildFilter* filters = names.size() > kInPlace ? more.data() : inPlace.data();
  for (size_t i = 0; i < names.size(); ++i) filters[i] = NameFilter(names[i]);
  size_t left = names.size();
  for (xmlNodePtr c = m_node->children; c && left > 0; c = c->next) {
    if (c->type != XML_ELEMENT_NODE) continue;
    for (size_t i = 0; i < names.size(); ++i) {
      // The first letter first: most names differ there.
      if (found[i].IsNull() && !filters[i].localName.empty() && filters[i].localName[0] == c->name[0] &&
          filters[i].Matches(c)) {
        found[i] = XmlNode(m_tree, c);
        --left;
      }
    }
  }
}

XmlNode XmlNode::FindChild(std::string_view localName, std::string_view namespaceUri) const {
  if (IsNull() || m_ns || detail::IsLeaf(m_node)) return {};
  xmlNodePtr child = FirstMatch(*m_tree, m_node, ChildFilter::Elements(localName, namespaceUri));
  return child ? XmlNode(m_tree, child) : XmlNode();
}

XmlNode XmlNode::ChildByName(std::string_view name) {
  if (XmlNode child = FindChild(name)) return child;
  return AddChild(name);
}

namespace {

// The child that a new node goes before for an index (-1 or beyond: none).
xmlNodePtr Reference(Tree& tree, xmlNodePtr parent, int& index, const XmlNode& self) {
  // Appending needs no count: a count after every append would make building
  // a long list quadratic.
  if (index == -1) return nullptr;
  int count = tree.ChildCount(parent, ChildFilter{});
  if (index == -1 || index >= count) {
    index = -1;
    return nullptr;
  }
  if (index < -1) {
    Fail(kx::Format("Indeks %d poza zakresem listy węzłów elementu %s (liczba węzłów: %d)", index,
                    self.NodeName().c_str(), count));
  }
  return tree.ChildAt(parent, ChildFilter{}, index);
}

// What may stand where: the checks before a node goes into a parent.
void CheckInsert(Tree& tree, xmlNodePtr parent, xmlNodePtr node) {
  auto allowed = [&](xmlNodePtr candidate) {
    switch (candidate->type) {
      case XML_ELEMENT_NODE:
      case XML_COMMENT_NODE:
      case XML_PI_NODE: return true;
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
      case XML_ENTITY_REF_NODE:
        if (parent->type == XML_DOCUMENT_NODE) {
          Fail("Na poziomie dokumentu XML mogą stać tylko element główny, komentarze i instrukcje przetwarzania");
        }
        return true;
      default: return false;
    }
  };
  if (node->type == XML_DOCUMENT_FRAG_NODE) {
    if (node == parent) Fail("Nie można wstawić węzła XML do niego samego");
    int elements = 0;
    for (xmlNodePtr child = node->children; child; child = child->next) {
      if (!allowed(child)) Fail("Niedozwolony rodzaj węzła XML w tym miejscu");
      elements += child->type == XML_ELEMENT_NODE;
    }
    if (parent->type == XML_DOCUMENT_NODE && elements > 0 &&
        (elements > 1 || xmlDocGetRootElement(tree.doc) != nullptr)) {
      Fail("Dokument XML może mieć tylko jeden element główny");
    }
    return;
  }
  if (!allowed(node)) {
    if (node->type == XML_ATTRIBUTE_NODE) Fail("Atrybutu XML nie można wstawić jako węzła podrzędnego");
    Fail("Niedozwolony rodzaj węzła XML w tym miejscu");
  }
  for (xmlNodePtr p = parent; p; p = p->parent) {
    if (p == node) Fail("Nie można wstawić węzła XML do jego własnego poddrzewa");
  }
  if (parent->type == XML_DOCUMENT_NODE && node->type == XML_ELEMENT_NODE) {
    xmlNodePtr root = xmlDocGetRootElement(tree.doc);
    if (root && root != node) {
      Fail(kx::Format("Dokument XML ma już element główny %s", QualifiedName(root->ns, root->name).c_str()));
    }
  }
}

}  // namespace

XmlNode XmlNode::AddChild(std::string_view name, int index) {
  xmlNodePtr parent = Container("AddChild");
  return NewChild(parent, name, index, nullptr);
}

XmlNode XmlNode::AddChildBefore(std::string_view name, const XmlNode& reference) {
  xmlNodePtr parent = Container("AddChildBefore");
  if (!reference.IsNull() && (reference.m_ns || reference.m_tree != m_tree || reference.m_node->parent != parent ||
                              reference.m_node->type == XML_ATTRIBUTE_NODE)) {
    Fail("Węzeł odniesienia nie jest węzłem podrzędnym tego elementu XML");
  }
  return NewChild(parent, name, -1, &reference);
}

XmlNode XmlNode::NewChild(_xmlNode* parent, std::string_view name, int index, const XmlNode* reference) {
  detail::CheckName(name);
  QName qname = Split(name);
  if (IsXmlns(qname)) Fail(kx::Format("Niepoprawna nazwa elementu XML: %s", std::string(name).c_str()));
  xmlNsPtr ns = nullptr;
  if (!qname.prefix.empty()) {
    ns = m_tree->SearchNs(parent, Bytes(qname.prefix));
    if (!ns) {
      Fail(kx::Format("Prefiks przestrzeni nazw \"%s\" nie jest zadeklarowany (element %s)", qname.prefix.c_str(),
                      std::string(name).c_str()));
    }
  } else if (parent->type == XML_ELEMENT_NODE) {
    ns = parent->ns;  // the parent's namespace and prefix
  }
  if (parent->type == XML_DOCUMENT_NODE) {
    // A document element without namespace.
    if (reference) index = reference->IsNull() ? -1 : m_tree->IndexOf(parent, reference->m_node);
    return AddChildNS(name, ns ? Href(ns) : std::string_view(), index);
  }
  xmlNodePtr before = reference ? reference->m_node : Reference(*m_tree, parent, index, *this);
  xmlNodePtr node = xmlNewDocNode(m_tree->doc, ns, Bytes(qname.local), nullptr);
  m_tree->Insert(parent, node, before, index, false);
  return XmlNode(m_tree, node);
}

XmlNode XmlNode::AddChildNS(std::string_view qualifiedName, std::string_view namespaceUri, int index) {
  xmlNodePtr parent = Container("AddChildNS");
  xmlNodePtr node = detail::NewElement(*m_tree, qualifiedName, namespaceUri);
  CheckInsert(*m_tree, parent, node);
  xmlNodePtr before = Reference(*m_tree, parent, index, *this);
  m_tree->Insert(parent, node, before, index, true);
  return XmlNode(m_tree, node);
}

XmlNode XmlNode::AppendChild(const XmlNode& node) { return InsertBefore(node, XmlNode()); }

XmlNode XmlNode::InsertChild(int index, const XmlNode& node) {
  xmlNodePtr parent = Container("InsertChild");
  if (node.IsNull()) Fail("Nie można wstawić pustego węzła XML");
  xmlNodePtr before = Reference(*m_tree, parent, index, *this);
  if (before == node.m_node) return node;
  if (node.m_node && node.m_node->parent == parent) index = -1;
  if (node.m_tree != m_tree) Fail("Węzeł XML należy do innego dokumentu; trzeba go najpierw zaimportować");
  if (node.m_ns) Fail("Atrybutu XML nie można wstawić jako węzła podrzędnego");
  CheckInsert(*m_tree, parent, node.m_node);
  m_tree->Insert(parent, node.m_node, before, index, true);
  return node;
}

XmlNode XmlNode::InsertBefore(const XmlNode& node, const XmlNode& reference) {
  xmlNodePtr parent = Container("InsertBefore");
  if (node.IsNull()) Fail("Nie można wstawić pustego węzła XML");
  if (node.m_tree != m_tree) Fail("Węzeł XML należy do innego dokumentu; trzeba go najpierw zaimportować");
  if (node.m_ns) Fail("Atrybutu XML nie można wstawić jako węzła podrzędnego");
  xmlNodePtr before = nullptr;
  if (!reference.IsNull()) {
    if (reference.m_ns || reference.m_node->parent != parent || reference.m_node->type == XML_ATTRIBUTE_NODE) {
      Fail("Węzeł odniesienia nie jest węzłem podrzędnym tego elementu XML");
    }
    before = reference.m_node;
  }
  CheckInsert(*m_tree, parent, node.m_node);
  m_tree->Insert(parent, node.m_node, before, -1, true);
  return node;
}

xmlNodePtr XmlNode::OwnChild(const XmlNode& child, const char* operation) const {
  xmlNodePtr parent = Container(operation);
  if (child.IsNull() || child.m_ns || child.m_tree != m_tree || child.m_node->parent != parent ||
      child.m_node->type == XML_ATTRIBUTE_NODE) {
    Fail(kx::Format("Usuwany węzeł nie jest węzłem podrzędnym elementu XML %s", NodeName().c_str()));
  }
  return child.m_node;
}

XmlNode XmlNode::RemoveChild(const XmlNode& child) {
  m_tree->Remove(OwnChild(child, "RemoveChild"));
  return child;
}

void XmlNode::DeleteChild(XmlNode& child) {
  xmlNodePtr node = OwnChild(child, "DeleteChild");
  child = XmlNode();
  m_tree->Free(node);
}

XmlNode XmlNode::RemoveChildAt(int index) { return RemoveChild(ChildAt(index)); }

void XmlNode::RemoveAllChildren() {
  xmlNodePtr parent = Container("RemoveAllChildren");
  while (xmlNodePtr child = parent->children) m_tree->Remove(child);
}

// --- attributes ----------------------------------------------------------------------

int XmlNode::AttributeCount() const {
  if (IsNull() || m_ns || m_node->type != XML_ELEMENT_NODE) return 0;
  int count = 0;
  for (xmlNsPtr ns = m_node->nsDef; ns; ns = ns->next) ++count;
  for (xmlAttrPtr attr = m_node->properties; attr; attr = attr->next) ++count;
  return count;
}

XmlNode XmlNode::AttributeAt(int index) const {
  xmlNodePtr element = Element("AttributeAt");
  int position = 0;
  for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next, ++position) {
    if (position == index) return XmlNode(m_tree, element, ns);
  }
  for (xmlAttrPtr attr = element->properties; attr; attr = attr->next, ++position) {
    if (position == index) return XmlNode(m_tree, reinterpret_cast<xmlNodePtr>(attr));
  }
  Fail(kx::Format("Indeks %d poza zakresem listy atrybutów elementu %s (liczba atrybutów: %d)", index,
                  NodeName().c_str(), AttributeCount()));
}

XmlNode XmlNode::AttributeNode(std::string_view name) const {
  if (IsNull() || m_ns || m_node->type != XML_ELEMENT_NODE) return {};
  QName qname = Split(name);
  if (IsXmlns(qname)) {
    std::string prefix = qname.prefix.empty() ? std::string() : qname.local;
    if (xmlNsPtr ns = DeclaredHere(m_node, PrefixOrNull(prefix))) return XmlNode(m_tree, m_node, ns);
    return {};
  }
  for (xmlAttrPtr attr = m_node->properties; attr; attr = attr->next) {
    if (qname.local != Chars(attr->name)) continue;
    std::string_view prefix = attr->ns && attr->ns->prefix ? Chars(attr->ns->prefix) : "";
    if (prefix == qname.prefix) return XmlNode(m_tree, reinterpret_cast<xmlNodePtr>(attr));
  }
  return {};
}

XmlNode XmlNode::AttributeNodeNS(std::string_view localName, std::string_view namespaceUri) const {
  if (IsNull() || m_ns || m_node->type != XML_ELEMENT_NODE) return {};
  if (namespaceUri == kXmlnsNamespace) {
    return AttributeNode(localName == "xmlns" ? std::string("xmlns") : "xmlns:" + std::string(localName));
  }
  for (xmlAttrPtr attr = m_node->properties; attr; attr = attr->next) {
    if (localName == Chars(attr->name) && Href(attr->ns) == namespaceUri) {
      return XmlNode(m_tree, reinterpret_cast<xmlNodePtr>(attr));
    }
  }
  return {};
}

bool XmlNode::HasAttribute(std::string_view name) const { return !AttributeNode(name).IsNull(); }

std::string XmlNode::Attribute(std::string_view name) const {
  XmlNode attr = AttributeNode(name);
  return attr ? attr.Text() : std::string();
}

void XmlNode::SetAttribute(std::string_view name, std::string_view value) {
  xmlNodePtr element = Element("SetAttribute");
  detail::CheckName(name);
  QName qname = Split(name);
  if (IsXmlns(qname)) {
    DeclareNamespace(qname.prefix.empty() ? std::string() : qname.local, value);
    return;
  }
  std::string text(value);
  detail::CheckText(text);
  xmlNsPtr ns = nullptr;
  if (!qname.prefix.empty()) {
    ns = m_tree->SearchNs(element, Bytes(qname.prefix));
    if (!ns) {
      Fail(kx::Format("Prefiks przestrzeni nazw \"%s\" nie jest zadeklarowany (atrybut %s)", qname.prefix.c_str(),
                      std::string(name).c_str()));
    }
  }
  if (xmlAttrPtr attr = FindAttribute(element, qname.local, ns, true)) {
    SetAttributeValue(attr, text);
  } else {
    xmlNewNsProp(element, ns, Bytes(qname.local), Bytes(text));
  }
  if (qname.prefix == "xml") {
    m_tree->Changed();  // xml:space changes how blank text reads back
  } else {
    m_tree->modified = true;
  }
}

namespace {

// A prefix not bound anywhere in scope at the element.
std::string FreshPrefix(Tree& tree, xmlNodePtr element) {
  for (int i = 1;; ++i) {
    std::string prefix = "ns" + std::to_string(i);
    if (!tree.SearchNs(element, Bytes(prefix))) return prefix;
  }
}

// The prefixed declaration a namespaced attribute of the element uses:
// the wanted prefix when it is bound to the URI here, else any prefix bound
// to it here, else a new declaration on the element (never masking a binding
// in effect).
xmlNsPtr AttributeNs(Tree& tree, xmlNodePtr element, std::string_view uri, const std::string& wantedPrefix) {
  if (!wantedPrefix.empty()) {
    xmlNsPtr bound = tree.SearchNs(element, Bytes(wantedPrefix));
    if (bound && Href(bound) == uri) return bound;
  }
  if (xmlNsPtr any = tree.SearchNsByHref(element, uri, true)) return any;
  std::string prefix = wantedPrefix;
  if (prefix.empty() || tree.SearchNs(element, Bytes(prefix))) prefix = FreshPrefix(tree, element);
  return tree.DeclareOn(element, uri, Bytes(prefix));
}

}  // namespace

void XmlNode::SetAttributeNS(std::string_view qualifiedName, std::string_view namespaceUri, std::string_view value) {
  xmlNodePtr element = Element("SetAttributeNS");
  detail::CheckName(qualifiedName);
  QName qname = Split(qualifiedName);
  if (IsXmlns(qname) || namespaceUri == kXmlnsNamespace) {
    if (!IsXmlns(qname) || (!namespaceUri.empty() && namespaceUri != kXmlnsNamespace)) {
      Fail(kx::Format("Niepoprawna deklaracja przestrzeni nazw: %s", std::string(qualifiedName).c_str()));
    }
    DeclareNamespace(qname.prefix.empty() ? std::string() : qname.local, value);
    return;
  }
  if (namespaceUri.empty()) {
    if (!qname.prefix.empty()) {
      Fail(kx::Format("Atrybut %s z prefiksem wymaga przestrzeni nazw", std::string(qualifiedName).c_str()));
    }
    SetAttribute(qname.local, value);
    return;
  }
  std::string text(value);
  detail::CheckText(text);
  std::string uri(namespaceUri);
  detail::CheckText(uri);
  xmlNs probe{};
  probe.href = Bytes(uri);
  if (xmlAttrPtr attr = FindAttribute(element, qname.local, &probe, true)) {
    SetAttributeValue(attr, text);
  } else {
    xmlNsPtr ns = qname.prefix == "xml" ? m_tree->SearchNs(element, BAD_CAST "xml")
                                        : AttributeNs(*m_tree, element, uri, qname.prefix);
    xmlNewNsProp(element, ns, Bytes(qname.local), Bytes(text));
  }
  if (qname.prefix == "xml" || uri == reinterpret_cast<const char*>(XML_XML_NAMESPACE)) {
    m_tree->Changed();  // xml:space changes how blank text reads back
  } else {
    m_tree->modified = true;
  }
}

XmlNode XmlNode::SetAttributeNode(const XmlNode& attribute) {
  xmlNodePtr element = Element("SetAttributeNode");
  if (attribute.IsNull() || attribute.Kind() != XmlNodeKind::Attribute) Fail("Wstawiany węzeł XML nie jest atrybutem");
  if (attribute.m_tree != m_tree) Fail("Atrybut XML należy do innego dokumentu; trzeba go najpierw zaimportować");
  if (attribute.m_ns) {
    xmlNsPtr decl = attribute.m_ns;
    if (attribute.m_node) {
      if (attribute.m_node == element) return {};
      Fail("Deklaracja przestrzeni nazw należy już do innego elementu XML");
    }
    std::string prefix = ToString(decl->prefix);
    XmlNode replaced = AttributeNode(prefix.empty() ? std::string("xmlns") : "xmlns:" + prefix);
    if (replaced) {
      if (Href(replaced.m_ns) == Href(decl)) return {};
      Fail(kx::Format("Prefiks \"%s\" jest już zadeklarowany na elemencie %s dla innej przestrzeni nazw",
                      prefix.c_str(), NodeName().c_str()));
    }
    DeclareNamespace(prefix, Href(decl));
    return {};
  }
  xmlNodePtr node = attribute.m_node;
  if (node->parent) {
    if (node->parent == element) return {};
    Fail("Atrybut XML należy już do innego elementu");
  }
  auto* attr = reinterpret_cast<xmlAttrPtr>(node);
  XmlNode replaced;
  if (xmlAttrPtr old = FindAttribute(element, Chars(attr->name), attr->ns, true)) {
    replaced = XmlNode(m_tree, reinterpret_cast<xmlNodePtr>(old));
    m_tree->Remove(reinterpret_cast<xmlNodePtr>(old));
  }
  if (attr->ns) attr->ns = AttributeNs(*m_tree, element, Href(attr->ns), ToString(attr->ns->prefix));
  m_tree->Claim(node);
  attr->parent = element;
  attr->next = nullptr;
  attr->prev = nullptr;
  if (!element->properties) {
    element->properties = attr;
  } else {
    xmlAttrPtr last = element->properties;
    while (last->next) last = last->next;
    last->next = attr;
    attr->prev = last;
  }
  if (attr->ns && attr->ns->prefix && xmlStrEqual(attr->ns->prefix, BAD_CAST "xml")) {
    m_tree->Changed();  // xml:space changes how blank text reads back
  } else {
    m_tree->modified = true;
  }
  return replaced;
}

bool XmlNode::RemoveAttribute(std::string_view name) {
  xmlNodePtr element = Element("RemoveAttribute");
  XmlNode attr = AttributeNode(name);
  if (!attr) return false;
  if (attr.m_ns) {
    // The declaration goes; whatever used it is declared again where needed.
    for (xmlNsPtr* link = &element->nsDef; *link; link = &(*link)->next) {
      if (*link == attr.m_ns) {
        *link = attr.m_ns->next;
        attr.m_ns->next = nullptr;
        break;
      }
    }
    m_tree->AdoptNs(attr.m_ns);
    m_tree->Reconcile(element);
  } else {
    m_tree->Remove(attr.m_node);
  }
  m_tree->modified = true;
  return true;
}

// --- namespaces ----------------------------------------------------------------------

void XmlNode::DeclareNamespace(std::string_view prefix, std::string_view uri) {
  xmlNodePtr element = Element("DeclareNamespace");
  std::string prefixText(prefix);
  std::string uriText(uri);
  if (!prefixText.empty()) {
    detail::CheckName(prefixText);
    if (prefixText.find(':') != std::string::npos || prefixText == "xmlns" || prefixText == "xml") {
      Fail(kx::Format("Niepoprawny prefiks przestrzeni nazw: %s", prefixText.c_str()));
    }
    if (uriText.empty()) Fail(kx::Format("Prefiks %s musi mieć adres przestrzeni nazw", prefixText.c_str()));
  }
  detail::CheckText(uriText);
  const xmlChar* prefixBytes = PrefixOrNull(prefixText);
  if (xmlNsPtr existing = DeclaredHere(element, prefixBytes)) {
    if (Href(existing) == uri) return;
    Fail(kx::Format("Prefiks \"%s\" jest już zadeklarowany na elemencie %s dla innej przestrzeni nazw",
                    prefixText.c_str(), NodeName().c_str()));
  }
  if (prefixText.empty() && !(element->ns && element->ns->prefix) && Href(element->ns) != uri) {
    Fail(kx::Format("Nie można zadeklarować domyślnej przestrzeni nazw \"%s\" na elemencie %s z innej przestrzeni nazw",
                    uriText.c_str(), NodeName().c_str()));
  }
  xmlNodePtr parent = element->parent && element->parent->type == XML_ELEMENT_NODE ? element->parent : nullptr;
  bool masks = parent && m_tree->SearchNs(parent, prefixBytes);
  m_tree->DeclareOn(element, uriText, prefixBytes);
  if (masks) m_tree->Reconcile(element);  // users of the outer binding keep their namespace
  m_tree->modified = true;
}

namespace {

xmlNodePtr ScopeElement(xmlNodePtr node, xmlNsPtr nsDecl) {
  if (nsDecl) return node;
  if (node && node->type == XML_ATTRIBUTE_NODE) return node->parent;
  while (node && node->type != XML_ELEMENT_NODE) node = node->parent;
  return node;
}

}  // namespace

std::string XmlNode::LookupNamespaceURI(std::string_view prefix) const {
  if (prefix == "xmlns") return std::string(kXmlnsNamespace);
  if (prefix == "xml") return ToString(XML_XML_NAMESPACE);
  xmlNodePtr element = ScopeElement(m_node, m_ns);
  if (!element) return {};
  std::string prefixText(prefix);
  return std::string(Href(m_tree->SearchNs(element, PrefixOrNull(prefixText))));
}

std::optional<std::string> XmlNode::LookupPrefix(std::string_view uri) const {
  if (uri == kXmlnsNamespace) return std::string("xmlns");
  if (uri == Chars(XML_XML_NAMESPACE)) return std::string("xml");
  xmlNodePtr element = ScopeElement(m_node, m_ns);
  if (!element || uri.empty()) return std::nullopt;
  if (xmlNsPtr ns = m_tree->SearchNsByHref(element, uri, false)) return ToString(ns->prefix);
  return std::nullopt;
}

XmlNode XmlNode::FindNamespaceDecl(std::string_view uri) const {
  for (xmlNodePtr element = ScopeElement(m_node, m_ns); element && element->type == XML_ELEMENT_NODE;
       element = element->parent) {
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
      if (Href(ns) == uri) return XmlNode(m_tree, element, ns);
    }
  }
  return {};
}

// --- copies --------------------------------------------------------------------------

XmlNode XmlNode::CloneNode(bool deep) const {
  if (IsNull()) Fail("Nie można skopiować pustego węzła XML");
  detail::NewNode copy = detail::CopyNode(*m_tree, m_node, m_ns, deep);
  return XmlNode(m_tree, copy.node, copy.declaration);
}

void CheckXmlText(std::string_view text) { detail::CheckText(text); }

}  // namespace kx::xml
