#pragma once
// A handle to one node of an XML document held by libxml2. Handles are cheap
// to copy; the tree they point into stays alive as long as any handle (or the
// document) refers to it. A default-constructed handle is null.
//
// Nodes taken out of the tree (removed, or created and not yet inserted) stay
// owned by their document until it goes away, so a handle never dangles.
// Every change made through a handle sets the document's modified flag.

#include <optional>
#include <span>
#include <string>
#include <string_view>

struct _xmlNode;
struct _xmlNs;

namespace kx::xml {

class XmlDocument;

namespace detail {
struct Tree;
struct ChildFilter;
}  // namespace detail

enum class XmlNodeKind {
  None,  // null handle
  Element,
  Attribute,  // also a namespace declaration (xmlns, xmlns:p)
  Text,
  CData,
  EntityReference,
  Entity,
  ProcessingInstruction,
  Comment,
  Document,
  DocumentType,
  DocumentFragment,
  Notation,
  Other,  // declarations inside a document type
};

// The namespace URI of namespace declaration attributes (xmlns, xmlns:p).
inline constexpr std::string_view kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

class XmlNode {
 public:
  XmlNode() = default;
  XmlNode(const XmlNode& other);
  XmlNode(XmlNode&& other) noexcept;
  XmlNode& operator=(const XmlNode& other);
  XmlNode& operator=(XmlNode&& other) noexcept;
  ~XmlNode();

  bool IsNull() const { return m_node == nullptr && m_ns == nullptr; }
  explicit operator bool() const { return !IsNull(); }
  // Same node of the same document.
  bool operator==(const XmlNode& other) const { return m_node == other.m_node && m_ns == other.m_ns; }

  // --- identity ---------------------------------------------------------------
  XmlNodeKind Kind() const;
  std::string NodeName() const;  // qualified name; "#text", "#comment" ... for the others
  std::string LocalName() const;
  std::string Prefix() const;
  std::string NamespaceURI() const;
  // The local name and namespace URI of an element or attribute without a
  // copy, for walks over many nodes: valid while the node stays unchanged in
  // its document; empty for other nodes.
  std::string_view LocalNameView() const;
  std::string_view NamespaceURIView() const;
  XmlDocument OwnerDocument() const;
  // Whether the node stands in its document's tree (not removed, not only created).
  bool IsAttached() const;

  // --- value ------------------------------------------------------------------
  // Element: the text of all descendants. Attribute, text, CDATA, comment,
  // processing instruction: the value.
  std::string Text() const;
  // An element's text without a copy when it is held by one text node (""
  // for none); nothing otherwise (then Text() gives it). Valid while the
  // element stays unchanged.
  std::optional<std::string_view> SimpleText() const;
  // Element: the children are replaced by one text node (none for ""). Others:
  // the value.
  void SetText(std::string_view text);
  // The node's own value: empty for elements and documents.
  std::string NodeValue() const;
  void SetNodeValue(std::string_view value);
  // An element whose children are only text and CDATA (or none).
  bool IsTextElement() const;
  // The markup of the node (UTF-8, no declaration).
  std::string Xml() const;

  // --- navigation -------------------------------------------------------------
  XmlNode ParentNode() const;
  XmlNode FirstChild() const;
  XmlNode LastChild() const;
  XmlNode NextSibling() const;
  XmlNode PreviousSibling() const;
  bool HasChildNodes() const;

  // All child nodes of every kind. Sequential access by index is O(1)
  // amortised: the position last reached is remembered per parent.
  int ChildCount() const;
  XmlNode ChildAt(int index) const;               // fails for an index out of range
  int IndexOfChild(const XmlNode& child) const;   // -1 when not a child
  int IndexOfChild(std::string_view name) const;  // index of FindChild(name), or -1

  // The element children with this local name and namespace URI (the items of
  // a repeated element), counted from 0 among themselves.
  int ElementCount(std::string_view localName, std::string_view namespaceUri) const;
  XmlNode ElementAt(std::string_view localName, std::string_view namespaceUri, int index) const;

  // First element child of this name; null when there is none. An unprefixed
  // name matches a child of that qualified name, or of that local name in this
  // element's namespace; "p:x" matches that qualified name, or the local name x
  // in the namespace bound to p here.
  XmlNode FindChild(std::string_view name) const;
  XmlNode FindChild(std::string_view localName, std::string_view namespaceUri) const;
  // FindChild of each name, in one walk over the children: for reading many
  // elements of one record. found[i] is the child of names[i], null when
  // there is none; found must have room for every name.
  void FindChildren(std::span<const std::string_view> names, std::span<XmlNode> found) const;
  // FindChild(name), or a new empty element of that name appended last.
  XmlNode ChildByName(std::string_view name);

