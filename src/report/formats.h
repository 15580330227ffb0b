// The formats of the change report (internal to the report): each writes
// its opening, one entry per feature, and its closing, and all read one
// table of the kinds of feature.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "store/road_store.h"

namespace tovlek::report {

// The kinds of feature: the join's changes (in the order of
// junction::ChangeKind), then a road pulled into one point.
enum class FeatureKind : uint8_t { kWeld, kSnap, kCrossing, kPlaced, kGap, kOpenEnd, kCollapsed };

struct KindStyle {
  const char* name;    // as every format writes it
  const char* colour;  // "#rrggbb", on the map page and in KML
  int layer;           // the map page draws lower layers first
};

// Indexed by FeatureKind.
inline constexpr KindStyle kKindStyles[] = {{"weld", "#1f77b4", 3},     {"snap", "#d62728", 5},
                                            {"crossing", "#2ca02c", 2}, {"placed", "#9467bd", 1},
                                            {"gap", "#ff7f0e", 4},      {"open-end", "#e377c2", 0},
                                            {"collapsed", "#17becf", 6}};

inline const KindStyle& styleOf(FeatureKind kind) {
  return kKindStyles[static_cast<size_t>(kind)];
}

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
  FeatureKind kind;
  int64_t index;      // in the whole report, from 0
  store::Coord x, y;  // where it is shown (latitude, longitude)
  bool hasDistance;   // moved / how far an open end would have to go
  double units;       // that distance in coordinate units of the map
  double metres;      // the same on the earth's surface
  const RoadText* first;
  const RoadText* second;  // null for a feature of one road
};

// The map page keeps a little state: where its coordinates are counted from,
// and which roads its features name (drawn at the end, as they are then).
struct HtmlPage {
  bool hasOrigin = false;
  store::Coord originX = 0, originY = 0;
  std::vector<bool> namedRoads;  // by position in the RoadList
};

// A road's RoadText by its position in the RoadList.
using RoadTextOf = std::function<RoadText(int64_t position)>;

// What a format's closing may draw on: the page's state and the roads as
// they are at the end.
struct ReportEnd {
  HtmlPage& page;
  const store::Map& map;
  const RoadTextOf& textOf;
};

// One format: its file name endings (any letter case) and its three parts.
// `drawsRoads`: the format shows the roads its features name (noted with
// noteHtmlRoad while the join runs).
struct FormatWriter {
  const char* endings[2];  // null where unused
  bool drawsRoads;
  void (*begin)(std::string& out);
  void (*append)(std::string& out, const HtmlPage& page, const Feature& feature);
  void (*end)(std::string& out, const ReportEnd& end);
};

void beginGeoJson(std::string& out);
void appendGeoJsonFeature(std::string& out, const HtmlPage& page, const Feature& feature);
void endGeoJson(std::string& out, const ReportEnd& end);

// GPX and KML give a feature the same name and description:
// "<name>...</name><TAG>...</TAG>".
void appendNameAndDescription(std::string& out, const Feature& feature, const char* tag);

void beginGpx(std::string& out);
void appendGpxWaypoint(std::string& out, const HtmlPage& page, const Feature& feature);
void endGpx(std::string& out, const ReportEnd& end);

void beginKml(std::string& out);
void appendKmlPlacemark(std::string& out, const HtmlPage& page, const Feature& feature);
void endKml(std::string& out, const ReportEnd& end);

void beginHtml(std::string& out);
// Notes a feature at (x, y) in the order of the report (the first sets the
// origin), and a road that a feature names, by its RoadList position.
void noteHtmlFeature(HtmlPage& page, store::Coord x, store::Coord y);
void noteHtmlRoad(HtmlPage& page, int64_t position);
// A noted feature's entry; reads nothing of the page but its origin.
void appendHtmlFeature(std::string& out, const HtmlPage& page, const Feature& feature);
// The roads the features name, as they are in the map, and the page's script.
void endHtml(std::string& out, const ReportEnd& end);

}  // namespace tovlek::report
