// The join phase: one pass over every pair of roads whose boxes overlap and
// every pair of their vertices, welding near vertices of different roads,
// moving road ends that stop just short of another road onto it, and putting
// a shared vertex where two segments cross. It knows no text and no files:
// what it does is told to a JoinEvents sink.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "store/road_store.h"

namespace tovlek::junction {

using store::Coord;
using store::Road;
using store::Vertex;

enum class ChangeKind { kWeld, kSnap, kCrossing, kPlaced, kGap, kOpenEnd };

// One change: the vertex that moved farthest went from `from` to `to` (the
// same point when nothing moved). An open end is no change but a place to
// look: the loose end at `from`, the nearest point of the other road at `to`.
struct Change {
  ChangeKind kind;
  Coord fromX, fromY, toX, toY;
  bool addedVertex = false;  // a vertex was inserted (crossings, placements, gaps)
};

// What the join tells the world: console lines, warnings and the change
// report are made of these. Every method does nothing unless overridden.
struct JoinEvents {
  virtual ~JoinEvents() = default;
  // Before the first pair: the roads and the distance of the run.
  virtual void sweepStarted(int32_t /*roadCount*/, int32_t /*minDistance*/) {}
  // After each further 10,000,000 road pairs.
  virtual void progress(int32_t /*millionPairs*/, int32_t /*splitCount*/) {}
  // A pair whose junctions kept producing vertices; its crossing steps stop.
  // The first road of the pair begins at (x, y).
  virtual void notSettled(Coord /*x*/, Coord /*y*/, int64_t /*newVertexLimit*/) {}
  // The road pair being processed, at these positions of the RoadList; only
  // when JoinContext::reportChanges.
  virtual void roadPair(const Road& /*first*/, int64_t /*firstPosition*/, const Road& /*second*/,
                        int64_t /*secondPosition*/) {}
  // A change made to the pair being processed; only when reportChanges.
  virtual void changed(const Change& /*change*/) {}
  // A road that had a shape and lies at one point after the join.
  virtual void collapsed(const Road& /*road*/, int64_t /*position*/, Coord /*x*/, Coord /*y*/) {}
  // The join's last round (the `rounds`-th) still changed the map.
  virtual void roundsNotSettled(int32_t /*rounds*/) {}
};

// What the join has done so far.
struct JoinCounts {
  int64_t welds = 0;        // vertex pairs welded
  int64_t movedEnds = 0;    // segment ends moved by the near-miss test
  int64_t newVertices = 0;  // vertices inserted by placements
  int64_t gapsClosed = 0;   // loose ends moved onto another road by closeGaps
  int64_t openEnds = 0;     // loose ends near another road that findOpenEnds found
  int64_t changes = 0;      // positions changed and vertices inserted
  int32_t rounds = 0;       // of the join (more than one only when closing gaps)
};

struct SweepIndex;

// One join phase: the map (with its MinDistance), its counters and its
// listener.
struct JoinContext {
  store::Map& map;
  JoinEvents& events;
  bool reportChanges = false;  // whether roadPair and changed are wanted
  // Placements of a meeting point on a road so far (wraps past 2^31).
  int32_t SplitCount = 0;
  JoinCounts counts;
  SweepIndex* index = nullptr;  // the fast sweep's, while it runs
  // Helper threads for work that does not depend on the order of the pairs
  // (finding them); 0 does everything on the caller's thread.
  int helperThreads = 0;
  // The round of the join under way (see joinRounds), and for a round after
  // the first, how the roads stand at its start: their boxes (reading
  // order), which the sweep tests road pairs with, and which of them
  // (list positions) have gained vertices.
  int32_t round = 1;
  const store::ReadBoxArray* roundBoxes = nullptr;
  const std::vector<bool>* gainedVertices = nullptr;

