#pragma once
// Builds drafted records into a document on a second thread while the caller
// goes on drafting them: each is appended to the parent as its last child, in
// the order given. While a builder runs, the caller leaves that document
// alone (no handle into it used, copied or dropped) until Finish returns.

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "jpk/v7m/record_draft.h"
#include "platform/xml/xml_node.h"

namespace kx::jpk::v7m {

class RecordBuilder {
 public:
  explicit RecordBuilder(xml::XmlNode parent);
  // A builder left unfinished (the caller failed) still builds the records
  // given, so the document holds every record drafted before the failure.
  ~RecordBuilder();
  RecordBuilder(const RecordBuilder&) = delete;
  RecordBuilder& operator=(const RecordBuilder&) = delete;

  // Throws the failure of building an earlier record, if any.
  void Add(RecordDraft draft);
  // Waits until every record is built; throws the building's failure.
  void Finish();

 private:
  void Run();
  void Send();

  xml::XmlNode m_parent;
  std::vector<RecordDraft> m_batch;

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<std::vector<RecordDraft>> m_queue;
  bool m_closed = false;        // no batch comes any more
  bool m_stop = false;          // the rest is not built
  bool m_builderWaits = false;  // for a batch
  bool m_callerWaits = false;   // for room in the queue
  std::exception_ptr m_failure;
  std::thread m_thread;
};

}  // namespace kx::jpk::v7m
