// The change report: a feature for every change of the join phase that moved
// a coordinate or added a vertex, every road pulled into a point and every
// road end left loose near another road, written as it happens to a
// buffered stream as GeoJSON, GPX waypoints or one map page; and the count
// of the roads a join changed. Nothing here runs unless a report was asked
// for.
#pragma once

#include <iconv.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "junction/junction.h"
#include "report/formats.h"
#include "store/road_store.h"
#include "writer/map_writer.h"

namespace tovlek::report {

enum class ReportFormat { kGeoJson, kGpx, kHtml };

// The format a report file's name asks for: ".gpx", ".html" or ".htm" (any
// letter case), else GeoJSON.
ReportFormat reportFormatFor(std::string_view fileName);

// Listens to the join and writes the report to `out`. Roads are numbered by
// their place in the output: sectionBase + position in the RoadList + 1.
// Labels are read in the code page given (CodePage= of the map's header; 0
// or one the system does not know: UTF-8, else Latin-1).
struct ChangeReport : junction::JoinEvents {
  ChangeReport(writer::MapOutput& out, ReportFormat format, int64_t sectionBase, int32_t codePage);
  ~ChangeReport() override;
  ChangeReport(const ChangeReport&) = delete;
  ChangeReport& operator=(const ChangeReport&) = delete;

  void roadPair(const store::Road& first, int64_t firstPosition, const store::Road& second,
                int64_t secondPosition) override;
  void changed(const junction::Change& change) override;
  void collapsed(const store::Road& road, int64_t position, store::Coord x,
                 store::Coord y) override;

  // Writes the report's closing (for the map page, the roads its features
  // name, as they are in `map`); nothing may be reported after it.
  void finish(const store::Map& map);

  writer::MapOutput& out;
  ReportFormat format;
  int64_t sectionBase;
  iconv_t labelDecoder;  // (iconv_t)-1 without a code page
  // The road pair being processed; its text is made at its first feature.
  const store::Road* first = nullptr;
  const store::Road* second = nullptr;
  int64_t firstPosition = 0;
  int64_t secondPosition = 0;
  bool pairTextReady = false;
  RoadText firstText, secondText;
  int64_t features = 0;
  HtmlPage page;
};

// The vertex positions of every road of the RoadList, in list order, so that
// the roads a join changed can be counted afterwards.
struct RoadShapes {
  std::vector<int64_t> vertexCounts;
  std::vector<store::Coord> coords;  // x, y of every vertex
};
RoadShapes recordRoadShapes(const store::Map& map);

// Roads of the RoadList whose vertices differ in number or position from the
// recorded shapes (the list itself must be the same).
int64_t countChangedRoads(const store::Map& map, const RoadShapes& before);

// Metres between two positions of the map (latitude, longitude), on a sphere
// of the earth's mean radius.
double sphericalMetres(store::Coord fromX, store::Coord fromY, store::Coord toX, store::Coord toY);

}  // namespace tovlek::report
