// Work done on helper threads and handed back in the order it was given:
// the reader parses pieces of the map and the writer formats runs of roads
// this way, and both get the same results for any number of threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tovlek::base {

template <typename Job>
class OrderedJobs {
 public:
  // `work` runs once for every job given, on one of `workers` threads, or at
  // once on the caller's thread when there are none. At most `window` jobs
  // are given and not yet taken back.
  OrderedJobs(int workers, size_t window, std::function<void(Job&)> work)
      : window_(window), work_(std::move(work)) {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { serve(); });
  }

  // Jobs not yet started are dropped; started ones are finished first.
  ~OrderedJobs() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      queue_.clear();
    }
    wakeWorkers_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  OrderedJobs(const OrderedJobs&) = delete;
  OrderedJobs& operator=(const OrderedJobs&) = delete;

  bool full() const { return pending_.size() >= window_; }
  bool empty() const { return pending_.empty(); }

  // A job to fill: one handed back earlier (its buffers keep their memory),
  // else a new one.
  std::unique_ptr<Job> fresh() {
    if (spare_.empty()) return std::make_unique<Job>();
    std::unique_ptr<Job> job = std::move(spare_.back());
    spare_.pop_back();
    return job;
  }

  // Keeps a job that was taken, for fresh().
  void handBack(std::unique_ptr<Job> job) { spare_.push_back(std::move(job)); }

  // Gives a job; it must not be full.
  void give(std::unique_ptr<Job> job) {
    Slot& slot = pending_.emplace_back(std::make_shared<Entry>());
    slot->job = std::move(job);
    if (threads_.empty()) {
      run(*slot);
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(slot);
    }
    wakeWorkers_.notify_one();
  }

  // The oldest job given, once done (null when none is pending). An
  // exception thrown by its work is thrown again here.
  std::unique_ptr<Job> take() {
    if (pending_.empty()) return nullptr;
    Slot slot = pending_.front();
    pending_.pop_front();
    {
      std::unique_lock<std::mutex> lock(mutex_);
      jobDone_.wait(lock, [&] { return slot->done; });
    }
    if (slot->failure) std::rethrow_exception(slot->failure);
    return std::move(slot->job);
  }

 private:
  struct Entry {
    std::unique_ptr<Job> job;
    bool done = false;
    std::exception_ptr failure;
  };
  using Slot = std::shared_ptr<Entry>;

  void run(Entry& entry) {
    std::exception_ptr failure;
    try {
      work_(*entry.job);
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    entry.failure = failure;
    entry.done = true;
  }

  void serve() {
    for (;;) {
      Slot slot;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wakeWorkers_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        slot = queue_.front();
        queue_.pop_front();
      }
      run(*slot);
      jobDone_.notify_all();
    }
  }

  const size_t window_;
  const std::function<void(Job&)> work_;
  std::deque<Slot> pending_;  // given and not taken, oldest first (caller's thread only)
  std::vector<std::unique_ptr<Job>> spare_;  // handed back (caller's thread only)
  std::mutex mutex_;
  std::condition_variable wakeWorkers_, jobDone_;
  std::deque<Slot> queue_;  // given and not started
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tovlek::base
