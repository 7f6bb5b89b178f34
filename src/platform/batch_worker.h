#pragma once
// Hands items to a second thread, which does the work on each in the order
// given while the caller goes on making the next ones. Items travel in
// batches; a run too short to fill one is worked on the caller's thread at
// Finish. The first failure of the work stops it, and reaches the caller from
// the next Add or from Finish.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kx {

template <class Item>
class BatchWorker {
 public:
  // Items handed over together, and the batches that may wait: the items in
  // flight stay a few megabytes.
  static constexpr size_t kBatch = 256;
  static constexpr size_t kBatchesWaiting = 4;

  explicit BatchWorker(std::function<void(const Item&)> work) : m_work(std::move(work)) { m_batch.reserve(kBatch); }

  // Left unfinished (the caller failed): the items given are worked on all
  // the same; a failure of that work is dropped.
  ~BatchWorker() {
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
  BatchWorker(const BatchWorker&) = delete;
  BatchWorker& operator=(const BatchWorker&) = delete;

  // Throws the failure of the work on an earlier item, if any.
  void Add(Item item) {
    m_batch.push_back(std::move(item));
    if (m_batch.size() >= kBatch) Send();
  }

  // Waits until every item is worked on; throws the work's failure.
  void Finish() {
    if (!m_thread.joinable()) {
      // A few items: done here.
      std::vector<Item> batch = std::move(m_batch);
      m_batch.clear();
      for (const Item& item : batch) m_work(item);
      return;
    }
    if (!m_batch.empty()) Send();
    {
      std::lock_guard lock(m_mutex);
      m_closed = true;
    }
    m_changed.notify_all();
    m_thread.join();
    if (m_failure) std::rethrow_exception(m_failure);
  }

 private:
  // Each side wakes the other only when that one waits: the worker for a
  // batch, the caller for room.
  void Run() {
    for (;;) {
      std::vector<Item> batch;
      bool wake = false;
      {
        std::unique_lock lock(m_mutex);
        m_workerWaits = true;
        m_changed.wait(lock, [this] { return m_stop || m_closed || !m_queue.empty(); });
        m_workerWaits = false;
        if (m_stop || m_queue.empty()) return;
        batch = std::move(m_queue.front());
        m_queue.pop_front();
        wake = m_callerWaits;
      }
      if (wake) m_changed.notify_all();
      try {
        for (const Item& item : batch) m_work(item);
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

  void Send() {
    bool wake = false;
    {
      std::unique_lock lock(m_mutex);
      m_callerWaits = true;
      m_changed.wait(lock, [this] { return m_stop || m_queue.size() < kBatchesWaiting; });
      m_callerWaits = false;
      if (m_failure) std::rethrow_exception(m_failure);
      m_queue.push_back(std::move(m_batch));
      wake = m_workerWaits;
    }
    // Started with the first batch, once the caller has made it: whatever the
    // caller set up before (handles it held while starting) is settled.
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    if (wake) m_changed.notify_all();
    m_batch = std::vector<Item>();
    m_batch.reserve(kBatch);
  }

  std::function<void(const Item&)> m_work;
  std::vector<Item> m_batch;

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<std::vector<Item>> m_queue;
  bool m_closed = false;       // no batch comes any more
  bool m_stop = false;         // the rest is not worked on
  bool m_workerWaits = false;  // for a batch
  bool m_callerWaits = false;  // for room in the queue
  std::exception_ptr m_failure;
  std::thread m_thread;
};

}  // namespace kx
