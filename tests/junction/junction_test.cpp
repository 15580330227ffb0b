// The crossing test and the ring joins of the crossing step on small
// figures; the golden vectors cover the sweep as a whole. Coordinates are
// Coord units, y growing upward.
#include "junction/junction.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "junction/geometry.h"
#include "support/store_check.h"

namespace tovlek::junction {
namespace {

using testkit::Points;
using testkit::ringOf;

class JunctionTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(testkit::checkStoreInvariants(map), ""); }

  // A segment: a road of two vertices.
  Vertex* segment(const int (&ends)[4]) {
    store::Road& road = testkit::addRoad(map, {{ends[0], ends[1]}, {ends[2], ends[3]}});
    store::endReading(map);
    return store::firstOf(map, road);
  }
  Points chain(const Vertex* v) { return testkit::chainFrom(map, v); }

  store::Map map{10};
  JoinEvents events;
  JoinContext join{map, events};
};

TEST_F(JunctionTest, CrossingTestFigures) {
  using R = CrossingResult;
  const struct {
    int32_t distance;
    int p[4], q[4];  // P0, P1 and Q0, Q1 as x, y, x, y
    R result;
    Points x;      // X, where there is one
    int after[8];  // P0, P1, Q0, Q1 afterwards
  } cases[] = {
      // clang-format off
      // Crossing points truncate toward zero.
      {10, {0, 0, 3, 1}, {0, 1, 3, 0}, R::kCrossing, {{1, 0}}, {0, 0, 3, 1, 0, 1, 3, 0}},
      {10, {0, 0, -3, -1}, {0, -1, -3, 0}, R::kCrossing, {{-1, 0}}, {0, 0, -3, -1, 0, -1, -3, 0}},
      // Parallel, collinear, zero lengths, ends that meet, lines that cross outside.
      {10, {0, 0, 10, 10}, {0, 5, 10, 15}, R::kNone, {}, {0, 0, 10, 10, 0, 5, 10, 15}},
      {10, {0, 0, 10, 10}, {5, 5, 20, 20}, R::kNone, {}, {0, 0, 10, 10, 5, 5, 20, 20}},
      {10, {0, 0, 0, 0}, {-5, 0, 5, 0}, R::kNone, {}, {0, 0, 0, 0, -5, 0, 5, 0}},
      {10, {0, -5, 0, 5}, {3, 3, 3, 3}, R::kNone, {}, {0, -5, 0, 5, 3, 3, 3, 3}},
      {10, {0, 0, 10, 0}, {10, 0, 10, 10}, R::kNone, {}, {0, 0, 10, 0, 10, 0, 10, 10}},
      {10, {0, 0, 10, 1}, {20, 0, 30, 10}, R::kNone, {}, {0, 0, 10, 1, 20, 0, 30, 10}},
      // A T-junction whose stem starts on P: Q0 stays where it is.
      {10, {0, 0, 10, 0}, {5, 0, 5, 10}, R::kOnFirst, {{5, 0}}, {0, 0, 10, 0, 5, 0, 5, 10}},
      // An end of Q short of P, measured along Q's line; exactly the distance moves.
      {10, {0, 0, 100, 0}, {50, 10, 50, 90}, R::kOnFirst, {{50, 0}}, {0, 0, 100, 0, 50, 0, 50, 90}},
      {10, {0, 0, 100, 0}, {50, 11, 50, 90}, R::kNone, {}, {0, 0, 100, 0, 50, 11, 50, 90}},
      {10, {0, 0, 100, 0}, {50, 72, 50, 8}, R::kOnFirst, {{50, 0}}, {0, 0, 100, 0, 50, 72, 50, 0}},
      // Q1 lies 5 from P, but Q's line meets P about 20.6 further on.
      {10, {0, 0, 100, 0}, {98, 17, 50, 5}, R::kNone, {}, {0, 0, 100, 0, 98, 17, 50, 5}},
      // An end of P short of Q; of a negative distance only the square counts.
      {10, {50, 10, 50, 90}, {0, 0, 100, 0}, R::kOnSecond, {{50, 0}}, {50, 0, 50, 90, 0, 0, 100, 0}},
      {10, {50, 90, 50, 6}, {0, 0, 100, 0}, R::kOnSecond, {{50, 0}}, {50, 90, 50, 0, 0, 0, 100, 0}},
      {-10, {50, 10, 50, 90}, {0, 0, 100, 0}, R::kOnSecond, {{50, 0}}, {50, 0, 50, 90, 0, 0, 100, 0}},
      // clang-format on
  };
  for (const auto& c : cases) {
    map.MinDistance = c.distance;
    Vertex* p0 = segment(c.p);
    Vertex* q0 = segment(c.q);
    const Crossing crossing =
        crossSegments(join, p0, store::nextOf(map, p0), q0, store::nextOf(map, q0));
    const std::string name = testing::PrintToString(chain(p0)) + testing::PrintToString(c.q);
    EXPECT_EQ(crossing.result, c.result) << name;
    if (!c.x.empty()) {
      EXPECT_EQ(Points({{crossing.x, crossing.y}}), c.x) << name;
    }
    const auto& a = c.after;
    EXPECT_EQ(chain(p0), (Points{{a[0], a[1]}, {a[2], a[3]}})) << name;
    EXPECT_EQ(chain(q0), (Points{{a[4], a[5]}, {a[6], a[7]}})) << name;
  }
}

