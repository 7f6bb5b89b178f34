#pragma once
// Builds drafted records into a document on a second thread while the caller
// goes on drafting them: each is appended to the parent as its last child, in
// the order given. While a builder runs, the caller leaves that document
// alone (no handle into it used, copied or dropped) until Finish returns.

#include "jpk/v7m/record_draft.h"
#include "platform/batch_worker.h"
#include "platform/xml/xml_node.h"

namespace kx::jpk::v7m {

class RecordBuilder {
 public:
  explicit RecordBuilder(xml::XmlNode parent);
  // A builder left unfinished (the caller failed) still builds the records
  // given, so the document holds every record drafted before the failure.
  ~RecordBuilder() = default;
  RecordBuilder(const RecordBuilder&) = delete;
  RecordBuilder& operator=(const RecordBuilder&) = delete;

  // Throws the failure of building an earlier record, if any.
  void Add(RecordDraft draft) { m_worker.Add(std::move(draft)); }
  // Waits until every record is built; throws the building's failure.
  void Finish() { m_worker.Finish(); }

 private:
  xml::XmlNode m_parent;
  BatchWorker<RecordDraft> m_worker;  // after the parent: finished before the parent's handle goes
};

}  // namespace kx::jpk::v7m
