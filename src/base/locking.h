// A mutex that clang's thread-safety analysis (-Wthread-safety) can follow:
// data shared between helper threads and the main thread is marked
// TOVLEK_GUARDED_BY its mutex, and the compiler checks that every access holds
// it. Other compilers see plain std::mutex code.
#pragma once

#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define TOVLEK_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TOVLEK_THREAD_ANNOTATION(x)
#endif

#define TOVLEK_CAPABILITY(name) TOVLEK_THREAD_ANNOTATION(capability(name))
#define TOVLEK_SCOPED_CAPABILITY TOVLEK_THREAD_ANNOTATION(scoped_lockable)
#define TOVLEK_GUARDED_BY(m) TOVLEK_THREAD_ANNOTATION(guarded_by(m))
#define TOVLEK_REQUIRES(...) TOVLEK_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define TOVLEK_ACQUIRE(...) TOVLEK_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define TOVLEK_RELEASE(...) TOVLEK_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

namespace tovlek::base {

class TOVLEK_CAPABILITY("mutex") Mutex {
 public:
  void lock() TOVLEK_ACQUIRE() { mutex_.lock(); }
  void unlock() TOVLEK_RELEASE() { mutex_.unlock(); }

  // Releases the mutex until `condition` is notified (or wakes spuriously),
  // then holds it again: callers test what they wait for in a loop.
  void wait(std::condition_variable& condition) TOVLEK_REQUIRES(this) {
    std::unique_lock<std::mutex> held(mutex_, std::adopt_lock);
    condition.wait(held);
    held.release();
  }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for the life of the object.
class TOVLEK_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) TOVLEK_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() TOVLEK_RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace tovlek::base
