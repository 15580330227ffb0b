// Seeded random maps, dense enough that welds, near misses and crossings
// happen all the time, checked for the store's invariants and against a
// brute-force list of the road pairs whose boxes overlap.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "junction/junction.h"
#include "support/store_check.h"

namespace tovlek::junction {
namespace {

struct RandomMap {
  std::vector<Road*> roads;  // in list order, head first
};

RandomMap makeRandomMap(std::mt19937& random, int roadCount, int area, int maxVertices) {
  RandomMap map;
  for (int i = 0; i < roadCount; ++i) {
    Road* road = store::createRoad();
    road->type = 6;
    const int vertices = 1 + static_cast<int>(random() % static_cast<unsigned>(maxVertices));
    for (int v = 0; v < vertices; ++v) {
      const int x = static_cast<int>(random() % static_cast<unsigned>(area));
      const int y = static_cast<int>(random() % static_cast<unsigned>(area));
      store::appendVertex(road, store::createVertex(x, y));
    }
    store::pushRoad(road);
  }
  for (Road* road = store::RoadList; road != nullptr; road = road->next) map.roads.push_back(road);
  return map;
}

class SweepRandomTest : public ::testing::TestWithParam<int> {
 protected:
  void TearDown() override { testkit::resetGlobals(10); }
};

TEST_P(SweepRandomTest, InvariantsHoldAndOverlappingPairsAreVisitedInOrder) {
  const int minDistance = GetParam();
  std::mt19937 random(static_cast<unsigned>(1000 + minDistance));
  for (int round = 0; round < 40; ++round) {
    testkit::resetGlobals(minDistance);
    const RandomMap map = makeRandomMap(random, 5 + round, 60 + 10 * round, 1 + round % 7);

    std::map<const Road*, int> index;
    std::vector<std::pair<const Vertex*, const Vertex*>> ends;
    std::set<const Vertex*> original;
    for (size_t i = 0; i < map.roads.size(); ++i) {
      index[map.roads[i]] = static_cast<int>(i);
      ends.emplace_back(map.roads[i]->first, map.roads[i]->last);
      for (const Vertex* v = map.roads[i]->first; v != nullptr; v = v->next) original.insert(v);
    }
    std::vector<std::pair<int, int>> expectedPairs;
    for (size_t i = 0; i < map.roads.size(); ++i) {
      for (size_t j = i + 1; j < map.roads.size(); ++j) {
        if (boxesOverlap(*map.roads[i], *map.roads[j])) {
          expectedPairs.emplace_back(static_cast<int>(i), static_cast<int>(j));
        }
      }
    }

    std::vector<std::pair<int, int>> visited;
    std::FILE* sink = std::tmpfile();
    sweepRoadPairs(static_cast<int32_t>(map.roads.size()),
                   {sink, sink, [&](const Road& a, const Road& b) {
                      visited.emplace_back(index.at(&a), index.at(&b));
                    }});
    std::fclose(sink);

    EXPECT_EQ(visited, expectedPairs) << "round " << round;
    EXPECT_EQ(testkit::checkStoreInvariants(), "") << "round " << round;
    for (size_t i = 0; i < map.roads.size(); ++i) {
      EXPECT_EQ(map.roads[i]->first, ends[i].first);
      EXPECT_EQ(map.roads[i]->last, ends[i].second);
      for (const Vertex* v = map.roads[i]->first; v != nullptr; v = v->next) original.erase(v);
    }
    EXPECT_TRUE(original.empty()) << "vertices lost in round " << round;
    if (HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Distances, SweepRandomTest, ::testing::Values(0, 1, 10, 20, -3, -1, 100));

}  // namespace
}  // namespace tovlek::junction
