#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

#include "driver/driver.h"
#include "driver/output_file.h"
#include "driver/pipeline.h"
#include "platform/platform.h"

namespace tovlek::driver {
namespace {

// Where the console lines go: standard output, standard error when the map
// or the report goes to standard output, or nowhere when quiet; and the
// error lines, which go with them but never nowhere.
struct Console {
  std::FILE* lines = stdout;
  std::FILE* errors = stdout;
};

void printBanner(std::FILE* to) {
  std::fprintf(to, "Tovlek - Vorneskap 0.1\r\n");
  std::fprintf(to, "Road junctions for routable maps, by the Tovlek developers\r\n");
  std::fprintf(to, "Built with g++ %s\r\n\n", __VERSION__);
}

// A file error: the error line with the console lines, and the system's
// reason on standard error.
void printFileError(const Console& console, const char* action, const char* which, const char* name,
                    int reason) {
  std::fprintf(console.errors, "Error %s %s file %s!\n", action, which, name);
  std::fprintf(stderr, "tovlek: %s: %s\n", name, platform::reasonText(reason).c_str());
}

bool isStandardInput(const char* name) {
  return std::strcmp(name, "-") == 0;
}

// A file to read the map from ("-": standard input); a directory is
// refused here, since reading it would look like an empty map.
std::FILE* openInput(const char* path) {
  std::FILE* file = isStandardInput(path) ? stdin : platform::openForReading(path);
  if (file == nullptr) return nullptr;
  if (platform::infoOf(file).kind == platform::FileInfo::Kind::kDirectory) {
    if (file != stdin) std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  return file;
}

struct InputFile {
  std::FILE* file;
  void close() {
    if (file != nullptr && file != stdin) std::fclose(file);
    file = nullptr;
  }
  ~InputFile() { close(); }
};

void printSummary(const RunOutcome& outcome) {
  std::fprintf(stderr,
               "Summary: welds %lld, road ends moved %lld, vertices inserted %lld, "
               "roads changed %lld, gaps closed %lld, open ends %lld, rounds %d\n",
               static_cast<long long>(outcome.counts.welds),
               static_cast<long long>(outcome.counts.movedEnds),
               static_cast<long long>(outcome.counts.newVertices),
               static_cast<long long>(outcome.changedRoads),
               static_cast<long long>(outcome.counts.gapsClosed),
               static_cast<long long>(outcome.counts.openEnds), outcome.counts.rounds);
}

// One run's files: their names and the report's format.
struct RunNames {
  const char* input;
  const char* output;  // null when checking
  const char* report;  // null without --report
  report::ReportFormat reportFormat = report::ReportFormat::kGeoJson;
};

// Puts the report and the map in place as a pair.
int commitFiles(const Console& console, const RunNames& names, OutputFile* output,
                OutputFile* report) {
  platform::holdOffInterrupts();
  const OutputFile* failed = commitOutputFiles(output, report);
  if (failed == nullptr) return kSuccess;
  if (failed == report) {
    printFileError(console, "writing", "report", names.report, report->error);
  } else {
    printFileError(console, "writing", "output", names.output, output->error);
  }
  return kFailure;
}

// The phases over open files (no output when checking), then the files put
// in place. Returns the exit status; prints the error line of a read or
// write failure itself.
int runOverFiles(const Settings& settings, const Console& console, const RunNames& names,
                 InputFile& input, OutputFile* output, OutputFile* report) {
  RunStreams streams;
  streams.input = input.file;
  streams.output = output != nullptr ? output->file : nullptr;
  streams.report = report != nullptr ? report->file : nullptr;
  streams.console = console.lines;
  streams.inputName = names.input;
  if (names.output != nullptr) streams.outputName = names.output;
  streams.reportFormat = names.reportFormat;
  const RunOutcome outcome = runPhases(settings, streams);
  // Closed before the output replaces it, which some systems refuse for an
  // open file.
  input.close();
  switch (outcome.failure) {
    case RunOutcome::Failure::kRead:
      printFileError(console, "reading", "input", names.input, outcome.error);
      return kFailure;
    case RunOutcome::Failure::kReport:
      printFileError(console, "writing", "report", names.report, outcome.error);
      return kFailure;
    case RunOutcome::Failure::kMap:
      printFileError(console, "writing", "output", names.output, outcome.error);
      return kFailure;
    case RunOutcome::Failure::kNone:
      break;
  }
  const int status = commitFiles(console, names, output, report);
  if (status != kSuccess) return status;
  // The summary comes with a report or a check; other runs print only the
  // console lines.
  if (report != nullptr || settings.check) printSummary(outcome);
  return settings.check && outcome.changedRoads > 0 ? kWouldChange : kSuccess;
}

void printUsage() {
  std::printf(
      "Usage: tovlek -i INPUT -o OUTPUT [options]\r\n"
      "       tovlek --check -i INPUT [options]\r\n"
      "  -i INPUT       the map to read; - reads standard input\r\n"
      "  -o OUTPUT      the map to write, which may be INPUT; - writes standard output\r\n"
      "  -m DISTANCE    weld and snap distance in 0.00001 degrees (default 10, ~11 m)\r\n"
      "  --close-gaps   also move road ends that stop within DISTANCE of a road onto it\r\n"
      "  --keep-layout  write the map as read, with only the changed roads rewritten\r\n"
      "  --report FILE  list every change: .geojson/.json, .gpx, .kml or .html/.htm\r\n"
      "  --check        write no map; exit 3 if the join would change a road, else 0\r\n"
      "  --threads N    threads for reading and writing (default: the machine's count)\r\n"
      "  -q, --quiet    nothing on standard output; warnings and errors on standard error\r\n"
      "  -h, --help     this text\r\n"
      "  --version      the banner only\r\n"
      "Exit status: 0 done, 1 a file could not be read or written or memory ran out,\r\n"
      "2 a command-line error, 3 --check found a road the join would change.\r\n"
      "Example: tovlek -i town.mp -o town-joined.mp --close-gaps --report town.geojson\r\n");
}

// Opens the files and runs the phases; the exit status.
int openAndRun(const Settings& settings, const Console& console, const RunNames& names) {
  InputFile input{openInput(names.input)};
  if (input.file == nullptr) {
    printFileError(console, "opening", "input", names.input, errno);
    return kFailure;
  }
  OutputFile output;
  if (names.output != nullptr && !openOutputFile(output, names.output)) {
    printFileError(console, "opening", "output", names.output, output.error);
    return kFailure;
  }
  OutputFile report;
  if (names.report != nullptr && !openOutputFile(report, names.report)) {
    printFileError(console, "opening", "report", names.report, report.error);
    return kFailure;
  }
  return runOverFiles(settings, console, names, input, names.output != nullptr ? &output : nullptr,
                      names.report != nullptr ? &report : nullptr);
}

// Whether writing the report would replace the input or the map.
bool reportOverwritesMap(const char* report, const char* input, const char* output) {
  const bool toStandardOutput = namesStandardOutput(report);
  if (output != nullptr && namesStandardOutput(output))
    return toStandardOutput;  // both on standard output
  if (toStandardOutput) return false;
  return (!isStandardInput(input) && namesSameFile(report, input)) ||
         (output != nullptr && namesSameFile(report, output));
}

// A report name ending in no format's ending is a typo, unless it names a
// device or a pipe (standard output among them), which gets GeoJSON.
bool reportFormatOf(const char* name, report::ReportFormat& format) {
  const std::optional<report::ReportFormat> named = report::reportFormatFor(name);
  if (named) {
    format = *named;
    return true;
  }
  using Kind = platform::FileInfo::Kind;
  const Kind kind = platform::infoOf(name).kind;
  return namesStandardOutput(name) || kind == Kind::kCharacterDevice || kind == Kind::kOther;
}

// A command-line error of the files named, or none: the line it prints and
// the status.
int checkFiles(const Console& console, const Options& options, const char* const* argv,
               RunNames& names) {
  if (options.inputPosition == 0) {
    std::fprintf(console.errors, "Input file is not set!\r\n");
    return kUsageError;
  }
  if (options.settings.check && options.outputPosition != 0) {
    std::fprintf(console.errors, "--check writes no map: -o is not wanted!\r\n");
    return kUsageError;
  }
  if (!options.settings.check && options.outputPosition == 0) {
    std::fprintf(console.errors, "Output file is not set!\r\n");
    return kUsageError;
  }
  names = {argv[options.inputPosition],
           options.outputPosition != 0 ? argv[options.outputPosition] : nullptr,
           options.reportPosition != 0 ? argv[options.reportPosition] : nullptr};
  if (names.report == nullptr) return kSuccess;
  // The report replaces its file: over the input or the map it would destroy it.
  if (reportOverwritesMap(names.report, names.input, names.output)) {
    std::fprintf(console.errors, "Report file %s is the input or output map!\n", names.report);
    return kUsageError;
  }
  if (!reportFormatOf(names.report, names.reportFormat)) {
    std::fprintf(stderr, "Report file %s: give it a name ending in %s (see --help)\n", names.report,
                 report::reportEndings().c_str());
    return kUsageError;
  }
  return kSuccess;
}

// Where the console lines go for these options.
Console consoleFor(const Options& options, const char* const* argv) {
  const auto toStandardOutput = [&](int position) {
    return position != 0 && namesStandardOutput(argv[position]);
  };
  Console console;
  if (options.quiet || toStandardOutput(options.outputPosition) ||
      toStandardOutput(options.reportPosition)) {
    console.errors = stderr;
    console.lines = options.quiet ? nullptr : stderr;
  }
  return console;
}

// What the arguments ask for, or the usage error they make.
int checkArguments(const Console& console, const Options& options, const char* const* argv) {
  for (const std::string& warning : options.warnings) std::fprintf(stderr, "%s\n", warning.c_str());
  if (options.unusedPosition != 0) {
    std::fprintf(stderr, "%s '%s' (see --help)\n",
                 options.lacksValue ? "Missing value after" : "Unknown argument",
                 argv[options.unusedPosition]);
    return kUsageError;
  }
  if (options.invalidDistance) {
    std::fprintf(console.errors, "Invalid minimum distance %s!\r\n", argv[options.invalidPosition]);
    return kUsageError;
  }
  if (options.settings.threads == 0 && !options.help && !options.version) {
    std::fprintf(console.errors, "Invalid thread count %s! Give a number from 1 to %d.\r\n",
                 argv[options.threadsPosition], kMostThreads);
    return kUsageError;
  }
  return kSuccess;
}

}  // namespace

int runTovlek(int argc, const char* const* argv) {
  const Options options = scanOptions(argc, argv);
  const Console console = consoleFor(options, argv);
  if (console.lines != nullptr) printBanner(console.lines);
  if (const int status = checkArguments(console, options, argv); status != kSuccess) return status;
  if (options.help) {
    printUsage();
    return kSuccess;
  }
  if (options.version) {
    if (console.lines == nullptr) printBanner(stdout);
    return kSuccess;
  }
  RunNames names{};
  if (const int status = checkFiles(console, options, argv, names); status != kSuccess)
    return status;
  int status = kFailure;
  try {
    status = openAndRun(options.settings, console, names);
  } catch (const std::bad_alloc&) {
    std::fprintf(console.errors, "Out of memory!\n");
    status = kFailure;
  }
  if ((status == kSuccess || status == kWouldChange) && console.lines != nullptr)
    std::fprintf(console.lines, "Done!\r\n");
  return status;
}

}  // namespace tovlek::driver
