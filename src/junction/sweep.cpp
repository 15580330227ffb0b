#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdlib>
#include <functional>
#include <memory>
#include <queue>
#include <span>
#include <vector>

#include "base/ordered_jobs.h"
#include "junction/geometry.h"
#include "junction/junction.h"
#include "junction/rounds.h"
#include "junction/sweep_index.h"

namespace tovlek::junction {
namespace {

constexpr int32_t kPairsPerProgressLine = 10000000;

// A placement, and where the vertex that stands at X after it came from: the
// start or its successor when one of them moved onto X, else X itself (a new
// vertex).
struct Placed {
  Placement placement;
  Coord fromX, fromY;
};

Placed place(JoinContext& join, Vertex* start, const Crossing& crossing) {
  const Vertex* end = nextOf(join, start);
  Placed placed{Placement::kInserted, crossing.x, crossing.y};
  const Coord startX = start->x, startY = start->y, endX = end->x, endY = end->y;
  placed.placement = insertPointOnSegment(join, start, crossing.x, crossing.y);
  countPlacement(join);
  if (placed.placement == Placement::kMovedStart) {
    placed.fromX = startX;
    placed.fromY = startY;
  } else if (placed.placement == Placement::kMovedEnd) {
    placed.fromX = endX;
    placed.fromY = endY;
  }
  return placed;
}

// Distance squared from a placement's origin to X, for picking the farther.
int64_t travel(const Placed& p, const Crossing& crossing) {
  const int64_t dx = int64_t{p.fromX} - crossing.x, dy = int64_t{p.fromY} - crossing.y;
  return dx * dx + dy * dy;
}

// The vertex at X of the segment that starts at `start`, after a placement.
Vertex* placedVertex(const JoinContext& join, Vertex* start, const Placed& placed) {
  return placed.placement == Placement::kMovedStart ? start : nextOf(join, start);
}

bool gainedVertex(const Placed& placed, bool happened) {
  return happened && placed.placement == Placement::kInserted;
}

}  // namespace

int crossingStep(JoinContext& join, Vertex* p0, Vertex* q0) {
  const Crossing crossing = crossSegments(join, p0, nextOf(join, p0), q0, nextOf(join, q0));
  if (crossing.result == CrossingResult::kNone) return 0;
  const bool onFirst = placesOnFirst(crossing.result);
  const bool onSecond = placesOnSecond(crossing.result);
  const Placed none{Placement::kMovedStart, crossing.x, crossing.y};
  const Placed first = onFirst ? place(join, p0, crossing) : none;
  const Placed second = onSecond ? place(join, q0, crossing) : none;
  if (crossing.result == CrossingResult::kCrossing) {
    Vertex* const atFirst = placedVertex(join, p0, first);
    Vertex* const atSecond = placedVertex(join, q0, second);
    assert(atOnePosition(atFirst, atSecond) && "both placements put a vertex at the crossing");
    store::joinRings(join.map, atFirst, atSecond);
  }
  if (join.reportChanges) {
    const Placed& farther = travel(first, crossing) >= travel(second, crossing) ? first : second;
    const ChangeKind kind =
        crossing.result == CrossingResult::kCrossing ? ChangeKind::kCrossing : ChangeKind::kPlaced;
    const int added = int{gainedVertex(first, onFirst)} + int{gainedVertex(second, onSecond)};
    tellChange(join, kind, farther.fromX, farther.fromY, crossing.x, crossing.y, added > 0);
  }
  return int{gainedVertex(first, onFirst)} + int{gainedVertex(second, onSecond)};
}

namespace {

// Counts the road pairs of each first road, and tells progress for every
// 10,000,000 of them.
struct Progress {
  int32_t roadCount;
  int32_t outerIndex = 0;
  int64_t pairCounter = 0;
  int32_t shownMillions = 0;
};

// The boxes the sweep of this round tests road pairs with.
const store::ReadBoxArray& boxesOfRound(const JoinContext& join) {
  return join.roundBoxes != nullptr ? *join.roundBoxes : join.map.readBoxes;
}

// Later rounds of the join show no progress: their pairs are not the
// count that the first round's lines counted.
void finishFirstRoad(JoinContext& join, Progress& progress) {
  if (join.round > 1) return;
  progress.pairCounter += int64_t{progress.roadCount} - progress.outerIndex - 1;
  ++progress.outerIndex;
  if (progress.pairCounter > kPairsPerProgressLine) {
    progress.pairCounter -= kPairsPerProgressLine;
    progress.shownMillions += 10;
    join.events.progress(progress.shownMillions, join.SplitCount);
  }
}

// The vertex-pair steps of one road pair, with the guard that stops a pair
// whose junctions do not settle.
struct PairSteps {
  JoinContext& join;
  const Road& first;
  int64_t limit;
  int64_t inserted = 0;

