#include "support/store_check.h"

#include <set>
#include <sstream>

namespace tovlek::testkit {

std::string checkStoreInvariants(const store::Map& map) {
  std::ostringstream problems;
  std::set<const store::Vertex*> all;
  int roadIndex = 0;
  for (const store::Road* road = map.RoadList; road != nullptr; road = road->next, ++roadIndex) {
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

std::vector<const store::Vertex*> ringOf(const store::Vertex* v) {
  std::vector<const store::Vertex*> members{v};
  for (const store::Vertex* m = v->ring; m != v; m = m->ring) members.push_back(m);
  return members;
}

}  // namespace tovlek::testkit
