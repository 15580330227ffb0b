#include "support/pipeline.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "junction/junction.h"
#include "junction/report.h"
#include "reader/map_reader.h"
#include "store/road_store.h"
#include "support/store_check.h"
#include "writer/map_writer.h"

namespace tovlek::testkit {
namespace {

// An in-memory output stream whose text is collected when it closes.
struct MemoryStream {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* file = open_memstream(&buffer, &size);

  std::string close() {
    std::fclose(file);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
  }
};

std::string lowered(std::string_view text) {
  std::string copy(text);
  for (char& c : copy) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return copy;
}

bool contains(std::string_view text, std::string_view key) {
  return text.find(key) != std::string_view::npos;
}

// The input's lines that lie outside polyline sections, line ends included.
std::vector<std::string_view> passedThroughLines(std::string_view input) {
  std::vector<std::string_view> lines;
  bool inside = false;
  for (size_t start = 0; start < input.size();) {
    const size_t feed = input.find('\n', start);
    const size_t end = feed == std::string_view::npos ? input.size() : feed + 1;
    const std::string_view line = input.substr(start, end - start);
    const std::string search = lowered(line);
    if (!inside) {
      inside = contains(search, "[polyline]") || contains(search, "[rgn40]");
      if (!inside) lines.push_back(line);
    } else if (contains(search, "[end")) {
      inside = false;
    }
    start = end;
  }
  return lines;
}

// Skips the written section at `at`, if one starts there; true if it did.
bool skipSection(std::string_view map, std::string_view lineEnd, size_t& at) {
  const std::string header = "[POLYLINE]" + std::string(lineEnd);
  if (map.substr(at, header.size()) != header) return false;
  const std::string end = "[END]" + std::string(lineEnd) + std::string(lineEnd);
  const size_t found = map.find(end, at);
  at = found == std::string_view::npos ? map.size() + 1 : found + end.size();
  return true;
}

}  // namespace

PipelineOutcome runPipeline(const std::string& text, int32_t minDistance, bool fastSweep) {
  resetGlobals(minDistance);
  // A memory stream cannot be empty; an empty map reads from /dev/null.
  std::string bytes = text;
  std::FILE* input =
      bytes.empty() ? std::fopen("/dev/null", "r") : fmemopen(bytes.data(), bytes.size(), "r");
  MemoryStream map, console, warnings, report;

  reader::MapInput in;
  in.file = input;
  in.warnings = warnings.file;
  writer::MapOutput out;
  out.file = map.file;
  PipelineOutcome outcome{};
  while (reader::readNextRoad(in, out)) ++outcome.roads;
  std::fclose(input);
  writer::flushMapOutput(out);
  outcome.readPhaseBytes = static_cast<size_t>(std::ftell(map.file));
  const junction::SweepConsole sweepConsole{console.file, warnings.file, nullptr};
  writer::MapOutput reportOut;
  reportOut.file = report.file;
  junction::ChangeReport changes;
  junction::beginReport(changes, reportOut, out.sectionsWritten);
  junction::Report = &changes;
  if (fastSweep) {
    junction::sweepRoadPairs(outcome.roads, sweepConsole);
  } else {
    junction::sweepRoadPairsPlain(outcome.roads, sweepConsole);
  }
  junction::Report = nullptr;
  junction::endReport(changes);
  writer::flushMapOutput(reportOut);
  outcome.problems = checkStoreInvariants();
  writer::writeRoadList(out);
  writer::flushMapOutput(out);
  outcome.map = map.close();
  outcome.console = console.close();
  outcome.warnings = warnings.close();
  outcome.report = report.close();
  resetGlobals(10);
  return outcome;
}

std::string checkPassThrough(const std::string& input, const PipelineOutcome& outcome) {
  const std::string_view map = outcome.map;
  const bool crlf = input.find('\n') != std::string::npos && input.find('\n') > 0 &&
                    input[input.find('\n') - 1] == '\r';
  const std::string_view lineEnd = crlf ? "\r\n" : "\n";
  size_t at = 0;
  for (std::string_view line : passedThroughLines(input)) {
    while (at < outcome.readPhaseBytes && skipSection(map, lineEnd, at)) {
    }
    if (map.substr(at, line.size()) != line) return "passed-through line changed or missing";
    at += line.size();
  }
  while (at < outcome.readPhaseBytes && skipSection(map, lineEnd, at)) {
  }
  if (at != outcome.readPhaseBytes) return "unexpected text before the roads";
  int32_t roads = 0;
  while (at < map.size() && skipSection(map, lineEnd, at)) ++roads;
  if (at != map.size()) return "unexpected text among the roads";
  if (roads != outcome.roads) return "roads written differ from roads found";
  return "";
}

}  // namespace tovlek::testkit