  PairSteps(JoinContext& context, const Road& a, const Road& b)
      : join(context), first(a), limit(4 * (int64_t{a.readVertexCount} + b.readVertexCount) + 64) {}

  void run(Road& a, Vertex* p0, Road& b, Vertex* q0) {
    if (withinWeldSquare(join, p0, q0)) weldVertices(join, a, p0, b, q0);
    if (p0->next == store::kNoVertex || q0->next == store::kNoVertex || inserted >= limit) return;
    if (shareAnEnd(p0, nextOf(join, p0), q0, nextOf(join, q0))) return;
    inserted += crossingStep(join, p0, q0);
    if (inserted >= limit) {
      const Vertex* start = store::firstOf(join.map, first);
      join.events.notSettled(start->x, start->y, limit);
    }
  }
};

// Follows a road's chain alongside its blocks. At the first vertex of a block
// of a long road it jumps past every block whose box cannot interact with the
// query; null means no later block can.
struct BlockCursor {
  const SweepIndex& index;
  const LongRoad* road;  // null for a short road, which has no blocks
  uint32_t block = 0;

  Vertex* skipFar(Vertex* v, const Box& query, int64_t margin) {
    if (road == nullptr) return v;
    Vertex* const* firsts = &index.blockFirst[road->blockBase];
    if (block + 1 < road->blockCount && v == firsts[block + 1]) ++block;
    if (v != firsts[block]) return v;
    block = nextNearBlock(index, *road, block, query, margin);
    return block == road->blockCount ? nullptr : firsts[block];
  }
};

int64_t nearMargin(const JoinContext& join) {
  return std::llabs(int64_t{minDistanceOf(join)}) + 2;
}

// Whether a chain of this capacity holds vertex n with room behind it for
// segmentsTouching's last run; growChain gives it that room.
bool roomForVertex(size_t n, size_t capacity) {
  return n + kSegmentsPerRun + 2 < capacity;
}

void growChain(SweepIndex::Chain& chain, size_t n) {
  chain.vertices.resize(2 * n + 64);
  chain.positions.resize(2 * n + 64);
}

// The chain of `count` vertices read, one record after the other from
// `first`: no links to follow. Returns the box of them all.
Box copyVerticesRead(SweepIndex::Chain& taken, Vertex* first, size_t count) {
  if (!roomForVertex(count, taken.vertices.size())) growChain(taken, count);
  Vertex** chain = taken.vertices.data();
  SweepIndex::Position* positions = taken.positions.data();
  Box all = Box::of(first);
  for (size_t k = 0; k < count; ++k) {
    chain[k] = first + k;
    positions[k] = {first[k].x, first[k].y};
    all.grow(first[k].x, first[k].y);
  }
  positions[count] = positions[count - 1];
  taken.length = count;
  return all;
}

// The chain by the links from the vertex `id`. Returns the box of them all.
Box followLinks(SweepIndex::Chain& taken, const store::Map& map, store::VertexId id) {
  Vertex* q = store::vertexAt(map, id);
  Box all = Box::of(q);
  // Written through locals rather than pushed: this runs for every pair, and
  // through the vectors each store would reload them.
  Vertex** chain = taken.vertices.data();
  SweepIndex::Position* positions = taken.positions.data();
  size_t capacity = taken.vertices.size();
  size_t n = 0;
  for (;; ++n) {
    if (!roomForVertex(n, capacity)) {
      growChain(taken, n);
      capacity = taken.vertices.size();
      chain = taken.vertices.data();
      positions = taken.positions.data();
    }
    chain[n] = q;
    positions[n] = {q->x, q->y};
    const store::VertexId nextId = q->next;
    if (nextId == store::kNoVertex) break;
    q = store::successorAt(map, q, id, nextId);
    id = nextId;
    all.grow(q->x, q->y);
  }
  positions[n + 1] = positions[n];
  taken.length = n + 1;
  return all;
}

// Boxes the chain's runs of 32 segments; for a chain of more than one run.
[[gnu::noinline]] void boxRuns(SweepIndex::Chain& chain) {
  const size_t runs = (chain.length + kSegmentsPerMask - 1) / kSegmentsPerMask;
  if (chain.runBoxes.size() < runs) chain.runBoxes.resize(runs);
  const SweepIndex::Position* positions = chain.positions.data();
  for (size_t run = 0; run < runs; ++run) {
    // Segment k ends at position k + 1; the chain's last position ends the last.
    const size_t begin = run * kSegmentsPerMask;
    const size_t end = std::min(begin + kSegmentsPerMask, chain.length - 1);
    Box box = Box::empty();
    for (size_t k = begin; k <= end; ++k) box.grow(positions[k].x, positions[k].y);
    chain.runBoxes[run] = box;
  }
}

// Whether the run of segments from `base` may hold one that touches `box`.
bool runMayTouch(const SweepIndex::Chain& chain, size_t base, const Box& box) {
  if (chain.length <= kSegmentsPerMask) [[likely]]
    return true;
  return boxesTouch(chain.runBoxes[base / kSegmentsPerMask], box);
}

// What a chain keeps of its box once taken or brought up to date: whether
// it is exact and, for a chain of more than one run, the run boxes.
void noteChainBox(SweepIndex::Chain& chain, const Box& all) {
  chain.exact = isExact(all);
  if (chain.length > kSegmentsPerMask) [[unlikely]]
    boxRuns(chain);
}

// A short road's vertices and their positions, as they are now; the box of
// them all. Until the sweep inserts into the road, they are its vertices
// read. Kept out of line, as is refreshChain: inlined into the pair loop,
// both cost it more than their calls.
[[gnu::noinline]] Box takeChain(SweepIndex& index, SweepIndex::Chain& taken, size_t position) {
  const store::Map& map = *index.map;
  const Road& road = roadAt(index, position);
  constexpr size_t kChunk = decltype(store::Map::vertices)::kChunk;
  const bool inOneChunk = road.first % kChunk + road.readVertexCount <= kChunk;
  const Box all =
      !index.shortWithInserted[position] && inOneChunk
          ? copyVerticesRead(taken, store::vertexAt(map, road.first), road.readVertexCount)
          : followLinks(taken, map, road.first);
  taken.road = position;
  noteChainBox(taken, all);
  return all;
}

// Brings the chain up to date after a step at its vertex k changed something:
// vertices may have moved, and a crossing step may have inserted one behind
// vertex k, the only place a step inserts into either road. Cheaper than
// taking the chain again: the positions are read from the records it holds,
// and no link is followed but vertex k's. Returns the box of them all.
[[gnu::noinline]] Box refreshChain(SweepIndex& index, SweepIndex::Chain& taken, size_t k) {
  size_t n = taken.length;
  Vertex* const after = store::nextOf(*index.map, taken.vertices[k]);
  if (after != (k + 1 < n ? taken.vertices[k + 1] : nullptr)) {
    assert(store::nextOf(*index.map, after) == (k + 1 < n ? taken.vertices[k + 1] : nullptr) &&
           "a step inserts one vertex, behind vertex k");
    index.shortWithInserted[taken.road] = true;
    if (!roomForVertex(n, taken.vertices.size())) growChain(taken, n);
    Vertex** chain = taken.vertices.data();
    std::copy_backward(chain + k + 1, chain + n, chain + n + 1);
    chain[k + 1] = after;
    ++n;
  }
  Vertex* const* chain = taken.vertices.data();
  SweepIndex::Position* positions = taken.positions.data();
  Box all = Box::of(chain[0]);
  for (size_t i = 0; i < n; ++i) {
    positions[i] = {chain[i]->x, chain[i]->y};
    all.grow(positions[i].x, positions[i].y);
  }
  positions[n] = positions[n - 1];
  taken.length = n;
  noteChainBox(taken, all);
  return all;
}

// The segments k of a chain, from `from` on within the run of 32 that starts
// at `base`, whose boxes touch `box`: bit 2 (k - base) per segment. Always
// inlined: called out of line, the box just made by the caller goes through
// the stack, and loading it waits on the stores.
[[gnu::always_inline]] inline uint64_t touchingFrom(const SweepIndex::Chain& chain, const Box& box,
                                                    size_t base, size_t from) {
  if (from >= base + kSegmentsPerMask) return 0;
  const size_t count = std::min(kSegmentsPerMask, chain.length - base);
  return segmentsTouching(box, chain.positions.data() + base, count) &
         (~uint64_t{0} << (2 * (from - base)));
}

// A pair whose second road is short: B's chain is taken once, and brought
// up to date after every change, which only a step of this pair makes.
struct ShortSecondPair {
  JoinContext& join;
  PairSteps& steps;
  Road& a;
  Road& b;
  size_t secondPosition;
  int64_t margin;
  SweepIndex& index = *join.index;
  Box boxB = takeChain(index, index.second, secondPosition);

