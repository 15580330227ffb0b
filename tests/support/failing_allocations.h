// Allocation failures on demand, for the out-of-memory paths: the test
// binary replaces the global operator new, and can make one allocation
// (on any thread) throw std::bad_alloc.
#pragma once

#include <cstdint>

namespace tovlek::testkit {

// Allocations made through operator new since the program started.
int64_t allocationsSoFar();

// The n-th allocation from now fails (n > 0); 0 disarms.
void failAllocation(int64_t n);

}  // namespace tovlek::testkit
