// The whole run on in-memory text, for tests and fuzzing: the tool's own
// run order over memory streams, with the store's invariants checked after
// the join.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "driver/pipeline.h"

namespace tovlek::testkit {

struct TextRun {
  std::string map;       // the output file
  std::string console;   // standard output of the phases
  std::string warnings;  // standard error
  std::string report;    // the change report
  driver::RunOutcome outcome;
  std::string problems;  // broken store invariants after the join, if any
  // The roads after the join, in reading order, each as its positions with
  // consecutive repeats written once.
  std::vector<std::vector<std::pair<int, int>>> roads;
};

// The run, with a change report unless `withReport` is false (then the join
// tells no changes, as in a run of the tool without --report).
TextRun runOnText(const std::string& text, const driver::Settings& settings,
                  bool withReport = true);

// The roads of a map as the tool reads them, as TextRun::roads: what a
// run wrote, read back, to compare it with what the join made.
std::vector<std::vector<std::pair<int, int>>> roadsReadBack(const std::string& text);

// In a map the kept layout wrote: whether roads that share a position also
// share its text exactly (vertices of different roads at one position are
// written with texts of one value), as in the tool's own layout. Returns
// what is wrong, or an empty string.
std::string checkSharedTexts(const std::string& text);

// Checks a finished run against its input: every line outside polyline
// sections comes out unchanged and in order, with only written sections
// between them, and exactly one section per road after them. Returns what
// is wrong, or an empty string.
std::string checkPassThrough(const std::string& input, const TextRun& run);

}  // namespace tovlek::testkit
