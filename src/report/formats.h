// The three formats of the change report (internal to the report): each
// writes its opening, one entry per feature, and its closing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/road_store.h"

namespace tovlek::report {

// A road as the report names it: its section number in the output file
// (0: no road) and its label, as UTF-8.
struct RoadText {
  int64_t section = 0;
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
  std::vector<bool> namedRoads;  // by section number
  int64_t sectionBase = 0;       // sections before the first road
};

void beginHtml(std::string& out);
// Notes a feature at (x, y) in the order of the report (the first sets the
// origin), and a road that a feature names (section 0: none).
void noteHtmlFeature(HtmlPage& page, store::Coord x, store::Coord y);
void noteHtmlRoad(HtmlPage& page, int64_t section);
// A noted feature's entry; reads nothing of the page but its origin.
void appendHtmlFeature(std::string& out, const HtmlPage& page, const Feature& feature);
// Writes the roads the features name, with their labels, and the page's
// script. `labelOf` gives a road's label as UTF-8.
template <typename LabelOf>
void endHtml(std::string& out, HtmlPage& page, const store::Map& map, LabelOf labelOf);

// endHtml's parts, for its template.
void appendHtmlRoad(std::string& out, const HtmlPage& page, const store::Map& map,
                    const store::Road& road, int64_t section, const std::string& label);
void appendHtmlEnd(std::string& out, const HtmlPage& page);

template <typename LabelOf>
void endHtml(std::string& out, HtmlPage& page, const store::Map& map, LabelOf labelOf) {
  out += "];\nconst R=[";
  for (size_t p = 0; p < store::roadCount(map); ++p) {
    const int64_t section = page.sectionBase + static_cast<int64_t>(p) + 1;
    if (static_cast<size_t>(section) < page.namedRoads.size() &&
        page.namedRoads[static_cast<size_t>(section)]) {
      const store::Road& road = store::roadAt(map, p);
      appendHtmlRoad(out, page, map, road, section, labelOf(road));
    }
  }
  appendHtmlEnd(out, page);
}

}  // namespace tovlek::report
