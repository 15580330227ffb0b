// The store's chunked records: the first chunk alone, later ones cut from
// regions of many chunks. Every record must keep its value and its address
// across the regions' boundaries.
#include <gtest/gtest.h>

#include <cstdint>

#include "store/road_store.h"

namespace tovlek::store {
namespace {

struct Record {
  uint64_t id, inverse, triple;
};

TEST(ChunkedArrayTest, RecordsStayPutAcrossRegions) {
  // Chunks of 24 KB: a region holds hundreds of them, so that 800 chunks
  // fill the first chunk, one region and part of a second.
  ChunkedArray<Record, 10> array;
  constexpr uint64_t kRecords = 800 * 1024;
  const Record* first = nullptr;
  for (uint64_t i = 0; i < kRecords; ++i) {
    Record& slot = array.pushBack({i, ~i, 3 * i});
    if (i == 0) first = &slot;
  }
  ASSERT_GE(array.memory.regions.size(), 3u);
  EXPECT_EQ(first, &array[0]);
  for (uint64_t i = 0; i < kRecords; ++i) {
    const Record& r = array[i];
    ASSERT_TRUE(r.id == i && r.inverse == ~i && r.triple == 3 * i) << "record " << i;
  }
  // A truncated array reuses its chunks.
  const size_t chunks = array.chunks.size();
  array.truncate(5);
  for (uint64_t i = 5; i < kRecords; ++i) array.pushBack({0, 0, i});
  EXPECT_EQ(array.chunks.size(), chunks);
  EXPECT_EQ(array[4].id, 4u);
  EXPECT_EQ(array[kRecords - 1].triple, kRecords - 1);
}

}  // namespace
}  // namespace tovlek::store
