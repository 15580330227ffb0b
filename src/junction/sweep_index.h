// Spatial bookkeeping for the fast sweep (internal to the junction builder).
//
// Road pairs: the read-time boxes never change, so the pairs whose boxes
// overlap are found through a uniform grid instead of testing every pair.
//
// Vertex pairs: every step that changes anything (a weld, a snap, a
// placement) happens within MinDistance + 2 of both segments involved, as long
// as the arithmetic is exact (all coordinates within +-2^25, which every map of
// the earth is). So a vertex pair may be skipped when the boxes of its two
// segments, one grown by that margin, do not meet. Long roads keep the boxes
// of blocks of consecutive vertices in a two-level tree; every move and every
// insertion grows the boxes of the blocks concerned, so the boxes always hold
// the current positions, and a skip decided on them is safe.
#pragma once

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "store/road_store.h"

namespace tovlek::junction {

using store::Coord;
using store::Road;
using store::Vertex;

struct Box {
  Coord minX, minY, maxX, maxY;

  static Box empty() { return {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}; }
  static Box everything() { return {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}; }
  static Box of(const Vertex* v) { return {v->x, v->y, v->x, v->y}; }
  void grow(Coord x, Coord y) {
    if (x < minX) minX = x;
    if (x > maxX) maxX = x;
    if (y < minY) minY = y;
    if (y > maxY) maxY = y;
  }
  void grow(const Box& other) {
    grow(other.minX, other.minY);
    grow(other.maxX, other.maxY);
  }
};

// The box of the segment from a to b, made without branches: which end lies
// lower follows the data, and no predictor guesses it.
inline Box segmentBetween(const Vertex* a, const Vertex* b) {
  const int64_t dx = int64_t{a->x} - b->x, dy = int64_t{a->y} - b->y;
  const int64_t lowDx = dx & (dx >> 63),
                lowDy = dy & (dy >> 63);  // the difference where negative, else 0
  return {static_cast<Coord>(b->x + lowDx), static_cast<Coord>(b->y + lowDy),
          static_cast<Coord>(a->x - lowDx), static_cast<Coord>(a->y - lowDy)};
}

// The box of the segment that starts at v (just v at a road's end).
inline Box segmentBox(const store::Map& map, const Vertex* v) {
  return segmentBetween(v, v->next == store::kNoVertex ? v : store::vertexAt(map, v->next));
}

// Whether the box lies where the arithmetic of the crossing test is exact
// (every coordinate within 2^25 in magnitude): only there may a box test
// rule out a step.
inline bool isExact(const Box& box) {
  constexpr Coord kExact = 1 << 25;
  return box.minX >= -kExact && box.minY >= -kExact && box.maxX <= kExact && box.maxY <= kExact;
}

// The boxes, one grown by `margin`, meet.
inline bool boxesMeet(const Box& a, const Box& b, int64_t margin) {
  return b.minX <= a.maxX + margin && a.minX <= b.maxX + margin && b.minY <= a.maxY + margin &&
         a.minY <= b.maxY + margin;
}

// The box grown by `margin` (not negative) on every side, held within the
// 32-bit range: a box touches it exactly when boxesMeet(box, other, margin).
inline Box grownBy(const Box& box, int64_t margin) {
  if (margin < (int64_t{1} << 30) && isExact(box)) {
    const Coord m = static_cast<Coord>(margin);  // the common case: no sum leaves the range
    return {box.minX - m, box.minY - m, box.maxX + m, box.maxY + m};
  }
  return {store::clampToCoord(box.minX - margin), store::clampToCoord(box.minY - margin),
          store::clampToCoord(box.maxX + margin), store::clampToCoord(box.maxY + margin)};
}

// The boxes (a Box or a store::ReadBox) meet; touching counts. One branch
// for the four tests, for the same reason as above.
template <typename A, typename B>
inline bool boxesTouch(const A& a, const B& b) {
  return (b.minX <= a.maxX) & (a.minX <= b.maxX) & (b.minY <= a.maxY) & (a.minY <= b.maxY);
}

// Whether the box of the segment from a to b touches `box`, decided on the
// ends without making the segment's box, in one branch.
template <typename Position>
inline bool segmentTouches(const Box& box, const Position& a, const Position& b) {
  return ((a.x <= box.maxX) | (b.x <= box.maxX)) & ((a.x >= box.minX) | (b.x >= box.minX)) &
         ((a.y <= box.maxY) | (b.y <= box.maxY)) & ((a.y >= box.minY) | (b.y >= box.minY));
}

// The segments of a chain that touch `box`, 32 at a time: bit 2k is set
// when segment k, from positions[k] to positions[k + 1], touches it
// (k < count <= 32); odd bits are clear. Segments are tested in runs of
// kSegmentsPerRun, so positions[k] must be readable up to
// k = count + kSegmentsPerRun.
inline constexpr size_t kSegmentsPerMask = 32;
inline constexpr size_t kSegmentsPerRun = 16;
template <typename Position>
inline uint64_t segmentsTouching(const Box& box, const Position* positions, size_t count) {
  uint64_t missed = 0;  // bit 2k + axis: segment k lies beyond the box on that axis
#if defined(__SSE2__)
  // Where each position lies: bit 2k + axis of `beyondHigh` (`beyondLow`)
  // when position k lies beyond the box's high (low) side on that axis; a
  // segment misses the box when both its ends lie beyond one side. Eight
  // positions at once, their sixteen comparisons packed to one byte each and
  // read as one mask, in whole runs: most chains fit in one, and a loop of
  // fixed length ends where the predictor expects. The 33rd position, which
  // ends the 32nd segment, is placed apart.
  static_assert(sizeof(Position) == 8 && kSegmentsPerRun % 8 == 0);
  const __m128i low = _mm_setr_epi32(box.minX, box.minY, box.minX, box.minY);
  const __m128i high = _mm_setr_epi32(box.maxX, box.maxY, box.maxX, box.maxY);
  uint64_t beyondHigh = 0, beyondLow = 0;
  const size_t positionCount = std::min(count + 1, kSegmentsPerMask);
  for (size_t run = 0; run < positionCount; run += kSegmentsPerRun) {
    for (size_t k = run; k < run + kSegmentsPerRun; k += 8) {
      const __m128i* eight = reinterpret_cast<const __m128i*>(positions + k);
      const __m128i p0 = _mm_loadu_si128(eight), p1 = _mm_loadu_si128(eight + 1),
                    p2 = _mm_loadu_si128(eight + 2), p3 = _mm_loadu_si128(eight + 3);
      const __m128i above =
          _mm_packs_epi16(_mm_packs_epi32(_mm_cmpgt_epi32(p0, high), _mm_cmpgt_epi32(p1, high)),
                          _mm_packs_epi32(_mm_cmpgt_epi32(p2, high), _mm_cmpgt_epi32(p3, high)));
      const __m128i below =
          _mm_packs_epi16(_mm_packs_epi32(_mm_cmplt_epi32(p0, low), _mm_cmplt_epi32(p1, low)),
                          _mm_packs_epi32(_mm_cmplt_epi32(p2, low), _mm_cmplt_epi32(p3, low)));
      beyondHigh |= uint64_t{static_cast<unsigned>(_mm_movemask_epi8(above))} << (2 * k);
      beyondLow |= uint64_t{static_cast<unsigned>(_mm_movemask_epi8(below))} << (2 * k);
    }
  }
  uint64_t endBeyondHigh = beyondHigh >> 2, endBeyondLow = beyondLow >> 2;
  if (count == kSegmentsPerMask) {
    const Position& last = positions[kSegmentsPerMask];
    endBeyondHigh |= uint64_t{(last.x > box.maxX) | (unsigned{last.y > box.maxY} << 1)} << 62;
    endBeyondLow |= uint64_t{(last.x < box.minX) | (unsigned{last.y < box.minY} << 1)} << 62;
  }
  missed = (beyondHigh & endBeyondHigh) | (beyondLow & endBeyondLow);
#else
  for (size_t k = 0; k < count; ++k)
    missed |= uint64_t{!segmentTouches(box, positions[k], positions[k + 1])} << (2 * k);
#endif
  const uint64_t touching = ~(missed | missed >> 1) & 0x5555555555555555u;
  return count == kSegmentsPerMask ? touching : touching & ((uint64_t{1} << (2 * count)) - 1);
}

// Whether something within `a` may act on something within `b`: their boxes,
// one grown by `margin`, meet, or either lies where the arithmetic is not
// exact (then nothing is skipped).
inline bool mayInteract(const Box& a, const Box& b, int64_t margin) {
  if (!isExact(a) || !isExact(b)) return true;
  return boxesMeet(a, b, margin);
}

inline constexpr int kBlockSize = 16;  // vertices per block, as read
inline constexpr int kGroupSize = 16;  // blocks per group
inline constexpr int kLongRoad = 48;   // roads read with more vertices are indexed

// The blocks of one long road: block k holds read vertices 16k..16k+15, every
// vertex later inserted behind them, and the end of its last segment.
struct LongRoad {
  uint32_t blockBase;  // first block in SweepIndex::blockFirst/blockBox
  uint32_t blockCount;
  uint32_t groupBase;       // first group in SweepIndex::groupBox
  store::VertexId firstId;  // its read vertices are firstId .. firstId + readCount - 1
  uint32_t readCount;
  Box root;  // holds every block
};

struct SweepIndex {
  const store::Map* map = nullptr;
  std::vector<uint32_t> longPositions;  // list positions of the long roads, ascending
  std::vector<LongRoad> longRoads;      // in the same order
  std::vector<Vertex*> blockFirst;
  std::vector<Box> blockBox;
  std::vector<Box> groupBox;
  std::vector<uint32_t> blockRoad;  // long road slot of each block

