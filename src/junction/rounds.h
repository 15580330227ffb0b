// What a later round of the join knows of the roads (internal to the
// junction): after the first round only a few roads change, and a pair of
// roads neither of which changed since the pair was last looked at gives
// nothing new, so later rounds look only at the roads that changed and
// those near them, in the order a whole round would.
#pragma once

#include <cstdint>
#include <vector>

#include "junction/junction.h"
#include "junction/sweep_index.h"
#include "store/road_store.h"

namespace tovlek::junction {

struct LaterRound {
  explicit LaterRound(store::Map& map) : boxes(map.readBoxes) {}
  int32_t round = 1;
  // By reading index: each road's box as the round began (grown as a
  // ReadBox is): the map's read-time boxes, which the first round alone
  // needs as read, taken anew for the roads changed in the round before.
  store::ReadBoxArray& boxes;
  // By list position: the last round in which the road changed (0: none),
  // and how many vertices have been inserted into it.
  std::vector<uint8_t> changedIn;
  std::vector<uint32_t> insertedInto;
  // By inserted vertex (id - readVertexEnd): its road's list position.
  std::vector<uint32_t> insertedRoad;
  // Roads changed in the round before (whose pairs and ends are looked at
  // again), and in the round under way.
  std::vector<uint32_t> changedBefore, changedNow;
  OverlapGrid grid;  // over `boxes`, for the pairs of a changed road
};

// Notes the roads that the changes noted in the map since the last call
// belong to (changedIn, changedNow, insertedInto), and calls
// firstChange(listPosition) for each that changes for the first time in
// this round.
template <typename FirstChange>
void takeChanges(store::Map& map, LaterRound& later, FirstChange firstChange);

// The list position of the road that holds vertex `id`.
uint32_t roadOfVertex(const store::Map& map, const LaterRound& later, store::VertexId id);

// All roads (list positions) whose round-start boxes overlap the box of the
// road at list position `position`, but that road.
void overlappingRoads(LaterRound& later, uint32_t position, std::vector<uint32_t>& roads);

// The later round's sweep: the pairs of the roads changed in the round
// before, and of those changed in this round after they change, in the
// order of a whole sweep.
void sweepNearChanges(JoinContext& join, LaterRound& later);

// The later round's gap pass: the ends of roads near a road changed since
// the last gap pass, in the order of closeGaps.
void closeGapsNearChanges(JoinContext& join, LaterRound& later);

template <typename FirstChange>
void takeChanges(store::Map& map, LaterRound& later, FirstChange firstChange) {
  const auto note = [&](uint32_t position) {
    if (later.changedIn[position] == later.round) return;
    later.changedIn[position] = static_cast<uint8_t>(later.round);
    later.changedNow.push_back(position);
    firstChange(position);
  };
  // Inserted vertices, in the order they were made: each belongs to the
  // road of the vertex behind it, whose road is known by then.
  while (later.insertedRoad.size() < map.insertedBefore.size()) {
    const uint32_t road = roadOfVertex(map, later, map.insertedBefore[later.insertedRoad.size()]);
    later.insertedRoad.push_back(road);
    ++later.insertedInto[road];
    note(road);
  }
  for (const store::VertexId id : map.movedVertices) note(roadOfVertex(map, later, id));
  map.movedVertices.clear();
}

}  // namespace tovlek::junction
