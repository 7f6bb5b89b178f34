#pragma once
// Inside the XML document services: the libxml2 tree with what our handles
// need around it. Not for use outside src/platform/xml.
//
// Ownership: the tree owns every node of its document. Nodes outside the tree
// (created and not yet inserted, or removed) are kept in the orphan sets and
// freed with the tree, so no handle ever points to freed memory.
//
// Child lists: each parent's _private field carries a stamp that changes with
// every change of its children. A few cursors remember, per parent and name
// filter, the number of children and the position last reached, so counting
// and walking a list by index stay linear overall.

#include <libxml/tree.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kx::xml::detail {

struct DocState;

struct Settings {
  bool autoIndent = false;
  std::string indent = "  ";
};

// Which children a list shows: all; the elements of one local name and
// namespace; or the elements a name stands for (that local name, and the
// prefix given or, when knownNs, the namespace given).
struct ChildFilter {
  enum class Kind { Any, Element, Named };
  Kind kind = Kind::Any;
  std::string_view localName;
  std::string_view namespaceUri;
  std::string_view prefix;
  bool knownNs = true;

  static ChildFilter Elements(std::string_view localName, std::string_view namespaceUri) {
    return {Kind::Element, localName, namespaceUri, {}, true};
  }
  bool Matches(const xmlNode* node) const;
};

struct Tree {
  explicit Tree(xmlDocPtr document);
  ~Tree();
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  int refs = 0;
  xmlDocPtr doc;
  DocState* owner = nullptr;  // the document handle state holding this tree, if any
  bool modified = false;
  // The tree is known to stand as reading its indented text back gives, so
  // a save need not walk it: true for a new document, kept by the changes
  // that cannot alter that shape (a new empty element among elements, an
  // element's text set, ordinary attributes), cleared by any other.
  bool shaped = false;
  bool droppedDoctype = false;  // the file had a document type declaration, removed on loading

  // A change the shape may not survive.
  void Changed() {
    modified = true;
    shaped = false;
  }
  Settings settings;

  // --- ownership --------------------------------------------------------------
  void Adopt(xmlNodePtr node) { m_orphans.insert(node); }
  void Claim(xmlNodePtr node) { m_orphans.erase(node); }
  void AdoptNs(xmlNsPtr ns) { m_orphanNs.insert(ns); }
  void ClaimNs(xmlNsPtr ns) { m_orphanNs.erase(ns); }

  // --- child lists ------------------------------------------------------------
  int ChildCount(xmlNodePtr parent, const ChildFilter& filter);
  // nullptr when the index is out of range.
  xmlNodePtr ChildAt(xmlNodePtr parent, const ChildFilter& filter, int index);
  int IndexOf(xmlNodePtr parent, xmlNodePtr child);
  // The first child the filter takes (nullptr: none), walking no further
  // than to it.
  xmlNodePtr FirstChild(xmlNodePtr parent, const ChildFilter& filter);

  // --- structure --------------------------------------------------------------
  // Inserts node into parent before `before` (nullptr appends); `index` is the
  // position of `before` among all children when the caller knows it, else -1.
  // The node may stand elsewhere (it is moved) or be an orphan; a fragment
  // gives its children. `reconcile` makes the namespaces of the inserted
  // subtree right for its new place; it may be skipped for a node built for
  // this place. Checks are the caller's.
  void Insert(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr before, int index, bool reconcile);
  // Takes the node out of the tree; it becomes an orphan.
  void Remove(xmlNodePtr node);
  // Takes the node out of the tree and frees it with its subtree at once.
  void Free(xmlNodePtr node);
  // The children changed in a way the cursors cannot follow.
  void Touch(xmlNodePtr parent);
  // Every list may have changed (a namespace changed its URI).
  void TouchAll();
  // Replaces all children of an element by one text node (none for "").
  void ReplaceChildrenByText(xmlNodePtr element, std::string_view text);

