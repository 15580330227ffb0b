// Integer helpers shared by the junction steps (internal to the junction).
#pragma once

#include <cmath>
#include <cstdint>

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

inline Wide minDistanceSquared(const JoinContext& join) {
  return square(join.MinDistance);
}

// A double as a Coord: truncated toward zero, saturated at the 32-bit range.
inline store::Coord truncateToCoord(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<store::Coord>(value);
}

// Moves v's whole ring to (x, y) and tells the fast sweep's index.
inline void moveRing(JoinContext& join, store::Vertex* v, store::Coord x, store::Coord y) {
  store::setPosition(join.map, v, x, y);
  if (join.index != nullptr) noteRingMoved(*join.index, join.map, v);
}

// Links `inserted`, a new vertex, in directly behind `start` and tells the
// fast sweep's index.
inline void linkBehind(JoinContext& join, store::Vertex* start, store::Vertex* inserted) {
  inserted->next = start->next;
  start->next = inserted->ring;  // a lone vertex's ring is its id
  if (join.index != nullptr) noteInserted(*join.index, join.map, start, inserted);
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
