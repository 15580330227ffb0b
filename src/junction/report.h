// The change report: every event of the join phase as a GeoJSON Point
// feature, written as it happens to a buffered stream. Nothing here runs
// unless a report was asked for.
#pragma once

#include <iconv.h>

#include <cstdint>
#include <string>
#include <vector>

#include "store/road_store.h"
#include "writer/map_writer.h"

namespace tovlek::junction {

enum class EventKind { kWeld, kSnap, kCrossing, kPlaced };

struct ChangeReport {
  writer::MapOutput* out = nullptr;  // the report file
  int64_t sectionBase = 0;           // polyline sections written before the first road
  // The road pair being processed, with their positions in the RoadList,
  // and its text for the features (built at its first event).
  const store::Road* first = nullptr;
  const store::Road* second = nullptr;
  int64_t firstPosition = 0;
  int64_t secondPosition = 0;
  bool pairTextReady = false;
  std::string pairText;
  int64_t events = 0;
  // Labels in the map's code page become UTF-8 through this; without one,
  // labels that are not UTF-8 are taken as Latin-1.
  iconv_t labelDecoder = reinterpret_cast<iconv_t>(-1);
};

// The report being written, or null (then no event costs more than a test).
extern ChangeReport* Report;

// Writes the collection's opening; roads are numbered by their place in the
// output: sectionBase + position in the RoadList + 1. Labels are read in the
// code page given (CodePage= of the map's header; 0 or one the system does not
// know: UTF-8, else Latin-1).
void beginReport(ChangeReport& report, writer::MapOutput& out, int64_t sectionBase,
                 int32_t codePage = 0);

// The sweep's current road pair, at these positions of the RoadList.
inline void reportRoadPair(const store::Road* first, int64_t firstPosition,
                           const store::Road* second, int64_t secondPosition) {
  if (Report == nullptr) return;
  Report->first = first;
  Report->second = second;
  Report->firstPosition = firstPosition;
  Report->secondPosition = secondPosition;
  Report->pairTextReady = false;
}

// One event at (toX, toY); the vertex that moved farthest came from
// (fromX, fromY) (the same point when nothing moved).
void reportEvent(EventKind kind, store::Coord fromX, store::Coord fromY, store::Coord toX,
                 store::Coord toY);

// A road at this list position that the join pulled into the point (x, y).
void reportCollapsedRoad(ChangeReport& report, const store::Road& road, int64_t position,
                         store::Coord x, store::Coord y);

// Writes the collection's closing and lets go of the label decoder.
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
