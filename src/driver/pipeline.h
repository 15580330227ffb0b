// The read, join and write phases over open streams, with their console
// lines: the one run order of the tool, of its tests and of its fuzzers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "junction/junction.h"
#include "report/change_report.h"
#include "store/road_store.h"

namespace tovlek::driver {

// What a run is asked to do.
struct Settings {
  int32_t MinDistance = 10;  // weld, near-miss and snap distance
  bool plainSweep = false;   // the reference sweep instead of the fast one
  bool closeGaps = false;    // after the sweep, loose ends onto the nearest road
  // Threads for reading, writing, finding road pairs and formatting the
  // report; the join's steps are one ordered pass on the caller's thread.
  int threads = 1;
  bool keepLayout = false;         // write the input back with only the joins changed
  bool check = false;              // write no map: only find whether the join would change one
  bool alwaysNearChanges = false;  // see junction::JoinPlan (for tests)
};

// The streams of one run, open. The names are the ones shown in the console
// lines.
struct RunStreams {
  std::FILE* input = nullptr;
  std::FILE* output = nullptr;  // null when checking
  std::FILE* report = nullptr;  // null without a change report
  std::FILE* console = stdout;  // null: no console lines
  std::FILE* warnings = stderr;
  std::string inputName;
  std::string outputName;
  report::ReportFormat reportFormat = report::ReportFormat::kGeoJson;
};

struct RunOutcome {
  enum class Failure { kNone, kRead, kReport, kMap };
  Failure failure = Failure::kNone;
  int error = 0;  // the system's error number of the failure
  int32_t roads = 0;
  junction::JoinCounts counts;
  // Roads the join changed; counted with a report, and in the kept layout
  // (where a road whose text changed counts).
  int64_t changedRoads = 0;
  uint64_t readPhaseBytes = 0;                                // output written before the roads
  double readSeconds = 0, joinSeconds = 0, writeSeconds = 0;  // wall-clock time of each phase
};

// Called after the join, before the roads are written (for checks).
using AfterJoin = std::function<void(const store::Map&)>;

// Prints "Parsing", reads the map (passed-through lines and non-road
// sections straight to the output), joins the roads (its lines on the
// console, its warnings and the change report), prints "Writing", writes the
// roads and flushes the output and the report. Stops at a read error. When
// checking, nothing is written but the report, and the roads changed are
// counted.
RunOutcome runPhases(const Settings& settings, const RunStreams& streams,
                     const AfterJoin& afterJoin = {});

}  // namespace tovlek::driver