  // Long road slots by the id of their first vertex, for finding the block
  // of a moved vertex that was read.
  std::vector<std::pair<store::VertexId, uint32_t>> longByFirstId;
  // Per span of 64 vertices read: whether a long road has some of them, so
  // that the search above runs only there.
  std::vector<bool> nearLongRoad;
  // The vertices inserted into long roads (a few percent of those inserted),
  // by id, ascending as they are made, each with its block.
  std::vector<std::pair<store::VertexId, uint32_t>> insertedBlock;
  store::VertexId insertedFrom = 0;  // vertices made from here on were inserted in this sweep
  // Whether every road's chain is its vertices as read, in id order (the
  // join's first round); else the block of every vertex of a long road, by
  // id.
  bool chainsAsRead = true;
  std::vector<std::pair<store::VertexId, uint32_t>> chainBlock;

  // Moves and insertions it was told of, counted on from the map's edits
  // when it was built: the two stay equal.
  uint64_t modifications = 0;
  struct Position {
    Coord x, y;
  };
  // A short road's vertices and their positions as the fast sweep last took
  // them, the last position twice, so that segment k runs from position k to
  // k + 1.
  struct Chain {
    std::vector<Vertex*> vertices;
    std::vector<Position> positions;
    size_t length = 0;   // vertices; the two above only grow
    bool exact = false;  // all its positions lie where isExact holds
    size_t road = 0;     // its list position
    // When the chain has more than 32 segments (a road read with 33 to 48
    // vertices, or one that gained many): the box of each run of 32
    // segments' positions, so that a run far from the query is passed
    // over with one test.
    std::vector<Box> runBoxes;
  };
  // The second road of the pair being processed, when it is short.
  Chain second;
  // The first road, when it and the second are short: kept for all its pairs,
  // and valid while no modification has been made since it was taken or
  // brought up to date.
  Chain first;
  size_t firstPosition = SIZE_MAX;
  uint64_t firstModifications = 0;
  // Per list position: whether the fast sweep may have inserted a vertex
  // into that short road. A road without is its vertices read.
  std::vector<bool> shortWithInserted;
  // Positions that vertices were moved or inserted at since the fast loop
  // last looked; it grows its own boxes by them and clears the list.
  std::vector<Box> recentPositions;
};

// Builds the index over the RoadList (blocks of long roads). Before the
// join every chain is its vertices as read; in a later round of the join,
// `gainedVertices` says (per list position) which roads have vertices
// inserted.
void buildSweepIndex(SweepIndex& index, const store::Map& map,
                     const std::vector<bool>* gainedVertices = nullptr);

// The road at a list position, and its blocks if it is long (else null).
inline Road& roadAt(const SweepIndex& index, size_t position) {
  return store::roadAt(*index.map, position);
}
// The blocks of the road at a list position read with more than kLongRoad
// vertices.
const LongRoad* indexedLongRoad(const SweepIndex& index, size_t position);
// Inline for the common answer, a short road: asked twice for every pair.
inline const LongRoad* longRoadAt(const SweepIndex& index, size_t position) {
  if (roadAt(index, position).readVertexCount <= kLongRoad) return nullptr;
  return indexedLongRoad(index, position);
}

// Grows the boxes that hold any member of v's ring to the ring's position.
void noteRingMoved(SweepIndex& index, const store::Map& map, const Vertex* v);

// Records a vertex inserted behind `start`.
void noteInserted(SweepIndex& index, const store::Map& map, const Vertex* start,
                  const Vertex* inserted);

// First block at or after `block` of the long road whose box may interact
// with `query`; blockCount when there is none.
uint32_t nextNearBlock(const SweepIndex& index, const LongRoad& road, uint32_t block,
                       const Box& query, int64_t margin);

// The current box of a road: kept for long roads, computed for short ones.
Box currentBox(const SweepIndex& index, size_t position);

// Road pairs by their read-time boxes, through uniform grids over the boxes
// made upright. A box inverted in x (a negative MinDistance shrinks small
// roads' boxes inside out) can only overlap a box upright in x that holds its
// upright x range, and likewise in y; so overlapping boxes always share a
// cell, and two boxes inverted in the same axis never overlap. Each class of
// box (which axes are inverted) has a grid of its own, and a road looks only
// into the grids of the classes it can overlap. A road whose box spans too
// many cells of a grid is tested directly against every road of that grid.
struct ClassGrid {
  int64_t originX = 0, originY = 0, cellSize = 1, cellsX = 1, cellsY = 1;
  std::vector<uint32_t> cellStart;  // cellRoads[cellStart[c] .. cellStart[c+1]) lie in cell c
  std::vector<uint32_t> cellRoads;  // ascending within each cell
  std::vector<uint32_t> bigRoads;   // members spanning too many cells, ascending
  uint8_t boxClass = 0;             // of its members
  size_t members = 0;
};

struct OverlapGrid {
  size_t roads = 0;
  // The roads' boxes in reading order (store::readBoxAt): as read, or for a
  // later round of the join as they stand when it begins.
  const store::ReadBoxArray* readBoxes = nullptr;
  std::vector<uint8_t> boxClass;  // bit 0: inverted in x; bit 1: inverted in y
  ClassGrid grids[4];
  // De-duplication stamp per road: the query it was last seen by, modulo
  // kStamps; all are cleared every kStamps queries. Two bytes keep the
  // grid small at country scale.
  static constexpr uint32_t kStamps = 65535;
  std::vector<uint16_t> lastSeen;
  uint32_t queries = 0;
};

void buildOverlapGrid(OverlapGrid& grid, const store::ReadBoxArray& boxes);

// The positions j > i (with `laterOnly`; else every j but i) whose boxes
// overlap road i's, ascending. (Any order of queries gives the same
// partners.)
void partnersOf(OverlapGrid& grid, uint32_t i, std::vector<uint32_t>& partners,
                bool laterOnly = true);

// The positions of the roads whose boxes meet the upright box `query`
// (touching counts), ascending.
void roadsMeeting(OverlapGrid& grid, const Box& query, std::vector<uint32_t>& roads);

// Upright boxes in a uniform grid, for finding the ones that meet a box.
struct BoxGrid {
  std::vector<Box> boxes;
  ClassGrid cells;
  std::vector<uint32_t> lastSeen;  // de-duplication stamp per box
  uint32_t queries = 0;
};

void buildBoxGrid(BoxGrid& grid, std::vector<Box> boxes);

// The indexes of the boxes that meet `query` (touching counts), ascending.
void boxesMeeting(BoxGrid& grid, const Box& query, std::vector<uint32_t>& found);

}  // namespace tovlek::junction
