// What the junction steps share (internal to the junction): exact integer
// geometry, the cheap tests that rule steps out, and the moves and
// insertions that keep the fast sweep's index told.
#pragma once

#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "junction/junction.h"
#include "junction/sweep_index.h"
#include "store/road_store.h"

namespace tovlek::junction {

// Wide enough for the square of any difference of two 32-bit coordinates,
// and for the sum of two such squares.
using Wide = __int128;

inline Wide square(int64_t value) {
  return static_cast<Wide>(value) * value;
}

// One more placement of a meeting point; wraps instead of overflowing on a
// run with more than 2^31 of them.
inline void countPlacement(JoinContext& join) {
  join.SplitCount = static_cast<int32_t>(static_cast<uint32_t>(join.SplitCount) + 1u);
}

inline Wide minDistanceSquared(const JoinContext& join) {
  return square(minDistanceOf(join));
}

// A double as a Coord: truncated toward zero, saturated at the 32-bit range.
inline store::Coord truncateToCoord(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<store::Coord>(value);
}

// The weld's cheap first test: p0 and q0 lie within MinDistance on both
// axes (never when the distance is negative). Inline, so that the many pairs
// it rules out cost no call.
inline bool withinWeldSquare(const JoinContext& join, const store::Vertex* p0,
                             const store::Vertex* q0) {
  const int64_t limit = minDistanceOf(join);
  return (std::llabs(int64_t{p0->x} - q0->x) <= limit) &
         (std::llabs(int64_t{p0->y} - q0->y) <= limit);  // one branch for both
}

// A vertex's position as one value: x and y are its first eight bytes.
static_assert(offsetof(store::Vertex, x) == 0 && offsetof(store::Vertex, y) == 4);
inline uint64_t positionBits(const store::Vertex* v) {
  uint64_t bits;
  std::memcpy(&bits, v, sizeof bits);
  return bits;
}

// All four coordinate differences of two segments lie below 2^25 in
// magnitude: each offset by 2^25 stays below 2^26, and so does their union.
inline bool differencesBelow2To25(const store::Vertex* p0, const store::Vertex* p1,
                                  const store::Vertex* q0, const store::Vertex* q1) {
  constexpr uint64_t kOffset = uint64_t{1} << 25;
  const auto offset = [](int64_t d) { return static_cast<uint64_t>(d) + kOffset; };
  return (offset(int64_t{p1->x} - p0->x) | offset(int64_t{p1->y} - p0->y) |
          offset(int64_t{q1->x} - q0->x) | offset(int64_t{q1->y} - q0->y)) < 2 * kOffset;
}

// Whether segment P (p0, p1) and segment Q (q0, q1) have an end at one
// position; crossSegments then finds nothing, so a pair's steps skip the
// crossing step (most vertex pairs of a joined network meet at shared vertices).
// Its arithmetic puts the meeting point at parameter 0 or 1 of both, exactly:
// at p0 = q0 the offsets between the segments are zero, and at p0 = q1 and
// p1 = q0 the quotients are of one number by itself (or of zero) in the whole
// range. At p1 = q1 numerator and denominator are equal only while every
// product is exact, which differences below 2^25 ensure.
inline bool shareAnEnd(const store::Vertex* p0, const store::Vertex* p1, const store::Vertex* q0,
                       const store::Vertex* q1) {
  const uint64_t startP = positionBits(p0), endP = positionBits(p1);
  const uint64_t startQ = positionBits(q0), endQ = positionBits(q1);
  if ((startP == startQ) | (startP == endQ) | (endP == startQ)) return true;
  return endP == endQ && differencesBelow2To25(p0, p1, q0, q1);
}

// Whether two vertices stand at one position: the members of one ring
// always do, once a step is done.
inline bool atOnePosition(const store::Vertex* a, const store::Vertex* b) {
  return a->x == b->x && a->y == b->y;
}

// Moves v's whole ring to (x, y) and tells the fast sweep's index.
inline void moveRing(JoinContext& join, store::Vertex* v, store::Coord x, store::Coord y) {
  if (store::setPosition(join.map, v, x, y)) ++join.counts.changes;
  if (join.index != nullptr) noteRingMoved(*join.index, join.map, v);
}

// A new vertex at (x, y) in directly behind `start`; tells the fast
// sweep's index.
inline store::Vertex* insertBehind(JoinContext& join, store::Vertex* start, store::Coord x,
                                   store::Coord y) {
  store::Vertex* inserted = store::insertBehind(join.map, start, x, y);
  ++join.counts.changes;
  ++join.counts.newVertices;
  if (join.index != nullptr) noteInserted(*join.index, join.map, start, inserted);
  return inserted;
}

inline store::Vertex* nextOf(const JoinContext& join, const store::Vertex* v) {
  return store::nextOf(join.map, v);
}

// Tells the listener of a change, when changes are wanted.
inline void tellChange(JoinContext& join, ChangeKind kind, store::Coord fromX, store::Coord fromY,
                       store::Coord toX, store::Coord toY, bool addedVertex = false) {
  if (join.reportChanges) join.events.changed({kind, fromX, fromY, toX, toY, addedVertex});
}

}  // namespace tovlek::junction
