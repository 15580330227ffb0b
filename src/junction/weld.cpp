#include <cstdlib>

#include "junction/geometry.h"
#include "junction/junction.h"
#include "junction/report.h"

namespace tovlek::junction {

JunctionStats Stats;

namespace {

bool isEnd(const Road& road, const Vertex* vertex) {
  return vertex == road.first || vertex == road.last;
}

}  // namespace

void weldVertices(const Road& a, Vertex* p0, const Road& b, Vertex* q0) {
  const int64_t dx = int64_t{p0->x} - q0->x;
  const int64_t dy = int64_t{p0->y} - q0->y;
  const int64_t limit = store::MinDistance;
  // The cheap square test first; it also rules out every weld when the
  // distance is negative.
  if (std::llabs(dx) > limit || std::llabs(dy) > limit) return;
  if (square(dx) + square(dy) > minDistanceSquared()) return;

  Coord x = p0->x, y = p0->y;
  const bool p0End = isEnd(a, p0);
  const bool q0End = isEnd(b, q0);
  if (p0End == q0End) {
    x = static_cast<Coord>(p0->x - dx / 2);
    y = static_cast<Coord>(p0->y - dy / 2);
  } else if (q0End) {
    x = q0->x;
    y = q0->y;
  }
  if (Report != nullptr) {
    const Vertex* farther = square(int64_t{p0->x} - x) + square(int64_t{p0->y} - y) >=
                                    square(int64_t{q0->x} - x) + square(int64_t{q0->y} - y)
                                ? p0
                                : q0;
    reportEvent(EventKind::kWeld, farther->x, farther->y, x, y);
  }
  // Joining two members of one ring would cut it apart; they share one
  // position already, so there is nothing to join.
  if (!store::sameRing(p0, q0)) store::joinRings(p0, q0);
  moveRing(p0, x, y);
  ++Stats.welds;
}

}  // namespace tovlek::junction
