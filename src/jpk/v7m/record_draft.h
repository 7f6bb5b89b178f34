#pragma once
// A sale or purchase record of JPK_V7M put together apart from any document:
// its elements in order, each with its text, placed as the line writers place
// them in a record element. The generation drafts its records while it reads
// the source tables and leaves building them to a RecordBuilder.

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xml/xml_node.h"

namespace kx::jpk::v7m {

class RecordDraft {
 public:
  struct Element {
    std::string_view name;
    std::string text;
  };

  // "SprzedazWiersz" or "ZakupWiersz"; the elements of any other record take
  // the sale record's order.
  explicit RecordDraft(std::string_view recordName);
  static RecordDraft Sale() { return RecordDraft("SprzedazWiersz"); }
  static RecordDraft Purchase() { return RecordDraft("ZakupWiersz"); }
  RecordDraft(RecordDraft&&) noexcept = default;
  RecordDraft& operator=(RecordDraft&&) noexcept = default;
  RecordDraft(const RecordDraft&) = delete;
  RecordDraft& operator=(const RecordDraft&) = delete;

  const std::string& RecordName() const { return m_recordName; }
  const std::vector<Element>& Elements() const { return m_elements; }
  bool Has(std::string_view name) const;

  // The element's text; a missing element is appended, as a child reached by
  // name is. Texts are checked as the document would check them.
  void Set(std::string_view name, std::string_view text);
  void SetDecimal(std::string_view name, double value);
  // The element's text; a missing element goes where the schema puts it:
  // before the run of later elements at the end. Unknown elements are passed.
  void Place(std::string_view name, std::string_view text);

 private:
  // The element's position; Elements().size() when missing.
  size_t IndexOf(std::string_view name) const;
  // Checks the text and sets it on the element when there is one.
  bool Update(std::string_view name, std::string_view text);
  std::string_view Intern(std::string_view name);

  std::string m_recordName;
  std::span<const std::string_view> m_order;
  std::vector<Element> m_elements;
  std::vector<std::unique_ptr<std::string>> m_names;  // names outside the schema order
};

// Appends the drafted record to the parent as its last child.
xml::XmlNode BuildRecord(xml::XmlNode& parent, const RecordDraft& draft);

}  // namespace kx::jpk::v7m
