#include "junction/junction.h"

namespace tovlek::junction {
namespace {

bool atOnePoint(const store::Map& map, const Road& road) {
  const Vertex* first = store::firstOf(map, road);
  for (const Vertex* v = first; v != nullptr; v = store::nextOf(map, v)) {
    if (v->x != first->x || v->y != first->y) return false;
  }
  return true;
}

}  // namespace

std::vector<bool> roadsWithShape(const store::Map& map) {
  std::vector<bool> hasShape;
  for (size_t p = 0; p < store::roadCount(map); ++p)
    hasShape.push_back(!atOnePoint(map, store::roadAt(map, p)));
  return hasShape;
}

void findCollapsedRoads(JoinContext& join, const std::vector<bool>& hadShape) {
  for (size_t p = 0; p < store::roadCount(join.map); ++p) {
    const Road& road = store::roadAt(join.map, p);
    if (hadShape[p] && atOnePoint(join.map, road)) {
      const Vertex* first = store::firstOf(join.map, road);
      join.events.collapsed(road, static_cast<int64_t>(p), first->x, first->y);
    }
  }
}

}  // namespace tovlek::junction
