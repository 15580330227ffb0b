// The in-memory map: roads, their vertex chains, the rings that tie welded
// vertices of different roads together, the verbatim extra lines of a section
// and the list of kept roads. Plain records linked by pointers; every
// operation works directly on their fields and none reports failure (a failed
// allocation throws std::bad_alloc, which the driver turns into an error line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace tovlek::store {

// A fixed-point coordinate in units of 1/100000 of a number of the map text.
using Coord = int32_t;

inline constexpr Coord kEmptyBoxMin = 2147483647;
inline constexpr Coord kEmptyBoxMax = -2147483647;

struct Vertex {
  Coord x;
  Coord y;
  Vertex* ring;  // next member of this vertex's weld ring; never null
  Vertex* next;  // next vertex along the road; null at the last
};

// One uninterpreted line of a polyline section, exactly as read (line end
// and any NUL bytes included; `length` counts them all).
struct ExtraLine {
  char* text;
  size_t length;
  ExtraLine* next;
};

struct Road {
  Vertex* first;
  Vertex* last;
  ExtraLine* extraLines;  // newest first
  Coord minX;
  Coord minY;
  Coord maxX;
  Coord maxY;
  int32_t type;             // -1 while unset
  int32_t subtype;          // -1 while unset
  int32_t readVertexCount;  // vertices appended while the road was read
  Road* next;               // next road of the RoadList
};

struct Storage;  // the memory of the records (pools; see road_store.cpp)

// One run's map: the kept roads and the memory of every record. Records live
// as long as the Map; releasing a road gives its memory back only where that
// is cheap (the road created last, as the reader's non-road sections are).
struct Map {
  explicit Map(int32_t minDistance = 10);
  ~Map();
  Map(const Map&) = delete;
  Map& operator=(const Map&) = delete;

  // Head of the kept roads, the road kept last at the head.
  Road* RoadList = nullptr;
  // Every road's box grows by MinDistance / 2 (truncated toward zero) around
  // its vertices as they are read.
  int32_t MinDistance;
  std::unique_ptr<Storage> storage;
};

// A new road: no vertices, no extra lines, type and subtype -1, empty box.
Road* createRoad(Map& map);

// A new vertex at (x, y), alone in its ring, with no successor.
Vertex* createVertex(Map& map, Coord x, Coord y);

// A vertex that the join inserts into a road: like createVertex, but kept
// apart, so that isInsertedVertex tells it from the vertices read.
Vertex* createInsertedVertex(Map& map, Coord x, Coord y);

// True for a vertex made by createInsertedVertex.
bool isInsertedVertex(const Map& map, const Vertex* vertex);

// Appends the vertex at the road's tail and grows the road's box by
// MinDistance / 2 around it.
void appendVertex(Map& map, Road* road, Vertex* vertex);

// Copies the text into a new ExtraLine at the head of the road's extraLines.
void prependExtraLine(Map& map, Road* road, std::string_view text);

// Puts the road at the head of the RoadList.
void pushRoad(Map& map, Road* road);

// Moves the vertex and every other member of its ring to (x, y).
void setPosition(Vertex* vertex, Coord x, Coord y);

// Makes the rings of a and b one: the ring of b is spliced in directly
// behind a. Moves nothing, and does nothing when they share a ring already
// (joining two members of one ring would cut it apart).
void joinRings(Vertex* a, Vertex* b);

// True when b is a member of a's ring (walks the ring once).
bool sameRing(const Vertex* a, const Vertex* b);

// Releases the road with its vertices and extra lines. The memory of the
// road created last returns at once (that is how the reader drops non-road
// sections); any other road's returns with the Map. Ring links are not
// undone, so no vertex of the road may share a ring with one still in use.
void releaseRoad(Map& map, Road* road);

// Releases every road of the RoadList, head first, and leaves it empty.
void releaseRoadList(Map& map);

}  // namespace tovlek::store
