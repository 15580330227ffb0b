#include <string>

#include "junction/junction.h"
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

int crossingStep(Vertex* p0, Vertex* q0) {
  const Crossing crossing = crossSegments(p0, p0->next, q0, q0->next);
  int inserted = 0;
  int onFirst = -1, onSecond = -1;
  if (crossing.result & 1) {
    onFirst = insertPointOnSegment(p0, crossing.x, crossing.y);
    countPlacement();
    inserted += onFirst == 0;
  }
  if (crossing.result & 2) {
    onSecond = insertPointOnSegment(q0, crossing.x, crossing.y);
    countPlacement();
    inserted += onSecond == 0;
  }
  if (crossing.result == 3) {
    Vertex* onP = onFirst == 1 ? p0 : p0->next;
    Vertex* onQ = onSecond == 1 ? q0 : q0->next;
    if (!store::sameRing(onP, onQ)) store::joinRings(onP, onQ);
  }
  return inserted;
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

}  // namespace

bool boxesOverlap(const Road& a, const Road& b) {
  return b.minX <= a.maxX && a.minX <= b.maxX && b.minY <= a.maxY && a.minY <= b.maxY;
}

void processRoadPair(Road& a, Road& b, std::FILE* warnings) {
  const int64_t limit = 4 * (int64_t{a.readVertexCount} + b.readVertexCount) + 64;
  int64_t inserted = 0;
  // Each successor is read only after the steps for the current vertex, so
  // a vertex inserted behind p0 or q0 is the next one visited.
  for (Vertex* p0 = a.first; p0 != nullptr; p0 = p0->next) {
    for (Vertex* q0 = b.first; q0 != nullptr; q0 = q0->next) {
      weldVertices(a, p0, b, q0);
      if (p0->next == nullptr || q0->next == nullptr || inserted >= limit) continue;
      inserted += crossingStep(p0, q0);
      if (inserted >= limit) {
        ++Stats.unsettledPairs;
        std::fprintf(warnings,
                     "Warning: junctions near %s did not settle; stopped after %lld new vertices\n",
                     reader::formatPair(a.first->x, a.first->y).c_str(),
                     static_cast<long long>(limit));
      }
    }
  }
}

void sweepRoadPairs(int32_t roadCount, const SweepConsole& console) {
  printEstimate(console.out, roadCount);
  int32_t outerIndex = 0;
  int64_t pairCounter = 0;
  int32_t shownMillions = 0;
  for (Road* a = store::RoadList; a != nullptr && a->next != nullptr; a = a->next) {
    for (Road* b = a->next; b != nullptr; b = b->next) {
      if (!boxesOverlap(*a, *b)) continue;
      if (console.onRoadPair) console.onRoadPair(*a, *b);
      processRoadPair(*a, *b, console.warnings);
    }
    pairCounter += int64_t{roadCount} - outerIndex - 1;
    ++outerIndex;
    if (pairCounter > kPairsPerProgressLine) {
      pairCounter -= kPairsPerProgressLine;
      shownMillions += 10;
      std::fprintf(console.out, "Done %i million road pairs, %i splitted\r", shownMillions,
                   SplitCount);
    }
  }
}

}  // namespace tovlek::junction