  // Where a B segment must lie to act on the segment from p0 to p1 (p0 at an
  // end): all of the plane unless both are where the crossing arithmetic is
  // exact.
  Box reachOf(const Vertex* p0, const Vertex* p1) const {
    const Box segmentP = segmentBetween(p0, p1 != nullptr ? p1 : p0);
    return index.second.exact && isExact(segmentP) ? grownBy(segmentP, margin) : Box::everything();
  }

  // The steps of p0 with every B segment that touches its reach, in order.
  // After a change B's chain is brought up to date, `changed` brings the
  // first road's side up to date and gives p0's successor, and the rest of
  // B is tested against p0's new reach. Returns whether anything changed.
  template <typename Changed>
  bool stepsOf(Vertex* p0, const Vertex* p1, Changed changed) {
    Box reach = reachOf(p0, p1);
    if (!boxesTouch(reach, boxB)) return false;
    bool any = false;
    const SweepIndex::Chain& chainB = index.second;
    for (size_t base = 0; base < chainB.length; base += kSegmentsPerMask) {
      if (!runMayTouch(chainB, base, reach)) continue;
      uint64_t touching = touchingFrom(chainB, reach, base, base);
      while (touching != 0) {
        const size_t k = base + static_cast<size_t>(std::countr_zero(touching)) / 2;
        touching &= touching - 1;
        steps.run(a, p0, b, chainB.vertices[k]);
        if (index.recentPositions.empty()) continue;
        // Something moved or was inserted: only behind q0 and p0 can the
        // chains have changed, so both keep their places.
        index.recentPositions.clear();
        boxB = refreshChain(index, index.second, k);
        reach = reachOf(p0, changed());
        touching = touchingFrom(chainB, reach, base, k + 1);
        any = true;
      }
    }
    return any;
  }
};

// The pair's steps when the second road is short and the first long: the
// first road's blocks skip what is far from B.
void processLongFirst(ShortSecondPair& pair, const LongRoad* longA) {
  const store::Map& map = pair.join.map;
  BlockCursor cursorA{pair.index, longA};
  Vertex* p1 = nullptr;  // p0's successor, while nothing has changed since it was read
  for (Vertex* p0 = store::firstOf(map, pair.a); p0 != nullptr; p0 = p1) {
    p0 = cursorA.skipFar(p0, pair.boxB, pair.margin);
    if (p0 == nullptr) break;
    p1 = nextOf(pair.join, p0);
    pair.stepsOf(p0, p1, [&] { return p1 = nextOf(pair.join, p0); });
  }
}

// The pair's steps when both roads are short: the first road's chain is
// kept for all its pairs, and its segments near B are found 32 at a time.
void processShortFirst(ShortSecondPair& pair, size_t i) {
  SweepIndex& index = pair.index;
  SweepIndex::Chain& chainA = index.first;
  if (index.firstPosition != i || index.firstModifications != index.modifications) {
    takeChain(index, chainA, i);
    index.firstPosition = i;
  }
  // Where p0's segment must lie for its reach to meet B's box: B's box grown
  // by the margin, while both roads lie where the arithmetic is exact.
  const auto nearB = [&] {
    return index.second.exact && chainA.exact ? grownBy(pair.boxB, pair.margin) : Box::everything();
  };
  for (size_t base = 0; base < chainA.length; base += kSegmentsPerMask) {
    const Box query = nearB();
    if (!runMayTouch(chainA, base, query)) continue;
    uint64_t near = touchingFrom(chainA, query, base, base);
    while (near != 0) {
      const size_t k = base + static_cast<size_t>(std::countr_zero(near)) / 2;
      near &= near - 1;
      const auto successor = [&]() -> const Vertex* {
        return k + 1 < chainA.length ? chainA.vertices[k + 1] : nullptr;
      };
      const bool changed = pair.stepsOf(chainA.vertices[k], successor(), [&] {
        refreshChain(index, chainA, k);
        return successor();
      });
      if (changed) near = touchingFrom(chainA, nearB(), base, k + 1);
    }
  }
  index.firstModifications = index.modifications;
}

// One road pair of the fast sweep: the same steps in the same order as
// processRoadPair, leaving out only vertex pairs that provably do nothing.
// a and b are the roads at list positions i and j.
void processRoadPairFastSteps(JoinContext& join, size_t i, size_t j) {
  SweepIndex& index = *join.index;
  Road& a = roadAt(index, i);
  Road& b = roadAt(index, j);
  const int64_t margin = nearMargin(join);
  const LongRoad* longA = longRoadAt(index, i);
  const LongRoad* longB = longRoadAt(index, j);
  PairSteps steps(join, a, b);
  index.recentPositions.clear();
  if (longB == nullptr) {
    ShortSecondPair pair{join, steps, a, b, j, margin};
    if (longA != nullptr) {
      processLongFirst(pair, longA);
    } else {
      processShortFirst(pair, i);
    }
    return;
  }

  // B's box is computed once; every later move or insertion grows it by the
  // position concerned, which holds wherever B's vertices went.
  Box boxB = currentBox(index, j);
  auto refresh = [&] {
    if (index.recentPositions.empty()) return false;
    for (const Box& moved : index.recentPositions) boxB.grow(moved);
    index.recentPositions.clear();
    return true;
  };

  const uint64_t modificationsBefore = index.modifications;
  BlockCursor cursorA{index, longA};
  for (Vertex* p0 = store::firstOf(join.map, a); p0 != nullptr; p0 = nextOf(join, p0)) {
    refresh();
    p0 = cursorA.skipFar(p0, boxB, margin);
    if (p0 == nullptr) break;
    Box segmentP = segmentBox(join.map, p0);
    if (!mayInteract(segmentP, boxB, margin)) continue;

    BlockCursor cursorB{index, longB};
    for (Vertex* q0 = store::firstOf(join.map, b); q0 != nullptr; q0 = nextOf(join, q0)) {
      q0 = cursorB.skipFar(q0, segmentP, margin);
      if (q0 == nullptr) break;
      if (!mayInteract(segmentP, segmentBox(join.map, q0), margin)) continue;
      steps.run(a, p0, b, q0);
      if (refresh()) segmentP = segmentBox(join.map, p0);
    }
  }
  // A short first road may have gained vertices here, where no chain is kept.
  if (longA == nullptr && index.modifications != modificationsBefore)
    index.shortWithInserted[i] = true;
}

}  // namespace

// The fast sweep skips what no move or insertion it was told of can reach:
// every step must change the map through moveRing and insertBehind.
void processRoadPairFast(JoinContext& join, size_t i, size_t j) {
  processRoadPairFastSteps(join, i, j);
  assert(join.index->modifications == join.map.edits && "the index was told of every change");
}

void processRoadPair(JoinContext& join, Road& a, Road& b) {
  PairSteps steps(join, a, b);
  // Each successor is read only after the steps for the current vertex, so
  // a vertex inserted behind p0 or q0 is the next one visited.
  for (Vertex* p0 = store::firstOf(join.map, a); p0 != nullptr; p0 = nextOf(join, p0)) {
    for (Vertex* q0 = store::firstOf(join.map, b); q0 != nullptr; q0 = nextOf(join, q0))
      steps.run(a, p0, b, q0);
  }
}

void sweepRoadPairsPlain(JoinContext& join, int32_t roadCount) {
  if (join.round == 1) join.events.sweepStarted(roadCount, minDistanceOf(join));
  const size_t roads = store::roadCount(join.map);
  const store::ReadBoxArray& boxes = boxesOfRound(join);
  Progress progress{roadCount};
  for (size_t a = 0; a + 1 < roads; ++a) {
    const store::ReadBox& boxA = store::readBoxAt(boxes, a);
    for (size_t b = a + 1; b < roads; ++b) {
      if (!boxesTouch(boxA, store::readBoxAt(boxes, b))) continue;
      Road& first = store::roadAt(join.map, a);
      Road& second = store::roadAt(join.map, b);
      if (join.reportChanges) {
        join.events.roadPair(first, static_cast<int64_t>(a), second, static_cast<int64_t>(b));
      }
      processRoadPair(join, first, second);
    }
    finishFirstRoad(join, progress);
  }
}

namespace {

// The partners of a run of first roads. They depend on the read-time boxes
// alone, so they are found ahead of the sweep, on a helper thread when the
// join has one.
struct PartnerBatch {
  uint32_t begin = 0, end = 0;     // the first roads
  std::vector<uint32_t> partners;  // of each first road in turn
  std::vector<uint32_t> offsets;   // of begin + k: partners[offsets[k] .. offsets[k + 1])
};

constexpr uint32_t kFirstRoadsPerBatch = 1024;

struct PartnerFeed {
  // Starts finding: the grid is built by the first job, so that a helper
  // builds it while the caller does other work. Nothing may move until the
  // first partners are taken.
  PartnerFeed(const store::ReadBoxArray& roadBoxes, int helperThreads)
      : boxes(roadBoxes),
        roads(static_cast<uint32_t>(roadBoxes.size)),
        jobs(helperThreads, helperThreads > 0 ? 8 : 1,
             [this](PartnerBatch& batch) { fill(batch); }) {
    giveWhileRoom();
  }

