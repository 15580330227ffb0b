#include "store/road_store.h"

#include <cstring>

#include "store/pools.h"

namespace tovlek::store {

struct Storage {
  RecordPool<Vertex, size_t{1} << 16> vertices;
  RecordPool<Vertex, size_t{1} << 16> insertedVertices;
  RecordPool<Road, size_t{1} << 14> roads;
  BytePool lines;
  // The road created last and where the pools stood before it: releasing it
  // gives all its memory back, which keeps the reader's non-road sections free.
  const Road* newest = nullptr;
  PoolMark newestRoads, newestVertices, newestLines;
};

Map::Map(int32_t minDistance) : MinDistance(minDistance), storage(std::make_unique<Storage>()) {}

Map::~Map() = default;

Road* createRoad(Map& map) {
  Storage& s = *map.storage;
  s.newestRoads = s.roads.mark();
  s.newestVertices = s.vertices.mark();
  s.newestLines = s.lines.mark();
  Road* road = s.roads.allocate();
  *road = Road{nullptr, nullptr, nullptr, kEmptyBoxMin, kEmptyBoxMin, kEmptyBoxMax, kEmptyBoxMax,
               -1,      -1,      0,       nullptr};
  s.newest = road;
  return road;
}

Vertex* createVertex(Map& map, Coord x, Coord y) {
  Vertex* vertex = map.storage->vertices.allocate();
  *vertex = Vertex{x, y, vertex, nullptr};
  return vertex;
}

Vertex* createInsertedVertex(Map& map, Coord x, Coord y) {
  Vertex* vertex = map.storage->insertedVertices.allocate();
  *vertex = Vertex{x, y, vertex, nullptr};
  return vertex;
}

bool isInsertedVertex(const Map& map, const Vertex* vertex) {
  return map.storage->insertedVertices.owns(vertex);
}

void appendVertex(Map& map, Road* road, Vertex* vertex) {
  if (road->first == nullptr) {
    road->first = vertex;
  } else {
    road->last->next = vertex;
  }
  road->last = vertex;
  road->readVertexCount++;

  // Bounds are computed in 64 bits: a coordinate near the 32-bit limit grown
  // by a huge MinDistance must not wrap. The stored bound saturates.
  const int64_t half = map.MinDistance / 2;
  auto clamp = [](int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
  };
  const int64_t x = vertex->x, y = vertex->y;
  if (x + half > road->maxX) road->maxX = clamp(x + half);
  if (x - half < road->minX) road->minX = clamp(x - half);
  if (y + half > road->maxY) road->maxY = clamp(y + half);
  if (y - half < road->minY) road->minY = clamp(y - half);
}

void prependExtraLine(Map& map, Road* road, std::string_view text) {
  // The line record and its text in one piece.
  void* piece = map.storage->lines.allocate(sizeof(ExtraLine) + text.size() + 1);
  char* copy = static_cast<char*>(piece) + sizeof(ExtraLine);
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  road->extraLines = new (piece) ExtraLine{copy, text.size(), road->extraLines};
}

void pushRoad(Map& map, Road* road) {
  road->next = map.RoadList;
  map.RoadList = road;
}

void setPosition(Vertex* vertex, Coord x, Coord y) {
  vertex->x = x;
  vertex->y = y;
  for (Vertex* member = vertex->ring; member != vertex; member = member->ring) {
    member->x = x;
    member->y = y;
  }
}

void joinRings(Vertex* a, Vertex* b) {
  if (sameRing(a, b)) return;
  Vertex* beforeB = b;
  while (beforeB->ring != b) beforeB = beforeB->ring;
  beforeB->ring = a->ring;
  a->ring = b;
}

bool sameRing(const Vertex* a, const Vertex* b) {
  const Vertex* member = a;
  do {
    if (member == b) return true;
    member = member->ring;
  } while (member != a);
  return false;
}

void releaseRoad(Map& map, Road* road) {
  Storage& s = *map.storage;
  if (road != s.newest) return;  // its memory returns with the Map
  s.vertices.rollback(s.newestVertices);
  s.lines.rollback(s.newestLines);
  s.roads.rollback(s.newestRoads);
  s.newest = nullptr;
}

void releaseRoadList(Map& map) {
  while (map.RoadList != nullptr) {
    Road* road = map.RoadList;
    map.RoadList = road->next;
    releaseRoad(map, road);
  }
}

}  // namespace tovlek::store
