// The fast sweep's mask of touching segments against the one-by-one test, on
// seeded random chains whose coordinates often tie with the box's edges.
#include "junction/sweep_index.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

namespace tovlek::junction {
namespace {

TEST(SweepIndexTest, SegmentMaskAgreesWithEachSegmentsTest) {
  std::mt19937 random(11);
  const auto coord = [&] {
    const unsigned pick = random() % 16;
    if (pick == 0) return Coord{INT32_MIN};
    if (pick == 1) return Coord{INT32_MAX};
    return static_cast<Coord>(random() % 9) - 4;
  };
  std::vector<SweepIndex::Position> positions(kSegmentsPerMask + 17);
  for (int round = 0; round < 5000; ++round) {
    for (SweepIndex::Position& p : positions) p = {coord(), coord()};
    Box box{coord(), coord(), coord(), coord()};
    if (round % 2 == 0)
      box = {std::min(box.minX, box.maxX), std::min(box.minY, box.maxY),
             std::max(box.minX, box.maxX), std::max(box.minY, box.maxY)};
    const size_t count = 1 + random() % kSegmentsPerMask;
    const uint64_t mask = segmentsTouching(box, positions.data(), count);
    for (size_t k = 0; k < kSegmentsPerMask; ++k) {
      const bool expected = k < count && segmentTouches(box, positions[k], positions[k + 1]);
      ASSERT_EQ((mask >> (2 * k)) & 1, uint64_t{expected}) << "round " << round << " segment " << k;
      ASSERT_EQ((mask >> (2 * k + 1)) & 1, 0u) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace tovlek::junction
