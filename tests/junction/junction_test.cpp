// The junction steps on small figures. Coordinates are Coord units; the
// sketches have y growing upward.
#include "junction/junction.h"

#include <gtest/gtest.h>

#include "support/store_check.h"

namespace tovlek::junction {
namespace {

using Points = std::vector<std::pair<int, int>>;
using testkit::makeRoad;
using testkit::positionsOf;

class JunctionTest : public ::testing::Test {
 protected:
  void SetUp() override { testkit::resetGlobals(10); }
  void TearDown() override {
    EXPECT_EQ(testkit::checkStoreInvariants(), "");
    testkit::resetGlobals(10);
  }

  // Roads are kept on the RoadList so that the invariant check sees them;
  // the first one given ends up at the head.
  std::vector<Road*> keep(std::vector<Road*> roads) {
    for (auto it = roads.rbegin(); it != roads.rend(); ++it) store::pushRoad(*it);
    return roads;
  }

  // A lone segment: two linked vertices on no road.
  Vertex* segment(int x0, int y0, int x1, int y1) {
    Vertex* start = store::createVertex(x0, y0);
    start->next = store::createVertex(x1, y1);
    return start;
  }

  Crossing cross(Vertex* p0, Vertex* q0) { return crossSegments(p0, p0->next, q0, q0->next); }

