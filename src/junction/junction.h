// The join phase: one pass over every pair of roads whose boxes overlap and
// every pair of their vertices, welding near vertices of different roads,
// moving road ends that stop just short of another road onto it, and putting
// a shared vertex where two segments cross.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "store/road_store.h"

namespace tovlek::junction {

using store::Coord;
using store::Road;
using store::Vertex;

// Placements of a meeting point on a road made so far in the run.
extern int32_t SplitCount;

// Counters for the developer's eye (tests and diagnostics); not printed.
struct JunctionStats {
  int64_t welds = 0;        // vertex pairs welded
  int64_t movedEnds = 0;    // segment ends moved by the near-miss test
  int64_t newVertices = 0;  // vertices inserted by placements
};
extern JunctionStats Stats;

// Where the sweep prints its console lines and its warnings, and an
// optional observer of every road pair it processes (for tests).
struct SweepConsole {
  std::FILE* out = stdout;
  std::FILE* warnings = stderr;
  std::function<void(const Road& first, const Road& second)> onRoadPair;
};

// The whole join phase over the RoadList: prints the found line and the
// distance line, visits every road pair with overlapping boxes in list order,
// and prints a progress line ("\r"-terminated) for every 10,000,000 pairs.
// Road pairs are found through a grid and vertex pairs that cannot act are
// skipped, with exactly the results of sweepRoadPairsPlain.
void sweepRoadPairs(int32_t roadCount, const SweepConsole& console = {});

// The same join phase by the plain method: every road pair of the list, the
// box test, every vertex pair. Kept as the reference for the fast sweep,
// which must give exactly its results.
void sweepRoadPairsPlain(int32_t roadCount, const SweepConsole& console = {});

// True when the boxes of the two roads overlap; touching boxes overlap.
bool boxesOverlap(const Road& a, const Road& b);

// Every vertex of a against every vertex of b: the welding step and, where
// both begin a segment, the crossing step. A pair that inserts
// 4 x (read vertices of a and b) + 64 new vertices has not settled; its
// remaining crossing steps are skipped and a warning is printed.
void processRoadPair(Road& a, Road& b, std::FILE* warnings = stderr);

// Welds p0 (of a) and q0 (of b) when they lie within MinDistance: their rings
// become one and move to the end vertex's position when exactly one of them
// ends its road, else to their midpoint. Never cuts a ring.
void weldVertices(const Road& a, Vertex* p0, const Road& b, Vertex* q0);

// The crossing step for one vertex pair whose vertices both begin a segment:
// crossSegments, then the meeting point placed on the roads the result
// names, and after a crossing the two placed vertices joined in one ring.
// Returns the number of vertices inserted.
int crossingStep(Vertex* p0, Vertex* q0);

struct Crossing {
  int result;  // bit 1: place X on segment P; bit 2: place X on segment Q
  Coord x;
  Coord y;
};

// Classifies segment P (p0, p1) of the first road against segment Q (q0, q1)
// of the second: 3 when they cross inside both, 1 when an end of Q stops
// within MinDistance of P along Q's line, 2 the same for an end of P, else 0.
// For 1 and 2 the stray end vertex, with its ring, is moved onto X.
Crossing crossSegments(Vertex* p0, Vertex* p1, Vertex* q0, Vertex* q1);

// Gives the segment that starts at s a vertex at (x, y): moves s (result 1)
// or its successor (result 2), with their rings, when nearer than
// MinDistance, else inserts a new vertex behind s (result 0).
int insertPointOnSegment(Vertex* s, Coord x, Coord y);

// For every road of the RoadList, in list order: whether its vertices lie at
// two or more distinct positions.
std::vector<bool> roadsWithShape();

// A road that had a shape and now lies at one point: its list position and
// that point.
struct CollapsedRoad {
  int64_t position;
  Coord x;
  Coord y;
};

// The roads that the join pulled into a single point, in list order, given
// roadsWithShape as it was before the join.
std::vector<CollapsedRoad> collapsedRoads(const std::vector<bool>& hadShape);

}  // namespace tovlek::junction