  // Makes an element and inserts it at the index (-1 or any index not below
  // ChildCount appends). An unprefixed name takes this element's namespace and
  // prefix; "p:x" takes the namespace bound to p here (an unbound prefix fails).
  XmlNode AddChild(std::string_view name, int index = -1);
  // The same, inserted before the given child (a null one appends).
  XmlNode AddChildBefore(std::string_view name, const XmlNode& reference);
  // The same with an explicit namespace ("" for none); the namespace is
  // declared on the new element when it is not in scope under that prefix.
  XmlNode AddChildNS(std::string_view qualifiedName, std::string_view namespaceUri, int index = -1);

  // Inserting a node that stands elsewhere in the tree moves it; inserting a
  // document fragment moves its children. Nodes of another document must be
  // imported first (XmlDocument::ImportNode). Each returns the inserted node.
  XmlNode AppendChild(const XmlNode& node);
  XmlNode InsertChild(int index, const XmlNode& node);
  XmlNode InsertBefore(const XmlNode& node, const XmlNode& reference);  // null reference appends
  // Takes the child out of the tree; the returned handle stays usable and the
  // node can be inserted again.
  XmlNode RemoveChild(const XmlNode& child);
  XmlNode RemoveChildAt(int index);
  void RemoveAllChildren();
  // Takes the child out and frees it at once with everything under it, for
  // emptying a large tree while its content goes elsewhere. Unlike
  // RemoveChild, no handle to the child, to a node under it or to a node once
  // removed from under it may be used afterwards; the handle given becomes null.
  void DeleteChild(XmlNode& child);

  // --- attributes -------------------------------------------------------------
  // Namespace declarations first (as attributes named xmlns or xmlns:p), then
  // the other attributes in document order.
  int AttributeCount() const;
  XmlNode AttributeAt(int index) const;
  // By qualified name ("rola", "xsi:type", "xmlns:etd"); null when absent.
  XmlNode AttributeNode(std::string_view name) const;
  XmlNode AttributeNodeNS(std::string_view localName, std::string_view namespaceUri) const;
  bool HasAttribute(std::string_view name) const;
  std::string Attribute(std::string_view name) const;  // "" when absent
  // An unprefixed name sets an attribute without namespace; "p:x" uses the
  // namespace bound to p here; "xmlns" and "xmlns:p" declare a namespace.
  void SetAttribute(std::string_view name, std::string_view value);
  // A namespaced attribute needs a prefix: the one of the qualified name when
  // it is bound to this URI here, else any prefix bound to it here, else the
  // given or a made-up prefix is declared on this element.
  void SetAttributeNS(std::string_view qualifiedName, std::string_view namespaceUri, std::string_view value);
  // Attaches an attribute node (created or removed earlier); an attribute of
  // the same name is replaced and returned.
  XmlNode SetAttributeNode(const XmlNode& attribute);
  bool RemoveAttribute(std::string_view name);

  // --- namespaces -------------------------------------------------------------
  // Declares prefix ("" for the default namespace) for the URI on this element.
  void DeclareNamespace(std::string_view prefix, std::string_view uri);
  // The URI bound to the prefix ("" for the default namespace) here; "" when
  // unbound.
  std::string LookupNamespaceURI(std::string_view prefix) const;
  // The prefix bound to the URI here ("" for the default namespace); nothing
  // when the URI is not in scope.
  std::optional<std::string> LookupPrefix(std::string_view uri) const;
  // The declaration attribute (xmlns or xmlns:p) for the URI on this element
  // or its nearest ancestor that declares it; null when none does.
  XmlNode FindNamespaceDecl(std::string_view uri) const;

  // --- copies -----------------------------------------------------------------
  // A copy in the same document, not in the tree. A shallow copy of an element
  // keeps its attributes and namespace declarations but no children.
  XmlNode CloneNode(bool deep) const;

  // The libxml2 node (for read-only use such as validation); nullptr for a
  // null handle or a namespace declaration.
  _xmlNode* RawNode() const { return m_ns ? nullptr : m_node; }

 private:
  friend class XmlDocument;
  friend struct detail::Tree;
  XmlNode(detail::Tree* tree, _xmlNode* node, _xmlNs* ns = nullptr);

  _xmlNode* Element(const char* operation) const;    // this node as an element, or fail
  _xmlNode* Container(const char* operation) const;  // element, document or fragment
  // The child's node, when it is a child (not an attribute) of this node.
  _xmlNode* OwnChild(const XmlNode& child, const char* operation) const;
  // A new element under parent, before the reference when one is given, else
  // at the index.
  XmlNode NewChild(_xmlNode* parent, std::string_view name, int index, const XmlNode* reference);
  // What FindChild(name) looks for among this element's children.
  detail::ChildFilter NameFilter(std::string_view name) const;

  detail::Tree* m_tree = nullptr;
  _xmlNode* m_node = nullptr;
  // For a namespace declaration: the declaration; m_node is the element that
  // carries it (nullptr while it is not attached).
  _xmlNs* m_ns = nullptr;
};

// Fails as SetText would for a text no XML document can hold: not UTF-8, or
// with characters XML does not allow.
void CheckXmlText(std::string_view text);

}  // namespace kx::xml
