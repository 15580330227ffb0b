// Work done on helper threads and handed back in the order it was given:
// the reader parses pieces of the map and the writer formats runs of roads
// this way, and both get the same results for any number of threads.
//
// Whatever a job's work uses must outlive the OrderedJobs: an owner keeps
// its OrderedJobs as its last member, so that the helpers stop before the
// rest goes.
#pragma once

#include <cassert>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "base/locking.h"

namespace tovlek::base {

template <typename Job>
class OrderedJobs {
 public:
  // `work` runs once for every job given, on one of `workers` threads, or at
  // once on the caller's thread when there are none. At most `window` jobs
  // are given and not yet taken back. A thread that the system cannot start
  // is done without: the jobs give the same results on fewer threads, or on
  // the caller's alone.
  OrderedJobs(int workers, size_t window, std::function<void(Job&)> work)
      : window_(window), work_(std::move(work)) {
    threads_.reserve(static_cast<size_t>(workers > 0 ? workers : 0));
    for (int i = 0; i < workers; ++i) {
      try {
        threads_.emplace_back([this] { serve(); });
      } catch (...) {  // std::system_error, or no memory for the thread
        break;
      }
    }
  }

  // Jobs not yet started are dropped; started ones are finished first.
  ~OrderedJobs() {
    {
      MutexLock lock(mutex_);
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
  // The helper threads that run the jobs (0: the caller's thread runs them).
  size_t helpers() const { return threads_.size(); }

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

  // Gives a job; it must not be full. Should memory run out here, the job
  // is lost and nothing else changes: no take() waits for a job that no
  // helper was given.
  void give(std::unique_ptr<Job> job) {
    assert(!full() && "a full window takes a job before it is given another");
    Slot slot = std::make_shared<Entry>();
    slot->job = std::move(job);
    if (threads_.empty()) {
      pending_.push_back(slot);
      run(*slot);
      return;
    }
    {
      MutexLock lock(mutex_);
      queue_.push_back(slot);
    }
    // Once queued, a helper runs it; if it cannot be noted as pending, its
    // result is never taken and goes with the slot.
    pending_.push_back(std::move(slot));
    wakeWorkers_.notify_one();
  }

  // The oldest job given, once done (null when none is pending). An
  // exception thrown by its work is thrown again here.
  std::unique_ptr<Job> take() {
    if (pending_.empty()) return nullptr;
    Slot slot = std::move(pending_.front());
    pending_.pop_front();
    std::exception_ptr failure;
    {
      MutexLock lock(mutex_);
      while (!slot->done) mutex_.wait(jobDone_);
      failure = slot->failure;
    }
    if (failure) std::rethrow_exception(failure);
    return std::move(slot->job);
  }

 private:
  // One job given; `done` and `failure` are written and read under mutex_.
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
    MutexLock lock(mutex_);
    entry.failure = failure;
    entry.done = true;
  }

  void serve() {
    for (;;) {
      Slot slot;
      {
        MutexLock lock(mutex_);
        while (!stopping_ && queue_.empty()) mutex_.wait(wakeWorkers_);
        if (queue_.empty()) return;
        slot = std::move(queue_.front());
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
  Mutex mutex_;
  std::condition_variable wakeWorkers_, jobDone_;
  std::deque<Slot> queue_ TOVLEK_GUARDED_BY(mutex_);  // given and not started
  bool stopping_ TOVLEK_GUARDED_BY(mutex_) = false;
  std::vector<std::thread> threads_;
};

}  // namespace tovlek::base
