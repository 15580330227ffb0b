// The in-memory map: roads, their vertex chains, the rings that tie welded
// vertices of different roads together, the verbatim extra lines of a section
// and the list of kept roads. Plain records linked by 32-bit vertex ids, held
// in chunks that never move, so that a Vertex* stays valid for the life of
// the Map. No operation reports failure (a failed allocation throws
// std::bad_alloc, which the driver turns into an error line).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tovlek::store {

// A fixed-point coordinate in units of 1/100000 of a number of the map text.
using Coord = int32_t;

// A 64-bit value held within the range of a coordinate.
inline Coord clampToCoord(int64_t value) {
  return static_cast<Coord>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// A vertex's place in its Map: vertices read come first, in reading order,
// the vertices of one road consecutive; vertices the join inserts follow.
using VertexId = uint32_t;
inline constexpr VertexId kNoVertex = UINT32_MAX;

struct Vertex {
  Coord x;
  Coord y;
  VertexId next;    // next vertex along the road; kNoVertex at the last
  VertexId ring;    // next member of this vertex's weld ring (itself when alone)
  VertexId ringId;  // one id for all members of a ring: whether two share one is a comparison
};

// The vertices read of a road are first .. first + readVertexCount - 1, in
// order; the join never adds a vertex behind the last one.
struct Road {
  VertexId first;
  int32_t type;              // -1 while unset
  int32_t subtype;           // -1 while unset
  uint32_t readVertexCount;  // vertices appended while the road was read
  // The section's other lines, exactly as read and in reading order, one
  // after the other (each ends with its line end; the input's last line may
  // have none). They are written newest first.
  const char* extraLines;
  size_t extraLinesLength;
};

// The memory of an array's chunks, all of one size. The first chunk is
// allocated alone; later ones are cut from large regions that the kernel is
// asked to back with huge pages, so that a big map's records fault in 2 MB
// at a time instead of 4 KB.
struct ChunkMemory {
  explicit ChunkMemory(size_t bytesPerChunk) : chunkBytes(bytesPerChunk) {}
  void* allocate();  // one chunk, uninitialised

  struct Free {
    void operator()(void* memory) const;
  };
  size_t chunkBytes;
  std::vector<std::unique_ptr<void, Free>> regions;
  size_t used = 0;      // bytes of the last region handed out
  size_t capacity = 0;  // of the last region
};

// Records in chunks of 2^kShift that never move once allocated.
template <typename T, int kShift>
struct ChunkedArray {
  static_assert(std::is_trivially_copyable_v<T>);
  static constexpr size_t kChunk = size_t{1} << kShift;
  ChunkMemory memory{kChunk * sizeof(T)};
  std::vector<T*> chunks;
  size_t size = 0;

  T& operator[](size_t i) const { return chunks[i >> kShift][i & (kChunk - 1)]; }
  T& pushBack(const T& value) {
    if (size == chunks.size() * kChunk) chunks.push_back(static_cast<T*>(memory.allocate()));
    T& slot = (*this)[size++];
    slot = value;
    return slot;
  }
  // Forgets the records from `newSize` on; their memory stays for reuse.
  void truncate(size_t newSize) { size = newSize; }
};

struct LineStore;  // where extra lines are kept (see road_store.cpp)

// Where a kept road stands in the input, for the change report to name it
// by: kept only when a run asks for it.
struct RoadSource {
  int64_t headerLine;     // the line number of its section's header, from 1
  int64_t sectionNumber;  // its place among the input's polyline sections, from 1
};

// The input's text, for the layout that writes it back with only the joins
// changed: read again where the input can be (a file), else kept as it was
// read, in pieces one after the other (no section spans two). With it,
// where each kept road's section begins, and for every vertex read whether
// its pair is written exactly as the tool writes its position
// ("(46.00000,6.00150)"): then its position says all its text does.
struct InputText {
  // Reads `size` bytes of the input from `offset` into `into`; false on
  // failure, with errno set. Called from several threads at once. When
  // empty, the reader keeps the pieces.
  std::function<bool(uint64_t offset, size_t size, char* into)> readAgain;
  std::vector<std::string> pieces;
  std::vector<uint64_t> pieceStarts;  // offset of each piece in the input
  uint64_t size = 0;
  ChunkedArray<uint64_t, 14> sectionBegins;  // per kept road, in reading order
  std::vector<uint64_t> plainBits;           // per vertex read, one bit each

  bool isPlain(VertexId id) const { return (plainBits[id >> 6] >> (id & 63)) & 1u; }
  // The input [begin, end): read into `buffer`, or where the pieces are
  // kept, the piece itself when one holds it all. Empty on a read failure.
  std::optional<std::string_view> text(uint64_t begin, uint64_t end, std::string& buffer) const;
};

// The box of a road's vertices as read, grown by MinDistance / 2 on every
// side (saturated at the 32-bit range); made when the road is kept.
struct ReadBox {
  Coord minX, minY, maxX, maxY;
};
using ReadBoxArray = ChunkedArray<ReadBox, 14>;

// One run's map: the roads and the memory of every record. Roads are kept in
// reading order; the RoadList, newest first, is that order backwards.
struct Map {
  explicit Map(int32_t minDistance = 10);
  ~Map();
  Map(const Map&) = delete;
  Map& operator=(const Map&) = delete;

  // Every road's box grows by MinDistance / 2 (truncated toward zero) around
  // its vertices as they were read.
  int32_t MinDistance;
  ChunkedArray<Road, 14> roads;
  ChunkedArray<Vertex, 16> vertices;
  // The read-time box of every kept road, in reading order: made as the road
  // is kept, while its vertices are in the cache. (Later rounds of a join
  // that closes gaps take the boxes of the roads they change anew.)
  ReadBoxArray readBoxes;
  // Vertices below this id were read; the join inserts the ones above.
  VertexId readVertexEnd = 0;
  std::unique_ptr<LineStore> lines;
  // Per vertex read (from endReading on): whether the join has moved it
  // away from where it was read, one bit each.
  std::vector<uint64_t> movedBits;
  // For the join's rounds to find the roads it changed: while `noteMoves`
  // is set, every vertex whose position changes; and while
  // `noteInsertions` is set, for every vertex inserted, in the order of
  // their ids, the vertex behind it (of the same road).
  bool noteMoves = false;
  std::vector<VertexId> movedVertices;
  bool noteInsertions = false;
  std::vector<VertexId> insertedBefore;
  // Calls of setPosition and insertBehind so far: the join's fast sweep
  // checks that it was told of each.
  uint64_t edits = 0;
  // Kept by the reader when set: each kept road's place in the input, in
  // reading order, and the input's text.
  bool keepSources = false;
  ChunkedArray<RoadSource, 14> sources;
  std::unique_ptr<InputText> input;
};

inline Vertex* vertexAt(const Map& map, VertexId id) {
  return &map.vertices[id];
}
inline Vertex* firstOf(const Map& map, const Road& road) {
  return vertexAt(map, road.first);
}
// The reading index of the road that read vertex `id` (not an inserted
// one): a road's vertices read are consecutive, and roads read later have
// later ones.
size_t roadOfReadVertex(const Map& map, VertexId id);
inline Vertex* lastOf(const Map& map, const Road& road) {
  return vertexAt(map, road.first + road.readVertexCount - 1);
}
// The next vertex along the road, or null at its last.
inline Vertex* nextOf(const Map& map, const Vertex* v) {
  return v->next == kNoVertex ? nullptr : vertexAt(map, v->next);
}
// v's successor `next` (not kNoVertex) when v's own id is `id`. A road's
// vertices as read are consecutive records, so the successor is mostly the
// record right after v in the same chunk, found without the chunk lookup.
template <typename V>
inline V* successorAt(const Map& map, V* v, VertexId id, VertexId next) {
  constexpr VertexId kChunkMask = decltype(Map::vertices)::kChunk - 1;
  if (next == id + 1 && (next & kChunkMask) != 0) return v + 1;
  return vertexAt(map, next);
}
// The next member of v's ring (v itself when alone).
inline Vertex* ringNextOf(const Map& map, const Vertex* v) {
  return vertexAt(map, v->ring);
}

// Calls visit(vertex) for every vertex of the road's chain, in order.
template <typename Visit>
void forEachVertex(const Map& map, const Road& road, Visit visit) {
  for (const Vertex* v = firstOf(map, road); v != nullptr; v = nextOf(map, v)) visit(*v);
}

// The roads of the RoadList: its length, and the road at a position (0 is
// the head, the road read last).
inline size_t roadCount(const Map& map) {
  return map.roads.size;
}
inline Road& roadAt(const Map& map, size_t listPosition) {
  return map.roads[map.roads.size - 1 - listPosition];
}
// The read-time box of the road at a list position, from boxes kept in
// reading order (as the map keeps them).
inline const ReadBox& readBoxAt(const ReadBoxArray& boxes, size_t listPosition) {
  return boxes[boxes.size - 1 - listPosition];
}
inline const ReadBox& readBoxAt(const Map& map, size_t listPosition) {
  return readBoxAt(map.readBoxes, listPosition);
}

// The road being read: a new road with no vertices and no extra lines, type
// and subtype -1. Until keepRoad or dropRoad, vertices and lines go to it.
Road& beginRoad(Map& map);

// Appends a vertex at (x, y) to the road being read.
void appendVertex(Map& map, Road& road, Coord x, Coord y);

// Adds a line to the road being read, after the ones before. (Until the
// road is kept, its extra lines are held apart, and valid until the next
// line is added.)
void appendExtraLine(Map& map, Road& road, std::string_view text);

// Puts the road being read at the head of the RoadList.
void keepRoad(Map& map, Road& road);

// The box of the road's vertices as they stand, grown as a ReadBox is.
ReadBox boxOf(const Map& map, const Road& road);

// Forgets the road being read, with its vertices and extra lines.
void dropRoad(Map& map, Road& road);

// Marks the end of reading: every vertex made from now on is an inserted one.
void endReading(Map& map);

// True for a vertex that the join inserted.
inline bool isInsertedVertex(const Map& map, VertexId id) {
  return id >= map.readVertexEnd;
}

// The id of a vertex: found along its ring, which comes back to it (a lone
// vertex's ring is its own id).
inline VertexId idOf(const Map& map, const Vertex* v) {
  VertexId id = v->ring;
  while (vertexAt(map, id) != v) id = vertexAt(map, id)->ring;
  return id;
}

// Moves the vertex and every other member of its ring to (x, y); every
// vertex read that this takes to another position is noted as moved.
// Returns whether any position changed.
bool setPosition(Map& map, Vertex* vertex, Coord x, Coord y);

// A new vertex at (x, y), alone in its ring, linked in directly behind
// `start`, which must have a successor (so the road's last vertex stays
// its last).
Vertex* insertBehind(Map& map, Vertex* start, Coord x, Coord y);

// Whether the join has moved the vertex read with this id; an inserted
// vertex counts as moved.
inline bool wasMoved(const Map& map, VertexId id) {
  if (isInsertedVertex(map, id)) return true;
  return (map.movedBits[id >> 6] >> (id & 63)) & 1u;
}

// The source of the road at a list position (when sources are kept).
inline const RoadSource& sourceAt(const Map& map, size_t listPosition) {
  return map.sources[map.sources.size - 1 - listPosition];
}

// Makes the rings of a and b one. Moves nothing, and does nothing when they
// share a ring already (rings are never cut apart).
void joinRings(const Map& map, Vertex* a, Vertex* b);

inline bool sameRing(const Vertex* a, const Vertex* b) {
  return a->ringId == b->ringId;
}

}  // namespace tovlek::store
