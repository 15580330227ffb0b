#include "store/road_store.h"

#include <cstring>

#include "store/pools.h"

namespace tovlek::store {

int32_t MinDistance = 10;
Road* RoadList = nullptr;

namespace {

RecordPool<Vertex, size_t{1} << 16> vertexPool;
RecordPool<Vertex, size_t{1} << 16> insertedVertexPool;
RecordPool<Road, size_t{1} << 14> roadPool;
BytePool linePool;

// The road created last and where the pools stood before it: releasing it
// gives all its memory back, which keeps the reader's non-road sections free.
struct {
  const Road* road = nullptr;
  PoolMark roads, vertices, lines;
} newest;

}  // namespace

Road* createRoad() {
  newest.roads = roadPool.mark();
  newest.vertices = vertexPool.mark();
  newest.lines = linePool.mark();
  Road* road = roadPool.allocate();
  *road = Road{nullptr, nullptr, nullptr, kEmptyBoxMin, kEmptyBoxMin, kEmptyBoxMax, kEmptyBoxMax,
               -1,      -1,      0,       nullptr};
  newest.road = road;
  return road;
}

Vertex* createVertex(Coord x, Coord y) {
  Vertex* vertex = vertexPool.allocate();
  *vertex = Vertex{x, y, vertex, nullptr};
  return vertex;
}

Vertex* createInsertedVertex(Coord x, Coord y) {
  Vertex* vertex = insertedVertexPool.allocate();
  *vertex = Vertex{x, y, vertex, nullptr};
  return vertex;
}

bool isInsertedVertex(const Vertex* vertex) {
  return insertedVertexPool.owns(vertex);
}

void appendVertex(Road* road, Vertex* vertex) {
  if (road->first == nullptr) {
    road->first = vertex;
  } else {
    road->last->next = vertex;
  }
  road->last = vertex;
  road->readVertexCount++;

  // Bounds are computed in 64 bits: a coordinate near the 32-bit limit grown
  // by a huge MinDistance must not wrap. The stored bound saturates.
  const int64_t half = MinDistance / 2;
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

void prependExtraLine(Road* road, std::string_view text) {
  // The line record and its text in one piece.
  void* piece = linePool.allocate(sizeof(ExtraLine) + text.size() + 1);
  char* copy = static_cast<char*>(piece) + sizeof(ExtraLine);
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  road->extraLines = new (piece) ExtraLine{copy, text.size(), road->extraLines};
}

void pushRoad(Road* road) {
  road->next = RoadList;
  RoadList = road;
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

void releaseRoad(Road* road) {
  if (road != newest.road) return;  // its memory returns with releaseStorage
  vertexPool.rollback(newest.vertices);
  linePool.rollback(newest.lines);
  roadPool.rollback(newest.roads);
  newest.road = nullptr;
}

void releaseRoadList() {
  while (RoadList != nullptr) {
    Road* road = RoadList;
    RoadList = road->next;
    releaseRoad(road);
  }
}

void releaseStorage() {
  RoadList = nullptr;
  newest.road = nullptr;
  vertexPool.clear();
  insertedVertexPool.clear();
  roadPool.clear();
  linePool.clear();
}

}  // namespace tovlek::store
