// The join in rounds: closing gaps moves road ends and puts vertices into
// roads after the sweep has passed them, which brings other vertices within
// reach; a round of sweep and gap pass again joins those, until a round
// changes nothing.
#include "junction/rounds.h"

#include <algorithm>

#include "junction/junction.h"

namespace tovlek::junction {
namespace {

// Later rounds look only near the roads that changed when fewer than one
// road in this many did.
constexpr size_t kFewChanged = 16;

// How the roads stand at the start of a later round of the plain join:
// their boxes as reading would make them now.
void takeBoxesAsTheyStand(const store::Map& map, store::ReadBoxArray& boxes) {
  boxes = store::ReadBoxArray{};
  for (size_t r = 0; r < map.roads.size; ++r) boxes.pushBack(store::boxOf(map, map.roads[r]));
}

void sweepOnce(JoinContext& join, int32_t roadCount, const JoinPlan& plan,
               const std::function<void()>& beforeFirstPair) {
  if (plan.plainSweep) {
    if (beforeFirstPair) beforeFirstPair();
    sweepRoadPairsPlain(join, roadCount);
  } else {
    sweepRoadPairs(join, roadCount, beforeFirstPair);
  }
  if (plan.closeGaps) closeGaps(join);
}

// Whether a round may follow the one that made `changes` changes; tells
// roundsNotSettled when the last one still changed something.
bool anotherRound(JoinContext& join, int64_t changes) {
  if (changes == 0) return false;
  if (join.round < kMostRounds) return true;
  join.events.roundsNotSettled(kMostRounds);
  return false;
}

// Later rounds of the plain join: whole rounds, the reference for the fast
// one's.
void plainRounds(JoinContext& join, int32_t roadCount, const JoinPlan& plan, int64_t changes) {
  store::ReadBoxArray boxes;
  while (anotherRound(join, changes)) {
    takeBoxesAsTheyStand(join.map, boxes);
    join.roundBoxes = &boxes;
    join.round = ++join.counts.rounds;
    const int64_t before = join.counts.changes;
    sweepOnce(join, roadCount, plan, nullptr);
    changes = join.counts.changes - before;
  }
  join.roundBoxes = nullptr;
}

// The roads that the first round changed: those it inserted vertices into,
// and those with a vertex read that it moved.
void takeFirstRoundChanges(store::Map& map, LaterRound& later) {
  takeChanges(map, later, [](uint32_t) {});
  const size_t roads = map.roads.size;
  for (size_t r = 0; r < roads; ++r) {
    const store::Road& road = map.roads[r];
    for (store::VertexId id = road.first; id < road.first + road.readVertexCount; ++id) {
      if (!store::wasMoved(map, id)) continue;
      const uint32_t position = static_cast<uint32_t>(roads - 1 - r);
      if (later.changedIn[position] != later.round) {
        later.changedIn[position] = static_cast<uint8_t>(later.round);
        later.changedNow.push_back(position);
      }
      break;
    }
  }
}

// Before a later round: the boxes of the roads changed in the round before
// taken anew.
void beginLaterRound(JoinContext& join, LaterRound& later) {
  later.changedBefore.swap(later.changedNow);
  later.changedNow.clear();
  const size_t roads = join.map.roads.size;
  for (const uint32_t position : later.changedBefore) {
    later.boxes[roads - 1 - position] = store::boxOf(join.map, store::roadAt(join.map, position));
  }
  join.roundBoxes = &later.boxes;
  later.round = join.round = ++join.counts.rounds;
}

// A whole round of the fast join over the roads as they stand.
void wholeFastRound(JoinContext& join, int32_t roadCount, const LaterRound& later) {
  std::vector<bool> gained(later.insertedInto.size());
  for (size_t p = 0; p < gained.size(); ++p) gained[p] = later.insertedInto[p] > 0;
  join.gainedVertices = &gained;
  sweepRoadPairs(join, roadCount);
  closeGaps(join);
  join.gainedVertices = nullptr;
}

// Later rounds of the fast join. Where few roads changed in the round
// before, only their pairs and the ends near them are looked at; where many
// did (as after the first round, which changes most roads of a map), a
// whole round costs less than finding those.
void fastRounds(JoinContext& join, int32_t roadCount, const JoinPlan& plan, int64_t changes) {
  store::Map& map = join.map;
  LaterRound later(map);
  const size_t roads = map.roads.size;
  later.changedIn.assign(roads, 0);
  later.insertedInto.assign(roads, 0);
  takeFirstRoundChanges(map, later);
  map.noteMoves = true;
  while (anotherRound(join, changes)) {
    beginLaterRound(join, later);
    const int64_t before = join.counts.changes;
    if (!plan.alwaysNearChanges && later.changedBefore.size() * kFewChanged > roads) {
      wholeFastRound(join, roadCount, later);
    } else {
      buildOverlapGrid(later.grid, later.boxes);
      sweepNearChanges(join, later);
      closeGapsNearChanges(join, later);
    }
    takeChanges(map, later, [](uint32_t) {});
    changes = join.counts.changes - before;
  }
  map.noteMoves = false;
  map.movedVertices.clear();
  join.roundBoxes = nullptr;
}

}  // namespace

uint32_t roadOfVertex(const store::Map& map, const LaterRound& later, store::VertexId id) {
  if (store::isInsertedVertex(map, id)) return later.insertedRoad[id - map.readVertexEnd];
  // The list position of the road at that reading index.
  return static_cast<uint32_t>(map.roads.size - 1 - store::roadOfReadVertex(map, id));
}

void overlappingRoads(LaterRound& later, uint32_t position, std::vector<uint32_t>& roads) {
  partnersOf(later.grid, position, roads, false);
}

void joinRounds(JoinContext& join, int32_t roadCount, const JoinPlan& plan,
                const std::function<void()>& beforeFirstPair) {
  join.round = join.counts.rounds = 1;
  // The fast join's later rounds need to know from the first on which road
  // every inserted vertex belongs to.
  join.map.noteInsertions = plan.closeGaps && !plan.plainSweep;
  const int64_t before = join.counts.changes;
  sweepOnce(join, roadCount, plan, beforeFirstPair);
  if (!plan.closeGaps) return;
  const int64_t changes = join.counts.changes - before;
  if (plan.plainSweep) {
    plainRounds(join, roadCount, plan, changes);
  } else {
    fastRounds(join, roadCount, plan, changes);
  }
}

}  // namespace tovlek::junction