  // --- namespaces -------------------------------------------------------------
  // The declaration in effect at node for the prefix (nullptr: default).
  xmlNsPtr SearchNs(xmlNodePtr node, const xmlChar* prefix) const;
  // A declaration in effect at node for the URI; with needPrefix only a
  // prefixed one.
  xmlNsPtr SearchNsByHref(xmlNodePtr node, std::string_view uri, bool needPrefix) const;
  // Declares the URI on the element under the prefix, or under a made-up one
  // when the element already declares that prefix otherwise.
  xmlNsPtr DeclareOn(xmlNodePtr element, std::string_view uri, const xmlChar* prefix);
  // Makes every namespace used in the subtree declared where it is used,
  // dropping declarations that repeat the ones in effect above.
  void Reconcile(xmlNodePtr top);

 private:
  struct Cursor {
    xmlNodePtr parent = nullptr;
    uintptr_t stamp = 0;
    uint64_t used = 0;
    ChildFilter::Kind kind = ChildFilter::Kind::Any;
    std::string localName;
    std::string namespaceUri;
    std::string prefix;
    bool knownNs = true;
    int count = -1;
    int span = 0;  // the children walked to count: what a lost cursor costs
    int index = -1;
    xmlNodePtr node = nullptr;

    ChildFilter Filter() const { return {kind, localName, namespaceUri, prefix, knownNs}; }
    bool Matches(const xmlNode* candidate) const { return Filter().Matches(candidate); }
    bool Holds(xmlNodePtr list, const ChildFilter& filter) const;
  };
  static constexpr int kCursors = 16;
  // Cursors over lists at least this long are worth keeping over others.
  static constexpr int kLongList = 64;

  Cursor& CursorFor(xmlNodePtr parent, const ChildFilter& filter);
  void Link(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr before, int index);
  void LinkIndented(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr before, int index);
  void Unlink(xmlNodePtr node);
  void Restamp(xmlNodePtr parent, uintptr_t stamp);
  void InsertOne(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr before, int index, bool reconcile);

  std::unordered_set<xmlNodePtr> m_orphans;
  std::unordered_set<xmlNsPtr> m_orphanNs;
  Cursor m_cursors[kCursors];
  uint64_t m_useClock = 0;
  uintptr_t m_stampClock = 0;
};

// The state behind XmlDocument handles: the current tree (none when the
// document is not active) and the settings that carry over to the next tree.
struct DocState {
  ~DocState();
  int refs = 0;
  Tree* tree = nullptr;  // counted reference
  Settings settings;

  void SetTree(Tree* next);
};

// New nodes, outside the tree and owned by it. A namespace declaration made
// as an attribute comes back as `declaration` (node is then nullptr).
struct NewNode {
  xmlNodePtr node = nullptr;
  xmlNsPtr declaration = nullptr;
};
// An element in the namespace (declared on itself); "" for none.
xmlNodePtr NewElement(Tree& tree, std::string_view qualifiedName, std::string_view namespaceUri);
NewNode NewAttribute(Tree& tree, std::string_view qualifiedName, std::string_view namespaceUri);
// A copy of a node of any tree, belonging to `target`.
NewNode CopyNode(Tree& target, xmlNodePtr node, xmlNsPtr declaration, bool deep);
// A text node of the document, outside any tree. A short text is kept inside
// the node itself, as libxml2's parser keeps it, with no allocation of its own.
xmlNodePtr NewTextNode(xmlDocPtr doc, std::string_view text);
// Sets an attribute's value as it is (libxml2's xmlNodeSetContent would read
// entity references in it).
void SetAttributeValue(xmlAttrPtr attr, const std::string& value);

void Retain(Tree* tree);
void Release(Tree* tree);
void Retain(DocState* state);
void Release(DocState* state);

// Brings the subtree under top to the shape that reading its indented text
// back gives (blank text between elements dropped, adjacent text joined);
// false, part done, at what that walk does not follow: a document type
// declaration or xml:space.
bool ReadBackShape(Tree& tree, xmlNodePtr top);

// Children of these nodes are not ours to walk or change.
bool IsLeaf(const xmlNode* node);
// Element, comment or processing instruction: nodes that auto-indent puts on lines.
bool IsBlock(const xmlNode* node);
bool IsBlank(const xmlNode* node);
std::string ToString(const xmlChar* text);
const xmlChar* Bytes(const std::string& text);

}  // namespace kx::xml::detail
