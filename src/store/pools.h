// Memory for extra lines (internal to the store): variable-sized pieces cut
// from large chunks, so that a road's lines cost their bytes and no more.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "store/road_store.h"

namespace tovlek::store {

struct BytePool {
  static constexpr size_t kFirstChunk = size_t{1} << 12;
  static constexpr size_t kChunk = size_t{1} << 20;
  // Chunks grow from 4 KB to 1 MB, so that a small map's lines cost little.
  // Full-size chunks come from huge-page regions; the smaller ones, and any
  // piece larger than a chunk, have memory of their own.
  std::vector<std::unique_ptr<char[]>> ownMemory;
  ChunkMemory fullChunks{kChunk};
  size_t chunks = 0;
  char* current = nullptr;
  size_t used = 0;
  size_t capacity = 0;  // of the current chunk

  char* allocate(size_t size) {
    if (size > kChunk) return ownPiece(size);
    if (capacity - used < size) {
      const size_t grown = std::max(size, kFirstChunk << std::min<size_t>(chunks, 8));
      current = grown == kChunk ? static_cast<char*>(fullChunks.allocate()) : ownPiece(grown);
      capacity = grown;
      used = 0;
      ++chunks;
    }
    char* piece = current + used;
    used += size;
    return piece;
  }

  char* ownPiece(size_t size) {
    // Left uninitialised: every byte is written before it is read.
    ownMemory.push_back(std::unique_ptr<char[]>(new char[size]));
    return ownMemory.back().get();
  }
};

}  // namespace tovlek::store
