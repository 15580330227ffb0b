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

// The pair grid marks each road with the query that last saw it, in two
// bytes that every 65,535 queries are cleared. Roads 0 and 65,535 share two
// cells with road 65,537, which no query between them sees: without the
// clearing, the second query would take it for one it had seen already.
TEST(SweepIndexTest, PartnersFoundAgainAfterTheStampsWrap) {
  constexpr uint32_t kRoads = 65538;
  const std::vector<uint32_t> nearby = {0, 65535, 65537};  // in cells 0 and 1
  OverlapGrid grid;
  grid.roads = kRoads;
  ClassGrid& cells = grid.grids[0];
  cells.cellSize = 10;
  cells.cellsX = kRoads + 2;  // every other road alone in cell i + 2
  cells.members = kRoads;
  cells.cellStart = {0};
  for (int64_t cell = 0; cell < cells.cellsX; ++cell) {
    if (cell < 2) {
      cells.cellRoads.insert(cells.cellRoads.end(), nearby.begin(), nearby.end());
    } else if (const uint32_t road = static_cast<uint32_t>(cell - 2);
               road < kRoads && road != 0 && road != 65535 && road != 65537) {
      cells.cellRoads.push_back(road);
    }
    cells.cellStart.push_back(static_cast<uint32_t>(cells.cellRoads.size()));
  }
  store::ReadBoxArray boxes;  // in reading order: the last road first
  for (uint32_t road = kRoads; road-- > 0;) {
    const Coord x = static_cast<Coord>(10 * (road + 2) + 1);
    boxes.pushBack(road == 0 || road == 65535 || road == 65537 ? store::ReadBox{5, 0, 15, 0}
                                                               : store::ReadBox{x, 0, x + 1, 0});
  }
  grid.readBoxes = &boxes;
  grid.boxClass.assign(kRoads, 0);
  grid.lastSeen.assign(kRoads, UINT16_MAX);
  std::vector<uint32_t> partners;
  for (uint32_t road = 0; road < kRoads; ++road) {
    partnersOf(grid, road, partners);
    const std::vector<uint32_t> expected =
        road == 0 ? std::vector<uint32_t>{65535, 65537}
                  : (road == 65535 ? std::vector<uint32_t>{65537} : std::vector<uint32_t>{});
    ASSERT_EQ(partners, expected) << "road " << road;
  }
}

}  // namespace
}  // namespace tovlek::junction
