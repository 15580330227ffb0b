#include <cstdlib>
#include <string>

#include "junction/junction.h"
#include "junction/report.h"
#include "junction/sweep_index.h"
#include "reader/coord_codec.h"

namespace tovlek::junction {

int32_t SplitCount = 0;

namespace {

constexpr int32_t kPairsPerProgressLine = 10000000;

void countPlacement() {
  // Wraps instead of overflowing on a run with more than 2^31 placements.
  SplitCount = static_cast<int32_t>(static_cast<uint32_t>(SplitCount) + 1u);
}

}  // namespace

namespace {

// Where a placement took the segment start's vertex at X from: the start or
// its successor when one of them moved onto X, else X itself (a new vertex).
struct Placement {
  int result;
  Coord fromX, fromY;
};

Placement place(Vertex* start, const Crossing& crossing) {
  const Coord oldX[3] = {crossing.x, start->x, start->next->x};
  const Coord oldY[3] = {crossing.y, start->y, start->next->y};
  const int result = insertPointOnSegment(start, crossing.x, crossing.y);
  countPlacement();
  return {result, oldX[result], oldY[result]};
}

// Distance squared from a placement's origin to X, for picking the farther.
int64_t travel(const Placement& p, const Crossing& crossing) {
  const int64_t dx = int64_t{p.fromX} - crossing.x, dy = int64_t{p.fromY} - crossing.y;
  return dx * dx + dy * dy;
}

}  // namespace

int crossingStep(Vertex* p0, Vertex* q0) {
  const Crossing crossing = crossSegments(p0, p0->next, q0, q0->next);
  if (crossing.result == 0) return 0;
  const Placement none{-1, crossing.x, crossing.y};
  const Placement onFirst = crossing.result & 1 ? place(p0, crossing) : none;
  const Placement onSecond = crossing.result & 2 ? place(q0, crossing) : none;
  if (crossing.result == 3) {
    Vertex* onP = onFirst.result == 1 ? p0 : p0->next;
    Vertex* onQ = onSecond.result == 1 ? q0 : q0->next;
    if (!store::sameRing(onP, onQ)) store::joinRings(onP, onQ);
  }
  if (Report != nullptr) {
    const Placement& farther =
        travel(onFirst, crossing) >= travel(onSecond, crossing) ? onFirst : onSecond;
    reportEvent(crossing.result == 3 ? EventKind::kCrossing : EventKind::kPlaced, farther.fromX,
                farther.fromY, crossing.x, crossing.y);
  }
  return (onFirst.result == 0) + (onSecond.result == 0);
}

namespace {

void printEstimate(std::FILE* out, int32_t roadCount) {
  const double factor = static_cast<double>(5e-7f);
  double estimate = static_cast<double>(roadCount - int64_t{1}) *
                    static_cast<double>(roadCount - int64_t{2}) * factor;
  if (estimate == 0) estimate = 0;  // one road gives -0, shown as 0
  std::fprintf(out, "Found %i roads, %.0f million pairs.\r\n", roadCount, estimate);
  std::fprintf(out, "Minimum distance set to %i.\r\n", store::MinDistance);
}

// Counts the road pairs of each first road, and prints a line for every
// 10,000,000 of them.
struct Progress {
  int32_t roadCount;
  std::FILE* out;
  int32_t outerIndex = 0;
  int64_t pairCounter = 0;
  int32_t shownMillions = 0;
};

void finishFirstRoad(Progress& progress) {
  progress.pairCounter += int64_t{progress.roadCount} - progress.outerIndex - 1;
  ++progress.outerIndex;
  if (progress.pairCounter > kPairsPerProgressLine) {
    progress.pairCounter -= kPairsPerProgressLine;
    progress.shownMillions += 10;
    std::fprintf(progress.out, "Done %i million road pairs, %i splitted\r", progress.shownMillions,
                 SplitCount);
  }
}

// The vertex-pair steps of one road pair, with the guard that stops a pair
// whose junctions do not settle.
struct PairSteps {
  const Road& first;
  int64_t limit;
  std::FILE* warnings;
  int64_t inserted = 0;

  PairSteps(const Road& a, const Road& b, std::FILE* warningStream)
      : first(a),
        limit(4 * (int64_t{a.readVertexCount} + b.readVertexCount) + 64),
        warnings(warningStream) {}

