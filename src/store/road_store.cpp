#include "store/road_store.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>
#include <numeric>
#include <string>

#include "platform/platform.h"
#include "store/pools.h"

namespace tovlek::store {

struct LineStore {
  BytePool pool;
  std::string pending;  // the lines of the road being read
};

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

// A region holds whole chunks and whole huge pages, at least 16 MB of them.
size_t regionBytes(size_t chunkBytes) {
  const size_t both = std::lcm(chunkBytes, kHugePage);
  const size_t atLeast = size_t{16} << 20;
  return (atLeast + both - 1) / both * both;
}

}  // namespace

void ChunkMemory::Free::operator()(void* memory) const {
  platform::freeRegion(memory);
}

void* ChunkMemory::allocate() {
  if (capacity - used < chunkBytes) {
    const bool first = regions.empty();
    capacity = first ? chunkBytes : regionBytes(chunkBytes);
    void* region = platform::allocateRegion(capacity, first ? 64 : kHugePage);
    if (region == nullptr) throw std::bad_alloc();
    regions.emplace_back(region);
    used = 0;
  }
  void* chunk = static_cast<char*>(regions.back().get()) + used;
  used += chunkBytes;
  return chunk;
}

Map::Map(int32_t minDistance) : MinDistance(minDistance), lines(std::make_unique<LineStore>()) {}

Map::~Map() = default;

Road& beginRoad(Map& map) {
  map.lines->pending.clear();
  return map.roads.pushBack(Road{kNoVertex, -1, -1, 0, nullptr, 0});
}

void appendVertex(Map& map, Road& road, Coord x, Coord y) {
  const VertexId id = static_cast<VertexId>(map.vertices.size);
  map.vertices.pushBack(Vertex{x, y, kNoVertex, id, id});
  if (road.first == kNoVertex) {
    road.first = id;
  } else {
    vertexAt(map, id - 1)->next = id;  // a road's vertices read are consecutive
  }
  ++road.readVertexCount;
}

void appendExtraLine(Map& map, Road& road, std::string_view text) {
  std::string& pending = map.lines->pending;
  pending.append(text);
  // Until the road is kept, its lines are the pending ones.
  road.extraLines = pending.data();
  road.extraLinesLength = pending.size();
}

ReadBox boxOf(const Map& map, const Road& road) {
  // Bounds in 64 bits: a coordinate near the 32-bit limit grown by a huge
  // MinDistance must not wrap. The bound saturates.
  int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
  for (const Vertex* v = firstOf(map, road); v != nullptr; v = nextOf(map, v)) {
    minX = std::min<int64_t>(minX, v->x);
    maxX = std::max<int64_t>(maxX, v->x);
    minY = std::min<int64_t>(minY, v->y);
    maxY = std::max<int64_t>(maxY, v->y);
  }
  const int64_t half = map.MinDistance / 2;
  return {clampToCoord(minX - half), clampToCoord(minY - half), clampToCoord(maxX + half),
          clampToCoord(maxY + half)};
}

void keepRoad(Map& map, Road& road) {
  map.readBoxes.pushBack(boxOf(map, road));
  const std::string& pending = map.lines->pending;
  if (!pending.empty()) {
    char* copy = map.lines->pool.allocate(pending.size());
    std::memcpy(copy, pending.data(), pending.size());
    road.extraLines = copy;
  }
  map.lines->pending.clear();
}

void dropRoad(Map& map, Road& road) {
  if (road.first != kNoVertex) map.vertices.truncate(road.first);
  map.roads.truncate(map.roads.size - 1);
  map.lines->pending.clear();
}

void endReading(Map& map) {
  map.readVertexEnd = static_cast<VertexId>(map.vertices.size);
  map.movedBits.assign(map.readVertexEnd / 64 + 1, 0);
}

Vertex* insertBehind(Map& map, Vertex* start, Coord x, Coord y) {
  // lastOf finds a road's last vertex among those read.
  assert(start->next != kNoVertex && "nothing is inserted behind a road's last vertex");
  ++map.edits;
  const VertexId id = static_cast<VertexId>(map.vertices.size);
  const VertexId successor = start->next;
  Vertex* inserted = &map.vertices.pushBack(Vertex{x, y, successor, id, id});
  start->next = id;
  if (map.noteInsertions) map.insertedBefore.push_back(successor);
  return inserted;
}

size_t roadOfReadVertex(const Map& map, VertexId id) {
  size_t low = 0, high = map.roads.size;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (map.roads[middle].first <= id) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low - 1;
}

bool setPosition(Map& map, Vertex* vertex, Coord x, Coord y) {
  ++map.edits;
  bool changed = false;
  // Each member is reached through the id its predecessor holds.
  VertexId id = vertex->ring;
  Vertex* member;
  do {
    member = vertexAt(map, id);
    if (member->x != x || member->y != y) {
      changed = true;
      if (id < map.readVertexEnd) map.movedBits[id >> 6] |= uint64_t{1} << (id & 63);
      if (map.noteMoves) map.movedVertices.push_back(id);
    }
    member->x = x;
    member->y = y;
    id = member->ring;
  } while (member != vertex);
  return changed;
}

std::optional<std::string_view> InputText::text(uint64_t begin, uint64_t end,
                                                std::string& buffer) const {
  if (readAgain) {
    buffer.resize(end - begin);
    if (!readAgain(begin, end - begin, buffer.data())) return std::nullopt;
    return std::string_view(buffer);
  }
  size_t piece =
      static_cast<size_t>(std::upper_bound(pieceStarts.begin(), pieceStarts.end(), begin) -
                          pieceStarts.begin()) -
      1;
  if (end <= pieceStarts[piece] + pieces[piece].size())
    return std::string_view(pieces[piece]).substr(begin - pieceStarts[piece], end - begin);
  buffer.clear();
  for (uint64_t at = begin; at < end; ++piece) {
    const uint64_t stop = std::min<uint64_t>(end, pieceStarts[piece] + pieces[piece].size());
    buffer.append(pieces[piece], at - pieceStarts[piece], stop - at);
    at = stop;
  }
  return std::string_view(buffer);
}

namespace {

void renameRing(const Map& map, Vertex* start, VertexId ringId) {
  Vertex* member = start;
  do {
    member->ringId = ringId;
    member = ringNextOf(map, member);
  } while (member != start);
}

}  // namespace

void joinRings(const Map& map, Vertex* a, Vertex* b) {
  if (sameRing(a, b)) return;
  // The smaller ring takes the other's id: walking both in step, the smaller
  // one comes round first. Every vertex is renamed at most log2(n) times.
  const Vertex* walkA = ringNextOf(map, a);
  const Vertex* walkB = ringNextOf(map, b);
  while (walkA != a && walkB != b) {
    walkA = ringNextOf(map, walkA);
    walkB = ringNextOf(map, walkB);
  }
  if (walkA == a) {
    renameRing(map, a, b->ringId);
  } else {
    renameRing(map, b, a->ringId);
  }
  // Exchanging the successors of two vertices of different rings makes one.
  std::swap(a->ring, b->ring);
}

}  // namespace tovlek::store
