// The change report: every event of the join phase as a GeoJSON Point
// feature, written as it happens to a buffered stream. Nothing here runs
// unless a report was asked for.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "store/road_store.h"
#include "writer/map_writer.h"

namespace tovlek::junction {

enum class EventKind { kWeld, kSnap, kCrossing, kPlaced };

struct ChangeReport {
  writer::MapOutput* out = nullptr;  // the report file
  int64_t sectionBase = 0;           // polyline sections written before the first road
  std::unordered_map<const store::Road*, int64_t> listPositions;
  const store::Road* first = nullptr;  // the road pair being processed
  const store::Road* second = nullptr;
  int64_t events = 0;
};

// The report being written, or null (then no event costs more than a test).
extern ChangeReport* Report;

// Writes the collection's opening; roads are numbered by their place in the
// output: sectionBase + position in the RoadList + 1.
void beginReport(ChangeReport& report, writer::MapOutput& out, int64_t sectionBase);

// One event at (toX, toY); the vertex that moved farthest came from
// (fromX, fromY) (the same point when nothing moved).
void reportEvent(EventKind kind, store::Coord fromX, store::Coord fromY, store::Coord toX,
                 store::Coord toY);

// Writes the collection's closing.
void endReport(ChangeReport& report);

// The vertex positions of every road of the RoadList, in list order, so that
// the roads a join changed can be counted afterwards.
struct RoadShapes {
  std::vector<int64_t> vertexCounts;
  std::vector<store::Coord> coords;  // x, y of every vertex
};
RoadShapes recordRoadShapes();

// Roads of the RoadList whose vertices differ in number or position from the
// recorded shapes (the list itself must be the same).
int64_t countChangedRoads(const RoadShapes& before);

// Metres between two positions of the map (latitude, longitude), on a sphere
// of the earth's mean radius.
double sphericalMetres(store::Coord fromX, store::Coord fromY, store::Coord toX, store::Coord toY);

}  // namespace tovlek::junction
