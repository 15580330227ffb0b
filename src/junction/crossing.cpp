#include <cmath>

#include "junction/geometry.h"
#include "junction/junction.h"

namespace tovlek::junction {
namespace {

constexpr double kParallelThreshold = 1e-13;

// Both comparisons made, one branch taken by the caller: whether a
// parameter lies inside follows the data, and no predictor guesses it.
bool inside(double t) {
  return (0 < t) & (t < 1);
}

// The parameter along Q of the point where Q's line meets P's line, or false
// when the lines are taken as parallel (or P has zero length). The case split
// looks at P's differences only.
bool meetingParameterOnQ(int64_t dxP, int64_t dyP, int64_t dxQ, int64_t dyQ, int64_t gx, int64_t gy,
                         double& tQ) {
  if (dxP != 0 && dyP != 0) {
    const double det = static_cast<double>(dxQ) * static_cast<double>(dyP) -
                       static_cast<double>(dyQ) * static_cast<double>(dxP);
    if (std::fabs(det) < kParallelThreshold) return false;
    tQ = (static_cast<double>(gy) * static_cast<double>(dxP) -
          static_cast<double>(gx) * static_cast<double>(dyP)) /
         det;
    return true;
  }
  if (dxP == 0 && dyP != 0) {
    if (dxQ == 0) return false;
    tQ = static_cast<double>(-gx) / static_cast<double>(dxQ);
    return true;
  }
  if (dyP == 0 && dxP != 0) {
    if (dyQ == 0) return false;
    tQ = static_cast<double>(-gy) / static_cast<double>(dyQ);
    return true;
  }
  return false;
}

// Squared distance, along a segment of squared length `length2`, from its
// end to the point at parameter offset t, tested against MinDistance.
bool nearEnough(const JoinContext& join, double t, Wide length2) {
  return !((t * t) * static_cast<double>(length2) > static_cast<double>(minDistanceSquared(join)));
}

// Moves the end of a segment (start, end, with differences dx, dy) that stops
// short of the other road onto the meeting point at parameter t, if it lies
// within MinDistance along the segment's line.
bool snapEnd(JoinContext& join, Vertex* start, Vertex* end, int64_t dx, int64_t dy, double t,
             Crossing& crossing) {
  const Wide length2 = square(dx) + square(dy);
  Vertex* moved = start;
  if (t <= 0) {
    if (!nearEnough(join, t, length2)) return false;
    crossing.x = truncateToCoord(t * static_cast<double>(dx) + static_cast<double>(start->x));
    crossing.y = truncateToCoord(t * static_cast<double>(dy) + static_cast<double>(start->y));
  } else {
    const double u = 1 - t;
    if (!nearEnough(join, u, length2)) return false;
    crossing.x = truncateToCoord(static_cast<double>(end->x) - u * static_cast<double>(dx));
    crossing.y = truncateToCoord(static_cast<double>(end->y) - u * static_cast<double>(dy));
    moved = end;
  }
  tellChange(join, ChangeKind::kSnap, moved->x, moved->y, crossing.x, crossing.y);
  moveRing(join, moved, crossing.x, crossing.y);
  ++join.counts.movedEnds;
  return true;
}

}  // namespace

Crossing crossSegments(JoinContext& join, Vertex* p0, Vertex* p1, Vertex* q0, Vertex* q1) {
  const int64_t dxP = int64_t{p1->x} - p0->x;
  const int64_t dyP = int64_t{p1->y} - p0->y;
  const int64_t dxQ = int64_t{q1->x} - q0->x;
  const int64_t dyQ = int64_t{q1->y} - q0->y;
  const int64_t gx = int64_t{q0->x} - p0->x;
  const int64_t gy = int64_t{q0->y} - p0->y;

  Crossing crossing{CrossingResult::kNone, 0, 0};
  double tQ = 0;
  if (!meetingParameterOnQ(dxP, dyP, dxQ, dyQ, gx, gy, tQ)) return crossing;
  const double tP =
      dxP != 0
          ? (static_cast<double>(gx) + tQ * static_cast<double>(dxQ)) / static_cast<double>(dxP)
          : (static_cast<double>(gy) + tQ * static_cast<double>(dyQ)) / static_cast<double>(dyP);

  const bool insideP = inside(tP), insideQ = inside(tQ);
  if (!(insideP | insideQ)) return crossing;  // the common case, decided at once
  if (insideP & insideQ) {
    crossing.x = truncateToCoord(tP * static_cast<double>(dxP) + static_cast<double>(p0->x));
    crossing.y = truncateToCoord(tP * static_cast<double>(dyP) + static_cast<double>(p0->y));
    crossing.result = CrossingResult::kCrossing;
  } else if (insideP) {
    if (snapEnd(join, q0, q1, dxQ, dyQ, tQ, crossing)) crossing.result = CrossingResult::kOnFirst;
  } else {
    if (snapEnd(join, p0, p1, dxP, dyP, tP, crossing)) crossing.result = CrossingResult::kOnSecond;
  }
  return crossing;
}

Placement insertPointOnSegment(JoinContext& join, Vertex* s, Coord x, Coord y) {
  const Wide limit = minDistanceSquared(join);
  if (square(int64_t{s->x} - x) + square(int64_t{s->y} - y) < limit) {
    moveRing(join, s, x, y);
    return Placement::kMovedStart;
  }
  Vertex* e = nextOf(join, s);
  if (square(int64_t{e->x} - x) + square(int64_t{e->y} - y) < limit) {
    moveRing(join, e, x, y);
    return Placement::kMovedEnd;
  }
  insertBehind(join, s, x, y);
  return Placement::kInserted;
}

}  // namespace tovlek::junction
