#include "support/store_check.h"

#include <map>
#include <set>
#include <sstream>

namespace tovlek::testkit {

std::string checkStoreInvariants(const store::Map& map) {
  std::ostringstream problems;
  std::set<const store::Vertex*> all;
  for (size_t p = 0; p < store::roadCount(map); ++p) {
    const store::Road& road = store::roadAt(map, p);
    const store::Vertex* tail = nullptr;
    for (const store::Vertex* v = store::firstOf(map, road); v != nullptr;
         v = store::nextOf(map, v)) {
      if (!all.insert(v).second) problems << "road " << p << ": vertex in two chains\n";
      tail = v;
    }
    if (tail != store::lastOf(map, road))
      problems << "road " << p << ": last is not the chain's end\n";
  }
  // Every ring closed within the roads, its members at one position and of
  // one ring id, and no ring id shared by two rings.
  std::map<store::VertexId, const store::Vertex*> ringOfId;
  for (const store::Vertex* v : all) {
    const store::Vertex* member = v;
    size_t steps = 0;
    do {
      if (all.count(member) == 0) {
        problems << "ring leaves the roads\n";
        break;
      }
      if (member->x != v->x || member->y != v->y) problems << "ring members apart\n";
      if (member->ringId != v->ringId) problems << "ring members named apart\n";
      member = store::ringNextOf(map, member);
    } while (member != v && ++steps <= all.size());
    if (member != v) problems << "ring not closed\n";
    const auto [named, fresh] = ringOfId.emplace(v->ringId, v);
    if (!fresh && !store::sameRing(named->second, v)) problems << "ring id shared\n";
  }
  return problems.str();
}

store::Road& addRoad(store::Map& map, const Points& points) {
  store::Road& road = store::beginRoad(map);
  road.type = 6;
  for (auto [x, y] : points) store::appendVertex(map, road, x, y);
  store::keepRoad(map, road);
  return road;
}

Points chainFrom(const store::Map& map, const store::Vertex* v) {
  Points points;
  for (; v != nullptr; v = store::nextOf(map, v)) points.emplace_back(v->x, v->y);
  return points;
}

std::vector<const store::Vertex*> ringOf(const store::Map& map, const store::Vertex* v) {
  std::vector<const store::Vertex*> members{v};
  for (const store::Vertex* m = store::ringNextOf(map, v); m != v; m = store::ringNextOf(map, m))
    members.push_back(m);
  return members;
}

}  // namespace tovlek::testkit
