#include "junction/junction.h"

namespace tovlek::junction {
namespace {

bool atOnePoint(const Road& road) {
  for (const Vertex* v = road.first; v != nullptr; v = v->next) {
    if (v->x != road.first->x || v->y != road.first->y) return false;
  }
  return true;
}

}  // namespace

std::vector<bool> roadsWithShape(const store::Map& map) {
  std::vector<bool> hasShape;
  for (const Road* road = map.RoadList; road != nullptr; road = road->next)
    hasShape.push_back(!atOnePoint(*road));
  return hasShape;
}

void findCollapsedRoads(JoinContext& join, const std::vector<bool>& hadShape) {
  int64_t position = 0;
  for (const Road* road = join.map.RoadList; road != nullptr; road = road->next, ++position) {
    if (hadShape[static_cast<size_t>(position)] && atOnePoint(*road))
      join.events.collapsed(*road, position, road->first->x, road->first->y);
  }
}

}  // namespace tovlek::junction
