#include "store/road_store.h"

#include <cstring>

namespace tovlek::store {

int32_t MinDistance = 10;
Road* RoadList = nullptr;

Road* createRoad() {
  return new Road{nullptr, nullptr, nullptr, kEmptyBoxMin, kEmptyBoxMin, kEmptyBoxMax, kEmptyBoxMax,
                  -1,      -1,      0,       nullptr};
}

Vertex* createVertex(Coord x, Coord y) {
  Vertex* vertex = new Vertex{x, y, nullptr, nullptr};
  vertex->ring = vertex;
  return vertex;
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
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  road->extraLines = new ExtraLine{copy, text.size(), road->extraLines};
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
  while (road->first != nullptr) {
    Vertex* vertex = road->first;
    road->first = vertex->next;
    delete vertex;
  }
  while (road->extraLines != nullptr) {
    ExtraLine* line = road->extraLines;
    road->extraLines = line->next;
    delete[] line->text;
    delete line;
  }
  delete road;
}

void releaseRoadList() {
  while (RoadList != nullptr) {
    Road* road = RoadList;
    RoadList = road->next;
    releaseRoad(road);
  }
}

}  // namespace tovlek::store
