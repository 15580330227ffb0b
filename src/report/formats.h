// The three formats of the change report (internal to the report): each
// writes its opening, one entry per feature, and its closing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/road_store.h"

namespace tovlek::report {

// A road as the report names it: its section number in the output file
// (0: no road), the line of its section's header in the input, and its
// label, as UTF-8.
struct RoadText {
  int64_t section = 0;
  int64_t line = 0;
  std::string label;
};

// One feature of the report.
struct Feature {
  const char* kind;
  store::Coord x, y;  // where it is shown (latitude, longitude)
  bool hasDistance;   // moved / how far an open end would have to go
  double units;       // that distance in coordinate units of the map
  double metres;      // the same on the earth's surface
  const RoadText* first;
  const RoadText* second;  // null for a feature of one road
};

void beginGeoJson(std::string& out);
void appendGeoJsonFeature(std::string& out, const Feature& feature, bool firstFeature);
void endGeoJson(std::string& out);

void beginGpx(std::string& out);
void appendGpxWaypoint(std::string& out, const Feature& feature);
void endGpx(std::string& out);

// The map page keeps a little state: where its coordinates are counted from,
// and which roads its features name (drawn at the end, as they are then).
struct HtmlPage {
  bool hasOrigin = false;
  store::Coord originX = 0, originY = 0;
  std::vector<bool> namedRoads;  // by position in the RoadList
};

void beginHtml(std::string& out);
// Notes a feature at (x, y) in the order of the report (the first sets the
// origin), and a road that a feature names, by its RoadList position.
void noteHtmlFeature(HtmlPage& page, store::Coord x, store::Coord y);
void noteHtmlRoad(HtmlPage& page, int64_t position);
// A noted feature's entry; reads nothing of the page but its origin.
void appendHtmlFeature(std::string& out, const HtmlPage& page, const Feature& feature);
// Writes the roads the features name, as they are in `map`, and the page's
// script. `textOf(position)` gives a road's RoadText.
template <typename TextOf>
void endHtml(std::string& out, HtmlPage& page, const store::Map& map, TextOf textOf);

// endHtml's parts, for its template.
void appendHtmlRoad(std::string& out, const HtmlPage& page, const store::Map& map,
                    const store::Road& road, const RoadText& text);
void appendHtmlEnd(std::string& out, const HtmlPage& page);

template <typename TextOf>
void endHtml(std::string& out, HtmlPage& page, const store::Map& map, TextOf textOf) {
  out += "];\nconst R=[";
  for (size_t p = 0; p < store::roadCount(map) && p < page.namedRoads.size(); ++p) {
    if (page.namedRoads[p])
      appendHtmlRoad(out, page, map, store::roadAt(map, p), textOf(static_cast<int64_t>(p)));
  }
  appendHtmlEnd(out, page);
}

}  // namespace tovlek::report
