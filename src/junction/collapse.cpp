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

std::vector<bool> roadsWithShape() {
  std::vector<bool> hasShape;
  for (const Road* road = store::RoadList; road != nullptr; road = road->next)
    hasShape.push_back(!atOnePoint(*road));
  return hasShape;
}

std::vector<CollapsedRoad> collapsedRoads(const std::vector<bool>& hadShape) {
  std::vector<CollapsedRoad> collapsed;
  int64_t position = 0;
  for (const Road* road = store::RoadList; road != nullptr; road = road->next, ++position) {
    if (hadShape[static_cast<size_t>(position)] && atOnePoint(*road))
      collapsed.push_back({position, road->first->x, road->first->y});
  }
  return collapsed;
}

}  // namespace tovlek::junction
