// The whole run on in-memory text, for tests and fuzzing: read, join with
// either sweep (with a change report), write; with what a run must always hold checked on the way.
#pragma once

#include <cstdint>
#include <string>

namespace tovlek::testkit {

struct PipelineOutcome {
  std::string map;        // the output file
  std::string console;    // the sweep's console lines
  std::string warnings;   // standard error
  std::string report;     // the change report
  size_t readPhaseBytes;  // output written before the roads
  int32_t roads;          // roads found
  std::string problems;   // broken store invariants after the join, if any
};

PipelineOutcome runPipeline(const std::string& text, int32_t minDistance, bool fastSweep);

// Checks a finished run against its input: every line outside polyline
// sections comes out unchanged and in order, with only written sections
// between them, and exactly one section per road after them. Returns what
// is wrong, or an empty string.
std::string checkPassThrough(const std::string& input, const PipelineOutcome& outcome);

}  // namespace tovlek::testkit
