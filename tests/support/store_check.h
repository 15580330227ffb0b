// Test helpers around the road store: an invariant checker and small
// builders for roads given as coordinate lists.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "store/road_store.h"

namespace tovlek::testkit {

// Describes every broken invariant of the RoadList (empty when all hold):
// each ring closed and all its members at one position, first/last
// consistent with the chain, every ring member a vertex of some road.
std::string checkStoreInvariants();

// A road with the given vertices (appended as the reader would), not yet on
// the RoadList.
store::Road* makeRoad(std::initializer_list<std::pair<int, int>> points, int type = 6);

// The vertices of a road as (x, y) pairs, in chain order.
std::vector<std::pair<int, int>> positionsOf(const store::Road& road);

// Vertices of the ring of v, v first, in ring order.
std::vector<const store::Vertex*> ringOf(const store::Vertex* v);

// Resets the globals the store and the junction builder share.
void resetGlobals(int minDistance = 10);

}  // namespace tovlek::testkit
