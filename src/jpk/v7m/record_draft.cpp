#include "jpk/v7m/record_draft.h"

#include <algorithm>
#include <memory>

#include "jpk/v7m/v7m_order.h"
#include "platform/decimal_text.h"

namespace kx::jpk::v7m {

RecordDraft::RecordDraft(std::string_view recordName) : m_recordName(recordName), m_order(RecordOrder(recordName)) {
  m_elements.reserve(16);
}

size_t RecordDraft::IndexOf(std::string_view name) const {
  return static_cast<size_t>(
      std::find_if(m_elements.begin(), m_elements.end(), [&](const Element& e) { return e.name == name; }) -
      m_elements.begin());
}

bool RecordDraft::Has(std::string_view name) const { return IndexOf(name) < m_elements.size(); }

// The schema's names are kept as views of the order's own literals.
std::string_view RecordDraft::Intern(std::string_view name) {
  const size_t rank = OrderRank(m_order, name);
  if (rank < m_order.size()) return m_order[rank];
  return *m_names.emplace_back(std::make_unique<std::string>(name));
}

bool RecordDraft::Update(std::string_view name, std::string_view text) {
  xml::CheckXmlText(text);
  const size_t at = IndexOf(name);
  if (at == m_elements.size()) return false;
  m_elements[at].text.assign(text);
  return true;
}

void RecordDraft::Set(std::string_view name, std::string_view text) {
  if (!Update(name, text)) m_elements.push_back({Intern(name), std::string(text)});
}

void RecordDraft::SetDecimal(std::string_view name, double value) { Set(name, DecimalText(value)); }

void RecordDraft::Place(std::string_view name, std::string_view text) {
  if (Update(name, text)) return;
  const size_t pos = OrderRank(m_order, name);
  size_t at = m_elements.size();
  for (size_t i = m_elements.size(); i-- > 0;) {
    const size_t r = OrderRank(m_order, m_elements[i].name);
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
