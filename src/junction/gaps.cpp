// Closing the gaps the sweep leaves: road ends that stop beside another road
// at an angle, or short of its middle, are found by distance to the nearest
// point of every nearby road.
#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <memory>
#include <optional>
#include <unordered_map>

#include "base/ordered_jobs.h"
#include "junction/geometry.h"
#include "junction/junction.h"
#include "junction/rounds.h"
#include "junction/sweep_index.h"

namespace tovlek::junction {
namespace {

// The roads near a place: their boxes in a grid (taken when the index is
// built; a query must allow for what moved since), or in a later round of
// the join the round's grid of road boxes; and blocks of consecutive
// vertices with their boxes for long roads.
struct NearIndex {
  const store::Map* map;
  BoxGrid grid;                     // by list position
  OverlapGrid* roadGrid = nullptr;  // instead of `grid`, in a later round
  std::unordered_map<uint32_t, std::pair<uint32_t, uint32_t>> longRoadBlocks;  // [begin, end)
  std::vector<Vertex*> blockFirst;
  std::vector<Box> blockBox;
  std::vector<uint32_t> found;  // scratch for queries
};

// The list positions of the roads whose boxes meet `query`, ascending.
void roadsNear(NearIndex& index, const Box& query, std::vector<uint32_t>& found) {
  if (index.roadGrid != nullptr) {
    roadsMeeting(*index.roadGrid, query, found);
  } else {
    boxesMeeting(index.grid, query, found);
  }
}

Box boxOfChain(const store::Map& map, Vertex* from, const Vertex* to) {
  Box box = Box::of(from);
  for (Vertex* v = from; v != to && v != nullptr; v = store::nextOf(map, v)) box.grow(v->x, v->y);
  if (to != nullptr) box.grow(to->x, to->y);
  return box;
}

void addBlocks(NearIndex& index, uint32_t position) {
  const store::Map& map = *index.map;
  const uint32_t begin = static_cast<uint32_t>(index.blockFirst.size());
  int count = 0;
  for (Vertex* v = store::firstOf(map, store::roadAt(map, position)); v != nullptr;
       v = store::nextOf(map, v)) {
    if (count++ % kBlockSize == 0) index.blockFirst.push_back(v);
  }
  for (size_t b = begin; b < index.blockFirst.size(); ++b) {
    index.blockBox.push_back(
        boxOfChain(map, index.blockFirst[b],
                   b + 1 < index.blockFirst.size() ? index.blockFirst[b + 1] : nullptr));
  }
  index.longRoadBlocks.emplace(position,
                               std::pair(begin, static_cast<uint32_t>(index.blockFirst.size())));
}

// The boxes of a run of roads and which of them are long, taken on a
// helper thread when there is one (nothing moves meanwhile).
struct RoadBoxes {
  size_t begin = 0, end = 0;
  std::vector<Box> boxes;
  std::vector<bool> isLong;
};

void takeRoadBoxes(const store::Map& map, RoadBoxes& run) {
  for (size_t p = run.begin; p < run.end; ++p) {
    Box box = Box::empty();
    int64_t count = 0;
    store::forEachVertex(map, store::roadAt(map, p), [&](const Vertex& v) {
      box.grow(v.x, v.y);
      ++count;
    });
    run.boxes.push_back(box);
    run.isLong.push_back(count > kLongRoad);
  }
}

void buildNearIndex(NearIndex& index, const store::Map& map, int helperThreads) {
  index.map = &map;
  constexpr size_t kRoadsPerRun = size_t{1} << 14;
  base::OrderedJobs<RoadBoxes> jobs(helperThreads, size_t(helperThreads) + 2,
                                    [&](RoadBoxes& run) { takeRoadBoxes(map, run); });
  std::vector<Box> boxes;
  size_t next = 0;
  const size_t roads = store::roadCount(map);
  while (next < roads || !jobs.empty()) {
    while (next < roads && !jobs.full()) {
      auto run = std::make_unique<RoadBoxes>();
      run->begin = next;
      run->end = next = std::min(roads, next + kRoadsPerRun);
      jobs.give(std::move(run));
    }
    const std::unique_ptr<RoadBoxes> run = jobs.take();
    for (size_t p = run->begin; p < run->end; ++p) {
      boxes.push_back(run->boxes[p - run->begin]);
      if (run->isLong[p - run->begin]) addBlocks(index, static_cast<uint32_t>(p));
    }
  }
  buildBoxGrid(index.grid, std::move(boxes));
}

Box around(const Vertex* v, int64_t reach) {
  return {store::clampToCoord(v->x - reach), store::clampToCoord(v->y - reach),
          store::clampToCoord(v->x + reach), store::clampToCoord(v->y + reach)};
}

Wide distance2(const Vertex* a, Coord x, Coord y) {
  return square(int64_t{a->x} - x) + square(int64_t{a->y} - y);
}

// Exact squared distances as fractions; numerators, denominators and their
// cross products need up to 256 bits.
using U128 = unsigned __int128;

struct U256 {
  U128 high, low;
};

U256 multiply(U128 a, U128 b) {
  const uint64_t a0 = static_cast<uint64_t>(a), a1 = static_cast<uint64_t>(a >> 64);
  const uint64_t b0 = static_cast<uint64_t>(b), b1 = static_cast<uint64_t>(b >> 64);
  const U128 p00 = U128{a0} * b0, p01 = U128{a0} * b1, p10 = U128{a1} * b0, p11 = U128{a1} * b1;
  const U128 middle = (p00 >> 64) + static_cast<uint64_t>(p01) + static_cast<uint64_t>(p10);
  return {p11 + (p01 >> 64) + (p10 >> 64) + (middle >> 64),
          (middle << 64) | static_cast<uint64_t>(p00)};
}

bool lessThan(const U256& a, const U256& b) {
  return a.high != b.high ? a.high < b.high : a.low < b.low;
}

U128 magnitude(Wide v) {
  return static_cast<U128>(v < 0 ? -v : v);
}

// The squared distance from an end to a segment, num / den.
struct ExactDistance2 {
  U128 num, den;
};

bool nearer(const ExactDistance2& a, const ExactDistance2& b) {
  return lessThan(multiply(a.num, b.den), multiply(b.num, a.den));
}

// num / den rounded half away from zero, and rounded down; den > 0.
int64_t roundedQuotient(Wide num, Wide den) {
  const Wide q = (2 * (num < 0 ? -num : num) + den) / (2 * den);
  return static_cast<int64_t>(num < 0 ? -q : q);
}
int64_t floorQuotient(Wide num, Wide den) {
  const Wide q = num / den;
  return static_cast<int64_t>(q * den > num ? q - 1 : q);
}

// Where the end at e would go on segment (a, b) (b null: a road of one
// vertex), if the segment lies within sqrt(limit2) of it.
struct Foot {
  ExactDistance2 distance2;
  Coord x, y;
};

std::optional<Foot> footOnSegment(const Vertex* e, const Vertex* a, const Vertex* b, Wide limit2) {
  const auto atVertex = [&](const Vertex* v) -> std::optional<Foot> {
    const Wide d2 = distance2(v, e->x, e->y);
    if (d2 > limit2) return std::nullopt;
    return Foot{{static_cast<U128>(d2), 1}, v->x, v->y};
  };
  if (b == nullptr) return atVertex(a);
  const int64_t dx = int64_t{b->x} - a->x, dy = int64_t{b->y} - a->y;
  const int64_t ex = int64_t{e->x} - a->x, ey = int64_t{e->y} - a->y;
  const Wide length2 = square(dx) + square(dy);
  const Wide dot = Wide{ex} * dx + Wide{ey} * dy;
  if (length2 == 0 || dot <= 0) return atVertex(a);
  if (dot >= length2) return atVertex(b);
  const U128 cross = magnitude(Wide{ex} * dy - Wide{ey} * dx);
  const U256 num = multiply(cross, cross);
  if (lessThan(multiply(static_cast<U128>(limit2), static_cast<U128>(length2)), num))
    return std::nullopt;
  // Within the limit the numerator has fewer than 128 bits.
  Foot foot{{num.low, static_cast<U128>(length2)}, 0, 0};
  // The exact foot rounded to whole units; where that lies beyond the limit,
  // the whole point next to the foot that is nearest to the end.
  // The foot's coordinates times length2.
  const Wide footX = Wide{a->x} * length2 + Wide{dx} * dot;
  const Wide footY = Wide{a->y} * length2 + Wide{dy} * dot;
  foot.x = store::clampToCoord(roundedQuotient(footX, length2));
  foot.y = store::clampToCoord(roundedQuotient(footY, length2));
  if (distance2(e, foot.x, foot.y) <= limit2) return foot;
  const int64_t x0 = floorQuotient(footX, length2);
  const int64_t y0 = floorQuotient(footY, length2);
  Wide best = limit2 + 1;
  for (int64_t x = x0; x <= x0 + 1; ++x) {
    for (int64_t y = y0; y <= y0 + 1; ++y) {
      const Wide d2 = distance2(e, store::clampToCoord(x), store::clampToCoord(y));
      if (d2 < best) {
        best = d2;
        foot.x = store::clampToCoord(x);
        foot.y = store::clampToCoord(y);
      }
    }
  }
  if (best > limit2) return std::nullopt;
  return foot;
}

// Whether the vertex `id` lies on `road`: a vertex read by its id, which
// falls among the road's own; an inserted one by a walk of the chain.
bool onRoad(const store::Map& map, const Road& road, store::VertexId id) {
  if (!store::isInsertedVertex(map, id)) return id - road.first < road.readVertexCount;
  const Vertex* v = store::vertexAt(map, id);
  for (const Vertex* w = store::firstOf(map, road); w != nullptr; w = store::nextOf(map, w)) {
    if (w == v) return true;
  }
  return false;
}

// Calls test(id) for every member of v's ring, v last (its id is the one
// its predecessor holds), until test returns true; whether it did.
template <typename Test>
bool anyRingMember(const store::Map& map, const Vertex* v, Test test) {
  for (store::VertexId id = v->ring;; id = store::vertexAt(map, id)->ring) {
    if (test(id)) return true;
    if (store::vertexAt(map, id) == v) return false;
  }
}

// Whether a member of v's ring lies on another road than `road`. (Every
// ring the join makes holds vertices of two roads at least, so this is a
// walk only for ends that are welded.)
bool weldedToAnotherRoad(const store::Map& map, const Road& road, const Vertex* v) {
  return anyRingMember(map, v, [&](store::VertexId id) { return !onRoad(map, road, id); });
}

// Whether a member of v's ring lies on `road`.
bool ringTouches(const store::Map& map, const Road& road, const Vertex* v) {
  return anyRingMember(map, v, [&](store::VertexId id) { return onRoad(map, road, id); });
}

// The point of another road where an end would go.
struct Landing {
  uint32_t road;   // list position
  Vertex* start;   // the segment's start, behind which a new vertex goes
  Vertex* vertex;  // the existing vertex to weld to, or null: insert at (x, y)
  Coord x, y;
  ExactDistance2 distance2;  // from the end to the road
};

// What a loose end of `own` at e may do with the segment (a, b) of another
// road (b null for a road of one vertex): land on its nearest point, or on a
// vertex within 1 unit of it, within `limit2`; never where the weld would tie
// two vertices of `own` together.
std::optional<Landing> landingOn(const store::Map& map, const Road& own, const Vertex* e, Vertex* a,
                                 Vertex* b, Wide limit2, bool weldsToVertices) {
  const std::optional<Foot> foot = footOnSegment(e, a, b, limit2);
  if (!foot) return std::nullopt;
  Landing landing{0, a, nullptr, foot->x, foot->y, foot->distance2};
  if (!weldsToVertices) return landing;
  for (Vertex* candidate : {a, b}) {
    if (candidate != nullptr && distance2(candidate, foot->x, foot->y) <= 1 &&
        distance2(e, candidate->x, candidate->y) <= limit2) {
      landing.vertex = candidate;
      break;
    }
  }
  if (landing.vertex != nullptr && ringTouches(map, own, landing.vertex)) return std::nullopt;
  return landing;
}

// The nearest landing for end e of the road at list position `own`, on the
// segments of other roads near it; `slack` is how far roads may have moved
// since the index was built.
std::optional<Landing> nearestLanding(NearIndex& index, uint32_t own, const Vertex* e, Wide limit2,
                                      int64_t reach, int64_t slack, bool weldsToVertices) {
  std::optional<Landing> best;
  const Box query = around(e, reach + slack);
  roadsNear(index, query, index.found);
  const Road& ownRoad = store::roadAt(*index.map, own);
  auto consider = [&](uint32_t t, Vertex* a, Vertex* b) {
    const std::optional<Landing> landing =
        landingOn(*index.map, ownRoad, e, a, b, limit2, weldsToVertices);
    // Strictly nearer only: on ties the earlier road and segment stay.
    if (landing && (!best || nearer(landing->distance2, best->distance2))) {
      best = landing;
      best->road = t;
    }
  };
  for (uint32_t t : index.found) {
    if (t == own) continue;
    Road& road = store::roadAt(*index.map, t);
    Vertex* first = store::firstOf(*index.map, road);
    if (first->next == store::kNoVertex) {
      consider(t, first, nullptr);
      continue;
    }
    const auto blocksOf = index.longRoadBlocks.find(t);
    const bool isLong = blocksOf != index.longRoadBlocks.end();
    const uint32_t blocks = isLong ? blocksOf->second.second - blocksOf->second.first : 0;
    for (uint32_t k = 0; k < std::max<uint32_t>(blocks, 1); ++k) {
      Vertex* from = first;
      const Vertex* to = nullptr;
      if (isLong) {
        const uint32_t b = blocksOf->second.first + k;
        if (!boxesTouch(query, index.blockBox[b])) continue;
        from = index.blockFirst[b];
        to = k + 1 < blocks ? index.blockFirst[b + 1] : nullptr;
      }
      for (Vertex* a = from; a != to && a->next != store::kNoVertex;) {
        Vertex* b = store::nextOf(*index.map, a);
        consider(t, a, b);
        a = b;
      }
    }
  }
  return best;
}

// Calls visit(end) for each end of the road, the first before the last, that
// is welded to no other road (looked at as its turn comes).
template <typename Visit>
void forEachLooseEndOf(const store::Map& map, Road& road, Visit visit) {
  Vertex* first = store::firstOf(map, road);
  Vertex* last = store::lastOf(map, road);
  if (!weldedToAnotherRoad(map, road, first)) visit(first);
  if (last != first && !weldedToAnotherRoad(map, road, last)) visit(last);
}

// Calls visit(position, road, end) for every end of every road in list order,
// the first end before the last, that is welded to no other road.
template <typename Visit>
void forEachLooseEnd(NearIndex& index, Visit visit) {
  for (uint32_t r = 0; r < store::roadCount(*index.map); ++r) {
    Road& road = store::roadAt(*index.map, r);
    forEachLooseEndOf(*index.map, road, [&](Vertex* e) { visit(r, road, e); });
  }
}

// Moves end e (with its ring) onto the landing and welds it there.
void land(JoinContext& join, Vertex* e, const Landing& landing) {
  Vertex* target = landing.vertex;
  if (target == nullptr) {
    target = insertBehind(join, landing.start, landing.x, landing.y);
    countPlacement(join);
  }
  moveRing(join, e, target->x, target->y);
  assert(atOnePosition(e, target));
  store::joinRings(join.map, target, e);
}

// Closes the gap at the loose end e of the road at list position r, if a
// landing lies within reach; whether it did.
bool closeGapAt(JoinContext& join, NearIndex& index, uint32_t r, Road& road, Vertex* e) {
  const int64_t reach = minDistanceOf(join);
  // Each point of a road moves at most once, by at most the distance, before
  // a later end looks at it; an inserted vertex lies within a unit of its
  // segment.
  const int64_t slack = reach + 2;
  const std::optional<Landing> landing =
      nearestLanding(index, r, e, square(reach), reach, slack, true);
  if (!landing) return false;
  const Coord fromX = e->x, fromY = e->y;
  land(join, e, *landing);
  ++join.counts.gapsClosed;
  if (join.reportChanges) {
    join.events.roadPair(road, r, store::roadAt(join.map, landing->road), landing->road);
    join.events.changed({ChangeKind::kGap, fromX, fromY, e->x, e->y, landing->vertex == nullptr});
  }
  return true;
}

}  // namespace

void closeGaps(JoinContext& join) {
  if (minDistanceOf(join) <= 0) return;
  NearIndex index;
  buildNearIndex(index, join.map, join.helperThreads);
  forEachLooseEnd(index,
                  [&](uint32_t r, Road& road, Vertex* e) { closeGapAt(join, index, r, road, e); });
}

void closeGapsNearChanges(JoinContext& join, LaterRound& later) {
  if (minDistanceOf(join) <= 0) return;
  store::Map& map = join.map;
  // The boxes of the roads this round's sweep changed, as they stand now.
  const size_t roads = store::roadCount(map);
  for (const uint32_t p : later.changedNow)
    later.boxes[roads - 1 - p] = store::boxOf(map, store::roadAt(map, p));
  buildOverlapGrid(later.grid, later.boxes);
  NearIndex index;
  index.map = &map;
  index.roadGrid = &later.grid;
  for (uint32_t p = 0; p < roads; ++p) {
    if (store::roadAt(map, p).readVertexCount + later.insertedInto[p] > kLongRoad)
      addBlocks(index, p);
  }
  // The ends to look at: those of roads near a road changed since the last
  // gap pass (an end lies in its road's box), as more change.
  std::vector<bool> wanted(roads, false);
  std::vector<uint32_t> near;
  const int64_t reach = minDistanceOf(join) + int64_t{minDistanceOf(join)} + 2;  // and the slack
  const auto markNear = [&](uint32_t changed) {
    const store::ReadBox box = store::boxOf(map, store::roadAt(map, changed));
    roadsNear(index, grownBy({box.minX, box.minY, box.maxX, box.maxY}, reach), near);
    for (const uint32_t p : near) wanted[p] = true;
    wanted[changed] = true;
  };
  for (const uint32_t p : later.changedBefore) markNear(p);
  for (const uint32_t p : later.changedNow) markNear(p);
  for (uint32_t r = 0; r < roads; ++r) {
    if (!wanted[r]) continue;
    Road& road = store::roadAt(map, r);
    forEachLooseEndOf(map, road, [&](Vertex* e) {
      if (closeGapAt(join, index, r, road, e)) takeChanges(map, later, markNear);
    });
  }
}

void findOpenEnds(JoinContext& join, int64_t reach) {
  reach = std::min<int64_t>(reach, INT32_MAX);  // beyond that, nothing is near
  NearIndex index;
  buildNearIndex(index, join.map, join.helperThreads);
  forEachLooseEnd(index, [&](uint32_t r, Road& road, Vertex* e) {
    const std::optional<Landing> landing =
        nearestLanding(index, r, e, square(reach), reach, 0, false);
    if (!landing) return;
    ++join.counts.openEnds;
    if (!join.reportChanges) return;
    join.events.roadPair(road, r, store::roadAt(join.map, landing->road), landing->road);
    join.events.changed({ChangeKind::kOpenEnd, e->x, e->y, landing->x, landing->y});
  });
}

}  // namespace tovlek::junction