  JoinContext(store::Map& joined, JoinEvents& listener) : map(joined), events(listener) {}
};

// The weld, near-miss and snap distance, in Coord units: the map's.
inline int32_t minDistanceOf(const JoinContext& join) {
  return join.map.MinDistance;
}

// What a join does: the plain sweep instead of the fast one (the reference
// the fast one is checked against), and the gap pass after each sweep.
struct JoinPlan {
  bool plainSweep = false;
  bool closeGaps = false;
  // Later rounds of the fast join look only near the roads that changed
  // even where many did (which costs more than a whole round, and gives
  // its result): for the tests, which check both ways against the plain one.
  bool alwaysNearChanges = false;
};

// The most rounds a join makes.
inline constexpr int32_t kMostRounds = 8;

// The join phase: a round of the sweep (and the gap pass, when closing
// gaps). When closing gaps, rounds follow, each over the roads as the one
// before left them (boxes taken anew), until a round changes no position
// and inserts no vertex; after kMostRounds it stops and tells
// roundsNotSettled. Later rounds show no progress and count only welds that
// change something. `beforeFirstPair` runs once before the first pair.
void joinRounds(JoinContext& join, int32_t roadCount, const JoinPlan& plan,
                const std::function<void()>& beforeFirstPair = nullptr);

// The whole join phase over the RoadList: tells sweepStarted, visits every
// road pair with overlapping boxes in list order, and tells progress for
// every 10,000,000 pairs. Road pairs are found through a grid and vertex
// pairs that cannot act are skipped, with exactly the results of
// sweepRoadPairsPlain. `beforeFirstPair`, when given, runs on the caller's
// thread while a helper builds the pairs' grid, and sees the map as read.
void sweepRoadPairs(JoinContext& join, int32_t roadCount,
                    const std::function<void()>& beforeFirstPair = nullptr);

// The same join phase by the plain method: every road pair of the list, the
// box test, every vertex pair. Kept as the reference for the fast sweep,
// which must give exactly its results.
void sweepRoadPairsPlain(JoinContext& join, int32_t roadCount);

// Every vertex of a against every vertex of b: the welding step and, where
// both begin a segment, the crossing step. A pair that inserts
// 4 x (read vertices of a and b) + 64 new vertices has not settled: its
// remaining crossing steps are skipped and notSettled is told.
void processRoadPair(JoinContext& join, Road& a, Road& b);

// Welds p0 (of a) and q0 (of b) when they lie within MinDistance: their rings
// become one and move to the end vertex's position when exactly one of them
// ends its road, else to their midpoint.
void weldVertices(JoinContext& join, const Road& a, Vertex* p0, const Road& b, Vertex* q0);

// Where crossSegments asks for the meeting point X to be placed.
enum class CrossingResult {
  kNone = 0,      // nowhere
  kOnFirst = 1,   // an end of Q stopped near P, and was moved onto X: X goes on P
  kOnSecond = 2,  // an end of P stopped near Q, and was moved onto X: X goes on Q
  kCrossing = 3,  // P and Q cross inside both: X goes on both
};

inline bool placesOnFirst(CrossingResult r) {
  return r == CrossingResult::kOnFirst || r == CrossingResult::kCrossing;
}
inline bool placesOnSecond(CrossingResult r) {
  return r == CrossingResult::kOnSecond || r == CrossingResult::kCrossing;
}

struct Crossing {
  CrossingResult result;
  Coord x;
  Coord y;
};

// Classifies segment P (p0, p1) of the first road against segment Q (q0, q1)
// of the second: they cross inside both, or an end of one stops within
// MinDistance of the other along its own line (that end, with its ring, is
// then moved onto X), or nothing.
Crossing crossSegments(JoinContext& join, Vertex* p0, Vertex* p1, Vertex* q0, Vertex* q1);

// How insertPointOnSegment gave a segment its vertex at X.
enum class Placement {
  kInserted = 0,    // a new vertex behind the start
  kMovedStart = 1,  // the start, nearer than MinDistance, moved onto X
  kMovedEnd = 2,    // the end, nearer than MinDistance, moved onto X
};

// Gives the segment that starts at s a vertex at (x, y), moving s or its
// successor with their rings, or inserting a new vertex behind s.
Placement insertPointOnSegment(JoinContext& join, Vertex* s, Coord x, Coord y);

// The crossing step for one vertex pair whose vertices both begin a segment:
// crossSegments, then the meeting point placed on the roads the result
// names, and after a crossing the two placed vertices joined in one ring.
// Returns the number of vertices inserted.
int crossingStep(JoinContext& join, Vertex* p0, Vertex* q0);

// After the sweep, one pass over the road ends in list order, the first end
// of each road before its last: an end that no vertex of another road
// shares a ring with is moved, with its ring, onto the nearest point of
// another road within |MinDistance| (ties: the earlier road in the list, then
// the earlier segment), and welded there: to the vertex at that point (or
// within 1 unit of it), else to a new vertex inserted into that road. Never
// onto its own road, never farther than |MinDistance|, never where the weld
// would tie two vertices of one road together. Does nothing when
// MinDistance is 0 or less. Tells roadPair and changed (kGap) per end moved.
void closeGaps(JoinContext& join);

// Counts every end, in the order of closeGaps, that no vertex of another
// road shares a ring with and that lies within `reach` of another road, and
// when changes are wanted tells roadPair and changed (kOpenEnd) for each.
void findOpenEnds(JoinContext& join, int64_t reach);

// For every road of the RoadList, in list order: whether its vertices lie at
// two or more distinct positions.
std::vector<bool> roadsWithShape(const store::Map& map);

// Tells `collapsed` for every road, in list order, that had a shape before
// the join (roadsWithShape then) and lies at one point now.
void findCollapsedRoads(JoinContext& join, const std::vector<bool>& hadShape);

}  // namespace tovlek::junction