  // The partners of first road i; called for i = 0, 1, ... in turn.
  std::span<const uint32_t> partnersOf(uint32_t i) {
    while (current == nullptr || i >= current->end) {
      if (current != nullptr) jobs.handBack(std::move(current));
      giveWhileRoom();
      current = jobs.take();
    }
    const uint32_t k = i - current->begin;
    return std::span<const uint32_t>(current->partners)
        .subspan(current->offsets[k], current->offsets[k + 1] - current->offsets[k]);
  }

  void giveWhileRoom() {
    while (!jobs.full() && nextBegin + 1 < roads) give();
  }

  void give() {
    std::unique_ptr<PartnerBatch> batch = jobs.fresh();
    batch->begin = nextBegin;
    batch->end = nextBegin = std::min(roads - 1, nextBegin + kFirstRoadsPerBatch);
    jobs.give(std::move(batch));
  }

  void fill(PartnerBatch& batch) {
    if (!gridBuilt) buildOverlapGrid(grid, boxes);
    gridBuilt = true;
    batch.partners.clear();
    batch.offsets.assign(1, 0);
    for (uint32_t i = batch.begin; i < batch.end; ++i) {
      junction::partnersOf(grid, i, found);
      batch.partners.insert(batch.partners.end(), found.begin(), found.end());
      batch.offsets.push_back(static_cast<uint32_t>(batch.partners.size()));
    }
  }

