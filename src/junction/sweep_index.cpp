#include "junction/sweep_index.h"

#include <algorithm>

#include "junction/junction.h"

namespace tovlek::junction {

namespace {

void addLongRoad(SweepIndex& index, const store::Map& map, size_t position) {
  const Road& road = roadAt(index, position);
  const uint32_t slot = static_cast<uint32_t>(index.longRoads.size());
  LongRoad entry{static_cast<uint32_t>(index.blockFirst.size()),
                 0,
                 static_cast<uint32_t>(index.groupBox.size()),
                 road.first,
                 road.readVertexCount,
                 Box::empty()};
  // Blocks of 16 vertices along the chain. Before the join it is the road's
  // read vertices, in id order; in a later round of the join, where it may
  // have gained vertices, each vertex's block is noted by its id.
  uint32_t k = 0;
  for (store::VertexId id = road.first; id != store::kNoVertex; ++k) {
    Vertex* v = store::vertexAt(map, id);
    if (k % kBlockSize == 0) {
      // The new block's first vertex also ends the previous block's last segment.
      if (k > 0) index.blockBox.back().grow(v->x, v->y);
      index.blockFirst.push_back(v);
      index.blockBox.push_back(Box::of(v));
      index.blockRoad.push_back(slot);
    } else {
      index.blockBox.back().grow(v->x, v->y);
    }
    if (!index.chainsAsRead)
      index.chainBlock.emplace_back(id, static_cast<uint32_t>(index.blockFirst.size() - 1));
    id = v->next;
  }
  entry.blockCount = static_cast<uint32_t>(index.blockFirst.size()) - entry.blockBase;
  for (uint32_t b = 0; b < entry.blockCount; ++b) {
    if (b % kGroupSize == 0) index.groupBox.push_back(Box::empty());
    index.groupBox.back().grow(index.blockBox[entry.blockBase + b]);
    entry.root.grow(index.blockBox[entry.blockBase + b]);
  }
  index.longPositions.push_back(static_cast<uint32_t>(position));
  index.longRoads.push_back(entry);
  index.longByFirstId.emplace_back(road.first, slot);
  for (size_t span = road.first / 64; span <= (road.first + road.readVertexCount - 1) / 64; ++span)
    index.nearLongRoad[span] = true;
}

// The block noted for a vertex id in a list of (id, block) by id, or -1.
int64_t noted(const std::vector<std::pair<store::VertexId, uint32_t>>& blocks, store::VertexId id) {
  const auto at = std::lower_bound(
      blocks.begin(), blocks.end(), id,
      [](const std::pair<store::VertexId, uint32_t>& e, store::VertexId v) { return e.first < v; });
  if (at == blocks.end() || at->first != id) return -1;
  return at->second;
}

// The global block of a vertex of a long road, or -1 for any other vertex.
int64_t blockOf(const SweepIndex& index, store::VertexId id) {
  if (id >= index.insertedFrom) return noted(index.insertedBlock, id);
  if (!index.chainsAsRead) return noted(index.chainBlock, id);
  if (!index.nearLongRoad[id / 64]) return -1;
  auto after = std::upper_bound(
      index.longByFirstId.begin(), index.longByFirstId.end(), id,
      [](store::VertexId v, const std::pair<store::VertexId, uint32_t>& e) { return v < e.first; });
  if (after == index.longByFirstId.begin()) return -1;
  const LongRoad& road = index.longRoads[std::prev(after)->second];
  if (id - road.firstId >= road.readCount) return -1;
  return road.blockBase + (id - road.firstId) / kBlockSize;
}

void growBlock(SweepIndex& index, uint32_t block, Coord x, Coord y) {
  LongRoad& road = index.longRoads[index.blockRoad[block]];
  index.blockBox[block].grow(x, y);
  index.groupBox[road.groupBase + (block - road.blockBase) / kGroupSize].grow(x, y);
  road.root.grow(x, y);
}

void growAround(SweepIndex& index, const Vertex* v, store::VertexId id) {
  const int64_t block = blockOf(index, id);
  if (block < 0) return;
  const uint32_t b = static_cast<uint32_t>(block);
  growBlock(index, b, v->x, v->y);
  // A block's first vertex also ends the previous block's last segment.
  const LongRoad& road = index.longRoads[index.blockRoad[b]];
  if (b > road.blockBase && index.blockFirst[b] == v) growBlock(index, b - 1, v->x, v->y);
}

}  // namespace

void buildSweepIndex(SweepIndex& index, const store::Map& map,
                     const std::vector<bool>* gainedVertices) {
  index = SweepIndex{};
  index.map = &map;
  index.modifications = map.edits;
  index.chainsAsRead = gainedVertices == nullptr;
  index.insertedFrom = static_cast<store::VertexId>(map.vertices.size);
  index.nearLongRoad.assign(map.readVertexEnd / 64 + 1, false);
  index.shortWithInserted =
      gainedVertices != nullptr ? *gainedVertices : std::vector<bool>(store::roadCount(map), false);
  for (size_t p = 0; p < store::roadCount(map); ++p) {
    if (store::roadAt(map, p).readVertexCount > kLongRoad) addLongRoad(index, map, p);
  }
  std::sort(index.longByFirstId.begin(), index.longByFirstId.end());
  std::sort(index.chainBlock.begin(), index.chainBlock.end());
}

void noteRingMoved(SweepIndex& index, const store::Map& map, const Vertex* v) {
  ++index.modifications;
  index.recentPositions.push_back(Box::of(v));
  if (index.longRoads.empty()) return;
  // Each member is reached through the id its predecessor holds.
  store::VertexId id = v->ring;
  const Vertex* member;
  do {
    member = store::vertexAt(map, id);
    growAround(index, member, id);
    id = member->ring;
  } while (member != v);
}

void noteInserted(SweepIndex& index, const store::Map& map, const Vertex* start,
                  const Vertex* inserted) {
  ++index.modifications;
  index.recentPositions.push_back(Box::of(inserted));
  if (index.longRoads.empty()) return;
  const int64_t block = blockOf(index, store::idOf(map, start));
  if (block < 0) return;
  // A new vertex's ring is its id, above every id inserted before.
  index.insertedBlock.emplace_back(inserted->ring, static_cast<uint32_t>(block));
  growBlock(index, static_cast<uint32_t>(block), inserted->x, inserted->y);
}

uint32_t nextNearBlock(const SweepIndex& index, const LongRoad& road, uint32_t block,
                       const Box& query, int64_t margin) {
  while (block < road.blockCount) {
    const uint32_t group = block / kGroupSize;
    if (!mayInteract(query, index.groupBox[road.groupBase + group], margin)) {
      block = (group + 1) * kGroupSize;
      continue;
    }
    if (mayInteract(query, index.blockBox[road.blockBase + block], margin)) return block;
    ++block;
  }
  return road.blockCount;
}

const LongRoad* indexedLongRoad(const SweepIndex& index, size_t position) {
  const auto at =
      std::lower_bound(index.longPositions.begin(), index.longPositions.end(), position);
  return &index.longRoads[static_cast<size_t>(at - index.longPositions.begin())];
}

Box currentBox(const SweepIndex& index, size_t position) {
  if (const LongRoad* road = longRoadAt(index, position)) return road->root;
  Box box = Box::empty();
  const store::Map& map = *index.map;
  for (const Vertex* v = store::firstOf(map, roadAt(index, position)); v != nullptr;
       v = store::nextOf(map, v))
    box.grow(v->x, v->y);
  return box;
}

// --- Road pairs ---------------------------------------------------------------

namespace {

constexpr int64_t kMaxCellsPerRoad = 64;

uint8_t classOf(const Box& box) {
  return static_cast<uint8_t>((box.minX > box.maxX ? 1 : 0) | (box.minY > box.maxY ? 2 : 0));
}

// Boxes of two classes can overlap only if no axis is inverted in both.
bool classesMayOverlap(uint8_t a, uint8_t b) {
  return (a & b) == 0;
}

// Road i's read-time box.
Box readBoxOf(const OverlapGrid& grid, uint32_t i) {
  const store::ReadBox& box = store::readBoxAt(*grid.readBoxes, i);
  return {box.minX, box.minY, box.maxX, box.maxY};
}

Box upright(const Box& box) {
  return {std::min(box.minX, box.maxX), std::min(box.minY, box.maxY), std::max(box.minX, box.maxX),
          std::max(box.minY, box.maxY)};
}

int64_t cellX(const ClassGrid& grid, int64_t x) {
  return (x - grid.originX) / grid.cellSize;
}
int64_t cellY(const ClassGrid& grid, int64_t y) {
  return (y - grid.originY) / grid.cellSize;
}

// Cells of the grid that the box touches, clipped to the grid.
struct CellRange {
  int64_t x0, y0, x1, y1;
  int64_t count() const { return x1 < x0 || y1 < y0 ? 0 : (x1 - x0 + 1) * (y1 - y0 + 1); }
};

CellRange cellsOf(const ClassGrid& grid, const Box& box) {
  return {std::max<int64_t>(0, cellX(grid, box.minX)), std::max<int64_t>(0, cellY(grid, box.minY)),
          std::min(grid.cellsX - 1, cellX(grid, box.maxX)),
          std::min(grid.cellsY - 1, cellY(grid, box.maxY))};
}

template <typename Visit>
void forEachCell(const ClassGrid& grid, const CellRange& range, Visit visit) {
  for (int64_t cy = range.y0; cy <= range.y1; ++cy) {
    for (int64_t cx = range.x0; cx <= range.x1; ++cx)
      visit(static_cast<size_t>(cy * grid.cellsX + cx));
  }
}

// Calls visit(i) for every member of the grid, ascending: every box whose
// class is the grid's (classes null: every box).
template <typename Visit>
void forEachMember(const ClassGrid& grid, size_t count, const std::vector<uint8_t>* classes,
                   uint32_t from, Visit visit) {
  for (uint32_t i = from; i < count; ++i) {
    if (classes == nullptr || (*classes)[i] == grid.boxClass) visit(i);
  }
}

// A cell size near the typical member's extent (the median of at most
// 65,536 members taken evenly), coarse enough that the grid has no more
// cells than members. Any cell size finds the same boxes; this one finds
// them fast.
template <typename BoxAt>
void chooseCells(ClassGrid& grid, size_t count, BoxAt boxAt, const std::vector<uint8_t>* classes) {
  int64_t maxX = INT64_MIN, maxY = INT64_MIN;
  grid.originX = INT64_MAX;
  grid.originY = INT64_MAX;
  const size_t every = std::max<size_t>(1, grid.members >> 16);
  std::vector<int64_t> extents;
  extents.reserve(grid.members / every + 1);
  size_t member = 0;
  forEachMember(grid, count, classes, 0, [&](uint32_t i) {
    const Box b = upright(boxAt(i));
    grid.originX = std::min<int64_t>(grid.originX, b.minX);
    grid.originY = std::min<int64_t>(grid.originY, b.minY);
    maxX = std::max<int64_t>(maxX, b.maxX);
    maxY = std::max<int64_t>(maxY, b.maxY);
    if (member++ % every == 0)
      extents.push_back(std::max(int64_t{b.maxX} - b.minX, int64_t{b.maxY} - b.minY));
  });
  const size_t middle = extents.size() / 2;
  std::nth_element(extents.begin(), extents.begin() + static_cast<ptrdiff_t>(middle),
                   extents.end());
  grid.cellSize = std::max<int64_t>(1, extents[middle]);
  const int64_t cellLimit = static_cast<int64_t>(grid.members) + 16;
  for (;;) {
    grid.cellsX = (maxX - grid.originX) / grid.cellSize + 1;
    grid.cellsY = (maxY - grid.originY) / grid.cellSize + 1;
    if (grid.cellsX * grid.cellsY <= cellLimit) break;
    grid.cellSize *= 2;
  }
}

// Cells for the `count` boxes boxAt(0 .. count - 1) of the grid's class.
template <typename BoxAt>
void fillCells(ClassGrid& grid, size_t count, BoxAt boxAt, const std::vector<uint8_t>* classes) {
  chooseCells(grid, count, boxAt, classes);
  std::vector<uint32_t> counts(static_cast<size_t>(grid.cellsX * grid.cellsY) + 1, 0);
  forEachMember(grid, count, classes, 0, [&](uint32_t i) {
    const CellRange range = cellsOf(grid, upright(boxAt(i)));
    if (range.count() > kMaxCellsPerRoad) {
      grid.bigRoads.push_back(i);
      return;
    }
    forEachCell(grid, range, [&](size_t cell) { ++counts[cell + 1]; });
  });
  for (size_t c = 1; c < counts.size(); ++c) counts[c] += counts[c - 1];
  grid.cellStart = counts;
  grid.cellRoads.resize(counts.back());
  forEachMember(grid, count, classes, 0, [&](uint32_t i) {
    const CellRange range = cellsOf(grid, upright(boxAt(i)));
    if (range.count() > kMaxCellsPerRoad) return;
    forEachCell(grid, range, [&](size_t cell) { grid.cellRoads[counts[cell]++] = i; });
  });
}

}  // namespace

void buildOverlapGrid(OverlapGrid& grid, const store::ReadBoxArray& boxes) {
  grid = OverlapGrid{};
  const size_t n = boxes.size;
  grid.roads = n;
  grid.readBoxes = &boxes;
  grid.boxClass.reserve(n);
  size_t classSizes[4] = {0, 0, 0, 0};
  for (uint32_t i = 0; i < n; ++i) {
    grid.boxClass.push_back(classOf(readBoxOf(grid, i)));
    ++classSizes[grid.boxClass.back()];
  }
  const auto boxAt = [&](uint32_t i) { return readBoxOf(grid, i); };
  for (uint8_t c = 0; c < 4; ++c) {
    grid.grids[c].boxClass = c;
    grid.grids[c].members = classSizes[c];
    if (classSizes[c] > 0) fillCells(grid.grids[c], n, boxAt, &grid.boxClass);
  }
  grid.lastSeen.assign(n, UINT16_MAX);
}

void buildBoxGrid(BoxGrid& grid, std::vector<Box> boxes) {
  grid = BoxGrid{};
  grid.boxes = std::move(boxes);
  grid.cells.members = grid.boxes.size();
  const auto boxAt = [&](uint32_t i) { return grid.boxes[i]; };
  if (!grid.boxes.empty()) fillCells(grid.cells, grid.boxes.size(), boxAt, nullptr);
  grid.lastSeen.assign(grid.boxes.size(), UINT32_MAX);
}

void boxesMeeting(BoxGrid& grid, const Box& query, std::vector<uint32_t>& found) {
  found.clear();
  if (grid.boxes.empty()) return;
  const uint32_t stamp = grid.queries++;
  auto test = [&](uint32_t i) {
    if (grid.lastSeen[i] == stamp) return;
    grid.lastSeen[i] = stamp;
    if (boxesTouch(query, grid.boxes[i])) found.push_back(i);
  };
  const CellRange range = cellsOf(grid.cells, query);
  if (range.count() > kMaxCellsPerRoad) {
    for (uint32_t i = 0; i < grid.boxes.size(); ++i) test(i);
  } else {
    for (uint32_t i : grid.cells.bigRoads) test(i);
    forEachCell(grid.cells, range, [&](size_t cell) {
      for (uint32_t k = grid.cells.cellStart[cell]; k < grid.cells.cellStart[cell + 1]; ++k)
        test(grid.cells.cellRoads[k]);
    });
  }
  std::sort(found.begin(), found.end());
}

namespace {

// Calls test(j) once for every road j >= from whose class may overlap
// `queryClass` and that lies in the cells of `query`'s upright box (every
// such road of a class grid where the box spans too many of its cells).
template <typename Test>
void forEachRoadNear(OverlapGrid& grid, const Box& query, uint8_t queryClass, uint32_t from,
                     Test test) {
  if (grid.queries % OverlapGrid::kStamps == 0)
    std::fill(grid.lastSeen.begin(), grid.lastSeen.end(), UINT16_MAX);
  const uint16_t stamp = static_cast<uint16_t>(grid.queries++ % OverlapGrid::kStamps);
  for (uint8_t other = 0; other < 4; ++other) {
    const ClassGrid& classGrid = grid.grids[other];
    if (!classesMayOverlap(queryClass, other) || classGrid.members == 0) continue;
    const CellRange range = cellsOf(classGrid, upright(query));
    if (range.count() > kMaxCellsPerRoad) {
      forEachMember(classGrid, grid.roads, &grid.boxClass, from, test);
      continue;
    }
    const auto& big = classGrid.bigRoads;
    for (auto at = std::lower_bound(big.begin(), big.end(), from); at != big.end(); ++at) test(*at);
    forEachCell(classGrid, range, [&](size_t cell) {
      const auto begin = classGrid.cellRoads.begin() + classGrid.cellStart[cell];
      const auto end = classGrid.cellRoads.begin() + classGrid.cellStart[cell + 1];
      for (auto at = std::lower_bound(begin, end, from); at != end; ++at) {
        const uint32_t j = *at;
        if (grid.lastSeen[j] == stamp) continue;
        grid.lastSeen[j] = stamp;
        test(j);
      }
    });
  }
}

}  // namespace

void roadsMeeting(OverlapGrid& grid, const Box& query, std::vector<uint32_t>& roads) {
  roads.clear();
  // An upright box is of class 0, which may overlap every class.
  forEachRoadNear(grid, query, 0, 0, [&](uint32_t j) {
    if (boxesTouch(query, readBoxOf(grid, j))) roads.push_back(j);
  });
  std::sort(roads.begin(), roads.end());
}

void partnersOf(OverlapGrid& grid, uint32_t i, std::vector<uint32_t>& partners, bool laterOnly) {
  partners.clear();
  const Box first = readBoxOf(grid, i);
  forEachRoadNear(grid, first, grid.boxClass[i], laterOnly ? i + 1 : 0, [&](uint32_t j) {
    if (j != i && boxesTouch(first, readBoxOf(grid, j))) partners.push_back(j);
  });
  std::sort(partners.begin(), partners.end());
}

}  // namespace tovlek::junction
