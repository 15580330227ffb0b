// Memory for extra lines (internal to the store): variable-sized pieces cut
// from large chunks, so that a road's lines cost their bytes and no more.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace tovlek::store {

struct BytePool {
  static constexpr size_t kFirstChunk = size_t{1} << 12;
  static constexpr size_t kChunk = size_t{1} << 20;
  std::vector<std::unique_ptr<char[]>> chunks;
  size_t used = 0;
  size_t capacity = 0;  // of the last chunk

  char* allocate(size_t size) {
    if (capacity - used < size) {
      const size_t grown = std::min(kChunk, kFirstChunk << std::min<size_t>(chunks.size(), 8));
      capacity = std::max(size, grown);
      chunks.push_back(std::make_unique_for_overwrite<char[]>(capacity));
      used = 0;
    }
    char* piece = chunks.back().get() + used;
    used += size;
    return piece;
  }
};

}  // namespace tovlek::store
