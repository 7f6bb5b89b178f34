#include "platform/xml/xml_tree.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <tuple>

#include "platform/error.h"

namespace kx::xml::detail {

namespace {

uintptr_t StampOf(const xmlNode* parent) { return reinterpret_cast<uintptr_t>(parent->_private); }

bool SameHref(const xmlNs* a, const xmlNs* b) { return xmlStrEqual(a->href, b->href); }

// The child kinds a list can hold; an entity reference's children belong to
// the entity declaration and a DTD's are declarations.
bool IsContainer(const xmlNode* node) {
  return node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE || node->type == XML_DOCUMENT_FRAG_NODE;
}

int Depth(const xmlNode* element) {
  int depth = 0;
  for (const xmlNode* p = element; p && p->type == XML_ELEMENT_NODE; p = p->parent) ++depth;
  return depth;
}

// A name or URI of the tree against a text, without measuring it first.
bool TextIs(const xmlChar* text, std::string_view wanted) {
  const char* n = reinterpret_cast<const char*>(text);
  for (char c : wanted) {
    if (c == '\0' || *n != c) return false;
    ++n;
  }
  return *n == '\0';
}

bool HrefIs(const xmlNs* ns, std::string_view uri) { return ns->href ? TextIs(ns->href, uri) : uri.empty(); }

}  // namespace

bool ChildFilter::Matches(const xmlNode* node) const {
  if (kind == Kind::Any) return true;
  if (node->type != XML_ELEMENT_NODE) return false;
  if (!TextIs(node->name, localName)) return false;
  bool inNamespace = node->ns ? HrefIs(node->ns, namespaceUri) : namespaceUri.empty();
  if (kind == Kind::Element) return inNamespace;
  std::string_view nodePrefix =
      node->ns && node->ns->prefix ? std::string_view(reinterpret_cast<const char*>(node->ns->prefix)) : "";
  return nodePrefix == prefix || (knownNs && inNamespace);
}

bool Tree::Cursor::Holds(xmlNodePtr list, const ChildFilter& filter) const {
  if (parent != list || kind != filter.kind) return false;
  if (kind == ChildFilter::Kind::Any) return true;
  return localName == filter.localName && namespaceUri == filter.namespaceUri && prefix == filter.prefix &&
         knownNs == filter.knownNs;
}

bool IsLeaf(const xmlNode* node) { return !IsContainer(node); }

bool IsBlock(const xmlNode* node) {
  return node->type == XML_ELEMENT_NODE || node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE;
}

bool IsBlank(const xmlNode* node) {
  if (node->type != XML_TEXT_NODE || !node->content) return false;
  for (const xmlChar* p = node->content; *p; ++p) {
    if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') return false;
  }
  return true;
}

std::string ToString(const xmlChar* text) {
  return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

const xmlChar* Bytes(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }

// --- lifetime ------------------------------------------------------------------

Tree::Tree(xmlDocPtr document) : doc(document) {}

Tree::~Tree() {
  // Orphans first: their names may live in the document's dictionary.
  for (xmlNodePtr node : m_orphans) xmlFreeNode(node);
  for (xmlNsPtr ns : m_orphanNs) xmlFreeNs(ns);
  xmlFreeDoc(doc);
}

DocState::~DocState() { SetTree(nullptr); }

void DocState::SetTree(Tree* next) {
  if (next == tree) return;
  if (next) {
    Retain(next);
    next->owner = this;
    next->settings = settings;
  }
  if (tree) {
    if (tree->owner == this) tree->owner = nullptr;
    Release(tree);
  }
  tree = next;
}

void Retain(Tree* tree) { ++tree->refs; }
void Release(Tree* tree) {
  if (--tree->refs == 0) delete tree;
}
void Retain(DocState* state) { ++state->refs; }
void Release(DocState* state) {
  if (--state->refs == 0) delete state;
}

// --- child lists ---------------------------------------------------------------

Tree::Cursor& Tree::CursorFor(xmlNodePtr parent, const ChildFilter& filter) {
  // The victim: a stale cursor first, then a short list before a long one,
  // then the least recently used.
  Cursor* victim = nullptr;
  auto rank = [&](const Cursor& c) {
    bool stale = !c.parent || c.stamp != StampOf(c.parent);
    bool longList = std::max(c.count, c.span) >= kLongList;
    return std::make_tuple(stale ? 0 : 1, longList ? 1 : 0, c.used);
  };
  for (Cursor& c : m_cursors) {
    if (c.Holds(parent, filter)) {
      if (c.stamp != StampOf(parent)) {
        c.stamp = StampOf(parent);
        c.count = -1;
        c.index = -1;
        c.node = nullptr;
      }
      c.used = ++m_useClock;
      return c;
    }
    if (!victim || rank(c) < rank(*victim)) victim = &c;
  }
  victim->parent = parent;
  victim->stamp = StampOf(parent);
  victim->used = ++m_useClock;
  victim->kind = filter.kind;
  victim->localName.assign(filter.localName);
  victim->namespaceUri.assign(filter.namespaceUri);
  victim->prefix.assign(filter.prefix);
  victim->knownNs = filter.knownNs;
  victim->count = -1;
  victim->span = 0;
  victim->index = -1;
  victim->node = nullptr;
  return *victim;
}

int Tree::ChildCount(xmlNodePtr parent, const ChildFilter& filter) {
  if (IsLeaf(parent)) return 0;
  Cursor& c = CursorFor(parent, filter);
  if (c.count < 0) {
    int count = 0;
    int span = 0;
    xmlNodePtr first = nullptr;
    for (xmlNodePtr x = parent->children; x; x = x->next, ++span) {
      if (c.Matches(x) && count++ == 0) first = x;
    }
    c.count = count;
    c.span = span;
    // The walk passed the first one: a look-up of it needs no second walk.
    if (!c.node && first) {
      c.node = first;
      c.index = 0;
    }
  }
  return c.count;
}

xmlNodePtr Tree::ChildAt(xmlNodePtr parent, const ChildFilter& filter, int index) {
  int count = ChildCount(parent, filter);
  if (index < 0 || index >= count) return nullptr;
  Cursor& c = CursorFor(parent, filter);

  // Start from the nearest known position: the first, the last or the cursor.
  xmlNodePtr node = nullptr;
  int position = 0;
  int fromStart = index;
  int fromEnd = count - 1 - index;
  int fromCursor = c.node ? (index > c.index ? index - c.index : c.index - index) : count;
  if (fromCursor <= fromStart && fromCursor <= fromEnd) {
    node = c.node;
    position = c.index;
  } else if (fromStart <= fromEnd) {
    node = parent->children;
    while (node && !c.Matches(node)) node = node->next;
    position = 0;
  } else {
    node = parent->last;
    while (node && !c.Matches(node)) node = node->prev;
    position = count - 1;
  }
  while (node && position < index) {
    do node = node->next;
    while (node && !c.Matches(node));
    ++position;
  }
  while (node && position > index) {
    do node = node->prev;
    while (node && !c.Matches(node));
    --position;
  }
  if (node) {
    c.node = node;
    c.index = index;
  }
  return node;
}

xmlNodePtr Tree::FirstChild(xmlNodePtr parent, const ChildFilter& filter) {
  if (IsLeaf(parent)) return nullptr;
  Cursor& c = CursorFor(parent, filter);
  if (c.node && c.index == 0) return c.node;
  if (c.count == 0) return nullptr;
  int span = 0;
  for (xmlNodePtr x = parent->children; x; x = x->next, ++span) {
    if (c.Matches(x)) {
      c.node = x;
      c.index = 0;
      c.span = std::max(c.span, span);
      return x;
    }
  }
  c.count = 0;
  c.span = span;
  return nullptr;
}

int Tree::IndexOf(xmlNodePtr parent, xmlNodePtr child) {
  if (!child || child->parent != parent || IsLeaf(parent)) return -1;
  Cursor& c = CursorFor(parent, ChildFilter{});
  if (c.node) {
    if (c.node == child) return c.index;
    if (c.node->next == child) return ++c.index, c.node = child, c.index;
    if (c.node->prev == child) return --c.index, c.node = child, c.index;
  }
  if (child == parent->last && c.count >= 0) {
    c.node = child;
    c.index = c.count - 1;
    return c.index;
  }
  int index = 0;
  for (xmlNodePtr x = parent->children; x && x != child; x = x->next) ++index;
  c.node = child;
  c.index = index;
  return index;
}

void Tree::Restamp(xmlNodePtr parent, uintptr_t stamp) { parent->_private = reinterpret_cast<void*>(stamp); }

void Tree::Touch(xmlNodePtr parent) { Restamp(parent, ++m_stampClock); }

void Tree::TouchAll() {
  for (Cursor& c : m_cursors) c.parent = nullptr;
}

// --- structure -----------------------------------------------------------------

void Tree::Link(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr before, int index) {
  // Cursors of this parent follow the insertion where they can.
  uintptr_t old = StampOf(parent);
  uintptr_t stamp = ++m_stampClock;
  for (Cursor& c : m_cursors) {
    if (c.parent != parent || c.stamp != old) continue;
    // A node outside the list moves no position in it; appending none before
    // the cursor.
    bool matches = c.Matches(node);
    ++c.span;
    if (c.count == 0 && matches) {
      // The first of its kind: its position is known without a walk.
      c.count = 1;
      c.node = node;
      c.index = 0;
    } else if (c.count >= 0 && matches) {
      ++c.count;
    }
    if (c.node && c.node != node && before && matches) {
      if (before == c.node) {
        ++c.index;
      } else if (c.kind == ChildFilter::Kind::Any && index >= 0) {
        if (index <= c.index) ++c.index;
      } else {
        c.node = nullptr;
        c.index = -1;
      }
    }
    c.stamp = stamp;
  }
  Restamp(parent, stamp);

  // Own linking: libxml2's xmlAddChild merges adjacent text nodes and frees
  // one of them, which would leave a handle dangling.
  node->parent = parent;
  if (before) {
    node->next = before;
    node->prev = before->prev;
    if (before->prev) {
      before->prev->next = node;
    } else {
      parent->children = node;
    }
    before->prev = node;
  } else {
    node->next = nullptr;
    node->prev = parent->last;
    if (parent->last) {
      parent->last->next = node;
    } else {
      parent->children = node;
    }
    parent->last = node;
  }
}

void Tree::Unlink(xmlNodePtr node) {
  xmlNodePtr parent = node->parent;
  if (!parent) return;
  if (node->type != XML_ATTRIBUTE_NODE) {
    uintptr_t old = StampOf(parent);
    uintptr_t stamp = ++m_stampClock;
    for (Cursor& c : m_cursors) {
      if (c.parent != parent || c.stamp != old) continue;
      if (c.span > 0) --c.span;
      if (c.Matches(node)) {
        if (c.count >= 0) --c.count;
        c.node = nullptr;
        c.index = -1;
      }
      c.stamp = stamp;
    }
    Restamp(parent, stamp);
  }
  xmlUnlinkNode(node);
}

namespace {

bool IsXmlPrefixed(const xmlAttr* attr) {
  return attr->ns && attr->ns->prefix && xmlStrEqual(attr->ns->prefix, BAD_CAST "xml");
}

bool IsTextLike(const xmlNode* node) {
  return node &&
         (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE || node->type == XML_ENTITY_REF_NODE);
}

// Whether the read-back shape survives taking the node out: no text may go
// (it decides how blank text after it reads back), none around it become
// adjacent or lose its neighbour, no xml:space go.
bool LeavesShape(const xmlNode* node) {
  if (node->type == XML_ATTRIBUTE_NODE) return !IsXmlPrefixed(reinterpret_cast<const xmlAttr*>(node));
  return !IsTextLike(node) && !IsTextLike(node->prev) && !IsTextLike(node->next);
}

}  // namespace

xmlNodePtr NewTextNode(xmlDocPtr doc, std::string_view text) {
  // The two pointers after `content` hold a text of up to 15 bytes; every
  // libxml2 function that frees or changes a text node knows this place.
  constexpr size_t kInside = sizeof(xmlNode::properties) + sizeof(xmlNode::nsDef);
  static_assert(offsetof(xmlNode, nsDef) == offsetof(xmlNode, properties) + sizeof(xmlNode::properties));
  if (text.size() >= kInside) {
    xmlNodePtr node =
        xmlNewDocTextLen(doc, reinterpret_cast<const xmlChar*>(text.data()), static_cast<int>(text.size()));
    if (!node) throw kx::Error("Brak pamięci na węzeł tekstowy XML");
    return node;
  }
  xmlNodePtr node = xmlNewDocTextLen(doc, nullptr, 0);
  if (!node) throw kx::Error("Brak pamięci na węzeł tekstowy XML");
  auto* inside = reinterpret_cast<xmlChar*>(&node->properties);
  std::memcpy(inside, text.data(), text.size());
  inside[text.size()] = 0;
  node->content = inside;
  return node;
}

void Tree::Remove(xmlNodePtr node) {
  if (!node->parent) return;
  const bool keepsShape = LeavesShape(node);
  Unlink(node);
  Adopt(node);
  modified = true;
  if (!keepsShape) shaped = false;
}

void Tree::Free(xmlNodePtr node) {
  if (!LeavesShape(node)) shaped = false;
  Unlink(node);
  // No cursor may keep a list inside the freed subtree.
  for (Cursor& c : m_cursors) {
    for (xmlNodePtr up = c.parent; up; up = up->parent) {
      if (up == node) {
        c.parent = nullptr;
        break;
      }
    }
  }
  m_orphans.erase(node);
  xmlFreeNode(node);
  modified = true;
}

void Tree::LinkIndented(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr before, int index) {
  int depth = Depth(parent);
  std::string childIndent = "\n";
  for (int i = 0; i < depth; ++i) childIndent += settings.indent;
  auto whiteSpace = [&](const std::string& text) { return NewTextNode(doc, text); };
  xmlNodePtr last = parent->last;
  bool mixed = false;
  for (xmlNodePtr probe : {before ? before->prev : last, before}) {
    if (probe && (probe->type == XML_TEXT_NODE || probe->type == XML_CDATA_SECTION_NODE) && !IsBlank(probe)) {
      mixed = true;
    }
  }
  if (mixed) {  // text around: indentation would change the content
    Link(parent, node, before, index);
    return;
  }
  if (!before) {
    if (last && IsBlank(last)) {
      // [... closing] -> [... indent node closing]
      Link(parent, whiteSpace(childIndent), last, -1);
      Link(parent, node, last, -1);
    } else {
      std::string closing = childIndent.substr(0, childIndent.size() - settings.indent.size());
      Link(parent, whiteSpace(childIndent), nullptr, -1);
      Link(parent, node, nullptr, -1);
      Link(parent, whiteSpace(closing), nullptr, -1);
    }
  } else if (IsBlank(before)) {
    // [indent A closing] inserting before closing -> [indent A indent node closing]
    Link(parent, whiteSpace(childIndent), before, -1);
    Link(parent, node, before, -1);
  } else {
    // [indent A] inserting before A -> [indent node indent A]
    Link(parent, node, before, index);
    Link(parent, whiteSpace(childIndent), before, -1);
  }
}

void Tree::InsertOne(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr before, int index, bool reconcile) {
  if (node == before) return;
  if (node->parent) {
    if (node->parent == parent) index = -1;  // positions shift when it leaves
    Unlink(node);
  } else {
    Claim(node);
  }
  if (settings.autoIndent && parent->type == XML_ELEMENT_NODE && IsBlock(node)) {
    LinkIndented(parent, node, before, index);
  } else {
    Link(parent, node, before, index);
  }
  if (reconcile && node->type == XML_ELEMENT_NODE) Reconcile(node);
}

void Tree::Insert(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr before, int index, bool reconcile) {
  // A new empty element among elements keeps the read-back shape; anything
  // else may change it (text, a moved or copied subtree, indentation).
  bool keepsShape = node->type == XML_ELEMENT_NODE && !node->parent && !node->children && !settings.autoIndent;
  for (const xmlAttr* a = keepsShape ? node->properties : nullptr; a && keepsShape; a = a->next) {
    keepsShape = !IsXmlPrefixed(a);
  }
  if (node->type == XML_DOCUMENT_FRAG_NODE) {
    while (xmlNodePtr child = node->children) {
      Unlink(child);
      InsertOne(parent, child, before, index, reconcile);
      if (index >= 0) ++index;
    }
    Touch(node);
  } else {
    InsertOne(parent, node, before, index, reconcile);
  }
  modified = true;
  if (!keepsShape || IsTextLike(node->prev) || IsTextLike(node->next)) shaped = false;
}

void Tree::ReplaceChildrenByText(xmlNodePtr element, std::string_view text) {
  xmlNodePtr only = element->children;
  if (!text.empty() && only && only == element->last && only->type == XML_TEXT_NODE) {
    // One text child already: change its content, keep the node.
    std::string value(text);
    xmlNodeSetContent(only, Bytes(value));
    modified = true;
    return;
  }
  while (xmlNodePtr child = element->children) {
    Unlink(child);
    Adopt(child);
  }
  if (!text.empty()) {
    xmlNodePtr node = NewTextNode(doc, text);
    Link(element, node, nullptr, -1);
  }
  Touch(element);
  modified = true;
}

// --- namespaces ----------------------------------------------------------------

xmlNsPtr Tree::SearchNs(xmlNodePtr node, const xmlChar* prefix) const {
  for (xmlNodePtr p = node; p && p->type == XML_ELEMENT_NODE; p = p->parent) {
    for (xmlNsPtr ns = p->nsDef; ns; ns = ns->next) {
      if (prefix ? xmlStrEqual(ns->prefix, prefix) : ns->prefix == nullptr) return ns;
    }
  }
  if (prefix && xmlStrEqual(prefix, BAD_CAST "xml")) return xmlSearchNs(doc, xmlDocGetRootElement(doc), prefix);
  return nullptr;
}

xmlNsPtr Tree::SearchNsByHref(xmlNodePtr node, std::string_view uri, bool needPrefix) const {
  for (xmlNodePtr p = node; p && p->type == XML_ELEMENT_NODE; p = p->parent) {
    for (xmlNsPtr ns = p->nsDef; ns; ns = ns->next) {
      if (!HrefIs(ns, uri) || (needPrefix && !ns->prefix)) continue;
      if (SearchNs(node, ns->prefix) == ns) return ns;  // not masked below
    }
  }
  return nullptr;
}

xmlNsPtr Tree::DeclareOn(xmlNodePtr element, std::string_view uri, const xmlChar* prefix) {
  std::string made;
  auto declaredHere = [&](const xmlChar* p) {
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
      if (p ? xmlStrEqual(ns->prefix, p) : ns->prefix == nullptr) return ns;
    }
    return static_cast<xmlNsPtr>(nullptr);
  };
  if (xmlNsPtr existing = declaredHere(prefix)) {
    // The default namespace cannot move to a made-up prefix; the node
    // operations refuse such a conflict before it comes here.
    if (HrefIs(existing, uri) || !prefix) return existing;
    for (int i = 1;; ++i) {
      made = "ns" + std::to_string(i);
      if (!declaredHere(Bytes(made))) break;
    }
    prefix = Bytes(made);
  }
  std::string href(uri);
  auto* ns = static_cast<xmlNsPtr>(xmlMalloc(sizeof(xmlNs)));
  std::memset(ns, 0, sizeof(xmlNs));
  ns->type = XML_NAMESPACE_DECL;
  ns->href = xmlStrdup(Bytes(href));  // "" undeclares the default namespace
  ns->prefix = prefix ? xmlStrdup(prefix) : nullptr;
  ns->next = nullptr;
  xmlNsPtr* tail = &element->nsDef;
  while (*tail) tail = &(*tail)->next;
  *tail = ns;
  return ns;
}

void Tree::Reconcile(xmlNodePtr top) {
  std::vector<std::pair<xmlNsPtr, xmlNsPtr>> replaced;  // dropped declaration -> the one in effect
  auto fix = [&](xmlNodePtr element, xmlNsPtr ns, bool forAttribute) -> xmlNsPtr {
    for (auto& [from, to] : replaced) {
      if (ns == from) {
        ns = to;
        break;
      }
    }
    if (ns && (!ns->href || !*ns->href)) ns = nullptr;  // xmlns="": no namespace
    if (!ns) {
      if (!forAttribute) {
        // No namespace: a default namespace in effect must be undeclared.
        xmlNsPtr inEffect = SearchNs(element, nullptr);
        if (inEffect && inEffect->href && *inEffect->href) DeclareOn(element, "", nullptr);
      }
      return nullptr;
    }
    std::string_view href(reinterpret_cast<const char*>(ns->href));
    xmlNsPtr inEffect = SearchNs(element, ns->prefix);
    if (inEffect == ns) return ns;
    if (inEffect && SameHref(inEffect, ns) && (!forAttribute || inEffect->prefix)) return inEffect;
    if (xmlNsPtr bound = SearchNsByHref(element, href, forAttribute)) return bound;
    const xmlChar* prefix = ns->prefix;
    std::string made;
    if (forAttribute && !prefix) {
      for (int i = 1;; ++i) {
        made = "ns" + std::to_string(i);
        if (!SearchNs(element, Bytes(made))) break;
      }
      prefix = Bytes(made);
    }
    return DeclareOn(element, href, prefix);
  };

  xmlNodePtr node = top;
  while (node) {
    if (node->type == XML_ELEMENT_NODE) {
      // Declarations that repeat the binding in effect above are dropped.
      xmlNsPtr* link = &node->nsDef;
      while (xmlNsPtr decl = *link) {
        xmlNsPtr above =
            node->parent && node->parent->type == XML_ELEMENT_NODE ? SearchNs(node->parent, decl->prefix) : nullptr;
        bool emptyDefault = !decl->prefix && (!decl->href || !*decl->href);
        bool redundant = above ? SameHref(above, decl) : emptyDefault;
        if (redundant) {
          *link = decl->next;
          decl->next = nullptr;
          AdoptNs(decl);
          replaced.emplace_back(decl, emptyDefault ? nullptr : above);
        } else {
          link = &decl->next;
        }
      }
      node->ns = fix(node, node->ns, false);
      for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
        if (attr->ns) attr->ns = fix(node, attr->ns, true);
      }
    }
    // Pre-order walk of the subtree.
    if (node->type == XML_ELEMENT_NODE && node->children) {
      node = node->children;
      continue;
    }
    while (node && node != top && !node->next) node = node->parent;
    if (!node || node == top) break;
    node = node->next;
  }
}

}  // namespace kx::xml::detail
