#include "support/failing_allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace tovlek::testkit {
namespace {

std::atomic<int64_t> allocations{0};
std::atomic<int64_t> countdown{0};

void* allocate(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (countdown.load(std::memory_order_relaxed) > 0 &&
      countdown.fetch_sub(1, std::memory_order_relaxed) == 1)
    return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

int64_t allocationsSoFar() {
  return allocations.load();
}

void failAllocation(int64_t n) {
  countdown.store(n);
}

}  // namespace tovlek::testkit

void* operator new(std::size_t size) {
  if (void* memory = tovlek::testkit::allocate(size)) return memory;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return tovlek::testkit::allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return tovlek::testkit::allocate(size);
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}