  void run(Road& a, Vertex* p0, Road& b, Vertex* q0) {
    weldVertices(a, p0, b, q0);
    if (p0->next == nullptr || q0->next == nullptr || inserted >= limit) return;
    inserted += crossingStep(p0, q0);
    if (inserted >= limit) {
      std::fprintf(warnings,
                   "Warning: junctions near %s did not settle; stopped after %lld new vertices\n",
                   reader::formatPair(first.first->x, first.first->y).c_str(),
                   static_cast<long long>(limit));
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

int64_t nearMargin() {
  return std::llabs(int64_t{store::MinDistance}) + 2;
}

// One road pair of the fast sweep: the same steps in the same order as
// processRoadPair, leaving out only vertex pairs that provably do nothing.
// a and b are the roads at list positions i and j.
void processRoadPairFast(SweepIndex& index, size_t i, size_t j, std::FILE* warnings) {
  Road& a = *index.roads[i];
  Road& b = *index.roads[j];
  const int64_t margin = nearMargin();
  const LongRoad* longA = index.longSlot[i] >= 0 ? &index.longRoads[index.longSlot[i]] : nullptr;
  const LongRoad* longB = index.longSlot[j] >= 0 ? &index.longRoads[index.longSlot[j]] : nullptr;
  PairSteps steps(a, b, warnings);

  // B's box is computed once; every later move or insertion grows it by the
  // position concerned, which holds wherever B's vertices went.
  index.recentPositions.clear();
  Box boxB = currentBox(index, j);
  auto refresh = [&] {
    if (index.recentPositions.empty()) return false;
    for (const Box& moved : index.recentPositions) boxB.grow(moved);
    index.recentPositions.clear();
    return true;
  };

  BlockCursor cursorA{index, longA};
  for (Vertex* p0 = a.first; p0 != nullptr; p0 = p0->next) {
    refresh();
    p0 = cursorA.skipFar(p0, boxB, margin);
    if (p0 == nullptr) break;
    Box segmentP = segmentBox(p0);
    if (!mayInteract(segmentP, boxB, margin)) continue;

    BlockCursor cursorB{index, longB};
    for (Vertex* q0 = b.first; q0 != nullptr; q0 = q0->next) {
      q0 = cursorB.skipFar(q0, segmentP, margin);
      if (q0 == nullptr) break;
      if (!mayInteract(segmentP, segmentBox(q0), margin)) continue;
      steps.run(a, p0, b, q0);
      if (refresh()) segmentP = segmentBox(p0);
    }
  }
}

}  // namespace

bool boxesOverlap(const Road& a, const Road& b) {
  return b.minX <= a.maxX && a.minX <= b.maxX && b.minY <= a.maxY && a.minY <= b.maxY;
}

void processRoadPair(Road& a, Road& b, std::FILE* warnings) {
  PairSteps steps(a, b, warnings);
  // Each successor is read only after the steps for the current vertex, so
  // a vertex inserted behind p0 or q0 is the next one visited.
  for (Vertex* p0 = a.first; p0 != nullptr; p0 = p0->next) {
    for (Vertex* q0 = b.first; q0 != nullptr; q0 = q0->next) steps.run(a, p0, b, q0);
  }
}

void sweepRoadPairsPlain(int32_t roadCount, const SweepConsole& console) {
  printEstimate(console.out, roadCount);
  Progress progress{roadCount, console.out};
  int64_t aPosition = 0;
  for (Road* a = store::RoadList; a != nullptr && a->next != nullptr; a = a->next, ++aPosition) {
    int64_t bPosition = aPosition + 1;
    for (Road* b = a->next; b != nullptr; b = b->next, ++bPosition) {
      if (!boxesOverlap(*a, *b)) continue;
      if (console.onRoadPair) console.onRoadPair(*a, *b);
      reportRoadPair(a, aPosition, b, bPosition);
      processRoadPair(*a, *b, console.warnings);
    }
    finishFirstRoad(progress);
  }
}

void sweepRoadPairs(int32_t roadCount, const SweepConsole& console) {
  printEstimate(console.out, roadCount);
  SweepIndex index;
  buildSweepIndex(index);
  OverlapGrid grid;
  buildOverlapGrid(grid, index.roads);
  ActiveIndex = &index;
  Progress progress{roadCount, console.out};
  // Partners lie anywhere in memory. The next first road's partners are
  // found one road ahead and fetched in stages, so that their list slots,
  // records and vertices arrive while the current pairs are processed.
  std::vector<uint32_t> partners, upcoming;
  if (index.roads.size() > 1) partnersOf(grid, 0, partners);
  for (uint32_t i = 0; i + 1 < index.roads.size(); ++i) {
    upcoming.clear();
    if (i + 2 < index.roads.size()) partnersOf(grid, i + 1, upcoming);
    for (uint32_t j : upcoming) __builtin_prefetch(&index.roads[j]);
    for (uint32_t j : partners) __builtin_prefetch(index.roads[j]);
    for (size_t k = 0; k < partners.size(); ++k) {
      if (k + 1 < partners.size()) __builtin_prefetch(index.roads[partners[k + 1]]->first);
      const uint32_t j = partners[k];
      if (console.onRoadPair) console.onRoadPair(*index.roads[i], *index.roads[j]);
      reportRoadPair(index.roads[i], i, index.roads[j], j);
      processRoadPairFast(index, i, j, console.warnings);
    }
    finishFirstRoad(progress);
    partners.swap(upcoming);
  }
  ActiveIndex = nullptr;
}

}  // namespace tovlek::junction