  // The whole sweep with its console lines thrown away.
  void sweepQuietly(int32_t roadCount) {
    std::FILE* sink = std::tmpfile();
    sweepRoadPairs(roadCount, {sink, sink, nullptr});
    std::fclose(sink);
  }
};

// --- Welding ---------------------------------------------------------------

TEST_F(JunctionTest, WeldDistanceIncludesMinDistance) {
  auto roads = keep({makeRoad({{0, 0}}), makeRoad({{6, 8}}), makeRoad({{100, 0}}),
                     makeRoad({{110, 1}}), makeRoad({{200, 0}}), makeRoad({{211, 0}})});
  weldVertices(*roads[0], roads[0]->first, *roads[1], roads[1]->first);  // 6, 8: exactly 10
  weldVertices(*roads[2], roads[2]->first, *roads[3], roads[3]->first);  // 10, 1: 101 > 100
  weldVertices(*roads[4], roads[4]->first, *roads[5], roads[5]->first);  // 11, 0
  EXPECT_TRUE(store::sameRing(roads[0]->first, roads[1]->first));
  EXPECT_EQ(positionsOf(*roads[1]), (Points{{3, 4}}));  // both ends: the midpoint
  EXPECT_FALSE(store::sameRing(roads[2]->first, roads[3]->first));
  EXPECT_FALSE(store::sameRing(roads[4]->first, roads[5]->first));
  EXPECT_EQ(Stats.welds, 1);
}

TEST_F(JunctionTest, WeldPositionFollowsTheEnds) {
  // A's last vertex and B's middle vertex, 7 apart: B's vertex moves onto A's.
  auto roads = keep({makeRoad({{-50, 0}, {0, 0}}), makeRoad({{7, -50}, {7, 0}, {7, 50}})});
  weldVertices(*roads[0], roads[0]->last, *roads[1], roads[1]->first->next);
  EXPECT_EQ(positionsOf(*roads[1]), (Points{{7, -50}, {0, 0}, {7, 50}}));

  // Both ends: halfway, rounded toward P0.
  auto ends =
      keep({makeRoad({{0, 0}}), makeRoad({{3, -3}}), makeRoad({{-5, 0}}), makeRoad({{-2, 0}})});
  weldVertices(*ends[0], ends[0]->first, *ends[1], ends[1]->first);
  EXPECT_EQ(positionsOf(*ends[1]), (Points{{1, -1}}));
  weldVertices(*ends[2], ends[2]->first, *ends[3], ends[3]->first);
  EXPECT_EQ(positionsOf(*ends[3]), (Points{{-4, 0}}));
}

TEST_F(JunctionTest, WeldMovesEverythingAlreadyWelded) {
  // C is welded to B's middle vertex first; welding A's end to it moves C too.
  auto roads = keep(
      {makeRoad({{0, 0}}), makeRoad({{-40, 5}, {5, 5}, {40, 5}}), makeRoad({{5, 5}, {5, 60}})});
  weldVertices(*roads[1], roads[1]->first->next, *roads[2], roads[2]->first);
  weldVertices(*roads[0], roads[0]->first, *roads[1], roads[1]->first->next);
  EXPECT_EQ(roads[2]->first->x, 0);
  EXPECT_EQ(roads[2]->first->y, 0);
  EXPECT_EQ(testkit::ringOf(roads[0]->first).size(), 3u);
}

TEST_F(JunctionTest, ZeroAndNegativeDistance) {
  store::MinDistance = 0;
  auto roads = keep({makeRoad({{0, 0}}), makeRoad({{0, 0}}), makeRoad({{1, 0}})});
  weldVertices(*roads[0], roads[0]->first, *roads[1], roads[1]->first);
  weldVertices(*roads[0], roads[0]->first, *roads[2], roads[2]->first);
  EXPECT_TRUE(store::sameRing(roads[0]->first, roads[1]->first));
  EXPECT_FALSE(store::sameRing(roads[0]->first, roads[2]->first));

  store::MinDistance = -3;
  auto more = keep({makeRoad({{0, 0}}), makeRoad({{0, 0}})});
  weldVertices(*more[0], more[0]->first, *more[1], more[1]->first);
  EXPECT_FALSE(store::sameRing(more[0]->first, more[1]->first));
}

// --- Crossing test -----------------------------------------------------------

TEST_F(JunctionTest, CrossingPointTruncatesTowardZero) {
  Crossing c = cross(segment(0, 0, 3, 1), segment(0, 1, 3, 0));
  EXPECT_EQ(c.result, 3);
  EXPECT_EQ(std::make_pair(c.x, c.y), std::make_pair(1, 0));
  c = cross(segment(0, 0, -3, -1), segment(0, -1, -3, 0));
  EXPECT_EQ(c.result, 3);
  EXPECT_EQ(std::make_pair(c.x, c.y), std::make_pair(-1, 0));
}

TEST_F(JunctionTest, NoMeetingPoint) {
  EXPECT_EQ(cross(segment(0, 0, 10, 10), segment(0, 5, 10, 15)).result, 0);  // parallel
  EXPECT_EQ(cross(segment(0, 0, 10, 10), segment(5, 5, 20, 20)).result, 0);  // collinear
  EXPECT_EQ(cross(segment(0, 0, 0, 0), segment(-5, 0, 5, 0)).result, 0);     // P zero length
  EXPECT_EQ(cross(segment(0, -5, 0, 5), segment(3, 3, 3, 3)).result, 0);     // Q zero length
  EXPECT_EQ(cross(segment(0, 0, 10, 0), segment(10, 0, 10, 10)).result, 0);  // ends meet
  EXPECT_EQ(cross(segment(0, 0, 10, 1), segment(20, 0, 30, 10)).result, 0);  // lines cross outside
}

TEST_F(JunctionTest, TJunctionStemOnTheRoad) {
  // P (0,0)-(10,0), Q starts on it: Q0 stays, X is Q0's position.
  Vertex* q0 = segment(5, 0, 5, 10);
  const Crossing c = cross(segment(0, 0, 10, 0), q0);
  EXPECT_EQ(c.result, 1);
  EXPECT_EQ(std::make_pair(c.x, c.y), std::make_pair(5, 0));
  EXPECT_EQ(std::make_pair(q0->x, q0->y), std::make_pair(5, 0));
}

TEST_F(JunctionTest, NearMissOfEitherEndOfQ) {
  //   Q0 (50,10)          Q (50,72)-(50,8) ends 8 short of P
  //   |                   |
  // P (0,0) ------------------------ (100,0)
  Vertex* q = segment(50, 10, 50, 90);
  Crossing c = cross(segment(0, 0, 100, 0), q);
  EXPECT_EQ(c.result, 1);  // squared distance exactly 100: moved
  EXPECT_EQ(std::make_pair(q->x, q->y), std::make_pair(50, 0));

  q = segment(50, 11, 50, 90);
  EXPECT_EQ(cross(segment(0, 0, 100, 0), q).result, 0);
  EXPECT_EQ(q->y, 11);

  q = segment(50, 72, 50, 8);
  c = cross(segment(0, 0, 100, 0), q);
  EXPECT_EQ(c.result, 1);
  EXPECT_EQ(std::make_pair(q->next->x, q->next->y), std::make_pair(50, 0));
  EXPECT_EQ(std::make_pair(c.x, c.y), std::make_pair(50, 0));
}

TEST_F(JunctionTest, NearMissIsMeasuredAlongTheStrayLine) {
  // Q1 (50,5) lies 5 from P, but Q's line meets P about 20.6 further on.
  Vertex* q = segment(98, 17, 50, 5);
  EXPECT_EQ(cross(segment(0, 0, 100, 0), q).result, 0);
  EXPECT_EQ(std::make_pair(q->next->x, q->next->y), std::make_pair(50, 5));
}

TEST_F(JunctionTest, NearMissOfAnEndOfP) {
  Vertex* p = segment(50, 10, 50, 90);
  Crossing c = cross(p, segment(0, 0, 100, 0));
  EXPECT_EQ(c.result, 2);
  EXPECT_EQ(std::make_pair(p->x, p->y), std::make_pair(50, 0));

  p = segment(50, 90, 50, 6);
  c = cross(p, segment(0, 0, 100, 0));
  EXPECT_EQ(c.result, 2);
  EXPECT_EQ(std::make_pair(p->next->x, p->next->y), std::make_pair(50, 0));

  store::MinDistance = -10;  // only its square counts here
  p = segment(50, 10, 50, 90);
  EXPECT_EQ(cross(p, segment(0, 0, 100, 0)).result, 2);
}

TEST_F(JunctionTest, MovedEndCarriesItsRing) {
  auto roads = keep({makeRoad({{50, 10}, {50, 90}}), makeRoad({{50, 10}, {-20, 10}})});
  store::joinRings(roads[0]->first, roads[1]->first);
  const Crossing c = cross(roads[0]->first, segment(0, 0, 100, 0));
  EXPECT_EQ(c.result, 2);
  EXPECT_EQ(positionsOf(*roads[1]), (Points{{50, 0}, {-20, 10}}));
}

// --- Placement and the crossing step ------------------------------------------

struct PlacementCase {
  Points second;
  std::pair<int, int> meeting;
  int inserted;
  Points firstAfter;
  Points secondAfter;
};

Vertex* vertexAt(Road* road, std::pair<int, int> position) {
  for (Vertex* v = road->first; v != nullptr; v = v->next) {
    if (std::make_pair(v->x, v->y) == position) return v;
  }
  return nullptr;
}

TEST_F(JunctionTest, CrossingStepPlacements) {
  // The first road runs (0,0)-(100,0) in every case.
  const PlacementCase cases[] = {
      {{{50, -50}, {50, 50}},
       {50, 0},
       2,
       {{0, 0}, {50, 0}, {100, 0}},
       {{50, -50}, {50, 0}, {50, 50}}},
      {{{5, -50}, {5, 50}}, {5, 0}, 1, {{5, 0}, {100, 0}}, {{5, -50}, {5, 0}, {5, 50}}},
      {{{10, -50}, {10, 50}},
       {10, 0},
       2,
       {{0, 0}, {10, 0}, {100, 0}},
       {{10, -50}, {10, 0}, {10, 50}}},
      {{{95, -3}, {95, 97}}, {95, 0}, 0, {{0, 0}, {95, 0}}, {{95, 0}, {95, 97}}},
  };
  for (const PlacementCase& test : cases) {
    testkit::resetGlobals(10);
    Road* first = makeRoad({{0, 0}, {100, 0}});
    Road* second = makeRoad({});
    for (auto [x, y] : test.second) store::appendVertex(second, store::createVertex(x, y));
    keep({first, second});
    EXPECT_EQ(crossingStep(first->first, second->first), test.inserted);
    EXPECT_EQ(positionsOf(*first), test.firstAfter);
    EXPECT_EQ(positionsOf(*second), test.secondAfter);
    EXPECT_EQ(SplitCount, 2);
    // The two vertices at the meeting point share one ring, with nothing else.
    Vertex* onFirst = vertexAt(first, test.meeting);
    Vertex* onSecond = vertexAt(second, test.meeting);
    ASSERT_TRUE(onFirst && onSecond);
    EXPECT_EQ(testkit::ringOf(onFirst), (std::vector<const Vertex*>{onFirst, onSecond}));
  }
}

TEST_F(JunctionTest, RingJoinTableOfTheCrossingStep) {
  // X lands at x = 50 (new vertex on P), 5 (moves P0) or 95 (moves P1); Q's
  // ends decide the same for the second road.
  const int crossingX[] = {50, 5, 95};
  const std::pair<int, int> secondEnds[] = {{-50, 50}, {-5, 95}, {-95, 5}};
  for (int r1 = 0; r1 < 3; ++r1) {
    for (int r2 = 0; r2 < 3; ++r2) {
      testkit::resetGlobals(10);
      const int x = crossingX[r1];
      Road* first = makeRoad({{0, 0}, {100, 0}});
      Road* second = makeRoad({{x, secondEnds[r2].first}, {x, secondEnds[r2].second}});
      keep({first, second});
      Vertex* p0 = first->first;
      Vertex* p1 = first->last;
      Vertex* q0 = second->first;
      Vertex* q1 = second->last;
      crossingStep(p0, q0);
      Vertex* onP = r1 == 1 ? p0 : (r1 == 2 ? p1 : p0->next);
      Vertex* onQ = r2 == 1 ? q0 : (r2 == 2 ? q1 : q0->next);
      EXPECT_EQ(testkit::ringOf(onP), (std::vector<const Vertex*>{onP, onQ})) << r1 << r2;
      EXPECT_EQ(std::make_pair(onP->x, onP->y), std::make_pair(x, 0));
      EXPECT_EQ(SplitCount, 2);
    }
  }
}

TEST_F(JunctionTest, PlacementPrefersTheStartAndIsStrict) {
  Vertex* s = segment(0, 0, 6, 0);
  EXPECT_EQ(insertPointOnSegment(s, 3, 0), 1);  // both ends near: the start moves
  EXPECT_EQ(s->x, 3);
  EXPECT_EQ(s->next->x, 6);

  s = segment(0, 0, 100, 0);
  EXPECT_EQ(insertPointOnSegment(s, 10, 0), 0);  // exactly MinDistance: a new vertex
  Vertex* inserted = s->next;
  EXPECT_EQ(std::make_pair(inserted->x, inserted->y), std::make_pair(10, 0));
  EXPECT_EQ(inserted->next->x, 100);

  store::MinDistance = 0;  // nothing is nearer than 0: always a new vertex
  s = segment(0, 0, 100, 0);
  EXPECT_EQ(insertPointOnSegment(s, 0, 0), 0);
}

TEST_F(JunctionTest, NearMissPlacementJoinsNothing) {
  Road* first = makeRoad({{0, 0}, {100, 0}});
  Road* second = makeRoad({{50, 10}, {50, 90}});
  keep({first, second});
  crossingStep(first->first, second->first);
  EXPECT_EQ(positionsOf(*first), (Points{{0, 0}, {50, 0}, {100, 0}}));
  EXPECT_EQ(positionsOf(*second), (Points{{50, 0}, {50, 90}}));
  EXPECT_EQ(first->first->next->ring, first->first->next);
  EXPECT_EQ(second->first->ring, second->first);
  EXPECT_EQ(SplitCount, 1);
}

// --- Road pairs ----------------------------------------------------------------

TEST_F(JunctionTest, TouchingBoxesArePairedAndWelded) {
  auto roads = keep({makeRoad({{0, 0}}), makeRoad({{10, 0}})});
  EXPECT_TRUE(boxesOverlap(*roads[0], *roads[1]));
  sweepQuietly(2);
  EXPECT_TRUE(store::sameRing(roads[0]->first, roads[1]->first));
}

TEST_F(JunctionTest, OddDistanceShrinksTheBoxes) {
  store::MinDistance = 11;
  auto roads = keep({makeRoad({{0, 0}}), makeRoad({{11, 0}})});
  EXPECT_FALSE(boxesOverlap(*roads[0], *roads[1]));
  sweepQuietly(2);
  EXPECT_FALSE(store::sameRing(roads[0]->first, roads[1]->first));
}

TEST_F(JunctionTest, InsertedVertexIsTheNextOneVisited) {
  // The crossing at (50,0) inserts a vertex behind Q0; the loop visits it
  // next and welds nothing new, so each road ends with exactly three vertices.
  auto roads = keep({makeRoad({{0, 0}, {100, 0}}), makeRoad({{50, -50}, {50, 50}})});
  processRoadPair(*roads[0], *roads[1]);
  EXPECT_EQ(positionsOf(*roads[0]), (Points{{0, 0}, {50, 0}, {100, 0}}));
  EXPECT_EQ(positionsOf(*roads[1]), (Points{{50, -50}, {50, 0}, {50, 50}}));
  EXPECT_EQ(testkit::ringOf(roads[0]->first->next).size(), 2u);
}

TEST_F(JunctionTest, RingOfThreeEndsStaysWhole) {
  // Three roads end at O = (0,0); the head road is welded to the other two
  // first, then those two meet. A fourth road passes 5 above O, so R2's end
  // is snapped onto it later and must carry all three ends along.
  //        R3  |
  //          \ |      R4 (-50,5) ------------ (50,5)
  //  R1 ------ O
  //            | R2
  auto roads = keep({makeRoad({{-100, 0}, {0, 0}}), makeRoad({{0, -100}, {0, 0}}),
                     makeRoad({{-70, 70}, {0, 0}}), makeRoad({{-50, 5}, {50, 5}})});
  sweepQuietly(4);
  Vertex* a = roads[0]->last;
  EXPECT_TRUE(store::sameRing(a, roads[1]->last));
  EXPECT_TRUE(store::sameRing(a, roads[2]->last));
  EXPECT_EQ(std::make_pair(a->x, a->y), std::make_pair(0, 5));
}

TEST_F(JunctionTest, UnsettledPairStopsWithAWarning) {
  store::MinDistance = 1;
  auto roads = keep(
      {makeRoad({{-23, 26}, {-26, 28}}), makeRoad({{-23, 26}, {-27, 34}, {-17, 26}, {-24, 27}})});
  char* text = nullptr;
  size_t size = 0;
  std::FILE* warnings = open_memstream(&text, &size);
  processRoadPair(*roads[0], *roads[1], warnings);
  std::fclose(warnings);
  EXPECT_EQ(std::string(text, size),
            "Warning: junctions near (-0.00023,0.00026) did not settle; stopped after 88 new "
            "vertices\n");
  std::free(text);
  EXPECT_EQ(Stats.newVertices, 88);
}

}  // namespace
}  // namespace tovlek::junction
