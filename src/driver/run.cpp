#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "driver/driver.h"
#include "driver/output_file.h"
#include "driver/pipeline.h"

namespace tovlek::driver {
namespace {

void printBanner() {
  std::printf("Tovlek - Vorneskap 0.1\r\n");
  std::printf("Road junctions for routable maps, by the Tovlek developers\r\n");
  std::printf("Built with g++ %s\r\n\n", __VERSION__);
}

// A file error: the error line on standard output, as always, and the
// system's reason on standard error.
void printFileError(const char* action, const char* which, const char* name, int reason) {
  std::printf("Error %s %s file %s!\n", action, which, name);
  std::fprintf(stderr, "tovlek: %s: %s\n", name, std::strerror(reason != 0 ? reason : EIO));
}

// A file to read the map from; a directory is refused here, since reading
// it would look like an empty map.
std::FILE* openInput(const char* path) {
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return nullptr;
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
    const int reason = S_ISDIR(info.st_mode) ? EISDIR : errno;
    std::fclose(file);
    errno = reason;
    return nullptr;
  }
  return file;
}

struct InputFile {
  std::FILE* file;
  ~InputFile() {
    if (file != nullptr) std::fclose(file);
  }
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

// The names of one run's files.
struct RunNames {
  const char* input;
  const char* output;  // null when checking
  const char* report;  // null without --report
};

// Puts the report and the map in place as a pair.
int commitFiles(const RunNames& names, OutputFile* output, OutputFile* report) {
  holdOffInterrupts();
  const OutputFile* failed = commitOutputFiles(output, report);
  if (failed == nullptr) return kSuccess;
  if (failed == report) {
    printFileError("writing", "report", names.report, report->error);
  } else {
    printFileError("writing", "output", names.output, output->error);
  }
  return kFailure;
}

// The phases over open files (no output when checking), then the files put
// in place. Returns the exit status; prints the error line of a read or
// write failure itself.
int runOverFiles(const Settings& settings, const RunNames& names, std::FILE* input,
                 OutputFile* output, OutputFile* report) {
  RunStreams streams;
  streams.input = input;
  streams.output = output != nullptr ? output->file : nullptr;
  streams.report = report != nullptr ? report->file : nullptr;
  streams.inputName = names.input;
  if (names.output != nullptr) streams.outputName = names.output;
  if (names.report != nullptr) streams.reportName = names.report;
  const RunOutcome outcome = runPhases(settings, streams);
  switch (outcome.failure) {
    case RunOutcome::Failure::kRead:
      printFileError("reading", "input", names.input, outcome.error);
      return kFailure;
    case RunOutcome::Failure::kReport:
      printFileError("writing", "report", names.report, outcome.error);
      return kFailure;
    case RunOutcome::Failure::kMap:
      printFileError("writing", "output", names.output, outcome.error);
      return kFailure;
    case RunOutcome::Failure::kNone:
      break;
  }
  const int status = commitFiles(names, output, report);
  if (status != kSuccess) return status;
  // Runs without a report print exactly the lines they always printed.
  if (report != nullptr || settings.check) printSummary(outcome);
  return settings.check && outcome.changedRoads > 0 ? kWouldChange : kSuccess;
}

void printUsage() {
  std::printf(
      "Usage: tovlek -i INPUT -o OUTPUT [-m DISTANCE] [--close-gaps] [--keep-layout]\r\n"
      "              [--report FILE] [--threads N]\r\n"
      "       tovlek --check -i INPUT [-m DISTANCE] [--close-gaps] [--report FILE]\r\n"
      "  -i INPUT       the map to read\r\n"
      "  -o OUTPUT      the map to write; may be INPUT itself\r\n"
      "  -m DISTANCE    weld and snap distance in units of 0.00001 (default 10)\r\n"
      "  --close-gaps   also move every road end that stops within DISTANCE of\r\n"
      "                 another road onto its nearest point\r\n"
      "  --keep-layout  write the map as it was read, with only the coordinate and\r\n"
      "                 index lines of the roads that changed rewritten\r\n"
      "  --report FILE  also write every weld, snap, crossing and closed gap, and\r\n"
      "                 the loose ends left near a road, and print a summary:\r\n"
      "                 FILE.gpx as GPX waypoints, FILE.html as a map page,\r\n"
      "                 any other name as GeoJSON\r\n"
      "  --check        write no map: exit 3 when the join would change a road\r\n"
      "                 (0 when none), and print the summary\r\n"
      "  --threads N    read and write with N threads (default: the machine's\r\n"
      "                 count); the result is the same for every N\r\n"
      "  --help         this text\r\n"
      "  --version      the banner only\r\n"
      "Exit status: 0 done, 1 a file could not be read or written or memory ran out,\r\n"
      "2 a command-line error, 3 --check found a road the join would change.\r\n"
      "Example: tovlek -i town.mp -o town-joined.mp --close-gaps --report town.geojson\r\n");
}

// Opens the files and runs the phases; the exit status.
int openAndRun(const Settings& settings, const RunNames& names) {
  InputFile input{openInput(names.input)};
  if (input.file == nullptr) {
    printFileError("opening", "input", names.input, errno);
    return kFailure;
  }
  OutputFile output;
  if (names.output != nullptr && !openOutputFile(output, names.output)) {
    printFileError("opening", "output", names.output, output.error);
    return kFailure;
  }
  OutputFile report;
  if (names.report != nullptr && !openOutputFile(report, names.report)) {
    printFileError("opening", "report", names.report, report.error);
    return kFailure;
  }
  return runOverFiles(settings, names, input.file, names.output != nullptr ? &output : nullptr,
                      names.report != nullptr ? &report : nullptr);
}

// A command-line error, or none: the line it prints and the status.
int checkOptions(const Options& options, const char* const* argv) {
  if (options.settings.threads == 0) {
    std::printf("Invalid thread count %s! Give a number from 1 to %d.\r\n",
                argv[options.threadsPosition], kMostThreads);
    return kUsageError;
  }
  if (options.inputPosition == 0) {
    std::printf("Input file is not set!\r\n");
    return kUsageError;
  }
  if (options.settings.check && options.outputPosition != 0) {
    std::printf("--check writes no map: -o is not wanted!\r\n");
    return kUsageError;
  }
  if (!options.settings.check && options.outputPosition == 0) {
    std::printf("Output file is not set!\r\n");
    return kUsageError;
  }
  // The report replaces its file: over the input or the map it would destroy it.
  if (options.reportPosition != 0) {
    const char* reportName = argv[options.reportPosition];
    if (namesSameFile(reportName, argv[options.inputPosition]) ||
        (options.outputPosition != 0 && namesSameFile(reportName, argv[options.outputPosition]))) {
      std::printf("Report file %s is the input or output map!\n", reportName);
      return kUsageError;
    }
  }
  return kSuccess;
}

}  // namespace

int runTovlek(int argc, const char* const* argv) {
  printBanner();
  const Options options = scanOptions(argc, argv);
  for (const std::string& warning : options.warnings) std::fprintf(stderr, "%s\n", warning.c_str());
  if (options.invalidDistance) {
    std::printf("Invalid minimum distance %s!\r\n", argv[options.invalidPosition]);
    return kUsageError;
  }
  if (options.help) {
    printUsage();
    return kSuccess;
  }
  if (options.version) return kSuccess;
  if (const int status = checkOptions(options, argv); status != kSuccess) return status;
  const RunNames names{argv[options.inputPosition],
                       options.outputPosition != 0 ? argv[options.outputPosition] : nullptr,
                       options.reportPosition != 0 ? argv[options.reportPosition] : nullptr};
  int status = kFailure;
  try {
    status = openAndRun(options.settings, names);
  } catch (const std::bad_alloc&) {
    std::printf("Out of memory!\n");
    status = kFailure;
  }
  if (status == kSuccess || status == kWouldChange) std::printf("Done!\r\n");
  return status;
}

}  // namespace tovlek::driver
