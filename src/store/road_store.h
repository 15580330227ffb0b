// The in-memory map: roads, their vertex chains, the rings that tie welded
// vertices of different roads together, the verbatim extra lines of a section
// and the list of kept roads. Plain records linked by pointers; every
// operation works directly on their fields and none reports failure (a failed
// allocation throws std::bad_alloc, which the driver turns into an error line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tovlek::store {

// A fixed-point coordinate in units of 1/100000 of a number of the map text.
using Coord = int32_t;

// Weld, near-miss and snap distance in Coord units; also grows every road's
// box by MinDistance / 2 (truncated toward zero) while the road is read.
extern int32_t MinDistance;

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

// Head of the kept roads, the road kept last at the head.
extern Road* RoadList;

// A new road: no vertices, no extra lines, type and subtype -1, empty box.
Road* createRoad();

// A new vertex at (x, y), alone in its ring, with no successor.
Vertex* createVertex(Coord x, Coord y);

// A vertex that the join inserts into a road: like createVertex, but from a
// pool of its own, so that isInsertedVertex tells it from the vertices read.
Vertex* createInsertedVertex(Coord x, Coord y);

// True for a vertex made by createInsertedVertex.
bool isInsertedVertex(const Vertex* vertex);

// Appends the vertex at the road's tail and grows the road's box by
// MinDistance / 2 around it.
void appendVertex(Road* road, Vertex* vertex);

// Copies the text into a new ExtraLine at the head of the road's extraLines.
void prependExtraLine(Road* road, std::string_view text);

// Puts the road at the head of the RoadList.
void pushRoad(Road* road);

// Moves the vertex and every other member of its ring to (x, y).
void setPosition(Vertex* vertex, Coord x, Coord y);

// Splices the ring of b into the ring of a, directly behind a. Moves nothing.
// If a and b already share a ring, the members strictly between them (walking
// from a) are cut out into a ring of their own; callers that must keep rings
// whole test sameRing first.
void joinRings(Vertex* a, Vertex* b);

// True when b is a member of a's ring (walks the ring once).
bool sameRing(const Vertex* a, const Vertex* b);

// Releases the road with its vertices and extra lines. Records come from
// pools: the memory of the road created last returns at once (that is how
// the reader drops non-road sections), any other road's with releaseStorage.
// Ring links are not undone, so no vertex of the road may share a ring with
// one still in use.
void releaseRoad(Road* road);

// Releases every road of the RoadList, head first, and leaves it empty.
void releaseRoadList();

// Gives all pooled memory back; no road, vertex or extra line may be in use.
void releaseStorage();

}  // namespace tovlek::store
