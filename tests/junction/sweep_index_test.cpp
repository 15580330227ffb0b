// The fast sweep's bookkeeping: road pairs from the grids, the skip test at
// its edges, and block boxes that follow moves and insertions.
#include "junction/sweep_index.h"

#include <gtest/gtest.h>

#include <random>

#include "junction/geometry.h"
#include "junction/junction.h"
#include "support/store_check.h"

namespace tovlek::junction {
namespace {

class SweepIndexTest : public ::testing::Test {
 protected:
  void SetUp() override { testkit::resetGlobals(10); }
  void TearDown() override {
    ActiveIndex = nullptr;
    testkit::resetGlobals(10);
  }
};

TEST_F(SweepIndexTest, GridFindsExactlyTheOverlappingPairs) {
  std::mt19937 random(5);
  for (int round = 0; round < 30; ++round) {
    // Distances from strongly negative (inverted boxes) to large.
    const int distances[] = {-2000, -40, -3, 0, 10, 300};
    testkit::resetGlobals(distances[round % 6]);
    std::vector<Road*> roads;
    for (int r = 0; r < 120; ++r) {
      Road* road = store::createRoad();
      const int x = static_cast<int>(random() % 3000), y = static_cast<int>(random() % 3000);
      const int length = r % 17 == 0 ? 2500 : static_cast<int>(random() % 60);  // a few long ones
      store::appendVertex(road, store::createVertex(x, y));
      store::appendVertex(road,
                          store::createVertex(x + length, y + static_cast<int>(random() % 60)));
      roads.push_back(road);
    }
    for (auto it = roads.rbegin(); it != roads.rend(); ++it) store::pushRoad(*it);
    OverlapGrid grid;
    buildOverlapGrid(grid, roads);
    std::vector<uint32_t> partners;
    for (uint32_t i = 0; i < roads.size(); ++i) {
      partnersOf(grid, i, partners);
      std::vector<uint32_t> expected;
      for (uint32_t j = i + 1; j < roads.size(); ++j) {
        if (boxesOverlap(*roads[i], *roads[j])) expected.push_back(j);
      }
      ASSERT_EQ(partners, expected) << "round " << round << " road " << i;
    }
  }
}

TEST_F(SweepIndexTest, SkipTestEdges) {
  const Box a{0, 0, 10, 10};
  EXPECT_TRUE(mayInteract(a, Box{22, 0, 30, 10}, 12));   // touching once grown
  EXPECT_FALSE(mayInteract(a, Box{23, 0, 30, 10}, 12));  // one unit beyond
  EXPECT_FALSE(mayInteract(a, Box{0, -30, 10, -13}, 12));
  EXPECT_TRUE(mayInteract(a, Box{0, -30, 10, -12}, 12));
  // Beyond the range where the crossing test is exact nothing is skipped.
  EXPECT_TRUE(mayInteract(a, Box{40000000, 0, 40000001, 1}, 12));
}

// A long road along y = 0 from x = 0 to 990 (100 vertices), a short road far
// above it, and a query box around a point near the short road.
struct LongRoadFigure {
  Road* longRoad;
  Road* shortRoad;
  SweepIndex index;

  LongRoadFigure() {
    shortRoad = testkit::makeRoad({{500, 5000}, {510, 5000}});
    longRoad = store::createRoad();
    longRoad->type = 6;
    for (int i = 0; i < 100; ++i) store::appendVertex(longRoad, store::createVertex(i * 10, 0));
    store::pushRoad(longRoad);
    store::pushRoad(shortRoad);
    buildSweepIndex(index);
    ActiveIndex = &index;
  }
  const LongRoad& indexed() const { return index.longRoads[index.longSlot[1]]; }
  Vertex* vertex(int n) const {
    Vertex* v = longRoad->first;
    while (n-- > 0) v = v->next;
    return v;
  }
};

TEST_F(SweepIndexTest, RingMoveGrowsTheBlockOfEveryMember) {
  LongRoadFigure figure;
  ASSERT_EQ(figure.index.longSlot[0], -1);
  ASSERT_GE(figure.index.longSlot[1], 0);
  const Box query{500, 5000, 510, 5000};
  EXPECT_EQ(nextNearBlock(figure.index, figure.indexed(), 0, query, 12),
            figure.indexed().blockCount);

  // Vertex 40 of the long road (block 2) is welded to the short road's first
  // vertex; moving that vertex's ring carries vertex 40 up to the query.
  store::joinRings(figure.shortRoad->first, figure.vertex(40));
  moveRing(figure.shortRoad->first, 505, 4995);
  EXPECT_EQ(figure.vertex(40)->y, 4995);
  EXPECT_EQ(nextNearBlock(figure.index, figure.indexed(), 0, query, 12), 2u);
  EXPECT_EQ(nextNearBlock(figure.index, figure.indexed(), 3, query, 12),
            figure.indexed().blockCount);

  // The first vertex of block 3 also ends block 2's last segment.
  store::joinRings(figure.shortRoad->last, figure.vertex(48));
  moveRing(figure.shortRoad->last, 510, 5000);
  EXPECT_EQ(nextNearBlock(figure.index, figure.indexed(), 3, query, 12), 3u);
  EXPECT_TRUE(mayInteract(query, figure.index.blockBox[figure.indexed().blockBase + 2], 0));
}

TEST_F(SweepIndexTest, InsertedVertexBelongsToItsPredecessorsBlock) {
  LongRoadFigure figure;
  Vertex* inserted = store::createVertex(205, 0);
  linkBehind(figure.vertex(20), inserted);  // block 1
  EXPECT_EQ(figure.vertex(21), inserted);
  EXPECT_EQ(figure.index.insertedBlock.at(inserted), figure.indexed().blockBase + 1);
  // A later move of the inserted vertex grows block 1 only.
  moveRing(inserted, 505, 4995);
  const Box query{500, 5000, 510, 5000};
  EXPECT_EQ(nextNearBlock(figure.index, figure.indexed(), 0, query, 12), 1u);
  EXPECT_EQ(nextNearBlock(figure.index, figure.indexed(), 2, query, 12),
            figure.indexed().blockCount);
  EXPECT_GT(figure.index.modifications, 0u);
}

}  // namespace
}  // namespace tovlek::junction
