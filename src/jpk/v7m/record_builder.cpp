#include "jpk/v7m/record_builder.h"

#include <utility>

namespace kx::jpk::v7m {
namespace {

// Records handed over together, and the batches that may wait: the drafts in
// flight stay a few megabytes.
constexpr size_t kBatch = 512;
constexpr size_t kBatchesWaiting = 8;

}  // namespace

RecordBuilder::RecordBuilder(xml::XmlNode parent) : m_parent(std::move(parent)) { m_batch.reserve(kBatch); }

RecordBuilder::~RecordBuilder() {
  // Left by a failure of the caller: the records given are built all the
  // same, so the document holds what was drafted before it.
  try {
    Finish();
  } catch (...) {
    if (m_thread.joinable()) {
      {
        std::lock_guard lock(m_mutex);
        m_stop = true;
      }
      m_changed.notify_all();
      m_thread.join();
    }
  }
}

// Each side wakes the other only when that one waits: the builder for a
// batch, the caller for room.
void RecordBuilder::Run() {
  for (;;) {
    std::vector<RecordDraft> batch;
    bool wake = false;
    {
      std::unique_lock lock(m_mutex);
      m_builderWaits = true;
      m_changed.wait(lock, [this] { return m_stop || m_closed || !m_queue.empty(); });
      m_builderWaits = false;
      if (m_stop || m_queue.empty()) return;
      batch = std::move(m_queue.front());
      m_queue.pop_front();
      wake = m_callerWaits;
    }
    if (wake) m_changed.notify_all();
    try {
      for (const RecordDraft& draft : batch) BuildRecord(m_parent, draft);
    } catch (...) {
      std::lock_guard lock(m_mutex);
      m_failure = std::current_exception();
      m_stop = true;
      m_queue.clear();
      m_changed.notify_all();
      return;
    }
  }
}

void RecordBuilder::Add(RecordDraft draft) {
  m_batch.push_back(std::move(draft));
  if (m_batch.size() >= kBatch) Send();
}

void RecordBuilder::Send() {
  bool wake = false;
  {
    std::unique_lock lock(m_mutex);
    m_callerWaits = true;
    m_changed.wait(lock, [this] { return m_stop || m_queue.size() < kBatchesWaiting; });
    m_callerWaits = false;
    if (m_failure) std::rethrow_exception(m_failure);
    m_queue.push_back(std::move(m_batch));
    wake = m_builderWaits;
  }
  // Started with the first batch, once the caller's handles of the moment
  // (temporaries naming the parent) are gone.
  if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
  if (wake) m_changed.notify_all();
  m_batch = std::vector<RecordDraft>();
  m_batch.reserve(kBatch);
}

void RecordBuilder::Finish() {
  if (!m_thread.joinable()) {
    // A few records: built here.
    std::vector<RecordDraft> batch = std::move(m_batch);
    m_batch.clear();
    for (const RecordDraft& draft : batch) BuildRecord(m_parent, draft);
    return;
  }
  if (!m_batch.empty()) Send();
  {
    std::lock_guard lock(m_mutex);
    m_closed = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
  if (m_failure) std::rethrow_exception(m_failure);
}

}  // namespace kx::jpk::v7m
