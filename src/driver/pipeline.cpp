#include "driver/pipeline.h"

#include <chrono>
#include <cinttypes>
#include <cstdarg>
#include <cstdlib>
#include <optional>
#include <vector>

#include "codec/coord_codec.h"
#include "platform/platform.h"
#include "reader/map_reader.h"
#include "report/change_report.h"
#include "writer/map_writer.h"

namespace tovlek::driver {
namespace {

using Clock = std::chrono::steady_clock;

// A console line; none when the run is quiet (no console).
__attribute__((format(printf, 2, 3))) void say(std::FILE* console, const char* format, ...) {
  if (console == nullptr) return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(console, format, arguments);
  va_end(arguments);
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// What the reader does not keep goes to the output as it comes (in the
// kept layout, the map's input text holds it).
struct MapCopier : reader::ReadSink {
  MapCopier(reader::MapInput& input, writer::MapOutput& output, store::Map& joined,
            std::FILE* warningStream)
      : in(input), out(output), map(joined), warnings(warningStream) {}

  void passThrough(std::string_view lines) override {
    if (map.input == nullptr && out.file != nullptr) writer::writeText(out, lines);
  }
  void nonRoadSection(const store::Road& road) override {
    if (map.input != nullptr || out.file == nullptr) return;
    out.lineEnd = in.lineEnd;
    writer::writePolylineSection(out, map, road);
  }
  void unreadablePair(int64_t lineNumber) override {
    std::fprintf(warnings,
                 "Warning: line %" PRId64 ": unreadable coordinate pair, rest of line ignored\n",
                 lineNumber);
  }

  reader::MapInput& in;
  writer::MapOutput& out;
  store::Map& map;
  std::FILE* warnings;
};

// The join's console lines and warnings; its changes go on to the report.
struct RunConsole : junction::JoinEvents {
  RunConsole(const RunStreams& runStreams, junction::JoinEvents* changeReport)
      : streams(runStreams), report(changeReport) {}

  void sweepStarted(int32_t roadCount, int32_t minDistance) override {
    // (n - 1)(n - 2) / 2 pairs in millions, with the factor in single precision.
    const double factor = static_cast<double>(5e-7f);
    double estimate = static_cast<double>(roadCount - int64_t{1}) *
                      static_cast<double>(roadCount - int64_t{2}) * factor;
    if (estimate == 0) estimate = 0;  // one road gives -0, shown as 0
    say(streams.console, "Found %i roads, %.0f million pairs.\r\n", roadCount, estimate);
    say(streams.console, "Minimum distance set to %i.\r\n", minDistance);
  }
  void progress(int32_t millionPairs, int32_t splitCount) override {
    say(streams.console, "Done %i million road pairs, %i splitted\r", millionPairs, splitCount);
  }
  void notSettled(store::Coord x, store::Coord y, int64_t limit) override {
    std::fprintf(streams.warnings,
                 "Warning: junctions near %s did not settle; stopped after %lld new vertices\n",
                 codec::formatPair(x, y).c_str(), static_cast<long long>(limit));
  }
  void roadPair(const store::Road& first, int64_t firstPosition, const store::Road& second,
                int64_t secondPosition) override {
    report->roadPair(first, firstPosition, second, secondPosition);
  }
  void changed(const junction::Change& change) override { report->changed(change); }
  void roundsNotSettled(int32_t rounds) override {
    std::fprintf(streams.warnings, "Warning: the join did not settle after %d rounds\n", rounds);
  }
  void collapsed(const store::Road& road, int64_t position, store::Coord x,
                 store::Coord y) override {
    std::fprintf(streams.warnings,
                 "Warning: road at %s came out as a single point; a smaller -m keeps its shape\n",
                 codec::formatPair(x, y).c_str());
    if (report != nullptr) report->collapsed(road, position, x, y);
  }

  const RunStreams& streams;
  junction::JoinEvents* report;  // null without a change report
};

// The join phase with its checks after the sweep; with a report, the count
// of the roads it changed.
void joinRoads(const Settings& settings, store::Map& map, int32_t roadCount,
               junction::JoinEvents& events, bool reportChanges, RunOutcome& outcome) {
  junction::JoinContext join(map, events);
  join.reportChanges = reportChanges;
  join.helperThreads = settings.threads > 1 ? 1 : 0;
  // What the checks after the sweep compare with: the map as read, looked at
  // while the fast sweep's helper finds the road pairs.
  std::vector<bool> hadShape;
  std::optional<report::RoadShapes> before;
  // (The kept layout counts the roads whose text changes as it writes them.)
  const auto recordMapAsRead = [&] {
    hadShape = junction::roadsWithShape(map);
    if ((reportChanges || settings.check) && !settings.keepLayout)
      before = report::recordRoadShapes(map);
  };
  junction::joinRounds(join, roadCount,
                       {settings.plainSweep, settings.closeGaps, settings.alwaysNearChanges},
                       recordMapAsRead);
  junction::findCollapsedRoads(join, hadShape);
  // The map maker's list of places to look: ends still loose near a road.
  if (reportChanges || settings.check)
    junction::findOpenEnds(join, 5 * std::llabs(int64_t{settings.MinDistance}));
  outcome.counts = join.counts;
  if (before) outcome.changedRoads = report::countChangedRoads(map, *before);
}

// How the kept layout reads the input again: from the file, where it is
// one (the stream stays open), so that its text need not be kept in
// memory; else (a pipe, standard input) the reader keeps it.
std::function<bool(uint64_t, size_t, char*)> readAgainFunction(std::FILE* input) {
  if (platform::infoOf(input).kind != platform::FileInfo::Kind::kRegular) return nullptr;
  return [input](uint64_t offset, size_t size, char* into) {
    return platform::readAt(input, offset, size, into);
  };
}

}  // namespace

RunOutcome runPhases(const Settings& settings, const RunStreams& streams,
                     const AfterJoin& afterJoin) {
  RunOutcome outcome;
  store::Map map(settings.MinDistance);
  map.keepSources = streams.report != nullptr || settings.keepLayout;
  if (settings.keepLayout) {
    map.input = std::make_unique<store::InputText>();
    map.input->readAgain = readAgainFunction(streams.input);
  }
  reader::MapInput in;
  in.file = streams.input;
  writer::MapOutput out;
  out.file = streams.output;

  say(streams.console, "Parsing %s...\r\n", streams.inputName.c_str());
  Clock::time_point start = Clock::now();
  MapCopier copier(in, out, map, streams.warnings);
  {
    reader::MapReader mapReader(in, settings.threads);
    while (reader::readNextRoad(mapReader, map, copier)) ++outcome.roads;
  }
  if (in.failed) {
    outcome.failure = RunOutcome::Failure::kRead;
    outcome.error = in.error;
    return outcome;
  }
  // An input with text but not one section is no map: the wrong file, most
  // likely. (An empty file or a map of other sections is a map without roads.)
  if (outcome.roads == 0 && in.lineNumber > 0 && !in.sawSection)
    std::fprintf(streams.warnings, "Warning: no roads found in %s\n", streams.inputName.c_str());
  store::endReading(map);
  outcome.readPhaseBytes = writer::bytesWritten(out);
  out.lineEnd = in.lineEnd;
  outcome.readSeconds = secondsSince(start);

  writer::MapOutput reportOut;
  reportOut.file = streams.report;
  std::optional<report::ChangeReport> changes;
  if (streams.report != nullptr) {
    changes.emplace(reportOut, streams.reportFormat, map,
                    report::SectionNumbers{settings.keepLayout, out.sectionsWritten}, in.codePage,
                    settings.threads > 1);
  }
  RunConsole console(streams, changes ? &*changes : nullptr);
  start = Clock::now();
  joinRoads(settings, map, outcome.roads, console, changes.has_value(), outcome);
  outcome.joinSeconds = secondsSince(start);
  if (afterJoin) afterJoin(map);

  const bool writing = streams.output != nullptr;
  if (writing) say(streams.console, "\nWriting %s...\r\n", streams.outputName.c_str());
  start = Clock::now();
  if (settings.keepLayout) {
    const writer::KeptLayout kept =
        writer::writeKeptLayout(writing ? &out : nullptr, map, settings.threads);
    outcome.changedRoads = kept.changedRoads;
    if (kept.readFailed) {
      outcome.failure = RunOutcome::Failure::kRead;
      outcome.error = kept.error;
      return outcome;
    }
  } else if (writing) {
    writer::writeRoadList(out, map, settings.threads);
  }
  if (changes) {
    changes->finish();
    if (!writer::flushMapOutput(reportOut)) {
      outcome.failure = RunOutcome::Failure::kReport;
      outcome.error = reportOut.error;
      return outcome;
    }
  }
  if (writing && !writer::flushMapOutput(out)) {
    outcome.failure = RunOutcome::Failure::kMap;
    outcome.error = out.error;
  }
  outcome.writeSeconds = secondsSince(start);
  return outcome;
}

}  // namespace tovlek::driver
