#include "store/road_store.h"

#include <gtest/gtest.h>

#include "support/store_check.h"

namespace tovlek::store {
namespace {

using testkit::makeRoad;
using testkit::ringOf;

class RoadStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { testkit::resetGlobals(10); }
  void TearDown() override { testkit::resetGlobals(10); }
};

TEST_F(RoadStoreTest, AppendGrowsTheBoxByHalfTheDistance) {
  Road* road = makeRoad({{100, 200}});
  EXPECT_EQ(road->minX, 95);
  EXPECT_EQ(road->maxX, 105);
  EXPECT_EQ(road->minY, 195);
  EXPECT_EQ(road->maxY, 205);
  appendVertex(road, createVertex(90, 230));
  EXPECT_EQ(road->minX, 85);
  EXPECT_EQ(road->maxX, 105);
  EXPECT_EQ(road->minY, 195);
  EXPECT_EQ(road->maxY, 235);
  EXPECT_EQ(road->first->next, road->last);
  EXPECT_EQ(road->readVertexCount, 2);
  releaseRoad(road);
}

TEST_F(RoadStoreTest, HalfDistanceTruncatesTowardZero) {
  MinDistance = 11;
  Road* odd = makeRoad({{1000, 2000}});
  EXPECT_EQ(odd->minX, 995);
  EXPECT_EQ(odd->maxX, 1005);
  MinDistance = -3;  // half is -1: the box is inverted
  Road* inverted = makeRoad({{0, 0}});
  EXPECT_EQ(inverted->minX, 1);
  EXPECT_EQ(inverted->maxX, -1);
  releaseRoad(odd);
  releaseRoad(inverted);
}

TEST_F(RoadStoreTest, SetPositionMovesTheWholeRing) {
  Vertex* alone = createVertex(1, 1);
  setPosition(alone, 5, 6);
  EXPECT_EQ(alone->x, 5);
  EXPECT_EQ(alone->ring, alone);

  Vertex* a = createVertex(0, 0);
  Vertex* b = createVertex(0, 0);
  Vertex* c = createVertex(0, 0);
  joinRings(a, b);
  joinRings(b, c);
  setPosition(c, 7, -8);
  for (Vertex* v : {a, b, c}) {
    EXPECT_EQ(v->x, 7);
    EXPECT_EQ(v->y, -8);
  }
}

TEST_F(RoadStoreTest, JoinRingsSplicesBehindTheFirst) {
  Vertex* a = createVertex(0, 0);
  Vertex* a2 = createVertex(0, 0);
  Vertex* b = createVertex(0, 0);
  Vertex* b2 = createVertex(0, 0);
  joinRings(a, a2);
  EXPECT_EQ(a->ring, a2);
  EXPECT_EQ(a2->ring, a);
  joinRings(b, b2);
  joinRings(a, b);
  const std::vector<const Vertex*> expected{a, b, b2, a2};
  EXPECT_EQ(ringOf(a), expected);
  EXPECT_TRUE(sameRing(a2, b2));
}

TEST_F(RoadStoreTest, JoinRingsWithinOneRing) {
  // Ring a, c, b: joining a and b cuts c out.
  Vertex* a = createVertex(0, 0);
  Vertex* b = createVertex(0, 0);
  Vertex* c = createVertex(0, 0);
  joinRings(a, b);
  joinRings(a, c);
  ASSERT_EQ(ringOf(a), (std::vector<const Vertex*>{a, c, b}));
  joinRings(a, b);
  EXPECT_EQ(ringOf(a), (std::vector<const Vertex*>{a, b}));
  EXPECT_EQ(c->ring, c);
  EXPECT_FALSE(sameRing(a, c));

  // Ring a, b: b directly behind a, nothing changes.
  joinRings(a, b);
  EXPECT_EQ(ringOf(a), (std::vector<const Vertex*>{a, b}));

  // A vertex joined with itself leaves its ring.
  joinRings(a, a);
  EXPECT_EQ(a->ring, a);
  EXPECT_EQ(b->ring, b);
}

TEST_F(RoadStoreTest, ExtraLinesKeepEveryByteNewestFirst) {
  Road* road = createRoad();
  prependExtraLine(road, "first\n");
  prependExtraLine(road, std::string_view("nul\0byte\n", 9));
  ASSERT_NE(road->extraLines, nullptr);
  EXPECT_EQ(std::string_view(road->extraLines->text, road->extraLines->length),
            std::string_view("nul\0byte\n", 9));
  EXPECT_STREQ(road->extraLines->next->text, "first\n");
  releaseRoad(road);
}

TEST_F(RoadStoreTest, RoadListIsNewestFirstAndReleasedWhole) {
  releaseRoadList();  // an empty list is fine
  Road* r1 = makeRoad({{1, 1}});
  Road* r2 = makeRoad({{2, 2}});
  Road* r3 = makeRoad({{3, 3}});
  pushRoad(r1);
  pushRoad(r2);
  pushRoad(r3);
  EXPECT_EQ(RoadList, r3);
  EXPECT_EQ(r3->next, r2);
  EXPECT_EQ(r2->next, r1);
  EXPECT_EQ(r1->next, nullptr);
  EXPECT_EQ(testkit::checkStoreInvariants(), "");
  releaseRoadList();
  EXPECT_EQ(RoadList, nullptr);
}

}  // namespace
}  // namespace tovlek::store
