// The change report: a feature for every change of the join phase that moved
// a coordinate or added a vertex, every road pulled into a point and every
// road end left loose near another road, written to a buffered stream as
// GeoJSON, GPX waypoints, KML placemarks or one map page; and the count of the roads a join
// changed. Nothing here runs unless a report was asked for. Features are
// noted as they happen and formatted and written in batches, in order, on a
// helper thread when there is one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "junction/junction.h"
#include "store/road_store.h"
#include "writer/map_writer.h"

namespace tovlek::report {

enum class ReportFormat { kGpx, kKml, kHtml, kGeoJson };

// The format a report file's name asks for by its ending (any letter case);
// GeoJSON for a name without one; none for an ending no format has.
std::optional<ReportFormat> reportFormatFor(std::string_view fileName);

// The endings of reportFormatFor, as a list for a message: ".gpx, ... or .json".
std::string reportEndings();

// How the report numbers roads: by their polyline section in the output,
// which is the input's in the kept layout and else sectionBase + position
// in the RoadList + 1 (roads follow the sections written while reading).
struct SectionNumbers {
  bool asInput = false;
  int64_t sectionBase = 0;
};

struct ChangeReportWork;

// Listens to the join and writes the report to `out`. Roads are named by
// their section number and the line of their header in the input (the
// map's sources). Labels are read in the code page given (CodePage= of the
// map's header; 0 or one the system does not know: UTF-8, else Latin-1).
// With a helper, `out` is written by the helper alone until finish.
struct ChangeReport : junction::JoinEvents {
  ChangeReport(writer::MapOutput& out, ReportFormat format, const store::Map& map,
               SectionNumbers numbers, int32_t codePage, bool helper = false);
  ChangeReport(const ChangeReport&) = delete;
  ChangeReport& operator=(const ChangeReport&) = delete;

  void roadPair(const store::Road& first, int64_t firstPosition, const store::Road& second,
                int64_t secondPosition) override;
  void changed(const junction::Change& change) override;
  void collapsed(const store::Road& road, int64_t position, store::Coord x,
                 store::Coord y) override;

  // Writes the report's closing (for the map page, the roads its features
  // name, as they are in the map now); nothing may be reported after it.
  void finish();
  ~ChangeReport() override;

  // The notes, the batches in work and the helper (change_report.cpp).
  std::unique_ptr<ChangeReportWork> work;
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

}  // namespace tovlek::report
