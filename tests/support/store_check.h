// Test helpers around the road store: an invariant checker and the members
// of a ring.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "store/road_store.h"

namespace tovlek::testkit {

using Points = std::vector<std::pair<int, int>>;  // positions as (x, y)

// Describes every broken invariant of the RoadList (empty when all hold):
// each ring closed and all its members at one position, first/last
// consistent with the chain, every ring member a vertex of some road.
std::string checkStoreInvariants(const store::Map& map);

// A road read with the given vertices, now at the head of the RoadList.
store::Road& addRoad(store::Map& map, const Points& points);

// The positions along the chain from v on.
Points chainFrom(const store::Map& map, const store::Vertex* v);

// Vertices of the ring of v, v first, in ring order.
std::vector<const store::Vertex*> ringOf(const store::Map& map, const store::Vertex* v);

}  // namespace tovlek::testkit
