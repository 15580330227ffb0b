#include "support/store_check.h"

#include <set>
#include <sstream>

#include "junction/junction.h"

namespace tovlek::testkit {

std::string checkStoreInvariants() {
  std::ostringstream problems;
  std::set<const store::Vertex*> all;
  int roadIndex = 0;
  for (const store::Road* road = store::RoadList; road != nullptr; road = road->next, ++roadIndex) {
    if ((road->first == nullptr) != (road->last == nullptr)) {
      problems << "road " << roadIndex << ": first/last disagree\n";
      continue;
    }
    const store::Vertex* tail = nullptr;
    for (const store::Vertex* v = road->first; v != nullptr; v = v->next) {
      if (!all.insert(v).second) problems << "road " << roadIndex << ": vertex in two chains\n";
      tail = v;
    }
    if (tail != road->last) problems << "road " << roadIndex << ": last is not the chain's end\n";
  }
  for (const store::Vertex* v : all) {
    const store::Vertex* member = v;
    size_t steps = 0;
    do {
      if (all.count(member) == 0) {
        problems << "ring leaves the roads\n";
        break;
      }
      if (member->x != v->x || member->y != v->y) problems << "ring members apart\n";
      member = member->ring;
    } while (member != v && ++steps <= all.size());
    if (member != v) problems << "ring not closed\n";
  }
  return problems.str();
}

store::Road* makeRoad(std::initializer_list<std::pair<int, int>> points, int type) {
  store::Road* road = store::createRoad();
  road->type = type;
  for (auto [x, y] : points) store::appendVertex(road, store::createVertex(x, y));
  return road;
}

std::vector<std::pair<int, int>> positionsOf(const store::Road& road) {
  std::vector<std::pair<int, int>> result;
  for (const store::Vertex* v = road.first; v != nullptr; v = v->next)
    result.emplace_back(v->x, v->y);
  return result;
}

std::vector<const store::Vertex*> ringOf(const store::Vertex* v) {
  std::vector<const store::Vertex*> members{v};
  for (const store::Vertex* m = v->ring; m != v; m = m->ring) members.push_back(m);
  return members;
}

void resetGlobals(int minDistance) {
  store::releaseRoadList();
  store::releaseStorage();
  store::MinDistance = minDistance;
  junction::SplitCount = 0;
  junction::Stats = {};
}

}  // namespace tovlek::testkit
