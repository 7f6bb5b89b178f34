#pragma once
// The base of the typed JPK views: a thin handle on one element of a document
// that reads and writes its children, attributes and text at the moment of
// use. Reaching a missing child by name creates it, appended last, so the
// order of elements in a written file is the order a writer first touches
// them. Value texts: decimals in shortest form, dates yyyy-MM-dd, booleans
// "true"/"false", markers "1".

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/tables/value.h"
#include "platform/xml/xml_document.h"
#include "platform/xml/xml_node.h"

namespace kx::jpk {

using Date = kx::tables::Date;

// Reads a decimal as the JPK files hold it: blanks around are ignored, an
// empty text is 0, "NaN"/"INF"/"-INF" in any case are the special values;
// anything else that is not a number with "." fails.
double ParseXmlDecimal(std::string_view text);

class TypedNode {
 public:
  TypedNode() = default;
  explicit TypedNode(xml::XmlNode node) : m_node(std::move(node)) {}

  // The generic node, with every operation of the XML services.
  xml::XmlNode Node() const { return m_node; }
  xml::XmlDocument OwnerDocument() const { return m_node.OwnerDocument(); }
  bool IsNull() const { return m_node.IsNull(); }
  explicit operator bool() const { return !m_node.IsNull(); }

  // The node's own text (for elements of simple content that carry attributes).
  std::string Text() const { return m_node.Text(); }
  void SetText(std::string_view text) { m_node.SetText(text); }

  // A child by name without creating it (presence test).
  xml::XmlNode FindChild(std::string_view name) const { return m_node.FindChild(name); }
  bool HasChild(std::string_view name) const { return !m_node.FindChild(name).IsNull(); }
  int IndexOfChild(std::string_view name) const { return m_node.IndexOfChild(name); }

 protected:
  xml::XmlNode Child(std::string_view name) const;

  std::string GetText(std::string_view name) const;
  void SetText(std::string_view name, std::string_view value);
  int32_t GetInt(std::string_view name) const;
  void SetInt(std::string_view name, int32_t value);
  int GetSmall(std::string_view name) const;
  void SetSmall(std::string_view name, int value);
  uint32_t GetCount(std::string_view name) const;
  void SetCount(std::string_view name, uint32_t value);
  double GetDecimal(std::string_view name) const;
  void SetDecimal(std::string_view name, double value);
  Date GetDate(std::string_view name) const;
  void SetDate(std::string_view name, const Date& value);
  bool GetBool(std::string_view name) const;
  void SetBool(std::string_view name, bool value);

  // Attributes, unqualified; reading a missing one creates it empty.
  std::string GetAttribute(std::string_view name) const;
  void SetAttribute(std::string_view name, std::string_view value);

  // Members of a common-definitions namespace, found by local name; reading
  // never creates them.
  std::string GetEtdText(std::string_view localName, std::string_view namespaceUri) const;
  void SetEtdText(std::string_view localName, std::string_view namespaceUri, std::string_view value);
  Date GetEtdDate(std::string_view localName, std::string_view namespaceUri) const;
  void SetEtdDate(std::string_view localName, std::string_view namespaceUri, const Date& value);

  template <typename T>
  T ChildNode(std::string_view name) const {
    return T(Child(name));
  }

 private:
  xml::XmlNode m_node;
};

// The repeated children of one name under a parent, counted among themselves.
// Counting and indexing go through the XML services' element index, so a loop
// over all items stays linear.
template <typename Item>
class TypedList {
 public:
  TypedList(xml::XmlNode parent, std::string_view itemName) : m_parent(std::move(parent)), m_name(itemName) {}

  int Count() const { return m_parent.ElementCount(m_name, m_parent.NamespaceURI()); }
  Item Items(int index) const { return Item(m_parent.ElementAt(m_name, m_parent.NamespaceURI(), index)); }
  Item operator[](int index) const { return Items(index); }
  // A new item appended after every child of the parent.
  Item Add() { return Item(m_parent.AddChild(m_name)); }
  // A new item placed before the parent's child at the index (counted among
  // all children); -1 or an index past the end appends.
  Item Insert(int index) { return Item(m_parent.AddChild(m_name, index)); }
  void Delete(int index) { m_parent.RemoveChild(Items(index).Node()); }
  void Remove(const Item& item) { m_parent.RemoveChild(item.Node()); }
  void Clear() {
    for (int i = Count() - 1; i >= 0; --i) Delete(i);
  }

  const xml::XmlNode& Parent() const { return m_parent; }

 private:
  xml::XmlNode m_parent;
  std::string m_name;
};

// A new, empty document of version "1.0" for a JPK file.
xml::XmlDocument NewJpkDocument();
// Loads a JPK file; fails with a message naming the file when its root is not
// "JPK" in the given namespace.
xml::XmlDocument LoadJpkDocument(const std::filesystem::path& fileName, std::string_view targetNamespace,
                                 std::string_view kindTitle);

}  // namespace kx::jpk
