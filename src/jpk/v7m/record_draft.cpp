#include "jpk/v7m/record_draft.h"

#include <algorithm>
#include <memory>

#include "jpk/v7m/v7m_order.h"
#include "platform/decimal_text.h"

namespace kx::jpk::v7m {

RecordDraft::RecordDraft(std::string_view recordName)
    : m_recordName(recordName),
      m_order(recordName == "ZakupWiersz" ? std::span<const std::string_view>(kPurchaseRecordOrder)
                                          : std::span<const std::string_view>(kSaleRecordOrder)) {
  m_elements.reserve(16);
}

RecordDraft::Element* RecordDraft::Find(std::string_view name) {
  auto it = std::find_if(m_elements.begin(), m_elements.end(), [&](const Element& e) { return e.name == name; });
  return it == m_elements.end() ? nullptr : &*it;
}

bool RecordDraft::Has(std::string_view name) const {
  return std::any_of(m_elements.begin(), m_elements.end(), [&](const Element& e) { return e.name == name; });
}

size_t RecordDraft::Rank(std::string_view name) const {
  return static_cast<size_t>(std::find(m_order.begin(), m_order.end(), name) - m_order.begin());
}

// The schema's names are kept as views of the order's own literals.
std::string_view RecordDraft::Intern(std::string_view name) {
  size_t rank = Rank(name);
  if (rank < m_order.size()) return m_order[rank];
  return *m_names.emplace_back(std::make_unique<std::string>(name));
}

void RecordDraft::Set(std::string_view name, std::string_view text) {
  xml::CheckXmlText(text);
  if (Element* e = Find(name)) {
    e->text.assign(text);
    return;
  }
  m_elements.push_back({Intern(name), std::string(text)});
}

void RecordDraft::SetDecimal(std::string_view name, double value) { Set(name, DecimalText(value)); }

void RecordDraft::Place(std::string_view name, std::string_view text) {
  xml::CheckXmlText(text);
  if (Element* e = Find(name)) {
    e->text.assign(text);
    return;
  }
  const size_t pos = Rank(name);
  size_t at = m_elements.size();
  for (size_t i = m_elements.size(); i-- > 0;) {
    const size_t r = Rank(m_elements[i].name);
    if (r == m_order.size()) continue;
    if (r < pos) break;
    at = i;
  }
  m_elements.insert(m_elements.begin() + static_cast<std::ptrdiff_t>(at), {Intern(name), std::string(text)});
}

xml::XmlNode BuildRecord(xml::XmlNode& parent, const RecordDraft& draft) {
  xml::XmlNode record = parent.AddChild(draft.RecordName());
  for (const RecordDraft::Element& e : draft.Elements()) record.AddChild(e.name).SetText(e.text);
  return record;
}

}  // namespace kx::jpk::v7m
