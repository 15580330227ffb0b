// Memory pools for the road store (internal to the store): records are cut
// from large chunks instead of one allocation each, so a vertex costs its 24
// bytes and no more. Memory comes back when the most recently created road is
// released (the reader's non-road sections) and, all at once, with
// releaseStorage.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tovlek::store {

// A position in a pool, for giving back everything allocated after it.
struct PoolMark {
  size_t chunks;
  size_t used;
};

// Chunks grow from 256 records to kChunk, so that a small map takes little.
template <typename T, size_t kChunk>
struct RecordPool {
  static constexpr size_t kFirstChunk = 256;
  std::vector<std::unique_ptr<T[]>> chunks;
  size_t used = 0;
  size_t capacity = 0;  // of the last chunk

  static size_t capacityOf(size_t chunk) {
    return chunk >= 16 ? kChunk : std::min(kChunk, kFirstChunk << chunk);
  }
  T* allocate() {
    if (used == capacity) {
      capacity = capacityOf(chunks.size());
      chunks.push_back(std::make_unique_for_overwrite<T[]>(capacity));
      used = 0;
    }
    return &chunks.back()[used++];
  }
  PoolMark mark() const { return {chunks.size(), used}; }
  bool owns(const T* record) const {
    const auto at = reinterpret_cast<uintptr_t>(record);
    for (size_t c = 0; c < chunks.size(); ++c) {
      const auto begin = reinterpret_cast<uintptr_t>(chunks[c].get());
      if (at >= begin && at < begin + capacityOf(c) * sizeof(T)) return true;
    }
    return false;
  }
  void rollback(const PoolMark& mark) {
    chunks.resize(mark.chunks);
    used = mark.used;
    capacity = mark.chunks == 0 ? 0 : capacityOf(mark.chunks - 1);
  }
  void clear() {
    chunks.clear();
    used = capacity = 0;
  }
};

// Variable-sized, 8-byte aligned pieces (extra lines with their text).
struct BytePool {
  static constexpr size_t kFirstChunk = size_t{1} << 12;
  static constexpr size_t kChunk = size_t{1} << 20;
  std::vector<std::unique_ptr<std::byte[]>> chunks;
  size_t used = 0;
  size_t capacity = 0;  // of the last chunk

  void* allocate(size_t size) {
    size = (size + 7) & ~size_t{7};
    if (capacity - used < size) {
      const size_t grown = std::min(kChunk, kFirstChunk << std::min<size_t>(chunks.size(), 8));
      capacity = std::max(size, grown);
      chunks.push_back(std::make_unique_for_overwrite<std::byte[]>(capacity));
      used = 0;
    }
    void* piece = chunks.back().get() + used;
    used += size;
    return piece;
  }
  PoolMark mark() const { return {chunks.size(), used}; }
  void rollback(const PoolMark& mark) {
    if (chunks.size() != mark.chunks) {
      chunks.resize(mark.chunks);
      // The chunk that is last again was full enough to need a successor;
      // treat it as full.
      capacity = used = 0;
      if (mark.chunks > 0) capacity = used = mark.used;
      return;
    }
    used = mark.used;
  }
  void clear() {
    chunks.clear();
    used = capacity = 0;
  }
};

}  // namespace tovlek::store
