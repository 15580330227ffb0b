#include <cassert>

#include "junction/geometry.h"
#include "junction/junction.h"

namespace tovlek::junction {
namespace {

bool isEnd(const store::Map& map, const Road& road, const Vertex* vertex) {
  return vertex == store::firstOf(map, road) || vertex == store::lastOf(map, road);
}

}  // namespace

void weldVertices(JoinContext& join, const Road& a, Vertex* p0, const Road& b, Vertex* q0) {
  if (!withinWeldSquare(join, p0, q0)) return;
  const int64_t dx = int64_t{p0->x} - q0->x;
  const int64_t dy = int64_t{p0->y} - q0->y;
  if (square(dx) + square(dy) > minDistanceSquared(join)) return;

  Coord x = p0->x, y = p0->y;
  // At one position already (every pair of one ring is): no ends to look up.
  if ((dx | dy) != 0) {
    const bool p0End = isEnd(join.map, a, p0);
    const bool q0End = isEnd(join.map, b, q0);
    if (p0End == q0End) {
      x = static_cast<Coord>(p0->x - dx / 2);
      y = static_cast<Coord>(p0->y - dy / 2);
    } else if (q0End) {
      x = q0->x;
      y = q0->y;
    }
  }
  if (join.reportChanges) {
    const Vertex* farther = square(int64_t{p0->x} - x) + square(int64_t{p0->y} - y) >=
                                    square(int64_t{q0->x} - x) + square(int64_t{q0->y} - y)
                                ? p0
                                : q0;
    tellChange(join, ChangeKind::kWeld, farther->x, farther->y, x, y);
  }
  // Both at the weld position already (as every pair of one ring is): nothing
  // moves, and the rings of a dense cluster, which are long, are not walked.
  const bool moves = p0->x != x || p0->y != y || q0->x != x || q0->y != y;
  // Later rounds count only welds that change something: their pairs are
  // met again and again.
  if (join.round == 1 || moves || !store::sameRing(p0, q0)) ++join.counts.welds;
  store::joinRings(join.map, p0, q0);
  if (moves) moveRing(join, p0, x, y);
  assert(atOnePosition(p0, q0) && p0->x == x && p0->y == y);
}

}  // namespace tovlek::junction