// The sweep skips the crossing step for segments with an end at one
// position; the arithmetic must find nothing there, in the whole range. A
// distance this large snaps any end that the arithmetic puts inside.
TEST_F(JunctionTest, SegmentsThatShareAnEndCrossNowhere) {
  map.MinDistance = INT32_MAX;
  std::mt19937 random(5);
  const auto coord = [&] {
    switch (random() % 4) {
      case 0:
        return static_cast<int>(random() % 41) - 20;
      case 1:
        return static_cast<int>(random() % (1 << 26)) - (1 << 25);
      case 2:
        return (random() % 2 == 0 ? -1 : 1) * ((1 << 25) - static_cast<int>(random() % 3));
      default:
        return static_cast<int>(random());
    }
  };
  int skipped = 0;
  for (int round = 0; round < 20000; ++round) {
    int p[4], q[4];
    for (int& c : p) c = coord();
    for (int& c : q) c = coord();
    const int pEnd = 2 * static_cast<int>(random() % 2), qEnd = 2 * static_cast<int>(random() % 2);
    q[qEnd] = p[pEnd];
    q[qEnd + 1] = p[pEnd + 1];
    Vertex* p0 = segment(p);
    Vertex* q0 = segment(q);
    Vertex* p1 = store::nextOf(map, p0);
    Vertex* q1 = store::nextOf(map, q0);
    if (!shareAnEnd(p0, p1, q0, q1)) continue;
    ++skipped;
    const Crossing crossing = crossSegments(join, p0, p1, q0, q1);
    ASSERT_EQ(crossing.result, CrossingResult::kNone)
        << testing::PrintToString(p) << testing::PrintToString(q);
    ASSERT_EQ(chain(p0), (Points{{p[0], p[1]}, {p[2], p[3]}}));
    ASSERT_EQ(chain(q0), (Points{{q[0], q[1]}, {q[2], q[3]}}));
  }
  EXPECT_GT(skipped, 15000);  // only p1 = q1 with long segments is left to the arithmetic
}

// The first road runs (0,0)-(100,0). X lands at x = 50 (a new vertex on P),
// 5 (P0 moves) or 95 (P1 moves); Q's ends decide the same for the second
// road. The two vertices at X, and nothing else, share one ring.
TEST_F(JunctionTest, CrossingStepJoinsTheVerticesAtX) {
  const int crossingX[] = {50, 5, 95};
  const std::pair<int, int> secondEnds[] = {{-50, 50}, {-5, 95}, {-95, 5}};
  for (int r1 = 0; r1 < 3; ++r1) {
    for (int r2 = 0; r2 < 3; ++r2) {
      const int x = crossingX[r1];
      Vertex* p0 = segment({0, 0, 100, 0});
      Vertex* q0 = segment({x, secondEnds[r2].first, x, secondEnds[r2].second});
      Vertex* p1 = store::nextOf(map, p0);
      Vertex* q1 = store::nextOf(map, q0);
      EXPECT_EQ(crossingStep(join, p0, q0), int{r1 == 0} + int{r2 == 0});
      Vertex* onP = r1 == 1 ? p0 : (r1 == 2 ? p1 : store::nextOf(map, p0));
      Vertex* onQ = r2 == 1 ? q0 : (r2 == 2 ? q1 : store::nextOf(map, q0));
      EXPECT_EQ(ringOf(map, onP), (std::vector<const Vertex*>{onP, onQ})) << r1 << r2;
      EXPECT_EQ(std::make_pair(onP->x, onP->y), std::make_pair(x, 0));
    }
  }
  EXPECT_EQ(join.SplitCount, 18);
}

}  // namespace
}  // namespace tovlek::junction