  const store::ReadBoxArray& boxes;
  OverlapGrid grid;  // the helper's alone
  bool gridBuilt = false;
  uint32_t roads = 0;
  uint32_t nextBegin = 0;
  std::vector<uint32_t> found;  // the helper's scratch
  std::unique_ptr<PartnerBatch> current;
  base::OrderedJobs<PartnerBatch> jobs;  // last: stopped before the rest goes
};

}  // namespace

void sweepRoadPairs(JoinContext& join, int32_t roadCount,
                    const std::function<void()>& beforeFirstPair) {
  if (join.round == 1) join.events.sweepStarted(roadCount, minDistanceOf(join));
  SweepIndex index;
  PartnerFeed feed(boxesOfRound(join), join.helperThreads > 0 ? 1 : 0);
  if (beforeFirstPair) beforeFirstPair();
  buildSweepIndex(index, join.map, join.gainedVertices);
  const uint32_t roads = feed.roads;
  join.index = &index;
  Progress progress{roadCount};
  // Partners lie anywhere in memory. The next first road's records are
  // fetched one road ahead and their vertices just before the pairs, so
  // that they arrive while the current pairs are processed.
  std::vector<uint32_t> current;
  std::span<const uint32_t> upcoming;
  if (roads > 1) upcoming = feed.partnersOf(0);
  for (uint32_t i = 0; i + 1 < roads; ++i) {
    // Copied: the next road's partners may come in a new batch, and the
    // current one is then used again.
    current.assign(upcoming.begin(), upcoming.end());
    upcoming = i + 2 < roads ? feed.partnersOf(i + 1) : std::span<const uint32_t>();
    for (uint32_t j : upcoming) __builtin_prefetch(&roadAt(index, j));
    for (uint32_t j : current) {
      const char* vertices =
          reinterpret_cast<const char*>(store::firstOf(join.map, roadAt(index, j)));
      for (int line = 0; line < 4; ++line) __builtin_prefetch(vertices + 64 * line);
    }
    for (const uint32_t j : current) {
      if (join.reportChanges) join.events.roadPair(roadAt(index, i), i, roadAt(index, j), j);
      processRoadPairFast(join, i, j);
    }
    finishFirstRoad(join, progress);
  }
  join.index = nullptr;
}

void sweepNearChanges(JoinContext& join, LaterRound& later) {
  std::vector<bool> gained(later.insertedInto.size());
  for (size_t p = 0; p < gained.size(); ++p) gained[p] = later.insertedInto[p] > 0;
  SweepIndex index;
  buildSweepIndex(index, join.map, &gained);
  join.index = &index;
  // The pairs to look at, as first and second position in one number:
  // ascending is the order of a whole sweep.
  std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<>> pending;
  std::vector<bool> queued(gained.size(), false);
  std::vector<uint32_t> partners;
  uint64_t current = 0;  // the pair looked at last (none yet: 0 is no pair)
  const auto queuePairsOf = [&](uint32_t road) {
    if (queued[road]) return;
    queued[road] = true;
    overlappingRoads(later, road, partners);
    for (const uint32_t other : partners) {
      const uint64_t pair = uint64_t{std::min(road, other)} << 32 | std::max(road, other);
      if (pair > current) pending.push(pair);
    }
  };
  for (const uint32_t road : later.changedBefore) queuePairsOf(road);
  while (!pending.empty()) {
    const uint64_t pair = pending.top();
    pending.pop();
    if (pair == current) continue;
    current = pair;
    const uint32_t i = static_cast<uint32_t>(pair >> 32), j = static_cast<uint32_t>(pair);
    if (join.reportChanges) join.events.roadPair(roadAt(index, i), i, roadAt(index, j), j);
    const uint64_t modificationsBefore = index.modifications;
    processRoadPairFast(join, i, j);
    if (index.modifications != modificationsBefore) takeChanges(join.map, later, queuePairsOf);
  }
  join.index = nullptr;
}

}  // namespace tovlek::junction
