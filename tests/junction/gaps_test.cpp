// Closing gaps and finding open ends on small figures, without the sweep.
// Coordinates are Coord units, y growing upward; MinDistance is 10.
#include <gtest/gtest.h>

#include "junction/junction.h"
#include "support/store_check.h"

namespace tovlek::junction {
namespace {

using testkit::Points;

struct Recorder : JoinEvents {
  void roadPair(const Road& first, int64_t, const Road& second, int64_t) override {
    pair = {&first, &second};
  }
  void changed(const Change& change) override { changes.push_back({pair, change}); }
  std::pair<const Road*, const Road*> pair;
  std::vector<std::pair<std::pair<const Road*, const Road*>, Change>> changes;
};

// A map of roads, the first one given at the head of the RoadList, and a
// join over it; the store's invariants are checked when it goes.
struct Figure {
  explicit Figure(const std::vector<Points>& shapes) : made(shapes.size()) {
    for (size_t i = shapes.size(); i-- > 0;) made[i] = &testkit::addRoad(map, shapes[i]);
    store::endReading(map);
  }
  ~Figure() { EXPECT_EQ(testkit::checkStoreInvariants(map), ""); }
  Points shape(size_t road) const {
    return testkit::chainFrom(map, store::firstOf(map, *made[road]));
  }
  Vertex* first(size_t road) const { return store::firstOf(map, *made[road]); }
  Vertex* last(size_t road) const { return store::lastOf(map, *made[road]); }

  store::Map map{10};
  Recorder events;
  JoinContext join{map, events};
  std::vector<Road*> made;
};

// The first road's last end is the only end within reach of another road.
TEST(GapsTest, LooseEndsLandOnTheNearestPointOfAnotherRoad) {
  const struct {
    const char* name;
    std::vector<Points> roads;
    Points firstAfter, secondAfter;
  } cases[] = {
      {"beside a road's middle at 45 degrees, its line meeting the road 11.3 on",
       {{{20, 38}, {50, 8}}, {{0, 0}, {100, 0}}},
       {{20, 38}, {50, 0}},
       {{0, 0}, {50, 0}, {100, 0}}},
      {"short of a vertex: welded to it, nothing inserted",
       {{{50, 60}, {53, 7}}, {{0, 0}, {52, 0}, {100, 0}}},
       {{50, 60}, {52, 0}},
       {{0, 0}, {52, 0}, {100, 0}}},
      {"9.66 from the road, the exact foot rounded 10.05 away: the whole point nearer",
       {{{2, 40}, {2, 10}}, {{0, 0}, {100, 13}}},
       {{2, 40}, {3, 1}},
       {{0, 0}, {3, 1}, {100, 13}}},
      {"between two roads, the nearer one wins",
       {{{50, 40}, {50, 6}}, {{-100, 60}, {100, -140}}, {{0, 0}, {100, 0}}},
       {{50, 40}, {50, 0}},
       {{-100, 60}, {100, -140}}},
      {"at one distance from two roads, the earlier one wins",
       {{{50, 40}, {50, 5}}, {{0, 60}, {100, -40}}, {{0, -50}, {100, 50}}},
       {{50, 40}, {53, 8}},
       {{0, 60}, {53, 8}, {100, -40}}},
      {"within reach of its own road only: stays",
       {{{0, 0}, {100, 0}, {100, 20}, {60, 20}, {60, 5}}, {{0, 50}, {100, 50}}},
       {{0, 0}, {100, 0}, {100, 20}, {60, 20}, {60, 5}},
       {{0, 50}, {100, 50}}},
      {"11 from the road: stays",
       {{{50, 40}, {50, 11}}, {{0, 0}, {100, 0}}},
       {{50, 40}, {50, 11}},
       {{0, 0}, {100, 0}}},
      {"onto a road of one vertex",
       {{{50, 40}, {50, 8}}, {{56, 0}}},
       {{50, 40}, {56, 0}},
       {{56, 0}}},
  };
  for (const auto& c : cases) {
    Figure f(c.roads);
    closeGaps(f.join);
    EXPECT_EQ(f.shape(0), c.firstAfter) << c.name;
    EXPECT_EQ(f.shape(1), c.secondAfter) << c.name;
    const bool moved = c.firstAfter != c.roads[0];
    EXPECT_EQ(f.join.counts.gapsClosed, moved ? 1 : 0) << c.name;
    if (moved) {
      EXPECT_EQ(testkit::ringOf(f.map, f.last(0)).size(), 2u) << c.name;  // welded in a ring of two
    }
  }
}

TEST(GapsTest, EndsMoveWithTheirRingAndNeverFoldARoad) {
  {
    // A's last end shares a ring with A's own second vertex: loose, and both move.
    Figure a({{{0, 40}, {50, 8}, {30, 30}, {50, 8}}, {{0, 0}, {100, 0}}});
    store::joinRings(a.map, store::nextOf(a.map, a.first(0)), a.last(0));
    closeGaps(a.join);
    EXPECT_EQ(a.shape(0), (Points{{0, 40}, {50, 0}, {30, 30}, {50, 0}}));
  }
  {
    // B's last end lies 4 from the vertex where B's own second vertex is welded
    // to C: welding the end there would tie B to itself, so it stays.
    Figure b({{{-30, 30}, {0, 0}, {4, 0}}, {{-50, 0}, {0, 0}}});
    store::joinRings(b.map, store::nextOf(b.map, b.first(0)), b.last(1));
    closeGaps(b.join);
    EXPECT_EQ(b.shape(0), (Points{{-30, 30}, {0, 0}, {4, 0}}));
  }
  Figure c({{{50, 40}, {50, 0}}, {{0, 0}, {100, 0}}});
  c.map.MinDistance = 0;  // nothing is closed at 0 or less
  closeGaps(c.join);
  EXPECT_EQ(c.shape(0), (Points{{50, 40}, {50, 0}}));
}

TEST(GapsTest, EventsNameTheRoadsAndTheDistance) {
  Figure f({{{20, 38}, {50, 8}}, {{0, 0}, {100, 0}}, {{200, 30}, {200, 0}}});
  f.join.reportChanges = true;
  closeGaps(f.join);
  findOpenEnds(f.join, 50);
  const auto& changes = f.events.changes;
  ASSERT_EQ(changes.size(), 4u);
  const auto& [gapPair, gap] = changes[0];
  EXPECT_EQ(gapPair.first, f.made[0]);
  EXPECT_EQ(gapPair.second, f.made[1]);
  EXPECT_EQ(gap.kind, ChangeKind::kGap);
  EXPECT_EQ(std::vector<int>({gap.fromX, gap.fromY, gap.toX, gap.toY}),
            std::vector<int>({50, 8, 50, 0}));
  // What is left: the first road's first end (20,38) is 38 from the second
  // road; the second road's last end (100,0) is 30 from the third one; the
  // third road's last end lies 50 along from the second road's end.
  for (size_t k = 1; k < 4; ++k) EXPECT_EQ(changes[k].second.kind, ChangeKind::kOpenEnd);
  EXPECT_EQ(f.join.counts.openEnds, 3);
  const Change& open = changes[1].second;
  EXPECT_EQ(std::vector<int>({open.fromX, open.fromY, open.toX, open.toY}),
            std::vector<int>({20, 38, 20, 0}));
}

}  // namespace
}  // namespace tovlek::junction
