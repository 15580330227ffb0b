// The whole run on in-memory text, for tests and fuzzing: the tool's own
// run order over memory streams, with the store's invariants checked after
// the join.
#pragma once

#include <cstdint>
#include <string>

#include "driver/pipeline.h"

namespace tovlek::testkit {

struct TextRun {
  std::string map;       // the output file
  std::string console;   // standard output of the phases
  std::string warnings;  // standard error
  std::string report;    // the change report
  driver::RunOutcome outcome;
  std::string problems;  // broken store invariants after the join, if any
};

TextRun runOnText(const std::string& text, const driver::Settings& settings);

// Checks a finished run against its input: every line outside polyline
// sections comes out unchanged and in order, with only written sections
// between them, and exactly one section per road after them. Returns what
// is wrong, or an empty string.
std::string checkPassThrough(const std::string& input, const TextRun& run);

}  // namespace tovlek::testkit
